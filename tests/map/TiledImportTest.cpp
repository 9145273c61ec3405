// kcs-map import: maps made in the Tiled editor, as TMX or JSON, in every
// layer data form Tiled writes, and the one-line refusals of maps that cannot
// be kcs maps; kcs-map export back to Tiled.
#include "graphics/Picture.h"
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

using testing_support::MapBytes;
using testing_support::pixelAt;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::writeFile;

namespace {

constexpr int SCREEN_W = 16; // tiles
constexpr int SCREEN_H = 15; // tiles

// The test screen as global tile ids: sky (gid 1) over a floor of gid 2.
std::vector<uint32_t> screenGids() {
    std::vector<uint32_t> gids(SCREEN_W * SCREEN_H, 1);
    std::fill(gids.end() - SCREEN_W, gids.end(), 2);
    return gids;
}

// The same screen as base64 of the little-endian ids compressed by zlib and
// by gzip, and 64 KiB of zeros compressed by zlib: far more than a layer
// holds (made once with Python's zlib and gzip modules).
const char* const SCREEN_ZLIB = "eNpjZGBgYBzFo3gUDwhmohADAMnPAQE=";
const char* const SCREEN_GZIP = "H4sIAAAAAAACA2NkYGBgHMWjeBQPCGaiEAMA8s93jcADAAA=";
const char* const ZEROS_ZLIB =
    "eNrtwQEBAAAAgJD+r+4ICgAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
    "AAAAAAAAAAAAAAAGoADwAB";

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
// Tile id 4 (gid 5) is the ladder by its property.
const std::string LADDER_TILE =
    R"(<tile id="4"><properties><property name="ladder" type="bool" value="true"/>)"
    "</properties></tile>";
const std::string ZLIB = "encoding=\"base64\" compression=\"zlib\"";

// An orthogonal TMX map of 16 px tiles; every part can be changed for a test.
struct Tmx {
    int width = SCREEN_W;  // tiles
    int height = SCREEN_H; // tiles
    std::string tilesets =
        sheet(R"(firstgid="1" tilecount="5" columns="1")", SHEET_IMAGE + SOLID_TILE);
    std::string layers = "";

    // A tile layer of the map's size.
    Tmx& layer(const std::string& name, const std::vector<uint32_t>& gids,
               const std::string& dataAttributes = "encoding=\"csv\"",
               const std::string& data = "") {
        layers += " <layer id=\"1\" name=\"" + name + "\" width=\"" + std::to_string(width) +
                  "\" height=\"" + std::to_string(height) + "\">\n  <data " + dataAttributes + ">" +
                  (data.empty() ? csv(gids) : data) + "</data>\n </layer>\n";
        return *this;
    }
    // The text with one more layer, "tiles", in CSV or in another form.
    std::string withTiles(const std::vector<uint32_t>& gids = screenGids(),
                          const std::string& dataAttributes = "encoding=\"csv\"",
                          const std::string& data = "") const {
        return Tmx(*this).layer("tiles", gids, dataAttributes, data).text();
    }
    std::string text() const {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" "
               "orientation=\"orthogonal\" renderorder=\"right-down\" width=\"" +
               std::to_string(width) + "\" height=\"" + std::to_string(height) +
               "\" tilewidth=\"16\" tileheight=\"16\" infinite=\"0\">\n " + tilesets + "\n" +
               layers + "</map>\n";
    }
};

// The members of the tileset of Tmx in JSON.
const std::string JSON_SHEET = R"("name": "sheet", "tilewidth": 16, "tileheight": 16,
 "tilecount": 5, "columns": 1, "image": "tiles.bmp",
 "tiles": [{"id": 1, "properties": [{"name": "solid", "type": "bool", "value": true}]}])";

// A JSON map of one screen, by default with the tileset of Tmx, of the
// layers given; the layer "tiles" with the data members given.
std::string jsonMap(const std::string& layers,
                    const std::string& tilesets = R"([{"firstgid": 1, )" + JSON_SHEET + "}]") {
    return R"({"type": "map", "version": "1.10", "orientation": "orthogonal",
 "renderorder": "right-down", "width": 16, "height": 15, "tilewidth": 16, "tileheight": 16,
 "infinite": false, "tilesets": )" +
           tilesets + ", \"layers\": [" + layers + "]}";
}
// An object layer "o" of the objects given as attributes.
std::string objectLayer(const std::vector<std::string>& objects) {
    std::string text = "<objectgroup name=\"o\">";
    for (const std::string& attributes : objects) {
        text += "<object " + attributes + "/>";
    }
    return text + "</objectgroup>";
}
std::string jsonTiles(const std::string& dataMembers) {
    return R"({"type": "tilelayer", "id": 1, "name": "tiles", "width": 16, "height": 15, "x": 0,
 "y": 0, "opacity": 1, "visible": true, )" +
           dataMembers + "}";
}

} // namespace

// Each way Tiled writes a map imports to its map file: every data form and
// tileset form of the test screen gives the same file; the solid layer
// gives what it means; what kcs-map export writes gives the map file it
// came from; and a map that is not whole screens is padded with the tile
// --pad names, solid as its property says.
TEST(TiledImportTest, EveryFormImportsToItsMapFile) {
    MapBytes screen(1, 1, 6);
    for (int column = 0; column < SCREEN_W; ++column) {
        screen.tile(column, 14, 2, true);
    }
    std::string cells = "\n";
    for (uint32_t gid : screenGids()) {
        cells += "<tile gid=\"" + std::to_string(gid) + "\"/>";
    }
    // Every flag Tiled sets on a flipped or rotated tile is masked off.
    std::vector<uint32_t> flipped = screenGids();
    flipped[0] |= 0xF0000000u;
    flipped[14 * SCREEN_W + 5] |= 0xE0000000u; // on a solid tile
    // A tileset in a file of its own, its tile count taken from the image,
    // and flipped tiles in groups as deep as groups may be nested.
    writeFile("sheet.tsx", "<?xml version=\"1.0\"?>\n" + sheet("", SHEET_IMAGE + SOLID_TILE));
    writeFile("sheet.tsj", R"({"type": "tileset", )" + JSON_SHEET + "}");
    Tmx grouped{.tilesets = R"(<tileset firstgid="1" source="sheet.tsx"/>)"};
    grouped.layer("tiles", flipped);
    grouped.layers = nested("<group name=\"level\">", grouped.layers, "</group>", 64);

    // "solid" may come first, and a layer besides "tiles" and "solid" is a
    // guide that is ignored. The solid layer alone decides what is solid:
    // the property of gid 2 gives way to it, and a tile of any tileset,
    // flipped too, marks a cell.
    std::vector<uint32_t> solid(SCREEN_W * SCREEN_H, 0);
    std::fill(solid.end() - SCREEN_W, solid.end() - 1, 1); // the floor but its last tile
    solid[0] = 0x80000006u;
    Tmx marked{.tilesets = Tmx().tilesets + MARKER_SHEET};
    marked.layer("solid", solid).layer("guide", std::vector<uint32_t>(solid.size(), 4));

    // kcs-map export writes a TMX that names the sheet given and imports
    // back; its empty screen is absent.
    MapBytes level(2, 2, 9);
    level.removeScreen(1, 1).fillScreen(1, 0, 8).tile(16, 11, 1, true).tile(3, 20, 5);
    writeFile("level.map", level.bytes());
    auto exported =
        runProgram(std::string(KCS_MAP_BINARY) + " export level.map level.tmx --tiles sheet.bmp");
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(readFile("level.tmx").find("<image source=\"sheet.bmp\""), std::string::npos);

    // A map 20 tiles wide padded with the solid tile 1 (code 2).
    MapBytes padded(2, 1, 6);
    for (int cell = 0; cell < 12 * SCREEN_H; ++cell) {
        padded.tile(20 + cell % 12, cell / 12, 2, true);
    }

    // Name, text, the map file expected, options.
    const std::string maps[][4] = {
        {"csv.tmx", Tmx().withTiles(), screen.bytes()},
        // Four bytes a gid, little-endian: 240 cells of gid 1 are 80 times
        // three; the text around the data is skipped.
        {"base64.tmx",
         Tmx().withTiles({}, "encoding=\"base64\"",
                         "\n   " + repeated("AQAAAAEAAAABAAAA", 80) + "\n  "),
         MapBytes(1, 1, 6).bytes()},
        {"zlib.tmx", Tmx().withTiles({}, ZLIB, SCREEN_ZLIB), screen.bytes()},
        {"cells.tmx", Tmx().withTiles({}, "", cells), screen.bytes()},
        {"grouped.tmx", grouped.text(), screen.bytes()},
        {"gzip.tmj",
         jsonMap(jsonTiles(R"("encoding": "base64", "compression": "gzip", "data": ")" +
                           std::string(SCREEN_GZIP) + "\"")),
         screen.bytes()},
        {"grouped.json",
         jsonMap(nested(R"({"type": "group", "name": "level", "layers": [)",
                        jsonTiles(R"("data": [)" + csv(screenGids()) + "]"), "]}", 64),
                 R"([{"firstgid": 1, "source": "sheet.tsj"}])"),
         screen.bytes()},
        {"solid.tmx", marked.withTiles(),
         MapBytes(screen).tile(15, 14, 2).tile(0, 0, 1, true).bytes()},
        {"exported.tmx", readFile("level.tmx"), level.bytes()},
        {"padded.tmx", Tmx{.width = 20}.withTiles(std::vector<uint32_t>(20 * SCREEN_H, 1)),
         padded.bytes(), "--pad 1"},
    };
    for (const auto& [name, text, expected, options] : maps) {
        SCOPED_TRACE(name);
        writeFile(name, text);
        std::filesystem::remove("out.map");
        auto result =
            runProgram(std::string(KCS_MAP_BINARY) + " import " + name + " out.map " + options);
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
    const std::string hugeLayer = R"(<layer name="tiles" width="1000000" height="1000000">
  <data encoding="csv">1</data></layer>)";
    const std::string hugeImage = R"(<image source="t.bmp" width="1000000" height="1000000"/>)";
    std::string longWidth = jsonMap("");
    longWidth.replace(longWidth.find("16"), 2, '"' + std::string(5000, 'w') + '"');

    struct Refusal {
        std::string text;
        std::string start; // of the line after "FILE: "
        std::string name = "map.tmx";
        std::string options = "";
    };
    std::vector<uint32_t> ladders = std::vector<uint32_t>(SCREEN_W * SCREEN_H, 0);
    ladders[3] = ladders[14 * SCREEN_W + 3] = 5; // over the sky, and over the floor
    std::vector<uint32_t> many(2 * SCREEN_W * SCREEN_H);
    for (size_t i = 0; i < many.size(); ++i) {
        many[i] = static_cast<uint32_t>(i % 300 + 1);
    }
    const Refusal cases[] = {
        // The map's size.
        {Tmx{.width = 20}.text(), "the map is 20 tiles wide, not whole screens of 16; pad it to 32 "
                                  "with --pad TILE or --pad empty, or crop it to 16 in Tiled (Map "
                                  "> Resize Map)\n"},
        {Tmx{.width = 20}.withTiles(std::vector<uint32_t>(20 * SCREEN_H, 1)),
         "--pad 5 is not a tile of the first tileset, \"sheet\", whose ids are 0 to 4\n", "map.tmx",
         "--pad 5"},
        // Flattened layers: a code each, and one for the ladder.
        {Tmx{.tilesets = sheet(R"(firstgid="1" tilecount="5")", LADDER_TILE)}
             .layer("ladders", ladders)
             .withTiles(),
         "row 14, column 3: a ladder drawn with other tiles than the one at row 0, column 3; ",
         "map.tmx", "--tiles out.bmp"},
        {Tmx{.width = 32, .tilesets = sheet(R"(firstgid="1" tilecount="300")")}.withTiles(many),
         "the layers make 300 different tiles", "map.tmx", "--tiles out.bmp"},
        // The layers and their data.
        {Tmx().withTiles(partly), "layer \"tiles\", row 7, column 9: empty cell in screen column "
                                  "0, row 0, which has 239 of 240"},
        {Tmx().withTiles({}, "encoding=\"base64\" compression=\"zstd\"", SCREEN_ZLIB),
         "layer \"tiles\": unknown compression \"zstd\"; use CSV, or base64 uncompressed or with "
         "zlib or gzip\n"},
        {Tmx().withTiles({}, ZLIB, ZEROS_ZLIB),
         "layer \"tiles\": the compressed data inflates to more than the layer's 240"},
        {Tmx().withTiles({}, "encoding=\"base64\"", repeated("AAAA", 322)),
         "layer \"tiles\": the base64 data decodes to more than 960 bytes"},
        {Tmx{.layers = hugeLayer}.text(), "layer \"tiles\": the layer is 1000000 x"},
        {Tmx().layer("solid", screenGids()).text(),
         "missing layer: no tile layer holds the tiles; add one named \"tiles\"\n"},
        // The tilesets and the tiles taken from them.
        {Tmx{.tilesets = sheet(R"(firstgid="3" tilecount="5")")}.withTiles(),
         "layer \"tiles\", row 0, column 0: tile gid 1 is below the firstgid 3 of tileset "
         "\"sheet\"\n"},
        // The tile count from an image far beyond an int's range.
        {Tmx{.tilesets = sheet(R"(firstgid="1")", hugeImage)}.withTiles(),
         "tileset \"sheet\" has 3906250000 tiles; a map file has room for 1 to 254"},
        // What is not a Tiled map, and a value of the wrong kind.
        {"<tileset/>", "no <map> element; not a Tiled map (.tmx)\n"},
        {longWidth,
         "the map \"width\" is \"" + std::string(37, 'w') + "...\", not a whole number\n",
         "map.json"},
        // Nesting and broken syntax.
        {Tmx{.layers = nested("<group name=\"g\">", "", "</group>", 100000)}.text(),
         "group \"g\" is nested more than 64 groups deep\n"},
        {jsonMap(nested(R"({"type": "group", "name": "g", "layers": [)", "", "]}", 65)),
         "group \"g\" is nested more than 64 groups deep\n", "map.json"},
        {R"({"type": "map", "x": )" + nested("[", "", "]", 100000) + "}",
         "the JSON is nested more than 160 levels deep", "map.json"},
        {"{\"type\": \"" + std::string(100000, 'a') + "\x01\"}",
         "not readable JSON at byte 100011 (", "map.json"},
        {"<map", "not readable XML: "},
        // Objects.
        {Tmx{.layers = objectLayer({R"(id="7" x="8" y="8")"})}.withTiles(),
         "layer \"o\", object 7: no kind; set its class to a kind file, as walker.ini, or give "
         "it a string property \"kind\"\n"},
        {Tmx{.layers = objectLayer({R"(id="7" name="a" type="walkr" x="8" y="8")"})}.withTiles(),
         "layer \"o\", object 7 \"a\": no kind file \"walkr.ini\" beside levels.ini; ", "map.tmx",
         "--levels levels.ini --level L"},
        {Tmx{.layers = objectLayer({R"(id="7" type="w" x="8" y="239.6")"})}.withTiles(),
         "layer \"o\", object 7 at (8, 240) px lies outside the map (256 x 240 px); move it onto "
         "the map\n"},
        {Tmx{.layers = objectLayer(std::vector<std::string>(257, "type=\"w\""))}.withTiles(),
         "the object layers hold more than 256 objects; "},
    };
    for (const auto& [text, start, name, options] : cases) {
        SCOPED_TRACE(start);
        writeFile(name, text);
        writeFile("out.map", "earlier");
        auto result =
            runProgram(std::string(KCS_MAP_BINARY) + " import " + name + " out.map " + options);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.substr(0, name.size() + 2 + start.size()), name + ": " + start);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_LT(result.err.size(), 250u);
        EXPECT_EQ(readFile("out.map"), "earlier");
    }
}

// The visible object layers give the level's objects, TMX and JSON alike: a
// rectangle at its corner rounded, a tile object by its bottom, the kind
// from the class or type, or a "kind" property, "walker" meaning
// walker.ini. Without a level the keys are printed; with one they replace
// the section's object keys where they stood, all else kept, CR LF too.
// export writes them back as rectangles of their kinds' boxes, and
// importing that gives the same keys.
TEST(TiledImportTest, ObjectLayersGiveTheLevelsObjects) {
    writeFile("walker.ini", "[Object]\nbehaviour=walker\n[BoundingBox]\nwidth=12\nheight=8\n");
    const std::string tmx =
        Tmx{.layers = R"(<objectgroup name="o"><object id="1" type="walker" x="40.4" y="100"/>)"
                      R"(<object id="2" gid="1" x="64" y="200" height="16"><properties><property )"
                      R"(name="kind" value="walker.ini"/></properties></object></objectgroup>)"
                      R"(<objectgroup visible="0"><object id="3"/></objectgroup>)"}
            .withTiles();
    writeFile("objects.tmx", tmx);
    writeFile("objects.json", jsonMap(jsonTiles(R"("data": [)" + csv(screenGids()) + "]") +
                                      R"(, {"type": "objectgroup", "name": "o", "objects": [
 {"id": 1, "class": "walker", "x": 40.4, "y": 100}, {"id": 2, "gid": 1, "x": 64, "y": 200,
 "height": 16, "properties": [{"name": "kind", "type": "string", "value": "walker.ini"}]}]})"));
    const std::string keys =
        "objectAmount=2\r\nobject0=walker.ini\r\nobject0x=40\r\nobject0y=100\r\n"
        "object1=walker.ini\r\nobject1x=64\r\nobject1y=184\r\n";
    auto printed = runProgram(std::string(KCS_MAP_BINARY) + " import objects.json out.map");
    EXPECT_EQ(printed.out, std::regex_replace(keys, std::regex("\r"), ""));

    const std::string before =
        "; levels\r\n[L]\r\ntileMap=a.map\r\nobjectAmount=3\r\n; the door\r\n"
        "object2=exit.ini\r\n[M]\r\nobject0=x.ini";
    const std::string after =
        "; levels\r\n[L]\r\ntileMap=a.map\r\n" + keys + "; the door\r\n[M]\r\nobject0=x.ini";
    const std::string level = " --levels levels.ini --level L";
    for (const std::string& command :
         {"import objects.tmx out.map" + level, "export out.map back.tmx" + level,
          "import back.tmx back.map" + level}) {
        SCOPED_TRACE(command);
        writeFile("levels.ini", command.starts_with("export") ? after : before);
        auto result = runProgram(std::string(KCS_MAP_BINARY) + " " + command);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readFile("levels.ini"), after);
    }
    EXPECT_NE(
        readFile("back.tmx").find(R"(type="walker.ini" x="64" y="184" width="12" height="8")"),
        std::string::npos);
}

// A map as Tiled's users draw them: 40 x 20 tiles, not whole screens; a
// ground layer, decorations in a group, a top layer with a ladder and a
// flipped tile, and a hidden guide; a PNG tileset of 300 tiles with margin
// and spacing, half transparent from tile 100, and a BMP tileset of one
// tile. With --tiles and --pad each stack is a code in the stacks' order
// (code 5 the ladder's), the padding is tile 0, the sheet shows the stacks,
// the first level of the demo takes the pair, and kcs-map export writes it
// back as one layer over that sheet.
TEST(TiledImportTest, LayeredMapsImportWithTheSheetOfTheirStacks) {
    constexpr int WIDTH = 40, HEIGHT = 20, COLUMNS = 20, TILES = 300, STEP = 18; // tiles, px
    auto colour = [](int tile) { return static_cast<uint32_t>(tile) << 8 | 7; };
    Picture picture(1 + COLUMNS * STEP, 1 + TILES / COLUMNS * STEP, 0xFFFFFF, "sheet.png");
    for (int tile = 0; tile < TILES; ++tile) {
        int left = 1 + tile % COLUMNS * STEP;
        int top = 1 + tile / COLUMNS * STEP;
        picture.fill(left, top, 16, 16, colour(tile));
        picture.fill(left, top, tile >= 100 ? 8 : 0, 16, 0xFF80FF);
    }
    writeFile("sheet.png", picture.png());
    testing_support::writeBmp("marker.bmp", 16, 16, [](int, int) { return 0x123456u; });
    Tmx map{.width = WIDTH,
            .height = HEIGHT,
            .tilesets = sheet(R"(firstgid="1" tilecount="300" margin="1" spacing="2")",
                              R"(<image source="sheet.png"/>)" + SOLID_TILE + LADDER_TILE) +
                        R"(<tileset firstgid="301" name="markers" tilewidth="16" tileheight="16" )"
                        R"(tilecount="1"><image source="marker.bmp"/></tileset>)"};
    std::vector<uint32_t> ground(WIDTH * HEIGHT), decor(ground.size()), top(ground.size());
    for (int cell = 0; cell < WIDTH * HEIGHT; ++cell) {
        int row = cell / WIDTH, column = cell % WIDTH;
        ground[cell] = static_cast<uint32_t>(1 + column % 3);
        decor[cell] = column < 8 && (row + column) % 7 == 0 ? 101 : 0;
        top[cell] = column == 9 && row >= 10 ? 5 : 0;
    }
    top[3 * WIDTH + 5] = 0x800000FBu; // flipped across
    top[3 * WIDTH + 6] = 301;         // the BMP's tile
    map.layer("ground", ground).layer("decor", decor);
    map.layers = "<group name=\"g\">" + map.layers + "</group>";
    map.layer("top", top).layer("guide", ground);
    map.layers.insert(map.layers.find("name=\"guide\""), "visible=\"0\" ");
    writeFile("layered.tmx", map.text());
    ASSERT_EQ(runProgram(std::string(KCS_MAP_BINARY) +
                         " import layered.tmx out.map --tiles out.bmp --pad 0")
                  .status,
              0);

    std::string bytes = readFile("out.map");
    ASSERT_EQ(bytes.substr(0, 3), (std::string{48, 30, 10})); // 3 x 2 screens, 9 codes
    // Codes by gid: 1 {1}, 2 {1, 101}, 3 {1, 301}, 4 {2}, 5 the ladder {1, 5},
    // 6 {2, 101}, 7 {3}, 8 {3, 101}, 9 {3, 251 flipped across}.
    const int cells[][4] = {{0, 0, 2, 0}, {1, 0, 4, 1}, {9, 12, 5, 0}, {5, 3, 9, 0},
                            {6, 3, 3, 0}, {2, 5, 8, 0}, {40, 0, 1, 0}, {45, 25, 1, 0}};
    for (const auto& [column, row, code, solid] : cells) {
        size_t at = MapBytes(3, 2, 10).codeOffset(column, row);
        EXPECT_EQ(bytes[at], code) << column << ", " << row;
        EXPECT_EQ(bytes[at + 1] != 0, solid != 0) << column << ", " << row;
    }
    Surface sheet(SDL_LoadBMP("out.bmp"));
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->h, 9 * 16);
    EXPECT_EQ(pixelAt(sheet.get(), 0, 16), colour(0)); // code 2: tile 0 shows through
    EXPECT_EQ(pixelAt(sheet.get(), 15, 16), colour(100));
    EXPECT_EQ(pixelAt(sheet.get(), 0, 2 * 16), 0x123456u); // the BMP's tile
    EXPECT_EQ(pixelAt(sheet.get(), 0, 4 * 16), colour(4)); // the ladder
    EXPECT_EQ(pixelAt(sheet.get(), 0, 8 * 16), colour(250));
    EXPECT_EQ(pixelAt(sheet.get(), 15, 8 * 16), colour(2));

    std::string data = testing_support::scratchDir() + "/layered-data";
    std::filesystem::remove_all(data);
    std::filesystem::copy(KCS_DEMO_DATA, data, std::filesystem::copy_options::recursive);
    std::filesystem::copy_file("out.map", data + "/rockfall.map",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file("out.bmp", data + "/layered.bmp");
    std::string levels = readFile(data + "/levels.ini");
    writeFile(data + "/levels.ini", levels.replace(levels.find("tiles.bmp"), 9, "layered.bmp"));
    auto checked = runProgram(std::string(KCS_BINARY) + " --check --data " + data);
    EXPECT_EQ(checked.status, 0) << checked.err;

    ASSERT_EQ(
        runProgram(std::string(KCS_MAP_BINARY) + " export out.map back.tmx --tiles out.bmp").status,
        0);
    ASSERT_EQ(runProgram(std::string(KCS_MAP_BINARY) + " import back.tmx back.map").status, 0);
    EXPECT_TRUE(readFile("back.map") == bytes);
}

// The build imports data/maps/tiled/rockfall.tmx beside the map compiled from
// the level's text; both must be the same file to the byte.
TEST(TiledImportTest, TheDemoTiledLevelEqualsItsTextMap) {
    std::string text = readFile(std::string(KCS_DEMO_DATA) + "/rockfall.map");
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(readFile(std::string(KCS_DEMO_DATA) + "/rockfall-tiled.map") == text)
        << "rockfall-tiled.map differs from rockfall.map";
}
