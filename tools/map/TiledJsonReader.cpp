// The JSON reader: the map object's members, its "tilesets" (embedded or
// external) and its "tilelayer"s, also inside "group"s.
#include "TiledJsonReader.h"

#include "TiledLayerData.h"
#include "engine/DataError.h"

#include <nlohmann/json.hpp>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

using nlohmann::json;

namespace {

constexpr long long MAX_SMALL = 1000000; // beyond any size, count or id a map can use
// Containers nested in one another: enough for groups as deep as TiledMap
// allows (an object and its "layers" array each) with a layer's properties
// inside the deepest. Deeper JSON is refused while it is parsed, before
// anything that walks a value recursively (copying, printing) meets it.
constexpr int MAX_DEPTH = 2 * TiledMap::MAX_GROUP_DEPTH + 32;

// nlohmann's message without its "[json.exception.type.NNN] " tag, and with
// the token it quotes cut short: that token can be a whole string of the file.
std::string describe(const json::exception& error) {
    std::string message = error.what();
    size_t tagEnd = message.find("] ");
    if (message.starts_with("[json.exception.") && tagEnd != std::string::npos) {
        message.erase(0, tagEnd + 2);
    }
    for (const char* pMarker : {"last read: '", "parsing '"}) {
        size_t start = message.find(pMarker);
        if (start == std::string::npos) {
            continue;
        }
        start += std::strlen(pMarker);
        size_t end = message.size() - (message.ends_with('\'') ? 1 : 0);
        if (end < start) {
            break;
        }
        return message.substr(0, start) + excerpt(message.substr(start, end - start)) + "'";
    }
    return message;
}

json parse(const std::string& fileName, const std::string& text) {
    auto limitDepth = [&fileName](int depth, json::parse_event_t event, json&) {
        bool opens =
            event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
        if (opens && depth >= MAX_DEPTH) {
            throw DataError(fileName, "the JSON is nested more than " + std::to_string(MAX_DEPTH) +
                                          " levels deep; a Tiled map needs far fewer");
        }
        return true;
    };
    try {
        return json::parse(text, limitDepth);
    } catch (const json::parse_error& error) {
        // "parse error at line L, column C: reason" becomes the byte, then the
        // line and column a text editor shows.
        std::string message = describe(error);
        const std::string lead = "parse error at ";
        size_t colon = message.find(": ");
        std::string where;
        if (message.starts_with(lead) && colon != std::string::npos) {
            where = " (" + message.substr(lead.size(), colon - lead.size()) + ")";
            message.erase(0, colon + 2);
        }
        throw DataError(fileName, "not readable JSON at byte " + std::to_string(error.byte) +
                                      where + ": " + message);
    } catch (const json::exception& error) {
        throw DataError(fileName, "not readable JSON: " + describe(error));
    }
}

// A value as a message shows it: a short scalar as written, a container by
// its kind.
std::string shown(const json& value) {
    if (value.is_object()) {
        return "an object";
    }
    if (value.is_array()) {
        return "an array";
    }
    std::string written = value.dump(-1, ' ', false, json::error_handler_t::replace);
    if (value.is_string()) {
        return TiledMap::quoted(written.substr(1, written.size() - 2));
    }
    return excerpt(written);
}

// The JSON reader of one file: its name goes into every message.
class Reader {
public:
    explicit Reader(const std::string& fileName) : m_fileName(fileName) {}

    [[noreturn]] void fail(const std::string& message) const {
        throw DataError(m_fileName, message);
    }

    const json& member(const json& object, const std::string& context, const char* pKey) const {
        if (!object.is_object() || !object.contains(pKey)) {
            fail(context + " has no \"" + pKey + "\"");
        }
        return object.at(pKey);
    }

    long long integer(const json& object, const std::string& context, const char* pKey,
                      bool required, long long fallback = 0) const {
        if (!required && (!object.is_object() || !object.contains(pKey))) {
            return fallback;
        }
        const json& value = member(object, context, pKey);
        if (!value.is_number_integer()) {
            fail(context + " \"" + pKey + "\" is " + shown(value) + ", not a whole number");
        }
        // Beyond a long long it would wrap around to a small or negative one.
        if (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t{LLONG_MAX}) {
            fail(context + " \"" + pKey + "\" is " + shown(value) + ", far out of range");
        }
        return value.get<long long>();
    }

    int smallInteger(const json& object, const std::string& context, const char* pKey,
                     bool required, int fallback = 0) const {
        long long value = integer(object, context, pKey, required, fallback);
        if (value < -MAX_SMALL || value > MAX_SMALL) {
            fail(context + " \"" + pKey + "\" is " + std::to_string(value) + ", far out of range");
        }
        return static_cast<int>(value);
    }

    std::string text(const json& object, const std::string& context, const char* pKey) const {
        if (!object.is_object() || !object.contains(pKey)) {
            return "";
        }
        const json& value = object.at(pKey);
        if (!value.is_string()) {
            fail(context + " \"" + pKey + "\" is " + shown(value) + ", not a string");
        }
        return value.get<std::string>();
    }

    TiledTileset tileset(const json& object, uint32_t firstGid) const {
        TiledTileset tileset;
        tileset.fileName = m_fileName;
        tileset.firstGid = firstGid;
        tileset.name = text(object, "the tileset", "name");
        tileset.image = text(object, "the tileset", "image");
        std::string context = "tileset " + TiledMap::quoted(tileset.name);
        tileset.tileWidth = smallInteger(object, context, "tilewidth", true);
        tileset.tileHeight = smallInteger(object, context, "tileheight", true);
        tileset.tileCount = smallInteger(object, context, "tilecount", true);
        tileset.margin = smallInteger(object, context, "margin", false);
        tileset.spacing = smallInteger(object, context, "spacing", false);
        if (tileset.margin < 0 || tileset.spacing < 0) {
            fail(context + " has a negative margin or spacing");
        }
        if (object.contains("transparentcolor")) {
            std::string trans = text(object, context, "transparentcolor");
            tileset.transparentColour = TiledMap::colour(trans);
            if (!tileset.transparentColour) {
                fail(context + ": the transparent colour " + TiledMap::quoted(trans) +
                     " is not of the form #RRGGBB");
            }
        }
        if (!object.contains("tiles")) {
            return tileset;
        }
        const json& tiles = object.at("tiles");
        if (!tiles.is_array()) {
            fail(context + " \"tiles\" is not an array");
        }
        auto flags = std::make_shared<TiledTileFlags>();
        for (const json& tile : tiles) {
            int id = smallInteger(tile, context + " tile", "id", true);
            std::string tileContext = context + ", tile " + std::to_string(id);
            if (!tile.contains("properties")) {
                continue;
            }
            const json& properties = tile.at("properties");
            if (!properties.is_array()) {
                fail(tileContext + ": \"properties\" is not an array");
            }
            for (const json& property : properties) {
                std::string name = text(property, tileContext + " property", "name");
                std::set<int>* pIds = name == TiledMap::SOLID_PROPERTY    ? &flags->solid
                                      : name == TiledMap::LADDER_PROPERTY ? &flags->ladder
                                                                          : nullptr;
                if (pIds == nullptr) {
                    continue;
                }
                std::string type = text(property, tileContext + " property", "type");
                const json& value = member(property, tileContext + " property", "value");
                if (type != "bool" || !value.is_boolean()) {
                    fail(tileContext + ": property " + TiledMap::quoted(name) + " is of type " +
                         TiledMap::quoted(type.empty() ? "string" : type) + "; make it a bool");
                }
                if (value.get<bool>()) {
                    pIds->insert(id);
                }
            }
        }
        tileset.flags = std::move(flags);
        return tileset;
    }

    // The layer's cells; its size is checked against the largest map before
    // any data is decoded.
    std::vector<uint32_t> layerData(const json& layer, const std::string& context, int width,
                                    int height) const {
        const json& data = member(layer, context, "data");
        try {
            size_t cellCount = TiledLayerData::cellCount(width, height);
            if (data.is_array()) {
                std::vector<uint32_t> gids;
                for (const json& cell : data) {
                    if (!cell.is_number_unsigned() || cell.get<uint64_t>() > 0xFFFFFFFFull) {
                        throw TiledDataError("cell " + std::to_string(gids.size()) + " is " +
                                             shown(cell) + ", not a 32-bit tile id");
                    }
                    gids.push_back(static_cast<uint32_t>(cell.get<uint64_t>()));
                    TiledLayerData::checkRoom(gids.size(), cellCount);
                }
                TiledLayerData::checkCount(gids.size(), cellCount);
                return gids;
            }
            if (!data.is_string()) {
                throw TiledDataError("\"data\" is neither an array nor a string");
            }
            std::string encoding = text(layer, context, "encoding");
            if (encoding != "base64") {
                throw TiledDataError("\"data\" is a string, but the encoding is " +
                                     TiledMap::quoted(encoding) + ", not \"base64\"");
            }
            return TiledLayerData::fromBase64(data.get<std::string>(),
                                              text(layer, context, "compression"), cellCount);
        } catch (const TiledDataError& error) {
            fail(context + ": " + error.what());
        }
    }

    TiledLayer layer(const json& node, bool groupsVisible) const {
        TiledLayer layer;
        layer.name = text(node, "a layer", "name");
        std::string context = "layer " + TiledMap::quoted(layer.name);
        layer.visible = groupsVisible && visible(node, context);
        if (node.contains("chunks")) {
            fail(context + " is stored in chunks, as in an infinite map");
        }
        layer.width = smallInteger(node, context, "width", true);
        layer.height = smallInteger(node, context, "height", true);
        layer.gids = layerData(node, context, layer.width, layer.height);
        return layer;
    }

    bool visible(const json& node, const std::string& context) const {
        if (!node.contains("visible")) {
            return true;
        }
        const json& value = node.at("visible");
        if (!value.is_boolean()) {
            fail(context + " \"visible\" is " + shown(value) + ", not true or false");
        }
        return value.get<bool>();
    }

    const json& layerList(const json& parent, const std::string& context) const {
        const json& list = member(parent, context, "layers");
        if (!list.is_array()) {
            fail(context + ": \"layers\" is not an array");
        }
        return list;
    }

    // The tile layers in file order, those in groups too. Groups are walked
    // with a stack of where each open one goes on, not by recursion, so no
    // nesting in a file can overflow the program's stack.
    void layers(const json& root, TiledMap& map) const {
        // Each open list of layers (the map's, then each group's), the
        // index of its next layer, and whether the groups around it are shown.
        std::vector<std::tuple<const json*, size_t, bool>> next{
            {&layerList(root, "the map"), 0, true}};
        while (!next.empty()) {
            auto& [pList, index, shownHere] = next.back();
            if (index == pList->size()) {
                next.pop_back();
                continue;
            }
            const json& node = (*pList)[index++];
            std::string kind = text(node, "a layer", "type");
            if (kind == "group") {
                std::string context = "group " + TiledMap::quoted(text(node, "a group", "name"));
                if (next.size() > static_cast<size_t>(TiledMap::MAX_GROUP_DEPTH)) {
                    fail(context + " is nested more than " +
                         std::to_string(TiledMap::MAX_GROUP_DEPTH) + " groups deep");
                }
                bool groupShown = shownHere && visible(node, context);
                next.emplace_back(&layerList(node, context), 0, groupShown);
                continue;
            }
            if (kind == "objectgroup") {
                objectLayer(node, shownHere, map);
                continue;
            }
            if (kind != "tilelayer") {
                continue;
            }
            if (map.layers.size() == TiledMap::MAX_TILE_LAYERS) {
                fail("the map has more than " + std::to_string(TiledMap::MAX_TILE_LAYERS) +
                     " tile layers; merge some in Tiled (Layer > Merge Layer Down)");
            }
            map.layers.push_back(layer(node, shownHere));
        }
    }

    // A coordinate of an object, which Tiled writes with a fraction when it
    // is placed off the grid.
    double coordinate(const json& object, const std::string& context, const char* pKey) const {
        if (!object.contains(pKey)) {
            return 0;
        }
        const json& value = object.at(pKey);
        if (!value.is_number() || !(std::abs(value.get<double>()) <= TiledMap::MAX_COORDINATE)) {
            fail(context + " \"" + pKey + "\" is " + shown(value) + ", not a number of px");
        }
        return value.get<double>();
    }

    // The objects of a visible "objectgroup", their kinds as they give them.
    void objectLayer(const json& node, bool groupsVisible, TiledMap& map) const {
        std::string layerName = text(node, "a layer", "name");
        std::string context = "layer " + TiledMap::quoted(layerName);
        if (!(groupsVisible && visible(node, context))) {
            return;
        }
        map.hasObjectLayer = true;
        const json& list = member(node, context, "objects");
        if (!list.is_array()) {
            fail(context + ": \"objects\" is not an array");
        }
        for (const json& item : list) {
            TiledObject object;
            object.layer = layerName;
            object.id = integer(item, context + " object", "id", false);
            object.name = text(item, context + " object", "name");
            std::string place = TiledMap::objectPlace(object);
            object.kind = text(item, place, "class");
            if (object.kind.empty()) {
                object.kind = text(item, place, "type");
            }
            if (item.contains("properties")) {
                const json& properties = item.at("properties");
                if (!properties.is_array()) {
                    fail(place + ": \"properties\" is not an array");
                }
                for (const json& property : properties) {
                    if (text(property, place + " property", "name") == TiledMap::KIND_PROPERTY) {
                        object.kind = text(property, place + " property", "value");
                    }
                }
            }
            object.x = coordinate(item, place, "x");
            object.y = coordinate(item, place, "y");
            // A tile object stands on its y; its height is the tile's unless
            // it was scaled.
            if (item.contains("gid")) {
                object.y -=
                    item.contains("height") ? coordinate(item, place, "height") : map.tileHeight;
            }
            map.addObject(std::move(object));
        }
    }

private:
    std::string m_fileName;
};

// Anything nlohmann throws while the reader looks at the values (a member of
// an unexpected type it was not asked about first) still names the file.
template <typename Read> auto guarded(const std::string& fileName, Read read) {
    try {
        return read();
    } catch (const json::exception& error) {
        throw DataError(fileName, "unexpected JSON: " + describe(error));
    }
}

} // namespace

TiledTileset TiledJsonReader::readTileset(const std::string& fileName, const std::string& text,
                                          uint32_t firstGid) {
    json root = parse(fileName, text);
    if (!root.is_object()) {
        throw DataError(fileName, "not a Tiled tileset: the file is not a JSON object");
    }
    return guarded(fileName, [&] { return Reader(fileName).tileset(root, firstGid); });
}

TiledMap TiledJsonReader::read(const std::string& fileName, const std::string& text,
                               const TiledTilesetReader& readTileset) {
    json root = parse(fileName, text);
    Reader reader(fileName);
    if (!root.is_object() || reader.text(root, "the map", "type") != "map") {
        reader.fail("not a Tiled map: the JSON has no \"type\": \"map\"");
    }
    return guarded(fileName, [&] {
        TiledMap map(fileName);
        map.orientation = reader.text(root, "the map", "orientation");
        if (root.contains("infinite")) {
            const json& infinite = root.at("infinite");
            if (!infinite.is_boolean()) {
                reader.fail("the map's \"infinite\" is " + shown(infinite) + ", not true or false");
            }
            map.infinite = infinite.get<bool>();
        }
        map.width = reader.smallInteger(root, "the map", "width", true);
        map.height = reader.smallInteger(root, "the map", "height", true);
        map.tileWidth = reader.smallInteger(root, "the map", "tilewidth", true);
        map.tileHeight = reader.smallInteger(root, "the map", "tileheight", true);
        map.checkHeader();

        if (root.contains("tilesets")) {
            const json& tilesets = root.at("tilesets");
            if (!tilesets.is_array()) {
                reader.fail("\"tilesets\" is not an array");
            }
            for (const json& node : tilesets) {
                if (map.tilesets.size() == TiledMap::MAX_TILESETS) {
                    reader.fail("the map has more than " + std::to_string(TiledMap::MAX_TILESETS) +
                                " tilesets; draw with fewer");
                }
                long long firstGid = reader.integer(node, "a tileset", "firstgid", true);
                if (firstGid < 1 || firstGid > 0x0FFFFFFFLL) {
                    reader.fail("a tileset's firstgid " + std::to_string(firstGid) +
                                " is out of range");
                }
                std::string source = reader.text(node, "a tileset", "source");
                map.tilesets.push_back(source.empty()
                                           ? reader.tileset(node, static_cast<uint32_t>(firstGid))
                                           : readTileset(source, static_cast<uint32_t>(firstGid)));
            }
        }
        reader.layers(root, map);
        return map;
    });
}
