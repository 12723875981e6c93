// The small readers, PNG, and the JPEG and TIFF libraries.
#include "core/bytes.h"
#include "format_fixture.h"
#include "formats/codecs.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

Bytes iraw(uint32_t width, uint32_t height, size_t pixel_bytes)
{
    Bytes b = {'I', '2', '4', 0};
    le32(b, width);
    le32(b, height);
    for (size_t i = 0; i < pixel_bytes; ++i)
        b.push_back(static_cast<uint8_t>(i));
    return b;
}

} // namespace

TEST_F(FormatTest, IRawKeepsTheCodeOfANewRecord)
{
    Image* image = load_image(write("pic.i24", iraw(2, 2, 12)).c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->file_format, 0);
    EXPECT_STREQ(image->format, "BMP");
    EXPECT_RGB(image, 1, 0, 3, 4, 5);
    EXPECT_RGB(image, 0, 1, 6, 7, 8);

    EXPECT_EQ(load_image(write("short.i24", iraw(4, 4, 20)).c_str()), nullptr);
    EXPECT_NE(boxes().find("Error: I-Raw image damaged"), std::string::npos);
    EXPECT_EQ(load_image(write("huge.i24", iraw(0xFFFFFFFF, 0xFFFFFFFF, 20)).c_str()), nullptr);
    FILE* f = std::fopen(write("head.i24", {'I', '2', '4', 0, 1, 0}).c_str(), "rb");
    EXPECT_EQ(read_iraw(f, 6), nullptr);
    std::fclose(f);
    EXPECT_NE(boxes().find("Error: I-Raw file damaged"), std::string::npos);
}

TEST_F(FormatTest, PpmScalesAnyMaximumValue)
{
    std::string text = "P6\n# made by hand\n2 1\n255\n";
    Bytes b(text.begin(), text.end());
    for (uint8_t v : {1, 2, 3, 250, 251, 252})
        b.push_back(v);
    Image* image = load_image(write("a.ppm", b).c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->format, "PPM");
    EXPECT_RGB(image, 1, 0, 250, 251, 252);

    // Deeper samples are scaled to 255: 65535 and 32768 of 65535, 3 of 7.
    std::string deep = "P6 1 1 65535\n";
    Bytes d(deep.begin(), deep.end());
    for (uint8_t v : {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00})
        d.push_back(v);
    Image* wide = load_image(write("deep.ppm", d).c_str());
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->bits, 48);
    EXPECT_RGB(wide, 0, 0, 255, 128, 0);
    std::string seven = "P6 1 1 7\n";
    Bytes s7(seven.begin(), seven.end());
    for (uint8_t v : {7, 3, 0})
        s7.push_back(v);
    Image* small = load_image(write("seven.ppm", s7).c_str());
    ASSERT_NE(small, nullptr);
    EXPECT_RGB(small, 0, 0, 255, 109, 0);
    std::string zero = "P6 1 1 0\n";
    Bytes z(zero.begin(), zero.end());
    z.resize(z.size() + 3, 0);
    EXPECT_EQ(load_image(write("zero.ppm", z).c_str()), nullptr);
    EXPECT_NE(boxes().find("maximum value of 0"), std::string::npos);

    std::string cut = "P6 100 100 255\n";
    EXPECT_EQ(load_image(write("cut.ppm", Bytes(cut.begin(), cut.end())).c_str()), nullptr);
    EXPECT_NE(boxes().find("Message 025: File is truncated."), std::string::npos);
}

TEST_F(FormatTest, FourBitPictures)
{
    // Nothing else claims these bytes; the name decides.
    Bytes pix(8192, 0x0F);
    pix[0] = 0x30;
    Image* small = load_image(write("shot.pix", pix).c_str());
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->width, 128u);
    EXPECT_EQ(small->height, 128);
    EXPECT_EQ(small->bits, 4);
    EXPECT_STREQ(small->format, "TGA");
    EXPECT_RGB(small, 0, 0, 51, 51, 51);
    EXPECT_RGB(small, 127, 127, 255, 255, 255);

    Image* big = load_image(write("shot.pdx", Bytes(32768, 0x88)).c_str());
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->width, 260u);
    EXPECT_EQ(big->height, 256);
    EXPECT_EQ(big->bits, 24);
    // 65,536 pixels are filled in row order; the last 1,024 stay as created.
    EXPECT_RGB(big, 15, 252, 136, 136, 136);
    EXPECT_RGB(big, 16, 252, 0, 0, 0);
    EXPECT_RGB(big, 259, 255, 0, 0, 0);
}

TEST_F(FormatTest, PngRoundTripsWithTextAndResolution)
{
    Image* image = pattern(33, 7, true);
    std::snprintf(image->author, sizeof image->author, "A. Painter");
    image_annotation_alloc(image, 400);
    std::snprintf(image->annotation, 400, "Seven rows");
    image->hres_num = image->vres_num = 300;
    ASSERT_EQ(WritePng(image, path("a.png").c_str(), 32), 0);
    Image* back = load_image(path("a.png").c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(max_difference(image, back, true), 0);
    EXPECT_EQ(back->alpha, 1);
    EXPECT_EQ(back->bits, 32);
    EXPECT_EQ(back->hres_num, 300);
    EXPECT_EQ(back->hres_den, 1);
    EXPECT_STREQ(back->author, "A. Painter");
    ASSERT_NE(back->annotation, nullptr);
    EXPECT_STREQ(back->annotation, "Seven rows");
    Bytes file = read(path("a.png"));
    std::string bytes(file.begin(), file.end());
    EXPECT_NE(bytes.find(std::string("Software\0Glimmerix:V/q 7.50", 27)), std::string::npos);

    // 24 bits drops alpha; so does 32 for an image without it.
    image->alpha = 0;
    ASSERT_EQ(WritePng(image, path("b.png").c_str(), 32), 0);
    Image* rgb = load_image(path("b.png").c_str());
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(rgb->alpha, 0);
    EXPECT_EQ(rgb->bits, 24);
    EXPECT_EQ(max_difference(image, rgb, false), 0);
}

TEST_F(FormatTest, DamagedPngIsRefusedWithItsName)
{
    Image* image = pattern(40, 40, false);
    ASSERT_EQ(WritePng(image, path("whole.png").c_str(), 24), 0);
    Bytes b = read(path("whole.png"));
    b.resize(b.size() / 2);
    std::string cut = write("cut.png", b);
    EXPECT_EQ(load_image(cut.c_str()), nullptr);
    EXPECT_NE(boxes().find("PNG file is damaged"), std::string::npos) << boxes();
    EXPECT_NE(boxes().find(cut), std::string::npos);
    EXPECT_EQ(image_store_count(), 1);  // nothing left behind
}

TEST_F(FormatTest, JpegThroughItsLibraries)
{
    Image* image = pattern(64, 40, false);
    settings().save_type = FMT_JPG;
    settings().jpeg_quality = 95;
    ASSERT_EQ(save_image(image, path("p").c_str()), 0);
    Image* back = load_image(path("p.jpg").c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->format, "JPG");
    EXPECT_STREQ(back->type_name, "JPEG");
    EXPECT_EQ(back->bits, 24);
    EXPECT_LE(max_difference(image, back, false), 40);
    EXPECT_EQ(image->saved_quality, 95);

    // The same stream behind a 128-byte preamble is still found.
    Bytes b = read(path("p.jpg"));
    b.insert(b.begin(), 128, 0);
    Image* late = load_image(write("late.jpe", b).c_str());
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(max_difference(back, late, false), 0);
}

TEST_F(FormatTest, TiffThroughItsLibrary)
{
    Image* image = pattern(50, 9, true);
    settings().save_type = FMT_TIFF;
    settings().save_depth = 0;
    for (int compress : {0, 1, 2}) {
        settings().save_compress = compress;
        std::string name = "c" + std::to_string(compress);
        ASSERT_EQ(save_image(image, path(name).c_str()), 0);
        Image* back = load_image(path(name + ".tif").c_str());
        ASSERT_NE(back, nullptr);
        EXPECT_STREQ(back->format, "TIFF");
        EXPECT_EQ(back->alpha, 1);
        EXPECT_EQ(max_difference(image, back, true), 0) << "compression " << compress;
    }
    // Saved without alpha unless SaveDepth is 0.
    settings().save_depth = 2;
    ASSERT_EQ(save_image(image, path("rgb.tif").c_str()), 0);
    Image* rgb = load_image(path("rgb.tif").c_str());
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(rgb->alpha, 0);
    EXPECT_EQ(rgb->bits, 24);
    EXPECT_EQ(max_difference(image, rgb, false), 0);

    // A TIFF under a camera-raw name loads as TIFF.
    Bytes tif = read(path("rgb.tif"));
    EXPECT_NE(load_image(write("camera.ORF", tif).c_str()), nullptr);
}

TEST_F(FormatTest, IndexedPngHoldsThePaletteItUses)
{
    Image* image = pattern(20, 5, false);
    for (int bits : {8, 4, 1}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(WritePng(image, path("i.png").c_str(), bits), 0);
        Image* back = load_image(path("i.png").c_str());
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->bits, bits);
        // Every pixel is a palette colour; 1 bit leaves black and white.
        image_lock(back);
        for (int x = 0; x < 20 && bits == 1; ++x) {
            const uint8_t* p = back->pixel(x, 2);
            EXPECT_TRUE((p[0] == 0 || p[0] == 255) && p[0] == p[1] && p[1] == p[2]);
        }
        image_unlock(back);
        image_free(back);
    }
}

TEST_F(FormatTest, JpegKeepsFullColourAboveTheHighQualityThreshold)
{
    // The luminance sampling factors of the frame header: 2x2 is 4:2:0, 1x1 is 4:4:4.
    auto sampling = [](const Bytes& b) {
        for (size_t i = 0; i + 12 < b.size(); ++i)
            if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC1 || b[i + 1] == 0xC2))
                return static_cast<int>(b[i + 11]);
        return -1;
    };
    Image* image = pattern(32, 32, false);
    settings().save_type = FMT_JPG;
    settings().jpeg_chroma_ss = 89;
    settings().jpeg_quality = 90;
    ASSERT_EQ(save_image(image, path("high").c_str()), 0);
    EXPECT_EQ(sampling(read(path("high.jpg"))), 0x11);
    settings().jpeg_quality = 89;
    ASSERT_EQ(save_image(image, path("usual").c_str()), 0);
    EXPECT_EQ(sampling(read(path("usual.jpg"))), 0x22);
}
