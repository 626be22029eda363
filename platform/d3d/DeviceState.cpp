// IDirect3DDevice8 settable state: render and texture-stage states, transforms, viewport, material, lights,
// clip planes and bindings. While a state block is recorded, setters write into it instead of the device.
#include <cstring>

#include "platform/d3d/DeviceImpl.h"

namespace d3dimpl {

int Device::TransformSlot(D3DTRANSFORMSTATETYPE s) const {
    if (s == D3DTS_VIEW) return kTransformView;
    if (s == D3DTS_PROJECTION) return kTransformProjection;
    if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) return static_cast<int>(kTransformTexture0 + (s - D3DTS_TEXTURE0));
    if (s >= 256 && s < 256 + kMaxWorld) return static_cast<int>(kTransformWorld0 + (s - 256));
    return -1;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* matrix) {
    int slot = TransformSlot(s);
    if (slot < 0 || !matrix) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.transforms.set(static_cast<size_t>(slot));
        recording->values.transforms[slot] = *matrix;
        return D3D_OK;
    }
    state.transforms[slot] = *matrix;
    if (slot >= static_cast<int>(kTransformTexture0) && slot < static_cast<int>(kTransformWorld0)) {
        ++textureMatrixVersion;
    } else {
        ++transformVersion;
        if (slot == kTransformView) ++lightVersion;
        if (slot == kTransformProjection) keyDirty = true;  // table fog measures w or z by projection
        ++miscVersion;                                      // clip planes follow the transforms
    }
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE s, D3DMATRIX* matrix) {
    int slot = TransformSlot(s);
    if (slot < 0 || !matrix) return D3DERR_INVALIDCALL;
    *matrix = state.transforms[slot];
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* matrix) {
    int slot = TransformSlot(s);
    if (slot < 0 || !matrix) return D3DERR_INVALIDCALL;
    // The new matrix is matrix * current, as the platform multiplies.
    const D3DMATRIX& c = state.transforms[slot];
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += matrix->m[i][k] * c.m[k][j];
            r.m[i][j] = sum;
        }
    }
    return SetTransform(s, &r);
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    const D3DVIEWPORT8& v = *viewport;
    if (v.Width == 0 || v.Height == 0 || v.X >= pp.BackBufferWidth || v.Y >= pp.BackBufferHeight ||
        v.Width > pp.BackBufferWidth - v.X || v.Height > pp.BackBufferHeight - v.Y || !(v.MinZ >= 0.0f) ||
        !(v.MaxZ <= 1.0f) || !(v.MinZ <= v.MaxZ))
        return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.viewport = true;
        recording->values.viewport = v;
        return D3D_OK;
    }
    state.viewport = v;
    glStateDirty = true;
    ++miscVersion;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = state.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL8* material) {
    if (!material) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.material = true;
        recording->values.material = *material;
        return D3D_OK;
    }
    state.material = *material;
    ++materialVersion;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL8* material) {
    if (!material) return D3DERR_INVALIDCALL;
    *material = state.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT8* light) {
    if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
    if (light->Type != D3DLIGHT_DIRECTIONAL && !(light->Range >= 0.0f)) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.lights[index] = true;
        auto it = recording->values.lights.find(index);
        if (it == recording->values.lights.end()) {
            recording->values.lights[index].light = *light;
        } else {
            it->second.light = *light;
        }
        return D3D_OK;
    }
    auto it = state.lights.find(index);
    if (it == state.lights.end()) {
        state.lights[index].light = *light;
    } else {
        if (it->second.enabled && it->second.light.Type != light->Type) keyDirty = true;
        it->second.light = *light;
    }
    ++lightVersion;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT8* light) {
    if (!light) return D3DERR_INVALIDCALL;
    auto it = state.lights.find(index);
    if (it == state.lights.end()) return D3DERR_INVALIDCALL;
    *light = it->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (recording) {
        recording->mask.lightEnables[index] = true;
        auto it = recording->values.lights.find(index);
        if (it == recording->values.lights.end()) {
            LightSlot slot;
            slot.light = DefaultLight();
            slot.enabled = enable ? TRUE : FALSE;
            recording->values.lights[index] = slot;
        } else {
            it->second.enabled = enable ? TRUE : FALSE;
        }
        return D3D_OK;
    }
    auto it = state.lights.find(index);
    if (it == state.lights.end()) {
        // Enabling a light that was never set gives it the platform's default description.
        LightSlot slot;
        slot.light = DefaultLight();
        it = state.lights.emplace(index, slot).first;
    }
    BOOL e = enable ? TRUE : FALSE;
    if (it->second.enabled == e) return D3D_OK;
    if (e) {
        UINT active = 0;
        for (const auto& [i, l] : state.lights) active += l.enabled ? 1 : 0;
        if (active >= kMaxActiveLights) return D3DERR_INVALIDCALL;
    }
    it->second.enabled = e;
    keyDirty = true;
    ++lightVersion;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    if (!enable) return D3DERR_INVALIDCALL;
    auto it = state.lights.find(index);
    if (it == state.lights.end()) return D3DERR_INVALIDCALL;
    *enable = it->second.enabled;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, const float* plane) {
    if (index >= kMaxClipPlanes || !plane) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.clipPlanes.set(index);
        std::memcpy(recording->values.clipPlanes[index], plane, sizeof(float) * 4);
        return D3D_OK;
    }
    std::memcpy(state.clipPlanes[index], plane, sizeof(float) * 4);
    ++miscVersion;
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD index, float* plane) {
    if (index >= kMaxClipPlanes || !plane) return D3DERR_INVALIDCALL;
    std::memcpy(plane, state.clipPlanes[index], sizeof(float) * 4);
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE s, DWORD value) {
    if (!ValidRenderState(s)) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.renderStates.set(s);
        recording->values.renderStates[s] = value;
        return D3D_OK;
    }
    if (state.renderStates[s] == value) return D3D_OK;
    state.renderStates[s] = value;
    keyDirty = glStateDirty = true;
    ++miscVersion;
    if (s == D3DRS_AMBIENT) ++lightVersion;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE s, DWORD* value) {
    if (!ValidRenderState(s) || !value) return D3DERR_INVALIDCALL;
    *value = state.renderStates[s];
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) {
    if (stage >= kMaxStages || !texture) return D3DERR_INVALIDCALL;
    *texture = state.textures[stage];
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    if (stage >= kMaxStages) return D3DERR_INVALIDCALL;
    Texture* t = nullptr;
    if (texture) {
        if (texture->GetType() != D3DRTYPE_TEXTURE) return D3DERR_INVALIDCALL;
        t = static_cast<Texture*>(static_cast<IDirect3DTexture8*>(texture));
        // Only textures the device can sample: not another device's, not system memory.
        if (t->GetOwner() != this || t->Pool() == D3DPOOL_SYSTEMMEM || t->Pool() == D3DPOOL_SCRATCH)
            return D3DERR_INVALIDCALL;
    }
    if (recording) {
        recording->mask.textures.set(stage);
        SetTextureRef(recording->values.textures[stage], t);
        return D3D_OK;
    }
    if ((state.textures[stage] == nullptr) != (t == nullptr)) keyDirty = true;
    SetTextureRef(state.textures[stage], t);
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD* value) {
    if (stage >= kMaxStages || !ValidStageState(t) || !value) return D3DERR_INVALIDCALL;
    *value = state.stageStates[stage][t];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD value) {
    if (stage >= kMaxStages || !ValidStageState(t)) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.stageStates[stage].set(t);
        recording->values.stageStates[stage][t] = value;
        return D3D_OK;
    }
    if (state.stageStates[stage][t] == value) return D3D_OK;
    state.stageStates[stage][t] = value;
    switch (t) {
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
    case D3DTSS_ADDRESSW:
    case D3DTSS_BORDERCOLOR:
    case D3DTSS_MAGFILTER:
    case D3DTSS_MINFILTER:
    case D3DTSS_MIPFILTER:
    case D3DTSS_MIPMAPLODBIAS:
    case D3DTSS_MAXMIPLEVEL:
    case D3DTSS_MAXANISOTROPY:
        samplersDirty[stage] = true;
        break;
    case D3DTSS_BUMPENVMAT00:
    case D3DTSS_BUMPENVMAT01:
    case D3DTSS_BUMPENVMAT10:
    case D3DTSS_BUMPENVMAT11:
    case D3DTSS_BUMPENVLSCALE:
    case D3DTSS_BUMPENVLOFFSET:
        ++bumpVersion;
        break;
    default:
        keyDirty = true;
        break;
    }
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData, UINT stride) {
    if (streamNumber >= kMaxStreams || stride > caps.MaxStreamStride) return D3DERR_INVALIDCALL;
    VertexBuffer* vb = static_cast<VertexBuffer*>(streamData);
    if (vb && vb->GetOwner() != this) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.streams.set(streamNumber);
        SetBufferRef(recording->values.streams[streamNumber].buffer, vb);
        recording->values.streams[streamNumber].stride = stride;
        return D3D_OK;
    }
    SetBufferRef(state.streams[streamNumber].buffer, vb);
    state.streams[streamNumber].stride = stride;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8** streamData, UINT* stride) {
    if (streamNumber >= kMaxStreams || !streamData || !stride) return D3DERR_INVALIDCALL;
    *streamData = state.streams[streamNumber].buffer;
    if (*streamData) (*streamData)->AddRef();
    *stride = state.streams[streamNumber].stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer8* indexData, UINT baseVertexIndex) {
    IndexBuffer* ib = static_cast<IndexBuffer*>(indexData);
    if (ib && ib->GetOwner() != this) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.indices = true;
        SetIndexRef(recording->values.indices, ib);
        recording->values.baseVertexIndex = baseVertexIndex;
        return D3D_OK;
    }
    SetIndexRef(state.indices, ib);
    state.baseVertexIndex = baseVertexIndex;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer8** indexData, UINT* baseVertexIndex) {
    if (!indexData || !baseVertexIndex) return D3DERR_INVALIDCALL;
    *indexData = state.indices;
    if (*indexData) (*indexData)->AddRef();
    *baseVertexIndex = state.baseVertexIndex;
    return D3D_OK;
}

}  // namespace d3dimpl
