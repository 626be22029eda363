DWORD a;
 #line 20 "x.fx"
// expect: lex_line_directive_indented.fx(2) : syntax error
