// What the collage, alpha, standard, video and art operations share: the
// source and brush as blocks, a source stretched to a size, putting a new
// RGBA colour into a pixel by its weight, and giving the target a new size.
#pragma once

#include "ops/collage/resample.h"

#include <cstdint>
#include <new>
#include <vector>

struct Image;

namespace canvas {

// A copy of 4-byte pixels, w x h, rows one after the other.
struct Pixels {
    std::vector<uint8_t> bytes;
    long width = 0, height = 0;
    uint8_t* at(long x, long y) { return &bytes[4 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x))]; }
    const uint8_t* at(long x, long y) const
    {
        return &bytes[4 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x))];
    }
    resample::Block block() const { return {bytes.data(), width, height, width}; }
};

// The published source (the target when none is assigned) and brush as
// blocks; empty blocks when the framework published none.
resample::Block source();
resample::Block brush();
// A locked image as a block.
resample::Block of(Image* image);

// Copies a block (the source may be the target the worker is about to change).
bool copy(const resample::Block& in, Pixels& out);
// The block stretched to w x h (area average or Lanczos-3 unless a filter is named).  False when
// memory is short (reported) or the user cancelled.
bool stretched(const resample::Block& in, long w, long h, Pixels& out, int filter = resample::Auto);

// A colour into a pixel at mask weight m (1..255): colour mode mixes red,
// green and blue and keeps alpha; alpha mode mixes the colour's grey into
// alpha.  put_rgba mixes all four channels (collage results that bring
// their own transparency); in alpha mode as put.
void put(uint8_t* p, const uint8_t n[4], int m, bool alpha_mode);
void put_rgba(uint8_t* p, const uint8_t n[4], int m, bool alpha_mode);
// `over` composited onto p by its alpha and the weight m.
void put_over(uint8_t* p, const uint8_t n[4], int m, bool alpha_mode);

// Whether the operation runs on the alpha channel.
bool alpha_mode();

// Makes a w x h image (locked) for a resized target; message 22 and null
// when its pixels cannot be had.  Sizes beyond kMaxSide are refused.
constexpr long kMaxSide = 40000;
Image* new_planes(long w, long h);
// The size check of the prepare hooks: an error naming the size when
// either side is below 1 or beyond kMaxSide.  True when the size is good.
bool size_ok(double w, double h);

// The out-of-memory message (22).
void no_memory();

// A worker or prepare hook whose scratch memory cannot be had ends with the
// out-of-memory message instead of taking the program down; the applier
// then puts back what it captured.  For the families' rows:
// `worker_whole(canvas::guarded<f>)`, `.prepare = canvas::guarded<p>`.
template <int (*F)(Image*, uint8_t*)>
int guarded(Image* t, uint8_t* mask)
{
    try {
        return F(t, mask);
    } catch (const std::bad_alloc&) {
        no_memory();
        return 1;
    }
}
template <int (*F)(Image*, int)>
int guarded(Image* t, int view)
{
    try {
        return F(t, view);
    } catch (const std::bad_alloc&) {
        no_memory();
        return 1;
    }
}

// Progress of a whole-image worker over `total` units; true on cancel.
bool cancelled(long done, long total);

// Luma of a pixel, 0..255.
inline int luma(const uint8_t* p)
{
    return (p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8;
}
inline uint8_t clamp8(double v)
{
    return static_cast<uint8_t>(v > 0 ? (v < 255 ? v + 0.5 : 255) : 0);
}
inline uint8_t clamp8(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Box sums of one channel or all four channels over any rectangle in O(1):
// a summed-area table of 32-bit sums whose wrap-around cancels out in the
// differences (a box holds at most 2^32 / 255 pixels).
struct BoxSums {
    long width = 0, height = 0;
    std::vector<uint32_t> sums;  // (w + 1) x (h + 1) x 4
    bool build(const uint8_t* pixels, long w, long h, long stride);
    // Sum of channel c over x0..x1, y0..y1 (clipped to the block), and the pixel count.
    void box(long x0, long y0, long x1, long y1, uint32_t out[4], long* count) const;
};

} // namespace canvas
