// Decoding Tiled's layer data. zlib does the inflating; base64 is small enough
// to decode here.
#include "TiledLayerData.h"

#include "TiledMap.h"
#include "world/level/MapFile.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <limits>

namespace {

constexpr size_t GID_BYTES = 4; // a global tile id is a little-endian uint32
// Room for a gzip header's optional name and comment beyond what zlib's
// compressBound allows for the data itself; Tiled writes neither.
constexpr size_t PACKED_HEADER_SLACK = 1024; // bytes

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

size_t TiledLayerData::cellCount(int width, int height) {
    if (width < 0 || height < 0) {
        throw TiledDataError("the layer has a negative size");
    }
    if (width > MapFile::MAX_TILES_ACROSS || height > MapFile::MAX_TILES_DOWN) {
        throw TiledDataError("the layer is " + std::to_string(width) + " x " +
                             std::to_string(height) + " tiles; a map file holds at most " +
                             std::to_string(MapFile::MAX_TILES_ACROSS) + " x " +
                             std::to_string(MapFile::MAX_TILES_DOWN));
    }
    return static_cast<size_t>(width) * static_cast<size_t>(height);
}

void TiledLayerData::checkRoom(size_t count, size_t cellCount) {
    if (count > cellCount) {
        throw TiledDataError("the data holds more than the layer's " + std::to_string(cellCount) +
                             " cells");
    }
}

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
        checkRoom(gids.size(), cellCount);
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

// Stops one byte past maxSize, which is enough to refuse: the text may be
// far longer than any layer needs.
std::vector<uint8_t> TiledLayerData::decodeBase64(const std::string& text, size_t maxSize) {
    std::vector<uint8_t> bytes;
    bytes.reserve(std::min(text.size() / 4 * 3 + 3, maxSize + 1));
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
            std::string shown = std::isprint(static_cast<unsigned char>(c))
                                    ? std::string{'\'', c, '\''}
                                    : "byte " + std::to_string(static_cast<unsigned char>(c));
            throw TiledDataError("the base64 data has " + shown + " at character " +
                                 std::to_string(i));
        }
        bits = (bits << 6) | static_cast<uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            if (bytes.size() > maxSize) {
                break;
            }
            bytes.push_back(static_cast<uint8_t>(bits >> bitCount));
            bits &= (1u << bitCount) - 1;
        }
    }
    return bytes;
}

// Both zlib and gzip streams: window bits 15 + 32 let zlib tell them apart.
// The output goes into exactly `size` bytes; one byte more, inflated into a
// spare byte, is enough to know the data holds too much, so a small stream
// that inflates to gigabytes costs no more than the layer itself.
std::vector<uint8_t> TiledLayerData::inflate(const std::vector<uint8_t>& packed, size_t size) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 32) != Z_OK) {
        throw TiledDataError("cannot start zlib to inflate the data");
    }
    auto refuse = [&stream](const std::string& reason) {
        inflateEnd(&stream);
        throw TiledDataError(reason);
    };
    std::vector<uint8_t> bytes(size);
    uint8_t beyond = 0;
    stream.next_in = const_cast<Bytef*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = size > 0 ? bytes.data() : &beyond;
    stream.avail_out = static_cast<uInt>(size > 0 ? size : 1);
    while (true) {
        uLong before = stream.total_in + stream.total_out;
        int status = ::inflate(&stream, Z_NO_FLUSH);
        if (stream.total_out > size) {
            refuse("the compressed data inflates to more than the layer's " +
                   std::to_string(size / GID_BYTES) + " cells");
        }
        if (status == Z_STREAM_END) {
            break;
        }
        if (status == Z_MEM_ERROR) {
            refuse("not enough memory to inflate the data");
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            refuse(std::string("the compressed data is damaged: ") +
                   (stream.msg != nullptr   ? std::string(stream.msg)
                    : status == Z_NEED_DICT ? std::string("it needs a preset dictionary")
                                            : "zlib error " + std::to_string(status)));
        }
        if (stream.avail_out == 0) {
            stream.next_out = &beyond;
            stream.avail_out = 1;
        } else if (stream.avail_in == 0 || stream.total_in + stream.total_out == before) {
            refuse("the compressed data ends early");
        }
    }
    bytes.resize(stream.total_out);
    inflateEnd(&stream);
    return bytes;
}

std::vector<uint32_t> TiledLayerData::fromBase64(const std::string& text,
                                                 const std::string& compression, size_t cellCount) {
    bool packed = compression == "zlib" || compression == "gzip";
    if (!packed && !compression.empty()) {
        throw TiledDataError("unknown compression " + TiledMap::quoted(compression) +
                             "; use CSV, or base64 uncompressed or with zlib or gzip");
    }
    size_t size = cellCount * GID_BYTES;
    size_t maxSize = packed ? compressBound(size) + PACKED_HEADER_SLACK : size;
    std::vector<uint8_t> bytes = decodeBase64(text, maxSize);
    if (bytes.size() > maxSize) {
        throw TiledDataError("the base64 data decodes to more than " + std::to_string(maxSize) +
                             " bytes, " +
                             (packed ? "more than any compression of" : "the size of") +
                             " the layer's " + std::to_string(cellCount) + " cells");
    }
    if (packed) {
        bytes = inflate(bytes, size);
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
