// vqsvjpeg.so: the JPEG saver, on libjpeg.  Quality 1 to 100; the image's
// alpha flag asks for the high-quality form, full-resolution chroma (4:4:4)
// instead of 4:2:0.
#include "core/image.h"
#include "formats/extlib/vqext.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs FILE declared first.
#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void on_error(j_common_ptr info)
{
    longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void on_message(j_common_ptr) {}

} // namespace

extern "C" __attribute__((visibility("default"))) int
ImageSave(const char* name, Image* image, void* /*instance*/, void* /*window*/, long quality, VqProgressBegin begin,
          VqProgressStep step, VqProgressPercent /*percent*/, VqProgressEnd end, VqAlloc alloc, VqFree release,
          VqMessage message)
{
    const volatile int q = quality < 1 || quality > 100 ? 75 : static_cast<int>(quality);
    long width = image->width, height = image->height;
    uint8_t* volatile row = static_cast<uint8_t*>(alloc(width * 3 + 16, "jpgw"));
    if (!row) {
        message(0, 0, "Not enough memory for save");
        return 1;
    }
    FILE* f = std::fopen(name, "wb");
    if (!f) {
        release(row);
        message(37, 0, name);
        return 1;
    }
    jpeg_compress_struct info;
    ErrorManager err;
    std::memset(&err, 0, sizeof err);
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = on_error;
    err.pub.output_message = on_message;
    volatile bool meter = false;
    volatile bool cancelled = false;
    if (setjmp(err.jump)) {
        if (meter)
            end();
        jpeg_destroy_compress(&info);
        std::fclose(f);
        std::remove(name);
        release(row);
        if (!cancelled)
            message(26, 0, name);
        return 1;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, f);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, q, TRUE);
    info.optimize_coding = TRUE;
    if (image->alpha) {
        info.comp_info[0].h_samp_factor = 1;
        info.comp_info[0].v_samp_factor = 1;
    }
    // Resolution in dots per inch, when the image has a whole one.
    if (image->hres_den > 0 && image->vres_den > 0) {
        long x = (image->hres_num + image->hres_den / 2) / image->hres_den;
        long y = (image->vres_num + image->vres_den / 2) / image->vres_den;
        if (x > 0 && x <= 65535 && y > 0 && y <= 65535) {
            info.density_unit = 1;
            info.X_density = static_cast<UINT16>(x);
            info.Y_density = static_cast<UINT16>(y);
        }
    }
    jpeg_start_compress(&info, TRUE);
    // The attributes as comments ("Author: ...", "Copyright: ...", the annotation as it is).
    auto comment = [&info](const char* key, const char* text, size_t limit) {
        char buffer[65000];
        const int n = std::snprintf(buffer, sizeof buffer, "%s%.*s", key, static_cast<int>(strnlen(text, limit)), text);
        if (n > 0)
            jpeg_write_marker(&info, JPEG_COM, reinterpret_cast<const JOCTET*>(buffer),
                              static_cast<unsigned>(std::min<int>(n, sizeof buffer - 1)));
    };
    if (image->author[0])
        comment("Author: ", image->author, sizeof image->author);
    if (image->copyright[0])
        comment("Copyright: ", image->copyright, sizeof image->copyright);
    if (image->annotation && image->annotation[0])
        comment("", image->annotation, 64000);
    begin("Saving JPEG", height);
    meter = true;
    while (info.next_scanline < info.image_height) {
        long y = info.next_scanline;
        const uint8_t* in = image->row(static_cast<int>(y));
        uint8_t* out = row;
        for (long x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
        if ((y & 7) == 0 && step(y)) {
            cancelled = true;
            longjmp(err.jump, 1);
        }
    }
    jpeg_finish_compress(&info);
    end();
    meter = false;
    jpeg_destroy_compress(&info);
    release(row);
    if (std::fclose(f) != 0) {
        std::remove(name);
        message(26, 0, name);
        return 1;
    }
    return 0;
}
