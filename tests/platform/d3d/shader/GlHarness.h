// A tiny OpenGL 3.3 core context on Mesa's software EGL device for the shader tests: compiles a
// translated stage with a trivial main and draws one pixel into a float target to read results.
#pragma once

#include "platform/d3d/shader/ShaderTranslator.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace shadertest {

using Vec4 = std::array<float, 4>;

struct GlInputs {
    std::map<int, Vec4> attributes;  // vertex input register -> constant value
    std::map<int, Vec4> constants;   // constant register -> value
    Vec4 d0{}, d1{};                 // pixel: sg_vD0, sg_vD1
    std::map<int, Vec4> texcoords;   // pixel: sg_vT[n]
    // pixel: stage -> RGBA8 texels of a width x 1 texture (nearest filtering, clamp to edge)
    std::map<int, std::vector<DWORD>> textures;  // 0xAARRGGBB words
    std::map<int, Vec4> bumpMat;     // stage -> (00, 01, 10, 11)
    std::map<int, std::array<float, 2>> bumpL;
};

struct GlResult {
    bool drawn = false;   // false when the pixel was discarded
    Vec4 value{};
    float depth = 0.0f;
};

// True when a context could be made (else tests skip with the reason in *why).
bool GlAvailable(std::string* why);

// Skips the calling test, with the reason, when no context can be made.
#define REQUIRE_GL()                                                   \
    do {                                                               \
        std::string why;                                               \
        if (!shadertest::GlAvailable(&why)) GTEST_SKIP() << why;       \
    } while (0)

// Compiles and links the stage with a harness main; false with the info log in *log on failure.
bool GlCompiles(const shader::TranslatedShader& stage, std::string* log);

// Vertex stage: runs it for one vertex and returns the value of `output` (a GLSL expression
// over sg_oPos, sg_oD0, sg_oD1, sg_oT[n], sg_oFog, sg_oPts) as a vec4.
GlResult RunVertexStage(const shader::TranslatedShader& stage, const GlInputs& in,
                        const std::string& output);

// Pixel stage: runs it for one pixel and returns its colour (and depth).
GlResult RunPixelStage(const shader::TranslatedShader& stage, const GlInputs& in);

}  // namespace shadertest
