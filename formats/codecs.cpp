#include "formats/codecs.h"

#include "core/image.h"
#include "formats/load_save.h"

#include <cstring>
#include <iterator>

namespace {

Image* read_bmp(const LoadRequest& r) { return ReadBmp(r.stream); }
Image* read_png(const LoadRequest& r) { return ReadPng(r.stream, r.name); }
Image* read_jpeg(const LoadRequest& r) { return LoadViaDll(r.name, "VQLDJPEG.DLL"); }
Image* read_tiff(const LoadRequest& r) { return LoadViaDll(r.name, "VQldTIFF.dll"); }
Image* read_ppm_file(const LoadRequest& r) { return read_ppm(r.stream, r.file_size); }
Image* read_iraw_file(const LoadRequest& r) { return read_iraw(r.stream, r.file_size); }
Image* read_pix(const LoadRequest& r) { return read_picture4(r.stream, false); }
Image* read_pdx(const LoadRequest& r) { return read_picture4(r.stream, true); }

int write_bmp(Image* image, const char* name, const SaveRequest& r) { return WriteBmp(image, name, r.bits); }
int write_png(Image* image, const char* name, const SaveRequest& r) { return WritePng(image, name, r.bits); }
int write_jpeg(Image* image, const char* name, const SaveRequest& r)
{
    return SaveViaDll(image, name, "VQsvJPEG.dll", r.quality);
}
int write_tiff(Image* image, const char* name, const SaveRequest& r)
{
    return SaveViaDll(image, name, "VQldTIFF.dll", r.compress);
}

// clang-format off
Codec g_codecs[] = {
    //  id               title                code             save type      extension  reader          writer
    {CODEC_BMP,      "Bitmap",            FMT_BMP,         FMT_BMP,       ".bmp",    read_bmp,       write_bmp},
    {CODEC_FLC,      "FLI/FLC",           FMT_FLC,         FMT_FLC,       ".flc",    nullptr,        nullptr},
    {CODEC_IFF,      "IFF/ILBM",          -1,              FMT_IFF,       ".iff",    nullptr,        nullptr},
    {CODEC_JPEG,     "JPEG",              FMT_JPG,         FMT_JPG,       ".jpg",    read_jpeg,      write_jpeg},
    {CODEC_PCX,      "PCX",               FMT_PCX,         FMT_PCX,       ".pcx",    nullptr,        nullptr},
    {CODEC_TGA,      "Targa",             FMT_TGA,         FMT_TGA,       ".tga",    nullptr,        nullptr},
    {CODEC_TIFF,     "TIFF",              FMT_TIFF,        FMT_TIFF,      ".tif",    read_tiff,      write_tiff},
    {CODEC_TRIM,     "TRIM",              FMT_TRM,         FMT_TRM,       ".trm",    nullptr,        nullptr},
    {CODEC_AVI,      "AVI",               FMT_AVI,         FMT_AVI,       ".avi",    nullptr,        nullptr},
    {CODEC_FS,       "Toaster frame store", FMT_FS,        FMT_FS,        ".fs",     nullptr,        nullptr},
    {CODEC_GIF,      "GIF",               FMT_GIF,         FMT_GIF,       ".gif",    nullptr,        nullptr},
    {CODEC_PNG,      "PNG",               FMT_PNG,         FMT_PNG,       ".png",    read_png,       write_png},
    {CODEC_FILM,     "Film",              FMT_FLM,         -1,            ".flm",    nullptr,        nullptr},
    {CODEC_PPM,      "PPM",               FMT_PPM,         -1,            ".ppm",    read_ppm_file,  nullptr},
    {CODEC_RAW,      "Raw",               FMT_RAW,         -1,            ".raw",    nullptr,        nullptr},
    {CODEC_SGI,      "SGI",               FMT_SGI,         -1,            ".sgi",    nullptr,        nullptr},
    {CODEC_PSD,      "Photoshop",         FMT_PSD,         -1,            ".psd",    nullptr,        nullptr},
    {CODEC_SOFTIMAGE,"Softimage PIC",     18,              -1,            ".pic",    nullptr,        nullptr},
    {CODEC_RLA,      "Wavefront RLA",     19,              -1,            ".rla",    nullptr,        nullptr},
    {CODEC_ALIAS,    "Alias PIX",         20,              -1,            ".pix",    nullptr,        nullptr},
    {CODEC_LAYERED,  "Layered (ELF)",     21,              -1,            ".elf",    nullptr,        nullptr},
    // I-RAW images keep the code of a new record.
    {CODEC_IRAW,     "I-RAW",             -1,              -1,            ".raw",    read_iraw_file, nullptr},
    {CODEC_PIX,      "4-bit picture",     FMT_TGA,         -1,            ".pix",    read_pix,       nullptr},
    {CODEC_PDX,      "4-bit picture",     FMT_TGA,         -1,            ".pdx",    read_pdx,       nullptr},
};
// clang-format on
static_assert(std::size(g_codecs) == CODEC_COUNT, "one row per codec");

} // namespace

const Codec& codec(CodecId id)
{
    for (const Codec& c : g_codecs)
        if (c.id == id)
            return c;
    return g_codecs[0];
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
    for (const Codec& c : g_codecs)
        if (c.code == code)
            return c.title;
    return nullptr;
}

void codec_register(CodecId id, ReadFn read, WriteFn write)
{
    for (Codec& c : g_codecs) {
        if (c.id != id)
            continue;
        if (read)
            c.read = read;
        if (write)
            c.write = write;
    }
}

// ---- the open and save dialogs ----------------------------------------------

const char* const kLoadFilter =
    "All Images (*.*)|*.*|Bitmap (*.BMP)|*.BMP|Flick (*.FLC)|*.FLC|IFF/ILBM (*.IFF)|*.IFF|"
    "JFIF/JPEG (*.JPG)|*.JPG|Paint (*.PCX)|*.PCX|Targa (*.TGA)|*.TGA|TIFF (*.TIF)|*.TIF|TRIM (*.TRM)|*.TRM|"
    "VFW (*.AVI)|*.AVI|Toaster FS (*.FS)|*.FS|GIF (*.GIF)|*.GIF|PNG (*.PNG)|*.PNG|Filmstrip (*.FLM)|*.FLM|"
    "PPM (*.PPM)|*.PPM|RGB (*.RGB)|*.RGB|RAW (*.RAW)|*.RAW|SGI (*.SGI)|*.SGI|Photoshop (*.PSD)|*.PSD|"
    "Softimage (*.PIC)|*.PIC|Wavefront (*.RLA)|*.RLA|Alias (*.PIX)|*.PIX|GX Layers (*ELF)|*.ELF|";

const char* const kSaveAsFilter =
    "Bitmap (*.BMP)|*.BMP|IFF/ILBM (*.IFF)|*.IFF|JFIF/JPEG (*.JPG)|*.JPG|Paint (*.PCX)|*.PCX|"
    "Targa (*.TGA)|*.TGA|TIFF (*.TIF)|*.TIF|TRIM (*.TRM)|*.TRM|Toaster FS (*.FS)|*.FS|GIF (*.GIF)|*.GIF|"
    "PNG (*.PNG)|*.PNG|";

const char* const kSaveTypeFilter =
    "Bitmap (*.BMP)|*.BMP|Flick (*.FLC)|*.FLC|IFF (*.IFF)|*.IFF|JFIF/JPEG (*.JPG)|*.JPG|Paint (*.PCX)|*.PCX|"
    "Targa (*.TGA)|*.TGA|TIFF (*.TIF)|*.TIF|TRIM (*.TRM)|*.TRM|Video for Windows (*.AVI)|*.AVI|"
    "Toaster FS (*.FS)|*.FS||PNG (*.PNG)|*.PNG|";

const char* const kSaveAsTitle = "Save Image As...";

const FilterPair kTimelineFilters[] = {
    {"All Images (*.*)", "*.*"},   {"PNG (*.PNG)", "*.PNG"},       {"Bitmap (*.BMP)", "*.BMP"},
    {"Filmstrip (*.FLM)", "*.FLM"}, {"Flick (*.FLC)", "*.FLC"},     {"IFF (*.IFF)", "*.IFF"},
    {"JPEG (*.JPG)", "*.JPG"},     {"PCX (*.PCX)", "*.PCX"},       {"PPM (*.PPM)", "*.PPM"},
    {"Raw (*.RAW)", "*.RAW"},      {"RGB (*.RGB)", "*.RGB"},       {"Targa (*.TGA)", "*.TGA"},
    {"TIFF (*.TIF)", "*.TIF"},     {"Toaster FS (*.FS)", "*.FS"},  {"TRIM (*.TRM)", "*.TRM"},
    {"Video (*.AVI)", "*.AVI"},    {" GIF (*.GIF)", "*.GIF"},      {"Photoshop (*.PSD)", "*.PSD"},
    {"SGI (*.SGI)", "*.SGI"},      {nullptr, nullptr},
};

namespace {
// Save Image As filter index (one-based) → "SaveType".
const int kFilterSaveTypes[] = {0, 2, 3, 4, 5, 6, 7, 9, 10, 11};
} // namespace

int save_type_from_filter(int filter_index)
{
    if (filter_index >= 1 && filter_index <= 10)
        return kFilterSaveTypes[filter_index - 1];
    return FMT_JPG;
}

int filter_from_save_type(int save_type)
{
    for (int i = 0; i < 10; ++i)
        if (kFilterSaveTypes[i] == save_type)
            return i + 1;
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
