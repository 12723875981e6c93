// Lightning, Aura and Fire: whole-image generators of light.  Each draws
// over the area, blends by the mask weight and steps the progress meter the
// applier opened; a cancel returns 1 and the applier puts the image back.
#include "core/image.h"
#include "ops/framework.h"
#include "ops/lighting/lighting.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- Lightning --------------------------------------------------------------

struct Point {
    double x, y;
};

struct Segment {
    Point a, b;
    double width;   // core width in pixels
    double bright;  // 0..1
};

// A jagged path from a to b: midpoints moved sideways by up to `rough`
// times the length of the piece they split, until the pieces are short.
std::vector<Point> jagged(gen::Rng& rng, Point a, Point b, double rough)
{
    std::vector<Point> pts = {a, b};
    for (int level = 0; level < 14; ++level) {
        double longest = 0;
        std::vector<Point> next;
        next.reserve(pts.size() * 2);
        for (size_t i = 0; i + 1 < pts.size(); ++i) {
            const Point p = pts[i], q = pts[i + 1];
            const double dx = q.x - p.x, dy = q.y - p.y, len = std::hypot(dx, dy);
            next.push_back(p);
            if (len < 3)
                continue;
            const double off = rng.range(-1, 1) * rough * len;
            next.push_back({(p.x + q.x) / 2 - dy / len * off, (p.y + q.y) / 2 + dx / len * off});
            longest = std::max(longest, len / 2);
        }
        next.push_back(pts.back());
        pts.swap(next);
        if (longest < 3)
            break;
    }
    return pts;
}

void add_path(std::vector<Segment>& segs, const std::vector<Point>& pts, double width, double bright)
{
    for (size_t i = 0; i + 1 < pts.size(); ++i)
        segs.push_back({pts[i], pts[i + 1], width, bright});
}

double segment_distance(const Segment& s, double x, double y)
{
    const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? ((x - s.a.x) * dx + (y - s.a.y) * dy) / l2 : 0;
    t = gen::clamp01(t);
    return std::hypot(x - (s.a.x + t * dx), y - (s.a.y + t * dy));
}

} // namespace

int lightning_worker(Image* target, uint8_t* mask)
{
    const LightingParams& lp = lighting_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const int w = a.width(), h = a.height();
    gen::Rng rng(static_cast<uint64_t>(static_cast<uint32_t>(lp.bolt_seed)));

    auto at = [&a](const int32_t pct[2]) {
        return Point{a.x0 + std::clamp(pct[0], 0, 100) / 100.0 * (a.width() - 1),
                     a.y0 + std::clamp(pct[1], 0, 100) / 100.0 * (a.height() - 1)};
    };
    const Point from = at(lp.bolt_from), to = at(lp.bolt_to);
    const double rough = std::clamp(lp.bolt_roughness, 0, 100) / 100.0 * 0.35;
    const double width = std::clamp(lp.bolt_thickness, 1, 100);
    const double glow = std::clamp(lp.bolt_glow, 0, 1000);

    std::vector<Segment> segs;
    const std::vector<Point> main = jagged(rng, from, to, rough);
    add_path(segs, main, width, 1.0);
    const double main_len = std::hypot(to.x - from.x, to.y - from.y);
    const int branches = std::clamp(lp.bolt_branches, 0, 100);
    for (int b = 0; b < branches && main.size() > 2; ++b) {
        const double t = rng.range(0.1, 0.8);
        const size_t i = std::min(main.size() - 2, static_cast<size_t>(t * static_cast<double>(main.size() - 1)));
        const Point p = main[i];
        const double dir = std::atan2(to.y - from.y, to.x - from.x) + (rng.uniform() < 0.5 ? -1 : 1) *
                                                                       rng.range(0.35, 0.8);
        const double len = main_len * (1 - t) * rng.range(0.25, 0.55);
        const Point q{p.x + std::cos(dir) * len, p.y + std::sin(dir) * len};
        add_path(segs, jagged(rng, p, q, rough * 1.2), std::max(1.0, width * 0.5), 0.65);
    }

    // The light of every segment: a solid core and a glow around it.
    std::vector<float> core(static_cast<size_t>(w) * h, 0.0f), halo(static_cast<size_t>(w) * h, 0.0f);
    const double reach = width / 2 + 1 + 3 * glow;
    long done = 0;
    for (const Segment& s : segs) {
        if ((++done & 63) == 0 && gen::progress(done, static_cast<long>(segs.size()) * 2))
            return 1;
        const int bx0 = std::max(a.x0, static_cast<int>(std::floor(std::min(s.a.x, s.b.x) - reach)));
        const int bx1 = std::min(a.x1, static_cast<int>(std::ceil(std::max(s.a.x, s.b.x) + reach)));
        const int by0 = std::max(a.y0, static_cast<int>(std::floor(std::min(s.a.y, s.b.y) - reach)));
        const int by1 = std::min(a.y1, static_cast<int>(std::ceil(std::max(s.a.y, s.b.y) + reach)));
        for (int y = by0; y <= by1; ++y)
            for (int x = bx0; x <= bx1; ++x) {
                const double d = segment_distance(s, x, y);
                if (d > reach)
                    continue;
                const size_t i = static_cast<size_t>(y - a.y0) * w + static_cast<size_t>(x - a.x0);
                const double c = gen::clamp01(s.width / 2 + 0.5 - d) * s.bright;
                core[i] = std::max(core[i], static_cast<float>(c));
                if (glow > 0) {
                    const double f = 1 - d / (3 * glow);
                    halo[i] = std::max(halo[i], static_cast<float>(f * f * f * s.bright));
                }
            }
    }
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(static_cast<long>(segs.size()) + (y - a.y0) * static_cast<long>(segs.size()) / h,
                          static_cast<long>(segs.size()) * 2))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[target->rows[y] + static_cast<uint32_t>(x)];
            const size_t i = static_cast<size_t>(y - a.y0) * w + static_cast<size_t>(x - a.x0);
            if (!m || (core[i] <= 0 && halo[i] <= 0))
                continue;
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            for (int k = 0; k < 3; ++k)
                c[k] = gen::screen(gen::screen(c[k], halo[i] * std::clamp(lp.bolt_rgb[k], 0, 255)), core[i] * 255.0);
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}

// ---- Aura --------------------------------------------------------------------

int aura_worker(Image* target, uint8_t* mask)
{
    const LightingParams& lp = lighting_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const int iw = static_cast<int>(target->width), ih = target->height;

    // The shapes: bright (or opaque) pixels anywhere in the image.
    const int threshold = std::clamp(lp.aura_threshold, 0, 255);
    std::vector<uint8_t> shape(static_cast<size_t>(iw) * ih);
    for (int y = 0; y < ih; ++y)
        for (int x = 0; x < iw; ++x) {
            const uint8_t* p = target->pixel(x, y);
            const int v = lp.aura_source == 1 ? p[3] : gen::luma(p[0], p[1], p[2]);
            shape[static_cast<size_t>(y) * iw + x] = v >= threshold ? 1 : 0;
        }
    std::vector<float> dist;
    gen::distance_field(shape.data(), iw, ih, dist);
    if (gen::progress(1, 4))
        return 1;

    const double size = std::max(1, lp.aura_size);
    const double exponent = 0.5 + std::clamp(lp.aura_falloff, 1, 100) / 25.0;
    const double strength = std::clamp(lp.aura_strength, 0, 100) / 100.0;
    const double turb = std::clamp(lp.aura_turbulence, 0, 100) / 100.0;
    const double scale = std::max(1, lp.aura_scale);
    const double phase = lp.aura_phase * kPi / 180;
    // The phase walks the noise round a circle: 0 and 360 give the same frame.
    const double ox = 2 * std::cos(phase), oy = 2 * std::sin(phase);
    const uint64_t seed = static_cast<uint32_t>(lp.aura_seed);
    const long rows = a.height();
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(rows + 3 * (y - a.y0), 4 * rows))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[target->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            const double d = dist[static_cast<size_t>(y) * iw + x];
            double t;
            if (d <= 0) {
                if (!lp.aura_inside)
                    continue;
                t = 0;
            } else {
                t = d / size;
                if (t > 1.5)
                    continue;
                if (turb > 0)
                    t *= 1 + turb * 0.8 * gen::fbm(seed, x / scale + ox, y / scale + oy, 3, 0.5);
            }
            if (t >= 1)
                continue;
            const double f = std::pow(1 - std::max(0.0, t), exponent) * strength * (d <= 0 ? 0.5 : 1);
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            for (int k = 0; k < 3; ++k) {
                const double col = lp.aura_inner[k] + (lp.aura_outer[k] - lp.aura_inner[k]) * std::max(0.0, t);
                c[k] = gen::screen(c[k], f * std::clamp(col, 0.0, 255.0));
            }
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}

// ---- Fire ----------------------------------------------------------------------

namespace {

// The heat 0..1 → a colour between the tip (0), the middle (0.4) and the
// core (0.8 and above).
void fire_colour(const LightingParams& lp, double heat, double out[3])
{
    for (int k = 0; k < 3; ++k) {
        const double tip = lp.fire_tip[k], mid = lp.fire_mid[k], core = lp.fire_core[k];
        double v;
        if (heat < 0.4)
            v = tip + (mid - tip) * heat / 0.4;
        else if (heat < 0.8)
            v = mid + (core - mid) * (heat - 0.4) / 0.4;
        else
            v = core;
        out[k] = std::clamp(v, 0.0, 255.0);
    }
}

} // namespace

int fire_worker(Image* target, uint8_t* mask)
{
    const LightingParams& lp = lighting_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const uint64_t seed = static_cast<uint32_t>(lp.fire_seed);
    const double height = std::max(1.0, std::clamp(lp.fire_height, 0, 100) / 100.0 * a.height());
    const double intensity = std::clamp(lp.fire_intensity, 0, 300) / 100.0;
    const double cooling = 0.5 + std::clamp(lp.fire_cooling, 0, 100) / 100.0;
    const double wind = std::clamp(lp.fire_wind, -100, 100) / 100.0;
    const double turb = std::clamp(lp.fire_turbulence, 0, 100) / 100.0;
    const double scale = std::max(1, lp.fire_scale);
    const int tongues = std::clamp(lp.fire_tongues, 1, 1000);
    const double spread = std::clamp(lp.fire_spread, 0, 100) / 100.0;
    const double smoke = std::clamp(lp.fire_smoke, 0, 100) / 100.0;
    const double opacity = std::clamp(lp.fire_opacity, 0, 100) / 100.0;
    const double rise = lp.fire_time * scale * 0.25;
    // A tongue's height, from the seed: tall ones and short ones.
    auto tongue_height = [&](int64_t k) { return 1 - spread * 0.7 * gen::hash01(seed, k, 7); };
    const double phase = gen::hash01(seed, 3);

    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        const double v = (a.y1 - y) / height;  // 0 at the base, 1 at the top of the tallest tongues
        if (v > 2.2)
            continue;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[target->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            // Wind bends the flames as they rise.
            const double xs = x - wind * v * height * 0.6;
            const double u = (xs - a.x0) / a.width() * tongues + phase;
            const double fu = std::floor(u), fr = u - fu;
            const int64_t k = static_cast<int64_t>(fu);
            const double amp = tongue_height(k) + (tongue_height(k + 1) - tongue_height(k)) * gen::smoothstep(0, 1, fr);
            const double shape = amp * (0.7 + 0.3 * std::cos(2 * kPi * (fr - 0.5)));
            const double n = gen::fbm(seed, xs / scale, (y + rise) / scale, 4, 0.5);
            const double vt = v + turb * 0.35 * n * (0.3 + v);
            const double heat = (shape - vt * cooling) * intensity;
            double smoke_a = 0, flame_a = 0;
            if (heat > 0) {
                flame_a = gen::clamp01(heat / 0.12) * opacity;
            } else if (smoke > 0 && heat > -0.6) {
                const double s = 1 - std::fabs(heat + 0.3) / 0.3;
                const double puff = 0.5 + 0.5 * gen::fbm(seed + 1, xs / (scale * 1.5), (y + rise * 0.7) / (scale * 1.5), 3, 0.5);
                smoke_a = gen::clamp01(s) * smoke * puff * 0.8 * opacity;
            }
            if (flame_a <= 0 && smoke_a <= 0)
                continue;
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            double col[3];
            fire_colour(lp, gen::clamp01(heat), col);
            for (int i = 0; i < 3; ++i) {
                double o = c[i] + (std::clamp(lp.fire_smoke_rgb[i], 0, 255) - c[i]) * smoke_a;
                o = gen::screen(gen::clamp255(o), col[i] * flame_a);
                c[i] = gen::clamp255(o);
            }
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}
