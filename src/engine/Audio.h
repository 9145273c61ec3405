// The game's sound: effects for the sound events and looping music, loaded
// from the files "sounds.ini" and "levels.ini" name and played by SDL_mixer.
// Every file is optional; without a sound device the game plays silently.
#pragma once

#include "engine/SoundEvent.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <array>
#include <memory>
#include <string>
#include <vector>

class IniDictionary;

struct AudioSettings {
    bool mute = false; // --mute, or the mute key
    int volume = 100;  // 0 to 100: --volume, or [Audio] volume of controls.ini
    int music = 100;   // 0 to 100, of the volume
    int effects = 100; // 0 to 100, of the volume
};

class Audio {
public:
    static constexpr int FREQUENCY = 44100; // Hz
    static constexpr int BUFFER_SAMPLES = 1024;

    // Opens the sound device. When it cannot, says so in one line on
    // standard error and stays silent; nothing else changes.
    explicit Audio(const AudioSettings& settings);
    ~Audio();
    Audio(const Audio&) = delete;
    Audio& operator=(const Audio&) = delete;

    bool isOpen() const { return m_open; }

    // Loads the effects and the menu music "sounds.ini" names, when the data
    // has that file; called again, it takes the file's new contents. Throws
    // DataError naming the file and the key, and then keeps what it had.
    void loadSounds();
    // The files the last loadSounds read or tried to, "sounds.ini" first
    // even when there is none, for --watch.
    const std::vector<std::string>& soundFiles() const { return m_files; }
    // Loads a file a key names (a level's music): throws DataError naming
    // the INI file, section and key when it cannot be loaded.
    void loadMusic(const IniDictionary& file, const std::string& iniName,
                   const std::string& section, const std::string& key);

    // Plays the menu's music, or a level's; with no file named, the music
    // stops. The music loops. A level's music lets the menu's go.
    void playMenuMusic();
    void playLevelMusic(const IniDictionary& levels, const std::string& levelName);
    void play(SoundEvent event);
    void setPaused(bool paused);
    void toggleMute();

private:
    struct ChunkDeleter {
        void operator()(Mix_Chunk* pChunk) const { Mix_FreeChunk(pChunk); }
    };
    using Chunk = std::unique_ptr<Mix_Chunk, ChunkDeleter>;
    // A piece of music: streamed by SDL_mixer, or, for a WAV that marks a
    // loop point, decoded whole and played by our hook so that it loops
    // from that point to its end without a gap.
    struct Music {
        std::string path;
        std::vector<uint8_t> bytes;   // SDL_mixer reads streamed music from here as it plays
        SDL_RWops* pStream = nullptr; // over bytes; SDL_mixer streams from it but leaves it to us
        Mix_Music* pMusic = nullptr;
        Chunk pLooped;
        uint32_t loopStart = 0; // bytes into pLooped's samples
        ~Music() {
            Mix_FreeMusic(pMusic);
            if (pStream != nullptr) {
                SDL_RWclose(pStream);
            }
        }
    };
    // What the audio thread's hook reads; changed only under SDL's audio lock.
    struct LoopPlayer {
        const Mix_Chunk* pChunk = nullptr;
        uint32_t position = 0; // bytes
        uint32_t loopStart = 0;
        bool paused = false;
        int volume = MIX_MAX_VOLUME;
    };
    static void SDLCALL playLoop(void* pPlayer, Uint8* pStream, int length);

    // The file a key names, read whole; throws DataError naming the key when
    // the key is empty or the file cannot be read.
    std::vector<uint8_t> readNamed(const IniDictionary& file, const std::string& iniName,
                                   const std::string& section, const std::string& key,
                                   std::string& path);
    std::unique_ptr<Music> loadMusicFile(const IniDictionary& file, const std::string& iniName,
                                         const std::string& section, const std::string& key);
    // When the bytes are a WAV whose sampler chunk marks a loop point, the
    // music is decoded whole for the hook; otherwise SDL_mixer streams it.
    void prepareLoop(Music& music, const std::string& iniName, const std::string& section,
                     const std::string& key);
    // Plays the music from its start, looping; null stops the music.
    void startMusic(const Music* pMusic);
    void applyVolumes();

    AudioSettings m_settings;
    bool m_open = false;
    bool m_paused = false;
    std::array<Chunk, SOUND_EVENT_COUNT> m_effects;
    std::unique_ptr<Music> m_pMenuMusic;  // loaded with the effects
    bool m_menuMusicLetGo = false;        // while a level plays
    std::unique_ptr<Music> m_pLevelMusic; // the running level's
    const Music* m_pPlaying = nullptr;
    std::vector<std::string> m_files;
    LoopPlayer m_loopPlayer;
};
