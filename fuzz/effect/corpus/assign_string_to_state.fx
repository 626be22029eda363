technique { pass { ZEnable = "true"; } }
// expect: assign_string_to_state.fx(1) : invalid assignment: DWORD = STRING
