#include "formats/codecs.h"

#include "core/image.h"
#include "formats/flic.h"
#include "formats/gif.h"
#include "formats/load_save.h"
#include "formats/alias_pix.h"
#include "formats/avi.h"
#include "formats/film.h"
#include "formats/iff.h"
#include "formats/pcx.h"
#include "formats/psd.h"
#include "formats/raw.h"
#include "formats/rla.h"
#include "formats/sgi.h"
#include "formats/softimage.h"
#include "formats/tga.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

Image* read_bmp(const LoadRequest& r) { return ReadBmp(r.stream, r.name); }
Image* read_png(const LoadRequest& r) { return ReadPng(r.stream, r.name); }
Image* read_jpeg(const LoadRequest& r) { return LoadViaDll(r.name, "VQLDJPEG.DLL"); }
Image* read_tiff(const LoadRequest& r) { return LoadViaDll(r.name, "VQldTIFF.dll"); }
Image* read_ppm_file(const LoadRequest& r) { return read_ppm(r.stream, r.file_size, r.name); }
Image* read_iraw_file(const LoadRequest& r) { return read_iraw(r.stream, r.file_size, r.name); }
Image* read_pix(const LoadRequest& r) { return read_picture4(r.stream, false, r.file_size, r.name); }
Image* read_pdx(const LoadRequest& r) { return read_picture4(r.stream, true, r.file_size, r.name); }
Image* read_tga(const LoadRequest& r) { return ReadTarga(r.stream, r.name); }
Image* read_iff(const LoadRequest& r) { return ReadIff(r.stream, r.name); }
Image* read_pcx(const LoadRequest& r) { return ReadPcx(r.stream, r.name); }

int info_bmp(const LoadRequest& r, ImageInfo* i) { return InfoBmp(r.stream, r.name, i); }
int info_png(const LoadRequest& r, ImageInfo* i) { return InfoPng(r.stream, r.name, i); }
int info_jpeg(const LoadRequest& r, ImageInfo* i) { return InfoViaDll(r.name, "VQLDJPEG.DLL", i); }
int info_tiff(const LoadRequest& r, ImageInfo* i) { return InfoViaDll(r.name, "VQldTIFF.dll", i); }
int info_ppm_file(const LoadRequest& r, ImageInfo* i) { return info_ppm(r.stream, r.file_size, r.name, i); }
int info_iraw_file(const LoadRequest& r, ImageInfo* i) { return info_iraw(r.stream, r.file_size, r.name, i); }
int info_pix(const LoadRequest& r, ImageInfo* i) { return info_picture4(false, r.file_size, r.name, i); }
int info_pdx(const LoadRequest& r, ImageInfo* i) { return info_picture4(true, r.file_size, r.name, i); }

int write_bmp(Image* image, const char* name, const SaveRequest& r) { return WriteBmp(image, name, r.bits); }
int write_png(Image* image, const char* name, const SaveRequest& r)
{
    return WritePng(image, name, r.bits, r.compress);
}
int write_iff(Image* image, const char* name, const SaveRequest& r)
{
    return WriteIff(image, name, false, r.compress, r.bits);
}
int write_trim(Image* image, const char* name, const SaveRequest&) { return WriteIff(image, name, true, 1); }
int write_pcx(Image* image, const char* name, const SaveRequest& r) { return WritePcx(image, name, r.bits); }
int write_tga(Image* image, const char* name, const SaveRequest& r)
{
    return WriteTarga(image, name, r.bits, r.compress);
}
int write_jpeg(Image* image, const char* name, const SaveRequest& r)
{
    return SaveViaDll(image, name, "VQsvJPEG.dll", r.quality);
}
int write_tiff(Image* image, const char* name, const SaveRequest& r)
{
    return SaveViaDll(image, name, "VQldTIFF.dll", r.compress);
}

// clang-format off
// In code order; the rows after ELF have no code of their own (or none at all).
Codec g_codecs[] = {
    // id, title, tag, code, reader sets code, save type, extension, reader, writer,
    // {probes}, load label, pattern, in Save As, save-type label, timeline label, its place
    {CODEC_BMP, "Bitmap", "BMP", FMT_BMP, false, FMT_BMP, ".bmp", read_bmp, write_bmp,
     {{4, is_bmp, nullptr}}, "Bitmap (*.BMP)", "*.BMP", true, "Bitmap (*.BMP)", "Bitmap (*.BMP)", 2, info_bmp},
    {CODEC_FLC, "FLI/FLC", "FLC", FMT_FLC, false, FMT_FLC, ".flc", ReadFlic, write_flic,
     {{16, is_flic, nullptr}}, "Flick (*.FLC)", "*.FLC", false, "Flick (*.FLC)", "Flick (*.FLC)", 4, flic_info},
    {CODEC_IFF, "IFF/ILBM", "IFF", FMT_IFF, true, FMT_IFF, ".iff", read_iff, write_iff,
     {{7, is_iff, nullptr}}, "IFF/ILBM (*.IFF)", "*.IFF", true, "IFF (*.IFF)", "IFF (*.IFF)", 5, iff_info},
    {CODEC_JPEG, "JPEG", "JPG", FMT_JPG, false, FMT_JPG, ".jpg", read_jpeg, write_jpeg,
     {{18, is_jfif, nullptr}, {19, is_exif, nullptr}, {27, is_late_jpeg, nullptr}},
     "JFIF/JPEG (*.JPG)", "*.JPG", true, "JFIF/JPEG (*.JPG)", "JPEG (*.JPG)", 6, info_jpeg},
    {CODEC_PCX, "PCX", "PCX", FMT_PCX, false, FMT_PCX, ".pcx", read_pcx, write_pcx,
     {{17, is_pcx, nullptr}}, "Paint (*.PCX)", "*.PCX", true, "Paint (*.PCX)", "PCX (*.PCX)", 7, pcx_info},
    {CODEC_TGA, "Targa", "TGA", FMT_TGA, false, FMT_TGA, ".tga", read_tga, write_tga,
     {{22, is_targa, nullptr}}, "Targa (*.TGA)", "*.TGA", true, "Targa (*.TGA)", "Targa (*.TGA)", 11, targa_info},
    {CODEC_TIFF, "TIFF", "TIFF", FMT_TIFF, false, FMT_TIFF, ".tif", read_tiff, write_tiff,
     {{8, is_tiff, nullptr}}, "TIFF (*.TIF)", "*.TIF", true, "TIFF (*.TIF)", "TIFF (*.TIF)", 12, info_tiff},
    // TRIM files are read by the IFF reader, which gives them this code.
    {CODEC_TRIM, "TRIM", "TRM", FMT_TRM, false, FMT_TRM, ".trm", nullptr, write_trim,
     {}, "TRIM (*.TRM)", "*.TRM", true, "TRIM (*.TRM)", "TRIM (*.TRM)", 14},
    {CODEC_AVI, "AVI", "AVI", FMT_AVI, false, FMT_AVI, ".avi", ReadAvi, write_avi,
     {{1, is_avi, nullptr}}, "VFW (*.AVI)", "*.AVI", false, "Video for Windows (*.AVI)", "Video (*.AVI)", 15, avi_info},
    // Frame stores load through the IFF reader.
    {CODEC_FS, "Toaster frame store", "FS", FMT_FS, false, FMT_FS, ".fs", nullptr, nullptr,
     {}, "Toaster FS (*.FS)", "*.FS", true, "Toaster FS (*.FS)", "Toaster FS (*.FS)", 13},
    // The list of save types keeps an empty place for GIF.
    {CODEC_GIF, "GIF", "GIF", FMT_GIF, false, FMT_GIF, ".gif", ReadGif, write_gif,
     {{6, is_gif, nullptr}}, "GIF (*.GIF)", "*.GIF", true, "", " GIF (*.GIF)", 16, gif_info},
    {CODEC_PNG, "PNG", "PNG", FMT_PNG, false, FMT_PNG, ".png", read_png, write_png,
     {{25, is_png, nullptr}}, "PNG (*.PNG)", "*.PNG", true, "PNG (*.PNG)", "PNG (*.PNG)", 1, info_png},
    {CODEC_FILM, "Film", "FLM", FMT_FLM, false, -1, ".flm", ReadFilmFrame, nullptr,
     {{9, is_film, nullptr}}, "Filmstrip (*.FLM)", "*.FLM", false, nullptr, "Filmstrip (*.FLM)", 3, film_info},
    {CODEC_PPM, "PPM", "PPM", FMT_PPM, false, -1, ".ppm", read_ppm_file, nullptr,
     {{10, is_ppm, nullptr}}, "PPM (*.PPM)", "*.PPM", false, nullptr, "PPM (*.PPM)", 8, info_ppm_file},
    // No file reaches RGB: its test is the SGI test, which comes first.
    {CODEC_RGB, "RGB", "RGB", FMT_RGB, false, -1, ".rgb", nullptr, nullptr,
     {}, "RGB (*.RGB)", "*.RGB", false, nullptr, "RGB (*.RGB)", 10},
    {CODEC_RAW, "Raw", "RAW", FMT_RAW, false, -1, ".raw", ReadRaw, nullptr,
     {{26, is_raw, nullptr}}, "RAW (*.RAW)", "*.RAW", false, nullptr, "Raw (*.RAW)", 9, raw_info},
    {CODEC_SGI, "SGI", "SGI", FMT_SGI, false, -1, ".sgi", ReadSgi, nullptr,
     {{5, is_sgi, nullptr}}, "SGI (*.SGI)", "*.SGI", false, nullptr, "SGI (*.SGI)", 18, sgi_info},
    {CODEC_PSD, "Photoshop", "PSD", FMT_PSD, false, -1, ".psd", ReadPsd, nullptr,
     {{11, is_psd, nullptr}}, "Photoshop (*.PSD)", "*.PSD", false, nullptr, "Photoshop (*.PSD)", 17, psd_info},
    {CODEC_SOFTIMAGE, "Softimage PIC", nullptr, FMT_PIC, false, -1, ".pic", ReadSoftimage, nullptr,
     {{13, is_softimage, nullptr}}, "Softimage (*.PIC)", "*.PIC", false, nullptr, nullptr, 0, softimage_info},
    {CODEC_RLA, "Wavefront RLA", nullptr, FMT_RLA, false, -1, ".rla", ReadRla, nullptr,
     {{14, is_rla, nullptr}}, "Wavefront (*.RLA)", "*.RLA", false, nullptr, nullptr, 0, rla_info},
    {CODEC_ALIAS, "Alias PIX", nullptr, FMT_ALIAS, false, -1, ".pix", ReadAliasPix, nullptr,
     {{15, is_alias, nullptr}}, "Alias (*.PIX)", "*.PIX", false, nullptr, nullptr, 0, alias_pix_info},
    // The layers subsystem enters the reader at start-up.
    {CODEC_LAYERED, "Layered (ELF)", nullptr, FMT_ELF, false, -1, ".elf", nullptr, nullptr,
     {{12, is_layered, nullptr}}, "GX Layers (*ELF)", "*.ELF", false, nullptr, nullptr, 0},
    // The film strip's animated export; a single MNG file is not read.
    {CODEC_MNG, "MNG", "MNG", FMT_MNG_ANIM, false, -1, ".mng", nullptr, nullptr,
     {{3, is_mng, "MNG files cannot be read."}}, nullptr, nullptr, false, nullptr, nullptr, 0},
    // I-RAW images keep the code of a new record.
    {CODEC_IRAW, "I-RAW", nullptr, -1, true, -1, ".raw", read_iraw_file, nullptr,
     {{2, is_iraw, nullptr}}, nullptr, nullptr, false, nullptr, nullptr, 0, info_iraw_file},
    {CODEC_PIX, "4-bit picture", nullptr, FMT_TGA, false, -1, ".pix", read_pix, nullptr,
     {{23, is_pix, nullptr}}, nullptr, nullptr, false, nullptr, nullptr, 0, info_pix},
    {CODEC_PDX, "4-bit picture", nullptr, FMT_TGA, false, -1, ".pdx", read_pdx, nullptr,
     {{24, is_pdx, nullptr}}, nullptr, nullptr, false, nullptr, nullptr, 0, info_pdx},
    {CODEC_JPEG_STREAM, "JPEG stream", nullptr, -1, false, -1, "", nullptr, nullptr,
     {{20, is_jpeg_stream, "JPEGStrm file: %s"}}, nullptr, nullptr, false, nullptr, nullptr, 0},
    {CODEC_MPEG, "MPEG", nullptr, -1, false, -1, "", nullptr, nullptr,
     {{21, is_mpeg, "MPEG file: %s"}}, nullptr, nullptr, false, nullptr, nullptr, 0},
};
// clang-format on
static_assert(std::size(g_codecs) == CODEC_COUNT, "one row per codec");

struct DispatchOrder {
    DispatchProbe probes[3 * CODEC_COUNT];
    int count = 0;
    DispatchOrder()
    {
        for (const Codec& c : g_codecs)
            for (const CodecProbe& p : c.probes)
                if (p.step > 0 && p.test)
                    probes[count++] = {&p, &c};
        std::sort(probes, probes + count,
                  [](const DispatchProbe& a, const DispatchProbe& b) { return a.probe->step < b.probe->step; });
    }
};

// The image record asks the rows for the type names of its format codes.
struct TypeNames {
    TypeNames() { image_set_type_names(codec_type_name); }
} g_type_names;

bool readable(const Codec& c)
{
    // TRIM and frame-store files come in through the IFF reader.
    if (c.id == CODEC_TRIM || c.id == CODEC_FS)
        return codec(CODEC_IFF).read != nullptr;
    return c.read != nullptr;
}

void add_filter(std::string& list, const char* label, const char* pattern)
{
    list.append(label).append("|").append(pattern).append("|");
}

} // namespace

// Named by formats/module.cmake so that every program links the rows and
// their start-up registration.
extern "C" {
int codecs_link_anchor = 0;
}

const Codec& codec(CodecId id)
{
    for (const Codec& c : g_codecs)
        if (c.id == id)
            return c;
    return g_codecs[0];
}

const Codec* codec_rows(int* count)
{
    *count = static_cast<int>(std::size(g_codecs));
    return g_codecs;
}

const Codec* codec_for_save_type(int save_type)
{
    if (save_type < 0)
        return nullptr;
    for (const Codec& c : g_codecs)
        if (c.save_type == save_type)
            return &c;
    return nullptr;
}

const char* codec_title_for_code(int code)
{
    if (code < 0)
        return nullptr;
    for (const Codec& c : g_codecs)
        if (c.code == code)
            return c.title;
    return nullptr;
}

const char* codec_type_name(int code)
{
    if (code == FMT_GIF_ANIM)  // the animated form of GIF
        code = FMT_GIF;
    if (code < 0)
        return nullptr;
    for (const Codec& c : g_codecs)
        if (c.code == code && c.tag)
            return c.tag;
    return nullptr;
}

Codec codec_register(CodecId id, ReadFn read, WriteFn write, InfoFn info)
{
    for (Codec& c : g_codecs) {
        if (c.id != id)
            continue;
        Codec before = c;
        if (read)
            c.read = read;
        if (write)
            c.write = write;
        if (info)
            c.info = info;
        return before;
    }
    return g_codecs[0];
}

void codec_restore(const Codec& row)
{
    for (Codec& c : g_codecs)
        if (c.id == row.id)
            c = row;
}

const DispatchProbe* dispatch_probes(int* count)
{
    static const DispatchOrder order;
    *count = order.count;
    return order.probes;
}

// ---- the open and save dialogs ----------------------------------------------

std::string load_filter(bool readable_only)
{
    std::string list;
    add_filter(list, "All Images (*.*)", "*.*");
    for (const Codec& c : g_codecs)
        if (c.load_label && (!readable_only || readable(c)))
            add_filter(list, c.load_label, c.pattern);
    return list;
}

std::vector<int> save_as_types(bool writable_only)
{
    std::vector<int> types;
    for (const Codec& c : g_codecs)
        if (c.save_as && c.save_type >= 0 && (!writable_only || c.write))
            types.push_back(c.save_type);
    return types;
}

std::string save_as_filter(bool writable_only)
{
    std::string list;
    for (int type : save_as_types(writable_only)) {
        const Codec* c = codec_for_save_type(type);
        add_filter(list, c->load_label, c->pattern);
    }
    return list;
}

std::string save_type_filter()
{
    std::string list;
    for (const Codec& c : g_codecs) {
        if (!c.save_type_label)
            continue;
        if (*c.save_type_label)
            add_filter(list, c.save_type_label, c.pattern);
        else
            list.append("|");
    }
    return list;
}

const char* const kSaveAsTitle = "Save Image As...";

std::vector<FilterPair> timeline_filters()
{
    std::vector<const Codec*> rows;
    for (const Codec& c : g_codecs)
        if (c.timeline_label)
            rows.push_back(&c);
    std::sort(rows.begin(), rows.end(), [](const Codec* a, const Codec* b) { return a->timeline_order < b->timeline_order; });
    std::vector<FilterPair> pairs{{"All Images (*.*)", "*.*"}};
    for (const Codec* c : rows)
        pairs.push_back({c->timeline_label, c->pattern});
    return pairs;
}

int save_type_from_filter(int filter_index)
{
    const std::vector<int> types = save_as_types();
    if (filter_index >= 1 && filter_index <= static_cast<int>(types.size()))
        return types[static_cast<size_t>(filter_index - 1)];
    return FMT_JPG;
}

int filter_from_save_type(int save_type)
{
    const std::vector<int> types = save_as_types();
    for (size_t i = 0; i < types.size(); ++i)
        if (types[i] == save_type)
            return static_cast<int>(i) + 1;
    return 3;
}

bool filter_list_for_dialog(const char* list, char* out, size_t size)
{
    size_t n = std::strlen(list);
    if (n + 2 > size)
        return false;
    for (size_t i = 0; i < n; ++i)
        out[i] = list[i] == '|' ? '\0' : list[i];
    out[n] = '\0';
    out[n + 1] = '\0';
    return true;
}
