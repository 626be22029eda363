// Why a technique does not validate: the first check that refused it, worked out by the same
// checks Validate runs (the validation result codes stay as they are).
#pragma once

#include "effect/runtime/EffectFile.h"
#include "effect/runtime/NameOrIndex.h"

#include <string>
#include <vector>

struct TechniqueFault {
    bool found = false;     // false when the technique validates
    UINT pass = 0;          // the pass refused
    std::string passName;
    std::string state;      // its assignment's state ("SRCBLEND", "COLOROP[1]"); empty when the
                            // device refused the pass as a whole
    std::string value;      // the refused value's name or number, when it is a number
    std::string reason;     // what was refused, in words
    // A shader the validator refused: its message and, from the shader's debug comments, the
    // refused instruction's file and line (line 0: unknown) and mnemonic.
    std::string shaderMessage;
    std::string file;
    UINT line = 0;
    std::string mnemonic;
};

// Validates `technique` of `effect` (an effect this runtime made) as Validate does. On failure
// returns Validate's result and fills `fault`; on success clears it. Refused while the effect
// is begun, for an unknown technique or a null fault (D3DERR_INVALIDCALL).
HRESULT ExplainInvalidTechnique(EffectFile* effect, NameOrIndex technique, TechniqueFault* fault);

// One line for people: pass 0 "p": SRCBLEND = BOTHINVSRCALPHA: not in the device's SrcBlendCaps
std::string DescribeFault(const TechniqueFault& fault);

namespace effectimpl {
// A state as written in effects, with its index when the state takes one.
std::string StateText(DWORD state, DWORD index);
// A DWORD value by its first value name for the state, else as a number.
std::string ValueText(DWORD state, DWORD value);
// The name of a device result code ("D3DERR_UNSUPPORTEDCOLOROPERATION"), or its hex value.
std::string DeviceResultName(HRESULT hr);
// Finds the instruction a validator message names ("... instruction N (mov): ...") in the
// shader's tokens and takes its file and line from the debug comments before it.
void LocateShaderMessage(const std::vector<DWORD>& function, const std::string& message, TechniqueFault* fault);
}  // namespace effectimpl
