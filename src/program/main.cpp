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
    // A run that ended well can still fail to hand over its output.
    if (!closeStandardOutput("kcs") && status == 0) {
        status = 2;
    }
    endProcess(status);
}
