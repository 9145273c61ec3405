// The one reader of the game's INI files: read whole at construction, then
// queried by key and section with a default. Read-only afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class FileRegistry;
class IniAudit;

class IniDictionary {
public:
    // Reads and parses the whole file through the run's registry, under its
    // audit if one is in effect; throws DataError naming the file when it
    // cannot be opened or read.
    IniDictionary(FileRegistry& files, const std::string& fileName);

    // Parses text already in memory; name is used only in messages.
    static IniDictionary fromText(const std::string& text, const std::string& name = "");

    // The key comes first and the section second, as in every loader.
    std::string getString(const std::string& key, const std::string& section,
                          const std::string& defaultValue) const;
    // Digits beyond the 32-bit range saturate at its ends.
    int32_t getInt(const std::string& key, const std::string& section, int32_t defaultValue) const;
    // The same number, or a DataError in the one form every range refusal
    // takes: "FILE: [section] key is VALUE; give MIN to MAX". A missing key
    // gives the default, which the caller keeps within the range.
    int32_t getInt(const std::string& key, const std::string& section, int32_t defaultValue,
                   int32_t min, int32_t max) const;
    bool hasKey(const std::string& key, const std::string& section) const;
    bool hasSection(const std::string& section) const;
    // Names in byte order, for files whose keys are open-ended.
    std::vector<std::string> sectionNames() const;
    std::vector<std::string> keyNames(const std::string& section) const;
    // Any key of the section is as the file's author chose (font glyphs):
    // kcs --check does not look for slips in its names.
    void acceptAnyKeyIn(const std::string& section) const;

private:
    IniDictionary() = default;
    void parse(const std::string& text);
    const std::string* find(const std::string& key, const std::string& section) const;

    // The audit in effect for a file read through a registry; text parsed in
    // memory is not audited.
    IniAudit* audit() const;

    std::string m_fileName;           // for messages
    FileRegistry* m_pFiles = nullptr; // none for text parsed in memory
    std::map<std::string, std::map<std::string, std::string>> m_sections;
};

class DataError;

// For a file named by an INI key that failed to load: a file the key names
// answers for itself (rethrows error), but when the key is missing or empty
// the error would hide which INI file is at fault, so it then names iniName,
// the section and the key.
[[noreturn]] void rethrowForKey(const DataError& error, const IniDictionary& file,
                                const std::string& iniName, const std::string& section,
                                const std::string& key);

// The integer conversion of stored value texts: leading white space, an
// optional sign, digits up to the first non-digit; no digits give 0. A
// number beyond the 32-bit range gives the nearest end and sets *pSaturated.
int32_t parseIniInt(const std::string& text, bool* pSaturated = nullptr);
// Digits with an optional sign and white space around them, as a designer
// writes a number; a value beyond the 32-bit range is one too.
bool isWholeIniNumber(const std::string& text);
