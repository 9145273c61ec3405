// Fixed-point numbers with 8 fraction bits: raw / 256 pixel, or pixel per
// update. Arithmetic wraps in 32 bits through unsigned intermediates, so the
// wrap is defined behaviour rather than signed overflow.
#pragma once

#include <compare>
#include <cstdint>

struct FixedPoint {
    int32_t raw = 0; // 1/256 px (or 1/256 px per update)

    friend constexpr FixedPoint operator+(FixedPoint a, FixedPoint b) {
        return {static_cast<int32_t>(static_cast<uint32_t>(a.raw) + static_cast<uint32_t>(b.raw))};
    }
    friend constexpr FixedPoint operator-(FixedPoint a, FixedPoint b) {
        return {static_cast<int32_t>(static_cast<uint32_t>(a.raw) - static_cast<uint32_t>(b.raw))};
    }
    constexpr FixedPoint& operator+=(FixedPoint other) { return *this = *this + other; }
    constexpr FixedPoint& operator-=(FixedPoint other) { return *this = *this - other; }
    friend constexpr auto operator<=>(FixedPoint a, FixedPoint b) = default;
};

// i whole pixels; the shift wraps in 32 bits.
constexpr FixedPoint fromInt(int32_t i) {
    return {static_cast<int32_t>(static_cast<uint32_t>(i) << 8)};
}

// A configuration pair "...Int" and "...Fraction": the fraction is ORed into
// the low bits, so (-4, 128) is -3.5, not -4.5.
constexpr FixedPoint fromParts(int32_t i, int32_t fraction) {
    return {
        static_cast<int32_t>((static_cast<uint32_t>(i) << 8) | static_cast<uint32_t>(fraction))};
}

// Whole pixels, rounding toward minus infinity (-1/256 gives -1).
constexpr int32_t integerPart(FixedPoint v) {
    return v.raw >> 8;
}
