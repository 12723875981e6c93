// The Video Group: broadcast-safe colours, fields, frame-rate blending,
// film grain, scanlines, jitter, flicker and stabilising against a reference.
#pragma once

#include "ops/operation.h"

struct Image;
struct OpFamily;

struct VideoParams {
    int32_t ntsc_limit;       // NTSC Filter: highest composite level, IRE (100..120)
    int32_t ntsc_mode;        // 0 lower the saturation, 1 lower the brightness
    int32_t rate_from, rate_to;  // Frame Rates: frames per second
    int32_t rate_motion;      // pixels the picture moves per source frame
    int32_t field_which;      // Makefields: 0 even rows, 1 odd rows kept
    int32_t field_mode;       // 0 double the kept rows, 1 interpolate, 2 the other rows black
    int32_t grain_amount;     // Film Grain: %
    int32_t grain_size;       // pixels (1 = per pixel)
    int32_t grain_seed;
    int32_t grain_colour;     // 1: each channel its own grain
    int32_t grain_midtones;   // 1: most in the midtones, as film
    int32_t scan_spacing;     // Scanline: every n-th row
    int32_t scan_dark;        // %
    int32_t jit_amount;       // Jitter: largest shift in pixels
    int32_t jit_rows;         // % of the bands that move
    int32_t jit_band;         // band height
    int32_t jit_seed;
    int32_t jit_roll;         // rows the picture rolls up
    int32_t jit_split;        // pixels red and blue separate
    int32_t jit_noise;        // % snow
    int32_t jit_wrap;         // 1: the shifted rows wrap round
    int32_t jit_frame;        // 1: a new pattern every frame of a sequence
    int32_t jit_vertical;     // 1: columns move instead of rows
    int32_t flick_amount;     // Flicker: %
    int32_t flick_seed;
    int32_t flick_hold;       // frames each level holds
    int32_t flick_bar;        // 1: a rolling bright bar instead
    int32_t stab_radius;      // Stabilize: search reach in pixels
    int32_t stab_region[4];   // x, y, width, height of the patch compared; width 0 = the whole image
    int32_t stab_edge;        // 0 edge repeated, 1 transparent, 2 black
    int32_t stab_horizontal, stab_vertical;
    int32_t stab_levels;      // coarse-to-fine levels, 0..4
    int32_t stab_strength;    // % of the found shift applied
};

extern VideoParams g_video_params;
inline VideoParams& video_params()
{
    return g_video_params;
}

// The shift that best lays the target's region over the source's (what
// Stabilize last found).
struct StabilizeResult {
    long dx, dy;
    double error;  // mean absolute difference at that shift
};
const StabilizeResult& stabilize_result();

extern const OpFamily kVideoFamily;
