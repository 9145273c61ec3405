#include "engine/Audio.h"

#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/SoundFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define KCS_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KCS_LEAK_CHECK 1
#endif
#endif
#ifdef KCS_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Mono, as the consoles the game imitates: every sound is converted to it
// once, as it loads, so decoded music takes half the memory and mixing half
// the time; stereo files are mixed down.
constexpr Uint8 MONO = 1;
// A sound file may be a few minutes of music, no more.
constexpr FileLimit SOUND_FILE{"a sound file", size_t{64} << 20};
constexpr int FULL = 100; // a volume setting at its most

// As a sprite's sheets: the INI file and key that named the sound, and the
// sound file's own trouble.
DataError cannotLoad(const SoundSource& source, const std::string& reason) {
    return DataError(source.iniName, "[" + excerpt(source.section) + "] " + source.key + " \"" +
                                         excerpt(source.path) + "\" cannot be loaded (" + reason +
                                         ")");
}

int mixerVolume(int volume, int part) {
    return SDL_MIX_MAXVOLUME * std::clamp(volume, 0, FULL) / FULL * std::clamp(part, 0, FULL) /
           FULL;
}

// Adds `count` samples, scaled by `volume` (of SDL_MIX_MAXVOLUME), to what
// `pOut` holds, saturating: SDL_MixAudio's arithmetic for 16-bit samples,
// which this mixer replaced, so the game sounds as it did.
void mixInto(int16_t* pOut, const int16_t* pIn, size_t count, int volume) {
    if (volume == 0) {
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const int sum = pOut[i] + pIn[i] * volume / SDL_MIX_MAXVOLUME;
        pOut[i] = static_cast<int16_t>(std::clamp<int>(sum, INT16_MIN, INT16_MAX));
    }
}

} // namespace

Audio::Audio(FileRegistry& files, const AudioSettings& settings, SoundListReader readSounds)
    : m_registry(files), m_settings(settings), m_readSounds(std::move(readSounds)) {
    if (!m_settings.mute) {
        openDevice();
    }
    applyVolumes();
}

Audio::~Audio() {
    if (!m_open) {
        return;
    }
    if (m_leftToExit) {
        // Silent from the next callback on, which then reads only the
        // mixer, never a sound: those are freed after this. The mixer is
        // left to the exit with the device, still named by SDL's callback.
        SDL_LockAudio();
        m_pMixer->music = Voice{};
        m_pMixer->effects.fill(Voice{});
        SDL_UnlockAudio();
        static_cast<void>(m_pMixer.release());
        return;
    }
    // Closing waits for the audio thread, so the callback never reads a
    // sound freed after this.
    SDL_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool Audio::openDevice() {
    if (m_openTried) {
        return m_open;
    }
    m_openTried = true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "kcs: no sound: %s; playing silently\n", SDL_GetError());
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = FREQUENCY;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = MONO;
    wanted.samples = BUFFER_SAMPLES;
    wanted.callback = mix;
    wanted.userdata = m_pMixer.get();
    // The device as it is, when it takes our samples as they are, in mono
    // or in stereo: SDL's conversion to another format is one more stage
    // each buffer waits in (the fastest key-to-sound run went from 14.6 to
    // 11.3 ms without it). Otherwise SDL converts from ours.
    SDL_AudioSpec obtained{};
    bool opened = SDL_OpenAudio(&wanted, &obtained) == 0;
    if (opened && (obtained.freq != FREQUENCY || obtained.format != AUDIO_S16SYS ||
                   obtained.channels < 1 || obtained.channels > 2)) {
        SDL_CloseAudio();
        obtained = wanted;
        opened = SDL_OpenAudio(&wanted, nullptr) == 0;
    }
    if (!opened) {
        std::fprintf(stderr, "kcs: no sound: %s; playing silently\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m_pMixer->outputChannels = obtained.channels;
    m_open = true;
    SDL_PauseAudio(0);
    return true;
}

std::unique_ptr<Audio::Sound> Audio::loadSound(const SoundSource& source, bool music) {
    const std::string& path = source.path;
    if (path.empty()) {
        throw DataError(source.iniName, "[" + excerpt(source.section) + "] " + source.key +
                                            " is empty; give a sound file");
    }
    try {
        // Decoded from the text as read: a copy of a whole piece of music
        // is a few milliseconds of fresh pages before the first frame.
        const LargeText text = readLargeFile(m_registry, path, SOUND_FILE);
        if (text.empty()) {
            throw SoundFileError("the file is empty");
        }
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()),
                                             text.size());
        return std::make_unique<Sound>(decodeSound(bytes, music ? MUSIC_BOUND : EFFECT_BOUND));
    } catch (const DataError& error) {
        throw cannotLoad(source, error.what());
    } catch (const SoundFileError& error) {
        throw cannotLoad(source, error.what());
    }
}

void SDLCALL Audio::mix(void* pData, Uint8* pStream, int length) {
    auto* pMixer = static_cast<Mixer*>(pData);
    auto* pOut = reinterpret_cast<int16_t*>(pStream);
    const auto outputChannels = static_cast<size_t>(pMixer->outputChannels);
    const size_t count = static_cast<size_t>(length) / sizeof(int16_t) / outputChannels;
    std::fill(pOut, pOut + count * outputChannels, int16_t{0});
    // The music first, looping from its loop point, then each effect.
    const Sound* pMusic = pMixer->music.pSound;
    if (!pMixer->musicPaused && pMusic != nullptr && !pMusic->samples.empty()) {
        size_t& position = pMixer->music.position;
        for (size_t done = 0; done < count;) {
            const size_t part = std::min(count - done, pMusic->samples.size() - position);
            mixInto(pOut + done, pMusic->samples.data() + position, part, pMixer->musicVolume);
            done += part;
            position += part;
            if (position >= pMusic->samples.size()) {
                position = pMusic->loopStart;
            }
        }
    }
    for (Voice& effect : pMixer->effects) {
        if (effect.pSound == nullptr) {
            continue;
        }
        const LargeVector<int16_t>& samples = effect.pSound->samples;
        const size_t part = std::min(count, samples.size() - effect.position);
        mixInto(pOut, samples.data() + effect.position, part, pMixer->effectsVolume);
        effect.position += part;
        if (effect.position >= samples.size()) {
            effect = Voice{};
        }
    }
    // Mixed in the first half of a stereo buffer, spread from its end.
    if (outputChannels == 2) {
        for (size_t i = count; i-- > 0;) {
            pOut[2 * i] = pOut[i];
            pOut[2 * i + 1] = pOut[i];
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
    stopEffects(); // no channel may still play an effect freed here
    m_effects = std::move(effects);
    // The objects' own sounds load again with the level that names them.
    m_ownSounds.clear();
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
    // The callback stays in place; only what it plays changes, under the lock.
    if (m_open) {
        SDL_LockAudio();
    }
    m_pMixer->music = Voice{pMusic, 0};
    m_pMixer->musicPaused = m_paused;
    if (m_open) {
        SDL_UnlockAudio();
    }
    m_pPlaying = pMusic;
}

void Audio::stopEffects() {
    if (m_open) {
        SDL_LockAudio();
    }
    m_pMixer->effects.fill(Voice{});
    if (m_open) {
        SDL_UnlockAudio();
    }
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
    startEffect(m_effects[static_cast<size_t>(event)].get());
}

int32_t Audio::loadOwnSound(const SoundSource& source) {
    for (size_t i = 0; i < m_ownSounds.size(); ++i) {
        if (m_ownSounds[i].first == source.path) {
            return static_cast<int32_t>(i);
        }
    }
    m_ownSounds.emplace_back(source.path, loadSound(source, false));
    return static_cast<int32_t>(m_ownSounds.size() - 1);
}

void Audio::playSound(int32_t number) {
    if (number >= 0 && static_cast<size_t>(number) < m_ownSounds.size()) {
        startEffect(m_ownSounds[static_cast<size_t>(number)].second.get());
    }
}

void Audio::startEffect(const Sound* pSound) {
    if (!m_open || pSound == nullptr || m_settings.mute) {
        return;
    }
    // The first free channel takes it, from the next callback on; with all
    // eight busy the effect is not heard.
    SDL_LockAudio();
    for (Voice& effect : m_pMixer->effects) {
        if (effect.pSound == nullptr) {
            effect = Voice{pSound, 0};
            break;
        }
    }
    SDL_UnlockAudio();
}

void Audio::setPaused(bool paused) {
    if (paused == m_paused) {
        return;
    }
    m_paused = paused;
    if (m_open) {
        SDL_LockAudio();
    }
    m_pMixer->musicPaused = paused;
    if (m_open) {
        SDL_UnlockAudio();
    }
}

void Audio::toggleMute() {
    m_settings.mute = !m_settings.mute;
    if (m_settings.mute) {
        stopEffects();
    } else {
        // Muted from the start, the device opens only now.
        openDevice();
    }
    applyVolumes();
}

void Audio::applyVolumes() {
    int volume = m_settings.mute ? 0 : m_settings.volume;
    if (m_open) {
        SDL_LockAudio();
    }
    m_pMixer->musicVolume = mixerVolume(volume, m_settings.music);
    m_pMixer->effectsVolume = mixerVolume(volume, m_settings.effects);
    if (m_open) {
        SDL_UnlockAudio();
    }
}

void endProcess(int status) {
    std::fflush(nullptr);
#ifdef KCS_LEAK_CHECK
    __lsan_do_leak_check();
#endif
    std::_Exit(status);
}
