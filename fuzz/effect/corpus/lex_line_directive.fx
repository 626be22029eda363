DWORD a;
#line 20 "x.fx"
Bogus b;
// expect: x.fx(20) : unknown type in parameter declaration: 'Bogus'
