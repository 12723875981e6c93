#include "raytrace/texture.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 2 * 3.141592654;

double fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
double lerp(double a, double b, double t) { return a + (b - a) * t; }
double smoothstep(double e0, double e1, double x)
{
    double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}
double frac(double x) { return x - std::floor(x); }
Vec3 mix(const Vec3& a, const Vec3& b, double t) { return a + (b - a) * t; }

// A small generator for the tables: the same seed gives the same scene.
uint32_t next_random(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

uint32_t hash3(const Noise& n, int x, int y, int z)
{
    return n.perm[(n.perm[(n.perm[x & 255] + y) & 255] + z) & 255];
}

Vec3 colour(const Surface& s, int slot)
{
    return Vec3(s.color[slot].v);
}

double param(const TextureSlot& t, int i, double fallback)
{
    return t.p[i] != 0 ? t.p[i] : fallback;
}

// The height fields behind the surface and displacement textures.
double height(const Noise& n, int slot, const TextureSlot& t, const Vec3& q)
{
    double phase = t.p[2];
    if (slot == TEX_SURFACE) {
        switch (t.kind) {
        case SURF_WAVES:
            // Ripples spreading over the ground plane from the origin.
            return std::sin(kTwoPi * std::sqrt(q.x * q.x + q.z * q.z) - phase);
        case SURF_SINES: return std::sin(kTwoPi * q.x + phase) * std::sin(kTwoPi * q.z + phase);
        case SURF_DUNES: {
            // Ridges with a gentle windward side and a steep lee.
            double x = q.x + 0.3 * std::sin(q.z * 1.7) + 0.2 * fbm(n, q * 0.5, 3) + phase;
            double f = frac(x);
            return f < 0.75 ? f / 0.75 : (1 - f) / 0.25;
        }
        case SURF_PLASMA: return fbm(n, q + Vec3(phase, 0, phase), 5);
        }
    } else if (slot == TEX_DISPLACE) {
        switch (t.kind) {
        case DISP_CHECKER: {
            auto s = [](double v) { return std::clamp(std::sin(3.141592654 * v) * 4, -1.0, 1.0); };
            return s(q.x) * s(q.y) * s(q.z);
        }
        case DISP_NOISE: return noise3(n, q * 4 + Vec3(phase, phase, phase));
        }
    }
    return 0;
}

} // namespace

void noise_init(Noise& n, long seed)
{
    uint32_t state = static_cast<uint32_t>(seed) * 2654435761u + 0x9e3779b9u;
    if (state == 0)
        state = 1;
    for (int i = 0; i < 256; ++i)
        n.perm[i] = static_cast<uint8_t>(i);
    for (int i = 255; i > 0; --i) {
        int j = static_cast<int>(next_random(state) % static_cast<uint32_t>(i + 1));
        std::swap(n.perm[i], n.perm[j]);
    }
    for (int i = 0; i < 256; ++i) {
        n.perm[256 + i] = n.perm[i];
        Vec3 g;
        do {
            g = Vec3(next_random(state) / 2147483648.0 - 1, next_random(state) / 2147483648.0 - 1,
                     next_random(state) / 2147483648.0 - 1);
        } while (dot(g, g) > 1 || dot(g, g) < 0.01);
        n.grad[i] = normalise(g);
    }
}

double noise3(const Noise& n, const Vec3& p)
{
    if (!finite3(p))
        return 0;
    // The tables repeat every 256 units: far points fold back first.
    Vec3 q(std::fmod(p.x, 256.0), std::fmod(p.y, 256.0), std::fmod(p.z, 256.0));
    double fx = std::floor(q.x), fy = std::floor(q.y), fz = std::floor(q.z);
    int x = static_cast<int>(clamp_whole(fx, -512, 512) & 255);
    int y = static_cast<int>(clamp_whole(fy, -512, 512) & 255);
    int z = static_cast<int>(clamp_whole(fz, -512, 512) & 255);
    double dx = q.x - fx, dy = q.y - fy, dz = q.z - fz;
    auto corner = [&](int i, int j, int k) {
        const Vec3& g = n.grad[hash3(n, x + i, y + j, z + k)];
        return g.x * (dx - i) + g.y * (dy - j) + g.z * (dz - k);
    };
    double u = fade(dx), v = fade(dy), w = fade(dz);
    double x00 = lerp(corner(0, 0, 0), corner(1, 0, 0), u);
    double x10 = lerp(corner(0, 1, 0), corner(1, 1, 0), u);
    double x01 = lerp(corner(0, 0, 1), corner(1, 0, 1), u);
    double x11 = lerp(corner(0, 1, 1), corner(1, 1, 1), u);
    return 1.6 * lerp(lerp(x00, x10, v), lerp(x01, x11, v), w);
}

double fbm(const Noise& n, const Vec3& p, int octaves)
{
    double sum = 0, amp = 0.5, norm = 0;
    Vec3 q = p;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * noise3(n, q);
        norm += amp;
        amp *= 0.5;
        q = q * 2.03 + Vec3(17.1, 3.7, 9.2);
    }
    return sum / norm;
}

double turbulence(const Noise& n, const Vec3& p, int octaves)
{
    double sum = 0, amp = 0.5, norm = 0;
    Vec3 q = p;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * std::fabs(noise3(n, q));
        norm += amp;
        amp *= 0.5;
        q = q * 2.03 + Vec3(5.3, 11.9, 1.4);
    }
    return sum / norm;
}

double cell_distance(const Noise& n, const Vec3& at)
{
    if (!finite3(at))
        return 1;
    Vec3 p(std::fmod(at.x, 256.0), std::fmod(at.y, 256.0), std::fmod(at.z, 256.0));
    int cx = static_cast<int>(std::floor(p.x)), cy = static_cast<int>(std::floor(p.y)),
        cz = static_cast<int>(std::floor(p.z));
    double best = 1e30;
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            for (int k = -1; k <= 1; ++k) {
                int x = cx + i, y = cy + j, z = cz + k;
                uint32_t h = hash3(n, x, y, z);
                Vec3 jitter(n.perm[h] / 255.0, n.perm[(h + 71) & 511] / 255.0, n.perm[(h + 151) & 511] / 255.0);
                Vec3 d = Vec3(x, y, z) + jitter * 0.8 + Vec3(0.1, 0.1, 0.1) - p;
                best = std::min(best, dot(d, d));
            }
    return std::sqrt(best);
}

// Parameters of every solid texture: 1 the size of its features (0 = 1),
// 2 the turbulence, 3 a texture's own (density, rings, layers, ...).
// Colours: color0 is the base, color3 the second colour, color4 a third.
Vec3 solid_texture(const Noise& n, const TextureSlot& t, const Surface& s, const Vec3& p, const Vec3& base)
{
    double size = param(t, 0, 1.0);
    Vec3 q = p / size;
    double turb = t.p[1];
    if (!finite3(q) || !std::isfinite(turb) || !std::isfinite(t.p[2]))
        return base;
    Vec3 c3 = colour(s, 3), c4 = colour(s, 4), c5 = colour(s, 5);
    switch (t.kind) {
    case SOLID_SPECKS: {
        double density = std::clamp(param(t, 2, 0.2), 0.0, 1.0);
        double v = noise3(n, q * 9 + Vec3(turb * fbm(n, q, 3), 0, 0)) * 0.5 + 0.5;
        return v > 1 - density * 0.5 ? c3 : base;
    }
    case SOLID_SINEX: {
        double v = 0.5 + 0.5 * std::sin(kTwoPi * (q.x + turb * fbm(n, q, 4)));
        return mix(base, c3, v);
    }
    case SOLID_SINEXY: {
        double w = turb * fbm(n, q, 4);
        double v = 0.5 + 0.5 * std::sin(kTwoPi * (q.x + w)) * std::sin(kTwoPi * (q.y + w));
        return mix(base, c3, v);
    }
    case SOLID_CLOUD: {
        double cover = param(t, 2, 0.5);
        double v = fbm(n, q + Vec3(turb, 0, 0) * fbm(n, q * 0.5, 2), 6) * 0.5 + 0.5;
        return mix(base, c3, smoothstep(1 - cover, 1.15 - cover * 0.5, v));
    }
    case SOLID_MARBLE: {
        double veins = param(t, 2, 1.0);
        double w = (turb != 0 ? turb : 5.0) * turbulence(n, q, 6);
        double v = 0.5 + 0.5 * std::sin(3.141592654 * veins * (q.x + w));
        v = std::pow(v, 0.5);
        Vec3 c = mix(c3, base, v);
        return mix(c, c4, smoothstep(0.97, 1.0, v) * 0.5);
    }
    case SOLID_WOOD: {
        double rings = param(t, 2, 4.0);
        double r = std::sqrt(q.x * q.x + q.z * q.z) + (turb != 0 ? turb : 0.1) * fbm(n, q * Vec3(1, 0.2, 1), 4);
        double f = frac(r * rings);
        return mix(base, c3, smoothstep(0.0, 0.8, f) * (1 - smoothstep(0.8, 1.0, f)));
    }
    case SOLID_SEDIMENT: {
        double layers = param(t, 2, 3.0);
        double v = q.y + (turb != 0 ? turb : 0.3) * fbm(n, q * 0.7, 4);
        double band = frac(v * layers);
        double grain = 0.08 * noise3(n, q * 20);
        int which = static_cast<int>(clamp_whole(std::fmod(std::floor(v * layers), 3.0), -3, 3));
        if (which < 0)
            which += 3;
        Vec3 a = which == 0 ? base : (which == 1 ? c3 : c4);
        Vec3 b = which == 0 ? c3 : (which == 1 ? c4 : base);
        return mix(a, b, smoothstep(0.85, 1.0, band)) * (1 + grain);
    }
    case SOLID_IRIS: {
        double rings = param(t, 2, 4.0);
        // Rings round the z axis: an eye that looks down the view.
        double v = std::sqrt(q.x * q.x + q.y * q.y) * rings + turb * fbm(n, q, 4);
        double f = frac(v);
        int which = static_cast<int>(clamp_whole(std::fmod(std::floor(v), 4.0), -4, 4));
        if (which < 0)
            which += 4;
        const Vec3 cols[4] = {base, c3, c4, c5};
        return mix(cols[which], cols[(which + 1) % 4], smoothstep(0.7, 1.0, f));
    }
    case SOLID_CHECKER: {
        Vec3 w = q + Vec3(1e-7, 1e-7, 1e-7);
        if (turb != 0)
            w += Vec3(1, 1, 1) * (turb * fbm(n, q, 3));
        double k = std::fmod(std::floor(w.x), 2.0) + std::fmod(std::floor(w.y), 2.0) + std::fmod(std::floor(w.z), 2.0);
        return std::fmod(std::fabs(k), 2.0) == 1.0 ? c3 : base;
    }
    case SOLID_SPOTS: {
        double radius = param(t, 2, 0.3);
        Vec3 w = q;
        if (turb != 0)
            w += Vec3(1, 1, 1) * (turb * fbm(n, q, 3));
        double d = cell_distance(n, w);
        return mix(c3, base, smoothstep(radius * 0.85, radius, d));
    }
    }
    return base;
}

// Parameters: 1 the size of the pattern (0 = 1), 2 its strength (0 = 0.3),
// 3 its phase, so that waves can run over the frames.
Vec3 bump_texture(const Noise& n, int slot, const TextureSlot& t, const Vec3& p, const Vec3& normal)
{
    if (t.kind == 0)
        return normal;
    double size = param(t, 0, 1.0);
    double amp = param(t, 1, 0.3);
    Vec3 q = p / size;
    if (!finite3(q) || !std::isfinite(amp) || !std::isfinite(t.p[2]))
        return normal;
    const double e = 0.01;
    Vec3 grad((height(n, slot, t, q + Vec3(e, 0, 0)) - height(n, slot, t, q - Vec3(e, 0, 0))) / (2 * e),
              (height(n, slot, t, q + Vec3(0, e, 0)) - height(n, slot, t, q - Vec3(0, e, 0))) / (2 * e),
              (height(n, slot, t, q + Vec3(0, 0, e)) - height(n, slot, t, q - Vec3(0, 0, e))) / (2 * e));
    // Only the part of the gradient along the surface tilts the normal.
    Vec3 along = grad - normal * dot(grad, normal);
    Vec3 bent = normalise(normal - along * (amp / (2 * 3.141592654)));
    return dot(bent, bent) > 0 ? bent : normal;
}
