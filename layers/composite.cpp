#include "layers/composite.h"

#include "core/app.h"
#include "core/bytes.h"
#include "core/image.h"
#include "core/list.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/settings.h"
#include "formats/codecs.h"
#include "ops/framework.h"
#include "layers/blend_modes.h"
#include "layers/elf.h"
#include "layers/layer_manage.h"
#include "layers/layer_tables.h"
#include "core/platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// ---- what is composited onto what ---------------------------------------

// The master, or the working layer of a local stack.
struct Surface {
    uint8_t* px;
    int w, h;
    uint8_t* row(int y) const { return px + 4 * (static_cast<size_t>(y) * static_cast<size_t>(w)); }
};

// A layer, or a finished working layer with the settings of the layer that
// began it.
struct Piece {
    const uint8_t* px;  // rows of w pixels, contiguous
    int w, h;
    int x, y;  // top-left corner on the surface
    int mode, opacity, factor;
    uint32_t flags;
    int number;
    Image* owner_layer;  // the layer whose caches this piece uses
    uint64_t state;      // changes whenever what the piece shows changes
    const uint8_t* at(int sx, int sy) const
    {
        return px + 4 * (static_cast<size_t>(sy - y) * static_cast<size_t>(w) + static_cast<size_t>(sx - x));
    }
};

struct Clip {
    int x0, y0, x1, y1;  // ends exclusive, surface coordinates
};

// The accumulator cache of an Accumulate layer: what it left behind on
// earlier composites, faded by its factor each time the layer changes.
struct AccumCache {
    Image* layer;
    Image* master;
    int w, h;
    uint64_t state;
    bool primed;
    uint8_t* px;  // "accumulator cache", w * h RGBA
};

struct Compositor {
    std::vector<AccumCache> caches;
    Image* master;  // the master being composited
};
Compositor g_comp;

// Per-piece context: the tables and what the mode needs prepared.
struct Ctx {
    const uint8_t* un;  // U(d, w)
    const uint8_t* ra;  // R(u, w)
    const uint8_t* d255;  // i / 255, exact, for products of covers
    uint8_t wtab[256];  // T100(a * O)
    int fxv[766];       // v * F / 100 for v in -255..510
    int fx(int v) const { return fxv[v + 255]; }
    int number;
    // key modes
    int key[3];
    int range[3], ramp[3];
    int key_hue, key_chroma;
    int hue_range, hue_ramp, chroma_range, chroma_ramp;
    int luma_range, luma_ramp;
    bool inverted;
    // histogram
    uint8_t lut[3][256];
};

inline int lum(int r, int g, int b)
{
    return (77 * r + 150 * g + 29 * b) >> 8;
}
inline int lum(const uint8_t* p)
{
    return lum(p[0], p[1], p[2]);
}
inline int max3(int a, int b, int c)
{
    return std::max(a, std::max(b, c));
}
inline int min3(int a, int b, int c)
{
    return std::min(a, std::min(b, c));
}
// Signed division through the table (toward zero), for |a| < 2^17.
inline int sdiv(int a, int b)
{
    return a >= 0 ? udiv(a, b) : -udiv(-a, b);
}

uint64_t mix64(uint64_t h, uint64_t v)
{
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h;
}

uint64_t layer_state(const Image* l)
{
    uint64_t h = reinterpret_cast<uintptr_t>(l);
    h = mix64(h, static_cast<uint16_t>(l->changes));
    h = mix64(h, static_cast<uint32_t>(l->layer_x));
    h = mix64(h, static_cast<uint32_t>(l->layer_y));
    h = mix64(h, l->width);
    h = mix64(h, static_cast<uint32_t>(l->height));
    return h;
}

uint32_t dither_hash(uint32_t x, uint32_t y, uint32_t n)
{
    uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u ^ n * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// ---- hue, saturation and luminosity without division -------------------

// Hue on a circle of 1536 steps (six sectors of 256); -1 for a grey.
int hue1536(int r, int g, int b)
{
    int mx = max3(r, g, b), mn = min3(r, g, b), c = mx - mn;
    if (c == 0)
        return -1;
    int h;
    if (mx == r)
        h = g >= b ? udiv((g - b) * 256, c) : 1536 - udiv((b - g) * 256, c);
    else if (mx == g)
        h = 512 + (b >= r ? udiv((b - r) * 256, c) : -udiv((r - b) * 256, c));
    else
        h = 1024 + (r >= g ? udiv((r - g) * 256, c) : -udiv((g - r) * 256, c));
    return h >= 1536 ? h - 1536 : h;
}

// The colour of a hue with the given largest and smallest channel.
void from_hue(int h, int mx, int mn, int* t)
{
    int c = mx - mn;
    int fr = h & 255;
    int up = mn + ((c * fr) >> 8), down = mx - ((c * fr) >> 8);
    switch (h >> 8) {
    case 0: t[0] = mx, t[1] = up, t[2] = mn; break;
    case 1: t[0] = down, t[1] = mx, t[2] = mn; break;
    case 2: t[0] = mn, t[1] = mx, t[2] = up; break;
    case 3: t[0] = mn, t[1] = down, t[2] = mx; break;
    case 4: t[0] = up, t[1] = mn, t[2] = mx; break;
    default: t[0] = mx, t[1] = mn, t[2] = down; break;
    }
}

// Brings a colour whose channels left 0..255 back, keeping its luminosity.
void clip_color(int* c)
{
    int l = lum(c[0], c[1], c[2]);
    l = std::clamp(l, 0, 255);
    int n = min3(c[0], c[1], c[2]), x = max3(c[0], c[1], c[2]);
    if (n < 0 && l - n > 0)
        for (int i = 0; i < 3; ++i)
            c[i] = l + sdiv((c[i] - l) * l, l - n);
    if (x > 255 && x - l > 0)
        for (int i = 0; i < 3; ++i)
            c[i] = l + sdiv((c[i] - l) * (255 - l), x - l);
    for (int i = 0; i < 3; ++i)
        c[i] = std::clamp(c[i], 0, 255);
}

void set_lum(int* c, int l)
{
    int d = l - lum(c[0], c[1], c[2]);
    for (int i = 0; i < 3; ++i)
        c[i] += d;
    clip_color(c);
}

void set_sat(int* c, int s)
{
    int imax = 0, imin = 0;
    for (int i = 1; i < 3; ++i) {
        if (c[i] > c[imax])
            imax = i;
        if (c[i] < c[imin])
            imin = i;
    }
    if (imax == imin) {  // grey: no hue to saturate
        c[0] = c[1] = c[2] = 0;
        return;
    }
    int imid = 3 - imax - imin;
    int range = c[imax] - c[imin];
    c[imid] = udiv((c[imid] - c[imin]) * s, range);
    c[imax] = s;
    c[imin] = 0;
}

inline int sat_of(const uint8_t* p)
{
    return max3(p[0], p[1], p[2]) - min3(p[0], p[1], p[2]);
}

// 0 inside the range, 255 beyond range + ramp, a straight ramp between.
inline int ramp_cover(int dist, int range, int ramp)
{
    if (dist <= range)
        return 0;
    if (ramp <= 0 || dist >= range + ramp)
        return 255;
    return udiv((dist - range) * 255, ramp);
}

// ---- the pixel loop and the mix ------------------------------------------

template <class K>
void each(const Surface& s, const Piece& p, const Clip& c, const uint8_t* wtab, K&& kernel)
{
    for (int y = c.y0; y < c.y1; ++y) {
        uint8_t* D = s.row(y) + 4 * c.x0;
        const uint8_t* S = p.at(c.x0, y);
        for (int x = c.x0; x < c.x1; ++x, D += 4, S += 4) {
            int w = wtab[S[3]];
            if (w)
                kernel(D, S, w, x, y);
        }
    }
}

// Each colour channel becomes D + f(k (t - D)); with SetAlpha the master
// alpha becomes A'.  t stays within 0..255, so the result does too.
inline void mix(uint8_t* D, const int* t, int k)
{
    int d0 = D[0], d1 = D[1], d2 = D[2];
    D[0] = static_cast<uint8_t>(d0 + div255(k * (t[0] - d0)));
    D[1] = static_cast<uint8_t>(d1 + div255(k * (t[1] - d1)));
    D[2] = static_cast<uint8_t>(d2 + div255(k * (t[2] - d2)));
}

template <bool SetAlpha, class T>
void colour(const Surface& s, const Piece& p, const Clip& c, const Ctx& x, T&& target)
{
    const uint8_t* un = x.un;
    const uint8_t* ra = x.ra;
    each(s, p, c, x.wtab, [&](uint8_t* D, const uint8_t* S, int w, int, int) {
        // Over an opaque or an empty master pixel the tables' answer is
        // known (A' = 255, k = w; A' = w, k = 255); most pixels are one or
        // the other, so the branch is well predicted.
        int da = D[3], a2, k;
        if (da == 255) {
            a2 = 255;
            k = w;
        } else if (da == 0) {
            a2 = w;
            k = 255;
        } else {
            a2 = un[da << 8 | w];
            k = ra[a2 << 8 | w];
        }
        int t[3];
        target(D, S, w, t);
        mix(D, t, k);
        if (SetAlpha)
            D[3] = static_cast<uint8_t>(a2);
    });
}

// Covering modes: the layer colour laid on with a weight the mode decides
// (0 leaves the pixel), and the master alpha becomes A'.
template <class Cover>
void cover(const Surface& s, const Piece& p, const Clip& c, const Ctx& x, Cover&& weight)
{
    const uint8_t* un = x.un;
    const uint8_t* ra = x.ra;
    each(s, p, c, x.wtab, [&](uint8_t* D, const uint8_t* S, int w, int px, int py) {
        int w2 = weight(D, S, w, px, py);
        if (w2 <= 0)
            return;
        int a2 = un[D[3] << 8 | w2];
        int k = ra[a2 << 8 | w2];
        int t[3] = {S[0], S[1], S[2]};
        mix(D, t, k);
        D[3] = static_cast<uint8_t>(a2);
    });
}

// Alpha modes: the colour stays, the master alpha becomes what the mode says.
template <class A>
void alpha_only(const Surface& s, const Piece& p, const Clip& c, const Ctx& x, A&& alpha)
{
    each(s, p, c, x.wtab, [&](uint8_t* D, const uint8_t* S, int w, int, int) {
        D[3] = static_cast<uint8_t>(std::clamp(alpha(D, S, w), 0, 255));
    });
}

// A target computed channel by channel from d (master) and v (layer); f
// is also given the layer's cover w and the channel index.
template <class F>
void channels(const Surface& s, const Piece& p, const Clip& c, const Ctx& x, F&& f)
{
    colour<false>(s, p, c, x, [&](const uint8_t* D, const uint8_t* S, int w, int* t) {
        for (int i = 0; i < 3; ++i)
            t[i] = f(D[i], S[i], w, i);
    });
}

// A target computed from the whole pixels D and S into t.
template <class F>
void pixel(const Surface& s, const Piece& p, const Clip& c, const Ctx& x, F&& f)
{
    colour<false>(s, p, c, x, [&](const uint8_t* D, const uint8_t* S, int, int* t) { f(D, S, t); });
}

// ---- per-piece preparation ---------------------------------------------

void prepare_keys(Ctx& x, int mode, int factor)
{
    KeySettings k = key_settings();
    for (int i = 0; i < 3; ++i)
        x.key[i] = k.color[i];
    auto ramp_of = [&](int range) { return std::clamp(range * factor / 100, 1, 511); };
    bool tol = mode == MODE_RGB_KEY_HARD_TOL || mode == MODE_INV_RGB_KEY_HARD_TOL || mode == MODE_RGB_KEY_SOFT_TOL ||
               mode == MODE_INV_RGB_KEY_SOFT_TOL;
    bool soft = mode == MODE_RGB_KEY_SOFT || mode == MODE_INV_RGB_KEY_SOFT || mode == MODE_RGB_KEY_SOFT_TOL ||
                mode == MODE_INV_RGB_KEY_SOFT_TOL || mode == MODE_LUMA_KEY_SOFT || mode == MODE_INV_LUMA_KEY_SOFT ||
                mode == MODE_HUE_KEY_SOFT || mode == MODE_INV_HUE_KEY_SOFT || mode == MODE_HS_KEY_SOFT ||
                mode == MODE_INV_HS_KEY_SOFT;
    x.inverted = mode == MODE_INV_RGB_KEY_HARD || mode == MODE_INV_RGB_KEY_SOFT || mode == MODE_INV_RGB_KEY_HARD_TOL ||
                 mode == MODE_INV_RGB_KEY_SOFT_TOL || mode == MODE_INV_LUMA_KEY_HARD ||
                 mode == MODE_INV_LUMA_KEY_SOFT || mode == MODE_INV_HUE_KEY_HARD || mode == MODE_INV_HUE_KEY_SOFT ||
                 mode == MODE_INV_HS_KEY_HARD || mode == MODE_INV_HS_KEY_SOFT;
    for (int i = 0; i < 3; ++i) {
        // The tolerance modes take their range from the factor.
        x.range[i] = tol ? std::clamp(k.tolerance * factor / 100, 0, 255) : std::clamp(k.rgb_range[i], 0, 255);
        x.ramp[i] = soft ? ramp_of(std::max(x.range[i], 1)) : 0;
    }
    x.key_hue = hue1536(k.color[0], k.color[1], k.color[2]);
    x.key_chroma = max3(k.color[0], k.color[1], k.color[2]) - min3(k.color[0], k.color[1], k.color[2]);
    x.hue_range = std::clamp(k.hue_range, 0, 180) * 1536 / 360;
    x.hue_ramp = soft ? ramp_of(std::max(x.hue_range, 1)) : 0;
    x.chroma_range = std::clamp(k.sat_range, 0, 100) * 255 / 100;
    x.chroma_ramp = soft ? ramp_of(std::max(x.chroma_range, 1)) : 0;
    x.luma_range = std::clamp(k.light_range, 0, 100) * 255 / 100;
    x.luma_ramp = soft ? ramp_of(std::max(x.luma_range, 1)) : 0;
}

// The master's colours under the layer remapped so that their spread
// matches the layer's, channel by channel.
void prepare_histogram(Ctx& x, const Surface& s, const Piece& p, const Clip& c)
{
    static thread_local uint32_t hd[3][256], hs[3][256];
    std::memset(hd, 0, sizeof hd);
    std::memset(hs, 0, sizeof hs);
    uint64_t n = 0;
    for (int y = c.y0; y < c.y1; ++y) {
        const uint8_t* D = s.row(y) + 4 * c.x0;
        const uint8_t* S = p.at(c.x0, y);
        for (int i = c.x0; i < c.x1; ++i, D += 4, S += 4) {
            if (!x.wtab[S[3]])
                continue;
            ++n;
            for (int ch = 0; ch < 3; ++ch) {
                ++hd[ch][D[ch]];
                ++hs[ch][S[ch]];
            }
        }
    }
    for (int ch = 0; ch < 3; ++ch) {
        uint64_t cd = 0, cs = 0;
        int sv = 0;
        cs = hs[ch][0];
        for (int v = 0; v < 256; ++v) {
            cd += hd[ch][v];
            // The smallest layer value whose share reaches the master's.
            while (sv < 255 && cs < cd)
                cs += hs[ch][++sv];
            x.lut[ch][v] = static_cast<uint8_t>(n ? sv : v);
        }
    }
}

bool prepare(Ctx& x, const Piece& p)
{
    const LayerTables& tb = layer_tables();
    x.un = tb.yab_union;
    x.ra = tb.yab_ratio;
    x.d255 = tb.div255;
    x.number = p.number;
    int o = std::clamp(p.opacity, 0, 100);
    for (int a = 0; a < 256; ++a)
        x.wtab[a] = tb.div100[a * o];
    int f = std::clamp(p.factor, 0, 30000);
    for (int v = -255; v <= 510; ++v)
        x.fxv[v + 255] = v * f / 100;
    return true;
}

// ---- warp, accumulate, global mask --------------------------------------

// The surface resampled through the layer's displacements, from a copy
// made before this layer ("working base").
int warp_piece(const Surface& s, const Piece& p, const Clip& c)
{
    size_t bytes = 4 * static_cast<size_t>(s.w) * static_cast<size_t>(s.h);
    auto* base = mem_alloc_as<uint8_t>(static_cast<long>(bytes), "working base");
    if (!base) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    std::memcpy(base, s.px, bytes);
    int wo = layer_tables().div100[255 * std::clamp(p.opacity, 0, 100)];
    for (int y = c.y0; y < c.y1; ++y) {
        uint8_t* D = s.row(y) + 4 * c.x0;
        const uint8_t* S = p.at(c.x0, y);
        for (int x = c.x0; x < c.x1; ++x, D += 4, S += 4) {
            int dx16, dy16;
            warp_decode(S, dx16, dy16);
            int sx = x + (dx16 >> 4), sy = y + (dy16 >> 4);
            if (sx < 0 || sx >= s.w || sy < 0 || sy >= s.h)
                continue;
            int fx = dx16 & 15, fy = dy16 & 15;
            int sx1 = std::min(sx + 1, s.w - 1), sy1 = std::min(sy + 1, s.h - 1);
            const uint8_t* p00 = base + 4 * (static_cast<size_t>(sy) * s.w + sx);
            const uint8_t* p10 = base + 4 * (static_cast<size_t>(sy) * s.w + sx1);
            const uint8_t* p01 = base + 4 * (static_cast<size_t>(sy1) * s.w + sx);
            const uint8_t* p11 = base + 4 * (static_cast<size_t>(sy1) * s.w + sx1);
            int w00 = (16 - fx) * (16 - fy), w10 = fx * (16 - fy), w01 = (16 - fx) * fy, w11 = fx * fy;
            for (int ch = 0; ch < 4; ++ch) {
                int v = (p00[ch] * w00 + p10[ch] * w10 + p01[ch] * w01 + p11[ch] * w11 + 128) >> 8;
                D[ch] = static_cast<uint8_t>(wo == 255 ? v : D[ch] + div255(wo * (v - D[ch])));
            }
        }
    }
    mem_free(base);
    return 0;
}

AccumCache* accum_cache(const Piece& p, const Surface& s)
{
    for (AccumCache& a : g_comp.caches)
        if (a.layer == p.owner_layer && a.master == g_comp.master && a.w == s.w && a.h == s.h)
            return &a;
    // A cache for another size is stale.
    layer_forget_caches(p.owner_layer);
    AccumCache a{};
    a.layer = p.owner_layer;
    a.master = g_comp.master;
    a.w = s.w;
    a.h = s.h;
    a.px = mem_alloc_as<uint8_t>(4L * s.w * s.h, "accumulator cache");
    if (!a.px) {
        message_show(msg::NoMemoryOperation);
        return nullptr;
    }
    std::memset(a.px, 0, 4 * static_cast<size_t>(s.w) * static_cast<size_t>(s.h));
    g_comp.caches.push_back(a);
    return &g_comp.caches.back();
}

// The layer leaves a trail: each new state of the layer is laid over what
// earlier states left, after those have faded to F/100 of their alpha; the
// cache is then composited like a Normal layer.
int accumulate_piece(const Surface& s, const Piece& p, const Clip& c, const Ctx& x)
{
    AccumCache* a = accum_cache(p, s);
    if (!a)
        return 1;
    Surface cache{a->px, a->w, a->h};
    if (!a->primed || a->state != p.state) {
        if (a->primed) {
            size_t n = static_cast<size_t>(a->w) * static_cast<size_t>(a->h);
            for (size_t i = 0; i < n; ++i)
                a->px[4 * i + 3] = clamp255(x.fx(a->px[4 * i + 3]));
        }
        uint8_t full[256];
        for (int i = 0; i < 256; ++i)
            full[i] = static_cast<uint8_t>(i);
        each(cache, p, c, full, [&](uint8_t* C, const uint8_t* S, int w, int, int) {
            if (C[3] == 0) {  // nothing there yet: the layer as it is
                std::memcpy(C, S, 4);
                return;
            }
            int a2 = x.un[C[3] << 8 | w];
            int k = x.ra[a2 << 8 | w];
            int t[3] = {S[0], S[1], S[2]};
            mix(C, t, k);
            C[3] = static_cast<uint8_t>(a2);
        });
        a->state = p.state;
        a->primed = true;
    }
    Piece whole{a->px, a->w, a->h, 0, 0, 0, 100, 100, 0, 0, nullptr, 0};
    Clip all{0, 0, s.w, s.h};
    colour<true>(s, whole, all, x, [](const uint8_t*, const uint8_t* S, int, int* t) {
        t[0] = S[0], t[1] = S[1], t[2] = S[2];
    });
    return 0;
}

void global_mask(const Surface& s, const Clip& c)
{
    for (int y = 0; y < s.h; ++y) {
        uint8_t* row = s.row(y);
        bool inside_rows = y >= c.y0 && y < c.y1;
        for (int x = 0; x < s.w; ++x)
            if (!inside_rows || x < c.x0 || x >= c.x1)
                row[4 * x + 3] = 0;
    }
}

// ---- the modes, family by family ------------------------------------------

// A family's kernel composites a piece in one of its modes; `kernel_for`
// routes every mode code to its family. Each returns 0, or 1 after it has
// said why it failed.
using Kernel = int (*)(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x);

// The layer laid on, the master alpha becomes A'.
int laid_on_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    switch (mode) {
    case MODE_NORMAL:
        colour<true>(s, p, c, x, [](const uint8_t*, const uint8_t* S, int, int* t) {
            t[0] = S[0], t[1] = S[1], t[2] = S[2];
        });
        return 0;
    case MODE_BEHIND:
        colour<true>(s, p, c, x, [](const uint8_t* D, const uint8_t* S, int, int* t) {
            for (int i = 0; i < 3; ++i)
                t[i] = D[i] + div255((255 - D[3]) * (S[i] - D[i]));
        });
        return 0;
    case MODE_DISSOLVE:
        cover(s, p, c, x, [&](const uint8_t*, const uint8_t*, int w, int px, int py) {
            int h = ((dither_hash(px - p.x, py - p.y, x.number) & 255) * 255) >> 8;
            return h < w ? 255 : 0;
        });
        return 0;
    case MODE_SOFT_DISSOLVE: {
        int wo = x.wtab[255];
        cover(s, p, c, x, [&](const uint8_t*, const uint8_t* S, int, int px, int py) {
            int h = ((dither_hash(px - p.x, py - p.y, x.number) & 255) * 255) >> 8;
            return h < S[3] ? wo : 0;
        });
        return 0;
    }
    }
    return 1;
}

// The modes whose formulas are given, channel by channel.
int arithmetic_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    switch (mode) {
    case MODE_ADD: channels(s, p, c, x, [&](int d, int v, int, int) { return clamp255(d + x.fx(v)); }); return 0;
    // Add on gray and Brighten divide exactly, as their formulas are written.
    case MODE_ADD_ON_GRAY:
        channels(s, p, c, x, [&](int d, int v, int w, int) { return clamp255(d + x.fx(v - 127) * w / 255); });
        return 0;
    case MODE_MULTIPLY: channels(s, p, c, x, [](int d, int v, int, int) { return div255(d * v); }); return 0;
    case MODE_DIFFERENCE:
        channels(s, p, c, x, [&](int d, int v, int, int) { return clamp255(x.fx(d - v)); });
        return 0;
    case MODE_ABS_DIFFERENCE:
        channels(s, p, c, x, [&](int d, int v, int, int) { return clamp255(x.fx(std::abs(d - v))); });
        return 0;
    case MODE_BRIGHTEN:
        channels(s, p, c, x, [](int d, int v, int w, int) { return d + v * w / 255 * (255 - d) / 255; });
        return 0;
    case MODE_DARKEN: channels(s, p, c, x, [](int d, int v, int, int) { return d >= v ? v : d; }); return 0;
    case MODE_LIGHTEN: channels(s, p, c, x, [](int d, int v, int, int) { return d <= v ? v : d; }); return 0;
    case MODE_RGB_NEGATIVE:
        channels(s, p, c, x, [](int d, int v, int, int) { return div255((255 - d) * v); });
        return 0;
    case MODE_MONO_NEGATIVE:
        pixel(s, p, c, x, [](const uint8_t* D, const uint8_t* S, int* t) {
            int m = 255 - (D[0] + D[1] + D[2]) / 3;
            for (int i = 0; i < 3; ++i)
                t[i] = div255(m * S[i]);
        });
        return 0;
    case MODE_MONOCHROME:
        pixel(s, p, c, x, [](const uint8_t* D, const uint8_t* S, int* t) {
            int m = (D[0] + D[1] + D[2]) / 3;
            for (int i = 0; i < 3; ++i)
                t[i] = div255(m * S[i]);
        });
        return 0;
    case MODE_DIFFERENCE_TO_GRAY:
        channels(s, p, c, x, [&](int d, int v, int, int) { return clamp255(x.fx(d - v) + 127); });
        return 0;
    }
    return 1;
}

// The colour stays; the master alpha comes from the layer.
int alpha_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    switch (mode) {
    case MODE_MASK:
        alpha_only(s, p, c, x, [&](const uint8_t*, const uint8_t*, int w) { return x.fx(w); });
        return 0;
    case MODE_INVERTED_MASK:
        alpha_only(s, p, c, x, [&](const uint8_t*, const uint8_t*, int w) { return x.fx(255 - w); });
        return 0;
    case MODE_GREY_MASK:
        alpha_only(s, p, c, x, [&](const uint8_t*, const uint8_t* S, int w) { return x.fx(x.d255[lum(S) * w]); });
        return 0;
    case MODE_INVERTED_GREY_MASK:
        alpha_only(s, p, c, x,
                   [&](const uint8_t*, const uint8_t* S, int w) { return x.fx(x.d255[(255 - lum(S)) * w]); });
        return 0;
    }
    return 1;
}

// Light and shade.
int light_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    auto run = [&](auto&& f) {
        channels(s, p, c, x, f);
        return 0;
    };
    switch (mode) {
    case MODE_SCREEN: return run([](int d, int v, int, int) { return 255 - div255((255 - d) * (255 - v)); });
    case MODE_OVERLAY:
        return run([](int d, int v, int, int) {
            return d < 128 ? div255(2 * d * v) : 255 - div255(2 * (255 - d) * (255 - v));
        });
    case MODE_HARD_LIGHT:
        return run([](int d, int v, int, int) {
            return v < 128 ? div255(2 * d * v) : 255 - div255(2 * (255 - d) * (255 - v));
        });
    case MODE_SOFT_LIGHT:
        return run([](int d, int v, int, int) {
            return clamp255(div255(div255(d * d) * (255 - 2 * v)) + div255(2 * v * d));
        });
    case MODE_DODGE:
        return run([](int d, int v, int, int) {
            return v == 255 ? (d == 0 ? 0 : 255) : std::min(255, udiv(d * 255, 255 - v));
        });
    case MODE_BURN:
        return run([](int d, int v, int, int) {
            return v == 0 ? (d == 255 ? 255 : 0) : 255 - std::min(255, udiv((255 - d) * 255, v));
        });
    case MODE_BURN_LINEAR: return run([](int d, int v, int, int) { return clamp255(d + v - 255); });
    case MODE_DIVIDE:
        return run([](int d, int v, int, int) {
            return v == 0 ? (d == 0 ? 0 : 255) : std::min(255, udiv(d * 255, v));
        });
    case MODE_LINEAR_LIGHT: return run([](int d, int v, int, int) { return clamp255(d + 2 * v - 255); });
    case MODE_VIVID_LIGHT:
        return run([](int d, int v, int, int) {
            if (v < 128)
                return v == 0 ? (d == 255 ? 255 : 0) : 255 - std::min(255, udiv((255 - d) * 255, 2 * v));
            return std::min(255, udiv(d * 255, 255 - 2 * (v - 128)));
        });
    case MODE_PIN_LIGHT:
        return run([](int d, int v, int, int) { return v < 128 ? std::min(d, 2 * v) : std::max(d, 2 * (v - 128)); });
    case MODE_HARD_MIX: return run([](int d, int v, int, int) { return d + v >= 255 ? 255 : 0; });
    case MODE_HOT_LIGHT:
        return run([](int d, int v, int, int) {
            return d == 255 ? 255 : std::min(255, udiv(div255(v * v) * 255, 255 - d));
        });
    case MODE_EXCLUDE: return run([&](int d, int v, int, int) { return clamp255(d + x.fx(v - 2 * div255(d * v))); });
    case MODE_MULTIPLY_ADD: return run([](int d, int v, int, int) { return clamp255(d + div255(d * v)); });
    case MODE_ADD_FAINT: return run([&](int d, int v, int, int) { return clamp255(d + x.fx(div255(v * v))); });
    }
    return 1;
}

int average_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    switch (mode) {
    case MODE_AVERAGE_1_2:
        channels(s, p, c, x, [&](int d, int v, int, int) { return clamp255(x.fx((d + v) >> 1)); });
        return 0;
    case MODE_AVERAGE_2_3:
        channels(s, p, c, x, [&](int d, int v, int, int) { return clamp255(x.fx((d + 2 * v) / 3)); });
        return 0;
    case MODE_AVERAGE_LOW:
        channels(s, p, c, x, [&](int d, int v, int, int) { return std::min<int>(d, clamp255(x.fx((d + v) >> 1))); });
        return 0;
    }
    return 1;
}

int bitwise_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    auto run = [&](auto&& f) {
        channels(s, p, c, x, f);
        return 0;
    };
    switch (mode) {
    case MODE_AND: return run([](int d, int v, int, int) { return d & v; });
    case MODE_OR: return run([](int d, int v, int, int) { return d | v; });
    case MODE_XOR: return run([](int d, int v, int, int) { return d ^ v; });
    case MODE_NAND: return run([](int d, int v, int, int) { return ~(d & v) & 255; });
    case MODE_NOR: return run([](int d, int v, int, int) { return ~(d | v) & 255; });
    case MODE_XNOR: return run([](int d, int v, int, int) { return ~(d ^ v) & 255; });
    }
    return 1;
}

// One channel of the layer, or the whole pixel that wins a comparison.
int choice_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    auto run = [&](auto&& f) {
        pixel(s, p, c, x, f);
        return 0;
    };
    auto take = [](const uint8_t* q, int* t) { t[0] = q[0], t[1] = q[1], t[2] = q[2]; };
    switch (mode) {
    case MODE_RED_CHANNEL:
        return run([](const uint8_t* D, const uint8_t* S, int* t) { t[0] = S[0], t[1] = D[1], t[2] = D[2]; });
    case MODE_GREEN_CHANNEL:
        return run([](const uint8_t* D, const uint8_t* S, int* t) { t[0] = D[0], t[1] = S[1], t[2] = D[2]; });
    case MODE_BLUE_CHANNEL:
        return run([](const uint8_t* D, const uint8_t* S, int* t) { t[0] = D[0], t[1] = D[1], t[2] = S[2]; });
    case MODE_MAXIMUM:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) { take(lum(S) > lum(D) ? S : D, t); });
    case MODE_MINIMUM:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) { take(lum(S) < lum(D) ? S : D, t); });
    case MODE_CHANNEL_MAXIMUM:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            take(max3(S[0], S[1], S[2]) > max3(D[0], D[1], D[2]) ? S : D, t);
        });
    case MODE_CHANNEL_MINIMUM:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            take(min3(S[0], S[1], S[2]) < min3(D[0], D[1], D[2]) ? S : D, t);
        });
    case MODE_CHANNEL_MAXIMUMS:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            int m = max3(S[0], S[1], S[2]);
            for (int i = 0; i < 3; ++i)
                t[i] = std::max<int>(D[i], m);
        });
    case MODE_CHANNEL_MINIMUMS:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            int m = min3(S[0], S[1], S[2]);
            for (int i = 0; i < 3; ++i)
                t[i] = std::min<int>(D[i], m);
        });
    }
    return 1;
}

// Ink plates: the layer's grey is the ink that takes away light.
int ink_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    auto run = [&](auto&& f) {
        pixel(s, p, c, x, f);
        return 0;
    };
    switch (mode) {
    case MODE_ADD_AS_CYAN:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            t[0] = div255(D[0] * lum(S)), t[1] = D[1], t[2] = D[2];
        });
    case MODE_ADD_AS_MAGENTA:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            t[0] = D[0], t[1] = div255(D[1] * lum(S)), t[2] = D[2];
        });
    case MODE_ADD_AS_YELLOW:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            t[0] = D[0], t[1] = D[1], t[2] = div255(D[2] * lum(S));
        });
    case MODE_ADD_AS_BLACK:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            int g = lum(S);
            for (int i = 0; i < 3; ++i)
                t[i] = div255(D[i] * g);
        });
    case MODE_DYE:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            int g = lum(D);
            for (int i = 0; i < 3; ++i)
                t[i] = div255(S[i] * g);
        });
    case MODE_EXPRESS:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            int g = lum(D);
            for (int i = 0; i < 3; ++i)
                t[i] = D[i] + div255((S[i] - D[i]) * g);
        });
    }
    return 1;
}

// Hue, saturation, luminosity and their adjustments.
int colour_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    auto run = [&](auto&& f) {
        pixel(s, p, c, x, f);
        return 0;
    };
    auto copy = [](const uint8_t* q, int* t) { t[0] = q[0], t[1] = q[1], t[2] = q[2]; };
    switch (mode) {
    case MODE_HUE:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            copy(S, t);
            set_sat(t, sat_of(D));
            set_lum(t, lum(D));
        });
    case MODE_SATURATION:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            copy(D, t);
            set_sat(t, sat_of(S));
            set_lum(t, lum(D));
        });
    case MODE_COLOR:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            copy(S, t);
            set_lum(t, lum(D));
        });
    case MODE_SATURATED_COLOR:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            copy(S, t);
            set_sat(t, 255);
            set_lum(t, lum(D));
        });
    case MODE_LUMA:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            copy(D, t);
            set_lum(t, lum(S));
        });
    case MODE_VALUE:
        return run([](const uint8_t* D, const uint8_t* S, int* t) {
            int vs = max3(S[0], S[1], S[2]), vd = max3(D[0], D[1], D[2]);
            for (int i = 0; i < 3; ++i)
                t[i] = vd == 0 ? vs : udiv(D[i] * vs, vd);
        });
    case MODE_HUE_ADJUST:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            int h = hue1536(D[0], D[1], D[2]);
            if (h < 0) {
                copy(D, t);
                return;
            }
            h = (h + (lum(S) - 128) * 6 + 1536 * 2) % 1536;
            from_hue(h, max3(D[0], D[1], D[2]), min3(D[0], D[1], D[2]), t);
        });
    case MODE_SATURATION_ADJUST:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            int g = x.fx(lum(S)), l = lum(D);
            for (int i = 0; i < 3; ++i)
                t[i] = clamp255(l + (((D[i] - l) * g) >> 7));
        });
    case MODE_BRIGHTNESS_ADJUST:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            int b = x.fx(lum(S) - 128);
            for (int i = 0; i < 3; ++i)
                t[i] = clamp255(D[i] + b);
        });
    case MODE_CONTRAST_ADJUST:
        return run([&](const uint8_t* D, const uint8_t* S, int* t) {
            int g = x.fx(lum(S));
            for (int i = 0; i < 3; ++i)
                t[i] = clamp255(128 + (((D[i] - 128) * g) >> 7));
        });
    case MODE_HISTOGRAM:
        prepare_histogram(x, s, p, c);
        channels(s, p, c, x, [&](int d, int, int, int i) { return clamp255(d + x.fx(x.lut[i][d] - d)); });
        return 0;
    }
    return 1;
}

// Keys: how close the layer lies to the key colour decides its cover.
int rgb_key_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    prepare_keys(x, mode, p.factor);
    cover(s, p, c, x, [&](const uint8_t*, const uint8_t* S, int w, int, int) {
        int cv = 0;
        for (int i = 0; i < 3; ++i)
            cv = std::max(cv, ramp_cover(std::abs(S[i] - x.key[i]), x.range[i], x.ramp[i]));
        return x.d255[w * (x.inverted ? 255 - cv : cv)];
    });
    return 0;
}

int luma_key_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    prepare_keys(x, mode, p.factor);
    cover(s, p, c, x, [&](const uint8_t*, const uint8_t* S, int w, int, int) {
        int cv = ramp_cover(lum(S), x.luma_range, x.luma_ramp);
        return x.d255[w * (x.inverted ? 255 - cv : cv)];
    });
    return 0;
}

template <bool WithSaturation>
int hue_key_modes(int mode, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    prepare_keys(x, mode, p.factor);
    cover(s, p, c, x, [&](const uint8_t*, const uint8_t* S, int w, int, int) {
        int h = hue1536(S[0], S[1], S[2]);
        int cv;
        if (h < 0 || x.key_hue < 0) {
            // Greys have no hue: they match a grey key only.
            cv = (h < 0 && x.key_hue < 0) ? 0 : 255;
        } else {
            int dh = std::abs(h - x.key_hue);
            cv = ramp_cover(std::min(dh, 1536 - dh), x.hue_range, x.hue_ramp);
        }
        if (WithSaturation)
            cv = std::max(cv, ramp_cover(std::abs(sat_of(S) - x.key_chroma), x.chroma_range, x.chroma_ramp));
        return x.d255[w * (x.inverted ? 255 - cv : cv)];
    });
    return 0;
}

int warp_mode(int, const Surface& s, const Piece& p, const Clip& c, Ctx&)
{
    return warp_piece(s, p, c);
}

int accumulate_mode(int, const Surface& s, const Piece& p, const Clip& c, Ctx& x)
{
    return accumulate_piece(s, p, c, x);
}

struct ModeKernel {
    int mode;
    Kernel kernel;
};

constexpr ModeKernel kModeKernels[] = {
    {MODE_NORMAL, laid_on_modes},
    {MODE_BEHIND, laid_on_modes},
    {MODE_DISSOLVE, laid_on_modes},
    {MODE_SOFT_DISSOLVE, laid_on_modes},
    {MODE_ADD, arithmetic_modes},
    {MODE_ADD_ON_GRAY, arithmetic_modes},
    {MODE_MULTIPLY, arithmetic_modes},
    {MODE_DIFFERENCE, arithmetic_modes},
    {MODE_ABS_DIFFERENCE, arithmetic_modes},
    {MODE_BRIGHTEN, arithmetic_modes},
    {MODE_DARKEN, arithmetic_modes},
    {MODE_LIGHTEN, arithmetic_modes},
    {MODE_RGB_NEGATIVE, arithmetic_modes},
    {MODE_MONO_NEGATIVE, arithmetic_modes},
    {MODE_MONOCHROME, arithmetic_modes},
    {MODE_DIFFERENCE_TO_GRAY, arithmetic_modes},
    {MODE_MASK, alpha_modes},
    {MODE_INVERTED_MASK, alpha_modes},
    {MODE_GREY_MASK, alpha_modes},
    {MODE_INVERTED_GREY_MASK, alpha_modes},
    {MODE_SCREEN, light_modes},
    {MODE_OVERLAY, light_modes},
    {MODE_HARD_LIGHT, light_modes},
    {MODE_SOFT_LIGHT, light_modes},
    {MODE_DODGE, light_modes},
    {MODE_BURN, light_modes},
    {MODE_BURN_LINEAR, light_modes},
    {MODE_DIVIDE, light_modes},
    {MODE_LINEAR_LIGHT, light_modes},
    {MODE_VIVID_LIGHT, light_modes},
    {MODE_PIN_LIGHT, light_modes},
    {MODE_HARD_MIX, light_modes},
    {MODE_HOT_LIGHT, light_modes},
    {MODE_EXCLUDE, light_modes},
    {MODE_MULTIPLY_ADD, light_modes},
    {MODE_ADD_FAINT, light_modes},
    {MODE_AVERAGE_1_2, average_modes},
    {MODE_AVERAGE_2_3, average_modes},
    {MODE_AVERAGE_LOW, average_modes},
    {MODE_AND, bitwise_modes},
    {MODE_OR, bitwise_modes},
    {MODE_XOR, bitwise_modes},
    {MODE_NAND, bitwise_modes},
    {MODE_NOR, bitwise_modes},
    {MODE_XNOR, bitwise_modes},
    {MODE_RED_CHANNEL, choice_modes},
    {MODE_GREEN_CHANNEL, choice_modes},
    {MODE_BLUE_CHANNEL, choice_modes},
    {MODE_MAXIMUM, choice_modes},
    {MODE_MINIMUM, choice_modes},
    {MODE_CHANNEL_MAXIMUM, choice_modes},
    {MODE_CHANNEL_MINIMUM, choice_modes},
    {MODE_CHANNEL_MAXIMUMS, choice_modes},
    {MODE_CHANNEL_MINIMUMS, choice_modes},
    {MODE_ADD_AS_CYAN, ink_modes},
    {MODE_ADD_AS_MAGENTA, ink_modes},
    {MODE_ADD_AS_YELLOW, ink_modes},
    {MODE_ADD_AS_BLACK, ink_modes},
    {MODE_DYE, ink_modes},
    {MODE_EXPRESS, ink_modes},
    {MODE_HUE, colour_modes},
    {MODE_SATURATION, colour_modes},
    {MODE_COLOR, colour_modes},
    {MODE_SATURATED_COLOR, colour_modes},
    {MODE_LUMA, colour_modes},
    {MODE_VALUE, colour_modes},
    {MODE_HUE_ADJUST, colour_modes},
    {MODE_SATURATION_ADJUST, colour_modes},
    {MODE_BRIGHTNESS_ADJUST, colour_modes},
    {MODE_CONTRAST_ADJUST, colour_modes},
    {MODE_HISTOGRAM, colour_modes},
    {MODE_RGB_KEY_HARD, rgb_key_modes},
    {MODE_INV_RGB_KEY_HARD, rgb_key_modes},
    {MODE_RGB_KEY_SOFT, rgb_key_modes},
    {MODE_INV_RGB_KEY_SOFT, rgb_key_modes},
    {MODE_RGB_KEY_HARD_TOL, rgb_key_modes},
    {MODE_INV_RGB_KEY_HARD_TOL, rgb_key_modes},
    {MODE_RGB_KEY_SOFT_TOL, rgb_key_modes},
    {MODE_INV_RGB_KEY_SOFT_TOL, rgb_key_modes},
    {MODE_LUMA_KEY_HARD, luma_key_modes},
    {MODE_INV_LUMA_KEY_HARD, luma_key_modes},
    {MODE_LUMA_KEY_SOFT, luma_key_modes},
    {MODE_INV_LUMA_KEY_SOFT, luma_key_modes},
    {MODE_HUE_KEY_HARD, hue_key_modes<false>},
    {MODE_INV_HUE_KEY_HARD, hue_key_modes<false>},
    {MODE_HUE_KEY_SOFT, hue_key_modes<false>},
    {MODE_INV_HUE_KEY_SOFT, hue_key_modes<false>},
    {MODE_HS_KEY_HARD, hue_key_modes<true>},
    {MODE_INV_HS_KEY_HARD, hue_key_modes<true>},
    {MODE_HS_KEY_SOFT, hue_key_modes<true>},
    {MODE_INV_HS_KEY_SOFT, hue_key_modes<true>},
    {MODE_WARP, warp_mode},
    {MODE_ACCUMULATE, accumulate_mode},
};

struct KernelsByCode {
    Kernel of[kBlendModeCount] = {};
    bool complete = false;
};

// Every code 0..92 routed exactly once, checked when the table compiles.
constexpr KernelsByCode kernels_by_code()
{
    KernelsByCode k;
    int routed = 0;
    for (const ModeKernel& m : kModeKernels) {
        if (m.mode < 0 || m.mode >= kBlendModeCount || k.of[m.mode])
            return k;
        k.of[m.mode] = m.kernel;
        ++routed;
    }
    k.complete = routed == kBlendModeCount;
    return k;
}
constexpr KernelsByCode kKernels = kernels_by_code();
static_assert(kKernels.complete, "every blend mode needs exactly one kernel");

Kernel kernel_for(int mode)
{
    return mode >= 0 && mode < kBlendModeCount ? kKernels.of[mode] : nullptr;
}

// ---- one piece onto a surface -------------------------------------------

int blend_piece(const Surface& s, const Piece& p)
{
    if (!(p.flags & LAYER_VISIBLE) || p.opacity <= 0)
        return 0;
    Kernel kernel = kernel_for(p.mode);
    if (!kernel) {
        // A mode this program does not have cannot be shown as another.
        char text[400];
        std::snprintf(text, sizeof text, "The layer \"%s\" has blend mode %d, which does not exist.",
                      p.owner_layer ? p.owner_layer->name : "", p.mode);
        error_box(text);
        return 1;
    }
    Clip c{std::max(p.x, 0), std::max(p.y, 0), 0, 0};
    c.x1 = static_cast<int>(std::min<long>(static_cast<long>(p.x) + p.w, s.w));
    c.y1 = static_cast<int>(std::min<long>(static_cast<long>(p.y) + p.h, s.h));
    if (c.x0 >= c.x1 || c.y0 >= c.y1)
        return 0;

    static thread_local Ctx x;
    prepare(x, p);
    int result = kernel(p.mode, s, p, c, x);
    if (result == 0 && (p.flags & LAYER_GLOBALMASK))
        global_mask(s, c);
    return result;
}

Piece piece_of(Image* layer, int origin_x, int origin_y)
{
    Piece p{};
    p.px = layer->pixels;
    p.w = static_cast<int>(layer->width);
    p.h = layer->height;
    p.x = layer->layer_x - origin_x;
    p.y = layer->layer_y - origin_y;
    p.mode = layer->layer_mode;
    p.opacity = layer->layer_opacity;
    p.factor = layer->layer_factor;
    p.flags = layer->layer_flags;
    p.number = layer->layer_number;
    p.owner_layer = layer;
    p.state = layer_state(layer);
    return p;
}

bool node_ok(const ListNode* node)
{
    return node && node->key == kNodeKey && node->element;
}

Image* layer_of(const ListNode* node)
{
    return static_cast<Image*>(node->element);
}

// Drops the caches of layers that left this master's stack.
void prune_caches(Image* master)
{
    for (size_t i = 0; i < g_comp.caches.size();) {
        AccumCache& a = g_comp.caches[i];
        if (a.master == master && list_find(master->layer_list, a.layer) < 0) {
            mem_free(a.px);
            g_comp.caches.erase(g_comp.caches.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
}

int composite_stack(Image* master)
{
    Surface m{master->pixels, static_cast<int>(master->width), master->height};
    const uint8_t blank[4] = {255, 255, 255, 0};
    uint32_t word;
    std::memcpy(&word, blank, 4);
    // Rows are contiguous: one fill of words for the whole master.
    std::fill_n(reinterpret_cast<uint32_t*>(m.px), static_cast<size_t>(m.w) * static_cast<size_t>(m.h), word);
    int result = 0;
    ListNode* node = master->layer_list ? master->layer_list->head : nullptr;
    while (node_ok(node) && result == 0) {
        Image* layer = layer_of(node);
        ListNode* next = node->ln_succ;
        ImageLock lock(layer);
        if (!lock) {
            node = next;
            continue;
        }
        bool starts_stack = node_ok(next) && (layer_of(next)->layer_flags & LAYER_LOCALSTACK);
        if (!starts_stack) {
            result = blend_piece(m, piece_of(layer, 0, 0));
            node = next;
            continue;
        }
        // A local stack: the following Localstack layers are composited into
        // a copy of this layer, which then goes into the master with this
        // layer's settings.
        Piece begin = piece_of(layer, 0, 0);
        size_t bytes = 4 * static_cast<size_t>(begin.w) * static_cast<size_t>(begin.h);
        auto* work = mem_alloc_as<uint8_t>(static_cast<long>(bytes), "working layer");
        if (!work) {
            message_show(msg::NoMemoryOperation);
            return 1;
        }
        std::memcpy(work, layer->pixels, bytes);
        lock.release();
        Surface ws{work, begin.w, begin.h};
        uint64_t state = begin.state;
        node = next;
        while (node_ok(node) && (layer_of(node)->layer_flags & LAYER_LOCALSTACK) && result == 0) {
            Image* member = layer_of(node);
            if (ImageLock member_lock{member}) {
                state = mix64(state, layer_state(member));
                result = blend_piece(ws, piece_of(member, layer->layer_x, layer->layer_y));
            }
            node = node->ln_succ;
        }
        begin.px = work;
        begin.state = state;
        if (result == 0)
            result = blend_piece(m, begin);
        mem_free(work);
    }
    return result;
}

} // namespace

// ---- interface --------------------------------------------------------

int composite_layers(Image* master)
{
    if (!master || !master->has_layers || !master->layer_list)
        return 1;
    if (!layer_tables_init())
        return 1;
    ImageLock lock(master, msg::NoRealMemoryOperation);
    if (!lock)
        return 1;
    g_comp.master = master;
    prune_caches(master);
    int result = composite_stack(master);
    g_comp.master = nullptr;
    lock.release();
    master->alpha = 1;
    master->recomposite = 0;
    ui::platform().redraw(master, nullptr);
    return result;
}

int layers_refresh(Image* master)
{
    if (!master || !master->recomposite || !master->has_layers)
        return 0;
    return composite_layers(master);
}

void layer_mark_master(Image* layer)
{
    if (!layer || !layer->is_layer || !layer->owner)
        return;
    layer->owner->recomposite = 1;
    ui::platform().redraw(layer->owner, nullptr);
}

void layer_forget_caches(Image* layer)
{
    for (size_t i = 0; i < g_comp.caches.size();) {
        if (g_comp.caches[i].layer == layer) {
            mem_free(g_comp.caches[i].px);
            g_comp.caches.erase(g_comp.caches.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
}

bool parse_key_color(const char* text, int rgb[3])
{
    if (!text)
        return false;
    while (*text == ' ' || *text == '#')
        ++text;
    int v[3];
    char tail = 0;
    if (std::sscanf(text, "%d%*[ ,]%d%*[ ,]%d %c", &v[0], &v[1], &v[2], &tail) == 3) {
        for (int i = 0; i < 3; ++i)
            if (v[i] < 0 || v[i] > 255)
                return false;
    } else {
        size_t n = std::strlen(text);
        while (n > 0 && text[n - 1] == ' ')
            --n;
        if (n != 6)
            return false;
        for (size_t i = 0; i < 6; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(text[i])))
                return false;
        unsigned long hex = std::strtoul(std::string(text, 6).c_str(), nullptr, 16);
        v[0] = static_cast<int>(hex >> 16 & 255);
        v[1] = static_cast<int>(hex >> 8 & 255);
        v[2] = static_cast<int>(hex & 255);
    }
    std::copy(v, v + 3, rgb);
    return true;
}

KeySettings key_settings()
{
    const Settings& st = settings();
    KeySettings k{};
    k.color[0] = 0, k.color[1] = 255, k.color[2] = 0;
    parse_key_color(st.key_color.c_str(), k.color);
    for (int i = 0; i < 3; ++i)
        k.rgb_range[i] = static_cast<int>(st.rgb_range[i]);
    k.hue_range = static_cast<int>(st.hsl_range[0]);
    k.sat_range = static_cast<int>(st.hsl_range[1]);
    k.light_range = static_cast<int>(st.hsl_range[2]);
    k.tolerance = static_cast<int>(st.tol_range);
    return k;
}

void warp_encode(uint8_t* p, long dx16, long dy16)
{
    dx16 = std::clamp(dx16 + 32768, 0L, 65535L);
    dy16 = std::clamp(dy16 + 32768, 0L, 65535L);
    p[0] = static_cast<uint8_t>(dx16 >> 8);
    p[1] = static_cast<uint8_t>(dx16);
    p[2] = static_cast<uint8_t>(dy16 >> 8);
    p[3] = static_cast<uint8_t>(dy16);
}

namespace {

// The load dispatch reads layered files through this (format code 21).
Image* read_layered(const LoadRequest& request)
{
    return elf_load(request.name);
}

bool start_layers()
{
    layer_settings_load();
    // Operations on a layer tell the stack's master to composite again.
    op_set_layer_hook(layer_mark_master);
    codec_register(CODEC_LAYERED, read_layered, nullptr,
                   [](const LoadRequest& r, ImageInfo* info) { return elf_info(r.name, info); });
    return layer_tables_init();
}

void release_layers()
{
    for (AccumCache& a : g_comp.caches)
        mem_free(a.px);
    g_comp.caches.clear();
    layer_tables_release();
    layer_settings_save();
}

struct LayersSubsystem {
    LayersSubsystem() { app_add_subsystem("layers", start_layers, release_layers); }
};
LayersSubsystem g_register;

} // namespace
