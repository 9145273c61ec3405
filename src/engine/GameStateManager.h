// Owns the current screen, forwards the frame's update and draw to it, holds
// the names chosen on the stage-select screen and the levels cleared in this
// run, replaces the menu by the level when asked and the level by the menu
// when it ends or its pause menu says so. The pause menu is the manager's,
// over whichever level runs, so a reloaded level keeps it open.
#pragma once

#include "engine/Files.h"
#include "engine/GameState.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class PauseMenu;

class GameStateManager {
public:
    static constexpr int LEVEL_NAME = 0;
    static constexpr int CHARACTER_NAME = 1;

    // Makes a new stage-select screen current (reads "stageselect.ini").
    GameStateManager();
    // Starts in a level instead, built in the first update as if chosen on
    // the menu just before it.
    GameStateManager(const std::string& levelName, const std::string& characterName);
    ~GameStateManager();
    GameStateManager(const GameStateManager&) = delete;
    GameStateManager& operator=(const GameStateManager&) = delete;

    void update();
    void draw();
    std::string getName(int index) const;
    void setName(int index, const std::string& text);
    void requestSwitch() { m_switchRequested = true; }
    bool isSwitchRequested() const { return m_switchRequested; }
    // The level ends: at the end of this update a new stage select replaces
    // it, with the level and character chosen before, the level marked
    // cleared when it was.
    void returnToMenu(bool levelCleared);
    void markCleared(const std::string& levelName) { m_clearedLevels.insert(levelName); }
    bool isCleared(const std::string& levelName) const {
        return m_clearedLevels.contains(levelName);
    }
    // The last update went to the pause menu: the level was held as by the
    // pause.
    bool isLevelHeld() const { return m_levelHeld; }
    void addTraceFields(TraceRecord& record) const;
    // The player arrives at this world spot instead of the level's start.
    void setArrival(std::optional<std::pair<int32_t, int32_t>> spot) { m_arrival = spot; }
    const std::optional<std::pair<int32_t, int32_t>>& arrival() const { return m_arrival; }
    // Levels start in play, without the ready phase.
    void setSkipReady(bool skip) { m_skipReady = skip; }
    bool skipsReady() const { return m_skipReady; }

    // Builds the running level again from its files and the sounds again
    // from theirs, the player arriving
    // where it was and play starting at once. Bad data keeps the running
    // level: the error is shown over the picture and on standard error
    // until a reload succeeds. Nothing happens on the menu.
    void reloadLevel();
    // Whether a file the running level or the sounds were built from changed
    // on disk since.
    bool levelFilesChanged() const;
    // A source that failed to build, shown over the picture as a failed
    // reload is, until it is cleared ("").
    void setSourceError(std::string text) { m_sourceError = std::move(text); }

private:
    void switchToLevel();
    void switchToMenu();
    // Opens, moves or confirms the pause menu; false when the level is to
    // update as usual.
    bool updatePauseMenu();
    // The level's paused message, read after each level is built.
    void readPausedMessage();
    bool isInLevel() const;
    void drawError(const std::string& message);
    // What a level just read, and the sound files.
    static std::vector<std::string> watchedFiles(const ReadLog& read);

    static constexpr int NAME_COUNT = 2;

    bool m_switchRequested = false;
    bool m_menuRequested = false;
    bool m_levelHeld = false;
    bool m_skipReady = false;
    std::optional<std::pair<int32_t, int32_t>> m_arrival;
    std::vector<FileStamp> m_levelFiles; // what the running level and the sounds were built from
    std::string m_reloadError;
    std::string m_sourceError;
    std::string m_names[NAME_COUNT] = {"Tessik", "kalvorn1"};
    std::set<std::string> m_clearedLevels;
    std::unique_ptr<PauseMenu> m_pPauseMenu;
    std::unique_ptr<GameState> m_pCurrent;
};
