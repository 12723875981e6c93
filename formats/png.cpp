// PNG through libpng: every colour type and depth read into RGBA; written
// as RGB, RGBA or 8/4/1-bit indexed through the colour reduction.
//
// libpng reports errors by longjmp, so the functions that call it keep no
// objects with destructors alive and clean up by hand.
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "formats/resolution.h"
#include "formats/indexed.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

const char* const kSoftware = "Glimmerix:V/q 7.50";

struct PngErrors {
    char text[200];
};

void on_error(png_structp png, png_const_charp text)
{
    auto* e = static_cast<PngErrors*>(png_get_error_ptr(png));
    if (e)
        std::snprintf(e->text, sizeof e->text, "%s", text ? text : "");
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp text)
{
    log_printf("PNG warning: %s\n", text ? text : "");
}

// What the chunks say before libpng reads them.  libpng reads a text,
// profile or private chunk into one buffer of the length the chunk claims
// before it checks anything, and allocates rows for the size the header
// declares: a chunk other than image data that claims more bytes than the
// file holds, or a header that declares more pixels than the image data
// can inflate to, names the damage, and nothing is allocated for it.
struct ChunkScan {
    const char* damage = nullptr;
    bool header = false;
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0;
    double idat = 0;  // bytes of image data in the file
};

// Samples a pixel of each colour type has.
int samples_of(int colour)
{
    switch (colour) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

ChunkScan scan_chunks(FILE* stream)
{
    ChunkScan scan;
    if (std::fseek(stream, 0, SEEK_END) != 0)
        return scan;
    const long size = std::ftell(stream);
    long at = 8;
    unsigned char head[8 + 13];
    while (at + 8 <= size) {
        if (std::fseek(stream, at, SEEK_SET) != 0 || std::fread(head, 1, 8, stream) != 8)
            break;
        const unsigned long length = (unsigned long)head[0] << 24 | head[1] << 16 | head[2] << 8 | head[3];
        const long left = size - at - 8;
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            break;
        if (std::memcmp(head + 4, "IDAT", 4) == 0) {
            scan.idat += static_cast<double>(std::min<long>(static_cast<long>(std::min(length, 0x7fffffffUL)), left));
        } else if (length > static_cast<unsigned long>(size - at - 12)) {
            scan.damage = "a chunk is longer than the file";
            return scan;
        }
        if (at == 8 && std::memcmp(head + 4, "IHDR", 4) == 0 && length == 13 &&
            std::fread(head + 8, 1, 13, stream) == 13) {
            const unsigned char* h = head + 8;
            scan.header = true;
            scan.width = static_cast<png_uint_32>(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3];
            scan.height = static_cast<png_uint_32>(h[4]) << 24 | h[5] << 16 | h[6] << 8 | h[7];
            scan.depth = h[8];
            scan.colour = h[9];
        }
        if (length > static_cast<unsigned long>(size))
            break;
        at += 12 + static_cast<long>(length);
    }
    return scan;
}

// Deflate inflates at most 1032 bytes from one; a little more is allowed
// for the stream's own bytes and rounding.
constexpr double kInflateRatio = 1100;

// Whether the image data can inflate to the rows the header declares (each
// with its filter byte).
bool holds_its_pixels(const ChunkScan& scan)
{
    if (!scan.header || scan.width == 0 || scan.height == 0)
        return true;  // libpng names what is wrong with the header
    const double row = (static_cast<double>(scan.width) * samples_of(scan.colour) * scan.depth + 7) / 8 + 1;
    return row * scan.height <= kInflateRatio * scan.idat + 65536;
}

void read_texts(png_structp png, png_infop info, Image* image)
{
    png_textp texts = nullptr;
    int count = 0;
    png_get_text(png, info, &texts, &count);
    for (int i = 0; i < count; ++i) {
        const char* key = texts[i].key;
        const char* value = texts[i].text ? texts[i].text : "";
        if (std::strcmp(key, "Author") == 0) {
            std::snprintf(image->author, sizeof image->author, "%s", value);
        } else if (std::strcmp(key, "Copyright") == 0) {
            std::snprintf(image->copyright, sizeof image->copyright, "%s", value);
        } else if (std::strcmp(key, "Description") == 0 && *value) {
            size_t n = std::strlen(value);
            if (n < 65536 && image_annotation_alloc(image, static_cast<long>(n + 1)) == 0)
                std::memcpy(image->annotation, value, n + 1);
        }
    }
}

} // namespace

constexpr png_alloc_size_t kLargestChunk = 32u << 20;

Image* ReadPng(FILE* stream, const char* name)
{
    const ChunkScan scan = scan_chunks(stream);
    if (scan.damage) {
        char text[300];
        std::snprintf(text, sizeof text, "PNG file is damaged (%s):", scan.damage);
        error_box(text, name);
        return nullptr;
    }
    if (!holds_its_pixels(scan)) {
        codec_refuse_declared_size("PNG", name, static_cast<long>(scan.width), static_cast<long>(scan.height), scan.idat);
        return nullptr;
    }
    PngErrors errors{};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        note("Not enough memory for file");
        return nullptr;
    }
    Image* volatile image = nullptr;
    volatile bool meter_open = false;
    volatile bool cancelled = false;
    // The image is locked by hand here, not by a guard: libpng's errors
    // longjmp back to this point, which would skip a guard's destructor.
    if (setjmp(png_jmpbuf(png))) {
        if (meter_open)
            progress_close();
        png_destroy_read_struct(&png, &info, nullptr);
        if (image) {
            image_unlock(image);
            image_free(image);
        }
        if (!cancelled) {
            char text[300];
            std::snprintf(text, sizeof text, "PNG file is damaged (%s):", errors.text);
            error_box(text, name);
        }
        return nullptr;
    }
    // Compressed text and profiles are limited where they are unpacked;
    // no chunk we keep comes near this.
    png_set_chunk_malloc_max(png, kLargestChunk);
    std::fseek(stream, 0, SEEK_SET);
    png_init_io(png, stream);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    bool alpha = (colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    int channels = png_get_channels(png, info);

    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    if (!alpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) {
        std::snprintf(errors.text, sizeof errors.text, "unexpected row layout");
        png_longjmp(png, 1);
    }

    image = codec_new_image(static_cast<long>(width), static_cast<long>(height), "ipng");
    if (!image || image_lock(image) != 0) {
        if (image) {
            image_unlock(image);
            image_free(image);
        }
        png_destroy_read_struct(&png, &info, nullptr);
        note("No real memory for image");
        return nullptr;
    }
    image->alpha = alpha ? 1 : 0;
    image->bits = static_cast<uint16_t>(depth * channels);
    png_uint_32 xppm = 0, yppm = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER)
        set_resolution_ppm(image, static_cast<long>(xppm), static_cast<long>(yppm));

    progress_open("Reading PNG", static_cast<long>(height) * passes);
    meter_open = true;
    long done = 0;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, image->row(static_cast<int>(y)), nullptr);
            if ((++done & 7) == 0 && progress_update(done)) {
                cancelled = true;
                log_printf("PNG reading cancelled\n");
                png_longjmp(png, 1);
            }
        }
    }
    png_read_end(png, info);
    read_texts(png, info, image);
    progress_close();
    meter_open = false;
    png_destroy_read_struct(&png, &info, nullptr);
    image_unlock(image);
    return image;
}

int InfoPng(FILE* stream, const char* name, ImageInfo* out)
{
    const ChunkScan scan = scan_chunks(stream);
    if (scan.damage) {
        char text[300];
        std::snprintf(text, sizeof text, "PNG file is damaged (%s):", scan.damage);
        error_box(text, name);
        return 1;
    }
    if (!holds_its_pixels(scan)) {
        codec_refuse_declared_size("PNG", name, static_cast<long>(scan.width), static_cast<long>(scan.height), scan.idat);
        return 1;
    }
    PngErrors errors{};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        note("Not enough memory for file");
        return 1;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        char text[300];
        std::snprintf(text, sizeof text, "PNG file is damaged (%s):", errors.text);
        error_box(text, name);
        return 1;
    }
    png_set_chunk_malloc_max(png, kLargestChunk);
    std::fseek(stream, 0, SEEK_SET);
    png_init_io(png, stream);
    // The chunks up to the image data: the header, the palette's
    // transparency and the resolution.
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
    out->width = static_cast<long>(width);
    out->height = static_cast<long>(height);
    out->bits = depth * png_get_channels(png, info);
    out->alpha = (colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    png_uint_32 xppm = 0, yppm = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER) {
        Image probe{};
        set_resolution_ppm(&probe, static_cast<long>(xppm), static_cast<long>(yppm));
        out->hres = probe.hres_den ? static_cast<double>(probe.hres_num) / probe.hres_den : 0;
        out->vres = probe.vres_den ? static_cast<double>(probe.vres_num) / probe.vres_den : 0;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
}

// ---- writing ------------------------------------------------------------------

namespace {

// Everything the writer allocates before libpng runs.
struct PngOutput {
    Image* image;
    int bits;             // 32, 24, 8, 4 or 1
    int level;            // zlib's compression level
    uint8_t* indices;     // the reduction's buffer for indexed output
    long index_stride;
    int colours;
    uint8_t red[256], green[256], blue[256];
    uint8_t* row;         // one packed row
};

// Returns 0, or 1 after reporting (or on a cancel).
int write_png_file(PngOutput& o, FILE* f, const char* name)
{
    PngErrors errors{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        note("Not enough memory for save");
        return 1;
    }
    volatile bool meter_open = false;
    volatile bool cancelled = false;
    // The image is locked by hand here, not by a guard: libpng's errors
    // longjmp back to this point, which would skip a guard's destructor.
    if (setjmp(png_jmpbuf(png))) {
        if (meter_open)
            progress_close();
        png_destroy_write_struct(&png, &info);
        if (!cancelled)
            message_show(msg::ProblemWriting, name);
        return 1;
    }
    Image* image = o.image;
    png_uint_32 width = image->width, height = static_cast<png_uint_32>(image->height);
    png_init_io(png, f);
    int colour = o.bits == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : o.bits <= 8 ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB;
    int depth = o.bits <= 8 ? o.bits : 8;
    png_set_IHDR(png, info, width, height, depth, colour, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Adaptive filtering (each row the filter whose result looks smallest)
    // with the level asked for; palette rows compress best unfiltered.
    png_set_compression_level(png, o.level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, colour == PNG_COLOR_TYPE_PALETTE ? PNG_FILTER_NONE : PNG_ALL_FILTERS);
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        int entries = o.colours < 1 ? 1 : o.colours > (1 << depth) ? (1 << depth) : o.colours;
        for (int i = 0; i < entries; ++i)
            palette[i] = png_color{o.red[i], o.green[i], o.blue[i]};
        png_set_PLTE(png, info, palette, entries);
    }
    long xppm = resolution_ppm(image->hres_num, image->hres_den);
    long yppm = resolution_ppm(image->vres_num, image->vres_den);
    if (xppm > 0 && yppm > 0)
        png_set_pHYs(png, info, static_cast<png_uint_32>(xppm), static_cast<png_uint_32>(yppm),
                     PNG_RESOLUTION_METER);
    png_text texts[4] = {};
    int count = 0;
    auto add_text = [&](const char* key, const char* value) {
        texts[count].compression = PNG_TEXT_COMPRESSION_NONE;
        texts[count].key = const_cast<char*>(key);
        texts[count].text = const_cast<char*>(value);
        count += 1;
    };
    add_text("Software", kSoftware);
    if (image->author[0])
        add_text("Author", image->author);
    if (image->copyright[0])
        add_text("Copyright", image->copyright);
    if (image->annotation && image->annotation[0])
        add_text("Description", image->annotation);
    png_set_text(png, info, texts, count);
    png_write_info(png, info);

    progress_open("Saving PNG", static_cast<long>(height));
    meter_open = true;
    for (png_uint_32 y = 0; y < height; ++y) {
        const uint8_t* px = image->row(static_cast<int>(y));
        uint8_t* row = o.row;
        if (o.bits == 32) {
            row = const_cast<uint8_t*>(px);
        } else if (o.bits == 24) {
            for (png_uint_32 x = 0; x < width; ++x) {
                row[3 * x] = px[4 * x];
                row[3 * x + 1] = px[4 * x + 1];
                row[3 * x + 2] = px[4 * x + 2];
            }
        } else {
            const uint8_t* ix = o.indices + static_cast<long>(y) * o.index_stride;
            int per_byte = 8 / depth;
            std::memset(row, 0, (width * depth + 7) / 8);
            for (png_uint_32 x = 0; x < width; ++x) {
                int shift = 8 - depth * (static_cast<int>(x % per_byte) + 1);
                row[x / per_byte] |= static_cast<uint8_t>((ix[x] & ((1 << depth) - 1)) << shift);
            }
        }
        png_write_row(png, row);
        if ((y & 7) == 0 && progress_update(y)) {
            cancelled = true;
            log_printf("PNG saving cancelled\n");
            png_longjmp(png, 1);
        }
    }
    png_write_end(png, info);
    progress_close();
    meter_open = false;
    png_destroy_write_struct(&png, &info);
    return 0;
}

} // namespace

int png_level_for(int compress)
{
    return compress >= 3 && compress <= 9 ? compress : kPngDefaultLevel;
}

int WritePng(Image* image, const char* name, int bits, int compress)
{
    if (bits == 32 && !image->alpha)
        bits = 24;
    if (bits != 32 && bits != 8 && bits != 4 && bits != 1)
        bits = 24;
    ImageLock lock(image);
    if (!lock) {
        note("No real memory for image");
        return 1;
    }
    auto* o = static_cast<PngOutput*>(mem_alloc(sizeof(PngOutput), "pngw"));
    if (!o) {
        note("Not enough memory for save");
        return 1;
    }
    o->image = image;
    o->bits = bits;
    o->level = png_level_for(compress);
    int rc = 1;
    FILE* f = nullptr;
    if (bits <= 8) {
        ReduceInfo info;
        o->indices = reduce_for_file(image, bits, o->red, o->green, o->blue, &info);
        o->index_stride = info.stride;
        o->colours = info.colours;
        if (!o->indices)
            goto done;
    }
    o->row = static_cast<uint8_t*>(mem_alloc(static_cast<long>(image->width) * 3 + 16, "pngr"));
    if (!o->row) {
        note("Not enough memory for save");
        goto done;
    }
    f = std::fopen(name, "wb");
    if (!f) {
        note("Unable to Create file.");
        goto done;
    }
    rc = write_png_file(*o, f, name);
    if (std::fclose(f) != 0 && rc == 0) {
        message_show(msg::ProblemWriting, name);
        rc = 1;
    }
    if (rc != 0)
        std::remove(name);
done:
    if (o->indices)
        o->indices = mem_free_t(o->indices);
    if (o->row)
        o->row = mem_free_t(o->row);
    mem_free(o);
    return rc;
}
