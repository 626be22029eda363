CONSTANT c;
// expect: params_unknown_type.fx(1) : unknown type in parameter declaration: 'CONSTANT'
