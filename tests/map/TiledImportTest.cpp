// kcs-map import: maps made in the Tiled editor, as TMX or JSON, in every
// layer data form Tiled writes, and the one-line refusals of maps that cannot
// be kcs maps; kcs-map export back to Tiled.
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using testing_support::MapBytes;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::writeFile;

namespace {

constexpr int SCREEN_W = 16; // tiles
constexpr int SCREEN_H = 15; // tiles

testing_support::RunResult importMap(const std::string& source) {
    return runProgram(std::string(KCS_MAP_BINARY) + " import " + source + " out.map");
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

// The same screen as base64 of the little-endian ids compressed by zlib and
// by gzip, and 64 KiB of zeros compressed by zlib: far more than a layer
// holds (made once with Python's zlib and gzip modules).
const char* const SCREEN_ZLIB = "eNpjZGBgYBzFo3gQYNYRqJ+JQgwA1w8BEQ==";
const char* const SCREEN_GZIP = "H4sIAAAAAAAC/2NkYGBgHMWjeBBg1hGon4lCDAB+lPNvwAMAAA==";
const char* const ZEROS_ZLIB =
    "eNrtwQEBAAAAgJD+r+4ICgAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
    "AAAAAAAAAAAAAAAGoADwAB";

// The map file of the test screen, its floor (gid 2) solid or open.
MapBytes screenMap(bool solidFloor) {
    MapBytes bytes(1, 1, 6);
    for (int column = 0; column < SCREEN_W; ++column) {
        bytes.tile(column, 14, 2, solidFloor);
    }
    for (int row = 10; row < 14; ++row) {
        bytes.tile(3, row, 5);
    }
    return bytes;
}

// The ids as CSV, a screen's row to a line.
std::string csv(const std::vector<uint32_t>& gids) {
    std::string text;
    for (size_t i = 0; i < gids.size(); ++i) {
        text += (i == 0 ? "" : i % SCREEN_W == 0 ? ",\n" : ",") + std::to_string(gids[i]);
    }
    return text;
}

// `count` copies of `part`.
std::string repeated(const std::string& part, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

// Base64 of zeros, `count` times three bytes of them.
std::string zeros64(int count) {
    return repeated("AAAA", count);
}

// `count` levels of open, then inner, then as many of close.
std::string nested(const std::string& open, const std::string& inner, const std::string& close,
                   int count) {
    return repeated(open, count) + inner + repeated(close, count);
}

// A tileset "sheet" of 16 px tiles, with its firstgid and tile count among
// the attributes given.
std::string sheet(const std::string& attributes, const std::string& contents = "") {
    return R"(<tileset name="sheet" tilewidth="16" tileheight="16" )" + attributes + ">" +
           contents + "</tileset>";
}
const std::string SHEET_IMAGE = R"(<image source="tiles.bmp" width="16" height="80"/>)";
// Tile id 1 (gid 2, code 2) is solid by its property.
const std::string SOLID_TILE =
    R"(<tile id="1"><properties><property name="solid" type="bool" value="true"/>)"
    "</properties></tile>";

// A second tileset, of one tile, gid 6.
const std::string MARKER_SHEET =
    R"(<tileset firstgid="6" name="markers" tilewidth="16" tileheight="16" tilecount="1">)"
    R"(<image source="marker.bmp" width="16" height="16"/></tileset>)";

// A TMX map; every part can be changed for a test.
struct Tmx {
    int width = SCREEN_W;  // tiles
    int height = SCREEN_H; // tiles
    int tileSize = 16;     // px
    std::string orientation = "orthogonal";
    std::string infinite = "0";
    std::string tilesets =
        sheet(R"(firstgid="1" tilecount="5" columns="1")", SHEET_IMAGE + SOLID_TILE);
    std::string layers = "";

    // A tile layer of the map's size.
    Tmx& layer(const std::string& name, const std::string& dataAttributes,
               const std::string& data) {
        layers += " <layer id=\"1\" name=\"" + name + "\" width=\"" + std::to_string(width) +
                  "\" height=\"" + std::to_string(height) + "\">\n  <data " + dataAttributes + ">" +
                  data + "</data>\n </layer>\n";
        return *this;
    }
    Tmx& csvLayer(const std::string& name, const std::vector<uint32_t>& gids) {
        return layer(name, "encoding=\"csv\"", csv(gids));
    }
    // The text with one more layer, "tiles", in CSV or in another form.
    std::string withTiles(const std::vector<uint32_t>& gids = screenGids()) const {
        return Tmx(*this).csvLayer("tiles", gids).text();
    }
    std::string withTiles(const std::string& dataAttributes, const std::string& data) const {
        return Tmx(*this).layer("tiles", dataAttributes, data).text();
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

// The members of the tileset of Tmx in JSON.
const std::string JSON_SHEET = R"("name": "sheet", "tilewidth": 16, "tileheight": 16,
 "tilecount": 5, "columns": 1, "image": "tiles.bmp",
 "tiles": [{"id": 1, "properties": [{"name": "solid", "type": "bool", "value": true}]}])";

// A JSON map of one screen, by default with the tileset of Tmx; `layers` is
// the array's contents.
std::string jsonMap(const std::string& layers, const std::string& infinite = "false",
                    const std::string& tilesets = R"([{"firstgid": 1, )" + JSON_SHEET + "}]") {
    return R"({"type": "map", "version": "1.10", "orientation": "orthogonal",
 "renderorder": "right-down", "width": 16, "height": 15, "tilewidth": 16, "tileheight": 16,
 "infinite": )" +
           infinite + ", \"tilesets\": " + tilesets + ", \"layers\": [" + layers + "]}";
}

std::string jsonLayer(const std::string& name, const std::string& dataMembers) {
    return R"({"type": "tilelayer", "id": 1, "name": ")" + name +
           R"(", "width": 16, "height": 15, "x": 0, "y": 0, "opacity": 1, "visible": true, )" +
           dataMembers + "}";
}

// Two screens by two of gid 1, the lower right one empty.
std::vector<uint32_t> threeScreens() {
    std::vector<uint32_t> gids(4 * SCREEN_W * SCREEN_H, 1);
    for (int row = SCREEN_H; row < 2 * SCREEN_H; ++row) {
        std::fill_n(gids.begin() + row * 2 * SCREEN_W + SCREEN_W, SCREEN_W, 0);
    }
    return gids;
}

} // namespace

// Each way Tiled writes a map imports to its map file: every data form and
// tileset form of the test screen gives the same file; the solid layer, the
// solid property and empty screens give what they mean; and what kcs-map
// export writes gives the map file it came from.
TEST(TiledImportTest, EveryFormImportsToItsMapFile) {
    std::string cells = "\n";
    for (uint32_t gid : screenGids()) {
        cells += "<tile gid=\"" + std::to_string(gid) + "\"/>";
    }
    std::vector<uint32_t> flipped = screenGids();
    flipped[0] |= 0x80000000u;                 // flipped horizontally
    flipped[1] |= 0x40000000u;                 // flipped vertically
    flipped[2] |= 0x20000000u;                 // flipped diagonally
    flipped[3] |= 0x10000000u;                 // rotated (hexagonal maps)
    flipped[14 * SCREEN_W + 5] |= 0xE0000000u; // all at once, on a solid tile
    flipped[12 * SCREEN_W + 3] |= 0xA0000000u; // rotated ladder
    // A tileset in a file of its own, its tile count taken from the image,
    // and flipped tiles in groups as deep as groups may be nested.
    writeFile("sheet.tsx", "<?xml version=\"1.0\"?>\n" + sheet("", SHEET_IMAGE + SOLID_TILE));
    writeFile("sheet.tsj", R"({"type": "tileset", )" + JSON_SHEET + "}");
    Tmx grouped{.tilesets = R"(<tileset firstgid="1" source="sheet.tsx"/>)"};
    grouped.csvLayer("tiles", flipped);
    grouped.layers = nested("<group name=\"level\">", grouped.layers, "</group>", 64);
    const std::string jsonData = R"("data": [)" + csv(screenGids()) + "]";

    // The solid layer alone decides what is solid: the floor's property
    // gives way to it, and any tile, of either tileset, flipped too, marks a
    // cell.
    std::vector<uint32_t> solid(SCREEN_W * SCREEN_H, 0);
    solid[14 * SCREEN_W + 0] = 6;
    solid[14 * SCREEN_W + 1] = 0x80000004u;
    solid[5 * SCREEN_W + 8] = 1; // a hidden wall in the sky
    Tmx marked{.tilesets = Tmx().tilesets + MARKER_SHEET};
    MapBytes solidMarked = screenMap(false);
    solidMarked.tile(0, 14, 2, true).tile(1, 14, 2, true).tile(8, 5, 1, true);
    // Without a solid layer, a property that is false or not "solid" leaves
    // a tile open.
    Tmx unmarked{
        .tilesets =
            sheet(R"(firstgid="1" tilecount="5")",
                  R"(<tile id="1"><properties><property name="solid" type="bool" value="false"/>)"
                  R"(</properties></tile><tile id="4"><properties><property name="note" )"
                  R"(value="ladder"/></properties></tile>)")};
    // An empty screen is absent; "solid" may come first, and a layer besides
    // "tiles" and "solid" is a guide that is ignored.
    Tmx quarters{.width = 2 * SCREEN_W, .height = 2 * SCREEN_H};
    std::vector<uint32_t> corner(quarters.width * quarters.height, 0);
    corner[29 * quarters.width] = 1;
    quarters.csvLayer("solid", corner)
        .csvLayer("guide", std::vector<uint32_t>(corner.size(), 4))
        .csvLayer("tiles", threeScreens());

    // kcs-map export writes a TMX that names the sheet given and imports back.
    MapBytes level(2, 2, 9);
    level.removeScreen(1, 1).fillScreen(1, 0, 8).tile(16, 11, 1, true).tile(3, 20, 5);
    writeFile("level.map", level.bytes());
    auto exported =
        runProgram(std::string(KCS_MAP_BINARY) + " export level.map level.tmx --tiles sheet.bmp");
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.err, "");
    EXPECT_NE(readFile("level.tmx").find("<image source=\"sheet.bmp\" width=\"16\" height=\"128\""),
              std::string::npos);

    const std::string screen = screenMap(true).bytes();
    const std::string zlib = "encoding=\"base64\" compression=\"zlib\"";
    const std::string maps[][3] = {
        {"csv.tmx", Tmx().withTiles(), screen},
        // Four bytes a gid, little-endian: 240 cells of gid 1 are 80 times
        // three; the text around the data is skipped.
        {"base64.tmx",
         Tmx().withTiles("encoding=\"base64\"",
                         "\n   " + repeated("AQAAAAEAAAABAAAA", 80) + "\n  "),
         MapBytes(1, 1, 6).bytes()},
        {"zlib.tmx", Tmx().withTiles(zlib, SCREEN_ZLIB), screen},
        {"gzip.tmx", Tmx().withTiles("encoding=\"base64\" compression=\"gzip\"", SCREEN_GZIP),
         screen},
        {"cells.tmx", Tmx().withTiles("", cells), screen},
        {"grouped.tmx", grouped.text(), screen},
        {"array.json", jsonMap(jsonLayer("tiles", jsonData)), screen},
        {"zlib.tmj",
         jsonMap(jsonLayer("tiles", R"("encoding": "base64", "compression": "zlib", "data": ")" +
                                        std::string(SCREEN_ZLIB) + "\"")),
         screen},
        {"tileset.json",
         jsonMap(jsonLayer("tiles", jsonData), "false",
                 R"([{"firstgid": 1, "source": "sheet.tsj"}])"),
         screen},
        {"grouped.json",
         jsonMap(nested(R"({"type": "group", "name": "level", "layers": [)",
                        jsonLayer("tiles", jsonData), "]}", 64)),
         screen},
        {"solid.tmx", marked.csvLayer("solid", solid).withTiles(), solidMarked.bytes()},
        {"unmarked.tmx", unmarked.withTiles(), screenMap(false).bytes()},
        {"exported.tmx", readFile("level.tmx"), level.bytes()},
        {"quarters.tmx", quarters.text(),
         MapBytes(2, 2, 6).removeScreen(1, 1).tile(0, 29, 1, true).bytes()},
    };
    for (const auto& [name, text, expected] : maps) {
        SCOPED_TRACE(name);
        writeFile(name, text);
        std::filesystem::remove("out.map");
        auto result = importMap(name);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(readFile("out.map") == expected) << "the map file differs";
    }
}

// Each refusal, of a map that cannot be a kcs map or of a file made to hurt
// the importer (nesting deeper than anything walks, streams that inflate far
// beyond the layer, huge declared sizes, tokens a message would repeat): one
// short line that starts as given (a start ending in a line end is the whole
// line), status 2, and the earlier map file kept. What the XML and JSON
// libraries say is checked by its start only.
TEST(TiledImportTest, RefusalsAreOneShortLineAndKeepTheEarlierMapFile) {
    std::vector<uint32_t> partly = screenGids();
    partly[7 * SCREEN_W + 9] = 0;
    partly[12 * SCREEN_W + 2] = 0;
    std::vector<uint32_t> short239 = screenGids();
    short239.pop_back();
    std::vector<uint32_t> beyond = screenGids();
    beyond[2 * SCREEN_W + 4] = 6;
    const Tmx twoTilesets{.tilesets = Tmx().tilesets + MARKER_SHEET};
    Tmx quarters{.width = 2 * SCREEN_W, .height = 2 * SCREEN_H};
    std::vector<uint32_t> mark(quarters.width * quarters.height, 0);
    mark[20 * quarters.width + 20] = 2; // in the absent lower right screen
    auto jsonWithWidth = [](const std::string& width) {
        std::string text = jsonMap("");
        return text.replace(text.find("16", text.find("\"width\"")), 2, width);
    };
    auto groups = [](int depth) {
        return Tmx{.layers = nested("<group name=\"g\">", "", "</group>", depth)}.text();
    };
    const std::string zlib = "encoding=\"base64\" compression=\"zlib\"";
    const std::string plain64 = "encoding=\"base64\"";
    const std::string deep = "group \"g\" is nested more than 64 groups deep\n";
    const std::string bigSheet =
        R"(<tileset firstgid="1" name="big" tilewidth="32" tileheight="32" tilecount="5"/>)";
    const std::string chunks = R"(<layer name="tiles" width="16" height="15"><data encoding="csv">
  <chunk x="0" y="0" width="16" height="16">0</chunk></data></layer>)";
    const std::string hugeLayer = R"(<layer name="tiles" width="1000000" height="1000000">
  <data encoding="csv">1</data></layer>)";
    const std::string notBool =
        R"(<tile id="2"><properties><property name="solid" value="yes"/></properties></tile>)";
    const std::string hugeImage = R"(<image source="t.bmp" width="1000000" height="1000000"/>)";

    struct Refusal {
        std::string text;
        std::string start; // of the line after "FILE: "
        std::string name = "map.tmx";
    };
    const Refusal cases[] = {
        // The map's size, tiles and orientation.
        {Tmx{.tileSize = 32}.withTiles(), "the map's tiles are 32 x 32 px; kcs"},
        {Tmx{.tilesets = bigSheet}.withTiles(), "tileset \"big\" has tiles of 32 x 32"},
        {Tmx{.width = 20}.text(), "the map is 20 tiles wide; the width must be a multiple of 16 "
                                  "tiles (one screen), 16 to 240\n"},
        {Tmx{.height = 16}.text(), "the map is 16 tiles high; the height must be"},
        {Tmx{.width = 256}.text(), "the map is 256 tiles wide; a map file holds at"},
        {Tmx{.height = 270}.text(), "the map is 270 tiles high; a map file holds at"},
        {Tmx{.infinite = "1", .layers = chunks}.text(), "the map is infinite; kcs"},
        {jsonMap("", "true"), "the map is infinite", "map.json"},
        {Tmx{.orientation = "isometric"}.withTiles(), "the map's orientation is \"iso"},
        // The layers and their data.
        {Tmx().withTiles(partly), "layer \"tiles\", row 7, column 9: empty cell in screen column "
                                  "0, row 0, which has 238 of 240"},
        {Tmx().withTiles("encoding=\"base64\" compression=\"zstd\"", SCREEN_ZLIB),
         "layer \"tiles\": unknown compression \"zstd\"; use CSV, or base64 uncompressed or with "
         "zlib or gzip\n"},
        {Tmx().withTiles(zlib, std::string(SCREEN_ZLIB).substr(0, 20)),
         "layer \"tiles\": the compressed data ends early"},
        {Tmx().withTiles(short239), "layer \"tiles\": the data holds 239 cells; the"},
        {Tmx().withTiles(plain64, "AAA*"), "layer \"tiles\": the base64 data has '*' at"},
        {Tmx().withTiles(zlib, ZEROS_ZLIB),
         "layer \"tiles\": the compressed data inflates to more than the layer's 240"},
        // zlib's bound on compressed sizes gives the number.
        {Tmx().withTiles(zlib, zeros64(1333)),
         "layer \"tiles\": the base64 data decodes to more than "},
        {Tmx().withTiles(plain64, zeros64(322)),
         "layer \"tiles\": the base64 data decodes to more than 960 bytes"},
        {Tmx{.layers = hugeLayer}.text(), "layer \"tiles\": the layer is 1000000 x"},
        {Tmx().csvLayer("solid", screenGids()).text(),
         "missing layer: no tile layer holds the tiles; add one named \"tiles\"\n"},
        {Tmx().csvLayer("ground", screenGids()).csvLayer("sky", screenGids()).text(),
         "several tile layers (\"ground\", \"sky\") could hold"},
        {quarters.csvLayer("tiles", threeScreens()).csvLayer("solid", mark).text(),
         "layer \"solid\", row 20, column 20: a solid mark in an absent screen"},
        // The tilesets and the tiles taken from them.
        {Tmx{.tilesets = sheet(R"(firstgid="3" tilecount="5")")}.withTiles(),
         "layer \"tiles\", row 0, column 0: tile gid 1 is below the firstgid 3 of tileset "
         "\"sheet\"\n"},
        {Tmx().withTiles(beyond), "layer \"tiles\", row 2, column 4: tile gid 6 is beyond the last "
                                  "tile of tileset \"sheet\" (gids 1 to 5)"},
        {twoTilesets.withTiles(beyond),
         "layer \"tiles\", row 2, column 4: tile gid 6 is from tileset \"markers\""},
        {Tmx{.tilesets = sheet(R"(firstgid="1" tilecount="5")", notBool)}.withTiles(),
         "tileset \"sheet\", tile 2: property \"solid\" is of type \"string\""},
        // The tile count from an image far beyond an int's range.
        {Tmx{.tilesets = sheet(R"(firstgid="1")", hugeImage)}.withTiles(),
         "tileset \"sheet\" has 3906250000 tiles; a map file has room for 1 to 254"},
        // What is not a Tiled map, and values of the wrong kind.
        {"<tileset/>", "no <map> element; not a Tiled map (.tmx)\n"},
        {"{\"type\": \"tileset\"}", "not a Tiled map: the JSON has no", "map.json"},
        {"tile . 1\n", "not a Tiled map by its name", "map.txt"},
        {jsonWithWidth("\"" + std::string(5000, 'w') + "\""),
         "the map \"width\" is \"" + std::string(37, 'w') + "...\", not a whole number\n",
         "map.json"},
        {jsonWithWidth("18446744073709551615"), "the map \"width\" is 1844674407370", "map.json"},
        {jsonWithWidth("[16]"), "the map \"width\" is an array", "map.json"},
        // Nesting and broken syntax.
        {groups(65), deep},
        {groups(100000), deep},
        {jsonMap(nested(R"({"type": "group", "name": "g", "layers": [)", "", "]}", 65)), deep,
         "map.json"},
        {R"({"type": "map", "x": )" + nested("[", "", "]", 100000) + "}",
         "the JSON is nested more than 160 levels deep", "map.json"},
        {"{\"type\": \"" + std::string(100000, 'a') + "\x01\"}",
         "not readable JSON at byte 100011 (", "map.json"},
        {"{\"type\": ", "not readable JSON at byte 10 (", "map.json"},
        {"<map", "not readable XML: "},
    };
    for (const auto& [text, start, name] : cases) {
        SCOPED_TRACE(start);
        writeFile(name, text);
        writeFile("out.map", "earlier");
        auto result = importMap(name);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.substr(0, name.size() + 2 + start.size()), name + ": " + start);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_LT(result.err.size(), 250u);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(readFile("out.map"), "earlier");
    }
}

// The build imports data/maps/tiled/rockfall.tmx beside the map compiled from
// the level's text; both must be the same file to the byte.
TEST(TiledImportTest, TheDemoTiledLevelEqualsItsTextMap) {
    std::string text = readFile(std::string(KCS_DEMO_DATA) + "/rockfall.map");
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(readFile(std::string(KCS_DEMO_DATA) + "/rockfall-tiled.map") == text)
        << "rockfall-tiled.map differs from rockfall.map";
}
