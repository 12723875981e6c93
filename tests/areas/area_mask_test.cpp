#include "area_util.h"
#include "areas/area_file.h"
#include "areas/area_font.h"
#include "areas/splatter.h"
#include "core/mem.h"
#include "core/settings.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

AreaSettings& fresh(AreaMode mode)
{
    area_settings_reset();
    area_settings().mode = mode;
    return area_settings();
}

AreaSettings& box_area(AreaMode mode, long x, long y, long rx, long ry)
{
    AreaSettings& s = fresh(mode);
    s.pos_x = x, s.pos_y = y, s.rad_x = rx, s.rad_y = ry;
    return s;
}

// Mirror symmetry about the centre of the pixel box [x0, x1] x [y0, y1],
// left to right and (unless `only_across`) top to bottom.
void expect_symmetric(const Mask& m, long x0, long y0, long x1, long y1, bool only_across = false)
{
    int worst = 0;
    for (long y = y0; y <= y1; ++y)
        for (long x = x0; x <= x1; ++x) {
            worst = std::max(worst, std::abs(m.at(x, y) - m.at(x0 + x1 - x, y)));
            if (!only_across)
                worst = std::max(worst, std::abs(m.at(x, y) - m.at(x, y0 + y1 - y)));
        }
    EXPECT_LE(worst, 1);
}

// The selected area is within a pixel of the analytic one, allowing for the
// mask's steps of 1/255: an edge pixel may be off by half a step.
void expect_area(const Mask& m, double analytic)
{
    long edge = m.count(1) - m.count(255);
    EXPECT_NEAR(m.area(), analytic, 1.0 + edge * 0.5 / 255);
}

// The area of a closed polygon through pixel centres (shoelace).
double shoelace(const std::vector<AreaPoint>& p)
{
    double a = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const AreaPoint &u = p[i], &v = p[(i + 1) % p.size()];
        a += static_cast<double>(u.x) * v.y - static_cast<double>(v.x) * u.y;
    }
    return std::fabs(a) / 2;
}

} // namespace

TEST(AreaMask, NoSelectionIsTheEntireImageWithAlphaFolded)
{
    Image* img = solid_image(8, 4, 0, 0, 0, 200);
    img->alpha = 1;
    area_clear();
    Mask m = build_only(img, false);
    EXPECT_EQ(m.count(255), 32);
    m = build_only(img, true);
    EXPECT_EQ(m.at(3, 2), 200);
    EXPECT_EQ(m.rect.x1, 7);
    EXPECT_EQ(m.rect.y1, 3);
}

TEST(AreaMask, RectangleAndEllipseMatchTheirGeometry)
{
    Image* img = solid_image(200, 120);
    box_area(AreaMode::RECT, 100, 50, 20, 10);
    Mask r = select_and_build(img);
    EXPECT_EQ(r.count(255), 41 * 21);
    EXPECT_EQ(r.count(1), 41 * 21);
    EXPECT_EQ(r.rect.x0, 80);
    EXPECT_EQ(r.rect.y0, 40);
    EXPECT_EQ(r.rect.x1, 120);
    EXPECT_EQ(r.rect.y1, 60);
    EXPECT_EQ(r.rect.cx, 100);
    EXPECT_EQ(r.rect.cy, 50);

    box_area(AreaMode::ELLIPSE, 100, 50, 40, 25);
    Mask e = select_and_build(img);
    expect_area(e, kPi * 40.5 * 25.5);
    EXPECT_EQ(e.at(100, 50), 255);
    EXPECT_EQ(e.at(60, 25), 0);
    expect_symmetric(e, 60, 25, 140, 75);
    EXPECT_EQ(e.rect.x0, 60);
    EXPECT_EQ(e.rect.x1, 140);
    // Anti-aliased: the edge has partial weights.
    EXPECT_GT(e.count(1) - e.count(255), 100);

    box_area(AreaMode::ROUNDRECT, 100, 60, 50, 30).roundness = 12;
    Mask rr = select_and_build(img);
    expect_area(rr, 101.0 * 61 - (4 - kPi) * 12 * 12);
    expect_symmetric(rr, 50, 30, 150, 90);

    // Dragged right to left: the same.
    box_area(AreaMode::NUMRECT, 100, 50, -20, -10);
    EXPECT_EQ(select_and_build(img).count(255), 41 * 21);
}

TEST(AreaMask, PolygonsFillEvenOddWithContours)
{
    Image* img = solid_image(300, 300);
    AreaSettings& s = fresh(AreaMode::POLYGON);
    s.points = {{10, 10, 0}, {250, 40, 255}, {90, 280, 255}};
    Mask t = select_and_build(img);
    expect_area(t, shoelace(s.points));

    // A pentagram: its middle is a hole under the even-odd rule.
    s.points.clear();
    for (int i = 0; i < 5; ++i) {
        double a = -kPi / 2 + i * 4 * kPi / 5;
        s.points.push_back({static_cast<int32_t>(150 + 120 * std::cos(a)), static_cast<int32_t>(150 + 120 * std::sin(a)),
                            static_cast<int16_t>(i ? 255 : 0)});
    }
    Mask star = select_and_build(img);
    EXPECT_EQ(star.at(150, 150), 0);
    EXPECT_EQ(star.at(150, 50), 255);

    // An ISHAPE with a hole: two contours.
    s = fresh(AreaMode::ISHAPE);
    s.points = {{50, 50, 0}, {250, 50, 255}, {250, 250, 255}, {50, 250, 255},
                {100, 100, 0}, {200, 100, 255}, {200, 200, 255}, {100, 200, 255}};
    Mask ring = select_and_build(img);
    expect_area(ring, 200.0 * 200 - 100 * 100);
    EXPECT_EQ(ring.at(150, 150), 0);
    // Markers all 0: nobody marked contours, it is one outline.
    for (AreaPoint& p : s.points)
        p.m = 0;
    s.points.resize(4);
    expect_area(select_and_build(img), 200.0 * 200);
}

TEST(AreaMask, CurvesAreSmoothAndClosed)
{
    Image* img = solid_image(400, 300);
    // Two points of a poly-arc: the circle on them as a diameter.
    AreaSettings& s = fresh(AreaMode::POLYARC);
    s.control = {{100, 150, 0}, {300, 150, 0}};
    Mask c = select_and_build(img);
    expect_area(c, kPi * 100 * 100);
    // Four points: two half circles, the same circle.
    s.control = {{100, 150, 0}, {200, 50, 0}, {300, 150, 0}, {200, 250, 0}};
    expect_area(select_and_build(img), kPi * 100 * 100);

    // A Bezier circle (four quarter arcs): check against a fine sum of the
    // same curve's area, and its symmetry.
    const double k = 0.5522847498 * 100;
    auto P = [](double x, double y) { return AreaPoint{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y)), 0}; };
    s = fresh(AreaMode::BEZIER);
    s.control = {P(300, 150), P(300, 150 + k), P(200 + k, 250), P(200, 250), P(200 - k, 250), P(100, 150 + k),
                 P(100, 150), P(100, 150 - k), P(200 - k, 50), P(200, 50), P(200 + k, 50), P(300, 150 - k)};
    Mask b = select_and_build(img);
    double fine = 0;
    for (size_t seg = 0; seg < 4; ++seg) {
        const AreaPoint* q = &s.control[seg * 3];
        const AreaPoint& e = s.control[(seg * 3 + 3) % 12];
        double px = q[0].x, py = q[0].y;
        for (int i = 1; i <= 4000; ++i) {
            double t = i / 4000.0, u = 1 - t;
            double x = u * u * u * q[0].x + 3 * u * u * t * q[1].x + 3 * u * t * t * q[2].x + t * t * t * e.x;
            double y = u * u * u * q[0].y + 3 * u * u * t * q[1].y + 3 * u * t * t * q[2].y + t * t * t * e.y;
            fine += px * y - x * py;
            px = x, py = y;
        }
    }
    expect_area(b, std::fabs(fine) / 2);
    expect_symmetric(b, 100, 50, 300, 250);

    // A spline through the corners of a square bulges past its sides but
    // stays well inside the square's circumcircle.
    s = fresh(AreaMode::SPLINE);
    s.control = {{100, 50, 0}, {300, 50, 0}, {300, 250, 0}, {100, 250, 0}};
    Mask sp = select_and_build(img);
    EXPECT_GT(sp.area(), 200.0 * 200);
    EXPECT_LT(sp.area(), kPi * 141.5 * 141.5);
    expect_symmetric(sp, 50, 1, 350, 299);
    EXPECT_EQ(sp.at(200, 150), 255);
}

TEST(AreaMask, FontOutlineIsFilledAndTransformed)
{
    ASSERT_FALSE(area_font_file("Arial", 400, false).empty());
    Image* img = solid_image(400, 200);
    AreaSettings& s = fresh(AreaMode::FONT);
    s.text = "H";
    s.font_size = 100;
    Mask h = select_and_build(img);
    ASSERT_GT(h.area(), 500);
    // Centred on the image with no position, and symmetric like the letter.
    EXPECT_NEAR((h.rect.x0 + h.rect.x1) / 2.0, 199.5, 1.0);
    EXPECT_NEAR((h.rect.y0 + h.rect.y1) / 2.0, 99.5, 1.0);
    expect_symmetric(h, h.rect.x0, h.rect.y0, h.rect.x1, h.rect.y1, true);
    const long hw = h.rect.x1 - h.rect.x0, hh = h.rect.y1 - h.rect.y0;

    // A quarter turn swaps the box's sides; magnification scales the area.
    s.rotation = 90;
    Mask r = select_and_build(img);
    EXPECT_NEAR(r.rect.x1 - r.rect.x0, hh, 2);
    EXPECT_NEAR(r.rect.y1 - r.rect.y0, hw, 2);
    EXPECT_NEAR(r.area(), h.area(), h.area() * 0.01);
    s.rotation = 0;
    s.mag_x = 2, s.mag_y = 0.5;
    EXPECT_NEAR(select_and_build(img).area(), h.area(), h.area() * 0.02);
    // Shear keeps the area and widens the box.
    s.mag_x = s.mag_y = 1;
    s.shear = 0.5;
    Mask sh = select_and_build(img);
    EXPECT_NEAR(sh.area(), h.area(), h.area() * 0.01);
    EXPECT_GT(sh.rect.x1 - sh.rect.x0, hw + hh / 3);
    // "O" has a hole (non-zero rule with the inner contour turning back).
    s.shear = 0;
    s.text = "O";
    s.pos_x = 100, s.pos_y = 100, s.pos_set = true;
    Mask o = select_and_build(img);
    EXPECT_EQ(o.at(100, 100), 0);
    EXPECT_NEAR((o.rect.x0 + o.rect.x1) / 2.0, 100.5, 1.5);
}

TEST(AreaMask, WandFloodsConnectedColoursAndKeyTakesAll)
{
    Image* img = solid_image(60, 40, 10, 200, 10);
    paint(img, 30, 0, 30, 39, 0, 0, 255);     // a wall
    paint(img, 10, 10, 12, 12, 30, 220, 25);  // within range of the green
    paint(img, 40, 10, 41, 11, 200, 0, 0);    // a red island
    paint(img, 32, 20, 32, 20, 250, 0, 0);    // touches the island only at a corner
    AreaSettings& s = fresh(AreaMode::FLOOD);
    s.pos_x = 5, s.pos_y = 5;
    s.range[0] = s.range[1] = s.range[2] = 20;
    Mask f = select_and_build(img);
    EXPECT_EQ(f.count(255), 30 * 40);
    EXPECT_EQ(f.at(11, 11), 255);
    EXPECT_EQ(f.rect.x1, 29);

    s.pos_x = 40, s.pos_y = 10;
    s.range[0] = 60;
    Mask island = select_and_build(img);
    EXPECT_EQ(island.count(255), 4);
    // A seed off the image selects nothing.
    s.pos_x = 500;
    Mask none = select_and_build(img);
    EXPECT_EQ(none.count(1), 0);
    EXPECT_EQ(none.rect.x1, 0);

    s = fresh(AreaMode::KEY);
    s.key[0] = 220, s.key[1] = 0, s.key[2] = 0;
    s.range[0] = 40, s.range[1] = 10, s.range[2] = 10;
    EXPECT_EQ(select_and_build(img).count(255), 5);

    // HSL: hue within 20 degrees whatever the lightness.
    paint(img, 50, 30, 50, 30, 100, 0, 0);  // a dark red
    s.key_space = KeySpace::HSL;
    s.range[0] = 20, s.range[1] = 100, s.range[2] = 100;
    EXPECT_EQ(select_and_build(img).count(255), 6);
}

TEST(AreaMask, FeatherFallsFromInsideToOutside)
{
    Image* img = solid_image(200, 200);
    box_area(AreaMode::ELLIPSE, 100, 100, 80, 60).feather = 15;
    Mask m = select_and_build(img);
    EXPECT_EQ(m.at(100, 100), 255);
    int last = 255;
    for (long x = 100; x < 200; ++x) {
        EXPECT_LE(m.at(x, 100), last) << x;
        last = m.at(x, 100);
    }
    EXPECT_EQ(m.at(181, 100), 0);
    EXPECT_LT(m.at(175, 100), 128);
    EXPECT_EQ(m.at(100 + 80 - 16, 100), 255);
    expect_symmetric(m, 20, 40, 180, 160);

    // A rectangle running off the image stays hard at the image border.
    box_area(AreaMode::RECT, 0, 100, 50, 50).feather = 10;
    Mask r = select_and_build(img);
    EXPECT_EQ(r.at(0, 100), 255);
    EXPECT_LT(r.at(50, 100), 30);
}

TEST(AreaMask, FeatherIsTheTrueDistanceOnShapesWithHoles)
{
    // A ring, a star (rows of several runs) and a block off the right and
    // bottom, measured against every outside pixel by brute force.  The
    // image border is no outline.
    Image* img = solid_image(90, 70);
    AreaSettings& s = fresh(AreaMode::ISHAPE);
    s.points = {{-10, 5, 0}, {60, 5, 255}, {60, 65, 255}, {-10, 65, 255}, {10, 20, 0}, {40, 20, 255},
                {40, 50, 255}, {10, 50, 255}, {70, 10, 0}, {85, 60, 255}, {62, 30, 255}, {89, 30, 255}, {66, 60, 255},
                {72, 58, 0},  {120, 58, 255}, {120, 90, 255}, {72, 90, 255}};
    Mask hard = select_and_build(img);
    for (long feather : {3L, 9L}) {
        s.feather = feather;
        Mask soft = select_and_build(img);
        int worst = 0;
        for (long y = 0; y < hard.h; ++y)
            for (long x = 0; x < hard.w; ++x) {
                int want = 0;
                if (hard.at(x, y) >= 128) {
                    long best = 1L << 30;
                    for (long v = 0; v < hard.h; ++v)
                        for (long u = 0; u < hard.w; ++u)
                            if (hard.at(u, v) < 128)
                                best = std::min(best, (u - x) * (u - x) + (v - y) * (v - y));
                    double w = std::min(1.0, (std::sqrt(static_cast<double>(best)) - 0.5) / feather);
                    want = static_cast<int>(hard.at(x, y) * w + 0.5);
                }
                worst = std::max(worst, std::abs(soft.at(x, y) - want));
            }
        EXPECT_LE(worst, 1) << "feather " << feather;
    }
}

TEST(AreaMask, TransparencyLevelEdgeAndGrow)
{
    Image* img = solid_image(100, 100);
    box_area(AreaMode::RECT, 50, 50, 40, 40).tran_level = 50;
    Mask half = select_and_build(img);
    EXPECT_EQ(half.at(50, 50), 128);
    EXPECT_EQ(half.at(10, 10), 128);

    // Opaque inside, clear at the outline, over ten pixels.
    AreaSettings& s = box_area(AreaMode::RECT, 50, 50, 40, 40);
    s.tran_edge = 100, s.tran_grow = 10;
    Mask g = select_and_build(img);
    EXPECT_EQ(g.at(50, 50), 255);
    EXPECT_LT(g.at(10, 50), 20);
    EXPECT_NEAR(g.at(15, 50), 255 * 5.5 / 10, 2);
    EXPECT_EQ(g.at(21, 50), 255);
}

TEST(AreaMask, CombinationsWithTheSelectionInForce)
{
    Image* img = solid_image(100, 100);
    box_area(AreaMode::RECT, 30, 50, 20, 20);  // 10..50
    select_and_build(img);
    box_area(AreaMode::RECT, 60, 50, 20, 20).combination1 = COMBINE_UNION;  // 40..80
    Mask u = select_and_build(img);
    EXPECT_EQ(u.count(255), 71 * 41);
    EXPECT_EQ(u.rect.x0, 10);
    EXPECT_EQ(u.rect.x1, 80);
    EXPECT_EQ(area_chain_length(), 2);

    // Intersection of the union with a third rectangle.
    box_area(AreaMode::RECT, 50, 50, 5, 50).combination1 = COMBINE_INTERSECTION;  // 45..55
    Mask i = select_and_build(img);
    EXPECT_EQ(i.count(255), 11 * 41);
    EXPECT_EQ(i.rect.x0, 45);
    EXPECT_EQ(i.rect.y0, 30);

    // A plain area starts anew; exclude cuts out; complement inverts.
    box_area(AreaMode::RECT, 50, 50, 20, 20);
    select_and_build(img);
    box_area(AreaMode::RECT, 50, 50, 5, 5).combination1 = COMBINE_EXCLUDE;
    Mask x = select_and_build(img);
    EXPECT_EQ(x.count(255), 41 * 41 - 11 * 11);
    EXPECT_EQ(x.at(50, 50), 0);
    AreaSettings& c = box_area(AreaMode::RECT, 50, 50, 5, 5);
    c.combination2 = 1;
    Mask inv = select_and_build(img);
    EXPECT_EQ(inv.count(255), 100 * 100 - 11 * 11);
    EXPECT_EQ(inv.rect.x0, 0);
    EXPECT_EQ(area_chain_length(), 1);

    // Building again for another operation gives the same mask.
    EXPECT_EQ(build_only(img).v, inv.v);
}

TEST(AreaMask, RedoSelectsThePreviousAreaAgain)
{
    Image* img = solid_image(100, 100);
    box_area(AreaMode::ELLIPSE, 30, 30, 10, 10);
    Mask first = select_and_build(img);
    box_area(AreaMode::RECT, 70, 70, 5, 5);
    select_and_build(img);
    fresh(AreaMode::REDO);
    Mask again = select_and_build(img);
    EXPECT_EQ(again.v, first.v);
    EXPECT_EQ(area_settings().mode, AreaMode::REDO);
}

TEST(AreaMask, AreasMadeOnAnotherSizeAreScaledAndBadGeometryIsHarmless)
{
    Image* img = solid_image(200, 100);
    AreaSettings& s = box_area(AreaMode::RECT, 20, 10, 4, 4);  // 16..24 on 50 x 25
    s.src_width = 50, s.src_height = 25;
    Mask m = select_and_build(img);
    EXPECT_EQ(m.rect.x0, 64);
    EXPECT_EQ(m.rect.x1, 99);
    EXPECT_EQ(m.rect.y0, 24);
    EXPECT_EQ(m.rect.y1, 59);

    // Off the image: nothing selected, the rectangle is one pixel.
    box_area(AreaMode::ELLIPSE, -500, -500, 10, 10);
    Mask off = select_and_build(img);
    EXPECT_EQ(off.count(1), 0);
    EXPECT_EQ(off.rect.x0, 0);
    EXPECT_EQ(off.rect.x1, 0);

    // Huge, negative and non-finite values do not crash or hang.
    box_area(AreaMode::ELLIPSE, 2000000000, -2000000000, 2000000000, 2000000000).feather = 1L << 40;
    select_and_build(img);
    AreaSettings& f = fresh(AreaMode::FONT);
    f.text = "x";
    f.mag_x = NAN, f.mag_y = 1e300, f.rotation = INFINITY, f.font_size = -5;
    select_and_build(img);
    AreaSettings& p = fresh(AreaMode::BEZIER);
    p.control = {{INT32_MIN, 0, 0}, {INT32_MAX, INT32_MAX, 0}, {0, INT32_MIN, 0}, {5, 5, 0}};
    select_and_build(img);
    AreaSettings& k = fresh(AreaMode::KEY);
    k.range[0] = -100, k.key[0] = 9999;
    select_and_build(img);
}

TEST(Splatter, LayoutIsDrawnFromTheSettingsAndRepeatable)
{
    Image* img = solid_image(400, 400);
    long* sp = settings().splatter;
    sp[0] = 12, sp[1] = 7, sp[2] = 0, sp[3] = 100, sp[4] = 0, sp[5] = 0;
    box_area(AreaMode::ELLIPSE, 50, 50, 10, 10);
    select_and_build(img);
    EXPECT_EQ(splatter_prepare(img), 1);  // switched off
    sp[2] = 1;
    ASSERT_EQ(splatter_prepare(img), 12);
    std::vector<AreaRect> first;
    for (int i = 0; i < 12; ++i) {
        splatter_place(i);
        Mask m = build_only(img);
        first.push_back(m.rect);
        if (m.rect.x0 > 0 && m.rect.y0 > 0 && m.rect.x1 < 399 && m.rect.y1 < 399) {
            expect_area(m, kPi * 10.5 * 10.5);
        }
    }
    splatter_end();
    EXPECT_EQ(build_only(img).rect.cx, 50);
    // The same seed gives the same places; copies differ from each other.
    ASSERT_EQ(splatter_prepare(img), 12);
    splatter_place(5);
    EXPECT_EQ(build_only(img).rect.x0, first[5].x0);
    splatter_end();
    EXPECT_NE(first[0].x0, first[1].x0);
    // A random count stays within 1..count; size variation changes areas.
    sp[4] = 1, sp[5] = 50;
    int n = splatter_prepare(img);
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 12);
    splatter_end();
    // Nothing to scatter on the entire image.
    area_clear();
    EXPECT_EQ(splatter_prepare(img), 1);
}

TEST(Splatter, ASingleCopyIsMovedToo)
{
    Image* img = solid_image(400, 400);
    long* sp = settings().splatter;
    box_area(AreaMode::ELLIPSE, 50, 50, 10, 10);
    const AreaRect drawn = select_and_build(img).rect;
    // A count of 1, and a random draw that gives 1.
    for (long vary : {0L, 1L}) {
        sp[0] = 1, sp[1] = 7, sp[2] = 1, sp[3] = 20, sp[4] = vary, sp[5] = 0;  // lands near the middle
        ASSERT_EQ(splatter_prepare(img), 1);
        const AreaRect moved = build_only(img).rect;
        EXPECT_NE(moved.x0, drawn.x0);
        EXPECT_EQ(moved.x1 - moved.x0, drawn.x1 - drawn.x0);
        // The copy served that one build; the selection is back where it was drawn.
        EXPECT_EQ(build_only(img).rect.x0, drawn.x0);
    }
    sp[2] = 0;
}

TEST(AreaMask, ShutDownGivesEverythingBack)
{
    Image* img = solid_image(50, 50);
    box_area(AreaMode::RECT, 10, 10, 5, 5);
    select_and_build(img);
    box_area(AreaMode::RECT, 20, 20, 5, 5).combination1 = COMBINE_UNION;
    select_and_build(img);
    fresh(AreaMode::FONT).text.assign(1, 'A');
    select_and_build(img);
    image_free(img);
    area_release();
    EXPECT_EQ(mem_counters().places_now, 0);
    EXPECT_EQ(chunk_counters().entries, 0);
}
