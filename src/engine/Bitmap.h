// Loading a BMP file the one safe way: read whole and bounded, its header
// checked before SDL makes the picture it declares.
#pragma once

#include "engine/Surface.h"

#include <string>

// Throws DataError naming the file when it cannot be loaded.
Surface readBitmap(const std::string& path);
