// vqldjpeg.so: the JPEG loader, on libjpeg.  Baseline, progressive, grey,
// colour and CMYK (Adobe's inverted form too) files become RGB images.
//
// libjpeg reports errors by longjmp: the loader keeps no object with a
// destructor alive across it and releases by hand.
#include "core/image.h"
#include "formats/extlib/vqext.h"

#include <csetjmp>
#include <algorithm>
#include <cstdio>
#include <cstring>

// jpeglib.h needs FILE declared first.
#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void on_error(j_common_ptr info)
{
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, e->text);
    longjmp(e->jump, 1);
}

// Warnings (a stream cut short, say) leave what was decoded: others' viewers do the same.
void on_message(j_common_ptr) {}

// Files with a preamble (a 128-byte Macintosh header, say) hold the stream
// further in: start at the first FF D8 FF within the first few kilobytes.
void skip_preamble(FILE* f)
{
    uint8_t head[4096];
    size_t n = std::fread(head, 1, sizeof head, f);
    size_t at = 0;
    while (at + 2 < n && !(head[at] == 0xFF && head[at + 1] == 0xD8 && head[at + 2] == 0xFF))
        ++at;
    std::fseek(f, at + 2 < n ? static_cast<long>(at) : 0, SEEK_SET);
}

// A header must not make the loader allocate far beyond what the file can
// hold.  Huffman-coded blocks take at least a bit or two each (a few
// hundred pixels a byte); arithmetic coding of a flat picture goes further,
// so the bound is generous, and pictures of up to 4 megapixels always pass
// (the same rule as the system's own readers).
bool plausible_size(unsigned long width, unsigned long height, long file_size)
{
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    return pixels <= 4194304.0 || pixels <= 4096.0 * static_cast<double>(file_size);
}

// Comments "Author: ..." and "Copyright: ..." fill those attributes; the
// first other comment is the annotation (a host block "Iann" of at least
// 324 bytes).
void read_comments(const jpeg_decompress_struct& info, Image* image, VqAlloc alloc)
{
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        if (m->marker != JPEG_COM || !m->data)
            continue;
        const char* text = reinterpret_cast<const char*>(m->data);
        size_t n = m->data_length;
        while (n > 0 && text[n - 1] == 0)
            --n;
        auto starts = [&](const char* key) { return n >= std::strlen(key) && std::memcmp(text, key, std::strlen(key)) == 0; };
        if (starts("Author: ")) {
            std::snprintf(image->author, sizeof image->author, "%.*s", static_cast<int>(n - 8), text + 8);
        } else if (starts("Copyright: ")) {
            std::snprintf(image->copyright, sizeof image->copyright, "%.*s", static_cast<int>(n - 11), text + 11);
        } else if (!image->annotation && n > 0) {
            image->annotation = static_cast<char*>(alloc(static_cast<long>(std::max<size_t>(n + 1, 324)), "Iann"));
            if (image->annotation) {
                std::memcpy(image->annotation, text, n);
                image->annotation[n] = 0;
            }
        }
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) Image*
ImageLoad(const char* name, void* /*window*/, void* /*instance*/, VqProgressBegin begin, VqProgressStep step,
          VqProgressPercent /*percent*/, VqProgressEnd end, VqNewImage new_image, VqAlloc alloc, VqFree release,
          VqMessage message)
{
    FILE* f = std::fopen(name, "rb");
    if (!f) {
        message(6, 0, name);
        return nullptr;
    }
    jpeg_decompress_struct info;
    ErrorManager err;
    std::memset(&err, 0, sizeof err);
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = on_error;
    err.pub.output_message = on_message;
    Image* volatile image = nullptr;
    uint8_t* volatile row = nullptr;
    volatile bool meter = false;
    volatile bool cancelled = false;
    if (setjmp(err.jump)) {
        if (meter)
            end();
        jpeg_destroy_decompress(&info);
        std::fclose(f);
        if (row)
            release(row);
        if (!cancelled) {
            char text[JMSG_LENGTH_MAX + 400];
            std::snprintf(text, sizeof text, "JPEG file is damaged (%s): %s", err.text, name);
            message(0, 0, text);
        }
        // The host releases the image made for this call.
        return nullptr;
    }
    jpeg_create_decompress(&info);
    std::fseek(f, 0, SEEK_END);
    const long file_size = std::ftell(f);
    std::rewind(f);
    skip_preamble(f);
    jpeg_stdio_src(&info, f);
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    if (!plausible_size(info.image_width, info.image_height, file_size)) {
        char text[600];
        std::snprintf(text, sizeof text,
                      "JPEG file is damaged (it declares %u x %u pixels, more than its %ld bytes of data can hold): %s",
                      static_cast<unsigned>(info.image_width), static_cast<unsigned>(info.image_height), file_size,
                      name);
        jpeg_destroy_decompress(&info);
        std::fclose(f);
        message(0, 0, text);
        return nullptr;
    }
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;

    image = new_image(static_cast<long>(info.image_width), static_cast<long>(info.image_height), "ijpg");
    if (!image) {
        jpeg_destroy_decompress(&info);
        std::fclose(f);
        message(0, 0, "Not enough real memory for image");
        return nullptr;
    }
    // Progressive files keep all coefficients: bound that by the image's size.
    info.mem->max_memory_to_use = static_cast<long>(info.image_width) * info.image_height * 8 + (64L << 20);
    jpeg_start_decompress(&info);
    long width = info.output_width, height = info.output_height;
    int components = info.output_components;
    row = static_cast<uint8_t*>(alloc(width * components + 16, "jpgr"));
    if (!row) {
        jpeg_destroy_decompress(&info);
        std::fclose(f);
        message(0, 0, "Not enough memory for file");
        return nullptr;
    }
    image->bits = 24;
    if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0) {
        if (info.density_unit == 1) {
            image->hres_num = info.X_density;
            image->vres_num = info.Y_density;
            image->hres_den = image->vres_den = 1;
        } else if (info.density_unit == 2) {  // dots per centimetre
            image->hres_num = info.X_density * 254;
            image->vres_num = info.Y_density * 254;
            image->hres_den = image->vres_den = 100;
        }
    }
    read_comments(info, image, alloc);
    bool inverted = cmyk && info.saw_Adobe_marker;
    begin("Reading JPEG", height);
    meter = true;
    while (info.output_scanline < info.output_height) {
        long y = info.output_scanline;
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&info, rows, 1);
        uint8_t* out = image->row(static_cast<int>(y));
        const uint8_t* in = row;
        if (!cmyk) {
            for (long x = 0; x < width; ++x, out += 4, in += 3) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
        } else {
            for (long x = 0; x < width; ++x, out += 4, in += 4) {
                int c = in[0], m = in[1], yl = in[2], k = in[3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yl = 255 - yl;
                    k = 255 - k;
                }
                out[0] = static_cast<uint8_t>(c * k / 255);
                out[1] = static_cast<uint8_t>(m * k / 255);
                out[2] = static_cast<uint8_t>(yl * k / 255);
            }
        }
        if ((y & 7) == 0 && step(y)) {
            cancelled = true;
            std::snprintf(err.text, sizeof err.text, "cancelled");
            longjmp(err.jump, 1);
        }
    }
    jpeg_finish_decompress(&info);
    end();
    meter = false;
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    release(row);
    return image;
}

extern "C" __attribute__((visibility("default"))) int ImageInfo(const char* name, VqImageInfo* out, VqMessage message)
{
    FILE* f = std::fopen(name, "rb");
    if (!f) {
        message(6, 0, name);
        return 1;
    }
    jpeg_decompress_struct info;
    ErrorManager err;
    std::memset(&err, 0, sizeof err);
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = on_error;
    err.pub.output_message = on_message;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(f);
        char text[JMSG_LENGTH_MAX + 400];
        std::snprintf(text, sizeof text, "JPEG file is damaged (%s): %s", err.text, name);
        message(0, 0, text);
        return 1;
    }
    jpeg_create_decompress(&info);
    std::fseek(f, 0, SEEK_END);
    const long file_size = std::ftell(f);
    std::rewind(f);
    skip_preamble(f);
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    const bool plausible = plausible_size(info.image_width, info.image_height, file_size);
    out->width = static_cast<long>(info.image_width);
    out->height = static_cast<long>(info.image_height);
    out->bits = 24;
    out->alpha = 0;
    out->hres = out->vres = 0;
    if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0 && info.density_unit == 1) {
        out->hres = info.X_density;
        out->vres = info.Y_density;
    } else if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0 && info.density_unit == 2) {
        out->hres = info.X_density * 2.54;
        out->vres = info.Y_density * 2.54;
    }
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    if (!plausible) {
        char text[600];
        std::snprintf(text, sizeof text,
                      "JPEG file is damaged (it declares %ld x %ld pixels, more than its %ld bytes of data can hold): %s",
                      out->width, out->height, file_size, name);
        message(0, 0, text);
        return 1;
    }
    return 0;
}
