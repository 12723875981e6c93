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

inline int clamp_trunc(float v)
{
    // Truncation towards zero, then the byte range; NaN counts as 0.
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<int>(v);
}

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

int convolve_prepare(Image* target, int)
{
    if (target && (target->width < 3 || target->height < 3)) {
        note("Convolve needs an image of at least 3 x 3 pixels.");
        return 2;
    }
    return 0;
}

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
    const bool both = p.convolve_both != 0;
    const int offset = static_cast<int>(p.convolve_offset * 255.0f);
    const bool has_offset = p.convolve_offset != 0.0f;
    const bool thresholding = p.convolve_thresholding != 0;
    const float level = p.convolve_threshold;
    const bool has_alpha = target->alpha != 0;
    const long s = before.stride * 4;

    Meter meter("Convolution", h - 1);
    for (int y = 1; y <= h - 2; ++y) {
        if (meter.step(y))
            return 1;
        uint8_t* row = target->row(y);
        const uint8_t* m = mask + target->rows[y];
        const uint8_t* mid = before.pixels + y * s;
        for (int x = 1; x <= w - 2; ++x) {
            const int weight = m[x];
            if (!weight)
                continue;
            const uint8_t* c = mid + 4 * x;
            uint8_t* out = row + 4 * x;
            for (int ch = 0; ch < 3; ++ch) {
                // Neighbours in the kernel's order: down the left column first.
                const float n1 = c[-s - 4 + ch], n2 = c[-4 + ch], n3 = c[s - 4 + ch];
                const float n4 = c[-s + ch], n5 = c[ch], n6 = c[s + ch];
                const float n7 = c[-s + 4 + ch], n8 = c[4 + ch], n9 = c[s + 4 + ch];
                float sum = k[0] * n1;
                sum += k[1] * n2;
                sum += k[2] * n3;
                sum += k[3] * n4;
                sum += k[4] * n5;
                sum += k[5] * n6;
                sum += k[6] * n7;
                sum += k[7] * n8;
                sum += k[8] * n9;
                int v = clamp_trunc(sum);
                if (both) {
                    // The transpose: k1 k4 k7 along the top row, and so on.
                    float t = k[0] * n1;
                    t += k[3] * n2;
                    t += k[6] * n3;
                    t += k[1] * n4;
                    t += k[4] * n5;
                    t += k[7] * n6;
                    t += k[2] * n7;
                    t += k[5] * n8;
                    t += k[8] * n9;
                    const float a = static_cast<float>(v), b = static_cast<float>(clamp_trunc(t));
                    v = clamp_trunc(std::sqrt(a * a + b * b));
                }
                if (has_offset)
                    v = clampi(v + offset, 0, 255);
                if (thresholding)
                    v = static_cast<float>(v) / 255.0f > level ? 255 : 0;
                out[ch] = static_cast<uint8_t>((weight * v + (255 - weight) * c[ch]) / 255);
            }
            if (has_alpha)
                out[3] = static_cast<uint8_t>(weight * out[3] / 255);
        }
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
        message_show(msg::CannotOpenRequested, path);
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
        message_show(msg::CannotCreateRequested, path);
        return 1;
    }
    return 0;
}
