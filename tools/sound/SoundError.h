// The one error kcs-sound reports about a source: a place in the file and
// what is wrong there.
#pragma once

#include <stdexcept>
#include <string>

class SoundError : public std::runtime_error {
public:
    // line and column count from 1; 0 means the whole file.
    SoundError(const std::string& file, int line, int column, const std::string& what);

    const std::string& file() const { return m_file; }
    int line() const { return m_line; }
    int column() const { return m_column; }

private:
    std::string m_file;
    int m_line = 0;
    int m_column = 0;
};
