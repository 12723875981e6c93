// The Art Group's workers.
#include "ops/art/art.h"

#include "core/image.h"
#include "ops/appliers.h"
#include "core/messages.h"
#include "areas/area_mask.h"
#include "ops/collage/canvas.h"
#include "ops/framework.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

ArtParams g_art_params;

namespace {

ArtParams& P()
{
    return g_art_params;
}

// The Kuwahara filter: each pixel takes the mean colour of whichever of
// the four (r+1)-square quadrants round it has the least variance of
// brightness, so flat patches form and edges stay sharp.
bool kuwahara(const canvas::Pixels& in, long r, canvas::Pixels& out)
{
    canvas::BoxSums colour;
    if (!colour.build(in.bytes.data(), in.width, in.height, in.width))
        return false;
    const long w = in.width, h = in.height;
    // Brightness and its square, as 64-bit summed-area tables.
    std::vector<uint64_t> s1, s2;
    try {
        s1.assign(static_cast<size_t>(w + 1) * static_cast<size_t>(h + 1), 0);
        s2.assign(s1.size(), 0);
        out.bytes.resize(in.bytes.size());
    } catch (const std::bad_alloc&) {
        message_show(msg::NoMemoryOperation);
        return false;
    }
    out.width = w;
    out.height = h;
    for (long y = 0; y < h; ++y) {
        uint64_t a1 = 0, a2 = 0;
        for (long x = 0; x < w; ++x) {
            const uint64_t l = static_cast<uint64_t>(canvas::luma(in.at(x, y)));
            a1 += l;
            a2 += l * l;
            const size_t i = static_cast<size_t>(y + 1) * static_cast<size_t>(w + 1) + static_cast<size_t>(x + 1);
            s1[i] = s1[i - static_cast<size_t>(w + 1)] + a1;
            s2[i] = s2[i - static_cast<size_t>(w + 1)] + a2;
        }
    }
    auto box = [&](const std::vector<uint64_t>& s, long x0, long y0, long x1, long y1) {
        const size_t W = static_cast<size_t>(w + 1);
        return s[static_cast<size_t>(y1 + 1) * W + static_cast<size_t>(x1 + 1)] - s[static_cast<size_t>(y0) * W + static_cast<size_t>(x1 + 1)] -
               s[static_cast<size_t>(y1 + 1) * W + static_cast<size_t>(x0)] + s[static_cast<size_t>(y0) * W + static_cast<size_t>(x0)];
    };
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            double best = 1e300;
            uint8_t* o = out.at(x, y);
            for (int q = 0; q < 4; ++q) {
                const long x0 = std::clamp(q & 1 ? x : x - r, 0L, w - 1), x1 = std::clamp(q & 1 ? x + r : x, 0L, w - 1);
                const long y0 = std::clamp(q & 2 ? y : y - r, 0L, h - 1), y1 = std::clamp(q & 2 ? y + r : y, 0L, h - 1);
                const double n = static_cast<double>((x1 - x0 + 1) * (y1 - y0 + 1));
                const double m1 = box(s1, x0, y0, x1, y1) / n;
                const double var = box(s2, x0, y0, x1, y1) / n - m1 * m1;
                if (var < best) {
                    best = var;
                    uint32_t sum[4];
                    long count;
                    colour.box(x0, y0, x1, y1, sum, &count);
                    for (int k = 0; k < 4; ++k)
                        o[k] = static_cast<uint8_t>((sum[k] + count / 2) / count);
                }
            }
        }
    return true;
}

// Brightness gradient magnitude (Sobel), 0..~1440.
void sobel(const canvas::Pixels& in, std::vector<float>& g)
{
    const long w = in.width, h = in.height;
    g.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    auto L = [&](long x, long y) {
        return canvas::luma(in.at(std::clamp(x, 0L, w - 1), std::clamp(y, 0L, h - 1)));
    };
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const int gx = L(x + 1, y - 1) + 2 * L(x + 1, y) + L(x + 1, y + 1) - L(x - 1, y - 1) - 2 * L(x - 1, y) - L(x - 1, y + 1);
            const int gy = L(x - 1, y + 1) + 2 * L(x, y + 1) + L(x + 1, y + 1) - L(x - 1, y - 1) - 2 * L(x, y - 1) - L(x + 1, y - 1);
            g[static_cast<size_t>(y * w + x)] = static_cast<float>(std::hypot(gx, gy));
        }
}

// ---- Gouache: a multi-pass worker that filters the whole image at the first
// pixel of each pass and then hands each pixel its result.

Image* g_target = nullptr;
canvas::Pixels g_result;
// Blue Print's and Oil Painting's copy of the image as it was.
canvas::Pixels g_before;
std::vector<float> g_edges;
long g_edges_width = 0;

} // namespace

void art_release()
{
    g_result = canvas::Pixels{};
    g_before = canvas::Pixels{};
    std::vector<float>().swap(g_edges);
    g_target = nullptr;
}

int gouache_prepare(Image*, int)
{
    op_state().passes = std::clamp(P().gouache_passes, 1, 8);
    return 0;
}

int gouache_prepass(Image* t, uint8_t*)
{
    g_target = t;
    return 0;
}

void gouache_worker(uint8_t* px, int x, int y, int weight)
{
    const AreaRect& r = area_mask().rect;
    if (x == std::min(r.x0, r.x1) && y == std::min(r.y0, r.y1)) {
        // A new pass: paint from the image as the last pass left it.
        canvas::Pixels now;
        if (!g_target || !canvas::copy(canvas::of(g_target), now) ||
            !kuwahara(now, std::clamp(P().gouache_size, 1, 50), g_result))
            g_result = canvas::Pixels{};
        // Gouache dries flat: the colours settle on 24 levels.
        for (uint8_t& v : g_result.bytes)
            v = static_cast<uint8_t>(std::lround(std::round(v * 23 / 255.0) * 255 / 23.0));
    }
    if (weight <= 0 || g_result.bytes.empty() || x >= g_result.width || y >= g_result.height)
        return;
    uint8_t n[4];
    std::memcpy(n, g_result.at(x, y), 4);
    canvas::put(px, n, weight, canvas::alpha_mode());
}

// ---- Toonize -------------------------------------------------------------------------

int toonize_worker(Image* t, uint8_t* mask)
{
    const gen::Area a = gen::area();
    canvas::Pixels in, flat;
    if (!canvas::copy(canvas::of(t), in) || !kuwahara(in, 3, flat))
        return 1;
    std::vector<float> edges;
    sobel(flat, edges);
    const bool alpha = canvas::alpha_mode();
    for (int y = a.y0; y <= a.y1; ++y) {
        if (canvas::cancelled(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            const uint8_t* f = flat.at(x, y);
            // Brightness in five bands keeps the hue: each colour is scaled by
            // its band's brightness over its own.
            const int l = std::max(1, canvas::luma(f));
            const int band = std::min(4, l * 5 / 256);
            const double target = (band + 0.5) * 255 / 5.0;
            uint8_t out[4];
            for (int k = 0; k < 3; ++k)
                out[k] = canvas::clamp8(f[k] * target / l);
            out[3] = f[3];
            // Ink lines where the flat picture has an edge.
            const float e = edges[static_cast<size_t>(y) * static_cast<size_t>(in.width) + static_cast<size_t>(x)];
            const double ink = gen::clamp01((e - 120) / 120.0);
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<uint8_t>(out[k] * (1 - ink));
            canvas::put(t->pixel(x, y), out, m, alpha);
        }
    }
    return 0;
}

// ---- Watercolor -----------------------------------------------------------------------

int watercolor_worker(Image* t, uint8_t* mask)
{
    const gen::Area a = gen::area();
    const long size = std::clamp(P().water_size, 1, 50);
    canvas::Pixels in, wash;
    if (!canvas::copy(canvas::of(t), in) || !kuwahara(in, size, wash))
        return 1;
    // Soften the washes' own edges a little (a box of radius size/3).
    canvas::BoxSums sums;
    if (!sums.build(wash.bytes.data(), wash.width, wash.height, wash.width))
        return 1;
    std::vector<float> edges;
    sobel(wash, edges);
    const long r = std::max(1L, size / 3);
    const bool alpha = canvas::alpha_mode();
    for (int y = a.y0; y <= a.y1; ++y) {
        if (canvas::cancelled(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            uint32_t s[4];
            long n;
            sums.box(x - r, y - r, x + r, y + r, s, &n);
            // Pigment pools at the wash's edges (darker), the paper shows
            // through elsewhere (lighter), and its grain speckles the wash.
            const float e = edges[static_cast<size_t>(y) * static_cast<size_t>(in.width) + static_cast<size_t>(x)];
            const double pool = 1 - 0.35 * gen::clamp01(e / 300.0);
            const double paper = 0.12 + 0.05 * gen::fbm(7, x / 3.0, y / 3.0, 3, 0.5);
            uint8_t out[4];
            for (int k = 0; k < 3; ++k) {
                const double c = (s[k] + n / 2) / static_cast<double>(n);
                out[k] = canvas::clamp8((c + (255 - c) * paper) * pool);
            }
            out[3] = static_cast<uint8_t>((s[3] + n / 2) / n);
            canvas::put(t->pixel(x, y), out, m, alpha);
        }
    }
    return 0;
}

// ---- Oil Painting ------------------------------------------------------------------------

int oil_prepare(Image* t, int)
{
    ImageLock lock(t, msg::NoRealMemoryOperation);
    if (!lock)
        return 1;
    return canvas::copy(canvas::of(t), g_before) ? 0 : 1;
}

// The most frequent brightness in the circle of the radius round the pixel
// wins, and the pixel takes the mean colour of the pixels of that
// brightness (ImageMagick's -paint takes one such pixel's colour).
uint32_t oil_worker(uint32_t px, int x, int y)
{
    const ArtParams& p = P();
    const long r = std::clamp(p.oil_radius, 1, 25);
    const int levels = std::clamp(p.oil_levels, 2, 256);
    const canvas::Pixels& in = g_before;
    if (in.bytes.empty())
        return px;
    uint16_t count[256] = {};
    uint32_t sum[256][3];
    int best = -1;
    for (long dy = -r; dy <= r; ++dy) {
        const long yy = y + dy;
        if (yy < 0 || yy >= in.height)
            continue;
        for (long dx = -r; dx <= r; ++dx) {
            const long xx = x + dx;
            if (xx < 0 || xx >= in.width || dx * dx + dy * dy > r * r + r)
                continue;
            const uint8_t* q = in.at(xx, yy);
            const int bin = canvas::luma(q) * levels / 256;
            if (count[bin]++ == 0)
                sum[bin][0] = sum[bin][1] = sum[bin][2] = 0;
            sum[bin][0] += q[0];
            sum[bin][1] += q[1];
            sum[bin][2] += q[2];
            if (best < 0 || count[bin] > count[best])
                best = bin;
        }
    }
    if (best < 0)
        return px;
    const uint32_t n = count[best];
    return pixel_make(static_cast<int>((sum[best][0] + n / 2) / n), static_cast<int>((sum[best][1] + n / 2) / n),
                      static_cast<int>((sum[best][2] + n / 2) / n), pixel_a(px));
}

// ---- Blue Print -------------------------------------------------------------------------------

int blue_print_prepare(Image* t, int)
{
    ImageLock lock(t, msg::NoRealMemoryOperation);
    if (!lock)
        return 1;
    canvas::Pixels in;
    if (!canvas::copy(canvas::of(t), in))
        return 1;
    sobel(in, g_edges);
    g_edges_width = in.width;
    return 0;
}

// White lines where the picture has edges, on blueprint blue with a faint grid.
void blue_print_worker(uint8_t* px, int x, int y, int weight)
{
    const ArtParams& p = P();
    const float e = g_edges[static_cast<size_t>(y) * static_cast<size_t>(g_edges_width) + static_cast<size_t>(x)];
    double line = gen::clamp01(e * std::clamp(p.blue_strength, 0, 400) / 100.0 / 255.0);
    if (p.blue_grid > 0 && (x % p.blue_grid == 0 || y % p.blue_grid == 0))
        line = std::max(line, 0.25);
    const int r = static_cast<int>(20 + line * 215), g = static_cast<int>(60 + line * 180),
              b = static_cast<int>(140 + line * 110);
    gen::put(px, r, g, b, weight, canvas::alpha_mode());
}
