// Reading and writing the replay format.
#include "program/Replay.h"

#include "config/TextLines.h"
#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/GameEngine.h"
#include "engine/KeyTable.h"

#include <charconv>

namespace {

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

ReplayScript ReplayScript::load(FileRegistry& files, const std::string& path) {
    return parse(readFile(files, path, REPLAY_FILE), path);
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
            fail(joined("'", excerpt(frameText), "' is not a frame number"));
        }
        if (event.frame < lastFrame) {
            fail("frame " + excerpt(frameText) + " comes after frame " + std::to_string(lastFrame));
        }
        lastFrame = event.frame;
        if (fields.size() == 2 && fields[1] == "quit") {
            event.quit = true;
        } else if (fields.size() == 3) {
            const KeyName* pEntry = findReplayWord(fields[1]);
            if (pEntry == nullptr) {
                std::string words;
                for (const KeyName& entry : KEY_TABLE) {
                    words += std::string(words.empty() ? "" : " ") + entry.replayWord;
                }
                fail("unknown key '" + excerpt(fields[1]) + "' (keys: " + words + ")");
            }
            event.input = pEntry->input;
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
                                : GameEngine::pushInputEvent(event.input, event.down);
        if (!taken) {
            throw DataError(m_name, "frame " + std::to_string(frame) +
                                        ": SDL's event queue is full; an event would be lost");
        }
        ++pushed;
    }
    return pushed > 0;
}

void Recorder::inputEvent(GameInput input, bool down) {
    if (m_pStream != nullptr) {
        m_pStream->write(std::to_string(m_frame) + " " + keyNameOf(input).replayWord +
                         (down ? " down\n" : " up\n"));
    }
}

void Recorder::quitEvent() {
    if (m_pStream != nullptr) {
        m_pStream->write(std::to_string(m_frame) + " quit\n");
    }
}
