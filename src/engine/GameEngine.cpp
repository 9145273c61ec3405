// SDL set-up, drawing primitives, camera and the keyboard model.
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
constexpr int HALF_SCREEN_WIDTH = GameEngine::SCREEN_WIDTH / 2;
// Gamepads are looked for again this often, so plugging one in or out during
// play is noticed (SDL 1.2 has no events for it).
constexpr int JOYSTICK_SCAN_INTERVAL = 60; // polls
// Identifiers of the physical sources that hold an input: keys use their
// SDL key code below REPLAY_SOURCE.
constexpr int REPLAY_SOURCE = 0x1000;
constexpr int BUTTON_SOURCE = 0x10000;
constexpr int AXIS_SOURCE = 0x20000;
constexpr int HAT_SOURCE = 0x30000;
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

GameEngine::GameEngine(FontLoader loadFont, BlitObserver* pBlitObserver)
    : m_pBlitObserver(pBlitObserver) {
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
    m_keys = KeyState{};
    m_camera = SDL_Rect{0, 1920, SCREEN_WIDTH, SCREEN_HEIGHT};
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
    m_pAudio.reset();
    m_pFont.reset();
    m_bitmaps.clear();
    for (SDL_Joystick* pJoystick : m_joysticks) {
        SDL_JoystickClose(pJoystick);
    }
    SDL_Quit();
}

void GameEngine::pollEvents(const std::function<bool()>& refill) {
    // A frame begins here: the sounds raised in it are the pause's and the
    // update's that follows.
    m_raisedSounds.clear();
    if (!m_paused) {
        m_keys.previousHorizontal = m_keys.horizontal;
        m_keys.previousVertical = m_keys.vertical;
        m_keys.bPressed = false;
        m_keys.bReleased = false;
        m_keys.spacePressed = false;
        m_keys.spaceReleased = false;
    }
    if (m_stepRequested) {
        m_paused = true;
        m_stepRequested = false;
    }
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
                    setSource(binding.input,
                              BUTTON_SOURCE + m_event.jbutton.which * 256 + m_event.jbutton.button,
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
        case SDL_QUIT:
            m_quitRequested = true;
            if (m_pInputObserver != nullptr) {
                m_pInputObserver->quitEvent();
            }
            break;
        default:
            break;
        }
    }
}

void GameEngine::handleKey(const SDL_KeyboardEvent& event) {
    bool down = event.type == SDL_KEYDOWN;
    SDLKey key = event.keysym.sym;
    // The window's own keys and the designer's never reach the game.
    if (key == SDLK_F3 || key == SDLK_F5 || key == SDLK_F11 || key == SDLK_F12) {
        if (down && key == SDLK_F3) {
            m_overlayShown = !m_overlayShown;
        } else if (down && key == SDLK_F5) {
            m_reloadRequested = true;
        } else if (down && key == SDLK_F11) {
            SDL_WM_ToggleFullScreen(m_pScreen);
        } else if (down) {
            saveNumberedScreenshot();
        }
        return;
    }
    // M mutes, unless controls.ini gave it to the game.
    if (key == SDLK_m && event.which != REPLAY_DEVICE &&
        std::none_of(m_controls.keys.begin(), m_controls.keys.end(),
                     [](const Controls::KeyBinding& binding) { return binding.key == SDLK_m; })) {
        if (down && m_pAudio) {
            m_pAudio->toggleMute();
        }
        return;
    }
    if (event.which == REPLAY_DEVICE) {
        int input = inputOfCanonicalKey(key);
        if (input >= 0) {
            setSource(static_cast<GameInput>(input), REPLAY_SOURCE + key, down);
        }
        return;
    }
    for (const Controls::KeyBinding& binding : m_controls.keys) {
        if (binding.key == key) {
            setSource(binding.input, key, down);
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
        setSource(low, source, false);
    }
    if (!positive) {
        setSource(high, source + 1, false);
    }
    if (negative) {
        setSource(low, source, true);
    }
    if (positive) {
        setSource(high, source + 1, true);
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
                setSource(DIRECTIONS[i].input, source + i, held);
            }
        }
    }
}

void GameEngine::setSource(GameInput input, int source, bool held) {
    std::vector<int>& sources = m_heldSources[static_cast<size_t>(input)];
    auto found = std::find(sources.begin(), sources.end(), source);
    // Keys (and replayed keys) act on every event, as the keyboard always
    // has: a second "down" presses again, a stray "up" still releases. A
    // gamepad's stick repeats its events while held, so its sources act only
    // on changes.
    bool isKey = source < BUTTON_SOURCE;
    if (held) {
        if (found == sources.end()) {
            sources.push_back(source);
            if (sources.size() == 1) {
                inputDown(input);
            }
        } else if (isKey && sources.size() == 1) {
            inputDown(input);
        }
    } else if (found != sources.end()) {
        sources.erase(found);
        if (sources.empty()) {
            inputUp(input);
        }
    } else if (isKey && sources.empty()) {
        inputUp(input);
    }
}

void GameEngine::inputDown(GameInput input) {
    if (m_pInputObserver != nullptr) {
        m_pInputObserver->keyEvent(canonicalKey(input), true);
    }
    switch (input) {
    case GameInput::STEP:
        if (m_paused) {
            m_paused = false;
            m_stepRequested = true;
        }
        break;
    case GameInput::PAUSE:
        m_paused = !m_paused;
        if (m_paused) {
            raiseSound(SoundEvent::PAUSE);
        }
        break;
    case GameInput::JUMP:
        m_keys.spacePressed = true;
        m_keys.spaceHeld = true;
        m_keys.spaceReleased = false;
        break;
    case GameInput::SHOOT:
        m_keys.bPressed = true;
        m_keys.bHeld = true;
        m_keys.bReleased = false;
        break;
    case GameInput::UP:
        m_keys.vertical = UP;
        m_keys.upHeld = true;
        break;
    case GameInput::DOWN:
        m_keys.vertical = DOWN;
        m_keys.downHeld = true;
        break;
    case GameInput::RIGHT:
        m_keys.horizontal = RIGHT;
        m_keys.rightHeld = true;
        break;
    case GameInput::LEFT:
        m_keys.horizontal = LEFT;
        m_keys.leftHeld = true;
        break;
    }
}

void GameEngine::inputUp(GameInput input) {
    if (m_pInputObserver != nullptr) {
        m_pInputObserver->keyEvent(canonicalKey(input), false);
    }
    switch (input) {
    case GameInput::STEP:
    case GameInput::PAUSE:
        break;
    case GameInput::JUMP:
        m_keys.spacePressed = false;
        m_keys.spaceHeld = false;
        m_keys.spaceReleased = true;
        break;
    case GameInput::SHOOT:
        m_keys.bPressed = false;
        m_keys.bHeld = false;
        m_keys.bReleased = true;
        break;
    case GameInput::UP:
        m_keys.vertical = m_keys.downHeld ? DOWN : NONE;
        m_keys.upHeld = false;
        break;
    case GameInput::DOWN:
        m_keys.vertical = m_keys.upHeld ? UP : NONE;
        m_keys.downHeld = false;
        break;
    case GameInput::RIGHT:
        m_keys.horizontal = m_keys.leftHeld ? LEFT : NONE;
        m_keys.rightHeld = false;
        break;
    case GameInput::LEFT:
        m_keys.horizontal = m_keys.rightHeld ? RIGHT : NONE;
        m_keys.leftHeld = false;
        break;
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
    // A controller that goes away cannot leave an input held.
    for (int input = 0; input < GAME_INPUT_COUNT; ++input) {
        std::vector<int> sources = m_heldSources[static_cast<size_t>(input)];
        for (int source : sources) {
            if (source >= BUTTON_SOURCE) {
                setSource(static_cast<GameInput>(input), source, false);
            }
        }
    }
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
            std::fprintf(notesStream(), "kcs: screenshot saved to %s\n", path.c_str());
        } catch (const DataError& error) {
            std::fprintf(notesStream(), "kcs: %s\n", error.what());
        }
        std::fflush(notesStream());
        return;
    }
}

bool GameEngine::pushKeyEvent(SDLKey key, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.type = event.type;
    event.key.which = REPLAY_DEVICE;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    return SDL_PushEvent(&event) == 0;
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
    TemporaryFile temporary(path, option);
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
