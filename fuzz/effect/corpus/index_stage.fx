technique { pass { colorop[8] = Disable; } }
// expect: index_stage.fx(1) : invalid index: 'colorop[8]' (must be < 8)
