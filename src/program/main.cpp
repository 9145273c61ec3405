// The kcs program.
#include "engine/Files.h"
#include "program/Game.h"

int main(int argc, char** argv) {
    int status = runKcs(argc, argv);
    // A run that ended well can still fail to hand over its output.
    if (!closeStandardOutput("kcs") && status == 0) {
        return 2;
    }
    return status;
}
