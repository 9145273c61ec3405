#include "config/IniAudit.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <algorithm>
#include <cctype>

namespace {

// Names longer than this get no suggestion: the game reads none so long, and
// comparing costs the product of the lengths.
constexpr size_t MAX_SUGGESTED_LENGTH = 40;
// Unknown names that get a suggestion in one check; the rest are told to be
// removed or checked. Each suggestion compares the name with every name of
// its place the loaders asked for (at most a few thousand), so this keeps a
// file of 100,000 unknown keys to the time it takes to list them.
constexpr int MAX_SUGGESTIONS = 100;

// Edits between two names, letter case aside; any number above `limit` comes
// back as limit + 1. Only the cells within `limit` of the diagonal can hold
// a number within it, so only those are worked out.
size_t distance(const std::string& x, const std::string& y, size_t limit) {
    const size_t over = limit + 1;
    if ((x.size() > y.size() ? x.size() - y.size() : y.size() - x.size()) > limit) {
        return over;
    }
    auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    // Cells outside the band stay `over`.
    std::vector<size_t> row(y.size() + 1, over);
    for (size_t j = 0; j <= std::min(y.size(), limit); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t first = i > limit ? i - limit : 1;
        size_t last = std::min(y.size(), i + limit);
        size_t diagonal = row[first - 1];
        row[first - 1] = first == 1 ? std::min(i, over) : over;
        size_t smallest = row[first - 1];
        for (size_t j = first; j <= last; ++j) {
            size_t above = row[j];
            row[j] = std::min(
                {above + 1, row[j - 1] + 1, diagonal + (same(x[i - 1], y[j - 1]) ? 0 : 1), over});
            diagonal = above;
            smallest = std::min(smallest, row[j]);
        }
        if (smallest > limit) {
            return over;
        }
    }
    return row[y.size()];
}

// The closest of the names, if it is close enough to be a slip; the first
// such name in order when several are as close.
std::string nearest(const std::string& name, const std::set<std::string>& names) {
    std::string best;
    if (name.size() > MAX_SUGGESTED_LENGTH) {
        return best;
    }
    size_t bestDistance = std::max<size_t>(2, name.size() / 3) + 1;
    for (const std::string& candidate : names) {
        size_t d = distance(name, candidate, bestDistance - 1);
        if (d < bestDistance) {
            best = candidate;
            bestDistance = d;
            if (d == 0) {
                break;
            }
        }
    }
    return best;
}

// Suggestions while any are left.
std::string suggestion(const std::string& name, const std::set<std::string>& names, int& left) {
    if (left <= 0) {
        return "";
    }
    --left;
    return nearest(name, names);
}

} // namespace

IniAudit::IniAudit(FileRegistry& files) : m_registry(files), m_pOuter(files.audit()) {
    m_registry.setAudit(this);
}

IniAudit::~IniAudit() {
    m_registry.setAudit(m_pOuter);
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
    int suggestionsLeft = MAX_SUGGESTIONS;
    for (const auto& [file, notes] : m_files) {
        std::set<std::string> askedSections;
        for (const auto& [section, keys] : notes.asked) {
            askedSections.insert(section);
        }
        askedSections.insert(notes.wholeSections.begin(), notes.wholeSections.end());
        for (const auto& [section, keys] : notes.present) {
            std::string where = file + ": [" + excerpt(section) + "]";
            if (!askedSections.contains(section)) {
                std::string guess = suggestion(section, askedSections, suggestionsLeft);
                lines.push_back(where + " is not a section the game reads; " +
                                (guess.empty() ? "remove it or check its name"
                                               : "did you mean [" + guess + "]?"));
                continue;
            }
            if (notes.wholeSections.contains(section)) {
                continue;
            }
            const std::set<std::string>& asked = notes.asked.at(section);
            for (const std::string& key : keys) {
                if (asked.contains(key)) {
                    continue;
                }
                std::string guess = suggestion(key, asked, suggestionsLeft);
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
