#include "other.fx"
#define X 1
#line
DWORD a;
// "#line" alone (five bytes) is no line directive either; the lexer carries on.
// expect: lex_other_directive.fx(1) : preprocessor directives are not supported.
// expect: lex_other_directive.fx(2) : preprocessor directives are not supported.
// expect: lex_other_directive.fx(3) : preprocessor directives are not supported.
