// Only comments and white space: an effect with nothing in it, 12 bytes.
/* a block comment
   over two lines */
	
// expect-words: 'FX81' 0 0
