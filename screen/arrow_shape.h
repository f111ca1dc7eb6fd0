// The shape of the two 16 x 16 sort arrows of the device list header: an
// outlined triangle, up (image 0) or down (image 1), with a dark grey left
// side and a white right side and base on a transparent background.
#pragma once

#include <cstdint>

// Size of an arrow image in pixels (square).
constexpr int ARROW_SIZE = 16;

// What a pixel of an arrow is.
enum class TArrowPixel { None, Shadow, Light };

// Colours of the two edges, as 0xRRGGBB.
constexpr uint32_t ARROW_SHADOW_RGB = 0x848484;  // RGB 132, 132, 132: the left side
constexpr uint32_t ARROW_LIGHT_RGB = 0xFFFFFF;   // the right side and the base

// The pixel at column x, row y (0..15) of the up (image 0) or down (image
// 1) arrow.  The up triangle has its apex two pixels wide in rows 4 and 5
// (columns 7 and 8), widens by one pixel on each side every two rows and
// ends in a ten-pixel base in row 12 (columns 3 to 12); the down triangle is
// its mirror image across the horizontal middle.
TArrowPixel ArrowPixel(bool up, int x, int y);
