// The first screen: a column of levels and a column of playable characters
// from "stageselect.ini". b moves on and confirms, space goes back, Escape
// quits. The levels cleared in this run have a star after their caption.
#pragma once

#include "engine/GameState.h"
#include "engine/Surface.h"
#include "screens/menu/MenuItem.h"

#include <string>
#include <vector>

class FileRegistry;
class GameStateManager;

class StageSelect : public GameState {
public:
    static constexpr int LEVEL_COLUMN_X = 32;      // screen px
    static constexpr int CHARACTER_COLUMN_X = 128; // screen px
    static constexpr int FIRST_ROW_Y = 32;         // screen px
    static constexpr const char* CHARACTERS_SECTION = "Kalvorns";

    // What the menu file lists, in menu order: read once, and what the
    // check and the command line take the levels and characters from.
    struct Entries {
        std::vector<std::string> levels;          // level names
        std::vector<std::string> characterFiles;  // never empty
        std::vector<std::string> characterTitles; // the captions
    };
    // Throws DataError when the file names no level or no character, or a
    // character without a file.
    static Entries readEntries(FileRegistry& files);

    // Throws DataError as readEntries does, and for a bad selector picture.
    explicit StageSelect(GameStateManager* pManager);
    ~StageSelect() override;

    void draw() override;
    void update() override;
    void addTraceFields(TraceRecord& record) const override;

    const Entries& entries() const { return m_entries; }
    // Selects the first level and the first character of these names (a
    // level and a character file), each where the menu has it, as a level
    // left for the menu was chosen.
    void select(const std::string& levelName, const std::string& characterFile);

private:
    void drawSelector(const MenuItem& item);
    void drawClearedMarks();

    int m_levelIndex = 0;
    int m_characterIndex = 0;
    int m_levelCount = 0;
    int m_characterCount = 0;
    bool m_choosingCharacter = false;
    GameStateManager* m_pManager;
    Entries m_entries;
    std::vector<MenuItem> m_levels;
    std::vector<MenuItem> m_characters;
    Surface m_pSelector;
};
