// The node tags of a compiled effect ("FX81" block) and of the debug comments in a shader's
// tokens: one set for the compiler that writes them, the runtime that reads them and effectc's
// listing. A tag is four characters as the block stores them (bytes in memory order).
#pragma once

#include "platform/win/WinTypes.h"

constexpr DWORD EffectTag(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<uint8_t>(a)) | (static_cast<DWORD>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<DWORD>(static_cast<uint8_t>(c)) << 16) | (static_cast<DWORD>(static_cast<uint8_t>(d)) << 24);
}
// Effect nodes.
constexpr DWORD kTagRoot = EffectTag('F', 'X', '8', '1');
constexpr DWORD kTagParameter = EffectTag('P', 'A', 'R', 'M');
constexpr DWORD kTagTechnique = EffectTag('T', 'E', 'C', 'H');
constexpr DWORD kTagPass = EffectTag('P', 'A', 'S', 'S');
constexpr DWORD kTagAssignment = EffectTag('A', 'S', 'G', 'N');
constexpr DWORD kTagReference = EffectTag('R', 'E', 'F', 'E');
constexpr DWORD kTagValue = EffectTag('V', 'A', 'L', 'U');
// Shader debug comments: the source file name, the source text, the line of what follows.
constexpr DWORD kTagShaderFile = EffectTag('F', 'I', 'L', 'E');
constexpr DWORD kTagShaderText = EffectTag('T', 'E', 'X', 'T');
constexpr DWORD kTagShaderLine = EffectTag('L', 'I', 'N', 'E');
