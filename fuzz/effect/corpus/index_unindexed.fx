// A state without an index takes only index 0.
technique { pass { ZEnable[0] = TRUE; ZEnable[1] = TRUE; } }
// expect: index_unindexed.fx(2) : invalid index: 'ZEnable[1]' (must be < 1)
