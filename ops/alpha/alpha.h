// The Alpha Group: making, keying, hardening, softening and cutting the
// alpha channel, and turning it into an area selection.
#pragma once

#include "ops/operation.h"

#include <vector>

struct Image;
struct OpFamily;

struct AlphaParams {
    int32_t make_channel;   // Make Alpha: 0 brightness, 1 red, 2 green, 3 blue, 4 the source's alpha
    int32_t make_invert;
    int32_t make_low, make_high;  // the levels that become 0 and 255

    int32_t key_rgb[3];     // Key to Alpha
    int32_t key_tol, key_soft;
    int32_t key_invert;
    int32_t key_hue;        // compare hues
    int32_t key_keep;       // multiply the old alpha rather than replace it

    int32_t hard_threshold, hard_soft;
    int32_t soft_radius;
    int32_t shave_amount;

    int32_t promote_rgb[3];
    int32_t promote_mode;   // 0 flatten onto the colour, 1 spread the colours into the clear pixels
    int32_t promote_opaque; // 1: the result is opaque

    int32_t sample_mode;    // Sample A: 0 alpha as grey, 1 colour times alpha, 2 over a checkerboard

    int32_t clip_low, clip_high, clip_stretch;

    int32_t area_threshold; // Make Area: alpha at or above it is selected
};

extern AlphaParams g_alpha_params;
inline AlphaParams& alpha_params()
{
    return g_alpha_params;
}

extern const OpFamily kAlphaFamily;

// The outline of the pixels whose alpha is at least `threshold`, along the
// pixel edges, as area points on a grid `scale` times finer than the pixels
// (a point (x, y) stands for the pixel-centre (x + 0.5, y + 0.5)/scale, so
// x = scale·corner − 0.5 would be needed; the caller's grid keeps it within
// 1/(2·scale) of a corner).  Contours start with marker 0 and continue with
// 255.  False when there would be more than `max_points` points.
bool alpha_outline(const uint8_t* pixels, long width, long height, int threshold, long scale, long max_points,
                   std::vector<int32_t>& xy, std::vector<int16_t>& marks);
