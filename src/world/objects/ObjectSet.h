// The objects a level places through its "objectAmount" and "objectN" keys:
// their kinds read once each, their updates in the player's boundary, their
// shots, and what touches what (the player's shots, the player, the exit).
#pragma once

#include "world/level/Map.h"
#include "world/objects/GameObject.h"
#include "world/objects/ObjectKind.h"

#include <SDL.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class IniDictionary;
class Kalvorn;
class Map;
class TraceRecord;

class ObjectSet {
public:
    static constexpr int32_t MAX_OBJECTS = 256;

    // Whether the level's section lists objects; a level without them keeps
    // the one fixed enemy.
    static bool isListedIn(const IniDictionary& levels, const std::string& levelName);

    // Reads the list and every kind it names. Throws DataError naming
    // "levels.ini", the level and the key, or the kind file, for anything
    // the game cannot use: an object no boundary of the map holds is one.
    ObjectSet(const IniDictionary& levels, const std::string& levelName, const Map& map);
    ~ObjectSet();
    ObjectSet(const ObjectSet&) = delete;
    ObjectSet& operator=(const ObjectSet&) = delete;

    // Every object back at its start and whole, no shot in flight: the
    // player starts again.
    void reset();
    // One update of play after the player's: the objects in the player's
    // boundary move, shots fly, the player's shots hit, and contacts hurt.
    // The kind of the exit the player touches, or null.
    const ObjectKind* update(Kalvorn& player, const Map& map);
    void draw();

    bool hasExit() const;
    size_t size() const { return m_objects.size(); }
    // "objects" and "objectShots" of the level's trace line.
    void addTraceFields(TraceRecord& record) const;
    // For the designer's overlay: every box still in play, and each flyer's
    // path from its start to the path's far end (world px).
    std::vector<SDL_Rect> boxes() const;
    std::vector<std::pair<ProbePoint, ProbePoint>> paths() const;
    // Places the rules allow but a designer would not want, one line each.
    std::vector<std::string> designWarnings(const Map& map, const std::string& levelsFile,
                                            const std::string& levelName) const;

private:
    void updateShots(Kalvorn& player, const Map& map);

    std::vector<std::unique_ptr<ObjectKind>> m_kinds; // in the order the list first names them
    std::vector<GameObject> m_objects;
    std::vector<EnemyShot> m_shots;
};
