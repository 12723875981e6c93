#include "timeline_fixture.h"

#include "areas/area.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/film.h"
#include "formats/flic.h"
#include "formats/gif.h"
#include "formats/load_save.h"
#include "ops/framework.h"
#include "ops/filter/filter.h"
#include "ops/geom/geom.h"
#include "ops/profiles.h"
#include "ops/tone/tone.h"
#include "timeline/sequence.h"

#include <sys/stat.h>

#include <map>
#include <vector>

namespace {

// Every frame the run hands on, by timeline frame: its pixels.
struct Captured {
    std::map<long, std::vector<uint8_t>> frames;
    std::map<long, long> undo_levels;
    long stop_after = -1;  // asks the run to stop once this frame is done
};
Captured g_captured;

void capture(Image* image, long frame)
{
    ImageLock lock(image);
    ASSERT_TRUE(lock);
    size_t n = static_cast<size_t>(image->width) * static_cast<size_t>(image->height) * 4;
    g_captured.frames[frame].assign(image->pixels, image->pixels + n);
    g_captured.undo_levels[frame] = settings().undo_want;
    if (frame == g_captured.stop_after)
        sequence_request_stop();
}

int slot_of(int32_t command, const char* key)
{
    const OpDescriptor* d = op_by_command(command);
    for (int i = 0; i < kOpSlots; ++i)
        if (d->slots[i].used() && d->slots[i].key && std::string(d->slots[i].key) == key)
            return i;
    return -1;
}

class SequenceTest : public TimelineTest {
protected:
    void SetUp() override
    {
        TimelineTest::SetUp();
        g_captured = Captured{};
        SequenceHooks h;
        h.frame_done = capture;
        sequence_set_hooks(h);
        settings().undo_want = 0;
        timeline_new(8);
    }
    void TearDown() override
    {
        sequence_set_hooks({});
        TimelineTest::TearDown();
    }

    // A PNG of one colour.
    std::string solid(const char* name, long w, long h, uint8_t r, uint8_t g, uint8_t b)
    {
        Image* img = image_new_locked(w, h, "test");
        for (long i = 0; i < w * h; ++i) {
            uint8_t* p = img->pixels + 4 * i;
            p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
        }
        image_unlock(img);
        std::string file = path(name);
        settings().save_type = FMT_PNG;
        settings().save_depth = 2;
        EXPECT_EQ(save_image(img, file.c_str()), 0);
        image_free(img);
        return file;
    }
    // A PNG with a gradient, so that geometric operations move something.
    std::string gradient(const char* name, long w, long h)
    {
        Image* img = image_new_locked(w, h, "test");
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x) {
                uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
                p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
                p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
                p[2] = static_cast<uint8_t>((x * y) & 255);
                p[3] = 255;
            }
        image_unlock(img);
        std::string file = path(name);
        settings().save_type = FMT_PNG;
        settings().save_depth = 2;
        EXPECT_EQ(save_image(img, file.c_str()), 0);
        image_free(img);
        return file;
    }
    static void hold_op(long level, long first, long last, int32_t command,
                        std::initializer_list<std::pair<const char*, int32_t>> values = {})
    {
        TimelineOp* op = timeline_op_capture(command);
        ASSERT_NE(op, nullptr);
        for (auto& [key, value] : values)
            ASSERT_EQ(timeline_op_set(op, slot_of(command, key), value), 0) << key;
        ASSERT_EQ(timeline_hold(level, first, last, Grid::Op, as_cell(op)), 0);
    }
    static uint8_t red_at(long frame, long x = 0)
    {
        return g_captured.frames.at(frame).at(static_cast<size_t>(4 * x));
    }
    static bool exists(const std::string& file)
    {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0;
    }
};

} // namespace

TEST_F(SequenceTest, ATimelineWithoutLevelsAsksFirstAndRefusingDoesNothing)
{
    platform.set_policy(ui::HeadlessPlatform::Policy::No);
    SequenceRequest rq;
    rq.output.kind = SequenceOutputKind::Numbered;
    rq.output.name = path("none/f%04d.png");
    rq.output.type = FMT_PNG;
    EXPECT_EQ(sequence_generate(rq), SEQ_REFUSED);
    EXPECT_TRUE(said("There are no operations in the Time Line."));
    EXPECT_TRUE(g_captured.frames.empty());
    EXPECT_FALSE(exists(path("none")));
    EXPECT_FALSE(timeline().generating);

    // Going on without levels hands on the image of the current view as it is.
    platform.set_policy(ui::HeadlessPlatform::Policy::Default);
    Image* view = load_image(solid("view.png", 4, 3, 9, 8, 7).c_str());
    image_set_role(ImageRole::Target, view);
    rq.first = 2;
    rq.last = 3;
    EXPECT_EQ(sequence_generate(rq), SEQ_DONE);
    EXPECT_EQ(g_captured.frames.size(), 2u);
    EXPECT_EQ(red_at(1), 9);
    EXPECT_TRUE(exists(path("none/f0002.png")) && exists(path("none/f0003.png")));
    EXPECT_FALSE(exists(path("none/f0001.png")));
}

TEST_F(SequenceTest, AnAnimationHeldOverFramesThreeToSixTakesItsFramesTenToSixteen)
{
    // A 20-frame GIF whose frame k (from 1) has red 10 k.
    const std::string anim = path("count.gif");
    GifAnimationOptions o;
    o.optimise = false;
    ASSERT_EQ(gif_animation_open(anim.c_str(), 4, 4, o), 0);
    for (int k = 1; k <= 20; ++k) {
        Image* f = image_new_locked(4, 4, "test");
        for (int i = 0; i < 16; ++i) {
            uint8_t* p = f->pixels + 4 * i;
            p[0] = static_cast<uint8_t>(10 * k), p[1] = 0, p[2] = 0, p[3] = 255;
        }
        image_unlock(f);
        ASSERT_EQ(WriteGifFrame(f, k - 1), 0);
        image_free(f);
    }
    ASSERT_EQ(CloseGifAnimation(), 0);

    auto* file = timeline_file_new(anim.c_str());
    file->start = 10;
    file->increment = 2;
    ASSERT_EQ(timeline_hold(0, 2, 5, Grid::Action, as_cell(file)), 0);
    SequenceRequest rq;
    rq.first = 3;
    rq.last = 6;
    ASSERT_EQ(sequence_generate(rq), SEQ_DONE);
    ASSERT_EQ(g_captured.frames.size(), 4u);
    EXPECT_EQ(red_at(2), 100);
    EXPECT_EQ(red_at(3), 120);
    EXPECT_EQ(red_at(4), 140);
    EXPECT_EQ(red_at(5), 160);
    // Frame 6 alone (a range of its own) reads the same frame 16.
    g_captured.frames.clear();
    rq.first = rq.last = 6;
    ASSERT_EQ(sequence_generate(rq), SEQ_DONE);
    EXPECT_EQ(red_at(5), 160);
}

TEST_F(SequenceTest, AnEmptyCellEndsAHeldEntry)
{
    const std::string grey = solid("grey.png", 3, 2, 100, 100, 100);
    Image* view = load_image(solid("view.png", 3, 2, 30, 30, 30).c_str());
    image_set_role(ImageRole::Target, view);
    hold_file(0, 0, 2, Grid::Action, grey.c_str());  // frames 1 to 3, then nothing
    hold_op(0, 0, 7, opcmd::Negative, {{"mode", 0}});
    ASSERT_EQ(timeline_cell(0, 3, Grid::Action), CELL_EMPTY);
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    ASSERT_EQ(g_captured.frames.size(), 8u);
    EXPECT_EQ(red_at(2), 155);  // the held file, negated
    EXPECT_EQ(red_at(3), 225);  // no action entry: the view's image, negated
    EXPECT_EQ(red_at(7), 225);
    // The view's image itself is not touched.
    ImageLock lock(view);
    EXPECT_EQ(view->pixels[0], 30);
}

TEST_F(SequenceTest, RefusingToReplaceTheLastOutputFileGeneratesNothing)
{
    const std::string grey = solid("grey.png", 3, 2, 100, 100, 100);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Negative);
    ASSERT_EQ(mkdir(path("out").c_str(), 0777), 0);
    write(path("out/f0008.png"), "old");
    platform.set_policy(ui::HeadlessPlatform::Policy::No);
    SequenceRequest rq;
    std::string error;
    ASSERT_TRUE(sequence_output_for_name(path("out/f%04d.png"), rq.output, error));
    EXPECT_EQ(rq.output.type, FMT_PNG);
    EXPECT_EQ(sequence_generate(rq), SEQ_REFUSED);
    EXPECT_TRUE(said("The sequence output file already exists."));
    EXPECT_TRUE(g_captured.frames.empty());
    EXPECT_EQ(read(path("out/f0008.png")), "old");
    EXPECT_FALSE(exists(path("out/f0001.png")));
    // Saying yes writes every frame over it.
    platform.set_policy(ui::HeadlessPlatform::Policy::Yes);
    EXPECT_EQ(sequence_generate(rq), SEQ_DONE);
    Image* last = load_image(path("out/f0008.png").c_str());
    ASSERT_NE(last, nullptr);
    ImageLock lock(last);
    EXPECT_EQ(last->pixels[0], 155);
}

// Two levels with trends, an area entry that moves, Level(1) as a source and
// interpolated variables: every frame of a range equals the same frame of the
// full run, byte for byte.
TEST_F(SequenceTest, FramesOfARangeEqualTheSameFramesOfAFullRun)
{
    const std::string base = gradient("base.png", 48, 32);
    hold_file(0, 0, 7, Grid::Action, base.c_str());
    hold_op(0, 0, 7, opcmd::AdjustValue, {{"amount", 0}});
    Trend* t = timeline_var_trend(0, opcmd::AdjustValue, slot_of(opcmd::AdjustValue, "amount"));
    ASSERT_NE(t, nullptr);
    const int32_t kf[] = {0, 7}, kv[] = {-60, 40};
    ASSERT_EQ(trend_set_keys(t, kf, kv, 2), 0);
    // Level 2 swirls level 1's result, with a swirl that grows between two records.
    hold_file(1, 0, 7, Grid::Action, "Level(1)");
    hold_file(1, 0, 7, Grid::Source, "Level(1)");
    TimelineOp* a = timeline_op_capture(opcmd::Swirl);
    ASSERT_EQ(timeline_op_set(a, slot_of(opcmd::Swirl, "amount"), 10), 0);
    a->interpolate = 1;
    ASSERT_EQ(timeline_hold(1, 0, 5, Grid::Op, as_cell(a)), 0);
    hold_op(1, 6, 7, opcmd::Swirl, {{"amount", 130}});
    TimelineArea* area = timeline_area_new();
    area->mode = 5;  // Ellipse
    area->image_w = 48, area->image_h = 32;
    area->pos[0] = 4, area->pos[1] = 4, area->pos[2] = 40, area->pos[3] = 28;
    area->center_x = 22, area->center_y = 16;
    ASSERT_EQ(timeline_hold(1, 2, 4, Grid::Area, as_cell(area)), 0);
    Trend* mix = timeline_level_trend(1, LEVEL_MIX);
    const int32_t mf[] = {0, 7}, mv[] = {100, 30};
    ASSERT_EQ(trend_set_keys(mix, mf, mv, 2), 0);

    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    const auto full = g_captured.frames;
    ASSERT_EQ(full.size(), 8u);
    // Neighbouring frames differ: the trends and the area take effect.
    for (long f = 1; f < 8; ++f)
        EXPECT_NE(full.at(f), full.at(f - 1)) << f;
    for (long f : {7L, 3L, 0L, 5L}) {
        g_captured.frames.clear();
        SequenceRequest rq;
        rq.first = rq.last = f + 1;
        ASSERT_EQ(sequence_generate(rq), SEQ_DONE);
        EXPECT_EQ(g_captured.frames.at(f), full.at(f)) << "frame " << f + 1;
    }
    g_captured.frames.clear();
    SequenceRequest mid;
    mid.first = 3;
    mid.last = 6;
    ASSERT_EQ(sequence_generate(mid), SEQ_DONE);
    for (long f = 2; f < 6; ++f)
        EXPECT_EQ(g_captured.frames.at(f), full.at(f)) << "frame " << f + 1;
}

TEST_F(SequenceTest, LevelSettingsMixRepeatAndFeatherTakeEffect)
{
    const std::string grey = solid("grey.png", 40, 40, 200, 200, 200);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Negative, {{"mode", 0}});
    Trend* mix = timeline_level_trend(0, LEVEL_MIX);
    const int32_t f2[] = {0, 1, 2, 7}, m[] = {50, 0, 100, 100};
    ASSERT_EQ(trend_set_keys(mix, f2, m, 4), 0);
    Trend* rep = timeline_level_trend(0, LEVEL_REPEAT);
    const int32_t rf[] = {0, 2, 3, 4, 7}, rv[] = {1, 1, 2, 1, 1};
    ASSERT_EQ(trend_set_keys(rep, rf, rv, 5), 0);
    Trend* fea = timeline_level_trend(0, LEVEL_FEATHER);
    const int32_t ff[] = {0, 3, 4, 7}, fv[] = {0, 0, 8, 8};
    ASSERT_EQ(trend_set_keys(fea, ff, fv, 4), 0);
    TimelineArea* box = timeline_area_new();
    box->mode = 3;  // Rectangle
    box->pos[0] = 2, box->pos[1] = 2, box->pos[2] = 36, box->pos[3] = 36;
    box->center_x = box->center_y = 19;
    ASSERT_EQ(timeline_hold(0, 3, 4, Grid::Area, as_cell(box)), 0);
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    EXPECT_EQ(red_at(0), (55 * 50 + 200 * 50) / 100);  // half the negative
    EXPECT_EQ(red_at(1), 200);                          // none of it
    EXPECT_EQ(red_at(2), 55);                           // all of it, once
    EXPECT_EQ(red_at(3), 200);                          // twice: back again
    // Feathered: the middle is negated, the corner keeps most of the old value.
    const std::vector<uint8_t>& f5 = g_captured.frames.at(4);
    EXPECT_EQ(f5[4 * (20 * 40 + 20)], 55);
    EXPECT_EQ(f5[0], 200);                      // outside the area
    EXPECT_GT(f5[4 * (2 * 40 + 2)], 150);       // its corner, feathered
    const std::vector<uint8_t>& f3 = g_captured.frames.at(2);
    EXPECT_EQ(f3[4 * (2 * 40 + 2)], 55);        // no area at frame 3: all of it
    EXPECT_EQ(timeline().level_values[LEVEL_MIX], 100);  // the level settings are put back
}

TEST_F(SequenceTest, TheUndoLevelsFollowTheFirstLevelAndAreRestored)
{
    settings().undo_want = 2;
    Image* view = load_image(solid("view.png", 3, 2, 30, 30, 30).c_str());
    image_set_role(ImageRole::Target, view);
    const std::string grey = solid("grey.png", 3, 2, 100, 100, 100);
    // Frames 1-4: the first level acts on a file; frames 5-8: it only operates.
    hold_file(0, 0, 3, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Negative);
    hold_op(4, 0, 7, opcmd::Negative);  // five levels in use
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    EXPECT_EQ(g_captured.undo_levels.at(0), 2);
    EXPECT_EQ(g_captured.undo_levels.at(3), 2);
    EXPECT_EQ(g_captured.undo_levels.at(4), 5);
    EXPECT_EQ(settings().undo_want, 2);
}

TEST_F(SequenceTest, EverythingTheRunTouchedIsPutBack)
{
    const std::string grey = solid("grey.png", 3, 2, 100, 100, 100);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Swirl, {{"amount", 77}});
    g_geom_params.swirl_amount = 12;
    set_current_operation(opcmd::Negative);
    AreaSettings& s = area_settings();
    s.mode = AreaMode::RECT;
    s.pos_x = 1, s.pos_y = 1, s.rad_x = 1, s.rad_y = 1;
    ASSERT_EQ(area_select(), 0);
    const long generation = area_state().generation;
    (void)generation;
    Image* brush = load_image(grey.c_str());
    image_set_role(ImageRole::Brush, brush);
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    EXPECT_EQ(g_geom_params.swirl_amount, 12);
    EXPECT_EQ(op_state().current, opcmd::Negative);
    EXPECT_FALSE(op_state().generating);
    EXPECT_FALSE(timeline().generating);
    EXPECT_TRUE(area_state().present);
    EXPECT_EQ(area_chain_length(), 1);
    EXPECT_EQ(area_settings().mode, AreaMode::RECT);
    EXPECT_EQ(image_role(ImageRole::Brush), brush);
    EXPECT_EQ(formats_state().read_frame, 0);
    // Only the images that were open before the run are left.
    EXPECT_EQ(image_store_count(), 1);
}

TEST_F(SequenceTest, AMissingFileStopsTheRunAtItsFrameAndKeepsTheFramesBefore)
{
    const std::string grey = solid("grey.png", 3, 2, 100, 100, 100);
    hold_file(0, 0, 2, Grid::Action, grey.c_str());
    hold_file(0, 3, 7, Grid::Action, path("gone.png").c_str());
    hold_op(0, 0, 7, opcmd::Negative);
    SequenceRequest rq;
    rq.output.kind = SequenceOutputKind::Gif;
    rq.output.name = path("part.gif");
    SequenceReport report;
    EXPECT_EQ(sequence_generate(rq, &report), SEQ_FAILED);
    EXPECT_TRUE(said("Could not open the image file."));
    EXPECT_EQ(report.frames, 3);
    EXPECT_EQ(g_captured.frames.size(), 3u);
    // The animation holds the three frames made.
    GifFrames gif;
    ASSERT_EQ(gif.open(path("part.gif").c_str()), 0);
    EXPECT_EQ(gif.next(), 1);
    EXPECT_EQ(gif.count_rest(), 2);
    EXPECT_FALSE(timeline().generating);
}

TEST_F(SequenceTest, AStopEndsTheRunWithTheFramesSoFar)
{
    const std::string grey = solid("grey.png", 6, 4, 100, 100, 100);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Negative);
    g_captured.stop_after = 1;
    SequenceRequest rq;
    rq.output.kind = SequenceOutputKind::Flic;
    rq.output.name = path("stop.flc");
    SequenceReport report;
    EXPECT_EQ(sequence_generate(rq, &report), SEQ_STOPPED);
    EXPECT_EQ(report.frames, 2);
    FILE* f = std::fopen(path("stop.flc").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    FlicHeader h;
    ASSERT_EQ(flic_read_header(f, &h), 0);
    std::fclose(f);
    EXPECT_EQ(h.frames, 2);
    EXPECT_EQ(h.width, 6);
    // A cancel from the progress display stops it the same way.
    g_captured = Captured{};
    progress_request_cancel();
    EXPECT_EQ(sequence_generate({}), SEQ_STOPPED);
    EXPECT_TRUE(g_captured.frames.empty());
}

TEST_F(SequenceTest, RefusalsThatChangeNothingLeaveTheFrameAndOthersStopTheRun)
{
    const std::string base = gradient("base.png", 16, 16);
    hold_file(0, 0, 7, Grid::Action, base.c_str());
    // Swirl by 0 degrees changes nothing: message 65 stays quiet and the frame goes on.
    hold_op(0, 0, 7, opcmd::Swirl, {{"amount", 0}});
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    EXPECT_FALSE(said("will produce no change"));
    Image* plain = load_image(base.c_str());
    ImageLock lock(plain);
    EXPECT_EQ(g_captured.frames.at(4), std::vector<uint8_t>(plain->pixels, plain->pixels + 16 * 16 * 4));
    lock.release();
    // An encryption without a password is refused with a reason: the run stops at frame 3.
    g_captured.frames.clear();
    filter_params().password[0] = 0;
    hold_op(0, 2, 7, opcmd::EncryptImage);
    EXPECT_EQ(sequence_generate({}), SEQ_FAILED);
    EXPECT_EQ(g_captured.frames.size(), 2u);
}

TEST_F(SequenceTest, BadRequestsEndCleanly)
{
    const std::string grey = solid("grey.png", 3, 2, 100, 100, 100);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Negative);
    // A range beyond the frames is cut to them.
    SequenceRequest rq;
    rq.first = 7;
    rq.last = 40;
    SequenceReport report;
    EXPECT_EQ(sequence_generate(rq, &report), SEQ_DONE);
    EXPECT_EQ(report.first, 7);
    EXPECT_EQ(report.last, 8);
    EXPECT_EQ(report.frames, 2);
    // A folder that cannot be made: a file stands where it should be.
    write(path("blocked"), "x");
    std::string error;
    ASSERT_TRUE(sequence_output_for_name(path("blocked/f%02d.bmp"), rq.output, error));
    rq.first = rq.last = 0;
    EXPECT_EQ(sequence_generate(rq, &report), SEQ_FAILED);
    EXPECT_TRUE(said("Could not make the folder"));
    EXPECT_EQ(report.frames, 0);
    // Level(2) cannot be named by level 1.
    hold_file(0, 0, 7, Grid::Source, "Level(2)");
    EXPECT_EQ(sequence_generate({}), SEQ_FAILED);
    EXPECT_TRUE(said("Level(2) has no result at frame 1"));
    // Output names: one number conversion, or an animation or film file.
    SequenceOutput out;
    EXPECT_FALSE(sequence_output_for_name("f%d%d.png", out, error));
    EXPECT_FALSE(sequence_output_for_name("f%s.png", out, error));
    EXPECT_FALSE(sequence_output_for_name("still.png", out, error));
    EXPECT_TRUE(sequence_output_for_name("a.MNG", out, error));
    EXPECT_EQ(out.kind, SequenceOutputKind::Mng);
    EXPECT_EQ(sequence_frame_name("x/100%%_%4d.png", 7), "x/100%_   7.png");
    EXPECT_EQ(sequence_frame_name("f%03d.tga", 12), "f012.tga");
    EXPECT_EQ(sequence_frame_name("none.png", 1), "");
}

TEST_F(SequenceTest, ALevelsResultStaysWhatThatLevelMade)
{
    const std::string grey = solid("grey.png", 4, 4, 100, 100, 100);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Brightness, {{"amount", 20}});
    // Level 2 negates level 1's result; level 3 goes back to level 1's result
    // and level 4 to level 2's.
    hold_file(1, 0, 7, Grid::Action, "Level(1)");
    hold_op(1, 0, 7, opcmd::Negative, {{"mode", 0}});
    hold_file(2, 0, 3, Grid::Action, "Level(1)");
    hold_file(2, 4, 7, Grid::Action, "Level(2)");
    hold_file(3, 0, 7, Grid::Action, "Level(3)");  // the frame is level 4's
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    const uint8_t lifted = red_at(0);
    EXPECT_GT(lifted, 100);
    EXPECT_EQ(red_at(5), 255 - lifted);
    // Without the later levels, level 2 changes level 1's image in place: the same frames.
    g_captured.frames.clear();
    timeline_clear_cells(2, 0, 7, Grid::Action);
    timeline_clear_cells(3, 0, 7, Grid::Action);
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    EXPECT_EQ(red_at(0), 255 - lifted);
}

TEST_F(SequenceTest, TheLevelResultsOfTheLastFinishedFrameAreKept)
{
    sequence_forget_levels();
    std::string error;
    EXPECT_EQ(sequence_level_image(1, error), nullptr);
    EXPECT_NE(error.find("no frame of the timeline has been generated"), std::string::npos) << error;

    const std::string grey = solid("grey.png", 4, 3, 100, 100, 100);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Brightness, {{"amount", 20}});
    // Level 2 negates the image level 1 made, in place.
    hold_op(1, 0, 7, opcmd::Negative, {{"mode", 0}});
    const int open_before = image_store_count();
    SequenceRequest rq;
    rq.first = 2;
    rq.last = 3;
    ASSERT_EQ(sequence_generate(rq), SEQ_DONE);
    EXPECT_EQ(sequence_kept_frame(), 3);
    EXPECT_EQ(image_store_count(), open_before);  // kept without taking image slots

    Image* one = sequence_level_image(1, error);
    Image* two = sequence_level_image(2, error);
    ASSERT_TRUE(one && two) << error;
    EXPECT_STREQ(one->name, "Level(1)");
    EXPECT_EQ(one->width, 4u);
    EXPECT_EQ(one->height, 3);
    {
        ImageLock a(one), b(two);
        const uint8_t lifted = one->pixels[0];
        EXPECT_GT(lifted, 100);  // what level 1 made, not what level 2 made of it
        EXPECT_EQ(two->pixels[0], 255 - lifted);
        EXPECT_EQ(two->pixel(3, 2)[0], 255 - lifted);
    }
    image_free(one);
    image_free(two);
    for (long bad : {0L, 3L, 101L}) {
        EXPECT_EQ(sequence_level_image(bad, error), nullptr);
        EXPECT_NE(error.find("frame 3 has 2 levels"), std::string::npos) << error;
    }

    // A stopped run keeps the last frame it finished.
    g_captured.stop_after = 1;
    EXPECT_EQ(sequence_generate({}), SEQ_STOPPED);
    EXPECT_EQ(sequence_kept_frame(), 2);
    sequence_forget_levels();
    EXPECT_EQ(sequence_kept_frame(), 0);

    // Another timeline, loaded or new, does not answer with this one's levels.
    g_captured.stop_after = -1;
    ASSERT_EQ(sequence_generate(rq), SEQ_DONE);
    EXPECT_EQ(sequence_kept_frame(), 3);
    timeline_new(8);
    EXPECT_EQ(sequence_kept_frame(), 0);
}

TEST_F(SequenceTest, AParameterFileReachesOnlyTheFramesOfItsEntry)
{
    const std::string grey = solid("grey.png", 4, 4, 40, 40, 40);
    // A settings file read for Negative that also turns Histogram's curve upside down.
    std::string curve = "VQOPSET Glimmerix:V/q File\n\nHistogram: 0\nHisto 0 200 0 255\n";
    for (int i = 0; i <= 200; ++i) {
        curve += ' ';
        curve += std::to_string(255 - i * 255 / 200);
        if (i % 20 == 19 || i == 200)
            curve += '\n';
    }
    write(path("curve.vqs"), curve);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    TimelineOp* first = timeline_op_capture(opcmd::Negative);
    ASSERT_EQ(timeline_op_set(first, slot_of(opcmd::Negative, "mode"), 0), 0);
    std::snprintf(first->pfile, sizeof first->pfile, "curve.vqs");  // found beside the timeline file
    ASSERT_EQ(timeline_hold(0, 0, 3, Grid::Op, as_cell(first)), 0);
    hold_op(0, 4, 7, opcmd::Histogram, {{"measure", 0}});
    ASSERT_EQ(timeline_save(path("curve.tml").c_str()), 0);
    ASSERT_EQ(timeline_load(path("curve.tml").c_str()), 0);
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    EXPECT_EQ(red_at(3), 255 - 40);
    const uint8_t plain = red_at(4);
    EXPECT_LT(plain, 50);  // Histogram with the curve the run started with
    EXPECT_EQ(profile_find("histo")[200], 255);
    g_captured.frames.clear();
    SequenceRequest rq;
    rq.first = rq.last = 5;
    ASSERT_EQ(sequence_generate(rq), SEQ_DONE);
    EXPECT_EQ(red_at(4), plain);
}

namespace {

// The chunks of a PNG or MNG stream by type.
std::map<std::string, int> chunk_counts(const std::string& data)
{
    std::map<std::string, int> counts;
    size_t at = 8;
    while (at + 12 <= data.size()) {
        const auto* p = reinterpret_cast<const uint8_t*>(data.data() + at);
        size_t length = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
        counts[data.substr(at + 4, 4)] += 1;
        at += 12 + length;
    }
    return counts;
}

int film_changes = 0;
bool film_relaid = false;
void film_changed(bool relayout)
{
    film_changes += 1;
    film_relaid = film_relaid || relayout;
}

} // namespace

TEST_F(SequenceTest, AStoppedRunStillWritesItsMngAndFilmFiles)
{
    const std::string grey = solid("grey.png", 6, 4, 100, 100, 100);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 0, 7, opcmd::Negative);
    // The whole run first: an MNG of eight indexed frames.
    SequenceRequest rq;
    std::string error;
    ASSERT_TRUE(sequence_output_for_name(path("all.mng"), rq.output, error)) << error;
    ASSERT_EQ(sequence_generate(rq), SEQ_DONE);
    std::string mng = read(path("all.mng"));
    ASSERT_GT(mng.size(), 8u);
    EXPECT_EQ(mng.substr(1, 3), "MNG");
    auto chunks = chunk_counts(mng);
    EXPECT_EQ(chunks["IHDR"], 8);
    EXPECT_EQ(chunks["MEND"], 1);

    for (const char* name : {"stop.mng", "stop.flm"}) {
        SCOPED_TRACE(name);
        g_captured = Captured{};
        g_captured.stop_after = 2;
        std::string error;
        ASSERT_TRUE(sequence_output_for_name(path(name), rq.output, error));
        SequenceReport report;
        EXPECT_EQ(sequence_generate(rq, &report), SEQ_STOPPED);
        EXPECT_EQ(report.frames, 3);
        EXPECT_EQ(report.written, path(name));
    }
    EXPECT_EQ(chunk_counts(read(path("stop.mng")))["IHDR"], 3);
    const std::string film = read(path("stop.flm"));
    ASSERT_EQ(film.size(), 16u + 3 * 6 * 4 * 3);
    EXPECT_EQ(film.substr(0, 4), "MFLM");
    EXPECT_EQ(static_cast<uint8_t>(film[12]), 3);
    EXPECT_EQ(static_cast<uint8_t>(film[16]), 255 - 100);  // the first red byte
}

TEST_F(SequenceTest, FramesFillTheFilmStripWhileItsWindowIsOpen)
{
    const std::string grey = solid("grey.png", 6, 4, 100, 100, 100);
    hold_file(0, 0, 7, Grid::Action, grey.c_str());
    hold_op(0, 2, 5, opcmd::Negative);
    // The window closed: the film stays as it is.
    ASSERT_EQ(sequence_generate({}), SEQ_DONE);
    EXPECT_EQ(film_filled(), 0);

    film_changes = 0;
    film_relaid = false;
    film_state().changed = film_changed;
    SequenceRequest rq;
    rq.first = 2;
    rq.last = 6;
    const bool ok = sequence_generate(rq) == SEQ_DONE;
    film_state().changed = nullptr;
    ASSERT_TRUE(ok);
    // A film of the timeline's length was made, frames 2 to 6 went into their slots.
    EXPECT_EQ(film_state().frames, 8);
    EXPECT_EQ(film_filled(), 5);
    EXPECT_EQ(film_frame(0), nullptr);
    ASSERT_NE(film_frame(4), nullptr);
    EXPECT_GE(film_changes, 5);  // the window was told of each frame
    EXPECT_TRUE(film_relaid);
    EXPECT_EQ(film_state().current, 5);
    Image* slot = film_frame(2);
    ImageLock lock(slot);
    ASSERT_TRUE(lock);
    EXPECT_EQ(slot->pixel(slot->width / 2, slot->height / 2)[0], 255 - 100);
}
