// The geometric and distortion operations: their parameters and table.
#pragma once

#include "ops/operation.h"

struct GeomParams {
    // Roll: horizontal and vertical roll, and its switch.
    int32_t roll_dx, roll_dy, roll_switch;
    // Shear: amount (a fraction), direction 0..3, wrap, a further switch.
    float shear_amount;
    int32_t shear_direction, shear_wrap, shear_switch;
    int32_t swirl_amount;   // degrees
    int32_t dome_strength;  // percent
};

extern GeomParams g_geom_params;

struct OpFamily;
extern const OpFamily kGeomFamily;
