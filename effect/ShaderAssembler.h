// The shader assembler: version 1.x vertex- and pixel-shader assembly text to function tokens
// (and, for vertex shaders, the declaration tokens of its constant definitions).
#pragma once

#include "effect/CompilerSupport.h"
#include "effect/DataBuffer.h"
#include "platform/d3d/d3d8caps.h"

#include <string_view>
#include <vector>

constexpr DWORD ASSEMBLE_DEBUG = 1u << 0;           // write FILE/LINE (or TEXT) comments
constexpr DWORD ASSEMBLE_SKIPVALIDATION = 1u << 1;  // do not hand the result to the platform validator

// Assembles `length` bytes of `text`. `fileName` names it in messages (null: no name, and with
// ASSEMBLE_DEBUG the whole text is embedded as a "TEXT" comment); `firstLine` 0 counts as 1.
// Results: S_OK, D3DERR_INVALIDCALL (null text or length 0), or D3DXERR_INVALIDDATA when any
// error was reported. Buffers hold little-endian 32-bit tokens; messages end with a zero byte.
// `diagnostics`, when given, receives each message once more with its line and column.
HRESULT AssembleShader(const char* text, UINT length, const char* fileName, UINT firstLine, DWORD flags,
                       DataBuffer** constants, DataBuffer** function, DataBuffer** messages,
                       std::vector<fxc::Diagnostic>* diagnostics = nullptr);

namespace fxc {
// The same, for the effect compiler: tokens into vectors and messages into its list.
HRESULT AssembleShaderTokens(std::string_view text, const char* fileName, uint32_t firstLine, DWORD flags,
                             std::vector<uint32_t>* function, std::vector<uint32_t>* constants,
                             MessageList* messages);
}  // namespace fxc

// The instruction number (from 1, in the order of the function tokens) a validator message
// names ("ps.1.1 instruction 3 (mov): ..."); 0 when it names none.
int ValidatorInstructionNumber(std::string_view message);

// One instruction the assembler reads, for listings: where it is recognised.
struct ShaderInstructionEntry {
    const char* name;
    uint32_t opcode;
    int operands;  // destination and sources
    bool vertex;   // in vertex shaders
    bool pixel13;  // in pixel shaders before version 1.4
    bool pixel14;  // in pixel shaders of version 1.4
};
// Every mnemonic of the assembler's table, in table order.
std::vector<ShaderInstructionEntry> ShaderInstructionTable();

// Mnemonic of a shader opcode for listings ("mov", "texld", ...); null for unknown opcodes.
// `pixelVersion14` picks the version 1.4 names where they differ ("texld", "texcrd").
const char* ShaderOpcodeName(uint32_t opcode, bool pixel, bool pixelVersion14);
