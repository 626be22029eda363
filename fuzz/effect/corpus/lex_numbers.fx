// 1.5f and .5 are floats; 1.2.3 is one float token worth 1.2; 0x1F is 31; -0x1 is -1.
FLOAT a = 1.5f;
FLOAT b = .5;
FLOAT c = 1.2.3;
DWORD d = 0x1F;
DWORD e = -0x1;
DWORD f = -7;
DWORD g = 0x;
DWORD h = 4294967297;
// expect-valu: 1 1.5f
// expect-valu: 1 0.5f
// expect-valu: 1 1.2f
// expect-valu: 0 31
// expect-valu: 0 0xFFFFFFFF
// expect-valu: 0 0xFFFFFFF9
// expect-valu: 0 0
// expect-valu: 0 1
