vs.1.1
mov r0.xz, v0.x
mov r0.zx, v0.xyzwx
// expect: asm_masks_swizzles.vsh(3) : (Assembly Error) invalid mask 'zx'
// expect: asm_masks_swizzles.vsh(3) : (Assembly Error) invalid swizzle 'xyzwx'
