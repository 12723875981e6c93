#include "areas/area_pixels.h"

#include "core/image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// A colour test with the last answer remembered: images have long runs of
// one colour, and the HSL test is costly.
class ColourTest {
public:
    explicit ColourTest(const ColourRange& c) : c_(c)
    {
        if (c.space == KeySpace::RGB) {
            for (int ch = 0; ch < 3; ++ch)
                for (int v = 0; v < 256; ++v)
                    ok_[ch][v] = std::abs(v - c.key[ch]) <= c.range[ch];
        } else {
            key_hsl_ = rgb_to_hsl(c.key[0], c.key[1], c.key[2]);
        }
    }

    bool operator()(const uint8_t* px)
    {
        if (c_.space == KeySpace::RGB)
            return ok_[0][px[0]] & ok_[1][px[1]] & ok_[2][px[2]];
        uint32_t rgb = static_cast<uint32_t>(px[0]) | px[1] << 8 | px[2] << 16;
        if (rgb != last_rgb_) {
            last_rgb_ = rgb;
            last_ = hsl_match(rgb_to_hsl(px[0], px[1], px[2]));
        }
        return last_;
    }

    bool rgb() const { return c_.space == KeySpace::RGB; }
    // The RGB range of a channel as its lowest value and width; an empty
    // range starts at 256, which no byte reaches.
    bool empty(int ch) const
    {
        return c_.range[ch] < 0 || c_.key[ch] + c_.range[ch] < 0 || c_.key[ch] - c_.range[ch] > 255;
    }
    uint32_t low(int ch) const
    {
        return empty(ch) ? 256u : static_cast<uint32_t>(std::clamp(c_.key[ch] - c_.range[ch], 0, 255));
    }
    uint32_t span(int ch) const
    {
        return empty(ch) ? 0u : static_cast<uint32_t>(std::min(c_.key[ch] + c_.range[ch], 255)) - low(ch);
    }

private:
    bool hsl_match(const Hsl& p) const
    {
        // A grey has no hue to compare.
        if (p.s > 0 && key_hsl_.s > 0) {
            int dh = std::abs(p.h - key_hsl_.h);
            dh = std::min(dh, 360 - dh);
            if (dh > c_.range[0])
                return false;
        }
        return std::abs(p.s - key_hsl_.s) <= c_.range[1] && std::abs(p.l - key_hsl_.l) <= c_.range[2];
    }

    ColourRange c_;
    bool ok_[3][256]{};
    Hsl key_hsl_{0, 0, 0};
    uint32_t last_rgb_ = 0xffffffffu;
    bool last_ = false;
};

constexpr uint8_t kCandidate = 1;  // matches the colour, not reached yet
constexpr uint64_t kOnes = 0x0101010101010101ull;

uint64_t load8(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Does any byte of v equal 1?
bool has_candidate(uint64_t v)
{
    v ^= kOnes;
    return ((v - kOnes) & ~v & (kOnes << 7)) != 0;
}

// The first column from x (up to `end`, exclusive) that is (or is not) a
// candidate; eight at a time where it can.
long find_candidate(const uint8_t* row, long x, long end)
{
    while (x + 8 <= end && !has_candidate(load8(row + x)))
        x += 8;
    while (x < end && row[x] != kCandidate)
        ++x;
    return x;
}
long skip_candidates(const uint8_t* row, long x, long end)
{
    while (x + 8 <= end && load8(row + x) == kOnes)
        x += 8;
    while (x < end && row[x] == kCandidate)
        ++x;
    return x;
}

// Writes `value` for every pixel the test takes, 0 for the others.
void mark(Image* target, ColourTest& test, uint8_t value, uint8_t* mask)
{
    const long w = target->width, h = target->height;
    for (long y = 0; y < h; ++y) {
        const uint8_t* px = target->row(static_cast<int>(y));
        uint8_t* m = mask + y * w;
        if (test.rgb()) {
            // Each channel within [lo, lo + span]: one unsigned compare, and
            // a loop the compiler can vectorise.
            const uint32_t lr = test.low(0), lg = test.low(1), lb = test.low(2);
            const uint32_t sr = test.span(0), sg = test.span(1), sb = test.span(2);
            for (long x = 0; x < w; ++x) {
                uint32_t p;
                std::memcpy(&p, px + 4 * x, 4);
                const bool in = ((p & 0xff) - lr <= sr) & (((p >> 8) & 0xff) - lg <= sg) & (((p >> 16) & 0xff) - lb <= sb);
                m[x] = in ? value : 0;
            }
        } else {
            for (long x = 0; x < w; ++x)
                m[x] = test(px + 4 * x) ? value : 0;
        }
    }
}

} // namespace

Hsl rgb_to_hsl(int r, int g, int b)
{
    int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    Hsl out{0, 0, (mx + mn) * 100 / 510};
    if (mx == mn)
        return out;
    double d = mx - mn;
    double l = (mx + mn) / 510.0;
    double s = l < 0.5 ? d / (mx + mn) : d / (510.0 - mx - mn);
    double h;
    if (mx == r)
        h = std::fmod((g - b) / d + 6, 6);
    else if (mx == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    out.h = static_cast<int>(std::lround(h * 60)) % 360;
    out.s = static_cast<int>(std::lround(s * 100));
    return out;
}

PixelBounds area_flood(Image* target, long seed_x, long seed_y, const int range[3], KeySpace space, uint8_t* mask)
{
    PixelBounds b;
    const long w = target->width, h = target->height;
    if (seed_x < 0 || seed_y < 0 || seed_x >= w || seed_y >= h)
        return b;
    const uint8_t* seed = target->pixel(static_cast<int>(seed_x), static_cast<int>(seed_y));
    ColourRange c{{seed[0], seed[1], seed[2]}, {range[0], range[1], range[2]}, space};
    ColourTest test(c);
    // Mark every pixel of the colour first; the flood then only reads bytes.
    mark(target, test, kCandidate, mask);
    // Span flood, 4-connected.
    // Seeds as 32-bit pairs: a maze-like region can leave many on the stack.
    std::vector<std::pair<int32_t, int32_t>> stack;
    stack.push_back({static_cast<int32_t>(seed_x), static_cast<int32_t>(seed_y)});
    b = {seed_x, seed_y, seed_x, seed_y};
    while (!stack.empty()) {
        const long x = stack.back().first, y = stack.back().second;
        stack.pop_back();
        uint8_t* row = mask + y * w;
        if (row[x] != kCandidate)
            continue;
        long xl = x;
        while (xl >= 8 && load8(row + xl - 8) == kOnes)
            xl -= 8;
        while (xl > 0 && row[xl - 1] == kCandidate)
            --xl;
        const long xr = skip_candidates(row, x, w) - 1;
        std::memset(row + xl, 255, static_cast<size_t>(xr - xl + 1));
        b.x0 = std::min(b.x0, xl);
        b.x1 = std::max(b.x1, xr);
        b.y0 = std::min(b.y0, y);
        b.y1 = std::max(b.y1, y);
        for (long ny : {y - 1, y + 1}) {
            if (ny < 0 || ny >= h)
                continue;
            // One seed for each run of candidates next to the span.
            const uint8_t* nrow = mask + ny * w;
            for (long nx = find_candidate(nrow, xl, xr + 1); nx <= xr;
                 nx = find_candidate(nrow, skip_candidates(nrow, nx, xr + 1), xr + 1))
                stack.push_back({static_cast<int32_t>(nx), static_cast<int32_t>(ny)});
        }
    }
    // Colours that were not reached are not selected.
    for (long i = 0, n = w * h; i < n; ++i)
        mask[i] = static_cast<uint8_t>(-(mask[i] >> 7));
    return b;
}

PixelBounds area_key(Image* target, const ColourRange& colours, uint8_t* mask)
{
    PixelBounds b;
    ColourTest test(colours);
    const long w = target->width, h = target->height;
    mark(target, test, 255, mask);
    for (long y = 0; y < h; ++y) {
        const uint8_t* m = mask + y * w;
        const void* hit = std::memchr(m, 255, static_cast<size_t>(w));
        if (!hit)
            continue;
        long first = static_cast<const uint8_t*>(hit) - m, last = w - 1;
        while (!m[last])
            --last;
        b.add({first, y, last, y});
    }
    return b;
}

namespace {

struct EdgeRamp {
    long feather, grow, reach;
    double level, edge;
    uint8_t far[256];  // the weight far from the outline
};

// A run of inside pixels (weight 128 and more) of a row, inclusive.  Ends
// at the image border stand for "no outline there": they are open.
struct Run {
    long a, b;
};
constexpr long kOpen = 1L << 40;
constexpr uint64_t kHigh = 0x8080808080808080ull;

void row_runs(const uint8_t* m, long x0, long x1, long width, std::vector<Run>& out)
{
    long x = x0;
    while (x <= x1) {
        while (x + 8 <= x1 + 1 && (load8(m + x) & kHigh) == 0)
            x += 8;
        while (x <= x1 && m[x] < 128)
            ++x;
        if (x > x1)
            break;
        long a = x;
        while (x + 8 <= x1 + 1 && (load8(m + x) & kHigh) == kHigh)
            x += 8;
        while (x <= x1 && m[x] >= 128)
            ++x;
        out.push_back({a == 0 ? -kOpen : a, x - 1 == width - 1 ? kOpen : x - 1});
    }
}

// The runs of every row the edge treatment looks at: the bounds' rows and
// `reach` rows above and below.  Rows beyond the image are inside (the
// border is no outline); rows outside the bounds hold no run.
struct RowRuns {
    long first;  // image row of index 0
    std::vector<Run> runs;
    std::vector<size_t> start;  // per row, one more at the end

    const Run* begin(long y) const { return runs.data() + start[static_cast<size_t>(y - first)]; }
    const Run* end(long y) const { return runs.data() + start[static_cast<size_t>(y - first) + 1]; }
};

// Keeps of the intervals `cur` what lies in the runs of `row` shrunk by `s`.
void intersect_shrunk(std::vector<Run>& cur, const Run* row, const Run* row_end, long s, std::vector<Run>& scratch)
{
    scratch.clear();
    const Run* r = row;
    for (const Run& c : cur) {
        while (r != row_end && (r->b == kOpen ? kOpen : r->b - s) < c.a)
            ++r;
        for (const Run* q = r; q != row_end; ++q) {
            long a = q->a == -kOpen ? -kOpen : q->a + s, b = q->b == kOpen ? kOpen : q->b - s;
            if (a > c.b)
                break;
            long ia = std::max(a, c.a), ib = std::min(b, c.b);
            if (ia <= ib)
                scratch.push_back({ia, ib});
        }
    }
    cur.swap(scratch);
}

// The edge treatment from the rows' runs: only pixels near the outline are
// measured; the others are far from it, and keep the level.
void edge_runs(uint8_t* mask, long width, long height, const PixelBounds& bounds, const EdgeRamp& r)
{
    const long reach = r.reach;
    RowRuns rr;
    rr.first = bounds.y0 - reach;
    const long last = bounds.y1 + reach;
    rr.start.reserve(static_cast<size_t>(last - rr.first + 2));
    for (long y = rr.first; y <= last; ++y) {
        rr.start.push_back(rr.runs.size());
        if (y < 0 || y >= height)
            rr.runs.push_back({-kOpen, kOpen});
        else if (y >= bounds.y0 && y <= bounds.y1)
            row_runs(mask + y * width, bounds.x0, bounds.x1, width, rr.runs);
    }
    rr.start.push_back(rr.runs.size());

    // How far in from a row d rows away a pixel must be to be far: dx^2 +
    // d^2 must exceed reach^2 + reach (a depth of at least the reach).
    const long far2 = reach * reach + reach + 1;
    std::vector<long> shrink(static_cast<size_t>(reach) + 1);
    for (long d = 0; d <= reach; ++d)
        shrink[static_cast<size_t>(d)] =
            static_cast<long>(std::ceil(std::sqrt(static_cast<double>(far2 - d * d)) - 1e-9)) - 1;

    // multiple[i]: how many of the rows before index i do not hold exactly one run.
    std::vector<long> multiple(rr.start.size(), 0);
    for (size_t i = 0; i + 1 < rr.start.size(); ++i)
        multiple[i + 1] = multiple[i] + (rr.start[i + 1] - rr.start[i] != 1);

    const double inv_feather = r.feather ? 1.0 / r.feather : 0;
    const double inv_grow = r.grow ? 1.0 / r.grow : 0;
    std::vector<Run> far, scratch;
    std::vector<long> best;
    for (long y = bounds.y0; y <= bounds.y1; ++y) {
        uint8_t* m = mask + y * width;
        // The far stretches of this row.
        far.clear();
        for (const Run* q = rr.begin(y); q != rr.end(y); ++q) {
            long a = q->a == -kOpen ? -kOpen : q->a + reach, b = q->b == kOpen ? kOpen : q->b - reach;
            if (a <= b)
                far.push_back({a, b});
        }
        const size_t lo = static_cast<size_t>(y - reach - rr.first), hi = static_cast<size_t>(y + reach - rr.first);
        if (far.size() == 1 && multiple[hi + 1] == multiple[lo]) {
            // Every row within reach is one run (a convex shape): the far
            // stretch is one interval.
            long a = far[0].a, b = far[0].b;
            for (long d = 1; d <= reach && a <= b; ++d) {
                const long s = shrink[static_cast<size_t>(d)];
                for (long row : {y - d, y + d}) {
                    const Run& q = *rr.begin(row);
                    a = std::max(a, q.a == -kOpen ? -kOpen : q.a + s);
                    b = std::min(b, q.b == kOpen ? kOpen : q.b - s);
                }
            }
            if (a <= b)
                far[0] = {a, b};
            else
                far.clear();
        } else {
            for (long d = 1; d <= reach && !far.empty(); ++d) {
                const long s = shrink[static_cast<size_t>(d)];
                intersect_shrunk(far, rr.begin(y - d), rr.end(y - d), s, scratch);
                intersect_shrunk(far, rr.begin(y + d), rr.end(y + d), s, scratch);
            }
        }
        // Outside pixels (the anti-aliased fringe) lie at the outline.
        long x = bounds.x0;
        auto outside_to = [&](long to) {
            for (; x < to; ++x) {
                if (r.feather)
                    m[x] = 0;
                else if (r.grow)
                    m[x] = static_cast<uint8_t>(m[x] * r.edge + 0.5);
                else
                    m[x] = r.far[m[x]];
            }
        };
        // Near pixels: the nearest of d^2 + gap^2 over the rows within
        // reach, walking each row's runs along the stretch.
        auto near_to = [&](long to) {
            const long n = to - x;
            if (n <= 0)
                return;
            best.assign(static_cast<size_t>(n), (reach + 1) * (reach + 1));
            long worst = (reach + 1) * (reach + 1);
            for (long d = 0; d <= reach && d * d < worst; ++d) {
                for (long row : {y - d, y + d}) {
                    if (d == 0 && row != y - d)
                        break;
                    const Run* q = rr.begin(row);
                    const Run* qe = rr.end(row);
                    while (q != qe && q->b < x)
                        ++q;
                    for (long k = 0; k < n; ++k) {
                        const long xx = x + k;
                        while (q != qe && q->b < xx)
                            ++q;
                        long h = 0;
                        if (q != qe && q->a <= xx) {
                            // An open end has no outline on its side.
                            const long left = q->a == -kOpen ? kOpen : xx - q->a + 1;
                            const long right = q->b == kOpen ? kOpen : q->b + 1 - xx;
                            h = std::min(left, right);
                        }
                        if (h < kOpen)
                            best[static_cast<size_t>(k)] = std::min(best[static_cast<size_t>(k)], d * d + h * h);
                    }
                }
                worst = *std::max_element(best.begin(), best.end());
            }
            for (long k = 0; k < n; ++k, ++x) {
                const double depth = std::sqrt(static_cast<double>(best[static_cast<size_t>(k)])) - 0.5;
                double wgt = r.level;
                if (r.grow && depth < r.grow)
                    wgt = r.edge + (r.level - r.edge) * depth * inv_grow;
                if (r.feather && depth < r.feather)
                    wgt *= depth * inv_feather;
                m[x] = static_cast<uint8_t>(m[x] * wgt + 0.5);
            }
        };
        size_t f = 0;
        for (const Run* q = rr.begin(y); q != rr.end(y); ++q) {
            const long a = std::max(q->a, bounds.x0), b = std::min(q->b, bounds.x1);
            outside_to(a);
            while (x <= b) {
                while (f < far.size() && far[f].b < x)
                    ++f;
                if (f < far.size() && far[f].a <= x) {
                    const long to = std::min(far[f].b, b) + 1;
                    if (r.level < 1)
                        for (long k = x; k < to; ++k)
                            m[k] = r.far[m[k]];
                    x = to;
                } else {
                    near_to(std::min(f < far.size() ? far[f].a : b + 1, b + 1));
                }
            }
        }
        outside_to(bounds.x1 + 1);
    }
}

} // namespace

void area_edge(uint8_t* mask, long width, long height, const PixelBounds& bounds, const EdgeControls& ec)
{
    if (bounds.empty())
        return;
    EdgeRamp r;
    r.feather = std::clamp<long>(ec.feather, 0, kAreaMaxWidth);
    r.grow = std::clamp<long>(ec.grow, 0, kAreaMaxWidth);
    r.level = 1 - std::clamp<long>(ec.level, 0, 100) / 100.0;
    r.edge = 1 - std::clamp<long>(ec.edge, 0, 100) / 100.0;
    r.reach = std::max(r.feather, r.edge != r.level ? r.grow : 0L);
    for (int v = 0; v < 256; ++v)
        r.far[v] = static_cast<uint8_t>(v * r.level + 0.5);
    if (r.reach == 0) {
        if (r.level < 1)
            for (long y = bounds.y0; y <= bounds.y1; ++y) {
                uint8_t* m = mask + y * width;
                for (long x = bounds.x0; x <= bounds.x1; ++x)
                    m[x] = r.far[m[x]];
            }
        return;
    }
    edge_runs(mask, width, height, bounds, r);
}
