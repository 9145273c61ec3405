// kcs-art through the real binary: the bitmap it writes loads in the
// screen's pixel format with exact colours, the key colour is transparent
// when blitted, mirror and overlay edit the picture, and bad sources are
// reported with file, line and column.
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

using testing_support::pixelAt;
using testing_support::runProgram;
using testing_support::writeFile;

namespace {

constexpr uint32_t KEY = 0xFF80FF;
constexpr uint32_t RED = 0xFF0000;
constexpr uint32_t GREEN = 0x00FF00;
constexpr uint32_t BLUE = 0x0000FF;
constexpr uint32_t GREY = 0x123456;

const char* const PALETTE = "colour . 255 128 255\n"
                            "colour r 255 0 0\n"
                            "colour g 0 255 0\n"
                            "colour b 0 0 255\n"
                            "colour # 18 52 86\n";

testing_support::RunResult art(const std::string& arguments) {
    return runProgram(std::string(KCS_ART_BINARY) + " " + arguments);
}

// A 4x3 picture: a red, green, blue, grey row, a row with the key colour
// in the middle, and a blank row.
void writeSample(const std::string& name) {
    writeFile(name, std::string("// sample\nwidth 4\n") + PALETTE +
                        "rgb#\n"
                        "\n"
                        "r..b\n"
                        "blank 1\n");
}

struct LoadedBmp {
    SDL_Surface* pSurface = nullptr;
    ~LoadedBmp() { SDL_FreeSurface(pSurface); }
};

} // namespace

TEST(ArtTool, BitmapHasTheScreenFormatAndExactColours) {
    writeSample("sample.txt");
    auto result = art("sample.txt sample.bmp");
    ASSERT_EQ(result.status, 0) << result.err;

    LoadedBmp bmp{SDL_LoadBMP("sample.bmp")};
    ASSERT_NE(bmp.pSurface, nullptr);
    const SDL_PixelFormat* pScreen = gEngine->getScreen()->format;
    const SDL_PixelFormat* pFormat = bmp.pSurface->format;
    EXPECT_EQ(pFormat->BitsPerPixel, pScreen->BitsPerPixel);
    EXPECT_EQ(pFormat->Rmask, pScreen->Rmask);
    EXPECT_EQ(pFormat->Gmask, pScreen->Gmask);
    EXPECT_EQ(pFormat->Bmask, pScreen->Bmask);
    EXPECT_EQ(pFormat->Amask, pScreen->Amask);

    ASSERT_EQ(bmp.pSurface->w, 4);
    ASSERT_EQ(bmp.pSurface->h, 3);
    EXPECT_EQ(pixelAt(bmp.pSurface, 0, 0), RED);
    EXPECT_EQ(pixelAt(bmp.pSurface, 1, 0), GREEN);
    EXPECT_EQ(pixelAt(bmp.pSurface, 2, 0), BLUE);
    EXPECT_EQ(pixelAt(bmp.pSurface, 3, 0), GREY);
    EXPECT_EQ(pixelAt(bmp.pSurface, 0, 1), RED);
    EXPECT_EQ(pixelAt(bmp.pSurface, 1, 1), KEY);
    EXPECT_EQ(pixelAt(bmp.pSurface, 3, 1), BLUE);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(pixelAt(bmp.pSurface, x, 2), KEY) << "blank row, x " << x;
    }
}

TEST(ArtTool, KeyColourIsTransparentWhenBlitted) {
    writeSample("keyed.txt");
    ASSERT_EQ(art("keyed.txt keyed.bmp").status, 0);

    Surface surface = gEngine->loadBitmap("keyed.bmp");
    gEngine->clearScreen();
    gEngine->blitToScreen(10, 20, surface.get(), nullptr);
    SDL_Surface* pScreen = gEngine->getScreen();
    EXPECT_EQ(pixelAt(pScreen, 10, 20), RED);
    EXPECT_EQ(pixelAt(pScreen, 13, 20), GREY);
    EXPECT_EQ(pixelAt(pScreen, 10, 21), RED);
    EXPECT_EQ(pixelAt(pScreen, 11, 21), 0x000000u) << "key colour must not be drawn";
    EXPECT_EQ(pixelAt(pScreen, 12, 21), 0x000000u);
    EXPECT_EQ(pixelAt(pScreen, 13, 21), BLUE);
    EXPECT_EQ(pixelAt(pScreen, 12, 22), 0x000000u);
}

TEST(ArtTool, MirrorFlipsEveryRow) {
    writeSample("mirror.txt");
    ASSERT_EQ(art("--mirror mirror.txt mirror.bmp").status, 0);
    LoadedBmp bmp{SDL_LoadBMP("mirror.bmp")};
    ASSERT_NE(bmp.pSurface, nullptr);
    EXPECT_EQ(pixelAt(bmp.pSurface, 0, 0), GREY);
    EXPECT_EQ(pixelAt(bmp.pSurface, 1, 0), BLUE);
    EXPECT_EQ(pixelAt(bmp.pSurface, 2, 0), GREEN);
    EXPECT_EQ(pixelAt(bmp.pSurface, 3, 0), RED);
    EXPECT_EQ(pixelAt(bmp.pSurface, 0, 1), BLUE);
    EXPECT_EQ(pixelAt(bmp.pSurface, 2, 1), KEY);
}

TEST(ArtTool, OverlayPaintsItsOpaquePixelsBeforeMirroring) {
    writeSample("base.txt");
    writeFile("over.txt", std::string("width 4\n") + PALETTE + "....\n.g..\n...#\n");
    ASSERT_EQ(art("--overlay over.txt base.txt over.bmp").status, 0);
    LoadedBmp plain{SDL_LoadBMP("over.bmp")};
    ASSERT_NE(plain.pSurface, nullptr);
    EXPECT_EQ(pixelAt(plain.pSurface, 0, 0), RED) << "the overlay's key colour keeps the base";
    EXPECT_EQ(pixelAt(plain.pSurface, 1, 1), GREEN);
    EXPECT_EQ(pixelAt(plain.pSurface, 3, 2), GREY);
    EXPECT_EQ(pixelAt(plain.pSurface, 0, 2), KEY);

    ASSERT_EQ(art("--mirror --overlay over.txt base.txt overm.bmp").status, 0);
    LoadedBmp mirrored{SDL_LoadBMP("overm.bmp")};
    ASSERT_NE(mirrored.pSurface, nullptr);
    EXPECT_EQ(pixelAt(mirrored.pSurface, 2, 1), GREEN);
    EXPECT_EQ(pixelAt(mirrored.pSurface, 0, 2), GREY);
}

TEST(ArtTool, HelpPrintsUsageAndSucceeds) {
    auto result = art("--help");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("usage: kcs-art"), std::string::npos);
}

// Each bad source gives status 2, one line "file:line:column: ..." and no
// output file.
struct BadSource {
    const char* name;
    std::string text;
    const char* place;
    const char* words;
};

class ArtToolBadSource : public ::testing::TestWithParam<BadSource> {};

TEST_P(ArtToolBadSource, ReportsFileLineAndColumn) {
    const BadSource& bad = GetParam();
    std::string source = std::string("bad-") + bad.name + ".txt";
    std::string output = std::string("bad-") + bad.name + ".bmp";
    writeFile(source, bad.text);
    auto result = art(source + " " + output);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind(source + ":" + bad.place + ": ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(bad.words), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_FALSE(std::filesystem::exists(output));
}

INSTANTIATE_TEST_SUITE_P(
    ArtSources, ArtToolBadSource,
    ::testing::Values(
        BadSource{"undefined", "width 3\ncolour . 255 128 255\n...\n..x\n", "4:3",
                  "'x' is not a defined colour"},
        BadSource{"short", "width 4\ncolour . 255 128 255\n....\n..\n", "4:3", "width is 4"},
        BadSource{"lineends", "\xEF\xBB\xBFwidth 3\rcolour . 255 128 255\r\n...\r..x\r", "4:3",
                  "'x' is not a defined colour"},
        BadSource{"long", "width 2\ncolour . 255 128 255\n...\n", "3:3", "longer than the width"},
        BadSource{"nowidth", "colour . 255 128 255\n...\n", "2:1", "\"width N\""},
        BadSource{"twice", "width 2\ncolour a 1 2 3\ncolour a 4 5 6\n", "3:8", "defined twice"},
        BadSource{"range", "width 2\ncolour a 1 256 3\n", "2:12", "green"},
        BadSource{"name", "width 2\ncolour ab 1 2 3\n", "2:8", "one printable character"},
        BadSource{"directive", "width 2\nheight 4\n", "2:7", "unknown directive"},
        BadSource{"indented", "width 2\ncolour a 1 2 3\n  aa\n", "3:1", "first column"},
        BadSource{"empty", "// nothing\n", "1:1", "no \"width N\""},
        BadSource{"norows", "width 2\ncolour a 1 2 3\n", "2:1", "no pixel rows"}),
    [](const ::testing::TestParamInfo<BadSource>& info) { return std::string(info.param.name); });

TEST(ArtTool, OverlayOfAnotherSizeNamesTheOverlay) {
    writeSample("sized.txt");
    writeFile("small.txt", std::string("width 2\n") + PALETTE + "..\n");
    auto result = art("--overlay small.txt sized.txt sized.bmp");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind("small.txt:1:1: ", 0), 0u) << result.err;
    EXPECT_FALSE(std::filesystem::exists("sized.bmp"));
}

TEST(ArtTool, MissingSourceAndBadArgumentsFailWithStatusTwo) {
    auto missing = art("no-such-source.txt out.bmp");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("no-such-source.txt: ", 0), 0u) << missing.err;

    EXPECT_EQ(art("only-one.txt").status, 2);
    EXPECT_EQ(art("--sideways a.txt b.bmp").status, 2);
    EXPECT_EQ(art("a.txt b.bmp --overlay").status, 2);
}

TEST(ArtTool, FailedRunKeepsThePreviousOutput) {
    writeSample("keep.txt");
    ASSERT_EQ(art("keep.txt keep.bmp").status, 0);
    auto before = std::filesystem::file_size("keep.bmp");
    writeFile("broken.txt", "width 4\ncolour . 255 128 255\n..\n");
    EXPECT_EQ(art("broken.txt keep.bmp").status, 2);
    EXPECT_EQ(std::filesystem::file_size("keep.bmp"), before);
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        EXPECT_EQ(entry.path().filename().string().find("keep.bmp.tmp"), std::string::npos);
    }
}
