// SDL set-up, drawing primitives, camera and the keyboard model.
#include "engine/GameEngine.h"

#include "engine/DataError.h"
#include "graphics/Font.h"

#include <cstdio>
#include <cstdlib>

GameEngine* gEngine = nullptr;

namespace {

constexpr Uint32 INIT_FLAGS = SDL_INIT_TIMER | SDL_INIT_VIDEO; // 0x21
constexpr int HALF_SCREEN_WIDTH = GameEngine::SCREEN_WIDTH / 2;

// SDL_Rect fields are 16-bit; the game defines its positions as wrapping there.
Sint16 wrap16(int value) { return static_cast<Sint16>(value); }

std::string noDisplayHint() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
        return " (no display found; try --headless)";
    }
    return "";
}

} // namespace

void SurfaceDeleter::operator()(SDL_Surface* pSurface) const { GameEngine::freeSurface(pSurface); }

GameEngine::GameEngine() {
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
    try {
        m_pFont = std::make_unique<Font>("font.ini", this);
    } catch (...) {
        SDL_Quit();
        throw;
    }
}

GameEngine::~GameEngine() {
    m_pFont.reset();
    SDL_Quit();
}

void GameEngine::pollEvents() {
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
    while (SDL_PollEvent(&m_event)) {
        switch (m_event.type) {
        case SDL_KEYDOWN:
            keyDown(m_event.key.keysym.sym);
            break;
        case SDL_KEYUP:
            keyUp(m_event.key.keysym.sym);
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

namespace {
bool isGameKey(SDLKey key) {
    switch (key) {
    case SDLK_TAB:
    case SDLK_RETURN:
    case SDLK_SPACE:
    case SDLK_b:
    case SDLK_UP:
    case SDLK_DOWN:
    case SDLK_RIGHT:
    case SDLK_LEFT:
        return true;
    default:
        return false;
    }
}
} // namespace

void GameEngine::keyDown(SDLKey key) {
    if (m_pInputObserver != nullptr && isGameKey(key)) {
        m_pInputObserver->keyEvent(key, true);
    }
    switch (key) {
    case SDLK_TAB:
        if (m_paused) {
            m_paused = false;
            m_stepRequested = true;
        }
        break;
    case SDLK_RETURN:
        m_paused = !m_paused;
        break;
    case SDLK_SPACE:
        m_keys.spacePressed = true;
        m_keys.spaceHeld = true;
        m_keys.spaceReleased = false;
        break;
    case SDLK_b:
        m_keys.bPressed = true;
        m_keys.bHeld = true;
        m_keys.bReleased = false;
        break;
    case SDLK_UP:
        m_keys.vertical = UP;
        m_keys.upHeld = true;
        break;
    case SDLK_DOWN:
        m_keys.vertical = DOWN;
        m_keys.downHeld = true;
        break;
    case SDLK_RIGHT:
        m_keys.horizontal = RIGHT;
        m_keys.rightHeld = true;
        break;
    case SDLK_LEFT:
        m_keys.horizontal = LEFT;
        m_keys.leftHeld = true;
        break;
    default:
        break;
    }
}

void GameEngine::keyUp(SDLKey key) {
    if (m_pInputObserver != nullptr && isGameKey(key)) {
        m_pInputObserver->keyEvent(key, false);
    }
    switch (key) {
    case SDLK_SPACE:
        m_keys.spacePressed = false;
        m_keys.spaceHeld = false;
        m_keys.spaceReleased = true;
        break;
    case SDLK_b:
        m_keys.bPressed = false;
        m_keys.bHeld = false;
        m_keys.bReleased = true;
        break;
    case SDLK_UP:
        m_keys.vertical = m_keys.downHeld ? DOWN : NONE;
        m_keys.upHeld = false;
        break;
    case SDLK_DOWN:
        m_keys.vertical = m_keys.upHeld ? UP : NONE;
        m_keys.downHeld = false;
        break;
    case SDLK_RIGHT:
        m_keys.horizontal = m_keys.leftHeld ? LEFT : NONE;
        m_keys.rightHeld = false;
        break;
    case SDLK_LEFT:
        m_keys.horizontal = m_keys.rightHeld ? RIGHT : NONE;
        m_keys.leftHeld = false;
        break;
    default:
        break;
    }
}

void GameEngine::pushKeyEvent(SDLKey key, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.type = event.type;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

void GameEngine::pushQuitEvent() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
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
    return SDL_UpperBlit(pSource, pSourceRect, pTarget, &destination);
}

void GameEngine::clearScreen() {
    SDL_FillRect(m_pScreen, nullptr, SDL_MapRGB(m_pScreen->format, 0, 0, 0));
}

int GameEngine::flip() { return SDL_Flip(m_pScreen) == 0 ? 0 : -1; }

Surface GameEngine::loadBitmap(const std::string& path) {
    SDL_RWops* pStream = SDL_RWFromFile(path.c_str(), "rb");
    if (pStream == nullptr) {
        throw DataError(path, std::string("cannot open bitmap: ") + SDL_GetError());
    }
    Surface surface(SDL_LoadBMP_RW(pStream, 1));
    if (!surface) {
        throw DataError(path, std::string("not a loadable BMP image: ") + SDL_GetError());
    }
    SDL_SetColorKey(surface.get(), SDL_SRCCOLORKEY,
                    SDL_MapRGB(surface->format, KEY_RED, KEY_GREEN, KEY_BLUE));
    return surface;
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
    return surface;
}

void GameEngine::freeSurface(SDL_Surface* pSurface) {
    if (pSurface != nullptr) {
        SDL_FreeSurface(pSurface);
    }
}

bool GameEngine::saveScreen(const std::string& path) {
    // Written beside the target and renamed, so no half-written file is left.
    std::string temporary = path + ".part";
    if (SDL_SaveBMP(m_pScreen, temporary.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool GameEngine::intersects(const SDL_Rect& a, const SDL_Rect& b) {
    int32_t ay = a.y, ax = a.x, by = b.y, bx = b.x;
    int32_t aw = a.w, ah = a.h, bw = b.w, bh = b.h;
    return ay < by + bh && by < ay + ah && bx < ax + aw && ax < bx + bw;
}
