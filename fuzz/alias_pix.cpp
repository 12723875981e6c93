// The Alias PIX reader on arbitrary bytes.
#include "formats/alias_pix.h"
#include "fuzz/reader_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = fuzz_stream(data, size);
    if (!f)
        return 0;
    LoadRequest request{"fuzz.alias_pix", f, static_cast<long>(size)};
    fuzz_read([&] { return ReadAliasPix(request); });
    std::fclose(f);
    return 0;
}
