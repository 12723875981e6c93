// Linear Fill, Concentric, Radiating and Outline: multi-pass fills.  The
// prepare hooks (Outline's pre-pass) take the geometry, the palette ramp and,
// for Outline, the distance of every pixel to the outline into the prepared
// state below; the workers only read it.  The applier calls the workers for
// every pixel of the area, weight 0 included, which they leave alone.
#include "areas/area_mask.h"
#include "core/image.h"
#include "ops/framework.h"
#include "ops/pattern/pattern.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Position t along a ramp repeated `repeat` times, as a saw or reflected.
double repeat_position(double t, double repeat, bool reflect)
{
    const double T = t * repeat;
    if (reflect) {
        double u = std::fmod(T, 2.0);
        if (u < 0)
            u += 2;
        return u > 1 ? 2 - u : u;
    }
    const double f = T - std::floor(T);
    // The far end of each repeat keeps the last colour.
    return (f == 0 && T > 0) ? 1 : f;
}

struct Linear {
    gen::Area area;
    double dx, dy, extent, repeat;
    bool reflect, alpha;
    std::unique_ptr<gen::Ramp> ramp;
} g_linear;

struct Rings {
    double cx, cy, sx, sy, reach, rings;
    bool alpha;
    std::unique_ptr<gen::Ramp> ramp;
} g_rings;

struct Rays {
    double cx, cy, radius, rays, turn, twist, strength;
    bool alpha;
} g_rays;

struct Bands {
    int w = 0, h = 0;
    std::vector<float> dist;  // signed: > 0 inside the shapes, < 0 outside; 0 where untouched
    double width = 1;
    int bands = 0, side = 0, offset = 0;
    bool smooth = false, alpha = false;
    OpPalette palette{};
} g_bands;

} // namespace

// ---- Linear Fill ------------------------------------------------------------------

int linear_prepare(Image*, int)
{
    const PatternParams& pp = pattern_params();
    Linear& l = g_linear;
    l.area = gen::area();
    l.alpha = op_state().alpha_mode;
    const double a = pp.linear_angle * kPi / 180;
    l.dx = std::cos(a), l.dy = std::sin(a);
    // Half the distance between the area's first and last pixel centres along the direction.
    l.extent = (std::fabs(l.dx) * (l.area.x1 - l.area.x0) + std::fabs(l.dy) * (l.area.y1 - l.area.y0)) / 2;
    l.repeat = std::max(1, pp.linear_repeat);
    l.reflect = pp.linear_reflect != 0;
    l.ramp = std::make_unique<gen::Ramp>(pp.linear_pal);
    return 0;
}

void linear_worker(uint8_t* p, int x, int y, int m)
{
    const Linear& l = g_linear;
    if (m <= 0)
        return;
    const double t =
        l.extent > 1e-9 ? ((x - l.area.cx) * l.dx + (y - l.area.cy) * l.dy + l.extent) / (2 * l.extent) : 0;
    int c[3];
    l.ramp->at(repeat_position(gen::clamp01(t), l.repeat, l.reflect), c);
    gen::put(p, c, m, l.alpha);
}

// ---- Concentric --------------------------------------------------------------------

int concentric_prepare(Image*, int)
{
    const PatternParams& pp = pattern_params();
    Rings& r = g_rings;
    const gen::Area a = gen::area();
    r.alpha = op_state().alpha_mode;
    r.cx = a.cx + std::clamp(pp.cen_offset[0], -1000, 1000) / 100.0 * a.hw;
    r.cy = a.cy + std::clamp(pp.cen_offset[1], -1000, 1000) / 100.0 * a.hh;
    // Circles measure in pixels; the ellipse in the area's half sizes.
    r.sx = pp.cen_shape ? 1 / a.hw : 1 / a.hmin();
    r.sy = pp.cen_shape ? 1 / a.hh : 1 / a.hmin();
    r.reach = 0;
    for (double x : {a.x0 - 0.5, a.x1 + 0.5})
        for (double y : {a.y0 - 0.5, a.y1 + 0.5})
            r.reach = std::max(r.reach, std::hypot((x - r.cx) * r.sx, (y - r.cy) * r.sy));
    r.rings = std::max(1, pp.cen_rings);
    r.ramp = std::make_unique<gen::Ramp>(pp.cen_pal);
    return 0;
}

void concentric_worker(uint8_t* p, int x, int y, int m)
{
    const Rings& r = g_rings;
    if (m <= 0)
        return;
    const double t = std::hypot((x - r.cx) * r.sx, (y - r.cy) * r.sy) / r.reach;
    int c[3];
    r.ramp->at(repeat_position(gen::clamp01(t), r.rings * 2, true), c);
    gen::put(p, c, m, r.alpha);
}

// ---- Radiating -----------------------------------------------------------------------

int radiating_prepare(Image*, int)
{
    const PatternParams& pp = pattern_params();
    Rays& r = g_rays;
    const gen::Area a = gen::area();
    r.alpha = op_state().alpha_mode;
    r.cx = a.cx, r.cy = a.cy;
    r.radius = std::hypot(a.hw, a.hh);
    r.rays = std::max(1, pp.rad_rays);
    r.turn = pp.rad_turn * kPi / 180;
    r.twist = pp.rad_twist * kPi / 180;
    r.strength = std::clamp(pp.rad_strength, 0, 100) / 100.0;
    if (r.strength <= 0)
        return op_refuse_no_change();
    return 0;
}

void radiating_worker(uint8_t* p, int x, int y, int m)
{
    const Rays& r = g_rays;
    if (m <= 0)
        return;
    const double dx = x - r.cx, dy = y - r.cy;
    const double rho = std::hypot(dx, dy) / r.radius;
    const double theta = std::atan2(dy, dx) - r.turn - r.twist * rho;
    // Rays with soft but definite edges: lighter on the rays, darker between.
    const double f = std::tanh(3 * std::cos(r.rays * theta)) / std::tanh(3.0);
    // The centre itself belongs to no ray.
    const double fade = gen::smoothstep(0, 3 / r.radius + 1e-9, rho);
    int c[3];
    gen::take(p, r.alpha, c);
    for (int k = 0; k < 3; ++k)
        c[k] = f > 0 ? gen::clamp255(c[k] + (255 - c[k]) * f * r.strength * fade)
                     : gen::clamp255(c[k] * (1 + f * r.strength * fade));
    gen::put(p, c, m, r.alpha);
}

// ---- Outline ------------------------------------------------------------------------

int outline_prepass(Image* target, uint8_t* pixels)
{
    const PatternParams& pp = pattern_params();
    Bands& b = g_bands;
    const int w = static_cast<int>(target->width), h = target->height;
    const uint8_t* mask = area_mask().bytes;
    b.w = w, b.h = h;
    b.alpha = op_state().alpha_mode;
    b.width = std::max(1, pp.out_width);
    b.bands = std::max(0, pp.out_bands);
    b.side = std::clamp(pp.out_side, 0, 2);
    b.offset = pp.out_offset;
    b.smooth = pp.out_smooth != 0;
    b.palette = pp.out_pal;
    if (b.palette.count <= 0 || b.palette.count > kPaletteColours)
        gen::palette_set(b.palette, {0, 0, 0, 255, 255, 255});
    const int threshold = std::clamp(pp.out_threshold, 0, 255);
    // The shapes on a grid one pixel wider all round; for the selection the
    // border outside the image counts as outside it.
    const int gw = w + 2, gh = h + 2;
    std::vector<uint8_t> in(static_cast<size_t>(gw) * gh, 0), out(static_cast<size_t>(gw) * gh, 0);
    const bool selection = pp.out_source == 0;
    for (int y = -1; y <= h; ++y)
        for (int x = -1; x <= w; ++x) {
            bool shape = false;
            if (x >= 0 && y >= 0 && x < w && y < h) {
                const size_t at = static_cast<size_t>(target->rows[y]) + static_cast<size_t>(x);
                const uint8_t* p = pixels + 4 * at;
                const int v = selection ? (mask ? mask[at] : 255) : pp.out_source == 1 ? p[3] : gen::luma(p[0], p[1], p[2]);
                shape = v >= (selection ? 128 : threshold);
            } else if (!selection) {
                // Beyond the image: whatever lies at its edge, so edges draw no outline.
                const int cx = std::clamp(x, 0, w - 1), cy = std::clamp(y, 0, h - 1);
                const uint8_t* p = pixels + 4 * (static_cast<size_t>(target->rows[cy]) + static_cast<size_t>(cx));
                const int v = pp.out_source == 1 ? p[3] : gen::luma(p[0], p[1], p[2]);
                shape = v >= threshold;
            }
            const size_t g = static_cast<size_t>(y + 1) * gw + static_cast<size_t>(x + 1);
            in[g] = shape ? 0 : 1;   // features for the distance inside
            out[g] = shape ? 1 : 0;  // features for the distance outside
        }
    std::vector<float> din, dout;
    gen::distance_field(in.data(), gw, gh, din);
    gen::distance_field(out.data(), gw, gh, dout);
    b.dist.assign(static_cast<size_t>(w) * h, 0.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t g = static_cast<size_t>(y + 1) * gw + static_cast<size_t>(x + 1);
            // Distances from the border between pixels: half a pixel less.
            b.dist[static_cast<size_t>(y) * w + x] = din[g] > 0 ? din[g] - 0.5f : -(dout[g] - 0.5f);
        }
    return 0;
}

void outline_worker(uint8_t* p, int x, int y, int m)
{
    const Bands& b = g_bands;
    if (m <= 0 || b.dist.empty() || x >= b.w || y >= b.h)
        return;
    const double s = b.dist[static_cast<size_t>(y) * b.w + x];
    if ((s > 0 && b.side == 1) || (s < 0 && b.side == 0))
        return;
    const double d = std::fabs(s);
    if (d >= 1e8)
        return;
    const double band = d / b.width;
    if (b.bands > 0 && band >= b.bands)
        return;
    const int n = b.palette.count;
    const double pos = (b.smooth ? band : std::floor(band)) + b.offset;
    const double fl = std::floor(pos);
    const int i = static_cast<int>(((static_cast<int64_t>(fl) % n) + n) % n), j = (i + 1) % n;
    const double f = b.smooth ? pos - fl : 0;
    const OpPalette& pal = b.palette;
    const int c[3] = {gen::clamp255(pal.red[i] + (pal.red[j] - pal.red[i]) * f),
                      gen::clamp255(pal.green[i] + (pal.green[j] - pal.green[i]) * f),
                      gen::clamp255(pal.blue[i] + (pal.blue[j] - pal.blue[i]) * f)};
    gen::put(p, c, m, b.alpha);
}

int outline_finish(Image*, int)
{
    g_bands.dist = std::vector<float>();
    return 0;
}

void fills_release()
{
    g_bands.dist = std::vector<float>();
    g_linear.ramp.reset();
    g_rings.ramp.reset();
}
