// The designer's pictures through the real programs: kcs-map render draws
// the map as the game draws its tiles, with the level's layout over it, and
// kcs --character-report measures a character and --plot draws its jumps.
#include "engine/Bitmap.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"
#include "world/level/MapFile.h"

#include <gtest/gtest.h>

#include <filesystem>
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

TEST(DesignerPictures, TheMapPictureDrawsTilesAsTheGameDoes) {
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
}

// A level with objects shows each one's first picture at its box's top-left
// plus the sprite's offset, and its box in red, instead of the fixed enemy's.
TEST(DesignerPictures, TheMapPictureDrawsTheLevelsObjects) {
    const std::string data = scratchDir() + "/objects-data";
    std::filesystem::remove_all(data);
    std::filesystem::copy(DATA, data, std::filesystem::copy_options::recursive);
    // The thornbug's sprite, 8 px above its box as the enemy's.
    writeFile(data + "/walker.ini", readFile(DATA + "/enemy.ini") +
                                        "[Object]\nbehaviour=walker\n[BoundingBox]\nwidth=16\n"
                                        "height=8\n");
    std::string levels = readFile(data + "/levels.ini");
    // First in the section: the first of repeated keys counts.
    levels.insert(levels.find("[ROCKFALL]\n") + 11, "objectAmount=1\nobject0=walker.ini\n"
                                                    "object0x=400\nobject0y=2096\n");
    writeFile(data + "/levels.ini", levels);
    RunResult drawn =
        runProgram(std::string(KCS_MAP_BINARY) + " render " + data +
                   "/rockfall.map objects.png --levels " + data + "/levels.ini --level ROCKFALL");
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    Png picture = readPng("objects.png");
    constexpr uint32_t BOX = 0xFF2020;
    EXPECT_EQ(picture.at(400, 2096), BOX);
    EXPECT_EQ(picture.at(415, 2103), BOX);
    EXPECT_NE(picture.at(112, 2104), BOX);
    Surface sheet = readBitmap(gEngine->files(), DATA + "/enemy.bmp");
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            uint32_t pixel = pixelAt(sheet.get(), x, y);
            EXPECT_TRUE(pixel == 0xFF80FF || picture.at(400 + x, 2088 + y) == pixel)
                << x << ", " << y;
        }
    }
}

TEST(DesignerPictures, TheReportMeasuresWithTheGamesCode) {
    RunResult report = runProgram(std::string(KCS_BINARY) + " --data " + DATA +
                                  " --character-report kalvorn1.ini");
    ASSERT_EQ(report.status, 0) << report.err;
    // The speeds the file gives come back as the game reaches them:
    // runningInt 1 + runningFraction 96 / 256.
    for (const char* line :
         {"  running: full speed 1.38 px per update", "  standing jump: 50 px high (3.1 tiles)"}) {
        EXPECT_NE(report.out.find(line), std::string::npos) << line << "\n" << report.out;
    }
}

// The guide's pictures are what the programs draw: a change to the map
// picture, the plot or the overlay shows here, and the guide is redrawn with
// it (make doc-pictures; the overlay is this screenshot at twice its size).
TEST(DesignerPictures, TheGuidesPicturesAreWhatTheProgramsDrawToday) {
    const std::string guide = std::string(KCS_SOURCE_DIR) + "/docs/images/";
    const std::string map = scratchDir() + "/guide-map.png";
    const std::string plot = scratchDir() + "/guide-plot.png";
    const std::string overlay = scratchDir() + "/guide-overlay.bmp";
    const std::string game = std::string(KCS_BINARY) + " --data " + DATA;
    for (const std::string& command :
         {std::string(KCS_MAP_BINARY) + " render " + DATA + "/rockfall.map " + map + " --levels " +
              DATA + "/levels.ini --level ROCKFALL",
          game + " --character-report kalvorn1.ini --plot " + plot,
          game +
              " --headless --level ROCKFALL --skip-ready --overlay --frames 31 --screenshot 30:" +
              overlay}) {
        ASSERT_EQ(runProgram(command).status, 0) << command;
    }
    for (const auto& [drawn, shown] :
         {std::pair{map, "rockfall-map.png"}, std::pair{plot, "kalvorn1-jumps.png"}}) {
        Png now = readPng(drawn);
        Png before = readPng(guide + shown);
        EXPECT_EQ(now.width, before.width) << shown;
        EXPECT_TRUE(now.rgb == before.rgb) << shown << " differs from what the program draws";
    }
    Png shown = readPng(guide + "overlay.png");
    Surface shot = readBitmap(gEngine->files(), overlay);
    ASSERT_EQ(shown.width, 2 * shot->w);
    int differing = 0;
    for (int y = 0; y < shot->h; ++y) {
        for (int x = 0; x < shot->w; ++x) {
            differing += shown.at(2 * x, 2 * y) != pixelAt(shot.get(), x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0) << "pixels of overlay.png differ from the overlay";
}

} // namespace
