// The 17/17/16 ms schedule, the 1 ms sleep loop and the late-frame reset,
// on a fake clock.
#include "engine/FramePacer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A clock that advances only when slept on, or when a test says a frame
// took time.
class FakeClock : public FrameClock {
public:
    uint32_t ticks() override {
        ++m_reads;
        return m_now;
    }
    void delay(uint32_t milliseconds) override {
        m_delays.push_back(milliseconds);
        m_now += milliseconds;
    }
    void work(uint32_t milliseconds) { m_now += milliseconds; }

    uint32_t m_now = 1000;
    int m_reads = 0;
    std::vector<uint32_t> m_delays;
};

} // namespace

TEST(FramePacer, SlotsOfSeventeenSeventeenSixteenWaitedInOneMillisecondSleeps) {
    FakeClock clock;
    FramePacer pacer(clock);
    pacer.start();
    std::vector<uint32_t> starts;
    for (int frame = 0; frame < 6; ++frame) {
        starts.push_back(clock.m_now);
        clock.work(frame == 0 ? 10 : 2);
        pacer.wait();
        if (frame == 0) {
            EXPECT_EQ(clock.m_delays, std::vector<uint32_t>(7, 1));
        }
    }
    EXPECT_EQ(starts, (std::vector<uint32_t>{1000, 1017, 1034, 1050, 1067, 1084}));
    EXPECT_EQ(clock.m_now, 1100u);
}

TEST(FramePacer, LateOrExactFramesRestartTheScheduleWithoutSleeping) {
    for (uint32_t took : {40u, 17u}) { // far longer than the 17 ms slot, or exactly it
        FakeClock clock;
        FramePacer pacer(clock);
        pacer.start();
        clock.work(took);
        pacer.wait();
        EXPECT_TRUE(clock.m_delays.empty()) << took;
        EXPECT_EQ(pacer.deadline(), 1000 + took);
        // The next slot (17 ms, the second entry) is measured from the late end.
        clock.work(1);
        pacer.wait();
        EXPECT_EQ(clock.m_now, 1000 + took + 17) << took;
    }
}

TEST(FramePacer, TheDeadlineIsComparedUnsignedAcrossTheWrap) {
    FakeClock clock;
    clock.m_now = 0xFFFFFFF0u;
    FramePacer pacer(clock);
    pacer.start();
    pacer.wait(); // deadline 0xFFFFFFF0 + 17 wraps to 1
    // The deadline (1) is below the clock, so it counts as a late frame.
    EXPECT_EQ(pacer.deadline(), 0xFFFFFFF0u);
}
