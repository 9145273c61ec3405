#include "config/SourceText.h"

#include "engine/DataError.h"

namespace {

std::string placeOf(const std::string& file, int line, int column) {
    std::string shown = excerpt(file, MAX_QUOTED_PATH);
    if (line <= 0) {
        return shown;
    }
    return shown + ":" + std::to_string(line) + ":" + std::to_string(column);
}

} // namespace

SourceError::SourceError(const std::string& file, int line, int column, const std::string& what)
    : std::runtime_error(placeOf(file, line, column) + ": " + oneLine(what)), m_file(file),
      m_line(line), m_column(column) {}

std::vector<SourceWord> splitWords(const std::string& line) {
    std::vector<SourceWord> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back({line.substr(start, i - start), static_cast<int>(start) + 1});
        }
    }
    return words;
}
