// GIF: frames read onto a canvas with their disposal, single images and
// optimised animations written; giflib does the blocks and the LZW coding.
#include "formats/gif.h"

#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/safe_write.h"
#include "formats/indexed.h"
#include "formats/load_save.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr long kMaxSide = 99999;
// The LZW decoding tables: prefix codes and string lengths (16 bits), first
// and last characters, and the stack a string is spelt out on.
constexpr long kLzwBytes = 4096 * 2 * 2 + 4096 * 2 + 4097;

void note_with(const char* text, const char* name)
{
    note((std::string(text) + "\n" + name).c_str());
}

enum Record { R_EXTENSION, R_IMAGE, R_TRAILER, R_ZERO, R_OTHER, R_EOF };

// The interlaced row order: passes from rows 0, 4, 2, 1 in steps of 8, 8, 4, 2.
long interlaced_row(long r, long height)
{
    static const long start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        long n = start[pass] < height ? (height - start[pass] + step[pass] - 1) / step[pass] : 0;
        if (r < n)
            return start[pass] + r * step[pass];
        r -= n;
    }
    return height;
}

} // namespace

// giflib reads through this: the file's bytes, counted, with the signature
// taken as "GIF" once its first byte is "G" (the rest of it is not checked).
int gif_input(GifFileType* gif, GifByteType* buf, int len)
{
    auto* r = static_cast<GifFrames*>(gif->UserData);
    size_t n = std::fread(buf, 1, static_cast<size_t>(len), r->file_);
    for (size_t i = 0; i < n && r->patch_stamp_; ++i) {
        long at = r->position_ + static_cast<long>(i);
        if (at == 1)
            buf[i] = 'I';
        else if (at == 2)
            buf[i] = 'F';
    }
    r->position_ += static_cast<long>(n);
    if (n > 0)
        r->last_byte_ = buf[n - 1];
    return static_cast<int>(n);
}

// ---- reading ------------------------------------------------------------------

GifFrames::~GifFrames()
{
    if (gif_) {
        int error = 0;
        DGifCloseFile(gif_, &error);
    }
    if (file_ && own_file_)
        std::fclose(file_);
    if (canvas_)
        canvas_ = static_cast<uint8_t*>(mem_free(canvas_));
    if (saved_)
        saved_ = static_cast<uint8_t*>(mem_free(saved_));
    if (lzw_)
        lzw_ = static_cast<uint16_t*>(mem_free(lzw_));
}

int GifFrames::open(const char* name, FILE* stream)
{
    name_ = name;
    file_ = stream ? stream : std::fopen(name, "rb");
    own_file_ = !stream;
    if (!file_) {
        message_show_file(msg::CannotOpenImage, name);
        return 1;
    }
    std::fseek(file_, 0, SEEK_SET);
    if (std::fgetc(file_) != 'G') {
        note_with("Not GIF file", name);
        return 1;
    }
    std::fseek(file_, 0, SEEK_SET);
    patch_stamp_ = true;
    int error = 0;
    gif_ = DGifOpen(this, gif_input, &error);
    if (!gif_) {
        if (error == D_GIF_ERR_NOT_ENOUGH_MEM)
            message_show(msg::NoMemoryDecompression, name);
        else
            message_show(msg::NoFileHeader, name);
        return 1;
    }
    width_ = gif_->SWidth;
    height_ = gif_->SHeight;
    log_printf("Image Width %ld %08lX Height %ld %08lX\n", width_, static_cast<unsigned long>(width_), height_,
               static_cast<unsigned long>(height_));
    if (width_ < 1 || width_ > kMaxSide || height_ < 1 || height_ > kMaxSide) {
        note_with("The GIF file's logical screen has no pixels (width or height 0).", name);
        return 1;
    }
    aspect_ = gif_->AspectByte;
    background_ = gif_->SBackGroundColor & 0xFF;
    if (const ColorMapObject* map = gif_->SColorMap) {
        bits_ = map->BitsPerPixel;
        for (int i = 0; i < map->ColorCount && i < 256; ++i) {
            global_[3 * i] = map->Colors[i].Red;
            global_[3 * i + 1] = map->Colors[i].Green;
            global_[3 * i + 2] = map->Colors[i].Blue;
        }
    } else {
        // No colour table at all: greys, as other readers take it.
        for (int i = 0; i < 256; ++i)
            global_[3 * i] = global_[3 * i + 1] = global_[3 * i + 2] = static_cast<uint8_t>(i);
    }
    std::memcpy(palette_, global_, sizeof palette_);
    // An LZW code stands for at most a few thousand pixels: a canvas far
    // beyond what the file could paint is a damaged header.
    std::fseek(file_, 0, SEEK_END);
    const double data = static_cast<double>(std::ftell(file_));
    std::fseek(file_, position_, SEEK_SET);
    if (!codec_size_plausible(width_, height_, data, 4096)) {
        codec_refuse_declared_size("GIF", name, width_, height_, data);
        return 1;
    }
    // Only the canvas is allocated from the header: frame rectangles are
    // clipped to it, whatever size they claim.
    double bytes = static_cast<double>(width_) * static_cast<double>(height_) * 4.0;
    if (bytes * 2 > static_cast<double>(formats_state().max_image_bytes) ||
        !(canvas_ = static_cast<uint8_t*>(mem_alloc(width_ * height_ * 4, "gifc")))) {
        note_with("Unable to allocate new image", name);
        return 1;
    }
    static const uint8_t black[3] = {0, 0, 0};
    fill(black);  // as a new image is
    return 0;
}

int GifFrames::record(int* type)
{
    GifRecordType t = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif_, &t) == GIF_OK) {
        *type = t == IMAGE_DESC_RECORD_TYPE ? R_IMAGE : t == EXTENSION_RECORD_TYPE ? R_EXTENSION : R_TRAILER;
        return 0;
    }
    if (gif_->Error == D_GIF_ERR_WRONG_RECORD)
        *type = last_byte_ == 0 ? R_ZERO : R_OTHER;
    else
        *type = R_EOF;
    return 0;
}

void GifFrames::skip_data()
{
    GifByteType* block = nullptr;
    do {
        if (DGifGetCodeNext(gif_, &block) == GIF_ERROR) {
            ended_ = true;
            return;
        }
    } while (block);
}

// Applies the disposal of the frame shown before the next one is drawn.
void GifFrames::dispose()
{
    if (disposal_ == 2) {
        const uint8_t* bg = global_ + 3 * background_;
        for (long y = top_; y < bottom_; ++y)
            for (long x = left_; x < right_; ++x) {
                uint8_t* p = canvas_ + 4 * (y * width_ + x);
                p[0] = bg[0];
                p[1] = bg[1];
                p[2] = bg[2];
                p[3] = shown_transparent_ ? 0 : 255;
            }
    } else if (disposal_ == 3 && saved_) {
        long w = right_ - left_;
        for (long y = top_; y < bottom_; ++y)
            std::memcpy(canvas_ + 4 * (y * width_ + left_), saved_ + 4 * (y - top_) * w, static_cast<size_t>(4 * w));
    }
}

bool GifFrames::read_image()
{
    const long desc_at = position_;
    int code_size = -1;
    if (DGifGetImageDesc(gif_) == GIF_OK) {
        code_size = last_byte_;
    } else {
        // giflib takes no code size above 8, which the format allows up to
        // 11: the descriptor is read when the byte after it was consumed.
        const ColorMapObject* map = gif_->Image.ColorMap;
        long code_at = desc_at + 9 + (map ? 3L * map->ColorCount : 0);
        if (position_ != code_at + 1) {
            ended_ = true;
            return false;
        }
        code_size = last_byte_;
    }
    if (frame_ >= 0)
        dispose();
    const GifImageDesc& d = gif_->Image;
    if (const ColorMapObject* map = d.ColorMap) {
        std::memset(palette_, 0, sizeof palette_);
        for (int i = 0; i < map->ColorCount && i < 256; ++i) {
            palette_[3 * i] = map->Colors[i].Red;
            palette_[3 * i + 1] = map->Colors[i].Green;
            palette_[3 * i + 2] = map->Colors[i].Blue;
        }
    } else {
        std::memcpy(palette_, global_, sizeof palette_);
    }
    const bool first = frame_ < 0;
    if (first)
        fill(palette_ + 3 * background_);  // the background colour of the first image's palette
    const long fw = d.Width, fh = d.Height;
    if (fw > 0 && fh > 0 && (code_size < 1 || code_size > 11)) {
        // No picture can come of it; a first frame is refused.
        note_with("Invalid LZW code size in GIF", name_);
        ended_ = true;
        refused_ = first;
        return false;
    }
    frame_ += 1;
    left_ = std::min<long>(d.Left, width_);
    top_ = std::min<long>(d.Top, height_);
    right_ = std::min<long>(static_cast<long>(d.Left) + fw, width_);
    bottom_ = std::min<long>(static_cast<long>(d.Top) + fh, height_);
    disposal_ = gce_disposal_;
    delay_ = gce_delay_;
    const int t = gce_transparent_;
    shown_transparent_ = t >= 0;
    gce_disposal_ = gce_delay_ = 0;
    gce_transparent_ = -1;

    if (disposal_ == 3 && right_ > left_ && bottom_ > top_) {
        long w = right_ - left_;
        if (saved_)
            saved_ = static_cast<uint8_t*>(mem_free(saved_));
        saved_ = static_cast<uint8_t*>(mem_alloc(4 * w * (bottom_ - top_), "gifp"));
        if (saved_)
            for (long y = top_; y < bottom_; ++y)
                std::memcpy(saved_ + 4 * (y - top_) * w, canvas_ + 4 * (y * width_ + left_), static_cast<size_t>(4 * w));
    }
    if (fw == 0 || fh == 0) {
        skip_data();
        return true;
    }

    // Where the next pixel goes.
    long col = 0, r = 0;
    long y = d.Top;
    uint8_t* out = y < height_ ? canvas_ + 4 * y * width_ : nullptr;
    const long left = d.Left;
    auto put = [&](int index) {
        long x = left + col;
        if (out && x < width_) {
            uint8_t* p = out + 4 * x;
            if (index == t) {
                if (first) {
                    p[0] = palette_[3 * index];
                    p[1] = palette_[3 * index + 1];
                    p[2] = palette_[3 * index + 2];
                    p[3] = 0;
                }
            } else {
                p[0] = palette_[3 * index];
                p[1] = palette_[3 * index + 1];
                p[2] = palette_[3 * index + 2];
                p[3] = 255;
            }
        }
        if (++col == fw) {
            col = 0;
            ++r;
            if (r % 16 == 0)
                progress_update(r);
            y = d.Top + (d.Interlace ? interlaced_row(r, fh) : r);
            out = y < height_ && r < fh ? canvas_ + 4 * y * width_ : nullptr;
        }
    };

    // The LZW codes, least significant bit first, from the data sub-blocks.
    GifByteType* block = nullptr;
    int have = 0, at = 0;
    uint32_t bits = 0;
    int nbits = 0;
    bool blocks_ended = false, eof = false;
    auto read_code = [&](int width) -> int {
        while (nbits < width) {
            if (at >= have) {
                if (DGifGetCodeNext(gif_, &block) == GIF_ERROR) {
                    eof = true;
                    return -1;
                }
                if (!block) {
                    blocks_ended = true;
                    return -1;
                }
                have = block[0];
                at = 0;
                continue;
            }
            bits |= static_cast<uint32_t>(block[1 + at++]) << nbits;
            nbits += 8;
        }
        int code = static_cast<int>(bits & ((1u << width) - 1));
        bits >>= width;
        nbits -= width;
        return code;
    };
    if (!lzw_) {
        lzw_ = static_cast<uint16_t*>(mem_alloc(kLzwBytes, "gifz"));
        if (!lzw_) {
            message_show(msg::NoMemoryDecompression, name_);
            ended_ = true;
            return false;
        }
    }
    // Per code: its prefix code, its string's length, first and last character.
    uint16_t* prefix = lzw_;
    uint16_t* length = lzw_ + 4096;
    auto* firsts = reinterpret_cast<uint8_t*>(lzw_ + 2 * 4096);
    uint8_t* lasts = firsts + 4096;
    uint8_t* stack = lasts + 4096;
    const int clear = 1 << code_size, eoi = clear + 1;
    for (int i = 0; i < clear && i < 4096; ++i) {
        prefix[i] = 0xFFFF;
        length[i] = 1;
        firsts[i] = lasts[i] = static_cast<uint8_t>(i);
    }
    int width = code_size + 1, next = clear + 2, prev = -1;
    const long total = fw * fh;
    long done = 0;
    while (done < total) {
        int code = read_code(width);
        if (code < 0)
            break;
        if (code == clear) {
            width = code_size + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == eoi)
            break;
        int string;  // the code whose string is written
        if (prev < 0) {
            if (code >= clear)
                continue;  // nothing to build on yet
            string = code;
        } else if (code < next) {
            string = code;
            if (next < 4096) {
                prefix[next] = static_cast<uint16_t>(prev);
                length[next] = static_cast<uint16_t>(length[prev] + 1);
                firsts[next] = firsts[prev];
                lasts[next] = firsts[code];
                ++next;
            }
        } else {
            // A code not yet in the table: the previous string and its first character.
            if (next >= 4096) {
                string = prev;
            } else {
                prefix[next] = static_cast<uint16_t>(prev);
                length[next] = static_cast<uint16_t>(length[prev] + 1);
                firsts[next] = firsts[prev];
                lasts[next] = firsts[prev];
                string = next++;
            }
        }
        if (next == (1 << width) && width < 12)
            ++width;
        prev = string;
        int n = length[string];
        int k = string;
        for (int i = n - 1; i >= 0; --i) {
            stack[i] = lasts[k];
            k = prefix[k];
        }
        for (int i = 0; i < n && done < total; ++i, ++done)
            put(stack[i]);
    }
    if (done < total && (blocks_ended || eof)) {
        note_with(eof ? "Premature EOF in GIF, Part 3" : "Premature end of data in GIF, Part 3", name_);
        ended_ = true;
        return false;
    }
    if (!blocks_ended && !eof)
        skip_data();
    return !ended_;
}

int GifFrames::next()
{
    while (!ended_) {
        int type = R_EOF;
        record(&type);
        switch (type) {
        case R_EXTENSION: {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif_, &code, &block) == GIF_ERROR) {
                ended_ = true;
                break;
            }
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                gce_disposal_ = (block[1] >> 2) & 7;
                gce_delay_ = get_le16(block + 2);
                gce_transparent_ = block[1] & 1 ? block[4] : -1;
            }
            bool netscape = code == APPLICATION_EXT_FUNC_CODE && block && block[0] == 11 &&
                            std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
            while (block) {
                if (DGifGetExtensionNext(gif_, &block) == GIF_ERROR) {
                    ended_ = true;
                    break;
                }
                if (netscape && block && block[0] >= 3 && block[1] == 1)
                    loop_ = get_le16(block + 2);
            }
            break;
        }
        case R_IMAGE:
            if (read_image())
                return 1;
            return frame_ >= 0 && !refused_ ? 2 : 0;
        case R_TRAILER:
            ended_ = true;
            trailer_ = true;
            break;
        case R_ZERO:
            if (frame_ < 0) {
                note_with("Invalid GIF Format section 2", name_);
                stray_zero_ = true;
            }
            ended_ = true;
            break;
        case R_OTHER:
            break;
        default:
            ended_ = true;
            break;
        }
    }
    return 0;
}

void GifFrames::fill(const uint8_t* rgb)
{
    for (long i = 0; i < width_ * height_; ++i) {
        canvas_[4 * i] = rgb[0];
        canvas_[4 * i + 1] = rgb[1];
        canvas_[4 * i + 2] = rgb[2];
        canvas_[4 * i + 3] = 255;
    }
}

void GifFrames::fill_background()
{
    fill(global_ + 3 * background_);
}

long GifFrames::count_rest(bool* transparent)
{
    long count = 0;
    if (transparent)
        *transparent = false;
    while (!ended_) {
        int type = R_EOF;
        record(&type);
        if (type == R_EXTENSION) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif_, &code, &block) == GIF_ERROR)
                break;
            if (transparent && count == 0 && code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                *transparent = block[1] & 1;
            while (block)
                if (DGifGetExtensionNext(gif_, &block) == GIF_ERROR) {
                    ended_ = true;
                    break;
                }
        } else if (type == R_IMAGE) {
            if (DGifGetImageDesc(gif_) == GIF_ERROR)
                break;
            ++count;
            skip_data();
        } else if (type != R_OTHER) {
            break;
        }
    }
    ended_ = true;
    return count;
}

Image* GifFrames::image()
{
    Image* image = codec_new_image(width_, height_, "igif");
    if (!image) {
        note_with("Unable to allocate new image", name_);
        return nullptr;
    }
    ImageLock lock(image, msg::NoRealMemoryImage, name_);
    if (!lock) {
        lock.release();
        image_free(image);
        return nullptr;
    }
    bool clear = false;
    for (long y = 0; y < height_; ++y) {
        const uint8_t* s = canvas_ + 4 * y * width_;
        std::memcpy(image->row(static_cast<int>(y)), s, static_cast<size_t>(4 * width_));
        for (long x = 0; x < width_ && !clear; ++x)
            clear = s[4 * x + 3] != 255;
    }
    image->alpha = shown_transparent_ || clear ? 1 : 0;
    image->bits = static_cast<uint16_t>(bits_);
    for (int i = 0; i < 256; ++i) {
        image->palette_red[i] = global_[3 * i];
        image->palette_green[i] = global_[3 * i + 1];
        image->palette_blue[i] = global_[3 * i + 2];
    }
    return image;
}

Image* ReadGif(const LoadRequest& request)
{
    log_printf("Reading GIF image\n");
    GifFrames gif;
    if (gif.open(request.name, request.stream) != 0)
        return nullptr;
    if (gif.aspect_refused()) {
        note_with("Invalid GIF format", request.name);
        Image* image = codec_new_image(gif.width(), gif.height(), "igif");
        if (!image)
            note_with("Unable to allocate new image", request.name);
        return image;
    }
    const long want = std::max(formats_state().read_frame - 1, 0L);
    progress_open("Reading GIF image", gif.height());
    int rc = 1;
    while (gif.frame() < want && rc == 1)
        rc = gif.next();
    progress_close();
    if (gif.frame() < 0) {
        // A stray 0 block returns the image as it stands, a file that ends
        // with no image its background; one cut short, nothing.
        if (gif.refused())
            return nullptr;
        if (gif.stray_zero())
            return gif.image();
        if (gif.trailer()) {
            gif.fill_background();
            return gif.image();
        }
        message_show(msg::FileTruncated, request.name);
        return nullptr;
    }
    Image* image = gif.image();
    if (image) {
        image->frame_number = static_cast<int32_t>(gif.frame() + 1);
        long rest = rc == 1 ? gif.count_rest() : 0;
        image->frame_count = static_cast<int32_t>(gif.frame() + 1 + rest);
    }
    return image;
}

int gif_info(const LoadRequest& request, ImageInfo* info)
{
    GifFrames gif;
    if (gif.open(request.name, request.stream) != 0)
        return 1;
    info->width = gif.width();
    info->height = gif.height();
    info->bits = gif.bits();
    info->frames = gif.count_rest(&info->alpha);
    return 0;
}

// ---- writing ------------------------------------------------------------------

namespace {

// One image reduced to palette indices.
struct Indexed {
    long width = 0, height = 0;
    uint8_t* idx = nullptr;  // "gifi": width x height
    uint8_t pal[768] = {};
    int colours = 0;    // entries in use, the transparent one included
    int t = -1;         // the transparent index, -1 none
    int delay = 0;

    Indexed() = default;
    Indexed(const Indexed&) = delete;
    Indexed& operator=(const Indexed&) = delete;
    ~Indexed() { release(); }
    void release()
    {
        if (idx)
            idx = static_cast<uint8_t*>(mem_free(idx));
    }
    void take(Indexed& o)
    {
        release();
        width = o.width;
        height = o.height;
        idx = o.idx;
        o.idx = nullptr;
        std::memcpy(pal, o.pal, sizeof pal);
        colours = o.colours;
        t = o.t;
        delay = o.delay;
    }
    // What a pixel shows: 0 transparent, else opaque red, green, blue.
    uint32_t shows(long i) const
    {
        int k = idx[i];
        if (k == t)
            return 0;
        return 0xFF000000u | static_cast<uint32_t>(pal[3 * k]) << 16 | static_cast<uint32_t>(pal[3 * k + 1]) << 8 |
               pal[3 * k + 2];
    }
};

int nearest_other(const uint8_t* pal, int colours, int skip)
{
    int best = skip == 0 ? 1 : 0;
    long best_d = -1;
    for (int i = 0; i < colours; ++i) {
        if (i == skip)
            continue;
        long d = 0;
        for (int c = 0; c < 3; ++c) {
            long e = static_cast<long>(pal[3 * i + c]) - pal[3 * skip + c];
            d += e * e;
        }
        if (best_d < 0 || d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

// Reduces a locked image with the user's palette mode and dithering.  With
// `alpha` its pixels below half opacity take a transparent index (a free
// entry, else the least-used one, whose pixels go to their nearest other
// colour); with `want_t` a free entry is kept as the transparent index
// when there is one.  False when the reduction failed (already reported).
bool reduce(Image* image, bool alpha, bool want_t, Indexed& out)
{
    uint8_t red[256] = {}, green[256] = {}, blue[256] = {};
    ReduceInfo info;
    uint8_t* data = reduce_for_file(image, 8, red, green, blue, &info);
    if (!data)
        return false;
    const long w = image->width, h = image->height;
    out.release();
    out.width = w;
    out.height = h;
    out.idx = static_cast<uint8_t*>(mem_alloc(std::max(w * h, 1L), "gifi"));
    if (!out.idx) {
        data = static_cast<uint8_t*>(mem_free(data));
        note("Not enough memory to render");
        return false;
    }
    for (long y = 0; y < h; ++y)
        std::memcpy(out.idx + y * w, data + y * info.stride, static_cast<size_t>(w));
    data = static_cast<uint8_t*>(mem_free(data));
    for (int i = 0; i < 256; ++i) {
        out.pal[3 * i] = red[i];
        out.pal[3 * i + 1] = green[i];
        out.pal[3 * i + 2] = blue[i];
    }
    out.colours = info.colours > 0 && info.colours <= 256 ? info.colours : 256;
    out.t = -1;
    if (!alpha && !want_t)
        return true;

    long used[256] = {};
    for (long y = 0; y < h; ++y) {
        const uint8_t* px = image->row(static_cast<int>(y));
        const uint8_t* ix = out.idx + y * w;
        for (long x = 0; x < w; ++x)
            if (!alpha || px[4 * x + 3] >= 128)
                used[ix[x]] += 1;
    }
    if (out.colours < 256) {
        out.t = out.colours++;
        std::memset(out.pal + 3 * out.t, 0, 3);
    } else {
        for (int i = 255; i >= 0 && out.t < 0; --i)
            if (used[i] == 0)
                out.t = i;
    }
    if (out.t < 0 && alpha) {
        int least = 0;
        for (int i = 1; i < 256; ++i)
            if (used[i] < used[least])
                least = i;
        int to = nearest_other(out.pal, out.colours, least);
        for (long i = 0; i < w * h; ++i)
            if (out.idx[i] == least)
                out.idx[i] = static_cast<uint8_t>(to);
        out.t = least;
    }
    if (alpha)
        for (long y = 0; y < h; ++y) {
            const uint8_t* px = image->row(static_cast<int>(y));
            uint8_t* ix = out.idx + y * w;
            for (long x = 0; x < w; ++x)
                if (px[4 * x + 3] < 128)
                    ix[x] = static_cast<uint8_t>(out.t);
        }
    return true;
}

int output_bytes(GifFileType* gif, const GifByteType* data, int len)
{
    auto* bytes = static_cast<std::vector<uint8_t>*>(gif->UserData);
    bytes->insert(bytes->end(), data, data + len);
    return len;
}

// A colour table of the smallest power of two that holds `colours` entries
// (at least `minimum`); null when memory ran out.
ColorMapObject* colour_map(const uint8_t* pal, int colours, int minimum)
{
    int size = 2;
    while (size < colours || size < minimum)
        size *= 2;
    ColorMapObject* map = GifMakeMapObject(size, nullptr);
    if (!map)
        return nullptr;
    for (int i = 0; i < size; ++i) {
        map->Colors[i].Red = i < 256 ? pal[3 * i] : 0;
        map->Colors[i].Green = i < 256 ? pal[3 * i + 1] : 0;
        map->Colors[i].Blue = i < 256 ? pal[3 * i + 2] : 0;
    }
    return map;
}

struct MapFree {
    ColorMapObject* map;
    ~MapFree()
    {
        if (map)
            GifFreeMapObject(map);
    }
};

bool put_control(GifFileType* gif, int disposal, int delay, int t)
{
    GifByteType gce[4];
    gce[0] = static_cast<GifByteType>((disposal & 7) << 2 | (t >= 0 ? 1 : 0));
    gce[1] = static_cast<GifByteType>(delay & 0xFF);
    gce[2] = static_cast<GifByteType>((delay >> 8) & 0xFF);
    gce[3] = static_cast<GifByteType>(t >= 0 ? t : 0);
    return EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce) == GIF_OK;
}

bool put_loop(GifFileType* gif, int count)
{
    const GifByteType sub[3] = {1, static_cast<GifByteType>(count & 0xFF), static_cast<GifByteType>((count >> 8) & 0xFF)};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK && EGifPutExtensionBlock(gif, 3, sub) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

// A rectangle, right and bottom exclusive.
struct Box {
    long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    void add(long x, long y)
    {
        if (empty()) {
            x0 = x;
            y0 = y;
            x1 = x + 1;
            y1 = y + 1;
            return;
        }
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x + 1);
        y1 = std::max(y1, y + 1);
    }
    void add(const Box& b)
    {
        if (b.empty())
            return;
        add(b.x0, b.y0);
        add(b.x1 - 1, b.y1 - 1);
    }
};

// The image data of a rectangle: a graphic control extension, the image
// descriptor (with a local table when given) and the rows.  `code(i)` gives
// the index written for pixel i of the frame.
template <class Code>
bool put_image(GifFileType* gif, const Box& b, long width, const ColorMapObject* local, int disposal, int delay,
               int t, std::vector<uint8_t>& row, Code code)
{
    if (!put_control(gif, disposal, delay, t))
        return false;
    if (EGifPutImageDesc(gif, static_cast<int>(b.x0), static_cast<int>(b.y0), static_cast<int>(b.x1 - b.x0),
                         static_cast<int>(b.y1 - b.y0), false, local) == GIF_ERROR)
        return false;
    row.resize(static_cast<size_t>(b.x1 - b.x0));
    for (long y = b.y0; y < b.y1; ++y) {
        for (long x = b.x0; x < b.x1; ++x)
            row[static_cast<size_t>(x - b.x0)] = code(y * width + x);
        if (EGifPutLine(gif, row.data(), static_cast<int>(row.size())) == GIF_ERROR)
            return false;
        if (y % 16 == 0)
            progress_update(y);
    }
    return true;
}

} // namespace

int WriteGif(Image* image, const char* name)
{
    log_printf("\n About to save to GIF format: %s\n", name);
    if (image->width > 0xFFFF || image->height > 0xFFFF) {
        note_with("A GIF image is at most 65535 pixels wide and high.", name);
        return 1;
    }
    ImageLock lock(image);
    if (!lock) {
        note("Unable to lock image");
        return 1;
    }
    Indexed ind;
    const bool alpha = image->alpha != 0;
    if (!reduce(image, alpha, false, ind))
        return 1;
    FILE* f = std::fopen(name, "wb");
    if (!f) {
        note_with("Unable to open output file.", name);
        return 1;
    }
    std::vector<uint8_t> bytes, row;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, output_bytes, &error);
    MapFree map{colour_map(ind.pal, 256, 256)};
    bool ok = gif && map.map;
    progress_open("Saving GIF", ind.height);
    if (ok) {
        for (int i = 0; i < 256; ++i)
            log_printf(" Saved at %3d RR= %3d GG= %3d BB= %3d\n", i, ind.pal[3 * i], ind.pal[3 * i + 1],
                       ind.pal[3 * i + 2]);
        EGifSetGifVersion(gif, true);
        ok = EGifPutScreenDesc(gif, static_cast<int>(ind.width), static_cast<int>(ind.height), 8, 0, map.map) ==
             GIF_OK;
        Box all{0, 0, ind.width, ind.height};
        ok = ok && put_image(gif, all, ind.width, nullptr, 0, 0, alpha ? ind.t : -1, row,
                             [&](long i) { return ind.idx[i]; });
    }
    progress_close();
    if (gif && EGifCloseFile(gif, &error) == GIF_ERROR)
        ok = false;
    ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        message_show(msg::ProblemWriting, name);
        std::remove(name);
        return 1;
    }
    return 0;
}

int write_gif(Image* image, const char* name, const SaveRequest&)
{
    return WriteGif(image, name);
}

// ---- animations ---------------------------------------------------------------

struct GifAnimation {
    SafeWrite* out = nullptr;
    FILE* f = nullptr;
    GifFileType* gif = nullptr;
    std::vector<uint8_t> bytes, row, trial;
    GifAnimationOptions options;
    long width = 0, height = 0;
    long written = 0;       // frames written to the file
    bool failed = false;
    uint8_t global[768] = {};
    int global_colours = 0;
    int global_size = 0;    // entries in the global table
    // What a viewer shows before the pending frame: 0 transparent, else
    // opaque colour.
    uint32_t* canvas = nullptr;  // "gifv"
    Indexed pending;             // the frame not yet written: its disposal
    bool has_pending = false;    // waits for the frame after it
    Box grow;                    // what the pending frame's rectangle must cover besides its changes
    int pending_disposal = 1;

    ~GifAnimation()
    {
        if (gif) {
            int error = 0;
            EGifCloseFile(gif, &error);
        }
        delete out;
        if (canvas)
            canvas = static_cast<uint32_t*>(mem_free(canvas));
    }
};

namespace {

GifAnimation*& current()
{
    return formats_state().gif_animation;
}

bool flush(GifAnimation& a)
{
    if (a.bytes.empty())
        return true;
    bool ok = std::fwrite(a.bytes.data(), 1, a.bytes.size(), a.f) == a.bytes.size();
    a.bytes.clear();
    return ok;
}

// Writes the pending frame with its disposal.
bool write_pending(GifAnimation& a)
{
    Indexed& p = a.pending;
    const long w = a.width, h = a.height;
    const bool first = a.written == 0;
    if (first) {
        // The first frame's palette becomes the global table.
        std::memcpy(a.global, p.pal, sizeof a.global);
        a.global_colours = p.colours;
        MapFree map{colour_map(p.pal, p.colours, 2)};
        if (!map.map)
            return false;
        a.global_size = map.map->ColorCount;
        EGifSetGifVersion(a.gif, true);
        if (EGifPutScreenDesc(a.gif, static_cast<int>(w), static_cast<int>(h), 8, 0, map.map) == GIF_ERROR)
            return false;
        if (a.options.loop && !put_loop(a.gif, a.options.loop_count))
            return false;
    }
    // The rectangle of the pixels that change what is shown.
    Box b;
    if (first) {
        b = Box{0, 0, w, h};
    } else {
        for (long y = 0; y < h; ++y) {
            const long row = y * w;
            long x = 0;
            while (x < w && p.shows(row + x) == a.canvas[row + x])
                ++x;
            if (x == w)
                continue;
            long r = w - 1;
            while (r > x && p.shows(row + r) == a.canvas[row + r])
                --r;
            b.add(x, y);
            b.add(r, y);
        }
        b.add(a.grow);
        if (b.empty())
            b = Box{0, 0, 1, 1};
    }
    // The global table serves a frame whose colours it holds.
    bool shared = p.colours <= a.global_size && std::memcmp(p.pal, a.global, static_cast<size_t>(3 * p.colours)) == 0;
    MapFree local{shared ? nullptr : colour_map(p.pal, p.colours, 2)};
    if (!shared && !local.map)
        return false;
    // Without a transparent index of its own (all its colours in use), a
    // frame takes one its rectangle does not use: for the plain coding one
    // no pixel uses (a cleared rectangle shows through only with one), for
    // the codings with transparent unchanged pixels one no changed pixel uses.
    int t = p.t, t_changed = p.t;
    if (t < 0 && !first) {
        bool all[256] = {}, changed[256] = {};
        for (long y = b.y0; y < b.y1; ++y)
            for (long x = b.x0; x < b.x1; ++x) {
                const long i = y * w + x;
                all[p.idx[i]] = true;
                if (p.shows(i) != a.canvas[i])
                    changed[p.idx[i]] = true;
            }
        const int entries = shared ? a.global_size : local.map->ColorCount;
        for (int i = entries - 1; i >= 0 && (t < 0 || t_changed < 0); --i) {
            if (t < 0 && !all[i] && a.pending_disposal == 2)
                t = i;
            if (t_changed < 0 && !changed[i])
                t_changed = i;
        }
    }
    auto plain = [&](long i) { return p.idx[i]; };
    auto unchanged = [&](long i) { return p.shows(i) == a.canvas[i] && a.canvas[i] != 0; };
    auto clear_all = [&](long i) { return static_cast<GifPixelType>(unchanged(i) ? t_changed : p.idx[i]); };
    // Unchanged pixels continue the run before them: their own colour after
    // it, else transparent.  Longer runs code shorter.
    int last = -1;
    auto runs = [&](long i) {
        int k = p.idx[i];
        if (unchanged(i) && k != last)
            k = t_changed;
        last = k;
        return static_cast<GifPixelType>(k);
    };
    // Every frame names its transparent index when it has one, used or not:
    // readers such as Pillow show no transparency in later frames when the
    // first names none.
    const size_t mark = a.bytes.size();
    if (!put_image(a.gif, b, w, local.map, a.pending_disposal, p.delay, t, a.row, plain))
        return false;
    if (!first && a.options.optimise && t_changed >= 0) {
        // The same rectangle with unchanged pixels transparent, all of them
        // or where that makes runs: the smallest coding is kept.
        for (int variant = 0; variant < 2; ++variant) {
            a.trial.assign(a.bytes.begin() + static_cast<long>(mark), a.bytes.end());
            a.bytes.resize(mark);
            last = -1;
            const int d = a.pending_disposal, delay = p.delay;
            bool ok = variant == 0 ? put_image(a.gif, b, w, local.map, d, delay, t_changed, a.row, clear_all)
                                   : put_image(a.gif, b, w, local.map, d, delay, t_changed, a.row, runs);
            if (!ok)
                return false;
            if (a.bytes.size() - mark > a.trial.size()) {
                a.bytes.resize(mark);
                a.bytes.insert(a.bytes.end(), a.trial.begin(), a.trial.end());
            }
        }
    }
    // What the viewer shows now, and after the disposal.
    for (long y = b.y0; y < b.y1; ++y)
        for (long x = b.x0; x < b.x1; ++x)
            a.canvas[y * w + x] = a.pending_disposal == 2 ? 0 : p.shows(y * w + x);
    a.written += 1;
    a.has_pending = false;
    a.grow = Box{};
    a.pending_disposal = 1;
    return flush(a);
}

} // namespace

void gif_animation_abandon()
{
    delete current();
    current() = nullptr;
}

int gif_animation_open(const char* name, long width, long height, const GifAnimationOptions& options)
{
    if (current())
        CloseGifAnimation();
    if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF) {
        note_with("A GIF frame is 1 to 65535 pixels wide and high.", name);
        return 1;
    }
    auto* a = new GifAnimation;
    a->options = options;
    a->width = width;
    a->height = height;
    a->out = new SafeWrite(name);
    a->f = a->out->open("wb");
    int error = 0;
    a->gif = a->f ? EGifOpen(&a->bytes, output_bytes, &error) : nullptr;
    a->canvas = static_cast<uint32_t*>(mem_alloc(width * height * 4, "gifv"));
    if (!a->f || !a->gif || !a->canvas) {
        delete a;
        note_with("Unable to open output file.", name);
        return 1;
    }
    std::memset(a->canvas, 0, static_cast<size_t>(width * height * 4));
    current() = a;
    return 0;
}

int OpenGifAnimation(long frames, long width, long height, const char* name, int delay, int loop)
{
    (void)frames;  // frames are written as they come
    GifAnimationOptions options;
    options.delay = delay;
    options.loop = loop != 0;
    return gif_animation_open(name, width, height, options);
}

int WriteGifFrame(Image* image, long index, int delay)
{
    GifAnimation* a = current();
    if (!a || a->failed || !image)
        return 1;
    if (static_cast<long>(image->width) != a->width || image->height != a->height) {
        message_show(msg::DifferentSizedFrame, a->out->target());
        return 1;
    }
    ImageLock lock(image);
    if (!lock) {
        note("Unable to lock image");
        return 1;
    }
    progress_open("Saving GIF", a->height);
    struct MeterCloser {
        ~MeterCloser() { progress_close(); }
    } meter;
    Indexed frame;
    if (!reduce(image, image->alpha != 0, a->options.optimise, frame)) {
        note("Unable to build indexed image");
        return 2;
    }
    frame.delay = std::clamp(delay >= 0 ? delay : a->options.delay, 0, 0xFFFF);
    if (a->has_pending) {
        // Pixels the new frame shows transparent where the pending one is
        // opaque: the pending frame must clear them when it goes.
        const long n = a->width * a->height;
        Box clear;
        for (long i = 0; i < n; ++i)
            if (frame.shows(i) == 0 && a->pending.shows(i) != 0)
                clear.add(i % a->width, i / a->width);
        if (!clear.empty()) {
            a->pending_disposal = 2;
            a->grow.add(clear);
        }
        if (!write_pending(*a)) {
            a->failed = true;
            message_show(msg::ProblemWriting, a->out->target());
            return 1;
        }
    }
    log_printf("GIF frame %ld: %d colours, delay %d\n", index + 1, frame.colours, frame.delay);
    a->pending.take(frame);
    a->has_pending = true;
    return 0;
}

int CloseGifAnimation()
{
    GifAnimation* a = current();
    if (!a)
        return 0;
    bool ok = !a->failed;
    if (ok && a->has_pending)
        ok = write_pending(*a);
    if (ok && a->written == 0) {
        note_with("An animation needs at least one frame.", a->out->target());
        gif_animation_abandon();
        return 1;
    }
    int error = 0;
    if (ok)
        ok = EGifCloseFile(a->gif, &error) == GIF_OK;
    a->gif = nullptr;
    ok = ok && flush(*a);
    int rc = 0;
    if (!ok) {
        message_show(msg::ProblemWriting, a->out->target());
        rc = 1;
    } else {
        rc = safe_write_commit(*a->out, msg::CannotCreateImageFile);
    }
    gif_animation_abandon();
    return rc;
}
