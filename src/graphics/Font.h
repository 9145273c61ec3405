// The bitmap font: a single column of glyph cells placed by "font.ini".
// Each character's cell is looked up at draw time in a table indexed by its
// byte, filled from the file when the font loads, so text costs no
// allocation and no search however often it is drawn.
#pragma once

#include "config/IniDictionary.h"
#include "engine/GameEngine.h"
#include "engine/Surface.h"

#include <SDL.h>
#include <array>
#include <climits>
#include <string>
#include <string_view>

class Font {
public:
    // Built inside the engine's constructor, before gEngine is set, so it
    // keeps the engine it is given. Throws DataError for a bad file or sheet.
    Font(const std::string& fileName, GameEngine* pEngine);
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    int getCharacterWidth() const { return m_characterWidth; }
    int getCharacterHeight() const { return m_characterHeight; }

    void drawText(std::string_view text, int x, int y);
    // Whether "font.ini" places a glyph for the character.
    bool hasGlyph(char c) const { return m_glyphs[glyphIndex(c)].given; }
    void drawTextOnSurface(std::string_view text, SDL_Surface* pTarget, int x, int y);
    // A one-character mark (a pointer, a star) in a cell at x, y: its glyph,
    // or a light square half a cell wide in the cell's middle where the
    // font has none, since a missing glyph would draw a 0.
    void drawMark(char c, int x, int y);
    // A signed number in n + 1 cells: one sign cell, then n digits with
    // leading zeros.
    void drawNumber(int32_t value, int x, int y, int digitCount);
    // The player's readout, all in 1/256 px, drawn in the top-left corner.
    void drawDiagnostics(int32_t x, int32_t y, int32_t speedX, int32_t speedY, int32_t flags);

private:
    struct Glyph {
        int32_t y = 0; // px of the cell's top in the sheet; a character without one draws 0's
        bool given = false;
    };
    static constexpr size_t GLYPH_COUNT = size_t{1} << CHAR_BIT; // one per byte
    static size_t glyphIndex(char c) { return static_cast<unsigned char>(c); }

    // Throws DataError naming the key whose cell the sheet cannot hold.
    void checkCells(const IniDictionary& file, const std::string& fileName) const;
    void readGlyphs(const IniDictionary& file);
    void drawCell(int cellY, int x, int y, SDL_Surface* pTarget);

    int32_t m_characterHeight = 0; // px
    int32_t m_characterWidth = 0;  // px, also the advance per character
    GameEngine* m_pEngine;
    Surface m_pSheet;
    std::array<Glyph, GLYPH_COUNT> m_glyphs{};
};

// The game's font, from "font.ini": the loader the engine is built with.
FontHandle loadFont(GameEngine* pEngine);
