// A program run as a child process: its wall time from start to exit, and
// its resource use as the kernel counted it.
#pragma once

#include <string>
#include <vector>

struct ChildResult {
    int status = -1;     // exit status; -1 when it did not exit normally
    double wallMs = 0.0; // started to reaped, ms
    double cpuMs = 0.0;  // user and system, ms
    long maxRssKb = 0;   // peak resident set, KiB
};

// argv[0] is the program's path. Standard output and error go to nothing.
//
// The kernel folds the resident set of the process a child was forked from
// into the child's peak, and this program holds large recordings. So the
// child is started by a fresh, small copy of this program (its probe mode),
// which forks, runs and reaps it and reports the figures on a pipe.
// Throws std::runtime_error when it cannot be started.
ChildResult runChild(const std::vector<std::string>& argv);

// The probe mode: runs argv, prints "status wallMs cpuMs maxRssKb" on
// standard output and returns 0, or returns 2 when it cannot start it.
int probeChild(int argc, char** argv);
// Whether this program was started as a probe.
bool isProbe(int argc, char** argv);
