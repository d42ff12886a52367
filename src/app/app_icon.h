#pragma once

#include <QImage>

// The application's icon picture: 32 × 32 pixels, 8-bit indexed over the standard 16-colour
// palette (black, maroon, green, olive, navy, purple, teal, silver, grey, red, lime, yellow,
// blue, fuchsia, aqua, white, in this order). Inside a navy frame, a silver panel carries
// fuchsia lettering with a purple shadow at the top; below it red, yellow, lime and blue
// spectrum bars stand on black.
QImage AppIconImage();

// The icon picture at size × size pixels: whole multiples of 32 repeat every pixel (crisp
// pixels), other sizes are scaled smoothly.
QImage AppIconImage(int size);
