#include "config/TextLines.h"

namespace {

constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

} // namespace

TextLines::TextLines(std::string_view text) : m_text(text) {
    if (m_text.starts_with(UTF8_BOM)) {
        m_position = UTF8_BOM.size();
    }
}

bool TextLines::next(std::string& line) {
    if (m_position >= m_text.size()) {
        return false;
    }
    size_t end = m_text.find_first_of("\r\n", m_position);
    if (end == std::string_view::npos) {
        end = m_text.size();
    }
    line.assign(m_text.substr(m_position, end - m_position));
    m_position = end + 1;
    if (end < m_text.size() && m_text[end] == '\r' && m_position < m_text.size() &&
        m_text[m_position] == '\n') {
        ++m_position;
    }
    ++m_number;
    return true;
}
