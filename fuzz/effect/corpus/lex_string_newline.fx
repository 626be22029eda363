STRING a = "open
;
// expect: lex_string_newline.fx(1) : newline in string constant
