// The map: its construction from the level's files and the refusals of broken
// ones (the same line through the game's Map and "kcs-map check"), its
// queries, and its drawing, on small levels written to the scratch folder
// with pixels read back from the engine's screen.
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
#include <cstdio>
#include <memory>
#include <optional>

using testing_support::LevelBoundary;
using testing_support::MapBytes;
using testing_support::pixelAt;
using testing_support::runProgram;
using testing_support::testTileColour;
using testing_support::writeFile;
using testing_support::writeLevel;
using testing_support::writeTileSheet;

namespace {

constexpr uint32_t BLACK = 0x000000;
constexpr uint8_t WALL = 2;
constexpr uint8_t LADDER = Map::LADDER_TILE + 1;

// Level "Test" as its files stand.
std::unique_ptr<Map> loadTest() {
    IniDictionary levels(gEngine->files(), "levels.ini");
    return std::make_unique<Map>("Test", levels);
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

std::string describe(const SDL_Rect& rect) {
    return std::to_string(rect.x) + "," + std::to_string(rect.y) + " " + std::to_string(rect.w) +
           "x" + std::to_string(rect.h);
}

// Checks that the game and "kcs-map check ARGUMENTS" both refuse with the
// same one line, which starts with `problem`.
void expectRefusedAlike(const std::string& arguments, const std::string& problem) {
    std::string message = loadProblem();
    EXPECT_EQ(message.rfind(problem, 0), 0u) << message;
    auto result = runProgram(std::string(KCS_MAP_BINARY) + " check " + arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, message + "\n");
    EXPECT_EQ(result.out, "");
}

std::string withByte(std::string bytes, size_t offset, uint8_t value) {
    bytes[offset] = static_cast<char>(value);
    return bytes;
}

} // namespace

TEST(MapLoadTest, StoresCodesSolidBytesAndPositionsAndLogsTheMapFile) {
    MapBytes bytes(2, 2);
    bytes.tile(1, 0, LADDER).tile(2, 0, WALL, true).tile(2, 15, 4, true);
    std::string file = bytes.bytes();
    file[bytes.codeOffset(3, 0) + 1] = 2;
    file[bytes.codeOffset(4, 0) + 1] = static_cast<char>(255);
    file += "anything after the body is ignored";
    // The game's one log line, which shares standard output with a trace.
    ::testing::internal::CaptureStdout();
    auto pMap = loadLevel(file);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Map::load: mapFilename: Test.map\n");

    EXPECT_EQ(describe(pMap->tileAt(0, 0)), "0 open at 0,0");
    EXPECT_EQ(describe(pMap->tileAt(16, 0)), "4 open at 16,0");
    for (int x : {32, 48, 64}) {
        EXPECT_TRUE(pMap->tileAt(x, 0).solid) << "any solid byte but 0, x " << x;
    }
    EXPECT_EQ(describe(pMap->tileAt(16 * 7 + 9, 16 * 11 + 15)), "0 open at 112,176");
    EXPECT_EQ(describe(pMap->tileAt(-5, -5)), "0 open at 0,0") << "clamped";
    // Screen screensAcross * 1 + 0, cell (10 / 16) * 16 + 37 / 16 = 2.
    EXPECT_EQ(describe(pMap->tileAt(37, 250)), "3 solid at 32,240");
    // x is not checked against the width: right of the last screen column the
    // next row of screens answers, with its own stored position.
    EXPECT_EQ(describe(pMap->tileAt(512 + 37, 10)), "3 solid at 32,240");
}

TEST(MapLoadTest, BoundariesAreStoredIn16BitsAndTheStartKeepsToTheFirst) {
    auto pMap =
        loadLevel(MapBytes(2, 3).bytes(),
                  {{0, 480, 512}, {256, 240, 256}, {0, 240, 512}, {65536 + 5, 40000, 70000}},
                  "teleportStopPosY=100\nteleportStartYSpeedFraction=200\n");
    EXPECT_EQ(describe(pMap->currentBoundary()), "0,480 512x240");
    EXPECT_EQ(pMap->teleportStartYSpeed().raw, 200);
    // The first boundary that holds the point, or the current one when none
    // does; a boundary's right and bottom edges are outside it.
    const struct {
        int x, y;
        int boundary;
    } selections[] = {{300, 300, 1}, {100, 300, 2}, {100, 1000, 2},       {512, 300, 2},
                      {300, 720, 2}, {511, 480, 0}, {5, 40000 - 65536, 3}};
    for (const auto& s : selections) {
        pMap->selectBoundary(s.x, s.y);
        EXPECT_EQ(pMap->currentBoundaryIndex(), s.boundary) << s.x << "," << s.y;
        // Start and teleport stop belong to the first boundary whichever is current.
        EXPECT_EQ(pMap->startX().raw, 128 * 256);
        EXPECT_EQ(pMap->startY().raw, 484 * 256 + 248);
        EXPECT_EQ(integerPart(pMap->teleportStopY()), 580);
    }
    EXPECT_EQ(describe(pMap->currentBoundary()), "5,-25536 4464x240");
}

TEST(MapQueryTest, MadeUpTilesAreWallsBesideTheStripAndOpenAboveAndBelow) {
    MapBytes bytes(2, 3);
    bytes.removeScreen(1, 0).removeScreen(1, 1).removeScreen(1, 2);
    auto pMap = loadLevel(bytes.bytes(), {{0, 0, 256}, {0, 240, 256}});
    pMap->selectBoundary(10, 300);
    ASSERT_EQ(pMap->currentBoundary().y, 240);
    EXPECT_TRUE(pMap->tileAt(300, 240).solid);
    EXPECT_TRUE(pMap->tileAt(300, 480).solid);
    EXPECT_FALSE(pMap->tileAt(300, 239).solid);
    EXPECT_EQ(describe(pMap->tileAt(300, 481)), "0 open at 288,480");
    // Past the stored screens, and far away, the same rule answers.
    EXPECT_TRUE(pMap->tileAt(100000, 300).solid);
    EXPECT_FALSE(pMap->tileAt(10, 100000).solid);
    EXPECT_EQ(describe(pMap->tileAt(INT_MAX, INT_MAX)), "0 open at 2147483632,2147483632");
}

// Each row is a one-screen level with tiles set in one column, and a box
// asking how far it may move: LEFT, RIGHT and NONE across, UP and DOWN up
// and down.
TEST(MapQueryTest, ClearancesProbeOneTileAheadAtTheBoxEdges) {
    struct Column {
        int column, top, bottom; // tiles, rows inclusive
        uint8_t code;            // walls are solid
    };
    const Column edgeWall = {0, 0, 14, WALL};
    const SDL_Rect tall = {30, 96, 10, 40};
    struct Case {
        const char* name;
        std::vector<Column> tiles;
        SDL_Rect box;
        Direction direction;
        int clearance; // px
    };
    // Across, x + w = 40: the probe column is (40 + 16) / 16 = 3, rows 136,
    // 116 and 96; down, y + h = 100: the probe row is 116 / 16 = 7.
    const Case cases[] = {
        {"wall at the feet", {{3, 8, 8, WALL}}, tall, RIGHT, 7},
        {"wall at the middle", {{3, 7, 7, WALL}}, tall, RIGHT, 7},
        {"wall at the head", {{3, 6, 6, WALL}}, tall, RIGHT, 7},
        {"walls beside the box's rows", {{3, 10, 10, WALL}, {3, 5, 5, WALL}}, tall, RIGHT, 16},
        // Probe column x - 16 = 24, blocked at 24 mod 16 = 8.
        {"wall to the left", {{1, 7, 7, WALL}}, {40, 96, 10, 40}, LEFT, 8},
        {"left near the map edge: x, unprobed", {edgeWall}, {5, 96, 10, 40}, LEFT, 5},
        {"left at the first column", {edgeWall}, {16, 96, 10, 40}, LEFT, 0},
        {"no direction", {edgeWall}, {5, 96, 10, 40}, NONE, 0},
        {"floor under the left column", {{1, 7, 7, WALL}}, {20, 80, 15, 20}, DOWN, 11},
        {"floor under the right column", {{2, 7, 7, WALL}}, {20, 80, 15, 20}, DOWN, 11},
        // py = 10 - 16 = -6 probes row 0 and keeps the sign.
        {"ceiling at the map's top", {{1, 0, 0, WALL}}, {20, 10, 10, 20}, UP, -6},
        // A ladder's top is a floor only from above, which the player's
        // scripts meet standing on one, climbing through and running past;
        // here only the left column reaches the ladder, and the box's own
        // bottom row is not on one.
        {"ladder top under one column", {{1, 7, 10, LADDER}}, {30, 80, 20, 20}, DOWN, 11},
    };
    for (const Case& c : cases) {
        MapBytes bytes(1, 1);
        for (const Column& column : c.tiles) {
            for (int row = column.top; row <= column.bottom; ++row) {
                bytes.tile(column.column, row, column.code, column.code == WALL);
            }
        }
        auto pMap = loadLevel(bytes.bytes());
        bool vertical = c.direction == UP || c.direction == DOWN;
        EXPECT_EQ(vertical ? pMap->verticalClearance(c.box, c.direction)
                           : pMap->horizontalClearance(c.box, c.direction),
                  c.clearance)
            << c.name;
    }
}

TEST(MapQueryTest, ProbeLaddersLooksAtFeetBodyHeadAndTheNextPosition) {
    MapBytes bytes(1, 1);
    for (int row = 5; row <= 8; ++row) { // y 80 to 143
        bytes.tile(2, row, LADDER);
    }
    auto pMap = loadLevel(bytes.bytes());
    auto probe = [&](int x, int y, int nextY, bool rising) {
        LadderProbe p = pMap->probeLadders(x, y, nextY, rising);
        return std::string(p.belowNext ? "belowNext " : "") + (p.atFeet ? "feet " : "") +
               (p.atBody ? "body " : "") + (p.atHead ? "head " : "") +
               (p.aboveNext ? "aboveNext" : "");
    };
    EXPECT_EQ(probe(40, 100, 130, false), "belowNext feet body head "); // next 142
    EXPECT_EQ(probe(40, 140, 90, true), "body head ");      // feet 151, body 136, next 78
    EXPECT_EQ(probe(40, 150, 100, true), "head aboveNext"); // next 88
    EXPECT_EQ(probe(48, 100, 130, false), "");
    // Extreme positions wrap in 32 bits rather than overflow.
    pMap->probeLadders(0, INT_MAX, INT_MIN, false);
    pMap->probeLadders(0, INT_MIN, INT_MAX, true);
}

TEST(MapBoundaryTest, IsBottomlessLooksBelowTheStripOrAtTheOwnRow) {
    MapBytes bytes(2, 2);
    bytes.removeScreen(1, 1);
    auto pMap = loadLevel(bytes.bytes(), {{0, 0, 512}, {0, 240, 512}});
    // Inside strip 0 the row of screens below it answers.
    EXPECT_FALSE(pMap->isBottomless(10, 100));
    EXPECT_TRUE(pMap->isBottomless(300, 100));
    // Already below the strip (d >= 240): the point's own row answers.
    EXPECT_FALSE(pMap->isBottomless(10, 250));
    EXPECT_TRUE(pMap->isBottomless(10, 480));

    pMap->selectBoundary(10, 250);
    // Inside strip 1 the row below it (row 2) is past the map, though the
    // point's own screen is stored.
    EXPECT_TRUE(pMap->isBottomless(10, 250));
    EXPECT_TRUE(pMap->isBottomless(-300, 250));
    EXPECT_TRUE(pMap->isBottomless(INT_MAX, INT_MIN));
    // The edge zones wrap at the ends of y rather than overflow; their
    // thresholds show in the player's transitions.
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
    struct Pixel {
        int x, y;
        int screen; // -1: black, not drawn
    };
    struct Case {
        int cameraX, cameraY;
        std::vector<Pixel> pixels;
    };
    const Case cases[] = {
        {100, 0, {{0, 0, 0}, {155, 239, 0}, {156, 0, 1}, {255, 239, 1}}},
        {0, 120, {{0, 0, 0}, {255, 119, 0}, {0, 120, 2}, {255, 239, 2}}},
        {256, 120, {{0, 0, 1}, {255, 119, 1}, {0, 120, -1}, {255, 239, -1}}},
        // Both offsets add only the screen to the right.
        {100, 120, {{0, 0, 0}, {200, 50, 1}, {0, 200, -1}, {200, 200, -1}}},
        // Off the map nothing is drawn; left of it the division truncates
        // toward zero, so screen 0 shows shifted right.
        {-300, -500, {{0, 0, -1}, {255, 239, -1}}},
        {-32768, 32767, {{0, 0, -1}, {255, 239, -1}}},
        {0, 480, {{0, 0, -1}, {255, 239, -1}}}, // the screen one past the last

        {-100, 0, {{99, 0, -1}, {100, 0, 0}}},
    };
    for (const Case& c : cases) {
        testing_support::CameraAt camera(c.cameraX, c.cameraY);
        gEngine->clearScreen();
        pMap->draw();
        for (const Pixel& p : c.pixels) {
            EXPECT_EQ(pixelAt(gEngine->getScreen(), p.x, p.y),
                      p.screen < 0 ? BLACK : testTileColour(p.screen))
                << "camera " << c.cameraX << "," << c.cameraY << " pixel " << p.x << "," << p.y;
        }
    }
}

// Each row spoils the map file or the tile sheet of a sound level.
TEST(MapFileCheckTest, BrokenMapFilesAndTileSheetsAreRefusedAlike) {
    const std::string sound = MapBytes(1, 1).bytes();
    struct Case {
        std::optional<std::string> map; // none: no file at all
        std::string problem;            // the start of the line
        int sheetWidth = 16;            // px; 0: a file that is no bitmap, -1: no file
        int sheetHeight = 80;           // px: N = 6 needs 5 images
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
        {std::nullopt, "Test.map: cannot open it: "},
        {sound,
         "Test.bmp: tile sheet is 64 px tall, but the map's 5 tile codes need 5 images of 16 px, "
         "80 px in all (map Test.map)",
         16, 64},
        {sound, "Test.bmp: tile sheet is 8 px wide, but its tile images are 16 px wide", 8},
        {sound, "Test.bmp: not a loadable BMP image: ", 0},
        {sound, "Test.bmp: ", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        writeLevel("Test", sound);
        if (c.map) {
            writeFile("Test.map", *c.map);
        } else {
            std::remove("Test.map");
        }
        if (c.sheetWidth > 0) {
            testing_support::writeBmp("Test.bmp", c.sheetWidth, c.sheetHeight,
                                      [](int, int) { return 0xFFFFFFu; });
        } else if (c.sheetWidth == 0) {
            writeFile("Test.bmp", "not a bitmap");
        } else {
            std::remove("Test.bmp");
        }
        expectRefusedAlike("Test.map --tiles Test.bmp", c.problem);
    }
}

TEST(MapFileCheckTest, ListsEveryProblemOfTheBodyOneLineEachAndPassesASoundFile) {
    MapBytes bytes(2, 1);
    bytes.tile(3, 0, 9).tile(20, 14, 7).tile(16, 3, 0);
    writeFile("several.map", bytes.bytes());
    auto result = runProgram(std::string(KCS_MAP_BINARY) + " check several.map");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2);
    EXPECT_NE(result.err.find("several.map: tile row 0, column 3 (byte 9): code 9"),
              std::string::npos);
    EXPECT_NE(result.err.find("several.map: screen 1 (screen column 1, row 0) is partly absent"),
              std::string::npos);

    std::vector<uint8_t> noise(3 + 32 * 15 * 2, 200);
    noise[0] = 32;
    noise[1] = 15;
    noise[2] = 100;
    auto problems = MapFile::findProblems(noise);
    ASSERT_EQ(problems.size(), 101u) << "a file of noise is summed up, not listed tile by tile";
    EXPECT_EQ(problems.back(), "... and 380 more problems");

    // Trailing bytes are ignored.
    writeFile("sound.map", MapBytes(2, 1).removeScreen(1, 0).bytes() + "trailing");
    writeTileSheet("sound.bmp", 5);
    result = runProgram(std::string(KCS_MAP_BINARY) + " check sound.map --tiles sound.bmp");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "sound.map: sound: 32 x 15 tiles, 1 of 2 screens present, 6 tile codes\n");
    EXPECT_EQ(result.err, "");
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
        {"boundaries=0\n" + keys,
         "[Test] \"boundaries\" is 0; a level needs at least one boundary"},
        {"boundaries=-3\n" + keys, "[Test] \"boundaries\" is -3;"},
        {"boundaries=2000000000\n" + keys, "[Test] \"boundaries\" is 2000000000; at most 1024"},
        {"teleportStopPosY=3\n" + keys,
         "[Test] \"teleportStopPosY\" is 3; it must be 4 plus a multiple of 16"},
        {"teleportStopPosY=5\n" + keys, "[Test] \"teleportStopPosY\" is 5;"},
        {"teleportStopPosY=-12\n" + keys, "[Test] \"teleportStopPosY\" is -12;"},
        {"teleportStopPosY=2147483647\n" + keys, "[Test] \"teleportStopPosY\" is 2147483647;"},
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
