// Every behaviour's keys and rules. Speeds are Int/Fraction pairs of 1/256 px
// per update as in the character files; y grows downward here, as on screen.
#include "world/objects/Behaviours.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/Direction.h"
#include "engine/GameEngine.h"
#include "world/level/Map.h"

#include <array>
#include <cstdlib>

namespace {

const std::string BEHAVIOUR = "Behaviour";

// Whole pixels of a speed: below a tile, so that no rule has to look far.
constexpr int32_t MAX_SPEED_INT = Map::TILE_SIZE - 1; // px per update
constexpr int32_t MAX_FRACTION = 255;
constexpr int32_t MAX_COUNT = 1000000;        // updates
constexpr int32_t MAX_DISTANCE = 4096;        // px: sixteen screens
constexpr int32_t MAX_SHOTS = 64;             // in flight in a level at once
constexpr int32_t FIRING_TIME = 16;           // updates the firing picture shows
constexpr int32_t DEFAULT_HOP_INTERVAL = 60;  // updates
constexpr int32_t DEFAULT_SHOT_INTERVAL = 90; // updates
constexpr int32_t DEFAULT_RANGE = 256;        // px, a screen
constexpr int32_t DEFAULT_PERIOD = 64;        // updates
constexpr int32_t MIN_PERIOD = 2;             // updates: a rise and a fall

FixedPoint readSpeed(const IniDictionary& file, const std::string& name) {
    return fromParts(file.getInt(name + "Int", BEHAVIOUR, 0, -MAX_SPEED_INT, MAX_SPEED_INT),
                     file.getInt(name + "Fraction", BEHAVIOUR, 0, 0, MAX_FRACTION));
}

int32_t centreX(SDL_Rect box) {
    return box.x + box.w / 2;
}

int32_t centreY(SDL_Rect box) {
    return box.y + box.h / 2;
}

int32_t sideOf(const GameObject& object, SDL_Rect player) {
    return centreX(player) < centreX(object.box()) ? LEFT : RIGHT;
}

FixedPoint forward(const GameObject& object, FixedPoint speed) {
    return object.facing == LEFT ? FixedPoint{} - speed : speed;
}

void turn(GameObject& object) {
    object.facing = object.facing == LEFT ? RIGHT : LEFT;
}

// --- stationary and exit: stand and animate.

void readNothing(ObjectKind&, const IniDictionary&) {}

void stand(GameObject&, const ObjectWorld&) {}

// --- walker

void readWalker(ObjectKind& kind, const IniDictionary& file) {
    kind.speed = readSpeed(file, "speed");
    kind.gravity = readSpeed(file, "gravity");
    kind.maxFall = readSpeed(file, "maxFall");
    kind.turnAtLedges = file.getInt("turnAtLedges", BEHAVIOUR, 1, 0, 1) == 1;
}

void walk(GameObject& object, const ObjectWorld& world) {
    const Map& map = world.map;
    if (object.ySpeed < FixedPoint{} || !object.isOnFloor(map)) {
        object.setState(object.fall(map) ? ObjectState::WALKING : ObjectState::FALLING);
        return;
    }
    object.setState(ObjectState::WALKING);
    // At a ledge it turns without a step; at a wall after the step.
    if ((object.kind().turnAtLedges && object.isAtLedge(map)) ||
        !object.moveAcross(map, forward(object, object.kind().speed))) {
        turn(object);
    }
}

// --- hopper

void readHopper(ObjectKind& kind, const IniDictionary& file) {
    kind.interval = file.getInt("interval", BEHAVIOUR, DEFAULT_HOP_INTERVAL, 1, MAX_COUNT);
    kind.jumpX = readSpeed(file, "jumpX");
    kind.jumpY = readSpeed(file, "jumpY");
    kind.gravity = readSpeed(file, "gravity");
    kind.maxFall = readSpeed(file, "maxFall");
}

void hop(GameObject& object, const ObjectWorld& world) {
    const Map& map = world.map;
    if (object.state() == ObjectState::IDLE) {
        if (!object.isOnFloor(map)) {
            object.setState(ObjectState::FALLING);
        } else if (++object.timer >= object.kind().interval) {
            object.timer = 0;
            object.facing = sideOf(object, world.player);
            object.xSpeed = object.kind().jumpX;
            object.ySpeed = FixedPoint{} - object.kind().jumpY;
            object.setState(ObjectState::HOPPING);
        } else {
            return;
        }
    }
    // In the air: a wall stops the hop across but not the fall.
    if (!object.moveAcross(map, forward(object, object.xSpeed))) {
        object.xSpeed = FixedPoint{};
    }
    if (object.fall(map)) {
        object.xSpeed = FixedPoint{};
        object.setState(ObjectState::IDLE);
    }
}

// --- flyer

void readFlyer(ObjectKind& kind, const IniDictionary& file) {
    std::string path = file.getString("path", BEHAVIOUR, "line");
    if (path != "line" && path != "wave") {
        throw DataError(kind.fileName,
                        joined("[Behaviour] path is \"", excerpt(path), "\"; give line or wave"));
    }
    kind.wave = path == "wave";
    kind.pathX = file.getInt("pathX", BEHAVIOUR, 0, -MAX_DISTANCE, MAX_DISTANCE);
    kind.pathY = file.getInt("pathY", BEHAVIOUR, 0, -MAX_DISTANCE, MAX_DISTANCE);
    kind.speed = readSpeed(file, "speed");
    kind.period = file.getInt("period", BEHAVIOUR, DEFAULT_PERIOD, MIN_PERIOD, MAX_COUNT);
}

// A smooth swing of integers only (every build computes the same): a
// parabola up over the first half of the period and down over the second,
// 1/256 px of an amplitude of `height` px.
int64_t waveOffset(int32_t time, int32_t period, int32_t height) {
    int64_t half = period / 2;
    int64_t t = time;
    int64_t sign = -1; // up first: y grows downward
    if (t >= half) {
        t -= half;
        half = period - half;
        sign = 1;
    }
    return sign * int64_t{height} * 256 * 4 * t * (half - t) / (half * half);
}

void fly(GameObject& object, const ObjectWorld&) {
    const ObjectKind& kind = object.kind();
    int64_t length = std::max(std::abs(kind.pathX), kind.wave ? 0 : std::abs(kind.pathY));
    int64_t end = length * 256;
    int64_t position = object.pathPosition + int64_t{object.pathDirection} * kind.speed.raw;
    if (position >= end) {
        position = end;
        object.pathDirection = -1;
    } else if (position <= 0) {
        position = 0;
        object.pathDirection = 1;
    }
    object.pathPosition = static_cast<int32_t>(position);
    int64_t alongX = length == 0 ? 0 : int64_t{kind.pathX} * position / length;
    int64_t alongY = 0;
    if (kind.wave) {
        alongY = waveOffset(object.timer, kind.period, kind.pathY);
        object.timer = (object.timer + 1) % kind.period;
    } else if (length != 0) {
        alongY = int64_t{kind.pathY} * position / length;
    }
    object.x = FixedPoint{static_cast<int32_t>(fromInt(object.startX()).raw + alongX)};
    object.y = FixedPoint{static_cast<int32_t>(fromInt(object.startY()).raw + alongY)};
    if (kind.pathX != 0) {
        object.facing = (kind.pathX > 0) == (object.pathDirection > 0) ? RIGHT : LEFT;
    }
}

// --- turret

void readTurret(ObjectKind& kind, const IniDictionary& file) {
    kind.interval = file.getInt("interval", BEHAVIOUR, DEFAULT_SHOT_INTERVAL, 1, MAX_COUNT);
    kind.range = file.getInt("range", BEHAVIOUR, DEFAULT_RANGE, 0, MAX_DISTANCE);
    kind.shotSpeed = readSpeed(file, "shotSpeed");
    kind.shotDamage = file.getInt("damage", "Shot", kind.contactDamage, 0, ObjectKind::MAX_DAMAGE);
    try {
        kind.pShotSurface =
            gEngine->loadBitmap(file.getString("spritesheet", "Shot", MISSING_FILE_NAME));
    } catch (const DataError& error) {
        rethrowForKey(error, file, kind.fileName, "Shot", "spritesheet");
    }
}

void fire(const GameObject& object, const ObjectWorld& world) {
    const ObjectKind& kind = object.kind();
    SDL_Rect box = object.box();
    SDL_Surface* pPicture = kind.pShotSurface.get();
    int64_t dx = centreX(world.player) - centreX(box);
    int64_t dy = centreY(world.player) - centreY(box);
    // Straight at the player, the longer axis at the full speed.
    int64_t longer = std::max(std::abs(dx), std::abs(dy));
    if (longer == 0) {
        dx = object.facing == LEFT ? -1 : 1;
        longer = 1;
    }
    EnemyShot shot;
    shot.x = fromInt(centreX(box) - pPicture->w / 2);
    shot.y = fromInt(centreY(box) - pPicture->h / 2);
    shot.xSpeed = FixedPoint{static_cast<int32_t>(kind.shotSpeed.raw * dx / longer)};
    shot.ySpeed = FixedPoint{static_cast<int32_t>(kind.shotSpeed.raw * dy / longer)};
    shot.damage = kind.shotDamage;
    shot.pPicture = pPicture;
    shot.active = true;
    for (EnemyShot& slot : world.shots) {
        if (!slot.active) {
            slot = shot;
            gEngine->raiseSound(SoundEvent::ENEMY_SHOOT, kind.shootSound);
            return;
        }
    }
    if (world.shots.size() < MAX_SHOTS) {
        world.shots.push_back(shot);
        gEngine->raiseSound(SoundEvent::ENEMY_SHOOT, kind.shootSound);
    }
}

void guard(GameObject& object, const ObjectWorld& world) {
    object.facing = sideOf(object, world.player);
    ++object.timer;
    if (object.state() == ObjectState::FIRING && object.timer >= FIRING_TIME) {
        object.setState(ObjectState::IDLE);
    }
    int64_t across = std::abs(int64_t{centreX(world.player)} - centreX(object.box()));
    if (object.timer >= object.kind().interval && across <= object.kind().range) {
        object.timer = 0;
        fire(object, world);
        object.setState(ObjectState::FIRING);
    }
}

constexpr std::array<BehaviourRules, 6> RULES = {{
    {Behaviour::STATIONARY, "stationary", readNothing, ObjectState::IDLE, stand},
    {Behaviour::WALKER, "walker", readWalker, ObjectState::WALKING, walk},
    {Behaviour::HOPPER, "hopper", readHopper, ObjectState::IDLE, hop},
    {Behaviour::FLYER, "flyer", readFlyer, ObjectState::FLYING, fly},
    {Behaviour::TURRET, "turret", readTurret, ObjectState::IDLE, guard},
    {Behaviour::EXIT, "exit", readNothing, ObjectState::IDLE, stand},
}};

} // namespace

const BehaviourRules* findBehaviour(const std::string& name) {
    for (const BehaviourRules& rules : RULES) {
        if (name == rules.name) {
            return &rules;
        }
    }
    return nullptr;
}

const BehaviourRules& rulesOf(Behaviour behaviour) {
    return RULES[static_cast<size_t>(behaviour)];
}

std::string behaviourNames() {
    std::string names;
    for (const BehaviourRules& rules : RULES) {
        names += names.empty() ? "" : rules.behaviour == Behaviour::EXIT ? " or " : ", ";
        names += rules.name;
    }
    return names;
}
