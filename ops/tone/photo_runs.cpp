// Run forms of the Photo Group's workers that go to HSV and back, and of
// Saturation: eight pixels at a time where the processor allows, else the
// per-pixel worker for each.  Every run form gives exactly its worker's
// colours; parameters outside the ranges the lanes are proved for take the
// per-pixel path too.
#include "ops/appliers.h"
#include "ops/tone/colour_lanes.h"
#include "ops/tone/tone.h"
#include "ops/tone/tone_internal.h"

namespace {

template <uint32_t (*Worker)(uint32_t)>
void each(const uint8_t* in, uint32_t* out, int from, int count)
{
    for (int i = from; i < count; ++i)
        out[i] = Worker(pixel_load(in + 4 * i));
}

// A hue shift as the turn 0..359 it makes.  hsv_to_rgb gives hue 360 the
// colour of hue 0, so hue + turn, less 360 when it reaches 360, stands for
// the worker's wrapping.
int hue_turn(int shift)
{
    shift %= 360;
    return shift < 0 ? shift + 360 : shift;
}

#ifdef GLIMVQ_HAVE_LANES

using lanes::V;

GLIMVQ_AVX2 int hue_lanes(const uint8_t* in, uint32_t* out, int count, int turn)
{
    const V by = lanes::splat(turn), last = lanes::splat(359), whole = lanes::splat(360);
    return lanes::map16(in, out, count, [&](V p) GLIMVQ_AVX2 {
        const lanes::Hsv c = lanes::hsv_of(p);
        V hue = lanes::add(c.hue, by);
        hue = lanes::sub(hue, _mm256_and_si256(_mm256_cmpgt_epi32(hue, last), whole));
        return lanes::keep_alpha(p, lanes::rgb_of(hue, c.saturation, c.value));
    });
}

// factor = amount + 100, 0..255.
GLIMVQ_AVX2 int value_lanes(const uint8_t* in, uint32_t* out, int count, int factor)
{
    const V f = lanes::splat(factor), top = lanes::splat(255);
    return lanes::map16(in, out, count, [&](V p) GLIMVQ_AVX2 {
        const lanes::Hsv c = lanes::hsv_of(p);
        const V value = lanes::min(lanes::scale(lanes::mul(c.value, f), 5243, 19), top);
        return lanes::keep_alpha(p, lanes::rgb_of(c.hue, c.saturation, value, true));
    });
}

GLIMVQ_AVX2 int mono_green_lanes(const uint8_t* in, uint32_t* out, int count)
{
    return lanes::map16(in, out, count, [&](V p) GLIMVQ_AVX2 {
        const lanes::Hsv c = lanes::hsv_of(p);
        const V green = lanes::scale(lanes::channel(p, 8), 3213, 13);
        return lanes::keep_alpha(p, lanes::rgb_of(c.hue, c.saturation, lanes::min(c.value, green)));
    });
}

// Negative mode 5: hue, saturation, value each turned over when selected.
GLIMVQ_AVX2 int negative_hsv_lanes(const uint8_t* in, uint32_t* out, int count, bool hue, bool saturation,
                                   bool value)
{
    const V turn_hue = lanes::splat(hue ? -1 : 0), turn_sat = lanes::splat(saturation ? -1 : 0),
            turn_value = lanes::splat(value ? -1 : 0);
    const V full = lanes::splat(360), hundred = lanes::splat(100);
    return lanes::map16(in, out, count, [&](V p) GLIMVQ_AVX2 {
        const lanes::Hsv c = lanes::hsv_of(p);
        const V h = lanes::pick(c.hue, lanes::sub(full, c.hue), turn_hue);
        const V s = lanes::pick(c.saturation, lanes::sub(hundred, c.saturation), turn_sat);
        const V v = lanes::pick(c.value, lanes::sub(hundred, c.value), turn_value);
        return lanes::keep_alpha(p, lanes::rgb_of(h, s, v));
    });
}

// amount -100..100: c + (c − avg)·amount/100, the division toward zero.
GLIMVQ_AVX2 int saturation_lanes(const uint8_t* in, uint32_t* out, int count, int amount)
{
    const V a = lanes::splat(amount), top = lanes::splat(255), zero = _mm256_setzero_si256();
    return lanes::map16(in, out, count, [&](V p) GLIMVQ_AVX2 {
        const V r = lanes::channel(p, 0), g = lanes::channel(p, 8), b = lanes::channel(p, 16);
        const V avg = lanes::scale(lanes::add(r, lanes::add(g, b)), 683, 11);
        auto push = [&](V c) GLIMVQ_AVX2 {
            const V d = lanes::mul(lanes::sub(c, avg), a);
            const V q = _mm256_sign_epi32(lanes::scale(_mm256_abs_epi32(d), 5243, 19), d);
            return lanes::min(lanes::max(lanes::add(c, q), zero), top);
        };
        return lanes::keep_alpha(
            p, _mm256_or_si256(push(r), _mm256_or_si256(_mm256_slli_epi32(push(g), 8), _mm256_slli_epi32(push(b), 16))));
    });
}

#endif

} // namespace

void hue_run(const uint8_t* in, uint32_t* out, int count)
{
    int done = 0;
#ifdef GLIMVQ_HAVE_LANES
    if (lanes::available())
        done = hue_lanes(in, out, count, hue_turn(tone_params().hue_shift));
#endif
    each<hue_worker>(in, out, done, count);
}

void value_run(const uint8_t* in, uint32_t* out, int count)
{
    int done = 0;
#ifdef GLIMVQ_HAVE_LANES
    const int factor = tone_params().value + 100;
    if (lanes::available() && factor >= 0 && factor <= 255)
        done = value_lanes(in, out, count, factor);
#endif
    each<value_worker>(in, out, done, count);
}

void saturation_run(const uint8_t* in, uint32_t* out, int count)
{
    int done = 0;
#ifdef GLIMVQ_HAVE_LANES
    const int amount = tone_params().saturation;
    if (lanes::available() && amount >= -100 && amount <= 100)
        done = saturation_lanes(in, out, count, amount);
#endif
    each<saturation_worker>(in, out, done, count);
}

void mono_run(const uint8_t* in, uint32_t* out, int count)
{
    int done = 0;
#ifdef GLIMVQ_HAVE_LANES
    if (lanes::available() && tone_params().mono_method == 8)
        done = mono_green_lanes(in, out, count);
#endif
    each<mono_worker>(in, out, done, count);
}

void negative_run(const uint8_t* in, uint32_t* out, int count)
{
    const ToneParams& tp = tone_params();
    if (tp.negative_mode <= 0 || tp.negative_mode > 5) {
        // The plain negative flips the selected channels' bits.
        const uint32_t flip = pixel_make(tp.negative_select[0] ? 0xFF : 0, tp.negative_select[1] ? 0xFF : 0,
                                         tp.negative_select[2] ? 0xFF : 0, 0);
        for (int i = 0; i < count; ++i)
            out[i] = pixel_load(in + 4 * i) ^ flip;
        return;
    }
    int done = 0;
#ifdef GLIMVQ_HAVE_LANES
    if (lanes::available() && tp.negative_mode == 5)
        done = negative_hsv_lanes(in, out, count, tp.negative_select[0] != 0, tp.negative_select[1] != 0,
                                  tp.negative_select[2] != 0);
#endif
    each<negative_worker>(in, out, done, count);
}
