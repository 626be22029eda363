// The program's icon for desktop menus: the pot seen from above, drawn from shapes.
#pragma once

#include "tools/mediagen/Images.h"

namespace mediagen {

// size x size RGBA (size at least 16): a steel pot with two handles on a clear background,
// blue-green water inside with a warm glow at its centre and a few rising bubbles.
Image PaintIcon(int size);

}  // namespace mediagen
