vs.1.1
// Vertex-shader constants become declaration tokens, not instructions.
def c4, 1, -2.5, +3, 4e1
def c95, 0.5f, 0, 0, 1
mov oPos, c4
// flags: nodebug
// expect-words: 0xFFFE0101 BANNER 1 0xC00F0000 0xA0E40004 0x0000FFFF
// expect-constants: 0x82000004 1.0f -2.5f 3.0f 40.0f 0x8200005F 0.5f 0 0 1.0f
