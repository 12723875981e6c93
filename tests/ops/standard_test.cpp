// The rest of the Standard Group and the Attrib Group.
#include "core/undo.h"
#include "formats/load_save.h"
#include "ops/standard/standard.h"
#include "ops_fixture.h"

#include <cstring>

class Standard : public OpsTest {};

TEST_F(Standard, SwapRGBAIdentityChangesNothingAndASwapTwiceComesBack)
{
    Image* img = make(7, 5, [](int x, int y) { return pixel_make(x * 30, y * 40, 7, 200 - x); });
    const auto before = pixels(img);
    standard_params().swap_order = 123;  // 0123
    EXPECT_EQ(apply(opcmd::SwapRGBA, img), 2);
    EXPECT_EQ(pixels(img), before);
    standard_params().swap_order = 2103;
    ASSERT_EQ(apply(opcmd::SwapRGBA, img), 0);
    EXPECT_EQ(px(img, 3, 2), pixel_make(7, 80, 90, 197));
    ASSERT_EQ(apply(opcmd::SwapRGBA, img), 0);
    EXPECT_EQ(pixels(img), before);
    image_free(img);
}

TEST_F(Standard, ForceDynStretchesEachChannelAndChannelMapCopiesOne)
{
    Image* img = make(3, 1, [](int x, int) { return pixel_make(50 + x * 50, 100, 10 + x, 255); });
    ASSERT_EQ(apply(opcmd::ForceDyn, img), 0);
    EXPECT_EQ(pixel_r(px(img, 0, 0)), 0);
    EXPECT_EQ(pixel_r(px(img, 1, 0)), 127);
    EXPECT_EQ(pixel_r(px(img, 2, 0)), 255);
    EXPECT_EQ(pixel_g(px(img, 1, 0)), 100);  // one value: left alone
    EXPECT_EQ(pixel_b(px(img, 2, 0)), 255);
    standard_params().map_from = 0;
    standard_params().map_to = 4;
    ASSERT_EQ(apply(opcmd::ChannelMap, img), 0);
    EXPECT_EQ(pixel_a(px(img, 1, 0)), 127);
    EXPECT_EQ(img->alpha, 1);
    image_free(img);
}

TEST_F(Standard, MeasureSampleAndBuildPaletteReportWithoutChangingPixels)
{
    Image* img = make(4, 2, [](int x, int) { return x < 2 ? pixel_make(0, 0, 0, 255) : pixel_make(200, 100, 50, 255); });
    const auto before = pixels(img);
    ASSERT_EQ(apply(opcmd::Measure, img), 0);
    const MeasureResult& m = measure_result();
    EXPECT_EQ(m.pixels, 8);
    EXPECT_DOUBLE_EQ(m.mean[0], 100);
    EXPECT_DOUBLE_EQ(m.deviation[0], 100);
    EXPECT_DOUBLE_EQ(m.max[1], 100);
    EXPECT_TRUE(said("Measure"));
    standard_params().sample_x = 3;
    ASSERT_EQ(apply(opcmd::Sample, img), 0);
    EXPECT_EQ(settings().color_fill[0], 200);
    EXPECT_EQ(slot_get(op_by_command(opcmd::ColorFill)->slots[1]), 100);
    standard_params().pal_colours = 2;
    standard_params().pal_sort = 1;
    ASSERT_EQ(apply(opcmd::BuildPalette, img), 0);
    EXPECT_EQ(img->palette_red[0], 0);
    EXPECT_EQ(img->palette_red[1], 200);
    EXPECT_EQ(img->palette_blue[255], 50);
    EXPECT_EQ(pixels(img), before);
    image_free(img);
}

TEST_F(Standard, AttributesAreSetClearedCutToTheirFieldAndSurviveSaving)
{
    Image* img = ramp(12, 8);
    StandardParams& p = standard_params();
    std::snprintf(p.author, sizeof p.author, "Ada Lovelace");
    ASSERT_EQ(apply(opcmd::AuthorName, img), 0);
    EXPECT_STREQ(img->author, "Ada Lovelace");
    std::memset(p.copyright, 'c', sizeof p.copyright);  // no terminator in the field
    ASSERT_EQ(apply(opcmd::Copyright, img), 0);
    EXPECT_EQ(std::strlen(img->copyright), sizeof img->copyright - 1);
    std::snprintf(p.copyright, sizeof p.copyright, "(c) 2026");
    ASSERT_EQ(apply(opcmd::Copyright, img), 0);
    std::snprintf(p.annotation, sizeof p.annotation, "Line one");
    ASSERT_EQ(apply(opcmd::Annotation, img), 0);
    p.dpi_h = 150, p.dpi_v = 300;
    ASSERT_EQ(apply(opcmd::DPI, img), 0);
    p.aspect_x = 0;
    EXPECT_EQ(apply(opcmd::AspectRatio, img), 2);

    const std::pair<const char*, int> types[] = {{"png", FMT_PNG}, {"tif", FMT_TIFF}, {"jpg", FMT_JPG}, {"bmp", FMT_BMP}};
    for (const auto& [ext, type] : types) {
        settings().save_type = type;
        const std::string path = home + "/attr." + ext;
        ASSERT_EQ(save_image(img, path.c_str()), 0) << ext;
        Image* back = load_image(path.c_str());
        ASSERT_NE(back, nullptr) << ext;
        EXPECT_EQ(back->hres_num * 1.0 / back->hres_den, 150) << ext;
        EXPECT_EQ(back->vres_num * 1.0 / back->vres_den, 300) << ext;
        if (std::strcmp(ext, "bmp") != 0) {
            EXPECT_STREQ(back->author, "Ada Lovelace") << ext;
            EXPECT_STREQ(back->copyright, "(c) 2026") << ext;
            ASSERT_NE(back->annotation, nullptr) << ext;
            EXPECT_STREQ(back->annotation, "Line one") << ext;
        }
        image_free(back);
    }
    // Aspect 2:1: a pixel twice as wide as high, so twice the dots per inch down.
    p.aspect_x = 2, p.aspect_y = 1;
    ASSERT_EQ(apply(opcmd::AspectRatio, img), 0);
    EXPECT_EQ(img->vres_num * 1.0 / img->vres_den, 300);
    EXPECT_EQ(img->hres_num * 1.0 / img->hres_den, 150);
    // Empty text clears.
    p.author[0] = 0;
    p.annotation[0] = 0;
    ASSERT_EQ(apply(opcmd::AuthorName, img), 0);
    ASSERT_EQ(apply(opcmd::Annotation, img), 0);
    EXPECT_STREQ(img->author, "");
    EXPECT_TRUE(!img->annotation || !img->annotation[0]);
    image_free(img);
}

TEST_F(Standard, UndoingAnAttributeOperationPutsTheOldValueBack)
{
    Image* img = ramp(12, 8);
    StandardParams& p = standard_params();
    std::snprintf(p.author, sizeof p.author, "First");
    ASSERT_EQ(apply(opcmd::AuthorName, img), 0);
    std::snprintf(p.author, sizeof p.author, "Second");
    ASSERT_EQ(apply(opcmd::AuthorName, img), 0);
    p.dpi_h = 150, p.dpi_v = 300;
    ASSERT_EQ(apply(opcmd::DPI, img), 0);
    ASSERT_EQ(undo_apply(img), 0);
    EXPECT_NE(img->vres_num * 1.0 / img->vres_den, 300);
    ASSERT_EQ(undo_apply(img), 0);
    EXPECT_STREQ(img->author, "First");
    ASSERT_EQ(undo_redo(img, -1), 0);
    EXPECT_STREQ(img->author, "Second");
    image_free(img);
}
