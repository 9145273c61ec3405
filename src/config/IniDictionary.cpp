// INI parsing: comments start at column 0 with ';', only spaces are trimmed,
// the first value of a repeated key wins and repeated sections merge.
#include "config/IniDictionary.h"

#include "config/IniAudit.h"
#include "config/TextLines.h"

#include "engine/DataError.h"
#include "engine/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

void trimSpaces(std::string& text) {
    size_t end = text.find_last_not_of(' ');
    if (end == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(end + 1);
    text.erase(0, text.find_first_not_of(' '));
}

bool isIniWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

bool isWholeIniNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && isIniWhiteSpace(text[i])) {
        ++i;
    }
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    while (i < text.size() && isIniWhiteSpace(text[i])) {
        ++i;
    }
    return digits > 0 && i == text.size();
}

IniDictionary::IniDictionary(FileRegistry& files, const std::string& fileName)
    : m_fileName(fileName), m_pFiles(&files) {
    parse(readFile(files, fileName, INI_FILE));
    if (IniAudit* pAudit = audit()) {
        for (const auto& [section, keys] : m_sections) {
            for (const auto& [key, value] : keys) {
                pAudit->noteKey(m_fileName, section, key);
            }
        }
    }
}

IniDictionary IniDictionary::fromText(const std::string& text, const std::string& name) {
    IniDictionary dictionary;
    dictionary.m_fileName = name;
    dictionary.parse(text);
    return dictionary;
}

IniAudit* IniDictionary::audit() const {
    return m_pFiles == nullptr ? nullptr : m_pFiles->audit();
}

void IniDictionary::parse(const std::string& text) {
    std::string section;
    TextLines lines(text);
    std::string line;
    while (lines.next(line)) {
        if (line.empty() || line[0] == ';') {
            continue;
        }
        trimSpaces(line);
        if (line.empty()) {
            continue;
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            m_sections[section];
            continue;
        }
        // A line without "=" becomes an entry whose key and value are both
        // the whole line, as splitting at a missing "=" gives.
        size_t equals = line.find('=');
        std::string key = equals == std::string::npos ? line : line.substr(0, equals);
        std::string value = equals == std::string::npos ? line : line.substr(equals + 1);
        trimSpaces(key);
        trimSpaces(value);
        m_sections[section].emplace(std::move(key), std::move(value));
    }
}

const std::string* IniDictionary::find(const std::string& key, const std::string& section) const {
    if (IniAudit* pAudit = audit()) {
        pAudit->noteAsked(m_fileName, section, key);
    }
    auto sectionIt = m_sections.find(section);
    if (sectionIt == m_sections.end()) {
        return nullptr;
    }
    auto keyIt = sectionIt->second.find(key);
    return keyIt == sectionIt->second.end() ? nullptr : &keyIt->second;
}

std::string IniDictionary::getString(const std::string& key, const std::string& section,
                                     const std::string& defaultValue) const {
    const std::string* pValue = find(key, section);
    return pValue == nullptr ? defaultValue : *pValue;
}

int32_t IniDictionary::getInt(const std::string& key, const std::string& section,
                              int32_t defaultValue) const {
    const std::string* pValue = find(key, section);
    if (pValue == nullptr) {
        return defaultValue;
    }
    bool saturated = false;
    int32_t value = parseIniInt(*pValue, &saturated);
    if (IniAudit* pAudit = audit();
        pAudit != nullptr && (saturated || !isWholeIniNumber(*pValue))) {
        pAudit->noteNotWhole(m_fileName, section, key, *pValue);
    }
    return value;
}

int32_t IniDictionary::getInt(const std::string& key, const std::string& section,
                              int32_t defaultValue, int32_t min, int32_t max) const {
    int32_t value = getInt(key, section, defaultValue);
    if (value < min || value > max) {
        // As written, so a number beyond the 32-bit range is shown as given.
        const std::string* pWritten = find(key, section);
        std::string shown = pWritten == nullptr           ? "is not given"
                            : isWholeIniNumber(*pWritten) ? "is " + excerpt(*pWritten)
                                                          : "is " + std::to_string(value);
        std::string range = max == std::numeric_limits<int32_t>::max()
                                ? std::to_string(min) + " or more"
                                : std::to_string(min) + " to " + std::to_string(max);
        throw DataError(m_fileName, "[" + excerpt(section) + "] " + excerpt(key) + " " + shown +
                                        "; give " + range);
    }
    return value;
}

bool IniDictionary::hasKey(const std::string& key, const std::string& section) const {
    return find(key, section) != nullptr;
}

void IniDictionary::acceptAnyKeyIn(const std::string& section) const {
    if (IniAudit* pAudit = audit()) {
        pAudit->noteWholeSection(m_fileName, section);
    }
}

bool IniDictionary::hasSection(const std::string& section) const {
    if (IniAudit* pAudit = audit()) {
        pAudit->noteAsked(m_fileName, section, "");
    }
    return m_sections.contains(section);
}

std::vector<std::string> IniDictionary::sectionNames() const {
    std::vector<std::string> names;
    for (const auto& [name, entries] : m_sections) {
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> IniDictionary::keyNames(const std::string& section) const {
    // A caller that walks the keys checks each name itself.
    acceptAnyKeyIn(section);
    std::vector<std::string> names;
    auto sectionIt = m_sections.find(section);
    if (sectionIt != m_sections.end()) {
        for (const auto& [key, value] : sectionIt->second) {
            names.push_back(key);
        }
    }
    return names;
}

void rethrowForKey(const DataError& error, const IniDictionary& file, const std::string& iniName,
                   const std::string& section, const std::string& key) {
    if (file.hasKey(key, section)) {
        // An empty value has no file of its own to name.
        if (!error.file().empty()) {
            throw error;
        }
        throw DataError(iniName, "[" + excerpt(section) + "] " + excerpt(key) +
                                     " is empty; give a file name");
    }
    throw DataError(iniName, "[" + excerpt(section) + "] " + excerpt(key) +
                                 " is not given, and the default \"empty\" cannot be loaded (" +
                                 error.what() + ")");
}

int32_t parseIniInt(const std::string& text, bool* pSaturated) {
    size_t i = 0;
    while (i < text.size() && isIniWhiteSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated as a magnitude that stops growing past the 32-bit range.
    constexpr int64_t LIMIT = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    bool beyond = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > LIMIT) {
            magnitude = LIMIT;
            beyond = true;
        }
        ++i;
    }
    int64_t value = negative ? -magnitude : magnitude;
    int64_t kept = std::min<int64_t>(value, std::numeric_limits<int32_t>::max());
    if (pSaturated != nullptr) {
        *pSaturated = beyond || kept != value;
    }
    return static_cast<int32_t>(kept);
}
