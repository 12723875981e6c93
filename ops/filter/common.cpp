#include "areas/area_mask.h"
#include "core/image.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "ops/filter/filter_internal.h"
#include "ops/framework.h"

#include <cstring>

namespace filt {

template <class T>
bool Buffer<T>::alloc(long count)
{
    release();
    if (count <= 0)
        count = 1;
    p = static_cast<T*>(mem_alloc(count * static_cast<long>(sizeof(T)), "filt"));
    return p != nullptr;
}

template <class T>
void Buffer<T>::release()
{
    if (p)
        p = mem_free_t(p);
}

template struct Buffer<uint32_t>;
template struct Buffer<uint8_t>;
template struct Buffer<int32_t>;
template struct Buffer<float>;
template struct Buffer<int16_t>;
template struct Buffer<uint16_t>;
template struct Buffer<double>;
template struct Buffer<int64_t>;

Box work_box(const Image* target)
{
    AreaRect r = area_mask().rect;
    if (!area_rect_clip(target, r))
        area_rect_whole(target, r);
    return Box{r.x0, r.y0, r.x1, r.y1};
}

bool work_open(Work& work, Image* target)
{
    work.target = target;
    work.w = static_cast<int>(target->width);
    work.h = target->height;
    work.box = work_box(target);
    work.alpha_mode = op_state().alpha_mode;
    const long n = static_cast<long>(work.w) * work.h;
    if (!work.in.alloc(n) || !work.out.alloc(n)) {
        work.in.release();
        work.out.release();
        message_show(msg::NoMemoryOperation);
        return false;
    }
    for (int y = 0; y < work.h; ++y) {
        const uint8_t* row = target->row(y);
        uint32_t* dst = work.in.p + static_cast<long>(y) * work.w;
        std::memcpy(dst, row, static_cast<size_t>(work.w) * 4);
        if (work.alpha_mode)
            for (int x = 0; x < work.w; ++x) {
                const uint32_t a = dst[x] >> 24;
                dst[x] = a | a << 8 | a << 16 | a << 24;
            }
    }
    std::memcpy(work.out.p, work.in.p, static_cast<size_t>(n) * 4);
    return true;
}

namespace {

inline void blend_into(uint8_t* p, uint32_t n, int m, bool alpha_mode)
{
    if (alpha_mode) {
        const int grey = (pixel_r(n) + pixel_g(n) + pixel_b(n)) / 3;
        p[3] = static_cast<uint8_t>(mix_weight(grey, p[3], m));
        return;
    }
    if (m == 255) {
        p[0] = static_cast<uint8_t>(pixel_r(n));
        p[1] = static_cast<uint8_t>(pixel_g(n));
        p[2] = static_cast<uint8_t>(pixel_b(n));
        return;
    }
    p[0] = static_cast<uint8_t>(mix_weight(pixel_r(n), p[0], m));
    p[1] = static_cast<uint8_t>(mix_weight(pixel_g(n), p[1], m));
    p[2] = static_cast<uint8_t>(mix_weight(pixel_b(n), p[2], m));
}

} // namespace

void work_commit(const Work& work, const uint8_t* mask)
{
    Image* t = work.target;
    for (int y = work.box.y0; y <= work.box.y1; ++y) {
        uint8_t* row = t->row(y);
        const uint8_t* m = mask + t->rows[y];
        const uint32_t* src = work.out.p + static_cast<long>(y) * work.w;
        for (int x = work.box.x0; x <= work.box.x1; ++x)
            if (m[x])
                blend_into(row + 4 * x, src[x], m[x], work.alpha_mode);
    }
}

Meter::Meter(const char* caption, long total) : total_(total < 1 ? 1 : total)
{
    progress_open(caption, total_, 1);
}

Meter::~Meter()
{
    progress_close();
}

bool Meter::step(long position)
{
    return progress_update(position);
}

namespace {
PassResult g_pass;
}

PassResult& pass_result()
{
    return g_pass;
}

void pass_release()
{
    if (g_pass.out)
        g_pass.out = mem_free_t(g_pass.out);
    g_pass = PassResult{};
}

void pass_take(Work& work)
{
    pass_release();
    g_pass.box = work.box;
    g_pass.w = work.w;
    g_pass.alpha_mode = work.alpha_mode;
    g_pass.out = work.out.p;
    work.out.p = nullptr;
    work.in.release();
    g_pass.ready = g_pass.out != nullptr;
}

void pass_blend(uint8_t* pixel, int x, int y, int weight)
{
    const PassResult& r = g_pass;
    if (!weight || !r.ready || x < r.box.x0 || x > r.box.x1 || y < r.box.y0 || y > r.box.y1)
        return;
    blend_into(pixel, r.out[static_cast<long>(y) * r.w + x], weight, r.alpha_mode);
}

int pass_finish(Image*, int)
{
    pass_release();
    return 0;
}

bool source_at(int x, int y, uint32_t& pixel)
{
    const OpState& s = op_state();
    if (!s.src_pixels || !s.src_rows || x < 0 || y < 0 || x >= s.src_width || y >= s.src_height)
        return false;
    pixel = pixel_load(s.src_pixels + 4 * (static_cast<size_t>(s.src_rows[y]) + static_cast<size_t>(x)));
    return true;
}

} // namespace filt
