#include "formats/load_save.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/settings.h"

#include <cctype>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

FormatsState g_formats = [] {
    FormatsState s{};
    // Half the machine's memory: beyond that an image cannot be worked on anyway.
    long pages = sysconf(_SC_PHYS_PAGES);
    long page = sysconf(_SC_PAGE_SIZE);
    s.max_image_bytes = pages > 0 && page > 0 ? pages / 2 * page : 1L << 31;
    return s;
}();

bool equal_nocase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

const char* base_name(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void copy_text(char* out, size_t size, const char* text)
{
    std::snprintf(out, size, "%s", text);
}

// What the identification tests look at.  The headers are read a little
// longer than the 12 bytes the tests name, because the ".orf" test looks at
// bytes 6 to 13; bytes beyond the end of the file read as 0.
struct Header {
    const char* name;
    const char* ext;
    FILE* stream;
    uint8_t h[16];
    char s82[9];
    uint8_t g[16];
};

bool starts(const uint8_t* p, const char* text)
{
    return std::memcmp(p, text, std::strlen(text)) == 0;
}

bool is_iraw(const Header& f) { return starts(f.h, "I24"); }
bool is_avi(const Header& f) { return starts(f.h, "RIFF") && std::memcmp(f.h + 8, "AVI", 3) == 0; }
bool is_mng(const Header& f)
{
    static const uint8_t tail[4] = {0x0D, 0x0A, 0x1A, 0x0A};
    return f.h[0] == 0x8A && std::toupper(f.h[1]) == 'M' && std::toupper(f.h[2]) == 'N' &&
           std::toupper(f.h[3]) == 'G' && std::memcmp(f.h + 4, tail, 4) == 0;
}
bool is_bmp(const Header& f) { return starts(f.h, "BM"); }
bool is_sgi(const Header& f) { return f.h[0] == 0x01 && f.h[1] == 0xDA; }
bool is_gif(const Header& f) { return starts(f.h, "GIF"); }
bool is_iff(const Header& f) { return starts(f.h, "FORM") || starts(f.h, "ILBM"); }
bool is_tiff(const Header& f)
{
    if (equal_nocase(f.ext, ".tif"))
        return true;
    if (!equal_nocase(f.ext, ".orf"))
        return false;
    auto tiff_order = [](const uint8_t* p) { return starts(p, "II") || starts(p, "MM"); };
    // Canon's raw files carry a TIFF byte order too, but are no TIFF.
    bool canon = std::memcmp(f.h + 6, "HEAPCCDR", 8) == 0 || std::memcmp(f.g + 6, "HEAPCCDR", 8) == 0;
    return (tiff_order(f.h) || tiff_order(f.g)) && !canon;
}
bool is_film(const Header& f) { return starts(f.h, "MFLM"); }
bool is_ppm(const Header& f) { return starts(f.h, "P6"); }
bool is_psd(const Header& f) { return starts(f.h, "8BPS") && get_be16(f.h + 4) == 1; }
bool is_layered(const Header& f)
{
    return get_be32(f.h) == 0x1BAB00FEu && get_be32(f.h + 4) <= 3;
}
bool read_at(FILE* stream, long offset, uint8_t* out, size_t count)
{
    std::memset(out, 0, count);
    if (std::fseek(stream, offset, SEEK_SET) != 0)
        return false;
    return std::fread(out, 1, count, stream) == count;
}
bool is_softimage(const Header& f)
{
    static const uint8_t magic[4] = {0x53, 0x80, 0xF6, 0x34};
    uint8_t pict[4];
    return std::memcmp(f.h, magic, 4) == 0 && read_at(f.stream, 88, pict, 4) && std::memcmp(pict, "PICT", 4) == 0;
}
bool is_rla(const Header& f)
{
    // The window rectangles, channel counts and revision of a 740-byte header.
    uint8_t r[28];
    if (!read_at(f.stream, 0, r, sizeof r) || std::fseek(f.stream, 739, SEEK_SET) != 0 ||
        std::fgetc(f.stream) == EOF)
        return false;
    auto s16 = [&](int at) { return static_cast<int16_t>(get_be16(r + at)); };
    int left = s16(0), right = s16(2), bottom = s16(4), top = s16(6);
    int aleft = s16(8), aright = s16(10), abottom = s16(12), atop = s16(14);
    int storage = s16(18), channels = s16(20), mattes = s16(22), revision = get_be16(r + 26);
    return right >= left && top >= bottom && aright >= aleft && atop >= abottom && aleft >= left &&
           aright <= right && abottom >= bottom && atop <= top && storage == 0 && channels >= 1 && channels <= 3 &&
           mattes >= 0 && mattes <= 1 && revision == 0xFFFE;
}
bool is_alias(const Header& f)
{
    size_t n = std::strlen(f.name);
    int depth = get_be16(f.h + 8);
    return n >= 4 && equal_nocase(f.name + n - 4, ".pix") && (depth == 8 || depth == 24) && get_be16(f.h) > 0 &&
           get_be16(f.h + 2) > 0;
}
bool is_flic(const Header& f) { return f.h[5] == 0xAF && (f.h[4] == 0x11 || f.h[4] == 0x12); }
bool is_pcx(const Header& f) { return f.h[0] == 10; }
bool jfif_at(const uint8_t* p)
{
    static const uint8_t soi[4] = {0xFF, 0xD8, 0xFF, 0xE0};
    return std::memcmp(p, soi, 4) == 0 && std::memcmp(p + 6, "JFIF", 4) == 0;
}
bool exif_at(const uint8_t* p)
{
    static const uint8_t soi[4] = {0xFF, 0xD8, 0xFF, 0xE1};
    return std::memcmp(p, soi, 4) == 0 && std::toupper(p[6]) == 'E' && std::toupper(p[7]) == 'X' &&
           std::toupper(p[8]) == 'I' && std::toupper(p[9]) == 'F';
}
bool is_jfif(const Header& f) { return jfif_at(f.h) || jfif_at(f.g); }
bool is_exif(const Header& f) { return exif_at(f.h) || exif_at(f.g); }
bool is_jpeg_stream(const Header& f) { return std::strcmp(f.s82, "JPEGStrm") == 0; }
bool is_mpeg(const Header& f)
{
    static const uint8_t pack[4] = {0x00, 0x00, 0x01, 0xBA};
    return std::memcmp(f.h, pack, 4) == 0;
}
bool is_targa(const Header& f) { return f.h[2] == 1 || f.h[2] == 2 || f.h[2] == 9 || f.h[2] == 10; }
bool is_pix(const Header& f) { return std::strstr(f.name, ".pix") != nullptr; }
bool is_pdx(const Header& f) { return std::strstr(f.name, ".pdx") != nullptr; }
bool is_png(const Header& f)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return std::memcmp(f.h, signature, 8) == 0;
}
bool is_raw(const Header& f)
{
    for (const char* ext : {".raw", ".RAW", ".red", ".RED"})
        if (std::strstr(f.name, ext))
            return true;
    return false;
}
bool is_late_jpeg(const Header& f)
{
    uint8_t g[12];
    read_at(f.stream, 2780, g, sizeof g);
    return std::memcmp(g + 6, "JFIF", 4) == 0 || std::memcmp(g + 4, "JFIF", 4) == 0 ||
           (f.h[0] == 0xFF && f.h[1] == 0xD8 && f.h[2] == 0xFF);
}

enum class Refusal { None, Mng, JpegStream, Mpeg };

struct Probe {
    bool (*test)(const Header&);
    CodecId codec;
    Refusal refusal;
};

// The identification tests, in the order they are tried; the first match wins.
const Probe kProbes[] = {
    {is_avi, CODEC_AVI, Refusal::None},
    {is_iraw, CODEC_IRAW, Refusal::None},
    {is_mng, CODEC_COUNT, Refusal::Mng},
    {is_bmp, CODEC_BMP, Refusal::None},
    {is_sgi, CODEC_SGI, Refusal::None},
    {is_gif, CODEC_GIF, Refusal::None},
    {is_iff, CODEC_IFF, Refusal::None},
    {is_tiff, CODEC_TIFF, Refusal::None},
    {is_film, CODEC_FILM, Refusal::None},
    {is_ppm, CODEC_PPM, Refusal::None},
    {is_psd, CODEC_PSD, Refusal::None},
    {is_layered, CODEC_LAYERED, Refusal::None},
    {is_softimage, CODEC_SOFTIMAGE, Refusal::None},
    {is_rla, CODEC_RLA, Refusal::None},
    {is_alias, CODEC_ALIAS, Refusal::None},
    {is_flic, CODEC_FLC, Refusal::None},
    {is_pcx, CODEC_PCX, Refusal::None},
    {is_jfif, CODEC_JPEG, Refusal::None},
    {is_exif, CODEC_JPEG, Refusal::None},
    {is_jpeg_stream, CODEC_COUNT, Refusal::JpegStream},
    {is_mpeg, CODEC_COUNT, Refusal::Mpeg},
    {is_targa, CODEC_TGA, Refusal::None},
    {is_pix, CODEC_PIX, Refusal::None},
    {is_pdx, CODEC_PDX, Refusal::None},
    {is_png, CODEC_PNG, Refusal::None},
    {is_raw, CODEC_RAW, Refusal::None},
    {is_late_jpeg, CODEC_JPEG, Refusal::None},
};

void log_header(const Header& f)
{
    log_printf("Image header = %02X %02X %02X %02X %02X %02X\n", f.h[0], f.h[1], f.h[2], f.h[3], f.h[4], f.h[5]);
}

// Clears the guard and stops the timing window on every way out of a load.
struct LoadScope {
    bool guarded = false;
    ~LoadScope()
    {
        if (guarded)
            g_formats.loading = false;
        if (g_formats.chrono_stop)
            g_formats.chrono_stop();
    }
};

struct FileCloser {
    FILE* f;
    ~FileCloser()
    {
        if (f)
            std::fclose(f);
    }
};

// Steps 5: the file where it was named, else the same name in the project
// folder, else in the image folder.
bool find_file(char* name)
{
    if (FILE* f = std::fopen(name, "rb")) {
        std::fclose(f);
        return true;
    }
    const char* base = base_name(name);
    for (const std::string* folder : {&settings().proj_path, &settings().image_path}) {
        if (folder->empty())
            continue;
        std::string path = *folder;
        if (path.back() != '/')
            path += '/';
        path += base;
        if (path.size() >= static_cast<size_t>(kImagePathMax))
            continue;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
            copy_text(name, kImagePathMax, path.c_str());
            return true;
        }
    }
    return false;
}

void finish_image(Image* image, const char* name, int code)
{
    if (image->hres_num == 0 || image->hres_den == 0 || image->vres_num == 0 || image->vres_den == 0) {
        image->hres_num = image->vres_num = 72;
        image->hres_den = image->vres_den = 1;
    }
    copy_text(image->path, sizeof image->path, name);
    // The title is the base name with its extension, which is the file's name.
    copy_text(image->name, sizeof image->name, base_name(name));
    image->changes = 0;
    if (code == FMT_JPG) {
        copy_text(image->type_name, sizeof image->type_name, "JPEG");
        image->bits = 24;
    } else if (code == FMT_TIFF) {
        copy_text(image->type_name, sizeof image->type_name, "TIFF");
    }
    image->file_format = static_cast<int16_t>(code);
    image_set_format(image, code);
}

} // namespace

FormatsState& formats_state()
{
    return g_formats;
}

const char* file_extension(const char* name)
{
    size_t n = std::strlen(name);
    if (n < 4)
        return "";
    // The last dot among the last nine characters, and not in a folder name.
    const char* from = name + (n > 9 ? n - 9 : 0);
    const char* dot = nullptr;
    for (const char* p = from; *p; ++p) {
        if (*p == '.')
            dot = p;
        else if (*p == '/')
            dot = nullptr;
    }
    return dot ? dot : "";
}

Image* codec_new_image(long width, long height, const char* label)
{
    if (width < 1 || height < 1)
        return nullptr;
    double bytes = static_cast<double>(width) * (static_cast<double>(height) + kImageSpareRows) * 4.0;
    if (bytes > static_cast<double>(g_formats.max_image_bytes))
        return nullptr;
    Image* image = image_new(width, height, label);
    // A file without a resolution gets the default of the dispatch, not that of a new image.
    if (image)
        image->hres_num = image->vres_num = 0;
    return image;
}

Image* ImportViaPlugins(const char* name)
{
    return g_formats.import_plugins ? g_formats.import_plugins(name) : nullptr;
}

Image* LoadImageFile(char* name)
{
    if (!name || !*name)
        return nullptr;
    const char* ext = file_extension(name);
    LoadScope scope;
    if (g_formats.chrono_start)
        g_formats.chrono_start("Load Image");

    if (Image* image = ImportViaPlugins(name))
        return image;

    if (g_formats.loading) {
        message_show(msg::TwoLoads);
        return nullptr;
    }
    g_formats.loading = true;
    scope.guarded = true;

    find_file(name);
    ext = file_extension(name);
    log_printf("\nLoading image: \"%s\"\n", name);

    FileCloser id{std::fopen(name, "rb")};
    if (!id.f) {
        message_show(msg::CannotOpenImage, name);
        return nullptr;
    }
    Header f{};
    f.name = name;
    f.ext = ext;
    f.stream = id.f;
    size_t got = std::fread(f.h, 1, 12, id.f);
    if (got < 4) {
        message_show(msg::FileTooSmall, name);
        return nullptr;
    }
    // Bytes 12 to 15 only serve the ".orf" test, which looks past the 12.
    if (got == 12)
        (void)!std::fread(f.h + 12, 1, 4, id.f);
    uint8_t s82[8];
    read_at(id.f, 82, s82, 8);
    std::memcpy(f.s82, s82, 8);
    read_at(id.f, 128, f.g, sizeof f.g);
    std::fseek(id.f, 0, SEEK_END);
    long file_size = std::ftell(id.f);
    std::fseek(id.f, 0, SEEK_SET);

    const Probe* hit = nullptr;
    for (const Probe& p : kProbes) {
        if (p.test(f)) {
            hit = &p;
            break;
        }
    }
    if (!hit) {
        message_show(msg::TypeNotRecognized, name);
        log_header(f);
        return nullptr;
    }
    switch (hit->refusal) {
    case Refusal::Mng:
        message_show(msg::TypeNotRecognized, "MNG files cannot be read.");
        return nullptr;
    case Refusal::JpegStream:
    case Refusal::Mpeg: {
        std::string text = (hit->refusal == Refusal::Mpeg ? "MPEG file: " : "JPEGStrm file: ") + std::string(name);
        message_show(msg::TypeNotRecognized, text.c_str());
        log_header(f);
        return nullptr;
    }
    case Refusal::None: break;
    }

    const Codec& c = codec(hit->codec);
    if (!c.read) {
        std::string text = std::string(c.title) + " files cannot be read yet: " + name;
        message_show(msg::TypeNotRecognized, text.c_str());
        return nullptr;
    }
    // Each reader gets a stream of its own.
    std::fclose(id.f);
    id.f = nullptr;
    FileCloser stream{std::fopen(name, "rb")};
    if (!stream.f) {
        message_show(msg::CannotOpenImage, name);
        return nullptr;
    }
    LoadRequest request{name, stream.f, file_size};
    Image* image = c.read(request);
    if (!image)
        return nullptr;
    finish_image(image, name, c.code >= 0 ? c.code : image->file_format);
    return image;
}

Image* load_image(const char* path)
{
    char name[kImagePathMax];
    if (std::strlen(path) >= sizeof name) {
        message_show(msg::CannotOpenImage, path);
        return nullptr;
    }
    copy_text(name, sizeof name, path);
    return LoadImageFile(name);
}

void EnsureExtension(char* name, size_t size, const char* extension)
{
    size_t n = std::strlen(name), e = std::strlen(extension);
    if (n >= e && equal_nocase(name + n - e, extension))
        return;
    if (n + e + 1 > size)
        return;
    std::memcpy(name + n, extension, e + 1);
}

int save_depth_bits(long save_depth)
{
    static const int bits[8] = {32, 32, 24, 24, 16, 8, 4, 1};
    return save_depth >= 0 && save_depth < 8 ? bits[save_depth] : 0;
}

int save_depth_for_bits(int bits)
{
    switch (bits) {
    case 32: return 0;
    case 24: return 2;
    case 16: return 4;
    case 8: return 5;
    case 4: return 6;
    case 1: return 7;
    default: return -1;
    }
}

int SaveImageFile(Image* image, char* name)
{
    Settings& s = settings();
    int type = static_cast<int>(s.save_type);
    int bits = save_depth_bits(s.save_depth);
    int compress = static_cast<int>(s.save_compress);
    int quality = static_cast<int>(s.jpeg_quality);
    const Codec* c = codec_for_save_type(type);
    if (!c) {
        message_show(msg::CannotSaveType, name);
        return 1;
    }
    if (!image) {
        message_show(msg::NoImagesLoaded);
        return 1;
    }
    EnsureExtension(name, kImagePathMax, c->extension);
    if (!c->write) {
        std::string text = std::string(name) + "\n" + c->title + " files cannot be written yet.";
        message_show(msg::CannotSaveType, text.c_str());
        return 1;
    }

    int16_t kept_alpha = image->alpha;
    if ((type == FMT_TIFF || type == FMT_TGA) && s.save_depth != 0)
        image->alpha = 0;
    if ((type == FMT_TGA || type == FMT_PNG) && s.save_depth == 0)
        image->alpha = 1;
    // For JPEG the flag asks the saver for its high-quality form.
    if (type == FMT_JPG)
        image->alpha = quality > s.jpeg_chroma_ss ? 1 : 0;

    int rc = c->write(image, name, SaveRequest{bits, compress, quality});
    image->alpha = kept_alpha;
    if (rc != 0)
        return rc;
    image->changes = 0;
    if (!image->path[0]) {
        copy_text(image->path, sizeof image->path, name);
        image->bits = static_cast<uint16_t>(bits);
        image->saved_compress = static_cast<int16_t>(compress);
        if (type == FMT_JPG)
            image->saved_quality = static_cast<int16_t>(quality);
    }
    return 0;
}

int save_image_as(Image* image, char* name)
{
    int rc = SaveImageFile(image, name);
    if (rc != 0)
        return rc;
    copy_text(image->name, sizeof image->name, base_name(name));
    copy_text(image->path, sizeof image->path, name);
    image->bits = static_cast<uint16_t>(save_depth_bits(settings().save_depth));
    image->file_format = static_cast<int16_t>(settings().save_type);
    image_set_format(image, image->file_format);
    return 0;
}

int save_image(Image* image, const char* path)
{
    char name[kImagePathMax];
    if (std::strlen(path) >= sizeof name - 5) {
        message_show(msg::CannotCreateImageFile, path);
        return 1;
    }
    copy_text(name, sizeof name, path);
    return SaveImageFile(image, name);
}
