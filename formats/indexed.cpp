#include "formats/indexed.h"

#include "core/messages.h"

// The colour reduction is linked in by the render subsystem; while a build
// lacks it, indexed files are refused instead of written wrongly.
extern uint8_t* render_reduce_default(Image* image, int type, uint8_t* red, uint8_t* green, uint8_t* blue,
                                      ReduceInfo* info) __attribute__((weak));

uint8_t* reduce_for_file(Image* image, int bits, uint8_t* red, uint8_t* green, uint8_t* blue, ReduceInfo* info)
{
    int type = bits == 8 ? REDUCE_256 : bits == 4 ? REDUCE_16 : REDUCE_BW;
    if (!render_reduce_default) {
        note("Saving with 256, 16 or 2 colours needs the colour reduction, which this build lacks.");
        return nullptr;
    }
    return render_reduce_default(image, type, red, green, blue, info);
}
