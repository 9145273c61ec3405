// The bitmaps the game holds, each file decoded once however often the data
// names it, and the pixels they take together bounded: a small compressed BMP
// named as thousands of sheets would otherwise be decoded thousands of times.
#pragma once

#include "engine/Surface.h"

#include <SDL.h>
#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <sys/types.h>

class FileRegistry;

class BitmapCache {
public:
    // Decoded pixels held at once: 256 MiB at 32 bits, hundreds of times what
    // the demo holds; four of the largest bitmaps fill it.
    static constexpr int64_t MAX_PIXELS = int64_t{64} << 20;

    // Every file is read through the run's registry.
    explicit BitmapCache(FileRegistry& files) : m_files(files) {}
    ~BitmapCache();
    BitmapCache(const BitmapCache&) = delete;
    BitmapCache& operator=(const BitmapCache&) = delete;

    // The picture of the file at `path`, shared with every holder of the same
    // file as it is now (same device, inode, time and size). `prepare` is run
    // once on a newly decoded surface. Throws DataError naming the file when it
    // cannot be loaded or would take the held pixels past MAX_PIXELS.
    Surface load(const std::string& path, const std::function<void(SDL_Surface*)>& prepare);
    // Called as a holder lets go of a surface: when the cache is the only
    // other holder, the cache lets go too, so the pixels are freed at once.
    void release(SDL_Surface* pSurface);
    // Lets go of every surface; holders keep theirs.
    void clear();

    int64_t pixels() const { return m_pixels; }

private:
    struct Key {
        dev_t device = 0;
        ino_t inode = 0;
        int64_t modified = 0; // ns since the epoch
        int64_t size = 0;     // bytes
        auto operator<=>(const Key&) const = default;
    };
    // Lets go of the surfaces no one else holds (those whose last holder let
    // go while another engine or none was current).
    void sweep();
    void forget(std::map<Key, SDL_Surface*>::iterator entry);

    FileRegistry& m_files;
    std::map<Key, SDL_Surface*> m_surfaces; // each holds one reference (SDL counts them)
    std::map<const SDL_Surface*, Key> m_keys;
    int64_t m_pixels = 0; // px of the surfaces held
};
