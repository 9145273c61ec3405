// kcs-map import: maps made in the Tiled editor, as TMX or JSON, in every
// layer data form Tiled writes, and the one-line refusals of maps that cannot
// be kcs maps.
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using testing_support::MapBytes;
using testing_support::runProgram;
using testing_support::writeFile;

namespace {

constexpr int SCREEN_W = 16; // tiles
constexpr int SCREEN_H = 15; // tiles

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

testing_support::RunResult importMap(const std::string& source, const std::string& out) {
    return runProgram(std::string(KCS_MAP_BINARY) + " import " + source + " " + out);
}

// The test screen as global tile ids: sky (gid 1) with a ladder (gid 5) in
// column 3 from row 10 down, standing on a floor of gid 2 in row 14.
std::vector<uint32_t> screenGids() {
    std::vector<uint32_t> gids;
    for (int row = 0; row < SCREEN_H; ++row) {
        for (int column = 0; column < SCREEN_W; ++column) {
            gids.push_back(row == 14 ? 2 : (column == 3 && row >= 10 ? 5 : 1));
        }
    }
    return gids;
}

// The same screen as base64 of the little-endian ids, compressed by zlib and
// by gzip (made once with Python's zlib and gzip modules).
const char* const SCREEN_ZLIB = "eNpjZGBgYBzFo3gQYNYRqJ+JQgwA1w8BEQ==";
const char* const SCREEN_GZIP = "H4sIAAAAAAAC/2NkYGBgHMWjeBBg1hGon4lCDAB+lPNvwAMAAA==";

// The map file of the test screen when gid 2 (tile id 1) is solid.
std::string screenBytes() {
    MapBytes bytes(1, 1, 6);
    for (int column = 0; column < SCREEN_W; ++column) {
        bytes.tile(column, 14, 2, true);
    }
    for (int row = 10; row < 14; ++row) {
        bytes.tile(3, row, 5);
    }
    return bytes.bytes();
}

std::string csv(const std::vector<uint32_t>& gids, int width) {
    std::string text = "\n";
    for (size_t i = 0; i < gids.size(); ++i) {
        text += std::to_string(gids[i]);
        text +=
            i + 1 == gids.size()
                ? "\n"
                : (i % static_cast<size_t>(width) + 1 == static_cast<size_t>(width) ? ",\n" : ",");
    }
    return text;
}

std::string jsonArray(const std::vector<uint32_t>& gids) {
    std::string text = "[";
    for (size_t i = 0; i < gids.size(); ++i) {
        text += (i == 0 ? "" : ",") + std::to_string(gids[i]);
    }
    return text + "]";
}

std::string base64(const std::vector<uint32_t>& gids) {
    static const char* const DIGITS =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> bytes;
    for (uint32_t gid : gids) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(gid >> shift));
        }
    }
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        size_t count = std::min<size_t>(3, bytes.size() - i);
        if (count > 1) {
            group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        }
        if (count > 2) {
            group |= bytes[i + 2];
        }
        for (size_t digit = 0; digit < 4; ++digit) {
            text += digit <= count ? DIGITS[(group >> (18 - 6 * digit)) & 63] : '=';
        }
    }
    return text;
}

// A TMX map; every part can be changed for a test.
struct Tmx {
    int width = SCREEN_W;  // tiles
    int height = SCREEN_H; // tiles
    int tileSize = 16;     // px
    std::string orientation = "orthogonal";
    std::string infinite = "0";
    // Tile id 1 (gid 2, code 2) is solid by its property.
    std::string tilesets =
        R"(<tileset firstgid="1" name="sheet" tilewidth="16" tileheight="16" tilecount="5" columns="1">
  <image source="tiles.bmp" width="16" height="80"/>
  <tile id="1"><properties><property name="solid" type="bool" value="true"/></properties></tile>
 </tileset>)";
    std::string layers;

    // A tile layer of the map's size.
    Tmx& layer(const std::string& name, const std::string& dataAttributes,
               const std::string& data) {
        layers += " <layer id=\"1\" name=\"" + name + "\" width=\"" + std::to_string(width) +
                  "\" height=\"" + std::to_string(height) + "\">\n  <data " + dataAttributes + ">" +
                  data + "</data>\n </layer>\n";
        return *this;
    }
    Tmx& csvLayer(const std::string& name, const std::vector<uint32_t>& gids) {
        return layer(name, "encoding=\"csv\"", csv(gids, width));
    }

    std::string text() const {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<map version=\"1.10\" orientation=\"" +
               orientation + "\" renderorder=\"right-down\" width=\"" + std::to_string(width) +
               "\" height=\"" + std::to_string(height) + "\" tilewidth=\"" +
               std::to_string(tileSize) + "\" tileheight=\"" + std::to_string(tileSize) +
               "\" infinite=\"" + infinite + "\">\n " + tilesets + "\n" + layers + "</map>\n";
    }
};

// A JSON map of one screen with the tileset of Tmx; `layers` is the array's
// contents.
std::string jsonMap(const std::string& layers, const std::string& infinite = "false") {
    return R"({"type": "map", "version": "1.10", "orientation": "orthogonal",
 "renderorder": "right-down", "width": 16, "height": 15, "tilewidth": 16, "tileheight": 16,
 "infinite": )" +
           infinite + R"(,
 "tilesets": [{"firstgid": 1, "name": "sheet", "tilewidth": 16, "tileheight": 16,
   "tilecount": 5, "columns": 1, "image": "tiles.bmp", "imagewidth": 16, "imageheight": 80,
   "tiles": [{"id": 1, "properties": [{"name": "solid", "type": "bool", "value": true}]}]}],
 "layers": [)" +
           layers + "]}";
}

std::string jsonLayer(const std::string& name, const std::string& dataMembers) {
    return R"({"type": "tilelayer", "id": 1, "name": ")" + name +
           R"(", "width": 16, "height": 15, "x": 0, "y": 0, "opacity": 1, "visible": true, )" +
           dataMembers + "}";
}

// Imports `text` saved as `name` and expects the test screen's map file.
void expectScreen(const std::string& name, const std::string& text) {
    writeFile(name, text);
    std::filesystem::remove("out.map");
    auto result = importMap(name, "out.map");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile("out.map"), screenBytes());
}

// Imports `text` saved as `name` and expects status 2, this one line and no
// map file.
void expectRefusal(const std::string& name, const std::string& text, const std::string& line) {
    writeFile(name, text);
    std::filesystem::remove("out.map");
    auto result = importMap(name, "out.map");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, line + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(std::filesystem::exists("out.map"));
}

} // namespace

// ---- The data forms ------------------------------------------------------

TEST(TiledImportTest, TmxWithCsvData) {
    expectScreen("map.tmx", Tmx().csvLayer("tiles", screenGids()).text());
}

TEST(TiledImportTest, TmxWithUncompressedBase64Data) {
    expectScreen("map.tmx",
                 Tmx()
                     .layer("tiles", "encoding=\"base64\"", "\n   " + base64(screenGids()) + "\n  ")
                     .text());
}

TEST(TiledImportTest, TmxWithZlibCompressedBase64Data) {
    expectScreen(
        "map.tmx",
        Tmx().layer("tiles", "encoding=\"base64\" compression=\"zlib\"", SCREEN_ZLIB).text());
}

TEST(TiledImportTest, TmxWithGzipCompressedBase64Data) {
    expectScreen(
        "map.tmx",
        Tmx().layer("tiles", "encoding=\"base64\" compression=\"gzip\"", SCREEN_GZIP).text());
}

TEST(TiledImportTest, TmxWithOneXmlElementPerCell) {
    std::string cells = "\n";
    for (uint32_t gid : screenGids()) {
        cells += "<tile gid=\"" + std::to_string(gid) + "\"/>";
    }
    expectScreen("map.tmx", Tmx().layer("tiles", "", cells).text());
}

TEST(TiledImportTest, JsonWithArrayData) {
    expectScreen("map.json", jsonMap(jsonLayer("tiles", R"("data": )" + jsonArray(screenGids()))));
}

TEST(TiledImportTest, JsonWithBase64Data) {
    expectScreen("map.tmj", jsonMap(jsonLayer("tiles", R"("encoding": "base64", "data": ")" +
                                                           base64(screenGids()) + "\"")));
    expectScreen("map.json",
                 jsonMap(jsonLayer("tiles", R"("encoding": "base64", "compression": "zlib", )"
                                            R"("data": ")" +
                                                std::string(SCREEN_ZLIB) + "\"")));
}

TEST(TiledImportTest, FlippedAndRotatedTilesKeepTheirCodes) {
    std::vector<uint32_t> gids = screenGids();
    gids[0] |= 0x80000000u;                 // flipped horizontally
    gids[1] |= 0x40000000u;                 // flipped vertically
    gids[2] |= 0x20000000u;                 // flipped diagonally
    gids[3] |= 0x10000000u;                 // rotated (hexagonal maps)
    gids[14 * SCREEN_W + 5] |= 0xE0000000u; // all at once, on a solid tile
    gids[12 * SCREEN_W + 3] |= 0xA0000000u; // rotated ladder
    expectScreen("map.tmx", Tmx().csvLayer("tiles", gids).text());
}

// ---- Solidity ------------------------------------------------------------

TEST(TiledImportTest, TheSolidLayerAloneDecidesWhatIsSolid) {
    std::vector<uint32_t> solid(SCREEN_W * SCREEN_H, 0);
    solid[14 * SCREEN_W + 0] = 2;           // part of the floor
    solid[14 * SCREEN_W + 1] = 0x80000004u; // any tile, flipped too, marks a cell
    solid[5 * SCREEN_W + 8] = 1;            // a hidden wall in the sky
    writeFile("map.tmx", Tmx().csvLayer("tiles", screenGids()).csvLayer("solid", solid).text());
    auto result = importMap("map.tmx", "out.map");
    ASSERT_EQ(result.status, 0) << result.err;

    // The floor's solid property gives way to the layer.
    MapBytes expected(1, 1, 6);
    for (int column = 0; column < SCREEN_W; ++column) {
        expected.tile(column, 14, 2, column < 2);
    }
    for (int row = 10; row < 14; ++row) {
        expected.tile(3, row, 5);
    }
    expected.tile(8, 5, 1, true);
    EXPECT_EQ(readFile("out.map"), expected.bytes());
}

TEST(TiledImportTest, WithoutASolidLayerNoPropertyMeansOpen) {
    Tmx map;
    map.tilesets =
        R"(<tileset firstgid="1" name="sheet" tilewidth="16" tileheight="16" tilecount="5">
  <image source="tiles.bmp" width="16" height="80"/>
  <tile id="1"><properties><property name="solid" type="bool" value="false"/></properties></tile>
  <tile id="4"><properties><property name="note" value="ladder"/></properties></tile>
 </tileset>)";
    writeFile("map.tmx", map.csvLayer("tiles", screenGids()).text());
    auto result = importMap("map.tmx", "out.map");
    ASSERT_EQ(result.status, 0) << result.err;
    MapBytes expected(1, 1, 6);
    for (int column = 0; column < SCREEN_W; ++column) {
        expected.tile(column, 14, 2);
    }
    for (int row = 10; row < 14; ++row) {
        expected.tile(3, row, 5);
    }
    EXPECT_EQ(readFile("out.map"), expected.bytes());
}

// ---- Layers, screens and tilesets ----------------------------------------

TEST(TiledImportTest, EmptyScreensAreAbsentAndLayerOrderDoesNotMatter) {
    Tmx map;
    map.width = 2 * SCREEN_W;
    map.height = 2 * SCREEN_H;
    std::vector<uint32_t> gids(static_cast<size_t>(map.width * map.height), 0);
    std::vector<uint32_t> solid(gids.size(), 0);
    for (int row = 0; row < map.height; ++row) {
        for (int column = 0; column < map.width; ++column) {
            bool lowerRight = row >= SCREEN_H && column >= SCREEN_W;
            gids[static_cast<size_t>(row * map.width + column)] = lowerRight ? 0 : 3;
        }
    }
    solid[static_cast<size_t>(29 * map.width + 0)] = 1;
    // A guide layer besides "tiles" is ignored; "solid" may come first.
    map.csvLayer("solid", solid)
        .csvLayer("guide", std::vector<uint32_t>(gids.size(), 4))
        .csvLayer("tiles", gids);
    writeFile("map.tmx", map.text());
    auto result = importMap("map.tmx", "out.map");
    ASSERT_EQ(result.status, 0) << result.err;

    MapBytes expected(2, 2, 6);
    for (int screen = 0; screen < 4; ++screen) {
        expected.fillScreen(screen % 2, screen / 2, 3);
    }
    expected.removeScreen(1, 1).tile(0, 29, 3, true);
    EXPECT_EQ(readFile("out.map"), expected.bytes());
}

TEST(TiledImportTest, LayersInsideGroupsAndATilesetOfItsOwnFile) {
    writeFile("sheet.tsx", R"(<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.10" name="sheet" tilewidth="16" tileheight="16" tilecount="5" columns="1">
 <image source="tiles.bmp" width="16" height="80"/>
 <tile id="1"><properties><property name="solid" type="bool" value="true"/></properties></tile>
</tileset>
)");
    Tmx map;
    map.tilesets = R"(<tileset firstgid="1" source="sheet.tsx"/>)";
    map.csvLayer("tiles", screenGids());
    map.layers = " <group id=\"3\" name=\"level\">\n" + map.layers + " </group>\n";
    expectScreen("map.tmx", map.text());
}

TEST(TiledImportTest, AJsonMapWithATilesetOfItsOwnFile) {
    writeFile("sheet.tsj", R"({"type": "tileset", "name": "sheet", "tilewidth": 16,
 "tileheight": 16, "tilecount": 5, "columns": 1, "image": "tiles.bmp",
 "tiles": [{"id": 1, "properties": [{"name": "solid", "type": "bool", "value": true}]}]})");
    std::string map = jsonMap(jsonLayer("tiles", R"("data": )" + jsonArray(screenGids())));
    size_t start = map.find("[{\"firstgid\"");
    size_t end = map.find("]}],", start) + 3;
    map.replace(start, end - start, R"([{"firstgid": 1, "source": "sheet.tsj"}])");
    ASSERT_EQ(map.find("tilecount"), std::string::npos); // nothing left of the embedded one
    expectScreen("map.json", map);
}

TEST(TiledImportTest, ATilesetWithoutATileCountIsCountedFromItsImage) {
    Tmx map;
    map.tilesets = R"(<tileset firstgid="1" name="sheet" tilewidth="16" tileheight="16">
  <image source="tiles.bmp" width="16" height="80"/>
  <tile id="1"><properties><property name="solid" type="bool" value="true"/></properties></tile>
 </tileset>)";
    expectScreen("map.tmx", map.csvLayer("tiles", screenGids()).text());
}

TEST(TiledImportTest, ASecondTilesetMayMarkSolidCells) {
    Tmx map;
    map.tilesets += R"(
 <tileset firstgid="6" name="markers" tilewidth="16" tileheight="16" tilecount="1">
  <image source="marker.bmp" width="16" height="16"/>
 </tileset>)";
    std::vector<uint32_t> solid(SCREEN_W * SCREEN_H, 0);
    for (int column = 0; column < SCREEN_W; ++column) {
        solid[14 * SCREEN_W + static_cast<size_t>(column)] = 6;
    }
    expectScreen("map.tmx", map.csvLayer("tiles", screenGids()).csvLayer("solid", solid).text());
}

// ---- Refusals ------------------------------------------------------------

TEST(TiledImportTest, RefusesTheWrongTileSize) {
    Tmx map;
    map.tileSize = 32;
    expectRefusal("map.tmx", map.csvLayer("tiles", screenGids()).text(),
                  "map.tmx: the map's tiles are 32 x 32 px; kcs tiles are 16 x 16 px");
    Tmx sheet;
    sheet.tilesets =
        R"(<tileset firstgid="1" name="big" tilewidth="32" tileheight="32" tilecount="5"/>)";
    expectRefusal("map.tmx", sheet.csvLayer("tiles", screenGids()).text(),
                  "map.tmx: tileset \"big\" has tiles of 32 x 32 px; kcs tiles are 16 x 16 px");
}

TEST(TiledImportTest, RefusesSizesThatAreNotWholeScreens) {
    Tmx wide;
    wide.width = 20;
    expectRefusal("map.tmx", wide.text(),
                  "map.tmx: the map is 20 tiles wide; the width must be a multiple of 16 tiles "
                  "(one screen), 16 to 240");
    Tmx high;
    high.height = 16;
    expectRefusal("map.tmx", high.text(),
                  "map.tmx: the map is 16 tiles high; the height must be a multiple of 15 tiles "
                  "(one screen), 15 to 255");
}

TEST(TiledImportTest, RefusesMapsTooLargeForAMapFile) {
    Tmx wide;
    wide.width = 256;
    expectRefusal("map.tmx", wide.text(),
                  "map.tmx: the map is 256 tiles wide; a map file holds at most 240 (15 screens)");
    Tmx high;
    high.height = 270;
    expectRefusal("map.tmx", high.text(),
                  "map.tmx: the map is 270 tiles high; a map file holds at most 255 (17 screens)");
}

TEST(TiledImportTest, RefusesInfiniteMaps) {
    Tmx map;
    map.infinite = "1";
    map.layers = R"( <layer id="1" name="tiles" width="16" height="15">
  <data encoding="csv"><chunk x="0" y="0" width="16" height="16">0</chunk></data>
 </layer>
)";
    expectRefusal("map.tmx", map.text(),
                  "map.tmx: the map is infinite; kcs maps have a fixed size (untick Infinite in "
                  "the map's properties)");
    expectRefusal("map.json", jsonMap("", "true"),
                  "map.json: the map is infinite; kcs maps have a fixed size (untick Infinite in "
                  "the map's properties)");
}

TEST(TiledImportTest, RefusesMapsThatAreNotOrthogonal) {
    Tmx map;
    map.orientation = "isometric";
    expectRefusal("map.tmx", map.csvLayer("tiles", screenGids()).text(),
                  "map.tmx: the map's orientation is \"isometric\"; kcs maps are \"orthogonal\" "
                  "(Map > Map Properties > Orientation)");
}

TEST(TiledImportTest, RefusesAPartlyEmptyScreenAtItsFirstEmptyCell) {
    std::vector<uint32_t> gids = screenGids();
    gids[7 * SCREEN_W + 9] = 0;
    gids[12 * SCREEN_W + 2] = 0;
    expectRefusal("map.tmx", Tmx().csvLayer("tiles", gids).text(),
                  "map.tmx: layer \"tiles\", row 7, column 9: empty cell in screen column 0, "
                  "row 0, which has 238 of 240 tiles; a screen is all empty (absent) or all "
                  "filled");
}

TEST(TiledImportTest, RefusesAnUnknownCompression) {
    expectRefusal(
        "map.tmx",
        Tmx().layer("tiles", "encoding=\"base64\" compression=\"zstd\"", SCREEN_ZLIB).text(),
        "map.tmx: layer \"tiles\": unknown compression \"zstd\"; use CSV, or base64 "
        "uncompressed or with zlib or gzip");
    expectRefusal("map.json",
                  jsonMap(jsonLayer("tiles", R"("encoding": "base64", "compression": "zstd", )"
                                             R"("data": "AAAA")")),
                  "map.json: layer \"tiles\": unknown compression \"zstd\"; use CSV, or base64 "
                  "uncompressed or with zlib or gzip");
}

TEST(TiledImportTest, RefusesDamagedOrMiscountedData) {
    expectRefusal("map.tmx",
                  Tmx()
                      .layer("tiles", "encoding=\"base64\" compression=\"zlib\"",
                             std::string(SCREEN_ZLIB).substr(0, 20))
                      .text(),
                  "map.tmx: layer \"tiles\": the compressed data ends early");
    std::vector<uint32_t> gids = screenGids();
    gids.pop_back();
    expectRefusal("map.tmx", Tmx().layer("tiles", "encoding=\"csv\"", csv(gids, SCREEN_W)).text(),
                  "map.tmx: layer \"tiles\": the data holds 239 cells; the layer has 240");
    expectRefusal("map.tmx", Tmx().layer("tiles", "encoding=\"base64\"", "AAA*").text(),
                  "map.tmx: layer \"tiles\": the base64 data has '*' at character 3");
}

TEST(TiledImportTest, RefusesAMapWithoutATilesLayer) {
    expectRefusal("map.tmx", Tmx().csvLayer("solid", screenGids()).text(),
                  "map.tmx: missing layer: no tile layer holds the tiles; add one named \"tiles\"");
    expectRefusal("map.tmx",
                  Tmx().csvLayer("ground", screenGids()).csvLayer("sky", screenGids()).text(),
                  "map.tmx: several tile layers (\"ground\", \"sky\") could hold the tiles; name "
                  "the one that does \"tiles\"");
}

TEST(TiledImportTest, RefusesTilesOutsideTheFirstTileset) {
    Tmx below;
    below.tilesets =
        R"(<tileset firstgid="3" name="sheet" tilewidth="16" tileheight="16" tilecount="5"/>)";
    expectRefusal("map.tmx", below.csvLayer("tiles", screenGids()).text(),
                  "map.tmx: layer \"tiles\", row 0, column 0: tile gid 1 is below the firstgid "
                  "3 of tileset \"sheet\"");

    std::vector<uint32_t> gids = screenGids();
    gids[2 * SCREEN_W + 4] = 6;
    expectRefusal("map.tmx", Tmx().csvLayer("tiles", gids).text(),
                  "map.tmx: layer \"tiles\", row 2, column 4: tile gid 6 is beyond the last tile "
                  "of tileset \"sheet\" (gids 1 to 5)");

    Tmx two;
    two.tilesets += R"(
 <tileset firstgid="6" name="markers" tilewidth="16" tileheight="16" tilecount="1"/>)";
    expectRefusal("map.tmx", two.csvLayer("tiles", gids).text(),
                  "map.tmx: layer \"tiles\", row 2, column 4: tile gid 6 is from tileset "
                  "\"markers\"; the tiles must all come from the first tileset, \"sheet\"");
}

TEST(TiledImportTest, RefusesASolidMarkInAnAbsentScreen) {
    Tmx map;
    map.width = 2 * SCREEN_W;
    std::vector<uint32_t> gids(static_cast<size_t>(map.width * map.height), 0);
    for (int row = 0; row < map.height; ++row) {
        for (int column = 0; column < SCREEN_W; ++column) {
            gids[static_cast<size_t>(row * map.width + column)] = 1;
        }
    }
    std::vector<uint32_t> solid(gids.size(), 0);
    solid[static_cast<size_t>(3 * map.width + 20)] = 2;
    expectRefusal("map.tmx", map.csvLayer("tiles", gids).csvLayer("solid", solid).text(),
                  "map.tmx: layer \"solid\", row 3, column 20: a solid mark in an absent screen "
                  "(the tiles layer is empty there)");
}

TEST(TiledImportTest, RefusesAPropertySolidThatIsNotABool) {
    Tmx map;
    map.tilesets =
        R"(<tileset firstgid="1" name="sheet" tilewidth="16" tileheight="16" tilecount="5">
  <tile id="2"><properties><property name="solid" value="yes"/></properties></tile>
 </tileset>)";
    expectRefusal("map.tmx", map.csvLayer("tiles", screenGids()).text(),
                  "map.tmx: tileset \"sheet\", tile 2: property \"solid\" is of type \"string\"; "
                  "make it a bool");
}

TEST(TiledImportTest, RefusesFilesThatAreNotTiledMaps) {
    expectRefusal("map.tmx", "<map",
                  "map.tmx: not readable XML: Error parsing start element tag at byte 3");
    expectRefusal("map.tmx", "<tileset/>", "map.tmx: no <map> element; not a Tiled map (.tmx)");
    expectRefusal("map.json", "{\"type\": ",
                  "map.json: not readable JSON: [json.exception.parse_error.101] parse error at "
                  "line 1, column 10: syntax error while parsing value - unexpected end of "
                  "input; expected '[', '{', or a literal");
    expectRefusal("map.json", "{\"type\": \"tileset\"}",
                  "map.json: not a Tiled map: the JSON has no \"type\": \"map\"");
    expectRefusal("map.txt", "tile . 1\n",
                  "map.txt: not a Tiled map by its name; it must end in .tmx, .tmj or .json");
}

TEST(TiledImportTest, AFailedImportLeavesTheEarlierMapFile) {
    writeFile("out.map", "earlier");
    Tmx map;
    map.width = 20;
    writeFile("map.tmx", map.text());
    auto result = importMap("map.tmx", "out.map");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(readFile("out.map"), "earlier");
}

// ---- kcs-map export -------------------------------------------------------

TEST(TiledImportTest, ExportWritesATmxThatImportsToTheSameMapFile) {
    MapBytes bytes(2, 2, 9);
    bytes.removeScreen(1, 1).fillScreen(1, 0, 8).tile(16, 11, 1, true).tile(3, 20, 5);
    for (int column = 0; column < 2 * SCREEN_W; ++column) {
        bytes.tile(column, 14, 2, true);
    }
    writeFile("level.map", bytes.bytes());
    auto exported =
        runProgram(std::string(KCS_MAP_BINARY) + " export level.map level.tmx --tiles sheet.bmp");
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.err, "");
    std::string tmx = readFile("level.tmx");
    EXPECT_NE(tmx.find("<image source=\"sheet.bmp\" width=\"16\" height=\"128\""),
              std::string::npos);
    EXPECT_NE(tmx.find("name=\"tiles\""), std::string::npos);
    EXPECT_NE(tmx.find("name=\"solid\""), std::string::npos);

    auto imported = importMap("level.tmx", "again.map");
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(readFile("again.map"), bytes.bytes());
}

TEST(TiledImportTest, ExportRefusesABrokenMapFile) {
    writeFile("broken.map", std::string("\x14\x0f\x06", 3));
    std::filesystem::remove("broken.tmx");
    auto result = runProgram(std::string(KCS_MAP_BINARY) + " export broken.map broken.tmx");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "broken.map: width 20 tiles (byte 0) is not a multiple of 16\n");
    EXPECT_FALSE(std::filesystem::exists("broken.tmx"));
}

// ---- The demo level shipped as a Tiled map ---------------------------------

namespace {

// Where two map files first differ, or "" when they are equal; printing whole
// maps would bury the difference.
std::string firstDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return "";
    }
    size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) {
        ++i;
    }
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at byte " + std::to_string(i);
}

} // namespace

// The build imports data/maps/tiled/rockfall.tmx beside the map compiled from
// the level's text; both must be the same file to the byte.
TEST(TiledImportTest, TheDemoTiledLevelEqualsItsTextMap) {
    std::string text = readFile(std::string(KCS_DEMO_DATA) + "/rockfall.map");
    std::string tiled = readFile(std::string(KCS_DEMO_DATA) + "/rockfall-tiled.map");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(firstDifference(tiled, text), "");

    auto result =
        importMap(std::string(KCS_SOURCE_DIR) + "/data/maps/tiled/rockfall.tmx", "demo.map");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(firstDifference(readFile("demo.map"), text), "");
}
