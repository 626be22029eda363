technique { pass { VertexShader = decl {} asm { ps.1.1 mov r0, v0 }; } }
// expect: shader_wrong_kind_vs.fx(1) : vertex shader expected
