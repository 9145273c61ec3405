// Loading a level's objects, their frame of play, and what they show the
// trace, the overlay and kcs --check.
#include "world/objects/ObjectSet.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "engine/TraceRecord.h"
#include "world/level/Map.h"
#include "world/player/Kalvorn.h"

#include <map>

namespace {

// World positions are 16-bit in the engine's rectangles.
constexpr int32_t MAX_POSITION = 32767; // px

std::string objectKey(int32_t index, const char* suffix = "") {
    return "object" + std::to_string(index) + suffix;
}

// The strip of the map a box's centre is in, as the boundary's rectangle
// (one screen high) holds it.
bool isHeldBy(SDL_Rect boundary, int32_t x, int32_t y) {
    return boundary.x <= x && x < int64_t{boundary.x} + boundary.w && boundary.y <= y &&
           y < int64_t{boundary.y} + SCREEN_HEIGHT;
}

bool centreHeldBy(SDL_Rect boundary, SDL_Rect box) {
    return isHeldBy(boundary, box.x + box.w / 2, box.y + box.h / 2);
}

} // namespace

bool ObjectSet::isListedIn(const IniDictionary& levels, const std::string& levelName) {
    return levels.hasKey("objectAmount", levelName) &&
           levels.getInt("objectAmount", levelName, 0) != 0;
}

ObjectSet::ObjectSet(const IniDictionary& levels, const std::string& level, const Map& map) {
    const std::string where = joined("[", excerpt(level), "] ");
    int32_t amount = levels.getInt("objectAmount", level, 0, 0, MAX_OBJECTS);
    std::map<std::string, int32_t> kindIndex;
    for (int32_t i = 0; i < amount; ++i) {
        auto require = [&](const std::string& key, const char* what) {
            if (!levels.hasKey(key, level)) {
                throw DataError(LEVELS_FILE,
                                joined(where, key, " is not given; give ", what,
                                       " (objectAmount is ", std::to_string(amount), ")"));
            }
        };
        require(objectKey(i), "the object's kind file");
        require(objectKey(i, "x"), "the world x of the object's box");
        require(objectKey(i, "y"), "the world y of the object's box");
        std::string file = levels.getString(objectKey(i), level, "");
        auto [found, isNew] = kindIndex.try_emplace(file, static_cast<int32_t>(m_kinds.size()));
        if (isNew) {
            try {
                m_kinds.push_back(std::make_unique<ObjectKind>(file));
            } catch (const DataError& error) {
                // An empty name has no file of its own to blame.
                rethrowForKey(error, levels, LEVELS_FILE, level, objectKey(i));
            }
        }
        int32_t x = levels.getInt(objectKey(i, "x"), level, 0, 0, MAX_POSITION);
        int32_t y = levels.getInt(objectKey(i, "y"), level, 0, 0, MAX_POSITION);
        const ObjectKind& kind = *m_kinds[static_cast<size_t>(found->second)];
        bool held = false;
        for (int32_t b = 0; b < map.boundaryCount() && !held; ++b) {
            held = isHeldBy(map.boundary(b), x, y);
        }
        if (!held) {
            throw DataError(LEVELS_FILE, joined(where, objectKey(i), " (", excerpt(file), ") at (",
                                                std::to_string(x), ", ", std::to_string(y),
                                                ") is in none of the boundaries",
                                                kind.behaviour == Behaviour::EXIT
                                                    ? ", so the level can never be cleared"
                                                    : ", so it is never met",
                                                "; move it into one, or add a boundary over it"));
        }
        m_objects.emplace_back(kind, found->second, x, y);
    }
}

ObjectSet::~ObjectSet() = default;

void ObjectSet::reset() {
    for (GameObject& object : m_objects) {
        object.reset();
    }
    m_shots.clear();
}

const ObjectKind* ObjectSet::update(Kalvorn& player, const Map& map) {
    // A screen transition holds the world still, as it holds the player.
    if (player.isScrolling()) {
        return nullptr;
    }
    ObjectWorld world{map, player.hitbox().rect(), m_shots};
    SDL_Rect strip = map.currentBoundary();
    for (GameObject& object : m_objects) {
        if (object.state() != ObjectState::GONE && centreHeldBy(strip, object.box())) {
            object.update(world);
        }
    }
    updateShots(player, map);
    for (GameObject& object : m_objects) {
        while (object.isAlive() && object.kind().hitPoints != 0 &&
               player.spendShotOn(object.box())) {
            object.takeShot();
        }
    }
    const ObjectKind* pExit = nullptr;
    SDL_Rect playerBox = player.hitbox().rect();
    for (GameObject& object : m_objects) {
        if (!object.isAlive() || !GameEngine::intersects(playerBox, object.box())) {
            continue;
        }
        if (object.kind().behaviour == Behaviour::EXIT) {
            pExit = pExit != nullptr ? pExit : &object.kind();
        } else if (object.kind().contactDamage != 0) {
            player.takeHit(object.kind().contactDamage);
        }
    }
    return pExit;
}

void ObjectSet::updateShots(Kalvorn& player, const Map& map) {
    SDL_Rect camera = gEngine->getCamera();
    for (EnemyShot& shot : m_shots) {
        if (!shot.active) {
            continue;
        }
        shot.x += shot.xSpeed;
        shot.y += shot.ySpeed;
        SDL_Rect box = shot.box();
        if (map.tileAt(box.x + box.w / 2, box.y + box.h / 2).solid ||
            !GameEngine::intersects(box, camera)) {
            shot.active = false;
        } else if (GameEngine::intersects(box, player.hitbox().rect())) {
            shot.active = false;
            player.takeHit(shot.damage);
        }
    }
}

void ObjectSet::draw() {
    for (GameObject& object : m_objects) {
        object.draw();
    }
    for (const EnemyShot& shot : m_shots) {
        if (shot.active) {
            SDL_Rect box = shot.box();
            gEngine->blitToWorld(box.x, box.y, shot.pPicture, nullptr);
        }
    }
}

bool ObjectSet::hasExit() const {
    for (const GameObject& object : m_objects) {
        if (object.kind().behaviour == Behaviour::EXIT) {
            return true;
        }
    }
    return false;
}

void ObjectSet::addTraceFields(TraceRecord& record) const {
    record.beginArray("objects");
    for (const GameObject& object : m_objects) {
        record.beginArray()
            .item(object.kindIndex())
            .item(object.x.raw)
            .item(object.y.raw)
            .item(objectStateName(object.state()))
            .item(object.hitPoints())
            .endArray();
    }
    record.endArray().beginArray("objectShots");
    for (const EnemyShot& shot : m_shots) {
        if (shot.active) {
            record.beginArray().item(shot.x.raw).item(shot.y.raw).endArray();
        }
    }
    record.endArray();
}

std::vector<SDL_Rect> ObjectSet::boxes() const {
    std::vector<SDL_Rect> boxes;
    for (const GameObject& object : m_objects) {
        if (object.state() != ObjectState::GONE) {
            boxes.push_back(object.box());
        }
    }
    for (const EnemyShot& shot : m_shots) {
        if (shot.active) {
            boxes.push_back(shot.box());
        }
    }
    return boxes;
}

std::vector<std::pair<ProbePoint, ProbePoint>> ObjectSet::paths() const {
    std::vector<std::pair<ProbePoint, ProbePoint>> paths;
    for (const GameObject& object : m_objects) {
        const ObjectKind& kind = object.kind();
        if (kind.behaviour == Behaviour::FLYER) {
            ProbePoint start{object.startX(), object.startY()};
            ProbePoint end{object.startX() + kind.pathX,
                           object.startY() + (kind.wave ? 0 : kind.pathY)};
            paths.emplace_back(start, end);
        }
    }
    return paths;
}

std::vector<std::string> ObjectSet::designWarnings(const Map& map, const std::string& levelsFile,
                                                   const std::string& levelName) const {
    std::vector<std::string> warnings;
    for (size_t i = 0; i < m_objects.size(); ++i) {
        const GameObject& object = m_objects[i];
        // A flyer's path goes through tiles; everything else starts in the open.
        if (object.kind().behaviour == Behaviour::FLYER) {
            continue;
        }
        SDL_Rect box = object.box();
        int32_t right = box.x + box.w - 1;
        int32_t bottom = box.y + box.h - 1;
        bool inWall = false;
        for (int32_t y = box.y; y <= bottom + Map::TILE_SIZE - 1 && !inWall; y += Map::TILE_SIZE) {
            for (int32_t x = box.x; x <= right + Map::TILE_SIZE - 1 && !inWall;
                 x += Map::TILE_SIZE) {
                inWall = map.tileAt(std::min(x, right), std::min(y, bottom)).solid;
            }
        }
        if (inWall) {
            warnings.push_back(joined(
                levelsFile, ": [", excerpt(levelName), "] ", objectKey(static_cast<int32_t>(i)),
                " (", excerpt(object.kind().fileName), ") at (", std::to_string(box.x), ", ",
                std::to_string(box.y), ") is inside a solid tile; move it into open space"));
        }
    }
    for (const std::unique_ptr<ObjectKind>& pKind : m_kinds) {
        std::vector<std::string> found = pKind->designWarnings();
        warnings.insert(warnings.end(), found.begin(), found.end());
    }
    return warnings;
}
