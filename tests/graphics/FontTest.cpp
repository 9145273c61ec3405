// Text, numbers and the readout, read back from the real screen surface. The
// test font fills every pixel of cell k with its own colour, so a pixel tells
// which cell was drawn there.
#include "graphics/Font.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <vector>

using testing_support::cellOfColour;
using testing_support::pixelAt;
using testing_support::TEST_GLYPH_SIZE;

namespace {

constexpr int NOTHING = -1;

// The cells drawn in a row of count 8-px positions starting at (x, y).
std::vector<int> cellsAt(int x, int y, int count) {
    std::vector<int> cells;
    for (int i = 0; i < count; ++i) {
        cells.push_back(
            cellOfColour(pixelAt(gEngine->getScreen(), x + i * TEST_GLYPH_SIZE + 3, y + 3)));
    }
    return cells;
}

class FontDrawing : public ::testing::Test {
protected:
    void SetUp() override { gEngine->clearScreen(); }
    Font& font() { return gEngine->getFont(); }
};

} // namespace

TEST_F(FontDrawing, NumbersHaveASignCellAndLeadingZeros) {
    font().drawNumber(5, 0, 0, 3);
    EXPECT_EQ(cellsAt(0, 0, 4), (std::vector<int>{NOTHING, 0, 0, 5}));
    font().drawNumber(-5, 0, 16, 3);
    EXPECT_EQ(cellsAt(0, 16, 4), (std::vector<int>{13, 0, 0, 5}));
}

TEST_F(FontDrawing, TooManyDigitsReachBelowTheDigitCells) {
    // 1234 in three digits: the first digit cell is 12, the blank here.
    font().drawNumber(1234, 0, 32, 3);
    EXPECT_EQ(cellsAt(0, 32, 4), (std::vector<int>{NOTHING, NOTHING, 3, 4}));
    font().drawNumber(1134, 0, 48, 3);
    EXPECT_EQ(cellsAt(0, 48, 4), (std::vector<int>{NOTHING, 11, 3, 4}));
}

TEST_F(FontDrawing, NoDigitsDrawsOnlyTheSign) {
    font().drawNumber(-7, 0, 64, 0);
    EXPECT_EQ(cellsAt(0, 64, 2), (std::vector<int>{13, NOTHING}));
}

TEST_F(FontDrawing, ExtremeValuesDrawWithoutOverflow) {
    font().drawNumber(INT32_MIN, 0, 80, 12);
    // 2147483648 in twelve digits: 00 then the ten digits.
    EXPECT_EQ(cellsAt(0, 80, 13), (std::vector<int>{13, 0, 0, 2, 1, 4, 7, 4, 8, 3, 6, 4, 8}));
}

TEST_F(FontDrawing, TextAdvancesOneCellPerCharacterAndLooksGlyphsUp) {
    font().drawText("A B-C?", 16, 100);
    // The blank's cell is transparent; an unknown character draws cell 0.
    EXPECT_EQ(cellsAt(16, 100, 7), (std::vector<int>{10, NOTHING, 11, 13, 14, 0, NOTHING}));
}

TEST_F(FontDrawing, TextOnASurfaceLeavesTheRestTransparent) {
    Surface surface = gEngine->createSurface(24, 8);
    ASSERT_TRUE(surface);
    font().drawTextOnSurface("B A", surface.get(), 0, 0);
    gEngine->blitToScreen(40, 120, surface.get(), nullptr);
    EXPECT_EQ(cellsAt(40, 120, 4), (std::vector<int>{11, NOTHING, 10, NOTHING}));
}

TEST_F(FontDrawing, DiagnosticsShowWholePixelsWithinOneScreen) {
    // x 300.5 px, y -3 px exactly, speeds 1.5 and -2.25 px, flags 5.
    font().drawDiagnostics(300 * 256 + 128, -3 * 256, 384, -576, 5);
    EXPECT_EQ(cellsAt(8, 8, 4), (std::vector<int>{NOTHING, 0, 4, 4}));  // 300 % 256
    EXPECT_EQ(cellsAt(40, 8, 4), (std::vector<int>{NOTHING, 1, 2, 8})); // fraction
    EXPECT_EQ(cellsAt(8, 16, 4), (std::vector<int>{13, 0, 0, 3}));      // -3 % 240
    EXPECT_EQ(cellsAt(40, 16, 4), (std::vector<int>{NOTHING, 0, 0, 0}));
    EXPECT_EQ(cellsAt(16, 24, 3), (std::vector<int>{NOTHING, 0, 1}));
    EXPECT_EQ(cellsAt(40, 24, 4), (std::vector<int>{NOTHING, 1, 2, 8}));
    EXPECT_EQ(cellsAt(16, 32, 3), (std::vector<int>{13, 0, 3}));         // -576 >> 8
    EXPECT_EQ(cellsAt(40, 32, 4), (std::vector<int>{NOTHING, 1, 9, 2})); // -576 & 255
    EXPECT_EQ(cellsAt(16, 48, 3), (std::vector<int>{NOTHING, 0, 5}));
}

TEST(Surfaces, NewSurfacesAreTransparentAndZeroSizeGivesNone) {
    gEngine->clearScreen();
    Surface surface = gEngine->createSurface(32, 32);
    ASSERT_TRUE(surface);
    gEngine->blitToScreen(0, 0, surface.get(), nullptr);
    EXPECT_EQ(pixelAt(gEngine->getScreen(), 5, 5), 0u);
    EXPECT_FALSE(gEngine->createSurface(0, 8));
    EXPECT_FALSE(gEngine->createSurface(8, 0));
    EXPECT_FALSE(gEngine->createSurface(-1, 8));
    // Blitting no surface draws nothing and does not fail hard.
    EXPECT_EQ(gEngine->blitToScreen(0, 0, nullptr, nullptr), -1);
}

TEST(FontLoading, ASheetLeftUnnamedIsBlamedOnTheFontFile) {
    testing_support::writeFile("nosheet.ini", "[Properties]\ncharacterHeight=8\n");
    try {
        Font font("nosheet.ini", gEngine);
        FAIL() << "a font without a sheet was accepted";
    } catch (const DataError& error) {
        EXPECT_EQ(error.file(), "nosheet.ini");
        EXPECT_EQ(std::string(error.what())
                      .rfind("nosheet.ini: [Properties] sheet is not given, and the default "
                             "\"empty\" cannot be loaded (empty: ",
                             0),
                  0u)
            << error.what();
    }
    testing_support::writeFile("lostsheet.ini", "[Properties]\nsheet=lost.bmp\n");
    try {
        Font font("lostsheet.ini", gEngine);
        FAIL() << "a missing font sheet was accepted";
    } catch (const DataError& error) {
        EXPECT_EQ(error.file(), "lost.bmp");
    }
}

// Every cell the font draws must lie inside its sheet of 8 x 128 px.
TEST(FontLoading, CellsOutsideTheSheetAreRefusedByKey) {
    const std::pair<const char*, const char*> cases[] = {
        {"characterHeight=0\ncharacterWidth=8\n", "[Properties] characterHeight is 0;"},
        {"characterHeight=100000\ncharacterWidth=8\n", "[Properties] characterHeight is 100000;"},
        {"characterHeight=8\ncharacterWidth=16\n", "[Properties] characterWidth is 16;"},
        {"characterHeight=16\ncharacterWidth=8\n", "[Properties] characterHeight is 16, so the"},
        {"characterHeight=8\ncharacterWidth=8\n[Characters]\nA=124\n", "[Characters] A is 124:"},
        {"characterHeight=8\ncharacterWidth=8\n[Characters]\nspace=-8\n",
         "[Characters] space is -8:"},
    };
    for (const auto& [properties, error] : cases) {
        testing_support::writeFile("badfont.ini",
                                   std::string("[Properties]\nsheet=testfont.bmp\n") + properties);
        try {
            Font font("badfont.ini", gEngine);
            ADD_FAILURE() << "accepted: " << properties;
        } catch (const DataError& caught) {
            EXPECT_EQ(std::string(caught.what()).rfind(std::string("badfont.ini: ") + error, 0), 0u)
                << caught.what();
        }
    }
}
