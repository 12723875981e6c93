// Alias PIX files.
#include "formats/alias_pix.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "formats/codec_io.h"
#include "formats/load_save.h"

using namespace codec_io;

namespace {

constexpr long kMaxSide = 40000;
const char kTitle[] = "The Alias PIX file cannot be read";

struct PixHeader {
    long width, height;
    int depth;
};

const char* read_header(FILE* f, long file_size, PixHeader& h)
{
    uint8_t b[10];
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(b, 1, sizeof b, f) != sizeof b)
        return "the header is missing";
    h.width = get_be16(b);
    h.height = get_be16(b + 2);
    h.depth = get_be16(b + 8);
    if (h.width < 1 || h.height < 1 || h.width > kMaxSide || h.height > kMaxSide)
        return "the width or height is out of range";
    if (h.depth != 24 && h.depth != 8)
        return "the depth is not 8 or 24";
    // Runs hold at most 255 pixels.
    double runs = (static_cast<double>(h.width) * h.height + 254) / 255;
    if (runs * (1 + h.depth / 8) > static_cast<double>(file_size - 10))
        return "the pixel data run past the end of the file";
    return nullptr;
}

} // namespace

Image* ReadAliasPix(const LoadRequest& r)
{
    PixHeader h{};
    if (const char* problem = read_header(r.stream, r.file_size, h)) {
        refuse(kTitle, r.name, problem);
        return nullptr;
    }
    log_printf("Alias PIX: %ld x %ld, %d bits\n", h.width, h.height, h.depth);
    long got = 0;
    Block data(0, "pixd");
    data.p = read_block(r.stream, 10, r.file_size - 10, "pixd", &got);
    if (!data.p) {
        message_show(msg::FileTruncated, r.name);
        return nullptr;
    }
    Image* image = codec_io::new_image(h.width, h.height, "ipix", r.name);
    if (!image)
        return nullptr;
    image->bits = static_cast<uint16_t>(h.depth);
    const int size = h.depth / 8;
    Bytes src{data.p, got};
    Meter meter("Reading PIX", h.height);
    // Runs may go on from one row to the next; rows are contiguous.
    const long total = h.width * h.height;
    long done = 0;
    while (done < total) {
        uint8_t run[4];
        if (!src.take(run, 1 + size) || run[0] == 0) {
            message_show(msg::FileTruncated, r.name);
            return drop(image);
        }
        long n = run[0] < total - done ? run[0] : total - done;
        uint8_t* px = image->pixels + 4 * done;
        for (long i = 0; i < n; ++i, px += 4) {
            if (size == 3) {
                px[0] = run[3];
                px[1] = run[2];
                px[2] = run[1];
            } else {
                px[0] = px[1] = px[2] = run[1];
            }
        }
        long before = done / h.width;
        done += n;
        if (done / h.width != before && progress_update(done / h.width)) {
            log_printf("PIX reading cancelled\n");
            return drop(image);
        }
    }
    image_unlock(image);
    return image;
}

int alias_pix_info(const LoadRequest& r, ImageInfo* info)
{
    PixHeader h{};
    if (const char* problem = read_header(r.stream, r.file_size, h)) {
        refuse(kTitle, r.name, problem);
        return 1;
    }
    info->width = h.width;
    info->height = h.height;
    info->bits = h.depth;
    return 0;
}
