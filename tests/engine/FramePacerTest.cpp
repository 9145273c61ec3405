// The 17/17/16 ms schedule, the 1 ms sleep loop and the late-frame reset,
// on a fake clock.
#include "engine/FramePacer.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

// A clock that advances only when slept on, in sleeps of 1 ms, or when a
// test says a frame took time.
struct FakeClock : FrameClock {
    uint32_t ticks() override { return m_now; }
    void delay(uint32_t milliseconds) override {
        EXPECT_EQ(milliseconds, 1u);
        m_now += milliseconds;
    }
    uint32_t m_now = 0;
};

} // namespace

// Frames that took the given times from the clock's start, and the clock
// after each wait: slots of 17, 17 and 16 ms waited in sleeps of 1 ms, and a
// frame that ends late or exactly on time restarts the schedule at its end
// without sleeping.
TEST(FramePacer, SlotsOfSeventeenSeventeenSixteenAndLateFrames) {
    // {the clock at the start, each frame's time, the clock after each wait}, in ms
    using Times = std::vector<uint32_t>;
    const std::tuple<uint32_t, Times, Times> cases[] = {
        {1000, {10, 2, 2, 2, 2, 2}, {1017, 1034, 1050, 1067, 1084, 1100}},
        {1000, {17, 1}, {1017, 1034}},
        // The deadline, 17 ms past the start, wraps to 1: compared unsigned,
        // it lies behind the clock.
        {0xFFFFFFF0u, {0, 1}, {0xFFFFFFF0u, 0xFFFFFFF1u}},
    };
    for (const auto& [start, took, ends] : cases) {
        FakeClock clock;
        clock.m_now = start;
        FramePacer pacer(clock);
        pacer.start();
        Times waited;
        for (uint32_t frame : took) {
            clock.m_now += frame;
            pacer.wait();
            waited.push_back(clock.m_now);
        }
        EXPECT_EQ(waited, ends) << start << " " << took[0];
    }
}
