// The selection mask and the area rectangle that operations work within.
//
// The mask is one byte per pixel of the target (0 outside, 255 inside,
// between for partial selection), addressed with the target's row offsets,
// kept in a moveable block "Mask" between operations and made anew (filled
// with 255) whenever the target's size differs from the one it was made for.
#pragma once

#include "core/gmem.h"

#include <cstdint>

struct Image;

// Inclusive corners, the centre and the half sizes.
struct AreaRect {
    int32_t x0, y0, x1, y1;
    int32_t cx, cy;
    int32_t half_w, half_h;
};

struct AreaMask {
    GHandle block;  // "Mask"
    long width, height;
    uint8_t* bytes;  // while locked
    AreaRect rect;
    bool built;      // a selection has been turned into the mask
};

AreaMask& area_mask();

// Reuses the mask when its size matches, else makes it anew filled with 255.
// 0 done; 1 with message 59 when it cannot be allocated.
int ensure_mask(long width, long height);
// Locks the mask; null when it cannot be locked.
uint8_t* mask_lock();
void mask_unlock();
// Releases the mask (shut-down).
void mask_release();

// Sets the rectangle to the whole image, with its centre and half sizes.
void area_rect_whole(const Image* image, AreaRect& rect);
// Clips the rectangle to the image and swaps reversed corners; false when
// nothing of it lies on the image.
bool area_rect_clip(const Image* image, AreaRect& rect);
// Recomputes centre and half sizes from the corners.
void area_rect_update(AreaRect& rect);

// Builds the mask and rectangle from the current area selection for the
// target; with `fold_alpha` the target's alpha multiplies the mask.
// No selection means the entire image; a selection that covers nothing
// leaves the mask 0 and the rectangle the single pixel (0, 0).
// 0 done, 1 failed (reported) or cancelled in the "Masking" progress.
int build_area_mask(Image* target, bool fold_alpha);

// Where the selection is built: moved by (dx, dy) after scaling by `scale`
// about (cx, cy), in target pixels.  The splatter layout sets it.
struct AreaPlacement {
    bool active = false;
    double cx = 0, cy = 0, dx = 0, dy = 0, scale = 1;
    // Serves the next mask build only (a splatter of a single copy, which
    // no end call follows).
    bool once = false;
};
AreaPlacement& area_placement();

// The box the selection's shapes take on the target, before placement:
// x0, y0, x1, y1 in continuous coordinates.  False when nothing is selected
// or the areas have no geometry (entire image, colour key).
bool area_selection_box(Image* target, double box[4]);

// The area blend: a weighted result n put into the old pixel o with mask
// weight m (0..255), per colour channel.  With a plain selection it is the
// weighted mix (n*m + o*(255 - m)) / 255.
inline uint8_t area_blend(uint8_t o, uint8_t n, int m)
{
    return static_cast<uint8_t>((n * m + o * (255 - m)) / 255);
}
