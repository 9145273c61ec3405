// The designer's pictures through the real programs: kcs-map render draws
// the map as the game draws its tiles, with the level's layout over it, and
// kcs --character-report measures a character and --plot draws its jumps.
#include "engine/Bitmap.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"
#include "world/level/MapFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <png.h>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const std::string DATA = KCS_DEMO_DATA;

struct Png {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2];
    }
};

// The file's pixels, and a failure when it cannot be read.
Png readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << path;
    image.format = PNG_FORMAT_RGB;
    Png result{static_cast<int>(image.width), static_cast<int>(image.height),
               std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    EXPECT_NE(png_image_finish_read(&image, nullptr, result.rgb.data(), 0, nullptr), 0)
        << path << ": " << image.message;
    return result;
}

TEST(DesignerPictures, TheMapPictureShowsTilesAbsentScreensAndTheLevelsLayout) {
    const std::string level = scratchDir() + "/rockfall-level.png";
    RunResult drawn =
        runProgram(std::string(KCS_MAP_BINARY) + " render " + DATA + "/rockfall.map " + level +
                   " --levels " + DATA + "/levels.ini --level ROCKFALL");
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    Png withLevel = readPng(level);
    MapFile map = MapFile::read(gEngine->files(), DATA + "/rockfall.map");
    ASSERT_EQ(withLevel.width, map.tilesAcross() * MapFile::TILE_SIZE);
    ASSERT_EQ(withLevel.height, map.tilesDown() * MapFile::TILE_SIZE);

    // A tile of the valley, away from every mark, pixel for pixel as the
    // game shows it: the sheet's image, black where it has the key colour.
    constexpr int TILE = MapFile::TILE_SIZE; // px
    constexpr int TILE_X = 37 * TILE;
    constexpr int TILE_Y = 125 * TILE;
    const int sheetY = (map.codeAt(TILE_X / TILE, TILE_Y / TILE) - 1) * TILE;
    Surface sheet = readBitmap(gEngine->files(), DATA + "/tiles.bmp");
    for (int y = 0; y < TILE; ++y) {
        for (int x = 0; x < TILE; ++x) {
            uint32_t pixel = pixelAt(sheet.get(), x, sheetY + y);
            ASSERT_EQ(withLevel.at(TILE_X + x, TILE_Y + y), pixel == 0xFF80FF ? 0 : pixel) << x;
        }
    }
    // The top left screen is absent: hatched, every eighth pixel of a row.
    EXPECT_EQ(withLevel.at(100, 100), 0x707070u);
    EXPECT_EQ(withLevel.at(101, 100), 0x202020u);

    // Boundaries 0 and 1 each in its own colour, the teleport's stop at x 128
    // and 164 px down, the enemy.
    EXPECT_EQ(withLevel.at(600, 1921), 0xFFFF00u);
    EXPECT_EQ(withLevel.at(200, 2161), 0x40FF40u);
    EXPECT_EQ(withLevel.at(128, 1920 + 164), 0x00FFFFu);
    EXPECT_EQ(withLevel.at(112, 2104), 0xFF2020u);
}

TEST(DesignerPictures, TheReportMeasuresWithTheGamesCodeAndThePlotDrawsItsJumps) {
    const std::string plot = scratchDir() + "/jumps.png";
    RunResult report = runProgram(std::string(KCS_BINARY) + " --data " + DATA +
                                  " --character-report kalvorn1.ini --plot " + plot);
    ASSERT_EQ(report.status, 0) << report.err;
    // The speeds the file gives come back as the game reaches them:
    // runningInt 1 + runningFraction 96 / 256.
    for (const char* line :
         {"  running: full speed 1.38 px per update", "  standing jump: 50 px high (3.1 tiles)"}) {
        EXPECT_NE(report.out.find(line), std::string::npos) << line << "\n" << report.out;
    }
    Png picture = readPng(plot);
    // Three times life size: the standing jump's highest mark (3 px squares
    // around each position, in cyan) stands 50 px x 3 + 2 above the floor's
    // top row.
    int floorRow = -1;
    int highest = picture.height;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            floorRow = floorRow < 0 && picture.at(x, y) == 0x805030 ? y : floorRow;
            highest = picture.at(x, y) == 0x00FFFF ? std::min(highest, y) : highest;
        }
    }
    ASSERT_GT(floorRow, 0);
    EXPECT_EQ(floorRow - highest, 152);
}

} // namespace
