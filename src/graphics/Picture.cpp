#include "graphics/Picture.h"

#include "engine/Bitmap.h"
#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/GameEngine.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr int DIGIT_WIDTH = 3;  // px before scaling
constexpr int DIGIT_HEIGHT = 5; // px before scaling
// Rows of each digit, top first, the leftmost pixel in the highest of the
// three bits; the last glyph is the minus sign.
constexpr std::array<std::array<uint8_t, DIGIT_HEIGHT>, 11> DIGITS{{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 3, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 1, 2, 2},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
    {0, 0, 7, 0, 0},
}};
constexpr uint32_t NUMBER_BACKING = 0x000000;

} // namespace

Picture::Picture(int width, int height, uint32_t background, const std::string& what)
    : m_what(what) {
    if (width > 0 && height > 0) {
        m_pSurface = GameEngine::createPicture(width, height);
    }
    if (!m_pSurface) {
        throw DataError(what, "cannot make a picture of " + std::to_string(width) + " x " +
                                  std::to_string(height) + " px");
    }
    fill(0, 0, width, height, background);
}

void Picture::fill(int x, int y, int width, int height, uint32_t colour) {
    int left = std::max(x, 0);
    int top = std::max(y, 0);
    int right = std::min(x + width, m_pSurface->w);
    int bottom = std::min(y + height, m_pSurface->h);
    for (int row = top; row < bottom; ++row) {
        auto* pRow = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(m_pSurface->pixels) +
                                                 row * m_pSurface->pitch);
        std::fill(pRow + std::max(left, 0), pRow + std::max(right, left), colour);
    }
}

void Picture::outline(int x, int y, int width, int height, int thickness, uint32_t colour) {
    fill(x, y, width, thickness, colour);
    fill(x, y + height - thickness, width, thickness, colour);
    fill(x, y, thickness, height, colour);
    fill(x + width - thickness, y, thickness, height, colour);
}

void Picture::hatch(int x, int y, int width, int height, int spacing, uint32_t colour) {
    for (int row = 0; row < height; ++row) {
        for (int column = (spacing - row % spacing) % spacing; column < width; column += spacing) {
            plot(x + column, y + row, colour);
        }
    }
}

void Picture::line(int x0, int y0, int x1, int y1, uint32_t colour) {
    int dx = std::abs(x1 - x0);
    int dy = -std::abs(y1 - y0);
    int stepX = x0 < x1 ? 1 : -1;
    int stepY = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        plot(x0, y0, colour);
        if (x0 == x1 && y0 == y1) {
            return;
        }
        int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += stepX;
        }
        if (twice <= dx) {
            error += dx;
            y0 += stepY;
        }
    }
}

int Picture::number(int x, int y, int64_t value, int scale, uint32_t colour) {
    std::string text = std::to_string(value);
    int advance = (DIGIT_WIDTH + 1) * scale;
    int width = static_cast<int>(text.size()) * advance + scale;
    fill(x, y, width, (DIGIT_HEIGHT + 2) * scale, NUMBER_BACKING);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto& glyph = DIGITS[text[i] == '-' ? 10 : static_cast<size_t>(text[i] - '0')];
        for (int row = 0; row < DIGIT_HEIGHT; ++row) {
            for (int column = 0; column < DIGIT_WIDTH; ++column) {
                if ((glyph[static_cast<size_t>(row)] >> (DIGIT_WIDTH - 1 - column) & 1) != 0) {
                    fill(x + scale + static_cast<int>(i) * advance + column * scale,
                         y + scale + row * scale, scale, scale, colour);
                }
            }
        }
    }
    return width;
}

void Picture::plot(int x, int y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < m_pSurface->w && y < m_pSurface->h) {
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(m_pSurface->pixels) +
                                    y * m_pSurface->pitch)[x] = colour;
    }
}

std::string Picture::png() const {
    return encodePng(m_pSurface.get(), m_what);
}

void Picture::save(const FileRegistry& files, const std::string& path,
                   const std::string& option) const {
    writeFileWhole(files, path, png(), option);
}
