// A map made in the Tiled editor, as far as kcs needs it: its size, its
// tilesets and its tile layers. The TMX and JSON readers fill it in; the
// rules that turn it into a map file live here, once for both formats.
#pragma once

#include "world/level/MapFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The tiles of a tileset with a meaning for kcs, by local id. Shared between
// the copies of a tileset a map names many times.
struct TiledTileFlags {
    std::set<int> solid;  // the "solid" property is true
    std::set<int> ladder; // the "ladder" property is true
};

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
    int margin = 0;     // px around the tiles in the picture
    int spacing = 0;    // px between them
    // The colour Tiled draws as transparent (0xRRGGBB), when the tileset names one.
    std::optional<uint32_t> transparentColour;
    std::shared_ptr<const TiledTileFlags> flags = std::make_shared<TiledTileFlags>();

    // The ids read are ints; a larger id has no property.
    bool isSolid(int64_t id) const {
        return id == static_cast<int>(id) && flags->solid.contains(static_cast<int>(id));
    }
    bool isLadder(int64_t id) const {
        return id == static_cast<int>(id) && flags->ladder.contains(static_cast<int>(id));
    }
};

struct TiledLayer {
    std::string name;
    int width = 0;              // tiles
    int height = 0;             // tiles
    bool visible = true;        // false when it or a group around it is hidden
    std::vector<uint32_t> gids; // row by row, flip bits still set
};

// An object of an object layer, as a level object: its kind file's name as
// the object gives it, and where Tiled draws its top-left corner.
struct TiledObject {
    std::string layer; // its object layer's name
    int64_t id = 0;    // Tiled's, unique in the map
    std::string name;
    // The string property "kind" when it has one, else its class (Tiled
    // 1.9 and later) or type (before): empty when it has none.
    std::string kind;
    double x = 0; // map px of the top-left corner; a tile object's y is
    double y = 0; // its bottom in the file, and is converted by the readers
};

// What fills the cells a map's size lacks to whole screens, at the right and
// the bottom: nothing (the map must be whole screens), empty cells, or a tile
// of the first tileset by its local id, as Tiled shows it.
struct TiledPad {
    enum class Kind { NONE, EMPTY, TILE };
    Kind kind = Kind::NONE;
    int64_t id = 0;
};

// A map whose tile layers are flattened: each different stack of tiles in a
// cell is one code, and image k of the tile sheet to write is the stack of
// code k + 1, global ids bottom to top with their flip bits (empty: a
// transparent image).
struct TiledFlatMap {
    MapFile map;
    std::vector<std::vector<uint32_t>> images;
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
    // The property that makes a tile the ladder when the layers are flattened.
    static constexpr const char* LADDER_PROPERTY = "ladder";
    // Tiled keeps flips and rotations in the top bits of a global tile id:
    // horizontal, vertical, diagonal, and a hexagonal turn no orthogonal map has.
    static constexpr uint32_t FLIP_BITS = 0xF0000000u;
    static constexpr uint32_t FLIP_HORIZONTAL = 0x80000000u;
    static constexpr uint32_t FLIP_VERTICAL = 0x40000000u;
    static constexpr uint32_t FLIP_DIAGONAL = 0x20000000u;
    // Far more than any kcs map needs, and low enough that nesting, decoding
    // and reading tilesets stay small whatever a file declares.
    static constexpr int MAX_GROUP_DEPTH = 64;
    static constexpr size_t MAX_TILE_LAYERS = 64;
    static constexpr size_t MAX_TILESETS = 64;
    // A level's objects: far more than a screenful each across the largest
    // map, and the most a level may list.
    static constexpr size_t MAX_OBJECTS = 256;
    // The property that names an object's kind file before its class.
    static constexpr const char* KIND_PROPERTY = "kind";
    // An object's place as the file gives it, px: beyond any map.
    static constexpr double MAX_COORDINATE = 1000000;
    // A name or value from the file, as a message quotes it (see excerpt).
    static std::string quoted(const std::string& text);
    // A colour as Tiled writes it, "RRGGBB" or "#RRGGBB", as 0xRRGGBB; none
    // when the text is not one.
    static std::optional<uint32_t> colour(const std::string& text);
    // An object as messages name it: its layer, id and name when it has one.
    static std::string objectPlace(const TiledObject& object);

    explicit TiledMap(std::string fileName) : m_fileName(std::move(fileName)) {}

    // Refuses, with one line naming the file, what no kcs map can be: not
    // orthogonal, infinite, tiles other than 16 x 16 px, a size larger than
    // a map file's even before padding. Readers call it before reading the
    // layers.
    void checkHeader() const;
    // The map file: codes from the tiles layer (code = id + 1 in the first
    // tileset), solidity from the solid layer or the tiles' property. Throws
    // DataError naming the file, and the layer, row and column where one
    // applies.
    MapFile toMapFile(const TiledPad& pad = {}) const;
    // The map file of every visible tile layer but "solid" drawn over each
    // other, with the images its codes stand for.
    TiledFlatMap flatten(const TiledPad& pad) const;
    // The tileset a global id (flip bits off) is a tile of, or null.
    const TiledTileset* tilesetOf(uint32_t gid) const;

    const std::string& fileName() const { return m_fileName; }

    std::string orientation;
    bool infinite = false;
    int width = 0;      // tiles
    int height = 0;     // tiles
    int tileWidth = 0;  // px
    int tileHeight = 0; // px
    std::vector<TiledTileset> tilesets;
    std::vector<TiledLayer> layers; // tile layers only, in file order, groups flattened
    // Whether the map has a visible object layer: one left empty still says
    // the level has no objects of its own.
    bool hasObjectLayer = false;
    // The objects of the visible object layers, in file order.
    std::vector<TiledObject> objects;

    // For the readers: one more object, refused past MAX_OBJECTS.
    void addObject(TiledObject object);

private:
    [[noreturn]] void fail(const std::string& message) const;
    int paddedWidth() const;           // tiles
    int paddedHeight() const;          // tiles
    bool isPadding(size_t cell) const; // a cell of the padded map
    void checkPad(const TiledPad& pad) const;
    const TiledTileset& firstTileset() const;
    void checkTileSize(const TiledTileset& tileset) const;
    const TiledTileset& tileSheet() const;
    const TiledLayer* findLayer(const std::string& name) const;
    const TiledLayer& tilesLayer() const;
    void checkLayerSize(const TiledLayer& layer) const;
    const TiledTileset& tilesetAt(const TiledLayer& layer, size_t index) const;
    std::vector<uint8_t> tileCodes(const TiledLayer& layer, const TiledTileset& sheet,
                                   const TiledPad& pad) const;
    void checkScreens(const TiledLayer& layer, const std::vector<uint8_t>& codes) const;

    std::string m_fileName;
};
