// kcs --check's audit of the INI files: while an IniAudit lives, every file
// read through its registry notes its sections and keys, which of them the loaders asked for, and
// the values they read as numbers that are not whole numbers. The known names
// are therefore the ones the game's own loaders ask for, with no second list
// to keep in step. Keys no loader asked for are reported with the nearest
// name that was asked for, for as many as a check can compare in a moment.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

class FileRegistry;

class IniAudit {
public:
    // In effect for the files read through `files` until it is destroyed.
    explicit IniAudit(FileRegistry& files);
    ~IniAudit();
    IniAudit(const IniAudit&) = delete;
    IniAudit& operator=(const IniAudit&) = delete;

    void noteKey(const std::string& file, const std::string& section, const std::string& key);
    void noteAsked(const std::string& file, const std::string& section, const std::string& key);
    // Every key of the section is the file's own to choose (font glyphs,
    // key bindings).
    void noteWholeSection(const std::string& file, const std::string& section);
    // A value read as a number that is not a whole number, or is beyond
    // the 32-bit range.
    void noteNotWhole(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value);

    // One line each: file, section and key, what is wrong, what to do.
    std::vector<std::string> warnings() const;

private:
    struct FileNotes {
        std::map<std::string, std::set<std::string>> present; // section -> keys
        std::map<std::string, std::set<std::string>> asked;
        std::set<std::string> wholeSections;
        std::map<std::pair<std::string, std::string>, std::string> notWhole;
    };
    std::map<std::string, FileNotes> m_files;
    FileRegistry& m_registry;
    IniAudit* m_pOuter;
};
