// Runs every case under cases/: a source text whose "// expect..." lines give the messages,
// the output words or the value payloads the compiler must produce.
//
// Case files: NAME.fx (effect), NAME.vsh / NAME.psh (shader assembly), NAME.decl. Lines:
//   // expect: TEXT              a message, in order (the file name is the case's file name)
//   // expect-words: W...        the output words in order (compiled block, function tokens,
//                                declaration tokens); several lines concatenate
//   // expect-constants: W...    a vertex shader's constant declaration tokens
//   // expect-valu: W...         the data words of the next "VALU" node of a compiled effect
//   // expect-valu+: W...        more words of the same "VALU" node
//   // flags: nodebug validate   assembler flags (default: debug comments, no validation)
// Words: hexadecimal (0x...), decimal, floats (1.5f), tags ('PARM'), and BANNER for the
// assembler's ten-word banner comment.
#include "effect/DeclarationCompiler.h"
#include "effect/CompileEffect.h"
#include "effect/FileBytes.h"
#include "effect/ShaderAssembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Case {
    std::string path, name;
    std::vector<std::string> messages;
    std::vector<uint32_t> words, constants;
    std::vector<std::vector<uint32_t>> valus;
    bool hasWords = false, hasConstants = false;
    bool noDebug = false, validate = false;
};

uint32_t Tag4(const std::string& s) {
    uint32_t t = 0;
    for (size_t i = 0; i < s.size() && i < 4; ++i) t |= uint32_t(uint8_t(s[i])) << (8 * i);
    return t;
}

void ParseWords(const std::string& text, std::vector<uint32_t>* out) {
    std::istringstream in(text);
    std::string w;
    while (in >> w) {
        if (w == "BANNER") {
            static const char kBanner[] = "D3DX8 Shader Assembler Version 0.91";
            out->push_back(0x0009FFFEu);
            uint32_t words[9];
            std::memcpy(words, kBanner, 36);
            out->insert(out->end(), words, words + 9);
        } else if (w.size() >= 2 && w.front() == '\'' && w.back() == '\'') {
            out->push_back(Tag4(w.substr(1, w.size() - 2)));
        } else if (w.back() == 'f' && w.find("0x") != 0) {
            float f = std::stof(w.substr(0, w.size() - 1));
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            out->push_back(bits);
        } else {
            out->push_back(static_cast<uint32_t>(std::stoll(w, nullptr, 0)));
        }
    }
}

Case LoadCase(const fs::path& path) {
    Case c;
    c.path = path.string();
    c.name = path.filename().string();
    std::vector<char> bytes;
    ReadFileBytes(c.path.c_str(), &bytes);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    auto after = [&](const char* key, std::string* rest) {
        size_t at = line.find(key);
        if (at == std::string::npos) return false;
        *rest = line.substr(at + std::strlen(key));
        return true;
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string rest;
        if (after("// expect: ", &rest))
            c.messages.push_back(rest);
        else if (after("// expect-words:", &rest)) {
            c.hasWords = true;
            ParseWords(rest, &c.words);
        } else if (after("// expect-constants:", &rest)) {
            c.hasConstants = true;
            ParseWords(rest, &c.constants);
        } else if (after("// expect-valu+:", &rest) && !c.valus.empty()) {
            ParseWords(rest, &c.valus.back());
        } else if (after("// expect-valu:", &rest)) {
            c.valus.emplace_back();
            ParseWords(rest, &c.valus.back());
        } else if (after("// flags:", &rest)) {
            c.noDebug = rest.find("nodebug") != std::string::npos;
            c.validate = rest.find("validate") != std::string::npos;
        }
    }
    return c;
}

std::vector<std::string> SplitMessages(DataBuffer* buffer) {
    std::vector<std::string> lines;
    if (!buffer) return lines;
    const char* text = static_cast<const char*>(buffer->GetBufferPointer());
    EXPECT_EQ(text[buffer->GetBufferSize() - 1], '\0');
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    buffer->Release();
    return lines;
}

std::vector<uint32_t> Words(DataBuffer* buffer) {
    std::vector<uint32_t> words;
    if (!buffer) return words;
    EXPECT_EQ(buffer->GetBufferSize() % 4, 0u);
    words.resize(buffer->GetBufferSize() / 4);
    if (!words.empty()) std::memcpy(words.data(), buffer->GetBufferPointer(), words.size() * 4);
    buffer->Release();
    return words;
}

// Data words of every "VALU" node, in serialized order.
void CollectValus(const std::vector<uint32_t>& w, size_t at, size_t end, std::vector<std::vector<uint32_t>>* out) {
    while (at + 3 <= end) {
        uint32_t tag = w[at], dc = w[at + 1], cs = w[at + 2];
        if (tag == Tag4("VALU")) out->emplace_back(w.begin() + long(at + 3), w.begin() + long(at + 3 + dc));
        CollectValus(w, at + 3 + dc, at + 3 + dc + cs, out);
        at += 3 + dc + cs;
    }
}

std::string Hex(const std::vector<uint32_t>& words) {
    std::ostringstream s;
    for (uint32_t w : words) s << "0x" << std::hex << w << ' ';
    return s.str();
}

class EffectCases : public testing::TestWithParam<std::string> {};

TEST_P(EffectCases, Expectations) {
    Case c = LoadCase(GetParam());
    std::vector<char> bytes;
    ASSERT_TRUE(ReadFileBytes(c.path.c_str(), &bytes));
    std::string ext = fs::path(c.path).extension().string();
    std::vector<std::string> messages;
    std::vector<uint32_t> words, constants;
    HRESULT hr;
    if (ext == ".fx") {
        DataBuffer *compiled = nullptr, *msgs = nullptr;
        hr = CompileEffect(bytes.data(), UINT(bytes.size()), c.name.c_str(), &compiled, &msgs);
        messages = SplitMessages(msgs);
        words = Words(compiled);
    } else if (ext == ".vsh" || ext == ".psh") {
        DataBuffer *function = nullptr, *consts = nullptr, *msgs = nullptr;
        DWORD flags = (c.noDebug ? 0u : ASSEMBLE_DEBUG) | (c.validate ? 0u : ASSEMBLE_SKIPVALIDATION);
        hr = AssembleShader(bytes.data(), UINT(bytes.size()), c.name.c_str(), 1, flags, &consts, &function, &msgs);
        messages = SplitMessages(msgs);
        words = Words(function);
        constants = Words(consts);
    } else {
        DataBuffer *tokens = nullptr, *msgs = nullptr;
        hr = CompileDeclaration(bytes.data(), UINT(bytes.size()), c.name.c_str(), 1, &tokens, &msgs);
        messages = SplitMessages(msgs);
        words = Words(tokens);
    }
    EXPECT_EQ(messages, c.messages);
    EXPECT_EQ(SUCCEEDED(hr), c.messages.empty()) << std::hex << hr;
    if (c.hasWords) {
        EXPECT_EQ(Hex(words), Hex(c.words));
    }
    if (c.hasConstants) {
        EXPECT_EQ(Hex(constants), Hex(c.constants));
    }
    if (!c.valus.empty()) {
        std::vector<std::vector<uint32_t>> valus;
        CollectValus(words, 0, words.size(), &valus);
        ASSERT_GE(valus.size(), c.valus.size());
        for (size_t i = 0; i < c.valus.size(); ++i) EXPECT_EQ(Hex(valus[i]), Hex(c.valus[i])) << "VALU " << i;
    }
    // Every case checks something.
    EXPECT_TRUE(!c.messages.empty() || c.hasWords || c.hasConstants || !c.valus.empty())
        << c.name << " has no expectation";
}

std::vector<std::string> CaseFiles() {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(SG_EFFECT_CASES)) {
        std::string ext = entry.path().extension().string();
        if (ext == ".fx" || ext == ".vsh" || ext == ".psh" || ext == ".decl") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string CaseName(const testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).filename().string();
    for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, EffectCases, testing::ValuesIn(CaseFiles()), CaseName);

}  // namespace
