// The effect object: builds parameters, techniques, passes and assignments from a compiled block,
// applies assignments to the device, validates techniques against its capabilities, and drives
// the Begin/Pass/End cycle with lazily recorded state blocks.
//
// [SECTION] Ownership helpers and records
// [SECTION] Building
// [SECTION] Applying assignments
// [SECTION] Capability checks
// [SECTION] Begin, Pass, End, validation
// [SECTION] Interface operations
// [SECTION] Entry points
#include "effect/runtime/EffectFile.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "effect/DataBuffer.h"
#include "effect/runtime/EffectBlock.h"
#include "effect/runtime/EffectBuild.h"
#include "effect/runtime/EffectTypes.h"
#include "effect/runtime/EffectValue.h"
#include "platform/d3d/d3d8.h"

namespace {

// [SECTION] Ownership helpers and records

// A counted reference to an object with AddRef/Release; released when it goes out of scope, so
// a build that stops half-way frees everything it made.
template <typename T>
class Counted {
public:
    Counted() = default;
    explicit Counted(T* adopted) : object(adopted) {}
    Counted(Counted&& other) noexcept : object(other.object) { other.object = nullptr; }
    Counted& operator=(Counted&& other) noexcept {
        if (this != &other) {
            Reset();
            object = other.object;
            other.object = nullptr;
        }
        return *this;
    }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    ~Counted() { Reset(); }

    static Counted Share(T* shared) {
        if (shared) shared->AddRef();
        return Counted(shared);
    }
    void Reset() {
        if (object) object->Release();
        object = nullptr;
    }
    T* get() const { return object; }
    T* operator->() const { return object; }
    T& operator*() const { return *object; }
    explicit operator bool() const { return object != nullptr; }

private:
    T* object = nullptr;
};

}  // namespace

// A state block recorded for a technique or pass; shared between effects cloned onto the same
// device, and deleted through its device when the last holder lets go.
class StateBlockHolder {
public:
    explicit StateBlockHolder(IDirect3DDevice8* d) : device(d) {
        if (device) device->AddRef();
    }
    StateBlockHolder(const StateBlockHolder&) = delete;
    StateBlockHolder& operator=(const StateBlockHolder&) = delete;
    ULONG AddRef() { return ++refCount; }
    ULONG Release() {
        assert(refCount > 0);
        ULONG count = --refCount;
        if (count == 0) delete this;
        return count;
    }
    void DeleteBlock() {
        if (block && device) device->DeleteStateBlock(block);
        block = 0;
    }

    DWORD block = 0;  // state-block handle; 0 when none is recorded

private:
    ~StateBlockHolder() {
        DeleteBlock();
        if (device) device->Release();
    }
    ULONG refCount = 1;
    IDirect3DDevice8* device;  // counted reference
};

namespace {

constexpr DWORD kAssignmentStatic = 1;        // may be recorded in the pass's state block
constexpr DWORD kAssignmentOwnsLight = 2;
constexpr DWORD kAssignmentOwnsMaterial = 4;
constexpr DWORD kNoParameter = 0xFFFFFFFF;
constexpr int kNoLink = -1;
constexpr UINT kMaxStages = 8;
constexpr UINT kPixelShaderConstantLimit = 16;

struct EffectParameter {
    const char* name = "";  // points into the compiled buffer
    UINT index = 0;
    DWORD type = 0;
    Counted<EffectValue> value;
};

struct EffectAssignment {
    DWORD flags = 0;
    DWORD state = 0;  // state code
    DWORD index = 0;
    Counted<EffectValue> value;          // of the state's value type
    DWORD parameter = kNoParameter;      // referenced parameter, or none for a literal value
    int nextReference = kNoLink;         // next assignment of the pass referring to the same parameter
    D3DLIGHT8* light = nullptr;          // the pass's shared light description (light states)
    D3DMATERIAL8* material = nullptr;    // the pass's shared material description (material states)
    std::unique_ptr<D3DLIGHT8> ownedLight;
    std::unique_ptr<D3DMATERIAL8> ownedMaterial;
};

struct EffectPass {
    const char* name = "";
    UINT index = 0;
    Counted<StateBlockHolder> holder;
    std::vector<EffectAssignment> assignments;  // in the order written
    std::vector<int> references;  // per parameter: first assignment referring to it (newest link)
};

struct EffectTechnique {
    const char* name = "";
    UINT index = 0;
    std::vector<EffectPass> passes;
    Counted<StateBlockHolder> holder;
    DWORD beginFlags = 0;  // flags of the last Begin
};

D3DLIGHT8 DefaultLight() {
    D3DLIGHT8 light;
    std::memset(&light, 0, sizeof light);
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    return light;
}

class EffectObject final : public EffectFile {
public:
    EffectObject(IDirect3DDevice8* device, DataBuffer* compiled)
        : device(Counted<IDirect3DDevice8>::Share(device)), compiled(Counted<DataBuffer>::Share(compiled)) {}

    HRESULT Build(EffectObject* source);

    HRESULT QueryInterface(const GUID& iid, void** object) override;
    ULONG AddRef() override { return ++refCount; }
    ULONG Release() override {
        assert(refCount > 0);
        ULONG count = --refCount;
        if (count == 0) delete this;
        return count;
    }
    HRESULT GetDevice(IDirect3DDevice8** out) override;
    HRESULT GetDesc(EffectDesc* desc) override;
    HRESULT GetParameterDesc(NameOrIndex parameter, EffectParameterDesc* desc) override;
    HRESULT GetTechniqueDesc(NameOrIndex technique, EffectTechniqueDesc* desc) override;
    HRESULT GetPassDesc(NameOrIndex technique, NameOrIndex pass, EffectPassDesc* desc) override;
    HRESULT FindNextValidTechnique(NameOrIndex technique, EffectTechniqueDesc* desc) override;
    HRESULT CloneEffect(IDirect3DDevice8* device, EffectFile** effect) override;
    HRESULT GetCompiledEffect(DataBuffer** buffer) override;
    HRESULT SetTechnique(NameOrIndex technique) override;
    HRESULT GetTechnique(const char** name) override;
    HRESULT SetDword(NameOrIndex parameter, DWORD value) override;
    HRESULT GetDword(NameOrIndex parameter, DWORD* value) override;
    HRESULT SetFloat(NameOrIndex parameter, float value) override;
    HRESULT GetFloat(NameOrIndex parameter, float* value) override;
    HRESULT SetVector(NameOrIndex parameter, const float* xyzw) override;
    HRESULT GetVector(NameOrIndex parameter, float* xyzw) override;
    HRESULT SetMatrix(NameOrIndex parameter, const D3DMATRIX* matrix) override;
    HRESULT GetMatrix(NameOrIndex parameter, D3DMATRIX* matrix) override;
    HRESULT SetTexture(NameOrIndex parameter, IDirect3DBaseTexture8* texture) override;
    HRESULT GetTexture(NameOrIndex parameter, IDirect3DBaseTexture8** texture) override;
    HRESULT SetVertexShader(NameOrIndex parameter, DWORD handle) override;
    HRESULT GetVertexShader(NameOrIndex parameter, DWORD* handle) override;
    HRESULT SetPixelShader(NameOrIndex parameter, DWORD handle) override;
    HRESULT GetPixelShader(NameOrIndex parameter, DWORD* handle) override;
    HRESULT SetString(NameOrIndex parameter, const char* text) override;
    HRESULT GetString(NameOrIndex parameter, const char** text) override;
    BOOL IsParameterUsed(NameOrIndex parameter) override;
    HRESULT Validate() override;
    HRESULT Begin(UINT* passes, DWORD flags) override;
    HRESULT Pass(UINT pass) override;
    HRESULT End() override;
    HRESULT OnLostDevice() override;
    HRESULT OnResetDevice() override { return S_OK; }
    HRESULT SetMatrixTranspose(NameOrIndex parameter, const D3DMATRIX* transposed) override;
    HRESULT GetMatrixTranspose(NameOrIndex parameter, D3DMATRIX* transposed) override;

private:
    ~EffectObject() override = default;

    HRESULT BuildParameter(const BlockParameter& block, UINT index, EffectObject* source);
    HRESULT BuildTechnique(const BlockTechnique& block, UINT index, EffectObject* source);
    HRESULT BuildPass(const BlockPass& block, UINT index, const EffectPass* source, EffectPass& pass);
    HRESULT BuildAssignment(const BlockAssignment& block, const EffectAssignment* source, EffectPass& pass,
                            EffectAssignment& assignment);
    Counted<StateBlockHolder> MakeHolder(StateBlockHolder* sourceHolder);

    EffectParameter* FindParameter(NameOrIndex name);
    EffectTechnique* FindTechnique(NameOrIndex name);

    HRESULT Apply(EffectAssignment& assignment);
    HRESULT ApplyValue(EffectAssignment& assignment, EffectValue& value);
    HRESULT CheckAssignment(const D3DCAPS8& caps, EffectAssignment& assignment);
    void BeginTechnique(EffectTechnique& technique, DWORD flags);
    HRESULT ApplyPass(EffectPass& pass);
    void EndTechnique(EffectTechnique& technique);
    HRESULT ValidateTechnique(EffectTechnique& technique);

    // Sets a parameter through `set`: at once through the active pass's assignments that refer
    // to it, or into the parameter's stored value when no pass is active.
    template <typename Set>
    HRESULT SetParameter(NameOrIndex name, Set set);
    template <typename Get>
    HRESULT GetParameter(NameOrIndex name, const void* out, Get get);

    ULONG refCount = 1;
    Counted<IDirect3DDevice8> device;  // null only for a model built without a device
    Counted<DataBuffer> compiled;      // names point into it
    std::vector<EffectParameter> parameters;
    std::vector<EffectTechnique> techniques;
    EffectTechnique* current = nullptr;  // none when the effect has no technique
    EffectPass* activePass = nullptr;    // set between Pass and End
    bool begun = false;
    bool shareHolders = false;  // while building a clone on the source's device
};

// [SECTION] Building

HRESULT EffectObject::Build(EffectObject* source) {
    shareHolders = source && source->device.get() == device.get();
    EffectBlock block;
    HRESULT hr = ReadEffectBlock(compiled->GetBufferPointer(), compiled->GetBufferSize(), &block);
    if (FAILED(hr)) return hr;
    parameters.resize(block.parameters.size());
    techniques.resize(block.techniques.size());
    for (UINT i = 0; i < parameters.size(); ++i) {
        hr = BuildParameter(block.parameters[i], i, source);
        if (FAILED(hr)) return hr;
    }
    for (UINT i = 0; i < techniques.size(); ++i) {
        hr = BuildTechnique(block.techniques[i], i, source);
        if (FAILED(hr)) return hr;
    }
    current = techniques.empty() ? nullptr : &techniques[0];
    return S_OK;
}

HRESULT EffectObject::BuildParameter(const BlockParameter& block, UINT index, EffectObject* source) {
    EffectParameter& parameter = parameters[index];
    parameter.name = block.name;
    parameter.index = index;
    parameter.type = block.type;
    parameter.value = Counted<EffectValue>(CreateEffectValue(block.type, device.get()));
    if (!parameter.value) return E_OUTOFMEMORY;
    if (source) return ConvertValue(*source->parameters[index].value, *parameter.value);
    if (block.hasValue) return LoadValue(*parameter.value, block.value, device.get());
    parameter.value->Reset();
    return S_OK;
}

// A clone on the same device shares the source's state blocks; otherwise a new, empty holder.
Counted<StateBlockHolder> EffectObject::MakeHolder(StateBlockHolder* sourceHolder) {
    if (sourceHolder && shareHolders) return Counted<StateBlockHolder>::Share(sourceHolder);
    return Counted<StateBlockHolder>(new (std::nothrow) StateBlockHolder(device.get()));
}

HRESULT EffectObject::BuildTechnique(const BlockTechnique& block, UINT index, EffectObject* source) {
    EffectTechnique& technique = techniques[index];
    const EffectTechnique* sourceTechnique = source ? &source->techniques[index] : nullptr;
    technique.name = block.name;
    technique.index = index;
    technique.passes.resize(block.passes.size());
    for (UINT i = 0; i < technique.passes.size(); ++i) {
        HRESULT hr = BuildPass(block.passes[i], i, sourceTechnique ? &sourceTechnique->passes[i] : nullptr,
                               technique.passes[i]);
        if (FAILED(hr)) return hr;
    }
    technique.holder = MakeHolder(sourceTechnique ? sourceTechnique->holder.get() : nullptr);
    return technique.holder ? S_OK : E_OUTOFMEMORY;
}

HRESULT EffectObject::BuildPass(const BlockPass& block, UINT index, const EffectPass* source, EffectPass& pass) {
    pass.name = block.name;
    pass.index = index;
    pass.assignments.resize(block.assignments.size());
    for (size_t i = 0; i < pass.assignments.size(); ++i) {
        HRESULT hr = BuildAssignment(block.assignments[i], source ? &source->assignments[i] : nullptr, pass,
                                     pass.assignments[i]);
        if (FAILED(hr)) return hr;
    }
    pass.holder = MakeHolder(source ? source->holder.get() : nullptr);
    if (!pass.holder) return E_OUTOFMEMORY;
    pass.references.assign(parameters.size(), kNoLink);
    for (size_t i = 0; i < pass.assignments.size(); ++i) {
        EffectAssignment& assignment = pass.assignments[i];
        if (assignment.parameter == kNoParameter) continue;
        assignment.nextReference = pass.references[assignment.parameter];
        pass.references[assignment.parameter] = static_cast<int>(i);
    }
    return S_OK;
}

HRESULT EffectObject::BuildAssignment(const BlockAssignment& block, const EffectAssignment* source, EffectPass& pass,
                                      EffectAssignment& assignment) {
    assignment.state = block.stateCode;
    assignment.index = block.index;
    if (block.isReference) {
        assignment.parameter = block.parameter;
        assignment.value = Counted<EffectValue>(CreateEffectValue(block.valueType, device.get()));
        if (!assignment.value) return E_OUTOFMEMORY;
        assignment.value->Reset();
    } else if (source && source->value->IsOnDevice(device.get())) {
        assignment.value = Counted<EffectValue>::Share(source->value.get());
    } else {
        assignment.value = Counted<EffectValue>(CreateEffectValue(block.valueType, device.get()));
        if (!assignment.value) return E_OUTOFMEMORY;
        HRESULT hr = LoadValue(*assignment.value, block.value, device.get());
        if (FAILED(hr)) return hr;
    }
    if (!block.isReference && !assignment.value->IsDynamic()) assignment.flags |= kAssignmentStatic;

    // Light and material states of one pass share one description, whatever the light number.
    DWORD stateClass = StateClassOf(block.stateCode);
    if (stateClass == STATECLASS_LIGHT || stateClass == STATECLASS_MATERIAL) {
        assignment.flags &= ~kAssignmentStatic;
        bool isLight = stateClass == STATECLASS_LIGHT;
        for (EffectAssignment& earlier : pass.assignments) {
            if (&earlier == &assignment) break;
            if (isLight && earlier.light) {
                assignment.light = earlier.light;
                return S_OK;
            }
            if (!isLight && earlier.material) {
                assignment.material = earlier.material;
                return S_OK;
            }
        }
        if (isLight) {
            assignment.ownedLight.reset(new (std::nothrow) D3DLIGHT8(source ? *source->light : DefaultLight()));
            if (!assignment.ownedLight) return E_OUTOFMEMORY;
            assignment.light = assignment.ownedLight.get();
            assignment.flags |= kAssignmentOwnsLight;
        } else {
            D3DMATERIAL8 zero;
            std::memset(&zero, 0, sizeof zero);
            assignment.ownedMaterial.reset(new (std::nothrow) D3DMATERIAL8(source ? *source->material : zero));
            if (!assignment.ownedMaterial) return E_OUTOFMEMORY;
            assignment.material = assignment.ownedMaterial.get();
            assignment.flags |= kAssignmentOwnsMaterial;
        }
    }
    return S_OK;
}

// [SECTION] Applying assignments

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

// [SECTION] Interface operations

EffectParameter* EffectObject::FindParameter(NameOrIndex name) {
    size_t i = name.Find(parameters.size(), [&](size_t k) { return parameters[k].name; });
    return i < parameters.size() ? &parameters[i] : nullptr;
}

EffectTechnique* EffectObject::FindTechnique(NameOrIndex name) {
    size_t i = name.Find(techniques.size(), [&](size_t k) { return techniques[k].name; });
    return i < techniques.size() ? &techniques[i] : nullptr;
}

HRESULT EffectObject::QueryInterface(const GUID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (std::memcmp(&iid, &IID_IUnknown, sizeof iid) != 0 && std::memcmp(&iid, &IID_EffectFile, sizeof iid) != 0) {
        return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<EffectFile*>(this);
    return S_OK;
}

HRESULT EffectObject::GetDevice(IDirect3DDevice8** out) {
    if (!out || !device) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device.get();
    return S_OK;
}

HRESULT EffectObject::GetDesc(EffectDesc* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Parameters = static_cast<UINT>(parameters.size());
    desc->Techniques = static_cast<UINT>(techniques.size());
    return S_OK;
}

HRESULT EffectObject::GetParameterDesc(NameOrIndex name, EffectParameterDesc* desc) {
    EffectParameter* parameter = FindParameter(name);
    if (!desc || !parameter) return D3DERR_INVALIDCALL;
    *desc = {parameter->name, parameter->index, parameter->type};
    return S_OK;
}

HRESULT EffectObject::GetTechniqueDesc(NameOrIndex name, EffectTechniqueDesc* desc) {
    EffectTechnique* technique = FindTechnique(name);
    if (!desc || !technique) return D3DERR_INVALIDCALL;
    *desc = {technique->name, technique->index, static_cast<UINT>(technique->passes.size())};
    return S_OK;
}

HRESULT EffectObject::GetPassDesc(NameOrIndex techniqueName, NameOrIndex passName, EffectPassDesc* desc) {
    EffectTechnique* technique = FindTechnique(techniqueName);
    if (!desc || !technique) return D3DERR_INVALIDCALL;
    auto& passes = technique->passes;
    size_t i = passName.Find(passes.size(), [&](size_t k) { return passes[k].name; });
    if (i >= passes.size()) return D3DERR_INVALIDCALL;
    *desc = {passes[i].name, passes[i].index};
    return S_OK;
}

HRESULT EffectObject::FindNextValidTechnique(NameOrIndex name, EffectTechniqueDesc* desc) {
    EffectTechnique* start = FindTechnique(name);
    // The description is the answer, so it is not optional: without it nothing is done.
    if (begun || !device || !desc) return D3DERR_INVALIDCALL;
    if (!start) return techniques.empty() ? E_FAIL : D3DERR_INVALIDCALL;
    for (size_t i = start->index; i < techniques.size(); ++i) {
        if (FAILED(ValidateTechnique(techniques[i]))) continue;
        *desc = {techniques[i].name, techniques[i].index, static_cast<UINT>(techniques[i].passes.size())};
        return S_OK;
    }
    return E_FAIL;
}

HRESULT EffectObject::CloneEffect(IDirect3DDevice8* target, EffectFile** effect) {
    if (!target || !effect) return D3DERR_INVALIDCALL;
    return BuildEffect(target, compiled.get(), this, effect);
}

HRESULT EffectObject::GetCompiledEffect(DataBuffer** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    compiled->AddRef();
    *buffer = compiled.get();
    return S_OK;
}

HRESULT EffectObject::SetTechnique(NameOrIndex name) {
    EffectTechnique* technique = FindTechnique(name);
    if (begun || !technique) return D3DERR_INVALIDCALL;
    current = technique;
    return S_OK;
}

HRESULT EffectObject::GetTechnique(const char** name) {
    if (!name) return D3DERR_INVALIDCALL;
    if (!current) return E_FAIL;
    *name = current->name;
    return S_OK;
}

template <typename Set>
HRESULT EffectObject::SetParameter(NameOrIndex name, Set set) {
    EffectParameter* parameter = FindParameter(name);
    if (!parameter) return D3DERR_INVALIDCALL;
    if (activePass) {
        for (int i = activePass->references[parameter->index]; i != kNoLink;) {
            EffectAssignment& assignment = activePass->assignments[i];
            HRESULT hr = set(*assignment.value);
            if (SUCCEEDED(hr)) hr = ApplyValue(assignment, *assignment.value);
            if (FAILED(hr)) return hr;
            i = assignment.nextReference;
        }
        return S_OK;
    }
    HRESULT hr = set(*parameter->value);
    return FAILED(hr) ? hr : S_OK;
}

template <typename Get>
HRESULT EffectObject::GetParameter(NameOrIndex name, const void* out, Get get) {
    EffectParameter* parameter = FindParameter(name);
    if (!out || !parameter) return D3DERR_INVALIDCALL;
    return get(*parameter->value);
}

HRESULT EffectObject::SetDword(NameOrIndex name, DWORD v) {
    return SetParameter(name, [&](EffectValue& value) { return value.SetDword(v); });
}
HRESULT EffectObject::GetDword(NameOrIndex name, DWORD* v) {
    return GetParameter(name, v, [&](EffectValue& value) { return value.GetDword(v); });
}
HRESULT EffectObject::SetFloat(NameOrIndex name, float v) {
    return SetParameter(name, [&](EffectValue& value) { return value.SetFloat(v); });
}
HRESULT EffectObject::GetFloat(NameOrIndex name, float* v) {
    return GetParameter(name, v, [&](EffectValue& value) { return value.GetFloat(v); });
}
HRESULT EffectObject::SetVector(NameOrIndex name, const float* v) {
    if (!v) return D3DERR_INVALIDCALL;
    return SetParameter(name, [&](EffectValue& value) { return value.SetVector(v); });
}
HRESULT EffectObject::GetVector(NameOrIndex name, float* v) {
    return GetParameter(name, v, [&](EffectValue& value) { return value.GetVector(v); });
}
HRESULT EffectObject::SetMatrix(NameOrIndex name, const D3DMATRIX* m) {
    if (!m) return D3DERR_INVALIDCALL;
    return SetParameter(name, [&](EffectValue& value) { return value.SetMatrix(&m->m[0][0]); });
}
HRESULT EffectObject::GetMatrix(NameOrIndex name, D3DMATRIX* m) {
    return GetParameter(name, m, [&](EffectValue& value) { return value.GetMatrix(&m->m[0][0]); });
}
HRESULT EffectObject::SetMatrixTranspose(NameOrIndex name, const D3DMATRIX* m) {
    if (!m) return D3DERR_INVALIDCALL;
    return SetParameter(name, [&](EffectValue& value) { return value.SetMatrixTransposed(&m->m[0][0]); });
}
HRESULT EffectObject::GetMatrixTranspose(NameOrIndex name, D3DMATRIX* m) {
    return GetParameter(name, m, [&](EffectValue& value) { return value.GetMatrixTransposed(&m->m[0][0]); });
}
HRESULT EffectObject::SetTexture(NameOrIndex name, IDirect3DBaseTexture8* t) {
    return SetParameter(name, [&](EffectValue& value) { return value.SetTexture(t); });
}
HRESULT EffectObject::GetTexture(NameOrIndex name, IDirect3DBaseTexture8** t) {
    return GetParameter(name, t, [&](EffectValue& value) {
        HRESULT hr = value.GetTexture(t);
        if (SUCCEEDED(hr) && *t) (*t)->AddRef();
        return hr;
    });
}
HRESULT EffectObject::SetVertexShader(NameOrIndex name, DWORD h) {
    return SetParameter(name, [&](EffectValue& value) { return value.SetVertexShader(h); });
}
HRESULT EffectObject::GetVertexShader(NameOrIndex name, DWORD* h) {
    return GetParameter(name, h, [&](EffectValue& value) { return value.GetVertexShader(h); });
}
HRESULT EffectObject::SetPixelShader(NameOrIndex name, DWORD h) {
    return SetParameter(name, [&](EffectValue& value) { return value.SetPixelShader(h); });
}
HRESULT EffectObject::GetPixelShader(NameOrIndex name, DWORD* h) {
    return GetParameter(name, h, [&](EffectValue& value) { return value.GetPixelShader(h); });
}
HRESULT EffectObject::SetString(NameOrIndex name, const char* text) {
    if (!text) return D3DERR_INVALIDCALL;
    return SetParameter(name, [&](EffectValue& value) { return value.SetString(text); });
}
HRESULT EffectObject::GetString(NameOrIndex name, const char** text) {
    return GetParameter(name, text, [&](EffectValue& value) { return value.GetString(text); });
}

BOOL EffectObject::IsParameterUsed(NameOrIndex name) {
    EffectParameter* parameter = FindParameter(name);
    if (!parameter) return FALSE;
    if (activePass) return activePass->references[parameter->index] != kNoLink;
    if (!current) return FALSE;
    for (EffectPass& pass : current->passes) {
        if (pass.references[parameter->index] != kNoLink) return TRUE;
    }
    return FALSE;
}

HRESULT EffectObject::Validate() {
    if (begun || !device) return D3DERR_INVALIDCALL;
    if (!current) return S_OK;
    return ValidateTechnique(*current);
}

HRESULT EffectObject::Begin(UINT* passes, DWORD flags) {
    if (begun || !device) return D3DERR_INVALIDCALL;
    if (current) {
        BeginTechnique(*current, flags);
        if (passes) *passes = static_cast<UINT>(current->passes.size());
    }
    activePass = nullptr;
    begun = true;
    return S_OK;
}

HRESULT EffectObject::Pass(UINT pass) {
    if (!begun || !current || pass >= current->passes.size()) return D3DERR_INVALIDCALL;
    HRESULT hr = ApplyPass(current->passes[pass]);
    activePass = &current->passes[pass];
    return hr;
}

HRESULT EffectObject::End() {
    if (!begun) return D3DERR_INVALIDCALL;
    if (current) EndTechnique(*current);
    activePass = nullptr;
    begun = false;
    return S_OK;
}

HRESULT EffectObject::OnLostDevice() {
    activePass = nullptr;
    begun = false;
    for (EffectTechnique& technique : techniques) {
        technique.holder->DeleteBlock();
        for (EffectPass& pass : technique.passes) {
            pass.holder->DeleteBlock();
            for (EffectAssignment& assignment : pass.assignments) assignment.value->OnLostDevice();
        }
    }
    for (EffectParameter& parameter : parameters) parameter.value->OnLostDevice();
    return S_OK;
}

}  // namespace

// [SECTION] Entry points

HRESULT BuildEffect(IDirect3DDevice8* device, DataBuffer* compiled, EffectFile* source, EffectFile** effect) {
    if (!compiled || !effect) return D3DERR_INVALIDCALL;
    *effect = nullptr;
    EffectObject* object = new (std::nothrow) EffectObject(device, compiled);
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr;
    try {
        hr = object->Build(static_cast<EffectObject*>(source));
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        object->Release();
        return hr;
    }
    *effect = object;
    return S_OK;
}

HRESULT CreateEffectFromCompiledBuffer(IDirect3DDevice8* device, DataBuffer* compiled, EffectFile** effect) {
    if (effect) *effect = nullptr;
    if (!device || !compiled || !effect) return D3DERR_INVALIDCALL;
    return BuildEffect(device, compiled, nullptr, effect);
}

HRESULT CreateEffectFromCompiledBlock(IDirect3DDevice8* device, const void* block, size_t size, EffectFile** effect) {
    if (effect) *effect = nullptr;
    if (!device || !block || !effect) return D3DERR_INVALIDCALL;
    if (size > 0xFFFFFFFFu) return kEffectInvalidData;
    DataBuffer* buffer = nullptr;
    HRESULT hr = DataBuffer::CreateCopy(block, static_cast<DWORD>(size), &buffer);
    if (FAILED(hr)) return hr;
    hr = BuildEffect(device, buffer, nullptr, effect);
    buffer->Release();
    return hr;
}
