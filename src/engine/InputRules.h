// The input rules, free of SDL: which game inputs are held and by what, this
// frame's pressed and released edges, the last pressed direction on each
// axis, the pause, the single step and quit. The platform layer translates
// its events into setSource calls and begins each frame with beginFrame; the
// game reads the KeyState the rules produce.
#pragma once

#include "engine/KeyState.h"

#include <array>
#include <cstddef>
#include <vector>

// The game's inputs, keyboard-shaped; engine/KeyTable.h names them.
enum class GameInput : int {
    LEFT,
    RIGHT,
    UP,
    DOWN,
    JUMP,
    SHOOT,
    PAUSE,
    STEP,
    MENU,
};
constexpr int GAME_INPUT_COUNT = 9;

// Told about every input that goes down or up and every quit, so a recording
// replays to the same game.
class InputObserver {
public:
    virtual ~InputObserver() = default;
    virtual void inputEvent(GameInput input, bool down) = 0;
    virtual void quitEvent() = 0;
};

class InputRules {
public:
    // A source is one physical thing that holds an input (a key, a replayed
    // input, a button, one direction of a stick or hat), numbered by the
    // caller. Sources below this number act on every event, as the keyboard
    // always has: a second "down" presses again, a stray "up" still releases.
    // A gamepad repeats its stick's events while held, so its sources, from
    // this number on, act only on changes.
    static constexpr int GAMEPAD_SOURCES = 0x10000;

    // A frame begins. Unless the game is paused, the last frame's edges end
    // and its directions become the previous ones; so a press that arrives
    // during a pause is still seen by the first update after it. A single
    // step ends here, with the pause again.
    void beginFrame();
    // A source starts or stops holding an input. The input goes down with its
    // first source and up with its last, so two bound keys never release each
    // other.
    void setSource(GameInput input, int source, bool held);
    // A controller that goes away cannot leave an input held.
    void releaseGamepadSources();
    // The window is closed, or the game asks to end as if it were; the
    // observer hears the first request only, the others changing nothing.
    void quit();
    // While a menu over the level takes the input, Enter confirms in it
    // instead of pausing, and Tab has nothing to step.
    void setMenuOpen(bool open) { m_menuOpen = open; }

    KeyState keys() const;
    bool isPaused() const { return m_paused; }
    // Paused but for this frame's single step.
    bool isStepping() const { return m_stepRequested; }
    bool isQuitRequested() const { return m_quitRequested; }
    // How many times the pause began since the frame did; each has its sound.
    int pausesBegun() const { return m_pausesBegun; }
    void setObserver(InputObserver* pObserver) { m_pObserver = pObserver; }

private:
    void inputDown(GameInput input);
    void inputUp(GameInput input);

    using PerInput = std::array<bool, GAME_INPUT_COUNT>;
    std::array<std::vector<int>, GAME_INPUT_COUNT> m_heldSources;
    PerInput m_held{};
    PerInput m_pressed{};  // went down in this frame and is still down
    PerInput m_released{}; // went up in this frame and is still up
    // The direction of each axis: across, then up and down.
    std::array<int32_t, 2> m_direction{NONE, NONE};
    std::array<int32_t, 2> m_previousDirection{NONE, NONE};
    bool m_paused = false;
    bool m_stepRequested = false;
    bool m_quitRequested = false;
    bool m_menuOpen = false;
    int m_pausesBegun = 0;
    InputObserver* m_pObserver = nullptr;
};
