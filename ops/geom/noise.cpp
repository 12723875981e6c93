// Lattice noise for Turbulence and Melt: the same seed gives the same
// picture on every machine (integer hashing, no library random numbers).
#include "ops/geom/geom_internal.h"

#include <utility>

namespace {

// Eight gradient directions around the circle.
constexpr double kGrad[8][2] = {{1, 0},     {-1, 0},     {0, 1},      {0, -1},
                                {0.70710678118654752, 0.70710678118654752},   {-0.70710678118654752, 0.70710678118654752},
                                {0.70710678118654752, -0.70710678118654752},  {-0.70710678118654752, -0.70710678118654752}};

uint64_t next(uint64_t& s)
{
    // splitmix64
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

inline int cell(double v)
{
    const double f = std::floor(v);
    return static_cast<int>(static_cast<long>(f) & 255);
}

} // namespace

void noise_seed(uint8_t perm[512], uint32_t seed)
{
    uint8_t p[256];
    for (int i = 0; i < 256; ++i)
        p[i] = static_cast<uint8_t>(i);
    uint64_t s = seed;
    for (int i = 255; i > 0; --i)
        std::swap(p[i], p[next(s) % static_cast<uint64_t>(i + 1)]);
    for (int i = 0; i < 512; ++i)
        perm[i] = p[i & 255];
}

double noise2(const uint8_t perm[512], double x, double y, double* ddx, double* ddy)
{
    const double fx = x - std::floor(x), fy = y - std::floor(y);
    const int X = cell(x), Y = cell(y);
    const double* g00 = kGrad[perm[perm[X] + Y] & 7];
    const double* g10 = kGrad[perm[perm[X + 1] + Y] & 7];
    const double* g01 = kGrad[perm[perm[X] + Y + 1] & 7];
    const double* g11 = kGrad[perm[perm[X + 1] + Y + 1] & 7];
    const double n00 = g00[0] * fx + g00[1] * fy;
    const double n10 = g10[0] * (fx - 1) + g10[1] * fy;
    const double n01 = g01[0] * fx + g01[1] * (fy - 1);
    const double n11 = g11[0] * (fx - 1) + g11[1] * (fy - 1);
    // Quintic fade and its derivative.
    const double u = fx * fx * fx * (fx * (fx * 6 - 15) + 10), du = 30 * fx * fx * (fx - 1) * (fx - 1);
    const double v = fy * fy * fy * (fy * (fy * 6 - 15) + 10), dv = 30 * fy * fy * (fy - 1) * (fy - 1);
    const double k = n00 - n10 - n01 + n11;
    if (ddx)
        *ddx = g00[0] + u * (g10[0] - g00[0]) + v * (g01[0] - g00[0]) + u * v * (g00[0] - g10[0] - g01[0] + g11[0]) +
               du * ((n10 - n00) + v * k);
    if (ddy)
        *ddy = g00[1] + u * (g10[1] - g00[1]) + v * (g01[1] - g00[1]) + u * v * (g00[1] - g10[1] - g01[1] + g11[1]) +
               dv * ((n01 - n00) + u * k);
    return n00 + u * (n10 - n00) + v * (n01 - n00) + u * v * k;
}

double noise1(const uint8_t perm[512], double x)
{
    const double f = x - std::floor(x);
    const int X = cell(x);
    const double a = perm[perm[X] + 17] / 255.0, b = perm[perm[X + 1] + 17] / 255.0;
    const double t = f * f * (3 - 2 * f);
    return a + (b - a) * t;
}
