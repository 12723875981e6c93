#include "render/reduce.h"

#include "../core/log_capture.h"
#include "core/image.h"
#include "core/mem.h"
#include "core/progress.h"
#include "core/settings.h"
#include "render/render_tables.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Fill = std::function<void(int x, int y, uint8_t* px)>;

Image* make_image(int w, int h, const Fill& fill)
{
    Image* im = image_new(w, h, "test");
    image_lock(im);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            fill(x, y, im->pixel(x, y));
    image_unlock(im);
    return im;
}

Image* flat(int w, int h, int r, int g, int b)
{
    return make_image(w, h, [=](int, int, uint8_t* p) {
        p[0] = static_cast<uint8_t>(r);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(b);
    });
}

struct Reduced {
    uint8_t red[256], green[256], blue[256];
    ReduceInfo info;
    uint8_t* data = nullptr;
    ~Reduced() { data = mem_free_t(data); }
    int at(int x, int y) const { return data[info.stride * y + x]; }
};

void reduce(Reduced& out, Image* im, int type, int mode, bool ordered, int strength, bool store = false)
{
    out.data = render_reduce(im, out.red, out.green, out.blue, type, mode, ordered, store, strength, &out.info);
}

// Mean squared error of an indexed result against the image.
double mse(Image* im, const Reduced& r)
{
    image_lock(im);
    double sum = 0;
    for (int y = 0; y < im->height; ++y)
        for (uint32_t x = 0; x < im->width; ++x) {
            const uint8_t* p = im->pixel(static_cast<int>(x), y);
            int i = r.at(static_cast<int>(x), y);
            double dr = p[0] - r.red[i], dg = p[1] - r.green[i], db = p[2] - r.blue[i];
            sum += dr * dr + dg * dg + db * db;
        }
    image_unlock(im);
    return sum / (3.0 * im->width * im->height);
}

class CaptionPlatform : public ui::HeadlessPlatform {
public:
    std::vector<std::string> captions;
    int cancel_after = -1;
    int pumps = 0;
    void progress_show(const ui::ProgressDisplay& d) override
    {
        if (*d.caption && (captions.empty() || captions.back() != d.caption))
            captions.emplace_back(d.caption);
    }
    void pump_messages() override
    {
        if (++pumps == cancel_after)
            progress_request_cancel();
    }
};

// Every reduction gives back all it took: nothing is left in the place table.
class Reduce : public ::testing::Test {
protected:
    void SetUp() override { render_reset(); }
    void TearDown() override { EXPECT_EQ(mem_counters().places_now, 0); }
};

} // namespace

TEST(RenderTables, CubeStepsGreyWeightsAndThe16ColourTable)
{
    using namespace render_tables;
    EXPECT_EQ(kCubeRed[24], 0);
    EXPECT_EQ(kCubeRed[25], 1);
    EXPECT_EQ(kCubeRed[236], 5);
    EXPECT_EQ(kCubeRed[237], 6);
    EXPECT_EQ(kCubeGreen[20], 0);
    EXPECT_EQ(kCubeGreen[239], 7);
    EXPECT_EQ(kCubeBlue[52], 0);
    EXPECT_EQ(kCubeBlue[138], 2);
    EXPECT_EQ(kCubeBlue[255], 3);

    EXPECT_EQ(render_grey(255, 255, 255), 255);
    EXPECT_EQ(render_grey(255, 0, 0), 85);
    EXPECT_EQ(render_grey(0, 0, 254), 64);  // each term floored on its own
    EXPECT_EQ(render_grey(0, 0, 0), 0);

    for (int r = 0; r <= 1; ++r)
        for (int g = 0; g <= 1; ++g)
            EXPECT_EQ(kTable512[static_cast<size_t>(r * 64 + g * 8)], 0);
    EXPECT_EQ(kTable512[7 * 64 + 7 * 8 + 7], 15);
    EXPECT_EQ(kTable512[7 * 64], 9);
}

TEST_F(Reduce, FixedPaletteOrderedMapsWhiteToTheLastGreyAndLevelsExactly)
{
    Image* white = flat(9, 7, 255, 255, 255);
    Reduced r;
    reduce(r, white, REDUCE_256, PALETTE_FIXED, true, 100);
    ASSERT_NE(r.data, nullptr);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(r.at(x, y), 244) << x << "," << y;
    EXPECT_EQ(r.info.colours, 256);
    EXPECT_EQ(r.info.bits, 8);
    EXPECT_EQ(r.red[100], 3 * 255 / 6);  // the system palette came back
    image_free(white);

    // Colours that sit on a cube level never move; a pixel whose channels
    // share their top six bits is a grey.
    Image* levels = make_image(8, 8, [](int x, int, uint8_t* p) {
        static const uint8_t c[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 73, 170}};
        p[0] = c[x % 4][0];
        p[1] = c[x % 4][1];
        p[2] = c[x % 4][2];
    });
    Reduced l;
    reduce(l, levels, REDUCE_256, PALETTE_FIXED, true, 100);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(l.at(0, y), 6 * 32);
        EXPECT_EQ(l.at(1, y), 7 * 4);
        EXPECT_EQ(l.at(2, y), 3);
        EXPECT_EQ(l.at(3, y), 3 * 32 + 2 * 4 + 2);
    }
    image_free(levels);

    Image* grey = flat(4, 4, 128, 129, 130);
    Reduced g;
    reduce(g, grey, REDUCE_256, PALETTE_FIXED, true, 100);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_GE(g.at(x, y), 224);
    image_free(grey);
}

TEST_F(Reduce, FixedPaletteDiffusionKeepsTheMeanAndMapsGreysToTheGreyRamp)
{
    // A flat orange between cube levels dithers to a mix whose mean is the orange.
    Image* im = flat(64, 64, 200, 120, 40);
    Reduced r;
    reduce(r, im, REDUCE_256, PALETTE_FIXED, false, 100);
    ASSERT_NE(r.data, nullptr);
    double mean[3] = {0, 0, 0};
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            int i = r.at(x, y);
            mean[0] += r.red[i];
            mean[1] += r.green[i];
            mean[2] += r.blue[i];
        }
    EXPECT_NEAR(mean[0] / 4096, 200, 3);
    EXPECT_NEAR(mean[1] / 4096, 120, 3);
    EXPECT_NEAR(mean[2] / 4096, 40, 3);
    image_free(im);

    // Channels sharing their top three bits go to the grey ramp; very dark
    // ones to entry 0.
    Image* greys = make_image(2, 1, [](int x, int, uint8_t* p) { p[0] = p[1] = p[2] = x ? 130 : 10; });
    Reduced g;
    reduce(g, greys, REDUCE_256, PALETTE_FIXED, false, 0);
    EXPECT_EQ(g.at(0, 0), 0);
    EXPECT_EQ(g.at(1, 0), 224 + 390 * 21 / 767);
    image_free(greys);
}

TEST_F(Reduce, BlackAndWhiteCarriesTheErrorSerpentine)
{
    // Grey 128 (the weights floor each term, so that is pixel 129): white
    // first, then the error of -127 makes black.
    ASSERT_EQ(render_grey(129, 129, 129), 128);
    Image* im = flat(6, 3, 129, 129, 129);
    Reduced r;
    reduce(r, im, REDUCE_BW, PALETTE_FIXED, false, 100);
    ASSERT_NE(r.data, nullptr);
    EXPECT_EQ(r.info.colours, 2);
    EXPECT_EQ(r.info.bits, 1);
    EXPECT_EQ(r.red[0], 0);
    EXPECT_EQ(r.red[1], 255);
    // 128 -> 1 (e -127), 128-63=65 -> 0 (e 65), 128+32=160 -> 1 (e -95), 128-47=81 -> 0 (e 81),
    // 128+40=168 -> 1 (e -87), 128-43=85 -> 0 (e 85)
    const int row0[6] = {1, 0, 1, 0, 1, 0};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(r.at(x, 0), row0[x]) << x;
    // Row 1 starts at the right: (0 + 85) / 2 = 42 -> 170 -> white.
    EXPECT_EQ(r.at(5, 1), 1);

    Reduced none;
    reduce(none, im, REDUCE_BW, PALETTE_FIXED, false, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(none.at(x, y), 1);

    // Half strength: 128 + (-63 * 50 / 100) = 97 -> black.
    Reduced half;
    reduce(half, im, REDUCE_BW, PALETTE_FIXED, false, 50);
    EXPECT_EQ(half.at(0, 0), 1);
    EXPECT_EQ(half.at(1, 0), 0);
    image_free(im);
}

TEST_F(Reduce, OneColumnTakesEveryRowFromTheSinglePixel)
{
    Image* im = flat(1, 5, 129, 129, 129);  // grey 128
    Reduced r;
    reduce(r, im, REDUCE_BW, PALETTE_FIXED, false, 100);
    ASSERT_NE(r.data, nullptr);
    // Only the column error carries: 128 -> 1 (-127), 65 -> 0 (65), 160 -> 1 (-95), 81 -> 0, 168 -> 1.
    const int col[5] = {1, 0, 1, 0, 1};
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(r.at(0, y), col[y]) << y;

    for (int type : {REDUCE_256, REDUCE_16, REDUCE_16_GREYS, REDUCE_24})
        for (int mode : {PALETTE_FIXED, PALETTE_CHOSEN})
            for (bool ordered : {false, true}) {
                Reduced any;
                reduce(any, im, type, mode, ordered, 100);
                EXPECT_NE(any.data, nullptr) << type << " " << mode << " " << ordered;
            }
    image_free(im);
}

TEST_F(Reduce, SixteenGreysAndSixteenColours)
{
    Image* im = make_image(16, 2, [](int x, int, uint8_t* p) { p[0] = p[1] = p[2] = static_cast<uint8_t>(17 * x); });
    Reduced g;
    reduce(g, im, REDUCE_16_GREYS, PALETTE_FIXED, false, 100);
    ASSERT_NE(g.data, nullptr);
    EXPECT_EQ(g.info.bits, 4);
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(g.at(x, 0), x);
        EXPECT_EQ(g.blue[x], 17 * x);
    }
    // The grey palette mode turns 16 colours into 16 greys.
    Reduced m;
    reduce(m, im, REDUCE_16, PALETTE_GREYS, false, 100);
    EXPECT_EQ(m.info.kind, REDUCE_16_GREYS);
    image_free(im);

    // Every colour of the fixed 16-colour palette maps to itself.
    uint8_t r16[16], g16[16], b16[16];
    render_fixed16_palette(r16, g16, b16);
    Image* pal = make_image(16, 1, [&](int x, int, uint8_t* p) {
        p[0] = r16[x];
        p[1] = g16[x];
        p[2] = b16[x];
    });
    Reduced c;
    reduce(c, pal, REDUCE_16, PALETTE_FIXED, true, 100);  // ordered is ignored: 16 colours diffuse
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(c.at(x, 0), x);
    EXPECT_EQ(c.info.colours, 16);
    image_free(pal);
}

TEST_F(Reduce, DirectConversionsAndTheirRows)
{
    Image* im = make_image(3, 2, [](int x, int y, uint8_t* p) {
        p[0] = static_cast<uint8_t>(10 + x);
        p[1] = static_cast<uint8_t>(20 + y);
        p[2] = 30;
        p[3] = static_cast<uint8_t>(40 + x + y);
    });
    Reduced bgr;
    reduce(bgr, im, REDUCE_24, PALETTE_CHOSEN, false, 100);
    ASSERT_NE(bgr.data, nullptr);
    EXPECT_EQ(bgr.info.stride, 12);  // 9 bytes padded to 12
    EXPECT_EQ(bgr.info.colours, 0);
    EXPECT_EQ(bgr.data[12 + 3], 30);  // row 1, pixel 1: blue first
    EXPECT_EQ(bgr.data[12 + 4], 21);
    EXPECT_EQ(bgr.data[12 + 5], 11);
    EXPECT_EQ(bgr.data[9], 0);  // padding

    Reduced rgb;
    reduce(rgb, im, REDUCE_24_RGB, PALETTE_FIXED, false, 100);
    EXPECT_EQ(rgb.info.stride, 9);
    EXPECT_EQ(rgb.data[9 + 3], 11);

    Reduced bgra;
    reduce(bgra, im, REDUCE_32, PALETTE_FIXED, false, 100);
    EXPECT_EQ(bgra.info.bits, 32);
    EXPECT_EQ(bgra.data[12 + 4 + 3], 42);

    Reduced alpha;
    reduce(alpha, im, REDUCE_ALPHA, PALETTE_FIXED, false, 100);
    EXPECT_EQ(alpha.at(2, 1), 43);

    Reduced grey;
    reduce(grey, im, REDUCE_256_GREYS, PALETTE_FIXED, true, 100);
    EXPECT_EQ(grey.at(1, 1), render_grey(11, 21, 30));
    EXPECT_EQ(grey.green[200], 200);
    Reduced grey_mode;
    reduce(grey_mode, im, REDUCE_256, PALETTE_GREYS, false, 100);
    EXPECT_EQ(grey_mode.info.kind, REDUCE_256_GREYS);
    EXPECT_EQ(grey_mode.at(1, 1), render_grey(11, 21, 30));

    EXPECT_EQ(render_reduce(im, nullptr, nullptr, nullptr, 9, 0, false, false, 100, nullptr), nullptr);
    EXPECT_EQ(render_reduce(nullptr, nullptr, nullptr, nullptr, 1, 0, false, false, 100, nullptr), nullptr);
    image_free(im);
}

TEST_F(Reduce, SuppliedAndCurrentPalettes)
{
    const uint8_t colours[5][3] = {{0, 0, 0}, {250, 10, 10}, {10, 250, 10}, {10, 10, 250}, {200, 200, 200}};
    Image* im = make_image(10, 10, [&](int x, int y, uint8_t* p) {
        const uint8_t* c = colours[(x + y) % 5];
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
    });
    // Supplied: the arrays give the palette; colours on it map exactly.
    Reduced s;
    for (int i = 0; i < 256; ++i)
        s.red[i] = s.green[i] = s.blue[i] = 128;
    for (int i = 0; i < 5; ++i) {
        s.red[10 + i] = colours[i][0];
        s.green[10 + i] = colours[i][1];
        s.blue[10 + i] = colours[i][2];
    }
    for (bool ordered : {false, true}) {
        s.data = mem_free_t(s.data);
        reduce(s, im, REDUCE_256, PALETTE_SUPPLIED, ordered, 100);
        ASSERT_NE(s.data, nullptr);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(s.at(x, y), 10 + (x + y) % 5) << ordered;
    }

    // The current palette of five colours lowers 256 to 5 and is copied first.
    uint8_t cr[5], cg[5], cb[5];
    for (int i = 0; i < 5; ++i) {
        cr[i] = colours[i][0];
        cg[i] = colours[i][1];
        cb[i] = colours[i][2];
    }
    render_set_current_palette(cr, cg, cb, 5);
    Reduced c;
    reduce(c, im, REDUCE_256, PALETTE_CURRENT, false, 100);
    ASSERT_NE(c.data, nullptr);
    EXPECT_EQ(c.info.colours, 5);
    EXPECT_EQ(c.at(3, 0), 3);
    EXPECT_EQ(c.red[1], 250);

    // Store palette: the greys used become current.
    Reduced g;
    reduce(g, im, REDUCE_16_GREYS, PALETTE_FIXED, false, 100, true);
    EXPECT_EQ(render_state().colours, 16);
    EXPECT_EQ(render_state().red[15], 255);
    render_reset();
    EXPECT_EQ(render_state().colours, 256);
    image_free(im);
}

TEST_F(Reduce, OrderedDitherToOtherPalettesMixesNeighbours)
{
    // A palette of greys 0, 64, 128, 192, 255: a flat 96 sits half way
    // between two entries and must come out as a mix of both.
    const int level[5] = {0, 64, 128, 192, 255};
    Reduced r;
    for (int i = 0; i < 5; ++i)
        r.red[i] = r.green[i] = r.blue[i] = static_cast<uint8_t>(level[i]);
    for (int i = 5; i < 256; ++i)
        r.red[i] = r.green[i] = r.blue[i] = 255;
    Image* im = flat(16, 16, 96, 96, 96);
    reduce(r, im, REDUCE_256, PALETTE_SUPPLIED, true, 100);
    ASSERT_NE(r.data, nullptr);
    double mean = 0;
    int seen[256] = {};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            seen[r.at(x, y)]++;
            mean += r.red[r.at(x, y)];
        }
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
    EXPECT_EQ(seen[1] + seen[2], 256);
    EXPECT_NEAR(mean / 256, 96, 12);

    // At strength 0 nothing moves from the nearest entry.
    Reduced flat0;
    std::copy(r.red, r.red + 256, flat0.red);
    std::copy(r.green, r.green + 256, flat0.green);
    std::copy(r.blue, r.blue + 256, flat0.blue);
    reduce(flat0, im, REDUCE_256, PALETTE_SUPPLIED, true, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(flat0.at(x, y), 1);
    image_free(im);
}

TEST_F(Reduce, ChosenPaletteKeepsFewColoursExactlyAndFitsManyWell)
{
    // 200 distinct colours: every one kept, the result lossless, even diffused.
    Image* few = make_image(40, 25, [](int x, int y, uint8_t* p) {
        int i = (x + 40 * y) % 200;
        p[0] = static_cast<uint8_t>(i * 37 % 256);
        p[1] = static_cast<uint8_t>(i * 91 % 256);
        p[2] = static_cast<uint8_t>(i);
    });
    Reduced f;
    reduce(f, few, REDUCE_256, PALETTE_CHOSEN, false, 100);
    ASSERT_NE(f.data, nullptr);
    EXPECT_EQ(f.info.colours, 200);
    EXPECT_EQ(mse(few, f), 0.0);
    image_free(few);

    // One colour: a palette of one entry, every pixel on it, dithered or not.
    Image* one = flat(7, 3, 12, 200, 99);
    for (bool ordered : {false, true}) {
        Reduced o;
        reduce(o, one, REDUCE_256, PALETTE_CHOSEN, ordered, 100);
        ASSERT_NE(o.data, nullptr);
        EXPECT_EQ(o.info.colours, 1);
        EXPECT_EQ(mse(one, o), 0.0);
    }
    image_free(one);

    // A smooth two-way gradient: many colours, 256 entries, no dithering.
    Image* grad = make_image(256, 256, [](int x, int y, uint8_t* p) {
        p[0] = static_cast<uint8_t>(x);
        p[1] = static_cast<uint8_t>(y);
        p[2] = static_cast<uint8_t>((x + y) / 2);
    });
    Reduced g;
    reduce(g, grad, REDUCE_256, PALETTE_CHOSEN, false, 0);
    ASSERT_NE(g.data, nullptr);
    EXPECT_EQ(g.info.colours, 256);
    double psnr = 10 * std::log10(255.0 * 255.0 / mse(grad, g));
    EXPECT_GT(psnr, 35.0);  // cells of 16 x 16 levels: about 35.6 at best
    // 16 colours of the same picture still follow it.
    Reduced g16;
    reduce(g16, grad, REDUCE_16, PALETTE_CHOSEN, false, 0);
    EXPECT_EQ(g16.info.colours, 16);
    EXPECT_GT(10 * std::log10(255.0 * 255.0 / mse(grad, g16)), 23.0);
    image_free(grad);

    // More colours than are counted exactly (589,824): the palette comes from
    // the cells' mean colours and still follows the picture.
    Image* many = make_image(768, 768, [](int x, int y, uint8_t* p) {
        p[0] = static_cast<uint8_t>(x);
        p[1] = static_cast<uint8_t>(y);
        p[2] = static_cast<uint8_t>((x >> 8) * 3 + (y >> 8));
    });
    Reduced m;
    reduce(m, many, REDUCE_256, PALETTE_CHOSEN, false, 0);
    ASSERT_NE(m.data, nullptr);
    EXPECT_EQ(m.info.colours, 256);
    EXPECT_GT(10 * std::log10(255.0 * 255.0 / mse(many, m)), 33.0);
    image_free(many);
}

TEST(PaletteLookup, AgreesWithAFullSearchIncludingTies)
{
    std::mt19937 rng(7);
    for (int colours : {2, 16, 256}) {
        uint8_t r[256], g[256], b[256];
        for (int i = 0; i < colours; ++i) {
            r[i] = static_cast<uint8_t>(rng() & 0xff);
            g[i] = static_cast<uint8_t>(rng() & 0xf0);  // coarse values make ties likely
            b[i] = static_cast<uint8_t>(rng() & 0xe0);
        }
        r[colours - 1] = r[0];  // a duplicate entry: the lower index wins
        g[colours - 1] = g[0];
        b[colours - 1] = b[0];
        PaletteLookup lookup;
        ASSERT_TRUE(lookup.build(r, g, b, colours));
        for (int n = 0; n < 20000; ++n) {
            int cr = static_cast<int>(rng() & 0xff), cg = static_cast<int>(rng() & 0xff),
                cb = static_cast<int>(rng() & 0xff);
            int best = 0;
            long best_d = 1L << 30;
            for (int i = 0; i < colours; ++i) {
                long d = (cr - r[i]) * (cr - r[i]) + (cg - g[i]) * (cg - g[i]) + (cb - b[i]) * (cb - b[i]);
                if (d < best_d) {
                    best_d = d;
                    best = i;
                }
            }
            ASSERT_EQ(lookup.nearest(cr, cg, cb), best) << colours << ": " << cr << "," << cg << "," << cb;
            ASSERT_EQ(lookup.nearest(cr, cg, cb), best);  // the cached answer too
        }
    }
}

TEST_F(Reduce, LogsProgressCaptionsAndCancel)
{
    CaptionPlatform platform;
    ui::platform_install(&platform);
    LogCapture log;
    Image* im = make_image(64, 64, [](int x, int y, uint8_t* p) {
        p[0] = static_cast<uint8_t>(x * 4);
        p[1] = static_cast<uint8_t>(y * 4);
        p[2] = 77;
    });
    {
        Reduced a, b, c, d, e;
        reduce(a, im, REDUCE_256, PALETTE_FIXED, true, 100);
        reduce(b, im, REDUCE_BW, PALETTE_FIXED, false, 100);
        reduce(c, im, REDUCE_256_GREYS, PALETTE_FIXED, false, 100);
        reduce(d, im, REDUCE_24, PALETTE_FIXED, false, 100);
        reduce(e, im, REDUCE_256, PALETTE_CHOSEN, true, 100);
    }
    std::string text = log.text();
    EXPECT_NE(text.find("Rendering 256 colors to 8 bits\n"), std::string::npos);
    EXPECT_NE(text.find("Rendering   2 colors to 1 bits\n"), std::string::npos);
    std::vector<std::string> want = {"Color Render",    "B & W Render",
                                     "Gray Render",     "- Conversion -",
                                     "Choosing Colors", "Setting Quantization Directions",
                                     "Color Render"};
    EXPECT_EQ(platform.captions, want);

    // A cancel ends the reduction with no buffer, no message and nothing left over.
    long places = mem_counters().places_now;
    platform.pumps = 0;
    platform.cancel_after = 2;
    Reduced x;
    reduce(x, im, REDUCE_256, PALETTE_CHOSEN, false, 100);
    EXPECT_EQ(x.data, nullptr);
    EXPECT_TRUE(x.info.cancelled);
    EXPECT_EQ(mem_counters().places_now, places);
    EXPECT_EQ(im->locks, 0);
    EXPECT_EQ(im->pixels, nullptr);

    // An image the caller holds locked stays locked.
    image_lock(im);
    platform.cancel_after = -1;
    Reduced y;
    reduce(y, im, REDUCE_16, PALETTE_FIXED, false, 100);
    EXPECT_NE(y.data, nullptr);
    EXPECT_EQ(im->locks, 1);
    image_unlock(im);
    image_free(im);
    ui::platform_install(nullptr);
}

TEST_F(Reduce, DefaultChoicesComeFromTheStateAndTheOrderedPreference)
{
    EXPECT_EQ(reduce_type_for_bits(8), REDUCE_256);
    EXPECT_EQ(reduce_type_for_bits(4), REDUCE_16);
    EXPECT_EQ(reduce_type_for_bits(1), REDUCE_BW);
    EXPECT_EQ(reduce_type_for_bits(2), -1);

    Image* im = flat(8, 8, 128, 128, 128);
    render_state().palette_mode = PALETTE_FIXED;
    settings().ordered = 1;
    Reduced r;
    r.data = render_reduce_default(im, REDUCE_256, r.red, r.green, r.blue, &r.info);
    ASSERT_NE(r.data, nullptr);
    EXPECT_GE(r.at(0, 0), 224);  // ordered, fixed: a grey of the ramp
    render_state().palette_mode = PALETTE_GREYS;
    Reduced g;
    g.data = render_reduce_default(im, REDUCE_256, g.red, g.green, g.blue, &g.info);
    EXPECT_EQ(g.info.kind, REDUCE_256_GREYS);
    EXPECT_EQ(g.at(0, 0), render_grey(128, 128, 128));
    image_free(im);
}

// The ordered patterns written out literally, pixel by pixel, as a check on
// the tables and periods the reduction uses instead.
TEST_F(Reduce, FixedOrderedFollowsThePatternsAtEveryPosition)
{
    using namespace render_tables;
    std::mt19937 rng(3);
    Image* im = make_image(300, 70, [&](int, int, uint8_t* p) {
        uint32_t v = rng();
        p[0] = static_cast<uint8_t>(v);
        // a third of the pixels grey, to take the grey ramp
        p[1] = (v >> 24) % 3 == 0 ? static_cast<uint8_t>(v) : static_cast<uint8_t>(v >> 8);
        p[2] = (v >> 24) % 3 == 0 ? static_cast<uint8_t>((v & 0xfc) | ((v >> 9) & 3)) : static_cast<uint8_t>(v >> 16);
    });
    Reduced r;
    reduce(r, im, REDUCE_256, PALETTE_FIXED, true, 100);
    ASSERT_NE(r.data, nullptr);
    auto step = [](int v, int top, int thr) {
        int i = v * top / 255, level = i * 255 / top;
        if (v > level && (v - level) / 2 > thr && i < top)
            ++i;
        return i;
    };
    image_lock(im);
    int greys = 0;
    for (int y = 0; y < im->height; ++y)
        for (int x = 0; x < 300; ++x) {
            const uint8_t* p = im->pixel(x, y);
            int R = p[0], G = p[1], B = p[2], want;
            if (R >> 2 == G >> 2 && G >> 2 == B >> 2) {
                ++greys;
                int k = G * 20 / 255, level = k * 255 / 20;
                int t = ((y / 4 + x) % 4) * ((x / 4 + y) % 5);
                if (G > level && (G - level) / 2 > t && k < 20)
                    ++k;
                want = 224 + k;
            } else {
                want = step(R, 6, kPatternRed[((x / 3 + y) % 3) * 7 + (y / 2 + x) % 7]) * 32 +
                       step(G, 7, kPatternGreen[((x / 2 + y) % 6) * 3 + (y / 3 + x) % 3]) * 4 +
                       step(B, 3, kPatternBlue[((x / 5 + y) % 7) * 6 + (y / 4 + x) % 6]);
            }
            ASSERT_EQ(r.at(x, y), want) << x << "," << y;
        }
    image_unlock(im);
    EXPECT_GT(greys, 1000);
    image_free(im);
}

// Memory running out at any of the reduction's allocations: no buffer, the
// message once, nothing left behind.
TEST_F(Reduce, RunningOutOfMemoryAnywhereGivesBackEverything)
{
    struct Boxes : ui::HeadlessPlatform {
        std::vector<std::string> shown;
        void message_box(const char*, const char* text, ui::BoxIcon) override { shown.emplace_back(text); }
    } platform;
    ui::platform_install(&platform);
    Image* im = make_image(40, 30, [](int x, int y, uint8_t* p) {
        p[0] = static_cast<uint8_t>(x * 6);
        p[1] = static_cast<uint8_t>(y * 8);
        p[2] = static_cast<uint8_t>(x * y);
    });
    const long places = mem_counters().places_now;
    int failures = 0;
    for (int mode : {PALETTE_CHOSEN, PALETTE_SUPPLIED})
        for (bool ordered : {false, true})
            for (long n = 0; n < 16; ++n) {
                platform.shown.clear();
                gmem_fail_after(n);
                Reduced r;
                reduce(r, im, REDUCE_256, mode, ordered, 100);
                gmem_fail_after(-1);
                if (!r.data) {
                    ++failures;
                    EXPECT_FALSE(r.info.cancelled);
                    ASSERT_EQ(platform.shown.size(), 1u) << mode << " " << ordered << " " << n;
                    EXPECT_EQ(platform.shown[0], "Not enough memory to render");
                }
                r.data = mem_free_t(r.data);
                EXPECT_EQ(mem_counters().places_now, places) << mode << " " << ordered << " " << n;
                EXPECT_EQ(im->locks, 0);
            }
    EXPECT_GT(failures, 8);
    image_free(im);
    ui::platform_install(nullptr);
}
