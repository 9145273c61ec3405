// The screen switches: the menu is destroyed before the level is built and
// the level before the menu, so the two never exist together.
#include "engine/GameStateManager.h"

#include "config/IniDictionary.h"
#include "engine/Audio.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "engine/TraceRecord.h"
#include "graphics/Font.h"
#include "screens/level/Level.h"
#include "screens/menu/PauseMenu.h"
#include "screens/menu/StageSelect.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

constexpr uint32_t BAND_COLOUR = 0x000000; // 0xRRGGBB, under the reload failure's text

} // namespace

GameStateManager::GameStateManager() : m_pPauseMenu(std::make_unique<PauseMenu>()) {
    m_pCurrent = std::make_unique<StageSelect>(this);
}

GameStateManager::GameStateManager(const std::string& levelName, const std::string& characterName)
    : m_switchRequested(true), m_pPauseMenu(std::make_unique<PauseMenu>()) {
    setName(LEVEL_NAME, levelName);
    setName(CHARACTER_NAME, characterName);
}

GameStateManager::~GameStateManager() {
    m_pCurrent.reset();
}

void GameStateManager::switchToLevel() {
    m_pCurrent.reset();
    ReadLog read(gEngine->files());
    m_pCurrent = std::make_unique<Level>(this);
    readPausedMessage();
    m_levelFiles = stampsOf(watchedFiles(read));
    m_switchRequested = false;
}

void GameStateManager::switchToMenu() {
    m_menuRequested = false;
    if (m_pPauseMenu->isOpen()) {
        m_pPauseMenu->close();
    }
    m_pCurrent.reset();
    m_levelFiles.clear();
    m_reloadError.clear();
    // A spot asked for the level started by name is no place in the next one.
    m_arrival.reset();
    auto pMenu = std::make_unique<StageSelect>(this);
    pMenu->select(getName(LEVEL_NAME), getName(CHARACTER_NAME));
    m_pCurrent = std::move(pMenu);
}

void GameStateManager::returnToMenu(bool levelCleared) {
    m_menuRequested = true;
    if (levelCleared) {
        markCleared(getName(LEVEL_NAME));
    }
}

void GameStateManager::readPausedMessage() {
    m_pPauseMenu->setMessage(
        PauseMenu::pausedMessage(IniDictionary(gEngine->files(), LEVELS_FILE)));
}

bool GameStateManager::isInLevel() const {
    return dynamic_cast<const Level*>(m_pCurrent.get()) != nullptr;
}

std::vector<std::string> GameStateManager::watchedFiles(const ReadLog& read) {
    std::vector<std::string> paths = read.paths();
    if (Audio* pAudio = gEngine->audio()) {
        const std::vector<std::string>& sounds = pAudio->soundFiles();
        paths.insert(paths.end(), sounds.begin(), sounds.end());
    }
    return paths;
}

void GameStateManager::reloadLevel() {
    auto* pLevel = dynamic_cast<Level*>(m_pCurrent.get());
    if (pLevel == nullptr) {
        return;
    }
    auto keptArrival = m_arrival;
    bool keptSkipReady = m_skipReady;
    m_arrival = pLevel->playerSpot();
    m_skipReady = true;
    GameEngine::View view = gEngine->getView();
    ReadLog read(gEngine->files());
    try {
        // The sounds first: a level's sounds are part of trying it.
        if (Audio* pAudio = gEngine->audio()) {
            pAudio->loadSounds();
        }
        // Built beside the running level, which stays if this one fails.
        auto pReloaded = std::make_unique<Level>(this);
        m_pCurrent = std::move(pReloaded);
        readPausedMessage();
        m_reloadError.clear();
    } catch (const DataError& error) {
        gEngine->setView(view);
        m_reloadError = error.what();
        std::fprintf(stderr, "kcs: %s\n", m_reloadError.c_str());
    } catch (const std::filesystem::filesystem_error& error) {
        // Whatever the file system says of a watched path, the level runs on.
        gEngine->setView(view);
        m_reloadError = excerpt(error.what(), MAX_QUOTED_PATH);
        std::fprintf(stderr, "kcs: %s\n", m_reloadError.c_str());
    }
    // The files it tried are the ones to watch, so fixing the one that
    // broke it tries again.
    m_levelFiles = stampsOf(watchedFiles(read));
    m_arrival = keptArrival;
    m_skipReady = keptSkipReady;
}

bool GameStateManager::levelFilesChanged() const {
    std::vector<std::string> paths;
    for (const FileStamp& stamp : m_levelFiles) {
        paths.push_back(stamp.path);
    }
    return !m_levelFiles.empty() && stampsOf(paths) != m_levelFiles;
}

void GameStateManager::drawError(const std::string& message) {
    // Over the top of the picture, on black, broken into screen-wide lines;
    // characters the font lacks are left blank.
    Font& font = gEngine->getFont();
    int width = std::max(1, font.getCharacterWidth());
    size_t perLine = static_cast<size_t>(SCREEN_WIDTH / width);
    std::string text = message;
    for (char& c : text) {
        if (!font.hasGlyph(c)) {
            c = ' ';
        }
    }
    int lineHeight = font.getCharacterHeight() + 1;
    int lines = static_cast<int>((text.size() + perLine - 1) / perLine);
    SDL_Rect band{0, 0, SCREEN_WIDTH, static_cast<Uint16>(lines * lineHeight + 1)};
    gEngine->fillScreenRect(band, BAND_COLOUR);
    for (int line = 0; line < lines; ++line) {
        font.drawText(text.substr(static_cast<size_t>(line) * perLine, perLine), 0,
                      1 + line * lineHeight);
    }
}

void GameStateManager::update() {
    m_levelHeld = false;
    if (m_switchRequested) {
        switchToLevel();
        return;
    }
    if (isInLevel() && updatePauseMenu()) {
        m_levelHeld = true;
    } else {
        m_pCurrent->update();
    }
    // Past the update of the screen that asked for it, which may be the
    // level being destroyed.
    if (m_menuRequested) {
        switchToMenu();
    }
}

bool GameStateManager::updatePauseMenu() {
    KeyState keys = gEngine->getKeys();
    if (!m_pPauseMenu->isOpen()) {
        if (!keys.escapePressed) {
            return false;
        }
        // Opened in this update, moved from the next: the keys that came
        // with Escape are not the menu's.
        m_pPauseMenu->open();
        gEngine->raiseSound(SoundEvent::PAUSE);
        return true;
    }
    PauseMenu::Choice choice = m_pPauseMenu->update(keys);
    if (choice == PauseMenu::Choice::STAGE_SELECT) {
        returnToMenu(false);
    } else if (choice == PauseMenu::Choice::QUIT) {
        gEngine->requestQuit();
    }
    return true;
}

void GameStateManager::draw() {
    // A game started in a level and paused in its first frame has had no
    // update yet: the level is built for the frame's draw instead.
    if (!m_pCurrent) {
        switchToLevel();
    }
    m_pCurrent->draw();
    if (isInLevel()) {
        m_pPauseMenu->draw(gEngine->isPauseShown());
    }
    if (!m_sourceError.empty()) {
        drawError("REBUILD FAILED: " + m_sourceError);
    } else if (!m_reloadError.empty()) {
        drawError("RELOAD FAILED: " + m_reloadError);
    }
}

std::string GameStateManager::getName(int index) const {
    return index >= 0 && index < NAME_COUNT ? m_names[index] : std::string();
}

void GameStateManager::setName(int index, const std::string& text) {
    if (index >= 0 && index < NAME_COUNT) {
        m_names[index] = text;
    }
}

void GameStateManager::addTraceFields(TraceRecord& record) const {
    m_pCurrent->addTraceFields(record);
    m_pPauseMenu->addTraceFields(record);
}
