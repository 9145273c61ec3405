// A kind of object a level may place: read from its own INI file (a
// behaviour and its numbers, a box, hit points, contact damage and the sprite
// sections), shared by every object of that kind in the level.
#pragma once

#include "engine/FixedPoint.h"
#include "engine/Surface.h"

#include <SDL.h>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IniDictionary;

// What an object does each update. Each has its numbers in the kind file's
// [Behaviour] section and its rules in Behaviours.cpp.
enum class Behaviour : int32_t {
    STATIONARY, // stands and animates
    WALKER,     // walks, turns at walls and ledges, falls
    HOPPER,     // hops toward the player at intervals
    FLYER,      // flies back and forth along a line or a wave, through tiles
    TURRET,     // fires shots at the player at intervals
    EXIT,       // the level's goal
};

struct ObjectKind {
    // Animation numbers of a kind's sprite.
    static constexpr int32_t ANIMATION_NORMAL = 0;
    static constexpr int32_t ANIMATION_DEFEAT = 1; // played once, then the object is gone
    static constexpr int32_t ANIMATION_ACTION = 2; // in the air, firing
    // Sheets: the object facing right (or its only sheet), then left.
    static constexpr int32_t SHEET_RIGHT = 0;
    static constexpr int32_t SHEET_LEFT = 1;
    // The most a contact or a shot takes from the player.
    static constexpr int32_t MAX_DAMAGE = 9999;

    // Reads and checks the file; throws DataError naming it, the section
    // and the key for anything the game cannot use.
    explicit ObjectKind(const std::string& fileName);
    ~ObjectKind();
    ObjectKind(const ObjectKind&) = delete;
    ObjectKind& operator=(const ObjectKind&) = delete;

    std::string fileName;
    Behaviour behaviour = Behaviour::STATIONARY;
    int32_t hitPoints = 0;     // 0: cannot be defeated, shots pass through
    int32_t contactDamage = 1; // health the player loses on contact; 0 harms nobody
    int32_t facing = 0;        // LEFT or RIGHT at the start
    Uint16 width = 0;          // px
    Uint16 height = 0;         // px

    // [Behaviour]: what each behaviour reads; the others keep their defaults.
    FixedPoint speed;     // 1/256 px per update: walking, flying, along the path
    FixedPoint gravity;   // 1/256 px per update, per update
    FixedPoint maxFall;   // 1/256 px per update
    FixedPoint jumpX;     // 1/256 px per update, a hop's speed across
    FixedPoint jumpY;     // 1/256 px per update, a hop's speed upward
    FixedPoint shotSpeed; // 1/256 px per update, along the shot's longer axis
    bool turnAtLedges = true;
    bool wave = false;    // a flyer's path: a wave rather than a line
    int32_t interval = 0; // updates between hops or shots
    int32_t range = 0;    // px: a turret fires at a player this near across
    int32_t period = 0;   // updates of one whole wave
    int32_t pathX = 0;    // px: the line's far end from the start, or the wave's travel
    int32_t pathY = 0;    // px: the line's far end, or the wave's height
    int32_t shotDamage = 0;
    Surface pShotSurface; // a turret's shot
    // [Sounds]: this kind's own sound for each of its events (defeat,
    // enemyShoot, clear), or GameEngine::NO_OWN_SOUND for the sounds file's.
    int32_t defeatSound = -1;
    int32_t shootSound = -1;
    int32_t clearSound = -1;

    // Each object builds its own sprite (its own animation state) from this.
    std::unique_ptr<IniDictionary> pFile;

    // Numbers the rules accept but that leave the object doing nothing of
    // its behaviour (most are the keys' defaults, so a forgotten key), or an
    // exit shots can take away; one line each naming the file and the key.
    std::vector<std::string> designWarnings() const;

    static const char* behaviourName(Behaviour behaviour);
};
