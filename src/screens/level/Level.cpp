// The level's frame: the ready phase, then player and enemy moves, the
// contact test after this frame's movement, and the draw order map, enemy,
// player.
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
#include "world/player/Kalvorn.h"

namespace {
constexpr int HALF_SCREEN_WIDTH = SCREEN_WIDTH / 2; // px
} // namespace

Level::Level(GameStateManager* pManager) : m_pManager(pManager) {
    std::string levelName = m_pManager->getName(GameStateManager::LEVEL_NAME);
    std::string characterName = m_pManager->getName(GameStateManager::CHARACTER_NAME);

    IniDictionary levels(gEngine->files(), LEVELS_FILE);
    std::string message = readyMessage(levels);
    if (Audio* pAudio = gEngine->audio()) {
        pAudio->playLevelMusic(levelMusic(levels, levelName));
    }
    Font& font = gEngine->getFont();
    // An empty message or a font of zero size gives no surface: nothing is
    // shown, and drawing no surface draws nothing.
    int64_t width = static_cast<int64_t>(message.size()) * font.getCharacterWidth();
    m_pReadySurface = gEngine->createSurface(width > INT32_MAX ? 0 : static_cast<int>(width),
                                             font.getCharacterHeight());
    if (m_pReadySurface) {
        font.drawTextOnSurface(message, m_pReadySurface.get(), 0, 0);
    }

    m_pMap = std::make_unique<Map>(levelName, levels);
    if (const auto& spot = m_pManager->arrival();
        spot && !m_pMap->arriveAt(spot->first, spot->second)) {
        throw DataError(LEVELS_FILE,
                        "--at " + std::to_string(spot->first) + "," + std::to_string(spot->second) +
                            " is in none of the boundaries of [" + excerpt(levelName) + "]");
    }
    m_pPlayer = std::make_unique<Kalvorn>(characterName, m_pMap.get());
    m_pEnemy = std::make_unique<Enemy>();
    if (m_pManager->skipsReady()) {
        m_readyCountdown = 0;
    }
}

Level::~Level() {
    m_pReadySurface.reset();
    m_pEnemy.reset();
    m_pPlayer.reset();
    m_pMap.reset();
}

void Level::draw() {
    if (m_readyCountdown != 0) {
        m_pMap->draw();
        if (m_pReadySurface) {
            gEngine->blitToScreen(static_cast<Sint16>(HALF_SCREEN_WIDTH - m_pReadySurface->w / 2),
                                  READY_MESSAGE_Y, m_pReadySurface.get(), nullptr);
        }
        --m_readyCountdown;
    } else {
        m_pMap->draw();
        m_pEnemy->draw();
        m_pPlayer->draw();
    }
    if (gEngine->isOverlayShown()) {
        overlay::draw(*m_pMap, m_pPlayer->readout(), m_pEnemy->hitbox().rect());
    }
}

void Level::update() {
    if (m_pPlayer->hasFallenOut()) {
        m_pPlayer->respawn();
        m_readyCountdown = READY_FRAMES;
    }
    if (m_readyCountdown != 0) {
        return;
    }
    m_pPlayer->update();
    m_pEnemy->update();
    if (m_pPlayer->hitbox().collidesWith(m_pEnemy->hitbox())) {
        m_pEnemy->touch(*m_pPlayer);
    }
}

std::string Level::readyMessage(const IniDictionary& levels) {
    return levels.getString("readyMessage", "Common", "empty");
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
}
