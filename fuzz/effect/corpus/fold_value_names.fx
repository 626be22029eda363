// Value names fold with "|" into one DWORD; names match in any case.
technique { pass {
    ZEnable = USEW;
    ZEnable = usew;
    ColorWriteEnable = RED | GREEN | Blue;
    ColorArg1[0] = TEXTURE | COMPLEMENT;
    AlphaRef = Anything;
    VertexShader = XYZ | NORMAL | TEX1;
    Texture[3] = NULL;
    Wrap0 = U | COORD3 | 0x100;
} }
// expect-valu: 0 2
// expect-valu: 0 2
// expect-valu: 0 7
// expect-valu: 0 18
// expect-valu: 0 0
// expect-valu: 0 0x112
// expect-valu: 0 0
// expect-valu: 0 0x109
