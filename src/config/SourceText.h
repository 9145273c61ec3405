// What the text-source tools (kcs-art, kcs-sound) share: the error that names
// a place in a source, and a line split into words that keep their columns.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

class SourceError : public std::runtime_error {
public:
    // line and column count from 1; 0 means the whole file. The message
    // reads "file:line:column: what", the shape editors jump to.
    SourceError(const std::string& file, int line, int column, const std::string& what);

    const std::string& file() const { return m_file; }
    int line() const { return m_line; }
    int column() const { return m_column; }

private:
    std::string m_file;
    int m_line = 0;
    int m_column = 0;
};

struct SourceWord {
    std::string text;
    int column = 0; // 1-based column of the word's first character
};

// The words of a line, split at blanks and tabs.
std::vector<SourceWord> splitWords(const std::string& line);
