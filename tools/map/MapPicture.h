// kcs-map render: the whole map as one picture, and over it, for a level,
// what the designer cannot see in play all at once: the boundaries with
// their numbers, the start and the teleport's stop, and the enemy's box or
// the level's objects.
#pragma once

#include "graphics/Picture.h"
#include "world/level/LevelLayout.h"
#include "world/level/MapFile.h"

#include <SDL.h>
#include <string>
#include <vector>

namespace MapPicture {

// The colours, for the documentation's legend and the tests.
constexpr uint32_t BACKGROUND = 0x000000; // where a tile's key colour shows through
constexpr uint32_t ABSENT = 0x202020;     // an absent screen, hatched
constexpr uint32_t ABSENT_HATCH = 0x707070;
constexpr uint32_t START = 0x00FFFF; // the teleport's way down and its stop
constexpr uint32_t ENEMY = 0xFF2020;
constexpr uint32_t BOUNDARY_COLOURS[] = {0xFFFF00, 0x40FF40, 0xFF80FF, 0xFFA000};

constexpr uint32_t EXIT = 0x4080FF;

// A level's object: its box, and the first picture of its sprite when it
// could be read.
struct ObjectPicture {
    int x = 0; // world px of the box's top-left corner
    int y = 0;
    int width = 0; // px
    int height = 0;
    bool exit = false;
    SDL_Surface* pSheet = nullptr; // with the game's key colour set; null: the box alone
    SDL_Rect source{};
    int xOffset = 0; // px from the box's top-left, as the game draws it
    int yOffset = 0;
};

// pLayout may be null: the map alone. A level with objects has them drawn
// instead of the fixed enemy's box. `what` names the output in messages.
Picture draw(const MapFile& map, SDL_Surface* pSheet, const LevelLayout* pLayout,
             const std::vector<ObjectPicture>& objects, const std::string& what);

} // namespace MapPicture
