// The object runs: ROCKFALL with 64 objects of four behaviours in its first
// boundary, where the player starts and plays, against ROCKFALL with none in
// play. The bench draws its own pictures, so it needs nothing of the data
// but the level.
#include "ObjectRuns.h"

#include "GameRuns.h"
#include "Statistics.h"

#include "engine/DataFiles.h"
#include "engine/Files.h"

#include <SDL.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const LEVEL = "ROCKFALL";
const char* const SHOT_FILE = "bench-shot.bmp";
const char* const SHEET_FILE = "bench-object.bmp";
constexpr int SHOT_SIDE = 6;         // px
constexpr int FRAME_SIDE = 16;       // px, two frames one above the other
constexpr int64_t PLAY_FRAMES = 600; // ten seconds of play
constexpr int KIND_COUNT = 4;
constexpr int PER_KIND = 16;
// The first boundary: world x 0 to 1023, y 1920 to 2159. The objects start
// in a row across it, each kind a step apart, in the open rows above the
// valley's floor (y 1968 to 2111; the rock above them on the right).
constexpr int FIRST_X = 24;   // px
constexpr int SPACING = 60;   // px between a kind's objects
constexpr int KIND_STEP = 15; // px between the kinds' rows across

struct BenchKind {
    const char* file;
    int y; // world px of the box's top: walkers and hoppers drop to the floor
    const char* behaviour;
};

// Never defeated and harmless, so that all of them stay in play the whole
// run and the player's path does not depend on their hits; the player's
// shots still meet them (hit points) and the turrets' shots fly.
const BenchKind KINDS[KIND_COUNT] = {
    {"bench-walker.ini", 1976,
     "behaviour=walker\n[Behaviour]\nspeedFraction=128\ngravityFraction=64\nmaxFallInt=4\n"},
    {"bench-hopper.ini", 1976,
     "behaviour=hopper\n[Behaviour]\ninterval=30\njumpXInt=1\njumpYInt=3\ngravityFraction=64\n"
     "maxFallInt=4\n"},
    {"bench-flyer.ini", 2000,
     "behaviour=flyer\n[Behaviour]\npath=wave\npathX=48\npathY=16\nspeedInt=1\nperiod=48\n"},
    {"bench-turret.ini", 1970,
     "behaviour=turret\n[Behaviour]\ninterval=40\nrange=512\nshotSpeedInt=2\n[Shot]\n"
     "spritesheet=bench-shot.bmp\ndamage=0\n"},
};

// Without objects in play the level still lists one (a level that lists
// none would need the fixed enemy's file): standing in the grotto, another
// boundary, where it is neither moved nor seen.
const BenchKind AWAY = {"bench-away.ini", 2240, "behaviour=stationary\n"};
constexpr int AWAY_X = 160; // px

// Two frames of 16 px, drawn 8 px above a box 8 px high, as the thornbug.
const char* const SPRITE = "[BoundingBox]\nwidth=16\nheight=8\n[Spritesheets]\namount=1\n"
                           "spritesheet0=bench-object.bmp\n[Sprites]\namount=2\nwidth=16\n"
                           "height=16\nyOffset=-8\nsprite0YPos=0\nsprite1YPos=16\n"
                           "[Animations]\namount=1\n[Animation0]\nnFrames=2\n"
                           "frame0SpriteIndex=0\nframe0Duration=8\nframe1SpriteIndex=1\n"
                           "frame1Duration=8\n";

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("objects: cannot write " + path.string());
    }
}

// The level's section without any object keys of its own.
std::string levelsWithout(const std::string& text) {
    std::istringstream lines(text);
    std::string kept;
    std::string section;
    for (std::string line; std::getline(lines, line);) {
        size_t first = line.find_first_not_of(" \t");
        std::string trimmed = first == std::string::npos ? "" : line.substr(first);
        if (!trimmed.empty() && trimmed[0] == '[') {
            section = trimmed.substr(1, trimmed.find(']') - 1);
        } else if (section == LEVEL && trimmed.rfind("object", 0) == 0) {
            continue;
        }
        kept += line + "\n";
    }
    return kept;
}

std::string objectKeys() {
    std::string keys = "objectAmount=" + std::to_string(KIND_COUNT * PER_KIND) + "\n";
    int index = 0;
    for (int k = 0; k < KIND_COUNT; ++k) {
        for (int i = 0; i < PER_KIND; ++i, ++index) {
            std::string object = "object" + std::to_string(index);
            keys += object + "=" + KINDS[k].file + "\n" + object +
                    "x=" + std::to_string(FIRST_X + k * KIND_STEP + i * SPACING) + "\n" + object +
                    "y=" + std::to_string(KINDS[k].y) + "\n";
        }
    }
    return keys;
}

// Right for half the run, then left, shooting all the way and jumping at
// every fourth shot; the keys are let go before the run ends.
std::string playText() {
    constexpr int64_t FIRST_FRAME = 10; // the player has landed
    constexpr int64_t SHOT_PERIOD = 10; // frames
    constexpr int64_t SHOTS_PER_JUMP = 4;
    constexpr int64_t KEY_HELD = 2;  // frames the shot's key is held
    constexpr int64_t JUMP_HELD = 8; // frames the jump's key is held
    std::string text = std::to_string(FIRST_FRAME) + " right down\n";
    int64_t shots = 0;
    for (int64_t frame = FIRST_FRAME + SHOT_PERIOD; frame < PLAY_FRAMES - SHOT_PERIOD;
         frame += SHOT_PERIOD, ++shots) {
        std::string at = std::to_string(frame);
        if (frame == FIRST_FRAME + PLAY_FRAMES / 2) {
            text += at + " right up\n" + at + " left down\n";
        }
        bool jump = shots % SHOTS_PER_JUMP == 0;
        text += at + " b down\n" + (jump ? at + " space down\n" : "") +
                std::to_string(frame + KEY_HELD) + " b up\n" +
                (jump ? std::to_string(frame + JUMP_HELD) + " space up\n" : "");
    }
    return text + std::to_string(PLAY_FRAMES - KEY_HELD) + " left up\n";
}

// A picture of the given size in the given colours, one band each from
// the top down.
void writePicture(const fs::path& path, int width, int height, const std::vector<Uint32>& colours) {
    SDL_Surface* pPicture =
        SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    if (pPicture == nullptr) {
        throw std::runtime_error("objects: cannot make " + path.string());
    }
    int band = height / static_cast<int>(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        SDL_Rect rect{0, static_cast<Sint16>(band * static_cast<int>(i)),
                      static_cast<Uint16>(width), static_cast<Uint16>(band)};
        SDL_FillRect(pPicture, &rect, colours[i]);
    }
    int saved = SDL_SaveBMP(pPicture, path.c_str());
    SDL_FreeSurface(pPicture);
    if (saved != 0) {
        throw std::runtime_error("objects: cannot write " + path.string());
    }
}

void writeKind(const fs::path& folder, const BenchKind& kind) {
    writeText(folder / kind.file,
              std::string("[Object]\nhitPoints=9999\ncontactDamage=0\n") + kind.behaviour + SPRITE);
}

// A copy of the data whose files are links to the originals, but for the
// level file, and the kinds and pictures the objects need.
fs::path makeFolder(const fs::path& scratch, const std::string& name, const fs::path& data,
                    const std::string& levels) {
    fs::path folder = scratch / name;
    fs::create_directories(folder);
    for (const fs::directory_entry& entry : fs::directory_iterator(data)) {
        if (entry.path().filename() != LEVELS_FILE) {
            fs::create_symlink(entry.path(), folder / entry.path().filename());
        }
    }
    writeText(folder / LEVELS_FILE, levels);
    for (const BenchKind& kind : KINDS) {
        writeKind(folder, kind);
    }
    writeKind(folder, AWAY);
    writePicture(folder / SHOT_FILE, SHOT_SIDE, SHOT_SIDE, {0xFC7460});
    writePicture(folder / SHEET_FILE, FRAME_SIDE, 2 * FRAME_SIDE, {0xB8F818, 0x58D854});
    return folder;
}

} // namespace

ObjectCost measureObjectCost(const std::string& dataDir, int runs) {
    fs::path data = dataDir;
    std::string pattern = (fs::temp_directory_path() / "kcs-objects-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("objects: cannot make a scratch folder");
    }
    fs::path scratch = pattern;
    ObjectCost cost;
    cost.level = LEVEL;
    cost.objects = KIND_COUNT * PER_KIND;
    cost.frames = PLAY_FRAMES;
    cost.replay = playText();
    try {
        FileRegistry files;
        std::string levels = levelsWithout(readFile(files, data / LEVELS_FILE, INI_FILE));
        std::string header = std::string("[") + LEVEL + "]\n";
        size_t at = levels.find(header);
        if (at == std::string::npos) {
            throw std::runtime_error(std::string("objects: levels.ini has no [") + LEVEL + "]");
        }
        std::string withObjects = levels;
        withObjects.insert(at + header.size(), objectKeys());
        std::string withoutObjects = levels;
        withoutObjects.insert(at + header.size(),
                              std::string("objectAmount=1\nobject0=") + AWAY.file +
                                  "\nobject0x=" + std::to_string(AWAY_X) +
                                  "\nobject0y=" + std::to_string(AWAY.y) + "\n");
        fs::path with = makeFolder(scratch, "with", data, withObjects);
        fs::path without = makeFolder(scratch, "without", data, withoutObjects);
        fs::path replay = scratch / "play.replay";
        writeText(replay, cost.replay);
        const std::vector<std::string> level{"--level", LEVEL, "--skip-ready"};
        for (int run = 0; run < runs; ++run) {
            for (bool objects : {true, false}) {
                GameTimes times = timeGame((objects ? with : without).string(), replay.string(),
                                           PLAY_FRAMES, level);
                if (times.status != 0) {
                    throw std::runtime_error("objects: kcs ended with status " +
                                             std::to_string(times.status));
                }
                (objects ? cost.withMedianMs : cost.withoutMedianMs)
                    .push_back(median(times.updateDrawMs));
                (objects ? cost.withP99Ms : cost.withoutP99Ms)
                    .push_back(percentile(times.updateDrawMs, 99));
            }
        }
    } catch (...) {
        fs::remove_all(scratch);
        throw;
    }
    fs::remove_all(scratch);
    return cost;
}
