// The menu Escape opens over a level: CONTINUE, STAGE SELECT and QUIT in a
// framed black box over the held picture, under the level's paused message;
// and that message alone, in a box of its own, while Enter pauses the level.
#pragma once

#include "engine/KeyState.h"

#include <string>
#include <utility>

class IniDictionary;
class TraceRecord;

class PauseMenu {
public:
    enum class Choice { NONE, CONTINUE, STAGE_SELECT, QUIT };
    static constexpr int LINE_COUNT = 3;

    // [Common] pausedMessage of "levels.ini"; empty, the default, shows
    // nothing while paused and gives the menu no title.
    static std::string pausedMessage(const IniDictionary& levels);
    void setMessage(std::string message) { m_message = std::move(message); }

    bool isOpen() const { return m_open; }
    // Opens at CONTINUE and takes Enter and Tab from the pause while open.
    void open();
    void close();
    // One update of the open menu: up and down move, b or Enter confirms
    // the chosen line and Escape CONTINUEs, each with its sound. The menu
    // closes on whatever is confirmed, which is returned.
    Choice update(const KeyState& keys);
    // The open menu, or else while `paused` the message alone.
    void draw(bool paused) const;
    // "pauseMenu", the chosen line, only while the menu is open.
    void addTraceFields(TraceRecord& record) const;

private:
    bool m_open = false;
    int m_index = 0; // the chosen line
    std::string m_message;
};
