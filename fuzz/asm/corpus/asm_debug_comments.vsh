vs.1.1
mov r0, v0
mov r1, v1

#line 10 "other.vsh"
mov r2.x, v2
// The line is the lexer's line when the instruction is complete: after the look-ahead.
// expect-words: 0xFFFE0101 BANNER
// expect-words: 0x0007FFFE 'FILE' 'asm_' 'debu' 'g_co' 'mmen' 'ts.v' 'sh'
// expect-words: 0x0002FFFE 'LINE' 3 1 0x800F0000 0x90E40000
// expect-words: 0x0004FFFE 'FILE' 'othe' 'r.vs' 'h'
// expect-words: 0x0002FFFE 'LINE' 10 1 0x800F0001 0x90E40001
// expect-words: 0x0002FFFE 'LINE' 18 1 0x80010002 0x90E40002 0x0000FFFF
