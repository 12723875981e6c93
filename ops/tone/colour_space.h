// The integer colour-space conversions the tone operations share, and the
// luminance tables.
#pragma once

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

// Fills hue, saturation and value from r, g, b.
void rgb_to_hsv(HsvColour& c);
// Fills r, g, b from hue, saturation and value (each result 0..255).
void hsv_to_rgb(HsvColour& c);
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
