// Looking names and keys up in the key table.
#include "engine/KeyTable.h"

#include "engine/WebPlatform.h"

namespace {

template <typename Matches> const KeyName* find(Matches matches) {
    for (const KeyName& entry : KEY_TABLE) {
        if (matches(entry)) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

const KeyName* findConfigName(const std::string& name) {
    return find([&](const KeyName& entry) { return name == entry.configName; });
}

const KeyName* findReplayWord(const std::string& word) {
    return find([&](const KeyName& entry) { return word == entry.replayWord; });
}

const KeyName* findUsualKey(SDLKey key) {
    return find([&](const KeyName& entry) { return key == entry.usualKey; });
}

SDLKey keyByName(const std::string& name) {
#ifdef __EMSCRIPTEN__
    return web::keyByName(name);
#else
    for (int key = SDLK_FIRST; key < SDLK_LAST; ++key) {
        const char* pName = SDL_GetKeyName(static_cast<SDLKey>(key));
        if (pName != nullptr && name == pName && std::string(pName) != "unknown key") {
            return static_cast<SDLKey>(key);
        }
    }
    return SDLK_UNKNOWN;
#endif
}
