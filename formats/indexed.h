// The index image a writer of 1, 4 or 8 bits stores: the colour reduction
// with the user's current palette mode, dither method and strength.
#pragma once

#include "render/reduce.h"

#include <cstdint>

struct Image;

// One index byte per pixel, rows of info->stride bytes, and the palette in
// the three arrays (256 entries each).  Null after the reduction reported
// why (or the user cancelled); free the buffer with mem_free.
uint8_t* reduce_for_file(Image* image, int bits, uint8_t* red, uint8_t* green, uint8_t* blue, ReduceInfo* info);
