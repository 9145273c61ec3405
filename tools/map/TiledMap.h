// A map made in the Tiled editor, as far as kcs needs it: its size, its
// tilesets and its tile layers. The TMX and JSON readers fill it in; the
// rules that turn it into a map file live here, once for both formats.
#pragma once

#include "world/level/MapFile.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

struct TiledTileset {
    std::string name;
    std::string fileName; // where it was read: the map, or an external tileset file
    std::string image;    // the picture's path as the file gives it, relative to fileName
    uint32_t firstGid = 0;
    // Wide enough for what an image of any size the readers accept holds, so
    // a refusal can give the real count.
    int64_t tileCount = 0;
    int tileWidth = 0;  // px
    int tileHeight = 0; // px
    // Local tile ids whose "solid" property is true, of those a map code can
    // show (code = id + 1): a tileset of thousands of solid tiles named many
    // times would otherwise be copied whole for each name.
    std::set<int> solidIds;
    static constexpr int SOLID_IDS_KEPT = MapFile::MAX_CODE_COUNT - 1;
};

struct TiledLayer {
    std::string name;
    int width = 0;              // tiles
    int height = 0;             // tiles
    std::vector<uint32_t> gids; // row by row, flip bits still set
};

// Reads a tileset kept in its own file, `source` as the map names it. The
// importer reads the file beside the map; tests and fuzzing give their own.
using TiledTilesetReader =
    std::function<TiledTileset(const std::string& source, uint32_t firstGid)>;

class TiledMap {
public:
    // Layer names with a meaning for kcs.
    static constexpr const char* TILES_LAYER = "tiles";
    static constexpr const char* SOLID_LAYER = "solid";
    // The tile property that makes a tile solid when there is no solid layer.
    static constexpr const char* SOLID_PROPERTY = "solid";
    // Tiled keeps flips and rotations in the top bits of a global tile id.
    static constexpr uint32_t FLIP_BITS = 0xF0000000u;
    // Far more than any kcs map needs, and low enough that nesting, decoding
    // and reading tilesets stay small whatever a file declares.
    static constexpr int MAX_GROUP_DEPTH = 64;
    static constexpr size_t MAX_TILE_LAYERS = 64;
    static constexpr size_t MAX_TILESETS = 64;
    // A name or value from the file, as a message quotes it (see excerpt).
    static std::string quoted(const std::string& text);

    explicit TiledMap(std::string fileName) : m_fileName(std::move(fileName)) {}

    // Refuses, with one line naming the file, what no kcs map can be: not
    // orthogonal, infinite, tiles other than 16 x 16 px, a size that is not
    // whole screens or too large. Readers call it before reading the layers.
    void checkHeader() const;
    // The map file: codes from the tiles layer, solidity from the solid layer
    // or the tiles' property. Throws DataError naming the file, and the layer,
    // row and column where one applies.
    MapFile toMapFile() const;

    const std::string& fileName() const { return m_fileName; }

    std::string orientation;
    bool infinite = false;
    int width = 0;      // tiles
    int height = 0;     // tiles
    int tileWidth = 0;  // px
    int tileHeight = 0; // px
    std::vector<TiledTileset> tilesets;
    std::vector<TiledLayer> layers; // tile layers only, in file order, groups flattened

private:
    [[noreturn]] void fail(const std::string& message) const;
    const TiledTileset& tileSheet() const;
    const TiledLayer* findLayer(const std::string& name) const;
    const TiledLayer& tilesLayer() const;
    std::vector<uint8_t> tileCodes(const TiledLayer& layer, const TiledTileset& sheet) const;
    void checkScreens(const TiledLayer& layer, const std::vector<uint8_t>& codes) const;

    std::string m_fileName;
};
