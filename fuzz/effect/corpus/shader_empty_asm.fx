technique { pass { PixelShader = asm {}; } }
// expect: shader_empty_asm.fx(1) : (Assembly Error) shader version expected
