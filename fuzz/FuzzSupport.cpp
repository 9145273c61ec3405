// Scratch folder, headless engine and file writers for the fuzz targets.
#include "FuzzSupport.h"

#include "engine/GameEngine.h"

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fuzz_support {

namespace {

std::string gScratch;

void removeScratch() {
    if (!gScratch.empty()) {
        std::error_code ignored;
        std::filesystem::current_path("/", ignored);
        std::filesystem::remove_all(gScratch, ignored);
    }
}

} // namespace

void enterScratchFolder() {
    // Files are written for every input: in memory when the machine has a
    // tmpfs, since a disk file system syncs a file truncated and rewritten.
    std::error_code error;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    std::string pattern = (base / "kcs-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("kcs fuzz: cannot make a scratch folder");
        std::abort();
    }
    gScratch = pattern;
    std::filesystem::current_path(gScratch);
    std::atexit(removeScratch);
}

void startHeadlessEngine() {
    enterScratchFolder();
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    writeBmp("font.bmp", 8, 8 * 16);
    writeFile("font.ini", "[Properties]\nsheet=font.bmp\ncharacterHeight=8\ncharacterWidth=8\n"
                          "[Characters]\nA=80\nB=88\nspace=96\n-=104\n");
    // Lives for the whole run: every input is tried against the same engine,
    // as every screen of the game is.
    gEngine = new GameEngine();
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
}

void writeBmp(const std::string& path, int width, int height) {
    SDL_Surface* pSurface =
        SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    if (pSurface == nullptr) {
        std::fprintf(stderr, "kcs fuzz: cannot make a %dx%d surface\n", width, height);
        std::abort();
    }
    for (int y = 0; y < height; ++y) {
        auto* pRow = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pSurface->pixels) +
                                                 y * pSurface->pitch);
        for (int x = 0; x < width; ++x) {
            // Every fourth pixel is the transparent key colour.
            pRow[x] = (x + y) % 4 == 0 ? 0xFF80FFu : 0x102030u * static_cast<uint32_t>(y % 7);
        }
    }
    SDL_SaveBMP(pSurface, path.c_str());
    SDL_FreeSurface(pSurface);
}

std::string textFrom(const uint8_t* pData, size_t size, size_t offset) {
    if (offset >= size) {
        return "";
    }
    return std::string(reinterpret_cast<const char*>(pData) + offset, size - offset);
}

} // namespace fuzz_support
