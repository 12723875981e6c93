#include "formats/load_save.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/safe_write.h"
#include "core/settings.h"
#include "render/reduce.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <sys/stat.h>
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

void log_header(const ProbeHeader& f)
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

void formats_set_read_frame(long frame)
{
    g_formats.read_frame = frame < 0 ? 0 : frame;
}

void formats_set_frame_position(long position)
{
    g_formats.frame_position = position < 0 ? 0 : position;
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

bool codec_size_plausible(long width, long height, double data_bytes, double pixels_per_byte)
{
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    return pixels <= static_cast<double>(kAlwaysPlausiblePixels) ||
           pixels <= (data_bytes > 0 ? data_bytes : 0) * pixels_per_byte;
}

void codec_refuse_declared_size(const char* kind, const char* name, long width, long height, double data_bytes)
{
    char text[300];
    std::snprintf(text, sizeof text, "%s file is damaged (it declares %ld x %ld pixels, more than its %.0f bytes of data can hold):",
                  kind, width, height, data_bytes > 0 ? data_bytes : 0.0);
    error_box(text, name);
}

Image* ImportViaPlugins(const char* name)
{
    return g_formats.import_plugins ? g_formats.import_plugins(name) : nullptr;
}

namespace {

// Steps 4 to 10 of the load: the guard, finding the file, reading its
// header and running the identification tests.  Returns the row of the
// codec that reads the file, or null after telling the user why.
const Codec* identify(char* name, LoadScope& scope, long& file_size)
{
    if (g_formats.loading) {
        message_show(msg::TwoLoads);
        return nullptr;
    }
    g_formats.loading = true;
    scope.guarded = true;

    find_file(name);
    const char* ext = file_extension(name);
    log_printf("\nLoading image: \"%s\"\n", name);

    // The path, then the system's reason.
    struct stat st {};
    if (stat(name, &st) == 0 && S_ISDIR(st.st_mode)) {
        message_show(msg::CannotOpenImage, (std::string(name) + ": " + std::strerror(EISDIR)).c_str());
        return nullptr;
    }
    FileCloser id{std::fopen(name, "rb")};
    if (!id.f) {
        message_show(msg::CannotOpenImage, (std::string(name) + ": " + std::strerror(errno)).c_str());
        return nullptr;
    }
    ProbeHeader f{};
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
    probe_read_at(id.f, 82, s82, 8);
    std::memcpy(f.s82, s82, 8);
    probe_read_at(id.f, 128, f.g, sizeof f.g);
    std::fseek(id.f, 0, SEEK_END);
    file_size = std::ftell(id.f);

    int probes = 0;
    const DispatchProbe* order = dispatch_probes(&probes);
    const DispatchProbe* hit = nullptr;
    for (int i = 0; i < probes && !hit; ++i)
        if (order[i].probe->test(f))
            hit = &order[i];
    if (!hit) {
        message_show(msg::TypeNotRecognized, name);
        log_header(f);
        return nullptr;
    }
    // Formats recognised only to be refused.
    if (const char* refusal = hit->probe->refusal) {
        std::string text = refusal;
        const size_t at = text.find("%s");
        if (at != std::string::npos) {
            text.replace(at, 2, name);
            log_header(f);
        }
        message_show(msg::TypeNotRecognized, text.c_str());
        return nullptr;
    }
    const Codec& c = *hit->codec;
    if (!c.read) {
        std::string text = std::string(c.title) + " files cannot be read yet: " + name;
        message_show(msg::TypeNotRecognized, text.c_str());
        return nullptr;
    }
    return &c;
}

// Runs the reader on a stream of its own.
Image* read_with(const Codec& c, const char* name, long file_size)
{
    FileCloser stream{std::fopen(name, "rb")};
    if (!stream.f) {
        message_show_file(msg::CannotOpenImage, name);
        return nullptr;
    }
    MessageSubject subject(name);
    return c.read(LoadRequest{name, stream.f, file_size});
}

double dots_per_inch(int32_t num, int32_t den)
{
    return den ? static_cast<double>(num) / den : 0;
}

} // namespace

Image* LoadImageFile(char* name)
{
    if (!name || !*name)
        return nullptr;
    LoadScope scope;
    if (g_formats.chrono_start)
        g_formats.chrono_start("Load Image");

    if (Image* image = ImportViaPlugins(name))
        return image;

    long file_size = 0;
    const Codec* c = identify(name, scope, file_size);
    if (!c)
        return nullptr;
    Image* image = read_with(*c, name, file_size);
    if (!image)
        return nullptr;
    finish_image(image, name, c->reader_sets_code ? image->file_format : c->code);
    return image;
}

int ImageFileInfo(char* name, FileInfo* out)
{
    *out = FileInfo{};
    if (!name || !*name)
        return 1;
    // An import plug-in may claim the file: only a load can tell.  Files
    // no plug-in reads are looked at in their header when the codec can.
    Image* image = ImportViaPlugins(name);
    if (!image) {
        LoadScope scope;
        long file_size = 0;
        const Codec* c = identify(name, scope, file_size);
        if (!c)
            return 1;
        if (c->info) {
            FileCloser stream{std::fopen(name, "rb")};
            if (!stream.f) {
                message_show_file(msg::CannotOpenImage, name);
                return 1;
            }
            MessageSubject subject(name);
            if (c->info(LoadRequest{name, stream.f, file_size}, &out->image) != 0)
                return 1;
            out->code = c->reader_sets_code && out->image.code >= 0 ? out->image.code : c->code;
            out->header_only = true;
            out->codec = c->title;
            const char* tag = codec_type_name(out->code);
            std::snprintf(out->type_name, sizeof out->type_name, "%s", tag ? tag : "");
        } else if ((image = read_with(*c, name, file_size)) != nullptr) {
            finish_image(image, name, c->reader_sets_code ? image->file_format : c->code);
        }
    }
    if (image) {
        ImageInfo& i = out->image;
        i.width = image->width;
        i.height = image->height;
        i.bits = image->bits;
        i.alpha = image->alpha != 0;
        i.hres = dots_per_inch(image->hres_num, image->hres_den);
        i.vres = dots_per_inch(image->vres_num, image->vres_den);
        i.frames = image->frame_count > 0 ? image->frame_count : 0;
        i.frame = image->frame_count > 0 ? image->frame_number : 0;
        out->code = image->file_format;
        std::snprintf(out->type_name, sizeof out->type_name, "%s", image->format);
        image_free(image);
    } else if (out->header_only) {
        // As a load finishes the record: JPEG files are 24-bit images, a
        // file without a resolution reads as 72 dots per inch.
        ImageInfo& i = out->image;
        if (out->code == FMT_JPG)
            i.bits = 24;
        // The frame a load would read: the one asked for, within the file.
        if (i.frames > 0 && i.frame <= 0)
            i.frame = std::clamp(g_formats.read_frame > 0 ? g_formats.read_frame : 1, 1L, i.frames);
        if (!(i.hres > 0) || !(i.vres > 0))
            i.hres = i.vres = 72;
    } else {
        return 1;
    }
    return 0;
}

Image* load_image(const char* path)
{
    char name[kImagePathMax];
    if (std::strlen(path) >= sizeof name) {
        message_show(msg::CannotOpenImage, (std::string(path) + ": " + std::strerror(ENAMETOOLONG)).c_str());
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

    // The old file stays as it was unless the whole write succeeds.
    SafeWrite out(name);
    // A folder that is missing or cannot be written is told once, with the
    // user's name and the system's reason, before any writer starts.
    if (FILE* probe = std::fopen(out.temp_path(), "wb")) {
        std::fclose(probe);
    } else {
        image->alpha = kept_alpha;
        message_show(msg::CannotCreateImageFile, (std::string(name) + ": " + std::strerror(errno)).c_str());
        return 1;
    }
    MessageSubject subject(name);
    int rc = c->write(image, out.temp_path(), SaveRequest{bits, compress, quality, name});
    image->alpha = kept_alpha;
    if (rc != 0)
        return rc;
    if (safe_write_commit(out, msg::CannotCreateImageFile) != 0)
        return 1;
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
        message_show(msg::CannotCreateImageFile, (std::string(path) + ": " + std::strerror(ENAMETOOLONG)).c_str());
        return 1;
    }
    copy_text(name, sizeof name, path);
    return SaveImageFile(image, name);
}

SaveSettingsScope::SaveSettingsScope()
{
    const Settings& s = settings();
    type_ = s.save_type;
    depth_ = s.save_depth;
    compress_ = s.save_compress;
    quality_ = s.jpeg_quality;
    ordered_ = s.ordered;
    palette_mode_ = render_state().palette_mode;
    strength_ = render_state().strength;
}

SaveSettingsScope::SaveSettingsScope(long type, long depth, long compress, long quality) : SaveSettingsScope()
{
    Settings& s = settings();
    s.save_type = type;
    s.save_depth = depth;
    s.save_compress = compress;
    s.jpeg_quality = quality;
}

SaveSettingsScope::~SaveSettingsScope()
{
    Settings& s = settings();
    s.save_type = type_;
    s.save_depth = depth_;
    s.save_compress = compress_;
    s.jpeg_quality = quality_;
    s.ordered = ordered_;
    render_state().palette_mode = palette_mode_;
    render_state().strength = strength_;
}
