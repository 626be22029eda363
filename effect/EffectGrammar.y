/* Effect-file grammar: an LALR(1) table parser with one token of look-ahead and a 500-entry
   stack; every list is right-recursive. The actions live in EffectCompiler. */
%code requires {
#include "effect/EffectCompilerState.h"
}
%code top {
/* The stack holds 500 entries; pushing one more reports "yacc stack overflow". */
#define YYINITDEPTH 501
#define YYMAXDEPTH 501
}
%define api.pure full
%define api.prefix {fx}
%define api.value.type {fxc::FxValue}
%define parse.error custom
%parse-param {fxc::EffectCompiler* c}
%lex-param {fxc::EffectCompiler* c}

%code {
static int fxlex(fxc::FxValue* value, fxc::EffectCompiler* c) { return c->Lex(value); }
static void fxerror(fxc::EffectCompiler* c, const char* message) { c->ParserError(message); }
}

/* The names are how a syntax error describes the tokens. */
%token T_EOT "end of file"
%token T_INT "integer" T_HEX "hexadecimal number" T_FLOAT "float" T_IDENT "identifier"
%token T_DECLBLOCK "decl block" T_ASMBLOCK "asm block" T_STRING "string"
%token T_TECHNIQUE "'technique'" T_PASS "'pass'"

%%

effect
    : T_EOT                     { c->root = c->Effect(nullptr); }
    | definitions T_EOT         { c->root = c->Effect($1.node); }
    ;
definitions
    : definition                { $$.node = c->PrependToList(fxc::Tag("defn"), $1.node, nullptr); }
    | definition definitions    { $$.node = c->PrependToList(fxc::Tag("defn"), $1.node, $2.node); }
    ;
definition
    : parameter
    | technique
    ;
parameter
    : T_IDENT T_IDENT ';'               { $$.node = c->Parameter($1.text, $2.text, nullptr); }
    | T_IDENT T_IDENT '=' value ';'     { $$.node = c->Parameter($1.text, $2.text, $4.node); }
    ;
technique
    : T_TECHNIQUE '{' technique_body            { $$.node = c->Technique(nullptr, $3.node); }
    | T_TECHNIQUE T_IDENT '{' technique_body    { $$.node = c->Technique(&$2.text, $4.node); }
    ;
technique_body
    : '}'               { $$.node = nullptr; }
    | passes '}'        { $$.node = $1.node; }
    ;
passes
    : pass              { $$.node = c->PrependToList(fxc::Tag("pass"), $1.node, nullptr); }
    | pass passes       { $$.node = c->PrependToList(fxc::Tag("pass"), $1.node, $2.node); }
    ;
pass
    : T_PASS '{' pass_body              { $$.node = c->Pass(nullptr, $3.node); }
    | T_PASS T_IDENT '{' pass_body      { $$.node = c->Pass(&$2.text, $4.node); }
    ;
pass_body
    : '}'               { $$.node = nullptr; }
    | assignments '}'   { $$.node = $1.node; }
    ;
assignments
    : assignment                { $$.node = c->PrependToList(fxc::Tag("asgn"), $1.node, nullptr); }
    | assignment assignments    { $$.node = c->PrependToList(fxc::Tag("asgn"), $1.node, $2.node); }
    ;
assignment
    : state '=' expression ';'          { $$.node = c->Assignment($1.node, $3.node); }
    | state '=' '<' T_IDENT '>' ';'     { $$.node = c->Reference($1.node, $4.text); }
    ;
state
    : T_IDENT                   { $$.node = c->State($1.text, false, 0); }
    | T_IDENT '[' integer ']'   { $$.node = c->State($1.text, true, $3.word); }
    ;
expression
    : term                      { $$.node = $1.node; }
    | term '|' expression       { $$.node = c->Chain($1.node, $3.node); }
    ;
term
    : value                     { $$.node = $1.node; }
    | T_IDENT                   { $$.node = c->Identifier($1.text); }
    ;
value
    : integer           { $$.node = c->DwordValue($1.word); }
    | float             { $$.node = c->FloatValue($1.real); }
    | vector            { $$.node = $1.node; }
    | matrix            { $$.node = $1.node; }
    | vertex_shader     { $$.node = $1.node; }
    | pixel_shader      { $$.node = $1.node; }
    | string            { $$.node = c->StringValue($1.text); }
    ;
integer
    : T_INT             { $$.word = $1.word; }
    | '-' T_INT         { $$.word = 0u - $2.word; }
    | T_HEX             { $$.word = $1.word; }
    | '-' T_HEX         { $$.word = 0u - $2.word; }
    ;
float
    : T_FLOAT           { $$.real = $1.real; }
    | '-' T_FLOAT       { $$.real = -$2.real; }
    ;
number
    : integer           { $$.real = static_cast<float>(static_cast<int32_t>($1.word)); }
    | float             { $$.real = $1.real; }
    ;
n1  : number            { c->numberCount = 0; c->numbers[c->numberCount++] = $1.real; } ;
n2  : n1 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n3  : n2 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n4  : n3 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n5  : n4 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n6  : n5 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n7  : n6 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n8  : n7 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n9  : n8 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n10 : n9 ',' number     { c->numbers[c->numberCount++] = $3.real; } ;
n11 : n10 ',' number    { c->numbers[c->numberCount++] = $3.real; } ;
n12 : n11 ',' number    { c->numbers[c->numberCount++] = $3.real; } ;
n13 : n12 ',' number    { c->numbers[c->numberCount++] = $3.real; } ;
n14 : n13 ',' number    { c->numbers[c->numberCount++] = $3.real; } ;
n15 : n14 ',' number    { c->numbers[c->numberCount++] = $3.real; } ;
n16 : n15 ',' number    { c->numbers[c->numberCount++] = $3.real; } ;
upto4
    : n1 | n2 | n3 | n4
    ;
vector
    : '{' upto4 '}'     { $$.node = c->VectorValue(c->numbers, c->numberCount); }
    | '(' upto4 ')'     { $$.node = c->VectorValue(c->numbers, c->numberCount); }
    ;
matrix
    : '{' n16 '}'       { $$.node = c->VectorValue(c->numbers, 16); }
    | '[' n16 ']'       { $$.node = c->VectorValue(c->numbers, 16); }
    ;
vertex_shader
    : T_DECLBLOCK               { $$.node = c->VertexShaderValue($1.text, nullptr); }
    | T_DECLBLOCK T_ASMBLOCK    { $$.node = c->VertexShaderValue($1.text, &$2.text); }
    ;
pixel_shader
    : T_ASMBLOCK                { $$.node = c->PixelShaderValue($1.text); }
    ;
string
    : T_STRING                  { $$.text = $1.text; }
    | T_STRING string           { $$.text = c->JoinStrings($1.text, $2.text); }
    ;
%%

/* A syntax error with the names of the tokens the parser could have taken. */
static int yyreport_syntax_error(const yypcontext_t* context, fxc::EffectCompiler* c) {
    yysymbol_kind_t kinds[YYNTOKENS];
    const int count = yypcontext_expected_tokens(context, kinds, YYNTOKENS);
    std::vector<std::string> expected;
    for (int i = 0; i < count; ++i) expected.emplace_back(yysymbol_name(kinds[i]));
    c->SyntaxError(expected);
    return 0;
}
