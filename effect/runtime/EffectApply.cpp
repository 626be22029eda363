// Applying an effect's assignments to the device, checking them against the device's capabilities,
// and the Begin/Pass/End cycle with lazily recorded state blocks.
#include "effect/runtime/EffectObject.h"
#include "effect/runtime/EffectTypes.h"
#include "platform/d3d/shader/ShaderValidator.h"

#include <string>

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

// Each check answers null when the device takes the value, else why not in words.
const char* CheckRenderState(const D3DCAPS8& caps, DWORD member, DWORD v) {
    auto need = [](bool ok, const char* why) { return ok ? nullptr : why; };
    switch (member) {
        case D3DRS_SRCBLEND: return need(HasValueBit(caps.SrcBlendCaps, v), "not in the device's SrcBlendCaps");
        case D3DRS_DESTBLEND: return need(HasValueBit(caps.DestBlendCaps, v), "not in the device's DestBlendCaps");
        case D3DRS_ZFUNC: return need(HasValueBit(caps.ZCmpCaps, v), "not in the device's ZCmpCaps");
        case D3DRS_ALPHAFUNC: return need(HasValueBit(caps.AlphaCmpCaps, v), "not in the device's AlphaCmpCaps");
        case D3DRS_STENCILFAIL:
        case D3DRS_STENCILZFAIL:
        case D3DRS_STENCILPASS: return need(HasValueBit(caps.StencilCaps, v), "not in the device's StencilCaps");
        case D3DRS_BLENDOP:
            if (v == 0) return "0 is no blend operation";
            return need(v == 1 || (caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP),
                        "the device has no D3DPMISCCAPS_BLENDOP");
        default: return nullptr;
    }
}

const char* CheckTextureStageState(const D3DCAPS8& caps, DWORD member, DWORD stage, DWORD v) {
    auto need = [](bool ok, const char* why) { return ok ? nullptr : why; };
    switch (member) {
        case D3DTSS_COLOROP:
        case D3DTSS_ALPHAOP:
            if (v == 0) return "0 is no texture operation";
            if (v != 1 && stage >= caps.MaxTextureBlendStages) return "the stage is beyond the device's MaxTextureBlendStages";
            return need(HasValueBit(caps.TextureOpCaps, v), "not in the device's TextureOpCaps");
        case D3DTSS_TEXCOORDINDEX:
            return need(v == 0 || (caps.VertexProcessingCaps & D3DVTXPCAPS_TEXGEN), "the device has no D3DVTXPCAPS_TEXGEN");
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV:
            return need(HasValueBit(caps.TextureAddressCaps, v), "not in the device's TextureAddressCaps");
        case D3DTSS_ADDRESSW:
            return need(HasValueBit(caps.VolumeTextureAddressCaps, v), "not in the device's VolumeTextureAddressCaps");
        case D3DTSS_MAGFILTER:
            return need(HasValueBit(caps.TextureFilterCaps, v, 24), "not among the device's magnification filters");
        case D3DTSS_MINFILTER:
            return need(HasValueBit(caps.TextureFilterCaps, v, 8), "not among the device's minification filters");
        case D3DTSS_MIPFILTER:
            return need(v == 0 || HasValueBit(caps.TextureFilterCaps, v, 16), "not among the device's mipmap filters");
        case D3DTSS_TEXTURETRANSFORMFLAGS: {
            bool projected = (v & D3DTTFF_PROJECTED) != 0;
            if (projected && !(caps.TextureCaps & D3DPTEXTURECAPS_PROJECTED))
                return "the device has no D3DPTEXTURECAPS_PROJECTED";
            int count = static_cast<int>(v & 0xFF) - (projected ? 1 : 0);
            if (count < 3) return nullptr;
            if (count == 3)
                return need((caps.TextureCaps & (D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP)) != 0,
                            "three coordinates need cube or volume textures, which the device lacks");
            return "more than three transformed coordinates";
        }
        case D3DTSS_RESULTARG:
            if (v == 5) return need(caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP, "the device has no D3DPMISCCAPS_TSSARGTEMP");
            return need(v == 1, "only CURRENT or TEMP can take the result");
        default: return nullptr;
    }
}

// Why a shader value made no shader on the device: the validator's message, which it gives the
// device too, when it has one.
std::string ShaderRefusal(const D3DCAPS8& caps, EffectValue& value, TechniqueFault* fault) {
    const std::vector<DWORD>* declaration = nullptr;
    const std::vector<DWORD>* function = ShaderTokensOf(value, &declaration);
    if (!function || function->empty()) return "the device cannot make the shader";
    std::string error;
    const bool pixel = value.Type() == EFFECT_PIXELSHADER;
    HRESULT hr = shader::ValidateShaderTokens(function->data(), function->size(), pixel,
                                              declaration ? declaration->data() : nullptr,
                                              declaration ? declaration->size() : 0, shader::ShaderCapsFrom(caps),
                                              nullptr, &error);
    if (SUCCEEDED(hr) || error.empty()) return "the device cannot make the shader";
    if (fault) LocateShaderMessage(*function, error, fault);
    return "the shader validator refused it: " + error;
}

}  // namespace

HRESULT EffectObject::CheckAssignment(const D3DCAPS8& caps, EffectAssignment& a, TechniqueFault* fault) {
    EffectValue& value = *a.value;
    if (a.parameter != kNoParameter) {
        HRESULT hr = ConvertValue(*parameters[a.parameter].value, value);
        if (FAILED(hr)) {
            if (fault) fault->reason = "the parameter's value does not convert to the state's type";
            return hr;
        }
    }
    DWORD stateClass = StateClassOf(a.state);
    DWORD member = StateMemberOf(a.state);
    DWORD v = 0;
    bool isDword = value.Type() == EFFECT_DWORD && SUCCEEDED(value.GetDword(&v));
    std::string refusal;
    auto refuse = [&](const char* why) {
        if (why) refusal = why;
    };
    const char* kStageLimit = "the stage is beyond the 8 texture stages";
    switch (stateClass) {
        case STATECLASS_RENDER:
            if (isDword) refuse(CheckRenderState(caps, member, v));
            break;
        case STATECLASS_TEXTURESTAGE:
            if (a.index >= kMaxStages)
                refuse(kStageLimit);
            else if (isDword)
                refuse(CheckTextureStageState(caps, member, a.index, v));
            break;
        case STATECLASS_TEXTURE:
            if (a.index >= kMaxStages) refuse(kStageLimit);
            break;
        case STATECLASS_TRANSFORM:
            if (member == kTransformTexture && a.index >= kMaxStages) refuse(kStageLimit);
            if (member == kTransformWorld && a.index > caps.MaxVertexBlendMatrixIndex)
                refuse("the index is beyond the device's MaxVertexBlendMatrixIndex");
            break;
        case STATECLASS_SHADER: {
            DWORD handle = 0;
            if (member == kShaderVertex || member == kShaderPixel) {
                if (member == kShaderVertex)
                    value.GetVertexShader(&handle);
                else
                    value.GetPixelShader(&handle);
                if (handle == kNoShaderHandle) refusal = fault ? ShaderRefusal(caps, value, fault) : "no shader";
            } else if (value.Type() == EFFECT_CONSTANT) {
                ConstantRegisters registers = GetConstantRegisters(value);
                DWORD fixed = (member >> 8) & 0xFF;
                uint64_t count = fixed ? fixed : registers.count;
                uint64_t limit = (member & 0xFF) == kShaderVertexConstant ? caps.MaxVertexShaderConst
                                                                          : kPixelShaderConstantLimit;
                if (registers.count == 0 || registers.count < fixed)
                    refuse("the value holds too few constant registers");
                else if (a.index + count > limit)
                    refuse("the registers run past the device's last shader constant");
            }
            break;
        }
        default: break;
    }
    if (fault && !refusal.empty()) {
        fault->reason = refusal;
        if (isDword) fault->value = ValueText(a.state, v);
    }
    // A referring assignment's value is scratch space: do not let it keep a texture or shader.
    if (a.parameter != kNoParameter) value.Reset();
    return refusal.empty() ? S_OK : E_FAIL;
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

HRESULT EffectObject::ValidateTechnique(EffectTechnique& technique, TechniqueFault* fault) {
    D3DCAPS8 caps;
    std::memset(&caps, 0, sizeof caps);
    device->GetDeviceCaps(&caps);
    auto blame = [&](const EffectPass& pass, const EffectAssignment* assignment) {
        if (!fault) return;
        fault->found = true;
        fault->pass = pass.index;
        fault->passName = pass.name;
        if (assignment) fault->state = StateText(assignment->state, assignment->index);
    };
    for (EffectPass& pass : technique.passes) {
        for (EffectAssignment& assignment : pass.assignments) {
            HRESULT hr = CheckAssignment(caps, assignment, fault);
            if (FAILED(hr)) {
                blame(pass, &assignment);
                return hr;
            }
        }
    }
    BeginTechnique(technique, 0);
    for (EffectPass& pass : technique.passes) {
        HRESULT hr = ApplyPass(pass);
        if (FAILED(hr)) {
            if (fault) fault->reason = "a value of the pass could not be applied";
        } else {
            DWORD passes = 0;
            hr = device->ValidateDevice(&passes);
            if (FAILED(hr) && fault) fault->reason = std::string("the device cannot draw the pass: ") + DeviceResultName(hr);
        }
        if (FAILED(hr)) {
            blame(pass, nullptr);
            EndTechnique(technique);
            return hr;
        }
    }
    EndTechnique(technique);
    return S_OK;
}

}  // namespace effectimpl
