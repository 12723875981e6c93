// The collage operations that bring the source into the target: Transition,
// Tiler, Merge, Key In, Place and DOF (whose source is a depth map).
#include "core/image.h"
#include "ops/collage/canvas.h"
#include "ops/collage/collage.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

CollageParams& P()
{
    return g_collage_params;
}

uint8_t* mask_at(Image* t, uint8_t* mask, long x, long y)
{
    return mask + t->rows[y] + x;
}

// Blend modes of Merge on one channel (a the image, b the source).
int blend(int mode, int a, int b)
{
    switch (mode) {
    case 1: return a * b / 255;
    case 2: return 255 - (255 - a) * (255 - b) / 255;
    case 3: return std::min(a, b);
    case 4: return std::max(a, b);
    case 5: return std::abs(a - b);
    case 6: return std::min(255, a + b);
    case 7: return a < 128 ? 2 * a * b / 255 : 255 - 2 * (255 - a) * (255 - b) / 255;
    default: return b;
    }
}

} // namespace

// ---- Transition ----------------------------------------------------------------

int transition_worker(Image* t, uint8_t* mask)
{
    const CollageParams& p = P();
    const gen::Area a = gen::area();
    canvas::Pixels src;
    if (!canvas::stretched(canvas::source(), a.width(), a.height(), src))
        return 1;
    const double amount = std::clamp(p.tr_amount, 0, 100) / 100.0;
    const double soft = std::max(1e-3, std::clamp(p.tr_soft, 0, 100) / 100.0);
    const bool alpha = canvas::alpha_mode();
    const uint64_t seed = static_cast<uint64_t>(p.tr_seed);
    const double diag = std::hypot(a.hw, a.hh);
    for (int y = a.y0; y <= a.y1; ++y) {
        if (canvas::cancelled(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = *mask_at(t, mask, x, y);
            if (!m)
                continue;
            // Each pixel's place in the transition, 0 (first to change) .. 1.
            const double u = (x - a.x0 + 0.5) / a.width(), v = (y - a.y0 + 0.5) / a.height();
            double order;
            switch (p.tr_type) {
            case 1: order = u; break;
            case 2: order = v; break;
            case 3: order = std::hypot(x + 0.5 - (a.x0 + a.hw), y + 0.5 - (a.y0 + a.hh)) / diag; break;
            case 4: order = gen::hash01(seed, x / 4, y / 4); break;
            case 5: order = std::fmod(v * 8, 1.0); break;
            default: order = -1; break;
            }
            if (p.tr_reverse && order >= 0)
                order = 1 - order;
            double w;
            if (order < 0) {
                w = amount;  // dissolve: everywhere at once
            } else {
                // The front moves from -soft to 1 so that 0 and 100 % are pure.
                const double front = amount * (1 + soft) - soft;
                w = gen::clamp01((front + soft - order) / soft);
            }
            const int wm = static_cast<int>(w * m + 0.5);
            canvas::put_rgba(t->pixel(x, y), src.at(x - a.x0, y - a.y0), wm, alpha);
        }
    }
    return 0;
}

// ---- Tiler -----------------------------------------------------------------------

int tiler_worker(Image* t, uint8_t* mask)
{
    const CollageParams& p = P();
    const gen::Area a = gen::area();
    const long cols = std::max(1, p.tile_cols), rows = std::max(1, p.tile_rows);
    const long gap = std::max(0, p.tile_gap);
    // Tile size without the gaps; at least one pixel.
    const long tw = std::max(1L, (a.width() - gap * (cols - 1)) / cols);
    const long th = std::max(1L, (a.height() - gap * (rows - 1)) / rows);
    canvas::Pixels tile;
    if (!canvas::stretched(canvas::source(), tw, th, tile))
        return 1;
    const bool alpha = canvas::alpha_mode();
    const uint64_t seed = static_cast<uint64_t>(p.tile_seed);
    const double jitter = std::clamp(p.tile_jitter, 0, 100) / 100.0;
    const long pitch_x = tw + gap, pitch_y = th + gap;
    for (int y = a.y0; y <= a.y1; ++y) {
        if (canvas::cancelled(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = *mask_at(t, mask, x, y);
            if (!m)
                continue;
            long lx = x - a.x0, ly = y - a.y0;
            long row = ly / pitch_y;
            if (p.tile_layout == 1 && (row & 1))
                lx += pitch_x / 2;  // brick: every second row half a tile along
            long col = lx / pitch_x;
            long ix = lx % pitch_x, iy = ly % pitch_y;
            if (p.tile_layout == 2) {
                // Random: each tile slid by its own offset and drawn from a
                // shuffled place, so no two neighbours line up.
                const long dx = static_cast<long>((gen::hash01(seed, col, row, 1) - 0.5) * jitter * tw);
                const long dy = static_cast<long>((gen::hash01(seed, col, row, 2) - 0.5) * jitter * th);
                ix = ((ix + dx) % pitch_x + pitch_x) % pitch_x;
                iy = ((iy + dy) % pitch_y + pitch_y) % pitch_y;
            }
            if (ix >= tw || iy >= th)
                continue;  // the gap: the image shows
            bool flip_x = false, flip_y = false;
            if (p.tile_mirror) {
                flip_x = (col & 1) != 0;
                flip_y = (row & 1) != 0;
            }
            if (p.tile_layout == 2) {
                flip_x ^= gen::hash01(seed, col, row, 3) < 0.5;
                flip_y ^= gen::hash01(seed, col, row, 4) < 0.5;
            }
            if (flip_x)
                ix = tw - 1 - ix;
            if (flip_y)
                iy = th - 1 - iy;
            canvas::put_over(t->pixel(x, y), tile.at(ix, iy), m, alpha);
        }
    }
    return 0;
}

// ---- Merge -------------------------------------------------------------------------

int merge_worker(Image* t, uint8_t* mask)
{
    const CollageParams& p = P();
    const gen::Area a = gen::area();
    canvas::Pixels src;
    if (!canvas::stretched(canvas::source(), t->width, t->height, src))
        return 1;
    const int amount = std::clamp(p.merge_amount, 0, 100);
    const bool alpha = canvas::alpha_mode();
    for (int y = a.y0; y <= a.y1; ++y) {
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = *mask_at(t, mask, x, y);
            if (!m)
                continue;
            uint8_t* px = t->pixel(x, y);
            const uint8_t* s = src.at(x, y);
            uint8_t n[4];
            for (int k = 0; k < 3; ++k)
                n[k] = static_cast<uint8_t>(blend(p.merge_mode, px[k], s[k]));
            n[3] = px[3];
            int w = m * amount / 100;
            if (p.merge_alpha)
                w = w * s[3] / 255;
            canvas::put(px, n, w, alpha);
        }
    }
    return 0;
}

// ---- Key In --------------------------------------------------------------------------

int keyin_worker(Image* t, uint8_t* mask)
{
    const CollageParams& p = P();
    const gen::Area a = gen::area();
    canvas::Pixels src;
    if (!canvas::copy(canvas::source(), src))
        return 1;
    const double tol = std::max(0, p.key_tol), soft = std::max(0, p.key_soft);
    const int kr = std::clamp(p.key_rgb[0], 0, 255), kg = std::clamp(p.key_rgb[1], 0, 255),
              kb = std::clamp(p.key_rgb[2], 0, 255);
    const bool alpha = canvas::alpha_mode();
    const double key_hue = std::atan2(std::sqrt(3.0) * (kg - kb), 2.0 * kr - kg - kb);
    for (int y = a.y0; y <= a.y1; ++y) {
        const long sy = y - p.key_dy;
        if (sy < 0 || sy >= src.height)
            continue;
        for (int x = a.x0; x <= a.x1; ++x) {
            const long sx = x - p.key_dx;
            const int m = *mask_at(t, mask, x, y);
            if (!m || sx < 0 || sx >= src.width)
                continue;
            uint8_t* px = t->pixel(x, y);
            double d;
            if (p.key_space == 1) {
                // Hue distance in degrees; greys are far from every hue.
                const int r = px[0], g = px[1], b = px[2];
                const double chroma = std::hypot(2.0 * r - g - b, std::sqrt(3.0) * (g - b)) / 2;
                double dh = std::fabs(std::atan2(std::sqrt(3.0) * (g - b), 2.0 * r - g - b) - key_hue) * 180 / M_PI;
                if (dh > 180)
                    dh = 360 - dh;
                d = chroma < 8 ? 1e9 : dh;
            } else {
                d = std::sqrt(static_cast<double>((px[0] - kr) * (px[0] - kr) + (px[1] - kg) * (px[1] - kg) +
                                                  (px[2] - kb) * (px[2] - kb)));
            }
            // 1 on the key, falling to 0 across the softness beyond the tolerance.
            double k = d <= tol ? 1 : soft > 0 ? gen::clamp01(1 - (d - tol) / soft) : 0;
            if (p.key_invert)
                k = 1 - k;
            const int w = static_cast<int>(k * m + 0.5);
            canvas::put_over(px, src.at(sx, sy), w, alpha);
        }
    }
    return 0;
}

// ---- Place -----------------------------------------------------------------------------

int place_worker(Image* t, uint8_t* mask)
{
    const gen::Area a = gen::area();
    const resample::Block s = canvas::source();
    if (!s.pixels)
        return 1;
    long w = a.width(), h = a.height();
    const int fit = std::clamp(P().place_fit, 0, 2);
    if (fit == 1) {
        const double k = std::min(static_cast<double>(w) / s.width, static_cast<double>(h) / s.height);
        w = std::max(1L, std::lround(s.width * k));
        h = std::max(1L, std::lround(s.height * k));
    } else if (fit == 2) {
        w = s.width;
        h = s.height;
    }
    canvas::Pixels src;
    if (!canvas::stretched(s, w, h, src))
        return 1;
    const long ox = a.x0 + (a.width() - w) / 2, oy = a.y0 + (a.height() - h) / 2;
    const bool alpha = canvas::alpha_mode();
    for (long y = std::max<long>(a.y0, oy); y <= std::min<long>(a.y1, oy + h - 1); ++y)
        for (long x = std::max<long>(a.x0, ox); x <= std::min<long>(a.x1, ox + w - 1); ++x) {
            const int m = *mask_at(t, mask, x, y);
            if (m)
                canvas::put_over(t->pixel(static_cast<int>(x), static_cast<int>(y)), src.at(x - ox, y - oy), m, alpha);
        }
    return 0;
}

// ---- DOF ---------------------------------------------------------------------------------

int dof_worker(Image* t, uint8_t* mask)
{
    const gen::Area a = gen::area();
    canvas::Pixels depth;
    if (!canvas::stretched(canvas::source(), t->width, t->height, depth))
        return 1;
    canvas::BoxSums sums;
    if (!sums.build(t->pixels, t->width, t->height, t->width))
        return 1;
    // In focus: the depth under the middle of the area.
    const int focus = canvas::luma(depth.at(static_cast<long>(a.cx), static_cast<long>(a.cy)));
    const double radius = std::clamp(P().dof_radius, 0, 200);
    const bool alpha = canvas::alpha_mode();
    for (int y = a.y0; y <= a.y1; ++y) {
        if (canvas::cancelled(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = *mask_at(t, mask, x, y);
            if (!m)
                continue;
            const long r = std::lround(radius * std::abs(canvas::luma(depth.at(x, y)) - focus) / 255.0);
            if (r <= 0)
                continue;
            uint32_t s[4];
            long n;
            sums.box(x - r, y - r, x + r, y + r, s, &n);
            const uint8_t out[4] = {static_cast<uint8_t>((s[0] + n / 2) / n), static_cast<uint8_t>((s[1] + n / 2) / n),
                                    static_cast<uint8_t>((s[2] + n / 2) / n), static_cast<uint8_t>((s[3] + n / 2) / n)};
            canvas::put_rgba(t->pixel(x, y), out, m, alpha);
        }
    }
    return 0;
}
