// The program key: the fixed-function program a draw needs, read from the current state and layout;
// ValidateDevice and the cache of built programs.
#include <cstdio>
#include <cstring>

#include "platform/d3d/DeviceImpl.h"

namespace d3dimpl {

namespace {

bool ValidArgument(DWORD arg) {
    return (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
           (arg & D3DTA_SELECTMASK) <= D3DTA_TEMP;
}

bool SupportedOp(DWORD op, const D3DCAPS8& caps) {
    return op >= D3DTOP_DISABLE && op <= D3DTOP_LERP && (caps.TextureOpCaps & (1u << (op - 1)));
}

}  // namespace

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

}  // namespace d3dimpl
