// Small levels for tests: the bytes of a map file, a tile sheet whose images
// are plain colours, and the level's section of "levels.ini".
//
//     MapBytes map(2, 1);                  // two screens across, all code 1
//     map.tile(3, 14, 2, true);            // a solid code-2 tile, column 3, row 14
//     map.removeScreen(1, 0);              // the second screen is absent
//     writeLevel("Test", map.bytes());     // levels.ini, Test.map, Test.bmp
//     IniDictionary levels(gEngine->files(), "levels.ini");
//     Map level("Test", levels);
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A map file under construction. Every tile starts present, code 1, open.
class MapBytes {
public:
    // codeCount is the header's N: codes 1 to N - 1 are tile images.
    MapBytes(int screensAcross, int screensDown, int codeCount = 6);

    // One tile, by tile column and row across the whole map.
    MapBytes& tile(int column, int row, uint8_t code, bool solid = false);
    // Every tile of one screen.
    MapBytes& fillScreen(int screenColumn, int screenRow, uint8_t code, bool solid = false);
    // Makes a screen absent: all bytes of its 15 segments become 0.
    MapBytes& removeScreen(int screenColumn, int screenRow);

    // The whole file: header and body.
    std::string bytes() const;
    // Where the code byte of a tile lies in the file; its solid byte follows.
    size_t codeOffset(int column, int row) const;

private:
    int m_tilesAcross = 0;
    int m_tilesDown = 0;
    int m_codeCount = 0;
    std::vector<uint8_t> m_body; // the file after the header
};

// Image k of a test tile sheet is filled with testTileColour(k): never black,
// never the transparent key colour, different for every k.
uint32_t testTileColour(int image);
// A tile sheet of `images` tiles of 16x16 px, one above the other.
void writeTileSheet(const std::string& path, int images);

struct LevelBoundary {
    int x = 0; // px
    int y = 0; // px
    int w = 0; // px
};

// Writes level `name`: "levels.ini" (replaced) with the one section [name]
// holding extraKeys (lines "key=value\n", which win over the keys written
// after them), name.bmp and name.map, the boundaries and "teleportStopPosY" 4;
// name.map holding mapBytes; name.bmp with one image per tile code (N - 1
// from the header).
void writeLevel(const std::string& name, const std::string& mapBytes,
                const std::vector<LevelBoundary>& boundaries = {{0, 0, 256}},
                const std::string& extraKeys = "");

} // namespace testing_support
