// Drawing: vertex layouts from FVF codes and declarations, the program key from the current state, GL fixed
// state, samplers and uniforms brought up to date only where they changed, bounds checks, and the draw calls.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/d3d/DeviceImpl.h"
#include "platform/d3d/FvfLayout.h"

// [SECTION] Index
// Layouts        FVF codes to vertex elements
// Tables         D3D enum values to GL enums
// Key            ProgramKey from state; ValidateDevice
// GL state       fixed state, samplers, uniforms, attributes
// Draw           the four draw entry points

namespace d3dimpl {

namespace {

// [SECTION] Layouts

struct ElementFormat {
    UINT bytes;
    GLint size;
    GLenum type;
    GLboolean normalised;
    UINT components;
};

// Indexed by D3DVSDT_*.
const ElementFormat kElementFormats[] = {
    {4, 1, GL_FLOAT, GL_FALSE, 1},         {8, 2, GL_FLOAT, GL_FALSE, 2},
    {12, 3, GL_FLOAT, GL_FALSE, 3},        {16, 4, GL_FLOAT, GL_FALSE, 4},
    {4, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4},  // D3DCOLOR: ARGB word arrives as (r, g, b, a)
    {4, 4, GL_UNSIGNED_BYTE, GL_FALSE, 4}, {4, 2, GL_SHORT, GL_FALSE, 2},
    {8, 4, GL_SHORT, GL_FALSE, 4},
};

void AddElement(VertexLayout* layout, BYTE reg, BYTE type, UINT* offset) {
    DeclElement& e = layout->elements[layout->count++];
    e.stream = 0;
    e.reg = reg;
    e.type = type;
    e.offset = static_cast<WORD>(*offset);
    *offset += kElementFormats[type].bytes;
}

}  // namespace

bool LayoutFromFvf(DWORD fvf, VertexLayout* layout) {
    *layout = VertexLayout{};
    layout->fvf = fvf;
    const FvfLayout format(fvf);
    if (!format.Valid()) return false;
    UINT offset = 0;
    if (format.position == D3DFVF_XYZRHW) {
        AddElement(layout, D3DVSDE_POSITION, D3DVSDT_FLOAT4, &offset);
        layout->pretransformed = true;
    } else {
        AddElement(layout, D3DVSDE_POSITION, D3DVSDT_FLOAT3, &offset);
        if (format.blendWeights > 0) {
            UINT used = format.blendWeights > 4 ? 4 : format.blendWeights;
            AddElement(layout, D3DVSDE_BLENDWEIGHT, static_cast<BYTE>(D3DVSDT_FLOAT1 + used - 1), &offset);
            offset += (format.blendWeights - used) * 4;
        }
        if (format.blendIndices) AddElement(layout, D3DVSDE_BLENDINDICES, D3DVSDT_UBYTE4, &offset);
    }
    if (format.normal >= 0) AddElement(layout, D3DVSDE_NORMAL, D3DVSDT_FLOAT3, &offset);
    if (format.pointSize >= 0) AddElement(layout, D3DVSDE_PSIZE, D3DVSDT_FLOAT1, &offset);
    if (format.diffuse >= 0) AddElement(layout, D3DVSDE_DIFFUSE, D3DVSDT_D3DCOLOR, &offset);
    if (format.specular >= 0) AddElement(layout, D3DVSDE_SPECULAR, D3DVSDT_D3DCOLOR, &offset);
    for (int i = 0; i < format.texCount; ++i) {
        BYTE type = static_cast<BYTE>(D3DVSDT_FLOAT1 + format.texDims[i] - 1);
        AddElement(layout, static_cast<BYTE>(D3DVSDE_TEXCOORD0 + i), type, &offset);
    }
    layout->fvfStride = offset;
    return true;
}

UINT FvfStride(DWORD fvf) {
    VertexLayout layout;
    return LayoutFromFvf(fvf, &layout) ? layout.fvfStride : 0;
}

namespace {

// [SECTION] Tables

GLenum BlendFactor(DWORD v) {
    static const GLenum kTable[] = {GL_ONE,       GL_ZERO,          GL_ONE,
                                    GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                                    GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                                    GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    return v < sizeof kTable / sizeof kTable[0] ? kTable[v] : GL_ONE;
}

GLenum CompareFunc(DWORD v) {
    static const GLenum kTable[] = {GL_ALWAYS, GL_NEVER,   GL_LESS,     GL_EQUAL, GL_LEQUAL,
                                    GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return v < 9 ? kTable[v] : GL_ALWAYS;
}

GLenum StencilOp(DWORD v) {
    static const GLenum kTable[] = {GL_KEEP, GL_KEEP, GL_ZERO,      GL_REPLACE,  GL_INCR,
                                    GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return v < 9 ? kTable[v] : GL_KEEP;
}

GLenum BlendOp(DWORD v) {
    static const GLenum kTable[] = {GL_FUNC_ADD, GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN,
                                    GL_MAX};
    return v < 6 ? kTable[v] : GL_FUNC_ADD;
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE t) {
    static const GLenum kTable[] = {GL_POINTS,    GL_POINTS,         GL_LINES,          GL_LINE_STRIP,
                                    GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
    return kTable[t];
}

// Vertices needed for a primitive count; 0 for an invalid type.
UINT VertexCount(D3DPRIMITIVETYPE t, UINT primitives) {
    switch (t) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
    }
}

float AsFloat(DWORD d) {
    float f;
    std::memcpy(&f, &d, 4);
    return f;
}

void ColourToFloats(D3DCOLOR c, float* out) {
    out[0] = static_cast<float>((c >> 16) & 255) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 255) / 255.0f;
    out[2] = static_cast<float>(c & 255) / 255.0f;
    out[3] = static_cast<float>(c >> 24) / 255.0f;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
        }
    }
    return r;
}

// General 4x4 inverse (cofactors); false when singular.
bool Inverse(const D3DMATRIX& a, D3DMATRIX* out) {
    const float* m = &a.m[0][0];
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0f || !std::isfinite(det)) return false;
    for (int i = 0; i < 16; ++i) (&out->m[0][0])[i] = inv[i] / det;
    return true;
}

// Inverse transpose of the upper 3x3 (for normals), stored in a 4x4 with the rest identity.
D3DMATRIX NormalMatrix(const D3DMATRIX& a) {
    D3DMATRIX r{};
    const float(*m)[4] = a.m;
    float c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1], c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2],
          c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    float c10 = m[0][2] * m[2][1] - m[0][1] * m[2][2], c11 = m[0][0] * m[2][2] - m[0][2] * m[2][0],
          c12 = m[0][1] * m[2][0] - m[0][0] * m[2][1];
    float c20 = m[0][1] * m[1][2] - m[0][2] * m[1][1], c21 = m[0][2] * m[1][0] - m[0][0] * m[1][2],
          c22 = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    float det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    float s = det != 0.0f ? 1.0f / det : 0.0f;
    // The cofactor matrix divided by the determinant is the inverse transpose.
    r.m[0][0] = c00 * s, r.m[0][1] = c01 * s, r.m[0][2] = c02 * s;
    r.m[1][0] = c10 * s, r.m[1][1] = c11 * s, r.m[1][2] = c12 * s;
    r.m[2][0] = c20 * s, r.m[2][1] = c21 * s, r.m[2][2] = c22 * s;
    r.m[3][3] = 1.0f;
    return r;
}

bool ValidArgument(DWORD arg) {
    return (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
           (arg & D3DTA_SELECTMASK) <= D3DTA_TEMP;
}

bool SupportedOp(DWORD op, const D3DCAPS8& caps) {
    return op >= D3DTOP_DISABLE && op <= D3DTOP_LERP && (caps.TextureOpCaps & (1u << (op - 1)));
}

}  // namespace

// [SECTION] Key

const VertexLayout* Device::CurrentLayout() {
    DWORD vs = state.vertexShader;
    if (vs & 1) {
        auto it = vertexShaders.find(vs);
        return it == vertexShaders.end() ? nullptr : &it->second->layout;
    }
    if (vs == 0) return nullptr;
    if (vs != fvfLayoutCode) {
        if (!LayoutFromFvf(vs, &fvfLayout)) return nullptr;
        fvfLayoutCode = vs;
    }
    return &fvfLayout;
}

void Device::BuildProgramKey(const VertexLayout& layout, ProgramKey* key) {
    ProgramKey& k = *key;
    std::memset(&k, 0, sizeof k);
    const DWORD* rs = state.renderStates;
    UINT texSize[8] = {};
    for (UINT i = 0; i < layout.count; ++i) {
        const DeclElement& e = layout.elements[i];
        UINT comps = kElementFormats[e.type].components;
        switch (e.reg) {
        case D3DVSDE_BLENDWEIGHT: k.blendWeights = static_cast<uint8_t>(comps); break;
        case D3DVSDE_NORMAL: k.hasNormal = 1; break;
        case D3DVSDE_PSIZE: k.hasPointSize = 1; break;
        case D3DVSDE_DIFFUSE: k.hasDiffuse = 1; break;
        case D3DVSDE_SPECULAR: k.hasSpecular = 1; break;
        default:
            if (e.reg >= D3DVSDE_TEXCOORD0 && e.reg <= D3DVSDE_TEXCOORD7) texSize[e.reg - D3DVSDE_TEXCOORD0] = comps;
            break;
        }
    }
    k.pretransformed = layout.pretransformed ? 1 : 0;
    DWORD blend = rs[D3DRS_VERTEXBLEND];
    if (!k.pretransformed && blend >= D3DVBF_1WEIGHTS && blend <= D3DVBF_3WEIGHTS)
        k.blendMatrices = static_cast<uint8_t>(blend + 1);
    if (k.blendMatrices > k.blendWeights + 1) k.blendMatrices = static_cast<uint8_t>(k.blendWeights + 1);
    if (k.blendMatrices < 2) k.blendMatrices = 0;
    if (!k.blendMatrices) k.blendWeights = 0;
    k.lighting = rs[D3DRS_LIGHTING] && !k.pretransformed;
    k.localViewer = rs[D3DRS_LOCALVIEWER] ? 1 : 0;
    k.normalizeNormals = rs[D3DRS_NORMALIZENORMALS] ? 1 : 0;
    if (k.lighting) {
        k.specular = rs[D3DRS_SPECULARENABLE] ? 1 : 0;
        const D3DRENDERSTATETYPE sources[4] = {D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE,
                                               D3DRS_AMBIENTMATERIALSOURCE, D3DRS_EMISSIVEMATERIALSOURCE};
        for (int i = 0; i < 4; ++i) {
            DWORD src = rs[D3DRS_COLORVERTEX] ? rs[sources[i]] : D3DMCS_MATERIAL;
            if ((src == D3DMCS_COLOR1 && !k.hasDiffuse) || (src == D3DMCS_COLOR2 && !k.hasSpecular) ||
                src > D3DMCS_COLOR2)
                src = D3DMCS_MATERIAL;
            k.materialSource[i] = static_cast<uint8_t>(src);
        }
        for (const auto& [index, slot] : state.lights) {
            if (!slot.enabled || k.lightCount >= kMaxActiveLights) continue;
            k.lightType[k.lightCount++] = static_cast<uint8_t>(slot.light.Type);
        }
    } else {
        k.localViewer = k.normalizeNormals = 0;
    }
    if (rs[D3DRS_FOGENABLE]) {
        DWORD table = rs[D3DRS_FOGTABLEMODE];
        if (table >= D3DFOG_EXP && table <= D3DFOG_LINEAR) {
            k.tableFog = static_cast<uint8_t>(table);
            const D3DMATRIX& p = state.transforms[kTransformProjection];
            bool perspective = !(p._14 == 0.0f && p._24 == 0.0f && p._34 == 0.0f && p._44 == 1.0f);
            k.fogFromW = (perspective || k.pretransformed) ? 1 : 0;
        } else {
            k.vertexFogUsed = 1;
            DWORD mode = rs[D3DRS_FOGVERTEXMODE];
            k.vertexFog = static_cast<uint8_t>(mode >= D3DFOG_EXP && mode <= D3DFOG_LINEAR ? mode : 4);
            k.rangeFog = rs[D3DRS_RANGEFOGENABLE] ? 1 : 0;
        }
    }
    k.pointScale = rs[D3DRS_POINTSCALEENABLE] ? 1 : 0;
    k.clipPlanes = k.pretransformed ? 0 : static_cast<uint8_t>(rs[D3DRS_CLIPPLANEENABLE] & 0x3F);
    k.flatShading = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT ? 1 : 0;
    // Texture coordinates per stage (TEXCOORDINDEX picks the set or a generation mode).
    for (UINT s = 0; s < kMaxStages; ++s) {
        const DWORD* t = state.stageStates[s];
        TexCoordKey& tc = k.texCoord[s];
        DWORD index = t[D3DTSS_TEXCOORDINDEX];
        tc.source = static_cast<uint8_t>(index & 7);
        DWORD gen = index >> 16;
        tc.generate = static_cast<uint8_t>(gen <= 3 ? gen : 0);
        tc.inputSize = static_cast<uint8_t>(texSize[tc.source]);
        DWORD count = t[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF;
        if (count >= D3DTTFF_COUNT1 && count <= D3DTTFF_COUNT4) tc.count = static_cast<uint8_t>(count);
    }
    for (UINT s = 0; s < kMaxStages; ++s) {
        const DWORD* t = state.stageStates[s];
        DWORD op = t[D3DTSS_COLOROP];
        if (op == D3DTOP_DISABLE || !SupportedOp(op, caps)) break;
        StageKey& st = k.stages[s];
        st.colourOp = static_cast<uint8_t>(op);
        DWORD aop = t[D3DTSS_ALPHAOP];
        st.alphaOp = static_cast<uint8_t>(SupportedOp(aop, caps) ? aop : D3DTOP_DISABLE);
        const D3DTEXTURESTAGESTATETYPE colourArgs[3] = {D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2};
        const D3DTEXTURESTAGESTATETYPE alphaArgs[3] = {D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};
        for (int a = 0; a < 3; ++a) {
            st.colourArg[a] = static_cast<uint8_t>(ValidArgument(t[colourArgs[a]]) ? t[colourArgs[a]] : D3DTA_CURRENT);
            st.alphaArg[a] = static_cast<uint8_t>(ValidArgument(t[alphaArgs[a]]) ? t[alphaArgs[a]] : D3DTA_CURRENT);
        }
        st.resultTemp = (t[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP ? 1 : 0;
        st.textured = state.textures[s] ? 1 : 0;
        TexCoordKey& tc = k.texCoord[s];
        if (t[D3DTSS_TEXTURETRANSFORMFLAGS] & D3DTTFF_PROJECTED) {
            // With a vertex shader the coordinate has four components and the count says which is last.
            UINT n = tc.count ? tc.count : (boundVertexShader && !boundVertexShader->function.empty()) ? 4
                                          : (tc.generate ? 3 : tc.inputSize);
            if (n >= 2) st.projectDivide = static_cast<uint8_t>(n);
            tc.projected = st.projectDivide ? 1 : 0;
        }
        k.stageCount = static_cast<uint8_t>(s + 1);
    }
    k.texCoordCount = k.stageCount;
    k.specularAdd = rs[D3DRS_SPECULARENABLE] ? 1 : 0;
    if (rs[D3DRS_ALPHATESTENABLE]) {
        DWORD f = rs[D3DRS_ALPHAFUNC];
        k.alphaFunc = static_cast<uint8_t>(f >= D3DCMP_NEVER && f < D3DCMP_ALWAYS ? f : 0);
    }
    // A translated stage replaces the fixed-function one: the fields only the replaced stage reads are
    // cleared so that programs are shared across them.
    if (boundPixelShader) {
        k.pixelShaderId = boundPixelShader->serial;
        k.texCoordCount = kMaxStages;  // the shader may read any coordinate
        k.stageCount = 0;
        std::memset(k.stages, 0, sizeof k.stages);
        k.specularAdd = 0;
    }
    if (boundVertexShader && !boundVertexShader->function.empty()) {
        ProgramKey fixedVertex = k;
        k.vertexShaderId = boundVertexShader->serial;
        k.pretransformed = k.blendMatrices = k.blendWeights = k.hasNormal = k.hasPointSize = 0;
        k.hasDiffuse = k.hasSpecular = k.lighting = k.localViewer = k.normalizeNormals = k.specular = 0;
        std::memset(k.materialSource, 0, sizeof k.materialSource);
        k.lightCount = 0;
        std::memset(k.lightType, 0, sizeof k.lightType);
        k.vertexFog = k.rangeFog = k.pointScale = 0;
        k.texCoordCount = 0;
        std::memset(k.texCoord, 0, sizeof k.texCoord);
        for (UINT s = 0; s < kMaxStages; ++s) k.texCoord[s].projected = fixedVertex.texCoord[s].projected;
    }
}

HRESULT Device::ValidateDevice(DWORD* numPasses) {
    if (!numPasses) return D3DERR_INVALIDCALL;
    *numPasses = 0;
    const DWORD* rs = state.renderStates;
    // With a pixel shader the stage operations are not used; the samplers still are.
    for (UINT s = 0; s < kMaxStages; ++s) {
        const DWORD* t = state.stageStates[s];
        DWORD op = t[D3DTSS_COLOROP];
        if (op == D3DTOP_DISABLE && !boundPixelShader) break;
        if (boundPixelShader) op = D3DTOP_SELECTARG1;
        if (!SupportedOp(op, caps)) return D3DERR_UNSUPPORTEDCOLOROPERATION;
        if (!boundPixelShader) {
            if (!SupportedOp(t[D3DTSS_ALPHAOP], caps)) return D3DERR_UNSUPPORTEDALPHAOPERATION;
            if (!ValidArgument(t[D3DTSS_COLORARG0]) || !ValidArgument(t[D3DTSS_COLORARG1]) ||
                !ValidArgument(t[D3DTSS_COLORARG2]))
                return D3DERR_UNSUPPORTEDCOLORARG;
            if (!ValidArgument(t[D3DTSS_ALPHAARG0]) || !ValidArgument(t[D3DTSS_ALPHAARG1]) ||
                !ValidArgument(t[D3DTSS_ALPHAARG2]))
                return D3DERR_UNSUPPORTEDALPHAARG;
            DWORD result = t[D3DTSS_RESULTARG];
            if (result != D3DTA_CURRENT && result != D3DTA_TEMP) return D3DERR_UNSUPPORTEDCOLORARG;
        }
        DWORD index = t[D3DTSS_TEXCOORDINDEX];
        if ((index & 0xFFFF) > 7 || (index >> 16) > 3) return D3DERR_INVALIDCALL;
        DWORD tt = t[D3DTSS_TEXTURETRANSFORMFLAGS];
        if ((tt & ~(0xFFu | D3DTTFF_PROJECTED)) || (tt & 0xFF) > D3DTTFF_COUNT4) return D3DERR_INVALIDCALL;
        DWORD mag = t[D3DTSS_MAGFILTER], min = t[D3DTSS_MINFILTER], mip = t[D3DTSS_MIPFILTER];
        bool aniso = (caps.TextureFilterCaps & D3DPTFILTERCAPS_MINFANISOTROPIC) != 0;
        auto filterOk = [&](DWORD f) {
            return f == D3DTEXF_POINT || f == D3DTEXF_LINEAR || (aniso && f == D3DTEXF_ANISOTROPIC);
        };
        if (!filterOk(mag) || !filterOk(min) || mip > D3DTEXF_LINEAR) return D3DERR_UNSUPPORTEDTEXTUREFILTER;
        for (D3DTEXTURESTAGESTATETYPE a : {D3DTSS_ADDRESSU, D3DTSS_ADDRESSV}) {
            DWORD v = t[a];
            if (v < D3DTADDRESS_WRAP || v > D3DTADDRESS_MIRRORONCE || !(caps.TextureAddressCaps & (1u << (v - 1))))
                return D3DERR_CONFLICTINGRENDERSTATE;
        }
    }
    auto inRange = [](DWORD v, DWORD lo, DWORD hi) { return v >= lo && v <= hi; };
    if (!inRange(rs[D3DRS_SRCBLEND], 1, 13) || !inRange(rs[D3DRS_DESTBLEND], 1, 13) ||
        !inRange(rs[D3DRS_BLENDOP], 1, 5) || !inRange(rs[D3DRS_ZFUNC], 1, 8) || !inRange(rs[D3DRS_ALPHAFUNC], 1, 8) ||
        !inRange(rs[D3DRS_STENCILFUNC], 1, 8) || !inRange(rs[D3DRS_STENCILFAIL], 1, 8) ||
        !inRange(rs[D3DRS_STENCILZFAIL], 1, 8) || !inRange(rs[D3DRS_STENCILPASS], 1, 8) ||
        !inRange(rs[D3DRS_FILLMODE], 1, 3) || !inRange(rs[D3DRS_CULLMODE], 1, 3) ||
        !inRange(rs[D3DRS_SHADEMODE], 1, 2) || rs[D3DRS_FOGTABLEMODE] > 3 || rs[D3DRS_FOGVERTEXMODE] > 3 ||
        rs[D3DRS_ZENABLE] > D3DZB_TRUE)
        return D3DERR_CONFLICTINGRENDERSTATE;
    DWORD blend = rs[D3DRS_VERTEXBLEND];
    if (rs[D3DRS_INDEXEDVERTEXBLENDENABLE] || (blend > D3DVBF_3WEIGHTS && blend != D3DVBF_0WEIGHTS))
        return D3DERR_CONFLICTINGRENDERSTATE;
    if (rs[D3DRS_CLIPPLANEENABLE] & ~((1u << kMaxClipPlanes) - 1)) return D3DERR_CONFLICTINGRENDERSTATE;
    // Cylindrical texture wrapping is not implemented.
    for (DWORD w = D3DRS_WRAP0; w <= D3DRS_WRAP7; ++w) {
        if (rs[w] != 0) return D3DERR_CONFLICTINGRENDERSTATE;
    }
    *numPasses = 1;
    return D3D_OK;
}

FixedProgram* Device::ProgramFor(const ProgramKey& key) {
    auto it = programs.find(key);
    if (it != programs.end()) return it->second.get();
    auto program = std::make_unique<FixedProgram>();
    std::string error;
    std::string vertexStage = key.vertexShaderId ? boundVertexShader->stage.glsl : FixedVertexStage(key);
    std::string pixelStage = key.pixelShaderId ? boundPixelShader->stage.glsl : FixedPixelStage(key);
    if (!BuildProgram(key, vertexStage, pixelStage, program.get(), &error)) {
        // A generator or translator bug: report it loudly rather than draw something wrong.
        std::fprintf(stderr, "d3d8: program build failed: %s\n", error.c_str());
        assert(!"device program failed to build");
        return nullptr;
    }
    FixedProgram* p = program.get();
    programs.emplace(key, std::move(program));
    return p;
}

// [SECTION] GL state

void Device::ApplyGlState() {
    const DWORD* rs = state.renderStates;
    GlShadow& g = gl;
    bool all = g.valid == 0;
    g.valid = 1;

    bool blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    if (all || blend != g.blend) {
        blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        g.blend = blend;
    }
    if (blend) {
        GLenum src = BlendFactor(rs[D3DRS_SRCBLEND]), dst = BlendFactor(rs[D3DRS_DESTBLEND]);
        if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) src = GL_SRC_ALPHA, dst = GL_ONE_MINUS_SRC_ALPHA;
        if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) src = GL_ONE_MINUS_SRC_ALPHA, dst = GL_SRC_ALPHA;
        if (all || src != g.blendSrc || dst != g.blendDst) {
            glBlendFunc(src, dst);
            g.blendSrc = src, g.blendDst = dst;
        }
        GLenum op = BlendOp(rs[D3DRS_BLENDOP]);
        if (all || op != g.blendOp) {
            glBlendEquation(op);
            g.blendOp = op;
        }
    }
    bool depth = depthFormat && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    if (all || depth != g.depthTest) {
        depth ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
        g.depthTest = depth;
    }
    GLenum depthFunc = CompareFunc(rs[D3DRS_ZFUNC]);
    if (all || depthFunc != g.depthFunc) {
        glDepthFunc(depthFunc);
        g.depthFunc = depthFunc;
    }
    GLboolean depthMask = rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE;
    if (all || depthMask != g.depthMask) {
        glDepthMask(depthMask);
        g.depthMask = depthMask;
    }
    bool stencil = depthFormat && depthFormat->stencilBits && rs[D3DRS_STENCILENABLE];
    if (all || stencil != g.stencilTest) {
        stencil ? glEnable(GL_STENCIL_TEST) : glDisable(GL_STENCIL_TEST);
        g.stencilTest = stencil;
    }
    if (stencil) {
        GLenum func = CompareFunc(rs[D3DRS_STENCILFUNC]);
        GLint ref = static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFF);
        GLuint mask = rs[D3DRS_STENCILMASK];
        if (all || func != g.stencilFunc || ref != g.stencilRef || mask != g.stencilMask) {
            glStencilFunc(func, ref, mask);
            g.stencilFunc = func, g.stencilRef = ref, g.stencilMask = mask;
        }
        GLenum f = StencilOp(rs[D3DRS_STENCILFAIL]), zf = StencilOp(rs[D3DRS_STENCILZFAIL]),
               p = StencilOp(rs[D3DRS_STENCILPASS]);
        if (all || f != g.stencilFail || zf != g.stencilZFail || p != g.stencilPass) {
            glStencilOp(f, zf, p);
            g.stencilFail = f, g.stencilZFail = zf, g.stencilPass = p;
        }
        GLuint write = rs[D3DRS_STENCILWRITEMASK];
        if (all || write != g.stencilWriteMask) {
            glStencilMask(write);
            g.stencilWriteMask = write;
        }
    }
    // Both have an effect only on a multisampled back buffer; bit n of the mask is sample n.
    bool multisample = rs[D3DRS_MULTISAMPLEANTIALIAS] != 0;
    if (all || multisample != g.multisample) {
        multisample ? glEnable(GL_MULTISAMPLE) : glDisable(GL_MULTISAMPLE);
        g.multisample = multisample;
    }
    GLuint sampleMask = rs[D3DRS_MULTISAMPLEMASK];
    if (all || sampleMask != g.sampleMask) {
        sampleMask == 0xFFFFFFFFu ? glDisable(GL_SAMPLE_MASK) : glEnable(GL_SAMPLE_MASK);
        glSampleMaski(0, sampleMask);
        g.sampleMask = sampleMask;
    }
    // Rows are stored top row first, which mirrors the picture vertically in GL's window space: a triangle
    // the platform sees counter-clockwise is clockwise to GL. GL_CCW stays the front face.
    DWORD cullMode = rs[D3DRS_CULLMODE];
    bool cull = cullMode == D3DCULL_CW || cullMode == D3DCULL_CCW;
    if (all || cull != g.cull) {
        cull ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
        g.cull = cull;
    }
    if (cull) {
        GLenum face = cullMode == D3DCULL_CCW ? GL_BACK : GL_FRONT;
        if (all || face != g.cullFace) {
            glCullFace(face);
            g.cullFace = face;
        }
    }
    DWORD write = rs[D3DRS_COLORWRITEENABLE];
    bool alphaFormat = FindFormat(pp.BackBufferFormat)->hasAlpha;
    GLboolean cm[4] = {static_cast<GLboolean>((write & 1) != 0), static_cast<GLboolean>((write & 2) != 0),
                       static_cast<GLboolean>((write & 4) != 0),
                       static_cast<GLboolean>(alphaFormat && (write & 8) != 0)};
    if (all || std::memcmp(cm, g.colourMask, sizeof cm) != 0) {
        glColorMask(cm[0], cm[1], cm[2], cm[3]);
        std::memcpy(g.colourMask, cm, sizeof cm);
    }
    DWORD bias = rs[D3DRS_ZBIAS] > 16 ? 16 : rs[D3DRS_ZBIAS];
    bool offset = bias != 0;
    if (all || offset != g.polygonOffset) {
        if (offset) {
            glEnable(GL_POLYGON_OFFSET_FILL);
            glEnable(GL_POLYGON_OFFSET_LINE);
            glEnable(GL_POLYGON_OFFSET_POINT);
        } else {
            glDisable(GL_POLYGON_OFFSET_FILL);
            glDisable(GL_POLYGON_OFFSET_LINE);
            glDisable(GL_POLYGON_OFFSET_POINT);
        }
        g.polygonOffset = offset;
    }
    if (offset && (all || g.offsetUnits != -static_cast<float>(bias))) {
        // Higher ZBIAS values pull polygons towards the viewer.
        glPolygonOffset(0.0f, -static_cast<float>(bias));
        g.offsetUnits = -static_cast<float>(bias);
    }
    const D3DVIEWPORT8& vp = state.viewport;
    GLint viewport[4] = {static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLint>(vp.Width),
                         static_cast<GLint>(vp.Height)};
    if (all || std::memcmp(viewport, g.viewport, sizeof viewport) != 0) {
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        std::memcpy(g.viewport, viewport, sizeof viewport);
    }
    if (all || g.depthRange[0] != vp.MinZ || g.depthRange[1] != vp.MaxZ) {
        glDepthRange(vp.MinZ, vp.MaxZ);
        g.depthRange[0] = vp.MinZ, g.depthRange[1] = vp.MaxZ;
    }
    if (all) {
        glDisable(GL_SCISSOR_TEST);
        for (UINT i = 0; i < kMaxClipPlanes; ++i) glDisable(GL_CLIP_DISTANCE0 + i);
        clipPlanesEnabled = 0;
    }
}

void Device::ApplySamplers(UINT stageMask) {
    for (UINT s = 0; s < kMaxStages; ++s) {
        Texture* texture = state.textures[s];
        if (!(stageMask & (1u << s)) || !texture) continue;
        // Upload binds the texture on the active unit, so select the stage's unit first.
        glActiveTexture(GL_TEXTURE0 + s);
        GLuint name = texture->Upload();
        glBindTexture(GL_TEXTURE_2D, name);
        // MAXMIPLEVEL is the most detailed level the stage may use (with or without a mip filter).
        texture->UseMostDetailedLevel(state.stageStates[s][D3DTSS_MAXMIPLEVEL]);
        if (!samplersDirty[s]) continue;
        samplersDirty[s] = false;
        const DWORD* t = state.stageStates[s];
        GLuint sampler = samplers[s];
        auto wrap = [&](DWORD mode) -> GLint {
            switch (mode) {
            case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
            case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
            case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
            case D3DTADDRESS_MIRRORONCE: return egl->mirrorClampToEdge ? 0x8743 : GL_CLAMP_TO_EDGE;
            default: return GL_REPEAT;
            }
        };
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, wrap(t[D3DTSS_ADDRESSU]));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, wrap(t[D3DTSS_ADDRESSV]));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, wrap(t[D3DTSS_ADDRESSW]));
        float border[4];
        ColourToFloats(t[D3DTSS_BORDERCOLOR], border);
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
        DWORD mag = t[D3DTSS_MAGFILTER], min = t[D3DTSS_MINFILTER], mip = t[D3DTSS_MIPFILTER];
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, mag == D3DTEXF_POINT || mag == D3DTEXF_NONE ? GL_NEAREST
                                                                                                        : GL_LINEAR);
        bool minLinear = !(min == D3DTEXF_POINT || min == D3DTEXF_NONE);
        GLint minFilter;
        if (mip == D3DTEXF_POINT) {
            minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        } else if (mip >= D3DTEXF_LINEAR) {
            minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        } else {
            minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
        }
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, minFilter);
        glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, AsFloat(t[D3DTSS_MIPMAPLODBIAS]));
        if (egl->maxAnisotropy > 1.0f) {
            float a = 1.0f;
            if (min == D3DTEXF_ANISOTROPIC || mag == D3DTEXF_ANISOTROPIC) {
                a = static_cast<float>(t[D3DTSS_MAXANISOTROPY]);
                a = a < 1.0f ? 1.0f : (a > egl->maxAnisotropy ? egl->maxAnisotropy : a);
            }
            glSamplerParameterf(sampler, 0x84FE /* GL_TEXTURE_MAX_ANISOTROPY */, a);
        }
    }
}

void Device::UploadUniforms(FixedProgram& p, const ProgramKey& key) {
    const GLint* loc = p.location;
    if (p.transformVersion != transformVersion) {
        p.transformVersion = transformVersion;
        const D3DMATRIX& view = state.transforms[kTransformView];
        D3DMATRIX wv[4], nm[4];
        UINT n = key.blendMatrices ? key.blendMatrices : 1;
        for (UINT i = 0; i < n; ++i) {
            wv[i] = Multiply(state.transforms[kTransformWorld0 + i], view);
            nm[i] = NormalMatrix(wv[i]);
        }
        if (loc[kUWorldView] >= 0) glUniformMatrix4fv(loc[kUWorldView], static_cast<GLsizei>(n), GL_FALSE, &wv[0].m[0][0]);
        if (loc[kUNormalMatrix] >= 0)
            glUniformMatrix4fv(loc[kUNormalMatrix], static_cast<GLsizei>(n), GL_FALSE, &nm[0].m[0][0]);
        if (loc[kUProjection] >= 0)
            glUniformMatrix4fv(loc[kUProjection], 1, GL_FALSE, &state.transforms[kTransformProjection].m[0][0]);
    }
    if (p.textureMatrixVersion != textureMatrixVersion) {
        p.textureMatrixVersion = textureMatrixVersion;
        if (loc[kUTextureMatrix] >= 0)
            glUniformMatrix4fv(loc[kUTextureMatrix], 8, GL_FALSE, &state.transforms[kTransformTexture0].m[0][0]);
    }
    if (p.materialVersion != materialVersion) {
        p.materialVersion = materialVersion;
        const D3DMATERIAL8& m = state.material;
        if (loc[kUMaterialDiffuse] >= 0) glUniform4fv(loc[kUMaterialDiffuse], 1, &m.Diffuse.r);
        if (loc[kUMaterialAmbient] >= 0) glUniform4fv(loc[kUMaterialAmbient], 1, &m.Ambient.r);
        if (loc[kUMaterialSpecular] >= 0) glUniform4fv(loc[kUMaterialSpecular], 1, &m.Specular.r);
        if (loc[kUMaterialEmissive] >= 0) glUniform4fv(loc[kUMaterialEmissive], 1, &m.Emissive.r);
        if (loc[kUMaterialPower] >= 0) glUniform1f(loc[kUMaterialPower], m.Power);
    }
    if (p.lightVersion != lightVersion) {
        p.lightVersion = lightVersion;
        float pos[8][4] = {}, dir[8][4] = {}, dif[8][4] = {}, spe[8][4] = {}, amb[8][4] = {}, att[8][4] = {},
              spot[8][4] = {};
        const D3DMATRIX& v = state.transforms[kTransformView];
        UINT n = 0;
        for (const auto& [index, slot] : state.lights) {
            if (!slot.enabled || n >= kMaxActiveLights) continue;
            const D3DLIGHT8& l = slot.light;
            const D3DVECTOR& P = l.Position;
            for (int c = 0; c < 3; ++c) pos[n][c] = P.x * v.m[0][c] + P.y * v.m[1][c] + P.z * v.m[2][c] + v.m[3][c];
            const D3DVECTOR& D = l.Direction;
            float d[3];
            for (int c = 0; c < 3; ++c) d[c] = D.x * v.m[0][c] + D.y * v.m[1][c] + D.z * v.m[2][c];
            float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int c = 0; c < 3; ++c) dir[n][c] = len > 0.0f ? d[c] / len : 0.0f;
            std::memcpy(dif[n], &l.Diffuse, 16);
            std::memcpy(spe[n], &l.Specular, 16);
            std::memcpy(amb[n], &l.Ambient, 16);
            att[n][0] = l.Attenuation0, att[n][1] = l.Attenuation1, att[n][2] = l.Attenuation2, att[n][3] = l.Range;
            spot[n][0] = std::cos(l.Theta * 0.5f), spot[n][1] = std::cos(l.Phi * 0.5f), spot[n][2] = l.Falloff;
            ++n;
        }
        if (loc[kULightPosition] >= 0) glUniform4fv(loc[kULightPosition], 8, &pos[0][0]);
        if (loc[kULightDirection] >= 0) glUniform4fv(loc[kULightDirection], 8, &dir[0][0]);
        if (loc[kULightDiffuse] >= 0) glUniform4fv(loc[kULightDiffuse], 8, &dif[0][0]);
        if (loc[kULightSpecular] >= 0) glUniform4fv(loc[kULightSpecular], 8, &spe[0][0]);
        if (loc[kULightAmbient] >= 0) glUniform4fv(loc[kULightAmbient], 8, &amb[0][0]);
        if (loc[kULightAttenuation] >= 0) glUniform4fv(loc[kULightAttenuation], 8, &att[0][0]);
        if (loc[kULightSpot] >= 0) glUniform4fv(loc[kULightSpot], 8, &spot[0][0]);
        float ambient[4];
        ColourToFloats(state.renderStates[D3DRS_AMBIENT], ambient);
        if (loc[kUGlobalAmbient] >= 0) glUniform4fv(loc[kUGlobalAmbient], 1, ambient);
    }
    if (p.miscVersion != miscVersion) {
        p.miscVersion = miscVersion;
        const DWORD* rs = state.renderStates;
        const D3DVIEWPORT8& vp = state.viewport;
        float w = static_cast<float>(vp.Width), h = static_cast<float>(vp.Height);
        if (loc[kUViewport] >= 0) glUniform4f(loc[kUViewport], static_cast<float>(vp.X), static_cast<float>(vp.Y), w, h);
        if (loc[kUPositionFix] >= 0) glUniform4f(loc[kUPositionFix], 1.0f / w, 1.0f / h, 0.0f, 0.0f);
        float start = AsFloat(rs[D3DRS_FOGSTART]), end = AsFloat(rs[D3DRS_FOGEND]);
        float range = end - start;
        if (loc[kUFogParams] >= 0)
            glUniform4f(loc[kUFogParams], start, end, AsFloat(rs[D3DRS_FOGDENSITY]), range != 0.0f ? 1.0f / range : 0.0f);
        float maxSize = AsFloat(rs[D3DRS_POINTSIZE_MAX]);
        maxSize = maxSize > caps.MaxPointSize ? caps.MaxPointSize : maxSize;
        if (loc[kUPointParams] >= 0)
            glUniform4f(loc[kUPointParams], AsFloat(rs[D3DRS_POINTSIZE]), AsFloat(rs[D3DRS_POINTSIZE_MIN]), maxSize, h);
        if (loc[kUPointScale] >= 0)
            glUniform4f(loc[kUPointScale], AsFloat(rs[D3DRS_POINTSCALE_A]), AsFloat(rs[D3DRS_POINTSCALE_B]),
                        AsFloat(rs[D3DRS_POINTSCALE_C]), 0.0f);
        float colour[4];
        ColourToFloats(rs[D3DRS_TEXTUREFACTOR], colour);
        if (loc[kUTextureFactor] >= 0) glUniform4fv(loc[kUTextureFactor], 1, colour);
        ColourToFloats(rs[D3DRS_FOGCOLOR], colour);
        if (loc[kUFogColour] >= 0) glUniform4fv(loc[kUFogColour], 1, colour);
        if (loc[kUAlphaRef] >= 0) glUniform1f(loc[kUAlphaRef], static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
        if (key.clipPlanes && loc[kUClipPlane] >= 0 && key.vertexShaderId) {
            // With a vertex shader the planes are already in clip space.
            glUniform4fv(loc[kUClipPlane], kMaxClipPlanes, &state.clipPlanes[0][0]);
        } else if (key.clipPlanes && loc[kUClipPlane] >= 0) {
            // Planes are given in world space; the program tests them in clip space.
            D3DMATRIX vpm = Multiply(state.transforms[kTransformView], state.transforms[kTransformProjection]);
            D3DMATRIX inv;
            float planes[kMaxClipPlanes][4] = {};
            if (Inverse(vpm, &inv)) {
                for (UINT i = 0; i < kMaxClipPlanes; ++i) {
                    const float* pl = state.clipPlanes[i];
                    for (int r = 0; r < 4; ++r)
                        planes[i][r] = inv.m[r][0] * pl[0] + inv.m[r][1] * pl[1] + inv.m[r][2] * pl[2] + inv.m[r][3] * pl[3];
                }
            }
            glUniform4fv(loc[kUClipPlane], kMaxClipPlanes, &planes[0][0]);
        }
    }
}

void Device::UploadShaderConstants(FixedProgram& p) {
    const GLint* loc = p.location;
    if (p.vsConstVersion != vsConstVersion) {
        p.vsConstVersion = vsConstVersion;
        if (loc[kUVSConst] >= 0) glUniform4fv(loc[kUVSConst], kVsConstCount, &state.vsConst[0][0]);
    }
    if (p.psConstVersion != psConstVersion) {
        p.psConstVersion = psConstVersion;
        if (loc[kUPSConst] >= 0) glUniform4fv(loc[kUPSConst], kPsConstCount, &state.psConst[0][0]);
    }
    if (p.bumpVersion != bumpVersion) {
        p.bumpVersion = bumpVersion;
        if (loc[kUBumpEnvMatrix] >= 0 || loc[kUBumpEnvLuminance] >= 0) {
            float matrix[kMaxStages][4], luminance[kMaxStages][2];
            for (UINT s = 0; s < kMaxStages; ++s) {
                const DWORD* t = state.stageStates[s];
                matrix[s][0] = AsFloat(t[D3DTSS_BUMPENVMAT00]);
                matrix[s][1] = AsFloat(t[D3DTSS_BUMPENVMAT01]);
                matrix[s][2] = AsFloat(t[D3DTSS_BUMPENVMAT10]);
                matrix[s][3] = AsFloat(t[D3DTSS_BUMPENVMAT11]);
                luminance[s][0] = AsFloat(t[D3DTSS_BUMPENVLSCALE]);
                luminance[s][1] = AsFloat(t[D3DTSS_BUMPENVLOFFSET]);
            }
            if (loc[kUBumpEnvMatrix] >= 0) glUniform4fv(loc[kUBumpEnvMatrix], kMaxStages, &matrix[0][0]);
            if (loc[kUBumpEnvLuminance] >= 0) glUniform2fv(loc[kUBumpEnvLuminance], kMaxStages, &luminance[0][0]);
        }
    }
}

void Device::BufferDeleted(GLuint name) {
    for (BoundAttrib& b : boundAttribs) {
        if (b.buffer == name) b.buffer = 0, b.type = 0xFF;
    }
    if (boundElementBuffer == name) boundElementBuffer = 0;
}

void Device::BindVertexLayout(const VertexLayout& layout, const GLuint* buffers, const UINT* strides,
                              const UINT* offsets) {
    bool used[16] = {};
    for (UINT i = 0; i < layout.count; ++i) {
        const DeclElement& e = layout.elements[i];
        if (e.reg >= 16) continue;
        used[e.reg] = true;
        BoundAttrib& b = boundAttribs[e.reg];
        GLuint buffer = buffers[e.stream];
        UINT stride = strides[e.stream], offset = offsets[e.stream] + e.offset;
        if (!b.enabled) {
            glEnableVertexAttribArray(e.reg);
            b.enabled = true;
        }
        if (b.buffer != buffer || b.stride != stride || b.offset != offset || b.type != e.type) {
            const ElementFormat& f = kElementFormats[e.type];
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            glVertexAttribPointer(e.reg, f.size, f.type, f.normalised, static_cast<GLsizei>(stride),
                                  reinterpret_cast<const void*>(static_cast<uintptr_t>(offset)));
            b.buffer = buffer, b.stride = stride, b.offset = offset, b.type = e.type;
        }
    }
    for (GLuint r = 0; r < 16; ++r) {
        if (!used[r] && boundAttribs[r].enabled) {
            glDisableVertexAttribArray(r);
            glVertexAttrib4f(r, 0.0f, 0.0f, 0.0f, 1.0f);
            boundAttribs[r].enabled = false;
        }
    }
}

// [SECTION] Draw

HRESULT Device::Draw(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount, UINT startVertex, UINT vertexRange,
                     bool indexed, UINT startIndex, UINT minIndex, const void* upVertices, UINT upStride,
                     const void* upIndices, D3DFORMAT upIndexFormat) {
    if (primitiveType < D3DPT_POINTLIST || primitiveType > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDCALL;
    if (primitiveCount > caps.MaxPrimitiveCount) return D3DERR_INVALIDCALL;
    if (primitiveCount == 0) return D3D_OK;
    const VertexLayout* layout = CurrentLayout();
    if (!layout) return D3DERR_INVALIDCALL;
    UINT count = VertexCount(primitiveType, primitiveCount);  // vertices, or indices when indexed
    const bool up = upVertices != nullptr;

    // Bounds: every element of every vertex the draw can reach must lie inside its buffer.
    GLuint buffers[kMaxStreams] = {};
    UINT strides[kMaxStreams] = {}, offsets[kMaxStreams] = {};
    UINT maxVertex;  // largest vertex index read, before the base vertex
    UINT indexSize = 0;
    IndexBuffer* ib = nullptr;
    if (indexed) {
        if (up) {
            indexSize = upIndexFormat == D3DFMT_INDEX32 ? 4 : 2;
            if (upIndexFormat != D3DFMT_INDEX16 && upIndexFormat != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
            UINT best = 0;
            for (UINT i = 0; i < count; ++i) {
                UINT v;
                if (indexSize == 4) {
                    DWORD d;
                    std::memcpy(&d, static_cast<const BYTE*>(upIndices) + i * 4, 4);
                    v = d;
                } else {
                    WORD w;
                    std::memcpy(&w, static_cast<const BYTE*>(upIndices) + i * 2, 2);
                    v = w;
                }
                best = v > best ? v : best;
            }
            maxVertex = best;
            if (maxVertex >= static_cast<uint64_t>(minIndex) + vertexRange) return D3DERR_INVALIDCALL;
        } else {
            ib = state.indices;
            if (!ib) return D3DERR_INVALIDCALL;
            indexSize = ib->IndexSize();
            if ((static_cast<uint64_t>(startIndex) + count) * indexSize > ib->Size()) return D3DERR_INVALIDCALL;
            maxVertex = ib->MaxIndex(startIndex, count);
            if (static_cast<uint64_t>(maxVertex) + state.baseVertexIndex > 0xFFFFFFFFull) return D3DERR_INVALIDCALL;
            maxVertex += state.baseVertexIndex;
        }
    } else {
        maxVertex = up ? count - 1 : startVertex + count - 1;
        if (!up && static_cast<uint64_t>(startVertex) + count - 1 > 0xFFFFFFFFull) return D3DERR_INVALIDCALL;
    }
    for (UINT i = 0; i < layout->count; ++i) {
        const DeclElement& e = layout->elements[i];
        UINT end = e.offset + kElementFormats[e.type].bytes;
        uint64_t size;
        UINT stride;
        if (up) {
            if (e.stream != 0) return D3DERR_INVALIDCALL;
            stride = upStride;
            size = static_cast<uint64_t>(upStride) * (maxVertex + 1);
        } else {
            const StreamSlot& s = state.streams[e.stream];
            if (!s.buffer || s.buffer->Pool() == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
            stride = s.stride;
            size = s.buffer->Size();
        }
        if (stride == 0 || end > stride) return D3DERR_INVALIDCALL;
        if (static_cast<uint64_t>(maxVertex) * stride + end > size) return D3DERR_INVALIDCALL;
    }
    if (lostState) return D3D_OK;

    MakeCurrent();
    ProgramKey key;
    BuildProgramKey(*layout, &key);
    const DWORD fill = state.renderStates[D3DRS_FILLMODE];
    if (primitiveType == D3DPT_POINTLIST || fill == D3DFILL_POINT)
        key.pointSprite = state.renderStates[D3DRS_POINTSPRITEENABLE] ? 1 : 0;
    // Wireframe and point fill: the draw's edges or vertices, each once, as lines or points. With
    // culling the edges come with their triangles' third vertices and the geometry stage culls;
    // culled points are the draw's own triangles, each kept one giving its three vertices.
    bool fillList = false;
    FillList fillKind = FillList::kEdges;
    if (primitiveType >= D3DPT_TRIANGLELIST && (fill == D3DFILL_WIREFRAME || fill == D3DFILL_POINT)) {
        const DWORD cullMode = state.renderStates[D3DRS_CULLMODE];
        const bool culled = cullMode == D3DCULL_CW || cullMode == D3DCULL_CCW;
        key.fillKeepBack = culled && cullMode == D3DCULL_CW ? 1 : 0;
        if (fill == D3DFILL_WIREFRAME) {
            fillList = true;
            fillKind = culled ? FillList::kEdgesWithFaces : FillList::kEdges;
            key.fillGeometry = culled ? 1 : 0;
        } else {
            fillList = !culled;
            fillKind = FillList::kPoints;
            key.fillGeometry = culled ? 2 : 0;
        }
    }
    if (keyDirty || !currentProgram || !(key == lastKey)) {
        FixedProgram* program = ProgramFor(key);
        if (!program) return D3DERR_DRIVERINTERNALERROR;
        if (program != currentProgram) glUseProgram(program->program);
        currentProgram = program;
        lastKey = key;
        keyDirty = false;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    ApplyGlState();
    if (key.clipPlanes != clipPlanesEnabled) {
        // Enable exactly the clip distances the program writes.
        for (UINT i = 0; i < kMaxClipPlanes; ++i)
            (key.clipPlanes & (1u << i)) ? glEnable(GL_CLIP_DISTANCE0 + i) : glDisable(GL_CLIP_DISTANCE0 + i);
        clipPlanesEnabled = key.clipPlanes;
    }
    UINT stageMask = 0;
    if (boundPixelShader) {
        stageMask = boundPixelShader->stage.samplerMask;
    } else {
        for (UINT s = 0; s < key.stageCount; ++s) stageMask |= key.stages[s].textured ? 1u << s : 0;
    }
    ApplySamplers(stageMask);
    UploadUniforms(*currentProgram, key);
    UploadShaderConstants(*currentProgram);

    if (up) {
        size_t bytes = static_cast<size_t>(upStride) * (maxVertex + 1);
        glBindBuffer(GL_ARRAY_BUFFER, upVertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), upVertices, GL_STREAM_DRAW);
        buffers[0] = upVertexBuffer;
        strides[0] = upStride;
        // The storage was replaced: attributes must point at it again.
        for (BoundAttrib& b : boundAttribs) {
            if (b.buffer == upVertexBuffer) b.buffer = 0;
        }
    } else {
        for (UINT i = 0; i < layout->count; ++i) {
            BYTE s = layout->elements[i].stream;
            if (!buffers[s]) {
                buffers[s] = state.streams[s].buffer->Upload();
                strides[s] = state.streams[s].stride;
            }
        }
    }
    BindVertexLayout(*layout, buffers, strides, offsets);
    GLenum mode = PrimitiveMode(primitiveType);
    if (fillList) {
        TriangleSource triangles{primitiveType, primitiveCount, nullptr, indexSize, 0, nullptr, 0, 0};
        FillListKey listKey;
        listKey.type = static_cast<BYTE>(primitiveType);
        listKey.primitives = primitiveCount;
        listKey.kind = fillKind;
        Buffer* source = nullptr;
        GLint base = 0;
        if (indexed) {
            if (up) {
                triangles.indices = static_cast<const BYTE*>(upIndices);
            } else {
                source = ib;
                triangles.indices = ib->Data() + static_cast<size_t>(startIndex) * indexSize;
                listKey.start = startIndex;
                base = static_cast<GLint>(state.baseVertexIndex);
            }
        } else {
            // Vertices are compared by the bytes the draw reads; only when they all come from stream 0.
            UINT vertexBytes = 0;
            bool oneStream = true;
            for (UINT i = 0; i < layout->count; ++i) {
                const DeclElement& e = layout->elements[i];
                oneStream = oneStream && e.stream == 0;
                UINT end = e.offset + kElementFormats[e.type].bytes;
                vertexBytes = end > vertexBytes ? end : vertexBytes;
            }
            triangles.stride = up ? upStride : state.streams[0].stride;
            triangles.vertexBytes = oneStream ? vertexBytes : 0;
            if (up) {
                triangles.vertices = static_cast<const BYTE*>(upVertices);
            } else {
                triangles.firstVertex = startVertex;
                listKey.start = startVertex;
                if (state.streams[0].buffer) {
                    source = state.streams[0].buffer;
                    triangles.vertices = source->Data() + static_cast<size_t>(startVertex) * triangles.stride;
                } else {
                    triangles.vertexBytes = 0;
                }
                listKey.stride = triangles.stride;
                listKey.vertexBytes = triangles.vertexBytes;
            }
        }
        if (source) listKey.version = source->Version();
        GLsizei listCount = BindFillList(source, listKey, triangles);
        if (listCount > 0) glDrawElementsBaseVertex(FillListMode(fillKind), listCount, GL_UNSIGNED_INT, nullptr, base);
    } else if (!indexed) {
        glDrawArrays(mode, up ? 0 : static_cast<GLint>(startVertex), static_cast<GLsizei>(count));
    } else {
        GLenum type = indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
        if (up) {
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIndexBuffer);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(count) * indexSize, upIndices,
                         GL_STREAM_DRAW);
            boundElementBuffer = upIndexBuffer;
            glDrawElements(mode, static_cast<GLsizei>(count), type, nullptr);
        } else {
            GLuint name = ib->Upload();
            if (boundElementBuffer != name) {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, name);
                boundElementBuffer = name;
            }
            glDrawElementsBaseVertex(mode, static_cast<GLsizei>(count), type,
                                     reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * indexSize),
                                     static_cast<GLint>(state.baseVertexIndex));
        }
    }
    (void)minIndex;
#ifdef SIMMERGLASS_GL_DEBUG
    assert(d3dgl::CheckError("draw", __FILE__, __LINE__));
#endif
    return D3D_OK;
}

GLsizei Device::BindFillList(Buffer* source, const FillListKey& key, const TriangleSource& triangles) {
    FillListCache::Entry scratch;
    FillListCache::Entry* entry = &scratch;
    if (source) {
        FillListCache& cache = source->FillLists();
        for (FillListCache::Entry& e : cache.entries) {
            if (e.buffer && e.key == key) {
                if (boundElementBuffer != e.buffer) {
                    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, e.buffer);
                    boundElementBuffer = e.buffer;
                }
                return e.indices;
            }
        }
        entry = &cache.entries[cache.next];
        cache.next = (cache.next + 1) % FillListCache::kEntries;
        if (!entry->buffer) glGenBuffers(1, &entry->buffer);
    } else {
        // Lists of user-pointer draws are made each time in the user-pointer index buffer.
        entry->buffer = upIndexBuffer;
    }
    BuildFillList(triangles, key.kind, &fillListScratch);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, entry->buffer);
    boundElementBuffer = entry->buffer;
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(fillListScratch.size() * sizeof(uint32_t)),
                 fillListScratch.data(), source ? GL_STATIC_DRAW : GL_STREAM_DRAW);
    entry->key = key;
    entry->indices = static_cast<GLsizei>(fillListScratch.size());
    return entry->indices;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) {
    return Draw(primitiveType, primitiveCount, startVertex, 0, false, 0, 0, nullptr, 0, nullptr, D3DFMT_UNKNOWN);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE primitiveType, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primitiveCount) {
    return Draw(primitiveType, primitiveCount, 0, numVertices, true, startIndex, minIndex, nullptr, 0, nullptr,
                D3DFMT_UNKNOWN);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount,
                                const void* vertexStreamZeroData, UINT vertexStreamZeroStride) {
    if (!vertexStreamZeroData || vertexStreamZeroStride == 0) return D3DERR_INVALIDCALL;
    HRESULT hr = Draw(primitiveType, primitiveCount, 0, 0, false, 0, 0, vertexStreamZeroData, vertexStreamZeroStride,
                      nullptr, D3DFMT_UNKNOWN);
    // As on the platform, a user-pointer draw leaves stream 0 unset.
    if (SUCCEEDED(hr)) SetStreamSource(0, nullptr, 0);
    return hr;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex, UINT numVertexIndices,
                                       UINT primitiveCount, const void* indexData, D3DFORMAT indexDataFormat,
                                       const void* vertexStreamZeroData, UINT vertexStreamZeroStride) {
    if (!vertexStreamZeroData || !indexData || vertexStreamZeroStride == 0 || numVertexIndices == 0)
        return D3DERR_INVALIDCALL;
    HRESULT hr = Draw(primitiveType, primitiveCount, 0, numVertexIndices, true, 0, minVertexIndex,
                      vertexStreamZeroData, vertexStreamZeroStride, indexData, indexDataFormat);
    if (SUCCEEDED(hr)) {
        SetStreamSource(0, nullptr, 0);
        SetIndices(nullptr, 0);
    }
    return hr;
}

}  // namespace d3dimpl
