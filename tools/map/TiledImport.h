// `kcs-map import`: a map made in the Tiled editor (.tmx, or .tmj/.json) to a
// kcs map file. docs/map-format.md tells designers how to set it up.
#pragma once

#include "TiledMap.h"

#include "world/level/MapFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TiledImportOptions {
    TiledPad pad;
    // Whether the layers are flattened and the tile sheet of their tiles
    // drawn; otherwise the codes are the first tileset's tiles.
    bool drawSheet = false;
};

struct TiledImported {
    MapFile map;
    std::vector<uint8_t> sheet; // the tile sheet's BMP, when drawn
    // The objects of the map's visible object layers, for the level; none
    // when it has no object layer.
    std::optional<std::vector<TiledObject>> objects;
    int widthPx = 0; // the map's size before any padding
    int heightPx = 0;
};

class TiledImport {
public:
    // What one import may read across the map and its tileset files: many
    // times any real map's, and a few seconds of parsing at most.
    static constexpr size_t MAX_BYTES_READ = size_t{32} << 20;

    // Reads and converts the map, its files inputs of the run's `files`.
    // Throws DataError naming the file, and the layer, row and column where
    // one applies.
    static TiledImported import(FileRegistry& files, const std::string& fileName,
                                const TiledImportOptions& options = {});
    // Where a tileset the map names as `source` is: relative to the map's folder.
    static std::string tilesetPath(const std::string& mapFileName, const std::string& source);
    // A tileset kept in its own file, by its extension: .tsx, or .tsj/.json.
    // Its size is added to *pBytesRead, when given, and refused past
    // MAX_BYTES_READ.
    static TiledTileset readExternalTileset(FileRegistry& files, const std::string& mapFileName,
                                            const std::string& source, uint32_t firstGid,
                                            size_t* pBytesRead = nullptr);
};
