DWORD a;
FLOAT a;
// expect: names_duplicate_parameter.fx(2) : duplicate parameter: 'a'
