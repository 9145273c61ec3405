// The designer's overlay (F3, --overlay): drawn over a level's frame, it
// shows what the rules see: collision boxes, the current boundary and the
// screen grid, solid and ladder tiles, the points the probes read, and the
// player's position, speeds, state and boundary in plain numbers. It only
// draws; the game and its trace are the same with it on or off.
#pragma once

#include "world/player/Kalvorn.h"

#include <SDL.h>
#include <utility>
#include <vector>

class Map;

namespace overlay {

// Colours, 0xRRGGBB.
constexpr uint32_t PLAYER_BOX = 0x40FF40;
constexpr uint32_t ENEMY_BOX = 0xFF4040;
constexpr uint32_t SHOT_BOX = 0xFFFF40;
constexpr uint32_t BOUNDARY = 0x40FFFF;
constexpr uint32_t SCREEN_GRID = 0x606060;
constexpr uint32_t SOLID_TILE = 0xC0C0C0;
constexpr uint32_t LADDER_TILE = 0xFF9000;
constexpr uint32_t PROBE = 0xFF40FF;
constexpr uint32_t PATH = 0xFF8080;

// What can hurt the player or end the level: the boxes of the enemy or the
// objects and their shots, and the flyers' paths (world px).
struct Hazards {
    std::vector<SDL_Rect> boxes;
    std::vector<std::pair<ProbePoint, ProbePoint>> paths;
};

void draw(const Map& map, const Kalvorn::Readout& player, const Hazards& hazards);

} // namespace overlay
