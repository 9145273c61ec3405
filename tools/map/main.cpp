// kcs-map: lets level designers write maps as text, compile them to the
// game's binary map file, import maps made in the Tiled editor and export
// map files to it, print a map file back as text, and check a map file (and
// its tile sheet) with the game's own rules.
#include "LevelObjects.h"
#include "MapPicture.h"
#include "MapSource.h"
#include "TiledExport.h"
#include "TiledImport.h"

#include "config/IniDictionary.h"
#include "engine/Bitmap.h"
#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/GameEngine.h"
#include "world/enemy/Enemy.h"
#include "world/level/LevelLayout.h"
#include "world/level/Map.h"
#include "world/level/MapFile.h"
#include "world/objects/ObjectSet.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int EXIT_BAD = 2; // bad usage or bad data, as the game itself

const char* const USAGE =
    "usage: kcs-map build SOURCE.txt OUT.map   compile a text map into a map file\n"
    "       kcs-map import SOURCE.tmx|.tmj|.json OUT.map [--tiles OUT.bmp] [--pad TILE|empty]\n"
    "                       [--levels levels.ini --level NAME]\n"
    "                                          convert a map made in the Tiled editor; with\n"
    "                                          --tiles, draw its tile layers over each other\n"
    "                                          and write the tile sheet of the tiles it uses;\n"
    "                                          --pad fills it to whole screens with tile id\n"
    "                                          TILE of its first tileset, or empty cells;\n"
    "                                          its object layers give the level's objects:\n"
    "                                          with a level, written into its section, else\n"
    "                                          printed as the keys to put there\n"
    "       kcs-map export FILE.map OUT.tmx [--tiles SHEET.bmp]\n"
    "                       [--levels levels.ini --level NAME]\n"
    "                                          write a map file as a Tiled map; with a level,\n"
    "                                          its objects as the layer \"objects\"\n"
    "       kcs-map show FILE.map              print a map file as text\n"
    "       kcs-map check FILE.map [--tiles SHEET.bmp] [--levels levels.ini --level NAME]\n"
    "                       [--strict]         check a map file (and its tile sheet); with a\n"
    "                                          level, its layout on this map too, with the\n"
    "                                          design warnings of kcs --check (--strict: they\n"
    "                                          fail it)\n"
    "       kcs-map render FILE.map --tiles SHEET.bmp OUT.png [--levels levels.ini --level NAME]\n"
    "                                          draw the whole map as a PNG picture; with a\n"
    "                                          level, its boundaries, start, teleport stop and\n"
    "                                          enemy or objects over it (--tiles defaults to\n"
    "                                          the level's)\n"
    "       kcs-map --help | --version         show this help | the version\n"
    "Exit status: 0 on success, 2 for bad usage or bad data (one line per problem).\n"
    "The text form is described in docs/map-format.md. File names in levels.ini are\n"
    "taken from the folder levels.ini is in, as the game takes them from its data folder.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The arguments of a command: its files and the options it allows.
struct Arguments {
    std::vector<std::string> files;
    std::string sheetName;
    std::string levelsName;
    std::string levelName;
    std::string pad;
    bool strict = false;
};

Arguments parseArguments(const std::vector<std::string>& arguments, const std::string& command,
                         bool levelsAllowed) {
    Arguments parsed;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= arguments.size()) {
                throw UsageError(excerpt(argument) + " needs a value");
            }
            return arguments[++i];
        };
        if (argument == "--tiles") {
            parsed.sheetName = value();
        } else if (levelsAllowed && argument == "--levels") {
            parsed.levelsName = value();
        } else if (levelsAllowed && argument == "--level") {
            parsed.levelName = value();
        } else if (command == "import" && argument == "--pad") {
            parsed.pad = value();
        } else if (command == "check" && argument == "--strict") {
            parsed.strict = true;
        } else if (argument.rfind("--", 0) != 0) {
            parsed.files.push_back(argument);
        } else {
            throw UsageError("unexpected \"" + excerpt(argument) + "\" for " + command);
        }
    }
    if (parsed.levelsName.empty() != parsed.levelName.empty()) {
        throw UsageError("--levels and --level go together");
    }
    return parsed;
}

// The level's section of levels.ini, read and checked by the game's rules,
// with the files it names taken from the folder of levels.ini.
LevelLayout readLevel(FileRegistry& files, const Arguments& arguments) {
    IniDictionary levels(files, arguments.levelsName);
    if (!levels.hasSection(arguments.levelName)) {
        throw DataError(arguments.levelsName, "no section [" + excerpt(arguments.levelName) + "]");
    }
    LevelLayout layout = LevelLayout::read(arguments.levelName, levels, arguments.levelsName);
    layout.check();
    std::filesystem::path folder = std::filesystem::path(arguments.levelsName).parent_path();
    if (std::filesystem::path(layout.tileSheet).is_relative()) {
        layout.tileSheet = (folder / layout.tileSheet).string();
    }
    if (std::filesystem::path(layout.tileMap).is_relative()) {
        layout.tileMap = (folder / layout.tileMap).string();
    }
    return layout;
}

// A compiled or imported map must pass the game's rules; this guards the
// converters themselves.
int write(const FileRegistry& files, const MapFile& map, const std::string& outName) {
    std::vector<uint8_t> bytes = map.encode();
    std::vector<std::string> problems = MapFile::findProblems(bytes);
    if (!problems.empty()) {
        throw DataError(outName, "internal error, the map to write is broken: " + problems.front());
    }
    writeFileWhole(files, outName,
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                   "the output");
    return EXIT_SUCCESS;
}

int build(FileRegistry& files, const std::string& sourceName, const std::string& outName) {
    refuseSameFile(outName, "the output", sourceName);
    return write(files, MapSource::parse(sourceName, readFile(files, sourceName, TEXT_SOURCE_FILE)),
                 outName);
}

// --pad's value: "empty", or a tile id as Tiled shows it in the tileset.
TiledPad padOption(const std::string& value) {
    constexpr size_t MAX_DIGITS = 9; // beyond any tileset's ids
    if (value.empty()) {
        return {};
    }
    if (value == "empty") {
        return {TiledPad::Kind::EMPTY, 0};
    }
    if (value.size() > MAX_DIGITS || value.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError("--pad takes a tile id of the map's first tileset or \"empty\", not \"" +
                         excerpt(value) + "\"");
    }
    return {TiledPad::Kind::TILE, std::stoll(value)};
}

// The sheet first: a map file is never left naming codes its sheet lacks.
int importTiled(FileRegistry& files, const Arguments& arguments) {
    const std::string& sourceName = arguments.files[0];
    const std::string& outName = arguments.files[1];
    refuseSameFile(outName, "the output", sourceName);
    TiledImportOptions options{padOption(arguments.pad), !arguments.sheetName.empty()};
    if (options.drawSheet) {
        refuseSameFile(arguments.sheetName, "--tiles", sourceName);
        if (arguments.sheetName == outName) {
            throw UsageError("--tiles and the output map are the same file");
        }
    }
    std::optional<std::string> levelsName;
    if (!arguments.levelsName.empty()) {
        levelsName = arguments.levelsName;
        refuseSameFile(*levelsName, "--levels", sourceName);
        refuseSameFile(outName, "the output", *levelsName);
        if (options.drawSheet) {
            refuseSameFile(arguments.sheetName, "--tiles", *levelsName);
        }
    }
    TiledImported imported = TiledImport::import(files, sourceName, options);
    std::vector<LevelObject> objects;
    if (imported.objects) {
        objects = LevelObjects::fromTiled(files, sourceName, *imported.objects, imported.widthPx,
                                          imported.heightPx, levelsName);
    }
    // levels.ini is rewritten in place, so it is read apart from this run's
    // inputs, which no output may replace.
    std::string levelsText, newLevelsText;
    if (levelsName) {
        FileRegistry levelsFiles;
        levelsText = readFile(levelsFiles, *levelsName, INI_FILE);
        if (!IniDictionary::fromText(levelsText).hasSection(arguments.levelName)) {
            throw DataError(*levelsName, "no section [" + excerpt(arguments.levelName) + "]");
        }
        // A map without an object layer leaves the level's objects alone.
        newLevelsText = imported.objects
                            ? LevelObjects::rewrite(levelsText, arguments.levelName, objects)
                            : levelsText;
    }
    std::vector<std::string> problems = MapFile::findProblems(imported.map.encode());
    if (options.drawSheet && problems.empty()) {
        writeFileWhole(files, arguments.sheetName,
                       std::string_view(reinterpret_cast<const char*>(imported.sheet.data()),
                                        imported.sheet.size()),
                       "--tiles");
    }
    int status = write(files, imported.map, outName);
    if (newLevelsText != levelsText) {
        writeFileWhole(files, *levelsName, newLevelsText, "--levels");
    } else if (!levelsName && imported.objects) {
        std::cout << LevelObjects::keys(objects);
    }
    return status;
}

// The level's objects as levels.ini lists them, each with what its kind file
// shows; a kind file that cannot be read gives a 16 x 16 box, and a warning
// when `warn`.
std::vector<std::pair<LevelObject, KindLook>> readObjects(FileRegistry& files,
                                                          const Arguments& arguments, bool warn) {
    IniDictionary levels(files, arguments.levelsName);
    if (!levels.hasSection(arguments.levelName)) {
        throw DataError(arguments.levelsName, "no section [" + excerpt(arguments.levelName) + "]");
    }
    std::string folder = std::filesystem::path(arguments.levelsName).parent_path().string();
    std::vector<std::pair<LevelObject, KindLook>> objects;
    for (LevelObject& object :
         LevelObjects::read(levels, arguments.levelsName, arguments.levelName)) {
        KindLook look;
        try {
            look = LevelObjects::look(files, folder, object.kind);
        } catch (const DataError& error) {
            if (warn) {
                std::cerr << "kcs-map: warning: " << error.what() << " (drawn as a box)\n";
            }
        }
        objects.emplace_back(std::move(object), look);
    }
    return objects;
}

int exportTmx(FileRegistry& files, const std::string& mapName, const std::string& outName,
              const std::string& sheetName, const Arguments& arguments) {
    refuseSameFile(outName, "the output", mapName);
    // The exported map names the sheet: writing over it would lose it.
    files.noteInput(sheetName);
    std::optional<std::vector<TiledExportObject>> objects;
    if (!arguments.levelsName.empty()) {
        objects.emplace();
        for (const auto& [object, look] : readObjects(files, arguments, false)) {
            objects->push_back({object.kind, object.x, object.y, look.width, look.height});
        }
    }
    std::string text = TiledExport::toTmx(MapFile::read(files, mapName), sheetName, objects);
    writeFileWhole(files, outName, text, "the output");
    return EXIT_SUCCESS;
}

int show(FileRegistry& files, const std::string& mapName) {
    MapFile map = MapFile::read(files, mapName);
    std::cout << MapSource::format(mapName, map);
    return EXIT_SUCCESS;
}

int check(FileRegistry& files, const std::string& mapName, const Arguments& arguments) {
    std::vector<uint8_t> bytes = MapFile::readBytes(files, mapName);
    std::vector<std::string> problems;
    for (const std::string& problem : MapFile::findProblems(bytes)) {
        problems.push_back(excerpt(mapName, MAX_QUOTED_PATH) + ": " + problem);
    }
    std::optional<LevelLayout> layout;
    std::string sheetName = arguments.sheetName;
    if (!arguments.levelsName.empty()) {
        try {
            layout = readLevel(files, arguments);
            if (sheetName.empty()) {
                sheetName = layout->tileSheet;
            }
        } catch (const DataError& error) {
            problems.push_back(error.what());
        }
    }
    Surface sheet;
    if (!sheetName.empty()) {
        try {
            sheet = readBitmap(files, sheetName);
        } catch (const DataError& error) {
            problems.push_back(error.what());
        }
        if (sheet && bytes.size() >= MapFile::HEADER_SIZE && bytes[2] != 0) {
            std::string problem = MapFile::tileSheetProblem(sheet->w, sheet->h, bytes[2]);
            if (!problem.empty()) {
                problems.push_back(excerpt(sheetName, MAX_QUOTED_PATH) + ": " + problem + " (map " +
                                   excerpt(mapName, MAX_QUOTED_PATH) + ")");
            }
        }
    }
    for (const std::string& problem : problems) {
        std::cerr << problem << "\n";
    }
    if (!problems.empty()) {
        return EXIT_BAD;
    }
    MapFile map = MapFile::parse(mapName, bytes);
    std::vector<std::string> warnings;
    if (layout) {
        // The level is checked on the map given, whatever map it names.
        layout->tileSheet = sheetName;
        layout->tileMap = mapName;
        Map level(*layout, map, std::move(sheet));
        // A level that places its own objects has no fixed enemy to hold.
        std::optional<SDL_Rect> enemyBox;
        if (!ObjectSet::isListedIn(IniDictionary(files, arguments.levelsName),
                                   arguments.levelName)) {
            enemyBox = SDL_Rect{Enemy::BOX_X, Enemy::BOX_Y, Enemy::BOX_WIDTH, Enemy::BOX_HEIGHT};
        }
        warnings = level.designWarnings(arguments.levelsName, arguments.levelName, enemyBox);
    }
    for (const std::string& warning : warnings) {
        std::cerr << "kcs-map: warning: " << warning << "\n";
    }
    if (arguments.strict && !warnings.empty()) {
        return EXIT_BAD;
    }
    int present = 0;
    for (int s = 0; s < map.screensAcross() * map.screensDown(); ++s) {
        present += map.isScreenPresent(s) ? 1 : 0;
    }
    std::cout << excerpt(mapName, MAX_QUOTED_PATH) << ": sound: " << map.tilesAcross() << " x "
              << map.tilesDown() << " tiles, " << present << " of "
              << map.screensAcross() * map.screensDown() << " screens present, " << map.codeCount()
              << " tile codes";
    if (layout) {
        std::cout << "; level " << excerpt(arguments.levelName) << ": " << warnings.size()
                  << (warnings.size() == 1 ? " warning" : " warnings");
    }
    std::cout << "\n";
    return EXIT_SUCCESS;
}

// The sheet of an object's sprite, kept in `sprites`, with the rectangle of
// its first picture set in `object`; null, after a warning, when it cannot
// be read or does not hold that rectangle.
SDL_Surface* spriteSheet(FileRegistry& files, const KindLook& look,
                         MapPicture::ObjectPicture& object, std::vector<Surface>& sprites) {
    Surface sheet;
    try {
        sheet = readBitmap(files, look.sheet);
    } catch (const DataError& error) {
        std::cerr << "kcs-map: warning: " << error.what() << " (drawn as a box)\n";
        return nullptr;
    }
    if (look.spriteWidth < 1 || look.spriteHeight < 1 || look.spriteY < 0 ||
        look.spriteWidth > sheet->w || look.spriteHeight > sheet->h - look.spriteY) {
        std::cerr << "kcs-map: warning: " << excerpt(look.sheet, MAX_QUOTED_PATH)
                  << ": holds no sprite of " << look.spriteWidth << " x " << look.spriteHeight
                  << " px at y " << look.spriteY << " (drawn as a box)\n";
        return nullptr;
    }
    SDL_SetColorKey(sheet.get(), SDL_SRCCOLORKEY,
                    SDL_MapRGB(sheet->format, GameEngine::KEY_RED, GameEngine::KEY_GREEN,
                               GameEngine::KEY_BLUE));
    object.source =
        SDL_Rect{0, static_cast<Sint16>(look.spriteY), static_cast<Uint16>(look.spriteWidth),
                 static_cast<Uint16>(look.spriteHeight)};
    object.xOffset = look.xOffset;
    object.yOffset = look.yOffset;
    sprites.push_back(std::move(sheet));
    return sprites.back().get();
}

int render(FileRegistry& files, const std::string& mapName, const std::string& outName,
           const Arguments& arguments) {
    std::optional<LevelLayout> layout;
    std::string sheetName = arguments.sheetName;
    if (!arguments.levelsName.empty()) {
        layout = readLevel(files, arguments);
        if (sheetName.empty()) {
            sheetName = layout->tileSheet;
        }
        refuseSameFile(outName, "the output", arguments.levelsName);
    }
    if (sheetName.empty()) {
        throw UsageError("render needs --tiles SHEET.bmp (or --levels and --level)");
    }
    refuseSameFile(outName, "the output", mapName);
    refuseSameFile(outName, "the output", sheetName);
    MapFile map = MapFile::read(files, mapName);
    Surface sheet = readBitmap(files, sheetName);
    std::string problem = MapFile::tileSheetProblem(sheet->w, sheet->h, map.codeCount());
    if (!problem.empty()) {
        throw DataError(sheetName, problem + " (map " + excerpt(mapName, MAX_QUOTED_PATH) + ")");
    }
    std::vector<MapPicture::ObjectPicture> objects;
    std::vector<Surface> sprites;
    if (layout) {
        for (const auto& [object, look] : readObjects(files, arguments, true)) {
            objects.push_back({object.x, object.y, look.width, look.height, look.exit});
            if (!look.sheet.empty()) {
                objects.back().pSheet = spriteSheet(files, look, objects.back(), sprites);
            }
        }
    }
    MapPicture::draw(map, sheet.get(), layout ? &*layout : nullptr, objects, outName)
        .save(files, outName, "the output");
    return EXIT_SUCCESS;
}

int run(FileRegistry& files, const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        throw UsageError("missing command");
    }
    const std::string& command = arguments[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << USAGE;
        return EXIT_SUCCESS;
    }
    if (command == "--version") {
        std::cout << "kcs-map " << KCS_VERSION << "\n";
        return EXIT_SUCCESS;
    }
    if (command == "build") {
        if (arguments.size() != 3) {
            throw UsageError("build takes SOURCE.txt and OUT.map");
        }
        return build(files, arguments[1], arguments[2]);
    }
    if (command == "import") {
        Arguments parsed = parseArguments(arguments, command, true);
        if (parsed.files.size() != 2) {
            throw UsageError("import takes SOURCE.tmx (or .tmj, .json) and OUT.map");
        }
        return importTiled(files, parsed);
    }
    if (command == "export") {
        Arguments parsed = parseArguments(arguments, command, true);
        if (parsed.files.size() != 2) {
            throw UsageError("export takes FILE.map and OUT.tmx");
        }
        return exportTmx(files, parsed.files[0], parsed.files[1],
                         parsed.sheetName.empty() ? "tiles.bmp" : parsed.sheetName, parsed);
    }
    if (command == "show") {
        if (arguments.size() != 2) {
            throw UsageError("show takes one FILE.map");
        }
        return show(files, arguments[1]);
    }
    if (command == "check") {
        Arguments parsed = parseArguments(arguments, command, true);
        if (parsed.files.size() != 1) {
            throw UsageError("check takes one FILE.map");
        }
        return check(files, parsed.files[0], parsed);
    }
    if (command == "render") {
        Arguments parsed = parseArguments(arguments, command, true);
        if (parsed.files.size() != 2) {
            throw UsageError("render takes FILE.map and OUT.png");
        }
        return render(files, parsed.files[0], parsed.files[1], parsed);
    }
    throw UsageError("unknown command \"" + excerpt(command) + "\"");
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    int status = EXIT_BAD;
    catchStopSignals();
    FileRegistry files;
    try {
        status = run(files, arguments);
        throwIfStopped();
    } catch (const Interrupted& stop) {
        endBySignal(stop.signal());
    } catch (const UsageError& error) {
        std::cerr << "kcs-map: " << error.what() << " (see kcs-map --help)\n";
    } catch (const DataError& error) {
        std::cerr << error.what() << "\n";
    } catch (const std::bad_alloc&) {
        // The readers bound what they read; this is a last resort.
        std::cerr << "kcs-map: " << excerpt(arguments.size() > 1 ? arguments[1] : "")
                  << ": not enough memory\n";
    } catch (const std::exception& error) {
        std::cerr << "kcs-map: " << error.what() << "\n";
    }
    // A failed run has said why; standard output's failure would be one more
    // line about it.
    if (status != EXIT_SUCCESS) {
        return status;
    }
    std::cout.flush();
    return closeStandardOutput("kcs-map") ? EXIT_SUCCESS : EXIT_BAD;
}
