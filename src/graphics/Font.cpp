// Text, zero-padded numbers and the diagnostic readout from the glyph sheet.
#include "graphics/Font.h"

#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "engine/Wrapping.h"

#include <algorithm>

namespace {

constexpr int32_t FRACTION_MASK = 0xFF;
constexpr int FRACTION_BITS = 8;
// Numbers are drawn from the sheet's first cells, digit d at d cells down.
constexpr int32_t DIGIT_CELLS = 10;

const char* const PROPERTIES = "Properties";
const char* const CHARACTERS = "Characters";

} // namespace

Font::Font(const std::string& fileName, GameEngine* pEngine) : m_pEngine(pEngine) {
    IniDictionary file(pEngine->files(), fileName);
    // Glyphs are named by the characters they draw.
    file.acceptAnyKeyIn(CHARACTERS);
    try {
        m_pSheet = m_pEngine->loadBitmap(file.getString("sheet", PROPERTIES, MISSING_FILE_NAME));
    } catch (const DataError& error) {
        rethrowForKey(error, file, fileName, PROPERTIES, "sheet");
    }
    m_characterHeight = file.getInt("characterHeight", PROPERTIES, 0);
    m_characterWidth = file.getInt("characterWidth", PROPERTIES, 0);
    checkCells(file, fileName);
    readGlyphs(file);
}

// The blank's glyph is under "space", as a key cannot be a blank; every
// other character's under the one-character key of itself. Longer keys name
// no character.
void Font::readGlyphs(const IniDictionary& file) {
    for (const std::string& key : file.keyNames(CHARACTERS)) {
        char c = ' ';
        if (key.size() == 1 && key != " ") {
            c = key.front();
        } else if (key != "space") {
            continue;
        }
        m_glyphs[glyphIndex(c)] = Glyph{file.getInt(key, CHARACTERS, 0), true};
    }
}

// A cell outside the sheet draws nothing, so a font that does not fit its
// sheet would show every text blank without a word.
void Font::checkCells(const IniDictionary& file, const std::string& fileName) const {
    std::string sheet = "the sheet \"" + excerpt(file.getString("sheet", PROPERTIES, "")) + "\" (" +
                        std::to_string(m_pSheet->w) + " x " + std::to_string(m_pSheet->h) + " px)";
    auto fail = [&](const char* section, const std::string& key, const std::string& what) {
        throw DataError(fileName, "[" + std::string(section) + "] " + key + " " + what);
    };
    auto checkSize = [&](const char* key, int32_t size, int32_t screen, int32_t sheetSize) {
        int32_t most = std::min(screen, sheetSize);
        if (size < 1 || size > most) {
            fail(PROPERTIES, key,
                 "is " + std::to_string(size) + "; a character cell is 1 to " +
                     std::to_string(most) + " px, within the screen and " + sheet);
        }
    };
    checkSize("characterWidth", m_characterWidth, SCREEN_WIDTH, m_pSheet->w);
    checkSize("characterHeight", m_characterHeight, SCREEN_HEIGHT, m_pSheet->h);
    if (int64_t{DIGIT_CELLS} * m_characterHeight > m_pSheet->h) {
        fail(PROPERTIES, "characterHeight",
             "is " + std::to_string(m_characterHeight) + ", so the digits 0 to 9 of numbers take " +
                 std::to_string(DIGIT_CELLS * m_characterHeight) + " px, more than " + sheet +
                 "; use at most " + std::to_string(m_pSheet->h / DIGIT_CELLS));
    }
    int32_t lastY = m_pSheet->h - m_characterHeight;
    for (const std::string& key : file.keyNames(CHARACTERS)) {
        int32_t y = file.getInt(key, CHARACTERS, 0);
        if (y < 0 || y > lastY) {
            fail(CHARACTERS, excerpt(key),
                 "is " + std::to_string(y) + ": its cell is outside " + sheet + "; give 0 to " +
                     std::to_string(lastY));
        }
    }
}

void Font::drawCell(int cellY, int x, int y, SDL_Surface* pTarget) {
    SDL_Rect source{0, static_cast<Sint16>(cellY), static_cast<Uint16>(m_characterWidth),
                    static_cast<Uint16>(m_characterHeight)};
    m_pEngine->blitToSurface(static_cast<Sint16>(x), static_cast<Sint16>(y), m_pSheet.get(),
                             pTarget, &source);
}

void Font::drawText(std::string_view text, int x, int y) {
    drawTextOnSurface(text, m_pEngine->getScreen(), x, y);
}

void Font::drawTextOnSurface(std::string_view text, SDL_Surface* pTarget, int x, int y) {
    // A cell width near the 32-bit limit wraps, as the 16-bit screen
    // positions these end in do.
    int cellX = x;
    for (char c : text) {
        drawCell(m_glyphs[glyphIndex(c)].y, cellX, y, pTarget);
        cellX = wrapping::add(cellX, m_characterWidth);
    }
}

void Font::drawMark(char c, int x, int y) {
    constexpr uint32_t MARK_COLOUR = 0xFCFCFC; // 0xRRGGBB
    if (hasGlyph(c)) {
        drawText(std::string_view(&c, 1), x, y);
        return;
    }
    SDL_Rect square{wrapping::toSint16(wrapping::add(x, m_characterWidth / 4)),
                    wrapping::toSint16(wrapping::add(y, m_characterHeight / 4)),
                    static_cast<Uint16>(std::max(1, m_characterWidth / 2)),
                    static_cast<Uint16>(std::max(1, m_characterHeight / 2))};
    m_pEngine->fillScreenRect(square, MARK_COLOUR);
}

void Font::drawNumber(int32_t value, int x, int y, int digitCount) {
    SDL_Surface* pScreen = m_pEngine->getScreen();
    // Worked in 64 bits so the most negative value has a magnitude too.
    int64_t remaining = value;
    if (remaining < 0) {
        drawCell(m_glyphs[glyphIndex('-')].y, x, y, pScreen);
        remaining = -remaining;
    }
    x = wrapping::add(x, m_characterWidth);
    for (int k = digitCount; k >= 1; --k) {
        // Past 10^10 every digit of a 32-bit magnitude is 0.
        int64_t divisor = 1;
        for (int power = 1; power < k && divisor <= INT32_MAX; ++power) {
            divisor *= 10;
        }
        int64_t digit = divisor > INT32_MAX && k > 11 ? 0 : remaining / divisor;
        drawCell(static_cast<int>(digit * m_characterHeight), x, y, pScreen);
        remaining -= digit * divisor;
        x = wrapping::add(x, m_characterWidth);
    }
}

void Font::drawDiagnostics(int32_t x, int32_t y, int32_t speedX, int32_t speedY, int32_t flags) {
    drawNumber((x >> FRACTION_BITS) % SCREEN_WIDTH, 8, 8, 3);
    drawNumber(x & FRACTION_MASK, 40, 8, 3);
    drawNumber((y >> FRACTION_BITS) % SCREEN_HEIGHT, 8, 16, 3);
    drawNumber(y & FRACTION_MASK, 40, 16, 3);
    drawNumber(speedX >> FRACTION_BITS, 16, 24, 2);
    drawNumber(speedX & FRACTION_MASK, 40, 24, 3);
    drawNumber(speedY >> FRACTION_BITS, 16, 32, 2);
    drawNumber(speedY & FRACTION_MASK, 40, 32, 3);
    drawNumber(flags, 16, 48, 2);
}

FontHandle loadFont(GameEngine* pEngine) {
    return FontHandle(new Font(FONT_FILE, pEngine), FontDeleter{[](Font* pFont) { delete pFont; }});
}
