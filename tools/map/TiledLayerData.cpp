// Decoding Tiled's layer data. zlib does the inflating; base64 is small enough
// to decode here.
#include "TiledLayerData.h"

#include <zlib.h>

#include <cctype>
#include <limits>

namespace {

constexpr size_t GID_BYTES = 4;         // a global tile id is a little-endian uint32
constexpr size_t INFLATE_CHUNK = 16384; // bytes

// The value of a base64 digit, or -1.
int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

} // namespace

void TiledLayerData::checkCount(size_t count, size_t cellCount) {
    if (count != cellCount) {
        throw TiledDataError("the data holds " + std::to_string(count) + " cells; the layer has " +
                             std::to_string(cellCount));
    }
}

std::vector<uint32_t> TiledLayerData::fromCsv(const std::string& text, size_t cellCount) {
    std::vector<uint32_t> gids;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
    };
    skipBlanks();
    while (i < text.size()) {
        size_t start = i;
        uint64_t value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            value = value * 10 + static_cast<uint64_t>(text[i] - '0');
            if (value > std::numeric_limits<uint32_t>::max()) {
                throw TiledDataError("CSV cell " + std::to_string(gids.size()) +
                                     " is larger than a 32-bit tile id");
            }
            ++i;
        }
        if (i == start) {
            throw TiledDataError("CSV cell " + std::to_string(gids.size()) +
                                 " is not a tile id (a whole number)");
        }
        gids.push_back(static_cast<uint32_t>(value));
        skipBlanks();
        if (i < text.size()) {
            if (text[i] != ',') {
                throw TiledDataError("CSV cell " + std::to_string(gids.size() - 1) +
                                     " is not followed by a comma");
            }
            ++i;
            skipBlanks();
        }
    }
    checkCount(gids.size(), cellCount);
    return gids;
}

std::vector<uint8_t> TiledLayerData::decodeBase64(const std::string& text) {
    std::vector<uint8_t> bytes;
    uint32_t bits = 0;
    int bitCount = 0;
    bool padded = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            continue;
        }
        if (c == '=') {
            padded = true;
            continue;
        }
        int value = base64Value(c);
        if (value < 0 || padded) {
            throw TiledDataError("the base64 data has '" + std::string(1, c) + "' at character " +
                                 std::to_string(i));
        }
        bits = (bits << 6) | static_cast<uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            bytes.push_back(static_cast<uint8_t>(bits >> bitCount));
            bits &= (1u << bitCount) - 1;
        }
    }
    return bytes;
}

// Both zlib and gzip streams: window bits 15 + 32 let zlib tell them apart.
std::vector<uint8_t> TiledLayerData::inflate(const std::vector<uint8_t>& packed, size_t maxSize) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 32) != Z_OK) {
        throw TiledDataError("cannot start zlib to inflate the data");
    }
    stream.next_in = const_cast<Bytef*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());
    std::vector<uint8_t> bytes;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        size_t done = bytes.size();
        // One byte beyond the expected size is enough to know there is too much.
        if (done > maxSize) {
            inflateEnd(&stream);
            throw TiledDataError("the compressed data inflates to more than the layer's " +
                                 std::to_string(maxSize / GID_BYTES) + " cells");
        }
        bytes.resize(done + INFLATE_CHUNK);
        stream.next_out = bytes.data() + done;
        stream.avail_out = static_cast<uInt>(INFLATE_CHUNK);
        status = ::inflate(&stream, Z_NO_FLUSH);
        bytes.resize(done + INFLATE_CHUNK - stream.avail_out);
        if (status == Z_BUF_ERROR ||
            (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)) {
            inflateEnd(&stream);
            throw TiledDataError("the compressed data ends early");
        }
        if (status != Z_OK && status != Z_STREAM_END) {
            std::string reason =
                stream.msg != nullptr ? stream.msg : "error " + std::to_string(status);
            inflateEnd(&stream);
            throw TiledDataError("the compressed data is damaged: " + reason);
        }
    }
    inflateEnd(&stream);
    return bytes;
}

std::vector<uint32_t> TiledLayerData::fromBase64(const std::string& text,
                                                 const std::string& compression, size_t cellCount) {
    std::vector<uint8_t> bytes = decodeBase64(text);
    if (compression == "zlib" || compression == "gzip") {
        bytes = inflate(bytes, cellCount * GID_BYTES);
    } else if (!compression.empty()) {
        throw TiledDataError("unknown compression \"" + compression +
                             "\"; use CSV, or base64 uncompressed or with zlib or gzip");
    }
    if (bytes.size() % GID_BYTES != 0) {
        throw TiledDataError("the decoded data is " + std::to_string(bytes.size()) +
                             " bytes, not whole 4-byte tile ids");
    }
    checkCount(bytes.size() / GID_BYTES, cellCount);
    std::vector<uint32_t> gids(cellCount);
    for (size_t i = 0; i < cellCount; ++i) {
        const uint8_t* p = bytes.data() + i * GID_BYTES;
        gids[i] = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                  static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
    return gids;
}
