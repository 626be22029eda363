// Validator and reader: accepted shaders of each model, refused ones with their one-line
// reasons, truncations that must never read past the buffer, declarations.
#include "platform/d3d/shader/ShaderValidator.h"
#include "platform/d3d/shader/ShaderTranslator.h"
#include "platform/d3d/shader/VertexDeclaration.h"
#include "tests/platform/d3d/shader/ShaderTestTokens.h"

#include <gtest/gtest.h>

#include <memory>

using namespace shadertest;
using shader::ShaderCaps;

namespace {

std::string Check(const std::vector<DWORD>& t, const ShaderCaps& caps = ShaderCaps{}) {
    bool pixel = !t.empty() && (t[0] >> 16) == 0xFFFF;
    std::string error;
    HRESULT hr = shader::ValidateShaderTokens(t.data(), t.size(), pixel, nullptr, 0, caps, nullptr, &error);
    if (SUCCEEDED(hr)) return "ok";
    EXPECT_EQ(hr, D3DERR_INVALIDCALL);
    return error;
}

// The smallest valid body for each kind, to prefix the case under test.
#define VS_POS Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0)

TEST(ShaderValidator, AcceptsShadersOfEachModel) {
    // vs.1.1: transform, colour, relative addressing through a0.x.
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::M4x4), Dst(RAST, OPOS), Src(V, 0), Src(C, 0),
                                  Opcode(Op::Mov), Dst(A, 0, 0x1), Src(V, 1, XXXX),
                                  Opcode(Op::Mov), Dst(OD, 0), Src(C, 4, XYZW, 0, true),
                                  Opcode(Op::Mov), Dst(RAST, OFOG, 0x1), Src(V, 0, WWWW)})), "ok");
    // ps.1.1: texture, modulate with co-issued alpha.
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Tex), Dst(T, 0),
                                  Opcode(Op::Mul), Dst(R, 0, 0x7), Src(T, 0), Src(V, 0),
                                  Co(Op::Mov), Dst(R, 0, 0x8), Src(V, 0, WWWW)})), "ok");
    // ps.1.3: a full texm3x3 sequence then arithmetic reading its result.
    EXPECT_EQ(Check(Shader(PS13, {Opcode(Op::Tex), Dst(T, 0),
                                  Opcode(Op::TexM3x3Pad), Dst(T, 1), Src(T, 0, XYZW, shader::MOD_SIGN),
                                  Opcode(Op::TexM3x3Pad), Dst(T, 2), Src(T, 0, XYZW, shader::MOD_SIGN),
                                  Opcode(Op::TexM3x3Spec), Dst(T, 3), Src(T, 0, XYZW, shader::MOD_SIGN), Src(C, 0),
                                  Opcode(Op::Mov), Dst(R, 0), Src(T, 3)})), "ok");
    // ps.1.4: two phases with a dependent read, def first.
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::Def), Dst(C, 0), F(0.5f), F(0.5f), F(0.5f), F(1.0f),
                                  Opcode(Op::TexCrd), Dst(R, 1, 0x7), Src(T, 0),
                                  Opcode(Op::Add), Dst(R, 1, 0x7), Src(R, 1), Src(C, 0),
                                  0xFFFD,
                                  Opcode(Op::TexLd), Dst(R, 0), Src(R, 1),
                                  Opcode(Op::Mul), Dst(R, 0), Src(R, 0), Src(V, 0)})), "ok");
}

TEST(ShaderValidator, RefusesMalformedStreams) {
    EXPECT_EQ(Check({VS11, 0x0005FFFE, 1, 2}), "token 1: comment of 5 words runs past the end of the token stream");
    EXPECT_EQ(Check({VS11, VS_POS}), "missing end token");
    EXPECT_EQ(Check({VS11, Opcode(Op::Add), Dst(R, 0), Src(V, 0)}), "token 1: 'add' runs past the end of the token stream");
    EXPECT_EQ(Check(Shader(VS11, {200, Dst(R, 0)})), "token 1: unknown opcode 200");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Bem), Dst(R, 0, 3), Src(R, 0), Src(R, 1)})),
              "token 1: 'bem' is not allowed in ps.1.1");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::Rcp), Dst(R, 0), Src(R, 0)})), "token 1: 'rcp' is not allowed in ps.1.4");
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov) | 0x40000000u, Dst(RAST, 0), Src(V, 0)})),
              "token 1: co-issue is not allowed in vertex shaders");
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Src(V, 0) & 0x7FFFFFFFu, Src(V, 0)})),
              "token 2: 'mov' destination 0x10E40000 is not a parameter token");
    EXPECT_EQ(Check(Shader(0xFFFE0200, {})), "unsupported shader version token 0xFFFE0200 (vs.1.0-1.1 and ps.1.0-1.4 are supported)");
    EXPECT_EQ(Check({}), "empty token stream");
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0, XYZW, 12)})),
              "token 3: invalid source modifier 12");
}

TEST(ShaderValidator, VertexShaderRules) {
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::Mov), Dst(R, 12), Src(V, 0)})),
              "vs.1.1 instruction 2 (mov): r12 is out of range (r0..r11)");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::Mov), Dst(R, 0), Src(C, 96)})),
              "vs.1.1 instruction 2 (mov): c96 is out of range (c0..c95)");
    // Relative addressing needs a0 written first, and vs.1.0 has no a0 at all.
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(C, 0, XYZW, 0, true)})),
              "vs.1.1 instruction 1 (mov): a0.x is read before it is written");
    EXPECT_EQ(Check(Shader(VS10, {VS_POS, Opcode(Op::Mov), Dst(A, 0, 1), Src(V, 0)})),
              "vs.1.0 instruction 2 (mov): there is no address register a0 in this version");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::Add), Dst(A, 0, 1), Src(V, 0), Src(V, 0)})),
              "vs.1.1 instruction 2 (add): a0 can only be written by mov with the mask .x");
    // Read ports: one constant and one input register per instruction (the same one twice is fine).
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::Add), Dst(R, 0), Src(C, 0), Src(C, 1)})),
              "vs.1.1 instruction 2 (add): only one constant register may be read by an instruction");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::Add), Dst(R, 0), Src(V, 0), Src(V, 1)})),
              "vs.1.1 instruction 2 (add): only one input register may be read by an instruction");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::Add), Dst(OD, 0), Src(C, 3), Src(C, 3, XXXX, 1)})), "ok");
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS, 0xF, true), Src(V, 0)})),
              "vs.1.1 instruction 1 (mov): result modifiers are not allowed in vertex shaders");
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0, XYZW, shader::MOD_BIAS)})),
              "vs.1.1 instruction 1 (mov): source modifiers other than negation are not allowed in vertex shaders");
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(OD, 0), Src(V, 0)})), "vs.1.1: oPos is never written");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::Mov), Dst(V, 0), Src(V, 0)})),
              "vs.1.1 instruction 2 (mov): v0 cannot be written");
    // The matrix macros with fewer than four rows write only the components they compute (an
    // m3x3 into oPos.w once passed as writing oPos while writing nothing; found by fuzzing).
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::M3x3), Dst(RAST, OPOS, 0x8), Src(V, 0), Src(C, 0)})),
              "vs.1.1 instruction 1 (m3x3): m3x3 writes only .xyz");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::M3x2), Dst(OT, 0), Src(V, 0), Src(C, 0)})),
              "vs.1.1 instruction 2 (m3x2): m3x2 writes only .xy");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::M4x3), Dst(OT, 0, 0x7), Src(V, 0), Src(C, 0)})), "ok");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS}), ShaderCaps{0xFFFE0100, 0xFFFF0104, 96}),
              "vs.1.1: the device supports vertex shaders up to version 1.0");
    // A device without hardware vertex shaders still runs vs.1.1 in software.
    D3DCAPS8 caps{};
    caps.VertexShaderVersion = 0xFFFE0000;
    caps.PixelShaderVersion = 0xFFFF0104;
    EXPECT_EQ(Check(Shader(VS11, {VS_POS}), shader::ShaderCapsFrom(caps)),
              "vs.1.1: the device supports vertex shaders up to version 0.0");
    EXPECT_EQ(Check(Shader(VS11, {VS_POS, Opcode(Op::Mov), Dst(OD, 0), Src(C, 95)}), shader::ShaderCapsFrom(caps, true)), "ok");
}

TEST(ShaderValidator, ReadBeforeWriteIsPerComponent) {
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(R, 0, 0x1), Src(V, 0),
                                  Opcode(Op::Mov), Dst(RAST, OPOS), Src(R, 0, XXXX)})), "ok");
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(R, 0, 0x1), Src(V, 0),
                                  Opcode(Op::Mov), Dst(RAST, OPOS), Src(R, 0)})),
              "vs.1.1 instruction 2 (mov): r0.y is read before it is written");
    // dp3 reads x, y and z only; rcp reads the (swizzled) w only.
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(R, 0, 0x7), Src(V, 0),
                                  Opcode(Op::Dp3), Dst(R, 1), Src(R, 0), Src(R, 0),
                                  Opcode(Op::Rcp), Dst(R, 1, 0x8), Src(R, 0, ZZZZ),
                                  Opcode(Op::Mov), Dst(RAST, OPOS), Src(R, 1)})), "ok");
    EXPECT_EQ(Check(Shader(VS11, {Opcode(Op::Mov), Dst(R, 0, 0x7), Src(V, 0),
                                  Opcode(Op::Rcp), Dst(R, 1), Src(R, 0), VS_POS})),
              "vs.1.1 instruction 2 (rcp): r0.w is read before it is written");
}

TEST(ShaderValidator, PixelShaderTextureOrderAndSequences) {
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0), Opcode(Op::Tex), Dst(T, 0)})),
              "ps.1.1 instruction 2 (tex): texture instruction after an arithmetic instruction");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Tex), Dst(T, 1), Opcode(Op::TexBem), Dst(T, 0), Src(T, 1)})),
              "ps.1.1 instruction 2 (texbem): source t1 must come before destination t0");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::Tex), Dst(T, 0)})),
              "ps.1.1 instruction 2 (tex): t0 is already written by a texture instruction");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexM3x2Pad), Dst(T, 1), Src(T, 0),
                                  Opcode(Op::Tex), Dst(T, 2)})),
              "ps.1.1 instruction 3 (tex): texm3x2pad must be followed by the rest of its sequence");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexM3x2Tex), Dst(T, 1), Src(T, 0)})),
              "ps.1.1 instruction 2 (texm3x2tex): 'texm3x2tex' must follow texm3x2pad");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(T, 0)})),
              "ps.1.1 instruction 1 (mov): t0.x is read before it is written");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 1), Src(V, 0)})),
              "ps.1.1: r0 (the pixel colour) is never written");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0, 0x3), Src(V, 0)})),
              "ps.1.1 instruction 1 (mov): write mask must be .rgba, .rgb or .a in this version");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0, 0xF, false, 3), Src(V, 0)})),
              "ps.1.1 instruction 1 (mov): result shift not allowed in this version");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0, XYZW, shader::MOD_X2)})),
              "ps.1.1 instruction 1 (mov): source modifier _x2 needs ps.1.4");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0, YYYY)})),
              "ps.1.1 instruction 1 (mov): source swizzle must be none, .a or .b in this version");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 1), Src(V, 0), Opcode(Op::Cnd), Dst(R, 0), Src(R, 1, WWWW),
                                  Src(V, 0), Src(V, 1)})),
              "ps.1.1 instruction 2 (cnd): the condition of cnd must be r0.a in this version");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0), Co(Op::Mov), Dst(R, 1, 0x8), Src(V, 1)})),
              "ps.1.1 instruction 2 (mov): co-issued instructions must write colour and alpha separately");
    EXPECT_EQ(Check(Shader(PS11, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0), Opcode(Op::Def), Dst(C, 0), 0, 0, 0, 0})),
              "ps.1.1 instruction 2 (def): def must come before all other instructions");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0)}), ShaderCaps{0xFFFE0101, 0xFFFF0101, 96}),
              "ps.1.4: the device supports pixel shaders up to version 1.1");
}

TEST(ShaderValidator, PixelShader14Phases) {
    // The alpha of registers written in phase 1 does not survive the marker.
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::TexLd), Dst(R, 0), Src(T, 0), 0xFFFD,
                                  Opcode(Op::Mov), Dst(R, 0), Src(R, 0)})),
              "ps.1.4 instruction 3 (mov): r0.w is read before it is written");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::Mov), Dst(R, 0), Src(T, 0)})),
              "ps.1.4 instruction 1 (mov): t registers can only be read by texld and texcrd in ps.1.4");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::Mov), Dst(R, 0), Src(V, 0), 0xFFFD})),
              "ps.1.4 instruction 1 (mov): colour registers can only be read in phase 2");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::TexLd), Dst(R, 0), Src(R, 1)})),
              "ps.1.4 instruction 1 (texld): r registers can be texture coordinates only for texld in phase 2");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::TexLd), Dst(R, 0), Src(T, 0), Opcode(Op::TexLd), Dst(R, 0), Src(T, 1)})),
              "ps.1.4 instruction 2 (texld): r0 is already written by a texture instruction in this phase");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::TexLd), Dst(R, 0), Src(T, 0), Opcode(Op::Bem), Dst(R, 1, 3), Src(R, 0), Src(R, 0)})),
              "ps.1.4 instruction 2 (bem): bem is only allowed in phase 1");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::Mov), Dst(R, 0), Src(C, 0, XYZW, shader::MOD_NEG)})),
              "ps.1.4 instruction 1 (mov): constant modifiers are not allowed in ps.1.4");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::TexLd), Dst(R, 0), Src(T, 0, 0xA4, shader::MOD_DW)})),
              "ps.1.4 instruction 1 (texld): the divide modifier does not match the swizzle");
    EXPECT_EQ(Check(Shader(PS14, {Opcode(Op::TexLd), Dst(R, 0), Src(T, 0), 0xFFFD, 0xFFFD})),
              "ps.1.4 instruction 3 (phase): phase may appear only once");
}

TEST(ShaderValidator, PlatformEntryPointsStopAtTheEndToken) {
    // Nothing follows the end token in these exact-size heap copies, so any overread is an
    // AddressSanitizer error.
    std::vector<DWORD> ps = Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::Mov), Dst(R, 0), Src(T, 0)});
    auto exact = std::make_unique<DWORD[]>(ps.size());
    std::copy(ps.begin(), ps.end(), exact.get());
    char* errors = reinterpret_cast<char*>(1);
    EXPECT_EQ(ValidatePixelShader(exact.get(), nullptr, TRUE, &errors), S_OK);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(ValidateVertexShader(exact.get(), nullptr, nullptr, TRUE, &errors), D3DERR_INVALIDCALL);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(errors, "a pixel shader was given where a vertex shader is expected\n");
    FreeValidatorErrors(errors);
    EXPECT_EQ(ValidatePixelShader(nullptr, nullptr, FALSE, nullptr), D3DERR_INVALIDCALL);

    // Every truncation of valid streams fails cleanly in the length-checked form.
    std::vector<std::vector<DWORD>> valid = {
        ps,
        Shader(VS11, {0x0002FFFE, 7, 8, Opcode(Op::M4x4), Dst(RAST, OPOS), Src(V, 0), Src(C, 0)}),
        Shader(PS14, {Opcode(Op::Def), Dst(C, 0), F(1), F(2), F(3), F(4), Opcode(Op::TexLd), Dst(R, 0), Src(T, 0),
                      Opcode(Op::Mul), Dst(R, 0), Src(R, 0), Src(C, 0)})};
    for (const auto& v : valid) {
        for (size_t n = 0; n < v.size(); ++n) {
            auto cut = std::make_unique<DWORD[]>(n ? n : 1);
            std::copy(v.begin(), v.begin() + n, cut.get());
            bool pixel = (v[0] >> 16) == 0xFFFF;
            HRESULT hr = pixel ? ValidatePixelShaderN(cut.get(), n, nullptr, FALSE, nullptr)
                               : ValidateVertexShaderN(cut.get(), n, nullptr, 0, nullptr, FALSE, nullptr);
            EXPECT_EQ(hr, D3DERR_INVALIDCALL) << n;
        }
    }
}

TEST(ShaderValidator, DeclarationBindsTheInputsTheShaderReads) {
    std::vector<DWORD> vs = Shader(VS11, {VS_POS, Opcode(Op::Mov), Dst(OD, 0), Src(V, 3)});
    const DWORD bound[] = {0x20000000, 0x40020000, 0x40040003, 0xFFFFFFFF};
    const DWORD missing[] = {0x20000000, 0x40020000, 0xFFFFFFFF};
    char* errors = nullptr;
    EXPECT_EQ(ValidateVertexShader(vs.data(), bound, nullptr, TRUE, &errors), S_OK);
    EXPECT_EQ(ValidateVertexShader(vs.data(), missing, nullptr, TRUE, &errors), D3DERR_INVALIDCALL);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(errors, "vs.1.1: v3 is read but the declaration does not bind it\n");
    FreeValidatorErrors(errors);
}

TEST(VertexDeclaration, DecodesStreamsSkipsAndConstants) {
    const DWORD tokens[] = {0x40020000,  // no stream token: stream 0
                            0x40040005, 0x50020000, 0x40050002,
                            0x20000001, 0x40010007, 0x40060008, 0x40070009,
                            0x84000004, F(1), F(2), F(3), F(4), F(5), F(6), F(7), F(8),
                            0xFFFFFFFF, 0xDEAD};
    shader::VertexDeclarationDesc d;
    std::string error;
    ASSERT_TRUE(shader::ParseVertexDeclaration(tokens, std::size(tokens), 96, &d, &error)) << error;
    EXPECT_EQ(d.tokenCount, std::size(tokens) - 1);
    ASSERT_EQ(d.elements.size(), 6u);
    struct E { DWORD stream, offset, type, reg; };
    const E expected[] = {{0, 0, D3DVSDT_FLOAT3, 0}, {0, 12, D3DVSDT_D3DCOLOR, 5}, {0, 24, D3DVSDT_UBYTE4, 2},
                          {1, 0, D3DVSDT_FLOAT2, 7}, {1, 8, D3DVSDT_SHORT2, 8}, {1, 12, D3DVSDT_SHORT4, 9}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(d.elements[i].stream, expected[i].stream) << i;
        EXPECT_EQ(d.elements[i].offset, expected[i].offset) << i;
        EXPECT_EQ(d.elements[i].type, expected[i].type) << i;
        EXPECT_EQ(d.elements[i].reg, expected[i].reg) << i;
    }
    EXPECT_EQ(d.streamSize[0], 28u);
    EXPECT_EQ(d.streamSize[1], 20u);
    EXPECT_EQ(d.registerMask, (1u << 0) | (1u << 5) | (1u << 2) | (1u << 7) | (1u << 8) | (1u << 9));
    ASSERT_EQ(d.constants.size(), 1u);
    EXPECT_EQ(d.constants[0].first, 4u);
    EXPECT_EQ(d.constants[0].values, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(VertexDeclaration, RefusesBadTokens) {
    auto error = [](std::vector<DWORD> t, DWORD maxConst = 96) {
        shader::VertexDeclarationDesc d;
        std::string e;
        EXPECT_FALSE(shader::ParseVertexDeclaration(t.data(), t.size(), maxConst, &d, &e));
        return e;
    };
    EXPECT_EQ(error({0x40020000, 0x40030000, 0xFFFFFFFF}), "declaration token 1: register v0 is bound twice");
    EXPECT_EQ(error({0x40080000, 0xFFFFFFFF}), "declaration token 0: unknown data type 8");
    EXPECT_EQ(error({0x40020000}), "declaration token 1: missing end token");
    EXPECT_EQ(error({0x82000060, 0, 0, 0, 0, 0xFFFFFFFF}), "declaration token 0: constants past the last register c95");
    EXPECT_EQ(error({0x82000000, 0, 0}), "declaration token 0: constant data runs past the end of the declaration");
    EXPECT_EQ(error({0x82000000, 0, 0, 0, 0, 0xFFFFFFFF}, 0), "declaration token 0: there are no constant registers");
    EXPECT_EQ(error({0x60000000, 0xFFFFFFFF}), "declaration token 0: tessellator tokens are not supported");
    EXPECT_EQ(error({0x30000000, 0xFFFFFFFF}), "declaration token 0: tessellator streams are not supported");
}

}  // namespace

namespace {

TEST(ShaderBuild, KeepsTokensDeclarationAndStage) {
    const std::vector<DWORD> decl = {0x20000000, 0x40020000, 0x82000004, F(1), F(2), F(3), F(4), 0xFFFFFFFF};
    const std::vector<DWORD> fn = Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0),
                                                Opcode(Op::Mov), Dst(OD, 0), Src(C, 4)});
    shader::VertexShaderBuild vb;
    std::string error;
    ASSERT_EQ(shader::BuildVertexShader(decl.data(), fn.data(), ShaderCaps{}, {}, &vb, &error), S_OK) << error;
    EXPECT_TRUE(vb.hasFunction);
    EXPECT_EQ(vb.declarationTokens, decl);
    EXPECT_EQ(vb.functionTokens, fn);
    EXPECT_EQ(vb.stage.inputMask, 0x1u);
    ASSERT_EQ(vb.declaration.constants.size(), 1u);
    EXPECT_EQ(vb.declaration.constants[0].first, 4u);

    // A declaration alone drives the fixed-function pipeline.
    ASSERT_EQ(shader::BuildVertexShader(decl.data(), nullptr, ShaderCaps{}, {}, &vb, &error), S_OK);
    EXPECT_FALSE(vb.hasFunction);
    EXPECT_TRUE(vb.functionTokens.empty());

    const std::vector<DWORD> readsV1 = Shader(VS11, {Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 1)});
    EXPECT_EQ(shader::BuildVertexShader(decl.data(), readsV1.data(), ShaderCaps{}, {}, &vb, &error), D3DERR_INVALIDCALL);
    EXPECT_EQ(error, "vs.1.1: v1 is read but the declaration does not bind it");
    EXPECT_EQ(shader::BuildVertexShader(nullptr, fn.data(), ShaderCaps{}, {}, &vb, &error), D3DERR_INVALIDCALL);
    EXPECT_EQ(error, "a vertex shader needs a declaration");

    const std::vector<DWORD> ps = Shader(PS14, {Opcode(Op::TexLd), Dst(R, 0), Src(T, 0)});
    shader::PixelShaderBuild pb;
    ASSERT_EQ(shader::BuildPixelShader(ps.data(), ShaderCaps{}, {}, &pb, &error), S_OK) << error;
    EXPECT_EQ(pb.functionTokens, ps);
    EXPECT_EQ(pb.stage.samplerMask, 0x1u);
    EXPECT_EQ(shader::BuildPixelShader(nullptr, ShaderCaps{}, {}, &pb, &error), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader::BuildPixelShader(fn.data(), ShaderCaps{}, {}, &pb, &error), D3DERR_INVALIDCALL);
}

}  // namespace
