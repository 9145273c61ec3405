#include "engine/Audio.h"

#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/SoundFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Mono, as the consoles the game imitates: every sound is converted to it
// once, as it loads, so decoded music takes half the memory and mixing half
// the time; stereo files are mixed down.
constexpr int CHANNELS = 1;
constexpr int MIXED_EFFECTS = 8; // effects that can sound at once
// A sound file may be a few minutes of music, no more.
constexpr FileLimit SOUND_FILE{"a sound file", size_t{64} << 20};
constexpr int FULL = 100; // a volume setting at its most
// SDL 1.2's audio formats keep their bits per sample in the low byte.
constexpr Uint16 AUDIO_BITS_MASK = 0xFF;

// As a sprite's sheets: the INI file and key that named the sound, and the
// sound file's own trouble.
DataError cannotLoad(const SoundSource& source, const std::string& reason) {
    return DataError(source.iniName, "[" + excerpt(source.section) + "] " + source.key + " \"" +
                                         excerpt(source.path) + "\" cannot be loaded (" + reason +
                                         ")");
}

int mixerVolume(int volume, int part) {
    return MIX_MAX_VOLUME * std::clamp(volume, 0, FULL) / FULL * std::clamp(part, 0, FULL) / FULL;
}

} // namespace

Audio::Audio(FileRegistry& files, const AudioSettings& settings, SoundListReader readSounds)
    : m_registry(files), m_settings(settings), m_readSounds(std::move(readSounds)) {
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
    Mix_HookMusic(playLoop, &m_loopPlayer);
    m_open = true;
    applyVolumes();
}

Audio::~Audio() {
    if (!m_open) {
        return;
    }
    Mix_HaltChannel(-1);
    Mix_HookMusic(nullptr, nullptr);
    m_pMenuMusic.reset();
    m_pLevelMusic.reset();
    for (std::unique_ptr<Sound>& pEffect : m_effects) {
        pEffect.reset();
    }
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::unique_ptr<Audio::Sound> Audio::loadSound(const SoundSource& source, bool music) {
    const std::string& path = source.path;
    if (path.empty()) {
        throw DataError(source.iniName, "[" + excerpt(source.section) + "] " + source.key +
                                            " is empty; give a sound file");
    }
    DecodedSound decoded;
    try {
        std::vector<uint8_t> bytes = readFileBytes(m_registry, path, SOUND_FILE);
        if (bytes.empty()) {
            throw SoundFileError("the file is empty");
        }
        decoded = decodeSound(bytes, music ? MUSIC_BOUND : EFFECT_BOUND);
    } catch (const DataError& error) {
        throw cannotLoad(source, error.what());
    } catch (const SoundFileError& error) {
        throw cannotLoad(source, error.what());
    }
    if (!m_open) {
        return nullptr;
    }
    auto pSound = std::make_unique<Sound>();
    int rate = 0;
    Uint16 format = 0;
    int channels = 0;
    Mix_QuerySpec(&rate, &format, &channels);
    const size_t sampleBytes = decoded.samples.size() * sizeof(int16_t);
    if (rate == FREQUENCY && format == AUDIO_S16SYS && channels == CHANNELS) {
        pSound->buffer = std::move(decoded.samples);
        pSound->length = static_cast<uint32_t>(sampleBytes);
        pSound->loopStart = decoded.loopStart * static_cast<uint32_t>(sizeof(int16_t));
    } else {
        // A device that did not open as asked: SDL converts from the rate
        // and format we decode to, which are always the same.
        SDL_AudioCVT convert;
        if (SDL_BuildAudioCVT(&convert, AUDIO_S16SYS, CHANNELS, FREQUENCY, format,
                              static_cast<Uint8>(channels), rate) < 0) {
            throw cannotLoad(source, std::string("the sound device's format: ") + SDL_GetError());
        }
        pSound->buffer.resize((sampleBytes * static_cast<size_t>(convert.len_mult) + 1) / 2);
        std::memcpy(pSound->buffer.data(), decoded.samples.data(), sampleBytes);
        decoded.samples = {};
        convert.buf = reinterpret_cast<Uint8*>(pSound->buffer.data());
        convert.len = static_cast<int>(sampleBytes);
        SDL_ConvertAudio(&convert);
        pSound->length = static_cast<uint32_t>(convert.len_cvt);
        // The same point in the converted samples, on a whole frame.
        const uint64_t frameBytes =
            static_cast<uint64_t>(format & AUDIO_BITS_MASK) / 8 * static_cast<uint64_t>(channels);
        const uint64_t start =
            uint64_t{decoded.loopStart} * static_cast<uint64_t>(rate) / FREQUENCY * frameBytes;
        pSound->loopStart = start < pSound->length ? static_cast<uint32_t>(start) : 0;
    }
    if (!music) {
        pSound->pChunk.reset(
            Mix_QuickLoad_RAW(const_cast<Uint8*>(pSound->bytes()), pSound->length));
        if (!pSound->pChunk) {
            throw cannotLoad(source, std::string("SDL_mixer: ") + Mix_GetError());
        }
    }
    return pSound;
}

void SDLCALL Audio::playLoop(void* pData, Uint8* pStream, int length) {
    auto* pPlayer = static_cast<LoopPlayer*>(pData);
    std::memset(pStream, 0, static_cast<size_t>(length));
    if (pPlayer->paused || pPlayer->pMusic == nullptr || pPlayer->pMusic->length == 0) {
        return;
    }
    const Sound& music = *pPlayer->pMusic;
    while (length > 0) {
        uint32_t part =
            std::min<uint32_t>(static_cast<uint32_t>(length), music.length - pPlayer->position);
        SDL_MixAudio(pStream, music.bytes() + pPlayer->position, part, pPlayer->volume);
        pStream += part;
        length -= static_cast<int>(part);
        pPlayer->position += part;
        if (pPlayer->position >= music.length) {
            pPlayer->position = music.loopStart;
        }
    }
}

void Audio::loadSounds() {
    // Built aside and taken only whole, so a bad file keeps the old sounds.
    std::array<std::unique_ptr<Sound>, SOUND_EVENT_COUNT> effects;
    std::unique_ptr<Sound> pMenuMusic;
    SoundList list;
    try {
        m_readSounds(m_registry, list);
    } catch (...) {
        m_files = std::move(list.files);
        throw;
    }
    m_files = list.files;
    for (size_t i = 0; i < SOUND_EVENT_COUNT; ++i) {
        if (list.effects[i]) {
            effects[i] = loadSound(*list.effects[i], false);
        }
    }
    if (list.menuMusic) {
        // Loaded now, so a bad file stops the game before the menu shows.
        pMenuMusic = loadSound(*list.menuMusic, true);
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

void Audio::loadMusic(const SoundSource& source) {
    loadSound(source, true);
}

void Audio::startMusic(const Sound* pMusic) {
    if (!m_open) {
        return;
    }
    // The hook stays in place; only what it plays changes, under the lock.
    SDL_LockAudio();
    m_loopPlayer.pMusic = pMusic;
    m_loopPlayer.position = 0;
    m_loopPlayer.paused = m_paused;
    SDL_UnlockAudio();
    m_pPlaying = pMusic;
}

void Audio::playMenuMusic() {
    if (m_menuMusicLetGo) {
        m_menuMusicLetGo = false;
        loadSounds();
    }
    startMusic(m_pMenuMusic.get());
}

void Audio::playLevelMusic(const std::optional<SoundSource>& music) {
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
    std::unique_ptr<Sound> pMusic;
    if (music) {
        pMusic = loadSound(*music, true);
    }
    startMusic(nullptr);
    m_pLevelMusic = std::move(pMusic);
    startMusic(m_pLevelMusic.get());
}

void Audio::play(SoundEvent event) {
    const Sound* pSound = m_effects[static_cast<size_t>(event)].get();
    if (m_open && pSound != nullptr && !m_settings.mute) {
        Mix_PlayChannel(-1, pSound->pChunk.get(), 0);
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
    SDL_LockAudio();
    m_loopPlayer.volume = mixerVolume(volume, m_settings.music);
    SDL_UnlockAudio();
    Mix_Volume(-1, mixerVolume(volume, m_settings.effects));
}
