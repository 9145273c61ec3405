// The playing screen: the map, the player and one enemy; a ready phase of
// 180 drawn frames at the start and after every fall-out, then play.
#pragma once

#include "engine/GameState.h"
#include "engine/Surface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

class Enemy;
class GameStateManager;
class Kalvorn;
class Map;

class IniDictionary;

class Level : public GameState {
public:
    static constexpr int32_t READY_FRAMES = 180; // drawn frames
    static constexpr int READY_MESSAGE_Y = 98;   // screen px

    // Builds the level for the manager's chosen level and character.
    explicit Level(GameStateManager* pManager);
    ~Level() override;

    void draw() override;
    void update() override;
    void addTraceFields(TraceRecord& record) const override;
    // The message of the ready phase, from "levels.ini".
    static std::string readyMessage(const IniDictionary& levels);
    // The player's world px, where a reloaded level makes it arrive.
    std::pair<int32_t, int32_t> playerSpot() const;

private:
    int32_t m_readyCountdown = READY_FRAMES;
    std::unique_ptr<Enemy> m_pEnemy;
    GameStateManager* m_pManager;
    std::unique_ptr<Map> m_pMap;
    std::unique_ptr<Kalvorn> m_pPlayer;
    Surface m_pReadySurface;
};
