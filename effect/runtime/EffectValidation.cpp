// The reason a technique does not validate: the names of the refused state and value, the
// device's result in words, and a shader message placed back on its line in the effect file.
#include "effect/runtime/EffectValidation.h"

#include "effect/EffectBlockTags.h"
#include "effect/EffectStates.h"
#include "effect/ShaderAssembler.h"
#include "effect/runtime/EffectObject.h"
#include "platform/d3d/shader/ShaderTokens.h"

#include <cstdio>
#include <cstring>

HRESULT ExplainInvalidTechnique(EffectFile* effect, NameOrIndex technique, TechniqueFault* fault) {
    auto* object = dynamic_cast<effectimpl::EffectObject*>(effect);
    if (!object || !fault) return D3DERR_INVALIDCALL;
    return object->ExplainTechnique(technique, fault);
}

std::string DescribeFault(const TechniqueFault& fault) {
    std::string text = "pass " + std::to_string(fault.pass) + " \"" + fault.passName + "\": ";
    if (!fault.state.empty()) {
        text += fault.state;
        if (!fault.value.empty()) text += " = " + fault.value;
        text += ": ";
    }
    return text + fault.reason;
}

namespace effectimpl {

std::string StateText(DWORD state, DWORD index) {
    const EffectStateInfo* info = FindStateByCode(state);
    if (!info) return "state " + std::to_string(state);
    std::string text = info->name;
    if (info->indexLimit != 1) text += "[" + std::to_string(index) + "]";
    return text;
}

std::string ValueText(DWORD state, DWORD value) {
    const EffectStateInfo* info = FindStateByCode(state);
    if (info) {
        for (size_t i = 0; i < info->valueCount; ++i)
            if (info->values[i].value == value) return info->values[i].name;
    }
    return std::to_string(value);
}

std::string DeviceResultName(HRESULT hr) {
    static const struct {
        HRESULT code;
        const char* name;
    } kNames[] = {
        {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT"},
        {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
        {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG"},
        {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION"},
        {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG"},
        {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS"},
        {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER"},
        {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE"},
        {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE"},
        {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
        {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE"},
        {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR"},
        {D3DERR_DEVICELOST, "D3DERR_DEVICELOST"},
        {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
    };
    for (const auto& n : kNames)
        if (n.code == hr) return n.name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(hr));
    return hex;
}

void LocateShaderMessage(const std::vector<DWORD>& function, const std::string& message, TechniqueFault* fault) {
    fault->shaderMessage = message;
    const int number = ValidatorInstructionNumber(message);
    shader::Program program;
    std::string error;
    if (number < 1 || !shader::ReadProgram(function.data(), function.size(), &program, &error) ||
        size_t(number) > program.instructions.size())
        return;
    const shader::Instruction& refused = program.instructions[size_t(number) - 1];
    fault->mnemonic = shader::GetOpInfo(refused.op).name;
    // The debug comments stand between instructions: walk each gap up to the refused one,
    // stepping over every instruction's own tokens.
    size_t at = 1;  // after the version token
    for (const shader::Instruction& ins : program.instructions) {
        while (at < ins.offset && at < function.size()) {
            const DWORD token = function[at];
            if ((token & 0xFFFF) != shader::COMMENT_OPCODE) break;
            const size_t words = token >> 16;
            if (at + 1 + words > function.size()) return;
            if (words >= 2 && function[at + 1] == kTagShaderLine) fault->line = function[at + 2];
            if (words >= 1 && function[at + 1] == kTagShaderFile) {
                const char* name = reinterpret_cast<const char*>(&function[at + 2]);
                fault->file.assign(name, strnlen(name, (words - 1) * 4));
            }
            at += 1 + words;
        }
        if (&ins == &refused) return;
        // The instruction token, its parameter tokens (top bit set) and def's four values.
        at = ins.offset + 1;
        if (ins.op == shader::Op::Def) at += 5;
        while (ins.op != shader::Op::Def && at < function.size() && (function[at] & shader::PARAM_BIT)) ++at;
    }
}

}  // namespace effectimpl
