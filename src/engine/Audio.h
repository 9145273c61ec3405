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
    // has that file. Throws DataError naming the file and the key.
    void loadSounds();
    // Loads a file a key names (a level's music): throws DataError naming
    // the INI file, section and key when it cannot be loaded.
    void loadMusic(const IniDictionary& file, const std::string& iniName,
                   const std::string& section, const std::string& key);

    // Plays the menu's music, or a level's; with no file named, the music
    // stops. The music loops.
    void playMenuMusic();
    void playLevelMusic(const IniDictionary& levels, const std::string& levelName);
    void play(SoundEvent event);
    void setPaused(bool paused);
    void toggleMute();

private:
    struct Music {
        std::string path;
        std::vector<uint8_t> bytes; // SDL_mixer reads the music from here as it plays
        Mix_Music* pMusic = nullptr;
        ~Music() { Mix_FreeMusic(pMusic); }
    };
    struct ChunkDeleter {
        void operator()(Mix_Chunk* pChunk) const { Mix_FreeChunk(pChunk); }
    };
    using Chunk = std::unique_ptr<Mix_Chunk, ChunkDeleter>;

    // The file a key names, read whole; throws DataError naming the key when
    // the key is empty or the file cannot be read.
    std::vector<uint8_t> readNamed(const IniDictionary& file, const std::string& iniName,
                                   const std::string& section, const std::string& key,
                                   std::string& path);
    std::unique_ptr<Music> loadMusicFile(const IniDictionary& file, const std::string& iniName,
                                         const std::string& section, const std::string& key);
    // Plays the music from its start, looping; null stops the music.
    void startMusic(const Music* pMusic);
    void applyVolumes();

    AudioSettings m_settings;
    bool m_open = false;
    bool m_paused = false;
    std::array<Chunk, SOUND_EVENT_COUNT> m_effects;
    std::unique_ptr<Music> m_pMenuMusic;  // loaded once, with the effects
    std::unique_ptr<Music> m_pLevelMusic; // the running level's
};
