// The effect object's interface operations (descriptions, lookups, parameter access, Begin/Pass/End)
// and the entry points that build an effect from a compiled block. Building is in EffectBuild.cpp,
// applying assignments and validation in EffectApply.cpp.
#include "effect/runtime/EffectFile.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "effect/runtime/EffectBuild.h"
#include "effect/runtime/EffectObject.h"
#include "effect/runtime/EffectTypes.h"

namespace effectimpl {

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

HRESULT EffectObject::ExplainTechnique(NameOrIndex name, TechniqueFault* fault) {
    if (!fault) return D3DERR_INVALIDCALL;
    *fault = TechniqueFault{};
    if (begun || !device) return D3DERR_INVALIDCALL;
    EffectTechnique* technique = FindTechnique(name);
    if (!technique) return D3DERR_INVALIDCALL;
    HRESULT hr = ValidateTechnique(*technique, fault);
    if (SUCCEEDED(hr)) *fault = TechniqueFault{};
    return hr;
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

}  // namespace effectimpl

// [SECTION] Entry points

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
