// kcs-map as a level designer uses it: compiling text maps, printing map
// files back as text, and its answers to bad sources and bad usage.
#include "world/level/Map.h"

#include "config/IniDictionary.h"
#include "engine/GameEngine.h"
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using testing_support::MapBytes;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::writeFile;
using testing_support::writeLevel;

namespace {

testing_support::RunResult mapTool(const std::string& arguments) {
    return runProgram(std::string(KCS_MAP_BINARY) + " " + arguments);
}

// 16 rows of `row`, one screen tall when `count` is 15.
std::string rows(const std::string& row, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += row + "\n";
    }
    return text;
}

// Two screens across, two down: the lower right one absent, a ladder and a
// floor in the upper left one, a hidden solid tile in the upper right one.
const std::string SOURCE = "; a small level\n"
                           "tile . 1        ; sky\n"
                           "tile # 2 solid  ; brick\n"
                           "tile H 5        ; ladder\n"
                           "tile , 1 solid  ; sky that blocks\n"
                           "absent ~\n"
                           "codes 7\n"
                           "\n"
                           "map\n" +
                           rows("................................", 11) +
                           "......H.........,...............   ; hidden wall\n" +
                           rows("......H.........................", 2) +
                           "################################\n" + "; lower screen row\n" +
                           rows("................~~~~~~~~~~~~~~~~", 15);

MapBytes expectedBytes() {
    MapBytes bytes(2, 2, 7);
    bytes.removeScreen(1, 1).tile(16, 11, 1, true);
    for (int row = 11; row <= 13; ++row) {
        bytes.tile(6, row, 5);
    }
    for (int column = 0; column < 32; ++column) {
        bytes.tile(column, 14, 2, true);
    }
    return bytes;
}

} // namespace

TEST(MapToolTest, BuildWritesTheBinaryFormatAndShowRoundTrips) {
    writeFile("level.txt", SOURCE);
    auto built = mapTool("build level.txt level.map");
    ASSERT_EQ(built.status, 0) << built.err;
    EXPECT_EQ(built.err, "");
    EXPECT_EQ(readFile("level.map"), expectedBytes().bytes());

    auto shown = mapTool("show level.map");
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("tile H 5\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("absent ~\n"), std::string::npos) << shown.out;
    writeFile("shown.txt", shown.out);
    auto rebuilt = mapTool("build shown.txt again.map");
    ASSERT_EQ(rebuilt.status, 0) << rebuilt.err;
    EXPECT_EQ(readFile("again.map"), readFile("level.map"));
    // Only the first line, a comment naming the file, differs.
    std::string again = mapTool("show again.map").out;
    EXPECT_EQ(again.substr(again.find('\n')), shown.out.substr(shown.out.find('\n')));
}

TEST(MapToolTest, ShowNormalisesFilesFromElsewhere) {
    // Solid bytes other than 1, bytes inside absent segments and bytes after
    // the body mean nothing to the game; show keeps only what does.
    MapBytes bytes(2, 1);
    bytes.removeScreen(1, 0).tile(3, 4, 3, true);
    std::string file = bytes.bytes();
    file[bytes.codeOffset(3, 4) + 1] = static_cast<char>(255);
    file[bytes.codeOffset(17, 0) + 1] = 9;
    writeFile("other.map", file + "tail");
    auto shown = mapTool("show other.map");
    ASSERT_EQ(shown.status, 0) << shown.err;
    writeFile("other.txt", shown.out);
    ASSERT_EQ(mapTool("build other.txt other2.map").status, 0);
    EXPECT_EQ(readFile("other2.map"), bytes.bytes());

    writeFile("broken.map", MapBytes(1, 1).tile(0, 0, 6).bytes());
    auto refused = mapTool("show broken.map");
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.rfind("broken.map: tile row 0, column 0 (byte 3): code 6", 0), 0u);
}

TEST(MapToolTest, BuiltMapsLoadInTheGame) {
    writeFile("level.txt", SOURCE);
    ASSERT_EQ(mapTool("build level.txt Test.map").status, 0);
    writeLevel("Test", readFile("Test.map"), {{0, 0, 512}, {0, 240, 256}});
    IniDictionary levels(gEngine->files(), "levels.ini");
    ::testing::internal::CaptureStdout();
    Map map("Test", levels);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(map.tileAt(6 * 16, 12 * 16).type, Map::LADDER_TILE);
    EXPECT_TRUE(map.tileAt(16 * 16, 11 * 16).solid);
    EXPECT_TRUE(map.tileAt(0, 14 * 16).solid);
    EXPECT_FALSE(map.tileAt(0, 0).solid);
    EXPECT_TRUE(map.isBottomless(300, 100));
    EXPECT_FALSE(map.isBottomless(100, 100));
}

TEST(MapToolTest, SourceErrorsNameLineAndColumn) {
    const std::string legend = "tile . 1\ntile # 2 solid\nabsent ~\n";
    const std::string row = std::string(16, '.');
    struct Case {
        std::string source;
        std::string error;
    };
    const Case cases[] = {
        {legend + "map\n" + rows(row, 3) + "....x" + std::string(11, '.') + "\n",
         "bad.txt:8:5: 'x' is not a tile or absent character of the legend"},
        {legend + "map\n" + rows(row, 2) + row + "..\n",
         "bad.txt:7:17: row is 18 tiles long, but the first row (line 5) is 16"},
        {legend + "map\n" + rows("..........", 15),
         "bad.txt:5:11: rows are 10 tiles long; a map is 16, 32, ... up to 240 tiles across "
         "(whole screens of 16)"},
        {legend + "map\n" + rows(row, 14),
         "bad.txt:18:1: the map has 14 rows; a map is 15, 30, ... up to 255 rows down (whole "
         "screens of 15)"},
        {legend + "map\n" + rows(row + std::string(16, '~'), 9) + row + "~~~#" +
             std::string(12, '~') + "\n" + rows(row + std::string(16, '~'), 5),
         "bad.txt:14:20: the screen at screen column 1, row 0 mixes absent '~' with tiles; a "
         "screen's 16 x 15 tiles are all absent or none"},
        {legend + "tile . 3\nmap\n", "bad.txt:4:6: '.' is already given on line 1"},
        {legend + "tile x 9\ncodes 5\nmap\n", "bad.txt:4:8: tile code 9 is not below codes 5 "
                                              "(line 5)"},
        {legend + "tile x 0\nmap\n", "bad.txt:4:8: tile code \"0\" is not a number from 1 to 254"},
        {legend + "tile xy 3\nmap\n",
         "bad.txt:4:6: \"xy\" is not one printable character; write: tile CHARACTER CODE [solid]"},
        {legend + "tile x 3 hard\nmap\n", "bad.txt:4:10: \"hard\" is neither solid nor open"},
        {"\xEF\xBB\xBFtile . 1\rtile # 2 solid\r\rlayer 2\r\nmap\r",
         "bad.txt:4:1: unknown line \"layer\"; before the map only tile, absent, codes and map "
         "lines may appear"},
        {legend + "layer 2\nmap\n",
         "bad.txt:4:1: unknown line \"layer\"; before the map only tile, absent, codes and map "
         "lines may appear"},
        {legend + "map\n; nothing\n", "bad.txt:5:1: no rows of tiles after the map line"},
        {legend, "bad.txt:4:1: no \"map\" line: the rows of tiles follow a line that says map"},
    };
    for (const Case& bad : cases) {
        writeFile("bad.txt", bad.source);
        std::filesystem::remove("bad.map");
        auto result = mapTool("build bad.txt bad.map");
        EXPECT_EQ(result.status, 2) << bad.error;
        EXPECT_EQ(result.err, bad.error + "\n");
        EXPECT_FALSE(std::filesystem::exists("bad.map")) << bad.error;
    }
}

TEST(MapToolTest, AFailedBuildLeavesTheOldMapAndNoTemporaryFile) {
    writeFile("level.txt", SOURCE);
    ASSERT_EQ(mapTool("build level.txt keep.map").status, 0);
    std::string before = readFile("keep.map");
    writeFile("level.txt", SOURCE + "bad row\n");
    EXPECT_EQ(mapTool("build level.txt keep.map").status, 2);
    EXPECT_EQ(readFile("keep.map"), before);
    EXPECT_EQ(mapTool("build level.txt missing-folder/out.map").status, 2);
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        EXPECT_EQ(entry.path().filename().string().rfind("keep.map.", 0), std::string::npos)
            << entry.path();
    }
}

TEST(MapToolTest, UsageErrorsAreOneLineWithStatusTwo) {
    auto help = mapTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: kcs-map build", 0), 0u);

    for (const char* arguments : {"", "draw x.map", "build only.txt", "show", "check",
                                  "check a.map --tiles", "check a.map b.map"}) {
        auto result = mapTool(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_EQ(result.err.rfind("kcs-map: ", 0), 0u) << arguments;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << arguments;
    }
    auto missing = mapTool("build nowhere.txt out.map");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "nowhere.txt: cannot open it: No such file or directory\n");
}
