// Fuzz target: random token streams through the validator, the translator and the declaration
// reader. The first byte picks the kind (bit 0: pixel) and whether the tokens also go in as a
// declaration (bit 1); the rest are the tokens, copied to an exact-size block so that any read
// past the end is caught.
#include "platform/d3d/shader/ShaderTranslator.h"
#include "platform/d3d/shader/ShaderValidator.h"
#include "platform/d3d/shader/VertexDeclaration.h"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    bool pixel = data[0] & 1;
    bool declaration = data[0] & 2;
    size_t count = (size - 1) / sizeof(DWORD);
    std::unique_ptr<DWORD[]> tokens(new DWORD[count ? count : 1]);
    if (count) std::memcpy(tokens.get(), data + 1, count * sizeof(DWORD));

    char* errors = nullptr;
    HRESULT hr = pixel ? ValidatePixelShaderN(tokens.get(), count, nullptr, TRUE, &errors)
                       : ValidateVertexShaderN(tokens.get(), count, nullptr, 0, nullptr, TRUE, &errors);
    // A failure always comes with one line of text, a success with none.
    assert(SUCCEEDED(hr) == (errors == nullptr));
    if (errors) {
        size_t len = std::strlen(errors);
        assert(len > 1 && errors[len - 1] == '\n' && !std::memchr(errors, '\n', len - 1));
        (void)len;
    }
    FreeValidatorErrors(errors);

    shader::TranslatedShader out;
    std::string error;
    HRESULT th = shader::TranslateShader(tokens.get(), count, pixel, shader::ShaderCaps{}, shader::TranslateOptions{},
                                         &out, &error);
    assert(th == hr);
    if (SUCCEEDED(th)) {
        assert(out.glsl.find(pixel ? "vec4 sg_PixelStage()" : "void sg_VertexStage()") != std::string::npos);
        assert(pixel || (out.outputMask & shader::OUT_POS));
    }
    (void)th;

    if (declaration) {
        shader::VertexDeclarationDesc desc;
        if (shader::ParseVertexDeclaration(tokens.get(), count, 96, &desc, &error)) {
            assert(desc.tokenCount >= 1 && desc.tokenCount <= count);
            for (const shader::VertexElement& e : desc.elements)
                assert(e.stream < shader::MAX_DECL_STREAMS && e.reg <= shader::MAX_DECL_REGISTER);
            for (const shader::ConstantLoad& c : desc.constants) assert(c.first + c.values.size() / 4 <= 96);
        }
        if (!pixel && count) {
            // The shader against a declaration made of the same words, bounded the same way.
            ValidateVertexShaderN(tokens.get(), count, tokens.get(), count, nullptr, FALSE, nullptr);
        }
    }
    return 0;
}
