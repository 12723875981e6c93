#include "ops/render/gen.h"

#include "areas/area_mask.h"
#include "core/progress.h"

#include <algorithm>
#include <limits>

namespace gen {

Area area()
{
    const AreaRect& r = area_mask().rect;
    Area a{};
    a.x0 = std::min(r.x0, r.x1), a.x1 = std::max(r.x0, r.x1);
    a.y0 = std::min(r.y0, r.y1), a.y1 = std::max(r.y0, r.y1);
    a.cx = (a.x0 + a.x1) / 2.0;
    a.cy = (a.y0 + a.y1) / 2.0;
    a.hw = std::max(0.5, (a.x1 - a.x0 + 1) / 2.0);
    a.hh = std::max(0.5, (a.y1 - a.y0 + 1) / 2.0);
    return a;
}

namespace {

// One mix per lattice point keeps the noise cheap.
inline double lattice(uint64_t seed, int64_t i, int64_t j)
{
    const uint64_t h = mix64(seed ^ (static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull) ^
                             (static_cast<uint64_t>(j) * 0xC2B2AE3D27D4EB4Full));
    return static_cast<double>(h >> 11) * (2.0 / 9007199254740992.0) - 1;
}
inline double fade(double t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}

} // namespace

double noise(uint64_t seed, double x, double y)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int64_t i = static_cast<int64_t>(fx), j = static_cast<int64_t>(fy);
    const double u = fade(x - fx), v = fade(y - fy);
    const double a = lattice(seed, i, j), b = lattice(seed, i + 1, j);
    const double c = lattice(seed, i, j + 1), d = lattice(seed, i + 1, j + 1);
    return (a + (b - a) * u) + ((c + (d - c) * u) - (a + (b - a) * u)) * v;
}

double fbm(uint64_t seed, double x, double y, int octaves, double gain)
{
    double sum = 0, amp = 1, norm = 0;
    octaves = std::clamp(octaves, 1, 16);
    for (int o = 0; o < octaves; ++o) {
        // Each layer turned a little so that the lattices do not line up.
        sum += amp * noise(seed + static_cast<uint64_t>(o) * 0x632BE5ABull, x, y);
        norm += amp;
        amp *= gain;
        const double nx = x * 1.6 - y * 1.2 + 17.3, ny = x * 1.2 + y * 1.6 - 9.1;
        x = nx, y = ny;
    }
    return norm > 0 ? std::clamp(sum / norm * 1.6, -1.0, 1.0) : 0;
}

Ramp::Ramp(const OpPalette& p)
{
    const int n = p.count;
    for (int i = 0; i < 1024; ++i) {
        if (n <= 0 || n > kPaletteColours) {
            const uint8_t v = static_cast<uint8_t>(i * 255 / 1023);
            rgb[i][0] = rgb[i][1] = rgb[i][2] = v;
            continue;
        }
        if (n == 1) {
            rgb[i][0] = p.red[0], rgb[i][1] = p.green[0], rgb[i][2] = p.blue[0];
            continue;
        }
        const double pos = i / 1023.0 * (n - 1);
        const int k = std::min(static_cast<int>(pos), n - 2);
        const double f = pos - k;
        auto lerp = [f](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a + (b - a) * f + 0.5); };
        rgb[i][0] = lerp(p.red[k], p.red[k + 1]);
        rgb[i][1] = lerp(p.green[k], p.green[k + 1]);
        rgb[i][2] = lerp(p.blue[k], p.blue[k + 1]);
    }
}

void palette_set(OpPalette& palette, std::initializer_list<int> rgb)
{
    int n = 0;
    const int* v = rgb.begin();
    for (size_t i = 0; i + 2 < rgb.size() && n < kPaletteColours; i += 3, ++n) {
        palette.red[n] = static_cast<uint8_t>(v[i]);
        palette.green[n] = static_cast<uint8_t>(v[i + 1]);
        palette.blue[n] = static_cast<uint8_t>(v[i + 2]);
    }
    palette.count = n;
}

namespace {

// The squared distance transform of one line (Felzenszwalb and Huttenlocher):
// d[q] = min over p of (q − p)² + f[p].
void line_transform(const float* f, int n, float* d, int* v, float* z)
{
    const float inf = std::numeric_limits<float>::infinity();
    int k = 0;
    int first = -1;
    for (int q = 0; q < n; ++q)
        if (f[q] < inf) {
            first = q;
            break;
        }
    if (first < 0) {
        for (int q = 0; q < n; ++q)
            d[q] = inf;
        return;
    }
    v[0] = first;
    z[0] = -inf;
    z[1] = inf;
    for (int q = first + 1; q < n; ++q) {
        if (f[q] == inf)
            continue;
        float s;
        for (;;) {
            const int p = v[k];
            s = ((f[q] + static_cast<float>(q) * q) - (f[p] + static_cast<float>(p) * p)) / (2.0f * (q - p));
            if (s <= z[k] && k > 0) {
                --k;
                continue;
            }
            break;
        }
        if (s <= z[k]) {  // k == 0 and the new parabola lies below everywhere
            v[0] = q;
            z[0] = -inf;
            z[1] = inf;
            continue;
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = inf;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        while (z[k + 1] < static_cast<float>(q))
            ++k;
        const float dq = static_cast<float>(q - v[k]);
        d[q] = dq * dq + f[v[k]];
    }
}

} // namespace

void distance_field(const uint8_t* feature, int w, int h, std::vector<float>& out)
{
    const float inf = std::numeric_limits<float>::infinity();
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    out.assign(count, inf);
    if (w <= 0 || h <= 0)
        return;
    const int n = std::max(w, h);
    std::vector<float> f(static_cast<size_t>(n)), d(static_cast<size_t>(n)), z(static_cast<size_t>(n) + 1);
    std::vector<int> v(static_cast<size_t>(n));
    // Columns first, then rows.
    for (int x = 0; x < w; ++x) {
        for (int y = 0; y < h; ++y)
            f[static_cast<size_t>(y)] = feature[static_cast<size_t>(y) * w + x] ? 0.0f : inf;
        line_transform(f.data(), h, d.data(), v.data(), z.data());
        for (int y = 0; y < h; ++y)
            out[static_cast<size_t>(y) * w + x] = d[static_cast<size_t>(y)];
    }
    for (int y = 0; y < h; ++y) {
        float* row = out.data() + static_cast<size_t>(y) * w;
        line_transform(row, w, d.data(), v.data(), z.data());
        for (int x = 0; x < w; ++x)
            row[x] = d[static_cast<size_t>(x)] == inf ? 1e9f : std::sqrt(d[static_cast<size_t>(x)]);
    }
}

CellHit cells(uint64_t seed, double size, double jitter, double x, double y)
{
    CellHit h{};
    h.d1 = h.d2 = std::numeric_limits<double>::max();
    const double gx = x / size, gy = y / size;
    const int64_t ci = static_cast<int64_t>(std::floor(gx)), cj = static_cast<int64_t>(std::floor(gy));
    double p1x = 0, p1y = 0, p2x = 0, p2y = 0;
    for (int64_t j = cj - 1; j <= cj + 1; ++j)
        for (int64_t i = ci - 1; i <= ci + 1; ++i) {
            const double px = (i + 0.5 + jitter * (hash01(seed, i, j, 1) - 0.5)) * size;
            const double py = (j + 0.5 + jitter * (hash01(seed, i, j, 2) - 0.5)) * size;
            const double d = std::hypot(px - x, py - y);
            if (d < h.d1) {
                h.d2 = h.d1, h.i2 = h.i1, h.j2 = h.j1, p2x = p1x, p2y = p1y;
                h.d1 = d, h.i1 = i, h.j1 = j, p1x = px, p1y = py;
            } else if (d < h.d2) {
                h.d2 = d, h.i2 = i, h.j2 = j, p2x = px, p2y = py;
            }
        }
    h.px = p1x, h.py = p1y;
    // Distance to the bisector of the two nearest points.
    const double ex = p2x - p1x, ey = p2y - p1y, len = std::hypot(ex, ey);
    h.edge = len > 0 ? ((x - (p1x + p2x) / 2) * -ex + (y - (p1y + p2y) / 2) * -ey) / len : 0;
    return h;
}

bool progress(long done, long total)
{
    const Area a = area();
    const long rows = a.height();
    if (total <= 0)
        return progress_update(0);
    return progress_update(std::min(rows - 1, done * rows / total));
}

void profile_span(const int16_t* values, int* low, int* high)
{
    int lo = values ? values[0] : 0, hi = lo;
    for (int i = 1; values && i < kProfilePoints; ++i) {
        lo = std::min<int>(lo, values[i]);
        hi = std::max<int>(hi, values[i]);
    }
    *low = lo;
    *high = hi;
}

} // namespace gen
