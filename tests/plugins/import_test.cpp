// Import plug-ins: readers in the import folder, asked before the built-in
// readers, compiled here from a few lines of C and the sample TXPIC reader.
#include "core/app.h"
#include "core/image.h"
#include "core/mem.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/appliers.h"
#include "ops/ops.h"
#include "plugins/plugins.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string bin(const char* name)
{
    const char* dir = std::getenv("GLIMVQ_BIN_DIR");
    return std::string(dir ? dir : GLIMVQ_BIN_DIR) + "/" + name;
}

// A reader that answers `confidence` for every file of `width` x 2 pixels
// and fills it with one colour, or fails to.
std::string reader_source(int confidence, int red, bool fails, int width = 3)
{
    char text[900];
    std::snprintf(text, sizeof text, R"(
GXP_EXPORT int32_t PluginLoad(GXP_ARGS) {
    int32_t i;
    GXP_UNUSED_ARGS;
    if (record->call == GXP_IDENTIFY) { record->handshake = GXP_HANDSHAKE; record->dev_key = GXP_KIND_IMPORT; return 0; }
    if (record->call == GXP_IMPORT_IDENTIFY) {
        record->confidence = %d; record->width = %d; record->height = 2; alloc(100, "kept");
        return 0;
    }
    if (record->call != GXP_IMPORT_FILL) return 0;
    if (%d) { alloc(64, "left"); record->pixels[0] = 1; return 1; }
    for (i = 0; i < record->width * record->height; ++i) { record->pixels[4 * i] = %d; record->pixels[4 * i + 3] = 7; }
    return 0;
})",
                  confidence, width, fails ? 1 : 0, red);
    return text;
}

} // namespace

class ImportTest : public ::testing::Test {
protected:
    std::string dir, readers, file;

    void SetUp() override
    {
        char tmpl[] = "/tmp/glimvq-import-XXXXXX";
        dir = mkdtemp(tmpl);
        readers = dir + "/readers";
        ASSERT_EQ(mkdir(readers.c_str(), 0755), 0);
        ops_install();
        AppOptions o;
        o.home = dir + "/home";
        ASSERT_EQ(app_init_instance(o), 0);
        ui::headless().set_recording(true);
        ui::headless().clear_transcript();
        settings().importer_path = readers;
        file = dir + "/picture.any";
        std::ofstream(file) << "whatever\n";
    }
    void TearDown() override
    {
        app_shutdown();
        ui::headless().set_recording(false);
        std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }

    void compile(const std::string& name, const std::string& source)
    {
        std::string c = dir + "/" + name + ".c", out = readers + "/" + name + ".gxp";
        std::ofstream(c) << "#include \"gxp.h\"\n#include <string.h>\n" << source;
        std::string cmd = "cc -std=c99 -shared -fPIC -I'" GLIMVQ_SOURCE_DIR "/plugins/sdk' -o '" + out + "' '" + c + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    bool shown(const std::string& text)
    {
        for (const std::string& line : ui::headless().transcript())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
    static int red_of(Image* image)
    {
        ImageLock lock(image);
        return image->pixel(0, 0)[0];
    }
};

TEST_F(ImportTest, TheMostConfidentReaderWinsWhateverItsPlaceInTheList)
{
    compile("a_maybe", reader_source(GXP_MAYBE, 10, false));
    compile("b_likely", reader_source(GXP_LIKELY, 20, false));
    compile("c_sure", reader_source(GXP_SURE, 30, false));
    // An effect plug-in in the folder is no reader.
    ASSERT_EQ(std::system(("cp '" + bin("sepia.gxp") + "' '" + readers + "/'").c_str()), 0);
    EXPECT_EQ(importer_count(), 3);

    Image* image = load_image(file.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(red_of(image), 30);
    EXPECT_EQ(image->width, 3u);
    EXPECT_EQ(image->bits, 24);
    EXPECT_EQ(image->alpha, 0);
    {
        ImageLock lock(image);
        EXPECT_EQ(image->pixel(2, 1)[3], 255);  // no alpha reported: opaque
    }
    EXPECT_EQ(image->hres_num * 1.0 / image->hres_den, 72.0);
    EXPECT_EQ(image->vres_num * 1.0 / image->vres_den, 72.0);
    EXPECT_STREQ(image->name, "picture.any");
    EXPECT_NE(std::strstr(image->path, "/picture.any"), nullptr);
    EXPECT_EQ(image->changes, 0);
    image_free(image);

    // Without the sure one the likely one reads it; then the one that tries.
    ASSERT_EQ(unlink((readers + "/c_sure.gxp").c_str()), 0);
    image = load_image(file.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(red_of(image), 20);
    image_free(image);
    ASSERT_EQ(unlink((readers + "/b_likely.gxp").c_str()), 0);
    image = load_image(file.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(red_of(image), 10);
    image_free(image);
}

TEST_F(ImportTest, AReaderThatFailsLeavesNothingAndTheSearchGoesOn)
{
    compile("a_sure_fails", reader_source(GXP_SURE, 0, true));
    compile("b_sure_huge", reader_source(GXP_SURE, 0, false, 2000000000));
    compile("c_likely", reader_source(GXP_LIKELY, 40, false));
    EXPECT_EQ(importer_count(), 3);
    const int images = image_store_count();
    const long places = mem_counters().places_now;
    Image* image = load_image(file.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(red_of(image), 40);
    EXPECT_TRUE(shown("gave 2000000000 x 2 pixels"));
    EXPECT_EQ(image_store_count(), images + 1);
    image_free(image);
    EXPECT_EQ(image_store_count(), images);
    EXPECT_EQ(mem_counters().places_now, places);  // the failed image and every block are gone

    // All fail: the built-in readers speak.
    ASSERT_EQ(unlink((readers + "/c_likely.gxp").c_str()), 0);
    EXPECT_EQ(importer_count(), 2);
    const long fewer = mem_counters().places_now;
    ui::headless().clear_transcript();
    EXPECT_EQ(load_image(file.c_str()), nullptr);
    EXPECT_TRUE(shown("not recognized"));
    EXPECT_EQ(mem_counters().places_now, fewer);
}

TEST_F(ImportTest, ReadersThatClaimNothingLeaveTheBuiltInReadersWorking)
{
    compile("never", reader_source(GXP_NOT_MINE, 0, false));
    compile("odd", reader_source(7, 0, false));  // no confidence there is
    std::string bmp = dir + "/small.bmp";
    Image* made = image_new(4, 3, "test");
    ASSERT_EQ(save_image(made, bmp.c_str()), 0);
    image_free(made);
    Image* image = load_image(bmp.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->file_format, FMT_BMP);
    EXPECT_EQ(image->width, 4u);
    image_free(image);
    // Information on a file: also through the readers first.
    compile("sure", reader_source(GXP_SURE, 5, false, 9));
    FileInfo info{};
    EXPECT_EQ(ImageFileInfo(bmp.data(), &info), 0);
    EXPECT_EQ(info.image.width, 9);
}

TEST_F(ImportTest, TheSampleReaderReadsTxpicPictures)
{
    ASSERT_EQ(std::system(("cp '" + bin("txpic.gxp") + "' '" + readers + "/'").c_str()), 0);
    ASSERT_EQ(importer_count(), 1);
    EXPECT_STREQ(importer_at(0)->record->name, "TXPIC reader");
    // Not an effect: adding it as one says where it belongs.
    EXPECT_EQ(plugin_add_file(bin("txpic.gxp").c_str()), 1);
    EXPECT_TRUE(shown("import plug-in folder"));

    std::string pic = dir + "/p.txt";
    std::ofstream(pic) << "TXPIC 2 2 ; a comment\ndpi 300 150\nff0000 00ff00\n0000ff 10203040\n";
    Image* image = load_image(pic.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->alpha, 1);
    EXPECT_EQ(image->bits, 32);
    EXPECT_EQ(image->hres_num / image->hres_den, 300);
    EXPECT_EQ(image->vres_num / image->vres_den, 150);
    {
        ImageLock lock(image);
        EXPECT_EQ(pixel_load(image->pixel(1, 0)), pixel_make(0, 255, 0, 255));
        EXPECT_EQ(pixel_load(image->pixel(1, 1)), pixel_make(0x10, 0x20, 0x30, 0x40));
    }
    image_free(image);

    // A pixel aspect ratio: 72 dots down, 72 times the ratio across.
    std::ofstream(pic) << "TXPIC 1 1\naspect 1.5\nffffff\n";
    image = load_image(pic.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->hres_num * 1.0 / image->hres_den, 108.0);
    EXPECT_EQ(image->vres_num * 1.0 / image->vres_den, 72.0);
    EXPECT_EQ(image->alpha, 0);
    image_free(image);

    // Damaged: named by its extension only, the fill fails with the reason.
    const long places = mem_counters().places_now;
    std::string bad = dir + "/short.txp";
    std::ofstream(bad) << "TXPIC 3 3\nff0000\n";
    ui::headless().clear_transcript();
    EXPECT_EQ(load_image(bad.c_str()), nullptr);
    EXPECT_TRUE(shown("ends after 1 of its 9 colours"));
    std::ofstream(bad) << "not a picture\n";
    ui::headless().clear_transcript();
    EXPECT_EQ(load_image(bad.c_str()), nullptr);
    EXPECT_TRUE(shown("does not begin with \"TXPIC\""));
    EXPECT_EQ(mem_counters().places_now, places);
}
