// Allowed pairs: DWORD from FLOAT and VECTOR, VECTOR from DWORD, CONSTANT from MATRIX.
DWORD a = 1.5;
DWORD b = (1, 2);
VECTOR c = 3;
TEXTURE t = 0;
VERTEXSHADER vs = 0x102;
PIXELSHADER ps = 0;
STRING s = "x";
technique { pass {
    VertexShaderConstant[0] = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1};
    MaterialDiffuse = 1;
    Texture[0] = <t>;
    PixelShader = <ps>;
    LightPosition[0] = <c>;
} }
// expect-valu: 1 1.5f
