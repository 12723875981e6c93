// Julia and Mandelbrot: escape-time fractals coloured through their
// palettes, points of the set in black.  Long runs step the progress meter
// row by row and stop on cancel (the applier then puts the image back).
#include "core/image.h"
#include "core/messages.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/render/gen.h"
#include "ops/render/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

// Escaping past 256 rather than 2 leaves membership as it is (an orbit that
// leaves the radius-2 disc always goes to infinity) and makes the smooth
// count even.
constexpr double kBailout2 = 256.0 * 256.0;
constexpr int kMaxIterations = 10000000;

// log2 of a positive normal number to about 2e-7: the exponent plus a table
// of the mantissa's log2, read between its entries.  The smooth count needs
// two per escaped point, and the library's log costs more than most escapes.
constexpr int kLogSteps = 1024;
struct Log2Table {
    double v[kLogSteps + 1];
    Log2Table()
    {
        for (int i = 0; i <= kLogSteps; ++i)
            v[i] = std::log2(1 + static_cast<double>(i) / kLogSteps);
    }
};
const Log2Table kLog2;

inline double fast_log2(double x)
{
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int e = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    const double f = static_cast<double>(bits & 0x000FFFFFFFFFFFFFull) * (kLogSteps / 4503599627370496.0);
    const int i = static_cast<int>(f);
    return e + kLog2.v[i] + (kLog2.v[i + 1] - kLog2.v[i]) * (f - i);
}

// n + 1 − log_p(ln |z|), with |z|² given: log_p(ln|z|) = log2(log2(|z|²)·ln2/2)/log2(p).
double smooth_count(int n, double modulus2, int power)
{
    constexpr double kHalfLn2 = -1.5287663729448977;  // log2(ln 2 / 2)
    const double lnln = fast_log2(fast_log2(modulus2)) + kHalfLn2;
    const double v = n + 1 - (power == 2 ? lnln : lnln / std::log2(static_cast<double>(power)));
    return std::max(0.0, v);
}

// Escape time of z → z² + c from z0; the inner loop every caller shares.
inline int escape2(double zr, double zi, double cr, double ci, int iterations, double* modulus2)
{
    double zr2 = zr * zr, zi2 = zi * zi;
    int n = 0;
    while (n < iterations && zr2 + zi2 <= kBailout2) {
        zi = 2 * zr * zi + ci;
        zr = zr2 - zi2 + cr;
        zr2 = zr * zr;
        zi2 = zi * zi;
        ++n;
    }
    *modulus2 = zr2 + zi2;
    return n;
}

// The main cardioid and the period-2 bulb hold most of the set's area; points
// there never escape, so they need no iterating.
inline bool in_main_bulbs(double cr, double ci)
{
    const double xr = cr - 0.25, q = xr * xr + ci * ci;
    if (q * (q + xr) <= 0.25 * ci * ci)
        return true;
    return (cr + 1) * (cr + 1) + ci * ci <= 0.0625;
}

struct Fractal {
    bool julia;
    double centre_r, centre_i, zoom, cr, ci;
    int iterations, cycle, power;
    const OpPalette* palette;
};

int draw(Image* target, uint8_t* mask, const Fractal& f)
{
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const auto ramp = std::make_unique<gen::Ramp>(*f.palette);
    const double cycle = std::max(1, f.cycle);
    // As fractal_point maps them.
    const double s = 2 / (f.zoom * a.hmin());
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[target->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            const double re = f.centre_r + (x - a.cx) * s, im = f.centre_i - (y - a.cy) * s;
            double smooth = 0;
            const int n = f.julia ? julia_escape(re, im, f.cr, f.ci, f.iterations, &smooth)
                                  : mandelbrot_escape(re, im, f.iterations, f.power, &smooth);
            int c[3] = {0, 0, 0};
            if (n < f.iterations) {
                // Back and forth through the palette, so that no sweep ends in a seam.
                const double t = smooth / cycle;
                double u = t - 2 * std::floor(t / 2);
                u = u > 1 ? 2 - u : u;
                ramp->at(u, c);
            }
            gen::put(target->pixel(x, y), c, m, alpha);
        }
    }
    return 0;
}

} // namespace

void fractal_point(double x, double y, double centre_r, double centre_i, double zoom, double* re, double* im)
{
    const gen::Area a = gen::area();
    // At zoom 1 the area's shorter side spans −2..2.
    const double s = 2 / (zoom * a.hmin());
    *re = centre_r + (x - a.cx) * s;
    *im = centre_i - (y - a.cy) * s;
}

int mandelbrot_escape(double cr, double ci, int iterations, int power, double* smooth)
{
    iterations = std::clamp(iterations, 0, kMaxIterations);
    power = std::clamp(power, 2, 8);
    double m2 = 0;
    int n;
    if (power == 2) {
        if (in_main_bulbs(cr, ci)) {
            *smooth = iterations;
            return iterations;
        }
        n = escape2(0, 0, cr, ci, iterations, &m2);
    } else {
        double zr = 0, zi = 0;
        n = 0;
        while (n < iterations && zr * zr + zi * zi <= kBailout2) {
            double pr = zr, pi = zi;
            for (int k = 1; k < power; ++k) {
                const double t = pr * zr - pi * zi;
                pi = pr * zi + pi * zr;
                pr = t;
            }
            zr = pr + cr;
            zi = pi + ci;
            ++n;
        }
        m2 = zr * zr + zi * zi;
    }
    *smooth = n < iterations ? smooth_count(n, m2, power) : n;
    return n;
}

int julia_escape(double zr, double zi, double cr, double ci, int iterations, double* smooth)
{
    iterations = std::clamp(iterations, 0, kMaxIterations);
    double m2 = 0;
    const int n = escape2(zr, zi, cr, ci, iterations, &m2);
    *smooth = n < iterations ? smooth_count(n, m2, 2) : n;
    return n;
}

int fractal_prepare(Image*, int)
{
    const RenderParams& rp = render_params();
    const OpDescriptor* d = op_state().op;
    const bool julia = d && d->command == opcmd::Julia;
    const double zoom = julia ? rp.julia_zoom : rp.mand_zoom;
    if (!(zoom > 0) || !std::isfinite(zoom)) {
        error_box("The zoom must be greater than 0.", d ? d->name : nullptr);
        return 2;
    }
    return 0;
}

int julia_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    Fractal f{};
    f.julia = true;
    f.centre_r = rp.julia_centre[0], f.centre_i = rp.julia_centre[1];
    f.zoom = rp.julia_zoom;
    f.cr = rp.julia_c[0], f.ci = rp.julia_c[1];
    f.iterations = std::clamp(rp.julia_iterations, 0, kMaxIterations);
    f.cycle = rp.julia_cycle;
    f.power = 2;
    f.palette = &rp.julia_pal;
    if (!(f.zoom > 0))
        return 1;
    return draw(target, mask, f);
}

int mandelbrot_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    Fractal f{};
    f.centre_r = rp.mand_centre[0], f.centre_i = rp.mand_centre[1];
    f.zoom = rp.mand_zoom;
    f.iterations = std::clamp(rp.mand_iterations, 0, kMaxIterations);
    f.cycle = rp.mand_cycle;
    f.power = std::clamp(rp.mand_power, 2, 8);
    f.palette = &rp.mand_pal;
    if (!(f.zoom > 0))
        return 1;
    return draw(target, mask, f);
}
