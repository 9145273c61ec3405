// The real game (runKcs, the code `kcs` runs) driven in this process on a
// replay, and the bare paced loop it is compared with.
#pragma once

#include "BlitScript.h"

#include <cstdint>
#include <string>
#include <vector>

struct GameTimes {
    std::vector<double> updateDrawMs; // per frame: update and draw, ms
    std::vector<double> flipMs;       // per frame: the present, ms
    std::vector<double> frameMs;      // per frame: the whole pass, ms
    int status = 0;                   // runKcs's exit status
};

struct PacedTimes {
    std::vector<double> startMs; // each frame's start after the first's, ms
    double cpuMs = 0.0;  // user and system time from the first start to the last frame's end
    double wallMs = 0.0; // the same span on the wall clock
    int status = 0;
};

// Headless and unpaced, every pass timed, with more of kcs's options when
// given. Paths are absolute.
GameTimes timeGame(const std::string& dataDir, const std::string& replay, int64_t frames,
                   const std::vector<std::string>& moreOptions = {});
// Headless and unpaced with the blit recorder hooked in.
BlitScript recordGame(const std::string& dataDir, const std::string& replay, int64_t frames);
// SDL's dummy driver but the real FramePacer on SDL's clock; the sound is
// mixed for SDL's disk driver, which writes it to /dev/null.
PacedTimes paceGame(const std::string& dataDir, const std::string& replay, int64_t frames,
                    bool mute);
// From the frame that reads a jump's key press to the disk driver's first
// buffer that is not silence, in ms, one figure per run. Paced, in a copy
// of the data whose only sound is the jump's.
std::vector<double> soundLatencies(const std::string& dataDir, int runs);
// Bare SDL: poll, flip and wait by the same 17/17/16 ms, 1 ms-sleep rule.
PacedTimes paceBareLoop(int64_t frames);
