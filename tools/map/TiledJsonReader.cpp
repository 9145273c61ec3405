// The JSON reader: the map object's members, its "tilesets" (embedded or
// external) and its "tilelayer"s, also inside "group"s.
#include "TiledJsonReader.h"

#include "TiledImport.h"
#include "TiledLayerData.h"
#include "engine/DataError.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>

using nlohmann::json;

namespace {

constexpr long long MAX_SMALL = 1000000; // beyond any size, count or id a map can use

json parse(const std::string& fileName, const std::string& text) {
    try {
        return json::parse(text);
    } catch (const json::parse_error& error) {
        throw DataError(fileName, std::string("not readable JSON: ") + error.what());
    }
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
            fail(context + " \"" + pKey + "\" is " + value.dump() + ", not a whole number");
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
            fail(context + " \"" + pKey + "\" is " + value.dump() + ", not a string");
        }
        return value.get<std::string>();
    }

    TiledTileset tileset(const json& object, uint32_t firstGid) const {
        TiledTileset tileset;
        tileset.fileName = m_fileName;
        tileset.firstGid = firstGid;
        tileset.name = text(object, "the tileset", "name");
        std::string context = "tileset \"" + tileset.name + "\"";
        tileset.tileWidth = smallInteger(object, context, "tilewidth", true);
        tileset.tileHeight = smallInteger(object, context, "tileheight", true);
        tileset.tileCount = smallInteger(object, context, "tilecount", true);
        if (!object.contains("tiles")) {
            return tileset;
        }
        const json& tiles = object.at("tiles");
        if (!tiles.is_array()) {
            fail(context + " \"tiles\" is not an array");
        }
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
                if (text(property, tileContext + " property", "name") != TiledMap::SOLID_PROPERTY) {
                    continue;
                }
                std::string type = text(property, tileContext + " property", "type");
                const json& value = member(property, tileContext + " property", "value");
                if (type != "bool" || !value.is_boolean()) {
                    fail(tileContext + ": property \"solid\" is of type \"" +
                         (type.empty() ? "string" : type) + "\"; make it a bool");
                }
                if (value.get<bool>()) {
                    tileset.solidIds.insert(id);
                }
            }
        }
        return tileset;
    }

    std::vector<uint32_t> layerData(const json& layer, const std::string& context,
                                    size_t cellCount) const {
        const json& data = member(layer, context, "data");
        try {
            if (data.is_array()) {
                std::vector<uint32_t> gids;
                for (const json& cell : data) {
                    if (!cell.is_number_unsigned() || cell.get<uint64_t>() > 0xFFFFFFFFull) {
                        throw TiledDataError("cell " + std::to_string(gids.size()) + " is " +
                                             cell.dump() + ", not a 32-bit tile id");
                    }
                    gids.push_back(static_cast<uint32_t>(cell.get<uint64_t>()));
                }
                TiledLayerData::checkCount(gids.size(), cellCount);
                return gids;
            }
            if (!data.is_string()) {
                throw TiledDataError("\"data\" is neither an array nor a string");
            }
            std::string encoding = text(layer, context, "encoding");
            if (encoding != "base64") {
                throw TiledDataError("\"data\" is a string, but the encoding is \"" + encoding +
                                     "\", not \"base64\"");
            }
            return TiledLayerData::fromBase64(data.get<std::string>(),
                                              text(layer, context, "compression"), cellCount);
        } catch (const TiledDataError& error) {
            fail(context + ": " + error.what());
        }
    }

    void layers(const json& parent, TiledMap& map) const {
        const json& list = member(parent, "the map", "layers");
        if (!list.is_array()) {
            fail("\"layers\" is not an array");
        }
        for (const json& node : list) {
            std::string kind = text(node, "a layer", "type");
            if (kind == "group") {
                layers(node, map);
            }
            if (kind != "tilelayer") {
                continue;
            }
            TiledLayer layer;
            layer.name = text(node, "a layer", "name");
            std::string context = "layer \"" + layer.name + "\"";
            if (node.contains("chunks")) {
                fail(context + " is stored in chunks, as in an infinite map");
            }
            layer.width = smallInteger(node, context, "width", true);
            layer.height = smallInteger(node, context, "height", true);
            if (layer.width < 0 || layer.height < 0) {
                fail(context + " has a negative size");
            }
            layer.gids =
                layerData(node, context,
                          static_cast<size_t>(layer.width) * static_cast<size_t>(layer.height));
            map.layers.push_back(std::move(layer));
        }
    }

private:
    std::string m_fileName;
};

} // namespace

TiledTileset TiledJsonReader::readTilesetFile(const std::string& fileName, uint32_t firstGid) {
    std::ifstream file(fileName, std::ios::binary);
    if (file.fail()) {
        throw DataError(fileName, "cannot open the file");
    }
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    json root = parse(fileName, text);
    if (!root.is_object()) {
        throw DataError(fileName, "not a Tiled tileset: the file is not a JSON object");
    }
    return Reader(fileName).tileset(root, firstGid);
}

TiledMap TiledJsonReader::read(const std::string& fileName, const std::string& text) {
    json root = parse(fileName, text);
    Reader reader(fileName);
    if (!root.is_object() || reader.text(root, "the map", "type") != "map") {
        reader.fail("not a Tiled map: the JSON has no \"type\": \"map\"");
    }
    TiledMap map(fileName);
    map.orientation = reader.text(root, "the map", "orientation");
    if (root.contains("infinite")) {
        const json& infinite = root.at("infinite");
        if (!infinite.is_boolean()) {
            reader.fail("the map's \"infinite\" is " + infinite.dump() + ", not true or false");
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
            long long firstGid = reader.integer(node, "a tileset", "firstgid", true);
            if (firstGid < 1 || firstGid > 0x0FFFFFFFLL) {
                reader.fail("a tileset's firstgid " + std::to_string(firstGid) +
                            " is out of range");
            }
            std::string source = reader.text(node, "a tileset", "source");
            if (source.empty()) {
                map.tilesets.push_back(reader.tileset(node, static_cast<uint32_t>(firstGid)));
            } else {
                map.tilesets.push_back(TiledImport::readExternalTileset(
                    fileName, source, static_cast<uint32_t>(firstGid)));
            }
        }
    }
    reader.layers(root, map);
    return map;
}
