// The platform's shader validator for vertex shaders 1.0-1.1 and pixel shaders 1.0-1.4: the
// entry points the assembler looks up, and the length-checked form the device and fuzzers use.
#pragma once

#include "platform/d3d/d3d8caps.h"
#include "platform/d3d/shader/ShaderTokens.h"

#include <string>

namespace shader {

// The capability values validation depends on.
struct ShaderCaps {
    DWORD vertexShaderVersion = 0xFFFE0101;
    DWORD pixelShaderVersion = 0xFFFF0104;
    DWORD maxVertexShaderConst = 96;
};
// The device's own values (used when a caller gives no caps).
ShaderCaps DefaultShaderCaps();
// With softwareVertexProcessing (a device or shader that processes vertices in software) the
// vertex limits are those of the software pipeline, vs.1.1 with 96 constants, whatever the
// caps report for hardware.
ShaderCaps ShaderCapsFrom(const D3DCAPS8& caps, bool softwareVertexProcessing = false);

// Reads and validates tokens[0 .. count). `pixel` says which kind the caller expects; a
// vertex shader's `declaration` (may be null) is checked and the shader's inputs against it.
// On success fills *program (may be null); on failure returns D3DERR_INVALIDCALL with a
// one-line reason in *error (may be null). Never reads at or past tokens + count.
HRESULT ValidateShaderTokens(const DWORD* tokens, size_t count, bool pixel,
                             const DWORD* declaration, size_t declarationCount,
                             const ShaderCaps& caps, Program* program, std::string* error);

// Rules on a decoded program (the reader has checked its form).
bool ValidateProgram(const Program& program, const ShaderCaps& caps, std::string* error);

}  // namespace shader

// Platform-shaped entry points. `function` ends with the end token 0x0000FFFF and nothing
// past it is read; `caps` may be null (the device's caps). With wantErrors, *errors receives
// a text (one line per error, freed with FreeValidatorErrors) on failure, or null on success.
HRESULT ValidateVertexShader(const DWORD* function, const DWORD* declaration,
                             const D3DCAPS8* caps, BOOL wantErrors, char** errors);
HRESULT ValidatePixelShader(const DWORD* function, const D3DCAPS8* caps, BOOL wantErrors,
                            char** errors);
void FreeValidatorErrors(char* errors);

// Length-checked variants: tokens[0 .. count) and declaration[0 .. declarationCount).
HRESULT ValidateVertexShaderN(const DWORD* function, size_t count, const DWORD* declaration,
                              size_t declarationCount, const D3DCAPS8* caps, BOOL wantErrors,
                              char** errors);
HRESULT ValidatePixelShaderN(const DWORD* function, size_t count, const D3DCAPS8* caps,
                             BOOL wantErrors, char** errors);
