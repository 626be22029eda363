// decl tokens without their end token, then the assembler's constant tokens, then the end.
technique { pass {
    VertexShader = decl { float v0[3]; } asm { vs.1.1
        def c4, 1, 2, 3, 4
        mov oPos, v0
    };
} }
// expect-valu: 5 8 0x20000000 0x40020000 0x82000004 1.0f 2.0f 3.0f 4.0f 0xFFFFFFFF
// expect-valu+: 0xFFFE0101 BANNER
// expect-valu+: 0x0007FFFE 'FILE' 'shad' 'er_v' 'erte' 'x_va' 'lue.' 'fx'
// expect-valu+: 0x0002FFFE 'LINE' 6
// expect-valu+: 1 0xC00F0000 0x90E40000 0x0000FFFF
