// The filter, blur and image-arithmetic operations: their parameters and
// the Convolve kernel file.
#pragma once

#include "ops/operation.h"

#include <cstdint>

struct Image;

constexpr int kPasswordSize = 64;

struct FilterParams {
    // Convolve: the 3 x 3 kernel, k1 .. k9 running down the left column first
    // (the nine slots), and the settings only its dialog and kernel file reach.
    float convolve_kernel[9];
    float convolve_threshold;  // a fraction of 255
    float convolve_offset;     // a fraction of 255, added to every result
    int32_t convolve_thresholding;
    int32_t convolve_both;     // the kernel and its transpose, combined

    int32_t relief_angle;      // degrees the light comes from
    int32_t dither_method, dither_levels, dither_serpentine, dither_mono, dither_seed;
    int32_t elev_sea, elev_interval, elev_shading;
    int32_t enhance_clip, enhance_linked;  // tenths of a percent clipped at each end
    float usm_radius;
    int32_t usm_amount, usm_threshold;
    int32_t hrem_threshold, hrem_width, hrem_period, hrem_offset, hrem_coverage;
    int32_t vrem_threshold, vrem_width, vrem_period, vrem_offset, vrem_coverage;
    // RIP: the mode, then per screen cyan, magenta, yellow, black the angle,
    // the cell size, the dot shape and the on switch, then dot gain and
    // softness.
    int32_t rip_mode;
    int32_t rip_angle[4], rip_cell[4], rip_shape[4], rip_on[4];
    int32_t rip_gain, rip_soft;
    int32_t ris_size, ris_threshold;
    int32_t ric_count, ric_tolerance;
    int32_t min_radius, min_shape, max_radius, max_shape;
    int32_t canvas_scale, canvas_depth, canvas_angle, canvas_dx, canvas_dy, canvas_invert;
    int32_t texture_amount, texture_mode;
    char password[kPasswordSize];
    int32_t sharpen_amount, sharpen_neighbours;
    float blur_radius;
    int32_t remove_radius;
    int32_t shave_tolerance, shave_mode;
    int32_t trunc_bits, trunc_round;
    int32_t contour_interval, contour_offset, contour_rgb[3], contour_opacity, contour_background,
        contour_channel, contour_thickness;

    int32_t motion_angle, motion_distance, motion_centred;
    int32_t spiral_angle, spiral_zoom, spiral_samples;
    int32_t explode_amount, explode_samples;

    int32_t deriv_operator, deriv_scale, deriv_direction;
    int32_t var_radius, var_scale, var_mode;
    int32_t add_percent, sub_percent;
    int32_t nlog_strength;
    int32_t combine_percent;
};

extern FilterParams g_filter_params;
inline FilterParams& filter_params()
{
    return g_filter_params;
}

struct OpFamily;
extern const OpFamily kFilterFamily;

// The Convolve worker, for the whole-image applier (and the tests).
int convolve_worker(Image* target, uint8_t* mask);

// The kernel file ("*.CNV"): one line of k1 .. k9, threshold, offset and the
// two switches.  0 done; 1 failed with the system's message naming the file.
int convolve_save(const char* path);
int convolve_load(const char* path);
// Reads a kernel line from text into `out` (FilterParams fields only); false
// when the text is not thirteen numbers of the right kinds.
bool convolve_parse(const char* text, size_t size, FilterParams& out);
