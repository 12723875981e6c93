// Outlines and their anti-aliased filling into a selection mask.
//
// Coordinates are continuous: pixel (x, y) covers [x, x + 1) x [y, y + 1),
// so a point of an area (a pixel) sits at its centre (x + 0.5, y + 0.5).
#pragma once

#include "areas/area.h"

#include <cstdint>
#include <vector>

struct PointF {
    double x, y;
};
using Contour = std::vector<PointF>;  // closed: the last point joins the first

struct Outline {
    std::vector<Contour> contours;
    size_t size() const;  // points in all contours
};

// Even-odd: overlaps of an outline with itself are holes (outlines drawn by
// hand, shapes with holes).  Non-zero: contours turning the same way add up
// (font outlines, whose holes turn the other way).
enum class FillRule { EvenOdd, NonZero };

// Inclusive pixel bounds; empty when x0 > x1.
struct PixelBounds {
    long x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    bool empty() const { return x0 > x1 || y0 > y1; }
    void add(const PixelBounds& b);
};

// Fills the outline into `mask` (width x height bytes, one row after the
// other) with its coverage, 0..255.  Only the rows and columns inside the
// returned bounds are written; the caller clears the mask first.
PixelBounds raster_fill(const Outline& outline, FillRule rule, uint8_t* mask, long width, long height);

// Axis-aligned shapes over the continuous box [x0, x1) x [y0, y1).
void outline_rect(Outline& out, double x0, double y0, double x1, double y1);
void outline_ellipse(Outline& out, double x0, double y0, double x1, double y1);
void outline_round_rect(Outline& out, double x0, double y0, double x1, double y1, double radius);

// Smooth closed curves from control points (already in continuous
// coordinates).  Poly-arc: circular arcs, each from a point through the next
// to the one after; spline: a Catmull-Rom curve through every point; Bezier:
// cubic segments anchor, handle, handle, anchor ... closing on the first.
void outline_polyarc(Contour& out, const std::vector<PointF>& pts);
void outline_spline(Contour& out, const std::vector<PointF>& pts);
void outline_bezier(Contour& out, const std::vector<PointF>& pts);
