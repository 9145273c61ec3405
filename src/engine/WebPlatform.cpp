// The browser's platform: keys, bitmaps, screenshots, the frame's turn and
// the end, where emscripten's SDL 1.2 falls short of the native one.
#include "engine/WebPlatform.h"

#ifdef __EMSCRIPTEN__

#include "engine/DataError.h"
#include "engine/LittleEndian.h"

#include <emscripten.h>

#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace web {

namespace {

// Emscripten's SDL sends a key without a character as this + its scan code.
constexpr int EVENT_SCANCODE_BASE = 1024;
constexpr int SCANCODE_COUNT = 512;
// Keyboard sources of such keys, above the character keys' codes and below
// the input rules' first replayed source (0x1000).
constexpr int SCANCODE_SOURCE_BASE = 0x800;

// The keys named by their character in SDL 1.2, whose codes are those
// characters in both SDLs ('%' has no name there).
constexpr const char* CHARACTER_KEYS = "!\"#$&'()*+,-./0123456789:;<=>?@[\\]^_`"
                                       "abcdefghijklmnopqrstuvwxyz";

struct NamedKey {
    const char* name;
    SDLKey key;
};

// SDL 1.2's names of the other keys a browser reports.
constexpr NamedKey NAMED_KEYS[] = {
    {"backspace", SDLK_BACKSPACE},
    {"tab", SDLK_TAB},
    {"clear", SDLK_CLEAR},
    {"return", SDLK_RETURN},
    {"pause", SDLK_PAUSE},
    {"escape", SDLK_ESCAPE},
    {"space", SDLK_SPACE},
    {"delete", SDLK_DELETE},
    {"[0]", SDLK_KP_0},
    {"[1]", SDLK_KP_1},
    {"[2]", SDLK_KP_2},
    {"[3]", SDLK_KP_3},
    {"[4]", SDLK_KP_4},
    {"[5]", SDLK_KP_5},
    {"[6]", SDLK_KP_6},
    {"[7]", SDLK_KP_7},
    {"[8]", SDLK_KP_8},
    {"[9]", SDLK_KP_9},
    {"[.]", SDLK_KP_PERIOD},
    {"[/]", SDLK_KP_DIVIDE},
    {"[*]", SDLK_KP_MULTIPLY},
    {"[-]", SDLK_KP_MINUS},
    {"[+]", SDLK_KP_PLUS},
    {"enter", SDLK_KP_ENTER},
    {"equals", SDLK_KP_EQUALS},
    {"up", SDLK_UP},
    {"down", SDLK_DOWN},
    {"right", SDLK_RIGHT},
    {"left", SDLK_LEFT},
    {"insert", SDLK_INSERT},
    {"home", SDLK_HOME},
    {"end", SDLK_END},
    {"page up", SDLK_PAGEUP},
    {"page down", SDLK_PAGEDOWN},
    {"f1", SDLK_F1},
    {"f2", SDLK_F2},
    {"f3", SDLK_F3},
    {"f4", SDLK_F4},
    {"f5", SDLK_F5},
    {"f6", SDLK_F6},
    {"f7", SDLK_F7},
    {"f8", SDLK_F8},
    {"f9", SDLK_F9},
    {"f10", SDLK_F10},
    {"f11", SDLK_F11},
    {"f12", SDLK_F12},
    {"f13", SDLK_F13},
    {"f14", SDLK_F14},
    {"f15", SDLK_F15},
    {"numlock", SDLK_NUMLOCKCLEAR},
    {"caps lock", SDLK_CAPSLOCK},
    {"scroll lock", SDLK_SCROLLLOCK},
    {"right shift", SDLK_RSHIFT},
    {"left shift", SDLK_LSHIFT},
    {"right ctrl", SDLK_RCTRL},
    {"left ctrl", SDLK_LCTRL},
    {"right alt", SDLK_RALT},
    {"left alt", SDLK_LALT},
    {"left super", SDLK_LGUI},
    {"right super", SDLK_RGUI},
    {"help", SDLK_HELP},
    {"print screen", SDLK_PRINTSCREEN},
    {"sys req", SDLK_SYSREQ},
    {"menu", SDLK_MENU},
    {"power", SDLK_POWER},
    {"undo", SDLK_UNDO},
};

// The standard gamepad's d-pad buttons, in this order, and the pads whose
// d-pad is followed.
constexpr int DPAD_FIRST_BUTTON = 12;
constexpr std::array<Uint8, 4> DPAD_HAT_BITS = {SDL_HAT_UP, SDL_HAT_DOWN, SDL_HAT_LEFT,
                                                SDL_HAT_RIGHT};
constexpr size_t MAX_PADS = 16;
std::array<Uint8, MAX_PADS> gDpads{}; // each pad's d-pad as hat bits

// BMP layouts (the info header's compression).
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;
constexpr size_t FILE_HEADER = 14; // bytes, before the info header
constexpr size_t CORE_HEADER = 12; // bytes: OS/2's, 16-bit sizes, 3-byte palette
constexpr size_t INFO_HEADER = 40;
constexpr int MAX_PALETTE_BITS = 8;
constexpr mode_t FILE_MODE = 0644;

// The value of the bits `mask` selects, scaled to 0-255 and rounded down, as
// the native SDL widens a 5- or 6-bit channel.
Uint8 channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = __builtin_ctz(mask);
    uint32_t top = mask >> shift;
    return static_cast<Uint8>(((pixel & mask) >> shift) * 255 / top);
}

// The surface's pixels as 0xAABBGGRR words (a canvas's byte order), locked.
class Pixels {
public:
    explicit Pixels(SDL_Surface* pSurface) : m_pSurface(pSurface) {
        m_locked = SDL_LockSurface(pSurface) == 0;
    }
    ~Pixels() {
        if (m_locked) {
            SDL_UnlockSurface(m_pSurface);
        }
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;
    bool isLocked() const { return m_locked; }
    Uint32* row(int y) {
        return reinterpret_cast<Uint32*>(static_cast<Uint8*>(m_pSurface->pixels) +
                                         static_cast<ptrdiff_t>(y) * m_pSurface->pitch);
    }

private:
    SDL_Surface* m_pSurface;
    bool m_locked = false;
};

// An 8-bit channel in the bits of `mask`, as SDL_MapRGB puts it there.
uint32_t inFormat(Uint8 value, uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = __builtin_ctz(mask);
    int width = std::popcount(mask >> shift);
    uint32_t bits = width >= 8 ? uint32_t{value} << (width - 8) : uint32_t{value} >> (8 - width);
    return (bits << shift) & mask;
}

constexpr Uint32 OPAQUE = 0xFF000000;
Uint32 canvasPixel(Uint8 red, Uint8 green, Uint8 blue) {
    return OPAQUE | static_cast<Uint32>(blue) << 16 | static_cast<Uint32>(green) << 8 | red;
}

} // namespace

SDLKey headerKey(SDLKey eventKey) {
    int code = static_cast<int>(eventKey);
    if (code >= EVENT_SCANCODE_BASE && code < EVENT_SCANCODE_BASE + SCANCODE_COUNT) {
        return static_cast<SDLKey>((code - EVENT_SCANCODE_BASE) | SDLK_SCANCODE_MASK);
    }
    return eventKey;
}

int keySource(SDLKey key) {
    int code = static_cast<int>(key);
    if ((code & SDLK_SCANCODE_MASK) != 0) {
        return SCANCODE_SOURCE_BASE + (code & (SCANCODE_COUNT - 1));
    }
    return code;
}

SDLKey keyByName(const std::string& name) {
    if (name.size() == 1 && name[0] != '\0' && std::strchr(CHARACTER_KEYS, name[0]) != nullptr) {
        return static_cast<SDLKey>(static_cast<unsigned char>(name[0]));
    }
    for (const NamedKey& entry : NAMED_KEYS) {
        if (name == entry.name) {
            return entry.key;
        }
    }
    return SDLK_UNKNOWN;
}

bool dpadAsHat(const SDL_JoyButtonEvent& button, SDL_JoyHatEvent& hat) {
    int index = button.button - DPAD_FIRST_BUTTON;
    if (index < 0 || index >= static_cast<int>(DPAD_HAT_BITS.size()) || button.which < 0 ||
        static_cast<size_t>(button.which) >= MAX_PADS) {
        return false;
    }
    Uint8& dpad = gDpads[static_cast<size_t>(button.which)];
    Uint8 bit = DPAD_HAT_BITS[static_cast<size_t>(index)];
    dpad = button.type == SDL_JOYBUTTONDOWN ? dpad | bit : dpad & ~bit;
    hat.type = SDL_JOYHATMOTION;
    hat.which = button.which;
    hat.hat = 0;
    hat.value = dpad;
    return true;
}

Surface decodeBitmap(const std::string& path, const std::string& bytes, const KeyColour& key) {
    auto fail = [&](const std::string& what) {
        return DataError(path, "not a loadable BMP image: " + what);
    };
    const auto* pData = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() < FILE_HEADER + CORE_HEADER || bytes[0] != 'B' || bytes[1] != 'M') {
        throw fail("it does not begin with a BMP header");
    }
    uint32_t headerSize = littleEndian(pData + FILE_HEADER, 4);
    bool core = headerSize == CORE_HEADER;
    if (!core && (headerSize < INFO_HEADER || FILE_HEADER + headerSize > bytes.size())) {
        throw fail("its info header is " + std::to_string(headerSize) + " bytes");
    }
    const uint8_t* pInfo = pData + FILE_HEADER;
    int32_t width = core ? static_cast<int32_t>(littleEndian(pInfo + 4, 2))
                         : static_cast<int32_t>(littleEndian(pInfo + 4, 4));
    int32_t height = core ? static_cast<int32_t>(littleEndian(pInfo + 6, 2))
                          : static_cast<int32_t>(littleEndian(pInfo + 8, 4));
    uint32_t bits = littleEndian(pInfo + (core ? 10 : 14), 2);
    uint32_t compression = core ? BI_RGB : littleEndian(pInfo + 16, 4);
    bool topDown = height < 0;
    height = topDown ? -height : height;
    if (width <= 0 || height <= 0) {
        throw fail("its size is " + std::to_string(width) + " x " + std::to_string(height));
    }
    // The masks of 16- and 32-bit pixels: given after the info header (or in
    // a larger one), else 5-5-5 and 8-8-8.
    std::array<uint32_t, 3> masks = bits == 16 ? std::array<uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                               : std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
    if (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) {
        if ((bits != 16 && bits != 32) || FILE_HEADER + INFO_HEADER + 12 > bytes.size()) {
            throw fail("its bit fields do not fit " + std::to_string(bits) + "-bit pixels");
        }
        for (size_t i = 0; i < masks.size(); ++i) {
            masks[i] = littleEndian(pInfo + INFO_HEADER + 4 * i, 4);
        }
    } else if (compression != BI_RGB) {
        throw fail("its compression (" + std::to_string(compression) +
                   ") is not read by the web build; save it uncompressed");
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        throw fail(std::to_string(bits) + "-bit pixels are not read by the web build");
    }
    const uint32_t keyPixel =
        inFormat(key.red, masks[0]) | inFormat(key.green, masks[1]) | inFormat(key.blue, masks[2]);
    // The palette follows the headers (and the masks of a 40-byte header).
    std::vector<Uint32> palette;
    if (bits <= MAX_PALETTE_BITS) {
        size_t entry = core ? 3 : 4;
        size_t start = FILE_HEADER + headerSize;
        uint32_t used = core ? 0 : littleEndian(pInfo + 32, 4);
        size_t count = used == 0 || used > (1u << bits) ? (1u << bits) : used;
        for (size_t i = 0; i < count && start + (i + 1) * entry <= bytes.size(); ++i) {
            const uint8_t* pEntry = pData + start + i * entry;
            palette.push_back(canvasPixel(pEntry[2], pEntry[1], pEntry[0]));
        }
    }
    size_t offset = littleEndian(pData + 10, 4);
    size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    if (offset > bytes.size() || stride * static_cast<size_t>(height) > bytes.size() - offset) {
        throw fail("its pixels end before its " + std::to_string(width) + " x " +
                   std::to_string(height) + " px");
    }
    Surface surface(SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 32, 0x000000FF, 0x0000FF00,
                                         0x00FF0000, OPAQUE));
    if (!surface) {
        throw fail(std::string("SDL cannot make the picture: ") + SDL_GetError());
    }
    Pixels target(surface.get());
    if (!target.isLocked()) {
        throw fail(std::string("SDL cannot fill the picture: ") + SDL_GetError());
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* pRow =
            pData + offset + stride * static_cast<size_t>(topDown ? y : height - 1 - y);
        Uint32* pOut = target.row(y);
        for (int32_t x = 0; x < width; ++x) {
            if (bits <= MAX_PALETTE_BITS) {
                size_t bit = static_cast<size_t>(x) * bits;
                uint32_t index = (pRow[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                // An index past the palette is black, as SDL reads it.
                pOut[x] = index < palette.size() ? palette[index] : OPAQUE;
            } else {
                uint32_t pixel = littleEndian(pRow + static_cast<size_t>(x) * (bits / 8), bits / 8);
                if (bits == 24) {
                    pOut[x] = canvasPixel(channel(pixel, 0xFF0000), channel(pixel, 0xFF00),
                                          channel(pixel, 0xFF));
                } else if ((pixel & (masks[0] | masks[1] | masks[2])) == keyPixel) {
                    // The native colour key is the key's colour in the file's
                    // own format: whatever its few bits widen to, it is the key.
                    pOut[x] = canvasPixel(key.red, key.green, key.blue);
                } else {
                    pOut[x] = canvasPixel(channel(pixel, masks[0]), channel(pixel, masks[1]),
                                          channel(pixel, masks[2]));
                }
            }
        }
    }
    return surface;
}

void keyByAlpha(SDL_Surface* pSurface, Uint8 red, Uint8 green, Uint8 blue) {
    Pixels pixels(pSurface);
    if (!pixels.isLocked()) {
        return;
    }
    const Uint32 key = canvasPixel(red, green, blue) & ~OPAQUE;
    for (int y = 0; y < pSurface->h; ++y) {
        Uint32* pRow = pixels.row(y);
        for (int x = 0; x < pSurface->w; ++x) {
            pRow[x] = (pRow[x] & ~OPAQUE) == key ? 0 : pRow[x] | OPAQUE;
        }
    }
}

bool saveBitmap(SDL_Surface* pSurface, const std::string& path) {
    if (pSurface == nullptr) {
        return false;
    }
    Pixels pixels(pSurface);
    if (!pixels.isLocked()) {
        return false;
    }
    const SDL_PixelFormat& format = *pSurface->format;
    const size_t stride = (static_cast<size_t>(pSurface->w) * 3 + 3) / 4 * 4;
    const size_t size = FILE_HEADER + INFO_HEADER + stride * static_cast<size_t>(pSurface->h);
    std::vector<uint8_t> file(size, 0);
    auto put = [&](size_t at, uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            file[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
        }
    };
    file[0] = 'B';
    file[1] = 'M';
    put(2, static_cast<uint32_t>(size), 4);
    put(10, FILE_HEADER + INFO_HEADER, 4);
    put(14, INFO_HEADER, 4);
    put(18, static_cast<uint32_t>(pSurface->w), 4);
    put(22, static_cast<uint32_t>(pSurface->h), 4);
    put(26, 1, 2);  // planes
    put(28, 24, 2); // bits per pixel
    for (int y = 0; y < pSurface->h; ++y) {
        const Uint32* pRow = pixels.row(y);
        size_t at = FILE_HEADER + INFO_HEADER + stride * static_cast<size_t>(pSurface->h - 1 - y);
        for (int x = 0; x < pSurface->w; ++x) {
            file[at++] = channel(pRow[x], format.Bmask);
            file[at++] = channel(pRow[x], format.Gmask);
            file[at++] = channel(pRow[x], format.Rmask);
        }
    }
    // The page's file system keeps mode bits but no umask: a temporary file
    // given the mode a new file would have is left unwritable.
    ::chmod(path.c_str(), FILE_MODE);
    std::FILE* pFile = std::fopen(path.c_str(), "wb");
    if (pFile == nullptr) {
        return false;
    }
    bool written = std::fwrite(file.data(), 1, file.size(), pFile) == file.size();
    return std::fclose(pFile) == 0 && written;
}

void offerDownload(const std::string& path) {
    // clang-format off
    EM_ASM({
        var path = UTF8ToString($0);
        var bytes = FS.readFile(path);
        var link = document.createElement('a');
        link.href = URL.createObjectURL(new Blob([bytes], {type: 'image/bmp'}));
        link.download = path.substring(path.lastIndexOf('/') + 1);
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(function() { URL.revokeObjectURL(link.href); }, 1000);
    }, path.c_str());
    // clang-format on
}

void presentFrame() {
    // How often a hidden page looks whether it is shown again.
    constexpr int HIDDEN_POLL = 100; // ms
    // clang-format off
    if (EM_ASM_INT({ return document.hidden ? 1 : 0; }) != 0) {
        EM_ASM({ if (SDL.audioContext) SDL.audioContext.suspend(); });
        while (EM_ASM_INT({ return document.hidden ? 1 : 0; }) != 0) {
            emscripten_sleep(HIDDEN_POLL);
        }
        EM_ASM({ if (SDL.audioContext) SDL.audioContext.resume(); });
    }
    // clang-format on
    emscripten_sleep(0);
}

void exitProcess(int status) {
    // The sound's timer would call the game after its end.
    SDL_CloseAudio();
    std::fflush(nullptr);
    emscripten_force_exit(status);
    std::_Exit(status);
}

} // namespace web

#endif
