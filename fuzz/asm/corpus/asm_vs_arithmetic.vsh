vs.1.1
// flags: nodebug
add r0, v0, c1
sub r2, r0, r1
sub r2, r0, -r1
mad r1.xz, r0.yzwx, c2.w, -v3
rcp r4.w, v0.x
expp r5, r4.w
m4x4 oPos, v0, c[a0.x + 4 + 2]
mov oD1.xyz, c[3]
mov oT7, a0
mov oFog.x, c95
mov oPts.x, r11
lit r0, r1
nop
// expect-words: 0xFFFE0101 BANNER
// expect-words: 2 0x800F0000 0x90E40000 0xA0E40001
// expect-words: 2 0x800F0002 0x80E40000 0x81E40001
// expect-words: 2 0x800F0002 0x80E40000 0x80E40001
// expect-words: 4 0x80050001 0x80390000 0xA0FF0002 0x91E40003
// expect-words: 6 0x80080004 0x90000000
// expect-words: 78 0x800F0005 0x80FF0004
// expect-words: 20 0xC00F0000 0x90E40000 0xA0E42006
// expect-words: 1 0xD0070001 0xA0E40003
// expect-words: 1 0xE00F0007 0xB0E40000
// expect-words: 1 0xC0010001 0xA0E4005F
// expect-words: 1 0xC0010002 0x80E4000B
// expect-words: 16 0x800F0000 0x80E40001
// expect-words: 0
// expect-words: 0x0000FFFF
