// Scratch folder, headless engine and file writers for the fuzz targets.
#include "FuzzSupport.h"

#include "engine/Files.h"
#include "engine/GameEngine.h"
#include "graphics/Font.h"

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

// The sanitizer's settings for the fuzz targets (ASAN_OPTIONS still wins):
// a smaller quarantine and no filling of new blocks keep the inputs fast,
// and every kind of fault is still caught.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16:max_malloc_fill_size=0";
}

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
    // No gamepad is fuzzed: SDL need not look for one at every event poll.
    setenv("SDL_AUTO_UPDATE_JOYSTICKS", "0", 1);
    // SDL would turn SIGINT and SIGTERM into quit events nobody reads, and a
    // run could then only be killed; libFuzzer's own handlers stop it.
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
    writeBmp("font.bmp", 8, 8 * 16);
    writeFile("font.ini", "[Properties]\nsheet=font.bmp\ncharacterHeight=8\ncharacterWidth=8\n"
                          "[Characters]\nA=80\nB=88\nspace=96\n-=104\n");
    // Lives for the whole run, with its files: every input is tried against
    // the same engine, as every screen of the game is.
    gEngine = new GameEngine(*new FileRegistry, loadFont);
}

void writeFile(const std::string& path, const std::string& contents) {
    // One write, without a stream's buffer: files are written for every input.
    std::FILE* pFile = std::fopen(path.c_str(), "wb");
    if (pFile == nullptr || std::setvbuf(pFile, nullptr, _IONBF, 0) != 0 ||
        std::fwrite(contents.data(), 1, contents.size(), pFile) != contents.size() ||
        std::fclose(pFile) != 0) {
        std::perror(("kcs fuzz: cannot write " + path).c_str());
        std::abort();
    }
}

std::string bmpBytes(int width, int height) {
    // A 24-bit bottom-up BMP, made directly: SDL's saver seeks for every
    // row, and writing sheets was a third of the character target's time.
    constexpr uint32_t HEADER = 54; // file header and BITMAPINFOHEADER, bytes
    uint32_t pitch = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    uint32_t size = HEADER + pitch * static_cast<uint32_t>(height);
    std::string bytes(size, '\0');
    auto put = [&](size_t at, uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            bytes[at + i] = static_cast<char>(value >> (8 * i));
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, size, 4);
    put(10, HEADER, 4);
    put(14, 40, 4); // BITMAPINFOHEADER
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);  // planes
    put(28, 24, 2); // bits per pixel
    put(34, pitch * static_cast<uint32_t>(height), 4);
    for (int y = 0; y < height; ++y) {
        size_t row = HEADER + pitch * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            // Every fourth pixel is the transparent key colour.
            uint32_t colour =
                (x + y) % 4 == 0 ? 0xFF80FFu : 0x102030u * static_cast<uint32_t>(y % 7);
            put(row + 3 * static_cast<size_t>(x), colour, 3); // blue, green, red
        }
    }
    return bytes;
}

void writeBmp(const std::string& path, int width, int height) {
    writeFile(path, bmpBytes(width, height));
}

std::string textFrom(const uint8_t* pData, size_t size, size_t offset) {
    if (offset >= size) {
        return "";
    }
    return std::string(reinterpret_cast<const char*>(pData) + offset, size - offset);
}

} // namespace fuzz_support
