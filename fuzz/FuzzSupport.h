// What the fuzz targets share: a scratch folder as the working directory, a
// headless engine with a small font in it, and writers for data files.
#pragma once

#include <cstdint>
#include <string>

namespace fuzz_support {

// Makes a fresh scratch folder the working directory; removed at exit.
void enterScratchFolder();

// enterScratchFolder, then a GameEngine on SDL's dummy video driver, which
// reads "font.ini" and its sheet from the scratch folder. Sets gEngine.
void startHeadlessEngine();

void writeFile(const std::string& path, const std::string& contents);

// A 24-bit BMP of the given size in a few colours; every fourth pixel is
// the key colour.
std::string bmpBytes(int width, int height);

// The input's bytes from offset on as text (empty past the end).
std::string textFrom(const uint8_t* pData, size_t size, size_t offset);

} // namespace fuzz_support
