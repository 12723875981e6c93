// The area file reader on damaged files, and the mask built from whatever
// it read: each input is written to a scratch file, loaded, and the area
// turned into a mask for a small image.
#include "fuzz/scratch_file.h"
#include "areas/area.h"
#include "areas/area_file.h"
#include "areas/area_font.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
ScratchFile g_scratch{"area", ".asf"};

// A small image with colours for the wand and the key to find.
Image* make_target()
{
    Image* img = image_new(64, 48, "fuzz");
    image_lock(img);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = img->pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 4), p[1] = static_cast<uint8_t>(y * 5), p[2] = static_cast<uint8_t>((x ^ y) * 8);
            p[3] = static_cast<uint8_t>(255 - x);
        }
    image_unlock(img);
    img->alpha = 1;
    return img;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    settings_reset(settings(), ".");
    messages_set_quiet(true);
    // fontconfig sets itself up on first use, in ways the leak checker
    // cannot follow: do it before the inputs, and shut it down at the end.
    Outline warm;
    area_font_outline(FontSpec{}, "x", warm);
    std::atexit(area_font_release);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!g_scratch.write(data, size))
        return 0;
    area_settings_reset();
    if (area_load(g_scratch.path()) == 0) {
        Image* target = make_target();
        build_area_mask(target, true);
        image_free(target);
    }
    // Nothing is kept from one input to the next.
    area_clear();
    area_state().previous = area_desc_free(area_state().previous);
    mask_release();
    return 0;
}
