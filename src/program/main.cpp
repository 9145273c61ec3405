// The kcs program.
#include "engine/Files.h"
#include "program/Game.h"

int main(int argc, char** argv) {
    int status = runKcs(argc, argv);
    // A run that failed has said why in one line, a failed write to standard
    // output included; standard output's failure at the exit would be a
    // second line about the same run. A run that ended well can still fail
    // to hand over its output.
    if (status != 0) {
        return status;
    }
    return closeStandardOutput("kcs") ? 0 : 2;
}
