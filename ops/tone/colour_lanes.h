// The HSV conversions of eight pixels at once (AVX2), with exactly the
// results rgb_to_hsv and hsv_to_rgb give for each of them: the workers'
// run forms use them when the processor has AVX2 and fall back to the
// per-pixel workers otherwise.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#define GLIMVQ_HAVE_LANES 1
#include <immintrin.h>
#define GLIMVQ_AVX2 __attribute__((target("avx2")))
#endif

namespace lanes {

// floor(x·num/den) as (x·mul) >> shift, proved here for every x in 0..top.
constexpr bool exact_scaling(int num, int den, int mul, int shift, int top)
{
    for (long x = 0; x <= top; ++x)
        if ((x * mul) >> shift != x * num / den || x * mul > 0x7FFFFFFF)
            return false;
    return true;
}
// Percent of a byte (the value of the largest channel); byte of a percent
// up to 255 (value, lo, mid of hsv_to_rgb, which clamps them);
// hundredths of up to 100·255; sixtieths of a hue plus 59; thirds of r+g+b.
static_assert(exact_scaling(100, 255, 3213, 13, 255));
static_assert(exact_scaling(255, 100, 10445, 12, 255));
static_assert(exact_scaling(1, 100, 5243, 19, 25500));
static_assert(exact_scaling(1, 60, 547, 15, 360 + 59));
static_assert(exact_scaling(1, 3, 683, 11, 765));

#ifdef GLIMVQ_HAVE_LANES

inline bool available()
{
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

using V = __m256i;

GLIMVQ_AVX2 inline V splat(int v)
{
    return _mm256_set1_epi32(v);
}
GLIMVQ_AVX2 inline V load(const uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
GLIMVQ_AVX2 inline void store(uint32_t* p, V v)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
GLIMVQ_AVX2 inline V add(V a, V b)
{
    return _mm256_add_epi32(a, b);
}
GLIMVQ_AVX2 inline V sub(V a, V b)
{
    return _mm256_sub_epi32(a, b);
}
GLIMVQ_AVX2 inline V mul(V a, V b)
{
    return _mm256_mullo_epi32(a, b);
}
GLIMVQ_AVX2 inline V min(V a, V b)
{
    return _mm256_min_epi32(a, b);
}
GLIMVQ_AVX2 inline V max(V a, V b)
{
    return _mm256_max_epi32(a, b);
}
// a where the mask is clear, b where it is set.
GLIMVQ_AVX2 inline V pick(V a, V b, V mask)
{
    return _mm256_blendv_epi8(a, b, mask);
}
GLIMVQ_AVX2 inline V scale(V x, int mul, int shift)
{
    return _mm256_srli_epi32(_mm256_mullo_epi32(x, splat(mul)), shift);
}
GLIMVQ_AVX2 inline V channel(V p, int shift)
{
    return _mm256_and_si256(_mm256_srli_epi32(p, shift), splat(0xFF));
}
// The new colour with the old pixel's alpha, as the workers return it.
GLIMVQ_AVX2 inline V keep_alpha(V old, V colour)
{
    return _mm256_or_si256(_mm256_and_si256(old, splat(static_cast<int>(0xFF000000u))), colour);
}

// floor(n/d) for 0 <= n < 2^24 and d >= 1.  Both are exact as floats and the
// quotient is rounded once, to within (n/d)·2^-24 < 1/d; a quotient that is
// not whole lies at least 1/d from the next whole number, so truncating the
// rounded one gives the floor.
GLIMVQ_AVX2 inline V divide(V n, V d)
{
    return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(n), _mm256_cvtepi32_ps(d)));
}

struct Hsv {
    V hue;         // 0..360
    V saturation;  // 0..100
    V value;       // 0..100
};

// rgb_to_hsv of eight pixels (red in the low byte).
GLIMVQ_AVX2 inline Hsv hsv_of(V p)
{
    const V r = channel(p, 0), g = channel(p, 8), b = channel(p, 16);
    const V mx = max(r, max(g, b)), mn = min(r, min(g, b));
    const V one = splat(1);
    Hsv c;
    c.value = scale(mx, 3213, 13);
    c.saturation = divide(mul(sub(mx, mn), splat(100)), max(mx, one));
    // Which of rgb_to_hsv's three hue formulas: g over r from 0 when b is
    // the smallest, else b over g from 120 when r is, else r over b from 240.
    const V b_least = _mm256_cmpeq_epi32(b, mn), r_least = _mm256_cmpeq_epi32(r, mn);
    const V over = sub(pick(pick(r, b, r_least), g, b_least), mn);
    const V under = sub(pick(pick(b, g, r_least), r, b_least), mn);
    const V from = _mm256_andnot_si256(b_least, pick(splat(240), splat(120), r_least));
    c.hue = add(from, divide(mul(over, splat(120)), max(add(over, under), one)));
    return c;
}

// hsv_to_rgb of eight colours: hue 0..360, saturation 0..100 and value
// 0..100, or up to 255 when `bright` (then clamped as hsv_to_rgb clamps);
// r | g << 8 | b << 16.
GLIMVQ_AVX2 inline V rgb_of(V hue, V saturation, V value, bool bright = false)
{
    const V lo = scale(mul(sub(splat(100), saturation), value), 5243, 19);
    const V span = sub(value, lo);
    // The sector: 0 for hue 0..60, then one per 60 with each upper end
    // inclusive.  Its mid channel moves over k·span/(120 − k), k being the
    // hue's distance from the nearest multiple of 120.
    const V sector = max(sub(scale(add(hue, splat(59)), 547, 15), splat(1)), _mm256_setzero_si256());
    const V nearest = mul(_mm256_srli_epi32(add(sector, splat(1)), 1), splat(120));
    const V k = _mm256_abs_epi32(sub(hue, nearest));
    const V mid = add(lo, divide(mul(k, span), sub(splat(120), k)));
    // Where each goes by sector (byte shifts): sector 0 puts value in red,
    // mid in green, lo in blue, and so on round.
    const V value_at = _mm256_permutevar8x32_epi32(_mm256_setr_epi32(0, 8, 8, 16, 16, 0, 0, 0), sector);
    const V lo_at = _mm256_permutevar8x32_epi32(_mm256_setr_epi32(16, 16, 0, 0, 8, 8, 0, 0), sector);
    const V mid_at = _mm256_permutevar8x32_epi32(_mm256_setr_epi32(8, 0, 16, 8, 0, 16, 0, 0), sector);
    V bv = scale(value, 10445, 12), bl = scale(lo, 10445, 12), bm = scale(mid, 10445, 12);
    if (bright) {
        const V top = splat(255);
        bv = min(bv, top), bl = min(bl, top), bm = min(bm, top);
    }
    return _mm256_or_si256(_mm256_or_si256(_mm256_sllv_epi32(bv, value_at), _mm256_sllv_epi32(bl, lo_at)),
                           _mm256_sllv_epi32(bm, mid_at));
}

// Maps sixteen pixels at a time with f (eight to a vector; two vectors
// apart keep the processor busy while one waits on its divisions).  The
// pixels done: a multiple of 16.
template <class F>
GLIMVQ_AVX2 inline int map16(const uint8_t* in, uint32_t* out, int count, F f)
{
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const V a = f(load(in + 4 * i)), b = f(load(in + 4 * i + 32));
        store(out + i, a);
        store(out + i + 8, b);
    }
    return i;
}

#else

constexpr bool available()
{
    return false;
}

#endif

} // namespace lanes
