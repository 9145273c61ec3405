// A picture the designer's tools draw for a person to look at (the map
// picture, the jump arcs): a 32-bit surface, the few shapes they need, and
// saving as PNG. Colours are 0xRRGGBB.
#pragma once

#include "engine/Surface.h"

#include <SDL.h>
#include <cstdint>
#include <string>

class FileRegistry;

class Picture {
public:
    // Throws DataError naming `what` when the picture cannot be made.
    Picture(int width, int height, uint32_t background, const std::string& what);

    int width() const { return m_pSurface->w; }
    int height() const { return m_pSurface->h; }
    SDL_Surface* surface() { return m_pSurface.get(); }

    // Shapes are clipped to the picture.
    void fill(int x, int y, int width, int height, uint32_t colour);
    void outline(int x, int y, int width, int height, int thickness, uint32_t colour);
    // Diagonal lines every `spacing` px.
    void hatch(int x, int y, int width, int height, int spacing, uint32_t colour);
    void line(int x0, int y0, int x1, int y1, uint32_t colour);
    // A whole number in 3 x 5 px digits made `scale` times larger, with a
    // dark backing so it reads over any tile; returns the width drawn.
    int number(int x, int y, int64_t value, int scale, uint32_t colour);

    // The PNG file's bytes; throws DataError naming `what`.
    std::string png() const;
    // Writes the PNG whole to path (replacing a file only when finished);
    // throws DataError naming the option and the path.
    void save(const FileRegistry& files, const std::string& path, const std::string& option) const;

private:
    void plot(int x, int y, uint32_t colour);

    std::string m_what; // for messages
    Surface m_pSurface;
};
