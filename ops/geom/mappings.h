// The mappings of the geometric operations: for a target pixel (x, y),
// where in the image as it was before the operation its colour comes from.
// Inline, so that the resampler instantiated for each row (rows.cpp) has its
// mapping in its own body; the prepare hooks that fill the state they read
// are in mappings.cpp.
#pragma once

#include "ops/geom/geom_internal.h"

#include <algorithm>
#include <cmath>

namespace geom_map {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHeadV = -0.35;  // Caricature's head, in the area's half heights

inline const GeomParams& P()
{
    return g_geom_params;
}

// Real remainder into 0 .. n.
inline double wrap_into(double v, double n)
{
    double r = std::fmod(v, n);
    return r < 0 ? r + n : r;
}

// Positions relative to the area: (x − cx)/rx and (y − cy)/ry.
inline double area_u(int x)
{
    return (x - g_geom_state.cx) / g_geom_state.rx;
}
inline double area_v(int y)
{
    return (y - g_geom_state.cy) / g_geom_state.ry;
}

inline void identity(int x, int y, double& sx, double& sy)
{
    sx = x;
    sy = y;
}

inline double wave(int shape, double t)
{
    switch (shape) {
    case 1: return std::asin(std::sin(t)) * (2 / kPi);
    case 2: return std::sin(t) >= 0 ? 1 : -1;
    default: return std::sin(t);
    }
}

// The slope of the wave, −1..1 (the square wave has none).
inline double wave_slope(int shape, double t)
{
    switch (shape) {
    case 1: return std::cos(t) >= 0 ? 1 : -1;
    case 2: return 0;
    default: return std::cos(t);
    }
}

inline unsigned shade_of(int amount, double lit)
{
    lit = std::clamp(lit, 0.0, 1.0);
    return static_cast<unsigned>(amount * lit + 0.5);
}

inline int luma(const uint8_t* q)
{
    return (q[0] * 77 + q[1] * 150 + q[2] * 29) >> 8;
}

// The source pixel at (px, py) of the source image, already inside it.  When
// the image is its own source the rectangle being changed is read from the
// capture (outside it the image does not change).
inline const uint8_t* source_pixel(const OpState& st, long px, long py)
{
    if (g_geom_state.source_is_target && st.capture) {
        const long cx = px - st.capture_x, cy = py - st.capture_y;
        const Image* c = st.capture;
        if (cx >= 0 && cy >= 0 && cx < static_cast<long>(c->width) && cy < c->height)
            return c->pixels + 4 * (static_cast<size_t>(c->rows[cy]) + static_cast<size_t>(cx));
    }
    return st.src_pixels + 4 * (static_cast<size_t>(st.src_rows[py]) + static_cast<size_t>(px));
}

inline long tile(long v, long n)
{
    v %= n;
    return v < 0 ? v + n : v;
}

inline bool map_swirl(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const double u = (x - g.cx) / g.rx, v = (y - g.cy) / g.ry;
    const double r = std::sqrt(u * u + v * v);
    const double t = std::atan2(v, u) + (1 - r) * g.s;
    sx = g.cx + std::cos(t) * r * g.rx;
    sy = g.cy + std::sin(t) * r * g.ry;
    return false;
}

inline void roll_int(int x, int y, long& sx, long& sy)
{
    const GeomState& g = g_geom_state;
    long X = x - g.roll_left + g.roll_dx, Y = y - g.roll_top + g.roll_dy;
    if (X >= g.roll_w)
        X -= g.roll_w;
    if (Y >= g.roll_h)
        Y -= g.roll_h;
    sx = g.roll_left + X;
    sy = g.roll_top + Y;
}

inline bool map_roll(int x, int y, double& sx, double& sy, unsigned&)
{
    long X, Y;
    roll_int(x, y, X, Y);
    sx = static_cast<double>(X);
    sy = static_cast<double>(Y);
    return false;
}

inline bool map_shear(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomParams& p = P();
    const double W = static_cast<double>(g_geom_state.width), H = static_cast<double>(g_geom_state.height);
    const double a = p.shear_amount;
    const double u = x / W, v = y / H;
    sx = x;
    sy = y;
    double* shifted;
    double span;
    switch (p.shear_direction) {
    case 0: sy = y + static_cast<float>(a * u) * H, shifted = &sy, span = H; break;
    case 1: sy = y + static_cast<float>(a * (1 - u)) * H, shifted = &sy, span = H; break;
    case 2: sx = x + static_cast<float>(a * v) * W, shifted = &sx, span = W; break;
    default: sx = x + static_cast<float>(a * (1 - v)) * W, shifted = &sx, span = W; break;
    }
    if (*shifted < 0) {
        if (!p.shear_wrap)
            return true;
        *shifted += span;
    } else if (*shifted >= span) {
        if (!p.shear_wrap)
            return true;
        *shifted -= span;
    }
    return false;
}

inline bool map_dome(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const double u = area_u(x), v = area_v(y);
    const double r2 = u * u + v * v;
    if (r2 >= 1) {
        identity(x, y, sx, sy);
        return false;
    }
    // The scale runs from e^(−S/2) at the centre to 1 at the rim.
    const double k = std::exp(-g.s * (1 - r2) / 2);
    sx = g.cx + u * k * g.rx;
    sy = g.cy + v * k * g.ry;
    return false;
}

inline bool map_caricature(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const double u = area_u(x), v = area_v(y);
    const double r2 = u * u + v * v;
    if (r2 >= 1) {
        identity(x, y, sx, sy);
        return false;
    }
    const double w = (1 - r2) * (1 - r2);
    const double k = 1 - g.s * w;
    sx = g.cx + u * k * g.rx;
    sy = g.cy + (kHeadV + (v - kHeadV) * k) * g.ry;
    return false;
}

inline bool map_waves(int x, int y, double& sx, double& sy, unsigned& shade)
{
    const GeomState& g = g_geom_state;
    const GeomParams& p = P();
    const double tx = g.waves_kx * (y - g.y0) + g.waves_px;
    const double ty = g.waves_ky * (x - g.x0) + g.waves_py;
    sx = x + p.waves_amp_x * wave(p.waves_shape, tx);
    sy = y + p.waves_amp_y * wave(p.waves_shape, ty);
    if (p.waves_wrap) {
        sx = g.x0 + wrap_into(sx - g.x0, g.x1 - g.x0 + 1);
        sy = g.y0 + wrap_into(sy - g.y0, g.y1 - g.y0 + 1);
    }
    if (p.waves_shade > 0) {
        const double lit = ((p.waves_amp_x ? wave_slope(p.waves_shape, tx) : 0) +
                            (p.waves_amp_y ? wave_slope(p.waves_shape, ty) : 0)) /
                           2;
        shade = shade_of(p.waves_shade, lit);
    }
    return false;
}

inline bool map_radial_wave(int x, int y, double& sx, double& sy, unsigned& shade)
{
    const GeomState& g = g_geom_state;
    const GeomParams& p = P();
    const double dx = x - g.cx, dy = y - g.cy;
    const double rho = std::sqrt(dx * dx + dy * dy);
    const double u = area_u(x), v = area_v(y);
    const double fade = std::max(0.0, 1 - p.radial_damping / 100.0 * std::sqrt(u * u + v * v));
    const double ph = g.radial_k * rho - g.radial_phase;
    const double d = p.radial_amp * fade * std::sin(ph);
    identity(x, y, sx, sy);
    if (rho > 0) {
        if (p.radial_mode == 0) {
            sx = x + dx / rho * d;
            sy = y + dy / rho * d;
        } else {
            // Around the centre: an arc of length d.
            const double a = d / std::max(rho, 1.0);
            const double c = std::cos(a), s = std::sin(a);
            sx = g.cx + dx * c - dy * s;
            sy = g.cy + dx * s + dy * c;
        }
    }
    if (p.radial_shade > 0)
        shade = shade_of(p.radial_shade, fade * std::cos(ph));
    return false;
}

inline bool map_turbulence(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const GeomParams& p = P();
    const int octaves = std::clamp(p.turbulence_detail, 1, 12);
    // Each octave has twice the frequency and half the sway of the one
    // before; the sum is scaled so that the sway stays `amount` whatever
    // the detail.
    double gx = 0, gy = 0, f = g.turbulence_scale, a = 1, norm = 0;
    for (int o = 0; o < octaves; ++o, f *= 2, a *= 0.5) {
        double nx, ny;
        // Each octave is offset so that the lattice points do not line up.
        noise2(g.perm, x * f + o * 17.31, y * f + o * 31.79, &nx, &ny);
        gx += a * nx;
        gy += a * ny;
        norm += a * a;
    }
    const double k = p.turbulence_amount / std::sqrt(norm);
    // The flow runs along the noise's contour lines (its curl): eddies
    // without sources or sinks.
    sx = x + k * gy;
    sy = y - k * gx;
    return false;
}

inline bool map_surface_warp(int x, int y, double& sx, double& sy, unsigned& shade)
{
    const GeomState& g = g_geom_state;
    const GeomParams& p = P();
    const OpState& st = *g_geom_state.op;
    identity(x, y, sx, sy);
    const long sw = st.src_width, sh = st.src_height;
    if (!st.src_pixels || sw < 1 || sh < 1)
        return false;
    // Where (x, y) lies on the source: stretched over the area, or tiled
    // from its top-left corner.
    long px, py;
    const long aw = g.x1 - g.x0 + 1, ah = g.y1 - g.y0 + 1;
    if (p.surface_fit) {
        px = aw > 1 ? std::lround(static_cast<double>(x - g.x0) * (sw - 1) / (aw - 1)) : 0;
        py = ah > 1 ? std::lround(static_cast<double>(y - g.y0) * (sh - 1) / (ah - 1)) : 0;
    } else {
        px = tile(x - g.x0, sw);
        py = tile(y - g.y0, sh);
    }
    auto at = [&](long dx, long dy) {
        long qx = px + dx, qy = py + dy;
        if (p.surface_fit) {
            qx = std::clamp(qx, 0L, sw - 1);
            qy = std::clamp(qy, 0L, sh - 1);
        } else {
            qx = tile(qx, sw);
            qy = tile(qy, sh);
        }
        return source_pixel(st, qx, qy);
    };
    if (p.surface_method == 1) {
        const uint8_t* q = at(0, 0);
        sx = x + p.surface_amount * (q[0] - 128) / 128.0;
        sy = y + p.surface_amount * (q[1] - 128) / 128.0;
        return false;
    }
    // The slopes of the relief (Sobel), −1..1.
    const int l00 = luma(at(-1, -1)), l10 = luma(at(0, -1)), l20 = luma(at(1, -1));
    const int l01 = luma(at(-1, 0)), l21 = luma(at(1, 0));
    const int l02 = luma(at(-1, 1)), l12 = luma(at(0, 1)), l22 = luma(at(1, 1));
    const double gx = ((l20 + 2 * l21 + l22) - (l00 + 2 * l01 + l02)) / (4.0 * 255);
    const double gy = ((l02 + 2 * l12 + l22) - (l00 + 2 * l10 + l20)) / (4.0 * 255);
    sx = x + p.surface_amount * gx;
    sy = y + p.surface_amount * gy;
    if (p.surface_shade > 0)
        shade = shade_of(p.surface_shade, gx + gy);  // light from the upper left
    return false;
}

inline bool map_kaleidoscope(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const double dx = x - g.cx, dy = y - g.cy;
    const double rho = std::sqrt(dx * dx + dy * dy);
    if (rho == 0) {
        identity(x, y, sx, sy);
        return false;
    }
    const double w = g.kaleido_wedge;
    const double th = wrap_into(std::atan2(dy, dx) - g.kaleido_angle, 2 * kPi);
    double t = th - std::floor(th / w) * w;
    if (P().kaleido_mirror && t > w / 2)
        t = w - t;
    const double a = g.kaleido_angle + t;
    sx = g.cx + rho * std::cos(a);
    sy = g.cy + rho * std::sin(a);
    return false;
}

inline bool map_bend(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const GeomParams& p = P();
    const bool rows = p.bend_direction == 0;
    // t runs 0..1 across the area; the bend is deepest at the peak and
    // nothing at either end.
    const double t = rows ? static_cast<double>(x - g.x0) / std::max(1, g.x1 - g.x0)
                          : static_cast<double>(y - g.y0) / std::max(1, g.y1 - g.y0);
    const double pk = g.bend_peak;
    const double d = t < pk ? (pk - t) / pk : (pk < 1 ? (t - pk) / (1 - pk) : 0);
    const double depth = p.bend_amount / 100.0 * (rows ? g.ry : g.rx) * (1 - d * d);
    identity(x, y, sx, sy);
    if (rows) {
        sy = y - depth;
        return sy < g.y0 || sy > g.y1;
    }
    sx = x - depth;
    return sx < g.x0 || sx > g.x1;
}

inline void mirror_int(int x, int y, long& sx, long& sy)
{
    const GeomState& g = g_geom_state;
    const int side = P().mirror_side;
    const long mx = static_cast<long>(g.x0) + g.x1, my = static_cast<long>(g.y0) + g.y1;
    long X = x, Y = y;
    if ((side == 0 || side == 4) && 2L * x > mx)
        X = mx - x;
    if (side == 1 && 2L * x < mx)
        X = mx - x;
    if ((side == 2 || side == 4) && 2L * y > my)
        Y = my - y;
    if (side == 3 && 2L * y < my)
        Y = my - y;
    sx = X;
    sy = Y;
}

inline bool map_mirror(int x, int y, double& sx, double& sy, unsigned&)
{
    long X, Y;
    mirror_int(x, y, X, Y);
    sx = static_cast<double>(X);
    sy = static_cast<double>(Y);
    return false;
}

inline bool map_polar(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const double u = area_u(x), v = area_v(y);
    const double r = std::sqrt(u * u + v * v);
    // The angle clockwise from straight up, 0..2π, runs across the area.
    double th = std::atan2(u, -v);
    if (th < 0)
        th += 2 * kPi;
    sx = g.x0 + th / (2 * kPi) * (g.x1 - g.x0);
    sy = g.y0 + r * (g.y1 - g.y0);
    return false;
}

inline bool map_wonk(int x, int y, double& sx, double& sy, unsigned&)
{
    constexpr double k = 0.15;
    const GeomState& g = g_geom_state;
    const double u = area_u(x), v = area_v(y);
    const double su = u + k * std::sin(kPi * v) * (1 - u * u);
    const double sv = v + k * std::sin(kPi * u) * (1 - v * v);
    sx = g.cx + su * g.rx;
    sy = g.cy + sv * g.ry;
    return false;
}

inline bool map_circe(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const double u = area_u(x), v = area_v(y);
    identity(x, y, sx, sy);
    if (u * u + v * v > 1)
        return true;
    // The elliptical grid mapping from the disc to the square.
    constexpr double k = 2.8284271247461903;  // 2√2
    const double a = 2 + u * u - v * v, b = 2 - u * u + v * v;
    const double su = 0.5 * std::sqrt(std::max(0.0, a + k * u)) - 0.5 * std::sqrt(std::max(0.0, a - k * u));
    const double sv = 0.5 * std::sqrt(std::max(0.0, b + k * v)) - 0.5 * std::sqrt(std::max(0.0, b - k * v));
    sx = g.cx + su * g.rx;
    sy = g.cy + sv * g.ry;
    return false;
}

inline bool map_melt(int x, int y, double& sx, double& sy, unsigned&)
{
    const GeomState& g = g_geom_state;
    const GeomParams& p = P();
    const int dir = p.melt_direction;
    const bool vertical = dir == 0 || dir == 1;
    // `along` runs across the drips, `t` 0..1 the way they run.
    const long along = vertical ? x : y;
    const long lo = vertical ? g.y0 : g.x0, hi = vertical ? g.y1 : g.x1;
    const long at = vertical ? y : x;
    const double span = static_cast<double>(hi - lo + 1);
    double t = static_cast<double>(dir == 0 || dir == 3 ? at - lo : hi - at) / std::max(1.0, span - 1);
    const double n = noise1(g.perm, along * g.melt_scale);
    const double length = p.melt_amount / 100.0 * span * (0.2 + 0.8 * n) * t;
    const double wiggle = (noise1(g.perm, along * g.melt_scale * 3 + 91.7) - 0.5) * 0.5 * t / g.melt_scale;
    // Down and right pull from before; up and left from after.
    const double pull = dir == 0 || dir == 3 ? -length : length;
    identity(x, y, sx, sy);
    if (vertical) {
        sy = y + pull;
        sx = x + wiggle;
    } else {
        sx = x + pull;
        sy = y + wiggle;
    }
    return false;
}

} // namespace geom_map
