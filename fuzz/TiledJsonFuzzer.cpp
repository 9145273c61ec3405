// Fuzzes the Tiled JSON reader and the conversion to a map file. The input is
// the map's text. A tileset the map keeps in its own file is read from the
// same text (one object can be a map and a tileset), so the target never
// touches the disk and the tileset reader sees every input too.
#include "FuzzSupport.h"

#include "TiledJsonReader.h"
#include "engine/DataError.h"
#include "level/MapFile.h"

#include <cstdlib>
#include <string>

namespace {

const std::string MAP_NAME = "fuzz.json";
// Longer than any refusal needs, file name aside: a message that repeats the
// input would pass it.
constexpr size_t MAX_MESSAGE = 1000; // bytes

void checkMessage(const DataError& error) {
    std::string message = error.what();
    if (message.find('\n') != std::string::npos ||
        message.size() > error.file().size() + MAX_MESSAGE) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    std::string text = fuzz_support::textFrom(pData, size, 0);
    auto readTileset = [&text](const std::string& source, uint32_t firstGid) {
        return TiledJsonReader::readTileset(source, text, firstGid);
    };
    try {
        MapFile map = TiledJsonReader::read(MAP_NAME, text, readTileset).toMapFile();
        // An imported map must be one the game loads.
        if (!MapFile::findProblems(map.encode()).empty()) {
            std::abort();
        }
    } catch (const DataError& error) {
        checkMessage(error);
    }
    return 0;
}
