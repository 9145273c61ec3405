// kcs --check: loads and validates everything reachable from
// "stageselect.ini" without playing, printing one line per problem.
#pragma once

class FileRegistry;

// Returns 0 when all is sound, 2 otherwise.
int runDataCheck(FileRegistry& files, bool strict);
