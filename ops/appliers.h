// The eight appliers: each walks the area rectangle of the target for the
// operation that perform_operation published, calls its worker and puts the
// result into the image by the mask weight.
#pragma once

#include "ops/operation.h"

#include <cstring>

OpApplier applier_for(ApplierKind kind);

int apply_pixel_map(Image* target, int view_index);
int apply_pixel_map_xy(Image* target, int view_index);
int apply_pixel_in_place(Image* target, int view_index);
int apply_pixel_in_place_xy(Image* target, int view_index);
int apply_multi_pass(Image* target, int view_index);
int apply_geometric(Image* target, int view_index);
int apply_whole_image(Image* target, int view_index);
int apply_whole_image_no_undo(Image* target, int view_index);

// Pixels as the workers see them: one 32-bit value, red in the low byte.
inline uint32_t pixel_load(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void pixel_store(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}
constexpr uint32_t pixel_make(int r, int g, int b, int a)
{
    return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16 |
           static_cast<uint32_t>(a) << 24;
}
constexpr int pixel_r(uint32_t p) { return static_cast<int>(p & 0xFF); }
constexpr int pixel_g(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
constexpr int pixel_b(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
constexpr int pixel_a(uint32_t p) { return static_cast<int>(p >> 24); }

// The weighted mix of a new value into an old one: (n·m + o·(255 − m)) / 255.
constexpr int mix_weight(int n, int o, int m)
{
    return (n * m + o * (255 - m)) / 255;
}
