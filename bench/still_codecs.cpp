// Targa and PCX at 4096 x 4096, 24 bits: reading and writing through the
// load and save dispatch, beside the BMP codec, a memcpy of the image's
// bytes and ImageMagick doing the same job (wall time of `convert`, which
// includes starting the program).  Files go to a scratch folder (the page
// cache, in practice).  Every figure is wall time, as ImageMagick's must be.
#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "formats/load_save.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSide = 4096;
constexpr double kMegapixels = kSide * static_cast<double>(kSide) / 1e6;

std::string g_folder;

// Smooth areas, flat blocks and grain, so that run-length coding meets
// both runs and noise.
Image* picture()
{
    static Image* image = nullptr;
    if (image)
        return image;
    image = image_new(kSide, kSide, "bench");
    image_lock(image);
    uint32_t noise = 12345;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            uint8_t* p = image->pixel(x, y);
            if ((x / 256 + y / 256) % 3 == 0) {
                p[0] = 30, p[1] = 60, p[2] = 200;
                continue;
            }
            noise = noise * 1103515245u + 12345u;
            int grain = static_cast<int>((noise >> 16) & 7) - 4;
            p[0] = static_cast<uint8_t>(std::clamp(x * 255 / kSide + grain, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(y * 255 / kSide + grain, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp((x ^ y) / 32 + grain, 0, 255));
        }
    image_unlock(image);
    return image;
}

void setup()
{
    if (!g_folder.empty())
        return;
    char tmpl[] = "/tmp/glimvq-bench-still-XXXXXX";
    g_folder = mkdtemp(tmpl);
    messages_set_quiet(true);
}

void rate(benchmark::State& state)
{
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSide) * kSide * 4);
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

std::string save(const char* name, int type, int compress)
{
    setup();
    settings().save_type = type;
    settings().save_depth = 2;  // 24 bits
    settings().save_compress = compress;
    std::string path = g_folder + "/" + name;
    if (save_image(picture(), path.c_str()) != 0)
        std::abort();
    return path;
}

void BM_Memcpy(benchmark::State& state)
{
    std::vector<uint8_t> a(static_cast<size_t>(kSide) * kSide * 4, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
    }
    rate(state);
}

void write_bench(benchmark::State& state, const char* name, int type, int compress)
{
    for (auto _ : state)
        save(name, type, compress);
    rate(state);
}

void read_bench(benchmark::State& state, const char* name, int type, int compress)
{
    std::string path = save(name, type, compress);
    for (auto _ : state) {
        Image* image = load_image(path.c_str());
        if (!image)
            std::abort();
        image_free(image);
    }
    rate(state);
}

void run_convert(const std::string& args)
{
    std::string cmd = "/usr/bin/convert " + args + " 2>/dev/null";
    if (std::system(cmd.c_str()) != 0)
        std::abort();
}

// ImageMagick reads our file and throws the pixels away.
void imagemagick_read(benchmark::State& state, const char* name, int type, int compress)
{
    std::string path = save(name, type, compress);
    for (auto _ : state)
        run_convert(path + " null:");
    rate(state);
}

// ImageMagick writes from its own memory-mapped cache format, whose reading costs next to nothing.
void imagemagick_write(benchmark::State& state, const char* name, const char* options)
{
    std::string source = save("im-source.bmp", FMT_BMP, 0);
    std::string cache = g_folder + "/im-source.mpc";
    run_convert(source + " " + cache);
    for (auto _ : state)
        run_convert(cache + " " + options + " " + g_folder + "/" + name);
    rate(state);
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(write_bench, bmp_24, "w.bmp", FMT_BMP, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(read_bench, bmp_24, "r.bmp", FMT_BMP, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(write_bench, tga_24, "w.tga", FMT_TGA, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(read_bench, tga_24, "r.tga", FMT_TGA, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(write_bench, tga_24_rle, "wr.tga", FMT_TGA, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(read_bench, tga_24_rle, "rr.tga", FMT_TGA, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(write_bench, pcx_24, "w.pcx", FMT_PCX, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(read_bench, pcx_24, "r.pcx", FMT_PCX, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(imagemagick_read, bmp_24, "m.bmp", FMT_BMP, 0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(imagemagick_read, tga_24, "m.tga", FMT_TGA, 0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(imagemagick_read, tga_24_rle, "mr.tga", FMT_TGA, 1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(imagemagick_read, pcx_24, "m.pcx", FMT_PCX, 1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(imagemagick_write, bmp_24, "mw.bmp", "-type TrueColor")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(imagemagick_write, tga_24, "mw.tga", "-compress None")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(imagemagick_write, tga_24_rle, "mwr.tga", "-compress RLE")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(imagemagick_write, pcx_24, "mw.pcx", "-type TrueColor")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
