// The Collage Group: cutting, extending and resizing the image, and putting
// the source or brush into it.
#pragma once

#include "ops/operation.h"

struct Image;
struct OpFamily;

struct CollageParams {
    int32_t clip_margin;     // Clip: pixels added round the area
    int32_t clip_bounds;     // 0 the area rectangle, 1 the selected pixels' bounds
    int32_t clip_outside;    // 1: pixels outside the selection turn transparent

    int32_t tr_type;         // Transition: 0 dissolve, 1 wipe right, 2 wipe down, 3 iris, 4 random dots, 5 blinds
    int32_t tr_amount;       // 0..100 % of the way to the source
    int32_t tr_soft;         // edge width, % of the area
    int32_t tr_seed;
    int32_t tr_reverse;

    int32_t tile_cols, tile_rows;
    int32_t tile_gap;        // pixels between tiles (the image shows through)
    int32_t tile_layout;     // 0 grid, 1 brick, 2 random
    int32_t tile_mirror;     // every second tile mirrored
    int32_t tile_seed;
    int32_t tile_jitter;     // random layout: % of a tile each may move

    int32_t merge_amount;    // %
    int32_t merge_mode;      // 0 normal, 1 multiply, 2 screen, 3 darken, 4 lighten, 5 difference, 6 add, 7 overlay
    int32_t merge_alpha;     // 1: the source's alpha weighs it

    int32_t key_rgb[3];      // Key In: the key colour of the target
    int32_t key_tol, key_soft;
    int32_t key_dx, key_dy;  // where the source's top left lies
    int32_t key_space;       // 0 RGB distance, 1 hue
    int32_t key_invert;      // 1: the source replaces what is not the key

    int32_t place_fit;       // 0 stretch, 1 fit keeping the aspect, 2 actual size

    int32_t ext[4];          // Extend: left, top, right, bottom (negative trims)
    int32_t ext_mode;        // 0 colour, 1 edge, 2 mirror, 3 tile, 4 transparent
    int32_t ext_colour;      // 0xRRGGBB
    int32_t ext_alpha;

    int32_t enlarge_pct, enlarge_resize, enlarge_filter;
    int32_t reduce_pct, reduce_resize, reduce_filter;
    int32_t sp_w, sp_h, sp_resize, sp_filter;    // SPercent: %
    int32_t spx_w, spx_h, spx_resize, spx_filter;  // SPixel: pixels

    int32_t dof_radius;      // DOF: blur at the greatest depth difference

    // Stroke: where the stamps go, how they are put, and how each one is
    // tinted, mirrored, turned, sized, shadowed and bulged.
    int32_t st_spacing;          // % of the brush's smaller side (at the mean scale)
    int32_t st_jitter[2];        // % of the brush's width, height each stamp may stray
    int32_t st_offset[2];        // pixels every stamp is moved
    int32_t st_opacity;          // %
    int32_t st_every;            // every n-th stamp along the stroke is put
    int32_t st_threshold;        // brush alpha below it paints nothing
    int32_t st_tint;             // 0xRRGGBB
    int32_t st_tint_amount;      // %
    int32_t st_fade;             // % of the opacity lost by the stroke's end
    int32_t st_flip[2];          // every stamp mirrored left-right, top-bottom
    int32_t st_alternate;        // every second stamp mirrored: 1 left-right, 2 top-bottom, 3 both
    int32_t st_random_flip;      // % chance of each mirror per stamp
    int32_t st_angle[2];         // degrees counter-clockwise at the start and the end
    int32_t st_follow;           // the path's direction is added
    int32_t st_angle_jitter;     // +- degrees
    int32_t st_spin;             // degrees added per stamp
    int32_t st_scale[2];         // % at the start and the end
    int32_t st_scale_jitter;     // +- %
    int32_t st_scale_min, st_scale_max;
    int32_t st_shadow[2];        // the shadow's offset in pixels
    int32_t st_shadow_opacity;   // %; 0 no shadow
    int32_t st_shadow_soft;      // blur radius
    int32_t st_shadow_colour;    // 0xRRGGBB
    int32_t st_barrel[2];        // r^2 and r^4 coefficients, %
    int32_t st_barrel_centre[2]; // % of the half sides
    int32_t st_barrel_axis[2];   // % of the bulge along x, along y
    int32_t st_barrel_shade;     // % darker at the rim
    int32_t st_seed;
};

extern CollageParams g_collage_params;
inline CollageParams& collage_params()
{
    return g_collage_params;
}

extern const OpFamily kCollageFamily;

int clip_prepare(Image* t, int);
int clip_worker(Image* t, uint8_t* mask);
int transition_worker(Image* t, uint8_t* mask);
int tiler_worker(Image* t, uint8_t* mask);
int merge_worker(Image* t, uint8_t* mask);
int keyin_worker(Image* t, uint8_t* mask);
int place_worker(Image* t, uint8_t* mask);
int stroke_worker(Image* t, uint8_t* mask);
int closed_line_worker(Image* t, uint8_t* mask);
int closed_line_pen_worker(Image* t, uint8_t* mask);
int open_line_worker(Image* t, uint8_t* mask);
int extend_prepare(Image* t, int);
int extend_worker(Image* t, uint8_t* mask);
int size_prepare(Image* t, int);
int size_worker(Image* t, uint8_t* mask);
int dof_worker(Image* t, uint8_t* mask);
int size_finish(Image* t, int);

// The new size a resizing operation gives the area (w x h of the area
// rectangle): what Enlarge, Reduce, SPercent and SPixel compute.
void size_target(int32_t command, long w, long h, double* nw, double* nh);
