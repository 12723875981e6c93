// The FLI/FLC reader on arbitrary bytes: the header, then every frame up to
// the last (or the one the last byte asks for).
#include "formats/flic.h"
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
    FILE* f = fuzz_stream(data, size);
    if (!f)
        return 0;
    formats_set_read_frame(data[size - 1] < 128 ? data[size - 1] : 100000);
    fuzz_read([&] { return ReadFlic(LoadRequest{"fuzz.flc", f, static_cast<long>(size)}); });
    ImageInfo info;
    flic_info(LoadRequest{"fuzz.flc", f, static_cast<long>(size)}, &info);
    std::fclose(f);
    return 0;
}
