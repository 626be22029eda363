technique { pass { ZEnable = TRUE | "yes"; } }
// expect: fold_string_term.fx(1) : invalid type in DWORD expression
