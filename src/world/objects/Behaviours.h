// The behaviours an object kind may have, each in one place: its name in the
// kind file, the [Behaviour] keys it reads, its first state and its update.
// A new behaviour is a value of Behaviour, a row of the table and its two
// functions in Behaviours.cpp.
#pragma once

#include "world/objects/GameObject.h"

#include <string>

class IniDictionary;

struct BehaviourRules {
    Behaviour behaviour;
    const char* name; // the kind file's "behaviour" value
    // Reads the behaviour's numbers; throws DataError for unusable ones.
    void (*read)(ObjectKind& kind, const IniDictionary& file);
    ObjectState firstState;
    void (*update)(GameObject& object, const ObjectWorld& world);
};

const BehaviourRules* findBehaviour(const std::string& name);
const BehaviourRules& rulesOf(Behaviour behaviour);
// The names, for a message listing them.
std::string behaviourNames();
