technique T { }
technique T { }
// expect: names_duplicate_technique.fx(2) : duplicate technique: 'T'
