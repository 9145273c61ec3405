// The little-endian fields of the binary files the tools write (BMP, WAV).
#pragma once

#include <cstdint>
#include <vector>

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
