// Stroke's brush settings: the untouched settings paint as they always did,
// and each group changes the stamps the way a painter expects.
#include "core/image.h"
#include "ops/collage/collage.h"
#include "ops_fixture.h"

#include <cmath>
#include <set>
#include <utility>

namespace {

uint64_t fnv(const std::vector<uint32_t>& v)
{
    uint64_t h = 1469598103934665603ull;
    for (uint32_t p : v)
        for (int k = 0; k < 4; ++k) {
            h ^= (p >> (8 * k)) & 255;
            h *= 1099511628211ull;
        }
    return h;
}

using Spots = std::set<std::pair<int, int>>;

} // namespace

class Stroke : public OpsTest {
protected:
    Image* brush = nullptr;
    CollageParams& p = collage_params();

    void TearDown() override
    {
        image_set_role(ImageRole::Brush, nullptr);
        if (brush)
            image_free(brush);
        OpsTest::TearDown();
    }
    void use_brush(int w, int h, const std::function<uint32_t(int, int)>& f)
    {
        if (brush)
            image_free(brush);
        brush = make(w, h, f);
        image_set_role(ImageRole::Brush, brush);
    }
    // A 5 x 5 brush with one opaque red pixel at (bx, by): every stamp
    // marks one pixel, where the settings put that brush pixel.
    void dot_brush(int bx = 2, int by = 2, int alpha = 255)
    {
        use_brush(5, 5, [=](int x, int y) { return x == bx && y == by ? pixel_make(255, 0, 0, alpha) : pixel_make(0, 0, 255, 0); });
    }
    // Black 80 x 40 with the pixels `selected` picks.
    Image* scene(const std::function<bool(int, int)>& selected)
    {
        Image* img = solid(80, 40, pixel_make(0, 0, 0, 255));
        use_mask(img, [&](int x, int y) { return selected(x, y) ? 255 : 0; }, AreaRect{0, 0, 79, 39, 0, 0, 0, 0});
        return img;
    }
    // The row y = 20 from x = 10 to 69 selected: a stroke left to right.
    Image* line() { return scene([](int x, int y) { return y == 20 && x >= 10 && x < 70; }); }
    // One pixel selected: one stamp, centred there.
    Image* dot() { return scene([](int x, int y) { return x == 40 && y == 20; }); }
    // Stroke applied; the pixels with any red, and the image freed.
    Spots red(Image* img, std::vector<uint32_t>* all = nullptr)
    {
        EXPECT_EQ(apply(opcmd::Stroke, img), 0);
        Spots s;
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < static_cast<int>(img->width); ++x)
                if (pixel_r(px(img, x, y)) > 0)
                    s.insert({x, y});
        if (all)
            *all = pixels(img);
        image_free(img);
        return s;
    }
    static Spots row(int y, int from, int to, int step)
    {
        Spots s;
        for (int x = from; x <= to; x += step)
            s.insert({x, y});
        return s;
    }
};

TEST_F(Stroke, DefaultsPaintExactlyAsBefore)
{
    // Pictures painted before the brush settings existed: a soft disc in a
    // varied picture with a brush of varied colour and alpha, the image's
    // border, and the picture as its own brush.
    use_brush(9, 7, [](int x, int y) {
        return pixel_make(30 * x, 255 - 35 * y, (x * y * 9) & 255, x == 0 || y == 0 ? 0 : 60 + 20 * y);
    });
    auto hash = [this](Image* img) {
        EXPECT_EQ(apply(opcmd::Stroke, img), 0);
        const uint64_t h = fnv(pixels(img));
        image_free(img);
        return h;
    };
    Image* disc = ramp(64, 48);
    use_mask(disc, [](int x, int y) {
        const double d = std::hypot(x - 32, y - 24);
        return d < 13 ? 255 : d < 16 ? static_cast<int>(255 * (16 - d) / 3) : 0;
    }, AreaRect{16, 8, 48, 40, 0, 0, 0, 0});
    EXPECT_EQ(hash(disc), 0x969cb1a7da0e34eaull);
    Image* whole = ramp(40, 30);
    use_mask(whole, [](int, int) { return 255; }, AreaRect{0, 0, 39, 29, 0, 0, 0, 0});
    EXPECT_EQ(hash(whole), 0x9a0e1670c2cb4e97ull);
    image_set_role(ImageRole::Brush, nullptr);
    Image* self = ramp(24, 20);
    use_mask(self, [](int x, int) { return x < 12 ? 255 : 0; }, AreaRect{0, 0, 11, 19, 0, 0, 0, 0});
    EXPECT_EQ(hash(self), 0xfa00a340fcab7b08ull);
}

TEST_F(Stroke, PositionSpacingScatterAndOffset)
{
    dot_brush();
    EXPECT_EQ(red(line()), row(20, 10, 69, 1));  // a 5-pixel brush at 25 %: every pixel
    p.st_spacing = 100;
    EXPECT_EQ(red(line()), row(20, 10, 65, 5));
    p.st_offset[0] = 3;
    p.st_offset[1] = -2;
    EXPECT_EQ(red(line()), row(18, 13, 68, 5));
    // Scatter across only: the stamps stay on their row, within a brush width,
    // the same for the same seed and elsewhere for another.
    p.st_offset[0] = p.st_offset[1] = 0;
    p.st_jitter[0] = 100;
    const Spots a = red(line());
    EXPECT_EQ(red(line()), a);
    EXPECT_NE(a, row(20, 10, 65, 5));
    for (auto [x, y] : a)
        EXPECT_EQ(y, 20);
    EXPECT_GE(a.begin()->first, 5);
    EXPECT_LE(a.rbegin()->first, 70);
    p.st_seed = 2;
    EXPECT_NE(red(line()), a);
}

TEST_F(Stroke, ApplicationEveryNthOpacityFadeAndThreshold)
{
    dot_brush();
    p.st_spacing = 100;
    p.st_every = 3;
    EXPECT_EQ(red(line()), row(20, 10, 65, 15));
    p.st_every = 1;
    p.st_opacity = 50;
    std::vector<uint32_t> all;
    red(line(), &all);
    EXPECT_EQ(pixel_r(all[20 * 80 + 10]), 128);
    // Fade: full at the start, falling along the stroke, gone at its end.
    p.st_opacity = 100;
    p.st_fade = 100;
    EXPECT_EQ(red(line(), &all), row(20, 10, 60, 5));
    for (int x = 15; x <= 60; x += 5)
        EXPECT_LT(pixel_r(all[20 * 80 + x]), pixel_r(all[20 * 80 + x - 5])) << x;
    EXPECT_EQ(pixel_r(all[20 * 80 + 10]), 255);
    // Threshold: brush pixels less opaque than it paint nothing.
    p.st_fade = 0;
    dot_brush(2, 2, 100);
    p.st_threshold = 101;
    EXPECT_TRUE(red(line()).empty());
    p.st_threshold = 100;
    EXPECT_EQ(red(line()).size(), 12u);
}

TEST_F(Stroke, TintKeepsTheBrushsShading)
{
    use_brush(1, 1, [](int, int) { return pixel_make(255, 255, 255, 255); });
    p.st_tint = 0x00FF00;
    p.st_tint_amount = 100;
    std::vector<uint32_t> all;
    red(dot(), &all);
    EXPECT_EQ(all[20 * 80 + 40], pixel_make(0, 255, 0, 255));
    p.st_tint_amount = 50;
    red(dot(), &all);
    EXPECT_EQ(all[20 * 80 + 40], pixel_make(128, 255, 128, 255));
    // Black stays black: the tint follows the luma.
    use_brush(1, 1, [](int, int) { return pixel_make(0, 0, 0, 255); });
    p.st_tint_amount = 100;
    red(dot(), &all);
    EXPECT_EQ(all[20 * 80 + 40], pixel_make(0, 0, 0, 255));
}

TEST_F(Stroke, MirrorsFixedAlternateAndRandom)
{
    dot_brush(3, 1);  // right of and above the centre
    p.st_spacing = 100;
    EXPECT_EQ(red(line()), row(19, 11, 66, 5));
    p.st_flip[0] = 1;
    EXPECT_EQ(red(line()), row(19, 9, 64, 5));
    p.st_flip[1] = 1;
    EXPECT_EQ(red(line()), row(21, 9, 64, 5));
    p.st_flip[0] = p.st_flip[1] = 0;
    p.st_alternate = 1;  // the second, fourth ... stamps mirrored left-right
    Spots alt;
    for (int k = 0; k < 12; ++k)
        alt.insert({10 + 5 * k + (k % 2 ? -1 : 1), 19});
    EXPECT_EQ(red(line()), alt);
    p.st_alternate = 0;
    p.st_random_flip = 100;
    EXPECT_EQ(red(line()), row(21, 9, 64, 5));
    p.st_random_flip = 50;  // some of each
    const Spots mixed = red(line());
    int up = 0, down = 0;
    for (auto [x, y] : mixed)
        (y == 19 ? up : down) += 1;
    EXPECT_GT(up, 0);
    EXPECT_GT(down, 0);
}

TEST_F(Stroke, TurnsByAngleFollowingTheStrokeAndSpinning)
{
    dot_brush(4, 2);  // two pixels right of the centre
    EXPECT_EQ(red(dot()), (Spots{{42, 20}}));
    p.st_angle[0] = p.st_angle[1] = 90;  // counter-clockwise: right becomes up
    EXPECT_EQ(red(dot()), (Spots{{40, 18}}));
    p.st_angle[0] = p.st_angle[1] = 360;
    EXPECT_EQ(red(dot()), (Spots{{42, 20}}));
    // Following a stroke that runs down the image: right becomes down.
    p.st_angle[0] = p.st_angle[1] = 0;
    p.st_follow = 1;
    p.st_spacing = 100;
    auto column = [this] { return scene([](int x, int y) { return x == 40 && y >= 5 && y < 35; }); };
    Spots down;
    for (int y = 5; y < 35; y += 5)
        down.insert({40, y + 2});
    EXPECT_EQ(red(column()), down);
    // Start and end angles: the first stamp unturned, the last half way round.
    p.st_follow = 0;
    p.st_angle[1] = 180;
    const Spots turned = red(line());
    EXPECT_TRUE(turned.count({12, 20}));
    EXPECT_TRUE(turned.count({63, 20}));
    // Spin: 90 degrees a stamp, a full turn every four.
    p.st_angle[1] = 0;
    p.st_spin = 90;
    const Spots spun = red(line());
    EXPECT_TRUE(spun.count({12, 20}));
    EXPECT_TRUE(spun.count({15, 18}));
    EXPECT_TRUE(spun.count({18, 20}));
    EXPECT_TRUE(spun.count({25, 22}));
    EXPECT_TRUE(spun.count({32, 20}));
}

TEST_F(Stroke, SizesGrowAlongTheStrokeWithinTheLimits)
{
    use_brush(6, 6, [](int, int) { return pixel_make(255, 0, 0, 255); });
    // The stamp's width through its middle, edge pixels by how much they are covered.
    auto width = [this] {
        std::vector<uint32_t> all;
        red(dot(), &all);
        double n = 0;
        for (int x = 0; x < 80; ++x)
            n += pixel_r(all[20 * 80 + static_cast<size_t>(x)]) / 255.0;
        return n;
    };
    EXPECT_EQ(width(), 6);
    p.st_scale[0] = p.st_scale[1] = 200;
    EXPECT_NEAR(width(), 12, 0.6);  // bilinear: the edges soften by half a brush pixel
    p.st_scale_max = 150;
    EXPECT_NEAR(width(), 9, 0.6);
    // Growing along the stroke: the last stamps reach further down than the first.
    p.st_scale_max = 1000;
    p.st_scale[0] = 100;
    p.st_scale[1] = 300;
    const Spots grown = red(line());
    EXPECT_FALSE(grown.count({10, 24}));
    EXPECT_TRUE(grown.count({69, 26}));
    // Jitter keeps each stamp within its limits and follows the seed.
    p.st_scale[0] = p.st_scale[1] = 100;
    p.st_scale_jitter = 100;
    p.st_scale_min = 50;
    p.st_scale_max = 100;
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        p.st_seed = static_cast<int32_t>(seed);
        const double w = width();
        EXPECT_LE(w, 6.01);
        EXPECT_GE(w, 2.99);
    }
}

TEST_F(Stroke, ShadowsFallUnderTheStampsAndSoftenWithTheRadius)
{
    use_brush(6, 6, [](int, int) { return pixel_make(255, 0, 0, 255); });
    auto white = [this] {
        Image* img = solid(80, 40, pixel_make(255, 255, 255, 255));
        use_mask(img, [](int x, int y) { return x == 40 && y == 20 ? 255 : 0; }, AreaRect{0, 0, 79, 39, 0, 0, 0, 0});
        return img;
    };
    p.st_shadow_opacity = 100;
    p.st_shadow_soft = 0;
    p.st_shadow_colour = 0x000080;
    std::vector<uint32_t> all;
    red(white(), &all);
    auto at = [&](int x, int y) { return all[static_cast<size_t>(y) * 80 + static_cast<size_t>(x)]; };
    // The stamp covers 37..42 x 17..22; the shadow 41..46 x 21..26, under it.
    EXPECT_EQ(at(40, 20), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(at(42, 22), pixel_make(255, 0, 0, 255));
    EXPECT_EQ(at(45, 25), pixel_make(0, 0, 128, 255));
    EXPECT_EQ(at(47, 25), pixel_make(255, 255, 255, 255));
    p.st_shadow_opacity = 50;
    red(white(), &all);
    EXPECT_EQ(at(45, 25), pixel_make(127, 127, 191, 255));
    // Soft: the edge spreads out, and less falls in the middle of the rim.
    p.st_shadow_opacity = 100;
    p.st_shadow_soft = 2;
    red(white(), &all);
    EXPECT_LT(pixel_r(at(47, 25)), 255);
    EXPECT_GT(pixel_r(at(46, 26)), 0);
}

TEST_F(Stroke, BarrelBulgesTheMiddleAndShadesTheRim)
{
    // A 21 x 21 brush whose red rises left to right.
    use_brush(21, 21, [](int x, int) { return pixel_make(12 * x, 0, 0, 255); });
    std::vector<uint32_t> plain, bulged;
    auto scene_dot = [this] { return dot(); };
    red(scene_dot(), &plain);
    auto r_at = [](const std::vector<uint32_t>& v, int x, int y) { return pixel_r(v[static_cast<size_t>(y) * 80 + static_cast<size_t>(x)]); };
    p.st_barrel[0] = 100;
    red(scene_dot(), &bulged);
    // The middle stays; near it the picture comes from closer to the middle.
    EXPECT_EQ(r_at(bulged, 40, 20), r_at(plain, 40, 20));
    EXPECT_LT(r_at(bulged, 45, 20), r_at(plain, 45, 20));
    EXPECT_GT(r_at(bulged, 35, 20), r_at(plain, 35, 20));
    // Pinched the other way.
    p.st_barrel[0] = -50;
    red(scene_dot(), &bulged);
    EXPECT_GT(r_at(bulged, 45, 20), r_at(plain, 45, 20));
    // Only down: a row through the middle is as it was.
    p.st_barrel[0] = 100;
    p.st_barrel_axis[0] = 0;
    red(scene_dot(), &bulged);
    for (int x = 31; x <= 49; ++x)
        EXPECT_EQ(r_at(bulged, x, 20), r_at(plain, x, 20)) << x;
    // Shading alone: the middle as bright, the rim darker.
    p.st_barrel[0] = 0;
    p.st_barrel_axis[0] = 100;
    p.st_barrel_shade = 100;
    red(scene_dot(), &bulged);
    EXPECT_EQ(r_at(bulged, 40, 20), r_at(plain, 40, 20));
    EXPECT_LT(r_at(bulged, 48, 20), r_at(plain, 48, 20) / 2);
}

TEST_F(Stroke, ExtremeSettingsStayInsideTheImage)
{
    // The largest values the parameters take: huge, far, soft and sparse
    // stamps are cut at the image and nothing breaks.
    use_brush(40, 30, [](int x, int y) { return pixel_make(x * 6, y * 8, 90, 255); });
    p.st_scale[0] = p.st_scale[1] = p.st_scale_max = 1000;
    p.st_angle[0] = 3600;
    p.st_angle[1] = -3600;
    p.st_spin = 3600;
    p.st_angle_jitter = 180;
    p.st_shadow_opacity = 100;
    p.st_shadow_soft = 200;
    p.st_shadow[0] = 1000;
    p.st_barrel[0] = p.st_barrel[1] = -100;  // the normaliser's floor
    p.st_barrel_shade = 100;
    p.st_jitter[0] = p.st_jitter[1] = 1000;
    EXPECT_FALSE(red(line()).empty());
    p.st_offset[0] = 40000;
    p.st_offset[1] = -40000;
    p.st_spacing = 1000;
    p.st_every = 10000;
    EXPECT_TRUE(red(line()).empty());
    p.st_offset[0] = p.st_offset[1] = 0;
    p.st_opacity = 0;
    EXPECT_TRUE(red(line()).empty());
}
