// The program: command line, start-up, the frame loop and teardown.
#pragma once

// Returns the process exit status: 0 after a normal end, 1 when presenting a
// frame failed, 2 for a bad command line or bad data.
int runKcs(int argc, const char* const* argv);
