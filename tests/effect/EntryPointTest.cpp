// The compile entry points: argument checks, precompiled blocks, message buffers, the parser
// stack limit, locale independence and that nothing carries over from one compile to the next.
#include "effect/DeclarationCompiler.h"
#include "effect/FileBytes.h"
#include "effect/runtime/CreateEffect.h"
#include "effect/ShaderAssembler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Text(DataBuffer* buffer) {
    if (!buffer) return "<none>";
    std::string s(static_cast<const char*>(buffer->GetBufferPointer()), buffer->GetBufferSize());
    buffer->Release();
    return s;
}

HRESULT Compile(const std::string& source, std::string* messages, DataBuffer** compiled = nullptr) {
    DataBuffer* m = nullptr;
    HRESULT hr = CompileEffect(source.data(), UINT(source.size()), "t.fx", compiled, &m);
    *messages = Text(m);
    return hr;
}

TEST(EffectEntry, RefusesMissingSourceAndDevice) {
    DataBuffer* messages = reinterpret_cast<DataBuffer*>(1);
    EffectFile* effect = reinterpret_cast<EffectFile*>(1);
    EXPECT_EQ(CreateEffect(nullptr, nullptr, 10, "x", nullptr, &messages), D3DERR_INVALIDCALL);
    EXPECT_EQ(messages, nullptr);
    EXPECT_EQ(CreateEffect(nullptr, "DWORD a;", 0, "x", nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(CreateEffect(nullptr, "DWORD a;", 8, "x", &effect, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect, nullptr);
    // Checking only (no effect asked for) needs no device.
    EXPECT_EQ(CreateEffect(nullptr, "DWORD a;", 8, nullptr, nullptr, nullptr), S_OK);
}

TEST(EffectEntry, TextWithErrorsMakesNoEffect) {
    auto* device = reinterpret_cast<IDirect3DDevice8*>(0x1000);  // never dereferenced
    EffectFile* effect = nullptr;
    DataBuffer* messages = nullptr;
    EXPECT_EQ(CreateEffect(device, "DWORD a", 7, "x", &effect, &messages), E_FAIL);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(Text(messages), std::string("x(1) : syntax error\n") + '\0');
}

TEST(EffectEntry, PrecompiledBlockIsNotParsed) {
    const char block[] = "FX81 this is not effect text {{{";
    DataBuffer *compiled = nullptr, *messages = nullptr;
    ASSERT_EQ(CompileEffect(block, sizeof block, "x", &compiled, &messages), S_OK);
    ASSERT_NE(compiled, nullptr);
    EXPECT_EQ(compiled->GetBufferSize(), sizeof block);
    EXPECT_EQ(std::memcmp(compiled->GetBufferPointer(), block, sizeof block), 0);
    compiled->Release();
    EXPECT_EQ(Text(messages), std::string(1, '\0'));
    // Three bytes "FX8" are text, and a syntax error.
    std::string m;
    EXPECT_EQ(Compile("FX8", &m), E_FAIL);
}

TEST(EffectEntry, MissingFileIsInvalidData) {
    EffectFile* effect = nullptr;
    DataBuffer* messages = nullptr;
    EXPECT_EQ(CreateEffectFromFile(nullptr, "/nonexistent/dir/none.fx", &effect, &messages), D3DXERR_INVALIDDATA);
    EXPECT_EQ(messages, nullptr);
    EXPECT_EQ(CreateEffectFromFile(nullptr, "/", nullptr, nullptr), D3DXERR_INVALIDDATA);
    EXPECT_EQ(CreateEffectFromFile(nullptr, "/dev/null", nullptr, nullptr), D3DXERR_INVALIDDATA);
}

// Only regular files are read, opening one never waits, and what is read is capped: a pipe
// without a writer and an endless device are refused at once.
TEST(EffectEntry, OnlyRegularFilesWithinTheLimitAreRead) {
    std::vector<char> bytes;
    std::string reason;
    EXPECT_FALSE(ReadFileBytes("/dev/zero", &bytes, &reason));
    EXPECT_EQ(reason, "not a regular file");
    const std::string fifo = testing::TempDir() + "sg_effect_fifo";
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadFileBytes(fifo.c_str(), &bytes, &reason));
    EXPECT_EQ(reason, "not a regular file");
    EXPECT_EQ(CreateEffectFromFile(nullptr, fifo.c_str(), nullptr, nullptr), D3DXERR_INVALIDDATA);
    unlink(fifo.c_str());
    EXPECT_FALSE(ReadFileBytes(testing::TempDir().c_str(), &bytes, &reason));
    EXPECT_EQ(reason, "a folder, not a file");
    EXPECT_FALSE(ReadFileBytes("/nonexistent/dir/none.fx", &bytes, &reason));
    EXPECT_EQ(reason, "no such file");

    // A file larger than the limit is refused without being read; one at the limit is read.
    const std::string big = testing::TempDir() + "sg_effect_big.fx";
    if (FILE* f = std::fopen(big.c_str(), "wb")) std::fclose(f);
    ASSERT_EQ(truncate(big.c_str(), 4097), 0);
    EXPECT_FALSE(ReadFileBytes(big.c_str(), &bytes, &reason, 4096));
    EXPECT_EQ(reason, "larger than 4096 bytes");
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(ReadFileBytes(big.c_str(), &bytes, &reason, 4097));
    EXPECT_EQ(bytes.size(), 4097u);
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(kMaxSourceFileBytes) + 1), 0);  // sparse
    EXPECT_FALSE(ReadFileBytes(big.c_str(), &bytes, &reason));
    EXPECT_EQ(reason, "larger than 64 MiB");
    EXPECT_EQ(CreateEffectFromFile(nullptr, big.c_str(), nullptr, nullptr), D3DXERR_INVALIDDATA);
    std::remove(big.c_str());
}

TEST(EffectEntry, FileIsReadAndSuccessIsReducedToZero) {
    std::string path = testing::TempDir() + "/entry_test.fx";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("DWORD a = 1;\nDWORD a;\n", f);
    std::fclose(f);
    DataBuffer* messages = nullptr;
    EXPECT_EQ(CreateEffectFromFile(nullptr, path.c_str(), nullptr, &messages), E_FAIL);
    EXPECT_EQ(Text(messages), path + "(2) : duplicate parameter: 'a'\n" + '\0');
    std::remove(path.c_str());
}

// Parameters are a right-recursive list: each one stays on the stack until the end, so 497
// parameters (500 entries with the last one's three tokens) fit and 498 do not.
TEST(EffectEntry, ParserStackHoldsFiveHundredEntries) {
    auto params = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += "DWORD p" + std::to_string(i) + ";\n";
        return s;
    };
    std::string m;
    EXPECT_EQ(Compile(params(497), &m), S_OK) << m;
    EXPECT_EQ(Compile(params(498), &m), E_FAIL);
    EXPECT_EQ(m, std::string("t.fx(498) : yacc stack overflow\n") + '\0');
    EXPECT_EQ(Compile(params(2000), &m), E_FAIL);
    EXPECT_EQ(m, std::string("t.fx(498) : yacc stack overflow\n") + '\0');
}

TEST(EffectEntry, NumbersIgnoreTheProcessLocale) {
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"})
        if ((chosen = std::setlocale(LC_NUMERIC, name))) break;
    std::string before = std::setlocale(LC_NUMERIC, nullptr);
    DataBuffer* compiled = nullptr;
    std::string m;
    ASSERT_EQ(Compile("FLOAT f = 2.5;", &m, &compiled), S_OK);
    float value;
    std::memcpy(&value, static_cast<const char*>(compiled->GetBufferPointer()) + compiled->GetBufferSize() - 4, 4);
    compiled->Release();
    EXPECT_EQ(value, 2.5f);
    EXPECT_EQ(before, std::setlocale(LC_NUMERIC, nullptr));  // left as it was
    std::setlocale(LC_NUMERIC, "C");
}

TEST(EffectEntry, NothingCarriesOverBetweenCompiles) {
    std::string m;
    EXPECT_EQ(Compile("DWORD a;\n#line 50 \"other.fx\"\nDWORD a;", &m), E_FAIL);
    EXPECT_EQ(m, std::string("other.fx(50) : duplicate parameter: 'a'\n") + '\0');
    // Same names again: no duplicates remembered, line and file start afresh.
    EXPECT_EQ(Compile("DWORD a;\ntechnique t { pass p { ZEnable = <a>; } }", &m), S_OK);
    EXPECT_EQ(Compile("technique t {}\nDWORD a = b;", &m), E_FAIL);
    EXPECT_EQ(m, std::string("t.fx(2) : syntax error\n") + '\0');
}

TEST(EffectEntry, MessagesAreCutTo255Characters) {
    std::string longName(300, 'q');
    std::string m;
    EXPECT_EQ(Compile(longName + " x;", &m), E_FAIL);
    ASSERT_FALSE(m.empty());
    std::string line = m.substr(0, m.find('\n'));
    EXPECT_EQ(line.size(), 255u);
    EXPECT_EQ(line.rfind("t.fx(1) : unknown type in parameter declaration: 'qqq", 0), 0u);
}

TEST(EffectEntry, AssemblerAndDeclarationEntryChecks) {
    DataBuffer* f = nullptr;
    EXPECT_EQ(AssembleShader(nullptr, 5, "x", 1, 0, nullptr, &f, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(AssembleShader("vs.1.1", 0, "x", 1, 0, nullptr, &f, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(CompileDeclaration(nullptr, 0, "x", 1, &f, nullptr), D3DERR_INVALIDCALL);
    DataBuffer* tokens = nullptr;
    ASSERT_EQ(CompileDeclaration("", 0, "x", 1, &tokens, nullptr), S_OK);
    ASSERT_EQ(tokens->GetBufferSize(), 4u);
    EXPECT_EQ(*static_cast<const uint32_t*>(tokens->GetBufferPointer()), 0xFFFFFFFFu);
    tokens->Release();
}

TEST(EffectEntry, AssemblerStackLimitAndTextComment) {
    std::string many = "ps.1.1\n";
    for (int i = 0; i < 600; ++i) many += "nop\n";
    DataBuffer *f = nullptr, *m = nullptr;
    EXPECT_EQ(AssembleShader(many.data(), UINT(many.size()), "s.psh", 1, 0, nullptr, &f, &m), D3DXERR_INVALIDDATA);
    EXPECT_NE(Text(m).find("(Assembly Error) yacc stack overflow"), std::string::npos);
    // Without a file name the source travels as a "TEXT" comment after the banner.
    const char src[] = "vs.1.1\nmov oPos, v0";
    ASSERT_EQ(AssembleShader(src, sizeof src - 1, nullptr, 1, ASSEMBLE_DEBUG | ASSEMBLE_SKIPVALIDATION, nullptr, &f,
                             nullptr),
              S_OK);
    const uint32_t* w = static_cast<const uint32_t*>(f->GetBufferPointer());
    size_t textWords = (sizeof src - 1) / 4 + 1;
    EXPECT_EQ(w[11], 0xFFFEu | uint32_t((1 + textWords) << 16));
    EXPECT_EQ(std::memcmp(&w[12], "TEXT", 4), 0);
    EXPECT_EQ(std::memcmp(&w[13], src, sizeof src - 1), 0);
    f->Release();
}

}  // namespace
