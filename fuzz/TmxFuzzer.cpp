// Fuzzes the TMX reader and the conversion to a map file.
#include "TiledFuzz.h"
#include "TiledTmxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    fuzz_support::fuzzTiledReader<TiledTmxReader>("fuzz.tmx", pData, size);
    return 0;
}
