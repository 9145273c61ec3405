// One of the player's shots: a picture that flies straight left or right at
// 4 px per update until it leaves the camera's view. Shots hit nothing.
#pragma once

#include "engine/Direction.h"

#include <SDL.h>
#include <cstdint>

struct Shot {
    static constexpr int32_t SPEED = 4; // px per update

    // Takes off from (x, y) unless already flying; false when it was.
    bool fire(int32_t x, int32_t y, int32_t direction);
    // One step of flight; the shot stops once it is out of the camera's view.
    void update();
    void draw(SDL_Surface* pSurface) const;

    int32_t x = 0;            // world px of the image's left edge
    int32_t y = 0;            // world px of the image's top edge
    int32_t direction = NONE; // RIGHT or LEFT, fixed when fired
    bool active = false;
};
