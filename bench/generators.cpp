// The generators of the Lighting, Plasma, Pattern and Render Groups at their
// starting parameters on a 1024 x 1024 image (whole area, full mask, one
// thread), each run through perform_operation as a user would, the undo
// capture included.  Beside them a memcpy of the same 4 MiB, and Mandelbrot
// at 256 iterations beside a plain C loop of the same escape-time formula
// over the same points (with and without the test for the two largest
// bulbs, which the worker makes).
#include "core/app.h"
#include "core/parallel.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/ops.h"
#include "ops/render/render.h"
#include "ui/headless/headless_platform.h"

#include "bench/support/start.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr long kSide = 1024;
constexpr double kMegapixels = static_cast<double>(kSide * kSide) / 1e6;

Image* g_image;
std::vector<uint8_t> g_picture;

void start_system()
{
    static bool up = false;
    if (up)
        return;
    up = true;
    bench::start_headless(0);
    // A picture with bright and dark parts, so that Shine, Aura and Outline find something.
    g_image = bench::picture(kSide, [](long x, long y, uint32_t) {
        const long dx = x - kSide / 2, dy = y - kSide / 2;
        const int v = dx * dx + dy * dy < kSide * kSide / 9 ? 250 : static_cast<int>((x ^ y) & 127);
        return pixel_make(v, static_cast<int>(y & 255), static_cast<int>(x & 255), 255);
    });
    ImageLock lock(g_image);
    g_picture.assign(g_image->pixels, g_image->pixels + kSide * kSide * 4);
}

void generator(benchmark::State& state, int32_t command)
{
    start_system();
    ops_reset_parameters();
    set_current_operation(command);
    for (auto _ : state) {
        state.PauseTiming();
        image_lock(g_image);
        std::memcpy(g_image->pixels, g_picture.data(), g_picture.size());
        image_unlock(g_image);
        state.ResumeTiming();
        const int r = perform_operation(g_image, 0);
        if (r != 0) {
            state.SkipWithError("the operation failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Memcpy4MiB(benchmark::State& state)
{
    bench::memcpy_pixels(state, kSide * kSide);
}

// The escape-time loop as one would write it in C, over the points the
// Mandelbrot worker maps the 1024 x 1024 area to at its starting parameters.
void reference_mandelbrot(benchmark::State& state, bool bulbs)
{
    start_system();
    ops_reset_parameters();
    const RenderParams& p = render_params();
    const double cr0 = p.mand_centre[0], ci0 = p.mand_centre[1];
    const double s = 2 / (p.mand_zoom * (kSide / 2.0)), c = (kSide - 1) / 2.0;
    const int iterations = 256;
    std::vector<int> counts(static_cast<size_t>(kSide * kSide));
    for (auto _ : state) {
        int* out = counts.data();
        for (long y = 0; y < kSide; ++y) {
            const double ci = ci0 - (y - c) * s;
            for (long x = 0; x < kSide; ++x) {
                const double cr = cr0 + (x - c) * s;
                if (bulbs) {
                    const double xr = cr - 0.25, q = xr * xr + ci * ci;
                    if (q * (q + xr) <= 0.25 * ci * ci || (cr + 1) * (cr + 1) + ci * ci <= 0.0625) {
                        *out++ = iterations;
                        continue;
                    }
                }
                double zr = 0, zi = 0, zr2 = 0, zi2 = 0;
                int n = 0;
                while (n < iterations && zr2 + zi2 <= 65536.0) {
                    zi = 2 * zr * zi + ci;
                    zr = zr2 - zi2 + cr;
                    zr2 = zr * zr;
                    zi2 = zi * zi;
                    ++n;
                }
                *out++ = n;
            }
        }
        benchmark::DoNotOptimize(counts.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

// The worker's escape function alone over the same points: what the colouring
// and the blending into the image add is the difference to the worker.
void escape_only(benchmark::State& state)
{
    start_system();
    ops_reset_parameters();
    const RenderParams& p = render_params();
    const double cr0 = p.mand_centre[0], ci0 = p.mand_centre[1];
    const double s = 2 / (p.mand_zoom * (kSide / 2.0)), c = (kSide - 1) / 2.0;
    std::vector<int> counts(static_cast<size_t>(kSide * kSide));
    for (auto _ : state) {
        int* out = counts.data();
        for (long y = 0; y < kSide; ++y)
            for (long x = 0; x < kSide; ++x) {
                double smooth;
                *out++ = mandelbrot_escape(cr0 + (x - c) * s, ci0 - (y - c) * s, 256, 2, &smooth);
            }
        benchmark::DoNotOptimize(counts.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_Memcpy4MiB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reference_mandelbrot, C_loop_256, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reference_mandelbrot, C_loop_256_bulbs, true)->Unit(benchmark::kMillisecond);
BENCHMARK(escape_only)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Mandelbrot_256, opcmd::Mandelbrot)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Julia_256, opcmd::Julia)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Asterize, opcmd::Asterize)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Annular, opcmd::Annular)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Refract, opcmd::Refract)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Shine, opcmd::Shine)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Lightning, opcmd::Lightning)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Aura, opcmd::Aura)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Fire, opcmd::Fire)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, ThreeDNet, opcmd::ThreeDNet)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, RandomTile, opcmd::RandomTile)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Pixelize, opcmd::Pixelize)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Cellular, opcmd::Cellular)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Lined, opcmd::Lined)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, LinearFill, opcmd::LinearFill)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Concentric, opcmd::Concentric)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Radiating, opcmd::Radiating)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Outline, opcmd::Outline)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Landscape, opcmd::Landscape)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, FlatMap, opcmd::FlatMap)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Exfoliation, opcmd::Exfoliation)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Entrainment, opcmd::Entrainment)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Ruler, opcmd::Ruler)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Grid, opcmd::Grid)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Texture, opcmd::Texture)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Bang, opcmd::Bang)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Pagecurl, opcmd::Pagecurl)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(generator, Crater, opcmd::Crater)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
