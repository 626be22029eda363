DWORD a;
/* never closed
// expect: lex_comment_eof.fx(4) : comment extends past end-of-file
