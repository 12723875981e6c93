// HRemove and VRemove: lines across the image (scanner streaks, dropped or
// interlaced lines, scratches) found and filled in from the lines beside
// them.
#include "core/image.h"
#include "ops/filter/filter_internal.h"

#include <cstdlib>

namespace filt {

namespace {

struct LineSettings {
    int threshold, width, period, offset, coverage;
};

// The box seen along or across: `along` steps within a line, `across`
// from line to line.  Lines are rows for HRemove, columns for VRemove.
struct Lines {
    const Work& work;
    bool columns;
    int count() const { return columns ? work.box.width() : work.box.height(); }
    int length() const { return columns ? work.box.height() : work.box.width(); }
    int first() const { return columns ? work.box.x0 : work.box.y0; }
    int limit() const { return columns ? work.w : work.h; }  // lines in the image
    long index(int line, int i) const
    {
        return columns ? static_cast<long>(work.box.y0 + i) * work.w + line
                       : static_cast<long>(line) * work.w + work.box.x0 + i;
    }
};

inline int channel_gap(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int c = 0; c < 3; ++c)
        d = std::max(d, std::abs(channel(a, c) - channel(b, c)));
    return d;
}

// The value a pixel of the run [a, a + k) would have between the lines
// a − 1 and a + k.
inline uint32_t between(uint32_t before, uint32_t after, int j, int k)
{
    uint32_t v = 0;
    for (int c = 0; c < 3; ++c) {
        const int lo = channel(before, c), hi = channel(after, c);
        v = with_channel(v, c, lo + ((hi - lo) * (j + 1) * 2 + (k + 1)) / (2 * (k + 1)));
    }
    return v;
}

int remove_lines(Image* target, uint8_t* mask, const LineSettings& s, bool columns)
{
    Work work;
    if (!work_open(work, target))
        return 1;
    const Lines L{work, columns};
    const int width = clampi(s.width, 1, 64);
    const int length = L.length();
    const long need = (static_cast<long>(length) * std::clamp(s.coverage, 1, 100) + 99) / 100;
    Meter meter(columns ? "VRemove" : "HRemove", L.count());
    // Lines next to the image's edge have no line beyond them to fill from.
    const int lo = std::max(L.first(), 1);
    const int hi = std::min(L.first() + L.count() - 1, L.limit() - 2);
    for (int a = lo; a <= hi;) {
        if (meter.step(a - L.first()))
            return 1;
        bool removed = false;
        // The widest run of lines that stands out, each line of it.
        for (int k = std::min(width, hi - a + 1); k >= 1 && !removed; --k) {
            if (s.period > 0) {
                bool in_pattern = true;
                for (int j = 0; j < k; ++j) {
                    const int phase = ((a + j - s.offset) % s.period + s.period) % s.period;
                    in_pattern &= phase < width;
                }
                if (!in_pattern)
                    continue;
            }
            // A pixel of the run stands out when it lies further than the
            // threshold from the blend of the two sides, and further than
            // twice the sides lie from each other (else it is the picture's
            // own edge, or the side is itself a line).
            auto stands_out = [&](int j, int i, uint32_t& fill) {
                const uint32_t before = work.in[L.index(a - 1, i)], after = work.in[L.index(a + k, i)];
                fill = between(before, after, j, k);
                const int gap = channel_gap(work.in[L.index(a + j, i)], fill);
                return gap > s.threshold && 2 * channel_gap(before, after) < gap;
            };
            bool all = true;
            for (int j = 0; j < k && all; ++j) {
                long differing = 0;
                uint32_t fill;
                for (int i = 0; i < length; ++i)
                    differing += stands_out(j, i, fill);
                all = differing >= need;
            }
            if (!all)
                continue;
            for (int j = 0; j < k; ++j)
                for (int i = 0; i < length; ++i) {
                    uint32_t fill;
                    const long at = L.index(a + j, i);
                    if (stands_out(j, i, fill))
                        work.out[at] = (fill & 0x00FFFFFFu) | (work.in[at] & 0xFF000000u);
                }
            a += k;
            removed = true;
        }
        if (!removed)
            ++a;
    }
    work_commit(work, mask);
    return 0;
}

} // namespace

int hremove_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    return remove_lines(target, mask,
                        {p.hrem_threshold, p.hrem_width, p.hrem_period, p.hrem_offset, p.hrem_coverage}, false);
}

int vremove_worker(Image* target, uint8_t* mask)
{
    const FilterParams& p = filter_params();
    return remove_lines(target, mask,
                        {p.vrem_threshold, p.vrem_width, p.vrem_period, p.vrem_offset, p.vrem_coverage}, true);
}

} // namespace filt
