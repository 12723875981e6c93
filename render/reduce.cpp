#include "render/reduce.h"

#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "render/choose.h"
#include "render/render_tables.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace render_tables;

namespace {

RenderState g_render;
bool g_render_ready = false;

void fill_fixed(uint8_t* red, uint8_t* green, uint8_t* blue)
{
    for (int r = 0; r <= 6; ++r)
        for (int g = 0; g <= 7; ++g)
            for (int b = 0; b <= 3; ++b) {
                int i = r * 32 + g * 4 + b;
                red[i] = static_cast<uint8_t>(r * 255 / 6);
                green[i] = static_cast<uint8_t>(g * 255 / 7);
                blue[i] = static_cast<uint8_t>(b * 255 / 3);
            }
    for (int i = 224; i <= 244; ++i)
        red[i] = green[i] = blue[i] = static_cast<uint8_t>((i - 224) * 255 / 21);
    for (int i = 245; i <= 255; ++i)
        red[i] = green[i] = blue[i] = 255;
}

RenderState& state()
{
    if (!g_render_ready)
        render_reset();
    return g_render;
}

enum Outcome { DONE = 0, NO_MEMORY = 1, CANCELLED = 2 };

struct Job {
    Image* image;
    uint8_t* out;
    long stride;
    int width, height;
    int strength;
    uint8_t pal[3][256];
    int size;
    const char* caption;
};

// The meter of the row loop, open for as long as the loop runs.
struct RowMeter {
    RowMeter(const Job& j) { progress_open(j.caption, j.height, 10); }
    ~RowMeter() { progress_close(); }
};

// Rows are reported every 8 rows; true when the user cancelled.
inline bool row_report(int y)
{
    return (y & 7) == 0 && progress_update(y);
}

Outcome convert_direct(Job& j, int kind)
{
    RowMeter meter(j);
    for (int y = 0; y < j.height; ++y) {
        if (row_report(y))
            return CANCELLED;
        const uint8_t* px = j.image->row(y);
        uint8_t* o = j.out + j.stride * y;
        switch (kind) {
        case REDUCE_24:
            for (int x = 0; x < j.width; ++x, px += 4, o += 3) {
                o[0] = px[2];
                o[1] = px[1];
                o[2] = px[0];
            }
            break;
        case REDUCE_24_RGB:
            for (int x = 0; x < j.width; ++x, px += 4, o += 3) {
                o[0] = px[0];
                o[1] = px[1];
                o[2] = px[2];
            }
            break;
        case REDUCE_ALPHA:
            for (int x = 0; x < j.width; ++x, px += 4)
                *o++ = px[3];
            break;
        case REDUCE_32:
            for (int x = 0; x < j.width; ++x, px += 4, o += 4) {
                o[0] = px[2];
                o[1] = px[1];
                o[2] = px[0];
                o[3] = px[3];
            }
            break;
        case REDUCE_256_GREYS:
            for (int x = 0; x < j.width; ++x, px += 4)
                *o++ = static_cast<uint8_t>(grey(px[0], px[1], px[2]));
            break;
        }
    }
    return DONE;
}

// Per channel value: its cube index and half its distance above the index's
// level, which the ordered patterns compare with their thresholds.
template <int Top>
constexpr std::array<uint8_t, 512> ordered_steps()
{
    std::array<uint8_t, 512> t{};
    for (int v = 0; v < 256; ++v) {
        int index = v * Top / 255;
        t[static_cast<size_t>(v)] = static_cast<uint8_t>(index);
        t[static_cast<size_t>(256 + v)] = static_cast<uint8_t>((v - index * 255 / Top) / 2);
    }
    return t;
}
constexpr std::array<uint8_t, 512> kStepRed = ordered_steps<6>();
constexpr std::array<uint8_t, 512> kStepGreen = ordered_steps<7>();
constexpr std::array<uint8_t, 512> kStepBlue = ordered_steps<3>();
constexpr std::array<uint8_t, 512> kStepGrey = ordered_steps<20>();

// The patterns repeat along a row every 63 (red), 12 (green), 210 (blue)
// and 20 (grey) pixels.
constexpr int kPeriodRed = 63, kPeriodGreen = 12, kPeriodBlue = 210, kPeriodGrey = 20;

Outcome ordered_fixed(Job& j)
{
    RowMeter meter(j);
    uint8_t tr[kPeriodRed], tg[kPeriodGreen], tb[kPeriodBlue], tk[kPeriodGrey];
    for (int y = 0; y < j.height; ++y) {
        if (row_report(y))
            return CANCELLED;
        for (int x = 0; x < kPeriodRed; ++x)
            tr[x] = kPatternRed[((x / 3 + y) % 3) * 7 + (y / 2 + x) % 7];
        for (int x = 0; x < kPeriodGreen; ++x)
            tg[x] = kPatternGreen[((x / 2 + y) % 6) * 3 + (y / 3 + x) % 3];
        for (int x = 0; x < kPeriodBlue; ++x)
            tb[x] = kPatternBlue[((x / 5 + y) % 7) * 6 + (y / 4 + x) % 6];
        for (int x = 0; x < kPeriodGrey; ++x)
            tk[x] = static_cast<uint8_t>(((y / 4 + x) % 4) * ((x / 4 + y) % 5));
        const uint8_t* px = j.image->row(y);
        uint8_t* o = j.out + j.stride * y;
        int xr = 0, xg = 0, xb = 0, xk = 0;
        for (int x = 0; x < j.width; ++x, px += 4) {
            const int R = px[0], G = px[1], B = px[2];
            // Every value lies at or above its level, and only 255 sits at the
            // top index, where the distance is 0: a step up never leaves the range.
            if ((R >> 2) == (G >> 2) && (G >> 2) == (B >> 2)) {
                o[x] = static_cast<uint8_t>(224 + kStepGrey[G] + (kStepGrey[256 + G] > tk[xk]));
            } else {
                int r = kStepRed[R] + (kStepRed[256 + R] > tr[xr]);
                int g = kStepGreen[G] + (kStepGreen[256 + G] > tg[xg]);
                int b = kStepBlue[B] + (kStepBlue[256 + B] > tb[xb]);
                o[x] = static_cast<uint8_t>(b + g * 4 + r * 32);
            }
            if (++xr == kPeriodRed)
                xr = 0;
            if (++xg == kPeriodGreen)
                xg = 0;
            if (++xb == kPeriodBlue)
                xb = 0;
            if (++xk == kPeriodGrey)
                xk = 0;
        }
    }
    return DONE;
}

// Ordered dithering to any palette: each entry knows, per channel, the
// entry reached by moving up and down that channel alone, and a pixel moves
// to it when its share of the step beats the 4 x 4 threshold.
Outcome ordered_palette(Job& j, PaletteLookup& lookup)
{
    uint8_t up[256][3], down[256][3];
    progress_open("Setting Quantization Directions", j.size, 10);
    for (int p = 0; p < j.size; ++p) {
        if (progress_update(p)) {
            progress_close();
            return CANCELLED;
        }
        for (int c = 0; c < 3; ++c) {
            int col[3] = {j.pal[0][p], j.pal[1][p], j.pal[2][p]};
            int q = p;
            for (int v = j.pal[c][p] + 1; v <= 255 && q == p; ++v) {
                col[c] = v;
                q = lookup.nearest(col[0], col[1], col[2]);
            }
            up[p][c] = static_cast<uint8_t>(q);
            col[c] = j.pal[c][p];
            q = p;
            for (int v = j.pal[c][p] - 1; v >= 0 && q == p; --v) {
                col[c] = v;
                q = lookup.nearest(col[0], col[1], col[2]);
            }
            down[p][c] = static_cast<uint8_t>(q);
        }
    }
    progress_close();

    RowMeter meter(j);
    const int S = j.strength * 16 / 100;
    for (int y = 0; y < j.height; ++y) {
        if (row_report(y))
            return CANCELLED;
        const uint8_t* px = j.image->row(y);
        uint8_t* o = j.out + j.stride * y;
        for (int x = 0; x < j.width; ++x, px += 4) {
            int idx = lookup.nearest(px[0], px[1], px[2]);
            const int pos[3] = {(x % 4) + (y % 4) * 4, ((x + y + 1) % 4) + ((y + 3) % 4) * 4,
                                ((x + 2) % 4) + ((x + y) % 4) * 4};
            for (int c = 0; c < 3; ++c) {
                int e = px[c] - j.pal[c][idx];
                if (e == 0)
                    continue;
                int next = e > 0 ? up[idx][c] : down[idx][c];
                int d = j.pal[c][next] - j.pal[c][idx];
                if (d == 0)
                    d = 1;
                if (e * S / d > kMatrix4[pos[c]])
                    idx = next;
            }
            o[x] = static_cast<uint8_t>(idx);
        }
    }
    return DONE;
}

// The share of the carried error a pixel takes, by the sum of the two
// errors it inherits (-510..510): strength percent of half that sum.
struct CarryTable {
    int16_t share[1021];
    explicit CarryTable(int strength)
    {
        for (int sum = -510; sum <= 510; ++sum)
            share[sum + 510] = static_cast<int16_t>(sum / 2 * strength / 100);
    }
    int operator()(int sum) const { return share[sum + 510]; }
};

// Serpentine error diffusion: even rows left to right, odd rows right to
// left; each pixel takes the strength's share of the mean of the error of
// the pixel before it and of the pixel above it.
template <class Map>
Outcome diffuse_colour(Job& j, Map map)
{
    auto* err = static_cast<int16_t*>(mem_alloc(3L * j.width * 2, "Rerr"));
    if (!err)
        return NO_MEMORY;
    int16_t* col[3] = {err, err + j.width, err + 2L * j.width};
    const CarryTable carry(j.strength);
    Outcome outcome = DONE;
    RowMeter meter(j);
    for (int y = 0; y < j.height; ++y) {
        if (row_report(y)) {
            outcome = CANCELLED;
            break;
        }
        const uint8_t* row = j.image->row(y);
        uint8_t* o = j.out + j.stride * y;
        int prev[3] = {0, 0, 0};
        const int step = (y & 1) ? -1 : 1;
        for (int x = (y & 1) ? j.width - 1 : 0, n = 0; n < j.width; ++n, x += step) {
            const uint8_t* px = row + 4L * x;
            int v[3];
            for (int c = 0; c < 3; ++c)
                v[c] = std::clamp(px[c] + carry(prev[c] + col[c][x]), 0, 255);
            int idx = map(v[0], v[1], v[2]);
            for (int c = 0; c < 3; ++c) {
                int e = v[c] - j.pal[c][idx];
                prev[c] = e;
                col[c][x] = static_cast<int16_t>(e);
            }
            o[x] = static_cast<uint8_t>(idx);
        }
    }
    mem_free(err);
    return outcome;
}

// 16 greys (entry i is 17i) or black and white, diffused like the colours.
Outcome diffuse_grey(Job& j, bool black_white)
{
    auto* col = static_cast<int16_t*>(mem_alloc(2L * j.width, "Rerr"));
    if (!col)
        return NO_MEMORY;
    const CarryTable carry(j.strength);
    Outcome outcome = DONE;
    RowMeter meter(j);
    for (int y = 0; y < j.height; ++y) {
        if (row_report(y)) {
            outcome = CANCELLED;
            break;
        }
        const uint8_t* row = j.image->row(y);
        uint8_t* o = j.out + j.stride * y;
        int prev = 0;
        const int step = (y & 1) ? -1 : 1;
        for (int x = (y & 1) ? j.width - 1 : 0, n = 0; n < j.width; ++n, x += step) {
            const uint8_t* px = row + 4L * x;
            int v = std::clamp(grey(px[0], px[1], px[2]) + carry(prev + col[x]), 0, 255);
            int idx, left;
            if (black_white) {
                idx = v > 127 ? 1 : 0;
                left = idx ? v - 255 : v;
            } else {
                idx = v / 16;
                left = v - 17 * idx;
            }
            prev = left;
            col[x] = static_cast<int16_t>(left);
            o[x] = static_cast<uint8_t>(idx);
        }
    }
    mem_free(col);
    return outcome;
}

int bits_of(int kind)
{
    switch (kind) {
    case REDUCE_24:
    case REDUCE_24_RGB:
        return 24;
    case REDUCE_32:
        return 32;
    case REDUCE_16:
    case REDUCE_16_GREYS:
        return 4;
    case REDUCE_BW:
        return 1;
    default:
        return 8;
    }
}

const char* caption_of(int kind)
{
    switch (kind) {
    case REDUCE_256:
    case REDUCE_16:
        return "Color Render";
    case REDUCE_256_GREYS:
    case REDUCE_16_GREYS:
        return "Gray Render";
    case REDUCE_BW:
        return "B & W Render";
    default:
        return "- Conversion -";
    }
}

bool indexed(int kind)
{
    return kind >= REDUCE_256 && kind <= REDUCE_BW;
}

// The palette of a kind whose palette does not depend on the mode.
void kind_palette(Job& j, int kind)
{
    if (kind == REDUCE_256_GREYS) {
        for (int i = 0; i < 256; ++i)
            j.pal[0][i] = j.pal[1][i] = j.pal[2][i] = static_cast<uint8_t>(i);
    } else if (kind == REDUCE_16_GREYS) {
        for (int i = 0; i < 16; ++i)
            j.pal[0][i] = j.pal[1][i] = j.pal[2][i] = static_cast<uint8_t>(17 * i);
    } else if (kind == REDUCE_BW) {
        j.pal[0][0] = j.pal[1][0] = j.pal[2][0] = 0;
        j.pal[0][1] = j.pal[1][1] = j.pal[2][1] = 255;
    }
}

Outcome render(Job& j, int kind, int mode, bool ordered)
{
    if (kind == REDUCE_16_GREYS || kind == REDUCE_BW)
        return diffuse_grey(j, kind == REDUCE_BW);
    if (!indexed(kind) || kind == REDUCE_256_GREYS)
        return convert_direct(j, kind);
    if (mode == PALETTE_FIXED) {
        if (kind == REDUCE_16)
            return diffuse_colour(j, [](int r, int g, int b) {
                return static_cast<int>(kTable512[static_cast<size_t>((r >> 5) << 6 | (g >> 5) << 3 | (b >> 5))]);
            });
        if (ordered)
            return ordered_fixed(j);
        return diffuse_colour(j, [](int r, int g, int b) {
            if ((r >> 5) == (g >> 5) && (g >> 5) == (b >> 5)) {
                int k = (r + g + b) * 21 / 767;
                return k >= 3 ? 224 + k : 0;
            }
            return kCubeRed[static_cast<size_t>(r)] * 32 + kCubeGreen[static_cast<size_t>(g)] * 4 +
                   kCubeBlue[static_cast<size_t>(b)];
        });
    }
    PaletteLookup lookup;
    if (!lookup.build(j.pal[0], j.pal[1], j.pal[2], j.size))
        return NO_MEMORY;
    if (kind == REDUCE_256 && ordered)
        return ordered_palette(j, lookup);
    return diffuse_colour(j, [&lookup](int r, int g, int b) { return lookup.nearest(r, g, b); });
}

} // namespace

// ---- state -----------------------------------------------------------------

RenderState& render_state()
{
    return state();
}

void render_reset()
{
    g_render_ready = true;
    fill_fixed(g_render.red, g_render.green, g_render.blue);
    g_render.colours = 256;
    g_render.palette_mode = PALETTE_CHOSEN;
    g_render.strength = 100;
}

void render_set_current_palette(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int colours)
{
    RenderState& s = state();
    colours = std::clamp(colours, 2, 256);
    std::memmove(s.red, red, static_cast<size_t>(colours));
    std::memmove(s.green, green, static_cast<size_t>(colours));
    std::memmove(s.blue, blue, static_cast<size_t>(colours));
    s.colours = colours;
}

int render_grey(int r, int g, int b)
{
    return grey(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
}

void render_fixed_palette(uint8_t* red, uint8_t* green, uint8_t* blue)
{
    fill_fixed(red, green, blue);
}

void render_fixed16_palette(uint8_t* red, uint8_t* green, uint8_t* blue)
{
    for (int i = 0; i < 16; ++i) {
        red[i] = kFixed16[i][0];
        green[i] = kFixed16[i][1];
        blue[i] = kFixed16[i][2];
    }
}

int reduce_type_for_bits(int bits)
{
    switch (bits) {
    case 8:
        return REDUCE_256;
    case 4:
        return REDUCE_16;
    case 1:
        return REDUCE_BW;
    case 24:
        return REDUCE_24;
    case 32:
        return REDUCE_32;
    default:
        return -1;
    }
}

// ---- the reduction -----------------------------------------------------------

uint8_t* render_reduce(Image* image, uint8_t* red, uint8_t* green, uint8_t* blue, int type, int palette_mode,
                       bool ordered, bool store_palette, int strength, ReduceInfo* info)
{
    ReduceInfo local;
    if (!info)
        info = &local;
    *info = ReduceInfo{};
    if (!image || type < REDUCE_24 || type > REDUCE_32)
        return nullptr;
    if (palette_mode < PALETTE_FIXED || palette_mode > PALETTE_SUPPLIED)
        palette_mode = PALETTE_FIXED;
    if (palette_mode == PALETTE_SUPPLIED && (!red || !green || !blue))
        palette_mode = PALETTE_CURRENT;
    RenderState& s = state();

    int kind = type;
    if (palette_mode == PALETTE_GREYS && type == REDUCE_256)
        kind = REDUCE_256_GREYS;
    else if (palette_mode == PALETTE_GREYS && type == REDUCE_16)
        kind = REDUCE_16_GREYS;

    Job j{};
    j.image = image;
    j.strength = std::clamp(strength, 0, 100);
    j.size = kind == REDUCE_256 || kind == REDUCE_256_GREYS ? 256
             : kind == REDUCE_16 || kind == REDUCE_16_GREYS ? 16
             : kind == REDUCE_BW                            ? 2
                                                            : 0;
    if ((kind == REDUCE_256 || kind == REDUCE_16) &&
        (palette_mode == PALETTE_CHOSEN || palette_mode == PALETTE_CURRENT) && s.colours < j.size)
        j.size = std::max(s.colours, 2);

    // The palette starts as the current one; the caller's in mode 4.
    if (palette_mode == PALETTE_SUPPLIED) {
        std::memcpy(j.pal[0], red, 256);
        std::memcpy(j.pal[1], green, 256);
        std::memcpy(j.pal[2], blue, 256);
    } else {
        std::memcpy(j.pal[0], s.red, 256);
        std::memcpy(j.pal[1], s.green, 256);
        std::memcpy(j.pal[2], s.blue, 256);
        if (red && green && blue) {
            std::memcpy(red, s.red, 256);
            std::memcpy(green, s.green, 256);
            std::memcpy(blue, s.blue, 256);
        }
    }

    // Locked here unless the caller holds it locked already.
    ImageLock lock;
    if (!image->pixels && !lock.acquire(image))
        return nullptr;
    j.width = static_cast<int>(image->width);
    j.height = image->height;

    log_printf("Rendering %3d colors to %d bits\n", j.size, bits_of(kind));

    long bytes_per = kind == REDUCE_32 ? 4 : (kind == REDUCE_24 || kind == REDUCE_24_RGB) ? 3 : 1;
    j.stride = kind == REDUCE_24 ? (3L * j.width + 3) & ~3L : bytes_per * j.width;
    Outcome outcome = DONE;
    j.out = static_cast<uint8_t*>(mem_alloc((j.width + 4L) * j.height * bytes_per, "Rend"));
    if (!j.out)
        outcome = NO_MEMORY;

    if (outcome == DONE && kind == REDUCE_256 && palette_mode == PALETTE_FIXED)
        fill_fixed(j.pal[0], j.pal[1], j.pal[2]);
    else if (outcome == DONE && kind == REDUCE_16 && palette_mode == PALETTE_FIXED)
        render_fixed16_palette(j.pal[0], j.pal[1], j.pal[2]);
    else if (outcome == DONE && (kind == REDUCE_256 || kind == REDUCE_16) && palette_mode == PALETTE_CHOSEN) {
        int chosen = 0;
        outcome = static_cast<Outcome>(choose_palette(image, j.size, j.pal[0], j.pal[1], j.pal[2], &chosen));
        if (outcome == DONE)
            j.size = chosen;
    } else
        kind_palette(j, kind);

    if (outcome == DONE) {
        j.caption = caption_of(kind);
        outcome = render(j, kind, palette_mode, ordered);
    }

    lock.release();
    if (outcome != DONE) {
        j.out = mem_free_t(j.out);
        if (outcome == NO_MEMORY)
            error_box("Not enough memory to render");
        info->cancelled = outcome == CANCELLED;
        return nullptr;
    }

    info->kind = kind;
    info->bits = bits_of(kind);
    info->colours = indexed(kind) ? j.size : 0;
    info->stride = j.stride;
    if (indexed(kind)) {
        if (red && green && blue) {
            std::memcpy(red, j.pal[0], static_cast<size_t>(j.size));
            std::memcpy(green, j.pal[1], static_cast<size_t>(j.size));
            std::memcpy(blue, j.pal[2], static_cast<size_t>(j.size));
        }
        if (store_palette)
            render_set_current_palette(j.pal[0], j.pal[1], j.pal[2], j.size);
    }
    return j.out;
}

uint8_t* render_reduce_default(Image* image, int type, uint8_t* red, uint8_t* green, uint8_t* blue,
                               ReduceInfo* info)
{
    const RenderState& s = state();
    return render_reduce(image, red, green, blue, type, s.palette_mode, settings().ordered != 0, false, s.strength,
                         info);
}
