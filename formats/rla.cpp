// Wavefront RLA files.
#include "formats/rla.h"

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
constexpr long kHeader = 740;
const char kTitle[] = "The Wavefront RLA file cannot be read";

struct RlaHeader {
    long width, height;
    int channels, mattes, chan_bits, matte_bits;
};

const char* read_header(FILE* f, long file_size, RlaHeader& h)
{
    uint8_t b[kHeader];
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(b, 1, sizeof b, f) != sizeof b)
        return "the header is missing";
    auto s16 = [&](int at) { return static_cast<int16_t>(get_be16(b + at)); };
    // The active window is what the scan lines hold.
    long left = s16(8), right = s16(10), bottom = s16(12), top = s16(14);
    h.width = right - left + 1;
    h.height = top - bottom + 1;
    h.channels = s16(20);
    h.mattes = s16(22);
    h.chan_bits = s16(658);
    h.matte_bits = s16(662);
    if (h.width < 1 || h.height < 1 || h.width > kMaxSide || h.height > kMaxSide)
        return "the width or height is out of range";
    if (h.channels < 1 || h.channels > 3 || h.mattes < 0 || h.mattes > 1)
        return "the channel counts are out of range";
    if ((h.chan_bits != 8 && h.chan_bits != 0) || (h.mattes && h.matte_bits != 8 && h.matte_bits != 0))
        return "channels of more than 8 bits are not read";
    // The offset table, and for each channel of each row a length word and
    // runs of at most 128 bytes in two.
    double least = h.height * (4.0 + (2.0 + (h.width + 127) / 128 * 2) * (h.channels + h.mattes));
    if (least > static_cast<double>(file_size - kHeader))
        return "the scan lines run past the end of the file";
    return nullptr;
}

// One run-length coded channel of a row: a count byte c, c >= 0 repeats the
// next byte c + 1 times, c < 0 copies -c bytes.
bool unpack(const uint8_t* p, long size, uint8_t* out, long width)
{
    long pos = 0, x = 0;
    while (x < width && pos < size) {
        int c = static_cast<int8_t>(p[pos++]);
        if (c >= 0) {
            if (pos >= size)
                return false;
            long n = std::min<long>(c + 1, width - x);
            std::fill(out + x, out + x + n, p[pos++]);
            x += n;
        } else {
            long n = -c;
            if (pos + n > size || x + n > width)
                return false;
            std::copy(p + pos, p + pos + n, out + x);
            pos += n;
            x += n;
        }
    }
    return x == width;
}

} // namespace

Image* ReadRla(const LoadRequest& r)
{
    RlaHeader h{};
    if (const char* problem = read_header(r.stream, r.file_size, h)) {
        refuse(kTitle, r.name, problem);
        return nullptr;
    }
    log_printf("Wavefront RLA: %ld x %ld, %d channels, %d mattes\n", h.width, h.height, h.channels, h.mattes);
    long got = 0;
    Block data(0, "rlad");
    data.p = read_block(r.stream, 0, r.file_size, "rlad", &got);
    if (!data.p || got != r.file_size) {
        message_show(msg::FileTruncated, r.name);
        return nullptr;
    }
    Image* image = codec_io::new_image(h.width, h.height, "irla", r.name);
    if (!image)
        return nullptr;
    image->bits = static_cast<uint16_t>(h.mattes ? 32 : 24);
    std::vector<uint8_t> row(static_cast<size_t>(h.width));
    Meter meter("Reading RLA", h.height);
    for (long y = 0; y < h.height; ++y) {
        // The first scan line is the bottom row.
        long at = get_be32(data.p + kHeader + 4 * y);
        uint8_t* out = image->row(static_cast<int>(h.height - 1 - y));
        for (int c = 0; c < h.channels + h.mattes; ++c) {
            if (at < kHeader || at > got - 2) {
                refuse(kTitle, r.name, "a scan line lies outside the file");
                return drop(image);
            }
            long size = get_be16(data.p + at);
            at += 2;
            if (size > got - at || !unpack(data.p + at, size, row.data(), h.width)) {
                refuse(kTitle, r.name, "a scan line is damaged");
                return drop(image);
            }
            at += size;
            // One colour channel is grey; the matte is alpha.
            int target = c < h.channels ? c : 3;
            for (long x = 0; x < h.width; ++x) {
                uint8_t* px = out + 4 * x;
                px[target] = row[static_cast<size_t>(x)];
                if (h.channels == 1 && c == 0)
                    px[1] = px[2] = px[0];
            }
        }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("RLA reading cancelled\n");
            return drop(image);
        }
    }
    image->alpha = h.mattes != 0;
    image_unlock(image);
    return image;
}

int rla_info(const LoadRequest& r, ImageInfo* info)
{
    RlaHeader h{};
    if (const char* problem = read_header(r.stream, r.file_size, h)) {
        refuse(kTitle, r.name, problem);
        return 1;
    }
    info->width = h.width;
    info->height = h.height;
    info->bits = h.mattes ? 32 : 24;
    info->alpha = h.mattes != 0;
    return 0;
}
