// Fuzz target: any bytes as an effect text. Checks the compiled block's framing on success.
#include "effect/CompileEffect.h"

#include <cassert>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DataBuffer *compiled = nullptr, *messages = nullptr;
    HRESULT hr = CompileEffect(data, static_cast<UINT>(size), "fuzz.fx", &compiled, &messages);
    if (messages) {
        const char* text = static_cast<const char*>(messages->GetBufferPointer());
        assert(text[messages->GetBufferSize() - 1] == '\0');
        (void)text;
        messages->Release();
    }
    if (SUCCEEDED(hr)) {
        assert(compiled);
        const uint32_t* w = static_cast<const uint32_t*>(compiled->GetBufferPointer());
        if (!(size >= 4 && std::memcmp(data, "FX81", 4) == 0)) {
            assert(compiled->GetBufferSize() == 4 * (3 + w[2]));
            assert(w[1] == 0);
        }
        (void)w;
        compiled->Release();
    }
    return 0;
}
