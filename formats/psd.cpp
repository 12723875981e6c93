// Photoshop files: the merged composite.
#include "formats/psd.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "formats/codec_io.h"
#include "formats/load_save.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace codec_io;

namespace {

constexpr long kMaxSide = 40000;
const char kTitle[] = "The Photoshop file cannot be read";

enum Mode { Bitmap = 0, Grey = 1, Indexed = 2, Rgb = 3 };

struct PsdLayout {
    long channels = 0, width = 0, height = 0;
    int depth = 0, mode = 0;
    std::vector<uint8_t> palette;  // 768 bytes for indexed images
    long data_at = 0;              // the compression word of the composite
};

const char* mode_name(int mode)
{
    static const char* const names[] = {"bitmap", "grey", "indexed", "RGB", "CMYK", "?", "?", "multichannel",
                                        "duotone", "Lab"};
    return mode >= 0 && mode <= 9 ? names[mode] : "unknown";
}

// Reads the header and skips the sections before the composite.  Returns
// the reason the file cannot be read, or null.
const char* read_layout(FILE* f, long file_size, PsdLayout& l, std::string& why)
{
    uint8_t h[26];
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(h, 1, sizeof h, f) != sizeof h || get_be32(h) != 0x38425053u || get_be16(h + 4) != 1)
        return "the header is missing or not of version 1";
    l.channels = get_be16(h + 12);
    l.height = static_cast<long>(get_be32(h + 14));
    l.width = static_cast<long>(get_be32(h + 18));
    l.depth = get_be16(h + 22);
    l.mode = get_be16(h + 24);
    log_printf("PSD image: %ld x %ld, %ld channels of %d bits, mode %d (%s)\n", l.width, l.height, l.channels, l.depth,
               l.mode, mode_name(l.mode));
    if (l.width < 1 || l.height < 1 || l.width > kMaxSide || l.height > kMaxSide)
        return "the width or height is out of range";
    if (l.channels < 1 || l.channels > 56)
        return "the channel count is out of range";
    if (l.mode > Rgb) {
        why = std::string("images in ") + mode_name(l.mode) + " mode are not read; grey, indexed, bitmap and RGB are";
        return why.c_str();
    }
    if (l.mode == Bitmap ? l.depth != 1 : l.mode == Indexed ? l.depth != 8 : l.depth != 8 && l.depth != 16)
        return "the depth does not suit the mode";
    if ((l.mode == Rgb && l.channels < 3))
        return "an RGB image has fewer than three channels";
    // Colour mode data, image resources, layers and masks: each a length and its bytes.
    long at = 26;
    for (int section = 0; section < 3; ++section) {
        uint8_t n[4];
        if (at > file_size - 4 || std::fseek(f, at, SEEK_SET) != 0 || std::fread(n, 1, 4, f) != 4)
            return "a section runs past the end of the file";
        long size = get_be32(n);
        if (size > file_size - at - 4)
            return "a section runs past the end of the file";
        if (section == 0 && l.mode == Indexed) {
            if (size < 768)
                return "the colour table is shorter than 256 entries";
            l.palette.resize(768);
            if (std::fread(l.palette.data(), 1, 768, f) != 768)
                return "the colour table is cut short";
        }
        at += 4 + size;
    }
    l.data_at = at;
    if (at > file_size - 2)
        return "the file holds no composite image";
    return nullptr;
}

// PackBits: false when the row breaks out of its bytes or overfills.
bool unpack_row(Bytes& src, long count, uint8_t* out, long n)
{
    long end = src.pos + count, x = 0;
    if (count < 0 || end > src.size)
        return false;
    while (src.pos < end && x < n) {
        int8_t c = static_cast<int8_t>(src.data[src.pos++]);
        if (c >= 0) {
            long k = c + 1;
            if (x + k > n || src.pos + k > end)
                return false;
            std::copy(src.data + src.pos, src.data + src.pos + k, out + x);
            src.pos += k;
            x += k;
        } else if (c != -128) {
            long k = 1 - c;
            if (x + k > n || src.pos >= end)
                return false;
            std::fill(out + x, out + x + k, src.data[src.pos++]);
            x += k;
        }
    }
    src.pos = end;
    return x == n;
}

} // namespace

Image* ReadPsd(const LoadRequest& r)
{
    PsdLayout l;
    std::string why;
    if (const char* problem = read_layout(r.stream, r.file_size, l, why)) {
        refuse(kTitle, r.name, problem);
        return nullptr;
    }
    const long row_bytes = l.mode == Bitmap ? (l.width + 7) / 8 : l.width * (l.depth / 8);
    const long planes = l.mode == Rgb ? std::min(l.channels, 4L) : std::min(l.channels, 2L);
    long got = 0;
    Block data(0, "psdd");
    data.p = read_block(r.stream, l.data_at, r.file_size - l.data_at, "psdd", &got);
    if (!data.p) {
        message_show(msg::FileTruncated, r.name);
        return nullptr;
    }
    Bytes src{data.p, got};
    const int compression = get_be16(data.p);
    src.pos = 2;
    const long rows = l.height * l.channels;
    if (compression > 1) {
        refuse(kTitle, r.name, "the composite is compressed with ZIP, which is not read");
        return nullptr;
    }
    // The composite must fit: raw byte for byte; coded, the row counts and
    // runs of at most 128 bytes in two.
    double least = compression ? rows * (2.0 + (row_bytes + 127) / 128 * 2)
                               : static_cast<double>(row_bytes) * l.height * planes;
    if (least > static_cast<double>(got - 2)) {
        refuse(kTitle, r.name, "the composite runs past the end of the file");
        return nullptr;
    }
    Image* image = codec_io::new_image(l.width, l.height, "ipsd", r.name);
    if (!image)
        return nullptr;
    image->bits = static_cast<uint16_t>(l.mode == Bitmap ? 1 : l.depth * planes);
    std::vector<uint8_t> row(static_cast<size_t>(row_bytes));
    const long counts_at = 2;
    if (compression)
        src.pos = counts_at + 2 * rows;
    Meter meter("Reading PSD", planes * l.height);
    for (long c = 0; c < planes; ++c) {
        // Grey's second channel and RGB's fourth are alpha.
        int target = l.mode == Rgb ? static_cast<int>(c) : c == 0 ? 0 : 3;
        for (long y = 0; y < l.height; ++y) {
            bool ok;
            if (compression)
                ok = unpack_row(src, get_be16(data.p + counts_at + 2 * (c * l.height + y)), row.data(), row_bytes);
            else
                ok = src.take(row.data(), row_bytes);
            if (!ok) {
                refuse(kTitle, r.name, "a row of the composite is damaged");
                return drop(image);
            }
            uint8_t* px = image->row(static_cast<int>(y));
            for (long x = 0; x < l.width; ++x, px += 4) {
                uint8_t v = l.mode == Bitmap ? ((row[static_cast<size_t>(x >> 3)] >> (7 - (x & 7))) & 1 ? 0 : 255)
                                             : row[static_cast<size_t>(x * (l.depth / 8))];
                if (l.mode == Indexed && c == 0) {
                    px[0] = l.palette[v];
                    px[1] = l.palette[256 + v];
                    px[2] = l.palette[512 + v];
                } else if (target == 0 && l.mode != Rgb) {
                    px[0] = px[1] = px[2] = v;
                } else {
                    px[target] = v;
                }
            }
            if ((y & 7) == 0 && progress_update(c * l.height + y)) {
                log_printf("PSD reading cancelled\n");
                return drop(image);
            }
        }
    }
    image->alpha = (l.mode == Rgb && planes == 4) || ((l.mode == Grey) && planes == 2);
    image_unlock(image);
    return image;
}

int psd_info(const LoadRequest& r, ImageInfo* info)
{
    PsdLayout l;
    std::string why;
    if (const char* problem = read_layout(r.stream, r.file_size, l, why)) {
        refuse(kTitle, r.name, problem);
        return 1;
    }
    long planes = l.mode == Rgb ? std::min(l.channels, 4L) : std::min(l.channels, 2L);
    info->width = l.width;
    info->height = l.height;
    info->bits = static_cast<int>(l.mode == Bitmap ? 1 : l.depth * planes);
    info->alpha = (l.mode == Rgb && planes == 4) || (l.mode == Grey && planes == 2);
    return 0;
}
