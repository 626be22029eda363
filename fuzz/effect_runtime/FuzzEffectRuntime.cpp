// Fuzz target: random and mutated compiled effect blocks fed to the effect builder without a
// device (the shape checks, the model and every value conversion), then the parameter
// operations on whatever effect comes out.
#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/DataBuffer.h"
#include "effect/runtime/EffectBlock.h"
#include "effect/runtime/EffectBuild.h"
#include "platform/d3d/d3d8types.h"

namespace {

void Exercise(EffectFile* effect) {
    EffectDesc desc{};
    effect->GetDesc(&desc);
    const float vector[4] = {0.5f, -1.0f, 2.0f, 1.0f};
    D3DMATRIX matrix{};
    for (int i = 0; i < 16; ++i) matrix.m[i / 4][i % 4] = static_cast<float>(i) - 7.5f;
    for (UINT p = 0; p < desc.Parameters; ++p) {
        EffectParameterDesc pd{};
        effect->GetParameterDesc(p, &pd);
        effect->GetParameterDesc(pd.Name, &pd);
        DWORD d = 0;
        float f = 0, v[4];
        D3DMATRIX m;
        const char* s = nullptr;
        IDirect3DBaseTexture8* t = nullptr;
        effect->GetDword(p, &d);
        effect->GetFloat(p, &f);
        effect->GetVector(p, v);
        effect->GetMatrix(p, &m);
        effect->GetMatrixTranspose(p, &m);
        effect->GetString(p, &s);
        effect->GetTexture(p, &t);
        effect->GetVertexShader(p, &d);
        effect->GetPixelShader(p, &d);
        effect->SetDword(p, 0);
        effect->SetDword(p, 0x80402010u);
        effect->SetFloat(p, -3.75f);
        effect->SetVector(p, vector);
        effect->SetMatrix(p, &matrix);
        effect->SetMatrixTranspose(p, &matrix);
        effect->SetString(p, "text");
        effect->SetTexture(p, nullptr);
        effect->SetVertexShader(p, 0x102);
        effect->SetPixelShader(p, 0);
        effect->IsParameterUsed(p);
    }
    for (UINT t = 0; t < desc.Techniques; ++t) {
        EffectTechniqueDesc td{};
        effect->GetTechniqueDesc(t, &td);
        effect->SetTechnique(td.Name);
        for (UINT p = 0; p < td.Passes; ++p) {
            EffectPassDesc pd{};
            effect->GetPassDesc(t, p, &pd);
        }
        for (UINT p = 0; p < desc.Parameters; ++p) effect->IsParameterUsed(p);
    }
    effect->OnLostDevice();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    DataBuffer* buffer = nullptr;
    if (FAILED(DataBuffer::CreateCopy(data, static_cast<DWORD>(size), &buffer))) return 0;
    EffectFile* effect = nullptr;
    if (SUCCEEDED(BuildEffect(nullptr, buffer, nullptr, &effect))) {
        Exercise(effect);
        effect->Release();
    }
    buffer->Release();
    return 0;
}
