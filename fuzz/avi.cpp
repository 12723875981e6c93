// The AVI reader path on arbitrary bytes: the file opened through vqavi.so
// (FFmpeg), every frame decoded into the film strip, and one frame through
// the load dispatch's reader.
#include "formats/avi.h"
#include "formats/film.h"
#include "fuzz/reader_check.h"

#include <unistd.h>

#include <string>

namespace {
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
#ifdef GLIMVQ_LIB_DIR
    setenv("GLIMVQ_LIB_DIR", GLIMVQ_LIB_DIR, 0);
#endif
    g_path = "/tmp/fuzz-avi-" + std::to_string(getpid()) + ".avi";
    if (!avi_library())
        std::abort();  // the fuzzer needs the library it is aimed at
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* out = std::fopen(g_path.c_str(), "wb");
    if (!out)
        return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    long places = mem_counters().places_now;
    LoadFilm(g_path.c_str());
    film_release();
    film_state().frames = 0;
    if (mem_counters().places_now != places || image_store_count() != 0)
        std::abort();
    FILE* f = std::fopen(g_path.c_str(), "rb");
    if (f) {
        LoadRequest request{g_path.c_str(), f, static_cast<long>(size)};
        fuzz_read([&] { return ReadAvi(request); });
        std::fclose(f);
    }
    std::remove(g_path.c_str());
    return 0;
}
