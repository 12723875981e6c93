// Convolve: the general 3 x 3 convolution, and its kernel file.
#include "core/image.h"
#include "core/messages.h"
#include "core/safe_write.h"
#include "core/undo.h"
#include "ops/filter/filter_internal.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace filt;

namespace {

// The image as it was: the whole-image applier's capture when it is the
// target's, else a copy of the target (a direct call).
struct Before {
    Image* capture = nullptr;
    Buffer<uint32_t> copy;
    const uint8_t* pixels = nullptr;
    long stride = 0;  // pixels per row

    bool open(Image* target)
    {
        Image* c = undo_last_capture();
        if (c && c->width == target->width && c->height == target->height && c->parent == target &&
            image_lock(c) == 0) {
            capture = c;
            pixels = c->pixels;
            stride = static_cast<long>(c->width);
            return true;
        }
        if (c)
            image_unlock(c);
        const long w = static_cast<long>(target->width);
        if (!copy.alloc(w * target->height)) {
            message_show(msg::NoMemoryOperation);
            return false;
        }
        for (int y = 0; y < target->height; ++y)
            std::memcpy(copy.p + y * w, target->row(y), static_cast<size_t>(w) * 4);
        pixels = reinterpret_cast<const uint8_t*>(copy.p);
        stride = w;
        return true;
    }
    ~Before()
    {
        if (capture)
            image_unlock(capture);
    }
};

} // namespace

int filt::convolve_prepare(Image* target, int)
{
    if (target && (target->width < 3 || target->height < 3)) {
        note("Convolve needs an image of at least 3 x 3 pixels.");
        return 2;
    }
    return 0;
}

namespace {

// c = clamp(trunc(v)); NaN counts as 0.
inline float clamp_trunc_f(float v)
{
    v = v > 0.0f ? v : 0.0f;
    v = v < 255.0f ? v : 255.0f;
    return static_cast<float>(static_cast<int>(v));
}

// acc[i] = clamp(trunc(Σ kᵢ·pᵢ)) for the channel values i of pixels 1 to
// w − 2 of rows of w pixels of four floats (the neighbours left and right
// lie 4 values away), the nine products added in the kernel's order.  Eight pixels at a time with the compilers'
// vector extension; on processors with AVX2 a copy compiled for it runs
// (no fused multiply-add, so both copies give the same pixels).
__attribute__((target_clones("avx2", "default"))) void kernel_row(const float* up, const float* mid,
                                                                   const float* down, const float* k, float* acc,
                                                                   int w)
{
    using v8f = float __attribute__((vector_size(32)));
    using v8i = int32_t __attribute__((vector_size(32)));
    const v8f zero = {}, top = {255, 255, 255, 255, 255, 255, 255, 255};
    const int end = 4 * (w - 1);
    int i = 4;
    for (; i + 8 <= end; i += 8) {
        v8f p[9];
        std::memcpy(&p[0], up + i - 4, sizeof(v8f));
        std::memcpy(&p[1], mid + i - 4, sizeof(v8f));
        std::memcpy(&p[2], down + i - 4, sizeof(v8f));
        std::memcpy(&p[3], up + i, sizeof(v8f));
        std::memcpy(&p[4], mid + i, sizeof(v8f));
        std::memcpy(&p[5], down + i, sizeof(v8f));
        std::memcpy(&p[6], up + i + 4, sizeof(v8f));
        std::memcpy(&p[7], mid + i + 4, sizeof(v8f));
        std::memcpy(&p[8], down + i + 4, sizeof(v8f));
        v8f sum = k[0] * p[0];
        for (int j = 1; j < 9; ++j)
            sum += k[j] * p[j];
        const v8i above = sum > zero;  // false for NaN
        sum = reinterpret_cast<v8f>(reinterpret_cast<v8i>(sum) & above);
        const v8i below = sum < top;
        sum = reinterpret_cast<v8f>((reinterpret_cast<v8i>(sum) & below) | (reinterpret_cast<v8i>(top) & ~below));
        sum = __builtin_convertvector(__builtin_convertvector(sum, v8i), v8f);
        std::memcpy(acc + i, &sum, sizeof(v8f));
    }
    for (; i < end; ++i) {
        float sum = k[0] * up[i - 4];
        sum += k[1] * mid[i - 4];
        sum += k[2] * down[i - 4];
        sum += k[3] * up[i];
        sum += k[4] * mid[i];
        sum += k[5] * down[i];
        sum += k[6] * up[i + 4];
        sum += k[7] * mid[i + 4];
        sum += k[8] * down[i + 4];
        acc[i] = clamp_trunc_f(sum);
    }
}

// out = (m·c + (255 − m)·old)/255 per value, exact for every sum up to 255²
// (weight 0 gives the old value back).  `out` is the target's row, `old`
// the capture's: they never overlap.
__attribute__((target_clones("avx2", "default"))) void blend_row(uint8_t* __restrict out,
                                                                  const uint8_t* __restrict old,
                                                                  const float* __restrict acc,
                                                                  const uint8_t* __restrict weight, long n)
{
    for (long i = 0; i < n; ++i) {
        const int wt = weight[i];
        const int v = wt * static_cast<int>(acc[i]) + (255 - wt) * old[i];
        out[i] = static_cast<uint8_t>((v + 1 + (v >> 8)) >> 8);
    }
}

// A row of pixels as floats, four per pixel.
void float_row(const uint8_t* row, int w, float* out)
{
    for (int i = 0; i < 4 * w; ++i)
        out[i] = static_cast<float>(row[i]);
}

} // namespace

int convolve_worker(Image* target, uint8_t* mask)
{
    const int w = static_cast<int>(target->width), h = target->height;
    if (w < 3 || h < 3)
        return 1;
    const FilterParams& p = filter_params();
    Before before;
    if (!before.open(target))
        return 1;
    const float* k = p.convolve_kernel;
    const float kt[9] = {k[0], k[3], k[6], k[1], k[4], k[7], k[2], k[5], k[8]};
    const bool both = p.convolve_both != 0;
    const float offset = static_cast<float>(static_cast<int>(p.convolve_offset * 255.0f));
    const bool has_offset = p.convolve_offset != 0.0f;
    const bool thresholding = p.convolve_thresholding != 0;
    const float level = p.convolve_threshold;
    const bool has_alpha = target->alpha != 0;
    const long s = before.stride * 4;

    // Three rows as floats, each converted once (a ring), the sums and the
    // weights of the colour values of a row.
    const long n4 = 4L * w;
    Buffer<float> rows(n4 * 5);
    Buffer<uint8_t> weights(n4);
    if (!rows || !weights) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    auto ring = [&](int r) { return rows.p + n4 * (r % 3); };
    float* acc = rows.p + n4 * 3;
    float* other = rows.p + n4 * 4;
    for (int r = 0; r < 2; ++r)
        float_row(before.pixels + r * s, w, ring(r));

    Meter meter("Convolution", h - 1);
    for (int y = 1; y <= h - 2; ++y) {
        if (meter.step(y))
            return 1;
        uint8_t* row = target->row(y);
        const uint8_t* m = mask + target->rows[y];
        const uint8_t* old = before.pixels + y * s;
        float_row(old + s, w, ring(y + 1));
        kernel_row(ring(y - 1), ring(y), ring(y + 1), k, acc, w);
        if (both) {
            // The transpose: k1 k4 k7 along the top row, and so on.
            kernel_row(ring(y - 1), ring(y), ring(y + 1), kt, other, w);
            for (long i = 4; i < n4 - 4; ++i)
                acc[i] = clamp_trunc_f(std::sqrt(acc[i] * acc[i] + other[i] * other[i]));
        }
        if (has_offset)
            for (long i = 4; i < n4 - 4; ++i)
                acc[i] = std::min(255.0f, std::max(0.0f, acc[i] + offset));
        if (thresholding)
            for (long i = 4; i < n4 - 4; ++i)
                acc[i] = acc[i] / 255.0f > level ? 255.0f : 0.0f;
        // Colour values take the pixel's weight; alpha none (it stays).
        for (int x = 1; x <= w - 2; ++x) {
            uint8_t* wt = weights.p + 4 * x;
            wt[0] = wt[1] = wt[2] = m[x];
            wt[3] = 0;
        }
        blend_row(row + 4, old + 4, acc + 4, weights.p + 4, n4 - 8);
        if (has_alpha)
            for (int x = 1; x <= w - 2; ++x)
                if (m[x])
                    row[4 * x + 3] = static_cast<uint8_t>(m[x] * row[4 * x + 3] / 255);
    }
    return 0;
}

// ---- the kernel file -------------------------------------------------------

bool convolve_parse(const char* text, size_t size, FilterParams& out)
{
    // Thirteen numbers: eleven decimals, then two whole numbers.
    std::string line(text, size);
    const char* s = line.c_str();
    float v[11];
    long sw[2];
    for (float& f : v) {
        char* end = nullptr;
        errno = 0;
        const float x = std::strtof(s, &end);
        if (end == s || errno == ERANGE || !std::isfinite(x))
            return false;
        f = x;
        s = end;
    }
    for (long& n : sw) {
        char* end = nullptr;
        errno = 0;
        const long x = std::strtol(s, &end, 10);
        if (end == s || errno == ERANGE || x < -2147483647L || x > 2147483647L)
            return false;
        n = x;
        s = end;
    }
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n')
        ++s;
    if (*s)
        return false;
    std::memcpy(out.convolve_kernel, v, sizeof out.convolve_kernel);
    out.convolve_threshold = v[9];
    out.convolve_offset = v[10];
    out.convolve_thresholding = static_cast<int32_t>(sw[0]);
    out.convolve_both = static_cast<int32_t>(sw[1]);
    return true;
}

int convolve_load(const char* path)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        message_show_file(msg::CannotOpenRequested, path);
        return 1;
    }
    // One line of thirteen numbers is far below this; more is not a kernel.
    char buf[4096];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    const bool more = n == sizeof buf && std::fgetc(f) != EOF;
    std::fclose(f);
    if (n == 0) {
        message_show(msg::FileEmpty, path);
        return 1;
    }
    FilterParams parsed = filter_params();
    if (more || std::memchr(buf, 0, n) || !convolve_parse(buf, n, parsed)) {
        message_show(msg::FileTypeMismatch, path);
        return 1;
    }
    filter_params() = parsed;
    return 0;
}

int convolve_save(const char* path)
{
    const FilterParams& p = filter_params();
    const float* k = p.convolve_kernel;
    char line[1024];
    const int n = std::snprintf(line, sizeof line, "%f %f %f %f %f %f %f %f %f %f %f %d %d\n", k[0], k[1], k[2],
                                k[3], k[4], k[5], k[6], k[7], k[8], p.convolve_threshold, p.convolve_offset,
                                p.convolve_thresholding, p.convolve_both);
    if (n <= 0 || n >= static_cast<int>(sizeof line)) {
        message_show(msg::ProblemWriting, path);
        return 1;
    }
    SafeWrite out(path);
    FILE* f = out.open("wb");
    if (!f || std::fwrite(line, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n) || out.commit() != 0) {
        out.abandon();
        message_show_file(msg::CannotCreateRequested, path);
        return 1;
    }
    return 0;
}
