// The geometric operations on a 4096 x 4096 image with a full mask, one
// thread, beside a memcpy of the same 64 MiB.  "resampler" runs the
// operation's worker over every pixel as the geometric applier does, reading
// a capture taken once; "operation" is the whole perform_operation, with the
// undo capture the geometric and whole-image appliers always take, on one
// thread or on the pool's (the two-thread run is timed by the wall clock).
#include "areas/area_mask.h"
#include "core/app.h"
#include "core/image.h"
#include "core/parallel.h"
#include "core/settings.h"
#include "core/undo.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/geom/geom.h"
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
    bench::start_headless(1, 0);
    g_image = bench::picture(kSide, [](long x, long y, uint32_t) {
        return pixel_make(static_cast<int>(x & 255), static_cast<int>(y & 255), static_cast<int>((x ^ y) & 255), 255);
    });
}

void count(benchmark::State& state)
{
    bench::rate(state, kSide * kSide);
}

void BM_Memcpy64MiB(benchmark::State& state)
{
    bench::memcpy_pixels(state, kSide * kSide);
}

// The worker alone, pixel by pixel over the whole image, with the capture
// published as the geometric applier publishes it.
void resampler(benchmark::State& state, int32_t command)
{
    start_system();
    const OpDescriptor* d = op_by_command(command);
    set_current_operation(command);
    AreaMask& mask = area_mask();
    area_rect_whole(g_image, mask.rect);
    image_lock(g_image);
    undo_capture(0, 0, kSide - 1, kSide - 1, g_image, "bench");
    Image* capture = undo_last_capture();
    image_lock(capture);
    OpState& s = op_state();
    s.capture = capture;
    s.capture_x = s.capture_y = 0;
    s.mapping = d->mapping;
    s.alpha_mode = false;
    s.clear_outside = false;
    if (d->prepare)
        d->prepare(g_image, 0);
    void (*place)(uint8_t*, int, int, int) = d->worker.place_xy;
    for (auto _ : state) {
        for (int y = 0; y < kSide; ++y) {
            uint8_t* row = g_image->row(y);
            for (int x = 0; x < kSide; ++x)
                place(row + 4 * x, x, y, 255);
        }
        benchmark::ClobberMemory();
    }
    s.capture = nullptr;
    image_unlock(capture);
    image_unlock(g_image);
    count(state);
}

void operation(benchmark::State& state, int32_t command, int threads)
{
    start_system();
    parallel_set_threads(threads);
    set_current_operation(command);
    for (auto _ : state) {
        if (perform_operation(g_image, 0) != 0) {
            state.SkipWithError("the operation failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    parallel_set_threads(0);
    count(state);
}

} // namespace

BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(resampler, Roll, opcmd::Roll)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(resampler, Swirl, opcmd::Swirl)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(resampler, Dome, opcmd::Dome)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(resampler, Kaleidoscope, opcmd::Kaleidoscope)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(operation, Roll_1_thread, opcmd::Roll, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(operation, Swirl_1_thread, opcmd::Swirl, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(operation, Swirl_2_threads, opcmd::Swirl, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(operation, Flip_1_thread, opcmd::Flip, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(operation, Turn90_1_thread, opcmd::Turn90, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(operation, Rotate30_1_thread, opcmd::Rotate, 1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
