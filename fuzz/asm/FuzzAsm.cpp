// Fuzz target: any bytes as shader assembly, with and without debug comments. A successful
// assembly must end with the end token and start with a shader version.
#include "effect/ShaderAssembler.h"

#include <cassert>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* text = reinterpret_cast<const char*>(data);
    DWORD flags = ASSEMBLE_SKIPVALIDATION | ((data[0] & 1) ? ASSEMBLE_DEBUG : 0u);
    const char* file = (data[0] & 2) ? nullptr : "fuzz.vsh";
    DataBuffer *constants = nullptr, *function = nullptr, *messages = nullptr;
    HRESULT hr = AssembleShader(text, static_cast<UINT>(size), file, 1, flags, &constants, &function, &messages);
    if (SUCCEEDED(hr)) {
        const uint32_t* w = static_cast<const uint32_t*>(function->GetBufferPointer());
        size_t n = function->GetBufferSize() / 4;
        assert(n >= 12 && w[n - 1] == 0x0000FFFFu && (w[0] >> 17) == 0x7FFF);
        (void)w;
        (void)n;
        function->Release();
        constants->Release();
    }
    const char* m = static_cast<const char*>(messages->GetBufferPointer());
    assert(m[messages->GetBufferSize() - 1] == '\0');
    (void)m;
    messages->Release();
    return 0;
}
