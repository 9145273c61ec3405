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
constexpr int32_t MAX_DAMAGE = 9999;
// A box larger than a screen could never be seen whole.
constexpr int32_t MAX_BOX_SIDE = 240;    // px
constexpr int32_t DEFAULT_BOX_SIDE = 16; // px, a tile

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
