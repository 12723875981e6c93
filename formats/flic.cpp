// Autodesk FLI/FLC: the chunk decoders, the frame reader with its kept
// state, and the frame-by-frame writer with its byte-run and word-delta
// packers.
#include "formats/flic.h"

#include "core/app.h"
#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "formats/indexed.h"
#include "formats/load_save.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFrameType = 0xF1FA;
constexpr long kHeaderSize = 128;
constexpr long kPaletteChunk = 778;  // 6 + 2 + 2 + 768

enum ChunkType : int {
    COLOR_256 = 4,
    DELTA_FLC = 7,  // word delta, "SS2"
    COLOR_64 = 11,
    DELTA_FLI = 12,  // byte delta, "LC"
    BLACK = 13,
    BYTE_RUN = 15,
    FLI_COPY = 16,
    PSTAMP = 18,
};

// Reads `count` bytes at `offset`; false when they are not all there.
bool read_at(FILE* f, long offset, uint8_t* out, size_t count)
{
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(out, 1, count, f) == count;
}

// The decoders read through this: every read is checked against the end.
struct Cursor {
    const uint8_t* p;
    const uint8_t* end;
    bool has(long n) const { return end - p >= n; }
    int byte() { return *p++; }
    int word()
    {
        int v = get_le16(p);
        p += 2;
        return v;
    }
};

void decode_palette(Cursor c, uint8_t* palette, int shift)
{
    if (!c.has(2))
        return;
    int packets = c.word();
    int index = 0;
    for (int i = 0; i < packets && c.has(2); ++i) {
        index += c.byte();
        int count = c.byte();
        if (count == 0)
            count = 256;
        for (int k = 0; k < count && index < 256 && c.has(3); ++k, ++index)
            for (int ch = 0; ch < 3; ++ch)
                palette[3 * index + ch] = static_cast<uint8_t>(c.byte() << shift);
    }
}

void decode_brun(Cursor c, uint8_t* frame, long width, long height)
{
    for (long y = 0; y < height && c.has(1); ++y) {
        uint8_t* row = frame + y * width;
        c.byte();  // the packet count: widths above 255 outgrow it, so the width rules
        long x = 0;
        while (x < width && c.has(1)) {
            int count = static_cast<int8_t>(c.byte());
            if (count < 0) {
                for (int k = 0; k < -count && c.has(1); ++k, ++x) {
                    int v = c.byte();
                    if (x < width)
                        row[x] = static_cast<uint8_t>(v);
                }
            } else if (c.has(1)) {
                int v = c.byte();
                for (int k = 0; k < count; ++k, ++x)
                    if (x < width)
                        row[x] = static_cast<uint8_t>(v);
            }
        }
    }
}

bool decode_lc(Cursor c, uint8_t* frame, long width, long height)
{
    if (!c.has(4))
        return true;
    long first = c.word();
    long lines = c.word();
    if (first > height || first + lines > height) {
        log_printf("Illegal start or end line in FLI_LC chunk\n");
        log_printf("Start = %4ld  End = %4ld  Max = %4d\n", first, first + lines, static_cast<int>(height));
        return false;
    }
    for (long y = first; y < first + lines && c.has(1); ++y) {
        uint8_t* row = frame + y * width;
        int packets = c.byte();
        long x = 0;
        for (int i = 0; i < packets && c.has(2); ++i) {
            x += c.byte();
            int count = static_cast<int8_t>(c.byte());
            long n = count < 0 ? -count : count;
            if (x + n > width) {
                log_printf("Expansion beyond image width in FLI_LC chunk\n");
                return false;
            }
            if (count >= 0) {
                if (!c.has(n))
                    return true;
                std::memcpy(row + x, c.p, static_cast<size_t>(n));
                c.p += n;
            } else {
                if (!c.has(1))
                    return true;
                std::memset(row + x, c.byte(), static_cast<size_t>(n));
            }
            x += n;
        }
    }
    return true;
}

// Stores the bytes of `n` words at x of a row, up to the width.  False when
// the words reach more than a byte past the width (the last byte of an odd
// width comes in a word of its own).
bool put_words(uint8_t* row, long x, long width, const uint8_t* bytes, long n, bool repeat)
{
    for (long k = 0; k < 2 * n; ++k, ++x)
        if (x >= 0 && x < width)
            row[x] = bytes[repeat ? k & 1 : k];
    return x <= width + 1;
}

void decode_ss2(Cursor c, uint8_t* frame, long width, long height)
{
    if (!c.has(2))
        return;
    long lines = c.word();
    long total = lines;
    long y = 0;
    while (lines > 0 && c.has(2)) {
        int word = c.word();
        if ((word & 0xC000) == 0xC000) {
            y += 0x10000 - word;
            continue;
        }
        if ((word & 0xC000) == 0x8000) {
            if (y < height)
                frame[y * width + width - 1] = static_cast<uint8_t>(word & 0xFF);
            continue;
        }
        if ((word & 0xC000) == 0x4000) {
            log_printf("Unknown packet type in FLI_SS2 chunk\n");
            break;
        }
        if (y >= height) {
            log_printf("FLC over-run 1\n");
            break;
        }
        uint8_t* row = frame + y * width;
        long x = 0;
        bool overrun = false;
        for (int i = 0; i < word && c.has(2) && !overrun; ++i) {
            x += c.byte();
            int count = static_cast<int8_t>(c.byte());
            if (count >= 0) {
                if (!c.has(2L * count))
                    break;
                overrun = !put_words(row, x, width, c.p, count, false);
                c.p += 2 * count;
                x += 2L * count;
            } else {
                if (!c.has(2))
                    break;
                overrun = !put_words(row, x, width, c.p, -count, true);
                c.p += 2;
                x += -2L * count;
            }
        }
        if (overrun) {
            log_printf("FLC over-run 2\n");
            break;
        }
        lines -= 1;
        y += 1;
    }
    log_printf("FLIC WordDelta HDR end. At %ld of %ld\n", total - lines, total);
}

enum FrameResult { FRAME_OK, FRAME_FAILED, FRAME_UNREADABLE };

// The frame at `offset`: a frame chunk (prefix chunks before it skipped)
// whose sub-chunks are decoded.  `next` receives where the following frame
// starts.
FrameResult decode_frame(FILE* f, long file_size, long offset, FlicState& st, long* next)
{
    long at = offset;
    uint8_t h[16];
    long size = 0, chunks = 0;
    for (;;) {
        if (at > file_size - 16 || !read_at(f, at, h, sizeof h)) {
            log_printf("FLC read failure FRM chunk\n");
            return FRAME_UNREADABLE;
        }
        size = get_le32(h);
        int type = get_le16(h + 4);
        chunks = get_le16(h + 6);
        log_printf("FRM Size = %6ld Magic = %04lX NChunks = %4ld\n", size, static_cast<unsigned long>(type), chunks);
        if (size < 16) {
            log_printf("FLC read failure FRM chunk\n");
            return FRAME_UNREADABLE;
        }
        // A chunk that runs past the file is cut at its end.
        size = std::min(size, file_size - at);
        if (type != kFrameType && chunks > 0) {  // a prefix chunk
            at += size;
            continue;
        }
        break;
    }
    *next = at + size;
    long body = size - 16;
    if (body == 0 || chunks == 0)
        return FRAME_OK;
    auto* data = static_cast<uint8_t*>(mem_alloc(body, "dptr"));
    if (!data) {
        log_printf("FLC read failure FRM chunk\n");
        return FRAME_FAILED;
    }
    bool ok = read_at(f, at + 16, data, static_cast<size_t>(body));
    long q = 0;
    for (long i = 0; ok && i < chunks; ++i) {
        if (body - q < 6) {
            log_printf("FLC read failure Chunk ID\n");
            ok = false;
            break;
        }
        long csize = get_le32(data + q);
        int type = get_le16(data + q + 4);
        log_printf("Chunk ID %06lX Size %ld\n", static_cast<unsigned long>(type), csize);
        if (csize < 6) {
            log_printf("FLC read failure Chunk ID\n");
            ok = false;
            break;
        }
        csize = std::min(csize, body - q);
        ok = flic_decode_chunk(type, data + q + 6, csize - 6, st.frame, st.width, st.height, st.palette);
        q += csize;
    }
    data = static_cast<uint8_t*>(mem_free(data));
    return ok ? FRAME_OK : FRAME_FAILED;
}

// ---- the kept state ---------------------------------------------------------

FlicState*& kept()
{
    return formats_state().flic_kept;
}

bool same_file(const FlicState& st, const struct stat& s)
{
    return st.device == static_cast<unsigned long>(s.st_dev) && st.inode == static_cast<unsigned long>(s.st_ino) &&
           st.size == static_cast<long>(s.st_size) &&
           st.mtime == static_cast<long long>(s.st_mtim.tv_sec) * 1000000000LL + s.st_mtim.tv_nsec;
}

void stamp(FlicState& st, const struct stat& s)
{
    st.device = static_cast<unsigned long>(s.st_dev);
    st.inode = static_cast<unsigned long>(s.st_ino);
    st.size = static_cast<long>(s.st_size);
    st.mtime = static_cast<long long>(s.st_mtim.tv_sec) * 1000000000LL + s.st_mtim.tv_nsec;
}

// Moves the buffers of `from` into `to` (which gives up its own).
void take(FlicState& to, FlicState& from)
{
    to.release();
    to.width = from.width;
    to.height = from.height;
    to.at = from.at;
    to.next = from.next;
    to.second = from.second;
    to.frame = from.frame;
    to.first = from.first;
    std::memcpy(to.palette, from.palette, sizeof to.palette);
    std::memcpy(to.first_palette, from.first_palette, sizeof to.first_palette);
    to.device = from.device;
    to.inode = from.inode;
    to.size = from.size;
    to.mtime = from.mtime;
    from.frame = from.first = nullptr;
    from.at = -1;
}

// Keeps `st` as the state of its file, in place of what was kept.
void keep(FlicState& st)
{
    if (!st.frame || st.at < 0)
        return;
    if (!kept()) {
        kept() = new FlicState;
    }
    take(*kept(), st);
}

struct Registrar {
    Registrar() { app_add_subsystem("flic", nullptr, flic_forget); }
} g_registrar;

} // namespace

void flic_forget()
{
    delete kept();
    kept() = nullptr;
}

void FlicState::release()
{
    if (frame)
        frame = static_cast<uint8_t*>(mem_free(frame));
    if (first)
        first = static_cast<uint8_t*>(mem_free(first));
    at = -1;
}

bool FlicState::allocate(long w, long h)
{
    release();
    width = w;
    height = h;
    frame = static_cast<uint8_t*>(mem_alloc(w * h, "area"));
    if (!frame)
        return false;
    std::memset(frame, 0, static_cast<size_t>(w * h));
    std::memset(palette, 0, sizeof palette);
    at = -1;
    next = kHeaderSize;
    second = 0;
    return true;
}

bool flic_decode_chunk(int type, const uint8_t* data, long size, uint8_t* frame, long width, long height,
                       uint8_t* palette)
{
    Cursor c{data, data + size};
    switch (type) {
    case COLOR_256:
        log_printf("FLIC chunk %06lX = 256 palette\n", static_cast<unsigned long>(type));
        decode_palette(c, palette, 0);
        return true;
    case DELTA_FLC:
        log_printf("FLIC chunk %06lX = word delta\n", static_cast<unsigned long>(type));
        decode_ss2(c, frame, width, height);
        return true;
    case COLOR_64:
        log_printf("FLIC chunk %06lX =  64 palette\n", static_cast<unsigned long>(type));
        decode_palette(c, palette, 2);
        return true;
    case DELTA_FLI:
        log_printf("FLIC chunk %06lX = byte delta\n", static_cast<unsigned long>(type));
        return decode_lc(c, frame, width, height);
    case BLACK:
        log_printf("FLIC chunk %06lX = clear screen\n", static_cast<unsigned long>(type));
        std::memset(frame, 0, static_cast<size_t>(width * height));
        return true;
    case BYTE_RUN:
        log_printf("FLIC chunk %06lX = byte RLL\n", static_cast<unsigned long>(type));
        decode_brun(c, frame, width, height);
        return true;
    case FLI_COPY: {
        long n = std::min(size, width * height);
        log_printf("FLIC chunk %06lX = raw frame Size = %ld\n", static_cast<unsigned long>(type), n);
        std::memcpy(frame, data, static_cast<size_t>(n));
        return true;
    }
    case PSTAMP:
        log_printf("FLIC chunk %06lX = postage stamp\n", static_cast<unsigned long>(type));
        return true;
    default:
        log_printf("Skipping unknown chunk type %06lX\n", static_cast<unsigned long>(type));
        return true;
    }
}

int flic_read_header(FILE* f, FlicHeader* hd)
{
    uint8_t h[kHeaderSize];
    if (!read_at(f, 0, h, sizeof h))
        return 1;
    hd->size = get_le32(h);
    hd->magic = get_le16(h + 4);
    hd->frames = get_le16(h + 6);
    hd->width = get_le16(h + 8);
    hd->height = get_le16(h + 10);
    hd->depth = get_le16(h + 12);
    hd->flags = get_le16(h + 14);
    hd->speed = static_cast<long>(get_le32(h + 16));
    hd->frame1 = static_cast<long>(get_le32(h + 80));
    hd->frame2 = static_cast<long>(get_le32(h + 84));
    if (hd->magic != 0xAF11 && hd->magic != 0xAF12)
        return 2;
    char reserved2[39] = {}, reserved3[41] = {};
    std::memcpy(reserved2, h + 42, 38);
    std::memcpy(reserved3, h + 88, 40);
    log_printf("FLISize    = %ld    \n", hd->size);
    log_printf("Magic      = %04X   \n", hd->magic);
    log_printf("NFrames    = %4d    \n", static_cast<int>(hd->frames));
    log_printf("Width      = %4d    \n", hd->width);
    log_printf("Height     = %4d    \n", hd->height);
    log_printf("BitPlanes  = %4d    \n", hd->depth);
    log_printf("Flags      = %04X   \n", hd->flags);
    log_printf("Jiffies    = %4ld   \n", hd->speed);
    log_printf("Reserved1  = %d     \n", get_le16(h + 20));
    log_printf("CreateDate = %ld    \n", static_cast<long>(get_le32(h + 22)));
    log_printf("CreateNum  = %ld    \n", static_cast<long>(get_le32(h + 26)));
    log_printf("ModDate    = %ld    \n", static_cast<long>(get_le32(h + 30)));
    log_printf("ModNum     = %ld    \n", static_cast<long>(get_le32(h + 34)));
    log_printf("XAspect    = %4d    \n", get_le16(h + 38));
    log_printf("YAspect    = %4d    \n", get_le16(h + 40));
    log_printf("Reserved2  = \"%s\" \n", reserved2);
    log_printf("Frame1Offs = %8ld   \n", hd->frame1);
    log_printf("Frame2Offs = %8ld   \n", hd->frame2);
    log_printf("Reserved3  = \"%s\" \n", reserved3);
    return 0;
}

// ---- reading ------------------------------------------------------------------

FlicFrames::~FlicFrames()
{
    if (!failed_)
        keep(st_);
    if (file_ && own_file_)
        std::fclose(file_);
}

void FlicFrames::discard()
{
    st_.release();
    failed_ = true;
}

int FlicFrames::open(const char* name, FILE* stream)
{
    name_ = name;
    file_ = stream ? stream : std::fopen(name, "rb");
    own_file_ = !stream;
    if (!file_) {
        message_show(msg::CannotOpenImage, name);
        return 1;
    }
    int rc = flic_read_header(file_, &header_);
    if (rc == 1) {
        message_show(msg::NoFileHeader, name);
        return 1;
    }
    if (rc == 2) {
        std::string text = std::string("File is not recognized as a .FLI or .FLC image.\n") + name;
        note(text.c_str());
        return 1;
    }
    if (header_.width < 1 || header_.height < 1) {
        std::string text = std::string("The FLIC file has no pixels (width or height 0).\n") + name;
        note(text.c_str());
        return 1;
    }
    struct stat s {};
    std::fseek(file_, 0, SEEK_END);
    file_size_ = std::ftell(file_);
    // A byte run packs at most 127 pixels in two bytes; far beyond that the
    // header is not to be believed (an all-black frame of a huge picture is
    // given up with it).
    const double data = static_cast<double>(file_size_ - kHeaderSize);
    if (!codec_size_plausible(header_.width, header_.height, data, 1024)) {
        codec_refuse_declared_size("FLIC", name, header_.width, header_.height, data);
        return 1;
    }
    if (fileno(file_) >= 0 && fstat(fileno(file_), &s) == 0) {
        // The state kept from an earlier read of the same file.
        FlicState* k = kept();
        if (k && same_file(*k, s) && k->width == header_.width && k->height == header_.height)
            take(st_, *k);
        stamp(st_, s);
    }
    return 0;
}

bool FlicFrames::start()
{
    // The index frame and the image it becomes must fit the memory a reader may ask for.
    double bytes = 5.0 * header_.width * header_.height;
    if (bytes > static_cast<double>(formats_state().max_image_bytes) ||
        !st_.allocate(header_.width, header_.height)) {
        message_show(msg::NoMemoryOperation, name_);
        return false;
    }
    return true;
}

long FlicFrames::seek(long index)
{
    index = std::max(0L, std::min(index, header_.frames - 1));
    failed_ = false;
    if (!st_.frame || st_.at > index) {
        if (!start())
            return -1;
    }
    while (st_.at < index) {
        long n = st_.at + 1;
        log_printf("At FLC frame %ld\n", n + 1);
        long next = st_.next;
        FrameResult result = decode_frame(file_, file_size_, st_.next, st_, &next);
        bool ok = result == FRAME_OK;
        if (n == 0 && result == FRAME_UNREADABLE)
            empty_ = true;
        st_.at = n;
        st_.next = next;
        if (n == 0) {
            st_.second = next;
            if (!st_.first)
                st_.first = static_cast<uint8_t*>(mem_alloc(st_.width * st_.height, "ring"));
            if (st_.first) {
                std::memcpy(st_.first, st_.frame, static_cast<size_t>(st_.width * st_.height));
                std::memcpy(st_.first_palette, st_.palette, sizeof st_.palette);
            }
        }
        if (!ok) {
            log_printf("Problem at FLC frame %ld\n", n + 1);
            failed_ = true;
            break;
        }
    }
    return st_.at;
}

Image* FlicFrames::image()
{
    Image* image = codec_new_image(st_.width, st_.height, "iflc");
    if (!image) {
        message_show(msg::NoMemoryNewImage, name_);
        return nullptr;
    }
    ImageLock lock(image, msg::NoMemoryOperation, name_);
    if (!lock) {
        lock.release();
        image_free(image);
        return nullptr;
    }
    std::snprintf(image->type_name, sizeof image->type_name, "FLI/FLC");
    image->bits = static_cast<uint16_t>(header_.depth ? header_.depth : 8);
    progress_open("Converting FLIC", st_.height);
    for (long y = 0; y < st_.height; ++y) {
        const uint8_t* s = st_.frame + y * st_.width;
        uint8_t* d = image->row(static_cast<int>(y));
        for (long x = 0; x < st_.width; ++x, d += 4) {
            const uint8_t* rgb = st_.palette + 3 * s[x];
            d[0] = rgb[0];
            d[1] = rgb[1];
            d[2] = rgb[2];
            d[3] = 255;
        }
        if (y % 4 == 0)
            progress_update(y);
    }
    progress_close();
    for (int i = 0; i < 256; ++i) {
        image->palette_red[i] = st_.palette[3 * i];
        image->palette_green[i] = st_.palette[3 * i + 1];
        image->palette_blue[i] = st_.palette[3 * i + 2];
    }
    return image;
}

Image* ReadFlic(const LoadRequest& request)
{
    log_printf("Reading \"%s\" as a .FLI/.FLC image.\n", request.name);
    FlicFrames flic;
    if (flic.open(request.name, request.stream) != 0)
        return nullptr;
    const FlicHeader& h = flic.header();
    FormatsState& fs = formats_state();
    long index = fs.read_frame > 0 ? fs.read_frame - 1 : 0;
    if (fs.read_frame <= 0 && fs.choose_frame) {
        double seconds = h.speed > 0 ? h.speed / 70.0 : 1.0 / 30.0;
        index = fs.choose_frame(std::max(h.frames, 1L), seconds);
        if (index < 0)
            return nullptr;
    }
    index = std::max(0L, std::min(index, h.frames - 1));
    progress_open("Loading AutoDesk FLIC", index + 1);
    long at = flic.seek(index);
    progress_close();
    if (at < 0)
        return nullptr;
    if (flic.empty()) {
        message_show(msg::FileTruncated, request.name);
        return nullptr;
    }
    Image* image = flic.image();
    if (image) {
        image->frame_number = static_cast<int32_t>(index + 1);
        image->frame_count = static_cast<int32_t>(std::max(h.frames, 1L));
    }
    return image;
}

int flic_info(const LoadRequest& request, ImageInfo* info)
{
    FlicHeader h{};
    int rc = flic_read_header(request.stream, &h);
    if (rc == 1) {
        message_show(msg::NoFileHeader, request.name);
        return 1;
    }
    if (rc == 2) {
        std::string text = std::string("File is not recognized as a .FLI or .FLC image.\n") + request.name;
        note(text.c_str());
        return 1;
    }
    info->width = h.width;
    info->height = h.height;
    info->bits = h.depth ? h.depth : 8;
    info->alpha = false;
    info->frames = h.frames;
    return 0;
}

// ---- the packers --------------------------------------------------------------

long flic_brun_bound(long width, long height)
{
    return height * (2 * width + 2) + 16;
}

long flic_pack_brun(const uint8_t* frame, long width, long height, uint8_t* out)
{
    uint8_t* o = out;
    for (long y = 0; y < height; ++y) {
        const uint8_t* a = frame + y * width;
        uint8_t* count = o++;
        long packets = 0;
        long x = 0;
        while (x < width) {
            long run = 1;
            while (x + run < width && run < 127 && a[x + run] == a[x])
                ++run;
            if (run >= 2) {
                *o++ = static_cast<uint8_t>(run);
                *o++ = a[x];
                x += run;
            } else {
                // Literal bytes up to the next pair of equal bytes.
                long n = 1;
                while (x + n < width && n < 126 && !(x + n + 1 < width && a[x + n] == a[x + n + 1]))
                    ++n;
                *o++ = static_cast<uint8_t>(256 - n);
                std::memcpy(o, a + x, static_cast<size_t>(n));
                o += n;
                x += n;
            }
            ++packets;
        }
        *count = static_cast<uint8_t>(std::min(packets, 255L));
    }
    return o - out;
}

long flic_delta_bound(long width, long height)
{
    return height * (3 * width + 16) + 16;
}

namespace {

inline bool same_word(const uint8_t* a, const uint8_t* b, long w)
{
    return a[2 * w] == b[2 * w] && a[2 * w + 1] == b[2 * w + 1];
}

// The packets of one changed line; returns the packet count, or -1 when
// the line needs more packets than a count word holds.
long delta_line(const uint8_t* a, const uint8_t* b, long words, uint8_t*& o)
{
    long packets = 0;
    long x = 0, pos = 0;  // word index; where the last packet ended
    for (;;) {
        while (x < words && same_word(a, b, x))
            ++x;
        if (x >= words)
            break;
        long gap = 2 * (x - pos);
        while (gap > 255) {
            // A packet that only skips.
            *o++ = 254;
            *o++ = 0;
            gap -= 254;
            ++packets;
        }
        long run = 1;
        while (x + run < words && run < 128 && same_word(a, a + 2 * run, x))
            ++run;
        *o++ = static_cast<uint8_t>(gap);
        if (run >= 2) {
            *o++ = static_cast<uint8_t>(256 - run);
            *o++ = a[2 * x];
            *o++ = a[2 * x + 1];
            x += run;
        } else {
            // Literal words until a repeat of three or two unchanged words.
            long n = 1;
            while (x + n < words && n < 127) {
                long at = x + n;
                if (at + 2 < words && same_word(a, a + 2, at) && same_word(a, a + 4, at))
                    break;
                if (at + 1 < words && same_word(a, b, at) && same_word(a, b, at + 1))
                    break;
                ++n;
            }
            *o++ = static_cast<uint8_t>(n);
            std::memcpy(o, a + 2 * x, static_cast<size_t>(2 * n));
            o += 2 * n;
            x += n;
        }
        pos = x;
        ++packets;
    }
    return packets;
}

} // namespace

long flic_pack_delta(const uint8_t* frame, const uint8_t* last, long width, long height, uint8_t* out)
{
    uint8_t* o = out + 2;
    long lines = 0, skip = 0;
    const long words = width / 2;
    const bool odd = width & 1;
    for (long y = 0; y < height; ++y) {
        const uint8_t* a = frame + y * width;
        const uint8_t* b = last + y * width;
        if (std::memcmp(a, b, static_cast<size_t>(width)) == 0) {
            ++skip;
            continue;
        }
        while (skip > 0) {
            long n = std::min(skip, 16384L);
            put_le16(o, static_cast<uint16_t>(0x10000 - n));
            o += 2;
            skip -= n;
        }
        if (odd && a[width - 1] != b[width - 1]) {
            put_le16(o, static_cast<uint16_t>(0x8000 | a[width - 1]));
            o += 2;
        }
        uint8_t* count = o;
        o += 2;
        uint8_t* start = o;
        long packets = delta_line(a, b, words, o);
        if (packets > 0x3FFF) {
            // Too many small packets for the count word: the whole line as literals.
            o = start;
            packets = 0;
            for (long x = 0; x < words; x += 127, ++packets) {
                long n = std::min(127L, words - x);
                *o++ = 0;
                *o++ = static_cast<uint8_t>(n);
                std::memcpy(o, a + 2 * x, static_cast<size_t>(2 * n));
                o += 2 * n;
            }
        }
        put_le16(count, static_cast<uint16_t>(packets));
        ++lines;
    }
    put_le16(out, static_cast<uint16_t>(lines));
    return o - out;
}

// ---- writing ------------------------------------------------------------------

namespace {

struct Closer {
    FILE* f = nullptr;
    ~Closer()
    {
        if (f)
            std::fclose(f);
    }
};

// A labelled block freed on every way out.
struct Block {
    uint8_t* p = nullptr;
    Block(long size, const char* label) : p(static_cast<uint8_t*>(mem_alloc(std::max(size, 1L), label))) {}
    ~Block()
    {
        if (p)
            p = static_cast<uint8_t*>(mem_free(p));
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
};

// The image as width x height palette indices and its palette.
bool reduce_frame(Image* image, uint8_t* indices, uint8_t* palette)
{
    uint8_t red[256] = {}, green[256] = {}, blue[256] = {};
    ReduceInfo info;
    uint8_t* data = reduce_for_file(image, 8, red, green, blue, &info);
    if (!data)
        return false;
    const long w = image->width, h = image->height;
    for (long y = 0; y < h; ++y)
        std::memcpy(indices + y * w, data + y * info.stride, static_cast<size_t>(w));
    data = static_cast<uint8_t*>(mem_free(data));
    for (int i = 0; i < 256; ++i) {
        palette[3 * i] = red[i];
        palette[3 * i + 1] = green[i];
        palette[3 * i + 2] = blue[i];
    }
    return true;
}

void palette_chunk(uint8_t* out, const uint8_t* palette)
{
    put_le32(out, kPaletteChunk);
    put_le16(out + 4, COLOR_256);
    put_le16(out + 6, 1);  // one packet:
    out[8] = 0;            // skip 0,
    out[9] = 0;            // 256 colours
    std::memcpy(out + 10, palette, 768);
}

void frame_header(uint8_t* out, long size, int chunks)
{
    std::memset(out, 0, 16);
    put_le32(out, static_cast<uint32_t>(size));
    put_le16(out + 4, kFrameType);
    put_le16(out + 6, static_cast<uint16_t>(chunks));
}

bool put(FILE* f, const void* data, long size)
{
    return std::fwrite(data, 1, static_cast<size_t>(size), f) == static_cast<size_t>(size);
}

// Writes one frame: palette sub-chunk (when given) and pixel sub-chunk.
bool put_frame(FILE* f, const uint8_t* palette, int type, const uint8_t* data, long size)
{
    uint8_t h[16], pal[kPaletteChunk], sub[6];
    long total = 16 + 6 + size + (palette ? kPaletteChunk : 0);
    frame_header(h, total, palette ? 2 : 1);
    put_le32(sub, static_cast<uint32_t>(size + 6));
    put_le16(sub + 4, static_cast<uint16_t>(type));
    if (palette)
        palette_chunk(pal, palette);
    return put(f, h, 16) && (!palette || put(f, pal, kPaletteChunk)) && put(f, sub, 6) && put(f, data, size);
}

// Other readers (ffmpeg) take raw frames only with rows padded to four
// bytes, which the format does not have: frames of other widths are
// written run-length coded instead.
bool raw_readable(long width)
{
    return width % 4 == 0;
}

// The word delta of `frame` against `last`, or the raw frame when that is
// not smaller (the byte run when a raw frame would not do).  Returns the
// sub-chunk type; `data` and `size` what to write.
int delta_or_raw(const uint8_t* frame, const uint8_t* last, long w, long h, uint8_t* buffer, const uint8_t** data,
                 long* size)
{
    long n = buffer ? flic_pack_delta(frame, last, w, h, buffer) : w * h;
    if (n < w * h) {
        *data = buffer;
        *size = n;
        return DELTA_FLC;
    }
    if (buffer && !raw_readable(w)) {
        // The delta buffer holds a byte run of any frame.
        *data = buffer;
        *size = flic_pack_brun(frame, w, h, buffer);
        return BYTE_RUN;
    }
    *data = frame;
    *size = w * h;
    return FLI_COPY;
}

void put_header(uint8_t* h, long width, long height, long frames, long file_size, long frame1, long frame2)
{
    std::memset(h, 0, kHeaderSize);
    put_le32(h, static_cast<uint32_t>(file_size));
    put_le16(h + 4, 0xAF12);
    put_le16(h + 6, static_cast<uint16_t>(frames));
    put_le16(h + 8, static_cast<uint16_t>(width));
    put_le16(h + 10, static_cast<uint16_t>(height));
    put_le16(h + 12, 8);
    put_le32(h + 16, 7);
    put_le16(h + 38, 1);
    put_le16(h + 40, 1);
    put_le32(h + 80, static_cast<uint32_t>(frame1));
    put_le32(h + 84, static_cast<uint32_t>(frame2));
}

// Remembers the written file's state for the next frame.
void keep_written(FlicState& st, const char* name)
{
    struct stat s {};
    if (stat(name, &s) != 0)
        return;
    stamp(st, s);
    keep(st);
}

int write_new(Image* image, const char* name, const char* shown)
{
    const long w = image->width, h = image->height;
    FlicState st;
    if (!st.allocate(w, h)) {
        note("Not enough memory to write FLIC.");
        return 1;
    }
    if (!reduce_frame(image, st.frame, st.palette))
        return 1;
    Block rll(flic_brun_bound(w, h), "FLCrll");
    long packed = rll.p ? flic_pack_brun(st.frame, w, h, rll.p) : w * (h + 1);
    int type = packed < w * h || (rll.p && !raw_readable(w)) ? BYTE_RUN : FLI_COPY;
    const uint8_t* data = type == BYTE_RUN ? rll.p : st.frame;
    long size = type == BYTE_RUN ? packed : w * h;

    Closer out;
    out.f = std::fopen(name, "wb");
    if (!out.f) {
        message_show(msg::CannotCreateFlc, shown);
        return 1;
    }
    progress_open("Saving FLIC frame", 2 * h);
    struct MeterCloser {
        ~MeterCloser() { progress_close(); }
    } meter;
    progress_update(h);
    uint8_t hd[kHeaderSize];
    const long frame_size = size + 800;
    put_header(hd, w, h, 1, size + 928, kHeaderSize, kHeaderSize + frame_size);
    if (!put(out.f, hd, kHeaderSize)) {
        message_show(msg::CannotWriteHeader, shown);
        return 1;
    }
    uint8_t fh[16];
    frame_header(fh, frame_size, 2);
    if (!put(out.f, fh, 16)) {
        note("Could not write the FRMChunk.");
        return 1;
    }
    uint8_t pal[kPaletteChunk];
    palette_chunk(pal, st.palette);
    if (!put(out.f, pal, kPaletteChunk)) {
        message_show(msg::CannotWritePalette, shown);
        return 1;
    }
    uint8_t sub[6];
    put_le32(sub, static_cast<uint32_t>(size + 6));
    put_le16(sub + 4, static_cast<uint16_t>(type));
    if (!put(out.f, sub, 6) || !put(out.f, data, size)) {
        message_show(msg::CannotWriteFirstFrame, shown);
        return 1;
    }
    progress_update(2 * h);
    FILE* f = out.f;
    out.f = nullptr;
    if (std::fclose(f) != 0) {
        message_show(msg::CannotWriteFirstFrame, shown);
        return 1;
    }
    st.at = 0;
    st.next = kHeaderSize + frame_size;
    st.second = st.next;
    st.first = static_cast<uint8_t*>(mem_alloc(w * h, "ring"));
    if (st.first) {
        std::memcpy(st.first, st.frame, static_cast<size_t>(w * h));
        std::memcpy(st.first_palette, st.palette, sizeof st.palette);
        keep_written(st, name);
    }
    return 0;
}

// Copies the first `count` bytes of `from` to `to`.
bool copy_bytes(FILE* from, FILE* to, long count)
{
    if (std::fseek(from, 0, SEEK_SET) != 0)
        return false;
    static constexpr size_t kPiece = 1 << 16;
    uint8_t piece[kPiece];
    while (count > 0) {
        size_t n = static_cast<size_t>(std::min<long>(count, kPiece));
        if (std::fread(piece, 1, n, from) != n || std::fwrite(piece, 1, n, to) != n)
            return false;
        count -= static_cast<long>(n);
    }
    return true;
}

int append(Image* image, const char* name, long position, const char* existing, const char* shown)
{
    const long w = image->width, h = image->height;
    FlicFrames old;
    {
        // The reader's own messages speak of reading; here the file is updated.
        FILE* probe = std::fopen(existing, "rb");
        if (!probe) {
            note((std::string("Unable to update FLIC file.\n") + shown).c_str());
            return 1;
        }
        std::fclose(probe);
    }
    if (old.open(existing) != 0)
        return 1;
    const FlicHeader& hd = old.header();
    if (hd.width != w || hd.height != h || (hd.depth != 8 && hd.depth != 0)) {
        message_show(msg::DifferentSizedFrame, shown);
        return 1;
    }
    if (hd.frames >= 0xFFFF) {
        note((std::string("The FLIC file holds as many frames as it can.\n") + shown).c_str());
        return 1;
    }
    // A position past the frames the file holds adds to its end.
    position = std::min(position, std::max(hd.frames, 1L));
    long at = old.seek(position - 1);
    const FlicState& last = old.state();
    if (at != position - 1 || old.failed() || !last.first) {
        if (at >= 0)
            note((std::string("Problem positioning FLICK\n") + shown).c_str());
        return 1;
    }

    FlicState st;
    if (!st.allocate(w, h)) {
        note("Not enough memory to add to FLIC.");
        return 1;
    }
    if (!reduce_frame(image, st.frame, st.palette))
        return 1;
    Block delta(flic_delta_bound(w, h), "FLCDelt");
    Block ring(flic_delta_bound(w, h), "FLCpack");

    // Added in place, the old ring frame is overwritten; otherwise the
    // frames before it are copied into the new file.
    const bool in_place = std::strcmp(name, existing) == 0;
    Closer out, in;
    if (!in_place)
        in.f = std::fopen(existing, "rb");
    out.f = std::fopen(name, in_place ? "r+b" : "wb");
    if ((!in_place && !in.f) || !out.f) {
        note((std::string("Unable to update FLIC file.\n") + shown).c_str());
        return 1;
    }
    progress_open("Saving FLIC frame", 2 * h);
    struct MeterCloser {
        ~MeterCloser() { progress_close(); }
    } meter;
    const long start = last.next;
    if (in_place ? std::fseek(out.f, start, SEEK_SET) != 0 : !copy_bytes(in.f, out.f, start)) {
        note((std::string("Unable to update FLIC file.\n") + shown).c_str());
        return 1;
    }
    progress_update(h);
    // A palette sub-chunk goes with a frame whose palette differs from the one in force.
    const bool new_palette = std::memcmp(st.palette, last.palette, 768) != 0;
    const uint8_t* data = nullptr;
    long size = 0;
    int type = delta_or_raw(st.frame, last.frame, w, h, delta.p, &data, &size);
    const long frame_size = 22 + size + (new_palette ? kPaletteChunk : 0);
    if (!put_frame(out.f, new_palette ? st.palette : nullptr, type, data, size)) {
        note("Could not write the current frame.");
        return 1;
    }
    // The ring frame leads from the new frame back to frame 1.
    const bool ring_palette = std::memcmp(st.palette, last.first_palette, 768) != 0;
    type = delta_or_raw(last.first, st.frame, w, h, ring.p, &data, &size);
    if (!put_frame(out.f, ring_palette ? last.first_palette : nullptr, type, data, size)) {
        note("Could not write the last frame.");
        return 1;
    }
    const long end = std::ftell(out.f);
    // A shorter pair of frames than the ring frame they replace leaves no tail.
    if (in_place && (std::fflush(out.f) != 0 || ftruncate(fileno(out.f), end) != 0)) {
        note("Could not write the last frame.");
        return 1;
    }
    uint8_t patch[4];
    put_le16(patch, static_cast<uint16_t>(position + 1));
    bool ok = std::fseek(out.f, 6, SEEK_SET) == 0 && put(out.f, patch, 2);
    put_le32(patch, static_cast<uint32_t>(end));
    ok = ok && std::fseek(out.f, 0, SEEK_SET) == 0 && put(out.f, patch, 4);
    if (ok && hd.magic == 0xAF11) {
        // An FLI file becomes an FLC: its speed in milliseconds, the frame offsets filled in.
        uint8_t fields[4];
        put_le16(fields, 0xAF12);
        ok = std::fseek(out.f, 4, SEEK_SET) == 0 && put(out.f, fields, 2);
        put_le32(fields, static_cast<uint32_t>((hd.speed & 0xFFFF) * 1000 / 70));
        ok = ok && std::fseek(out.f, 16, SEEK_SET) == 0 && put(out.f, fields, 4);
        uint8_t offsets[8];
        put_le32(offsets, static_cast<uint32_t>(kHeaderSize));
        put_le32(offsets + 4, static_cast<uint32_t>(last.second));
        ok = ok && std::fseek(out.f, 80, SEEK_SET) == 0 && put(out.f, offsets, 8);
    }
    if (!ok) {
        note("Could not write current chunk.");
        return 1;
    }
    progress_update(2 * h);
    FILE* f = out.f;
    out.f = nullptr;
    if (std::fclose(f) != 0) {
        note("Could not write the current frame.");
        return 1;
    }
    // What the next append starts from.
    st.at = position;
    st.next = start + frame_size;
    st.second = last.second;
    st.first = static_cast<uint8_t*>(mem_alloc(w * h, "ring"));
    if (st.first) {
        std::memcpy(st.first, last.first, static_cast<size_t>(w * h));
        std::memcpy(st.first_palette, last.first_palette, 768);
        old.discard();
        keep_written(st, name);
    }
    return 0;
}

bool exists(const char* name)
{
    struct stat s {};
    return name && stat(name, &s) == 0;
}

} // namespace

int WriteFlicFrame(Image* image, const char* name, long position, const char* existing, const char* shown)
{
    if (!image || image->width < 1 || image->height < 1)
        return 1;
    // Messages name the file the user asked for, not the temporary one.
    if (!shown)
        shown = position > 0 && existing ? existing : name;
    if (image->width > 0xFFFF || image->height > 0xFFFF) {
        note((std::string("An FLC frame is at most 65535 pixels wide and high.\n") + shown).c_str());
        return 1;
    }
    ImageLock lock(image);
    if (!lock) {
        note("Unable to lock image");
        return 1;
    }
    if (position > 0 && exists(existing))
        return append(image, name, position, existing, shown);
    return write_new(image, name, shown);
}

int write_flic(Image* image, const char* name, const SaveRequest& request)
{
    return WriteFlicFrame(image, name, formats_state().frame_position, request.target, request.target);
}
