// Loading a BMP file the one safe way: read whole and bounded, its header
// checked before SDL makes the picture it declares; and a picture encoded as
// a PNG file (the native build's: the web build has no libpng).
#pragma once

#include "engine/Surface.h"

#include <string>

class FileRegistry;

// Throws DataError naming the file when it cannot be loaded.
Surface readBitmap(FileRegistry& files, const std::string& path);

// The 32-bit 0x00RRGGBB surface's pixels as the bytes of a PNG file; throws
// DataError naming `what` when they cannot be encoded.
std::string encodePng(const SDL_Surface* pSurface, const std::string& what);
