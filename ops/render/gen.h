// What the generator families (lighting, pattern, render) share: the area's
// geometry, putting a result into a pixel by its weight (or into its alpha),
// seeded random numbers and noise, palette ramps, distance fields, cells and
// the progress of whole-image workers.  Everything here is a pure function
// of its arguments: the same settings give the same pixels.
#pragma once

#include "ops/operation.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace gen {

// The area rectangle the framework clipped for this run, with its centre
// and half sizes in continuous pixel units (a one-pixel area has half sizes
// of 0.5, never 0).
struct Area {
    int x0, y0, x1, y1;
    double cx, cy;      // centre of the middle pixel(s)
    double hw, hh;      // half width and height, at least 0.5
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
    double hmin() const { return hw < hh ? hw : hh; }
};
Area area();

inline int clamp255(int v)
{
    return v < 0 ? 0 : v > 255 ? 255 : v;
}
// Both clamps take a value that is not a number as their low end.
inline int clamp255(double v)
{
    return v > 0 ? (v < 255 ? static_cast<int>(v + 0.5) : 255) : 0;
}
inline double clamp01(double v)
{
    return v > 0 ? (v < 1 ? v : 1) : 0;
}
inline double smoothstep(double a, double b, double x)
{
    const double t = clamp01((x - a) / (b - a));
    return t * t * (3 - 2 * t);
}
inline int mix_int(int n, int o, int m)
{
    return (n * m + o * (255 - m)) / 255;
}
inline int luma(int r, int g, int b)
{
    return (r * 77 + g * 150 + b * 29) >> 8;
}

// What a worker sees of a pixel: its colour, or in alpha mode its alpha as a
// grey.
inline void take(const uint8_t* p, bool alpha, int rgb[3])
{
    if (alpha) {
        rgb[0] = rgb[1] = rgb[2] = p[3];
    } else {
        rgb[0] = p[0], rgb[1] = p[1], rgb[2] = p[2];
    }
}

// A new colour into a pixel by the mask weight m (1..255): colour mode mixes
// red, green and blue and keeps alpha; alpha mode mixes the colour's grey into
// alpha and keeps the colour.
inline void put(uint8_t* p, int r, int g, int b, int m, bool alpha)
{
    if (m <= 0)
        return;
    if (alpha) {
        p[3] = static_cast<uint8_t>(mix_int((r + g + b) / 3, p[3], m));
        return;
    }
    if (m >= 255) {
        p[0] = static_cast<uint8_t>(r), p[1] = static_cast<uint8_t>(g), p[2] = static_cast<uint8_t>(b);
        return;
    }
    p[0] = static_cast<uint8_t>(mix_int(r, p[0], m));
    p[1] = static_cast<uint8_t>(mix_int(g, p[1], m));
    p[2] = static_cast<uint8_t>(mix_int(b, p[2], m));
}
inline void put(uint8_t* p, const int rgb[3], int m, bool alpha)
{
    put(p, rgb[0], rgb[1], rgb[2], m, alpha);
}

// Light added to a channel, as a screen does: c + l·(255 − c)/255.
inline int screen(int c, double light)
{
    if (light <= 0)
        return c;
    return clamp255(c + light * (255 - c) / 255.0);
}

// ---- seeded randomness -------------------------------------------------------

inline uint64_t mix64(uint64_t z)
{
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
inline uint64_t hash(uint64_t seed, int64_t a, int64_t b = 0, int64_t c = 0)
{
    uint64_t h = mix64(seed ^ 0x5851F42D4C957F2Dull);
    h = mix64(h ^ static_cast<uint64_t>(a));
    h = mix64(h ^ static_cast<uint64_t>(b) * 0x9E3779B1ull);
    return mix64(h ^ static_cast<uint64_t>(c) * 0x85EBCA77ull);
}
// In [0, 1).
inline double hash01(uint64_t seed, int64_t a, int64_t b = 0, int64_t c = 0)
{
    return static_cast<double>(hash(seed, a, b, c) >> 11) * (1.0 / 9007199254740992.0);
}

// A small generator for sequences (splitmix64).
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(mix64(seed + 0x2545F4914F6CDD1Dull)) {}
    uint64_t next()
    {
        state += 0x9E3779B97F4A7C15ull;
        return mix64(state);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double a, double b) { return a + (b - a) * uniform(); }
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }
};

// Smooth value noise in −1..1 with a feature size of one unit.
double noise(uint64_t seed, double x, double y);
// Sum of `octaves` noise layers, each twice as fine and `gain` times as
// strong as the one before, scaled back to about −1..1.
double fbm(uint64_t seed, double x, double y, int octaves, double gain);

// ---- palettes ------------------------------------------------------------------

// A palette spread over 0..1 as a table of 1024 colours, each colour of the
// palette at an even step and straight lines between.  One colour fills the
// table; an empty palette (or a count outside 0..1024) runs from black to
// white, so that the result is always defined.
struct Ramp {
    uint8_t rgb[1024][3];
    explicit Ramp(const OpPalette& palette);
    void at(double t, int out[3]) const
    {
        const int i = static_cast<int>(clamp01(t) * 1023 + 0.5);
        out[0] = rgb[i][0], out[1] = rgb[i][1], out[2] = rgb[i][2];
    }
};
// Sets a palette from a list of colours (r, g, b triples).
void palette_set(OpPalette& palette, std::initializer_list<int> rgb);

// ---- distance fields and cells -------------------------------------------------

// Euclidean distance of every pixel of a w x h grid to the nearest pixel
// whose `feature` byte is nonzero; 1e9 where there is none.
void distance_field(const uint8_t* feature, int w, int h, std::vector<float>& out);

// Cells of a jittered grid: one point per square of `size` units, moved by up
// to `jitter` (0..1) of the square from its middle.
struct CellHit {
    double d1, d2;        // distance to the nearest and the second point
    double edge;          // distance to the border between those two cells
    int64_t i1, j1;       // the nearest point's square
    int64_t i2, j2;       // the second's
    double px, py;        // the nearest point
};
CellHit cells(uint64_t seed, double size, double jitter, double x, double y);

// ---- whole-image workers ---------------------------------------------------------

// Reports `done` of `total` units of work on the progress meter the applier
// opened (one step per row of the area); true when the user cancels.
bool progress(long done, long total);

// Smallest and largest values of a profile.
void profile_span(const int16_t* values, int* low, int* high);

} // namespace gen
