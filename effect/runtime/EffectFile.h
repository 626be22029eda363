// EffectFile: a compiled effect bound to one Direct3D 8 device. Techniques and parameters are
// looked up by name or index, parameters set and read, techniques validated against the
// device, and drawn with Begin, Pass and End, which save and restore the states they touch.
#pragma once

#include <cstddef>

#include "effect/runtime/NameOrIndex.h"
#include "platform/win/WinTypes.h"

class DataBuffer;
class IDirect3DDevice8;
class IDirect3DBaseTexture8;
struct D3DMATRIX;

// Interface identifiers QueryInterface accepts.
constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID IID_EffectFile = {0x648B1CEB, 0x8D4E, 0x4D66, {0xB6, 0xFA, 0xE4, 0x49, 0x69, 0xE8, 0x2E, 0x89}};

struct EffectDesc {
    UINT Parameters;
    UINT Techniques;
};
struct EffectParameterDesc {
    const char* Name;  // lives as long as the effect
    UINT Index;
    DWORD Type;        // type code (EFFECT_DWORD ...)
};
struct EffectTechniqueDesc {
    const char* Name;  // empty for an unnamed technique; lives as long as the effect
    UINT Index;
    UINT Passes;
};
struct EffectPassDesc {
    const char* Name;
    UINT Index;
};

// Begin flag: do not save the device states (End then leaves them as the passes set them).
constexpr DWORD EFFECT_DONOTSAVESTATE = 1;

// The operations in the order of the effect's interface table. Names: see NameOrIndex. Unknown
// names, null outputs and calls in the wrong state answer D3DERR_INVALIDCALL and change nothing.
class EffectFile {
public:
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;  // adds a reference
    virtual HRESULT GetDesc(EffectDesc* desc) = 0;
    virtual HRESULT GetParameterDesc(NameOrIndex parameter, EffectParameterDesc* desc) = 0;
    virtual HRESULT GetTechniqueDesc(NameOrIndex technique, EffectTechniqueDesc* desc) = 0;
    virtual HRESULT GetPassDesc(NameOrIndex technique, NameOrIndex pass, EffectPassDesc* desc) = 0;
    // First technique at or after `technique` (null: the first) that validates; E_FAIL if none.
    virtual HRESULT FindNextValidTechnique(NameOrIndex technique, EffectTechniqueDesc* desc) = 0;
    virtual HRESULT CloneEffect(IDirect3DDevice8* device, EffectFile** effect) = 0;
    virtual HRESULT GetCompiledEffect(DataBuffer** buffer) = 0;  // adds a reference
    virtual HRESULT SetTechnique(NameOrIndex technique) = 0;
    virtual HRESULT GetTechnique(const char** name) = 0;  // E_FAIL when there is none
    virtual HRESULT SetDword(NameOrIndex parameter, DWORD value) = 0;
    virtual HRESULT GetDword(NameOrIndex parameter, DWORD* value) = 0;
    virtual HRESULT SetFloat(NameOrIndex parameter, float value) = 0;
    virtual HRESULT GetFloat(NameOrIndex parameter, float* value) = 0;
    virtual HRESULT SetVector(NameOrIndex parameter, const float* xyzw) = 0;
    virtual HRESULT GetVector(NameOrIndex parameter, float* xyzw) = 0;
    virtual HRESULT SetMatrix(NameOrIndex parameter, const D3DMATRIX* matrix) = 0;
    virtual HRESULT GetMatrix(NameOrIndex parameter, D3DMATRIX* matrix) = 0;
    virtual HRESULT SetTexture(NameOrIndex parameter, IDirect3DBaseTexture8* texture) = 0;
    virtual HRESULT GetTexture(NameOrIndex parameter, IDirect3DBaseTexture8** texture) = 0;  // adds a reference
    virtual HRESULT SetVertexShader(NameOrIndex parameter, DWORD handle) = 0;
    virtual HRESULT GetVertexShader(NameOrIndex parameter, DWORD* handle) = 0;
    virtual HRESULT SetPixelShader(NameOrIndex parameter, DWORD handle) = 0;
    virtual HRESULT GetPixelShader(NameOrIndex parameter, DWORD* handle) = 0;
    virtual HRESULT SetString(NameOrIndex parameter, const char* text) = 0;
    virtual HRESULT GetString(NameOrIndex parameter, const char** text) = 0;
    virtual BOOL IsParameterUsed(NameOrIndex parameter) = 0;
    virtual HRESULT Validate() = 0;
    virtual HRESULT Begin(UINT* passes, DWORD flags) = 0;
    virtual HRESULT Pass(UINT pass) = 0;
    virtual HRESULT End() = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
    virtual HRESULT SetMatrixTranspose(NameOrIndex parameter, const D3DMATRIX* transposed) = 0;
    virtual HRESULT GetMatrixTranspose(NameOrIndex parameter, D3DMATRIX* transposed) = 0;

protected:
    virtual ~EffectFile() = default;  // Release destroys
};

// Makes an effect on `device` from a compiled effect buffer (a counted reference is kept).
// Wrong shape: 0x88760B59 with nothing left behind; E_OUTOFMEMORY; D3DERR_INVALIDCALL for null
// arguments.
HRESULT CreateEffectFromCompiledBuffer(IDirect3DDevice8* device, DataBuffer* compiled, EffectFile** effect);
// The same from bytes, copied into a new buffer first.
HRESULT CreateEffectFromCompiledBlock(IDirect3DDevice8* device, const void* block, size_t size,
                                      EffectFile** effect);

