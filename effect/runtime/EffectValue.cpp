// Value classes of the effect runtime, one per type code, and the conversion table between them.
//
// [SECTION] Base class and helpers
// [SECTION] DWORD, FLOAT, VECTOR, MATRIX, STRING, CONSTANT
// [SECTION] TEXTURE
// [SECTION] VERTEXSHADER, PIXELSHADER
// [SECTION] Factory and conversions
#include "effect/runtime/EffectValue.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/d3d/d3d8.h"

// [SECTION] Base class and helpers

ULONG EffectValue::Release() {
    assert(refCount > 0);
    ULONG count = --refCount;
    if (count == 0) delete this;
    return count;
}

HRESULT EffectValue::Load(const BlockValue&) { return kEffectInvalidData; }
HRESULT EffectValue::SetDword(DWORD) { return kEffectInvalidData; }
HRESULT EffectValue::SetFloat(float) { return kEffectInvalidData; }
HRESULT EffectValue::SetVector(const float*) { return kEffectInvalidData; }
HRESULT EffectValue::SetMatrix(const float*) { return kEffectInvalidData; }
HRESULT EffectValue::SetMatrixTransposed(const float*) { return kEffectInvalidData; }
HRESULT EffectValue::SetTexture(IDirect3DBaseTexture8*) { return kEffectInvalidData; }
HRESULT EffectValue::SetVertexShader(DWORD) { return kEffectInvalidData; }
HRESULT EffectValue::SetPixelShader(DWORD) { return kEffectInvalidData; }
HRESULT EffectValue::SetString(const char*) { return kEffectInvalidData; }
HRESULT EffectValue::GetDword(DWORD*) { return kEffectInvalidData; }
HRESULT EffectValue::GetFloat(float*) { return kEffectInvalidData; }
HRESULT EffectValue::GetVector(float*) { return kEffectInvalidData; }
HRESULT EffectValue::GetMatrix(float*) { return kEffectInvalidData; }
HRESULT EffectValue::GetMatrixTransposed(float*) { return kEffectInvalidData; }
HRESULT EffectValue::GetTexture(IDirect3DBaseTexture8**) { return kEffectInvalidData; }
HRESULT EffectValue::GetVertexShader(DWORD*) { return kEffectInvalidData; }
HRESULT EffectValue::GetPixelShader(DWORD*) { return kEffectInvalidData; }
HRESULT EffectValue::GetString(const char**) { return kEffectInvalidData; }
bool EffectValue::IsOnDevice(IDirect3DDevice8*) const { return true; }
HRESULT EffectValue::SetShaderFrom(EffectValue&) { return kEffectInvalidData; }

DWORD DwordFromFloat(float value) {
    if (std::isnan(value)) return 0;
    double t = std::trunc(static_cast<double>(value));
    if (t < -2147483648.0) t = -2147483648.0;
    if (t > 4294967295.0) t = 4294967295.0;
    return static_cast<DWORD>(static_cast<int64_t>(t));
}

namespace {

// Integers given to float targets are signed, as the language writes them ("-1" is -1.0).
float FloatFromDword(DWORD value) { return static_cast<float>(static_cast<int32_t>(value)); }

void Transpose(const float* in, float* out) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[c * 4 + r] = in[r * 4 + c];
}

void CopyWords(float* out, const DWORD* words, size_t count) { std::memcpy(out, words, count * 4); }

// [SECTION] DWORD, FLOAT, VECTOR, MATRIX, STRING, CONSTANT

class DwordValue final : public EffectValue {
public:
    DwordValue() : EffectValue(EFFECT_DWORD) {}
    void Reset() override { value = 0; }
    HRESULT Load(const BlockValue& v) override {
        if (v.count != 1) return kEffectInvalidData;
        value = v.payload[0];
        return S_OK;
    }
    HRESULT SetDword(DWORD v) override { value = v; return S_OK; }
    HRESULT SetFloat(float v) override { value = DwordFromFloat(v); return S_OK; }
    HRESULT SetVector(const float* v) override { value = ColorFromVector(v); return S_OK; }
    HRESULT GetDword(DWORD* v) override { *v = value; return S_OK; }
    HRESULT GetFloat(float* v) override { *v = FloatFromDword(value); return S_OK; }
    HRESULT GetVector(float* v) override { VectorFromColor(value, v); return S_OK; }

private:
    DWORD value = 0;
};

class FloatValue final : public EffectValue {
public:
    FloatValue() : EffectValue(EFFECT_FLOAT) {}
    void Reset() override { value = 0.0f; }
    HRESULT Load(const BlockValue& v) override {
        if (v.count != 1) return kEffectInvalidData;
        CopyWords(&value, v.payload, 1);
        return S_OK;
    }
    HRESULT SetDword(DWORD v) override { value = FloatFromDword(v); return S_OK; }
    HRESULT SetFloat(float v) override { value = v; return S_OK; }
    HRESULT GetDword(DWORD* v) override { *v = DwordFromFloat(value); return S_OK; }
    HRESULT GetFloat(float* v) override { *v = value; return S_OK; }

private:
    float value = 0.0f;
};

class VectorValue final : public EffectValue {
public:
    VectorValue() : EffectValue(EFFECT_VECTOR) {}
    void Reset() override { value[0] = value[1] = value[2] = 0.0f; value[3] = 1.0f; }
    HRESULT Load(const BlockValue& v) override {
        if (v.count != 4) return kEffectInvalidData;
        CopyWords(value, v.payload, 4);
        return S_OK;
    }
    HRESULT SetDword(DWORD v) override { VectorFromColor(v, value); return S_OK; }
    HRESULT SetFloat(float v) override { value[0] = value[1] = value[2] = value[3] = v; return S_OK; }
    HRESULT SetVector(const float* v) override { std::memcpy(value, v, sizeof value); return S_OK; }
    HRESULT GetDword(DWORD* v) override { *v = ColorFromVector(value); return S_OK; }
    HRESULT GetFloat(float* v) override { *v = value[0]; return S_OK; }
    HRESULT GetVector(float* v) override { std::memcpy(v, value, sizeof value); return S_OK; }

private:
    float value[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

class MatrixValue final : public EffectValue {
public:
    MatrixValue() : EffectValue(EFFECT_MATRIX) { Reset(); }
    void Reset() override {
        for (int i = 0; i < 16; ++i) value[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    }
    HRESULT Load(const BlockValue& v) override {
        if (v.count != 16) return kEffectInvalidData;
        CopyWords(value, v.payload, 16);
        return S_OK;
    }
    HRESULT SetMatrix(const float* m) override { std::memcpy(value, m, sizeof value); return S_OK; }
    HRESULT SetMatrixTransposed(const float* m) override { Transpose(m, value); return S_OK; }
    HRESULT GetMatrix(float* m) override { std::memcpy(m, value, sizeof value); return S_OK; }
    HRESULT GetMatrixTransposed(float* m) override { Transpose(value, m); return S_OK; }

private:
    float value[16];
};

class StringValue final : public EffectValue {
public:
    StringValue() : EffectValue(EFFECT_STRING) {}
    void Reset() override { text.clear(); }
    HRESULT Load(const BlockValue& v) override {
        const char* bytes = reinterpret_cast<const char*>(v.payload);
        const void* end = v.count ? std::memchr(bytes, 0, static_cast<size_t>(v.count) * 4) : nullptr;
        if (!end) return kEffectInvalidData;
        text.assign(bytes, static_cast<const char*>(end));
        return S_OK;
    }
    HRESULT SetString(const char* t) override {
        if (!t) return kEffectInvalidData;
        text = t;
        return S_OK;
    }
    HRESULT GetString(const char** t) override { *t = text.c_str(); return S_OK; }

private:
    std::string text;
};

class ConstantValue final : public EffectValue {
public:
    ConstantValue() : EffectValue(EFFECT_CONSTANT) {}
    void Reset() override { registers.clear(); }
    // Compiled constants are whole registers of four floats.
    HRESULT Load(const BlockValue& v) override {
        if (v.count == 0 || v.count % 4 != 0) return kEffectInvalidData;
        registers.resize(v.count);
        CopyWords(registers.data(), v.payload, v.count);
        return S_OK;
    }
    HRESULT SetDword(DWORD v) override {
        float xyzw[4];
        VectorFromColor(v, xyzw);
        return SetVector(xyzw);
    }
    HRESULT SetFloat(float v) override {
        registers.assign(4, v);
        return S_OK;
    }
    HRESULT SetVector(const float* v) override {
        registers.assign(v, v + 4);
        return S_OK;
    }
    // A matrix goes into four registers as its columns, which is what shaders read rows from.
    HRESULT SetMatrix(const float* m) override {
        registers.resize(16);
        Transpose(m, registers.data());
        return S_OK;
    }
    HRESULT SetMatrixTransposed(const float* m) override {
        registers.assign(m, m + 16);
        return S_OK;
    }
    ConstantRegisters Registers() const {
        return {registers.data(), static_cast<UINT>(registers.size() / 4)};
    }

private:
    std::vector<float> registers;  // four floats per register in use
};

// [SECTION] TEXTURE

// Pool of a texture's top level (the only texture kind the device makes is the 2-D texture).
D3DPOOL TopLevelPool(IDirect3DBaseTexture8* texture) {
    D3DSURFACE_DESC desc{};
    if (texture->GetType() == D3DRTYPE_TEXTURE &&
        SUCCEEDED(static_cast<IDirect3DTexture8*>(texture)->GetLevelDesc(0, &desc))) {
        return desc.Pool;
    }
    return D3DPOOL_MANAGED;
}

class TextureValue final : public EffectValue {
public:
    explicit TextureValue(IDirect3DDevice8* d) : EffectValue(EFFECT_TEXTURE), device(d) {}
    ~TextureValue() override { Reset(); }
    void Reset() override {
        if (texture) texture->Release();
        texture = nullptr;
    }
    // Only 0 is a texture a number can name: none.
    HRESULT SetDword(DWORD v) override {
        if (v != 0) return kEffectInvalidData;
        Reset();
        return S_OK;
    }
    // A texture of another device is not kept: the value becomes none.
    HRESULT SetTexture(IDirect3DBaseTexture8* t) override {
        if (t == texture) return S_OK;
        IDirect3DBaseTexture8* kept = nullptr;
        if (t && device) {
            IDirect3DDevice8* owner = nullptr;
            if (SUCCEEDED(t->GetDevice(&owner)) && owner) {
                if (owner == device) kept = t;
                owner->Release();
            }
        }
        if (kept) kept->AddRef();
        Reset();
        texture = kept;
        return S_OK;
    }
    HRESULT GetTexture(IDirect3DBaseTexture8** t) override { *t = texture; return S_OK; }
    void OnLostDevice() override {
        if (texture && TopLevelPool(texture) == D3DPOOL_DEFAULT) Reset();
    }
    bool IsOnDevice(IDirect3DDevice8* d) const override { return d == device; }

private:
    IDirect3DDevice8* device;                 // not counted: the owning effect holds it
    IDirect3DBaseTexture8* texture = nullptr;  // counted reference
};

// [SECTION] VERTEXSHADER, PIXELSHADER

constexpr DWORD kDeclarationEnd = 0xFFFFFFFF;
constexpr DWORD kFunctionEnd = 0x0000FFFF;
constexpr DWORD kSoftwareVertexShaderVersion = 0xFFFE0101;

// Copies compiled tokens so that the device always finds their end token.
void CopyTokens(std::vector<DWORD>& out, const DWORD* words, size_t count, DWORD endToken) {
    out.assign(words, words + count);
    if (!out.empty() && out.back() != endToken) out.push_back(endToken);
}

// Reads a shader's tokens back from the device (size first, then data).
template <typename Getter>
HRESULT ReadBackTokens(std::vector<DWORD>& out, Getter get) {
    DWORD bytes = 0;
    HRESULT hr = get(nullptr, &bytes);
    if (FAILED(hr)) return hr;
    out.assign((bytes + 3) / 4, 0);
    if (bytes == 0) return S_OK;
    hr = get(out.data(), &bytes);
    if (FAILED(hr)) out.clear();
    return hr;
}

class VertexShaderValue final : public EffectValue {
public:
    explicit VertexShaderValue(IDirect3DDevice8* d) : EffectValue(EFFECT_VERTEXSHADER), device(d) {
        if (!device) return;
        D3DCAPS8 caps{};
        D3DDEVICE_CREATION_PARAMETERS params{};
        device->GetDeviceCaps(&caps);
        device->GetCreationParameters(&params);
        bool software = (params.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
        bool mixed = (params.BehaviorFlags & D3DCREATE_MIXED_VERTEXPROCESSING) != 0;
        version[kSoftware] = (software || mixed) ? kSoftwareVertexShaderVersion : 0;
        version[kHardware] = software ? 0 : caps.VertexShaderVersion;
    }
    ~VertexShaderValue() override { DeleteShaders(); }

    void Reset() override {
        DeleteShaders();
        declaration.clear();
        function.clear();
        hasTokens = false;
        handle[0] = handle[1] = 0;
    }
    HRESULT Load(const BlockValue& v) override {
        if (v.count < 1 || v.payload[0] > v.count - 1) return kEffectInvalidData;
        DWORD declarationCount = v.payload[0];
        Reset();
        CopyTokens(declaration, v.payload + 1, declarationCount, kDeclarationEnd);
        CopyTokens(function, v.payload + 1 + declarationCount, v.count - 1 - declarationCount, kFunctionEnd);
        hasTokens = !declaration.empty() || !function.empty();
        if (declaration.empty() && hasTokens) declaration.push_back(kDeclarationEnd);
        return S_OK;
    }
    HRESULT SetDword(DWORD v) override { return SetVertexShader(v); }
    HRESULT SetVertexShader(DWORD h) override {
        if (Holds(h)) return S_OK;
        if ((h & 1) && h != kNoShaderHandle) {
            // A created shader: take its tokens, so this value makes its own shaders later.
            if (!device) return D3DERR_INVALIDCALL;
            std::vector<DWORD> decl, func;
            HRESULT hr = ReadBackTokens(decl, [&](void* data, DWORD* size) {
                return device->GetVertexShaderDeclaration(h, data, size);
            });
            if (SUCCEEDED(hr)) {
                hr = ReadBackTokens(func, [&](void* data, DWORD* size) {
                    return device->GetVertexShaderFunction(h, data, size);
                });
            }
            if (FAILED(hr)) return hr;
            Reset();
            CopyTokens(declaration, decl.data(), decl.size(), kDeclarationEnd);
            CopyTokens(function, func.data(), func.size(), kFunctionEnd);
            if (declaration.empty()) declaration.push_back(kDeclarationEnd);
            hasTokens = true;
            return S_OK;
        }
        // A vertex format (or no shader): kept as both handles.
        Reset();
        handle[0] = handle[1] = h;
        return S_OK;
    }
    HRESULT GetVertexShader(DWORD* h) override { *h = CurrentHandle(); return S_OK; }
    HRESULT SetShaderFrom(EffectValue& source) override {
        if (source.Type() != Type()) return kEffectInvalidData;
        if (&source == this) return S_OK;
        auto& from = static_cast<VertexShaderValue&>(source);
        if (!from.hasTokens) return SetVertexShader(from.handle[0]);
        Reset();
        declaration = from.declaration;
        function = from.function;
        hasTokens = true;
        return S_OK;
    }
    void OnLostDevice() override { DeleteShaders(); }
    bool IsDynamic() const override { return version[kSoftware] != 0 && version[kHardware] != 0; }
    bool IsOnDevice(IDirect3DDevice8* d) const override { return d == device; }

    // The handle for the device's current vertex processing, made on first use.
    DWORD CurrentHandle() {
        if (!hasTokens) return handle[0];
        int mode = CurrentMode();
        if (!made[mode]) {
            made[mode] = true;
            handle[mode] = kNoShaderHandle;
            bool versionOk = function.empty() || function[0] == 0xFFFEFFFF ||
                             (version[mode] & 0xFFFF) >= (function[0] & 0xFFFF);
            DWORD h = 0;
            if (device && versionOk &&
                SUCCEEDED(device->CreateVertexShader(declaration.data(), function.empty() ? nullptr : function.data(),
                                                     &h, mode == kSoftware ? D3DUSAGE_SOFTWAREPROCESSING : 0))) {
                handle[mode] = h;
                created[mode] = true;
            }
        }
        return handle[mode];
    }

private:
    static constexpr int kSoftware = 0, kHardware = 1;

    int CurrentMode() const {
        if (version[kSoftware] && version[kHardware]) {
            DWORD software = 0;
            if (device) device->GetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, &software);
            return software ? kSoftware : kHardware;
        }
        return version[kSoftware] ? kSoftware : kHardware;
    }
    bool Holds(DWORD h) const {
        if (!hasTokens) return h == handle[0];
        return (made[0] && h == handle[0] && h != kNoShaderHandle) ||
               (made[1] && h == handle[1] && h != kNoShaderHandle);
    }
    void DeleteShaders() {
        for (int m = 0; m < 2; ++m) {
            if (created[m] && device) device->DeleteVertexShader(handle[m]);
            created[m] = made[m] = false;
            if (hasTokens) handle[m] = kNoShaderHandle;
        }
    }

public:
    const std::vector<DWORD>& Declaration() const { return declaration; }
    const std::vector<DWORD>& Function() const { return function; }

private:
    IDirect3DDevice8* device;      // not counted: the owning effect holds it
    DWORD version[2] = {0, 0};     // software-capable and hardware vertex shader versions
    DWORD handle[2] = {0, 0};      // per mode; both the raw handle when !hasTokens
    bool made[2] = {false, false};     // creation tried for that mode
    bool created[2] = {false, false};  // handle is a shader this value must delete
    bool hasTokens = false;
    std::vector<DWORD> declaration;  // ends with the declaration end token
    std::vector<DWORD> function;     // ends with the function end token, or empty
};

class PixelShaderValue final : public EffectValue {
public:
    explicit PixelShaderValue(IDirect3DDevice8* d) : EffectValue(EFFECT_PIXELSHADER), device(d) {
        if (!device) return;
        D3DCAPS8 caps{};
        device->GetDeviceCaps(&caps);
        version = caps.PixelShaderVersion;
    }
    ~PixelShaderValue() override { DeleteShader(); }

    void Reset() override {
        DeleteShader();
        function.clear();
        handle = 0;
    }
    // The payload's declaration part (empty for pixel shaders) is skipped.
    HRESULT Load(const BlockValue& v) override {
        if (v.count < 1 || v.payload[0] > v.count - 1) return kEffectInvalidData;
        DWORD skip = 1 + v.payload[0];
        Reset();
        CopyTokens(function, v.payload + skip, v.count - skip, kFunctionEnd);
        return S_OK;
    }
    HRESULT SetDword(DWORD v) override { return SetPixelShader(v); }
    HRESULT SetPixelShader(DWORD h) override {
        if (function.empty() ? h == handle : (made && h == handle && h != kNoShaderHandle)) return S_OK;
        if (h != 0 && h != kNoShaderHandle) {
            if (!device) return D3DERR_INVALIDCALL;
            std::vector<DWORD> func;
            HRESULT hr = ReadBackTokens(func, [&](void* data, DWORD* size) {
                return device->GetPixelShaderFunction(h, data, size);
            });
            if (FAILED(hr)) return hr;
            Reset();
            CopyTokens(function, func.data(), func.size(), kFunctionEnd);
            return S_OK;
        }
        Reset();
        handle = h;
        return S_OK;
    }
    HRESULT GetPixelShader(DWORD* h) override { *h = CurrentHandle(); return S_OK; }
    HRESULT SetShaderFrom(EffectValue& source) override {
        if (source.Type() != Type()) return kEffectInvalidData;
        if (&source == this) return S_OK;
        auto& from = static_cast<PixelShaderValue&>(source);
        if (from.function.empty()) return SetPixelShader(from.handle);
        Reset();
        function = from.function;
        return S_OK;
    }
    void OnLostDevice() override { DeleteShader(); }
    bool IsOnDevice(IDirect3DDevice8* d) const override { return d == device; }

    DWORD CurrentHandle() {
        if (function.empty()) return handle;
        if (!made) {
            made = true;
            handle = kNoShaderHandle;
            bool versionOk = function[0] == 0xFFFFFFFF || (version & 0xFFFF) >= (function[0] & 0xFFFF);
            DWORD h = 0;
            if (device && versionOk && SUCCEEDED(device->CreatePixelShader(function.data(), &h))) {
                handle = h;
                created = true;
            }
        }
        return handle;
    }

private:
    void DeleteShader() {
        if (created && device) device->DeletePixelShader(handle);
        created = made = false;
        if (!function.empty()) handle = kNoShaderHandle;
    }

public:
    const std::vector<DWORD>& Function() const { return function; }

private:
    IDirect3DDevice8* device;  // not counted: the owning effect holds it
    DWORD version = 0;         // the device's pixel shader version
    DWORD handle = 0;          // raw handle when there is no function
    bool made = false;
    bool created = false;
    std::vector<DWORD> function;
};

// [SECTION] Factory and conversions

HRESULT FromDword(EffectValue& from, EffectValue& to) {
    DWORD v = 0;
    from.GetDword(&v);
    return to.SetDword(v);
}
HRESULT FromFloat(EffectValue& from, EffectValue& to) {
    float v = 0;
    from.GetFloat(&v);
    return to.SetFloat(v);
}
HRESULT FromVector(EffectValue& from, EffectValue& to) {
    float v[4];
    from.GetVector(v);
    return to.SetVector(v);
}
HRESULT FromMatrix(EffectValue& from, EffectValue& to) {
    float m[16];
    from.GetMatrix(m);
    return to.SetMatrix(m);
}
HRESULT FromTexture(EffectValue& from, EffectValue& to) {
    IDirect3DBaseTexture8* t = nullptr;
    from.GetTexture(&t);
    return to.SetTexture(t);
}
HRESULT FromShader(EffectValue& from, EffectValue& to) { return to.SetShaderFrom(from); }
HRESULT FromString(EffectValue& from, EffectValue& to) {
    const char* t = "";
    from.GetString(&t);
    return to.SetString(t);
}
HRESULT NoConversion(EffectValue&, EffectValue&) { return kEffectInvalidData; }

// How a value of each type is given to another value: read with the source's own getter,
// written with the matching setter of the target (which converts or refuses).
constexpr HRESULT (*kConversions[EFFECT_TYPE_COUNT])(EffectValue&, EffectValue&) = {
    FromDword, FromFloat, FromVector, FromMatrix, FromTexture, FromShader, FromShader, NoConversion, FromString,
};

}  // namespace

ConstantRegisters GetConstantRegisters(const EffectValue& value) {
    assert(value.Type() == EFFECT_CONSTANT);
    return static_cast<const ConstantValue&>(value).Registers();
}

const std::vector<DWORD>* ShaderTokensOf(const EffectValue& value, const std::vector<DWORD>** declaration) {
    *declaration = nullptr;
    if (value.Type() == EFFECT_PIXELSHADER) return &static_cast<const PixelShaderValue&>(value).Function();
    if (value.Type() != EFFECT_VERTEXSHADER) return nullptr;
    const auto& vertex = static_cast<const VertexShaderValue&>(value);
    *declaration = &vertex.Declaration();
    return &vertex.Function();
}

EffectValue* CreateEffectValue(DWORD type, IDirect3DDevice8* device) {
    EffectValue* value = nullptr;
    switch (type) {
        case EFFECT_DWORD: value = new (std::nothrow) DwordValue; break;
        case EFFECT_FLOAT: value = new (std::nothrow) FloatValue; break;
        case EFFECT_VECTOR: value = new (std::nothrow) VectorValue; break;
        case EFFECT_MATRIX: value = new (std::nothrow) MatrixValue; break;
        case EFFECT_TEXTURE: value = new (std::nothrow) TextureValue(device); break;
        case EFFECT_VERTEXSHADER: value = new (std::nothrow) VertexShaderValue(device); break;
        case EFFECT_PIXELSHADER: value = new (std::nothrow) PixelShaderValue(device); break;
        case EFFECT_CONSTANT: value = new (std::nothrow) ConstantValue; break;
        case EFFECT_STRING: value = new (std::nothrow) StringValue; break;
        default: break;
    }
    return value;
}

HRESULT ConvertValue(EffectValue& from, EffectValue& to) {
    assert(IsKnownType(from.Type()));
    return kConversions[from.Type()](from, to);
}

HRESULT LoadValue(EffectValue& target, const BlockValue& value, IDirect3DDevice8* device) {
    if (value.kind == target.Type()) return target.Load(value);
    EffectValue* temporary = CreateEffectValue(value.kind, device);
    if (!temporary) return E_OUTOFMEMORY;
    HRESULT hr = temporary->Load(value);
    if (SUCCEEDED(hr)) hr = ConvertValue(*temporary, target);
    temporary->Release();
    return hr;
}
