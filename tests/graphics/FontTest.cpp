// Text, numbers and the readout, read back from the real screen surface. The
// test font fills every pixel of cell k with its own colour, so a pixel tells
// which cell was drawn there.
#include "graphics/Font.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace testing_support;

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

} // namespace

TEST(FontDrawing, NumbersHaveASignCellAndLeadingZeros) {
    // {the value, its digits, the cells drawn}
    const std::tuple<int32_t, int, std::vector<int>> cases[] = {
        {5, 3, {NOTHING, 0, 0, 5}},
        // Too many digits reach below the digit cells, into cell 11.
        {1134, 3, {NOTHING, 11, 3, 4}},
        // 2147483648 in twelve digits, without overflow.
        {INT32_MIN, 12, {13, 0, 0, 2, 1, 4, 7, 4, 8, 3, 6, 4, 8}},
    };
    for (const auto& [value, digits, cells] : cases) {
        gEngine->clearScreen();
        gEngine->getFont().drawNumber(value, 0, 0, digits);
        EXPECT_EQ(cellsAt(0, 0, static_cast<int>(cells.size())), cells) << value;
    }
}

// The blank's cell is transparent and an unknown character draws cell 0, on
// the screen and on a new surface, which is transparent; a surface of no size
// is none.
TEST(FontDrawing, TextAdvancesOneCellPerCharacterOnTheScreenAndOnASurface) {
    gEngine->clearScreen();
    gEngine->getFont().drawText("A B-C?", 16, 100);
    EXPECT_EQ(cellsAt(16, 100, 7), (std::vector<int>{10, NOTHING, 11, 13, 14, 0, NOTHING}));
    Surface surface = gEngine->createSurface(24, 8);
    ASSERT_TRUE(surface);
    gEngine->getFont().drawTextOnSurface("B A", surface.get(), 0, 0);
    gEngine->blitToScreen(40, 120, surface.get(), nullptr);
    EXPECT_EQ(cellsAt(40, 120, 4), (std::vector<int>{11, NOTHING, 10, NOTHING}));
    EXPECT_FALSE(gEngine->createSurface(0, 8));
}

TEST(FontDrawing, DiagnosticsShowWholePixelsWithinOneScreen) {
    // x 300.5 px, y -3 px exactly, speeds 1.5 and -2.25 px, flags 5.
    gEngine->clearScreen();
    gEngine->getFont().drawDiagnostics(300 * 256 + 128, -3 * 256, 384, -576, 5);
    EXPECT_EQ(cellsAt(8, 8, 4), (std::vector<int>{NOTHING, 0, 4, 4})); // 300 % 256
    EXPECT_EQ(cellsAt(8, 16, 4), (std::vector<int>{13, 0, 0, 3}));     // -3 % 240
    EXPECT_EQ(cellsAt(40, 24, 4), (std::vector<int>{NOTHING, 1, 2, 8}));
    EXPECT_EQ(cellsAt(40, 32, 4), (std::vector<int>{NOTHING, 1, 9, 2})); // -576 & 255
}

// Every cell the font draws must lie inside its sheet of 8 x 128 px; a sheet
// left unnamed is blamed on the font file, one named on itself.
TEST(FontLoading, BadSheetsAndCellsOutsideTheSheetAreRefusedByKey) {
    const std::pair<const char*, const char*> cases[] = {
        {"characterHeight=8\n", "badfont.ini: [Properties] sheet is not given, and the default "
                                "\"empty\" cannot be loaded (empty: "},
        {"sheet=lost.bmp\n", "lost.bmp: "},
        {"sheet=testfont.bmp\ncharacterHeight=8\ncharacterWidth=16\n",
         "badfont.ini: [Properties] characterWidth is 16;"},
        {"sheet=testfont.bmp\ncharacterHeight=8\ncharacterWidth=8\n[Characters]\nA=124\n",
         "badfont.ini: [Characters] A is 124:"},
    };
    for (const auto& [properties, error] : cases) {
        testing_support::writeFile("badfont.ini", std::string("[Properties]\n") + properties);
        try {
            Font font("badfont.ini", gEngine);
            ADD_FAILURE() << "accepted: " << properties;
        } catch (const DataError& caught) {
            EXPECT_EQ(std::string(caught.what()).rfind(error, 0), 0u) << caught.what();
        }
    }
}
