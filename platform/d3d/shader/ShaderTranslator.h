// Translation of validated version 1.x shader token streams into GLSL 3.30 stage functions
// (`void sg_VertexStage()`, `vec4 sg_PixelStage()`) with metadata the device binds from.
#pragma once

#include "platform/d3d/shader/ShaderTokens.h"
#include "platform/d3d/shader/ShaderValidator.h"
#include "platform/d3d/shader/VertexDeclaration.h"

#include <array>
#include <bitset>
#include <string>
#include <vector>

namespace shader {

constexpr int VS_CONSTANTS = 96;  // sg_VSConst[96]
constexpr int PS_CONSTANTS = 8;   // sg_PSConst[8]

// Bits of TranslatedShader::outputMask (vertex shaders).
enum VertexOutputBit : uint32_t {
    OUT_POS = 1u << 0,
    OUT_D0 = 1u << 1,
    OUT_D1 = 1u << 2,
    OUT_FOG = 1u << 3,
    OUT_PTS = 1u << 4,
    OUT_T0 = 1u << 8,  // OUT_T0 << n for oTn
};

struct TranslateOptions {
    // Range the pixel arithmetic is clamped to after each instruction ([-v, v]); the device
    // reports the same value as MaxPixelShaderValue.
    float pixelShaderMaxValue = 1.0f;
};

struct TranslatedShader {
    bool pixel = false;
    DWORD version = 0;
    std::string glsl;             // the stage function and what it declares itself

    // Vertex shaders.
    uint32_t inputMask = 0;       // bit n: sg_vn (register vn) is read; declared `layout(location = n)`
    uint32_t outputMask = 0;      // VertexOutputBit
    bool relativeConstants = false;  // c[a0.x + n] is used: any constant may be read

    // Pixel shaders.
    uint32_t texcoordMask = 0;    // bit n: sg_vT[n] is read
    uint32_t colorMask = 0;       // bit 0: sg_vD0, bit 1: sg_vD1
    uint32_t samplerMask = 0;     // bit n: sg_Samplern is sampled
    uint32_t bumpEnvMask = 0;     // bit n: sg_BumpEnvMat[n] / sg_BumpEnvL[n] are read
    bool writesDepth = false;     // texdepth / texm3x2depth write gl_FragDepth
    bool usesDiscard = false;     // texkill

    std::bitset<VS_CONSTANTS> constantsRead;  // registers read (vertex: sg_VSConst, pixel: sg_PSConst)
    // def instructions: register and value. They are compiled in as literals (they win over
    // values set through the device).
    std::vector<std::pair<DWORD, std::array<float, 4>>> definedConstants;
};

// Validates tokens[0 .. count) (caps as for the validator) and translates them. On failure
// returns D3DERR_INVALIDCALL and the validator's one-line reason in *error.
//
// Names the generated GLSL relies on: vertex stage: it declares `layout(location = n) in vec4
// sg_vn` for the inputs it reads and `uniform vec4 sg_VSConst[96]`; it writes the device's
// globals sg_oPos, sg_oD0, sg_oD1, sg_oT[8], sg_oFog, sg_oPts. Pixel stage: it declares
// `uniform vec4 sg_PSConst[8]` and, when bumpEnvMask is not 0, `uniform vec4
// sg_BumpEnvMat[8]` (stage n: BUMPENVMAT00, 01, 10, 11) and `uniform vec2 sg_BumpEnvL[8]`
// (LSCALE, LOFFSET); it reads the device's sg_vD0, sg_vD1, sg_vT[8] and sg_Sampler0..7.
HRESULT TranslateShader(const DWORD* tokens, size_t count, bool pixel, const ShaderCaps& caps,
                        const TranslateOptions& options, TranslatedShader* out, std::string* error);

// Translates a program that ValidateProgram accepted.
void TranslateProgram(const Program& program, const TranslateOptions& options, TranslatedShader* out);

// What the device keeps for a created vertex shader: the declaration decoded, the stage (when
// there is a function), and copies of both token lists for the Get...Declaration/Function calls.
struct VertexShaderBuild {
    VertexDeclarationDesc declaration;
    bool hasFunction = false;
    TranslatedShader stage;
    std::vector<DWORD> declarationTokens;  // up to and including 0xFFFFFFFF
    std::vector<DWORD> functionTokens;     // up to and including 0x0000FFFF; empty without a function
};
struct PixelShaderBuild {
    TranslatedShader stage;
    std::vector<DWORD> functionTokens;
};

// CreateVertexShader/CreatePixelShader in one call each: validate (the same checks as the
// validator entry points, the function's inputs against the declaration), translate, copy.
// Token lists end with their end tokens and nothing past them is read. A null declaration or
// (pixel) function, or anything that does not validate: D3DERR_INVALIDCALL and the reason.
HRESULT BuildVertexShader(const DWORD* declaration, const DWORD* function, const ShaderCaps& caps,
                          const TranslateOptions& options, VertexShaderBuild* out, std::string* error);
HRESULT BuildPixelShader(const DWORD* function, const ShaderCaps& caps, const TranslateOptions& options,
                         PixelShaderBuild* out, std::string* error);

}  // namespace shader
