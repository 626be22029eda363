// A decl block alone has no function words; an empty one has no declaration words either.
technique { pass {
    VertexShader = decl {};
    VertexShader = decl { stream 1; float v3[3]; };
    VertexShader = decl;
} }
// expect-valu: 5 0
// expect-valu: 5 3 0x20000001 0x40020003 0xFFFFFFFF
// expect-valu: 5 0
