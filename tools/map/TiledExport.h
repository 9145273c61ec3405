// `kcs-map export`: a map file as a Tiled map (.tmx), so a level begun as
// text can go on in the Tiled editor. Importing the result gives the same
// map file back.
#pragma once

#include "world/level/MapFile.h"

#include <optional>
#include <string>
#include <vector>

// A level's object as a rectangle of its box, its type the kind file.
struct TiledExportObject {
    std::string kind;
    int x = 0; // px of the top-left corner
    int y = 0;
    int width = 0; // px
    int height = 0;
};

class TiledExport {
public:
    // The name of the object layer written for a level's objects.
    static constexpr const char* OBJECTS_LAYER = "objects";

    // The TMX text: one embedded tileset of the map's N - 1 codes made from
    // `sheetName` (a column of 16 x 16 images), a "tiles" layer and a "solid"
    // layer, both as CSV; absent screens are empty cells. Given a level's
    // objects (maybe none), an "objects" layer of them over those.
    static std::string toTmx(const MapFile& map, const std::string& sheetName,
                             const std::optional<std::vector<TiledExportObject>>& objects = {});
};
