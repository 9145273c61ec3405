// kcs-map render: the whole map as one picture, and over it, for a level,
// what the designer cannot see in play all at once: the boundaries with
// their numbers, the start and the teleport's stop, and the enemy's box.
#pragma once

#include "graphics/Picture.h"
#include "world/level/LevelLayout.h"
#include "world/level/MapFile.h"

#include <SDL.h>
#include <string>

namespace MapPicture {

// The colours, for the documentation's legend and the tests.
constexpr uint32_t BACKGROUND = 0x000000; // where a tile's key colour shows through
constexpr uint32_t ABSENT = 0x202020;     // an absent screen, hatched
constexpr uint32_t ABSENT_HATCH = 0x707070;
constexpr uint32_t START = 0x00FFFF; // the teleport's way down and its stop
constexpr uint32_t ENEMY = 0xFF2020;
constexpr uint32_t BOUNDARY_COLOURS[] = {0xFFFF00, 0x40FF40, 0xFF80FF, 0xFFA000};

// pLayout may be null: the map alone. `what` names the output in messages.
Picture draw(const MapFile& map, SDL_Surface* pSheet, const LevelLayout* pLayout,
             const std::string& what);

} // namespace MapPicture
