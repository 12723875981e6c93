// Targa, PCX and IFF files, and the further readers (SGI, Photoshop,
// Softimage, RLA, Alias PIX, raw): files made byte by byte for the cases the
// codecs must get right, and round trips through the writers.
#include "format_fixture.h"

#include "core/bytes.h"
#include "formats/iff.h"
#include "formats/pcx.h"
#include "formats/raw.h"
#include "formats/tga.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

inline void be16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
inline void be32(Bytes& b, uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void append(Bytes& b, const char* text) { b.insert(b.end(), text, text + std::strlen(text)); }
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

Bytes tga_header(int type, long w, long h, int bits, int descriptor, int map_length = 0, int map_bits = 0)
{
    Bytes b{0, static_cast<uint8_t>(map_length ? 1 : 0), static_cast<uint8_t>(type)};
    le16(b, 0);
    le16(b, static_cast<unsigned>(map_length));
    b.push_back(static_cast<uint8_t>(map_bits));
    le16(b, 0);
    le16(b, 0);
    le16(b, static_cast<unsigned>(w));
    le16(b, static_cast<unsigned>(h));
    b.push_back(static_cast<uint8_t>(bits));
    b.push_back(static_cast<uint8_t>(descriptor));
    return b;
}

// The Targa 2 footer with an extension area whose pixel aspect is given.
void tga_footer(Bytes& b, int aspect_h, int aspect_v)
{
    uint32_t at = static_cast<uint32_t>(b.size());
    Bytes e(495, 0);
    put_le16(&e[0], 495);
    std::memcpy(&e[2], "Ada", 3);
    std::memcpy(&e[43], "a note", 6);
    put_le16(&e[474], static_cast<uint16_t>(aspect_h));
    put_le16(&e[476], static_cast<uint16_t>(aspect_v));
    append(b, e);
    le32(b, at);
    le32(b, 0);
    append(b, "TRUEVISION-XFILE.");
    b.push_back(0);
}

Bytes chunk(const char* id, const Bytes& data)
{
    Bytes b;
    append(b, id);
    be32(b, static_cast<uint32_t>(data.size()));
    append(b, data);
    if (data.size() & 1)
        b.push_back(0);
    return b;
}

Bytes bmhd(long w, long h, int planes, int compression, int xa = 1, int ya = 1, int masking = 0)
{
    Bytes b;
    be16(b, static_cast<unsigned>(w));
    be16(b, static_cast<unsigned>(h));
    be16(b, 0);
    be16(b, 0);
    b.push_back(static_cast<uint8_t>(planes));
    b.push_back(static_cast<uint8_t>(masking));
    b.push_back(static_cast<uint8_t>(compression));
    b.push_back(0);
    be16(b, 0);
    b.push_back(static_cast<uint8_t>(xa));
    b.push_back(static_cast<uint8_t>(ya));
    be16(b, static_cast<unsigned>(w));
    be16(b, static_cast<unsigned>(h));
    return b;
}

Bytes form(const char* type, const Bytes& chunks)
{
    Bytes inner;
    append(inner, type);
    append(inner, chunks);
    Bytes b;
    append(b, "FORM");
    be32(b, static_cast<uint32_t>(inner.size()));
    append(b, inner);
    return b;
}

// A test picture: colours that differ from pixel to pixel, with runs.
Image* picture(long w, long h, bool alpha)
{
    Image* image = image_new_locked(w, h, "test");
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            uint8_t* p = image->pixel(static_cast<int>(x), static_cast<int>(y));
            bool flat = x < w / 3;
            p[0] = static_cast<uint8_t>(flat ? 200 : x * 37 + y);
            p[1] = static_cast<uint8_t>(flat ? 10 : y * 53);
            p[2] = static_cast<uint8_t>(x * y + 7);
            p[3] = static_cast<uint8_t>(alpha ? (x * 16 + y) : 255);
        }
    image->alpha = alpha;
    image_unlock(image);
    return image;
}

std::string numbered(const char* format, int a, int b = 0)
{
    char name[64];
    std::snprintf(name, sizeof name, format, a, b);
    return name;
}

bool same_pixels(Image* a, Image* b, bool alpha)
{
    if (a->width != b->width || a->height != b->height)
        return false;
    image_lock(a);
    image_lock(b);
    bool same = true;
    for (int y = 0; y < a->height && same; ++y)
        for (uint32_t x = 0; x < a->width && same; ++x)
            same = std::memcmp(a->pixel(static_cast<int>(x), y), b->pixel(static_cast<int>(x), y), alpha ? 4 : 3) == 0;
    image_unlock(a);
    image_unlock(b);
    return same;
}

} // namespace

// ---- Targa ----------------------------------------------------------------------

TEST_F(FormatTest, TargaOrientationRunsAndSixteenBits)
{
    // Bottom-origin rows are flipped; a top-origin file (descriptor 0x20) is not.
    for (int descriptor : {0x00, 0x20}) {
        Bytes b = tga_header(2, 1, 2, 24, descriptor);
        append(b, Bytes{1, 2, 3, 4, 5, 6});
        Image* image = load_image(write("o.tga", b).c_str());
        ASSERT_NE(image, nullptr);
        EXPECT_RGB(image, 0, descriptor ? 0 : 1, 3, 2, 1);
        EXPECT_STREQ(image->format, "TGA");
    }
    // A run packet of three crosses from the first row into the second; then
    // a literal packet of one.  0x7FFF is white.
    Bytes rle = tga_header(10, 2, 2, 16, 0x20);
    append(rle, Bytes{0x82, 0xFF, 0x7F, 0x00, 0x1F, 0x00});
    Image* image = load_image(write("rle.tga", rle).c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_RGB(image, 0, 0, 255, 255, 255);
    EXPECT_RGB(image, 0, 1, 255, 255, 255);
    EXPECT_RGB(image, 1, 1, 0, 0, 255);
    EXPECT_EQ(image->bits, 16);
}

TEST_F(FormatTest, TargaColourMapAndExtensionArea)
{
    // Colour-mapped pixels are looked up in the map (entries of 24 bits).
    Bytes b = tga_header(1, 2, 1, 8, 0x20, 2, 24);
    append(b, Bytes{0, 0, 255, 255, 0, 0, 1, 0});
    tga_footer(b, 7, 7);
    Image* image = load_image(write("map.tga", b).c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_RGB(image, 0, 0, 0, 0, 255);
    EXPECT_RGB(image, 1, 0, 255, 0, 0);
    // Pixel aspect 7 and 7 is a resolution of 70 by 70; author and comment come along.
    EXPECT_EQ(image->hres_num, 70);
    EXPECT_EQ(image->vres_num, 70);
    EXPECT_STREQ(image->author, "Ada");
    ASSERT_NE(image->annotation, nullptr);
    EXPECT_STREQ(image->annotation, "a note");
}

TEST_F(FormatTest, TargaRefusesWhatTheFileCannotHold)
{
    struct Case {
        const char* name;
        Bytes bytes;
        const char* why;
    };
    Bytes zero = tga_header(2, 0, 4, 24, 0);
    Bytes wide = tga_header(2, 40001, 1, 24, 0);
    Bytes map = tga_header(1, 2, 2, 8, 0, 300, 24);  // 900 bytes of map in a short file
    append(map, Bytes(20, 0));
    Bytes run = tga_header(10, 64, 64, 24, 0);  // a run packet, then nothing
    append(run, Bytes{0xFF, 1, 2, 3});
    append(run, Bytes(200, 0x7F));
    const Case cases[] = {{"zero.tga", zero, "width or height"},
                          {"wide.tga", wide, "width or height"},
                          {"map.tga", map, "colour map runs past"},
                          {"run.tga", run, "File is truncated"}};
    for (const Case& c : cases) {
        ui::headless().clear_transcript();
        EXPECT_EQ(load_image(write(c.name, c.bytes).c_str()), nullptr) << c.name;
        EXPECT_NE(boxes().find(c.why), std::string::npos) << c.name << ": " << boxes();
    }
    EXPECT_EQ(image_store_count(), 0);
}

TEST_F(FormatTest, TargaPacketsFollowTheRules)
{
    // Two equal pixels open a run; a literal stops where three equal ones begin.
    const uint8_t row[] = {1, 1, 2, 3, 4, 4, 4, 5};
    uint8_t out[32];
    long n = targa_pack_row(row, 8, 1, out);
    const uint8_t want[] = {0x81, 1, 0x01, 2, 3, 0x82, 4, 0x00, 5};
    ASSERT_EQ(n, static_cast<long>(sizeof want));
    EXPECT_EQ(std::memcmp(out, want, sizeof want), 0);
    // Packets hold at most 128 pixels.
    uint8_t flat[300], packed[700];
    std::memset(flat, 9, sizeof flat);
    EXPECT_EQ(targa_pack_row(flat, 300, 1, packed), 6);
    EXPECT_EQ(packed[0], 0xFF);
    EXPECT_EQ(packed[4], 0x80 | 43);
}

TEST_F(FormatTest, TargaWritesWhatItReads)
{
    Image* image = picture(37, 11, true);
    std::snprintf(image->author, sizeof image->author, "%s", "Someone");
    for (int compress : {0, 1})
        for (int bits : {24, 32}) {
            std::string p = path(numbered("w%d-%d.tga", bits, compress));
            ASSERT_EQ(WriteTarga(image, p.c_str(), bits, compress), 0);
            Image* back = load_image(p.c_str());
            ASSERT_NE(back, nullptr) << boxes();
            EXPECT_TRUE(same_pixels(image, back, bits == 32)) << bits << " " << compress;
            EXPECT_EQ(back->bits, bits);
            EXPECT_STREQ(back->author, "Someone");
            Bytes file = read(p);
            EXPECT_EQ(file[2], compress ? 10 : 2);
            EXPECT_EQ(std::memcmp(&file[file.size() - 18], "TRUEVISION-XFILE.", 18), 0);
        }
    // 32 bits asked for an image without alpha gives a 24-bit file.
    Image* opaque = picture(5, 5, false);
    ASSERT_EQ(WriteTarga(opaque, path("o.tga").c_str(), 32, 1), 0);
    EXPECT_EQ(read(path("o.tga"))[16], 24);
}

// ---- PCX ---------------------------------------------------------------------------

namespace {

Bytes pcx_header(long w, long h, int bits, int planes, int bpl, int version = 5)
{
    Bytes b(128, 0);
    b[0] = 10;
    b[1] = static_cast<uint8_t>(version);
    b[2] = 1;
    b[3] = static_cast<uint8_t>(bits);
    put_le16(&b[8], static_cast<uint16_t>(w - 1));
    put_le16(&b[10], static_cast<uint16_t>(h - 1));
    for (int i = 0; i < 16; ++i) {
        b[16 + 3 * i] = static_cast<uint8_t>(i * 16);
        b[17 + 3 * i] = static_cast<uint8_t>(255 - i * 16);
        b[18 + 3 * i] = static_cast<uint8_t>(i);
    }
    b[65] = static_cast<uint8_t>(planes);
    put_le16(&b[66], static_cast<uint16_t>(bpl));
    return b;
}

} // namespace

TEST_F(FormatTest, PcxPlanesAndPalettes)
{
    // Four planes of one bit: pixel 0 has bits in planes 0 and 2 (index 5).
    Bytes b = pcx_header(2, 1, 1, 4, 1);
    append(b, Bytes{0x80, 0x40, 0x80, 0x00});
    Image* image = load_image(write("ega.pcx", b).c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->bits, 4);
    EXPECT_RGB(image, 0, 0, 80, 175, 5);
    EXPECT_RGB(image, 1, 0, 32, 223, 2);
    // 256 colours whose palette byte 12 is missing: the 768 bytes after the data.
    Bytes e = pcx_header(2, 1, 8, 1, 2);
    append(e, Bytes{0xC2, 3});
    Bytes palette(768, 0);
    palette[9] = 10, palette[10] = 20, palette[11] = 30;
    append(e, palette);
    Image* eight = load_image(write("nomark.pcx", e).c_str());
    ASSERT_NE(eight, nullptr);
    EXPECT_RGB(eight, 1, 0, 10, 20, 30);
}

TEST_F(FormatTest, PcxRefusesBadHeaders)
{
    Bytes narrow = pcx_header(20, 2, 8, 1, 10);  // 10 bytes a line for 20 pixels
    append(narrow, Bytes(100, 0));
    Bytes tall = pcx_header(2, 40001, 8, 1, 2);
    Bytes cut = pcx_header(64, 64, 8, 3, 64);  // a run, then nothing
    append(cut, Bytes{0xFF, 1});
    append(cut, Bytes(498, 0xC1));
    for (auto [name, bytes, why] : {std::tuple{"narrow.pcx", narrow, "bytes per line"},
                                    std::tuple{"tall.pcx", tall, "width or height"},
                                    std::tuple{"cut.pcx", cut, "File is truncated"}}) {
        ui::headless().clear_transcript();
        EXPECT_EQ(load_image(write(name, bytes).c_str()), nullptr) << name;
        EXPECT_NE(boxes().find(why), std::string::npos) << name << ": " << boxes();
    }
}

TEST_F(FormatTest, PcxWritesEveryDepth)
{
    // A single 0xC5 must be written as a run of one.
    const uint8_t one[] = {0xC5, 7};
    uint8_t out[4];
    ASSERT_EQ(pcx_pack_line(one, 2, out), 3);
    EXPECT_EQ(out[0], 0xC1);
    EXPECT_EQ(out[1], 0xC5);
    EXPECT_EQ(out[2], 7);

    Image* image = picture(29, 9, false);
    for (int bits : {24, 16, 8, 4, 1}) {
        std::string p = path(numbered("w%d.pcx", bits));
        ASSERT_EQ(WritePcx(image, p.c_str(), bits), 0);
        Bytes file = read(p);
        int written = bits == 16 ? 24 : bits;
        EXPECT_EQ(file[65], written == 24 ? 3 : written == 4 ? 4 : 1) << bits;
        EXPECT_EQ(get_le16(&file[66]), written >= 8 ? 29 : 4) << bits;
        Image* back = load_image(p.c_str());
        ASSERT_NE(back, nullptr) << bits;
        EXPECT_EQ(back->bits, written);
        if (written == 24) {
            EXPECT_TRUE(same_pixels(image, back, false));
        }
        if (written == 8) {
            EXPECT_EQ(file[file.size() - 769], 12);
        }
    }
}

// ---- IFF ---------------------------------------------------------------------------

TEST_F(FormatTest, IlbmPalettesHalfBriteAndAspect)
{
    // Five planes with a 32-entry CMAP and half-brite: 16 to 31 become
    // halved copies of 0 to 15.  Pixel 0 has index 17.
    Bytes cmap;
    for (int i = 0; i < 32; ++i)
        append(cmap, Bytes{static_cast<uint8_t>(i * 8), 100, 201});
    Bytes camg;
    be32(camg, 0x80);
    Bytes body;
    for (int p = 0; p < 5; ++p)  // a row of 16 pixels: two bytes a plane
        append(body, Bytes{static_cast<uint8_t>(p == 0 || p == 4 ? 0x80 : 0), 0});
    Bytes chunks = chunk("BMHD", bmhd(16, 2, 5, 0, 10, 11));
    append(chunks, chunk("CMAP", cmap));
    append(chunks, chunk("CAMG", camg));
    append(chunks, chunk("BODY", body));  // the second row is missing
    Image* image = load_image(write("ehb.iff", form("ILBM", chunks)).c_str());
    ASSERT_NE(image, nullptr) << boxes();
    EXPECT_RGB(image, 0, 0, 4, 50, 100);
    EXPECT_RGB(image, 1, 0, 0, 100, 201);
    EXPECT_RGB(image, 0, 1, 0, 0, 0);  // a BODY that ends early leaves rows as created
    EXPECT_EQ(image->file_format, FMT_IFF);

    // Aspect 10/11 at 320 by 400 is taken as 88/52: 52 by 88 dots per inch.
    Bytes lace = chunk("BMHD", bmhd(320, 400, 1, 1, 10, 11));
    append(lace, chunk("BODY", Bytes(400 * 2, 0)));
    Image* tall = load_image(write("lace.iff", form("ILBM", lace)).c_str());
    ASSERT_NE(tall, nullptr) << boxes();
    EXPECT_EQ(tall->hres_num, 52);
    EXPECT_EQ(tall->vres_num, 88);
}

TEST_F(FormatTest, IlbmHamAndByteRun)
{
    // HAM6: index 1, then modify red to 15, then modify blue to 3.
    Bytes cmap(48, 0);
    cmap[3] = 10, cmap[4] = 20, cmap[5] = 30;
    // Values: 0x01, 0x2F (control 2, data 15), 0x13 (control 1, data 3).
    const int values[3] = {0x01, 0x2F, 0x13};
    Bytes rows;
    for (int p = 0; p < 6; ++p) {
        uint8_t b = 0;
        for (int x = 0; x < 3; ++x)
            if (values[x] >> p & 1)
                b |= static_cast<uint8_t>(0x80 >> x);
        // ByteRun1: a literal of two bytes, the -128 no-op between planes.
        append(rows, Bytes{0x01, b, 0x00, 0x80});
    }
    Bytes chunks = chunk("BMHD", bmhd(3, 1, 6, 1));
    append(chunks, chunk("CMAP", cmap));
    append(chunks, chunk("BODY", rows));
    Image* image = load_image(write("ham.iff", form("ILBM", chunks)).c_str());
    ASSERT_NE(image, nullptr) << boxes();
    EXPECT_RGB(image, 0, 0, 10, 20, 30);
    EXPECT_RGB(image, 1, 0, 255, 20, 30);
    EXPECT_RGB(image, 2, 0, 255, 20, 51);
}

TEST_F(FormatTest, IffRefusesWhatItCannotRead)
{
    Bytes body(64, 0);
    auto with_planes = [&](int planes) {
        Bytes c = chunk("BMHD", bmhd(4, 4, planes, 0));
        append(c, chunk("BODY", body));
        return form("ILBM", c);
    };
    Bytes toaster = chunk("BMHD", bmhd(4, 4, 24, 0));
    append(toaster, chunk("PLTP", Bytes(4, 0)));
    append(toaster, chunk("BODY", body));
    Bytes huge = chunk("BMHD", bmhd(40000, 40000, 24, 1));
    append(huge, chunk("BODY", Bytes{0x81, 0}));
    for (auto [name, bytes, why] :
         {std::tuple{"p0.iff", with_planes(0), "plane count"}, std::tuple{"p33.iff", with_planes(33), "plane count"},
          std::tuple{"acbm.iff", form("ACBM", chunk("BMHD", bmhd(4, 4, 1, 0))), "form type \"ACBM\""},
          std::tuple{"fs.iff", form("ILBM", toaster), "Toaster frame stores cannot be read"},
          std::tuple{"huge.iff", form("ILBM", huge), "far shorter"}}) {
        ui::headless().clear_transcript();
        EXPECT_EQ(load_image(write(name, bytes).c_str()), nullptr) << name;
        EXPECT_NE(boxes().find(why), std::string::npos) << name << ": " << boxes();
    }
    EXPECT_EQ(image_store_count(), 0);
}

TEST_F(FormatTest, IffWritesIlbmAndTrim)
{
    Image* image = picture(23, 7, true);
    image->hres_num = image->vres_num = 300;
    std::snprintf(image->copyright, sizeof image->copyright, "%s", "(c) us");
    for (int compress : {0, 1}) {
        std::string p = path(numbered("deep%d.iff", compress));
        ASSERT_EQ(WriteIff(image, p.c_str(), false, compress), 0);
        Bytes file = read(p);
        // Aspect bytes: the resolution halved until it fits a byte.
        EXPECT_EQ(file[20 + 14], 150);
        EXPECT_EQ(file[20 + 15], 150);
        EXPECT_EQ(get_be32(&file[4]), file.size() - 8);
        Image* back = load_image(p.c_str());
        ASSERT_NE(back, nullptr) << boxes();
        EXPECT_TRUE(same_pixels(image, back, false));
        EXPECT_EQ(back->bits, 24);
        EXPECT_STREQ(back->copyright, "(c) us");
    }
    ASSERT_EQ(WriteIff(image, path("p.iff").c_str(), false, 1, 8), 0);
    Image* indexed = load_image(path("p.iff").c_str());
    ASSERT_NE(indexed, nullptr);
    EXPECT_EQ(indexed->bits, 8);

    // TRIM keeps every channel; a grey image without alpha is one "MONO" plane.
    ASSERT_EQ(WriteIff(image, path("a.trm").c_str(), true, 1), 0);
    Image* trim = load_image(path("a.trm").c_str());
    ASSERT_NE(trim, nullptr) << boxes();
    EXPECT_TRUE(same_pixels(image, trim, true));
    EXPECT_EQ(trim->file_format, FMT_TRM);
    EXPECT_STREQ(trim->format, "TRM");
    EXPECT_EQ(trim->bits, 32);
    Image* grey = image_new_locked(5, 3, "test");
    for (int i = 0; i < 15; ++i)
        std::memset(grey->pixels + 4 * i, i * 9, 3);
    image_unlock(grey);
    ASSERT_EQ(WriteIff(grey, path("g.trm").c_str(), true, 1), 0);
    Bytes file = read(path("g.trm"));
    EXPECT_NE(std::search(file.begin(), file.end(), std::begin("MONO"), std::end("MONO") - 1), file.end());
    Image* mono = load_image(path("g.trm").c_str());
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->bits, 8);
    EXPECT_TRUE(same_pixels(grey, mono, true));
}

// ---- the further readers -----------------------------------------------------------

TEST_F(FormatTest, SoftimageRlaAndAliasPix)
{
    // Softimage: a mixed run-length packet of red, green and blue, then an
    // uncompressed alpha packet.
    Bytes pic;
    be32(pic, 0x5380F634);
    pic.resize(88, 0);
    append(pic, "PICT");
    be16(pic, 3);
    be16(pic, 2);
    pic.resize(104, 0);
    append(pic, Bytes{1, 8, 2, 0xE0, 0, 8, 0, 0x10});
    for (int y = 0; y < 2; ++y) {
        append(pic, Bytes{0x00, 1, 2, 3, 0x81, 9, 8, 7});  // one literal, then a run of two
        append(pic, Bytes{10, 20, static_cast<uint8_t>(30 + y)});
    }
    Image* soft = load_image(write("a.pic", pic).c_str());
    ASSERT_NE(soft, nullptr) << boxes();
    EXPECT_RGB(soft, 0, 0, 1, 2, 3);
    EXPECT_RGB(soft, 2, 1, 9, 8, 7);
    uint8_t px[4];
    rgba_at(soft, 2, 1, px);
    EXPECT_EQ(px[3], 31);
    EXPECT_TRUE(soft->alpha);

    // Alias PIX: runs of blue, green, red that go on into the next row.
    Bytes pix;
    for (unsigned v : {3u, 2u, 0u, 0u, 24u})
        be16(pix, v);
    append(pix, Bytes{4, 30, 20, 10, 2, 3, 2, 1});
    Image* alias = load_image(write("a.pix", pix).c_str());
    ASSERT_NE(alias, nullptr) << boxes();
    EXPECT_RGB(alias, 0, 1, 10, 20, 30);
    EXPECT_RGB(alias, 1, 1, 1, 2, 3);

    // RLA: one grey channel, bottom row first.
    Bytes rla(740, 0);
    for (int at : {2, 6, 10, 14})  // window and active window 0..1 by 0..1
        put_be16(&rla[at], 1);
    put_be16(&rla[20], 1);
    put_be16(&rla[26], 0xFFFE);
    put_be16(&rla[658], 8);
    be32(rla, 748);
    be32(rla, 752);
    append(rla, Bytes{0, 2, 1, 50});       // a run of two 50s
    append(rla, Bytes{0, 3, 0xFE, 7, 8});  // a literal of 7, 8
    Image* wave = load_image(write("a.rla", rla).c_str());
    ASSERT_NE(wave, nullptr) << boxes();
    EXPECT_RGB(wave, 1, 1, 50, 50, 50);
    EXPECT_RGB(wave, 1, 0, 8, 8, 8);
}

TEST_F(FormatTest, RawFilesTakeTheirLayout)
{
    RawLayout l;
    EXPECT_TRUE(parse_raw_layout("3x2,4,10", l));
    EXPECT_EQ(l.width, 3);
    EXPECT_EQ(l.channels, 4);
    EXPECT_EQ(l.offset, 10);
    EXPECT_FALSE(parse_raw_layout("3x2,5", l));
    EXPECT_FALSE(parse_raw_layout("3 by 2", l));
    EXPECT_EQ(raw_guess(3 * 16 * 16).width, 16);

    Bytes b(4, 0xEE);
    for (int i = 0; i < 12; ++i)
        b.push_back(static_cast<uint8_t>(i * 10));
    std::string p = write("a.raw", b);
    // Without a layout (no dialog, nothing preset) the file is refused.
    EXPECT_EQ(load_image(p.c_str()), nullptr);
    EXPECT_NE(boxes().find("layout of the raw file"), std::string::npos);
    raw_state().preset = true;
    ASSERT_TRUE(parse_raw_layout("2x2,3,4", raw_state().layout));
    Image* image = load_image(p.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_RGB(image, 1, 1, 90, 100, 110);
    EXPECT_STREQ(image->format, "RAW");
    ASSERT_TRUE(parse_raw_layout("4x4", raw_state().layout));
    EXPECT_EQ(load_image(p.c_str()), nullptr);
    EXPECT_NE(boxes().find("needs 48"), std::string::npos);
    raw_state().preset = false;
}

TEST_F(FormatTest, HeaderInfoWithoutDecoding)
{
    // The rows' info entries tell size, bits and alpha from the header alone.
    Image* image = picture(19, 6, true);
    ASSERT_EQ(WriteTarga(image, path("i.tga").c_str(), 32, 1), 0);
    ASSERT_EQ(WritePcx(image, path("i.pcx").c_str(), 8), 0);
    ASSERT_EQ(WriteIff(image, path("i.trm").c_str(), true, 1), 0);
    struct Case {
        CodecId id;
        const char* file;
        int bits;
        bool alpha;
    };
    for (const Case& c : {Case{CODEC_TGA, "i.tga", 32, true}, Case{CODEC_PCX, "i.pcx", 8, false},
                          Case{CODEC_IFF, "i.trm", 32, true}}) {
        std::string p = path(c.file);
        FILE* f = std::fopen(p.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        ImageInfo info;
        LoadRequest request{p.c_str(), f, static_cast<long>(read(p).size())};
        ASSERT_NE(codec(c.id).info, nullptr);
        EXPECT_EQ(codec(c.id).info(request, &info), 0) << c.file;
        std::fclose(f);
        EXPECT_EQ(info.width, 19) << c.file;
        EXPECT_EQ(info.height, 6) << c.file;
        EXPECT_EQ(info.bits, c.bits) << c.file;
        EXPECT_EQ(info.alpha, c.alpha) << c.file;
    }
}

TEST_F(FormatTest, IlbmHamECookieRows)
{
    // Four planes, 20 pixels: a register-mode cookie row sets HAM-E palette
    // entry 0 from the index pairs at columns 16/17 (red) and 18/19 (green);
    // the next row pairs its indices into that palette.
    const int cookie[16] = {10, 2, 15, 5, 8, 4, 13, 12, 6, 13, 11, 0, 7, 15, 1, 4};
    int rows[2][20] = {};
    for (int x = 0; x < 16; ++x)
        rows[0][x] = cookie[x];
    rows[0][16] = 0xC, rows[0][17] = 0x8;  // red 0xC8
    rows[0][18] = 0x4, rows[0][19] = 0x0;  // green 0x40
    rows[1][3] = 1;                        // not all 0: HAM-E goes on
    Bytes body;
    for (auto& row : rows)
        for (int p = 0; p < 4; ++p) {
            uint8_t bytes[4] = {};
            for (int x = 0; x < 20; ++x)
                if (row[x] >> p & 1)
                    bytes[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            body.insert(body.end(), bytes, bytes + 4);
        }
    Bytes chunks = chunk("BMHD", bmhd(20, 2, 4, 0));
    append(chunks, chunk("CMAP", Bytes(48, 0)));
    append(chunks, chunk("BODY", body));
    Image* image = load_image(write("hame.iff", form("ILBM", chunks)).c_str());
    ASSERT_NE(image, nullptr) << boxes();
    EXPECT_RGB(image, 5, 0, 0xC8, 0x40, 0);  // the cookie row shows entry 0
    EXPECT_RGB(image, 1, 1, 0xC8, 0x40, 0);  // pair (0, 0) is entry 0
    EXPECT_RGB(image, 0, 1, 0xC8, 0x40, 0);  // column 0 takes the colour itself
    EXPECT_RGB(image, 3, 1, 0, 0, 0);        // pair (0, 1): entry 1, never set
    EXPECT_RGB(image, 2, 1, 0x64, 0x20, 0);  // the average of columns 1 and 3
}
