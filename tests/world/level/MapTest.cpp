// The map's construction, drawing and queries, on small levels written to
// the scratch folder and pixels read back from the engine's screen.
#include "world/level/Map.h"

#include "config/IniDictionary.h"
#include "engine/Direction.h"
#include "engine/GameEngine.h"
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

using testing_support::LevelBoundary;
using testing_support::MapBytes;
using testing_support::pixelAt;
using testing_support::testTileColour;
using testing_support::writeLevel;

namespace {

constexpr uint32_t BLACK = 0x000000;
constexpr uint8_t WALL_CODE = 2;
constexpr uint8_t LADDER_CODE = Map::LADDER_TILE + 1;

// Level "Test" from the bytes of its map.
std::unique_ptr<Map> loadLevel(const std::string& bytes,
                               const std::vector<LevelBoundary>& boundaries = {{0, 0, 256}},
                               const std::string& extraKeys = "") {
    writeLevel("Test", bytes, boundaries, extraKeys);
    IniDictionary levels(gEngine->files(), "levels.ini");
    return std::make_unique<Map>("Test", levels);
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

} // namespace

TEST(MapLoadTest, StoresCodesSolidBytesAndPositionsAndLogsTheMapFile) {
    MapBytes bytes(1, 1);
    bytes.tile(1, 0, LADDER_CODE).tile(2, 0, WALL_CODE, true);
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

TEST(MapQueryTest, TileAtClampsNegativePointsAndCrossesScreens) {
    auto pMap = loadLevel(MapBytes(2, 2).tile(0, 0, 3, true).tile(2, 15, 4, true).bytes());
    EXPECT_EQ(describe(pMap->tileAt(-5, -5)), "2 solid at 0,0");
    // Screen screensAcross * 1 + 0, cell (10 / 16) * 16 + 37 / 16 = 2.
    EXPECT_EQ(describe(pMap->tileAt(37, 250)), "3 solid at 32,240");
    // x is not checked against the width: right of the last screen column the
    // next row of screens answers, with its own stored position.
    EXPECT_EQ(describe(pMap->tileAt(512 + 37, 10)), "3 solid at 32,240");
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
    EXPECT_EQ(describe(pMap->tileAt(INT_MAX, INT_MAX)),
              "0 open at " + std::to_string(INT_MAX - INT_MAX % 16) + "," +
                  std::to_string(INT_MAX - INT_MAX % 16));
}

// Each row is a one-screen level with tiles set in one column, and a box
// asking how far it may move: LEFT, RIGHT and NONE across, UP and DOWN up
// and down.
TEST(MapQueryTest, ClearancesProbeOneTileAheadAtTheBoxEdges) {
    struct Column {
        int column, top, bottom; // tiles, rows inclusive
        uint8_t code;
        bool solid;
    };
    const Column ladder = {1, 7, 10, LADDER_CODE, false}; // y 112 to 175
    const Column edgeWall = {0, 0, 14, WALL_CODE, true};
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
        {"open ahead", {}, {30, 96, 10, 40}, RIGHT, 16},
        {"wall at the feet", {{3, 8, 8, WALL_CODE, true}}, {30, 96, 10, 40}, RIGHT, 7},
        {"wall at the middle", {{3, 7, 7, WALL_CODE, true}}, {30, 96, 10, 40}, RIGHT, 7},
        {"wall at the head", {{3, 6, 6, WALL_CODE, true}}, {30, 96, 10, 40}, RIGHT, 7},
        {"walls above and below the box",
         {{3, 10, 10, WALL_CODE, true}, {3, 5, 5, WALL_CODE, true}},
         {30, 96, 10, 40},
         RIGHT,
         16},
        // Probe column x - 16 = 24, blocked at 24 mod 16 = 8.
        {"wall to the left", {{1, 7, 7, WALL_CODE, true}}, {40, 96, 10, 40}, LEFT, 8},
        {"left near the map edge: x, unprobed", {edgeWall}, {5, 96, 10, 40}, LEFT, 5},
        {"left at the first column", {edgeWall}, {16, 96, 10, 40}, LEFT, 0},
        {"no direction", {edgeWall}, {5, 96, 10, 40}, NONE, 0},
        {"open below", {}, {20, 80, 15, 20}, DOWN, 16},
        {"floor under the left column", {{1, 7, 7, WALL_CODE, true}}, {20, 80, 15, 20}, DOWN, 11},
        {"floor under the right column", {{2, 7, 7, WALL_CODE, true}}, {20, 80, 15, 20}, DOWN, 11},
        // py = 10 - 16 = -6 probes row 0 and keeps the sign.
        {"ceiling at the map's top", {{1, 0, 0, WALL_CODE, true}}, {20, 10, 10, 20}, UP, -6},
        {"ceiling far above", {{1, 0, 0, WALL_CODE, true}}, {20, 40, 10, 20}, UP, 16},
        // A ladder's top is a floor only from above: bottom row 100 (tile
        // row 6) stops on it, 116 (row 7) is on it and passes down.
        {"ladder top below", {ladder}, {20, 80, 10, 20}, DOWN, 11},
        {"on a ladder", {ladder}, {20, 96, 10, 20}, DOWN, 16},
        {"ladder above", {ladder}, {20, 140, 10, 20}, UP, 16},
        {"ladder ahead", {ladder}, {0, 112, 4, 20}, RIGHT, 16},
        // The left column reaches the ladder, whose own bottom row is not on one.
        {"ladder top under one column", {ladder}, {30, 80, 20, 20}, DOWN, 11},
    };
    for (const Case& c : cases) {
        MapBytes bytes(1, 1);
        for (const Column& column : c.tiles) {
            for (int row = column.top; row <= column.bottom; ++row) {
                bytes.tile(column.column, row, column.code, column.solid);
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
        bytes.tile(2, row, LADDER_CODE);
    }
    auto pMap = loadLevel(bytes.bytes());
    auto probe = [&](int x, int y, int nextY, bool rising) {
        LadderProbe p = pMap->probeLadders(x, y, nextY, rising);
        std::string found;
        for (auto [flag, name] : {std::pair{p.belowNext, "belowNext "},
                                  {p.atFeet, "feet "},
                                  {p.atBody, "body "},
                                  {p.atHead, "head "},
                                  {p.aboveNext, "aboveNext "}}) {
            found += flag ? name : "";
        }
        return found;
    };
    EXPECT_EQ(probe(40, 100, 130, false), "belowNext feet body head "); // next 142
    EXPECT_EQ(probe(40, 140, 90, true), "body head ");       // feet 151, body 136, next 78
    EXPECT_EQ(probe(40, 150, 100, true), "head aboveNext "); // next 88
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
}

TEST(MapBoundaryTest, EdgeZonesAreMeasuredFromTheCurrentBoundaryTop) {
    auto pMap = loadLevel(MapBytes(1, 2).bytes(), {{0, 0, 256}, {0, 240, 256}});
    pMap->selectBoundary(10, 300);
    EXPECT_FALSE(pMap->isNearBoundaryBottom(240 + 232));
    EXPECT_TRUE(pMap->isNearBoundaryBottom(240 + 233));
    EXPECT_TRUE(pMap->isNearBoundaryTop(240 + 4));
    EXPECT_FALSE(pMap->isNearBoundaryTop(240 + 5));
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
        {30000, 30000, {{0, 0, -1}, {255, 239, -1}}},
        {-32768, 32767, {{0, 0, -1}, {255, 239, -1}}},
        {512, 480, {{0, 0, -1}, {255, 239, -1}}},
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
