// The Alpha Group: the properties a user relies on, and Make Area's
// selection against the alpha channel pixel for pixel.
#include "areas/area.h"
#include "ops/alpha/alpha.h"
#include "ops_fixture.h"

class Alpha : public OpsTest {
protected:
    std::vector<int> alphas(Image* img)
    {
        std::vector<int> a;
        for (uint32_t p : pixels(img))
            a.push_back(static_cast<int>(p >> 24));
        return a;
    }
    // Alpha varies across the picture.
    Image* soft(int w, int h)
    {
        return make(w, h, [](int x, int y) { return pixel_make(x * 9 & 255, y * 7 & 255, 90, (x * 13 + y * 5) & 255); });
    }
};

TEST_F(Alpha, InvertTwiceIsTheIdentityAndMarksTheAlpha)
{
    Image* img = soft(31, 17);
    const auto before = pixels(img);
    ASSERT_EQ(apply(opcmd::InvertAlpha, img), 0);
    EXPECT_EQ(pixel_a(px(img, 3, 2)), 255 - pixel_a(before[2 * 31 + 3]));
    EXPECT_EQ(img->alpha, 1);
    ASSERT_EQ(apply(opcmd::InvertAlpha, img), 0);
    EXPECT_EQ(pixels(img), before);
    image_free(img);
}

TEST_F(Alpha, KeyHardenClipAndMakeShapeAlphaAsTheirNamesSay)
{
    // Key to Alpha: green gone, red kept, a near green half way.
    Image* img = make(3, 1, [](int x, int) {
        return x == 0 ? pixel_make(0, 255, 0, 255) : x == 1 ? pixel_make(255, 0, 0, 255) : pixel_make(0, 155, 0, 255);
    });
    AlphaParams& p = alpha_params();
    p.key_tol = 50, p.key_soft = 100;
    ASSERT_EQ(apply(opcmd::KeyToAlpha, img), 0);
    EXPECT_EQ(pixel_a(px(img, 0, 0)), 0);
    EXPECT_EQ(pixel_a(px(img, 1, 0)), 255);
    EXPECT_NEAR(pixel_a(px(img, 2, 0)), 128, 1);  // distance 100: half across the softness
    image_free(img);

    // Harden with no softness: only 0 and 255 remain, split at the threshold.
    Image* h = soft(16, 16);
    const auto before = alphas(h);
    p.hard_threshold = 100, p.hard_soft = 0;
    ASSERT_EQ(apply(opcmd::HardenAlpha, h), 0);
    const auto after = alphas(h);
    for (size_t i = 0; i < after.size(); ++i)
        ASSERT_EQ(after[i], before[i] >= 100 ? 255 : 0);
    image_free(h);

    // Clip Alpha with stretching: the ends go to 0 and 255, the middle spreads.
    Image* c = make(3, 1, [](int x, int) { return pixel_make(0, 0, 0, x == 0 ? 10 : x == 1 ? 128 : 250); });
    p.clip_low = 16, p.clip_high = 240, p.clip_stretch = 1;
    ASSERT_EQ(apply(opcmd::ClipAlpha, c), 0);
    EXPECT_EQ(alphas(c), (std::vector<int>{0, (128 - 16) * 255 / 224, 255}));
    image_free(c);

    // Make Alpha from a source's brightness, inverted.
    Image* src = make(2, 1, [](int x, int) { return x ? pixel_make(255, 255, 255, 255) : pixel_make(0, 0, 0, 255); });
    Image* m = solid(2, 1, pixel_make(10, 20, 30, 255));
    image_set_role(ImageRole::Source, src);
    p.make_invert = 1;
    ASSERT_EQ(apply(opcmd::MakeAlpha, m), 0);
    EXPECT_EQ(alphas(m), (std::vector<int>{255, 0}));
    EXPECT_EQ(pixel_r(px(m, 1, 0)), 10);  // colours stay
    image_set_role(ImageRole::Source, nullptr);
    image_free(src);
    image_free(m);
}

TEST_F(Alpha, SoftenKeepsAFlatAlphaAndShaveErodesTheEdge)
{
    // A 6 x 6 opaque square on clear ground.
    auto square = [this]() {
        return make(20, 20, [](int x, int y) { return pixel_make(50, 60, 70, x >= 7 && x < 13 && y >= 7 && y < 13 ? 255 : 0); });
    };
    Image* s = square();
    alpha_params().shave_amount = 1;
    ASSERT_EQ(apply(opcmd::ShaveAlpha, s), 0);
    int opaque = 0;
    for (int a : alphas(s))
        opaque += a == 255;
    EXPECT_EQ(opaque, 16);  // 4 x 4 left
    EXPECT_EQ(pixel_a(px(s, 7, 7)), 0);
    image_free(s);

    Image* b = square();
    alpha_params().soft_radius = 4;
    ASSERT_EQ(apply(opcmd::SoftenAlpha, b), 0);
    EXPECT_GT(pixel_a(px(b, 6, 10)), 0);     // the edge spreads out
    EXPECT_LT(pixel_a(px(b, 7, 10)), 255);   // and in
    EXPECT_EQ(pixel_r(px(b, 10, 10)), 50);  // colour untouched
    image_free(b);

    Image* flat = solid(9, 9, pixel_make(1, 2, 3, 77));
    ASSERT_EQ(apply(opcmd::SoftenAlpha, flat), 0);
    for (int a : alphas(flat))
        ASSERT_EQ(a, 77);
    image_free(flat);
}

// An image without alpha: the operations that reshape alpha leave it alone
// and say so, while those that make alpha give it some.
TEST_F(Alpha, AnImageWithoutAlphaIsLeftOpaqueByTheReshapingOperations)
{
    Image* img = solid(12, 8, pixel_make(40, 80, 120, 255));
    const auto before = pixels(img);
    alpha_params().hard_threshold = 255;  // would halve opaque alpha if it ran
    for (int32_t op : {opcmd::HardenAlpha, opcmd::SoftenAlpha, opcmd::ShaveAlpha, opcmd::ClipAlpha}) {
        EXPECT_EQ(apply(op, img), 2) << op;
        EXPECT_EQ(img->alpha, 0) << op;
        EXPECT_EQ(pixels(img), before) << op;
    }
    EXPECT_TRUE(said("Message 065"));
    ASSERT_EQ(apply(opcmd::InvertAlpha, img), 0);
    EXPECT_EQ(img->alpha, 1);
    EXPECT_EQ(pixel_a(px(img, 5, 5)), 0);
    image_free(img);
}

TEST_F(Alpha, PromoteAndSampleShowTheAlphaInTheColours)
{
    Image* img = make(4, 1, [](int x, int) { return pixel_make(200, 100, 0, x == 0 ? 255 : x == 1 ? 0 : 128); });
    AlphaParams& p = alpha_params();
    p.promote_rgb[0] = p.promote_rgb[1] = p.promote_rgb[2] = 0;
    p.promote_opaque = 1;
    ASSERT_EQ(apply(opcmd::PromoteRGB, img), 0);
    EXPECT_EQ(px(img, 0, 0), pixel_make(200, 100, 0, 255));
    EXPECT_EQ(px(img, 1, 0), pixel_make(0, 0, 0, 255));
    EXPECT_EQ(px(img, 2, 0), pixel_make(100, 50, 0, 255));
    image_free(img);

    // Spreading: a clear pixel takes its nearest neighbour's colour, keeps its alpha.
    Image* sp = make(5, 1, [](int x, int) { return x == 0 ? pixel_make(9, 8, 7, 255) : pixel_make(0, 0, 0, 0); });
    p.promote_mode = 1, p.promote_opaque = 0;
    ASSERT_EQ(apply(opcmd::PromoteRGB, sp), 0);
    EXPECT_EQ(px(sp, 4, 0), pixel_make(9, 8, 7, 0));
    image_free(sp);

    Image* g = make(2, 1, [](int x, int) { return pixel_make(10, 20, 30, x ? 200 : 0); });
    ASSERT_EQ(apply(opcmd::SampleA, g), 0);
    EXPECT_EQ(px(g, 0, 0), pixel_make(0, 0, 0, 0));
    EXPECT_EQ(px(g, 1, 0), pixel_make(200, 200, 200, 200));
    image_free(g);
}

TEST_F(Alpha, MakeAreaSelectsExactlyThePixelsAtTheThreshold)
{
    // A ring with a hole, a lone pixel, two pixels touching at a corner, and
    // pixels at the image's edges.
    auto opaque = [](int x, int y) {
        const int dx = x - 12, dy = y - 10;
        const int d2 = dx * dx + dy * dy;
        return (d2 <= 49 && d2 > 9) || (x == 2 && y == 2) || (x == 4 && y == 4) || (x == 5 && y == 5) ||
               (x == 0 && y == 19) || (x == 29 && y < 3);
    };
    Image* img = make(30, 20, [&](int x, int y) { return pixel_make(1, 2, 3, opaque(x, y) ? 255 : (x + y) % 100); });
    alpha_params().area_threshold = 128;
    ASSERT_EQ(apply(opcmd::MakeArea, img), 0);
    ASSERT_TRUE(area_state().present);
    EXPECT_EQ(area_state().current.mode, AreaMode::FREEHAND);
    ASSERT_EQ(build_area_mask(img, false), 0);
    uint8_t* m = mask_lock();
    ASSERT_NE(m, nullptr);
    int wrong = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            wrong += m[y * 30 + x] != (opaque(x, y) ? 255 : 0);
    mask_unlock();
    EXPECT_EQ(wrong, 0);
    // The image itself is untouched; nothing to undo.
    EXPECT_EQ(img->changes, 0);

    // No pixel at the threshold: refused with a message.
    Image* clear = solid(4, 4, pixel_make(0, 0, 0, 0));
    EXPECT_NE(apply(opcmd::MakeArea, clear), 0);
    EXPECT_TRUE(said("no pixel's alpha reaches the threshold"));
    image_free(clear);
    image_free(img);
}
