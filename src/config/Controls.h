// Reading the bindings of "controls.ini" into the engine's Controls.
#pragma once

#include "engine/GameInput.h"

#include <string>

class FileRegistry;

// "controls.ini" when the data has one, the defaults otherwise. Throws
// DataError naming the file, section and key for anything unknown.
Controls loadControls(FileRegistry& files, const std::string& fileName);
