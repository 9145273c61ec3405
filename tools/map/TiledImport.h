// `kcs-map import`: a map made in the Tiled editor (.tmx, or .tmj/.json) to a
// kcs map file. docs/map-format.md tells designers how to set it up.
#pragma once

#include "TiledMap.h"

#include "level/MapFile.h"

#include <cstdint>
#include <string>

class TiledImport {
public:
    // Reads and converts the map. Throws DataError naming the file, and the
    // layer, row and column where one applies.
    static MapFile import(const std::string& fileName);
    // A tileset kept in its own file, `source` as the map names it (relative
    // to the map's folder), by its extension: .tsx, or .tsj/.json.
    static TiledTileset readExternalTileset(const std::string& mapFileName,
                                            const std::string& source, uint32_t firstGid);
};
