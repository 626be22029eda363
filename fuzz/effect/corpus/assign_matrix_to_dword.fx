MATRIX m;
technique { pass { ZFunc = <m>; } }
// expect: assign_matrix_to_dword.fx(2) : invalid assignment: DWORD = MATRIX
