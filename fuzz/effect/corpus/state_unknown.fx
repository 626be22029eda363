technique { pass { Zenabled = TRUE; } }
// expect: state_unknown.fx(1) : unknown state 'Zenabled'
