// The bytes of an uncompressed 32-bit BMP whose pixel layout SDL loads as
// masks R 0xFF0000, G 0xFF00, B 0xFF: the screen's own format, so the game
// blits it without converting. kcs-art writes its sheets this way, and
// kcs-map the tile sheets it imports.
#pragma once

#include <cstdint>
#include <vector>

// pixels: width x height colours 0xRRGGBB, row by row from the top.
std::vector<uint8_t> screenBmp(int width, int height, const std::vector<uint32_t>& pixels);
