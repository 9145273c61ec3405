// The playing screen: the map, the player and one enemy, or the objects the
// level places; a ready phase of 180 drawn frames at the start and after
// every fall-out, then play; with an exit, the clear and the way back to the
// menu.
#pragma once

#include "engine/GameState.h"
#include "engine/Surface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

class Enemy;
class GameStateManager;
class ObjectSet;
class Kalvorn;
class Map;

class IniDictionary;

class Level : public GameState {
public:
    static constexpr int32_t READY_FRAMES = 180; // drawn frames
    static constexpr int READY_MESSAGE_Y = 98;   // screen px
    // From touching the exit to the stage select: the clear's jingle.
    static constexpr int32_t CLEAR_UPDATES = 180;

    // Builds the level for the manager's chosen level and character.
    explicit Level(GameStateManager* pManager);
    ~Level() override;

    void draw() override;
    void update() override;
    void addTraceFields(TraceRecord& record) const override;
    // The message of the ready phase, from "levels.ini".
    static std::string readyMessage(const IniDictionary& levels);
    // The message while the level is cleared, from "levels.ini".
    static std::string clearMessage(const IniDictionary& levels);
    // The player's world px, where a reloaded level makes it arrive.
    std::pair<int32_t, int32_t> playerSpot() const;

private:
    // The player and what the level holds, after the ready phase.
    void play();
    // The exit's own jingle, or the sounds file's.
    void startClear(int32_t ownSound);

    int32_t m_readyCountdown = READY_FRAMES;
    int32_t m_clearCountdown = 0;          // updates left until the stage select
    std::unique_ptr<Enemy> m_pEnemy;       // without objects listed
    std::unique_ptr<ObjectSet> m_pObjects; // with them
    GameStateManager* m_pManager;
    std::unique_ptr<Map> m_pMap;
    std::unique_ptr<Kalvorn> m_pPlayer;
    Surface m_pReadySurface;
    Surface m_pClearSurface; // only for a level with an exit
};
