// The film file on arbitrary bytes: one frame through the load dispatch's
// reader, and the whole file into the film strip.
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
    g_path = "/tmp/fuzz-film-" + std::to_string(getpid()) + ".flm";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = fuzz_stream(data, size);
    if (!f)
        return 0;
    LoadRequest request{"fuzz.flm", f, static_cast<long>(size)};
    fuzz_read([&] { return ReadFilmFrame(request); });
    std::fclose(f);

    // The film's own reader: what it loads is released again, and nothing stays.
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
    std::remove(g_path.c_str());
    return 0;
}
