// The shader assembler: lexer, instruction table, grammar actions and output (version token,
// banner, definitions, instructions with debug comments, end token).
//
// Index: [SECTION] Instruction table  [SECTION] Lexer  [SECTION] Actions  [SECTION] Entry
#include "effect/ShaderAssembler.h"

#include "effect/CompileEffect.h"
#include "effect/EffectBlockTags.h"
#include "effect/ShaderAssemblerState.h"
#include "platform/d3d/shader/ShaderTokens.h"
#include "platform/d3d/shader/ShaderValidator.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "ShaderGrammar.hpp"

int saparse(fxc::ShaderAssemblerState* c);

namespace fxc {

// [SECTION] Instruction table

namespace {

struct Mnemonic {
    const char* name;
    uint32_t opcode;
    int operands;    // destination and sources
    uint8_t models;  // shader::ShaderModel bits where the instruction exists
};

// The model names the opcode list uses.
using shader::PS12, shader::PS13, shader::PS14, shader::PS_12UP, shader::PS_13, shader::PS_ALL,
    shader::VS_ALL;
// The opcode list's instructions ("def" is read as its own word before these are looked up).
const Mnemonic kMnemonics[] = {
#define SG_MNEMONIC(e, name, code, dsts, srcs, models, cls, slots) {name, code, dsts + srcs, models},
    SG_SHADER_OPCODES(SG_MNEMONIC)
#undef SG_MNEMONIC
};

// An instruction is recognised in every version of its shader kind's generation (vertex, pixel
// before 1.4, pixel 1.4); whether the exact version has it is the validator's to say, with its
// own message. So "cmp" reads in ps.1.1 and "texm3x2depth" in ps.1.2.
bool Recognised(const Mnemonic& m, bool pixel, uint32_t version) {
    if (!pixel) return (m.models & VS_ALL) != 0;
    const uint8_t generation = (version & 0xFFFF) >= 0x0104 ? uint8_t(PS14) : PS_13;
    return (m.models & generation) != 0;
}

struct ResultShift {
    const char* name;
    uint32_t value;
};
const ResultShift kShifts[] = {{"x2", 1}, {"x4", 2}, {"x8", 3}, {"d2", 15}, {"d4", 14}, {"d8", 13}};

struct SourceSuffix {
    const char* name;
    uint32_t modifier;
};
const SourceSuffix kSuffixes[] = {{"_bias", 2}, {"_bx2", 4}, {"_x2", 7}, {"_dz", 9},
                                  {"_db", 9},   {"_dw", 10}, {"_da", 10}};

constexpr uint32_t kMnemonicIndexMask = 0xFF;
constexpr uint32_t kShiftBit = 8;      // bits 8..11: result shift
constexpr uint32_t kSaturate = 1u << 12;
constexpr uint32_t kRelative = 1u << 13;
constexpr uint32_t kEndToken = 0x0000FFFF;
const char kBanner[] = "D3DX8 Shader Assembler Version 0.91";
static_assert(sizeof kBanner == 36);

uint32_t CommentToken(size_t words) { return 0xFFFEu | static_cast<uint32_t>(words << 16); }

}  // namespace

ShaderAssemblerState::ShaderAssemblerState(std::string_view text, const char* fileName, uint32_t firstLine,
                                           DWORD flags, MessageList* messages)
    : LexCursor(text, firstLine ? firstLine : 1),
      hasFile(fileName != nullptr),
      flags(flags),
      messages(messages) {
    if (fileName) file.assign(fileName, strnlen(fileName, kMaxText));
}

void ShaderAssemblerState::GapFault(Gap gap) {
    messages->Report(file, static_cast<int>(line ? line : 1), GapPlace(), "(Assembly Error) ", "%s",
                     gap == Gap::BadDirective ? "preprocessor directives are not supported"
                                              : "comment extends past end-of-file");
    error = true;
}

bool ShaderAssemblerState::Parse() { return saparse(this) == 0 && !aborted; }

void ShaderAssemblerState::Error(SourcePlace place, const char* format, ...) {
    if (place.line == 0) place.line = 1;
    va_list args;
    va_start(args, format);
    messages->ReportV(file, static_cast<int>(place.line), place, "(Assembly Error) ", format, args);
    va_end(args);
    error = true;
}

void ShaderAssemblerState::SyntaxError(const std::vector<std::string>* expected) {
    const char* text = "statement incomplete";
    uint32_t at = statementPlace.line;
    if (!statementStarted) {
        text = "shader version expected";
        at = line;
    } else if (lastToken == T_DEF && instructionCount > 0) {
        text = "constant definition in shader body";
    }
    // The classic line names the statement; the diagnostic points at the token refused.
    std::string detail = text;
    if (expected) detail += ": " + ExpectedBefore(*expected, FoundToken(tokenStart, cur));
    messages->ReportSyntax(file, static_cast<int>(at ? at : 1), Here(), "(Assembly Error) ", text, detail);
    error = true;
}

void ShaderAssemblerState::ParserError(const char* message) {
    if (std::strcmp(message, "memory exhausted") == 0)
        Error(Here(), "yacc stack overflow");
    else
        SyntaxError(nullptr);
}

// [SECTION] Lexer

int ShaderAssemblerState::LookupMnemonic(std::string_view word, uint32_t* value) const {
    std::string_view base = word;
    uint32_t shift = 0;
    bool saturate = false;
    size_t underscore = word.find('_');
    if (underscore != std::string_view::npos) {
        if (!isPixel) return -1;  // modifiers exist only in pixel shaders
        base = word.substr(0, underscore);
        std::string_view rest = word.substr(underscore + 1);
        size_t next = rest.find('_');
        std::string_view first = rest.substr(0, next);
        std::string_view second = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        if (first.size() > 15 || second.size() > 15) return -1;
        bool firstIsShift = false;
        for (const ResultShift& s : kShifts) {
            if (first == s.name) {
                shift = s.value;
                firstIsShift = true;
            }
        }
        if (firstIsShift) {
            if (next != std::string_view::npos) {
                if (second != "sat") return -1;
                saturate = true;
            }
        } else {
            if (first != "sat" || next != std::string_view::npos) return -1;
            saturate = true;
        }
    }
    if (version == 0) return -1;
    for (size_t i = 0; i < std::size(kMnemonics); ++i) {
        const Mnemonic& m = kMnemonics[i];
        if (base == m.name && Recognised(m, isPixel, version)) {
            *value = static_cast<uint32_t>(i) | (shift << kShiftBit) | (saturate ? kSaturate : 0u);
            return T_OP0 + m.operands;
        }
    }
    return -1;
}

int ShaderAssemblerState::Lex(AsmValue* value) {
    *value = AsmValue{};
    for (;;) {
        const bool more = SkipToToken(true);  // ";" starts a comment too
        StartToken();
        value->line = line;
        value->at = cur;
        if (!more) return lastToken = EndToken(T_EOT);
        unsigned char ch = static_cast<unsigned char>(*cur);
        int token;
        if (IsAsciiLetter(ch)) {
            std::string_view word = TakeWord().substr(0, kMaxText);
            if (word == "vs")
                token = T_VS;
            else if (word == "ps")
                token = T_PS;
            else if (word == "def")
                token = T_DEF;
            else if ((token = LookupMnemonic(word, &value->word)) < 0) {
                texts.emplace_back(word);
                value->text = static_cast<uint32_t>(texts.size() - 1);
                token = T_WORD;
            }
        } else if (IsDigit(ch)) {
            const char* numberStart = cur;
            bool isFloat = false;
            while (cur < end) {
                unsigned char c = static_cast<unsigned char>(*cur);
                if (IsDigit(c)) {
                    ++cur;
                } else if (version != 0 && c == '.') {
                    isFloat = true;
                    ++cur;
                } else if (version != 0 && c == 'e') {
                    isFloat = true;
                    ++cur;
                    if (cur < end && (*cur == '+' || *cur == '-')) ++cur;
                } else {
                    break;
                }
            }
            std::string_view text = std::string_view(numberStart, size_t(cur - numberStart)).substr(0, kMaxText);
            if (version != 0 && cur < end && *cur == 'f') {
                isFloat = true;
                ++cur;
            }
            if (isFloat) {
                value->real = ReadFloat(text);
                token = T_FLOAT;
            } else {
                value->word = ReadDecimal(text);
                token = T_INT;
            }
        } else {
            ++cur;
            token = ch;
            if (ch == '[') ++bracketDepth;
            if (ch == ']' && bracketDepth > 0) --bracketDepth;
        }
        bool startsStatement = token == T_VS || token == T_PS || token == T_DEF ||
                               (token >= T_OP0 && token <= T_OP4) || (token == '+' && bracketDepth == 0);
        // A "+" that co-issues an instruction has already started the statement.
        if (startsStatement && !(token >= T_OP0 && token <= T_OP4 && lastToken == '+' && bracketDepth == 0)) {
            statementStarted = true;
            statementPlace = {value->at, value->line};
        }
        return lastToken = token;
    }
}

// [SECTION] Actions

void ShaderAssemblerState::Version(bool pixel, uint32_t major, uint32_t minor) {
    isPixel = pixel;
    if (major > 255 || minor > 255) {
        Error(Here(), "invalid version");
        major &= 0xFF;
        minor &= 0xFF;
    }
    version = (pixel ? 0xFFFF0000u : 0xFFFE0000u) | (major << 8) | minor;
}

bool ShaderAssemblerState::Resolve(const AsmOperand& op, bool allowSuffix, uint32_t* type, uint32_t* number,
                                   bool* relative, uint32_t* modifier) {
    std::string_view word = op.word;
    *relative = false;
    *modifier = 0;
    if (allowSuffix && isPixel) {
        for (const SourceSuffix& s : kSuffixes) {
            size_t n = std::strlen(s.name);
            if (word.size() > n && word.substr(word.size() - n) == s.name) {
                word.remove_suffix(n);
                *modifier = s.modifier;
                break;
            }
        }
    }
    if (op.indexed) {
        const AsmValue& index = op.index;
        int64_t sum = static_cast<int64_t>(index.indexSum);
        if (word != "c") {
            if (index.a0Count)
                Error(op.place, "invalid register '%s[a0.x + %d]'", op.word.c_str(), static_cast<int>(sum > 0x7FFFFFFF ? 0x7FFFFFFF : sum));
            else
                Error(op.place, "invalid register '%s[%d]'", op.word.c_str(), static_cast<int>(sum > 0x7FFFFFFF ? 0x7FFFFFFF : sum));
            return false;
        }
        if (index.badTerm) return false;  // already reported
        if (sum > 8191) {
            Error(op.place, "illegal register number");
            return false;
        }
        *type = 2;
        *number = static_cast<uint32_t>(sum);
        *relative = index.a0Count > 0;
        return true;
    }
    struct Name {
        const char* text;
        uint32_t type;
        bool prefix;   // followed by a number
        uint32_t number;
        bool pixel;
    };
    static const Name kNames[] = {
        {"oPos", 4, false, 0, false}, {"oFog", 4, false, 1, false}, {"oPts", 4, false, 2, false},
        {"oD", 5, true, 0, false},    {"oT", 6, true, 0, false},    {"r", 0, true, 0, false},
        {"v", 1, true, 0, false},     {"c", 2, true, 0, false},     {"a", 3, true, 0, false},
        {"r", 0, true, 0, true},      {"v", 1, true, 0, true},      {"c", 2, true, 0, true},
        {"t", 3, true, 0, true},
    };
    for (const Name& n : kNames) {
        if (n.pixel != isPixel) continue;
        std::string_view text = n.text;
        if (!n.prefix) {
            if (word == text) {
                *type = n.type;
                *number = n.number;
                return true;
            }
            continue;
        }
        if (word.size() <= text.size() || word.substr(0, text.size()) != text) continue;
        std::string_view digits = word.substr(text.size());
        bool ok = digits.size() <= 4;
        for (char d : digits) ok = ok && IsDigit(static_cast<unsigned char>(d));
        if (!ok) continue;
        uint32_t value = ReadDecimal(digits);
        if (value >= 8192) continue;
        *type = n.type;
        *number = value;
        return true;
    }
    Error(op.place, "invalid register '%s'", op.word.c_str());
    return false;
}

uint32_t ShaderAssemblerState::Register(const AsmValue& word, const AsmValue* index) {
    AsmOperand op;
    op.word = texts[word.text];
    op.place = {word.at, word.line};
    if (index) {
        op.indexed = true;
        op.index = *index;
    }
    operands.push_back(std::move(op));
    return static_cast<uint32_t>(operands.size() - 1);
}

uint32_t ShaderAssemblerState::Swizzle(uint32_t operand, const AsmValue& swizzle) {
    AsmOperand& op = operands[operand];
    op.swizzled = true;
    op.swizzle = texts[swizzle.text];
    op.swizzlePlace = {swizzle.at, swizzle.line};
    return operand;
}

AsmValue ShaderAssemblerState::IndexNumber(uint32_t value) {
    AsmValue v{};
    v.indexSum = value;
    return v;
}

AsmValue ShaderAssemblerState::IndexRegister(uint32_t operand) {
    AsmValue v{};
    const AsmOperand& op = operands[operand];
    if (isPixel) {
        SyntaxError(nullptr);
        aborted = true;
        return v;
    }
    if (op.word != "a0" || op.indexed || !op.swizzled || op.swizzle != "x") {
        Error(op.place, "illegal register in index expression");
        v.badTerm = true;
        return v;
    }
    v.a0Count = 1;
    return v;
}

AsmValue ShaderAssemblerState::IndexAdd(const AsmValue& sum, const AsmValue& item) {
    AsmValue v = sum;
    v.indexSum = sum.indexSum + item.indexSum;
    if (v.indexSum > 0xFFFFFFFFull) v.indexSum = 0xFFFFFFFFull;  // saturate; reported as too large
    v.badTerm = sum.badTerm || item.badTerm;
    if (sum.a0Count && item.a0Count && !v.badTerm) {
        Error(Here(), "a0.x can only appear once in an index expression");
        v.badTerm = true;
    }
    v.a0Count = sum.a0Count + item.a0Count;
    return v;
}

namespace {
int Component(char c) {
    switch (c) {
        case 'r': case 'x': return 0;
        case 'g': case 'y': return 1;
        case 'b': case 'z': return 2;
        case 'a': case 'w': return 3;
        default: return -1;
    }
}
}  // namespace

void ShaderAssemblerState::Destination(uint32_t operand, const AsmValue* maskWord) {
    const AsmOperand& op = operands[operand];
    uint32_t type = 0, number = 0, modifier = 0;
    bool relative = false;
    bool ok = Resolve(op, false, &type, &number, &relative, &modifier);
    uint32_t mask = 0xF;
    if (maskWord) {
        const std::string& text = texts[maskWord->text];
        mask = 0;
        int last = -1;
        for (char c : text) {
            int comp = Component(c);
            if (comp <= last) {
                mask = 0xFFFFFFFF;
                break;
            }
            mask |= 1u << comp;
            last = comp;
        }
        if (mask == 0xFFFFFFFF || text.size() > 4) {
            Error({maskWord->at, maskWord->line}, "invalid mask '%s'", text.c_str());
            mask = 0xF;
        }
    }
    uint32_t token = 0x80000000u | (type << 28) | number | (relative ? kRelative : 0u) | (mask << 16);
    (void)ok;
    pending.push_back({token, true});
}

void ShaderAssemblerState::Source(uint32_t operand, int form) {
    const AsmOperand& op = operands[operand];
    uint32_t type = 0, number = 0, modifier = 0;
    bool relative = false;
    Resolve(op, true, &type, &number, &relative, &modifier);
    uint32_t swizzle = 0xE4;
    if (op.swizzled) {
        const std::string& text = op.swizzle;
        bool ok = !text.empty() && text.size() <= 4;
        int comps[4] = {0, 0, 0, 0};
        for (size_t i = 0; ok && i < text.size(); ++i) {
            comps[i] = Component(text[i]);
            ok = comps[i] >= 0;
        }
        if (!ok) {
            Error(op.swizzlePlace, "invalid swizzle '%s'", text.c_str());
        } else {
            for (size_t i = text.size(); i < 4; ++i) comps[i] = comps[text.size() - 1];
            swizzle = uint32_t(comps[0]) | uint32_t(comps[1]) << 2 | uint32_t(comps[2]) << 4 | uint32_t(comps[3]) << 6;
        }
    }
    if (form == 1) {
        switch (modifier) {
            case 0: modifier = 1; break;
            case 2: modifier = 3; break;
            case 4: modifier = 5; break;
            case 7: modifier = 8; break;
            default: Error(op.place, "negate and divide modifiers cannot be combined"); break;
        }
    } else if (form == 2) {
        if (!isPixel)
            Error(op.place, "complement not supported in vertex shaders");
        else if (modifier != 0)
            Error(op.place, "complement cannot be used with other modifiers");
        else
            modifier = 6;
    }
    if (isPixel && (version & 0xFFFF) >= 0x0104 && type == 2 && modifier != 0)
        Error(op.place, "constant modifiers not supported in ps.1.4");
    uint32_t token = 0x80000000u | (type << 28) | number | (relative ? kRelative : 0u) | (swizzle << 16) |
                     (modifier << 24);
    pending.push_back({token, false});
}

void ShaderAssemblerState::Define(uint32_t operand, float x, float y, float z, float w) {
    const AsmOperand& op = operands[operand];
    uint32_t type = 0, number = 0, modifier = 0;
    bool relative = false;
    bool ok = false;
    if (!op.indexed && op.word.size() > 1 && op.word[0] == 'c') {
        MessageList scratch;  // resolve quietly: any failure is "invalid constant"
        MessageList* saved = messages;
        bool savedError = error;
        messages = &scratch;
        ok = Resolve(op, false, &type, &number, &relative, &modifier) && type == 2 && !relative;
        messages = saved;
        error = savedError;
    }
    if (!ok) {
        Error(op.place, "invalid constant");
        return;
    }
    uint32_t values[4];
    float floats[4] = {x, y, z, w};
    std::memcpy(values, floats, sizeof values);
    if (isPixel) {
        definitionPlaces.push_back(statementPlace);
        constants.push_back(81);
        constants.push_back(0x80000000u | (2u << 28) | number | 0xF0000u);
    } else {
        constants.push_back(0x82000000u | number);
    }
    constants.insert(constants.end(), values, values + 4);
}

void ShaderAssemblerState::WriteDebugComments() {
    if (!(flags & ASSEMBLE_DEBUG)) return;
    if (hasFile) {
        if (file != lastFile) {
            std::vector<uint32_t> words;
            words.push_back(kTagShaderFile);
            AppendPadded(words, file);
            instructions.push_back(CommentToken(words.size()));
            instructions.insert(instructions.end(), words.begin(), words.end());
            lastFile = file;
        }
    } else if (!textWritten) {
        // No file name: the whole source travels with the shader instead (cut to what a
        // comment can hold).
        std::string_view text(start, size_t(end - start));
        const size_t maxBytes = (0x7FFFu - 2) * 4;
        if (text.size() > maxBytes) text = text.substr(0, maxBytes);
        std::vector<uint32_t> words;
        words.push_back(kTagShaderText);
        AppendPadded(words, text);
        instructions.push_back(CommentToken(words.size()));
        instructions.insert(instructions.end(), words.begin(), words.end());
        textWritten = true;
    }
    if (line != lastLine) {
        instructions.push_back(CommentToken(2));
        instructions.push_back(kTagShaderLine);
        instructions.push_back(line);
        lastLine = line;
    }
}

void ShaderAssemblerState::Instruction(bool coissue, uint32_t mnemonicWord) {
    const Mnemonic& m = kMnemonics[mnemonicWord & kMnemonicIndexMask];
    uint32_t shift = (mnemonicWord >> kShiftBit) & 0xF;
    bool saturate = (mnemonicWord & kSaturate) != 0;
    assert(pending.size() == size_t(m.operands));
    if (coissue && !isPixel) Error(statementPlace, "coissue not supported in vertex shaders");
    uint32_t opcode = m.opcode;
    if (!isPixel && opcode == 3 && pending.size() == 3) {
        // Vertex shaders have no subtraction: add with the second source negated.
        opcode = 2;
        pending[2].token ^= 1u << 24;
    }
    WriteDebugComments();
    instructions.push_back(opcode | (coissue && isPixel ? 0x40000000u : 0u));
    for (size_t i = 0; i < pending.size(); ++i) {
        uint32_t token = pending[i].token;
        if (pending[i].isDestination) token |= (saturate ? 1u << 20 : 0u) | (shift << 24);
        instructions.push_back(token);
    }
    pending.clear();
    instructionPlaces.push_back(statementPlace);
    ++instructionCount;
}

// [SECTION] Entry

namespace {
std::mutex gAssembleLock;  // one assembly at a time
}  // namespace

HRESULT AssembleShaderTokens(std::string_view text, const char* fileName, uint32_t firstLine, DWORD flags,
                             std::vector<uint32_t>* function, std::vector<uint32_t>* constants,
                             MessageList* messages) {
    function->clear();
    constants->clear();
    // An empty text (an effect's empty block) is parsed and reported like any other.
    if (!text.data()) return D3DERR_INVALIDCALL;
    std::lock_guard<std::mutex> guard(gAssembleLock);
    ShaderAssemblerState state(text, fileName, firstLine, flags, messages);
    bool parsed = state.Parse();
    if (parsed && !state.error) {
        function->push_back(state.version);
        function->push_back(CommentToken(9));
        uint32_t banner[9];
        std::memcpy(banner, kBanner, sizeof banner);
        function->insert(function->end(), banner, banner + 9);
        if (state.isPixel) function->insert(function->end(), state.constants.begin(), state.constants.end());
        function->insert(function->end(), state.instructions.begin(), state.instructions.end());
        function->push_back(kEndToken);
        if (!state.isPixel) *constants = state.constants;
        if (!(flags & ASSEMBLE_SKIPVALIDATION)) {
            if (state.instructionCount == 0) {
                messages->Report(fileName ? fileName : "", 1, SourcePlace{}, "(Assembly Error) ", "%s",
                                 "statement expected");
                state.error = true;
            } else {
                char* errors = nullptr;
                HRESULT hr = S_OK;
                if (state.isPixel)
                    hr = ValidatePixelShader(function->data(), nullptr, TRUE, &errors);
                else
                    hr = ValidateVertexShader(function->data(), nullptr, nullptr, TRUE, &errors);
                if (errors) {
                    std::vector<SourcePlace> places = state.definitionPlaces;
                    places.insert(places.end(), state.instructionPlaces.begin(), state.instructionPlaces.end());
                    std::string all(errors);
                    size_t from = 0;
                    while (from < all.size()) {
                        size_t nl = all.find('\n', from);
                        if (nl == std::string::npos) nl = all.size();
                        const std::string_view text = std::string_view(all).substr(from, nl - from);
                        const int number = ValidatorInstructionNumber(text);
                        const SourcePlace place =
                            number >= 1 && size_t(number) <= places.size() ? places[size_t(number) - 1] : SourcePlace{};
                        messages->AddWhole(text, fileName ? fileName : "", place);
                        from = nl + 1;
                    }
                    FreeValidatorErrors(errors);
                }
                if (FAILED(hr)) state.error = true;
            }
        }
    }
    if (!parsed || state.error) {
        function->clear();
        constants->clear();
        return D3DXERR_INVALIDDATA;
    }
    return S_OK;
}

}  // namespace fxc

HRESULT AssembleShader(const char* text, UINT length, const char* fileName, UINT firstLine, DWORD flags,
                       DataBuffer** constants, DataBuffer** function, DataBuffer** messages,
                       std::vector<fxc::Diagnostic>* diagnostics) {
    if (diagnostics) diagnostics->clear();
    if (constants) *constants = nullptr;
    if (function) *function = nullptr;
    if (messages) *messages = nullptr;
    if (!text || length == 0) return D3DERR_INVALIDCALL;
    fxc::MessageList list;
    list.SetSource(std::string_view(text, length));
    std::vector<uint32_t> functionTokens, constantTokens;
    HRESULT hr = fxc::AssembleShaderTokens(std::string_view(text, length), fileName, firstLine, flags,
                                           &functionTokens, &constantTokens, &list);
    if (SUCCEEDED(hr) && function)
        hr = DataBuffer::CreateCopy(functionTokens.data(), DWORD(functionTokens.size() * 4), function);
    if (SUCCEEDED(hr) && constants)
        hr = DataBuffer::CreateCopy(constantTokens.data(), DWORD(constantTokens.size() * 4), constants);
    if (diagnostics) *diagnostics = list.Diagnostics();
    if (messages) {
        HRESULT mhr = list.MakeBuffer(messages);
        if (SUCCEEDED(hr)) hr = mhr;
    }
    return hr;
}

int ValidatorInstructionNumber(std::string_view message) {
    const size_t mark = message.find(" instruction ");
    if (mark == std::string_view::npos) return 0;
    const std::string_view digits = message.substr(mark + 13);
    if (digits.empty() || !fxc::IsDigit(static_cast<unsigned char>(digits[0]))) return 0;
    const uint32_t number = fxc::ReadDecimal(digits.substr(0, 9));
    return static_cast<int>(number);
}

std::vector<ShaderInstructionEntry> ShaderInstructionTable() {
    std::vector<ShaderInstructionEntry> table;
    for (const fxc::Mnemonic& m : fxc::kMnemonics) {
        table.push_back({m.name, m.opcode, m.operands, fxc::Recognised(m, false, 0xFFFE0101),
                         fxc::Recognised(m, true, 0xFFFF0101), fxc::Recognised(m, true, 0xFFFF0104)});
    }
    return table;
}

const char* ShaderOpcodeName(uint32_t opcode, bool pixel, bool pixelVersion14) {
    if (opcode == 81) return "def";
    uint32_t version = pixel ? (pixelVersion14 ? 0x0104u : 0x0101u) : 0x0101u;
    for (const fxc::Mnemonic& m : fxc::kMnemonics)
        if (m.opcode == opcode && fxc::Recognised(m, pixel, version)) return m.name;
    return nullptr;
}
