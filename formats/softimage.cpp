// Softimage PIC files.
#include "formats/softimage.h"

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
constexpr long kHeader = 104;
const char kTitle[] = "The Softimage file cannot be read";

struct Packet {
    int type;  // 0 uncompressed, 1 pure run-length, 2 mixed run-length
    int mask;  // 0x80 red, 0x40 green, 0x20 blue, 0x10 alpha
};

struct PicLayout {
    long width = 0, height = 0;
    std::vector<Packet> packets;
    int channels = 0;  // the union of the masks
    long data_at = 0;
};

int channel_count(int mask)
{
    int n = 0;
    for (int bit = 0x80; bit >= 0x10; bit >>= 1)
        n += (mask & bit) != 0;
    return n;
}

const char* read_layout(FILE* f, long file_size, PicLayout& l)
{
    uint8_t h[kHeader];
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(h, 1, sizeof h, f) != sizeof h || get_be32(h) != 0x5380F634u)
        return "the header is missing";
    l.width = get_be16(h + 92);
    l.height = get_be16(h + 94);
    if (l.width < 1 || l.height < 1 || l.width > kMaxSide || l.height > kMaxSide)
        return "the width or height is out of range";
    long at = kHeader;
    for (bool chained = true; chained;) {
        uint8_t p[4];
        if (l.packets.size() >= 8 || std::fread(p, 1, 4, f) != 4)
            return "the channel packets are damaged";
        at += 4;
        chained = p[0] != 0;
        if (p[1] != 8 || p[2] > 2 || (p[3] & 0xF0) == 0 || (p[3] & 0x0F))
            return "a channel packet is not of 8-bit red, green, blue or alpha";
        l.packets.push_back({p[2], p[3]});
        l.channels |= p[3];
    }
    l.data_at = at;
    // What the shortest coding of a row takes in each packet: runs of at
    // most 65535 or 127 (mixed), 255 (pure) or single pixels (uncompressed).
    double row = 0;
    for (const Packet& p : l.packets) {
        double n = channel_count(p.mask);
        double mixed = std::min((l.width + 126) / 127 * (1 + n), (l.width + 65534) / 65535 * (3 + n));
        row += p.type == 0 ? n * l.width : p.type == 1 ? (l.width + 254) / 255 * (1 + n) : mixed;
    }
    if (row * static_cast<double>(l.height) > static_cast<double>(file_size - at))
        return "the pixel data run past the end of the file";
    return nullptr;
}

// Puts one pixel's channel bytes into the channels the mask names.
void put(uint8_t* px, int mask, const uint8_t* v)
{
    int i = 0;
    for (int c = 0, bit = 0x80; c < 4; ++c, bit >>= 1)
        if (mask & bit)
            px[c] = v[i++];
}

// One row of one packet; false when the data end or break the row.
bool read_packet_row(Bytes& src, const Packet& p, uint8_t* row, long width)
{
    const int n = channel_count(p.mask);
    uint8_t v[4];
    long x = 0;
    if (p.type == 0) {
        for (; x < width; ++x) {
            if (!src.take(v, n))
                return false;
            put(row + 4 * x, p.mask, v);
        }
        return true;
    }
    while (x < width) {
        int c = src.byte();
        if (c < 0)
            return false;
        long count;
        bool literal = false;
        if (p.type == 1) {
            count = c;
        } else if (c < 128) {
            count = c + 1;
            literal = true;
        } else if (c == 128) {
            uint8_t b[2];
            if (!src.take(b, 2))
                return false;
            count = get_be16(b);
        } else {
            count = c - 127;
        }
        if (count < 1 || x + count > width)
            return false;
        if (literal) {
            for (long i = 0; i < count; ++i, ++x) {
                if (!src.take(v, n))
                    return false;
                put(row + 4 * x, p.mask, v);
            }
        } else {
            if (!src.take(v, n))
                return false;
            for (long i = 0; i < count; ++i, ++x)
                put(row + 4 * x, p.mask, v);
        }
    }
    return true;
}

} // namespace

Image* ReadSoftimage(const LoadRequest& r)
{
    PicLayout l;
    if (const char* problem = read_layout(r.stream, r.file_size, l)) {
        refuse(kTitle, r.name, problem);
        return nullptr;
    }
    log_printf("Softimage PIC: %ld x %ld, %d packets\n", l.width, l.height, static_cast<int>(l.packets.size()));
    long got = 0;
    Block data(0, "picd");
    data.p = read_block(r.stream, l.data_at, r.file_size - l.data_at, "picd", &got);
    if (!data.p) {
        message_show(msg::FileTruncated, r.name);
        return nullptr;
    }
    Image* image = codec_io::new_image(l.width, l.height, "ipic", r.name);
    if (!image)
        return nullptr;
    const bool alpha = l.channels & 0x10;
    image->bits = alpha ? 32 : 24;
    Bytes src{data.p, got};
    Meter meter("Reading PIC", l.height);
    for (long y = 0; y < l.height; ++y) {
        for (const Packet& p : l.packets)
            if (!read_packet_row(src, p, image->row(static_cast<int>(y)), l.width)) {
                message_show(msg::FileTruncated, r.name);
                return drop(image);
            }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("PIC reading cancelled\n");
            return drop(image);
        }
    }
    image->alpha = alpha;
    image_unlock(image);
    return image;
}

int softimage_info(const LoadRequest& r, ImageInfo* info)
{
    PicLayout l;
    if (const char* problem = read_layout(r.stream, r.file_size, l)) {
        refuse(kTitle, r.name, problem);
        return 1;
    }
    info->width = l.width;
    info->height = l.height;
    info->alpha = l.channels & 0x10;
    info->bits = info->alpha ? 32 : 24;
    return 0;
}
