// Clip, Extend, Enlarge, Reduce, SPercent and SPixel: the operations that may
// give the image a new size.  The whole-image applier has captured the whole
// image, so undo puts the old size back.
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/platform.h"
#include "ops/catalogue.h"
#include "ops/collage/canvas.h"
#include "ops/collage/collage.h"
#include "ops/framework.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

CollageParams& P()
{
    return g_collage_params;
}

int32_t running()
{
    const OpState& s = op_state();
    return s.op ? s.op->command : 0;
}

bool resize_on(int32_t command)
{
    const CollageParams& p = P();
    switch (command) {
    case opcmd::Enlarge: return p.enlarge_resize != 0;
    case opcmd::Reduce: return p.reduce_resize != 0;
    case opcmd::SPercent: return p.sp_resize != 0;
    case opcmd::SPixel: return p.spx_resize != 0;
    default: return false;
    }
}

int filter_of(int32_t command)
{
    const CollageParams& p = P();
    switch (command) {
    case opcmd::Enlarge: return p.enlarge_filter;
    case opcmd::Reduce: return p.reduce_filter;
    case opcmd::SPercent: return p.sp_filter;
    case opcmd::SPixel: return p.spx_filter;
    default: return resample::Auto;
    }
}

// The box Clip keeps: the area rectangle, or the bounds of the selected
// pixels, grown by the margin and clipped to the image.  False when nothing
// is selected.
bool clip_box(Image* t, const uint8_t* mask, long box[4])
{
    const gen::Area a = gen::area();
    long x0 = a.x0, y0 = a.y0, x1 = a.x1, y1 = a.y1;
    if (P().clip_bounds && mask) {
        long bx0 = t->width, by0 = t->height, bx1 = -1, by1 = -1;
        for (long y = y0; y <= y1; ++y)
            for (long x = x0; x <= x1; ++x)
                if (mask[static_cast<size_t>(t->rows[y]) + static_cast<size_t>(x)]) {
                    bx0 = std::min(bx0, x), bx1 = std::max(bx1, x);
                    by0 = std::min(by0, y), by1 = std::max(by1, y);
                }
        if (bx1 < 0)
            return false;
        x0 = bx0, y0 = by0, x1 = bx1, y1 = by1;
    }
    const long m = P().clip_margin;
    box[0] = std::clamp(x0 - m, 0L, static_cast<long>(t->width) - 1);
    box[1] = std::clamp(y0 - m, 0L, static_cast<long>(t->height) - 1);
    box[2] = std::clamp(x1 + m, box[0], static_cast<long>(t->width) - 1);
    box[3] = std::clamp(y1 + m, box[1], static_cast<long>(t->height) - 1);
    return true;
}

// Copies the block x0..x0+w-1, y0..y0+h-1 of the target into a new image and
// gives the target its planes.
int crop_to(Image* t, long x0, long y0, long w, long h, const uint8_t* mask, bool clear_outside)
{
    Image* fresh = canvas::new_planes(w, h);
    if (!fresh)
        return 1;
    bool cleared = false;
    for (long y = 0; y < h; ++y) {
        std::memcpy(fresh->row(static_cast<int>(y)), t->pixel(static_cast<int>(x0), static_cast<int>(y0 + y)),
                    4 * static_cast<size_t>(w));
        if (!clear_outside || !mask)
            continue;
        uint8_t* row = fresh->row(static_cast<int>(y));
        const uint8_t* m = mask + t->rows[y0 + y] + x0;
        for (long x = 0; x < w; ++x)
            if (m[x] < 255) {
                row[4 * x + 3] = static_cast<uint8_t>(row[4 * x + 3] * m[x] / 255);
                cleared = true;
            }
    }
    image_take_planes(t, fresh);
    if (cleared)
        t->alpha = 1;
    return 0;
}

// Where a coordinate outside 0..n-1 reads from for Extend's modes.
long edge_index(long i, long n, int mode)
{
    if (i >= 0 && i < n)
        return i;
    switch (mode) {
    case 2: {  // mirror
        const long period = 2 * n;
        long k = ((i % period) + period) % period;
        return k < n ? k : period - 1 - k;
    }
    case 3:  // tile
        return ((i % n) + n) % n;
    default:  // edge
        return std::clamp(i, 0L, n - 1);
    }
}

} // namespace

// ---- Clip --------------------------------------------------------------------

int clip_prepare(Image* t, int)
{
    // A clip of the whole image with nothing to clear changes nothing.
    const gen::Area a = gen::area();
    const CollageParams& p = P();
    if (!p.clip_bounds && !p.clip_outside && a.x0 == 0 && a.y0 == 0 && a.x1 == static_cast<int>(t->width) - 1 &&
        a.y1 == t->height - 1)
        return op_refuse_no_change();
    return 0;
}

int clip_worker(Image* t, uint8_t* mask)
{
    long box[4];
    if (!clip_box(t, mask, box)) {
        error_box("Clip: the selection holds no pixel.");
        return 1;
    }
    return crop_to(t, box[0], box[1], box[2] - box[0] + 1, box[3] - box[1] + 1, mask, P().clip_outside != 0);
}

// ---- Extend ------------------------------------------------------------------

int extend_prepare(Image* t, int)
{
    const CollageParams& p = P();
    if (!p.ext[0] && !p.ext[1] && !p.ext[2] && !p.ext[3])
        return op_refuse_no_change();
    const double w = static_cast<double>(t->width) + p.ext[0] + p.ext[2];
    const double h = static_cast<double>(t->height) + p.ext[1] + p.ext[3];
    return canvas::size_ok(w, h) ? 0 : 2;
}

int extend_worker(Image* t, uint8_t*)
{
    const CollageParams& p = P();
    const long ow = t->width, oh = t->height;
    const long w = ow + p.ext[0] + p.ext[2], h = oh + p.ext[1] + p.ext[3];
    Image* fresh = canvas::new_planes(w, h);
    if (!fresh)
        return 1;
    const int mode = std::clamp(p.ext_mode, 0, 4);
    const uint8_t fill[4] = {static_cast<uint8_t>((p.ext_colour >> 16) & 255),
                             static_cast<uint8_t>((p.ext_colour >> 8) & 255), static_cast<uint8_t>(p.ext_colour & 255),
                             static_cast<uint8_t>(mode == 4 ? 0 : std::clamp(p.ext_alpha, 0, 255))};
    bool see_through = fill[3] < 255 && (mode == 0 || mode == 4);
    for (long y = 0; y < h; ++y) {
        if (canvas::cancelled(y, h)) {
            image_free(fresh);
            return 1;
        }
        uint8_t* out = fresh->row(static_cast<int>(y));
        const long sy = y - p.ext[1];
        for (long x = 0; x < w; ++x, out += 4) {
            const long sx = x - p.ext[0];
            if (sx >= 0 && sx < ow && sy >= 0 && sy < oh) {
                std::memcpy(out, t->pixel(static_cast<int>(sx), static_cast<int>(sy)), 4);
            } else if (mode == 0 || mode == 4) {
                std::memcpy(out, fill, 4);
            } else {
                std::memcpy(out, t->pixel(static_cast<int>(edge_index(sx, ow, mode)), static_cast<int>(edge_index(sy, oh, mode))),
                            4);
            }
        }
    }
    image_take_planes(t, fresh);
    if (see_through && (p.ext[0] > 0 || p.ext[1] > 0 || p.ext[2] > 0 || p.ext[3] > 0))
        t->alpha = 1;
    return 0;
}

// ---- Enlarge, Reduce, SPercent, SPixel -----------------------------------------

void size_target(int32_t command, long w, long h, double* nw, double* nh)
{
    const CollageParams& p = P();
    switch (command) {
    case opcmd::Enlarge:
        *nw = std::round(w * (p.enlarge_pct / 100.0));
        *nh = std::round(h * (p.enlarge_pct / 100.0));
        break;
    case opcmd::Reduce:
        *nw = std::round(w * (p.reduce_pct / 100.0));
        *nh = std::round(h * (p.reduce_pct / 100.0));
        break;
    case opcmd::SPercent:
        *nw = std::round(w * (p.sp_w / 100.0));
        *nh = std::round(h * (p.sp_h / 100.0));
        break;
    default:
        *nw = p.spx_w;
        *nh = p.spx_h;
        break;
    }
}

int size_prepare(Image* t, int)
{
    const int32_t command = op_state().current;
    const gen::Area a = gen::area();
    double nw, nh;
    size_target(command, a.width(), a.height(), &nw, &nh);
    if (!canvas::size_ok(nw, nh))
        return 2;
    // The same size again (a percentage of 100, say) changes nothing.
    if (nw == a.width() && nh == a.height())
        return op_refuse_no_change();
    (void)t;
    return 0;
}

int size_worker(Image* t, uint8_t* mask)
{
    const int32_t command = running();
    const gen::Area a = gen::area();
    double dw, dh;
    size_target(command, a.width(), a.height(), &dw, &dh);
    const long nw = static_cast<long>(dw), nh = static_cast<long>(dh);
    const resample::Block area{t->pixel(a.x0, a.y0), a.width(), a.height(), static_cast<long>(t->width)};
    const int filter = filter_of(command);
    if (resize_on(command)) {
        // The image becomes the area's picture at the new size.
        Image* fresh = canvas::new_planes(nw, nh);
        if (!fresh)
            return 1;
        if (!resample::resize(area, {fresh->pixels, nw, nh, nw}, filter, canvas::cancelled)) {
            image_free(fresh);
            return 1;
        }
        image_take_planes(t, fresh);
        return 0;
    }
    // Within the image: the area's picture at the new size, centred on the
    // area for Enlarge and Reduce, at its top left for SPercent and SPixel,
    // put in where the selection allows.
    canvas::Pixels scaled;
    if (!canvas::stretched(area, nw, nh, scaled, filter))
        return 1;
    long ox = a.x0, oy = a.y0;
    if (command == opcmd::Enlarge || command == opcmd::Reduce) {
        ox = a.x0 + (a.width() - nw) / 2;
        oy = a.y0 + (a.height() - nh) / 2;
    }
    const bool alpha = canvas::alpha_mode();
    for (long y = std::max(0L, oy); y < std::min<long>(t->height, oy + nh); ++y) {
        const uint8_t* m = mask + t->rows[y];
        for (long x = std::max(0L, ox); x < std::min<long>(t->width, ox + nw); ++x)
            if (m[x])
                canvas::put_rgba(t->pixel(static_cast<int>(x), static_cast<int>(y)), scaled.at(x - ox, y - oy), m[x], alpha);
    }
    return 0;
}

int size_finish(Image* target, int)
{
    // The image may have a new shape: every view shows it anew.
    ui::platform().redraw(target, nullptr);
    return 0;
}
