// Turning a Tiled map into a kcs map file: which layer and which tileset mean
// what, absent screens from empty cells, and every refusal with its place.
#include "TiledMap.h"

#include "engine/DataError.h"
#include "engine/Format.h"

#include "world/level/Map.h"

#include <algorithm>
#include <map>

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

std::optional<uint32_t> TiledMap::colour(const std::string& text) {
    constexpr size_t DIGITS = 6;
    std::string digits = text.starts_with('#') ? text.substr(1) : text;
    if (digits.size() != DIGITS ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
}

std::string TiledMap::objectPlace(const TiledObject& object) {
    return joined("layer ", quoted(object.layer), ", object ", std::to_string(object.id),
                  object.name.empty() ? "" : " " + quoted(object.name));
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
    if (width <= 0 || paddedWidth() > MapFile::MAX_TILES_ACROSS) {
        fail(format("the map is %d tiles wide; a map file holds 1 to %d (%d screens); resize "
                    "it in Tiled (Map > Resize Map)",
                    width, MapFile::MAX_TILES_ACROSS,
                    MapFile::MAX_TILES_ACROSS / MapFile::SCREEN_TILES_X));
    }
    if (height <= 0 || paddedHeight() > MapFile::MAX_TILES_DOWN) {
        fail(format("the map is %d tiles high; a map file holds 1 to %d (%d screens); resize "
                    "it in Tiled (Map > Resize Map)",
                    height, MapFile::MAX_TILES_DOWN,
                    MapFile::MAX_TILES_DOWN / MapFile::SCREEN_TILES_Y));
    }
}

int TiledMap::paddedWidth() const {
    return (width + MapFile::SCREEN_TILES_X - 1) / MapFile::SCREEN_TILES_X *
           MapFile::SCREEN_TILES_X;
}

int TiledMap::paddedHeight() const {
    return (height + MapFile::SCREEN_TILES_Y - 1) / MapFile::SCREEN_TILES_Y *
           MapFile::SCREEN_TILES_Y;
}

bool TiledMap::isPadding(size_t cell) const {
    size_t across = static_cast<size_t>(paddedWidth());
    return cell % across >= static_cast<size_t>(width) ||
           cell / across >= static_cast<size_t>(height);
}

// A size that is not whole screens needs padding; the refusal gives both
// sizes that would fit, so the designer can pick one.
void TiledMap::checkPad(const TiledPad& pad) const {
    struct Side {
        int size;
        int padded;
        const char* pAdjective;
        int screen;
    };
    for (const Side& side : {Side{width, paddedWidth(), "wide", MapFile::SCREEN_TILES_X},
                             Side{height, paddedHeight(), "high", MapFile::SCREEN_TILES_Y}}) {
        if (side.size == side.padded || pad.kind != TiledPad::Kind::NONE) {
            continue;
        }
        int cropped = side.padded - side.screen;
        fail(format("the map is %d tiles %s, not whole screens of %d; pad it to %d with --pad "
                    "TILE or --pad empty",
                    side.size, side.pAdjective, side.screen, side.padded) +
             (cropped > 0 ? format(", or crop it to %d in Tiled (Map > Resize Map)", cropped)
                          : std::string()));
    }
    if (pad.kind == TiledPad::Kind::TILE) {
        const TiledTileset& first = firstTileset();
        // A gid past FLIP_BITS would read as a flipped tile.
        if (pad.id < 0 || pad.id >= first.tileCount || first.firstGid + pad.id > ~FLIP_BITS) {
            fail(format("--pad %lld is not a tile of the first tileset, %s, whose ids are 0 to "
                        "%lld",
                        static_cast<long long>(pad.id), quoted(first.name).c_str(),
                        static_cast<long long>(first.tileCount - 1)));
        }
    }
}

const TiledTileset& TiledMap::firstTileset() const {
    if (tilesets.empty()) {
        fail("the map has no tileset; add one made from the level's tile sheet");
    }
    return *std::min_element(
        tilesets.begin(), tilesets.end(),
        [](const TiledTileset& a, const TiledTileset& b) { return a.firstGid < b.firstGid; });
}

void TiledMap::checkTileSize(const TiledTileset& tileset) const {
    if (tileset.tileWidth != MapFile::TILE_SIZE || tileset.tileHeight != MapFile::TILE_SIZE) {
        throw DataError(tileset.fileName,
                        format("tileset %s has tiles of %d x %d px; kcs tiles are %d x %d px",
                               quoted(tileset.name).c_str(), tileset.tileWidth, tileset.tileHeight,
                               MapFile::TILE_SIZE, MapFile::TILE_SIZE));
    }
}

// The tileset with the lowest firstgid is the level's tile sheet; others may
// exist for the solid layer's markers but never give the tiles layer a tile.
const TiledTileset& TiledMap::tileSheet() const {
    const TiledTileset& sheet = firstTileset();
    checkTileSize(sheet);
    if (sheet.tileCount < 1 || sheet.tileCount > MAX_TILE_COUNT) {
        throw DataError(sheet.fileName,
                        format("tileset %s has %lld tiles; a map file has room for 1 to %d; "
                               "import with --tiles SHEET.bmp to keep only the tiles the map uses",
                               quoted(sheet.name).c_str(), static_cast<long long>(sheet.tileCount),
                               MAX_TILE_COUNT));
    }
    for (int id : sheet.flags->ladder) {
        if (id != Map::LADDER_TILE) {
            throw DataError(sheet.fileName,
                            format("tileset %s makes tile %d a ladder, but the ladder is tile %d "
                                   "(code %d); import with --tiles SHEET.bmp to take any tile",
                                   quoted(sheet.name).c_str(), id, Map::LADDER_TILE,
                                   Map::LADDER_TILE + 1));
        }
    }
    return sheet;
}

const TiledTileset* TiledMap::tilesetOf(uint32_t gid) const {
    const TiledTileset* pFound = nullptr;
    for (const TiledTileset& tileset : tilesets) {
        if (tileset.firstGid <= gid && (pFound == nullptr || tileset.firstGid > pFound->firstGid)) {
            pFound = &tileset;
        }
    }
    return pFound;
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
             ") could hold the tiles; name the one that does \"tiles\", or import with --tiles "
             "SHEET.bmp to draw them all over each other");
    }
    return *candidates.front();
}

void TiledMap::checkLayerSize(const TiledLayer& layer) const {
    if (layer.width != width || layer.height != height) {
        fail(format("layer %s is %d x %d tiles, the map %d x %d; resize the layer to the map",
                    quoted(layer.name).c_str(), layer.width, layer.height, width, height));
    }
}

// The tileset of a cell's tile (flip bits off), refused when no tileset has it.
const TiledTileset& TiledMap::tilesetAt(const TiledLayer& layer, size_t index) const {
    uint32_t gid = layer.gids[index] & ~FLIP_BITS;
    int row = static_cast<int>(index / static_cast<size_t>(width));
    int column = static_cast<int>(index % static_cast<size_t>(width));
    const TiledTileset* pTileset = tilesetOf(gid);
    if (pTileset == nullptr) {
        fail(cellPlace(layer, row, column) +
             format("tile gid %u is below the firstgid %u of every tileset", gid,
                    firstTileset().firstGid));
    }
    if (int64_t{gid - pTileset->firstGid} >= pTileset->tileCount) {
        fail(cellPlace(layer, row, column) +
             format("tile gid %u is beyond the last tile of tileset %s (gids %u to %lld)", gid,
                    quoted(pTileset->name).c_str(), pTileset->firstGid,
                    static_cast<long long>(pTileset->firstGid + pTileset->tileCount - 1)));
    }
    checkTileSize(*pTileset);
    return *pTileset;
}

// The codes of the padded map, row by row.
std::vector<uint8_t> TiledMap::tileCodes(const TiledLayer& layer, const TiledTileset& sheet,
                                         const TiledPad& pad) const {
    uint32_t lastGid = sheet.firstGid + static_cast<uint32_t>(sheet.tileCount) - 1;
    std::vector<uint8_t> codes(static_cast<size_t>(paddedWidth()) * paddedHeight(), 0);
    for (size_t cell = 0; cell < codes.size(); ++cell) {
        if (isPadding(cell)) {
            if (pad.kind == TiledPad::Kind::TILE) {
                codes[cell] = static_cast<uint8_t>(pad.id + 1);
            }
            continue;
        }
        int row = static_cast<int>(cell / static_cast<size_t>(paddedWidth()));
        int column = static_cast<int>(cell % static_cast<size_t>(paddedWidth()));
        uint32_t gid = layer.gids[static_cast<size_t>(row) * width + column] & ~FLIP_BITS;
        if (gid == 0) {
            continue;
        }
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
                                "the first tileset, %s, or import with --tiles SHEET.bmp",
                                gid, quoted(other.name).c_str(), quoted(sheet.name).c_str()));
                }
            }
            fail(cellPlace(layer, row, column) +
                 format("tile gid %u is beyond the last tile of tileset %s (gids %u to %u)", gid,
                        quoted(sheet.name).c_str(), sheet.firstGid, lastGid));
        }
        codes[cell] = static_cast<uint8_t>(gid - sheet.firstGid + 1);
    }
    return codes;
}

// A screen whose 16 x 15 cells are all empty is absent; one with some empty
// cells is a mistake the designer must see, at its first empty cell.
void TiledMap::checkScreens(const TiledLayer& layer, const std::vector<uint8_t>& codes) const {
    int across = paddedWidth();
    int down = paddedHeight();
    int screensAcross = across / MapFile::SCREEN_TILES_X;
    std::vector<int> filled(static_cast<size_t>(screensAcross * (down / MapFile::SCREEN_TILES_Y)),
                            0);
    auto screenOf = [&](int row, int column) {
        return static_cast<size_t>(row / MapFile::SCREEN_TILES_Y) * screensAcross +
               column / MapFile::SCREEN_TILES_X;
    };
    for (int row = 0; row < down; ++row) {
        for (int column = 0; column < across; ++column) {
            if (codes[static_cast<size_t>(row) * across + column] != 0) {
                ++filled[screenOf(row, column)];
            }
        }
    }
    for (int row = 0; row < down; ++row) {
        for (int column = 0; column < across; ++column) {
            size_t cell = static_cast<size_t>(row) * across + column;
            int count = filled[screenOf(row, column)];
            if (codes[cell] != 0 || count == 0) {
                continue;
            }
            std::string screen =
                format("screen column %d, row %d", column / MapFile::SCREEN_TILES_X,
                       row / MapFile::SCREEN_TILES_Y);
            if (isPadding(cell)) {
                fail("--pad empty leaves " + screen +
                     " partly empty; pad with a tile (--pad TILE), or clear the screen's cells "
                     "in Tiled to make it absent");
            }
            fail(cellPlace(layer, row, column) +
                 format("empty cell in %s, which has %d of %d tiles; a screen is all empty "
                        "(absent) or all filled",
                        screen.c_str(), count, SCREEN_CELLS));
        }
    }
}

MapFile TiledMap::toMapFile(const TiledPad& pad) const {
    checkHeader();
    checkPad(pad);
    const TiledTileset& sheet = tileSheet();
    const TiledLayer& tiles = tilesLayer();
    const TiledLayer* pSolid = findLayer(SOLID_LAYER);
    for (const TiledLayer* pLayer : {&tiles, pSolid}) {
        if (pLayer != nullptr) {
            checkLayerSize(*pLayer);
        }
    }
    std::vector<uint8_t> codes = tileCodes(tiles, sheet, pad);
    checkScreens(tiles, codes);

    int across = paddedWidth();
    MapFile map(across, paddedHeight(), static_cast<int>(sheet.tileCount) + 1);
    for (size_t cell = 0; cell < codes.size(); ++cell) {
        int row = static_cast<int>(cell / static_cast<size_t>(across));
        int column = static_cast<int>(cell % static_cast<size_t>(across));
        bool solid = false;
        if (isPadding(cell)) {
            // The solid layer ends with the map: padding is as its tile is.
            solid = codes[cell] != 0 && sheet.isSolid(codes[cell] - 1);
        } else if (pSolid != nullptr) {
            // The layer alone decides, so one tile can be a wall in one
            // place and scenery in another.
            solid = (pSolid->gids[static_cast<size_t>(row) * width + column] & ~FLIP_BITS) != 0;
            if (solid && codes[cell] == 0) {
                fail(cellPlace(*pSolid, row, column) +
                     "a solid mark in an absent screen (the tiles layer is empty there)");
            }
        } else if (codes[cell] != 0) {
            solid = sheet.isSolid(codes[cell] - 1);
        }
        // setTile makes the screen present; screens with no tile stay absent.
        if (codes[cell] != 0) {
            map.setTile(column, row, codes[cell], solid);
        }
    }
    return map;
}

TiledFlatMap TiledMap::flatten(const TiledPad& pad) const {
    checkHeader();
    checkPad(pad);
    const TiledLayer* pSolid = findLayer(SOLID_LAYER);
    std::vector<const TiledLayer*> drawn;
    for (const TiledLayer& layer : layers) {
        if (layer.visible || &layer == pSolid) {
            checkLayerSize(layer);
        }
        if (layer.visible && &layer != pSolid) {
            drawn.push_back(&layer);
        }
    }
    if (drawn.empty()) {
        fail("missing layer: no visible tile layer besides \"solid\" has the tiles; add one, or "
             "show a hidden one");
    }
    const TiledTileset& first = firstTileset();
    int across = paddedWidth();
    int down = paddedHeight();
    int screensAcross = across / MapFile::SCREEN_TILES_X;
    auto screenOf = [&](size_t cell) {
        return static_cast<int>(cell / static_cast<size_t>(across)) / MapFile::SCREEN_TILES_Y *
                   screensAcross +
               static_cast<int>(cell % static_cast<size_t>(across)) / MapFile::SCREEN_TILES_X;
    };
    auto innerOf = [&](size_t cell) {
        return cell / static_cast<size_t>(across) * static_cast<size_t>(width) +
               cell % static_cast<size_t>(across);
    };

    // Each cell's tiles, bottom to top; the flips drawn, the hexagonal turn not.
    constexpr uint32_t DRAWN_FLIPS = FLIP_HORIZONTAL | FLIP_VERTICAL | FLIP_DIAGONAL;
    std::vector<std::vector<uint32_t>> stacks(static_cast<size_t>(across) * down);
    std::vector<bool> present(static_cast<size_t>(screensAcross * (down / MapFile::SCREEN_TILES_Y)),
                              false);
    for (size_t cell = 0; cell < stacks.size(); ++cell) {
        if (isPadding(cell)) {
            if (pad.kind == TiledPad::Kind::TILE) {
                stacks[cell].push_back(first.firstGid + static_cast<uint32_t>(pad.id));
            }
        } else {
            size_t inner = innerOf(cell);
            for (const TiledLayer* pLayer : drawn) {
                uint32_t raw = pLayer->gids[inner];
                if ((raw & ~FLIP_BITS) != 0) {
                    tilesetAt(*pLayer, inner);
                    stacks[cell].push_back(raw & (DRAWN_FLIPS | ~FLIP_BITS));
                }
            }
        }
        if (!stacks[cell].empty()) {
            present[static_cast<size_t>(screenOf(cell))] = true;
        }
    }
    // A sheet of no image is no bitmap the game loads.
    if (std::find(present.begin(), present.end(), true) == present.end()) {
        fail("no visible tile layer has a tile, so every screen would be absent; draw at least "
             "one screen");
    }
    auto has = [this](const std::vector<uint32_t>& stack,
                      bool (TiledTileset::*pIs)(int64_t) const) {
        return std::any_of(stack.begin(), stack.end(), [&](uint32_t tile) {
            uint32_t gid = tile & ~FLIP_BITS;
            const TiledTileset* pTileset = tilesetOf(gid);
            return (pTileset->*pIs)(gid - pTileset->firstGid);
        });
    };

    // The ladder is one code, so every ladder cell must be drawn alike.
    const std::vector<uint32_t>* pLadder = nullptr;
    size_t ladderCell = 0;
    std::map<std::vector<uint32_t>, uint8_t> codeOf;
    for (size_t cell = 0; cell < stacks.size(); ++cell) {
        if (!present[static_cast<size_t>(screenOf(cell))]) {
            continue;
        }
        if (!has(stacks[cell], &TiledTileset::isLadder)) {
            codeOf.emplace(stacks[cell], 0);
        } else if (pLadder == nullptr) {
            pLadder = &stacks[cell];
            ladderCell = cell;
        } else if (*pLadder != stacks[cell]) {
            fail(format("row %d, column %d: a ladder drawn with other tiles than the one at row "
                        "%d, column %d; kcs has one ladder tile (code %d): draw every ladder cell "
                        "with the same tiles under and over it",
                        static_cast<int>(cell / static_cast<size_t>(across)),
                        static_cast<int>(cell % static_cast<size_t>(across)),
                        static_cast<int>(ladderCell / static_cast<size_t>(across)),
                        static_cast<int>(ladderCell % static_cast<size_t>(across)),
                        Map::LADDER_TILE + 1));
        }
    }
    // Codes in the order of the stacks (a single layer's follow its tileset),
    // with code 5 kept for the ladder, a transparent image when there is none.
    std::vector<std::vector<uint32_t>> images;
    for (auto& [stack, code] : codeOf) {
        if (images.size() == static_cast<size_t>(Map::LADDER_TILE)) {
            images.push_back(pLadder != nullptr ? *pLadder : std::vector<uint32_t>());
        }
        images.push_back(stack);
        code = static_cast<uint8_t>(images.size()); // refused below past a byte
    }
    if (pLadder != nullptr && images.size() <= static_cast<size_t>(Map::LADDER_TILE)) {
        images.resize(static_cast<size_t>(Map::LADDER_TILE));
        images.push_back(*pLadder);
    }
    if (images.size() > static_cast<size_t>(MAX_TILE_COUNT)) {
        fail(format("the layers make %zu different tiles (each different stack of tiles in a "
                    "cell, flips too); a map file has room for %d with code %d kept for the "
                    "ladder; use fewer different tiles or combinations in Tiled",
                    codeOf.size() + (pLadder != nullptr ? 1 : 0),
                    MAX_TILE_COUNT - (pLadder != nullptr ? 0 : 1), Map::LADDER_TILE + 1));
    }

    MapFile map(across, down, static_cast<int>(images.size()) + 1);
    for (size_t cell = 0; cell < stacks.size(); ++cell) {
        int row = static_cast<int>(cell / static_cast<size_t>(across));
        int column = static_cast<int>(cell % static_cast<size_t>(across));
        bool marked = !isPadding(cell) && pSolid != nullptr &&
                      (pSolid->gids[innerOf(cell)] & ~FLIP_BITS) != 0;
        if (!present[static_cast<size_t>(screenOf(cell))]) {
            if (marked) {
                fail(cellPlace(*pSolid, row, column) +
                     "a solid mark in an absent screen (no other layer has a tile in it)");
            }
            continue;
        }
        bool ladder = pLadder != nullptr && stacks[cell] == *pLadder;
        uint8_t code = ladder ? static_cast<uint8_t>(Map::LADDER_TILE + 1) : codeOf[stacks[cell]];
        // The solid layer decides where it lies; padding and maps without it
        // are solid where a tile of the stack is.
        bool solid = !isPadding(cell) && pSolid != nullptr
                         ? marked
                         : has(stacks[cell], &TiledTileset::isSolid);
        map.setTile(column, row, code, solid);
    }
    return TiledFlatMap{std::move(map), std::move(images)};
}

void TiledMap::addObject(TiledObject object) {
    if (objects.size() == MAX_OBJECTS) {
        fail(format("the object layers hold more than %zu objects; a level takes at most %zu, so "
                    "split it into two levels",
                    MAX_OBJECTS, MAX_OBJECTS));
    }
    objects.push_back(std::move(object));
}
