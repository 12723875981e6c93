#include "areas/area_mask.h"

#include "areas/area.h"
#include "areas/area_font.h"
#include "areas/area_pixels.h"
#include "areas/area_raster.h"
#include "core/image.h"
#include "core/list.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

AreaMask g_mask;
AreaPlacement g_placement;

// The axis-aligned map from the image an area was made on to the target,
// with the placement applied: X = ax * x + bx, Y = ay * y + by.
struct Affine {
    double ax = 1, bx = 0, ay = 1, by = 0;
    PointF map(PointF p) const { return {ax * p.x + bx, ay * p.y + by}; }
    PointF map_pixel(long x, long y) const { return map({x + 0.5, y + 0.5}); }
};

Affine desc_affine(const AreaDesc* d, const Image* target, bool placed)
{
    Affine t;
    // An area made on an image of another size is scaled to fit.
    if (d->src_width > 0 && d->src_height > 0) {
        t.ax = static_cast<double>(target->width) / d->src_width;
        t.ay = static_cast<double>(target->height) / d->src_height;
    }
    if (placed && g_placement.active) {
        const AreaPlacement& p = g_placement;
        t.ax *= p.scale;
        t.ay *= p.scale;
        t.bx = p.cx * (1 - p.scale) + p.dx;
        t.by = p.cy * (1 - p.scale) + p.dy;
    }
    return t;
}

// The continuous box of a box-shaped area: pixels left..right inclusive.
void pixel_box(const AreaDesc* d, const Affine& t, double& x0, double& y0, double& x1, double& y1)
{
    PointF a = t.map({static_cast<double>(std::min(d->left, d->right)), static_cast<double>(std::min(d->top, d->bottom))});
    PointF b = t.map({std::max(d->left, d->right) + 1.0, std::max(d->top, d->bottom) + 1.0});
    x0 = a.x;
    y0 = a.y;
    x1 = b.x;
    y1 = b.y;
}

// Contours of a point list: a point with marker 0 starts one, unless every
// marker is 0 (nobody marked contours: it is one outline).
void point_contours(const AreaDesc* d, const Affine& t, Outline& out)
{
    bool marked = false;
    for (int32_t i = 1; i < d->point_count; ++i)
        if (d->points[i].m != 0)
            marked = true;
    for (int32_t i = 0; i < d->point_count; ++i) {
        const AreaPoint& p = d->points[i];
        if (i == 0 || (marked && p.m == 0))
            out.contours.emplace_back();
        out.contours.back().push_back(t.map_pixel(p.x, p.y));
    }
}

FontSpec font_spec(const AreaDesc* d, const Image* target, const Affine& t)
{
    FontSpec f;
    f.name = d->font_name[0] ? d->font_name : "Arial";
    f.weight = d->font_weight > 0 ? d->font_weight : 400;
    f.italic = d->font_italic != 0;
    f.size = std::clamp<double>(d->font_size, 1, 4000) * std::fabs(t.ay);
    f.rotation = std::isfinite(d->rotation) ? d->rotation : 0;
    f.mag_x = std::isfinite(d->mag_x) ? std::clamp(d->mag_x, -1000.0, 1000.0) : 1;
    f.mag_y = std::isfinite(d->mag_y) ? std::clamp(d->mag_y, -1000.0, 1000.0) : 1;
    if (t.ay != 0)
        f.mag_x *= t.ax / t.ay;
    f.shear = std::isfinite(d->shear) ? std::clamp(d->shear, -1000.0, 1000.0) : 0;
    // Without a position the text sits in the middle of the image.
    PointF c;
    if (d->pos_set)
        c = t.map_pixel(d->pos_x, d->pos_y);
    else if (d->src_width > 0 && d->src_height > 0)
        c = t.map({d->src_width / 2.0, d->src_height / 2.0});
    else
        c = t.map({target->width / 2.0, target->height / 2.0});
    f.cx = c.x;
    f.cy = c.y;
    return f;
}

// The outline of a shaped area; false for the modes that are no outline.
// `failed` is set when the outline could not be made (reported).
bool area_outline(const AreaDesc* d, const Image* target, const Affine& t, Outline& o, FillRule& rule, bool& failed)
{
    rule = FillRule::EvenOdd;
    failed = false;
    double x0, y0, x1, y1;
    switch (d->mode) {
    case AreaMode::RECT:
    case AreaMode::NUMRECT:
        pixel_box(d, t, x0, y0, x1, y1);
        outline_rect(o, x0, y0, x1, y1);
        return true;
    case AreaMode::ROUNDRECT:
        pixel_box(d, t, x0, y0, x1, y1);
        outline_round_rect(o, x0, y0, x1, y1, std::max(0, d->roundness) * std::sqrt(std::fabs(t.ax * t.ay)));
        return true;
    case AreaMode::ELLIPSE:
        pixel_box(d, t, x0, y0, x1, y1);
        outline_ellipse(o, x0, y0, x1, y1);
        return true;
    case AreaMode::FREEHAND:
    case AreaMode::POLYGON:
    case AreaMode::ISHAPE:
        point_contours(d, t, o);
        return true;
    case AreaMode::POLYARC:
    case AreaMode::SPLINE:
    case AreaMode::BEZIER: {
        std::vector<PointF> pts;
        pts.reserve(static_cast<size_t>(d->point_count));
        for (int32_t i = 0; i < d->point_count; ++i)
            pts.push_back(t.map_pixel(d->points[i].x, d->points[i].y));
        Contour c;
        if (d->mode == AreaMode::POLYARC)
            outline_polyarc(c, pts);
        else if (d->mode == AreaMode::SPLINE)
            outline_spline(c, pts);
        else
            outline_bezier(c, pts);
        o.contours.push_back(std::move(c));
        return true;
    }
    case AreaMode::FONT:
        rule = FillRule::NonZero;
        failed = area_font_outline(font_spec(d, target, t), d->text ? d->text : "", o) != 0;
        return true;
    default:
        return false;
    }
}

PixelBounds whole(const Image* target)
{
    return {0, 0, static_cast<long>(target->width) - 1, static_cast<long>(target->height) - 1};
}

// Builds one area into `buf` (cleared unless `cleared`); 0 done, 1 failed.
int build_shape(const AreaDesc* d, Image* target, uint8_t* buf, bool cleared, PixelBounds& b)
{
    const long w = target->width, h = target->height;
    const Affine t = desc_affine(d, target, true);
    Outline o;
    FillRule rule;
    bool failed = false;
    b = PixelBounds{};
    if (area_outline(d, target, t, o, rule, failed)) {
        if (failed)
            return 1;
        if (!cleared)
            std::memset(buf, 0, static_cast<size_t>(w * h));
        b = raster_fill(o, rule, buf, w, h);
    } else if (d->mode == AreaMode::FLOOD) {
        PointF s = t.map_pixel(d->pos_x, d->pos_y);
        const int range[3] = {std::clamp(d->range_r, 0, 360), std::clamp(d->range_g, 0, 255),
                              std::clamp(d->range_b, 0, 255)};
        const auto sx = static_cast<long>(std::floor(s.x)), sy = static_cast<long>(std::floor(s.y));
        if (sx < 0 || sy < 0 || sx >= w || sy >= h) {
            log_printf("Area FLOOD: seed %ld %ld is off the image\n", sx, sy);
            if (!cleared)
                std::memset(buf, 0, static_cast<size_t>(w * h));
        } else {
            b = area_flood(target, sx, sy, range, d->key_space == 1 ? KeySpace::HSL : KeySpace::RGB, buf);
        }
    } else if (d->mode == AreaMode::KEY) {
        ColourRange c{{std::clamp(d->key_r, 0, 255), std::clamp(d->key_g, 0, 255), std::clamp(d->key_b, 0, 255)},
                      {std::clamp(d->range_r, 0, 360), std::clamp(d->range_g, 0, 255), std::clamp(d->range_b, 0, 255)},
                      d->key_space == 1 ? KeySpace::HSL : KeySpace::RGB};
        b = area_key(target, c, buf);
    } else {
        // ENTIRE (and a REDO with nothing before it).
        std::memset(buf, 255, static_cast<size_t>(w * h));
        b = whole(target);
    }
    area_edge(buf, w, h, b, {d->feather, d->tran_level, d->tran_edge, d->tran_grow});
    if (d->combination2) {
        for (long i = 0, n = w * h; i < n; ++i)
            buf[i] = static_cast<uint8_t>(255 - buf[i]);
        b = whole(target);
    }
    return 0;
}

// Combines an area into the mask; the mask's bounds follow.
void combine(uint8_t* mask, const uint8_t* buf, long w, long h, int how, const PixelBounds& bb, PixelBounds& mb)
{
    switch (how) {
    case COMBINE_INTERSECTION: {
        PixelBounds keep{std::max(mb.x0, bb.x0), std::max(mb.y0, bb.y0), std::min(mb.x1, bb.x1),
                         std::min(mb.y1, bb.y1)};
        for (long y = 0; y < h; ++y) {
            uint8_t* m = mask + y * w;
            if (keep.empty() || y < keep.y0 || y > keep.y1) {
                std::memset(m, 0, static_cast<size_t>(w));
                continue;
            }
            const uint8_t* s = buf + y * w;
            for (long x = 0; x < w; ++x)
                m[x] = (x < keep.x0 || x > keep.x1) ? 0 : std::min(m[x], s[x]);
        }
        mb = keep;
        break;
    }
    case COMBINE_EXCLUDE:
        if (bb.empty())
            break;
        for (long y = bb.y0; y <= bb.y1; ++y) {
            uint8_t* m = mask + y * w;
            const uint8_t* s = buf + y * w;
            for (long x = bb.x0; x <= bb.x1; ++x)
                m[x] = std::min<uint8_t>(m[x], static_cast<uint8_t>(255 - s[x]));
        }
        break;
    default:  // union
        if (bb.empty())
            break;
        for (long y = bb.y0; y <= bb.y1; ++y) {
            uint8_t* m = mask + y * w;
            const uint8_t* s = buf + y * w;
            for (long x = bb.x0; x <= bb.x1; ++x)
                m[x] = std::max(m[x], s[x]);
        }
        mb.add(bb);
        break;
    }
}

// The tight bounds of the non-zero mask bytes within `b`.
PixelBounds tighten(const uint8_t* mask, long w, const PixelBounds& b)
{
    PixelBounds t;
    if (b.empty())
        return t;
    for (long y = b.y0; y <= b.y1; ++y) {
        const uint8_t* m = mask + y * w;
        long x0 = b.x0;
        while (x0 <= b.x1 && !m[x0])
            ++x0;
        if (x0 > b.x1)
            continue;
        long x1 = b.x1;
        while (!m[x1])
            --x1;
        t.add({x0, y, x1, y});
    }
    return t;
}

} // namespace

AreaMask& area_mask()
{
    return g_mask;
}

int ensure_mask(long width, long height)
{
    if (g_mask.block && g_mask.width == width && g_mask.height == height)
        return 0;
    mask_release();
    g_mask.block = vmem_alloc(width * height, "Mask");
    if (!g_mask.block) {
        message_show(msg::NoVirtualMemoryOperation);
        return 1;
    }
    g_mask.width = width;
    g_mask.height = height;
    g_mask.built = false;
    uint8_t* bytes = mask_lock();
    if (!bytes) {
        message_show(msg::NoRealMemoryMask);
        return 1;
    }
    std::memset(bytes, 255, static_cast<size_t>(width * height));
    mask_unlock();
    return 0;
}

uint8_t* mask_lock()
{
    if (!g_mask.block)
        return nullptr;
    if (!g_mask.bytes)
        g_mask.bytes = static_cast<uint8_t*>(vmem_lock(g_mask.block));
    return g_mask.bytes;
}

void mask_unlock()
{
    if (g_mask.block && g_mask.bytes) {
        vmem_unlock(g_mask.block);
        g_mask.bytes = nullptr;
    }
}

void mask_release()
{
    mask_unlock();
    if (g_mask.block)
        vmem_free(g_mask.block);
    g_mask.block = 0;
    g_mask.width = g_mask.height = 0;
    g_mask.built = false;
}

void area_rect_update(AreaRect& rect)
{
    rect.cx = (rect.x0 + rect.x1) / 2;
    rect.cy = (rect.y0 + rect.y1) / 2;
    rect.half_w = (rect.x1 - rect.x0 + 1) / 2;
    rect.half_h = (rect.y1 - rect.y0 + 1) / 2;
}

void area_rect_whole(const Image* image, AreaRect& rect)
{
    rect.x0 = 0;
    rect.y0 = 0;
    rect.x1 = static_cast<int32_t>(image->width) - 1;
    rect.y1 = image->height - 1;
    area_rect_update(rect);
}

bool area_rect_clip(const Image* image, AreaRect& rect)
{
    if (rect.x0 > rect.x1)
        std::swap(rect.x0, rect.x1);
    if (rect.y0 > rect.y1)
        std::swap(rect.y0, rect.y1);
    int32_t w = static_cast<int32_t>(image->width), h = image->height;
    if (rect.x1 < 0 || rect.y1 < 0 || rect.x0 >= w || rect.y0 >= h)
        return false;
    rect.x0 = std::max(rect.x0, 0);
    rect.y0 = std::max(rect.y0, 0);
    rect.x1 = std::min(rect.x1, w - 1);
    rect.y1 = std::min(rect.y1, h - 1);
    return true;
}

AreaPlacement& area_placement()
{
    return g_placement;
}

bool area_selection_box(Image* target, double box[4])
{
    const AreaState& st = area_state();
    if (!target || !st.present || !st.chain)
        return false;
    bool any = false;
    auto add = [&](double x0, double y0, double x1, double y1) {
        if (!any) {
            box[0] = x0, box[1] = y0, box[2] = x1, box[3] = y1;
            any = true;
        } else {
            box[0] = std::min(box[0], x0), box[1] = std::min(box[1], y0);
            box[2] = std::max(box[2], x1), box[3] = std::max(box[3], y1);
        }
    };
    for (ListNode* n = st.chain->head; n; n = n->ln_succ) {
        const auto* d = static_cast<const AreaDesc*>(n->element);
        if (!d)
            continue;
        const Affine t = desc_affine(d, target, false);
        if (d->mode == AreaMode::FLOOD) {
            PointF s = t.map_pixel(d->pos_x, d->pos_y);
            add(s.x - 0.5, s.y - 0.5, s.x + 0.5, s.y + 0.5);
            continue;
        }
        Outline o;
        FillRule rule;
        bool failed = false;
        if (!area_outline(d, target, t, o, rule, failed) || failed)
            continue;
        for (const Contour& c : o.contours)
            for (const PointF& p : c)
                if (std::isfinite(p.x) && std::isfinite(p.y))
                    add(p.x, p.y, p.x, p.y);
    }
    return any;
}

int build_area_mask(Image* target, bool fold_alpha)
{
    if (!target)
        return 1;
    struct EndOncePlacement {
        ~EndOncePlacement()
        {
            if (g_placement.once)
                g_placement = AreaPlacement{};
        }
    } end_once;
    if (ensure_mask(target->width, target->height) != 0)
        return 1;
    uint8_t* mask = mask_lock();
    if (!mask) {
        message_show(msg::NoRealMemoryMask);
        return 1;
    }
    ImageLock lock(target, msg::NoRealMemoryOperation);
    if (!lock) {
        mask_unlock();
        return 1;
    }
    const long w = target->width, h = target->height;
    const AreaState& st = area_state();
    PixelBounds mb;
    int result = 0;
    if (!st.present || !st.chain || !st.chain->head) {
        // The entire image.
        std::memset(mask, 255, static_cast<size_t>(w * h));
        mb = whole(target);
    } else {
        const int areas = list_count(st.chain);
        progress_open("Masking", areas);
        std::vector<uint8_t> scratch;
        int index = 0;
        bool combined = false;
        for (ListNode* n = st.chain->head; n && result == 0; n = n->ln_succ, ++index) {
            const auto* d = static_cast<const AreaDesc*>(n->element);
            if (!d)
                continue;
            if (index == 0) {
                result = build_shape(d, target, mask, false, mb);
                combined = d->combination2 != 0;
            } else {
                if (scratch.empty())
                    scratch.resize(static_cast<size_t>(w * h));
                else
                    std::fill(scratch.begin(), scratch.end(), 0);
                PixelBounds bb;
                result = build_shape(d, target, scratch.data(), true, bb);
                if (result == 0)
                    combine(mask, scratch.data(), w, h, d->combination1, bb, mb);
                combined = true;
            }
            if (result == 0 && progress_update(index + 1))
                result = 1;  // cancelled: nothing to report
        }
        progress_close();
        if (result == 0 && combined)
            mb = tighten(mask, w, mb);
    }
    if (result != 0) {
        lock.release();
        mask_unlock();
        g_mask.built = false;
        return 1;
    }
    AreaRect& r = g_mask.rect;
    if (mb.empty()) {
        log_printf("Area selection is empty on %s\n", target->name);
        r = {0, 0, 0, 0, 0, 0, 0, 0};
    } else {
        r.x0 = static_cast<int32_t>(mb.x0);
        r.y0 = static_cast<int32_t>(mb.y0);
        r.x1 = static_cast<int32_t>(mb.x1);
        r.y1 = static_cast<int32_t>(mb.y1);
        area_rect_update(r);
        // The target's alpha multiplies the selection ("EarlyAlphaMask").
        if (fold_alpha && target->alpha) {
            for (long y = mb.y0; y <= mb.y1; ++y) {
                const uint8_t* px = target->row(static_cast<int>(y));
                uint8_t* m = mask + target->rows[y];
                for (long x = mb.x0; x <= mb.x1; ++x)
                    m[x] = static_cast<uint8_t>((m[x] * px[4 * x + 3] + 127) / 255);
            }
        }
    }
    lock.release();
    mask_unlock();
    g_mask.built = true;
    return 0;
}
