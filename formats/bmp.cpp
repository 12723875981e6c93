// Windows and OS/2 bitmaps: the reader of every header form, bit count and
// run-length code; the writer at 1, 4, 8, 24 and 32 bits.
#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "formats/resolution.h"
#include "formats/indexed.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

// Pixels are moved as 32-bit words in places: R G B A in memory is
// 0xAABBGGRR on this byte order.
static_assert(std::endian::native == std::endian::little, "the pixel words assume little-endian memory");

namespace {

// The byte moves of 24-bit rows, four pixels (three words of B G R) at a time.
inline uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store32(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}
// Swaps the first and third bytes: R G B x and B G R x into each other.
inline uint32_t swap_rb(uint32_t v)
{
    return (v & 0xFF00FF00u) | ((v & 0xFFu) << 16) | ((v >> 16) & 0xFFu);
}

// Stored B G R pixels into R G B A (alpha 255).
void bgr_to_rgba(const uint8_t* s, uint8_t* out, long width)
{
    long x = 0;
    for (; x + 4 <= width; x += 4, s += 12, out += 16) {
        const uint32_t i0 = load32(s), i1 = load32(s + 4), i2 = load32(s + 8);
        store32(out, swap_rb(i0) | 0xFF000000u);
        store32(out + 4, swap_rb((i0 >> 24) | (i1 << 8)) | 0xFF000000u);
        store32(out + 8, swap_rb((i1 >> 16) | (i2 << 16)) | 0xFF000000u);
        store32(out + 12, swap_rb(i2 >> 8) | 0xFF000000u);
    }
    for (; x < width; ++x, s += 3, out += 4) {
        out[0] = s[2];
        out[1] = s[1];
        out[2] = s[0];
        out[3] = 255;
    }
}

// R G B A pixels into stored B G R.
void rgba_to_bgr(const uint8_t* px, uint8_t* row, long width)
{
    long x = 0;
    for (; x + 4 <= width; x += 4, px += 16, row += 12) {
        const uint32_t p0 = swap_rb(load32(px)) & 0xFFFFFFu, p1 = swap_rb(load32(px + 4)) & 0xFFFFFFu;
        const uint32_t p2 = swap_rb(load32(px + 8)) & 0xFFFFFFu, p3 = swap_rb(load32(px + 12)) & 0xFFFFFFu;
        store32(row, p0 | p1 << 24);
        store32(row + 4, p1 >> 8 | p2 << 16);
        store32(row + 8, p2 >> 16 | p3 << 8);
    }
    for (; x < width; ++x, px += 4, row += 3) {
        row[0] = px[2];
        row[1] = px[1];
        row[2] = px[0];
    }
}

constexpr int kRle8 = 1;
constexpr int kRle4 = 2;
constexpr long kBitFields = 3;       // masks after a 40-byte header (or in a longer one)
constexpr long kAlphaBitFields = 6;  // the same with an alpha mask
constexpr long kMaxSide = 40000;
// Run-length data paint at most 255 pixels with two bytes, and skip rows
// with four; more than this many pixels a byte is no bitmap.
constexpr double kRlePixelsPerByte = 1024;

struct BmpInfo {
    long file_length;
    long file_size, offset;
    long header_size;
    bool os2;
    long width, height;
    int planes, bits;
    long compression, image_size, xppm, yppm, colours_used, colours_important;
};

bool read_exact(FILE* f, uint8_t* out, size_t n)
{
    return std::fread(out, 1, n, f) == n;
}

std::string binary32(uint32_t v)
{
    std::string s(32, '0');
    for (int i = 0; i < 32; ++i)
        if (v & (1u << (31 - i)))
            s[i] = '1';
    return s;
}

// The row length of uncompressed data: bits per row rounded up to 32.
long row_bytes(long width, int bits)
{
    return ((width * bits + 31) & ~31L) / 8;
}

bool run_length(const BmpInfo& bi)
{
    return bi.compression != 0 && (bi.bits == 4 || bi.bits == 8);
}

// Data in a coding the reader does not decode (RLE24, JPEG or PNG inside):
// only its size is bounded.
bool other_coding(const BmpInfo& bi)
{
    return bi.compression != 0 && bi.compression != kBitFields && bi.compression != kAlphaBitFields;
}

// The file and information headers, checked; 0, or 1 after the note.
int read_headers(FILE* stream, BmpInfo& bi)
{
    bi = BmpInfo{};
    uint8_t fh[14];
    std::fseek(stream, 0, SEEK_END);
    bi.file_length = std::ftell(stream);
    std::fseek(stream, 0, SEEK_SET);
    if (!read_exact(stream, fh, sizeof fh)) {
        log_printf("BMP Header read failed\n");
        note("BMP file Header truncated.");
        return 1;
    }
    if (fh[0] != 'B' || fh[1] != 'M') {
        log_printf("Image file header not recognized\n");
        note("File is not a Windows or OS/2 bitmap.");
        return 1;
    }
    bi.file_size = get_le32(fh + 2);
    bi.offset = get_le32(fh + 10);
    log_printf("Type: %c%c File size: %ld  Reserved: %d , %d Image at: %ld\n", fh[0], fh[1], bi.file_size,
               get_le16(fh + 6), get_le16(fh + 8), bi.offset);

    uint8_t ih[40];
    if (!read_exact(stream, ih, 4)) {
        log_printf("BMP Info size read failed\n");
        note("BMP file info truncated.");
        return 1;
    }
    bi.header_size = get_le32(ih);
    std::fseek(stream, 14, SEEK_SET);
    if (bi.header_size == 12) {
        if (!read_exact(stream, ih, 12)) {
            log_printf("BMP Info read failed\n");
            note("BMP file old info truncated.");
            return 1;
        }
        bi.os2 = true;
        bi.width = get_le16(ih + 4);
        bi.height = get_le16(ih + 6);
        bi.planes = get_le16(ih + 8);
        bi.bits = get_le16(ih + 10);
        bi.xppm = bi.yppm = 100;
        bi.colours_used = bi.bits < 16 ? 1L << bi.bits : 0;
    } else {
        if (!read_exact(stream, ih, 40)) {
            log_printf("BMP Info read failed\n");
            note("BMP file full info truncated.");
            return 1;
        }
        bi.width = static_cast<int32_t>(get_le32(ih + 4));
        bi.height = static_cast<int32_t>(get_le32(ih + 8));
        bi.planes = get_le16(ih + 12);
        bi.bits = get_le16(ih + 14);
        bi.compression = get_le32(ih + 16);
        bi.image_size = get_le32(ih + 20);
        bi.xppm = static_cast<int32_t>(get_le32(ih + 24));
        bi.yppm = static_cast<int32_t>(get_le32(ih + 28));
        bi.colours_used = static_cast<int32_t>(get_le32(ih + 32));
        bi.colours_important = static_cast<int32_t>(get_le32(ih + 36));
        log_printf("StrSize: %ld  Xw: %ld  Yw: %ld Planes: %d Bits: %d\n", bi.header_size, bi.width, bi.height,
                   bi.planes, bi.bits);
        log_printf("Compression: %ld RLE8=%d RLE4=%d ImageSize: %ld Xppm: %ld Yppm: %ld\n", bi.compression, kRle8,
                   kRle4, bi.image_size, bi.xppm, bi.yppm);
        log_printf("ColorsUsed: %ld  ColorsImportant: %ld\n", bi.colours_used, bi.colours_important);
    }
    if (bi.width < 1 || bi.width > kMaxSide || bi.height < 1 || bi.height > kMaxSide || bi.bits < 1 ||
        bi.bits > 32) {
        note("BMP file looks corrupted");
        return 1;
    }
    // Only sizes that passed the check are multiplied.
    if (bi.image_size == 0)
        bi.image_size = row_bytes(bi.width, bi.bits) * bi.height;
    return 0;
}

// Bytes of pixel data the file holds after the data offset.
long data_available(const BmpInfo& bi)
{
    return bi.offset >= 0 && bi.offset < bi.file_length ? bi.file_length - bi.offset : 0;
}

// Whether the file can hold the pixels its header declares: uncompressed
// rows must all be there (the last one without its padding), run-length
// data within a generous ratio.
bool holds_its_pixels(const BmpInfo& bi)
{
    const double have = static_cast<double>(data_available(bi));
    if (run_length(bi) || other_coding(bi))
        return codec_size_plausible(bi.width, bi.height, have, kRlePixelsPerByte);
    const double need = static_cast<double>(row_bytes(bi.width, bi.bits)) * static_cast<double>(bi.height - 1) +
                        static_cast<double>((bi.width * bi.bits + 7) / 8);
    return need <= have;
}

// One channel of a bit-field pixel: where its bits lie and how they widen to 8.
struct Field {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Field(uint32_t m = 0) : mask(m)
    {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1))
            ++bits;
    }
    uint8_t operator()(uint32_t v) const
    {
        if (!bits)
            return 0;
        uint32_t x = (v & mask) >> shift;
        if (bits >= 8)
            return static_cast<uint8_t>(x >> (bits - 8));
        return static_cast<uint8_t>((x * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1));
    }
};

// How 32-bit pixels are laid out: blue, green, red and a fourth byte
// (plain files), or by bit fields.
struct Layout32 {
    bool plain = true;
    Field r, g, b, a;
};

// Where a decoder writes: one image row at a time, bottom-up.
struct Canvas {
    Image* image;
    const uint8_t (*palette)[4];
    bool count_usage;
    long width, height;

    void put_index(long x, long y, int index)
    {
        uint8_t* p = image->pixel(static_cast<int>(x), static_cast<int>(y));
        p[0] = palette[index][0];
        p[1] = palette[index][1];
        p[2] = palette[index][2];
        if (count_usage)
            formats_state().bmp_usage[index] += 1;
    }
};

// One stored row into image row y.  Returns whether any 32-bit pixel had a
// fourth byte (or alpha field) other than 0.
bool decode_row(Canvas& c, const uint8_t* s, long y, int bits, const Layout32& l32)
{
    uint8_t* out = c.image->row(static_cast<int>(y));
    const long w = c.width;
    switch (bits) {
    case 1:
        for (long x = 0; x < w; ++x)
            c.put_index(x, y, (s[x >> 3] >> (7 - (x & 7))) & 1);
        break;
    case 4:
        for (long x = 0; x < w; ++x)
            c.put_index(x, y, x & 1 ? s[x >> 1] & 15 : s[x >> 1] >> 4);
        break;
    case 8:
        for (long x = 0; x < w; ++x)
            c.put_index(x, y, s[x]);
        break;
    case 16:
        for (long x = 0; x < w; ++x, out += 4) {
            int v = get_le16(s + 2 * x);
            out[0] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
            out[1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
            out[2] = static_cast<uint8_t>((v & 31) << 3);
        }
        break;
    case 24: bgr_to_rgba(s, out, w); break;
    case 32: {
        uint8_t any = 0;
        if (l32.plain) {
            uint32_t alpha = 0;
            for (long x = 0; x < w; ++x, out += 4, s += 4) {
                const uint32_t v = load32(s);
                alpha |= v;
                store32(out, swap_rb(v));
            }
            any = static_cast<uint8_t>(alpha >> 24);
        } else {
            for (long x = 0; x < w; ++x, out += 4, s += 4) {
                const uint32_t v = get_le32(s);
                out[0] = l32.r(v);
                out[1] = l32.g(v);
                out[2] = l32.b(v);
                if (l32.a.bits) {
                    out[3] = l32.a(v);
                    any |= out[3];
                } else {
                    out[3] = 255;
                }
            }
        }
        return any != 0;
    }
    default: break;
    }
    return false;
}

// Uncompressed data, read a band of rows at a time straight from the file.
// 0 done; 1 cancelled.  `alpha_seen` tells whether a 32-bit file carries
// alpha (a fourth byte that is not 0 somewhere).
int decode_plain(Canvas& c, FILE* stream, long available, int bits, const Layout32& l32, bool& alpha_seen)
{
    const long stride = row_bytes(c.width, bits);
    const long band = std::max(1L, std::min(c.height, (1L << 20) / stride));
    std::vector<uint8_t> buffer(static_cast<size_t>(band * stride));
    const int every = bits >= 16 ? 8 : 1;
    long row = 0;
    while (row < c.height) {
        const long want = std::min(band, c.height - row) * stride;
        const long got = static_cast<long>(std::fread(buffer.data(), 1, static_cast<size_t>(std::min(want, available)), stream));
        available -= got;
        // The last row may lack its padding; rows the file does not hold stay as created.
        const long rows = (got + stride - ((c.width * bits + 7) / 8)) / stride;
        for (long i = 0; i < rows && row < c.height; ++i, ++row) {
            alpha_seen |= decode_row(c, buffer.data() + i * stride, c.height - 1 - row, bits, l32);
            if (row % every == 0 && progress_update(row))
                return 1;
        }
        if (got < want)
            break;
    }
    return 0;
}

// The run-length codes.  Image row y counts down from the bottom row; the
// decoding stops at the end of the data or when y falls below the top row.
bool decode_rle(Canvas& c, const uint8_t* data, long size, bool four)
{
    long pos = 0, x = 0, y = c.height - 1;
    long rows_done = 0;
    auto row_up = [&]() {
        y -= 1;
        x = 0;
        rows_done += 1;
        return progress_update(rows_done);
    };
    // Paints one index where a run wraps to the next row up at the right edge.
    auto paint_wrapping = [&](int index) {
        if (x >= c.width) {
            if (row_up())
                return false;
            if (y < 0)
                return false;
        }
        c.put_index(x++, y, index);
        return true;
    };
    while (pos + 1 < size && y >= 0) {
        int n = data[pos], v = data[pos + 1];
        pos += 2;
        if (n > 0) {
            if (four) {
                for (int i = 0; i < n && y >= 0; ++i)
                    if (!paint_wrapping(i & 1 ? v & 15 : v >> 4))
                        return !progress_cancel_requested();
            } else {
                // A run is clipped at the right edge.
                for (int i = 0; i < n && x < c.width; ++i)
                    c.put_index(x++, y, v);
            }
            continue;
        }
        if (v == 0) {  // end of line
            if (y > 0) {
                if (row_up())
                    return false;
            } else {
                x = 0;
            }
        } else if (v == 1) {  // end of bitmap
            break;
        } else if (v == 2) {  // delta
            if (pos + 1 >= size)
                break;
            x += data[pos];
            y -= data[pos + 1];
            pos += 2;
        } else {  // an absolute group of v indices, padded to 16 bits
            long bytes = four ? (v + 3) / 4 * 2 : (v + 1) / 2 * 2;
            const uint8_t* s = data + pos;
            long avail = size - pos;
            for (int i = 0; i < v && y >= 0; ++i) {
                long at = four ? i / 2 : i;
                if (at >= avail)
                    break;
                int index = four ? (i & 1 ? s[at] & 15 : s[at] >> 4) : s[at];
                if (!paint_wrapping(index))
                    return !progress_cancel_requested();
            }
            pos += bytes;
        }
    }
    return true;
}

Image* fail_after_image(ImageLock& lock, Image* image, const char* text)
{
    lock.release();
    if (image)
        image_free(image);
    if (text)
        note(text);
    return nullptr;
}

uint32_t read_mask(FILE* stream, long at, bool& ok)
{
    uint8_t m[4];
    ok = ok && std::fseek(stream, at, SEEK_SET) == 0 && read_exact(stream, m, 4);
    return ok ? get_le32(m) : 0;
}

} // namespace

Image* ReadBmp(FILE* stream, const char* name)
{
    BmpInfo bi;
    if (read_headers(stream, bi) != 0)
        return nullptr;
    if (!holds_its_pixels(bi)) {
        codec_refuse_declared_size("BMP", name ? name : "", bi.width, bi.height,
                                   static_cast<double>(data_available(bi)));
        return nullptr;
    }

    Image* image = codec_new_image(bi.width, bi.height, "ibmp");
    ImageLock lock(image);
    if (!lock)
        return fail_after_image(lock, image, "No real memory for image");
    image->bits = static_cast<uint16_t>(bi.bits);
    set_resolution_ppm(image, bi.xppm, bi.yppm);

    long count = bi.colours_used;
    if (count <= 0)
        count = bi.bits < 16 ? 1L << bi.bits : 0;
    if (bi.colours_important > count)
        bi.colours_important = count;

    FormatsState& fs = formats_state();
    std::memset(fs.bmp_usage, 0, sizeof fs.bmp_usage);
    progress_open("Reading BMP", bi.height);
    struct MeterCloser {
        ~MeterCloser() { progress_close(); }
    } meter;

    // What has been decoded so far is the result when the palette or the
    // masks are cut short.
    auto early = [&]() { return image; };
    // The three words after the header go to the log as masks.  Most files
    // hold pixels there: a small one may end first, and is decoded all the same.
    std::fseek(stream, 14 + bi.header_size, SEEK_SET);
    if (!bi.os2 && (bi.bits == 16 || bi.bits == 32)) {
        static const char* const names[3] = {"r", "g", "b"};
        for (const char* mask_name : names) {
            uint8_t m[4];
            if (!read_exact(stream, m, 4))
                break;
            log_printf("Bit masks %s %08lX = %s\n", mask_name, static_cast<unsigned long>(get_le32(m)),
                       binary32(get_le32(m)).c_str());
        }
    }
    // 32-bit pixels by bit fields: the masks lie in a header of 52 bytes
    // or more, else after the 40-byte header (with alpha for code 6).
    Layout32 l32;
    if (bi.bits == 32 && (bi.compression == kBitFields || bi.compression == kAlphaBitFields)) {
        bool ok = true;
        const long at = bi.header_size >= 52 ? 14 + 40 : 14 + bi.header_size;
        const bool has_alpha = bi.header_size >= 56 || bi.compression == kAlphaBitFields;
        const uint32_t r = read_mask(stream, at, ok), g = read_mask(stream, at + 4, ok),
                       b = read_mask(stream, at + 8, ok);
        const uint32_t a = has_alpha ? read_mask(stream, at + 12, ok) : 0;
        if (!ok)
            return early();
        l32.plain = r == 0xFF0000u && g == 0xFF00u && b == 0xFFu && (a == 0xFF000000u || a == 0);
        l32.r = Field(r), l32.g = Field(g), l32.b = Field(b), l32.a = Field(a);
        if (l32.plain && a == 0)
            l32.plain = false;  // no alpha field: opaque
    }
    std::fseek(stream, 14 + bi.header_size + (!bi.os2 && (bi.bits == 16 || bi.bits == 32) ? 12 : 0), SEEK_SET);
    uint8_t palette[256][4] = {};
    int entry_size = bi.os2 ? 3 : 4;
    for (long i = 0; i < count && i < 256; ++i) {
        uint8_t e[4];
        if (!read_exact(stream, e, static_cast<size_t>(entry_size)))
            return early();
        palette[i][0] = e[2];
        palette[i][1] = e[1];
        palette[i][2] = e[0];
        image->palette_red[i] = e[2];
        image->palette_green[i] = e[1];
        image->palette_blue[i] = e[0];
    }

    Canvas canvas{image, palette, fs.diagnostics && bi.bits == 8, bi.width, bi.height};
    bool finished = true;
    bool alpha_seen = false;
    if (run_length(bi)) {
        // The declared size, never more than the file holds.
        const long want = std::min(bi.image_size, data_available(bi));
        auto* data = static_cast<uint8_t*>(mem_alloc(std::max(want, 1L), "bmpd"));
        if (!data)
            return fail_after_image(lock, image, "Not enough memory for file");
        std::fseek(stream, bi.offset, SEEK_SET);
        long got = static_cast<long>(std::fread(data, 1, static_cast<size_t>(want), stream));
        // Pixels a run-length bitmap skips (by a delta or an early end of
        // line) show the first palette colour, as in other readers.
        for (long y = 0; y < bi.height; ++y) {
            uint8_t* p = image->row(static_cast<int>(y));
            for (long x = 0; x < bi.width; ++x, p += 4) {
                p[0] = palette[0][0];
                p[1] = palette[0][1];
                p[2] = palette[0][2];
            }
        }
        finished = decode_rle(canvas, data, got, bi.bits == 4);
        data = mem_free_t(data);
    } else {
        std::fseek(stream, bi.offset, SEEK_SET);
        finished = decode_plain(canvas, stream, data_available(bi), bi.bits, l32, alpha_seen) == 0;
    }
    if (!finished) {
        log_printf("BMP reading cancelled\n");
        return fail_after_image(lock, image, nullptr);
    }
    if (bi.bits == 32) {
        // A fourth byte that is 0 everywhere is padding (most writers leave
        // it so), not a transparent picture.
        image->alpha = alpha_seen ? 1 : 0;
        if (!alpha_seen)
            for (long y = 0; y < bi.height; ++y) {
                uint8_t* p = image->row(static_cast<int>(y));
                for (long x = 0; x < bi.width; ++x)
                    p[4 * x + 3] = 255;
            }
    }
    if (bi.bits != 1 && bi.bits != 4 && bi.bits != 8 && bi.bits != 16 && bi.bits != 24 && bi.bits != 32)
        log_printf("BMP pixels of %d bits are not decoded\n", bi.bits);
    if (fs.diagnostics && bi.bits == 8)
        for (int i = 0; i < 256; ++i)
            log_printf("DIAG BMP use %3d = %5d\n", i, fs.bmp_usage[i]);
    return image;
}

int InfoBmp(FILE* stream, const char* name, ImageInfo* info)
{
    BmpInfo bi;
    if (read_headers(stream, bi) != 0)
        return 1;
    if (!holds_its_pixels(bi)) {
        codec_refuse_declared_size("BMP", name ? name : "", bi.width, bi.height,
                                   static_cast<double>(data_available(bi)));
        return 1;
    }
    info->width = bi.width;
    info->height = bi.height;
    info->bits = bi.bits;
    info->alpha = false;
    if (bi.bits == 32) {
        // Whether alpha is in use needs the pixels: a plain file carries it
        // when a fourth byte is not 0, a bit-field file only with an alpha field.
        uint32_t a = 0;
        bool ok = true;
        if (bi.compression == kBitFields || bi.compression == kAlphaBitFields) {
            const long at = bi.header_size >= 52 ? 14 + 40 : 14 + bi.header_size;
            if (bi.header_size >= 56 || bi.compression == kAlphaBitFields)
                a = read_mask(stream, at + 12, ok);
        } else {
            a = 0xFF000000u;
        }
        if (ok && a) {
            const Field alpha(a);
            const long stride = row_bytes(bi.width, 32);
            std::vector<uint8_t> row(static_cast<size_t>(stride));
            std::fseek(stream, bi.offset, SEEK_SET);
            for (long y = 0; y < bi.height && !info->alpha; ++y) {
                if (!read_exact(stream, row.data(), row.size()))
                    break;
                for (long x = 0; x < bi.width && !info->alpha; ++x)
                    info->alpha = alpha(get_le32(row.data() + 4 * x)) != 0;
            }
        }
    }
    // Pixels per metre as the image record keeps them: through its ratio.
    Image probe{};
    set_resolution_ppm(&probe, bi.xppm, bi.yppm);
    info->hres = probe.hres_den ? static_cast<double>(probe.hres_num) / probe.hres_den : 0;
    info->vres = probe.vres_den ? static_cast<double>(probe.vres_num) / probe.vres_den : 0;
    return 0;
}

// ---- writing ------------------------------------------------------------------

namespace {

struct OutFile {
    FILE* f = nullptr;
    const char* name = nullptr;
    bool keep = false;
    ~OutFile()
    {
        if (f) {
            std::fclose(f);
            // A file that was not written to the end is not left behind.
            if (!keep)
                std::remove(name);
        }
    }
};

} // namespace

int WriteBmp(Image* image, const char* name, int bits)
{
    if (bits == 32 && !image->alpha)
        bits = 24;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        bits = 24;
    long width = image->width, height = image->height;
    long stride = row_bytes(width, bits);
    long colours = bits <= 8 ? 1L << bits : 0;

    ImageLock lock(image);
    if (!lock) {
        note("No real memory for image");
        return 1;
    }

    // The index image comes first: the reduction may be cancelled.
    uint8_t red[256] = {}, green[256] = {}, blue[256] = {};
    uint8_t* indices = nullptr;
    ReduceInfo info;
    if (colours) {
        indices = reduce_for_file(image, bits, red, green, blue, &info);
        if (!indices)
            return 1;
    }
    struct FreeIndices {
        uint8_t*& p;
        ~FreeIndices()
        {
            if (p)
                p = mem_free_t(p);
        }
    } free_indices{indices};

    OutFile out;
    out.name = name;
    out.f = std::fopen(name, "wb");
    if (!out.f) {
        note("Unable to Create file.");
        return 1;
    }
    uint8_t h[54] = {};
    h[0] = 'B';
    h[1] = 'M';
    put_le32(h + 2, static_cast<uint32_t>(stride * height + 4 * colours + 54));
    put_le32(h + 10, static_cast<uint32_t>(4 * colours + 54));
    put_le32(h + 14, 40);
    put_le32(h + 18, static_cast<uint32_t>(width));
    put_le32(h + 22, static_cast<uint32_t>(height));
    put_le16(h + 26, 1);
    put_le16(h + 28, static_cast<uint16_t>(bits));
    put_le32(h + 34, static_cast<uint32_t>(stride * height));
    // The resolution travels with the file (readers take 0 as none).
    put_le32(h + 38, static_cast<uint32_t>(resolution_ppm(image->hres_num, image->hres_den)));
    put_le32(h + 42, static_cast<uint32_t>(resolution_ppm(image->vres_num, image->vres_den)));
    put_le32(h + 46, static_cast<uint32_t>(colours));
    put_le32(h + 50, static_cast<uint32_t>(colours));
    if (std::fwrite(h, 1, sizeof h, out.f) != sizeof h) {
        message_show(msg::ProblemWriting, name);
        return 1;
    }
    for (long i = 0; i < colours; ++i) {
        const uint8_t e[4] = {blue[i], green[i], red[i], 0};
        if (std::fwrite(e, 1, 4, out.f) != 4) {
            message_show(msg::ProblemWriting, name);
            return 1;
        }
    }

    // Rows are packed a band at a time (about a megabyte) and written with
    // one call each.
    const long band = std::max(1L, std::min(height, (1L << 20) / stride));
    auto* rows = static_cast<uint8_t*>(mem_alloc(band * stride + 1024, "bmpw"));
    if (!rows) {
        note("Not enough memory for save");
        return 1;
    }
    struct FreeRows {
        uint8_t*& p;
        ~FreeRows() { p = mem_free_t(p); }
    } free_rows{rows};

    progress_open("Saving BMP", height);
    struct MeterCloser {
        ~MeterCloser() { progress_close(); }
    } meter;
    const long used = (width * bits + 7) / 8;  // the rest of a row is padding
    for (long first = 0; first < height; first += band) {
        const long count = std::min(band, height - first);
        for (long n = first; n < first + count; ++n) {
            long y = height - 1 - n;
            uint8_t* row = rows + (n - first) * stride;
            std::memset(row + used, 0, static_cast<size_t>(stride - used));
            const uint8_t* px = image->row(static_cast<int>(y));
            const uint8_t* ix = indices ? indices + y * info.stride : nullptr;
            switch (bits) {
            case 1:
                std::memset(row, 0, static_cast<size_t>(used));
                for (long x = 0; x < width; ++x)
                    if (ix[x])
                        row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                break;
            case 4:
                std::memset(row, 0, static_cast<size_t>(used));
                for (long x = 0; x < width; ++x)
                    row[x >> 1] |= static_cast<uint8_t>(x & 1 ? ix[x] & 15 : ix[x] << 4);
                break;
            case 8: std::memcpy(row, ix, static_cast<size_t>(width)); break;
            case 24: rgba_to_bgr(px, row, width); break;
            case 32:
                for (long x = 0; x < width; ++x, px += 4, row += 4)
                    store32(row, swap_rb(load32(px)));
                break;
            }
            if (n % 8 == 0 && progress_update(n)) {
                log_printf("BMP saving cancelled\n");
                return 1;
            }
        }
        const size_t bytes = static_cast<size_t>(count * stride);
        if (std::fwrite(rows, 1, bytes, out.f) != bytes) {
            message_show(msg::ProblemWriting, name);
            return 1;
        }
    }
    if (std::fflush(out.f) != 0) {
        message_show(msg::ProblemWriting, name);
        return 1;
    }
    out.keep = true;
    return 0;
}
