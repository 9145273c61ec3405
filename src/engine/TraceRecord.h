// One line of the trace: a JSON object filled member by member in the order
// the trace format gives. The record alone places the commas, quotes and
// brackets, so the screens and the player only name their fields.
#pragma once

#include <cstdint>
#include <string>

class TraceRecord {
public:
    // Members of the object. Strings are quoted and escaped.
    TraceRecord& add(const char* name, int32_t value) { return add(name, int64_t{value}); }
    TraceRecord& add(const char* name, int64_t value);
    TraceRecord& add(const char* name, bool value);
    TraceRecord& add(const char* name, const char* text);
    // An array member: the items up to endArray() are its elements.
    TraceRecord& beginArray(const char* name);

    // Elements of the array begun last; an unnamed beginArray() nests one.
    TraceRecord& item(int32_t value) { return add(nullptr, value); }
    TraceRecord& item(bool value) { return add(nullptr, value); }
    TraceRecord& item(const char* text) { return add(nullptr, text); }
    TraceRecord& beginArray() { return beginArray(nullptr); }
    TraceRecord& endArray() {
        m_text += ']';
        return *this;
    }

    // The object closed, without a newline.
    std::string line() const { return m_text + '}'; }

private:
    // The comma before a value unless it is the first of its object or
    // array, then the member's name when it has one.
    void startValue(const char* name);
    void appendQuoted(const char* text);

    std::string m_text = "{";
};
