#line 7
DWORD a;
#line 100 "dir\\sub.fx"
technique { pass { ZEnable = MAYBE; } }
// expect: dir\sub.fx(100) : unknown value in DWORD expression: 'MAYBE'
