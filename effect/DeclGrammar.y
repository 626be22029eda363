/* Vertex-declaration grammar: LALR(1), one token of look-ahead, a 500-entry stack. */
%code requires {
#include "effect/DeclarationCompilerState.h"
}
%code top {
#define YYINITDEPTH 501
#define YYMAXDEPTH 501
}
%define api.pure full
%define api.prefix {vd}
%define api.value.type {fxc::DeclValue}
%define parse.error custom
%parse-param {fxc::DeclarationCompiler* c}
%lex-param {fxc::DeclarationCompiler* c}

%code {
static int vdlex(fxc::DeclValue* value, fxc::DeclarationCompiler* c) { return c->Lex(value); }
static void vderror(fxc::DeclarationCompiler* c, const char* message) { c->ParserError(message); }
}

/* The names are how a syntax error describes the tokens. */
%token T_EOT "end of file" T_NUMBER "number" T_IDENT "identifier"
%token K_STREAM "'stream'" K_SKIP "'skip'" K_FVF "'fvf'" K_UBYTE "'ubyte'" K_SHORT "'short'"
%token K_FLOAT "'float'" K_D3DCOLOR "'d3dcolor'"

%%

declaration
    : T_EOT                     { c->Finish(nullptr); }
    | statements T_EOT          { c->Finish($1.node); }
    ;
statements
    : statement                 { $$.node = c->Prepend($1.node, nullptr); }
    | statement statements      { $$.node = c->Prepend($1.node, $2.node); }
    ;
statement
    : K_STREAM number ';'               { $$.node = c->Stream($2.word); }
    | K_SKIP number ';'                 { $$.node = c->Skip($2.word); }
    | K_FVF format ';'                  { $$.node = c->Format($2.word, $2.failed); }
    | type T_IDENT ';'                  { $$.node = c->Register($1.word, $2.text, 1); }
    | type T_IDENT '[' number ']' ';'   { $$.node = c->Register($1.word, $2.text, $4.word); }
    ;
type
    : K_UBYTE       { $$.word = 0; }
    | K_SHORT       { $$.word = 1; }
    | K_FLOAT       { $$.word = 2; }
    | K_D3DCOLOR    { $$.word = 3; }
    ;
format
    : T_IDENT                   { $$ = c->FormatName($1.text, nullptr); }
    | T_IDENT '|' format        { $$ = c->FormatName($1.text, &$3); }
    ;
number
    : T_NUMBER      { $$.word = $1.word; }
    ;
%%

/* A syntax error with the names of the tokens the parser could have taken. */
static int yyreport_syntax_error(const yypcontext_t* context, fxc::DeclarationCompiler* c) {
    yysymbol_kind_t kinds[YYNTOKENS];
    const int count = yypcontext_expected_tokens(context, kinds, YYNTOKENS);
    std::vector<std::string> expected;
    for (int i = 0; i < count; ++i) expected.emplace_back(yysymbol_name(kinds[i]));
    c->SyntaxError(expected);
    return 0;
}
