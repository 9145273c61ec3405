// The one object that talks to SDL for the game: window, drawing primitives,
// camera, and the translation of SDL's events into the input rules' calls.
#pragma once

#include "engine/BitmapCache.h"
#include "engine/DataError.h"
#include "engine/GameInput.h"
#include "engine/InputRules.h"
#include "engine/KeyState.h"
#include "engine/Screen.h"
#include "engine/SoundEvent.h"
#include "engine/Surface.h"

#include <SDL.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Audio;
class FileRegistry;
class Font;
class GameEngine;

extern GameEngine* gEngine;

// The font is the graphics layer's, above this one: the engine holds it and
// builds it right after the window through the loader it is given, and lets
// it go through the loader's own deleter, without knowing its type.
struct FontDeleter {
    void (*destroy)(Font* pFont) = nullptr;
    void operator()(Font* pFont) const { destroy(pFont); }
};
using FontHandle = std::unique_ptr<Font, FontDeleter>;
using FontLoader = FontHandle (*)(GameEngine* pEngine);

// Told about every surface the engine loads or creates and every blit, fill
// and present it makes, so a benchmark can replay the same drawing on bare
// SDL. Without an observer the engine pays one null test per call.
class BlitObserver {
public:
    virtual ~BlitObserver() = default;
    virtual void bitmapLoaded(const SDL_Surface* pSurface, const std::string& path) = 0;
    virtual void surfaceCreated(const SDL_Surface* pSurface, int width, int height) = 0;
    // A null source rectangle means the whole source.
    virtual void blitted(const SDL_Surface* pSource, const SDL_Rect* pSourceRect,
                         const SDL_Surface* pTarget, Sint16 x, Sint16 y) = 0;
    // A null rectangle means the whole target.
    virtual void filled(const SDL_Surface* pTarget, const SDL_Rect* pRect, Uint32 colour) = 0;
    virtual void flipped() = 0;
};

// How the game wants its window. The defaults are the window-less runs':
// --headless, --check and the tests.
struct WindowRequest {
    // Screen px per game px of the window; shrunk to the largest whole number
    // that fits the desktop.
    int scale = 1;
    // Someone is to see the game: SDL falling back to a driver that shows
    // nothing is refused with NoDisplayError.
    bool required = false;
};

// There is no display to show the window on, though one was wanted.
class NoDisplayError : public StartupError {
public:
    using StartupError::StartupError;
};

class GameEngine {
public:
    static constexpr Uint8 KEY_RED = 255;
    static constexpr Uint8 KEY_GREEN = 128;
    static constexpr Uint8 KEY_BLUE = 255;

    // Starts SDL, opens the window and loads the font with `loadFont`
    // (graphics/Font.h has the game's). Throws StartupError when SDL or the
    // window cannot start, NoDisplayError when a window is required and there
    // is no display, DataError for a bad font. The blit observer, if any,
    // sees the font's sheet too. Every file the game reads or writes goes
    // through `files`, the run's, which must outlive the engine.
    GameEngine(FileRegistry& files, FontLoader loadFont, BlitObserver* pBlitObserver = nullptr,
               const WindowRequest& window = {});
    ~GameEngine();
    GameEngine(const GameEngine&) = delete;
    GameEngine& operator=(const GameEngine&) = delete;

    // Input and control.
    // Begins a frame and handles every event in SDL's queue. `refill`, when
    // given, is asked for more each time the queue runs dry and returns false
    // when it has none.
    void pollEvents(const std::function<bool()>& refill = {});
    bool isPaused() const { return m_input.isPaused(); }
    // Paused, or running only this frame's single step: what the player
    // sees as the pause.
    bool isPauseShown() const { return m_input.isPaused() || m_input.isStepping(); }
    bool isQuitRequested() const { return m_input.isQuitRequested(); }
    // The game ends after this frame, as when the window is closed, and a
    // recording says so.
    void requestQuit() { m_input.quit(); }
    // A menu over the level takes Enter and Tab from the pause (InputRules).
    void setMenuOpen(bool open) { m_input.setMenuOpen(open); }
    // F5 asks for the running level to be built again from its files; the
    // request is taken once.
    bool takeReloadRequest() {
        bool requested = m_reloadRequested;
        m_reloadRequested = false;
        return requested;
    }
    // The sounds raised since the frame began (pollEvents begins it), in
    // order; the frame loop plays them after the update.
    void raiseSound(SoundEvent event) { raiseSound(event, NO_OWN_SOUND); }
    // An event heard with a sound of its own (Audio::loadOwnSound's number),
    // or the sounds file's for the event when NO_OWN_SOUND.
    void raiseSound(SoundEvent event, int32_t ownSound) {
        m_raisedSounds.push_back(event);
        m_raisedOwnSounds.push_back(ownSound);
    }
    static constexpr int32_t NO_OWN_SOUND = -1;
    const std::vector<SoundEvent>& raisedSounds() const { return m_raisedSounds; }
    // The designer's overlay: F3 switches it, --overlay starts with it on.
    bool isOverlayShown() const { return m_overlayShown; }
    void setOverlayShown(bool shown) { m_overlayShown = shown; }
    KeyState getKeys() const { return m_input.keys(); }
    void setInputObserver(InputObserver* pObserver) { m_input.setObserver(pObserver); }
    // Puts a replayed input or quit event into SDL's own queue, the path real
    // input takes. A replay names game inputs, not keys, so it means the same
    // game whatever the bindings. False when SDL's queue is full.
    static bool pushInputEvent(GameInput input, bool down);
    static bool pushQuitEvent();
    // Replays the input whose usual key this is (left, space, b, ...); any
    // other key is no input and pushes nothing.
    static bool pushKeyEvent(SDLKey key, bool down);
    // The bindings of "controls.ini" (or the usual keys).
    void setControls(const Controls& controls) { m_controls = controls; }
    // The game's sound, when it has one; the engine lets M mute it and
    // closes it before SDL.
    void setAudio(std::unique_ptr<Audio> pAudio);
    Audio* audio() { return m_pAudio.get(); }
    // Plays the sounds raised in this frame; called after the update.
    void playRaisedSounds();
    // Where F12 saves its numbered screenshots.
    void setScreenshotFolder(const std::string& folder) { m_screenshotFolder = folder; }

    // Camera.
    SDL_Rect getCamera() const { return m_camera; }
    // Camera and bounds together, so a level that fails to load can leave
    // them as the running level had them.
    struct View {
        SDL_Rect camera;
        SDL_Rect bounds;
    };
    View getView() const { return View{m_camera, m_bounds}; }
    void setView(const View& view) {
        m_camera = view.camera;
        m_bounds = view.bounds;
    }
    void moveCamera(int dx, int dy);
    void setBounds(SDL_Rect rect);
    void followTarget(SDL_Rect rect);

    // Drawing. A null source rectangle means the whole source; a null source
    // surface draws nothing.
    int blitToWorld(Sint16 x, Sint16 y, SDL_Surface* pSource, SDL_Rect* pSourceRect);
    int blitToScreen(Sint16 x, Sint16 y, SDL_Surface* pSource, SDL_Rect* pSourceRect);
    int blitToSurface(Sint16 x, Sint16 y, SDL_Surface* pSource, SDL_Surface* pTarget,
                      SDL_Rect* pSourceRect);
    void clearScreen();
    // Fills a rectangle of the screen with a 0xRRGGBB colour.
    void fillScreenRect(const SDL_Rect& rect, uint32_t colour);
    // Shows the screen: in a window, scaled by a whole number and centred on
    // black. -1 when it could not be shown.
    int flip();
    // Opens the gamepads, once; later calls return at once. Left out of the
    // start, where the search (a few milliseconds) would delay the first
    // picture: a paced game calls it in the wait after it.
    void startGamepads();
    // F11: between the window and the whole desktop; nothing without a window.
    void toggleFullscreen();
    // The window's new size, as the window manager's resizing or maximising
    // gives it.
    void resizeWindow(int width, int height);

    // Surfaces. loadBitmap shares one picture among all who name the same
    // file, and throws DataError naming the file when it cannot be loaded or
    // the pictures held would pass BitmapCache::MAX_PIXELS; createSurface of
    // zero width or height gives no surface.
    Surface loadBitmap(const std::string& path);
    Surface createSurface(int width, int height);
    static void freeSurface(SDL_Surface* pSurface);
    // A picture in memory, 32 bits a pixel as 0xRRGGBB, cleared to black:
    // the tools' pictures, never drawn on the screen, so neither tied to an
    // engine nor seen by the blit observer. Null when SDL cannot make it.
    static Surface createPicture(int width, int height);
    // Writes a surface to a BMP file; false when it cannot be written.
    static bool saveBitmap(SDL_Surface* pSurface, const std::string& path);
    // Writes the screen to a BMP file; throws DataError naming the file and
    // the option that asked for it when it cannot be written.
    void saveScreen(const std::string& path, const std::string& option);
    // The game's 256 x 240 picture, which every drawing, screenshot and
    // trace sees, whatever the window's size.
    SDL_Surface* getScreen() { return m_pScreen; }

    Font& getFont() { return *m_pFont; }
    // The run's files: its inputs and outputs, read log and INI audit.
    FileRegistry& files() { return m_files; }
    static bool intersects(const SDL_Rect& a, const SDL_Rect& b);

private:
    void handleKey(const SDL_KeyboardEvent& event);
    void handleJoystickAxis(const SDL_JoyAxisEvent& event);
    void handleJoystickHat(const SDL_JoyHatEvent& event);
    void openJoysticks();
    void closeJoysticks();
    void saveNumberedScreenshot();
    void openWindow(const WindowRequest& request);
    // Opens the window (or the whole desktop) at this size in px and places
    // the picture in it; false when SDL cannot, the old one being gone.
    bool setDisplayMode(bool fullscreen, int width, int height);
    void presentScaled();

    FileRegistry& m_files;
    InputRules m_input;
    BitmapCache m_bitmaps;
    FontHandle m_pFont;
    std::unique_ptr<Audio> m_pAudio;
    SDL_Event m_event{};
    SDL_Rect m_camera{0, 1920, SCREEN_WIDTH, SCREEN_HEIGHT};
    bool m_overlayShown = false;
    bool m_reloadRequested = false;
    std::vector<SoundEvent> m_raisedSounds;
    std::vector<int32_t> m_raisedOwnSounds; // beside each, NO_OWN_SOUND or its own
    SDL_Rect m_bounds{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT};
    // Without a window the game draws straight on SDL's screen; with one on a
    // picture of its own, which flip() scales into the window.
    SDL_Surface* m_pScreen = nullptr;  // owned by SDL when it is m_pDisplay
    SDL_Surface* m_pDisplay = nullptr; // the window's surface, owned by SDL
    SDL_Rect m_pictureRect{};          // where the scaled picture lies in it, px
    int m_pictureScale = 1;            // display px per game px
    int m_windowScale = 1;             // the same, of the window outside fullscreen
    bool m_fullscreen = false;
    int m_desktopWidth = 0;  // px; 0 when SDL cannot tell
    int m_desktopHeight = 0; // px
    BlitObserver* m_pBlitObserver = nullptr;
    Controls m_controls = Controls::defaults();
    std::vector<SDL_Joystick*> m_joysticks;
    int m_pollsSinceJoystickScan = 0;
    bool m_gamepadsStarted = false;
    std::string m_screenshotFolder = ".";
};
