// The Geom Group: the resampler's arithmetic at its edges, Roll, Shear and
// Swirl at the cases their formulas pin down, a property each designed
// operation promises its user, and warp layers that compose as the
// operation does.
#include "core/parallel.h"
#include "core/undo.h"
#include "layers/composite.h"
#include "layers/layer_manage.h"
#include "ops/geom/geom.h"
#include "ops/geom/geom_internal.h"
#include "ops_fixture.h"

#include <cmath>

namespace {

GeomParams& G()
{
    return g_geom_params;
}

// A picture whose red and green say where a pixel was: r = k·x, g = k·y,
// so that a bilinear sample tells the position it was taken at.
constexpr int kStep = 7;

int max_diff(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int s = 0; s < 32; s += 8)
        d = std::max(d, std::abs(static_cast<int>((a >> s) & 255) - static_cast<int>((b >> s) & 255)));
    return d;
}

} // namespace

class Geom : public OpsTest {
protected:
    Image* where(int w, int h)
    {
        return make(w, h, [](int x, int y) { return pixel_make(kStep * x, kStep * y, 90, 255); });
    }
    // The position a pixel of `where` was taken from.
    static double from_x(uint32_t p) { return pixel_r(p) / static_cast<double>(kStep); }
    static double from_y(uint32_t p) { return pixel_g(p) / static_cast<double>(kStep); }

    void TearDown() override
    {
        forget_registered_operations();
        OpsTest::TearDown();
    }
};

// ---- the resampler and the three formulas --------------------------------------

TEST_F(Geom, RollByTheWidthChangesNothingAndByMinusOneMovesTheFirstColumnOn)
{
    Image* img = ramp(13, 7);
    const std::vector<uint32_t> before = pixels(img);
    G().roll_dx = 13;
    G().roll_dy = -7 * 3;
    ASSERT_EQ(apply(opcmd::Roll, img), 0);
    EXPECT_EQ(pixels(img), before);

    G().roll_dx = -1;
    G().roll_dy = 0;
    ASSERT_EQ(apply(opcmd::Roll, img), 0);
    for (int y = 0; y < 7; ++y) {
        EXPECT_EQ(px(img, 1, y), before[y * 13 + 0]);
        EXPECT_EQ(px(img, 0, y), before[y * 13 + 12]);  // the last column came round
        EXPECT_EQ(px(img, 12, y), before[y * 13 + 11]);
    }

    // Within the area: the roll wraps inside the rectangle and nothing
    // outside it moves.
    Image* a = ramp(10, 6);
    const std::vector<uint32_t> old = pixels(a);
    use_mask(a, [](int, int) { return 255; }, AreaRect{2, 1, 5, 4, 0, 0, 0, 0});
    G().roll_dx = 1;
    G().roll_dy = 0;
    G().roll_switch = 1;
    ASSERT_EQ(apply(opcmd::Roll, a), 0);
    EXPECT_EQ(px(a, 2, 1), old[1 * 10 + 3]);
    EXPECT_EQ(px(a, 5, 1), old[1 * 10 + 2]);
    EXPECT_EQ(px(a, 6, 1), old[1 * 10 + 6]);
    EXPECT_EQ(px(a, 2, 0), old[0 * 10 + 2]);
}

TEST_F(Geom, ShearZeroWrapOffAndTheClearOutsideSwitch)
{
    Image* img = ramp(8, 8);
    const std::vector<uint32_t> before = pixels(img);
    G().shear_amount = 0;
    for (int d = 0; d < 4; ++d) {
        G().shear_direction = d;
        ASSERT_EQ(apply(opcmd::Shear, img), 0);
        EXPECT_EQ(pixels(img), before) << d;
    }

    // a = 0.5, direction 0: column 4 slides by 0.5·4/8·8 = 2 rows.
    G().shear_amount = 0.5f;
    G().shear_direction = 0;
    G().shear_wrap = 0;
    ASSERT_EQ(apply(opcmd::Shear, img), 0);
    EXPECT_EQ(px(img, 4, 1), before[3 * 8 + 4]);
    EXPECT_EQ(px(img, 4, 6), before[6 * 8 + 4]);  // from row 8: outside, the old pixel stays
    EXPECT_EQ(px(img, 0, 7), before[7 * 8 + 0]);  // column 0 does not move

    Image* c = ramp(8, 8);
    G().shear_switch = 1;
    ASSERT_EQ(apply(opcmd::Shear, c), 0);
    EXPECT_EQ(px(c, 4, 6), before[6 * 8 + 4] & 0x00FFFFFFu);  // transparent, colour kept
    EXPECT_EQ(pixel_a(px(c, 4, 1)), 255);
    EXPECT_EQ(c->alpha, 1);

    Image* w = ramp(8, 8);
    G().shear_switch = 0;
    G().shear_wrap = 1;
    ASSERT_EQ(apply(opcmd::Shear, w), 0);
    EXPECT_EQ(px(w, 4, 6), before[0 * 8 + 4]);  // row 8 wraps to row 0
}

TEST_F(Geom, ShearRoundsTheProductToSinglePrecision)
{
    // 0.9f · 5/6 is 0.74999998… in double but 0.75 in single precision, so
    // column 5 of a 6 × 6 image reads row 4.5: an even mix of rows 4 and 5
    // (fraction 128/256 rather than 127).
    Image* img = make(6, 6, [](int, int y) { return pixel_make(40 * y, 0, 0, 255); });
    G().shear_amount = 0.9f;
    G().shear_direction = 0;
    G().shear_wrap = 1;
    ASSERT_EQ(apply(opcmd::Shear, img), 0);
    EXPECT_EQ(pixel_r(px(img, 5, 0)), (160 + 200) / 2);
}

TEST_F(Geom, TheResamplerCopiesAPixelExactlyAndRepeatsTheEdge)
{
    // A mapping of the test's own through the common worker that reads the
    // published mapping.
    static double shift;
    OpRow row{};
    row.command = opcmd::Wonk;
    row.worker = worker_place_xy(geom_resample);
    row.mapping = [](int x, int y, double* sx, double* sy, unsigned* shade) {
        *sx = x + shift;
        *sy = y;
        *shade = 0;
    };
    ASSERT_TRUE(op_register(row));
    Image* img = ramp(9, 3);
    const std::vector<uint32_t> before = pixels(img);
    shift = 2;
    ASSERT_EQ(apply(opcmd::Wonk, img), 0);
    EXPECT_EQ(px(img, 3, 1), before[1 * 9 + 5]);
    EXPECT_EQ(px(img, 6, 1), before[1 * 9 + 8]);
    EXPECT_EQ(px(img, 8, 1), before[1 * 9 + 8]);  // beyond the right edge: the edge pixel

    // Half way between two pixels: each channel (a·128 + b·128)/65536·256.
    Image* h = make(4, 1, [](int x, int) { return pixel_make(x * 50, 255 - x * 50, 7, 255 - x); });
    shift = 0.5;
    ASSERT_EQ(apply(opcmd::Wonk, h), 0);
    EXPECT_EQ(px(h, 1, 0), pixel_make(75, 180, 7, 253));  // alpha (254·128 + 253·128)/256
    EXPECT_EQ(px(h, 3, 0), pixel_make(150, 105, 7, 252));  // c1 is c0 at the edge

    // Mask weight 128 mixes (n·128 + o·127)/255.
    Image* m = make(2, 1, [](int x, int) { return pixel_make(x ? 200 : 0, 0, 0, 255); });
    use_mask(m, [](int, int) { return 128; }, AreaRect{0, 0, 1, 0, 0, 0, 0, 0});
    shift = 1;
    ASSERT_EQ(apply(opcmd::Wonk, m), 0);
    EXPECT_EQ(pixel_r(px(m, 0, 0)), 200 * 128 / 255);
}

TEST_F(Geom, SwirlKeepsTheRimAndTheCentreAndTurnsNearTheCentreByAlmostS)
{
    Image* img = where(33, 33);  // centre (16, 16), half sizes 16
    const std::vector<uint32_t> before = pixels(img);
    G().swirl_amount = 90;
    ASSERT_EQ(apply(opcmd::Swirl, img), 0);
    for (auto [x, y] : {std::pair{32, 16}, {0, 16}, {16, 0}, {16, 32}, {16, 16}})
        EXPECT_EQ(px(img, x, y), before[y * 33 + x]) << x << "," << y;
    // Two pixels right of the centre: r = 1/8, turned by (1 − 1/8)·0.9 rad.
    const uint32_t p = px(img, 18, 16);
    const double turned = std::atan2(from_y(p) - 16, from_x(p) - 16);
    EXPECT_NEAR(turned, 0.875 * 0.9, 0.08);
    EXPECT_NEAR(std::hypot(from_x(p) - 16, from_y(p) - 16), 2, 0.2);

    // 0 is refused with message 65; silently while a sequence is generated.
    G().swirl_amount = 0;
    EXPECT_EQ(apply(opcmd::Swirl, img), 2);
    EXPECT_TRUE(said("Message 065"));
    platform.clear_transcript();
    op_set_generating(true);
    EXPECT_EQ(apply(opcmd::Swirl, img), 2);
    op_set_generating(false);
    EXPECT_FALSE(said("065"));
}

TEST_F(Geom, TheCommonWorkerAndTheInlinedOnesAgree)
{
    // Swirl (exact formula), Kaleidoscope (snapped) and Roll (whole pixels)
    // through the worker
    // that reads the published mapping give the rows' very pixels.
    for (int32_t command : {opcmd::Swirl, opcmd::Kaleidoscope, opcmd::Waves, opcmd::Roll, opcmd::Mirror}) {
        Image* a = ramp(41, 29);
        Image* b = ramp(41, 29);
        ASSERT_EQ(apply(command, a), 0);
        OpRow row{};
        row.command = command;
        row.worker = worker_place_xy(geom_resample);
        row.mapping = op_by_command(command)->mapping;
        row.prepare = op_by_command(command)->prepare;
        ASSERT_TRUE(op_register(row));
        ASSERT_EQ(apply(command, b), 0);
        EXPECT_EQ(pixels(a), pixels(b)) << op_by_command(command)->name;
        forget_registered_operations();
        build_catalogue();
    }
}

TEST_F(Geom, AlphaModeMovesOnlyTheAlpha)
{
    Image* img = make(6, 2, [](int x, int) { return pixel_make(10 * x, 20, 30, 40 * x); });
    settings().mod_alpha = 1;
    G().roll_dx = 1;
    G().roll_dy = 0;
    ASSERT_EQ(apply(opcmd::Roll, img), 0);
    EXPECT_EQ(px(img, 2, 0), pixel_make(20, 20, 30, 120));
    EXPECT_EQ(px(img, 5, 1), pixel_make(50, 20, 30, 0));
}

// ---- the designed mappings -------------------------------------------------------

TEST_F(Geom, DomeMagnifiesTheMiddlePinchesWhenNegativeAndLeavesTheOutside)
{
    for (int strength : {200, -100}) {
        Image* img = where(33, 25);
        const std::vector<uint32_t> before = pixels(img);
        G().dome_strength = strength;
        ASSERT_EQ(apply(opcmd::Dome, img), 0);
        EXPECT_EQ(px(img, 16, 12), before[12 * 33 + 16]);  // the centre
        EXPECT_EQ(px(img, 0, 0), before[0]);              // outside the ellipse
        EXPECT_EQ(px(img, 32, 12), before[12 * 33 + 32]); // on the rim
        const double d = std::hypot(from_x(px(img, 22, 15)) - 16, from_y(px(img, 22, 15)) - 12);
        if (strength > 0)
            EXPECT_LT(d, std::hypot(6, 3) * 0.8);
        else
            EXPECT_GT(d, std::hypot(6, 3) * 1.1);
    }
    G().dome_strength = 0;
    EXPECT_EQ(apply(opcmd::Dome, where(5, 5)), 2);
}

TEST_F(Geom, FlipTwiceAndTurnFourTimesGiveThePictureBack)
{
    Image* img = ramp(11, 6);
    const std::vector<uint32_t> before = pixels(img);
    G().flip_horizontal = 1;
    G().flip_vertical = 1;
    ASSERT_EQ(apply(opcmd::Flip, img), 0);
    EXPECT_EQ(px(img, 0, 0), before[5 * 11 + 10]);
    ASSERT_EQ(apply(opcmd::Flip, img), 0);
    EXPECT_EQ(pixels(img), before);
    G().flip_horizontal = G().flip_vertical = 0;
    EXPECT_EQ(apply(opcmd::Flip, img), 2);

    // A quarter turn makes 11 × 6 into 6 × 11: the top-left pixel goes to
    // the top-right corner.
    for (int dir : {0, 1}) {
        G().turn_direction = dir;
        ASSERT_EQ(apply(opcmd::Turn90, img), 0);
        EXPECT_EQ(img->width, 6u);
        EXPECT_EQ(img->height, 11);
        EXPECT_EQ(px(img, dir == 0 ? 5 : 0, dir == 0 ? 0 : 10), before[0]);
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(apply(opcmd::Turn90, img), 0);
        EXPECT_EQ(img->width, 11u);
        EXPECT_EQ(pixels(img), before);
    }
    // Undo gives the old size back.
    ASSERT_EQ(apply(opcmd::Turn90, img), 0);
    ASSERT_EQ(undo_apply(img), 0);
    EXPECT_EQ(img->width, 11u);
    EXPECT_EQ(img->height, 6);
    EXPECT_EQ(pixels(img), before);
    EXPECT_EQ(img->locks, 0);
}

TEST_F(Geom, FlipWorksWithinTheAreaByItsWeight)
{
    Image* img = ramp(8, 4);
    const std::vector<uint32_t> before = pixels(img);
    use_mask(img, [](int x, int) { return x == 3 ? 128 : 255; }, AreaRect{2, 0, 5, 3, 0, 0, 0, 0});
    G().flip_horizontal = 1;
    G().flip_vertical = 0;
    ASSERT_EQ(apply(opcmd::Flip, img), 0);
    EXPECT_EQ(px(img, 2, 1), before[1 * 8 + 5]);
    EXPECT_EQ(px(img, 1, 1), before[1 * 8 + 1]);
    EXPECT_EQ(pixel_r(px(img, 3, 1)), (pixel_r(before[1 * 8 + 4]) * 128 + pixel_r(before[1 * 8 + 3]) * 127) / 255);
}

TEST_F(Geom, MirrorIsSymmetric)
{
    for (int side = 0; side <= 4; ++side) {
        Image* img = ramp(12, 9);
        G().mirror_side = side;
        ASSERT_EQ(apply(opcmd::Mirror, img), 0);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 12; ++x) {
                if (side != 2 && side != 3) {
                    EXPECT_EQ(px(img, x, y), px(img, 11 - x, y)) << side;
                }
                if (side >= 2) {
                    EXPECT_EQ(px(img, x, y), px(img, x, 8 - y)) << side;
                }
            }
    }
}

TEST_F(Geom, RotateZeroIsRefusedQuarterTurnsAreExactAndNoAngleBreaks)
{
    Image* img = ramp(9, 5);
    const std::vector<uint32_t> before = pixels(img);
    for (float a : {0.f, 360.f, -720.f}) {
        G().rotate_angle = a;
        EXPECT_EQ(apply(opcmd::Rotate, img), 2);
        EXPECT_EQ(pixels(img), before);
    }
    // 90 degrees grown is Turn 90; 180 within the image is both flips.
    G().rotate_angle = 90;
    G().rotate_grow = 1;
    ASSERT_EQ(apply(opcmd::Rotate, img), 0);
    Image* turned = ramp(9, 5);
    G().turn_direction = 0;
    ASSERT_EQ(apply(opcmd::Turn90, turned), 0);
    EXPECT_EQ(img->width, 5u);
    EXPECT_EQ(pixels(img), pixels(turned));

    Image* half = ramp(9, 5);
    Image* flipped = ramp(9, 5);
    G().rotate_angle = -180;
    G().rotate_grow = 0;
    ASSERT_EQ(apply(opcmd::Rotate, half), 0);
    G().flip_horizontal = G().flip_vertical = 1;
    ASSERT_EQ(apply(opcmd::Flip, flipped), 0);
    EXPECT_EQ(pixels(half), pixels(flipped));

    // Any angle: the corners it leaves are transparent black, the centre
    // stays, nothing is read outside the picture (the sanitizers watch).
    for (float a : {30.f, 45.f, 99999.f, -0.001f, 1e-6f}) {
        for (int grow : {0, 1}) {
            Image* r = ramp(7, 4);
            G().rotate_angle = a;
            G().rotate_grow = grow;
            ASSERT_EQ(apply(opcmd::Rotate, r), 0) << a;
            EXPECT_GE(r->width, 1u);
            if (a == 45.f && grow) {
                EXPECT_EQ(r->width, 8u);  // ⌈(7 + 4)/√2⌉
                EXPECT_EQ(px(r, 0, 0), 0u);
            }
            EXPECT_EQ(r->locks, 0);
        }
    }
}

TEST_F(Geom, KaleidoscopeSegmentsMatch)
{
    Image* img = make(65, 65, [](int x, int y) { return pixel_make(3 * x, 3 * y, 3 * (x + y) / 2, 255); });
    G().kaleido_segments = 4;
    G().kaleido_angle = 0;
    G().kaleido_mirror = 1;
    ASSERT_EQ(apply(opcmd::Kaleidoscope, img), 0);
    // A quarter turn about the centre (32, 32) and the mirror in the axis.
    int worst = 0;
    for (int b = -20; b <= 20; ++b)
        for (int a = -20; a <= 20; ++a) {
            const uint32_t p = px(img, 32 + a, 32 + b);
            worst = std::max(worst, max_diff(p, px(img, 32 - b, 32 + a)));
            worst = std::max(worst, max_diff(p, px(img, 32 + a, 32 - b)));
        }
    EXPECT_LE(worst, 1);
    G().kaleido_segments = 1;
    G().kaleido_mirror = 0;
    EXPECT_EQ(apply(opcmd::Kaleidoscope, img), 2);
}

TEST_F(Geom, WavesOfSquareShapeRollEachRowWithinTheArea)
{
    Image* img = ramp(16, 8);
    const std::vector<uint32_t> before = pixels(img);
    G().waves_amp_x = 3;
    G().waves_amp_y = 0;
    G().waves_length_x = 8;
    G().waves_phase_x = 22;  // no row falls on a zero of the wave
    G().waves_shape = 2;
    G().waves_wrap = 1;
    G().waves_shade = 0;
    ASSERT_EQ(apply(opcmd::Waves, img), 0);
    // Rows 0..3 take the picture 3 to the right, rows 4..7 from 3 to the left.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const int from = y < 4 ? (x + 3) % 16 : (x + 13) % 16;
            EXPECT_EQ(px(img, x, y), before[y * 16 + from]) << x << "," << y;
        }
    G().waves_amp_x = 0;
    EXPECT_EQ(apply(opcmd::Waves, img), 2);
}

TEST_F(Geom, RadialWaveZigzagKeepsTheDistanceAndDampingStopsAtTheRim)
{
    Image* img = where(31, 31);
    const std::vector<uint32_t> before = pixels(img);
    G().radial_amp = 6;
    G().radial_length = 9;
    G().radial_damping = 100;
    G().radial_mode = 1;
    G().radial_shade = 0;
    ASSERT_EQ(apply(opcmd::RadialWave, img), 0);
    EXPECT_EQ(px(img, 0, 0), before[0]);        // beyond the rim: still
    EXPECT_EQ(px(img, 15, 15), before[15 * 31 + 15]);
    for (auto [x, y] : {std::pair{20, 15}, {12, 22}, {9, 9}, {24, 18}}) {
        const uint32_t p = px(img, x, y);
        EXPECT_NEAR(std::hypot(from_x(p) - 15, from_y(p) - 15), std::hypot(x - 15, y - 15), 0.35) << x << "," << y;
    }
}

TEST_F(Geom, TurbulenceAndMeltFollowTheirSeed)
{
    for (int32_t command : {opcmd::Turbulence, opcmd::Melt}) {
        Image* a = ramp(40, 30);
        Image* b = ramp(40, 30);
        Image* c = ramp(40, 30);
        G().turbulence_seed = G().melt_seed = 5;
        ASSERT_EQ(apply(command, a), 0);
        ASSERT_EQ(apply(command, b), 0);
        G().turbulence_seed = G().melt_seed = 6;
        ASSERT_EQ(apply(command, c), 0);
        EXPECT_EQ(pixels(a), pixels(b));
        EXPECT_NE(pixels(a), pixels(c));
    }
    // Melt holds the top row.
    Image* m = ramp(40, 30);
    const std::vector<uint32_t> before = pixels(m);
    G().melt_direction = 0;
    ASSERT_EQ(apply(opcmd::Melt, m), 0);
    const std::vector<uint32_t> after = pixels(m);
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 40, before.begin()));
}

TEST_F(Geom, SurfaceWarpOfAFlatSourceChangesNothingAndAMapMovesEveryPixel)
{
    Image* img = ramp(12, 6);
    const std::vector<uint32_t> before = pixels(img);
    Image* flat = solid(5, 5, pixel_make(90, 90, 90, 255));
    image_set_role(ImageRole::Source, flat);
    G().surface_amount = 20;
    G().surface_method = 0;
    ASSERT_EQ(apply(opcmd::SurfaceWarp, img), 0);
    EXPECT_EQ(pixels(img), before);

    // Red 192 is half the amount to the right.
    Image* map = solid(3, 3, pixel_make(192, 128, 0, 255));
    image_set_role(ImageRole::Source, map);
    G().surface_amount = 4;
    G().surface_method = 1;
    ASSERT_EQ(apply(opcmd::SurfaceWarp, img), 0);
    EXPECT_EQ(px(img, 3, 2), before[2 * 12 + 5]);
    EXPECT_EQ(px(img, 11, 2), before[2 * 12 + 11]);

    // Its own source: the relief of the picture as it was, not as it is
    // being changed.
    image_set_role(ImageRole::Source, nullptr);
    Image* self = ramp(12, 6);
    G().surface_method = 0;
    ASSERT_EQ(apply(opcmd::SurfaceWarp, self), 0);
    EXPECT_EQ(self->locks, 0);
}

TEST_F(Geom, BendKeepsItsEndsAndClearsWhatComesFromOutside)
{
    Image* img = ramp(9, 20);  // half height 10
    const std::vector<uint32_t> before = pixels(img);
    G().bend_amount = 30;
    G().bend_direction = 0;
    G().bend_peak = 50;
    G().bend_clear = 1;
    ASSERT_EQ(apply(opcmd::Bend, img), 0);
    for (int y = 0; y < 20; ++y) {
        EXPECT_EQ(px(img, 0, y), before[y * 9 + 0]);
        EXPECT_EQ(px(img, 8, y), before[y * 9 + 8]);
    }
    EXPECT_EQ(px(img, 4, 10), before[7 * 9 + 4]);  // the middle sags by 3
    EXPECT_EQ(pixel_a(px(img, 4, 1)), 0);          // from row −2
}

TEST_F(Geom, CirceRoundsTheAreaAndClearsTheCorners)
{
    Image* img = where(31, 31);
    const std::vector<uint32_t> before = pixels(img);
    ASSERT_EQ(apply(opcmd::Circe, img), 0);
    EXPECT_EQ(px(img, 0, 0), before[0] & 0x00FFFFFFu);
    EXPECT_EQ(px(img, 15, 15), before[15 * 31 + 15]);
    EXPECT_EQ(px(img, 30, 15), before[15 * 31 + 30]);
    // Near the rim on the diagonal the picture's corner region shows.
    const uint32_t p = px(img, 25, 25);
    EXPECT_GT(from_x(p), 26.5);
    EXPECT_GT(from_y(p), 26.5);
    EXPECT_EQ(img->alpha, 1);
}

TEST_F(Geom, WonkAndPolarKeepTheirFixedPoints)
{
    // The frame of a 21 × 15 area (u, v = ±1) and its centre stay.
    Image* w = ramp(21, 15);
    const std::vector<uint32_t> before = pixels(w);
    ASSERT_EQ(apply(opcmd::Wonk, w), 0);
    for (int y = 0; y < 15; ++y) {
        EXPECT_EQ(px(w, 0, y), before[y * 21 + 0]);
        EXPECT_EQ(px(w, 20, y), before[y * 21 + 20]);
    }
    for (int x = 0; x < 21; ++x) {
        EXPECT_EQ(px(w, x, 0), before[x]);
        EXPECT_EQ(px(w, x, 14), before[14 * 21 + x]);
    }
    EXPECT_EQ(px(w, 10, 7), before[7 * 21 + 10]);
    EXPECT_NE(pixels(w), before);

    // Straight below the centre is half a turn round: the middle column.
    Image* p = where(21, 21);
    ASSERT_EQ(apply(opcmd::PolarRec, p), 0);
    EXPECT_NEAR(from_x(px(p, 10, 18)), 10, 0.2);
    EXPECT_NEAR(from_y(px(p, 10, 18)), 16, 0.2);  // r = 0.8 of the way down
}

TEST_F(Geom, PerspectiveOfTheWholeAreaIsTheSourceAndALineIsRefused)
{
    Image* img = ramp(10, 7);
    const std::vector<uint32_t> before = pixels(img);
    const int32_t square[8] = {0, 0, 100, 0, 100, 100, 0, 100};
    std::memcpy(G().persp, square, sizeof square);
    ASSERT_EQ(apply(opcmd::Perspective, img), 0);
    EXPECT_EQ(pixels(img), before);

    // Another source is stretched into the corners.
    Image* src = make(3, 2, [](int x, int y) { return pixel_make(100 * x, 200 * y, 5, 255); });
    image_set_role(ImageRole::Source, src);
    ASSERT_EQ(apply(opcmd::Perspective, img), 0);
    EXPECT_EQ(px(img, 0, 0), pixel_make(0, 0, 5, 255));
    EXPECT_EQ(px(img, 9, 6), pixel_make(200, 200, 5, 255));

    // All four corners in a line, and three of them: no change, refused.
    const int32_t line[8] = {0, 0, 30, 30, 60, 60, 100, 100};
    std::memcpy(G().persp, line, sizeof line);
    EXPECT_EQ(apply(opcmd::Perspective, img), 2);
    const int32_t three[8] = {0, 0, 50, 0, 100, 0, 0, 100};
    std::memcpy(G().persp, three, sizeof three);
    EXPECT_EQ(apply(opcmd::Perspective, img), 2);
}

TEST_F(Geom, TheWholeImageOperationsGiveTheSamePixelsOnAnyNumberOfThreadsAndCancel)
{
    G().flip_horizontal = G().flip_vertical = 1;
    G().rotate_angle = 33;
    for (int32_t command : {opcmd::Flip, opcmd::Turn90, opcmd::Rotate, opcmd::Perspective}) {
        for (int grow : {0, 1}) {
            G().rotate_grow = grow;
            std::vector<uint32_t> results[2];
            for (int t = 0; t < 2; ++t) {
                parallel_set_threads(t == 0 ? 1 : 4);
                Image* img = ramp(301, 203);
                ASSERT_EQ(apply(command, img), 0);
                results[t] = pixels(img);
            }
            EXPECT_EQ(results[0], results[1]) << op_by_command(command)->name;
        }
        // A cancel half way leaves the picture as it was.
        Image* img = ramp(301, 203);
        const std::vector<uint32_t> before = pixels(img);
        platform.cancel_after = platform.pumps + 1;
        EXPECT_EQ(apply(command, img), 1) << op_by_command(command)->name;
        platform.cancel_after = -1;
        EXPECT_EQ(img->width, 301u);
        EXPECT_EQ(pixels(img), before) << op_by_command(command)->name;
    }
    parallel_set_threads(0);
}

// ---- warp layers ---------------------------------------------------------------

class GeomWarp : public Geom {
protected:
    // A master holding `where` pixels and a zero warp layer over it;
    // `plain` is an ordinary image of what the master shows before the warp.
    Image* master_with_warp(int w, int h, Image** warp, Image** plain)
    {
        Image* m = where(w, h);
        EXPECT_EQ(layer_make_master(m), 0);
        *warp = layer_create_warp(m);
        EXPECT_NE(*warp, nullptr);
        const std::vector<uint32_t> shown = composited(m);
        *plain = make(w, h, [&](int x, int y) { return shown[static_cast<size_t>(y * w + x)]; });
        return m;
    }
    std::vector<uint32_t> composited(Image* m)
    {
        EXPECT_EQ(composite_layers(m), 0);
        return pixels(m);
    }
};

TEST_F(GeomWarp, ARolledOrFlippedWarpShowsTheRolledOrFlippedPicture)
{
    Image* warp = nullptr;
    Image* expect = nullptr;
    Image* m = master_with_warp(12, 8, &warp, &expect);
    G().roll_dx = 3;
    G().roll_dy = -2;
    ASSERT_EQ(apply(opcmd::Roll, warp), 0);
    ASSERT_EQ(apply(opcmd::Roll, expect), 0);
    EXPECT_EQ(composited(m), pixels(expect));

    G().flip_horizontal = 1;
    G().flip_vertical = 0;
    ASSERT_EQ(apply(opcmd::Flip, warp), 0);
    ASSERT_EQ(apply(opcmd::Flip, expect), 0);
    EXPECT_EQ(composited(m), pixels(expect));
    layers_close(m);
}

TEST_F(GeomWarp, ASwirledWarpShowsTheSwirlWithinTheSixteenthSteps)
{
    Image* warp = nullptr;
    Image* expect = nullptr;
    Image* m = master_with_warp(33, 33, &warp, &expect);
    G().swirl_amount = 120;
    ASSERT_EQ(apply(opcmd::Swirl, warp), 0);
    ASSERT_EQ(apply(opcmd::Swirl, expect), 0);
    const std::vector<uint32_t> got = composited(m), want = pixels(expect);
    int worst = 0;
    for (int y = 4; y < 29; ++y)
        for (int x = 4; x < 29; ++x)
            if (std::hypot(x - 16, y - 16) < 14)
                worst = std::max(worst, max_diff(got[y * 33 + x], want[y * 33 + x]));
    EXPECT_LE(worst, 2);
    layers_close(m);
}
