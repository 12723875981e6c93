// Building selection masks on a 4096 x 4096 image: a feathered ellipse, a
// 1,000-point polygon and a colour-wand flood, beside a memcpy of the mask's
// bytes.  Megapixels per second count the target's pixels.
#include "areas/area.h"
#include "areas/area_mask.h"
#include "core/image.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr long kSide = 4096;

Image* target()
{
    static Image* img = nullptr;
    if (!img) {
        img = image_new(kSide, kSide, "bench");
        image_lock(img);
        // A quiet gradient, all within the wand's range of the seed.
        for (long y = 0; y < kSide; ++y)
            for (long x = 0; x < kSide; ++x) {
                uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
                p[0] = static_cast<uint8_t>(100 + (x >> 9));
                p[1] = static_cast<uint8_t>(100 + (y >> 9));
                p[2] = 100;
                p[3] = 255;
            }
        image_unlock(img);
    }
    return img;
}

void run(benchmark::State& state)
{
    Image* img = target();
    area_select();
    for (auto _ : state) {
        build_area_mask(img, false);
        benchmark::DoNotOptimize(area_mask().rect);
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    state.SetBytesProcessed(state.iterations() * kSide * kSide);
    state.counters["Mpx/s"] =
        benchmark::Counter(static_cast<double>(kSide * kSide) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_MemcpyMaskBytes(benchmark::State& state)
{
    std::vector<uint8_t> a(kSide * kSide, 1), b(kSide * kSide);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide);
    state.counters["Mpx/s"] =
        benchmark::Counter(static_cast<double>(kSide * kSide) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FeatheredEllipse(benchmark::State& state)
{
    area_settings_reset();
    AreaSettings& s = area_settings();
    s.mode = AreaMode::ELLIPSE;
    s.pos_x = s.pos_y = kSide / 2;
    s.rad_x = 1900;
    s.rad_y = 1500;
    s.feather = state.range(0);
    run(state);
}

void BM_Polygon1000(benchmark::State& state)
{
    area_settings_reset();
    AreaSettings& s = area_settings();
    s.mode = AreaMode::POLYGON;
    // A wavy star: 1,000 points, many crossings per row.
    for (int i = 0; i < 1000; ++i) {
        double a = 2 * M_PI * i / 1000;
        double r = 1500 + 400 * std::sin(a * 25);
        s.points.push_back({static_cast<int32_t>(kSide / 2 + r * std::cos(a)),
                            static_cast<int32_t>(kSide / 2 + r * std::sin(a)), static_cast<int16_t>(i ? 255 : 0)});
    }
    run(state);
}

void BM_Flood(benchmark::State& state)
{
    area_settings_reset();
    AreaSettings& s = area_settings();
    s.mode = AreaMode::FLOOD;
    s.pos_x = s.pos_y = 100;
    s.range[0] = s.range[1] = s.range[2] = 20;
    run(state);
}

} // namespace

BENCHMARK(BM_MemcpyMaskBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FeatheredEllipse)->Arg(0)->Arg(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Polygon1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flood)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
