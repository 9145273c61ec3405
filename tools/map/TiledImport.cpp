// Choosing the reader by the file's extension, for maps and external tilesets
// alike, then the conversion shared by both formats.
#include "TiledImport.h"

#include "TiledJsonReader.h"
#include "TiledTmxReader.h"
#include "engine/DataError.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

enum class Format { XML, JSON, UNKNOWN };

Format formatOf(const std::string& fileName) {
    std::string extension = std::filesystem::path(fileName).extension().string();
    if (extension == ".tmx" || extension == ".tsx" || extension == ".xml") {
        return Format::XML;
    }
    if (extension == ".tmj" || extension == ".tsj" || extension == ".json") {
        return Format::JSON;
    }
    return Format::UNKNOWN;
}

} // namespace

MapFile TiledImport::import(const std::string& fileName) {
    Format format = formatOf(fileName);
    if (format == Format::UNKNOWN) {
        throw DataError(fileName, "not a Tiled map by its name; it must end in .tmx, .tmj or "
                                  ".json");
    }
    std::ifstream file(fileName, std::ios::binary);
    if (file.fail()) {
        throw DataError(fileName, "cannot open the file");
    }
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    TiledMap map = format == Format::XML ? TiledTmxReader::read(fileName, text)
                                         : TiledJsonReader::read(fileName, text);
    return map.toMapFile();
}

TiledTileset TiledImport::readExternalTileset(const std::string& mapFileName,
                                              const std::string& source, uint32_t firstGid) {
    // Tiled writes the path relative to the map's folder.
    std::string path = (std::filesystem::path(mapFileName).parent_path() / source).string();
    switch (formatOf(path)) {
    case Format::XML:
        return TiledTmxReader::readTilesetFile(path, firstGid);
    case Format::JSON:
        return TiledJsonReader::readTilesetFile(path, firstGid);
    case Format::UNKNOWN:
        break;
    }
    throw DataError(mapFileName, "external tileset \"" + source +
                                     "\" is neither .tsx nor .tsj/.json; embed it in the map or "
                                     "save it in one of those");
}
