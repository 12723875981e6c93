// The whole-image operations of the group: Flip, Turn 90, Rotate and
// Perspective.  They read the image as it was from the whole-image capture
// the applier took, write the area (Flip, Rotate, Perspective) by the mask
// weight, and Turn 90 and a growing Rotate give the image a new size.
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/parallel.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/undo.h"
#include "ops/geom/geom_internal.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr double kPi = 3.14159265358979323846;

const GeomParams& P()
{
    return g_geom_params;
}

// The image as it was before the operation: the applier's whole-image
// capture, or a copy when that capture is not at hand.
class Before {
public:
    ~Before()
    {
        if (img_ && owned_)
            image_free(img_);
        else if (img_)
            image_unlock(img_);
    }
    bool open(Image* target)
    {
        Image* c = undo_last_capture();
        if (c && c->parent == target && c->width == target->width && c->height == target->height &&
            c->parent_x <= 0 && c->parent_y <= 0) {
            if (image_lock(c) == 0) {
                img_ = c;
                return true;
            }
            image_unlock(c);
        }
        img_ = image_new_locked(target->width, target->height, "igeo");
        if (!img_) {
            message_show(msg::NoMemoryOperation);
            return false;
        }
        owned_ = true;
        for (int y = 0; y < target->height; ++y)
            std::memcpy(img_->row(y), target->row(y), 4 * static_cast<size_t>(target->width));
        return true;
    }
    const uint8_t* at(long x, long y) const
    {
        return img_->pixels + 4 * (static_cast<size_t>(img_->rows[y]) + static_cast<size_t>(x));
    }
    long width() const { return static_cast<long>(img_->width); }
    long height() const { return img_->height; }

private:
    Image* img_ = nullptr;
    bool owned_ = false;
};

// The area rectangle, inside the image.
AreaRect area_of(const Image* t)
{
    AreaRect r = area_mask().rect;
    r.x0 = std::clamp(r.x0, 0, static_cast<int32_t>(t->width) - 1);
    r.x1 = std::clamp(r.x1, r.x0, static_cast<int32_t>(t->width) - 1);
    r.y0 = std::clamp(r.y0, 0, t->height - 1);
    r.y1 = std::clamp(r.y1, r.y0, t->height - 1);
    return r;
}

// A new colour into a pixel at weight m; in alpha mode only the alpha.
void put(uint8_t* dst, const uint8_t* src, int m, bool alpha_mode)
{
    if (alpha_mode) {
        dst[3] = static_cast<uint8_t>(mix_weight(src[3], dst[3], m));
    } else if (m == 255) {
        std::memcpy(dst, src, 4);
    } else {
        for (int k = 0; k < 4; ++k)
            dst[k] = static_cast<uint8_t>(mix_weight(src[k], dst[k], m));
    }
}

// The new planes of a resized image take the place of the old ones; the
// record (its locks, layers, names) stays.  `fresh` is freed with the old
// planes.
void take_planes(Image* target, Image* fresh)
{
    std::swap(target->width, fresh->width);
    std::swap(target->height, fresh->height);
    std::swap(target->pixel_block, fresh->pixel_block);
    std::swap(target->row_block, fresh->row_block);
    std::swap(target->pixels, fresh->pixels);
    std::swap(target->rows, fresh->rows);
    image_free(fresh);
}

// Bands of the rows y0..y1 through band(first, last), on the pool's threads
// when the operation is large enough; the meter, opened by the applier for
// its own count of rows, follows.  False when the user cancelled.
template <class Band>
bool each_band(long y0, long y1, long width, Band band)
{
    const long rows = y1 - y0 + 1, total = std::max(1L, progress_state().total);
    auto meter = [rows, total](long done) { return progress_update(done * total / std::max(1L, rows)); };
    if (rows * width < (1L << 15)) {
        // Small: in order on this thread, a row at a time.
        for (long y = y0; y <= y1; ++y) {
            if (meter(y - y0))
                return false;
            band(y, y);
        }
        return true;
    }
    return parallel_rows(y0, y1, [&band](long first, long last) { band(first, last); }, meter);
}

// The displacement that shows what the old warp field showed at integer
// (sx, sy): 16·(s − p) plus the field there.
void warp_move(uint8_t* dst, const uint8_t* src, long x, long y, long sx, long sy, int m)
{
    long dx, dy, ox, oy;
    geom_detail::warp_decode(src, dx, dy);
    dx += 16 * (sx - x);
    dy += 16 * (sy - y);
    geom_detail::warp_decode(dst, ox, oy);
    geom_detail::warp_encode(dst, ox + (dx - ox) * m / 255, oy + (dy - oy) * m / 255);
}

// Bilinear sample of `b` at (sx, sy) clamped into the box, with the share of
// the pixel the box covers (0 when the position lies off it).
double sample_box(const Before& b, double sx, double sy, long bx0, long by0, long bx1, long by1, double out[4])
{
    auto cover = [](double s, long lo, long hi) {
        return std::clamp(std::min(s - (lo - 0.5), (hi + 0.5) - s) + 0.5, 0.0, 1.0);
    };
    const double cov = cover(sx, bx0, bx1) * cover(sy, by0, by1);
    if (cov <= 0)
        return 0;
    sx = std::clamp(sx, static_cast<double>(bx0), static_cast<double>(bx1));
    sy = std::clamp(sy, static_cast<double>(by0), static_cast<double>(by1));
    const double fx = std::floor(sx), fy = std::floor(sy);
    const double ax = sx - fx, ay = sy - fy;
    const long x0 = static_cast<long>(fx), y0 = static_cast<long>(fy);
    const long x1 = std::min(x0 + 1, bx1), y1 = std::min(y0 + 1, by1);
    const uint8_t *a = b.at(x0, y0), *c = b.at(x1, y0), *d = b.at(x0, y1), *e = b.at(x1, y1);
    for (int k = 0; k < 4; ++k) {
        const double top = a[k] + (c[k] - a[k]) * ax, bottom = d[k] + (e[k] - d[k]) * ax;
        out[k] = top + (bottom - top) * ay;
    }
    return cov;
}

void store_sample(uint8_t out[4], const double v[4], double cov)
{
    if (cov <= 0) {
        std::memset(out, 0, 4);
        return;
    }
    for (int k = 0; k < 3; ++k)
        out[k] = static_cast<uint8_t>(std::lround(std::clamp(v[k], 0.0, 255.0)));
    out[3] = static_cast<uint8_t>(std::lround(std::clamp(v[3] * cov, 0.0, 255.0)));
}

} // namespace

// ---- Flip ----------------------------------------------------------------------

int flip_prepare(Image*, int)
{
    if (!P().flip_horizontal && !P().flip_vertical)
        return op_refuse_no_change();
    return 0;
}

namespace {

template <class Move>
int flip_rows(Image* t, uint8_t* mask, Move move)
{
    const AreaRect r = area_of(t);
    const bool h = P().flip_horizontal != 0, v = P().flip_vertical != 0;
    Before b;
    if (!b.open(t))
        return 1;
    const bool done = each_band(r.y0, r.y1, r.x1 - r.x0 + 1, [&](long first, long last) {
        for (long y = first; y <= last; ++y) {
            const long sy = v ? r.y0 + r.y1 - y : y;
            const uint8_t* m = mask + t->rows[y];
            for (long x = r.x0; x <= r.x1; ++x) {
                if (!m[x])
                    continue;
                const long sx = h ? r.x0 + r.x1 - x : x;
                move(t->pixel(static_cast<int>(x), static_cast<int>(y)), b.at(sx, sy), x, y, sx, sy, m[x]);
            }
        }
    });
    return done ? 0 : 1;
}

} // namespace

int flip_worker(Image* t, uint8_t* mask)
{
    // The whole-image applier has one worker; a warp layer flips its field.
    if (is_warp_layer(t))
        return flip_warp(t, mask);
    const bool alpha_mode = op_state().alpha_mode;
    return flip_rows(t, mask, [alpha_mode](uint8_t* dst, const uint8_t* src, long, long, long, long, int m) {
        put(dst, src, m, alpha_mode);
    });
}

int flip_warp(Image* t, uint8_t* mask)
{
    return flip_rows(t, mask, [](uint8_t* dst, const uint8_t* src, long x, long y, long sx, long sy, int m) {
        warp_move(dst, src, x, y, sx, sy, m);
    });
}

// ---- Turn 90 -------------------------------------------------------------------

namespace {

template <class Move>
int turn_rows(Image* t, Move move)
{
    const long W = static_cast<long>(t->width), H = t->height;
    const bool clockwise = P().turn_direction == 0;
    Image* fresh = image_new_locked(H, W, "igeo");
    if (!fresh) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    // The new image is H wide and W high; each band is filled in tiles so
    // that the columns read from the old one stay in the cache.
    constexpr long kTile = 64;
    const bool done = each_band(0, W - 1, H, [&](long first, long last) {
        for (long ty = first; ty <= last; ty += kTile) {
            const long ty1 = std::min(last + 1, ty + kTile);
            for (long tx = 0; tx < H; tx += kTile) {
                const long tx1 = std::min(H, tx + kTile);
                for (long y = ty; y < ty1; ++y) {
                    uint8_t* row = fresh->row(static_cast<int>(y));
                    for (long x = tx; x < tx1; ++x) {
                        const long sx = clockwise ? y : W - 1 - y;
                        const long sy = clockwise ? H - 1 - x : x;
                        move(row + 4 * x, t->pixel(static_cast<int>(sx), static_cast<int>(sy)), x, y, sx, sy);
                    }
                }
            }
        }
    });
    if (!done) {
        image_free(fresh);
        return 1;
    }
    take_planes(t, fresh);
    return 0;
}

} // namespace

int turn90_worker(Image* t, uint8_t* mask)
{
    if (is_warp_layer(t))
        return turn90_warp(t, mask);
    // The picture turns whole: every channel, whatever the area.
    return turn_rows(t, [](uint8_t* dst, const uint8_t* src, long, long, long, long) { std::memcpy(dst, src, 4); });
}

int turn90_warp(Image* t, uint8_t*)
{
    return turn_rows(t, [](uint8_t* dst, const uint8_t* src, long x, long y, long sx, long sy) {
        std::memcpy(dst, src, 4);
        warp_move(dst, src, x, y, sx, sy, 255);
    });
}

int turn90_finish(Image* target, int)
{
    // The image changed its shape: every view shows it anew.
    ui::platform().redraw(target, nullptr);
    return 0;
}

// ---- Rotate --------------------------------------------------------------------

int rotate_prepare(Image* target, int)
{
    double a = std::fmod(static_cast<double>(P().rotate_angle), 360.0);
    if (a < 0)
        a += 360;
    if (!(a > 0 && a < 360))  // a whole number of turns (or no number)
        return op_refuse_no_change();
    geom_store_area(target);
    GeomState& g = geom_state();
    // Quarter turns exactly, so that they move pixels onto pixels.
    if (a == 90)
        g.rot_c = 0, g.rot_s = 1;
    else if (a == 180)
        g.rot_c = -1, g.rot_s = 0;
    else if (a == 270)
        g.rot_c = 0, g.rot_s = -1;
    else
        g.rot_c = std::cos(a * kPi / 180), g.rot_s = std::sin(a * kPi / 180);
    return 0;
}

int rotate_worker(Image* t, uint8_t* mask)
{
    const GeomState& g = geom_state();
    const double c = g.rot_c, s = g.rot_s;
    const bool alpha_mode = op_state().alpha_mode;
    Before b;
    if (!b.open(t))
        return 1;
    std::atomic<bool> uncovered{false};
    if (P().rotate_grow) {
        // The whole picture turns and the image takes the size that holds it.
        const long W = b.width(), H = b.height();
        const long nw = std::max(1L, static_cast<long>(std::ceil(std::fabs(W * c) + std::fabs(H * s) - 1e-6)));
        const long nh = std::max(1L, static_cast<long>(std::ceil(std::fabs(W * s) + std::fabs(H * c) - 1e-6)));
        Image* fresh = image_new_locked(nw, nh, "igeo");
        if (!fresh) {
            message_show(msg::NoMemoryOperation);
            return 1;
        }
        const double ox = (W - 1) / 2.0, oy = (H - 1) / 2.0, nx = (nw - 1) / 2.0, ny = (nh - 1) / 2.0;
        const bool done = each_band(0, nh - 1, nw, [&](long first, long last) {
            bool open = false;
            for (long y = first; y <= last; ++y)
                for (long x = 0; x < nw; ++x) {
                    const double px = x - nx, py = y - ny;
                    double v[4];
                    const double cov = sample_box(b, ox + c * px + s * py, oy - s * px + c * py, 0, 0, W - 1, H - 1, v);
                    open |= cov < 1;
                    store_sample(fresh->pixel(static_cast<int>(x), static_cast<int>(y)), v, cov);
                }
            if (open)
                uncovered.store(true, std::memory_order_relaxed);
        });
        if (!done) {
            image_free(fresh);
            return 1;
        }
        take_planes(t, fresh);
    } else {
        // The area's picture turns about the area's centre, within the area.
        const AreaRect r = area_of(t);
        const double ox = (r.x0 + r.x1) / 2.0, oy = (r.y0 + r.y1) / 2.0;
        const bool done = each_band(r.y0, r.y1, r.x1 - r.x0 + 1, [&](long first, long last) {
            bool open = false;
            for (long y = first; y <= last; ++y) {
                const uint8_t* m = mask + t->rows[y];
                for (long x = r.x0; x <= r.x1; ++x) {
                    if (!m[x])
                        continue;
                    const double px = x - ox, py = y - oy;
                    double v[4];
                    const double cov =
                        sample_box(b, ox + c * px + s * py, oy - s * px + c * py, r.x0, r.y0, r.x1, r.y1, v);
                    open |= cov < 1;
                    uint8_t n[4];
                    store_sample(n, v, cov);
                    put(t->pixel(static_cast<int>(x), static_cast<int>(y)), n, m[x], alpha_mode);
                }
            }
            if (open)
                uncovered.store(true, std::memory_order_relaxed);
        });
        if (!done)
            return 1;
    }
    if (uncovered.load() && !alpha_mode)
        t->alpha = 1;
    return 0;
}

int rotate_finish(Image* target, int)
{
    if (P().rotate_grow)
        ui::platform().redraw(target, nullptr);
    return 0;
}

// ---- Perspective ---------------------------------------------------------------

int perspective_prepare(Image* target, int)
{
    geom_store_area(target);
    GeomState& g = geom_state();
    const int32_t* k = P().persp;
    // The corners on the image: top left, top right, bottom right, bottom left.
    double X[4], Y[4];
    for (int i = 0; i < 4; ++i) {
        X[i] = g.x0 + k[2 * i] / 100.0 * (g.x1 - g.x0);
        Y[i] = g.y0 + k[2 * i + 1] / 100.0 * (g.y1 - g.y0);
    }
    // The projective map of the unit square onto them (Heckbert).
    double* m = g.persp;
    const double sx = X[0] - X[1] + X[2] - X[3], sy = Y[0] - Y[1] + Y[2] - Y[3];
    if (sx == 0 && sy == 0) {
        m[0] = X[1] - X[0], m[1] = X[2] - X[1], m[2] = X[0];
        m[3] = Y[1] - Y[0], m[4] = Y[2] - Y[1], m[5] = Y[0];
        m[6] = 0, m[7] = 0;
    } else {
        const double dx1 = X[1] - X[2], dx2 = X[3] - X[2], dy1 = Y[1] - Y[2], dy2 = Y[3] - Y[2];
        const double den = dx1 * dy2 - dx2 * dy1;
        if (std::fabs(den) < 1e-9)
            return op_refuse_no_change();
        m[6] = (sx * dy2 - dx2 * sy) / den;
        m[7] = (dx1 * sy - sx * dy1) / den;
        m[0] = X[1] - X[0] + m[6] * X[1], m[1] = X[3] - X[0] + m[7] * X[3], m[2] = X[0];
        m[3] = Y[1] - Y[0] + m[6] * Y[1], m[4] = Y[3] - Y[0] + m[7] * Y[3], m[5] = Y[0];
    }
    m[8] = 1;
    // Its inverse (the adjugate; the scale does not matter).
    double* n = g.persp_inv;
    n[0] = m[4] * m[8] - m[5] * m[7], n[1] = m[2] * m[7] - m[1] * m[8], n[2] = m[1] * m[5] - m[2] * m[4];
    n[3] = m[5] * m[6] - m[3] * m[8], n[4] = m[0] * m[8] - m[2] * m[6], n[5] = m[2] * m[3] - m[0] * m[5];
    n[6] = m[3] * m[7] - m[4] * m[6], n[7] = m[1] * m[6] - m[0] * m[7], n[8] = m[0] * m[4] - m[1] * m[3];
    const double det = m[0] * n[0] + m[1] * n[3] + m[2] * n[6];
    // Corners in a line (or three of them) cover no pixel.
    if (!std::isfinite(det) || std::fabs(det) < 1e-6)
        return op_refuse_no_change();
    return 0;
}

int perspective_worker(Image* t, uint8_t* mask)
{
    const GeomState& g = geom_state();
    const OpState& st = op_state();
    const double* m = g.persp;
    const double* n = g.persp_inv;
    // The picture put into the corners: the source image, or the image as
    // it was when it is its own source.
    Before b;
    const bool own = !st.source || st.source == t || !st.src_pixels;
    if (own && !b.open(t))
        return 1;
    const long sw = own ? b.width() : st.src_width, sh = own ? b.height() : st.src_height;
    auto src_at = [&](long x, long y) {
        return own ? b.at(x, y) : st.src_pixels + 4 * (static_cast<size_t>(st.src_rows[y]) + static_cast<size_t>(x));
    };
    const bool alpha_mode = st.alpha_mode;
    const AreaRect r = area_of(t);
    constexpr double eps = 1e-9;
    const bool done = each_band(r.y0, r.y1, r.x1 - r.x0 + 1, [&](long first, long last) {
        for (long y = first; y <= last; ++y) {
            const uint8_t* mk = mask + t->rows[y];
            for (long x = r.x0; x <= r.x1; ++x) {
                if (!mk[x])
                    continue;
                const double U = n[0] * x + n[1] * y + n[2], V = n[3] * x + n[4] * y + n[5], Wh = n[6] * x + n[7] * y + n[8];
                if (std::fabs(Wh) < 1e-300)
                    continue;
                const double u = U / Wh, v = V / Wh;
                if (!(u >= -eps && u <= 1 + eps && v >= -eps && v <= 1 + eps))
                    continue;
                // Only the side of the plane in front of the viewer.
                if (m[6] * u + m[7] * v + 1 <= 0)
                    continue;
                const double sx = std::clamp(u, 0.0, 1.0) * (sw - 1), sy = std::clamp(v, 0.0, 1.0) * (sh - 1);
                const long x0 = static_cast<long>(sx), y0 = static_cast<long>(sy);
                const long x1 = std::min(x0 + 1, sw - 1), y1 = std::min(y0 + 1, sh - 1);
                const double ax = sx - x0, ay = sy - y0;
                const uint8_t *a = src_at(x0, y0), *c = src_at(x1, y0), *d = src_at(x0, y1), *e = src_at(x1, y1);
                uint8_t out[4];
                for (int k = 0; k < 4; ++k) {
                    const double top = a[k] + (c[k] - a[k]) * ax, bottom = d[k] + (e[k] - d[k]) * ax;
                    out[k] = static_cast<uint8_t>(std::lround(std::clamp(top + (bottom - top) * ay, 0.0, 255.0)));
                }
                put(t->pixel(static_cast<int>(x), static_cast<int>(y)), out, mk[x], alpha_mode);
            }
        }
    });
    return done ? 0 : 1;
}
