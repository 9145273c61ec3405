// SDL set-up, drawing primitives, camera, and SDL's events translated into
// game inputs.
#include "engine/GameEngine.h"

#include "engine/Audio.h"

#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/WebPlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

GameEngine* gEngine = nullptr;

namespace {

#ifdef __EMSCRIPTEN__
// Emscripten's SDL looks at the gamepads only when started with them (its
// SDL_InitSubSystem does nothing); there that costs the start nothing.
constexpr Uint32 INIT_FLAGS = SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK;
#else
constexpr Uint32 INIT_FLAGS = SDL_INIT_TIMER | SDL_INIT_VIDEO; // 0x21
#endif
// Gamepads are looked for again this often, so plugging one in or out during
// play is noticed (SDL 1.2 has no events for it).
constexpr int JOYSTICK_SCAN_INTERVAL = 60; // polls
// Identifiers of the physical sources that hold an input: keys use their
// SDL key code below REPLAY_SOURCE.
constexpr int REPLAY_SOURCE = 0x1000;
constexpr int BUTTON_SOURCE = InputRules::GAMEPAD_SOURCES;
constexpr int AXIS_SOURCE = BUTTON_SOURCE + 0x10000;
constexpr int HAT_SOURCE = AXIS_SOURCE + 0x10000;
// A replayed input rides in SDL's queue as one of these, its code the input.
// (An event's type is 8 bits in SDL 1.2, 32 in emscripten's.)
using EventType = decltype(SDL_Event{}.type);
constexpr EventType REPLAY_DOWN_EVENT = SDL_USEREVENT;
constexpr EventType REPLAY_UP_EVENT = SDL_USEREVENT + 1;
constexpr int MAX_SCREENSHOTS = 10000;

// SDL_Rect fields are 16-bit; the game defines its positions as wrapping there.
Sint16 wrap16(int value) {
    return static_cast<Sint16>(value);
}

bool isUnset(const char* variable) {
    const char* value = std::getenv(variable);
    return value == nullptr || *value == '\0';
}

std::string noDisplayHint() {
    if (isUnset("DISPLAY") && isUnset("WAYLAND_DISPLAY")) {
        return " (no display found; try --headless)";
    }
    return "";
}

// SDL's stand-ins for a display, which show nothing. SDL 2 may fall back on
// one of them by itself when it finds no display.
bool isUnseenDriver(const char* name) {
    return std::strcmp(name, "dummy") == 0 || std::strcmp(name, "offscreen") == 0;
}

// The largest whole number of px per game px at which the picture fits
// width x height px; 1 when even that does not fit (the picture is then
// cut at the edges).
int fittingScale(int width, int height) {
    return std::max(1, std::min(width / SCREEN_WIDTH, height / SCREEN_HEIGHT));
}

// Nearest-neighbour scaling by a whole number: each source row is widened
// once, then copied down `scale` rows. Source and target share one pixel
// format, and the scaled picture lies wholly inside the target at `at`.
void scaleInto(const SDL_Surface* pSource, SDL_Surface* pTarget, const SDL_Rect& at, int scale) {
    const int bytes = pSource->format->BytesPerPixel;
    auto* pFirst = static_cast<Uint8*>(pTarget->pixels) + at.y * pTarget->pitch + at.x * bytes;
    const size_t rowBytes = static_cast<size_t>(pSource->w) * scale * bytes;
    for (int y = 0; y < pSource->h; ++y) {
        const auto* pIn = static_cast<const Uint8*>(pSource->pixels) + y * pSource->pitch;
        Uint8* pRow = pFirst + static_cast<ptrdiff_t>(y) * scale * pTarget->pitch;
        if (bytes == sizeof(Uint32)) {
            const auto* pPixels = reinterpret_cast<const Uint32*>(pIn);
            auto* pOut = reinterpret_cast<Uint32*>(pRow);
            for (int x = 0; x < pSource->w; ++x) {
                std::fill_n(pOut + static_cast<ptrdiff_t>(x) * scale, scale, pPixels[x]);
            }
        } else {
            for (int x = 0; x < pSource->w; ++x) {
                for (int copy = 0; copy < scale; ++copy) {
                    std::memcpy(pRow + (static_cast<ptrdiff_t>(x) * scale + copy) * bytes,
                                pIn + static_cast<ptrdiff_t>(x) * bytes, bytes);
                }
            }
        }
        for (int copy = 1; copy < scale; ++copy) {
            std::memcpy(pRow + static_cast<ptrdiff_t>(copy) * pTarget->pitch, pRow, rowBytes);
        }
    }
}

bool sameFormat(const SDL_PixelFormat& a, const SDL_PixelFormat& b) {
    return a.BitsPerPixel == b.BitsPerPixel && a.Rmask == b.Rmask && a.Gmask == b.Gmask &&
           a.Bmask == b.Bmask && a.Amask == b.Amask && a.palette == nullptr && b.palette == nullptr;
}

} // namespace

void SurfaceDeleter::operator()(SDL_Surface* pSurface) const {
    GameEngine::freeSurface(pSurface);
}

GameEngine::GameEngine(FileRegistry& files, FontLoader loadFont, BlitObserver* pBlitObserver,
                       const WindowRequest& window)
    : m_files(files), m_bitmaps(files), m_pBlitObserver(pBlitObserver) {
#ifdef _WIN32
    SDL_putenv(const_cast<char*>("SDL_VIDEODRIVER=directx"));
#elif !defined(__APPLE__) && !defined(__EMSCRIPTEN__)
    // Without a display SDL 2 may start anyway on a driver that shows
    // nothing: a game nobody sees, for as long as one waits.
    if (window.required && isUnset("DISPLAY") && isUnset("WAYLAND_DISPLAY") &&
        isUnset("SDL_VIDEODRIVER")) {
        throw NoDisplayError("no display to open a window on (DISPLAY is not set); use "
                             "--headless to run without one");
    }
#endif
    if (SDL_Init(INIT_FLAGS) != 0) {
        throw StartupError(std::string("cannot start SDL: ") + SDL_GetError() + noDisplayHint());
    }
#ifndef __EMSCRIPTEN__
    // Emscripten's SDL has no SDL_EventState: there the mouse's events reach
    // the queue, and the poll passes over them.
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEBUTTONDOWN, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEBUTTONUP, SDL_IGNORE);
#endif
    SDL_WM_SetCaption("Kalvorn Copy System", nullptr);
    try {
        openWindow(window);
    } catch (...) {
        SDL_Quit();
        throw;
    }
    try {
        m_pFont = loadFont(this);
    } catch (...) {
        if (m_pScreen != m_pDisplay) {
            SDL_FreeSurface(m_pScreen);
        }
        SDL_Quit();
        throw;
    }
}

GameEngine::~GameEngine() {
    const bool soundLeftToExit = m_pAudio && m_pAudio->isLeftToExit();
    m_pAudio.reset();
    m_pFont.reset();
    m_bitmaps.clear();
    if (m_pScreen != m_pDisplay) {
        SDL_FreeSurface(m_pScreen);
    }
    for (SDL_Joystick* pJoystick : m_joysticks) {
        SDL_JoystickClose(pJoystick);
    }
    if (soundLeftToExit) {
        SDL_QuitSubSystem(SDL_INIT_EVERYTHING & ~static_cast<Uint32>(SDL_INIT_AUDIO));
    } else {
        SDL_Quit();
    }
}

void GameEngine::pollEvents(const std::function<bool()>& refill) {
    // A frame begins here: the sounds raised in it are the pause's and the
    // update's that follows.
    m_raisedSounds.clear();
    m_raisedOwnSounds.clear();
    m_input.beginFrame();
    if (++m_pollsSinceJoystickScan >= JOYSTICK_SCAN_INTERVAL) {
        m_pollsSinceJoystickScan = 0;
        if (SDL_WasInit(SDL_INIT_JOYSTICK) != 0 &&
            SDL_NumJoysticks() != static_cast<int>(m_joysticks.size())) {
            openJoysticks();
        }
    }
    // A stop signal ends the game like closing the window, after this frame.
    if (stopSignal() != 0) {
        pushQuitEvent();
    }
    bool refilled = refill && refill();
    while (true) {
        if (!SDL_PollEvent(&m_event)) {
            if (refilled && (refilled = refill())) {
                continue;
            }
            break;
        }
        switch (m_event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            handleKey(m_event.key);
            break;
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
#ifdef __EMSCRIPTEN__
            if (SDL_JoyHatEvent hat{}; web::dpadAsHat(m_event.jbutton, hat)) {
                handleJoystickHat(hat);
                break;
            }
#endif
            for (const Controls::ButtonBinding& binding : m_controls.buttons) {
                if (binding.button == m_event.jbutton.button) {
                    m_input.setSource(binding.input,
                                      BUTTON_SOURCE + m_event.jbutton.which * 256 +
                                          m_event.jbutton.button,
                                      m_event.type == SDL_JOYBUTTONDOWN);
                }
            }
            break;
        case SDL_JOYAXISMOTION:
            handleJoystickAxis(m_event.jaxis);
            break;
        case SDL_JOYHATMOTION:
            handleJoystickHat(m_event.jhat);
            break;
        case REPLAY_DOWN_EVENT:
        case REPLAY_UP_EVENT:
            if (m_event.user.code >= 0 && m_event.user.code < GAME_INPUT_COUNT) {
                m_input.setSource(static_cast<GameInput>(m_event.user.code),
                                  REPLAY_SOURCE + m_event.user.code,
                                  m_event.type == REPLAY_DOWN_EVENT);
            }
            break;
        case SDL_QUIT:
            m_input.quit();
            break;
        case SDL_VIDEORESIZE:
            resizeWindow(m_event.resize.w, m_event.resize.h);
            break;
        default:
            break;
        }
    }
    // Sounds raised while polling are the pause's alone.
    for (int pause = 0; pause < m_input.pausesBegun(); ++pause) {
        raiseSound(SoundEvent::PAUSE);
    }
}

void GameEngine::handleKey(const SDL_KeyboardEvent& event) {
    bool down = event.type == SDL_KEYDOWN;
#ifdef __EMSCRIPTEN__
    SDLKey key = web::headerKey(event.keysym.sym);
    int source = web::keySource(key);
#else
    SDLKey key = event.keysym.sym;
    int source = key;
#endif
    // The window's own keys and the designer's never reach the game.
    if (isReservedKey(key)) {
        if (down && key == OVERLAY_KEY) {
            m_overlayShown = !m_overlayShown;
        } else if (down && key == RELOAD_KEY) {
            m_reloadRequested = true;
        } else if (down && key == FULLSCREEN_KEY) {
            toggleFullscreen();
        } else if (down) {
            saveNumberedScreenshot();
        }
        return;
    }
    // The mute key mutes, unless controls.ini gave it to the game.
    if (key == MUTE_KEY &&
        std::none_of(m_controls.keys.begin(), m_controls.keys.end(),
                     [](const Controls::KeyBinding& binding) { return binding.key == MUTE_KEY; })) {
        if (down && m_pAudio) {
            m_pAudio->toggleMute();
        }
        return;
    }
    for (const Controls::KeyBinding& binding : m_controls.keys) {
        if (binding.key == key) {
            m_input.setSource(binding.input, source, down);
        }
    }
}

void GameEngine::handleJoystickAxis(const SDL_JoyAxisEvent& event) {
    // The left stick: axis 0 across, axis 1 down.
    if (event.axis > 1) {
        return;
    }
    bool negative = event.value < -m_controls.deadZone;
    bool positive = event.value > m_controls.deadZone;
    int source = AXIS_SOURCE + event.which * 256 + event.axis * 2;
    GameInput low = event.axis == 0 ? GameInput::LEFT : GameInput::UP;
    GameInput high = event.axis == 0 ? GameInput::RIGHT : GameInput::DOWN;
    // Release first, so a stick flicked across the centre presses the new
    // direction last and wins.
    if (!negative) {
        m_input.setSource(low, source, false);
    }
    if (!positive) {
        m_input.setSource(high, source + 1, false);
    }
    if (negative) {
        m_input.setSource(low, source, true);
    }
    if (positive) {
        m_input.setSource(high, source + 1, true);
    }
}

void GameEngine::handleJoystickHat(const SDL_JoyHatEvent& event) {
    struct HatDirection {
        Uint8 bit;
        GameInput input;
    };
    static constexpr HatDirection DIRECTIONS[] = {{SDL_HAT_LEFT, GameInput::LEFT},
                                                  {SDL_HAT_RIGHT, GameInput::RIGHT},
                                                  {SDL_HAT_UP, GameInput::UP},
                                                  {SDL_HAT_DOWN, GameInput::DOWN}};
    int source = HAT_SOURCE + event.which * 256 + event.hat * 4;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 4; ++i) {
            bool held = (event.value & DIRECTIONS[i].bit) != 0;
            // Releases before presses, as for the stick.
            if (held == (pass == 1)) {
                m_input.setSource(DIRECTIONS[i].input, source + i, held);
            }
        }
    }
}

void GameEngine::openJoysticks() {
    closeJoysticks();
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        SDL_Joystick* pJoystick = SDL_JoystickOpen(i);
        if (pJoystick != nullptr) {
            m_joysticks.push_back(pJoystick);
        }
    }
}

void GameEngine::closeJoysticks() {
    m_input.releaseGamepadSources();
    for (SDL_Joystick* pJoystick : m_joysticks) {
        SDL_JoystickClose(pJoystick);
    }
    m_joysticks.clear();
}

void GameEngine::saveNumberedScreenshot() {
    for (int number = 1; number < MAX_SCREENSHOTS; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "kcs-%04d.bmp", number);
        std::string path = m_screenshotFolder + "/" + name;
        if (std::FILE* pExisting = std::fopen(path.c_str(), "rb")) {
            std::fclose(pExisting);
            continue;
        }
        try {
            saveScreen(path, "F12");
#ifdef __EMSCRIPTEN__
            // The page's files are in its memory: the browser downloads it.
            web::offerDownload(path);
#endif
            std::fprintf(m_files.notesStream(), "kcs: screenshot saved to %s\n", path.c_str());
        } catch (const DataError& error) {
            std::fprintf(m_files.notesStream(), "kcs: %s\n", error.what());
        }
        std::fflush(m_files.notesStream());
        return;
    }
}

bool GameEngine::pushInputEvent(GameInput input, bool down) {
    SDL_Event event{};
    event.type = down ? REPLAY_DOWN_EVENT : REPLAY_UP_EVENT;
    event.user.type = event.type;
    event.user.code = static_cast<int>(input);
    return SDL_PushEvent(&event) == 0;
}

bool GameEngine::pushKeyEvent(SDLKey key, bool down) {
    const KeyName* pEntry = findUsualKey(key);
    return pEntry == nullptr || pushInputEvent(pEntry->input, down);
}

bool GameEngine::pushQuitEvent() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    return SDL_PushEvent(&event) == 0;
}

void GameEngine::moveCamera(int dx, int dy) {
    m_camera.x = wrap16(m_camera.x + dx);
    m_camera.y = wrap16(m_camera.y + dy);
}

void GameEngine::setBounds(SDL_Rect rect) {
    m_bounds = rect;
    m_camera.y = rect.y;
}

void GameEngine::followTarget(SDL_Rect rect) {
    int wanted = rect.x + rect.w / 2 - HALF_SCREEN_WIDTH;
    int upperLimit = m_bounds.x + m_bounds.w - SCREEN_WIDTH;
    if (wanted < m_bounds.x) {
        m_camera.x = m_bounds.x;
    } else if (upperLimit < wanted) {
        m_camera.x = wrap16(upperLimit);
    } else {
        m_camera.x = wrap16(wanted);
    }
}

int GameEngine::blitToWorld(Sint16 x, Sint16 y, SDL_Surface* pSource, SDL_Rect* pSourceRect) {
    return blitToScreen(wrap16(x - m_camera.x), wrap16(y - m_camera.y), pSource, pSourceRect);
}

int GameEngine::blitToScreen(Sint16 x, Sint16 y, SDL_Surface* pSource, SDL_Rect* pSourceRect) {
    return blitToSurface(x, y, pSource, m_pScreen, pSourceRect);
}

int GameEngine::blitToSurface(Sint16 x, Sint16 y, SDL_Surface* pSource, SDL_Surface* pTarget,
                              SDL_Rect* pSourceRect) {
    if (pSource == nullptr || pTarget == nullptr) {
        return -1;
    }
    // SDL clips the destination rectangle in place, so it gets a scratch copy.
    SDL_Rect destination{x, y, 0, 0};
    if (m_pBlitObserver != nullptr) {
        m_pBlitObserver->blitted(pSource, pSourceRect, pTarget, x, y);
    }
    return SDL_UpperBlit(pSource, pSourceRect, pTarget, &destination);
}

void GameEngine::clearScreen() {
    Uint32 black = SDL_MapRGB(m_pScreen->format, 0, 0, 0);
    if (m_pBlitObserver != nullptr) {
        m_pBlitObserver->filled(m_pScreen, nullptr, black);
    }
    SDL_FillRect(m_pScreen, nullptr, black);
}

void GameEngine::fillScreenRect(const SDL_Rect& rect, uint32_t colour) {
    constexpr int RED_SHIFT = 16; // bits, in 0xRRGGBB
    constexpr int GREEN_SHIFT = 8;
    constexpr uint32_t CHANNEL = 0xFF;
    Uint32 mapped = SDL_MapRGB(m_pScreen->format, (colour >> RED_SHIFT) & CHANNEL,
                               (colour >> GREEN_SHIFT) & CHANNEL, colour & CHANNEL);
    if (m_pBlitObserver != nullptr) {
        m_pBlitObserver->filled(m_pScreen, &rect, mapped);
    }
    // SDL clips the rectangle in place, so it gets a scratch copy.
    SDL_Rect clipped = rect;
    SDL_FillRect(m_pScreen, &clipped, mapped);
}

int GameEngine::flip() {
    if (m_pBlitObserver != nullptr) {
        m_pBlitObserver->flipped();
    }
    if (m_pDisplay == nullptr) {
        return -1;
    }
    if (m_pScreen != m_pDisplay) {
        presentScaled();
    }
#ifdef __EMSCRIPTEN__
    SDL_Flip(m_pDisplay); // nothing to do: the canvas is the screen
    web::presentFrame();
    return 0;
#else
    return SDL_Flip(m_pDisplay) == 0 ? 0 : -1;
#endif
}

void GameEngine::startGamepads() {
    if (m_gamepadsStarted) {
        return;
    }
    m_gamepadsStarted = true;
    // Gamepads are optional: without the subsystem the keyboard still works.
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0) {
        SDL_JoystickEventState(SDL_ENABLE);
        openJoysticks();
    }
}

// The window is drawn here rather than scaled by sdl12-compat, which scales
// a desktop-sized window by a fraction: pixels 3 and 4 px wide side by side.
void GameEngine::openWindow(const WindowRequest& request) {
#ifdef __EMSCRIPTEN__
    // The page's canvas is the game's picture, at its own size; the page
    // scales it by whole numbers, sharp, as the window is scaled here.
    static_cast<void>(request);
    m_pDisplay = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0);
    if (m_pDisplay == nullptr) {
        throw StartupError(std::string("cannot open the canvas: ") + SDL_GetError());
    }
    m_pScreen = m_pDisplay;
    return;
#endif
    char driver[32] = "";
    SDL_VideoDriverName(driver, sizeof driver);
    if (isUnseenDriver(driver)) {
        if (request.required) {
            throw NoDisplayError(std::string("no display to open a window on (SDL found only "
                                             "its \"") +
                                 driver + "\" driver); use --headless to run without one");
        }
        // Nobody sees this screen: the game draws straight on it.
        m_pDisplay = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0);
        if (m_pDisplay == nullptr) {
            throw StartupError(std::string("cannot open the window: ") + SDL_GetError() +
                               noDisplayHint());
        }
        m_pScreen = m_pDisplay;
        return;
    }
    // Before the first video mode, SDL tells the desktop's size.
    if (const SDL_VideoInfo* pInfo = SDL_GetVideoInfo(); pInfo != nullptr) {
        m_desktopWidth = std::max(0, pInfo->current_w);
        m_desktopHeight = std::max(0, pInfo->current_h);
    }
    m_windowScale = request.scale;
    if (m_desktopWidth > 0 && m_desktopHeight > 0) {
        int fitting = fittingScale(m_desktopWidth, m_desktopHeight);
        if (fitting < request.scale) {
            std::fprintf(stderr, "kcs: --scale %d does not fit the %dx%d desktop; using %d\n",
                         request.scale, m_desktopWidth, m_desktopHeight, fitting);
            m_windowScale = fitting;
        }
    }
    if (!setDisplayMode(false, SCREEN_WIDTH * m_windowScale, SCREEN_HEIGHT * m_windowScale)) {
        throw StartupError(std::string("cannot open the window: ") + SDL_GetError() +
                           noDisplayHint());
    }
    const SDL_PixelFormat* pFormat = m_pDisplay->format;
    m_pScreen =
        SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_WIDTH, SCREEN_HEIGHT, pFormat->BitsPerPixel,
                             pFormat->Rmask, pFormat->Gmask, pFormat->Bmask, pFormat->Amask);
    if (m_pScreen == nullptr) {
        throw StartupError(std::string("cannot make the screen: ") + SDL_GetError());
    }
}

bool GameEngine::setDisplayMode(bool fullscreen, int width, int height) {
    // The window may be resized by hand; the picture then lies on black
    // around it, at the largest whole scale that fits.
    m_pDisplay = SDL_SetVideoMode(width, height, 0, fullscreen ? SDL_FULLSCREEN : SDL_RESIZABLE);
    if (m_pDisplay == nullptr) {
        return false;
    }
    m_fullscreen = fullscreen;
    m_pictureScale = fittingScale(m_pDisplay->w, m_pDisplay->h);
    m_pictureRect =
        SDL_Rect{static_cast<Sint16>((m_pDisplay->w - SCREEN_WIDTH * m_pictureScale) / 2),
                 static_cast<Sint16>((m_pDisplay->h - SCREEN_HEIGHT * m_pictureScale) / 2),
                 static_cast<Uint16>(SCREEN_WIDTH * m_pictureScale),
                 static_cast<Uint16>(SCREEN_HEIGHT * m_pictureScale)};
    // The borders are never drawn again: black once is black for good.
    SDL_FillRect(m_pDisplay, nullptr, SDL_MapRGB(m_pDisplay->format, 0, 0, 0));
    return true;
}

void GameEngine::presentScaled() {
    // Below the picture's own size, or in a format of its own after a mode
    // change, SDL's blit places it (cut, or converted) at its own size.
    if (m_pictureScale == 1 || !sameFormat(*m_pScreen->format, *m_pDisplay->format)) {
        SDL_Rect at = m_pictureRect;
        SDL_BlitSurface(m_pScreen, nullptr, m_pDisplay, &at);
        return;
    }
    if (SDL_LockSurface(m_pDisplay) != 0) {
        return;
    }
    scaleInto(m_pScreen, m_pDisplay, m_pictureRect, m_pictureScale);
    SDL_UnlockSurface(m_pDisplay);
}

void GameEngine::toggleFullscreen() {
    if (m_pScreen == m_pDisplay) {
        return; // no window
    }
    bool fullscreen = !m_fullscreen;
    // 0 x 0 asks SDL for the desktop's own size.
    int width = fullscreen ? m_desktopWidth : SCREEN_WIDTH * m_windowScale;
    int height = fullscreen ? m_desktopHeight : SCREEN_HEIGHT * m_windowScale;
    if (!setDisplayMode(fullscreen, width, height)) {
        // Back as it was; failing that, flip() says the frame could not be shown.
        setDisplayMode(!fullscreen, SCREEN_WIDTH * m_windowScale, SCREEN_HEIGHT * m_windowScale);
    }
}

void GameEngine::resizeWindow(int width, int height) {
    if (m_pScreen == m_pDisplay || m_fullscreen || width <= 0 || height <= 0) {
        return;
    }
    if (!setDisplayMode(false, width, height)) {
        setDisplayMode(false, SCREEN_WIDTH * m_windowScale, SCREEN_HEIGHT * m_windowScale);
    }
}

Surface GameEngine::loadBitmap(const std::string& path) {
    return m_bitmaps.load(path, [this, &path](SDL_Surface* pSurface) {
#ifdef __EMSCRIPTEN__
        web::keyByAlpha(pSurface, KEY_RED, KEY_GREEN, KEY_BLUE);
#else
        SDL_SetColorKey(pSurface, SDL_SRCCOLORKEY,
                        SDL_MapRGB(pSurface->format, KEY_RED, KEY_GREEN, KEY_BLUE));
#endif
        if (m_pBlitObserver != nullptr) {
            m_pBlitObserver->bitmapLoaded(pSurface, path);
        }
    });
}

Surface GameEngine::createSurface(int width, int height) {
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) {
        return Surface();
    }
    const SDL_PixelFormat* pFormat = m_pScreen->format;
    Surface surface(SDL_CreateRGBSurface(m_pScreen->flags, width, height, pFormat->BitsPerPixel,
                                         pFormat->Rmask, pFormat->Gmask, pFormat->Bmask,
                                         pFormat->Amask));
    if (!surface) {
        return surface;
    }
#ifndef __EMSCRIPTEN__
    // On the web a new surface is a new canvas, wholly transparent: keyed.
    Uint32 key = SDL_MapRGB(surface->format, KEY_RED, KEY_GREEN, KEY_BLUE);
    SDL_FillRect(surface.get(), nullptr, key);
    SDL_SetColorKey(surface.get(), SDL_SRCCOLORKEY, key);
#endif
    if (m_pBlitObserver != nullptr) {
        m_pBlitObserver->surfaceCreated(surface.get(), width, height);
    }
    return surface;
}

Surface GameEngine::createPicture(int width, int height) {
    constexpr int BITS = 32;
    constexpr Uint32 RED_MASK = 0xFF0000;
    constexpr Uint32 GREEN_MASK = 0x00FF00;
    constexpr Uint32 BLUE_MASK = 0x0000FF;
    return Surface(SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, BITS, RED_MASK, GREEN_MASK,
                                        BLUE_MASK, 0));
}

bool GameEngine::saveBitmap(SDL_Surface* pSurface, const std::string& path) {
#ifdef __EMSCRIPTEN__
    return web::saveBitmap(pSurface, path);
#else
    return pSurface != nullptr && SDL_SaveBMP(pSurface, path.c_str()) == 0;
#endif
}

void GameEngine::freeSurface(SDL_Surface* pSurface) {
    if (pSurface != nullptr) {
        if (gEngine != nullptr) {
            gEngine->m_bitmaps.release(pSurface);
        }
        SDL_FreeSurface(pSurface);
    }
}

void GameEngine::saveScreen(const std::string& path, const std::string& option) {
    TemporaryFile temporary(m_files, path, option);
    if (!saveBitmap(m_pScreen, temporary.path())) {
        throw DataError(path, option + " could not write the image: " + SDL_GetError());
    }
    temporary.commit();
}

bool GameEngine::intersects(const SDL_Rect& a, const SDL_Rect& b) {
    int32_t ay = a.y, ax = a.x, by = b.y, bx = b.x;
    int32_t aw = a.w, ah = a.h, bw = b.w, bh = b.h;
    return ay < by + bh && by < ay + ah && bx < ax + aw && ax < bx + bw;
}

void GameEngine::setAudio(std::unique_ptr<Audio> pAudio) {
    m_pAudio = std::move(pAudio);
}

void GameEngine::playRaisedSounds() {
    if (m_pAudio) {
        for (size_t i = 0; i < m_raisedSounds.size(); ++i) {
            if (m_raisedOwnSounds[i] != NO_OWN_SOUND) {
                m_pAudio->playSound(m_raisedOwnSounds[i]);
            } else {
                m_pAudio->play(m_raisedSounds[i]);
            }
        }
    }
}
