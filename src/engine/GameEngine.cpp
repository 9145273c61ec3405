// SDL set-up, drawing primitives, camera, and SDL's events translated into
// game inputs.
#include "engine/GameEngine.h"

#include "engine/Audio.h"

#include "engine/DataError.h"
#include "engine/Files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

GameEngine* gEngine = nullptr;

namespace {

constexpr Uint32 INIT_FLAGS = SDL_INIT_TIMER | SDL_INIT_VIDEO; // 0x21
constexpr int HALF_SCREEN_WIDTH = SCREEN_WIDTH / 2;
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
constexpr Uint8 REPLAY_DOWN_EVENT = SDL_USEREVENT;
constexpr Uint8 REPLAY_UP_EVENT = SDL_USEREVENT + 1;
constexpr int MAX_SCREENSHOTS = 10000;

// SDL_Rect fields are 16-bit; the game defines its positions as wrapping there.
Sint16 wrap16(int value) {
    return static_cast<Sint16>(value);
}

std::string noDisplayHint() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
        return " (no display found; try --headless)";
    }
    return "";
}

} // namespace

void SurfaceDeleter::operator()(SDL_Surface* pSurface) const {
    GameEngine::freeSurface(pSurface);
}

GameEngine::GameEngine(FileRegistry& files, FontLoader loadFont, BlitObserver* pBlitObserver)
    : m_files(files), m_bitmaps(files), m_pBlitObserver(pBlitObserver) {
#ifdef _WIN32
    SDL_putenv(const_cast<char*>("SDL_VIDEODRIVER=directx"));
#endif
    if (SDL_Init(INIT_FLAGS) != 0) {
        throw StartupError(std::string("cannot start SDL: ") + SDL_GetError() + noDisplayHint());
    }
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEBUTTONDOWN, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEBUTTONUP, SDL_IGNORE);
    SDL_WM_SetCaption("Kalvorn Copy System", nullptr);
    m_pScreen = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0);
    if (m_pScreen == nullptr) {
        std::string reason = std::string("cannot open the window: ") + SDL_GetError();
        SDL_Quit();
        throw StartupError(reason + noDisplayHint());
    }
    // Gamepads are optional: without the subsystem the keyboard still works.
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0) {
        SDL_JoystickEventState(SDL_ENABLE);
        openJoysticks();
    }
    try {
        m_pFont = loadFont(this);
    } catch (...) {
        SDL_Quit();
        throw;
    }
}

GameEngine::~GameEngine() {
    const bool soundLeftToExit = m_pAudio && m_pAudio->isLeftToExit();
    m_pAudio.reset();
    m_pFont.reset();
    m_bitmaps.clear();
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
    SDLKey key = event.keysym.sym;
    // The window's own keys and the designer's never reach the game.
    if (isReservedKey(key)) {
        if (down && key == OVERLAY_KEY) {
            m_overlayShown = !m_overlayShown;
        } else if (down && key == RELOAD_KEY) {
            m_reloadRequested = true;
        } else if (down && key == FULLSCREEN_KEY) {
            SDL_WM_ToggleFullScreen(m_pScreen);
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
            m_input.setSource(binding.input, key, down);
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
    return SDL_Flip(m_pScreen) == 0 ? 0 : -1;
}

Surface GameEngine::loadBitmap(const std::string& path) {
    return m_bitmaps.load(path, [this, &path](SDL_Surface* pSurface) {
        SDL_SetColorKey(pSurface, SDL_SRCCOLORKEY,
                        SDL_MapRGB(pSurface->format, KEY_RED, KEY_GREEN, KEY_BLUE));
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
    Uint32 key = SDL_MapRGB(surface->format, KEY_RED, KEY_GREEN, KEY_BLUE);
    SDL_FillRect(surface.get(), nullptr, key);
    SDL_SetColorKey(surface.get(), SDL_SRCCOLORKEY, key);
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
    return pSurface != nullptr && SDL_SaveBMP(pSurface, path.c_str()) == 0;
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
    if (SDL_SaveBMP(m_pScreen, temporary.path().c_str()) != 0) {
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
        for (SoundEvent event : m_raisedSounds) {
            m_pAudio->play(event);
        }
    }
}
