#include "formats/indexed.h"

uint8_t* reduce_for_file(Image* image, int bits, uint8_t* red, uint8_t* green, uint8_t* blue, ReduceInfo* info)
{
    return render_reduce_default(image, reduce_type_for_bits(bits), red, green, blue, info);
}
