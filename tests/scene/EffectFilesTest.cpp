// The effect files compile without a message, and every shader in them passes the
// platform's validator (the shader technique must really be a choice on the device).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "effect/CompileEffect.h"
#include "platform/d3d/shader/ShaderValidator.h"

namespace {

std::string ReadMedia(const std::string& relative) {
    const char* top = std::getenv("SIMMERGLASS_SOURCE_DIR");
    std::ifstream file(std::string(top ? top : SG_SOURCE_DIR) + "/media/" + relative, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

uint32_t Tag(const char* s) {
    uint32_t t = 0;
    std::memcpy(&t, s, std::min<size_t>(4, std::strlen(s)));
    return t;
}

struct Shaders {
    int vertex = 0, pixel = 0;
    std::vector<std::string> errors;
};

// Walks one serialized node (tag, data count, children size, data, children) and validates
// the shader values in it; returns the number of words it took.
size_t Walk(const uint32_t* words, size_t available, Shaders* found) {
    if (available < 3) {
        ADD_FAILURE() << "truncated node";
        return available;
    }
    const size_t data = words[1], children = words[2], size = 3 + data + children;
    if (size > available) {
        ADD_FAILURE() << "node larger than its parent";
        return available;
    }
    const uint32_t* payload = words + 3;
    if (words[0] == Tag("VALU") && data >= 2 && (payload[0] == 5 || payload[0] == 6)) {
        const size_t declCount = payload[1];
        const uint32_t* decl = payload + 2;
        const uint32_t* function = decl + declCount;
        const size_t functionCount = data - 2 - declCount;
        char* errors = nullptr;
        HRESULT hr;
        if (payload[0] == 5) {
            ++found->vertex;
            hr = ValidateVertexShaderN(function, functionCount, declCount ? decl : nullptr, declCount,
                                       nullptr, TRUE, &errors);
        } else {
            ++found->pixel;
            hr = ValidatePixelShaderN(function, functionCount, nullptr, TRUE, &errors);
        }
        if (FAILED(hr)) found->errors.push_back(errors ? errors : "validation failed");
        FreeValidatorErrors(errors);
    }
    size_t at = 3 + data;
    while (at < size) at += Walk(words + at, size - at, found);
    return size;
}

}  // namespace

TEST(EffectFiles, CompileWithoutMessagesAndTheirShadersValidate) {
    for (const char* name : {"efx/Water.sha", "efx/Particle.sha", "efx/BaseTexEnvi.sha", "efx/BlendEnvi.sha", "efx/Steam.sha",
                              "efx/Caustics.sha"}) {
        SCOPED_TRACE(name);
        std::string text = ReadMedia(name);
        ASSERT_FALSE(text.empty());
        DataBuffer* compiled = nullptr;
        DataBuffer* messages = nullptr;
        HRESULT hr = CompileEffect(text.data(), static_cast<UINT>(text.size()), name, &compiled, &messages);
        ASSERT_NE(messages, nullptr);
        EXPECT_STREQ(static_cast<const char*>(messages->GetBufferPointer()), "");
        messages->Release();
        ASSERT_EQ(hr, S_OK);
        ASSERT_NE(compiled, nullptr);
        const auto* words = static_cast<const uint32_t*>(compiled->GetBufferPointer());
        const size_t count = compiled->GetBufferSize() / 4;
        Shaders found;
        EXPECT_EQ(Walk(words, count, &found), count);
        compiled->Release();
        EXPECT_EQ(found.vertex, 1);
        EXPECT_EQ(found.pixel, 1);
        for (const std::string& e : found.errors) ADD_FAILURE() << e;
    }
}
