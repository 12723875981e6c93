// Stroke: the brush stamped along the selection's edge, each stamp placed,
// tinted, mirrored, turned, sized, shadowed and bulged by the settings.
#include "core/image.h"
#include "ops/collage/canvas.h"
#include "ops/collage/collage.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace {

// A stamp position found on the edge, in the order of the scan.
struct Centre {
    long x, y;
    long order = 0;    // place along the stroke
    double dir = 0;    // the stroke's direction there, degrees counter-clockwise
};

// How one stamp is put.
struct Look {
    double cx, cy;     // centre in the image (pixel centres at +0.5)
    double scale = 1, angle = 0;
    bool fx = false, fy = false;
    int weight = 255;  // opacity 1..255
    long ix, iy;       // top left when the stamp is the brush as it is
    bool plain = true; // no turn, size or bulge: pixels copied whole
};

// The bulge: in the stamp's own coordinates (-1..1 over its half sides,
// before turning) a point at radius r, measured from the centre c, shows
// the brush at c + d * (1 + a * (g - 1)) with g = (1 + k1 r^2 + k2 r^4) / n,
// n = max(0.1, 1 + k1 + k2), so that the rim on the axes stays put.
struct Barrel {
    double k1 = 0, k2 = 0, n = 1, cx = 0, cy = 0, ax = 1, ay = 1, shade = 0;
    bool active() const { return (k1 != 0 || k2 != 0) && (ax != 0 || ay != 0); }
    bool any() const { return active() || shade != 0; }
};

// Deterministic numbers from (seed, stamp, what): the same settings give the
// same stroke, and a setting that draws no numbers moves none of the others.
double unit(uint32_t seed, long stamp, int what)
{
    uint64_t z = (static_cast<uint64_t>(seed) << 32) ^ (static_cast<uint64_t>(stamp) * 8 + static_cast<uint64_t>(what));
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0;  // [0, 1)
}
double signed_unit(uint32_t seed, long stamp, int what)
{
    return 2 * unit(seed, stamp, what) - 1;
}

// The brush pixel at continuous (u, v), bilinear over premultiplied colour;
// outside the brush is transparent.
void sample(const canvas::Pixels& b, double u, double v, double out[4])
{
    const double fx = u - 0.5, fy = v - 0.5;
    const long x0 = static_cast<long>(std::floor(fx)), y0 = static_cast<long>(std::floor(fy));
    const double ax = fx - x0, ay = fy - y0;
    double acc[4] = {0, 0, 0, 0};
    for (int j = 0; j < 2; ++j) {
        const long y = y0 + j;
        const double wy = j ? ay : 1 - ay;
        if (y < 0 || y >= b.height || wy == 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            const long x = x0 + i;
            const double w = (i ? ax : 1 - ax) * wy;
            if (x < 0 || x >= b.width || w == 0)
                continue;
            const uint8_t* p = b.at(x, y);
            const double wa = w * p[3];
            for (int k = 0; k < 3; ++k)
                acc[k] += wa * p[k];
            acc[3] += wa;
        }
    }
    out[3] = acc[3];
    for (int k = 0; k < 3; ++k)
        out[k] = acc[3] > 0 ? acc[k] / acc[3] : 0;
}

// The stamp's pixels over the image rectangle x0..x0+w-1, y0..y0+h-1.
void render(const canvas::Pixels& b, const Look& look, const Barrel& barrel, long x0, long y0, long w, long h,
            std::vector<uint8_t>& out)
{
    out.assign(4 * static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    if (look.plain) {
        for (long y = 0; y < h; ++y) {
            long by = y0 + y - look.iy;
            if (by < 0 || by >= b.height)
                continue;
            if (look.fy)
                by = b.height - 1 - by;
            for (long x = 0; x < w; ++x) {
                long bx = x0 + x - look.ix;
                if (bx < 0 || bx >= b.width)
                    continue;
                if (look.fx)
                    bx = b.width - 1 - bx;
                std::copy_n(b.at(bx, by), 4, &out[4 * (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x))]);
            }
        }
        return;
    }
    const double rad = look.angle * M_PI / 180, c = std::cos(rad), s = std::sin(rad);
    const double hw = b.width / 2.0, hh = b.height / 2.0;
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const double dx = x0 + x + 0.5 - look.cx, dy = y0 + y + 0.5 - look.cy;
            // Back through the turn (counter-clockwise on the screen, y down) and the size.
            double ux = (dx * c - dy * s) / look.scale, uy = (dx * s + dy * c) / look.scale;
            if (std::fabs(ux) > hw || std::fabs(uy) > hh)
                continue;  // the stamp keeps its frame
            double shade = 1;
            if (barrel.any()) {
                const double p = ux / hw - barrel.cx, q = uy / hh - barrel.cy, r2 = p * p + q * q;
                const double g = (1 + barrel.k1 * r2 + barrel.k2 * r2 * r2) / barrel.n;
                ux = (barrel.cx + p * (1 + barrel.ax * (g - 1))) * hw;
                uy = (barrel.cy + q * (1 + barrel.ay * (g - 1))) * hh;
                shade = std::max(0.0, 1 - barrel.shade * r2);
            }
            if (look.fx)
                ux = -ux;
            if (look.fy)
                uy = -uy;
            double v[4];
            sample(b, hw + ux, hh + uy, v);
            uint8_t* o = &out[4 * (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x))];
            for (int k = 0; k < 3; ++k)
                o[k] = canvas::clamp8(v[k] * shade);
            o[3] = canvas::clamp8(v[3]);
        }
}

// The image rectangle the stamp covers, clipped to the image; false when empty.
bool extent(const canvas::Pixels& b, const Look& look, long iw, long ih, long grow, long dx, long dy, long r[4])
{
    double x0, y0, x1, y1;
    if (look.plain) {
        x0 = static_cast<double>(look.ix), y0 = static_cast<double>(look.iy);
        x1 = x0 + static_cast<double>(b.width), y1 = y0 + static_cast<double>(b.height);
    } else {
        const double rad = look.angle * M_PI / 180, c = std::fabs(std::cos(rad)), s = std::fabs(std::sin(rad));
        const double ex = look.scale * (b.width / 2.0 * c + b.height / 2.0 * s) + 1;
        const double ey = look.scale * (b.width / 2.0 * s + b.height / 2.0 * c) + 1;
        x0 = look.cx - ex, x1 = look.cx + ex, y0 = look.cy - ey, y1 = look.cy + ey;
    }
    const double lim = 4.0 * canvas::kMaxSide;  // far beyond any image: keeps the casts defined
    auto cut = [&](double v) { return std::clamp(v, -lim, lim); };
    r[0] = std::max(0L, static_cast<long>(std::floor(cut(x0 + static_cast<double>(dx)))) - grow);
    r[1] = std::max(0L, static_cast<long>(std::floor(cut(y0 + static_cast<double>(dy)))) - grow);
    r[2] = std::min(iw, static_cast<long>(std::ceil(cut(x1 + static_cast<double>(dx)))) + grow);
    r[3] = std::min(ih, static_cast<long>(std::ceil(cut(y1 + static_cast<double>(dy)))) + grow);
    return r[0] < r[2] && r[1] < r[3];
}

// Two passes of a box blur of radius r over an alpha plane (w x h), zero outside.
void soften(std::vector<float>& a, long w, long h, long r)
{
    if (r <= 0)
        return;
    std::vector<float> tmp(a.size());
    const float norm = 1.0f / static_cast<float>(2 * r + 1);
    auto pass = [&](std::vector<float>& in, std::vector<float>& out, long n, long lines, long step, long line_step) {
        for (long l = 0; l < lines; ++l) {
            const size_t base = static_cast<size_t>(l * line_step);
            float sum = 0;
            for (long i = 0; i <= std::min(r, n - 1); ++i)
                sum += in[base + static_cast<size_t>(i * step)];
            for (long i = 0; i < n; ++i) {
                out[base + static_cast<size_t>(i * step)] = sum * norm;
                if (i + r + 1 < n)
                    sum += in[base + static_cast<size_t>((i + r + 1) * step)];
                if (i - r >= 0)
                    sum -= in[base + static_cast<size_t>((i - r) * step)];
            }
        }
    };
    for (int k = 0; k < 2; ++k) {
        pass(a, tmp, w, h, 1, w);
        pass(tmp, a, h, w, w, 1);
    }
}

// Puts the stroke in order: from the first centre of the scan to the nearest
// one not yet visited within two cells, a new stretch where none is; each
// centre learns its place and the direction of the stroke there.
void follow_path(std::vector<Centre>& cs, const std::unordered_map<uint64_t, long>& cell_index, long spacing, long cols)
{
    const long n = static_cast<long>(cs.size());
    std::vector<char> seen(static_cast<size_t>(n), 0);
    std::vector<long> seq;
    std::vector<char> fresh;  // a stretch starts here
    seq.reserve(static_cast<size_t>(n));
    long next_unseen = 0;
    long cur = 0;
    bool start = true;
    while (static_cast<long>(seq.size()) < n) {
        seen[static_cast<size_t>(cur)] = 1;
        seq.push_back(cur);
        fresh.push_back(start ? 1 : 0);
        const long gx = cs[static_cast<size_t>(cur)].x / spacing, gy = cs[static_cast<size_t>(cur)].y / spacing;
        long best = -1;
        double best_d = 0;
        for (long yy = gy - 2; yy <= gy + 2; ++yy)
            for (long xx = gx - 2; xx <= gx + 2; ++xx) {
                if (yy < 0 || xx < 0 || xx >= cols)
                    continue;
                auto it = cell_index.find(static_cast<uint64_t>(yy) * static_cast<uint64_t>(cols) + static_cast<uint64_t>(xx));
                if (it == cell_index.end() || seen[static_cast<size_t>(it->second)])
                    continue;
                const Centre& o = cs[static_cast<size_t>(it->second)];
                const double d = std::hypot(static_cast<double>(o.x - cs[static_cast<size_t>(cur)].x),
                                            static_cast<double>(o.y - cs[static_cast<size_t>(cur)].y));
                if (best < 0 || d < best_d || (d == best_d && it->second < best))
                    best = it->second, best_d = d;
            }
        start = best < 0;
        if (best < 0) {
            while (next_unseen < n && seen[static_cast<size_t>(next_unseen)])
                ++next_unseen;
            if (next_unseen >= n)
                break;
            best = next_unseen;
        }
        cur = best;
    }
    const long m = static_cast<long>(seq.size());
    for (long k = 0; k < m; ++k) {
        Centre& c = cs[static_cast<size_t>(seq[static_cast<size_t>(k)])];
        c.order = k;
        const Centre& prev = !fresh[static_cast<size_t>(k)] ? cs[static_cast<size_t>(seq[static_cast<size_t>(k - 1)])] : c;
        const Centre& next = k + 1 < m && !fresh[static_cast<size_t>(k + 1)] ? cs[static_cast<size_t>(seq[static_cast<size_t>(k + 1)])] : c;
        const double dx = static_cast<double>(next.x - prev.x), dy = static_cast<double>(next.y - prev.y);
        c.dir = dx == 0 && dy == 0 ? 0 : std::atan2(-dy, dx) * 180 / M_PI;
    }
}

// Tint and alpha threshold, the same for every stamp: done once on the copy.
void prepare_brush(canvas::Pixels& b, const CollageParams& p)
{
    const double amount = p.st_tint_amount / 100.0;
    const int tint[3] = {(p.st_tint >> 16) & 255, (p.st_tint >> 8) & 255, p.st_tint & 255};
    if (amount <= 0 && p.st_threshold <= 0)
        return;
    for (size_t i = 0; i + 3 < b.bytes.size(); i += 4) {
        uint8_t* px = &b.bytes[i];
        if (px[3] < p.st_threshold)
            px[3] = 0;
        if (amount > 0) {
            const int l = canvas::luma(px);
            for (int k = 0; k < 3; ++k)
                px[k] = canvas::clamp8(px[k] + amount * (tint[k] * l / 255.0 - px[k]));
        }
    }
}

} // namespace

int stroke_worker(Image* t, uint8_t* mask)
{
    const resample::Block b = canvas::brush();
    if (!b.pixels)
        return 1;
    const CollageParams& p = collage_params();
    // The brush goes on a copy: the brush may be the target itself.
    canvas::Pixels brush;
    if (!canvas::copy(b, brush))
        return 1;
    prepare_brush(brush, p);

    const long w = t->width, h = t->height;
    // Stamps apart by the spacing share of the brush's smaller side at the
    // stroke's mean size (a quarter at the start: 25 %, 100 %).
    const long side = std::min(b.width, b.height);
    const long long mean2 = static_cast<long long>(p.st_scale[0]) + p.st_scale[1];
    const long spacing = static_cast<long>(std::clamp<long long>(side * p.st_spacing * mean2 / 20000, 1, 1L << 30));

    // The brush goes on the edge: where a selected pixel (weight of at least
    // half) meets one that is not, or the image's border; one stamp per cell
    // of a grid `spacing` wide keeps the stamps apart.
    auto inside = [&](long x, long y) {
        return x >= 0 && y >= 0 && x < w && y < h && mask[static_cast<size_t>(t->rows[y]) + static_cast<size_t>(x)] >= 128;
    };
    const long cols = (w + spacing - 1) / spacing;
    std::unordered_map<uint64_t, long> cell_index;
    std::vector<Centre> centres;
    const gen::Area a = gen::area();
    for (long y = std::max(0, a.y0); y <= std::min<long>(h - 1, a.y1); ++y)
        for (long x = std::max(0, a.x0); x <= std::min<long>(w - 1, a.x1); ++x) {
            if (!inside(x, y))
                continue;
            if (inside(x - 1, y) && inside(x + 1, y) && inside(x, y - 1) && inside(x, y + 1))
                continue;
            const uint64_t cell = static_cast<uint64_t>(y / spacing) * static_cast<uint64_t>(cols) + static_cast<uint64_t>(x / spacing);
            if (!cell_index.emplace(cell, static_cast<long>(centres.size())).second)
                continue;
            centres.push_back({x, y});
        }
    if (centres.empty())
        return 0;
    follow_path(centres, cell_index, spacing, cols);
    cell_index.clear();

    Barrel barrel;
    barrel.k1 = p.st_barrel[0] / 100.0;
    barrel.k2 = p.st_barrel[1] / 100.0;
    barrel.n = std::max(0.1, 1 + barrel.k1 + barrel.k2);
    barrel.cx = p.st_barrel_centre[0] / 100.0;
    barrel.cy = p.st_barrel_centre[1] / 100.0;
    barrel.ax = p.st_barrel_axis[0] / 100.0;
    barrel.ay = p.st_barrel_axis[1] / 100.0;
    barrel.shade = p.st_barrel_shade / 100.0;
    if (!barrel.active())
        barrel.k1 = barrel.k2 = 0, barrel.n = 1;

    // Every stamp's look, drawn from the settings and the seeded numbers.
    const long n = static_cast<long>(centres.size());
    const uint32_t seed = static_cast<uint32_t>(p.st_seed);
    const double smin = std::min(p.st_scale_min, p.st_scale_max) / 100.0;
    const double smax = std::max(p.st_scale_min, p.st_scale_max) / 100.0;
    const long every = std::max(1, p.st_every);
    std::vector<Look> looks;
    looks.reserve(static_cast<size_t>(n));
    for (const Centre& c : centres) {
        const long k = c.order;
        const double u = n > 1 ? static_cast<double>(k) / static_cast<double>(n - 1) : 0;
        if (k % every != 0)
            continue;
        const int weight = static_cast<int>(std::lround(255 * p.st_opacity / 100.0 * (1 - p.st_fade / 100.0 * u)));
        if (weight <= 0)
            continue;
        Look L;
        L.weight = std::min(weight, 255);
        double scale = (p.st_scale[0] + (p.st_scale[1] - p.st_scale[0]) * u) / 100.0;
        scale *= 1 + p.st_scale_jitter / 100.0 * signed_unit(seed, k, 0);
        L.scale = std::clamp(scale, smin, smax);
        double angle = p.st_angle[0] + (p.st_angle[1] - p.st_angle[0]) * u + static_cast<double>(p.st_spin) * static_cast<double>(k);
        if (p.st_follow)
            angle += c.dir;
        angle += p.st_angle_jitter * signed_unit(seed, k, 1);
        L.angle = std::fmod(angle, 360.0);
        const bool odd = k % 2 == 1;
        L.fx = (p.st_flip[0] != 0) ^ (odd && (p.st_alternate & 1)) ^ (unit(seed, k, 2) * 100 < p.st_random_flip);
        L.fy = (p.st_flip[1] != 0) ^ (odd && (p.st_alternate & 2)) ^ (unit(seed, k, 3) * 100 < p.st_random_flip);
        const long jx = std::lround(p.st_jitter[0] / 100.0 * static_cast<double>(b.width) * signed_unit(seed, k, 4));
        const long jy = std::lround(p.st_jitter[1] / 100.0 * static_cast<double>(b.height) * signed_unit(seed, k, 5));
        L.ix = c.x - b.width / 2 + p.st_offset[0] + jx;
        L.iy = c.y - b.height / 2 + p.st_offset[1] + jy;
        L.cx = static_cast<double>(L.ix) + b.width / 2.0;
        L.cy = static_cast<double>(L.iy) + b.height / 2.0;
        L.plain = L.scale == 1 && L.angle == 0 && !barrel.any();
        looks.push_back(L);
    }

    const bool alpha = canvas::alpha_mode();
    const bool shadows = p.st_shadow_opacity > 0;
    const long total = static_cast<long>(looks.size()) * (shadows ? 2 : 1);
    long done = 0;
    std::vector<uint8_t> px;
    // The shadows first, all of them under all the stamps.
    if (shadows) {
        const long soft = p.st_shadow_soft, grow = 2 * soft;
        const uint8_t colour[3] = {static_cast<uint8_t>((p.st_shadow_colour >> 16) & 255),
                                   static_cast<uint8_t>((p.st_shadow_colour >> 8) & 255),
                                   static_cast<uint8_t>(p.st_shadow_colour & 255)};
        const double opacity = p.st_shadow_opacity / 100.0;
        std::vector<float> plane;
        for (const Look& L : looks) {
            if (canvas::cancelled(done++, total))
                return 1;
            long r[4];
            if (!extent(brush, L, w, h, grow, p.st_shadow[0], p.st_shadow[1], r))
                continue;
            // The stamp's alpha under the shadow's rectangle, and as far again
            // as the blur reaches.
            const long qx = r[0] - p.st_shadow[0] - grow, qy = r[1] - p.st_shadow[1] - grow;
            const long qw = r[2] - r[0] + 2 * grow, qh = r[3] - r[1] + 2 * grow;
            render(brush, L, barrel, qx, qy, qw, qh, px);
            plane.resize(static_cast<size_t>(qw) * static_cast<size_t>(qh));
            for (size_t i = 0; i < plane.size(); ++i)
                plane[i] = px[4 * i + 3];
            soften(plane, qw, qh, soft);
            for (long y = r[1]; y < r[3]; ++y)
                for (long x = r[0]; x < r[2]; ++x) {
                    const float v = plane[static_cast<size_t>(y - r[1] + grow) * static_cast<size_t>(qw) + static_cast<size_t>(x - r[0] + grow)];
                    const uint8_t ink[4] = {colour[0], colour[1], colour[2], canvas::clamp8(v * opacity)};
                    canvas::put_over(t->pixel(static_cast<int>(x), static_cast<int>(y)), ink, L.weight, alpha);
                }
        }
    }
    for (const Look& L : looks) {
        if (canvas::cancelled(done++, total))
            return 1;
        long r[4];
        if (!extent(brush, L, w, h, 0, 0, 0, r))
            continue;
        const long rw = r[2] - r[0];
        render(brush, L, barrel, r[0], r[1], rw, r[3] - r[1], px);
        for (long y = r[1]; y < r[3]; ++y)
            for (long x = r[0]; x < r[2]; ++x)
                canvas::put_over(t->pixel(static_cast<int>(x), static_cast<int>(y)),
                                 &px[4 * (static_cast<size_t>(y - r[1]) * static_cast<size_t>(rw) + static_cast<size_t>(x - r[0]))],
                                 L.weight, alpha);
    }
    return 0;
}
