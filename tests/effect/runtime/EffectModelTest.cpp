// The effect runtime without a device: compiled-block shape checks, the parameter and technique
// model, value conversions and defaults, and the name-or-index argument.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <limits>

#include "effect/DataBuffer.h"
#include "effect/CompileEffect.h"
#include "effect/runtime/EffectBlock.h"
#include "effect/runtime/EffectBuild.h"
#include "effect/runtime/EffectValue.h"
#include "platform/d3d/d3d8.h"
#include "tests/effect/runtime/BlockWriter.h"

using namespace blockwriter;

namespace {

constexpr DWORD kRender = 0x01000000;
constexpr DWORD kInvalidData = 0x88760B59u;

// A small effect: parameters of several types, two techniques, references and literals.
Node SampleRoot() {
    return Root({
        Parameter(EFFECT_DWORD, "cull", DwordValue(2)),
        Parameter(EFFECT_VECTOR, "tint", VectorValue(1.0f, 0.5f, 0.0f, 1.0f)),
        Parameter(EFFECT_TEXTURE, "texBase"),
        Technique("first", {Pass("p0", {Assignment(EFFECT_DWORD, kRender | D3DRS_CULLMODE, 0, Reference(0, 0))})}),
        Parameter(EFFECT_FLOAT, "fog", DwordValue(2)),
        Technique("", {Pass("a", {Assignment(EFFECT_DWORD, kRender | D3DRS_TEXTUREFACTOR, 0, Reference(2, 1)),
                                  Assignment(EFFECT_FLOAT, kRender | D3DRS_FOGSTART, 0, FloatValue(1.5f))}),
                       Pass("b", {Assignment(EFFECT_DWORD, kRender | D3DRS_ZENABLE, 0, DwordValue(1))})}),
    });
}

HRESULT Read(const std::vector<DWORD>& words, EffectBlock* block) {
    return ReadEffectBlock(words.data(), words.size() * 4, block);
}

// Builds a model-only effect (no device) from words.
HRESULT BuildModel(const std::vector<DWORD>& words, EffectFile** effect) {
    DataBuffer* buffer = nullptr;
    EXPECT_EQ(S_OK, DataBuffer::CreateCopy(words.data(), static_cast<DWORD>(words.size() * 4), &buffer));
    HRESULT hr = BuildEffect(nullptr, buffer, nullptr, effect);
    buffer->Release();
    return hr;
}

struct Model {
    EffectFile* effect = nullptr;
    explicit Model(const Node& root) { EXPECT_EQ(S_OK, BuildModel(Serialize(root), &effect)); }
    ~Model() {
        if (effect) effect->Release();
    }
};

TEST(EffectBlock, ReadsParametersTechniquesPassesAndAssignments) {
    EffectBlock block;
    std::vector<DWORD> words = Serialize(SampleRoot());  // the block's names point into it
    ASSERT_EQ(S_OK, Read(words, &block));
    ASSERT_EQ(4u, block.parameters.size());
    EXPECT_STREQ("fog", block.parameters[3].name);
    EXPECT_FALSE(block.parameters[2].hasValue);
    ASSERT_EQ(2u, block.techniques.size());
    EXPECT_STREQ("", block.techniques[1].name);
    ASSERT_EQ(2u, block.techniques[1].passes.size());
    const BlockAssignment& a = block.techniques[1].passes[0].assignments[0];
    EXPECT_TRUE(a.isReference);
    EXPECT_EQ(1u, a.parameter);
    EXPECT_EQ(kRender | D3DRS_TEXTUREFACTOR, a.stateCode);
}

TEST(EffectBlock, EmptyEffectIsTwelveBytes) {
    EffectBlock block;
    std::vector<DWORD> words = Serialize(Root({}));
    ASSERT_EQ(3u, words.size());
    EXPECT_EQ(S_OK, Read(words, &block));
    EXPECT_TRUE(block.parameters.empty() && block.techniques.empty());
}

TEST(EffectBlock, EveryTruncationAndExtensionIsInvalidData) {
    std::vector<DWORD> words = Serialize(SampleRoot());
    words.push_back(0);
    words.push_back(0);
    const size_t full = (words.size() - 2) * 4;
    for (size_t size = 0; size < words.size() * 4; ++size) {
        if (size == full) continue;
        EffectBlock block;
        EXPECT_EQ(kInvalidData, static_cast<DWORD>(ReadEffectBlock(words.data(), size, &block))) << size;
        EXPECT_TRUE(block.parameters.empty() && block.techniques.empty());
    }
}

TEST(EffectBlock, ShapeFaultsAreInvalidData) {
    struct Case {
        const char* what;
        Node root;
    };
    Node wrongSizes = SampleRoot();
    std::vector<Case> cases = {
        {"unknown tag at the root", Root({Node{EffectTag('X', 'Y', 'Z', 'W'), {}, {}}})},
        {"pass directly under the root", Root({Pass("p", {})})},
        {"parameter inside a technique", Root({Technique("t", {Parameter(0, "x")})})},
        {"assignment child is a pass",
         Root({Technique("t", {Pass("p", {Assignment(0, kRender | D3DRS_ZENABLE, 0, Pass("q", {}))})})})},
        {"reference past the parameters",
         Root({Parameter(0, "a"), Technique("t", {Pass("p", {Assignment(0, kRender | D3DRS_ZENABLE, 0, Reference(0, 1))})})})},
        {"unknown state code",
         Root({Technique("t", {Pass("p", {Assignment(0, kRender | 0xFFFF, 0, DwordValue(0))})})})},
        {"state with the wrong value type",
         Root({Technique("t", {Pass("p", {Assignment(EFFECT_MATRIX, kRender | D3DRS_ZENABLE, 0, DwordValue(0))})})})},
        {"index beyond the state's limit",
         Root({Technique("t", {Pass("p", {Assignment(0, 0x02000001, 8, DwordValue(1))})})})},
        {"parameter type CONSTANT", Root({Parameter(EFFECT_CONSTANT, "c")})},
        {"parameter type out of range", Root({Parameter(9, "c")})},
        {"value kind out of range", Root({Parameter(0, "c", Value(77, {1}))})},
        {"two initial values", Root({Node{kTagParameter, {0, 0x63}, {DwordValue(1), DwordValue(2)}}})},
        {"parameter without a name", Root({Node{kTagParameter, {0}, {}}})},
        {"name without its zero byte", Root({Node{kTagParameter, {0, 0x64636261}, {}}})},
        {"value with children", Root({Parameter(0, "c", Node{kTagValue, {0, 1}, {DwordValue(1)}})})},
        {"assignment without a child", Root({Technique("t", {Pass("p", {Node{kTagAssignment, {0, kRender | 7, 0}, {}}})})})},
    };
    for (const Case& c : cases) {
        EffectBlock block;
        EXPECT_EQ(kInvalidData, static_cast<DWORD>(Read(Serialize(c.root), &block))) << c.what;
        EffectFile* effect = reinterpret_cast<EffectFile*>(1);
        EXPECT_EQ(kInvalidData, static_cast<DWORD>(BuildModel(Serialize(c.root), &effect))) << c.what;
        EXPECT_EQ(nullptr, effect);
    }

    // Children sizes that do not add up: a child claims more words than its parent holds.
    std::vector<DWORD> words = Serialize(SampleRoot());
    words[3 + 2] += 1;  // first child's children size
    EffectBlock block;
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(Read(words, &block)));
    words = Serialize(SampleRoot());
    words[0] = EffectTag('F', 'X', '8', '0');
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(Read(words, &block)));
    words = Serialize(SampleRoot());
    words[2] = 0xFFFFFFF0u;  // root children size that would overflow 32-bit sums
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(Read(words, &block)));
}

TEST(EffectBlock, PayloadsOfTheWrongSizeFailTheBuild) {
    std::vector<Node> bad = {
        Parameter(EFFECT_DWORD, "d", Value(EFFECT_DWORD, {})),
        Parameter(EFFECT_VECTOR, "v", Value(EFFECT_VECTOR, {1, 2, 3})),
        Parameter(EFFECT_MATRIX, "m", Value(EFFECT_MATRIX, {1, 2, 3, 4})),
        Parameter(EFFECT_STRING, "s", Value(EFFECT_STRING, {0x64636261})),
        Parameter(EFFECT_VERTEXSHADER, "vs", Value(EFFECT_VERTEXSHADER, {5, 1})),
        Parameter(EFFECT_PIXELSHADER, "ps", Value(EFFECT_PIXELSHADER, {})),
        // Conversions the table refuses: matrix into a DWORD, 1 into a texture, a vector into a float.
        Parameter(EFFECT_DWORD, "dm", Value(EFFECT_MATRIX, std::vector<DWORD>(16, 0))),
        Parameter(EFFECT_TEXTURE, "t", DwordValue(1)),
        Parameter(EFFECT_FLOAT, "fv", VectorValue(1, 2, 3, 4)),
    };
    for (Node& parameter : bad) {
        EffectFile* effect = nullptr;
        EXPECT_EQ(kInvalidData, static_cast<DWORD>(BuildModel(Serialize(Root({parameter})), &effect)))
            << static_cast<const char*>(static_cast<const void*>(parameter.data.data() + 1));
        EXPECT_EQ(nullptr, effect);
    }
    // A TEXTURE assignment of 1 compiles but the effect cannot be made.
    EffectFile* effect = nullptr;
    Node root = Root({Technique("t", {Pass("p", {Assignment(EFFECT_TEXTURE, 0x05000000, 0, DwordValue(1))})})});
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(BuildModel(Serialize(root), &effect)));
}

TEST(EffectModel, DescriptionsByNameAndIndex) {
    Model m(SampleRoot());
    ASSERT_TRUE(m.effect);
    EffectDesc desc;
    ASSERT_EQ(S_OK, m.effect->GetDesc(&desc));
    EXPECT_EQ(4u, desc.Parameters);
    EXPECT_EQ(2u, desc.Techniques);

    EffectParameterDesc p;
    ASSERT_EQ(S_OK, m.effect->GetParameterDesc("fog", &p));
    EXPECT_EQ(3u, p.Index);
    EXPECT_EQ(EFFECT_FLOAT, p.Type);
    ASSERT_EQ(S_OK, m.effect->GetParameterDesc(1, &p));
    EXPECT_STREQ("tint", p.Name);
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->GetParameterDesc("Fog", &p));  // names are case-sensitive
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->GetParameterDesc(4, &p));
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->GetParameterDesc(0x12345u, &p));  // an integer is never a pointer
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->GetParameterDesc("fog", nullptr));

    EffectTechniqueDesc t;
    ASSERT_EQ(S_OK, m.effect->GetTechniqueDesc(1, &t));
    EXPECT_STREQ("", t.Name);
    EXPECT_EQ(2u, t.Passes);
    EffectPassDesc pd;
    ASSERT_EQ(S_OK, m.effect->GetPassDesc(1, "b", &pd));
    EXPECT_EQ(1u, pd.Index);
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->GetPassDesc("first", 1, &pd));

    // Raw pointer values below 0x10000 are indexes, null included.
    EXPECT_EQ(S_OK, m.effect->GetTechniqueDesc(reinterpret_cast<const char*>(uintptr_t{1}), &t));
    EXPECT_EQ(1u, t.Index);
    EXPECT_EQ(S_OK, m.effect->GetTechniqueDesc(static_cast<const char*>(nullptr), &t));
    EXPECT_EQ(0u, t.Index);

    const char* name = nullptr;
    ASSERT_EQ(S_OK, m.effect->GetTechnique(&name));
    EXPECT_STREQ("first", name);
    ASSERT_EQ(S_OK, m.effect->SetTechnique(1));
    ASSERT_EQ(S_OK, m.effect->GetTechnique(&name));
    EXPECT_STREQ("", name);
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->SetTechnique("none"));
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->GetTechnique(nullptr));
}

TEST(EffectModel, IsParameterUsedFollowsTheCurrentTechnique) {
    Model m(SampleRoot());
    EXPECT_TRUE(m.effect->IsParameterUsed("cull"));
    EXPECT_FALSE(m.effect->IsParameterUsed("texBase"));
    EXPECT_FALSE(m.effect->IsParameterUsed("nothing"));
    m.effect->SetTechnique(1);
    EXPECT_FALSE(m.effect->IsParameterUsed("cull"));
    EXPECT_TRUE(m.effect->IsParameterUsed("tint"));
    EXPECT_FALSE(m.effect->IsParameterUsed("texBase"));
}

TEST(EffectModel, InitialValuesConvertedAndDefaults) {
    Model m(SampleRoot());
    float f = 0;
    ASSERT_EQ(S_OK, m.effect->GetFloat("fog", &f));  // DWORD 2 given to a FLOAT parameter
    EXPECT_EQ(2.0f, f);
    DWORD d = 0;
    ASSERT_EQ(S_OK, m.effect->GetDword("tint", &d));  // a VECTOR read as its colour word
    EXPECT_EQ(0xFFFF8000u, d);
    ASSERT_EQ(S_OK, m.effect->GetFloat("tint", &f));  // ... and as a float: its x
    EXPECT_EQ(1.0f, f);
    IDirect3DBaseTexture8* t = reinterpret_cast<IDirect3DBaseTexture8*>(1);
    ASSERT_EQ(S_OK, m.effect->GetTexture("texBase", &t));
    EXPECT_EQ(nullptr, t);
    D3DMATRIX matrix;
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(m.effect->GetMatrix("cull", &matrix)));

    Model defaults(Root({Parameter(EFFECT_DWORD, "d"), Parameter(EFFECT_VECTOR, "v"), Parameter(EFFECT_MATRIX, "m"),
                         Parameter(EFFECT_STRING, "s"), Parameter(EFFECT_PIXELSHADER, "ps")}));
    float v[4];
    ASSERT_EQ(S_OK, defaults.effect->GetVector("v", v));
    EXPECT_EQ((std::vector<float>{0, 0, 0, 1}), std::vector<float>(v, v + 4));
    ASSERT_EQ(S_OK, defaults.effect->GetMatrix("m", &matrix));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(i % 5 == 0 ? 1.0f : 0.0f, (&matrix._11)[i]);
    const char* s = nullptr;
    ASSERT_EQ(S_OK, defaults.effect->GetString("s", &s));
    EXPECT_STREQ("", s);
    DWORD handle = 7;
    ASSERT_EQ(S_OK, defaults.effect->GetPixelShader("ps", &handle));
    EXPECT_EQ(0u, handle);
}

TEST(EffectModel, SetAndGetConvertThroughTheTable) {
    Model m(Root({Parameter(EFFECT_DWORD, "d"), Parameter(EFFECT_FLOAT, "f"), Parameter(EFFECT_VECTOR, "v"),
                  Parameter(EFFECT_MATRIX, "m"), Parameter(EFFECT_TEXTURE, "t"), Parameter(EFFECT_STRING, "s")}));
    EffectFile* e = m.effect;
    DWORD d = 0;
    float f = 0;
    float v[4];

    ASSERT_EQ(S_OK, e->SetFloat("d", -2.75f));  // truncated toward zero
    e->GetDword("d", &d);
    EXPECT_EQ(static_cast<DWORD>(-2), d);
    ASSERT_EQ(S_OK, e->SetFloat("d", std::numeric_limits<float>::quiet_NaN()));
    e->GetDword("d", &d);
    EXPECT_EQ(0u, d);
    ASSERT_EQ(S_OK, e->SetFloat("d", 1e20f));  // saturates instead of undefined behaviour
    e->GetDword("d", &d);
    EXPECT_EQ(0xFFFFFFFFu, d);
    const float color[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    ASSERT_EQ(S_OK, e->SetVector("d", color));
    e->GetDword("d", &d);
    EXPECT_EQ(0xFFFF8000u, d);
    e->GetVector("d", v);  // a DWORD read as a vector unpacks the colour
    EXPECT_FLOAT_EQ(128.0f / 255.0f, v[1]);
    EXPECT_EQ(1.0f, v[3]);

    ASSERT_EQ(S_OK, e->SetDword("f", 7));
    e->GetFloat("f", &f);
    EXPECT_EQ(7.0f, f);
    ASSERT_EQ(S_OK, e->SetDword("f", static_cast<DWORD>(-1)));  // integers are signed
    e->GetFloat("f", &f);
    EXPECT_EQ(-1.0f, f);
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(e->SetVector("f", color)));

    ASSERT_EQ(S_OK, e->SetFloat("v", 0.25f));
    e->GetVector("v", v);
    EXPECT_EQ((std::vector<float>{0.25f, 0.25f, 0.25f, 0.25f}), std::vector<float>(v, v + 4));
    ASSERT_EQ(S_OK, e->SetDword("v", 0x80FF0000u));
    e->GetVector("v", v);
    EXPECT_EQ(1.0f, v[0]);
    EXPECT_FLOAT_EQ(128.0f / 255.0f, v[3]);

    D3DMATRIX in, out;
    for (int i = 0; i < 16; ++i) (&in._11)[i] = static_cast<float>(i);
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(e->SetDword("m", 1)));
    ASSERT_EQ(S_OK, e->SetMatrixTranspose("m", &in));
    ASSERT_EQ(S_OK, e->GetMatrix("m", &out));
    EXPECT_EQ(in._12, out._21);
    EXPECT_EQ(in._41, out._14);
    ASSERT_EQ(S_OK, e->GetMatrixTranspose("m", &out));
    EXPECT_EQ(0, std::memcmp(&in, &out, sizeof in));
    EXPECT_EQ(D3DERR_INVALIDCALL, e->SetMatrix("m", nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, e->GetMatrixTranspose("m", nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, e->SetVector("v", nullptr));

    EXPECT_EQ(S_OK, e->SetDword("t", 0));
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(e->SetDword("t", 1)));
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(e->SetFloat("t", 0.0f)));

    ASSERT_EQ(S_OK, e->SetString("s", "hello"));
    const char* s = nullptr;
    e->GetString("s", &s);
    EXPECT_STREQ("hello", s);
    EXPECT_EQ(D3DERR_INVALIDCALL, e->SetString("s", nullptr));
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(e->SetDword("s", 1)));
    EXPECT_EQ(kInvalidData, static_cast<DWORD>(e->GetDword("s", &d)));
    EXPECT_EQ(D3DERR_INVALIDCALL, e->SetDword("missing", 1));
}

TEST(EffectModel, ConstantValuesHoldRegisters) {
    EffectValue* constant = CreateEffectValue(EFFECT_CONSTANT, nullptr);
    ASSERT_TRUE(constant);
    D3DMATRIX m;
    for (int i = 0; i < 16; ++i) (&m._11)[i] = static_cast<float>(i);
    ASSERT_EQ(S_OK, constant->SetMatrix(&m._11));
    ConstantRegisters r = GetConstantRegisters(*constant);
    ASSERT_EQ(4u, r.count);
    EXPECT_EQ(m._21, r.data[1]);  // register 0 is the first column
    EXPECT_EQ(m._14, r.data[12]);
    ASSERT_EQ(S_OK, constant->SetMatrixTransposed(&m._11));
    r = GetConstantRegisters(*constant);
    EXPECT_EQ(m._12, r.data[1]);
    ASSERT_EQ(S_OK, constant->SetDword(0xFF0000FFu));
    r = GetConstantRegisters(*constant);
    ASSERT_EQ(1u, r.count);
    EXPECT_EQ((std::vector<float>{0, 0, 1, 1}), std::vector<float>(r.data, r.data + 4));
    constant->Reset();
    EXPECT_EQ(0u, GetConstantRegisters(*constant).count);
    constant->Release();
}

TEST(EffectModel, WithoutADeviceDeviceCallsAreRefused) {
    Model m(SampleRoot());
    UINT passes = 0;
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->Begin(&passes, 0));
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->Pass(0));
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->End());
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->Validate());
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->FindNextValidTechnique(nullptr, nullptr));
    IDirect3DDevice8* device = nullptr;
    EXPECT_EQ(D3DERR_INVALIDCALL, m.effect->GetDevice(&device));
    EXPECT_EQ(S_OK, m.effect->OnLostDevice());
}

TEST(EffectModel, QueryInterfaceAndReferenceCounts) {
    Model m(SampleRoot());
    void* object = nullptr;
    ASSERT_EQ(S_OK, m.effect->QueryInterface(IID_EffectFile, &object));
    EXPECT_EQ(m.effect, object);
    ASSERT_EQ(S_OK, m.effect->QueryInterface(IID_IUnknown, &object));
    EXPECT_EQ(2u, m.effect->Release());
    EXPECT_EQ(3u, m.effect->AddRef());
    EXPECT_EQ(2u, m.effect->Release());
    EXPECT_EQ(1u, m.effect->Release());
    GUID other = IID_EffectFile;
    other.Data4[7] ^= 1;
    EXPECT_EQ(E_NOINTERFACE, m.effect->QueryInterface(other, &object));
    EXPECT_EQ(nullptr, object);

    DataBuffer* compiled = nullptr;
    ASSERT_EQ(S_OK, m.effect->GetCompiledEffect(&compiled));
    EXPECT_EQ(Serialize(SampleRoot()).size() * 4, compiled->GetBufferSize());
    compiled->Release();
}

}  // namespace

namespace {

// The demo's own effects, compiled by the effect compiler, build into models whose parameters
// the scene binds by name.
TEST(EffectModel, DemoEffectsBuildFromTheCompilersBlocks) {
    const char* source = std::getenv("SIMMERGLASS_SOURCE_DIR");
    ASSERT_TRUE(source);
    for (const char* file : {"Water.sha", "Particle.sha", "BaseTexEnvi.sha", "BlendEnvi.sha"}) {
        std::string path = std::string(source) + "/media/efx/" + file;
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in) << path;
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        DataBuffer* compiled = nullptr;
        DataBuffer* messages = nullptr;
        HRESULT hr = CompileEffect(text.data(), static_cast<UINT>(text.size()), file, &compiled, &messages);
        ASSERT_EQ(S_OK, hr) << static_cast<const char*>(messages->GetBufferPointer());
        messages->Release();
        EffectFile* effect = nullptr;
        EXPECT_EQ(S_OK, BuildEffect(nullptr, compiled, nullptr, &effect)) << file;
        compiled->Release();
        if (!effect) continue;
        EffectDesc desc{};
        effect->GetDesc(&desc);
        EXPECT_GT(desc.Techniques, 0u) << file;
        effect->Release();
    }
}

}  // namespace
