technique { pass {
    FogStart = 1.5 | 2;
} }
// expect: fold_invalid_type.fx(2) : invalid type in DWORD expression
