// The bitmap font: a single column of glyph cells placed by "font.ini".
// Glyphs are looked up in the font's dictionary at draw time.
#pragma once

#include "config/IniDictionary.h"
#include "engine/GameEngine.h"
#include "engine/Surface.h"

#include <SDL.h>
#include <string>

class Font {
public:
    // Built inside the engine's constructor, before gEngine is set, so it
    // keeps the engine it is given. Throws DataError for a bad file or sheet.
    Font(const std::string& fileName, GameEngine* pEngine);
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    int getCharacterWidth() const { return m_characterWidth; }
    int getCharacterHeight() const { return m_characterHeight; }

    void drawText(const std::string& text, int x, int y);
    // Whether "font.ini" places a glyph for the character.
    bool hasGlyph(char c) const;
    void drawTextOnSurface(const std::string& text, SDL_Surface* pTarget, int x, int y);
    // A signed number in n + 1 cells: one sign cell, then n digits with
    // leading zeros.
    void drawNumber(int32_t value, int x, int y, int digitCount);
    // The player's readout, all in 1/256 px, drawn in the top-left corner.
    void drawDiagnostics(int32_t x, int32_t y, int32_t speedX, int32_t speedY, int32_t flags);

private:
    // Throws DataError naming the key whose cell the sheet cannot hold.
    void checkCells(const std::string& fileName) const;
    int glyphY(char c) const;
    void drawCell(int cellY, int x, int y, SDL_Surface* pTarget);

    int32_t m_characterHeight = 0; // px
    int32_t m_characterWidth = 0;  // px, also the advance per character
    IniDictionary m_dictionary;
    GameEngine* m_pEngine;
    Surface m_pSheet;
};

// The game's font, from "font.ini": the loader the engine is built with.
FontHandle loadFont(GameEngine* pEngine);
