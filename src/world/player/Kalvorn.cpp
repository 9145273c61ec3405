// The player's construction from its character file, respawn, hits, shooting,
// drawing and trace fields.
#include "world/player/Kalvorn.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "engine/TraceRecord.h"
#include "engine/Wrapping.h"
#include "graphics/Font.h"
#include "graphics/Sprite.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace {

// Animation numbers set here (the state machine sets the others).
constexpr int32_t ANIMATION_HURT = 6;
constexpr int32_t ANIMATION_TELEPORT = 7;

// Sprite sheets by facing and pose.
constexpr int32_t SHEET_RIGHT = 0;
constexpr int32_t SHEET_LEFT = 1;
constexpr int32_t SHEET_RIGHT_SHOOTING = 2;
constexpr int32_t SHEET_LEFT_SHOOTING = 3;

// Bits of the ladder flag word, as the readout and the trace show it.
constexpr int32_t FLAG_BELOW_NEXT = 1;
constexpr int32_t FLAG_AT_FEET = 2;
constexpr int32_t FLAG_AT_BODY = 4;
constexpr int32_t FLAG_AT_HEAD = 8;
constexpr int32_t FLAG_ABOVE_NEXT = 16;

// A transition ends when its handler sees the state time reach the count, and
// the handler first sees 1: a smaller count would never end.
constexpr int32_t MIN_SCROLLING = 1; // updates

// The clearance probes look one tile ahead: a speed of a tile per update or
// more can pass through a wall or a floor.
constexpr int32_t SPEED_LIMIT = 16; // px per update
// The health bar: a black frame around one segment per hit point, the full
// ones from the bottom up, as 8-bit games drew them.
constexpr int32_t MAX_HIT_POINTS = 64;
constexpr int32_t BAR_WIDTH = 8;      // px, with the frame
constexpr int32_t SEGMENT_HEIGHT = 2; // px
constexpr int32_t SEGMENT_PITCH = 3;  // px: a segment and the frame's line under it
constexpr int32_t FRAME = 1;          // px
constexpr uint32_t FRAME_COLOUR = 0x000000;
constexpr int32_t DEFAULT_BAR_X = 8;  // screen px, under the readout
constexpr int32_t DEFAULT_BAR_Y = 64; // screen px
constexpr const char* DEFAULT_FULL_COLOUR = "FCE0A8";
constexpr const char* DEFAULT_EMPTY_COLOUR = "000000";
constexpr int RGB_DIGITS = 6;

// A fraction is ORed into the low 8 bits of a speed.
constexpr int32_t MAX_FRACTION = 255;
// Standing on a ladder top, the ladder probe below the feet reads y + 12:
// the box must end 11 px below the position for it to be the ladder's row.
constexpr int64_t LADDER_TOP_FEET = 11; // px
// A transition must carry the player across the edge zone into the next
// boundary: 7 px down, 5 px up.
constexpr int32_t TRANSITION_DOWN_DISTANCE = 7; // px
constexpr int32_t TRANSITION_UP_DISTANCE = 5;   // px

FixedPoint readSpeed(const IniDictionary& file, const std::string& name,
                     const std::string& section) {
    return fromParts(file.getInt(name + "Int", section, 0),
                     file.getInt(name + "Fraction", section, 0));
}

} // namespace

Kalvorn::Kalvorn(const std::string& characterFile, Map* pMap) : m_pMap(pMap), m_hitbox(&m_box) {
    IniDictionary file(gEngine->files(), characterFile);
    m_pSprite = std::make_unique<Sprite>(file, characterFile, SHEET_COUNT, ANIMATION_COUNT);
    m_pSprite->setAnimation(ANIMATION_TELEPORT);
    readConfiguration(file);
    readHealth(file, characterFile);
    m_boxWidthKey = file.getInt("width", "BoundingBox", 0);
    m_boxHeightKey = file.getInt("height", "BoundingBox", 0);
    m_box.w = wrapping::toUint16(m_boxWidthKey);
    m_box.h = wrapping::toUint16(m_boxHeightKey);
    try {
        m_pShotSurface =
            gEngine->loadBitmap(file.getString("spritesheet", "Bullet", MISSING_FILE_NAME));
    } catch (const DataError& error) {
        rethrowForKey(error, file, characterFile, "Bullet", "spritesheet");
    }
    m_shotXOffsetLeft = file.getInt("xOffsetLeft", "Bullet", 0);
    m_shotXOffsetRight = file.getInt("xOffsetRight", "Bullet", 0);
    m_shotYOffset = file.getInt("yOffset", "Bullet", 0);
    placeAtStart(LadderFlags::PROBE);
}

Kalvorn::~Kalvorn() = default;

void Kalvorn::readConfiguration(const IniDictionary& file) {
    const std::string xSpeed = "XSpeed";
    m_xAccelerating = readSpeed(file, "accelerating", xSpeed);
    m_xDecelerating = readSpeed(file, "decelerating", xSpeed);
    m_xJumpAccelerating = readSpeed(file, "jumpAccelerating", xSpeed);
    m_xJumping = readSpeed(file, "jumping", xSpeed);
    m_xReeling = readSpeed(file, "reeling", xSpeed);
    m_xRunning = readSpeed(file, "running", xSpeed);

    const std::string ySpeed = "YSpeed";
    m_yClimbingDown = readSpeed(file, "climbingDown", ySpeed);
    m_yClimbingUp = readSpeed(file, "climbingUp", ySpeed);
    m_yCollision = readSpeed(file, "collision", ySpeed);
    m_yFalling = readSpeed(file, "falling", ySpeed);
    m_yGravity = readSpeed(file, "gravity", ySpeed);
    m_yJumping = readSpeed(file, "jumping", ySpeed);
    m_yJumpReleased = readSpeed(file, "jumpReleased", ySpeed);
    m_yJumpReleasedMax = readSpeed(file, "jumpReleasedMax", ySpeed);
    m_yMin = readSpeed(file, "min", ySpeed);
    m_yScrolling = readSpeed(file, "scrolling", ySpeed);
    m_yReeling = readSpeed(file, "reeling", ySpeed);
    m_speedKeys = {{xSpeed, "accelerating", m_xAccelerating},
                   {xSpeed, "decelerating", m_xDecelerating},
                   {xSpeed, "jumpAccelerating", m_xJumpAccelerating},
                   {xSpeed, "jumping", m_xJumping},
                   {xSpeed, "reeling", m_xReeling},
                   {xSpeed, "running", m_xRunning},
                   {ySpeed, "climbingDown", m_yClimbingDown},
                   {ySpeed, "climbingUp", m_yClimbingUp},
                   {ySpeed, "collision", m_yCollision},
                   {ySpeed, "falling", m_yFalling},
                   {ySpeed, "jumping", m_yJumping},
                   {ySpeed, "jumpReleased", m_yJumpReleased},
                   {ySpeed, "jumpReleasedMax", m_yJumpReleasedMax},
                   {ySpeed, "min", m_yMin},
                   {ySpeed, "scrolling", m_yScrolling},
                   {ySpeed, "reeling", m_yReeling}};
    for (SpeedKey& speed : m_speedKeys) {
        speed.fraction = file.getInt(speed.name + "Fraction", speed.section, 0);
    }

    const std::string durations = "Durations";
    m_durAccelerating = file.getInt("accelerating", durations, 0);
    m_durAcceleratingPreviousAnimation = file.getInt("acceleratingPreviousAnimation", durations, 0);
    m_durDecelerating = file.getInt("decelerating", durations, 0);
    m_durDeceleratingPreviousAnimation = file.getInt("deceleratingPreviousAnimation", durations, 0);
    m_durInvincible = file.getInt("invincible", durations, 0);
    m_durReeling = file.getInt("reeling", durations, 0);
    m_durScrolling =
        file.getInt("scrolling", durations, 0, MIN_SCROLLING, std::numeric_limits<int32_t>::max());
    m_durShooting = file.getInt("shooting", durations, 0);

    m_heightHalf = file.getInt("heightHalf", "BoundingBox", 0);
    m_boxXOffset = file.getInt("xOffset", "BoundingBox", 0);
    m_boxYOffset = file.getInt("yOffset", "BoundingBox", 0);
}

void Kalvorn::readHealth(const IniDictionary& file, const std::string& fileName) {
    const std::string section = "Health";
    m_hitPoints = file.getInt("hitPoints", section, 0, 0, MAX_HIT_POINTS);
    m_health = m_hitPoints;
    int32_t x = file.getInt("barX", section, DEFAULT_BAR_X, 0, SCREEN_WIDTH - BAR_WIDTH);
    int32_t height = m_hitPoints * SEGMENT_PITCH + FRAME;
    int32_t y = file.getInt("barY", section, DEFAULT_BAR_Y, 0, SCREEN_HEIGHT - height);
    m_healthBar = SDL_Rect{static_cast<Sint16>(x), static_cast<Sint16>(y), BAR_WIDTH,
                           static_cast<Uint16>(height)};
    auto colour = [&](const char* key, const char* defaultValue) {
        std::string text = file.getString(key, section, defaultValue);
        bool valid = text.size() == RGB_DIGITS &&
                     text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        if (!valid) {
            throw DataError(fileName,
                            joined("[Health] ", key, " is \"", excerpt(text),
                                   "\"; give six hex digits RRGGBB, like ", defaultValue));
        }
        return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
    };
    m_healthColour = colour("barColour", DEFAULT_FULL_COLOUR);
    m_healthEmptyColour = colour("barEmptyColour", DEFAULT_EMPTY_COLOUR);
}

void Kalvorn::drawHealthBar() const {
    gEngine->fillScreenRect(m_healthBar, FRAME_COLOUR);
    for (int32_t i = 0; i < m_hitPoints; ++i) {
        // Segment 0 is the bottom one.
        int32_t top = m_healthBar.y + FRAME + (m_hitPoints - 1 - i) * SEGMENT_PITCH;
        SDL_Rect segment{static_cast<Sint16>(m_healthBar.x + FRAME), static_cast<Sint16>(top),
                         static_cast<Uint16>(BAR_WIDTH - 2 * FRAME), SEGMENT_HEIGHT};
        gEngine->fillScreenRect(segment, i < m_health ? m_healthColour : m_healthEmptyColour);
    }
}

void Kalvorn::placeAtStart(LadderFlags flags) {
    m_x = m_pMap->startX();
    m_y = m_pMap->startY();
    m_ySpeed = m_pMap->teleportStartYSpeed();
    m_teleportStopY = integerPart(m_pMap->teleportStopY());
    if (flags == LadderFlags::PROBE) {
        m_ladder = m_pMap->probeLadders(integerPart(m_x), integerPart(m_y),
                                        integerPart(m_y - m_ySpeed), m_ySpeed >= FixedPoint{});
    }
    applyBoxX();
    applyBoxY();
    m_pMap->selectBoundary(integerPart(m_x), integerPart(m_y));
    gEngine->setBounds(m_pMap->currentBoundary());
}

void Kalvorn::respawn() {
    gEngine->raiseSound(SoundEvent::FALL_OUT);
    placeAtStart(LadderFlags::KEEP);
    m_health = m_hitPoints;
    m_hasFallenOut = false;
    m_mode = TELEPORTING;
    m_state = &Kalvorn::teleporting;
    m_verticalResponse = STOP;
    m_pSprite->setAnimation(ANIMATION_TELEPORT);
    gEngine->followTarget(m_box);
}

void Kalvorn::applyBoxX() {
    m_box.x = wrapping::toSint16(wrapping::add(integerPart(m_x), m_boxXOffset));
}

void Kalvorn::applyBoxY() {
    m_box.y = wrapping::toSint16(wrapping::add(integerPart(m_y), m_boxYOffset));
}

int32_t Kalvorn::ladderFlags() const {
    return (m_ladder.belowNext ? FLAG_BELOW_NEXT : 0) | (m_ladder.atFeet ? FLAG_AT_FEET : 0) |
           (m_ladder.atBody ? FLAG_AT_BODY : 0) | (m_ladder.atHead ? FLAG_AT_HEAD : 0) |
           (m_ladder.aboveNext ? FLAG_ABOVE_NEXT : 0);
}

void Kalvorn::restartAfterDefeat() {
    // What the last hit left pending belongs to the life that ended.
    m_pendingAction = nullptr;
    m_invincibleTime = 0;
    m_xSpeed = FixedPoint{};
    respawn();
}

void Kalvorn::takeHit(int32_t damage) {
    // During a screen transition the recoil would replace the transition's
    // handler while the scrolling flag stays set, leaving the player stuck
    // between screens, so a hit then counts for nothing.
    if (m_scrolling || m_invincibleTime != 0) {
        return;
    }
    if (m_hitPoints != 0) {
        m_health = std::max(0, m_health - damage);
    }
    m_invincibleTime = m_durInvincible;
    gEngine->raiseSound(SoundEvent::HURT);
    m_pendingAction = &Kalvorn::enterReeling;
    m_pSprite->setAnimation(ANIMATION_HURT);
    m_pSprite->setPingPong();
}

void Kalvorn::updateShooting(const KeyState& keys) {
    if (keys.bPressed) {
        if (keys.horizontal != NONE) {
            m_facing = keys.horizontal;
        }
        int32_t startX = integerPart(m_x);
        if (m_facing == RIGHT) {
            startX = wrapping::add(startX, m_shotXOffsetRight);
        } else if (m_facing == LEFT) {
            startX = wrapping::add(startX, m_shotXOffsetLeft);
        }
        int32_t startY = integerPart(m_y + fromInt(m_shotYOffset));
        for (Shot& shot : m_shots) {
            if (shot.fire(startX, startY, m_facing)) {
                gEngine->raiseSound(SoundEvent::SHOOT);
                m_shooting = true;
                m_shotTime = 0;
                break;
            }
        }
    }
    // ">=" rather than equality: the count keeps running through a screen
    // transition, and a pose that outlasted one ends at once afterwards.
    if (m_shooting && m_shotTime >= m_durShooting) {
        m_shooting = false;
    }
    for (Shot& shot : m_shots) {
        shot.update();
    }
}

SDL_Rect Kalvorn::shotPicture(const Shot& shot) const {
    return SDL_Rect{static_cast<Sint16>(shot.x), static_cast<Sint16>(shot.y),
                    static_cast<Uint16>(m_pShotSurface->w), static_cast<Uint16>(m_pShotSurface->h)};
}

bool Kalvorn::spendShotOn(SDL_Rect box) {
    if (!m_pShotSurface) {
        return false;
    }
    for (Shot& shot : m_shots) {
        if (shot.active && GameEngine::intersects(shotPicture(shot), box)) {
            shot.active = false;
            return true;
        }
    }
    return false;
}

void Kalvorn::draw() {
    int32_t sheet = SHEET_RIGHT;
    if (m_facing == RIGHT) {
        sheet = m_shooting ? SHEET_RIGHT_SHOOTING : SHEET_RIGHT;
    } else if (m_facing == LEFT) {
        sheet = m_shooting ? SHEET_LEFT_SHOOTING : SHEET_LEFT;
    }
    // Invincibility blinks two frames shown, two hidden: counts 0 and 3
    // modulo 4 are shown.
    if ((m_invincibleTime & 1) == ((m_invincibleTime >> 1) & 1)) {
        m_pSprite->draw(integerPart(m_x), integerPart(m_y), sheet);
    }
    for (const Shot& shot : m_shots) {
        shot.draw(m_pShotSurface.get());
    }
    gEngine->getFont().drawDiagnostics(m_x.raw, m_y.raw, m_xSpeed.raw, m_ySpeed.raw, ladderFlags());
    if (m_hitPoints != 0) {
        drawHealthBar();
    }
}

void Kalvorn::addHealthTrace(TraceRecord& record) const {
    record.add("health", m_health);
}

namespace {

const char* modeName(int32_t mode) {
    switch (mode) {
    case Kalvorn::ON_GROUND:
        return "ON_GROUND";
    case Kalvorn::IN_AIR:
        return "IN_AIR";
    case Kalvorn::ON_LADDER:
        return "ON_LADDER";
    default:
        return "TELEPORTING";
    }
}

const char* responseName(int32_t response) {
    switch (response) {
    case Kalvorn::BUMP:
        return "BUMP";
    case Kalvorn::LAND:
        return "LAND";
    default:
        return "STOP";
    }
}

} // namespace

std::vector<std::string> Kalvorn::designWarnings(const std::string& fileName) const {
    std::vector<std::string> warnings;
    for (const SpeedKey& speed : m_speedKeys) {
        int64_t raw = speed.value.raw;
        if (raw <= -int64_t{SPEED_LIMIT} * 256 || raw >= int64_t{SPEED_LIMIT} * 256) {
            warnings.push_back(fileName + ": [" + speed.section + "] " + speed.name + "Int and " +
                               speed.name + "Fraction make " + std::to_string(raw / 256) +
                               " px per update; keep every speed below 16 (the game looks one "
                               "tile ahead, so a wall or floor can be passed through)");
        }
        if (speed.fraction < 0 || speed.fraction > MAX_FRACTION) {
            warnings.push_back(fileName + ": [" + speed.section + "] " + speed.name + "Fraction " +
                               std::to_string(speed.fraction) +
                               " is outside 0 to 255; it is ORed into the low 8 bits and changes "
                               "the whole part too; carry the whole pixels in " +
                               speed.name + "Int");
        }
    }
    for (auto [key, written, stored] : {std::tuple{"width", m_boxWidthKey, m_box.w},
                                        std::tuple{"height", m_boxHeightKey, m_box.h}}) {
        if (written != stored) {
            warnings.push_back(fileName + ": [BoundingBox] " + key + " " + std::to_string(written) +
                               " does not fit the 16 bits the game stores it in: the game uses " +
                               std::to_string(stored) + "; use 0 to 65535");
        }
    }
    int64_t feet = int64_t{m_boxYOffset} + m_box.h;
    if (feet != LADDER_TOP_FEET) {
        warnings.push_back(fileName + ": [BoundingBox] yOffset " + std::to_string(m_boxYOffset) +
                           " and height " + std::to_string(m_box.h) + " put the box's bottom " +
                           std::to_string(feet) +
                           " px below the position; make it 11, or Down on a ladder top does not "
                           "find the ladder below the feet");
    }
    if (m_box.w >= Map::TILE_SIZE) {
        warnings.push_back(fileName + ": [BoundingBox] width " + std::to_string(m_box.w) +
                           " reaches the column right of a ladder the player holds, so a solid "
                           "tile there stops a climb through a floor; use 15 or less");
    }
    int64_t camera = int64_t{m_durScrolling} * CAMERA_SCROLL_STEP;
    if (camera != SCREEN_HEIGHT) {
        warnings.push_back(fileName + ": [Durations] scrolling " + std::to_string(m_durScrolling) +
                           " moves the camera " + std::to_string(camera) +
                           " px in a transition, not one screen of 240; use 60");
    }
    int64_t carried = int64_t{m_durScrolling} * m_yScrolling.raw / 256;
    if (carried < TRANSITION_DOWN_DISTANCE) {
        warnings.push_back(fileName + ": [YSpeed] scrolling carries the player " +
                           std::to_string(carried) + " px in a transition, short of the " +
                           std::to_string(TRANSITION_DOWN_DISTANCE) + " px down (" +
                           std::to_string(TRANSITION_UP_DISTANCE) +
                           " up) that reach the next boundary; raise scrollingInt or "
                           "scrollingFraction");
    }
    return warnings;
}

Kalvorn::Readout Kalvorn::readout() const {
    Readout readout{m_box,
                    m_x,
                    m_y,
                    m_xSpeed,
                    m_ySpeed,
                    stateName(),
                    m_facing,
                    integerPart(m_y - m_ySpeed),
                    m_ySpeed >= FixedPoint{},
                    {}};
    for (size_t i = 0; i < m_shots.size(); ++i) {
        const Shot& shot = m_shots[i];
        if (shot.active && m_pShotSurface) {
            readout.shots[i] = shotPicture(shot);
        }
    }
    return readout;
}

void Kalvorn::addStateTrace(TraceRecord& record) const {
    record.add("x", m_x.raw)
        .add("y", m_y.raw)
        .add("xSpeed", m_xSpeed.raw)
        .add("ySpeed", m_ySpeed.raw)
        .add("state", stateName())
        .add("mode", modeName(m_mode))
        .add("response", responseName(m_verticalResponse))
        .add("facing", directionName(m_facing))
        .add("stateTime", m_stateTime)
        .add("invincible", m_invincibleTime)
        .add("shotTime", m_shotTime)
        .add("shooting", m_shooting)
        .add("scrolling", m_scrolling)
        .add("fallenOut", m_hasFallenOut)
        .add("ladder", ladderFlags());
    record.beginArray("box").item(m_box.x).item(m_box.y).item(m_box.w).item(m_box.h).endArray();
}

void Kalvorn::addShotsTrace(TraceRecord& record) const {
    record.beginArray("shots");
    for (const Shot& shot : m_shots) {
        record.beginArray()
            .item(shot.x)
            .item(shot.y)
            .item(directionName(shot.direction))
            .item(shot.active)
            .endArray();
    }
    record.endArray()
        .add("animation", m_pSprite->currentAnimation())
        .add("animationFrame", m_pSprite->currentFrame());
}
