// The one stationary hazard of a level: an animated picture at a fixed place
// whose box hurts the player on contact.
#pragma once

#include "engine/Hitbox.h"

#include <SDL.h>
#include <memory>

class Kalvorn;
class Sprite;

class Enemy {
public:
    // The enemy's place and size are part of the enemy, not of any file.
    static constexpr Sint16 BOX_X = 112;    // px, world
    static constexpr Sint16 BOX_Y = 2104;   // px, world
    static constexpr Uint16 BOX_WIDTH = 16; // px
    static constexpr Uint16 BOX_HEIGHT = 8; // px

    // Builds the sprite from "enemy.ini"; throws DataError when the file
    // gives no sheet or no animation to show.
    Enemy();
    ~Enemy();
    Enemy(const Enemy&) = delete;
    Enemy& operator=(const Enemy&) = delete;

    // One animation step per update of play.
    void update();
    // Draws the sprite at the box's top-left corner with sheet 0.
    void draw();
    // A view of the enemy's box for the level's contact test.
    Hitbox hitbox() const { return m_hitbox; }
    // Called by the level when the boxes overlap; whether the hit counts is
    // the player's business.
    void touch(Kalvorn& player);

private:
    SDL_Rect m_box{BOX_X, BOX_Y, BOX_WIDTH, BOX_HEIGHT}; // px, world
    Hitbox m_hitbox{&m_box};
    std::unique_ptr<Sprite> m_pSprite;
};
