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

void queryEverywhere(Map& map) {
    for (int32_t y = -PROBE_MARGIN; y < map.height() + PROBE_MARGIN; y += PROBE_STEP) {
        for (int32_t x = -PROBE_MARGIN; x < map.width() + PROBE_MARGIN; x += PROBE_STEP) {
            map.tileAt(x, y);
            SDL_Rect box{static_cast<Sint16>(x), static_cast<Sint16>(y), 15, 22};
            map.horizontalClearance(box, LEFT);
            map.horizontalClearance(box, RIGHT);
            map.verticalClearance(box, UP);
            map.verticalClearance(box, DOWN);
            map.probeLadders(x, y, y - 7, true);
            map.probeLadders(x, y, y + 7, false);
            map.isBottomless(x, y);
            map.selectBoundary(x, y);
        }
    }
    // The camera over every half screen of the map.
    for (int32_t y = 0; y < map.height(); y += SCREEN_HEIGHT / 2) {
        for (int32_t x = 0; x < map.width(); x += SCREEN_WIDTH / 2) {
            SDL_Rect camera = gEngine->getCamera();
            gEngine->moveCamera(x - camera.x, y - camera.y);
            map.draw();
        }
    }
}

void loadThroughTheGame(const std::vector<uint8_t>& bytes, int sheetHeight) {
    fuzz_support::writeFile(SHEET_NAME, fuzz_support::bmpBytes(SHEET_WIDTH, sheetHeight));
    fuzz_support::writeFile(MAP_NAME, std::string(bytes.begin(), bytes.end()));
    // The first boundary is 4096 px wide, wider than any map (255 tiles).
    IniDictionary levels = IniDictionary::fromText(
        "[FUZZ]\ntileSheet=" + SHEET_NAME + "\ntileMap=" + MAP_NAME +
        "\nboundaries=2\nboundary0w=4096\nboundary1y=240\nboundary1w=256\nteleportStopPosY=164\n");
    try {
        Map map("FUZZ", levels);
        queryEverywhere(map);
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
    std::vector<uint8_t> bytes(pData + HEIGHT_BYTES, pData + size);
    // MapFile's rules: parse refuses exactly what findProblems finds, naming
    // the file and its first problem, and a sound map written out again reads
    // back the same (its encoding holds every code and solid flag).
    std::vector<std::string> problems = MapFile::findProblems(bytes);
    try {
        std::vector<uint8_t> encoded = MapFile::parse(MAP_NAME, bytes).encode();
        if (!problems.empty() || MapFile::parse(MAP_NAME, encoded).encode() != encoded) {
            std::abort();
        }
    } catch (const DataError& error) {
        if (problems.empty() || error.file() != MAP_NAME ||
            std::string(error.what()) != MAP_NAME + ": " + problems.front()) {
            std::abort();
        }
        return 0;
    }
    loadThroughTheGame(bytes, (pData[0] | pData[1] << 8) % MAX_SHEET_HEIGHT + 1);
    return 0;
}
