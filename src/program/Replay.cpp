// Reading and writing the replay format.
#include "program/Replay.h"

#include "config/TextLines.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <charconv>

namespace {

struct KeyName {
    const char* name;
    SDLKey key;
};

constexpr KeyName KEY_NAMES[] = {
    {"left", SDLK_LEFT},   {"right", SDLK_RIGHT}, {"up", SDLK_UP},        {"down", SDLK_DOWN},
    {"space", SDLK_SPACE}, {"b", SDLK_b},         {"enter", SDLK_RETURN}, {"tab", SDLK_TAB},
};

std::vector<std::string> splitOnSpaces(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space - start));
        if (space == std::string::npos) {
            return fields;
        }
        start = space + 1;
    }
}

} // namespace

const char* replayKeyName(SDLKey key) {
    for (const KeyName& entry : KEY_NAMES) {
        if (entry.key == key) {
            return entry.name;
        }
    }
    return nullptr;
}

ReplayScript ReplayScript::load(const std::string& path) {
    return parse(readFile(path, REPLAY_FILE), path);
}

ReplayScript ReplayScript::parse(const std::string& text, const std::string& name) {
    ReplayScript script;
    script.m_name = name;
    TextLines lines(text);
    std::string line;
    int64_t lastFrame = 0;
    while (lines.next(line)) {
        int lineNumber = lines.number();
        if (line.empty() || line[0] == '#') {
            continue;
        }
        auto fail = [&](const std::string& what) {
            throw DataError(name, "line " + std::to_string(lineNumber) + ": " + what);
        };
        std::vector<std::string> fields = splitOnSpaces(line);
        ReplayEvent event;
        const std::string& frameText = fields[0];
        auto [pStop, error] =
            std::from_chars(frameText.data(), frameText.data() + frameText.size(), event.frame);
        if (frameText.empty() || error != std::errc() ||
            pStop != frameText.data() + frameText.size() || event.frame < 0) {
            fail("'" + excerpt(frameText) + "' is not a frame number");
        }
        if (event.frame < lastFrame) {
            fail("frame " + excerpt(frameText) + " comes after frame " + std::to_string(lastFrame));
        }
        lastFrame = event.frame;
        if (fields.size() == 2 && fields[1] == "quit") {
            event.quit = true;
        } else if (fields.size() == 3) {
            const char* pKnown = nullptr;
            for (const KeyName& entry : KEY_NAMES) {
                if (fields[1] == entry.name) {
                    event.key = entry.key;
                    pKnown = entry.name;
                }
            }
            if (pKnown == nullptr) {
                fail("unknown key '" + excerpt(fields[1]) +
                     "' (keys: left right up down space b enter tab)");
            }
            if (fields[2] != "down" && fields[2] != "up") {
                fail("expected 'down' or 'up' after the key, got '" + excerpt(fields[2]) + "'");
            }
            event.down = fields[2] == "down";
        } else {
            fail("expected '<frame> <key> down|up' or '<frame> quit'");
        }
        script.m_events.push_back(event);
    }
    return script;
}

bool ReplayScript::pushEventsFor(int64_t frame) {
    // Well below the smallest event queue of the SDL builds we run on, with
    // room for the real input that arrives meanwhile.
    constexpr int PORTION = 32;
    int pushed = 0;
    while (pushed < PORTION && m_next < m_events.size() && m_events[m_next].frame <= frame) {
        const ReplayEvent& event = m_events[m_next++];
        if (event.frame < frame) {
            continue;
        }
        bool taken = event.quit ? GameEngine::pushQuitEvent()
                                : GameEngine::pushKeyEvent(event.key, event.down);
        if (!taken) {
            throw DataError(m_name, "frame " + std::to_string(frame) +
                                        ": SDL's event queue is full; an event would be lost");
        }
        ++pushed;
    }
    return pushed > 0;
}

void Recorder::keyEvent(SDLKey key, bool down) {
    const char* pName = replayKeyName(key);
    if (pName != nullptr && m_pStream != nullptr) {
        m_pStream->write(std::to_string(m_frame) + " " + pName + (down ? " down\n" : " up\n"));
    }
}

void Recorder::quitEvent() {
    if (m_pStream != nullptr) {
        m_pStream->write(std::to_string(m_frame) + " quit\n");
    }
}
