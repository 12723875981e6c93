// The filter, blur and image-arithmetic operations: their parameters and table.
#pragma once

#include "ops/operation.h"

struct FilterParams {
    // Convolve: the 3 x 3 kernel, k1 .. k9 running down the left column first.
    float convolve_kernel[9];
};

extern FilterParams g_filter_params;

struct OpFamily;
extern const OpFamily kFilterFamily;
