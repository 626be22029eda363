// Value objects of the effect runtime: one class per type code behind one virtual interface,
// so parameters, assignments and the conversions between types all go through the same calls.
// Unsupported operations answer the invalid-data result; conversions follow one table.
#pragma once

#include <string>
#include <vector>

#include "effect/runtime/EffectBlock.h"
#include "effect/runtime/EffectTypes.h"
#include "platform/win/WinTypes.h"

class IDirect3DDevice8;
class IDirect3DBaseTexture8;

// Shader handle that means "no usable shader" (not made, or made and refused by the device).
constexpr DWORD kNoShaderHandle = 0xFFFFFFFF;

class EffectValue {
public:
    EffectValue(const EffectValue&) = delete;
    EffectValue& operator=(const EffectValue&) = delete;

    DWORD Type() const { return type; }
    ULONG AddRef() { return ++refCount; }
    ULONG Release();

    // Operations in the order of the value interface; each answers kEffectInvalidData unless the
    // class supports it.
    virtual ~EffectValue() = default;
    virtual void Reset() = 0;
    // Loads the payload of a compiled value whose kind equals this value's type.
    virtual HRESULT Load(const BlockValue& value);
    virtual HRESULT SetDword(DWORD value);
    virtual HRESULT SetFloat(float value);
    virtual HRESULT SetVector(const float* xyzw);
    virtual HRESULT SetMatrix(const float* m16);
    virtual HRESULT SetMatrixTransposed(const float* m16);
    virtual HRESULT SetTexture(IDirect3DBaseTexture8* texture);
    virtual HRESULT SetVertexShader(DWORD handle);
    virtual HRESULT SetPixelShader(DWORD handle);
    virtual HRESULT SetString(const char* text);
    virtual HRESULT GetDword(DWORD* value);
    virtual HRESULT GetFloat(float* value);
    virtual HRESULT GetVector(float* xyzw);
    virtual HRESULT GetMatrix(float* m16);
    virtual HRESULT GetMatrixTransposed(float* m16);
    // The texture without a reference added (callers that hand it out add one).
    virtual HRESULT GetTexture(IDirect3DBaseTexture8** texture);
    virtual HRESULT GetVertexShader(DWORD* handle);
    virtual HRESULT GetPixelShader(DWORD* handle);
    virtual HRESULT GetString(const char** text);
    virtual void OnLostDevice() {}
    // Dynamic values must be applied on every Pass, never recorded in a state block.
    virtual bool IsDynamic() const { return false; }
    // Whether the value may be shared by an effect on `device` (it holds no other device's object).
    virtual bool IsOnDevice(IDirect3DDevice8* device) const;
    // Shader classes: takes the tokens (or the raw handle) of another value of the same type.
    virtual HRESULT SetShaderFrom(EffectValue& source);

protected:
    explicit EffectValue(DWORD t) : type(t) {}

private:
    DWORD type;
    ULONG refCount = 1;
};

// Registers of a CONSTANT value, for the shader-constant states.
struct ConstantRegisters {
    const float* data = nullptr;  // four floats per register
    UINT count = 0;               // registers in use
};
ConstantRegisters GetConstantRegisters(const EffectValue& value);

// A shader value's function tokens (null for any other value, empty when it holds none) and,
// for a vertex shader, its declaration tokens in *declaration (else null).
const std::vector<DWORD>* ShaderTokensOf(const EffectValue& value, const std::vector<DWORD>** declaration);

// Makes a value object of `type` in its default state, bound to `device` (may be null: shaders
// are then never made and textures never kept). Null for an unknown type or no memory.
EffectValue* CreateEffectValue(DWORD type, IDirect3DDevice8* device);

// Gives `from`'s value to `to`, converting between the type codes (kEffectInvalidData for a
// pair that has no conversion).
HRESULT ConvertValue(EffectValue& from, EffectValue& to);

// Loads a compiled value into `target`: directly when the kinds agree, otherwise through a
// temporary value of the compiled kind and a conversion.
HRESULT LoadValue(EffectValue& target, const BlockValue& value, IDirect3DDevice8* device);

// A float truncated toward zero into 32 bits, defined for every input (NaN gives 0, values
// beyond the 32-bit range saturate).
DWORD DwordFromFloat(float value);
