// The state of one effect compile (`EffectCompiler`): lexer, message list, declared names and
// the grammar actions that build the node tree. Internal to effect/; the generated parser
// (EffectGrammar.y) drives it.
#pragma once

#include "effect/CompilerSupport.h"
#include "effect/EffectNode.h"
#include "effect/EffectStates.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fxc {

// Semantic value of a token or grammar symbol; a plain record so the parser can copy it.
struct FxValue {
    EffectNode* node;  // built node, or null once the compile has failed
    uint32_t word;     // integer value (two's complement for negative integers)
    float real;        // float value
    uint32_t text;     // identifier, string or block: index into the compiler's pools
};

// An `asm` or `decl` block's text within the source, with the file name and line that were
// current at its opening brace.
struct BlockText {
    size_t offset;
    size_t length;
    std::string file;
    uint32_t line;
    SourcePlace place;  // the block's opening brace (or where an empty block ended)
};

class EffectCompiler : private LexCursor {
public:
    EffectCompiler(const char* source, size_t length, const char* fileName);
    // Runs the parser; false when it stopped at a syntax error or a stack overflow.
    bool Parse();

    EffectNode* root = nullptr;  // "FX81" once the parse succeeded
    MessageList messages;
    bool failed = false;  // set by every message; then the actions build nothing

    // [Lexer]
    int Lex(FxValue* value);
    // [Parser callbacks]
    void ParserError(const char* message);
    // The first token the grammar does not accept; `expected` names what it could take.
    void SyntaxError(const std::vector<std::string>& expected);

    // [Actions] each returns null once the compile has failed.
    EffectNode* Effect(EffectNode* definitions);
    EffectNode* PrependToList(uint32_t listTag, EffectNode* element, EffectNode* list);
    EffectNode* Parameter(uint32_t typeText, uint32_t nameText, EffectNode* value);
    EffectNode* Technique(const uint32_t* nameText, EffectNode* passes);
    EffectNode* Pass(const uint32_t* nameText, EffectNode* assignments);
    EffectNode* State(uint32_t nameText, bool indexed, uint32_t index);
    EffectNode* Assignment(EffectNode* lval, EffectNode* expression);
    EffectNode* Reference(EffectNode* lval, uint32_t nameText);
    EffectNode* Chain(EffectNode* term, EffectNode* rest);
    EffectNode* Identifier(uint32_t text);
    EffectNode* DwordValue(uint32_t value);
    EffectNode* FloatValue(float value);
    EffectNode* VectorValue(const float* values, int count);
    EffectNode* StringValue(uint32_t text);
    EffectNode* VertexShaderValue(uint32_t declBlock, const uint32_t* asmBlock);
    EffectNode* PixelShaderValue(uint32_t asmBlock);
    uint32_t JoinStrings(uint32_t first, uint32_t rest);

    // Numbers collected for a vector or matrix (bounded by the grammar: at most 16).
    float numbers[16];
    int numberCount = 0;

private:
    // A message pointing at the last token read (the parser's look-ahead), or at `place`.
    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ErrorAt(SourcePlace place, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void GapFault(Gap gap) override { ErrorAt(GapPlace(), "%s", GapFaultText(gap)); }
    uint32_t AddText(std::string text);
    SourcePlace TextPlace(uint32_t text) const { return text < textPlaces.size() ? textPlaces[text] : TokenPlace(); }
    int LexString(FxValue* value);
    EffectNode* Fold(const EffectStateInfo& state, EffectNode* expression, SourcePlace statePlace);

    // Lexer state beyond the position (LexCursor).
    enum class Block { None, Asm, Decl } blockMode = Block::None;
    const char* blockStart = nullptr;  // just after the last "{" of the block being read
    std::string blockFile;
    uint32_t blockLine = 0;
    SourcePlace blockBrace;  // the block's last opening brace

    EffectNodeArena arena;
    std::vector<std::string> texts;  // identifiers and decoded strings, by token
    std::vector<SourcePlace> textPlaces;  // where each text's token starts
    std::vector<BlockText> blocks;
    struct DeclaredParameter {
        EffectType type;
        std::string name;
    };
    std::vector<DeclaredParameter> parameters;
    std::vector<std::string> techniqueNames;
    std::vector<std::string> passNames;
};

}  // namespace fxc
