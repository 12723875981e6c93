// Filters that reshape the tones: Relief, Dither, Elevations, Enhance,
// Sharpen, Truncate, NLog and Contour.
#include "core/image.h"
#include "core/mem.h"
#include "core/messages.h"
#include "ops/filter/filter_internal.h"
#include "ops/framework.h"

#include <cmath>
#include <cstring>

namespace filt {

namespace {

inline uint32_t at(const Work& w, int x, int y)
{
    return w.in[static_cast<long>(clampi(y, 0, w.h - 1)) * w.w + clampi(x, 0, w.w - 1)];
}

// Sobel differences of channel c: right minus left, top minus bottom.
inline void sobel(const Work& w, int x, int y, int c, int& gx, int& gy)
{
    const int tl = channel(at(w, x - 1, y - 1), c), t = channel(at(w, x, y - 1), c), tr = channel(at(w, x + 1, y - 1), c);
    const int l = channel(at(w, x - 1, y), c), r = channel(at(w, x + 1, y), c);
    const int bl = channel(at(w, x - 1, y + 1), c), b = channel(at(w, x, y + 1), c), br = channel(at(w, x + 1, y + 1), c);
    gx = (tr + 2 * r + br) - (tl + 2 * l + bl);
    gy = (tl + 2 * t + tr) - (bl + 2 * b + br);
}

constexpr double kPi = 3.14159265358979323846;

} // namespace

int relief_worker(Image* target, uint8_t* mask)
{
    Work work;
    if (!work_open(work, target))
        return 1;
    const double a = filter_params().relief_angle * kPi / 180.0;
    const float lx = static_cast<float>(std::cos(a)), ly = static_cast<float>(std::sin(a));
    const Box& b = work.box;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            uint32_t v = work.in[static_cast<long>(y) * work.w + x];
            for (int c = 0; c < 3; ++c) {
                int gx, gy;
                sobel(work, x, y, c, gx, gy);
                v = with_channel(v, c, clamp_byte_f(128.0f + (lx * static_cast<float>(gx) + ly * static_cast<float>(gy)) / 8.0f));
            }
            work.out[static_cast<long>(y) * work.w + x] = v;
        }
    work_commit(work, mask);
    return 0;
}

int dither_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    const int levels = clampi(p.dither_levels, 2, 256);
    const float step = 255.0f / static_cast<float>(levels - 1);
    auto quantise = [&](float v) {
        const float q = std::floor(v / step + 0.5f);
        return clampi(static_cast<int>(q * step + 0.5f), 0, 255);
    };
    const int bw = b.width();
    // Colour (or grey) values of the box as floats, so errors carry exactly.
    Buffer<float> cur(static_cast<long>(bw + 2) * 3), next(static_cast<long>(bw + 2) * 3);
    if (!cur || !next) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    std::memset(cur.p, 0, static_cast<size_t>(bw + 2) * 3 * sizeof(float));
    std::memset(next.p, 0, static_cast<size_t>(bw + 2) * 3 * sizeof(float));
    static const int bayer[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
                                    {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
                                    {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
                                    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};
    Rng rng(static_cast<uint64_t>(p.dither_seed) * 0x2545F4914F6CDD1Dull + 1);
    for (int y = b.y0; y <= b.y1; ++y) {
        const bool reverse = p.dither_method == 0 && p.dither_serpentine && ((y - b.y0) & 1);
        for (int i = 0; i < bw; ++i) {
            const int x = reverse ? b.x1 - i : b.x0 + i;
            const long at_i = static_cast<long>(y) * work.w + x;
            const uint32_t src = work.in[at_i];
            float v[3];
            if (p.dither_mono) {
                v[0] = v[1] = v[2] = static_cast<float>(luma(src));
            } else {
                for (int c = 0; c < 3; ++c)
                    v[c] = static_cast<float>(channel(src, c));
            }
            uint32_t o = src;
            const int cx = x - b.x0 + 1;
            for (int c = 0; c < 3; ++c) {
                int q;
                if (p.dither_method == 1) {
                    const float t = (static_cast<float>(bayer[y & 7][x & 7]) + 0.5f) / 64.0f - 0.5f;
                    q = quantise(v[c] + t * step);
                } else if (p.dither_method == 2) {
                    const float t = static_cast<float>(rng.uniform()) - 0.5f;
                    q = quantise(v[c] + t * step);
                } else {
                    const float want = v[c] + cur[cx * 3 + c];
                    q = quantise(want);
                    const float e = want - static_cast<float>(q);
                    const int ahead = reverse ? -1 : 1;
                    cur[(cx + ahead) * 3 + c] += e * 7.0f / 16.0f;
                    next[(cx - ahead) * 3 + c] += e * 3.0f / 16.0f;
                    next[cx * 3 + c] += e * 5.0f / 16.0f;
                    next[(cx + ahead) * 3 + c] += e * 1.0f / 16.0f;
                }
                o = with_channel(o, c, q);
            }
            if (p.dither_mono)
                o = with_channel(with_channel(o, 1, pixel_r(o)), 2, pixel_r(o));
            work.out[at_i] = o;
        }
        std::swap(cur.p, next.p);
        std::memset(next.p, 0, static_cast<size_t>(bw + 2) * 3 * sizeof(float));
    }
    work_commit(work, mask);
    return 0;
}

int elevations_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    const int sea = clampi(p.elev_sea, 0, 255), interval = p.elev_interval;
    // The land's colours from the shore up: green, yellow, brown, grey, snow.
    static const float ramp[5][3] = {
        {46, 125, 50}, {205, 190, 90}, {140, 95, 50}, {150, 140, 135}, {250, 250, 250}};
    const float shading = static_cast<float>(p.elev_shading) / 100.0f;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            const int hgt = luma(at(work, x, y));
            float col[3];
            if (hgt < sea) {
                // Water: lighter in the shallows.
                const float d = static_cast<float>(sea - hgt) / static_cast<float>(std::max(sea, 1));
                col[0] = 70 - 60 * d, col[1] = 130 - 100 * d, col[2] = 210 - 90 * d;
            } else {
                const float t = sea >= 255 ? 0.0f : static_cast<float>(hgt - sea) / static_cast<float>(255 - sea) * 4.0f;
                const int i = std::min(3, static_cast<int>(t));
                const float f = std::min(1.0f, t - static_cast<float>(i));
                for (int c = 0; c < 3; ++c)
                    col[c] = ramp[i][c] + (ramp[i + 1][c] - ramp[i][c]) * f;
                // Hill shading: light from the upper left.
                const float gx = static_cast<float>(luma(at(work, x + 1, y)) - luma(at(work, x - 1, y)));
                const float gy = static_cast<float>(luma(at(work, x, y + 1)) - luma(at(work, x, y - 1)));
                const float lit = 1.0f - shading * (gx + gy) / 64.0f;
                for (float& c : col)
                    c *= std::max(0.2f, lit);
            }
            uint32_t o = work.in[static_cast<long>(y) * work.w + x];
            for (int c = 0; c < 3; ++c)
                o = with_channel(o, c, clamp_byte_f(col[c]));
            if (interval > 0 && hgt >= sea) {
                // A contour where the next pixel right or below lies in a higher band.
                const int band = (hgt - sea) / interval;
                const int br = (std::max(sea, luma(at(work, x + 1, y))) - sea) / interval;
                const int bd = (std::max(sea, luma(at(work, x, y + 1))) - sea) / interval;
                if (br != band || bd != band)
                    o = with_channel(with_channel(with_channel(o, 0, pixel_r(o) / 3), 1, pixel_g(o) / 3), 2,
                                     pixel_b(o) / 3);
            }
            work.out[static_cast<long>(y) * work.w + x] = o;
        }
    work_commit(work, mask);
    return 0;
}

int enhance_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    uint64_t hist[3][256] = {};
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            const uint32_t v = work.in[static_cast<long>(y) * work.w + x];
            for (int c = 0; c < 3; ++c)
                ++hist[c][channel(v, c)];
        }
    const uint64_t total = static_cast<uint64_t>(b.width()) * static_cast<uint64_t>(b.height());
    const uint64_t clip = total * static_cast<uint64_t>(clampi(p.enhance_clip, 0, 499)) / 1000;
    int lo[3], hi[3];
    auto ends = [&](const uint64_t* h, uint64_t scale, int& l, int& u) {
        uint64_t s = 0;
        for (l = 0; l < 255 && (s += h[l]) <= clip * scale;)
            ++l;
        s = 0;
        for (u = 255; u > 0 && (s += h[u]) <= clip * scale;)
            --u;
    };
    if (p.enhance_linked) {
        // One stretch for all three channels keeps the colour balance.
        uint64_t all[256];
        for (int v = 0; v < 256; ++v)
            all[v] = hist[0][v] + hist[1][v] + hist[2][v];
        ends(all, 3, lo[0], hi[0]);
        lo[1] = lo[2] = lo[0], hi[1] = hi[2] = hi[0];
    } else {
        for (int c = 0; c < 3; ++c)
            ends(hist[c], 1, lo[c], hi[c]);
    }
    uint8_t table[3][256];
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            table[c][v] = hi[c] <= lo[c] ? static_cast<uint8_t>(v)
                                         : clamp_byte(((v - lo[c]) * 255 * 2 + (hi[c] - lo[c])) / (2 * (hi[c] - lo[c])));
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            const long i = static_cast<long>(y) * work.w + x;
            const uint32_t v = work.in[i];
            work.out[i] = pixel_make(table[0][pixel_r(v)], table[1][pixel_g(v)], table[2][pixel_b(v)], pixel_a(v));
        }
    work_commit(work, mask);
    return 0;
}

int sharpen_prepass(Image* target, uint8_t*)
{
    pass_release();
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    const bool eight = p.sharpen_neighbours != 0;
    const int amount = p.sharpen_amount;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            const long i = static_cast<long>(y) * work.w + x;
            uint32_t v = work.in[i];
            for (int c = 0; c < 3; ++c) {
                int sum = channel(at(work, x - 1, y), c) + channel(at(work, x + 1, y), c) +
                          channel(at(work, x, y - 1), c) + channel(at(work, x, y + 1), c);
                int n = 4;
                if (eight) {
                    sum += channel(at(work, x - 1, y - 1), c) + channel(at(work, x + 1, y - 1), c) +
                           channel(at(work, x - 1, y + 1), c) + channel(at(work, x + 1, y + 1), c);
                    n = 8;
                }
                const int self = channel(v, c);
                // self + amount% of (self − mean of the neighbours), rounded.
                const int lift = ((self * n - sum) * amount * 2 + (self * n >= sum ? n * 100 : -n * 100)) / (n * 200);
                v = with_channel(v, c, clamp_byte(self + lift));
            }
            work.out[i] = v;
        }
    pass_take(work);
    return 0;
}

void truncate_worker(uint8_t* pixel, int, int, int weight)
{
    if (!weight)
        return;
    const FilterParams& p = filter_params();
    const int bits = clampi(p.trunc_bits, 1, 8);
    const int top = (1 << bits) - 1;
    auto cut = [&](int v) {
        const int q = p.trunc_round ? (v * top * 2 + 255) / 510 : v >> (8 - bits);
        return (q * 255 * 2 + top) / (2 * top);
    };
    if (op_state().alpha_mode) {
        pixel[3] = static_cast<uint8_t>(mix_weight(cut(pixel[3]), pixel[3], weight));
        return;
    }
    for (int c = 0; c < 3; ++c)
        pixel[c] = static_cast<uint8_t>(mix_weight(cut(pixel[c]), pixel[c], weight));
}

// ---- NLog ------------------------------------------------------------------

namespace {
uint8_t g_nlog[256];  // built by the prepare hook, read by every worker
}

int nlog_prepare(Image*, int)
{
    const int k = filter_params().nlog_strength;
    if (k == 0)
        return op_refuse_no_change();
    const double s = std::fabs(static_cast<double>(k));
    for (int v = 0; v < 256; ++v) {
        const double u = v / 255.0;
        const double r = k > 0 ? std::log1p(s * u) / std::log1p(s) : std::expm1(u * std::log1p(s)) / s;
        g_nlog[v] = clamp_byte(static_cast<int>(std::lround(r * 255.0)));
    }
    return 0;
}

void nlog_worker(uint8_t* pixel, int, int, int weight)
{
    if (!weight)
        return;
    if (op_state().alpha_mode) {
        pixel[3] = static_cast<uint8_t>(mix_weight(g_nlog[pixel[3]], pixel[3], weight));
        return;
    }
    for (int c = 0; c < 3; ++c)
        pixel[c] = static_cast<uint8_t>(mix_weight(g_nlog[pixel[c]], pixel[c], weight));
}

// ---- Contour ---------------------------------------------------------------

namespace {

// The band of every pixel, made by the prepare hook before any pixel changes
// and only read by the workers.
struct ContourBands {
    uint16_t* band = nullptr;  // "fcnt"
    int w = 0, h = 0;
    uint8_t level[256 * 4];    // the banded background's grey per band
};
ContourBands g_contour;

} // namespace

void contour_release()
{
    if (g_contour.band)
        g_contour.band = mem_free_t(g_contour.band);
    g_contour.w = g_contour.h = 0;
}

int contour_prepare(Image* target, int)
{
    contour_release();
    const FilterParams& p = filter_params();
    const int interval = std::max(1, p.contour_interval);
    const int w = static_cast<int>(target->width), h = target->height;
    g_contour.band = static_cast<uint16_t*>(mem_alloc(static_cast<long>(w) * h * 2, "fcnt"));
    if (!g_contour.band) {
        message_show(msg::NoMemoryOperation);
        return 2;
    }
    if (image_lock(target) != 0) {
        image_unlock(target);
        contour_release();
        message_show(msg::NoRealMemoryOperation);
        return 2;
    }
    const bool alpha = op_state().alpha_mode;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = target->row(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t* q = row + 4 * x;
            int v;
            if (alpha)
                v = q[3];
            else if (p.contour_channel >= 1 && p.contour_channel <= 3)
                v = q[p.contour_channel - 1];
            else
                v = luma(pixel_load(q));
            g_contour.band[static_cast<long>(y) * w + x] =
                static_cast<uint16_t>((v - p.contour_offset + 256 * interval) / interval);
        }
    }
    image_unlock(target);
    g_contour.w = w, g_contour.h = h;
    for (int i = 0; i < 256 * 4; ++i)
        g_contour.level[i] = clamp_byte((i - 256) * interval + p.contour_offset + interval / 2);
    return 0;
}

int contour_finish(Image*, int)
{
    contour_release();
    return 0;
}

void contour_worker(uint8_t* pixel, int x, int y, int weight)
{
    const ContourBands& c = g_contour;
    if (!weight || !c.band || x >= c.w || y >= c.h)
        return;
    const FilterParams& p = filter_params();
    const int band = c.band[static_cast<long>(y) * c.w + x];
    bool line = false;
    const int t = clampi(p.contour_thickness, 1, 8);
    // The line runs along the lower side of every boundary between bands.
    for (int i = 1; i <= t && !line; ++i) {
        const int xs[4] = {x - i, x + i, x, x};
        const int ys[4] = {y, y, y - i, y + i};
        for (int k = 0; k < 4; ++k)
            if (xs[k] >= 0 && ys[k] >= 0 && xs[k] < c.w && ys[k] < c.h &&
                c.band[static_cast<long>(ys[k]) * c.w + xs[k]] > band)
                line = true;
    }
    int col[3] = {pixel[0], pixel[1], pixel[2]};
    if (op_state().alpha_mode)
        col[0] = col[1] = col[2] = pixel[3];
    if (p.contour_background == 1) {
        col[0] = col[1] = col[2] = 255;
    } else if (p.contour_background == 2) {
        const int g = c.level[std::min(band, 256 * 4 - 1)];
        col[0] = col[1] = col[2] = g;
    }
    if (line) {
        const int o = clampi(p.contour_opacity, 0, 100);
        for (int k = 0; k < 3; ++k)
            col[k] = (clampi(p.contour_rgb[k], 0, 255) * o + col[k] * (100 - o) + 50) / 100;
    }
    if (op_state().alpha_mode) {
        pixel[3] = static_cast<uint8_t>(mix_weight((col[0] + col[1] + col[2]) / 3, pixel[3], weight));
        return;
    }
    for (int k = 0; k < 3; ++k)
        pixel[k] = static_cast<uint8_t>(mix_weight(col[k], pixel[k], weight));
}

} // namespace filt
