// Writing a map file as TMX with pugixml. The solid layer repeats the tile's
// own image on solid cells, so it reads at a glance over the tiles.
#include "TiledExport.h"

#include <pugixml.hpp>

#include <sstream>

namespace {

// A layer's cells as Tiled writes CSV: one line per row, rows joined by commas.
std::string csv(const MapFile& map, bool solidOnly) {
    std::string text = "\n";
    for (int row = 0; row < map.tilesDown(); ++row) {
        for (int column = 0; column < map.tilesAcross(); ++column) {
            bool shown = !solidOnly || map.isSolidAt(column, row);
            // Code k is tile id k - 1 of the tileset, whose first gid is 1.
            text += std::to_string(shown ? map.codeAt(column, row) : 0);
            bool last = row + 1 == map.tilesDown() && column + 1 == map.tilesAcross();
            if (!last) {
                text += ",";
            }
        }
        text += "\n";
    }
    return text;
}

void addLayer(pugi::xml_node root, int id, const char* pName, const MapFile& map, bool solidOnly) {
    pugi::xml_node layer = root.append_child("layer");
    layer.append_attribute("id") = id;
    layer.append_attribute("name") = pName;
    layer.append_attribute("width") = map.tilesAcross();
    layer.append_attribute("height") = map.tilesDown();
    if (solidOnly) {
        layer.append_attribute("opacity") = "0.5";
    }
    pugi::xml_node data = layer.append_child("data");
    data.append_attribute("encoding") = "csv";
    data.append_child(pugi::node_pcdata).set_value(csv(map, solidOnly).c_str());
}

} // namespace

std::string TiledExport::toTmx(const MapFile& map, const std::string& sheetName,
                               const std::optional<std::vector<TiledExportObject>>& objects) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";

    pugi::xml_node root = document.append_child("map");
    root.append_attribute("version") = "1.10";
    root.append_attribute("orientation") = "orthogonal";
    root.append_attribute("renderorder") = "right-down";
    root.append_attribute("width") = map.tilesAcross();
    root.append_attribute("height") = map.tilesDown();
    root.append_attribute("tilewidth") = MapFile::TILE_SIZE;
    root.append_attribute("tileheight") = MapFile::TILE_SIZE;
    root.append_attribute("infinite") = 0;
    root.append_attribute("nextlayerid") = objects ? 4 : 3;
    // Tiled numbers objects from 1 and gives a new one this id.
    root.append_attribute("nextobjectid") = objects ? objects->size() + 1 : 1;

    int tileCount = map.codeCount() - 1;
    pugi::xml_node tileset = root.append_child("tileset");
    tileset.append_attribute("firstgid") = 1;
    tileset.append_attribute("name") = "tiles";
    tileset.append_attribute("tilewidth") = MapFile::TILE_SIZE;
    tileset.append_attribute("tileheight") = MapFile::TILE_SIZE;
    tileset.append_attribute("tilecount") = tileCount;
    tileset.append_attribute("columns") = 1;
    pugi::xml_node image = tileset.append_child("image");
    image.append_attribute("source") = sheetName.c_str();
    image.append_attribute("width") = MapFile::TILE_SIZE;
    image.append_attribute("height") = MapFile::TILE_SIZE * tileCount;

    addLayer(root, 1, "tiles", map, false);
    addLayer(root, 2, "solid", map, true);
    if (objects) {
        pugi::xml_node layer = root.append_child("objectgroup");
        layer.append_attribute("id") = 3;
        layer.append_attribute("name") = OBJECTS_LAYER;
        for (size_t i = 0; i < objects->size(); ++i) {
            const TiledExportObject& object = (*objects)[i];
            pugi::xml_node node = layer.append_child("object");
            node.append_attribute("id") = i + 1;
            node.append_attribute("type") = object.kind.c_str();
            node.append_attribute("x") = object.x;
            node.append_attribute("y") = object.y;
            node.append_attribute("width") = object.width;
            node.append_attribute("height") = object.height;
        }
    }

    std::ostringstream text;
    document.save(text, " ", pugi::format_default, pugi::encoding_utf8);
    return text.str();
}
