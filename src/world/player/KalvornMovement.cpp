// The player's movement through the map: walls, ladders, vertical collisions,
// the boundary edges and the vertical screen transitions. The map answers
// every question about tiles; the player never reads them itself.
#include "world/player/Kalvorn.h"

#include "engine/GameEngine.h"
#include "engine/Wrapping.h"

namespace {

constexpr int32_t TILE_CENTRE = 8; // px from a tile's left edge

} // namespace

void Kalvorn::moveHorizontally() {
    int32_t clear = m_pMap->horizontalClearance(m_box, m_facing);
    int32_t delta = 0; // whole pixels the full move would cross
    if (m_facing == RIGHT) {
        delta = integerPart(m_x + m_xSpeed) - integerPart(m_x);
    } else if (m_facing == LEFT) {
        delta = integerPart(m_x) - integerPart(m_x - m_xSpeed);
    }
    if (delta == 0) {
        delta = 1;
    }
    // Against an obstacle the player moves exactly up to it and keeps the
    // fraction of its position.
    FixedPoint step = clear < delta ? fromInt(clear) : m_xSpeed;
    if (m_facing == RIGHT) {
        m_x += step;
    } else if (m_facing == LEFT) {
        m_x -= step;
    }
    applyBoxX();
}

void Kalvorn::snapToLadder() {
    m_xSpeed = {};
    m_x = m_x - fromInt(Map::pastTileColumn(integerPart(m_x))) + fromInt(TILE_CENTRE);
    applyBoxX();
}

void Kalvorn::tryGrabLadder(const KeyState& keys) {
    if (keys.vertical == NONE || !m_ladder.any()) {
        return;
    }
    if (keys.vertical == UP) {
        // A ladder that starts below the feet is not climbed upward.
        if (m_ladder.onlyBelowNext()) {
            return;
        }
        snapToLadder();
        turnAround();
        if (m_ladder.onlyAboveNext()) {
            // Only the ladder's foot is within reach above: hop onto the top
            // of the tile row that holds y, a box height up, and drop.
            int32_t rel = integerPart(m_y - fromInt(m_pMap->currentBoundary().y));
            m_y = m_y - fromInt(Map::pastTileRow(rel)) - fromInt(m_box.h);
            applyBoxY();
            enterFalling();
        } else {
            enterClimbing();
        }
    } else if (keys.vertical == DOWN) {
        if (m_ladder.atBottom()) {
            return;
        }
        snapToLadder();
        if (m_ladder.onlyBelowNext()) {
            // Standing on the ladder's top: step down into it.
            m_y += fromInt(m_heightHalf);
            applyBoxY();
        }
        turnAround();
        enterClimbing();
    }
}

void Kalvorn::dropFractionY() {
    m_y = fromInt(integerPart(m_y));
    applyBoxY();
}

void Kalvorn::moveVertically(const KeyState& keys) {
    bool rising = m_ySpeed > FixedPoint{};
    int32_t clear = m_pMap->verticalClearance(m_box, rising ? UP : DOWN);
    FixedPoint next = m_y - m_ySpeed;
    bool collided = rising ? next < fromInt(wrapping::sub(integerPart(m_y), clear))
                           : next > fromInt(wrapping::add(integerPart(m_y), clear));
    if (m_mode == ON_GROUND) {
        m_ySpeed = {};
        if (clear > 0) {
            // Walked off an edge.
            enterFalling();
        }
        return;
    }
    if (!collided) {
        m_y = next;
        applyBoxY();
        return;
    }
    switch (m_verticalResponse) {
    case BUMP:
        m_ySpeed = m_yCollision;
        m_y -= fromInt(clear);
        dropFractionY();
        // From now on the jump can only end on a floor.
        m_verticalResponse = LAND;
        break;
    case LAND:
        // A jump or a fall ends: not the arrival's short drop, which has its
        // own sound, nor a climb down onto a floor.
        if (m_state == &Kalvorn::airborne) {
            gEngine->raiseSound(SoundEvent::LAND);
        }
        m_ySpeed = {};
        m_y += fromInt(clear);
        dropFractionY();
        if (m_mode == IN_AIR && keys.horizontal != NONE && keys.horizontal == m_facing) {
            enterRunning();
        } else {
            enterStanding();
        }
        break;
    case STOP:
        if (m_ySpeed > FixedPoint{}) {
            m_y -= fromInt(clear);
        } else {
            m_y += fromInt(clear);
        }
        dropFractionY();
        m_ySpeed = {};
        break;
    }
}

void Kalvorn::checkScreenEdges() {
    int32_t px = integerPart(m_x);
    int32_t py = integerPart(m_y);
    if (m_pMap->isNearBoundaryBottom(py)) {
        if (m_pMap->isBottomless(px, py)) {
            m_hasFallenOut = true;
        } else if (m_mode == ON_LADDER) {
            enterLadderScrolling();
        } else if (m_mode == IN_AIR) {
            enterFallScrolling();
        }
    } else if (m_pMap->isNearBoundaryTop(py) && m_mode == ON_LADDER) {
        enterLadderScrolling();
    }
}

void Kalvorn::ladderScrollStep() {
    // The direction follows the climb; a speed of 0 counts as down.
    if (m_ySpeed > FixedPoint{}) {
        m_y -= m_yScrolling;
        gEngine->moveCamera(0, -CAMERA_SCROLL_STEP);
    } else {
        m_y += m_yScrolling;
        gEngine->moveCamera(0, CAMERA_SCROLL_STEP);
    }
    applyBoxY();
}

void Kalvorn::fallScrollStep() {
    m_y += m_yScrolling;
    applyBoxY();
    gEngine->moveCamera(0, CAMERA_SCROLL_STEP);
}

void Kalvorn::enterLadderScrolling() {
    ladderScrollStep();
    m_stateTime = 0;
    m_state = &Kalvorn::ladderScrolling;
    m_scrolling = true;
}

void Kalvorn::enterFallScrolling() {
    m_xSpeed = {};
    fallScrollStep();
    m_stateTime = 0;
    m_state = &Kalvorn::fallScrolling;
    m_scrolling = true;
}

void Kalvorn::ladderScrolling(KeyState) {
    if (m_stateTime == m_durScrolling) {
        m_scrolling = false;
        enterClimbing();
        endScrolling();
    } else {
        ladderScrollStep();
    }
}

void Kalvorn::fallScrolling(KeyState) {
    if (m_stateTime == m_durScrolling) {
        m_scrolling = false;
        enterFalling();
        endScrolling();
    } else {
        fallScrollStep();
    }
}

void Kalvorn::endScrolling() {
    // Puts the camera at the top of the boundary the player arrived in (or
    // back at the old one's, if it arrived in none).
    m_pMap->selectBoundary(integerPart(m_x), integerPart(m_y));
    gEngine->setBounds(m_pMap->currentBoundary());
}
