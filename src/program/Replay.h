// Replay files: "<frame> <key> down|up" and "<frame> quit" lines, fed into
// SDL's own queue just before the frame's event polling; and the recorder
// that writes what the engine actually handled in the same format.
#pragma once

#include "engine/Files.h"
#include "engine/InputRules.h"

#include <cstdint>
#include <string>
#include <vector>

struct ReplayEvent {
    int64_t frame = 0;
    bool quit = false;
    GameInput input = GameInput::LEFT;
    bool down = false;
};

class ReplayScript {
public:
    // Throws DataError naming the file and line for a malformed line.
    static ReplayScript load(FileRegistry& files, const std::string& path);
    static ReplayScript parse(const std::string& text, const std::string& name);

    // Pushes the next events of this frame into SDL's queue, in file order,
    // a portion at a time, because the queue holds only so many: returns
    // false when the frame has none left, so the caller polls between calls.
    bool pushEventsFor(int64_t frame);
    const std::vector<ReplayEvent>& events() const { return m_events; }

private:
    std::string m_name;
    std::vector<ReplayEvent> m_events;
    size_t m_next = 0;
};

class Recorder : public InputObserver {
public:
    // Without a stream nothing is recorded.
    explicit Recorder(OutputStream* pStream) : m_pStream(pStream) {}
    void setFrame(int64_t frame) { m_frame = frame; }
    void inputEvent(GameInput input, bool down) override;
    void quitEvent() override;

private:
    OutputStream* m_pStream;
    int64_t m_frame = 0;
};
