// Keywords in any case; type and state names in any case; parameter names are case-sensitive.
dword a;
DWORD A = 1;
TECHNIQUE abc { Pass abcd { texture[1] = NULL; TEXTURE[2] = 0; } }
// Names take (length / 4) + 1 words: "a" 1, "abc" 1, "abcd" 2.
// expect-words: 'FX81' 0 46
// expect-words: 'PARM' 2 0 0 'a'
// expect-words: 'PARM' 2 5 0 'A' 'VALU' 2 0 0 1
// expect-words: 'TECH' 1 27 'abc'
// expect-words:   'PASS' 2 22 'abcd' 0
// expect-words:     'ASGN' 3 5 4 0x05000000 1 'VALU' 2 0 0 0
// expect-words:     'ASGN' 3 5 4 0x05000000 2 'VALU' 2 0 0 0
