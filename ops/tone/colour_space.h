// The integer colour-space conversions the tone operations share, and the
// luminance tables.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

struct HsvColour {
    int16_t r, g, b;
    int16_t hue;         // 0..360
    int16_t saturation;  // 0..100
    int16_t value;       // 0..100
};

struct HlsColour {
    int16_t r, g, b;
    int16_t hue;         // 0..360
    int16_t saturation;  // 0..100
    int16_t lightness;   // 0..100
};

void rgb_to_hls(HlsColour& c);
void hls_to_rgb(HlsColour& c);

// Integer division n / d for 0 <= n < 2^22 and 1 <= d < 1024 by a
// multiplication with a reciprocal: the conversions divide by values that
// change with every pixel, and a real division per pixel costs more than
// the rest of the work.
struct Reciprocals {
    uint64_t r[1024];
};
constexpr Reciprocals make_reciprocals()
{
    Reciprocals t{};
    for (uint64_t d = 1; d < 1024; ++d)
        t.r[d] = (uint64_t{1} << 32) / d + 1;
    return t;
}
inline constexpr Reciprocals kReciprocals = make_reciprocals();
constexpr int div_small(int n, int d)
{
    return static_cast<int>((static_cast<uint64_t>(n) * kReciprocals.r[d]) >> 32);
}
// The same for a numerator of either sign, truncating toward zero.
constexpr int div_signed(int n, int d)
{
    return n < 0 ? -div_small(-n, d) : div_small(n, d);
}

// Luminance weights in bytes: L_r(i) = 85i/255, L_g(i) = 105i/255,
// L_b(i) = 65i/255, so that L_r(255) + L_g(255) + L_b(255) = 255.
template <int Weight>
constexpr std::array<uint8_t, 256> luma_table()
{
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<size_t>(i)] = static_cast<uint8_t>(Weight * i / 255);
    return t;
}
inline constexpr auto kLumaRed = luma_table<85>();
inline constexpr auto kLumaGreen = luma_table<105>();
inline constexpr auto kLumaBlue = luma_table<65>();

namespace colour_detail {
constexpr int clamp100(int v)
{
    return v < 0 ? 0 : (v > 100 ? 100 : v);
}
constexpr int f255(int x)
{
    return x * 255 / 100;
}
constexpr int16_t byte16(int v)
{
    return static_cast<int16_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
} // namespace colour_detail

// Fills hue, saturation and value from r, g, b.
inline void rgb_to_hsv(HsvColour& c)
{
    const int r = c.r, g = c.g, b = c.b;
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    const int d = mx == 0 ? 1 : mx;
    c.value = static_cast<int16_t>(colour_detail::clamp100(mx * 100 / 255));
    c.saturation = static_cast<int16_t>(colour_detail::clamp100(div_small((mx - mn) * 100, d)));
    int hue;
    if (b == mn) {
        int den = r + g - 2 * mn;
        hue = div_small((g - mn) * 120, den == 0 ? 1 : den);
    } else if (r != mn) {
        int den = r + b - 2 * mn;
        hue = div_small((r - mn) * 120, den == 0 ? 1 : den) + 240;
    } else {
        int den = b + g - 2 * mn;
        hue = div_small((b - mn) * 120, den == 0 ? 1 : den) + 120;
    }
    c.hue = static_cast<int16_t>(std::clamp(hue, 0, 360));
}

// Fills r, g, b from hue, saturation and value (each result 0..255).
inline void hsv_to_rgb(HsvColour& c)
{
    const int hue = std::clamp(static_cast<int>(c.hue), 0, 360), value = c.value;
    const int lo = (100 - c.saturation) * value / 100;
    const int span = value - lo;
    int r, g, b;
    // The divisors below are never 0: each branch keeps them at 60 or more.
    if (hue <= 120) {
        b = colour_detail::f255(lo);
        if (hue > 60) {
            g = colour_detail::f255(value);
            r = colour_detail::f255(lo + div_signed((120 - hue) * span, hue));
        } else {
            r = colour_detail::f255(value);
            g = colour_detail::f255(lo + div_signed(hue * span, 120 - hue));
        }
    } else if (hue > 240) {
        g = colour_detail::f255(lo);
        if (hue > 300) {
            r = colour_detail::f255(value);
            b = colour_detail::f255(lo + div_signed((360 - hue) * span, hue - 240));
        } else {
            b = colour_detail::f255(value);
            r = colour_detail::f255(lo + div_signed((hue - 240) * span, 360 - hue));
        }
    } else {
        r = colour_detail::f255(lo);
        if (hue > 180) {
            b = colour_detail::f255(value);
            g = colour_detail::f255(lo + div_signed((240 - hue) * span, hue - 120));
        } else {
            g = colour_detail::f255(value);
            b = colour_detail::f255(lo + div_signed((hue - 120) * span, 240 - hue));
        }
    }
    c.r = colour_detail::byte16(r);
    c.g = colour_detail::byte16(g);
    c.b = colour_detail::byte16(b);
}
