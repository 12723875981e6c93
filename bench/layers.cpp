// Compositing a 4096 x 4096 layer over a master: Normal and Multiply, with
// a layer alpha that varies, beside a memcpy of the layer's bytes.  Each
// iteration is a whole composite_layers: the transparent-white start of the
// master and the layer over it.  Megapixels per second count the layer's
// pixels.
#include "core/image.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"
#include "layers/layer_manage.h"
#include "layers/layer_tables.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr long kSide = 4096;
constexpr double kMegapixels = static_cast<double>(kSide * kSide) / 1e6;

struct Stack {
    Image* master = nullptr;
    Image* top = nullptr;
};

Stack& stack()
{
    static Stack s;
    if (s.master)
        return s;
    layer_tables_init();
    s.master = image_new(kSide, kSide, "bench");
    layer_start_stack(s.master);
    s.top = layer_create(s.master, kSide, kSide);
    std::mt19937 rng(1);
    for (Image* l : {s.top}) {
        image_lock(l);
        for (long y = 0; y < kSide; ++y) {
            uint8_t* p = l->row(static_cast<int>(y));
            for (long x = 0; x < kSide; ++x, p += 4) {
                uint32_t r = rng();
                p[0] = static_cast<uint8_t>(r);
                p[1] = static_cast<uint8_t>(r >> 8);
                p[2] = static_cast<uint8_t>(r >> 16);
                // Opaque in places, soft and with holes elsewhere.
                p[3] = static_cast<uint8_t>(((x + y) & 511) < 256 ? (x ^ y) & 255 : 255);
            }
        }
        image_unlock(l);
    }
    return s;
}

void composite(benchmark::State& state, int mode)
{
    Stack& s = stack();
    s.top->layer_mode = mode;
    s.top->layer_opacity = 80;
    for (auto _ : state) {
        composite_layers(s.master);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide * 4);
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_MemcpyLayerBytes(benchmark::State& state)
{
    std::vector<uint8_t> a(kSide * kSide * 4, 1), b(kSide * kSide * 4);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide * 4);
    state.counters["Mpx/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_CompositeNormal(benchmark::State& state)
{
    composite(state, MODE_NORMAL);
}

void BM_CompositeMultiply(benchmark::State& state)
{
    composite(state, MODE_MULTIPLY);
}

} // namespace

BENCHMARK(BM_MemcpyLayerBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompositeNormal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompositeMultiply)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
