// 32-bit integer sums and 16-bit stores that wrap as the game defines them,
// without signed-overflow undefined behaviour, whatever the data files hold.
#pragma once

#include <SDL.h>
#include <cstdint>

namespace wrapping {

constexpr int32_t add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

constexpr int32_t sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The 16-bit rectangle fields keep the low 16 bits (modular since C++20).
constexpr Sint16 toSint16(int32_t value) {
    return static_cast<Sint16>(value);
}
constexpr Uint16 toUint16(int32_t value) {
    return static_cast<Uint16>(value);
}

} // namespace wrapping
