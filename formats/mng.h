// MNG animations of 8-bit indexed PNG frames, written through libmng's
// chunk interface with the frame data deflated by zlib.  One animation is
// open at a time; MNG files are not read.
#pragma once

#include <cstdint>

struct Image;

// The palette shared by every frame (a global PLTE; each frame then holds
// an empty PLTE that refers to it).
struct MngPalette {
    uint8_t red[256], green[256], blue[256];
    int count;  // 1 to 256
};

// Opens an animation of `frames` frames of `width` x `height` into `name`
// (a temporary file beside it that replaces it when the last frame is
// written).  `delay` is in ticks of 1/50 s; `loop` repeats it for ever.
// An animation still open is given up first.  0, else the note was shown.
int OpenMngAnimation(long frames, long width, long height, const char* name, long delay, int loop,
                     const MngPalette* common);
// Adds frame `index`; the frame with index frames - 1 ends the animation
// and writes the file.  0, else the note was shown.
int WriteMngFrame(Image* image, long index);
// Gives up an animation still open: the file named stays as it was.
void CloseMngAnimation();
bool mng_animation_open();
