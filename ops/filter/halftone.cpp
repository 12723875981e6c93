// RIP: the screens of a raster image processor.  The colours are separated
// into cyan, magenta, yellow and black inks; each ink is printed as a
// rotated grid of dots whose size follows the ink's coverage (an amplitude
// modulated halftone, as presses print).
#include "core/image.h"
#include "ops/filter/filter_internal.h"

#include <cmath>

namespace filt {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Screen {
    bool on;
    float cos_a, sin_a, inv_cell;
    int shape;
};

// Where, from 0 to 1, a point of a cell (u, v in −0.5 .. 0.5) turns inked as
// the coverage grows: the spot function of the dot shape.
inline float spot(int shape, float u, float v)
{
    switch (shape) {
    case 1: return std::min(1.0f, (u * u + 2.25f * v * v) / (0.25f + 2.25f * 0.25f));  // ellipse
    case 2: return std::fabs(v) * 2.0f;                                              // line
    case 3: return std::max(std::fabs(u), std::fabs(v)) * 2.0f;                      // square
    default: return (u * u + v * v) * 2.0f;                                          // round
    }
}

} // namespace

int rip_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    Screen screens[4];
    for (int s = 0; s < 4; ++s) {
        const double a = p.rip_angle[s] * kPi / 180.0;
        screens[s].on = p.rip_on[s] != 0 && (p.rip_mode == 0 || s == 3);
        screens[s].cos_a = static_cast<float>(std::cos(a));
        screens[s].sin_a = static_cast<float>(std::sin(a));
        screens[s].inv_cell = 1.0f / static_cast<float>(std::max(2, p.rip_cell[s]));
        screens[s].shape = clampi(p.rip_shape[s], 0, 3);
    }
    const float gain = static_cast<float>(clampi(p.rip_gain, -100, 100)) / 100.0f;
    const float soft = std::max(0.002f, static_cast<float>(clampi(p.rip_soft, 0, 100)) / 200.0f);
    const Box& b = work.box;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            const long i = static_cast<long>(y) * work.w + x;
            const uint32_t v = work.in[i];
            const float r = pixel_r(v) / 255.0f, g = pixel_g(v) / 255.0f, bl = pixel_b(v) / 255.0f;
            float ink[4];
            if (p.rip_mode == 0) {
                const float k = 1.0f - std::max(r, std::max(g, bl));
                const float rest = k < 0.999f ? 1.0f / (1.0f - k) : 0.0f;
                ink[0] = (1.0f - r - k) * rest, ink[1] = (1.0f - g - k) * rest, ink[2] = (1.0f - bl - k) * rest;
                ink[3] = k;
            } else {
                ink[0] = ink[1] = ink[2] = 0;
                ink[3] = 1.0f - static_cast<float>(luma(v)) / 255.0f;
            }
            float printed[4] = {0, 0, 0, 0};
            const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            for (int s = 0; s < 4; ++s) {
                const Screen& sc = screens[s];
                if (!sc.on)
                    continue;
                // Dot gain spreads the ink most in the mid-tones.
                const float cover = std::clamp(ink[s] + gain * ink[s] * (1.0f - ink[s]), 0.0f, 1.0f);
                float u = (px * sc.cos_a + py * sc.sin_a) * sc.inv_cell;
                float w = (-px * sc.sin_a + py * sc.cos_a) * sc.inv_cell;
                u -= std::floor(u) + 0.5f;
                w -= std::floor(w) + 0.5f;
                printed[s] = std::clamp((cover - spot(sc.shape, u, w)) / soft + 0.5f, 0.0f, 1.0f);
                if (cover <= 0.0f)
                    printed[s] = 0.0f;
                else if (cover >= 1.0f)
                    printed[s] = 1.0f;
            }
            const float paper = 1.0f - printed[3];
            work.out[i] = pixel_make(clamp_byte_f(255.0f * (1.0f - printed[0]) * paper),
                                     clamp_byte_f(255.0f * (1.0f - printed[1]) * paper),
                                     clamp_byte_f(255.0f * (1.0f - printed[2]) * paper), pixel_a(v));
        }
    work_commit(work, mask);
    return 0;
}

} // namespace filt
