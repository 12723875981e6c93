#include "ops/collage/canvas.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "ops/framework.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace canvas {

resample::Block source()
{
    const OpState& s = op_state();
    if (!s.src_pixels || s.src_width < 1 || s.src_height < 1)
        return {nullptr, 0, 0, 0};
    return {s.src_pixels, s.src_width, s.src_height, s.src_width};
}

resample::Block brush()
{
    const OpState& s = op_state();
    if (!s.brush_pixels || s.brush_width < 1 || s.brush_height < 1)
        return {nullptr, 0, 0, 0};
    return {s.brush_pixels, s.brush_width, s.brush_height, s.brush_width};
}

resample::Block of(Image* image)
{
    return {image->pixels, static_cast<long>(image->width), image->height, static_cast<long>(image->width)};
}

bool copy(const resample::Block& in, Pixels& out)
{
    try {
        out.bytes.resize(4 * static_cast<size_t>(in.width) * static_cast<size_t>(in.height));
    } catch (const std::bad_alloc&) {
        message_show(msg::NoMemoryOperation);
        return false;
    }
    out.width = in.width;
    out.height = in.height;
    for (long y = 0; y < in.height; ++y)
        std::memcpy(out.at(0, y), in.pixels + 4 * static_cast<size_t>(y) * static_cast<size_t>(in.stride),
                    4 * static_cast<size_t>(in.width));
    return true;
}

bool stretched(const resample::Block& in, long w, long h, Pixels& out, int filter)
{
    if (!in.pixels)
        return false;
    if (w == in.width && h == in.height)
        return copy(in, out);
    try {
        out.bytes.resize(4 * static_cast<size_t>(w) * static_cast<size_t>(h));
    } catch (const std::bad_alloc&) {
        message_show(msg::NoMemoryOperation);
        return false;
    }
    out.width = w;
    out.height = h;
    return resample::resize(in, {out.bytes.data(), w, h, w}, filter);
}

bool alpha_mode()
{
    return op_state().alpha_mode;
}

void put(uint8_t* p, const uint8_t n[4], int m, bool alpha)
{
    gen::put(p, n[0], n[1], n[2], m, alpha);
}

void put_rgba(uint8_t* p, const uint8_t n[4], int m, bool alpha)
{
    if (m <= 0)
        return;
    if (alpha) {
        gen::put(p, n[0], n[1], n[2], m, true);
        return;
    }
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<uint8_t>(gen::mix_int(n[k], p[k], std::min(m, 255)));
}

void put_over(uint8_t* p, const uint8_t n[4], int m, bool alpha)
{
    const int w = std::min(m, 255) * n[3] / 255;
    if (w <= 0)
        return;
    if (alpha) {
        gen::put(p, n[0], n[1], n[2], w, true);
        return;
    }
    for (int k = 0; k < 3; ++k)
        p[k] = static_cast<uint8_t>(gen::mix_int(n[k], p[k], w));
    p[3] = static_cast<uint8_t>(p[3] + (255 - p[3]) * w / 255);
}

Image* new_planes(long w, long h)
{
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) {
        message_show(msg::NoMemoryOperation);
        return nullptr;
    }
    Image* fresh = image_new_locked(w, h, "iHrgba");
    if (!fresh) {
        message_show(msg::NoMemoryOperation);
        return nullptr;
    }
    return fresh;
}

bool size_ok(double w, double h)
{
    if (w >= 1 && h >= 1 && w <= kMaxSide && h <= kMaxSide)
        return true;
    char text[96];
    std::snprintf(text, sizeof text, "%.0f x %.0f pixels", std::clamp(w, -1e12, 1e12), std::clamp(h, -1e12, 1e12));
    error_box("The new size must lie between 1 and 40000 pixels a side.", text);
    return false;
}

void no_memory()
{
    message_show(msg::NoMemoryOperation);
}

bool cancelled(long done, long total)
{
    return gen::progress(done, total);
}

bool BoxSums::build(const uint8_t* pixels, long w, long h, long stride)
{
    width = w;
    height = h;
    try {
        sums.assign(4 * static_cast<size_t>(w + 1) * static_cast<size_t>(h + 1), 0);
    } catch (const std::bad_alloc&) {
        message_show(msg::NoMemoryOperation);
        return false;
    }
    const size_t row = 4 * static_cast<size_t>(w + 1);
    for (long y = 0; y < h; ++y) {
        uint32_t acc[4] = {0, 0, 0, 0};
        const uint8_t* p = pixels + 4 * static_cast<size_t>(y) * static_cast<size_t>(stride);
        uint32_t* above = &sums[static_cast<size_t>(y) * row];
        uint32_t* here = above + row;
        for (long x = 0; x < w; ++x, p += 4)
            for (int k = 0; k < 4; ++k) {
                acc[k] += p[k];
                here[4 * (x + 1) + k] = above[4 * (x + 1) + k] + acc[k];
            }
    }
    return true;
}

void BoxSums::box(long x0, long y0, long x1, long y1, uint32_t out[4], long* count) const
{
    x0 = std::clamp(x0, 0L, width - 1);
    x1 = std::clamp(x1, x0, width - 1);
    y0 = std::clamp(y0, 0L, height - 1);
    y1 = std::clamp(y1, y0, height - 1);
    const size_t row = 4 * static_cast<size_t>(width + 1);
    const uint32_t* a = &sums[static_cast<size_t>(y0) * row + 4 * static_cast<size_t>(x0)];
    const uint32_t* b = &sums[static_cast<size_t>(y0) * row + 4 * static_cast<size_t>(x1 + 1)];
    const uint32_t* c = &sums[static_cast<size_t>(y1 + 1) * row + 4 * static_cast<size_t>(x0)];
    const uint32_t* d = &sums[static_cast<size_t>(y1 + 1) * row + 4 * static_cast<size_t>(x1 + 1)];
    for (int k = 0; k < 4; ++k)
        out[k] = d[k] - b[k] - c[k] + a[k];
    *count = (x1 - x0 + 1) * (y1 - y0 + 1);
}

} // namespace canvas
