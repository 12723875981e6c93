// Resampling an RGBA block to another size: separable filters with their
// weights worked out once per output row and column, the rows shared among
// the pool's threads.  Reducing averages the area each output pixel covers
// (every source pixel counts by the part of it that falls inside); enlarging
// interpolates with Lanczos-3 (or bicubic, bilinear, nearest on request).
#pragma once

#include <cstddef>
#include <cstdint>

namespace resample {

enum Filter : int {
    Auto = 0,      // area average when reducing, Lanczos-3 when enlarging (per axis)
    Lanczos3 = 1,
    Bicubic = 2,   // Catmull-Rom
    Bilinear = 3,
    Nearest = 4,
    Area = 5,      // box of the output pixel's footprint
};
constexpr int kFilterCount = 6;

// A block of 4-byte pixels: `stride` pixels from one row to the next.
struct Block {
    const uint8_t* pixels;
    long width, height, stride;
};
struct OutBlock {
    uint8_t* pixels;
    long width, height, stride;
};

// Resamples all of `in` into all of `out`.  `cancel(done, total)` is called
// between bands (on the calling thread) and stops the work when it answers
// true.  False when cancelled or when the scratch rows cannot be had (message 22).
bool resize(const Block& in, const OutBlock& out, int filter, bool (*cancel)(long done, long total) = nullptr);

// One pixel of `in` at the continuous position (x, y) (pixel centres at
// +0.5), bilinear, the edges repeated.
void sample_bilinear(const Block& in, double x, double y, uint8_t out[4]);

} // namespace resample
