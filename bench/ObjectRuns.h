// What a level's objects cost a frame: the same level and the same play,
// once with many objects in the player's boundary and once with none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ObjectCost {
    std::string level;
    int objects = 0;    // placed in the level
    int64_t frames = 0; // of each run
    std::string replay; // the play, as its replay text
    // Per run: the median and the 99th percentile of the update and draw
    // of the level's frames, ms.
    std::vector<double> withMedianMs, withP99Ms;
    std::vector<double> withoutMedianMs, withoutP99Ms;
};

// Runs the level `runs` times each way, the two ways alternating, in copies
// of the data folder that differ only in levels.ini, beside the kind files
// and pictures the bench writes.
ObjectCost measureObjectCost(const std::string& dataDir, int runs);
