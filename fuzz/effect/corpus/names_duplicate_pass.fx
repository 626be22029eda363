technique T {
    pass P { }
    pass P { }
}
// expect: names_duplicate_pass.fx(3) : duplicate pass: 'P'
