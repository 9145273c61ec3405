// Reading kcs traces: the JSON lines of a run's output, the raw text of one
// member of a line, a run's lines by frame, and the judgement that a trace
// holds whole frames only. The bad-data matrix compiles this file too, so
// it depends on neither gtest nor the engine.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The lines of the output that are JSON objects (the game's log lines are not).
std::vector<std::string> traceLines(const std::string& output);

// The raw value text of a top-level member ("true", "12", "\"Running\"",
// "[1,2]"); empty when the member is missing.
std::string traceField(const std::string& line, const std::string& name);

// The member's text, without the quotes of a JSON string.
std::string traceText(const std::string& line, const std::string& name);

// The member as an integer (0 when missing or not a number).
long long traceInt(const std::string& line, const std::string& name);

// What keeps a trace file from being whole frames only, or "" when it is:
// each line one JSON object with its screen's members, numbered from frame
// 0 without a gap, the last line ended. An empty trace has no frame to cut.
std::string wholeFramesProblem(const std::string& trace);

// A run's trace lines by frame; a frame past the end reads as an empty line.
class Trace {
public:
    explicit Trace(const std::string& output) : m_lines(traceLines(output)) {}

    size_t frames() const { return m_lines.size(); }
    const std::vector<std::string>& lines() const { return m_lines; }
    const std::string& line(size_t frame) const;
    std::string text(size_t frame, const std::string& name) const {
        return traceText(line(frame), name);
    }
    long long number(size_t frame, const std::string& name) const {
        return traceInt(line(frame), name);
    }
    // The integers of an array member such as "camera" or "box".
    std::vector<long long> numbers(size_t frame, const std::string& name) const;

private:
    std::vector<std::string> m_lines;
};

} // namespace testing_support
