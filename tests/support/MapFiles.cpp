// Writers for small test levels; the byte layout is written out here on its
// own so a test does not depend on the loader it checks.
#include "support/MapFiles.h"

#include "support/TestEnvironment.h"

namespace testing_support {

namespace {

constexpr int TILE = 16;           // px
constexpr int SCREEN_COLUMNS = 16; // tiles
constexpr int SCREEN_ROWS = 15;    // tiles
constexpr size_t HEADER = 3;       // bytes

} // namespace

MapBytes::MapBytes(int screensAcross, int screensDown, int codeCount)
    : m_tilesAcross(screensAcross * SCREEN_COLUMNS), m_tilesDown(screensDown * SCREEN_ROWS),
      m_codeCount(codeCount), m_body(static_cast<size_t>(m_tilesAcross * m_tilesDown) * 2, 0) {
    // Each tile is its code byte, then its solid byte.
    for (size_t code = 0; code < m_body.size(); code += 2) {
        m_body[code] = 1;
    }
}

MapBytes& MapBytes::tile(int column, int row, uint8_t code, bool solid) {
    size_t offset = codeOffset(column, row) - HEADER;
    m_body[offset] = code;
    m_body[offset + 1] = solid ? 1 : 0;
    return *this;
}

MapBytes& MapBytes::fillScreen(int screenColumn, int screenRow, uint8_t code, bool solid) {
    for (int row = 0; row < SCREEN_ROWS; ++row) {
        for (int column = 0; column < SCREEN_COLUMNS; ++column) {
            tile(screenColumn * SCREEN_COLUMNS + column, screenRow * SCREEN_ROWS + row, code,
                 solid);
        }
    }
    return *this;
}

MapBytes& MapBytes::removeScreen(int screenColumn, int screenRow) {
    return fillScreen(screenColumn, screenRow, 0);
}

std::string MapBytes::bytes() const {
    std::string header = {static_cast<char>(m_tilesAcross), static_cast<char>(m_tilesDown),
                          static_cast<char>(m_codeCount)};
    return header + std::string(m_body.begin(), m_body.end());
}

size_t MapBytes::codeOffset(int column, int row) const {
    // Rows of the whole map are stored one after the other, so segments of one
    // row are contiguous and a tile's offset is simply its index times two.
    return HEADER + (static_cast<size_t>(row) * static_cast<size_t>(m_tilesAcross) +
                     static_cast<size_t>(column)) *
                        2;
}

uint32_t testTileColour(int image) {
    return 0x300060u | static_cast<uint32_t>(image & 0xFF) << 8;
}

void writeTileSheet(const std::string& path, int images) {
    int height = images > 0 ? images * TILE : 1;
    writeBmp(path, TILE, height, [](int, int y) { return testTileColour(y / TILE); });
}

void writeLevel(const std::string& name, const std::string& mapBytes,
                const std::vector<LevelBoundary>& boundaries, const std::string& extraKeys) {
    // The first value of a repeated key wins, so extraKeys go first.
    std::string ini = "[" + name + "]\n" + extraKeys;
    ini += "tileSheet=" + name + ".bmp\ntileMap=" + name + ".map\n";
    ini += "boundaries=" + std::to_string(boundaries.size()) + "\n";
    for (size_t i = 0; i < boundaries.size(); ++i) {
        std::string prefix = "boundary" + std::to_string(i);
        ini += prefix + "x=" + std::to_string(boundaries[i].x) + "\n";
        ini += prefix + "y=" + std::to_string(boundaries[i].y) + "\n";
        ini += prefix + "w=" + std::to_string(boundaries[i].w) + "\n";
    }
    ini += "teleportStopPosY=4\n";
    writeFile("levels.ini", ini);
    writeFile(name + ".map", mapBytes);
    int codeCount = mapBytes.size() > 2 ? static_cast<uint8_t>(mapBytes[2]) : 1;
    writeTileSheet(name + ".bmp", codeCount - 1);
}

} // namespace testing_support
