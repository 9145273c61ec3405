// The text form of a map that level designers write: a legend giving each
// character a tile code and a solid flag, and one character per tile.
#pragma once

#include "world/level/MapFile.h"

#include <string>

class MapSource {
public:
    // Compiles source text. Throws DataError naming "file:line:column" and
    // what is wrong.
    static MapFile parse(const std::string& fileName, const std::string& text);
    // Prints a map in the text form; parse gives the same map back. Throws
    // DataError(fileName, ...) when the map uses more tiles than there are
    // characters.
    static std::string format(const std::string& fileName, const MapFile& map);
};
