// Image files: reading and writing a 1024 x 768 picture through the load
// and save dispatch, in each format, beside a memcpy of the image's bytes.
// Files go to a scratch folder (the page cache, in practice: this measures
// the codecs, not the disk).
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

constexpr int kWidth = 1024, kHeight = 768;
constexpr double kMegapixels = kWidth * kHeight / 1e6;

std::string g_folder;

// A picture with smooth areas and detail, as photographs and renders have.
Image* picture()
{
    static Image* image = nullptr;
    if (image)
        return image;
    image = image_new(kWidth, kHeight, "bench");
    image_lock(image);
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1103515245u + 12345u;
            uint8_t* p = image->pixel(x, y);
            int grain = static_cast<int>((noise >> 16) & 15) - 8;
            p[0] = static_cast<uint8_t>(std::clamp(x * 255 / kWidth + grain, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(y * 255 / kHeight + grain, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(((x / 64 + y / 64) & 1) * 160 + grain + 40, 0, 255));
            p[3] = static_cast<uint8_t>(255 - x * 200 / kWidth);
        }
    image_unlock(image);
    image->alpha = 1;
    return image;
}

void setup()
{
    if (!g_folder.empty())
        return;
    char tmpl[] = "/tmp/glimvq-bench-XXXXXX";
    g_folder = mkdtemp(tmpl);
    messages_set_quiet(true);
    // The JPEG and TIFF libraries are built beside the programs, in bin/.
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        std::string dir(self);
        dir = dir.substr(0, dir.rfind('/'));
        setenv("GLIMVQ_LIB_DIR", (dir + "/../bin").c_str(), 0);
    }
}

void rate(benchmark::State& state)
{
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight * 4);
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

// Saves the picture with a save type, depth index and options, as `name`.
std::string save(const char* name, int type, int depth, int compress = 1, int quality = 75)
{
    setup();
    settings().save_type = type;
    settings().save_depth = depth;
    settings().save_compress = compress;
    settings().jpeg_quality = quality;
    std::string path = g_folder + "/" + name;
    if (save_image(picture(), path.c_str()) != 0)
        std::abort();
    return path;
}

void BM_Memcpy(benchmark::State& state)
{
    std::vector<uint8_t> a(static_cast<size_t>(kWidth) * kHeight * 4, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
    }
    rate(state);
}

void write_bench(benchmark::State& state, const char* name, int type, int depth, int compress, int quality)
{
    for (auto _ : state)
        save(name, type, depth, compress, quality);
    rate(state);
}

void read_bench(benchmark::State& state, const char* name, int type, int depth, int compress, int quality)
{
    std::string path = save(name, type, depth, compress, quality);
    for (auto _ : state) {
        Image* image = load_image(path.c_str());
        if (!image)
            std::abort();
        image_free(image);
    }
    rate(state);
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write_bench, bmp_24, "w24.bmp", FMT_BMP, 2, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_bench, bmp_24, "r24.bmp", FMT_BMP, 2, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write_bench, bmp_32, "w32.bmp", FMT_BMP, 0, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_bench, bmp_32, "r32.bmp", FMT_BMP, 0, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write_bench, bmp_8_chosen, "w8.bmp", FMT_BMP, 5, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_bench, bmp_8, "r8.bmp", FMT_BMP, 5, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write_bench, png_24, "w24.png", FMT_PNG, 2, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write_bench, png_32, "w32.png", FMT_PNG, 0, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write_bench, png_24_level9, "w24-9.png", FMT_PNG, 2, 9, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_bench, png_32, "r32.png", FMT_PNG, 0, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write_bench, jpeg_q75, "w.jpg", FMT_JPG, 2, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_bench, jpeg_q75, "r.jpg", FMT_JPG, 2, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write_bench, tiff_lzw, "w.tif", FMT_TIFF, 2, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_bench, tiff_lzw, "r.tif", FMT_TIFF, 2, 1, 75)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_bench, tiff_rgba_none, "r32.tif", FMT_TIFF, 0, 0, 75)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
