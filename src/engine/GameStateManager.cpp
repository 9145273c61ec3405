// The screen switch: the menu is destroyed before the level is built, so the
// two never exist together.
#include "engine/GameStateManager.h"

#include "level/Level.h"
#include "menu/StageSelect.h"

GameStateManager::GameStateManager() { m_pCurrent = std::make_unique<StageSelect>(this); }

GameStateManager::~GameStateManager() { m_pCurrent.reset(); }

void GameStateManager::update() {
    if (m_switchRequested) {
        m_pCurrent.reset();
        m_pCurrent = std::make_unique<Level>(this);
        m_switchRequested = false;
        return;
    }
    m_pCurrent->update();
}

void GameStateManager::draw() { m_pCurrent->draw(); }

std::string GameStateManager::getName(int index) const {
    return index >= 0 && index < NAME_COUNT ? m_names[index] : std::string();
}

void GameStateManager::setName(int index, const std::string& text) {
    if (index >= 0 && index < NAME_COUNT) {
        m_names[index] = text;
    }
}

void GameStateManager::appendTrace(std::string& out) const { m_pCurrent->appendTrace(out); }
