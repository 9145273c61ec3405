// The first screen: a column of levels and a column of playable characters
// from "stageselect.ini". b moves on and confirms, space goes back.
#pragma once

#include "engine/GameState.h"
#include "engine/Surface.h"
#include "screens/menu/MenuItem.h"

#include <string>
#include <vector>

class GameStateManager;
class IniDictionary;

class StageSelect : public GameState {
public:
    static constexpr int LEVEL_COLUMN_X = 32;      // screen px
    static constexpr int CHARACTER_COLUMN_X = 128; // screen px
    static constexpr int FIRST_ROW_Y = 32;         // screen px
    static constexpr const char* CHARACTERS_SECTION = "Kalvorns";

    // The character file the menu's entry `index` names; a DataError naming
    // the key when it is missing or empty.
    static std::string characterFile(const IniDictionary& file, int index);

    // Throws DataError when the file names no level or no character.
    explicit StageSelect(GameStateManager* pManager);
    ~StageSelect() override;

    void draw() override;
    void update() override;
    void addTraceFields(TraceRecord& record) const override;

private:
    void drawSelector(const MenuItem& item);

    int m_levelIndex = 0;
    int m_characterIndex = 0;
    int m_levelCount = 0;
    int m_characterCount = 0;
    bool m_choosingCharacter = false;
    GameStateManager* m_pManager;
    std::vector<MenuItem> m_levels;
    std::vector<MenuItem> m_characters;
    Surface m_pSelector;
};
