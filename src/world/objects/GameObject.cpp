// An object's placement, reset, animation, defeat and its movement against
// the map's tiles, which every moving behaviour shares.
#include "world/objects/GameObject.h"

#include "engine/Direction.h"
#include "engine/GameEngine.h"
#include "graphics/Sprite.h"
#include "world/level/Map.h"
#include "world/objects/Behaviours.h"

namespace {

// A defeat animation whose frames never end (a duration of 0 holds its
// frame) still lets the object go.
constexpr int32_t MAX_DEFEAT_TIME = 120; // updates

bool isSolid(const Map& map, int32_t x, int32_t y) {
    return map.tileAt(x, y).solid;
}

// Whether any tile along a row (or a column) of a box's edge is solid: one
// probe per tile, so a box of any size misses none.
bool solidAcross(const Map& map, int32_t left, int32_t right, int32_t y) {
    for (int32_t x = left;; x += Map::TILE_SIZE) {
        if (x >= right) {
            return isSolid(map, right, y);
        }
        if (isSolid(map, x, y)) {
            return true;
        }
    }
}

// Beside the map there is no floor to walk on: its edges are walls.
bool solidDown(const Map& map, int32_t x, int32_t top, int32_t bottom) {
    if (x < 0 || x >= map.width()) {
        return true;
    }
    for (int32_t y = top;; y += Map::TILE_SIZE) {
        if (y >= bottom) {
            return isSolid(map, x, bottom);
        }
        if (isSolid(map, x, y)) {
            return true;
        }
    }
}

} // namespace

const char* objectStateName(ObjectState state) {
    switch (state) {
    case ObjectState::IDLE:
        return "Idle";
    case ObjectState::WALKING:
        return "Walking";
    case ObjectState::FALLING:
        return "Falling";
    case ObjectState::HOPPING:
        return "Hopping";
    case ObjectState::FLYING:
        return "Flying";
    case ObjectState::FIRING:
        return "Firing";
    case ObjectState::DEFEATED:
        return "Defeated";
    default:
        return "Gone";
    }
}

SDL_Rect EnemyShot::box() const {
    Uint16 w = pPicture != nullptr ? static_cast<Uint16>(pPicture->w) : 0;
    Uint16 h = pPicture != nullptr ? static_cast<Uint16>(pPicture->h) : 0;
    return SDL_Rect{static_cast<Sint16>(integerPart(x)), static_cast<Sint16>(integerPart(y)), w, h};
}

GameObject::GameObject(const ObjectKind& kind, int32_t kindIndex, int32_t startX, int32_t startY)
    : m_pKind(&kind), m_kindIndex(kindIndex), m_startX(startX), m_startY(startY) {
    m_pSprite = std::make_unique<Sprite>(*kind.pFile, kind.fileName, 1, 1);
    reset();
}

GameObject::~GameObject() = default;
GameObject::GameObject(GameObject&&) noexcept = default;
GameObject& GameObject::operator=(GameObject&&) noexcept = default;

void GameObject::reset() {
    x = fromInt(m_startX);
    y = fromInt(m_startY);
    xSpeed = ySpeed = FixedPoint{};
    facing = m_pKind->facing;
    timer = 0;
    pathPosition = 0;
    pathDirection = 1;
    m_hitPoints = m_pKind->hitPoints;
    m_defeatTime = 0;
    m_state = rulesOf(m_pKind->behaviour).firstState;
    m_pSprite->setAnimation(ObjectKind::ANIMATION_NORMAL);
    applyAnimation();
}

SDL_Rect GameObject::box() const {
    return SDL_Rect{static_cast<Sint16>(integerPart(x)), static_cast<Sint16>(integerPart(y)),
                    m_pKind->width, m_pKind->height};
}

void GameObject::setState(ObjectState state) {
    if (state != m_state) {
        m_state = state;
        applyAnimation();
    }
}

void GameObject::applyAnimation() {
    int32_t wanted = ObjectKind::ANIMATION_NORMAL;
    if (m_state == ObjectState::DEFEATED) {
        wanted = ObjectKind::ANIMATION_DEFEAT;
    } else if ((m_state == ObjectState::HOPPING || m_state == ObjectState::FIRING) &&
               m_pSprite->animationCount() > ObjectKind::ANIMATION_ACTION) {
        wanted = ObjectKind::ANIMATION_ACTION;
    }
    if (wanted != m_pSprite->currentAnimation()) {
        m_pSprite->setAnimation(wanted);
    }
}

void GameObject::update(const ObjectWorld& world) {
    if (m_state == ObjectState::GONE) {
        return;
    }
    if (m_state == ObjectState::DEFEATED) {
        m_pSprite->step();
        ++m_defeatTime;
        if (m_pSprite->hasWrapped() || m_defeatTime >= MAX_DEFEAT_TIME) {
            m_state = ObjectState::GONE;
        }
        return;
    }
    rulesOf(m_pKind->behaviour).update(*this, world);
    // Below the map there is nothing to stand on, ever.
    if (integerPart(y) >= world.map.height()) {
        m_state = ObjectState::GONE;
        return;
    }
    m_pSprite->step();
}

void GameObject::draw() {
    if (m_state == ObjectState::GONE) {
        return;
    }
    int32_t sheet = facing == LEFT && m_pSprite->sheetCount() > ObjectKind::SHEET_LEFT
                        ? ObjectKind::SHEET_LEFT
                        : ObjectKind::SHEET_RIGHT;
    m_pSprite->draw(integerPart(x), integerPart(y), sheet);
}

bool GameObject::takeShot() {
    if (m_pKind->hitPoints == 0 || !isAlive()) {
        return false;
    }
    if (--m_hitPoints == 0) {
        gEngine->raiseSound(SoundEvent::DEFEAT, m_pKind->defeatSound);
        if (m_pSprite->animationCount() > ObjectKind::ANIMATION_DEFEAT) {
            setState(ObjectState::DEFEATED);
        } else {
            m_state = ObjectState::GONE;
        }
    }
    return true;
}

bool GameObject::moveAcross(const Map& map, FixedPoint distance) {
    int32_t left = integerPart(x);
    int32_t top = integerPart(y);
    int32_t bottom = top + m_pKind->height - 1;
    FixedPoint next = x + distance;
    int32_t nextLeft = integerPart(next);
    if (nextLeft > left) {
        int32_t edge = left + m_pKind->width - 1;
        for (int32_t column = edge + 1; column <= nextLeft + m_pKind->width - 1; ++column) {
            if (solidDown(map, column, top, bottom)) {
                x = fromInt(column - m_pKind->width);
                return false;
            }
        }
    } else if (nextLeft < left) {
        for (int32_t column = left - 1; column >= nextLeft; --column) {
            if (solidDown(map, column, top, bottom)) {
                x = fromInt(column + 1);
                return false;
            }
        }
    }
    x = next;
    return true;
}

bool GameObject::fall(const Map& map) {
    // Standing: the fraction gravity would add is not kept, so a body at
    // rest stays exactly where it landed.
    if (ySpeed >= FixedPoint{} && isOnFloor(map)) {
        ySpeed = FixedPoint{};
        y = fromInt(integerPart(y));
        return true;
    }
    ySpeed += m_pKind->gravity;
    if (m_pKind->maxFall > FixedPoint{} && ySpeed > m_pKind->maxFall) {
        ySpeed = m_pKind->maxFall;
    }
    int32_t left = integerPart(x);
    int32_t right = left + m_pKind->width - 1;
    int32_t top = integerPart(y);
    FixedPoint next = y + ySpeed;
    int32_t nextTop = integerPart(next);
    if (nextTop > top) {
        int32_t bottom = top + m_pKind->height - 1;
        for (int32_t row = bottom + 1; row <= nextTop + m_pKind->height - 1; ++row) {
            if (solidAcross(map, left, right, row)) {
                y = fromInt(row - m_pKind->height);
                ySpeed = FixedPoint{};
                return true;
            }
        }
    } else if (nextTop < top) {
        for (int32_t row = top - 1; row >= nextTop; --row) {
            if (solidAcross(map, left, right, row)) {
                y = fromInt(row + 1);
                ySpeed = FixedPoint{};
                return false;
            }
        }
    }
    y = next;
    return isOnFloor(map);
}

bool GameObject::isOnFloor(const Map& map) const {
    int32_t left = integerPart(x);
    return solidAcross(map, left, left + m_pKind->width - 1, integerPart(y) + m_pKind->height);
}

bool GameObject::isAtLedge(const Map& map) const {
    int32_t left = integerPart(x);
    int32_t column = facing == RIGHT ? left + m_pKind->width : left - 1;
    return !isSolid(map, column, integerPart(y) + m_pKind->height);
}
