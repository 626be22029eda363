// The effect compiler: lexer, grammar actions (checks, folding, shader values) and the compile
// entry points. One EffectCompiler per compile; the generated parser keeps its stacks locally.
//
// Index: [SECTION] Lexer  [SECTION] Actions  [SECTION] Entry points
#include "effect/CompileEffect.h"

#include "effect/DeclarationCompiler.h"
#include "effect/EffectBlockTags.h"
#include "effect/EffectCompilerState.h"
#include "effect/FileBytes.h"
#include "effect/ShaderAssembler.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "EffectGrammar.hpp"

int fxparse(fxc::EffectCompiler* c);

namespace fxc {

EffectCompiler::EffectCompiler(const char* source, size_t length, const char* fileName)
    : LexCursor(std::string_view(source, length), 1) {
    if (fileName) file.assign(fileName, strnlen(fileName, kMaxText));
    messages.SetSource(std::string_view(source, length));
}

bool EffectCompiler::Parse() { return fxparse(this) == 0; }

void EffectCompiler::Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    messages.ReportV(file, static_cast<int>(line), TokenPlace(), "", format, args);
    va_end(args);
    failed = true;
}

void EffectCompiler::ErrorAt(SourcePlace place, const char* format, ...) {
    va_list args;
    va_start(args, format);
    messages.ReportV(file, static_cast<int>(line), place, "", format, args);
    va_end(args);
    failed = true;
}

void EffectCompiler::SyntaxError(const std::vector<std::string>& expected) {
    messages.ReportSyntax(file, static_cast<int>(line), TokenPlace(), "", "syntax error",
                          ExpectedBefore(expected, FoundToken(tokenStart, cur)));
    failed = true;
}

void EffectCompiler::ParserError(const char* message) {
    // The generated parser calls this once for the first token it cannot accept, and once
    // when its stack is full; either ends the parse.
    if (std::strcmp(message, "memory exhausted") == 0)
        Error("yacc stack overflow");
    else
        Error("syntax error");
}

uint32_t EffectCompiler::AddText(std::string text) {
    texts.push_back(std::move(text));
    textPlaces.push_back(TokenPlace());
    return static_cast<uint32_t>(texts.size() - 1);
}

// [SECTION] Lexer

int EffectCompiler::LexString(FxValue* value) {
    // cur is at the opening quote. Find the closing quote first, stepping over escaped bytes.
    const char* p = cur + 1;
    while (p < end && *p != '"' && *p != '\n') {
        if (*p == '\\' && p + 1 < end) ++p;
        ++p;
    }
    if (p >= end || *p != '"') {
        Error("newline in string constant");
        cur = p;
        value->text = AddText(std::string());
        return T_STRING;
    }
    std::string decoded;
    for (const char* q = cur + 1; q < p;) {
        unsigned char ch = static_cast<unsigned char>(*q++);
        if (ch != '\\' || q >= p) {
            if (ch == '\n') ++line;
            decoded += static_cast<char>(ch);
            continue;
        }
        unsigned char e = static_cast<unsigned char>(*q);
        switch (e) {
            case 'a': decoded += '\a'; ++q; continue;
            case 'b': decoded += '\b'; ++q; continue;
            case 'f': decoded += '\f'; ++q; continue;
            case 'n': decoded += '\n'; ++q; continue;
            case 'r': decoded += '\r'; ++q; continue;
            case 't': decoded += '\t'; ++q; continue;
            case 'v': decoded += '\v'; ++q; continue;
            default: break;
        }
        if (e >= '0' && e <= '7') {
            unsigned v = 0;
            for (int n = 0; n < 3 && q < p && *q >= '0' && *q <= '7'; ++n) v = v * 8 + unsigned(*q++ - '0');
            decoded += static_cast<char>(v & 0xFF);
        } else if (e == 'x' && q + 1 < p && IsHexDigit(static_cast<unsigned char>(q[1]))) {
            ++q;
            unsigned v = 0;
            while (q < p && IsHexDigit(static_cast<unsigned char>(*q))) {
                unsigned char h = static_cast<unsigned char>(*q++);
                v = (v << 4) | (IsDigit(h) ? unsigned(h - '0') : unsigned((h | 0x20) - 'a' + 10));
                v &= 0xFFF;  // only the low byte is kept; keep the rest bounded
            }
            decoded += static_cast<char>(v & 0xFF);
        } else {
            if (e == '\n') ++line;
            decoded += static_cast<char>(e);
            ++q;
        }
    }
    cur = p + 1;
    value->text = AddText(std::move(decoded));
    return T_STRING;
}

int EffectCompiler::Lex(FxValue* value) {
    *value = FxValue{};
    for (;;) {
        if (!SkipToToken()) {
            StartToken();
            return EndToken(T_EOT);
        }
        // A block token starts at its keyword.
        if (blockMode == Block::None) StartToken();
        unsigned char ch = static_cast<unsigned char>(*cur);
        if (blockMode != Block::None) {
            if (ch == '{') {
                blockBrace = {cur, line};
                blockStart = ++cur;
                blockFile = file;
                blockLine = line;
                continue;
            }
            if (ch == ';' && blockMode == Block::Asm) {
                while (cur < end && *cur != '\n') ++cur;
                continue;
            }
            if (blockStart && ch != '}') {
                ++cur;
                continue;
            }
            // A closing brace ends the block; any other byte before an opening brace ends it
            // empty and is read again as an ordinary token.
            BlockText block{0, 0, blockStart ? blockFile : file, blockStart ? blockLine : line,
                            blockStart ? blockBrace : SourcePlace{cur, line}};
            if (blockStart) {
                block.offset = size_t(blockStart - start);
                block.length = size_t(cur - blockStart);
                ++cur;
            } else {
                block.offset = size_t(cur - start);
            }
            int token = blockMode == Block::Asm ? T_ASMBLOCK : T_DECLBLOCK;
            blockMode = Block::None;
            blockStart = nullptr;
            blocks.push_back(std::move(block));
            value->text = static_cast<uint32_t>(blocks.size() - 1);
            return token;
        }
        if (IsAsciiLetter(ch) || ch == '_') {
            std::string_view word = TakeWord();
            if (EqualsNoCase(word, "technique")) return T_TECHNIQUE;
            if (EqualsNoCase(word, "pass")) return T_PASS;
            if (EqualsNoCase(word, "asm")) {
                blockMode = Block::Asm;
                continue;
            }
            if (EqualsNoCase(word, "decl")) {
                blockMode = Block::Decl;
                continue;
            }
            value->text = AddText(std::string(word.substr(0, kMaxText)));
            return T_IDENT;
        }
        if (ch == '0' && cur + 1 < end && cur[1] == 'x') {
            value->word = TakeHexNumber();
            return T_HEX;
        }
        if (IsDigit(ch) || (ch == '.' && cur + 1 < end && IsDigit(static_cast<unsigned char>(cur[1])))) {
            const char* numberStart = cur;
            bool isFloat = false;
            while (cur < end && (IsDigit(static_cast<unsigned char>(*cur)) || *cur == '.')) {
                if (*cur == '.') isFloat = true;
                ++cur;
            }
            std::string_view text = std::string_view(numberStart, size_t(cur - numberStart)).substr(0, kMaxText);
            if (cur < end && *cur == 'f') {
                isFloat = true;
                ++cur;
            }
            if (isFloat) {
                value->real = ReadFloat(text);
                return T_FLOAT;
            }
            value->word = ReadDecimal(text);
            return T_INT;
        }
        if (ch == '"') return LexString(value);
        ++cur;
        return ch;
    }
}

// [SECTION] Actions

namespace {
std::string_view Padded(const std::vector<uint32_t>& words, size_t from) {
    const char* bytes = reinterpret_cast<const char*>(words.data() + from);
    return std::string_view(bytes, strnlen(bytes, (words.size() - from) * 4));
}
}  // namespace

EffectNode* EffectCompiler::Effect(EffectNode* definitions) {
    if (failed) return nullptr;
    if (!definitions) return arena.Make(kTagRoot);
    definitions->tag = kTagRoot;
    return definitions;
}

EffectNode* EffectCompiler::PrependToList(uint32_t listTag, EffectNode* element, EffectNode* list) {
    if (failed) return nullptr;
    if (!element) {
        Error("internal compiler error! %d", 1825);
        return nullptr;
    }
    if (!list) list = arena.Make(listTag);
    list->children.insert(list->children.begin(), element);
    return list;
}

EffectNode* EffectCompiler::Parameter(uint32_t typeText, uint32_t nameText, EffectNode* value) {
    if (failed) return nullptr;
    const std::string& typeWord = texts[typeText];
    const std::string& name = texts[nameText];
    EffectType type;
    if (!LookupParameterType(typeWord, &type)) {
        ErrorAt(TextPlace(typeText), "unknown type in parameter declaration: '%s'", typeWord.c_str());
        return nullptr;
    }
    for (const DeclaredParameter& p : parameters) {
        if (p.name == name) {
            ErrorAt(TextPlace(nameText), "duplicate parameter: '%s'", name.c_str());
            return nullptr;
        }
    }
    parameters.push_back({type, name});
    EffectNode* node = arena.Make(kTagParameter);
    node->data.push_back(type);
    AppendPadded(node->data, name);
    node->children.push_back(value);
    if (value && !IsAssignable(type, value->data[0])) {
        ErrorAt(TextPlace(nameText), "invalid assignment: %s = %s", EffectTypeName(type),
                EffectTypeName(value->data[0]));
        return nullptr;
    }
    return node;
}

EffectNode* EffectCompiler::Technique(const uint32_t* nameText, EffectNode* passes) {
    passNames.clear();
    if (failed) return nullptr;
    EffectNode* node = arena.Make(kTagTechnique);
    if (nameText) {
        const std::string& name = texts[*nameText];
        for (const std::string& n : techniqueNames) {
            if (n == name) {
                ErrorAt(TextPlace(*nameText), "duplicate technique: '%s'", name.c_str());
                return nullptr;
            }
        }
        techniqueNames.push_back(name);
        AppendPadded(node->data, name);
    } else {
        node->data.push_back(0);
    }
    if (passes) node->children = std::move(passes->children);
    return node;
}

EffectNode* EffectCompiler::Pass(const uint32_t* nameText, EffectNode* assignments) {
    if (failed) return nullptr;
    EffectNode* node = arena.Make(kTagPass);
    if (nameText) {
        const std::string& name = texts[*nameText];
        for (const std::string& n : passNames) {
            if (n == name) {
                ErrorAt(TextPlace(*nameText), "duplicate pass: '%s'", name.c_str());
                return nullptr;
            }
        }
        passNames.push_back(name);
        AppendPadded(node->data, name);
    } else {
        node->data.push_back(0);
    }
    if (assignments) node->children = std::move(assignments->children);
    return node;
}

EffectNode* EffectCompiler::State(uint32_t nameText, bool indexed, uint32_t index) {
    if (failed) return nullptr;
    const std::string& name = texts[nameText];
    const EffectStateInfo* state = FindStateByName(name);
    if (!state) {
        ErrorAt(TextPlace(nameText), "unknown state '%s'", name.c_str());
        return nullptr;
    }
    if (!indexed) index = 0;
    if (index >= state->indexLimit) {
        ErrorAt(TextPlace(nameText), "invalid index: '%s[%d]' (must be < %d)", name.c_str(),
                static_cast<int>(index), static_cast<int>(state->indexLimit));
        return nullptr;
    }
    EffectNode* node = arena.Make(Tag("lval"));
    node->place = TextPlace(nameText);
    node->data = {static_cast<uint32_t>(state->type), state->code, index};
    return node;
}

EffectNode* EffectCompiler::Fold(const EffectStateInfo& state, EffectNode* expression, SourcePlace statePlace) {
    uint32_t result = 0;
    for (EffectNode* term = expression; term; term = term->children.empty() ? nullptr : term->children[0]) {
        if (term->tag == Tag("id")) {
            if (!state.values) continue;  // no value names: the identifier adds nothing
            std::string_view name = Padded(term->data, 0);
            const EffectValueName* v = FindValueName(state, name);
            if (!v) {
                ErrorAt(term->place, "unknown value in DWORD expression: '%s'", std::string(name).c_str());
                return nullptr;
            }
            result |= v->value;
            continue;
        }
        assert(term->tag == kTagValue && !term->data.empty());
        if (term->data[0] == EFFECT_DWORD) {
            result |= term->data[1];
        } else if (term->data[0] == EFFECT_VECTOR) {
            float v[4];
            std::memcpy(v, &term->data[1], sizeof v);
            result |= ColorFromVector(v);
        } else {
            ErrorAt(statePlace, "invalid type in DWORD expression");
            return nullptr;
        }
    }
    return DwordValue(result);
}

EffectNode* EffectCompiler::Assignment(EffectNode* lval, EffectNode* expression) {
    if (failed) return nullptr;
    if (!lval || !expression) {
        Error("internal compiler error! %d", 1825);
        return nullptr;
    }
    EffectNode* node = arena.Make(kTagAssignment);
    node->data = lval->data;
    const uint32_t type = lval->data[0], code = lval->data[1];
    EffectNode* value = expression;
    if (!(expression->tag == kTagValue && expression->children.empty())) {
        const EffectStateInfo* state = FindStateByCode(code);
        if (!state) {
            Error("internal compiler error! %d", 2022);
            return nullptr;
        }
        value = Fold(*state, expression, lval->place);
        if (!value) return nullptr;
    }
    node->children.push_back(value);
    if (!IsAssignable(type, value->data[0])) {
        ErrorAt(lval->place, "invalid assignment: %s = %s", EffectTypeName(type), EffectTypeName(value->data[0]));
        return nullptr;
    }
    return node;
}

EffectNode* EffectCompiler::Reference(EffectNode* lval, uint32_t nameText) {
    if (failed) return nullptr;
    if (!lval) {
        Error("internal compiler error! %d", 1825);
        return nullptr;
    }
    const std::string& name = texts[nameText];
    size_t index = 0;
    while (index < parameters.size() && parameters[index].name != name) ++index;
    if (index == parameters.size()) {
        ErrorAt(TextPlace(nameText), "undeclared parameter: '%s'", name.c_str());
        return nullptr;
    }
    EffectNode* ref = arena.Make(kTagReference);
    ref->data = {static_cast<uint32_t>(parameters[index].type), static_cast<uint32_t>(index)};
    EffectNode* node = arena.Make(kTagAssignment);
    node->data = lval->data;
    node->children.push_back(ref);
    if (!IsAssignable(lval->data[0], parameters[index].type)) {
        ErrorAt(lval->place, "invalid assignment: %s = %s", EffectTypeName(lval->data[0]),
              EffectTypeName(parameters[index].type));
        return nullptr;
    }
    return node;
}

EffectNode* EffectCompiler::Chain(EffectNode* term, EffectNode* rest) {
    if (failed) return nullptr;
    if (!term || !rest) {
        Error("internal compiler error! %d", 1825);
        return nullptr;
    }
    EffectNode* node = arena.Make(term->tag);
    node->data = term->data;
    node->place = term->place;
    node->children.push_back(rest);
    return node;
}

EffectNode* EffectCompiler::Identifier(uint32_t text) {
    if (failed) return nullptr;
    EffectNode* node = arena.Make(Tag("id"));
    node->place = TextPlace(text);
    AppendPadded(node->data, texts[text]);
    return node;
}

EffectNode* EffectCompiler::DwordValue(uint32_t value) {
    if (failed) return nullptr;
    EffectNode* node = arena.Make(kTagValue);
    node->data = {EFFECT_DWORD, value};
    return node;
}

EffectNode* EffectCompiler::FloatValue(float value) {
    if (failed) return nullptr;
    EffectNode* node = arena.Make(kTagValue);
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    node->data = {EFFECT_FLOAT, bits};
    return node;
}

EffectNode* EffectCompiler::VectorValue(const float* values, int count) {
    if (failed) return nullptr;
    assert(count >= 1 && (count <= 4 || count == 16));
    EffectNode* node = arena.Make(kTagValue);
    float v[16] = {0, 0, 0, 1.0f};
    std::memcpy(v, values, sizeof(float) * size_t(count));
    int words = count == 16 ? 16 : 4;
    node->data.resize(size_t(words) + 1);
    node->data[0] = count == 16 ? EFFECT_MATRIX : EFFECT_VECTOR;
    std::memcpy(&node->data[1], v, sizeof(float) * size_t(words));
    return node;
}

EffectNode* EffectCompiler::StringValue(uint32_t text) {
    if (failed) return nullptr;
    EffectNode* node = arena.Make(kTagValue);
    node->data.push_back(EFFECT_STRING);
    AppendPadded(node->data, texts[text]);
    return node;
}

uint32_t EffectCompiler::JoinStrings(uint32_t first, uint32_t rest) {
    return AddText(texts[first] + texts[rest]);
}

EffectNode* EffectCompiler::VertexShaderValue(uint32_t declBlock, const uint32_t* asmBlock) {
    if (failed) return nullptr;
    const BlockText& decl = blocks[declBlock];
    std::vector<uint32_t> declTokens, function, constants;
    if (FAILED(CompileDeclarationTokens(std::string_view(start + decl.offset, decl.length),
                                        decl.file.c_str(), decl.line, &declTokens, &messages))) {
        failed = true;
        return nullptr;
    }
    if (asmBlock) {
        const BlockText& code = blocks[*asmBlock];
        if (FAILED(AssembleShaderTokens(std::string_view(start + code.offset, code.length), code.file.c_str(),
                                        code.line, ASSEMBLE_DEBUG | ASSEMBLE_SKIPVALIDATION, &function,
                                        &constants, &messages))) {
            failed = true;
            return nullptr;
        }
        if (!function.empty() && (function[0] >> 16) != 0xFFFE) {
            ErrorAt(code.place, "vertex shader expected");
            return nullptr;
        }
    }
    assert(!declTokens.empty());
    declTokens.pop_back();  // the end token; written again after the constants
    EffectNode* node = arena.Make(kTagValue);
    node->data.push_back(EFFECT_VERTEXSHADER);
    bool any = !declTokens.empty() || !constants.empty();
    node->data.push_back(static_cast<uint32_t>(declTokens.size() + constants.size() + (any ? 1 : 0)));
    node->data.insert(node->data.end(), declTokens.begin(), declTokens.end());
    node->data.insert(node->data.end(), constants.begin(), constants.end());
    if (any) node->data.push_back(0xFFFFFFFFu);
    node->data.insert(node->data.end(), function.begin(), function.end());
    return node;
}

EffectNode* EffectCompiler::PixelShaderValue(uint32_t asmBlock) {
    if (failed) return nullptr;
    const BlockText& code = blocks[asmBlock];
    std::vector<uint32_t> function, constants;
    if (FAILED(AssembleShaderTokens(std::string_view(start + code.offset, code.length), code.file.c_str(),
                                    code.line, ASSEMBLE_DEBUG | ASSEMBLE_SKIPVALIDATION, &function,
                                    &constants, &messages))) {
        failed = true;
        return nullptr;
    }
    if (!function.empty() && (function[0] >> 16) != 0xFFFF) {
        ErrorAt(code.place, "pixel shader expected");
        return nullptr;
    }
    EffectNode* node = arena.Make(kTagValue);
    node->data.push_back(EFFECT_PIXELSHADER);
    node->data.push_back(0);
    node->data.insert(node->data.end(), function.begin(), function.end());
    return node;
}

}  // namespace fxc

// [SECTION] Entry points

namespace {

std::mutex gEffectCompileLock;  // one effect compile at a time, as the design has it

HRESULT MakeMessages(const fxc::MessageList& list, DataBuffer** messages) {
    if (!messages) return S_OK;
    return list.MakeBuffer(messages);
}

}  // namespace

HRESULT CompileEffect(const void* source, UINT length, const char* fileName, DataBuffer** compiled,
                      DataBuffer** messages, std::vector<fxc::Diagnostic>* diagnostics) {
    if (diagnostics) diagnostics->clear();
    if (compiled) *compiled = nullptr;
    if (messages) *messages = nullptr;
    if (!source || length == 0) return D3DERR_INVALIDCALL;
    const char* text = static_cast<const char*>(source);
    fxc::MessageList list;
    if (length > 3 && std::memcmp(text, "FX81", 4) == 0) {
        // Already compiled: handed on as it is.
        if (compiled) {
            HRESULT hr = DataBuffer::CreateCopy(text, length, compiled);
            if (FAILED(hr)) return hr;
        }
        return MakeMessages(list, messages);
    }
    std::lock_guard<std::mutex> lock(gEffectCompileLock);
    HRESULT hr = S_OK;
    try {
        fxc::EffectCompiler compiler(text, length, fileName);
        bool parsed = compiler.Parse();
        if (!parsed || compiler.failed || !compiler.root) {
            hr = E_FAIL;
        } else if (compiled) {
            size_t words = SerializedWords(*compiler.root);
            if (words > 0xFFFFFFFFu / 4) {
                hr = E_OUTOFMEMORY;
            } else {
                hr = DataBuffer::Create(static_cast<DWORD>(words * 4), compiled);
                if (SUCCEEDED(hr)) {
                    uint32_t* out = static_cast<uint32_t*>((*compiled)->GetBufferPointer());
                    uint32_t* after = SerializeNode(*compiler.root, out);
                    assert(after == out + words);
                    (void)after;
                }
            }
        }
        list = std::move(compiler.messages);
    } catch (const std::bad_alloc&) {
        list.AddWhole(std::string(fileName ? fileName : "") + "(0) : Out of memory!");
        hr = E_OUTOFMEMORY;
        if (compiled && *compiled) {
            (*compiled)->Release();
            *compiled = nullptr;
        }
    }
    if (diagnostics) *diagnostics = list.Diagnostics();
    HRESULT mhr = MakeMessages(list, messages);
    return FAILED(hr) ? hr : mhr;
}
