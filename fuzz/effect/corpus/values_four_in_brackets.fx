VECTOR a = [1, 2, 3, 4];
// expect: values_four_in_brackets.fx(1) : syntax error
