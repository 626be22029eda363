// "0X10" is the integer 0 followed by the identifier X10.
DWORD a = 0X10;
// expect: lex_number_capital_x.fx(2) : syntax error
