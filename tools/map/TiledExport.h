// `kcs-map export`: a map file as a Tiled map (.tmx), so a level begun as
// text can go on in the Tiled editor. Importing the result gives the same
// map file back.
#pragma once

#include "world/level/MapFile.h"

#include <string>

class TiledExport {
public:
    // The TMX text: one embedded tileset of the map's N - 1 codes made from
    // `sheetName` (a column of 16 x 16 images), a "tiles" layer and a "solid"
    // layer, both as CSV; absent screens are empty cells.
    static std::string toTmx(const MapFile& map, const std::string& sheetName);
};
