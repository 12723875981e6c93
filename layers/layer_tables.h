// The byte tables of the compositor, built once at start-up, so that the
// per-pixel work is look-ups, multiplications and shifts.
#pragma once

#include <cstdint>

struct LayerTables {
    uint8_t* div100;     // "div100", 32768: i / 100 up to 25500, 255 above
    uint8_t* yab_union;  // "yabeta", 65536: U(d, w) at d * 256 + w
    uint8_t* yab_ratio;  // "yabeta", 65536: R(u, w) at u * 256 + w
    uint8_t* alphasum;   // "alphasum", 512: min(i, 255)
    uint8_t* div255;     // "div255", 65536: i / 255 (255 at most)
    uint64_t* recip;     // "recip", 1024: 2^32 / n rounded up, for exact division
};

LayerTables& layer_tables();
// Builds the tables once; false (with message 22) when memory is short.
bool layer_tables_init();
void layer_tables_release();
bool layer_tables_ready();

// Exact floor(a / b) for 0 <= a < 2^17 and 1 <= b < 1024, by the "recip"
// table instead of a division.
inline int udiv(int a, int b)
{
    return static_cast<int>((static_cast<uint64_t>(a) * layer_tables().recip[b]) >> 32);
}
