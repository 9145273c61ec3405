#include "config/IniAudit.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"

#include <algorithm>
#include <cctype>

namespace {

IniAudit* gpAudit = nullptr;

std::string lower(const std::string& text) {
    std::string result = text;
    for (char& c : result) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

// Edits between two names, letter case aside.
size_t distance(const std::string& a, const std::string& b) {
    std::string x = lower(a);
    std::string y = lower(b);
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

// The closest of the names, if it is close enough to be a slip.
std::string nearest(const std::string& name, const std::set<std::string>& names) {
    std::string best;
    size_t bestDistance = std::max<size_t>(2, name.size() / 3) + 1;
    for (const std::string& candidate : names) {
        size_t d = distance(name, candidate);
        if (d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace

IniAudit::IniAudit() : m_pOuter(gpAudit) {
    gpAudit = this;
}

IniAudit::~IniAudit() {
    gpAudit = m_pOuter;
}

IniAudit* IniAudit::active() {
    return gpAudit;
}

void IniAudit::noteKey(const std::string& file, const std::string& section,
                       const std::string& key) {
    m_files[file].present[section].insert(key);
}

void IniAudit::noteAsked(const std::string& file, const std::string& section,
                         const std::string& key) {
    m_files[file].asked[section].insert(key);
}

void IniAudit::noteWholeSection(const std::string& file, const std::string& section) {
    m_files[file].wholeSections.insert(section);
}

void IniAudit::noteNotWhole(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& value) {
    m_files[file].notWhole[{section, key}] = value;
}

std::vector<std::string> IniAudit::warnings() const {
    std::vector<std::string> lines;
    for (const auto& [file, notes] : m_files) {
        std::set<std::string> askedSections;
        for (const auto& [section, keys] : notes.asked) {
            askedSections.insert(section);
        }
        askedSections.insert(notes.wholeSections.begin(), notes.wholeSections.end());
        for (const auto& [section, keys] : notes.present) {
            std::string where = file + ": [" + excerpt(section) + "]";
            if (askedSections.count(section) == 0) {
                std::string guess = nearest(section, askedSections);
                lines.push_back(where + " is not a section the game reads; " +
                                (guess.empty() ? "remove it or check its name"
                                               : "did you mean [" + guess + "]?"));
                continue;
            }
            if (notes.wholeSections.count(section) != 0) {
                continue;
            }
            const std::set<std::string>& asked = notes.asked.at(section);
            for (const std::string& key : keys) {
                if (asked.count(key) != 0) {
                    continue;
                }
                std::string guess = nearest(key, asked);
                lines.push_back(where + " " + excerpt(key) + " is not a key the game reads here; " +
                                (guess.empty() ? "remove it or check its name"
                                               : "did you mean " + guess + "?"));
            }
        }
        for (const auto& [place, value] : notes.notWhole) {
            std::string where = file + ": [" + excerpt(place.first) + "] " + excerpt(place.second);
            std::string read = "; the game reads it as " + std::to_string(parseIniInt(value));
            lines.push_back(isWholeIniNumber(value)
                                ? where + " " + excerpt(value) + " is beyond the 32-bit range" +
                                      read + "; use -2147483648 to 2147483647"
                                : where + " is \"" + excerpt(value) + "\", not a whole number" +
                                      read + "; write digits only");
        }
    }
    return lines;
}
