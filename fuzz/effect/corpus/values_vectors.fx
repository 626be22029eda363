// Missing components are 0 for x, y, z and 1 for w; integers become floats.
VECTOR a = (2);
VECTOR b = {1, -2, 3};
VECTOR c = (1, 2, 3, 4);
MATRIX m = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, -16.5};
// expect-valu: 2 2.0f 0 0 1.0f
// expect-valu: 2 1.0f -2.0f 3.0f 1.0f
// expect-valu: 2 1.0f 2.0f 3.0f 4.0f
// expect-valu: 3 1.0f 2.0f 3.0f 4.0f 5.0f 6.0f 7.0f 8.0f 9.0f 10.0f 11.0f 12.0f 13.0f 14.0f 15.0f -16.5f
