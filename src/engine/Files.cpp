// Reading and writing files safely; see Files.h for the rules.
#include "engine/Files.h"

#include "engine/DataError.h"
#include "engine/LittleEndian.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <new>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t READ_CHUNK = 64 * 1024;
constexpr int MAX_SYMLINK_HOPS = 40;
// How long the orderly end of a stopped program may take before it is cut
// short: a frame, a teardown, a file's read are all far quicker. Half the
// promised second, so a program cut short still ends within it on a busy
// machine.
constexpr suseconds_t STOP_GRACE = 500000; // us
// Temporaries alive at once: a probe and a write at most; more are not
// removed by a signal, only by their destructors.
constexpr int MAX_LIVE_TEMPORARIES = 8;

// The process's, not a run's: a signal handler can reach nothing else. The
// stop signal that has come, or 0.
volatile std::sig_atomic_t gStopSignal = 0;

// Temporaries by name where a signal handler can reach them: fixed storage,
// a slot's name written before it is marked used. Process state too, for the
// same reason.
struct LiveTemporary {
    volatile std::sig_atomic_t used = 0;
    char path[PATH_MAX] = {};
};
LiveTemporary gLiveTemporaries[MAX_LIVE_TEMPORARIES];

void removeLiveTemporaries() {
    for (LiveTemporary& live : gLiveTemporaries) {
        if (live.used != 0) {
            ::unlink(live.path);
        }
    }
}

// Only async-signal-safe calls from here on.
[[noreturn]] void endNow(int signal) {
    removeLiveTemporaries();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, signal);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    raise(signal);
    _exit(128 + signal);
}

void onStopSignal(int signal) {
    if (gStopSignal != 0) {
        endNow(gStopSignal);
    }
    gStopSignal = signal;
    // setitimer is what alarm is made of, with a finer unit.
    struct itimerval grace {};
    grace.it_value.tv_usec = STOP_GRACE;
    setitimer(ITIMER_REAL, &grace, nullptr);
}

void onStopTimeout(int) {
    endNow(gStopSignal != 0 ? gStopSignal : SIGTERM);
}

FileIdentity identityIn(const struct stat& info) {
    return FileIdentity{info.st_dev, info.st_ino};
}

std::string reason() {
    return std::strerror(errno);
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

std::string describeSize(size_t bytes) {
    if (bytes % (size_t{1} << 20) == 0) {
        return std::to_string(bytes >> 20) + " MiB";
    }
    return std::to_string(bytes) + " bytes";
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string tooLarge(const FileLimit& limit) {
    return std::string("cannot read it: larger than the ") + describeSize(limit.maxBytes) + " " +
           limit.kind + " may hold";
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

void FileRegistry::noteInput(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        noteInput(identityIn(info), path);
    }
}

void FileRegistry::noteInput(const FileIdentity& identity, const std::string& path) {
    m_inputs.emplace(std::make_pair(identity.device, identity.inode), path);
}

void FileRegistry::refuseIfInput(const std::string& path, const std::string& option,
                                 const FileIdentity& identity) const {
    auto input = m_inputs.find(std::make_pair(identity.device, identity.inode));
    if (input != m_inputs.end()) {
        throw DataError(path, option + " would overwrite the input " +
                                  excerpt(input->second, MAX_QUOTED_PATH) +
                                  "; choose another file");
    }
}

void FileRegistry::markAsOutput(const std::string& path, const std::string& option) {
    if (std::optional<FileIdentity> identity = identityOf(path)) {
        m_outputs.push_back(Output{*identity, option});
    }
}

void FileRegistry::refuseIfOutput(const std::string& path, const FileIdentity& identity) const {
    for (const Output& output : m_outputs) {
        if (output.identity == identity) {
            throw DataError(path, "cannot read it: it is this run's " + output.option +
                                      " output; choose another file for it");
        }
    }
}

std::FILE* FileRegistry::notesStream() const {
    return m_standardOutputTaken ? stderr : stdout;
}

void FileRegistry::noteRead(const std::string& path) {
    if (m_pReadLog != nullptr) {
        m_pReadLog->note(path);
    }
}

namespace {

// The whole file into any string type, checked as readFile says.
template <class Text>
Text readWhole(FileRegistry& files, const std::string& path, const FileLimit& limit) {
    throwIfStopped();
    files.noteRead(path);
    // Asked before opening: opening a FIFO or a device can block or act.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw DataError(path, "cannot open it: " + reason());
    }
    if (!S_ISREG(info.st_mode)) {
        throw DataError(path, std::string("cannot read it: it is ") + kindOf(info.st_mode) +
                                  ", not a regular file");
    }
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        throwIfStopped();
        throw DataError(path, "cannot open it: " + reason());
    }
    // Asked again of what was opened, in case the path changed in between.
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw DataError(path, std::string("cannot read it: it is ") + kindOf(info.st_mode) +
                                  ", not a regular file");
    }
    files.refuseIfOutput(path, identityIn(info));
    files.noteInput(identityIn(info), path);
    if (static_cast<uint64_t>(info.st_size) > limit.maxBytes) {
        throw DataError(path, "cannot read it: it is " + std::to_string(info.st_size) +
                                  " bytes, more than the " + describeSize(limit.maxBytes) + " " +
                                  limit.kind + " may hold");
    }
    Text text;
    try {
        text.reserve(static_cast<size_t>(info.st_size));
        char buffer[READ_CHUNK];
        // A file can grow while it is read: the limit holds for what is read.
        while (true) {
            ssize_t count = ::read(file.get(), buffer, sizeof buffer);
            if (count < 0) {
                if (errno == EINTR) {
                    throwIfStopped();
                    continue;
                }
                throw DataError(path, "cannot read it: " + reason());
            }
            if (count == 0) {
                break;
            }
            if (text.size() + static_cast<size_t>(count) > limit.maxBytes) {
                throw DataError(path, tooLarge(limit));
            }
            text.append(buffer, static_cast<size_t>(count));
        }
    } catch (const std::bad_alloc&) {
        throw DataError(path, "cannot read it: not enough memory");
    }
    return text;
}

} // namespace

std::string readFile(FileRegistry& files, const std::string& path, const FileLimit& limit) {
    return readWhole<std::string>(files, path, limit);
}

LargeText readLargeFile(FileRegistry& files, const std::string& path, const FileLimit& limit) {
    return readWhole<LargeText>(files, path, limit);
}

std::vector<uint8_t> readFileBytes(FileRegistry& files, const std::string& path,
                                   const FileLimit& limit) {
    std::string text = readFile(files, path, limit);
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string bitmapHeaderProblem(std::string_view bytes) {
    constexpr size_t CORE_HEADER_END = 22; // file header and a 12-byte core header
    constexpr size_t INFO_HEADER_END = 26;
    if (bytes.size() < CORE_HEADER_END || bytes[0] != 'B' || bytes[1] != 'M') {
        return "";
    }
    int64_t width = 0;
    int64_t height = 0;
    if (littleEndian(bytes.data() + 14, 4) == 12) {
        width = littleEndian(bytes.data() + 18, 2);
        height = littleEndian(bytes.data() + 20, 2);
    } else if (bytes.size() >= INFO_HEADER_END) {
        width = static_cast<int32_t>(littleEndian(bytes.data() + 18, 4));
        height = static_cast<int32_t>(littleEndian(bytes.data() + 22, 4));
    }
    height = height < 0 ? -height : height; // negative: stored top row first
    if (width > MAX_BITMAP_SIDE || height > MAX_BITMAP_SIDE || width * height > MAX_BITMAP_PIXELS) {
        return "its header declares a picture of " + std::to_string(width) + " x " +
               std::to_string(height) + " px; a bitmap may be at most " +
               std::to_string(MAX_BITMAP_SIDE) + " px on a side and " +
               std::to_string(MAX_BITMAP_PIXELS) + " px in all";
    }
    return "";
}

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return identityIn(info);
}

std::string outputTarget(const FileRegistry& files, const std::string& path,
                         const std::string& option, bool replaced) {
    // What the path leads to, links followed as the system follows them.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            throw DataError(path, option + " cannot write it: it is a directory");
        }
        files.refuseIfInput(path, option, identityIn(info));
        if (replaced && !S_ISREG(info.st_mode)) {
            throw DataError(path, option + " will not replace it: it is " + kindOf(info.st_mode) +
                                      ", not a regular file");
        }
    }
    if (!replaced) {
        return path;
    }
    // A file replaced by renaming is renamed where the links lead, so the
    // links themselves stay as they are.
    std::string target = path;
    for (int hops = 0;; ++hops) {
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return target;
        }
        if (hops == MAX_SYMLINK_HOPS) {
            throw DataError(path, option + " cannot write it: too many levels of symbolic links");
        }
        std::vector<char> link(static_cast<size_t>(info.st_size) + 256);
        ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
        if (length <= 0) {
            throw DataError(path, option + " cannot write it: " + reason());
        }
        std::string next(link.data(), static_cast<size_t>(length));
        target = next.front() == '/' ? next : directoryOf(target) + "/" + next;
    }
}

void refuseSameFile(const std::string& output, const std::string& option,
                    const std::string& input) {
    std::optional<FileIdentity> written = identityOf(output);
    if (written && written == identityOf(input)) {
        throw DataError(output, option + " would overwrite the input " +
                                    excerpt(input, MAX_QUOTED_PATH) + "; choose another file");
    }
}

TemporaryFile::TemporaryFile(const FileRegistry& files, const std::string& path,
                             const std::string& option)
    : m_target(outputTarget(files, path, option, true)), m_option(option) {
    // A stopped program writes nothing more.
    throwIfStopped();
    // A short name of its own, so a target named up to the system's limit
    // still leaves room for it.
    std::string pattern = directoryOf(m_target) + "/.kcs-XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw DataError(path, option + " cannot write it: " + reason());
    }
    m_temporary = pattern;
    for (LiveTemporary& live : gLiveTemporaries) {
        if (live.used == 0 && m_temporary.size() < sizeof live.path) {
            std::memcpy(live.path, m_temporary.c_str(), m_temporary.size() + 1);
            // The name is whole before a handler can see the slot used.
            std::atomic_signal_fence(std::memory_order_release);
            live.used = 1;
            break;
        }
    }
    // mkstemp makes the file private; the result gets the mode a new file
    // would have, or the mode of the file it replaces.
    struct stat existing {};
    mode_t mode = 0;
    if (::stat(m_target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    ::close(fd);
}

TemporaryFile::~TemporaryFile() {
    if (!m_committed && !m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
    }
    forget();
}

void TemporaryFile::forget() {
    for (LiveTemporary& live : gLiveTemporaries) {
        if (live.used != 0 && m_temporary == live.path) {
            live.used = 0;
        }
    }
}

void TemporaryFile::commit() {
    throwIfStopped();
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        throw DataError(m_target, m_option + " cannot write it: " + reason());
    }
    m_committed = true;
    forget();
}

void writeFileWhole(const FileRegistry& files, const std::string& path, std::string_view bytes,
                    const std::string& option) {
    TemporaryFile temporary(files, path, option);
    std::FILE* pFile = std::fopen(temporary.path().c_str(), "wb");
    if (pFile == nullptr) {
        throw DataError(path, option + " cannot write it: " + reason());
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), pFile) == bytes.size() &&
                   std::fflush(pFile) == 0;
    int writeErrno = errno;
    if (std::fclose(pFile) != 0 && written) {
        written = false;
        writeErrno = errno;
    }
    if (!written) {
        throw DataError(path, option + " cannot write it: " + std::strerror(writeErrno));
    }
    temporary.commit();
}

OutputStream::OutputStream(FileRegistry& files, const std::string& path, const std::string& option)
    : m_path(path), m_option(option) {
    if (path == "-") {
        m_pFile = stdout;
        m_path = "standard output";
        files.takeStandardOutput();
        return;
    }
    outputTarget(files, path, option, false);
    // Without O_NONBLOCK, opening a FIFO that nobody reads waits forever.
    // Not emptied on opening: what was opened is checked first.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == ENXIO) {
            throw DataError(path, option + " cannot write it: no program is reading it");
        }
        throw DataError(path, option + " cannot write it: " + reason());
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        try {
            files.refuseIfInput(path, option, identityIn(info));
        } catch (const DataError&) {
            ::close(fd);
            throw;
        }
        if (::ftruncate(fd, 0) != 0) {
            int error = errno;
            ::close(fd);
            throw DataError(path, option + " cannot write it: " + std::strerror(error));
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_pFile = ::fdopen(fd, "wb");
    if (m_pFile == nullptr) {
        ::close(fd);
        throw DataError(path, option + " cannot write it: " + reason());
    }
    files.markAsOutput(path, option);
}

OutputStream::~OutputStream() {
    if (m_pFile != nullptr && m_pFile != stdout) {
        std::fclose(m_pFile);
    }
}

OutputStream::OutputStream(OutputStream&& other) noexcept
    : m_pFile(other.m_pFile), m_path(std::move(other.m_path)), m_option(std::move(other.m_option)) {
    other.m_pFile = nullptr;
}

OutputStream& OutputStream::operator=(OutputStream&& other) noexcept {
    if (this != &other) {
        if (m_pFile != nullptr && m_pFile != stdout) {
            std::fclose(m_pFile);
        }
        m_pFile = other.m_pFile;
        m_path = std::move(other.m_path);
        m_option = std::move(other.m_option);
        other.m_pFile = nullptr;
    }
    return *this;
}

void OutputStream::write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), m_pFile) != text.size() ||
        std::fflush(m_pFile) != 0) {
        throw DataError(m_path, m_option + " cannot write it: " + reason());
    }
}

void OutputStream::close() {
    if (m_pFile == nullptr) {
        return;
    }
    std::FILE* pFile = m_pFile;
    m_pFile = nullptr;
    bool failed = pFile == stdout ? std::fflush(pFile) != 0 : std::fclose(pFile) != 0;
    if (failed) {
        throw DataError(m_path, m_option + " cannot write it: " + reason());
    }
}

namespace {

bool reportStandardOutput(const char* program, bool failed) {
    if (failed) {
        std::fprintf(stderr, "%s: standard output: cannot write it: %s\n", program,
                     errno != 0 ? std::strerror(errno) : "a write failed");
    }
    return !failed;
}

} // namespace

bool flushStandardOutput(const char* program) {
    errno = 0;
    return reportStandardOutput(program, std::fflush(stdout) != 0 || std::ferror(stdout) != 0);
}

bool closeStandardOutput(const char* program) {
    errno = 0;
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    return reportStandardOutput(program, std::fclose(stdout) != 0 || failed);
}

ReadLog::ReadLog(FileRegistry& files) : m_files(files), m_pOuter(files.readLog()) {
    m_files.setReadLog(this);
}

ReadLog::~ReadLog() {
    m_files.setReadLog(m_pOuter);
}

void ReadLog::note(const std::string& path) {
    if (std::find(m_paths.begin(), m_paths.end(), path) == m_paths.end()) {
        m_paths.push_back(path);
    }
    if (m_pOuter != nullptr) {
        m_pOuter->note(path);
    }
}

std::vector<FileStamp> stampsOf(const std::vector<std::string>& paths) {
    std::vector<FileStamp> stamps;
    for (const std::string& path : paths) {
        FileStamp stamp{path};
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            stamp.modified = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
            stamp.size = info.st_size;
        }
        stamps.push_back(stamp);
    }
    return stamps;
}

Interrupted::Interrupted(int signal)
    : std::runtime_error(std::string("stopped by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM")),
      m_signal(signal) {}

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Either stop signal waits while the handler of the other runs, so the
    // second is seen as second.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    // No SA_RESTART: a read that waits returns, so the flag is seen.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A program started with them blocked would otherwise never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
    struct sigaction timeout {};
    timeout.sa_handler = onStopTimeout;
    sigemptyset(&timeout.sa_mask);
    sigaction(SIGALRM, &timeout, nullptr);
}

int stopSignal() {
    return gStopSignal;
}

void throwIfStopped() {
    if (gStopSignal != 0) {
        throw Interrupted(gStopSignal);
    }
}

void endBySignal(int signal) {
    std::fflush(stdout);
    std::fflush(stderr);
    endNow(signal);
}
