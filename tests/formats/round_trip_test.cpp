// What a codec writes it reads back: every writer at each depth it writes,
// through the save and load entries, pixel for pixel (JPEG within its loss).
#include "core/mem.h"
#include "format_fixture.h"

namespace {

// An image of `colours` distinct colours (all of them when 0), in blocks,
// so that the indexed depths have an exact palette to find.
Image* picture(int width, int height, int colours, bool alpha, bool grey = false)
{
    Image* image = pattern(width, height, alpha);
    image_lock(image);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image->pixel(x, y);
            if (colours) {
                const int k = (x / 3 + y / 2 * 7) % colours;
                p[0] = static_cast<uint8_t>(k * 255 / std::max(1, colours - 1));
                p[1] = static_cast<uint8_t>(colours == 2 ? p[0] : (k * 97) & 255);
                p[2] = static_cast<uint8_t>(colours == 2 ? p[0] : 255 - k * 3);
            }
            if (grey)
                p[1] = p[2] = p[0];
        }
    image_unlock(image);
    return image;
}

struct Depth {
    int save_type, save_depth;
    const char* name;
    int colours;       // distinct colours of the picture (0: all)
    bool alpha;        // the picture has alpha
    int bits;          // what the file reports back
    bool alpha_back;   // and whether alpha comes back
    int tolerance;     // largest difference per channel
    bool grey = false;
};

} // namespace

TEST_F(FormatTest, EveryWriterReadsBackAtEachDepth)
{
    const Depth depths[] = {
        {FMT_BMP, 0, "bmp32.bmp", 0, true, 32, true, 0},
        {FMT_BMP, 2, "bmp24.bmp", 0, false, 24, false, 0},
        {FMT_BMP, 4, "bmp16.bmp", 0, false, 24, false, 0},  // 16 bits are written as 24
        {FMT_BMP, 5, "bmp8.bmp", 200, false, 8, false, 0},
        {FMT_BMP, 6, "bmp4.bmp", 16, false, 4, false, 0},
        {FMT_BMP, 7, "bmp1.bmp", 2, false, 1, false, 0},
        {FMT_PNG, 0, "png32.png", 0, true, 32, true, 0},
        {FMT_PNG, 2, "png24.png", 0, false, 24, false, 0},
        {FMT_PNG, 5, "png8.png", 200, false, 8, false, 0},
        {FMT_PNG, 6, "png4.png", 16, false, 4, false, 0},
        {FMT_PNG, 7, "png1.png", 2, false, 1, false, 0},
        {FMT_JPG, 2, "jpeg.jpg", 0, false, 24, false, 48},
        {FMT_TIFF, 0, "tiff32.tif", 0, true, 32, true, 0},
        {FMT_TIFF, 2, "tiff24.tif", 0, false, 24, false, 0},
        {FMT_TIFF, 2, "tiffgrey.tif", 0, false, 8, false, 0, true},
    };
    for (const Depth& d : depths) {
        SCOPED_TRACE(d.name);
        Image* image = picture(45, 23, d.colours, d.alpha, d.grey);
        settings().save_type = d.save_type;
        settings().save_depth = d.save_depth;
        settings().jpeg_quality = 95;
        ASSERT_EQ(save_image(image, path(d.name).c_str()), 0) << boxes();
        Image* back = load_image(path(d.name).c_str());
        ASSERT_NE(back, nullptr) << boxes();
        EXPECT_EQ(back->bits, d.bits);
        EXPECT_EQ(back->alpha != 0, d.alpha_back);
        EXPECT_LE(max_difference(image, back, d.alpha_back), d.tolerance);
        // The header alone tells what the load found.
        char name[kImagePathMax];
        std::snprintf(name, sizeof name, "%s", path(d.name).c_str());
        FileInfo info;
        ASSERT_EQ(ImageFileInfo(name, &info), 0) << boxes();
        EXPECT_TRUE(info.header_only);
        EXPECT_STREQ(info.type_name, back->format);
        EXPECT_EQ(info.code, back->file_format);
        EXPECT_EQ(info.image.width, static_cast<long>(back->width));
        EXPECT_EQ(info.image.height, back->height);
        EXPECT_EQ(info.image.bits, back->bits);
        EXPECT_EQ(info.image.alpha, back->alpha != 0);
        EXPECT_DOUBLE_EQ(info.image.hres, static_cast<double>(back->hres_num) / back->hres_den);
        EXPECT_DOUBLE_EQ(info.image.vres, static_cast<double>(back->vres_num) / back->vres_den);
        image_free(back);
        image_free(image);
    }
}

TEST_F(FormatTest, InfoReadsHeadersOnly)
{
    Image* big = image_new(2000, 1500, "test");
    big->hres_num = 300;
    settings().save_depth = 2;
    for (int type : {FMT_BMP, FMT_PNG, FMT_JPG, FMT_TIFF}) {
        SCOPED_TRACE(type);
        settings().save_type = type;
        char name[kImagePathMax];
        std::snprintf(name, sizeof name, "%s", path("big").c_str());
        ASSERT_EQ(SaveImageFile(big, name), 0);
        mem_reset_statistics();
        const long before = mem_counters().virt_now;
        FileInfo info;
        ASSERT_EQ(ImageFileInfo(name, &info), 0) << boxes();
        EXPECT_EQ(info.image.width, 2000);
        EXPECT_EQ(info.image.height, 1500);
        EXPECT_DOUBLE_EQ(info.image.hres, 300);
        EXPECT_DOUBLE_EQ(info.image.vres, 200);
        // Nothing near the image's 12 MB is allocated.
        EXPECT_LT(mem_counters().virt_max - before, 1L << 20);
    }
    // A file the dispatch refuses is refused by the same messages.
    char missing[kImagePathMax] = "/nowhere/none.png";
    FileInfo info;
    EXPECT_EQ(ImageFileInfo(missing, &info), 1);
    EXPECT_NE(boxes().find("Message 006: Could not open the image file. /nowhere/none.png"), std::string::npos);
}

TEST_F(FormatTest, EveryHeaderReaderAgreesWithItsLoad)
{
    // Every row that writes and reads its header: the header tells what a
    // load of the same file finds.
    int count = 0, checked = 0;
    const Codec* rows = codec_rows(&count);
    for (int r = 0; r < count; ++r) {
        const Codec& c = rows[r];
        if (!c.write || !c.info || c.save_type < 0)
            continue;
        for (bool alpha : {false, true}) {
            SCOPED_TRACE(std::string(c.title) + (alpha ? " with alpha" : ""));
            Image* image = picture(37, 19, 0, alpha);
            image->hres_num = 150;
            settings().save_type = c.save_type;
            settings().save_depth = alpha ? 0 : 2;
            char name[kImagePathMax];
            std::snprintf(name, sizeof name, "%s", path(std::string("h") + (alpha ? "a" : "") + c.extension).c_str());
            ASSERT_EQ(SaveImageFile(image, name), 0) << boxes();
            Image* back = load_image(name);
            ASSERT_NE(back, nullptr) << boxes();
            FileInfo info;
            ASSERT_EQ(ImageFileInfo(name, &info), 0) << boxes();
            EXPECT_STREQ(info.type_name, back->format);
            EXPECT_EQ(info.code, back->file_format);
            EXPECT_EQ(info.image.width, static_cast<long>(back->width));
            EXPECT_EQ(info.image.height, back->height);
            EXPECT_EQ(info.image.bits, back->bits);
            EXPECT_EQ(info.image.alpha, back->alpha != 0);
            EXPECT_DOUBLE_EQ(info.image.hres, static_cast<double>(back->hres_num) / back->hres_den);
            EXPECT_EQ(info.image.frames, back->frame_count);
            EXPECT_EQ(info.image.frame, back->frame_count > 0 ? back->frame_number : 0);
            image_free(back);
            image_free(image);
            ++checked;
        }
    }
    EXPECT_GE(checked, 8);  // BMP, PNG, JPEG and TIFF at least
}
