// Truevision Targa: the reader of types 1, 2, 9 and 10 (colour-mapped and
// true-colour, raw and run-length), the writer at 24 and 32 bits with the
// Targa 2 extension area, postage stamp and footer.
#include "formats/tga.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/messages.h"
#include "formats/codec_io.h"
#include "formats/load_save.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using namespace codec_io;

namespace {

constexpr long kMaxSide = 40000;
constexpr long kFooterSize = 26;
constexpr long kExtensionSize = 495;
const char kSignature[] = "TRUEVISION-XFILE";  // then "." and a NUL

struct TgaHeader {
    int id_length, map_type, type;
    int map_first, map_length, map_bits;
    int x_origin, y_origin;
    long width, height;
    int pixel_size, descriptor;

    bool mapped() const { return type == 1 || type == 9; }
    bool rle() const { return type == 9 || type == 10; }
    int pixel_bytes() const { return (pixel_size + 7) / 8; }
    long map_bytes() const { return map_type == 1 ? static_cast<long>((map_bits + 7) / 8) * map_length : 0; }
    long data_offset() const { return 18 + id_length + map_bytes(); }
};

TgaHeader parse_header(const uint8_t* h)
{
    TgaHeader t{};
    t.id_length = h[0];
    t.map_type = h[1];
    t.type = h[2];
    t.map_first = get_le16(h + 3);
    t.map_length = get_le16(h + 5);
    t.map_bits = h[7];
    t.x_origin = get_le16(h + 8);
    t.y_origin = get_le16(h + 10);
    t.width = get_le16(h + 12);
    t.height = get_le16(h + 14);
    t.pixel_size = h[16];
    t.descriptor = h[17];
    return t;
}

const char* type_description(int type)
{
    switch (type) {
    case 1: return "TARGA: Color mapped, uncompressed";
    case 2: return "TARGA: RGB, uncompressed";
    case 9: return "TARGA: Color mapped, RLE compressed";
    case 10: return "TARGA: RGB, RLE compressed";
    default: return "unknown !!";
    }
}

// Why the header cannot describe a readable image, or null.  The pixel data
// must be able to fit in what the file holds: raw data byte for byte, coded
// data at least one packet per 128 pixels.
const char* header_problem(const TgaHeader& t, long file_size)
{
    if (t.type != 1 && t.type != 2 && t.type != 9 && t.type != 10)
        return "the image type is not one of 1, 2, 9 and 10";
    if (t.width < 1 || t.height < 1 || t.width > kMaxSide || t.height > kMaxSide)
        return "the width or height is out of range";
    if (t.map_type > 1)
        return "the colour map type is unknown";
    if (t.map_type == 1 && t.map_bits != 15 && t.map_bits != 16 && t.map_bits != 24 && t.map_bits != 32)
        return "the colour map entry size is not 15, 16, 24 or 32";
    if (t.mapped()) {
        if (t.map_type != 1 || t.map_length < 1)
            return "a colour-mapped image has no colour map";
        if (t.pixel_size != 8 && t.pixel_size != 16)
            return "colour-map indices are not 8 or 16 bits";
    } else if (t.pixel_size != 15 && t.pixel_size != 16 && t.pixel_size != 24 && t.pixel_size != 32) {
        return "the pixel size is not 15, 16, 24 or 32";
    }
    long available = file_size - t.data_offset();
    if (available < 0)
        return "the colour map runs past the end of the file";
    double pixels = static_cast<double>(t.width) * static_cast<double>(t.height);
    double least = t.rle() ? (pixels + 127) / 128 * (1 + t.pixel_bytes()) : pixels * t.pixel_bytes();
    if (least > static_cast<double>(available))
        return "the pixel data run past the end of the file";
    return nullptr;
}

struct Footer {
    bool targa2 = false;
    long extension = 0, developer = 0;
};

Footer read_footer(FILE* f, long file_size)
{
    Footer footer;
    uint8_t tail[kFooterSize];
    // Files too short for a footer are read as plain Targa files.
    if (file_size < 18 + kFooterSize || std::fseek(f, file_size - kFooterSize, SEEK_SET) != 0 ||
        std::fread(tail, 1, sizeof tail, f) != sizeof tail) {
        log_printf("TGA file footer read failed.\n");
        return footer;
    }
    if (std::memcmp(tail + 8, kSignature, 16) != 0)
        return footer;
    footer.targa2 = true;
    footer.extension = get_le32(tail);
    footer.developer = get_le32(tail + 4);
    log_printf("TGA is a Targa 2.\n");
    log_printf("EAOffs: %ld  DAOffs: %ld\n", footer.extension, footer.developer);
    return footer;
}

// A text field of the extension area, cut at its NUL or its size.
std::string field_text(const uint8_t* p, size_t size)
{
    size_t n = 0;
    while (n < size && p[n])
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

// The extension area's log lines are flushed one by one.
__attribute__((format(printf, 1, 2))) void line(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    log_vprintf(fmt, args);
    va_end(args);
    log_flush();
}

struct Extension {
    bool present = false;
    int aspect_num = 0, aspect_den = 0;
};

// The extension area: author, comment and resolution go into the image
// (when there is one); the rest is logged.
Extension read_extension(FILE* f, long file_size, const Footer& footer, Image* image)
{
    Extension ext;
    if (!footer.targa2 || footer.extension == 0)
        return ext;
    uint8_t e[kExtensionSize];
    if (footer.extension < 18 || footer.extension > file_size - kExtensionSize ||
        std::fseek(f, footer.extension, SEEK_SET) != 0 || std::fread(e, 1, sizeof e, f) != sizeof e) {
        log_printf("TGA extension area lies outside the file\n");
        return ext;
    }
    ext.present = true;
    ext.aspect_num = get_le16(e + 474);
    ext.aspect_den = get_le16(e + 476);
    if (!image)
        return ext;
    line("File has Targa2 extensions\n");
    line("File has Extension area\n");
    line("ExtSize: %d\n", get_le16(e));
    std::string author = field_text(e + 2, 40), comment = field_text(e + 43, 323);
    line("Author: %s\n", author.c_str());
    line("Comment: %s\n", comment.c_str());
    int year = get_le16(e + 371);
    year += year < 61 ? 2000 : year < 100 ? 1900 : 0;
    line("Stamp date: %4d:%02d:%02d %02d:%02d:%02d\n", year, get_le16(e + 367), get_le16(e + 369), get_le16(e + 373),
         get_le16(e + 375), get_le16(e + 377));
    line("Job: %s\n", field_text(e + 379, 40).c_str());
    line("Software: %s\n", field_text(e + 426, 40).c_str());
    line("KeyColor: %06lX\n", static_cast<unsigned long>(get_le32(e + 470)));
    line("PixelAspect: %d / %d\n", ext.aspect_num, ext.aspect_den);
    long correction = get_le32(e + 482), stamp = get_le32(e + 486), scan = get_le32(e + 490);
    if (scan)
        line("File has Scan offsets\n");
    uint8_t size[2];
    if (stamp && stamp <= file_size - 2 && std::fseek(f, stamp, SEEK_SET) == 0 && std::fread(size, 1, 2, f) == 2) {
        line("File has Stamp image\n");
        line("Stamp size = %d x %d\n", size[0], size[1]);
    }
    if (correction)
        line("File has Color correction table\n");

    std::snprintf(image->author, sizeof image->author, "%s", author.c_str());
    if (!comment.empty() && image_annotation_alloc(image, 324) == 0)
        std::snprintf(image->annotation, 324, "%s", comment.c_str());
    // The pixel aspect fields carry the resolution in this system's files.
    if (ext.aspect_num && ext.aspect_den) {
        int h = ext.aspect_num, v = ext.aspect_den;
        if (h < 20 && v < 20) {
            h *= 10;
            v *= 10;
        }
        if (h > 4000 || v > 4000)
            h = v = 1;
        image->hres_num = h;
        image->vres_num = v;
        image->hres_den = image->vres_den = 1;
    }
    return ext;
}

void colour_555(int v, uint8_t* out)
{
    int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
    out[0] = static_cast<uint8_t>(r << 3 | r >> 2);
    out[1] = static_cast<uint8_t>(g << 3 | g >> 2);
    out[2] = static_cast<uint8_t>(b << 3 | b >> 2);
    out[3] = 255;
}

// The colour map as RGBA entries.
std::vector<uint8_t> read_map(const uint8_t* p, const TgaHeader& t)
{
    std::vector<uint8_t> map(static_cast<size_t>(t.map_length) * 4);
    int size = (t.map_bits + 7) / 8;
    for (long i = 0; i < t.map_length; ++i, p += size) {
        uint8_t* e = &map[static_cast<size_t>(i) * 4];
        if (size == 2) {
            colour_555(get_le16(p), e);
        } else {
            e[0] = p[2];
            e[1] = p[1];
            e[2] = p[0];
            e[3] = 255;
        }
    }
    return map;
}

// The run-length packets of types 9 and 10; the state carries over from one
// row to the next, since packets may cross rows.
struct RleState {
    bool run = false;
    long left = 0;
    uint8_t pixel[4] = {};
};

bool unpack_row(Bytes& src, RleState& s, uint8_t* out, long width, int size)
{
    long x = 0;
    while (x < width) {
        if (s.left == 0) {
            int b = src.byte();
            if (b < 0)
                return false;
            s.run = b & 0x80;
            s.left = (b & 0x7F) + 1;
            if (s.run && !src.take(s.pixel, size))
                return false;
        }
        long n = std::min(s.left, width - x);
        if (s.run) {
            uint8_t* d = out + x * size;
            const uint8_t p0 = s.pixel[0], p1 = s.pixel[1], p2 = s.pixel[2], p3 = s.pixel[3];
            for (long i = 0; i < n; ++i, d += size) {
                d[0] = p0;
                if (size > 1) {
                    d[1] = p1;
                    if (size > 2) {
                        d[2] = p2;
                        if (size > 3)
                            d[3] = p3;
                    }
                }
            }
        } else if (!src.take(out + x * size, n * size)) {
            return false;
        }
        x += n;
        s.left -= n;
    }
    return true;
}

// One row of file pixels into an image row, mirrored for right-origin files.
void store_row(const uint8_t* s, uint8_t* row, const TgaHeader& t, const std::vector<uint8_t>& map, bool mirror)
{
    const long w = t.width;
    long step = 4;
    uint8_t* px = row;
    if (mirror) {
        px = row + 4 * (w - 1);
        step = -4;
    }
    switch (t.mapped() ? 0 : t.pixel_bytes()) {
    case 0: {
        const long entries = t.map_length;
        for (long x = 0; x < w; ++x, px += step) {
            long i = (t.pixel_size == 8 ? s[x] : get_le16(s + 2 * x)) - t.map_first;
            if (i >= 0 && i < entries)
                std::memcpy(px, &map[static_cast<size_t>(i) * 4], 3);
        }
        break;
    }
    case 2:
        for (long x = 0; x < w; ++x, px += step)
            colour_555(get_le16(s + 2 * x), px);
        break;
    case 3:
        for (long x = 0; x < w; ++x, px += step, s += 3) {
            px[0] = s[2];
            px[1] = s[1];
            px[2] = s[0];
        }
        break;
    case 4:
        for (long x = 0; x < w; ++x, px += step, s += 4) {
            px[0] = s[2];
            px[1] = s[1];
            px[2] = s[0];
            px[3] = s[3];
        }
        break;
    }
}

bool read_header(FILE* f, TgaHeader& t)
{
    uint8_t h[18];
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(h, 1, sizeof h, f) != sizeof h) {
        log_printf("TGA file header read failed.\n");
        return false;
    }
    t = parse_header(h);
    return true;
}

} // namespace

Image* ReadTarga(FILE* stream, const char* name)
{
    log_printf("Reading TGA file.\n");
    const long file_size = stream_size(stream);
    TgaHeader t;
    if (!read_header(stream, t)) {
        message_show(msg::FileTruncated, name);
        return nullptr;
    }
    log_printf("IDlength: %d MapType: %d ImgType: %d MapOrg: %d MapLen: %d\n", t.id_length, t.map_type, t.type,
               t.map_first, t.map_length);
    log_printf("MapBits: %d Xorg: %d Yorg: %d Width: %ld Height: %ld\n", t.map_bits, t.x_origin, t.y_origin, t.width,
               t.height);
    log_printf("PixSize: %d  ImgDesc: %d\n", t.pixel_size, t.descriptor);
    Footer footer = read_footer(stream, file_size);
    log_printf("ImgType: %d  is \"%s\"\n", t.type, type_description(t.type));
    const bool bottom_first = !(t.descriptor & 0x20);
    const bool mirror = t.descriptor & 0x10;
    log_printf("Image orientation: %d\n", bottom_first ? 1 : 0);
    if (const char* problem = header_problem(t, file_size)) {
        error_box("TGA file looks corrupted", (std::string(name) + ": " + problem).c_str());
        return nullptr;
    }

    Image* image = codec_io::new_image(t.width, t.height, "itga", name);
    if (!image)
        return nullptr;
    image->bits = static_cast<uint16_t>(t.pixel_size);
    Meter meter("Reading TGA", t.height);

    const long map_at = 18 + t.id_length;
    const long data_at = t.data_offset();
    const long raw_size = t.width * t.height * t.pixel_bytes();
    // Coded data are read to the end of the file: an encoder that writes
    // every pixel as a packet of its own doubles 8-bit data.
    const long want = t.rle() ? std::min(file_size - data_at, 2 * raw_size + 1) : raw_size;
    std::vector<uint8_t> map;
    if (t.map_type == 1) {
        Block m(t.map_bytes(), "tgam");
        long got = 0;
        if (!m.p || std::fseek(stream, map_at, SEEK_SET) != 0 ||
            (got = static_cast<long>(std::fread(m.p, 1, static_cast<size_t>(t.map_bytes()), stream))) != t.map_bytes()) {
            message_show(msg::FileTruncated, name);
            return drop(image);
        }
        map = read_map(m.p, t);
        for (long i = 0; i < t.map_length && i < 256; ++i) {
            image->palette_red[i] = map[static_cast<size_t>(i) * 4];
            image->palette_green[i] = map[static_cast<size_t>(i) * 4 + 1];
            image->palette_blue[i] = map[static_cast<size_t>(i) * 4 + 2];
        }
    }
    long got = 0;
    Block data(0, "tgad");
    data.p = read_block(stream, data_at, want, "tgad", &got);
    if (!data.p) {
        message_show(msg::NoMemoryOperation, name);
        return drop(image);
    }
    Bytes src{data.p, got};
    RleState state;
    Block unpacked(t.rle() ? t.width * t.pixel_bytes() : 0, "tgar");
    if (t.rle() && !unpacked.p) {
        message_show(msg::NoMemoryOperation, name);
        return drop(image);
    }
    const long stride = t.width * t.pixel_bytes();
    for (long r = 0; r < t.height; ++r) {
        const uint8_t* row;
        if (t.rle()) {
            if (!unpack_row(src, state, unpacked.p, t.width, t.pixel_bytes())) {
                message_show(msg::FileTruncated, name);
                return drop(image);
            }
            row = unpacked.p;
        } else {
            if (!src.has(stride)) {
                message_show(msg::FileTruncated, name);
                return drop(image);
            }
            row = src.data + src.pos;
            src.pos += stride;
        }
        long y = bottom_first ? t.height - 1 - r : r;
        store_row(row, image->row(static_cast<int>(y)), t, map, mirror);
        if ((r & 7) == 0 && progress_update(r)) {
            log_printf("TGA reading cancelled\n");
            return drop(image);
        }
    }
    if (t.pixel_size == 32 && !t.mapped())
        image->alpha = 1;
    read_extension(stream, file_size, footer, image);
    image_unlock(image);
    return image;
}

int targa_info(const LoadRequest& request, ImageInfo* info)
{
    TgaHeader t;
    if (!read_header(request.stream, t)) {
        message_show(msg::FileTruncated, request.name);
        return 1;
    }
    if (const char* problem = header_problem(t, request.file_size)) {
        error_box("TGA file looks corrupted", (std::string(request.name) + ": " + problem).c_str());
        return 1;
    }
    info->width = t.width;
    info->height = t.height;
    info->bits = t.pixel_size;
    info->alpha = t.pixel_size == 32 && !t.mapped();
    Extension ext = read_extension(request.stream, request.file_size, read_footer(request.stream, request.file_size),
                                   nullptr);
    if (ext.aspect_num && ext.aspect_den) {
        int h = ext.aspect_num, v = ext.aspect_den;
        if (h < 20 && v < 20)
            h *= 10, v *= 10;
        if (h > 4000 || v > 4000)
            h = v = 1;
        info->hres = h;
        info->vres = v;
    }
    return 0;
}

// ---- writing ------------------------------------------------------------------

long targa_pack_row(const uint8_t* p, long count, int size, uint8_t* out)
{
    auto same = [&](long a, long b) { return std::memcmp(p + a * size, p + b * size, static_cast<size_t>(size)) == 0; };
    long n = 0, i = 0;
    while (i < count) {
        if (i + 1 < count && same(i, i + 1)) {
            long j = i + 1;
            while (j + 1 < count && j - i + 1 < 128 && same(j + 1, i))
                ++j;
            long run = j - i + 1;
            out[n++] = static_cast<uint8_t>(0x80 | (run - 1));
            std::memcpy(out + n, p + i * size, static_cast<size_t>(size));
            n += size;
            i = j + 1;
            continue;
        }
        // A literal packet ends where three equal pixels begin.
        long j = i + 1;
        while (j < count && j - i < 128 && !(j + 2 < count && same(j, j + 1) && same(j, j + 2)))
            ++j;
        long literal = j - i;
        out[n++] = static_cast<uint8_t>(literal - 1);
        std::memcpy(out + n, p + i * size, static_cast<size_t>(literal * size));
        n += literal * size;
        i = j;
    }
    return n;
}

namespace {

long dots_per_inch(int32_t num, int32_t den)
{
    if (num <= 0 || den <= 0)
        return 0;
    return std::min<long>(num / den, 65535);
}

// The postage stamp: its size follows the image's proportions on paper.
void stamp_size(const Image* image, long& sw, long& sh)
{
    double h = dots_per_inch(image->hres_num, image->hres_den), v = dots_per_inch(image->vres_num, image->vres_den);
    double ratio = h > 0 && v > 0 ? h / v : 1.0;
    double w = image->width, ht = image->height;
    sw = kThumbWidth;
    sh = static_cast<long>(sw * (ht / w) * ratio);
    if (sh > kThumbHeight) {
        sh = kThumbHeight;
        sw = static_cast<long>(sh * (w / ht) / ratio);
    }
    sw = std::clamp(sw, 4L, kThumbWidth);
    sh = std::clamp(sh, 4L, kThumbHeight);
}

void put_text(uint8_t* field, size_t size, const char* text)
{
    std::memset(field, 0, size);
    if (text)
        std::memcpy(field, text, std::min(std::strlen(text), size - 1));
}

} // namespace

int WriteTarga(Image* image, const char* name, int bits, int compress)
{
    const int size = bits == 32 && image->alpha ? 4 : 3;
    const long width = image->width, height = image->height;
    if (image_lock(image) != 0) {
        image_unlock(image);
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    Unlock unlock{image};
    OutFile out(name);
    if (!out.f) {
        message_show(msg::CannotCreateImageFile, name);
        return 1;
    }
    uint8_t h[18] = {};
    h[2] = compress ? 10 : 2;
    put_le16(h + 3, 59);
    put_le16(h + 12, static_cast<uint16_t>(width));
    put_le16(h + 14, static_cast<uint16_t>(height));
    h[16] = static_cast<uint8_t>(size * 8);
    // The descriptor counts the alpha bits, as the standard asks; netpbm
    // drops the alpha of a file without them.
    h[17] = size == 4 ? 8 : 0;
    if (width > 65535 || height > 65535 || !out.put(h, sizeof h)) {
        message_show(msg::ProblemWriting, name);
        return 1;
    }
    const long row_bytes = width * size;
    Block raw(row_bytes + 1024, "tgaw"), packed(row_bytes + width / 128 + 1024, "tgaw");
    if (!raw.p || !packed.p) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    Meter meter(size == 4 ? "32-bit Targa" : "24-bit Targa", height);
    for (long n = 0; n < height; ++n) {
        const uint8_t* px = image->row(static_cast<int>(height - 1 - n));
        uint8_t* d = raw.p;
        if (size == 4) {
            for (long x = 0; x < width; ++x, px += 4, d += 4) {
                d[0] = px[2];
                d[1] = px[1];
                d[2] = px[0];
                d[3] = px[3];
            }
        } else {
            for (long x = 0; x < width; ++x, px += 4, d += 3) {
                d[0] = px[2];
                d[1] = px[1];
                d[2] = px[0];
            }
        }
        bool ok = compress ? out.put(packed.p, static_cast<size_t>(targa_pack_row(raw.p, width, size, packed.p)))
                           : out.put(raw.p, static_cast<size_t>(row_bytes));
        if (!ok) {
            message_show(msg::ProblemWriting, name);
            return 1;
        }
        if ((n & 3) == 0 && progress_update(n)) {
            log_printf("TGA saving cancelled\n");
            return 1;
        }
    }

    // The postage stamp, then the extension area, then the footer.
    long stamp_at = std::ftell(out.f);
    long sw, sh;
    stamp_size(image, sw, sh);
    std::vector<uint8_t> stamp{static_cast<uint8_t>(sw), static_cast<uint8_t>(sh)};
    for (long j = 0; j < sh; ++j)
        for (long i = 0; i < sw; ++i) {
            const uint8_t* p = image->pixel(static_cast<int>(i * width / sw), static_cast<int>(j * height / sh));
            stamp.insert(stamp.end(), {p[2], p[1], p[0]});
            if (size == 4)
                stamp.push_back(p[3]);
        }
    long extension_at = stamp_at + static_cast<long>(stamp.size());
    uint8_t e[kExtensionSize] = {};
    put_le16(e, 2558);
    put_text(e + 2, 41, image->author);
    put_text(e + 43, 324, image->annotation);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int stamp_time[6] = {local.tm_mon + 1, local.tm_mday, local.tm_year + 1900,
                               local.tm_hour,    local.tm_min,  local.tm_sec};
    for (int i = 0; i < 6; ++i)
        put_le16(e + 367 + 2 * i, static_cast<uint16_t>(stamp_time[i]));
    put_text(e + 426, 41, "Glimmerix:V/q by Tessellate Arts");
    put_le16(e + 467, 750);
    e[469] = 0x5B;
    put_le16(e + 474, static_cast<uint16_t>(dots_per_inch(image->hres_num, image->hres_den)));
    put_le16(e + 476, static_cast<uint16_t>(dots_per_inch(image->vres_num, image->vres_den)));
    put_le16(e + 478, 1);
    put_le16(e + 480, 1);
    put_le32(e + 486, static_cast<uint32_t>(stamp_at));
    uint8_t footer[kFooterSize] = {};
    put_le32(footer, static_cast<uint32_t>(extension_at));
    std::memcpy(footer + 8, "TRUEVISION-XFILE.", 18);
    if (stamp_at < 0 || !out.put(stamp.data(), stamp.size()) || !out.put(e, sizeof e) ||
        !out.put(footer, sizeof footer) || !out.finish()) {
        message_show(msg::ProblemWriting, name);
        return 1;
    }
    return 0;
}
