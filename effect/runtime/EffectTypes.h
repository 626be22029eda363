// The runtime's checks on a compiled block's type codes and state references, made against
// the compiler's state table so that both sides agree on what a state is.
#pragma once

#include "effect/EffectStates.h"
#include "platform/win/WinTypes.h"

inline bool IsKnownType(DWORD type) { return type < EFFECT_TYPE_COUNT; }
inline bool IsParameterType(DWORD type) { return IsKnownType(type) && type != EFFECT_CONSTANT; }

// True when `code` is a state of the state table whose value type is `valueType` and whose index
// limit admits `index`.
inline bool IsKnownAssignmentTarget(DWORD valueType, DWORD code, DWORD index) {
    const EffectStateInfo* state = FindStateByCode(code);
    return state && state->type == valueType && (state->indexLimit == kAnyIndex || index < state->indexLimit);
}
