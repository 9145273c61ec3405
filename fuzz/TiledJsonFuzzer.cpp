// Fuzzes the Tiled JSON reader and the conversion to a map file.
#include "TiledFuzz.h"
#include "TiledJsonReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    fuzz_support::fuzzTiledReader<TiledJsonReader>("fuzz.json", pData, size);
    return 0;
}
