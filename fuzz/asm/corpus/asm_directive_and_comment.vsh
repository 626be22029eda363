#define X
vs.1.1 ; a comment
/* unclosed
// expect: asm_directive_and_comment.vsh(1) : (Assembly Error) preprocessor directives are not supported
// expect: asm_directive_and_comment.vsh(6) : (Assembly Error) comment extends past end-of-file
