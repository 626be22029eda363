// The vocabulary of the effect language: type codes, the state table (one entry per state a
// pass may assign) and the value-name tables, with the checks and conversions built on them.
#pragma once

#include "platform/win/WinTypes.h"

#include <cstddef>
#include <string_view>

// Type codes: parameter types, state value types and value kinds.
enum EffectType : DWORD {
    EFFECT_DWORD = 0,
    EFFECT_FLOAT = 1,
    EFFECT_VECTOR = 2,
    EFFECT_MATRIX = 3,
    EFFECT_TEXTURE = 4,
    EFFECT_VERTEXSHADER = 5,
    EFFECT_PIXELSHADER = 6,
    EFFECT_CONSTANT = 7,
    EFFECT_STRING = 8,
    EFFECT_TYPE_COUNT = 9
};

// State classes: the top byte of a state code.
enum EffectStateClass : DWORD {
    STATECLASS_RENDER = 1,
    STATECLASS_TEXTURESTAGE = 2,
    STATECLASS_LIGHT = 3,
    STATECLASS_MATERIAL = 4,
    STATECLASS_TEXTURE = 5,
    STATECLASS_SHADER = 6,
    STATECLASS_TRANSFORM = 7,
};
constexpr DWORD StateClassOf(DWORD code) { return code >> 24; }
constexpr DWORD StateMemberOf(DWORD code) { return code & 0xFFFFFF; }
constexpr DWORD kAnyIndex = 0xFFFFFFFF;  // index limit of states that take any index

struct EffectValueName {
    const char* name;
    DWORD value;
};

struct EffectStateInfo {
    const char* name;
    EffectType type;          // value type
    DWORD indexLimit;         // index must be below it; 1: no index; kAnyIndex: any
    DWORD code;               // class in the top byte, member below
    const EffectValueName* values;  // value-name table, or null
    size_t valueCount;
};

// Type name ("DWORD", ...) as used in messages; "?" for a code out of range.
const char* EffectTypeName(DWORD type);
// Parameter type word (case-insensitive); false for words that are no parameter type.
bool LookupParameterType(std::string_view word, EffectType* type);
// Whether a value of kind `source` may be assigned to a target of type `target`.
bool IsAssignable(DWORD target, DWORD source);

const EffectStateInfo* FindStateByName(std::string_view name);
const EffectStateInfo* FindStateByCode(DWORD code);
const EffectStateInfo* StateTable(size_t* count);
// First value name of `state` equal to `name` (case-insensitive); null when none.
const EffectValueName* FindValueName(const EffectStateInfo& state, std::string_view name);
// Vertex-format flag names (shared with the declaration compiler's "fvf" statement).
const EffectValueName* FindVertexFormatName(std::string_view name);

// Vector (x, y, z, w) to an ARGB colour word, and back.
DWORD ColorFromVector(const float v[4]);
void VectorFromColor(DWORD color, float v[4]);
