// The kcs program.
#include "engine/Game.h"

int main(int argc, char** argv) { return runKcs(argc, argv); }
