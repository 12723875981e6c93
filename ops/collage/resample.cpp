#include "ops/collage/resample.h"

#include "core/messages.h"
#include "core/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace resample {
namespace {

constexpr int kShift = 14;
constexpr int32_t kOne = 1 << kShift;

double sinc(double x)
{
    if (std::fabs(x) < 1e-9)
        return 1;
    x *= M_PI;
    return std::sin(x) / x;
}

double kernel(int filter, double x)
{
    x = std::fabs(x);
    switch (filter) {
    case Lanczos3:
        return x < 3 ? sinc(x) * sinc(x / 3) : 0;
    case Bicubic:  // Catmull-Rom (a = -0.5)
        if (x < 1)
            return (1.5 * x - 2.5) * x * x + 1;
        if (x < 2)
            return ((-0.5 * x + 2.5) * x - 4) * x + 2;
        return 0;
    case Bilinear:
        return x < 1 ? 1 - x : 0;
    default:
        return 0;
    }
}

double support(int filter)
{
    return filter == Lanczos3 ? 3 : filter == Bicubic ? 2 : 1;
}

// The taps of one axis: output i reads `count` inputs from first[i] on.
struct Taps {
    std::vector<int32_t> first;
    std::vector<int32_t> weight;  // count per output, fixed point summing to kOne
    int count = 0;
};

void make_taps(long in, long out, int filter, Taps& t)
{
    const double scale = static_cast<double>(out) / in;
    if (filter == Auto)
        filter = scale < 1 ? Area : (scale == 1 ? Nearest : Lanczos3);
    std::vector<std::vector<double>> rows(static_cast<size_t>(out));
    t.first.assign(static_cast<size_t>(out), 0);
    int count = 1;
    for (long i = 0; i < out; ++i) {
        std::vector<double>& r = rows[static_cast<size_t>(i)];
        long lo, hi;
        if (filter == Nearest) {
            lo = hi = std::clamp(static_cast<long>(std::floor((i + 0.5) / scale)), 0L, in - 1);
            r.push_back(1);
        } else if (filter == Area) {
            const double a = i / scale, b = (i + 1) / scale;
            lo = std::clamp(static_cast<long>(std::floor(a)), 0L, in - 1);
            hi = std::clamp(static_cast<long>(std::ceil(b)) - 1, lo, in - 1);
            for (long j = lo; j <= hi; ++j)
                r.push_back(std::max(0.0, std::min<double>(b, j + 1) - std::max<double>(a, j)));
        } else {
            const double stretch = scale < 1 ? 1 / scale : 1;
            const double c = (i + 0.5) / scale - 0.5;
            const double s = support(filter) * stretch;
            lo = std::max(0L, static_cast<long>(std::floor(c - s)) + 1);
            hi = std::min(in - 1, static_cast<long>(std::ceil(c + s)) - 1);
            if (hi < lo)
                lo = hi = std::clamp(static_cast<long>(std::lround(c)), 0L, in - 1);
            for (long j = lo; j <= hi; ++j)
                r.push_back(kernel(filter, (j - c) / stretch));
        }
        double sum = 0;
        for (double v : r)
            sum += v;
        if (!(std::fabs(sum) > 1e-12)) {
            r.assign(1, 1.0);
            hi = lo;
            sum = 1;
        }
        for (double& v : r)
            v /= sum;
        t.first[static_cast<size_t>(i)] = static_cast<int32_t>(lo);
        count = std::max(count, static_cast<int>(r.size()));
    }
    t.count = count;
    t.weight.assign(static_cast<size_t>(out) * static_cast<size_t>(count), 0);
    for (long i = 0; i < out; ++i) {
        const std::vector<double>& r = rows[static_cast<size_t>(i)];
        // Every output reads `count` inputs that lie on the input: a window
        // reaching past the end starts earlier, its leading taps weightless.
        const long lo = t.first[static_cast<size_t>(i)];
        const long first = std::min(lo, std::max(0L, in - count));
        t.first[static_cast<size_t>(i)] = static_cast<int32_t>(first);
        int32_t* wi = &t.weight[static_cast<size_t>(i) * static_cast<size_t>(count)] + (lo - first);
        int32_t total = 0;
        size_t big = 0;
        for (size_t k = 0; k < r.size(); ++k) {
            wi[k] = static_cast<int32_t>(std::lround(r[k] * kOne));
            total += wi[k];
            if (std::fabs(r[k]) > std::fabs(r[big]))
                big = k;
        }
        wi[big] += kOne - total;  // the rounding goes to the strongest tap
    }
}

inline uint8_t clamp_round(int32_t v)
{
    v = (v + (1 << (kShift - 1))) >> kShift;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// One row through the horizontal taps.
void row_h(const uint8_t* in, uint8_t* out, long out_w, const Taps& t)
{
    const int n = t.count;
    for (long i = 0; i < out_w; ++i) {
        const uint8_t* p = in + 4 * static_cast<size_t>(t.first[static_cast<size_t>(i)]);
        const int32_t* w = &t.weight[static_cast<size_t>(i) * static_cast<size_t>(n)];
        int32_t r = 0, g = 0, b = 0, a = 0;
        for (int k = 0; k < n; ++k, p += 4) {
            r += w[k] * p[0];
            g += w[k] * p[1];
            b += w[k] * p[2];
            a += w[k] * p[3];
        }
        uint8_t* o = out + 4 * i;
        o[0] = clamp_round(r), o[1] = clamp_round(g), o[2] = clamp_round(b), o[3] = clamp_round(a);
    }
}

// One output row from `count` rows through the vertical taps.
void row_v(const uint8_t* const* rows, const int32_t* w, int n, uint8_t* out, long bytes, int32_t* acc)
{
    std::fill(acc, acc + bytes, 0);
    for (int k = 0; k < n; ++k) {
        const int32_t wk = w[k];
        if (!wk)
            continue;
        const uint8_t* p = rows[k];
        for (long i = 0; i < bytes; ++i)
            acc[i] += wk * p[i];
    }
    for (long i = 0; i < bytes; ++i)
        out[i] = clamp_round(acc[i]);
}

} // namespace

bool resize(const Block& in, const OutBlock& out, int filter, bool (*cancel)(long, long))
{
    if (in.width < 1 || in.height < 1 || out.width < 1 || out.height < 1)
        return false;
    if (filter < 0 || filter >= kFilterCount)
        filter = Auto;
    Taps th, tv;
    make_taps(in.width, out.width, filter, th);
    make_taps(in.height, out.height, filter, tv);
    // Only the input rows some output row reads go through the first pass.
    long y_lo = tv.first.front(), y_hi = tv.first.back() + tv.count - 1;
    const size_t tmp_row = 4 * static_cast<size_t>(out.width);
    std::vector<uint8_t> tmp;
    try {
        tmp.resize(tmp_row * static_cast<size_t>(y_hi - y_lo + 1));
    } catch (const std::bad_alloc&) {
        message_show(msg::NoMemoryOperation);
        return false;
    }
    const long total = (y_hi - y_lo + 1) + out.height;
    auto meter = [cancel, total](long done) { return cancel && cancel(done, total); };
    const bool same_w = out.width == in.width && filter != Area && th.count == 1;
    bool done = parallel_rows(
        y_lo, y_hi,
        [&](long first, long last) {
            for (long y = first; y <= last; ++y) {
                const uint8_t* src = in.pixels + 4 * static_cast<size_t>(y) * static_cast<size_t>(in.stride);
                uint8_t* dst = &tmp[static_cast<size_t>(y - y_lo) * tmp_row];
                if (same_w)
                    std::memcpy(dst, src, tmp_row);
                else
                    row_h(src, dst, out.width, th);
            }
        },
        meter);
    if (!done)
        return false;
    const long passed = y_hi - y_lo + 1;
    done = parallel_rows(
        0, out.height - 1,
        [&](long first, long last) {
            std::vector<int32_t> acc(tmp_row);
            std::vector<const uint8_t*> rows(static_cast<size_t>(tv.count));
            for (long y = first; y <= last; ++y) {
                const int32_t* w = &tv.weight[static_cast<size_t>(y) * static_cast<size_t>(tv.count)];
                for (int k = 0; k < tv.count; ++k)
                    rows[static_cast<size_t>(k)] = &tmp[static_cast<size_t>(tv.first[static_cast<size_t>(y)] + k - y_lo) * tmp_row];
                uint8_t* dst = out.pixels + 4 * static_cast<size_t>(y) * static_cast<size_t>(out.stride);
                row_v(rows.data(), w, tv.count, dst, static_cast<long>(tmp_row), acc.data());
            }
        },
        [&meter, passed](long d) { return meter(passed + d); });
    return done;
}

void sample_bilinear(const Block& in, double x, double y, uint8_t out[4])
{
    x -= 0.5;
    y -= 0.5;
    if (!(x > 0))
        x = 0;
    if (!(y > 0))
        y = 0;
    x = std::min(x, static_cast<double>(in.width - 1));
    y = std::min(y, static_cast<double>(in.height - 1));
    const long x0 = static_cast<long>(x), y0 = static_cast<long>(y);
    const long x1 = std::min(x0 + 1, in.width - 1), y1 = std::min(y0 + 1, in.height - 1);
    const double fx = x - x0, fy = y - y0;
    auto at = [&in](long px, long py) { return in.pixels + 4 * (static_cast<size_t>(py) * static_cast<size_t>(in.stride) + static_cast<size_t>(px)); };
    const uint8_t *a = at(x0, y0), *b = at(x1, y0), *c = at(x0, y1), *d = at(x1, y1);
    for (int k = 0; k < 4; ++k) {
        const double top = a[k] + (b[k] - a[k]) * fx, bottom = c[k] + (d[k] - c[k]) * fx;
        out[k] = static_cast<uint8_t>(std::lround(top + (bottom - top) * fy));
    }
}

} // namespace resample
