// The image commands on a real image with the operations subsystem started.
#include "areas/area_mask.h"
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "ops/collage/collage.h"
#include "ops/framework.h"
#include "ops/ops.h"
#include "ops/profiles.h"
#include "ops/render/render.h"
#include "plugins/plugins.h"
#include "script/engine.h"
#include "script_fixture.h"
#include "timeline/timeline.h"
#include "core/undo.h"

#include <cstring>
#include <set>

class ImageCommandTest : public ScriptTest {
protected:
    Image* img = nullptr;

    void SetUp() override
    {
        ScriptTest::SetUp();
        ops_install();
        AppOptions o;
        o.home = dir_ + "/home";
        ASSERT_EQ(app_init_instance(o), 0);
        Settings& s = settings();
        s.work_method = 0;
        s.with_alpha = 0;
        s.mod_alpha = 0;
        img = image_new(16, 12, "test");
        ASSERT_NE(img, nullptr);
        image_lock(img);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x)
                pixel_store(img->pixel(x, y), pixel_make(x * 10, y * 20, 100 + x + y, 255));
        image_unlock(img);
        image_set_role(ImageRole::Target, img);
        script_set_image(img);
        // The mask and the one undo capture kept without undo levels are
        // the system's from here on: each run must give back what it took.
        undo_set_levels(s.undo_want, 0);
        ASSERT_EQ(ensure_mask(16, 12), 0);
        set_current_operation(opcmd::Pixelize);
        ASSERT_EQ(perform_operation(img, 0), 0);
        image_lock(img);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x)
                pixel_store(img->pixel(x, y), pixel_make(x * 10, y * 20, 100 + x + y, 255));
        image_unlock(img);
    }
    void TearDown() override
    {
        script_set_image(nullptr);
        app_shutdown();
        ScriptTest::TearDown();
    }
    // As the base's, without its count of blocks: the mask, the selection
    // and the undo captures that operations leave belong to the system.
    ScriptResult run_file(const std::string& path)
    {
        ui::headless().clear_transcript();
        const char* argv[] = {"test", path.c_str()};
        ScriptResult r;
        r.status = script_run(2, argv);
        r.error = script_last_error();
        for (const std::string& line : ui::headless().transcript()) {
            if (line.rfind("Script Output: ", 0) == 0)
                r.out.push_back(line.substr(15));
            else
                r.boxes.push_back(line);
        }
        return r;
    }
    ScriptResult run(const std::string& program)
    {
        write("prog.gxs", program);
        return run_file("prog.gxs");
    }
    std::string output(const std::string& program)
    {
        ScriptResult r = run(program);
        EXPECT_EQ(r.status, 0) << r.error;
        return r.text();
    }
    std::string error_of(const std::string& program)
    {
        ScriptResult r = run(program);
        EXPECT_EQ(r.status, 1) << r.text();
        return r.error;
    }

    uint32_t px(int x, int y)
    {
        ImageLock lock(img);
        return pixel_load(img->pixel(x, y));
    }
    std::vector<uint32_t> all()
    {
        std::vector<uint32_t> v;
        ImageLock lock(img);
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < static_cast<int>(img->width); ++x)
                v.push_back(pixel_load(img->pixel(x, y)));
        return v;
    }
};

TEST_F(ImageCommandTest, EveryCatalogueKeywordIsReachableWithItsArgumentCount)
{
    size_t nf = 0, ns = 0;
    const script::BuiltinDef* f = script::image_functions(&nf);
    const script::StatementDef* st = script::statement_table(&ns);
    EXPECT_EQ(nf, 221u);
    EXPECT_EQ(ns, 87u);
    std::set<std::string> statements;
    for (size_t i = 14; i < 24; ++i) {
        EXPECT_EQ(st[i].fn, script::st_operation) << st[i].name;
        statements.insert(st[i].name);
    }
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        if (!d->keyword)
            continue;
        if (d->script_statement) {
            EXPECT_TRUE(statements.count(d->keyword)) << d->keyword;
            continue;
        }
        const script::BuiltinDef* b = nullptr;
        for (size_t k = 0; k < nf; ++k)
            if (std::strcmp(f[k].name, d->keyword) == 0)
                b = &f[k];
        ASSERT_NE(b, nullptr) << d->keyword;
        EXPECT_EQ(b->min_args, d->script_args) << d->keyword;
        EXPECT_EQ(b->max_args, d->script_args) << d->keyword;
        EXPECT_NE(b->fn, nullptr) << d->keyword;
        // One argument too many is refused before anything happens.
        std::string call = std::string("10 X = ") + d->keyword + "(";
        for (int a = 0; a <= d->script_args; ++a)
            call += a ? ",1" : "1";
        EXPECT_EQ(error_of(call + ")\n"), "Error in line 10: Syntax error") << d->keyword;
    }
    // The operation functions come in order of their argument counts, the
    // fixed list after them.
    size_t k = 1;
    for (; k < nf && std::strcmp(f[k].name, "VERSION") != 0; ++k)
        EXPECT_LE(f[k - 1].min_args, f[k].min_args) << f[k].name;
    EXPECT_EQ(nf - k, 94u);
    // No keyword at or before the operation statements begins one of them:
    // their order among themselves decides no prefix match.
    for (size_t i = 14; i < 24; ++i)
        for (size_t j = 0; j < 24; ++j)
            if (j != i) {
                EXPECT_NE(std::strncmp(st[i].name, st[j].name, std::strlen(st[j].name)), 0)
                    << st[j].name << " hides " << st[i].name;
            }
}

TEST_F(ImageCommandTest, OperationCommandsSetParametersInOrderAndRestoreTheCurrentOperation)
{
    set_current_operation(opcmd::Gamma);
    std::vector<uint32_t> before = all();
    EXPECT_EQ(error_of("10 X = BRIGHT(40, 2)\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(all(), before);  // the wrong count changed nothing
    EXPECT_EQ(output("10 PRINT BRIGHT(40)\n"), " 0\n");
    EXPECT_NE(all(), before);
    EXPECT_EQ(op_state().current, opcmd::Gamma);
    // The same as the operation applied with that value directly.
    std::vector<uint32_t> scripted = all();
    image_lock(img);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            pixel_store(img->pixel(x, y), before[static_cast<size_t>(y * 16 + x)]);
    image_unlock(img);
    const OpDescriptor* d = op_by_command(opcmd::Brightness);
    slot_set(d->slots[0], 40);
    set_current_operation(opcmd::Brightness);
    ASSERT_EQ(perform_operation(img, 0), 0);
    EXPECT_EQ(all(), scripted);
    // A text where a number goes is a type mismatch, before anything changes.
    EXPECT_EQ(error_of("10 X = BRIGHT(\"up\")\n"), "Error in line 10: Type mismatch");
    // Values beyond the typed range are taken at its end.
    output("10 X = BRIGHT(5000000)\n");
    EXPECT_EQ(slot_get(d->slots[0]), d->slots[0].typed_max);
}

TEST_F(ImageCommandTest, OperationsNotWrittenYetAnswerWithTheFrameworksRefusal)
{
    // Every operation is written now: one is taken out for the test.
    OpDescriptor* d = op_by_command(opcmd::ForceDyn);
    ASSERT_NE(d, nullptr);
    const int16_t was = d->available;
    d->available = 0;
    ScriptResult r = run("10 FORCED\n20 PRINT \"after\"\n");
    d->available = was;
    EXPECT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), "after\n");
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_NE(r.boxes[0].find("\"ForceDyn\" cannot be applied"), std::string::npos) << r.boxes[0];
}

TEST_F(ImageCommandTest, PixelsAreReadAndWrittenThroughTheMask)
{
    // Coordinates off the image read at 0 on that axis.
    EXPECT_EQ(output("10 PRINT GETRED(-5, 10); GETGREEN(-5, 10); GETRED(16, 0); GETBLUE(3, 2)\n"),
              " 0 200 0 105\n");
    // Mask 0 leaves a pixel and returns its value; 255 sets it.
    ASSERT_EQ(ensure_mask(16, 12), 0);
    uint8_t* m = mask_lock();
    std::memset(m, 255, 16 * 12);
    m[2 * 16 + 3] = 0;
    m[2 * 16 + 4] = 128;
    mask_unlock();
    area_mask().built = true;
    settings().work_method = 1;  // the mask as it stands
    EXPECT_EQ(output("10 PRINT PUTRED(3, 2, 7); PUTRED(5, 2, 263); PUTRED(4, 2, 200)\n"), " 30 50 40\n");
    EXPECT_EQ(pixel_r(px(3, 2)), 30);
    EXPECT_EQ(pixel_r(px(5, 2)), 7);  // the low byte of 263
    EXPECT_EQ(pixel_r(px(4, 2)), (128 * 200 + 127 * 40) / 255);
    // The "U" functions read the pixels from before the run.
    EXPECT_EQ(output("10 X = PUTBLUE(1, 1, 9)\n20 PRINT GETBLUE(1, 1); GETBLUEU(1, 1); GETALPHAU(1, 1)\n"),
              " 9 102 255\n");
    EXPECT_EQ(output("10 PRINT GETLUMA(0, 0); GETHUE(0, 0); GETSAT(0, 0)\n"), " 19 240 100\n");
}

TEST_F(ImageCommandTest, TheImageStackHoldsAHundredAndIgnoresTheRest)
{
    // A 101st push does nothing; a pop on an empty stack does nothing.  The
    // stacks are given back at the end of the run.
    long places = mem_counters().places_now;
    ScriptResult r = run("10 FOR I = 1 TO 101: PUSHIMAGE: NEXT I\n"
                         "20 X = PUTRED(0, 0, 99)\n"
                         "30 FOR I = 1 TO 100: POPIMAGE: NEXT I\n"
                         "40 PRINT GETRED(0, 0)\n"
                         "50 X = PUTRED(0, 0, 77): POPIMAGE: PRINT GETRED(0, 0)\n");
    EXPECT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), " 0\n 77\n");
    EXPECT_EQ(mem_counters().places_now, places);
    // Exchange, duplicate, swap and drop.
    EXPECT_EQ(output("10 PUSHIMAGE: X = PUTGREEN(1, 1, 5): PUSHIMAGE: X = PUTGREEN(1, 1, 6)\n"
                     "20 PRINT SWAPIMAGE(1); SWAPIMAGE(5)\n"
                     "30 EXGIMAGE: PRINT GETGREEN(1, 1)\n"
                     "40 DUPIMAGE: DROPIMAGE: POPIMAGE: PRINT GETGREEN(1, 1)\n"
                     "50 POPIMAGE: PRINT GETGREEN(1, 1)\n"),
              " 1 0\n 20\n 6\n 5\n");
}

TEST_F(ImageCommandTest, MasksMoveBetweenTheStacks)
{
    // The mask stack, and the mask as a grey image on the image stack and back.
    EXPECT_EQ(output("10 X = SETMASK(100): PUSHMASK: X = SETMASK(0): POPMASK: PRINT GETM(3, 3)\n"
                     "20 PUSHMAI: X = SETMASK(7): POPIAM: PRINT GETM(3, 3)\n"
                     "30 X = SETMASK(50): PUSHMASK: X = SETMASK(200): EXGMASK: PRINT GETM(0, 0)\n"
                     "40 POPMAI: PRINT GETRED(0, 0); GETBLUE(5, 5)\n"),
              " 100\n 100\n 50\n 200 200\n");
    // PUSHMAI makes a missing mask for the push only.
    mask_release();
    EXPECT_EQ(output("10 PUSHMAI: POPIMAGE: PRINT GETRED(2, 2); GETALPHA(2, 2)\n"), " 255 255\n");
}

TEST_F(ImageCommandTest, MaskEditsLimitTheOperations)
{
    std::vector<uint32_t> before = all();
    // A rectangle selected by the script: the operation changes only it.
    EXPECT_EQ(output("10 PRINT SELRECT(2, 2, 5, 4)\n20 X = NEGATIVE(0, 1, 1, 1, 0)\n"), " 1\n");
    std::vector<uint32_t> after = all();
    int changed = 0;
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i] != before[i]) {
            ++changed;
            int x = static_cast<int>(i % 16), y = static_cast<int>(i / 16);
            EXPECT_TRUE(x >= 2 && x <= 5 && y >= 2 && y <= 4) << x << "," << y;
        }
    EXPECT_GT(changed, 0);
    // A mask made by hand: MASKRECT then INVERTMASK, the operation outside.
    image_lock(img);
    std::memcpy(img->pixels, before.data(), before.size() * 4);
    image_unlock(img);
    output("10 X = SETSEL(0): X = SETMASK(0): X = MASKRECT(0, 0, 7, 11, 255): INVERTMASK\n"
           "20 X = NEGATIVE(0, 1, 1, 1, 0)\n");
    EXPECT_EQ(px(3, 3), before[3 * 16 + 3]);
    EXPECT_NE(px(12, 3), before[3 * 16 + 12]);
    EXPECT_EQ(output("10 X = SETMASK(0): X = MASKRECT(4, 4, 6, 6, 255): X = EXPAND(1, 1)\n"
                     "20 PRINT GETM(3, 3); GETM(2, 2); GETX1(0); GETY2(0)\n"
                     "30 X = CONTRACT(1, 1): PRINT GETM(4, 4); GETM(5, 5)\n"),
              " 255 0 3 7\n 255 255\n");
}

TEST_F(ImageCommandTest, SetoffsetMovesTheWeightsAndCalculateMixesChannels)
{
    EXPECT_EQ(output("10 X = SETMASK(100): PRINT SETOFFSET(-40); GETM(0, 0); SETOFFSET(300); GETM(1, 1)\n"
                     "20 PRINT SETOFFSET(5)\n"),
              " 192 60 192 255\n 0\n");
    // Red from green plus 5 everywhere; blue from half the red before the
    // run, limited to 0..20; nothing outside the mask.
    EXPECT_EQ(output("10 X = SETMASK(255)\n"
                     "20 PRINT CALCULATE(0, 0, 1, 0, 0, 5, 1, 0, 255, 0)\n"
                     "30 PRINT CALCULATE(2, 1, 0, 0, 0, 0, 2, 0, 20, 1)\n"
                     "40 X = SETMASK(0): PRINT CALCULATE(4, 0, 0, 0, 0, 9, 1, 0, 255, 0); CALCULATE(5, 0, 0, 0, 0, 9, 1, 0, 255, 0)\n"),
              " 192\n 192\n 0 0\n");
    EXPECT_EQ(px(3, 2), pixel_make(45, 40, 15, 255));
    EXPECT_EQ(px(10, 0), pixel_make(5, 0, 20, 255));
    // The three colours at once, by a weight of 128; a zero divisor counts as 1.
    EXPECT_EQ(output("10 X = SETMASK(128): PRINT CALCULATE(4, 0, 0, 0, 0, 255, 0, 0, 255, 0)\n"), " 192\n");
    EXPECT_EQ(px(3, 2), pixel_make((128 * 255 + 127 * 45) / 255, (128 * 255 + 127 * 40) / 255,
                                   (128 * 255 + 127 * 15) / 255, 255));
    EXPECT_EQ(error_of("10 X = CALCULATE(1, 2, 3)\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 X = SETOFFSET()\n"), "Error in line 10: Syntax error");
}

TEST_F(ImageCommandTest, LandCommandsSetTheLandscapesParameters)
{
    const RenderParams& p = render_params();
    // Each returns its first parameter's value before.
    EXPECT_EQ(output("10 PRINT LANDHAZE(20, 50); LANDCLIFF(40, 60); LANDWATER(70, 80, 30); LANDSCALE(150, 250, 200)\n"
                     "20 PRINT LANDROT(90, 100, 300, 80, 50, 100); LANDTEXT(60, 3, 7, 55, 1, 2, 3); LANDHAZE(500, -4)\n"),
              " 85 0 40 100\n 0 0 20\n");
    EXPECT_EQ(p.land_haze, 100);  // limited to what the parameter takes
    EXPECT_EQ(p.land_haze_start, 0);
    EXPECT_EQ(p.land_cliff_dark, 60);
    EXPECT_EQ(p.land_water, 70);
    EXPECT_EQ(p.land_depth, 30);
    EXPECT_EQ(p.land_relief, 150);
    EXPECT_EQ(p.land_distance, 200);
    EXPECT_EQ(p.land_heading, 90);
    EXPECT_EQ(p.land_cam[1], 300);
    EXPECT_EQ(p.land_fov, 100);
    EXPECT_EQ(p.land_grain_seed, 7);
    EXPECT_EQ(p.land_snow, 55);
    EXPECT_EQ(p.land_snow_rgb[2], 3);
    for (const char* call : {"LANDHAZE(1)", "LANDCLIFF(1, 2, 3)", "LANDWATER(1, 2)", "LANDSCALE(1)",
                             "LANDROT(1, 2, 3, 4, 5)", "LANDTEXT(1, 2, 3, 4, 5, 6)"})
        EXPECT_EQ(error_of(std::string("10 X = ") + call + "\n"), "Error in line 10: Syntax error") << call;
    EXPECT_EQ(error_of("10 X = LANDROT(\"north\", 2, 3, 4, 5, 6)\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(p.land_heading, 90);

    // The LANDSCAPE command renders with them: the camera turned is another picture.
    output("10 X = LANDROT(0, 256, 504, 0, 35, 70): X = LANDSCAPE(1, 55, 40, 100)\n");
    std::vector<uint32_t> north = all();
    output("10 X = LANDROT(90, 256, 504, 0, 35, 70): X = LANDSCAPE(1, 55, 40, 100)\n");
    EXPECT_NE(all(), north);
}

TEST_F(ImageCommandTest, StCommandsSetTheStrokesParametersAndStrokeUsesThem)
{
    const CollageParams& p = collage_params();
    // Each returns its first parameter's value before; values beyond a
    // parameter's range are taken at its end.
    EXPECT_EQ(output("10 PRINT STPOS(60, 10, 20, -3, 4); STAPP(80, 2, 30); STPAL(&HFF8000, 40); STFADE(50)\n"
                     "20 PRINT STFLIP(1, 0, 3, 25); STROTATE(10, 200, 1, 15, 30); STSIZING(50, 150, 20, 40, 900)\n"
                     "30 PRINT STSHADOW(2, 3, 70, 4, 255); STBARREL(60, -20, 10, -10, 100, 50, 30); STPOS(-5, 0, 0, 0, 0)\n"),
              " 25 100 16777215 0\n 0 0 100\n 4 0 60\n");
    EXPECT_EQ(p.st_spacing, 1);
    EXPECT_EQ(p.st_opacity, 80);
    EXPECT_EQ(p.st_threshold, 30);
    EXPECT_EQ(p.st_tint, 0xFF8000);
    EXPECT_EQ(p.st_fade, 50);
    EXPECT_EQ(p.st_alternate, 3);
    EXPECT_EQ(p.st_random_flip, 25);
    EXPECT_EQ(p.st_angle[1], 200);
    EXPECT_EQ(p.st_spin, 30);
    EXPECT_EQ(p.st_scale_max, 900);
    EXPECT_EQ(p.st_shadow_colour, 255);
    EXPECT_EQ(p.st_barrel[1], -20);
    EXPECT_EQ(p.st_barrel_shade, 30);
    output("10 X = STFADE(400): X = STBARREL(-900, 0, 0, 0, 0, 0, 0)\n");
    EXPECT_EQ(p.st_fade, 100);
    EXPECT_EQ(p.st_barrel[0], -100);
    for (const char* call : {"STPOS(1, 2, 3, 4)", "STAPP(1, 2)", "STPAL(1)", "STFADE(1, 2)", "STFLIP(1, 2, 3)",
                             "STROTATE(1, 2, 3, 4, 5, 6)", "STSIZING(1)", "STSHADOW(1, 2, 3, 4)", "STBARREL(1, 2, 3, 4, 5, 6)"})
        EXPECT_EQ(error_of(std::string("10 X = ") + call + "\n"), "Error in line 10: Syntax error") << call;
    EXPECT_EQ(error_of("10 X = STFADE(\"slow\")\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(p.st_fade, 100);

    // A script that sets the brush's settings and strokes paints what the
    // operation paints with the same values set by name.
    Image* brush = image_new(5, 4, "brush");
    ASSERT_NE(brush, nullptr);
    image_lock(brush);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            pixel_store(brush->pixel(x, y), pixel_make(250 - 40 * x, 60 * y, 200, 120 + 30 * y));
    image_unlock(brush);
    image_set_role(ImageRole::Brush, brush);
    const std::vector<uint32_t> before = all();
    output("10 X = STPOS(40, 30, 0, 1, 0): X = STAPP(90, 1, 0): X = STPAL(&H2080FF, 50): X = STFADE(30)\n"
           "20 X = STFLIP(0, 0, 1, 10): X = STROTATE(0, 90, 1, 10, 0): X = STSIZING(80, 160, 10, 1, 1000)\n"
           "30 X = STSHADOW(1, 1, 60, 1, 0): X = STBARREL(40, 0, 0, 0, 100, 100, 20)\n"
           "40 X = STROKE()\n");
    const std::vector<uint32_t> scripted = all();
    EXPECT_NE(scripted, before);
    image_lock(img);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            pixel_store(img->pixel(x, y), before[static_cast<size_t>(y * 16 + x)]);
    image_unlock(img);
    collage_params().st_spacing = 25;  // anything: every value is set again below
    const OpDescriptor* d = op_by_command(opcmd::Stroke);
    const std::vector<std::pair<const char*, double>> values = {
        {"spacing", 40}, {"jitter_x", 30}, {"jitter_y", 0}, {"offset_x", 1}, {"offset_y", 0}, {"opacity", 90},
        {"every", 1}, {"threshold", 0}, {"tint", 0x2080FF}, {"tint_amount", 50}, {"fade", 30}, {"flip_x", 0},
        {"flip_y", 0}, {"alternate", 1}, {"random_flip", 10}, {"angle", 0}, {"angle_end", 90}, {"follow", 1},
        {"angle_jitter", 10}, {"spin", 0}, {"scale", 80}, {"scale_end", 160}, {"scale_jitter", 10},
        {"scale_min", 1}, {"scale_max", 1000}, {"shadow_x", 1}, {"shadow_y", 1}, {"shadow", 60},
        {"shadow_soft", 1}, {"shadow_colour", 0}, {"barrel", 40}, {"barrel4", 0}, {"barrel_x", 0},
        {"barrel_y", 0}, {"barrel_h", 100}, {"barrel_v", 100}, {"barrel_shade", 20}};
    size_t set = 0;
    for (const auto& [key, v] : values)
        for (const OpSlot& s : d->slots)
            if (s.used() && std::strcmp(s.key, key) == 0) {
                slot_set(s, v);
                ++set;
            }
    EXPECT_EQ(set, values.size());
    set_current_operation(opcmd::Stroke);
    ASSERT_EQ(perform_operation(img, 0), 0);
    EXPECT_EQ(all(), scripted);
    image_set_role(ImageRole::Brush, nullptr);
    image_free(brush);
}

TEST_F(ImageCommandTest, HelpersProfilesAndQueries)
{
    EXPECT_EQ(output("10 PRINT SMOOTHSTEP(5, 0, 10); SMOOTHSTEP(1, 2, 2); SMOOTHSTEP(-1, 0, 1); SMOOTHSTEP(3, 0, 1)\n"),
              " 0.5 0.5 0 1\n");
    EXPECT_EQ(output("10 PRINT MIN(3, 2); HILIM(3, 2); MAX(3, 2); LOWLIM(3, 2); CLAMP(9, 0, 4); STEP(2, 1); STEP(1, 2)\n"),
              " 2 2 3 3 4 1 0\n");
    EXPECT_EQ(output("10 PRINT DEG(RAD(90)); VERSION; LEVEL; GETXW(0); GETYW(0)\n"), " 90 7i 16 12\n");
    // Profiles by name; an unknown name or an index outside 0..200 gives 0.
    EXPECT_EQ(output("10 PRINT GETPROF(\"histo\", 200); GETPROF(\"histo\", 201); GETPROF(\"nosuch\", 3)\n"
                     "20 X = SETPROF(\"crater\", 7, 123): PRINT GETPROF(\"crater\", 7)\n"),
              " 255 0 0\n 123\n");
    EXPECT_EQ(profile_find("crater")[7], 123);
    EXPECT_EQ(error_of("10 PRINT GETPROF(3, 3)\n"), "Error in line 10: Type mismatch");
    // The timeline position during a sequence.
    timeline().frames = 11;
    op_set_generating(true, 5);
    EXPECT_EQ(output("10 PRINT TLPOS(22); TPOS(10); GETLI(0)\n"), " 10 5 5\n");
    op_set_generating(false);
    EXPECT_EQ(output("10 PRINT TPOS(10)\n"), " 0\n");
    // The compositing mode by name.
    EXPECT_EQ(output("10 A$ = SETCTM(\"Multiply\"): PRINT SETCTM(\"nosuch\")\n"), "Multiply\n");
}

TEST_F(ImageCommandTest, PluginParametersGoToThePluginOperation)
{
    EXPECT_EQ(output("10 X = PUINTEGER(3, 42): X = PUINTEGER(9, 5): X = PUFLOAT(1, 2.5)\n"
                     "20 X = PUCHECK(2, 7): X = PURADIO(4, 3): X = PUSTRING(1, \"two\")\n"
                     "30 X = PUPALNC(1, 2): X = PUPALRGB(1, 1, 10, 20, 30): X = PURGBA(3, 1, 2, 3, 4)\n"
                     "40 X = PUPROFILE(11, 200, 9)\n"),
              "");
    const GxpRecord& p = plugin_host().params;
    EXPECT_EQ(p.longs[3], 42);
    EXPECT_EQ(p.longs[7], 5);  // the slot number is held to 0..7
    EXPECT_EQ(p.floats[1], 2.5f);
    EXPECT_EQ(p.switches[2], 1);
    EXPECT_EQ(p.radios[4], 3);
    EXPECT_STREQ(p.str2, "two");
    EXPECT_EQ(p.palettes[1].count, 2);
    EXPECT_EQ(p.palettes[1].green[1], 20);
    EXPECT_EQ(p.colors[3][2], 3);
    EXPECT_EQ(p.color_values[3], 4);
    EXPECT_EQ(profile_find("piprof12")[200], 9);
    // Without a plug-in the operation says so, and the script goes on.
    ScriptResult r = run("10 X = PLUGIN()\n20 PRINT LOADPLUG(\"nosuch\")\n");
    EXPECT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), " 0\n");
}

TEST_F(ImageCommandTest, TheScriptOperationRunsOnTheTargetWithOneUndo)
{
    settings().undo_want = 5;
    undo_set_levels(0, 5);
    write("neg.gxs", "10 X = NEGATIVE(0, 1, 1, 1, 0)\n20 X = BRIGHT(10)\n");
    std::vector<uint32_t> before = all();
    const OpDescriptor* d = op_by_command(opcmd::Script);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->available);
    std::snprintf(static_cast<char*>(d->slots[0].var), static_cast<size_t>(d->slots[0].text_size), "%s", "neg.gxs");
    set_current_operation(opcmd::Script);
    script_set_image(nullptr);
    ASSERT_EQ(perform_operation(img, 0), 0);
    EXPECT_NE(all(), before);
    // A script that fails leaves the image as it was.
    write("bad.gxs", "10 X = NEGATIVE(0, 1, 1, 1, 0)\n20 ERROR 5\n");
    std::vector<uint32_t> good = all();
    std::snprintf(static_cast<char*>(d->slots[0].var), static_cast<size_t>(d->slots[0].text_size), "%s", "bad.gxs");
    EXPECT_EQ(perform_operation(img, 0), 1);
    EXPECT_EQ(all(), good);
}
