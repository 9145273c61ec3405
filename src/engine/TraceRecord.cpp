// The JSON text of a trace line: separators, quoting and escaping.
#include "engine/TraceRecord.h"

#include "engine/Format.h"

namespace {
// Below this a character is a control character, written as \u00XX.
constexpr unsigned char FIRST_PRINTABLE = 0x20;
} // namespace

TraceRecord& TraceRecord::add(const char* name, int64_t value) {
    startValue(name);
    m_text += std::to_string(value);
    return *this;
}

TraceRecord& TraceRecord::add(const char* name, bool value) {
    startValue(name);
    m_text += value ? "true" : "false";
    return *this;
}

TraceRecord& TraceRecord::add(const char* name, const char* text) {
    startValue(name);
    appendQuoted(text);
    return *this;
}

TraceRecord& TraceRecord::beginArray(const char* name) {
    startValue(name);
    m_text += '[';
    return *this;
}

void TraceRecord::startValue(const char* name) {
    // Only an opening bracket ends the text before a first value: every
    // value, a string included, ends in something else.
    char last = m_text.back();
    if (last != '{' && last != '[') {
        m_text += ',';
    }
    if (name != nullptr) {
        appendQuoted(name);
        m_text += ':';
    }
}

void TraceRecord::appendQuoted(const char* text) {
    m_text += '"';
    for (const char* p = text; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            m_text += '\\';
            m_text += *p;
        } else if (c < FIRST_PRINTABLE) {
            m_text += format("\\u%04x", static_cast<unsigned>(c));
        } else {
            m_text += *p;
        }
    }
    m_text += '"';
}
