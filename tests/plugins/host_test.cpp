// The plug-in host with real libraries: the samples built with the system
// and plug-ins compiled here from a few lines of C against the SDK header.
#include "areas/area_mask.h"
#include "core/app.h"
#include "core/image.h"
#include "core/mem.h"
#include "core/profile.h"
#include "core/list.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/ops.h"
#include "plugins/plugins.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string bin(const char* name)
{
    const char* dir = std::getenv("GLIMVQ_BIN_DIR");
    return std::string(dir ? dir : GLIMVQ_BIN_DIR) + "/" + name;
}

} // namespace

class PluginTest : public ::testing::Test {
protected:
    std::string dir;
    Image* img = nullptr;

    void SetUp() override
    {
        char tmpl[] = "/tmp/glimvq-plugins-XXXXXX";
        dir = mkdtemp(tmpl);
        ops_install();
        AppOptions o;
        o.home = dir + "/home";
        ASSERT_EQ(app_init_instance(o), 0);
        ui::headless().set_recording(true);
        ui::headless().clear_transcript();
        settings().work_method = 0;
        settings().mod_alpha = 0;
        img = image_new(8, 6, "test");
        image_lock(img);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                pixel_store(img->pixel(x, y), pixel_make(200, 100, 40 + x, 255));
        image_unlock(img);
        image_set_role(ImageRole::Target, img);
        // One undo capture, kept in the one slot there is without levels, so
        // that counts of images and blocks compare across an apply.
        undo_set_levels(settings().undo_want, 0);
        set_current_operation(opcmd::Negative);
        ASSERT_EQ(perform_operation(img, 0), 0);
        ASSERT_EQ(perform_operation(img, 0), 0);
        set_current_operation(opcmd::Pixelize);
        ASSERT_EQ(perform_operation(img, 0), 0);
        image_lock(img);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                pixel_store(img->pixel(x, y), pixel_make(200, 100, 40 + x, 255));
        image_unlock(img);
    }
    void TearDown() override
    {
        app_shutdown();
        ui::headless().set_recording(false);
        std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }

    // Builds a plug-in from C source with nothing but the SDK header.
    std::string compile(const std::string& name, const std::string& source)
    {
        std::string c = dir + "/" + name + ".c", out = dir + "/" + name + ".gxp";
        std::ofstream(c) << "#include \"gxp.h\"\n#include <string.h>\n" << source;
        std::string cmd = "cc -std=c99 -shared -fPIC -I'" GLIMVQ_SOURCE_DIR "/plugins/sdk' -o '" + out + "' '" + c + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return out;
    }

    bool shown(const std::string& text)
    {
        for (const std::string& line : ui::headless().transcript())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
    uint32_t px(int x, int y)
    {
        ImageLock lock(img);
        return pixel_load(img->pixel(x, y));
    }
    int apply_plugin()
    {
        set_current_operation(opcmd::Plugin);
        return perform_operation(img, 0);
    }
};

TEST_F(PluginTest, SamplesRegisterApplyAndKeepTheirSettings)
{
    PluginEntry* sepia = nullptr;
    ASSERT_EQ(plugin_add_file(bin("sepia.gxp").c_str(), &sepia), 0);
    ASSERT_EQ(plugin_add_file(bin("chanmix.gxp").c_str()), 0);
    // The overlay exports only "PLUGINLOAD".
    ASSERT_EQ(plugin_add_file(bin("overlay.gxp").c_str()), 0);
    EXPECT_EQ(plugin_count(), 3);
    EXPECT_STREQ(plugin_at(1)->record->name, "Channel Mixer");
    EXPECT_EQ(plugin_at(1)->record->cmax[6], 255);
    EXPECT_EQ(plugin_host().selected, plugin_at(2));

    // Applied by name through the operation.
    ASSERT_EQ(plugin_select(sepia), 0);
    plugin_host().params.longs[0] = 100;
    ASSERT_EQ(apply_plugin(), 0);
    EXPECT_NE(px(3, 3), pixel_make(200, 100, 43, 255));
    EXPECT_EQ(sepia->record->longs[0], 100);  // the record keeps what was applied
    EXPECT_EQ(sepia->record->pixels, nullptr);  // no pointer outlives the call

    // Three plug-ins: the count and keys numbered 1 to 3.
    plugin_at(1)->record->palettes[0].count = 2;
    plugin_at(1)->record->palettes[0].blue[1] = 77;
    plugin_at(1)->record->profiles[3][200] = -5;
    std::snprintf(plugin_at(2)->record->str1, 200, "%s", "tile.png");
    ASSERT_EQ(plugins_save_settings(), 0);
    std::string file = profile_path(kPluginSettingsFile);
    char buf[256];
    EXPECT_EQ(profile_get("GlimvqPu", "PlugInCount", "", 10, file.c_str()), "3");
    for (int n = 1; n <= 3; ++n) {
        std::snprintf(buf, sizeof buf, "PlugInName%d", n);
        EXPECT_EQ(profile_get("GlimvqPu", buf, "", 40, file.c_str()), plugin_at(n - 1)->record->name);
    }
    EXPECT_EQ(profile_get("GlimvqPu", "PlugInLongs1", "", 100, file.c_str()), "100 0 0 0 0 0 0 0");
    EXPECT_EQ(profile_get("GlimvqPu", "PlugInPalCol0_2", "", 100, file.c_str()), "0 0 0 0 0 77");
    EXPECT_EQ(profile_get("GlimvqPu", "PlugInName4", "none", 40, file.c_str()), "none");

    // Read back as they were.
    GxpRecord mixer = *plugin_at(1)->record;
    EXPECT_EQ(plugins_load_settings(), 3);
    ASSERT_EQ(plugin_count(), 3);
    const GxpRecord& back = *plugin_at(1)->record;
    EXPECT_EQ(std::memcmp(back.longs, mixer.longs, sizeof back.longs), 0);
    EXPECT_EQ(std::memcmp(back.cmin, mixer.cmin, sizeof back.cmin), 0);
    EXPECT_EQ(back.palettes[0].count, 2);
    EXPECT_EQ(back.palettes[0].blue[1], 77);
    EXPECT_EQ(back.profiles[3][200], -5);
    EXPECT_STREQ(plugin_at(2)->record->str1, "tile.png");
    EXPECT_NE(std::string(plugin_at(0)->path).find("sepia.gxp"), std::string::npos);
}

TEST_F(PluginTest, ASecondImageThroughTheImageServiceIsReleasedAfterTheCall)
{
    ASSERT_EQ(plugin_add_file(bin("overlay.gxp").c_str()), 0);
    // The second image: a file the plug-in opens by name.
    std::string path = dir + "/tile.bmp";
    Image* t = image_new(2, 2, "tile");
    image_lock(t);
    for (int i = 0; i < 4; ++i)
        pixel_store(t->pixels + 4 * i, pixel_make(0, 0, 255, 255));
    image_unlock(t);
    ASSERT_EQ(save_image(t, path.c_str()), 0);
    image_free(t);
    GxpRecord& p = plugin_host().params;
    std::snprintf(p.str1, sizeof p.str1, "%s", path.c_str());
    p.longs[0] = 100;
    p.switches[0] = 0;
    int images = image_store_count();
    ASSERT_EQ(apply_plugin(), 0);
    EXPECT_EQ(px(5, 4), pixel_make(0, 0, 255, 255));
    EXPECT_EQ(image_store_count(), images);  // the file's image is gone again
    EXPECT_EQ(img->locks, 0);
    EXPECT_EQ(list_count(plugin_host().sockets), 0);
    EXPECT_EQ(list_count(plugin_host().blocks), 0);
    // A file that cannot be read: the plug-in's error text, nothing changed.
    std::snprintf(p.str1, sizeof p.str1, "%s", "/nonexistent/tile.bmp");
    uint32_t before = px(5, 4);
    EXPECT_NE(apply_plugin(), 0);
    EXPECT_TRUE(shown("Plug-in Error"));
    EXPECT_EQ(px(5, 4), before);
}

TEST_F(PluginTest, WhatAPluginLeavesBehindIsGivenBack)
{
    std::string path = compile("leaky", R"(
GXP_EXPORT int32_t PluginLoad(GXP_ARGS) {
    GxpImage a, b;
    GXP_UNUSED_ARGS;
    if (record->call == GXP_IDENTIFY) { record->handshake = GXP_HANDSHAKE; return 0; }
    if (record->call != GXP_APPLY) return 0;
    alloc(1000, "leak one");
    alloc(2000, "leak two");
    if (release(alloc(10, "freed")) != 1 || release(record) != 0) return 1;
    if (image(GXP_IMAGE_TARGET, 0, &a) || image(GXP_IMAGE_SOURCE, 0, &b)) return 1;
    progress_start("left open", 10, 1);
    a.pixels[0] = 1;
    return 0;
})");
    ASSERT_EQ(plugin_add_file(path.c_str()), 0);
    long places = mem_counters().places_now;
    ASSERT_EQ(apply_plugin(), 0);
    EXPECT_EQ(pixel_r(px(0, 0)), 1);
    EXPECT_EQ(img->locks, 0);
    EXPECT_EQ(progress_state().depth, 0);
    EXPECT_EQ(list_count(plugin_host().blocks), 0);
    EXPECT_EQ(mem_counters().places_now, places);
}

TEST_F(PluginTest, FaultyPluginsAreRefusedAndTheHostGoesOn)
{
    // No handshake: not registered.
    std::string silent = compile("silent", "GXP_EXPORT int32_t PluginLoad(GXP_ARGS) { GXP_UNUSED_ARGS; return 0; }\n");
    EXPECT_EQ(plugin_add_file(silent.c_str()), 1);
    EXPECT_EQ(plugin_count(), 0);
    // A developer key with a non-zero top byte: no image plug-in.
    std::string other = compile("other", R"(
GXP_EXPORT int32_t PluginLoad(GXP_ARGS) {
    GXP_UNUSED_ARGS;
    record->handshake = GXP_HANDSHAKE; record->dev_key = 0x01000005; return 0;
})");
    EXPECT_EQ(plugin_add_file(other.c_str()), 1);
    EXPECT_TRUE(shown("not an image plug-in"));
    EXPECT_EQ(plugin_count(), 0);
    // A library without the entry, and a file that is no library.
    std::string none = compile("none", "int nothing(void) { return 0; }\n");
    EXPECT_EQ(plugin_add_file(none.c_str()), 1);
    EXPECT_TRUE(shown("exports neither \"PluginLoad\" nor \"PLUGINLOAD\""));
    std::ofstream(dir + "/text.gxp") << "just text\n";
    ui::headless().clear_transcript();
    EXPECT_EQ(plugin_add_file((dir + "/text.gxp").c_str()), 1);
    EXPECT_TRUE(shown("Plug-in Error"));
    EXPECT_TRUE(shown("could not be loaded"));
    EXPECT_EQ(plugin_add_file((dir + "/missing.gxp").c_str()), 1);
    EXPECT_EQ(plugin_count(), 0);

    // An error text that fills its field without an end: shown cut, then
    // emptied; the apply fails and the image stays.
    std::string shouting = compile("shouting", R"(
GXP_EXPORT int32_t PluginLoad(GXP_ARGS) {
    GXP_UNUSED_ARGS;
    if (record->call == GXP_IDENTIFY) { record->handshake = GXP_HANDSHAKE; strcpy(record->name, "Shout"); return 0; }
    if (record->call == GXP_APPLY) { record->pixels[0] = 9; memset(record->error, 'x', sizeof record->error); return 1; }
    return 0;
})");
    ASSERT_EQ(plugin_add_file(shouting.c_str()), 0);
    ui::headless().clear_transcript();
    uint32_t before = px(0, 0);
    EXPECT_NE(apply_plugin(), 0);
    EXPECT_EQ(px(0, 0), before);
    EXPECT_TRUE(shown("Plug-in Error: " + std::string(255, 'x')));
    EXPECT_FALSE(shown(std::string(256, 'x')));
    EXPECT_EQ(plugin_find("Shout")->record->error[0], 0);

    // Without a plug-in: "No Plugin Selected".
    plugin_remove(plugin_find("Shout"));
    plugin_host().params.name[0] = 0;
    ui::headless().clear_transcript();
    EXPECT_EQ(apply_plugin(), 2);
    EXPECT_TRUE(shown("No Plugin Selected"));
}

TEST_F(PluginTest, SettingsFilesWithBadCountsAreReadSafely)
{
    std::string file = dir + "/bad.ini";
    std::ofstream(file) << "[GlimvqPu]\nPlugInCount=4\nPlugInName1=One\nPlugInFile1=/x/one.gxp\n"
                           "PlugInLongs1=1 2 99999999999 4\nPlugInPalNum0_1=5000\nPlugInPalNum1_1=3\n"
                           "PlugInPalCol1_1=1 2 3 4 5\nPlugInName3=One\nPlugInName4=Four\nPlugInFloats4=nan inf 2.5\n";
    EXPECT_EQ(plugins_load_settings(file.c_str()), 2);  // 2 has no name, 3 repeats 1
    const GxpRecord& one = *plugin_find("One")->record;
    EXPECT_EQ(one.longs[0], 1);
    EXPECT_EQ(one.longs[1], 2);
    EXPECT_EQ(one.longs[2], 0);  // out of range: reading stops
    EXPECT_EQ(one.palettes[0].count, 0);
    EXPECT_EQ(one.palettes[1].count, 1);  // the colours the line has
    EXPECT_EQ(plugin_find("Four")->record->floats[0], 0.0f);
    EXPECT_EQ(plugin_find("Four")->record->floats[2], 2.5f);
    std::ofstream(file) << "[GlimvqPu]\nPlugInCount=100000000\nPlugInName1=One\n";
    EXPECT_EQ(plugins_load_settings(file.c_str()), 0);
}
