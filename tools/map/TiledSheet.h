// The tile sheet of a flattened Tiled map: each image drawn from the
// tilesets' pictures, PNG or BMP, its tiles over each other as Tiled shows
// them, in the screen's BMP form the game loads.
#pragma once

#include "TiledMap.h"

#include <cstdint>
#include <string>
#include <vector>

class FileRegistry;

class TiledSheet {
public:
    // The BMP's bytes: 16 px wide, image k of `images` (a stack of global
    // ids, bottom to top, flip bits kept) at y = 16 k. Reads each picture
    // once. Throws DataError naming the picture, or the tileset's file for
    // what to change in the tileset.
    static std::vector<uint8_t> draw(FileRegistry& files, const TiledMap& map,
                                     const std::vector<std::vector<uint32_t>>& images);
};
