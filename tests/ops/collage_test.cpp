// The Collage Group: the resampler against exact block means and constant
// pictures, sizes and undo of the resizing operations, and one property a
// user relies on for each of the others.
#include "core/gmem.h"
#include "core/undo.h"
#include "ops/collage/canvas.h"
#include "ops/collage/collage.h"
#include "ops_fixture.h"

#include <cmath>

namespace {

double psnr(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int k = 0; k < 3; ++k) {
            const double d = static_cast<double>((a[i] >> (8 * k)) & 255) - ((b[i] >> (8 * k)) & 255);
            se += d * d;
        }
    const double mse = se / (3.0 * static_cast<double>(a.size()));
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

} // namespace

class Collage : public OpsTest {
protected:
    // A smooth picture (what photographs are, mostly).
    Image* smooth(int w, int h)
    {
        return make(w, h, [](int x, int y) {
            return pixel_make(static_cast<int>(128 + 100 * std::sin(x * 0.07)), static_cast<int>(128 + 90 * std::cos(y * 0.05)),
                              (x + y) % 256, 255);
        });
    }
};

TEST_F(Collage, ResamplerAreaAverageIsTheBlockMeanAndKernelsKeepAFlatPicture)
{
    // 4 x 2 pixels reduced to 2 x 1: each output is the mean of its 2 x 2 block.
    const uint8_t in[4 * 8] = {0, 0, 0, 255,   100, 0, 0, 255, 10, 20, 30, 255, 30, 20, 10, 255,
                               200, 0, 0, 255, 100, 4, 0, 255, 50, 60, 70, 255, 70, 60, 50, 255};
    uint8_t out[8];
    ASSERT_TRUE(resample::resize({in, 4, 2, 4}, {out, 2, 1, 2}, resample::Auto));
    EXPECT_EQ(out[0], 100);
    EXPECT_EQ(out[1], 1);
    EXPECT_EQ(out[4], 40);
    EXPECT_EQ(out[6], 40);
    // A flat picture stays flat through every filter and ratio, edges included.
    std::vector<uint8_t> flat(4 * 13 * 7);
    for (size_t i = 0; i < flat.size(); ++i)
        flat[i] = static_cast<uint8_t>(i % 4 == 3 ? 255 : 77 + i % 4);
    for (int f = 0; f < resample::kFilterCount; ++f)
        for (long w : {1L, 5L, 13L, 40L}) {
            std::vector<uint8_t> o(4 * static_cast<size_t>(w) * 19);
            ASSERT_TRUE(resample::resize({flat.data(), 13, 7, 13}, {o.data(), w, 19, w}, f));
            for (size_t i = 0; i < o.size(); ++i)
                ASSERT_EQ(o[i], i % 4 == 3 ? 255 : 77 + i % 4) << "filter " << f << " width " << w;
        }
}

TEST_F(Collage, EnlargeThenReduceByTheSameFactorComesBackCloseAndUndoGivesTheSizeBack)
{
    Image* img = smooth(96, 64);
    const std::vector<uint32_t> before = pixels(img);
    collage_params().enlarge_pct = 300;
    ASSERT_EQ(apply(opcmd::Enlarge, img), 0);
    EXPECT_EQ(img->width, 288u);
    EXPECT_EQ(img->height, 192);
    collage_params().spx_w = 96;
    collage_params().spx_h = 64;
    ASSERT_EQ(apply(opcmd::SPixel, img), 0);
    ASSERT_EQ(img->width, 96u);
    EXPECT_GT(psnr(before, pixels(img)), 35.0);
    // Undo twice: the enlarged, then the original picture, pixel for pixel.
    ASSERT_EQ(undo_apply(img), 0);
    ASSERT_EQ(undo_apply(img), 0);
    EXPECT_EQ(img->width, 96u);
    EXPECT_EQ(pixels(img), before);
    image_free(img);
}

TEST_F(Collage, SizesOutOfRangeAreRefusedAndLeaveTheImage)
{
    Image* img = ramp(45, 30);
    const auto before = pixels(img);
    collage_params().sp_w = 1;  // 0.45 pixels wide
    collage_params().sp_h = 50;
    EXPECT_EQ(apply(opcmd::SPercent, img), 2);
    EXPECT_TRUE(said("between 1 and 40000"));
    collage_params().enlarge_pct = 100000;  // 45 000 pixels wide
    EXPECT_EQ(apply(opcmd::Enlarge, img), 2);
    collage_params().ext[0] = -45;  // nothing left
    collage_params().ext[1] = collage_params().ext[2] = collage_params().ext[3] = 0;
    EXPECT_EQ(apply(opcmd::Extend, img), 2);
    collage_params().reduce_pct = 100;
    EXPECT_EQ(apply(opcmd::Reduce, img), 2);  // the same size: no change
    EXPECT_EQ(img->width, 45u);
    EXPECT_EQ(pixels(img), before);
    image_free(img);
}


// Whichever allocation fails (the undo capture, the new pixel block, the
// resampler's scratch rows), Enlarge either finishes or says so and leaves
// the image as it was, with nothing locked.
TEST_F(Collage, EnlargeThatCannotHaveItsMemoryLeavesTheImage)
{
    Image* img = smooth(40, 30);
    const auto before = pixels(img);
    collage_params().enlarge_pct = 250;
    int failures = 0;
    for (long n = 0; n < 12; ++n) {
        gmem_fail_after(n);
        const int r = apply(opcmd::Enlarge, img);
        gmem_fail_after(-1);
        EXPECT_EQ(img->locks, 0) << n;
        if (r == 0) {
            EXPECT_EQ(img->width, 100u) << n;
            ASSERT_EQ(undo_apply(img), 0);
        } else {
            ++failures;
        }
        EXPECT_EQ(img->width, 40u) << n;
        EXPECT_EQ(img->height, 30) << n;
        EXPECT_EQ(pixels(img), before) << n;
    }
    EXPECT_GT(failures, 0);
    EXPECT_TRUE(said("Message 022: Not enough memory for operation."));
    image_free(img);
}
TEST_F(Collage, ResizeOffKeepsTheSizeAndScalesTheAreaInPlace)
{
    Image* img = make(20, 20, [](int x, int y) { return x >= 8 && x < 12 && y >= 8 && y < 12 ? pixel_make(255, 0, 0, 255) : pixel_make(0, 0, 0, 255); });
    collage_params().enlarge_pct = 200;
    collage_params().enlarge_resize = 0;
    collage_params().enlarge_filter = resample::Nearest;
    ASSERT_EQ(apply(opcmd::Enlarge, img), 0);
    EXPECT_EQ(img->width, 20u);
    // The red square doubled about the middle: 6..13.
    EXPECT_EQ(px(img, 6, 6), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(px(img, 13, 13), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(px(img, 5, 10), pixel_make(0, 0, 0, 255));
    image_free(img);
}

TEST_F(Collage, ClipGivesTheAreasSizeAndClearsWhatTheSelectionLeavesOut)
{
    Image* img = ramp(50, 40);
    const uint32_t corner = px(img, 10, 5);
    use_mask(img, [](int x, int y) { return x >= 10 && x <= 29 && y >= 5 && y <= 14 ? (x == 10 ? 0 : 255) : 0; },
             AreaRect{10, 5, 29, 14, 0, 0, 0, 0});
    collage_params().clip_outside = 1;
    ASSERT_EQ(apply(opcmd::Clip, img), 0);
    EXPECT_EQ(img->width, 20u);
    EXPECT_EQ(img->height, 10);
    EXPECT_EQ(px(img, 0, 0), corner & 0x00FFFFFFu);  // weight 0: clear
    EXPECT_EQ(pixel_a(px(img, 1, 0)), 255);
    EXPECT_EQ(img->alpha, 1);
    ASSERT_EQ(undo_apply(img), 0);
    EXPECT_EQ(img->width, 50u);
    image_free(img);
}

TEST_F(Collage, ExtendAddsBordersOfEachModeAndTrimsWithNegatives)
{
    Image* img = make(4, 3, [](int x, int y) { return pixel_make(x * 10, y * 10, 0, 255); });
    CollageParams& p = collage_params();
    p.ext[0] = 2, p.ext[1] = 1, p.ext[2] = 3, p.ext[3] = 0;
    p.ext_mode = 2;  // mirror
    ASSERT_EQ(apply(opcmd::Extend, img), 0);
    ASSERT_EQ(img->width, 9u);
    ASSERT_EQ(img->height, 4);
    EXPECT_EQ(px(img, 0, 1), pixel_make(10, 0, 0, 255));  // x -2 mirrors to 1
    EXPECT_EQ(px(img, 8, 0), pixel_make(10, 0, 0, 255));  // x 6 mirrors to 1, y -1 to 0
    p.ext[0] = -2, p.ext[1] = -1, p.ext[2] = -3, p.ext[3] = 0;
    ASSERT_EQ(apply(opcmd::Extend, img), 0);
    EXPECT_EQ(img->width, 4u);
    EXPECT_EQ(px(img, 3, 2), pixel_make(30, 20, 0, 255));
    p.ext[0] = p.ext[1] = p.ext[2] = p.ext[3] = 1;
    p.ext_mode = 4;
    ASSERT_EQ(apply(opcmd::Extend, img), 0);
    EXPECT_EQ(pixel_a(px(img, 0, 0)), 0);
    EXPECT_EQ(img->alpha, 1);
    image_free(img);
}

TEST_F(Collage, StrokePaintsTheBrushAlongTheSelectionEdgeOnly)
{
    Image* img = solid(30, 30, pixel_make(0, 0, 0, 255));
    Image* brush = make(3, 3, [](int x, int y) { return pixel_make(255, 0, 0, x == 1 || y == 1 ? 255 : 0); });
    image_set_role(ImageRole::Brush, brush);
    use_mask(img, [](int x, int y) { return x >= 10 && x < 20 && y >= 10 && y < 20 ? 255 : 0; },
             AreaRect{10, 10, 19, 19, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::Stroke, img), 0);
    EXPECT_EQ(px(img, 10, 10), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(px(img, 19, 15), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(px(img, 15, 15), pixel_make(0, 0, 0, 255));  // the middle stays
    EXPECT_EQ(px(img, 2, 2), pixel_make(0, 0, 0, 255));
    image_set_role(ImageRole::Brush, nullptr);
    image_free(brush);
    image_free(img);
}

TEST_F(Collage, LinesFollowTheAreaAndTheOpenOneLeavesItsClosingEdge)
{
    op_set_line_tool_images(false);
    settings().color_fill[0] = 0, settings().color_fill[1] = 255, settings().color_fill[2] = 0;
    Image* a = solid(20, 20, pixel_make(0, 0, 0, 255));
    Image* b = solid(20, 20, pixel_make(0, 0, 0, 255));
    auto area = [this](Image* img) {
        use_mask(img, [](int, int) { return 255; }, AreaRect{2, 3, 15, 12, 0, 0, 0, 0});
    };
    area(a);
    ASSERT_EQ(apply(opcmd::ClosedLine, a), 0);
    area(b);
    ASSERT_EQ(apply(opcmd::OpenLineEdge, b), 0);
    const uint32_t green = pixel_make(0, 255, 0, 255);
    EXPECT_EQ(px(a, 2, 3), green);
    EXPECT_EQ(px(a, 15, 8), green);
    EXPECT_EQ(px(a, 2, 8), green);  // the closing edge, left side
    EXPECT_EQ(px(b, 15, 8), green);
    EXPECT_NE(px(b, 2, 8), green);
    EXPECT_EQ(px(a, 8, 8), pixel_make(0, 0, 0, 255));
    // With the line tool's switch on, the line takes the source's colours.
    Image* src = solid(20, 20, pixel_make(0, 0, 250, 255));
    image_set_role(ImageRole::Source, src);
    op_set_line_tool_images(true);
    area(a);
    ASSERT_EQ(apply(opcmd::ClosedLine, a), 0);
    EXPECT_EQ(px(a, 2, 8), pixel_make(0, 0, 250, 255));
    op_set_line_tool_images(false);
    image_set_role(ImageRole::Source, nullptr);
    image_free(src);
    image_free(a);
    image_free(b);
}

TEST_F(Collage, TransitionEndsArePureAndTheWipeMovesAcross)
{
    Image* src = solid(20, 10, pixel_make(250, 250, 250, 255));
    image_set_role(ImageRole::Source, src);
    CollageParams& p = collage_params();
    p.tr_type = 1;
    p.tr_soft = 0;
    for (int amount : {0, 50, 100}) {
        Image* img = solid(20, 10, pixel_make(0, 0, 0, 255));
        p.tr_amount = amount;
        ASSERT_EQ(apply(opcmd::Transition, img), 0);
        int lit = 0;
        for (int x = 0; x < 20; ++x)
            lit += pixel_r(px(img, x, 5)) > 128;
        EXPECT_EQ(lit, amount / 5) << amount;
        if (amount == 50) {
            EXPECT_GT(pixel_r(px(img, 0, 5)), 128);  // from the left
        }
        image_free(img);
    }
    image_set_role(ImageRole::Source, nullptr);
    image_free(src);
}

TEST_F(Collage, TilerMergeAndPlaceBringTheSourceIn)
{
    Image* src = make(8, 8, [](int x, int) { return x < 4 ? pixel_make(200, 0, 0, 255) : pixel_make(0, 0, 200, 255); });
    image_set_role(ImageRole::Source, src);
    CollageParams& p = collage_params();
    // Tiler: 2 x 1 tiles, no gap, mirrored: the second tile's left is blue.
    Image* t = solid(16, 8, pixel_make(0, 0, 0, 255));
    p.tile_cols = 2, p.tile_rows = 1, p.tile_gap = 0, p.tile_mirror = 1, p.tile_layout = 0;
    ASSERT_EQ(apply(opcmd::Tiler, t), 0);
    EXPECT_EQ(px(t, 0, 0), pixel_make(200, 0, 0, 255));
    EXPECT_EQ(px(t, 8, 0), pixel_make(0, 0, 200, 255));
    // Random layout: the same seed, the same tiles.
    p.tile_layout = 2;
    Image* r1 = solid(40, 40, 0xFF000000u);
    Image* r2 = solid(40, 40, 0xFF000000u);
    ASSERT_EQ(apply(opcmd::Tiler, r1), 0);
    ASSERT_EQ(apply(opcmd::Tiler, r2), 0);
    EXPECT_EQ(pixels(r1), pixels(r2));
    // Merge in multiply mode at full amount: white takes the source.
    Image* m = solid(8, 8, pixel_make(255, 255, 255, 255));
    p.merge_amount = 100, p.merge_mode = 1;
    ASSERT_EQ(apply(opcmd::Merge, m), 0);
    EXPECT_EQ(px(m, 1, 1), pixel_make(200, 0, 0, 255));
    // Place, fit keeping the aspect, into a wide area: centred with margins.
    Image* pl = solid(24, 8, pixel_make(0, 0, 0, 255));
    p.place_fit = 1;
    ASSERT_EQ(apply(opcmd::Place, pl), 0);
    EXPECT_EQ(px(pl, 2, 4), pixel_make(0, 0, 0, 255));
    EXPECT_EQ(px(pl, 9, 4), pixel_make(200, 0, 0, 255));
    EXPECT_EQ(px(pl, 14, 4), pixel_make(0, 0, 200, 255));
    image_set_role(ImageRole::Source, nullptr);
    for (Image* i : {src, t, r1, r2, m, pl})
        image_free(i);
}

TEST_F(Collage, KeyInReplacesTheKeyAndDofKeepsTheFocusSharp)
{
    Image* src = solid(10, 10, pixel_make(9, 9, 9, 255));
    image_set_role(ImageRole::Source, src);
    Image* img = make(10, 10, [](int x, int) { return x < 5 ? pixel_make(0, 0, 255, 255) : pixel_make(250, 200, 0, 255); });
    CollageParams& p = collage_params();
    p.key_rgb[0] = 0, p.key_rgb[1] = 0, p.key_rgb[2] = 255, p.key_tol = 30, p.key_soft = 0;
    ASSERT_EQ(apply(opcmd::KeyIn, img), 0);
    EXPECT_EQ(px(img, 2, 2), pixel_make(9, 9, 9, 255));
    EXPECT_EQ(px(img, 7, 2), pixel_make(250, 200, 0, 255));
    image_set_role(ImageRole::Source, nullptr);
    image_free(src);
    image_free(img);

    // Depth: the left half near (0), the right far (255); the middle of the
    // image is on the right, so the right stays sharp and the left blurs.
    Image* depth = make(40, 20, [](int x, int) { return x < 12 ? pixel_make(0, 0, 0, 255) : pixel_make(255, 255, 255, 255); });
    Image* pic = make(40, 20, [](int x, int y) { return (x + y) % 2 ? pixel_make(255, 255, 255, 255) : pixel_make(0, 0, 0, 255); });
    image_set_role(ImageRole::Source, depth);
    p.dof_radius = 3;
    const uint32_t sharp = px(pic, 30, 10);
    ASSERT_EQ(apply(opcmd::DOF, pic), 0);
    EXPECT_EQ(px(pic, 30, 10), sharp);
    const int blurred = pixel_r(px(pic, 4, 10));
    EXPECT_GT(blurred, 80);
    EXPECT_LT(blurred, 180);
    image_set_role(ImageRole::Source, nullptr);
    image_free(depth);
    image_free(pic);
}
