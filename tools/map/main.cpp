// kcs-map: lets level designers write maps as text, compile them to the
// game's binary map file, import maps made in the Tiled editor and export
// map files to it, print a map file back as text, and check a map file (and
// its tile sheet) with the game's own rules.
#include "MapSource.h"
#include "TiledExport.h"
#include "TiledImport.h"

#include "engine/DataError.h"
#include "engine/Files.h"
#include "graphics/Bitmap.h"
#include "level/MapFile.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_BAD = 2; // bad usage or bad data, as the game itself

const char* const USAGE =
    "usage: kcs-map build SOURCE.txt OUT.map   compile a text map into a map file\n"
    "       kcs-map import SOURCE.tmx|.tmj|.json OUT.map\n"
    "                                          convert a map made in the Tiled editor\n"
    "       kcs-map export FILE.map OUT.tmx [--tiles SHEET.bmp]\n"
    "                                          write a map file as a Tiled map\n"
    "       kcs-map show FILE.map              print a map file as text\n"
    "       kcs-map check FILE.map [--tiles SHEET.bmp]\n"
    "                                          check a map file (and its tile sheet)\n"
    "       kcs-map --help                     show this help\n"
    "Exit status: 0 on success, 2 for bad usage or bad data (one line per problem).\n"
    "The text form is described in docs/map-format.md.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A compiled or imported map must pass the game's rules; this guards the
// converters themselves.
int write(const MapFile& map, const std::string& outName) {
    std::vector<uint8_t> bytes = map.encode();
    std::vector<std::string> problems = MapFile::findProblems(bytes);
    if (!problems.empty()) {
        throw DataError(outName, "internal error, the map to write is broken: " + problems.front());
    }
    writeFileWhole(outName,
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                   "the output");
    return EXIT_SUCCESS;
}

int build(const std::string& sourceName, const std::string& outName) {
    refuseSameFile(outName, "the output", sourceName);
    return write(MapSource::parse(sourceName, readFile(sourceName, TEXT_SOURCE_FILE)), outName);
}

int exportTmx(const std::string& mapName, const std::string& outName,
              const std::string& sheetName) {
    refuseSameFile(outName, "the output", mapName);
    std::string text = TiledExport::toTmx(MapFile::read(mapName), sheetName);
    writeFileWhole(outName, text, "the output");
    return EXIT_SUCCESS;
}

int show(const std::string& mapName) {
    MapFile map = MapFile::read(mapName);
    std::cout << MapSource::format(mapName, map);
    return EXIT_SUCCESS;
}

int check(const std::string& mapName, const std::string& sheetName) {
    std::vector<uint8_t> bytes = MapFile::readBytes(mapName);
    std::vector<std::string> problems;
    for (const std::string& problem : MapFile::findProblems(bytes)) {
        problems.push_back(mapName + ": " + problem);
    }
    if (!sheetName.empty()) {
        int height = 0;
        std::string loadProblem;
        try {
            height = readBitmap(sheetName)->h;
        } catch (const DataError& error) {
            loadProblem = error.what();
        }
        if (!loadProblem.empty()) {
            problems.push_back(loadProblem);
        } else if (bytes.size() >= MapFile::HEADER_SIZE && bytes[2] != 0) {
            std::string problem = MapFile::tileSheetProblem(height, bytes[2]);
            if (!problem.empty()) {
                problems.push_back(sheetName + ": " + problem + " (map " + mapName + ")");
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
    int present = 0;
    for (int s = 0; s < map.screensAcross() * map.screensDown(); ++s) {
        present += map.isScreenPresent(s) ? 1 : 0;
    }
    std::cout << mapName << ": sound: " << map.tilesAcross() << " x " << map.tilesDown()
              << " tiles, " << present << " of " << map.screensAcross() * map.screensDown()
              << " screens present, " << map.codeCount() << " tile codes\n";
    return EXIT_SUCCESS;
}

int run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        throw UsageError("missing command");
    }
    const std::string& command = arguments[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << USAGE;
        return EXIT_SUCCESS;
    }
    if (command == "build") {
        if (arguments.size() != 3) {
            throw UsageError("build takes SOURCE.txt and OUT.map");
        }
        return build(arguments[1], arguments[2]);
    }
    if (command == "import") {
        if (arguments.size() != 3) {
            throw UsageError("import takes SOURCE.tmx (or .tmj, .json) and OUT.map");
        }
        refuseSameFile(arguments[2], "the output", arguments[1]);
        return write(TiledImport::import(arguments[1]), arguments[2]);
    }
    if (command == "export") {
        std::vector<std::string> files;
        std::string sheetName = "tiles.bmp";
        for (size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i] == "--tiles") {
                if (i + 1 >= arguments.size()) {
                    throw UsageError("--tiles needs a SHEET.bmp");
                }
                sheetName = arguments[++i];
            } else if (arguments[i].rfind("--", 0) != 0) {
                files.push_back(arguments[i]);
            } else {
                throw UsageError("unexpected \"" + arguments[i] + "\" for export");
            }
        }
        if (files.size() != 2) {
            throw UsageError("export takes FILE.map and OUT.tmx");
        }
        return exportTmx(files[0], files[1], sheetName);
    }
    if (command == "show") {
        if (arguments.size() != 2) {
            throw UsageError("show takes one FILE.map");
        }
        return show(arguments[1]);
    }
    if (command == "check") {
        std::string mapName;
        std::string sheetName;
        for (size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i] == "--tiles") {
                if (i + 1 >= arguments.size()) {
                    throw UsageError("--tiles needs a SHEET.bmp");
                }
                sheetName = arguments[++i];
            } else if (mapName.empty() && arguments[i].rfind("--", 0) != 0) {
                mapName = arguments[i];
            } else {
                throw UsageError("unexpected \"" + arguments[i] + "\" for check");
            }
        }
        if (mapName.empty()) {
            throw UsageError("check takes one FILE.map");
        }
        return check(mapName, sheetName);
    }
    throw UsageError("unknown command \"" + command + "\"");
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    int status = EXIT_BAD;
    try {
        status = run(arguments);
    } catch (const UsageError& error) {
        std::cerr << "kcs-map: " << error.what() << " (see kcs-map --help)\n";
    } catch (const DataError& error) {
        std::cerr << error.what() << "\n";
    } catch (const std::bad_alloc&) {
        // The readers bound what they read; this is a last resort.
        std::cerr << "kcs-map: " << (arguments.size() > 1 ? arguments[1] : "")
                  << ": not enough memory\n";
    } catch (const std::exception& error) {
        std::cerr << "kcs-map: " << error.what() << "\n";
    }
    std::cout.flush();
    if (!closeStandardOutput("kcs-map")) {
        return EXIT_BAD;
    }
    return status;
}
