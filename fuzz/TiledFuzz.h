// The Tiled fuzz targets' one body: the input is a map's text; a tileset the
// map keeps in its own file is read from the same text (one text can hold a
// map and a tileset), so the targets never touch the disk and the tileset
// reader sees every input too. The map read is converted both ways the
// importer has: to the first tileset's codes, and flattened and padded with
// tile 0, so maps of any size and any layers reach the flattening.
#pragma once

#include "FuzzSupport.h"

#include "TiledMap.h"
#include "engine/DataError.h"
#include "world/level/MapFile.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace fuzz_support {

// Longer than any refusal needs, file name aside: a message that repeats the
// input would pass it.
constexpr size_t MAX_MESSAGE = 1000; // bytes

// Runs one step; a refusal must be one short line.
template <typename Step> void refusedInOneLine(Step step) {
    try {
        step();
    } catch (const DataError& error) {
        std::string message = error.what();
        if (message.find('\n') != std::string::npos ||
            message.size() > error.file().size() + MAX_MESSAGE) {
            std::abort();
        }
    }
}

// An imported map must be one the game loads.
inline void checkSound(const MapFile& map) {
    if (!MapFile::findProblems(map.encode()).empty()) {
        std::abort();
    }
}

template <typename Reader>
void fuzzTiledReader(const std::string& mapName, const uint8_t* pData, size_t size) {
    std::string text = textFrom(pData, size, 0);
    auto readTileset = [&text](const std::string& source, uint32_t firstGid) {
        return Reader::readTileset(source, text, firstGid);
    };
    std::optional<TiledMap> map;
    refusedInOneLine([&] { map.emplace(Reader::read(mapName, text, readTileset)); });
    if (!map) {
        return;
    }
    // The object layers are bounded as they are read.
    if (map->objects.size() > TiledMap::MAX_OBJECTS) {
        std::abort();
    }
    refusedInOneLine([&] { checkSound(map->toMapFile()); });
    refusedInOneLine([&] {
        TiledFlatMap flat = map->flatten(TiledPad{TiledPad::Kind::TILE, 0});
        checkSound(flat.map);
        // Every code has its image on the sheet to draw.
        if (flat.images.size() + 1 != static_cast<size_t>(flat.map.codeCount())) {
            std::abort();
        }
    });
}

} // namespace fuzz_support
