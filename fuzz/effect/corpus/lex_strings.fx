// Adjacent literals join; escapes decode.
STRING a = "ab" "cd";
STRING b = "\101B";
STRING c = "\a\b\f\n\r\t\v\q\\\"";
STRING d = "\x41\x4a4Z\1234";
STRING e = "";
// expect-valu: 8 'abcd' 0
// expect-valu: 8 'AB'
// expect-valu: 8 0x0a0c0807 0x710b090d 0x0000225c
// expect-valu: 8 0x535aa441 0x34
// expect-valu: 8 0
