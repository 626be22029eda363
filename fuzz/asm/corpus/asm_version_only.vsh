vs.1.1
// expect-words: 0xFFFE0101 BANNER 0x0000FFFF
// expect-constants:
