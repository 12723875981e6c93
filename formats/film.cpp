#include "formats/film.h"

#include "core/app.h"
#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/safe_write.h"
#include "formats/codec_io.h"
#include "core/settings.h"
#include "formats/avi.h"
#include "formats/flic.h"
#include "formats/gif.h"
#include "formats/load_save.h"
#include "formats/mng.h"
#include "render/reduce.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

FilmState g_film;
bool (*g_parameters_dialog)(FilmExportOptions&) = nullptr;

constexpr long kUsedExtra = 1024;

// Boxes of the film titled "Error" rather than "Note!".
void error_titled(const char* text)
{
    log_printf("MESSAGE: \"%s\"\n", text);
    if (!messages_quiet())
        ui::platform().message_box("Error", text, ui::BoxIcon::Stop);
}

void tell_window(bool relayout)
{
    g_film.redraw = true;
    if (g_film.changed)
        g_film.changed(relayout);
}

void free_slots(Image** slots, long count)
{
    for (long i = 0; i < count; ++i)
        if (slots[i] && image_store_contains(slots[i]))
            image_free(slots[i]);
}

bool start_film()
{
    return true;
}

struct FilmSubsystem {
    FilmSubsystem() { app_add_subsystem("film", start_film, film_release); }
} g_register;

struct FileCloser {
    FILE* f;
    ~FileCloser()
    {
        if (f)
            std::fclose(f);
    }
};

struct Meter {
    Meter(const char* caption, long total) { progress_open(caption, total); }
    ~Meter() { progress_close(); }
    Meter(const Meter&) = delete;
    Meter& operator=(const Meter&) = delete;
};

void put32(uint8_t* p, long v)
{
    auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}

long get32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

bool header_fits(long width, long height, long frames)
{
    return width >= 1 && width <= kFilmMaxSide && height >= 1 && height <= kFilmMaxSide && frames >= 1 &&
           frames <= kFilmMaxFrames;
}

// Reads the three planes of a frame into a locked image; false on a short read.
bool read_planes(FILE* f, Image* image, uint8_t* plane, long width, long height)
{
    const long n = width * height;
    for (int c = 0; c < 3; ++c) {
        if (static_cast<long>(std::fread(plane, 1, static_cast<size_t>(n), f)) != n)
            return false;
        const uint8_t* p = plane;
        for (long y = 0; y < height; ++y) {
            uint8_t* px = image->row(static_cast<int>(y)) + c;
            for (long x = 0; x < width; ++x, px += 4)
                *px = *p++;
        }
    }
    for (long y = 0; y < height; ++y) {
        uint8_t* px = image->row(static_cast<int>(y)) + 3;
        for (long x = 0; x < width; ++x, px += 4)
            *px = 255;
    }
    return true;
}

} // namespace

FilmState& film_state()
{
    return g_film;
}

void film_set_parameters_dialog(bool (*dialog)(FilmExportOptions& options))
{
    g_parameters_dialog = dialog;
}

int film_delay(const FilmExportOptions& options)
{
    if (options.delay >= 0)
        return options.delay;
    long ms = settings().film_speed > 0 ? settings().film_speed : 70;
    return static_cast<int>(std::clamp((ms + 5) / 10, 1L, 9999L));
}

long film_choose_frame(long frames, double seconds_per_frame)
{
    // The frame asked for (1 the first), else the workstation's frame dialog, else the first.
    const FormatsState& fs = formats_state();
    long index = fs.read_frame > 0 ? fs.read_frame - 1 : 0;
    if (fs.read_frame <= 0 && fs.choose_frame) {
        index = fs.choose_frame(std::max(frames, 1L), seconds_per_frame);
        if (index < 0)
            return -1;
    }
    if (frames > 0)
        index = std::min(index, frames - 1);
    return std::max(index, 0L);
}

// ---- the store -----------------------------------------------------------------

void film_release()
{
    if (g_film.slots) {
        free_slots(g_film.slots, g_film.frames);
        g_film.slots = mem_free_t(g_film.slots);
    }
    g_film.used = mem_free_t(g_film.used);
    g_film.last_drawn = -1;
    g_film.current = 0;
}

int AllocateFilm()
{
    if (g_film.slots) {
        free_slots(g_film.slots, g_film.frames);
        g_film.slots = mem_free_t(g_film.slots);
    }
    g_film.used = mem_free_t(g_film.used);
    g_film.last_drawn = -1;
    if (g_film.frames < 1)
        return 1;
    g_film.used = static_cast<uint8_t*>(mem_alloc(g_film.frames + kUsedExtra, "FmUsed"));
    if (!g_film.used) {
        message_show(msg::NoMemoryOperation, "For filmstrip array");
        return 1;
    }
    std::memset(g_film.used, 0, static_cast<size_t>(g_film.frames + kUsedExtra));
    g_film.slots = static_cast<Image**>(mem_alloc(g_film.frames * static_cast<long>(sizeof(Image*)), "Film"));
    if (!g_film.slots) {
        g_film.used = mem_free_t(g_film.used);
        error_titled("No real memory for film image");
        return 1;
    }
    std::fill(g_film.slots, g_film.slots + g_film.frames, nullptr);
    if (g_film.current >= g_film.frames)
        g_film.current = 0;
    tell_window(true);
    return 0;
}

int film_create(long frames, long width, long height)
{
    if (frames < 1 || width < 1 || height < 1)
        return 1;
    g_film.frames = frames;
    g_film.width = width;
    g_film.height = height;
    g_film.current = 0;
    return AllocateFilm();
}

long film_filled()
{
    long n = 0;
    if (g_film.slots && g_film.used)
        for (long i = 0; i < g_film.frames; ++i)
            if (g_film.used[i] && g_film.slots[i])
                ++n;
    return n;
}

Image* film_frame(long index)
{
    if (!g_film.slots || !g_film.used || index < 0 || index >= g_film.frames || !g_film.used[index])
        return nullptr;
    return g_film.slots[index];
}

int PlaceFrame(Image* image, long index)
{
    if (!g_film.slots || index < 0 || index >= g_film.frames)
        return 0;
    ImageLock source(image, msg::SourceNoLock);
    if (!source)
        return 1;
    Image*& slot = g_film.slots[index];
    if (!slot) {
        slot = image_new(g_film.width, g_film.height, "iflm");
        if (!slot) {
            message_show(msg::NoMemoryFilmFrame);
            return 1;
        }
    }
    ImageLock frame(slot, msg::FilmInsertNoRealMemory);
    if (!frame)
        return 1;

    // The picture keeps its displayed proportions: pixels of unequal
    // resolution are as wide as they are shown.
    const long W = g_film.width, H = g_film.height;
    const long iw = image->width, ih = image->height;
    const double hres = image->hres_den > 0 && image->hres_num > 0 ? double(image->hres_num) / image->hres_den : 1.0;
    const double vres = image->vres_den > 0 && image->vres_num > 0 ? double(image->vres_num) / image->vres_den : 1.0;
    long fw = W;
    long fh = std::max(1L, static_cast<long>(static_cast<double>(W * ih / iw) * (hres / vres)));
    if (fh > H) {
        fh = H;
        fw = std::clamp(static_cast<long>(static_cast<double>(H * iw / ih) * (vres / hres)), 1L, W);
    }
    const long left = (W - fw) / 2, top = (H - fh) / 2;

    const Settings& set = settings();
    const uint8_t back[4] = {static_cast<uint8_t>(set.back_color[0]), static_cast<uint8_t>(set.back_color[1]),
                             static_cast<uint8_t>(set.back_color[2]), 255};
    const bool blend = set.pref(PREF_FILMSTRIP_BLEND_ALPHA) && image->alpha != 0;
    const int blend_colour[3] = {static_cast<int>(set.alpha_color[0] & 255), static_cast<int>(set.alpha_color[1] & 255),
                                 static_cast<int>(set.alpha_color[2] & 255)};

    Meter meter("Film", H);
    for (long y = 0; y < H; ++y) {
        uint8_t* out = slot->row(static_cast<int>(y));
        const bool inside_rows = y >= top && y < top + fh;
        const uint8_t* src_row = inside_rows ? image->row(static_cast<int>((y - top) * ih / fh)) : nullptr;
        for (long x = 0; x < W; ++x, out += 4) {
            if (!inside_rows || x < left || x >= left + fw) {
                std::memcpy(out, back, 4);
                continue;
            }
            const uint8_t* s = src_row + 4 * ((x - left) * iw / fw);
            if (blend) {
                const int a = s[3];
                for (int c = 0; c < 3; ++c)
                    out[c] = static_cast<uint8_t>((s[c] * a + blend_colour[c] * (255 - a)) / 255);
                out[3] = 255;
            } else {
                std::memcpy(out, s, 4);
            }
        }
        progress_update(y + 1);
    }
    g_film.used[index] = 1;
    if (g_film.last_drawn == index)
        g_film.last_drawn = -1;
    tell_window(false);
    return 0;
}

// ---- the film file -------------------------------------------------------------

int SaveFilm(const char* name)
{
    if (!g_film.slots || g_film.frames < 1) {
        message_show(msg::NoFilmStrip);
        return 1;
    }
    const long W = g_film.width, H = g_film.height, N = g_film.frames;
    if (!header_fits(W, H, N)) {
        std::string text = std::string(name) + "\nA film file holds at most 4096 frames of 1024 x 1024 pixels.";
        message_show(msg::ProblemWriting, text.c_str());
        return 1;
    }
    uint8_t* buffer = static_cast<uint8_t*>(mem_alloc(W * H * 3, "fiim"));
    if (!buffer) {
        message_show(msg::FilmNoRealMemory);
        return 1;
    }
    struct Free {
        uint8_t*& p;
        ~Free() { p = mem_free_t(p); }
    } free_buffer{buffer};

    SafeWrite out(name);
    FILE* f = out.open("wb");
    uint8_t header[16] = {'M', 'F', 'L', 'M'};
    put32(header + 4, W);
    put32(header + 8, H);
    put32(header + 12, N);
    if (!f || std::fwrite(header, 1, 16, f) != 16) {
        message_show(msg::ProblemWriting, name);
        return 1;
    }
    Meter meter("Writing film", N);
    const long plane = W * H;
    for (long i = 0; i < N; ++i) {
        Image* frame = film_frame(i);
        if (frame) {
            ImageLock lock(frame);
            if (!lock) {
                note("Not enough real memory for save.");
                return 1;
            }
            for (long y = 0; y < H; ++y) {
                const uint8_t* px = frame->row(static_cast<int>(y));
                uint8_t* r = buffer + y * W;
                uint8_t* g = r + plane;
                uint8_t* b = g + plane;
                for (long x = 0; x < W; ++x, px += 4) {
                    r[x] = px[0];
                    g[x] = px[1];
                    b[x] = px[2];
                }
            }
        } else {
            std::memset(buffer, 0, static_cast<size_t>(plane * 3));
        }
        if (std::fwrite(buffer, 1, static_cast<size_t>(plane * 3), f) != static_cast<size_t>(plane * 3)) {
            message_show(msg::ProblemWriting, name);
            return 1;
        }
        if (progress_update(i + 1))
            return 1;
    }
    return safe_write_commit(out, msg::ProblemWriting);
}

namespace {

// Frames of another file decoded one after another into the film.
struct FrameSource {
    virtual ~FrameSource() = default;
    // Decodes the next frame into a locked image of the source's size:
    // 1 a frame, 0 no further frame, -1 failed (the user was told).
    virtual int next(Image* into) = 0;
};

// Replaces the film by the frames of `source`: the smaller of the file's
// frame count and the film's (the file's when there is no film yet; up to
// the film's limit when the file does not say), at the file's size.  The
// film stays as it was unless at least one frame was read.
int load_frames(const char* name, long file_frames, long width, long height, const char* caption,
                FrameSource& source)
{
    long limit = g_film.slots && g_film.frames > 0 ? g_film.frames : kFilmMaxFrames;
    long count = file_frames > 0 ? std::min(file_frames, limit) : limit;
    auto** slots = static_cast<Image**>(mem_alloc(count * static_cast<long>(sizeof(Image*)), "Film"));
    uint8_t* used = static_cast<uint8_t*>(mem_alloc(count + kUsedExtra, "FmUsed"));
    if (!slots || !used) {
        slots = mem_free_t(slots);
        used = mem_free_t(used);
        message_show(msg::FilmNoMemory, name);
        return 1;
    }
    std::fill(slots, slots + count, nullptr);
    std::memset(used, 0, static_cast<size_t>(count + kUsedExtra));
    long got = 0;
    bool failed = false;
    {
        Meter meter(caption, count);
        for (long i = 0; i < count; ++i) {
            Image* frame = codec_new_image(width, height, "aflm");
            if (!frame) {
                message_show(msg::NoMemoryFilmFrame, name);
                failed = true;
                break;
            }
            if (image_lock(frame) != 0) {
                image_unlock(frame);
                image_free(frame);
                message_show(msg::FilmNoRealMemory, name);
                failed = true;
                break;
            }
            int rc = source.next(frame);
            image_unlock(frame);
            if (rc != 1) {
                image_free(frame);
                failed = rc < 0;
                break;
            }
            frame->hres_num = frame->vres_num = 72;
            frame->hres_den = frame->vres_den = 1;
            slots[i] = frame;
            used[i] = 1;
            ++got;
            if (progress_update(i + 1)) {
                failed = true;
                break;
            }
        }
    }
    if (got == 0) {
        slots = mem_free_t(slots);
        used = mem_free_t(used);
        if (!failed)
            note((std::string("The file holds no frame: ") + name).c_str());
        return 1;
    }
    film_release();
    g_film.slots = slots;
    g_film.used = used;
    g_film.frames = file_frames > 0 ? count : got;
    g_film.width = width;
    g_film.height = height;
    g_film.current = 0;
    tell_window(true);
    return failed ? 1 : 0;
}

struct AviSource : FrameSource {
    AviReader& reader;
    explicit AviSource(AviReader& r) : reader(r) {}
    int next(Image* into) override { return reader.next(into); }
};

int load_avi(const char* name)
{
    AviReader reader;
    if (reader.open(name) != 0)
        return 1;
    AviSource source(reader);
    return load_frames(name, reader.frames(), reader.width(), reader.height(), "Loading AVI", source);
}

struct FlicSource : FrameSource {
    FlicFrames& flic;
    long index = 0;
    explicit FlicSource(FlicFrames& f) : flic(f) {}
    int next(Image* into) override
    {
        long at = flic.seek(index);
        if (at < 0)
            return -1;
        if (at != index || flic.empty())
            return 0;  // a frame that could not be decoded ends the film there
        const FlicState& st = flic.state();
        for (long y = 0; y < st.height; ++y) {
            const uint8_t* s = st.frame + y * st.width;
            uint8_t* d = into->row(static_cast<int>(y));
            for (long x = 0; x < st.width; ++x, d += 4) {
                const uint8_t* rgb = st.palette + 3 * s[x];
                d[0] = rgb[0], d[1] = rgb[1], d[2] = rgb[2], d[3] = 255;
            }
        }
        ++index;
        return 1;
    }
};

int load_flic(const char* name)
{
    FlicFrames flic;
    if (flic.open(name) != 0) {
        note((std::string("Could not open the animation.\n") + name).c_str());
        return 1;
    }
    const FlicHeader& h = flic.header();
    FlicSource source(flic);
    return load_frames(name, std::max(h.frames, 1L), h.width, h.height, "Loading AutoDesk FLIC", source);
}

struct GifSource : FrameSource {
    GifFrames& gif;
    bool ended = false;
    explicit GifSource(GifFrames& g) : gif(g) {}
    int next(Image* into) override
    {
        if (ended)
            return 0;
        int rc = gif.next();
        if (rc == 0)
            return 0;
        ended = rc == 2;  // drawn as far as its data went; nothing follows
        for (long y = 0; y < gif.height(); ++y)
            std::memcpy(into->row(static_cast<int>(y)), gif.canvas() + 4 * y * gif.width(),
                        static_cast<size_t>(4 * gif.width()));
        return 1;
    }
};

int load_gif(const char* name)
{
    GifFrames gif;
    if (gif.open(name) != 0)
        return 1;
    if (gif.aspect_refused()) {
        note((std::string("Invalid GIF format\n") + name).c_str());
        return 1;
    }
    GifSource source(gif);
    return load_frames(name, 0, gif.width(), gif.height(), "Reading GIF image", source);
}

} // namespace

int LoadFilm(const char* name)
{
    FileCloser file{std::fopen(name, "rb")};
    if (!file.f) {
        message_show(msg::CannotOpenRequested, name);
        return 1;
    }
    uint8_t head[16] = {};
    size_t got = std::fread(head, 1, 16, file.f);
    if (got < 4 || std::memcmp(head, "MFLM", 4) != 0) {
        if (got >= 6 && head[5] == 0xAF && (head[4] == 0x11 || head[4] == 0x12)) {
            std::fclose(file.f);
            file.f = nullptr;
            return load_flic(name);
        }
        if (got >= 6 && std::memcmp(head, "GIF", 3) == 0) {
            std::fclose(file.f);
            file.f = nullptr;
            return load_gif(name);
        }
        if (got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI", 3) == 0) {
            std::fclose(file.f);
            file.f = nullptr;
            return load_avi(name);
        }
        note((std::string("File is not a valid filmstrip") + ": " + name).c_str());
        return 1;
    }
    if (got < 16) {
        message_show(msg::FilmFileDamaged, name);
        return 1;
    }
    const long W = get32(head + 4), H = get32(head + 8), N = get32(head + 12);
    if (!header_fits(W, H, N)) {
        message_show(msg::FilmFileDamaged, name);
        return 1;
    }
    if (W != g_film.width || H != g_film.height || N != g_film.frames || !g_film.slots) {
        film_release();
        g_film.width = W;
        g_film.height = H;
        g_film.frames = N;
        if (AllocateFilm() != 0)
            return 1;
    }
    uint8_t* plane = static_cast<uint8_t*>(mem_alloc(W * H, "Fibu"));
    if (!plane) {
        message_show(msg::NoMemoryOperation, name);
        return 1;
    }
    struct Free {
        uint8_t*& p;
        ~Free() { p = mem_free_t(p); }
    } free_plane{plane};

    int result = 0;
    {
        Meter meter("Reading film", N);
        for (long i = 0; i < N; ++i) {
            Image*& slot = g_film.slots[i];
            if (slot) {
                image_free(slot);
                slot = nullptr;
            }
            g_film.used[i] = 0;
            slot = image_new(W, H, "aflm");
            if (!slot) {
                note("Not enough memory for film.");
                result = 1;
                break;
            }
            ImageLock lock(slot);
            if (!lock) {
                note("Not enough real memory for film.");
                result = 1;
                break;
            }
            if (!read_planes(file.f, slot, plane, W, H)) {
                // What was read before stays; the frame cut short goes.
                lock.release();
                image_free(slot);
                slot = nullptr;
                message_show(msg::FilmFileDamaged, name);
                result = 1;
                break;
            }
            g_film.used[i] = 1;
            progress_update(i + 1);
        }
    }
    tell_window(false);
    return result;
}

Image* ReadFilmFrame(const LoadRequest& request)
{
    log_printf("Reading \"%s\" as a stream .FLM\n", request.name);
    FILE* f = request.stream;
    uint8_t head[16];
    if (!f) {
        message_show(msg::CannotOpenImage, request.name);
        return nullptr;
    }
    if (std::fread(head, 1, 16, f) != 16) {
        message_show(msg::NoFileHeader, request.name);
        return nullptr;
    }
    if (std::memcmp(head, "MFLM", 4) != 0) {
        message_show(msg::IncorrectFileType, request.name);
        return nullptr;
    }
    const long W = get32(head + 4), H = get32(head + 8), N = get32(head + 12);
    if (!header_fits(W, H, N)) {
        message_show(msg::FilmFileDamaged, request.name);
        return nullptr;
    }
    long index = film_choose_frame(N, 1.0 / 30.0);
    if (index < 0)
        return nullptr;
    index = std::min(index, N - 1);
    log_printf("film strip:  Width %4ld Height %4ld NFrames %4ld\n", W, H, N);
    // The frame must be there before its image is made.
    const long frame_bytes = W * H * 3;
    if (request.file_size >= 0 && 16 + (index + 1) * frame_bytes > request.file_size) {
        message_show(msg::FileTruncated, request.name);
        return nullptr;
    }
    Image* image = codec_io::new_image(W, H, "iflm", request.name);
    if (!image)
        return nullptr;
    std::snprintf(image->type_name, sizeof image->type_name, "FiLM");
    image->bits = 24;
    image->frame_number = static_cast<int32_t>(index + 1);
    image->frame_count = static_cast<int32_t>(N);
    uint8_t* plane = static_cast<uint8_t*>(mem_alloc(W * H, "Fibu"));
    bool ok = plane && std::fseek(f, 16 + index * frame_bytes, SEEK_SET) == 0;
    if (ok) {
        Meter meter("Film load", 3);
        ok = read_planes(f, image, plane, W, H);
        progress_update(3);
    }
    plane = mem_free_t(plane);
    image_unlock(image);
    if (!ok) {
        image_free(image);
        message_show(msg::FileTruncated, request.name);
        return nullptr;
    }
    return image;
}

int film_info(const LoadRequest& request, ImageInfo* info)
{
    uint8_t head[16];
    if (!request.stream || std::fread(head, 1, 16, request.stream) != 16) {
        message_show(msg::NoFileHeader, request.name);
        return 1;
    }
    const long W = get32(head + 4), H = get32(head + 8), N = get32(head + 12);
    if (std::memcmp(head, "MFLM", 4) != 0 || !header_fits(W, H, N)) {
        message_show(msg::FilmFileDamaged, request.name);
        return 1;
    }
    info->width = W;
    info->height = H;
    info->bits = 24;
    info->frames = N;
    return 0;
}

// ---- exports -------------------------------------------------------------------

long film_export_count(long frames, bool pingpong)
{
    return pingpong && frames >= 3 ? 2 * frames - 2 : frames;
}

long film_export_frame(long step, long frames)
{
    return step < frames ? step : 2 * frames - 2 - step;
}

namespace {

// The frames as an export hands them on: the placed frames, and the
// background colour for an empty slot.
class ExportFrames {
public:
    ~ExportFrames()
    {
        if (background_)
            image_free(background_);
    }
    // Checks the film (message 19, message 74); false when it cannot be exported.
    bool check()
    {
        if (!g_film.slots || film_filled() == 0) {
            message_show(msg::NoFilmStrip);
            return false;
        }
        if (film_filled() < g_film.frames)
            message_show(msg::IncompleteFrames);
        return true;
    }
    // The image of slot i, or the background frame; null after telling why.
    Image* frame(long i)
    {
        if (Image* f = film_frame(i))
            return f;
        if (!background_) {
            background_ = image_new(g_film.width, g_film.height, "fbak");
            ImageLock lock(background_);
            if (!lock) {
                if (background_)
                    image_free(background_);
                background_ = nullptr;
                message_show(msg::NoMemoryFilmFrame);
                return nullptr;
            }
            const Settings& set = settings();
            const uint8_t back[4] = {static_cast<uint8_t>(set.back_color[0]), static_cast<uint8_t>(set.back_color[1]),
                                     static_cast<uint8_t>(set.back_color[2]), 255};
            for (long y = 0; y < g_film.height; ++y) {
                uint8_t* px = background_->row(static_cast<int>(y));
                for (long x = 0; x < g_film.width; ++x, px += 4)
                    std::memcpy(px, back, 4);
            }
        }
        return background_;
    }

private:
    Image* background_ = nullptr;
};

// The file name of an export: the dialog, then the extension.
bool ask_name(const char* title, const char* filter, const char* extension, const char* suggested, char* name)
{
    std::string chosen = ui::platform().choose_file(true, title, filter, suggested ? suggested : "");
    if (chosen.empty() || chosen.size() + 5 >= static_cast<size_t>(kImagePathMax))
        return false;
    std::snprintf(name, kImagePathMax, "%s", chosen.c_str());
    EnsureExtension(name, kImagePathMax, extension);
    return true;
}

// The user's palette choice for the export's frames: the common palette
// made current for the writers that reduce with the user's palette mode.
class CurrentPalette {
public:
    CurrentPalette() : saved_(render_state()) {}
    ~CurrentPalette() { render_state() = saved_; }
    void use(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int colours)
    {
        render_set_current_palette(red, green, blue, colours);
        render_state().palette_mode = PALETTE_CURRENT;
    }
    CurrentPalette(const CurrentPalette&) = delete;
    CurrentPalette& operator=(const CurrentPalette&) = delete;

private:
    RenderState saved_;
};

bool valid_delay(int delay)
{
    if (delay >= 0 && delay <= 9999)
        return true;
    note("The frame delay is 0 to 9999 hundredths of a second.");
    return false;
}

// The questions of an animation export: the file, the parameters dialog
// (when `dialog`, for GIF and MNG) and a delay the formats can hold.
bool ask_animation(const char* title, const char* filter, const char* extension, const char* suggested, bool dialog,
                   char* name, FilmExportOptions& options, int& delay)
{
    if (!ask_name(title, filter, extension, suggested, name))
        return false;
    if (dialog && g_parameters_dialog && !g_parameters_dialog(options))
        return false;
    delay = film_delay(options);
    return valid_delay(delay);
}

} // namespace

int film_common_palette(uint8_t* red, uint8_t* green, uint8_t* blue)
{
    // The chooser's histogram over every frame: the frames' rows stacked in
    // one picture, every k-th row when the film is large.
    const long W = g_film.width, H = g_film.height, N = g_film.frames;
    constexpr long kMaxPixels = 8L << 20;
    const long total_rows = H * N;
    const long step = std::max(1L, (total_rows * W + kMaxPixels - 1) / kMaxPixels);
    const long rows = (total_rows + step - 1) / step;
    Image* all = image_new(W, rows, "Fpal");
    ImageLock lock(all);
    if (!lock) {
        if (all)
            image_free(all);
        return 0;
    }
    ExportFrames frames;
    long out = 0;
    {
        Meter meter("Generating palette", total_rows);
        for (long r = 0; r < total_rows && out < rows; r += step) {
            Image* f = frames.frame(r / H);
            if (!f)
                break;
            ImageLock fl(f);
            if (!fl)
                break;
            std::memcpy(all->row(static_cast<int>(out++)), f->row(static_cast<int>(r % H)), static_cast<size_t>(W) * 4);
            if ((out & 63) == 0 && progress_update(r))
                break;
        }
    }
    int colours = out == rows ? render_choose_palette(all, 256, red, green, blue) : 0;
    lock.release();
    image_free(all);
    return colours;
}

int ExportFilmMng(const char* suggested, const FilmExportOptions& given)
{
    ExportFrames frames;
    if (!frames.check())
        return 1;
    char name[kImagePathMax];
    FilmExportOptions options = given;
    int delay = 0;
    if (!ask_animation("Save MNG animation", "MNGs (*.MNG)|*.MNG|", ".mng", suggested, true, name, options, delay))
        return 1;
    MngPalette common{};
    const MngPalette* palette = nullptr;
    if (options.common_palette) {
        common.count = film_common_palette(common.red, common.green, common.blue);
        if (common.count == 0)
            return 1;
        palette = &common;
    }
    log_printf("Writing MNG ANIM\n");
    const long n = g_film.frames, steps = film_export_count(n, options.pingpong);
    // The film's delay in hundredths; MNG counts ticks of 1/50 s.
    if (OpenMngAnimation(steps, g_film.width, g_film.height, name, (delay + 1) / 2, options.loop ? 1 : 0, palette) != 0) {
        note("Unable to open MNG animation");
        return 1;
    }
    Meter meter("Saving Filmstrip", steps);
    for (long s = 0; s < steps; ++s) {
        Image* f = frames.frame(film_export_frame(s, n));
        if (!f || WriteMngFrame(f, s) != 0) {
            note("Unable to write MNG animation frame");
            CloseMngAnimation();
            return 1;
        }
        progress_update(s + 1);
    }
    CloseMngAnimation();
    return 0;
}

int ExportFilmAvi(const char* suggested, const FilmExportOptions& given)
{
    ExportFrames frames;
    if (!frames.check())
        return 1;
    char name[kImagePathMax];
    FilmExportOptions options = given;
    int delay = 0;
    if (!ask_animation("Save Film as AVI", "AVI files (*.AVI)|*.AVI|", ".avi", suggested, false, name, options, delay))
        return 1;
    AviWriter writer;
    // A delay of 0 plays as fast as the format lets a player: 100 frames a second.
    if (writer.open(name, g_film.width, g_film.height, 100, std::max(delay, 1), options.mjpeg) != 0)
        return 1;
    const long n = g_film.frames, steps = film_export_count(n, options.pingpong);
    Meter meter("Saving Filmstrip", steps);
    for (long s = 0; s < steps; ++s) {
        Image* f = frames.frame(film_export_frame(s, n));
        if (!f)
            return 1;
        ImageLock lock(f, msg::FilmNoRealMemory);
        if (!lock || writer.write(f) != 0)
            return 1;
        if (progress_update(s + 1))
            return 1;
    }
    return writer.finish();
}

int ExportFilmGif(const char* suggested, const FilmExportOptions& given)
{
    ExportFrames frames;
    if (!frames.check())
        return 1;
    char name[kImagePathMax];
    FilmExportOptions options = given;
    int delay = 0;
    if (!ask_animation("Save GIF animation", "GIFs (*.GIF)|*.GIF|", ".gif", suggested, true, name, options, delay))
        return 1;
    CurrentPalette palette;
    if (options.common_palette) {
        uint8_t red[256], green[256], blue[256];
        int colours = film_common_palette(red, green, blue);
        if (colours == 0)
            return 1;
        palette.use(red, green, blue, colours);
    }
    log_printf("Writing GIF ANIM\n");
    const long n = g_film.frames, steps = film_export_count(n, options.pingpong);
    if (OpenGifAnimation(steps, g_film.width, g_film.height, name, delay, options.loop ? 1 : 0) != 0) {
        note("Unable to open GIF animation");
        return 1;
    }
    {
        Meter meter("Saving Filmstrip", steps);
        for (long s = 0; s < steps; ++s) {
            Image* f = frames.frame(film_export_frame(s, n));
            if (!f || WriteGifFrame(f, s) != 0) {
                note("Unable to write GIF animation frame");
                // The file named stays as it was.
                gif_animation_abandon();
                return 1;
            }
            if (progress_update(s + 1)) {
                gif_animation_abandon();
                return 1;
            }
        }
    }
    return CloseGifAnimation() == 0 ? 0 : 1;
}

int ExportFilmFlic(const char* suggested, const FilmExportOptions& options)
{
    (void)options;
    ExportFrames frames;
    if (!frames.check())
        return 1;
    char name[kImagePathMax];
    if (!ask_name("Save Film as FLIC", "FLICs (*.FLC)|*.FLC|", ".flc", suggested, name))
        return 1;
    // The frames grow a temporary file in place, put there at the end.
    SafeWrite file(name);
    const char* out = file.temp_path();
    const long n = g_film.frames;
    Meter meter("Saving FLICK", n);
    for (long i = 0; i < n; ++i) {
        Image* f = frames.frame(i);
        if (!f || WriteFlicFrame(f, out, i, i > 0 ? out : nullptr, name) != 0)
            return 1;
        if (progress_update(i + 1))
            return 1;
    }
    return safe_write_commit(file, msg::ProblemWriting);
}

int film_save_dialog(const char* suggested)
{
    if (!g_film.slots) {
        message_show(msg::NoFilmStrip);
        return 1;
    }
    std::string chosen = ui::platform().choose_file(true, "Save Film strip", "Film strips (*.FLM)|*.FLM|",
                                                    suggested ? suggested : "");
    if (chosen.empty() || chosen.size() + 5 >= static_cast<size_t>(kImagePathMax))
        return 1;
    char name[kImagePathMax];
    std::snprintf(name, sizeof name, "%s", chosen.c_str());
    EnsureExtension(name, sizeof name, ".flm");
    return SaveFilm(name);
}

int film_load_dialog(const char* suggested)
{
    std::string chosen = ui::platform().choose_file(false, "Load Film strip", "Film strips (*.FLM)|*.FLM|",
                                                    suggested ? suggested : "");
    if (chosen.empty())
        return 1;
    return LoadFilm(chosen.c_str());
}
