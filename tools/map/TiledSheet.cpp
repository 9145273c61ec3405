// Reading the tilesets' pictures (PNG through libpng, BMP through the game's
// own loader) into colours with coverage, cutting tiles out by margin and
// spacing as Tiled does, flipping them, and drawing each stack bottom to top.
#include "TiledSheet.h"

#include "common/ScreenBmp.h"
#include "engine/Bitmap.h"
#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/Format.h"
#include "engine/GameEngine.h"

#include <SDL.h>
#include <png.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <map>

namespace {

constexpr int TILE = MapFile::TILE_SIZE;
constexpr uint32_t KEY_COLOUR = uint32_t{GameEngine::KEY_RED} << 16 |
                                uint32_t{GameEngine::KEY_GREEN} << 8 | GameEngine::KEY_BLUE;
constexpr uint32_t OPAQUE = 0xFF;
// A pixel over nothing is drawn when it covers at least half: the sheet's
// pixels are either a colour or the key.
constexpr uint32_t HALF_COVERED = 0x80;
constexpr char PNG_SIGNATURE[] = "\x89PNG";

// A picture's pixels as 0xAARRGGBB, row by row.
struct Pixels {
    int width = 0;  // px
    int height = 0; // px
    std::vector<uint32_t> argb;
};

Pixels readPng(const std::string& path, const std::string& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
        throw DataError(path, std::string("not a readable PNG image: ") + image.message);
    }
    if (image.width > MAX_BITMAP_SIDE || image.height > MAX_BITMAP_SIDE ||
        int64_t{image.width} * image.height > MAX_BITMAP_PIXELS) {
        png_image_free(&image);
        throw DataError(path, format("the picture is %u x %u px; a tileset's may be at most %d px "
                                     "on a side and %lld px in all",
                                     image.width, image.height, MAX_BITMAP_SIDE,
                                     static_cast<long long>(MAX_BITMAP_PIXELS)));
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) == 0) {
        throw DataError(path, std::string("not a readable PNG image: ") + image.message);
    }
    Pixels pixels{static_cast<int>(image.width), static_cast<int>(image.height), {}};
    pixels.argb.reserve(rgba.size() / 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        pixels.argb.push_back(uint32_t{rgba[i + 3]} << 24 | uint32_t{rgba[i]} << 16 |
                              uint32_t{rgba[i + 1]} << 8 | rgba[i + 2]);
    }
    return pixels;
}

// A BMP has no coverage: its pixels are opaque but for the key colour.
Pixels readBmp(FileRegistry& files, const std::string& path) {
    Surface surface = readBitmap(files, path);
    const SDL_Surface& picture = *surface;
    int bytesPerPixel = picture.format->BytesPerPixel;
    Pixels pixels{picture.w, picture.h, {}};
    pixels.argb.reserve(static_cast<size_t>(picture.w) * static_cast<size_t>(picture.h));
    for (int y = 0; y < picture.h; ++y) {
        const auto* pRow = static_cast<const uint8_t*>(picture.pixels) + y * picture.pitch;
        for (int x = 0; x < picture.w; ++x) {
            const uint8_t* pPixel = pRow + x * bytesPerPixel;
            Uint32 value = 0;
            if (bytesPerPixel == 1) {
                value = *pPixel;
            } else if (bytesPerPixel == 2) {
                Uint16 shortValue = 0;
                std::memcpy(&shortValue, pPixel, sizeof shortValue);
                value = shortValue;
            } else if (bytesPerPixel == 3) {
                value = SDL_BYTEORDER == SDL_LIL_ENDIAN
                            ? Uint32{pPixel[0]} | Uint32{pPixel[1]} << 8 | Uint32{pPixel[2]} << 16
                            : Uint32{pPixel[2]} | Uint32{pPixel[1]} << 8 | Uint32{pPixel[0]} << 16;
            } else {
                std::memcpy(&value, pPixel, sizeof value);
            }
            Uint8 red = 0;
            Uint8 green = 0;
            Uint8 blue = 0;
            SDL_GetRGB(value, picture.format, &red, &green, &blue);
            pixels.argb.push_back(OPAQUE << 24 | uint32_t{red} << 16 | uint32_t{green} << 8 | blue);
        }
    }
    return pixels;
}

// Tiled reads a picture by its content, whatever its name.
Pixels readPicture(FileRegistry& files, const TiledTileset& tileset, const std::string& path) {
    std::string bytes = readFile(files, path, BITMAP_FILE);
    if (bytes.starts_with(PNG_SIGNATURE)) {
        return readPng(path, bytes);
    }
    if (bytes.starts_with("BM")) {
        return readBmp(files, path);
    }
    throw DataError(path, "the picture of tileset " + TiledMap::quoted(tileset.name) +
                              " is neither PNG nor BMP; save it as PNG");
}

// Channel by channel, `over` at `alpha` / 255 over `under`.
uint32_t blend(uint32_t over, uint32_t under, uint32_t alpha) {
    uint32_t mixed = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t top = over >> shift & 0xFF;
        uint32_t bottom = under >> shift & 0xFF;
        mixed |= (top * alpha + bottom * (OPAQUE - alpha) + OPAQUE / 2) / OPAQUE << shift;
    }
    return mixed;
}

// One image being drawn: 0xRRGGBB where covered, the key elsewhere.
struct Image {
    uint32_t rgb[TILE * TILE];
    bool covered[TILE * TILE];
};

// Draws tile `tile` (a global id with its flip bits) of the tileset from its
// picture over the image.
void drawTile(Image& image, const TiledTileset& tileset, const Pixels& picture,
              const std::string& pictureName, uint32_t tile) {
    int64_t id = (tile & ~TiledMap::FLIP_BITS) - tileset.firstGid;
    // Tiled counts the columns from the picture's width, the margin once.
    int64_t columns = (picture.width - tileset.margin + tileset.spacing) / (TILE + tileset.spacing);
    int64_t left = tileset.margin + (columns > 0 ? id % columns : 0) * (TILE + tileset.spacing);
    int64_t top = tileset.margin + (columns > 0 ? id / columns : 0) * (TILE + tileset.spacing);
    if (columns <= 0 || top + TILE > picture.height) {
        throw DataError(tileset.fileName,
                        format("tileset %s: tile %lld lies outside its picture %s (%d x %d px); "
                               "check the tileset's image, margin and spacing in Tiled",
                               TiledMap::quoted(tileset.name).c_str(), static_cast<long long>(id),
                               TiledMap::quoted(pictureName).c_str(), picture.width,
                               picture.height));
    }
    bool horizontal = (tile & TiledMap::FLIP_HORIZONTAL) != 0;
    bool vertical = (tile & TiledMap::FLIP_VERTICAL) != 0;
    bool diagonal = (tile & TiledMap::FLIP_DIAGONAL) != 0;
    for (int y = 0; y < TILE; ++y) {
        for (int x = 0; x < TILE; ++x) {
            // Tiled turns a tile over its diagonal first, then flips it
            // across, then down: undone here in the reverse order.
            int unflippedY = vertical ? TILE - 1 - y : y;
            int unflippedX = horizontal ? TILE - 1 - x : x;
            int sourceX = diagonal ? unflippedY : unflippedX;
            int sourceY = diagonal ? unflippedX : unflippedY;
            uint32_t argb =
                picture
                    .argb[static_cast<size_t>(top + sourceY) * static_cast<size_t>(picture.width) +
                          static_cast<size_t>(left + sourceX)];
            uint32_t rgb = argb & 0xFFFFFF;
            uint32_t alpha = argb >> 24;
            if (rgb == KEY_COLOUR || rgb == tileset.transparentColour || alpha == 0) {
                continue;
            }
            int at = y * TILE + x;
            if (image.covered[at]) {
                image.rgb[at] = blend(rgb, image.rgb[at], alpha);
            } else if (alpha >= HALF_COVERED) {
                image.rgb[at] = rgb;
                image.covered[at] = true;
            }
        }
    }
}

} // namespace

std::vector<uint8_t> TiledSheet::draw(FileRegistry& files, const TiledMap& map,
                                      const std::vector<std::vector<uint32_t>>& images) {
    std::map<std::string, Pixels> pictures; // by path: tilesets may share one
    // The pictures read are bounded together as one bitmap is on its own.
    size_t pixelsRead = 0;
    std::vector<uint32_t> sheet;
    sheet.reserve(images.size() * TILE * TILE);
    for (const std::vector<uint32_t>& stack : images) {
        Image image{};
        for (uint32_t tile : stack) {
            const TiledTileset& tileset = *map.tilesetOf(tile & ~TiledMap::FLIP_BITS);
            if (tileset.image.empty()) {
                throw DataError(tileset.fileName,
                                "tileset " + TiledMap::quoted(tileset.name) +
                                    " has no picture (it is a collection of images); make it "
                                    "\"Based on Tileset Image\" in Tiled");
            }
            if (tileset.image.size() > PATH_MAX) {
                throw DataError(tileset.fileName, "tileset " + TiledMap::quoted(tileset.name) +
                                                      " names a picture with a path longer than "
                                                      "any file's");
            }
            std::string path =
                (std::filesystem::path(tileset.fileName).parent_path() / tileset.image).string();
            auto found = pictures.find(path);
            if (found == pictures.end()) {
                found = pictures.emplace(path, readPicture(files, tileset, path)).first;
                pixelsRead += found->second.argb.size();
                if (pixelsRead > static_cast<size_t>(MAX_BITMAP_PIXELS)) {
                    throw DataError(path, format("the tilesets' pictures hold more than %lld px "
                                                 "together; keep the map's tiles in fewer or "
                                                 "smaller pictures",
                                                 static_cast<long long>(MAX_BITMAP_PIXELS)));
                }
            }
            drawTile(image, tileset, found->second, tileset.image, tile);
        }
        for (int i = 0; i < TILE * TILE; ++i) {
            sheet.push_back(image.covered[i] ? image.rgb[i] : KEY_COLOUR);
        }
    }
    return screenBmp(TILE, static_cast<int>(images.size()) * TILE, sheet);
}
