vs.1.1
def r0, 1, 1, 1, 1
def c[a0.x], 1, 1, 1, 1
mov r0, v0
// expect: asm_invalid_constant.vsh(2) : (Assembly Error) invalid constant
// expect: asm_invalid_constant.vsh(3) : (Assembly Error) invalid constant
