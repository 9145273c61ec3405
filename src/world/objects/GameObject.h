// One object a level placed: its kind, where it started, where it is, how it
// moves, its hit points and its own animation. The behaviours (Behaviours.cpp)
// move it; the level's object set tests it against the player and the shots.
#pragma once

#include "engine/FixedPoint.h"
#include "world/objects/ObjectKind.h"

#include <SDL.h>
#include <cstdint>
#include <memory>
#include <vector>

class Map;
class Sprite;

enum class ObjectState : int32_t {
    IDLE,     // standing, or on the ground between hops
    WALKING,  // a walker on the ground
    FALLING,  // in the air, not of its own will
    HOPPING,  // a hopper's jump
    FLYING,   // a flyer on its path
    FIRING,   // a turret just after a shot
    DEFEATED, // playing its defeat animation
    GONE,     // until the player's next start
};

const char* objectStateName(ObjectState state);

// A turret's shot: flies straight at its speed until it meets a solid tile,
// leaves the camera's view or reaches the player.
struct EnemyShot {
    FixedPoint x, y;           // 1/256 px, world, the picture's top-left
    FixedPoint xSpeed, ySpeed; // 1/256 px per update, y positive downward
    int32_t damage = 0;
    SDL_Surface* pPicture = nullptr; // the kind's, not owned
    bool active = false;

    SDL_Rect box() const;
};

// What an object's behaviour may look at and act on in one update.
struct ObjectWorld {
    const Map& map;
    SDL_Rect player; // the player's box, world px
    std::vector<EnemyShot>& shots;
};

class GameObject {
public:
    // Placed with its box's top-left at world (x, y) px.
    GameObject(const ObjectKind& kind, int32_t kindIndex, int32_t x, int32_t y);
    ~GameObject();
    GameObject(GameObject&&) noexcept;
    GameObject& operator=(GameObject&&) noexcept;

    // Back at its start, whole, as the level first placed it.
    void reset();
    // One update of its behaviour and its animation.
    void update(const ObjectWorld& world);
    void draw();
    // A shot took one hit point; at 0 the defeat begins. False when the
    // object cannot be hit now (no hit points, defeated or gone).
    bool takeShot();

    const ObjectKind& kind() const { return *m_pKind; }
    int32_t kindIndex() const { return m_kindIndex; }
    ObjectState state() const { return m_state; }
    // Neither defeated nor gone: it moves, hurts and may be hit.
    bool isAlive() const {
        return m_state != ObjectState::DEFEATED && m_state != ObjectState::GONE;
    }
    int32_t hitPoints() const { return m_hitPoints; }
    SDL_Rect box() const;
    int32_t startX() const { return m_startX; } // world px
    int32_t startY() const { return m_startY; }

    // The state the behaviours move; public so that each behaviour's rules
    // stay in one function of Behaviours.cpp.
    FixedPoint x, y;           // 1/256 px, world, the box's top-left
    FixedPoint xSpeed, ySpeed; // 1/256 px per update; ySpeed positive downward
    int32_t facing = 0;        // LEFT or RIGHT
    int32_t timer = 0;         // updates, the behaviour's own count
    int32_t pathPosition = 0;  // 1/256 px along a flyer's path
    int32_t pathDirection = 1; // +1 out along the path, -1 back

    // Movement against the map's tiles, for the behaviours. Across: false
    // when a wall stopped the box (it then touches the wall).
    bool moveAcross(const Map& map, FixedPoint distance);
    // Gravity, then down (or up) against the tiles: lands on a floor, stops
    // under a ceiling. True when the box stands on a floor afterwards.
    bool fall(const Map& map);
    bool isOnFloor(const Map& map) const;
    // Whether the floor ends under the leading edge one step ahead.
    bool isAtLedge(const Map& map) const;
    void setState(ObjectState state);

private:
    void applyAnimation();

    const ObjectKind* m_pKind;
    int32_t m_kindIndex = 0;
    int32_t m_startX = 0; // world px
    int32_t m_startY = 0;
    int32_t m_hitPoints = 0;
    int32_t m_defeatTime = 0; // updates the defeat has played
    ObjectState m_state = ObjectState::IDLE;
    std::unique_ptr<Sprite> m_pSprite;
};
