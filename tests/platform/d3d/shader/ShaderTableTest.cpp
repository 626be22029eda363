// The shader modifier tables from assembly text to the value a pixel or vertex gets: every result
// shift with and without saturation, every source modifier, every destination write mask. Each row
// is assembled by the effect framework's assembler, translated and run on the software GL device,
// and compared with the arithmetic the modifier stands for.
#include "effect/ShaderAssembler.h"
#include "platform/d3d/shader/ShaderTranslator.h"
#include "tests/platform/d3d/shader/GlHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

using namespace shadertest;

namespace {

// Assembles and translates `text`; false (with the reason recorded) when either step refuses it.
bool Build(const std::string& text, shader::TranslatedShader* out) {
    std::vector<uint32_t> function, constants;
    fxc::MessageList messages;
    HRESULT hr = fxc::AssembleShaderTokens(text, nullptr, 0, 0, &function, &constants, &messages);
    if (hr != S_OK || function.empty()) {
        ADD_FAILURE() << text << "\n" << messages.Joined();
        return false;
    }
    std::string error;
    hr = shader::TranslateShader(function.data(), function.size(), (function[0] >> 16) == 0xFFFF,
                                 shader::ShaderCaps{}, shader::TranslateOptions{}, out, &error);
    if (hr != S_OK) ADD_FAILURE() << text << "\n" << error;
    return hr == S_OK;
}

void ExpectNear(const GlResult& r, const Vec4& want, const std::string& what) {
    ASSERT_TRUE(r.drawn) << what;
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(r.value[k], want[k], 1e-4f) << what << " component " << "rgba"[k];
}

TEST(ShaderTables, EveryResultShiftWithAndWithoutSaturation) {
    REQUIRE_GL();
    // The pixel range is [-1, 1], so inputs stay small enough for x8 to show.
    const Vec4 input{0.1f, -0.1f, 0.05f, 0.12f};
    struct Shift {
        const char* suffix;
        float scale;
    };
    const Shift shifts[] = {{"", 1}, {"_x2", 2}, {"_x4", 4}, {"_x8", 8}, {"_d2", 0.5f}, {"_d4", 0.25f}, {"_d8", 0.125f}};
    GlInputs in;
    in.d0 = input;
    for (const Shift& s : shifts) {
        for (bool saturate : {false, true}) {
            std::string modifier = std::string(s.suffix) + (saturate ? "_sat" : "");
            std::string text = "ps.1.4\nmov" + modifier + " r0, v0\n";
            shader::TranslatedShader stage;
            if (!Build(text, &stage)) continue;
            Vec4 want;
            for (int k = 0; k < 4; ++k) {
                want[k] = input[k] * s.scale;
                if (saturate) want[k] = std::clamp(want[k], 0.0f, 1.0f);
            }
            ExpectNear(RunPixelStage(stage, in), want, "mov" + modifier);
        }
    }
}

TEST(ShaderTables, EverySourceModifier) {
    REQUIRE_GL();
    const Vec4 input{0.1f, 0.3f, 0.7f, 0.9f};
    struct Modifier {
        const char* prefix;
        const char* suffix;
        std::function<float(float)> apply;
    };
    const Modifier modifiers[] = {
        {"", "", [](float v) { return v; }},
        {"-", "", [](float v) { return -v; }},
        {"", "_bias", [](float v) { return v - 0.5f; }},
        {"-", "_bias", [](float v) { return 0.5f - v; }},
        {"", "_bx2", [](float v) { return 2 * v - 1; }},
        {"-", "_bx2", [](float v) { return 1 - 2 * v; }},
        {"1-", "", [](float v) { return 1 - v; }},
        {"", "_x2", [](float v) { return 2 * v; }},
        {"-", "_x2", [](float v) { return -2 * v; }},
    };
    GlInputs in;
    in.d0 = input;
    for (const Modifier& m : modifiers) {
        std::string source = std::string(m.prefix) + "v0" + m.suffix;
        shader::TranslatedShader stage;
        if (!Build("ps.1.4\nmov r0, " + source + "\n", &stage)) continue;
        Vec4 want;
        for (int k = 0; k < 4; ++k) want[k] = std::clamp(m.apply(input[k]), -1.0f, 1.0f);
        ExpectNear(RunPixelStage(stage, in), want, source);
    }
    // The two projective divisions read texture coordinates: x and y over z or w.
    in.texcoords[0] = {0.3f, 0.6f, 2.0f, 4.0f};
    for (const char* suffix : {"_dz", "_dw"}) {
        shader::TranslatedShader stage;
        std::string text = std::string("ps.1.4\ntexcrd r0.rgb, t0") + suffix + (suffix[2] == 'w' ? ".xyw" : "") +
                           "\nmov r0.a, c0\n";
        if (!Build(text, &stage)) continue;
        GlResult r = RunPixelStage(stage, in);
        ASSERT_TRUE(r.drawn);
        float divisor = suffix[2] == 'w' ? 4.0f : 2.0f;
        EXPECT_NEAR(r.value[0], 0.3f / divisor, 1e-5f) << suffix;
        EXPECT_NEAR(r.value[1], 0.6f / divisor, 1e-5f) << suffix;
    }
}

TEST(ShaderTables, EveryDestinationWriteMask) {
    REQUIRE_GL();
    const Vec4 before{-1, -2, -3, -4}, written{5, 6, 7, 8};
    GlInputs in;
    in.attributes[0] = {0, 0, 0, 1};
    in.constants[0] = written;
    in.constants[1] = before;
    for (unsigned mask = 1; mask <= 15; ++mask) {
        std::string suffix = ".";
        for (int k = 0; k < 4; ++k)
            if (mask & (1u << k)) suffix += "xyzw"[k];
        shader::TranslatedShader stage;
        if (!Build("vs.1.1\nmov oPos, v0\nmov r0, c1\nmov r0" + suffix + ", c0\nmov oT0, r0\n", &stage)) continue;
        Vec4 want;
        for (int k = 0; k < 4; ++k) want[k] = (mask & (1u << k)) ? written[k] : before[k];
        ExpectNear(RunVertexStage(stage, in, "sg_oT[0]"), want, "mask " + suffix);
    }
}

}  // namespace
