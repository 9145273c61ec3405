// A picture as rows of 0xRRGGBB colours, read from the text format of
// docs/art-format.md, with the two edits the sheets need: mirroring and
// painting one picture over another.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class FileRegistry;

class PixelGrid {
public:
    // The transparent colour of every bitmap the game loads.
    static constexpr uint32_t KEY_COLOUR = 0xFF80FF;

    // Parses a source text; fileName is used only in error messages.
    // Throws SourceError with the line and column of the first problem.
    static PixelGrid parse(const std::string& text, const std::string& fileName);
    // Reads and parses a file; throws SourceError when it cannot be read.
    static PixelGrid load(FileRegistry& files, const std::string& fileName);

    int width() const { return m_width; }
    int height() const { return static_cast<int>(m_rows.size()); }
    uint32_t at(int x, int y) const {
        return m_rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
    }

    // Flips every row left to right.
    void mirror();
    // Paints every pixel of the overlay that is not the key colour over this
    // picture. Throws SourceError naming overlayName when the sizes differ.
    void overlay(const PixelGrid& other, const std::string& overlayName);

private:
    PixelGrid() = default;

    int m_width = 0; // px
    std::vector<std::vector<uint32_t>> m_rows;
};
