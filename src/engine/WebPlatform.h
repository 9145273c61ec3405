// What the browser's build needs of the platform that emscripten's SDL 1.2
// does not give as the native SDL does. Only the engine calls these, and
// only in the web build (__EMSCRIPTEN__); everything above the engine sees
// the same GameEngine, Audio and bitmaps on both.
#pragma once

#include "engine/Surface.h"

#include <SDL.h>
#include <string>

namespace web {

// Keys. Emscripten's SDL sends the keys without a character (arrows, F1,
// shift, ...) as 1024 + scan code, while its headers name them by SDL 2's
// codes (scan code | SDLK_SCANCODE_MASK): the key as the headers name it.
SDLKey headerKey(SDLKey eventKey);
// Such codes are far above the native ones, where the input rules take a
// source for a gamepad's: the key's number among the keyboard's sources.
int keySource(SDLKey key);
// The key SDL 1.2 calls by this name ("left", "return", "a", "left shift"),
// as controls.ini writes it, or SDLK_UNKNOWN: emscripten's SDL names no key.
SDLKey keyByName(const std::string& name);

// Gamepads. A browser's standard gamepad has its d-pad as buttons 12 to 15
// (up, down, left, right): true for those, with the pad's d-pad as the hat
// the native SDL reports, which the game's bindings expect.
bool dpadAsHat(const SDL_JoyButtonEvent& button, SDL_JoyHatEvent& hat);

// Pictures. Emscripten's SDL misreads some BMP layouts and keeps no colour
// key: bitmaps are decoded here, as 32-bit surfaces, opaque, and the colour
// key becomes a transparent alpha, which its blits (a canvas's drawImage)
// skip as the native blit skips the key.
// A 16-bit pixel that is the colour key in its own format is decoded as the
// key itself. Throws DataError naming `path` for a layout it does not read.
struct KeyColour {
    Uint8 red;
    Uint8 green;
    Uint8 blue;
};
Surface decodeBitmap(const std::string& path, const std::string& bytes, const KeyColour& key);
void keyByAlpha(SDL_Surface* pSurface, Uint8 red, Uint8 green, Uint8 blue);
// As a 24-bit BMP (emscripten's SDL cannot save one); false when it cannot.
bool saveBitmap(SDL_Surface* pSurface, const std::string& path);
// The browser offers the file (from the page's own memory) as a download.
void offerDownload(const std::string& path);

// The frame is shown: the browser gets its turn to draw it and to deliver
// input, and while the page is hidden the game waits here, silent.
void presentFrame();
// Ends the game: the page hears the status (Module.onExit).
[[noreturn]] void exitProcess(int status);

} // namespace web
