// Formats a sound error as "file:line:column: what", the shape editors jump to.
#include "SoundError.h"

namespace {

std::string placeOf(const std::string& file, int line, int column) {
    if (line <= 0) {
        return file;
    }
    return file + ":" + std::to_string(line) + ":" + std::to_string(column);
}

} // namespace

SoundError::SoundError(const std::string& file, int line, int column, const std::string& what)
    : std::runtime_error(placeOf(file, line, column) + ": " + what), m_file(file), m_line(line),
      m_column(column) {}
