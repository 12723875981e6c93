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
    std::vector<std::pair<long, long>> stack;
    stack.push_back({seed_x, seed_y});
    b = {seed_x, seed_y, seed_x, seed_y};
    while (!stack.empty()) {
        auto [x, y] = stack.back();
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
                stack.push_back({nx, ny});
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

// The edge treatment with vertical distances of type T (a byte while the
// reach allows: half the memory traffic).
template <class T>
void edge_distances(uint8_t* mask, long width, long height, const PixelBounds& bounds, const EdgeRamp& r)
{
    const long bx0 = bounds.x0, by0 = bounds.y0, rw = bounds.x1 - bounds.x0 + 1, rh = bounds.y1 - bounds.y0 + 1;
    const long reach = r.reach;
    const auto cap = static_cast<T>(reach + 1);
    const size_t cells = static_cast<size_t>(rw) * static_cast<size_t>(rh);
    std::unique_ptr<T[]> g(new T[cells]);
    std::vector<T> prev(static_cast<size_t>(rw), by0 == 0 ? cap : 0);

    // Downwards: the distance to the nearest outside pixel above, up to
    // `cap`.  Outside the bounds lies outside of the area, except beyond the
    // image.
    for (long y = 0; y < rh; ++y) {
        const uint8_t* m = mask + (by0 + y) * width + bx0;
        T* gr = g.get() + y * rw;
        T* pv = prev.data();
        for (long x = 0; x < rw; ++x) {
            T up = static_cast<T>(pv[x] + 1 < cap ? pv[x] + 1 : cap);
            T v = m[x] >= 128 ? up : 0;
            gr[x] = pv[x] = v;
        }
    }

    // Upwards, each row finished as soon as its vertical distances are:
    // only pixels within reach of a low column (one with an outside pixel
    // within reach) can be near the outline; for them the distance is the
    // nearest of dx^2 + g^2.  The others keep the level.
    std::fill(prev.begin(), prev.end(), bounds.y1 == height - 1 ? cap : 0);
    const long left_g = bx0 == 0 ? cap : 0;                 // column left of the bounds
    const long right_g = bounds.x1 == width - 1 ? cap : 0;  // and right of it
    const double inv_feather = r.feather ? 1.0 / r.feather : 0;
    const double inv_grow = r.grow ? 1.0 / r.grow : 0;
    std::vector<long> lows;
    for (long y = rh - 1; y >= 0; --y) {
        T* gr = g.get() + y * rw;
        T* pv = prev.data();
        for (long x = 0; x < rw; ++x) {
            T down = static_cast<T>(pv[x] + 1 < cap ? pv[x] + 1 : cap);
            T v = gr[x] < down ? gr[x] : down;
            gr[x] = pv[x] = v;
        }
        uint8_t* m = mask + (by0 + y) * width + bx0;
        auto col = [&](long x) -> long { return x < 0 ? left_g : x >= rw ? right_g : gr[x]; };
        lows.clear();
        if (left_g < cap)
            lows.push_back(-1);
        for (long x = 0; x < rw;) {
            // Most columns are far: skip them 32 at a time.
            if (x + 32 <= rw) {
                T least = cap;
                for (int k = 0; k < 32; ++k)
                    least = gr[x + k] < least ? gr[x + k] : least;
                if (least >= cap) {
                    x += 32;
                    continue;
                }
            }
            if (gr[x] < cap)
                lows.push_back(x);
            ++x;
        }
        if (right_g < cap)
            lows.push_back(rw);
        // Walk the near stretches [low - reach, low + reach], merged.
        long done = 0;  // columns before this are finished
        auto keep_level = [&](long from, long to) {
            if (r.level < 1)
                for (long x = from; x < to; ++x)
                    m[x] = r.far[m[x]];
        };
        for (size_t i = 0; i < lows.size();) {
            long a = std::max(lows[i] - reach, done);
            long b = std::min(lows[i] + reach, rw - 1);
            for (++i; i < lows.size() && lows[i] - reach <= b + 1; ++i)
                b = std::min(lows[i] + reach, rw - 1);
            if (a > b)
                continue;
            keep_level(done, a);
            for (long x = a; x <= b; ++x) {
                if (m[x] < 128) {
                    // Outside: at the outline itself.
                    if (r.feather)
                        m[x] = 0;
                    else if (r.grow)
                        m[x] = static_cast<uint8_t>(m[x] * r.edge + 0.5);
                    else
                        m[x] = r.far[m[x]];
                    continue;
                }
                long best = static_cast<long>(gr[x]) * gr[x];
                for (long dx = 1; dx <= reach && dx * dx < best; ++dx) {
                    long v = std::min(col(x - dx), col(x + dx));
                    best = std::min(best, dx * dx + v * v);
                }
                const double depth = std::sqrt(static_cast<double>(best)) - 0.5;
                double wgt = r.level;
                if (r.grow && depth < r.grow)
                    wgt = r.edge + (r.level - r.edge) * depth * inv_grow;
                if (r.feather && depth < r.feather)
                    wgt *= depth * inv_feather;
                m[x] = static_cast<uint8_t>(m[x] * wgt + 0.5);
            }
            done = b + 1;
        }
        keep_level(done, rw);
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
    if (r.reach < 255)
        edge_distances<uint8_t>(mask, width, height, bounds, r);
    else
        edge_distances<uint16_t>(mask, width, height, bounds, r);
}
