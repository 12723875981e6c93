// The geometric and distortion operations: their parameters and table.
#pragma once

#include "ops/operation.h"

struct GeomParams {
    int32_t dome_strength;       // percent; negative pinches
    int32_t caricature_amount;   // percent
    int32_t swirl_amount;        // degrees
    // Waves: sideways shift of the rows (x) and vertical shift of the
    // columns (y), each an amplitude in pixels, a wavelength in pixels and
    // a phase in degrees; the wave's shape, wrapping within the area and a
    // brightening of the crests.
    int32_t waves_amp_x, waves_length_x, waves_phase_x;
    int32_t waves_amp_y, waves_length_y, waves_phase_y;
    int32_t waves_shape, waves_wrap, waves_shade;
    // Radial Wave: ripples travelling out from the area's centre.
    int32_t radial_amp, radial_length, radial_phase, radial_damping, radial_mode, radial_shade;
    // Turbulence: eddies of a fractal noise flow.
    int32_t turbulence_amount, turbulence_size, turbulence_detail, turbulence_seed;
    // Surface Warp: the source image as a relief or a displacement map.
    int32_t surface_amount, surface_method, surface_fit, surface_shade;
    int32_t kaleido_segments, kaleido_angle, kaleido_mirror;
    // Roll: horizontal and vertical roll, and whether it wraps within the
    // area rather than the image.
    int32_t roll_dx, roll_dy, roll_switch;
    // Shear: amount (a fraction), direction 0..3, wrap, and whether the part
    // sheared in from outside becomes transparent.
    float shear_amount;
    int32_t shear_direction, shear_wrap, shear_switch;
    int32_t bend_amount, bend_direction, bend_peak, bend_clear;
    int32_t mirror_side;         // 0..4
    int32_t melt_amount, melt_size, melt_seed, melt_direction;
    int32_t flip_horizontal, flip_vertical;
    int32_t turn_direction;      // 0 clockwise, 1 anticlockwise
    float rotate_angle;          // degrees, clockwise
    int32_t rotate_grow;         // the image grows to hold the turned picture
    // Perspective: the corners the source picture goes to, in percent of
    // the area: top left, top right, bottom right, bottom left (x, y).
    int32_t persp[8];
};

extern GeomParams g_geom_params;

struct OpFamily;
extern const OpFamily kGeomFamily;
