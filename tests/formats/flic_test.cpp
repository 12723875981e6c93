#include "../core/log_capture.h"
#include "core/mem.h"
#include "core/settings.h"
#include "format_fixture.h"
#include "formats/flic.h"
#include "render/reduce.h"

#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>

namespace {

Bytes sub_chunk(int type, const Bytes& data)
{
    Bytes b;
    le32(b, static_cast<uint32_t>(data.size() + 6));
    le16(b, static_cast<unsigned>(type));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// A FLIC file put together chunk by chunk.
struct FlicFile {
    Bytes b;
    int frames = 0;
    FlicFile(int w, int h, unsigned magic = 0xAF12)
    {
        b.assign(128, 0);
        b[4] = static_cast<uint8_t>(magic);
        b[5] = static_cast<uint8_t>(magic >> 8);
        b[8] = static_cast<uint8_t>(w);
        b[9] = static_cast<uint8_t>(w >> 8);
        b[10] = static_cast<uint8_t>(h);
        b[11] = static_cast<uint8_t>(h >> 8);
        b[12] = 8;
    }
    void chunk(unsigned type, const std::vector<Bytes>& subs, bool is_frame = true)
    {
        Bytes body;
        for (const Bytes& s : subs)
            body.insert(body.end(), s.begin(), s.end());
        le32(b, static_cast<uint32_t>(body.size() + 16));
        le16(b, type);
        le16(b, static_cast<unsigned>(subs.size()));
        b.insert(b.end(), 8, 0);
        b.insert(b.end(), body.begin(), body.end());
        frames += is_frame;
    }
    void frame(const std::vector<Bytes>& subs) { chunk(0xF1FA, subs); }
    Bytes done()
    {
        Bytes out = b;
        uint32_t n = static_cast<uint32_t>(out.size());
        std::memcpy(out.data(), &n, 4);
        out[6] = static_cast<uint8_t>(frames);
        out[7] = static_cast<uint8_t>(frames >> 8);
        return out;
    }
};

// A 256-level palette sub-chunk: entry i is (i, 255 - i, i / 2).
Bytes palette256()
{
    Bytes d = {1, 0, 0, 0};
    for (int i = 0; i < 256; ++i) {
        d.push_back(static_cast<uint8_t>(i));
        d.push_back(static_cast<uint8_t>(255 - i));
        d.push_back(static_cast<uint8_t>(i / 2));
    }
    return sub_chunk(4, d);
}

// The palette index a pixel shows (palette256()).
int index_of(Image* image, int x, int y)
{
    uint8_t px[4];
    image_lock(image);
    std::memcpy(px, image->pixel(x, y), 4);
    image_unlock(image);
    return px[0];
}

Image* pattern_image(int w, int h, int seed)
{
    // At most 256 colours, so the reduction keeps them exactly.
    Image* image = image_new(w, h, "test");
    image_lock(image);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image->pixel(x, y);
            int v = ((x + seed) / 4 + (y / 3) * 5) % 16;
            p[0] = static_cast<uint8_t>(v * 16);
            p[1] = static_cast<uint8_t>((seed * 40 + v * 7) % 256);
            p[2] = static_cast<uint8_t>(((x / 7 + seed) % 4) * 80);
            p[3] = 255;
        }
    image_unlock(image);
    return image;
}

int get_le16_at(const Bytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8;
}

bool same_pixels(Image* a, Image* b)
{
    if (a->width != b->width || a->height != b->height)
        return false;
    image_lock(a);
    image_lock(b);
    bool same = true;
    for (int y = 0; y < a->height && same; ++y)
        for (uint32_t x = 0; x < a->width && same; ++x)
            same = std::memcmp(a->pixel(static_cast<int>(x), y), b->pixel(static_cast<int>(x), y), 3) == 0;
    image_unlock(a);
    image_unlock(b);
    return same;
}

class Flic : public FormatTest {
protected:
    void TearDown() override
    {
        flic_forget();
        formats_set_read_frame(0);
        formats_set_frame_position(0);
        FormatTest::TearDown();
    }
    Image* frame_of(const std::string& p, long frame)
    {
        formats_set_read_frame(frame);
        return load_image(p.c_str());
    }
};

} // namespace

TEST_F(Flic, EveryChunkTypeDecodes)
{
    const int w = 6, h = 4;
    FlicFile f(w, h);
    // Frame 1: a prefix chunk first, then the palette and a byte run.
    f.chunk(0xF100, {sub_chunk(3, {1, 2, 3})}, false);
    Bytes brun;
    for (int y = 0; y < h; ++y) {
        Bytes line = {2, 3, static_cast<uint8_t>(10 + y), static_cast<uint8_t>(256 - 3), 1, 2, 3};
        brun.insert(brun.end(), line.begin(), line.end());
    }
    f.frame({palette256(), sub_chunk(18, {9, 9, 9, 9}), sub_chunk(15, brun)});
    // Frame 2: byte delta of line 1 (skip 2, copy 2; skip 0, repeat 7 twice) and an unknown chunk.
    f.frame({sub_chunk(12, {1, 0, 1, 0, 2, 2, 2, 40, 41, 0, 0xFE, 7}), sub_chunk(99, {1, 2})});
    // Frame 3: word delta: skip a line, then line 1 with one literal word at column 2,
    // then the last-byte opcode is for even widths unused; a repeated word on line 2.
    f.frame({sub_chunk(7, {2, 0, 0xFF, 0xFF, 1, 0, 2, 1, 50, 51, 1, 0, 0, 0xFE, 60, 61})});
    // Frame 4: clear; frame 5: raw.
    f.frame({sub_chunk(13, {})});
    Bytes raw(w * h);
    for (int i = 0; i < w * h; ++i)
        raw[i] = static_cast<uint8_t>(100 + i);
    f.frame({sub_chunk(16, raw)});
    std::string p = write("chunks.flc", f.done());

    Image* one = frame_of(p, 1);
    ASSERT_NE(one, nullptr) << boxes();
    EXPECT_EQ(one->frame_number, 1);
    EXPECT_EQ(one->frame_count, 5);
    EXPECT_EQ(index_of(one, 0, 0), 10);
    EXPECT_EQ(index_of(one, 2, 0), 10);
    EXPECT_EQ(index_of(one, 3, 0), 1);
    EXPECT_EQ(index_of(one, 5, 3), 3);
    EXPECT_RGB(one, 3, 0, 1, 254, 0);

    Image* two = frame_of(p, 2);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(index_of(two, 1, 1), 11);  // untouched
    EXPECT_EQ(index_of(two, 2, 1), 40);
    EXPECT_EQ(index_of(two, 3, 1), 41);
    EXPECT_EQ(index_of(two, 4, 1), 7);
    EXPECT_EQ(index_of(two, 5, 1), 7);

    Image* three = frame_of(p, 3);
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(index_of(three, 2, 1), 50);
    EXPECT_EQ(index_of(three, 3, 1), 51);
    EXPECT_EQ(index_of(three, 0, 2), 60);
    EXPECT_EQ(index_of(three, 3, 2), 61);
    EXPECT_EQ(index_of(three, 4, 2), 2);  // past the repeat

    Image* four = frame_of(p, 4);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(index_of(four, 3, 2), 0);
    Image* five = frame_of(p, 5);
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(index_of(five, 5, 3), 100 + 23);
}

TEST_F(Flic, FramesBeyondTheLastAndSixtyFourLevelPalettes)
{
    FlicFile f(2, 1, 0xAF11);
    // A 64-level palette: entry 0 = (63, 0, 31), entry 5 = (1, 2, 3).
    f.frame({sub_chunk(11, {2, 0, 0, 1, 63, 0, 31, 4, 1, 1, 2, 3}), sub_chunk(15, {1, 2, 0})});
    f.frame({sub_chunk(15, {1, 0xFE, 5, 5})});
    f.frame({sub_chunk(15, {1, 2, 0})});
    std::string p = write("three.fli", f.done());
    Image* image = frame_of(p, 5);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->frame_number, 3);
    EXPECT_RGB(image, 0, 0, 252, 0, 124);
    Image* two = frame_of(p, 2);
    ASSERT_NE(two, nullptr);
    EXPECT_RGB(two, 1, 0, 4, 8, 12);
}

TEST_F(Flic, DamagedFilesKeepWhatWasDrawn)
{
    LogCapture log;
    // A sub-chunk that claims more than the frame holds is cut at its end; a
    // byte delta past the height stops the frame there.
    FlicFile f(4, 2);
    f.frame({palette256(), sub_chunk(15, {1, 4, 9, 1, 4, 8})});
    f.frame({sub_chunk(12, {1, 0, 5, 0})});
    f.frame({sub_chunk(15, {1, 4, 1})});
    Bytes bytes = f.done();
    std::string p = write("damaged.flc", bytes);
    Image* image = frame_of(p, 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(index_of(image, 0, 0), 9);
    EXPECT_NE(log.text().find("Illegal start or end line in FLI_LC chunk"), std::string::npos);
    EXPECT_NE(log.text().find("Problem at FLC frame 2"), std::string::npos);

    // Cut inside the first frame: the rows that came are there.
    Bytes cut(bytes.begin(), bytes.begin() + 128 + 16 + 778 + 6 + 3);
    image = frame_of(write("cut.flc", cut), 1);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(index_of(image, 3, 0), 9);
    EXPECT_EQ(index_of(image, 3, 1), 0);

    // No frame at all, a short header, a wrong magic, no pixels: refused.
    EXPECT_EQ(frame_of(write("none.flc", FlicFile(4, 2).done()), 1), nullptr);
    EXPECT_NE(boxes().find("File is truncated."), std::string::npos);
    EXPECT_EQ(frame_of(write("short.flc", Bytes(bytes.begin(), bytes.begin() + 100)), 1), nullptr);
    Bytes zero = FlicFile(0, 2).done();
    EXPECT_EQ(frame_of(write("zero.flc", zero), 1), nullptr);
    EXPECT_NE(boxes().find("no pixels"), std::string::npos);
}

TEST_F(Flic, PackersRoundTrip)
{
    std::mt19937 rng(7);
    for (long w : {1L, 2L, 7L, 64L, 333L, 600L}) {
        const long h = 9;
        std::vector<uint8_t> last(static_cast<size_t>(w * h)), frame(last.size()), out(last.size());
        for (auto& v : last)
            v = static_cast<uint8_t>(rng() % 4);
        frame = last;
        // Runs, noise, unchanged stretches longer than a skip byte, a changed last column.
        for (long y = 0; y < h; y += 2)
            for (long x = y; x < w; x += 1 + static_cast<long>(rng() % (y + 2)))
                frame[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(rng() % 3 == 0 ? 200 : rng());
        frame[static_cast<size_t>(w * h - 1)] ^= 0x55;
        std::vector<uint8_t> packed(static_cast<size_t>(flic_delta_bound(w, h)));
        long n = flic_pack_delta(frame.data(), last.data(), w, h, packed.data());
        out = last;
        uint8_t palette[768] = {};
        ASSERT_TRUE(flic_decode_chunk(7, packed.data(), n, out.data(), w, h, palette));
        EXPECT_EQ(out, frame) << "word delta, width " << w;
        // Against itself: no line at all.
        EXPECT_EQ(flic_pack_delta(frame.data(), frame.data(), w, h, packed.data()), 2);

        packed.assign(static_cast<size_t>(flic_brun_bound(w, h)), 0);
        n = flic_pack_brun(frame.data(), w, h, packed.data());
        std::fill(out.begin(), out.end(), 0);
        ASSERT_TRUE(flic_decode_chunk(15, packed.data(), n, out.data(), w, h, palette));
        EXPECT_EQ(out, frame) << "byte run, width " << w;
    }
    // A line changed in every other word needs more packets than a count
    // word holds: it goes as literal words.
    const long w = 40000;
    std::vector<uint8_t> last(w, 0), frame(w, 0), out(w, 0);
    for (long x = 0; x < w; x += 4)
        frame[static_cast<size_t>(x)] = 1;
    std::vector<uint8_t> packed(static_cast<size_t>(flic_delta_bound(w, 1)));
    long n = flic_pack_delta(frame.data(), last.data(), w, 1, packed.data());
    uint8_t palette[768] = {};
    flic_decode_chunk(7, packed.data(), n, out.data(), w, 1, palette);
    EXPECT_EQ(out, frame);
}

TEST_F(Flic, WrittenFramesAppendWithARingFrame)
{
    std::string p = path("anim.flc");
    Image* f1 = pattern_image(33, 20, 0);
    ASSERT_EQ(WriteFlicFrame(f1, p.c_str(), 0), 0) << boxes();
    Bytes one = read(p);
    EXPECT_EQ(get_le16_at(one, 6), 1);
    EXPECT_EQ(static_cast<size_t>(one[0] | one[1] << 8 | one[2] << 16), one.size());
    // No ring frame: the file ends with frame 1, where frame 2 would start.
    EXPECT_EQ(one[84] | one[85] << 8, static_cast<int>(one.size()));

    Image* f2 = pattern_image(33, 20, 3);
    std::string p2 = path("anim2.flc");
    ASSERT_EQ(WriteFlicFrame(f2, p2.c_str(), 1, p.c_str()), 0) << boxes();
    Bytes two = read(p2);
    EXPECT_EQ(get_le16_at(two, 6), 2);
    EXPECT_EQ(static_cast<size_t>(two[0] | two[1] << 8 | two[2] << 16), two.size());
    EXPECT_TRUE(std::equal(one.begin() + 8, one.end(), two.begin() + 8));

    Image* back1 = frame_of(p2, 1);
    Image* back2 = frame_of(p2, 2);
    ASSERT_TRUE(back1 && back2);
    EXPECT_TRUE(same_pixels(back1, f1));
    EXPECT_TRUE(same_pixels(back2, f2));
    // The ring frame leads back to frame 1: a header that counts it shows it.
    two[6] = 3;
    Image* ring = frame_of(write("ring.flc", two), 3);
    ASSERT_NE(ring, nullptr);
    EXPECT_TRUE(same_pixels(ring, f1));

    // Appending another size is refused, and nothing is written.
    Image* small = pattern_image(32, 20, 1);
    std::string p3 = path("anim3.flc");
    EXPECT_EQ(WriteFlicFrame(small, p3.c_str(), 2, p2.c_str()), 1);
    EXPECT_NE(boxes().find("Cannot add a different sized image to an animation file."), std::string::npos);
}

TEST_F(Flic, SaveEntryAppendsAtTheFramePositionAndKeepsTheState)
{
    LogCapture log;
    settings().save_type = FMT_FLC;
    std::string p = path("seq.flc");
    std::vector<Image*> frames;
    for (int i = 0; i < 6; ++i) {
        frames.push_back(pattern_image(40, 30, i));
        formats_set_frame_position(i);
        ASSERT_EQ(save_image(frames.back(), p.c_str()), 0) << boxes();
    }
    // Each append took the state the previous save left: frames were never decoded.
    EXPECT_EQ(log.text().find("At FLC frame"), std::string::npos);
    for (int i = 0; i < 6; ++i) {
        Image* back = frame_of(p, i + 1);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(same_pixels(back, frames[static_cast<size_t>(i)])) << "frame " << i + 1;
    }
    // Read in order, each frame continues from the one before.
    std::string text = log.text();
    EXPECT_EQ(text.find("At FLC frame 1\n", text.find("At FLC frame 2\n")), std::string::npos);

    // The file changed by another program: decoded afresh.
    Image* first = frame_of(p, 1);
    ASSERT_NE(first, nullptr);
    Bytes bytes = read(p);
    bytes[128 + 16 + 10] ^= 0xFF;  // the red of palette entry 0
    write("seq.flc", bytes);
    struct timespec later[2] = {{time(nullptr) + 10, 0}, {time(nullptr) + 10, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), later, 0), 0);
    Image* changed = frame_of(p, 1);
    ASSERT_NE(changed, nullptr);
    EXPECT_FALSE(same_pixels(changed, first));

    // A failed append leaves the file as it was.
    Image* other = pattern_image(41, 30, 0);
    formats_set_frame_position(6);
    EXPECT_NE(save_image(other, p.c_str()), 0);
    EXPECT_EQ(read(p), bytes);
}

TEST_F(Flic, FfmpegReadsOurFramesExactly)
{
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    // Palettes per frame (chosen colours), an odd width, frames that repeat.
    std::string p = path("cross.flc");
    std::vector<Image*> frames;
    for (int i = 0; i < 5; ++i) {
        frames.push_back(pattern_image(45, 27, i % 3 == 2 ? 0 : i));
        formats_set_frame_position(i);
        settings().save_type = FMT_FLC;
        ASSERT_EQ(save_image(frames.back(), p.c_str()), 0) << boxes();
    }
    std::string cmd = "ffmpeg -v error -i '" + p + "' -f image2 '" + path("f%03d.png") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (int i = 0; i < 5; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.png", i + 1);
        Image* theirs = load_image(path(name).c_str());
        ASSERT_NE(theirs, nullptr);
        EXPECT_TRUE(same_pixels(theirs, frames[static_cast<size_t>(i)])) << "frame " << i + 1;
    }
    // ffmpeg shows the ring frame last: frame 1 again.
    Image* ring = load_image(path("f006.png").c_str());
    ASSERT_NE(ring, nullptr);
    EXPECT_TRUE(same_pixels(ring, frames[0]));
}
