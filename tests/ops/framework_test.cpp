#include "../core/log_capture.h"
#include "core/gmem.h"
#include "core/undo.h"
#include "areas/area.h"
#include "ops_fixture.h"

using Framework = OpsTest;

namespace {
constexpr uint32_t kPixel = pixel_make(100, 50, 200, 77);
constexpr uint32_t kNegated = pixel_make(155, 205, 55, 77);
} // namespace

TEST_F(Framework, MaskWeightBlendsTheWorkersResultAndKeepsAlpha)
{
    Image* img = solid(3, 1, kPixel);
    const int weights[3] = {255, 128, 0};
    use_mask(img, [&](int x, int) { return weights[x]; }, AreaRect{0, 0, 2, 0, 1, 0, 1, 0});
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    EXPECT_EQ(px(img, 0, 0), kNegated);
    // (n·128 + o·127) / 255 per channel.
    EXPECT_EQ(px(img, 1, 0), pixel_make((155 * 128 + 100 * 127) / 255, (205 * 128 + 50 * 127) / 255,
                                        (55 * 128 + 200 * 127) / 255, 77));
    EXPECT_EQ(px(img, 2, 0), kPixel);
    EXPECT_EQ(img->changes, 1);
}

TEST_F(Framework, ReversedCornersAndRectanglesBeyondTheImage)
{
    Image* a = ramp(6, 5);
    Image* b = ramp(6, 5);
    Image* c = ramp(6, 5);
    use_mask(a, [](int, int) { return 255; }, AreaRect{1, 1, 4, 3, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::Negative, a), 0);
    use_mask(b, [](int, int) { return 255; }, AreaRect{4, 3, 1, 1, 0, 0, 0, 0});  // dragged right to left
    ASSERT_EQ(apply(opcmd::Negative, b), 0);
    EXPECT_EQ(pixels(a), pixels(b));
    EXPECT_EQ(area_mask().rect.x0, 1);
    EXPECT_EQ(area_mask().rect.x1, 4);
    EXPECT_NE(px(a, 1, 1), px(c, 1, 1));
    EXPECT_EQ(px(a, 0, 0), px(c, 0, 0));
    EXPECT_EQ(px(a, 5, 4), px(c, 5, 4));
    // The redraw covers the rectangle grown by one pixel.
    EXPECT_EQ(platform.redraws.back(), "0,0,5,4");

    // Reaching outside the image, the rectangle is clipped.
    Image* d = ramp(6, 5);
    use_mask(d, [](int, int) { return 255; }, AreaRect{-10, 2, 100, 100, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::Negative, d), 0);
    EXPECT_EQ(px(d, 0, 1), px(c, 0, 1));
    EXPECT_EQ(px(d, 5, 4), px(c, 5, 4) ^ 0x00FFFFFFu);
    EXPECT_EQ(area_mask().rect.y1, 4);

    // A 1 x 1 image: one pixel visited.
    settings().work_method = 0;
    Image* one = solid(1, 1, kPixel);
    ASSERT_EQ(apply(opcmd::Negative, one), 0);
    EXPECT_EQ(px(one, 0, 0), kNegated);
}

TEST_F(Framework, AlphaModeChangesOnlyAlphaAndSeesTransparentAsBlack)
{
    settings().mod_alpha = 1;
    Image* img = make(2, 1, [](int x, int) { return x == 0 ? pixel_make(10, 20, 30, 0) : pixel_make(10, 20, 30, 200); });
    ASSERT_EQ(img->alpha, 0);
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    EXPECT_EQ(img->alpha, 1);
    EXPECT_EQ(px(img, 0, 0), pixel_make(10, 20, 30, 255));
    EXPECT_EQ(px(img, 1, 0), pixel_make(10, 20, 30, 55));

    // 2: alpha when the view shows it.
    settings().mod_alpha = 2;
    Image* b = solid(1, 1, kPixel);
    ASSERT_EQ(apply(opcmd::Negative, b), 0);
    EXPECT_EQ(px(b, 0, 0), kNegated);
    platform.shows_alpha = true;
    ASSERT_EQ(apply(opcmd::Negative, b), 0);
    EXPECT_EQ(px(b, 0, 0), pixel_make(155, 205, 55, 178));
}

TEST_F(Framework, WithAlphaFoldsTheAlphaIntoTheMask)
{
    settings().with_alpha = 1;
    Image* img = make(2, 1, [](int x, int) { return pixel_make(100, 50, 200, x == 0 ? 0 : 255); });
    img->alpha = 1;
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    EXPECT_EQ(px(img, 0, 0), pixel_make(100, 50, 200, 0));
    EXPECT_EQ(px(img, 1, 0), pixel_make(155, 205, 55, 255));
}

TEST_F(Framework, AbortHalfWayLeavesTheImageAsItWas)
{
    Image* img = ramp(8, 10);
    std::vector<uint32_t> before = pixels(img);
    platform.cancel_after = 5;
    EXPECT_EQ(apply(opcmd::Negative, img), 1);
    EXPECT_EQ(pixels(img), before);
    EXPECT_EQ(img->changes, 0);
    EXPECT_EQ(platform.redraws.back(), "whole");
    EXPECT_EQ(progress_state().depth, 0);
}

TEST_F(Framework, OperationsKeepEveryUndoLevelAndDropOnlyUndoneOnes)
{
    settings().work_method = 0;
    Image* img = solid(2, 2, kPixel);
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    ASSERT_EQ(undo_apply(img), 0);
    ASSERT_EQ(undo_apply(img), 0);
    EXPECT_EQ(px(img, 0, 0), kNegated);
    // A new change ends the redo of the two undone, not the undo of the first.
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    EXPECT_EQ(undo_redo(img, -1), 1);
    ASSERT_EQ(undo_apply(img), 0);
    ASSERT_EQ(undo_apply(img), 0);
    EXPECT_EQ(px(img, 0, 0), kPixel);
}

TEST_F(Framework, WithoutUndoLevelsPixelOperationsStillRun)
{
    settings().undo_want = 0;
    undo_set_levels(20, 0);
    Image* img = solid(3, 3, kPixel);
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    EXPECT_EQ(px(img, 1, 1), kNegated);
}

namespace {
// A geometric worker that moves every pixel one to the left, reading the
// image as it was before the operation from the capture.
void shift_left(uint8_t* p, int x, int y, int)
{
    Image* cap = op_state().capture;
    int sx = x + 1 < static_cast<int>(cap->width) ? x + 1 : x;
    std::memcpy(p, cap->pixel(sx, y), 4);
}
} // namespace

TEST_F(Framework, GeometricApplierReadsTheCaptureAndNeedsIt)
{
    image_lock(ramp(1, 1));  // (a spare image so the capture has company)
    OpRow b{};
    b.command = opcmd::Roll;
    b.worker.place_xy = shift_left;
    ASSERT_TRUE(op_register(b));
    Image* img = ramp(5, 2);
    std::vector<uint32_t> before = pixels(img);
    ASSERT_EQ(apply(opcmd::Roll, img), 0);
    EXPECT_EQ(px(img, 0, 0), before[1]);
    EXPECT_EQ(px(img, 3, 1), before[5 + 4]);
    EXPECT_EQ(op_state().capture, nullptr);

    // When even the capture cannot be had, a geometric operation stops and a
    // pixel operation goes on without undo.
    before = pixels(img);
    gmem_fail_after(0);
    EXPECT_EQ(apply(opcmd::Roll, img), 1);
    EXPECT_EQ(apply(opcmd::Negative, img), 0);
    gmem_fail_after(-1);
    EXPECT_TRUE(said("Message 039"));
    EXPECT_EQ(px(img, 0, 0), before[0] ^ 0x00FFFFFFu);
}

namespace {
int g_passes_seen;
int g_zero_weights;
void scratch_worker(uint8_t* p, int x, int y, int w)
{
    uint8_t* mask = area_mask().bytes;
    Image* t = op_state().view;
    if (x == 0 && y == 0)
        ++g_passes_seen;
    if (w == 0)
        ++g_zero_weights;
    // The mask is scratch for the worker; each pass must start afresh.
    EXPECT_EQ(mask[t->rows[y] + x], x == 0 ? 0 : 255);
    mask[t->rows[y] + x] = 7;
    p[0] = static_cast<uint8_t>(p[0] + 1);
}
int three_passes(Image*, int)
{
    op_state().passes = 3;
    return 0;
}
int fail_after_change(Image* t, uint8_t*)
{
    std::memset(t->pixels, 0, static_cast<size_t>(t->width) * static_cast<size_t>(t->height) * 4);
    return 1;
}
} // namespace

TEST_F(Framework, MultiPassRestoresTheMaskAndVisitsWeightZero)
{
    OpRow b{};
    b.command = 3146;  // Linear Fill: multi-pass
    b.prepare = three_passes;
    b.worker.place_xy = scratch_worker;
    ASSERT_TRUE(op_register(b));
    Image* img = solid(3, 2, pixel_make(10, 0, 0, 255));
    use_mask(img, [](int x, int) { return x == 0 ? 0 : 255; }, AreaRect{0, 0, 2, 1, 0, 0, 0, 0});
    g_passes_seen = g_zero_weights = 0;
    ASSERT_EQ(apply(3146, img), 0);
    EXPECT_EQ(g_passes_seen, 3);
    EXPECT_EQ(g_zero_weights, 6);
    EXPECT_EQ(px(img, 2, 1), pixel_make(13, 0, 0, 255));
    mask_lock();
    EXPECT_EQ(area_mask().bytes[1], 255);
    mask_unlock();
}

TEST_F(Framework, WholeImageFailurePutsTheImageBack)
{
    OpRow b{};
    b.command = 3151;  // Relief: whole image
    b.worker.whole = fail_after_change;
    ASSERT_TRUE(op_register(b));
    Image* img = ramp(4, 3);
    std::vector<uint32_t> before = pixels(img);
    EXPECT_EQ(apply(3151, img), 1);
    EXPECT_EQ(pixels(img), before);
    EXPECT_EQ(img->changes, 0);
}

TEST_F(Framework, OperationsNeedingASourceUseTheTargetWhenNoneIsAssigned)
{
    static Image* seen;
    seen = nullptr;
    OpRow b{};
    b.command = 3164;  // Add Images
    b.worker.whole = [](Image*, uint8_t*) {
        seen = op_state().source;
        EXPECT_NE(op_state().src_pixels, nullptr);
        return 0;
    };
    ASSERT_TRUE(op_register(b));
    Image* img = ramp(2, 2);
    image_set_role(ImageRole::Source, nullptr);
    ASSERT_EQ(apply(3164, img), 0);
    EXPECT_EQ(seen, img);
    Image* other = ramp(3, 3);
    image_set_role(ImageRole::Source, other);
    ASSERT_EQ(apply(3164, img), 0);
    EXPECT_EQ(seen, other);
    EXPECT_EQ(other->locks, 0);
    EXPECT_EQ(op_state().source, nullptr);
}

TEST_F(Framework, RefusalsStopBeforeAnythingChanges)
{
    static int answer;
    OpRow b{};
    b.command = 3151;
    b.prepare = [](Image*, int) { return answer; };
    b.worker.whole = [](Image* t, uint8_t*) {
        t->pixels[0] = 1;
        return 0;
    };
    ASSERT_TRUE(op_register(b));
    Image* img = solid(2, 2, kPixel);
    answer = 2;
    EXPECT_EQ(apply(3151, img), 2);
    answer = kPrepareStopQuiet;
    EXPECT_EQ(apply(3151, img), 3);
    EXPECT_EQ(px(img, 0, 0), kPixel);
    EXPECT_EQ(img->changes, 0);

    // No image at all.
    image_set_role(ImageRole::Target, nullptr);
    ASSERT_EQ(set_current_operation(opcmd::Negative), 0);
    EXPECT_EQ(perform_operation(nullptr, 0), 1);
    EXPECT_TRUE(said("No images loaded. To apply the effect."));
    EXPECT_EQ(set_current_operation(4242), 1);
}

TEST_F(Framework, LogLinesNameTheOperationAndTheView)
{
    LogCapture log;
    Image* img = solid(1, 1, kPixel);
    std::strcpy(img->name, "sky.png");
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    op_set_generating(true, 2, 0, true);
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    op_set_generating(false);
    std::string text = log.text();
    EXPECT_NE(text.find("Operation : Negative\nOn : sky.png\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Operation : Negative Frame: 3 Level: 1\nOn : sky.png\n"), std::string::npos) << text;
}

TEST_F(Framework, WarpLayersTakeTheWarpWorkerOrNothing)
{
    Image* master = solid(2, 2, kPixel);
    Image* warp = solid(2, 1, pixel_make(128, 0, 128, 0));  // zero displacement
    warp->is_layer = 1;
    warp->layer_mode = 16;
    warp->owner = master;
    image_lock(warp);
    pixel_store(warp->pixel(1, 0), pixel_make(129, 8, 127, 0));  // (+1.5, -1)
    image_unlock(warp);
    use_mask(warp, [](int x, int) { return x == 0 ? 0 : 128; }, AreaRect{0, 0, 1, 0, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::Negative, warp), 0);
    EXPECT_EQ(px(warp, 0, 0), pixel_make(128, 0, 128, 0));
    EXPECT_EQ(px(warp, 1, 0), pixel_make(126, 248, 129, 0));  // (-1.5, +1), no blending
    EXPECT_EQ(master->recomposite, 1);

    // Brightness is no warp operation: the layer is left alone.
    master->recomposite = 0;
    std::vector<uint32_t> before = pixels(warp);
    EXPECT_EQ(apply(opcmd::Brightness, warp), 1);
    EXPECT_EQ(pixels(warp), before);
    EXPECT_EQ(master->recomposite, 0);

    // The layer module's hook replaces the plain mark.
    static Image* hooked;
    op_set_layer_hook([](Image* layer) { hooked = layer; });
    ASSERT_EQ(apply(opcmd::Negative, warp), 0);
    EXPECT_EQ(hooked, warp);
    op_set_layer_hook(nullptr);
}

TEST_F(Framework, SplatterRepeatsOverScatteredCopiesOfTheSelection)
{
    Image* img = solid(60, 60, kPixel);
    AreaSettings& a = area_settings();
    a.mode = AreaMode::RECT;
    a.pos_x = a.pos_y = 30;
    a.rad_x = a.rad_y = 2;
    ASSERT_EQ(area_select(), 0);
    auto changed = [&] {
        int n = 0;
        for (uint32_t p : pixels(img))
            n += p != kPixel;
        return n;
    };
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    const int one = changed();
    EXPECT_EQ(one, 25);
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    ASSERT_EQ(changed(), 0);

    // Count 3, seed 7, on, spread 90 %, fixed count, no size change.
    const long splatter[6] = {3, 7, 1, 90, 0, 0};
    std::copy(splatter, splatter + 6, settings().splatter);
    ASSERT_EQ(apply(opcmd::Negative, img), 0);
    EXPECT_GT(changed(), one);
    EXPECT_EQ(progress_state().depth, 0);

    // A cancel during a repetition ends the run; the repetitions done stay.
    platform.cancel_after = platform.pumps + 3;
    EXPECT_NE(apply(opcmd::Negative, img), 0);
    EXPECT_EQ(progress_state().depth, 0);
}
