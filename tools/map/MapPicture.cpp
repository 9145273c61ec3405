#include "MapPicture.h"

#include "engine/GameEngine.h"
#include "world/enemy/Enemy.h"

#include <algorithm>
#include <cstdint>

namespace MapPicture {

namespace {

constexpr int TILE = MapFile::TILE_SIZE;
constexpr int SCREEN_WIDTH = MapFile::SCREEN_TILES_X * TILE;
constexpr int SCREEN_HEIGHT = MapFile::SCREEN_TILES_Y * TILE;
constexpr int HATCH_SPACING = 8;      // px
constexpr int BOUNDARY_THICKNESS = 2; // px
constexpr int NUMBER_SCALE = 2;
constexpr int LABEL_INSET = 4; // px inside a boundary's corner
constexpr int STOP_MARK = 7;   // px across the stop's square
constexpr int DASH = 4;        // px of the teleport's dashed way down

void drawTiles(Picture& picture, const MapFile& map, SDL_Surface* pSheet) {
    // The game's key colour shows what is behind a tile, as in play.
    SDL_SetColorKey(pSheet, SDL_SRCCOLORKEY,
                    SDL_MapRGB(pSheet->format, GameEngine::KEY_RED, GameEngine::KEY_GREEN,
                               GameEngine::KEY_BLUE));
    for (int screen = 0; screen < map.screensAcross() * map.screensDown(); ++screen) {
        int left = screen % map.screensAcross() * MapFile::SCREEN_TILES_X;
        int top = screen / map.screensAcross() * MapFile::SCREEN_TILES_Y;
        if (!map.isScreenPresent(screen)) {
            picture.fill(left * TILE, top * TILE, SCREEN_WIDTH, SCREEN_HEIGHT, ABSENT);
            picture.hatch(left * TILE, top * TILE, SCREEN_WIDTH, SCREEN_HEIGHT, HATCH_SPACING,
                          ABSENT_HATCH);
            continue;
        }
        for (int row = top; row < top + MapFile::SCREEN_TILES_Y; ++row) {
            for (int column = left; column < left + MapFile::SCREEN_TILES_X; ++column) {
                int code = map.codeAt(column, row);
                if (code < 1) {
                    continue;
                }
                SDL_Rect source{0, static_cast<Sint16>((code - 1) * TILE), TILE, TILE};
                SDL_Rect target{static_cast<Sint16>(column * TILE), static_cast<Sint16>(row * TILE),
                                TILE, TILE};
                SDL_BlitSurface(pSheet, &source, picture.surface(), &target);
            }
        }
    }
}

void drawLayout(Picture& picture, const LevelLayout& layout) {
    for (size_t i = 0; i < layout.boundaries.size(); ++i) {
        const SDL_Rect& b = layout.boundaries[i];
        uint32_t colour = BOUNDARY_COLOURS[i % std::size(BOUNDARY_COLOURS)];
        picture.outline(b.x, b.y, b.w, b.h, BOUNDARY_THICKNESS, colour);
        picture.number(b.x + LABEL_INSET, b.y + LABEL_INSET, static_cast<int64_t>(i), NUMBER_SCALE,
                       colour);
    }
    int32_t x = layout.startX();
    int32_t stop = layout.teleportStopY();
    // Only what lies on the picture is drawn: the stop may be anywhere.
    int32_t end = std::min(stop, picture.height());
    for (int32_t y = std::max<int32_t>(layout.boundaries[0].y, 0); y < end; y += 2 * DASH) {
        picture.fill(x, y, 1, std::min(DASH, stop - y), START);
    }
    picture.fill(x - STOP_MARK / 2, stop - STOP_MARK / 2, STOP_MARK, STOP_MARK, START);
}

// SDL's rectangles hold 16-bit places; anything beyond is off the picture
// (which is at most 4080 px on a side), and its sizes stay within an int.
bool placeable(int64_t x, int64_t y) {
    return x >= INT16_MIN && x <= INT16_MAX && y >= INT16_MIN && y <= INT16_MAX;
}

void drawObjects(Picture& picture, const std::vector<ObjectPicture>& objects) {
    if (objects.empty()) {
        picture.outline(Enemy::BOX_X, Enemy::BOX_Y, Enemy::BOX_WIDTH, Enemy::BOX_HEIGHT, 1, ENEMY);
        return;
    }
    // Sprites first, so that no sprite hides another's box.
    for (const ObjectPicture& object : objects) {
        int64_t x = int64_t{object.x} + object.xOffset;
        int64_t y = int64_t{object.y} + object.yOffset;
        if (object.pSheet != nullptr && placeable(x, y)) {
            SDL_Rect source = object.source;
            SDL_Rect target{static_cast<Sint16>(x), static_cast<Sint16>(y), 0, 0};
            SDL_BlitSurface(object.pSheet, &source, picture.surface(), &target);
        }
    }
    for (const ObjectPicture& object : objects) {
        if (!placeable(object.x, object.y)) {
            continue;
        }
        picture.outline(object.x, object.y, object.width, object.height, 1,
                        object.exit ? EXIT : ENEMY);
    }
}

} // namespace

Picture draw(const MapFile& map, SDL_Surface* pSheet, const LevelLayout* pLayout,
             const std::vector<ObjectPicture>& objects, const std::string& what) {
    Picture picture(map.tilesAcross() * TILE, map.tilesDown() * TILE, BACKGROUND, what);
    drawTiles(picture, map, pSheet);
    if (pLayout != nullptr) {
        drawLayout(picture, *pLayout);
        drawObjects(picture, objects);
    }
    return picture;
}

} // namespace MapPicture
