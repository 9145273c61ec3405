// The player's update and state machine: the order of one update, the entry
// operations and the state handlers.
#include "world/player/Kalvorn.h"

#include "engine/GameEngine.h"
#include "engine/Wrapping.h"
#include "graphics/Sprite.h"

namespace {

// Animation numbers of the character file.
constexpr int32_t ANIMATION_STANDING = 0;
constexpr int32_t ANIMATION_ACCELERATING = 1; // also decelerating
constexpr int32_t ANIMATION_RUNNING = 2;
constexpr int32_t ANIMATION_AIRBORNE = 3;
constexpr int32_t ANIMATION_CLIMBING = 4;
constexpr int32_t ANIMATION_CLIMBING_TOP = 5; // the ladder's top between feet and head
constexpr int32_t ANIMATION_TELEPORT_LANDED = 8;

constexpr int32_t TELEPORT_STEP = 16; // px per update of the descent

} // namespace

void Kalvorn::update() {
    KeyState keys = gEngine->getKeys();
    m_pSprite->step();
    if (m_invincibleTime > 0) {
        --m_invincibleTime;
    }
    if (m_pendingAction != nullptr) {
        (this->*m_pendingAction)();
        m_pendingAction = nullptr;
    }
    if (m_scrolling) {
        (this->*m_state)(keys);
    } else {
        if (m_mode != TELEPORTING) {
            updateShooting(keys);
        }
        if (m_mode == ON_GROUND || m_mode == IN_AIR) {
            tryGrabLadder(keys);
        }
        (this->*m_state)(keys);
        if (m_mode != TELEPORTING) {
            moveThroughMap(keys);
        }
    }
    // After movement, so a jump pressed now moves the player from the next
    // update on.
    if (keys.spacePressed && m_mode == ON_GROUND) {
        enterJumping();
    }
    m_stateTime = wrapping::add(m_stateTime, 1);
    if (m_shooting) {
        m_shotTime = wrapping::add(m_shotTime, 1);
    }
    gEngine->followTarget(m_box);
}

void Kalvorn::moveThroughMap(const KeyState& keys) {
    if (m_xSpeed > FixedPoint{}) {
        moveHorizontally();
    }
    m_ladder = m_pMap->probeLadders(integerPart(m_x), integerPart(m_y), integerPart(m_y - m_ySpeed),
                                    m_ySpeed > FixedPoint{});
    if (m_mode == ON_LADDER && !m_ladder.any()) {
        enterFalling();
    }
    moveVertically(keys);
    checkScreenEdges();
    // Also on the ground and on ladders: those states set their vertical
    // speed again before it is used.
    m_ySpeed -= m_yGravity;
}

void Kalvorn::turnAround() {
    if (m_facing == RIGHT) {
        m_facing = LEFT;
    } else if (m_facing == LEFT) {
        m_facing = RIGHT;
    }
}

// Entry operations.

void Kalvorn::enterStanding() {
    m_stateTime = 0;
    m_state = &Kalvorn::standing;
    m_xSpeed = {};
    m_pSprite->setAnimation(ANIMATION_STANDING);
    m_verticalResponse = LAND;
    m_mode = ON_GROUND;
}

void Kalvorn::enterAccelerating() {
    m_stateTime = 0;
    m_state = &Kalvorn::accelerating;
    m_xSpeed = m_xAccelerating;
    if (m_durAcceleratingPreviousAnimation == 0) {
        m_pSprite->setAnimation(ANIMATION_ACCELERATING);
    }
}

void Kalvorn::enterRunning() {
    m_stateTime = 0;
    m_state = &Kalvorn::running;
    m_xSpeed = m_xRunning;
    m_pSprite->setAnimation(ANIMATION_RUNNING);
    m_verticalResponse = LAND;
    m_mode = ON_GROUND;
}

void Kalvorn::enterDecelerating() {
    m_stateTime = 0;
    m_state = &Kalvorn::decelerating;
    m_xSpeed = m_xDecelerating;
    if (m_durDeceleratingPreviousAnimation == 0) {
        m_pSprite->setAnimation(ANIMATION_ACCELERATING);
    }
}

void Kalvorn::enterJumping() {
    m_stateTime = 0;
    m_state = &Kalvorn::airborne;
    m_ySpeed = m_yJumping;
    gEngine->raiseSound(SoundEvent::JUMP);
    m_verticalResponse = BUMP;
    m_mode = IN_AIR;
}

void Kalvorn::enterFalling() {
    m_stateTime = 0;
    m_state = &Kalvorn::airborne;
    m_ySpeed = m_yFalling;
    // The fall makes its first step at once.
    m_y -= m_ySpeed;
    applyBoxY();
    m_ySpeed -= m_yGravity;
    m_pSprite->setAnimation(ANIMATION_AIRBORNE);
    m_verticalResponse = LAND;
    m_mode = IN_AIR;
}

void Kalvorn::enterClimbing() {
    m_stateTime = 0;
    m_state = &Kalvorn::climbing;
    m_mode = ON_LADDER;
}

void Kalvorn::enterReeling() {
    m_stateTime = 0;
    m_state = &Kalvorn::reeling;
    m_xSpeed = m_xReeling;
    m_ySpeed = m_yReeling;
    // Knocked backwards relative to the way the player faced when hit.
    turnAround();
    m_verticalResponse = STOP;
    m_mode = IN_AIR;
}

void Kalvorn::enterTeleportLanded() {
    gEngine->raiseSound(SoundEvent::TELEPORT);
    m_stateTime = 0;
    m_state = &Kalvorn::teleportLanded;
    m_pSprite->setAnimation(ANIMATION_TELEPORT_LANDED);
    m_verticalResponse = LAND;
    m_mode = IN_AIR;
}

// State handlers.

void Kalvorn::teleporting(KeyState) {
    if (integerPart(m_y) == m_teleportStopY) {
        // The box stayed behind during the descent.
        applyBoxX();
        applyBoxY();
        enterTeleportLanded();
    } else {
        m_y += fromInt(TELEPORT_STEP);
    }
}

void Kalvorn::teleportLanded(KeyState) {
    // Falls under gravity until the landing makes it stand or run.
}

void Kalvorn::standing(KeyState keys) {
    if (keys.horizontal != NONE) {
        m_facing = keys.horizontal;
        enterAccelerating();
    }
}

void Kalvorn::accelerating(KeyState keys) {
    if (keys.horizontal == NONE) {
        enterStanding();
        return;
    }
    // Turning keeps the speed and the state time.
    m_facing = keys.horizontal;
    if (m_stateTime == m_durAcceleratingPreviousAnimation) {
        m_pSprite->setAnimation(ANIMATION_ACCELERATING);
    } else if (m_stateTime == m_durAccelerating) {
        enterRunning();
    }
}

void Kalvorn::running(KeyState keys) {
    if (keys.horizontal == NONE) {
        enterDecelerating();
    } else {
        // The run turns at full speed.
        m_facing = keys.horizontal;
    }
}

void Kalvorn::decelerating(KeyState keys) {
    if (keys.horizontal != NONE) {
        m_facing = keys.horizontal;
        enterAccelerating();
    } else if (m_stateTime == m_durDeceleratingPreviousAnimation) {
        m_pSprite->setAnimation(ANIMATION_ACCELERATING);
    } else if (m_stateTime == m_durDecelerating) {
        enterStanding();
    }
}

void Kalvorn::airborne(KeyState keys) {
    if (m_stateTime == 1) {
        m_pSprite->setAnimation(ANIMATION_AIRBORNE);
    }
    if (keys.horizontal == NONE) {
        // No drift in the air.
        m_xSpeed = {};
    } else {
        m_facing = keys.horizontal;
        m_xSpeed = keys.previousHorizontal == NONE ? m_xJumpAccelerating : m_xJumping;
    }
    if (keys.spaceReleased && m_ySpeed > m_yJumpReleasedMax) {
        m_ySpeed = m_yJumpReleased;
    }
    if (m_ySpeed < FixedPoint{}) {
        // From the top of the jump on, a collision is a landing.
        m_verticalResponse = LAND;
    }
    if (m_ySpeed < m_yMin) {
        m_ySpeed = m_yMin;
    }
}

void Kalvorn::climbing(KeyState keys) {
    if (keys.vertical == UP || keys.vertical == DOWN) {
        if (keys.vertical == UP) {
            m_ySpeed = m_yClimbingUp;
            m_verticalResponse = STOP;
        } else {
            m_ySpeed = m_yClimbingDown;
            m_verticalResponse = LAND;
        }
        m_pSprite->setAnimation(m_ladder.topBetweenFeetAndHead() ? ANIMATION_CLIMBING_TOP
                                                                 : ANIMATION_CLIMBING);
    } else if (keys.vertical == NONE) {
        m_ySpeed = {};
        m_pSprite->setAnimation(ANIMATION_CLIMBING);
        // The climbing picture holds still.
        m_pSprite->resetFrameTime();
    }
    if (m_shooting) {
        m_ySpeed = {};
    }
    if (m_ySpeed > FixedPoint{} && m_ladder.onlyAtFeet()) {
        // Climbed over the top: stand m_heightHalf above the top of the tile
        // row that holds y.
        m_y = fromInt(wrapping::sub(m_pMap->tileRowTop(integerPart(m_y)), m_heightHalf));
        applyBoxY();
        m_ySpeed = {};
        enterStanding();
    } else if (keys.spacePressed && keys.vertical == NONE) {
        // Let go of the ladder.
        m_ySpeed = m_yFalling;
        if (keys.horizontal != NONE) {
            m_facing = keys.horizontal;
        }
        enterFalling();
    }
}

void Kalvorn::reeling(KeyState) {
    if (m_stateTime == m_durReeling) {
        turnAround();
        enterStanding();
    }
}

const char* Kalvorn::stateName() const {
    struct Named {
        StateHandler handler;
        const char* name;
    };
    static const Named NAMES[] = {
        {&Kalvorn::teleporting, "Teleporting"},
        {&Kalvorn::teleportLanded, "TeleportLanded"},
        {&Kalvorn::standing, "Standing"},
        {&Kalvorn::accelerating, "Accelerating"},
        {&Kalvorn::running, "Running"},
        {&Kalvorn::decelerating, "Decelerating"},
        {&Kalvorn::airborne, "Airborne"},
        {&Kalvorn::climbing, "Climbing"},
        {&Kalvorn::ladderScrolling, "LadderScrolling"},
        {&Kalvorn::fallScrolling, "FallScrolling"},
        {&Kalvorn::reeling, "Reeling"},
    };
    for (const Named& named : NAMES) {
        if (named.handler == m_state) {
            return named.name;
        }
    }
    return "Unknown";
}
