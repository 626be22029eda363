// State of one shader assembly (`ShaderAssembler`): lexer, message list, operands and the
// token lists. Internal to effect/; ShaderGrammar.y drives it.
#pragma once

#include "effect/CompilerSupport.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fxc {

// Semantic value of an assembly token or symbol; a plain record the parser can copy.
struct AsmValue {
    uint32_t word;     // integer; mnemonic: index into the instruction table plus modifiers
    float real;        // float
    uint32_t text;     // word: index into the texts
    uint32_t line;     // line the token started on
    const char* at;    // the token's first byte
    uint32_t operand;  // register operand: index into the operand pool
    // Index expressions (inside "[...]").
    uint64_t indexSum;  // sum of the integers, saturated
    uint32_t a0Count;   // number of "a0.x" terms
    bool badTerm;       // a register term other than "a0.x"
};

struct AsmOperand {
    std::string word;     // register word as written
    SourcePlace place;    // the register word
    bool indexed = false;
    AsmValue index{};     // the index expression when indexed
    bool swizzled = false;
    std::string swizzle;  // swizzle or mask text
    SourcePlace swizzlePlace;
};

class ShaderAssemblerState : private LexCursor {
public:
    ShaderAssemblerState(std::string_view text, const char* fileName, uint32_t firstLine, DWORD flags,
                         MessageList* messages);
    bool Parse();

    bool error = false;    // any message reported
    bool aborted = false;  // an action ended the parse
    bool isPixel = false;
    uint32_t version = 0;  // version token, 0 until the version statement
    std::vector<uint32_t> instructions;  // instruction tokens with their debug comments
    std::vector<uint32_t> constants;     // vs: constant declaration tokens; ps: def instructions
    size_t instructionCount = 0;
    // Where each instruction of the function tokens starts, in their order (a pixel shader's
    // definitions first), so that a validator message about one points at its statement.
    std::vector<SourcePlace> definitionPlaces, instructionPlaces;

    int Lex(AsmValue* value);
    void ParserError(const char* message);
    // A token the grammar does not accept; `expected` names what it could take (null: unknown).
    void SyntaxError(const std::vector<std::string>* expected);

    void Version(bool pixel, uint32_t major, uint32_t minor);
    void Define(uint32_t operand, float x, float y, float z, float w);
    void Instruction(bool coissue, uint32_t mnemonic);
    void Destination(uint32_t operand, const AsmValue* mask);
    void Source(uint32_t operand, int form);  // form: 0 plain, 1 negated, 2 complement
    uint32_t Swizzle(uint32_t operand, const AsmValue& swizzle);
    uint32_t Register(const AsmValue& word, const AsmValue* index);
    AsmValue IndexNumber(uint32_t value);
    AsmValue IndexRegister(uint32_t operand);
    AsmValue IndexAdd(const AsmValue& sum, const AsmValue& item);

private:
    // A message at `place`, whose line the message names (0 counts as 1).
    void Error(SourcePlace place, const char* format, ...) __attribute__((format(printf, 3, 4)));
    SourcePlace Here() const { return {tokenStart, line}; }
    void GapFault(Gap gap) override;
    // Register type and number of an operand (sets relative for "c[a0.x ...]"); false after
    // reporting an invalid register. `modifier` receives a pixel-shader suffix modifier when
    // `allowSuffix`.
    bool Resolve(const AsmOperand& op, bool allowSuffix, uint32_t* type, uint32_t* number, bool* relative,
                 uint32_t* modifier);
    void WriteDebugComments();
    int LookupMnemonic(std::string_view word, uint32_t* value) const;

    bool hasFile;
    DWORD flags;
    MessageList* messages;

    // Syntax-error context.
    bool statementStarted = false;
    SourcePlace statementPlace{nullptr, 1};
    int lastToken = 0;
    int bracketDepth = 0;

    // Debug comments.
    std::string lastFile;
    uint32_t lastLine = 0;
    bool textWritten = false;

    std::vector<std::string> texts;
    std::vector<AsmOperand> operands;
    struct Pending {
        uint32_t token;
        bool isDestination;
    };
    std::vector<Pending> pending;  // operands of the instruction being read
};

}  // namespace fxc
