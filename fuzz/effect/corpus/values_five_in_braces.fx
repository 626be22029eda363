VECTOR a = {1, 2, 3, 4, 5};
// expect: values_five_in_braces.fx(1) : syntax error
