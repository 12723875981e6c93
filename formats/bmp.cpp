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

#include <cstdio>
#include <cstring>

namespace {

constexpr int kRle8 = 1;
constexpr int kRle4 = 2;
constexpr long kMaxSide = 40000;

struct BmpInfo {
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

// The row length of uncompressed data: bits per row rounded up to 32.
long row_bytes(long width, int bits)
{
    return ((width * bits + 31) & ~31L) / 8;
}

// Returns false when the user cancelled.
bool decode_plain(Canvas& c, const uint8_t* data, long size, int bits)
{
    long stride = row_bytes(c.width, bits);
    int every = bits >= 16 ? 8 : 1;
    for (long row = 0; row < c.height; ++row) {
        // Rows the file does not hold stay as created.
        if ((row + 1) * stride > size)
            break;
        const uint8_t* s = data + row * stride;
        long y = c.height - 1 - row;
        uint8_t* out = c.image->row(static_cast<int>(y));
        switch (bits) {
        case 1:
            for (long x = 0; x < c.width; ++x)
                c.put_index(x, y, (s[x >> 3] >> (7 - (x & 7))) & 1);
            break;
        case 4:
            for (long x = 0; x < c.width; ++x)
                c.put_index(x, y, x & 1 ? s[x >> 1] & 15 : s[x >> 1] >> 4);
            break;
        case 8:
            for (long x = 0; x < c.width; ++x)
                c.put_index(x, y, s[x]);
            break;
        case 16:
            for (long x = 0; x < c.width; ++x, out += 4) {
                int v = get_le16(s + 2 * x);
                out[0] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
                out[1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
                out[2] = static_cast<uint8_t>((v & 31) << 3);
            }
            break;
        case 24:
            for (long x = 0; x < c.width; ++x, out += 4, s += 3) {
                out[0] = s[2];
                out[1] = s[1];
                out[2] = s[0];
            }
            break;
        default: return true;
        }
        if (row % every == 0 && progress_update(row))
            return false;
    }
    return true;
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

Image* fail_after_image(Image* image, const char* text)
{
    if (image) {
        image_unlock(image);
        image_free(image);
    }
    if (text)
        note(text);
    return nullptr;
}

} // namespace

Image* ReadBmp(FILE* stream)
{
    uint8_t fh[14];
    std::fseek(stream, 0, SEEK_END);
    long file_length = std::ftell(stream);
    std::fseek(stream, 0, SEEK_SET);
    if (!read_exact(stream, fh, sizeof fh)) {
        log_printf("BMP Header read failed\n");
        note("BMP file Header truncated.");
        return nullptr;
    }
    if (fh[0] != 'B' || fh[1] != 'M') {
        log_printf("Image file header not recognized\n");
        note("File is not a Windows or OS/2 bitmap.");
        return nullptr;
    }
    BmpInfo bi{};
    bi.file_size = get_le32(fh + 2);
    bi.offset = get_le32(fh + 10);
    log_printf("Type: %c%c File size: %ld  Reserved: %d , %d Image at: %ld\n", fh[0], fh[1], bi.file_size,
               get_le16(fh + 6), get_le16(fh + 8), bi.offset);

    uint8_t ih[40];
    if (!read_exact(stream, ih, 4)) {
        log_printf("BMP Info size read failed\n");
        note("BMP file info truncated.");
        return nullptr;
    }
    bi.header_size = get_le32(ih);
    std::fseek(stream, 14, SEEK_SET);
    if (bi.header_size == 12) {
        if (!read_exact(stream, ih, 12)) {
            log_printf("BMP Info read failed\n");
            note("BMP file old info truncated.");
            return nullptr;
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
            return nullptr;
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
        return nullptr;
    }
    // Only sizes that passed the check are multiplied.
    if (bi.image_size == 0)
        bi.image_size = row_bytes(bi.width, bi.bits) * bi.height;

    Image* image = codec_new_image(bi.width, bi.height, "ibmp");
    if (!image || image_lock(image) != 0)
        return fail_after_image(image, "No real memory for image");
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
    auto early = [&]() {
        image_unlock(image);
        return image;
    };
    std::fseek(stream, 14 + bi.header_size, SEEK_SET);
    if (!bi.os2 && (bi.bits == 16 || bi.bits == 32)) {
        static const char* const names[3] = {"r", "g", "b"};
        for (const char* name : names) {
            uint8_t m[4];
            if (!read_exact(stream, m, 4))
                return early();
            log_printf("Bit masks %s %08lX = %s\n", name, static_cast<unsigned long>(get_le32(m)),
                       binary32(get_le32(m)).c_str());
        }
    }
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

    // The pixel data: the declared size, at least a whole bitmap when it is
    // not compressed, and never more than the file holds.
    long want = bi.image_size;
    bool compressed = bi.compression != 0 && (bi.bits == 4 || bi.bits == 8);
    if (!compressed && want < row_bytes(bi.width, bi.bits) * bi.height)
        want = row_bytes(bi.width, bi.bits) * bi.height;
    long available = bi.offset >= 0 && bi.offset < file_length ? file_length - bi.offset : 0;
    if (want > available)
        want = available;
    auto* data = static_cast<uint8_t*>(mem_alloc(want, "bmpd"));
    if (!data)
        return fail_after_image(image, "Not enough memory for file");
    std::fseek(stream, bi.offset, SEEK_SET);
    long got = static_cast<long>(std::fread(data, 1, static_cast<size_t>(want), stream));

    Canvas canvas{image, palette, fs.diagnostics && bi.bits == 8, bi.width, bi.height};
    // Pixels a run-length bitmap skips (by a delta or an early end of line)
    // show the first palette colour, as in other readers.
    if (compressed)
        for (long y = 0; y < bi.height; ++y)
            for (long x = 0; x < bi.width; ++x) {
                uint8_t* p = image->pixel(static_cast<int>(x), static_cast<int>(y));
                p[0] = palette[0][0];
                p[1] = palette[0][1];
                p[2] = palette[0][2];
            }
    bool finished = compressed ? decode_rle(canvas, data, got, bi.bits == 4) : decode_plain(canvas, data, got, bi.bits);
    data = mem_free_t(data);
    if (!finished) {
        log_printf("BMP reading cancelled\n");
        return fail_after_image(image, nullptr);
    }
    if (bi.bits != 1 && bi.bits != 4 && bi.bits != 8 && bi.bits != 16 && bi.bits != 24)
        log_printf("BMP pixels of %d bits are not decoded\n", bi.bits);
    if (fs.diagnostics && bi.bits == 8)
        for (int i = 0; i < 256; ++i)
            log_printf("DIAG BMP use %3d = %5d\n", i, fs.bmp_usage[i]);
    image_unlock(image);
    return image;
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

    if (image_lock(image) != 0) {
        image_unlock(image);
        note("No real memory for image");
        return 1;
    }
    struct Unlock {
        Image* image;
        ~Unlock() { image_unlock(image); }
    } unlock{image};

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

    auto* row = static_cast<uint8_t*>(mem_alloc(stride + 1024, "bmpw"));
    if (!row) {
        note("Not enough memory for save");
        return 1;
    }
    struct FreeRow {
        uint8_t*& p;
        ~FreeRow() { p = mem_free_t(p); }
    } free_row{row};

    progress_open("Saving BMP", height);
    struct MeterCloser {
        ~MeterCloser() { progress_close(); }
    } meter;
    for (long n = 0; n < height; ++n) {
        long y = height - 1 - n;
        std::memset(row, 0, static_cast<size_t>(stride));
        const uint8_t* px = image->row(static_cast<int>(y));
        const uint8_t* ix = indices ? indices + y * info.stride : nullptr;
        switch (bits) {
        case 1:
            for (long x = 0; x < width; ++x)
                if (ix[x])
                    row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            break;
        case 4:
            for (long x = 0; x < width; ++x)
                row[x >> 1] |= static_cast<uint8_t>(x & 1 ? ix[x] & 15 : ix[x] << 4);
            break;
        case 8: std::memcpy(row, ix, static_cast<size_t>(width)); break;
        case 24:
            for (long x = 0; x < width; ++x, px += 4) {
                row[3 * x] = px[2];
                row[3 * x + 1] = px[1];
                row[3 * x + 2] = px[0];
            }
            break;
        case 32:
            for (long x = 0; x < width; ++x, px += 4) {
                row[4 * x] = px[2];
                row[4 * x + 1] = px[1];
                row[4 * x + 2] = px[0];
                row[4 * x + 3] = px[3];
            }
            break;
        }
        if (std::fwrite(row, 1, static_cast<size_t>(stride), out.f) != static_cast<size_t>(stride)) {
            message_show(msg::ProblemWriting, name);
            return 1;
        }
        if (n % 8 == 0 && progress_update(n)) {
            log_printf("BMP saving cancelled\n");
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
