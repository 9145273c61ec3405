// The binary map file in memory: reading, the rules a map must keep, and
// writing. Shared by the game's Map and the designers' kcs-map tool so both
// accept and refuse exactly the same files with the same messages.
#pragma once

#include "engine/Screen.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FileRegistry;

class MapFile {
public:
    static constexpr size_t HEADER_SIZE = 3;     // bytes: W, H, N
    static constexpr int SEGMENT_TILES = 16;     // tiles in one segment
    static constexpr size_t SEGMENT_SIZE = 32;   // bytes: code and solid per tile
    static constexpr int MAX_TILES_ACROSS = 240; // largest W that is a multiple of 16
    static constexpr int MAX_TILES_DOWN = 255;   // largest H (17 screens)
    static constexpr int MAX_CODE_COUNT = 255;   // N is one byte
    static constexpr int TILE_SIZE = 16;         // px
    static constexpr int SCREEN_TILES_X = SCREEN_WIDTH / TILE_SIZE;  // tiles across a screen
    static constexpr int SCREEN_TILES_Y = SCREEN_HEIGHT / TILE_SIZE; // tiles down a screen
    // The largest sound map: the header and every tile of 240 x 255.
    static constexpr size_t MAX_FILE_SIZE =
        HEADER_SIZE + size_t{MAX_TILES_ACROSS} * MAX_TILES_DOWN * SEGMENT_SIZE / SEGMENT_TILES;

    // An empty map of the given size, every screen absent.
    MapFile(int tilesAcross, int tilesDown, int codeCount);

    // Every problem of the bytes, one line each, in file order; empty when the
    // map is sound. A broken header stops the search: nothing after it can be
    // located.
    static std::vector<std::string> findProblems(const std::vector<uint8_t>& bytes);
    // Parses sound bytes; throws DataError(fileName, first problem) otherwise.
    static MapFile parse(const std::string& fileName, const std::vector<uint8_t>& bytes);
    // Reads the whole file and parses it; throws DataError when it cannot be
    // opened.
    static MapFile read(FileRegistry& files, const std::string& fileName);
    // Reads the whole file; throws DataError when it cannot be read or is
    // larger than any sound map.
    static std::vector<uint8_t> readBytes(FileRegistry& files, const std::string& fileName);

    // The tile sheet a map needs: the problem as one line, or an empty text
    // when there is none.
    static std::string tileSheetProblem(int sheetWidth, int sheetHeight, int codeCount); // px

    // The file's bytes: header and body, absent segments written as zeros.
    std::vector<uint8_t> encode() const;

    int tilesAcross() const { return m_tilesAcross; }
    int tilesDown() const { return m_tilesDown; }
    int codeCount() const { return m_codeCount; }
    int screensAcross() const { return m_tilesAcross / SCREEN_TILES_X; }
    int screensDown() const { return m_tilesDown / SCREEN_TILES_Y; }

    // Screens are numbered row by row: screen row * screensAcross + column.
    bool isScreenPresent(int screen) const;
    void setScreenPresent(int screen, bool present);
    // Tile column and row across the whole map; code 0 in absent screens.
    uint8_t codeAt(int column, int row) const;
    bool isSolidAt(int column, int row) const;
    // Also makes the tile's screen present.
    void setTile(int column, int row, uint8_t code, bool solid);

private:
    size_t tileIndex(int column, int row) const;
    int screenOf(int column, int row) const;

    int m_tilesAcross = 0;
    int m_tilesDown = 0;
    int m_codeCount = 0;
    std::vector<uint8_t> m_codes;       // one per tile, row by row over the whole map
    std::vector<uint8_t> m_solids;      // 0 or 1, as m_codes
    std::vector<uint8_t> m_screenFlags; // 1 for a present screen
};
