#include "core/gmem.h"
#include "core/image.h"
#include "core/mem.h"
#include "core/settings.h"
#include "core/undo.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

namespace {

// Records the meter's captions and the boxes.
class UndoPlatform : public ui::HeadlessPlatform {
public:
    std::set<std::string> captions;
    void progress_show(const ui::ProgressDisplay& d) override
    {
        if (d.caption && *d.caption)
            captions.insert(d.caption);
    }
};

class Undo : public ::testing::Test {
protected:
    UndoPlatform p;
    void SetUp() override
    {
        p.set_recording(true);
        p.set_quiet(true);
        ui::platform_install(&p);
        settings().undo_want = 20;
    }
    void TearDown() override
    {
        gmem_fail_after(-1);
        gmem_refuse_locks(false);
        undo_release();
        for (Image* image : image_store().slots)
            if (image)
                image_free(image);
        ui::platform_install(nullptr);
    }

    static Image* filled(long w, long h, uint8_t value)
    {
        Image* image = image_new(w, h, "test");
        fill(image, 0, 0, w - 1, h - 1, value);
        return image;
    }
    // Sets red to `value` over the rectangle, as an operation would change it.
    static void fill(Image* image, long x0, long y0, long x1, long y1, uint8_t value)
    {
        image_lock(image);
        for (long y = y0; y <= y1; ++y)
            for (long x = x0; x <= x1; ++x)
                image->pixel(static_cast<int>(x), static_cast<int>(y))[0] = value;
        image_unlock(image);
    }
    // An operation: capture, change, count the change.
    static void operate(Image* image, long x0, long y0, long x1, long y1, uint8_t value)
    {
        ASSERT_EQ(undo_capture(x0, y0, x1, y1, image, "Negative"), 0);
        fill(image, x0, y0, x1, y1, value);
        image->changes += 1;
    }
    static int red(Image* image, int x, int y)
    {
        image_lock(image);
        int r = image->pixel(x, y)[0];
        image_unlock(image);
        return r;
    }
    bool said(const std::string& text) const
    {
        const auto& t = p.transcript();
        return std::any_of(t.begin(), t.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
};

} // namespace

TEST_F(Undo, ThreeLevelsKeepTheLastThreeCaptures)
{
    settings().undo_want = 3;
    Image* image = filled(8, 8, 0);
    for (uint8_t v = 1; v <= 4; ++v)
        operate(image, 0, 0, 3, 3, v);
    EXPECT_EQ(undo_slot_count(), 7);
    EXPECT_EQ(image_store_count(), 4);  // the image and three captures
    EXPECT_EQ(undo_slot(3), nullptr);
    EXPECT_STREQ(undo_slot(0)->path, "Negative");
    EXPECT_EQ(undo_slot(0)->parent, image);

    for (int expect = 3; expect >= 1; --expect) {
        ASSERT_EQ(undo_apply(image), 0);
        EXPECT_EQ(red(image, 2, 2), expect);
        EXPECT_EQ(red(image, 5, 5), 0);  // outside the rectangle
    }
    EXPECT_EQ(image->changes, 1);
    EXPECT_EQ(undo_apply(image), 1);  // the first capture went with the fourth
    EXPECT_EQ(red(image, 2, 2), 1);
    EXPECT_TRUE(p.captions.count("Undo"));
}

TEST_F(Undo, DeUndoRestoresTheResultAndTheChangeCount)
{
    Image* image = filled(6, 6, 10);
    operate(image, 1, 1, 4, 4, 20);
    operate(image, 3, 3, 5, 5, 30);  // overlaps the first
    ASSERT_EQ(image->changes, 2);

    ASSERT_EQ(undo_apply(image), 0);
    ASSERT_EQ(undo_apply(image), 0);
    EXPECT_EQ(red(image, 3, 3), 10);
    EXPECT_EQ(image->changes, 0);
    EXPECT_EQ(undo_apply(image), 0 + 1);  // nothing left

    // De-Undo redoes the last one undone: the first operation.
    ASSERT_EQ(undo_redo(image, -1), 0);
    EXPECT_EQ(red(image, 3, 3), 20);
    EXPECT_EQ(red(image, 5, 5), 10);
    EXPECT_EQ(image->changes, 1);
    ASSERT_EQ(undo_redo(image, -1), 0);
    EXPECT_EQ(red(image, 3, 3), 30);
    EXPECT_EQ(red(image, 1, 1), 20);
    EXPECT_EQ(image->changes, 2);
    EXPECT_EQ(undo_redo(image, -1), 1);  // nothing undone
    EXPECT_TRUE(p.captions.count("De-Undo"));
}

TEST_F(Undo, ChosenEntriesTakeEverythingNewerAlong)
{
    Image* image = filled(4, 4, 0);
    operate(image, 0, 0, 3, 3, 1);
    operate(image, 0, 0, 1, 1, 2);
    operate(image, 1, 1, 2, 2, 3);
    // "UndoChoose" on the oldest undoes all three, newest first.
    ASSERT_EQ(undo_apply(image, 2), 0);
    EXPECT_EQ(red(image, 1, 1), 0);
    EXPECT_EQ(image->changes, 0);
    // "DeUndoChoose" on the oldest redoes all three, oldest first.
    ASSERT_EQ(undo_redo(image, 2), 0);
    EXPECT_EQ(red(image, 0, 0), 2);
    EXPECT_EQ(red(image, 1, 1), 3);
    EXPECT_EQ(red(image, 3, 3), 1);
    EXPECT_EQ(image->changes, 3);
    EXPECT_EQ(undo_redo(image, 0), 1);  // not undone
}

TEST_F(Undo, ClosingAnImageDropsItsCapturesAndTheOthersMoveUp)
{
    Image* a = filled(4, 4, 0);
    Image* b = filled(4, 4, 0);
    operate(a, 0, 0, 1, 1, 1);
    operate(b, 0, 0, 1, 1, 2);
    operate(a, 0, 0, 1, 1, 3);
    image_free(a);
    EXPECT_EQ(undo_slot(0)->parent, b);
    EXPECT_EQ(undo_slot(1), nullptr);
    EXPECT_EQ(image_store_count(), 2);  // b and its capture
    EXPECT_EQ(undo_last_capture(), nullptr);
    ASSERT_EQ(undo_apply(b), 0);
    EXPECT_EQ(red(b, 0, 0), 0);
}

TEST_F(Undo, ANewChangeForgetsTheUndoneCaptures)
{
    Image* image = filled(4, 4, 0);
    operate(image, 0, 0, 3, 3, 1);
    operate(image, 0, 0, 3, 3, 2);
    ASSERT_EQ(undo_apply(image), 0);
    ASSERT_EQ(undo_drop_stale(image), 0);  // as the appliers do before a change
    operate(image, 0, 0, 3, 3, 5);  // the redo of 2 is gone
    EXPECT_EQ(undo_redo(image, -1), 1);
    ASSERT_EQ(undo_apply(image), 0);
    EXPECT_EQ(red(image, 0, 0), 1);
    ASSERT_EQ(undo_apply(image), 0);
    EXPECT_EQ(red(image, 0, 0), 0);
    EXPECT_EQ(undo_slot(2), nullptr);
}

TEST_F(Undo, NoLevelsStillKeepOneCaptureForTheOperation)
{
    settings().undo_want = 0;
    Image* image = filled(4, 4, 0);
    operate(image, 0, 0, 3, 3, 1);
    operate(image, 0, 0, 3, 3, 2);
    EXPECT_NE(undo_slot(0), nullptr);
    EXPECT_EQ(undo_slot(1), nullptr);
    EXPECT_EQ(image_store_count(), 2);
    ASSERT_EQ(undo_apply(image), 0);
    EXPECT_EQ(red(image, 0, 0), 1);
    undo_forget(image);
    EXPECT_EQ(undo_slot(0), nullptr);
}

TEST_F(Undo, ForgettingAnImageReleasesAllItsCaptures)
{
    Image* a = filled(4, 4, 0);
    Image* b = filled(4, 4, 0);
    operate(a, 0, 0, 1, 1, 1);
    operate(b, 0, 0, 1, 1, 2);
    operate(a, 0, 0, 1, 1, 3);
    operate(a, 0, 0, 1, 1, 4);
    ASSERT_EQ(undo_apply(a), 0);  // one undone, two waiting: all go
    ASSERT_EQ(undo_forget(a), 0);
    EXPECT_EQ(undo_slot(0)->parent, b);
    EXPECT_EQ(undo_slot(1), nullptr);
    EXPECT_EQ(image_store_count(), 3);  // a, b and b's capture
    EXPECT_EQ(undo_apply(a), 1);
    ASSERT_EQ(undo_apply(b), 0);
    EXPECT_EQ(red(b, 0, 0), 0);
}

TEST_F(Undo, RestoreLastPutsTheImageBackAndDropsTheCapture)
{
    Image* image = filled(5, 5, 7);
    operate(image, 0, 0, 4, 4, 1);
    ASSERT_EQ(undo_capture(4, 4, 1, 1, image), 0);  // corners in any order
    Image* capture = undo_last_capture();
    EXPECT_EQ(capture->parent_x, 1);
    EXPECT_EQ(capture->width, 4u);
    fill(image, 1, 1, 4, 4, 99);  // half an operation, then cancelled
    ASSERT_EQ(undo_restore_last(), 0);
    EXPECT_EQ(red(image, 4, 4), 1);
    EXPECT_EQ(red(image, 0, 0), 1);
    EXPECT_EQ(image->changes, 1);
    EXPECT_EQ(undo_slot(0)->undo_applied, 0);
    EXPECT_EQ(undo_slot(1), nullptr);
    EXPECT_EQ(undo_restore_last(), 1);  // nothing to put back now
    ASSERT_EQ(undo_capture(9, 9, 12, 12, image), 0);  // off the image: nothing to capture
    EXPECT_EQ(undo_last_capture(), nullptr);
    ASSERT_EQ(undo_apply(image), 0);    // the earlier operation still undoes
    EXPECT_EQ(red(image, 2, 2), 7);
}

TEST_F(Undo, AResizedImageIsReplacedWholeAndKeepsItsLayerState)
{
    Image* image = filled(4, 3, 9);
    image->layer_mode = 16;
    ASSERT_EQ(undo_capture(-10, -10, 100, 100, image, "Enlarge"), 0);
    EXPECT_EQ(undo_last_capture()->parent_x, -1);  // whole image: no position
    // Enlarge: the image gets planes of a new size.
    Image* bigger = filled(8, 6, 50);
    std::swap(image->width, bigger->width);
    std::swap(image->height, bigger->height);
    std::swap(image->pixel_block, bigger->pixel_block);
    std::swap(image->row_block, bigger->row_block);
    image_free(bigger);
    image->changes = 1;

    ASSERT_EQ(undo_apply(image), 0);
    EXPECT_EQ(image->width, 4u);
    EXPECT_EQ(image->height, 3);
    EXPECT_EQ(red(image, 3, 2), 9);
    EXPECT_EQ(image->layer_mode, 16);
    ASSERT_EQ(undo_redo(image, -1), 0);
    EXPECT_EQ(image->width, 8u);
    EXPECT_EQ(red(image, 7, 5), 50);
    EXPECT_EQ(image->changes, 1);
}

TEST_F(Undo, OutOfMemoryNamesTheRightMessage)
{
    Image* image = filled(4, 4, 0);
    gmem_fail_after(0);
    EXPECT_EQ(undo_capture(0, 0, 3, 3, image), 1);
    EXPECT_TRUE(said("Message 039: Not enough memory to get an undo."));
    gmem_fail_after(-1);
    undo_release();
    settings().undo_want = 0;
    p.clear_transcript();
    gmem_fail_after(1);  // the stack, but not the capture
    EXPECT_EQ(undo_capture(0, 0, 3, 3, image), 1);
    EXPECT_TRUE(said("Message 038: Not enough memory for the undo required for this operation."));
    gmem_fail_after(-1);
    EXPECT_EQ(undo_slot(0), nullptr);
    EXPECT_EQ(undo_last_capture(), nullptr);
}

TEST_F(Undo, SwapsThatCannotLockLeaveEverythingAsItWas)
{
    Image* image = filled(4, 4, 0);
    operate(image, 0, 0, 3, 3, 1);
    gmem_refuse_locks(true);
    EXPECT_EQ(undo_apply(image), 1);
    EXPECT_TRUE(said("Message 106: This Undo Layer belongs to an image which has been closed."));
    gmem_refuse_locks(false);
    EXPECT_EQ(undo_slot(0)->undo_applied, 0);
    EXPECT_EQ(image->changes, 1);

    image_lock(image);  // the image can be reached, the capture cannot
    gmem_refuse_locks(true);
    EXPECT_EQ(undo_apply(image), 1);
    EXPECT_TRUE(said("Message 052: Not enough real memory to undo."));
    gmem_refuse_locks(false);
    EXPECT_EQ(image->pixel(0, 0)[0], 1);
    EXPECT_EQ(image->locks, 1);
    image_unlock(image);
    EXPECT_EQ(undo_apply(image), 0);
}

TEST_F(Undo, LevelsShrinkAndGrow)
{
    settings().undo_want = 5;
    Image* image = filled(4, 4, 0);
    for (uint8_t v = 1; v <= 5; ++v)
        operate(image, 0, 0, 3, 3, v);
    ASSERT_EQ(undo_set_levels(5, 2), 0);
    EXPECT_EQ(settings().undo_want, 2);
    EXPECT_EQ(undo_slot(2), nullptr);
    EXPECT_EQ(image_store_count(), 3);

    gmem_fail_after(0);
    EXPECT_EQ(undo_set_levels(2, 50), 1);
    gmem_fail_after(-1);
    EXPECT_TRUE(said("Message 039"));
    EXPECT_EQ(settings().undo_want, 2);
    EXPECT_EQ(undo_state().levels, 2);

    ASSERT_EQ(undo_set_levels(2, 40000), 0);  // at most 32000
    EXPECT_EQ(undo_slot_count(), 32004);
    operate(image, 0, 0, 3, 3, 6);
    ASSERT_EQ(undo_apply(image, 2), 0);  // the old captures came along
    EXPECT_EQ(red(image, 0, 0), 3);
}

TEST_F(Undo, TheAttributesComeBackAndGoAgainWithThePixels)
{
    Image* image = filled(6, 4, 10);
    std::snprintf(image->author, sizeof image->author, "Before");
    image->hres_num = 72, image->hres_den = 1;
    ASSERT_EQ(undo_capture(0, 0, 5, 3, image, "Author Name"), 0);
    std::snprintf(image->author, sizeof image->author, "After");
    std::snprintf(image->copyright, sizeof image->copyright, "(c) After");
    ASSERT_EQ(image_annotation_alloc(image, 16), 0);
    std::strcpy(image->annotation, "new note");
    image->hres_num = 300;
    image->changes += 1;
    // A second change on a part of the image only: its capture holds the
    // attributes of the first change's result.
    operate(image, 1, 1, 2, 2, 99);

    ASSERT_EQ(undo_apply(image), 0);
    EXPECT_STREQ(image->author, "After");
    EXPECT_STREQ(image->annotation, "new note");
    ASSERT_EQ(undo_apply(image), 0);
    EXPECT_STREQ(image->author, "Before");
    EXPECT_STREQ(image->copyright, "");
    EXPECT_EQ(image->annotation, nullptr);
    EXPECT_EQ(image->hres_num, 72);
    EXPECT_EQ(red(image, 1, 1), 10);

    ASSERT_EQ(undo_redo(image, -1), 0);
    EXPECT_STREQ(image->author, "After");
    EXPECT_STREQ(image->copyright, "(c) After");
    ASSERT_NE(image->annotation, nullptr);
    EXPECT_STREQ(image->annotation, "new note");
    EXPECT_EQ(image->hres_num, 300);

    // An operation that fails half-way puts the attributes back too.
    ASSERT_EQ(undo_capture(0, 0, 5, 3, image, "Author Name"), 0);
    std::snprintf(image->author, sizeof image->author, "Half");
    ASSERT_EQ(undo_restore_last(), 0);
    EXPECT_STREQ(image->author, "After");
}
