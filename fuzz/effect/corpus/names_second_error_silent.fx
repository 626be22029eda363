// After the first semantic error only lexical messages and one syntax error can follow.
Bogus a;
Bogus b;
technique { pass { Nothing = 1; } }
STRING s = "open
DWORD = ;
// expect: names_second_error_silent.fx(2) : unknown type in parameter declaration: 'Bogus'
// expect: names_second_error_silent.fx(5) : newline in string constant
// expect: names_second_error_silent.fx(6) : syntax error
