// Crater: an impact crater pressed into the picture at the area's centre,
// its cross-section the "crater" profile, the rays of thrown-out rock
// round it the "ejecta" profile.  The prepare hook takes the profiles and
// the geometry into the prepared state; the worker only reads it.
#include "core/image.h"
#include "ops/framework.h"
#include "ops/profiles.h"
#include "ops/render/gen.h"
#include "ops/render/render.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct CraterState {
    gen::Area area;
    double radius, ejecta, depth;
    double lx, ly, lz;  // towards the light
    uint64_t seed;
    double crater[kProfilePoints], rays[kProfilePoints];
    bool alpha;
} g_crater;

double curve_at(const double* v, double t)
{
    const double pos = gen::clamp01(t) * (kProfilePoints - 1);
    const int i = std::min(static_cast<int>(pos), kProfilePoints - 2);
    return v[i] + (v[i + 1] - v[i]) * (pos - i);
}

} // namespace

void render_profiles_reset()
{
    int16_t* crater = profile_find("crater");
    int16_t* ejecta = profile_find("ejecta");
    for (int i = 0; i < kProfilePoints; ++i) {
        const double t = i / 200.0;
        // A bowl rising to a raised rim, then down to the ground (128) at the edge.
        const double h = t < 0.85 ? 50 + 170 * std::pow(t / 0.85, 2.2) : 220 - 92 * gen::smoothstep(0.85, 1, t);
        if (crater)
            crater[i] = static_cast<int16_t>(std::lround(h));
        if (ejecta)
            ejecta[i] = static_cast<int16_t>(std::lround(255 * (1 - t) * (1 - t)));
    }
}

int crater_prepare(Image*, int)
{
    const RenderParams& rp = render_params();
    CraterState& s = g_crater;
    s.area = gen::area();
    s.alpha = op_state().alpha_mode;
    s.radius = std::max(1.0, std::clamp(rp.crater_radius, 0, 1000) / 100.0 * s.area.hmin());
    s.ejecta = std::clamp(rp.crater_ejecta, 0, 1000) / 100.0;
    s.depth = std::clamp(rp.crater_depth, 0, 1000) / 100.0;
    const double a = rp.crater_light * kPi / 180, e = 45 * kPi / 180;
    s.lx = std::cos(a) * std::cos(e), s.ly = std::sin(a) * std::cos(e), s.lz = std::sin(e);
    s.seed = static_cast<uint32_t>(rp.crater_seed);
    const int16_t* crater = profile_find("crater");
    const int16_t* ejecta = profile_find("ejecta");
    int clo, chi, elo, ehi;
    gen::profile_span(crater, &clo, &chi);
    gen::profile_span(ejecta, &elo, &ehi);
    for (int i = 0; i < kProfilePoints; ++i) {
        s.crater[i] = crater ? crater[i] : 128;
        s.rays[i] = ejecta ? std::max<int>(0, ejecta[i]) / 255.0 : 0;
    }
    // A flat crater without rays, or no depth at all, changes nothing.
    if ((clo == chi || s.depth <= 0) && (ehi <= 0 || s.ejecta <= 0))
        return op_refuse_no_change();
    return 0;
}

void crater_worker(uint8_t* p, int x, int y, int m)
{
    const CraterState& s = g_crater;
    const double dx = x - s.area.cx, dy = y - s.area.cy, r = std::hypot(dx, dy);
    const double rho = r / s.radius;
    int c[3];
    gen::take(p, s.alpha, c);
    if (rho <= 1) {
        if (s.depth <= 0)
            return;
        // Slope of the profile over the radius, turned into a surface normal;
        // a crater looks the same at any size.
        const double e = 1.0 / 200;
        const double slope = (curve_at(s.crater, rho + e) - curve_at(s.crater, rho - e)) / (2 * e * 255);
        const double k = slope * s.depth * 0.5;
        const double nx = r > 0 ? -k * dx / r : 0, ny = r > 0 ? -k * dy / r : 0;
        const double lit = (nx * s.lx + ny * s.ly + s.lz) / std::sqrt(nx * nx + ny * ny + 1);
        // A quarter of the light comes from the sky all round.
        double f = (0.25 + 0.75 * std::max(0.0, lit)) / (0.25 + 0.75 * s.lz);
        // The floor lies in its own shade.
        const double below = std::max(0.0, 128 - curve_at(s.crater, rho)) / 255;
        f *= 1 - below * 0.5 * std::min(1.0, s.depth);
        for (int i = 0; i < 3; ++i)
            c[i] = gen::clamp255(c[i] * f);
    } else if (s.ejecta > 0 && rho <= 1 + s.ejecta) {
        const double t = (rho - 1) / s.ejecta;
        // Rays: noise round the circle, so that it closes on itself.
        const double ang = std::atan2(dy, dx);
        const double n = gen::fbm(s.seed, 3 * std::cos(ang) + 7, 3 * std::sin(ang) + 7, 3, 0.6);
        const double ray = std::pow(gen::clamp01(0.5 + 0.8 * n), 2);
        const double b = curve_at(s.rays, t) * (0.25 + 0.75 * ray) * 0.7;
        if (b <= 0)
            return;
        for (int i = 0; i < 3; ++i)
            c[i] = gen::clamp255(c[i] + (255 - c[i]) * b);
    } else {
        return;
    }
    gen::put(p, c, m, s.alpha);
}
