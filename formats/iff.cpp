// IFF: the ILBM and TRIM reader and writer.
//
// The reader walks the chunks once, noting where each one lies, then checks
// the bitmap header against the bytes the file holds before it makes the
// image, and decodes.
#include "formats/iff.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/messages.h"
#include "formats/codec_io.h"
#include "formats/indexed.h"
#include "formats/load_save.h"
#include "formats/trim.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace codec_io;

namespace {

constexpr long kMaxSide = 40000;
constexpr uint32_t kCamgLace = 1u << 2;
constexpr uint32_t kCamgHalfBrite = 1u << 7;
constexpr uint32_t kCamgHam = 1u << 11;

uint32_t id(const char* s)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24 | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8 | static_cast<uint8_t>(s[3]);
}

std::string id_text(uint32_t v)
{
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>(v >> (24 - 8 * i));
        s[static_cast<size_t>(i)] = c >= 32 && c < 127 ? c : '?';
    }
    return s;
}

struct Bmhd {
    long width = 0, height = 0;
    int x = 0, y = 0;
    int planes = 0, masking = 0, compression = 0, pad = 0;
    int transparent = 0;
    int x_aspect = 0, y_aspect = 0;
    int page_width = 0, page_height = 0;
};

struct Span {
    long at = -1, size = 0;
    bool found() const { return at >= 0; }
};

// What the walk found.
struct Layout {
    uint32_t form = 0;
    bool has_bmhd = false;
    Bmhd bmhd;
    std::vector<uint8_t> cmap;
    uint32_t camg = 0;
    bool has_camg = false;
    Span body;           // "BODY" or "ABIT"
    bool abit = false;
    Span image;          // "RGBT", "RGBA" or "MONO"
    uint32_t image_id = 0;
    bool toaster = false;
    int dpi_h = 0, dpi_v = 0;
    std::string annotation, author, copyright;
    bool has_annotation = false;
};

struct Walker {
    FILE* f;
    long file_size;
    Layout& out;
    int depth = 0;

    bool read_at(long at, uint8_t* p, long n)
    {
        return std::fseek(f, at, SEEK_SET) == 0 && std::fread(p, 1, static_cast<size_t>(n), f) == static_cast<size_t>(n);
    }

    std::string text(long at, long size, size_t limit)
    {
        std::string s(static_cast<size_t>(std::min<long>(size, static_cast<long>(limit))), '\0');
        if (!s.empty() && !read_at(at, reinterpret_cast<uint8_t*>(&s[0]), static_cast<long>(s.size())))
            return {};
        s.resize(std::strlen(s.c_str()));
        return s;
    }

    // The chunks of one FORM's contents, from `at` to `end`.
    void walk(long at, long end)
    {
        while (at + 8 <= end) {
            uint8_t h[8];
            if (!read_at(at, h, 8))
                return;
            uint32_t chunk = get_be32(h);
            long size = get_be32(h + 4);
            long data = at + 8;
            // A chunk never reaches past its form, nor past the file.
            long avail = std::max(0L, end - data);
            if (size > avail)
                size = avail;
            log_printf("Chunk : %s\n", id_text(chunk).c_str());
            take(chunk, data, size);
            at = data + size + (size & 1);
        }
    }

    void take(uint32_t chunk, long at, long size)
    {
        if (chunk == id("FORM") || chunk == id("LIST") || chunk == id("CAT ")) {
            // A form inside a list; the first ILBM or TRIM found is read.
            uint8_t type[4];
            if (depth >= 4 || out.form || size < 4 || !read_at(at, type, 4))
                return;
            uint32_t form = get_be32(type);
            if (chunk != id("FORM")) {
                ++depth;
                walk(at + 4, at + size);
                --depth;
            } else if (form == id("ILBM") || form == id("TRIM")) {
                out.form = form;
                ++depth;
                walk(at + 4, at + size);
                --depth;
            }
            return;
        }
        if (chunk == id("BMHD")) {
            uint8_t b[20];
            if (size < 20 || !read_at(at, b, 20))
                return;
            Bmhd& m = out.bmhd;
            m.width = get_be16(b);
            m.height = get_be16(b + 2);
            m.x = static_cast<int16_t>(get_be16(b + 4));
            m.y = static_cast<int16_t>(get_be16(b + 6));
            m.planes = b[8];
            m.masking = b[9];
            m.compression = b[10];
            m.pad = b[11];
            m.transparent = get_be16(b + 12);
            m.x_aspect = b[14];
            m.y_aspect = b[15];
            m.page_width = static_cast<int16_t>(get_be16(b + 16));
            m.page_height = static_cast<int16_t>(get_be16(b + 18));
            out.has_bmhd = true;
            log_printf("This is a bitmap header.\n");
            log_printf("BMHD size: %ld , Chunk size = %ld\n", 20L, size);
        } else if (chunk == id("CMAP")) {
            long n = std::min(size / 3, 256L) * 3;
            out.cmap.assign(static_cast<size_t>(n), 0);
            if (n && !read_at(at, out.cmap.data(), n))
                out.cmap.clear();
            log_printf("CMAP size: %ld , Colors = %d , Chunk size = %ld\n", n, static_cast<int>(n / 3), size);
        } else if (chunk == id("CAMG")) {
            uint8_t b[4];
            if (size >= 4 && read_at(at, b, 4)) {
                out.camg = get_be32(b);
                out.has_camg = true;
            }
            log_printf("CAMG file type %08lX\n", static_cast<unsigned long>(out.camg));
            log_printf("CAMG = Lace: %s  Ham: %s  HBrite: %s\n", out.camg & kCamgLace ? "Yes" : "No ",
                       out.camg & kCamgHam ? "Yes" : "No ", out.camg & kCamgHalfBrite ? "Yes" : "No ");
        } else if (chunk == id("BODY") || chunk == id("ABIT")) {
            if (!out.body.found()) {
                out.body = {at, size};
                out.abit = chunk == id("ABIT");
            }
            log_printf(chunk == id("BODY") ? "BODY size: %ld , Chunk size = %ld\n" : "ABIT size: %ld , Chunk size = %ld\n",
                       size, size);
        } else if (chunk == id("RGBT") || chunk == id("RGBA") || chunk == id("MONO")) {
            log_printf("This is the RGBT image.\n");
            if (!out.image.found()) {
                out.image = {at, size};
                out.image_id = chunk;
            }
        } else if (chunk == id("PLTP")) {
            log_printf("This is a TOASTER Framestore.\n");
            out.toaster = true;
        } else if (chunk == id("DPI ")) {
            uint8_t b[4];
            if (size >= 4 && read_at(at, b, 4)) {
                out.dpi_h = get_be16(b);
                out.dpi_v = get_be16(b + 2);
            }
        } else if (chunk == id("ANNO")) {
            std::string s = text(at, size, 65535);
            log_printf("Annotation:\n%s\n", s.c_str());
            // Texts reach the image only when its header came first.
            if (out.has_bmhd) {
                out.annotation = s;
                out.has_annotation = true;
            }
        } else if (chunk == id("AUTH")) {
            std::string s = text(at, size, 98);
            log_printf("Author: %s\n", s.c_str());
            if (out.has_bmhd)
                out.author = s;
        } else if (chunk == id("(c) ")) {
            std::string s = text(at, size, 98);
            log_printf("Copyright: %s\n", s.c_str());
            if (out.has_bmhd)
                out.copyright = s;
        }
    }
};

// Reads the outer header and walks the file.  False (after telling the
// user) when it is no IFF file this reader knows.
bool walk_file(FILE* f, const char* name, Layout& out)
{
    std::fseek(f, 0, SEEK_END);
    long file_size = std::ftell(f);
    uint8_t h[12];
    std::fseek(f, 0, SEEK_SET);
    if (file_size < 12 || std::fread(h, 1, 12, f) != 12) {
        message_show(msg::FileTruncated, name);
        return false;
    }
    uint32_t outer = get_be32(h), type = get_be32(h + 8);
    if (outer != id("FORM") && outer != id("LIST") && outer != id("CAT ")) {
        error_box("The IFF file does not begin with a FORM, LIST or CAT chunk.", name);
        return false;
    }
    long end = std::min<long>(8L + get_be32(h + 4), file_size);
    Walker w{f, file_size, out};
    if (outer == id("FORM")) {
        if (type == id("ACBM"))
            log_printf("This is an ACBM format header\n");
        if (type != id("ILBM") && type != id("TRIM")) {
            std::string text = "IFF files of form type \"" + id_text(type) + "\" cannot be read: " + name;
            message_show(msg::TypeNotRecognized, text.c_str());
            return false;
        }
        out.form = type;
        w.walk(12, end);
    } else {
        w.walk(12, end);
        if (!out.form) {
            std::string text = std::string("The IFF list holds no ILBM or TRIM form: ") + name;
            message_show(msg::TypeNotRecognized, text.c_str());
            return false;
        }
    }
    if (out.toaster) {
        error_box("Toaster frame stores cannot be read: the layout of their planes is not known to this system.", name);
        return false;
    }
    return true;
}

// The aspect of known display modes, as the Amiga's paint programs wrote it.
void correct_aspect(Bmhd& m)
{
    auto is = [&](int x, int y) { return m.x_aspect == x && m.y_aspect == y; };
    auto in = [](long v, long lo, long hi) { return v >= lo && v <= hi; };
    int x = m.x_aspect, y = m.y_aspect;
    bool plain = is(10, 11) || is(1, 1);
    if (plain && in(m.width, 320, 392) && in(m.height, 392, 482))
        x = 88, y = 52;
    else if (plain && in(m.width, 640, 768) && in(m.height, 192, 200))
        x = 44, y = 104;
    else if (plain && in(m.width, 640, 768) && in(m.height, 392, 482))
        x = 44, y = 52;
    else if ((is(88, 52) || is(20, 11)) && in(m.width, 640, 768) && in(m.height, 392, 482))
        x = 44, y = 52;
    if (x != m.x_aspect || y != m.y_aspect) {
        m.x_aspect = x;
        m.y_aspect = y;
        log_printf("Aspect adjusted to : %d / %d\n", x, y);
    }
}

long plane_row_bytes(long width) { return (width + 15) / 16 * 2; }

// Why the header and the data describe no image this reader can make, or null.
const char* layout_problem(const Layout& l)
{
    const Bmhd& m = l.bmhd;
    if (!l.has_bmhd)
        return "the file has no bitmap header (BMHD)";
    if (m.width < 1 || m.height < 1 || m.width > kMaxSide || m.height > kMaxSide)
        return "the width or height is out of range";
    if (l.form == id("TRIM")) {
        if (!l.image.found())
            return "the TRIM form holds no image chunk";
        int planes = l.image_id == id("MONO") ? 1 : l.image_id == id("RGBA") ? 4 : 3;
        // Each plane needs its code table and two bytes a tile at least.
        double tiles = static_cast<double>((m.width + 15) / 16) * static_cast<double>((m.height + 15) / 16);
        if (planes * (256 + 2 * tiles) > static_cast<double>(l.image.size))
            return "the image chunk is shorter than the image needs";
        return nullptr;
    }
    if (m.planes < 1 || (m.planes > 8 && m.planes != 24 && m.planes != 32))
        return "the plane count is not 1 to 8, 24 or 32";
    if (m.compression > 1)
        return "the compression is not 0 (none) or 1 (ByteRun1)";
    if (!l.body.found())
        return "the file holds no BODY";
    // A BODY may end early (the rows below stay as created), but it must be
    // able to describe the whole image at ByteRun1's best, 128 bytes in two:
    // a few bytes must not claim gigabytes.
    double rows = static_cast<double>(plane_row_bytes(m.width)) * (m.planes + (m.masking == 1)) * m.height;
    if (rows / 64 > static_cast<double>(l.body.size))
        return "the BODY is far shorter than the image needs";
    return nullptr;
}

// ByteRun1 with the run kept across plane rows, for writers that let runs
// run on.
struct Unpacker {
    Bytes src;
    bool packed;
    int value = 0;
    long left = 0;
    bool literal = false;

    // False when the data end before the row is full.
    bool row(uint8_t* out, long n)
    {
        if (!packed)
            return src.take(out, n);
        long x = 0;
        while (x < n) {
            if (left == 0) {
                int c = src.byte();
                if (c < 0)
                    return false;
                int8_t count = static_cast<int8_t>(c);
                if (count == -128)
                    continue;
                if (count >= 0) {
                    literal = true;
                    left = count + 1;
                } else {
                    literal = false;
                    left = 1 - count;
                    value = src.byte();
                    if (value < 0)
                        return false;
                }
            }
            long k = std::min(left, n - x);
            if (literal) {
                if (!src.take(out + x, k))
                    return false;
            } else {
                std::memset(out + x, value, static_cast<size_t>(k));
            }
            x += k;
            left -= k;
        }
        return true;
    }
};

struct Colour {
    uint8_t r, g, b;
};

// HAM-E: a palette image whose rows, after a cookie row, pair their indices
// into bytes.
struct HamE {
    enum Mode { None, Register, Ham } mode = None;
    bool active = false;
    int bank = 0;
    Colour palette[256] = {};

    static bool cookie(const std::vector<int>& ix, long width, Mode& mode)
    {
        static const int kCookie[15] = {10, 2, 15, 5, 8, 4, 13, 12, 6, 13, 11, 0, 7, 15, 1};
        if (width < 16)
            return false;
        for (int i = 0; i < 15; ++i)
            if (ix[static_cast<size_t>(i)] != kCookie[i])
                return false;
        if (ix[15] == 4)
            mode = Register;
        else if (ix[15] == 8)
            mode = Ham;
        else
            return false;
        return true;
    }

    // Returns true when the row was a HAM-E row (cookie or data) and painted.
    bool row(const std::vector<int>& ix, long width, uint8_t* out)
    {
        Mode kind = None;
        if (cookie(ix, width, kind)) {
            log_printf("HAME %s cookie found\n", kind == Register ? "REG" : "HAM");
            int use = kind == Register ? bank : 0;
            bank = kind == Register ? bank + 1 : 0;
            mode = kind;
            long limit = std::min<long>(width, kind == Ham ? 376 : 400);
            for (long x = 17; x < limit; x += 2) {
                int v = ix[static_cast<size_t>(x - 1)] * 16 + ix[static_cast<size_t>(x)];
                long slot = (x - 17) / 6 + 64L * use;
                if (slot < 256) {
                    uint8_t* c = &palette[slot].r;
                    c[((x - 17) % 6) / 2] = static_cast<uint8_t>(v);
                }
            }
            for (long x = 0; x < width; ++x, out += 4) {
                out[0] = palette[0].r;
                out[1] = palette[0].g;
                out[2] = palette[0].b;
            }
            active = true;
            return true;
        }
        bank = 0;
        if (!active)
            return false;
        if (std::all_of(ix.begin(), ix.begin() + width, [](int v) { return v == 0; })) {
            active = false;
            return false;
        }
        Colour held = palette[0];
        for (long x = 1; x < width; x += 2) {
            int v = ix[static_cast<size_t>(x - 1)] * 16 + ix[static_cast<size_t>(x)];
            Colour c;
            if (mode == Register || v < 64) {
                c = palette[v];
            } else {
                c = held;
                int d = v & 63;
                uint8_t wide = static_cast<uint8_t>(d * 4 + d / 16);
                switch (v >> 6) {
                case 2: c.r = wide; break;
                case 3: c.g = wide; break;
                default: c.b = wide; break;
                }
            }
            held = c;
            uint8_t* p = out + 4 * x;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            uint8_t* q = out + 4 * (x - 1);
            const uint8_t* l = x >= 2 ? out + 4 * (x - 2) : p;
            for (int i = 0; i < 3; ++i)
                q[i] = static_cast<uint8_t>((p[i] + l[i]) / 2);
        }
        return true;
    }
};

// Pixel values from the bit planes of one row: bit p of a value from plane
// p, the leftmost pixel in the most significant bit.
void planes_to_values(const uint8_t* const* planes, int count, long width, uint32_t* values)
{
    std::fill(values, values + width, 0u);
    for (int p = 0; p < count; ++p) {
        const uint8_t* row = planes[p];
        uint32_t bit = 1u << p;
        for (long x = 0; x < width; ++x)
            if (row[x >> 3] & (0x80 >> (x & 7)))
                values[x] |= bit;
    }
}

// Widens a HAM data value of `bits` bits to eight by repeating its bits.
uint8_t widen(int v, int bits)
{
    int out = 0, have = 0;
    while (have < 8) {
        out = out << bits | v;
        have += bits;
    }
    return static_cast<uint8_t>(out >> (have - 8));
}

Image* decode_ilbm(FILE* f, const char* name, Layout& l)
{
    Bmhd& m = l.bmhd;
    const long width = m.width, height = m.height;
    const int planes = m.planes;
    const long bpr = plane_row_bytes(width);
    // The plane rows, with the mask plane after them when there is one.
    const int stored = planes + (m.masking == 1 ? 1 : 0);
    Block rows(bpr * stored, "iffp");
    std::vector<uint32_t> values(static_cast<size_t>(width));
    if (!rows.p) {
        note("Not enough memory for planes.");
        return nullptr;
    }
    Image* image = codec_new_image(width, height, "iiff");
    if (!image) {
        note("Not enough memory for IFF image.");
        return nullptr;
    }
    if (image_lock(image) != 0) {
        note("Not enough real memory for IFF image.");
        return drop(image);
    }
    image->file_format = FMT_IFF;
    image->bits = static_cast<uint16_t>(planes);
    if (m.x_aspect && m.y_aspect) {
        int h = m.y_aspect, v = m.x_aspect;
        if (h < 10 && v < 10)
            h *= 100, v *= 100;
        image->hres_num = h;
        image->vres_num = v;
        image->hres_den = image->vres_den = 1;
    }

    // The palette: the CMAP, widened by half-brite to the colours the
    // planes address.
    const int entries = static_cast<int>(l.cmap.size() / 3);
    Colour palette[256] = {};
    for (int i = 0; i < entries; ++i)
        palette[i] = {l.cmap[3 * i], l.cmap[3 * i + 1], l.cmap[3 * i + 2]};
    const bool ham = (entries == 16 && planes == 6) || (entries == 64 && planes == 8) ||
                     (l.camg & kCamgHam && planes >= 5 && planes <= 8);
    log_printf("HAM image: %s\n", ham ? "Yes" : "No");
    if (l.camg & kCamgHalfBrite && entries > 0 && planes <= 8) {
        int n = std::max(entries, planes <= 8 ? 1 << planes : 0);
        for (int i = n / 2; i < n && i < 256; ++i)
            palette[i] = {static_cast<uint8_t>(palette[i - n / 2].r / 2), static_cast<uint8_t>(palette[i - n / 2].g / 2),
                          static_cast<uint8_t>(palette[i - n / 2].b / 2)};
    }
    if (planes <= 8)
        for (int i = 0; i < 256; ++i) {
            image->palette_red[i] = palette[i].r;
            image->palette_green[i] = palette[i].g;
            image->palette_blue[i] = palette[i].b;
        }

    long got = 0;
    Block body(0, "iffb");
    body.p = read_block(f, l.body.at, l.body.size, "iffb", &got);
    if (!body.p && l.body.size > 0) {
        message_show(msg::NoMemoryOperation, name);
        return drop(image);
    }
    Unpacker in{Bytes{body.p, got}, m.compression == 1};
    Meter meter("Reading IFF", height);
    const uint8_t* plane_rows[33];
    for (int p = 0; p < stored; ++p)
        plane_rows[p] = rows.p + p * bpr;
    HamE hame;
    std::vector<int> ix(static_cast<size_t>(std::max<long>(width, 16)));
    // HAM5 and HAM7 are HAM6 and HAM8 with the top plane left at 0.
    const int data_bits = planes <= 6 ? 4 : 6;
    for (long y = 0; y < height; ++y) {
        bool whole = true;
        for (int p = 0; p < stored && whole; ++p)
            whole = in.row(rows.p + p * bpr, bpr);
        // A BODY that ends early leaves the rows below as created.
        if (!whole) {
            log_printf("IFF BODY ends at row %ld of %ld\n", y, height);
            break;
        }
        uint8_t* out = image->row(static_cast<int>(y));
        planes_to_values(plane_rows, planes, width, values.data());
        if (planes > 8) {
            for (long x = 0; x < width; ++x, out += 4) {
                uint32_t v = values[static_cast<size_t>(x)];
                out[0] = static_cast<uint8_t>(v);
                out[1] = static_cast<uint8_t>(v >> 8);
                out[2] = static_cast<uint8_t>(v >> 16);
                if (planes == 32)
                    out[3] = static_cast<uint8_t>(v >> 24);
            }
        } else if (ham) {
            Colour held = palette[0];
            const uint32_t data_mask = (1u << data_bits) - 1;
            for (long x = 0; x < width; ++x, out += 4) {
                uint32_t v = values[static_cast<size_t>(x)];
                int d = static_cast<int>(v & data_mask);
                switch (v >> data_bits) {
                case 0: held = palette[d]; break;
                case 1: held.b = widen(d, data_bits); break;
                case 2: held.r = widen(d, data_bits); break;
                default: held.g = widen(d, data_bits); break;
                }
                out[0] = held.r;
                out[1] = held.g;
                out[2] = held.b;
            }
        } else {
            for (long x = 0; x < width; ++x)
                ix[static_cast<size_t>(x)] = static_cast<int>(values[static_cast<size_t>(x)]);
            if (!hame.row(ix, width, out)) {
                for (long x = 0; x < width; ++x, out += 4) {
                    const Colour& c = palette[values[static_cast<size_t>(x)] & 255];
                    out[0] = c.r;
                    out[1] = c.g;
                    out[2] = c.b;
                }
            }
        }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("IFF reading cancelled\n");
            return drop(image);
        }
    }
    if (planes == 32)
        image->alpha = 1;
    return image;
}

Image* decode_trim(FILE* f, const char* name, Layout& l)
{
    const Bmhd& m = l.bmhd;
    const int planes = l.image_id == id("MONO") ? 1 : l.image_id == id("RGBA") ? 4 : 3;
    Image* image = codec_new_image(m.width, m.height, "iiff");
    if (!image) {
        note("Not enough memory for IFF image.");
        return nullptr;
    }
    if (image_lock(image) != 0) {
        note("Not enough real memory for IFF image.");
        return drop(image);
    }
    long got = 0;
    Block data(0, "ifft");
    data.p = read_block(f, l.image.at, l.image.size, "ifft", &got);
    if (!data.p) {
        message_show(msg::NoMemoryNewImage);
        return drop(image);
    }
    if (got < l.image.size)
        message_show(msg::FileTruncated, name);
    Meter meter("Loading TRIM", 1);
    if (trim_decode(data.p, got, image, planes) != 0)
        log_printf("TRIM image data end early\n");
    image->file_format = FMT_TRM;
    image->bits = static_cast<uint16_t>(planes == 1 ? 8 : planes * 8);
    image->alpha = planes == 4 ? 1 : 0;
    std::snprintf(image->type_name, sizeof image->type_name, "TRIM");
    return image;
}

} // namespace

Image* ReadIff(FILE* stream, const char* name)
{
    Layout l;
    if (!walk_file(stream, name, l))
        return nullptr;
    Bmhd& m = l.bmhd;
    if (l.has_bmhd) {
        log_printf("Width : %ld , Height   : %ld\n", m.width, m.height);
        log_printf("PositionX: %d , PositionY : %d\n", m.x, m.y);
        log_printf("N planes: %d, Masking: %d, Compress: %d, Display: %02X\n", m.planes, m.masking, m.compression, m.pad);
        log_printf(m.compression ? "Run length encoding.\n" : "No compression.\n");
        log_printf("Trans col: %d\n", m.transparent);
        log_printf("Aspect ratio (X / Y) : %d / %d\n", m.x_aspect, m.y_aspect);
        log_printf("Source W : %d , Source H : %d\n", m.page_width, m.page_height);
        correct_aspect(m);
    }
    if (const char* problem = layout_problem(l)) {
        error_box("The IFF file cannot be read", (std::string(name) + ": " + problem).c_str());
        return nullptr;
    }
    Image* image = l.form == id("TRIM") ? decode_trim(stream, name, l) : decode_ilbm(stream, name, l);
    if (!image)
        return nullptr;
    if (l.dpi_h >= 1)
        image->hres_num = l.dpi_h, image->hres_den = 1;
    if (l.dpi_v >= 1)
        image->vres_num = l.dpi_v, image->vres_den = 1;
    std::snprintf(image->author, sizeof image->author, "%s", l.author.c_str());
    std::snprintf(image->copyright, sizeof image->copyright, "%s", l.copyright.c_str());
    if (l.has_annotation && image_annotation_alloc(image, static_cast<long>(l.annotation.size()) + 1) == 0)
        std::memcpy(image->annotation, l.annotation.c_str(), l.annotation.size() + 1);
    image_unlock(image);
    return image;
}

int iff_info(const LoadRequest& request, ImageInfo* info)
{
    Layout l;
    if (!walk_file(request.stream, request.name, l))
        return 1;
    if (const char* problem = layout_problem(l)) {
        error_box("The IFF file cannot be read", (std::string(request.name) + ": " + problem).c_str());
        return 1;
    }
    info->width = l.bmhd.width;
    info->height = l.bmhd.height;
    info->code = l.form == id("TRIM") ? FMT_TRM : FMT_IFF;
    if (l.form == id("TRIM")) {
        info->bits = l.image_id == id("MONO") ? 8 : l.image_id == id("RGBA") ? 32 : 24;
        info->alpha = l.image_id == id("RGBA");
    } else {
        info->bits = l.bmhd.planes;
        info->alpha = l.bmhd.planes == 32;
        // The resolution as the reader gives it: the pixel aspect, then a DPI chunk.
        Bmhd m = l.bmhd;
        if (l.has_bmhd)
            correct_aspect(m);
        if (m.x_aspect && m.y_aspect) {
            int h = m.y_aspect, v = m.x_aspect;
            if (h < 10 && v < 10)
                h *= 100, v *= 100;
            info->hres = h;
            info->vres = v;
        }
    }
    if (l.dpi_h >= 1)
        info->hres = l.dpi_h;
    if (l.dpi_v >= 1)
        info->vres = l.dpi_v;
    return 0;
}

// ---- writing ------------------------------------------------------------------

long byterun1_pack(const uint8_t* in, long n, uint8_t* out)
{
    long o = 0, i = 0;
    while (i < n) {
        long run = 1;
        while (i + run < n && run < 128 && in[i + run] == in[i])
            ++run;
        if (run >= 3) {
            out[o++] = static_cast<uint8_t>(static_cast<int8_t>(1 - run));
            out[o++] = in[i];
            i += run;
            continue;
        }
        // A literal stretch ends where a run of three begins.
        long j = i;
        while (j < n && j - i < 128) {
            if (j + 2 < n && in[j] == in[j + 1] && in[j] == in[j + 2])
                break;
            ++j;
        }
        out[o++] = static_cast<uint8_t>(j - i - 1);
        std::memcpy(out + o, in + i, static_cast<size_t>(j - i));
        o += j - i;
        i = j;
    }
    return o;
}

namespace {

struct ChunkWriter {
    OutFile& out;
    const char* name;

    bool chunk(const char* tag, const void* data, long size)
    {
        uint8_t h[8];
        std::memcpy(h, tag, 4);
        put_be32(h + 4, static_cast<uint32_t>(size));
        static const uint8_t zero = 0;
        bool ok = out.put(h, 8) && (size == 0 || out.put(data, static_cast<size_t>(size))) &&
                  (!(size & 1) || out.put(&zero, 1));
        if (!ok)
            note("Problem writing file");
        return ok;
    }

    // A text chunk: its size is the text rounded up to even, the NUL filling the odd byte.
    bool text(const char* tag, const char* text, const char* failure)
    {
        if (!text || !*text)
            return true;
        long n = static_cast<long>(std::strlen(text));
        std::string padded(text, static_cast<size_t>(n));
        if (n & 1)
            padded.push_back('\0');
        uint8_t h[8];
        std::memcpy(h, tag, 4);
        put_be32(h + 4, static_cast<uint32_t>(padded.size()));
        if (!out.put(h, 8) || !out.put(padded.data(), padded.size())) {
            note(failure);
            return false;
        }
        return true;
    }
};

void make_bmhd(const Image* image, int planes, int compress, uint8_t* b)
{
    std::memset(b, 0, 20);
    put_be16(b, static_cast<uint16_t>(image->width));
    put_be16(b + 2, static_cast<uint16_t>(image->height));
    b[8] = static_cast<uint8_t>(planes);
    b[10] = static_cast<uint8_t>(compress ? 1 : 0);
    long h = image->hres_den > 0 ? image->hres_num / image->hres_den : 0;
    long v = image->vres_den > 0 ? image->vres_num / image->vres_den : 0;
    // The aspect bytes hold the resolution, halved together until both fit.
    for (int i = 0; i < 20 && (h >= 256 || v >= 256); ++i)
        h /= 2, v /= 2;
    b[14] = static_cast<uint8_t>(std::clamp(v, 1L, 255L));
    b[15] = static_cast<uint8_t>(std::clamp(h, 1L, 255L));
    put_be16(b + 16, static_cast<uint16_t>(image->width));
    put_be16(b + 18, static_cast<uint16_t>(image->height));
}

bool write_texts(ChunkWriter& w, const Image* image)
{
    return w.text("AUTH", image->author, "Problem writing file") &&
           w.text("(c) ", image->copyright, "Problem writing copyright to file") &&
           w.text("ANNO", image->annotation, "Problem writing file");
}

// The BODY of an ILBM: per row the plane rows, least significant bit first;
// `values` gives each pixel's value from its row.
template <typename ValueOf>
bool write_body(OutFile& out, const char* name, long width, long height, int planes, int compress, ValueOf value_of,
                long& body_size)
{
    const long bpr = plane_row_bytes(width);
    Block rows(bpr * planes, "iffw"), packed(4 * bpr + 2, "iffw");
    if (!rows.p || !packed.p) {
        message_show(msg::NoMemoryOperation);
        return false;
    }
    Meter meter("Writing IFF", height);
    body_size = 0;
    std::vector<uint32_t> values(static_cast<size_t>(width));
    for (long y = 0; y < height; ++y) {
        value_of(y, values.data());
        std::memset(rows.p, 0, static_cast<size_t>(bpr * planes));
        for (int p = 0; p < planes; ++p) {
            uint8_t* row = rows.p + p * bpr;
            for (long x = 0; x < width; ++x)
                if (values[static_cast<size_t>(x)] >> p & 1)
                    row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            const uint8_t* data = row;
            long n = bpr;
            if (compress) {
                n = byterun1_pack(row, bpr, packed.p);
                data = packed.p;
            }
            if (!out.put(data, static_cast<size_t>(n))) {
                note("Problem writing IFF line.");
                return false;
            }
            body_size += n;
        }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("IFF saving cancelled\n");
            return false;
        }
    }
    (void)name;
    return true;
}

// The TRIM thumbnail: at most the thumbnail size, in the image's proportions.
std::vector<uint8_t> thumbnail(Image* image, bool alpha)
{
    long w = image->width, h = image->height;
    long tw = kThumbWidth, th = std::max(1L, tw * h / w);
    if (th > kThumbHeight) {
        th = kThumbHeight;
        tw = std::max(1L, th * w / h);
    }
    tw = std::min(tw, 255L);
    std::vector<uint8_t> t{static_cast<uint8_t>(tw), static_cast<uint8_t>(th), static_cast<uint8_t>(alpha ? 4 : 3), 0};
    for (long j = 0; j < th; ++j)
        for (long i = 0; i < tw; ++i) {
            long y = th > 1 ? j * (h - 1) / (th - 1) : 0, x = tw > 1 ? i * (w - 1) / (tw - 1) : 0;
            const uint8_t* p = image->pixel(static_cast<int>(x), static_cast<int>(y));
            t.insert(t.end(), p, p + (alpha ? 4 : 3));
        }
    return t;
}

} // namespace

int WriteIff(Image* image, const char* name, bool trim, int compress, int bits)
{
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
    const int planes = !trim && (bits == 1 || bits == 4 || bits == 8) ? bits : 24;
    uint8_t red[256] = {}, green[256] = {}, blue[256] = {};
    ReduceInfo reduced;
    Block indices(0, "iffi");
    if (planes <= 8) {
        indices.p = reduce_for_file(image, planes, red, green, blue, &reduced);
        if (!indices.p)
            return 1;
    }
    OutFile out(name);
    if (!out.f) {
        note("Unable to Create file.");
        return 1;
    }
    ChunkWriter w{out, name};
    uint8_t head[12];
    std::memcpy(head, "FORM", 4);
    put_be32(head + 4, 0);
    std::memcpy(head + 8, trim ? "TRIM" : "ILBM", 4);
    if (!out.put(head, sizeof head)) {
        note("Problem writing file");
        return 1;
    }
    uint8_t bmhd[20];
    make_bmhd(image, planes, trim ? 1 : compress, bmhd);
    if (trim) {
        bool alpha = image->alpha;
        bool grey = !alpha;
        const long count = width * height;
        for (long i = 0; i < count && grey; ++i) {
            const uint8_t* p = image->pixels + 4 * i;
            grey = p[0] == p[1] && p[1] == p[2];
        }
        std::vector<uint8_t> thumb = thumbnail(image, alpha);
        std::vector<uint8_t> coded;
        {
            Meter meter("hi-comp save", 1);
            trim_encode(image, grey ? 1 : alpha ? 4 : 3, coded);
        }
        if (!w.chunk("THUM", thumb.data(), static_cast<long>(thumb.size())) || !w.chunk("BMHD", bmhd, 20))
            return 1;
        if (!w.chunk(grey ? "MONO" : alpha ? "RGBA" : "RGBT", coded.data(), static_cast<long>(coded.size()))) {
            note("Problem writing image chunk.");
            return 1;
        }
    } else {
        if (!w.chunk("BMHD", bmhd, 20))
            return 1;
        if (planes <= 8) {
            uint8_t cmap[768];
            const int colours = 1 << planes;
            for (int i = 0; i < colours; ++i) {
                cmap[3 * i] = red[i];
                cmap[3 * i + 1] = green[i];
                cmap[3 * i + 2] = blue[i];
            }
            if (!w.chunk("CMAP", cmap, 3L * colours))
                return 1;
        }
        long body_at = std::ftell(out.f);
        if (!out.put("BODY\0\0\0\0", 8)) {
            note("Problem writing file");
            return 1;
        }
        long body_size = 0;
        bool ok;
        if (planes <= 8) {
            ok = write_body(out, name, width, height, planes, compress, [&](long y, uint32_t* v) {
                const uint8_t* ix = indices.p + y * reduced.stride;
                for (long x = 0; x < width; ++x)
                    v[x] = ix[x];
            }, body_size);
        } else {
            ok = write_body(out, name, width, height, 24, compress, [&](long y, uint32_t* v) {
                const uint8_t* p = image->row(static_cast<int>(y));
                for (long x = 0; x < width; ++x, p += 4)
                    v[x] = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
            }, body_size);
        }
        if (!ok)
            return 1;
        static const uint8_t zero = 0;
        uint8_t size[4];
        put_be32(size, static_cast<uint32_t>(body_size));
        if ((body_size & 1 && !out.put(&zero, 1)) || std::fseek(out.f, body_at + 4, SEEK_SET) != 0 ||
            !out.put(size, 4) || std::fseek(out.f, 0, SEEK_END) != 0) {
            note("Problem writing file");
            return 1;
        }
    }
    if (!write_texts(w, image))
        return 1;
    long total = std::ftell(out.f);
    uint8_t size[4];
    put_be32(size, static_cast<uint32_t>(total - 8));
    if (total < 0 || std::fseek(out.f, 4, SEEK_SET) != 0 || !out.put(size, 4) || !out.finish()) {
        note("Problem writing file");
        return 1;
    }
    return 0;
}
