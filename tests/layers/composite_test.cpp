#include "layer_fixture.h"

#include <random>
#include <set>

TEST_F(LayerTest, TablesHoldTheirDefinitions)
{
    const LayerTables& t = layer_tables();
    EXPECT_EQ(t.div100[25500], 255);
    EXPECT_EQ(t.div100[25499], 254);
    EXPECT_EQ(t.div100[25501], 255);
    EXPECT_EQ(t.div100[99], 0);
    for (int w = 0; w < 256; ++w) {
        EXPECT_EQ(t.yab_union[0 * 256 + w], w);     // over nothing, A' = w
        EXPECT_EQ(t.yab_union[255 * 256 + w], 255);  // over opaque, stays opaque
        if (w > 0) {
            EXPECT_EQ(t.yab_ratio[w * 256 + w], 255);
        }
    }
    // U(128, 128) = floor(128 + 128 - 128*128/255) = 191
    EXPECT_EQ(t.yab_union[128 * 256 + 128], 191);
    EXPECT_EQ(t.yab_ratio[200 * 256 + 100], 127);  // floor(255 * 100 / 200)
    EXPECT_EQ(t.alphasum[511], 255);
    EXPECT_EQ(t.alphasum[254], 254);
    EXPECT_EQ(t.div255[65025], 255);
    EXPECT_EQ(t.div255[509], 1);

    // The table division is exact over the range it serves.
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        int a = static_cast<int>(rng() % 131072), b = 1 + static_cast<int>(rng() % 1023);
        ASSERT_EQ(udiv(a, b), a / b) << a << "/" << b;
    }
    for (int b = 1; b < 1024; ++b)
        ASSERT_EQ(udiv(131071, b), 131071 / b);
}

TEST_F(LayerTest, TheModeListHoldsEveryCodeOnce)
{
    std::set<int> codes;
    for (int i = 0; i < kBlendModeCount; ++i)
        codes.insert(blend_modes()[i].code);
    EXPECT_EQ(codes.size(), 93u);
    EXPECT_EQ(*codes.begin(), 0);
    EXPECT_EQ(*codes.rbegin(), 92);
    EXPECT_STREQ(blend_modes()[0].name, "Absolute Difference");
    EXPECT_STREQ(blend_modes()[92].name, "Xnor");
    EXPECT_STREQ(blend_mode_name(16), "Warp");
    EXPECT_STREQ(blend_mode_name(93), "unknown");
    int factor_modes = 0;
    for (int i = 0; i < kBlendModeCount; ++i)
        factor_modes += blend_modes()[i].uses_factor;
    EXPECT_EQ(factor_modes, 31);
    EXPECT_TRUE(blend_mode_by_code(MODE_ACCUMULATE)->uses_factor);
    EXPECT_FALSE(blend_mode_by_code(MODE_MULTIPLY)->uses_factor);
    EXPECT_EQ(blend_mode_by_name("hard-light")->code, 23);
    EXPECT_EQ(blend_mode_by_name("INVERTED RGB KEY (SOFT TOL)")->code, 80);
    EXPECT_EQ(blend_mode_by_name("Multiply & Add")->code, 83);
    EXPECT_EQ(blend_mode_by_name("Hardlight")->code, 23);
    EXPECT_EQ(blend_mode_by_name("Harder Light"), nullptr);
}

TEST_F(LayerTest, AnEmptyStackIsTransparentWhite)
{
    Image* m = master(5, 3);
    ASSERT_EQ(composite_layers(m), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(at(m, x, y), (Px{255, 255, 255, 0}));
    EXPECT_EQ(m->recomposite, 0);
    // An ordinary image is no master.
    Image* plain = image_new(2, 2, "test");
    EXPECT_EQ(composite_layers(plain), 1);
    image_free(plain);
}

TEST_F(LayerTest, NormalOverTransparentMovesAlmostAllTheWayAtAnyOpacity)
{
    Image* m = master(2, 1);
    layer(m, 2, 1, {0, 0, 0, 255});
    layer(m, 2, 1, {0, 0, 0, 255}, MODE_MASK, 100, 0);  // alpha to 0, colour stays black
    Image* top = layer(m, 2, 1, {100, 100, 100, 255}, MODE_NORMAL, 50);
    ASSERT_EQ(composite_layers(m), 0);
    // D.a = 0: A' = w = 127 and k = 255, so t - D = 100 rises by f(25500) = 99.
    EXPECT_EQ(at(m, 0, 0), (Px{99, 99, 99, 127}));

    top->layer_opacity = 7;
    composite_layers(m);
    EXPECT_EQ(at(m, 1, 0), (Px{99, 99, 99, 17}));
}

TEST_F(LayerTest, OpacityZeroOrLayerAlphaZeroLeavesTheMasterInEveryMode)
{
    Image* m = master(16, 16);
    layer(m, 16, 16, {0, 0, 0, 0});
    paint(static_cast<Image*>(m->layer_list->head->element),
          [](int x, int y) { return Px{x * 16, y * 16, (x * y) & 255, 64 + 8 * x}; });
    Image* top = layer(m, 16, 16, {0, 0, 0, 0});
    std::mt19937 rng(3);
    paint(top, [&](int, int) {
        return Px{static_cast<int>(rng() & 255), static_cast<int>(rng() & 255), static_cast<int>(rng() & 255), 0};
    });
    top->layer_factor = 250;
    top->layer_opacity = 0;
    composite_layers(m);
    std::vector<uint8_t> before = pixels(m);
    for (int i = 0; i < kBlendModeCount; ++i) {
        int code = blend_modes()[i].code;
        top->layer_mode = code;
        top->layer_opacity = 0;
        paint(top, [&](int x, int y) { Px p = at(top, x, y); p[3] = 255; return p; });
        composite_layers(m);
        EXPECT_EQ(pixels(m), before) << blend_modes()[i].name << " at opacity 0";
        if (code == MODE_WARP)
            continue;  // a warp pixel's fourth byte is a displacement, not a cover
        top->layer_opacity = 100;
        paint(top, [&](int x, int y) { Px p = at(top, x, y); p[3] = 0; return p; });
        composite_layers(m);
        EXPECT_EQ(pixels(m), before) << blend_modes()[i].name << " with layer alpha 0";
    }
}

TEST_F(LayerTest, AModeNoTableHasIsAnErrorAndNotShownAsNormal)
{
    Image* m = master(4, 4);
    layer(m, 4, 4, {10, 20, 30, 255});
    Image* top = layer(m, 4, 4, {200, 0, 0, 255});
    top->layer_mode = kBlendModeCount;
    ui::headless().clear_transcript();
    EXPECT_NE(composite_layers(m), 0);
    EXPECT_FALSE(ui::headless().transcript().empty());
    EXPECT_NE(at(m, 1, 1)[0], 200);
    top->layer_mode = -1;
    EXPECT_NE(composite_layers(m), 0);
    top->layer_mode = MODE_NORMAL;
    EXPECT_EQ(composite_layers(m), 0);
    EXPECT_GE(at(m, 1, 1)[0], 199);
}

TEST_F(LayerTest, ALayerWhollyOutsideChangesNothingEvenWithGlobalmask)
{
    Image* m = master(8, 8);
    layer(m, 8, 8, {10, 20, 30, 255});
    composite_layers(m);
    std::vector<uint8_t> before = pixels(m);
    Image* outside = layer(m, 4, 4, {200, 0, 0, 255}, MODE_NORMAL, 100, 100, 8, 2);
    outside->layer_flags |= LAYER_GLOBALMASK;
    composite_layers(m);
    EXPECT_EQ(pixels(m), before);
    outside->layer_x = -4;
    outside->layer_y = -9;
    composite_layers(m);
    EXPECT_EQ(pixels(m), before);

    // Partly inside: everything outside its clipped rectangle loses its alpha.
    outside->layer_x = -2;
    outside->layer_y = 6;
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 7), (Px{mixed(10, 200, 255), mixed(20, 0, 255), mixed(30, 0, 255), 255}));
    EXPECT_EQ(at(m, 1, 6)[3], 255);
    EXPECT_EQ(at(m, 2, 6), (Px{10, 20, 30, 0}));
    EXPECT_EQ(at(m, 0, 5)[3], 0);
    // An invisible layer is skipped with its mask.
    outside->layer_flags &= ~LAYER_VISIBLE;
    composite_layers(m);
    EXPECT_EQ(pixels(m), before);
}

TEST_F(LayerTest, TheGivenFormulasOverAnOpaqueMaster)
{
    struct Case {
        int mode, factor;
        Px d, s;
        Px t;  // target before the mix
    };
    const Case cases[] = {
        {MODE_ADD, 100, {100, 200, 0, 255}, {100, 100, 10, 255}, {200, 255, 10, 255}},
        {MODE_ADD, 50, {100, 200, 0, 255}, {100, 100, 11, 255}, {150, 250, 5, 255}},
        {MODE_ADD_ON_GRAY, 100, {100, 100, 100, 255}, {227, 27, 128, 255}, {200, 0, 101, 255}},
        {MODE_MULTIPLY, 100, {255, 128, 10, 255}, {128, 128, 255, 255}, {127, 64, 9, 255}},
        {MODE_DIFFERENCE, 200, {100, 50, 255, 255}, {60, 80, 0, 255}, {80, 0, 255, 255}},
        {MODE_ABS_DIFFERENCE, 100, {100, 50, 255, 255}, {60, 80, 0, 255}, {40, 30, 255, 255}},
        {MODE_BRIGHTEN, 100, {55, 255, 0, 255}, {255, 255, 128, 255}, {255, 255, 128, 255}},
        {MODE_DARKEN, 100, {55, 200, 0, 255}, {100, 100, 100, 255}, {55, 100, 0, 255}},
        {MODE_LIGHTEN, 100, {55, 200, 0, 255}, {100, 100, 100, 255}, {100, 200, 100, 255}},
        {MODE_RGB_NEGATIVE, 100, {0, 255, 55, 255}, {255, 255, 255, 255}, {254, 0, 199, 255}},
        {MODE_MONO_NEGATIVE, 100, {30, 60, 90, 255}, {255, 128, 0, 255}, {194, 97, 0, 255}},
        {MODE_MONOCHROME, 100, {30, 60, 90, 255}, {255, 128, 0, 255}, {59, 30, 0, 255}},
        {MODE_DIFFERENCE_TO_GRAY, 100, {100, 0, 255, 255}, {90, 255, 0, 255}, {137, 0, 255, 255}},
        {MODE_SCREEN, 100, {0, 255, 128, 255}, {128, 0, 128, 255}, {129, 255, 192, 255}},
        {MODE_HARD_MIX, 100, {100, 200, 0, 255}, {155, 54, 0, 255}, {255, 0, 0, 255}},
        {MODE_XOR, 100, {0xF0, 0x0F, 0xFF, 255}, {0xFF, 0xFF, 0x0F, 255}, {0x0F, 0xF0, 0xF0, 255}},
        {MODE_RED_CHANNEL, 100, {1, 2, 3, 255}, {200, 201, 202, 255}, {200, 2, 3, 255}},
        {MODE_DIVIDE, 100, {100, 200, 0, 255}, {200, 100, 0, 255}, {127, 255, 0, 255}},
    };
    for (const Case& k : cases) {
        Image* m = master(1, 1);
        layer(m, 1, 1, k.d);
        layer(m, 1, 1, k.s, k.mode, 100, k.factor);
        composite_layers(m);
        Px got = at(m, 0, 0);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(got[c], mixed(k.d[c], k.t[c], 255)) << blend_mode_name(k.mode) << " channel " << c;
        EXPECT_EQ(got[3], 255) << blend_mode_name(k.mode);
    }

    // Half opacity mixes by k = w = 127 over an opaque master.
    Image* m = master(1, 1);
    layer(m, 1, 1, {100, 100, 100, 255});
    layer(m, 1, 1, {200, 0, 100, 255}, MODE_NORMAL, 50);
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{mixed(100, 200, 127), mixed(100, 0, 127), 100, 255}));
}

TEST_F(LayerTest, MaskModesSetOnlyTheAlpha)
{
    Image* m = master(1, 1);
    layer(m, 1, 1, {10, 20, 30, 255});
    Image* mask = layer(m, 1, 1, {0, 0, 0, 200}, MODE_MASK, 100, 50);
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{10, 20, 30, 100}));
    mask->layer_factor = 300;
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0)[3], 255);
    mask->layer_mode = MODE_INVERTED_MASK;
    mask->layer_factor = 100;
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{10, 20, 30, 55}));
    mask->layer_mode = MODE_GREY_MASK;
    paint(mask, [](int, int) { return Px{255, 255, 255, 255}; });
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{10, 20, 30, 255}));
    mask->layer_mode = MODE_INVERTED_GREY_MASK;
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{10, 20, 30, 0}));
}

TEST_F(LayerTest, EveryModeStaysInRangeAndColourModesKeepTheAlpha)
{
    // Random masters and layers through every mode: the sanitizers watch
    // the table look-ups; the colour modes must leave the master's alpha.
    const std::set<int> alpha_modes = {MODE_NORMAL,
                                       MODE_BEHIND,
                                       MODE_DISSOLVE,
                                       MODE_SOFT_DISSOLVE,
                                       MODE_ACCUMULATE,
                                       MODE_MASK,
                                       MODE_INVERTED_MASK,
                                       MODE_GREY_MASK,
                                       MODE_INVERTED_GREY_MASK,
                                       MODE_WARP};
    std::mt19937 rng(11);
    auto random_px = [&](int, int) {
        return Px{static_cast<int>(rng() & 255), static_cast<int>(rng() & 255), static_cast<int>(rng() & 255),
                  static_cast<int>(rng() & 255)};
    };
    for (int i = 0; i < kBlendModeCount; ++i) {
        const BlendMode& mode = blend_modes()[i];
        Image* m = master(24, 20);
        Image* base = layer(m, 24, 20, {0, 0, 0, 0});
        paint(base, random_px);
        Image* top = layer(m, 20, 16, {0, 0, 0, 0}, mode.code, 80, mode.uses_factor ? 170 : 100, 3, 2);
        paint(top, random_px);
        top->layer_mode = MODE_NORMAL;
        top->layer_opacity = 0;
        composite_layers(m);
        std::vector<uint8_t> under = pixels(m);
        top->layer_mode = mode.code;
        top->layer_opacity = 80;
        ASSERT_EQ(composite_layers(m), 0) << mode.name;
        std::vector<uint8_t> over = pixels(m);
        if (!alpha_modes.count(mode.code) && !std::string(mode.name).ends_with(")")) {
            for (size_t p = 3; p < over.size(); p += 4)
                ASSERT_EQ(over[p], under[p]) << mode.name << " changed the alpha";
        }
        // Warps move pixels; an inverted RGB key keeps only the rare pixel
        // near the key colour.
        const std::set<int> may_keep = {MODE_WARP, MODE_INV_RGB_KEY_HARD, MODE_INV_RGB_KEY_SOFT,
                                        MODE_INV_RGB_KEY_HARD_TOL, MODE_INV_RGB_KEY_SOFT_TOL};
        if (!may_keep.count(mode.code)) {
            EXPECT_NE(over, under) << mode.name << " did nothing";
        }
    }
}

TEST_F(LayerTest, ZeroWarpChangesNothingAndDisplacementsResample)
{
    Image* m = master(6, 4);
    Image* base = layer(m, 6, 4, {0, 0, 0, 0});
    paint(base, [](int x, int y) { return Px{x * 40, y * 60, 7, 255}; });
    composite_layers(m);
    std::vector<uint8_t> before = pixels(m);
    Image* warp = layer_create_warp(m);
    ASSERT_NE(warp, nullptr);
    EXPECT_EQ(warp->layer_mode, MODE_WARP);
    EXPECT_TRUE(warp->layer_flags & LAYER_WARP);
    EXPECT_EQ(at(warp, 5, 3), (Px{128, 0, 128, 0}));
    EXPECT_EQ(pixels(m), before);

    // One whole pixel right: each pixel takes its right neighbour's colour;
    // the last column would read outside and is skipped.
    paint(warp, [](int, int) { uint8_t b[4]; warp_encode(b, 16, 0); return Px{b[0], b[1], b[2], b[3]}; });
    EXPECT_EQ(at(warp, 0, 0), (Px{128, 16, 128, 0}));
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{40, 0, 7, 255}));
    EXPECT_EQ(at(m, 4, 2), (Px{200, 120, 7, 255}));
    EXPECT_EQ(at(m, 5, 2), (Px{200, 120, 7, 255}));  // unchanged: source outside

    // Half a pixel down and to the left: bilinear between four neighbours.
    paint(warp, [](int, int) { uint8_t b[4]; warp_encode(b, -8, 8); return Px{b[0], b[1], b[2], b[3]}; });
    composite_layers(m);
    // from (1.5, 1.5) for pixel (2, 1): mean of x 1..2 and y 1..2
    EXPECT_EQ(at(m, 2, 1), (Px{60, 90, 7, 255}));
    EXPECT_EQ(at(m, 0, 1), (Px{0, 60, 7, 255}));  // x - 0.5 lies outside: skipped

    EXPECT_EQ(warp_zero(warp), 0);
    EXPECT_EQ(pixels(m), before);
}

TEST_F(LayerTest, LocalStacksCompositeIntoTheirWorkingLayer)
{
    Image* m = master(8, 1);
    layer(m, 8, 1, {200, 200, 200, 255});
    // The stack's base covers x 2..4; the Localstack layer above it covers
    // everything, but only reaches the master through the base's rectangle.
    Image* begin = layer(m, 3, 1, {255, 255, 255, 255}, MODE_MULTIPLY, 100, 100, 2, 0);
    Image* member = layer(m, 8, 1, {100, 100, 100, 255}, MODE_NORMAL, 100, 100, 0, 0);
    member->layer_flags |= LAYER_LOCALSTACK;
    long places = mem_counters().places_now;
    composite_layers(m);
    EXPECT_EQ(mem_counters().places_now, places);  // the working layer went back
    // Working layer: 255 + f(255 * (100 - 255)) = 100; multiplied into 200.
    const int v = mixed(200, 78, 255);  // f(200 * 100) = 78
    EXPECT_EQ(at(m, 3, 0), (Px{v, v, v, 255}));
    EXPECT_EQ(at(m, 0, 0), (Px{200, 200, 200, 255}));
    EXPECT_EQ(at(m, 6, 0), (Px{200, 200, 200, 255}));
    // The stack goes in with its first layer's settings.
    begin->layer_flags &= ~LAYER_VISIBLE;
    composite_layers(m);
    EXPECT_EQ(at(m, 3, 0), (Px{200, 200, 200, 255}));
}

TEST_F(LayerTest, KeysDropTheKeyColour)
{
    settings().key_color = "0 255 0";
    Image* m = master(4, 1);
    layer(m, 4, 1, {0, 0, 0, 255});
    Image* key = layer(m, 4, 1, {0, 0, 0, 255}, MODE_RGB_KEY_HARD);
    paint(key, [](int x, int) {
        const Px row[4] = {{0, 255, 0, 255}, {15, 240, 10, 255}, {30, 255, 0, 255}, {255, 0, 0, 255}};
        return row[x];
    });
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{0, 0, 0, 255}));  // the key itself
    EXPECT_EQ(at(m, 1, 0), (Px{0, 0, 0, 255}));  // within the range of 20
    EXPECT_EQ(at(m, 2, 0)[0], mixed(0, 30, 255));
    EXPECT_EQ(at(m, 3, 0)[0], mixed(0, 255, 255));

    key->layer_mode = MODE_INV_RGB_KEY_HARD;
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0)[1], mixed(0, 255, 255));
    EXPECT_EQ(at(m, 3, 0), (Px{0, 0, 0, 255}));

    // Soft: a ramp as wide as the range beyond it (factor 100).
    key->layer_mode = MODE_RGB_KEY_SOFT;
    composite_layers(m);
    int partial = at(m, 2, 0)[0];
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 29);

    // The hue key takes a darker green as well.
    key->layer_mode = MODE_HUE_KEY_HARD;
    paint(key, [](int x, int) { return x == 0 ? Px{0, 90, 10, 255} : Px{90, 90, 90, 255}; });
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{0, 0, 0, 255}));
    EXPECT_NE(at(m, 1, 0), (Px{0, 0, 0, 255}));  // a grey has no hue

    // The luma key drops what is darker than 20 %.
    key->layer_mode = MODE_LUMA_KEY_HARD;
    paint(key, [](int x, int) { return x == 0 ? Px{40, 40, 40, 255} : Px{120, 120, 120, 255}; });
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0), (Px{0, 0, 0, 255}));
    EXPECT_EQ(at(m, 1, 0)[0], mixed(0, 120, 255));
}

TEST_F(LayerTest, DissolveDithersByCoverRepeatably)
{
    Image* m = master(64, 64);
    layer(m, 64, 64, {0, 0, 0, 255});
    layer(m, 64, 64, {255, 255, 255, 255}, MODE_DISSOLVE, 25);
    composite_layers(m);
    std::vector<uint8_t> first = pixels(m);
    int white = 0;
    for (size_t p = 0; p < first.size(); p += 4) {
        ASSERT_TRUE(first[p] == 0 || first[p] == mixed(0, 255, 255));
        white += first[p] != 0;
    }
    // w = 63 of 255: about a quarter of the pixels.
    EXPECT_NEAR(white / 4096.0, 63 / 255.0, 0.03);
    composite_layers(m);
    EXPECT_EQ(pixels(m), first);
}

TEST_F(LayerTest, AccumulateLeavesATrailThatFadesByItsFactor)
{
    Image* m = master(6, 1);
    layer(m, 6, 1, {0, 0, 0, 255});
    Image* dot = layer(m, 1, 1, {255, 255, 255, 255}, MODE_ACCUMULATE, 100, 100, 0, 0);
    composite_layers(m);
    composite_layers(m);  // the same state adds nothing more
    EXPECT_EQ(at(m, 0, 0)[0], 254);
    dot->layer_x = 2;
    composite_layers(m);
    EXPECT_EQ(at(m, 0, 0)[0], 254);  // the trail stays at factor 100
    EXPECT_EQ(at(m, 2, 0)[0], 254);
    EXPECT_EQ(at(m, 1, 0)[0], 0);

    dot->layer_factor = 50;
    dot->layer_x = 4;
    composite_layers(m);
    EXPECT_EQ(at(m, 4, 0)[0], 254);
    EXPECT_NEAR(at(m, 2, 0)[0], 127, 2);
    EXPECT_NEAR(at(m, 0, 0)[0], 127, 2);

    // Destroying the layer gives its cache back.
    long places = mem_counters().places_now;
    layer_destroy(dot);
    EXPECT_EQ(mem_counters().places_now, places - 4);  // the layer's record, its blocks and its cache
    EXPECT_EQ(at(m, 4, 0), (Px{0, 0, 0, 255}));
}

TEST_F(LayerTest, HistogramMatchesTheLayersSpread)
{
    Image* m = master(256, 1);
    Image* base = layer(m, 256, 1, {0, 0, 0, 255});
    paint(base, [](int x, int) { return Px{x, x, x, 255}; });
    // A layer in two flat halves: the master's dark half goes to 40, its
    // light half to 220.
    Image* h = layer(m, 256, 1, {0, 0, 0, 255}, MODE_HISTOGRAM);
    paint(h, [](int x, int) { return x < 128 ? Px{40, 40, 40, 255} : Px{220, 220, 220, 255}; });
    composite_layers(m);
    EXPECT_EQ(at(m, 10, 0)[0], mixed(10, 40, 255));
    EXPECT_EQ(at(m, 200, 0)[0], mixed(200, 220, 255));
}
