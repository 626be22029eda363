// Each class of state: value type, code and index in the ASGN node.
technique { pass {
    FillMode = Wireframe;
    AddressU[2] = Clamp;
    LightType[3] = Spot;
    MaterialPower = 8;
    PixelShader = NULL;
    VertexShaderConstant2[4] = (1, 2, 3, 4);
    PixelShaderConstant[1] = 0.5;
    ViewTransform = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1};
    TextureTransform[7] = [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1];
} }
// expect-words: 'FX81' 0 140 'TECH' 1 136 0 'PASS' 1 132 0
// expect-words: 'ASGN' 3 5 0 0x01000008 0 'VALU' 2 0 0 2
// expect-words: 'ASGN' 3 5 0 0x0200000D 2 'VALU' 2 0 0 3
// expect-words: 'ASGN' 3 5 0 0x03000000 3 'VALU' 2 0 0 2
// expect-words: 'ASGN' 3 5 1 0x04000004 0 'VALU' 2 0 0 8
// expect-words: 'ASGN' 3 5 6 0x06000001 0 'VALU' 2 0 0 0
// expect-words: 'ASGN' 3 8 7 0x06000202 4 'VALU' 5 0 2 1.0f 2.0f 3.0f 4.0f
// expect-words: 'ASGN' 3 5 7 0x06000003 1 'VALU' 2 0 1 0.5f
// expect-words: 'ASGN' 3 20 3 0x07000001 0 'VALU' 17 0 3 1.0f 0 0 0 0 1.0f 0 0 0 0 1.0f 0 0 0 0 1.0f
// expect-words: 'ASGN' 3 20 3 0x07000003 7 'VALU' 17 0 3 1.0f 0 0 0 0 1.0f 0 0 0 0 1.0f 0 0 0 0 1.0f
