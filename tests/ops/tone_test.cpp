#include "ops/profiles.h"
#include "ops/tone/colour_space.h"
#include "ops/tone/tone_internal.h"
#include "ops_fixture.h"

using Tone = OpsTest;

namespace {

uint32_t grey(int v)
{
    return pixel_make(v, v, v, 255);
}

// An image holding every byte value once, as a grey ramp of 256 pixels.
} // namespace

class ToneTables : public OpsTest {
protected:
    Image* levels()
    {
        return make(256, 1, [](int x, int) { return pixel_make(x, x, 255 - x, 255); });
    }
    int at(Image* img, int i) { return pixel_r(px(img, i, 0)); }
};

TEST_F(ToneTables, ContrastAndBrightnessExtremesAndNoChange)
{
    ToneParams& p = tone_params();
    Image* img = levels();
    p.contrast = -100;
    ASSERT_EQ(apply(opcmd::Contrast, img), 0);
    for (int i = 0; i < 256; i += 17)
        EXPECT_EQ(px(img, i, 0), pixel_make(128, 128, 128, 255));

    Image* b = levels();
    p.brightness = -100;
    ASSERT_EQ(apply(opcmd::Brightness, b), 0);
    EXPECT_EQ(px(b, 200, 0), pixel_make(0, 0, 0, 255));
    p.brightness = 50;
    Image* c = levels();
    ASSERT_EQ(apply(opcmd::Brightness, c), 0);
    EXPECT_EQ(at(c, 100), 150);
    EXPECT_EQ(at(c, 200), 255);

    // 0 changes nothing: refused with message 65, image untouched.
    p.contrast = 0;
    p.brightness = 0;
    Image* d = levels();
    EXPECT_EQ(apply(opcmd::Contrast, d), 2);
    EXPECT_EQ(apply(opcmd::Brightness, d), 2);
    EXPECT_TRUE(said("Message 065: The settings for this operation will produce no change."));
    EXPECT_EQ(d->changes, 0);
    EXPECT_EQ(at(d, 77), 77);
    // While a sequence is generated the refusal is silent.
    platform.clear_transcript();
    op_set_generating(true);
    EXPECT_EQ(apply(opcmd::Contrast, d), 2);
    op_set_generating(false);
    EXPECT_FALSE(said("065"));
}

TEST_F(ToneTables, GammaLiftsMidtonesAndKeepsTheEnds)
{
    ToneParams& p = tone_params();
    p.gamma = 200;
    Image* img = levels();
    ASSERT_EQ(apply(opcmd::Gamma, img), 0);
    EXPECT_EQ(at(img, 192), 255);  // 192 + 78, clamped
    EXPECT_EQ(at(img, 128), 128 + 64);
    EXPECT_EQ(at(img, 8), 0);  // 8 - 10, clamped
    EXPECT_EQ(at(img, 16), 16 - 3);
    for (int g : {-200, -37, 1, 99, 200}) {
        p.gamma = g;
        Image* e = levels();
        ASSERT_EQ(apply(opcmd::Gamma, e), 0);
        EXPECT_EQ(at(e, 0), 0) << g;
        EXPECT_EQ(at(e, 255), 255) << g;
    }
    p.gamma = -200;
    Image* low = levels();
    ASSERT_EQ(apply(opcmd::Gamma, low), 0);
    EXPECT_EQ(at(low, 192), 192 - 78);
    p.gamma = 0;
    EXPECT_EQ(apply(opcmd::Gamma, low), 2);
}

TEST_F(ToneTables, BalancePivotsAndLevels)
{
    ToneParams& p = tone_params();
    p.balance_method = 0;
    // Pivot 0 on red: no lower segment, the upper divides by 255.
    p.balance_pivot[0] = 0, p.balance_level[0] = 100;
    p.balance_pivot[1] = 255, p.balance_level[1] = 255;  // green unchanged
    p.balance_pivot[2] = 128, p.balance_level[2] = 64;
    Image* img = levels();
    ASSERT_EQ(apply(opcmd::Balance, img), 0);
    EXPECT_EQ(at(img, 0), 100);
    EXPECT_EQ(at(img, 255), 255);
    EXPECT_EQ(at(img, 51), 100 + 51 * 155 / 255);
    EXPECT_EQ(pixel_g(px(img, 51, 0)), 51);
    EXPECT_EQ(pixel_b(px(img, 127, 0)), 64);  // blue 128 is the pivot
    EXPECT_EQ(pixel_b(px(img, 191, 0)), 64 * 64 / 128);

    for (int c = 0; c < 3; ++c)
        p.balance_level[c] = p.balance_pivot[c] = 90;
    EXPECT_EQ(apply(opcmd::Balance, img), 2);

    p.balance_method = 1;
    p.balance_level[0] = 50, p.balance_level[1] = 150;
    Image* lv = levels();
    ASSERT_EQ(apply(opcmd::Balance, lv), 0);
    EXPECT_EQ(at(lv, 49), 0);
    EXPECT_EQ(at(lv, 100), 127);
    EXPECT_EQ(at(lv, 150), 255);
    p.balance_level[0] = 0, p.balance_level[1] = 255;
    EXPECT_EQ(apply(opcmd::Balance, lv), 2);
}

TEST_F(ToneTables, ColorFillAndHistogramCurves)
{
    ToneParams& p = tone_params();
    p.fill[0] = 1, p.fill[1] = 2, p.fill[2] = 3;
    Image* img = solid(2, 2, pixel_make(200, 100, 50, 9));
    ASSERT_EQ(apply(opcmd::ColorFill, img), 0);
    EXPECT_EQ(px(img, 1, 1), pixel_make(1, 2, 3, 9));

    // Curves locked together follow the "histo" profile: here an inversion.
    int16_t* curve = profile_find("histo");
    for (int k = 0; k < kProfilePoints; ++k)
        curve[k] = static_cast<int16_t>(255 - k * 255 / 200);
    p.hist_measure = 0;
    Image* h = make(2, 1, [](int x, int) { return x ? grey(255) : grey(0); });
    ASSERT_EQ(apply(opcmd::Histogram, h), 0);
    EXPECT_EQ(px(h, 0, 0), grey(255));
    EXPECT_EQ(px(h, 1, 0), grey(0));
    EXPECT_EQ(h->changes, 1);
    // Unlocked, each channel has its own curve.
    p.hist_locked = 0;
    for (int i = 0; i < 256; ++i)
        p.hist_curve[1][i] = 7;
    ASSERT_EQ(apply(opcmd::Histogram, h), 0);
    EXPECT_EQ(px(h, 0, 0), pixel_make(255, 7, 255, 255));

    // Measuring counts and changes nothing.
    p.hist_measure = 1;
    Image* m = make(3, 1, [](int x, int) { return grey(x == 2 ? 9 : 4); });
    ASSERT_EQ(apply(opcmd::Histogram, m), 0);
    EXPECT_EQ(histogram_counts().pixels, 3u);
    EXPECT_EQ(histogram_counts().counts[0][4], 2u);
    EXPECT_EQ(histogram_counts().counts[3][255], 3u);
    EXPECT_EQ(m->changes, 0);
}

TEST_F(Tone, RemapMovesMatchingColoursAndLeavesTheRest)
{
    ToneParams& p = tone_params();
    p.remap_from.count = 0;
    Image* img = ramp(4, 4);
    std::vector<uint32_t> before = pixels(img);
    EXPECT_EQ(apply(opcmd::Remap, img), 2);  // no palettes: refused, nothing changes
    EXPECT_EQ(pixels(img), before);

    p.remap_from.count = 2;
    p.remap_from.red[0] = 200, p.remap_from.green[0] = 0, p.remap_from.blue[0] = 0;
    p.remap_from.red[1] = 0, p.remap_from.green[1] = 200, p.remap_from.blue[1] = 0;
    p.remap_to.red[0] = 0, p.remap_to.green[0] = 0, p.remap_to.blue[0] = 100;
    p.remap_to.red[1] = 50, p.remap_to.green[1] = 50, p.remap_to.blue[1] = 50;
    p.remap_tolerance = 20;
    p.remap_offset = 1;  // entry 0 takes "to" colour 1
    Image* r = make(3, 1, [](int x, int) {
        return x == 0 ? pixel_make(210, 5, 0, 255) : x == 1 ? pixel_make(5, 195, 9, 255) : pixel_make(99, 99, 99, 255);
    });
    // Weight is not applied: even half-selected pixels take the full move.
    use_mask(r, [](int, int) { return 100; }, AreaRect{0, 0, 2, 0, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::Remap, r), 0);
    EXPECT_EQ(px(r, 0, 0), pixel_make(60, 55, 50, 255));
    EXPECT_EQ(px(r, 1, 0), pixel_make(5, 0, 109, 255));  // entry 1 takes "to" colour 0
    EXPECT_EQ(px(r, 2, 0), pixel_make(99, 99, 99, 255));
}

TEST_F(Tone, ColorizeSetsHueInColourAndAlphaMode)
{
    ToneParams& p = tone_params();
    p.colorize_hue = 360 + 120;  // wraps to green
    p.colorize_set_saturation = 1;
    p.colorize_saturation = 100;
    Image* img = solid(1, 1, pixel_make(100, 100, 100, 255));
    ASSERT_EQ(apply(opcmd::Colorize, img), 0);
    uint32_t c = px(img, 0, 0);
    EXPECT_GT(pixel_g(c), pixel_r(c));
    EXPECT_EQ(pixel_r(c), pixel_b(c));

    settings().mod_alpha = 1;
    Image* a = solid(1, 1, pixel_make(9, 9, 9, 128));
    ASSERT_EQ(apply(opcmd::Colorize, a), 0);
    HlsColour h{128, 128, 128, 0, 0, 0};
    rgb_to_hls(h);
    h.hue = 120;
    h.saturation = 100;
    hls_to_rgb(h);
    EXPECT_EQ(px(a, 0, 0), pixel_make(9, 9, 9, kLumaRed[h.r] + kLumaGreen[h.g] + kLumaBlue[h.b]));
}

TEST(ColourSpace, ReciprocalDivisionIsExactOverTheConversionsRange)
{
    for (int d = 1; d < 1024; ++d)
        for (int n = 0; n <= 65535; n += (d & 7) ? 1 : 3)
            ASSERT_EQ(div_small(n, d), n / d) << n << "/" << d;
    EXPECT_EQ(div_signed(-7, 2), -3);
}

TEST(ColourSpace, GreyPrimariesAndRoundTrips)
{
    HsvColour g{77, 77, 77, 0, 0, 0};
    rgb_to_hsv(g);
    EXPECT_EQ(g.hue, 0);
    EXPECT_EQ(g.saturation, 0);
    EXPECT_EQ(g.value, 77 * 100 / 255);
    HsvColour back{0, 0, 0, 200, 0, 40};
    hsv_to_rgb(back);
    EXPECT_EQ(back.r, 40 * 255 / 100);
    EXPECT_EQ(back.g, back.r);
    EXPECT_EQ(back.b, back.r);

    const struct {
        int r, g, b, hue;
    } primaries[] = {{255, 0, 0, 0},     {255, 255, 0, 60},  {0, 255, 0, 120},
                     {0, 255, 255, 180}, {0, 0, 255, 240},   {255, 0, 255, 300}};
    for (const auto& c : primaries) {
        HsvColour h{static_cast<int16_t>(c.r), static_cast<int16_t>(c.g), static_cast<int16_t>(c.b), 0, 0, 0};
        rgb_to_hsv(h);
        EXPECT_EQ(h.hue, c.hue);
        EXPECT_EQ(h.saturation, 100);
        EXPECT_EQ(h.value, 100);
        h.r = h.g = h.b = -1;
        hsv_to_rgb(h);
        EXPECT_EQ(h.r, c.r);
        EXPECT_EQ(h.g, c.g);
        EXPECT_EQ(h.b, c.b);
        HlsColour l{static_cast<int16_t>(c.r), static_cast<int16_t>(c.g), static_cast<int16_t>(c.b), 0, 0, 0};
        rgb_to_hls(l);
        EXPECT_EQ(l.hue, c.hue);
        EXPECT_EQ(l.lightness, 50);
        EXPECT_EQ(l.saturation, 100);
        l.r = l.g = l.b = -1;
        hls_to_rgb(l);
        EXPECT_EQ(l.r, c.r);
        EXPECT_EQ(l.g, c.g);
        EXPECT_EQ(l.b, c.b);
    }
    // Every colour converts without leaving the byte range.
    for (int r = 0; r < 256; r += 15)
        for (int gg = 0; gg < 256; gg += 15)
            for (int b = 0; b < 256; b += 15) {
                HsvColour h{static_cast<int16_t>(r), static_cast<int16_t>(gg), static_cast<int16_t>(b), 0, 0, 0};
                rgb_to_hsv(h);
                ASSERT_LE(h.hue, 360);
                hsv_to_rgb(h);
                ASSERT_LE(std::abs(h.r - r) + std::abs(h.g - gg) + std::abs(h.b - b), 30) << r << " " << gg << " " << b;
                HlsColour l{static_cast<int16_t>(r), static_cast<int16_t>(gg), static_cast<int16_t>(b), 0, 0, 0};
                rgb_to_hls(l);
                ASSERT_GE(l.hue, 0);
                ASSERT_LE(l.hue, 360);
                hls_to_rgb(l);
                ASSERT_LE(std::abs(l.r - r) + std::abs(l.g - gg) + std::abs(l.b - b), 30) << r << " " << gg << " " << b;
            }
    EXPECT_EQ(kLumaRed[255] + kLumaGreen[255] + kLumaBlue[255], 255);
}

TEST_F(Tone, PixelMapFormulas)
{
    ToneParams& p = tone_params();
    const uint32_t c = pixel_make(200, 60, 30, 99);

    p.saturation = -100;
    EXPECT_EQ(saturation_worker(c), pixel_make(96, 96, 96, 99));  // the average
    p.saturation = 100;
    EXPECT_EQ(saturation_worker(pixel_make(100, 60, 50, 99)), pixel_make(130, 50, 30, 99));  // twice as far

    uint32_t f = c;
    for (int i = 0; i < 3; ++i)
        f = false_color_worker(f);
    EXPECT_EQ(f, c);
    EXPECT_EQ(false_color_worker(c), pixel_make(30, 200, 60, 99));

    EXPECT_EQ(pseudo_worker(pixel_make(128, 128, 128, 1)), pixel_make(0, 255, 0, 1));
    EXPECT_EQ(pseudo_worker(pixel_make(255, 0, 0, 1)), pixel_make(253, 0, 255, 1));

    solarize_prepare(nullptr, 0);
    EXPECT_EQ(solarize_worker(pixel_make(50, 50, 50, 7)), pixel_make(150, 0, 0, 7));
    EXPECT_EQ(solarize_worker(pixel_make(200, 200, 200, 7)), pixel_make(0, 0, 88, 7));

    p.glare_amount = 50;  // threshold 600, steps of 6
    p.glare_direction = 1;
    EXPECT_EQ(glare_worker(pixel_make(210, 210, 210, 3)), pixel_make(215, 215, 215, 3));
    p.glare_direction = 0;
    EXPECT_EQ(glare_worker(pixel_make(210, 210, 210, 3)), pixel_make(205, 205, 205, 3));
    EXPECT_EQ(glare_worker(pixel_make(10, 10, 10, 3)), pixel_make(10, 10, 10, 3));
    p.glare_amount = 110;  // threshold 0 must not divide by zero
    EXPECT_EQ(glare_worker(pixel_make(1, 1, 1, 3)), pixel_make(0, 0, 0, 3));

    p.antique_direction = 1;
    EXPECT_EQ(antique_worker(pixel_make(255, 255, 255, 0)), pixel_make(255, 215, 175, 0));
    p.antique_direction = 0;
    EXPECT_EQ(antique_worker(pixel_make(255, 215, 175, 0)), pixel_make(255, 255, 255, 0));

    const int methods[9] = {97, 99, 200, 60, 30, 130, 115, 45, -1};
    for (int m = 0; m < 8; ++m) {
        p.mono_method = m;
        EXPECT_EQ(mono_worker(c), pixel_make(methods[m], methods[m], methods[m], 99)) << m;
    }
    p.mono_method = 8;  // value down to green's
    uint32_t g8 = mono_worker(pixel_make(200, 60, 30, 99));
    EXPECT_EQ(std::max({pixel_r(g8), pixel_g(g8), pixel_b(g8)}), 23 * 255 / 100);
}

TEST_F(Tone, NegativeModes)
{
    ToneParams& p = tone_params();
    const uint32_t c = pixel_make(200, 60, 30, 99);
    p.negative_select[0] = 1, p.negative_select[1] = 0, p.negative_select[2] = 1;
    p.negative_mode = 0;
    EXPECT_EQ(negative_worker(c), pixel_make(55, 60, 225, 99));
    p.negative_mode = 1;
    EXPECT_EQ(negative_worker(c), pixel_make(159, 159, 159, 99));
    p.negative_mode = 2;
    EXPECT_EQ(negative_worker(pixel_make(255, 255, 255, 0)), pixel_make(0, 0, 0, 0));
    EXPECT_EQ(negative_worker(c), pixel_make(255 - (66 + 24 + 7), 255 - (66 + 24 + 7), 255 - (66 + 24 + 7), 99));
    p.negative_mode = 3;  // c' = 55, 195, 225; k = 55; selected channels become c' - k
    EXPECT_EQ(negative_worker(c), pixel_make(0, 60, 170, 99));
    p.negative_select[0] = p.negative_select[2] = 0;
    EXPECT_EQ(negative_worker(c), c);
    // Value only: a grey turns over.
    p.negative_mode = 5;
    p.negative_select[2] = 1;
    EXPECT_EQ(negative_worker(pixel_make(51, 51, 51, 0)), pixel_make(204, 204, 204, 0));
    p.negative_mode = 4;
    p.negative_select[2] = 0, p.negative_select[1] = 1;  // lightness
    EXPECT_EQ(negative_worker(pixel_make(255, 255, 255, 0)), pixel_make(0, 0, 0, 0));
}

TEST_F(Tone, HueAndValueThroughHsv)
{
    ToneParams& p = tone_params();
    p.hue_shift = 120;
    EXPECT_EQ(hue_worker(pixel_make(255, 0, 0, 5)), pixel_make(0, 255, 0, 5));
    p.hue_shift = -120;  // wraps below 0
    EXPECT_EQ(hue_worker(pixel_make(255, 0, 0, 5)), pixel_make(0, 0, 255, 5));
    p.value = -100;
    EXPECT_EQ(value_worker(pixel_make(200, 100, 50, 5)), pixel_make(0, 0, 0, 5));
    p.value = 100;
    EXPECT_EQ(value_worker(pixel_make(100, 100, 100, 5)), pixel_make(198, 198, 198, 5));
}

TEST_F(Tone, ColorGelNeedsSomeButNotAllChannels)
{
    ToneParams& p = tone_params();
    Image* img = solid(1, 1, pixel_make(255, 255, 255, 255));
    p.gel[0] = p.gel[1] = p.gel[2] = 1;
    EXPECT_EQ(apply(opcmd::ColorGel, img), 2);
    p.gel[0] = p.gel[1] = p.gel[2] = 0;
    EXPECT_EQ(apply(opcmd::ColorGel, img), 2);
    p.gel[2] = 1;
    ASSERT_EQ(apply(opcmd::ColorGel, img), 0);
    EXPECT_EQ(px(img, 0, 0), pixel_make(44, 44, 255, 255));  // 300·765/765 − 256, and 511 − 256
}
