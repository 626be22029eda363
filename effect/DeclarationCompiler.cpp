// The vertex-declaration compiler: lexer, grammar actions, vertex formats to declaration tokens.
#include "effect/DeclarationCompiler.h"

#include "effect/DeclarationCompilerState.h"
#include "effect/CompileEffect.h"
#include "effect/EffectStates.h"
#include "platform/d3d/FvfLayout.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "DeclGrammar.hpp"

int vdparse(fxc::DeclarationCompiler* c);

namespace fxc {

namespace {
// Data types of D3DVSD_REG by type word (ubyte, short, float, d3dcolor) and dimension 1..4;
// -1 where the combination does not exist.
const int kDataTypes[4][4] = {
    {-1, -1, -1, 5},  // ubyte: D3DVSDT_UBYTE4
    {-1, 6, -1, 7},   // short: D3DVSDT_SHORT2, D3DVSDT_SHORT4
    {0, 1, 2, 3},     // float: D3DVSDT_FLOAT1..4
    {4, -1, -1, -1},  // d3dcolor: D3DVSDT_D3DCOLOR
};
constexpr uint32_t kFloat1 = 0, kFloat3 = 2, kFloat4 = 3, kColor = 4, kUbyte4 = 5;
constexpr uint32_t Reg(uint32_t reg, uint32_t type) { return 0x40000000u | (type << 16) | reg; }
constexpr uint32_t kStream0 = 0x20000000u;
constexpr uint32_t kEnd = 0xFFFFFFFFu;
}  // namespace

bool DeclarationFromFormat(uint32_t fvf, std::vector<uint32_t>* tokens) {
    const FvfLayout format(fvf);
    // Five blend weights only fit a declaration when the last one is read as indices.
    if (!format.wellFormed || format.blendWeights == 5) return false;
    tokens->push_back(kStream0);
    if (format.position == D3DFVF_XYZRHW)
        tokens->push_back(Reg(0, kFloat4));
    else if (format.position != 0)
        tokens->push_back(Reg(0, kFloat3));
    if (format.blendWeights > 0) tokens->push_back(Reg(1, kFloat1 + format.blendWeights - 1));
    if (format.blendIndices) tokens->push_back(Reg(2, kUbyte4));
    if (format.normal >= 0) tokens->push_back(Reg(3, kFloat3));
    if (format.pointSize >= 0) tokens->push_back(Reg(4, kFloat1));
    if (format.diffuse >= 0) tokens->push_back(Reg(5, kColor));
    if (format.specular >= 0) tokens->push_back(Reg(6, kColor));
    for (int j = 0; j < format.texCount; ++j)
        tokens->push_back(Reg(7 + uint32_t(j), kFloat1 + uint32_t(format.texDims[j]) - 1));
    return true;
}

DeclarationCompiler::DeclarationCompiler(std::string_view text, const char* fileName, uint32_t firstLine,
                                         MessageList* messages)
    : LexCursor(text, firstLine), messages(messages) {
    if (fileName) file.assign(fileName, strnlen(fileName, kMaxText));
}

bool DeclarationCompiler::Parse() { return vdparse(this) == 0; }

void DeclarationCompiler::Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    messages->ReportV(file, static_cast<int>(line), TokenPlace(), "", format, args);
    va_end(args);
    failed = true;
}

void DeclarationCompiler::ErrorAt(SourcePlace place, const char* format, ...) {
    va_list args;
    va_start(args, format);
    messages->ReportV(file, static_cast<int>(line), place, "", format, args);
    va_end(args);
    failed = true;
}

void DeclarationCompiler::SyntaxError(const std::vector<std::string>& expected) {
    messages->ReportSyntax(file, static_cast<int>(line), TokenPlace(), "", "syntax error",
                           ExpectedBefore(expected, FoundToken(tokenStart, cur)));
    failed = true;
}

void DeclarationCompiler::ParserError(const char* message) {
    Error(std::strcmp(message, "memory exhausted") == 0 ? "yacc stack overflow" : "syntax error");
}

int DeclarationCompiler::Lex(DeclValue* value) {
    *value = DeclValue{};
    for (;;) {
        const bool more = SkipToToken();
        StartToken();
        if (!more) return EndToken(T_EOT);
        unsigned char ch = static_cast<unsigned char>(*cur);
        if (IsAsciiLetter(ch)) {
            std::string_view word = TakeWord();
            static const struct {
                const char* name;
                int token;
            } kKeywords[] = {{"stream", K_STREAM}, {"skip", K_SKIP},   {"fvf", K_FVF},
                             {"ubyte", K_UBYTE},   {"short", K_SHORT}, {"float", K_FLOAT},
                             {"d3dcolor", K_D3DCOLOR}};
            for (const auto& k : kKeywords)
                if (EqualsNoCase(word, k.name)) return k.token;
            texts.emplace_back(word.substr(0, kMaxText));
            textPlaces.push_back(TokenPlace());
            value->text = static_cast<uint32_t>(texts.size() - 1);
            return T_IDENT;
        }
        if (ch == '0' && cur + 1 < end && cur[1] == 'x') {
            value->word = TakeHexNumber();
            return T_NUMBER;
        }
        if (IsDigit(ch)) {
            const char* digits = cur;
            while (cur < end && IsDigit(static_cast<unsigned char>(*cur))) ++cur;
            value->word = ReadDecimal(std::string_view(digits, size_t(cur - digits)).substr(0, kMaxText));
            return T_NUMBER;
        }
        ++cur;
        return ch;
    }
}

EffectNode* DeclarationCompiler::Tokens(std::vector<uint32_t> words) {
    EffectNode* node = arena.Make(Tag("xxxx"));
    node->data = std::move(words);
    return node;
}

void DeclarationCompiler::Finish(EffectNode* statements) {
    if (failed) return;
    tokens.clear();
    if (statements) tokens = statements->data;
    if (!tokens.empty() && (tokens[0] >> 29) != 1u) tokens.insert(tokens.begin(), kStream0);
    tokens.push_back(kEnd);
}

EffectNode* DeclarationCompiler::Prepend(EffectNode* statement, EffectNode* list) {
    if (failed) return nullptr;
    if (!statement || statement->data.empty()) {
        Error("Internal compiler error! %d", 685);
        return nullptr;
    }
    if (!list) return statement;
    statement->data.insert(statement->data.end(), list->data.begin(), list->data.end());
    return statement;
}

EffectNode* DeclarationCompiler::Stream(uint32_t n) {
    if (failed) return nullptr;
    return Tokens({0x20000000u | n});
}

EffectNode* DeclarationCompiler::Skip(uint32_t n) {
    if (failed) return nullptr;
    return Tokens({0x50000000u | (n << 16)});
}

EffectNode* DeclarationCompiler::Format(uint32_t fvf, bool unknownName) {
    if (failed || unknownName) return nullptr;
    std::vector<uint32_t> words;
    if (!DeclarationFromFormat(fvf, &words)) {
        // A refused format produces no tokens, which the statement reports.
        Error("Internal compiler error! %d", 685);
        return nullptr;
    }
    return Tokens(std::move(words));
}

EffectNode* DeclarationCompiler::Register(uint32_t type, uint32_t registerText, uint32_t dimension) {
    if (failed) return nullptr;
    int dataType = dimension >= 1 && dimension <= 4 ? kDataTypes[type][dimension - 1] : -1;
    if (dataType < 0) {
        ErrorAt(textPlaces[registerText], "Invalid dimension");
        return nullptr;
    }
    const std::string& name = texts[registerText];
    bool ok = !name.empty() && name[0] == 'v';
    for (size_t i = 1; ok && i < name.size(); ++i) ok = IsDigit(static_cast<unsigned char>(name[i]));
    if (!ok) {
        ErrorAt(textPlaces[registerText], "Vertex register expected (v#)");
        return nullptr;
    }
    uint32_t reg = ReadDecimal(std::string_view(name).substr(1));
    return Tokens({Reg(reg, static_cast<uint32_t>(dataType))});
}

DeclValue DeclarationCompiler::FormatName(uint32_t nameText, const DeclValue* rest) {
    DeclValue v{};
    if (failed) return v;
    const EffectValueName* flag = FindVertexFormatName(texts[nameText]);
    if (!flag) {
        ErrorAt(textPlaces[nameText], "Unknown identifier in FVF experssion");
        v.failed = true;
        return v;
    }
    v.word = flag->value | (rest ? rest->word : 0u);
    v.failed = rest && rest->failed;
    return v;
}

HRESULT CompileDeclarationTokens(std::string_view text, const char* fileName, uint32_t firstLine,
                                 std::vector<uint32_t>* tokens, MessageList* messages) {
    static std::mutex lock;  // one declaration compile at a time
    std::lock_guard<std::mutex> guard(lock);
    tokens->clear();
    DeclarationCompiler compiler(text, fileName, firstLine, messages);
    bool parsed = compiler.Parse();
    if (!parsed || compiler.failed) return E_FAIL;
    *tokens = std::move(compiler.tokens);
    return S_OK;
}

}  // namespace fxc

HRESULT CompileDeclaration(const char* text, UINT length, const char* fileName, UINT firstLine,
                           DataBuffer** tokens, DataBuffer** messages, std::vector<fxc::Diagnostic>* diagnostics) {
    if (tokens) *tokens = nullptr;
    if (messages) *messages = nullptr;
    if (diagnostics) diagnostics->clear();
    if (!text) return D3DERR_INVALIDCALL;
    fxc::MessageList list;
    list.SetSource(std::string_view(text, length));
    std::vector<uint32_t> words;
    HRESULT hr = fxc::CompileDeclarationTokens(std::string_view(text, length), fileName, firstLine, &words, &list);
    if (SUCCEEDED(hr) && tokens) hr = DataBuffer::CreateCopy(words.data(), DWORD(words.size() * 4), tokens);
    if (diagnostics) *diagnostics = list.Diagnostics();
    if (messages) {
        HRESULT mhr = list.MakeBuffer(messages);
        if (SUCCEEDED(hr)) hr = mhr;
    }
    return hr;
}
