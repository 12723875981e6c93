// The rest of the Standard Group (Measure, ForceDyn, ChannelMap, SwapRGBA,
// Sample, Build Palette) and the Attrib Group, whose prepare hooks edit the
// image's attributes.
#pragma once

#include "ops/operation.h"

struct Image;
struct OpFamily;

constexpr int kAuthorText = 100;      // the image record's author field
constexpr int kCopyrightText = 100;
constexpr int kAnnotationText = 1024;

struct StandardParams {
    int32_t map_from;     // ChannelMap: 0 red, 1 green, 2 blue, 3 alpha, 4 brightness
    int32_t map_to;       // 0 the three colours, 1 red, 2 green, 3 blue, 4 alpha
    int32_t swap_order;   // SwapRGBA: four digits, the source channel of red, green, blue, alpha
    int32_t sample_x, sample_y;
    int32_t pal_colours;  // Build Palette
    int32_t pal_method;   // 0 median cut, 1 most frequent, 2 uniform
    int32_t pal_area;     // 1: only the selected pixels
    int32_t pal_sort;     // 0 as found, 1 dark to light

    int32_t aspect_x, aspect_y;  // Aspect Ratio: pixel width : height
    int32_t dpi_h, dpi_v;
    char author[kAuthorText];
    char annotation[kAnnotationText];
    char copyright[kCopyrightText];
};

extern StandardParams g_standard_params;
inline StandardParams& standard_params()
{
    return g_standard_params;
}

// What Measure found last (scripts and tests read it).
struct MeasureResult {
    long x0, y0, x1, y1;
    long pixels;          // selected pixels (weight > 0)
    double mean[4], min[4], max[4], deviation[4];
    double length, angle;  // the area rectangle's diagonal and its angle in degrees
};
const MeasureResult& measure_result();

// The colour Sample took last.
const uint8_t* sample_result();

extern const OpFamily kStandardFamily;
