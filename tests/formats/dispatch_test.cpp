#include "core/log.h"
#include "core/messages.h"
#include "format_fixture.h"
#include "formats/codecs.h"
#include "../core/log_capture.h"

#include <cstring>

namespace {

// A 2 x 1 bitmap, 24 bits, with the given resolution.
Bytes tiny_bmp(uint32_t ppm = 0)
{
    Bytes b = {'B', 'M'};
    le32(b, 62);
    le32(b, 0);
    le32(b, 54);
    le32(b, 40);
    le32(b, 2);
    le32(b, 1);
    le16(b, 1);
    le16(b, 24);
    le32(b, 0);
    le32(b, 8);
    le32(b, ppm);
    le32(b, ppm);
    le32(b, 0);
    le32(b, 0);
    for (uint8_t v : {1, 2, 3, 4, 5, 6, 0, 0})
        b.push_back(v);
    return b;
}

Bytes with_header(std::initializer_list<uint8_t> head, size_t size = 64)
{
    Bytes b(head);
    b.resize(size, 0x20);
    return b;
}

} // namespace

TEST(Extension, LastDotOfTheLastNineCharacters)
{
    EXPECT_STREQ(file_extension("a.b"), "");  // shorter than four: none
    EXPECT_STREQ(file_extension("/x/photo.TIF"), ".TIF");
    EXPECT_STREQ(file_extension("/x/archive.tar.gz"), ".gz");
    EXPECT_STREQ(file_extension("/x/name.extension"), "");  // the dot is ten from the end
    EXPECT_STREQ(file_extension("/x/name.extensio"), ".extensio");
    EXPECT_STREQ(file_extension("/my.dir/file"), "");
}

TEST_F(FormatTest, LoadFinishesTheRecord)
{
    std::string p = write("tiny.bmp", tiny_bmp());
    Image* image = load_image(p.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->name, "tiny.bmp");
    EXPECT_EQ(p, image->path);
    EXPECT_STREQ(image->format, "BMP");
    EXPECT_EQ(image->file_format, FMT_BMP);
    EXPECT_EQ(image->changes, 0);
    EXPECT_EQ(image->bits, 24);
    // No resolution in the file: 72 by 72.
    EXPECT_EQ(image->hres_num, 72);
    EXPECT_EQ(image->hres_den, 1);
    EXPECT_EQ(image->vres_num, 72);
    EXPECT_RGB(image, 0, 0, 3, 2, 1);
    EXPECT_RGB(image, 1, 0, 6, 5, 4);
    EXPECT_EQ(image->pixels, nullptr);  // returned unlocked

    Image* dpi = load_image(write("dpi.bmp", tiny_bmp(11811)).c_str());
    ASSERT_NE(dpi, nullptr);
    EXPECT_EQ(dpi->hres_num, 300);
    EXPECT_EQ(dpi->hres_den, 1);
}

TEST_F(FormatTest, FilesAreFoundInTheProjectAndImageFolders)
{
    std::string sub = path("images");
    ASSERT_EQ(std::system(("mkdir -p '" + sub + "'").c_str()), 0);
    write("images/found.bmp", tiny_bmp());
    settings().image_path = sub;
    char name[kImagePathMax] = "/nowhere/found.bmp";
    Image* image = LoadImageFile(name);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::string(name), sub + "/found.bmp");
    EXPECT_EQ(std::string(image->path), sub + "/found.bmp");

    char missing[kImagePathMax] = "/nowhere/missing.bmp";
    EXPECT_EQ(LoadImageFile(missing), nullptr);
    EXPECT_NE(boxes().find("Message 006: Could not open the image file. /nowhere/missing.bmp"), std::string::npos)
        << boxes();
}

TEST_F(FormatTest, RefusalsSayWhy)
{
    LogCapture log;
    EXPECT_EQ(load_image(write("s.bmp", {'B', 'M', 0}).c_str()), nullptr);
    EXPECT_NE(boxes().find("Message 079: The image file was too small to ID."), std::string::npos);

    const Bytes mng = with_header({0x8A, 'm', 'N', 'g', 0x0D, 0x0A, 0x1A, 0x0A});
    EXPECT_EQ(load_image(write("a.mng", mng).c_str()), nullptr);
    EXPECT_NE(boxes().find("Message 018: Image file type is not recognized. MNG files cannot be read."),
              std::string::npos);

    Bytes strm = with_header({0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, 100);
    std::memcpy(strm.data() + 82, "JPEGStrm", 8);
    std::string strm_path = write("a.jps", strm);
    EXPECT_EQ(load_image(strm_path.c_str()), nullptr);
    EXPECT_NE(boxes().find("JPEGStrm file: " + strm_path), std::string::npos);
    EXPECT_NE(log.text().find("Image header = 11 22 33 44 55 66\n"), std::string::npos);

    std::string mpeg = write("a.mpg", with_header({0, 0, 1, 0xBA}));
    EXPECT_EQ(load_image(mpeg.c_str()), nullptr);
    EXPECT_NE(boxes().find("MPEG file: " + mpeg), std::string::npos);

    // Grey Targa files (image types 3 and 11) are not recognised by content.
    std::string grey = write("grey.tg", with_header({0, 0, 3, 0}));
    EXPECT_EQ(load_image(grey.c_str()), nullptr);
    EXPECT_NE(boxes().find("Message 018: Image file type is not recognized. " + grey), std::string::npos);

    // Formats recognised before their reader exists are refused by name.
    const Codec row = codec(CODEC_GIF);
    Codec unread = row;
    unread.read = nullptr;
    codec_restore(unread);
    EXPECT_EQ(load_image(write("x.gif", with_header({'G', 'I', 'F', '8', '9', 'a'})).c_str()), nullptr);
    codec_restore(row);
    EXPECT_NE(boxes().find("GIF files cannot be read yet"), std::string::npos) << boxes();
}

TEST_F(FormatTest, TheExtensionTestComesBeforeTheContent)
{
    // A JPEG stream named .tif goes to the TIFF library, which cannot read it.
    Bytes jpeg = with_header({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'});
    EXPECT_EQ(load_image(write("photo.tif", jpeg).c_str()), nullptr);
    EXPECT_NE(boxes().find("TIFF file cannot be read"), std::string::npos) << boxes();

    // A Canon raw file named .orf is not sent to the TIFF library.
    Bytes canon = with_header({'I', 'I', 0x1A, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'});
    ui::headless().clear_transcript();
    EXPECT_EQ(load_image(write("shot.orf", canon).c_str()), nullptr);
    EXPECT_EQ(boxes().find("TIFF"), std::string::npos) << boxes();
    EXPECT_NE(boxes().find("Message 018"), std::string::npos);
}

TEST_F(FormatTest, NameTestsLookAtTheExtensionOnly)
{
    // A PNG in a dotted folder or with a dotted name is a PNG, and a bitmap
    // is a bitmap, whatever ".pix", ".pdx", ".raw" or ".red" stands before it.
    Image* made = image_new(3, 2, "test");
    settings().save_type = FMT_PNG;
    settings().save_depth = 2;
    ASSERT_EQ(std::system(("mkdir -p '" + path("shots.pixar") + "' '" + path("a.raw.red") + "'").c_str()), 0);
    for (const char* name : {"shots.pixar/a.png", "my.pixel.png", "a.raw.red/b.pdx.png", "x.RAW.png"}) {
        ASSERT_EQ(save_image(made, path(name).c_str()), 0) << name;
        Image* image = load_image(path(name).c_str());
        ASSERT_NE(image, nullptr) << name << "\n" << boxes();
        EXPECT_STREQ(image->format, "PNG") << name;
        EXPECT_EQ(image->width, 3u) << name;
    }
    for (const char* name : {"a.raw.red/tiny.bmp", "my.pdx.bmp"}) {
        Image* image = load_image(write(name, tiny_bmp()).c_str());
        ASSERT_NE(image, nullptr) << name;
        EXPECT_STREQ(image->format, "BMP") << name;
    }
    // The extension itself still decides: exact case, as the names are tested.
    Image* pix = load_image(write("dots.in.name.pix", Bytes(8192, 0x11)).c_str());
    ASSERT_NE(pix, nullptr);
    EXPECT_EQ(pix->width, 128u);
    EXPECT_EQ(load_image(write("upper.PIX", Bytes(8192, 0x11)).c_str()), nullptr);
}

TEST_F(FormatTest, OneLoadAtATime)
{
    std::string p = write("tiny.bmp", tiny_bmp());
    formats_state().loading = true;
    EXPECT_EQ(load_image(p.c_str()), nullptr);
    EXPECT_NE(boxes().find("Message 083: Two load operations have been requested simultaneously."),
              std::string::npos);
    formats_state().loading = false;
    // The guard is cleared on every way out.
    EXPECT_EQ(load_image(path("none.bmp").c_str()), nullptr);
    EXPECT_FALSE(formats_state().loading);
    EXPECT_NE(load_image(p.c_str()), nullptr);
    EXPECT_FALSE(formats_state().loading);
}

TEST_F(FormatTest, ImportPluginsComeFirst)
{
    static Image* offered = nullptr;
    formats_state().import_plugins = [](const char*) {
        offered = image_new(3, 3, "import");
        return offered;
    };
    Image* image = load_image(path("anything.xyz").c_str());
    EXPECT_EQ(image, offered);
    formats_state().import_plugins = nullptr;
}

TEST(SaveDepth, BitsOfEachIndex)
{
    const int expected[8] = {32, 32, 24, 24, 16, 8, 4, 1};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(save_depth_bits(i), expected[i]);
    EXPECT_EQ(save_depth_bits(24), 0);
    EXPECT_EQ(save_depth_bits(-1), 0);
}

TEST(Filters, SaveAsIndexMapsToSaveTypesAndBack)
{
    const int types[11] = {3, 0, 2, 3, 4, 5, 6, 7, 9, 10, 11};
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(save_type_from_filter(i), types[i]);
        EXPECT_EQ(filter_from_save_type(types[i]), i);
    }
    EXPECT_EQ(save_type_from_filter(0), 3);
    EXPECT_EQ(save_type_from_filter(11), 3);
    EXPECT_EQ(filter_from_save_type(1), 3);  // FLC is not in the Save Image As list

    char list[2048];
    ASSERT_TRUE(filter_list_for_dialog(save_as_filter().c_str(), list, sizeof list));
    EXPECT_STREQ(list, "Bitmap (*.BMP)");
    EXPECT_STREQ(list + std::strlen("Bitmap (*.BMP)") + 1, "*.BMP");
    EXPECT_FALSE(filter_list_for_dialog(load_filter().c_str(), list, 20));
}

// The lists are made from the codec rows; these are the texts the open and
// save dialogs must show.
TEST(Filters, TheRowsMakeTheDialogsExactTexts)
{
    EXPECT_EQ(load_filter(),
              "All Images (*.*)|*.*|Bitmap (*.BMP)|*.BMP|Flick (*.FLC)|*.FLC|IFF/ILBM (*.IFF)|*.IFF|"
              "JFIF/JPEG (*.JPG)|*.JPG|Paint (*.PCX)|*.PCX|Targa (*.TGA)|*.TGA|TIFF (*.TIF)|*.TIF|TRIM (*.TRM)|*.TRM|"
              "VFW (*.AVI)|*.AVI|Toaster FS (*.FS)|*.FS|GIF (*.GIF)|*.GIF|PNG (*.PNG)|*.PNG|Filmstrip (*.FLM)|*.FLM|"
              "PPM (*.PPM)|*.PPM|RGB (*.RGB)|*.RGB|RAW (*.RAW)|*.RAW|SGI (*.SGI)|*.SGI|Photoshop (*.PSD)|*.PSD|"
              "Softimage (*.PIC)|*.PIC|Wavefront (*.RLA)|*.RLA|Alias (*.PIX)|*.PIX|GX Layers (*ELF)|*.ELF|");
    EXPECT_EQ(save_as_filter(),
              "Bitmap (*.BMP)|*.BMP|IFF/ILBM (*.IFF)|*.IFF|JFIF/JPEG (*.JPG)|*.JPG|Paint (*.PCX)|*.PCX|"
              "Targa (*.TGA)|*.TGA|TIFF (*.TIF)|*.TIF|TRIM (*.TRM)|*.TRM|Toaster FS (*.FS)|*.FS|GIF (*.GIF)|*.GIF|"
              "PNG (*.PNG)|*.PNG|");
    EXPECT_EQ(save_type_filter(),
              "Bitmap (*.BMP)|*.BMP|Flick (*.FLC)|*.FLC|IFF (*.IFF)|*.IFF|JFIF/JPEG (*.JPG)|*.JPG|Paint (*.PCX)|*.PCX|"
              "Targa (*.TGA)|*.TGA|TIFF (*.TIF)|*.TIF|TRIM (*.TRM)|*.TRM|Video for Windows (*.AVI)|*.AVI|"
              "Toaster FS (*.FS)|*.FS||PNG (*.PNG)|*.PNG|");
    const char* const timeline[] = {"All Images (*.*)", "PNG (*.PNG)",    "Bitmap (*.BMP)",    "Filmstrip (*.FLM)",
                                    "Flick (*.FLC)",    "IFF (*.IFF)",    "JPEG (*.JPG)",      "PCX (*.PCX)",
                                    "PPM (*.PPM)",      "Raw (*.RAW)",    "RGB (*.RGB)",       "Targa (*.TGA)",
                                    "TIFF (*.TIF)",     "Toaster FS (*.FS)", "TRIM (*.TRM)",   "Video (*.AVI)",
                                    " GIF (*.GIF)",     "Photoshop (*.PSD)", "SGI (*.SGI)"};
    std::vector<FilterPair> pairs = timeline_filters();
    ASSERT_EQ(pairs.size(), std::size(timeline));
    for (size_t i = 0; i < pairs.size(); ++i)
        EXPECT_STREQ(pairs[i].label, timeline[i]);
    EXPECT_STREQ(pairs[1].pattern, "*.PNG");

    // The dialogs offer only what works: every offered type has its reader or writer.
    const std::string writable = save_as_filter(true);
    for (int type : save_as_types(true))
        EXPECT_NE(codec_for_save_type(type)->write, nullptr);
    EXPECT_NE(writable.find("PNG (*.PNG)"), std::string::npos);
    const std::string readable = load_filter(true);
    EXPECT_NE(readable.find("Bitmap (*.BMP)"), std::string::npos);
    EXPECT_LE(readable.size(), load_filter().size());
}

TEST(Codecs, TypeNamesAndDispatchOrderComeFromTheRows)
{
    const char* const tags[] = {"BMP", "FLC", "IFF", "JPG", "PCX", "TGA", "TIFF", "TRM", "AVI",
                                "FS",  "GIF", "PNG", "FLM", "PPM", "RGB", "RAW", "SGI",  "PSD"};
    for (int code = 0; code <= FMT_PSD; ++code)
        EXPECT_STREQ(image_format_tag(code), tags[code]) << code;
    EXPECT_EQ(image_format_tag(FMT_ELF), nullptr);
    EXPECT_STREQ(image_type_name(FMT_TIFF), "TIF");
    EXPECT_STREQ(image_type_name(FMT_MNG_ANIM), "MNG");
    EXPECT_STREQ(image_type_name(FMT_GIF_ANIM), "GIF");
    // Twenty-seven tests, each at its own step, tried in step order.
    int n = 0;
    const DispatchProbe* order = dispatch_probes(&n);
    ASSERT_EQ(n, 27);
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(order[i].probe->step, i + 1);
    EXPECT_EQ(order[0].codec->id, CODEC_AVI);
    EXPECT_EQ(order[26].codec->id, CODEC_JPEG);
    // Each save type has one writer row.
    for (int type = 0; type <= FMT_PNG; ++type)
        EXPECT_EQ(codec_for_save_type(type)->save_type, type);
}

TEST(Extension, EnsureExtensionComparesWithoutCase)
{
    char name[32] = "picture.BMP";
    EnsureExtension(name, sizeof name, ".bmp");
    EXPECT_STREQ(name, "picture.BMP");
    char bare[32] = "picture";
    EnsureExtension(bare, sizeof bare, ".bmp");
    EXPECT_STREQ(bare, "picture.bmp");
    char full[10] = "123456789";
    EnsureExtension(full, sizeof full, ".bmp");
    EXPECT_STREQ(full, "123456789");
}

namespace {
int g_alpha_seen = -1;
int spy_writer(Image* image, const char* name, const SaveRequest&)
{
    g_alpha_seen = image->alpha;
    if (FILE* f = std::fopen(name, "wb"))
        std::fclose(f);
    return 0;
}
} // namespace

TEST_F(FormatTest, SaveAdjustsAlphaPerTypeAndRestoresIt)
{
    // The rows go back as they were: the tests after this one write real files.
    const Codec jpeg = codec_register(CODEC_JPEG, nullptr, spy_writer);
    const Codec tiff = codec_register(CODEC_TIFF, nullptr, spy_writer);
    Image* image = image_new(4, 4, "test");
    settings().save_type = FMT_JPG;
    settings().jpeg_quality = 90;
    EXPECT_EQ(save_image(image, path("q90").c_str()), 0);
    EXPECT_EQ(g_alpha_seen, 1);
    settings().jpeg_quality = 89;
    EXPECT_EQ(save_image(image, path("q89").c_str()), 0);
    EXPECT_EQ(g_alpha_seen, 0);
    EXPECT_EQ(image->alpha, 0);

    image->alpha = 1;
    settings().save_type = FMT_TIFF;
    settings().save_depth = 2;
    EXPECT_EQ(save_image(image, path("t").c_str()), 0);
    EXPECT_EQ(g_alpha_seen, 0);
    settings().save_depth = 0;
    EXPECT_EQ(save_image(image, path("t").c_str()), 0);
    EXPECT_EQ(g_alpha_seen, 1);
    EXPECT_EQ(image->alpha, 1);
    codec_restore(jpeg);
    codec_restore(tiff);
}

TEST_F(FormatTest, SaveRecordsWhatTheImageWasSavedAs)
{
    Image* image = image_new(5, 3, "test");
    image->changes = 4;
    settings().save_type = FMT_BMP;
    settings().save_depth = 2;
    settings().save_compress = 1;
    char name[kImagePathMax];
    std::snprintf(name, sizeof name, "%s", path("out").c_str());
    ASSERT_EQ(SaveImageFile(image, name), 0);
    EXPECT_EQ(std::string(name), path("out.bmp"));
    EXPECT_EQ(std::string(image->path), path("out.bmp"));
    EXPECT_EQ(image->changes, 0);
    EXPECT_EQ(image->bits, 24);
    EXPECT_EQ(image->saved_compress, 1);

    // An image with a path keeps it; Save Image As takes the new one.
    std::snprintf(name, sizeof name, "%s", path("second.BMP").c_str());
    ASSERT_EQ(SaveImageFile(image, name), 0);
    EXPECT_EQ(std::string(name), path("second.BMP"));
    EXPECT_EQ(std::string(image->path), path("out.bmp"));
    ASSERT_EQ(save_image_as(image, name), 0);
    EXPECT_EQ(std::string(image->path), path("second.BMP"));
    EXPECT_STREQ(image->name, "second.BMP");
    EXPECT_STREQ(image->format, "BMP");

    settings().save_type = 12;  // film files are not saved as single images
    std::snprintf(name, sizeof name, "%s", path("f").c_str());
    EXPECT_EQ(SaveImageFile(image, name), 1);
    EXPECT_NE(boxes().find("Message 103: Cannot save in this file type."), std::string::npos);
}

TEST_F(FormatTest, MissingLibrariesAndExportsAreReported)
{
    setenv("GLIMVQ_LIB_DIR", folder_.c_str(), 1);
    EXPECT_EQ(LoadViaDll(path("x.jpg").c_str(), "VQLDJPEG.DLL"), nullptr);
    EXPECT_NE(boxes().find("Message 075: The loader for this file type was not found. " + folder_ + "/vqldjpeg.so"),
              std::string::npos)
        << boxes();
    // The JPEG saver has no load export.
    setenv("GLIMVQ_LIB_DIR", GLIMVQ_BIN_DIR, 1);
    EXPECT_EQ(LoadViaDll(path("x.jpg").c_str(), "VQsvJPEG.dll"), nullptr);
    EXPECT_NE(boxes().find("Message 076: The loader for this file type was corrupted."), std::string::npos);
    unsetenv("GLIMVQ_LIB_DIR");
}
