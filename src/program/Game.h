// The program: command line, start-up, the frame loop and teardown.
#pragma once

#include <cstdint>

class BlitObserver;

// The points a pass of the frame loop goes through, in this order. PACED
// follows PRESENTED at once when the loop does not pace.
enum class FramePoint { STARTED, POLLED, DRAWN, PRESENTED, PACED };

// Told as each pass reaches each point, so a benchmark can time the real loop.
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    virtual void reached(FramePoint point, int64_t frame) = 0;
};

// What a measuring program hooks into the loop; the game itself hooks nothing.
struct LoopHooks {
    FrameObserver* pFrames = nullptr;
    BlitObserver* pBlits = nullptr; // handed to the engine before it loads anything
    // The process ends after the run (the kcs program): the sound device is
    // left to the exit instead of closed, which would wait for the audio
    // thread. A program that runs the game again must close it.
    bool processEnds = false;
};

// Returns the process exit status: 0 after a normal end, 1 when presenting a
// frame failed, 2 for a bad command line or bad data.
int runKcs(int argc, const char* const* argv, const LoopHooks& hooks = LoopHooks{});
