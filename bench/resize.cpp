// Reduce 4096 x 4096 to 1024 x 1024 and Enlarge 1024 x 1024 to 4096 x 4096
// through perform_operation (the undo capture of the whole image included),
// the resampler alone with each filter, and a memcpy of the larger picture's
// bytes beside them.  Megapixels are the larger picture's (the one read when
// reducing, the one written when enlarging).  scripts/bench_resize.sh times
// vq apply end to end beside vips resize and ImageMagick -resize.
#include "bench/support/start.h"
#include "ops/catalogue.h"
#include "ops/collage/collage.h"
#include "ops/collage/resample.h"
#include "ops/framework.h"

#include <cmath>

namespace {

constexpr long kBig = 4096, kSmall = 1024;

std::vector<uint8_t> picture(long side)
{
    std::vector<uint8_t> p(4 * static_cast<size_t>(side) * static_cast<size_t>(side));
    for (long y = 0; y < side; ++y)
        for (long x = 0; x < side; ++x) {
            uint8_t* q = &p[4 * static_cast<size_t>(y * side + x)];
            q[0] = static_cast<uint8_t>(128 + 120 * std::sin(x * 0.013) * std::cos(y * 0.021));
            q[1] = static_cast<uint8_t>((x ^ y) & 255);
            q[2] = static_cast<uint8_t>((x * 3 + y) & 255);
            q[3] = 255;
        }
    return p;
}

void through_operation(benchmark::State& state, int32_t command, long from)
{
    bench::start_headless(1, 0);
    const std::vector<uint8_t> pic = picture(from);
    for (auto _ : state) {
        state.PauseTiming();
        Image* img = image_new(from, from, "bench");
        image_lock(img);
        std::memcpy(img->pixels, pic.data(), pic.size());
        image_unlock(img);
        ops_reset_parameters();
        collage_params().enlarge_pct = 400;
        collage_params().reduce_pct = 25;
        set_current_operation(command);
        state.ResumeTiming();
        if (perform_operation(img, 0) != 0)
            state.SkipWithError("the operation failed");
        state.PauseTiming();
        undo_drop_image(img);
        image_free(img);
        state.ResumeTiming();
    }
    bench::rate(state, kBig * kBig);
}

void BM_ReduceOperation(benchmark::State& state)
{
    through_operation(state, opcmd::Reduce, kBig);
}
void BM_EnlargeOperation(benchmark::State& state)
{
    through_operation(state, opcmd::Enlarge, kSmall);
}

void resampler(benchmark::State& state, long from, long to)
{
    const std::vector<uint8_t> in = picture(from);
    std::vector<uint8_t> out(4 * static_cast<size_t>(to) * static_cast<size_t>(to));
    const int filter = static_cast<int>(state.range(0));
    for (auto _ : state) {
        resample::resize({in.data(), from, from, from}, {out.data(), to, to, to}, filter);
        benchmark::DoNotOptimize(out.data());
    }
    bench::rate(state, kBig * kBig);
}

void BM_ResamplerReduce(benchmark::State& state)
{
    resampler(state, kBig, kSmall);
}
void BM_ResamplerEnlarge(benchmark::State& state)
{
    resampler(state, kSmall, kBig);
}

void BM_Memcpy(benchmark::State& state)
{
    bench::memcpy_pixels(state, kBig * kBig);
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceOperation)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EnlargeOperation)->Unit(benchmark::kMillisecond)->UseRealTime();
// Filters: 0 auto, 1 Lanczos-3, 2 bicubic, 3 bilinear, 4 nearest, 5 area.
BENCHMARK(BM_ResamplerReduce)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResamplerEnlarge)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
