// The palette chooser behind render_choose_palette, with the reason of a failure.
#pragma once

#include "render/reduce.h"

// 0 chosen (*chosen entries), 1 no memory, 2 cancelled.  The image is locked.
int choose_palette(Image* image, int colours, uint8_t* red, uint8_t* green, uint8_t* blue, int* chosen);
