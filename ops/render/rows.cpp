// The render family's table.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/render/docs.h"
#include "ops/render/gen.h"
#include "ops/render/render.h"

#include <cstring>

RenderParams g_render_params;

namespace {

void set3(int32_t (&v)[3], int r, int g, int b)
{
    v[0] = r, v[1] = g, v[2] = b;
}

void render_params_reset()
{
    RenderParams& p = g_render_params;
    std::memset(&p, 0, sizeof p);
    p.land_seed = 1;
    p.land_roughness = 55;
    p.land_water = 40;
    p.land_relief = 100;
    p.land_haze = 85;
    p.land_cliff_dark = 30;
    p.land_reflect = 25;
    p.land_depth = 100;
    p.land_breadth = 100;
    p.land_distance = 100;
    p.land_cam[0] = 256;
    p.land_cam[1] = 504;
    p.land_horizon = 35;
    p.land_fov = 70;
    p.land_grain_size = 4;
    p.land_grain_seed = 1;
    p.land_snow = 100;
    set3(p.land_snow_rgb, 245, 245, 250);
    // Shore, grass, forest, rock, snow; the sky from the haze at the horizon up.
    gen::palette_set(p.land_pal1, {194, 178, 128, 86, 140, 60, 42, 92, 40, 118, 108, 98, 245, 245, 250});
    gen::palette_set(p.land_pal2, {205, 215, 230, 110, 160, 220, 40, 80, 170});
    p.map_shading = 60;
    p.exf_size = 32;
    p.exf_amount = 50;
    p.ent_length = 16;
    p.ent_swirl = 60;
    p.ent_scale = 80;
    p.ent_mix = 100;
    p.ruler_spacing = 10;
    p.ruler_major = 10;
    p.ruler_mid = 5;
    p.ruler_len[0] = 6, p.ruler_len[1] = 10, p.ruler_len[2] = 16;
    p.ruler_thickness = 1;
    p.ruler_band = 1;
    set3(p.ruler_band_rgb, 250, 240, 200);
    p.ruler_band_size = 30;
    p.ruler_numbers = 1;
    p.ruler_unit = 10;
    p.grid_space[0] = p.grid_space[1] = 32;
    p.grid_width = 1;
    set3(p.grid_rgb, 255, 255, 255);
    p.grid_opacity = 70;
    p.grid_major = 4;
    p.grid_major_width = 2;
    set3(p.grid_major_rgb, 255, 220, 0);
    p.grid_major_opacity = 100;
    p.grid_dash = 4;
    p.grid_horizontal = p.grid_vertical = 1;
    p.tex_type = 1;
    p.tex_seed = 1;
    p.tex_scale = 120;
    p.tex_octaves = 5;
    p.tex_roughness = 50;
    p.tex_turbulence = 50;
    p.tex_contrast = 100;
    set3(p.tex_rgb1, 40, 38, 48);
    set3(p.tex_rgb2, 236, 230, 220);
    p.tex_opacity = 100;
    p.tex_angle = 30;
    p.bang_spikes = 14;
    p.bang_inner = 45;
    p.bang_outer = 95;
    p.bang_random = 40;
    p.bang_seed = 1;
    set3(p.bang_in_rgb, 255, 255, 140);
    set3(p.bang_out_rgb, 255, 90, 0);
    p.bang_line = 3;
    p.bang_opacity = 100;
    p.bang_glow = 10;
    p.julia_c[0] = -0.8f, p.julia_c[1] = 0.156f;
    p.julia_zoom = 1.2f;
    p.julia_iterations = 256;
    p.julia_cycle = 24;
    gen::palette_set(p.julia_pal, {10, 0, 30, 120, 20, 120, 250, 120, 60, 255, 240, 180});
    p.mand_centre[0] = -0.6f;
    p.mand_zoom = 1.2f;
    p.mand_iterations = 256;
    p.mand_cycle = 32;
    p.mand_power = 2;
    gen::palette_set(p.mand_pal, {0, 7, 100, 32, 107, 203, 237, 255, 255, 255, 170, 0, 0, 2, 0});
    p.curl_corner = 2;
    p.curl_amount = 35;
    p.curl_radius = 10;
    set3(p.curl_back_rgb, 240, 238, 228);
    set3(p.curl_bg_rgb, 40, 40, 40);
    p.curl_shadow = 50;
    p.crater_radius = 60;
    p.crater_depth = 100;
    p.crater_light = 225;
    p.crater_ejecta = 100;
    p.crater_seed = 1;
    render_profiles_reset();
}

constexpr RenderParams& p = g_render_params;
constexpr double kSeeds = 2147483647;
constexpr double kBig = 100000;

#define RGB_SLOTS(var, prefix, label)                                                   \
    slot_range(&var[0], prefix "red", label " red", 0, 255),                           \
        slot_range(&var[1], prefix "green", label " green", 0, 255),                   \
        slot_range(&var[2], prefix "blue", label " blue", 0, 255)

constexpr OpSlot kLandscape[] = {
    slot_int(&p.land_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
    slot_range(&p.land_roughness, "roughness", "Roughness", 0, 100),
    slot_range(&p.land_water, "water", "Water (%)", 0, 100),
    slot_int(&p.land_relief, "relief", "Relief (%)", 10, 300, 1, 1000),
    slot_palette(&p.land_pal1, SLOT_PALETTE, "landpal1", "ground", "Ground"),
    slot_palette(&p.land_pal2, SLOT_PALETTE_B, "landpal2", "sky", "Sky"),
    slot_range(&p.land_haze, "haze", "Haze (%)", 0, 100),
    slot_range(&p.land_haze_start, "haze_start", "Clear distance (%)", 0, 99),
    slot_int(&p.land_cliff, "cliff", "Cliff slope (%)", 0, 300, 0, 10000),
    slot_range(&p.land_cliff_dark, "cliff_dark", "Cliff darkness (%)", 0, 100),
    slot_range(&p.land_reflect, "reflect", "Reflection (%)", 0, 100),
    slot_range(&p.land_depth, "depth", "Depth colour (%)", 0, 100),
    slot_int(&p.land_breadth, "breadth", "Breadth (%)", 10, 400, 1, 10000),
    slot_int(&p.land_distance, "distance", "Distance (%)", 10, 300, 1, 1000),
    slot_int(&p.land_heading, "heading", "Heading", -180, 180, -36000, 36000),
    slot_int(&p.land_cam[0], "cam_x", "Camera x", 0, 511, -kBig, kBig),
    slot_int(&p.land_cam[1], "cam_y", "Camera y", 0, 511, -kBig, kBig),
    slot_int(&p.land_cam_height, "cam_height", "Camera height", 0, 500, 0, 10000),
    slot_range(&p.land_horizon, "horizon", "Horizon (%)", 0, 100),
    slot_int(&p.land_fov, "fov", "Field of view", 10, 150, 1, 170),
    slot_range(&p.land_grain, "grain", "Grain (%)", 0, 100),
    slot_int(&p.land_grain_size, "grain_size", "Grain size", 1, 64, 1, 512),
    slot_int(&p.land_grain_seed, "grain_seed", "Grain seed", 0, 9999, 0, kSeeds),
    slot_range(&p.land_snow, "snow", "Snow line (%)", 0, 100),
    RGB_SLOTS(p.land_snow_rgb, "snow_", "Snow"),
};
constexpr OpSlot kFlatMap[] = {
    slot_range(&p.map_shading, "shading", "Shading", 0, 100),
    slot_range(&p.map_contours, "contours", "Contour interval (%)", 0, 50),
};
constexpr OpSlot kExfoliation[] = {
    slot_int(&p.exf_size, "size", "Flake size", 4, 200, 2, kBig),
    slot_range(&p.exf_amount, "amount", "Amount (%)", 0, 100),
};
constexpr OpSlot kEntrainment[] = {
    slot_int(&p.ent_length, "length", "Streak length", 0, 100, 0, 1000),
    slot_range(&p.ent_swirl, "swirl", "Swirl", -100, 100),
    slot_int(&p.ent_scale, "scale", "Eddy size", 4, 400, 1, kBig),
    slot_range(&p.ent_mix, "mix", "Mix (%)", 0, 100),
};
constexpr OpSlot kRuler[] = {
    slot_int(&p.ruler_origin[0], "x", "Origin x", 0, 1000, -kBig, kBig),
    slot_int(&p.ruler_origin[1], "y", "Origin y", 0, 1000, -kBig, kBig),
    slot_range(&p.ruler_direction, "direction", "Direction (0 across, 1 down, 2 both)", 0, 2),
    slot_int(&p.ruler_spacing, "spacing", "Tick spacing", 1, 100, 1, kBig),
    slot_int(&p.ruler_major, "major", "Long tick every", 0, 20, 0, kBig),
    slot_int(&p.ruler_mid, "mid", "Middle tick every", 0, 20, 0, kBig),
    slot_int(&p.ruler_len[0], "minor_len", "Short tick length", 0, 100, 0, kBig),
    slot_int(&p.ruler_len[1], "mid_len", "Middle tick length", 0, 100, 0, kBig),
    slot_int(&p.ruler_len[2], "major_len", "Long tick length", 0, 100, 0, kBig),
    slot_int(&p.ruler_thickness, "thickness", "Thickness", 1, 10, 1, 1000),
    RGB_SLOTS(p.ruler_rgb, "", "Ink"),
    slot_switch(&p.ruler_band, "band", "Band"),
    RGB_SLOTS(p.ruler_band_rgb, "band_", "Band"),
    slot_int(&p.ruler_band_size, "band_size", "Band size", 0, 100, 0, kBig),
    slot_switch(&p.ruler_numbers, "numbers", "Numbers"),
    slot_int(&p.ruler_unit, "unit", "Value per tick", 0, 100, -kBig, kBig),
    slot_switch(&p.ruler_side, "side", "Ticks up (left)"),
};
constexpr OpSlot kGrid[] = {
    slot_int(&p.grid_space[0], "xspace", "X spacing", 2, 512, 1, kBig),
    slot_int(&p.grid_space[1], "yspace", "Y spacing", 2, 512, 1, kBig),
    slot_int(&p.grid_offset[0], "xoffset", "X offset", 0, 511, -kBig, kBig),
    slot_int(&p.grid_offset[1], "yoffset", "Y offset", 0, 511, -kBig, kBig),
    slot_int(&p.grid_width, "width", "Line width", 1, 32, 1, kBig),
    RGB_SLOTS(p.grid_rgb, "", "Line"),
    slot_range(&p.grid_opacity, "opacity", "Opacity (%)", 0, 100),
    slot_int(&p.grid_major, "major", "Major line every", 0, 32, 0, kBig),
    slot_int(&p.grid_major_width, "major_width", "Major line width", 1, 32, 1, kBig),
    RGB_SLOTS(p.grid_major_rgb, "major_", "Major line"),
    slot_range(&p.grid_major_opacity, "major_opacity", "Major opacity (%)", 0, 100),
    slot_range(&p.grid_style, "style", "Style (0 solid, 1 dashed, 2 dots)", 0, 2),
    slot_int(&p.grid_dash, "dash", "Dash length", 1, 64, 1, kBig),
    slot_switch(&p.grid_horizontal, "horizontal", "Horizontal lines"),
    slot_switch(&p.grid_vertical, "vertical", "Vertical lines"),
    slot_switch(&p.grid_border, "border", "Border"),
    slot_range(&p.grid_checker, "checker", "Checker (%)", 0, 100),
    RGB_SLOTS(p.grid_checker_rgb, "checker_", "Checker"),
};
constexpr OpSlot kTexture[] = {
    slot_range(&p.tex_type, "type", "Type (0 clouds, 1 marble, 2 wood, 3 granite, 4 ridges)", 0, 4),
    slot_int(&p.tex_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
    slot_int(&p.tex_scale, "scale", "Scale", 4, 1000, 1, kBig),
    slot_range(&p.tex_octaves, "octaves", "Octaves", 1, 8),
    slot_range(&p.tex_roughness, "roughness", "Roughness", 0, 100),
    slot_range(&p.tex_turbulence, "turbulence", "Turbulence", 0, 100),
    slot_int(&p.tex_contrast, "contrast", "Contrast (%)", 0, 200, 0, 1000),
    RGB_SLOTS(p.tex_rgb1, "dark_", "Dark"),
    RGB_SLOTS(p.tex_rgb2, "light_", "Light"),
    slot_range(&p.tex_opacity, "opacity", "Opacity (%)", 0, 100),
    slot_int(&p.tex_angle, "angle", "Angle", 0, 180, -3600, 3600),
};
constexpr OpSlot kBang[] = {
    slot_int(&p.bang_spikes, "spikes", "Spikes", 2, 64, 2, 256),
    slot_int(&p.bang_inner, "inner", "Inner radius (%)", 0, 100, 0, 1000),
    slot_int(&p.bang_outer, "outer", "Outer radius (%)", 0, 100, 0, 1000),
    slot_range(&p.bang_random, "random", "Randomness", 0, 100),
    slot_int(&p.bang_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
    slot_int(&p.bang_turn, "turn", "Turn", 0, 360, -3600, 3600, 360),
    RGB_SLOTS(p.bang_in_rgb, "in", "Inner"),
    RGB_SLOTS(p.bang_out_rgb, "out", "Outer"),
    RGB_SLOTS(p.bang_line_rgb, "line", "Outline"),
    slot_int(&p.bang_line, "line_width", "Outline width", 0, 20, 0, 1000),
    slot_range(&p.bang_opacity, "opacity", "Opacity (%)", 0, 100),
    slot_int(&p.bang_glow, "glow", "Glow", 0, 100, 0, 1000),
};
constexpr OpSlot kJulia[] = {
    slot_float(&p.julia_c[0], "cre", "c real", -2, 2, -4, 4),
    slot_float(&p.julia_c[1], "cim", "c imaginary", -2, 2, -4, 4),
    slot_float(&p.julia_centre[0], "x", "Centre real", -2, 2, -4, 4),
    slot_float(&p.julia_centre[1], "y", "Centre imaginary", -2, 2, -4, 4),
    slot_float(&p.julia_zoom, "zoom", "Zoom", 0.1, 1000, 1e-6, 1e15),
    slot_int(&p.julia_iterations, "iterations", "Iterations", 1, 1000, 0, 10000000),
    slot_int(&p.julia_cycle, "cycle", "Iterations per colour sweep", 1, 256, 1, kBig),
    slot_palette(&p.julia_pal, SLOT_PALETTE, "juliapal", "palette", "Palette"),
};
constexpr OpSlot kMandelbrot[] = {
    slot_float(&p.mand_centre[0], "x", "Centre real", -2, 2, -4, 4),
    slot_float(&p.mand_centre[1], "y", "Centre imaginary", -2, 2, -4, 4),
    slot_float(&p.mand_zoom, "zoom", "Zoom", 0.1, 1000, 1e-6, 1e15),
    slot_int(&p.mand_iterations, "iterations", "Iterations", 1, 1000, 0, 10000000),
    slot_int(&p.mand_cycle, "cycle", "Iterations per colour sweep", 1, 256, 1, kBig),
    slot_range(&p.mand_power, "power", "Power", 2, 8),
    slot_palette(&p.mand_pal, SLOT_PALETTE, "mandpal", "palette", "Palette"),
};
constexpr OpSlot kPagecurl[] = {
    slot_range(&p.curl_corner, "corner", "Corner (0 top left .. 3 bottom left)", 0, 3),
    slot_range(&p.curl_amount, "amount", "Amount (% of the diagonal)", 0, 100),
    slot_range(&p.curl_angle, "angle", "Angle", -45, 45),
    slot_range(&p.curl_radius, "radius", "Radius (%)", 1, 50),
    RGB_SLOTS(p.curl_back_rgb, "back_", "Back"),
    RGB_SLOTS(p.curl_bg_rgb, "behind_", "Behind"),
    slot_range(&p.curl_shadow, "shadow", "Shadow", 0, 100),
};
constexpr OpSlot kCrater[] = {
    slot_int(&p.crater_radius, "radius", "Radius (%)", 1, 100, 0, 1000),
    slot_int(&p.crater_depth, "depth", "Depth (%)", 0, 200, 0, 1000),
    slot_int(&p.crater_light, "light", "Light from", 0, 360, -3600, 3600, 360),
    slot_int(&p.crater_ejecta, "reach", "Ejecta reach (%)", 0, 300, 0, 1000),
    slot_int(&p.crater_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
    slot_profile("crater", SLOT_PROFILE_FIRST, "CRp", 255, "Cross-section"),
    slot_profile("ejecta", SLOT_PROFILE_FIRST + 1, "EJp", 255, "Ejecta"),
};

#undef RGB_SLOTS

constexpr OpRow kRows[] = {
    {.command = opcmd::Landscape, .worker = worker_whole(landscape_worker), .slots = kLandscape,
     .doc = render_docs::landscape},
    {.command = opcmd::Exfoliation, .worker = worker_whole(exfoliation_worker), .slots = kExfoliation,
     .doc = render_docs::exfoliation},
    {.command = opcmd::Entrainment, .worker = worker_whole(entrainment_worker), .slots = kEntrainment,
     .doc = render_docs::entrainment},
    {.command = opcmd::Ruler, .worker = worker_whole(ruler_worker), .slots = kRuler, .doc = render_docs::ruler},
    {.command = opcmd::Grid, .worker = worker_whole(grid_worker), .slots = kGrid, .doc = render_docs::grid},
    {.command = opcmd::Texture, .worker = worker_whole(texture_worker), .slots = kTexture,
     .doc = render_docs::texture},
    {.command = opcmd::Bang, .worker = worker_whole(bang_worker), .slots = kBang, .doc = render_docs::bang},
    {.command = opcmd::Julia, .worker = worker_whole(julia_worker), .prepare = fractal_prepare, .slots = kJulia,
     .doc = render_docs::julia},
    {.command = opcmd::Mandelbrot, .worker = worker_whole(mandelbrot_worker), .prepare = fractal_prepare,
     .slots = kMandelbrot, .doc = render_docs::mandelbrot},
    {.command = opcmd::Pagecurl, .worker = worker_whole(pagecurl_worker), .slots = kPagecurl,
     .doc = render_docs::pagecurl},
    {.command = opcmd::FlatMap, .worker = worker_place_xy(flat_map_worker), .prepare = flat_map_prepare,
     .slots = kFlatMap, .doc = render_docs::flat_map,
     .parallel = true},
    {.command = opcmd::Crater, .worker = worker_place_xy(crater_worker), .prepare = crater_prepare,
     .slots = kCrater, .doc = render_docs::crater,
     .parallel = true},
};

} // namespace

const OpFamily kRenderFamily = {"render", kRows, render_params_reset, nullptr, terrain_release};
