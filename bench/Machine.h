// What the figures were measured on, and how busy the machine was meanwhile.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Name and value pairs: CPU model, cores, OS, compiler, build type.
std::vector<std::pair<std::string, std::string>> describeMachine();

// The 1-, 5- and 15-minute load averages as the kernel prints them.
std::string loadAverages();

// The whole machine's CPU time since boot, from /proc/stat, in ms.
struct CpuSample {
    double busyMs = 0.0;
    double totalMs = 0.0;
};
CpuSample sampleMachineCpu();
