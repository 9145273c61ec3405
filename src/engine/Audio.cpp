#include "engine/Audio.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

const char* const SOUNDS_FILE = "sounds.ini";
const char* const EFFECTS_SECTION = "Effects";
const char* const MUSIC_SECTION = "Music";
const char* const LEVELS_FILE = "levels.ini";
constexpr int CHANNELS = 2;      // stereo output
constexpr int MIXED_EFFECTS = 8; // effects that can sound at once
// A sound file may be a few minutes of music, no more.
constexpr FileLimit SOUND_FILE{"a sound file", size_t{64} << 20};
constexpr int FULL = 100; // a volume setting at its most

// As a sprite's sheets: the INI file and key that named the sound, and the
// sound file's own trouble.
DataError cannotLoad(const std::string& iniName, const std::string& section, const std::string& key,
                     const std::string& path, const std::string& reason) {
    return DataError(iniName, "[" + section + "] " + key + " \"" + excerpt(path) +
                                  "\" cannot be loaded (" + reason + ")");
}

int mixerVolume(int volume, int part) {
    return MIX_MAX_VOLUME * std::clamp(volume, 0, FULL) / FULL * std::clamp(part, 0, FULL) / FULL;
}

} // namespace

Audio::Audio(const AudioSettings& settings) : m_settings(settings) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "kcs: no sound: %s; playing silently\n", SDL_GetError());
        return;
    }
    if (Mix_OpenAudio(FREQUENCY, AUDIO_S16SYS, CHANNELS, BUFFER_SAMPLES) != 0) {
        std::fprintf(stderr, "kcs: no sound: %s; playing silently\n", Mix_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    Mix_AllocateChannels(MIXED_EFFECTS);
    m_open = true;
    applyVolumes();
}

Audio::~Audio() {
    if (!m_open) {
        return;
    }
    Mix_HaltChannel(-1);
    Mix_HaltMusic();
    m_pMenuMusic.reset();
    m_pLevelMusic.reset();
    for (Chunk& chunk : m_effects) {
        chunk.reset();
    }
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::vector<uint8_t> Audio::readNamed(const IniDictionary& file, const std::string& iniName,
                                      const std::string& section, const std::string& key,
                                      std::string& path) {
    path = file.getString(key, section, "");
    if (path.empty()) {
        throw DataError(iniName, "[" + section + "] " + key + " is empty; give a sound file");
    }
    try {
        return readFileBytes(path, SOUND_FILE);
    } catch (const DataError& error) {
        throw cannotLoad(iniName, section, key, path, error.what());
    }
}

std::unique_ptr<Audio::Music> Audio::loadMusicFile(const IniDictionary& file,
                                                   const std::string& iniName,
                                                   const std::string& section,
                                                   const std::string& key) {
    auto pMusic = std::make_unique<Music>();
    pMusic->bytes = readNamed(file, iniName, section, key, pMusic->path);
    if (!m_open) {
        return nullptr;
    }
    SDL_RWops* pStream =
        SDL_RWFromConstMem(pMusic->bytes.data(), static_cast<int>(pMusic->bytes.size()));
    pMusic->pMusic = pStream != nullptr ? Mix_LoadMUS_RW(pStream) : nullptr;
    if (pMusic->pMusic == nullptr) {
        throw cannotLoad(iniName, section, key, pMusic->path,
                         std::string("not music SDL_mixer can play: ") + Mix_GetError());
    }
    return pMusic;
}

void Audio::loadSounds() {
    if (!std::filesystem::exists(SOUNDS_FILE)) {
        return;
    }
    IniDictionary file(SOUNDS_FILE);
    for (size_t i = 0; i < SOUND_EVENT_COUNT; ++i) {
        const char* pKey = SOUND_EVENT_NAMES[i];
        if (!file.hasKey(pKey, EFFECTS_SECTION)) {
            continue;
        }
        std::string path;
        std::vector<uint8_t> bytes = readNamed(file, SOUNDS_FILE, EFFECTS_SECTION, pKey, path);
        if (!m_open) {
            continue;
        }
        SDL_RWops* pStream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        m_effects[i].reset(pStream != nullptr ? Mix_LoadWAV_RW(pStream, 1) : nullptr);
        if (!m_effects[i]) {
            throw cannotLoad(SOUNDS_FILE, EFFECTS_SECTION, pKey, path,
                             std::string("not a sound SDL_mixer can load: ") + Mix_GetError());
        }
    }
    if (file.hasKey("menu", MUSIC_SECTION)) {
        // Loaded now, so a bad file stops the game before the menu shows.
        m_pMenuMusic = loadMusicFile(file, SOUNDS_FILE, MUSIC_SECTION, "menu");
    }
}

void Audio::loadMusic(const IniDictionary& file, const std::string& iniName,
                      const std::string& section, const std::string& key) {
    loadMusicFile(file, iniName, section, key);
}

void Audio::startMusic(const Music* pMusic) {
    if (!m_open) {
        return;
    }
    Mix_HaltMusic();
    if (pMusic != nullptr) {
        Mix_PlayMusic(pMusic->pMusic, -1);
        if (m_paused) {
            Mix_PauseMusic();
        }
    }
}

void Audio::playMenuMusic() {
    startMusic(m_pMenuMusic.get());
}

void Audio::playLevelMusic(const IniDictionary& levels, const std::string& levelName) {
    // Loaded before the old music stops, so a bad file leaves it playing.
    std::unique_ptr<Music> pMusic;
    if (levels.hasKey("music", levelName)) {
        pMusic = loadMusicFile(levels, LEVELS_FILE, levelName, "music");
    }
    startMusic(nullptr);
    m_pLevelMusic = std::move(pMusic);
    startMusic(m_pLevelMusic.get());
}

void Audio::play(SoundEvent event) {
    Mix_Chunk* pChunk = m_effects[static_cast<size_t>(event)].get();
    if (m_open && pChunk != nullptr && !m_settings.mute) {
        Mix_PlayChannel(-1, pChunk, 0);
    }
}

void Audio::setPaused(bool paused) {
    if (!m_open || paused == m_paused) {
        return;
    }
    m_paused = paused;
    if (paused) {
        Mix_PauseMusic();
    } else {
        Mix_ResumeMusic();
    }
}

void Audio::toggleMute() {
    m_settings.mute = !m_settings.mute;
    if (m_settings.mute && m_open) {
        Mix_HaltChannel(-1);
    }
    applyVolumes();
}

void Audio::applyVolumes() {
    if (!m_open) {
        return;
    }
    int volume = m_settings.mute ? 0 : m_settings.volume;
    Mix_VolumeMusic(mixerVolume(volume, m_settings.music));
    Mix_Volume(-1, mixerVolume(volume, m_settings.effects));
}
