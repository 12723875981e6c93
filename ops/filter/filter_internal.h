// What the filter family's workers share: the copy of the image a filter
// reads, the region it changes, the blend back through the mask, and the
// result a multi-pass operation's pre-pass computes for its workers.
#pragma once

#include "ops/appliers.h"
#include "ops/filter/filter.h"

#include <algorithm>
#include <cstdint>

struct Image;

namespace filt {

struct Box {
    int x0, y0, x1, y1;  // inclusive
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

inline int clampi(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}
inline uint8_t clamp_byte(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}
inline uint8_t clamp_byte_f(float v)
{
    // NaN compares false both ways and becomes 0.
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<uint8_t>(v + 0.5f);
}
inline int channel(uint32_t p, int c)
{
    return static_cast<int>((p >> (8 * c)) & 0xFF);
}
inline uint32_t with_channel(uint32_t p, int c, int v)
{
    return (p & ~(0xFFu << (8 * c))) | (static_cast<uint32_t>(v) << (8 * c));
}
inline int luma(uint32_t p)
{
    return (pixel_r(p) * 77 + pixel_g(p) * 150 + pixel_b(p) * 29) >> 8;
}

// Labelled memory that frees itself.
template <class T>
struct Buffer {
    T* p = nullptr;
    Buffer() = default;
    explicit Buffer(long count) { alloc(count); }
    ~Buffer() { release(); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    bool alloc(long count);
    void release();
    T& operator[](long i) const { return p[i]; }
    explicit operator bool() const { return p != nullptr; }
};

// The area rectangle the operation works on, clipped to the image (the
// whole image when nothing is selected).
Box work_box(const Image* target);

// What a whole-image or pre-pass filter reads and writes: `in` is the target
// as it was (in alpha mode every pixel's alpha stands in its red, green and
// blue), `out` the result, both width x height, filled over `box` only.
struct Work {
    Image* target = nullptr;
    int w = 0, h = 0;
    Box box{};
    bool alpha_mode = false;
    Buffer<uint32_t> in, out;
};
// Fills `in` and `out` (out starts as a copy of in).  False with message 22
// when memory is short.
bool work_open(Work& work, Image* target);
// Puts `out` into the target by the mask weight over the box: the colour in
// colour mode (alpha kept), the grey of the result as alpha in alpha mode.
void work_commit(const Work& work, const uint8_t* mask);

// A meter of its own for a long worker: true when the user cancelled.
class Meter {
public:
    Meter(const char* caption, long total);
    ~Meter();
    bool step(long position);

private:
    long total_;
};

// The result of a multi-pass operation, computed once by its pre-pass; the
// workers then only blend it in, so each row's worker reads shared memory
// that no worker writes (rows could run side by side).
struct PassResult {
    Box box{};
    int w = 0;
    bool alpha_mode = false;
    bool ready = false;
    uint32_t* out = nullptr;  // "fpas": width x height of the target
};
PassResult& pass_result();
// Takes the result of a Work as the pass result.
void pass_take(Work& work);
void pass_release();
// The multi-pass worker of the neighbourhood filters: blends the pass
// result into the pixel by the weight.
void pass_blend(uint8_t* pixel, int x, int y, int weight);
// The finish hook that gives the pass result back.
int pass_finish(Image* target, int view_index);

// Seeded random numbers: the same seed gives the same pixels.
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed) {}
    uint64_t next()
    {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    uint64_t below(uint64_t n) { return n ? next() % n : 0; }
};

// Reads the source image at (x, y), or returns false when it lies outside
// the source (the target stands in when no source is assigned).
bool source_at(int x, int y, uint32_t& pixel);

// A Gaussian blur of standard deviation `sigma` of the colour channels of a
// w x h block of pixels (rows of `w`), computed for the rows and columns
// [x0, x1] x [y0, y1]; the edges repeat outwards.  `out` has the block's
// layout; its alpha is copied from `in`.  False when memory is short.
bool gauss_blur(const uint32_t* in, int w, int h, int x0, int y0, int x1, int y1, float sigma, uint32_t* out);

// ---- the workers, by file ------------------------------------------------

// gauss.cpp
int blur_prepass(Image* target, uint8_t* pixels);
int unsharp_worker(Image* target, uint8_t* mask);
// morph.cpp
int minimum_worker(Image* target, uint8_t* mask);
int maximum_worker(Image* target, uint8_t* mask);
int remove_prepass(Image* target, uint8_t* pixels);
int shave_prepass(Image* target, uint8_t* pixels);
int ris_worker(Image* target, uint8_t* mask);
int ric_worker(Image* target, uint8_t* mask);
// lines.cpp
int hremove_worker(Image* target, uint8_t* mask);
int vremove_worker(Image* target, uint8_t* mask);
// tonal.cpp
int relief_worker(Image* target, uint8_t* mask);
int dither_worker(Image* target, uint8_t* mask);
int elevations_worker(Image* target, uint8_t* mask);
int enhance_worker(Image* target, uint8_t* mask);
int sharpen_prepass(Image* target, uint8_t* pixels);
void truncate_worker(uint8_t* pixel, int x, int y, int weight);
void nlog_worker(uint8_t* pixel, int x, int y, int weight);
int nlog_prepare(Image* target, int view_index);
int contour_prepare(Image* target, int view_index);
void contour_worker(uint8_t* pixel, int x, int y, int weight);
int contour_finish(Image* target, int view_index);
void contour_release();
// halftone.cpp
int rip_worker(Image* target, uint8_t* mask);
// source.cpp
int canvas_worker(Image* target, uint8_t* mask);
int texture_worker(Image* target, uint8_t* mask);
int multiply_worker(Image* target, uint8_t* mask);
int add_worker(Image* target, uint8_t* mask);
int subtract_worker(Image* target, uint8_t* mask);
uint32_t combine_worker(uint32_t pixel, int x, int y);
// encrypt.cpp
int encrypt_prepare(Image* target, int view_index);
int encrypt_worker(Image* target, uint8_t* mask);
// blurs.cpp
int motion_prepass(Image* target, uint8_t* pixels);
int spiral_prepass(Image* target, uint8_t* pixels);
int explode_prepass(Image* target, uint8_t* pixels);
// math.cpp
int derivative_worker(Image* target, uint8_t* mask);
int variance_worker(Image* target, uint8_t* mask);
// convolve.cpp
int convolve_prepare(Image* target, int view_index);

} // namespace filt
