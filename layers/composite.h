// Compositing: the layer stack of a master written into the master's own
// pixels, which is what views show and what operations on the master see.
#pragma once

#include <cstdint>

struct Image;

// Rebuilds the master's pixels from its stack (deepest layer first) and
// clears its recomposite mark.  0 done; 1 when the image is not a master or
// memory ran short (reported).
int composite_layers(Image* master);

// Composites a master whose recomposite mark is set (before its views are
// drawn); 0 when nothing had to be done or it was done.
int layers_refresh(Image* master);

// Marks the master of a changed layer for recompositing and asks for its
// views to be redrawn.  Operations on a layer call this when they finish.
void layer_mark_master(Image* layer);

// Releases the accumulator caches a layer owns (it left its stack).
void layer_forget_caches(Image* layer);

// The key colour and ranges the key modes use, from the settings "KeyColor",
// "RGBRange", "HSLRange" and "TOLRange".
struct KeySettings {
    int color[3];      // "KeyColor": "R G B", "R,G,B" or hex "RRGGBB"; pure green when empty
    int rgb_range[3];  // levels per channel
    int hue_range;     // degrees
    int sat_range;     // percent
    int light_range;   // percent
    int tolerance;     // levels
};
KeySettings key_settings();
// Parses a key colour text; false (and `rgb` untouched) when it does not parse.
bool parse_key_color(const char* text, int rgb[3]);

// Displacement of a warp pixel, in sixteenths of a pixel.
inline void warp_decode(const uint8_t* p, int& dx16, int& dy16)
{
    dx16 = (p[0] << 8 | p[1]) - 32768;
    dy16 = (p[2] << 8 | p[3]) - 32768;
}
// The pixel of a displacement in sixteenths, clamped to what a pixel holds.
void warp_encode(uint8_t* p, long dx16, long dy16);
