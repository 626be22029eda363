// State of one vertex-declaration compile (`DeclarationCompiler`): lexer, messages and the
// grammar actions. Internal to effect/; DeclGrammar.y drives it.
#pragma once

#include "effect/CompilerSupport.h"
#include "effect/EffectNode.h"

#include <string>
#include <string_view>
#include <vector>

namespace fxc {

struct DeclValue {
    EffectNode* node;  // tokens of a statement or list (tag "xxxx"), or null
    uint32_t word;     // number, type, or format bits
    uint32_t text;     // identifier: index into the compiler's texts
    bool failed;       // a format that named an unknown identifier
};

class DeclarationCompiler : private LexCursor {
public:
    DeclarationCompiler(std::string_view text, const char* fileName, uint32_t firstLine, MessageList* messages);
    bool Parse();

    bool failed = false;
    std::vector<uint32_t> tokens;  // the finished declaration, end token included

    int Lex(DeclValue* value);
    void ParserError(const char* message);
    // The first token the grammar does not accept; `expected` names what it could take.
    void SyntaxError(const std::vector<std::string>& expected);

    void Finish(EffectNode* statements);
    EffectNode* Prepend(EffectNode* statement, EffectNode* list);
    EffectNode* Stream(uint32_t n);
    EffectNode* Skip(uint32_t n);
    EffectNode* Format(uint32_t fvf, bool unknownName);
    EffectNode* Register(uint32_t type, uint32_t registerText, uint32_t dimension);
    DeclValue FormatName(uint32_t nameText, const DeclValue* rest);

private:
    // A message pointing at the last token read, or at `place`.
    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ErrorAt(SourcePlace place, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void GapFault(Gap gap) override { ErrorAt(GapPlace(), "%s", GapFaultText(gap)); }
    EffectNode* Tokens(std::vector<uint32_t> words);

    MessageList* messages;
    EffectNodeArena arena;
    std::vector<std::string> texts;
    std::vector<SourcePlace> textPlaces;  // where each text's identifier starts
};

// Declaration tokens for a vertex format, without the end token; false for a refused format.
bool DeclarationFromFormat(uint32_t fvf, std::vector<uint32_t>* tokens);

}  // namespace fxc
