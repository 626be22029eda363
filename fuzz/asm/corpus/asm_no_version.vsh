// nothing but a comment, then an instruction
mov r0, v0
// expect: asm_no_version.vsh(2) : (Assembly Error) shader version expected
