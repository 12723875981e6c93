// The raw reader on arbitrary bytes: the first 8 bytes of the input give
// the layout (width and height, 1 to 64, channels, offset), the rest is the file.
#include "formats/raw.h"
#include "fuzz/reader_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    RawState& raw = raw_state();
    raw.preset = true;
    raw.layout.width = data[0] % 64 + 1 - (data[4] & 1) * 64;
    raw.layout.height = data[1] % 64 + 1;
    raw.layout.channels = data[2] % 6;
    raw.layout.offset = static_cast<long>(data[3]) - 8;
    FILE* f = fuzz_stream(data + 8, size - 8);
    if (!f)
        return 0;
    LoadRequest request{"fuzz.raw", f, static_cast<long>(size - 8)};
    fuzz_read([&] { return ReadRaw(request); });
    std::fclose(f);
    return 0;
}
