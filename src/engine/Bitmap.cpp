#include "engine/Bitmap.h"

#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/WebPlatform.h"

#ifdef __EMSCRIPTEN__
#include "engine/GameEngine.h"
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
