// Fuzzes the map loader. The input is a tile-sheet height (two bytes, little
// end first) followed by the bytes of a map file. The SDL-free rules of
// MapFile see every input; a map they accept is then loaded by the game's own
// Map through a headless engine, drawn and queried all over and around it.
#include "FuzzSupport.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/Direction.h"
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "world/level/Map.h"
#include "world/level/MapFile.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string MAP_NAME = "fuzz.map";
const std::string SHEET_NAME = "fuzz.bmp";
constexpr size_t HEIGHT_BYTES = 2;
// Tall enough for every code of a one-byte N, and a little more.
constexpr int MAX_SHEET_HEIGHT = MapFile::TILE_SIZE * MapFile::MAX_CODE_COUNT + 32; // px
constexpr int SHEET_WIDTH = MapFile::TILE_SIZE;                                     // px
// Query positions step by a prime so they fall on every offset within a tile.
constexpr int32_t PROBE_STEP = 37;    // px
constexpr int32_t PROBE_MARGIN = 300; // px beyond the map on every side

int gSheetHeight = -1; // px of the sheet on disk, -1 before the first

void checkParsedAgainstProblems(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> problems = MapFile::findProblems(bytes);
    try {
        MapFile file = MapFile::parse(MAP_NAME, bytes);
        if (!problems.empty()) {
            std::abort();
        }
        // A sound map written out again reads back the same: its encoding,
        // which holds every code and solid flag, does not change.
        std::vector<uint8_t> encoded = file.encode();
        if (MapFile::parse(MAP_NAME, encoded).encode() != encoded) {
            std::abort();
        }
    } catch (const DataError& error) {
        if (problems.empty() || error.file() != MAP_NAME ||
            std::string(error.what()) != MAP_NAME + ": " + problems.front()) {
            std::abort();
        }
    }
}

void queryEverywhere(Map& map, int32_t width, int32_t height) {
    for (int32_t y = -PROBE_MARGIN; y < height + PROBE_MARGIN; y += PROBE_STEP) {
        for (int32_t x = -PROBE_MARGIN; x < width + PROBE_MARGIN; x += PROBE_STEP) {
            map.tileAt(x, y);
            SDL_Rect box{static_cast<Sint16>(x), static_cast<Sint16>(y), 15, 22};
            map.horizontalClearance(box, LEFT);
            map.horizontalClearance(box, RIGHT);
            map.verticalClearance(box, UP);
            map.verticalClearance(box, DOWN);
            map.probeLadders(x, y, y - 7, true);
            map.probeLadders(x, y, y + 7, false);
            map.isBottomless(x, y);
            map.isNearBoundaryBottom(y);
            map.isNearBoundaryTop(y);
            map.selectBoundary(x, y);
        }
    }
    for (int32_t y = 0; y < height; y += SCREEN_HEIGHT / 2) {
        for (int32_t x = 0; x < width; x += SCREEN_WIDTH / 2) {
            gEngine->setBounds(SDL_Rect{static_cast<Sint16>(x), static_cast<Sint16>(y),
                                        static_cast<Uint16>(width), SCREEN_HEIGHT});
            gEngine->followTarget(SDL_Rect{static_cast<Sint16>(x), static_cast<Sint16>(y), 16, 16});
            map.draw();
        }
    }
}

void loadThroughTheGame(const std::vector<uint8_t>& bytes, int sheetHeight) {
    if (sheetHeight != gSheetHeight) {
        fuzz_support::writeFile(SHEET_NAME, fuzz_support::bmpBytes(SHEET_WIDTH, sheetHeight));
        gSheetHeight = sheetHeight;
    }
    fuzz_support::writeFile(MAP_NAME, std::string(bytes.begin(), bytes.end()));
    int32_t width = bytes[0] * MapFile::TILE_SIZE;  // px
    int32_t height = bytes[1] * MapFile::TILE_SIZE; // px
    IniDictionary levels = IniDictionary::fromText(
        "[FUZZ]\ntileSheet=" + SHEET_NAME + "\ntileMap=" + MAP_NAME +
        "\nboundaries=2\nboundary0x=0\nboundary0y=0\nboundary0w=" + std::to_string(width) +
        "\nboundary1x=0\nboundary1y=240\nboundary1w=256\nteleportStopPosY=164\n");
    try {
        Map map("FUZZ", levels);
        queryEverywhere(map, width, height);
    } catch (const DataError& error) {
        // Only the sheet can still be refused: the bytes passed MapFile.
        if (error.file() != SHEET_NAME ||
            MapFile::tileSheetProblem(SHEET_WIDTH, sheetHeight, bytes[2]).empty()) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::startHeadlessEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    if (size < HEIGHT_BYTES) {
        return 0;
    }
    int sheetHeight = (pData[0] | pData[1] << 8) % MAX_SHEET_HEIGHT + 1;
    std::vector<uint8_t> bytes(pData + HEIGHT_BYTES, pData + size);
    checkParsedAgainstProblems(bytes);
    if (MapFile::findProblems(bytes).empty()) {
        loadThroughTheGame(bytes, sheetHeight);
    }
    return 0;
}
