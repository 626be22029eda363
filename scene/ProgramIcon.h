// The program's icon for its window: the picture installed with the menu entry, drawn at build
// time by the media generator (mediagen --icon-source) into the program.
#pragma once

extern const int kProgramIconSide;
extern const unsigned int kProgramIconPixels[];  // side x side 0xAARRGGBB words, rows top-down
