// The 60 frames per second pace on a millisecond clock: slots of 17, 17 and
// 16 ms in turn, waited out in 1 ms sleeps, with no catch-up after a late
// frame. The clock is injectable so the rule can be tested without waiting.
#pragma once

#include <cstdint>

class FrameClock {
public:
    virtual ~FrameClock() = default;
    virtual uint32_t ticks() = 0; // ms, wrapping unsigned 32-bit
    virtual void delay(uint32_t milliseconds) = 0;
};

// SDL's millisecond clock.
class SdlClock : public FrameClock {
public:
    uint32_t ticks() override;
    void delay(uint32_t milliseconds) override;
};

class FramePacer {
public:
    static constexpr uint32_t FRAME_DURATIONS[3] = {17, 17, 16}; // ms: 50 ms per 3 frames

    explicit FramePacer(FrameClock& clock) : m_clock(clock) {}

    // Starts the schedule at the current time.
    void start();
    // Waits for the end of the current frame's slot.
    void wait();
    uint32_t deadline() const { return m_deadline; }

private:
    FrameClock& m_clock;
    uint32_t m_deadline = 0; // ms
    int m_durationIndex = 0;
};
