#include "config/SoundsFile.h"

#include "config/IniDictionary.h"
#include "engine/DataFiles.h"

#include <filesystem>

namespace {

const char* const EFFECTS_SECTION = "Effects";
const char* const MUSIC_SECTION = "Music";
const char* const MUSIC_KEY = "music";
const char* const MENU_KEY = "menu";

} // namespace

SoundSource soundNamedBy(const IniDictionary& file, const std::string& iniName,
                         const std::string& section, const std::string& key) {
    return SoundSource{file.getString(key, section, ""), iniName, section, key};
}

void readSoundsFile(FileRegistry& files, SoundList& list) {
    list = SoundList{};
    list.files = {SOUNDS_FILE};
    // A file the system cannot even look at (a link loop) is read, so its
    // reader's message says why.
    std::error_code unseen;
    if (!std::filesystem::exists(SOUNDS_FILE, unseen) && !unseen) {
        return;
    }
    IniDictionary file(files, SOUNDS_FILE);
    for (size_t i = 0; i < SOUND_EVENT_COUNT; ++i) {
        const char* pKey = SOUND_EVENT_NAMES[i];
        if (file.hasKey(pKey, EFFECTS_SECTION)) {
            list.effects[i] = soundNamedBy(file, SOUNDS_FILE, EFFECTS_SECTION, pKey);
            list.files.push_back(list.effects[i]->path);
        }
    }
    if (file.hasKey(MENU_KEY, MUSIC_SECTION)) {
        list.menuMusic = soundNamedBy(file, SOUNDS_FILE, MUSIC_SECTION, MENU_KEY);
        list.files.push_back(list.menuMusic->path);
    }
}

std::optional<SoundSource> levelMusic(const IniDictionary& levels, const std::string& levelName) {
    if (!levels.hasKey(MUSIC_KEY, levelName)) {
        return std::nullopt;
    }
    return soundNamedBy(levels, LEVELS_FILE, levelName, MUSIC_KEY);
}
