// kcs --check: every file the game could reach from "stageselect.ini" is
// loaded by the game's own loaders, so the check and the game agree on what
// is sound. Each problem is reported once, as one line: a file two levels
// share (an object's kind file) is loaded for each, and says its problem once.
#include "program/DataCheck.h"

#include "config/Controls.h"
#include "config/IniAudit.h"
#include "config/IniDictionary.h"
#include "config/SoundsFile.h"
#include "engine/Audio.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"
#include "graphics/Font.h"
#include "screens/level/Level.h"
#include "screens/menu/PauseMenu.h"
#include "screens/menu/StageSelect.h"
#include "world/enemy/Enemy.h"
#include "world/level/Map.h"
#include "world/objects/ObjectSet.h"
#include "world/player/Kalvorn.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

class Checker {
public:
    // Runs one load; a problem becomes one line and the check goes on.
    bool attempt(const std::function<void()>& load) {
        try {
            load();
            return true;
        } catch (const DataError& error) {
            report(error.what());
        } catch (const std::bad_alloc&) {
            report("out of memory while loading");
        }
        return false;
    }

    void report(const std::string& line) {
        if (m_reported.insert(line).second) {
            std::fprintf(stderr, "kcs: %s\n", line.c_str());
        }
    }

    int problems() const { return static_cast<int>(m_reported.size()); }

private:
    std::set<std::string> m_reported;
};

// Adds the warnings not yet in the list, in their order.
void addWarnings(std::vector<std::string>& warnings, const std::vector<std::string>& found) {
    for (const std::string& warning : found) {
        if (std::find(warnings.begin(), warnings.end(), warning) == warnings.end()) {
            warnings.push_back(warning);
        }
    }
}

} // namespace

int runDataCheck(FileRegistry& files, bool strict) {
    IniAudit audit(files);
    std::vector<std::string> warnings;
    Checker checker;
    std::unique_ptr<GameEngine> pEngine;
    try {
        pEngine = std::make_unique<GameEngine>(files, loadFont);
    } catch (const DataError& error) {
        checker.report(error.what());
        return 2; // without the font nothing else can be loaded
    } catch (const StartupError& error) {
        checker.report(error.what());
        return 2;
    }
    gEngine = pEngine.get();
    // Muted, on the dummy driver: the files are loaded as the game would,
    // and decoded even when no device opens.
    // The engine's, so that what loads sounds of its own (the objects)
    // has them checked too.
    Audio* pAudio = nullptr;
    checker.attempt([&] {
        AudioSettings silent;
        silent.mute = true;
        pEngine->setAudio(std::make_unique<Audio>(files, silent, readSoundsFile));
        pAudio = pEngine->audio();
        pAudio->loadSounds();
    });

    std::vector<std::string> levelNames;
    std::vector<std::string> characterNames;
    checker.attempt([&] {
        StageSelect menu(nullptr);
        levelNames = menu.entries().levels;
        characterNames = menu.entries().characterFiles;
    });

    std::unique_ptr<IniDictionary> pLevels;
    checker.attempt([&] {
        pLevels = std::make_unique<IniDictionary>(files, LEVELS_FILE);
        Level::readyMessage(*pLevels);
        Level::clearMessage(*pLevels);
        PauseMenu::pausedMessage(*pLevels);
    });
    // The fixed enemy is in every level that places no objects; data whose
    // levels all place theirs needs no "enemy.ini".
    bool enemyNeeded = !pLevels;
    for (const std::string& level : levelNames) {
        enemyNeeded = enemyNeeded || !ObjectSet::isListedIn(*pLevels, level);
    }
    SDL_Rect enemyBox{};
    if (enemyNeeded) {
        checker.attempt([&] { enemyBox = Enemy().hitbox().rect(); });
    }
    std::unique_ptr<Map> pSoundMap;
    if (pLevels) {
        std::set<std::string> seen;
        for (const std::string& level : levelNames) {
            if (!seen.insert(level).second) {
                continue;
            }
            if (!pLevels->hasSection(level)) {
                checker.report(std::string(LEVELS_FILE) + ": no section [" + excerpt(level) +
                               "] for the level named in " + STAGE_SELECT_FILE);
                continue;
            }
            if (pAudio != nullptr && pLevels->hasKey("music", level)) {
                checker.attempt([&] {
                    pAudio->loadMusic(soundNamedBy(*pLevels, LEVELS_FILE, level, "music"));
                });
            }
            checker.attempt([&] {
                auto pMap = std::make_unique<Map>(level, *pLevels);
                bool placesObjects = ObjectSet::isListedIn(*pLevels, level);
                addWarnings(warnings,
                            pMap->designWarnings(
                                LEVELS_FILE, level,
                                placesObjects ? std::nullopt : std::optional<SDL_Rect>(enemyBox)));
                if (placesObjects) {
                    ObjectSet objects(*pLevels, level, *pMap);
                    addWarnings(warnings, objects.designWarnings(*pMap, LEVELS_FILE, level));
                }
                if (!pSoundMap) {
                    pSoundMap = std::move(pMap);
                }
            });
        }
    }

    std::set<std::string> seen;
    for (const std::string& character : characterNames) {
        if (!seen.insert(character).second) {
            continue;
        }
        if (!pSoundMap) {
            checker.report(excerpt(character, MAX_QUOTED_PATH) +
                           ": not checked, because no level loaded to place it in");
            continue;
        }
        checker.attempt([&] {
            Kalvorn player(character, pSoundMap.get());
            std::vector<std::string> found = player.designWarnings(character);
            warnings.insert(warnings.end(), found.begin(), found.end());
        });
    }
    checker.attempt([&] { loadControls(files, CONTROLS_FILE); });

    gEngine = nullptr;
    if (checker.problems() != 0) {
        // What an error kept from loading would show up as unread: the
        // warnings come once the errors are mended.
        return 2;
    }
    std::vector<std::string> iniWarnings = audit.warnings();
    warnings.insert(warnings.begin(), iniWarnings.begin(), iniWarnings.end());
    for (const std::string& warning : warnings) {
        std::fprintf(stderr, "kcs: warning: %s\n", warning.c_str());
    }
    if (strict && !warnings.empty()) {
        return 2;
    }
    std::printf("kcs: the data is sound (%zu levels, %zu characters%s)\n", levelNames.size(),
                characterNames.size(),
                warnings.empty() ? ""
                                 : (", " + std::to_string(warnings.size()) +
                                    (warnings.size() == 1 ? " warning" : " warnings"))
                                       .c_str());
    return 0;
}
