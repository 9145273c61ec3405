#include "engine/Bitmap.h"

#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/WebPlatform.h"

#include <cstdint>
#include <vector>
#ifdef __EMSCRIPTEN__
#include "engine/GameEngine.h"
#else
#include <png.h>
#endif

Surface readBitmap(FileRegistry& files, const std::string& path) {
    std::string bytes = readFile(files, path, BITMAP_FILE);
    std::string problem = bitmapHeaderProblem(bytes);
    if (!problem.empty()) {
        throw DataError(path, "not a loadable BMP image: " + problem);
    }
#ifdef __EMSCRIPTEN__
    // Emscripten's SDL reads a BMP only through its image loader, which
    // misplaces the pixels of some layouts.
    return web::decodeBitmap(path, bytes,
                             {GameEngine::KEY_RED, GameEngine::KEY_GREEN, GameEngine::KEY_BLUE});
#else
    SDL_RWops* pStream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    Surface surface(pStream == nullptr ? nullptr : SDL_LoadBMP_RW(pStream, 1));
    if (!surface) {
        throw DataError(path, std::string("not a loadable BMP image: ") + SDL_GetError());
    }
    return surface;
#endif
}

std::string encodePng(const SDL_Surface* pSurface, const std::string& what) {
#ifdef __EMSCRIPTEN__
    // The designer's pictures are the native tools'.
    (void)pSurface;
    throw DataError(what, "PNG pictures are drawn by the native kcs, not the web build");
#else
    // The surface's 0x00RRGGBB pixels as the R, G, B bytes PNG stores.
    std::vector<uint8_t> rgb(static_cast<size_t>(pSurface->w) * pSurface->h * 3);
    size_t at = 0;
    for (int row = 0; row < pSurface->h; ++row) {
        const auto* pRow = reinterpret_cast<const uint32_t*>(
            static_cast<const uint8_t*>(pSurface->pixels) + row * pSurface->pitch);
        for (int column = 0; column < pSurface->w; ++column) {
            rgb[at++] = static_cast<uint8_t>(pRow[column] >> 16);
            rgb[at++] = static_cast<uint8_t>(pRow[column] >> 8);
            rgb[at++] = static_cast<uint8_t>(pRow[column]);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(pSurface->w);
    image.height = static_cast<png_uint_32>(pSurface->h);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (png_image_write_get_memory_size(image, size, 0, rgb.data(), 0, nullptr) == 0) {
        throw DataError(what, std::string("cannot encode the picture as PNG: ") + image.message);
    }
    std::string bytes(size, '\0');
    if (png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr) == 0) {
        throw DataError(what, std::string("cannot encode the picture as PNG: ") + image.message);
    }
    bytes.resize(size);
    return bytes;
#endif
}
