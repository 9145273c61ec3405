// Scratch folder, headless engine and file writers for the fuzz targets.
#include "FuzzSupport.h"

#include "engine/Files.h"
#include "engine/GameEngine.h"
#include "graphics/Font.h"

#include <algorithm>
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

// Registered only once the folder exists.
void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(gScratch, ignored);
}

} // namespace

void enterScratchFolder() {
    // Files are written for every input: in memory when the machine has a
    // tmpfs, since a disk file system syncs a file truncated and rewritten.
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                     ? "/dev/shm"
                                     : std::filesystem::temp_directory_path();
    gScratch = (base / "kcs-fuzz-XXXXXX").string();
    if (mkdtemp(gScratch.data()) == nullptr) {
        std::perror("kcs fuzz: cannot make a scratch folder");
        std::abort();
    }
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
    writeFile("font.bmp", bmpBytes(8, 8 * 16));
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
    // A 24-bit BMP, made directly: SDL's saver seeks for every
    // row, and writing sheets was a third of the character target's time.
    constexpr uint32_t HEADER = 54; // file header and BITMAPINFOHEADER, bytes
    const auto w = static_cast<uint32_t>(width);
    const auto h = static_cast<uint32_t>(height);
    uint32_t pitch = (w * 3 + 3) & ~3u;
    uint32_t size = HEADER + pitch * h;
    std::string bytes(size, '\0');
    auto put = [&](size_t at, uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            bytes[at + i] = static_cast<char>(value >> (8 * i));
        }
    };
    // "BM", then from byte 2 the words of the headers: the file's size, 0,
    // the offset of the pixels, the BITMAPINFOHEADER's size, width, height,
    // 1 plane and 24 bits a pixel, no compression and the pixels' size.
    put(0, 'B' | 'M' << 8, 2);
    const uint32_t words[] = {size, 0, HEADER, 40, w, h, 1 | 24 << 16, 0, size - HEADER};
    for (size_t i = 0; i < std::size(words); ++i) {
        put(2 + 4 * i, words[i], 4);
    }
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            // Every fourth pixel is the transparent key colour; the rows go
            // up from the bottom, and a pixel is blue, green, red.
            uint32_t colour = (x + y) % 4 == 0 ? 0xFF80FFu : 0x102030u * (y % 7);
            put(HEADER + pitch * (h - 1 - y) + 3 * x, colour, 3);
        }
    }
    return bytes;
}

std::string textFrom(const uint8_t* pData, size_t size, size_t offset) {
    offset = std::min(offset, size);
    return std::string(reinterpret_cast<const char*>(pData) + offset, size - offset);
}

} // namespace fuzz_support
