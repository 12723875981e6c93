// What every benchmark of the operations needs: the system started once as
// `vq` starts it, a picture to work on, the rate counters and the memcpy of
// the same bytes that each measurement is read beside.
#pragma once

#include "core/app.h"
#include "core/image.h"
#include "core/parallel.h"
#include "core/settings.h"
#include "core/undo.h"
#include "ops/ops.h"
#include "ui/headless/headless_platform.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace bench {

// Headless and quiet, the settings in a fresh folder under /tmp; the
// operations leave alpha alone, work in place, keep `undo_levels` undo
// copies and run on `threads` threads. Later calls do nothing.
inline void start_headless(int undo_levels, int threads = 1)
{
    static bool up = false;
    if (up)
        return;
    up = true;
    char tmpl[] = "/tmp/glimvq-bench-XXXXXX";
    AppOptions o;
    o.home = mkdtemp(tmpl);
    ui::headless().set_quiet(true);
    ui::platform_install(&ui::headless());
    ops_install();
    app_init_instance(o);
    settings().mod_alpha = 0;
    settings().with_alpha = 0;
    settings().work_method = 0;
    undo_set_levels(settings().undo_want, undo_levels);
    parallel_set_threads(threads);
}

// A side x side picture whose pixel (x, y) is colour(x, y, seed), with the
// seed stepped once a pixel for pictures that want noise.
template <class Colour>
Image* picture(long side, Colour colour)
{
    Image* img = image_new(side, side, "bench");
    ImageLock lock(img);
    uint32_t seed = 12345;
    for (long y = 0; y < side; ++y)
        for (long x = 0; x < side; ++x) {
            seed = seed * 1664525u + 1013904223u;
            pixel_store(img->pixel(static_cast<int>(x), static_cast<int>(y)), colour(x, y, seed));
        }
    return img;
}

// Bytes and megapixels a second for `pixels` pixels done each iteration.
inline void rate(benchmark::State& state, long pixels)
{
    state.SetBytesProcessed(state.iterations() * pixels * 4);
    state.counters["Mpx/s"] =
        benchmark::Counter(static_cast<double>(pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// The yardstick: a memcpy of `pixels` RGBA pixels.
inline void memcpy_pixels(benchmark::State& state, long pixels)
{
    std::vector<uint8_t> a(static_cast<size_t>(pixels) * 4, 1), b(static_cast<size_t>(pixels) * 4);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
    rate(state, pixels);
}

} // namespace bench
