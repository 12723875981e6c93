// Inside the geometric family: the state the prepare hooks leave for the
// mappings, the common resampler and the warp-layer resampler.
//
// A mapping says where the colour of target pixel (x, y) comes from.  The
// family's own mappings return the outside flag instead of raising a global
// one, so that a row of pixels can be mapped without touching shared state;
// the descriptor's published mapping (geom_mapping_of) raises op_state().outside
// as the common worker's contract asks.
#pragma once

#include "core/image.h"
#include "ops/appliers.h"
#include "ops/framework.h"
#include "ops/geom/geom.h"

#include <cmath>
#include <cstdint>
#include <cstring>

// What the prepare hooks store before the rows run.  The mappings only read
// it while the applier walks the rows, so rows may run side by side.
struct GeomState {
    int32_t x0, y0, x1, y1;  // the area rectangle (inclusive)
    double cx, cy;           // its centre
    double rx, ry;           // its half sizes (at least 1)
    long width, height;      // the image
    double s;                // Swirl's A/100 and Dome's strength/100

    long roll_dx, roll_dy;               // reduced into 0 .. span - 1
    long roll_left, roll_top;            // the span Roll wraps within
    long roll_w, roll_h;
    double waves_kx, waves_ky;           // 2π / wavelength
    double waves_px, waves_py;           // phases in radians
    double radial_k, radial_phase;
    double kaleido_wedge, kaleido_angle;
    double bend_peak;
    double turbulence_scale;             // 1 / eddy size
    double melt_scale;                   // 1 / drip size
    uint8_t perm[512];                   // Turbulence's and Melt's noise lattice
    double rot_c, rot_s;                 // Rotate's cosine and sine
    double persp[9], persp_inv[9];       // Perspective's map of the unit square and its inverse
    bool source_is_target;               // Surface Warp reads the image itself
    const OpState* op;                   // the framework's state (its address never changes)
};

extern GeomState g_geom_state;
inline GeomState& geom_state()
{
    return g_geom_state;
}

// Mapping of the family: sets (sx, sy) and the shade; true when the pixel's
// source lies outside (the pixel is then left as it was, or cleared).
using GeomMap = bool (*)(int x, int y, double& sx, double& sy, unsigned& shade);
// A mapping onto whole pixels, that never leaves anything outside (Roll,
// Mirror): the resampler's taps then reduce to one pixel.
using GeomIntMap = void (*)(int x, int y, long& sx, long& sy);

// Stores the area and image geometry every mapping reads (the first thing
// each prepare hook does).
void geom_store_area(Image* target);

namespace geom_detail {

inline int clamp_byte(long v)
{
    return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
}

// The designed mappings go through trigonometry whose rounding would make a
// position meant to lie on a pixel fall a hair short of it and truncate to
// the pixel before; they are snapped to 1/65536 of a pixel first.
inline double snap(double v)
{
    if (!(v > -1e9 && v < 1e9))
        return v;
    const double t = v * 65536.0;
    return static_cast<double>(static_cast<int64_t>(t < 0 ? t - 0.5 : t + 0.5)) / 65536.0;
}

// Column (or row) taps of a source position against a capture span of n:
// c0 = clamp(i − left, 0, n − 1), c1 = c0 + 1 or c0 at the edge, and the
// fraction in 1/256.
inline void taps(double s, long left, long n, long& c0, long& c1, int& q)
{
    const long i = static_cast<long>(s);  // truncation
    q = static_cast<int>((s - static_cast<double>(i)) * 256.0);
    c0 = i - left;
    c0 = c0 < 0 ? 0 : c0 > n - 1 ? n - 1 : c0;
    c1 = c0 + 1 < n ? c0 + 1 : c0;
}

// The common resampler after the mapping: the bilinear sample of the
// capture at (sx, sy) in 1/256 steps, mixed into the pixel by the weight.
inline void resample_at(const OpState& st, uint8_t* p, int m, double sx, double sy, unsigned shade, bool outside)
{
    const Image* cap = st.capture;
    // A position no number can name (a mapping's overflow) leaves the pixel.
    if (std::isnan(sx) || std::isnan(sy) || !cap)
        return;
    const bool alpha_mode = st.alpha_mode;
    if (outside && !alpha_mode) {
        if (st.clear_outside)
            p[3] = 0;
        return;
    }
    sx = sx < -1e9 ? -1e9 : sx > 1e9 ? 1e9 : sx;
    sy = sy < -1e9 ? -1e9 : sy > 1e9 ? 1e9 : sy;
    long c0, c1, r0, r1;
    int qx, qy;
    taps(sx, st.capture_x, static_cast<long>(cap->width), c0, c1, qx);
    taps(sy, st.capture_y, cap->height, r0, r1, qy);
    const uint8_t* row0 = cap->pixels + 4 * static_cast<size_t>(cap->rows[r0]);
    uint8_t v[4];
    if (qx == 0 && qy == 0) {
        const uint8_t* a = row0 + 4 * c0;
        v[0] = a[0], v[1] = a[1], v[2] = a[2], v[3] = a[3];
    } else {
        const uint8_t* row1 = cap->pixels + 4 * static_cast<size_t>(cap->rows[r1]);
        // Σ w·c with w00 = (256 − qx)(256 − qy) and the others, gathered by
        // rows: the same integer in fewer products (and within 32 bits).
        const int ix = 256 - qx, iy = 256 - qy;
        const uint8_t *a = row0 + 4 * c0, *b = row0 + 4 * c1, *c = row1 + 4 * c0, *d = row1 + 4 * c1;
        for (int k = 0; k < 4; ++k) {
            const int top = ix * a[k] + qx * b[k], bottom = ix * c[k] + qx * d[k];
            v[k] = static_cast<uint8_t>(clamp_byte((iy * top + qy * bottom) / 65536));
        }
    }
    if (m == 255 && shade == 0 && !alpha_mode) {
        std::memcpy(p, v, 4);
        return;
    }
    int n[4];
    if (m == 255) {
        n[0] = v[0], n[1] = v[1], n[2] = v[2], n[3] = v[3];
    } else {
        for (int k = 0; k < 4; ++k)
            n[k] = (m * v[k] + (255 - m) * p[k]) / 255;
    }
    if (alpha_mode) {
        p[3] = static_cast<uint8_t>(n[3]);
    } else if (shade > 0) {
        for (int k = 0; k < 3; ++k)
            p[k] = static_cast<uint8_t>(clamp_byte(n[k] + static_cast<long>(n[k]) * shade / 255));
        p[3] = static_cast<uint8_t>(n[3]);
    } else {
        p[0] = static_cast<uint8_t>(n[0]), p[1] = static_cast<uint8_t>(n[1]);
        p[2] = static_cast<uint8_t>(n[2]), p[3] = static_cast<uint8_t>(n[3]);
    }
}

// Warp pixels: a displacement in 1/16 pixel, (byte0·256 + byte1) − 32768
// across and (byte2·256 + byte3) − 32768 down.
inline void warp_decode(const uint8_t* p, long& dx, long& dy)
{
    dx = (static_cast<long>(p[0]) << 8 | p[1]) - 32768;
    dy = (static_cast<long>(p[2]) << 8 | p[3]) - 32768;
}
inline void warp_encode(uint8_t* p, long dx, long dy)
{
    dx = (dx < -32768 ? -32768 : dx > 32767 ? 32767 : dx) + 32768;
    dy = (dy < -32768 ? -32768 : dy > 32767 ? 32767 : dy) + 32768;
    p[0] = static_cast<uint8_t>(dx >> 8), p[1] = static_cast<uint8_t>(dx);
    p[2] = static_cast<uint8_t>(dy >> 8), p[3] = static_cast<uint8_t>(dy);
}

// The warp layer's resampler: the pixel at (x, y) will show what the old
// field showed at (sx, sy), so its displacement becomes (sx − x, sy − y)
// plus the old displacement there (interpolated), mixed by the weight.
inline void warp_resample_at(const OpState& st, uint8_t* p, int x, int y, int m, double sx, double sy, bool outside)
{
    const Image* cap = st.capture;
    if (outside || !cap || !(sx > -1e9 && sx < 1e9 && sy > -1e9 && sy < 1e9))
        return;
    const double fx = std::floor(sx), fy = std::floor(sy);
    const double ax = sx - fx, ay = sy - fy;
    const long w = static_cast<long>(cap->width), h = cap->height;
    auto clampi = [](long v, long n) { return v < 0 ? 0 : v > n - 1 ? n - 1 : v; };
    const long c0 = clampi(static_cast<long>(fx) - st.capture_x, w), c1 = clampi(static_cast<long>(fx) + 1 - st.capture_x, w);
    const long r0 = clampi(static_cast<long>(fy) - st.capture_y, h), r1 = clampi(static_cast<long>(fy) + 1 - st.capture_y, h);
    long d[4][2];
    const long cols[4] = {c0, c1, c0, c1}, rows[4] = {r0, r0, r1, r1};
    for (int k = 0; k < 4; ++k)
        warp_decode(cap->pixels + 4 * (static_cast<size_t>(cap->rows[rows[k]]) + static_cast<size_t>(cols[k])), d[k][0],
                    d[k][1]);
    double nd[2];
    for (int c = 0; c < 2; ++c) {
        const double top = d[0][c] + (d[1][c] - d[0][c]) * ax, bottom = d[2][c] + (d[3][c] - d[2][c]) * ax;
        nd[c] = top + (bottom - top) * ay;
    }
    nd[0] += (sx - x) * 16.0;
    nd[1] += (sy - y) * 16.0;
    long ox, oy;
    warp_decode(p, ox, oy);
    const double mx = ox + (nd[0] - ox) * m / 255.0, my = oy + (nd[1] - oy) * m / 255.0;
    warp_encode(p, std::lround(std::fmax(-40000.0, std::fmin(40000.0, mx))),
                std::lround(std::fmax(-40000.0, std::fmin(40000.0, my))));
}

} // namespace geom_detail

// The common resampler with the mapping M inlined (one instance per
// operation, so that the per-pixel call is the applier's alone).
template <GeomMap M, bool Snap>
void geom_resample_with(uint8_t* p, int x, int y, int m)
{
    double sx, sy;
    unsigned shade = 0;
    const bool outside = M(x, y, sx, sy, shade);
    if constexpr (Snap) {
        sx = geom_detail::snap(sx);
        sy = geom_detail::snap(sy);
    }
    geom_detail::resample_at(*g_geom_state.op, p, m, sx, sy, shade, outside);
}

// The same for a mapping onto whole pixels: with both fractions 0 the four
// taps are one pixel of the capture, so it is read straight.
template <GeomIntMap M>
void geom_resample_int(uint8_t* p, int x, int y, int m)
{
    long sx, sy;
    M(x, y, sx, sy);
    const OpState& st = *g_geom_state.op;
    const Image* cap = st.capture;
    if (!cap)
        return;
    long c = sx - st.capture_x, r = sy - st.capture_y;
    const long w = static_cast<long>(cap->width), h = cap->height;
    c = c < 0 ? 0 : c > w - 1 ? w - 1 : c;
    r = r < 0 ? 0 : r > h - 1 ? h - 1 : r;
    const uint8_t* v = cap->pixels + 4 * (static_cast<size_t>(cap->rows[r]) + static_cast<size_t>(c));
    if (m == 255 && !st.alpha_mode) {
        std::memcpy(p, v, 4);
    } else if (st.alpha_mode) {
        p[3] = static_cast<uint8_t>((m * v[3] + (255 - m) * p[3]) / 255);
    } else {
        for (int k = 0; k < 4; ++k)
            p[k] = static_cast<uint8_t>((m * v[k] + (255 - m) * p[k]) / 255);
    }
}

template <GeomMap M, bool Snap>
void geom_warp_with(uint8_t* p, int x, int y, int m)
{
    double sx, sy;
    unsigned shade = 0;
    const bool outside = M(x, y, sx, sy, shade);
    if constexpr (Snap) {
        sx = geom_detail::snap(sx);
        sy = geom_detail::snap(sy);
    }
    geom_detail::warp_resample_at(*g_geom_state.op, p, x, y, m, sx, sy, outside);
}

// The descriptor's mapping: the same positions, the outside flag raised in
// op_state() as the contract of the common worker says.
template <GeomMap M, bool Snap>
void geom_mapping_of(int x, int y, double* sx, double* sy, unsigned* shade)
{
    *shade = 0;
    if (M(x, y, *sx, *sy, *shade))
        op_state().outside = true;
    if constexpr (Snap) {
        *sx = geom_detail::snap(*sx);
        *sy = geom_detail::snap(*sy);
    }
}

// The common resampler reading the published mapping (for operations that
// give a mapping of their own, plug-ins among them).
void geom_resample(uint8_t* p, int x, int y, int m);

// ---- the prepare hooks (mappings.cpp; the mappings are in mappings.h) --------
int dome_prepare(Image* target, int view_index);
int caricature_prepare(Image* target, int view_index);
int swirl_prepare(Image* target, int view_index);
int waves_prepare(Image* target, int view_index);
int radial_wave_prepare(Image* target, int view_index);
int turbulence_prepare(Image* target, int view_index);
int surface_warp_prepare(Image* target, int view_index);
int kaleidoscope_prepare(Image* target, int view_index);
int roll_prepare(Image* target, int view_index);
int shear_prepare(Image* target, int view_index);
int bend_prepare(Image* target, int view_index);
int area_prepare(Image* target, int view_index);  // Mirror, Polar/Rec, Wonk
int circe_prepare(Image* target, int view_index);
int melt_prepare(Image* target, int view_index);

// ---- the whole-image workers (whole.cpp) -----------------------------------
int flip_prepare(Image* target, int view_index);
int flip_worker(Image* target, uint8_t* mask);
int flip_warp(Image* target, uint8_t* mask);
int turn90_worker(Image* target, uint8_t* mask);
int turn90_warp(Image* target, uint8_t* mask);
int turn90_finish(Image* target, int view_index);
int rotate_prepare(Image* target, int view_index);
int rotate_worker(Image* target, uint8_t* mask);
int rotate_finish(Image* target, int view_index);
int perspective_prepare(Image* target, int view_index);
int perspective_worker(Image* target, uint8_t* mask);

// ---- noise (noise.cpp) ------------------------------------------------------
// A lattice permutation from a seed.
void noise_seed(uint8_t perm[512], uint32_t seed);
// Gradient noise in about −1..1 with its partial derivatives.
double noise2(const uint8_t perm[512], double x, double y, double* ddx, double* ddy);
// Smooth value noise in 0..1 along a line.
double noise1(const uint8_t perm[512], double x);
