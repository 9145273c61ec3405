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
#include <cstdio>
#include <optional>

using testing_support::MapBytes;
using testing_support::runProgram;
using testing_support::writeFile;
using testing_support::writeLevel;
using testing_support::writeTileSheet;

namespace {

// The message Map throws for the level "Test", or "" when it loads; its log
// line is kept off the test's output.
std::string loadProblem() {
    IniDictionary levels(gEngine->files(), "levels.ini");
    std::string problem;
    ::testing::internal::CaptureStdout();
    try {
        Map map("Test", levels);
    } catch (const DataError& error) {
        problem = error.what();
    }
    ::testing::internal::GetCapturedStdout();
    return problem;
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

TEST(MapFileCheckTest, BrokenMapFilesAreRefusedAlike) {
    const std::string sound = MapBytes(1, 1).bytes();
    struct Case {
        std::optional<std::string> bytes; // none: no file at all
        std::string problem;              // after "Test.map: "
    };
    const Case cases[] = {
        {std::string("\x10\x0F", 2), "file is 2 bytes, shorter than the 3-byte header"},
        {withByte(sound, 0, 17), "width 17 tiles (byte 0) is not a multiple of 16"},
        {withByte(sound, 1, 14), "height 14 tiles (byte 1) is not a multiple of 15"},
        {std::string("\x00\x0F\x06", 3), "size 0 x 15 tiles (bytes 0 and 1) holds no screen"},
        {withByte(sound, 2, 0), "tile code count N (byte 2) is 0; it must be at least 1"},
        {sound.substr(0, 482), "file is 482 bytes, but its header (16 x 15 tiles) needs 483"},
        {MapBytes(2, 1).tile(16, 5, 0).bytes(),
         "screen 1 (screen column 1, row 0) is partly absent: the segment of tile row 5 (byte "
         "355) is absent but the screen's top row is present; a screen's 15 segments must be all "
         "present or all absent"},
        {MapBytes(1, 2).removeScreen(0, 1).tile(0, 17, 1).bytes(),
         "screen 1 (screen column 0, row 1) is partly absent: the segment of tile row 17 (byte "
         "547) is present but the screen's top row is absent"},
        {MapBytes(1, 1).tile(4, 2, 6).bytes(), "tile row 2, column 4 (byte 75): code 6 in a "
                                               "present screen; codes must be 1 to N - 1 = 5"},
        {MapBytes(1, 1).tile(4, 2, 0).bytes(), "tile row 2, column 4 (byte 75): code 0"},
        {std::nullopt, "cannot open it: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        writeLevel("Test", sound);
        if (c.bytes) {
            writeFile("Test.map", *c.bytes);
        } else {
            std::remove("Test.map");
        }
        expectRefusedAlike("Test.map", "Test.map: " + c.problem);
    }
}

TEST(MapFileCheckTest, BrokenTileSheetsAreRefusedAlike) {
    struct Case {
        int width, height;   // px; 0: a file that is no bitmap, -1: no file
        std::string problem; // after "Test.bmp: "
    };
    const Case cases[] = {
        // N = 6 needs 5 images.
        {16, 64,
         "tile sheet is 64 px tall, but the map's 5 tile codes need 5 images of 16 px, 80 px in "
         "all (map Test.map)"},
        {8, 80, "tile sheet is 8 px wide, but its tile images are 16 px wide (map Test.map)"},
        {0, 0, "not a loadable BMP image: "},
        {-1, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        writeLevel("Test", MapBytes(1, 1).bytes());
        if (c.width > 0) {
            testing_support::writeBmp("Test.bmp", c.width, c.height,
                                      [](int, int) { return 0xFFFFFFu; });
        } else if (c.width == 0) {
            writeFile("Test.bmp", "not a bitmap");
        } else {
            std::remove("Test.bmp");
        }
        expectRefusedAlike("Test.map --tiles Test.bmp", "Test.bmp: " + c.problem);
    }
}

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
        {"teleportStopPosY=100\n" + keys, ""},
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
