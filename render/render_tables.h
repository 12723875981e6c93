// The fixed tables of the colour reduction: cube indices of the system
// palette, grey weights, the 16-colour table and the ordered patterns.
// All are built at compile time and consulted per pixel.
#pragma once

#include <array>
#include <cstdint>

namespace render_tables {

template <size_t N>
constexpr std::array<uint8_t, 256> steps_at(const int (&at)[N])
{
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
        int i = 0;
        for (size_t k = 0; k < N; ++k)
            if (v >= at[k])
                ++i;
        t[static_cast<size_t>(v)] = static_cast<uint8_t>(i);
    }
    return t;
}

constexpr int kRedSteps[] = {25, 67, 110, 152, 195, 237};
constexpr int kGreenSteps[] = {21, 57, 94, 130, 167, 203, 239};
constexpr int kBlueSteps[] = {53, 138, 223};

// Cube index of each channel value in the system palette (error diffusion).
inline constexpr std::array<uint8_t, 256> kCubeRed = steps_at(kRedSteps);
inline constexpr std::array<uint8_t, 256> kCubeGreen = steps_at(kGreenSteps);
inline constexpr std::array<uint8_t, 256> kCubeBlue = steps_at(kBlueSteps);

template <int Mul>
constexpr std::array<uint8_t, 256> weight_table()
{
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v)
        t[static_cast<size_t>(v)] = static_cast<uint8_t>(Mul * v / 255);
    return t;
}
inline constexpr std::array<uint8_t, 256> kGreyRed = weight_table<85>();
inline constexpr std::array<uint8_t, 256> kGreyGreen = weight_table<105>();
inline constexpr std::array<uint8_t, 256> kGreyBlue = weight_table<65>();

inline int grey(int r, int g, int b)
{
    return kGreyRed[static_cast<size_t>(r)] + kGreyGreen[static_cast<size_t>(g)] + kGreyBlue[static_cast<size_t>(b)];
}

inline constexpr uint8_t kFixed16[16][3] = {
    {0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},   {0, 0, 128},   {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

// Colour number of each cell of the top three bits of red, green and blue
// (red * 64 + green * 8 + blue): the entry nearest the cell's centre.
constexpr std::array<uint8_t, 512> make_table512()
{
    std::array<uint8_t, 512> t{};
    for (int cell = 0; cell < 512; ++cell) {
        int c[3] = {(cell >> 6) * 32 + 16, ((cell >> 3) & 7) * 32 + 16, (cell & 7) * 32 + 16};
        int best = 0;
        long best_d = -1;
        for (int i = 0; i < 16; ++i) {
            long d = 0;
            for (int k = 0; k < 3; ++k) {
                long e = c[k] - kFixed16[i][k];
                d += e * e;
            }
            if (best_d < 0 || d < best_d) {
                best_d = d;
                best = i;
            }
        }
        t[static_cast<size_t>(cell)] = static_cast<uint8_t>(best);
    }
    return t;
}
inline constexpr std::array<uint8_t, 512> kTable512 = make_table512();

// Ordered patterns of the system palette, one per channel.
inline constexpr uint8_t kPatternRed[3 * 7] = {16, 18, 7, 12, 3, 9, 2, 17, 5, 13, 10, 4, 11, 19, 8, 14, 20, 3, 16, 6, 1};
inline constexpr uint8_t kPatternGreen[6 * 3] = {7, 12, 3, 18, 9, 2, 5, 13, 17, 10, 4, 11, 8, 14, 3, 16, 6, 1};
inline constexpr uint8_t kPatternBlue[7 * 6] = {23, 12, 22, 9,  19, 17, 29, 13, 31, 4,  11, 21, 14, 17,
                                                34, 40, 6,  16, 35, 7,  28, 37, 3,  20, 32, 2,  25, 41,
                                                5,  30, 38, 10, 24, 27, 39, 8,  26, 33, 3,  18, 1,  36};
// The 4 x 4 threshold matrix of ordered dithering to other palettes.
inline constexpr uint8_t kMatrix4[16] = {0, 13, 4, 8, 12, 5, 1, 9, 6, 14, 10, 3, 7, 11, 2, 15};

} // namespace render_tables
