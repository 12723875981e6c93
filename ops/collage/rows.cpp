// The collage family's table.
#include "ops/catalogue.h"
#include "ops/collage/canvas.h"
#include "ops/collage/collage.h"
#include "ops/collage/docs.h"
#include "ops/family.h"

#include <cstring>

CollageParams g_collage_params;

namespace {

void collage_reset()
{
    CollageParams& p = g_collage_params;
    std::memset(&p, 0, sizeof p);
    p.tr_amount = 50;
    p.tr_type = 1;
    p.tr_soft = 10;
    p.tr_seed = 1;
    p.tile_cols = 3;
    p.tile_rows = 3;
    p.tile_gap = 4;
    p.tile_seed = 1;
    p.tile_jitter = 50;
    p.merge_amount = 50;
    p.key_rgb[2] = 255;
    p.key_tol = 60;
    p.key_soft = 40;
    p.place_fit = 1;
    p.ext[0] = p.ext[1] = p.ext[2] = p.ext[3] = 16;
    p.ext_colour = 0xFFFFFF;
    p.ext_alpha = 255;
    p.enlarge_pct = 200;
    p.enlarge_resize = 1;
    p.reduce_pct = 50;
    p.reduce_resize = 1;
    p.sp_w = p.sp_h = 150;
    p.sp_resize = 1;
    p.spx_w = 640;
    p.spx_h = 480;
    p.spx_resize = 1;
    p.dof_radius = 8;
    p.st_spacing = 25;
    p.st_opacity = 100;
    p.st_every = 1;
    p.st_tint = 0xFFFFFF;
    p.st_scale[0] = p.st_scale[1] = 100;
    p.st_scale_min = 1;
    p.st_scale_max = 1000;
    p.st_shadow[0] = p.st_shadow[1] = 4;
    p.st_shadow_soft = 2;
    p.st_barrel_axis[0] = p.st_barrel_axis[1] = 100;
    p.st_seed = 1;
}

CollageParams& p = g_collage_params;

constexpr OpSlot filter_slot(int32_t* var)
{
    return slot_range(var, "filter", "Filter (0 auto, 1 Lanczos-3, 2 bicubic, 3 bilinear, 4 nearest, 5 area)", 0, 5);
}

constexpr OpSlot kClip[] = {
    slot_int(&p.clip_margin, "margin", "Margin (pixels)", 0, 100, 0, 40000),
    slot_switch(&p.clip_bounds, "bounds", "Bounds of the selected pixels"),
    slot_switch(&p.clip_outside, "outside", "Unselected pixels transparent"),
};
constexpr OpSlot kTransition[] = {
    slot_range(&p.tr_type, "type", "Type (0 dissolve, 1 wipe right, 2 wipe down, 3 iris, 4 dots, 5 blinds)", 0, 5),
    slot_range(&p.tr_amount, "amount", "Amount (%)", 0, 100),
    slot_range(&p.tr_soft, "soft", "Softness (%)", 0, 100),
    slot_int(&p.tr_seed, "seed", "Seed", 0, 1000, 0, 2147483647),
    slot_switch(&p.tr_reverse, "reverse", "Reverse"),
};
constexpr OpSlot kTiler[] = {
    slot_int(&p.tile_cols, "columns", "Columns", 1, 32, 1, 1000),
    slot_int(&p.tile_rows, "rows", "Rows", 1, 32, 1, 1000),
    slot_int(&p.tile_gap, "gap", "Gap (pixels)", 0, 50, 0, 10000),
    slot_range(&p.tile_layout, "layout", "Layout (0 grid, 1 brick, 2 random)", 0, 2),
    slot_switch(&p.tile_mirror, "mirror", "Mirror every second tile"),
    slot_int(&p.tile_seed, "seed", "Seed", 0, 1000, 0, 2147483647),
    slot_range(&p.tile_jitter, "jitter", "Jitter (%)", 0, 100),
};
constexpr OpSlot kMerge[] = {
    slot_range(&p.merge_amount, "amount", "Amount (%)", 0, 100),
    slot_range(&p.merge_mode, "mode",
               "Mode (0 normal, 1 multiply, 2 screen, 3 darken, 4 lighten, 5 difference, 6 add, 7 overlay)", 0, 7),
    slot_switch(&p.merge_alpha, "alpha", "Source alpha weighs"),
};
constexpr OpSlot kKeyIn[] = {
    slot_range(&p.key_rgb[0], "red", "Key red", 0, 255),
    slot_range(&p.key_rgb[1], "green", "Key green", 0, 255),
    slot_range(&p.key_rgb[2], "blue", "Key blue", 0, 255),
    slot_int(&p.key_tol, "tolerance", "Tolerance", 0, 200, 0, 442),
    slot_int(&p.key_soft, "soft", "Softness", 0, 200, 0, 442),
    slot_int(&p.key_dx, "dx", "Source x", -500, 500, -40000, 40000),
    slot_int(&p.key_dy, "dy", "Source y", -500, 500, -40000, 40000),
    slot_switch(&p.key_space, "hue", "Compare hues"),
    slot_switch(&p.key_invert, "invert", "Invert"),
};
constexpr OpSlot kPlace[] = {
    slot_range(&p.place_fit, "fit", "Fit (0 stretch, 1 keep aspect, 2 actual size)", 0, 2),
};
constexpr OpSlot kExtend[] = {
    slot_int(&p.ext[0], "left", "Left", -100, 200, -40000, 40000),
    slot_int(&p.ext[1], "top", "Top", -100, 200, -40000, 40000),
    slot_int(&p.ext[2], "right", "Right", -100, 200, -40000, 40000),
    slot_int(&p.ext[3], "bottom", "Bottom", -100, 200, -40000, 40000),
    slot_range(&p.ext_mode, "mode", "Fill (0 colour, 1 edge, 2 mirror, 3 tile, 4 transparent)", 0, 4),
    slot_int(&p.ext_colour, "colour", "Colour (0xRRGGBB)", 0, 16777215, 0, 16777215),
    slot_range(&p.ext_alpha, "opacity", "Colour opacity", 0, 255),
};
constexpr OpSlot kEnlarge[] = {
    slot_int(&p.enlarge_pct, "percent", "Size (%)", 100, 400, 100, 100000),
    slot_switch(&p.enlarge_resize, "resize", "Resize the image"),
    filter_slot(&p.enlarge_filter),
};
constexpr OpSlot kReduce[] = {
    slot_int(&p.reduce_pct, "percent", "Size (%)", 1, 100, 1, 100),
    slot_switch(&p.reduce_resize, "resize", "Resize the image"),
    filter_slot(&p.reduce_filter),
};
constexpr OpSlot kSPercent[] = {
    slot_int(&p.sp_w, "width", "Width (%)", 1, 400, 1, 100000),
    slot_int(&p.sp_h, "height", "Height (%)", 1, 400, 1, 100000),
    slot_switch(&p.sp_resize, "resize", "Resize the image"),
    filter_slot(&p.sp_filter),
};
constexpr OpSlot kSPixel[] = {
    slot_int(&p.spx_w, "width", "Width", 1, 2000, 1, 40000),
    slot_int(&p.spx_h, "height", "Height", 1, 2000, 1, 40000),
    slot_switch(&p.spx_resize, "resize", "Resize the image"),
    filter_slot(&p.spx_filter),
};
constexpr OpSlot kDOF[] = {
    slot_range(&p.dof_radius, "radius", "Blur radius", 0, 200),
};

// In the groups the script's ST commands set, in their order.
constexpr OpSlot kStroke[] = {
    slot_int(&p.st_spacing, "spacing", "Spacing (% of the brush)", 1, 200, 1, 1000),
    slot_int(&p.st_jitter[0], "jitter_x", "Scatter across (% of the brush width)", 0, 200, 0, 1000),
    slot_int(&p.st_jitter[1], "jitter_y", "Scatter down (% of the brush height)", 0, 200, 0, 1000),
    slot_int(&p.st_offset[0], "offset_x", "Offset x (pixels)", -200, 200, -40000, 40000),
    slot_int(&p.st_offset[1], "offset_y", "Offset y (pixels)", -200, 200, -40000, 40000),
    slot_range(&p.st_opacity, "opacity", "Opacity (%)", 0, 100),
    slot_int(&p.st_every, "every", "Every n-th stamp", 1, 20, 1, 10000),
    slot_range(&p.st_threshold, "threshold", "Brush alpha threshold", 0, 255),
    slot_int(&p.st_tint, "tint", "Tint (0xRRGGBB)", 0, 16777215, 0, 16777215),
    slot_range(&p.st_tint_amount, "tint_amount", "Tint strength (%)", 0, 100),
    slot_range(&p.st_fade, "fade", "Fade to the end (%)", 0, 100),
    slot_switch(&p.st_flip[0], "flip_x", "Mirror left-right"),
    slot_switch(&p.st_flip[1], "flip_y", "Mirror top-bottom"),
    slot_choice(&p.st_alternate, "alternate", "Mirror every second stamp", 0, 3, "No|Left-right|Top-bottom|Both"),
    slot_range(&p.st_random_flip, "random_flip", "Random mirror (%)", 0, 100),
    slot_int(&p.st_angle[0], "angle", "Angle at the start (degrees)", -360, 360, -3600, 3600),
    slot_int(&p.st_angle[1], "angle_end", "Angle at the end (degrees)", -360, 360, -3600, 3600),
    slot_switch(&p.st_follow, "follow", "Follow the stroke's direction"),
    slot_range(&p.st_angle_jitter, "angle_jitter", "Angle jitter (degrees)", 0, 180),
    slot_int(&p.st_spin, "spin", "Spin per stamp (degrees)", -180, 180, -3600, 3600),
    slot_int(&p.st_scale[0], "scale", "Size at the start (%)", 1, 400, 1, 1000),
    slot_int(&p.st_scale[1], "scale_end", "Size at the end (%)", 1, 400, 1, 1000),
    slot_range(&p.st_scale_jitter, "scale_jitter", "Size jitter (%)", 0, 100),
    slot_int(&p.st_scale_min, "scale_min", "Smallest size (%)", 1, 400, 1, 1000),
    slot_int(&p.st_scale_max, "scale_max", "Largest size (%)", 1, 1000, 1, 1000),
    slot_int(&p.st_shadow[0], "shadow_x", "Shadow x (pixels)", -50, 50, -1000, 1000),
    slot_int(&p.st_shadow[1], "shadow_y", "Shadow y (pixels)", -50, 50, -1000, 1000),
    slot_range(&p.st_shadow_opacity, "shadow", "Shadow opacity (%)", 0, 100),
    slot_int(&p.st_shadow_soft, "shadow_soft", "Shadow softness (pixels)", 0, 50, 0, 200),
    slot_int(&p.st_shadow_colour, "shadow_colour", "Shadow colour (0xRRGGBB)", 0, 16777215, 0, 16777215),
    slot_range(&p.st_barrel[0], "barrel", "Barrel (%)", -100, 100),
    slot_range(&p.st_barrel[1], "barrel4", "Barrel, fourth order (%)", -100, 100),
    slot_range(&p.st_barrel_centre[0], "barrel_x", "Barrel centre x (%)", -100, 100),
    slot_range(&p.st_barrel_centre[1], "barrel_y", "Barrel centre y (%)", -100, 100),
    slot_range(&p.st_barrel_axis[0], "barrel_h", "Barrel across (%)", 0, 100),
    slot_range(&p.st_barrel_axis[1], "barrel_v", "Barrel down (%)", 0, 100),
    slot_range(&p.st_barrel_shade, "barrel_shade", "Barrel shading (%)", 0, 100),
    slot_int(&p.st_seed, "seed", "Seed", 0, 1000, 0, 2147483647),
};

constexpr OpRow kRows[] = {
    {.command = opcmd::Clip, .worker = worker_whole(canvas::guarded<clip_worker>), .prepare = clip_prepare, .finish = size_finish,
     .slots = kClip, .doc = collage_docs::clip},
    {.command = opcmd::Transition, .worker = worker_whole(canvas::guarded<transition_worker>), .slots = kTransition,
     .doc = collage_docs::transition},
    {.command = opcmd::Tiler, .worker = worker_whole(canvas::guarded<tiler_worker>), .slots = kTiler, .doc = collage_docs::tiler},
    {.command = opcmd::Merge, .worker = worker_whole(canvas::guarded<merge_worker>), .slots = kMerge, .doc = collage_docs::merge},
    {.command = opcmd::KeyIn, .worker = worker_whole(canvas::guarded<keyin_worker>), .slots = kKeyIn, .doc = collage_docs::keyin},
    {.command = opcmd::Place, .worker = worker_whole(canvas::guarded<place_worker>), .slots = kPlace, .doc = collage_docs::place},
    {.command = opcmd::Stroke, .worker = worker_whole(canvas::guarded<stroke_worker>), .slots = kStroke,
     .doc = collage_docs::stroke},
    {.command = opcmd::ClosedLine, .worker = worker_whole(canvas::guarded<closed_line_worker>), .doc = collage_docs::closed_line},
    {.command = opcmd::ClosedLinePen, .worker = worker_whole(canvas::guarded<closed_line_pen_worker>),
     .doc = collage_docs::closed_line_pen},
    {.command = opcmd::OpenLineEdge, .worker = worker_whole(canvas::guarded<open_line_worker>), .doc = collage_docs::open_line},
    {.command = opcmd::Extend, .worker = worker_whole(canvas::guarded<extend_worker>), .prepare = extend_prepare, .finish = size_finish,
     .slots = kExtend, .doc = collage_docs::extend},
    {.command = opcmd::Enlarge, .worker = worker_whole(canvas::guarded<size_worker>), .prepare = size_prepare, .finish = size_finish,
     .slots = kEnlarge, .doc = collage_docs::enlarge.text},
    {.command = opcmd::Reduce, .worker = worker_whole(canvas::guarded<size_worker>), .prepare = size_prepare, .finish = size_finish,
     .slots = kReduce, .doc = collage_docs::reduce.text},
    {.command = opcmd::SPercent, .worker = worker_whole(canvas::guarded<size_worker>), .prepare = size_prepare, .finish = size_finish,
     .slots = kSPercent, .doc = collage_docs::spercent.text},
    {.command = opcmd::SPixel, .worker = worker_whole(canvas::guarded<size_worker>), .prepare = size_prepare, .finish = size_finish,
     .slots = kSPixel, .doc = collage_docs::spixel.text},
    {.command = opcmd::DOF, .worker = worker_whole(canvas::guarded<dof_worker>), .slots = kDOF, .doc = collage_docs::dof},
};

} // namespace

const OpFamily kCollageFamily = {"collage", kRows, collage_reset, nullptr, nullptr};
