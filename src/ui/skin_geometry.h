// Arithmetic of the skin window: where it goes on the screen and how large
// its 32-bit drawing surface is. Pure functions.
#pragma once

#include <cstdint>

struct WindowOrigin {
  int x = 0;
  int y = 0;
};

// Top-left corner that centres a width-by-height window on a screen of
// screen_width by screen_height: (screen - size) / 2, truncated toward zero
// (a window wider than the screen starts left of it). Computed in 64 bits
// and clamped to the int range.
WindowOrigin CentredOrigin(int screen_width, int screen_height, int width, int height);

// Bytes of one row of a 32-bit device-independent bitmap: ((width * 32 + 31)
// / 8) rounded down to a multiple of 4. 0 for a width that is not positive
// or whose surface would not fit in 32-bit sizes.
uint32_t DibRowBytes(int width);

// Row bytes times height; 0 when either is not positive or the product
// passes INT32_MAX (no such surface is created then).
uint32_t DibImageBytes(int width, int height);
