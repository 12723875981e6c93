// Ruler, Grid and Bang: drawings over the area.  Ruler and Grid put their
// lines on exact pixel positions (no smoothing), so that they can be used to
// measure.
#include "core/image.h"
#include "ops/framework.h"
#include "ops/render/gen.h"
#include "ops/render/render.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Floor division and the remainder that goes with it (always 0..d−1).
inline int64_t floor_div(int64_t n, int64_t d)
{
    int64_t q = n / d;
    if ((n % d != 0) && ((n < 0) != (d < 0)))
        --q;
    return q;
}

struct Pen {
    Image* target;
    const uint8_t* mask;
    gen::Area area;
    bool alpha;
    // Fills the rectangle (inclusive, clipped to the area) with a colour.
    void rect(int x0, int y0, int x1, int y1, const int32_t rgb[3]) const
    {
        x0 = std::max(x0, area.x0), y0 = std::max(y0, area.y0);
        x1 = std::min(x1, area.x1), y1 = std::min(y1, area.y1);
        int c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = std::clamp(rgb[k], 0, 255);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (const int m = mask[target->rows[y] + static_cast<uint32_t>(x)])
                    gen::put(target->pixel(x, y), c, m, alpha);
    }
};

// Digits and the minus sign, 3 x 5, drawn twice the size.
constexpr uint8_t kGlyphs[11][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {0, 0, 7, 0, 0},
};
constexpr int kGlyphScale = 2;
constexpr int kGlyphWidth = 3 * kGlyphScale, kGlyphHeight = 5 * kGlyphScale, kGlyphStep = kGlyphWidth + 2;

void text(const Pen& pen, int x, int y, const std::string& s, const int32_t rgb[3])
{
    for (char ch : s) {
        const int g = ch == '-' ? 10 : ch - '0';
        if (g < 0 || g > 10)
            continue;
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
                if (kGlyphs[g][row] & (4 >> col))
                    pen.rect(x + col * kGlyphScale, y + row * kGlyphScale, x + col * kGlyphScale + kGlyphScale - 1,
                             y + row * kGlyphScale + kGlyphScale - 1, rgb);
        x += kGlyphStep;
    }
}

} // namespace

// ---- Ruler --------------------------------------------------------------------

int ruler_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    const Pen pen{target, mask, gen::area(), op_state().alpha_mode};
    const gen::Area& a = pen.area;
    const int ox = a.x0 + rp.ruler_origin[0], oy = a.y0 + rp.ruler_origin[1];
    const int spacing = std::max(1, rp.ruler_spacing);
    const int t = std::max(1, rp.ruler_thickness);
    const int dir = std::clamp(rp.ruler_direction, 0, 2);
    const int sign = rp.ruler_side ? -1 : 1;
    // A span of n pixels from `at` in the ruler's growing direction.
    auto span = [sign](int at, int n, int* lo, int* hi) {
        if (sign > 0)
            *lo = at, *hi = at + n - 1;
        else
            *lo = at - n + 1, *hi = at;
    };
    for (int pass = 0; pass < 2; ++pass) {
        const bool across = pass == 0;
        if ((across && dir == 1) || (!across && dir == 0))
            continue;
        if (gen::progress(pass, 2))
            return 1;
        // The band, then the edge line, then the ticks and their numbers.
        int lo, hi;
        if (rp.ruler_band && rp.ruler_band_size > 0) {
            span(across ? oy : ox, rp.ruler_band_size, &lo, &hi);
            if (across)
                pen.rect(a.x0, lo, a.x1, hi, rp.ruler_band_rgb);
            else
                pen.rect(lo, a.y0, hi, a.y1, rp.ruler_band_rgb);
        }
        span(across ? oy : ox, t, &lo, &hi);
        if (across)
            pen.rect(a.x0, lo, a.x1, hi, rp.ruler_rgb);
        else
            pen.rect(lo, a.y0, hi, a.y1, rp.ruler_rgb);
        const int first = across ? a.x0 : a.y0, last = across ? a.x1 : a.y1, origin = across ? ox : oy;
        for (int64_t k = floor_div(first - origin, spacing); origin + k * spacing <= last; ++k) {
            const int at = static_cast<int>(origin + k * spacing);
            const bool major = rp.ruler_major > 0 && k % rp.ruler_major == 0;
            const bool mid = !major && rp.ruler_mid > 0 && k % rp.ruler_mid == 0;
            const int len = std::max(0, rp.ruler_len[major ? 2 : mid ? 1 : 0]);
            if (len > 0) {
                span(across ? oy : ox, len, &lo, &hi);
                if (across)
                    pen.rect(at, lo, at + t - 1, hi, rp.ruler_rgb);
                else
                    pen.rect(lo, at, hi, at + t - 1, rp.ruler_rgb);
            }
            if (major && rp.ruler_numbers) {
                const std::string label = std::to_string(k * static_cast<int64_t>(rp.ruler_unit));
                const int gap = std::max(0, rp.ruler_len[0]) + 2;
                if (across)
                    text(pen, at + t + 2, sign > 0 ? oy + gap : oy - gap - kGlyphHeight + 1, label, rp.ruler_rgb);
                else
                    text(pen, sign > 0 ? ox + gap : ox - gap - kGlyphStep * static_cast<int>(label.size()) + 1,
                         at + t + 2, label, rp.ruler_rgb);
            }
        }
    }
    return 0;
}

// ---- Grid ----------------------------------------------------------------------

int grid_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const int xs = std::max(1, rp.grid_space[0]), ys = std::max(1, rp.grid_space[1]);
    const int gx = a.x0 + rp.grid_offset[0], gy = a.y0 + rp.grid_offset[1];
    const int width = std::max(1, rp.grid_width), major_width = std::max(1, rp.grid_major_width);
    const int major = std::max(0, rp.grid_major);
    const int dash = std::max(1, rp.grid_dash);
    const int style = std::clamp(rp.grid_style, 0, 2);
    const double opacity = std::clamp(rp.grid_opacity, 0, 100) / 100.0;
    const double major_opacity = std::clamp(rp.grid_major_opacity, 0, 100) / 100.0;
    const double checker = std::clamp(rp.grid_checker, 0, 100) / 100.0;
    const int border = rp.grid_border ? width : 0;
    // Line k of a direction: its width, and whether it is a major one.
    auto on_line = [&](int pos, int origin, int space, bool* is_major) {
        const int64_t k = floor_div(pos - origin, space);
        const int64_t within = pos - origin - k * space;
        *is_major = major > 0 && k % major == 0;
        return within < (*is_major ? major_width : width);
    };
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        bool hmajor = false;
        const bool hline = rp.grid_horizontal && on_line(y, gy, ys, &hmajor);
        const int64_t ky = floor_div(y - gy, ys);
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[target->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            bool vmajor = false;
            const bool vline = rp.grid_vertical && on_line(x, gx, xs, &vmajor);
            bool draw_h = hline, draw_v = vline;
            if (style == 1) {
                // Dashes counted from the area's edge along each line.
                draw_h = draw_h && ((x - a.x0) / dash) % 2 == 0;
                draw_v = draw_v && ((y - a.y0) / dash) % 2 == 0;
            } else if (style == 2) {
                draw_h = draw_v = hline && vline;
            }
            const bool on_border = border > 0 && (x - a.x0 < border || a.x1 - x < border || y - a.y0 < border ||
                                                  a.y1 - y < border);
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            bool changed = false;
            if (checker > 0 && ((floor_div(x - gx, xs) + ky) & 1)) {
                for (int k = 0; k < 3; ++k)
                    c[k] = gen::clamp255(c[k] + (std::clamp(rp.grid_checker_rgb[k], 0, 255) - c[k]) * checker);
                changed = true;
            }
            const bool is_major = (draw_h && hmajor) || (draw_v && vmajor);
            if (draw_h || draw_v || on_border) {
                const int32_t* rgb = is_major ? rp.grid_major_rgb : rp.grid_rgb;
                const double o = is_major ? major_opacity : opacity;
                for (int k = 0; k < 3; ++k)
                    c[k] = gen::clamp255(c[k] + (std::clamp(rgb[k], 0, 255) - c[k]) * o);
                changed = true;
            }
            if (changed)
                gen::put(p, c, m, alpha);
        }
    }
    return 0;
}

// ---- Bang ------------------------------------------------------------------------

namespace {

struct Star {
    double cx, cy;
    std::vector<double> angle;  // of each corner, increasing, in the area's unit circle
    std::vector<double> px, py; // the corners in pixels
};

double segment_distance(double ax, double ay, double bx, double by, double x, double y)
{
    const double dx = bx - ax, dy = by - ay, l2 = dx * dx + dy * dy;
    const double t = l2 > 0 ? gen::clamp01(((x - ax) * dx + (y - ay) * dy) / l2) : 0;
    return std::hypot(x - ax - t * dx, y - ay - t * dy);
}

} // namespace

int bang_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const int spikes = std::clamp(rp.bang_spikes, 2, 256);
    const double inner = std::max(0, rp.bang_inner) / 100.0, outer = std::max(0, rp.bang_outer) / 100.0;
    const double random = std::clamp(rp.bang_random, 0, 100) / 100.0;
    const uint64_t seed = static_cast<uint32_t>(rp.bang_seed);
    const double line = std::max(0, rp.bang_line);
    const double opacity = std::clamp(rp.bang_opacity, 0, 100) / 100.0;
    const double glow = std::max(0, rp.bang_glow);

    Star s;
    s.cx = a.cx, s.cy = a.cy;
    const int corners = 2 * spikes;
    const double step = 2 * kPi / corners;
    for (int i = 0; i < corners; ++i) {
        const bool tip = i % 2 == 0;
        const double ang = rp.bang_turn * kPi / 180 + i * step + random * 0.4 * step * (2 * gen::hash01(seed, i, 1) - 1);
        const double r = (tip ? outer * (1 - 0.6 * random * gen::hash01(seed, i, 2))
                              : inner * (1 - 0.4 * random * gen::hash01(seed, i, 3)));
        s.angle.push_back(ang);
        s.px.push_back(a.cx + r * a.hw * std::cos(ang));
        s.py.push_back(a.cy + r * a.hh * std::sin(ang));
    }
    const double base = s.angle[0];
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[target->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            const double dx = x - s.cx, dy = y - s.cy;
            // The sector between two corners that the pixel's direction falls in.
            double ang = std::atan2(dy / a.hh, dx / a.hw) - base;
            ang = std::fmod(ang, 2 * kPi);
            if (ang < 0)
                ang += 2 * kPi;
            int i = static_cast<int>(ang / step);
            i = std::clamp(i, 0, corners - 1);
            while (i > 0 && s.angle[static_cast<size_t>(i)] - base > ang)
                --i;
            while (i < corners - 1 && s.angle[static_cast<size_t>(i + 1)] - base <= ang)
                ++i;
            const int j = (i + 1) % corners;
            const double ax = s.px[static_cast<size_t>(i)], ay = s.py[static_cast<size_t>(i)];
            const double bx = s.px[static_cast<size_t>(j)], by = s.py[static_cast<size_t>(j)];
            // Inside when on the centre's side of the sector's edge.
            const double ex = bx - ax, ey = by - ay;
            const double side = ex * (y - ay) - ey * (x - ax), centre_side = ex * (s.cy - ay) - ey * (s.cx - ax);
            const bool inside = (side > 0) == (centre_side > 0) || centre_side == 0;
            double d = segment_distance(ax, ay, bx, by, x, y);
            for (int k : {i - 1, j}) {
                const int k0 = (k + corners) % corners, k1 = (k0 + 1) % corners;
                d = std::min(d, segment_distance(s.px[static_cast<size_t>(k0)], s.py[static_cast<size_t>(k0)],
                                                 s.px[static_cast<size_t>(k1)], s.py[static_cast<size_t>(k1)], x, y));
            }
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            double fill[3] = {static_cast<double>(c[0]), static_cast<double>(c[1]), static_cast<double>(c[2])};
            if (inside) {
                // From the inner colour at the centre to the outer at the edge.
                const double r = std::hypot(dx, dy), t = r / std::max(1e-9, r + d);
                const double cover = gen::clamp01(d + 0.5);
                for (int k = 0; k < 3; ++k) {
                    const double col = rp.bang_in_rgb[k] + (rp.bang_out_rgb[k] - rp.bang_in_rgb[k]) * t;
                    fill[k] += (std::clamp(col, 0.0, 255.0) - fill[k]) * cover * opacity;
                }
            } else if (glow > 0 && d < 3 * glow) {
                const double g = std::exp(-d / glow) * 0.8 * opacity;
                for (int k = 0; k < 3; ++k)
                    fill[k] = gen::screen(gen::clamp255(fill[k]), g * std::clamp(rp.bang_out_rgb[k], 0, 255));
            }
            if (line > 0) {
                const double cover = gen::clamp01(line / 2 + 0.5 - d) * opacity;
                for (int k = 0; k < 3; ++k)
                    fill[k] += (std::clamp(rp.bang_line_rgb[k], 0, 255) - fill[k]) * cover;
            }
            gen::put(p, gen::clamp255(fill[0]), gen::clamp255(fill[1]), gen::clamp255(fill[2]), m, alpha);
        }
    }
    return 0;
}
