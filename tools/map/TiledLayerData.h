// The cell data of a Tiled tile layer in its stored forms: comma-separated
// numbers, or base64 of little-endian 32-bit global tile ids, uncompressed or
// compressed with zlib or gzip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// What is wrong with the data, without the file and layer: the readers add
// those.
class TiledDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TiledLayerData {
public:
    // The cells of a layer of the declared size. Refuses, before anything is
    // decoded, a negative size or one larger than any map file, so no layer
    // data is ever decoded or inflated beyond what a map can hold.
    static size_t cellCount(int width, int height);
    // Numbers separated by commas and white space; exactly cellCount of them.
    static std::vector<uint32_t> fromCsv(const std::string& text, size_t cellCount);
    // compression: "" for none, "zlib" or "gzip"; anything else is refused.
    static std::vector<uint32_t> fromBase64(const std::string& text, const std::string& compression,
                                            size_t cellCount);
    // Refuses a cell count other than the layer's.
    static void checkCount(size_t count, size_t cellCount);
    // Refuses a count beyond the layer's, as soon as a reader gets there.
    static void checkRoom(size_t count, size_t cellCount);

private:
    static std::vector<uint8_t> decodeBase64(const std::string& text, size_t maxSize);
    static std::vector<uint8_t> inflate(const std::vector<uint8_t>& packed, size_t size);
};
