// Asterize, Annular, Refract and Shine.
//
// Their prepare hooks (and Shine's pre-pass) take the area's geometry, the
// parameters and the profiles into the prepared state below once per run;
// the workers only read it, so rows may be worked in any order.
#include "core/image.h"
#include "ops/framework.h"
#include "ops/lighting/lighting.h"
#include "ops/profiles.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A profile's 201 values as numbers, read at a fraction 0..1 of its length.
struct Curve {
    double v[kProfilePoints];
    void load(const char* name, double scale)
    {
        const int16_t* p = profile_find(name);
        for (int i = 0; i < kProfilePoints; ++i)
            v[i] = p ? p[i] * scale : 0;
    }
    double at(double t) const
    {
        const double pos = gen::clamp01(t) * (kProfilePoints - 1);
        const int i = std::min(static_cast<int>(pos), kProfilePoints - 2);
        return v[i] + (v[i + 1] - v[i]) * (pos - i);
    }
    bool any() const
    {
        for (double x : v)
            if (x > 0)
                return true;
        return false;
    }
};

struct Star {
    gen::Area area;
    int arms;
    double cosa[64], sina[64], length[64];
    double width;      // root width as a share of the arm's length
    double core;       // core radius in pixels
    double intensity;
    double rgb[3];
    Curve arm;
    bool alpha;
} g_star;

struct Ring {
    gen::Area area;
    double inner, width;
    double rgb[3];
    Curve shape;
    bool alpha;
} g_ring;

struct Refraction {
    gen::Area area;
    // [ring or ray][hue, saturation, lightness]: colour and power (0..1).
    Curve colour[2][3], power[2][3];
    double amount;
    bool alpha;
} g_refract;

struct Glow {
    int x0, y0, w, h;   // the part of the image the glow covers
    int channels;       // 3, or 1 in alpha mode
    double strength;
    std::vector<float> light;
} g_glow;

void add_light(uint8_t* p, const double light[3], int m, bool alpha)
{
    int c[3];
    gen::take(p, alpha, c);
    for (int k = 0; k < 3; ++k)
        c[k] = gen::screen(c[k], light[k]);
    gen::put(p, c, m, alpha);
}

// ---- hue, saturation, lightness in doubles (hue 0..360, the others 0..100)

void to_hsl(const int rgb[3], double hsl[3])
{
    const double r = rgb[0] / 255.0, g = rgb[1] / 255.0, b = rgb[2] / 255.0;
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    const double l = (mx + mn) / 2, d = mx - mn;
    double h = 0, s = 0;
    if (d > 1e-12) {
        s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
        if (mx == r)
            h = (g - b) / d + (g < b ? 6 : 0);
        else if (mx == g)
            h = (b - r) / d + 2;
        else
            h = (r - g) / d + 4;
        h *= 60;
    }
    hsl[0] = h, hsl[1] = s * 100, hsl[2] = l * 100;
}

double hue_part(double p, double q, double t)
{
    if (t < 0)
        t += 1;
    if (t > 1)
        t -= 1;
    if (t < 1.0 / 6)
        return p + (q - p) * 6 * t;
    if (t < 0.5)
        return q;
    if (t < 2.0 / 3)
        return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

void from_hsl(const double hsl[3], int rgb[3])
{
    const double h = hsl[0] / 360, s = gen::clamp01(hsl[1] / 100), l = gen::clamp01(hsl[2] / 100);
    if (s <= 0) {
        rgb[0] = rgb[1] = rgb[2] = gen::clamp255(l * 255);
        return;
    }
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s, p = 2 * l - q;
    rgb[0] = gen::clamp255(hue_part(p, q, h + 1.0 / 3) * 255);
    rgb[1] = gen::clamp255(hue_part(p, q, h) * 255);
    rgb[2] = gen::clamp255(hue_part(p, q, h - 1.0 / 3) * 255);
}

// Moves a hue towards another along the shorter way round.
double hue_towards(double from, double to, double w)
{
    double d = std::fmod(to - from, 360.0);
    if (d > 180)
        d -= 360;
    if (d < -180)
        d += 360;
    double h = std::fmod(from + d * w, 360.0);
    return h < 0 ? h + 360 : h;
}

// One direction of Shine's streaks through the glow buffer: light carried
// along lines stepping (dx, dy), fading by k per pixel, both ways.  Adds to
// `out` what reaches each pixel from its neighbours (not its own light).
void streak(const std::vector<float>& bright, std::vector<float>& out, int w, int h, int ch, int dx, int dy,
            float k)
{
    std::vector<int> line;
    std::vector<float> fwd;
    auto run = [&](int sx, int sy) {
        line.clear();
        for (int x = sx, y = sy; x >= 0 && x < w && y >= 0 && y < h; x += dx, y += dy)
            line.push_back(y * w + x);
        const size_t n = line.size();
        fwd.assign(n * static_cast<size_t>(ch), 0.0f);
        for (int c = 0; c < ch; ++c) {
            float acc = 0;
            for (size_t i = 0; i < n; ++i) {
                fwd[i * ch + c] = acc;
                acc = (acc + bright[static_cast<size_t>(line[i]) * ch + c]) * k;
            }
            acc = 0;
            for (size_t i = n; i-- > 0;) {
                const size_t at = static_cast<size_t>(line[i]) * ch + c;
                out[at] += fwd[i * ch + c] + acc;
                acc = (acc + bright[at]) * k;
            }
        }
    };
    if (dy == 0) {
        for (int y = 0; y < h; ++y)
            run(0, y);
    } else if (dx == 0) {
        for (int x = 0; x < w; ++x)
            run(x, 0);
    } else {
        // Diagonals start on the top row and on the side they leave from.
        for (int x = 0; x < w; ++x)
            run(x, 0);
        for (int y = 1; y < h; ++y)
            run(dx > 0 ? 0 : w - 1, y);
    }
}

} // namespace

// ---- Asterize ----------------------------------------------------------------

int asterize_prepare(Image*, int)
{
    const LightingParams& lp = lighting_params();
    Star& s = g_star;
    s.area = gen::area();
    s.alpha = op_state().alpha_mode;
    s.arm.load("asterize", 1.0 / 255);
    s.arms = std::clamp(lp.star_arms, 1, 64);
    const double len = std::max(1.0, lp.star_length / 100.0 * s.area.hmin());
    for (int k = 0; k < s.arms; ++k) {
        const double a = (lp.star_turn + 360.0 * k / s.arms) * kPi / 180;
        s.cosa[k] = std::cos(a), s.sina[k] = std::sin(a);
        s.length[k] = len * (k % 2 ? 1 - std::clamp(lp.star_twinkle, 0, 100) / 100.0 : 1);
    }
    s.width = std::max(0, lp.star_width) / 100.0;
    s.core = std::max(0, lp.star_core) / 100.0 * len;
    s.intensity = std::max(0, lp.star_intensity) / 100.0;
    for (int c = 0; c < 3; ++c)
        s.rgb[c] = std::clamp(lp.star_rgb[c], 0, 255);
    if (s.intensity <= 0 || (!s.arm.any() && s.core <= 0) || (s.rgb[0] + s.rgb[1] + s.rgb[2]) == 0)
        return op_refuse_no_change();
    return 0;
}

void asterize_worker(uint8_t* p, int x, int y, int m)
{
    const Star& s = g_star;
    const double dx = x - s.area.cx, dy = y - s.area.cy;
    double sum = 0;
    for (int k = 0; k < s.arms; ++k) {
        const double along = dx * s.cosa[k] + dy * s.sina[k];
        if (along < 0 || along > s.length[k] || s.length[k] <= 0)
            continue;
        const double across = std::fabs(dy * s.cosa[k] - dx * s.sina[k]);
        const double t = along / s.length[k];
        const double half = std::max(0.7, s.width * s.length[k] * (1 - t) / 2);
        if (across >= half)
            continue;
        const double f = 1 - across / half;
        sum += s.arm.at(t) * f * f;
    }
    if (s.core > 0) {
        const double r = std::hypot(dx, dy) / s.core;
        if (r < 4)
            sum += std::exp(-r * r);
    }
    const double i = s.intensity * sum;
    if (i <= 0)
        return;
    const double light[3] = {i * s.rgb[0], i * s.rgb[1], i * s.rgb[2]};
    add_light(p, light, m, s.alpha);
}

// ---- Annular ------------------------------------------------------------------

int annular_prepare(Image*, int)
{
    const LightingParams& lp = lighting_params();
    Ring& r = g_ring;
    r.area = gen::area();
    r.alpha = op_state().alpha_mode;
    r.shape.load("annular", 1.0 / 256);
    const double radius = std::max(0, lp.ring_radius) / 100.0 * r.area.hmin();
    r.width = std::max(1.0, std::max(0, lp.ring_width) / 100.0 * r.area.hmin());
    r.inner = radius - r.width / 2;
    for (int c = 0; c < 3; ++c)
        r.rgb[c] = std::clamp(lp.ring_rgb[c], 0, 255);
    if (!r.shape.any() || (r.rgb[0] + r.rgb[1] + r.rgb[2]) == 0)
        return op_refuse_no_change();
    return 0;
}

void annular_worker(uint8_t* p, int x, int y, int m)
{
    const Ring& r = g_ring;
    const double u = (std::hypot(x - r.area.cx, y - r.area.cy) - r.inner) / r.width;
    if (u < 0 || u > 1)
        return;
    const double i = r.shape.at(u);
    if (i <= 0)
        return;
    const double light[3] = {i * r.rgb[0], i * r.rgb[1], i * r.rgb[2]};
    add_light(p, light, m, r.alpha);
}

// ---- Refract --------------------------------------------------------------------

int refract_prepare(Image*, int)
{
    Refraction& f = g_refract;
    f.area = gen::area();
    f.alpha = op_state().alpha_mode;
    f.amount = std::clamp(lighting_params().refract_amount, 0, 100) / 100.0;
    static const char* const kColour[2][3] = {{"CHprof", "CSprof", "CLprof"}, {"RHprof", "RSprof", "RLprof"}};
    static const char* const kPower[2][3] = {{"CHPprof", "CSPprof", "CLPprof"}, {"RHPprof", "RSPprof", "RLPprof"}};
    static const double kHigh[3] = {360, 100, 100};
    bool any = false;
    for (int set = 0; set < 2; ++set)
        for (int c = 0; c < 3; ++c) {
            f.colour[set][c].load(kColour[set][c], 1);
            f.power[set][c].load(kPower[set][c], 1 / kHigh[c]);
            any = any || f.power[set][c].any();
        }
    if (f.amount <= 0 || !any)
        return op_refuse_no_change();
    return 0;
}

void refract_worker(uint8_t* p, int x, int y, int m)
{
    const Refraction& f = g_refract;
    const double dx = (x - f.area.cx) / f.area.hw, dy = (y - f.area.cy) / f.area.hh;
    // Along the rings: 0 at the centre, 1 at the area's edge and beyond.
    const double ring = std::min(1.0, std::hypot(dx, dy));
    // Round the rays: 0..1 clockwise from pointing right.
    double ray = std::atan2(dy, dx) / (2 * kPi);
    if (ray < 0)
        ray += 1;
    int rgb[3];
    gen::take(p, f.alpha, rgb);
    double hsl[3];
    to_hsl(rgb, hsl);
    const double at[2] = {ring, ray};
    for (int set = 0; set < 2; ++set) {
        const double w0 = f.power[set][0].at(at[set]) * f.amount;
        if (w0 > 0)
            hsl[0] = hue_towards(hsl[0], f.colour[set][0].at(at[set]), gen::clamp01(w0));
        for (int c = 1; c < 3; ++c) {
            const double w = gen::clamp01(f.power[set][c].at(at[set]) * f.amount);
            hsl[c] += (f.colour[set][c].at(at[set]) - hsl[c]) * w;
        }
    }
    from_hsl(hsl, rgb);
    gen::put(p, rgb, m, f.alpha);
}

// ---- Shine ------------------------------------------------------------------------

int shine_prepare(Image*, int)
{
    const LightingParams& lp = lighting_params();
    if (lp.shine_strength <= 0 || lp.shine_threshold >= 255 || lp.shine_length <= 0)
        return op_refuse_no_change();
    return 0;
}

int shine_prepass(Image* target, uint8_t* pixels)
{
    const LightingParams& lp = lighting_params();
    Glow& g = g_glow;
    const gen::Area a = gen::area();
    const int length = std::clamp(lp.shine_length, 1, 1000);
    // Light from up to three lengths outside the area still reaches it.
    const int margin = 3 * length;
    const int iw = static_cast<int>(target->width), ih = target->height;
    g.x0 = std::max(0, a.x0 - margin);
    g.y0 = std::max(0, a.y0 - margin);
    g.w = std::min(iw - 1, a.x1 + margin) - g.x0 + 1;
    g.h = std::min(ih - 1, a.y1 + margin) - g.y0 + 1;
    g.channels = op_state().alpha_mode ? 1 : 3;
    g.strength = std::max(0, lp.shine_strength) / 100.0 * 0.5;
    const int ch = g.channels;
    const size_t n = static_cast<size_t>(g.w) * static_cast<size_t>(g.h) * static_cast<size_t>(ch);
    std::vector<float> bright(n);
    const int threshold = std::clamp(lp.shine_threshold, 0, 254);
    for (int y = 0; y < g.h; ++y)
        for (int x = 0; x < g.w; ++x) {
            const uint8_t* p = pixels + 4 * (static_cast<size_t>(target->rows[g.y0 + y]) + static_cast<size_t>(g.x0 + x));
            const size_t at = (static_cast<size_t>(y) * g.w + x) * ch;
            if (ch == 1) {
                bright[at] = static_cast<float>(std::max(0, p[3] - threshold));
                continue;
            }
            // Only what is bright overall shines, in its own colour.
            const int l = gen::luma(p[0], p[1], p[2]);
            const float excess = l > threshold ? static_cast<float>(l - threshold) / static_cast<float>(l) : 0.0f;
            for (int c = 0; c < 3; ++c)
                bright[at + static_cast<size_t>(c)] = p[c] * excess;
        }
    g.light.assign(n, 0.0f);
    const float k = static_cast<float>(std::exp(-3.0 / length));
    switch (lp.shine_rays) {
    case 0: {
        // A soft glow: the light spread across, then that spread down.
        std::vector<float> across(n, 0.0f);
        streak(bright, across, g.w, g.h, ch, 1, 0, k);
        for (size_t i = 0; i < n; ++i)
            across[i] += bright[i];
        streak(across, g.light, g.w, g.h, ch, 0, 1, k);
        for (size_t i = 0; i < n; ++i)
            g.light[i] += across[i] - bright[i];
        break;
    }
    default:
        streak(bright, g.light, g.w, g.h, ch, 1, 0, k);
        if (lp.shine_rays >= 4)
            streak(bright, g.light, g.w, g.h, ch, 0, 1, k);
        if (lp.shine_rays >= 8) {
            streak(bright, g.light, g.w, g.h, ch, 1, 1, k);
            streak(bright, g.light, g.w, g.h, ch, -1, 1, k);
        }
        break;
    }
    return 0;
}

void shine_worker(uint8_t* p, int x, int y, int m)
{
    const Glow& g = g_glow;
    if (m <= 0 || g.light.empty())
        return;
    const int gx = x - g.x0, gy = y - g.y0;
    if (gx < 0 || gy < 0 || gx >= g.w || gy >= g.h)
        return;
    const float* l = g.light.data() + (static_cast<size_t>(gy) * g.w + gx) * g.channels;
    const bool alpha = g.channels == 1;
    const double light[3] = {l[0] * g.strength, l[alpha ? 0 : 1] * g.strength, l[alpha ? 0 : 2] * g.strength};
    add_light(p, light, m, alpha);
}

int shine_finish(Image*, int)
{
    g_glow.light = std::vector<float>();
    return 0;
}

void lights_release()
{
    g_glow.light = std::vector<float>();
}
