// The MNG writer.  libmng keeps the chunks put through its chunk interface
// and writes the whole stream once the last frame is in: MHDR, TERM, FRAM,
// the global PLTE when the frames share a palette, then per frame IHDR,
// PLTE, one IDAT and IEND, and MEND.
#include "formats/mng.h"

#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/safe_write.h"
#include "core/settings.h"
#include "render/reduce.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The shared library is built with every feature; MNG_USE_SO declares them.
#define MNG_USE_SO
#include <libmng.h>

namespace {

constexpr mng_uint32 kTicksPerSecond = 50;
// The simplicity profile: valid (bit 0), with the "simple" features TERM
// and FRAM (bit 1), no transparency, no JNG, no delta images.
constexpr mng_uint32 kSimplicity = 0x3;
constexpr mng_uint32 kForever = 0x7FFFFFFF;

struct MngWriter {
    mng_handle handle;
    SafeWrite* out;
    FILE* file;
    long width, height, frames, last;
    long delay;
    int loop;
    bool common;
    MngPalette palette;
    bool write_failed;
    int write_errno;  // why the stream could not be written
};

MngWriter* g_mng = nullptr;

mng_ptr MNG_DECL mng_alloc(mng_size_t size)
{
    return std::calloc(1, size);
}

void MNG_DECL mng_release(mng_ptr p, mng_size_t)
{
    std::free(p);
}

// The writer opens and closes the file itself.
mng_bool MNG_DECL mng_open_stream(mng_handle)
{
    return MNG_TRUE;
}

mng_bool MNG_DECL mng_close_stream(mng_handle)
{
    return MNG_TRUE;
}

mng_bool MNG_DECL mng_write_data(mng_handle handle, mng_ptr buffer, mng_uint32 length, mng_uint32p written)
{
    auto* w = static_cast<MngWriter*>(mng_get_userdata(handle));
    size_t n = std::fwrite(buffer, 1, length, w->file);
    *written = static_cast<mng_uint32>(n);
    if (n != length) {
        w->write_failed = true;
        w->write_errno = errno;
    }
    return n == length ? MNG_TRUE : MNG_FALSE;
}

void release_writer()
{
    if (!g_mng)
        return;
    if (g_mng->handle)
        mng_cleanup(&g_mng->handle);
    if (g_mng->out) {
        g_mng->out->abandon();
        delete g_mng->out;
    }
    g_mng = static_cast<MngWriter*>(mem_free(g_mng));
}

// Fails the animation with the note `text`; returns 1.
int fail(const char* text)
{
    note(text);
    release_writer();
    return 1;
}

void to_palette8(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int count, mng_palette8 out)
{
    std::memset(out, 0, sizeof(mng_palette8));
    for (int i = 0; i < count && i < 256; ++i) {
        out[i].iRed = red[i];
        out[i].iGreen = green[i];
        out[i].iBlue = blue[i];
    }
}

struct Buffers {
    uint8_t** rows = nullptr;
    uint8_t* data = nullptr;
    uint8_t* filtered = nullptr;
    uint8_t* packed = nullptr;
    ~Buffers()
    {
        rows = mem_free_t(rows);
        data = mem_free_t(data);
        filtered = mem_free_t(filtered);
        packed = mem_free_t(packed);
    }
};

} // namespace

bool mng_animation_open()
{
    return g_mng != nullptr;
}

void CloseMngAnimation()
{
    release_writer();
}

int OpenMngAnimation(long frames, long width, long height, const char* name, long delay, int loop,
                     const MngPalette* common)
{
    release_writer();
    if (frames < 1 || width < 1 || height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return fail("MNG Cannot allocate a data buffer.\n");
    g_mng = static_cast<MngWriter*>(mem_alloc(sizeof(MngWriter), "mngdata"));
    if (!g_mng) {
        note("MNG Cannot allocate a data buffer.\n");
        return 1;
    }
    std::memset(g_mng, 0, sizeof *g_mng);
    g_mng->width = width;
    g_mng->height = height;
    g_mng->frames = frames;
    g_mng->last = frames - 1;
    g_mng->delay = delay;
    g_mng->loop = loop;
    if (common && common->count >= 1) {
        g_mng->common = true;
        g_mng->palette = *common;
        if (g_mng->palette.count > 256)
            g_mng->palette.count = 256;
    }
    g_mng->out = new SafeWrite(name);
    g_mng->file = g_mng->out->open("wb");
    if (!g_mng->file) {
        char text[400];
        std::snprintf(text, sizeof text, "MNG Cannot open output file %s.\n", name);
        return fail(text);
    }

    mng_handle h = mng_initialize(g_mng, mng_alloc, mng_release, MNG_NULL);
    if (h == MNG_NULL)
        return fail("MNG Cannot initialize libmng.");
    g_mng->handle = h;
    if (mng_setcb_openstream(h, mng_open_stream) != MNG_NOERROR)
        return fail("MNG openstream callback setup failed");
    if (mng_setcb_closestream(h, mng_close_stream) != MNG_NOERROR)
        return fail("MNG closestream callback setup failed");
    if (mng_setcb_writedata(h, mng_write_data) != MNG_NOERROR)
        return fail("MNG writedata callback setup failed");
    if (mng_create(h) != MNG_NOERROR)
        return fail("MNG mng_create() failed");

    if (mng_putchunk_mhdr(h, static_cast<mng_uint32>(width), static_cast<mng_uint32>(height), kTicksPerSecond,
                          static_cast<mng_uint32>(frames + 1), static_cast<mng_uint32>(frames), kForever,
                          kSimplicity) != MNG_NOERROR)
        return fail("MNG mng_putchunk_mhdr() failed");
    mng_retcode rc = loop ? mng_putchunk_term(h, 3, 0, static_cast<mng_uint32>(delay), kForever)
                          : mng_putchunk_term(h, 0, 0, 0, 0);
    if (rc != MNG_NOERROR)
        return fail("MNG mng_putchunk_term() failed");
    // Framing mode 1; the delay changes for all frames that follow.
    if (mng_putchunk_fram(h, MNG_FALSE, 1, 0, MNG_NULL, 2, 0, 0, 0, static_cast<mng_uint32>(delay), 0, 0, 0, 0, 0,
                          0, 0, MNG_NULL) != MNG_NOERROR)
        return fail("MNG mng_putchunk_fram() failed");
    if (g_mng->common) {
        mng_palette8 pal;
        to_palette8(g_mng->palette.red, g_mng->palette.green, g_mng->palette.blue, g_mng->palette.count, pal);
        if (mng_putchunk_plte(h, static_cast<mng_uint32>(g_mng->palette.count), pal) != MNG_NOERROR)
            return fail("MNG mng_putchunk_plte() failed");
    }
    log_printf("MNG animation %s: %ld frames of %ld x %ld, delay %ld ticks, loop %d\n", name, frames, width, height,
               delay, loop);
    return 0;
}

int WriteMngFrame(Image* image, long index)
{
    if (!g_mng || !g_mng->handle) {
        note("MNG: Frame save without prior mng_open");
        return 1;
    }
    const long w = g_mng->width, h = g_mng->height;
    Buffers b;
    b.rows = static_cast<uint8_t**>(mem_alloc(h * static_cast<long>(sizeof(uint8_t*)), "mng_rptrs"));
    if (!b.rows)
        return fail("MNG: Could not get RPTRS");
    ImageLock lock(image);
    if (!lock)
        return fail("MNG unable to lock image");
    if (static_cast<long>(image->width) != w || image->height != h)
        return fail("MNG unable to build rendered image");

    uint8_t red[256] = {}, green[256] = {}, blue[256] = {};
    ReduceInfo info;
    if (g_mng->common) {
        std::memcpy(red, g_mng->palette.red, 256);
        std::memcpy(green, g_mng->palette.green, 256);
        std::memcpy(blue, g_mng->palette.blue, 256);
        b.data = render_reduce(image, red, green, blue, REDUCE_256, PALETTE_SUPPLIED, settings().ordered != 0, false,
                               render_state().strength, &info);
    } else {
        b.data = render_reduce_default(image, REDUCE_256, red, green, blue, &info);
    }
    if (!b.data)
        return fail("MNG unable to build rendered image");
    for (long y = 0; y < h; ++y)
        b.rows[y] = b.data + y * info.stride;

    mng_handle hd = g_mng->handle;
    if (mng_putchunk_ihdr(hd, static_cast<mng_uint32>(w), static_cast<mng_uint32>(h), 8, 3, 0, 0, 0) != MNG_NOERROR)
        return fail("MNG mng_putchunk_ihdr() failed");
    mng_palette8 pal;
    int colours = info.colours > 0 && info.colours <= 256 ? info.colours : 256;
    to_palette8(red, green, blue, colours, pal);
    // With the common palette, an empty PLTE refers to the global one.
    if (mng_putchunk_plte(hd, g_mng->common ? 0 : static_cast<mng_uint32>(colours), pal) != MNG_NOERROR)
        return fail("MNG mng_putchunk_plte() failed");

    const long row_bytes = w + 1;
    const long raw = row_bytes * h;
    b.filtered = static_cast<uint8_t*>(mem_alloc(raw, "imdtmngbuf"));
    if (!b.filtered)
        return fail("MNG unable to allocate intermediate mng buffer");
    for (long y = 0; y < h; ++y) {
        b.filtered[y * row_bytes] = 0;  // filter type None
        std::memcpy(b.filtered + y * row_bytes + 1, b.rows[y], static_cast<size_t>(w));
    }
    uLongf packed = compressBound(static_cast<uLong>(raw));
    b.packed = static_cast<uint8_t*>(mem_alloc(static_cast<long>(packed), "zcmpr_mng"));
    if (!b.packed || compress2(b.packed, &packed, b.filtered, static_cast<uLong>(raw), Z_DEFAULT_COMPRESSION) != Z_OK)
        return fail("MNG unable to allocate intermediate mng buffer");
    char text[80];
    if (mng_putchunk_idat(hd, static_cast<mng_uint32>(packed), b.packed) != MNG_NOERROR ||
        mng_putchunk_iend(hd) != MNG_NOERROR) {
        std::snprintf(text, sizeof text, "MNG mng_putchunk_iend() failed in frame #%ld", index);
        return fail(text);
    }
    if (index < g_mng->last)
        return 0;

    if (mng_putchunk_mend(hd) != MNG_NOERROR) {
        std::snprintf(text, sizeof text, "MNG mng_putchunk_mend() failed in frame #%ld", index);
        return fail(text);
    }
    int err = 0;
    if (mng_write(hd) != MNG_NOERROR || g_mng->write_failed)
        err = g_mng->write_errno ? g_mng->write_errno : EIO;
    else {
        mng_cleanup(&g_mng->handle);
        err = g_mng->out->commit();
    }
    if (err) {
        std::string why = std::string("MNG mng_write() failed in final frame\n") + g_mng->out->target() + ": " +
                          std::strerror(err);
        return fail(why.c_str());
    }
    delete g_mng->out;
    g_mng->out = nullptr;
    release_writer();
    return 0;
}
