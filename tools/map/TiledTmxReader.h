// Reads Tiled's XML map format (.tmx) and its external tilesets (.tsx) with
// pugixml.
#pragma once

#include "TiledMap.h"

#include <cstdint>
#include <string>

class TiledTmxReader {
public:
    // The map's text as read from fileName; tilesets kept in their own files
    // come from readTileset. Throws DataError naming the file (and the layer)
    // for anything unreadable or outside what a kcs map can be.
    static TiledMap read(const std::string& fileName, const std::string& text,
                         const TiledTilesetReader& readTileset);
    // An external tileset's text as read from fileName, as a map refers to it
    // with firstgid.
    static TiledTileset readTileset(const std::string& fileName, const std::string& text,
                                    uint32_t firstGid);
};
