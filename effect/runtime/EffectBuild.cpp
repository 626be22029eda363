// Building an effect object from a compiled block: parameters, techniques, passes and their
// assignments, each optionally starting from a source effect's values (a clone); and BuildEffect.
#include "effect/runtime/EffectBuild.h"

#include <cstring>
#include <new>

#include "effect/runtime/EffectObject.h"
#include "effect/runtime/EffectTypes.h"

namespace effectimpl {

namespace {

D3DLIGHT8 DefaultLight() {
    D3DLIGHT8 light;
    std::memset(&light, 0, sizeof light);
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    return light;
}

}  // namespace

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

}  // namespace effectimpl

using effectimpl::EffectObject;

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
