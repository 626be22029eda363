vs.1.1
mul_x2 r0, r1, r2
// expect: asm_modifier_in_vs.vsh(1) : (Assembly Error) statement incomplete
