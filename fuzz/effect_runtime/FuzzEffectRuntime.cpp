// Fuzz target: random and mutated compiled effect blocks fed to the effect builder without a
// device (the shape checks, the model and every value conversion), then the parameter
// operations on whatever effect comes out. The same bytes also drive a generator of well-formed
// blocks (real states, references, values of every kind), which reaches the model far more often
// than raw mutations that must keep every size consistent.
#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/DataBuffer.h"
#include "effect/runtime/EffectBlock.h"
#include "effect/runtime/EffectBuild.h"
#include "effect/EffectStates.h"
#include "platform/d3d/d3d8types.h"
#include "tests/effect/runtime/BlockWriter.h"

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

// Reads the input as a stream of choices; zeros once it runs out.
class Choices {
public:
    Choices(const uint8_t* data, size_t size) : data(data), size(size) {}
    DWORD Next() { return pos < size ? data[pos++] : 0; }
    DWORD Word() { return Next() | Next() << 8 | Next() << 16 | Next() << 24; }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

blockwriter::Node GeneratedValue(Choices& in) {
    using namespace blockwriter;
    DWORD kind = in.Next() % EFFECT_TYPE_COUNT;
    // Mostly the payload size the kind needs, sometimes one more or less.
    static const DWORD kSizes[EFFECT_TYPE_COUNT] = {1, 1, 4, 16, 1, 6, 3, 4, 2};
    DWORD count = kSizes[kind];
    DWORD skew = in.Next() % 8;
    if (skew == 1 && count > 0) --count;
    if (skew == 2) ++count;
    std::vector<DWORD> payload;
    for (DWORD i = 0; i < count; ++i) payload.push_back(in.Next() % 4 == 0 ? in.Word() : in.Next());
    if ((kind == EFFECT_VERTEXSHADER || kind == EFFECT_PIXELSHADER) && !payload.empty()) payload[0] %= count;
    return Value(kind, payload);
}

std::vector<DWORD> GeneratedBlock(const uint8_t* data, size_t size) {
    using namespace blockwriter;
    Choices in(data, size);
    size_t stateCount = 0;
    const EffectStateInfo* states = StateTable(&stateCount);
    std::vector<Node> definitions;
    DWORD parameters = in.Next() % 6;
    for (DWORD i = 0; i < parameters; ++i) {
        DWORD type = in.Next() % EFFECT_TYPE_COUNT;
        if (type == EFFECT_CONSTANT) type = EFFECT_STRING;
        std::string name = "p" + std::to_string(i);
        definitions.push_back(in.Next() & 1 ? Parameter(type, name, GeneratedValue(in)) : Parameter(type, name));
    }
    DWORD techniques = in.Next() % 4;
    for (DWORD t = 0; t < techniques; ++t) {
        std::vector<Node> passes;
        DWORD passCount = in.Next() % 3;
        for (DWORD p = 0; p < passCount; ++p) {
            std::vector<Node> assignments;
            DWORD assignmentCount = in.Next() % 6;
            for (DWORD a = 0; a < assignmentCount; ++a) {
                const EffectStateInfo& state = states[(in.Next() | in.Next() << 8) % stateCount];
                DWORD index = in.Next() % 10;
                bool reference = parameters > 0 && (in.Next() & 1);
                Node child = reference ? Reference(0, in.Next() % parameters) : GeneratedValue(in);
                assignments.push_back(Assignment(state.type, state.code, index, std::move(child)));
            }
            passes.push_back(Pass("", std::move(assignments)));
        }
        definitions.push_back(Technique("t" + std::to_string(t), std::move(passes)));
    }
    return Serialize(Root(std::move(definitions)));
}

void BuildAndExercise(const void* bytes, size_t size) {
    DataBuffer* buffer = nullptr;
    if (FAILED(DataBuffer::CreateCopy(bytes, static_cast<DWORD>(size), &buffer))) return;
    EffectFile* effect = nullptr;
    if (SUCCEEDED(BuildEffect(nullptr, buffer, nullptr, &effect))) {
        Exercise(effect);
        effect->Release();
    }
    buffer->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    BuildAndExercise(data, size);
    std::vector<DWORD> generated = GeneratedBlock(data, size);
    BuildAndExercise(generated.data(), generated.size() * 4);
    return 0;
}
