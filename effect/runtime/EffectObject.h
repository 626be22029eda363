// The effect object behind EffectFile and its records (parameters, techniques, passes, assignments),
// shared by EffectBuild.cpp, EffectApply.cpp and EffectFile.cpp; private to the effect runtime.
#pragma once

#include <cassert>
#include <memory>
#include <vector>

#include "effect/DataBuffer.h"
#include "effect/runtime/EffectBlock.h"
#include "effect/runtime/EffectFile.h"
#include "effect/runtime/EffectValidation.h"
#include "effect/runtime/EffectValue.h"
#include "platform/d3d/d3d8.h"

namespace effectimpl {

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
    // Validates a technique as Validate does, and says why it fails (EffectValidation.h).
    HRESULT ExplainTechnique(NameOrIndex technique, TechniqueFault* fault);

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
    // The device's capability checks of one assignment; `fault` (may be null) learns why not.
    HRESULT CheckAssignment(const D3DCAPS8& caps, EffectAssignment& assignment, TechniqueFault* fault);
    void BeginTechnique(EffectTechnique& technique, DWORD flags);
    HRESULT ApplyPass(EffectPass& pass);
    void EndTechnique(EffectTechnique& technique);
    HRESULT ValidateTechnique(EffectTechnique& technique, TechniqueFault* fault = nullptr);

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

}  // namespace effectimpl
