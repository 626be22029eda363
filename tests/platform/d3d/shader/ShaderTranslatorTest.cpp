// Translator: generated stages compile and, run on the software GL device for one vertex or
// one pixel, give the hand-computed results of each instruction family.
#include "platform/d3d/shader/ShaderTranslator.h"
#include "tests/platform/d3d/shader/GlHarness.h"
#include "tests/platform/d3d/shader/ShaderTestTokens.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using namespace shadertest;

namespace {

shader::TranslatedShader Translate(const std::vector<DWORD>& t) {
    shader::TranslatedShader out;
    std::string error;
    HRESULT hr = shader::TranslateShader(t.data(), t.size(), (t[0] >> 16) == 0xFFFF, shader::ShaderCaps{},
                                         shader::TranslateOptions{}, &out, &error);
    EXPECT_EQ(hr, S_OK) << error;
    return out;
}

void ExpectVec(const GlResult& r, Vec4 want, float tol = 1e-5f) {
    ASSERT_TRUE(r.drawn);
    for (int k = 0; k < 4; ++k) {
        if (std::isinf(want[k])) EXPECT_EQ(r.value[k], want[k]) << "component " << k;
        else EXPECT_NEAR(r.value[k], want[k], tol * std::max(1.0f, std::fabs(want[k]))) << "component " << k;
    }
}

// Every vertex test writes oPos from v0 first, as the validator wants.
#define VS_POS Opcode(Op::Mov), Dst(RAST, OPOS), Src(V, 0)

TEST(ShaderTranslator, VertexArithmeticMasksSwizzlesNegation) {
    REQUIRE_GL();
    // mov r1, c1 ; mad r0, v1, c0.wzyx, -r1 ; mov oT0.xz, r0 ; mov oT0.yw, -c1.x ; sub oT1, v1, c1
    auto s = Translate(Shader(VS11, {VS_POS, Opcode(Op::Mov), Dst(R, 1), Src(C, 1),
        Opcode(Op::Mad), Dst(R, 0), Src(V, 1), Src(C, 0, Swz(3, 2, 1, 0)), Src(R, 1, XYZW, 1),
        Opcode(Op::Mov), Dst(OT, 0, 0x5), Src(R, 0),
        Opcode(Op::Mov), Dst(OT, 0, 0xA), Src(C, 1, XXXX, 1),
        Opcode(Op::Sub), Dst(OT, 1), Src(V, 1), Src(C, 1)}));
    EXPECT_EQ(s.inputMask, 0x3u);
    EXPECT_EQ(s.outputMask, shader::OUT_POS | shader::OUT_T0 | (shader::OUT_T0 << 1));
    EXPECT_TRUE(s.constantsRead[0] && s.constantsRead[1] && !s.constantsRead[2]);
    GlInputs in;
    in.attributes[1] = {2, 3, 4, 5};
    in.constants[0] = {1, 2, 3, 4};
    in.constants[1] = {0.5f, -1, 2, 0.25f};
    ExpectVec(RunVertexStage(s, in, "sg_oT[0]"), {7.5f, -0.5f, 6, -0.5f});
    ExpectVec(RunVertexStage(s, in, "sg_oT[1]"), {1.5f, 4, 2, 4.75f});
}

TEST(ShaderTranslator, VertexDotMinMaxCompareFrc) {
    REQUIRE_GL();
    auto s = Translate(Shader(VS11, {VS_POS,
        Opcode(Op::Dp3), Dst(OT, 0, 0x1), Src(V, 1), Src(C, 0),
        Opcode(Op::Dp4), Dst(OT, 0, 0x2), Src(V, 1), Src(C, 0),
        Opcode(Op::Min), Dst(OT, 1), Src(V, 1), Src(C, 0),
        Opcode(Op::Max), Dst(OT, 2), Src(V, 1), Src(C, 0),
        Opcode(Op::Slt), Dst(OT, 3), Src(V, 1), Src(C, 0),
        Opcode(Op::Sge), Dst(OT, 4), Src(V, 1), Src(C, 0),
        Opcode(Op::Frc), Dst(OT, 5), Src(V, 2)}));
    GlInputs in;
    in.attributes[1] = {1, -2, 3, 4};
    in.attributes[2] = {1.25f, -1.25f, 3, -0.5f};
    in.constants[0] = {2, -2, 1, 5};
    ExpectVec(RunVertexStage(s, in, "vec4(sg_oT[0].xy, 0.0, 0.0)"), {9, 29, 0, 0});
    ExpectVec(RunVertexStage(s, in, "sg_oT[1]"), {1, -2, 1, 4});
    ExpectVec(RunVertexStage(s, in, "sg_oT[2]"), {2, -2, 3, 5});
    ExpectVec(RunVertexStage(s, in, "sg_oT[3]"), {1, 0, 0, 1});
    ExpectVec(RunVertexStage(s, in, "sg_oT[4]"), {0, 1, 1, 0});
    ExpectVec(RunVertexStage(s, in, "sg_oT[5]"), {0.25f, 0.75f, 0, 0.5f});
}

TEST(ShaderTranslator, VertexReciprocalsExponentsLogarithms) {
    REQUIRE_GL();
    // Scalar instructions read the w of the swizzled source.
    auto s = Translate(Shader(VS11, {VS_POS,
        Opcode(Op::Rcp), Dst(OT, 0, 0x1), Src(V, 1, XXXX),   // rcp 0 = +inf
        Opcode(Op::Rcp), Dst(OT, 0, 0x2), Src(V, 1, YYYY),   // rcp 4
        Opcode(Op::Rsq), Dst(OT, 0, 0x4), Src(V, 1, ZZZZ),   // rsq |-4|
        Opcode(Op::Rsq), Dst(OT, 0, 0x8), Src(V, 1, XXXX),   // rsq 0 = +inf
        Opcode(Op::Exp), Dst(OT, 1, 0x1), Src(V, 2, XXXX),   // 2^3
        Opcode(Op::Log), Dst(OT, 1, 0x2), Src(V, 2, YYYY),   // log2 |-8|
        Opcode(Op::Log), Dst(OT, 1, 0x4), Src(V, 1, XXXX),   // log 0 = -max
        Opcode(Op::ExpP), Dst(OT, 2), Src(V, 2, ZZZZ),       // expp 2.5
        Opcode(Op::LogP), Dst(OT, 3), Src(V, 2, WWWW),       // logp 6
        Opcode(Op::LogP), Dst(OT, 4), Src(V, 1, XXXX)}));    // logp 0
    GlInputs in;
    in.attributes[1] = {0, 4, -4, 1};
    in.attributes[2] = {3, -8, 2.5f, 6};
    const float inf = INFINITY;
    ExpectVec(RunVertexStage(s, in, "sg_oT[0]"), {inf, 0.25f, 0.5f, inf});
    ExpectVec(RunVertexStage(s, in, "vec4(sg_oT[1].xyz, 0.0)"), {8, 3, -FLT_MAX, 0});
    // The partial-precision forms are exact in x, y and w and close in z.
    ExpectVec(RunVertexStage(s, in, "sg_oT[2]"), {4, 0.5f, std::pow(2.0f, 2.5f), 1}, 1e-4f);
    ExpectVec(RunVertexStage(s, in, "sg_oT[3]"), {2, 1.5f, std::log2(6.0f), 1}, 1e-4f);
    ExpectVec(RunVertexStage(s, in, "sg_oT[4]"), {-FLT_MAX, 1, -FLT_MAX, 1});
}

TEST(ShaderTranslator, VertexLitDstAndMatrices) {
    REQUIRE_GL();
    auto s = Translate(Shader(VS11, {VS_POS,
        Opcode(Op::Lit), Dst(OT, 0), Src(V, 1),
        Opcode(Op::Lit), Dst(OT, 1), Src(V, 1, XYZW, 1),
        Opcode(Op::Dst), Dst(OT, 2), Src(V, 2), Src(C, 8),
        Opcode(Op::M4x4), Dst(OT, 3), Src(V, 3), Src(C, 0),
        Opcode(Op::M3x2), Dst(OT, 4, 0x3), Src(V, 3), Src(C, 0),
        Opcode(Op::M4x3), Dst(OT, 5, 0x7), Src(V, 3), Src(C, 4)}));
    GlInputs in;
    in.attributes[1] = {0.5f, 0.25f, 9, 2};
    in.attributes[2] = {7, 2, 3, 7};
    in.attributes[3] = {1, 2, 3, 1};
    in.constants[8] = {7, 5, 7, 4};
    for (int r = 0; r < 8; ++r) in.constants[r] = {float(r), 1, float(r % 3), -1};
    ExpectVec(RunVertexStage(s, in, "sg_oT[0]"), {1, 0.5f, 0.0625f, 1});
    ExpectVec(RunVertexStage(s, in, "sg_oT[1]"), {1, 0, 0, 1});
    ExpectVec(RunVertexStage(s, in, "sg_oT[2]"), {1, 10, 3, 4});
    // row r: (r, 1, r % 3, -1) . (1, 2, 3, 1) = r + 2 + 3 (r % 3) - 1
    ExpectVec(RunVertexStage(s, in, "sg_oT[3]"), {1, 5, 9, 4});
    ExpectVec(RunVertexStage(s, in, "sg_oT[4]"), {2, 6, 0, 0});
    ExpectVec(RunVertexStage(s, in, "sg_oT[5]"), {8, 12, 7, 0});
}

TEST(ShaderTranslator, VertexRelativeAddressingAndScalarOutputs) {
    REQUIRE_GL();
    // mov a0.x, v1.x ; mov oT0, c[a0.x + 1] ; mov oT1, c[a0.x + 94] (past the end: 0) ; fog, point size
    auto s = Translate(Shader(VS11, {VS_POS,
        Opcode(Op::Mov), Dst(A, 0, 0x1), Src(V, 1, XXXX),
        Opcode(Op::Mov), Dst(OT, 0), Src(C, 1, XYZW, 0, true),
        Opcode(Op::Mov), Dst(OT, 1), Src(C, 94, XYZW, 0, true),
        Opcode(Op::Mov), Dst(RAST, OFOG, 0x1), Src(V, 1, YYYY),
        Opcode(Op::Mov), Dst(RAST, OPTS, 0x1), Src(V, 1, ZZZZ)}));
    EXPECT_TRUE(s.relativeConstants);
    EXPECT_EQ(s.outputMask & (shader::OUT_FOG | shader::OUT_PTS), shader::OUT_FOG | shader::OUT_PTS);
    GlInputs in;
    in.attributes[1] = {2.7f, 0.25f, 3, 0};  // a0.x = floor(2.7) = 2
    in.constants[3] = {1, 2, 3, 4};
    in.constants[95] = {9, 9, 9, 9};
    ExpectVec(RunVertexStage(s, in, "sg_oT[0]"), {1, 2, 3, 4});
    ExpectVec(RunVertexStage(s, in, "sg_oT[1]"), {0, 0, 0, 0});
    ExpectVec(RunVertexStage(s, in, "vec4(sg_oFog, sg_oPts, 0.0, 0.0)"), {0.25f, 3, 0, 0});
    in.attributes[1] = {-1.5f, 0, 0, 0};  // a0.x = -2: c[-1] is out of range
    ExpectVec(RunVertexStage(s, in, "sg_oT[0]"), {0, 0, 0, 0});
}

TEST(ShaderTranslator, PixelModifiersShiftsSaturationAndClamping) {
    REQUIRE_GL();
    // r1 = v0_bx2 * c0_bias ; r0.rgb = (1 - r1) x2 sat ; r0.a = -c1.a (range clamp to -1)
    auto s = Translate(Shader(PS11, {
        Opcode(Op::Mul), Dst(R, 1), Src(V, 0, XYZW, shader::MOD_SIGN), Src(C, 0, XYZW, shader::MOD_BIAS),
        Opcode(Op::Add), Dst(R, 0, 0x7, true, 1), Src(R, 1, XYZW, shader::MOD_COMP), Src(C, 2),
        Co(Op::Add), Dst(R, 0, 0x8, false, -1), Src(C, 1, WWWW, shader::MOD_NEG), Src(C, 1, WWWW, shader::MOD_NEG)}));
    GlInputs in;
    in.d0 = {1, 0.75f, 0.25f, 0};
    in.constants[0] = {1, 0, 0.75f, 0};  // bias: (0.5, -0.5, 0.25)
    in.constants[1] = {0, 0, 0, 3};
    in.constants[2] = {0, 0.1f, 0, 0};
    // r1 = (1, 0.5, -0.5) * (0.5, -0.5, 0.25) = (0.5, -0.25, -0.125)
    // r0.rgb = sat(2 ((0.5, 1.25, 1.125) + (0, 0.1, 0))) = (1, 1, 1); r0.a = (-3 + -3) / 2 -> -1
    ExpectVec(RunPixelStage(s, in), {1, 1, 1, -1});
    in.constants[2] = {0, -0.9f, -0.9f, 0};
    ExpectVec(RunPixelStage(s, in), {1, 0.7f, 0.45f, -1}, 1e-5f);
}

TEST(ShaderTranslator, PixelCoIssueReadsBeforeWrites) {
    REQUIRE_GL();
    // mov r0, c0 ; add r0.rgb, r0, c1 + mov r0.a, r0.b: the alpha gets c0.b, not the sum.
    auto s = Translate(Shader(PS11, {
        Opcode(Op::Mov), Dst(R, 0), Src(C, 0),
        Opcode(Op::Add), Dst(R, 0, 0x7), Src(R, 0), Src(C, 1),
        Co(Op::Mov), Dst(R, 0, 0x8), Src(R, 0, ZZZZ)}));
    GlInputs in;
    in.constants[0] = {0.1f, 0.2f, 0.3f, 0.4f};
    in.constants[1] = {0.5f, 0.5f, 0.5f, 0.5f};
    ExpectVec(RunPixelStage(s, in), {0.6f, 0.7f, 0.8f, 0.3f});
}

TEST(ShaderTranslator, PixelSelectInterpolateAndDots) {
    REQUIRE_GL();
    auto s12 = Translate(Shader(PS12, {
        Opcode(Op::Def), Dst(C, 7), F(0.25f), F(-0.5f), F(0), F(0.75f),
        Opcode(Op::Cmp), Dst(R, 1), Src(C, 7), Src(V, 0), Src(V, 1),           // per component >= 0
        Opcode(Op::Lrp), Dst(R, 0), Src(C, 0), Src(V, 0), Src(V, 1),
        Opcode(Op::Dp4), Dst(R, 0, 0x8), Src(R, 1), Src(C, 0),
        Opcode(Op::Cnd), Dst(R, 0, 0x7), Src(R, 0, WWWW), Src(R, 1), Src(C, 7)}));  // r0.a > 0.5
    EXPECT_EQ(s12.definedConstants.size(), 1u);
    EXPECT_FALSE(s12.constantsRead[7]);
    GlInputs in;
    in.d0 = {1, 0.8f, 0.6f, 0.4f};
    in.d1 = {0, 0.2f, 0.4f, 0.6f};
    in.constants[0] = {0.5f, 0.25f, 1, 0.5f};
    // r1 = (1, 0.2, 0.6, 0.4); dp4 with c0 = 0.5 + 0.05 + 0.6 + 0.2 = 1.35 -> clamped to 1 > 0.5: rgb = r1
    ExpectVec(RunPixelStage(s12, in), {1, 0.2f, 0.6f, 1});
    in.constants[0] = {0.1f, 0.1f, 0.1f, 0.1f};
    // dp4 = 0.22 -> rgb = c7.rgb
    ExpectVec(RunPixelStage(s12, in), {0.25f, -0.5f, 0, 0.22f});

    // ps.1.4 cnd is per component against 0.5, with any register.
    auto s14 = Translate(Shader(PS14, {Opcode(Op::Cnd), Dst(R, 0), Src(C, 0), Src(C, 1), Src(C, 2)}));
    in.constants[0] = {0.6f, 0.5f, 0.4f, 1};
    in.constants[1] = {1, 1, 1, 1};
    in.constants[2] = {0, 0, 0, 0};
    ExpectVec(RunPixelStage(s14, in), {1, 0, 0, 1});
}

TEST(ShaderTranslator, PixelTextureAddressing13) {
    REQUIRE_GL();
    // Four texels (red, green, blue, white) across u; nearest filtering picks by u in quarters.
    const std::vector<DWORD> strip = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    GlInputs in;
    in.textures[0] = strip;
    in.textures[1] = strip;
    in.textures[2] = strip;
    in.texcoords[0] = {0.1f, 0.5f, 0, 1};
    in.texcoords[1] = {0.3f, 0.5f, 1.5f, 1};
    in.bumpMat[1] = {0.5f, 0, 0, 0.5f};

    auto tex = Translate(Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexCoord), Dst(T, 1),
                                       Opcode(Op::Add), Dst(R, 0), Src(T, 0), Src(T, 1)}));
    EXPECT_EQ(tex.samplerMask, 0x1u);
    EXPECT_EQ(tex.texcoordMask, 0x3u);
    // red + clamp01(0.3, 0.5, 1.5), 1 -> clamped to the range
    ExpectVec(RunPixelStage(tex, in), {1, 0.5f, 1, 1}, 1e-3f);

    // texbem: t1 sampled at tc1 + M (t0.r, t0.g): t0 = red -> u = 0.3 + 0.5 = 0.8 -> white
    auto bem = Translate(Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexBem), Dst(T, 1), Src(T, 0),
                                       Opcode(Op::Mov), Dst(R, 0), Src(T, 1)}));
    EXPECT_EQ(bem.bumpEnvMask, 0x2u);
    ExpectVec(RunPixelStage(bem, in), {1, 1, 1, 1});

    // texm3x2tex: u = tc1 . t0, v = tc2 . t0 with t0 = red = (1, 0, 0)
    in.texcoords[2] = {0.6f, 0.5f, 0, 1};
    auto m32 = Translate(Shader(PS11, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexM3x2Pad), Dst(T, 1), Src(T, 0),
                                       Opcode(Op::TexM3x2Tex), Dst(T, 2), Src(T, 0),
                                       Opcode(Op::Mov), Dst(R, 0), Src(T, 2)}));
    ExpectVec(RunPixelStage(m32, in), {0, 1, 0, 1});  // u = 0.3 -> green

    // texkill discards when a coordinate is negative.
    auto kill = Translate(Shader(PS11, {Opcode(Op::TexKill), Dst(T, 3), Opcode(Op::Mov), Dst(R, 0), Src(V, 0)}));
    EXPECT_TRUE(kill.usesDiscard);
    in.texcoords[3] = {0.5f, 0, 0.5f, 1};
    EXPECT_TRUE(RunPixelStage(kill, in).drawn);
    in.texcoords[3] = {0.5f, 0, -0.01f, 1};
    EXPECT_FALSE(RunPixelStage(kill, in).drawn);
}

TEST(ShaderTranslator, PixelTextureDotsAndDepth13) {
    REQUIRE_GL();
    GlInputs in;
    in.textures[0] = {0xFF808000};       // t0 = (0.5, 0.5, 0)
    in.texcoords[1] = {0.5f, 1, 1, 1};   // rows of the 3x3 product
    in.texcoords[2] = {1, 0, 0, 1};
    in.texcoords[3] = {0, 0.5f, 0, 1};
    auto m33 = Translate(Shader(PS12, {Opcode(Op::Tex), Dst(T, 0),
                                       Opcode(Op::TexM3x3Pad), Dst(T, 1), Src(T, 0),
                                       Opcode(Op::TexM3x3Pad), Dst(T, 2), Src(T, 0),
                                       Opcode(Op::TexM3x3), Dst(T, 3), Src(T, 0),
                                       Opcode(Op::Mov), Dst(R, 0), Src(T, 3)}));
    const float h = 128.0f / 255.0f;
    ExpectVec(RunPixelStage(m33, in), {0.75f * 2 * h, h, 0.5f * h, 1}, 1e-5f);

    auto dp3 = Translate(Shader(PS12, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexDp3), Dst(T, 1), Src(T, 0),
                                       Opcode(Op::Mov), Dst(R, 0), Src(T, 1)}));
    ExpectVec(RunPixelStage(dp3, in), {1.5f * h, 1.5f * h, 1.5f * h, 1.5f * h}, 1e-5f);

    // texm3x2depth: depth = (tc1 . t0) / (tc2 . t0) = 0.75 h / h
    in.texcoords[1] = {0.5f, 0.25f, 0, 1};
    auto depth = Translate(Shader(PS13, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexM3x2Pad), Dst(T, 1), Src(T, 0),
                                         Opcode(Op::TexM3x2Depth), Dst(T, 2), Src(T, 0),
                                         Opcode(Op::Mov), Dst(R, 0), Src(V, 0)}));
    EXPECT_TRUE(depth.writesDepth);
    GlResult r = RunPixelStage(depth, in);
    ASSERT_TRUE(r.drawn);
    EXPECT_NEAR(r.depth, 0.75f, 1e-5f);
}

TEST(ShaderTranslator, Pixel14PhasesDependentReadsBemAndDepth) {
    REQUIRE_GL();
    const std::vector<DWORD> strip = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    GlInputs in;
    in.textures[0] = strip;
    in.textures[2] = strip;
    in.texcoords[0] = {0.2f, 0.5f, 2, 4};
    in.texcoords[1] = {0.6f, 0.5f, 0, 0};
    in.d0 = {0.5f, 0.5f, 0.5f, 0.5f};
    // texcrd r1, t0_dz.xyz -> (0.1, 0.25) ; add r1.r, r1, c0 (+0.4) ; phase ;
    // texld r0, r1 -> u = 0.5 -> blue ; mul r0, r0, v0
    auto s = Translate(Shader(PS14, {Opcode(Op::Def), Dst(C, 0), F(0.4f), F(0), F(0), F(0),
                                     Opcode(Op::TexCrd), Dst(R, 1, 0x7), Src(T, 0, 0xA4, shader::MOD_DZ),
                                     Opcode(Op::Add), Dst(R, 1, 0x1), Src(R, 1), Src(C, 0),
                                     0xFFFD,
                                     Opcode(Op::TexLd), Dst(R, 0), Src(R, 1),
                                     Opcode(Op::Mul), Dst(R, 0), Src(R, 0), Src(V, 0)}));
    EXPECT_EQ(s.samplerMask, 0x1u);
    ExpectVec(RunPixelStage(s, in), {0, 0, 0.5f, 0.5f});

    // texld r1, t0 (stage 1: red) ; texcrd r2.rgb, t1 ; bem r2.rg, r2, r1 with the matrix of stage 2 ;
    // phase ; texld r2, r2: (0.6 + 0.25 * 1, 0.5) = (0.85, 0.5) -> white
    in.bumpMat[2] = {0.25f, 0, 0, 0};
    in.textures[1] = strip;
    auto b = Translate(Shader(PS14, {Opcode(Op::TexLd), Dst(R, 1), Src(T, 0),
                                     Opcode(Op::TexCrd), Dst(R, 2, 0x7), Src(T, 1),
                                     Opcode(Op::Bem), Dst(R, 2, 0x3), Src(R, 2), Src(R, 1),
                                     0xFFFD,
                                     Opcode(Op::TexLd), Dst(R, 2), Src(R, 2),
                                     Opcode(Op::Mov), Dst(R, 0), Src(R, 2)}));
    EXPECT_EQ(b.bumpEnvMask, 0x4u);
    EXPECT_EQ(b.samplerMask, 0x6u);
    ExpectVec(RunPixelStage(b, in), {1, 1, 1, 1});

    // texdepth: r5.r / r5.g
    auto d = Translate(Shader(PS14, {Opcode(Op::Def), Dst(C, 1), F(0.3f), F(0.6f), F(0), F(0),
                                     Opcode(Op::Mov), Dst(R, 5), Src(C, 1), 0xFFFD,
                                     Opcode(Op::TexDepth), Dst(R, 5), Opcode(Op::Mov), Dst(R, 0), Src(V, 0)}));
    GlResult r = RunPixelStage(d, in);
    ASSERT_TRUE(r.drawn);
    EXPECT_NEAR(r.depth, 0.5f, 1e-5f);
}

TEST(ShaderTranslator, EveryInstructionCompiles) {
    REQUIRE_GL();
    // One shader per kind exercising the rest: nop, the def-with-relative-addressing path, sge
    // with negation, the ps.1.3 reflections and texreg reads.
    std::vector<std::vector<DWORD>> shaders = {
        Shader(VS11, {Opcode(Op::Def), Dst(C, 10), F(1), F(2), F(3), F(4), Opcode(Op::Nop), VS_POS,
                      Opcode(Op::Mov), Dst(A, 0, 1), Src(V, 1, XXXX),
                      Opcode(Op::Mov), Dst(OD, 1), Src(C, 10, XYZW, 0, true),
                      Opcode(Op::M3x4), Dst(OT, 7), Src(V, 2), Src(C, 20),
                      Opcode(Op::M3x3), Dst(R, 3, 0x3), Src(V, 2), Src(C, 20),
                      Opcode(Op::Sge), Dst(OD, 0), Src(R, 3, XXXX, 1), Src(C, 10)}),
        Shader(PS13, {Opcode(Op::Tex), Dst(T, 0),
                      Opcode(Op::TexM3x3Pad), Dst(T, 1), Src(T, 0, XYZW, shader::MOD_SIGN),
                      Opcode(Op::TexM3x3Pad), Dst(T, 2), Src(T, 0, XYZW, shader::MOD_SIGN),
                      Opcode(Op::TexM3x3VSpec), Dst(T, 3), Src(T, 0, XYZW, shader::MOD_SIGN),
                      Opcode(Op::Mov), Dst(R, 0), Src(T, 3)}),
        Shader(PS13, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexReg2AR), Dst(T, 1), Src(T, 0),
                      Opcode(Op::TexReg2GB), Dst(T, 2), Src(T, 0), Opcode(Op::TexBemL), Dst(T, 3), Src(T, 0),
                      Opcode(Op::Sub), Dst(R, 0), Src(T, 1, XYZW, shader::MOD_BIASNEG), Src(T, 2, XYZW, shader::MOD_SIGNNEG),
                      Opcode(Op::Mad), Dst(R, 0), Src(R, 0), Src(T, 3), Src(V, 1)}),
        Shader(PS12, {Opcode(Op::Tex), Dst(T, 0), Opcode(Op::TexReg2RGB), Dst(T, 1), Src(T, 0),
                      Opcode(Op::TexDp3Tex), Dst(T, 2), Src(T, 0), Opcode(Op::Mov), Dst(R, 0), Src(T, 2)}),
        Shader(PS14, {Opcode(Op::TexLd), Dst(R, 0), Src(T, 0, 0xF4, shader::MOD_DW), Opcode(Op::TexKill), Dst(T, 1),
                      Opcode(Op::Mul), Dst(R, 0, 0x3, false, 3), Src(R, 0, XXXX, shader::MOD_X2NEG), Src(C, 0),
                      Opcode(Op::Mov), Dst(R, 0, 0x8, true, -3), Src(C, 0, YYYY)}),
    };
    for (const auto& t : shaders) {
        auto s = Translate(t);
        std::string log;
        EXPECT_TRUE(GlCompiles(s, &log)) << log;
    }
}

}  // namespace
