// kcs-map import: maps made in the Tiled editor, as TMX or JSON, in every
// layer data form Tiled writes, and the one-line refusals of maps that cannot
// be kcs maps.
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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

std::string base64(const std::vector<uint8_t>& bytes) {
    static const char* const DIGITS =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
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

std::string base64(const std::vector<uint32_t>& gids) {
    std::vector<uint8_t> bytes;
    for (uint32_t gid : gids) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(gid >> shift));
        }
    }
    return base64(bytes);
}

// A zlib or gzip stream of `count` zero bytes, about 150 times smaller: a
// zero, then copies of 258 bytes from one byte back, in one deflate block of
// fixed codes. The trailers' check values are left zero: an import must
// refuse the data long before it gets there.
std::vector<uint8_t> packedZeros(size_t count, bool gzip) {
    std::vector<uint8_t> bytes = gzip ? std::vector<uint8_t>{0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 0xff}
                                      : std::vector<uint8_t>{0x78, 0x01};
    int used = 8; // bits of the last byte, filled from the low end
    auto bit = [&](uint32_t value) {
        if (used == 8) {
            bytes.push_back(0);
            used = 0;
        }
        bytes.back() |= static_cast<uint8_t>((value & 1) << used++);
    };
    auto code = [&](uint32_t value, int length) { // Huffman codes go high bit first
        while (length-- > 0) {
            bit(value >> length);
        }
    };
    bit(1); // the last block,
    bit(1); // of fixed codes: type 1, low bit first
    bit(0);
    code(0x30, 8); // literal 0
    size_t left = count - 1;
    for (; left >= 258; left -= 258) {
        code(0xC5, 8); // length 258
        code(0, 5);    // distance 1
    }
    for (; left > 0; --left) {
        code(0x30, 8);
    }
    code(0, 7); // end of block
    bytes.resize(bytes.size() + (gzip ? 8 : 4), 0);
    return bytes;
}

// `count` levels of open, then inner, then as many of close.
std::string nested(const std::string& open, const std::string& inner, const std::string& close,
                   int count) {
    std::string text;
    for (int level = 1; level <= count; ++level) {
        text += open;
    }
    text += inner;
    for (int level = 1; level <= count; ++level) {
        text += close;
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

} // namespace

// ---- The data forms and tilesets -------------------------------------------

// Each way Tiled writes the test screen imports to the same map file.
TEST(TiledImportTest, EveryDataFormAndTilesetFormImportsTheSameScreen) {
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
    writeFile("sheet.tsx", R"(<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.10" name="sheet" tilewidth="16" tileheight="16" tilecount="5" columns="1">
 <image source="tiles.bmp" width="16" height="80"/>
 <tile id="1"><properties><property name="solid" type="bool" value="true"/></properties></tile>
</tileset>
)");
    writeFile("sheet.tsj", R"({"type": "tileset", "name": "sheet", "tilewidth": 16,
 "tileheight": 16, "tilecount": 5, "columns": 1, "image": "tiles.bmp",
 "tiles": [{"id": 1, "properties": [{"name": "solid", "type": "bool", "value": true}]}]})");
    Tmx grouped;
    grouped.tilesets = R"(<tileset firstgid="1" source="sheet.tsx"/>)";
    grouped.csvLayer("tiles", screenGids());
    // As deep as groups may be nested.
    grouped.layers = nested("<group name=\"level\">", grouped.layers, "</group>", 64);
    Tmx uncounted; // the tile count comes from the image
    uncounted.tilesets = R"(<tileset firstgid="1" name="sheet" tilewidth="16" tileheight="16">
  <image source="tiles.bmp" width="16" height="80"/>
  <tile id="1"><properties><property name="solid" type="bool" value="true"/></properties></tile>
 </tileset>)";
    Tmx markers; // a second tileset may mark solid cells
    markers.tilesets += R"(
 <tileset firstgid="6" name="markers" tilewidth="16" tileheight="16" tilecount="1">
  <image source="marker.bmp" width="16" height="16"/>
 </tileset>)";
    std::vector<uint32_t> floorMarks(SCREEN_W * SCREEN_H, 0);
    std::fill(floorMarks.begin() + 14 * SCREEN_W, floorMarks.end(), 6);
    std::string jsonOwnTileset =
        jsonMap(jsonLayer("tiles", R"("data": )" + jsonArray(screenGids())));
    size_t start = jsonOwnTileset.find("[{\"firstgid\"");
    size_t end = jsonOwnTileset.find("]}],", start) + 3;
    jsonOwnTileset.replace(start, end - start, R"([{"firstgid": 1, "source": "sheet.tsj"}])");
    ASSERT_EQ(jsonOwnTileset.find("tilecount"), std::string::npos);

    const std::pair<std::string, std::string> maps[] = {
        {"csv.tmx", Tmx().csvLayer("tiles", screenGids()).text()},
        {"base64.tmx",
         Tmx()
             .layer("tiles", "encoding=\"base64\"", "\n   " + base64(screenGids()) + "\n  ")
             .text()},
        {"zlib.tmx",
         Tmx().layer("tiles", "encoding=\"base64\" compression=\"zlib\"", SCREEN_ZLIB).text()},
        {"gzip.tmx",
         Tmx().layer("tiles", "encoding=\"base64\" compression=\"gzip\"", SCREEN_GZIP).text()},
        {"cells.tmx", Tmx().layer("tiles", "", cells).text()},
        {"flipped.tmx", Tmx().csvLayer("tiles", flipped).text()},
        {"grouped.tmx", grouped.text()},
        {"uncounted.tmx", uncounted.csvLayer("tiles", screenGids()).text()},
        {"markers.tmx",
         markers.csvLayer("tiles", screenGids()).csvLayer("solid", floorMarks).text()},
        {"array.json", jsonMap(jsonLayer("tiles", R"("data": )" + jsonArray(screenGids())))},
        {"base64.tmj", jsonMap(jsonLayer("tiles", R"("encoding": "base64", "data": ")" +
                                                      base64(screenGids()) + "\""))},
        {"zlib.json", jsonMap(jsonLayer("tiles", R"("encoding": "base64", "compression": "zlib", )"
                                                 R"("data": ")" +
                                                     std::string(SCREEN_ZLIB) + "\""))},
        {"tileset.json", jsonOwnTileset},
        {"grouped.json",
         jsonMap(nested(R"({"type": "group", "name": "level", "layers": [)",
                        jsonLayer("tiles", R"("data": )" + jsonArray(screenGids())), "]}", 64))},
    };
    for (const auto& [name, text] : maps) {
        SCOPED_TRACE(name);
        writeFile(name, text);
        std::filesystem::remove("out.map");
        auto result = importMap(name, "out.map");
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(readFile("out.map"), screenBytes());
    }
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

// ---- Refusals ------------------------------------------------------------

// Each refusal: status 2, its one line and no map file.
TEST(TiledImportTest, RefusalsAreOneLineEachAndLeaveNoMapFile) {
    Tmx bigTiles, bigSheet, wide, high, tooWide, tooHigh, infinite, isometric, below, two;
    bigTiles.tileSize = 32;
    bigSheet.tilesets =
        R"(<tileset firstgid="1" name="big" tilewidth="32" tileheight="32" tilecount="5"/>)";
    wide.width = 20;
    high.height = 16;
    tooWide.width = 256;
    tooHigh.height = 270;
    infinite.infinite = "1";
    infinite.layers = R"( <layer id="1" name="tiles" width="16" height="15">
  <data encoding="csv"><chunk x="0" y="0" width="16" height="16">0</chunk></data>
 </layer>
)";
    isometric.orientation = "isometric";
    below.tilesets =
        R"(<tileset firstgid="3" name="sheet" tilewidth="16" tileheight="16" tilecount="5"/>)";
    two.tilesets += R"(
 <tileset firstgid="6" name="markers" tilewidth="16" tileheight="16" tilecount="1"/>)";
    Tmx notBool;
    notBool.tilesets =
        R"(<tileset firstgid="1" name="sheet" tilewidth="16" tileheight="16" tilecount="5">
  <tile id="2"><properties><property name="solid" value="yes"/></properties></tile>
 </tileset>)";
    std::vector<uint32_t> partly = screenGids();
    partly[7 * SCREEN_W + 9] = 0;
    partly[12 * SCREEN_W + 2] = 0;
    std::vector<uint32_t> short239 = screenGids();
    short239.pop_back();
    std::vector<uint32_t> beyond = screenGids();
    beyond[2 * SCREEN_W + 4] = 6;
    Tmx halfAbsent; // screen 1 absent, with a solid mark in it
    halfAbsent.width = 2 * SCREEN_W;
    std::vector<uint32_t> leftOnly(static_cast<size_t>(halfAbsent.width * halfAbsent.height), 0);
    for (int row = 0; row < halfAbsent.height; ++row) {
        std::fill_n(leftOnly.begin() + row * halfAbsent.width, SCREEN_W, 1);
    }
    std::vector<uint32_t> mark(leftOnly.size(), 0);
    mark[static_cast<size_t>(3 * halfAbsent.width + 20)] = 2;
    Tmx huge; // the tile count from an image far beyond an int's range
    huge.tilesets = R"(<tileset firstgid="1" name="sheet" tilewidth="16" tileheight="16">
  <image source="tiles.bmp" width="1000000" height="1000000"/>
 </tileset>)";
    auto jsonWithWidth = [](const std::string& width) {
        std::string text = jsonMap("");
        return text.replace(text.find("16", text.find("\"width\"")), 2, width);
    };
    const std::string infiniteLine = ": the map is infinite; kcs maps have a fixed size (untick "
                                     "Infinite in the map's properties)";
    const std::string compressionLine = ": layer \"tiles\": unknown compression \"zstd\"; use "
                                        "CSV, or base64 uncompressed or with zlib or gzip";

    const std::string cases[][3] = {
        {"map.tmx", bigTiles.csvLayer("tiles", screenGids()).text(),
         "map.tmx: the map's tiles are 32 x 32 px; kcs tiles are 16 x 16 px"},
        {"map.tmx", bigSheet.csvLayer("tiles", screenGids()).text(),
         "map.tmx: tileset \"big\" has tiles of 32 x 32 px; kcs tiles are 16 x 16 px"},
        {"map.tmx", wide.text(),
         "map.tmx: the map is 20 tiles wide; the width must be a multiple of 16 tiles (one "
         "screen), 16 to 240"},
        {"map.tmx", high.text(),
         "map.tmx: the map is 16 tiles high; the height must be a multiple of 15 tiles (one "
         "screen), 15 to 255"},
        {"map.tmx", tooWide.text(),
         "map.tmx: the map is 256 tiles wide; a map file holds at most 240 (15 screens)"},
        {"map.tmx", tooHigh.text(),
         "map.tmx: the map is 270 tiles high; a map file holds at most 255 (17 screens)"},
        {"map.tmx", infinite.text(), "map.tmx" + infiniteLine},
        {"map.json", jsonMap("", "true"), "map.json" + infiniteLine},
        {"map.tmx", isometric.csvLayer("tiles", screenGids()).text(),
         "map.tmx: the map's orientation is \"isometric\"; kcs maps are \"orthogonal\" (Map > "
         "Map Properties > Orientation)"},
        {"map.tmx", Tmx().csvLayer("tiles", partly).text(),
         "map.tmx: layer \"tiles\", row 7, column 9: empty cell in screen column 0, row 0, which "
         "has 238 of 240 tiles; a screen is all empty (absent) or all filled"},
        {"map.tmx",
         Tmx().layer("tiles", "encoding=\"base64\" compression=\"zstd\"", SCREEN_ZLIB).text(),
         "map.tmx" + compressionLine},
        {"map.json",
         jsonMap(jsonLayer("tiles", R"("encoding": "base64", "compression": "zstd", )"
                                    R"("data": "AAAA")")),
         "map.json" + compressionLine},
        {"map.tmx",
         Tmx()
             .layer("tiles", "encoding=\"base64\" compression=\"zlib\"",
                    std::string(SCREEN_ZLIB).substr(0, 20))
             .text(),
         "map.tmx: layer \"tiles\": the compressed data ends early"},
        {"map.tmx", Tmx().layer("tiles", "encoding=\"csv\"", csv(short239, SCREEN_W)).text(),
         "map.tmx: layer \"tiles\": the data holds 239 cells; the layer has 240"},
        {"map.tmx", Tmx().layer("tiles", "encoding=\"base64\"", "AAA*").text(),
         "map.tmx: layer \"tiles\": the base64 data has '*' at character 3"},
        {"map.tmx", Tmx().csvLayer("solid", screenGids()).text(),
         "map.tmx: missing layer: no tile layer holds the tiles; add one named \"tiles\""},
        {"map.tmx", Tmx().csvLayer("ground", screenGids()).csvLayer("sky", screenGids()).text(),
         "map.tmx: several tile layers (\"ground\", \"sky\") could hold the tiles; name the one "
         "that does \"tiles\""},
        {"map.tmx", below.csvLayer("tiles", screenGids()).text(),
         "map.tmx: layer \"tiles\", row 0, column 0: tile gid 1 is below the firstgid 3 of "
         "tileset \"sheet\""},
        {"map.tmx", Tmx().csvLayer("tiles", beyond).text(),
         "map.tmx: layer \"tiles\", row 2, column 4: tile gid 6 is beyond the last tile of "
         "tileset \"sheet\" (gids 1 to 5)"},
        {"map.tmx", two.csvLayer("tiles", beyond).text(),
         "map.tmx: layer \"tiles\", row 2, column 4: tile gid 6 is from tileset \"markers\"; the "
         "tiles must all come from the first tileset, \"sheet\""},
        {"map.tmx", halfAbsent.csvLayer("tiles", leftOnly).csvLayer("solid", mark).text(),
         "map.tmx: layer \"solid\", row 3, column 20: a solid mark in an absent screen (the "
         "tiles layer is empty there)"},
        {"map.tmx", notBool.csvLayer("tiles", screenGids()).text(),
         "map.tmx: tileset \"sheet\", tile 2: property \"solid\" is of type \"string\"; make it "
         "a bool"},
        {"map.tmx", huge.csvLayer("tiles", screenGids()).text(),
         "map.tmx: tileset \"sheet\" has 3906250000 tiles; a map file has room for 1 to 254"},
        {"map.tmx", "<tileset/>", "map.tmx: no <map> element; not a Tiled map (.tmx)"},
        {"map.json", jsonWithWidth("\"16\""),
         "map.json: the map \"width\" is \"16\", not a whole number"},
        {"map.json", jsonWithWidth("\"" + std::string(5000, 'w') + "\""),
         "map.json: the map \"width\" is \"" + std::string(37, 'w') + "...\", not a whole number"},
        {"map.json", jsonWithWidth("18446744073709551615"),
         "map.json: the map \"width\" is 18446744073709551615, far out of range"},
        {"map.json", jsonWithWidth("[16]"),
         "map.json: the map \"width\" is an array, not a whole number"},
        {"map.json", "{\"type\": \"tileset\"}",
         "map.json: not a Tiled map: the JSON has no \"type\": \"map\""},
        {"map.txt", "tile . 1\n",
         "map.txt: not a Tiled map by its name; it must end in .tmx, .tmj or .json"},
    };
    for (const auto& [name, text, line] : cases) {
        writeFile(name, text);
        std::filesystem::remove("out.map");
        auto result = importMap(name, "out.map");
        EXPECT_EQ(result.status, 2) << line;
        EXPECT_EQ(result.err, line + "\n");
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists("out.map")) << line;
    }
    // A failed import leaves the earlier map file.
    writeFile("out.map", "earlier");
    writeFile("map.tmx", wide.text());
    EXPECT_EQ(importMap("map.tmx", "out.map").status, 2);
    EXPECT_EQ(readFile("out.map"), "earlier");
}

// Files made to hurt the importer: nesting deeper than anything walks,
// streams that inflate far beyond the layer, huge declared sizes, tokens that
// a message would repeat. Each is refused at once in one short line, naming
// the file; what the libraries say is checked by its start only.
TEST(TiledImportTest, HostileFilesAreRefusedQuicklyInOneShortLine) {
    const std::string groupLine = ": group \"g\" is nested more than 64 groups deep";
    auto tmxGroups = [](int depth) {
        Tmx map;
        map.layers = nested("<group name=\"g\">", "", "</group>", depth);
        return map.text();
    };
    auto jsonGroups = [](int depth) {
        return jsonMap(nested(R"({"type": "group", "name": "g", "layers": [)", "", "]}", depth));
    };
    auto packedLayer = [](const std::string& compression, size_t zeros, int size = 0) {
        Tmx map;
        std::string data = base64(packedZeros(zeros, compression == "gzip"));
        std::string attributes = "encoding=\"base64\" compression=\"" + compression + "\"";
        map.layer("tiles", attributes, data);
        if (size != 0) {
            std::string declared = "width=\"16\" height=\"15\">\n  <data";
            map.layers.replace(map.layers.find(declared), declared.size(),
                               "width=\"" + std::to_string(size) + "\" height=\"" +
                                   std::to_string(size) + "\">\n  <data");
        }
        return map.text();
    };
    std::vector<uint32_t> extraCell = screenGids();
    extraCell.push_back(1);
    const std::string cellLine = ": layer \"tiles\": the compressed data inflates to more than "
                                 "the layer's 240 cells";
    std::filesystem::create_directories("dir.tsx");
    Tmx directoryTileset;
    directoryTileset.tilesets = R"(<tileset firstgid="1" source="dir.tsx"/>)";

    const std::string cases[][3] = {
        {"map.tmx", tmxGroups(65), "map.tmx" + groupLine},
        {"map.tmx", tmxGroups(100000), "map.tmx" + groupLine},
        {"map.json", jsonGroups(65), "map.json" + groupLine},
        {"map.json", R"({"type": "map", "x": )" + nested("[", "", "]", 100000) + "}",
         "map.json: the JSON is nested more than 160 levels deep"},
        {"map.json", "{\"type\": \"" + std::string(100000, 'a') + "\x01\"}",
         "map.json: not readable JSON at byte 100011 ("},
        {"map.json", "{\"type\": ", "map.json: not readable JSON at byte 10 ("},
        {"map.tmx", "<map", "map.tmx: not readable XML: "},
        {"map.tmx", packedLayer("zlib", 256 << 10), "map.tmx" + cellLine},
        {"map.tmx", packedLayer("gzip", 256 << 10), "map.tmx" + cellLine},
        {"map.tmx", packedLayer("zlib", 16 << 20),
         // zlib's bound on compressed sizes gives the number.
         "map.tmx: layer \"tiles\": the base64 data decodes to more than "},
        {"map.tmx", packedLayer("zlib", 64 << 20, 1000000),
         "map.tmx: layer \"tiles\": the layer is 1000000 x 1000000 tiles; a map file holds at "
         "most 240 x 255"},
        {"map.tmx", Tmx().layer("tiles", "encoding=\"base64\"", base64(extraCell)).text(),
         "map.tmx: layer \"tiles\": the base64 data decodes to more than 960 bytes, the size of "
         "the layer's 240 cells"},
        {"map.tmx", directoryTileset.text(), "dir.tsx: cannot read it"},
    };
    for (const auto& [name, text, start] : cases) {
        SCOPED_TRACE(start);
        writeFile(name, text);
        std::filesystem::remove("out.map");
        auto begin = std::chrono::steady_clock::now();
        auto result = importMap(name, "out.map");
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.substr(0, start.size()), start);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_LT(result.err.size(), 250u);
        EXPECT_LT(took.count(), 5.0);
        EXPECT_FALSE(std::filesystem::exists("out.map"));
    }
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
