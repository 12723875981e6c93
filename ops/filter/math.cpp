// Derivative (the gradient: edges) and Variance (local statistics).
#include "core/image.h"
#include "core/messages.h"
#include "ops/filter/filter_internal.h"

#include <cmath>

namespace filt {

int derivative_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const int op = clampi(p.deriv_operator, 0, 2), dir = clampi(p.deriv_direction, 0, 2);
    const float scale = static_cast<float>(p.deriv_scale) / 100.0f;
    // Side weight and the divisor that makes a full step from 0 to 255 give 255.
    const int side = op == 0 ? 1 : op == 1 ? 1 : 0, centre = op == 0 ? 2 : 1;
    const float norm = 1.0f / static_cast<float>(2 * side + centre);
    auto at = [&](int x, int y, int c) {
        return channel(work.in[static_cast<long>(clampi(y, 0, work.h - 1)) * work.w + clampi(x, 0, work.w - 1)], c);
    };
    const Box& b = work.box;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x) {
            const long i = static_cast<long>(y) * work.w + x;
            uint32_t o = work.in[i];
            for (int c = 0; c < 3; ++c) {
                const float gx = norm * static_cast<float>(side * (at(x + 1, y - 1, c) - at(x - 1, y - 1, c)) +
                                                           centre * (at(x + 1, y, c) - at(x - 1, y, c)) +
                                                           side * (at(x + 1, y + 1, c) - at(x - 1, y + 1, c)));
                const float gy = norm * static_cast<float>(side * (at(x - 1, y + 1, c) - at(x - 1, y - 1, c)) +
                                                           centre * (at(x, y + 1, c) - at(x, y - 1, c)) +
                                                           side * (at(x + 1, y + 1, c) - at(x + 1, y - 1, c)));
                float v;
                if (dir == 1)
                    v = 128.0f + gx * scale / 2.0f;
                else if (dir == 2)
                    v = 128.0f + gy * scale / 2.0f;
                else
                    v = std::sqrt(gx * gx + gy * gy) * scale;
                o = with_channel(o, c, clamp_byte_f(v));
            }
            work.out[i] = o;
        }
    work_commit(work, mask);
    return 0;
}

int variance_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    const int r = std::max(0, p.var_radius), mode = clampi(p.var_mode, 0, 2);
    const float scale = static_cast<float>(p.var_scale) / 100.0f;
    // Summed-area tables of the values and their squares over the box and
    // the radius around it: any window's sums in four look-ups.
    const Box e{std::max(0, b.x0 - r), std::max(0, b.y0 - r), std::min(work.w - 1, b.x1 + r),
                std::min(work.h - 1, b.y1 + r)};
    const long W = e.width() + 1, H = e.height() + 1;
    Buffer<int64_t> sum(W * H * 3), sq(W * H * 3);
    if (!sum || !sq) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    for (long x = 0; x < W * 3; ++x)
        sum[x] = sq[x] = 0;
    for (long y = 1; y < H; ++y) {
        int64_t rs[3] = {0, 0, 0}, rq[3] = {0, 0, 0};
        sum[y * W * 3] = sum[y * W * 3 + 1] = sum[y * W * 3 + 2] = 0;
        sq[y * W * 3] = sq[y * W * 3 + 1] = sq[y * W * 3 + 2] = 0;
        const uint32_t* row = work.in.p + (e.y0 + y - 1) * work.w + e.x0;
        for (long x = 1; x < W; ++x) {
            const uint32_t v = row[x - 1];
            for (int c = 0; c < 3; ++c) {
                const int64_t ch = channel(v, c);
                rs[c] += ch;
                rq[c] += ch * ch;
                sum[(y * W + x) * 3 + c] = sum[((y - 1) * W + x) * 3 + c] + rs[c];
                sq[(y * W + x) * 3 + c] = sq[((y - 1) * W + x) * 3 + c] + rq[c];
            }
        }
    }
    for (int y = b.y0; y <= b.y1; ++y) {
        const long ya = std::max(e.y0, y - r) - e.y0, yb = std::min(e.y1, y + r) - e.y0 + 1;
        for (int x = b.x0; x <= b.x1; ++x) {
            const long xa = std::max(e.x0, x - r) - e.x0, xb = std::min(e.x1, x + r) - e.x0 + 1;
            const double n = static_cast<double>((yb - ya) * (xb - xa));
            const long i = static_cast<long>(y) * work.w + x;
            uint32_t o = work.in[i];
            for (int c = 0; c < 3; ++c) {
                auto box = [&](const Buffer<int64_t>& t) {
                    return t[(yb * W + xb) * 3 + c] - t[(ya * W + xb) * 3 + c] - t[(yb * W + xa) * 3 + c] +
                           t[(ya * W + xa) * 3 + c];
                };
                const double mean = static_cast<double>(box(sum)) / n;
                const double var = std::max(0.0, static_cast<double>(box(sq)) / n - mean * mean);
                double v;
                if (mode == 1)
                    v = mean;
                else if (mode == 2)
                    v = 128.0 + (channel(o, c) - mean) * scale;
                else
                    v = 2.0 * std::sqrt(var) * scale;
                o = with_channel(o, c, clamp_byte_f(static_cast<float>(v)));
            }
            work.out[i] = o;
        }
    }
    work_commit(work, mask);
    return 0;
}

} // namespace filt
