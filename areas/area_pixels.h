// The parts of mask building that work pixel by pixel: the colour wand, the
// colour key, and the edge treatment (feather and transparency).
#pragma once

#include "areas/area.h"
#include "areas/area_raster.h"

#include <cstdint>

struct Image;

// Hue 0..360, saturation and lightness 0..100.
struct Hsl {
    int h, s, l;
};
Hsl rgb_to_hsl(int r, int g, int b);

// Which colours a wand or key takes: within `range` of `key` per channel
// (red, green, blue; or hue in degrees, saturation, lightness).
struct ColourRange {
    int key[3];
    int range[3];
    KeySpace space;
};

// The colour wand: the 4-connected region around the seed whose colours are
// within range of the seed's.  `target` is locked; `mask` (cleared) gets 255
// for the region.  Empty bounds when the seed is off the image.
PixelBounds area_flood(Image* target, long seed_x, long seed_y, const int range[3], KeySpace space, uint8_t* mask);
// The colour key: every pixel within range of the key colour.
PixelBounds area_key(Image* target, const ColourRange& colours, uint8_t* mask);

// Edge controls of one area, in pixels and percent.
struct EdgeControls {
    long feather;  // soft edge inside the outline
    long level;    // transparency of the area
    long edge;     // transparency at the outline
    long grow;     // width over which the transparency goes from edge to level
};
// Shapes the area's mask (zero outside `bounds`) by its edge controls.  The
// image border is not an outline: a shape running off the image stays hard
// there.
void area_edge(uint8_t* mask, long width, long height, const PixelBounds& bounds, const EdgeControls& controls);
