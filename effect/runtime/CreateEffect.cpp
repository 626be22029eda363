// Effect creation: the compiler's block handed to the runtime, from memory or from a file.
#include "effect/runtime/CreateEffect.h"

#include <vector>

#include "effect/FileBytes.h"

HRESULT CreateEffect(IDirect3DDevice8* device, const void* source, UINT length, const char* fileName,
                     EffectFile** effect, DataBuffer** messages) {
    if (effect) *effect = nullptr;
    if (messages) *messages = nullptr;
    if (!source || length == 0 || (effect && !device)) return D3DERR_INVALIDCALL;
    DataBuffer* compiled = nullptr;
    HRESULT hr = CompileEffect(source, length, fileName, effect ? &compiled : nullptr, messages);
    if (FAILED(hr) || !effect) return hr;
    hr = CreateEffectFromCompiledBuffer(device, compiled, effect);
    compiled->Release();
    return hr;
}

HRESULT CreateEffectFromFile(IDirect3DDevice8* device, const char* fileName, EffectFile** effect,
                             DataBuffer** messages) {
    if (effect) *effect = nullptr;
    if (messages) *messages = nullptr;
    if (!fileName) return D3DXERR_INVALIDDATA;
    std::vector<char> bytes;
    // An empty file cannot be mapped, so it fails like a missing one.
    if (!ReadFileBytes(fileName, &bytes) || bytes.empty()) return D3DXERR_INVALIDDATA;
    if (bytes.size() > 0xFFFFFFFFu) return D3DXERR_INVALIDDATA;
    HRESULT hr = CreateEffect(device, bytes.data(), static_cast<UINT>(bytes.size()), fileName, effect, messages);
    return SUCCEEDED(hr) ? S_OK : hr;
}
