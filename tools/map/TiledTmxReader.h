// Reads Tiled's XML map format (.tmx) and its external tilesets (.tsx) with
// pugixml.
#pragma once

#include "TiledMap.h"

#include <cstdint>
#include <string>

class TiledTmxReader {
public:
    // Throws DataError naming the file (and the layer) for anything unreadable
    // or outside what a kcs map can be.
    static TiledMap read(const std::string& fileName, const std::string& text);
    // An external tileset file, as a map refers to it with firstgid.
    static TiledTileset readTilesetFile(const std::string& fileName, uint32_t firstGid);
};
