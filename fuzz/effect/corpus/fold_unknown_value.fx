technique { pass {
    AlphaRef = Whatever;
    ZEnable = Whatever;
} }
// expect: fold_unknown_value.fx(3) : unknown value in DWORD expression: 'Whatever'
