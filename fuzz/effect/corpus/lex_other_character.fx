DWORD a = 1 + 2;
// expect: lex_other_character.fx(1) : syntax error
