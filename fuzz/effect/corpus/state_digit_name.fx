// A value name that starts with a digit cannot be written: the lexer reads a number.
technique { pass { VertexBlend = 0WEIGHTS; } }
// expect: state_digit_name.fx(2) : syntax error
