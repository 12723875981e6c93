// The Video and Art Groups: seeded repeatability, the legal NTSC range, the
// fields, stabilising against a known shift, and Oil Painting's most common
// colour.
#include "ops/art/art.h"
#include "ops/video/video.h"
#include "ops_fixture.h"

#include <cmath>

class VideoArt : public OpsTest {};

TEST_F(VideoArt, SeededEffectsRepeatAndChangeWithTheSeed)
{
    for (int32_t command : {opcmd::FilmGrain, opcmd::Jitter, opcmd::Flicker}) {
        auto run = [&](int seed) {
            video_params().grain_seed = video_params().jit_seed = video_params().flick_seed = seed;
            Image* img = ramp(40, 30);
            EXPECT_EQ(apply(command, img), 0);
            auto v = pixels(img);
            image_free(img);
            return v;
        };
        const auto a = run(5), b = run(5), c = run(6);
        EXPECT_EQ(a, b) << command;
        EXPECT_NE(a, c) << command;
    }
    // Film grain at 100 % has about the deviation it promises (64 levels).
    VideoParams& p = video_params();
    p.grain_amount = 100, p.grain_midtones = 0, p.grain_size = 1;
    Image* grey = solid(100, 100, pixel_make(128, 128, 128, 255));
    ASSERT_EQ(apply(opcmd::FilmGrain, grey), 0);
    double s = 0, s2 = 0;
    for (uint32_t v : pixels(grey)) {
        s += pixel_r(v);
        s2 += static_cast<double>(pixel_r(v)) * pixel_r(v);
    }
    const double mean = s / 10000, sd = std::sqrt(s2 / 10000 - mean * mean);
    EXPECT_NEAR(mean, 128, 3);
    EXPECT_NEAR(sd, 64, 6);
    image_free(grey);
}

TEST_F(VideoArt, NtscKeepsSafeColoursAndBringsHotOnesIntoRange)
{
    Image* img = make(3, 1, [](int x, int) {
        return x == 0 ? pixel_make(120, 110, 100, 255) : x == 1 ? pixel_make(255, 255, 0, 255) : pixel_make(255, 0, 0, 255);
    });
    const uint32_t safe = px(img, 0, 0);
    ASSERT_EQ(apply(opcmd::NTSCFilter, img), 0);
    EXPECT_EQ(px(img, 0, 0), safe);
    for (int x = 1; x < 3; ++x) {
        const uint32_t v = px(img, x, 0);
        const double r = pixel_r(v) / 255.0, g = pixel_g(v) / 255.0, b = pixel_b(v) / 255.0;
        const double y = 0.299 * r + 0.587 * g + 0.114 * b;
        const double i = 0.596 * r - 0.274 * g - 0.322 * b, q = 0.211 * r - 0.523 * g + 0.312 * b;
        EXPECT_LE(y + std::hypot(i, q), 1.10 + 0.02) << x;
    }
    image_free(img);
}

TEST_F(VideoArt, MakefieldsRebuildsTheOtherFieldAndScanlineDarkensEveryNthRow)
{
    Image* img = make(4, 6, [](int, int y) { return pixel_make(y * 40, 0, 0, 255); });
    video_params().field_which = 0;
    video_params().field_mode = 1;
    ASSERT_EQ(apply(opcmd::Makefields, img), 0);
    EXPECT_EQ(pixel_r(px(img, 0, 1)), 40);   // (0 + 80) / 2
    EXPECT_EQ(pixel_r(px(img, 0, 2)), 80);   // kept
    EXPECT_EQ(pixel_r(px(img, 0, 5)), 160);  // last row: the kept row above
    image_free(img);

    Image* s = solid(2, 6, pixel_make(200, 200, 200, 255));
    video_params().scan_spacing = 3, video_params().scan_dark = 50;
    ASSERT_EQ(apply(opcmd::Scanline, s), 0);
    EXPECT_EQ(pixel_r(px(s, 0, 2)), 100);
    EXPECT_EQ(pixel_r(px(s, 0, 5)), 100);
    EXPECT_EQ(pixel_r(px(s, 0, 3)), 200);
    image_free(s);
}

TEST_F(VideoArt, StabilizeFindsAKnownShiftAndMovesThePictureBack)
{
    auto scene = [](int x, int y) {
        return pixel_make(static_cast<int>(128 + 120 * std::sin(x * 0.3) * std::cos(y * 0.21)), (x * y) & 255, 60, 255);
    };
    Image* ref = make(64, 48, scene);
    Image* moved = make(64, 48, [&](int x, int y) { return scene(x - 5, y + 3); });
    image_set_role(ImageRole::Source, ref);
    video_params().stab_radius = 12;
    ASSERT_EQ(apply(opcmd::Stabilize, moved), 0);
    EXPECT_EQ(stabilize_result().dx, 5);
    EXPECT_EQ(stabilize_result().dy, -3);
    EXPECT_EQ(px(moved, 30, 20), scene(30, 20));
    image_set_role(ImageRole::Source, nullptr);
    image_free(ref);
    image_free(moved);
}

TEST_F(VideoArt, PaintersFlattenDetailButKeepFlatColour)
{
    // Oil Painting: a lone odd pixel in a field takes the field's colour.
    Image* img = make(9, 9, [](int x, int y) { return x == 4 && y == 4 ? pixel_make(255, 255, 255, 255) : pixel_make(30, 60, 90, 255); });
    art_params().oil_radius = 2;
    ASSERT_EQ(apply(opcmd::OilPainting, img), 0);
    EXPECT_EQ(px(img, 4, 4), pixel_make(30, 60, 90, 255));
    image_free(img);
    // Gouache and Toonize leave a flat picture flat; Watercolor lets the
    // paper's grain through, lighter than the paint.
    Image* wash = solid(12, 12, pixel_make(102, 102, 102, 255));
    ASSERT_EQ(apply(opcmd::Watercolor, wash), 0);
    for (uint32_t p : pixels(wash)) {
        EXPECT_GT(pixel_r(p), 102);
        EXPECT_LT(pixel_r(p), 140);
    }
    image_free(wash);
    for (int32_t command : {opcmd::Gouache, opcmd::Toonize}) {
        Image* flat = solid(12, 12, pixel_make(102, 102, 102, 255));
        ASSERT_EQ(apply(command, flat), 0);
        const auto v = pixels(flat);
        for (uint32_t p : v)
            ASSERT_EQ(p, v[0]) << command;
        image_free(flat);
    }
    // Blue Print: blue where the picture is flat, a bright line on an edge.
    Image* edge = make(16, 16, [](int x, int) { return x < 8 ? pixel_make(0, 0, 0, 255) : pixel_make(255, 255, 255, 255); });
    art_params().blue_grid = 0;
    ASSERT_EQ(apply(opcmd::BluePrint, edge), 0);
    EXPECT_EQ(px(edge, 2, 5), pixel_make(20, 60, 140, 255));
    EXPECT_GT(pixel_r(px(edge, 8, 5)), 200);
    image_free(edge);
}
