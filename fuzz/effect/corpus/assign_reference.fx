DWORD a;
texture b;
MATRIX c;
technique { pass { Texture[1] = <b>; WorldTransform[3] = <c>; VertexShaderConstant4[8] = <c>; } }
// expect-words: 'FX81' 0 56 'PARM' 2 0 0 'a' 'PARM' 2 0 4 'b' 'PARM' 2 0 3 'c'
// expect-words: 'TECH' 1 37 0 'PASS' 1 33 0
// expect-words: 'ASGN' 3 5 4 0x05000000 1 'REFE' 2 0 4 1
// expect-words: 'ASGN' 3 5 3 0x07000002 3 'REFE' 2 0 3 2
// expect-words: 'ASGN' 3 5 7 0x06000402 8 'REFE' 2 0 3 2
