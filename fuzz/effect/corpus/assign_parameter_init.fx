FLOAT f = (1, 2);
// expect: assign_parameter_init.fx(1) : invalid assignment: FLOAT = VECTOR
