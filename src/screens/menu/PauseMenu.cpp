// The pause menu's moves, and its box drawn with the game's font: the first
// line where the ready message stands, so the paused message is in the same
// place with the menu and without it.
#include "screens/menu/PauseMenu.h"

#include "config/IniDictionary.h"
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "engine/SoundEvent.h"
#include "engine/TraceRecord.h"
#include "graphics/Font.h"
#include "screens/level/Level.h"

#include <algorithm>
#include <array>

namespace {

using Choice = PauseMenu::Choice;

constexpr std::array<const char*, PauseMenu::LINE_COUNT> LINES = {"CONTINUE", "STAGE SELECT",
                                                                  "QUIT"};
constexpr std::array<Choice, PauseMenu::LINE_COUNT> CHOICES = {Choice::CONTINUE,
                                                               Choice::STAGE_SELECT, Choice::QUIT};
constexpr size_t LONGEST_LINE = 12; // characters, "STAGE SELECT"
constexpr char POINTER = '>';
constexpr int64_t POINTER_CELLS = 2;                     // the pointer and a blank before each line
constexpr int64_t PADDING = 6;                           // px between the frame and the text
constexpr int64_t LINE_GAP = 4;                          // px between lines
constexpr int64_t TITLE_GAP = 8;                         // px between the title and the lines
constexpr int64_t FIRST_LINE_Y = Level::READY_MESSAGE_Y; // screen px
constexpr uint32_t BOX_COLOUR = 0x000000;                // 0xRRGGBB
constexpr uint32_t FRAME_COLOUR = 0xFCFCFC;              // 0xRRGGBB

// A black box in a 1 px frame from left, top to right, bottom (exclusive),
// screen px, cut a px beyond the screen so that a box wider than the
// screen keeps to 16-bit rectangles.
void drawBox(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    auto cut = [](int64_t value, int64_t size) { return std::clamp<int64_t>(value, -1, size + 1); };
    left = cut(left, SCREEN_WIDTH);
    right = cut(right, SCREEN_WIDTH);
    top = cut(top, SCREEN_HEIGHT);
    bottom = cut(bottom, SCREEN_HEIGHT);
    auto rect = [](int64_t x, int64_t y, int64_t width, int64_t height) {
        return SDL_Rect{static_cast<Sint16>(x), static_cast<Sint16>(y),
                        static_cast<Uint16>(std::max<int64_t>(0, width)),
                        static_cast<Uint16>(std::max<int64_t>(0, height))};
    };
    gEngine->fillScreenRect(rect(left, top, right - left, bottom - top), FRAME_COLOUR);
    gEngine->fillScreenRect(rect(left + 1, top + 1, right - left - 2, bottom - top - 2),
                            BOX_COLOUR);
}

// Only the characters that can show are drawn, so a message of any length
// costs a screen's width.
void drawText(Font& font, const std::string& text, int64_t x, int64_t y) {
    int64_t width = font.getCharacterWidth();
    size_t first = x < 0 ? static_cast<size_t>(-x / width) : 0;
    if (first >= text.size() || x > SCREEN_WIDTH) {
        return;
    }
    size_t shown = static_cast<size_t>(SCREEN_WIDTH / width) + 2;
    font.drawText(std::string_view(text).substr(first, shown),
                  static_cast<int>(x + static_cast<int64_t>(first) * width), static_cast<int>(y));
}

} // namespace

std::string PauseMenu::pausedMessage(const IniDictionary& levels) {
    return levels.getString("pausedMessage", "Common", "");
}

void PauseMenu::open() {
    m_open = true;
    m_index = 0;
    gEngine->setMenuOpen(true);
}

void PauseMenu::close() {
    m_open = false;
    gEngine->setMenuOpen(false);
}

PauseMenu::Choice PauseMenu::update(const KeyState& keys) {
    if (keys.escapePressed) {
        gEngine->raiseSound(SoundEvent::MENU_BACK);
        close();
        return Choice::CONTINUE;
    }
    if (keys.vertical != keys.previousVertical) {
        int moved = m_index + (keys.vertical == DOWN ? 1 : 0) - (keys.vertical == UP ? 1 : 0);
        // As on the stage select, the ends hold the pointer without a sound.
        if (moved != m_index && moved >= 0 && moved < LINE_COUNT) {
            m_index = moved;
            gEngine->raiseSound(SoundEvent::MENU_MOVE);
        }
    }
    if (keys.bPressed || keys.enterPressed) {
        gEngine->raiseSound(SoundEvent::MENU_CONFIRM);
        close();
        return CHOICES[static_cast<size_t>(m_index)];
    }
    return Choice::NONE;
}

void PauseMenu::draw(bool paused) const {
    bool titled = !m_message.empty();
    if (!m_open && !(paused && titled)) {
        return;
    }
    Font& font = gEngine->getFont();
    int64_t cellWidth = font.getCharacterWidth();
    int64_t lineHeight = font.getCharacterHeight();
    int64_t messageWidth = static_cast<int64_t>(m_message.size()) * cellWidth;
    int64_t linesWidth = m_open ? (POINTER_CELLS + int64_t{LONGEST_LINE}) * cellWidth : 0;
    int64_t inner = std::max(titled ? messageWidth : 0, linesWidth);
    int64_t linesHeight = m_open ? LINE_COUNT * lineHeight + (LINE_COUNT - 1) * LINE_GAP : 0;
    int64_t titleHeight = titled ? lineHeight + (m_open ? TITLE_GAP : 0) : 0;
    int64_t left = HALF_SCREEN_WIDTH - inner / 2 - PADDING;
    drawBox(left, FIRST_LINE_Y - PADDING, left + inner + 2 * PADDING,
            FIRST_LINE_Y + titleHeight + linesHeight + PADDING);
    int64_t y = FIRST_LINE_Y;
    if (titled) {
        drawText(font, m_message, HALF_SCREEN_WIDTH - messageWidth / 2, y);
        y += titleHeight;
    }
    if (!m_open) {
        return;
    }
    int64_t x = HALF_SCREEN_WIDTH - linesWidth / 2;
    for (int i = 0; i < LINE_COUNT; ++i) {
        if (i == m_index) {
            font.drawMark(POINTER, static_cast<int>(x), static_cast<int>(y));
        }
        drawText(font, LINES[static_cast<size_t>(i)], x + POINTER_CELLS * cellWidth, y);
        y += lineHeight + LINE_GAP;
    }
}

void PauseMenu::addTraceFields(TraceRecord& record) const {
    if (m_open) {
        record.add("pauseMenu", m_index);
    }
}
