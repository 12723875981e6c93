// Nearest palette entry without a search of the whole palette per pixel.
//
// The colour cube is cut into 32 x 32 x 32 cells of 8 x 8 x 8 values.  The
// first time a colour falls into a cell, the cell gets the list of entries
// that can be nearest to any colour inside it: every entry whose least
// distance to the cell is no more than the smallest greatest distance of
// any entry.  Those lists are drawn from the lists of coarse cells of
// 16 x 16 x 16 values, made the same way from the whole palette.  A lookup then measures only those few candidates, and a small
// cache keyed by the colour answers repeated colours at once.
#include "render/reduce.h"

#include "core/mem.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kFineBits = 5;  // cells of 8 x 8 x 8 values
constexpr int kFineShift = 8 - kFineBits;
constexpr int kCells = 1 << (3 * kFineBits);
constexpr int kCoarse = 16 * 16 * 16;
constexpr int kCacheBits = 14;
constexpr uint32_t kCacheEmpty = 0xffffffffu;

inline uint32_t cache_slot(uint32_t colour)
{
    return (colour * 2654435761u) >> (32 - kCacheBits);
}

} // namespace

PaletteLookup::~PaletteLookup()
{
    block_ = mem_free_t(block_);
    lists_ = mem_free_t(lists_);
}

bool PaletteLookup::build(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int colours)
{
    count_ = std::clamp(colours, 1, 256);
    for (int i = 0; i < count_; ++i) {
        pal_[0][i] = red[i];
        pal_[1][i] = green[i];
        pal_[2][i] = blue[i];
    }
    if (!block_) {
        long bytes = (1L << kCacheBits) * 4L + (kCells + kCoarse) * (4L + 2L);
        block_ = static_cast<uint8_t*>(mem_alloc(bytes, "Rnear"));
        if (!block_) {
            count_ = 0;
            return false;
        }
        cache_ = reinterpret_cast<uint32_t*>(block_);
        cell_off_ = cache_ + (1L << kCacheBits);
        coarse_off_ = cell_off_ + kCells;
        cell_n_ = reinterpret_cast<uint16_t*>(coarse_off_ + kCoarse);
        coarse_n_ = cell_n_ + kCells;
    }
    std::memset(cell_n_, 0, (kCells + kCoarse) * sizeof(uint16_t));
    std::memset(cache_, 0xff, (1L << kCacheBits) * sizeof(uint32_t));
    lists_used_ = 0;
    return true;
}

int PaletteLookup::linear(int r, int g, int b) const
{
    int best = 0;
    long best_d = 1L << 30;
    for (int i = 0; i < count_; ++i) {
        long dr = r - pal_[0][i], dg = g - pal_[1][i], db = b - pal_[2][i];
        long d = dr * dr + dg * dg + db * db;
        if (d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

// Keeps, of the candidates `cand`, those that can be nearest to some colour
// of the box from `lo` with sides `span`; stores the list and gives its
// length, 0 when memory ran out.
int PaletteLookup::make_list(const int lo[3], int span, const uint8_t* cand, int n, uint32_t* off)
{
    int least[256];
    int bound = 1 << 30;
    for (int k = 0; k < n; ++k) {
        int i = cand[k];
        int dmin = 0, dmax = 0;
        for (int c = 0; c < 3; ++c) {
            int v = pal_[c][i];
            int l = lo[c], h = lo[c] + span - 1;
            int e = v < l ? l - v : (v > h ? v - h : 0);
            int f = std::max(v - l, h - v);
            dmin += e * e;
            dmax += f * f;
        }
        least[k] = dmin;
        bound = std::min(bound, dmax);
    }
    int kept = 0;
    for (int k = 0; k < n; ++k)
        kept += least[k] <= bound;
    if (lists_used_ + kept > lists_size_) {
        long size = std::max(lists_size_ * 2, lists_used_ + kept + 16384);
        auto* grown = static_cast<uint32_t*>(mem_alloc(size * 4, "Rcand"));
        if (!grown)
            return 0;
        if (lists_)
            std::memcpy(grown, lists_, static_cast<size_t>(lists_used_) * 4);
        lists_ = mem_free_t(lists_);
        lists_ = grown;
        lists_size_ = size;
    }
    uint32_t* out = lists_ + lists_used_;
    for (int k = 0; k < n; ++k)
        if (least[k] <= bound) {
            int i = cand[k];
            *out++ = static_cast<uint32_t>(pal_[0][i] | pal_[1][i] << 8 | pal_[2][i] << 16 | i << 24);
        }
    *off = static_cast<uint32_t>(lists_used_);
    lists_used_ += kept;
    return kept;
}

int PaletteLookup::fill_coarse(int cell)
{
    int lo[3] = {(cell >> 8) * 16, ((cell >> 4) & 15) * 16, (cell & 15) * 16};
    uint8_t all[256];
    for (int i = 0; i < count_; ++i)
        all[i] = static_cast<uint8_t>(i);
    int n = make_list(lo, 16, all, count_, &coarse_off_[cell]);
    coarse_n_[cell] = static_cast<uint16_t>(n);
    return n;
}

// A cell's candidates come from those of the coarse cell around it: any
// entry nearest to a colour of the cell is among them.
int PaletteLookup::fill_cell(int cell)
{
    constexpr int m = (1 << kFineBits) - 1, up = kFineBits - 4;
    int r5 = cell >> (2 * kFineBits), g5 = (cell >> kFineBits) & m, b5 = cell & m;
    int coarse = (r5 >> up) << 8 | (g5 >> up) << 4 | (b5 >> up);
    int cn = coarse_n_[coarse];
    if (cn == 0 && (cn = fill_coarse(coarse)) == 0)
        return 0;
    uint8_t cand[256];  // copied: the lists may move while this one is added
    for (int k = 0; k < cn; ++k)
        cand[k] = static_cast<uint8_t>(lists_[coarse_off_[coarse] + k] >> 24);
    int lo[3] = {r5 << kFineShift, g5 << kFineShift, b5 << kFineShift};
    int n = make_list(lo, 1 << kFineShift, cand, cn, &cell_off_[cell]);
    cell_n_[cell] = static_cast<uint16_t>(n);
    return n;
}

int PaletteLookup::nearest(int r, int g, int b)
{
    if (count_ <= 0)
        return 0;
    if (!block_)
        return linear(r, g, b);
    uint32_t colour = static_cast<uint32_t>(r << 16 | g << 8 | b);
    uint32_t& slot = cache_[cache_slot(colour)];
    if (slot != kCacheEmpty && (slot >> 8) == colour)
        return static_cast<int>(slot & 0xff);

    int cell = (r >> kFineShift) << (2 * kFineBits) | (g >> kFineShift) << kFineBits | (b >> kFineShift);
    int n = cell_n_[cell];
    if (n == 0 && (n = fill_cell(cell)) == 0)
        return linear(r, g, b);  // no memory for the list: still exact, only slower
    const uint32_t* cand = lists_ + cell_off_[cell];
    uint32_t e = cand[0];
    int dr = r - static_cast<int>(e & 255), dg = g - static_cast<int>((e >> 8) & 255),
        db = b - static_cast<int>((e >> 16) & 255);
    int best_d = dr * dr + dg * dg + db * db;
    uint32_t best = e;
    for (int k = 1; k < n; ++k) {
        e = cand[k];
        dr = r - static_cast<int>(e & 255);
        dg = g - static_cast<int>((e >> 8) & 255);
        db = b - static_cast<int>((e >> 16) & 255);
        int d = dr * dr + dg * dg + db * db;
        if (d < best_d) {
            best_d = d;
            best = e;
        }
    }
    int index = static_cast<int>(best >> 24);
    slot = colour << 8 | static_cast<uint32_t>(index);
    return index;
}
