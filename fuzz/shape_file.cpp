// The shape file reader on damaged files; a shape that loads is drawn into
// a box (mirrored) and filled.
#include "fuzz/scratch_file.h"
#include "areas/area.h"
#include "areas/area_file.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
ScratchFile g_scratch{"shape", ".ish"};
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    settings_reset(settings(), ".");
    messages_set_quiet(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!g_scratch.write(data, size))
        return 0;
    area_settings_reset();
    if (shape_load(g_scratch.path()) == 0) {
        const long box[4] = {44, 2, 3, 37};
        area_shape_into_box(box);
        area_settings().feather = size % 7;
        Image* target = image_new(48, 40, "fuzz");
        if (area_select() == 0)
            build_area_mask(target, false);
        image_free(target);
        // Nothing is kept from one input to the next.
        area_clear();
        area_state().previous = area_desc_free(area_state().previous);
        mask_release();
    }
    return 0;
}
