technique { pass { PixelShader = asm { vs.1.1 mov oPos, v0 }; } }
// expect: shader_wrong_kind_ps.fx(1) : pixel shader expected
