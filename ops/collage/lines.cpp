// The line commands: the pen colour, the source or the brush along the
// area's outline.
#include "areas/area.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/collage/canvas.h"
#include "ops/collage/collage.h"
#include "ops/framework.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Pt {
    double x, y;
};

// The brush stamped with its centre at (cx, cy): its colours over the
// image by the brush's alpha.
void stamp(Image* t, const resample::Block& b, long cx, long cy, bool alpha)
{
    const long x0 = cx - b.width / 2, y0 = cy - b.height / 2;
    for (long by = std::max(0L, -y0); by < b.height && y0 + by < t->height; ++by) {
        const uint8_t* row = b.pixels + 4 * static_cast<size_t>(by) * static_cast<size_t>(b.stride);
        for (long bx = std::max(0L, -x0); bx < b.width && x0 + bx < static_cast<long>(t->width); ++bx)
            canvas::put_over(t->pixel(static_cast<int>(x0 + bx), static_cast<int>(y0 + by)), row + 4 * bx, 255, alpha);
    }
}

// Stamps spaced a quarter of the brush's smaller side apart (at least a
// pixel), so that a stroke is even whatever the brush's size.
long stamp_spacing(const resample::Block& b)
{
    return std::max(1L, std::min(b.width, b.height) / 4);
}

// The pen colour: the colour of Color Fill's preference.
void pen_colour(uint8_t out[4])
{
    const Settings& s = settings();
    for (int k = 0; k < 3; ++k)
        out[k] = canvas::clamp8(static_cast<int>(s.color_fill[k]));
    out[3] = 255;
}

enum class Ink { Pen, Source, Brush, WidePen };

// Draws the segment a..b a pixel at a time with the ink.
void segment(Image* t, Pt a, Pt b, Ink ink, const resample::Block& img, long& travelled, bool alpha)
{
    const double len = std::hypot(b.x - a.x, b.y - a.y);
    const long steps = std::max(1L, static_cast<long>(std::ceil(len)));
    const long spacing = ink == Ink::Brush ? stamp_spacing(img) : 1;
    uint8_t pen[4];
    pen_colour(pen);
    for (long i = 0; i < steps; ++i, ++travelled) {
        const double u = static_cast<double>(i) / steps;
        const long x = static_cast<long>(std::floor(a.x + (b.x - a.x) * u));
        const long y = static_cast<long>(std::floor(a.y + (b.y - a.y) * u));
        if (ink == Ink::Brush) {
            if (travelled % spacing == 0)
                stamp(t, img, x, y, alpha);
            continue;
        }
        const int r = ink == Ink::WidePen ? 1 : 0;
        for (long yy = y - r; yy <= y + r; ++yy)
            for (long xx = x - r; xx <= x + r; ++xx) {
                if (xx < 0 || yy < 0 || xx >= static_cast<long>(t->width) || yy >= t->height)
                    continue;
                const uint8_t* colour = pen;
                if (ink == Ink::Source) {
                    const long sx = std::min(xx, img.width - 1), sy = std::min(yy, img.height - 1);
                    colour = img.pixels + 4 * (static_cast<size_t>(sy) * static_cast<size_t>(img.stride) + static_cast<size_t>(sx));
                }
                canvas::put(t->pixel(static_cast<int>(xx), static_cast<int>(yy)), colour, 255, alpha);
            }
    }
}

// The outline of the area as a path of pixel centres: the points of a
// drawn outline, an ellipse's rim, else the area rectangle's corners.
std::vector<Pt> area_path(Image* t)
{
    std::vector<Pt> path;
    const AreaState& st = area_state();
    const AreaSettings& s = st.current;
    const gen::Area a = gen::area();
    double sx = 1, sy = 1;
    if (s.src_width > 0 && s.src_height > 0) {
        sx = static_cast<double>(t->width) / s.src_width;
        sy = static_cast<double>(t->height) / s.src_height;
    }
    if (st.present) {
        const std::vector<AreaPoint>* pts = nullptr;
        if ((s.mode == AreaMode::FREEHAND || s.mode == AreaMode::POLYGON || s.mode == AreaMode::ISHAPE) &&
            s.points.size() > 1)
            pts = &s.points;
        else if ((s.mode == AreaMode::POLYARC || s.mode == AreaMode::SPLINE || s.mode == AreaMode::BEZIER) &&
                 s.control.size() > 1)
            pts = &s.control;
        if (pts) {
            for (const AreaPoint& p : *pts)
                path.push_back({(p.x + 0.5) * sx, (p.y + 0.5) * sy});
            return path;
        }
        if (s.mode == AreaMode::ELLIPSE) {
            const int n = std::max(16, static_cast<int>(std::hypot(a.hw, a.hh)));
            for (int i = 0; i < n; ++i) {
                const double th = 2 * M_PI * i / n;
                path.push_back({a.cx + 0.5 + (a.hw - 0.5) * std::cos(th), a.cy + 0.5 + (a.hh - 0.5) * std::sin(th)});
            }
            return path;
        }
    }
    path.push_back({a.x0 + 0.5, a.y0 + 0.5});
    path.push_back({a.x1 + 0.5, a.y0 + 0.5});
    path.push_back({a.x1 + 0.5, a.y1 + 0.5});
    path.push_back({a.x0 + 0.5, a.y1 + 0.5});
    return path;
}

int draw_path(Image* t, bool closed, bool pen_command)
{
    // With the line tool's switch on, the commands use the source and brush.
    const int32_t command = op_state().current;
    const bool images = op_uses_brush(command) || op_uses_source(command);
    Ink ink = pen_command ? Ink::WidePen : Ink::Pen;
    resample::Block img{nullptr, 0, 0, 0};
    if (images) {
        if (pen_command || !closed) {
            img = canvas::brush();
            ink = Ink::Brush;
        } else {
            img = canvas::source();
            ink = Ink::Source;
        }
        if (!img.pixels)
            ink = pen_command ? Ink::WidePen : Ink::Pen;
    }
    std::vector<Pt> path = area_path(t);
    const size_t n = path.size();
    if (n < 2)
        return 0;
    long travelled = 0;
    const bool alpha = canvas::alpha_mode();
    const size_t segments = closed ? n : n - 1;
    for (size_t i = 0; i < segments; ++i) {
        if (canvas::cancelled(static_cast<long>(i), static_cast<long>(segments)))
            return 1;
        segment(t, path[i], path[(i + 1) % n], ink, img, travelled, alpha);
    }
    // The last point itself (an open line ends on it).
    if (!closed)
        segment(t, path[n - 1], path[n - 1], ink, img, travelled, alpha);
    return 0;
}

} // namespace

int closed_line_worker(Image* t, uint8_t*)
{
    return draw_path(t, true, false);
}

int closed_line_pen_worker(Image* t, uint8_t*)
{
    return draw_path(t, true, true);
}

int open_line_worker(Image* t, uint8_t*)
{
    return draw_path(t, false, false);
}
