// Order filters: Minimum and Maximum (grey-level erosion and dilation),
// Remove (the median), Shave (conservative smoothing), RIS (specks) and
// RIC (rare colours).
#include "core/image.h"
#include "core/messages.h"
#include "ops/filter/filter_internal.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace filt {

namespace {

// ---- erosion and dilation ----------------------------------------------------

template <bool Max>
inline uint8_t pick(uint8_t a, uint8_t b)
{
    if constexpr (Max)
        return a > b ? a : b;
    else
        return a < b ? a : b;
}

// The running minimum (maximum) over windows of 2r + 1 samples of a line of
// n samples, the ends repeated (van Herk / Gil and Werman: three
// comparisons per sample whatever the radius).  `g` and `h` hold n + 2r.
template <bool Max>
void run_line(const uint8_t* src, int n, int r, uint8_t* dst, uint8_t* g, uint8_t* h)
{
    const int k = 2 * r + 1, m = n + 2 * r;
    auto at = [&](int i) { return src[clampi(i - r, 0, n - 1)]; };
    for (int i = 0; i < m; ++i)
        g[i] = i % k == 0 ? at(i) : pick<Max>(g[i - 1], at(i));
    for (int i = m - 1; i >= 0; --i)
        h[i] = (i % k == k - 1 || i == m - 1) ? at(i) : pick<Max>(h[i + 1], at(i));
    for (int i = 0; i < n; ++i)
        dst[i] = pick<Max>(h[i], g[i + k - 1]);
}

// The same down the columns of a block of `rows` rows of `n` bytes, a whole
// row at a time.  `g` and `h` hold (rows + 2r) rows.
template <bool Max>
void run_columns(const uint8_t* src, int n, int rows, int r, uint8_t* dst, uint8_t* g, uint8_t* h)
{
    const int k = 2 * r + 1, m = rows + 2 * r;
    auto at = [&](int i) { return src + static_cast<long>(clampi(i - r, 0, rows - 1)) * n; };
    for (int i = 0; i < m; ++i) {
        uint8_t* gi = g + static_cast<long>(i) * n;
        const uint8_t* s = at(i);
        if (i % k == 0) {
            std::memcpy(gi, s, static_cast<size_t>(n));
        } else {
            const uint8_t* prev = gi - n;
            for (int x = 0; x < n; ++x)
                gi[x] = pick<Max>(prev[x], s[x]);
        }
    }
    for (int i = m - 1; i >= 0; --i) {
        uint8_t* hi = h + static_cast<long>(i) * n;
        const uint8_t* s = at(i);
        if (i % k == k - 1 || i == m - 1) {
            std::memcpy(hi, s, static_cast<size_t>(n));
        } else {
            const uint8_t* next = hi + n;
            for (int x = 0; x < n; ++x)
                hi[x] = pick<Max>(next[x], s[x]);
        }
    }
    for (int i = 0; i < rows; ++i) {
        const uint8_t* hi = h + static_cast<long>(i) * n;
        const uint8_t* gi = g + static_cast<long>(i + k - 1) * n;
        uint8_t* d = dst + static_cast<long>(i) * n;
        for (int x = 0; x < n; ++x)
            d[x] = pick<Max>(hi[x], gi[x]);
    }
}

// One channel of the expanded box `e` as a plane.
void plane_of(const Work& work, const Box& e, int c, uint8_t* plane)
{
    const int n = e.width();
    for (int y = e.y0; y <= e.y1; ++y) {
        const uint32_t* row = work.in.p + static_cast<long>(y) * work.w;
        uint8_t* d = plane + static_cast<long>(y - e.y0) * n;
        for (int x = e.x0; x <= e.x1; ++x)
            d[x - e.x0] = static_cast<uint8_t>(row[x] >> (8 * c));
    }
}

template <bool Max>
int morph(Image* target, uint8_t* mask, int radius, int shape, const char* caption)
{
    Work work;
    if (!work_open(work, target))
        return 1;
    const int r = clampi(radius, 0, 500);
    const Box& b = work.box;
    if (r == 0) {
        work_commit(work, mask);
        return 0;
    }
    // The box and the radius around it, on the image: beyond the image the
    // edge repeats, which the line filters do themselves.
    const Box e{std::max(0, b.x0 - r), std::max(0, b.y0 - r), std::min(work.w - 1, b.x1 + r),
                std::min(work.h - 1, b.y1 + r)};
    const int n = e.width(), rows = e.height();
    const long size = static_cast<long>(n) * rows;
    const long scratch = static_cast<long>(std::max(n, rows) + 2 * r) * std::max(n, 1);
    const long scratch_rows = static_cast<long>(rows + 2 * r) * n;
    Buffer<uint8_t> plane(size), across(size), result(size), g(std::max(scratch, scratch_rows)),
        h(std::max(scratch, scratch_rows));
    if (!plane || !across || !result || !g || !h) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    Meter meter(caption, 3);
    for (int c = 0; c < 3; ++c) {
        if (meter.step(c))
            return 1;
        plane_of(work, e, c, plane.p);
        if (shape == 0) {
            for (int y = 0; y < rows; ++y)
                run_line<Max>(plane.p + static_cast<long>(y) * n, n, r, across.p + static_cast<long>(y) * n, g.p,
                              h.p);
            run_columns<Max>(across.p, n, rows, r, result.p, g.p, h.p);
        } else {
            // A disc: the rows of the disc, each a line of its own half width,
            // folded together (cost grows with the radius).
            std::memset(result.p, Max ? 0 : 255, static_cast<size_t>(size));
            std::vector<int> half(static_cast<size_t>(2 * r + 1));
            for (int dy = -r; dy <= r; ++dy)
                half[static_cast<size_t>(dy + r)] =
                    static_cast<int>(std::floor(std::sqrt(static_cast<double>(r) * r - dy * dy) + 1e-9));
            for (int hw = 0; hw <= r; ++hw) {
                bool used = false;
                for (int v : half)
                    used |= v == hw;
                if (!used)
                    continue;
                for (int y = 0; y < rows; ++y)
                    run_line<Max>(plane.p + static_cast<long>(y) * n, n, hw, across.p + static_cast<long>(y) * n,
                                  g.p, h.p);
                for (int dy = -r; dy <= r; ++dy) {
                    if (half[static_cast<size_t>(dy + r)] != hw)
                        continue;
                    for (int y = b.y0; y <= b.y1; ++y) {
                        const int sy = clampi(y + dy, 0, work.h - 1) - e.y0;
                        const uint8_t* s = across.p + static_cast<long>(sy) * n;
                        uint8_t* d = result.p + static_cast<long>(y - e.y0) * n;
                        for (int x = 0; x < n; ++x)
                            d[x] = pick<Max>(d[x], s[x]);
                    }
                }
            }
        }
        for (int y = b.y0; y <= b.y1; ++y) {
            uint32_t* o = work.out.p + static_cast<long>(y) * work.w;
            const uint8_t* s = result.p + static_cast<long>(y - e.y0) * n - e.x0;
            for (int x = b.x0; x <= b.x1; ++x)
                o[x] = with_channel(o[x], c, s[x]);
        }
    }
    work_commit(work, mask);
    return 0;
}

// ---- the median ------------------------------------------------------------------

// The median of the (2r + 1)² window of every pixel of the box, per colour
// channel, by the sliding histogram (Huang): 2(2r + 1) histogram updates
// per pixel and channel.
bool median(const Work& work, int r, uint32_t* out, Meter* meter)
{
    const Box& b = work.box;
    const int k = 2 * r + 1, half = k * k / 2;
    std::vector<const uint32_t*> rows(static_cast<size_t>(k));
    for (int y = b.y0; y <= b.y1; ++y) {
        if (meter && meter->step(y - b.y0))
            return false;
        for (int i = 0; i < k; ++i)
            rows[static_cast<size_t>(i)] = work.in.p + static_cast<long>(clampi(y - r + i, 0, work.h - 1)) * work.w;
        int hist[3][256];
        std::memset(hist, 0, sizeof hist);
        auto column = [&](int x, int delta) {
            const int cx = clampi(x, 0, work.w - 1);
            for (const uint32_t* row : rows) {
                const uint32_t p = row[cx];
                hist[0][p & 0xFF] += delta;
                hist[1][(p >> 8) & 0xFF] += delta;
                hist[2][(p >> 16) & 0xFF] += delta;
            }
        };
        for (int dx = -r; dx <= r; ++dx)
            column(b.x0 + dx, 1);
        int med[3], below[3];
        for (int c = 0; c < 3; ++c) {
            int sum = 0, v = 0;
            while (sum + hist[c][v] <= half)
                sum += hist[c][v++];
            med[c] = v, below[c] = sum;
        }
        uint32_t* o = out + static_cast<long>(y) * work.w;
        for (int x = b.x0;; ++x) {
            o[x] = pixel_make(med[0], med[1], med[2], pixel_a(work.in[static_cast<long>(y) * work.w + x]));
            if (x == b.x1)
                break;
            // Slide: the column leaving and the one entering, with the count
            // below each median kept up to date.
            const int lx = clampi(x - r, 0, work.w - 1), ex = clampi(x + r + 1, 0, work.w - 1);
            for (const uint32_t* row : rows) {
                const uint32_t lp = row[lx], ep = row[ex];
                for (int c = 0; c < 3; ++c) {
                    const int lv = channel(lp, c), ev = channel(ep, c);
                    --hist[c][lv];
                    ++hist[c][ev];
                    below[c] += (ev < med[c]) - (lv < med[c]);
                }
            }
            for (int c = 0; c < 3; ++c) {
                int& m = med[c];
                int& lt = below[c];
                while (lt > half)
                    lt -= hist[c][--m];
                while (lt + hist[c][m] <= half)
                    lt += hist[c][m++];
            }
        }
    }
    return true;
}

} // namespace

int minimum_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    return morph<false>(target, mask, p.min_radius, p.min_shape, "Minimum");
}

int maximum_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    return morph<true>(target, mask, p.max_radius, p.max_shape, "Maximum");
}

int remove_prepass(Image* target, uint8_t*)
{
    pass_release();
    Work work;
    if (!work_open(work, target))
        return 1;
    if (!median(work, clampi(filter_params().remove_radius, 0, 200), work.out.p, nullptr))
        return 1;
    pass_take(work);
    return 0;
}

int shave_prepass(Image* target, uint8_t*)
{
    pass_release();
    Work work;
    if (!work_open(work, target))
        return 1;
    const FilterParams& p = filter_params();
    const int tol = p.shave_tolerance, mode = p.shave_mode;
    const Box& b = work.box;
    for (int y = b.y0; y <= b.y1; ++y) {
        for (int x = b.x0; x <= b.x1; ++x) {
            int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    if (!dx && !dy)
                        continue;
                    const uint32_t q = work.in[static_cast<long>(clampi(y + dy, 0, work.h - 1)) * work.w +
                                               clampi(x + dx, 0, work.w - 1)];
                    for (int c = 0; c < 3; ++c) {
                        lo[c] = std::min(lo[c], channel(q, c));
                        hi[c] = std::max(hi[c], channel(q, c));
                    }
                }
            const long i = static_cast<long>(y) * work.w + x;
            uint32_t v = work.in[i];
            for (int c = 0; c < 3; ++c) {
                int ch = channel(v, c);
                if (mode != 2)
                    ch = std::min(ch, hi[c] + tol);
                if (mode != 1)
                    ch = std::max(ch, lo[c] - tol);
                v = with_channel(v, c, clamp_byte(ch));
            }
            work.out[i] = v;
        }
    }
    pass_take(work);
    return 0;
}

int ris_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    const int size = clampi(p.ris_size, 1, 10000);
    // A window in which a speck of `size` pixels is always the minority.
    const int r = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(size)))));
    const long bw = b.width(), bh = b.height();
    Buffer<uint32_t> med(static_cast<long>(work.w) * work.h);
    Buffer<uint8_t> odd(bw * bh);
    Buffer<int32_t> stack(bw * bh);
    if (!med || !odd || !stack) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    Meter meter("RIS", bh);
    if (!median(work, r, med.p, &meter))
        return 1;
    // Pixels that stand out from their neighbourhood's median.
    for (long y = 0; y < bh; ++y)
        for (long x = 0; x < bw; ++x) {
            const long i = (b.y0 + y) * work.w + b.x0 + x;
            int d = 0;
            for (int c = 0; c < 3; ++c)
                d = std::max(d, std::abs(channel(work.in[i], c) - channel(med[i], c)));
            odd[y * bw + x] = d > p.ris_threshold ? 1 : 0;
        }
    // From each such pixel, the patch of pixels of about its colour
    // (touching at sides or corners): a patch of at most `size` pixels is a
    // speck and takes the median; a larger one is detail (a corner of a
    // bright square stands out from its median too) and stays.
    Buffer<int32_t> seen(bw * bh);
    if (!seen) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    for (long i = 0; i < bw * bh; ++i)
        seen[i] = -1;
    std::vector<long> members;
    for (long start = 0; start < bw * bh; ++start) {
        if (odd[start] != 1)
            continue;
        const uint32_t seed = work.in[(b.y0 + start / bw) * work.w + b.x0 + start % bw];
        members.clear();
        long top = 0;
        stack[top++] = static_cast<int32_t>(start);
        seen[start] = static_cast<int32_t>(start);
        while (top > 0 && static_cast<long>(members.size()) <= size) {
            const long i = stack[--top];
            members.push_back(i);
            const long y = i / bw, x = i % bw;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const long ny = y + dy, nx = x + dx;
                    if (ny < 0 || nx < 0 || ny >= bh || nx >= bw || seen[ny * bw + nx] == start)
                        continue;
                    const uint32_t q = work.in[(b.y0 + ny) * work.w + b.x0 + nx];
                    int d = 0;
                    for (int c = 0; c < 3; ++c)
                        d = std::max(d, std::abs(channel(q, c) - channel(seed, c)));
                    if (d > p.ris_threshold)
                        continue;
                    seen[ny * bw + nx] = static_cast<int32_t>(start);
                    stack[top++] = static_cast<int32_t>(ny * bw + nx);
                }
        }
        if (static_cast<long>(members.size()) > size)
            continue;
        for (long i : members) {
            odd[i] = 2;
            const long at = (b.y0 + i / bw) * work.w + b.x0 + i % bw;
            work.out[at] = (med[at] & 0x00FFFFFFu) | (work.in[at] & 0xFF000000u);
        }
    }
    work_commit(work, mask);
    return 0;
}

int ric_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    Work work;
    if (!work_open(work, target))
        return 1;
    const Box& b = work.box;
    // How many pixels of the box have each colour.
    std::vector<uint32_t> colours;
    colours.reserve(static_cast<size_t>(b.width()) * static_cast<size_t>(b.height()));
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x)
            colours.push_back(work.in[static_cast<long>(y) * work.w + x] & 0x00FFFFFFu);
    std::sort(colours.begin(), colours.end());
    std::vector<uint32_t> unique;
    std::vector<int32_t> counts;
    for (size_t i = 0; i < colours.size();) {
        size_t j = i;
        while (j < colours.size() && colours[j] == colours[i])
            ++j;
        unique.push_back(colours[i]);
        counts.push_back(static_cast<int32_t>(j - i));
        i = j;
    }
    colours = std::vector<uint32_t>();
    auto count_of = [&](uint32_t c) {
        auto it = std::lower_bound(unique.begin(), unique.end(), c);
        return it != unique.end() && *it == c ? counts[static_cast<size_t>(it - unique.begin())] : 0;
    };
    const int need = std::max(1, p.ric_count);
    Meter meter("RIC", b.height());
    for (int y = b.y0; y <= b.y1; ++y) {
        if (meter.step(y - b.y0))
            return 1;
        for (int x = b.x0; x <= b.x1; ++x) {
            const uint32_t here = work.in[static_cast<long>(y) * work.w + x];
            if (count_of(here & 0x00FFFFFFu) >= need)
                continue;
            // The nearest common colour among the neighbours, within 2 pixels.
            int best = p.ric_tolerance + 1;
            uint32_t pick = here;
            for (int ring = 1; ring <= 2 && best > p.ric_tolerance; ++ring)
                for (int dy = -ring; dy <= ring; ++dy)
                    for (int dx = -ring; dx <= ring; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if ((std::abs(dx) != ring && std::abs(dy) != ring) || nx < 0 || ny < 0 || nx >= work.w ||
                            ny >= work.h)
                            continue;
                        const uint32_t q = work.in[static_cast<long>(ny) * work.w + nx];
                        const int d = std::abs(pixel_r(q) - pixel_r(here)) + std::abs(pixel_g(q) - pixel_g(here)) +
                                      std::abs(pixel_b(q) - pixel_b(here));
                        if (d < best && count_of(q & 0x00FFFFFFu) >= need) {
                            best = d;
                            pick = q;
                        }
                    }
            if (best <= p.ric_tolerance)
                work.out[static_cast<long>(y) * work.w + x] = (pick & 0x00FFFFFFu) | (here & 0xFF000000u);
        }
    }
    work_commit(work, mask);
    return 0;
}

} // namespace filt
