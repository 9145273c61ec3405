// Choosing the reader by the file's extension, for maps and external tilesets
// alike, then the conversion shared by both formats. Every file is read whole
// through readFile, which refuses what is not a regular file or is too large.
#include "TiledImport.h"

#include "TiledJsonReader.h"
#include "TiledSheet.h"
#include "TiledTmxReader.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <climits>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <utility>

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

// The readers bound what a file can make them hold, but a machine short of
// memory must still get a message naming the file rather than an abort.
template <typename Read> auto withinMemory(const std::string& fileName, Read read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        throw DataError(fileName, "not enough memory to import it");
    }
}

} // namespace

TiledImported TiledImport::import(FileRegistry& files, const std::string& fileName,
                                  const TiledImportOptions& options) {
    Format format = formatOf(fileName);
    if (format == Format::UNKNOWN) {
        throw DataError(fileName, "not a Tiled map by its name; it must end in .tmx, .tmj or "
                                  ".json");
    }
    return withinMemory(fileName, [&] {
        std::string text = readFile(files, fileName, TILED_FILE);
        size_t bytesRead = text.size();
        // A map may name one tileset file many times (up to MAX_TILESETS):
        // each file is read and parsed once, by its identity, so links and
        // other spellings of its path count once too.
        std::map<std::pair<dev_t, ino_t>, TiledTileset> tilesets;
        auto readTileset = [&](const std::string& source, uint32_t firstGid) {
            std::optional<FileIdentity> identity = identityOf(tilesetPath(fileName, source));
            if (identity) {
                auto found = tilesets.find({identity->device, identity->inode});
                if (found != tilesets.end()) {
                    TiledTileset tileset = found->second;
                    tileset.firstGid = firstGid;
                    return tileset;
                }
            }
            TiledTileset tileset =
                readExternalTileset(files, fileName, source, firstGid, &bytesRead);
            if (identity) {
                tilesets.emplace(std::pair{identity->device, identity->inode}, tileset);
            }
            return tileset;
        };
        TiledMap map = format == Format::XML ? TiledTmxReader::read(fileName, text, readTileset)
                                             : TiledJsonReader::read(fileName, text, readTileset);
        // Not read, but the map's own: no output may replace a tileset's picture.
        for (const TiledTileset& tileset : map.tilesets) {
            if (!tileset.image.empty() && tileset.image.size() <= PATH_MAX) {
                files.noteInput(
                    (std::filesystem::path(tileset.fileName).parent_path() / tileset.image)
                        .string());
            }
        }
        std::optional<std::vector<TiledObject>> objects;
        if (map.hasObjectLayer) {
            objects = map.objects;
        }
        int widthPx = map.width * map.tileWidth;
        int heightPx = map.height * map.tileHeight;
        if (!options.drawSheet) {
            return TiledImported{map.toMapFile(options.pad), {}, objects, widthPx, heightPx};
        }
        TiledFlatMap flat = map.flatten(options.pad);
        return TiledImported{std::move(flat.map), TiledSheet::draw(files, map, flat.images),
                             objects, widthPx, heightPx};
    });
}

std::string TiledImport::tilesetPath(const std::string& mapFileName, const std::string& source) {
    // A path no file system takes would only come back from it as a long
    // message repeating the whole attribute.
    if (source.size() > PATH_MAX) {
        throw DataError(mapFileName, "external tileset " + TiledMap::quoted(source) +
                                         " has a path longer than any file's");
    }
    // Tiled writes the path relative to the map's folder.
    return (std::filesystem::path(mapFileName).parent_path() / source).string();
}

TiledTileset TiledImport::readExternalTileset(FileRegistry& files, const std::string& mapFileName,
                                              const std::string& source, uint32_t firstGid,
                                              size_t* pBytesRead) {
    std::string path = tilesetPath(mapFileName, source);
    Format format = formatOf(path);
    if (format == Format::UNKNOWN) {
        throw DataError(mapFileName, "external tileset " + TiledMap::quoted(source) +
                                         " is neither .tsx nor .tsj/.json; embed it in the map "
                                         "or save it in one of those");
    }
    return withinMemory(path, [&] {
        std::string text = readFile(files, path, TILED_FILE);
        if (pBytesRead != nullptr) {
            *pBytesRead += text.size();
            if (*pBytesRead > MAX_BYTES_READ) {
                throw DataError(mapFileName, "external tileset " + TiledMap::quoted(source) +
                                                 " takes the files this import reads past " +
                                                 std::to_string(MAX_BYTES_READ >> 20) +
                                                 " MiB; use fewer or smaller tileset files");
            }
        }
        return format == Format::XML ? TiledTmxReader::readTileset(path, text, firstGid)
                                     : TiledJsonReader::readTileset(path, text, firstGid);
    });
}
