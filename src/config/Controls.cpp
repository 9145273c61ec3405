// Reading "controls.ini": each game input names one or more keys (SDL's key
// names, such as "left", "return" or "a") and gamepad button numbers.
#include "config/Controls.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"

#include <filesystem>
#include <sstream>

namespace {

constexpr int MAX_BUTTON = 255;
constexpr int MAX_DEAD_ZONE = 32767;

const char* const KEYS_SECTION = "Keys";
const char* const GAMEPAD_SECTION = "Gamepad";
const char* const AUDIO_SECTION = "Audio";
constexpr int MAX_VOLUME = 100;

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        size_t first = item.find_first_not_of(" \t");
        size_t last = item.find_last_not_of(" \t");
        items.push_back(first == std::string::npos ? "" : item.substr(first, last - first + 1));
    }
    return items;
}

// The names controls.ini gives the inputs, for a message.
std::string inputNames() {
    std::string names;
    for (const KeyName& entry : KEY_TABLE) {
        names += std::string(names.empty() ? "" : ", ") + entry.configName;
    }
    return names;
}

} // namespace

Controls loadControls(FileRegistry& files, const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::exists(fileName, error) && !error) {
        return Controls::defaults();
    }
    IniDictionary file(files, fileName);
    for (const std::string& section : file.sectionNames()) {
        if (section != KEYS_SECTION && section != GAMEPAD_SECTION && section != AUDIO_SECTION) {
            throw DataError(fileName, "unknown section [" + excerpt(section) +
                                          "] (sections: [Keys], [Gamepad], [Audio])");
        }
    }
    Controls controls = Controls::defaults();
    // A file that binds keys replaces the default keys; inputs it leaves out
    // keep theirs. The same holds for gamepad buttons.
    for (const std::string& key : file.keyNames(KEYS_SECTION)) {
        const KeyName* pInfo = findConfigName(key);
        if (pInfo == nullptr) {
            throw DataError(fileName, "[Keys] " + excerpt(key) +
                                          ": unknown input (inputs: " + inputNames() + ")");
        }
        std::erase_if(controls.keys, [&](const Controls::KeyBinding& binding) {
            return binding.input == pInfo->input;
        });
        for (const std::string& name : splitList(file.getString(key, KEYS_SECTION, ""))) {
            SDLKey sdlKey = keyByName(name);
            if (sdlKey == SDLK_UNKNOWN) {
                throw DataError(fileName, "[Keys] " + excerpt(key) + ": unknown key name '" +
                                              excerpt(name) + "'");
            }
            if (isReservedKey(sdlKey)) {
                throw DataError(
                    fileName,
                    "[Keys] " + excerpt(key) + ": '" + excerpt(name) +
                        "' is reserved for fullscreen, screenshots, the overlay and reloading");
            }
            controls.keys.push_back({sdlKey, pInfo->input});
        }
    }
    for (const std::string& key : file.keyNames(GAMEPAD_SECTION)) {
        if (key == "deadZone") {
            controls.deadZone = file.getInt(key, GAMEPAD_SECTION, 0, 0, MAX_DEAD_ZONE);
            continue;
        }
        const KeyName* pInfo = findConfigName(key);
        if (pInfo == nullptr) {
            throw DataError(fileName, "[Gamepad] " + excerpt(key) + ": unknown input (inputs: " +
                                          inputNames() + ", deadZone)");
        }
        std::erase_if(controls.buttons, [&](const Controls::ButtonBinding& binding) {
            return binding.input == pInfo->input;
        });
        for (const std::string& name : splitList(file.getString(key, GAMEPAD_SECTION, ""))) {
            bool digits =
                !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
            int button = digits && name.size() <= 3 ? std::stoi(name) : -1;
            if (button < 0 || button > MAX_BUTTON) {
                throw DataError(fileName, "[Gamepad] " + excerpt(key) + ": '" + excerpt(name) +
                                              "' is not a button number 0 to 255");
            }
            controls.buttons.push_back({button, pInfo->input});
        }
    }
    for (const std::string& key : file.keyNames(AUDIO_SECTION)) {
        int* pVolume = key == "volume"    ? &controls.volume
                       : key == "music"   ? &controls.musicVolume
                       : key == "effects" ? &controls.effectsVolume
                                          : nullptr;
        if (pVolume == nullptr) {
            throw DataError(fileName, "[Audio] " + excerpt(key) +
                                          ": unknown key (keys: volume, music, effects)");
        }
        *pVolume = file.getInt(key, AUDIO_SECTION, 0, 0, MAX_VOLUME);
    }
    return controls;
}
