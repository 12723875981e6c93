// SGI image files.
#include "formats/sgi.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "formats/codec_io.h"
#include "formats/load_save.h"

#include <algorithm>
#include <vector>

using namespace codec_io;

namespace {

constexpr long kMaxSide = 40000;
constexpr long kHeader = 512;
const char kTitle[] = "The SGI file cannot be read";

struct SgiHeader {
    int storage, bpc, dimension;
    long width, height, channels;
    uint32_t colormap;
};

bool read_header(FILE* f, SgiHeader& h)
{
    uint8_t b[108];
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(b, 1, sizeof b, f) != sizeof b || get_be16(b) != 474)
        return false;
    h.storage = b[2];
    h.bpc = b[3];
    h.dimension = get_be16(b + 4);
    h.width = get_be16(b + 6);
    h.height = h.dimension >= 2 ? get_be16(b + 8) : 1;
    h.channels = h.dimension >= 3 ? get_be16(b + 10) : 1;
    h.colormap = get_be32(b + 104);
    return true;
}

const char* header_problem(const SgiHeader& h, long file_size)
{
    if (h.width < 1 || h.height < 1 || h.width > kMaxSide || h.height > kMaxSide)
        return "the width or height is out of range";
    if (h.storage > 1 || (h.bpc != 1 && h.bpc != 2) || h.dimension < 1 || h.dimension > 3 || h.channels < 1)
        return "the storage, sample size or dimension is unknown";
    if (h.colormap != 0)
        return "colour-mapped SGI files are not read";
    double rows = static_cast<double>(h.height) * h.channels;
    // Coded rows: their two table entries and runs of at most 127 samples.
    double least = h.storage ? rows * (8 + (h.width + 126) / 127 * 2 * h.bpc) : rows * h.width * h.bpc;
    if (least > static_cast<double>(file_size - kHeader))
        return "the pixel data run past the end of the file";
    return nullptr;
}

// One run-length coded row of `width` samples into `out` (one byte each, the
// high byte of 16-bit samples); false when it breaks out of its data.
bool unpack_row(const uint8_t* p, long size, int bpc, long width, uint8_t* out)
{
    long pos = 0, x = 0;
    while (pos + bpc <= size) {
        int c = bpc == 2 ? get_be16(p + pos) : p[pos];
        pos += bpc;
        long count = c & 0x7F;
        if (count == 0)
            return true;
        if (x + count > width)
            return false;
        if (c & 0x80) {
            if (pos + count * bpc > size)
                return false;
            for (long i = 0; i < count; ++i)
                out[x++] = p[pos + i * bpc];
            pos += count * bpc;
        } else {
            if (pos + bpc > size)
                return false;
            std::fill(out + x, out + x + count, p[pos]);
            x += count;
            pos += bpc;
        }
    }
    return x == width;
}

} // namespace

Image* ReadSgi(const LoadRequest& r)
{
    SgiHeader h{};
    if (!read_header(r.stream, h)) {
        refuse(kTitle, r.name, "the header is missing");
        return nullptr;
    }
    log_printf("SGI image: %ld x %ld, %ld channels of %d bytes, %s\n", h.width, h.height, h.channels, h.bpc,
               h.storage ? "run-length" : "verbatim");
    if (const char* problem = header_problem(h, r.file_size)) {
        refuse(kTitle, r.name, problem);
        return nullptr;
    }
    const long channels = std::min(h.channels, 4L);
    const long rows = h.height * h.channels;
    long got = 0;
    Block data(0, "sgid");
    data.p = read_block(r.stream, 0, r.file_size, "sgid", &got);
    if (!data.p || got != r.file_size) {
        message_show(msg::FileTruncated, r.name);
        return nullptr;
    }
    if (h.storage && kHeader + 8 * rows > got) {
        refuse(kTitle, r.name, "the table of rows runs past the end of the file");
        return nullptr;
    }
    Image* image = codec_io::new_image(h.width, h.height, "isgi", r.name);
    if (!image)
        return nullptr;
    image->bits = static_cast<uint16_t>(8 * h.bpc * channels);
    std::vector<uint8_t> row(static_cast<size_t>(h.width));
    Meter meter("Reading SGI", h.height);
    for (long y = 0; y < h.height; ++y) {
        // Rows are stored bottom row first.
        uint8_t* out = image->row(static_cast<int>(h.height - 1 - y));
        for (long c = 0; c < channels; ++c) {
            long index = c * h.height + y;
            if (h.storage) {
                long at = get_be32(data.p + kHeader + 4 * index), size = get_be32(data.p + kHeader + 4 * (rows + index));
                if (at < kHeader || at > got || size > got - at || !unpack_row(data.p + at, size, h.bpc, h.width, row.data())) {
                    refuse(kTitle, r.name, "a run-length coded row is damaged");
                    return drop(image);
                }
            } else {
                const uint8_t* p = data.p + kHeader + index * h.width * h.bpc;
                for (long x = 0; x < h.width; ++x)
                    row[static_cast<size_t>(x)] = p[x * h.bpc];
            }
            // Grey fills red, green and blue; grey with alpha puts the second channel in alpha.
            int target = channels <= 2 && c == 1 ? 3 : static_cast<int>(c);
            for (long x = 0; x < h.width; ++x) {
                uint8_t* px = out + 4 * x;
                px[target] = row[static_cast<size_t>(x)];
                if (channels <= 2 && c == 0)
                    px[1] = px[2] = px[0];
            }
        }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("SGI reading cancelled\n");
            return drop(image);
        }
    }
    image->alpha = channels == 2 || channels == 4;
    image_unlock(image);
    return image;
}

int sgi_info(const LoadRequest& r, ImageInfo* info)
{
    SgiHeader h{};
    if (!read_header(r.stream, h)) {
        refuse(kTitle, r.name, "the header is missing");
        return 1;
    }
    if (const char* problem = header_problem(h, r.file_size)) {
        refuse(kTitle, r.name, problem);
        return 1;
    }
    info->width = h.width;
    info->height = h.height;
    info->bits = static_cast<int>(8 * h.bpc * std::min(h.channels, 4L));
    info->alpha = h.channels == 2 || h.channels >= 4;
    return 0;
}
