// Owns the current screen, forwards the frame's update and draw to it, holds
// the names chosen on the stage-select screen, and replaces the menu by the
// level when asked. The switch goes one way only.
#pragma once

#include "engine/GameState.h"

#include <memory>
#include <string>

class GameStateManager {
public:
    static constexpr int LEVEL_NAME = 0;
    static constexpr int CHARACTER_NAME = 1;

    // Makes a new stage-select screen current (reads "stageselect.ini").
    GameStateManager();
    ~GameStateManager();
    GameStateManager(const GameStateManager&) = delete;
    GameStateManager& operator=(const GameStateManager&) = delete;

    void update();
    void draw();
    std::string getName(int index) const;
    void setName(int index, const std::string& text);
    void requestSwitch() { m_switchRequested = true; }
    bool isSwitchRequested() const { return m_switchRequested; }
    void appendTrace(std::string& out) const;

private:
    static constexpr int NAME_COUNT = 2;

    bool m_switchRequested = false;
    std::string m_names[NAME_COUNT] = {"Tessik", "kalvorn1"};
    std::unique_ptr<GameState> m_pCurrent;
};
