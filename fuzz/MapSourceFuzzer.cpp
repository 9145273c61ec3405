// Fuzzes kcs-map's text map compiler: any text compiles or is refused with a
// DataError; a map it compiles passes the game's rules, and printed back as
// text compiles to the same map file.
#include "FuzzSupport.h"

#include "MapSource.h"
#include "engine/DataError.h"
#include "world/level/MapFile.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string SOURCE_NAME = "fuzz.txt";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    std::string text = fuzz_support::textFrom(pData, size, 0);
    std::vector<uint8_t> bytes;
    try {
        bytes = MapSource::parse(SOURCE_NAME, text).encode();
    } catch (const DataError&) {
        return 0;
    }
    if (!MapFile::findProblems(bytes).empty()) {
        std::abort();
    }
    MapFile map = MapFile::parse(SOURCE_NAME, bytes);
    std::string shown;
    try {
        shown = MapSource::format(SOURCE_NAME, map);
    } catch (const DataError&) {
        return 0; // more tiles than there are characters to show them
    }
    // A refusal of the printed text escapes as a finding too.
    if (MapSource::parse(SOURCE_NAME, shown).encode() != bytes) {
        std::abort();
    }
    return 0;
}
