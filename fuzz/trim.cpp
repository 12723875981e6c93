// The TRIM plane decoder on arbitrary data: the first three bytes choose
// the image's width, height and plane count, the rest is the coding.
#include "core/image.h"
#include "formats/trim.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    long width = 1 + data[0] % 64, height = 1 + data[1] % 64;
    int planes = 1 + data[2] % 4;
    Image* image = image_new_locked(width, height, "fuzz");
    if (!image)
        return 0;
    trim_decode(data + 3, static_cast<long>(size - 3), image, planes);
    image_unlock(image);
    image_free(image);
    return 0;
}
