// ZSoft PCX: reader and writer.
#include "formats/pcx.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/messages.h"
#include "formats/codec_io.h"
#include "formats/indexed.h"
#include "formats/load_save.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace codec_io;

namespace {

constexpr long kMaxSide = 40000;
constexpr long kHeaderSize = 128;

// The colours of the EGA adapter, for version 3 files, which carry no palette.
const uint8_t kEgaPalette[16][3] = {{0, 0, 0},       {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
                                    {170, 0, 0},     {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
                                    {85, 85, 85},    {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
                                    {255, 85, 85},   {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};

struct PcxHeader {
    int manufacturer, version, encoding, bits;
    int xmin, ymin, xmax, ymax, hres, vres;
    int reserved, planes, bytes_per_line, palette_type;
    long width, height;
    int depth;
    uint8_t palette[48];
};

PcxHeader parse_header(const uint8_t* h)
{
    PcxHeader p{};
    p.manufacturer = h[0];
    p.version = h[1];
    p.encoding = h[2];
    p.bits = h[3];
    p.xmin = get_le16(h + 4);
    p.ymin = get_le16(h + 6);
    p.xmax = get_le16(h + 8);
    p.ymax = get_le16(h + 10);
    p.hres = get_le16(h + 12);
    p.vres = get_le16(h + 14);
    std::memcpy(p.palette, h + 16, 48);
    p.reserved = h[64];
    p.planes = h[65];
    p.bytes_per_line = get_le16(h + 66);
    p.palette_type = get_le16(h + 68);
    p.width = static_cast<long>(p.xmax) - p.xmin + 1;
    p.height = static_cast<long>(p.ymax) - p.ymin + 1;
    p.depth = p.planes && p.bits ? p.planes * p.bits : std::max(p.planes, p.bits);
    return p;
}

long line_bytes(const PcxHeader& p) { return static_cast<long>(p.bytes_per_line) * p.planes; }

// Why the header describes no image this reader can make, or null.  The
// data must fit in the file: raw byte for byte, coded at least two bytes
// for every 63 of a line.
const char* header_problem(const PcxHeader& p, long file_size)
{
    if (p.width < 1 || p.height < 1 || p.width > kMaxSide || p.height > kMaxSide)
        return "the width or height is out of range";
    bool indexed = p.bits == 1 || p.bits == 2 || p.bits == 4 || (p.bits == 8 && p.planes == 1);
    if (p.planes < 1 || p.planes > 4 || (p.bits != 8 && p.planes * p.bits > 8) || !(indexed || p.bits == 8) ||
        (p.bits == 8 && p.planes == 2))
        return "the planes and bits per pixel make no known layout";
    if (p.bytes_per_line < (p.width * p.bits + 7) / 8)
        return "the bytes per line are fewer than the width needs";
    double rows = static_cast<double>(line_bytes(p)) * static_cast<double>(p.height);
    double least = p.encoding == 1 ? (rows + 62) / 63 * 2 : rows;
    if (least > static_cast<double>(file_size - kHeaderSize))
        return "the pixel data run past the end of the file";
    return nullptr;
}

// The run-length decoder keeps a run that goes on past the end of a line
// for the next (some writers let runs cross lines).
struct RunState {
    int value = 0;
    long left = 0;
};

bool unpack_line(Bytes& src, RunState& s, uint8_t* out, long n, bool coded)
{
    if (!coded)
        return src.take(out, n);
    const uint8_t* p = src.data + src.pos;
    const uint8_t* const end = src.data + src.size;
    long x = 0;
    while (x < n) {
        if (s.left == 0) {
            if (p >= end)
                return false;
            int b = *p++;
            if ((b & 0xC0) != 0xC0) {
                out[x++] = static_cast<uint8_t>(b);
                continue;
            }
            if (p >= end)
                return false;
            s.left = b & 0x3F;
            s.value = *p++;
        }
        long k = std::min(s.left, n - x);
        std::memset(out + x, s.value, static_cast<size_t>(k));
        x += k;
        s.left -= k;
    }
    src.pos = p - src.data;
    return true;
}

bool read_header(FILE* f, PcxHeader& p)
{
    uint8_t h[kHeaderSize];
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(h, 1, sizeof h, f) != sizeof h) {
        note("Truncated PCX file");
        return false;
    }
    p = parse_header(h);
    return p.manufacturer == 10;
}

} // namespace

Image* ReadPcx(FILE* stream, const char* name)
{
    const long file_size = stream_size(stream);
    PcxHeader p;
    if (!read_header(stream, p))
        return nullptr;
    log_printf("READING PCX image file\n");
    log_printf("Type: %d Version: %d Encoding: %d Bits: %d\n", p.manufacturer, p.version, p.encoding, p.bits);
    log_printf("Xmin: %d Ymin: %d Xmax: %d Ymax:%d Hres:%d Vres: %d\n", p.xmin, p.ymin, p.xmax, p.ymax, p.hres, p.vres);
    log_printf("Reserved: %d Planes: %d BytesPerLine: %d PaletteType: %d\n", p.reserved, p.planes, p.bytes_per_line,
               p.palette_type);
    log_printf("Image size = %3ld x %3ld\n", p.width, p.height);
    log_printf("Planes: %d  Run Len: %d\n", p.planes, p.encoding);
    if (const char* problem = header_problem(p, file_size)) {
        error_box("PCX file looks corrupted", (std::string(name) + ": " + problem).c_str());
        return nullptr;
    }
    const long line = line_bytes(p);
    Block buffer(line, "pcxl");
    if (!buffer.p) {
        note("Not enough memory for PCX line buffer");
        return nullptr;
    }
    Image* image = codec_io::new_image(p.width, p.height, "ipcx", name);
    if (!image)
        return nullptr;
    image->bits = static_cast<uint16_t>(p.depth);

    // The 16-entry palette of the header; files of version 3 have none.
    uint8_t palette[256][3] = {};
    if (p.version == 3)
        std::memcpy(palette, kEgaPalette, sizeof kEgaPalette);
    else
        std::memcpy(palette, p.palette, 48);
    // A monochrome file without a palette, or whose two entries agree, shows
    // black and white.
    if (p.depth == 1 && (p.version == 3 || std::memcmp(palette[0], palette[1], 3) == 0)) {
        std::memset(palette[0], 0, 3);
        std::memset(palette[1], 255, 3);
    }

    long got = 0;
    Block data(0, "pcxd");
    data.p = read_block(stream, kHeaderSize, file_size - kHeaderSize, "pcxd", &got);
    if (!data.p) {
        message_show(msg::NoMemoryOperation, name);
        return drop(image);
    }
    Bytes src{data.p, got};
    RunState run;
    const bool indexed8 = p.bits == 8 && p.planes == 1;
    Meter meter("Reading PCX", indexed8 ? 2 * p.height : p.height);
    const long w = p.width, bpl = p.bytes_per_line;
    for (long y = 0; y < p.height; ++y) {
        if (!unpack_line(src, run, buffer.p, line, p.encoding == 1)) {
            message_show(msg::FileTruncated, name);
            return drop(image);
        }
        const uint8_t* b = buffer.p;
        uint8_t* px = image->row(static_cast<int>(y));
        if (p.bits == 8) {
            if (indexed8) {
                // The indices wait in red until the palette is read.
                for (long x = 0; x < w; ++x, px += 4)
                    px[0] = b[x];
            } else {
                for (long x = 0; x < w; ++x, px += 4) {
                    px[0] = b[x];
                    px[1] = b[bpl + x];
                    px[2] = b[2 * bpl + x];
                    if (p.planes == 4)
                        px[3] = b[3 * bpl + x];
                }
            }
        } else {
            const int bits = p.bits, mask = (1 << bits) - 1;
            for (long x = 0; x < w; ++x, px += 4) {
                long bit = x * bits;
                int index = 0;
                for (int plane = 0; plane < p.planes; ++plane) {
                    int v = (b[plane * bpl + (bit >> 3)] >> (8 - bits - (bit & 7))) & mask;
                    index |= v << (plane * bits);
                }
                std::memcpy(px, palette[index & 15], 3);
            }
        }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("PCX reading cancelled\n");
            return drop(image);
        }
    }
    if (p.planes == 4 && p.bits == 8)
        image->alpha = 1;

    if (indexed8) {
        // The palette follows the image data after the byte 12; where that
        // byte is missing, the last 769 bytes of the file are tried, then
        // the 768 bytes that follow the data.
        const uint8_t* pal = nullptr;
        if (src.has(769) && src.data[src.pos] == 12) {
            pal = src.data + src.pos + 1;
        } else {
            log_printf("WARNING: Palette lead in not found !\n");
            if (got >= 769 && src.data[got - 769] == 12 && got - 769 >= src.pos)
                pal = src.data + got - 768;
            else if (src.has(768))
                pal = src.data + src.pos;
        }
        if (!pal) {
            message_show(msg::FileTruncated, name);
            return drop(image);
        }
        for (int i = 0; i < 256; ++i) {
            image->palette_red[i] = pal[3 * i];
            image->palette_green[i] = pal[3 * i + 1];
            image->palette_blue[i] = pal[3 * i + 2];
        }
        for (long y = 0; y < p.height; ++y) {
            uint8_t* px = image->row(static_cast<int>(y));
            for (long x = 0; x < w; ++x, px += 4) {
                const uint8_t* c = pal + 3 * px[0];
                px[0] = c[0];
                px[1] = c[1];
                px[2] = c[2];
            }
            if ((y & 7) == 0 && progress_update(p.height + y)) {
                log_printf("PCX reading cancelled\n");
                return drop(image);
            }
        }
    } else if (p.depth <= 4) {
        for (int i = 0; i < 16; ++i) {
            image->palette_red[i] = palette[i][0];
            image->palette_green[i] = palette[i][1];
            image->palette_blue[i] = palette[i][2];
        }
    }
    image_unlock(image);
    return image;
}

int pcx_info(const LoadRequest& request, ImageInfo* info)
{
    PcxHeader p;
    if (!read_header(request.stream, p))
        return 1;
    if (const char* problem = header_problem(p, request.file_size)) {
        error_box("PCX file looks corrupted", (std::string(request.name) + ": " + problem).c_str());
        return 1;
    }
    info->width = p.width;
    info->height = p.height;
    info->bits = p.depth;
    info->alpha = p.bits == 8 && p.planes == 4;
    return 0;
}

// ---- writing ------------------------------------------------------------------

long pcx_pack_line(const uint8_t* line, long n, uint8_t* out)
{
    long o = 0;
    for (long i = 0; i < n;) {
        uint8_t v = line[i];
        long run = 1;
        while (i + run < n && run < 63 && line[i + run] == v)
            ++run;
        if (run == 1 && v < 0xC0) {
            out[o++] = v;
        } else {
            out[o++] = static_cast<uint8_t>(0xC0 + run);
            out[o++] = v;
        }
        i += run;
    }
    return o;
}

int WritePcx(Image* image, const char* name, int bits)
{
    if (bits != 1 && bits != 4 && bits != 8)
        bits = 24;
    const long width = image->width, height = image->height;
    if (width > 65535 || height > 65535) {
        message_show(msg::ProblemWriting, name);
        return 1;
    }
    if (image_lock(image) != 0) {
        image_unlock(image);
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    Unlock unlock{image};
    uint8_t red[256] = {}, green[256] = {}, blue[256] = {};
    ReduceInfo reduced;
    Block indices(0, "pcxi");
    if (bits != 24) {
        indices.p = reduce_for_file(image, bits, red, green, blue, &reduced);
        if (!indices.p)
            return 1;
    }
    const int planes = bits == 24 ? 3 : bits == 4 ? 4 : 1;
    const long bpl = bits >= 8 ? width : (width + 7) / 8;

    OutFile out(name);
    if (!out.f) {
        message_show(msg::CannotCreateImageFile, name);
        return 1;
    }
    uint8_t h[kHeaderSize] = {};
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = bits >= 8 ? 8 : 1;
    put_le16(h + 8, static_cast<uint16_t>(width - 1));
    put_le16(h + 10, static_cast<uint16_t>(height - 1));
    put_le16(h + 12, 1024);
    put_le16(h + 14, 768);
    for (int i = 0; i < 16; ++i) {
        h[16 + 3 * i] = red[i];
        h[17 + 3 * i] = green[i];
        h[18 + 3 * i] = blue[i];
    }
    h[65] = static_cast<uint8_t>(planes);
    put_le16(h + 66, static_cast<uint16_t>(bpl));
    if (!out.put(h, sizeof h)) {
        message_show(msg::ProblemWriting, name);
        return 1;
    }
    Block plane(bpl, "pcxw"), packed(2 * bpl * planes, "pcxw");
    if (!plane.p || !packed.p) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    Meter meter("- Writing PCX File -", height);
    for (long y = 0; y < height; ++y) {
        const uint8_t* px = image->row(static_cast<int>(y));
        const uint8_t* ix = indices.p ? indices.p + y * reduced.stride : nullptr;
        long n = 0;
        for (int k = 0; k < planes; ++k) {
            uint8_t* d = plane.p;
            switch (bits) {
            case 24:
                for (long x = 0; x < width; ++x)
                    d[x] = px[4 * x + k];
                break;
            case 8: std::memcpy(d, ix, static_cast<size_t>(width)); break;
            default:
                std::memset(d, 0, static_cast<size_t>(bpl));
                for (long x = 0; x < width; ++x)
                    if (bits == 1 ? ix[x] != 0 : (ix[x] >> k) & 1)
                        d[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                break;
            }
            n += pcx_pack_line(d, bpl, packed.p + n);
        }
        if (!out.put(packed.p, static_cast<size_t>(n))) {
            message_show(msg::ProblemWriting, name);
            return 1;
        }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("PCX saving cancelled\n");
            return 1;
        }
    }
    if (bits == 8) {
        uint8_t trailer[769];
        trailer[0] = 12;
        for (int i = 0; i < 256; ++i) {
            trailer[1 + 3 * i] = red[i];
            trailer[2 + 3 * i] = green[i];
            trailer[3 + 3 * i] = blue[i];
        }
        if (!out.put(trailer, sizeof trailer)) {
            message_show(msg::ProblemWriting, name);
            return 1;
        }
    }
    if (!out.finish()) {
        message_show(msg::ProblemWriting, name);
        return 1;
    }
    return 0;
}
