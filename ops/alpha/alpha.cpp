// The Alpha Group's workers.
#include "ops/alpha/alpha.h"

#include "areas/area.h"
#include "core/image.h"
#include "core/messages.h"
#include "ops/collage/canvas.h"
#include "ops/framework.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <new>

AlphaParams g_alpha_params;

namespace {

AlphaParams& P()
{
    return g_alpha_params;
}

// The new alpha plane Soften and Shave Alpha prepare (the pixel workers
// read their own pixel's value from it).
std::vector<uint8_t> g_plane;
long g_plane_width = 0;

uint8_t mix8(int n, int o, int w)
{
    return static_cast<uint8_t>(gen::mix_int(n, o, std::min(w, 255)));
}

// Levels low..high stretched to 0..255.
int levels(int v, int low, int high)
{
    if (high <= low)
        return v >= high ? 255 : 0;
    return std::clamp((v - low) * 255 / (high - low), 0, 255);
}

double key_distance(const uint8_t* p, const int32_t key[3], bool hue)
{
    if (hue) {
        const double kh = std::atan2(std::sqrt(3.0) * (key[1] - key[2]), 2.0 * key[0] - key[1] - key[2]);
        const double chroma = std::hypot(2.0 * p[0] - p[1] - p[2], std::sqrt(3.0) * (p[1] - p[2])) / 2;
        if (chroma < 8)
            return 1e9;
        double d = std::fabs(std::atan2(std::sqrt(3.0) * (p[1] - p[2]), 2.0 * p[0] - p[1] - p[2]) - kh) * 180 / M_PI;
        return d > 180 ? 360 - d : d;
    }
    const double dr = p[0] - key[0], dg = p[1] - key[1], db = p[2] - key[2];
    return std::sqrt(dr * dr + dg * dg + db * db);
}

} // namespace

void alpha_release()
{
    std::vector<uint8_t>().swap(g_plane);
    g_plane_width = 0;
}

// Operations that give alpha content mark the image as having it.
int alpha_mark_prepare(Image* t, int)
{
    t->alpha = 1;
    return 0;
}

namespace {

// An image without alpha is opaque throughout: the operations that reshape
// the alpha it has would only invent some, so they say there is no change.
// Its pixels are read, as the flag may lag behind what alpha mode wrote.
bool without_alpha(Image* t)
{
    if (t->alpha)
        return false;
    ImageLock lock(t, msg::NoRealMemoryOperation);
    if (!lock)
        return false;
    const size_t n = static_cast<size_t>(t->width) * static_cast<size_t>(t->height);
    for (size_t i = 0; i < n; ++i)
        if (t->pixels[4 * i + 3] != 255)
            return false;
    return true;
}

} // namespace

int reshape_alpha_prepare(Image* t, int)
{
    if (without_alpha(t))
        return op_refuse_no_change();
    t->alpha = 1;
    return 0;
}

// ---- Make Alpha ------------------------------------------------------------------

int make_alpha_worker(Image* t, uint8_t* mask)
{
    const AlphaParams& p = P();
    const gen::Area a = gen::area();
    canvas::Pixels src;
    if (!canvas::stretched(canvas::source(), t->width, t->height, src))
        return 1;
    const int ch = std::clamp(p.make_channel, 0, 4);
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            const uint8_t* s = src.at(x, y);
            int v = ch == 0 ? canvas::luma(s) : s[ch - 1];  // 4: the source's alpha
            v = levels(v, p.make_low, p.make_high);
            if (p.make_invert)
                v = 255 - v;
            uint8_t* px = t->pixel(x, y);
            px[3] = mix8(v, px[3], m);
        }
    t->alpha = 1;
    return 0;
}

// ---- Key to Alpha -------------------------------------------------------------------

void key_to_alpha_worker(uint8_t* px, int weight)
{
    const AlphaParams& p = P();
    const double d = key_distance(px, p.key_rgb, p.key_hue != 0);
    const double tol = std::max(0, p.key_tol), soft = std::max(0, p.key_soft);
    // 0 on the key, rising to 1 across the softness beyond the tolerance.
    double k = d <= tol ? 0 : soft > 0 ? gen::clamp01((d - tol) / soft) : 1;
    if (p.key_invert)
        k = 1 - k;
    int v = static_cast<int>(k * 255 + 0.5);
    if (p.key_keep)
        v = v * px[3] / 255;
    px[3] = mix8(v, px[3], weight);
}

// ---- Invert, Harden -----------------------------------------------------------------

void invert_alpha_worker(uint8_t* px, int weight)
{
    px[3] = mix8(255 - px[3], px[3], weight);
}

void harden_alpha_worker(uint8_t* px, int weight)
{
    const AlphaParams& p = P();
    const int t = std::clamp(p.hard_threshold, 0, 255), s = std::clamp(p.hard_soft, 0, 255);
    int v;
    if (s == 0)
        v = px[3] >= t ? 255 : 0;
    else
        v = static_cast<int>(255 * gen::smoothstep(t - s / 2.0, t + s / 2.0, px[3]) + 0.5);
    px[3] = mix8(v, px[3], weight);
}

// ---- Soften and Shave: a plane made before the pixels change -----------------------

namespace {

// A separable pass of box sums (soften) or minimums (shave) of radius r over
// the alpha plane, in place.
void box_pass(std::vector<uint8_t>& a, long w, long h, long r, bool horizontal, bool minimum)
{
    const long n = horizontal ? w : h, lines = horizontal ? h : w;
    const long step = horizontal ? 1 : w, across = horizontal ? w : 1;
    std::vector<uint8_t> line(static_cast<size_t>(n));
    for (long l = 0; l < lines; ++l) {
        uint8_t* base = &a[static_cast<size_t>(l * across)];
        for (long i = 0; i < n; ++i)
            line[static_cast<size_t>(i)] = base[i * step];
        if (minimum) {
            // Van Herk would be faster; a deque of candidates is simple and linear.
            std::deque<long> q;
            long next = 0;
            for (long i = 0; i < n; ++i) {
                for (; next <= std::min(n - 1, i + r); ++next) {
                    while (!q.empty() && line[static_cast<size_t>(q.back())] >= line[static_cast<size_t>(next)])
                        q.pop_back();
                    q.push_back(next);
                }
                while (q.front() < i - r)
                    q.pop_front();
                base[i * step] = line[static_cast<size_t>(q.front())];
            }
        } else {
            long sum = 0;
            // The edges repeated, so a plane of one value stays so.
            auto at = [&](long i) { return static_cast<long>(line[static_cast<size_t>(std::clamp(i, 0L, n - 1))]); };
            for (long i = -r; i <= r; ++i)
                sum += at(i);
            for (long i = 0; i < n; ++i) {
                base[i * step] = static_cast<uint8_t>((sum + r) / (2 * r + 1));
                sum += at(i + r + 1) - at(i - r);
            }
        }
    }
}

int plane_prepare(Image* t, long radius, bool minimum)
{
    if (radius <= 0)
        return op_refuse_no_change();
    ImageLock lock(t, msg::NoRealMemoryOperation);
    if (!lock)
        return 1;
    const long w = t->width, h = t->height;
    try {
        g_plane.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    } catch (const std::bad_alloc&) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    g_plane_width = w;
    for (long y = 0; y < h; ++y) {
        const uint8_t* row = t->row(static_cast<int>(y));
        for (long x = 0; x < w; ++x)
            g_plane[static_cast<size_t>(y * w + x)] = row[4 * x + 3];
    }
    // Three box passes come close to a Gaussian; one minimum pass is exact.
    const int passes = minimum ? 1 : 3;
    const long r = minimum ? radius : std::max(1L, radius / 2);
    for (int i = 0; i < passes; ++i) {
        box_pass(g_plane, w, h, r, true, minimum);
        box_pass(g_plane, w, h, r, false, minimum);
    }
    return 0;
}

} // namespace

namespace {

// Soften and Shave work on an alpha channel that carries content: the new
// plane is made first, and the image shows its alpha from then on.
int alpha_plane_prepare(Image* t, int amount, bool shave)
{
    if (without_alpha(t))
        return op_refuse_no_change();
    const int r = plane_prepare(t, amount, shave);
    if (r == 0)
        t->alpha = 1;
    return r;
}

} // namespace

int soften_alpha_prepare(Image* t, int)
{
    return alpha_plane_prepare(t, P().soft_radius, false);
}

int shave_alpha_prepare(Image* t, int)
{
    return alpha_plane_prepare(t, P().shave_amount, true);
}

void plane_worker(uint8_t* px, int x, int y, int weight)
{
    px[3] = mix8(g_plane[static_cast<size_t>(y) * static_cast<size_t>(g_plane_width) + static_cast<size_t>(x)], px[3], weight);
}

// ---- Promote RGB ---------------------------------------------------------------------

int promote_rgb_worker(Image* t, uint8_t* mask)
{
    const AlphaParams& p = P();
    const gen::Area a = gen::area();
    const long w = t->width, h = t->height;
    if (p.promote_mode == 1) {
        // Every clear pixel takes the colour of its nearest (city-block) pixel
        // with alpha: a breadth-first spread from all of them at once.
        std::vector<int32_t> from(static_cast<size_t>(w * h), -1);
        std::vector<int32_t> queue;
        queue.reserve(static_cast<size_t>(w * h));
        for (long i = 0; i < w * h; ++i)
            if (t->pixels[4 * i + 3] > 0) {
                from[static_cast<size_t>(i)] = static_cast<int32_t>(i);
                queue.push_back(static_cast<int32_t>(i));
            }
        if (queue.empty())
            return 0;  // nothing to spread: the colours stay
        for (size_t q = 0; q < queue.size(); ++q) {
            const long i = queue[q], x = i % w, y = i / w;
            const long next[4] = {x > 0 ? i - 1 : -1, x + 1 < w ? i + 1 : -1, y > 0 ? i - w : -1, y + 1 < h ? i + w : -1};
            for (long n : next)
                if (n >= 0 && from[static_cast<size_t>(n)] < 0) {
                    from[static_cast<size_t>(n)] = from[static_cast<size_t>(i)];
                    queue.push_back(static_cast<int32_t>(n));
                }
        }
        for (int y = a.y0; y <= a.y1; ++y)
            for (int x = a.x0; x <= a.x1; ++x) {
                const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
                uint8_t* px = t->pixel(x, y);
                if (!m || px[3] > 0)
                    continue;
                const uint8_t* s = t->pixels + 4 * static_cast<size_t>(from[static_cast<size_t>(y * w + x)]);
                uint8_t n[4] = {s[0], s[1], s[2], static_cast<uint8_t>(p.promote_opaque ? 255 : px[3])};
                canvas::put_rgba(px, n, m, false);
            }
        return 0;
    }
    // Flatten: the colour over the background colour by its alpha.
    const int bg[3] = {std::clamp(p.promote_rgb[0], 0, 255), std::clamp(p.promote_rgb[1], 0, 255),
                       std::clamp(p.promote_rgb[2], 0, 255)};
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            uint8_t* px = t->pixel(x, y);
            const int al = px[3];
            uint8_t n[4];
            for (int k = 0; k < 3; ++k)
                n[k] = static_cast<uint8_t>((px[k] * al + bg[k] * (255 - al) + 127) / 255);
            n[3] = static_cast<uint8_t>(p.promote_opaque ? 255 : al);
            canvas::put_rgba(px, n, m, false);
        }
    return 0;
}

// ---- Sample A, Clip Alpha ------------------------------------------------------------

int sample_a_worker(Image* t, uint8_t* mask)
{
    const int mode = std::clamp(P().sample_mode, 0, 2);
    const gen::Area a = gen::area();
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            uint8_t* px = t->pixel(x, y);
            const int al = px[3];
            uint8_t n[4] = {px[0], px[1], px[2], px[3]};
            if (mode == 0) {
                n[0] = n[1] = n[2] = static_cast<uint8_t>(al);
            } else {
                // Mode 2: the colour over an 8-pixel checkerboard, as viewers show transparency.
                const int under = mode == 2 ? (((x >> 3) ^ (y >> 3)) & 1 ? 204 : 153) : 0;
                for (int k = 0; k < 3; ++k)
                    n[k] = static_cast<uint8_t>((px[k] * al + under * (255 - al) + 127) / 255);
            }
            // Alpha mode would fold the picture back into alpha: the colour is what this shows.
            canvas::put(px, n, m, false);
        }
    return 0;
}

int clip_alpha_worker(Image* t, uint8_t* mask)
{
    const AlphaParams& p = P();
    const int low = std::clamp(p.clip_low, 0, 255), high = std::clamp(p.clip_high, 0, 255);
    const gen::Area a = gen::area();
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            uint8_t* px = t->pixel(x, y);
            int v = px[3];
            if (v < low)
                v = 0;
            else if (v > high)
                v = 255;
            else if (p.clip_stretch)
                v = levels(v, low, high);
            px[3] = mix8(v, px[3], m);
        }
    t->alpha = 1;
    return 0;
}

// ---- Make Area -------------------------------------------------------------------------

bool alpha_outline(const uint8_t* pixels, long w, long h, int threshold, long scale, long max_points,
                   std::vector<int32_t>& xy, std::vector<int16_t>& marks)
{
    auto in = [&](long x, long y) {
        return x >= 0 && y >= 0 && x < w && y < h && pixels[4 * (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) + 3] >= threshold;
    };
    // Edge (x, y) of kind H runs along the top of pixel row y from x to x + 1;
    // of kind V down the left of column x from y to y + 1.  Each boundary
    // edge turns clockwise round the inside.
    std::vector<uint8_t> used_h(static_cast<size_t>(w) * static_cast<size_t>(h + 1), 0);
    std::vector<uint8_t> used_v(static_cast<size_t>(w + 1) * static_cast<size_t>(h), 0);
    auto hid = [w](long x, long y) { return static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x); };
    auto vid = [w](long x, long y) { return static_cast<size_t>(y) * static_cast<size_t>(w + 1) + static_cast<size_t>(x); };
    // The unused edge leaving vertex (vx, vy): direction 0 right, 1 down, 2 left, 3 up; -1 none.
    // At a vertex two corners touch, turning right first keeps the contours apart.
    auto leave = [&](long vx, long vy, int came) {
        int order[4];
        for (int k = 0; k < 4; ++k)
            order[k] = (came + 1 + 3 * k) & 3;  // right turn, straight, left turn, back
        for (int d : order) {
            switch (d) {
            case 0:
                if (vx < w && in(vx, vy) && !in(vx, vy - 1) && !used_h[hid(vx, vy)])
                    return 0;
                break;
            case 1:
                if (vy < h && in(vx - 1, vy) && !in(vx, vy) && !used_v[vid(vx, vy)])
                    return 1;
                break;
            case 2:
                if (vx > 0 && in(vx - 1, vy - 1) && !in(vx - 1, vy) && !used_h[hid(vx - 1, vy)])
                    return 2;
                break;
            default:
                if (vy > 0 && in(vx, vy - 1) && !in(vx - 1, vy - 1) && !used_v[vid(vx, vy - 1)])
                    return 3;
                break;
            }
        }
        return -1;
    };
    xy.clear();
    marks.clear();
    for (long sy = 0; sy <= h; ++sy)
        for (long sx = 0; sx < w; ++sx) {
            // Contours start on an unused top edge (every contour has one).
            if (!(in(sx, sy) && !in(sx, sy - 1)) || used_h[hid(sx, sy)])
                continue;
            long vx = sx, vy = sy;
            int dir = 0, last = -1;
            bool first = true;
            while (dir >= 0) {
                if (dir != last) {
                    // A corner: one point.
                    if (static_cast<long>(marks.size()) >= max_points)
                        return false;
                    xy.push_back(static_cast<int32_t>(vx * scale));
                    xy.push_back(static_cast<int32_t>(vy * scale));
                    marks.push_back(first ? 0 : 255);
                    first = false;
                }
                switch (dir) {
                case 0: used_h[hid(vx, vy)] = 1, ++vx; break;
                case 1: used_v[vid(vx, vy)] = 1, ++vy; break;
                case 2: used_h[hid(vx - 1, vy)] = 1, --vx; break;
                default: used_v[vid(vx, vy - 1)] = 1, --vy; break;
                }
                last = dir;
                dir = leave(vx, vy, last);
            }
        }
    return true;
}

int make_area_worker(Image* t, uint8_t*)
{
    // The outline runs along pixel edges; area points stand for pixel
    // centres, so the points lie on a grid 1024 times finer, where a centre
    // is within 1/2048 of a pixel's corner: the selection's mask is then
    // exactly 255 on the pixels and 0 off them.
    constexpr long kScale = 1024;
    const long w = t->width, h = t->height;
    std::vector<int32_t> xy;
    std::vector<int16_t> marks;
    if (!alpha_outline(t->pixels, w, h, std::clamp(P().area_threshold, 1, 255), kScale, kAreaMaxPoints, xy, marks)) {
        error_box("Make Area: the alpha channel's outline has too many corners for an area.");
        return 1;
    }
    if (marks.empty()) {
        error_box("Make Area: no pixel's alpha reaches the threshold.");
        return 1;
    }
    area_settings_reset();
    AreaSettings& s = area_settings();
    s.mode = AreaMode::FREEHAND;
    s.src_width = w * kScale;
    s.src_height = h * kScale;
    s.points.resize(marks.size());
    for (size_t i = 0; i < marks.size(); ++i)
        s.points[i] = {xy[2 * i], xy[2 * i + 1], marks[i]};
    return area_select() == 0 ? 0 : 1;
}
