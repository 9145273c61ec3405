#include "engine/Audio.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

namespace {

const char* const SOUNDS_FILE = "sounds.ini";
const char* const EFFECTS_SECTION = "Effects";
const char* const MUSIC_SECTION = "Music";
const char* const LEVELS_FILE = "levels.ini";
// Mono, as the consoles the game imitates: every sound is converted to it
// once, as it loads, so decoded music takes half the memory and mixing half
// the time; stereo files are mixed down.
constexpr int CHANNELS = 1;
constexpr int MIXED_EFFECTS = 8; // effects that can sound at once
// A sound file may be a few minutes of music, no more.
constexpr FileLimit SOUND_FILE{"a sound file", size_t{64} << 20};
constexpr int FULL = 100; // a volume setting at its most

// As a sprite's sheets: the INI file and key that named the sound, and the
// sound file's own trouble.
DataError cannotLoad(const std::string& iniName, const std::string& section, const std::string& key,
                     const std::string& path, const std::string& reason) {
    return DataError(iniName, "[" + excerpt(section) + "] " + key + " \"" + excerpt(path) +
                                  "\" cannot be loaded (" + reason + ")");
}

// Music that loops from a point is held decoded, at the device's rate:
// 64 MiB is about twelve minutes of 44.1 kHz mono.
constexpr uint64_t MAX_LOOPED_MUSIC_BYTES = uint64_t{64} << 20;

uint32_t littleEndian(const std::vector<uint8_t>& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | bytes[at + static_cast<size_t>(i)];
    }
    return value;
}

// Where a WAV's sampler chunk ("smpl", as samplers and kcs-sound write it)
// says its first loop starts, with what is needed to find that point once
// SDL has converted the samples.
struct WavLoop {
    uint32_t startFrame = 0;
    uint32_t rate = 0;       // frames per second
    uint32_t frameBytes = 0; // block align
    uint32_t dataBytes = 0;
};

std::optional<WavLoop> wavLoop(const std::vector<uint8_t>& bytes) {
    constexpr size_t RIFF_HEADER = 12;
    constexpr size_t CHUNK_HEADER = 8;
    constexpr size_t FMT_SIZE = 16;
    constexpr size_t SMPL_LOOP_COUNT = 28; // bytes into the chunk
    constexpr size_t SMPL_FIRST_LOOP_START = 44;
    if (bytes.size() < RIFF_HEADER || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    WavLoop loop;
    bool hasFormat = false;
    bool hasLoop = false;
    size_t at = RIFF_HEADER;
    while (at + CHUNK_HEADER <= bytes.size()) {
        const uint8_t* pId = bytes.data() + at;
        size_t size = littleEndian(bytes, at + 4, 4);
        size_t body = at + CHUNK_HEADER;
        if (size > bytes.size() - body) {
            size = bytes.size() - body; // a cut-off file: SDL judges the samples
        }
        if (std::memcmp(pId, "fmt ", 4) == 0 && size >= FMT_SIZE) {
            loop.rate = littleEndian(bytes, body + 4, 4);
            loop.frameBytes = littleEndian(bytes, body + 12, 2);
            hasFormat = true;
        } else if (std::memcmp(pId, "data", 4) == 0) {
            loop.dataBytes = static_cast<uint32_t>(size);
        } else if (std::memcmp(pId, "smpl", 4) == 0 && size >= SMPL_FIRST_LOOP_START + 4 &&
                   littleEndian(bytes, body + SMPL_LOOP_COUNT, 4) > 0) {
            loop.startFrame = littleEndian(bytes, body + SMPL_FIRST_LOOP_START, 4);
            hasLoop = true;
        }
        at = body + size + (size & 1); // chunks are padded to even sizes
    }
    if (!hasFormat || !hasLoop || loop.rate == 0 || loop.frameBytes == 0) {
        return std::nullopt;
    }
    return loop;
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
    startMusic(nullptr);
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
        throw DataError(iniName,
                        "[" + excerpt(section) + "] " + key + " is empty; give a sound file");
    }
    std::vector<uint8_t> bytes;
    try {
        bytes = readFileBytes(path, SOUND_FILE);
    } catch (const DataError& error) {
        throw cannotLoad(iniName, section, key, path, error.what());
    }
    if (bytes.empty()) {
        // SDL_mixer would only say that its memory parameter is invalid.
        throw cannotLoad(iniName, section, key, path, "the file is empty");
    }
    return bytes;
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
    prepareLoop(*pMusic, iniName, section, key);
    if (pMusic->pLooped) {
        return pMusic;
    }
    pMusic->pStream =
        SDL_RWFromConstMem(pMusic->bytes.data(), static_cast<int>(pMusic->bytes.size()));
    pMusic->pMusic = pMusic->pStream != nullptr ? Mix_LoadMUS_RW(pMusic->pStream) : nullptr;
    if (pMusic->pMusic == nullptr) {
        throw cannotLoad(iniName, section, key, pMusic->path,
                         std::string("not music SDL_mixer can play: ") + Mix_GetError());
    }
    return pMusic;
}

void Audio::prepareLoop(Music& music, const std::string& iniName, const std::string& section,
                        const std::string& key) {
    std::optional<WavLoop> loop = wavLoop(music.bytes);
    int rate = 0;
    Uint16 format = 0;
    int channels = 0;
    if (!loop || loop->startFrame == 0 || Mix_QuerySpec(&rate, &format, &channels) == 0 ||
        format != AUDIO_S16SYS) {
        return; // a loop from the start is SDL_mixer's own
    }
    const uint64_t deviceFrameBytes = uint64_t{2} * static_cast<uint64_t>(channels);
    const uint64_t frames = loop->dataBytes / loop->frameBytes;
    if (frames * static_cast<uint64_t>(rate) / loop->rate * deviceFrameBytes >
        MAX_LOOPED_MUSIC_BYTES) {
        throw cannotLoad(iniName, section, key, music.path,
                         "music with a loop point may be at most about twelve minutes");
    }
    if (loop->startFrame >= frames) {
        throw cannotLoad(iniName, section, key, music.path,
                         "its loop point, sample " + std::to_string(loop->startFrame) +
                             ", is not before its end, sample " + std::to_string(frames));
    }
    SDL_RWops* pStream =
        SDL_RWFromConstMem(music.bytes.data(), static_cast<int>(music.bytes.size()));
    music.pLooped.reset(pStream != nullptr ? Mix_LoadWAV_RW(pStream, 1) : nullptr);
    if (!music.pLooped) {
        throw cannotLoad(iniName, section, key, music.path,
                         std::string("not music SDL_mixer can play: ") + Mix_GetError());
    }
    // The same point in the converted samples, on a whole frame.
    uint64_t start =
        uint64_t{loop->startFrame} * static_cast<uint64_t>(rate) / loop->rate * deviceFrameBytes;
    music.loopStart = static_cast<uint32_t>(
        std::min<uint64_t>(start, music.pLooped->alen - music.pLooped->alen % deviceFrameBytes));
    if (music.loopStart >= music.pLooped->alen) {
        music.loopStart = 0;
    }
    music.bytes.clear();
    music.bytes.shrink_to_fit();
}

void SDLCALL Audio::playLoop(void* pData, Uint8* pStream, int length) {
    auto* pPlayer = static_cast<LoopPlayer*>(pData);
    std::memset(pStream, 0, static_cast<size_t>(length));
    if (pPlayer->paused || pPlayer->pChunk == nullptr || pPlayer->pChunk->alen == 0) {
        return;
    }
    const Mix_Chunk& chunk = *pPlayer->pChunk;
    while (length > 0) {
        uint32_t part =
            std::min<uint32_t>(static_cast<uint32_t>(length), chunk.alen - pPlayer->position);
        SDL_MixAudio(pStream, chunk.abuf + pPlayer->position, part, pPlayer->volume);
        pStream += part;
        length -= static_cast<int>(part);
        pPlayer->position += part;
        if (pPlayer->position >= chunk.alen) {
            pPlayer->position = pPlayer->loopStart;
        }
    }
}

void Audio::loadSounds() {
    // Built aside and taken only whole, so a bad file keeps the old sounds.
    std::array<Chunk, SOUND_EVENT_COUNT> effects;
    std::unique_ptr<Music> pMenuMusic;
    m_files = {SOUNDS_FILE};
    // A file the system cannot even look at (a link loop) is read, so its
    // reader's message says why.
    std::error_code unseen;
    if (std::filesystem::exists(SOUNDS_FILE, unseen) || unseen) {
        IniDictionary file(SOUNDS_FILE);
        for (size_t i = 0; i < SOUND_EVENT_COUNT; ++i) {
            const char* pKey = SOUND_EVENT_NAMES[i];
            if (!file.hasKey(pKey, EFFECTS_SECTION)) {
                continue;
            }
            m_files.push_back(file.getString(pKey, EFFECTS_SECTION, ""));
            std::string path;
            std::vector<uint8_t> bytes = readNamed(file, SOUNDS_FILE, EFFECTS_SECTION, pKey, path);
            if (!m_open) {
                continue;
            }
            SDL_RWops* pStream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
            effects[i].reset(pStream != nullptr ? Mix_LoadWAV_RW(pStream, 1) : nullptr);
            if (!effects[i]) {
                throw cannotLoad(SOUNDS_FILE, EFFECTS_SECTION, pKey, path,
                                 std::string("not a sound SDL_mixer can load: ") + Mix_GetError());
            }
        }
        if (file.hasKey("menu", MUSIC_SECTION)) {
            // Loaded now, so a bad file stops the game before the menu shows.
            m_files.push_back(file.getString("menu", MUSIC_SECTION, ""));
            pMenuMusic = loadMusicFile(file, SOUNDS_FILE, MUSIC_SECTION, "menu");
        }
    }
    if (m_open) {
        Mix_HaltChannel(-1); // no channel may still play a chunk freed here
    }
    m_effects = std::move(effects);
    if (m_pPlaying != nullptr && m_pPlaying == m_pMenuMusic.get()) {
        startMusic(nullptr);
    }
    // Checked, but not held where the menu is not shown.
    m_pMenuMusic = m_menuMusicLetGo ? nullptr : std::move(pMenuMusic);
}

void Audio::loadMusic(const IniDictionary& file, const std::string& iniName,
                      const std::string& section, const std::string& key) {
    loadMusicFile(file, iniName, section, key);
}

void Audio::startMusic(const Music* pMusic) {
    if (!m_open) {
        return;
    }
    Mix_HookMusic(nullptr, nullptr);
    Mix_HaltMusic();
    m_pPlaying = pMusic;
    if (pMusic == nullptr) {
        return;
    }
    if (pMusic->pLooped) {
        SDL_LockAudio();
        m_loopPlayer.pChunk = pMusic->pLooped.get();
        m_loopPlayer.position = 0;
        m_loopPlayer.loopStart = pMusic->loopStart;
        m_loopPlayer.paused = m_paused;
        SDL_UnlockAudio();
        Mix_HookMusic(playLoop, &m_loopPlayer);
        return;
    }
    Mix_PlayMusic(pMusic->pMusic, -1);
    if (m_paused) {
        Mix_PauseMusic();
    }
}

void Audio::playMenuMusic() {
    if (m_menuMusicLetGo) {
        m_menuMusicLetGo = false;
        loadSounds();
    }
    startMusic(m_pMenuMusic.get());
}

void Audio::playLevelMusic(const IniDictionary& levels, const std::string& levelName) {
    // The menu's music is let go while a level plays, so two pieces of
    // decoded music are never held; it is loaded again for the menu.
    if (m_pMenuMusic) {
        if (m_pPlaying == m_pMenuMusic.get()) {
            startMusic(nullptr);
        }
        m_pMenuMusic.reset();
        m_menuMusicLetGo = true;
    }
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
    SDL_LockAudio();
    m_loopPlayer.paused = paused;
    SDL_UnlockAudio();
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
    SDL_LockAudio();
    m_loopPlayer.volume = mixerVolume(volume, m_settings.music);
    SDL_UnlockAudio();
    Mix_Volume(-1, mixerVolume(volume, m_settings.effects));
}
