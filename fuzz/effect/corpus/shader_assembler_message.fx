// Assembler messages name the block's file and count lines from its opening brace.
#line 40 "shaders.fx"
technique { pass {
    PixelShader = asm {
        ps.1.1
        mov q0, v0
    };
} }
// expect: shaders.fx(43) : (Assembly Error) invalid register 'q0'
