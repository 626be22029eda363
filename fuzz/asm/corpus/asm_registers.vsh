vs.1.1
mov q0, v0
mov r0, t0
mov r0, r8192
mov r0, v[2]
mov r0, c[a0.x + a0.x]
mov r0, c[r0.x]
mov r0, c[8000 + 500]
mov r0, v[a0.x + 3]
// expect: asm_registers.vsh(2) : (Assembly Error) invalid register 'q0'
// expect: asm_registers.vsh(3) : (Assembly Error) invalid register 't0'
// expect: asm_registers.vsh(4) : (Assembly Error) invalid register 'r8192'
// expect: asm_registers.vsh(5) : (Assembly Error) invalid register 'v[2]'
// expect: asm_registers.vsh(6) : (Assembly Error) a0.x can only appear once in an index expression
// expect: asm_registers.vsh(7) : (Assembly Error) illegal register in index expression
// expect: asm_registers.vsh(8) : (Assembly Error) illegal register number
// expect: asm_registers.vsh(9) : (Assembly Error) invalid register 'v[a0.x + 3]'
