// Choosing a level and a character, and handing both names to the manager.
#include "screens/menu/StageSelect.h"

#include "config/IniDictionary.h"
#include "engine/Audio.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "engine/GameStateManager.h"
#include "engine/Wrapping.h"
#include "graphics/Font.h"

namespace {

const char* const STAGE_SELECT_FILE = "stageselect.ini";
// More entries than this could never be shown or reached on a 240-px screen;
// the limit keeps a mistyped count from asking for gigabytes.
constexpr int32_t MAX_MENU_ENTRIES = 1000;

// The game needs at least one level and one character.
int32_t readCount(const IniDictionary& file, const char* section) {
    return file.getInt("amount", section, 0, 1, MAX_MENU_ENTRIES);
}

} // namespace

std::string StageSelect::characterFile(const IniDictionary& file, int index) {
    std::string key = "kalvorn" + std::to_string(index);
    std::string name = file.getString(key, CHARACTERS_SECTION, "");
    // Left to the loader, a missing name would be refused as a file named
    // "empty", with nothing to say which file and key to mend.
    if (name.empty()) {
        throw DataError(STAGE_SELECT_FILE,
                        std::string("[") + CHARACTERS_SECTION + "] " + key +
                            (file.hasKey(key, CHARACTERS_SECTION) ? " is empty" : " is not given") +
                            "; give a character file");
    }
    return name;
}

StageSelect::StageSelect(GameStateManager* pManager) : m_pManager(pManager) {
    if (Audio* pAudio = gEngine->audio()) {
        pAudio->playMenuMusic();
    }
    IniDictionary file(gEngine->files(), STAGE_SELECT_FILE);
    int rowHeight = gEngine->getFont().getCharacterHeight();

    m_levelCount = readCount(file, "Levels");
    m_levels.resize(static_cast<size_t>(m_levelCount));
    int rowY = FIRST_ROW_Y;
    for (int i = 0; i < m_levelCount; ++i) {
        std::string name = file.getString("level" + std::to_string(i), "Levels", "empty");
        m_levels[static_cast<size_t>(i)] = MenuItem(name, name, LEVEL_COLUMN_X, rowY);
        rowY = wrapping::add(rowY, rowHeight); // a huge font height wraps, as screen rows do
    }

    m_characterCount = readCount(file, "Kalvorns");
    m_characters.resize(static_cast<size_t>(m_characterCount));
    rowY = FIRST_ROW_Y;
    for (int i = 0; i < m_characterCount; ++i) {
        std::string base = "kalvorn" + std::to_string(i);
        std::string name = characterFile(file, i);
        std::string title = file.getString(base + "title", "Kalvorns", "empty");
        m_characters[static_cast<size_t>(i)] = MenuItem(title, name, CHARACTER_COLUMN_X, rowY);
        rowY = wrapping::add(rowY, rowHeight);
    }

    m_pSelector = gEngine->loadBitmap("selector.bmp");
}

StageSelect::~StageSelect() = default;

void StageSelect::drawSelector(const MenuItem& item) {
    gEngine->blitToScreen(static_cast<Sint16>(item.getX() - m_pSelector->w),
                          static_cast<Sint16>(item.getY()), m_pSelector.get(), nullptr);
}

void StageSelect::draw() {
    gEngine->clearScreen();
    for (const MenuItem& item : m_levels) {
        item.draw();
    }
    for (const MenuItem& item : m_characters) {
        item.draw();
    }
    drawSelector(m_levels[static_cast<size_t>(m_levelIndex)]);
    if (m_choosingCharacter) {
        drawSelector(m_characters[static_cast<size_t>(m_characterIndex)]);
    }
}

void StageSelect::update() {
    KeyState keys = gEngine->getKeys();
    int& index = m_choosingCharacter ? m_characterIndex : m_levelIndex;
    int count = m_choosingCharacter ? m_characterCount : m_levelCount;
    if (keys.vertical != keys.previousVertical) {
        if (keys.vertical == DOWN) {
            if (index < count - 1) {
                ++index;
                gEngine->raiseSound(SoundEvent::MENU_MOVE);
            }
        } else if (keys.vertical == UP) {
            if (index > 0) {
                --index;
                gEngine->raiseSound(SoundEvent::MENU_MOVE);
            }
        }
    }
    if (keys.bPressed) {
        gEngine->raiseSound(SoundEvent::MENU_CONFIRM);
        if (!m_choosingCharacter) {
            m_choosingCharacter = true;
        } else {
            m_pManager->setName(GameStateManager::LEVEL_NAME,
                                m_levels[static_cast<size_t>(m_levelIndex)].getValue());
            m_pManager->setName(GameStateManager::CHARACTER_NAME,
                                m_characters[static_cast<size_t>(m_characterIndex)].getValue());
            m_pManager->requestSwitch();
        }
    }
    if (keys.spacePressed && m_choosingCharacter) {
        m_choosingCharacter = false;
        gEngine->raiseSound(SoundEvent::MENU_BACK);
    }
}

void StageSelect::appendTrace(std::string& out) const {
    out += "\"screen\":\"select\",\"levelIndex\":" + std::to_string(m_levelIndex) +
           ",\"characterIndex\":" + std::to_string(m_characterIndex) +
           ",\"choosingCharacter\":" + (m_choosingCharacter ? "true" : "false") +
           ",\"switchRequested\":" + (m_pManager->isSwitchRequested() ? "true" : "false");
}
