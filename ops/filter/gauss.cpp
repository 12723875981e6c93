// The Gaussian blur (Blur, UnsharpMask).  Small deviations convolve with the
// sampled kernel; from 3 pixels on, the recursive filter of Young and van
// Vliet runs forwards and backwards along rows and then columns, at a cost
// per pixel that does not depend on the deviation.
#include "core/image.h"
#include "core/messages.h"
#include "ops/filter/filter_internal.h"

#include <cmath>
#include <vector>

namespace filt {

namespace {

constexpr float kRecursiveFrom = 3.0f;

// Separable convolution with the sampled, normalised kernel of radius 3σ.
bool blur_direct(const uint32_t* in, int w, int h, const Box& b, float sigma, uint32_t* out)
{
    const int r = std::max(1, static_cast<int>(std::ceil(3.0f * sigma)));
    std::vector<float> k(static_cast<size_t>(2 * r + 1));
    float sum = 0;
    for (int i = -r; i <= r; ++i)
        sum += k[static_cast<size_t>(i + r)] = std::exp(-0.5f * static_cast<float>(i * i) / (sigma * sigma));
    for (float& v : k)
        v /= sum;
    // Rows y0 - r .. y1 + r (clamped to the image) blurred along x.
    const int ty0 = std::max(0, b.y0 - r), ty1 = std::min(h - 1, b.y1 + r);
    const int bw = b.width();
    Buffer<float> tmp(static_cast<long>(ty1 - ty0 + 1) * bw * 3);
    if (!tmp)
        return false;
    for (int y = ty0; y <= ty1; ++y) {
        const uint32_t* row = in + static_cast<long>(y) * w;
        float* t = tmp.p + static_cast<long>(y - ty0) * bw * 3;
        for (int x = b.x0; x <= b.x1; ++x) {
            float a0 = 0, a1 = 0, a2 = 0;
            for (int i = -r; i <= r; ++i) {
                const uint32_t p = row[clampi(x + i, 0, w - 1)];
                const float kv = k[static_cast<size_t>(i + r)];
                a0 += kv * static_cast<float>(p & 0xFF);
                a1 += kv * static_cast<float>((p >> 8) & 0xFF);
                a2 += kv * static_cast<float>((p >> 16) & 0xFF);
            }
            float* o = t + (x - b.x0) * 3;
            o[0] = a0, o[1] = a1, o[2] = a2;
        }
    }
    std::vector<float> acc(static_cast<size_t>(bw) * 3);
    for (int y = b.y0; y <= b.y1; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int i = -r; i <= r; ++i) {
            const int sy = clampi(y + i, 0, h - 1);
            const float* t = tmp.p + static_cast<long>(sy - ty0) * bw * 3;
            const float kv = k[static_cast<size_t>(i + r)];
            for (size_t j = 0; j < acc.size(); ++j)
                acc[j] += kv * t[j];
        }
        uint32_t* o = out + static_cast<long>(y) * w;
        const uint32_t* src = in + static_cast<long>(y) * w;
        for (int x = b.x0; x <= b.x1; ++x) {
            const float* a = acc.data() + (x - b.x0) * 3;
            o[x] = pixel_make(clamp_byte_f(a[0]), clamp_byte_f(a[1]), clamp_byte_f(a[2]), pixel_a(src[x]));
        }
    }
    return true;
}

struct Recursive {
    float B, a1, a2, a3;
    explicit Recursive(float sigma)
    {
        const float q = sigma >= 2.5f ? 0.98711f * sigma - 0.96330f
                                      : 3.97156f - 4.14554f * std::sqrt(1.0f - 0.26891f * sigma);
        const float q2 = q * q, q3 = q2 * q;
        const float b0 = 1.57825f + 2.44413f * q + 1.4281f * q2 + 0.422205f * q3;
        const float b1 = 2.44413f * q + 2.85619f * q2 + 1.26661f * q3;
        const float b2 = -(1.4281f * q2 + 1.26661f * q3);
        const float b3 = 0.422205f * q3;
        a1 = b1 / b0, a2 = b2 / b0, a3 = b3 / b0;
        B = 1.0f - (a1 + a2 + a3);
    }
};

bool blur_recursive(const uint32_t* in, int w, int h, const Box& b, float sigma, uint32_t* out)
{
    const Recursive f(sigma);
    // Beyond the box the signal runs on for `pad` samples (the image's own
    // pixels, or its edge repeated) so that the start of each recursion
    // has died away before it reaches the box.
    const int pad = static_cast<int>(std::ceil(6.0f * sigma)) + 8;
    const int ex0 = b.x0 - pad, ex1 = b.x1 + pad;
    const int n = ex1 - ex0 + 1;
    const int bw = b.width();
    const int vy0 = b.y0 - pad, vy1 = b.y1 + pad;
    const long rows = vy1 - vy0 + 1;
    const long rowf = static_cast<long>(bw) * 3;
    Buffer<float> plane(rows * rowf);
    Buffer<float> line(static_cast<long>(n) * 3);
    if (!plane || !line)
        return false;
    const float B = f.B, a1 = f.a1, a2 = f.a2, a3 = f.a3;
    // Along x: the rows that lie on the image; rows beyond repeat the edge.
    const int iy0 = std::max(0, vy0), iy1 = std::min(h - 1, vy1);
    for (int y = iy0; y <= iy1; ++y) {
        const uint32_t* row = in + static_cast<long>(y) * w;
        float* l = line.p;
        for (int i = 0; i < n; ++i) {
            const uint32_t p = row[clampi(ex0 + i, 0, w - 1)];
            l[3 * i] = static_cast<float>(p & 0xFF);
            l[3 * i + 1] = static_cast<float>((p >> 8) & 0xFF);
            l[3 * i + 2] = static_cast<float>((p >> 16) & 0xFF);
        }
        // The three channels side by side: three independent recursions
        // keep the processor busy where one would wait on the last result.
        float w1[3], w2[3], w3[3];
        for (int c = 0; c < 3; ++c)
            w1[c] = w2[c] = w3[c] = l[c];
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < 3; ++c) {
                const float v = B * l[3 * i + c] + a1 * w1[c] + a2 * w2[c] + a3 * w3[c];
                l[3 * i + c] = v;
                w3[c] = w2[c], w2[c] = w1[c], w1[c] = v;
            }
        for (int c = 0; c < 3; ++c)
            w1[c] = w2[c] = w3[c] = l[3 * (n - 1) + c];
        for (int i = n - 1; i >= 0; --i)
            for (int c = 0; c < 3; ++c) {
                const float v = B * l[3 * i + c] + a1 * w1[c] + a2 * w2[c] + a3 * w3[c];
                l[3 * i + c] = v;
                w3[c] = w2[c], w2[c] = w1[c], w1[c] = v;
            }
        std::copy(l + 3 * pad, l + 3 * pad + rowf, plane.p + (y - vy0) * rowf);
    }
    for (int y = vy0; y <= vy1; ++y)
        if (y < iy0 || y > iy1)
            std::copy_n(plane.p + (clampi(y, iy0, iy1) - vy0) * rowf, rowf, plane.p + (y - vy0) * rowf);
    // Along y, all columns of a row at once.
    auto row_at = [&](long r) { return plane.p + r * rowf; };
    for (long r = 0; r < rows; ++r) {
        float* cur = row_at(r);
        const float* p1 = row_at(std::max(0L, r - 1));
        const float* p2 = row_at(std::max(0L, r - 2));
        const float* p3 = row_at(std::max(0L, r - 3));
        if (r == 0)
            continue;  // the first row is its own steady state
        for (long j = 0; j < rowf; ++j)
            cur[j] = B * cur[j] + a1 * p1[j] + a2 * p2[j] + a3 * p3[j];
    }
    for (long r = rows - 2; r >= 0; --r) {
        float* cur = row_at(r);
        const float* n1 = row_at(r + 1);
        const float* n2 = row_at(std::min(rows - 1, r + 2));
        const float* n3 = row_at(std::min(rows - 1, r + 3));
        for (long j = 0; j < rowf; ++j)
            cur[j] = B * cur[j] + a1 * n1[j] + a2 * n2[j] + a3 * n3[j];
    }
    for (int y = b.y0; y <= b.y1; ++y) {
        const float* a = row_at(y - vy0);
        uint32_t* o = out + static_cast<long>(y) * w;
        const uint32_t* src = in + static_cast<long>(y) * w;
        for (int x = b.x0; x <= b.x1; ++x, a += 3)
            o[x] = pixel_make(clamp_byte_f(a[0]), clamp_byte_f(a[1]), clamp_byte_f(a[2]), pixel_a(src[x]));
    }
    return true;
}

} // namespace

bool gauss_blur(const uint32_t* in, int w, int h, int x0, int y0, int x1, int y1, float sigma, uint32_t* out)
{
    const Box b{x0, y0, x1, y1};
    // Beyond the typed range (a script may pass anything) the padding
    // would outgrow memory; the blur is a flat mean long before.
    sigma = std::min(sigma, 250.0f);
    if (!(sigma > 0.05f)) {
        for (int y = y0; y <= y1; ++y)
            std::copy(in + static_cast<long>(y) * w + x0, in + static_cast<long>(y) * w + x1 + 1,
                      out + static_cast<long>(y) * w + x0);
        return true;
    }
    return sigma < kRecursiveFrom ? blur_direct(in, w, h, b, sigma, out) : blur_recursive(in, w, h, b, sigma, out);
}

int blur_prepass(Image* target, uint8_t*)
{
    pass_release();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    if (!gauss_blur(work.in.p, work.w, work.h, b.x0, b.y0, b.x1, b.y1, filter_params().blur_radius, work.out.p)) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    pass_take(work);
    return 0;
}

int unsharp_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    Buffer<uint32_t> blurred(static_cast<long>(work.w) * work.h);
    if (!blurred || !gauss_blur(work.in.p, work.w, work.h, b.x0, b.y0, b.x1, b.y1, p.usm_radius, blurred.p)) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    const int amount = p.usm_amount, threshold = p.usm_threshold;
    for (int y = b.y0; y <= b.y1; ++y) {
        const long row = static_cast<long>(y) * work.w;
        for (int x = b.x0; x <= b.x1; ++x) {
            const uint32_t o = work.in[row + x], s = blurred[row + x];
            uint32_t r = o;
            for (int c = 0; c < 3; ++c) {
                const int d = channel(o, c) - channel(s, c);
                if ((d < 0 ? -d : d) < threshold)
                    continue;
                // Rounded to the nearest, halves away from zero.
                const int lift = (d * amount + (d < 0 ? -50 : 50)) / 100;
                r = with_channel(r, c, clamp_byte(channel(o, c) + lift));
            }
            work.out[row + x] = r;
        }
    }
    work_commit(work, mask);
    return 0;
}

} // namespace filt
