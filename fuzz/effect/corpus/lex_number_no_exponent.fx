// "1e3" is the integer 1 followed by the identifier e3.
DWORD a = 1e3;
// expect: lex_number_no_exponent.fx(2) : syntax error
