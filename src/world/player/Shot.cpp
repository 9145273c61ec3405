// Flight and drawing of the player's shots.
#include "world/player/Shot.h"

#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "engine/Wrapping.h"

namespace {

// A shot going left is gone once its left edge is this far left of the view.
constexpr int32_t LEFT_VANISH_MARGIN = 8; // px

} // namespace

bool Shot::fire(int32_t startX, int32_t startY, int32_t startDirection) {
    if (active) {
        return false;
    }
    x = startX;
    y = startY;
    direction = startDirection;
    active = true;
    return true;
}

void Shot::update() {
    if (!active) {
        return;
    }
    SDL_Rect camera = gEngine->getCamera();
    if (direction == RIGHT) {
        x = wrapping::add(x, SPEED);
        if (x >= camera.x + SCREEN_WIDTH) {
            active = false;
        }
    } else if (direction == LEFT) {
        x = wrapping::sub(x, SPEED);
        if (x <= camera.x - LEFT_VANISH_MARGIN) {
            active = false;
        }
    }
}

void Shot::draw(SDL_Surface* pSurface) const {
    if (active) {
        gEngine->blitToWorld(wrapping::toSint16(x), wrapping::toSint16(y), pSurface, nullptr);
    }
}
