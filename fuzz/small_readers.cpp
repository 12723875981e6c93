// The I-RAW, PPM and 4-bit picture readers; the first byte picks one.
#include "formats/codecs.h"
#include "fuzz/reader_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    int which = data[0] % 4;
    FILE* f = fuzz_stream(data + 1, size - 1);
    if (!f)
        return 0;
    long length = static_cast<long>(size - 1);
    fuzz_read([&]() -> Image* {
        switch (which) {
        case 0: return read_iraw(f, length);
        case 1: return read_ppm(f, length);
        case 2: return read_picture4(f, false, length);
        default: return read_picture4(f, true, length);
        }
    });
    std::fclose(f);
    return 0;
}
