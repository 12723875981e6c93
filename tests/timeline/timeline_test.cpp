#include "timeline_fixture.h"

#include "ops/tone/tone.h"

#include <vector>

namespace {

int slot_of(int32_t command, const char* key)
{
    const OpDescriptor* d = op_by_command(command);
    for (int i = 0; i < kOpSlots; ++i)
        if (d->slots[i].used() && d->slots[i].key && std::string(d->slots[i].key) == key)
            return i;
    return -1;
}

long places()
{
    return mem_counters().places_now;
}

} // namespace

TEST_F(TimelineTest, AFreshTimelineIsEmptyWithSevenFrames)
{
    EXPECT_EQ(timeline().frames, 7);
    EXPECT_EQ(timeline_levels_in_use(), 0);
    EXPECT_FALSE(timeline_has_grids());
    const std::string f = path("empty.tml");
    ASSERT_EQ(timeline_save(f.c_str()), 0);
    EXPECT_EQ(read(f), "TIMELINE - empty.tml\nFrames:7\n* Empty TimeLine\n");
    ASSERT_EQ(timeline_load(f.c_str()), 0);
    EXPECT_EQ(timeline().frames, 7);
    EXPECT_FALSE(timeline_has_grids());
    EXPECT_FALSE(timeline().changed);
}

TEST_F(TimelineTest, CellsOutsideTheGridAreRefused)
{
    Cell r = as_cell(timeline_file_new("a.bmp"));
    EXPECT_EQ(timeline_set_cell(-1, 0, Grid::Source, r), 1);
    EXPECT_EQ(timeline_set_cell(kTimelineLevels, 0, Grid::Source, r), 1);
    EXPECT_EQ(timeline_set_cell(0, 7, Grid::Source, r), 1);
    EXPECT_FALSE(timeline_has_grids());
    EXPECT_FALSE(timeline().changed);
    EXPECT_EQ(timeline_set_cell(0, -3, Grid::Source, r), 0);  // taken as frame 0
    EXPECT_EQ(timeline_cell(0, 0, Grid::Source), r);
    EXPECT_TRUE(timeline().changed);
    EXPECT_EQ(timeline_levels_in_use(), 1);
    EXPECT_TRUE(timeline_has_row(0, Grid::Source));
    EXPECT_FALSE(timeline_has_row(0, Grid::Op));
    // The five grids are made together, with their labels.
    char label[5];
    long size = 0;
    ASSERT_TRUE(mem_describe(timeline().grids[static_cast<int>(Grid::Action)], label, &size));
    EXPECT_STREQ(label, "targ");

    ASSERT_EQ(timeline_set_cell(41, 2, Grid::Op, CELL_CONTINUE), 0);
    EXPECT_EQ(timeline_levels_in_use(), 42);
    // A record replaced is released.
    long before = places();
    ASSERT_EQ(timeline_set_cell(0, 0, Grid::Source, CELL_END), 0);
    EXPECT_EQ(places(), before - 1);
    timeline_clear();
    EXPECT_EQ(timeline_levels_in_use(), 0);
    EXPECT_FALSE(timeline_has_grids());
}

TEST_F(TimelineTest, ShrinkingEndsEntriesAndReleasesRecords)
{
    timeline_new(10);
    hold_file(0, 2, 8, Grid::Source, "a.bmp");
    ASSERT_EQ(timeline_hold(3, 6, 6, Grid::Op, as_cell(timeline_op_capture(opcmd::Negative))), 0);
    ASSERT_EQ(timeline_hold(3, 8, 9, Grid::Op, as_cell(timeline_op_capture(opcmd::Negative))), 0);
    EXPECT_EQ(row_text(0, Grid::Source), "..R=====|.");
    EXPECT_EQ(row_text(3, Grid::Op), "......R.R|");
    long before = places();
    ASSERT_EQ(timeline_set_frames(6), 0);
    EXPECT_EQ(timeline().frames, 6);
    EXPECT_EQ(row_text(0, Grid::Source), "..R==|");  // the marker at frame 5 now ends the entry
    EXPECT_EQ(row_text(3, Grid::Op), "......");
    EXPECT_EQ(places(), before - 2);
    EXPECT_EQ(timeline().last_frame, 6);
}

TEST_F(TimelineTest, GrowingHoldsAnEntryThatEndedAtTheLastFrame)
{
    timeline_new(6);
    hold_file(0, 2, 5, Grid::Action, "a.bmp");
    hold_file(1, 0, 2, Grid::Action, "b.bmp");
    ASSERT_EQ(timeline_set_frames(10), 0);
    EXPECT_EQ(row_text(0, Grid::Action), "..R======|");
    EXPECT_EQ(row_text(1, Grid::Action), "R=|.......");
    // The same count again changes nothing; neither does a timeline without grids.
    timeline().changed = false;
    EXPECT_EQ(timeline_resize(10, 10), 0);
    EXPECT_FALSE(timeline().changed);
    timeline_clear();
    EXPECT_EQ(timeline_resize(10, 4), 0);
    EXPECT_FALSE(timeline_has_grids());
}

TEST_F(TimelineTest, HoldingOverAnEntrySplitsItAndClearingTidies)
{
    timeline_new(10);
    auto* r = timeline_file_new("anim.flc");
    r->start = 1;
    r->increment = 2;
    ASSERT_EQ(timeline_hold(0, 0, 9, Grid::Source, as_cell(r)), 0);
    hold_file(0, 3, 5, Grid::Source, "b.bmp");
    EXPECT_EQ(row_text(0, Grid::Source), "R=|R=|R==|");
    // The rest of the first entry goes on from frame 6 at the frame of the
    // animation it would have reached there.
    const auto* tail = cell_record<TimelineFile>(timeline_cell(0, 6, Grid::Source));
    ASSERT_NE(tail, nullptr);
    EXPECT_STREQ(tail->name, "anim.flc");
    EXPECT_EQ(tail->start, 13);
    EXPECT_EQ(timeline_effective(0, 4, Grid::Source), 3);
    EXPECT_EQ(timeline_effective(0, 9, Grid::Source), 6);

    ASSERT_EQ(timeline_clear_cells(0, 0, 1, Grid::Source), 0);
    EXPECT_EQ(row_text(0, Grid::Source), "...R=|R==|");
    EXPECT_EQ(timeline_effective(0, 1, Grid::Source), -1);
    // Clearing the record of an entry takes its markers along.
    ASSERT_EQ(timeline_clear_cells(0, 6, 6, Grid::Source), 0);
    EXPECT_EQ(row_text(0, Grid::Source), "...R=|....");
    // An entry inside another ends the outer one before it.
    hold_file(1, 0, 9, Grid::Brush, "c.bmp");
    hold_file(1, 7, 9, Grid::Brush, "d.bmp");
    EXPECT_EQ(row_text(1, Grid::Brush), "R=====|R=|");
}

TEST_F(TimelineTest, SavingAndLoadingAgainIsByteIdentical)
{
    timeline_new(5);
    auto* src = timeline_file_new("in.bmp");
    src->reload = 1, src->start = 3, src->increment = 2;
    ASSERT_EQ(timeline_hold(0, 0, 4, Grid::Source, as_cell(src)), 0);
    hold_file(0, 1, 1, Grid::Brush, "Level(2)");
    hold_file(1, 0, 2, Grid::Action, "my image.bmp");

    tone_params().negative_mode = 2;
    TimelineOp* op = timeline_op_capture(opcmd::Negative);
    ASSERT_NE(op, nullptr);
    op->interpolate = 1;
    std::snprintf(op->pfile, sizeof op->pfile, "neg.VQS");
    ASSERT_EQ(timeline_hold(0, 0, 3, Grid::Op, as_cell(op)), 0);
    Trend* t = timeline_var_trend(0, opcmd::Negative, slot_of(opcmd::Negative, "mode"));
    ASSERT_NE(t, nullptr);
    const int32_t kf[] = {0, 4}, kv[] = {0, 5};
    trend_set_keys(t, kf, kv, 2);
    Trend* mix = timeline_level_trend(0, LEVEL_MIX);
    ASSERT_NE(mix, nullptr);
    mix->splined = 1;
    const int32_t mf[] = {0, 2, 4}, mv[] = {10, 60, 90};
    trend_set_keys(mix, mf, mv, 3);

    // Areas of several kinds.
    AreaSettings s;
    s.mode = AreaMode::FONT;
    s.src_width = 320, s.src_height = 120, s.pos_x = 160, s.pos_y = 60;
    s.text = "Hello \"world\"";
    s.rotation = 15, s.mag_x = 2.5, s.mag_y = 1.25, s.shear = 0.3;
    ASSERT_EQ(timeline_hold(2, 0, 0, Grid::Area, as_cell(timeline_area_capture(s, nullptr))), 0);
    s = AreaSettings{};
    s.mode = AreaMode::POLYGON;
    s.points = {{1, 2, 0}, {30, 4, 255}, {15, 40, 255}};
    s.feather = 3;
    ASSERT_EQ(timeline_hold(2, 1, 2, Grid::Area, as_cell(timeline_area_capture(s, nullptr))), 0);
    s = AreaSettings{};
    s.mode = AreaMode::FLOOD;
    s.pos_x = 5, s.pos_y = 6;
    s.range[0] = 9;
    s.key_space = KeySpace::HSL;
    ASSERT_EQ(timeline_hold(2, 3, 3, Grid::Area, as_cell(timeline_area_capture(s, nullptr))), 0);
    s = AreaSettings{};
    s.mode = AreaMode::ROUNDRECT;
    s.pos_x = 50, s.pos_y = 40, s.rad_x = 20, s.rad_y = 10, s.roundness = 7;
    ASSERT_EQ(timeline_hold(2, 4, 4, Grid::Area, as_cell(timeline_area_capture(s, nullptr))), 0);

    const std::string a = path("a.tml");
    ASSERT_EQ(timeline_save(a.c_str()), 0);
    EXPECT_FALSE(timeline().changed);
    const std::string first = read(a);
    for (const char* line :
         {"TIMELINE - a.tml\nFrames:5\nTrend Var:\"Mix\" Splined:1 Level:0 0,10 2,60 4,90\n",
          "SRC L:1 F:1 V:1 S:3 I:2 \"in.bmp\"\nOP L:1 F:1 \"Negative\"\n- Interpolate:1\n- Pfile:\"neg.VQS\"\n"
          "- Var:\"Mode\",2\n- Trend Var:\"Mode\" Splined:0 0,0 4,5\n- Var:\"Red\",1\n",
          "- Var:\"Blue\",1\n\nSRC L:1 F:2 =\nBRU L:1 F:2 V:0 S:1 I:0 \"Level(2)\"\nOP L:1 F:2 =\n",
          "SRC L:1 F:5 ==\nACT L:2 F:1 V:0 S:1 I:0 \"my image.bmp\"\n",
          "AREA L:3 F:1\n- Mode:Font\n- Image:320,120\n- Center:160,60\n- Pos:160,60,160,60\n- FontW:   2.500\n"
          "- FontH:   1.250\n- FontRot:  15.000\n- FontShear:   0.300\n- FontName:\"Arial\"\n- FontPoint:23\n"
          "- FontPos:160,60\n- FontText:Hello \"world\"\n- TranLevel:0\n",
          "- Mode:Polygon\n- Image:0,0\n- Center:0,0\n- TranLevel:0\n",
          "- Feather:3\n- Point:0,1,2,0\n- Point:1,30,4,255\n- Point:2,15,40,255\nAREA L:3 F:3 ==\n",
          "- Mode:Color Wand\n", "- Feather:0\n- Range:9,20,20\n- OnHue:0\n- Key Space:1\n- PosF:5,6\n",
          "- Mode:Round Rect\n- Image:0,0\n- Center:50,40\n- Pos:30,30,70,50\n- Roundness:7\n"})
        EXPECT_NE(first.find(line), std::string::npos) << line << "\nin:\n" << first;
    // The level trend of level 0 comes first, not again on level 1.
    EXPECT_EQ(first.find("Trend Var:\"Mix\"", first.find("Level:0") + 1), std::string::npos);

    tone_params().negative_mode = 0;
    ASSERT_EQ(timeline_load(a.c_str()), 0);
    ASSERT_EQ(timeline_save(a.c_str()), 0);
    EXPECT_EQ(read(a), first);

    // What was read back.
    const auto* brush = cell_record<TimelineFile>(timeline_cell(0, 1, Grid::Brush));
    ASSERT_NE(brush, nullptr);
    EXPECT_STREQ(brush->name, "Level(2)");
    const auto* rop = cell_record<TimelineOp>(timeline_cell(0, 0, Grid::Op));
    ASSERT_NE(rop, nullptr);
    EXPECT_EQ(rop->interpolate, 1);
    EXPECT_EQ(timeline_op_var_count(rop), 4);
    EXPECT_EQ(rop->vars[0].value, 2);
    Trend* back = trend_find_at(&tone_params().negative_mode, 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(trend_value(back, 2), 2);
    Trend* mix_back = trend_find_at(&timeline().level_values[LEVEL_MIX], 0);
    ASSERT_NE(mix_back, nullptr);
    EXPECT_EQ(mix_back->splined, 1);
    EXPECT_EQ(trend_value(mix_back, 2), 60);
    const auto* poly = cell_record<TimelineArea>(timeline_cell(2, 1, Grid::Area));
    ASSERT_NE(poly, nullptr);
    AreaSettings restored;
    timeline_area_restore(poly, restored);
    EXPECT_EQ(restored.mode, AreaMode::POLYGON);
    ASSERT_EQ(restored.points.size(), 3u);
    EXPECT_EQ(restored.points[2].x, 15);
    EXPECT_EQ(restored.points[1].m, 255);
    EXPECT_EQ(restored.feather, 3);
    const auto* font = cell_record<TimelineArea>(timeline_cell(2, 0, Grid::Area));
    timeline_area_restore(font, restored);
    EXPECT_EQ(restored.mode, AreaMode::FONT);
    EXPECT_EQ(restored.text, "Hello \"world\"");
    EXPECT_DOUBLE_EQ(restored.mag_y, 1.25);
    const auto* wand = cell_record<TimelineArea>(timeline_cell(2, 3, Grid::Area));
    timeline_area_restore(wand, restored);
    EXPECT_EQ(restored.mode, AreaMode::FLOOD);
    EXPECT_EQ(restored.pos_x, 5);
    EXPECT_EQ(restored.key_space, KeySpace::HSL);
    const auto* rr = cell_record<TimelineArea>(timeline_cell(2, 4, Grid::Area));
    timeline_area_restore(rr, restored);
    EXPECT_EQ(restored.rad_x, 20);
    EXPECT_EQ(restored.roundness, 7);
}

TEST_F(TimelineTest, LevelTrendsCountLevelsFromZeroAndCellsFromOne)
{
    const std::string f = path("hand.tml");
    write(f, "TIMELINE - hand.tml\r\n"
             "Frames:5\r\n"
             "Trend Var:\"Repeat\" Splined:0 Level:1 0,1 4,9\r\n"
             "SRC L:2 F:1 V:0 S:1 I:0 \"a.bmp\"\r\n"
             "ACT L:1 F:2 V:0 S:1 I:0 Level 2\r\n");
    ASSERT_EQ(timeline_load(f.c_str()), 0);
    Trend* t = trend_find_at(&timeline().level_values[LEVEL_REPEAT], 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(trend_value(t, 2), 5);
    EXPECT_NE(cell_record<TimelineFile>(timeline_cell(1, 0, Grid::Source)), nullptr);
    const auto* act = cell_record<TimelineFile>(timeline_cell(0, 1, Grid::Action));
    ASSERT_NE(act, nullptr);
    EXPECT_STREQ(act->name, "Level(2)");
    ASSERT_EQ(timeline_save(f.c_str()), 0);
    EXPECT_EQ(read(f), "TIMELINE - hand.tml\nFrames:5\n"
                       "ACT L:1 F:2 V:0 S:1 I:0 \"Level(2)\"\n"
                       "Trend Var:\"Repeat\" Splined:0 Level:1 0,1 4,9\n"
                       "SRC L:2 F:1 V:0 S:1 I:0 \"a.bmp\"\n");
}

TEST_F(TimelineTest, BadFilesAreRefusedWithTheirMessages)
{
    hold_file(0, 0, 0, Grid::Source, "kept.bmp");
    EXPECT_EQ(timeline_load(path("missing.tml").c_str()), 1);
    EXPECT_TRUE(said("Could not open the requested file."));
    write(path("empty.tml"), "");
    EXPECT_EQ(timeline_load(path("empty.tml").c_str()), 1);
    EXPECT_TRUE(said("File is empty."));
    write(path("other.tml"), "VQOPSET Glimmerix:V/q File\nFrames:3\n");
    EXPECT_EQ(timeline_load(path("other.tml").c_str()), 1);
    EXPECT_TRUE(said("Incorrect file type."));
    // The timeline in use is untouched by a refused file.
    EXPECT_NE(cell_record<TimelineFile>(timeline_cell(0, 0, Grid::Source)), nullptr);

    EXPECT_EQ(timeline_save(path("no/such/folder.tml").c_str()), 1);
    EXPECT_TRUE(said("Could not create the requested file."));

    for (const char* frames : {"Frames:1\n", "Frames:-5\n", "Frames:x\n"}) {
        write(path("f.tml"), std::string("TIMELINE - f\n") + frames);
        ASSERT_EQ(timeline_load(path("f.tml").c_str()), 0);
        EXPECT_EQ(timeline().frames, 2) << frames;  // a count that does not read keeps the last
    }
}

TEST_F(TimelineTest, BadLinesAreIgnoredOrClampedAndNothingLeaks)
{
    const long baseline = places();
    std::string text = "TIMELINE - bad\nFrames:6\nHELLO there\nSRC\nSRC L:x F:1 = \n"
                       "SRC L:0 F:1 V:0 S:1 I:0 \"zero level.bmp\"\n"
                       "SRC L:1 F:0 V:0 S:1 I:0 \"frame zero.bmp\"\n"
                       "SRC L:101 F:1 V:0 S:1 I:0 \"too deep.bmp\"\n"
                       "BRU L:1 F:7 V:0 S:1 I:0 \"too late.bmp\"\n"
                       "OP L:1 F:2 \"No Such Operation\"\n- Interpolate:1\n- Var:\"Mode\",3\n"
                       "OP L:1 F:3 \"Negative\"\n- Var:\"Nope\",3\n- Var:\"Mode\",99\n- Var:\"red\",0\n";
    for (int i = 0; i < 60; ++i)
        text += "- Var:\"Green\"," + std::to_string(i % 2) + "\n";
    text += "- Trend Var:\"Mode\" Splined:0 4,5 0,1\n- 4,3 2\n- Trend Var:\"Nope\" Splined:1 0,1 5,2\n";
    text += std::string(2000, 'X') + "\n";
    text += "Trend Var:\"Bogus\" Splined:0 Level:0 0,1\nTrend Var:\"Mix\" Splined:0 Level:100 0,1\n";
    text += "AREA L:1 F:4\n- Mode:Nonsense\n- Image:1,2,3\n- Point:1,2\n- Feather:4\n";
    write(path("bad.tml"), text);

    ASSERT_EQ(timeline_load(path("bad.tml").c_str()), 0);
    EXPECT_EQ(timeline_levels_in_use(), 1);
    const auto* f0 = cell_record<TimelineFile>(timeline_cell(0, 0, Grid::Source));
    ASSERT_NE(f0, nullptr);
    EXPECT_STREQ(f0->name, "frame zero.bmp");  // F:0 is taken as the first frame
    EXPECT_EQ(timeline_cell(0, 1, Grid::Op), CELL_EMPTY);
    const auto* op = cell_record<TimelineOp>(timeline_cell(0, 2, Grid::Op));
    ASSERT_NE(op, nullptr);
    ASSERT_EQ(timeline_op_var_count(op), 3);
    EXPECT_EQ(op->vars[0].value, 5);  // clamped to the parameter's range
    EXPECT_EQ(op->vars[1].value, 0);  // named by its key
    EXPECT_EQ(op->vars[2].value, 1);  // the last of sixty lines
    Trend* t = trend_find_at(&tone_params().negative_mode, 0);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->key_count, 2);  // out of order and repeated keys, sorted
    EXPECT_EQ(t->key_frames[0], 0);
    EXPECT_EQ(t->key_values[1], 3);
    EXPECT_EQ(trend_list().count, 1);
    const auto* area = cell_record<TimelineArea>(timeline_cell(0, 3, Grid::Area));
    ASSERT_NE(area, nullptr);
    EXPECT_STREQ(timeline_area_mode_name(area->mode), "Entire");
    EXPECT_EQ(area->image_w, 0);
    EXPECT_EQ(area->point_count, 0);
    EXPECT_EQ(area->feather, 4);

    timeline_clear();
    EXPECT_EQ(places(), baseline);
}

TEST_F(TimelineTest, LongTrendsGoOnOnLinesOfTheirOwn)
{
    timeline_new(60);
    ASSERT_EQ(timeline_hold(0, 0, 59, Grid::Op, as_cell(timeline_op_capture(opcmd::Negative))), 0);
    Trend* t = timeline_var_trend(0, opcmd::Negative, slot_of(opcmd::Negative, "mode"));
    Trend* r = timeline_level_trend(0, LEVEL_REPEAT);
    std::vector<int32_t> f, v;
    for (int i = 0; i < 45; ++i)
        f.push_back(i), v.push_back(i % 6);
    trend_set_keys(t, f.data(), v.data(), 45);
    for (int32_t& x : v)
        x += 1;
    trend_set_keys(r, f.data(), v.data(), 45);
    const std::string a = path("long.tml");
    ASSERT_EQ(timeline_save(a.c_str()), 0);
    const std::string text = read(a);
    EXPECT_NE(text.find("\n- 20,2 21,3"), std::string::npos);
    ASSERT_EQ(timeline_load(a.c_str()), 0);
    t = trend_find_at(&tone_params().negative_mode, 0);
    r = trend_find_at(&timeline().level_values[LEVEL_REPEAT], 0);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(t->key_count, 45);
    EXPECT_EQ(r->key_count, 45);
    EXPECT_EQ(r->key_values[44], 3);
    ASSERT_EQ(timeline_save(a.c_str()), 0);
    EXPECT_EQ(read(a), text);
}

TEST_F(TimelineTest, ATrendMadeOnALevelStartsFromItsCells)
{
    const int mode = slot_of(opcmd::Negative, "mode");
    TimelineOp* a = timeline_op_capture(opcmd::Negative);
    timeline_op_set(a, mode, 2);
    TimelineOp* b = timeline_op_capture(opcmd::Negative);
    timeline_op_set(b, mode, 4);
    ASSERT_EQ(timeline_hold(1, 1, 2, Grid::Op, as_cell(a)), 0);
    ASSERT_EQ(timeline_hold(1, 4, 4, Grid::Op, as_cell(b)), 0);
    tone_params().negative_mode = 1;
    Trend* t = timeline_var_trend(1, opcmd::Negative, mode);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->level, 1);
    EXPECT_STREQ(t->name, "Mode");
    EXPECT_EQ(t->range_low, 0);
    EXPECT_EQ(t->range_high, 5);
    ASSERT_EQ(t->key_count, 4);
    const int32_t frames[] = {0, 1, 4, 6}, values[] = {1, 2, 4, 1};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(t->key_frames[k], frames[k]);
        EXPECT_EQ(t->key_values[k], values[k]);
    }
    // A level without cells setting it starts flat.
    Trend* other = timeline_var_trend(0, opcmd::Negative, mode);
    EXPECT_EQ(other->key_count, 2);
    EXPECT_EQ(timeline_var_trend(0, opcmd::Negative, 200), nullptr);
}

TEST_F(TimelineTest, TheShutDownQuestionCanCancel)
{
    hold_file(0, 0, 1, Grid::Source, "a.bmp");
    platform.set_policy(ui::HeadlessPlatform::Policy::Cancel);
    EXPECT_EQ(app_shutdown(), 1);
    EXPECT_TRUE(said("Time Line has changed."));
    EXPECT_TRUE(app_running());
    // Saving first: the file is written, then the program ends.
    timeline().path = path("at-exit.tml");
    platform.set_policy(ui::HeadlessPlatform::Policy::Yes);
    EXPECT_EQ(app_shutdown(), 0);
    EXPECT_NE(read(path("at-exit.tml")).find("SRC L:1 F:1"), std::string::npos);
}

TEST_F(TimelineTest, AnUnchangedTimelineIsNotAskedAbout)
{
    hold_file(0, 0, 1, Grid::Source, "a.bmp");
    ASSERT_EQ(timeline_save(path("t.tml").c_str()), 0);
    platform.set_policy(ui::HeadlessPlatform::Policy::Cancel);
    EXPECT_EQ(app_shutdown(), 0);
    EXPECT_FALSE(said("Time Line has changed."));
}
