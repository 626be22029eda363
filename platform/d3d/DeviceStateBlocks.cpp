// IDirect3DDevice8 state blocks: Begin/End recording, Create, Capture, Apply and Delete of recorded subsets
// of the device state.
#include <cstring>

#include "platform/d3d/DeviceImpl.h"

namespace d3dimpl {

HRESULT Device::BeginStateBlock() {
    if (recording) return D3DERR_INVALIDCALL;
    recording = std::make_unique<StateBlock>();
    // Unrecorded parts are never read, but keep them defined.
    StateSet& v = recording->values;
    std::memset(v.renderStates, 0, sizeof v.renderStates);
    std::memset(v.stageStates, 0, sizeof v.stageStates);
    std::memset(v.clipPlanes, 0, sizeof v.clipPlanes);
    std::memset(v.vsConst, 0, sizeof v.vsConst);
    std::memset(v.psConst, 0, sizeof v.psConst);
    std::memset(&v.material, 0, sizeof v.material);
    v.viewport = state.viewport;
    for (D3DMATRIX& m : v.transforms) Identity(&m);
    return D3D_OK;
}

HRESULT Device::EndStateBlock(DWORD* token) {
    if (!recording || !token) return D3DERR_INVALIDCALL;
    DWORD t = nextStateBlock++;
    stateBlocks[t] = std::move(recording);
    *token = t;
    return D3D_OK;
}

HRESULT Device::ApplyStateBlock(DWORD token) {
    auto it = stateBlocks.find(token);
    if (it == stateBlocks.end() || recording) return D3DERR_INVALIDCALL;
    ApplyFrom(*it->second);
    return D3D_OK;
}

HRESULT Device::CaptureStateBlock(DWORD token) {
    auto it = stateBlocks.find(token);
    if (it == stateBlocks.end() || recording) return D3DERR_INVALIDCALL;
    CaptureInto(*it->second);
    return D3D_OK;
}

HRESULT Device::DeleteStateBlock(DWORD token) {
    auto it = stateBlocks.find(token);
    if (it == stateBlocks.end() || recording) return D3DERR_INVALIDCALL;
    ReleaseState(it->second->values);
    stateBlocks.erase(it);
    return D3D_OK;
}

void Device::CaptureInto(StateBlock& block) {
    StateMask& m = block.mask;
    StateSet& v = block.values;
    for (DWORD i = 0; i < D3DRS_COUNT; ++i) {
        if (m.renderStates.test(i)) v.renderStates[i] = state.renderStates[i];
    }
    for (UINT s = 0; s < kMaxStages; ++s) {
        for (DWORD i = 0; i < D3DTSS_COUNT; ++i) {
            if (m.stageStates[s].test(i)) v.stageStates[s][i] = state.stageStates[s][i];
        }
        if (m.textures.test(s)) SetTextureRef(v.textures[s], state.textures[s]);
    }
    for (UINT i = 0; i < kTransformCount; ++i) {
        if (m.transforms.test(i)) v.transforms[i] = state.transforms[i];
    }
    if (m.material) v.material = state.material;
    if (m.viewport) v.viewport = state.viewport;
    for (auto& [index, recorded] : m.lights) {
        auto it = state.lights.find(index);
        if (it != state.lights.end()) v.lights[index].light = it->second.light;
    }
    for (auto& [index, recorded] : m.lightEnables) {
        auto it = state.lights.find(index);
        v.lights[index].enabled = it != state.lights.end() ? it->second.enabled : FALSE;
        if (it != state.lights.end() && !m.lights.count(index)) v.lights[index].light = it->second.light;
    }
    for (UINT i = 0; i < kMaxClipPlanes; ++i) {
        if (m.clipPlanes.test(i)) std::memcpy(v.clipPlanes[i], state.clipPlanes[i], sizeof(float) * 4);
    }
    for (UINT i = 0; i < kMaxStreams; ++i) {
        if (m.streams.test(i)) {
            SetBufferRef(v.streams[i].buffer, state.streams[i].buffer);
            v.streams[i].stride = state.streams[i].stride;
        }
    }
    if (m.indices) {
        SetIndexRef(v.indices, state.indices);
        v.baseVertexIndex = state.baseVertexIndex;
    }
    if (m.vertexShader) v.vertexShader = state.vertexShader;
    if (m.pixelShader) v.pixelShader = state.pixelShader;
    for (UINT i = 0; i < kVsConstCount; ++i) {
        if (m.vsConst.test(i)) std::memcpy(v.vsConst[i], state.vsConst[i], sizeof(float) * 4);
    }
    for (UINT i = 0; i < kPsConstCount; ++i) {
        if (m.psConst.test(i)) std::memcpy(v.psConst[i], state.psConst[i], sizeof(float) * 4);
    }
}

void Device::ApplyFrom(const StateBlock& block) {
    const StateMask& m = block.mask;
    const StateSet& v = block.values;
    for (DWORD i = 0; i < D3DRS_COUNT; ++i) {
        if (m.renderStates.test(i)) SetRenderState(static_cast<D3DRENDERSTATETYPE>(i), v.renderStates[i]);
    }
    for (UINT s = 0; s < kMaxStages; ++s) {
        for (DWORD i = 0; i < D3DTSS_COUNT; ++i) {
            if (m.stageStates[s].test(i))
                SetTextureStageState(s, static_cast<D3DTEXTURESTAGESTATETYPE>(i), v.stageStates[s][i]);
        }
        if (m.textures.test(s)) SetTexture(s, v.textures[s]);
    }
    for (UINT i = 0; i < kTransformCount; ++i) {
        if (!m.transforms.test(i)) continue;
        D3DTRANSFORMSTATETYPE t = i == kTransformView         ? D3DTS_VIEW
                                  : i == kTransformProjection ? D3DTS_PROJECTION
                                  : i < kTransformWorld0
                                      ? static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + (i - kTransformTexture0))
                                      : D3DTS_WORLDMATRIX(i - kTransformWorld0);
        SetTransform(t, &v.transforms[i]);
    }
    if (m.material) SetMaterial(&v.material);
    if (m.viewport) SetViewport(&v.viewport);
    for (auto& [index, recorded] : m.lights) {
        auto it = v.lights.find(index);
        if (it != v.lights.end()) SetLight(index, &it->second.light);
    }
    for (auto& [index, recorded] : m.lightEnables) {
        auto it = v.lights.find(index);
        if (it != v.lights.end()) LightEnable(index, it->second.enabled);
    }
    for (UINT i = 0; i < kMaxClipPlanes; ++i) {
        if (m.clipPlanes.test(i)) SetClipPlane(i, v.clipPlanes[i]);
    }
    for (UINT i = 0; i < kMaxStreams; ++i) {
        if (m.streams.test(i)) SetStreamSource(i, v.streams[i].buffer, v.streams[i].stride);
    }
    if (m.indices) SetIndices(v.indices, v.baseVertexIndex);
    if (m.vertexShader) SetVertexShader(v.vertexShader);
    if (m.pixelShader) SetPixelShader(v.pixelShader);
    for (UINT i = 0; i < kVsConstCount; ++i) {
        if (m.vsConst.test(i)) SetVertexShaderConstant(i, v.vsConst[i], 1);
    }
    for (UINT i = 0; i < kPsConstCount; ++i) {
        if (m.psConst.test(i)) SetPixelShaderConstant(i, v.psConst[i], 1);
    }
}


}  // namespace d3dimpl
