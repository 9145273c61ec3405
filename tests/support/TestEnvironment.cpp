// The shared headless engine, created once for the whole test program.
#include "support/TestEnvironment.h"

#include "engine/Files.h"
#include "engine/GameEngine.h"
#include "graphics/Font.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace testing_support {

namespace {

constexpr int TEST_FONT_CELLS = 16;
// A run past this is stuck; each test bounds its own runs far below it.
constexpr int RUN_LIMIT = 3600; // s

std::string gScratch;

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/kcs-tests-XXXXXX";
        char* pDir = mkdtemp(pattern);
        ASSERT_NE(pDir, nullptr);
        gScratch = pDir;
        std::filesystem::current_path(gScratch);
        // Unless a test run asks for a display (the window's test, under xvfb-run).
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        writeBmp("testfont.bmp", TEST_GLYPH_SIZE, TEST_GLYPH_SIZE * TEST_FONT_CELLS,
                 [](int, int y) { return testGlyphColour(y / TEST_GLYPH_SIZE); });
        writeFile("font.ini", "[Properties]\nsheet=testfont.bmp\ncharacterHeight=8\n"
                              "characterWidth=8\n[Characters]\nA=80\nB=88\nspace=96\n-=104\n"
                              "C=112\n");
        m_pEngine = new GameEngine(m_files, loadFont);
        gEngine = m_pEngine;
    }

    void TearDown() override {
        delete m_pEngine;
        gEngine = nullptr;
        std::filesystem::current_path("/");
        std::filesystem::remove_all(gScratch);
    }

private:
    FileRegistry m_files; // the test program's run: what it reads and writes
    GameEngine* m_pEngine = nullptr;
};

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment());

} // namespace

const std::string& scratchDir() {
    return gScratch;
}

void writeBmp(const std::string& path, int width, int height,
              const std::function<uint32_t(int, int)>& colour) {
    SDL_Surface* pSurface =
        SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    for (int y = 0; y < height; ++y) {
        auto* pRow = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pSurface->pixels) +
                                                 y * pSurface->pitch);
        for (int x = 0; x < width; ++x) {
            pRow[x] = colour(x, y);
        }
    }
    SDL_SaveBMP(pSurface, path.c_str());
    SDL_FreeSurface(pSurface);
}

uint32_t pixelAt(SDL_Surface* pSurface, int x, int y) {
    SDL_LockSurface(pSurface);
    const uint8_t* pPixel = static_cast<const uint8_t*>(pSurface->pixels) + y * pSurface->pitch +
                            x * pSurface->format->BytesPerPixel;
    // The pixel's bytes, lowest first, are its value whatever its width.
    static_assert(std::endian::native == std::endian::little);
    uint32_t value = 0;
    std::memcpy(&value, pPixel, pSurface->format->BytesPerPixel);
    SDL_UnlockSurface(pSurface);
    Uint8 r = 0, g = 0, b = 0;
    SDL_GetRGB(value, pSurface->format, &r, &g, &b);
    return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
}

uint32_t testGlyphColour(int cell) {
    // The blank is the key colour: transparent.
    return cell == 12 ? 0xFF80FF : static_cast<uint32_t>(0x10 + cell) << 16 | 0x3050;
}

int cellOfColour(uint32_t colour) {
    int cell = static_cast<int>(colour >> 16) - 0x10;
    return (colour & 0xFFFF) == 0x3050 && cell >= 0 && cell < TEST_FONT_CELLS ? cell : -1;
}

CameraAt::CameraAt(int x, int y) : m_saved(gEngine->getCamera()) {
    gEngine->moveCamera(x - m_saved.x, y - m_saved.y);
}

CameraAt::~CameraAt() {
    SDL_Rect now = gEngine->getCamera();
    gEngine->moveCamera(m_saved.x - now.x, m_saved.y - now.y);
}

RunResult runProgram(const std::string& commandLine) {
    std::string outPath = gScratch + "/run.out";
    std::string errPath = gScratch + "/run.err";
    Ending ending =
        waitFor(startProgram({"/bin/sh", "-c", commandLine}, outPath, errPath), RUN_LIMIT);
    return {ending.signal != 0 ? 128 + ending.signal : ending.status, readFile(outPath),
            readFile(errPath)};
}

} // namespace testing_support
