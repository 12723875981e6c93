// The whole load dispatch: the bytes become a file whose name (chosen by
// the first byte) steers the tests that look at names and extensions.
#include "fuzz/reader_check.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
std::string g_folder;
const char* const kNames[] = {"f.bmp", "f.png", "f.pix", "f.pdx", "f.orf", "f.raw", "f.i24", "f.ppm", "f", "f.jpg"};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    char tmpl[] = "/tmp/glimvq-fuzz-XXXXXX";
    g_folder = mkdtemp(tmpl);
    std::atexit([] { rmdir(g_folder.c_str()); });  // each input's file is gone by then
    // The external libraries are not part of this build: their tests end in message 75.
    setenv("GLIMVQ_LIB_DIR", g_folder.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    std::string path = g_folder + "/" + kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    fuzz_read([&] { return load_image(path.c_str()); });
    unlink(path.c_str());
    return 0;
}
