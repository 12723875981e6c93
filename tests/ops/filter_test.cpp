// The filter, blur and image-arithmetic operations: Convolve's rules and
// kernel file, and the properties users rely on for the designed filters.
#include "core/undo.h"
#include "ops/filter/filter.h"
#include "ops_fixture.h"

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

namespace {

uint32_t grey(int v, int a = 255)
{
    return pixel_make(v, v, v, a);
}

class Filter : public OpsTest {
protected:
    FilterParams& p = filter_params();

    Image* noise(int w, int h, unsigned seed = 7)
    {
        std::mt19937 rng(seed);
        return make(w, h, [&rng](int, int) {
            const uint32_t v = rng();
            return (v & 0x00FFFFFFu) | 0xFF000000u;
        });
    }
    void identity()
    {
        for (float& k : p.convolve_kernel)
            k = 0;
        p.convolve_kernel[4] = 1;
        p.convolve_offset = 0;
        p.convolve_thresholding = 0;
        p.convolve_both = 0;
    }
    std::string file(const std::string& name) { return home + "/" + name; }
    void write(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }
};

int ch(uint32_t p, int c)
{
    return static_cast<int>((p >> (8 * c)) & 0xFF);
}

} // namespace

// ---- Convolve ----------------------------------------------------------------

TEST_F(Filter, ConvolveIdentityClampingAndThreshold)
{
    identity();
    Image* img = noise(9, 7);
    const auto before = pixels(img);
    ASSERT_EQ(apply(opcmd::Convolve, img), 0);
    EXPECT_EQ(pixels(img), before);

    // A kernel that sums above 1 brightens and clamps at 255; a negative one gives 0.
    Image* bright = make(5, 5, [](int x, int) { return grey(x * 60); });
    p.convolve_kernel[4] = 2;
    ASSERT_EQ(apply(opcmd::Convolve, bright), 0);
    EXPECT_EQ(pixel_r(px(bright, 1, 2)), 120);
    EXPECT_EQ(pixel_r(px(bright, 3, 2)), 255);
    p.convolve_kernel[4] = -1;
    Image* dark = make(5, 5, [](int x, int) { return grey(x * 60); });
    ASSERT_EQ(apply(opcmd::Convolve, dark), 0);
    EXPECT_EQ(pixel_r(px(dark, 2, 2)), 0);

    // Threshold 0.5: 128 becomes 255, 127 becomes 0.
    identity();
    p.convolve_thresholding = 1;
    p.convolve_threshold = 0.5f;
    Image* t = make(4, 3, [](int x, int) { return grey(x < 2 ? 127 : 128); });
    ASSERT_EQ(apply(opcmd::Convolve, t), 0);
    EXPECT_EQ(pixel_r(px(t, 1, 1)), 0);
    EXPECT_EQ(pixel_r(px(t, 2, 1)), 255);

    // The offset is a fraction of 255, truncated, and clamped.
    identity();
    p.convolve_offset = 0.1f;
    Image* o = solid(3, 3, grey(240));
    ASSERT_EQ(apply(opcmd::Convolve, o), 0);
    EXPECT_EQ(pixel_r(px(o, 1, 1)), 255);
    p.convolve_offset = -0.1f;
    Image* o2 = solid(3, 3, grey(100));
    ASSERT_EQ(apply(opcmd::Convolve, o2), 0);
    EXPECT_EQ(pixel_r(px(o2, 1, 1)), 75);
}

TEST_F(Filter, ConvolveLayoutRunsDownTheLeftColumnFirstAndTransposes)
{
    // Every pixel distinct: red = 10x + y.
    auto field = [this] { return make(5, 5, [](int x, int y) { return pixel_make(10 * x + y, 0, 0, 255); }); };
    identity();
    p.convolve_kernel[4] = 0;
    p.convolve_kernel[1] = 1;  // k2 weighs (x − 1, y)
    Image* a = field();
    ASSERT_EQ(apply(opcmd::Convolve, a), 0);
    EXPECT_EQ(pixel_r(px(a, 2, 3)), 13);
    p.convolve_kernel[1] = 0;
    p.convolve_kernel[2] = 1;  // k3 weighs (x − 1, y + 1)
    Image* b = field();
    ASSERT_EQ(apply(opcmd::Convolve, b), 0);
    EXPECT_EQ(pixel_r(px(b, 2, 2)), 13);

    // Both directions: k2 then also weighs (x, y − 1) in the transpose.
    p.convolve_kernel[2] = 0;
    p.convolve_kernel[1] = 1;
    p.convolve_both = 1;
    Image* c = field();
    ASSERT_EQ(apply(opcmd::Convolve, c), 0);
    const float av = 13, bv = 22;  // (1, 3) and (2, 2)
    EXPECT_EQ(pixel_r(px(c, 2, 3)), static_cast<int>(std::sqrt(av * av + bv * bv)));
}

TEST_F(Filter, ConvolveRefusesSmallImagesAndKeepsItsBorder)
{
    identity();
    p.convolve_kernel[4] = 2;
    Image* narrow = solid(2, 9, grey(50));
    EXPECT_EQ(convolve_worker(narrow, nullptr), 1);
    EXPECT_EQ(apply(opcmd::Convolve, narrow), 2);
    EXPECT_TRUE(said("at least 3 x 3"));
    for (uint32_t v : pixels(narrow))
        EXPECT_EQ(v, grey(50));
    Image* low = solid(9, 2, grey(50));
    EXPECT_NE(apply(opcmd::Convolve, low), 0);
    EXPECT_EQ(px(low, 4, 1), grey(50));

    // 3 x 3: the centre alone changes.
    Image* small = solid(3, 3, grey(50));
    ASSERT_EQ(apply(opcmd::Convolve, small), 0);
    const auto v = pixels(small);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(v[static_cast<size_t>(i)], grey(i == 4 ? 100 : 50)) << i;
}

TEST_F(Filter, ConvolveBlendsByTheMaskAndScalesAlpha)
{
    identity();
    p.convolve_kernel[4] = 2;
    Image* img = solid(5, 5, grey(60, 200));
    img->alpha = 1;
    use_mask(img, [](int x, int) { return x == 2 ? 128 : x == 3 ? 0 : 255; }, AreaRect{0, 0, 4, 4, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::Convolve, img), 0);
    EXPECT_EQ(px(img, 1, 1), grey(120, 200));
    EXPECT_EQ(px(img, 2, 1), pixel_make((128 * 120 + 127 * 60) / 255, (128 * 120 + 127 * 60) / 255,
                                        (128 * 120 + 127 * 60) / 255, 128 * 200 / 255));
    EXPECT_EQ(px(img, 3, 1), grey(60, 200));
}

TEST_F(Filter, KernelFileRoundTripAndDamagedFiles)
{
    const float k[9] = {0.125f, -1.5f, 2.25f, 3, -4, 5.5f, 6, -7.75f, 8};
    std::copy(k, k + 9, p.convolve_kernel);
    p.convolve_threshold = 0.375f;
    p.convolve_offset = -0.25f;
    p.convolve_thresholding = 1;
    p.convolve_both = 1;
    const std::string path = file("edge.CNV");
    ASSERT_EQ(convolve_save(path.c_str()), 0);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "0.125000 -1.500000 2.250000 3.000000 -4.000000 5.500000 6.000000 -7.750000 "
                          "8.000000 0.375000 -0.250000 1 1\n");
    const FilterParams saved = p;
    ops_reset_parameters();
    ASSERT_EQ(convolve_load(path.c_str()), 0);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(p.convolve_kernel[i], saved.convolve_kernel[i]);
    EXPECT_EQ(p.convolve_threshold, 0.375f);
    EXPECT_EQ(p.convolve_offset, -0.25f);
    EXPECT_EQ(p.convolve_thresholding, 1);
    EXPECT_EQ(p.convolve_both, 1);

    // Short, lettered, empty or missing files: the message names the file,
    // the settings stay.
    const char* bad[] = {"1 2 3 4 5 6 7 8 9 0.5 0 1\n", "1 2 3 4 five 6 7 8 9 0.5 0 1 0\n", "",
                         "1 2 3 4 5 6 7 8 9 0.5 0 1 0 extra\n", "1 2 3 4 5 6 7 8 9 0.5 0 1.5 0\n",
                         "1 2 3 4 5 6 7 8 9 nan 0 1 0\n"};
    int n = 0;
    for (const char* t : bad) {
        const std::string b = file("bad" + std::to_string(n++) + ".CNV");
        write(b, t);
        platform.clear_transcript();
        EXPECT_EQ(convolve_load(b.c_str()), 1) << t;
        EXPECT_TRUE(said(b)) << t;
        EXPECT_EQ(p.convolve_kernel[1], -1.5f);
    }
    EXPECT_EQ(convolve_load(file("absent.CNV").c_str()), 1);
    EXPECT_TRUE(said("Could not open the requested file."));
}

// ---- blurs, sharpening and order filters ------------------------------------

TEST_F(Filter, ConstantImagesStayConstant)
{
    const uint32_t c = pixel_make(90, 140, 200, 255);
    struct Case {
        int32_t op;
        std::function<void()> set;
    };
    const Case cases[] = {
        {opcmd::Blur, [&] { p.blur_radius = 1.5f; }},   {opcmd::Blur, [&] { p.blur_radius = 12; }},
        {opcmd::Sharpen, [&] { p.sharpen_amount = 300; }}, {opcmd::Remove, [&] { p.remove_radius = 3; }},
        {opcmd::Minimum, [&] { p.min_shape = 0; }},       {opcmd::Maximum, [&] { p.max_shape = 1; }},
        {opcmd::UnsharpMask, [&] { p.usm_radius = 5; }},   {opcmd::Shave, [] {}},
        {opcmd::MotionBlur, [] {}},                        {opcmd::SpiralBlur, [] {}},
        {opcmd::Explode, [] {}},                           {opcmd::RIS, [] {}},
        {opcmd::HRemove, [] {}},                           {opcmd::VRemove, [] {}},
    };
    for (const Case& k : cases) {
        ops_reset_parameters();
        k.set();
        Image* img = solid(37, 23, c);
        ASSERT_EQ(apply(k.op, img), 0) << k.op;
        for (uint32_t v : pixels(img))
            ASSERT_EQ(v, c) << op_by_command(k.op)->name;
        image_free(img);
    }
}

TEST_F(Filter, BlurMatchesTheGaussianAndHonoursTheMask)
{
    // The reference: the exact sampled Gaussian in double precision.
    auto reference = [](const std::vector<uint32_t>& in, int w, int h, double s, int x, int y) {
        const int r = static_cast<int>(std::ceil(5 * s));
        double acc = 0, wsum = 0;
        for (int j = -r; j <= r; ++j)
            for (int i = -r; i <= r; ++i) {
                const double k = std::exp(-(i * i + j * j) / (2 * s * s));
                const int sx = std::clamp(x + i, 0, w - 1), sy = std::clamp(y + j, 0, h - 1);
                acc += k * pixel_r(in[static_cast<size_t>(sy * w + sx)]);
                wsum += k;
            }
        return acc / wsum;
    };
    for (float sigma : {1.0f, 2.5f, 4.0f, 9.0f}) {
        p.blur_radius = sigma;
        Image* img = noise(61, 47, 3);
        const auto in = pixels(img);
        ASSERT_EQ(apply(opcmd::Blur, img), 0);
        const auto out = pixels(img);
        double worst = 0;
        for (int y = 0; y < 47; y += 3)
            for (int x = 0; x < 61; x += 3)
                worst = std::max(worst, std::fabs(pixel_r(out[static_cast<size_t>(y * 61 + x)]) -
                                                  reference(in, 61, 47, sigma, x, y)));
        EXPECT_LT(worst, 2.6) << "sigma " << sigma;
        image_free(img);
    }
    // Unselected pixels keep their values; alpha stays in colour mode.
    p.blur_radius = 4;
    Image* img = make(20, 20, [](int x, int y) { return pixel_make((x * 13) & 255, y * 12, 9, 100 + x); });
    const auto before = pixels(img);
    use_mask(img, [](int x, int) { return x < 10 ? 255 : 0; }, AreaRect{0, 0, 19, 19, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::Blur, img), 0);
    const auto after = pixels(img);
    for (int i = 0; i < 400; ++i) {
        if (i % 20 >= 10) {
            EXPECT_EQ(after[static_cast<size_t>(i)], before[static_cast<size_t>(i)]);
        }
        EXPECT_EQ(pixel_a(after[static_cast<size_t>(i)]), pixel_a(before[static_cast<size_t>(i)]));
    }
    EXPECT_NE(after[25], before[25]);
}

TEST_F(Filter, AlphaModeBlursTheAlphaOnly)
{
    settings().mod_alpha = 1;
    p.blur_radius = 2;
    Image* img = make(16, 16, [](int x, int) { return pixel_make(10, 20, 30, x < 8 ? 0 : 255); });
    ASSERT_EQ(apply(opcmd::Blur, img), 0);
    EXPECT_EQ(px(img, 0, 5), pixel_make(10, 20, 30, 0));
    const uint32_t edge = px(img, 8, 5);
    EXPECT_EQ(edge & 0x00FFFFFFu, pixel_make(10, 20, 30, 0));
    EXPECT_GT(pixel_a(edge), 100);
    EXPECT_LT(pixel_a(edge), 200);
}

TEST_F(Filter, MinimumAndMaximumAreErosionAndDilation)
{
    Image* src = noise(23, 19, 11);
    const auto in = pixels(src);
    for (int shape = 0; shape < 2; ++shape)
        for (int r : {1, 3}) {
            p.min_radius = p.max_radius = r;
            p.min_shape = p.max_shape = shape;
            for (int32_t op : {opcmd::Minimum, opcmd::Maximum}) {
                Image* img = noise(23, 19, 11);
                ASSERT_EQ(apply(op, img), 0);
                const auto out = pixels(img);
                for (int y = 0; y < 19; ++y)
                    for (int x = 0; x < 23; ++x)
                        for (int c = 0; c < 3; ++c) {
                            int want = op == opcmd::Minimum ? 255 : 0;
                            for (int j = -r; j <= r; ++j)
                                for (int i = -r; i <= r; ++i) {
                                    if (shape && i * i + j * j > r * r)
                                        continue;
                                    const int v = ch(in[static_cast<size_t>(std::clamp(y + j, 0, 18) * 23 +
                                                                            std::clamp(x + i, 0, 22))],
                                                     c);
                                    want = op == opcmd::Minimum ? std::min(want, v) : std::max(want, v);
                                }
                            ASSERT_EQ(ch(out[static_cast<size_t>(y * 23 + x)], c), want)
                                << op << " r " << r << " shape " << shape << " at " << x << "," << y;
                        }
                image_free(img);
            }
        }
}

TEST_F(Filter, RemoveIsTheMedianAndRemovesSaltAndPepper)
{
    p.remove_radius = 2;
    Image* img = noise(17, 13, 5);
    const auto in = pixels(img);
    ASSERT_EQ(apply(opcmd::Remove, img), 0);
    const auto out = pixels(img);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 17; ++x)
            for (int c = 0; c < 3; ++c) {
                std::vector<int> v;
                for (int j = -2; j <= 2; ++j)
                    for (int i = -2; i <= 2; ++i)
                        v.push_back(ch(in[static_cast<size_t>(std::clamp(y + j, 0, 12) * 17 + std::clamp(x + i, 0, 16))], c));
                std::nth_element(v.begin(), v.begin() + 12, v.end());
                ASSERT_EQ(ch(out[static_cast<size_t>(y * 17 + x)], c), v[12]) << x << "," << y;
            }

    // A few white and black specks on grey vanish under radius 1.
    p.remove_radius = 1;
    Image* salt = make(12, 12, [](int x, int y) { return grey((x * 7 + y * 3) % 11 == 0 ? ((x + y) % 2) * 255 : 128); });
    ASSERT_EQ(apply(opcmd::Remove, salt), 0);
    for (uint32_t v : pixels(salt))
        EXPECT_EQ(v, grey(128));
}

TEST_F(Filter, SpecksGoAndDetailStays)
{
    // RIS: a 2-pixel speck goes, a 5 x 5 block stays.
    p.ris_size = 4;
    p.ris_threshold = 40;
    Image* img = make(30, 20, [](int x, int y) {
        if (x >= 4 && x <= 5 && y == 4)
            return grey(250);
        if (x >= 15 && x < 20 && y >= 8 && y < 13)
            return grey(250);
        return grey(60);
    });
    ASSERT_EQ(apply(opcmd::RIS, img), 0);
    EXPECT_EQ(px(img, 4, 4), grey(60));
    EXPECT_EQ(px(img, 17, 10), grey(250));
    EXPECT_EQ(px(img, 15, 8), grey(250));

    // Shave: a single bright peak comes down to its neighbours' range.
    p.shave_tolerance = 0;
    p.shave_mode = 0;
    Image* peak = make(5, 5, [](int x, int y) { return grey(x == 2 && y == 2 ? 255 : 40 + x); });
    ASSERT_EQ(apply(opcmd::Shave, peak), 0);
    EXPECT_EQ(px(peak, 2, 2), grey(43));
    EXPECT_EQ(px(peak, 1, 1), grey(41));

    // RIC: a lone odd colour takes the common colour next to it.
    p.ric_count = 3;
    p.ric_tolerance = 200;
    Image* flat = make(8, 8, [](int x, int y) { return x == 3 && y == 3 ? pixel_make(200, 50, 50, 255) : pixel_make(220, 40, 40, 255); });
    ASSERT_EQ(apply(opcmd::RIC, flat), 0);
    EXPECT_EQ(px(flat, 3, 3), pixel_make(220, 40, 40, 255));
}

TEST_F(Filter, LinesAreFoundAndFilledIn)
{
    // A smooth vertical ramp with a dark row 7 and a bright column 12.
    Image* img = make(24, 16, [](int x, int y) {
        if (y == 7)
            return grey(5);
        return grey(40 + y * 8 + x);
    });
    ASSERT_EQ(apply(opcmd::HRemove, img), 0);
    for (int x = 0; x < 24; x += 5)
        EXPECT_NEAR(pixel_r(px(img, x, 7)), 40 + 7 * 8 + x, 1) << x;
    EXPECT_EQ(px(img, 3, 6), grey(40 + 6 * 8 + 3));
    Image* col = make(24, 16, [](int x, int y) { return grey(x == 12 ? 250 : 30 + y * 3 + x * 2); });
    ASSERT_EQ(apply(opcmd::VRemove, col), 0);
    EXPECT_NEAR(pixel_r(px(col, 12, 5)), 30 + 15 + 24, 1);
}

// ---- image arithmetic and the source ----------------------------------------

TEST_F(Filter, AddThenSubtractGivesTheOriginalWhereNothingClipped)
{
    Image* target = make(20, 10, [](int x, int y) { return pixel_make(x * 5, 120 + y * 10, 100, 255); });
    Image* source = make(14, 8, [](int x, int y) { return pixel_make(x * 9, 200 - y * 20, 30, 255); });
    const auto before = pixels(target);
    image_set_role(ImageRole::Source, source);
    p.add_percent = p.sub_percent = 70;
    ASSERT_EQ(apply(opcmd::AddImages, target), 0);
    const auto added = pixels(target);
    ASSERT_EQ(apply(opcmd::Subtract, target), 0);
    const auto after = pixels(target);
    int clipped = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const size_t i = static_cast<size_t>(y * 20 + x);
            if (x >= 14 || y >= 8) {
                // Beyond the source nothing changes.
                EXPECT_EQ(added[i], before[i]);
                continue;
            }
            bool clip = false;
            for (int c = 0; c < 3; ++c)
                clip |= ch(added[i], c) == 255;
            if (clip) {
                ++clipped;
                continue;
            }
            EXPECT_EQ(after[i], before[i]) << x << "," << y;
        }
    EXPECT_GT(clipped, 0);
    EXPECT_LT(clipped, 14 * 8);
}

TEST_F(Filter, WithoutASourceTheTargetIsItsOwnSource)
{
    image_set_role(ImageRole::Source, nullptr);
    Image* img = make(6, 4, [](int x, int) { return grey(x * 50); });
    ASSERT_EQ(apply(opcmd::Multiply, img), 0);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(px(img, x, 2), grey((x * 50 * x * 50 + 127) / 255));
    p.combine_percent = 100;
    Image* src = solid(3, 3, grey(9));
    image_set_role(ImageRole::Source, src);
    Image* c = solid(5, 5, grey(200));
    ASSERT_EQ(apply(opcmd::Combine, c), 0);
    EXPECT_EQ(px(c, 2, 2), grey(9));
    EXPECT_EQ(px(c, 3, 3), grey(200));
}

TEST_F(Filter, EncryptTwiceRestoresAndTheWrongPasswordDoesNot)
{
    Image* img = make(33, 21, [](int x, int y) { return pixel_make(x * 7, y * 11, (x * y) & 255, 128 + y); });
    const auto original = pixels(img);
    std::strcpy(p.password, "open sesame");
    ASSERT_EQ(apply(opcmd::EncryptImage, img), 0);
    const auto scrambled = pixels(img);
    int same = 0;
    for (size_t i = 0; i < original.size(); ++i) {
        same += scrambled[i] == original[i];
        EXPECT_EQ(pixel_a(scrambled[i]), pixel_a(original[i])) << "alpha stays where it was";
    }
    EXPECT_LT(same, 10);
    std::strcpy(p.password, "open sesamE");
    Image* copy = make(33, 21, [&](int x, int y) { return scrambled[static_cast<size_t>(y * 33 + x)]; });
    ASSERT_EQ(apply(opcmd::EncryptImage, copy), 0);
    EXPECT_NE(pixels(copy), original);
    std::strcpy(p.password, "open sesame");
    ASSERT_EQ(apply(opcmd::EncryptImage, img), 0);
    EXPECT_EQ(pixels(img), original);

    // Under a selection only the selected pixels move; an empty password is refused.
    use_mask(img, [](int x, int) { return x < 10 ? 255 : 0; }, AreaRect{0, 0, 32, 20, 0, 0, 0, 0});
    ASSERT_EQ(apply(opcmd::EncryptImage, img), 0);
    const auto part = pixels(img);
    for (size_t i = 0; i < part.size(); ++i)
        if (i % 33 >= 10) {
            EXPECT_EQ(part[i], original[i]);
        }
    ASSERT_EQ(apply(opcmd::EncryptImage, img), 0);
    EXPECT_EQ(pixels(img), original);
    p.password[0] = 0;
    EXPECT_EQ(apply(opcmd::EncryptImage, img), 2);
    EXPECT_TRUE(said("needs a password"));
}

// ---- tones ------------------------------------------------------------------------

TEST_F(Filter, TonalFiltersKeepTheirPromises)
{
    // Dither: only the allowed levels, the same pixels for the same seed.
    p.dither_levels = 3;
    for (int method = 0; method < 3; ++method) {
        p.dither_method = method;
        Image* a = make(40, 10, [](int x, int) { return grey(x * 6); });
        Image* b = make(40, 10, [](int x, int) { return grey(x * 6); });
        ASSERT_EQ(apply(opcmd::Dither, a), 0);
        ASSERT_EQ(apply(opcmd::Dither, b), 0);
        EXPECT_EQ(pixels(a), pixels(b));
        long sum = 0;
        for (uint32_t v : pixels(a)) {
            EXPECT_TRUE(pixel_r(v) == 0 || pixel_r(v) == 128 || pixel_r(v) == 255) << pixel_r(v);
            sum += pixel_r(v);
        }
        // The mean tone survives.
        EXPECT_NEAR(static_cast<double>(sum) / 400.0, 117.0, 12.0) << method;
    }

    // Enhance stretches a narrow range to the full one.
    p.enhance_clip = 0;
    Image* flat = make(50, 2, [](int x, int) { return grey(100 + x); });
    ASSERT_EQ(apply(opcmd::Enhance, flat), 0);
    EXPECT_EQ(px(flat, 0, 0), grey(0));
    EXPECT_EQ(px(flat, 49, 1), grey(255));

    // Truncate to 1 bit: black or white.
    p.trunc_bits = 1;
    p.trunc_round = 0;
    Image* t = make(256, 1, [](int x, int) { return grey(x); });
    ASSERT_EQ(apply(opcmd::Truncate, t), 0);
    EXPECT_EQ(px(t, 127, 0), grey(0));
    EXPECT_EQ(px(t, 128, 0), grey(255));

    // NLog: ends fixed, shadows lifted; 0 refused.
    p.nlog_strength = 50;
    Image* l = make(256, 1, [](int x, int) { return grey(x); });
    ASSERT_EQ(apply(opcmd::NLog, l), 0);
    EXPECT_EQ(px(l, 0, 0), grey(0));
    EXPECT_EQ(px(l, 255, 0), grey(255));
    EXPECT_GT(pixel_r(px(l, 32, 0)), 100);
    p.nlog_strength = 0;
    EXPECT_EQ(apply(opcmd::NLog, l), 2);

    // Relief of a flat image is mid-grey; Derivative of one is black.
    Image* r = solid(6, 6, grey(77));
    ASSERT_EQ(apply(opcmd::Relief, r), 0);
    EXPECT_EQ(px(r, 3, 3), grey(128));
    Image* d = solid(6, 6, grey(77));
    ASSERT_EQ(apply(opcmd::Derivative, d), 0);
    EXPECT_EQ(px(d, 3, 3), grey(0));
    // A full step gives 255 with every operator.
    for (int op = 0; op < 3; ++op) {
        p.deriv_operator = op;
        Image* s = make(8, 5, [](int x, int) { return grey(x < 4 ? 0 : 255); });
        ASSERT_EQ(apply(opcmd::Derivative, s), 0);
        EXPECT_EQ(pixel_r(px(s, 4, 2)), 255) << op;
    }
}

TEST_F(Filter, ContourDrawsAlongBandEdges)
{
    p.contour_interval = 64;
    p.contour_rgb[0] = 255;
    Image* img = make(64, 4, [](int x, int) { return grey(x * 4); });
    ASSERT_EQ(apply(opcmd::Contour, img), 0);
    // Band 0 ends at x = 15 (60), band 1 begins at x = 16 (64).
    EXPECT_EQ(px(img, 15, 2), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(px(img, 14, 2), grey(56));
    EXPECT_EQ(px(img, 16, 2), grey(64));
}

TEST_F(Filter, NeutralInputsGiveNeutralResults)
{
    // RIP: paper stays white, black prints solid, one screen alone prints grey.
    Image* paper = make(24, 24, [](int x, int) { return x < 12 ? grey(255) : grey(0); });
    ASSERT_EQ(apply(opcmd::RIP, paper), 0);
    EXPECT_EQ(px(paper, 3, 5), grey(255));
    EXPECT_EQ(px(paper, 20, 5), grey(0));
    p.rip_mode = 1;
    Image* mono = make(24, 24, [](int x, int y) { return pixel_make(x * 10, y * 10, 90, 255); });
    ASSERT_EQ(apply(opcmd::RIP, mono), 0);
    for (uint32_t v : pixels(mono))
        EXPECT_TRUE(pixel_r(v) == pixel_g(v) && pixel_g(v) == pixel_b(v));

    // Variance of a flat picture: no deviation, the mean is the value.
    Image* flat = solid(15, 9, grey(90));
    ASSERT_EQ(apply(opcmd::Variance, flat), 0);
    EXPECT_EQ(px(flat, 7, 4), grey(0));
    p.var_mode = 1;
    Image* mean = solid(15, 9, grey(90));
    ASSERT_EQ(apply(opcmd::Variance, mean), 0);
    EXPECT_EQ(px(mean, 0, 0), grey(90));

    // A flat canvas has no relief; a white texture multiplies nothing away.
    Image* canvas = solid(30, 20, grey(250));
    image_set_role(ImageRole::Source, canvas);
    Image* img = noise(30, 20, 9);
    const auto before = pixels(img);
    ASSERT_EQ(apply(opcmd::ApplyCanvas, img), 0);
    EXPECT_EQ(pixels(img), before);
    p.texture_mode = 1;
    p.texture_amount = 100;
    Image* white = solid(7, 7, grey(255));
    image_set_role(ImageRole::Source, white);
    ASSERT_EQ(apply(opcmd::AddTexture, img), 0);
    EXPECT_EQ(pixels(img), before);

    // Motion blur along stripes that run the same way changes nothing.
    p.motion_angle = 0;
    p.motion_distance = 15;
    Image* stripes = make(40, 12, [](int, int y) { return grey(y * 20); });
    const auto s0 = pixels(stripes);
    ASSERT_EQ(apply(opcmd::MotionBlur, stripes), 0);
    EXPECT_EQ(pixels(stripes), s0);

    // Elevations: below sea level is water (blue), high ground is snow.
    Image* land = make(20, 4, [](int x, int) { return grey(x < 10 ? 10 : 255); });
    ASSERT_EQ(apply(opcmd::Elevations, land), 0);
    const uint32_t sea = px(land, 2, 2), snow = px(land, 17, 2);
    EXPECT_GT(pixel_b(sea), pixel_r(sea) + 50);
    EXPECT_GT(pixel_r(snow), 230);
}
