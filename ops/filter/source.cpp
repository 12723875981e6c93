// The operations that read the source image: Apply Canvas and Add Texture
// (the source tiled as a texture) and the image arithmetic Multiply, Add
// Images, Subtract and Combine (the source laid on the target from the top
// left corner; where it does not reach, the target stays as it is).
#include "core/image.h"
#include "ops/filter/filter_internal.h"
#include "ops/framework.h"

#include <cmath>

namespace filt {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The source's pixel as the operation sees it: its alpha as grey in alpha mode.
inline bool source_value(int x, int y, bool alpha_mode, uint32_t& v)
{
    if (!source_at(x, y, v))
        return false;
    if (alpha_mode) {
        const uint32_t a = v >> 24;
        v = a | a << 8 | a << 16 | a << 24;
    }
    return true;
}

// The source tiled over the plane (wrapping both ways).
inline uint32_t tiled(int x, int y, bool alpha_mode)
{
    const OpState& s = op_state();
    const long sw = std::max(1L, s.src_width), sh = std::max(1L, s.src_height);
    const int tx = static_cast<int>(((x % sw) + sw) % sw), ty = static_cast<int>(((y % sh) + sh) % sh);
    uint32_t v = 0;
    source_value(tx, ty, alpha_mode, v);
    return v;
}

template <class F>
int arithmetic(Image* target, uint8_t* mask, F f)
{
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            uint32_t s;
            if (!source_value(x, y, work.alpha_mode, s))
                continue;
            const long i = static_cast<long>(y) * work.w + x;
            const uint32_t t = work.in[i];
            uint32_t o = t;
            for (int c = 0; c < 3; ++c)
                o = with_channel(o, c, clamp_byte(f(channel(t, c), channel(s, c))));
            work.out[i] = o;
        }
    work_commit(work, mask);
    return 0;
}

} // namespace

int canvas_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const double scale = std::max(1, p.canvas_scale) / 100.0;
    const double a = p.canvas_angle * kPi / 180.0;
    const float lx = static_cast<float>(std::cos(a)), ly = static_cast<float>(std::sin(a));
    const float depth = static_cast<float>(p.canvas_depth) / 200.0f * (p.canvas_invert ? -1.0f : 1.0f);
    auto height = [&](int x, int y) {
        const int sx = static_cast<int>(std::floor((x + p.canvas_dx) / scale));
        const int sy = static_cast<int>(std::floor((y + p.canvas_dy) / scale));
        return static_cast<float>(luma(tiled(sx, sy, false)));
    };
    const Box& b = work.box;
    const int step = std::max(1, static_cast<int>(std::lround(scale)));
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            // The slope of the canvas towards the light, one source pixel each way.
            const float gx = height(x + step, y) - height(x - step, y);
            const float gy = height(x, y - step) - height(x, y + step);
            const float lift = depth * (lx * gx + ly * gy);
            const long i = static_cast<long>(y) * work.w + x;
            uint32_t o = work.in[i];
            for (int c = 0; c < 3; ++c)
                o = with_channel(o, c, clamp_byte_f(static_cast<float>(channel(o, c)) + lift));
            work.out[i] = o;
        }
    work_commit(work, mask);
    return 0;
}

int texture_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const int amount = clampi(p.texture_amount, 0, 100), mode = p.texture_mode;
    const Box& b = work.box;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            const uint32_t s = tiled(x, y, work.alpha_mode);
            const long i = static_cast<long>(y) * work.w + x;
            uint32_t o = work.in[i];
            for (int c = 0; c < 3; ++c) {
                const int t = channel(o, c), v = channel(s, c);
                int m;
                if (mode == 1)
                    m = t * v / 255;
                else if (mode == 2)
                    m = 255 - (255 - t) * (255 - v) / 255;
                else
                    m = t < 128 ? 2 * t * v / 255 : 255 - 2 * (255 - t) * (255 - v) / 255;
                o = with_channel(o, c, clamp_byte(t + ((m - t) * amount + (m >= t ? 50 : -50)) / 100));
            }
            work.out[i] = o;
        }
    work_commit(work, mask);
    return 0;
}

int multiply_worker(Image* target, uint8_t* mask)
{
    return arithmetic(target, mask, [](int t, int s) { return (t * s + 127) / 255; });
}

namespace {
// The share of the source that Add Images and Subtract move a channel by.
inline int share(int s, int percent)
{
    return (s * percent + 50) / 100;
}
} // namespace

int add_worker(Image* target, uint8_t* mask)
{
    const int pct = std::max(0, filter_params().add_percent);
    return arithmetic(target, mask, [pct](int t, int s) { return t + share(s, pct); });
}

int subtract_worker(Image* target, uint8_t* mask)
{
    const int pct = std::max(0, filter_params().sub_percent);
    return arithmetic(target, mask, [pct](int t, int s) { return t - share(s, pct); });
}

uint32_t combine_worker(uint32_t pixel, int x, int y)
{
    uint32_t s;
    if (!source_value(x, y, op_state().alpha_mode, s))
        return pixel;
    const int pct = clampi(filter_params().combine_percent, 0, 100);
    uint32_t o = pixel;
    for (int c = 0; c < 3; ++c)
        o = with_channel(o, c, (channel(pixel, c) * (100 - pct) + channel(s, c) * pct + 50) / 100);
    return o;
}

} // namespace filt
