// The map's construction, drawing and queries, on small levels written to
// the scratch folder and pixels read back from the engine's screen.
#include "world/level/Map.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
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
constexpr uint8_t OPEN_CODE = 1;
constexpr uint8_t WALL_CODE = 2;
constexpr uint8_t LADDER_CODE = Map::LADDER_TILE + 1;

std::unique_ptr<Map> loadMap(const std::string& name = "Test") {
    IniDictionary levels(gEngine->files(), "levels.ini");
    return std::make_unique<Map>(name, levels);
}

SDL_Rect box(int x, int y, int w, int h) {
    return SDL_Rect{static_cast<Sint16>(x), static_cast<Sint16>(y), static_cast<Uint16>(w),
                    static_cast<Uint16>(h)};
}

// A one-screen level whose tiles the test sets; boundary 0 covers it.
class MapQueryTest : public ::testing::Test {
protected:
    std::unique_ptr<Map> load() {
        writeLevel("Test", m_bytes.bytes());
        return loadMap();
    }

    MapBytes m_bytes{1, 1};
};

} // namespace

TEST(MapLoadTest, LogsTheMapFileBeforeOpeningIt) {
    writeLevel("Test", MapBytes(1, 1).bytes());
    ::testing::internal::CaptureStdout();
    loadMap("Test");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Map::load: mapFilename: Test.map\n");

    testing_support::writeFile("levels.ini",
                               "[Lost]\ntileSheet=Test.bmp\ntileMap=missing.map\nboundaries=1\n");
    ::testing::internal::CaptureStdout();
    try {
        loadMap("Lost");
        ADD_FAILURE() << "a missing map file must be refused";
    } catch (const DataError& error) {
        EXPECT_EQ(error.file(), "missing.map");
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Map::load: mapFilename: missing.map\n");
}

TEST(MapLoadTest, StoresCodesSolidBytesAndPositions) {
    MapBytes bytes(1, 1);
    bytes.tile(0, 0, OPEN_CODE).tile(1, 0, LADDER_CODE).tile(2, 0, WALL_CODE, true);
    std::string file = bytes.bytes();
    file[bytes.codeOffset(3, 0) + 1] = 2;
    file[bytes.codeOffset(4, 0) + 1] = static_cast<char>(255);
    file += "anything after the body is ignored";
    writeLevel("Test", file);
    auto pMap = loadMap();

    Tile first = pMap->tileAt(0, 0);
    EXPECT_EQ(first.type, 0);
    EXPECT_FALSE(first.solid);
    EXPECT_EQ(pMap->tileAt(16, 0).type, Map::LADDER_TILE);
    EXPECT_TRUE(pMap->tileAt(32, 0).solid);
    EXPECT_TRUE(pMap->tileAt(48, 0).solid);
    EXPECT_TRUE(pMap->tileAt(64, 0).solid);
    Tile inner = pMap->tileAt(16 * 7 + 9, 16 * 11 + 15);
    EXPECT_EQ(inner.x, 16 * 7);
    EXPECT_EQ(inner.y, 16 * 11);
}

TEST(MapLoadTest, ReadsBoundariesTruncatedTo16BitsAndTeleportValues) {
    writeLevel("Test", MapBytes(2, 3).bytes(),
               {{0, 480, 512}, {0, 240, 256}, {65536 + 5, 40000, 70000}},
               "teleportStopPosY=100\nteleportStartYSpeedFraction=200\n");
    auto pMap = loadMap();

    SDL_Rect first = pMap->currentBoundary();
    EXPECT_EQ(first.x, 0);
    EXPECT_EQ(first.y, 480);
    EXPECT_EQ(first.w, 512);
    EXPECT_EQ(first.h, 240);
    EXPECT_EQ(integerPart(pMap->teleportStopY()), 580);
    EXPECT_EQ(pMap->teleportStartYSpeed().raw, 200);

    pMap->selectBoundary(10, 300);
    SDL_Rect second = pMap->currentBoundary();
    EXPECT_EQ(second.y, 240);
    EXPECT_EQ(second.w, 256);

    pMap->selectBoundary(5, 40000 - 65536);
    SDL_Rect third = pMap->currentBoundary();
    EXPECT_EQ(pMap->currentBoundaryIndex(), 2);
    EXPECT_EQ(third.x, 5);
    EXPECT_EQ(third.y, 40000 - 65536);
    EXPECT_EQ(third.w, 70000 - 65536);
}

TEST(MapLoadTest, StartAndTeleportUseTheFirstBoundaryAlways) {
    writeLevel("Test", MapBytes(2, 2).bytes(), {{0, 0, 512}, {256, 240, 256}},
               "teleportStopPosY=36\n");
    auto pMap = loadMap();
    EXPECT_EQ(pMap->startY().raw, 1272);
    EXPECT_EQ(pMap->startX().raw, 128 * 256);

    pMap->selectBoundary(300, 300);
    ASSERT_EQ(pMap->currentBoundaryIndex(), 1);
    EXPECT_EQ(pMap->startY().raw, 1272);
    EXPECT_EQ(pMap->startX().raw, 128 * 256);
    EXPECT_EQ(integerPart(pMap->teleportStopY()), 36);
}

TEST_F(MapQueryTest, TileAtClampsNegativePointsAndCrossesScreens) {
    m_bytes = MapBytes(2, 2);
    m_bytes.tile(0, 0, 3, true).tile(2, 15, 4, true);
    auto pMap = load();

    Tile corner = pMap->tileAt(-5, -5);
    EXPECT_EQ(corner.type, 2);
    EXPECT_TRUE(corner.solid);
    EXPECT_EQ(corner.x, 0);
    EXPECT_EQ(corner.y, 0);

    // Screen screensAcross * 1 + 0, cell (10 / 16) * 16 + 37 / 16 = 2.
    Tile lower = pMap->tileAt(37, 250);
    EXPECT_EQ(lower.type, 3);
    EXPECT_EQ(lower.x, 32);
    EXPECT_EQ(lower.y, 240);

    // x is not checked against the width: right of the last screen column the
    // next row of screens answers, with its own stored position.
    Tile wrapped = pMap->tileAt(512 + 37, 10);
    EXPECT_EQ(wrapped.type, 3);
    EXPECT_EQ(wrapped.y, 240);
}

TEST_F(MapQueryTest, MadeUpTilesAreWallsBesideTheStripAndOpenAboveAndBelow) {
    m_bytes = MapBytes(2, 3);
    m_bytes.removeScreen(1, 0).removeScreen(1, 1).removeScreen(1, 2);
    writeLevel("Test", m_bytes.bytes(), {{0, 0, 256}, {0, 240, 256}});
    auto pMap = loadMap();
    pMap->selectBoundary(10, 300);
    ASSERT_EQ(pMap->currentBoundary().y, 240);

    EXPECT_TRUE(pMap->tileAt(300, 240).solid);
    EXPECT_TRUE(pMap->tileAt(300, 480).solid);
    EXPECT_FALSE(pMap->tileAt(300, 239).solid);
    Tile below = pMap->tileAt(300, 481);
    EXPECT_FALSE(below.solid);
    EXPECT_EQ(below.type, 0);
    EXPECT_EQ(below.x, 288);
    EXPECT_EQ(below.y, 480);

    // Past the stored screens, and far away, the same rule answers.
    EXPECT_TRUE(pMap->tileAt(100000, 300).solid);
    EXPECT_FALSE(pMap->tileAt(10, 100000).solid);
    Tile far = pMap->tileAt(INT_MAX, INT_MAX);
    EXPECT_FALSE(far.solid);
    EXPECT_EQ(far.x, INT_MAX - INT_MAX % 16);
}

TEST_F(MapQueryTest, HorizontalClearanceProbesThreeRowsOneTileAhead) {
    auto pMap = load();
    // x + w = 40: the probe column is (40 + 16) / 16 = 3, rows 136, 116, 96.
    SDL_Rect body = box(30, 96, 10, 40);
    EXPECT_EQ(pMap->horizontalClearance(body, RIGHT), 16);

    for (int row : {136 / 16, 116 / 16, 96 / 16}) {
        m_bytes = MapBytes(1, 1);
        m_bytes.tile(3, row, WALL_CODE, true);
        EXPECT_EQ(load()->horizontalClearance(body, RIGHT), 15 - 8) << "row " << row;
    }
    m_bytes = MapBytes(1, 1);
    m_bytes.tile(3, 10, WALL_CODE, true).tile(3, 5, WALL_CODE, true);
    EXPECT_EQ(load()->horizontalClearance(body, RIGHT), 16) << "rows outside the box";

    // LEFT: probe column x - 16 = 24, blocked at 24 mod 16 = 8.
    m_bytes = MapBytes(1, 1);
    m_bytes.tile(1, 7, WALL_CODE, true);
    EXPECT_EQ(load()->horizontalClearance(box(40, 96, 10, 40), LEFT), 8);
}

TEST_F(MapQueryTest, LeftNearTheMapEdgeReturnsXWithoutProbing) {
    for (int row = 0; row < 15; ++row) {
        m_bytes.tile(0, row, WALL_CODE, true);
    }
    auto pMap = load();
    EXPECT_EQ(pMap->horizontalClearance(box(5, 96, 10, 40), LEFT), 5);
    EXPECT_EQ(pMap->horizontalClearance(box(16, 96, 10, 40), LEFT), 0);
    EXPECT_EQ(pMap->horizontalClearance(box(5, 96, 10, 40), NONE), 0);
}

TEST_F(MapQueryTest, VerticalClearanceProbesBothColumns) {
    // y + h = 100: the probe row is 116 / 16 = 7, blocked at 15 - 4 = 11.
    SDL_Rect body = box(20, 80, 15, 20); // columns 35 (tile 2) and 20 (tile 1)
    EXPECT_EQ(load()->verticalClearance(body, DOWN), 16);
    for (int column : {1, 2}) {
        m_bytes = MapBytes(1, 1);
        m_bytes.tile(column, 7, WALL_CODE, true);
        EXPECT_EQ(load()->verticalClearance(body, DOWN), 11) << "column " << column;
    }

    // UP near the top: py = 10 - 16 = -6 probes row 0 and keeps the sign.
    m_bytes = MapBytes(1, 1);
    m_bytes.tile(1, 0, WALL_CODE, true);
    auto pMap = load();
    EXPECT_EQ(pMap->verticalClearance(box(20, 10, 10, 20), UP), -6);
    EXPECT_EQ(pMap->verticalClearance(box(20, 40, 10, 20), UP), 16);
}

TEST_F(MapQueryTest, LadderTopsAreFloorsOnlyFromAbove) {
    // A ladder in column 1, rows 7 to 10, nothing solid anywhere.
    for (int row = 7; row <= 10; ++row) {
        m_bytes.tile(1, row, LADDER_CODE);
    }
    auto pMap = load();
    // Bottom row 100 (tile row 6) is above the ladder: its top is a floor.
    EXPECT_EQ(pMap->verticalClearance(box(20, 80, 10, 20), DOWN), 11);
    // Bottom row 116 (tile row 7) is on the ladder: the body passes down.
    EXPECT_EQ(pMap->verticalClearance(box(20, 96, 10, 20), DOWN), 16);
    // Upward and sideways, an open ladder never blocks.
    EXPECT_EQ(pMap->verticalClearance(box(20, 140, 10, 20), UP), 16);
    EXPECT_EQ(pMap->horizontalClearance(box(0, 112, 4, 20), RIGHT), 16);
    // Only the left column reaches the ladder, and its own bottom row is not
    // on one.
    EXPECT_EQ(pMap->verticalClearance(box(30, 80, 20, 20), DOWN), 11);
}

TEST_F(MapQueryTest, ProbeLaddersLooksAtFeetBodyHeadAndTheNextPosition) {
    for (int row = 5; row <= 8; ++row) { // y 80 to 143
        m_bytes.tile(2, row, LADDER_CODE);
    }
    auto pMap = load();

    LadderProbe falling = pMap->probeLadders(40, 100, 130, false);
    EXPECT_TRUE(falling.atFeet);
    EXPECT_TRUE(falling.atBody);
    EXPECT_TRUE(falling.atHead);
    EXPECT_TRUE(falling.belowNext); // 142
    EXPECT_FALSE(falling.aboveNext);

    LadderProbe rising = pMap->probeLadders(40, 140, 90, true);
    EXPECT_FALSE(rising.atFeet);    // 151
    EXPECT_TRUE(rising.atBody);     // 136
    EXPECT_TRUE(rising.atHead);     // 128
    EXPECT_FALSE(rising.aboveNext); // 78
    EXPECT_FALSE(rising.belowNext);

    EXPECT_TRUE(pMap->probeLadders(40, 150, 100, true).aboveNext); // 88
    LadderProbe beside = pMap->probeLadders(48, 100, 130, false);
    EXPECT_FALSE(beside.atFeet || beside.atBody || beside.atHead || beside.belowNext);
    // Extreme positions wrap in 32 bits rather than overflow.
    pMap->probeLadders(0, INT_MAX, INT_MIN, false);
    pMap->probeLadders(0, INT_MIN, INT_MAX, true);
}

TEST(MapBoundaryTest, SelectBoundaryTakesTheFirstContainingOneOrKeepsTheCurrent) {
    writeLevel("Test", MapBytes(2, 3).bytes(), {{0, 0, 512}, {0, 240, 256}, {0, 240, 512}});
    auto pMap = loadMap();
    pMap->selectBoundary(100, 300);
    EXPECT_EQ(pMap->currentBoundaryIndex(), 1);
    pMap->selectBoundary(300, 300);
    EXPECT_EQ(pMap->currentBoundaryIndex(), 2);
    pMap->selectBoundary(100, 1000);
    EXPECT_EQ(pMap->currentBoundaryIndex(), 2);
    pMap->selectBoundary(512, 100); // right edge excluded
    EXPECT_EQ(pMap->currentBoundaryIndex(), 2);
    pMap->selectBoundary(511, 239);
    EXPECT_EQ(pMap->currentBoundaryIndex(), 0);
}

TEST(MapBoundaryTest, IsBottomlessLooksBelowTheStripOrAtTheOwnRow) {
    MapBytes bytes(2, 2);
    bytes.removeScreen(1, 1);
    writeLevel("Test", bytes.bytes(), {{0, 0, 512}, {0, 240, 512}});
    auto pMap = loadMap();
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
    writeLevel("Test", MapBytes(1, 2).bytes(), {{0, 0, 256}, {0, 240, 256}});
    auto pMap = loadMap();
    pMap->selectBoundary(10, 300);
    EXPECT_FALSE(pMap->isNearBoundaryBottom(240 + 232));
    EXPECT_TRUE(pMap->isNearBoundaryBottom(240 + 233));
    EXPECT_TRUE(pMap->isNearBoundaryTop(240 + 4));
    EXPECT_FALSE(pMap->isNearBoundaryTop(240 + 5));
    EXPECT_TRUE(pMap->isNearBoundaryTop(INT_MIN));
    EXPECT_TRUE(pMap->isNearBoundaryBottom(INT_MAX));
}

// Four screens in four colours (screen s drawn with tile image s): which
// screens the camera's view covers, read back from the screen's pixels.
TEST(MapDrawTest, DrawsTheScreensTheCameraCovers) {
    MapBytes bytes(2, 2);
    bytes.fillScreen(0, 0, 1).fillScreen(1, 0, 2).fillScreen(0, 1, 3).fillScreen(1, 1, 4);
    writeLevel("Test", bytes.bytes(), {{0, 0, 512}});
    auto pMap = loadMap();
    struct Pixel {
        int x, y;
        int screen; // -1: black, not drawn
    };
    struct Case {
        int cameraX, cameraY;
        std::vector<Pixel> pixels;
    };
    const Case cases[] = {
        {0, 0, {{0, 0, 0}, {255, 239, 0}}},
        {100, 0, {{0, 0, 0}, {155, 239, 0}, {156, 0, 1}, {255, 239, 1}}},
        {256, 0, {{0, 0, 1}, {255, 239, 1}}},
        {256, 120, {{0, 0, 1}, {255, 119, 1}, {0, 120, 3}, {255, 239, 3}}},
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
    // An absent screen draws nothing.
    writeLevel("Test", bytes.removeScreen(1, 0).bytes(), {{0, 0, 512}});
    auto pHoled = loadMap();
    testing_support::CameraAt camera(256, 0);
    gEngine->clearScreen();
    pHoled->draw();
    EXPECT_EQ(pixelAt(gEngine->getScreen(), 0, 0), BLACK);
    EXPECT_EQ(pixelAt(gEngine->getScreen(), 255, 239), BLACK);
}
