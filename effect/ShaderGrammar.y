/* Shader assembly grammar (version 1.x vertex and pixel shaders): LALR(1), one token of
   look-ahead, a 500-entry stack. Mnemonic tokens carry their operand count in their kind. */
%code requires {
#include "effect/ShaderAssemblerState.h"
}
%code top {
#define YYINITDEPTH 501
#define YYMAXDEPTH 501
}
%define api.pure full
%define api.prefix {sa}
%define api.value.type {fxc::AsmValue}
%define parse.error custom
%parse-param {fxc::ShaderAssemblerState* c}
%lex-param {fxc::ShaderAssemblerState* c}

%code {
static int salex(fxc::AsmValue* value, fxc::ShaderAssemblerState* c) { return c->Lex(value); }
static void saerror(fxc::ShaderAssemblerState* c, const char* message) { c->ParserError(message); }
}

/* The names are how a syntax error describes the tokens. */
%token T_EOT "end of file" T_VS "'vs'" T_PS "'ps'" T_DEF "'def'" T_INT "integer" T_FLOAT "float"
%token T_WORD "name"
%token T_OP0 T_OP1 T_OP2 T_OP3 T_OP4   /* mnemonics by operand count: "instruction" */

%%

program
    : version T_EOT
    | version body T_EOT
    ;
version
    : T_VS '.' T_INT '.' T_INT      { c->Version(false, $3.word, $5.word); }
    | T_PS '.' T_INT '.' T_INT      { c->Version(true, $3.word, $5.word); }
    ;
body
    : instructions
    | definitions instructions
    ;
definitions
    : definition
    | definitions definition
    ;
definition
    : T_DEF register ',' value ',' value ',' value ',' value
        { c->Define($2.operand, $4.real, $6.real, $8.real, $10.real); }
    ;
value
    : T_INT             { $$.real = static_cast<float>(static_cast<int32_t>($1.word)); }
    | T_FLOAT           { $$.real = $1.real; }
    | '+' T_INT         { $$.real = static_cast<float>(static_cast<int32_t>($2.word)); }
    | '+' T_FLOAT       { $$.real = $2.real; }
    | '-' T_INT         { $$.real = -static_cast<float>(static_cast<int32_t>($2.word)); }
    | '-' T_FLOAT       { $$.real = -$2.real; }
    ;
instructions
    : instruction
    | instruction instructions
    ;
instruction
    : statement             { c->Instruction(false, $1.word); }
    | '+' statement         { c->Instruction(true, $2.word); }
    ;
statement
    : T_OP0                                                             { $$.word = $1.word; }
    | T_OP1 destination                                                 { $$.word = $1.word; }
    | T_OP2 destination ',' source                                      { $$.word = $1.word; }
    | T_OP3 destination ',' source ',' source                           { $$.word = $1.word; }
    | T_OP4 destination ',' source ',' source ',' source                { $$.word = $1.word; }
    ;
destination
    : register                      { c->Destination($1.operand, nullptr); }
    | register '.' T_WORD           { c->Destination($1.operand, &$3); }
    ;
source
    : swizzled                      { c->Source($1.operand, 0); }
    | '-' swizzled                  { c->Source($2.operand, 1); }
    | T_INT '-' swizzled            { c->Source($3.operand, 2); }
    ;
swizzled
    : register                      { $$.operand = $1.operand; }
    | register '.' T_WORD           { $$.operand = c->Swizzle($1.operand, $3); }
    ;
register
    : T_WORD                        { $$.operand = c->Register($1, nullptr); }
    | T_WORD '[' index ']'          { $$.operand = c->Register($1, &$3); }
    ;
index
    : index_item                    { $$ = $1; }
    | index '+' index_item          { $$ = c->IndexAdd($1, $3); }
    ;
index_item
    : T_INT                         { $$ = c->IndexNumber($1.word); }
    | swizzled                      { $$ = c->IndexRegister($1.operand); if (c->aborted) YYABORT; }
    ;
%%

/* A syntax error with the names of the tokens the parser could have taken. */
static int yyreport_syntax_error(const yypcontext_t* context, fxc::ShaderAssemblerState* c) {
    yysymbol_kind_t kinds[YYNTOKENS];
    const int count = yypcontext_expected_tokens(context, kinds, YYNTOKENS);
    std::vector<std::string> expected;
    for (int i = 0; i < count; ++i) {
        const std::string name = yysymbol_name(kinds[i]);
        expected.push_back(name.rfind("T_OP", 0) == 0 ? "instruction" : name);
    }
    c->SyntaxError(&expected);
    return 0;
}
