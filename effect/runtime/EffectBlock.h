// Reader of the compiled effect ("FX81" block): checks its shape and lays it out as parameters,
// techniques, passes and assignments that point into the block. No device is involved, so the
// whole shape check can run (and be fuzzed) on its own before any device object is made.
#pragma once

#include <cstddef>
#include <vector>

#include "effect/EffectBlockTags.h"
#include "platform/win/WinTypes.h"

// The invalid-data result of the effect framework: a compiled block or value of the wrong shape.
constexpr HRESULT kEffectInvalidData = static_cast<HRESULT>(0x88760B59u);

// A "VALU" node: its kind (a type code) and the payload words behind it.
struct BlockValue {
    DWORD kind = 0;
    const DWORD* payload = nullptr;
    DWORD count = 0;  // payload words
};

struct BlockAssignment {
    DWORD valueType = 0;  // the state's value type code
    DWORD stateCode = 0;  // class in the top byte, member below
    DWORD index = 0;      // light number, stage, first register, matrix index
    bool isReference = false;
    DWORD parameter = 0;  // referenced parameter's position (isReference only)
    BlockValue value;     // literal value (not isReference)
};

struct BlockPass {
    const char* name = "";
    std::vector<BlockAssignment> assignments;
};

struct BlockTechnique {
    const char* name = "";
    std::vector<BlockPass> passes;
};

struct BlockParameter {
    DWORD type = 0;
    const char* name = "";
    bool hasValue = false;
    BlockValue value;
};

struct EffectBlock {
    std::vector<BlockParameter> parameters;
    std::vector<BlockTechnique> techniques;
};

// Reads `size` bytes at `data` (4-byte aligned) into `out`. Returns S_OK, kEffectInvalidData for
// any shape fault (too short, no "FX81", sizes that do not add up, unknown tags, names without
// their zero byte, unknown state codes or type codes, indexes out of range), or E_OUTOFMEMORY.
// Names and payloads in `out` point into `data`, which must outlive it.
HRESULT ReadEffectBlock(const void* data, size_t size, EffectBlock* out);
