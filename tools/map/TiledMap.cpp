// Turning a Tiled map into a kcs map file: which layer and which tileset mean
// what, absent screens from empty cells, and every refusal with its place.
#include "TiledMap.h"

#include "engine/DataError.h"
#include "engine/Format.h"

#include <algorithm>

namespace {

constexpr int SCREEN_CELLS = MapFile::SCREEN_TILES_X * MapFile::SCREEN_TILES_Y;
// The largest tile code: codes stay below the code count N, one byte.
constexpr int MAX_TILE_COUNT = MapFile::MAX_CODE_COUNT - 1;

std::string quoted(const std::string& text) {
    return TiledMap::quoted(text);
}

std::string cellPlace(const TiledLayer& layer, int row, int column) {
    return format("layer %s, row %d, column %d: ", quoted(layer.name).c_str(), row, column);
}

} // namespace

std::string TiledMap::quoted(const std::string& text) {
    return joined("\"", excerpt(text), "\"");
}

void TiledMap::fail(const std::string& message) const {
    throw DataError(m_fileName, message);
}

void TiledMap::checkHeader() const {
    if (orientation != "orthogonal") {
        fail("the map's orientation is " + quoted(orientation) +
             "; kcs maps are \"orthogonal\" (Map > Map Properties > Orientation)");
    }
    if (infinite) {
        fail("the map is infinite; kcs maps have a fixed size (untick Infinite in the map's "
             "properties)");
    }
    if (tileWidth != MapFile::TILE_SIZE || tileHeight != MapFile::TILE_SIZE) {
        fail(format("the map's tiles are %d x %d px; kcs tiles are %d x %d px", tileWidth,
                    tileHeight, MapFile::TILE_SIZE, MapFile::TILE_SIZE));
    }
    if (width <= 0 || width % MapFile::SCREEN_TILES_X != 0) {
        fail(format("the map is %d tiles wide; the width must be a multiple of %d tiles (one "
                    "screen), %d to %d",
                    width, MapFile::SCREEN_TILES_X, MapFile::SCREEN_TILES_X,
                    MapFile::MAX_TILES_ACROSS));
    }
    if (width > MapFile::MAX_TILES_ACROSS) {
        fail(format("the map is %d tiles wide; a map file holds at most %d (%d screens)", width,
                    MapFile::MAX_TILES_ACROSS,
                    MapFile::MAX_TILES_ACROSS / MapFile::SCREEN_TILES_X));
    }
    if (height <= 0 || height % MapFile::SCREEN_TILES_Y != 0) {
        fail(format("the map is %d tiles high; the height must be a multiple of %d tiles (one "
                    "screen), %d to %d",
                    height, MapFile::SCREEN_TILES_Y, MapFile::SCREEN_TILES_Y,
                    MapFile::MAX_TILES_DOWN));
    }
    if (height > MapFile::MAX_TILES_DOWN) {
        fail(format("the map is %d tiles high; a map file holds at most %d (%d screens)", height,
                    MapFile::MAX_TILES_DOWN, MapFile::MAX_TILES_DOWN / MapFile::SCREEN_TILES_Y));
    }
}

// The tileset with the lowest firstgid is the level's tile sheet; others may
// exist for the solid layer's markers but never give the tiles layer a tile.
const TiledTileset& TiledMap::tileSheet() const {
    if (tilesets.empty()) {
        fail("the map has no tileset; add one made from the level's tile sheet");
    }
    const TiledTileset& sheet = *std::min_element(
        tilesets.begin(), tilesets.end(),
        [](const TiledTileset& a, const TiledTileset& b) { return a.firstGid < b.firstGid; });
    if (sheet.tileWidth != MapFile::TILE_SIZE || sheet.tileHeight != MapFile::TILE_SIZE) {
        throw DataError(sheet.fileName,
                        format("tileset %s has tiles of %d x %d px; kcs tiles are %d x %d px",
                               quoted(sheet.name).c_str(), sheet.tileWidth, sheet.tileHeight,
                               MapFile::TILE_SIZE, MapFile::TILE_SIZE));
    }
    if (sheet.tileCount < 1 || sheet.tileCount > MAX_TILE_COUNT) {
        throw DataError(sheet.fileName,
                        format("tileset %s has %lld tiles; a map file has room for 1 to %d",
                               quoted(sheet.name).c_str(), static_cast<long long>(sheet.tileCount),
                               MAX_TILE_COUNT));
    }
    return sheet;
}

const TiledLayer* TiledMap::findLayer(const std::string& name) const {
    const TiledLayer* pFound = nullptr;
    for (const TiledLayer& layer : layers) {
        if (layer.name != name) {
            continue;
        }
        if (pFound != nullptr) {
            fail("two tile layers are named " + quoted(name) + "; rename one");
        }
        pFound = &layer;
    }
    return pFound;
}

// The layer named "tiles", or else the one tile layer besides "solid".
const TiledLayer& TiledMap::tilesLayer() const {
    if (const TiledLayer* pNamed = findLayer(TILES_LAYER)) {
        return *pNamed;
    }
    // A few names are enough to find the layers in Tiled; all of them could
    // make a line of kilobytes.
    constexpr size_t NAMES_SHOWN = 4;
    std::vector<const TiledLayer*> candidates;
    std::string names;
    for (const TiledLayer& layer : layers) {
        if (layer.name != SOLID_LAYER) {
            candidates.push_back(&layer);
            if (candidates.size() <= NAMES_SHOWN) {
                names += (names.empty() ? "" : ", ") + quoted(layer.name);
            }
        }
    }
    if (candidates.empty()) {
        fail("missing layer: no tile layer holds the tiles; add one named \"tiles\"");
    }
    if (candidates.size() > NAMES_SHOWN) {
        names += " and " + std::to_string(candidates.size() - NAMES_SHOWN) + " more";
    }
    if (candidates.size() > 1) {
        fail("several tile layers (" + names +
             ") could hold the tiles; name the one that does \"tiles\"");
    }
    return *candidates.front();
}

std::vector<uint8_t> TiledMap::tileCodes(const TiledLayer& layer, const TiledTileset& sheet) const {
    uint32_t lastGid = sheet.firstGid + static_cast<uint32_t>(sheet.tileCount) - 1;
    std::vector<uint8_t> codes(layer.gids.size(), 0);
    for (size_t i = 0; i < layer.gids.size(); ++i) {
        uint32_t gid = layer.gids[i] & ~FLIP_BITS;
        if (gid == 0) {
            continue;
        }
        int row = static_cast<int>(i / static_cast<size_t>(width));
        int column = static_cast<int>(i % static_cast<size_t>(width));
        if (gid < sheet.firstGid) {
            fail(cellPlace(layer, row, column) +
                 format("tile gid %u is below the firstgid %u of tileset %s", gid, sheet.firstGid,
                        quoted(sheet.name).c_str()));
        }
        if (gid > lastGid) {
            for (const TiledTileset& other : tilesets) {
                if (&other != &sheet && gid >= other.firstGid &&
                    int64_t{gid - other.firstGid} < other.tileCount) {
                    fail(cellPlace(layer, row, column) +
                         format("tile gid %u is from tileset %s; the tiles must all come from "
                                "the first tileset, %s",
                                gid, quoted(other.name).c_str(), quoted(sheet.name).c_str()));
                }
            }
            fail(cellPlace(layer, row, column) +
                 format("tile gid %u is beyond the last tile of tileset %s (gids %u to %u)", gid,
                        quoted(sheet.name).c_str(), sheet.firstGid, lastGid));
        }
        codes[i] = static_cast<uint8_t>(gid - sheet.firstGid + 1);
    }
    return codes;
}

// A screen whose 16 x 15 cells are all empty is absent; one with some empty
// cells is a mistake the designer must see, at its first empty cell.
void TiledMap::checkScreens(const TiledLayer& layer, const std::vector<uint8_t>& codes) const {
    int screensAcross = width / MapFile::SCREEN_TILES_X;
    int screensDown = height / MapFile::SCREEN_TILES_Y;
    std::vector<int> filled(static_cast<size_t>(screensAcross * screensDown), 0);
    auto screenOf = [&](int row, int column) {
        return static_cast<size_t>(row / MapFile::SCREEN_TILES_Y) * screensAcross +
               column / MapFile::SCREEN_TILES_X;
    };
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            if (codes[static_cast<size_t>(row) * width + column] != 0) {
                ++filled[screenOf(row, column)];
            }
        }
    }
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            int count = filled[screenOf(row, column)];
            if (codes[static_cast<size_t>(row) * width + column] == 0 && count != 0) {
                fail(cellPlace(layer, row, column) +
                     format("empty cell in screen column %d, row %d, which has %d of %d tiles; "
                            "a screen is all empty (absent) or all filled",
                            column / MapFile::SCREEN_TILES_X, row / MapFile::SCREEN_TILES_Y, count,
                            SCREEN_CELLS));
            }
        }
    }
}

MapFile TiledMap::toMapFile() const {
    checkHeader();
    const TiledTileset& sheet = tileSheet();
    const TiledLayer& tiles = tilesLayer();
    const TiledLayer* pSolid = findLayer(SOLID_LAYER);
    for (const TiledLayer* pLayer : {&tiles, pSolid}) {
        if (pLayer != nullptr && (pLayer->width != width || pLayer->height != height)) {
            fail(format("layer %s is %d x %d tiles, the map %d x %d; resize the layer to the map",
                        quoted(pLayer->name).c_str(), pLayer->width, pLayer->height, width,
                        height));
        }
    }
    std::vector<uint8_t> codes = tileCodes(tiles, sheet);
    checkScreens(tiles, codes);

    MapFile map(width, height, static_cast<int>(sheet.tileCount) + 1);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            size_t cell = static_cast<size_t>(row) * width + column;
            bool solid = false;
            if (pSolid != nullptr) {
                // The layer alone decides, so one tile can be a wall in one
                // place and scenery in another.
                solid = (pSolid->gids[cell] & ~FLIP_BITS) != 0;
                if (solid && codes[cell] == 0) {
                    fail(cellPlace(*pSolid, row, column) +
                         "a solid mark in an absent screen (the tiles layer is empty there)");
                }
            } else if (codes[cell] != 0) {
                solid = sheet.solidIds.contains(codes[cell] - 1);
            }
            // setTile makes the screen present; screens with no tile stay absent.
            if (codes[cell] != 0) {
                map.setTile(column, row, codes[cell], solid);
            }
        }
    }
    return map;
}
