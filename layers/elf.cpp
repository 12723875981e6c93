#include "layers/elf.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/list.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/safe_write.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "formats/trim.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"
#include "layers/layer_manage.h"
#include "core/platform.h"

#include <zlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace {

const char* const kCreator =
    "File written by Glimmerix V/q 7.50. It holds a master image followed by each of its layers with "
    "placement, blend mode, opacity, factor, flags and pixels. "
    "Glimmerix is the baseline application for .elf files.";

struct ElfState {
    char last_error[512];
};
ElfState g_elf;

void set_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void set_error(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(g_elf.last_error, sizeof g_elf.last_error, fmt, args);
    va_end(args);
}

// ---- header and record ---------------------------------------------------

struct Header {
    uint32_t magic, version;
    char name[256], annotation[256], author[256], copyright[256], creator[256];
    uint32_t width, height;
    int32_t hres_num, hres_den, vres_num, vres_den;
    uint32_t layer_number;
};

struct Record {
    uint32_t magic;
    char name[256];
    uint32_t width, height;
    int32_t x, y;
    uint32_t layer_number, coding, follows, mode, flags, opacity_factor;
};

void put_text(uint8_t* at, const char* text)
{
    std::memset(at, 0, 256);
    if (text)
        std::memcpy(at, text, strnlen(text, 255));
}

void get_text(const uint8_t* at, char* out)
{
    std::memcpy(out, at, 256);
    out[255] = 0;
}

void pack_header(const Header& h, uint8_t* b)
{
    put_be32(b + 0, h.magic);
    put_be32(b + 4, h.version);
    put_text(b + 8, h.name);
    put_text(b + 264, h.annotation);
    put_text(b + 520, h.author);
    put_text(b + 776, h.copyright);
    put_text(b + 1032, h.creator);
    put_be32(b + 1288, h.width);
    put_be32(b + 1292, h.height);
    put_be32(b + 1296, static_cast<uint32_t>(h.hres_num));
    put_be32(b + 1300, static_cast<uint32_t>(h.hres_den));
    put_be32(b + 1304, static_cast<uint32_t>(h.vres_num));
    put_be32(b + 1308, static_cast<uint32_t>(h.vres_den));
    put_be32(b + 1312, h.layer_number);
}

void unpack_header(const uint8_t* b, Header& h)
{
    h.magic = get_be32(b + 0);
    h.version = get_be32(b + 4);
    get_text(b + 8, h.name);
    get_text(b + 264, h.annotation);
    get_text(b + 520, h.author);
    get_text(b + 776, h.copyright);
    get_text(b + 1032, h.creator);
    h.width = get_be32(b + 1288);
    h.height = get_be32(b + 1292);
    h.hres_num = static_cast<int32_t>(get_be32(b + 1296));
    h.hres_den = static_cast<int32_t>(get_be32(b + 1300));
    h.vres_num = static_cast<int32_t>(get_be32(b + 1304));
    h.vres_den = static_cast<int32_t>(get_be32(b + 1308));
    h.layer_number = get_be32(b + 1312);
}

void pack_record(const Record& r, uint8_t* b)
{
    put_be32(b + 0, r.magic);
    put_text(b + 4, r.name);
    put_be32(b + 260, r.width);
    put_be32(b + 264, r.height);
    put_be32(b + 268, static_cast<uint32_t>(r.x));
    put_be32(b + 272, static_cast<uint32_t>(r.y));
    put_be32(b + 276, r.layer_number);
    put_be32(b + 280, r.coding);
    put_be32(b + 284, r.follows);
    put_be32(b + 288, r.mode);
    put_be32(b + 292, r.flags);
    put_be32(b + 296, r.opacity_factor);
    const uint8_t fixed[8] = {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::memcpy(b + 300, fixed, 8);
}

void unpack_record(const uint8_t* b, Record& r)
{
    r.magic = get_be32(b + 0);
    get_text(b + 4, r.name);
    r.width = get_be32(b + 260);
    r.height = get_be32(b + 264);
    r.x = static_cast<int32_t>(get_be32(b + 268));
    r.y = static_cast<int32_t>(get_be32(b + 272));
    r.layer_number = get_be32(b + 276);
    r.coding = get_be32(b + 280);
    r.follows = get_be32(b + 284);
    r.mode = get_be32(b + 288);
    r.flags = get_be32(b + 292);
    r.opacity_factor = get_be32(b + 296);
}

// Pixels of master a byte of file may stand for (a layer of 16 x 16 tiles
// takes 8 bytes a tile in its shortest coding; masters are bigger than
// their layers now and then).
constexpr double kElfPixelsPerByte = 4096;

bool size_allowed(uint64_t width, uint64_t height)
{
    return width >= 1 && height >= 1 && width <= kElfMaxSide && height <= kElfMaxSide &&
           width * height <= static_cast<uint64_t>(kElfMaxPixels);
}

// ---- writing ---------------------------------------------------------------

struct Writer {
    FILE* f;
    bool ok = true;
    void put(const void* data, size_t n)
    {
        if (ok && n && std::fwrite(data, 1, n, f) != n)
            ok = false;
    }
    void put32(uint32_t v)
    {
        uint8_t b[4];
        put_be32(b, v);
        put(b, 4);
    }
};

// ByteRun1: runs of three or more equal bytes repeat, the rest is literal.
size_t pack_bits(const uint8_t* in, size_t n, uint8_t* out)
{
    size_t o = 0, i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && in[i + run] == in[i])
            ++run;
        if (run >= 3) {
            out[o++] = static_cast<uint8_t>(1 - static_cast<int>(run));
            out[o++] = in[i];
            i += run;
            continue;
        }
        size_t start = i, lit = 0;
        while (i < n && lit < 128) {
            if (i + 2 < n && in[i] == in[i + 1] && in[i] == in[i + 2])
                break;
            ++i;
            ++lit;
        }
        out[o++] = static_cast<uint8_t>(lit - 1);
        std::memcpy(out + o, in + start, lit);
        o += lit;
    }
    return o;
}

// The planes of one layer in the record's coding; false stops the save.
bool write_pixels(Writer& w, Image* layer, int coding)
{
    const long width = layer->width;
    if (coding == ELF_TRIM) {
        long at = std::ftell(w.f);
        w.put32(0);
        std::vector<uint8_t> chunk;
        trim_encode(layer, 4, chunk);
        w.put(chunk.data(), chunk.size());
        long end = std::ftell(w.f);
        if (!w.ok || at < 0 || end < 0 || std::fseek(w.f, at, SEEK_SET) != 0)
            return false;
        w.put32(static_cast<uint32_t>(chunk.size()));
        return w.ok && std::fseek(w.f, end, SEEK_SET) == 0;
    }
    auto* in = mem_alloc_as<uint8_t>(width, "in-scan buffer");
    auto* out = mem_alloc_as<uint8_t>(4 * width, "out-scan buffer");
    if (!in || !out) {
        mem_free(in);
        mem_free(out);
        set_error("not enough memory for the row buffers");
        return false;
    }
    for (int y = 0; y < layer->height && w.ok; ++y) {
        const uint8_t* row = layer->row(y);
        for (int c = 0; c < 4 && w.ok; ++c) {
            for (long x = 0; x < width; ++x)
                in[x] = row[4 * x + c];
            if (coding == ELF_RAW) {
                w.put(in, static_cast<size_t>(width));
            } else if (coding == ELF_RUNS) {
                w.put(out, pack_bits(in, static_cast<size_t>(width), out));
            } else {
                // The deflated plane must stay below twice the width.
                uLongf packed = static_cast<uLongf>(2 * width - 1);
                if (compress2(out, &packed, in, static_cast<uLong>(width), 9) != Z_OK) {
                    set_error("layer \"%s\" (%ld pixels wide) does not deflate into twice its width; "
                              "choose another coding",
                              layer->name, width);
                    w.ok = false;
                    break;
                }
                w.put32(static_cast<uint32_t>(packed));
                w.put(out, packed);
            }
        }
        if (progress_update(y)) {
            set_error("cancelled");
            w.ok = false;
        }
    }
    mem_free(in);
    mem_free(out);
    return w.ok;
}

Image* master_of(Image* image)
{
    if (!image)
        return nullptr;
    if (image->has_layers && image->layer_list)
        return image;
    if (image->is_layer && image->owner && image->owner->layer_list)
        return image->owner;
    return nullptr;
}

int write_file(const char* name, Image* master, int coding)
{
    FILE* f = std::fopen(name, "wb");
    if (!f) {
        set_error("cannot create the file");
        return 1;
    }
    std::vector<char> buffer(1 << 16);
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    Writer w{f};

    Header h{};
    h.magic = kElfMagic;
    h.version = kElfVersion;
    std::snprintf(h.name, sizeof h.name, "%s", master->name);
    // The annotation keeps 254 characters at most.
    std::snprintf(h.annotation, 255, "%s", master->annotation && master->annotation[0] ? master->annotation : "Unknown");
    std::snprintf(h.author, sizeof h.author, "%.*s", static_cast<int>(sizeof master->author), master->author);
    std::snprintf(h.copyright, sizeof h.copyright, "%.*s", static_cast<int>(sizeof master->copyright),
                  master->copyright);
    std::snprintf(h.creator, sizeof h.creator, "%s", kCreator);
    h.width = master->width;
    h.height = static_cast<uint32_t>(master->height);
    h.hres_num = master->hres_num, h.hres_den = master->hres_den;
    h.vres_num = master->vres_num, h.vres_den = master->vres_den;
    h.layer_number = static_cast<uint16_t>(master->layer_number);
    uint8_t head[kElfHeaderSize];
    pack_header(h, head);
    w.put(head, sizeof head);

    for (ListNode* node = master->layer_list->head; node && w.ok; node = node->ln_succ) {
        if (node->key != kNodeKey || !node->element)
            break;
        auto* layer = static_cast<Image*>(node->element);
        ImageLock lock(layer);
        if (!lock) {
            set_error("layer \"%s\" cannot be locked", layer->name);
            w.ok = false;
            break;
        }
        Record r{};
        r.magic = kElfLayerMagic;
        std::snprintf(r.name, sizeof r.name, "%s", layer->name);
        r.width = layer->width;
        r.height = static_cast<uint32_t>(layer->height);
        r.x = layer->layer_x;
        r.y = layer->layer_y;
        r.layer_number = static_cast<uint16_t>(layer->layer_number);
        r.coding = static_cast<uint32_t>(coding);
        r.follows = node->ln_succ && node->ln_succ->key == kNodeKey && node->ln_succ->element ? 1 : 0;
        r.mode = static_cast<uint32_t>(layer->layer_mode);
        r.flags = layer->layer_flags & 0xFF;
        r.opacity_factor = (static_cast<uint32_t>(layer->layer_opacity) & 0xFFFF) |
                           static_cast<uint32_t>(layer->layer_factor) << 16;
        uint8_t rec[kElfRecordSize];
        pack_record(r, rec);
        w.put(rec, sizeof rec);
        progress_open("Saving ELF", layer->height);
        bool written = w.ok && write_pixels(w, layer, coding);
        progress_close();
        if (!written)
            w.ok = false;
    }
    if (std::fclose(f) != 0)
        w.ok = false;
    if (!w.ok && !g_elf.last_error[0])
        set_error("the disk refused the data");
    return w.ok ? 0 : 1;
}

// ---- reading ------------------------------------------------------------

struct Reader {
    FILE* f;
    long size;
    long pos = 0;
    bool read(void* out, long n)
    {
        if (n < 0 || n > size - pos || std::fread(out, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n))
            return false;
        pos += n;
        return true;
    }
    int byte()
    {
        if (pos >= size)
            return -1;
        int c = std::getc(f);
        if (c != EOF)
            ++pos;
        return c;
    }
    bool read32(uint32_t& v)
    {
        uint8_t b[4];
        if (!read(b, 4))
            return false;
        v = get_be32(b);
        return true;
    }
};

// The fewest bytes a layer's pixels take in a coding: a layer whose data
// cannot fit in what is left of the file is refused before it is made.
uint64_t least_bytes(int coding, uint64_t w, uint64_t h)
{
    switch (coding) {
    case ELF_RAW: return 4 * w * h;
    case ELF_RUNS: return 4 * h * 2 * ((w + 127) / 128);
    case ELF_DEFLATE: return 4 * h * (4 + 8);
    default: return 4 + 4 * (256 + 2 * ((w + 15) / 16) * ((h + 15) / 16));
    }
}

bool unpack_bits(Reader& in, uint8_t* out, long n)
{
    long o = 0;
    while (o < n) {
        int c = in.byte();
        if (c < 0)
            return false;
        auto count = static_cast<int8_t>(c);
        if (count >= 0) {
            if (o + count + 1 > n || !in.read(out + o, count + 1))
                return false;
            o += count + 1;
        } else if (count != -128) {
            int v = in.byte();
            long run = 1 - count;
            if (v < 0 || o + run > n)
                return false;
            std::memset(out + o, v, static_cast<size_t>(run));
            o += run;
        }
    }
    return true;
}

// Fills a locked layer from the file; false when the data are short or
// damaged.
bool read_pixels(Reader& in, Image* layer, int coding)
{
    const long width = layer->width;
    if (coding == ELF_TRIM) {
        uint32_t length = 0;
        if (!in.read32(length) || length > static_cast<uint64_t>(in.size - in.pos))
            return false;
        std::vector<uint8_t> chunk(length);
        if (!in.read(chunk.data(), length))
            return false;
        if (trim_decode(chunk.data(), length, layer, 4) != 0)
            return false;
        image_set_format(layer, FMT_TRM);
        std::memcpy(layer->format, "ELF", 4);
        std::snprintf(layer->type_name, sizeof layer->type_name, "ELF");
        return true;
    }
    std::vector<uint8_t> plane(static_cast<size_t>(width));
    std::vector<uint8_t> packed;
    for (int y = 0; y < layer->height; ++y) {
        uint8_t* row = layer->row(y);
        for (int c = 0; c < 4; ++c) {
            if (coding == ELF_RAW) {
                if (!in.read(plane.data(), width))
                    return false;
            } else if (coding == ELF_RUNS) {
                if (!unpack_bits(in, plane.data(), width))
                    return false;
            } else {
                uint32_t length = 0;
                if (!in.read32(length) || length == 0 || length > static_cast<uint64_t>(in.size - in.pos) ||
                    length > 2 * static_cast<uint64_t>(width) + 65536)
                    return false;
                packed.resize(length);
                uLongf got = static_cast<uLongf>(width);
                if (!in.read(packed.data(), length) ||
                    uncompress(plane.data(), &got, packed.data(), length) != Z_OK || got != static_cast<uLongf>(width))
                    return false;
            }
            for (long x = 0; x < width; ++x)
                row[4 * x + c] = plane[static_cast<size_t>(x)];
        }
        if (y % 64 == 0 && progress_update(in.pos))
            return false;
    }
    return true;
}

const char* record_fault(const Record& r)
{
    static char text[160];
    if (r.magic != kElfLayerMagic)
        return "it does not begin with the layer mark";
    if (r.width == 0 || r.height == 0 || r.width > 0x7fffffff || r.height > 0x7fffffff) {
        std::snprintf(text, sizeof text, "its size %u by %u is not allowed", r.width, r.height);
        return text;
    }
    if (r.coding > 3) {
        std::snprintf(text, sizeof text, "its pixel coding %u is unknown (0 to 3)", r.coding);
        return text;
    }
    if (r.mode >= static_cast<uint32_t>(kBlendModeCount)) {
        std::snprintf(text, sizeof text, "its blend mode %u is unknown (0 to %d)", r.mode, kBlendModeCount - 1);
        return text;
    }
    if (r.flags >= 256) {
        std::snprintf(text, sizeof text, "its flags %u lie outside 0 to 255", r.flags);
        return text;
    }
    uint32_t opacity = r.opacity_factor & 0xFFFF, factor = r.opacity_factor >> 16;
    if (opacity > 100) {
        std::snprintf(text, sizeof text, "its opacity %u is above 100", opacity);
        return text;
    }
    if (factor > 30000) {
        std::snprintf(text, sizeof text, "its factor %u is above 30000", factor);
        return text;
    }
    return nullptr;
}

void layer_fault(const char* file, int index, const char* fault)
{
    char text[400];
    std::snprintf(text, sizeof text, "Layer %d of the layered file cannot be read: %s.", index, fault);
    error_box(text, file);
}

} // namespace

// ---- interface ------------------------------------------------------------

const char* elf_last_error()
{
    return g_elf.last_error;
}

int elf_save_coded(const char* name, Image* image, int coding)
{
    g_elf.last_error[0] = 0;
    Image* master = master_of(image);
    if (!master) {
        set_error("the image has no layers");
        return 2;
    }
    if (coding < ELF_RAW || coding > ELF_TRIM) {
        set_error("pixel coding %d is unknown (0 to 3)", coding);
        return 1;
    }
    // Layered bytes under a picture's name would destroy the picture.
    size_t n = std::strlen(name);
    if (n < 5 || strcasecmp(name + n - 4, ".elf") != 0) {
        set_error("\"%s\" does not end in \".elf\"", name);
        return 1;
    }
    // Written beside the old file and put in its place only when complete,
    // so that a failed save leaves the old file as it was.
    SafeWrite out(name);
    int result = write_file(out.temp_path(), master, coding);
    if (result == 0 && out.commit() != 0) {
        set_error("the file cannot be put in place");
        result = 1;
    }
    return result;
}

int elf_save(const char* name, Image* image, int packed)
{
    int coding = packed == 0 ? ELF_RAW : (settings().pref(PREF_HIGH_COMPRESSION_ELF) ? ELF_TRIM : ELF_RUNS);
    return elf_save_coded(name, image, coding);
}

int elf_save_as(Image* image)
{
    Image* master = master_of(image);
    if (!master)
        return 1;
    std::string suggested = std::string(master->name[0] ? master->name : "layers");
    size_t dot = suggested.rfind('.');
    if (dot != std::string::npos && dot > 0)
        suggested.erase(dot);
    suggested += ".elf";
    std::string file = ui::platform().choose_file(true, "Save Extended Layer Files", "GX Layers (*.ELF)|*.ELF|", suggested);
    if (file.empty())
        return 1;
    if (file.size() < 5 || strcasecmp(file.c_str() + file.size() - 4, ".elf") != 0)
        file += ".elf";  // as typed in the chooser, without the extension
    if (elf_save(file.c_str(), master, 1) != 0) {
        message_show(msg::ProblemWriting, file.c_str());
        return 1;
    }
    if (settings().pref(PREF_SAVE_AS_RENAME)) {
        std::string base = file.substr(file.find_last_of('/') + 1);
        size_t ext = base.rfind('.');
        std::string stem = ext == std::string::npos ? base : base.substr(0, ext);
        std::snprintf(master->name, sizeof master->name, "%s.%s", stem.c_str(), "elf");
    }
    std::snprintf(master->path, sizeof master->path, "%s", file.c_str());
    master->changes = 0;
    ui::platform().redraw(master, nullptr);
    return 0;
}

bool elf_probe(const char* name)
{
    FILE* f = std::fopen(name, "rb");
    if (!f)
        return false;
    uint8_t head[kElfHeaderSize];
    bool ok = std::fread(head, 1, sizeof head, f) == sizeof head;
    std::fclose(f);
    if (!ok)
        return false;
    Header h;
    unpack_header(head, h);
    return h.magic == kElfMagic && h.version <= 3 && h.width >= 1 && h.height >= 1;
}

int elf_info(const char* name, ImageInfo* out)
{
    FILE* f = std::fopen(name, "rb");
    if (!f) {
        message_show(msg::CannotOpenImage, name);
        return 1;
    }
    uint8_t head[kElfHeaderSize];
    const bool whole = std::fread(head, 1, sizeof head, f) == sizeof head;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    if (!whole) {
        message_show(msg::NoFileHeader, name);
        return 1;
    }
    Header h;
    unpack_header(head, h);
    if (h.magic != kElfMagic || h.version > 3) {
        message_show(msg::FileTypeMismatch, name);
        return 1;
    }
    if (!size_allowed(h.width, h.height) || !codec_size_plausible(h.width, h.height, static_cast<double>(size), kElfPixelsPerByte)) {
        codec_refuse_declared_size("Layered", name, h.width, h.height, static_cast<double>(size));
        return 1;
    }
    out->width = h.width;
    out->height = h.height;
    out->bits = 32;
    out->alpha = true;
    out->hres = h.hres_den ? static_cast<double>(h.hres_num) / h.hres_den : 0;
    out->vres = h.vres_den ? static_cast<double>(h.vres_num) / h.vres_den : 0;
    return 0;
}

Image* elf_load(const char* name)
{
    FILE* f = open_for_reading(name);
    if (!f) {
        message_show_file(msg::CannotOpenImage, name);
        return nullptr;
    }
    std::vector<char> buffer(1 << 16);
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    std::rewind(f);
    Reader in{f, size < 0 ? 0 : size};

    uint8_t head[kElfHeaderSize];
    if (!in.read(head, sizeof head)) {
        std::fclose(f);
        message_show(msg::NoFileHeader, name);
        return nullptr;
    }
    Header h;
    unpack_header(head, h);
    if (h.magic != kElfMagic || h.version > 3) {
        std::fclose(f);
        message_show(msg::FileTypeMismatch, name);
        return nullptr;
    }
    if (!size_allowed(h.width, h.height)) {
        std::fclose(f);
        char text[200];
        std::snprintf(text, sizeof text, "The layered image of %u by %u pixels is %s.", h.width, h.height,
                      h.width == 0 || h.height == 0 ? "empty" : "too large to open");
        error_box(text, name);
        return nullptr;
    }
    // The master's pixels come from its layers, so the file holds no data
    // for it: a header far beyond its file is refused all the same.
    if (!codec_size_plausible(h.width, h.height, static_cast<double>(in.size), kElfPixelsPerByte)) {
        std::fclose(f);
        codec_refuse_declared_size("Layered", name, h.width, h.height, static_cast<double>(in.size));
        return nullptr;
    }
    Image* master = image_new(h.width, h.height, "Elf");
    if (!master) {
        std::fclose(f);
        message_show(msg::NoMemoryNewImage, name);
        return nullptr;
    }
    std::snprintf(master->name, sizeof master->name, "%s", h.name);
    const size_t note_length = strnlen(h.annotation, sizeof h.annotation - 1);
    if (std::strcmp(h.annotation, "Unknown") != 0 && note_length > 0 &&
        image_annotation_alloc(master, static_cast<long>(note_length) + 1) == 0) {
        std::memcpy(master->annotation, h.annotation, note_length);
        master->annotation[note_length] = '\0';
    }
    std::snprintf(master->author, sizeof master->author, "%.99s", h.author);
    std::snprintf(master->copyright, sizeof master->copyright, "%.99s", h.copyright);
    master->hres_num = h.hres_num, master->hres_den = h.hres_den;
    master->vres_num = h.vres_num, master->vres_den = h.vres_den;
    master->layer_number = static_cast<int16_t>(h.layer_number & 0xFFFF);
    master->is_layer = 0;
    master->alpha = 1;
    master->bits = 32;
    master->changes = 0;
    std::snprintf(master->path, sizeof master->path, "%s", name);
    {
        ImageLock lock(master);
        if (!lock) {
            lock.release();
            image_free(master);
            std::fclose(f);
            message_show(msg::NoRealMemoryImage, name);
            return nullptr;
        }
        const uint8_t blank[4] = {255, 255, 255, 0};
        for (size_t i = 0; i < static_cast<size_t>(master->width) * static_cast<size_t>(master->height); ++i)
            std::memcpy(master->pixels + 4 * i, blank, 4);
    }
    if (layer_start_stack(master) != 0) {
        image_free(master);
        std::fclose(f);
        return nullptr;
    }
    master->has_layers = 0;

    progress_open("Loading ELF", in.size);
    bool whole = true;  // every layer read
    bool cancelled = false;
    bool more = in.pos < in.size;  // a file of the header alone holds no layers
    int index = 0;
    while (more) {
        ++index;
        uint8_t rec[kElfRecordSize];
        Record r;
        if (!in.read(rec, sizeof rec)) {
            progress_close();
            std::fclose(f);
            layers_close(master);
            message_show(msg::FileTruncated, name);
            return nullptr;
        }
        unpack_record(rec, r);
        if (const char* fault = record_fault(r)) {
            progress_close();
            std::fclose(f);
            layers_close(master);
            layer_fault(name, index, fault);
            return nullptr;
        }
        ListNode* node = list_add_tail(master->layer_list);
        if (!node) {
            progress_close();
            std::fclose(f);
            layers_close(master);
            message_show(msg::NoMemoryOperation, name);
            return nullptr;
        }
        const char* failure = nullptr;
        Image* layer = nullptr;
        if (!size_allowed(r.width, r.height)) {
            failure = "it is too large to open";
        } else if (least_bytes(static_cast<int>(r.coding), r.width, r.height) > static_cast<uint64_t>(in.size - in.pos)) {
            failure = "the file ends before its pixels do";
        } else if (!(layer = image_new(r.width, r.height, "layer"))) {
            failure = "there is not enough memory for it";
        }
        if (layer) {
            node->element = layer;
            layer->is_layer = 1;
            layer->alpha = 1;
            layer->bits = 32;
            layer->owner = master;
            std::snprintf(layer->name, sizeof layer->name, "%s", r.name);
            layer->layer_x = r.x;
            layer->layer_y = r.y;
            layer->layer_number = static_cast<int16_t>(r.layer_number & 0xFFFF);
            layer->layer_mode = static_cast<int32_t>(r.mode);
            layer->layer_flags = r.flags;
            if (layer->layer_mode == MODE_WARP)
                layer->layer_flags |= LAYER_WARP;
            layer->layer_opacity = static_cast<int32_t>(r.opacity_factor & 0xFFFF);
            layer->layer_factor = static_cast<int32_t>(r.opacity_factor >> 16);
            layer->hres_num = master->hres_num, layer->hres_den = master->hres_den;
            layer->vres_num = master->vres_num, layer->vres_den = master->vres_den;
            ImageLock lock(layer);
            if (!lock)
                failure = "it cannot be locked";
            else if (!read_pixels(in, layer, static_cast<int>(r.coding)))
                failure = (cancelled = progress_cancel_requested()) ? "" : "its pixels are damaged or cut short";
        }
        if (failure) {
            // The layers read so far stay; the stack is not valid.
            list_remove(node);
            if (layer) {
                layer->is_layer = 0;
                layer->owner = nullptr;
                image_free(layer);
            }
            if (*failure) {
                char text[200];
                std::snprintf(text, sizeof text, "%s; the layers before it are kept, but not composited", failure);
                layer_fault(name, index, text);
            }
            whole = false;
            break;
        }
        more = r.follows != 0;
        if (progress_update(in.pos)) {
            cancelled = true;
            break;
        }
    }
    progress_close();
    std::fclose(f);
    if (cancelled) {  // the user stopped it: nothing comes back
        layers_close(master);
        return nullptr;
    }
    if (!whole)
        return master;
    master->has_layers = 1;
    composite_layers(master);
    master->changes = 0;
    return master;
}
