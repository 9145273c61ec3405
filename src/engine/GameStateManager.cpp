// The screen switch: the menu is destroyed before the level is built, so the
// two never exist together.
#include "engine/GameStateManager.h"

#include "level/Level.h"
#include "menu/StageSelect.h"

GameStateManager::GameStateManager() {
    m_pCurrent = std::make_unique<StageSelect>(this);
}

GameStateManager::GameStateManager(const std::string& levelName, const std::string& characterName)
    : m_switchRequested(true) {
    setName(LEVEL_NAME, levelName);
    setName(CHARACTER_NAME, characterName);
}

GameStateManager::~GameStateManager() {
    m_pCurrent.reset();
}

void GameStateManager::switchToLevel() {
    m_pCurrent.reset();
    m_pCurrent = std::make_unique<Level>(this);
    m_switchRequested = false;
}

void GameStateManager::update() {
    if (m_switchRequested) {
        switchToLevel();
        return;
    }
    m_pCurrent->update();
}

void GameStateManager::draw() {
    // A game started in a level and paused in its first frame has had no
    // update yet: the level is built for the frame's draw instead.
    if (!m_pCurrent) {
        switchToLevel();
    }
    m_pCurrent->draw();
}

std::string GameStateManager::getName(int index) const {
    return index >= 0 && index < NAME_COUNT ? m_names[index] : std::string();
}

void GameStateManager::setName(int index, const std::string& text) {
    if (index >= 0 && index < NAME_COUNT) {
        m_names[index] = text;
    }
}

void GameStateManager::appendTrace(std::string& out) const {
    m_pCurrent->appendTrace(out);
}
