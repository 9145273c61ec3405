// kcs --character-report FILE: what a designer needs to know of a character
// before drawing levels for it (jump heights and lengths, speeds, the fall,
// the ladder, the recoil), measured by the game's own player code.
#pragma once

#include <string>

class FileRegistry;

// Prints the report on standard output, and with a plot path draws the jump
// arcs there as PNG; throws DataError for bad data.
int runCharacterReport(FileRegistry& files, const std::string& characterFile,
                       const std::string& plotPath);
