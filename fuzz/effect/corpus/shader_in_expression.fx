technique { pass { PixelShader = asm { ps.1.1 mov r0, v0 } | 0; } }
// expect: shader_in_expression.fx(1) : invalid type in DWORD expression
