// The scene reader and a tiny ray-trace run on arbitrary text: the first
// byte chooses the anti-aliasing level and the frame, the rest is the scene.
#include "fuzz/scratch_file.h"
#include "core/image.h"
#include "core/messages.h"
#include "expr/expr.h"
#include "raytrace/raytrace.h"
#include "raytrace/scene.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
ScratchFile g_scratch{"scene", ".w3d"};
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    messages_set_quiet(true);
    raytrace_state().threads = 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    int aa = data[0] % 3;
    expr_sequence().frames = 1 + (data[0] >> 4);
    expr_sequence().frame = (data[0] >> 2) & 3;
    if (!g_scratch.write(data + 1, size - 1))
        return 0;
    Image* image = image_new(5, 4, "fuzz");
    if (!image)
        return 0;
    raytrace_image(image, g_scratch.path(), aa);
    image_free(image);
    // Every run gives back what its scene held.
    if (scene().group != 0 || scene_object_count() != 0)
        __builtin_trap();
    return 0;
}
