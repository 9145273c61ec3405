// Loading a BMP file the one safe way: read whole and bounded, its header
// checked before SDL makes the picture it declares.
#pragma once

#include "engine/Surface.h"

#include <string>

class FileRegistry;

// Throws DataError naming the file when it cannot be loaded.
Surface readBitmap(FileRegistry& files, const std::string& path);
