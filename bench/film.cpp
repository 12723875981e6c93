// The film strip: 100 frames of 1024 x 768 placed into a 320 x 240 film
// (source megapixels a second), and the film exported as MNG, GIF, FLC and
// AVI (uncompressed and MJPEG; film megapixels a second), each beside a memcpy
// of the same bytes.  bench/film_vs_peers.sh sets the exports beside
// ImageMagick and ffmpeg making the same animations from the same frames.
#include "core/image.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "formats/avi.h"
#include "formats/film.h"
#include "formats/load_save.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr long kFrames = 100;
constexpr long kSourceW = 1024, kSourceH = 768;
constexpr long kFilmW = 320, kFilmH = 240;

std::string g_folder;
std::vector<Image*> g_sources;

// A moving pattern: bands that shift from frame to frame over a gradient.
void setup()
{
    if (!g_folder.empty())
        return;
    char tmpl[] = "/tmp/glimvq-bench-film-XXXXXX";
    g_folder = mkdtemp(tmpl);
    messages_set_quiet(true);
    progress_set_batch(true);
    settings_reset(settings(), g_folder);
    // vqavi.so lives in bin/, beside the programs; the benchmarks in bench/.
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        std::string dir(exe);
        dir.resize(dir.rfind('/'));
        setenv("GLIMVQ_LIB_DIR", (dir + "/../bin").c_str(), 0);
    }
    for (long f = 0; f < kFrames; ++f) {
        Image* image = image_new(kSourceW, kSourceH, "bench");
        image_lock(image);
        for (int y = 0; y < kSourceH; ++y)
            for (int x = 0; x < kSourceW; ++x) {
                uint8_t* p = image->pixel(x, y);
                p[0] = static_cast<uint8_t>(x * 255 / kSourceW);
                p[1] = static_cast<uint8_t>(((x + 8 * f) / 64 % 2) ? 200 : y * 255 / kSourceH);
                p[2] = static_cast<uint8_t>(128 + 100 * ((y + 6 * f) / 48 % 2));
                p[3] = 255;
            }
        image_unlock(image);
        g_sources.push_back(image);
    }
}

void place_all()
{
    film_create(kFrames, kFilmW, kFilmH);
    for (long f = 0; f < kFrames; ++f)
        PlaceFrame(g_sources[static_cast<size_t>(f)], f);
}

void BM_PlaceFrames(benchmark::State& state)
{
    setup();
    for (auto _ : state)
        place_all();
    state.counters["MP/s"] = benchmark::Counter(kFrames * kSourceW * kSourceH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PlaceFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemcpySourceFrames(benchmark::State& state)
{
    setup();
    std::vector<uint8_t> from(static_cast<size_t>(kSourceW * kSourceH * 4), 7), to(from.size());
    for (auto _ : state) {
        for (long f = 0; f < kFrames; ++f)
            std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
    state.counters["MP/s"] = benchmark::Counter(kFrames * kSourceW * kSourceH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MemcpySourceFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

void export_bench(benchmark::State& state, int (*exporter)(const char*, const FilmExportOptions&), const char* name,
                  bool mjpeg, bool common)
{
    setup();
    place_all();
    FilmExportOptions options;
    options.delay = 7;
    options.mjpeg = mjpeg;
    options.common_palette = common;
    std::string path = g_folder + "/" + name;
    for (auto _ : state)
        if (exporter(path.c_str(), options) != 0)
            state.SkipWithError("the export failed");
    state.counters["MP/s"] = benchmark::Counter(kFrames * kFilmW * kFilmH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ExportMng(benchmark::State& state)
{
    export_bench(state, ExportFilmMng, "film.mng", false, false);
}
BENCHMARK(BM_ExportMng)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportMngCommonPalette(benchmark::State& state)
{
    export_bench(state, ExportFilmMng, "common.mng", false, true);
}
BENCHMARK(BM_ExportMngCommonPalette)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportGif(benchmark::State& state)
{
    export_bench(state, ExportFilmGif, "film.gif", false, false);
}
BENCHMARK(BM_ExportGif)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportGifCommonPalette(benchmark::State& state)
{
    export_bench(state, ExportFilmGif, "common.gif", false, true);
}
BENCHMARK(BM_ExportGifCommonPalette)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportFlic(benchmark::State& state)
{
    export_bench(state, ExportFilmFlic, "film.flc", false, false);
}
BENCHMARK(BM_ExportFlic)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportAvi(benchmark::State& state)
{
    setup();
    if (!avi_library()) {
        state.SkipWithError("vqavi.so is not there");
        return;
    }
    export_bench(state, ExportFilmAvi, "film.avi", false, false);
}
BENCHMARK(BM_ExportAvi)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportAviMjpeg(benchmark::State& state)
{
    setup();
    if (!avi_library()) {
        state.SkipWithError("vqavi.so is not there");
        return;
    }
    export_bench(state, ExportFilmAvi, "mjpeg.avi", true, false);
}
BENCHMARK(BM_ExportAviMjpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemcpyFilm(benchmark::State& state)
{
    std::vector<uint8_t> from(static_cast<size_t>(kFilmW * kFilmH * 4), 7), to(from.size());
    for (auto _ : state) {
        for (long f = 0; f < kFrames; ++f)
            std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
    state.counters["MP/s"] = benchmark::Counter(kFrames * kFilmW * kFilmH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MemcpyFilm)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
