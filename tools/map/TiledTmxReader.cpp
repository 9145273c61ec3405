// The TMX reader: the <map> element's attributes, its <tileset>s (embedded or
// external) and its tile <layer>s, also inside <group>s.
#include "TiledTmxReader.h"

#include "TiledLayerData.h"
#include "engine/DataError.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

namespace {

void load(pugi::xml_document& document, const std::string& fileName, const std::string& text) {
    pugi::xml_parse_result result = document.load_buffer(text.data(), text.size());
    if (!result) {
        throw DataError(fileName, std::string("not readable XML: ") + result.description() +
                                      " at byte " + std::to_string(result.offset));
    }
}

// The XML reader of one file: its name goes into every message.
class Reader {
public:
    explicit Reader(const std::string& fileName) : m_fileName(fileName) {}

    [[noreturn]] void fail(const std::string& message) const {
        throw DataError(m_fileName, message);
    }

    long long integer(const pugi::xml_node& node, const char* pName, bool required,
                      long long fallback = 0) const {
        pugi::xml_attribute attribute = node.attribute(pName);
        if (!attribute) {
            if (required) {
                fail("<" + std::string(node.name()) + "> has no \"" + pName + "\" attribute");
            }
            return fallback;
        }
        const char* pText = attribute.value();
        char* pEnd = nullptr;
        errno = 0;
        long long value = std::strtoll(pText, &pEnd, 10);
        if (pEnd == pText || *pEnd != '\0' || errno != 0) {
            fail("<" + std::string(node.name()) + "> attribute \"" + pName + "\" is " +
                 TiledMap::quoted(pText) + ", not a whole number");
        }
        return value;
    }

    int smallInteger(const pugi::xml_node& node, const char* pName, bool required,
                     int fallback = 0) const {
        long long value = integer(node, pName, required, fallback);
        if (value < -1000000 || value > 1000000) {
            fail(joined("<", node.name(), "> attribute \"", pName, "\" is ", std::to_string(value),
                        ", far out of range"));
        }
        return static_cast<int>(value);
    }

    TiledTileset tileset(const pugi::xml_node& node, uint32_t firstGid) const {
        TiledTileset tileset;
        tileset.fileName = m_fileName;
        tileset.firstGid = firstGid;
        tileset.name = node.attribute("name").value();
        tileset.image = node.child("image").attribute("source").value();
        tileset.tileWidth = smallInteger(node, "tilewidth", true);
        tileset.tileHeight = smallInteger(node, "tileheight", true);
        tileset.tileCount = node.attribute("tilecount") ? smallInteger(node, "tilecount", true)
                                                        : countFromImage(node, tileset);
        std::string context = "tileset " + TiledMap::quoted(tileset.name);
        tileset.margin = smallInteger(node, "margin", false);
        tileset.spacing = smallInteger(node, "spacing", false);
        if (tileset.margin < 0 || tileset.spacing < 0) {
            fail(context + " has a negative margin or spacing");
        }
        if (pugi::xml_attribute trans = node.child("image").attribute("trans")) {
            tileset.transparentColour = TiledMap::colour(trans.value());
            if (!tileset.transparentColour) {
                fail(context + ": the transparent colour " + TiledMap::quoted(trans.value()) +
                     " is not of the form RRGGBB");
            }
        }
        auto flags = std::make_shared<TiledTileFlags>();
        for (pugi::xml_node tile : node.children("tile")) {
            int id = smallInteger(tile, "id", true);
            for (pugi::xml_node property : tile.child("properties").children("property")) {
                std::string name = property.attribute("name").value();
                std::set<int>* pIds = name == TiledMap::SOLID_PROPERTY    ? &flags->solid
                                      : name == TiledMap::LADDER_PROPERTY ? &flags->ladder
                                                                          : nullptr;
                if (pIds == nullptr) {
                    continue;
                }
                std::string type = property.attribute("type").value();
                std::string value = property.attribute("value").value();
                if (type != "bool") {
                    fail(context + ", tile " + std::to_string(id) + ": property " +
                         TiledMap::quoted(name) + " is of type " +
                         TiledMap::quoted(type.empty() ? "string" : type) + "; make it a bool");
                }
                if (value == "true") {
                    pIds->insert(id);
                }
            }
        }
        tileset.flags = std::move(flags);
        return tileset;
    }

    // Older files leave out tilecount; the image's size gives it. Sizes up to
    // a million px make a count far beyond an int, so it is reckoned in 64
    // bits and refused later with its real value.
    int64_t countFromImage(const pugi::xml_node& node, const TiledTileset& tileset) const {
        pugi::xml_node image = node.child("image");
        std::string context = "tileset " + TiledMap::quoted(tileset.name);
        if (!image || tileset.tileWidth <= 0 || tileset.tileHeight <= 0) {
            fail(context + " has neither \"tilecount\" nor an image size");
        }
        int64_t margin = smallInteger(node, "margin", false);
        int64_t spacing = smallInteger(node, "spacing", false);
        if (margin < 0 || spacing < 0) {
            fail(context + " has a negative margin or spacing");
        }
        int64_t imageWidth = smallInteger(image, "width", true);
        int64_t imageHeight = smallInteger(image, "height", true);
        if (imageWidth <= 0 || imageHeight <= 0) {
            fail(context + " has an image of " + std::to_string(imageWidth) + " x " +
                 std::to_string(imageHeight) + " px");
        }
        int64_t across =
            std::max<int64_t>(0, imageWidth - 2 * margin + spacing) / (tileset.tileWidth + spacing);
        int64_t down = std::max<int64_t>(0, imageHeight - 2 * margin + spacing) /
                       (tileset.tileHeight + spacing);
        return across * down;
    }

    // The layer's cells; its size is checked against the largest map before
    // any data is decoded.
    std::vector<uint32_t> layerData(const pugi::xml_node& layer, const std::string& name, int width,
                                    int height) const {
        pugi::xml_node data = layer.child("data");
        if (!data) {
            fail("layer " + TiledMap::quoted(name) + " has no <data>");
        }
        if (!data.child("chunk").empty()) {
            fail("layer " + TiledMap::quoted(name) + " is stored in chunks, as in an infinite map");
        }
        size_t cellCount = 0;
        std::string encoding = data.attribute("encoding").value();
        std::string compression = data.attribute("compression").value();
        try {
            cellCount = TiledLayerData::cellCount(width, height);
            if (encoding == "csv") {
                return TiledLayerData::fromCsv(data.child_value(), cellCount);
            }
            if (encoding == "base64") {
                return TiledLayerData::fromBase64(data.child_value(), compression, cellCount);
            }
            if (!encoding.empty()) {
                throw TiledDataError("unknown encoding " + TiledMap::quoted(encoding) +
                                     "; use CSV or base64");
            }
            // Without an encoding every cell is a <tile gid="..."/>.
            std::vector<uint32_t> gids;
            for (pugi::xml_node tile : data.children("tile")) {
                long long gid = integer(tile, "gid", false);
                if (gid < 0 || gid > 0xFFFFFFFFLL) {
                    throw TiledDataError("cell " + std::to_string(gids.size()) +
                                         " is not a 32-bit tile id");
                }
                gids.push_back(static_cast<uint32_t>(gid));
                TiledLayerData::checkRoom(gids.size(), cellCount);
            }
            TiledLayerData::checkCount(gids.size(), cellCount);
            return gids;
        } catch (const TiledDataError& error) {
            fail("layer " + TiledMap::quoted(name) + ": " + error.what());
        }
    }

    // The tile layers in file order, those in groups too. Groups are walked
    // with a stack of where each open one goes on, not by recursion, so no
    // nesting in a file can overflow the program's stack.
    void layers(const pugi::xml_node& root, TiledMap& map) const {
        std::vector<pugi::xml_node> next{root.first_child()}; // the map's, then each group's
        while (!next.empty()) {
            pugi::xml_node node = next.back();
            if (!node) {
                next.pop_back();
                continue;
            }
            next.back() = node.next_sibling();
            std::string kind = node.name();
            if (kind == "group") {
                if (next.size() > static_cast<size_t>(TiledMap::MAX_GROUP_DEPTH)) {
                    fail("group " + TiledMap::quoted(node.attribute("name").value()) +
                         " is nested more than " + std::to_string(TiledMap::MAX_GROUP_DEPTH) +
                         " groups deep");
                }
                next.push_back(node.first_child());
                continue;
            }
            if (kind == "objectgroup") {
                objectLayer(root, node, map);
                continue;
            }
            if (kind != "layer") {
                continue;
            }
            if (map.layers.size() == TiledMap::MAX_TILE_LAYERS) {
                fail("the map has more than " + std::to_string(TiledMap::MAX_TILE_LAYERS) +
                     " tile layers; merge some in Tiled (Layer > Merge Layer Down)");
            }
            TiledLayer layer;
            layer.name = node.attribute("name").value();
            layer.visible = visible(root, node);
            layer.width = smallInteger(node, "width", true);
            layer.height = smallInteger(node, "height", true);
            layer.gids = layerData(node, layer.name, layer.width, layer.height);
            map.layers.push_back(std::move(layer));
        }
    }

    // Shown in Tiled: neither the layer nor a group around it is hidden.
    bool visible(const pugi::xml_node& root, const pugi::xml_node& layer) const {
        for (pugi::xml_node shown = layer; shown != root; shown = shown.parent()) {
            if (integer(shown, "visible", false, 1) == 0) {
                return false;
            }
        }
        return true;
    }

    // A coordinate of an object, which Tiled writes with a fraction when it
    // is placed off the grid.
    double coordinate(const pugi::xml_node& node, const char* pName,
                      const std::string& context) const {
        const char* pText = node.attribute(pName).value();
        char* pEnd = nullptr;
        double value = std::strtod(pText, &pEnd);
        if (*pText == '\0') {
            return 0;
        }
        if (pEnd == pText || *pEnd != '\0' || !(std::abs(value) <= TiledMap::MAX_COORDINATE)) {
            fail(context + ": \"" + pName + "\" is " + TiledMap::quoted(pText) +
                 ", not a number of px");
        }
        return value;
    }

    // The objects of a visible <objectgroup>, their kinds as they give them.
    void objectLayer(const pugi::xml_node& root, const pugi::xml_node& group, TiledMap& map) const {
        if (!visible(root, group)) {
            return;
        }
        map.hasObjectLayer = true;
        for (pugi::xml_node node : group.children("object")) {
            TiledObject object;
            object.layer = group.attribute("name").value();
            object.id = integer(node, "id", false);
            object.name = node.attribute("name").value();
            std::string context = TiledMap::objectPlace(object);
            object.kind = node.attribute("class").value();
            if (object.kind.empty()) {
                object.kind = node.attribute("type").value();
            }
            for (pugi::xml_node property : node.child("properties").children("property")) {
                if (std::string(property.attribute("name").value()) == TiledMap::KIND_PROPERTY) {
                    object.kind = property.attribute("value").value();
                }
            }
            object.x = coordinate(node, "x", context);
            object.y = coordinate(node, "y", context);
            // A tile object stands on its y; its height is the tile's unless
            // it was scaled.
            if (!node.attribute("gid").empty()) {
                object.y -=
                    node.attribute("height") ? coordinate(node, "height", context) : map.tileHeight;
            }
            map.addObject(std::move(object));
        }
    }

private:
    std::string m_fileName;
};

} // namespace

TiledTileset TiledTmxReader::readTileset(const std::string& fileName, const std::string& text,
                                         uint32_t firstGid) {
    pugi::xml_document document;
    load(document, fileName, text);
    pugi::xml_node node = document.child("tileset");
    if (!node) {
        throw DataError(fileName, "no <tileset> element; not a Tiled tileset (.tsx)");
    }
    return Reader(fileName).tileset(node, firstGid);
}

TiledMap TiledTmxReader::read(const std::string& fileName, const std::string& text,
                              const TiledTilesetReader& readTileset) {
    pugi::xml_document document;
    load(document, fileName, text);
    pugi::xml_node root = document.child("map");
    if (!root) {
        throw DataError(fileName, "no <map> element; not a Tiled map (.tmx)");
    }
    Reader reader(fileName);
    TiledMap map(fileName);
    map.orientation = root.attribute("orientation").value();
    map.infinite = reader.integer(root, "infinite", false) != 0;
    map.width = reader.smallInteger(root, "width", true);
    map.height = reader.smallInteger(root, "height", true);
    map.tileWidth = reader.smallInteger(root, "tilewidth", true);
    map.tileHeight = reader.smallInteger(root, "tileheight", true);
    map.checkHeader();

    for (pugi::xml_node node : root.children("tileset")) {
        if (map.tilesets.size() == TiledMap::MAX_TILESETS) {
            reader.fail("the map has more than " + std::to_string(TiledMap::MAX_TILESETS) +
                        " tilesets; draw with fewer");
        }
        long long firstGid = reader.integer(node, "firstgid", true);
        if (firstGid < 1 || firstGid > 0x0FFFFFFFLL) {
            reader.fail("<tileset> firstgid " + std::to_string(firstGid) + " is out of range");
        }
        std::string source = node.attribute("source").value();
        if (source.empty()) {
            map.tilesets.push_back(reader.tileset(node, static_cast<uint32_t>(firstGid)));
            continue;
        }
        map.tilesets.push_back(readTileset(source, static_cast<uint32_t>(firstGid)));
    }
    reader.layers(root, map);
    return map;
}
