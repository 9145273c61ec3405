// The TMX reader: the <map> element's attributes, its <tileset>s (embedded or
// external) and its tile <layer>s, also inside <group>s.
#include "TiledTmxReader.h"

#include "TiledImport.h"
#include "TiledLayerData.h"
#include "engine/DataError.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::string readText(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (file.fail()) {
        throw DataError(fileName, "cannot open the file");
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

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
            fail("<" + std::string(node.name()) + "> attribute \"" + pName + "\" is \"" + pText +
                 "\", not a whole number");
        }
        return value;
    }

    int smallInteger(const pugi::xml_node& node, const char* pName, bool required,
                     int fallback = 0) const {
        long long value = integer(node, pName, required, fallback);
        if (value < -1000000 || value > 1000000) {
            fail("<" + std::string(node.name()) + "> attribute \"" + pName + "\" is " +
                 std::to_string(value) + ", far out of range");
        }
        return static_cast<int>(value);
    }

    TiledTileset tileset(const pugi::xml_node& node, uint32_t firstGid) const {
        TiledTileset tileset;
        tileset.fileName = m_fileName;
        tileset.firstGid = firstGid;
        tileset.name = node.attribute("name").value();
        tileset.tileWidth = smallInteger(node, "tilewidth", true);
        tileset.tileHeight = smallInteger(node, "tileheight", true);
        tileset.tileCount = smallInteger(node, "tilecount", false, -1);
        if (tileset.tileCount < 0) {
            tileset.tileCount = countFromImage(node, tileset);
        }
        for (pugi::xml_node tile : node.children("tile")) {
            int id = smallInteger(tile, "id", true);
            for (pugi::xml_node property : tile.child("properties").children("property")) {
                if (std::string(property.attribute("name").value()) != TiledMap::SOLID_PROPERTY) {
                    continue;
                }
                std::string type = property.attribute("type").value();
                std::string value = property.attribute("value").value();
                if (type != "bool") {
                    fail("tileset \"" + tileset.name + "\", tile " + std::to_string(id) +
                         ": property \"solid\" is of type \"" + (type.empty() ? "string" : type) +
                         "\"; make it a bool");
                }
                if (value == "true") {
                    tileset.solidIds.insert(id);
                }
            }
        }
        return tileset;
    }

    // Older files leave out tilecount; the image's size gives it.
    int countFromImage(const pugi::xml_node& node, const TiledTileset& tileset) const {
        pugi::xml_node image = node.child("image");
        if (!image || tileset.tileWidth <= 0 || tileset.tileHeight <= 0) {
            fail("tileset \"" + tileset.name + "\" has neither \"tilecount\" nor an image size");
        }
        int margin = smallInteger(node, "margin", false);
        int spacing = smallInteger(node, "spacing", false);
        if (margin < 0 || spacing < 0) {
            fail("tileset \"" + tileset.name + "\" has a negative margin or spacing");
        }
        int across = (smallInteger(image, "width", true) - 2 * margin + spacing) /
                     (tileset.tileWidth + spacing);
        int down = (smallInteger(image, "height", true) - 2 * margin + spacing) /
                   (tileset.tileHeight + spacing);
        return across * down;
    }

    std::vector<uint32_t> layerData(const pugi::xml_node& layer, const std::string& name,
                                    size_t cellCount) const {
        pugi::xml_node data = layer.child("data");
        if (!data) {
            fail("layer \"" + name + "\" has no <data>");
        }
        if (data.child("chunk")) {
            fail("layer \"" + name + "\" is stored in chunks, as in an infinite map");
        }
        std::string encoding = data.attribute("encoding").value();
        std::string compression = data.attribute("compression").value();
        try {
            if (encoding == "csv") {
                return TiledLayerData::fromCsv(data.child_value(), cellCount);
            }
            if (encoding == "base64") {
                return TiledLayerData::fromBase64(data.child_value(), compression, cellCount);
            }
            if (!encoding.empty()) {
                throw TiledDataError("unknown encoding \"" + encoding + "\"; use CSV or base64");
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
            }
            TiledLayerData::checkCount(gids.size(), cellCount);
            return gids;
        } catch (const TiledDataError& error) {
            fail("layer \"" + name + "\": " + error.what());
        }
    }

    void layers(const pugi::xml_node& parent, TiledMap& map) const {
        for (pugi::xml_node node : parent.children()) {
            std::string kind = node.name();
            if (kind == "group") {
                layers(node, map);
            }
            if (kind != "layer") {
                continue;
            }
            TiledLayer layer;
            layer.name = node.attribute("name").value();
            layer.width = smallInteger(node, "width", true);
            layer.height = smallInteger(node, "height", true);
            if (layer.width < 0 || layer.height < 0) {
                fail("layer \"" + layer.name + "\" has a negative size");
            }
            layer.gids =
                layerData(node, layer.name,
                          static_cast<size_t>(layer.width) * static_cast<size_t>(layer.height));
            map.layers.push_back(std::move(layer));
        }
    }

private:
    std::string m_fileName;
};

} // namespace

TiledTileset TiledTmxReader::readTilesetFile(const std::string& fileName, uint32_t firstGid) {
    pugi::xml_document document;
    load(document, fileName, readText(fileName));
    pugi::xml_node node = document.child("tileset");
    if (!node) {
        throw DataError(fileName, "no <tileset> element; not a Tiled tileset (.tsx)");
    }
    return Reader(fileName).tileset(node, firstGid);
}

TiledMap TiledTmxReader::read(const std::string& fileName, const std::string& text) {
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
        long long firstGid = reader.integer(node, "firstgid", true);
        if (firstGid < 1 || firstGid > 0x0FFFFFFFLL) {
            reader.fail("<tileset> firstgid " + std::to_string(firstGid) + " is out of range");
        }
        std::string source = node.attribute("source").value();
        if (source.empty()) {
            map.tilesets.push_back(reader.tileset(node, static_cast<uint32_t>(firstGid)));
            continue;
        }
        map.tilesets.push_back(
            TiledImport::readExternalTileset(fileName, source, static_cast<uint32_t>(firstGid)));
    }
    reader.layers(root, map);
    return map;
}
