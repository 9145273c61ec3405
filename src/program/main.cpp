// The kcs program.
#include "engine/Audio.h"
#include "engine/Files.h"
#include "program/Game.h"

int main(int argc, char** argv) {
    // Nothing runs after the game here, so a sound device may be left to the
    // exit rather than closed.
    LoopHooks hooks;
    hooks.processEnds = true;
    int status = runKcs(argc, argv, hooks);
    // A run that failed has said why in one line, a failed write to standard
    // output included; standard output's failure at the exit would be a
    // second line about the same run. A run that ended well can still fail
    // to hand over its output.
    if (status == 0 && !closeStandardOutput("kcs")) {
        status = 2;
    }
    endProcess(status);
}
