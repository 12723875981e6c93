// The prepare hooks of the geometric operations: they refuse settings that
// change nothing and leave the area geometry and the operation's constants
// in the family's state for the mappings (mappings.h).
#include "areas/area_mask.h"
#include "core/image.h"
#include "ops/framework.h"
#include "ops/geom/geom_internal.h"
#include "ops/geom/mappings.h"

#include <algorithm>
#include <cmath>

GeomState g_geom_state;

using namespace geom_map;

namespace {
GeomState& g_state = g_geom_state;
}

void geom_store_area(Image* target)
{
    const AreaRect& r = area_mask().rect;
    GeomState& g = g_state;
    g.x0 = r.x0, g.y0 = r.y0, g.x1 = r.x1, g.y1 = r.y1;
    g.cx = r.cx, g.cy = r.cy;
    // A one-pixel area has half size 0; 1 keeps the divisions finite.
    g.rx = std::max(r.half_w, 1), g.ry = std::max(r.half_h, 1);
    g.width = target ? static_cast<long>(target->width) : 1;
    g.height = target ? target->height : 1;
    g.op = &op_state();
}

int area_prepare(Image* target, int)
{
    geom_store_area(target);
    return 0;
}

// ---- Swirl (the framework's formula) ------------------------------------------

int swirl_prepare(Image* target, int)
{
    if (P().swirl_amount == 0)
        return op_refuse_no_change();
    geom_store_area(target);
    g_state.s = P().swirl_amount / 100.0;
    return 0;
}

// ---- Roll ----------------------------------------------------------------------

int roll_prepare(Image* target, int)
{
    geom_store_area(target);
    GeomState& g = g_state;
    const GeomParams& p = P();
    if (p.roll_switch) {
        g.roll_left = g.x0, g.roll_top = g.y0;
        g.roll_w = g.x1 - g.x0 + 1, g.roll_h = g.y1 - g.y0 + 1;
    } else {
        g.roll_left = 0, g.roll_top = 0;
        g.roll_w = g.width, g.roll_h = g.height;
    }
    // Adding or subtracting the span as often as needed is the remainder.
    g.roll_dx = ((p.roll_dx % g.roll_w) + g.roll_w) % g.roll_w;
    g.roll_dy = ((p.roll_dy % g.roll_h) + g.roll_h) % g.roll_h;
    return 0;
}

// ---- Shear ---------------------------------------------------------------------

// Clearing what comes from outside gives the image transparency.
static void set_clear_outside(Image* target, bool on)
{
    op_state().clear_outside = on;
    if (on && target)
        target->alpha = 1;
}

int shear_prepare(Image* target, int)
{
    geom_store_area(target);
    set_clear_outside(target, P().shear_switch != 0 && !P().shear_wrap);
    return 0;
}

// ---- Dome: a lens over the area's ellipse --------------------------------------

int dome_prepare(Image* target, int)
{
    if (P().dome_strength == 0)
        return op_refuse_no_change();
    geom_store_area(target);
    g_state.s = P().dome_strength / 100.0;
    return 0;
}

// ---- Caricature: a big head over a small chin ---------------------------------

int caricature_prepare(Image* target, int)
{
    if (P().caricature_amount == 0)
        return op_refuse_no_change();
    geom_store_area(target);
    g_state.s = 0.6 * P().caricature_amount / 100.0;
    return 0;
}

// ---- Waves ---------------------------------------------------------------------

int waves_prepare(Image* target, int)
{
    const GeomParams& p = P();
    if (p.waves_amp_x == 0 && p.waves_amp_y == 0 && p.waves_shade <= 0)
        return op_refuse_no_change();
    geom_store_area(target);
    GeomState& g = g_state;
    g.waves_kx = 2 * kPi / std::max(1, p.waves_length_x);
    g.waves_ky = 2 * kPi / std::max(1, p.waves_length_y);
    g.waves_px = std::fmod(p.waves_phase_x, 360) * kPi / 180;
    g.waves_py = std::fmod(p.waves_phase_y, 360) * kPi / 180;
    return 0;
}

// ---- Radial Wave ---------------------------------------------------------------

int radial_wave_prepare(Image* target, int)
{
    const GeomParams& p = P();
    if (p.radial_amp == 0 && p.radial_shade <= 0)
        return op_refuse_no_change();
    geom_store_area(target);
    g_state.radial_k = 2 * kPi / std::max(1, p.radial_length);
    g_state.radial_phase = std::fmod(p.radial_phase, 360) * kPi / 180;
    return 0;
}

// ---- Turbulence ----------------------------------------------------------------

int turbulence_prepare(Image* target, int)
{
    const GeomParams& p = P();
    if (p.turbulence_amount == 0)
        return op_refuse_no_change();
    geom_store_area(target);
    noise_seed(g_state.perm, static_cast<uint32_t>(p.turbulence_seed));
    g_state.turbulence_scale = 1.0 / std::max(1, p.turbulence_size);
    return 0;
}

// ---- Surface Warp --------------------------------------------------------------

int surface_warp_prepare(Image* target, int)
{
    const GeomParams& p = P();
    if (p.surface_amount == 0 && p.surface_shade <= 0)
        return op_refuse_no_change();
    geom_store_area(target);
    // The framework's rule for the source: the target when none is assigned.
    Image* src = image_role(ImageRole::Source);
    g_state.source_is_target = !src || !image_store_contains(src) || src == target;
    return 0;
}

// ---- Kaleidoscope --------------------------------------------------------------

int kaleidoscope_prepare(Image* target, int)
{
    const GeomParams& p = P();
    if (p.kaleido_segments <= 1 && !p.kaleido_mirror)
        return op_refuse_no_change();
    geom_store_area(target);
    g_state.kaleido_wedge = 2 * kPi / std::max(1, p.kaleido_segments);
    g_state.kaleido_angle = std::fmod(p.kaleido_angle, 360) * kPi / 180;
    return 0;
}

// ---- Bend ----------------------------------------------------------------------

int bend_prepare(Image* target, int)
{
    const GeomParams& p = P();
    if (p.bend_amount == 0)
        return op_refuse_no_change();
    geom_store_area(target);
    g_state.bend_peak = std::clamp(p.bend_peak, 0, 100) / 100.0;
    set_clear_outside(target, p.bend_clear != 0);
    return 0;
}

// ---- Mirror --------------------------------------------------------------------

// ---- Polar/Rec: the rectangle's rows become rings --------------------------------

// ---- Wonk: a wobbly pane; the area's frame stays ------------------------------

// ---- Circe: the rectangle drawn into its ellipse ---------------------------------

int circe_prepare(Image* target, int)
{
    geom_store_area(target);
    // The corners the round picture leaves become transparent.
    set_clear_outside(target, true);
    return 0;
}

// ---- Melt ----------------------------------------------------------------------

int melt_prepare(Image* target, int)
{
    const GeomParams& p = P();
    if (p.melt_amount == 0)
        return op_refuse_no_change();
    geom_store_area(target);
    noise_seed(g_state.perm, static_cast<uint32_t>(p.melt_seed));
    g_state.melt_scale = 1.0 / std::max(1, p.melt_size);
    return 0;
}

// ---- the common worker reading the published mapping ------------------------------

void geom_resample(uint8_t* p, int x, int y, int m)
{
    OpState& st = op_state();
    st.outside = false;
    double sx = x, sy = y;
    unsigned shade = 0;
    if (st.mapping)
        st.mapping(x, y, &sx, &sy, &shade);
    geom_detail::resample_at(st, p, m, sx, sy, shade, st.outside);
}
