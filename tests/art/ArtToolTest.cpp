// kcs-art through the real binary: the bitmap it writes holds the source's
// exact colours pixel for pixel, mirrored and overlaid as asked, its key
// colour is transparent when the game blits it, and bad sources are reported
// with file, line and column. The command lines of all the designer's tools
// are checked here.
#include "engine/GameEngine.h"
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

using testing_support::MapBytes;
using testing_support::pixelAt;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::writeFile;

namespace {

const char* const PALETTE = "colour . 255 128 255\n"
                            "colour r 255 0 0\n"
                            "colour g 0 255 0\n"
                            "colour b 0 0 255\n"
                            "colour # 18 52 86\n";

testing_support::RunResult art(const std::string& arguments) {
    return runProgram(std::string(KCS_ART_BINARY) + " " + arguments);
}

// The pixels of a part of a surface as the palette's characters, a row to a
// line: black, the cleared screen, is ' ' and any other colour '?'.
std::string characters(SDL_Surface* pSurface, int left, int top, int width, int height) {
    const std::map<uint32_t, char> names = {{0xFF80FF, '.'}, {0xFF0000, 'r'}, {0x00FF00, 'g'},
                                            {0x0000FF, 'b'}, {0x123456, '#'}, {0x000000, ' '}};
    std::string text;
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            auto name = names.find(pixelAt(pSurface, x, y));
            text += name == names.end() ? '?' : name->second;
        }
        text += "\n";
    }
    return text;
}

} // namespace

TEST(ArtTool, PicturesComeOutPixelForPixel) {
    // A row of every colour, a row with the key colour in the middle after a
    // blank line that is skipped, and a blank row.
    writeFile("sample.txt",
              std::string("// sample\nwidth 4\n") + PALETTE + "rgb#\n\nr..b\nblank 1\n");
    writeFile("over.txt", std::string("width 4\n") + PALETTE + "....\n.g..\n...#\n");
    // The overlay's key colour keeps the base; mirroring comes after it.
    const std::pair<std::string, std::string> cases[] = {
        {"", "rgb#\nr..b\n....\n"},
        {"--mirror", "#bgr\nb..r\n....\n"},
        {"--overlay over.txt", "rgb#\nrg.b\n...#\n"},
        {"--mirror --overlay over.txt", "#bgr\nb.gr\n#...\n"},
    };
    for (const auto& [options, expected] : cases) {
        ASSERT_EQ(art(options + " sample.txt out.bmp").status, 0) << options;
        Surface bmp(SDL_LoadBMP("out.bmp"));
        ASSERT_NE(bmp, nullptr);
        EXPECT_EQ(characters(bmp.get(), 0, 0, bmp->w, bmp->h), expected) << options;
    }

    // The bitmap has the screen's pixel format, since blits never convert
    // (every demo bitmap is drawn by kcs-art), and the game does not draw the
    // key colour: the cleared screen shows.
    ASSERT_EQ(art("sample.txt keyed.bmp").status, 0);
    Surface keyed = gEngine->loadBitmap("keyed.bmp");
    const SDL_PixelFormat& format = *keyed->format;
    const SDL_PixelFormat& screen = *gEngine->getScreen()->format;
    EXPECT_TRUE(format.BitsPerPixel == screen.BitsPerPixel && format.Rmask == screen.Rmask &&
                format.Gmask == screen.Gmask && format.Bmask == screen.Bmask &&
                format.Amask == screen.Amask);
    gEngine->clearScreen();
    gEngine->blitToScreen(10, 20, keyed.get(), nullptr);
    EXPECT_EQ(characters(gEngine->getScreen(), 10, 20, 4, 3), "rgb#\nr  b\n    \n");
}

// Each bad source gives status 2, one line "file:line:column: ..." naming
// what is wrong, and the earlier output kept.
TEST(ArtTool, BadSourcesAreReportedByFileLineAndColumn) {
    const std::string cases[][3] = {
        // source, line:column, words of the message
        {"width 4\ncolour . 255 128 255\n....\n..\n", "4:3", "width is 4"},
        {"\xEF\xBB\xBFwidth 3\rcolour . 255 128 255\r\n...\r..x\r", "4:3",
         "'x' is not a defined colour"},
        {"width 2\ncolour . 255 128 255\n...\n", "3:3", "longer than the width"},
        {"colour . 255 128 255\n...\n", "2:1", "\"width N\""},
        {"width 2\ncolour a 1 2 3\ncolour a 4 5 6\n", "3:8", "defined twice"},
        {"width 2\ncolour a 1 256 3\n", "2:12", "green"},
        {"width 2\ncolour ab 1 2 3\n", "2:8", "one printable character"},
        {"width 2\nheight 4\n", "2:7", "unknown directive"},
        {"width 2\ncolour a 1 2 3\n  aa\n", "3:1", "first column"},
        {"// nothing\n", "1:1", "no \"width N\""},
        {"width 2\ncolour a 1 2 3\n", "2:1", "no pixel rows"},
    };
    for (const auto& [source, place, words] : cases) {
        SCOPED_TRACE(words);
        writeFile("bad.txt", source);
        writeFile("bad.bmp", "earlier");
        auto result = art("bad.txt bad.bmp");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.rfind("bad.txt:" + place + ": ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(words), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(readFile("bad.bmp"), "earlier");
    }
}

// The designer's tools' command lines: --help prints the usage; bad usage
// gives status 2 and a line saying what is wrong (kcs-art and kcs-sound,
// which share their frame, add the usage); an input that cannot be used, or
// an output that would overwrite one, gives status 2 and one line naming the
// file. Nothing is written.
TEST(DesignerTools, CommandLinesAndFilesAreChecked) {
    const std::string artTool = KCS_ART_BINARY;
    const std::string soundTool = KCS_SOUND_BINARY;
    const std::string mapTool = KCS_MAP_BINARY;
    const std::string score = "voice x pulse50\nchannel x\nc\n";
    writeFile("score.txt", score);
    writeFile("picture.txt", std::string("width 4\n") + PALETTE + "....\n");
    writeFile("small.txt", std::string("width 2\n") + PALETTE + "..\n");
    writeFile("level.map", MapBytes(1, 1).bytes());
    writeFile("broken.map", MapBytes(1, 1).tile(0, 0, 6).bytes());
    writeFile("narrow.map", std::string("\x14\x0f\x06", 3));
    const std::pair<std::string, std::string> cases[] = {
        // command, the start of standard error
        {artTool + " only-one.txt", "kcs-art: expected SRC.txt and OUT.bmp\nusage: kcs-art "},
        {artTool + " --sideways a.txt b.bmp", "kcs-art: unknown option --sideways\nusage: "},
        {artTool + " a.txt b.bmp --overlay", "kcs-art: --overlay needs a file\nusage: "},
        {artTool + " nowhere.txt refused.bmp", "nowhere.txt: cannot open it"},
        {artTool + " --overlay small.txt picture.txt refused.bmp", "small.txt:1:1: "},
        {soundTool + " a.txt b.wav c.wav", "kcs-sound: expected SRC.txt and OUT.wav\nusage: "},
        {soundTool + " --loud a.txt b.wav", "kcs-sound: unknown option --loud\nusage: "},
        {soundTool + " score.txt score.txt", "score.txt: the output would overwrite the input"},
        {mapTool, "kcs-map: missing command (see kcs-map --help)\n"},
        {mapTool + " draw x.map", "kcs-map: unknown command \"draw\""},
        {mapTool + " build only.txt", "kcs-map: build takes SOURCE.txt and OUT.map"},
        {mapTool + " show", "kcs-map: show takes one FILE.map"},
        {mapTool + " check a.map b.map", "kcs-map: check takes one FILE.map"},
        {mapTool + " check a.map --tiles", "kcs-map: --tiles needs a value"},
        {mapTool + " export level.map nowhere/out.tmx", "nowhere/out.tmx: the output cannot write"},
        {mapTool + " show broken.map", "broken.map: tile row 0, column 0 (byte 3): code 6"},
        {mapTool + " export narrow.map refused.tmx",
         "narrow.map: width 20 tiles (byte 0) is not a multiple of 16"},
    };
    for (const auto& [command, start] : cases) {
        auto result = runProgram(command);
        EXPECT_EQ(result.status, 2) << command;
        EXPECT_EQ(result.err.rfind(start, 0), 0u) << result.err;
        if (start.find("usage: ") == std::string::npos) {
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
        EXPECT_EQ(result.out, "") << command;
    }
    EXPECT_FALSE(std::filesystem::exists("refused.bmp") || std::filesystem::exists("refused.tmx"));
    EXPECT_EQ(readFile("score.txt"), score);

    for (const std::string& tool : {artTool, soundTool, mapTool}) {
        auto help = runProgram(tool + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("usage: " + std::filesystem::path(tool).filename().string(), 0),
                  0u);
    }
}
