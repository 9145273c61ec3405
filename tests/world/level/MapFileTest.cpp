// Broken maps and levels are refused with one line naming the file and the
// rule, the same through the game's Map and through "kcs-map check".
#include "world/level/MapFile.h"
#include "world/level/Map.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using testing_support::MapBytes;
using testing_support::runProgram;
using testing_support::writeFile;
using testing_support::writeLevel;
using testing_support::writeTileSheet;

namespace {

// The message Map throws for the level "Test", or "" when it loads.
std::string loadProblem() {
    IniDictionary levels(gEngine->files(), "levels.ini");
    try {
        Map map("Test", levels);
    } catch (const DataError& error) {
        return error.what();
    }
    return "";
}

struct BrokenMap {
    const char* name;
    std::function<std::string()> bytes;
    const char* problem; // after "Test.map: "
};

std::string withByte(std::string bytes, size_t offset, uint8_t value) {
    bytes[offset] = static_cast<char>(value);
    return bytes;
}

const BrokenMap BROKEN_MAPS[] = {
    {"HeaderCutShort", [] { return std::string("\x10\x0F", 2); },
     "file is 2 bytes, shorter than the 3-byte header"},
    {"WidthNotWholeScreens", [] { return withByte(MapBytes(1, 1).bytes(), 0, 17); },
     "width 17 tiles (byte 0) is not a multiple of 16"},
    {"HeightNotWholeScreens", [] { return withByte(MapBytes(1, 1).bytes(), 1, 14); },
     "height 14 tiles (byte 1) is not a multiple of 15"},
    {"NoScreen", [] { return std::string("\x00\x0F\x06", 3); },
     "size 0 x 15 tiles (bytes 0 and 1) holds no screen; a map needs at least one"},
    {"NoCodes", [] { return withByte(MapBytes(1, 1).bytes(), 2, 0); },
     "tile code count N (byte 2) is 0; it must be at least 1"},
    {"BodyCutShort", [] { return MapBytes(1, 1).bytes().substr(0, 482); },
     "file is 482 bytes, but its header (16 x 15 tiles) needs 483"},
    {"AbsentSegmentInPresentScreen", [] { return MapBytes(2, 1).tile(16, 5, 0).bytes(); },
     "screen 1 (screen column 1, row 0) is partly absent: the segment of tile row 5 (byte 355) "
     "is absent but the screen's top row is present; a screen's 15 segments must be all "
     "present or all absent"},
    {"PresentSegmentInAbsentScreen",
     [] { return MapBytes(1, 2).removeScreen(0, 1).tile(0, 17, 1).bytes(); },
     "screen 1 (screen column 0, row 1) is partly absent: the segment of tile row 17 (byte 547) "
     "is present but the screen's top row is absent; a screen's 15 segments must be all "
     "present or all absent"},
    {"CodeAtLeastN", [] { return MapBytes(1, 1).tile(4, 2, 6).bytes(); },
     "tile row 2, column 4 (byte 75): code 6 in a present screen; codes must be 1 to N - 1 = 5"},
    {"CodeZeroInsideASegment", [] { return MapBytes(1, 1).tile(4, 2, 0).bytes(); },
     "tile row 2, column 4 (byte 75): code 0 in a present screen; codes must be 1 to N - 1 = 5"},
};

class MapBrokenFileTest : public ::testing::TestWithParam<BrokenMap> {};

} // namespace

TEST_P(MapBrokenFileTest, GameAndToolRefuseWithTheSameLine) {
    const BrokenMap& broken = GetParam();
    writeLevel("Test", MapBytes(1, 1).bytes());
    writeFile("Test.map", broken.bytes());
    std::string expected = std::string("Test.map: ") + broken.problem;

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(loadProblem(), expected);
    ::testing::internal::GetCapturedStdout();

    auto result = runProgram(std::string(KCS_MAP_BINARY) + " check Test.map");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, expected + "\n");
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(Map, MapBrokenFileTest, ::testing::ValuesIn(BROKEN_MAPS),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MapFileCheckTest, ListsEveryProblemOfTheBodyOneLineEach) {
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
}

TEST(MapFileCheckTest, SoundFilesPassWithTrailingBytesIgnored) {
    writeFile("sound.map", MapBytes(2, 1).removeScreen(1, 0).bytes() + "trailing");
    writeTileSheet("sound.bmp", 5);
    auto result = runProgram(std::string(KCS_MAP_BINARY) + " check sound.map --tiles sound.bmp");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "sound.map: sound: 32 x 15 tiles, 1 of 2 screens present, 6 tile codes\n");
    EXPECT_EQ(result.err, "");
}

TEST(MapFileCheckTest, ShortOrNarrowTileSheetIsRefused) {
    writeLevel("Test", MapBytes(1, 1).bytes());
    const std::pair<int, const char*> sheets[] = {
        // N = 6 needs 5 images.
        {16, "tile sheet is 64 px tall, but the map's 5 tile codes need 5 images of 16 px, 80 px "
             "in all"},
        {8, "tile sheet is 8 px wide, but its tile images are 16 px wide"}};
    for (const auto& [width, problem] : sheets) {
        testing_support::writeBmp("Test.bmp", width, width == 16 ? 64 : 80,
                                  [](int, int) { return 0xFFFFFFu; });
        std::string expected = std::string("Test.bmp: ") + problem + " (map Test.map)";
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(loadProblem(), expected);
        ::testing::internal::GetCapturedStdout();

        auto result = runProgram(std::string(KCS_MAP_BINARY) + " check Test.map --tiles Test.bmp");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, expected + "\n");
    }

    writeFile("Test.bmp", "not a bitmap");
    auto result = runProgram(std::string(KCS_MAP_BINARY) + " check Test.map --tiles Test.bmp");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind("Test.bmp: not a loadable BMP image", 0), 0u) << result.err;
}

TEST(MapLevelRulesTest, MissingFilesAreNamed) {
    writeLevel("Test", MapBytes(1, 1).bytes());
    std::remove("Test.bmp");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(loadProblem().rfind("Test.bmp: ", 0), 0u);
    std::remove("Test.map");
    writeTileSheet("Test.bmp", 5);
    EXPECT_EQ(loadProblem(), "Test.map: cannot open it: No such file or directory");
    ::testing::internal::GetCapturedStdout();

    auto result = runProgram(std::string(KCS_MAP_BINARY) + " check Test.map");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "Test.map: cannot open it: No such file or directory\n");
}

TEST(MapLevelRulesTest, KeysLeftOutAreBlamedOnTheLevelsFile) {
    // Without the keys the default name "empty" is tried; its failure is the
    // level section's fault, not that of a file named "empty".
    writeLevel("Test", MapBytes(1, 1).bytes());
    writeFile("levels.ini", "[Test]\ntileMap=Test.map\nboundaries=1\nteleportStopPosY=4\n");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(loadProblem().rfind("levels.ini: [Test] tileSheet is not given, and the default "
                                  "\"empty\" cannot be loaded (empty: ",
                                  0),
              0u)
        << loadProblem();
    writeFile("levels.ini", "[Test]\ntileSheet=Test.bmp\nboundaries=1\nteleportStopPosY=4\n");
    EXPECT_EQ(loadProblem(), "levels.ini: [Test] tileMap is not given, and the default \"empty\" "
                             "cannot be loaded (empty: cannot open it: No such file or directory)");
    ::testing::internal::GetCapturedStdout();
}

TEST(MapLevelRulesTest, ALevelNeedsABoundary) {
    ::testing::internal::CaptureStdout();
    writeLevel("Test", MapBytes(1, 1).bytes(), {});
    EXPECT_EQ(loadProblem(),
              "levels.ini: [Test] \"boundaries\" is 0; a level needs at least one boundary");
    writeLevel("Test", MapBytes(1, 1).bytes(), {}, "boundaries=-3\n");
    EXPECT_NE(loadProblem().find("\"boundaries\" is -3"), std::string::npos);
    writeLevel("Test", MapBytes(1, 1).bytes(), {}, "boundaries=2000000000\n");
    EXPECT_NE(loadProblem().find("at most 1024"), std::string::npos);
    ::testing::internal::GetCapturedStdout();
}

TEST(MapLevelRulesTest, TeleportStopIsFourPlusWholeTiles) {
    ::testing::internal::CaptureStdout();
    for (int good : {4, 20, 36, 100}) {
        writeLevel("Test", MapBytes(1, 1).bytes(), {{0, 0, 256}},
                   "teleportStopPosY=" + std::to_string(good) + "\n");
        EXPECT_EQ(loadProblem(), "") << good;
    }
    for (int bad : {0, 3, 5, 19, -12, 2147483647}) {
        writeLevel("Test", MapBytes(1, 1).bytes(), {{0, 0, 256}},
                   "teleportStopPosY=" + std::to_string(bad) + "\n");
        EXPECT_EQ(loadProblem().rfind("levels.ini: [Test] \"teleportStopPosY\" is " +
                                          std::to_string(bad) +
                                          "; it must be 4 plus a multiple "
                                          "of 16",
                                      0),
                  0u)
            << bad;
    }
    ::testing::internal::GetCapturedStdout();
}
