// The Tiled fuzz targets' one body: the input is a map's text; a tileset the
// map keeps in its own file is read from the same text (one text can hold a
// map and a tileset), so the targets never touch the disk and the tileset
// reader sees every input too.
#pragma once

#include "FuzzSupport.h"

#include "engine/DataError.h"
#include "world/level/MapFile.h"

#include <cstdlib>
#include <string>

namespace fuzz_support {

// Longer than any refusal needs, file name aside: a message that repeats the
// input would pass it.
constexpr size_t MAX_MESSAGE = 1000; // bytes

template <typename Reader>
void fuzzTiledReader(const std::string& mapName, const uint8_t* pData, size_t size) {
    std::string text = textFrom(pData, size, 0);
    auto readTileset = [&text](const std::string& source, uint32_t firstGid) {
        return Reader::readTileset(source, text, firstGid);
    };
    try {
        MapFile map = Reader::read(mapName, text, readTileset).toMapFile();
        // An imported map must be one the game loads.
        if (!MapFile::findProblems(map.encode()).empty()) {
            std::abort();
        }
    } catch (const DataError& error) {
        std::string message = error.what();
        if (message.find('\n') != std::string::npos ||
            message.size() > error.file().size() + MAX_MESSAGE) {
            std::abort();
        }
    }
}

} // namespace fuzz_support
