// The map: its construction from the level's files and the refusals of broken
// ones (the same line through the game's Map and "kcs-map check"), the
// answers of its queries where the player's moves on the demo data never
// go (off the map, past the strip, at the ends of 32 bits), and its drawing,
// on small levels written to the scratch folder with pixels read back from
// the engine's screen.
#include "world/level/Map.h"
#include "world/level/MapFile.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/Direction.h"
#include "engine/GameEngine.h"
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>

using testing_support::LevelBoundary;
using testing_support::MapBytes;
using testing_support::pixelAt;
using testing_support::runProgram;
using testing_support::testTileColour;
using testing_support::writeFile;
using testing_support::writeLevel;

namespace {

constexpr uint32_t BLACK = 0x000000;
constexpr uint8_t WALL = 2;

// Level "Test" as its files stand.
std::unique_ptr<Map> loadTest() {
    return std::make_unique<Map>("Test", IniDictionary(gEngine->files(), "levels.ini"));
}

// Level "Test" from the bytes of its map.
std::unique_ptr<Map> loadLevel(const std::string& bytes,
                               const std::vector<LevelBoundary>& boundaries = {{0, 0, 256}},
                               const std::string& extraKeys = "") {
    writeLevel("Test", bytes, boundaries, extraKeys);
    return loadTest();
}

// The message Map throws for level "Test" as its files stand, or "" when it
// loads; its log line is kept off the test's output.
std::string loadProblem() {
    std::string problem;
    ::testing::internal::CaptureStdout();
    try {
        loadTest();
    } catch (const DataError& error) {
        problem = error.what();
    }
    ::testing::internal::GetCapturedStdout();
    return problem;
}

// "type solid|open at x,y"
std::string describe(const Tile& tile) {
    return std::to_string(tile.type) + (tile.solid ? " solid at " : " open at ") +
           std::to_string(tile.x) + "," + std::to_string(tile.y);
}

std::string withByte(std::string bytes, size_t offset, uint8_t value) {
    bytes[offset] = static_cast<char>(value);
    return bytes;
}

} // namespace

TEST(MapLoadTest, StoresCodesSolidBytesAndPositionsAndLogsTheMapFile) {
    MapBytes bytes(2, 2);
    bytes.tile(1, 0, Map::LADDER_TILE + 1).tile(2, 0, WALL, true).tile(2, 15, 4, true);
    std::string file = bytes.bytes();
    file[bytes.codeOffset(3, 0) + 1] = static_cast<char>(255);
    // The game's one log line, which shares standard output with a trace.
    ::testing::internal::CaptureStdout();
    auto pMap = loadLevel(file);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Map::load: mapFilename: Test.map\n");

    EXPECT_EQ(describe(pMap->tileAt(16, 0)), "4 open at 16,0");
    EXPECT_TRUE(pMap->tileAt(48, 0).solid) << "any solid byte but 0";
    EXPECT_EQ(describe(pMap->tileAt(-5, -5)), "0 open at 0,0") << "clamped";
    // Screen screensAcross * 1 + 0, cell (10 / 16) * 16 + 37 / 16 = 2.
    EXPECT_EQ(describe(pMap->tileAt(37, 250)), "3 solid at 32,240");
    // x is not checked against the width: right of the last screen column the
    // next row of screens answers, with its own stored position.
    EXPECT_EQ(describe(pMap->tileAt(512 + 37, 10)), "3 solid at 32,240");
}

TEST(MapLoadTest, BoundariesAreStoredIn16BitsAndTheStartKeepsToTheFirst) {
    auto pMap = loadLevel(MapBytes(2, 3).bytes(), {{0, 480, 512}, {65536 + 5, 40000, 70000}},
                          "teleportStopPosY=100\nteleportStartYSpeedFraction=200\n");
    EXPECT_EQ(pMap->teleportStartYSpeed().raw, 200);
    pMap->selectBoundary(5, 40000 - 65536);
    SDL_Rect second = pMap->currentBoundary();
    EXPECT_EQ(std::vector<int>({second.x, second.y, second.w}),
              std::vector<int>({5, -25536, 4464}));
    // Start and teleport stop belong to the first boundary whichever is current.
    EXPECT_EQ(pMap->startY().raw, 484 * 256 + 248);
    EXPECT_EQ(integerPart(pMap->teleportStopY()), 580);
}

// Where the player's moves on the demo data never go: beside the strip and
// past the stored screens made-up tiles answer, near the map's left edge
// the clearance is x itself, unprobed, and the ends of 32 bits wrap rather
// than overflow.
TEST(MapQueryTest, OffTheMapMadeUpTilesAnswerAndTheEndsOf32BitsWrap) {
    MapBytes bytes(2, 3);
    bytes.removeScreen(1, 0).removeScreen(1, 1).removeScreen(1, 2);
    auto pMap = loadLevel(bytes.bytes(), {{0, 0, 256}, {0, 240, 256}});
    pMap->selectBoundary(10, 300);
    EXPECT_TRUE(pMap->tileAt(300, 240).solid);
    EXPECT_TRUE(pMap->tileAt(300, 480).solid);
    EXPECT_FALSE(pMap->tileAt(300, 239).solid);
    EXPECT_EQ(describe(pMap->tileAt(300, 481)), "0 open at 288,480");
    EXPECT_TRUE(pMap->tileAt(100000, 300).solid);
    EXPECT_EQ(pMap->horizontalClearance(SDL_Rect{5, 300, 10, 20}, LEFT), 5);
    EXPECT_EQ(describe(pMap->tileAt(INT_MAX, INT_MAX)), "0 open at 2147483632,2147483632");
    pMap->probeLadders(0, INT_MAX, INT_MIN, false);
    pMap->probeLadders(0, INT_MIN, INT_MAX, true);
    EXPECT_TRUE(pMap->isNearBoundaryTop(INT_MIN));
    EXPECT_TRUE(pMap->isNearBoundaryBottom(INT_MAX));
}

// Three screens in three colours (screen s drawn with tile image s) and the
// fourth absent: which screens the camera's view covers, read back from the
// screen's pixels.
TEST(MapDrawTest, DrawsTheScreensTheCameraCovers) {
    MapBytes bytes(2, 2);
    bytes.fillScreen(0, 0, 1).fillScreen(1, 0, 2).fillScreen(0, 1, 3).removeScreen(1, 1);
    auto pMap = loadLevel(bytes.bytes(), {{0, 0, 512}});
    // The camera's x and y, a pixel's x and y, and the screen it shows (-1:
    // black, not drawn).
    const int cases[][5] = {
        {0, 120, 0, 120, 2},
        {256, 120, 0, 120, -1},
        // Both offsets add only the screen to the right.
        {100, 120, 155, 119, 0},
        {100, 120, 156, 0, 1},
        {100, 120, 0, 200, -1},
        // Off the map nothing is drawn; left of it the division truncates
        // toward zero, so screen 0 shows shifted right.
        {-32768, 32767, 0, 0, -1},
        {-100, 0, 99, 0, -1},
        {-100, 0, 100, 0, 0},
    };
    for (const auto& [cameraX, cameraY, x, y, screen] : cases) {
        testing_support::CameraAt camera(cameraX, cameraY);
        gEngine->clearScreen();
        pMap->draw();
        EXPECT_EQ(pixelAt(gEngine->getScreen(), x, y), screen < 0 ? BLACK : testTileColour(screen))
            << "camera " << cameraX << "," << cameraY << " pixel " << x << "," << y;
    }
}

// Each row spoils the map file or the tile sheet of a sound level, one row
// for each check: the game and "kcs-map check" both refuse with the same one
// line.
TEST(MapFileCheckTest, BrokenMapFilesAndTileSheetsAreRefusedAlike) {
    const std::string sound = MapBytes(1, 1).bytes();
    struct Case {
        std::string map;
        std::string problem;  // the start of the line
        int sheetWidth = 16;  // px
        int sheetHeight = 80; // px: N = 6 needs 5 images
    };
    const Case cases[] = {
        {std::string("\x10\x0F", 2), "Test.map: file is 2 bytes, shorter than the 3-byte header"},
        {withByte(sound, 0, 17), "Test.map: width 17 tiles (byte 0) is not a multiple of 16"},
        {withByte(sound, 1, 14), "Test.map: height 14 tiles (byte 1) is not a multiple of 15"},
        {std::string("\x00\x0F\x06", 3), "Test.map: size 0 x 15 tiles (bytes 0 and 1) holds no"},
        {withByte(sound, 2, 0), "Test.map: tile code count N (byte 2) is 0; it must be at least 1"},
        {sound.substr(0, 482),
         "Test.map: file is 482 bytes, but its header (16 x 15 tiles) needs 483"},
        {MapBytes(2, 1).tile(16, 5, 0).bytes(),
         "Test.map: screen 1 (screen column 1, row 0) is partly absent: the segment of tile row 5 "
         "(byte 355) is absent but the screen's top row is present; a screen's 15 segments must "
         "be all present or all absent"},
        {MapBytes(1, 2).removeScreen(0, 1).tile(0, 17, 1).bytes(),
         "Test.map: screen 1 (screen column 0, row 1) is partly absent: the segment of tile row 17 "
         "(byte 547) is present"},
        {MapBytes(1, 1).tile(4, 2, 6).bytes(),
         "Test.map: tile row 2, column 4 (byte 75): code 6 in a present screen; codes must be 1 "
         "to N - 1 = 5"},
        {MapBytes(1, 1).tile(4, 2, 0).bytes(), "Test.map: tile row 2, column 4 (byte 75): code 0"},
        {sound,
         "Test.bmp: tile sheet is 64 px tall, but the map's 5 tile codes need 5 images of 16 px, "
         "80 px in all (map Test.map)",
         16, 64},
        {sound, "Test.bmp: tile sheet is 8 px wide, but its tile images are 16 px wide", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        writeLevel("Test", c.map);
        testing_support::writeBmp("Test.bmp", c.sheetWidth, c.sheetHeight,
                                  [](int, int) { return 0xFFFFFFu; });
        std::string message = loadProblem();
        EXPECT_EQ(message.rfind(c.problem, 0), 0u) << message;
        auto result = runProgram(std::string(KCS_MAP_BINARY) + " check Test.map --tiles Test.bmp");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, message + "\n");
    }
}

TEST(MapFileCheckTest, ListsEveryProblemOfTheBodyOneLineEachAndPassesASoundFile) {
    MapBytes bytes(2, 1);
    bytes.tile(3, 0, 9).tile(20, 14, 7).tile(16, 3, 0);
    writeFile("several.map", bytes.bytes());
    auto result = runProgram(std::string(KCS_MAP_BINARY) + " check several.map");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2);

    std::vector<uint8_t> noise(3 + 32 * 15 * 2, 200);
    noise[0] = 32;
    noise[1] = 15;
    noise[2] = 100;
    auto problems = MapFile::findProblems(noise);
    ASSERT_EQ(problems.size(), 101u) << "a file of noise is summed up, not listed tile by tile";
    EXPECT_EQ(problems.back(), "... and 380 more problems");

    // Trailing bytes are ignored.
    writeFile("sound.map", MapBytes(2, 1).removeScreen(1, 0).bytes() + "trailing");
    testing_support::writeTileSheet("sound.bmp", 5);
    result = runProgram(std::string(KCS_MAP_BINARY) + " check sound.map --tiles sound.bmp");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "sound.map: sound: 32 x 15 tiles, 1 of 2 screens present, 6 tile codes\n");
}

// The level's section of "levels.ini": each line written, or "" when it loads.
TEST(MapLevelRulesTest, TheLevelsSectionIsChecked) {
    // Without the file keys the default name "empty" is tried; its failure is
    // the level section's fault, not that of a file named "empty".
    const std::string keys = "tileSheet=Test.bmp\ntileMap=Test.map\nboundaries=1\nboundary0w=256\n"
                             "teleportStopPosY=4\n";
    const std::pair<std::string, std::string> cases[] = {
        {"tileMap=Test.map\nboundaries=1\nteleportStopPosY=4\n",
         "[Test] tileSheet is not given, and the default \"empty\" cannot be loaded (empty: "},
        {"tileSheet=Test.bmp\nboundaries=1\nteleportStopPosY=4\n",
         "[Test] tileMap is not given, and the default \"empty\" cannot be loaded (empty: cannot "
         "open it: "},
        {"teleportStopPosY=-12\n" + keys, "[Test] \"teleportStopPosY\" is -12;"},
        {keys, ""},
        {"teleportStopPosY=20\n" + keys, ""},
    };
    writeLevel("Test", MapBytes(1, 1).bytes());
    for (const auto& [section, problem] : cases) {
        writeFile("levels.ini", "[Test]\n" + section);
        std::string message = loadProblem();
        if (problem.empty()) {
            EXPECT_EQ(message, "") << section;
        } else {
            EXPECT_EQ(message.rfind("levels.ini: " + problem, 0), 0u) << message;
        }
    }
}
