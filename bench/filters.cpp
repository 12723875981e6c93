// The neighbourhood filters on a 4096 x 4096 image with a full mask, on one
// thread, beside a memcpy of the same 64 MiB: Convolve (through the
// framework, with the whole-image undo capture it takes, and its worker
// alone), and Blur, Minimum, Maximum and Remove at growing radii, whose
// megapixels per second show how the cost per pixel follows the radius.
#include "areas/area_mask.h"
#include "core/app.h"
#include "core/image.h"
#include "core/parallel.h"
#include "core/settings.h"
#include "core/undo.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "ops/filter/filter.h"
#include "ops/framework.h"
#include "ops/ops.h"
#include "ui/headless/headless_platform.h"

#include "bench/support/start.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr long kSide = 4096;

Image* g_image;

void start_system()
{
    static bool up = false;
    if (up)
        return;
    up = true;
    // One level: the whole-image and multi-pass appliers capture first.
    bench::start_headless(1);
    // Smooth gradients with some noise: a photograph's statistics.
    g_image = bench::picture(kSide, [](long x, long y, uint32_t seed) {
        const int n = static_cast<int>(seed >> 28);
        return pixel_make(static_cast<int>((x / 16 + n) & 255), static_cast<int>((y / 16 + n) & 255),
                          static_cast<int>(((x ^ y) / 32 + n) & 255), 255);
    });
}

void rate(benchmark::State& state)
{
    bench::rate(state, kSide * kSide);
}

void run(benchmark::State& state, int32_t command)
{
    set_current_operation(command);
    for (auto _ : state) {
        if (perform_operation(g_image, 0) != 0) {
            state.SkipWithError("the operation failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    rate(state);
}

void BM_Memcpy64MiB(benchmark::State& state)
{
    bench::memcpy_pixels(state, kSide * kSide);
}

void BM_Convolve(benchmark::State& state)
{
    start_system();
    ops_reset_parameters();
    run(state, opcmd::Convolve);
}

// The worker alone: what the convolution costs without the undo capture.
void BM_ConvolveWorker(benchmark::State& state)
{
    start_system();
    ops_reset_parameters();
    ensure_mask(kSide, kSide);
    uint8_t* mask = mask_lock();
    image_lock(g_image);
    for (auto _ : state) {
        convolve_worker(g_image, mask);
        benchmark::ClobberMemory();
    }
    image_unlock(g_image);
    mask_unlock();
    rate(state);
}

void BM_Blur(benchmark::State& state)
{
    start_system();
    filter_params().blur_radius = static_cast<float>(state.range(0));
    run(state, opcmd::Blur);
}

void BM_MinimumSquare(benchmark::State& state)
{
    start_system();
    filter_params().min_radius = static_cast<int32_t>(state.range(0));
    filter_params().min_shape = 0;
    run(state, opcmd::Minimum);
}

void BM_MaximumSquare(benchmark::State& state)
{
    start_system();
    filter_params().max_radius = static_cast<int32_t>(state.range(0));
    filter_params().max_shape = 0;
    run(state, opcmd::Maximum);
}

void BM_MinimumDisc(benchmark::State& state)
{
    start_system();
    filter_params().min_radius = static_cast<int32_t>(state.range(0));
    filter_params().min_shape = 1;
    run(state, opcmd::Minimum);
}

void BM_Remove(benchmark::State& state)
{
    start_system();
    filter_params().remove_radius = static_cast<int32_t>(state.range(0));
    run(state, opcmd::Remove);
}

} // namespace

BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convolve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvolveWorker)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blur)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MinimumSquare)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaximumSquare)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MinimumDisc)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Remove)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
