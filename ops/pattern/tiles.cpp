// 3-D Net, Random Tile, Pixelize, Cellular and Lined: whole-image patterns
// over the area, blended by the mask weight, one progress step per row.
#include "core/image.h"
#include "ops/framework.h"
#include "ops/pattern/pattern.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

inline int mask_at(const Image* t, const uint8_t* mask, int x, int y)
{
    return mask[t->rows[y] + static_cast<uint32_t>(x)];
}

// The area's pixels as they were, for workers that move them about.
struct Snapshot {
    int x0 = 0, y0 = 0, w = 0, h = 0;
    std::vector<uint8_t> px;
    Snapshot() = default;
    Snapshot(Image* t, const gen::Area& a) { take(t, a); }
    void take(Image* t, const gen::Area& a)
    {
        x0 = a.x0, y0 = a.y0, w = a.width(), h = a.height();
        px.resize(static_cast<size_t>(w) * h * 4);
        for (int y = 0; y < h; ++y)
            std::copy_n(t->pixel(x0, y0 + y), static_cast<size_t>(w) * 4, px.data() + static_cast<size_t>(y) * w * 4);
    }
    const uint8_t* at(int x, int y) const
    {
        x = std::clamp(x, 0, w - 1);
        y = std::clamp(y, 0, h - 1);
        return px.data() + (static_cast<size_t>(y) * w + x) * 4;
    }
};

} // namespace

// ---- 3-D Net ---------------------------------------------------------------------

namespace {

struct NetView {
    double tilt_c, tilt_s, turn_c, turn_s;
    double cx, cy, hmin, focal, cell;
    double centre_y;  // where the view's centre meets the plane
    // The plane coordinates (in cells) under a pixel; false above the horizon.
    bool at(double x, double y, double* u, double* v, double* depth) const
    {
        const double sx = (x - cx) / hmin, sy = (y - cy) / hmin;
        const double ry = focal * tilt_s - sy * tilt_c, rz = -focal * tilt_c - sy * tilt_s;
        if (rz > -1e-4)
            return false;
        const double t = 1 / -rz;
        const double px = t * sx, py = t * ry - centre_y;
        *u = (px * turn_c - py * turn_s) / cell;
        *v = (px * turn_s + py * turn_c) / cell;
        *depth = t;
        return true;
    }
};

// How much of a pixel a line covers, from the distance to the nearest whole
// value of a coordinate and how fast the coordinate changes across pixels.
double line_cover(double u, double grad, double width)
{
    const double d = std::fabs(u - std::round(u));
    if (grad <= 1e-12)
        return d == 0 ? 1 : 0;
    const double sharp = gen::clamp01(width / 2 + 0.5 - d / grad);
    // Where lines crowd closer than a few pixels they blend into a tint.
    const double dense = std::min(1.0, width * grad);
    const double w = gen::smoothstep(0.2, 0.6, grad);
    return sharp + (dense - sharp) * w;
}

} // namespace

int net_worker(Image* target, uint8_t* mask)
{
    const PatternParams& pp = pattern_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    NetView nv{};
    const double tilt = std::clamp(pp.net_tilt, 0, 89) * kPi / 180, turn = pp.net_turn * kPi / 180;
    nv.tilt_c = std::cos(tilt), nv.tilt_s = std::sin(tilt);
    nv.turn_c = std::cos(turn), nv.turn_s = std::sin(turn);
    nv.cx = a.cx, nv.cy = a.cy, nv.hmin = a.hmin();
    nv.focal = 1.5;
    const double t0 = 1 / (nv.focal * nv.tilt_c);
    nv.centre_y = t0 * nv.focal * nv.tilt_s;
    nv.cell = 2 * t0 * (a.hw / a.hmin()) / std::max(1, pp.net_cells);
    const double width = std::max(1, pp.net_width);
    const double fade = std::clamp(pp.net_fade, 0, 100) / 100.0;
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_at(target, mask, x, y);
            if (!m)
                continue;
            double u, v, depth, ux, vx, dx, uy, vy, dy;
            if (!nv.at(x, y, &u, &v, &depth) || !nv.at(x + 1, y, &ux, &vx, &dx) || !nv.at(x, y + 1, &uy, &vy, &dy))
                continue;
            const double gu = std::hypot(ux - u, uy - u), gv = std::hypot(vx - v, vy - v);
            double cover = std::max(line_cover(u, gu, width), line_cover(v, gv, width));
            cover *= std::exp(-fade * std::max(0.0, depth / t0 - 1) * 0.8);
            if (cover <= 0)
                continue;
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            for (int k = 0; k < 3; ++k)
                c[k] = gen::clamp255(c[k] + (std::clamp(pp.net_rgb[k], 0, 255) - c[k]) * cover);
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}

// ---- Random Tile -----------------------------------------------------------------

int random_tile_worker(Image* target, uint8_t* mask)
{
    const PatternParams& pp = pattern_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const int tw = std::max(1, pp.tile_size[0]), th = std::max(1, pp.tile_size[1]);
    const int nx = (a.width() + tw - 1) / tw, ny = (a.height() + th - 1) / th;
    const uint64_t seed = static_cast<uint32_t>(pp.tile_seed);
    const double shift = std::clamp(pp.tile_shift, 0, 100) / 100.0;
    const int gap = std::clamp(pp.tile_gap, 0, std::min(tw, th));
    const int gap_lo = gap / 2, gap_hi = gap - gap_lo;
    // With shuffling every tile takes another's picture.
    std::vector<int> from(static_cast<size_t>(nx) * ny);
    for (size_t i = 0; i < from.size(); ++i)
        from[i] = static_cast<int>(i);
    if (pp.tile_shuffle) {
        gen::Rng rng(seed ^ 0xA5A5A5A5ull);
        for (size_t i = from.size(); i > 1; --i)
            std::swap(from[i - 1], from[static_cast<size_t>(rng.below(static_cast<int>(i)))]);
    }
    const Snapshot snap(target, a);
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        const int ty = (y - a.y0) / th, ly = (y - a.y0) % th;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_at(target, mask, x, y);
            if (!m)
                continue;
            const int tx = (x - a.x0) / tw, lx = (x - a.x0) % tw;
            uint8_t* p = target->pixel(x, y);
            if (lx < gap_lo || lx >= tw - gap_hi || ly < gap_lo || ly >= th - gap_hi) {
                gen::put(p, std::clamp(pp.tile_rgb[0], 0, 255), std::clamp(pp.tile_rgb[1], 0, 255),
                         std::clamp(pp.tile_rgb[2], 0, 255), m, alpha);
                continue;
            }
            const int k = from[static_cast<size_t>(ty) * nx + tx];
            const int sx = k % nx, sy = k / nx;
            const int ox = static_cast<int>(std::lround(shift * tw * (2 * gen::hash01(seed, tx, ty, 1) - 1)));
            const int oy = static_cast<int>(std::lround(shift * th * (2 * gen::hash01(seed, tx, ty, 2) - 1)));
            const uint8_t* s = snap.at(sx * tw + lx - ox, sy * th + ly - oy);
            int c[3];
            gen::take(s, alpha, c);
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}

// ---- Pixelize ---------------------------------------------------------------------

namespace {

// The first block edge at or before `from`, with edges at origin + k·size.
int block_start(int from, int origin, int size)
{
    int r = (from - origin) % size;
    if (r < 0)
        r += size;
    return from - r;
}

} // namespace

int pixelize_worker(Image* target, uint8_t* mask)
{
    const PatternParams& pp = pattern_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const int bw = std::max(1, pp.pix_size[0]), bh = std::max(1, pp.pix_size[1]);
    const int gap = std::max(0, pp.pix_gap);
    const double shade = 1 - std::clamp(pp.pix_shade, 0, 100) / 100.0;
    for (int by = block_start(a.y0, a.y0 + pp.pix_offset[1], bh); by <= a.y1; by += bh) {
        if (gen::progress(std::max(0, by - a.y0), a.height()))
            return 1;
        const int y0 = std::max(by, a.y0), y1 = std::min(by + bh - 1, a.y1);
        for (int bx = block_start(a.x0, a.x0 + pp.pix_offset[0], bw); bx <= a.x1; bx += bw) {
            const int x0 = std::max(bx, a.x0), x1 = std::min(bx + bw - 1, a.x1);
            // The mean of the block's part of the area, rounded.
            uint64_t sum[4] = {0, 0, 0, 0};
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) {
                    const uint8_t* p = target->pixel(x, y);
                    for (int c = 0; c < 4; ++c)
                        sum[c] += p[c];
                }
            const uint64_t n = static_cast<uint64_t>(x1 - x0 + 1) * static_cast<uint64_t>(y1 - y0 + 1);
            int mean[3];
            for (int c = 0; c < 3; ++c)
                mean[c] = static_cast<int>((sum[alpha ? 3 : c] + n / 2) / n);
            int grout[3];
            for (int c = 0; c < 3; ++c)
                grout[c] = gen::clamp255(mean[c] * shade);
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) {
                    const int m = mask_at(target, mask, x, y);
                    if (!m)
                        continue;
                    const bool in_gap = gap > 0 && (x - bx >= bw - gap || y - by >= bh - gap);
                    gen::put(target->pixel(x, y), in_gap ? grout : mean, m, alpha);
                }
        }
    }
    return 0;
}

// ---- Cellular ---------------------------------------------------------------------

int cellular_worker(Image* target, uint8_t* mask)
{
    const PatternParams& pp = pattern_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const double size = std::max(2, pp.cell_size);
    const double jitter = std::clamp(pp.cell_jitter, 0, 100) / 100.0;
    const double edge = std::max(0, pp.cell_edge);
    const uint64_t seed = static_cast<uint32_t>(pp.cell_seed);
    const int w = a.width(), h = a.height();
    const int fill = std::clamp(pp.cell_fill, 0, 2);

    // Cells are numbered over the squares the area touches (one more on each side).
    const int64_t i0 = static_cast<int64_t>(std::floor(a.x0 / size)) - 1;
    const int64_t j0 = static_cast<int64_t>(std::floor(a.y0 / size)) - 1;
    const int64_t ni = static_cast<int64_t>(std::floor(a.x1 / size)) + 2 - i0;
    const int64_t nj = static_cast<int64_t>(std::floor(a.y1 / size)) + 2 - j0;
    std::vector<gen::CellHit> hits(static_cast<size_t>(w) * h);
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress((y - a.y0) / 2, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x)
            hits[static_cast<size_t>(y - a.y0) * w + static_cast<size_t>(x - a.x0)] =
                gen::cells(seed, size, jitter, x + 0.5, y + 0.5);
    }
    auto cell_index = [&](const gen::CellHit& c) {
        const int64_t i = std::clamp<int64_t>(c.i1 - i0, 0, ni - 1), j = std::clamp<int64_t>(c.j1 - j0, 0, nj - 1);
        return static_cast<size_t>(j * ni + i);
    };
    std::vector<uint64_t> sums;
    if (fill == 0) {
        sums.assign(static_cast<size_t>(ni * nj) * 4, 0);
        for (int y = a.y0; y <= a.y1; ++y)
            for (int x = a.x0; x <= a.x1; ++x) {
                const size_t k = cell_index(hits[static_cast<size_t>(y - a.y0) * w + static_cast<size_t>(x - a.x0)]);
                int c[3];
                gen::take(target->pixel(x, y), alpha, c);
                sums[k * 4] += static_cast<uint64_t>(c[0]);
                sums[k * 4 + 1] += static_cast<uint64_t>(c[1]);
                sums[k * 4 + 2] += static_cast<uint64_t>(c[2]);
                sums[k * 4 + 3] += 1;
            }
    }
    // Fill 1 reads colours that others may already have changed: from a copy.
    Snapshot snap;
    if (fill == 1)
        snap.take(target, a);
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(a.height() / 2 + (y - a.y0) / 2, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_at(target, mask, x, y);
            if (!m)
                continue;
            const gen::CellHit& hit = hits[static_cast<size_t>(y - a.y0) * w + static_cast<size_t>(x - a.x0)];
            uint8_t* p = target->pixel(x, y);
            int c[3];
            if (fill == 0) {
                const size_t k = cell_index(hit);
                const uint64_t n = std::max<uint64_t>(1, sums[k * 4 + 3]);
                for (int i = 0; i < 3; ++i)
                    c[i] = static_cast<int>((sums[k * 4 + static_cast<size_t>(i)] + n / 2) / n);
            } else if (fill == 1) {
                const int px = static_cast<int>(std::floor(hit.px)) - a.x0, py = static_cast<int>(std::floor(hit.py)) - a.y0;
                gen::take(snap.at(px, py), alpha, c);
            } else {
                gen::take(p, alpha, c);
                const double f = std::clamp(1.25 - 0.75 * hit.d1 / size, 0.45, 1.25);
                for (int i = 0; i < 3; ++i)
                    c[i] = gen::clamp255(c[i] * f);
            }
            if (edge > 0) {
                const double cover = gen::clamp01(edge / 2 + 0.5 - hit.edge);
                for (int i = 0; i < 3; ++i)
                    c[i] = gen::clamp255(c[i] + (std::clamp(pp.cell_rgb[i], 0, 255) - c[i]) * cover);
            }
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}

// ---- Lined ---------------------------------------------------------------------------

int lined_worker(Image* target, uint8_t* mask)
{
    const PatternParams& pp = pattern_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const double spacing = std::max(2, pp.line_spacing);
    const double ang = pp.line_angle * kPi / 180, ca = std::cos(ang), sa = std::sin(ang);
    const double thick = std::clamp(pp.line_thickness, 0, 200) / 100.0;
    const double wave = std::clamp(pp.line_wave, 0, 100) / 100.0 * 0.5;
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_at(target, mask, x, y);
            if (!m)
                continue;
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            const double along = x * ca + y * sa;
            const double s = (y * ca - x * sa) / spacing + wave * std::sin(2 * kPi * along / (spacing * 8));
            const double d = std::fabs(s - std::round(s)) * spacing;
            const double dark = 1 - gen::luma(c[0], c[1], c[2]) / 255.0;
            // At full thickness black lines meet: no paper shows between them.
            const double half = dark * thick * (spacing + 1) / 2;
            const double cover = half > 0 ? gen::clamp01(half + 0.5 - d) * std::min(1.0, half * 2) : 0;
            for (int k = 0; k < 3; ++k) {
                const double base = pp.line_paper ? 255 : c[k];
                c[k] = gen::clamp255(base + (std::clamp(pp.line_rgb[k], 0, 255) - base) * cover);
            }
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}
