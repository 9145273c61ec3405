// A small reader for the flat JSON lines kcs writes.
#include "support/Trace.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace testing_support {

std::vector<std::string> traceLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream stream(output);
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.front() == '{') {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string traceField(const std::string& line, const std::string& name) {
    std::string key = "\"" + name + "\":";
    size_t start = line.find(key);
    if (start == std::string::npos) {
        return "";
    }
    start += key.size();
    int depth = 0;
    bool inString = false;
    size_t end = start;
    // The value ends at the comma or the closing bracket of its own level.
    for (; end < line.size(); ++end) {
        char c = line[end];
        bool closing = c == ']' || c == '}';
        if (inString || c == '"') {
            inString = !inString || c != '"';
        } else if ((closing || c == ',') && depth == 0) {
            break;
        } else if (closing || c == '[' || c == '{') {
            depth += closing ? -1 : 1;
        }
    }
    return line.substr(start, end - start);
}

std::string traceText(const std::string& line, const std::string& name) {
    std::string value = traceField(line, name);
    bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    return quoted ? value.substr(1, value.size() - 2) : value;
}

long long traceInt(const std::string& line, const std::string& name) {
    return std::strtoll(traceField(line, name).c_str(), nullptr, 10);
}

std::string wholeFramesProblem(const std::string& trace) {
    if (!trace.empty() && trace.back() != '\n') {
        return "the trace ends inside a line";
    }
    std::istringstream stream(trace);
    long long frame = 0;
    for (std::string line; std::getline(stream, line); ++frame) {
        std::string where = "trace line " + std::to_string(frame);
        if (line.size() < 2 || line.front() != '{' || line.back() != '}') {
            return where + " is not a whole JSON object: " + line;
        }
        if (line.rfind("{\"frame\":" + std::to_string(frame) + ",", 0) != 0) {
            return where + " is not that frame's: " + line;
        }
        if (traceField(line, "screen").empty()) {
            return where + " has no screen: " + line;
        }
    }
    return "";
}

const std::string& Trace::line(size_t frame) const {
    static const std::string none;
    return frame < m_lines.size() ? m_lines[frame] : none;
}

std::vector<long long> Trace::numbers(size_t frame, const std::string& name) const {
    std::string raw = traceField(line(frame), name);
    std::replace_if(
        raw.begin(), raw.end(), [](char c) { return c == '[' || c == ']' || c == ','; }, ' ');
    std::istringstream stream(raw);
    return {std::istream_iterator<long long>(stream), std::istream_iterator<long long>()};
}

} // namespace testing_support
