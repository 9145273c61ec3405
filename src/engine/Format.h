// printf-style formatting into a std::string, for messages with numbers.
#pragma once

#include <cstdio>
#include <string>

inline std::string format(const char* pFormat, auto... arguments) {
    int length = std::snprintf(nullptr, 0, pFormat, arguments...);
    if (length <= 0) {
        return "";
    }
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, pFormat, arguments...);
    return text;
}
