// Reading a song from the text format of docs/sound-format.md: the tempo,
// the voices, and the channels with their notes.
#pragma once

#include "Song.h"

#include <string>

class FileRegistry;

// Parses a source text; fileName is used only in error messages. Throws
// SourceError with the line and column of the first problem.
Song parseSong(const std::string& text, const std::string& fileName);
// Reads and parses a file; throws DataError when it cannot be read.
Song loadSong(FileRegistry& files, const std::string& fileName);
