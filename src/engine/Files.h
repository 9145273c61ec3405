// The one way the programs read and write the files they are given. A file
// that is not what it seems (a directory, a FIFO, a device, an endless or
// enormous file, a bitmap that declares a huge picture) is refused with a
// DataError that names it and gives the reason, before anything blocks or
// allocates. Outputs never damage what is at their path: they are refused
// when they are one of the inputs or something other than a regular file,
// and every write, flush and close is checked.
#pragma once

#include "engine/LargeBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

// What one kind of file may sensibly hold.
struct FileLimit {
    const char* kind; // "an INI file"
    size_t maxBytes;
};

inline constexpr FileLimit INI_FILE{"an INI file", size_t{1} << 20};
inline constexpr FileLimit REPLAY_FILE{"a replay", size_t{64} << 20};
inline constexpr FileLimit TEXT_SOURCE_FILE{"a source text", size_t{16} << 20};
// A Tiled map of the largest game map is a few MiB even as XML per tile;
// parsed JSON takes many times its size in memory.
inline constexpr FileLimit TILED_FILE{"a Tiled file", size_t{8} << 20};
// A bitmap's header is checked against these before any picture is made:
// SDL would otherwise allocate whatever the header declares.
inline constexpr int MAX_BITMAP_SIDE = 8192;                    // px
inline constexpr int64_t MAX_BITMAP_PIXELS = int64_t{16} << 20; // 4096 x 4096
inline constexpr FileLimit BITMAP_FILE{"a bitmap", (size_t{64} << 20) + 4096};

class FileRegistry;
class IniAudit; // the configuration layer's; only held here
class ReadLog;

// The whole file, or a DataError naming it: not a regular file, larger than
// the limit, unreadable, or named as an output of this run.
std::string readFile(FileRegistry& files, const std::string& path, const FileLimit& limit);
std::vector<uint8_t> readFileBytes(FileRegistry& files, const std::string& path,
                                   const FileLimit& limit);
// The same, for files of megabytes (music): see LargeBuffer.h.
LargeText readLargeFile(FileRegistry& files, const std::string& path, const FileLimit& limit);

// Empty when a BMP's header declares a picture within the limits above;
// otherwise the reason. Files too short to hold a header are left to SDL.
std::string bitmapHeaderProblem(std::string_view bytes);

// The device and inode of an existing file; none when it does not exist.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> identityOf(const std::string& path);

// What one run knows of its files: its inputs and outputs, whether standard
// output carries a stream, and the read log and INI audit in effect. The
// run owns it (the game reaches it through its engine; a tool's main holds
// it) and hands it to what reads and writes, so two runs in one process
// never see each other's files.
class FileRegistry {
public:
    FileRegistry() = default;
    FileRegistry(const FileRegistry&) = delete;
    FileRegistry& operator=(const FileRegistry&) = delete;

    // Every file readFile has read is an input of this run, and so is each
    // file given here: one this program names but leaves for others to read
    // (a tile sheet an exported map refers to) or reads later (the game's
    // data files). Inputs are known by device and inode, so no link or path
    // spelling hides one.
    void noteInput(const std::string& path);
    void noteInput(const FileIdentity& identity, const std::string& path);
    // A DataError when the file is an input, for an output `option` would
    // write at path.
    void refuseIfInput(const std::string& path, const std::string& option,
                       const FileIdentity& identity) const;
    // From now on readFile refuses to read this file: it is being written.
    void markAsOutput(const std::string& path, const std::string& option);
    // A DataError when the file is an output of this run, read at path.
    void refuseIfOutput(const std::string& path, const FileIdentity& identity) const;

    // A stream now writes to standard output.
    void takeStandardOutput() { m_standardOutputTaken = true; }
    // Where the program's notes (a map loaded, a screenshot saved) go:
    // standard output, or standard error once a stream writes to standard
    // output, so that stream stays whole.
    std::FILE* notesStream() const;

    // Notes a path as readFile does, for a file taken from what was read
    // before.
    void noteRead(const std::string& path);
    // The innermost read log and INI audit, or null; set by their
    // constructors and put back by their destructors.
    ReadLog* readLog() const { return m_pReadLog; }
    void setReadLog(ReadLog* pLog) { m_pReadLog = pLog; }
    IniAudit* audit() const { return m_pAudit; }
    void setAudit(IniAudit* pAudit) { m_pAudit = pAudit; }

private:
    struct Output {
        FileIdentity identity;
        std::string option;
    };
    std::vector<Output> m_outputs;
    // Each input once, by identity, with the name it was first met by.
    std::map<std::pair<dev_t, ino_t>, std::string> m_inputs;
    bool m_standardOutputTaken = false;
    ReadLog* m_pReadLog = nullptr;
    IniAudit* m_pAudit = nullptr;
};

// Where an output at `path` is written: the path itself, or for a file
// replaced by renaming (`replaced`) the file its symbolic links lead to.
// Refuses with a DataError a directory, an input of this run, and for a
// replaced file anything but a regular file.
std::string outputTarget(const FileRegistry& files, const std::string& path,
                         const std::string& option, bool replaced);
// Refuses an output that is the same file as the input.
void refuseSameFile(const std::string& output, const std::string& option, const std::string& input);

// A file written beside its target and renamed over it only when whole, so
// an interrupted or failed write leaves the old file and no temporary: a stop
// signal that ends the program before the destructor runs removes it too.
class TemporaryFile {
public:
    TemporaryFile(const FileRegistry& files, const std::string& path, const std::string& option);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return m_temporary; }
    // Renames the finished temporary over the target.
    void commit();

private:
    // No longer for a stop signal to remove.
    void forget();

    std::string m_target;
    std::string m_option;
    std::string m_temporary;
    bool m_committed = false;
};

// Writes the bytes to `path` through a TemporaryFile.
void writeFileWhole(const FileRegistry& files, const std::string& path, std::string_view bytes,
                    const std::string& option);

// A file written as the program runs (a trace, a recording, standard output).
// An existing file is emptied only once it is known not to be an input.
// Every write is flushed and checked; a failure throws a DataError naming it.
class OutputStream {
public:
    OutputStream() = default;
    // "-" is standard output.
    OutputStream(FileRegistry& files, const std::string& path, const std::string& option);
    ~OutputStream();
    OutputStream(OutputStream&& other) noexcept;
    OutputStream& operator=(OutputStream&& other) noexcept;

    bool isOpen() const { return m_pFile != nullptr; }
    void write(std::string_view text);
    // Closes and checks; the destructor closes without checking.
    void close();

private:
    std::FILE* m_pFile = nullptr;
    std::string m_path;
    std::string m_option;
};

// Standard output written by printf and puts: flushed and checked (at the
// end of a run), and closed and checked (at the end of the program). Each
// returns false and prints one line when something could not be written.
bool flushStandardOutput(const char* program);
bool closeStandardOutput(const char* program);

// While a ReadLog lives, readFile notes every path it is asked for (found or
// not) in the registry's files, so a level knows the files it was built from.
class ReadLog {
public:
    explicit ReadLog(FileRegistry& files);
    ~ReadLog();
    ReadLog(const ReadLog&) = delete;
    ReadLog& operator=(const ReadLog&) = delete;
    const std::vector<std::string>& paths() const { return m_paths; }
    void note(const std::string& path);

private:
    FileRegistry& m_files;
    std::vector<std::string> m_paths;
    ReadLog* m_pOuter;
};

// What a file looked like when it was last seen, to tell when it changed.
struct FileStamp {
    std::string path;
    int64_t modified = -1; // ns since the epoch; -1 when it does not exist
    int64_t size = -1;
    bool operator==(const FileStamp&) const = default;
};
std::vector<FileStamp> stampsOf(const std::vector<std::string>& paths);

// SIGINT and SIGTERM raise a flag: loads stop at their next read, play at the
// end of the frame, and the program then ends as killed by that signal. What
// does not come back to look at the flag within a second (a library call that
// loops), or a second signal, ends it at once, temporaries removed.
class Interrupted : public std::runtime_error {
public:
    explicit Interrupted(int signal);
    int signal() const { return m_signal; }

private:
    int m_signal;
};
void catchStopSignals();
// The stop signal that has come, or 0.
int stopSignal();
// Throws Interrupted when a stop signal has come.
void throwIfStopped();
// Ends the program as the stop signal would have: call once everything
// that must be closed is closed.
[[noreturn]] void endBySignal(int signal);
