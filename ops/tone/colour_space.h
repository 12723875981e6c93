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
