#include "core/image.h"
#include "core/mem.h"
#include "core/list.h"
#include "core/messages.h"
#include "log_capture.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Image, SizesAreClampedAndBlocksSizedWithSpareRows)
{
    Image* tiny = image_new(0, -5, "test");
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(tiny->width, 1u);
    EXPECT_EQ(tiny->height, 1);

    Image* img = image_new(640, 480, "test");
    char label[5];
    long size = 0;
    int locks = -1;
    ASSERT_TRUE(vmem_describe(img->pixel_block, label, &size, &locks));
    EXPECT_STREQ(label, "iHrg");
    EXPECT_EQ(size, 640L * 484 * 4 + 4);
    ASSERT_TRUE(vmem_describe(img->row_block, label, &size, &locks));
    EXPECT_STREQ(label, "iyof");
    EXPECT_EQ(size, 640L * 4 + 4);
    EXPECT_EQ(locks, 0);

    Image* tall = image_new(100, 300, "test");
    vmem_describe(tall->row_block, label, &size, &locks);
    EXPECT_EQ(size, 304L * 4 + 4);
    image_free(tiny);
    image_free(img);
    image_free(tall);
    EXPECT_EQ(mem_counters().places_now, 0);
}

TEST(Image, NewImagesAreUnlockedOpaqueWithTheirDefaults)
{
    Image* img = image_new(7, 5, "test");
    EXPECT_EQ(img->pixels, nullptr);
    EXPECT_EQ(img->rows, nullptr);
    EXPECT_EQ(img->locks, 0);
    EXPECT_EQ(img->hres_num, 200);
    EXPECT_EQ(img->hres_den, 1);
    EXPECT_EQ(img->vres_num, 200);
    EXPECT_EQ(img->alpha, 0);
    EXPECT_STREQ(img->name, "");
    ASSERT_EQ(image_lock(img), 0);
    for (int y = 0; y < 5 + kImageSpareRows; ++y) {
        EXPECT_EQ(img->rows[y], static_cast<uint32_t>(y * 7));
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(img->pixels[4 * (y * 7 + x) + 3], 255);
    }
    image_unlock(img);
    image_free(img);
}

TEST(Image, PaletteAtCreation)
{
    Image* img = image_new(1, 1, "test");
    // r * 32 + g * 4 + b: r 0..6, g 0..7, b 0..3
    int i = 5 * 32 + 3 * 4 + 2;
    EXPECT_EQ(img->palette_red[i], 5 * 255 / 6);
    EXPECT_EQ(img->palette_green[i], 3 * 255 / 7);
    EXPECT_EQ(img->palette_blue[i], 2 * 255 / 3);
    EXPECT_EQ(img->palette_red[223], 255);
    EXPECT_EQ(img->palette_blue[223], 255);
    EXPECT_EQ(img->palette_green[224], 0);
    EXPECT_EQ(img->palette_green[234], 10 * 255 / 21);
    EXPECT_EQ(img->palette_green[244], 20 * 255 / 21);
    EXPECT_EQ(img->palette_red[245], 255);
    EXPECT_EQ(img->palette_blue[255], 255);
    image_free(img);
}

TEST(Image, NestedLocksNeedAsManyUnlocks)
{
    Image* img = image_new(4, 4, "test");
    ASSERT_EQ(image_lock(img), 0);
    uint8_t* first = img->pixels;
    ASSERT_EQ(image_lock(img), 0);
    EXPECT_EQ(img->pixels, first);
    EXPECT_EQ(img->locks, 2);
    image_unlock(img);
    EXPECT_NE(img->pixels, nullptr);
    image_unlock(img);
    EXPECT_EQ(img->pixels, nullptr);
    EXPECT_EQ(img->rows, nullptr);
    image_unlock(img);  // extra unlock is harmless
    EXPECT_EQ(img->locks, 0);
    image_free(img);
}

TEST(Image, LockFailuresGiveTheirCodes)
{
    LogCapture log;
    EXPECT_EQ(image_lock(nullptr), 1);
    EXPECT_NE(log.text().find("MESSAGE(011): \"No images loaded.\"\n"), std::string::npos);
    Image* img = image_new(2, 2, "test");
    gmem_refuse_locks(true);
    EXPECT_EQ(image_lock(img), 1);
    EXPECT_EQ(img->locks, 1);  // raised all the same
    gmem_refuse_locks(false);
    image_unlock(img);
    image_free(img);
}

TEST(Image, FailedRowTableShowsMessage7AndLeavesNothing)
{
    LogCapture log;
    gmem_fail_after(2);  // record and pixel block succeed, the row table does not
    EXPECT_EQ(image_new(10, 10, "test"), nullptr);
    gmem_fail_after(-1);
    EXPECT_NE(log.text().find("MESSAGE(007): \"Not enough memory for new image.\"\n"), std::string::npos);
    EXPECT_EQ(mem_counters().places_now, 0);
    EXPECT_EQ(image_store_count(), 0);
}

TEST(Image, StoreTracksImagesAndFreeClearsParentsAndRoles)
{
    image_store_clear();
    Image* parent = image_new(8, 8, "test");
    Image* cut = image_new(2, 2, "test");
    Image* other = image_new(2, 2, "test");
    cut->parent = parent;
    EXPECT_EQ(image_store_count(), 3);
    image_set_role(ImageRole::Target, parent);
    image_set_role(ImageRole::Brush, parent);
    image_set_role(ImageRole::Source, other);
    image_free(parent);
    EXPECT_EQ(cut->parent, nullptr);
    EXPECT_EQ(image_role(ImageRole::Target), nullptr);  // no view to fall back to
    EXPECT_EQ(image_role(ImageRole::Brush), nullptr);
    EXPECT_EQ(image_role(ImageRole::Source), other);
    EXPECT_EQ(image_store_count(), 2);
    EXPECT_FALSE(image_store_contains(parent));
    image_free(cut);
    image_free(other);
    image_free(nullptr);
    EXPECT_EQ(image_store_count(), 0);
}

TEST(Image, FormatTagsAndTypeNames)
{
    Image* img = image_new(1, 1, "test");
    image_set_format(img, FMT_TIFF);
    EXPECT_STREQ(img->format, "TIFF");
    EXPECT_EQ(img->file_format, FMT_TIFF);
    image_set_format(img, FMT_PNG);
    EXPECT_STREQ(img->format, "PNG");
    image_set_format(img, 21);  // above 17: tag unchanged
    EXPECT_STREQ(img->format, "PNG");
    EXPECT_EQ(img->file_format, 21);
    EXPECT_STREQ(image_type_name(FMT_TIFF), "TIF");
    EXPECT_STREQ(image_type_name(22), "MNG");
    EXPECT_STREQ(image_type_name(23), "GIF");
    EXPECT_STREQ(image_type_name(FMT_PSD), "PSD");
    EXPECT_EQ(image_type_name(24), nullptr);
    image_free(img);
}

TEST(Image, AnnotationsAndNames)
{
    EXPECT_EQ(image_annotation_alloc(nullptr, 10), -1);
    Image* img = image_new(1, 1, "test");
    ASSERT_EQ(image_annotation_alloc(img, 10), 0);
    char label[5];
    long size = 0;
    ASSERT_TRUE(mem_describe(img->annotation, label, &size));
    EXPECT_STREQ(label, "Iann");
    EXPECT_GE(size, 324);
    char name[32];
    image_next_new_name(name, sizeof name);
    char second[32];
    image_next_new_name(second, sizeof second);
    EXPECT_STREQ(name, "NEW_1");
    EXPECT_STREQ(second, "NEW_2");
    image_free(img);
    EXPECT_EQ(mem_counters().places_now, 0);
}

TEST(Image, RowsRebuildRestoresTheTable)
{
    EXPECT_EQ(image_rows_rebuild(nullptr), 1);
    Image* img = image_new(5, 3, "test");
    image_lock(img);
    img->rows[2] = 999;
    EXPECT_EQ(image_rows_rebuild(img), 0);
    EXPECT_EQ(img->rows[2], 10u);
    image_unlock(img);
    EXPECT_EQ(image_rows_rebuild(img), 0);  // locks and unlocks around itself
    EXPECT_EQ(img->locks, 0);
    image_free(img);
}

TEST(Image, FreeingALayerOrItsMasterLeavesNoDanglingReference)
{
    Image* master = image_new(4, 4, "test");
    ASSERT_EQ(list_create(&master->layer_list, "layerlist", nullptr, nullptr), 0);
    Image* layers[3];
    for (Image*& l : layers) {
        l = image_new(2, 2, "test");
        l->is_layer = 1;
        l->owner = master;
        list_add_tail(master->layer_list)->element = l;
    }
    image_free(layers[1]);
    EXPECT_EQ(list_count(master->layer_list), 2);
    EXPECT_EQ(list_find(master->layer_list, layers[1]), -1);
    EXPECT_EQ(master->recomposite, 1);

    image_free(master);
    for (Image* l : {layers[0], layers[2]}) {
        EXPECT_EQ(l->owner, nullptr);
        EXPECT_EQ(l->is_layer, 0);
        image_free(l);
    }
    EXPECT_EQ(chunk_counters().entries, 0);
}
