// A single literal keeps its kind; with a bar a vector becomes its colour word.
technique { pass {
    TextureFactor = (1, 0.5, 0, 1);
    TextureFactor = (1, 0.5, 0, 1) | 0;
    FogColor = {2, -1, 0.25} | 0x01000000;
    FogStart = 1.5;
    FogStart = 2;
    Ambient = (0.1) | 0;
} }
// expect-valu: 2 1.0f 0.5f 0.0f 1.0f
// expect-valu: 0 0xFFFF8000
// expect-valu: 0 0xFFFF0040
// expect-valu: 1 1.5f
// expect-valu: 0 2
// expect-valu: 0 0xFF1A0000
