// The one error type for bad data and unusable files: the loader that finds a
// problem throws it with the file's name, and main prints it as one line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

class DataError : public std::runtime_error {
public:
    DataError(const std::string& file, const std::string& what)
        : std::runtime_error(file + ": " + what), m_file(file) {}

    const std::string& file() const { return m_file; }

private:
    std::string m_file;
};

// SDL cannot start or the window cannot open: not a data problem, but it ends
// the program the same way, with one line and status 2.
class StartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A piece of the input as a message quotes it: whole when short, otherwise
// its start, so a line of megabytes never becomes a message of megabytes.
inline std::string excerpt(std::string_view text) {
    constexpr size_t MAX_QUOTED = 40;
    if (text.size() <= MAX_QUOTED) {
        return std::string(text);
    }
    return std::string(text.substr(0, MAX_QUOTED - 3)) + "...";
}
