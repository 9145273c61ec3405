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
// Control characters become '?', so the message stays one line.
inline std::string excerpt(std::string_view text) {
    constexpr size_t MAX_QUOTED = 40;
    size_t length = text.size();
    if (length > MAX_QUOTED) {
        length = MAX_QUOTED - 3;
        // Not inside a UTF-8 character.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::string shown(text.substr(0, length));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return length < text.size() ? shown + "..." : shown;
}
