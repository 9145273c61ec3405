// Choosing a level and a character, and handing both names to the manager.
#include "screens/menu/StageSelect.h"

#include "config/IniDictionary.h"
#include "engine/Audio.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"
#include "engine/GameStateManager.h"
#include "engine/Screen.h"
#include "engine/TraceRecord.h"
#include "engine/Wrapping.h"
#include "graphics/Font.h"

#include <algorithm>

namespace {

constexpr char CLEARED_MARK = '*';

// More entries than this could never be shown or reached on a 240-px screen;
// the limit keeps a mistyped count from asking for gigabytes.
constexpr int32_t MAX_MENU_ENTRIES = 1000;

// The game needs at least one level and one character.
int32_t readCount(const IniDictionary& file, const char* section) {
    return file.getInt("amount", section, 0, 1, MAX_MENU_ENTRIES);
}

} // namespace

StageSelect::Entries StageSelect::readEntries(FileRegistry& files) {
    IniDictionary file(files, STAGE_SELECT_FILE);
    Entries entries;
    int32_t levelCount = readCount(file, "Levels");
    for (int32_t i = 0; i < levelCount; ++i) {
        entries.levels.push_back(file.getString("level" + std::to_string(i), "Levels", "empty"));
    }
    int32_t characterCount = readCount(file, CHARACTERS_SECTION);
    for (int32_t i = 0; i < characterCount; ++i) {
        std::string key = "kalvorn" + std::to_string(i);
        std::string name = file.getString(key, CHARACTERS_SECTION, "");
        // Left to the loader, a missing name would be refused as a file named
        // "empty", with nothing to say which file and key to mend.
        if (name.empty()) {
            throw DataError(
                STAGE_SELECT_FILE,
                std::string("[") + CHARACTERS_SECTION + "] " + key +
                    (file.hasKey(key, CHARACTERS_SECTION) ? " is empty" : " is not given") +
                    "; give a character file");
        }
        entries.characterFiles.push_back(name);
        entries.characterTitles.push_back(
            file.getString(key + "title", CHARACTERS_SECTION, "empty"));
    }
    return entries;
}

StageSelect::StageSelect(GameStateManager* pManager) : m_pManager(pManager) {
    if (Audio* pAudio = gEngine->audio()) {
        pAudio->playMenuMusic();
    }
    m_entries = readEntries(gEngine->files());
    int rowHeight = gEngine->getFont().getCharacterHeight();

    m_levelCount = static_cast<int>(m_entries.levels.size());
    int rowY = FIRST_ROW_Y;
    for (const std::string& name : m_entries.levels) {
        m_levels.emplace_back(name, name, LEVEL_COLUMN_X, rowY);
        rowY = wrapping::add(rowY, rowHeight); // a huge font height wraps, as screen rows do
    }

    m_characterCount = static_cast<int>(m_entries.characterFiles.size());
    rowY = FIRST_ROW_Y;
    for (int i = 0; i < m_characterCount; ++i) {
        m_characters.emplace_back(m_entries.characterTitles[static_cast<size_t>(i)],
                                  m_entries.characterFiles[static_cast<size_t>(i)],
                                  CHARACTER_COLUMN_X, rowY);
        rowY = wrapping::add(rowY, rowHeight);
    }

    m_pSelector = gEngine->loadBitmap("selector.bmp");
}

StageSelect::~StageSelect() = default;

void StageSelect::select(const std::string& levelName, const std::string& characterFile) {
    auto indexOf = [](const std::vector<std::string>& names, const std::string& name, int& index) {
        auto found = std::find(names.begin(), names.end(), name);
        if (found != names.end()) {
            index = static_cast<int>(found - names.begin());
        }
    };
    indexOf(m_entries.levels, levelName, m_levelIndex);
    indexOf(m_entries.characterFiles, characterFile, m_characterIndex);
}

void StageSelect::drawSelector(const MenuItem& item) {
    gEngine->blitToScreen(static_cast<Sint16>(item.getX() - m_pSelector->w),
                          static_cast<Sint16>(item.getY()), m_pSelector.get(), nullptr);
}

void StageSelect::drawClearedMarks() {
    Font& font = gEngine->getFont();
    int64_t cellWidth = font.getCharacterWidth();
    for (size_t i = 0; i < m_levels.size(); ++i) {
        const std::string& name = m_entries.levels[i];
        if (!m_pManager->isCleared(name)) {
            continue;
        }
        // Right after the caption; past the screen's edge, nowhere.
        int64_t x = m_levels[i].getX() + static_cast<int64_t>(name.size()) * cellWidth;
        if (x < SCREEN_WIDTH) {
            font.drawMark(CLEARED_MARK, static_cast<int>(x), m_levels[i].getY());
        }
    }
}

void StageSelect::draw() {
    gEngine->clearScreen();
    for (const MenuItem& item : m_levels) {
        item.draw();
    }
    drawClearedMarks();
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
    if (keys.escapePressed) {
        gEngine->requestQuit();
        return;
    }
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

void StageSelect::addTraceFields(TraceRecord& record) const {
    record.add("screen", "select")
        .add("levelIndex", m_levelIndex)
        .add("characterIndex", m_characterIndex)
        .add("choosingCharacter", m_choosingCharacter)
        .add("switchRequested", m_pManager->isSwitchRequested());
    // Only once a level is cleared, so the traces of runs that clear none
    // are as they always were.
    std::vector<int32_t> cleared;
    for (size_t i = 0; i < m_entries.levels.size(); ++i) {
        if (m_pManager->isCleared(m_entries.levels[i])) {
            cleared.push_back(static_cast<int32_t>(i));
        }
    }
    if (!cleared.empty()) {
        record.beginArray("cleared");
        for (int32_t index : cleared) {
            record.item(index);
        }
        record.endArray();
    }
}
