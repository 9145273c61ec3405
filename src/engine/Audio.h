// The game's sound: effects for the sound events and looping music, loaded
// from the files "sounds.ini" and "levels.ini" name (read one layer up, by
// config/SoundsFile.h), decoded by SoundFile and mixed here, in SDL's audio
// callback: eight effect channels over the music, with no mixing library.
// Every file is optional; without a sound device the game plays silently.
#pragma once

#include "engine/SoundEvent.h"
#include "engine/SoundFile.h"

#include <SDL.h>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class FileRegistry;

struct AudioSettings {
    bool mute = false; // --mute, or the mute key
    int volume = 100;  // 0 to 100: --volume, or [Audio] volume of controls.ini
    int music = 100;   // 0 to 100, of the volume
    int effects = 100; // 0 to 100, of the volume
};

// A sound file as an INI file names it: the path the key gives (empty for an
// empty key), and the file, section and key, for messages.
struct SoundSource {
    std::string path;
    std::string iniName;
    std::string section;
    std::string key;
};

// What the sounds file names: an effect for any sound event, and the menu's
// music.
struct SoundList {
    // The sounds file first, even when there is none, then each file named:
    // what --watch looks at.
    std::vector<std::string> files;
    std::array<std::optional<SoundSource>, SOUND_EVENT_COUNT> effects;
    std::optional<SoundSource> menuMusic;
};
// Fills the list as it reads through the run's registry, so that the files
// named so far are known even when it throws DataError.
using SoundListReader = std::function<void(FileRegistry& files, SoundList& list)>;

class Audio {
public:
    static constexpr int FREQUENCY = static_cast<int>(SOUND_RATE); // Hz
    // Samples per callback: an effect raised in a frame waits for the next
    // callback, up to one buffer (11.6 ms at 44.1 kHz); docs/PERFORMANCE.md
    // says why this size.
    static constexpr int BUFFER_SAMPLES = 128;
    static constexpr int CHANNELS = 8; // effects that can sound at once

    // Opens the sound device unless muted; muted, it opens it only when the
    // sound is switched on. When it cannot, says so in one line on standard
    // error and stays silent; nothing else changes. `readSounds` reads the
    // sounds file, each time the sounds load; every file is read through
    // `files`, the run's, which must outlive the audio.
    Audio(FileRegistry& files, const AudioSettings& settings, SoundListReader readSounds);
    ~Audio();
    Audio(const Audio&) = delete;
    Audio& operator=(const Audio&) = delete;

    bool isOpen() const { return m_open; }
    // For the end of the process: from here on the device is left running,
    // silent, and the exit ends it; closing it would wait for the audio
    // thread to finish its buffer and then sleep two more (SDL's drain).
    // The engine then quits every SDL subsystem but the sound, and the
    // process must end through endProcess.
    void leaveRunningToExit() { m_leftToExit = m_open; }
    bool isLeftToExit() const { return m_leftToExit; }

    // Loads the effects and the menu music "sounds.ini" names, when the data
    // has that file; called again, it takes the file's new contents. Throws
    // DataError naming the file and the key, and then keeps what it had.
    void loadSounds();
    // The files the last loadSounds read or found named, "sounds.ini" first
    // even when there is none, for --watch.
    const std::vector<std::string>& soundFiles() const { return m_files; }
    // Loads a file a key names (a level's music): throws DataError naming
    // the INI file, section and key when it cannot be loaded.
    void loadMusic(const SoundSource& source);

    // Plays the menu's music, or a level's; with no file named, the music
    // stops. The music loops. A level's music lets the menu's go.
    void playMenuMusic();
    void playLevelMusic(const std::optional<SoundSource>& music);
    void play(SoundEvent event);
    // A sound of its own for an event of one kind of object, loaded once per
    // file and kept until the sounds load again; its number for playSound.
    // Throws DataError naming the INI file, section and key.
    int32_t loadOwnSound(const SoundSource& source);
    void playSound(int32_t number);
    void setPaused(bool paused);
    void toggleMute();

private:
    // A decoded sound: mono 16-bit samples at FREQUENCY, which is what the
    // device is opened for (SDL converts to the hardware's format).
    using Sound = DecodedSound;
    // A sound being played, from `position` (samples).
    struct Voice {
        const Sound* pSound = nullptr;
        size_t position = 0;
    };
    // What the audio thread's callback reads; changed only under SDL's
    // audio lock. It is let go with the device, never before: left to the
    // exit, it outlives the audio, as the device does.
    struct Mixer {
        Voice music;
        bool musicPaused = false;
        std::array<Voice, CHANNELS> effects;
        int musicVolume = SDL_MIX_MAXVOLUME;   // 0 to SDL_MIX_MAXVOLUME
        int effectsVolume = SDL_MIX_MAXVOLUME; // 0 to SDL_MIX_MAXVOLUME
        int outputChannels = 1; // the device's: a stereo one hears the mono mix on both
    };
    static void SDLCALL mix(void* pData, Uint8* pStream, int length);

    // Opens the device, once; false when it cannot.
    bool openDevice();
    // The sound a key names, read whole, checked and decoded even with no
    // device, so that --check finds every bad file. Throws DataError naming
    // the INI file, section and key.
    std::unique_ptr<Sound> loadSound(const SoundSource& source, bool music);
    // Plays the music from its start, looping; null stops the music.
    void startMusic(const Sound* pMusic);
    // Stops every effect, so that none still plays a sound about to be freed.
    void stopEffects();
    // On the first free channel; with all of them busy it is not heard.
    void startEffect(const Sound* pSound);
    void applyVolumes();

    FileRegistry& m_registry;
    AudioSettings m_settings;
    SoundListReader m_readSounds;
    bool m_open = false;
    bool m_openTried = false;
    bool m_leftToExit = false;
    bool m_paused = false;
    std::array<std::unique_ptr<Sound>, SOUND_EVENT_COUNT> m_effects;
    std::unique_ptr<Sound> m_pMenuMusic;  // loaded with the effects
    bool m_menuMusicLetGo = false;        // while a level plays
    std::unique_ptr<Sound> m_pLevelMusic; // the running level's
    const Sound* m_pPlaying = nullptr;
    std::vector<std::string> m_files;
    std::vector<std::pair<std::string, std::unique_ptr<Sound>>> m_ownSounds; // by path
    std::unique_ptr<Mixer> m_pMixer = std::make_unique<Mixer>();
};

// Ends the process with `status` without running the libraries' teardown:
// sdl12-compat's would unload SDL 2 under an audio thread left running, which
// then calls into nothing. Everything of ours is closed by then; a sanitizer
// build still checks for leaks first, as its own exit would.
[[noreturn]] void endProcess(int status);
