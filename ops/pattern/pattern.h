// The pattern operations: their parameters, table and workers.
#pragma once

#include "ops/operation.h"

struct Image;

struct PatternParams {
    // 3-D Net: a grid on a plane seen in perspective.
    int32_t net_cells;      // cells across the area at its centre
    int32_t net_tilt;       // degrees from looking straight down
    int32_t net_turn;       // degrees
    int32_t net_width;      // line width in pixels
    int32_t net_fade;       // 0..100: distant lines fade
    int32_t net_rgb[3];

    // Random Tile.
    int32_t tile_size[2];   // width, height in pixels
    int32_t tile_shift;     // % of the tile
    int32_t tile_gap;       // pixels
    int32_t tile_rgb[3];    // the gaps' colour
    int32_t tile_seed;
    int32_t tile_shuffle;   // 1: tiles change places

    // Pixelize.
    int32_t pix_size[2];    // block width, height
    int32_t pix_offset[2];  // where the block grid starts
    int32_t pix_gap;        // grout lines in pixels
    int32_t pix_shade;      // % darker grout

    // Cellular.
    int32_t cell_size;      // pixels
    int32_t cell_jitter;    // 0..100
    int32_t cell_edge;      // border width in pixels
    int32_t cell_rgb[3];    // border colour
    int32_t cell_fill;      // 0 mean, 1 colour at the cell's point, 2 shaded
    int32_t cell_seed;

    // Lined.
    int32_t line_spacing;   // pixels
    int32_t line_angle;     // degrees
    int32_t line_thickness; // % of the spacing for black
    int32_t line_wave;      // 0..100
    int32_t line_rgb[3];    // ink
    int32_t line_paper;     // 1: ink on white paper

    // Linear Fill.
    int32_t linear_angle;
    int32_t linear_repeat;
    int32_t linear_reflect;
    OpPalette linear_pal;   // "linearpal"

    // Concentric.
    int32_t cen_rings;
    int32_t cen_offset[2];  // % of the half sizes
    int32_t cen_shape;      // 0 circles, 1 the area's ellipse
    OpPalette cen_pal;      // "cenpal"

    // Radiating.
    int32_t rad_rays;
    int32_t rad_turn;
    int32_t rad_twist;      // degrees from the centre to the edge
    int32_t rad_strength;   // 0..100

    // Outline.
    int32_t out_width;      // band width in pixels
    int32_t out_bands;      // 0: as many as fit
    int32_t out_source;     // 0 the selection, 1 alpha, 2 brightness
    int32_t out_threshold;
    int32_t out_side;       // 0 inside, 1 outside, 2 both
    int32_t out_offset;     // first palette colour
    int32_t out_smooth;     // 1: colours run into each other
    OpPalette out_pal;      // "outpal"
};

extern PatternParams g_pattern_params;
inline PatternParams& pattern_params()
{
    return g_pattern_params;
}

struct OpFamily;
extern const OpFamily kPatternFamily;

// Whole-image workers (tiles.cpp).
int net_worker(Image* target, uint8_t* mask);
int random_tile_worker(Image* target, uint8_t* mask);
int pixelize_worker(Image* target, uint8_t* mask);
int cellular_worker(Image* target, uint8_t* mask);
int lined_worker(Image* target, uint8_t* mask);

// Multi-pass fills (fills.cpp).
int linear_prepare(Image* target, int view);
void linear_worker(uint8_t* p, int x, int y, int weight);
int concentric_prepare(Image* target, int view);
void concentric_worker(uint8_t* p, int x, int y, int weight);
int radiating_prepare(Image* target, int view);
void radiating_worker(uint8_t* p, int x, int y, int weight);
int outline_prepass(Image* target, uint8_t* pixels);
void outline_worker(uint8_t* p, int x, int y, int weight);
int outline_finish(Image* target, int view);
void fills_release();
