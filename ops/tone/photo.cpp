// The pixel-map workers of the Photo and Art Groups: each maps a colour to
// a new colour; the applier blends it into the image by the mask weight.
#include "core/bytes.h"
#include "ops/appliers.h"
#include "ops/framework.h"
#include "ops/tone/colour_space.h"
#include "ops/tone/tone.h"
#include "ops/tone/tone_internal.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Tables over the sum r + g + b (0..765) of Color Gel and Solarize.
struct SumTables {
    uint8_t gel[3][768];
    uint8_t solarize[3][768];
};
SumTables g_sum;

uint32_t with_colour(uint32_t pixel, int r, int g, int b)
{
    return (pixel & 0xFF000000u) | pixel_make(clamp255(r), clamp255(g), clamp255(b), 0);
}

int wrap360(int hue)
{
    hue %= 360;
    return hue < 0 ? hue + 360 : hue;
}

} // namespace

uint32_t mono_worker(uint32_t p)
{
    const int r = pixel_r(p), g = pixel_g(p), b = pixel_b(p);
    int v;
    switch (tone_params().mono_method) {
    case 1: v = (30 * r + 59 * g + 11 * b + 50) / 100; break;  // floor(0.3r + 0.59g + 0.11b + 0.5)
    case 2: v = r; break;
    case 3: v = g; break;
    case 4: v = b; break;
    case 5: v = (r + g) / 2; break;
    case 6: v = (r + b) / 2; break;
    case 7: v = (g + b) / 2; break;
    case 8: {
        // Value lowered to the green component where green is darker.
        HsvColour c{static_cast<int16_t>(r), static_cast<int16_t>(g), static_cast<int16_t>(b), 0, 0, 0};
        rgb_to_hsv(c);
        const int green = g * 100 / 255;
        if (green < c.value)
            c.value = static_cast<int16_t>(green);
        hsv_to_rgb(c);
        return with_colour(p, c.r, c.g, c.b);
    }
    default: v = (2 * (r + g + b) + 3) / 6; break;  // floor((r + g + b)/3 + 0.5)
    }
    return with_colour(p, v, v, v);
}

namespace {

// Modes 1 to 5, away from the plain negative's short path.
__attribute__((noinline)) uint32_t negative_other(uint32_t p)
{
    const ToneParams& tp = tone_params();
    const bool s0 = tp.negative_select[0] != 0, s1 = tp.negative_select[1] != 0, s2 = tp.negative_select[2] != 0;
    const int r = pixel_r(p), g = pixel_g(p), b = pixel_b(p);
    switch (tp.negative_mode) {
    case 1: {
        const int v = 255 - (r + g + b) / 3;
        return with_colour(p, v, v, v);
    }
    case 2: {
        const int v = 255 - (kLumaRed[r] + kLumaGreen[g] + kLumaBlue[b]);
        return with_colour(p, v, v, v);
    }
    case 3: {
        // Through cyan, magenta, yellow and black: the selected inks lose
        // their share of black.
        const int cr = 255 - r, cg = 255 - g, cb = 255 - b;
        const int k = std::min(cr, std::min(cg, cb));
        auto ink = [k](int c, bool selected) {
            const int part = selected ? 255 - c : c - k;
            return 255 - part - k;
        };
        return with_colour(p, ink(cr, s0), ink(cg, s1), ink(cb, s2));
    }
    case 4: {
        HlsColour c{static_cast<int16_t>(r), static_cast<int16_t>(g), static_cast<int16_t>(b), 0, 0, 0};
        rgb_to_hls(c);
        if (s0)
            c.hue = static_cast<int16_t>(360 - c.hue);
        if (s1)
            c.lightness = static_cast<int16_t>(100 - c.lightness);
        if (s2)
            c.saturation = static_cast<int16_t>(100 - c.saturation);
        hls_to_rgb(c);
        return with_colour(p, c.r, c.g, c.b);
    }
    case 5: {
        HsvColour c{static_cast<int16_t>(r), static_cast<int16_t>(g), static_cast<int16_t>(b), 0, 0, 0};
        rgb_to_hsv(c);
        if (s0)
            c.hue = static_cast<int16_t>(360 - c.hue);
        if (s1)
            c.saturation = static_cast<int16_t>(100 - c.saturation);
        if (s2)
            c.value = static_cast<int16_t>(100 - c.value);
        hsv_to_rgb(c);
        return with_colour(p, c.r, c.g, c.b);
    }
    default:
        return p;
    }
}

} // namespace

uint32_t negative_worker(uint32_t p)
{
    const ToneParams& tp = tone_params();
    if (tp.negative_mode == 0 || tp.negative_mode < 0 || tp.negative_mode > 5) {
        const uint32_t flip = (tp.negative_select[0] ? 0xFFu : 0u) | (tp.negative_select[1] ? 0xFF00u : 0u) |
                              (tp.negative_select[2] ? 0xFF0000u : 0u);
        return p ^ flip;
    }
    return negative_other(p);
}

// A warp pixel holds two displacements of 16 bits each (whole pixels biased
// by 2048 in the upper twelve bits, sixteenths below); negating one is
// reflecting it about the bias.
uint32_t negative_warp_worker(uint32_t p)
{
    auto negate = [](int hi, int lo) {
        int w = 65536 - (hi * 256 + lo);
        return w > 65535 ? 65535 : w;
    };
    const int dx = negate(pixel_r(p), pixel_g(p));
    const int dy = negate(pixel_b(p), pixel_a(p));
    return pixel_make(dx >> 8, dx & 0xFF, dy >> 8, dy & 0xFF);
}

uint32_t hue_worker(uint32_t p)
{
    HsvColour c{static_cast<int16_t>(pixel_r(p)), static_cast<int16_t>(pixel_g(p)), static_cast<int16_t>(pixel_b(p)),
                0, 0, 0};
    rgb_to_hsv(c);
    int hue = c.hue + tone_params().hue_shift;
    if (hue < 0 || hue > 360)
        hue = wrap360(hue);
    c.hue = static_cast<int16_t>(hue);
    hsv_to_rgb(c);
    return with_colour(p, c.r, c.g, c.b);
}

uint32_t value_worker(uint32_t p)
{
    HsvColour c{static_cast<int16_t>(pixel_r(p)), static_cast<int16_t>(pixel_g(p)), static_cast<int16_t>(pixel_b(p)),
                0, 0, 0};
    rgb_to_hsv(c);
    c.value = static_cast<int16_t>(clamp255(c.value * (tone_params().value + 100) / 100));
    hsv_to_rgb(c);
    return with_colour(p, c.r, c.g, c.b);
}

uint32_t saturation_worker(uint32_t p)
{
    const int r = pixel_r(p), g = pixel_g(p), b = pixel_b(p);
    const int avg = (r + g + b) / 3;
    const int a = tone_params().saturation;
    return with_colour(p, r + (r - avg) * a / 100, g + (g - avg) * a / 100, b + (b - avg) * a / 100);
}

uint32_t glare_worker(uint32_t p)
{
    const ToneParams& tp = tone_params();
    const int threshold = std::abs(10 * tp.glare_amount - 1100);
    const int r = pixel_r(p), g = pixel_g(p), b = pixel_b(p);
    const int s = r + g + b;
    if (s <= threshold)
        return p;
    const int step = threshold / 100 > 0 ? threshold / 100 : 1;
    const int k = (s - threshold) / step;
    if (tp.glare_direction == 0)
        return with_colour(p, r - k, g - k, b - k);
    return with_colour(p, r + k, g + k, b + k);
}

uint32_t antique_worker(uint32_t p)
{
    const int r = pixel_r(p), g = pixel_g(p), b = pixel_b(p);
    if (tone_params().antique_direction)
        return with_colour(p, r, g * 215 / 255, b * 175 / 255);
    return with_colour(p, r, g * 255 / 215, b * 255 / 175);
}

int gel_prepare(Image*, int)
{
    const ToneParams& tp = tone_params();
    const int on = (tp.gel[0] != 0) + (tp.gel[1] != 0) + (tp.gel[2] != 0);
    if (on == 0 || on == 3)
        return op_refuse_no_change();
    for (int c = 0; c < 3; ++c) {
        const int scale = tp.gel[c] ? 511 : 300;
        for (int s = 0; s < 768; ++s)
            g_sum.gel[c][s] = clamp255(scale * s / 765 - 256);
    }
    return 0;
}

uint32_t gel_worker(uint32_t p)
{
    const int s = pixel_r(p) + pixel_g(p) + pixel_b(p);
    return (p & 0xFF000000u) | pixel_make(g_sum.gel[0][s], g_sum.gel[1][s], g_sum.gel[2][s], 0);
}

uint32_t pseudo_worker(uint32_t p)
{
    const int r = pixel_r(p), g = pixel_g(p), b = pixel_b(p);
    return with_colour(p, (3 * r - 384) * 255 / 383, (384 - std::abs(3 * g - 384)) * 255 / 383,
                       (384 - 3 * b) * 255 / 383);
}

uint32_t false_color_worker(uint32_t p)
{
    return (p & 0xFF000000u) | pixel_make(pixel_b(p), pixel_r(p), pixel_g(p), 0);
}

int solarize_prepare(Image*, int)
{
    for (int s = 0; s < 768; ++s) {
        g_sum.solarize[0][s] = static_cast<uint8_t>(s < 256 ? s : 0);
        g_sum.solarize[1][s] = s < 512 ? clamp255(s - 256) : 0;
        g_sum.solarize[2][s] = clamp255(s - 512);
    }
    return 0;
}

uint32_t solarize_worker(uint32_t p)
{
    const int s = pixel_r(p) + pixel_g(p) + pixel_b(p);
    return (p & 0xFF000000u) | pixel_make(g_sum.solarize[0][s], g_sum.solarize[1][s], g_sum.solarize[2][s], 0);
}
