// A reference sees only parameters declared before it; names are case-sensitive.
texture tex;
technique { pass { Texture[0] = <Tex>; } }
texture Tex;
// expect: assign_undeclared.fx(3) : undeclared parameter: 'Tex'
