// Reading kcs traces in tests: the JSON lines of a run's output and the raw
// text of one member of a line.
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

} // namespace testing_support
