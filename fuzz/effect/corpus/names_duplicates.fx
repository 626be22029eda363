// Pass names need only be unique within one technique; unnamed techniques never clash.
technique A { pass P {} pass Q {} }
technique B { pass P {} }
technique { pass {} pass {} }
technique { }
technique b { pass p {} }
// expect-words: 'FX81' 0 44
// expect-words: 'TECH' 1 8 'A' 'PASS' 1 0 'P' 'PASS' 1 0 'Q'
// expect-words: 'TECH' 1 4 'B' 'PASS' 1 0 'P'
// expect-words: 'TECH' 1 8 0 'PASS' 1 0 0 'PASS' 1 0 0
// expect-words: 'TECH' 1 0 0
// expect-words: 'TECH' 1 4 'b' 'PASS' 1 0 'p'
