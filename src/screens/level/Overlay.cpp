#include "screens/level/Overlay.h"

#include "engine/Direction.h"
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "graphics/Font.h"
#include "world/level/Map.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace overlay {

namespace {

constexpr int PROBE_SIZE = 3;  // px, a square centred on the point read
constexpr int TEXT_MARGIN = 2; // px from the screen's edges

// A rectangle in world px, clipped by SDL to the screen.
void fill(int64_t x, int64_t y, int64_t w, int64_t h, uint32_t colour) {
    SDL_Rect camera = gEngine->getCamera();
    int64_t left = x - camera.x;
    int64_t top = y - camera.y;
    // Outside the view entirely: nothing to draw, and nothing to overflow.
    if (w <= 0 || h <= 0 || left + w <= 0 || top + h <= 0 || left >= SCREEN_WIDTH ||
        top >= SCREEN_HEIGHT) {
        return;
    }
    int64_t right = std::min<int64_t>(left + w, SCREEN_WIDTH);
    int64_t bottom = std::min<int64_t>(top + h, SCREEN_HEIGHT);
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    SDL_Rect rect{static_cast<Sint16>(left), static_cast<Sint16>(top),
                  static_cast<Uint16>(right - left), static_cast<Uint16>(bottom - top)};
    gEngine->fillScreenRect(rect, colour);
}

void outline(const SDL_Rect& rect, uint32_t colour) {
    int64_t x = rect.x, y = rect.y, w = rect.w, h = rect.h;
    fill(x, y, w, 1, colour);
    fill(x, y + h - 1, w, 1, colour);
    fill(x, y, 1, h, colour);
    fill(x + w - 1, y, 1, h, colour);
}

void mark(const ProbePoint& point) {
    fill(point.x - PROBE_SIZE / 2, point.y - PROBE_SIZE / 2, PROBE_SIZE, PROBE_SIZE, PROBE);
}

// A dotted line, one dot every other pixel along the longer axis.
void dots(ProbePoint from, ProbePoint to) {
    int64_t dx = int64_t{to.x} - from.x;
    int64_t dy = int64_t{to.y} - from.y;
    int64_t steps = std::max(std::abs(dx), std::abs(dy));
    for (int64_t i = 0; i <= steps; i += 2) {
        fill(from.x + (steps == 0 ? 0 : dx * i / steps), from.y + (steps == 0 ? 0 : dy * i / steps),
             1, 1, PATH);
    }
}

void drawTiles(const Map& map) {
    SDL_Rect camera = gEngine->getCamera();
    int32_t firstColumn = camera.x / Map::TILE_SIZE - (camera.x < 0 ? 1 : 0);
    int32_t firstRow = camera.y / Map::TILE_SIZE - (camera.y < 0 ? 1 : 0);
    for (int32_t row = firstRow; row <= firstRow + Map::SCREEN_TILES_Y; ++row) {
        for (int32_t column = firstColumn; column <= firstColumn + Map::SCREEN_TILES_X; ++column) {
            Tile tile = map.tileAt(column * Map::TILE_SIZE, row * Map::TILE_SIZE);
            if (tile.type == Map::LADDER_TILE) {
                outline(SDL_Rect{static_cast<Sint16>(tile.x + 2), static_cast<Sint16>(tile.y + 2),
                                 Map::TILE_SIZE - 4, Map::TILE_SIZE - 4},
                        LADDER_TILE);
            }
            if (tile.solid) {
                outline(SDL_Rect{static_cast<Sint16>(tile.x), static_cast<Sint16>(tile.y),
                                 Map::TILE_SIZE, Map::TILE_SIZE},
                        SOLID_TILE);
            }
        }
    }
}

void drawScreenGrid() {
    SDL_Rect camera = gEngine->getCamera();
    int64_t firstX = (camera.x / SCREEN_WIDTH) * SCREEN_WIDTH;
    int64_t firstY = (camera.y / SCREEN_HEIGHT) * SCREEN_HEIGHT;
    for (int64_t x = firstX; x <= camera.x + SCREEN_WIDTH; x += SCREEN_WIDTH) {
        fill(x, camera.y, 1, SCREEN_HEIGHT, SCREEN_GRID);
    }
    for (int64_t y = firstY; y <= camera.y + SCREEN_HEIGHT; y += SCREEN_HEIGHT) {
        fill(camera.x, y, SCREEN_WIDTH, 1, SCREEN_GRID);
    }
}

void drawNumbers(const Map& map, const Kalvorn::Readout& player) {
    Font& font = gEngine->getFont();
    const std::string lines[] = {"X " + std::to_string(integerPart(player.x)) + " Y " +
                                     std::to_string(integerPart(player.y)) + " B " +
                                     std::to_string(map.currentBoundaryIndex()),
                                 // Speeds in 1/256 px per update, as the character file gives them.
                                 "VX " + std::to_string(player.xSpeed.raw) + " VY " +
                                     std::to_string(player.ySpeed.raw) + " " + player.state};
    int lineHeight = font.getCharacterHeight() + 1;
    int top = SCREEN_HEIGHT - TEXT_MARGIN - 2 * lineHeight;
    // On black, so the numbers read over any tiles.
    size_t longest = std::max(lines[0].size(), lines[1].size());
    SDL_Rect camera = gEngine->getCamera();
    fill(camera.x, camera.y + top - 1,
         static_cast<int64_t>(longest) * font.getCharacterWidth() + 2 * TEXT_MARGIN,
         2 * lineHeight + 1, 0x000000);
    font.drawText(lines[0], TEXT_MARGIN, top);
    font.drawText(lines[1], TEXT_MARGIN, top + lineHeight);
}

} // namespace

void draw(const Map& map, const Kalvorn::Readout& player, const Hazards& hazards) {
    drawScreenGrid();
    drawTiles(map);
    SDL_Rect boundary = map.currentBoundary();
    outline(boundary, BOUNDARY);
    gEngine->getFont().drawText(std::to_string(map.currentBoundaryIndex()),
                                boundary.x - gEngine->getCamera().x + TEXT_MARGIN,
                                boundary.y - gEngine->getCamera().y + TEXT_MARGIN);
    for (const auto& [from, to] : hazards.paths) {
        dots(from, to);
    }
    for (const SDL_Rect& box : hazards.boxes) {
        outline(box, ENEMY_BOX);
    }
    outline(player.box, PLAYER_BOX);
    for (const SDL_Rect& shot : player.shots) {
        if (shot.w != 0) {
            outline(shot, SHOT_BOX);
        }
    }
    for (const ProbePoint& point : Map::horizontalProbes(player.box, player.facing)) {
        mark(point);
    }
    for (const ProbePoint& point : Map::verticalProbes(player.box, player.rising ? UP : DOWN)) {
        mark(point);
    }
    for (const ProbePoint& point : Map::ladderProbes(integerPart(player.x), integerPart(player.y),
                                                     player.nextY, player.rising)) {
        mark(point);
    }
    drawNumbers(map, player);
}

} // namespace overlay
