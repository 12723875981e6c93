// The film strip: placing frames, the film file, the animation exports and
// the MNG writer's chunk stream.
#include "format_fixture.h"

#include "core/log.h"
#include "core/mem.h"
#include "formats/avi.h"
#include "formats/film.h"
#include "formats/mng.h"

#include <cstring>
#include <map>

namespace {

class Film : public FormatTest {
protected:
    void TearDown() override
    {
        CloseMngAnimation();
        film_release();
        FormatTest::TearDown();
    }

    // An image whose pixel (x, y) is (x, y, x ^ y) modulo 256, opaque.
    static Image* pattern(long w, long h)
    {
        Image* image = image_new(w, h, "test");
        image_lock(image);
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x) {
                uint8_t* p = image->pixel(static_cast<int>(x), static_cast<int>(y));
                p[0] = static_cast<uint8_t>(x);
                p[1] = static_cast<uint8_t>(y);
                p[2] = static_cast<uint8_t>(x ^ y);
                p[3] = 255;
            }
        image_unlock(image);
        return image;
    }

    static Image* solid(long w, long h, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
    {
        Image* image = image_new(w, h, "test");
        image_lock(image);
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x) {
                uint8_t* p = image->pixel(static_cast<int>(x), static_cast<int>(y));
                p[0] = r, p[1] = g, p[2] = b, p[3] = a;
            }
        image_unlock(image);
        return image;
    }

    static Bytes film_header(uint32_t w, uint32_t h, uint32_t n)
    {
        Bytes b = {'M', 'F', 'L', 'M'};
        le32(b, w);
        le32(b, h);
        le32(b, n);
        return b;
    }
};

// The chunks of a PNG-style stream after its 8-byte signature.
struct Chunk {
    std::string type;
    Bytes data;
};
std::vector<Chunk> chunks_of(const Bytes& file)
{
    std::vector<Chunk> out;
    size_t at = 8;
    while (at + 12 <= file.size()) {
        uint32_t n = static_cast<uint32_t>(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
        if (at + 12 + n > file.size())
            break;
        out.push_back({std::string(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8),
                       Bytes(file.begin() + static_cast<long>(at) + 8, file.begin() + static_cast<long>(at + 8 + n))});
        at += 12 + n;
    }
    return out;
}
uint32_t be32(const Bytes& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

} // namespace

TEST_F(Film, WideImageFillsACentredBandOnTheBackground)
{
    settings().back_color[0] = 9, settings().back_color[1] = 8, settings().back_color[2] = 7;
    ASSERT_EQ(film_create(2, 320, 320), 0);
    Image* wide = pattern(640, 480);
    ASSERT_EQ(PlaceFrame(wide, 0), 0);
    Image* f = film_frame(0);
    ASSERT_NE(f, nullptr);
    EXPECT_RGB(f, 5, 39, 9, 8, 7);    // above the band
    EXPECT_RGB(f, 5, 280, 9, 8, 7);   // below it
    // Row 40 is source row 0; row 279 source row 478; column x source column 2x.
    EXPECT_RGB(f, 0, 40, 0, 0, 0);
    EXPECT_RGB(f, 100, 40, 200, 0, 200);
    EXPECT_RGB(f, 319, 279, static_cast<uint8_t>(638), static_cast<uint8_t>(478), static_cast<uint8_t>(638 ^ 478));
    EXPECT_EQ(film_filled(), 1);
    EXPECT_EQ(film_frame(1), nullptr);

    // A tall image fills a centred column; pixels twice as wide as high
    // show a square image as a 2:1 band.
    Image* tall = solid(100, 400, 50, 60, 70);
    ASSERT_EQ(PlaceFrame(tall, 1), 0);
    EXPECT_RGB(film_frame(1), 119, 100, 9, 8, 7);
    EXPECT_RGB(film_frame(1), 120, 100, 50, 60, 70);
    EXPECT_RGB(film_frame(1), 199, 100, 50, 60, 70);
    EXPECT_RGB(film_frame(1), 200, 100, 9, 8, 7);
    Image* square = solid(100, 100, 1, 2, 3);
    square->hres_num = 36, square->hres_den = 1, square->vres_num = 72, square->vres_den = 1;
    ASSERT_EQ(PlaceFrame(square, 1), 0);
    EXPECT_RGB(film_frame(1), 0, 79, 9, 8, 7);
    EXPECT_RGB(film_frame(1), 0, 80, 1, 2, 3);
    EXPECT_RGB(film_frame(1), 319, 239, 1, 2, 3);
    EXPECT_RGB(film_frame(1), 0, 240, 9, 8, 7);

    // Other slots are ignored.
    EXPECT_EQ(PlaceFrame(wide, 2), 0);
    EXPECT_EQ(PlaceFrame(wide, -1), 0);
    EXPECT_EQ(film_filled(), 2);
}

TEST_F(Film, AlphaBlendsOverTheBlendColourOnlyWhenSwitchedOn)
{
    settings().alpha_color[0] = 0, settings().alpha_color[1] = 0, settings().alpha_color[2] = 255;
    ASSERT_EQ(film_create(1, 4, 4), 0);
    Image* half = solid(4, 4, 255, 0, 0, 128);
    half->alpha = 1;
    ASSERT_EQ(PlaceFrame(half, 0), 0);
    // (255 * 128 + 0 * 127) / 255 = 128, (0 * 128 + 255 * 127) / 255 = 127
    EXPECT_RGB(film_frame(0), 1, 1, 128, 0, 127);
    settings().user_prefs[PREF_FILMSTRIP_BLEND_ALPHA] = 0;
    ASSERT_EQ(PlaceFrame(half, 0), 0);
    EXPECT_RGB(film_frame(0), 1, 1, 255, 0, 0);
    // Without the image's alpha flag its alpha is not looked at.
    settings().user_prefs[PREF_FILMSTRIP_BLEND_ALPHA] = 1;
    half->alpha = 0;
    ASSERT_EQ(PlaceFrame(half, 0), 0);
    EXPECT_RGB(film_frame(0), 1, 1, 255, 0, 0);
}

TEST_F(Film, FilmFileHoldsPlanesAndEmptySlotsComeBackBlack)
{
    ASSERT_EQ(film_create(3, 2, 2), 0);
    Image* a = pattern(2, 2);
    ASSERT_EQ(PlaceFrame(a, 0), 0);
    Image* b = solid(2, 2, 200, 100, 50);
    ASSERT_EQ(PlaceFrame(b, 2), 0);
    std::string name = path("strip.flm");
    ASSERT_EQ(SaveFilm(name.c_str()), 0);
    Bytes file = read(name);
    ASSERT_EQ(file.size(), 16u + 3 * 12);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 16), film_header(2, 2, 3));
    // Frame 0: the red plane (x), the green plane (y), the blue plane (x ^ y).
    EXPECT_EQ(Bytes(file.begin() + 16, file.begin() + 28), (Bytes{0, 1, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0}));
    EXPECT_EQ(Bytes(file.begin() + 28, file.begin() + 40), Bytes(12, 0));
    EXPECT_EQ(file[40], 200);
    EXPECT_EQ(file[44], 100);
    EXPECT_EQ(file[48], 50);

    film_release();
    film_state().frames = 0;
    ASSERT_EQ(LoadFilm(name.c_str()), 0);
    EXPECT_EQ(film_state().frames, 3);
    EXPECT_EQ(film_filled(), 3);  // every slot of a loaded film is used
    EXPECT_RGB(film_frame(0), 1, 1, 1, 1, 0);
    EXPECT_RGB(film_frame(1), 1, 1, 0, 0, 0);
    EXPECT_RGB(film_frame(2), 0, 1, 200, 100, 50);

    // The single-image reader takes the first frame.
    Image* one = load_image(name.c_str());
    ASSERT_NE(one, nullptr);
    EXPECT_STREQ(one->format, "FLM");
    EXPECT_EQ(one->frame_count, 3);
    EXPECT_RGB(one, 1, 0, 1, 0, 1);
}

TEST_F(Film, DamagedFilmFilesAreRefused)
{
    for (const Bytes& header : {film_header(2, 2, 0), film_header(2, 2, 4097), film_header(1025, 2, 1),
                                film_header(2, 0, 1), Bytes{'M', 'F', 'L', 'M', 1, 0}}) {
        ui::headless().clear_transcript();
        std::string name = write("bad.flm", header);
        EXPECT_EQ(LoadFilm(name.c_str()), 1);
        EXPECT_NE(boxes().find("Message 092"), std::string::npos) << boxes();
    }
    ui::headless().clear_transcript();
    std::string other = write("other.flm", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(LoadFilm(other.c_str()), 1);
    EXPECT_NE(boxes().find("File is not a valid filmstrip"), std::string::npos);
    EXPECT_EQ(LoadFilm(path("missing.flm").c_str()), 1);
    EXPECT_NE(boxes().find("Message 071"), std::string::npos);

    // Cut in the middle of frame 2: frame 1 stays loaded.
    Bytes cut = film_header(2, 1, 3);
    for (int i = 0; i < 6; ++i)
        cut.push_back(static_cast<uint8_t>(10 + i));
    cut.push_back(99);
    std::string name = write("cut.flm", cut);
    ui::headless().clear_transcript();
    EXPECT_EQ(LoadFilm(name.c_str()), 1);
    EXPECT_NE(boxes().find("Message 092"), std::string::npos);
    EXPECT_EQ(film_state().frames, 3);
    EXPECT_EQ(film_filled(), 1);
    EXPECT_RGB(film_frame(0), 1, 0, 11, 13, 15);

    // As a single image: a short header, a truncated frame.
    ui::headless().clear_transcript();
    EXPECT_EQ(load_image(write("short.flm", Bytes{'M', 'F', 'L', 'M', 2, 0, 0, 0}).c_str()), nullptr);
    EXPECT_NE(boxes().find("Message 024"), std::string::npos);
    Bytes trunc = film_header(4, 4, 1);
    trunc.resize(40);
    EXPECT_EQ(load_image(write("trunc.flm", trunc).c_str()), nullptr);
    EXPECT_NE(boxes().find("Message 025"), std::string::npos);
    EXPECT_EQ(mem_counters().places_now, mem_counters().places_now);
}

TEST_F(Film, ExportOrderAndItsRefusals)
{
    // Ping-pong needs three frames: two play forward only.
    EXPECT_EQ(film_export_count(2, true), 2);
    EXPECT_EQ(film_export_count(4, true), 6);
    std::vector<long> order;
    for (long s = 0; s < 6; ++s)
        order.push_back(film_export_frame(s, 4));
    EXPECT_EQ(order, (std::vector<long>{0, 1, 2, 3, 2, 1}));

    FilmExportOptions options;
    EXPECT_EQ(ExportFilmMng(path("none.mng").c_str(), options), 1);
    EXPECT_NE(boxes().find("Message 019"), std::string::npos);

    ASSERT_EQ(film_create(3, 8, 8), 0);
    Image* red = solid(8, 8, 255, 0, 0);
    ASSERT_EQ(PlaceFrame(red, 0), 0);
    ui::headless().clear_transcript();
    options.delay = 10000;
    EXPECT_EQ(ExportFilmMng(path("slow.mng").c_str(), options), 1);
    EXPECT_FALSE(std::ifstream(path("slow.mng")).good());

    // A folder that cannot be written: the old file stays.
    options.delay = 8;
    std::string old = write("keep.mng", Bytes{1, 2, 3});
    std::string locked = path("locked");
    ASSERT_EQ(system(("mkdir '" + locked + "' && cp '" + old + "' '" + locked + "/' && chmod 555 '" + locked + "'").c_str()), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(ExportFilmMng((locked + "/keep.mng").c_str(), options), 1);
        EXPECT_EQ(read(locked + "/keep.mng"), (Bytes{1, 2, 3}));
    }
    EXPECT_EQ(ExportFilmMng((path("no/such/folder") + "/a.mng").c_str(), options), 1);
    EXPECT_NE(boxes().find("Unable to open MNG animation"), std::string::npos);

    ui::headless().clear_transcript();
    ASSERT_EQ(ExportFilmMng(old.c_str(), options), 0);
    EXPECT_NE(boxes().find("Message 074"), std::string::npos);
    std::vector<Chunk> chunks = chunks_of(read(old));
    int frames = 0;
    for (const Chunk& c : chunks)
        frames += c.type == "IHDR";
    EXPECT_EQ(frames, 3);
    // The empty slots are the background: one colour.
    EXPECT_EQ(chunks[chunks.size() - 4].type, "PLTE");
    EXPECT_EQ(chunks[chunks.size() - 4].data, (Bytes{0, 0, 0}));
    system(("chmod 755 '" + locked + "'").c_str());
}

TEST_F(Film, MngChunkStream)
{
    Image* a = pattern(16, 8);
    // One frame: layer count 2, frame count 1, MEND right after it; no loop: TERM action 0.
    std::string one = path("one.mng");
    ASSERT_EQ(OpenMngAnimation(1, 16, 8, one.c_str(), 5, 0, nullptr), 0);
    ASSERT_EQ(WriteMngFrame(a, 0), 0);
    EXPECT_FALSE(mng_animation_open());
    Bytes file = read(one);
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
    std::vector<Chunk> c = chunks_of(file);
    std::vector<std::string> types;
    for (const Chunk& k : c)
        types.push_back(k.type);
    EXPECT_EQ(types, (std::vector<std::string>{"MHDR", "TERM", "FRAM", "IHDR", "PLTE", "IDAT", "IEND", "MEND"}));
    EXPECT_EQ(be32(c[0].data, 0), 16u);
    EXPECT_EQ(be32(c[0].data, 4), 8u);
    EXPECT_EQ(be32(c[0].data, 8), 50u);
    EXPECT_EQ(be32(c[0].data, 12), 2u);
    EXPECT_EQ(be32(c[0].data, 16), 1u);
    EXPECT_EQ(be32(c[0].data, 20), 0x7FFFFFFFu);
    EXPECT_EQ(be32(c[0].data, 24), 3u);  // simplicity: valid, with TERM and FRAM
    EXPECT_EQ(c[1].data[0], 0);
    EXPECT_EQ(c[2].data[0], 1);  // framing mode
    EXPECT_EQ(c[3].data[8], 8);  // bit depth
    EXPECT_EQ(c[3].data[9], 3);  // indexed

    // Looping with a common palette: TERM 3 0 delay max; a global PLTE and empty frame PLTEs.
    MngPalette pal{};
    for (int i = 0; i < 4; ++i)
        pal.red[i] = static_cast<uint8_t>(60 * i);
    pal.count = 4;
    std::string two = path("two.mng");
    ASSERT_EQ(OpenMngAnimation(2, 16, 8, two.c_str(), 7, 1, &pal), 0);
    ASSERT_EQ(WriteMngFrame(a, 0), 0);
    EXPECT_TRUE(mng_animation_open());
    EXPECT_FALSE(std::ifstream(two).good());  // written whole after the last frame
    ASSERT_EQ(WriteMngFrame(a, 1), 0);
    c = chunks_of(read(two));
    ASSERT_GE(c.size(), 4u);
    EXPECT_EQ(c[1].type, "TERM");
    EXPECT_EQ(c[1].data[0], 3);
    EXPECT_EQ(c[1].data[1], 0);
    EXPECT_EQ(be32(c[1].data, 2), 7u);
    EXPECT_EQ(be32(c[1].data, 6), 0x7FFFFFFFu);
    EXPECT_EQ(c[3].type, "PLTE");
    EXPECT_EQ(c[3].data.size(), 12u);
    int empty = 0;
    for (size_t i = 4; i < c.size(); ++i)
        if (c[i].type == "PLTE")
            empty += c[i].data.empty() ? 1 : -100;
    EXPECT_EQ(empty, 2);

    // Without an open animation a frame is refused.
    ui::headless().clear_transcript();
    EXPECT_EQ(WriteMngFrame(a, 0), 1);
    EXPECT_NE(boxes().find("MNG: Frame save without prior mng_open"), std::string::npos);
}

TEST_F(Film, CommonPaletteComesFromEveryFrame)
{
    ASSERT_EQ(film_create(3, 8, 8), 0);
    Image* r = solid(8, 8, 255, 0, 0);
    Image* g = solid(8, 8, 0, 255, 0);
    ASSERT_EQ(PlaceFrame(r, 0), 0);
    ASSERT_EQ(PlaceFrame(g, 1), 0);
    uint8_t red[256], green[256], blue[256];
    int n = film_common_palette(red, green, blue);
    // Red, green and the background of the empty slot.
    ASSERT_EQ(n, 3);
    std::map<int, int> seen;
    for (int i = 0; i < n; ++i)
        seen[red[i] << 16 | green[i] << 8 | blue[i]] += 1;
    EXPECT_EQ(seen.count(0xFF0000), 1u);
    EXPECT_EQ(seen.count(0x00FF00), 1u);
    EXPECT_EQ(seen.count(0), 1u);
}

TEST_F(Film, AviRoundTripIsExactUncompressed)
{
    if (!avi_library())
        GTEST_SKIP() << "vqavi.so is not built beside the tests";
    ASSERT_EQ(film_create(3, 18, 10), 0);
    Image* a = pattern(18, 10);
    Image* b = solid(18, 10, 1, 2, 3);
    ASSERT_EQ(PlaceFrame(a, 0), 0);
    ASSERT_EQ(PlaceFrame(b, 1), 0);
    FilmExportOptions options;
    options.delay = 4;
    std::string name = path("film.avi");
    ASSERT_EQ(ExportFilmAvi(name.c_str(), options), 0);

    AviReader reader;
    ASSERT_EQ(reader.open(name.c_str()), 0);
    EXPECT_EQ(reader.width(), 18);
    EXPECT_EQ(reader.height(), 10);
    EXPECT_EQ(reader.frames(), 3);
    EXPECT_DOUBLE_EQ(reader.seconds_per_frame(), 0.04);
    Image* back = image_new(18, 10, "test");
    ImageLock lock(back);
    ASSERT_EQ(reader.next(back), 1);
    {
        ImageLock first(film_frame(0));
        for (int y = 0; y < 10; ++y)
            ASSERT_EQ(std::memcmp(back->row(y), film_frame(0)->row(y), 18 * 4), 0) << y;
    }
    lock.release();
    EXPECT_RGB(back, 17, 9, 17, 9, 17 ^ 9);
    lock.acquire(back);
    ASSERT_EQ(reader.next(back), 1);
    ASSERT_EQ(reader.next(back), 1);
    EXPECT_EQ(back->pixel(0, 0)[0], 0);  // the empty slot: the background
    EXPECT_EQ(reader.next(back), 0);

    // The whole file into the film, whose length it then takes.
    film_release();
    film_state().frames = 0;
    ASSERT_EQ(LoadFilm(name.c_str()), 0);
    EXPECT_EQ(film_state().frames, 3);
    EXPECT_RGB(film_frame(1), 5, 5, 1, 2, 3);
}

TEST_F(Film, AviWithoutItsLibraryNamesThePackage)
{
    avi_library_forget();
    setenv("GLIMVQ_LIB_DIR", folder_.c_str(), 1);
    EXPECT_EQ(avi_library(), nullptr);
    EXPECT_EQ(load_image(write("x.avi", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}).c_str()), nullptr);
    unsetenv("GLIMVQ_LIB_DIR");
    avi_library_forget();
    EXPECT_NE(boxes().find("Message 075"), std::string::npos);
    EXPECT_NE(boxes().find("libavformat-dev"), std::string::npos) << boxes();
}

TEST_F(Film, FlicOfFiftyFramesIntoThirtySlots)
{
    // A 50-frame FLC: frame i a grey of 5 i.
    ASSERT_EQ(film_create(50, 8, 6), 0);
    for (long i = 0; i < 50; ++i) {
        Image* grey = solid(8, 6, static_cast<uint8_t>(5 * i), static_cast<uint8_t>(5 * i), static_cast<uint8_t>(5 * i));
        ASSERT_EQ(PlaceFrame(grey, i), 0);
        image_free(grey);
    }
    std::string flc = path("fifty.flc");
    FilmExportOptions options;
    ASSERT_EQ(ExportFilmFlic(flc.c_str(), options), 0);

    ASSERT_EQ(film_create(30, 20, 20), 0);
    ASSERT_EQ(LoadFilm(flc.c_str()), 0);
    EXPECT_EQ(film_state().frames, 30);
    EXPECT_EQ(film_state().width, 8);
    EXPECT_EQ(film_filled(), 30);
    EXPECT_RGB(film_frame(0), 3, 3, 0, 0, 0);
    EXPECT_RGB(film_frame(29), 3, 3, 145, 145, 145);

    // Without a film the FLIC's own length is taken; a GIF comes in frame by frame.
    film_release();
    film_state().frames = 0;
    ASSERT_EQ(LoadFilm(flc.c_str()), 0);
    EXPECT_EQ(film_state().frames, 50);
    EXPECT_RGB(film_frame(49), 7, 5, 245, 245, 245);

    std::string gif = path("pong.gif");
    options.pingpong = true;
    options.delay = 3;
    ASSERT_EQ(ExportFilmGif(gif.c_str(), options), 0);
    film_release();
    film_state().frames = 0;
    ASSERT_EQ(LoadFilm(gif.c_str()), 0);
    EXPECT_EQ(film_state().frames, 98);  // 0 .. 49 .. 1
    EXPECT_RGB(film_frame(97), 0, 0, 5, 5, 5);
}

TEST_F(Film, PingPongOfTwoFramesIsTheForwardPass)
{
    ASSERT_EQ(film_create(2, 4, 4), 0);
    Image* a = solid(4, 4, 255, 0, 0);
    Image* b = solid(4, 4, 0, 0, 255);
    ASSERT_EQ(PlaceFrame(a, 0), 0);
    ASSERT_EQ(PlaceFrame(b, 1), 0);
    FilmExportOptions options;
    options.pingpong = true;
    std::string gif = path("two.gif");
    ASSERT_EQ(ExportFilmGif(gif.c_str(), options), 0);
    film_release();
    film_state().frames = 0;
    ASSERT_EQ(LoadFilm(gif.c_str()), 0);
    EXPECT_EQ(film_state().frames, 2);
    EXPECT_RGB(film_frame(1), 0, 0, 0, 0, 255);
    std::string mng = path("two.mng");
    ASSERT_EQ(film_create(2, 4, 4), 0);
    ASSERT_EQ(PlaceFrame(a, 0), 0);
    ASSERT_EQ(ExportFilmMng(mng.c_str(), options), 0);
    int frames = 0;
    for (const Chunk& c : chunks_of(read(mng)))
        frames += c.type == "IHDR";
    EXPECT_EQ(frames, 2);
}
