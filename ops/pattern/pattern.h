// The pattern operations: their parameters and table.
#pragma once

#include "ops/operation.h"

struct PatternParams {
    OpPalette linear_pal;  // "linearpal"
    OpPalette cen_pal;     // "cenpal"
    OpPalette out_pal;     // "outpal"
};

extern PatternParams g_pattern_params;

struct OpFamily;
extern const OpFamily kPatternFamily;
