// The little-endian fields of the binary files read and written here (BMP,
// WAV): the engine reads them, the sound reader and the tools write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The unsigned value of `count` bytes (at most 4) stored least significant
// first; Byte is any byte type (char of a string, uint8_t of a buffer).
template <typename Byte> uint32_t littleEndian(const Byte* pBytes, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value |= uint32_t{static_cast<uint8_t>(pBytes[i])} << (8 * i);
    }
    return value;
}

inline void put16(std::vector<uint8_t>& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

inline void put32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>((value >> shift) & 0xFF));
    }
}

// A four-character name ("RIFF", "fmt ").
inline void putTag(std::vector<uint8_t>& bytes, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(tag[i]));
    }
}
