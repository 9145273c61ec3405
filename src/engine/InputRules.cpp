// Held sources, edges, last-pressed-wins directions, pause and step.
#include "engine/InputRules.h"

#include <algorithm>

namespace {

constexpr int NO_AXIS = -1;
constexpr int ACROSS = 0;
constexpr int UPRIGHT = 1;

// What each input does besides going down and up: the four directions steer
// an axis, and letting one go hands the axis to its opposite if that is
// still held.
struct Role {
    int axis;
    int32_t direction;
    GameInput opposite;
};

constexpr std::array<Role, GAME_INPUT_COUNT> ROLES = {{
    {ACROSS, LEFT, GameInput::RIGHT},
    {ACROSS, RIGHT, GameInput::LEFT},
    {UPRIGHT, UP, GameInput::DOWN},
    {UPRIGHT, DOWN, GameInput::UP},
    {NO_AXIS, NONE, GameInput::JUMP},
    {NO_AXIS, NONE, GameInput::SHOOT},
    {NO_AXIS, NONE, GameInput::PAUSE},
    {NO_AXIS, NONE, GameInput::STEP},
    {NO_AXIS, NONE, GameInput::MENU},
}};

size_t indexOf(GameInput input) {
    return static_cast<size_t>(input);
}

} // namespace

void InputRules::beginFrame() {
    m_pausesBegun = 0;
    if (!m_paused) {
        m_previousDirection = m_direction;
        m_pressed.fill(false);
        m_released.fill(false);
    }
    if (m_stepRequested) {
        m_paused = true;
        m_stepRequested = false;
    }
}

void InputRules::setSource(GameInput input, int source, bool held) {
    std::vector<int>& sources = m_heldSources[indexOf(input)];
    auto found = std::find(sources.begin(), sources.end(), source);
    bool isKey = source < GAMEPAD_SOURCES;
    if (held) {
        if (found == sources.end()) {
            sources.push_back(source);
            if (sources.size() == 1) {
                inputDown(input);
            }
        } else if (isKey && sources.size() == 1) {
            inputDown(input);
        }
    } else if (found != sources.end()) {
        sources.erase(found);
        if (sources.empty()) {
            inputUp(input);
        }
    } else if (isKey && sources.empty()) {
        inputUp(input);
    }
}

void InputRules::releaseGamepadSources() {
    for (int input = 0; input < GAME_INPUT_COUNT; ++input) {
        std::vector<int> sources = m_heldSources[static_cast<size_t>(input)];
        for (int source : sources) {
            if (source >= GAMEPAD_SOURCES) {
                setSource(static_cast<GameInput>(input), source, false);
            }
        }
    }
}

void InputRules::quit() {
    if (m_quitRequested) {
        return;
    }
    m_quitRequested = true;
    if (m_pObserver != nullptr) {
        m_pObserver->quitEvent();
    }
}

KeyState InputRules::keys() const {
    KeyState keys;
    keys.horizontal = m_direction[ACROSS];
    keys.vertical = m_direction[UPRIGHT];
    keys.previousHorizontal = m_previousDirection[ACROSS];
    keys.previousVertical = m_previousDirection[UPRIGHT];
    keys.upHeld = m_held[indexOf(GameInput::UP)];
    keys.downHeld = m_held[indexOf(GameInput::DOWN)];
    keys.leftHeld = m_held[indexOf(GameInput::LEFT)];
    keys.rightHeld = m_held[indexOf(GameInput::RIGHT)];
    keys.bPressed = m_pressed[indexOf(GameInput::SHOOT)];
    keys.bHeld = m_held[indexOf(GameInput::SHOOT)];
    keys.bReleased = m_released[indexOf(GameInput::SHOOT)];
    keys.spacePressed = m_pressed[indexOf(GameInput::JUMP)];
    keys.spaceHeld = m_held[indexOf(GameInput::JUMP)];
    keys.spaceReleased = m_released[indexOf(GameInput::JUMP)];
    keys.enterPressed = m_pressed[indexOf(GameInput::PAUSE)];
    keys.escapePressed = m_pressed[indexOf(GameInput::MENU)];
    return keys;
}

void InputRules::inputDown(GameInput input) {
    if (m_pObserver != nullptr) {
        m_pObserver->inputEvent(input, true);
    }
    size_t i = indexOf(input);
    m_pressed[i] = true;
    m_held[i] = true;
    m_released[i] = false;
    const Role& role = ROLES[i];
    if (role.axis != NO_AXIS) {
        m_direction[static_cast<size_t>(role.axis)] = role.direction;
    }
    if (m_menuOpen) {
        return;
    }
    if (input == GameInput::PAUSE) {
        m_paused = !m_paused;
        m_pausesBegun += m_paused ? 1 : 0;
    } else if (input == GameInput::STEP && m_paused) {
        // One update runs; the next frame's beginning pauses again.
        m_paused = false;
        m_stepRequested = true;
    } else if (input == GameInput::MENU) {
        // Escape leaves the pause, or a single step's return to it, for
        // what it opens: this frame's update sees it and opens the menu (or
        // quits), the level staying held, and the menu is not paused.
        m_paused = false;
        m_stepRequested = false;
    }
}

void InputRules::inputUp(GameInput input) {
    if (m_pObserver != nullptr) {
        m_pObserver->inputEvent(input, false);
    }
    size_t i = indexOf(input);
    m_pressed[i] = false;
    m_held[i] = false;
    m_released[i] = true;
    const Role& role = ROLES[i];
    if (role.axis != NO_AXIS) {
        size_t opposite = indexOf(role.opposite);
        m_direction[static_cast<size_t>(role.axis)] =
            m_held[opposite] ? ROLES[opposite].direction : NONE;
    }
}
