#include "core/settings.h"
#include "format_fixture.h"
#include "formats/gif.h"
#include "render/reduce.h"

#include <gif_lib.h>

#include <cstring>

namespace {

// GIF files put together block by block with giflib's writer.
struct GifBuild {
    std::vector<uint8_t> bytes;
    GifFileType* gif = nullptr;
    static int out(GifFileType* g, const GifByteType* data, int len)
    {
        auto* b = static_cast<std::vector<uint8_t>*>(g->UserData);
        b->insert(b->end(), data, data + len);
        return len;
    }
    // `palette` holds red, green, blue triples; none gives no global table.
    GifBuild(int w, int h, const std::vector<uint8_t>& palette, int background = 0, int aspect = 0)
    {
        int error = 0;
        gif = EGifOpen(&bytes, out, &error);
        EGifSetGifVersion(gif, true);
        gif->AspectByte = static_cast<GifByteType>(aspect);
        ColorMapObject* map = palette.empty() ? nullptr : make_map(palette);
        EGifPutScreenDesc(gif, w, h, 8, background, map);
        if (map)
            GifFreeMapObject(map);
    }
    static ColorMapObject* make_map(const std::vector<uint8_t>& palette)
    {
        int n = static_cast<int>(palette.size() / 3), size = 2;
        while (size < n)
            size *= 2;
        ColorMapObject* map = GifMakeMapObject(size, nullptr);
        for (int i = 0; i < n; ++i)
            map->Colors[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
        return map;
    }
    void control(int disposal, int delay, int t)
    {
        GifByteType b[4] = {static_cast<GifByteType>(disposal << 2 | (t >= 0)), static_cast<GifByteType>(delay), 0,
                            static_cast<GifByteType>(t >= 0 ? t : 0)};
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, b);
    }
    // Rows in file order (for an interlaced image, in pass order).
    void image(int left, int top, int w, int h, std::vector<uint8_t> indices, bool interlace = false,
               const std::vector<uint8_t>& local = {})
    {
        ColorMapObject* map = local.empty() ? nullptr : make_map(local);
        EGifPutImageDesc(gif, left, top, w, h, interlace, map);
        if (map)
            GifFreeMapObject(map);
        for (int y = 0; y < h; ++y)
            EGifPutLine(gif, indices.data() + y * w, w);
    }
    Bytes done()
    {
        int error = 0;
        EGifCloseFile(gif, &error);
        return bytes;
    }
};

const std::vector<uint8_t> kFour = {255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255};  // white, red, green, blue

void expect_rgba(Image* image, int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    image_lock(image);
    const uint8_t* p = image->pixel(x, y);
    EXPECT_EQ(p[0], r) << x << "," << y;
    EXPECT_EQ(p[1], g) << x << "," << y;
    EXPECT_EQ(p[2], b) << x << "," << y;
    EXPECT_EQ(p[3], a) << x << "," << y;
    image_unlock(image);
}

// A frame for the animation tests: a square of `colour` at (x, y) on a
// grey ramp; with `hole`, a transparent band.
Image* scene(int x0, int y0, uint8_t colour, bool hole = false)
{
    Image* image = image_new(48, 32, "test");
    image_lock(image);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            uint8_t* p = image->pixel(x, y);
            bool in = x >= x0 && x < x0 + 8 && y >= y0 && y < y0 + 8;
            // At most 98 colours: the reduction keeps them exactly.
            p[0] = in ? colour : static_cast<uint8_t>(x / 4 * 20);
            p[1] = in ? 0 : static_cast<uint8_t>(x / 4 * 20);
            p[2] = in ? 255 - colour : static_cast<uint8_t>(y / 4 * 30);
            p[3] = hole && y >= 10 && y < 14 ? 0 : 255;
        }
    image->alpha = hole ? 1 : 0;
    image_unlock(image);
    return image;
}

// Pixels equal, transparent ones only in being transparent.
bool same_frame(Image* ours, Image* source)
{
    image_lock(ours);
    image_lock(source);
    bool same = ours->width == source->width && ours->height == source->height;
    for (int y = 0; y < source->height && same; ++y)
        for (uint32_t x = 0; x < source->width && same; ++x) {
            const uint8_t* a = ours->pixel(static_cast<int>(x), y);
            const uint8_t* b = source->pixel(static_cast<int>(x), y);
            same = b[3] < 128 ? a[3] == 0 : std::memcmp(a, b, 3) == 0 && a[3] == 255;
        }
    image_unlock(ours);
    image_unlock(source);
    return same;
}

class Gif : public FormatTest {
protected:
    void TearDown() override
    {
        gif_animation_abandon();
        formats_set_read_frame(0);
        render_reset();
        FormatTest::TearDown();
    }
    Image* frame_of(const std::string& p, long frame)
    {
        formats_set_read_frame(frame);
        return load_image(p.c_str());
    }
    // The animation's frames as written: each through the writer's interface.
    std::string animate(const std::string& name, const std::vector<Image*>& frames, const GifAnimationOptions& o)
    {
        std::string p = path(name);
        EXPECT_EQ(gif_animation_open(p.c_str(), 48, 32, o), 0);
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(WriteGifFrame(frames[i], static_cast<long>(i), 10 * static_cast<int>(i + 1)), 0);
        EXPECT_EQ(CloseGifAnimation(), 0) << boxes();
        return p;
    }
};

// giflib's own reading of a file: the structure the writer made.
struct Slurp {
    GifFileType* gif = nullptr;
    explicit Slurp(const std::string& p)
    {
        int error = 0;
        gif = DGifOpenFileName(p.c_str(), &error);
        if (gif && DGifSlurp(gif) != GIF_OK) {
            DGifCloseFile(gif, &error);
            gif = nullptr;
        }
    }
    ~Slurp()
    {
        int error = 0;
        if (gif)
            DGifCloseFile(gif, &error);
    }
    GraphicsControlBlock control(int i) const
    {
        GraphicsControlBlock g{};
        DGifSavedExtensionToGCB(gif, i, &g);
        return g;
    }
    bool has_loop(int* count) const
    {
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& s = gif->SavedImages[i];
            for (int k = 0; k + 1 < s.ExtensionBlockCount; ++k)
                if (s.ExtensionBlocks[k].Function == APPLICATION_EXT_FUNC_CODE &&
                    std::memcmp(s.ExtensionBlocks[k].Bytes, "NETSCAPE2.0", 11) == 0) {
                    const GifByteType* sub = s.ExtensionBlocks[k + 1].Bytes;
                    *count = sub[1] | sub[2] << 8;
                    return true;
                }
        }
        return false;
    }
};

} // namespace

TEST_F(Gif, ScreenLargerThanTheImageShowsTheBackground)
{
    GifBuild g(4, 3, {10, 20, 30, 255, 0, 0, 0, 255, 0}, 0);
    g.image(1, 1, 2, 1, {1, 2});
    Image* image = load_image(write("small.gif", g.done()).c_str());
    ASSERT_NE(image, nullptr) << boxes();
    EXPECT_EQ(image->width, 4u);
    EXPECT_EQ(image->height, 3);
    EXPECT_EQ(image->bits, 2);
    EXPECT_EQ(image->alpha, 0);
    EXPECT_EQ(image->frame_count, 1);
    expect_rgba(image, 0, 0, 10, 20, 30, 255);
    expect_rgba(image, 1, 1, 255, 0, 0, 255);
    expect_rgba(image, 2, 1, 0, 255, 0, 255);
    expect_rgba(image, 3, 2, 10, 20, 30, 255);
}

TEST_F(Gif, NonZeroAspectGivesTheEmptyImage)
{
    GifBuild g(2, 2, kFour, 0, 49);
    g.image(0, 0, 2, 2, {1, 1, 1, 1});
    Image* image = load_image(write("aspect.gif", g.done()).c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_NE(boxes().find("Invalid GIF format"), std::string::npos);
    expect_rgba(image, 1, 1, 0, 0, 0, 255);
}

TEST_F(Gif, FramesWithDisposalAndTransparency)
{
    GifBuild g(3, 1, kFour, 0);
    g.control(1, 10, 3);
    g.image(0, 0, 3, 1, {1, 3, 2});
    g.control(2, 10, -1);
    g.image(0, 0, 1, 1, {2});
    g.control(3, 10, 0);
    g.image(1, 0, 2, 1, {0, 1});
    g.control(0, 10, -1);
    g.image(2, 0, 1, 1, {3});
    std::string p = write("anim.gif", g.done());

    // Only the first image unless another frame is asked for; its
    // transparent pixel keeps its colour with alpha 0.
    Image* one = load_image(p.c_str());
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->alpha, 1);
    EXPECT_EQ(one->frame_number, 1);
    EXPECT_EQ(one->frame_count, 4);
    expect_rgba(one, 0, 0, 255, 0, 0, 255);
    expect_rgba(one, 1, 0, 0, 0, 255, 0);
    expect_rgba(one, 2, 0, 0, 255, 0, 255);

    Image* two = frame_of(p, 2);
    ASSERT_NE(two, nullptr);
    expect_rgba(two, 0, 0, 0, 255, 0, 255);
    expect_rgba(two, 1, 0, 0, 0, 255, 0);
    // Frame 2 goes to the background (it has no transparent index: opaque);
    // frame 3's transparent pixel leaves what is there.
    Image* three = frame_of(p, 3);
    ASSERT_NE(three, nullptr);
    expect_rgba(three, 0, 0, 255, 255, 255, 255);
    expect_rgba(three, 1, 0, 0, 0, 255, 0);
    expect_rgba(three, 2, 0, 255, 0, 0, 255);
    // Frame 3 restores what was before it.
    Image* four = frame_of(p, 9);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->frame_number, 4);
    expect_rgba(four, 1, 0, 0, 0, 255, 0);
    expect_rgba(four, 2, 0, 0, 0, 255, 255);
}

TEST_F(Gif, InterlacedRowsAndFramesOutsideTheScreen)
{
    // Rows 0..9 hold their own number; the file stores them pass by pass.
    std::vector<uint8_t> palette;
    for (int i = 0; i < 16; ++i)
        palette.insert(palette.end(), {static_cast<uint8_t>(i * 10), 0, 0});
    std::vector<uint8_t> rows = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    GifBuild g(1, 10, palette, 0);
    g.image(0, 0, 1, 10, rows, true);
    g.image(3, 0, 2, 1, {5, 5});  // wholly outside the 1-pixel screen: clipped
    std::string p = write("interlaced.gif", g.done());
    Image* image = load_image(p.c_str());
    ASSERT_NE(image, nullptr);
    for (int y = 0; y < 10; ++y)
        expect_rgba(image, 0, y, static_cast<uint8_t>(y * 10), 0, 0, 255);
    Image* clipped = frame_of(p, 2);
    ASSERT_NE(clipped, nullptr);
    EXPECT_EQ(clipped->width, 1u);
    expect_rgba(clipped, 0, 3, 30, 0, 0, 255);
}

TEST_F(Gif, DamagedDataKeepsWhatWasDecoded)
{
    auto file = [&](const Bytes& data, int w) {
        Bytes b = {'G', 'I', 'F', '8', '9', 'a', static_cast<uint8_t>(w), 0, 1, 0, 0x81, 0, 0};
        b.insert(b.end(), kFour.begin(), kFour.end());
        Bytes desc = {0x2C, 0, 0, 0, 0, static_cast<uint8_t>(w), 0, 1, 0, 0, 2};
        b.insert(b.end(), desc.begin(), desc.end());
        b.insert(b.end(), data.begin(), data.end());
        return b;
    };
    // Clear, pixel 1, and the sub-blocks end: "Premature end of data".
    Image* cut = load_image(write("cut.gif", file({1, 0x0C, 0, 0x3B}, 4)).c_str());
    ASSERT_NE(cut, nullptr);
    EXPECT_NE(boxes().find("Premature end of data in GIF, Part 3"), std::string::npos);
    expect_rgba(cut, 0, 0, 255, 0, 0, 255);
    expect_rgba(cut, 1, 0, 255, 255, 255, 255);
    // The file ends inside the data: "Premature EOF".
    Image* eof = load_image(write("eof.gif", file({2, 0x0C, 0}, 8)).c_str());
    ASSERT_NE(eof, nullptr);
    EXPECT_NE(boxes().find("Premature EOF in GIF, Part 3"), std::string::npos);
    expect_rgba(eof, 0, 0, 255, 0, 0, 255);
    // A code past the table: the previous string and its first character.
    Image* past = load_image(write("past.gif", file({2, 0xCC, 0x0B, 0, 0x3B}, 3)).c_str());
    ASSERT_NE(past, nullptr);
    for (int x = 0; x < 3; ++x)
        expect_rgba(past, x, 0, 255, 0, 0, 255);
    // A code size no table can hold: refused.
    Bytes bad = file({1, 0x0C, 0, 0x3B}, 4);
    bad[13 + 12 + 10] = 12;
    EXPECT_EQ(load_image(write("size.gif", bad).c_str()), nullptr);
    EXPECT_NE(boxes().find("Invalid LZW code size in GIF"), std::string::npos);
    // A screen of no pixels; a header cut short.
    Bytes zero = file({1, 0x0C, 0, 0x3B}, 4);
    zero[6] = 0;
    EXPECT_EQ(load_image(write("zero.gif", zero).c_str()), nullptr);
    EXPECT_EQ(load_image(write("short.gif", Bytes(zero.begin(), zero.begin() + 8)).c_str()), nullptr);
}

TEST_F(Gif, NoColourTableReadsGreys)
{
    // giflib writes no image without a table: these bytes are made by hand.
    Bytes raw = {'G', 'I', 'F', '8', '9', 'a', 3, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 3, 0, 1, 0, 0, 8};
    // Clear 256, 0, 128, 255, end 257 in 9-bit codes.
    uint32_t codes[5] = {256, 0, 128, 255, 257};
    uint64_t bits = 0;
    for (int i = 0; i < 5; ++i)
        bits |= static_cast<uint64_t>(codes[i]) << (9 * i);
    raw.push_back(6);
    for (int i = 0; i < 6; ++i)
        raw.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    raw.insert(raw.end(), {0, 0x3B});
    Image* image = load_image(write("grey.gif", raw).c_str());
    ASSERT_NE(image, nullptr) << boxes();
    expect_rgba(image, 0, 0, 0, 0, 0, 255);
    expect_rgba(image, 1, 0, 128, 128, 128, 255);
    expect_rgba(image, 2, 0, 255, 255, 255, 255);
}

TEST_F(Gif, SingleImageLayoutAndTransparency)
{
    Image* image = scene(3, 4, 200);
    std::string p = path("single.gif");
    ASSERT_EQ(WriteGif(image, p.c_str()), 0) << boxes();
    Bytes b = read(p);
    ASSERT_GT(b.size(), 13u + 768 + 8 + 10);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
    EXPECT_EQ(b[6], 48);
    EXPECT_EQ(b[8], 32);
    EXPECT_EQ(b[10], 0xF7);
    EXPECT_EQ(b[11], 0);
    EXPECT_EQ(b[12], 0);
    const Bytes control = {0x21, 0xF9, 4, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(control.begin(), control.end(), b.begin() + 13 + 768));
    const Bytes desc = {0x2C, 0, 0, 0, 0, 48, 0, 32, 0, 0, 8};
    EXPECT_TRUE(std::equal(desc.begin(), desc.end(), b.begin() + 13 + 768 + 8));
    EXPECT_EQ(b.back(), 0x3B);
    Image* back = load_image(p.c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(same_frame(back, image));

    // With alpha: the transparency flag and a reserved index.
    Image* holed = scene(3, 4, 200, true);
    ASSERT_EQ(WriteGif(holed, p.c_str()), 0);
    b = read(p);
    EXPECT_EQ(b[13 + 768 + 3], 1);
    back = load_image(p.c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->alpha, 1);
    EXPECT_TRUE(same_frame(back, holed));
}

TEST_F(Gif, AnimationsKeepFramesDelaysAndLoop)
{
    // A moving square, a repeat, frames with a transparent band that then
    // closes again (a frame must be cleared for it).
    std::vector<Image*> frames = {scene(2, 2, 200),        scene(6, 3, 200),   scene(6, 3, 200),
                                  scene(10, 12, 90),       scene(10, 12, 90, true), scene(30, 20, 90),
                                  scene(30, 20, 90, true)};
    GifAnimationOptions o;
    o.loop_count = 3;
    std::string p = animate("anim.gif", frames, o);
    for (size_t i = 0; i < frames.size(); ++i) {
        Image* back = frame_of(p, static_cast<long>(i) + 1);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(same_frame(back, frames[i])) << "frame " << i + 1;
    }
    Slurp s(p);
    ASSERT_NE(s.gif, nullptr);
    ASSERT_EQ(s.gif->ImageCount, 7);
    int count = -1;
    EXPECT_TRUE(s.has_loop(&count));
    EXPECT_EQ(count, 3);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(s.control(i).DelayTime, 10 * (i + 1));
    // Only what changed: frame 2 covers the old and the new square, the repeat one pixel.
    const GifImageDesc& two = s.gif->SavedImages[1].ImageDesc;
    EXPECT_EQ(two.Left, 2);
    EXPECT_EQ(two.Width, 12);
    EXPECT_EQ(two.Height, 9);
    EXPECT_EQ(s.gif->SavedImages[2].ImageDesc.Width * s.gif->SavedImages[2].ImageDesc.Height, 1);
    // Frames 5 and 7 are transparent where the frames before them were
    // opaque: those clear their rectangles when they go.
    EXPECT_EQ(s.control(3).DisposalMode, 2);
    EXPECT_EQ(s.control(4).DisposalMode, 1);
    EXPECT_EQ(s.control(5).DisposalMode, 2);

    // The loop switch off: no loop extension.
    o.loop = false;
    Slurp off(animate("once.gif", frames, o));
    ASSERT_NE(off.gif, nullptr);
    EXPECT_FALSE(off.has_loop(&count));
}

TEST_F(Gif, OneGlobalTableWhileFramesShareIt)
{
    std::vector<Image*> frames = {scene(2, 2, 200), scene(6, 3, 100), scene(20, 3, 50)};
    render_state().palette_mode = PALETTE_FIXED;
    Slurp fixed(animate("fixed.gif", frames, GifAnimationOptions{}));
    ASSERT_NE(fixed.gif, nullptr);
    for (int i = 0; i < fixed.gif->ImageCount; ++i)
        EXPECT_EQ(fixed.gif->SavedImages[i].ImageDesc.ColorMap, nullptr) << "frame " << i + 1;
    // Colours chosen per frame differ: the later frames carry their own.
    render_state().palette_mode = PALETTE_CHOSEN;
    Slurp chosen(animate("chosen.gif", frames, GifAnimationOptions{}));
    ASSERT_NE(chosen.gif, nullptr);
    EXPECT_EQ(chosen.gif->SavedImages[0].ImageDesc.ColorMap, nullptr);
    EXPECT_NE(chosen.gif->SavedImages[1].ImageDesc.ColorMap, nullptr);
    // Another size is refused.
    Image* other = image_new(10, 10, "test");
    ASSERT_EQ(gif_animation_open(path("x.gif").c_str(), 48, 32, GifAnimationOptions{}), 0);
    EXPECT_EQ(WriteGifFrame(other, 0), 1);
    EXPECT_NE(boxes().find("Cannot add a different sized image"), std::string::npos);
}

TEST_F(Gif, OtherProgramsReadOurAnimations)
{
    if (std::system("command -v gifsicle >/dev/null && command -v convert >/dev/null && "
                    "/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0)
        GTEST_SKIP() << "gifsicle, ImageMagick or Pillow is missing";
    std::vector<Image*> frames = {scene(2, 2, 200), scene(6, 3, 200), scene(10, 12, 90, true), scene(30, 20, 90)};
    GifAnimationOptions o;
    o.loop_count = 2;
    std::string p = animate("cross.gif", frames, o);

    FILE* info = popen(("gifsicle --info '" + p + "' 2>&1").c_str(), "r");
    ASSERT_NE(info, nullptr);
    std::string text;
    char line[256];
    while (std::fgets(line, sizeof line, info))
        text += line;
    pclose(info);
    EXPECT_NE(text.find("4 images"), std::string::npos) << text;
    EXPECT_NE(text.find("loop count 2"), std::string::npos) << text;
    EXPECT_NE(text.find("delay 0.10s"), std::string::npos) << text;
    EXPECT_NE(text.find("delay 0.40s"), std::string::npos) << text;

    // Pillow's and ImageMagick's frames, as raw RGBA.
    std::string script = "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                         "for i in range(im.n_frames):\n    im.seek(i)\n"
                         "    open(sys.argv[2] % i, 'wb').write(im.convert('RGBA').tobytes())\n";
    std::ofstream(path("frames.py")) << script;
    ASSERT_EQ(std::system(("/usr/bin/python3 '" + path("frames.py") + "' '" + p + "' '" + path("pil%d.rgba") + "'")
                              .c_str()),
              0);
    ASSERT_EQ(std::system(("convert '" + p + "' -coalesce -depth 8 'rgba:" + path("im%d.rgba") + "'").c_str()), 0);
    for (size_t i = 0; i < frames.size(); ++i)
        for (const char* who : {"pil", "im"}) {
            Bytes theirs = read(path(std::string(who) + std::to_string(i) + ".rgba"));
            ASSERT_EQ(theirs.size(), 48u * 32 * 4) << who << " frame " << i + 1;
            Image* image = image_new(48, 32, "test");
            image_lock(image);
            std::memcpy(image->pixels, theirs.data(), theirs.size());
            image_unlock(image);
            EXPECT_TRUE(same_frame(image, frames[i])) << who << " frame " << i + 1;
        }
}
