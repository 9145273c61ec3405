// kcs-map as a level designer uses it: compiling text maps, printing map
// files back as text, and its answers to bad sources and bad usage.
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>

using testing_support::MapBytes;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::writeFile;

namespace {

testing_support::RunResult mapTool(const std::string& arguments) {
    return runProgram(std::string(KCS_MAP_BINARY) + " " + arguments);
}

// `count` rows of `row`, one screen tall when `count` is 15.
std::string rows(const std::string& row, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += row + "\n";
    }
    return text;
}

// Two screens across, two down: the lower right one absent, a floor across
// the upper two, a hidden solid tile in the upper right one.
const std::string SOURCE = "; a small level\n"
                           "tile . 1        ; sky\n"
                           "tile # 2 solid  ; brick\n"
                           "tile , 1 solid  ; sky that blocks\n"
                           "absent ~\n"
                           "codes 7\n"
                           "\n"
                           "map\n" +
                           rows("................................", 13) +
                           "................,...............   ; hidden wall\n" +
                           "################################\n" + "; lower screen row\n" +
                           rows("................~~~~~~~~~~~~~~~~", 15);

} // namespace

// build writes the binary format, and show prints a file back as text that
// builds to the same file; of a file from elsewhere, show keeps only what the
// game reads: solid bytes other than 1, bytes inside absent segments and
// bytes after the body mean nothing to it.
TEST(MapToolTest, BuildWritesTheBinaryFormatAndShowRoundTrips) {
    writeFile("level.txt", SOURCE);
    ASSERT_EQ(mapTool("build level.txt level.map").status, 0);
    MapBytes expected(2, 2, 7);
    expected.removeScreen(1, 1).tile(16, 13, 1, true);
    for (int column = 0; column < 32; ++column) {
        expected.tile(column, 14, 2, true);
    }
    EXPECT_EQ(readFile("level.map"), expected.bytes());

    writeFile("shown.txt", mapTool("show level.map").out);
    ASSERT_EQ(mapTool("build shown.txt again.map").status, 0);
    EXPECT_EQ(readFile("again.map"), readFile("level.map"));

    MapBytes bytes(2, 1);
    bytes.removeScreen(1, 0).tile(3, 4, 3, true);
    std::string file = bytes.bytes();
    file[bytes.codeOffset(3, 4) + 1] = static_cast<char>(255);
    file[bytes.codeOffset(17, 0) + 1] = 9;
    writeFile("other.map", file + "tail");
    writeFile("other.txt", mapTool("show other.map").out);
    ASSERT_EQ(mapTool("build other.txt other2.map").status, 0);
    EXPECT_EQ(readFile("other2.map"), bytes.bytes());
}

// Each bad source gives status 2, one line "file:line:column: message" and
// the earlier map file kept. The first row's line is whole; the others are
// their start.
TEST(MapToolTest, SourceErrorsNameLineAndColumn) {
    const std::string legend = "tile . 1\ntile # 2 solid\nabsent ~\n";
    const std::string map = legend + "map\n";
    const std::string row = std::string(16, '.');
    const std::string wide = row + std::string(16, '~');
    const std::pair<std::string, std::string> cases[] = {
        {map + rows(row, 3) + "....x" + std::string(11, '.') + "\n",
         "8:5: 'x' is not a tile or absent character of the legend\n"},
        {map + rows("..........", 15), "5:11: rows are 10 tiles long; a map is 16, 32, ..."},
        {map + rows(wide, 9) + row + "~~~#" + std::string(12, '~') + "\n" + rows(wide, 5),
         "14:20: the screen at screen column 1, row 0 mixes absent '~' with tiles"},
        {legend + "tile x 0\nmap\n", "4:8: tile code \"0\" is not a number from 1 to 254"},
        {"\xEF\xBB\xBFtile . 1\rtile # 2 solid\r\rlayer 2\r\nmap\r", "4:1: unknown line \"layer\""},
        {legend, "4:1: no \"map\" line"},
    };
    for (const auto& [source, start] : cases) {
        SCOPED_TRACE(start);
        writeFile("bad.txt", source);
        writeFile("bad.map", "earlier");
        auto result = mapTool("build bad.txt bad.map");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.rfind("bad.txt:" + start, 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(readFile("bad.map"), "earlier");
    }
}
