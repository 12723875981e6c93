// Parameter variables of operations whose workers belong to families still
// to be written.  Their slots are in the catalogue already, so that settings
// files, scripts and timelines can name them; the family's binding takes
// these same variables when it makes the operation available.
#pragma once

#include "ops/operation.h"

struct OpVariables {
    // Roll: horizontal and vertical roll, and its switch.
    int32_t roll_dx, roll_dy, roll_switch;
    // Shear: amount (a fraction), direction 0..3, wrap, a further switch.
    float shear_amount;
    int32_t shear_direction, shear_wrap, shear_switch;
    // Swirl: degrees.  Dome: strength.
    int32_t swirl_amount;
    int32_t dome_strength;
    // Convolve: the 3 x 3 kernel, k1 .. k9 running down the left column first.
    float convolve_kernel[9];
    // Palettes of the pattern and render operations.
    OpPalette linear_pal, cen_pal, out_pal, julia_pal, mand_pal, land_pal1, land_pal2;
};

OpVariables& op_variables();
void op_variables_reset();

// The slots the catalogue gives an operation before its family binds it;
// returns how many were written to `out` (at most `max`).
int declared_slots(int32_t command, OpSlot* out, int max);
