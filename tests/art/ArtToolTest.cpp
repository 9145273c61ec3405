// kcs-art through the real binary: the bitmap it writes holds the source's
// exact colours pixel for pixel, mirrored and overlaid as asked, its key
// colour is transparent when the game blits it, and bad sources are reported
// with file, line and column. The command lines of all the designer's tools
// are checked here.
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

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

// A 4 x 3 px picture as the game draws it on the cleared screen, as the
// palette's characters, a row to a line: black, the cleared screen, is ' '
// and any other colour, the key colour too, '?'.
std::string drawn(SDL_Surface* pPicture) {
    const std::map<uint32_t, char> names = {
        {0xFF0000, 'r'}, {0x00FF00, 'g'}, {0x0000FF, 'b'}, {0x123456, '#'}, {0x000000, ' '}};
    gEngine->clearScreen();
    gEngine->blitToScreen(0, 0, pPicture, nullptr);
    std::string text;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            auto name = names.find(pixelAt(gEngine->getScreen(), x, y));
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
    const std::string options = " --mirror --overlay over.txt sample.txt out.bmp";
    ASSERT_EQ(runProgram(KCS_ART_BINARY + options).status, 0);
    // The bitmap has the screen's pixel format, since blits never convert
    // (every demo bitmap is drawn by kcs-art).
    Surface bmp = gEngine->loadBitmap("out.bmp");
    const SDL_PixelFormat& format = *bmp->format;
    const SDL_PixelFormat& screen = *gEngine->getScreen()->format;
    EXPECT_TRUE(format.BitsPerPixel == screen.BitsPerPixel && format.Rmask == screen.Rmask &&
                format.Gmask == screen.Gmask && format.Bmask == screen.Bmask &&
                format.Amask == screen.Amask);
    // The game does not draw the key colour: the cleared screen shows. The
    // overlay's key colour keeps the base; mirroring comes after it.
    EXPECT_EQ(drawn(bmp.get()), "#bgr\nb gr\n#   \n");
}

// Each bad source gives status 2, one line "file:line:column: ..." naming
// what is wrong, and the earlier output kept.
TEST(ArtTool, BadSourcesAreReportedByFileLineAndColumn) {
    const std::string cases[][3] = {
        // source, line:column, words of the message
        {"width 4\ncolour . 255 128 255\n....\n..\n", "4:3", "width is 4"},
        {"\xEF\xBB\xBFwidth 3\rcolour . 255 128 255\r\n...\r..x\r", "4:3",
         "'x' is not a defined colour"},
        {"colour . 255 128 255\n...\n", "2:1", "\"width N\""},
        {"width 2\nheight 4\n", "2:7", "unknown directive"},
        {"width 2\ncolour a 1 2 3\n", "2:1", "no pixel rows"},
    };
    for (const auto& [source, place, words] : cases) {
        SCOPED_TRACE(words);
        writeFile("bad.txt", source);
        writeFile("bad.bmp", "earlier");
        auto result = runProgram(KCS_ART_BINARY + std::string(" bad.txt bad.bmp"));
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.rfind("bad.txt:" + place + ": ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(words), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(readFile("bad.bmp"), "earlier");
    }
}

// The designer's tools' command lines: --help prints the usage, --version
// the game's version; bad usage
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
    const std::pair<std::string, std::string> cases[] = {
        // command, the start of standard error
        {artTool + " only-one.txt", "kcs-art: expected SRC.txt and OUT.bmp\nusage: kcs-art "},
        {artTool + " nowhere.txt refused.bmp", "nowhere.txt: cannot open it"},
        {artTool + " --overlay small.txt picture.txt refused.bmp", "small.txt:1:1: "},
        {soundTool + " score.txt score.txt", "score.txt: the output would overwrite the input"},
        {mapTool, "kcs-map: missing command (see kcs-map --help)\n"},
        {mapTool + " check a.map --tiles", "kcs-map: --tiles needs a value"},
    };
    for (const auto& [command, start] : cases) {
        auto result = runProgram(command);
        EXPECT_EQ(result.status, 2) << command;
        EXPECT_EQ(result.err.rfind(start, 0), 0u) << result.err;
        if (start.find("usage: ") == std::string::npos) {
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists("refused.bmp"));
    EXPECT_EQ(readFile("score.txt"), score);

    for (const std::string& tool : {artTool, soundTool, mapTool}) {
        std::string name = std::filesystem::path(tool).filename().string();
        auto help = runProgram(tool + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("usage: " + name, 0), 0u);
        EXPECT_EQ(runProgram(tool + " --version").out, name + " " + KCS_VERSION + "\n");
    }
}
