// Pixel-shader constants stay in the function as def instructions; no declaration words.
// The block text starts after the last "{", and a "}" after ";" does not end it.
technique { pass {
    PixelShader = asm { ignored { ps.1.1 ; } still inside
        def c1, 0.5, 0, 0, 1
        tex t0 } ;
} }
// expect-valu: 6 0 0xFFFF0101 BANNER 81 0xA00F0001 0.5f 0 0 1.0f
// expect-valu+: 0x0007FFFE 'FILE' 'shad' 'er_p' 'ixel' '_val' 'ue.f' 'x'
// expect-valu+: 0x0002FFFE 'LINE' 6
// expect-valu+: 66 0xB00F0000 0x0000FFFF
