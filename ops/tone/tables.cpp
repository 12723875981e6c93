// The table operations (Contrast, Brightness, Gamma, Color Fill, Balance,
// Histogram) and the other in-place workers of the Standard Group (Remap,
// Colorize).
#include "ops/tone/tone.h"

#include "areas/area_mask.h"
#include "core/bytes.h"
#include "core/image.h"
#include "core/mem.h"
#include "core/settings.h"
#include "ops/appliers.h"
#include "ops/framework.h"
#include "ops/profiles.h"
#include "ops/tone/colour_space.h"
#include "ops/tone/tone_internal.h"

#include <cstdlib>
#include <cstring>

namespace {

struct ToneTables {
    int32_t* t[4];  // "rhist", "ghist", "bhist", "ahist"
    HistogramCounts counts;
};
ToneTables g_tables;

// The gamma curve: how far each level moves at the strongest setting, in
// two-hundredths of the amount.
const int8_t kGammaCurve[256] = {
    0,   1,   2,   3,   4,   5,   6,   8,   10,  9,   8,   7,   6,   5,   4,   4,   3,   2,   2,   2,   1,   0,
    0,   0,   -1,  -2,  -3,  -4,  -4,  -5,  -6,  -6,  -7,  -8,  -8,  -9,  -9,  -10, -10, -11, -11, -12, -13, -14,
    -14, -15, -16, -16, -17, -18, -18, -19, -19, -20, -20, -21, -21, -22, -22, -23, -23, -24, -24, -25, -25, -26,
    -27, -28, -28, -29, -29, -30, -31, -31, -32, -32, -33, -34, -34, -35, -35, -36, -36, -37, -37, -38, -38, -39,
    -39, -40, -40, -41, -41, -42, -42, -43, -43, -44, -44, -45, -45, -46, -46, -47, -47, -48, -49, -50, -50, -51,
    -51, -52, -53, -54, -55, -56, -56, -57, -58, -58, -59, -60, -60, -61, -62, -62, -63, -64, -64, -65, -66, -66,
    -67, -68, -68, -69, -69, -70, -70, -70, -70, -70, -71, -71, -71, -72, -72, -72, -72, -72, -73, -73, -73, -74,
    -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -74, -75, -75, -75, -75, -75, -75, -75, -75,
    -75, -76, -76, -76, -76, -76, -77, -77, -77, -78, -78, -78, -78, -78, -78, -78, -78, -78, -78, -78, -78, -78,
    -78, -78, -78, -78, -78, -77, -77, -77, -77, -77, -77, -77, -76, -74, -73, -72, -70, -68, -67, -66, -64, -62,
    -61, -60, -58, -56, -55, -54, -52, -50, -49, -48, -46, -44, -43, -42, -40, -38, -37, -36, -34, -32, -31, -30,
    -28, -26, -24, -23, -22, -20, -17, -14, -11, -8,  -6,  -4,  -2,  0,
};

void fill_all(int (*f)(int i, int arg), int arg)
{
    for (int i = 0; i < 256; ++i) {
        int v = clamp255(f(i, arg));
        for (int c = 0; c < 4; ++c)
            g_tables.t[c][i] = v;
    }
}

bool tables_ready()
{
    return g_tables.t[0] && g_tables.t[1] && g_tables.t[2] && g_tables.t[3];
}

} // namespace

int32_t* tone_table(int channel)
{
    return channel >= 0 && channel < 4 ? g_tables.t[channel] : nullptr;
}

bool tone_tables_init()
{
    static const char* const labels[4] = {"rhist", "ghist", "bhist", "ahist"};
    for (int c = 0; c < 4; ++c) {
        if (!g_tables.t[c])
            g_tables.t[c] = mem_alloc_as<int32_t>(256, labels[c]);
        if (!g_tables.t[c]) {
            tone_tables_release();
            return false;
        }
        for (int i = 0; i < 256; ++i)
            g_tables.t[c][i] = i;
    }
    return true;
}

void tone_tables_release()
{
    for (int32_t*& t : g_tables.t)
        if (t)
            t = mem_free_t(t);
}

const HistogramCounts& histogram_counts()
{
    return g_tables.counts;
}

// ---- the table worker ---------------------------------------------------------

void table_worker(uint8_t* p, int w)
{
    const int32_t *tr = g_tables.t[0], *tg = g_tables.t[1], *tb = g_tables.t[2];
    const int nr = tr[p[0]], ng = tg[p[1]], nb = tb[p[2]];
    if (w == 255) {
        p[0] = static_cast<uint8_t>(nr);
        p[1] = static_cast<uint8_t>(ng);
        p[2] = static_cast<uint8_t>(nb);
    } else {
        p[0] = static_cast<uint8_t>(mix_weight(nr, p[0], w));
        p[1] = static_cast<uint8_t>(mix_weight(ng, p[1], w));
        p[2] = static_cast<uint8_t>(mix_weight(nb, p[2], w));
    }
}

int contrast_prepare(Image*, int)
{
    const int a = tone_params().contrast;
    if (a == 0 || !tables_ready())
        return op_refuse_no_change();
    fill_all([](int i, int amount) { return (i - 128) * (amount + 100) / 100 + 128; }, a);
    return 0;
}

int brightness_prepare(Image*, int)
{
    const int a = tone_params().brightness;
    if (a == 0 || !tables_ready())
        return op_refuse_no_change();
    fill_all([](int i, int amount) { return (amount + 100) * i / 100; }, a);
    return 0;
}

int gamma_prepare(Image*, int)
{
    const int g = tone_params().gamma;
    if (g == 0 || !tables_ready())
        return op_refuse_no_change();
    fill_all([](int i, int amount) { return i - amount * kGammaCurve[i] / 200; }, g);
    return 0;
}

int color_fill_prepare(Image*, int)
{
    if (!tables_ready())
        return 1;
    const ToneParams& p = tone_params();
    // The colour last filled with is kept with the preferences.
    for (int c = 0; c < 3; ++c)
        settings().color_fill[c] = clamp255(p.fill[c]);
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < 3; ++c)
            g_tables.t[c][i] = clamp255(p.fill[c]);
        g_tables.t[3][i] = i;
    }
    return 0;
}

int balance_prepare(Image*, int)
{
    if (!tables_ready())
        return 1;
    const ToneParams& p = tone_params();
    if (p.balance_method == 0) {
        bool change = false;
        for (int c = 0; c < 3; ++c)
            change |= clamp255(p.balance_pivot[c]) != clamp255(p.balance_level[c]);
        if (!change)
            return op_refuse_no_change();
        for (int c = 0; c < 3; ++c) {
            const int P = clamp255(p.balance_pivot[c]), Q = clamp255(p.balance_level[c]);
            for (int i = 0; i < 256; ++i) {
                int v;
                if (i < P)
                    v = i * Q / (P > 1 ? P : 1);
                else if (i == P)
                    v = Q;
                else
                    v = Q + (i - P) * (255 - Q) / (255 - P > 1 ? 255 - P : 1);
                g_tables.t[c][i] = clamp255(v);
            }
        }
        for (int i = 0; i < 256; ++i)
            g_tables.t[3][i] = i;
        return 0;
    }
    const int lo = clamp255(p.balance_level[0]), hi = clamp255(p.balance_level[1]);
    if (lo == 0 && hi == 255)
        return op_refuse_no_change();
    // The gain (per thousand) stretches lo..hi over the whole range.
    const int k = 255 * 1000 / (hi - lo > 1 ? hi - lo : 1);
    for (int i = 0; i < 256; ++i) {
        int v = i < lo ? 0 : (i < hi ? clamp255((i - lo) * k / 1000) : 255);
        for (int c = 0; c < 4; ++c)
            g_tables.t[c][i] = v;
    }
    return 0;
}

// ---- Histogram ----------------------------------------------------------------

bool histogram_measuring()
{
    return tone_params().hist_measure != 0;
}

void histogram_build_tables()
{
    if (!tables_ready())
        return;
    const ToneParams& p = tone_params();
    const int16_t* grey = profile_find("histo");
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < 3; ++c)
            g_tables.t[c][i] = p.hist_locked ? clamp255(grey[i * 200 / 255]) : p.hist_curve[c][i];
        g_tables.t[3][i] = i;
    }
}

// Measuring: the counts of every channel value within the selection.
int histogram_measure(Image* target, uint8_t* mask)
{
    HistogramCounts& h = g_tables.counts;
    std::memset(&h, 0, sizeof h);
    AreaRect r = area_mask().rect;
    if (!area_rect_clip(target, r))
        return 0;
    for (int y = r.y0; y <= r.y1; ++y) {
        const uint8_t* row = target->row(y);
        const uint8_t* m = mask + target->rows[y];
        for (int x = r.x0; x <= r.x1; ++x) {
            if (!m[x])
                continue;
            const uint8_t* px = row + 4 * x;
            for (int c = 0; c < 4; ++c)
                ++h.counts[c][px[c]];
            ++h.pixels;
        }
    }
    return 0;
}

// ---- Remap and Colorize ------------------------------------------------------------

// Without a "from" palette no colour is matched.
int remap_prepare(Image*, int)
{
    if (tone_params().remap_from.count <= 0)
        return op_refuse_no_change();
    return 0;
}

void remap_worker(uint8_t* p, int)
{
    const ToneParams& tp = tone_params();
    const OpPalette& from = tp.remap_from;
    const OpPalette& to = tp.remap_to;
    const int n = from.count < kPaletteColours ? from.count : kPaletteColours;
    if (n <= 0)
        return;
    const int r = p[0], g = p[1], b = p[2];
    for (int i = 0; i < n; ++i) {
        if (std::abs(r - from.red[i]) + std::abs(g - from.green[i]) + std::abs(b - from.blue[i]) > tp.remap_tolerance)
            continue;
        int k = static_cast<int>((static_cast<long>(i) + tp.remap_offset) % n);
        if (k < 0)
            k += n;
        p[0] = clamp255(r - from.red[i] + to.red[k]);
        p[1] = clamp255(g - from.green[i] + to.green[k]);
        p[2] = clamp255(b - from.blue[i] + to.blue[k]);
        return;
    }
}

void colorize_worker(uint8_t* p, int m)
{
    const ToneParams& tp = tone_params();
    const bool alpha = op_state().alpha_mode;
    HlsColour c{};
    if (alpha)
        c.r = c.g = c.b = p[3];
    else
        c.r = p[0], c.g = p[1], c.b = p[2];
    rgb_to_hls(c);
    int hue = tp.colorize_hue % 360;
    c.hue = static_cast<int16_t>(hue < 0 ? hue + 360 : hue);
    if (tp.colorize_set_saturation)
        c.saturation = static_cast<int16_t>(tp.colorize_saturation < 0 ? 0
                                            : tp.colorize_saturation > 100 ? 100
                                                                           : tp.colorize_saturation);
    hls_to_rgb(c);
    if (alpha) {
        const int a = p[3];
        const int br = mix_weight(c.r, a, m), bg = mix_weight(c.g, a, m), bb = mix_weight(c.b, a, m);
        p[3] = static_cast<uint8_t>(kLumaRed[br] + kLumaGreen[bg] + kLumaBlue[bb]);
        return;
    }
    p[0] = static_cast<uint8_t>(mix_weight(c.r, p[0], m));
    p[1] = static_cast<uint8_t>(mix_weight(c.g, p[1], m));
    p[2] = static_cast<uint8_t>(mix_weight(c.b, p[2], m));
}
