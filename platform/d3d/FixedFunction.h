// The fixed-function pipeline as GLSL: a state key that captures everything that changes the generated code,
// the vertex and pixel stage generators, and the program builder that composes a vertex stage and a
// fragment stage (fixed-function or translated) with the device's prologues and main functions.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/d3d/Gl.h"
#include "platform/d3d/d3d8types.h"

namespace d3dimpl {

// Per texture stage: how its coordinate is made in the vertex stage.
struct TexCoordKey {
    uint8_t source;     // coordinate set read (0..7)
    uint8_t inputSize;  // components the vertex has for that set (0 = absent)
    uint8_t generate;   // 0 passthrough, 1 camera normal, 2 camera position, 3 reflection vector
    uint8_t count;      // texture transform output count (0 = no transform)
    uint8_t projected;  // divide by the last output component
};

// Per texture stage: the colour and alpha operations of the pixel stage.
struct StageKey {
    uint8_t colourOp, alphaOp;    // D3DTOP_*
    uint8_t colourArg[3];         // arg0, arg1, arg2 (D3DTA_* with modifiers)
    uint8_t alphaArg[3];
    uint8_t resultTemp;           // RESULTARG is D3DTA_TEMP
    uint8_t textured;             // a texture is bound to the stage
    uint8_t projectDivide;        // 0, or the component (2..4) to divide the coordinate by
};

// Everything the generated program depends on. Zero-filled before use so that it can be hashed bytewise.
struct ProgramKey {
    // Vertex stage
    uint8_t pretransformed;   // XYZRHW positions
    uint8_t blendMatrices;    // world matrices blended (0 or 1 = none, 2..4)
    uint8_t blendWeights;     // weights the vertex carries
    uint8_t hasNormal, hasPointSize, hasDiffuse, hasSpecular;
    uint8_t lighting, localViewer, normalizeNormals, specular;
    uint8_t materialSource[4];  // diffuse, specular, ambient, emissive: D3DMCS_* after COLORVERTEX
    uint8_t lightCount;
    uint8_t lightType[8];
    uint8_t vertexFog;        // 0 none, D3DFOG_EXP/EXP2/LINEAR, 4 = factor from specular alpha
    uint8_t rangeFog;
    uint8_t pointScale;
    uint8_t clipPlanes;       // bit mask of enabled user clip planes
    uint8_t flatShading;
    uint8_t texCoordCount;    // stages whose coordinates are produced
    TexCoordKey texCoord[8];
    // Pixel stage
    uint8_t stageCount;       // stages before the first disabled one
    StageKey stages[8];
    uint8_t specularAdd;
    uint8_t tableFog;         // 0 none, D3DFOG_EXP/EXP2/LINEAR (per pixel)
    uint8_t fogFromW;         // table fog measures eye distance (perspective projection)
    uint8_t vertexFogUsed;    // pixel stage blends the interpolated vertex fog factor
    uint8_t alphaFunc;        // 0 = alpha test off, else D3DCMP_*
    uint8_t pointSprite;
    // Wireframe or point fill of culled triangles: a geometry stage keeps what culling leaves.
    uint8_t fillGeometry;     // 0 none; 1 edges (lines with adjacency in); 2 vertices (triangles in)
    uint8_t fillKeepBack;     // culling keeps GL's back faces (D3DCULL_CW) instead of its front faces
    // Translated shaders replacing a stage (0 = fixed function); ids given by the shader integration.
    uint32_t vertexShaderId;
    uint32_t pixelShaderId;

    bool operator==(const ProgramKey& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};

struct ProgramKeyHash {
    size_t operator()(const ProgramKey& k) const {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(&k);
        uint64_t h = 1469598103934665603ull;
        for (size_t i = 0; i < sizeof k; ++i) h = (h ^ p[i]) * 1099511628211ull;
        return static_cast<size_t>(h);
    }
};

// Uniforms of the device's programs, in one list: enum, GLSL name.
#define SG_UNIFORMS(X)                     \
    X(WorldView, "sg_WorldView")           \
    X(NormalMatrix, "sg_NormalMat")        \
    X(Projection, "sg_Proj")               \
    X(TextureMatrix, "sg_TexMat")          \
    X(Viewport, "sg_Viewport")             \
    X(PositionFix, "sg_PosFix")            \
    X(LightPosition, "sg_LightPos")        \
    X(LightDirection, "sg_LightDir")       \
    X(LightDiffuse, "sg_LightDiffuse")     \
    X(LightSpecular, "sg_LightSpecular")   \
    X(LightAmbient, "sg_LightAmbient")     \
    X(LightAttenuation, "sg_LightAtten")   \
    X(LightSpot, "sg_LightSpot")           \
    X(MaterialDiffuse, "sg_MatDiffuse")    \
    X(MaterialAmbient, "sg_MatAmbient")    \
    X(MaterialSpecular, "sg_MatSpecular")  \
    X(MaterialEmissive, "sg_MatEmissive")  \
    X(MaterialPower, "sg_MatPower")        \
    X(GlobalAmbient, "sg_GlobalAmbient")   \
    X(FogParams, "sg_FogParams")           \
    X(PointParams, "sg_Point")             \
    X(PointScale, "sg_PointScale")         \
    X(ClipPlane, "sg_ClipPlane")           \
    X(TextureFactor, "sg_TFactor")         \
    X(FogColour, "sg_FogColor")            \
    X(AlphaRef, "sg_AlphaRef")             \
    X(VSConst, "sg_VSConst")               \
    X(PSConst, "sg_PSConst")               \
    X(BumpEnvMatrix, "sg_BumpEnvMat")      \
    X(BumpEnvLuminance, "sg_BumpEnvL")

enum UniformId {
#define SG_UNIFORM_ENUM(id, name) kU##id,
    SG_UNIFORMS(SG_UNIFORM_ENUM)
#undef SG_UNIFORM_ENUM
        kUniformCount
};

struct FixedProgram {
    GLuint program = 0;
    GLint location[kUniformCount];
    // Versions of the device's uniform groups last uploaded into this program (0 = never).
    UINT transformVersion = 0, lightVersion = 0, materialVersion = 0, miscVersion = 0, textureMatrixVersion = 0;
    UINT vsConstVersion = 0, psConstVersion = 0, bumpVersion = 0;
};

// Generates the fixed-function vertex stage (defines sg_VertexStage) for a key.
std::string FixedVertexStage(const ProgramKey& key);
// Generates the fixed-function pixel stage (defines sg_PixelStage) for a key.
std::string FixedPixelStage(const ProgramKey& key);

// Composes and links a program from two stage texts. Returns false with a message when GLSL fails to
// compile or link (a bug in a generator or translator).
bool BuildProgram(const ProgramKey& key, const std::string& vertexStage, const std::string& pixelStage,
                  FixedProgram* out, std::string* error);

}  // namespace d3dimpl
