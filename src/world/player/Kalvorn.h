// The player character: its character file, state machine, movement against
// the map, vertical screen transitions, shots and drawing. Every number that
// tells one character from another comes from its character file.
#pragma once

#include "engine/Direction.h"
#include "engine/FixedPoint.h"
#include "engine/Hitbox.h"
#include "engine/KeyState.h"
#include "engine/Surface.h"
#include "world/level/Map.h"
#include "world/player/Shot.h"

#include <SDL.h>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IniDictionary;
class Sprite;
class TraceRecord;

class Kalvorn {
public:
    // Types.
    enum MovementMode : int32_t {
        ON_GROUND = 0,
        IN_AIR = 1,
        ON_LADDER = 2,
        TELEPORTING = 3,
    };
    // What a vertical collision does.
    enum VerticalResponse : int32_t {
        BUMP = 0, // head against a ceiling while rising from a jump
        LAND = 1, // feet on a floor
        STOP = 2, // halt where it is (climbing up, recoil, teleport)
    };

    static constexpr int32_t SHEET_COUNT = 4;        // right, left, right shooting, left shooting
    static constexpr int32_t ANIMATION_COUNT = 9;    // standing ... teleport landing
    static constexpr int32_t SHOT_COUNT = 3;         // shots in flight at most
    static constexpr int32_t CAMERA_SCROLL_STEP = 4; // px per update of a screen transition

    // Construction. Reads the character file (the name is used as the path)
    // and places the player at the map's start in its teleport descent.
    // Throws DataError for a file that cannot be used.
    Kalvorn(const std::string& characterFile, Map* pMap);
    ~Kalvorn();
    Kalvorn(const Kalvorn&) = delete;
    Kalvorn& operator=(const Kalvorn&) = delete;

    // Operations.
    void update();
    // Touched the enemy: the recoil starts at the next update. A character
    // with health loses `damage` of it when the hit counts.
    void takeHit(int32_t damage = 1);
    // The first shot in flight (in slot order) whose picture overlaps the
    // box is spent: true when there was one.
    bool spendShotOn(SDL_Rect box);
    void draw();
    // Back to the level start, descending again.
    void respawn();
    bool hasFallenOut() const { return m_hasFallenOut; }
    bool isScrolling() const { return m_scrolling; }
    // Health, for a character whose file gives hit points: at 0 the player
    // starts again as after a fall, whole and without a pending recoil.
    bool hasHealth() const { return m_hitPoints != 0; }
    bool isOutOfHealth() const { return m_hitPoints != 0 && m_health == 0; }
    void restartAfterDefeat();
    // "health" of the trace, for a character with health.
    void addHealthTrace(TraceRecord& record) const;
    Hitbox hitbox() const { return m_hitbox; }
    // The player's members of a level's trace line: its state up to "box",
    // then, after the level's view members, "shots" and the animation.
    void addStateTrace(TraceRecord& record) const;
    void addShotsTrace(TraceRecord& record) const;

    // What the designer's overlay shows of the player.
    struct Readout {
        SDL_Rect box;
        FixedPoint x, y, xSpeed, ySpeed;
        const char* state;
        int32_t facing;
        int32_t nextY; // px: where the ladder probes look next
        bool rising;
        std::array<SDL_Rect, SHOT_COUNT> shots; // zero size for a slot not in flight
    };
    Readout readout() const;
    // Values kcs --check warns of: speeds of a tile per update or more, a
    // transition that does not move one screen or carry the player across.
    std::vector<std::string> designWarnings(const std::string& fileName) const;

private:
    using StateHandler = void (Kalvorn::*)(KeyState keys);
    using Action = void (Kalvorn::*)();

    // Configuration (Kalvorn.cpp).
    void readConfiguration(const IniDictionary& file);
    // The ladder flags a placement leaves: probed at the start, or, on a
    // respawn, kept from the fall until the landed teleport probes again. The
    // readout and the trace show the flags, so a respawn keeps them as the
    // game always has.
    enum class LadderFlags { PROBE, KEEP };
    // At the map's start in the teleport descent, in the boundary that holds
    // it: the construction's placement and every respawn's.
    void placeAtStart(LadderFlags flags);
    void applyBoxX();
    void applyBoxY();
    int32_t ladderFlags() const;

    // The update and the state machine (KalvornStates.cpp).
    void moveThroughMap(const KeyState& keys);
    void turnAround();
    void enterStanding();
    void enterAccelerating();
    void enterRunning();
    void enterDecelerating();
    void enterJumping();
    void enterFalling();
    void enterClimbing();
    void enterReeling();
    void enterTeleportLanded();
    void teleporting(KeyState keys);
    void teleportLanded(KeyState keys);
    void standing(KeyState keys);
    void accelerating(KeyState keys);
    void running(KeyState keys);
    void decelerating(KeyState keys);
    void airborne(KeyState keys);
    void climbing(KeyState keys);
    void reeling(KeyState keys);
    const char* stateName() const;

    // Movement against the map and screen transitions (KalvornMovement.cpp).
    void moveHorizontally();
    void tryGrabLadder(const KeyState& keys);
    void snapToLadder();
    void moveVertically(const KeyState& keys);
    void dropFractionY();
    void checkScreenEdges();
    void ladderScrollStep();
    void fallScrollStep();
    void enterLadderScrolling();
    void enterFallScrolling();
    void ladderScrolling(KeyState keys);
    void fallScrolling(KeyState keys);
    void endScrolling();

    // Shots (Kalvorn.cpp).
    void updateShooting(const KeyState& keys);
    // Where a shot's picture lies, world px; the picture must be loaded.
    SDL_Rect shotPicture(const Shot& shot) const;
    void readHealth(const IniDictionary& file, const std::string& fileName);
    void drawHealthBar() const;

    // Data members.
    FixedPoint m_x;                 // 1/256 px, where the sprite is drawn and probes are measured
    FixedPoint m_y;                 // 1/256 px
    FixedPoint m_xSpeed;            // 1/256 px per update, never negative; the way is m_facing
    FixedPoint m_ySpeed;            // 1/256 px per update, positive upward
    FixedPoint m_xAccelerating;     // 1/256 px per update
    FixedPoint m_xDecelerating;     // 1/256 px per update
    FixedPoint m_xJumpAccelerating; // 1/256 px per update, first update a direction is held
    FixedPoint m_xJumping;          // 1/256 px per update
    FixedPoint m_xReeling;          // 1/256 px per update
    FixedPoint m_xRunning;          // 1/256 px per update
    FixedPoint m_yClimbingDown;     // 1/256 px per update, negative moves down
    FixedPoint m_yClimbingUp;       // 1/256 px per update
    FixedPoint m_yCollision;        // 1/256 px per update after a head bump
    FixedPoint m_yFalling;          // 1/256 px per update at the start of a fall
    FixedPoint m_yGravity;          // 1/256 px per update, per update
    FixedPoint m_yJumping;          // 1/256 px per update at the start of a jump
    FixedPoint m_yJumpReleased;     // 1/256 px per update after letting go early
    FixedPoint m_yJumpReleasedMax;  // 1/256 px per update
    FixedPoint m_yMin;              // 1/256 px per update, terminal fall speed
    FixedPoint m_yScrolling;        // 1/256 px per update of a screen transition
    FixedPoint m_yReeling;          // 1/256 px per update at the start of a recoil
    int32_t m_facing = RIGHT;
    bool m_hasFallenOut = false;
    bool m_scrolling = false;
    bool m_shooting = false;
    MovementMode m_mode = TELEPORTING;
    int32_t m_stateTime = 0;                        // updates
    int32_t m_durAccelerating = 0;                  // updates
    int32_t m_durAcceleratingPreviousAnimation = 0; // updates
    int32_t m_durDecelerating = 0;                  // updates
    int32_t m_durDeceleratingPreviousAnimation = 0; // updates
    int32_t m_durInvincible = 0;                    // updates
    int32_t m_durReeling = 0;                       // updates
    int32_t m_durScrolling = 0;                     // updates
    int32_t m_durShooting = 0;                      // updates
    int32_t m_shotTime = 0;                         // updates since the last shot
    int32_t m_invincibleTime = 0;                   // updates left
    int32_t m_teleportStopY = 0;                    // world px
    int32_t m_hitPoints = 0;                        // 0: no health, as the classic game
    int32_t m_health = 0;                           // hit points left
    SDL_Rect m_healthBar{0, 0, 0, 0};               // screen px, the bar's frame
    uint32_t m_healthColour = 0;                    // 0xRRGGBB
    uint32_t m_healthEmptyColour = 0;               // 0xRRGGBB
    int32_t m_heightHalf = 0;                       // px
    int32_t m_boxXOffset = 0;                       // px
    int32_t m_boxYOffset = 0;                       // px
    int32_t m_shotXOffsetLeft = 0;                  // px
    int32_t m_shotXOffsetRight = 0;                 // px
    int32_t m_shotYOffset = 0;                      // px
    // "width" and "height" as written, before their 16-bit fields cut them, px.
    int32_t m_boxWidthKey = 0;
    int32_t m_boxHeightKey = 0;
    StateHandler m_state = &Kalvorn::teleporting;
    Action m_pendingAction = nullptr; // run once at the start of the next update
    VerticalResponse m_verticalResponse = STOP;
    std::array<Shot, SHOT_COUNT> m_shots{};
    Surface m_pShotSurface;
    Map* m_pMap; // not owned
    std::unique_ptr<Sprite> m_pSprite;
    SDL_Rect m_box{0, 0, 0, 0}; // world px
    Hitbox m_hitbox;
    LadderProbe m_ladder;
    struct SpeedKey {
        std::string section;
        std::string name; // the key without "Int" or "Fraction"
        FixedPoint value;
        int32_t fraction = 0; // as the file gives it
    };
    std::vector<SpeedKey> m_speedKeys;
};
