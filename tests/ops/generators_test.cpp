// The generators of the Lighting, Plasma, Pattern and Render Groups: one
// property per operation that a wrong formula would break, the escape-time
// sets against known members, seeded repeatability, cancels.
#include "ops/lighting/lighting.h"
#include "ops/pattern/pattern.h"
#include "ops/profiles.h"
#include "ops/render/render.h"
#include "ops_fixture.h"

#include <cmath>
#include <set>

namespace {

constexpr uint32_t kBlack = pixel_make(0, 0, 0, 255);

uint32_t grey(int v)
{
    return pixel_make(v, v, v, 255);
}
int lum(uint32_t p)
{
    return pixel_r(p) + pixel_g(p) + pixel_b(p);
}
void palette(OpPalette& p, std::initializer_list<int> rgb)
{
    p.count = 0;
    const int* v = rgb.begin();
    for (size_t i = 0; i + 2 < rgb.size(); i += 3, ++p.count) {
        p.red[p.count] = static_cast<uint8_t>(v[i]);
        p.green[p.count] = static_cast<uint8_t>(v[i + 1]);
        p.blue[p.count] = static_cast<uint8_t>(v[i + 2]);
    }
}

} // namespace

class Generators : public OpsTest {
protected:
    // Pixels changed between two snapshots.
    static std::vector<size_t> changed(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
    {
        std::vector<size_t> out;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i] != b[i])
                out.push_back(i);
        return out;
    }
    // Runs an operation on a fresh copy of the same picture and returns the result.
    std::vector<uint32_t> run(int32_t command, int w = 48, int h = 36)
    {
        Image* img = ramp(w, h);
        EXPECT_EQ(apply(command, img), 0);
        std::vector<uint32_t> v = pixels(img);
        image_free(img);
        return v;
    }
};

// ---- escape-time sets --------------------------------------------------------

TEST_F(Generators, MandelbrotHoldsItsKnownMembersAndLetsOthersEscape)
{
    RenderParams& p = render_params();
    // 33 x 16 at zoom 1: a quarter per pixel, the real axis through row 7.
    p.mand_centre[0] = 0, p.mand_centre[1] = -0.125f;
    p.mand_zoom = 1;
    p.mand_iterations = 500;
    Image* img = solid(33, 16, grey(77));
    ASSERT_EQ(apply(opcmd::Mandelbrot, img), 0);
    auto at = [&](double re) { return px(img, static_cast<int>(16 + re * 4), 7); };
    EXPECT_EQ(at(0), kBlack);
    EXPECT_EQ(at(-1), kBlack);
    EXPECT_EQ(at(0.25), kBlack);  // the cusp
    EXPECT_EQ(at(-2), kBlack);    // the tip: 0, −2, 2, 2, ...
    EXPECT_NE(at(0.5), kBlack);
    EXPECT_NE(at(1), kBlack);
    EXPECT_NE(px(img, 0, 0), kBlack);

    // Every pixel agrees with the plain loop (no shortcut through the bulbs).
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 33; ++x) {
            const double cr = (x - 16) * 0.25, ci = -0.125 - (y - 7.5) * 0.25;
            double zr = 0, zi = 0;
            int n = 0;
            while (n < 500 && zr * zr + zi * zi <= 65536) {
                const double t = zr * zr - zi * zi + cr;
                zi = 2 * zr * zi + ci;
                zr = t;
                ++n;
            }
            EXPECT_EQ(px(img, x, y) == kBlack, n == 500) << x << "," << y;
        }
    // The mapping the worker uses is the one the documentation gives.
    double re, im;
    fractal_point(12, 7, 0, -0.125, 1, &re, &im);
    EXPECT_DOUBLE_EQ(re, -1);
    EXPECT_DOUBLE_EQ(im, 0);
}

TEST_F(Generators, MandelbrotPowersAndEscapeCounts)
{
    double smooth;
    // Power 3: 0 stays, 0.5 escapes, i stays (0, i, −1 + i, −i, ... is bounded for power 2, not 3).
    EXPECT_EQ(mandelbrot_escape(0, 0, 100, 3, &smooth), 100);
    EXPECT_LT(mandelbrot_escape(0.5, 0, 100, 3, &smooth), 100);
    EXPECT_EQ(mandelbrot_escape(0, 1, 100, 2, &smooth), 100);
    // 2 escapes past 256 after 0, 2, 6, 38, 1446: four steps.
    EXPECT_EQ(mandelbrot_escape(2, 0, 100, 2, &smooth), 4);
    // The smooth count lies within a step of the count and falls further out.
    EXPECT_GT(smooth, 1);
    EXPECT_LT(smooth, 5);
    double further;
    mandelbrot_escape(2.2, 0, 100, 2, &further);
    EXPECT_LT(further, smooth);
    EXPECT_EQ(mandelbrot_escape(0.5, 0, 0, 2, &smooth), 0);
}

TEST_F(Generators, JuliaSetsOfKnownConstants)
{
    double smooth;
    // c = 0: the unit disc.
    EXPECT_EQ(julia_escape(0.5, 0, 0, 0, 300, &smooth), 300);
    EXPECT_EQ(julia_escape(0, -0.9, 0, 0, 300, &smooth), 300);
    EXPECT_LT(julia_escape(1.5, 0, 0, 0, 300, &smooth), 300);
    // c = −1 (the basilica): 0 and −1 swap for ever, 2 escapes.
    EXPECT_EQ(julia_escape(0, 0, -1, 0, 300, &smooth), 300);
    EXPECT_EQ(julia_escape(-1, 0, -1, 0, 300, &smooth), 300);
    EXPECT_LT(julia_escape(2, 0, -1, 0, 300, &smooth), 300);

    RenderParams& p = render_params();
    p.julia_c[0] = -1, p.julia_c[1] = 0;
    p.julia_centre[0] = 0, p.julia_centre[1] = -0.125f;
    p.julia_zoom = 1;
    Image* img = solid(33, 16, grey(77));
    ASSERT_EQ(apply(opcmd::Julia, img), 0);
    EXPECT_EQ(px(img, 16, 7), kBlack);  // 0
    EXPECT_EQ(px(img, 12, 7), kBlack);  // −1
    EXPECT_NE(px(img, 24, 7), kBlack);  // 2
}

TEST_F(Generators, FractalEdgesZeroIterationsZoomZeroEmptyPalette)
{
    RenderParams& p = render_params();
    p.mand_iterations = 0;
    Image* img = ramp(9, 7);
    ASSERT_EQ(apply(opcmd::Mandelbrot, img), 0);
    for (uint32_t v : pixels(img))
        EXPECT_EQ(v & 0xFFFFFFu, 0u);

    // Zoom 0: the system's message, nothing changed.
    p.mand_iterations = 100;
    p.mand_zoom = 0;
    Image* z = ramp(9, 7);
    const std::vector<uint32_t> before = pixels(z);
    EXPECT_EQ(apply(opcmd::Mandelbrot, z), 2);
    EXPECT_TRUE(said("The zoom must be greater than 0."));
    EXPECT_EQ(pixels(z), before);
    p.julia_zoom = -3;
    EXPECT_EQ(apply(opcmd::Julia, z), 2);

    // An empty palette still colours the escaping points (black to white).
    p.mand_zoom = 1;
    p.mand_pal.count = 0;
    p.mand_centre[0] = 3;  // far outside: everything escapes
    Image* e = solid(5, 5, grey(9));
    ASSERT_EQ(apply(opcmd::Mandelbrot, e), 0);
    for (uint32_t v : pixels(e))
        EXPECT_EQ(pixel_r(v), pixel_g(v));
}

TEST_F(Generators, LongRendersStopOnCancelWithTheImageRestored)
{
    RenderParams& p = render_params();
    p.julia_c[0] = -1, p.julia_c[1] = 0;
    p.julia_iterations = 10000000;  // the typed maximum: the interior would take minutes
    for (int32_t command : {opcmd::Julia, opcmd::Landscape}) {
        Image* img = ramp(64, 48);
        const std::vector<uint32_t> before = pixels(img);
        platform.pumps = 0;
        platform.cancel_after = 4;
        EXPECT_EQ(apply(command, img), 1) << command;
        EXPECT_EQ(pixels(img), before) << command;
        EXPECT_EQ(img->changes, 0);
        EXPECT_EQ(progress_state().depth, 0);
    }
}

// ---- patterns -------------------------------------------------------------------

TEST_F(Generators, PixelizeBlocksAreUniformMeans)
{
    PatternParams& p = pattern_params();
    p.pix_size[0] = 5, p.pix_size[1] = 4;
    p.pix_offset[0] = 2, p.pix_offset[1] = 1;
    p.pix_gap = 0;
    Image* img = ramp(23, 17);
    const std::vector<uint32_t> before = pixels(img);
    // The area: x 1..20, y 2..14.
    use_mask(img, [](int, int) { return 255; }, AreaRect{1, 2, 20, 14, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::Pixelize, img), 0);
    const std::vector<uint32_t> after = pixels(img);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x) {
            const size_t i = static_cast<size_t>(y) * 23 + x;
            if (x < 1 || x > 20 || y < 2 || y > 14) {
                EXPECT_EQ(after[i], before[i]) << "outside the area " << x << "," << y;
                continue;
            }
            // Block edges at 1 + 2 + 5k across and 2 + 1 + 4k down, clipped to the area.
            const int bx = 3 + static_cast<int>(std::floor((x - 3) / 5.0)) * 5;
            const int by = 3 + static_cast<int>(std::floor((y - 3) / 4.0)) * 4;
            const int x0 = std::max(bx, 1), x1 = std::min(bx + 4, 20), y0 = std::max(by, 2), y1 = std::min(by + 3, 14);
            int sum[3] = {0, 0, 0}, n = 0;
            for (int v = y0; v <= y1; ++v)
                for (int u = x0; u <= x1; ++u, ++n) {
                    const uint32_t o = before[static_cast<size_t>(v) * 23 + u];
                    sum[0] += pixel_r(o), sum[1] += pixel_g(o), sum[2] += pixel_b(o);
                }
            EXPECT_EQ(after[i], pixel_make((sum[0] + n / 2) / n, (sum[1] + n / 2) / n, (sum[2] + n / 2) / n, 255))
                << x << "," << y;
        }
}

TEST_F(Generators, LinearFillRunsMonotonicallyBetweenTwoColours)
{
    PatternParams& p = pattern_params();
    palette(p.linear_pal, {10, 200, 30, 250, 20, 90});
    p.linear_angle = 0;
    p.linear_repeat = 1;
    p.linear_reflect = 0;
    Image* img = ramp(64, 5);
    ASSERT_EQ(apply(opcmd::LinearFill, img), 0);
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(px(img, 0, y), pixel_make(10, 200, 30, 255));
        EXPECT_EQ(px(img, 63, y), pixel_make(250, 20, 90, 255));
        for (int x = 1; x < 64; ++x) {
            const uint32_t a = px(img, x - 1, y), b = px(img, x, y);
            EXPECT_LE(pixel_r(a), pixel_r(b));
            EXPECT_GE(pixel_g(a), pixel_g(b));
            EXPECT_LE(pixel_b(a), pixel_b(b));
            EXPECT_EQ(b, px(img, x, 0));
        }
    }
    // 90 degrees runs down; reflected twice it comes back to the first colour.
    p.linear_angle = 90;
    p.linear_repeat = 2;
    p.linear_reflect = 1;
    Image* down = ramp(3, 41);
    ASSERT_EQ(apply(opcmd::LinearFill, down), 0);
    EXPECT_EQ(px(down, 1, 0), pixel_make(10, 200, 30, 255));
    EXPECT_EQ(px(down, 1, 20), pixel_make(250, 20, 90, 255));
    EXPECT_EQ(px(down, 1, 40), pixel_make(10, 200, 30, 255));
    // An empty palette: black to white.
    p.linear_pal.count = 0;
    p.linear_angle = 0, p.linear_repeat = 1, p.linear_reflect = 0;
    Image* empty = ramp(10, 2);
    ASSERT_EQ(apply(opcmd::LinearFill, empty), 0);
    EXPECT_EQ(px(empty, 0, 0), pixel_make(0, 0, 0, 255));
    EXPECT_EQ(px(empty, 9, 1), pixel_make(255, 255, 255, 255));
}

TEST_F(Generators, FillsInAlphaModeChangeOnlyAlpha)
{
    settings().mod_alpha = 1;
    PatternParams& p = pattern_params();
    palette(p.linear_pal, {0, 0, 0, 255, 255, 255});
    Image* img = solid(11, 3, pixel_make(10, 20, 30, 99));
    ASSERT_EQ(apply(opcmd::LinearFill, img), 0);
    EXPECT_EQ(px(img, 0, 1), pixel_make(10, 20, 30, 0));
    EXPECT_EQ(px(img, 10, 1), pixel_make(10, 20, 30, 255));
}

TEST_F(Generators, ConcentricAndRadiatingAreSymmetricAboutTheCentre)
{
    PatternParams& p = pattern_params();
    Image* img = solid(31, 21, grey(100));
    ASSERT_EQ(apply(opcmd::Concentric, img), 0);
    EXPECT_EQ(px(img, 15, 10), pixel_make(p.cen_pal.red[0], p.cen_pal.green[0], p.cen_pal.blue[0], 255));
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 31; ++x) {
            EXPECT_EQ(px(img, x, y), px(img, 30 - x, y));
            EXPECT_EQ(px(img, x, y), px(img, x, 20 - y));
        }

    // Four rays: a quarter turn maps the pattern onto itself.
    p.rad_rays = 4;
    p.rad_turn = 0;
    p.rad_twist = 0;
    Image* r = solid(41, 41, grey(128));
    ASSERT_EQ(apply(opcmd::Radiating, r), 0);
    for (int y = 0; y < 41; y += 3)
        for (int x = 0; x < 41; x += 2)
            EXPECT_NEAR(pixel_r(px(r, x, y)), pixel_r(px(r, 40 - y, x)), 1) << x << "," << y;
    EXPECT_GT(pixel_r(px(r, 38, 20)), 128);  // on a ray
    EXPECT_LT(pixel_r(px(r, 36, 36)), 128);  // between two
    p.rad_strength = 0;
    EXPECT_EQ(apply(opcmd::Radiating, r), 2);
}

TEST_F(Generators, OutlineBandsFollowTheDistanceFromTheEdge)
{
    PatternParams& p = pattern_params();
    palette(p.out_pal, {255, 0, 0, 0, 255, 0, 0, 0, 255});
    p.out_width = 3;
    p.out_bands = 2;
    p.out_source = 0;
    p.out_side = 0;
    p.out_smooth = 0;
    p.out_offset = 1;
    Image* img = solid(20, 20, grey(50));
    ASSERT_EQ(apply(opcmd::Outline, img), 0);
    // Selection = whole image: band 0 (offset 1: green) is the outer three pixels.
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(px(img, x, 10), pixel_make(0, 255, 0, 255)) << x;
    for (int x = 3; x < 6; ++x)
        EXPECT_EQ(px(img, x, 10), pixel_make(0, 0, 255, 255)) << x;
    EXPECT_EQ(px(img, 10, 10), grey(50));  // past the two bands

    // The outline of bright shapes, outside them.
    p.out_source = 2;
    p.out_side = 1;
    p.out_threshold = 128;
    p.out_bands = 1;
    p.out_offset = 0;
    Image* s = make(20, 9, [](int x, int) { return x < 10 ? grey(255) : grey(0); });
    ASSERT_EQ(apply(opcmd::Outline, s), 0);
    EXPECT_EQ(px(s, 9, 4), grey(255));
    EXPECT_EQ(px(s, 10, 4), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(px(s, 12, 4), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(px(s, 13, 4), grey(0));
}

TEST_F(Generators, RandomTileKeepsThePictureWithoutShiftAndShufflesWholeTiles)
{
    PatternParams& p = pattern_params();
    p.tile_size[0] = 4, p.tile_size[1] = 3;
    p.tile_shift = 0;
    p.tile_gap = 0;
    p.tile_shuffle = 0;
    Image* img = ramp(16, 9);
    const std::vector<uint32_t> before = pixels(img);
    ASSERT_EQ(apply(opcmd::RandomTile, img), 0);
    EXPECT_EQ(pixels(img), before);

    // Shuffled, every tile is one of the original tiles, each used once.
    p.tile_shuffle = 1;
    ASSERT_EQ(apply(opcmd::RandomTile, img), 0);
    const std::vector<uint32_t> after = pixels(img);
    auto tile = [](const std::vector<uint32_t>& v, int tx, int ty) {
        std::vector<uint32_t> t;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                t.push_back(v[static_cast<size_t>(ty * 3 + y) * 16 + static_cast<size_t>(tx * 4 + x)]);
        return t;
    };
    std::multiset<std::vector<uint32_t>> a, b;
    for (int ty = 0; ty < 3; ++ty)
        for (int tx = 0; tx < 4; ++tx)
            a.insert(tile(before, tx, ty)), b.insert(tile(after, tx, ty));
    EXPECT_EQ(a, b);
    EXPECT_NE(after, before);
}

TEST_F(Generators, CellularOnARegularGridFillsSquaresWithTheirMean)
{
    PatternParams& p = pattern_params();
    p.cell_size = 6;
    p.cell_jitter = 0;
    p.cell_edge = 0;
    p.cell_fill = 0;
    Image* img = ramp(18, 12);
    const std::vector<uint32_t> before = pixels(img);
    ASSERT_EQ(apply(opcmd::Cellular, img), 0);
    for (int by = 0; by < 12; by += 6)
        for (int bx = 0; bx < 18; bx += 6) {
            int sum[3] = {0, 0, 0};
            for (int y = by; y < by + 6; ++y)
                for (int x = bx; x < bx + 6; ++x) {
                    const uint32_t o = before[static_cast<size_t>(y) * 18 + x];
                    sum[0] += pixel_r(o), sum[1] += pixel_g(o), sum[2] += pixel_b(o);
                }
            const uint32_t mean = pixel_make((sum[0] + 18) / 36, (sum[1] + 18) / 36, (sum[2] + 18) / 36, 255);
            for (int y = by; y < by + 6; ++y)
                for (int x = bx; x < bx + 6; ++x)
                    EXPECT_EQ(px(img, x, y), mean) << x << "," << y;
        }
}

TEST_F(Generators, LinedInkFollowsDarkness)
{
    PatternParams& p = pattern_params();
    p.line_paper = 1;
    p.line_thickness = 100;
    p.line_wave = 0;
    Image* white = solid(20, 20, grey(255));
    ASSERT_EQ(apply(opcmd::Lined, white), 0);
    for (uint32_t v : pixels(white))
        EXPECT_EQ(v, grey(255));
    Image* black = solid(20, 20, grey(0));
    ASSERT_EQ(apply(opcmd::Lined, black), 0);
    for (uint32_t v : pixels(black))
        EXPECT_EQ(v, grey(0));
    // Mid grey: lines half as wide as their spacing, horizontal at angle 0.
    p.line_angle = 0;
    p.line_spacing = 8;
    Image* mid = solid(4, 16, grey(128));
    ASSERT_EQ(apply(opcmd::Lined, mid), 0);
    EXPECT_EQ(px(mid, 1, 8), grey(0));
    EXPECT_EQ(px(mid, 1, 4), grey(255));
}

TEST_F(Generators, NetLeavesTheSkyAndDrawsAFlatGridLookingDown)
{
    PatternParams& p = pattern_params();
    p.net_tilt = 80;
    Image* img = ramp(40, 40);
    const std::vector<uint32_t> before = pixels(img);
    ASSERT_EQ(apply(opcmd::ThreeDNet, img), 0);
    const std::vector<uint32_t> after = pixels(img);
    for (size_t i = 0; i < 40 * 5; ++i)
        EXPECT_EQ(after[i], before[i]);  // above the horizon
    EXPECT_FALSE(changed(before, after).empty());

    // Straight down with no turn: lines are evenly spaced columns and rows.
    p.net_tilt = 0, p.net_turn = 0, p.net_cells = 4, p.net_fade = 0;
    Image* flat = solid(41, 41, kBlack);
    ASSERT_EQ(apply(opcmd::ThreeDNet, flat), 0);
    const std::vector<uint32_t> f = pixels(flat);
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 41; ++x)
            EXPECT_EQ(f[static_cast<size_t>(y) * 41 + x], f[static_cast<size_t>(x) * 41 + y]);
    EXPECT_NE(px(flat, 20, 3), kBlack);  // the line through the centre
}

// ---- lighting ---------------------------------------------------------------------

TEST_F(Generators, LightsOnlyBrightenAndSitWhereTheyShould)
{
    // Asterize: brightest at the centre, nothing darker anywhere, far corners untouched.
    Image* img = solid(61, 61, grey(40));
    ASSERT_EQ(apply(opcmd::Asterize, img), 0);
    const std::vector<uint32_t> star = pixels(img);
    for (uint32_t v : star)
        EXPECT_GE(pixel_r(v), 40);
    EXPECT_GT(lum(px(img, 30, 30)), lum(px(img, 30, 10)));
    EXPECT_EQ(px(img, 0, 0), grey(40));
    // A zero curve without a core changes nothing.
    std::fill_n(profile_find("asterize"), kProfilePoints, int16_t{0});
    lighting_params().star_core = 0;
    EXPECT_EQ(apply(opcmd::Asterize, img), 2);

    // Annular: the ring's middle is lit, the centre and corners are not.
    LightingParams& lp = lighting_params();
    lp.ring_radius = 50, lp.ring_width = 20;
    Image* ring = solid(41, 41, grey(40));
    ASSERT_EQ(apply(opcmd::Annular, ring), 0);
    EXPECT_EQ(px(ring, 20, 20), grey(40));
    EXPECT_EQ(px(ring, 0, 0), grey(40));
    EXPECT_GT(lum(px(ring, 30, 20)), 3 * 40 + 100);  // 10 pixels out: the ring's middle
    EXPECT_EQ(lum(px(ring, 30, 20)), lum(px(ring, 20, 10)));

    // Shine with four rays: a bright dot lights its row and column, not the diagonal.
    lp.shine_threshold = 200, lp.shine_rays = 4, lp.shine_length = 10, lp.shine_strength = 100;
    Image* dot = make(21, 21, [](int x, int y) { return x == 10 && y == 10 ? grey(255) : grey(20); });
    ASSERT_EQ(apply(opcmd::Shine, dot), 0);
    EXPECT_GT(pixel_r(px(dot, 14, 10)), 20);
    EXPECT_GT(pixel_r(px(dot, 10, 6)), 20);
    EXPECT_GT(pixel_r(px(dot, 12, 10)), pixel_r(px(dot, 16, 10)));
    EXPECT_EQ(px(dot, 13, 13), grey(20));
}

TEST_F(Generators, RefractPullsTheRingTowardsItsCurves)
{
    // The starting curves: a rainbow band at 0.7 of the way out; the centre keeps its colour.
    Image* img = solid(81, 81, pixel_make(200, 60, 60, 255));
    ASSERT_EQ(apply(opcmd::Refract, img), 0);
    EXPECT_EQ(px(img, 40, 40), pixel_make(200, 60, 60, 255));
    const uint32_t band = px(img, 40 + 28, 40);  // 0.7 of the half size
    EXPECT_NE(band, pixel_make(200, 60, 60, 255));
    EXPECT_GT(pixel_g(band), pixel_r(band));  // hue near 150: green-cyan
    lighting_params().refract_amount = 0;
    EXPECT_EQ(apply(opcmd::Refract, img), 2);
}

TEST_F(Generators, AuraGlowsOutsideBrightShapesAndFades)
{
    LightingParams& lp = lighting_params();
    lp.aura_source = 0, lp.aura_threshold = 200, lp.aura_size = 8, lp.aura_turbulence = 0, lp.aura_inside = 0;
    Image* img = make(40, 20, [](int x, int y) { return x >= 16 && x < 24 && y >= 6 && y < 14 ? grey(255) : grey(0); });
    ASSERT_EQ(apply(opcmd::Aura, img), 0);
    EXPECT_EQ(px(img, 20, 10), grey(255));
    EXPECT_GT(lum(px(img, 25, 10)), lum(px(img, 28, 10)));
    EXPECT_GT(lum(px(img, 28, 10)), 0);
    EXPECT_EQ(px(img, 33, 10), grey(0));  // beyond the size
    EXPECT_EQ(lum(px(img, 25, 10)), lum(px(img, 14, 10)));
}

TEST_F(Generators, FireRisesFromTheBottomAndLightningJoinsItsEnds)
{
    LightingParams& lp = lighting_params();
    lp.fire_height = 30;
    lp.fire_smoke = 0;
    Image* img = solid(60, 60, kBlack);
    ASSERT_EQ(apply(opcmd::Fire, img), 0);
    int bottom = 0;
    for (int x = 0; x < 60; ++x)
        bottom += lum(px(img, x, 59));
    EXPECT_GT(bottom, 60 * 200);
    for (int x = 0; x < 60; ++x)
        EXPECT_EQ(px(img, x, 0), kBlack);

    lp.bolt_from[0] = 0, lp.bolt_from[1] = 0, lp.bolt_to[0] = 100, lp.bolt_to[1] = 100;
    lp.bolt_glow = 0;
    Image* bolt = solid(50, 50, kBlack);
    ASSERT_EQ(apply(opcmd::Lightning, bolt), 0);
    EXPECT_EQ(px(bolt, 0, 0), pixel_make(255, 255, 255, 255));
    EXPECT_EQ(px(bolt, 49, 49), pixel_make(255, 255, 255, 255));
}

// ---- render -----------------------------------------------------------------------

TEST_F(Generators, GridLinesFallOnTheSetSpacing)
{
    RenderParams& p = render_params();
    p.grid_space[0] = 7, p.grid_space[1] = 5;
    p.grid_offset[0] = 3, p.grid_offset[1] = 2;
    p.grid_width = 1;
    p.grid_opacity = 100;
    p.grid_rgb[0] = p.grid_rgb[1] = p.grid_rgb[2] = 255;
    p.grid_major = 3;
    p.grid_major_width = 2;
    p.grid_major_rgb[0] = 255, p.grid_major_rgb[1] = 0, p.grid_major_rgb[2] = 0;
    p.grid_major_opacity = 100;
    p.grid_style = 0;
    p.grid_border = 0;
    p.grid_checker = 0;
    Image* img = solid(50, 40, kBlack);
    ASSERT_EQ(apply(opcmd::Grid, img), 0);
    auto line = [](int v, int origin, int space, int major, int major_width, bool* is_major) {
        const int k = static_cast<int>(std::floor((v - origin) / static_cast<double>(space)));
        const int within = v - origin - k * space;
        *is_major = k % major == 0;
        return within < (*is_major ? major_width : 1);
    };
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            bool mx, my;
            const bool vx = line(x, 3, 7, 3, 2, &mx), hy = line(y, 2, 5, 3, 2, &my);
            uint32_t want = kBlack;
            if ((vx && mx) || (hy && my))
                want = pixel_make(255, 0, 0, 255);
            else if (vx || hy)
                want = pixel_make(255, 255, 255, 255);
            EXPECT_EQ(px(img, x, y), want) << x << "," << y;
        }
    EXPECT_EQ(px(img, 3, 0), pixel_make(255, 0, 0, 255));   // line 0 is major
    EXPECT_EQ(px(img, 10, 0), pixel_make(255, 255, 255, 255));  // line 1
}

TEST_F(Generators, RulerTicksSitOnExactPixels)
{
    RenderParams& p = render_params();
    p.ruler_origin[0] = 5, p.ruler_origin[1] = 0;
    p.ruler_direction = 0;
    p.ruler_spacing = 10;
    p.ruler_major = 5, p.ruler_mid = 0;
    p.ruler_len[0] = 4, p.ruler_len[2] = 9;
    p.ruler_thickness = 1;
    p.ruler_rgb[0] = p.ruler_rgb[1] = p.ruler_rgb[2] = 255;
    p.ruler_band = 0, p.ruler_numbers = 0, p.ruler_side = 0;
    Image* img = solid(80, 20, kBlack);
    ASSERT_EQ(apply(opcmd::Ruler, img), 0);
    const uint32_t ink = pixel_make(255, 255, 255, 255);
    for (int x = 0; x < 80; ++x) {
        EXPECT_EQ(px(img, x, 0), ink);  // the edge line
        const bool tick = (x - 5) % 10 == 0;
        const int len = tick ? ((x - 5) / 10 % 5 == 0 ? 9 : 4) : 0;
        for (int y = 1; y < 20; ++y)
            EXPECT_EQ(px(img, x, y), y < len ? ink : kBlack) << x << "," << y;
    }
}

TEST_F(Generators, SeededGeneratorsRepeatAndDifferBySeed)
{
    struct Case {
        int32_t command;
        int32_t* seed;
    };
    const Case cases[] = {
        {opcmd::Lightning, &lighting_params().bolt_seed}, {opcmd::Fire, &lighting_params().fire_seed},
        {opcmd::RandomTile, &pattern_params().tile_seed}, {opcmd::Cellular, &pattern_params().cell_seed},
        {opcmd::Landscape, &render_params().land_seed},   {opcmd::Crater, &render_params().crater_seed},
        {opcmd::Texture, &render_params().tex_seed},      {opcmd::Aura, &lighting_params().aura_seed},
        {opcmd::Bang, &render_params().bang_seed},
    };
    pattern_params().tile_size[0] = pattern_params().tile_size[1] = 8;
    lighting_params().aura_threshold = 100;
    for (const Case& c : cases) {
        *c.seed = 7;
        const std::vector<uint32_t> a = run(c.command), b = run(c.command);
        *c.seed = 8;
        const std::vector<uint32_t> other = run(c.command);
        EXPECT_EQ(a, b) << c.command;
        EXPECT_NE(a, other) << c.command;
    }
}

TEST_F(Generators, LandscapeAndFlatMapShareTheirTerrain)
{
    RenderParams& p = render_params();
    // The sky's top colour at the top of the area.
    palette(p.land_pal2, {200, 200, 200, 10, 20, 250});
    Image* img = ramp(60, 40);
    ASSERT_EQ(apply(opcmd::Landscape, img), 0);
    EXPECT_EQ(px(img, 30, 0), pixel_make(10, 20, 250, 255));

    // All water, then none: the map's colours follow the level.
    p.land_water = 100;
    Image* sea = ramp(30, 30);
    ASSERT_EQ(apply(opcmd::FlatMap, sea), 0);
    for (uint32_t v : pixels(sea))
        EXPECT_GT(pixel_b(v), pixel_r(v));
    p.land_water = 0;
    p.map_shading = 0;
    palette(p.land_pal1, {0, 0, 0, 0, 250, 0});
    Image* land = ramp(30, 30);
    ASSERT_EQ(apply(opcmd::FlatMap, land), 0);
    std::set<int> greens;
    for (uint32_t v : pixels(land)) {
        EXPECT_EQ(pixel_r(v), 0);
        EXPECT_EQ(pixel_b(v), 0);
        greens.insert(pixel_g(v));
    }
    EXPECT_GT(greens.size(), 20u);  // heights vary
}

TEST_F(Generators, SurfacesKeepWhatTheyShould)
{
    RenderParams& p = render_params();
    // Exfoliation: the flakes gone at 30% are among those gone at 60%.
    p.exf_size = 8;
    p.exf_amount = 0;
    EXPECT_EQ(run(opcmd::Exfoliation), pixels(ramp(48, 36)));
    const std::vector<uint32_t> original = pixels(ramp(48, 36));
    p.exf_amount = 30;
    const std::vector<size_t> few = changed(original, run(opcmd::Exfoliation));
    p.exf_amount = 60;
    const std::vector<size_t> more = changed(original, run(opcmd::Exfoliation));
    EXPECT_FALSE(few.empty());
    EXPECT_GT(more.size(), few.size());

    // Entrainment of an even colour stays even; no length changes nothing.
    Image* even = solid(30, 20, pixel_make(90, 140, 30, 255));
    ASSERT_EQ(apply(opcmd::Entrainment, even), 0);
    for (uint32_t v : pixels(even))
        EXPECT_EQ(v, pixel_make(90, 140, 30, 255));
    p.ent_length = 0;
    EXPECT_EQ(run(opcmd::Entrainment), original);

    // Texture between two equal colours is that colour; at opacity 0 nothing.
    for (int k = 0; k < 3; ++k)
        p.tex_rgb1[k] = p.tex_rgb2[k] = 33 * (k + 1);
    for (int type = 0; type <= 4; ++type) {
        p.tex_type = type;
        for (uint32_t v : run(opcmd::Texture))
            EXPECT_EQ(v, pixel_make(33, 66, 99, 255)) << type;
    }
    p.tex_opacity = 0;
    EXPECT_EQ(run(opcmd::Texture), original);
}

TEST_F(Generators, BangPagecurlAndCraterPlaceTheirParts)
{
    RenderParams& p = render_params();
    p.bang_glow = 0;
    Image* img = solid(41, 41, kBlack);
    ASSERT_EQ(apply(opcmd::Bang, img), 0);
    EXPECT_EQ(px(img, 20, 20), pixel_make(p.bang_in_rgb[0], p.bang_in_rgb[1], p.bang_in_rgb[2], 255));
    EXPECT_EQ(px(img, 0, 0), kBlack);

    // The bottom right corner curls away: behind shows there, the top left is untouched.
    Image* page = ramp(40, 30);
    const uint32_t top_left = px(page, 0, 0);
    ASSERT_EQ(apply(opcmd::Pagecurl, page), 0);
    EXPECT_EQ(px(page, 39, 29), pixel_make(p.curl_bg_rgb[0], p.curl_bg_rgb[1], p.curl_bg_rgb[2], 255));
    EXPECT_EQ(px(page, 0, 0), top_left);

    // Crater: the shading darkens one wall and lights the other; beyond the rays nothing.
    p.crater_radius = 50, p.crater_ejecta = 40, p.crater_light = 180;  // light from the left
    Image* c = solid(61, 61, grey(120));
    ASSERT_EQ(apply(opcmd::Crater, c), 0);
    EXPECT_LT(pixel_r(px(c, 30 - 8, 30)), 120);  // the left wall faces right, away
    EXPECT_GT(pixel_r(px(c, 30 + 8, 30)), pixel_r(px(c, 30 - 8, 30)));
    EXPECT_EQ(px(c, 0, 0), grey(120));
    // Flat crater, no rays: no change, with the message.
    std::fill_n(profile_find("crater"), kProfilePoints, int16_t{128});
    std::fill_n(profile_find("ejecta"), kProfilePoints, int16_t{0});
    EXPECT_EQ(apply(opcmd::Crater, c), 2);
}

TEST_F(Generators, EmptyPalettesAndZeroProfilesGiveDefinedResults)
{
    for (OpPalette* pal : {&pattern_params().linear_pal, &pattern_params().cen_pal, &pattern_params().out_pal,
                           &render_params().land_pal1, &render_params().land_pal2, &render_params().julia_pal,
                           &render_params().mand_pal})
        pal->count = 0;
    for (int i = 0; i < kProfileCount; ++i)
        std::fill_n(profile_table()[i].values, kProfilePoints, int16_t{0});
    for (int32_t group : {3110, 3210, 3140, 3570})
        for (int i = 0; i < op_count(); ++i) {
            const OpDescriptor* d = op_at(i);
            if (d->group != group || !d->available || d->command == opcmd::RayTrace)
                continue;
            Image* a = ramp(7, 5);
            Image* b = ramp(7, 5);
            const int r = apply(d->command, a);
            EXPECT_TRUE(r == 0 || r == 2) << d->name << " gave " << r;
            EXPECT_EQ(apply(d->command, b), r) << d->name;
            EXPECT_EQ(pixels(a), pixels(b)) << d->name;
            image_free(a);
            image_free(b);
        }
    // Outline with no colours: black and white bands.
    pattern_params().out_width = 1;
    Image* o = solid(6, 6, grey(100));
    ASSERT_EQ(apply(opcmd::Outline, o), 0);
    EXPECT_EQ(px(o, 0, 3), kBlack);
    EXPECT_EQ(px(o, 1, 3), grey(255));
}

TEST_F(Generators, EveryGeneratorIsAvailableWithItsScriptArgumentCount)
{
    for (int32_t group : {3110, 3210, 3140, 3570}) {
        for (int i = 0; i < op_count(); ++i) {
            const OpDescriptor* d = op_at(i);
            if (d->group != group || d->command == opcmd::Particles)
                continue;
            EXPECT_TRUE(d->available) << d->name;
            if (d->command == opcmd::RayTrace)
                continue;
            EXPECT_NE(d->doc, nullptr) << d->name;
            int values = 0;
            for (const OpSlot& s : d->slots)
                if (s.used() && slot_is_value(s.kind))
                    ++values;
            // Landscape's camera, haze, water and ground beyond its four
            // have script commands of their own (LANDROT and the rest).
            if (d->command == opcmd::Landscape)
                EXPECT_GT(values, d->script_args);
            else
                EXPECT_EQ(values, d->script_args) << d->name;
        }
    }
}
