// The pattern family's table.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/pattern/docs.h"
#include "ops/pattern/pattern.h"
#include "ops/render/gen.h"

#include <cstring>

PatternParams g_pattern_params;

namespace {

void set3(int32_t (&v)[3], int r, int g, int b)
{
    v[0] = r, v[1] = g, v[2] = b;
}

void pattern_params_reset()
{
    PatternParams& p = g_pattern_params;
    std::memset(&p, 0, sizeof p);
    p.net_cells = 12;
    p.net_tilt = 60;
    p.net_turn = 20;
    p.net_width = 1;
    p.net_fade = 50;
    set3(p.net_rgb, 0, 255, 200);
    p.tile_size[0] = p.tile_size[1] = 32;
    p.tile_shift = 25;
    p.tile_gap = 2;
    set3(p.tile_rgb, 20, 20, 20);
    p.tile_seed = 1;
    p.pix_size[0] = p.pix_size[1] = 12;
    p.pix_shade = 50;
    p.cell_size = 24;
    p.cell_jitter = 80;
    p.cell_edge = 1;
    set3(p.cell_rgb, 30, 30, 30);
    p.cell_seed = 1;
    p.line_spacing = 6;
    p.line_angle = 30;
    p.line_thickness = 100;
    p.line_wave = 20;
    p.line_paper = 1;
    p.linear_repeat = 1;
    gen::palette_set(p.linear_pal, {20, 30, 90, 200, 80, 120, 255, 200, 80});
    p.cen_rings = 3;
    p.cen_shape = 1;
    gen::palette_set(p.cen_pal, {230, 40, 40, 250, 200, 40, 40, 170, 80, 40, 90, 200, 140, 50, 170});
    p.rad_rays = 12;
    p.rad_strength = 60;
    p.out_width = 6;
    p.out_threshold = 128;
    gen::palette_set(p.out_pal, {250, 220, 60, 200, 40, 40, 40, 40, 120, 20, 20, 20});
}

constexpr PatternParams& p = g_pattern_params;
constexpr double kSeeds = 2147483647;

constexpr OpSlot kNet[] = {
    slot_int(&p.net_cells, "cells", "Cells", 1, 64, 1, 10000),
    slot_range(&p.net_tilt, "tilt", "Tilt", 0, 89),
    slot_int(&p.net_turn, "turn", "Turn", 0, 360, -3600, 3600, 360),
    slot_int(&p.net_width, "width", "Line width", 1, 10, 1, 100),
    slot_range(&p.net_fade, "fade", "Fade", 0, 100),
    slot_range(&p.net_rgb[0], "red", "Red", 0, 255),
    slot_range(&p.net_rgb[1], "green", "Green", 0, 255),
    slot_range(&p.net_rgb[2], "blue", "Blue", 0, 255),
};
constexpr OpSlot kRandomTile[] = {
    slot_int(&p.tile_size[0], "width", "Tile width", 2, 256, 1, 100000),
    slot_int(&p.tile_size[1], "height", "Tile height", 2, 256, 1, 100000),
    slot_range(&p.tile_shift, "shift", "Shift (%)", 0, 100),
    slot_int(&p.tile_gap, "gap", "Gap", 0, 20, 0, 100000),
    slot_range(&p.tile_rgb[0], "red", "Gap red", 0, 255),
    slot_range(&p.tile_rgb[1], "green", "Gap green", 0, 255),
    slot_range(&p.tile_rgb[2], "blue", "Gap blue", 0, 255),
    slot_int(&p.tile_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
    slot_switch(&p.tile_shuffle, "shuffle", "Shuffle"),
};
constexpr OpSlot kPixelize[] = {
    slot_int(&p.pix_size[0], "width", "Block width", 1, 256, 1, 100000),
    slot_int(&p.pix_size[1], "height", "Block height", 1, 256, 1, 100000),
    slot_int(&p.pix_offset[0], "xoffset", "X offset", 0, 255, -100000, 100000),
    slot_int(&p.pix_offset[1], "yoffset", "Y offset", 0, 255, -100000, 100000),
    slot_int(&p.pix_gap, "gap", "Gap", 0, 16, 0, 100000),
    slot_range(&p.pix_shade, "shade", "Gap shade (%)", 0, 100),
};
constexpr OpSlot kCellular[] = {
    slot_int(&p.cell_size, "size", "Cell size", 2, 200, 2, 100000),
    slot_range(&p.cell_jitter, "jitter", "Jitter", 0, 100),
    slot_int(&p.cell_edge, "edge", "Edge width", 0, 10, 0, 1000),
    slot_range(&p.cell_rgb[0], "red", "Edge red", 0, 255),
    slot_range(&p.cell_rgb[1], "green", "Edge green", 0, 255),
    slot_range(&p.cell_rgb[2], "blue", "Edge blue", 0, 255),
    slot_range(&p.cell_fill, "fill", "Fill (0 mean, 1 point, 2 shaded)", 0, 2),
    slot_int(&p.cell_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
};
constexpr OpSlot kLined[] = {
    slot_int(&p.line_spacing, "spacing", "Spacing", 2, 64, 2, 100000),
    slot_int(&p.line_angle, "angle", "Angle", 0, 180, -3600, 3600),
    slot_range(&p.line_thickness, "thickness", "Thickness (%)", 0, 200),
    slot_range(&p.line_wave, "wave", "Wave", 0, 100),
    slot_range(&p.line_rgb[0], "red", "Ink red", 0, 255),
    slot_range(&p.line_rgb[1], "green", "Ink green", 0, 255),
    slot_range(&p.line_rgb[2], "blue", "Ink blue", 0, 255),
    slot_switch(&p.line_paper, "paper", "On paper"),
};
constexpr OpSlot kLinearFill[] = {
    slot_int(&p.linear_angle, "angle", "Angle", 0, 360, -3600, 3600, 360),
    slot_int(&p.linear_repeat, "repeat", "Repeat", 1, 32, 1, 10000),
    slot_switch(&p.linear_reflect, "reflect", "Reflect"),
    slot_palette(&p.linear_pal, SLOT_PALETTE, "linearpal", "palette", "Palette"),
};
constexpr OpSlot kConcentric[] = {
    slot_int(&p.cen_rings, "rings", "Rings", 1, 64, 1, 10000),
    slot_int(&p.cen_offset[0], "xoffset", "X offset (%)", -100, 100, -1000, 1000),
    slot_int(&p.cen_offset[1], "yoffset", "Y offset (%)", -100, 100, -1000, 1000),
    slot_switch(&p.cen_shape, "shape", "Shape (0 circles, 1 ellipses)"),
    slot_palette(&p.cen_pal, SLOT_PALETTE, "cenpal", "palette", "Palette"),
};
constexpr OpSlot kRadiating[] = {
    slot_int(&p.rad_rays, "rays", "Rays", 1, 90, 1, 1000),
    slot_int(&p.rad_turn, "turn", "Turn", 0, 360, -3600, 3600, 360),
    slot_int(&p.rad_twist, "twist", "Twist", -720, 720, -36000, 36000),
    slot_range(&p.rad_strength, "strength", "Strength", 0, 100),
};
constexpr OpSlot kOutline[] = {
    slot_int(&p.out_width, "width", "Band width", 1, 64, 1, 100000),
    slot_int(&p.out_bands, "bands", "Bands (0 all)", 0, 100, 0, 100000),
    slot_range(&p.out_source, "source", "Source (0 selection, 1 alpha, 2 brightness)", 0, 2),
    slot_range(&p.out_threshold, "threshold", "Threshold", 0, 255),
    slot_range(&p.out_side, "side", "Side (0 inside, 1 outside, 2 both)", 0, 2),
    slot_int(&p.out_offset, "offset", "First colour", 0, 1023, 0, 1023),
    slot_switch(&p.out_smooth, "smooth", "Smooth"),
    slot_palette(&p.out_pal, SLOT_PALETTE, "outpal", "palette", "Palette"),
};

constexpr OpRow kRows[] = {
    {.command = opcmd::ThreeDNet, .worker = worker_whole(net_worker), .slots = kNet, .doc = pattern_docs::net},
    {.command = opcmd::RandomTile, .worker = worker_whole(random_tile_worker), .slots = kRandomTile,
     .doc = pattern_docs::random_tile},
    {.command = opcmd::Pixelize, .worker = worker_whole(pixelize_worker), .slots = kPixelize,
     .doc = pattern_docs::pixelize},
    {.command = opcmd::Cellular, .worker = worker_whole(cellular_worker), .slots = kCellular,
     .doc = pattern_docs::cellular},
    {.command = opcmd::Lined, .worker = worker_whole(lined_worker), .slots = kLined, .doc = pattern_docs::lined},
    {.command = opcmd::LinearFill, .worker = worker_place_xy(linear_worker), .prepare = linear_prepare,
     .slots = kLinearFill, .doc = pattern_docs::linear_fill,
     .parallel = true},
    {.command = opcmd::Concentric, .worker = worker_place_xy(concentric_worker), .prepare = concentric_prepare,
     .slots = kConcentric, .doc = pattern_docs::concentric,
     .parallel = true},
    {.command = opcmd::Radiating, .worker = worker_place_xy(radiating_worker), .prepare = radiating_prepare,
     .slots = kRadiating, .doc = pattern_docs::radiating,
     .parallel = true},
    {.command = opcmd::Outline, .worker = worker_place_xy(outline_worker), .prepass = outline_prepass,
     .finish = outline_finish, .slots = kOutline, .doc = pattern_docs::outline,
     .parallel = true},
};

} // namespace

const OpFamily kPatternFamily = {"pattern", kRows, pattern_params_reset, nullptr, fills_release};
