// BMP bytes by hand: a 14-byte file header, a 40-byte BITMAPINFOHEADER with
// BI_BITFIELDS and its three colour masks, then bottom-up rows of blue, green,
// red, 0. Plain BI_RGB at 32 bits would load with an alpha mask 0xFF000000;
// explicit masks without an alpha mask load exactly as the screen's format.
#include "ScreenBmp.h"

#include "engine/LittleEndian.h"

namespace {

constexpr uint32_t FILE_HEADER_SIZE = 14; // bytes
constexpr uint32_t INFO_HEADER_SIZE = 40; // bytes
constexpr uint32_t MASKS_SIZE = 12;       // bytes: red, green and blue masks
constexpr uint16_t BITS_PER_PIXEL = 32;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t RED_MASK = 0xFF0000;
constexpr uint32_t GREEN_MASK = 0xFF00;
constexpr uint32_t BLUE_MASK = 0xFF;
constexpr int32_t PIXELS_PER_METRE = 2835; // 72 dpi, as most writers put it

} // namespace

std::vector<uint8_t> screenBmp(int width, int height, const std::vector<uint32_t>& pixels) {
    const auto across = static_cast<uint32_t>(width);
    const auto down = static_cast<uint32_t>(height);
    const uint32_t pixelBytes = across * down * 4;
    const uint32_t offset = FILE_HEADER_SIZE + INFO_HEADER_SIZE + MASKS_SIZE;
    std::vector<uint8_t> bytes;
    bytes.reserve(offset + pixelBytes);
    bytes.push_back('B');
    bytes.push_back('M');
    put32(bytes, offset + pixelBytes);
    put32(bytes, 0); // reserved
    put32(bytes, offset);
    put32(bytes, INFO_HEADER_SIZE);
    put32(bytes, across);
    put32(bytes, down); // positive: rows stored bottom-up
    put16(bytes, 1);    // planes
    put16(bytes, BITS_PER_PIXEL);
    put32(bytes, BI_BITFIELDS);
    put32(bytes, pixelBytes);
    put32(bytes, static_cast<uint32_t>(PIXELS_PER_METRE));
    put32(bytes, static_cast<uint32_t>(PIXELS_PER_METRE));
    put32(bytes, 0); // colours used
    put32(bytes, 0); // important colours
    put32(bytes, RED_MASK);
    put32(bytes, GREEN_MASK);
    put32(bytes, BLUE_MASK);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint32_t colour = pixels[static_cast<size_t>(y) * across + static_cast<size_t>(x)];
            bytes.push_back(static_cast<uint8_t>(colour & 0xFF));
            bytes.push_back(static_cast<uint8_t>((colour >> 8) & 0xFF));
            bytes.push_back(static_cast<uint8_t>((colour >> 16) & 0xFF));
            bytes.push_back(0);
        }
    }
    return bytes;
}
