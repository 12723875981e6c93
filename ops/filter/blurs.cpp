// The Blur Group: Motion Blur (along a straight line), Spiral Blur (along
// a spiral about the area's centre) and Explode (along the ray from the
// centre).  Each pixel becomes the mean of samples of the image as it was,
// taken between pixels with bilinear weights; the pre-pass computes it and
// the workers blend it in.
#include "core/image.h"
#include "core/messages.h"
#include "ops/filter/filter_internal.h"

#include <cmath>

namespace filt {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Adds the bilinear sample at (x, y) (clamped to the image) to acc.
inline void sample(const Work& w, float x, float y, float acc[3])
{
    x = std::clamp(x, 0.0f, static_cast<float>(w.w - 1));
    y = std::clamp(y, 0.0f, static_cast<float>(w.h - 1));
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, w.w - 1), y1 = std::min(y0 + 1, w.h - 1);
    const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
    const uint32_t a = w.in[static_cast<long>(y0) * w.w + x0], b = w.in[static_cast<long>(y0) * w.w + x1];
    const uint32_t c = w.in[static_cast<long>(y1) * w.w + x0], d = w.in[static_cast<long>(y1) * w.w + x1];
    for (int ch = 0; ch < 3; ++ch) {
        const float top = static_cast<float>(channel(a, ch)) + (static_cast<float>(channel(b, ch)) - static_cast<float>(channel(a, ch))) * fx;
        const float bot = static_cast<float>(channel(c, ch)) + (static_cast<float>(channel(d, ch)) - static_cast<float>(channel(c, ch))) * fx;
        acc[ch] += top + (bot - top) * fy;
    }
}

// Runs the sampling path of every pixel of the box into the pass result.
template <class Path>
int blur_along(Image* target, int samples, Path path)
{
    pass_release();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    const int n = std::max(1, samples);
    Meter meter("Blur", b.height());
    for (int y = b.y0; y <= b.y1; ++y) {
        if (meter.step(y - b.y0))
            return 1;
        for (int x = b.x0; x <= b.x1; ++x) {
            float acc[3] = {0, 0, 0};
            for (int i = 0; i < n; ++i) {
                const float t = n == 1 ? 0.0f : static_cast<float>(i) / static_cast<float>(n - 1);
                float sx, sy;
                path(x, y, t, sx, sy);
                sample(work, sx, sy, acc);
            }
            const long at = static_cast<long>(y) * work.w + x;
            const float inv = 1.0f / static_cast<float>(n);
            work.out[at] = pixel_make(clamp_byte_f(acc[0] * inv), clamp_byte_f(acc[1] * inv),
                                      clamp_byte_f(acc[2] * inv), pixel_a(work.in[at]));
        }
    }
    pass_take(work);
    return 0;
}

// The centre the spiral and the explosion turn about: the area's centre.
void centre_of(const Image* target, float& cx, float& cy)
{
    const Box b = work_box(target);
    cx = static_cast<float>(b.x0 + b.x1) / 2.0f;
    cy = static_cast<float>(b.y0 + b.y1) / 2.0f;
}

} // namespace

int motion_prepass(Image* target, uint8_t*)
{
    const FilterParams& p = filter_params();
    const double a = p.motion_angle * kPi / 180.0;
    const float len = static_cast<float>(clampi(p.motion_distance, 0, 5000));
    // Up the screen is positive, as angles are read.
    const float dx = static_cast<float>(std::cos(a)) * len, dy = -static_cast<float>(std::sin(a)) * len;
    const float from = p.motion_centred ? -0.5f : -1.0f, to = p.motion_centred ? 0.5f : 0.0f;
    const int samples = std::max(2, static_cast<int>(len) + 1);
    return blur_along(target, samples, [=](int x, int y, float t, float& sx, float& sy) {
        const float s = from + (to - from) * t;
        sx = static_cast<float>(x) + dx * s;
        sy = static_cast<float>(y) + dy * s;
    });
}

int spiral_prepass(Image* target, uint8_t*)
{
    const FilterParams& p = filter_params();
    float cx, cy;
    centre_of(target, cx, cy);
    const float turn = static_cast<float>(p.spiral_angle * kPi / 180.0);
    const float zoom = static_cast<float>(p.spiral_zoom) / 100.0f;
    return blur_along(target, clampi(p.spiral_samples, 1, 256), [=](int x, int y, float t, float& sx, float& sy) {
        const float s = t - 0.5f;
        const float phi = turn * s, scale = 1.0f + zoom * s;
        const float c = std::cos(phi), sn = std::sin(phi);
        const float dx = static_cast<float>(x) - cx, dy = static_cast<float>(y) - cy;
        sx = cx + (c * dx - sn * dy) * scale;
        sy = cy + (sn * dx + c * dy) * scale;
    });
}

int explode_prepass(Image* target, uint8_t*)
{
    const FilterParams& p = filter_params();
    float cx, cy;
    centre_of(target, cx, cy);
    const float amount = static_cast<float>(clampi(p.explode_amount, 0, 100)) / 100.0f;
    return blur_along(target, clampi(p.explode_samples, 1, 256), [=](int x, int y, float t, float& sx, float& sy) {
        // From the pixel back towards the centre: colours streak outwards.
        const float scale = 1.0f - amount * t;
        sx = cx + (static_cast<float>(x) - cx) * scale;
        sy = cy + (static_cast<float>(y) - cy) * scale;
    });
}

} // namespace filt
