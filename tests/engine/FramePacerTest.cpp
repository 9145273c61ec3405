// The 17/17/16 ms schedule, the 1 ms sleep loop and the late-frame reset,
// on a fake clock.
#include "engine/FramePacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// A clock that advances only when slept on, or when a test says a frame
// took time.
class FakeClock : public FrameClock {
public:
    uint32_t ticks() override { return m_now; }
    void delay(uint32_t milliseconds) override {
        m_delays.push_back(milliseconds);
        m_now += milliseconds;
    }
    void work(uint32_t milliseconds) { m_now += milliseconds; }

    uint32_t m_now = 1000;
    std::vector<uint32_t> m_delays;
};

} // namespace

// Frames that took the given times from the clock's start, and the clock
// after each wait: slots of 17, 17 and 16 ms waited in sleeps of 1 ms, and a
// frame that ends late or exactly on time restarts the schedule at its end
// without sleeping.
TEST(FramePacer, SlotsOfSeventeenSeventeenSixteenAndLateFrames) {
    struct Case {
        uint32_t start; // ms
        std::vector<uint32_t> took;
        std::vector<uint32_t> ends;
    };
    const Case cases[] = {
        {1000, {10, 2, 2, 2, 2, 2}, {1017, 1034, 1050, 1067, 1084, 1100}},
        {1000, {40, 1}, {1040, 1057}},
        {1000, {17, 1}, {1017, 1034}},
        // The deadline, 17 ms past the start, wraps to 1: compared unsigned,
        // it lies behind the clock.
        {0xFFFFFFF0u, {0, 1}, {0xFFFFFFF0u, 0xFFFFFFF1u}},
    };
    for (const Case& c : cases) {
        FakeClock clock;
        clock.m_now = c.start;
        FramePacer pacer(clock);
        pacer.start();
        std::vector<uint32_t> ends;
        for (uint32_t took : c.took) {
            clock.work(took);
            pacer.wait();
            ends.push_back(clock.m_now);
        }
        EXPECT_EQ(ends, c.ends) << c.took[0];
        EXPECT_EQ(std::count(clock.m_delays.begin(), clock.m_delays.end(), 1u),
                  static_cast<long>(clock.m_delays.size()));
    }
}
