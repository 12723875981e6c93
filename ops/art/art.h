// The Art Group's painterly operations: Gouache, Toonize, Watercolor, Oil
// Painting and Blue Print.
#pragma once

#include "ops/operation.h"

struct Image;
struct OpFamily;

struct ArtParams {
    int32_t gouache_size;     // brush radius in pixels
    int32_t gouache_passes;
    int32_t water_size;       // Watercolor: wash size
    int32_t oil_radius;       // Oil Painting: neighbourhood radius
    int32_t oil_levels;       // intensity bins
    int32_t blue_strength;    // Blue Print: line strength %
    int32_t blue_grid;        // grid spacing in pixels, 0 none
};

extern ArtParams g_art_params;
inline ArtParams& art_params()
{
    return g_art_params;
}

extern const OpFamily kArtFamily;
