// The game's sound: effects for the sound events and looping music, loaded
// from the files "sounds.ini" and "levels.ini" name (read one layer up, by
// config/SoundsFile.h), decoded by SoundFile and mixed by SDL_mixer, which
// never reads a file itself.
// Every file is optional; without a sound device the game plays silently.
#pragma once

#include "engine/SoundEvent.h"
#include "engine/SoundFile.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
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
    static constexpr int BUFFER_SAMPLES = 1024;

    // Opens the sound device. When it cannot, says so in one line on
    // standard error and stays silent; nothing else changes. `readSounds`
    // reads the sounds file, each time the sounds load; every file is read
    // through `files`, the run's, which must outlive the audio.
    Audio(FileRegistry& files, const AudioSettings& settings, SoundListReader readSounds);
    ~Audio();
    Audio(const Audio&) = delete;
    Audio& operator=(const Audio&) = delete;

    bool isOpen() const { return m_open; }

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
    void setPaused(bool paused);
    void toggleMute();

private:
    struct ChunkDeleter {
        void operator()(Mix_Chunk* pChunk) const { Mix_FreeChunk(pChunk); }
    };
    using Chunk = std::unique_ptr<Mix_Chunk, ChunkDeleter>;
    // A decoded sound as the device plays it. The samples are 16-bit words
    // only as a buffer: a device of another format gets its own bytes.
    struct Sound {
        std::vector<int16_t> buffer;
        uint32_t length = 0;    // bytes of the buffer that are samples
        uint32_t loopStart = 0; // bytes; music loops from here to its end
        Chunk pChunk;           // an effect's, over the buffer; freed before it
        const Uint8* bytes() const { return reinterpret_cast<const Uint8*>(buffer.data()); }
    };
    // What the audio thread's hook reads; changed only under SDL's audio lock.
    struct LoopPlayer {
        const Sound* pMusic = nullptr;
        uint32_t position = 0; // bytes
        bool paused = false;
        int volume = MIX_MAX_VOLUME;
    };
    static void SDLCALL playLoop(void* pData, Uint8* pStream, int length);

    // The sound a key names, read whole, checked and decoded even with no
    // device, so that --check finds every bad file; null with no device.
    // Throws DataError naming the INI file, section and key.
    std::unique_ptr<Sound> loadSound(const SoundSource& source, bool music);
    // Plays the music from its start, looping; null stops the music.
    void startMusic(const Sound* pMusic);
    void applyVolumes();

    FileRegistry& m_registry;
    AudioSettings m_settings;
    SoundListReader m_readSounds;
    bool m_open = false;
    bool m_paused = false;
    std::array<std::unique_ptr<Sound>, SOUND_EVENT_COUNT> m_effects;
    std::unique_ptr<Sound> m_pMenuMusic;  // loaded with the effects
    bool m_menuMusicLetGo = false;        // while a level plays
    std::unique_ptr<Sound> m_pLevelMusic; // the running level's
    const Sound* m_pPlaying = nullptr;
    std::vector<std::string> m_files;
    LoopPlayer m_loopPlayer;
};
