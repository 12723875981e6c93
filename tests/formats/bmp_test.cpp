#include "../core/log_capture.h"
#include "core/bytes.h"
#include "format_fixture.h"
#include "formats/codecs.h"

#include <cstring>

namespace {

struct BmpSpec {
    int32_t width = 4, height = 2;
    int bits = 8;
    uint32_t compression = 0;
    uint32_t colours = 0;
    bool os2 = false;
    uint32_t header_size = 40;
};

// A bitmap with the given header, palette entries i -> (i, 2i, 3i) and pixel data.
Bytes make_bmp(const BmpSpec& s, const Bytes& pixels, int palette_entries)
{
    Bytes b = {'B', 'M'};
    uint32_t header = s.os2 ? 12 : s.header_size;
    uint32_t entry = s.os2 ? 3 : 4;
    uint32_t offset = 14 + header + entry * static_cast<uint32_t>(palette_entries);
    le32(b, offset + static_cast<uint32_t>(pixels.size()));
    le32(b, 0);
    le32(b, offset);
    le32(b, header);
    if (s.os2) {
        le16(b, static_cast<unsigned>(s.width));
        le16(b, static_cast<unsigned>(s.height));
        le16(b, 1);
        le16(b, static_cast<unsigned>(s.bits));
    } else {
        le32(b, static_cast<uint32_t>(s.width));
        le32(b, static_cast<uint32_t>(s.height));
        le16(b, 1);
        le16(b, static_cast<unsigned>(s.bits));
        le32(b, s.compression);
        le32(b, static_cast<uint32_t>(pixels.size()));
        le32(b, 0);
        le32(b, 0);
        le32(b, s.colours ? s.colours : static_cast<uint32_t>(palette_entries));
        le32(b, 0);
        b.resize(14 + header, 0);
    }
    for (int i = 0; i < palette_entries; ++i) {
        b.push_back(static_cast<uint8_t>(3 * i));
        b.push_back(static_cast<uint8_t>(2 * i));
        b.push_back(static_cast<uint8_t>(i));
        if (!s.os2)
            b.push_back(0);
    }
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// The palette index a pixel shows (palette entry i is (i, 2i, 3i)).
int index_at(Image* image, int x, int y)
{
    uint8_t px[4];
    image_lock(image);
    std::memcpy(px, image->pixel(x, y), 4);
    image_unlock(image);
    return px[0];
}

class Bmp : public FormatTest {
protected:
    Image* load(const Bytes& bytes)
    {
        std::string p = write("t.bmp", bytes);
        return load_image(p.c_str());
    }
};

} // namespace

TEST_F(Bmp, Os2HeaderReadsThreeBytePaletteEntries)
{
    BmpSpec s;
    s.os2 = true;
    s.width = 4;
    s.height = 1;
    Image* image = load(make_bmp(s, {0, 1, 200, 255}, 256));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(index_at(image, 2, 0), 200);
    EXPECT_RGB(image, 3, 0, 255, 254, 253);  // (255, 510, 765) in bytes
    EXPECT_EQ(image->bits, 8);
    // 100 pixels per metre, as the OS/2 header implies.
    EXPECT_EQ(image->hres_num * 50, image->hres_den * 127);
}

TEST_F(Bmp, PlainDepthsAreBottomUp)
{
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.bits = 1;
    // Rows are padded to 32 bits; the first stored row is the bottom one.
    Image* one = load(make_bmp(s, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}, 2));
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(index_at(one, 0, 1), 1);
    EXPECT_EQ(index_at(one, 1, 1), 0);
    EXPECT_EQ(index_at(one, 2, 1), 1);
    EXPECT_EQ(index_at(one, 1, 0), 1);

    s.bits = 4;
    Image* four = load(make_bmp(s, {0x12, 0x30, 0, 0, 0xAB, 0xC0, 0, 0}, 16));
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(index_at(four, 0, 1), 1);
    EXPECT_EQ(index_at(four, 2, 1), 3);
    EXPECT_EQ(index_at(four, 1, 0), 11);

    // 5-5-5: red 31, green 1, blue 16, each widened by a shift of 3.  (The
    // three masks are read, for the log, from where the pixels begin: the
    // file must hold twelve bytes there.)
    s.bits = 16;
    s.width = 1;
    s.height = 3;
    uint16_t v = 31 << 10 | 1 << 5 | 16;
    Bytes px(12, 0);
    px[0] = static_cast<uint8_t>(v);
    px[1] = static_cast<uint8_t>(v >> 8);
    Image* sixteen = load(make_bmp(s, px, 0));
    ASSERT_NE(sixteen, nullptr);
    EXPECT_RGB(sixteen, 0, 2, 248, 8, 128);
}

TEST_F(Bmp, ThirtyTwoBitsPlainAndByBitFields)
{
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bits = 32;
    auto px = [](Image* image, int x) {
        uint8_t p[4];
        image_lock(image);
        std::memcpy(p, image->pixel(x, 0), 4);
        image_unlock(image);
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    // Plain: blue, green, red and alpha.  The three words read for the log
    // after the header are the first pixels' bytes here.
    LogCapture log;
    Image* plain = load(make_bmp(s, {10, 20, 30, 40, 1, 2, 3, 255}, 0));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->bits, 32);
    EXPECT_EQ(plain->alpha, 1);
    EXPECT_EQ(px(plain, 0), (std::vector<int>{30, 20, 10, 40}));
    EXPECT_EQ(px(plain, 1), (std::vector<int>{3, 2, 1, 255}));
    EXPECT_NE(log.text().find("Bit masks r 281E140A = 00101000000111100001010000001010\n"), std::string::npos);
    // A fourth byte that is 0 everywhere is padding: opaque, no alpha.
    Image* padded = load(make_bmp(s, {10, 20, 30, 0, 1, 2, 3, 0}, 0));
    ASSERT_NE(padded, nullptr);
    EXPECT_EQ(padded->alpha, 0);
    EXPECT_EQ(px(padded, 0), (std::vector<int>{30, 20, 10, 255}));

    // Bit fields after a 40-byte header: red in the low byte, no alpha field.
    s.compression = 3;
    Bytes fields;
    le32(fields, 0x000000FF);
    le32(fields, 0x0000FF00);
    le32(fields, 0x00FF0000);
    Bytes data = fields;
    for (uint8_t v : {10, 20, 30, 99, 1, 2, 3, 99})
        data.push_back(v);
    Bytes file = make_bmp(s, data, 0);
    put_le32(file.data() + 10, 54 + 12);  // the pixels follow the masks
    Image* swapped = load(file);
    ASSERT_NE(swapped, nullptr);
    EXPECT_EQ(swapped->alpha, 0);
    EXPECT_EQ(px(swapped, 0), (std::vector<int>{10, 20, 30, 255}));

    // A 108-byte (V4) header holds the masks, alpha too; fields of other
    // widths are widened to eight bits (10-10-10-2 here).
    s.header_size = 108;
    Bytes v4 = make_bmp(s, {}, 0);
    put_le32(v4.data() + 54, 0x3FF00000);
    put_le32(v4.data() + 58, 0x000FFC00);
    put_le32(v4.data() + 62, 0x000003FF);
    put_le32(v4.data() + 66, 0xC0000000);
    for (uint32_t v : {0x3FFu << 20 | 0x200u << 10 | 0u | 3u << 30, 0u << 20 | 0u << 10 | 0x3FFu | 1u << 30})
        le32(v4, v);
    put_le32(v4.data() + 2, static_cast<uint32_t>(v4.size()));
    Image* deep = load(v4);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->alpha, 1);
    EXPECT_EQ(px(deep, 0), (std::vector<int>{255, 128, 0, 255}));
    EXPECT_EQ(px(deep, 1), (std::vector<int>{0, 0, 255, 85}));
}

TEST_F(Bmp, SizeLimitsAndTopDownRefusal)
{
    BmpSpec s;
    s.bits = 24;
    s.height = 1;
    s.width = 40000;
    Image* wide = load(make_bmp(s, Bytes(120000, 7), 0));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->width, 40000u);
    image_free(wide);

    s.width = 40001;
    EXPECT_EQ(load(make_bmp(s, Bytes(120004, 7), 0)), nullptr);
    EXPECT_NE(boxes().find("Note!: BMP file looks corrupted"), std::string::npos);

    s.width = 2;
    s.height = -2;  // top-down bitmaps are refused
    ui::headless().clear_transcript();
    EXPECT_EQ(load(make_bmp(s, Bytes(16, 7), 0)), nullptr);
    EXPECT_NE(boxes().find("Note!: BMP file looks corrupted"), std::string::npos);
}

TEST_F(Bmp, FailureTable)
{
    LogCapture log;
    struct Case {
        Bytes bytes;
        const char* note;
        const char* logged;
    };
    Bytes full = make_bmp(BmpSpec{}, Bytes(8, 0), 0);
    Bytes os2 = make_bmp([] { BmpSpec s; s.os2 = true; return s; }(), Bytes(8, 0), 0);
    const Case cases[] = {
        {Bytes(full.begin(), full.begin() + 10), "BMP file Header truncated.", "BMP Header read failed\n"},
        {Bytes(full.begin(), full.begin() + 16), "BMP file info truncated.", "BMP Info size read failed\n"},
        {Bytes(os2.begin(), os2.begin() + 20), "BMP file old info truncated.", "BMP Info read failed\n"},
        {Bytes(full.begin(), full.begin() + 40), "BMP file full info truncated.", "BMP Info read failed\n"},
    };
    for (const Case& c : cases) {
        ui::headless().clear_transcript();
        FILE* f = std::fopen(write("f.bmp", c.bytes).c_str(), "rb");
        EXPECT_EQ(ReadBmp(f), nullptr);
        std::fclose(f);
        EXPECT_NE(boxes().find(std::string("Note!: ") + c.note), std::string::npos) << c.note;
        EXPECT_NE(log.text().find(c.logged), std::string::npos) << c.logged;
    }
    FILE* f = std::fopen(write("g.bmp", {'G', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).c_str(), "rb");
    EXPECT_EQ(ReadBmp(f), nullptr);
    std::fclose(f);
    EXPECT_NE(boxes().find("File is not a Windows or OS/2 bitmap."), std::string::npos);
    EXPECT_NE(log.text().find("Image file header not recognized\n"), std::string::npos);
}

TEST_F(Bmp, Rle8ClipsRunsAndWrapsAbsoluteGroups)
{
    BmpSpec s;
    s.width = 4;
    s.height = 3;
    s.compression = 1;
    const Bytes data = {
        6, 9,           // a run of six 9s on the bottom row: clipped at four
        0, 0,           // end of line
        0, 2, 1, 0,     // delta: one right
        0, 5, 1, 2, 3, 4, 5, 0,  // absolute, five bytes padded to six: wraps to the top row
        0, 1,           // end of bitmap
    };
    Image* image = load(make_bmp(s, data, 16));
    ASSERT_NE(image, nullptr);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(index_at(image, x, 2), 9);
    EXPECT_EQ(index_at(image, 0, 1), 0);
    EXPECT_EQ(index_at(image, 1, 1), 1);
    EXPECT_EQ(index_at(image, 3, 1), 3);
    EXPECT_EQ(index_at(image, 0, 0), 4);
    EXPECT_EQ(index_at(image, 1, 0), 5);
}

TEST_F(Bmp, Rle4RunsContinueOnTheNextRowUp)
{
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.bits = 4;
    s.compression = 2;
    const Bytes data = {
        5, 0x12,         // 1 2 1 | 2 1 on the row above
        0, 3, 0x34, 0x50,  // absolute three nibbles, padded to two bytes: 3 4 5 ... wraps
        0, 1,
    };
    Image* image = load(make_bmp(s, data, 16));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(index_at(image, 0, 1), 1);
    EXPECT_EQ(index_at(image, 1, 1), 2);
    EXPECT_EQ(index_at(image, 2, 1), 1);
    EXPECT_EQ(index_at(image, 0, 0), 2);
    EXPECT_EQ(index_at(image, 1, 0), 1);
    EXPECT_EQ(index_at(image, 2, 0), 3);
}

TEST_F(Bmp, HostileRunLengthDataStaysInside)
{
    BmpSpec s;
    s.width = 2;
    s.height = 2;
    s.compression = 1;
    // Deltas far beyond the bitmap, runs after them, an absolute group cut short.
    const Bytes data = {0, 2, 255, 0, 255, 7, 0, 2, 0, 200, 3, 1, 0, 200, 1};
    Image* image = load(make_bmp(s, data, 16));
    ASSERT_NE(image, nullptr);
    s.bits = 4;
    s.compression = 2;
    EXPECT_NE(load(make_bmp(s, {255, 0x11, 255, 0x22, 0, 255, 0xAB}, 16)), nullptr);
}

TEST_F(Bmp, DiagnosticsCountPaletteUse)
{
    LogCapture log;
    formats_state().diagnostics = true;
    BmpSpec s;
    s.width = 4;
    s.height = 1;
    ASSERT_NE(load(make_bmp(s, {7, 7, 7, 200}, 256)), nullptr);
    std::string text = log.text();
    EXPECT_NE(text.find("DIAG BMP use   7 =     3\n"), std::string::npos);
    EXPECT_NE(text.find("DIAG BMP use 200 =     1\n"), std::string::npos);
    EXPECT_NE(text.find("DIAG BMP use 255 =     0\n"), std::string::npos);
    formats_state().diagnostics = false;
}

TEST_F(Bmp, WriterHeaderFieldsAndRows)
{
    Image* image = image_new(3, 2, "test");
    image_lock(image);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            uint8_t* p = image->pixel(x, y);
            p[0] = static_cast<uint8_t>(10 * x);
            p[1] = static_cast<uint8_t>(100 + y);
            p[2] = 7;
            p[3] = static_cast<uint8_t>(50 + x);
        }
    image_unlock(image);

    // 16 bits and 32 bits without alpha are written as 24.
    for (int bits : {16, 32, 24}) {
        ASSERT_EQ(WriteBmp(image, path("w.bmp").c_str(), bits), 0);
        Bytes b = read(path("w.bmp"));
        ASSERT_EQ(b.size(), 54u + 12 * 2);
        EXPECT_EQ(get_le16(b.data() + 28), 24);
        EXPECT_EQ(get_le32(b.data() + 2), 78u);
        EXPECT_EQ(get_le32(b.data() + 10), 54u);
        EXPECT_EQ(get_le32(b.data() + 34), 24u);
        EXPECT_EQ(get_le32(b.data() + 38), 7874u);  // 200 dpi in pixels per metre
        EXPECT_EQ(get_le32(b.data() + 46), 0u);
        // The first stored row is the bottom image row: blue, green, red.
        EXPECT_EQ(b[54 + 3], 7);
        EXPECT_EQ(b[54 + 4], 101);
        EXPECT_EQ(b[54 + 5], 10);
        EXPECT_EQ(b[54 + 12 + 4], 100);
    }
    image->alpha = 1;
    ASSERT_EQ(WriteBmp(image, path("a.bmp").c_str(), 32), 0);
    Bytes b = read(path("a.bmp"));
    EXPECT_EQ(get_le16(b.data() + 28), 32);
    EXPECT_EQ(b.size(), 54u + 12 * 2);
    EXPECT_EQ(b[54 + 4 + 3], 51);

    // What we write, we read back.
    Image* back = load_image(path("a.bmp").c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bits, 32);
    EXPECT_EQ(back->alpha, 1);
    uint8_t p[4];
    rgba_at(back, 1, 0, p);
    EXPECT_EQ(p[3], 51);
    Image* back24 = load_image(path("w.bmp").c_str());
    ASSERT_NE(back24, nullptr);
    EXPECT_RGB(back24, 2, 1, 20, 101, 7);
}

TEST_F(Bmp, IndexedWritersPackAndWriteTheirPalette)
{
    // Black and white columns: every kind keeps them exactly.
    Image* image = image_new(11, 3, "test");
    image_lock(image);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 11; ++x) {
            uint8_t v = x % 3 == 0 ? 255 : 0;
            std::memset(image->pixel(x, y), v, 3);
        }
    image_unlock(image);
    for (int bits : {8, 4, 1}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(WriteBmp(image, path("i.bmp").c_str(), bits), 0);
        Bytes b = read(path("i.bmp"));
        long colours = 1L << bits, stride = ((11L * bits + 31) & ~31L) / 8;
        EXPECT_EQ(get_le16(b.data() + 28), bits);
        EXPECT_EQ(get_le32(b.data() + 46), static_cast<uint32_t>(colours));
        EXPECT_EQ(get_le32(b.data() + 10), static_cast<uint32_t>(54 + 4 * colours));
        ASSERT_EQ(b.size(), static_cast<size_t>(54 + 4 * colours + 3 * stride));
        Image* back = load_image(path("i.bmp").c_str());
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->bits, bits);
        for (int x = 0; x < 11; ++x) {
            int v = x % 3 == 0 ? 255 : 0;
            EXPECT_RGB(back, x, 1, v, v, v);
        }
        image_free(back);
    }
    // Two colours: a set bit is an index other than 0, from the high bit down.
    Bytes b = read(path("i.bmp"));
    uint8_t white_bit = b[54] == 255 ? 0 : 1;  // which palette entry is white
    uint8_t first = b[62];
    EXPECT_EQ((first >> 7) & 1, white_bit);
    EXPECT_EQ((first >> 4) & 1, white_bit);
    EXPECT_EQ((first >> 6) & 1, 1 - white_bit);
}
