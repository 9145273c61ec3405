// Fuzzes the INI reader: any text parses, and every query on the result stays
// consistent with the integer conversion of the stored text.
#include "FuzzSupport.h"

#include "config/IniDictionary.h"

#include <cstdlib>
#include <string>

namespace {

// Keys and sections the game's loaders ask for, plus the odd cases of the
// reader: the empty section and a key that is a whole line.
const char* const SECTIONS[] = {"",       "Properties", "Sprites",   "Animation0",
                                "XSpeed", "Levels",     "Effects",   "Music",
                                "Audio",  "Object",     "Behaviour", "Health"};
const char* const KEYS[] = {
    "amount", "sheet",     "width",     "frame0Duration", "runningInt", "jump", "menu", "music",
    "volume", "behaviour", "hitPoints", "barColour",      "object0x",   "a",    ""};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    std::string text = fuzz_support::textFrom(pData, size, 0);
    IniDictionary dictionary = IniDictionary::fromText(text);
    for (const char* pSection : SECTIONS) {
        dictionary.hasSection(pSection);
        for (const char* pKey : KEYS) {
            std::string value = dictionary.getString(pKey, pSection, "default");
            int32_t number = dictionary.getInt(pKey, pSection, -7);
            if (dictionary.hasKey(pKey, pSection) && number != parseIniInt(value)) {
                std::abort();
            }
        }
    }
    parseIniInt(text);
    return 0;
}
