// Reading a kind file: the keys every kind has; the behaviour's own numbers
// are read by its rules (Behaviours.cpp).
#include "world/objects/ObjectKind.h"

#include "config/IniDictionary.h"
#include "engine/Audio.h"
#include "engine/DataError.h"
#include "engine/Direction.h"
#include "engine/GameEngine.h"
#include "world/objects/Behaviours.h"

namespace {

// Limits that keep every sum of positions and counts far from overflow.
constexpr int32_t MAX_HIT_POINTS = 9999;
// A box larger than a screen could never be seen whole.
constexpr int32_t MAX_BOX_SIDE = 240;    // px
constexpr int32_t DEFAULT_BOX_SIDE = 16; // px, a tile

// A speed of a behaviour that leaves it still at 0, which is its default.
struct StillSpeed {
    Behaviour behaviour;
    FixedPoint ObjectKind::*pSpeed;
    const char* key; // without its Int and Fraction
    const char* consequence;
    const char* example;
};

const StillSpeed STILL_SPEEDS[] = {
    {Behaviour::WALKER, &ObjectKind::speed, "speed", "it never walks", "speedFraction=128"},
    {Behaviour::WALKER, &ObjectKind::gravity, "gravity",
     "it never falls: it walks on past a ledge, and hangs where it starts in the air",
     "gravityFraction=64"},
    {Behaviour::HOPPER, &ObjectKind::jumpY, "jumpY", "it never leaves the ground", "jumpYInt=4"},
    {Behaviour::HOPPER, &ObjectKind::gravity, "gravity", "a hop never comes down",
     "gravityFraction=64"},
    {Behaviour::TURRET, &ObjectKind::shotSpeed, "shotSpeed", "its shots hang where they are fired",
     "shotSpeedInt=2"},
};

// Each of the kind's events may have a sound of its own, named like the
// sounds file's key for the event.
void readSounds(ObjectKind& kind, const IniDictionary& file) {
    const std::string section = "Sounds";
    for (auto [event, pNumber] : {std::pair{SoundEvent::DEFEAT, &kind.defeatSound},
                                  std::pair{SoundEvent::ENEMY_SHOOT, &kind.shootSound},
                                  std::pair{SoundEvent::CLEAR, &kind.clearSound}}) {
        *pNumber = GameEngine::NO_OWN_SOUND;
        std::string key = soundEventName(event);
        Audio* pAudio = gEngine->audio();
        if (pAudio != nullptr && file.hasKey(key, section)) {
            *pNumber = pAudio->loadOwnSound(
                SoundSource{file.getString(key, section, ""), kind.fileName, section, key});
        }
    }
}

} // namespace

ObjectKind::ObjectKind(const std::string& name) : fileName(name) {
    pFile = std::make_unique<IniDictionary>(gEngine->files(), fileName);
    const IniDictionary& file = *pFile;
    const std::string section = "Object";
    std::string behaviourText = file.getString("behaviour", section, "");
    const BehaviourRules* pRules = findBehaviour(behaviourText);
    if (pRules == nullptr) {
        throw DataError(fileName, joined("[Object] behaviour is \"", excerpt(behaviourText),
                                         "\"; give one of ", behaviourNames()));
    }
    behaviour = pRules->behaviour;
    hitPoints = file.getInt("hitPoints", section, 0, 0, MAX_HIT_POINTS);
    contactDamage = file.getInt("contactDamage", section, 1, 0, MAX_DAMAGE);
    std::string facingText = file.getString("facing", section, "left");
    if (facingText == "left") {
        facing = LEFT;
    } else if (facingText == "right") {
        facing = RIGHT;
    } else {
        throw DataError(fileName, joined("[Object] facing is \"", excerpt(facingText),
                                         "\"; give left or right"));
    }
    width =
        static_cast<Uint16>(file.getInt("width", "BoundingBox", DEFAULT_BOX_SIDE, 1, MAX_BOX_SIDE));
    height = static_cast<Uint16>(
        file.getInt("height", "BoundingBox", DEFAULT_BOX_SIDE, 1, MAX_BOX_SIDE));
    pRules->read(*this, file);
    readSounds(*this, file);
}

ObjectKind::~ObjectKind() = default;

const char* ObjectKind::behaviourName(Behaviour behaviour) {
    return rulesOf(behaviour).name;
}

std::vector<std::string> ObjectKind::designWarnings() const {
    std::vector<std::string> warnings;
    for (const StillSpeed& still : STILL_SPEEDS) {
        if (still.behaviour == behaviour && (this->*still.pSpeed).raw == 0) {
            warnings.push_back(joined(fileName, ": [Behaviour] ", still.key, "Int and ", still.key,
                                      "Fraction are 0, so ", still.consequence, "; give one, like ",
                                      still.example));
        }
    }
    // A wave without travel bobs where it starts, which is a design.
    bool travels = pathX != 0 || (!wave && pathY != 0);
    if (behaviour == Behaviour::FLYER && !travels && pathY == 0) {
        warnings.push_back(joined(fileName, ": [Behaviour] pathX and pathY are 0, so it never ",
                                  "leaves its start; give the path's far end, like pathX=64"));
    } else if (behaviour == Behaviour::FLYER && travels && speed.raw == 0) {
        warnings.push_back(joined(fileName, ": [Behaviour] speedInt and speedFraction are 0, so ",
                                  "it never moves along its path; give a speed, like speedInt=1"));
    }
    if (behaviour == Behaviour::EXIT && hitPoints != 0) {
        warnings.push_back(joined(fileName, ": [Object] hitPoints ", std::to_string(hitPoints),
                                  " lets the player's shots take the exit away, and then the "
                                  "level can never be cleared; give 0"));
    }
    return warnings;
}
