#include "ops/appliers.h"

#include "areas/area_mask.h"
#include "core/image.h"
#include "core/mem.h"
#include "core/parallel.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/undo.h"
#include "ops/framework.h"

#include <algorithm>

namespace {

enum class Capture {
    RectWhenUndo,   // pixel appliers: the rectangle when there are undo levels
    WholeWhenUndo,  // full-refresh pixel in place xy
    Rect,           // mandatory: stop when it fails
    Whole,
};

// What every applier but the no-undo one holds while it runs.
struct Frame {
    Image* target = nullptr;
    ImageLock lock;  // the target, for as long as the applier runs
    uint8_t* mask = nullptr;
    AreaRect rect{};
    bool captured = false;
};

const char* op_name()
{
    const OpState& s = op_state();
    return s.op && s.op->name ? s.op->name : "";
}

// Lock, mask, progress, undo: the common opening of the appliers.
int frame_open(Frame& f, Image* target, char tag, Capture capture)
{
    f.target = target;
    if (!target || !f.lock.acquire(target, msg::NoRealMemoryOperation))
        return 1;
    if (ensure_mask(target->width, target->height) != 0)
        return 1;
    f.mask = mask_lock();
    if (!f.mask) {
        const char tag_text[2] = {tag, 0};
        message_show(msg::NoRealMemoryMask, tag_text);
        return 1;
    }
    f.rect = area_mask().rect;
    if (!area_rect_clip(target, f.rect)) {
        mask_unlock();
        return 1;
    }
    progress_open(op_name(), f.rect.y1 - f.rect.y0 + 1, 1);
    undo_drop_stale(target);

    const long w = static_cast<long>(target->width), h = target->height;
    const bool levels = settings().undo_want > 0;
    int failed = 0;
    switch (capture) {
    case Capture::RectWhenUndo:
        if (levels)
            f.captured = undo_capture(f.rect.x0, f.rect.y0, f.rect.x1, f.rect.y1, target, op_name()) == 0;
        break;
    case Capture::WholeWhenUndo:
        if (levels)
            f.captured = undo_capture(0, 0, w - 1, h - 1, target, op_name()) == 0;
        break;
    case Capture::Rect:
        failed = undo_capture(f.rect.x0, f.rect.y0, f.rect.x1, f.rect.y1, target, op_name());
        f.captured = failed == 0;
        break;
    case Capture::Whole:
        failed = undo_capture(0, 0, w - 1, h - 1, target, op_name());
        f.captured = failed == 0;
        break;
    }
    if (failed) {
        progress_close();
        mask_unlock();
        return 1;
    }
    return 0;
}

int frame_close(Frame& f)
{
    progress_close();
    mask_unlock();
    f.lock.release();
    return 0;
}

// Abort or failure: everything released and the image as it was.
int frame_abort(Frame& f)
{
    progress_close();
    mask_unlock();
    f.lock.release();
    if (f.captured)
        undo_restore_last();
    return 1;
}

bool row_step(const Frame& f, int y)
{
    return progress_update(y - f.rect.y0);
}

// Below this many pixels handing rows to other threads costs more than it gains.
constexpr long kParallelPixels = 1L << 15;

// Walks the rows of the rectangle, calling row(y) for each: on several
// threads when the operation allows it and the rectangle is large enough,
// else in order.  Progress and abort as the appliers always had them; the
// result is the same either way.
template <class Row>
int walk_rows(Frame& f, Row row)
{
    const OpState& s = op_state();
    const long y0 = f.rect.y0, y1 = f.rect.y1;
    const long pixels = static_cast<long>(f.rect.x1 - f.rect.x0 + 1) * (y1 - y0 + 1);
    if (s.op && s.op->parallel && pixels >= kParallelPixels && parallel_threads() > 1) {
        const bool done = parallel_rows(
            y0, y1,
            [&row](long first, long last) {
                for (long y = first; y <= last; ++y)
                    row(static_cast<int>(y));
            },
            [](long rows_done) { return progress_update(rows_done); });
        return done ? frame_close(f) : frame_abort(f);
    }
    for (int y = f.rect.y0; y <= f.rect.y1; ++y) {
        if (row_step(f, y))
            return frame_abort(f);
        row(y);
    }
    return frame_close(f);
}

// The weighted blend of a new colour into a pixel; its alpha stays.
inline void blend_colour(uint8_t* p, uint32_t n, int w)
{
    const uint32_t o = pixel_load(p);
    if (w == 255) {
        pixel_store(p, (n & 0x00FFFFFFu) | (o & 0xFF000000u));
    } else {
        p[0] = static_cast<uint8_t>(mix_weight(pixel_r(n), p[0], w));
        p[1] = static_cast<uint8_t>(mix_weight(pixel_g(n), p[1], w));
        p[2] = static_cast<uint8_t>(mix_weight(pixel_b(n), p[2], w));
    }
}

// Colour pixels through the worker's run form: a run of a row is mapped at
// once and then blended weight by weight as the pixel loop does; runs of
// full weight take the colours whole.
int pixel_map_runs(Frame& f, void (*run)(const uint8_t*, uint32_t*, int))
{
    constexpr int kRun = 512;
    Image* t = f.target;
    const int x0 = f.rect.x0, x1 = f.rect.x1;
    return walk_rows(f, [&](int y) {
        uint32_t mapped[kRun];
        for (int x = x0; x <= x1; x += kRun) {
            const int n = std::min(kRun, x1 - x + 1);
            const uint8_t* m = f.mask + t->rows[y] + x;
            uint8_t any = 0, all = 255;
            for (int i = 0; i < n; ++i) {
                any |= m[i];
                all &= m[i];
            }
            if (!any)
                continue;
            uint8_t* p = t->row(y) + 4 * x;
            run(p, mapped, n);
            if (all == 255) {
                for (int i = 0; i < n; ++i)
                    pixel_store(p + 4 * i, (mapped[i] & 0x00FFFFFFu) | (pixel_load(p + 4 * i) & 0xFF000000u));
            } else {
                for (int i = 0; i < n; ++i)
                    if (m[i])
                        blend_colour(p + 4 * i, mapped[i], m[i]);
            }
        }
    });
}

// Pixel map appliers: the worker computes, the applier blends by the weight.
template <class Map>
int pixel_map_rows(Frame& f, Map map, uint32_t (*warp)(uint32_t), bool warp_layer, bool alpha_mode)
{
    Image* t = f.target;
    const int x0 = f.rect.x0, x1 = f.rect.x1;
    return walk_rows(f, [&](int y) {
        uint8_t* row = t->row(y);
        const uint8_t* m = f.mask + t->rows[y];
        if (warp_layer) {
            // Displacements are not colours: no blending.
            if (warp)
                for (int x = x0; x <= x1; ++x)
                    pixel_store(row + 4 * x, warp(pixel_load(row + 4 * x)));
            return;
        }
        if (alpha_mode) {
            for (int x = x0; x <= x1; ++x) {
                const int w = m[x];
                if (!w)
                    continue;
                uint8_t* p = row + 4 * x;
                const int a = p[3];
                // The worker sees the alpha as a grey; its grey becomes the alpha.
                const uint32_t n = map(pixel_make(a, a, a, a), x, y);
                const int grey = (pixel_r(n) + pixel_g(n) + pixel_b(n)) / 3;
                p[3] = static_cast<uint8_t>(mix_weight(grey, a, w));
            }
            return;
        }
        for (int x = x0; x <= x1; ++x) {
            const int w = m[x];
            if (!w)
                continue;
            uint8_t* p = row + 4 * x;
            blend_colour(p, map(pixel_load(p), x, y), w);
        }
    });
}

// Warp workers of the in-place appliers take the same arguments as the worker.
template <class Place>
int in_place_rows(Frame& f, Place place)
{
    Image* t = f.target;
    const int x0 = f.rect.x0, x1 = f.rect.x1;
    return walk_rows(f, [&](int y) {
        uint8_t* row = t->row(y);
        const uint8_t* m = f.mask + t->rows[y];
        for (int x = x0; x <= x1; ++x)
            if (const int w = m[x])
                place(row + 4 * x, x, y, w);
    });
}

} // namespace

int apply_pixel_map(Image* target, int)
{
    const OpState& s = op_state();
    if (!s.worker.map)
        return 1;
    Frame f;
    if (frame_open(f, target, 'A', Capture::RectWhenUndo))
        return 1;
    const bool warp_layer = is_warp_layer(target);
    if (s.worker.map_run && !warp_layer && !s.alpha_mode)
        return pixel_map_runs(f, s.worker.map_run);
    uint32_t (*map)(uint32_t) = s.worker.map;
    return pixel_map_rows(
        f, [map](uint32_t p, int, int) { return map(p); }, s.warp.map, warp_layer, s.alpha_mode);
}

int apply_pixel_map_xy(Image* target, int)
{
    const OpState& s = op_state();
    if (!s.worker.map_xy)
        return 1;
    Frame f;
    if (frame_open(f, target, 'B', Capture::RectWhenUndo))
        return 1;
    uint32_t (*map)(uint32_t, int, int) = s.worker.map_xy;
    return pixel_map_rows(
        f, [map](uint32_t p, int x, int y) { return map(p, x, y); }, s.warp.map, is_warp_layer(target),
        s.alpha_mode);
}

int apply_pixel_in_place(Image* target, int)
{
    const OpState& s = op_state();
    void (*place)(uint8_t*, int) = is_warp_layer(target) && s.warp.place ? s.warp.place : s.worker.place;
    if (!place)
        return 1;
    Frame f;
    if (frame_open(f, target, 'C', Capture::RectWhenUndo))
        return 1;
    return in_place_rows(f, [place](uint8_t* p, int, int, int w) { place(p, w); });
}

using PlaceXY = void (*)(uint8_t*, int, int, int);

// The xy worker that runs on the target: a warp layer's own when it has one.
static PlaceXY place_xy_worker(const OpState& s, const Image* target)
{
    return is_warp_layer(target) && s.warp.place_xy ? s.warp.place_xy : s.worker.place_xy;
}

int apply_pixel_in_place_xy(Image* target, int)
{
    const OpState& s = op_state();
    const PlaceXY place = place_xy_worker(s, target);
    if (!place)
        return 1;
    Frame f;
    Capture capture = s.op && s.op->full_refresh ? Capture::WholeWhenUndo : Capture::RectWhenUndo;
    if (frame_open(f, target, 'D', capture))
        return 1;
    return in_place_rows(f, place);
}

int apply_multi_pass(Image* target, int)
{
    OpState& s = op_state();
    const PlaceXY place = place_xy_worker(s, target);
    if (!place)
        return 1;
    Frame f;
    if (frame_open(f, target, 'E', Capture::Rect))
        return 1;
    const int passes = std::max(1, s.passes);
    const long mask_bytes = static_cast<long>(target->width) * target->height;
    uint8_t* saved = nullptr;
    if (passes > 1) {
        // Workers may use the mask as scratch; each pass starts from the original.
        saved = static_cast<uint8_t*>(mem_alloc(mask_bytes + 16, "mcpy"));
        if (!saved) {
            message_show(msg::NoMemoryOperation);
            return frame_abort(f);
        }
        std::memcpy(saved, f.mask, static_cast<size_t>(mask_bytes));
    }
    if (s.prepass)
        s.prepass(target, target->pixels);
    const long rows = f.rect.y1 - f.rect.y0 + 1;
    progress_close();
    progress_open(op_name(), rows * passes, 1);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = f.rect.y0; y <= f.rect.y1; ++y) {
            if (progress_update(pass * rows + (y - f.rect.y0))) {
                if (saved) {
                    std::memcpy(f.mask, saved, static_cast<size_t>(mask_bytes));
                    mem_free(saved);
                }
                return frame_abort(f);
            }
            uint8_t* row = target->row(y);
            const uint8_t* m = f.mask + target->rows[y];
            for (int x = f.rect.x0; x <= f.rect.x1; ++x)
                place(row + 4 * x, x, y, m[x]);
        }
        if (saved)
            std::memcpy(f.mask, saved, static_cast<size_t>(mask_bytes));
    }
    if (saved)
        mem_free(saved);
    return frame_close(f);
}

int apply_geometric(Image* target, int)
{
    OpState& s = op_state();
    const PlaceXY place = place_xy_worker(s, target);
    if (!place)
        return 1;
    Frame f;
    // The capture is what the worker reads from: without it nothing can move.
    if (frame_open(f, target, 'F', Capture::Rect))
        return 1;
    Image* capture = undo_last_capture();
    ImageLock capture_lock(capture);
    if (!capture_lock) {
        message_show(msg::NoRealMemoryUndo);
        capture_lock.release();
        return frame_abort(f);
    }
    s.capture = capture;
    s.capture_x = f.rect.x0;
    s.capture_y = f.rect.y0;
    int result = in_place_rows(f, place);
    s.capture = nullptr;
    return result;
}

int apply_whole_image(Image* target, int)
{
    const OpState& s = op_state();
    if (!s.worker.whole)
        return 1;
    Frame f;
    if (frame_open(f, target, 'G', Capture::Whole))
        return 1;
    if (s.worker.whole(target, f.mask) != 0)
        return frame_abort(f);
    return frame_close(f);
}

int apply_whole_image_no_undo(Image* target, int)
{
    const OpState& s = op_state();
    if (!s.worker.whole || !target)
        return 1;
    ImageLock lock(target, msg::NoRealMemoryOperation);
    if (!lock || ensure_mask(target->width, target->height) != 0)
        return 1;
    uint8_t* mask = mask_lock();
    if (!mask) {
        message_show(msg::NoRealMemoryMask, "H");
        return 1;
    }
    int result = s.worker.whole(target, mask) != 0 ? 1 : 0;
    mask_unlock();
    return result;
}

OpApplier applier_for(ApplierKind kind)
{
    switch (kind) {
    case ApplierKind::PixelMap: return apply_pixel_map;
    case ApplierKind::PixelMapXY: return apply_pixel_map_xy;
    case ApplierKind::PixelInPlace: return apply_pixel_in_place;
    case ApplierKind::PixelInPlaceXY: return apply_pixel_in_place_xy;
    case ApplierKind::MultiPass: return apply_multi_pass;
    case ApplierKind::Geometric: return apply_geometric;
    case ApplierKind::WholeImage: return apply_whole_image;
    case ApplierKind::WholeImageNoUndo: return apply_whole_image_no_undo;
    }
    return nullptr;
}
