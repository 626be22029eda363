// Applying an effect's assignments to the device, checking them against the device's capabilities,
// and the Begin/Pass/End cycle with lazily recorded state blocks.
#include "effect/runtime/EffectObject.h"
#include "effect/runtime/EffectTypes.h"

namespace effectimpl {

namespace {

// Light members 1..5 and 6..12, and material members 0..4, by their place in the state table.
constexpr D3DCOLORVALUE D3DLIGHT8::* kLightColors[] = {&D3DLIGHT8::Diffuse, &D3DLIGHT8::Specular, &D3DLIGHT8::Ambient};
constexpr D3DVECTOR D3DLIGHT8::* kLightVectors[] = {&D3DLIGHT8::Position, &D3DLIGHT8::Direction};
constexpr float D3DLIGHT8::* kLightFloats[] = {&D3DLIGHT8::Range,        &D3DLIGHT8::Falloff,
                                               &D3DLIGHT8::Attenuation0, &D3DLIGHT8::Attenuation1,
                                               &D3DLIGHT8::Attenuation2, &D3DLIGHT8::Theta,
                                               &D3DLIGHT8::Phi};
constexpr D3DCOLORVALUE D3DMATERIAL8::* kMaterialColors[] = {&D3DMATERIAL8::Diffuse, &D3DMATERIAL8::Ambient,
                                                             &D3DMATERIAL8::Specular, &D3DMATERIAL8::Emissive};
constexpr DWORD kLightType = 0, kLightFirstColor = 1, kLightFirstVector = 4, kLightFirstFloat = 6,
                kLightEnable = 13;
constexpr DWORD kMaterialPower = 4;
constexpr DWORD kShaderVertex = 0, kShaderPixel = 1, kShaderVertexConstant = 2, kShaderPixelConstant = 3;
constexpr DWORD kTransformProjection = 0, kTransformView = 1, kTransformWorld = 2, kTransformTexture = 3;

}  // namespace

HRESULT EffectObject::Apply(EffectAssignment& assignment) {
    EffectValue* value = assignment.value.get();
    if (assignment.parameter != kNoParameter) {
        EffectValue& parameterValue = *parameters[assignment.parameter].value;
        if (parameterValue.Type() == value->Type()) {
            value = &parameterValue;
        } else {
            HRESULT hr = ConvertValue(parameterValue, *value);
            if (FAILED(hr)) return hr;
        }
    }
    return ApplyValue(assignment, *value);
}

HRESULT EffectObject::ApplyValue(EffectAssignment& a, EffectValue& value) {
    IDirect3DDevice8* d = device.get();
    assert(d);
    DWORD stateClass = StateClassOf(a.state);
    DWORD member = StateMemberOf(a.state);
    switch (value.Type()) {
        case EFFECT_DWORD:
        case EFFECT_FLOAT: {
            DWORD bits = 0;
            float f = 0.0f;
            if (value.Type() == EFFECT_DWORD) {
                value.GetDword(&bits);
            } else {
                value.GetFloat(&f);
                std::memcpy(&bits, &f, 4);
            }
            if (stateClass == STATECLASS_RENDER) {
                d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(member), bits);
            } else if (stateClass == STATECLASS_TEXTURESTAGE) {
                d->SetTextureStageState(a.index, static_cast<D3DTEXTURESTAGESTATETYPE>(member), bits);
            } else if (stateClass == STATECLASS_LIGHT && value.Type() == EFFECT_DWORD && member == kLightType) {
                a.light->Type = static_cast<D3DLIGHTTYPE>(bits);
                d->SetLight(a.index, a.light);
            } else if (stateClass == STATECLASS_LIGHT && value.Type() == EFFECT_DWORD && member == kLightEnable) {
                d->LightEnable(a.index, bits != 0);
            } else if (stateClass == STATECLASS_LIGHT && member >= kLightFirstFloat && member < kLightEnable) {
                a.light->*kLightFloats[member - kLightFirstFloat] = f;
                d->SetLight(a.index, a.light);
            } else if (stateClass == STATECLASS_MATERIAL && member == kMaterialPower) {
                a.material->Power = f;
                d->SetMaterial(a.material);
            }
            return S_OK;
        }
        case EFFECT_VECTOR: {
            float v[4];
            value.GetVector(v);
            if (stateClass == STATECLASS_LIGHT && member >= kLightFirstColor && member < kLightFirstVector) {
                a.light->*kLightColors[member - kLightFirstColor] = {v[0], v[1], v[2], v[3]};
                d->SetLight(a.index, a.light);
            } else if (stateClass == STATECLASS_LIGHT && member >= kLightFirstVector && member < kLightFirstFloat) {
                a.light->*kLightVectors[member - kLightFirstVector] = {v[0], v[1], v[2]};
                d->SetLight(a.index, a.light);
            } else if (stateClass == STATECLASS_MATERIAL && member < kMaterialPower) {
                a.material->*kMaterialColors[member] = {v[0], v[1], v[2], v[3]};
                d->SetMaterial(a.material);
            }
            return S_OK;
        }
        case EFFECT_MATRIX: {
            D3DMATRIX m;
            value.GetMatrix(&m.m[0][0]);
            if (stateClass != STATECLASS_TRANSFORM) return S_OK;
            if (member == kTransformProjection) d->SetTransform(D3DTS_PROJECTION, &m);
            if (member == kTransformView) d->SetTransform(D3DTS_VIEW, &m);
            if (member == kTransformWorld) d->SetTransform(D3DTS_WORLDMATRIX(a.index), &m);
            if (member == kTransformTexture) {
                d->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + a.index), &m);
            }
            return S_OK;
        }
        case EFFECT_TEXTURE: {
            IDirect3DBaseTexture8* texture = nullptr;
            value.GetTexture(&texture);
            if (stateClass == STATECLASS_TEXTURE) d->SetTexture(a.index, texture);
            return S_OK;
        }
        case EFFECT_VERTEXSHADER: {
            DWORD handle = 0;
            value.GetVertexShader(&handle);
            if (a.state == (STATECLASS_SHADER << 24 | kShaderVertex)) d->SetVertexShader(handle);
            return S_OK;
        }
        case EFFECT_PIXELSHADER: {
            DWORD handle = 0;
            value.GetPixelShader(&handle);
            if (a.state == (STATECLASS_SHADER << 24 | kShaderPixel)) d->SetPixelShader(handle);
            return S_OK;
        }
        case EFFECT_CONSTANT: {
            // Never more registers than the value holds, whatever the state's fixed count says.
            ConstantRegisters registers = GetConstantRegisters(value);
            DWORD fixed = (member >> 8) & 0xFF;
            DWORD count = fixed ? std::min<DWORD>(fixed, registers.count) : registers.count;
            if (count == 0 || stateClass != STATECLASS_SHADER) return S_OK;
            if ((member & 0xFF) == kShaderVertexConstant) d->SetVertexShaderConstant(a.index, registers.data, count);
            if ((member & 0xFF) == kShaderPixelConstant) d->SetPixelShaderConstant(a.index, registers.data, count);
            return S_OK;
        }
        default:  // STRING: nothing to apply
            return S_OK;
    }
}

// [SECTION] Capability checks

namespace {

// Bit `base + v - 1` of `caps`: the capability bit of the enumerated value v (1-based).
bool HasValueBit(DWORD caps, DWORD v, DWORD base = 0) {
    if (v == 0) return false;
    uint64_t bit = static_cast<uint64_t>(base) + v - 1;
    return bit < 32 && ((caps >> bit) & 1) != 0;
}

bool CheckRenderState(const D3DCAPS8& caps, DWORD member, DWORD v) {
    switch (member) {
        case D3DRS_SRCBLEND: return HasValueBit(caps.SrcBlendCaps, v);
        case D3DRS_DESTBLEND: return HasValueBit(caps.DestBlendCaps, v);
        case D3DRS_ZFUNC: return HasValueBit(caps.ZCmpCaps, v);
        case D3DRS_ALPHAFUNC: return HasValueBit(caps.AlphaCmpCaps, v);
        case D3DRS_STENCILFAIL:
        case D3DRS_STENCILZFAIL:
        case D3DRS_STENCILPASS: return HasValueBit(caps.StencilCaps, v);
        case D3DRS_BLENDOP: return v == 1 || (v != 0 && (caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP));
        default: return true;
    }
}

bool CheckTextureStageState(const D3DCAPS8& caps, DWORD member, DWORD stage, DWORD v) {
    switch (member) {
        case D3DTSS_COLOROP:
        case D3DTSS_ALPHAOP:
            if (v == 0) return false;
            if (v != 1 && stage >= caps.MaxTextureBlendStages) return false;
            return HasValueBit(caps.TextureOpCaps, v);
        case D3DTSS_TEXCOORDINDEX: return v == 0 || (caps.VertexProcessingCaps & D3DVTXPCAPS_TEXGEN);
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV: return HasValueBit(caps.TextureAddressCaps, v);
        case D3DTSS_ADDRESSW: return HasValueBit(caps.VolumeTextureAddressCaps, v);
        case D3DTSS_MAGFILTER: return HasValueBit(caps.TextureFilterCaps, v, 24);
        case D3DTSS_MINFILTER: return HasValueBit(caps.TextureFilterCaps, v, 8);
        case D3DTSS_MIPFILTER: return v == 0 || HasValueBit(caps.TextureFilterCaps, v, 16);
        case D3DTSS_TEXTURETRANSFORMFLAGS: {
            bool projected = (v & D3DTTFF_PROJECTED) != 0;
            if (projected && !(caps.TextureCaps & D3DPTEXTURECAPS_PROJECTED)) return false;
            int count = static_cast<int>(v & 0xFF) - (projected ? 1 : 0);
            if (count < 3) return true;
            if (count == 3) return (caps.TextureCaps & (D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP)) != 0;
            return false;
        }
        case D3DTSS_RESULTARG: return v == 1 || (v == 5 && (caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP));
        default: return true;
    }
}

}  // namespace

HRESULT EffectObject::CheckAssignment(const D3DCAPS8& caps, EffectAssignment& a) {
    EffectValue& value = *a.value;
    if (a.parameter != kNoParameter) {
        HRESULT hr = ConvertValue(*parameters[a.parameter].value, value);
        if (FAILED(hr)) return hr;
    }
    DWORD stateClass = StateClassOf(a.state);
    DWORD member = StateMemberOf(a.state);
    DWORD v = 0;
    bool isDword = value.Type() == EFFECT_DWORD && SUCCEEDED(value.GetDword(&v));
    bool ok = true;
    switch (stateClass) {
        case STATECLASS_RENDER: ok = !isDword || CheckRenderState(caps, member, v); break;
        case STATECLASS_TEXTURESTAGE:
            ok = a.index < kMaxStages && (!isDword || CheckTextureStageState(caps, member, a.index, v));
            break;
        case STATECLASS_TEXTURE: ok = a.index < kMaxStages; break;
        case STATECLASS_TRANSFORM:
            if (member == kTransformTexture) ok = a.index < kMaxStages;
            if (member == kTransformWorld) ok = a.index <= caps.MaxVertexBlendMatrixIndex;
            break;
        case STATECLASS_SHADER: {
            DWORD handle = 0;
            if (member == kShaderVertex) {
                value.GetVertexShader(&handle);
                ok = handle != kNoShaderHandle;
            } else if (member == kShaderPixel) {
                value.GetPixelShader(&handle);
                ok = handle != kNoShaderHandle;
            } else if (value.Type() == EFFECT_CONSTANT) {
                ConstantRegisters registers = GetConstantRegisters(value);
                DWORD fixed = (member >> 8) & 0xFF;
                uint64_t count = fixed ? fixed : registers.count;
                uint64_t limit = (member & 0xFF) == kShaderVertexConstant ? caps.MaxVertexShaderConst
                                                                          : kPixelShaderConstantLimit;
                ok = registers.count > 0 && registers.count >= fixed && a.index + count <= limit;
            }
            break;
        }
        default: break;
    }
    // A referring assignment's value is scratch space: do not let it keep a texture or shader.
    if (a.parameter != kNoParameter) value.Reset();
    return ok ? S_OK : E_FAIL;
}

// [SECTION] Begin, Pass, End, validation

void EffectObject::BeginTechnique(EffectTechnique& technique, DWORD flags) {
    technique.beginFlags = flags;
    if (flags & EFFECT_DONOTSAVESTATE) return;
    if (!technique.holder->block) {
        // Recording applies nothing to the device; it only learns which states are touched.
        device->BeginStateBlock();
        for (EffectPass& pass : technique.passes) {
            for (EffectAssignment& assignment : pass.assignments) Apply(assignment);
        }
        DWORD block = 0;
        if (SUCCEEDED(device->EndStateBlock(&block))) technique.holder->block = block;
    }
    if (technique.holder->block) device->CaptureStateBlock(technique.holder->block);
}

HRESULT EffectObject::ApplyPass(EffectPass& pass) {
    if (!pass.holder->block) {
        device->BeginStateBlock();
        for (EffectAssignment& assignment : pass.assignments) {
            if (assignment.flags & kAssignmentStatic) Apply(assignment);
        }
        DWORD block = 0;
        if (SUCCEEDED(device->EndStateBlock(&block))) pass.holder->block = block;
    }
    if (pass.holder->block) device->ApplyStateBlock(pass.holder->block);
    HRESULT result = S_OK;
    for (EffectAssignment& assignment : pass.assignments) {
        if (assignment.flags & kAssignmentStatic) continue;
        HRESULT hr = Apply(assignment);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

void EffectObject::EndTechnique(EffectTechnique& technique) {
    if (technique.beginFlags & EFFECT_DONOTSAVESTATE) return;
    if (technique.holder->block) device->ApplyStateBlock(technique.holder->block);
}

HRESULT EffectObject::ValidateTechnique(EffectTechnique& technique) {
    D3DCAPS8 caps;
    std::memset(&caps, 0, sizeof caps);
    device->GetDeviceCaps(&caps);
    for (EffectPass& pass : technique.passes) {
        for (EffectAssignment& assignment : pass.assignments) {
            HRESULT hr = CheckAssignment(caps, assignment);
            if (FAILED(hr)) return hr;
        }
    }
    BeginTechnique(technique, 0);
    for (EffectPass& pass : technique.passes) {
        HRESULT hr = ApplyPass(pass);
        if (SUCCEEDED(hr)) {
            DWORD passes = 0;
            hr = device->ValidateDevice(&passes);
        }
        if (FAILED(hr)) {
            EndTechnique(technique);
            return hr;
        }
    }
    EndTechnique(technique);
    return S_OK;
}

}  // namespace effectimpl
