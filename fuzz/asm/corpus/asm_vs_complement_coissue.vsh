vs.1.1
mov r0, 1-v0
+mov r1, v1
// expect: asm_vs_complement_coissue.vsh(2) : (Assembly Error) complement not supported in vertex shaders
// expect: asm_vs_complement_coissue.vsh(3) : (Assembly Error) coissue not supported in vertex shaders
