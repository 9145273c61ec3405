// The level's frame: the ready phase, then player and enemy moves, the
// contact test after this frame's movement, and the draw order map, enemy,
// player. A level that places objects has them in the enemy's stead.
#include "screens/level/Level.h"

#include "config/IniDictionary.h"
#include "config/SoundsFile.h"
#include "engine/Audio.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"
#include "engine/GameStateManager.h"
#include "engine/Screen.h"
#include "engine/TraceRecord.h"
#include "graphics/Font.h"
#include "screens/level/Overlay.h"
#include "world/enemy/Enemy.h"
#include "world/level/Map.h"
#include "world/objects/ObjectSet.h"
#include "world/player/Kalvorn.h"

namespace {

// A message rendered once. An empty message or a font of zero size gives no
// surface: nothing is shown, and drawing no surface draws nothing.
Surface renderMessage(const std::string& message) {
    Font& font = gEngine->getFont();
    int64_t width = static_cast<int64_t>(message.size()) * font.getCharacterWidth();
    Surface surface = gEngine->createSurface(width > INT32_MAX ? 0 : static_cast<int>(width),
                                             font.getCharacterHeight());
    if (surface) {
        font.drawTextOnSurface(message, surface.get(), 0, 0);
    }
    return surface;
}

// Centred across the screen at the ready message's height.
void drawMessage(const Surface& surface) {
    if (surface) {
        gEngine->blitToScreen(static_cast<Sint16>(HALF_SCREEN_WIDTH - surface->w / 2),
                              Level::READY_MESSAGE_Y, surface.get(), nullptr);
    }
}

} // namespace

Level::Level(GameStateManager* pManager) : m_pManager(pManager) {
    std::string levelName = m_pManager->getName(GameStateManager::LEVEL_NAME);
    std::string characterName = m_pManager->getName(GameStateManager::CHARACTER_NAME);

    IniDictionary levels(gEngine->files(), LEVELS_FILE);
    // A menu entry without its section would be refused by the section's
    // first key, which is not what is wrong; the words are --check's.
    if (!levels.hasSection(levelName)) {
        throw DataError(LEVELS_FILE, joined("no section [", excerpt(levelName),
                                            "] for the level named in ", STAGE_SELECT_FILE));
    }
    std::string message = readyMessage(levels);
    if (Audio* pAudio = gEngine->audio()) {
        pAudio->playLevelMusic(levelMusic(levels, levelName));
    }
    m_pReadySurface = renderMessage(message);

    m_pMap = std::make_unique<Map>(levelName, levels);
    if (const auto& spot = m_pManager->arrival();
        spot && !m_pMap->arriveAt(spot->first, spot->second)) {
        throw DataError(LEVELS_FILE,
                        "--at " + std::to_string(spot->first) + "," + std::to_string(spot->second) +
                            " is in none of the boundaries of [" + excerpt(levelName) + "]");
    }
    m_pPlayer = std::make_unique<Kalvorn>(characterName, m_pMap.get());
    if (ObjectSet::isListedIn(levels, levelName)) {
        m_pObjects = std::make_unique<ObjectSet>(levels, levelName, *m_pMap);
        if (m_pObjects->hasExit()) {
            m_pClearSurface = renderMessage(clearMessage(levels));
        }
    } else {
        m_pEnemy = std::make_unique<Enemy>();
    }
    if (m_pManager->skipsReady()) {
        m_readyCountdown = 0;
    }
}

Level::~Level() {
    m_pReadySurface.reset();
    m_pClearSurface.reset();
    m_pObjects.reset();
    m_pEnemy.reset();
    m_pPlayer.reset();
    m_pMap.reset();
}

void Level::draw() {
    if (m_readyCountdown != 0) {
        m_pMap->draw();
        drawMessage(m_pReadySurface);
        --m_readyCountdown;
    } else {
        m_pMap->draw();
        if (m_pObjects) {
            m_pObjects->draw();
        } else {
            m_pEnemy->draw();
        }
        m_pPlayer->draw();
        if (m_clearCountdown != 0) {
            drawMessage(m_pClearSurface);
        }
    }
    if (gEngine->isOverlayShown()) {
        overlay::Hazards hazards;
        if (m_pObjects) {
            hazards.boxes = m_pObjects->boxes();
            hazards.paths = m_pObjects->paths();
        } else {
            hazards.boxes.push_back(m_pEnemy->hitbox().rect());
        }
        overlay::draw(*m_pMap, m_pPlayer->readout(), hazards);
    }
}

void Level::update() {
    // Cleared: everything holds still while the jingle plays, then the
    // stage select.
    if (m_clearCountdown != 0) {
        if (--m_clearCountdown == 0) {
            m_pManager->returnToMenu(true);
        }
        return;
    }
    bool defeated = m_pPlayer->isOutOfHealth();
    if (m_pPlayer->hasFallenOut() || defeated) {
        if (defeated) {
            m_pPlayer->restartAfterDefeat();
        } else {
            m_pPlayer->respawn();
        }
        if (m_pObjects) {
            m_pObjects->reset();
        }
        m_readyCountdown = READY_FRAMES;
    }
    if (m_readyCountdown != 0) {
        return;
    }
    play();
}

void Level::play() {
    m_pPlayer->update();
    if (m_pObjects) {
        if (const ObjectKind* pExit = m_pObjects->update(*m_pPlayer, *m_pMap)) {
            startClear(pExit->clearSound);
        }
        return;
    }
    m_pEnemy->update();
    if (m_pPlayer->hitbox().collidesWith(m_pEnemy->hitbox())) {
        m_pEnemy->touch(*m_pPlayer);
    }
}

void Level::startClear(int32_t ownSound) {
    m_clearCountdown = CLEAR_UPDATES;
    gEngine->raiseSound(SoundEvent::CLEAR, ownSound);
    // The jingle alone.
    if (Audio* pAudio = gEngine->audio()) {
        pAudio->playLevelMusic(std::nullopt);
    }
}

std::string Level::readyMessage(const IniDictionary& levels) {
    return levels.getString("readyMessage", "Common", "empty");
}

std::string Level::clearMessage(const IniDictionary& levels) {
    return levels.getString("clearMessage", "Common", "");
}

std::pair<int32_t, int32_t> Level::playerSpot() const {
    Kalvorn::Readout player = m_pPlayer->readout();
    return {integerPart(player.x), integerPart(player.y)};
}

void Level::addTraceFields(TraceRecord& record) const {
    record.add("screen", "level").add("ready", m_readyCountdown);
    m_pPlayer->addStateTrace(record);
    // Where the view stands sits between the player's state and its shots:
    // the map's boundary, and the camera the engine keeps for the level.
    record.add("boundary", m_pMap->currentBoundaryIndex());
    SDL_Rect camera = gEngine->getCamera();
    record.beginArray("camera").item(camera.x).item(camera.y).endArray();
    m_pPlayer->addShotsTrace(record);
    // What only data that uses them has, so that other traces stay as
    // they were.
    if (m_pPlayer->hasHealth()) {
        m_pPlayer->addHealthTrace(record);
    }
    if (m_pObjects) {
        m_pObjects->addTraceFields(record);
        if (m_pObjects->hasExit()) {
            record.add("cleared", m_clearCountdown);
        }
    }
}
