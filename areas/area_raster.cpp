#include "areas/area_raster.h"

#include <algorithm>
#include <cmath>

namespace {

// Sub-scanlines per pixel row; across a row the coverage is exact.
constexpr int kSub = 16;
// Full coverage in the accumulator: 255 << 8, split evenly over the sub-scanlines.
constexpr int32_t kFull = 255 << 8;
constexpr int32_t kSubWeight = kFull / kSub;
// Flattened curves are kept to this many points in all.
constexpr size_t kCurveBudget = 4000000;
constexpr double kPi = 3.14159265358979323846;

struct Edge {
    double x0, y0, y1, dxdy;
    int dir;
};

struct Crossing {
    double x;
    int dir;
    bool operator<(const Crossing& o) const { return x < o.x; }
};

bool finite(const PointF& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The accumulator of one pixel row: a difference array of coverage.
struct RowAccumulator {
    std::vector<int32_t> diff;
    long width;
    long lo, hi;  // cells touched this row

    explicit RowAccumulator(long w) : diff(static_cast<size_t>(w) + 2, 0), width(w), lo(w), hi(-1) {}

    void span(double xa, double xb)
    {
        xa = std::max(xa, 0.0);
        xb = std::min(xb, static_cast<double>(width));
        if (!(xb > xa))
            return;
        long ia = static_cast<long>(xa), ib = static_cast<long>(xb);
        if (ia == ib) {
            auto c = static_cast<int32_t>((xb - xa) * kSubWeight + 0.5);
            diff[ia] += c;
            diff[ia + 1] -= c;
        } else {
            auto fa = static_cast<int32_t>((ia + 1 - xa) * kSubWeight + 0.5);
            auto fb = static_cast<int32_t>((xb - ib) * kSubWeight + 0.5);
            diff[ia] += fa;
            diff[ia + 1] += kSubWeight - fa;
            diff[ib] += fb - kSubWeight;
            diff[ib + 1] -= fb;
        }
        lo = std::min(lo, ia);
        hi = std::max(hi, std::min(ib, width - 1));
    }

    // Writes the row's coverage and clears the accumulator; the written
    // columns widen `bounds`.
    void flush(uint8_t* row, long y, PixelBounds& bounds)
    {
        if (hi < lo) {
            lo = width;
            hi = -1;
            return;
        }
        int32_t cov = 0;
        for (long x = lo; x <= hi; ++x) {
            cov += diff[x];
            diff[x] = 0;
            row[x] = static_cast<uint8_t>(std::clamp((cov + 128) >> 8, 0, 255));
        }
        long first = lo, last = hi;
        while (first <= hi && !row[first])
            ++first;
        while (last >= first && !row[last])
            --last;
        if (first > hi)
            first = -1;
        diff[hi + 1] = 0;
        if (hi + 2 <= width + 1)
            diff[hi + 2] = 0;
        if (first >= 0) {
            if (bounds.empty()) {
                bounds = {first, y, last, y};
            } else {
                bounds.x0 = std::min(bounds.x0, first);
                bounds.x1 = std::max(bounds.x1, last);
                bounds.y1 = y;
            }
        }
        lo = width;
        hi = -1;
    }
};

// Points of an elliptic arc from angle a0 towards a1 (the end point itself
// only with `closing_end`).  The radii are widened a little so that the
// polygon's area equals the arc's: chords alone would cut the area short.
void arc_points(Contour& out, double cx, double cy, double rx, double ry, double a0, double a1, bool closing_end)
{
    double r = std::max(rx, ry);
    int n = 8;
    if (r > 0.05) {
        // Chords of at most about a pixel.
        double step = std::acos(std::max(-1.0, 1.0 - 0.01 / r)) * 2;
        n = static_cast<int>(std::ceil(std::fabs(a1 - a0) / std::max(step, 1e-4)));
    }
    n = std::clamp((n + 3) / 4 * 4, 4, 16384);
    const double step = (a1 - a0) / n;
    const double widen = std::fabs(step) > 1e-12 ? std::sqrt(std::fabs(step) / std::sin(std::fabs(step))) : 1;
    for (int i = 0; i <= n; ++i) {
        if (i == n && !closing_end)
            break;
        double a = a0 + step * i;
        double k = (i == 0 || i == n) && closing_end ? 1 : widen;
        out.push_back({cx + k * rx * std::cos(a), cy + k * ry * std::sin(a)});
    }
}

int segments_for(double length, size_t controls)
{
    size_t cap = std::max<size_t>(2, kCurveBudget / std::max<size_t>(controls, 1));
    // Chords of about a pixel keep the lost area near half a pixel whatever the size.
    double n = std::ceil(length);
    if (!(n >= 2))
        n = 2;
    return static_cast<int>(std::min<double>(n, std::min<size_t>(cap, 512)));
}

double dist(const PointF& a, const PointF& b)
{
    return std::hypot(b.x - a.x, b.y - a.y);
}

void cubic(Contour& out, const PointF& p0, const PointF& p1, const PointF& p2, const PointF& p3, size_t controls)
{
    int n = segments_for(dist(p0, p1) + dist(p1, p2) + dist(p2, p3), controls);
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / n, u = 1 - t;
        double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        out.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
}

// The arc from a through b to c; a straight line when they are in a line.
void arc3(Contour& out, const PointF& a, const PointF& b, const PointF& c, size_t controls)
{
    if (a.x == c.x && a.y == c.y) {
        // Back to the start: the circle with a and b as its diameter.
        double cx = (a.x + b.x) / 2, cy = (a.y + b.y) / 2, r = dist(a, b) / 2;
        if (r <= 0)
            return;
        double a0 = std::atan2(a.y - cy, a.x - cx);
        arc_points(out, cx, cy, r, r, a0, a0 + 2 * kPi, false);
        return;
    }
    double d = 2 * (a.x * (b.y - c.y) + b.x * (c.y - a.y) + c.x * (a.y - b.y));
    double span = dist(a, b) + dist(b, c);
    if (std::fabs(d) < 1e-9 * span * span + 1e-12) {
        out.push_back(a);
        out.push_back(b);
        return;
    }
    double a2 = a.x * a.x + a.y * a.y, b2 = b.x * b.x + b.y * b.y, c2 = c.x * c.x + c.y * c.y;
    double cx = (a2 * (b.y - c.y) + b2 * (c.y - a.y) + c2 * (a.y - b.y)) / d;
    double cy = (a2 * (c.x - b.x) + b2 * (a.x - c.x) + c2 * (b.x - a.x)) / d;
    double r = std::hypot(a.x - cx, a.y - cy);
    if (r > 1e7) {
        out.push_back(a);
        out.push_back(b);
        return;
    }
    double t0 = std::atan2(a.y - cy, a.x - cx);
    double tb = std::atan2(b.y - cy, b.x - cx);
    double t1 = std::atan2(c.y - cy, c.x - cx);
    // Go the way round that passes b.
    auto norm = [](double t) {
        while (t < 0)
            t += 2 * kPi;
        while (t >= 2 * kPi)
            t -= 2 * kPi;
        return t;
    };
    double to_b = norm(tb - t0), to_c = norm(t1 - t0);
    double sweep = to_b <= to_c ? to_c : to_c - 2 * kPi;
    size_t before = out.size();
    arc_points(out, cx, cy, r, r, t0, t0 + sweep, false);
    if (out.size() - before > kCurveBudget / std::max<size_t>(controls, 1) + 16)
        out.resize(before + kCurveBudget / std::max<size_t>(controls, 1) + 16);
}

} // namespace

size_t Outline::size() const
{
    size_t n = 0;
    for (const Contour& c : contours)
        n += c.size();
    return n;
}

void PixelBounds::add(const PixelBounds& b)
{
    if (b.empty())
        return;
    if (empty()) {
        *this = b;
        return;
    }
    x0 = std::min(x0, b.x0);
    y0 = std::min(y0, b.y0);
    x1 = std::max(x1, b.x1);
    y1 = std::max(y1, b.y1);
}

PixelBounds raster_fill(const Outline& outline, FillRule rule, uint8_t* mask, long width, long height)
{
    PixelBounds bounds;
    if (width <= 0 || height <= 0)
        return bounds;
    std::vector<Edge> edges;
    edges.reserve(outline.size());
    double ymin = INFINITY, ymax = -INFINITY;
    for (const Contour& c : outline.contours) {
        if (c.size() < 3)
            continue;
        for (size_t i = 0; i < c.size(); ++i) {
            PointF a = c[i], b = c[(i + 1) % c.size()];
            if (!finite(a) || !finite(b) || a.y == b.y)
                continue;
            Edge e;
            e.dir = b.y > a.y ? 1 : -1;
            if (a.y > b.y)
                std::swap(a, b);
            e.x0 = a.x;
            e.y0 = a.y;
            e.y1 = b.y;
            e.dxdy = (b.x - a.x) / (b.y - a.y);
            edges.push_back(e);
            ymin = std::min(ymin, a.y);
            ymax = std::max(ymax, b.y);
        }
    }
    if (edges.empty())
        return bounds;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
    long row0 = static_cast<long>(std::max(0.0, std::floor(ymin)));
    long row1 = static_cast<long>(std::min(static_cast<double>(height - 1), std::ceil(ymax) - 1));
    RowAccumulator acc(width);
    std::vector<size_t> active;
    std::vector<Crossing> cross;
    size_t next = 0;
    for (long y = row0; y <= row1; ++y) {
        for (int s = 0; s < kSub; ++s) {
            const double ys = y + (s + 0.5) / kSub;
            while (next < edges.size() && edges[next].y0 <= ys)
                active.push_back(next++);
            cross.clear();
            size_t keep = 0;
            for (size_t i = 0; i < active.size(); ++i) {
                const Edge& e = edges[active[i]];
                if (e.y1 <= ys)
                    continue;  // ended
                active[keep++] = active[i];
                cross.push_back({e.x0 + (ys - e.y0) * e.dxdy, e.dir});
            }
            active.resize(keep);
            if (cross.size() < 2)
                continue;
            std::sort(cross.begin(), cross.end());
            if (rule == FillRule::EvenOdd) {
                for (size_t i = 0; i + 1 < cross.size(); i += 2)
                    acc.span(cross[i].x, cross[i + 1].x);
            } else {
                int winding = 0;
                for (size_t i = 0; i + 1 < cross.size(); ++i) {
                    winding += cross[i].dir;
                    if (winding != 0)
                        acc.span(cross[i].x, cross[i + 1].x);
                }
            }
        }
        acc.flush(mask + y * width, y, bounds);
    }
    return bounds;
}

void outline_rect(Outline& out, double x0, double y0, double x1, double y1)
{
    out.contours.push_back({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

void outline_ellipse(Outline& out, double x0, double y0, double x1, double y1)
{
    Contour c;
    const double rx = std::fabs(x1 - x0) / 2, ry = std::fabs(y1 - y0) / 2;
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    arc_points(c, cx, cy, rx, ry, 0, 2 * kPi, false);
    // The four extremes stay on the ellipse, so that it touches its box and
    // no pixel beyond it.
    const size_t q = c.size() / 4;
    c[0] = {cx + rx, cy};
    c[q] = {cx, cy + ry};
    c[2 * q] = {cx - rx, cy};
    c[3 * q] = {cx, cy - ry};
    out.contours.push_back(std::move(c));
}

void outline_round_rect(Outline& out, double x0, double y0, double x1, double y1, double radius)
{
    if (x0 > x1)
        std::swap(x0, x1);
    if (y0 > y1)
        std::swap(y0, y1);
    double r = std::clamp(radius, 0.0, std::min(x1 - x0, y1 - y0) / 2);
    if (r <= 0) {
        outline_rect(out, x0, y0, x1, y1);
        return;
    }
    Contour c;
    arc_points(c, x1 - r, y0 + r, r, r, -kPi / 2, 0, true);
    arc_points(c, x1 - r, y1 - r, r, r, 0, kPi / 2, true);
    arc_points(c, x0 + r, y1 - r, r, r, kPi / 2, kPi, true);
    arc_points(c, x0 + r, y0 + r, r, r, kPi, 3 * kPi / 2, true);
    out.contours.push_back(std::move(c));
}

void outline_polyarc(Contour& out, const std::vector<PointF>& pts)
{
    const size_t n = pts.size();
    if (n < 2)
        return;
    size_t i = 0;
    for (; i + 1 < n; i += 2)
        arc3(out, pts[i], pts[i + 1], pts[(i + 2) % n], n);
    // An odd point over closes with a straight line.
    if (i == n - 1)
        out.push_back(pts[i]);
}

void outline_spline(Contour& out, const std::vector<PointF>& pts)
{
    const size_t n = pts.size();
    if (n < 3) {
        out.insert(out.end(), pts.begin(), pts.end());
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        const PointF& p0 = pts[(i + n - 1) % n];
        const PointF& p1 = pts[i];
        const PointF& p2 = pts[(i + 1) % n];
        const PointF& p3 = pts[(i + 2) % n];
        // The Catmull-Rom segment p1..p2 as a cubic Bezier.
        PointF c1{p1.x + (p2.x - p0.x) / 6, p1.y + (p2.y - p0.y) / 6};
        PointF c2{p2.x - (p3.x - p1.x) / 6, p2.y - (p3.y - p1.y) / 6};
        cubic(out, p1, c1, c2, p2, n);
    }
}

void outline_bezier(Contour& out, const std::vector<PointF>& pts)
{
    const size_t n = pts.size();
    if (n < 3) {
        out.insert(out.end(), pts.begin(), pts.end());
        return;
    }
    size_t i = 0;
    for (; i + 3 <= n; i += 3)
        cubic(out, pts[i], pts[i + 1], pts[i + 2], pts[(i + 3) % n], n);
    // Points over: one anchor closes with a line, an anchor and a handle
    // close with a quadratic segment.
    if (n - i == 1) {
        out.push_back(pts[i]);
    } else if (n - i == 2) {
        const PointF &a = pts[i], &h = pts[i + 1], &b = pts[0];
        PointF c1{a.x + 2.0 / 3 * (h.x - a.x), a.y + 2.0 / 3 * (h.y - a.y)};
        PointF c2{b.x + 2.0 / 3 * (h.x - b.x), b.y + 2.0 / 3 * (h.y - b.y)};
        cubic(out, a, c1, c2, b, n);
    }
}
