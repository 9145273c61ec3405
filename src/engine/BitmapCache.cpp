#include "engine/BitmapCache.h"

#include "engine/Bitmap.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <optional>
#include <sys/stat.h>

namespace {

constexpr int64_t NS_PER_SECOND = 1000000000;

int64_t pixelsOf(const SDL_Surface* pSurface) {
    return int64_t{pSurface->w} * pSurface->h;
}

// The surface handed out once more: SDL frees it at its last SDL_FreeSurface.
Surface share(SDL_Surface* pSurface) {
    ++pSurface->refcount;
    return Surface(pSurface);
}

} // namespace

BitmapCache::~BitmapCache() {
    clear();
}

Surface BitmapCache::load(const std::string& path,
                          const std::function<void(SDL_Surface*)>& prepare) {
    std::optional<Key> key;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        key = Key{info.st_dev, info.st_ino,
                  int64_t{info.st_mtim.tv_sec} * NS_PER_SECOND + info.st_mtim.tv_nsec,
                  int64_t{info.st_size}};
        auto found = m_surfaces.find(*key);
        if (found != m_surfaces.end()) {
            // A level's files are the ones it names, wherever their pictures come from.
            m_files.noteRead(path);
            return share(found->second);
        }
    }
    // What cannot be looked at is left to the reader, which says why.
    Surface surface = readBitmap(m_files, path);
    int64_t pixels = pixelsOf(surface.get());
    if (m_pixels + pixels > MAX_PIXELS) {
        sweep();
    }
    if (m_pixels + pixels > MAX_PIXELS) {
        throw DataError(
            path, "its " + std::to_string(surface->w) + " x " + std::to_string(surface->h) +
                      " px would take the pictures the game holds past " +
                      std::to_string(MAX_PIXELS) + " px (" + std::to_string(MAX_PIXELS >> 20) +
                      " Mi); use fewer or smaller bitmaps");
    }
    prepare(surface.get());
    if (key) {
        m_surfaces.emplace(*key, surface.get());
        m_keys.emplace(surface.get(), *key);
        m_pixels += pixels;
        return share(surface.release());
    }
    return surface;
}

void BitmapCache::release(SDL_Surface* pSurface) {
    // Two references: the holder letting go and the cache.
    if (pSurface->refcount != 2) {
        return;
    }
    auto key = m_keys.find(pSurface);
    if (key != m_keys.end()) {
        forget(m_surfaces.find(key->second));
    }
}

void BitmapCache::clear() {
    while (!m_surfaces.empty()) {
        forget(m_surfaces.begin());
    }
}

void BitmapCache::sweep() {
    for (auto entry = m_surfaces.begin(); entry != m_surfaces.end();) {
        auto next = std::next(entry);
        if (entry->second->refcount == 1) {
            forget(entry);
        }
        entry = next;
    }
}

void BitmapCache::forget(std::map<Key, SDL_Surface*>::iterator entry) {
    SDL_Surface* pSurface = entry->second;
    m_pixels -= pixelsOf(pSurface);
    m_keys.erase(pSurface);
    m_surfaces.erase(entry);
    SDL_FreeSurface(pSurface);
}
