// Fuzz target: any bytes as a vertex declaration. Success always ends with the end token.
#include "effect/DeclarationCompiler.h"

#include <cassert>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char kEmpty[] = "";
    const char* text = size ? reinterpret_cast<const char*>(data) : kEmpty;
    DataBuffer *tokens = nullptr, *messages = nullptr;
    HRESULT hr = CompileDeclaration(text, static_cast<UINT>(size), "fuzz.decl", 1, &tokens, &messages);
    if (SUCCEEDED(hr)) {
        const uint32_t* w = static_cast<const uint32_t*>(tokens->GetBufferPointer());
        size_t n = tokens->GetBufferSize() / 4;
        assert(n >= 1 && w[n - 1] == 0xFFFFFFFFu);
        (void)w;
        (void)n;
        tokens->Release();
    }
    messages->Release();
    return 0;
}
