// The PNG reader on arbitrary bytes.
#include "formats/codecs.h"
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
    fuzz_read([&] { return ReadPng(f, "fuzz.png"); });
    std::fclose(f);
    return 0;
}
