// The appliers on a 4096 x 4096 image with a full mask, single-threaded,
// beside a memcpy of the same 64 MiB.  The tone operations run with their
// real workers; the other applier kinds are timed with a minimal worker of
// their signature put in a real operation's place, which measures what the
// applier itself costs.  Undo levels are 0 (pixel appliers take no capture)
// except in the runs marked "undo", which include the capture.
#include "areas/area_mask.h"
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/ops.h"
#include "ops/tone/tone.h"
#include "ui/headless/headless_platform.h"

#include "bench/support/start.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
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
    bench::start_headless(0);
    g_image = bench::picture(kSide, [](long x, long y, uint32_t) {
        return pixel_make(static_cast<int>(x & 255), static_cast<int>(y & 255), static_cast<int>((x ^ y) & 255), 255);
    });

    // Minimal workers for the other applier kinds.
    OpRow b{};
    b.command = 3271;  // Combine: pixel map xy
    b.worker.map_xy = [](uint32_t p, int x, int) { return p ^ static_cast<uint32_t>(x & 1); };
    op_register(b);
    b = OpRow{};
    b.command = 3262;  // Contour: pixel in place xy
    b.worker.place_xy = [](uint8_t* p, int x, int, int) { p[0] = static_cast<uint8_t>(p[0] ^ (x & 1)); };
    op_register(b);
    b.command = 3257;  // Sharpen: multi-pass
    op_register(b);
    b = OpRow{};
    b.command = 3221;  // Roll: geometric, reading the capture
    b.worker.place_xy = [](uint8_t* p, int x, int y, int) {
        const Image* c = op_state().capture;
        std::memcpy(p, c->pixels + 4 * (static_cast<size_t>(c->rows[y]) + static_cast<size_t>(x)), 4);
    };
    op_register(b);
    b = OpRow{};
    b.command = 3151;  // Relief: whole image
    b.worker.whole = [](Image* t, uint8_t*) {
        for (int y = 0; y < t->height; ++y)
            t->row(y)[0] ^= 1;
        return 0;
    };
    op_register(b);
}

void apply(benchmark::State& state, int32_t command, bool undo)
{
    start_system();
    undo_set_levels(settings().undo_want, undo ? 1 : 0);
    set_current_operation(command);
    for (auto _ : state) {
        int r = perform_operation(g_image, 0);
        if (r != 0) {
            state.SkipWithError("the operation failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    undo_set_levels(settings().undo_want, 0);
    bench::rate(state, kSide * kSide);
}

void BM_Memcpy64MiB(benchmark::State& state)
{
    bench::memcpy_pixels(state, kSide * kSide);
}

} // namespace

BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelMap_Negative, opcmd::Negative, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelMap_Negative_undo, opcmd::Negative, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelMap_Solarize, opcmd::Solarize, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelMap_AdjustHue, opcmd::AdjustHue, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelMap_AdjustValue, opcmd::AdjustValue, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelMap_Saturation, opcmd::Saturation, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelInPlace_Brightness, opcmd::Brightness, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelInPlace_Gamma, opcmd::Gamma, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelMapXY_minimal, 3271, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, PixelInPlaceXY_minimal, 3262, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, MultiPass_minimal_undo, 3257, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, Geometric_minimal_undo, 3221, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(apply, WholeImage_minimal_undo, 3151, false)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
