// What the tests share: a headless engine running in a scratch folder with a
// small test font, and helpers to write data files and read pixels back.
#pragma once

#include "support/Programs.h"

#include <SDL.h>
#include <cstdint>
#include <functional>
#include <string>

namespace testing_support {

// The scratch folder every test runs in (also the working directory).
const std::string& scratchDir();

// Writes a 32-bit BMP of the given size; colour(x, y) gives each pixel as
// 0xRRGGBB.
void writeBmp(const std::string& path, int width, int height,
              const std::function<uint32_t(int, int)>& colour);

// A pixel of a surface as 0xRRGGBB.
uint32_t pixelAt(SDL_Surface* pSurface, int x, int y);

// The test font: 8x8 cells, every pixel of cell k has the colour
// testGlyphColour(k); the blank's cell is transparent. Keys: digits at cells
// 0-9, A at 10, B at 11, "space" at 12, "-" at 13, C at 14.
constexpr int TEST_GLYPH_SIZE = 8; // px
uint32_t testGlyphColour(int cell);
// Which cell's colour a pixel shows, or -1 for none.
int cellOfColour(uint32_t colour);

// Puts the camera at a world position for one test and restores it after.
class CameraAt {
public:
    CameraAt(int x, int y);
    ~CameraAt();
    CameraAt(const CameraAt&) = delete;
    CameraAt& operator=(const CameraAt&) = delete;

private:
    SDL_Rect m_saved;
};

// Runs a program and collects its exit status and output.
struct RunResult {
    int status = -1; // exit status, or 128 + signal
    std::string out; // standard output
    std::string err; // standard error
};
RunResult runProgram(const std::string& commandLine);

} // namespace testing_support
