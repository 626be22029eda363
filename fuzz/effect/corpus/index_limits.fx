// WORLDTRANSFORM takes indices below 256; lights take any index but -1 (0xFFFFFFFF).
technique { pass {
    WorldTransform[255] = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1};
    LightEnable[0x7FFFFFFF] = TRUE;
    LightDiffuse[-1] = (1, 1, 1);
} }
// expect: index_limits.fx(5) : invalid index: 'LightDiffuse[-1]' (must be < -1)
