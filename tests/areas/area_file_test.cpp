#include "../fail_midway.h"
#include "area_util.h"
#include "areas/area_file.h"
#include "core/mem.h"
#include "core/settings.h"
#include "tests/core/log_capture.h"

#include <cmath>

namespace {

AreaSettings& fresh()
{
    area_settings_reset();
    return area_settings();
}

} // namespace

TEST(AreaFile, WriterEmitsTheLinesOfEachMode)
{
    TempDir dir;
    AreaSettings& s = fresh();
    s.mode = AreaMode::ROUNDRECT;
    s.src_width = 320, s.src_height = 200;
    s.pos_x = 100, s.pos_y = 50, s.rad_x = 20, s.rad_y = 10, s.roundness = 7;
    s.tran_level = 5, s.tran_edge = 60, s.tran_grow = 12, s.feather = 3;
    ASSERT_EQ(area_save(dir.file("a.asf").c_str()), 0);
    EXPECT_EQ(TempDir::read(dir.file("a.asf")),
              "AREASELECT Glimmerix:V/q File\n\n"
              "TranLevel:    5\nTranEdge:    60\nTranGrow:    12\n\n"
              "Mode: ROUNDRECT\nSize:  320  200\nPos:  100   50\nRad:   20   10\nRoundness:    7\n"
              "Feather:    3\n");

    s.mode = AreaMode::POLYGON;
    s.points = {{10, 20, 0}, {30, 40, 255}, {-5, 6, 255}};
    s.feather = 0;
    area_save(dir.file("p.asf").c_str());
    std::string p = TempDir::read(dir.file("p.asf"));
    EXPECT_NE(p.find("Mode: POLYGON\nSize:  320  200\nP:   10   20    0\nP:   30   40  255\nP:   -5    6  255\n"
                     "Feather:    0\n"),
              std::string::npos)
        << p;

    s.mode = AreaMode::KEY;
    s.key[0] = 1, s.key[1] = 22, s.key[2] = 255;
    s.range[0] = 9, s.range[1] = 10, s.range[2] = 11;
    area_save(dir.file("k.asf").c_str());
    EXPECT_NE(TempDir::read(dir.file("k.asf")).find("Mode: KEY\nSize:  320  200\nColor:   1  22 255\nRange:   9  10  11\n"),
              std::string::npos);

    s.mode = AreaMode::FONT;
    s.text = "Hello world";
    s.rotation = 12.5, s.mag_x = 1.25, s.mag_y = 2, s.shear = -0.333;
    area_save(dir.file("f.asf").c_str());
    EXPECT_NE(TempDir::read(dir.file("f.asf"))
                  .find("Mode: FONT\nSize:  320  200\nText: Hello world\nRot:    12.50\nMag:     1.25     2.00\n"
                        "Shear:    -0.33\nFeather:    0\n"),
              std::string::npos);
}

TEST(AreaFile, RectangleBoxAndLowerCaseKeysLoadAlike)
{
    TempDir dir;
    const std::string upper =
        "AREASELECT Glimmerix:V/q File\n\nTranLevel:   10\nTranEdge:     0\nTranGrow:     0\n\n"
        "Mode: RECT\nSize:  640  480\nPos:  100   50\nRad:    20   10\nFeather:    4\n";
    std::string lower = upper;
    for (size_t i = upper.find("TranLevel"); i < lower.size(); ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));

    fresh();
    ASSERT_EQ(area_load(dir.write("u.asf", upper).c_str()), 0);
    AreaDesc* a = area_capture();
    fresh();
    ASSERT_EQ(area_load(dir.write("l.asf", lower).c_str()), 0);
    AreaDesc* b = area_capture();

    EXPECT_EQ(a->mode, AreaMode::RECT);
    EXPECT_EQ(a->kind, 3);
    EXPECT_EQ(a->left, 80);
    EXPECT_EQ(a->top, 40);
    EXPECT_EQ(a->right, 120);
    EXPECT_EQ(a->bottom, 60);
    EXPECT_EQ(a->tran_level, 10);
    EXPECT_EQ(a->feather, 4);
    EXPECT_EQ(a->src_width, 640);
    for (AreaDesc* d : {b}) {
        EXPECT_EQ(d->mode, a->mode);
        EXPECT_EQ(d->left, a->left);
        EXPECT_EQ(d->bottom, a->bottom);
        EXPECT_EQ(d->tran_level, a->tran_level);
        EXPECT_EQ(d->feather, a->feather);
        EXPECT_EQ(d->src_height, a->src_height);
    }
    area_desc_free(a);
    area_desc_free(b);
}

TEST(AreaFile, LoadingPointsReplacesTheListAndBadValuesKeepTheSetting)
{
    TempDir dir;
    AreaSettings& s = fresh();
    s.points = {{1, 1, 0}, {2, 2, 255}, {3, 3, 255}, {4, 4, 255}, {5, 5, 255}};
    s.feather = 7;
    s.src_width = 99;
    ASSERT_EQ(area_load(dir.write("p.asf", "AREASELECT\nMode: polygon\nSize: abc 80\nP: 10 20 0\np: 30 40\n"
                                           "P: 50 bad 255\nP: 60 70 255\nFeather: x\nTranLevel:\n")
                            .c_str()),
              0);
    const AreaSettings& r = area_settings();
    EXPECT_EQ(r.mode, AreaMode::POLYGON);
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_EQ(r.points[0].x, 10);
    EXPECT_EQ(r.points[1].m, 255);  // no marker: the contour goes on
    EXPECT_EQ(r.points[2].x, 60);
    EXPECT_EQ(r.src_width, 99);  // "abc" does not parse
    EXPECT_EQ(r.src_height, 80);
    EXPECT_EQ(r.feather, 7);
    EXPECT_TRUE(area_state().present);

    // Curve control points are a list of their own.
    ASSERT_EQ(area_load(dir.write("s.asf", "AREASEL\nMode: SPLI\nS: 1 2 0\nS: 3 4 0\n").c_str()), 0);
    EXPECT_EQ(area_settings().mode, AreaMode::SPLINE);
    EXPECT_EQ(area_settings().control.size(), 2u);
    EXPECT_EQ(area_settings().points.size(), 3u);
}

TEST(AreaFile, LongLinesAreReadInPiecesOfOneHundredNinetyEight)
{
    TempDir dir;
    fresh().feather = 1;
    // The first piece ends exactly where "Feather: 9" begins: the rest of
    // the long line is read as a line of its own and happens to be a key.
    std::string head = "Mode: ELLIPSE ";
    std::string line1 = head + std::string(198 - head.size(), 'x') + "Feather: 9\n";
    // The continuation of this one begins with no key and is skipped.
    std::string line2 = "Rad: 5 6 " + std::string(300, 'y') + " 77\n";
    ASSERT_EQ(area_load(dir.write("long.asf", "AREASELECT\n" + line1 + line2).c_str()), 0);
    EXPECT_EQ(area_settings().mode, AreaMode::ELLIPSE);
    EXPECT_EQ(area_settings().feather, 9);
    EXPECT_EQ(area_settings().rad_x, 5);
    EXPECT_EQ(area_settings().rad_y, 6);
}

TEST(AreaFile, FontAreaRoundTripsToTwoDecimals)
{
    TempDir dir;
    AreaSettings& s = fresh();
    s.mode = AreaMode::FONT;
    s.src_width = 200, s.src_height = 100;
    s.text = "  Two words, spaced";
    s.rotation = -33.3333, s.mag_x = 1.005, s.mag_y = 0.25, s.shear = 0.4049;
    ASSERT_EQ(area_save(dir.file("f.asf").c_str()), 0);
    fresh();
    ASSERT_EQ(area_load(dir.file("f.asf").c_str()), 0);
    const AreaSettings& r = area_settings();
    EXPECT_EQ(r.mode, AreaMode::FONT);
    EXPECT_EQ(r.text, "  Two words, spaced");
    EXPECT_NEAR(r.rotation, -33.33, 1e-9);
    EXPECT_NEAR(r.mag_x, 1.005, 0.0051);
    EXPECT_NEAR(r.mag_y, 0.25, 1e-9);
    EXPECT_NEAR(r.shear, 0.40, 1e-9);
}

TEST(AreaFile, FailuresAreTheSystemsMessages)
{
    TempDir dir;
    Shown shown;
    fresh().mode = AreaMode::ELLIPSE;
    EXPECT_EQ(area_load(dir.file("missing.asf").c_str()), 1);
    EXPECT_TRUE(shown.has("Message 071: Could not open the requested file."));
    EXPECT_TRUE(shown.has("missing.asf"));
    EXPECT_EQ(area_load(dir.write("x.asf", "areaselect lower case header\nMode: RECT\n").c_str()), 1);
    EXPECT_TRUE(shown.has("Message 042: File does not match the type requested."));
    EXPECT_EQ(area_load(dir.write("e.asf", "").c_str()), 1);
    EXPECT_EQ(area_settings().mode, AreaMode::ELLIPSE);
    EXPECT_FALSE(area_state().present);
    EXPECT_EQ(area_save((dir.file("no/such/folder.asf")).c_str()), 1);
    EXPECT_EQ(shown.lines().size(), 4u);
}

TEST(AreaFile, ReaderLogsWhatItRead)
{
    TempDir dir;
    LogCapture log;
    fresh();
    area_load(dir.write("l.asf", "AREASELECT\nMode: freehand\nP: 10 20 0\nP: 30 40 255\nFeather: 2\n").c_str());
    std::string text = log.text();
    EXPECT_NE(text.find("Mode: FREEHAND\n"), std::string::npos) << text;
    EXPECT_NE(text.find("X:   10 Y:   20 M:    0 \nX:   30 Y:   40 M:  255 \n"), std::string::npos) << text;
    EXPECT_NE(text.find("Feather:    2\n"), std::string::npos);
}

TEST(AreaFile, CaptureRestoreAndTheDescriptionsLabels)
{
    AreaSettings& s = fresh();
    s.mode = AreaMode::POLYGON;
    s.points = {{0, 0, 0}, {10, 0, 255}, {10, 10, 255}};
    s.text = "abc";
    AreaDesc* d = area_capture();
    ASSERT_NE(d, nullptr);
    char label[5];
    long size = 0;
    ASSERT_TRUE(mem_describe(d, label, &size));
    EXPECT_STREQ(label, "area");
    ASSERT_TRUE(mem_describe(d->points, label, &size));
    EXPECT_STREQ(label, "apts");
    ASSERT_TRUE(mem_describe(d->text, label, &size));
    EXPECT_STREQ(label, "atxt");
    EXPECT_GE(size, 102);
    EXPECT_EQ(d->point_count, 3);

    fresh();
    area_restore(d);
    EXPECT_EQ(area_settings().points.size(), 3u);
    EXPECT_EQ(area_settings().text, "abc");
    d = area_desc_free(d);
    EXPECT_EQ(d, nullptr);
    area_release();
    EXPECT_EQ(mem_counters().places_now, 0);
}

TEST(ShapeFile, SavedShapeReadsBackIntoTheSquareWithItsContours)
{
    TempDir dir;
    AreaSettings& s = fresh();
    // An outer square and an inner one, in image coordinates (y down).
    s.points = {{100, 100, 0}, {300, 100, 255}, {300, 200, 255}, {100, 200, 255},
                {150, 120, 0}, {250, 120, 255}, {250, 180, 255}};
    ASSERT_EQ(shape_save(dir.file("box.v1.ish").c_str()), 0);
    EXPECT_EQ(TempDir::read(dir.file("box.v1.ish")),
              "ISHAPE\nbox\n\n   0 1000\n1000 1000\n1000    0\n   0    0\n\n 250  800\n 750  800\n 750  200\n");
    EXPECT_EQ(area_state().shape.name, "box");

    area_state().shape = AreaShape{};
    ASSERT_EQ(shape_load(dir.file("box.v1.ish").c_str()), 0);
    const AreaShape& sh = area_state().shape;
    EXPECT_EQ(sh.name, "box");
    ASSERT_EQ(sh.points.size(), 7u);
    // Back in y-down order: the first point is the top left.
    EXPECT_EQ(sh.points[0].x, 0);
    EXPECT_EQ(sh.points[0].y, 0);
    EXPECT_EQ(sh.points[2].x, 1000);
    EXPECT_EQ(sh.points[2].y, 1000);
    EXPECT_EQ(sh.points[4].m, 0);
    EXPECT_EQ(sh.points[5].m, 255);
    EXPECT_EQ(sh.points[4].y, 200);

    // Scaled into a box drawn right to left, the shape is mirrored.
    const long box[4] = {50, 0, 10, 100};
    ASSERT_TRUE(area_shape_into_box(box));
    EXPECT_EQ(area_settings().mode, AreaMode::ISHAPE);
    EXPECT_EQ(area_settings().points[0].x, 50);
    EXPECT_EQ(area_settings().points[1].x, 10);
}

TEST(ShapeFile, ReaderSkipsCommentsAndNameAndRefusesBadFiles)
{
    TempDir dir;
    Shown shown;
    fresh();
    ASSERT_EQ(shape_load(dir.write("t.ish", "ishape v2\r\n* a comment\r\nTriangle\r\n0 0\r\n* between\r\n"
                                            "10 0\r\n5.5 20\r\nnot a point\r\n\r\n3 3\r\n")
                             .c_str()),
              0);
    const AreaShape& sh = area_state().shape;
    ASSERT_EQ(sh.points.size(), 4u);
    EXPECT_EQ(sh.points[0].y, 1000);  // y = 0 is the bottom
    EXPECT_EQ(sh.points[2].x, 550);
    EXPECT_EQ(sh.points[2].y, 0);
    EXPECT_EQ(sh.points[1].m, 255);
    EXPECT_EQ(sh.points[3].m, 0);

    // A vertical line has no width: no division by zero.
    ASSERT_EQ(shape_load(dir.write("line.ish", "ISHAPE\nline\n5 0\n5 10\n").c_str()), 0);
    EXPECT_EQ(area_state().shape.points[0].x, 0);

    EXPECT_EQ(shape_load(dir.file("none.ish").c_str()), 1);
    EXPECT_TRUE(shown.has("Message 063: I-Shape file was not found."));
    EXPECT_EQ(shape_load(dir.write("bad.ish", "IMAGE\n").c_str()), 1);
    EXPECT_TRUE(shown.has("Message 042"));
    EXPECT_EQ(shape_load(dir.write("empty.ish", "ISHAPE\nname only\n* nothing\n\n").c_str()), 1);
    EXPECT_TRUE(shown.has("Message 064: The I-Shape file holds no points."));
    EXPECT_EQ(area_state().shape.name, "line");
}

TEST(AreaSettings, PreferencesAndDrawingConstraints)
{
    Settings& p = settings();
    settings_reset(p, "/tmp");
    fresh();
    area_settings_from_prefs();
    // "AreaMode" 6 is the sixth tool of the menu; "Feathering" 15.
    EXPECT_EQ(area_settings().mode, AreaMode::ELLIPSE);
    EXPECT_EQ(area_settings().feather, 15);
    EXPECT_EQ(area_settings().font_name, "Arial");
    p.area_mode = 12;
    area_settings_from_prefs();
    EXPECT_EQ(area_settings().mode, AreaMode::FONT);

    // A box dragged up and left keeps its direction when held square or to an aspect.
    AreaState& st = area_state();
    long x1 = 40, y1 = 85;
    st.hold_square = true;
    area_constrain_box(100, 100, &x1, &y1, 0);
    EXPECT_EQ(x1, 40);
    EXPECT_EQ(y1, 40);
    st.hold_square = false;
    st.hold_aspect = true;
    x1 = 130, y1 = 60;
    area_constrain_box(100, 100, &x1, &y1, 2.0);
    EXPECT_EQ(x1, 180);
    EXPECT_EQ(y1, 60);
    st.hold_aspect = false;
    x1 = 7, y1 = 9;
    area_constrain_box(0, 0, &x1, &y1, 2.0);
    EXPECT_EQ(x1, 7);
    EXPECT_EQ(y1, 9);
}

TEST(AreaFile, SavesTheDiskCutsShortKeepTheOldFiles)
{
    TempDir dir;
    AreaSettings& s = fresh();
    s.mode = AreaMode::POLYGON;
    s.points = {{10, 10, 0}, {90, 10, 255}, {90, 70, 255}, {10, 70, 255}};
    const std::string area = dir.file("keep.asf"), shape = dir.file("keep.ish");
    ASSERT_EQ(area_save(area.c_str()), 0);
    ASSERT_EQ(shape_save(shape.c_str()), 0);
    const std::string area_before = TempDir::read(area), shape_before = TempDir::read(shape);
    for (int i = 0; i < 200; ++i)
        s.points.push_back({static_cast<int32_t>(i), static_cast<int32_t>(i % 50), 255});
    EXPECT_EQ(test_support::run_with_file_limit(64, [&] { return area_save(area.c_str()); }), 1);
    EXPECT_EQ(test_support::run_with_file_limit(64, [&] { return shape_save(shape.c_str()); }), 1);
    EXPECT_EQ(TempDir::read(area), area_before);
    EXPECT_EQ(TempDir::read(shape), shape_before);
    EXPECT_EQ(test_support::leftover_parts(dir.file("")), std::vector<std::string>{});
}
