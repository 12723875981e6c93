// Headers that declare far more pixels than their files hold are refused,
// naming the file, before anything of that size is allocated.
#include "core/bytes.h"
#include "core/gmem.h"
#include "core/mem.h"
#include "format_fixture.h"
#include "formats/raw.h"

#include <zlib.h>

namespace {

void be32(Bytes& b, uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void png_chunk(Bytes& b, const char* type, const Bytes& data)
{
    be32(b, static_cast<uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    b.insert(b.end(), body.begin(), body.end());
    be32(b, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// A PNG whose header declares width x height and whose data inflate to a few rows.
Bytes png_declaring(uint32_t width, uint32_t height)
{
    Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    be32(ihdr, width);
    be32(ihdr, height);
    for (uint8_t v : {8, 2, 0, 0, 0})  // 8-bit RGB
        ihdr.push_back(v);
    png_chunk(b, "IHDR", ihdr);
    Bytes raw(64, 0);
    Bytes packed(128);
    uLongf n = packed.size();
    compress2(packed.data(), &n, raw.data(), raw.size(), 9);
    packed.resize(n);
    png_chunk(b, "IDAT", packed);
    png_chunk(b, "IEND", {});
    return b;
}

void le16_at(Bytes& b, size_t at, unsigned v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A TIFF of one 8-bit grey strip of `data` bytes, declaring width x height.
Bytes tiff_declaring(uint32_t width, uint32_t height, uint32_t data)
{
    Bytes b = {'I', 'I', 42, 0};
    le32(b, 8);
    const uint16_t count = 9;
    le16(b, count);
    const uint32_t strip_at = 8 + 2 + count * 12 + 4;
    auto entry = [&](unsigned tag, unsigned type, uint32_t value) {
        le16(b, tag);
        le16(b, type);
        le32(b, 1);
        le32(b, value);
    };
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, 8);
    entry(259, 3, 1);  // no compression
    entry(262, 3, 1);  // black is zero
    entry(273, 4, strip_at);
    entry(277, 3, 1);
    entry(278, 4, height);
    entry(279, 4, data);
    le32(b, 0);
    b.resize(b.size() + data, 0x80);
    return b;
}

} // namespace

TEST_F(FormatTest, HeadersBeyondTheirFilesAreRefusedBeforeAllocating)
{
    struct Case {
        const char* name;
        Bytes bytes;
        const char* said;
    };
    // 54 bytes declaring 20000 x 20000 at 24 bits; the same as RLE8.
    Bytes bmp = {'B', 'M'};
    le32(bmp, 54);
    le32(bmp, 0);
    le32(bmp, 54);
    le32(bmp, 40);
    le32(bmp, 20000);
    le32(bmp, 20000);
    le16(bmp, 1);
    le16(bmp, 24);
    bmp.resize(54, 0);
    Bytes rle = bmp;
    le16_at(rle, 28, 8);
    rle[30] = 1;
    rle.insert(rle.end(), {0, 1});
    put_le32(rle.data() + 2, static_cast<uint32_t>(rle.size()));

    // A JPEG of 16 x 16 whose frame header then says 30000 x 30000.
    Image* small = pattern(16, 16, false);
    settings().save_type = FMT_JPG;
    ASSERT_EQ(save_image(small, path("small.jpg").c_str()), 0);
    Bytes jpeg = read(path("small.jpg"));
    for (size_t i = 0; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = jpeg[i + 7] = 30000 >> 8;
            jpeg[i + 6] = jpeg[i + 8] = 30000 & 255;
            break;
        }

    // A GIF and a FLIC of 16 x 16 whose headers then say 8000 x 8000.
    settings().save_type = FMT_GIF;
    ASSERT_EQ(save_image(small, path("small.gif").c_str()), 0);
    Bytes gif = read(path("small.gif"));
    le16_at(gif, 6, 8000);
    le16_at(gif, 8, 8000);
    settings().save_type = FMT_FLC;
    ASSERT_EQ(save_image(small, path("small.flc").c_str()), 0);
    Bytes flc = read(path("small.flc"));
    le16_at(flc, 8, 8000);
    le16_at(flc, 10, 8000);

    Bytes iraw = {'I', '2', '4', 0};
    le32(iraw, 30000);
    le32(iraw, 30000);
    iraw.resize(100, 1);
    const std::string ppm = "P6 20000 20000 255\n";

    const Case cases[] = {
        {"huge.bmp", bmp, "BMP file is damaged (it declares 20000 x 20000 pixels"},
        {"rle.bmp", rle, "BMP file is damaged (it declares 20000 x 20000 pixels"},
        {"huge.png", png_declaring(16000, 16000), "PNG file is damaged (it declares 16000 x 16000 pixels"},
        {"huge.jpg", jpeg, "JPEG file is damaged (it declares 30000 x 30000 pixels"},
        {"huge.tif", tiff_declaring(30000, 30000, 64), "TIFF file"},
        {"huge.ppm", Bytes(ppm.begin(), ppm.end()), "File is truncated."},
        {"huge.raw", iraw, "I-Raw image damaged"},
        {"huge.gif", gif, "GIF file is damaged (it declares 8000 x 8000 pixels"},
        {"huge.flc", flc, "FLIC file is damaged (it declares 8000 x 8000 pixels"},
        {"short.pix", Bytes(100, 0x11), "4-bit picture file is damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui::headless().clear_transcript();
        mem_reset_statistics();
        EXPECT_EQ(load_image(write(c.name, c.bytes).c_str()), nullptr);
        EXPECT_NE(boxes().find(c.said), std::string::npos) << boxes();
        EXPECT_NE(boxes().find(path(c.name)), std::string::npos) << boxes();
        EXPECT_LT(mem_counters().virt_max, 1L << 20);
    }
    EXPECT_EQ(png_declaring(16000, 16000).size(), 69u);
}

TEST_F(FormatTest, FilesThatHoldTheirPixelsStillLoad)
{
    // A big image of one colour packs into a few kilobytes of PNG at the
    // highest level; the bound is generous enough for it.
    Image* flat = image_new(3000, 2000, "test");
    settings().save_type = FMT_PNG;
    settings().save_depth = 2;
    settings().save_compress = 9;
    ASSERT_EQ(save_image(flat, path("flat.png").c_str()), 0);
    EXPECT_LT(read(path("flat.png")).size(), 50000u);
    Image* back = load_image(path("flat.png").c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->width, 3000u);
    // So is it for the formats whose codings pack a flat picture tightest.
    for (int type : {FMT_GIF, FMT_FLC}) {
        SCOPED_TRACE(type);
        settings().save_type = type;
        const std::string name = path(type == FMT_GIF ? "flat.gif" : "flat.flc");
        ASSERT_EQ(save_image(flat, name.c_str()), 0);
        Image* again = load_image(name.c_str());
        ASSERT_NE(again, nullptr) << boxes();
        EXPECT_EQ(again->height, 2000);
    }

    // An uncompressed bitmap that lacks only its last row's padding loads.
    Bytes b = {'B', 'M'};
    le32(b, 54 + 8 + 6);
    le32(b, 0);
    le32(b, 54);
    le32(b, 40);
    le32(b, 2);
    le32(b, 2);
    le16(b, 1);
    le16(b, 24);
    b.resize(54, 0);
    for (int i = 0; i < 8 + 6; ++i)
        b.push_back(static_cast<uint8_t>(i + 1));
    Image* unpadded = load_image(write("unpadded.bmp", b).c_str());
    ASSERT_NE(unpadded, nullptr);
    EXPECT_RGB(unpadded, 1, 0, 14, 13, 12);
    // One byte less, and the top row is not all there.
    b.pop_back();
    EXPECT_EQ(load_image(write("short.bmp", b).c_str()), nullptr);
    EXPECT_NE(boxes().find("BMP file is damaged"), std::string::npos);
}

TEST_F(FormatTest, ReadersWithoutMemoryForTheirImageSaySoAndKeepNothing)
{
    Image* picture = image_new(6, 4, "test");
    ASSERT_NE(picture, nullptr);
    const std::pair<const char*, int> kinds[] = {{"a.tga", FMT_TGA}, {"a.pcx", FMT_PCX}, {"a.raw", -1}};
    for (const auto& [file, type] : kinds) {
        settings().save_type = type;
        if (type >= 0) {
            ASSERT_EQ(save_image(picture, path(file).c_str()), 0) << file;
        }
    }
    image_free(picture);
    write("a.raw", Bytes(6 * 4 * 3, 90));
    raw_state().preset = true;
    raw_state().layout = RawLayout{6, 4, 3, 0};
    const int open_before = image_store_count();
    const long blocks_before = mem_counters().places_now;
    for (const auto& [file, type] : kinds) {
        ui::headless().clear_transcript();
        gmem_refuse_locks(true);
        Image* back = load_image(path(file).c_str());
        gmem_refuse_locks(false);
        EXPECT_EQ(back, nullptr) << file;
        EXPECT_NE(boxes().find("memory"), std::string::npos) << file << ": " << boxes();
        EXPECT_NE(boxes().find(file), std::string::npos) << boxes();
        EXPECT_EQ(image_store_count(), open_before) << file;
        EXPECT_EQ(mem_counters().places_now, blocks_before) << file;
    }
    raw_state().preset = false;
}
