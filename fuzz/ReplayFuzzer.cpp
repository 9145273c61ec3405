// Fuzzes the replay-file parser: any text is either a list of events in frame
// order or a DataError naming the file and line.
#include "FuzzSupport.h"

#include "engine/DataError.h"
#include "program/Replay.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    const std::string name = "fuzz.replay";
    try {
        ReplayScript script = ReplayScript::parse(fuzz_support::textFrom(pData, size, 0), name);
        int64_t lastFrame = 0;
        for (const ReplayEvent& event : script.events()) {
            if (event.frame < lastFrame ||
                static_cast<unsigned>(event.input) >= static_cast<unsigned>(GAME_INPUT_COUNT)) {
                std::abort();
            }
            lastFrame = event.frame;
        }
    } catch (const DataError& error) {
        if (error.file() != name) {
            std::abort();
        }
    }
    return 0;
}
