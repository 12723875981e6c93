#include "layer_fixture.h"

#include "core/app.h"
#include "core/profile.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::vector<std::string> names(Image* m)
{
    std::vector<std::string> out;
    for (ListNode* n = m->layer_list->head; n; n = n->ln_succ)
        out.push_back(static_cast<Image*>(n->element)->name);
    return out;
}

bool transcript_has(const std::string& text)
{
    for (const std::string& line : ui::headless().transcript())
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST_F(LayerTest, AnImageBecomesAMasterWithoutChangingAPixel)
{
    Image* img = image_new(7, 5, "test");
    std::snprintf(img->name, sizeof img->name, "photo");
    paint(img, [](int x, int y) { return Px{x * 30, y * 50, 99, (x + y) * 20}; });
    std::vector<uint8_t> before = pixels(img);
    ASSERT_EQ(layer_make_master(img), 0);
    masters_.push_back(img);
    EXPECT_EQ(img->has_layers, 1);
    EXPECT_STREQ(img->layer_list->name, "layerlist");
    // The base keeps every byte; the master shows it, except the colour of
    // wholly transparent pixels, which compositing never sees.
    Image* base = static_cast<Image*>(img->layer_list->head->element);
    EXPECT_EQ(pixels(base), before);
    std::vector<uint8_t> after = pixels(img);
    for (size_t i = 0; i < after.size(); i += 4)
        if (before[i + 3] != 0) {
            ASSERT_EQ(0, std::memcmp(&after[i], &before[i], 4)) << i / 4;
        }
    EXPECT_STREQ(base->name, "photo");
    EXPECT_EQ(base->layer_number, 1);
    EXPECT_EQ(base->owner, img);
    EXPECT_EQ(base->layer_opacity, 100);
    EXPECT_EQ(base->layer_factor, 100);
    EXPECT_EQ(base->layer_flags, LAYER_VISIBLE);
    // A layer cannot become a master of its own.
    EXPECT_EQ(layer_make_master(base), 1);
}

TEST_F(LayerTest, CreateDuplicateReorderDetachAndDestroy)
{
    Image* m = master(4, 4);
    Image* a = layer_create(m, 4, 4);
    Image* b = layer_create(m, 2, 2);
    Image* w = layer_create_warp(m);
    EXPECT_EQ(names(m), (std::vector<std::string>{"Layer_1", "Layer_2", "Warp_3"}));
    EXPECT_EQ(b->layer_number, 2);

    Image* copy = layer_duplicate(a);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(names(m), (std::vector<std::string>{"Layer_1", "Layer_1_copy", "Layer_2", "Warp_3"}));
    EXPECT_EQ(copy->layer_number, 4);

    EXPECT_EQ(layer_nearer(a), 0);
    EXPECT_EQ(layer_nearer(w), 0);  // already nearest: nothing to do
    EXPECT_EQ(layer_deeper(b), 0);
    EXPECT_EQ(names(m), (std::vector<std::string>{"Layer_1_copy", "Layer_2", "Layer_1", "Warp_3"}));

    EXPECT_EQ(layer_rename(b, "sky"), 0);
    EXPECT_EQ(layer_detach(b), 0);
    EXPECT_EQ(b->is_layer, 0);
    EXPECT_EQ(b->owner, nullptr);
    EXPECT_EQ(names(m), (std::vector<std::string>{"Layer_1_copy", "Layer_1", "Warp_3"}));
    EXPECT_EQ(layer_attach(m, b), 0);
    EXPECT_EQ(names(m).back(), "sky");
    EXPECT_EQ(b->layer_number, 5);
    EXPECT_EQ(layer_attach(m, b), 1);  // a layer already
    EXPECT_EQ(layer_attach(m, m), 1);

    int images = image_store_count();
    EXPECT_EQ(layer_destroy(copy), 0);
    EXPECT_EQ(image_store_count(), images - 1);
    EXPECT_EQ(layer_destroy(copy == a ? b : a), 0);
    EXPECT_EQ(names(m), (std::vector<std::string>{"Warp_3", "sky"}));
    // Commands on an image that is not a layer are refused with a note.
    Image* loose = image_new(1, 1, "test");
    EXPECT_EQ(layer_detach(loose), 1);
    EXPECT_TRUE(transcript_has("This image is not a layer."));
    image_free(loose);
}

TEST_F(LayerTest, ResizingTheMasterMovesItsLayers)
{
    Image* m = master(4, 4);
    Image* l = layer(m, 2, 2, {9, 9, 9, 255}, MODE_NORMAL, 100, 100, 1, 1);
    ASSERT_EQ(layer_resize_master(m, 10, 6, 3, 2), 0);
    EXPECT_EQ(m->width, 10u);
    EXPECT_EQ(m->height, 6);
    EXPECT_EQ(l->layer_x, 4);
    EXPECT_EQ(l->layer_y, 3);
    EXPECT_EQ(at(m, 5, 4), (Px{9, 9, 9, 255}));
    EXPECT_EQ(at(m, 9, 5), (Px{255, 255, 255, 0}));
    image_lock(m);
    EXPECT_EQ(m->rows[5], 50u);
    image_unlock(m);
}

TEST_F(LayerTest, WarpScaleAndRotate)
{
    Image* m = master(21, 21);
    Image* base = layer(m, 21, 21, {0, 0, 0, 0});
    paint(base, [](int x, int y) { return Px{x * 12, y * 12, 0, 255}; });
    Image* w = layer_create_warp(m);
    // Zoom 200 %: the pixel 4 right of the centre shows what lay 2 right.
    ASSERT_EQ(warp_scale(w, 200), 0);
    EXPECT_EQ(at(m, 14, 10), (Px{12 * 12, 120, 0, 255}));
    EXPECT_EQ(at(m, 10, 10), (Px{120, 120, 0, 255}));
    EXPECT_EQ(warp_scale(w, 150), 1);
    EXPECT_TRUE(transcript_has("You can't integrate a zoom to the same warp twice. Add another warp."));
    EXPECT_EQ(warp_zero(w), 0);
    EXPECT_EQ(warp_scale(w, 150), 0);  // a zeroed warp takes a zoom again

    // A quarter turn counter-clockwise: the pixel right of the centre shows
    // what lay below it.
    EXPECT_EQ(warp_zero(w), 0);
    ASSERT_EQ(warp_rotate(w, 90), 0);
    EXPECT_EQ(at(m, 15, 10), (Px{120, 15 * 12, 0, 255}));
    EXPECT_EQ(warp_rotate(base, 10), 1);  // not a warp
}

TEST_F(LayerTest, ShadowGlowAndEmbossLayers)
{
    ShadowParms kept = shadow_parms();
    kept.dx = 0;
    set_shadow_parms(kept);  // as the dialog keeps what the user set
    Image* m = master(60, 60);
    layer(m, 60, 60, {255, 255, 255, 255});
    Image* square = layer(m, 20, 20, {200, 0, 0, 255}, MODE_NORMAL, 100, 100, 20, 20);
    std::snprintf(square->name, sizeof square->name, "box");

    ShadowParms sp = shadow_parms();
    EXPECT_EQ(sp.dx, 0);
    EXPECT_EQ(sp.dy, 8);
    sp.dx = 4;
    Image* shadow = layer_shadow(square, sp);
    ASSERT_NE(shadow, nullptr);
    EXPECT_STREQ(shadow->name, "box_shadow");
    EXPECT_EQ(names(m)[1], "box_shadow");  // under the layer
    EXPECT_EQ(shadow->width, 20u + 2 * 6);
    EXPECT_EQ(shadow->layer_x, 20 + 4 - 6);
    EXPECT_EQ(shadow->layer_y, 20 + 8 - 6);
    EXPECT_EQ(shadow->layer_opacity, 60);
    // Soft: full in the middle, fading at the edge, nothing at the margin.
    EXPECT_EQ(at(shadow, 16, 16), (Px{0, 0, 0, 255}));
    EXPECT_GT(at(shadow, 6, 16)[3], 64);
    EXPECT_LT(at(shadow, 6, 16)[3], 192);
    EXPECT_LT(at(shadow, 0, 16)[3], 8);
    // Visible in the master below and to the right of the box.
    EXPECT_LT(at(m, 30, 43)[0], 128);
    EXPECT_EQ(at(m, 2, 2), (Px{255, 255, 255, 255}));

    Image* glow = layer_glow(square, glow_parms());
    ASSERT_NE(glow, nullptr);
    EXPECT_STREQ(glow->name, "box_glow");
    EXPECT_EQ(glow->layer_x, 20 - 10);
    EXPECT_EQ(at(glow, 0, 0)[3], 0);
    EXPECT_EQ(at(glow, 20, 20), (Px{255, 255, 160, 255}));
    EXPECT_GT(at(glow, 4, 20)[3], 0);  // it reaches out

    Image* emboss = layer_emboss(square, emboss_parms());
    ASSERT_NE(emboss, nullptr);
    EXPECT_STREQ(emboss->name, "box_emboss");
    EXPECT_EQ(names(m).back(), "box_emboss");  // above the layer
    EXPECT_EQ(emboss->layer_mode, MODE_HARD_LIGHT);
    // Flat in the middle, lit at the top left edge, shaded at the bottom right.
    EXPECT_EQ(at(emboss, 10, 10)[0], 128);
    EXPECT_GT(at(emboss, 0, 10)[0], 140);
    EXPECT_GT(at(emboss, 10, 0)[0], 140);
    EXPECT_LT(at(emboss, 19, 10)[0], 116);
    EXPECT_EQ(at(emboss, 10, 10)[3], 255);

    // A warp layer has no picture to work from.
    EXPECT_EQ(layer_shadow(layer_create_warp(m), sp), nullptr);
}

TEST_F(LayerTest, MarkingTheMasterAndClosingEverything)
{
    Image* m = master(3, 3);
    Image* l = layer(m, 3, 3, {1, 2, 3, 255});
    composite_layers(m);
    paint(l, [](int, int) { return Px{50, 60, 70, 255}; });
    layer_mark_master(l);
    EXPECT_EQ(m->recomposite, 1);
    EXPECT_EQ(layers_refresh(m), 0);
    EXPECT_EQ(m->recomposite, 0);
    EXPECT_EQ(at(m, 1, 1)[0], 50);

    masters_.clear();
    long places = mem_counters().places_now;
    layers_close(m);
    EXPECT_EQ(mem_counters().places_now, places - 6);  // two images of three blocks each
}

TEST_F(LayerTest, TheDialogSettingsAreKeptOnlyWhenChanged)
{
    char folder[] = "/tmp/glimvq-layers-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    app_set_config_folder(folder);
    std::string ini = std::string(folder) + "/GLIMVQ.ini";
    layer_settings().changed = false;
    layer_settings_save();  // nothing changed: nothing written
    EXPECT_NE(access(ini.c_str(), F_OK), 0);

    ShadowParms s{8, 8, 11, 60, {0, 0, 200}};
    set_shadow_parms(s);
    layer_settings().zoom_fact = 150;
    layer_settings_save();
    profile_forget();
    EXPECT_EQ(profile_get("Glimvq", "SHADPARMS", "", 179, "GLIMVQ.ini"), "8 8 11 60 0 0 200");
    EXPECT_EQ(profile_get("Glimvq", "ZOOMFACT", "", 179, "GLIMVQ.ini"), "150");

    layer_settings().shadow.blur = 1;
    layer_settings().zoom_fact = 1;
    layer_settings_load();
    EXPECT_EQ(shadow_parms().blur, 11);
    EXPECT_EQ(shadow_parms().color[2], 200);
    EXPECT_EQ(layer_settings().zoom_fact, 150);
    EXPECT_EQ(glow_parms().radius, 10);  // absent keys keep their defaults
    std::string cmd = std::string("rm -rf '") + folder + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}
