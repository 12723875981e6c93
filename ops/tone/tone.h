// The tone and colour operations: their parameters, tables and workers.
#pragma once

#include "ops/operation.h"

struct ToneParams {
    int32_t contrast;           // -100..100
    int32_t brightness;         // -100..100
    int32_t gamma;              // -200..200
    int32_t fill[3];            // Color Fill: red, green, blue
    int32_t balance_method;     // 0 pivot, 1 levels
    int32_t balance_level[3];   // pivot: output per channel; levels: low, high
    int32_t balance_pivot[3];   // pivot: input per channel
    int32_t hist_measure;       // Histogram measures instead of applying its curves
    int32_t remap_tolerance;
    int32_t remap_offset;
    OpPalette remap_from;       // "remappal1"
    OpPalette remap_to;         // "remappal2"
    int32_t colorize_hue;       // 0..360
    int32_t colorize_saturation;
    int32_t colorize_set_saturation;
    int32_t mono_method;        // 0..8
    int32_t negative_mode;      // 0..5
    int32_t negative_select[3]; // red, green, blue (hue, lightness or saturation, ...)
    int32_t hue_shift;          // -180..180
    int32_t saturation;         // -100..100
    int32_t value;              // -100..100
    int32_t glare_direction;
    int32_t glare_amount;       // 0..100
    int32_t antique_direction;
    int32_t gel[3];             // channel switches

    // The Histogram dialog's channel curves and whether they are locked
    // together (then all three follow the "histo" profile).
    uint8_t hist_curve[3][256];
    int32_t hist_locked;
};

// The one set of tone parameters (read per pixel by the workers, hence inline).
extern ToneParams g_tone_params;
inline ToneParams& tone_params()
{
    return g_tone_params;
}

// The family's table for the catalogue.
struct OpFamily;
extern const OpFamily kToneFamily;

// Start-up and shut-down: the lookup tables "rhist", "ghist", "bhist",
// "ahist".  False when they cannot be had.
bool tone_tables_init();
void tone_tables_release();
// The four tables (null before start-up).
int32_t* tone_table(int channel);

// Counts of the last Histogram measurement: per channel red, green, blue,
// alpha, 256 values each, and the pixels counted.
struct HistogramCounts {
    uint32_t counts[4][256];
    uint64_t pixels;
};
const HistogramCounts& histogram_counts();
