technique { pass {
    VertexShader = decl {
        float V0[3];
    };
} }
// expect: shader_decl_message.fx(3) : Vertex register expected (v#)
