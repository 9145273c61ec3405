// A pixel grid's colours, row by row, in the screen's BMP form.
#include "BmpWriter.h"

#include "PixelGrid.h"
#include "common/ScreenBmp.h"
#include "common/SourceTool.h"

#include <cstdint>
#include <vector>

void writeBmpAtomically(const FileRegistry& files, const PixelGrid& grid, const std::string& path) {
    std::vector<uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(grid.width()) * static_cast<size_t>(grid.height()));
    for (int y = 0; y < grid.height(); ++y) {
        for (int x = 0; x < grid.width(); ++x) {
            pixels.push_back(grid.at(x, y));
        }
    }
    writeToolOutput(files, path, screenBmp(grid.width(), grid.height(), pixels));
}
