// Reading the sound files "sounds.ini" and "levels.ini" name, for the
// engine's Audio, which plays them.
#pragma once

#include "engine/Audio.h"

#include <optional>
#include <string>

class IniDictionary;

// Reads "sounds.ini" into `list`, which stays as the file's name alone when
// the data has no such file: the reader Audio is built with. Throws
// DataError naming the file when it cannot be read.
void readSoundsFile(FileRegistry& files, SoundList& list);
// The sound file `key` of `section` names in `file`, called `iniName` in
// messages.
SoundSource soundNamedBy(const IniDictionary& file, const std::string& iniName,
                         const std::string& section, const std::string& key);
// The music "levels.ini" names for a level, if any.
std::optional<SoundSource> levelMusic(const IniDictionary& levels, const std::string& levelName);
