// The bad-data matrix: every data file of a game's folder (INI, bitmap, map
// and sound, in sub-folders too) missing, empty, cut to half and overwritten
// with noise, every sound file without its fmt or data chunk, with a chunk
// running past its end and at 1 Hz, every integer key of its INI files set
// to -1, 0, 2147483647 and 2147483648, and every key holding a word (a
// behaviour, a colour, a level's name; not a file's) set to a word no
// loader knows. For each case the real kcs goes
// through the menu into the level and the character that load the changed
// file, skips the ready phase and plays a few seconds, and checks the data;
// each run must end with status 0, or with status 2 and one "kcs: FILE: ..."
// line naming the changed file, never by a signal or past the time limit,
// with a trace of whole lines.
//
//     kcs_bad_data_matrix --kcs KCS --data DIR [--workers N] [--values-per-key N]
//                         [--rotate] [--distinct-keys] [--timeout SECONDS]
//                         [--summary FILE] [--only TEXT]
//
// --values-per-key N (1 to 4, for slow builds) keeps every file case but
// tries each key with N of the values only: always 2147483647, the one most
// likely to overflow, and the others in turn from key to key. --rotate
// turns the first value too, so that with one value per key each of the
// four is tried on a quarter of the keys. --distinct-keys tries a section's
// key only in the first file (by name) that has it. --summary also
// writes the closing counts to FILE, for a test runner that hides the output
// of passing tests. --only TEXT runs the cases of the files whose names hold
// TEXT, a subset by hand. A failed case's folder is kept for a look.
#include "support/Programs.h"
#include "support/Trace.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

// The play after the menu's last choice, in frames from it: the teleport
// lands, then the player runs right, jumps, shoots on the ground and in the
// air, turns and jumps again.
struct Step {
    int frame;
    const char* event;
};
const Step PLAY[] = {
    {10, "right down"}, {20, "space down"},  {35, "space up"},  {55, "b down"},   {57, "b up"},
    {70, "space down"}, {80, "b down"},      {82, "b up"},      {90, "space up"}, {110, "right up"},
    {111, "left down"}, {120, "space down"}, {135, "space up"}, {150, "left up"}};
constexpr int PLAY_FRAMES = 160;

// The first is always tried; see --values-per-key.
const char* const KEY_VALUES[] = {"2147483647", "-1", "0", "2147483648"};
constexpr int KEY_VALUE_COUNT = 4;
const char* const UNKNOWN_WORD = "nowhere";

struct Case {
    std::string file;        // the data file changed, relative to the folder
    std::string description; // what was done to it
    // The file's new bytes from its old ones; none removes the file.
    std::function<std::string(std::string bytes)> change;
    std::string section = ""; // of the key a key case changed
    // The menu's entries whose run loads the file: its level and character.
    int level = 0;
    int character = 0;
};

struct Outcome {
    std::string problem; // empty when the case passed
    int gameStatus = -1;
    int checkStatus = -1;
};

// Relative to the folder: the sounds live in a folder of their own.
std::vector<std::string> dataFiles(const fs::path& data) {
    const std::set<fs::path> kinds = {".ini", ".bmp", ".map", ".wav"};
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(data)) {
        if (entry.is_regular_file() && kinds.count(entry.path().extension()) != 0) {
            names.push_back(entry.path().lexically_relative(data).string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

bool isInteger(const std::string& text) {
    size_t i = text.size() > 1 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    return i < text.size() && std::all_of(text.begin() + static_cast<long>(i), text.end(),
                                          [](char c) { return c >= '0' && c <= '9'; });
}

// One "key=value" line of an INI file, with its section and where the line
// lies in the file (its line feed left out).
struct Entry {
    size_t start;
    size_t length;
    std::string section;
    std::string key;
    std::string value;
};

std::vector<Entry> iniEntries(const std::string& text) {
    std::vector<Entry> entries;
    std::string section;
    size_t start = 0;
    for (const std::string& raw : splitLines(text)) {
        std::string line = trimmed(raw);
        size_t equals = line.find('=');
        if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
        } else if (!line.empty() && line[0] != ';' && equals != std::string::npos) {
            entries.push_back({start, raw.size(), section, trimmed(line.substr(0, equals)),
                               trimmed(line.substr(equals + 1))});
        }
        start += raw.size() + 1;
    }
    return entries;
}

// The number after a menu key's prefix ("level1", "kalvorn0"), or -1 for
// any other key ("amount", "kalvorn0title").
int menuIndex(const Entry& entry, const std::string& prefix) {
    std::string number = entry.key.substr(std::min(prefix.size(), entry.key.size()));
    return entry.key.rfind(prefix, 0) == 0 && isInteger(number) && number[0] != '-'
               ? std::stoi(number)
               : -1;
}

// Which menu entry's run loads a file, or a section of levels.ini: a level
// its section and the files named there, a character its file and the files
// it names. Files none names (the menu's, the font, the enemy, the sounds)
// are loaded by every run; their cases play the first level and character.
std::map<std::string, std::pair<int, int>> menuOwners(const fs::path& data) {
    std::map<std::string, std::pair<int, int>> owners;
    std::vector<Entry> levels = iniEntries(readFile(data / "levels.ini"));
    for (const Entry& entry : iniEntries(readFile(data / "stageselect.ini"))) {
        int level = entry.section == "Levels" ? menuIndex(entry, "level") : -1;
        int character = entry.section == "Kalvorns" ? menuIndex(entry, "kalvorn") : -1;
        std::vector<Entry> named;
        if (level >= 0) {
            owners.try_emplace("levels.ini [" + entry.value + "]", level, 0);
            std::copy_if(levels.begin(), levels.end(), std::back_inserter(named),
                         [&](const Entry& setting) { return setting.section == entry.value; });
            // The files an object's kind file names (its sheets, its shot)
            // are loaded with its level too.
            for (size_t i = 0, end = named.size(); i < end; ++i) {
                fs::path kind = data / named[i].value;
                if (kind.extension() == ".ini" && fs::is_regular_file(kind)) {
                    std::vector<Entry> inKind = iniEntries(readFile(kind));
                    named.insert(named.end(), inKind.begin(), inKind.end());
                }
            }
        } else if (character >= 0) {
            owners.try_emplace(entry.value, 0, character);
            named = iniEntries(readFile(data / entry.value));
        }
        for (const Entry& setting : named) {
            owners.try_emplace(setting.value, std::max(level, 0), std::max(character, 0));
        }
    }
    return owners;
}

// A WAV's numbers are little-endian, as this machine's.
static_assert(std::endian::native == std::endian::little);

uint32_t get32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

void put32(std::string& bytes, size_t at, uint32_t value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Where a WAV's chunk of that name starts, or npos.
size_t findChunk(const std::string& wav, const char* pName) {
    constexpr size_t RIFF_HEADER = 12;
    for (size_t at = RIFF_HEADER; at + 8 <= wav.size();) {
        uint32_t size = get32(wav, at + 4);
        if (wav.compare(at, 4, pName) == 0) {
            return at;
        }
        at += 8 + size + (size & 1);
    }
    return std::string::npos;
}

// A sound file broken in its structure rather than in its bytes: what a
// decoder given a hostile file meets.
void wavCases(const std::string& name, std::vector<Case>& cases) {
    using Edit = std::function<void(std::string & wav, size_t fmt, size_t data)>;
    auto edit = [&](const std::string& description, Edit edit) {
        cases.push_back({name, description, [edit](std::string wav) {
                             size_t fmt = findChunk(wav, "fmt ");
                             size_t data = findChunk(wav, "data");
                             if (fmt != std::string::npos && data != std::string::npos) {
                                 edit(wav, fmt, data);
                             }
                             return wav;
                         }});
    };
    auto removed = [](std::string& wav, size_t at) {
        uint32_t size = get32(wav, at + 4);
        wav.erase(at, std::min<size_t>(8 + size + (size & 1), wav.size() - at));
        put32(wav, 4, static_cast<uint32_t>(wav.size() - 8));
    };
    edit("its fmt chunk removed",
         [removed](std::string& wav, size_t fmt, size_t) { removed(wav, fmt); });
    edit("its data chunk removed",
         [removed](std::string& wav, size_t, size_t data) { removed(wav, data); });
    edit("its fmt chunk's size past the file's end",
         [](std::string& wav, size_t fmt, size_t) { put32(wav, fmt + 4, 0x7FFFFFF0); });
    edit("its sample rate set to 1 Hz",
         [](std::string& wav, size_t fmt, size_t) { put32(wav, fmt + 12, 1); });
}

void fileCases(const std::string& name, std::vector<Case>& cases) {
    // A fixed seed per file, so a failure repeats.
    uint32_t seed = static_cast<uint32_t>(std::hash<std::string>{}(name)) ^ 0x6b6373u;
    cases.push_back({name, "missing", nullptr});
    cases.push_back({name, "empty", [](const std::string&) { return std::string(); }});
    cases.push_back({name, "cut to half its bytes",
                     [](const std::string& bytes) { return bytes.substr(0, bytes.size() / 2); }});
    cases.push_back({name, "random bytes", [seed](std::string bytes) {
                         std::mt19937 random(seed);
                         for (char& byte : bytes) {
                             byte = static_cast<char>(random() & 0xFF);
                         }
                         return bytes;
                     }});
    if (fs::path(name).extension() == ".wav") {
        wavCases(name, cases);
    }
}

void keyCases(const fs::path& data, const std::string& name, int valuesPerKey, bool rotate,
              std::set<std::string>* pTried, size_t& keyNumber, size_t& wordCount,
              std::vector<Case>& cases) {
    for (const Entry& entry : iniEntries(readFile(data / name))) {
        // With --distinct-keys, a key of a section is tried in the first
        // file that has it: the files of one loader (the characters, the
        // kinds of object) share their sections.
        if (pTried != nullptr && !pTried->insert(entry.section + "]" + entry.key).second) {
            continue;
        }
        // A file's name is left to the file cases, which remove the file.
        if (!isInteger(entry.value) && !entry.value.empty() && !fs::exists(data / entry.value)) {
            ++wordCount;
            std::string line = entry.key + "=" + UNKNOWN_WORD;
            cases.push_back({name, "[" + entry.section + "] " + line,
                             [entry, line](std::string text) {
                                 return text.replace(entry.start, entry.length, line);
                             },
                             entry.section});
        }
        if (!isInteger(entry.value)) {
            continue;
        }
        ++keyNumber;
        for (int v = 0; v < valuesPerKey; ++v) {
            // Value 0 first, then the others turn with the key's number.
            size_t turn = keyNumber + static_cast<size_t>(v);
            int index = rotate   ? static_cast<int>(turn % KEY_VALUE_COUNT)
                        : v == 0 ? 0
                                 : 1 + static_cast<int>((turn - 1) % (KEY_VALUE_COUNT - 1));
            std::string line = entry.key + "=" + KEY_VALUES[index];
            cases.push_back({name, "[" + entry.section + "] " + line,
                             [entry, line](std::string text) {
                                 return text.replace(entry.start, entry.length, line);
                             },
                             entry.section});
        }
    }
}

// The menu down to the case's level, "b", down to its character, "b", then
// the play; the number of frames to run is returned.
int writeReplay(const Case& c, const fs::path& path) {
    std::string replay;
    int frame = 3;
    for (int choice : {c.level, c.character}) {
        for (int i = 0; i <= choice; ++i) {
            const char* key = i < choice ? "down" : "b";
            replay += std::to_string(frame) + " " + key + " down\n" + std::to_string(frame + 1) +
                      " " + key + " up\n";
            frame += 3;
        }
    }
    for (const Step& step : PLAY) {
        replay += std::to_string(frame + step.frame) + " " + step.event + "\n";
    }
    writeFile(path, replay);
    return frame + PLAY_FRAMES;
}

// Runs a program in the case's folder, which keeps its output and errors.
testing_support::Ending runIn(const fs::path& folder, const std::string& name,
                              const std::vector<std::string>& arguments, int timeoutSeconds,
                              std::string& err) {
    fs::path errPath = folder / (name + ".err");
    testing_support::Ending ending = testing_support::waitFor(
        testing_support::startProgram(arguments, folder / (name + ".out"), errPath),
        timeoutSeconds);
    err = readFile(errPath);
    return ending;
}

// What is wrong with how a run ended, or an empty text.
std::string judge(const testing_support::Ending& run, const std::string& err,
                  const std::string& file, bool oneLineOnly) {
    if (run.timedOut) {
        return "did not end within the time limit";
    }
    if (run.signal != 0) {
        return std::string("ended by signal ") + strsignal(run.signal);
    }
    if (run.status == 0) {
        return "";
    }
    if (run.status != 2) {
        return "ended with status " + std::to_string(run.status);
    }
    // No line at all names no file either.
    std::vector<std::string> lines = splitLines(err);
    if (oneLineOnly && lines.size() != 1) {
        return "status 2 with " + std::to_string(lines.size()) + " lines on standard error";
    }
    bool named = false;
    for (const std::string& line : lines) {
        if (line.rfind("kcs: ", 0) != 0) {
            return "a standard-error line that is not a kcs message";
        }
        named = named || line.find(file) != std::string::npos;
    }
    return named ? "" : "status 2, but no line names " + file;
}

Outcome runCase(const Case& c, size_t index, const fs::path& kcs, const fs::path& data,
                const fs::path& scratch, int timeoutSeconds) {
    fs::path folder = scratch / ("case-" + std::to_string(index));
    fs::path dataCopy = folder / "data";
    fs::create_directories(dataCopy);
    // Only the changed file is written; the others are links to the originals,
    // which nothing writes, instead of megabytes of music copied per case.
    for (const std::string& name : dataFiles(data)) {
        fs::create_directories((dataCopy / name).parent_path());
        if (name != c.file) {
            fs::create_symlink(data / name, dataCopy / name);
        }
    }
    if (c.change) {
        writeFile(dataCopy / c.file, c.change(readFile(data / c.file)));
    } else {
        fs::remove(dataCopy / c.file);
    }
    int frames = writeReplay(c, folder / "session.replay");

    Outcome outcome;
    // Scale 1: scaling the dummy window costs most of a headless frame and
    // changes nothing the game does.
    std::string where = c.file + " " + c.description + ": ";
    std::string err;
    testing_support::Ending game =
        runIn(folder, "game",
              {kcs, "--headless", "--scale", "1", "--skip-ready", "--data", dataCopy, "--frames",
               std::to_string(frames), "--replay", folder / "session.replay", "--trace",
               folder / "trace.jsonl"},
              timeoutSeconds, err);
    outcome.gameStatus = game.status;
    std::string problem = judge(game, err, c.file, true);
    if (problem.empty()) {
        problem = testing_support::wholeFramesProblem(readFile(folder / "trace.jsonl"));
    }
    if (!problem.empty()) {
        outcome.problem = where + "the game " + problem + " (stderr: " + trimmed(err) + ")";
    }
    // --check names every problem on a line of its own; one change can break
    // more than one thing it loads (both levels share a tile sheet).
    testing_support::Ending check =
        runIn(folder, "check", {kcs, "--check", "--data", dataCopy}, timeoutSeconds, err);
    outcome.checkStatus = check.status;
    problem = judge(check, err, c.file, false);
    if (problem.empty() && outcome.checkStatus == 0 && outcome.gameStatus == 2) {
        problem = "passed the data the game refused";
    }
    if (!problem.empty() && outcome.problem.empty()) {
        outcome.problem = where + "--check " + problem + " (stderr: " + trimmed(err) + ")";
    }
    if (outcome.problem.empty()) {
        fs::remove_all(folder);
    }
    return outcome;
}

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: kcs_bad_data_matrix --kcs KCS --data DIR [--workers N] "
                         "[--values-per-key N] [--rotate] [--distinct-keys] [--timeout SECONDS] "
                         "[--summary FILE] "
                         "[--only TEXT]\n");
    std::exit(64);
}

} // namespace

int main(int argc, char** argv) {
    fs::path kcs;
    fs::path data;
    fs::path summaryPath;
    std::string only;
    int workers = 2;
    int valuesPerKey = KEY_VALUE_COUNT;
    int timeoutSeconds = 10;
    bool rotate = false;
    bool distinct = false;
    // Each option that takes a value: a path made absolute, or a number
    // brought within its bounds.
    const std::map<std::string, fs::path*> paths = {
        {"--kcs", &kcs}, {"--data", &data}, {"--summary", &summaryPath}};
    const std::map<std::string, std::tuple<int*, int, int>> numbers = {
        {"--workers", {&workers, 1, INT_MAX}},
        {"--values-per-key", {&valuesPerKey, 1, KEY_VALUE_COUNT}},
        {"--timeout", {&timeoutSeconds, 1, INT_MAX}}};
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 < argc && paths.count(option) != 0) {
            *paths.at(option) = fs::absolute(argv[++i]);
        } else if (i + 1 < argc && numbers.count(option) != 0) {
            auto [pValue, low, high] = numbers.at(option);
            *pValue = std::clamp(std::atoi(argv[++i]), low, high);
        } else if (option == "--rotate") {
            rotate = true;
        } else if (option == "--distinct-keys") {
            distinct = true;
        } else if (option == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            usage();
        }
    }
    if (kcs.empty() || data.empty()) {
        usage();
    }

    std::vector<Case> cases;
    std::vector<std::string> files = dataFiles(data);
    std::erase_if(files,
                  [&](const std::string& name) { return name.find(only) == std::string::npos; });
    for (const std::string& name : files) {
        fileCases(name, cases);
    }
    size_t fileCaseCount = cases.size();
    size_t keyCount = 0;
    size_t wordCount = 0;
    std::set<std::string> tried;
    for (const std::string& name : files) {
        if (fs::path(name).extension() == ".ini") {
            keyCases(data, name, valuesPerKey, rotate, distinct ? &tried : nullptr, keyCount,
                     wordCount, cases);
        }
    }
    std::map<std::string, std::pair<int, int>> owners = menuOwners(data);
    for (Case& c : cases) {
        auto owner = owners.find(c.file + " [" + c.section + "]");
        if (owner == owners.end()) {
            owner = owners.find(c.file);
        }
        if (owner != owners.end()) {
            std::tie(c.level, c.character) = owner->second;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "kcs_bad_data_matrix: no data files in %s%s%s\n", data.c_str(),
                     only.empty() ? "" : " whose names hold ", only.c_str());
        return 1;
    }

    fs::path scratch = fs::temp_directory_path() / ("kcs-matrix-" + std::to_string(getpid()));
    fs::create_directories(scratch);

    std::vector<Outcome> outcomes(cases.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < cases.size(); i = next++) {
            outcomes[i] = runCase(cases[i], i, kcs, data, scratch, timeoutSeconds);
        }
    };
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back(work);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    size_t failed = 0;
    size_t game0 = 0, game2 = 0, check0 = 0, check2 = 0, elsewhere = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Outcome& outcome = outcomes[i];
        elsewhere += cases[i].level != 0 || cases[i].character != 0 ? 1 : 0;
        if (!outcome.problem.empty()) {
            ++failed;
            std::printf("FAILED case %zu: %s\n", i, outcome.problem.c_str());
        }
        game0 += outcome.gameStatus == 0 ? 1 : 0;
        game2 += outcome.gameStatus == 2 ? 1 : 0;
        check0 += outcome.checkStatus == 0 ? 1 : 0;
        check2 += outcome.checkStatus == 2 ? 1 : 0;
    }
    char summary[512];
    std::snprintf(summary, sizeof summary,
                  "bad-data matrix: %zu cases (%zu file cases; %zu integer keys with %d of the 4 "
                  "values each%s; %zu key%s holding a word)\n"
                  "game (the menu, then %d frames of play): %zu ended with status 0, %zu with "
                  "status 2; %zu played another level or character than the first\n"
                  "--check: %zu ended with status 0, %zu with status 2\n"
                  "bad-data matrix: %zu passed, %zu failed\n",
                  cases.size(), fileCaseCount, keyCount, valuesPerKey, rotate ? ", in turn" : "",
                  wordCount, wordCount == 1 ? "" : "s", PLAY_FRAMES, game0, game2, elsewhere,
                  check0, check2, cases.size() - failed, failed);
    std::fputs(summary, stdout);
    if (!summaryPath.empty()) {
        writeFile(summaryPath, summary);
    }
    if (failed == 0) {
        fs::remove_all(scratch);
    } else {
        std::printf("case folders kept in %s\n", scratch.c_str());
    }
    return failed == 0 ? 0 : 1;
}
