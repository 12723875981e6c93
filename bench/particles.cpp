// Particle systems: 100,000 particles advanced one frame and drawn into a
// 1024 x 1024 picture, on one core, beside a memcpy of the picture's bytes
// (which also puts the background back before every frame).
//
//   build/bench/bench_particles
//
// The system is a fountain of the demo's kind: a 3-D emitter, gravity,
// turbulence at birth, an age wrap and fade and palette ramps, discs of
// radius 0.8 to 2.5.  "frame" is what a frame of a sequence costs (put the
// background back, advance, draw); "advance" and "draw" are its halves;
// "frame_over" lays the discs over one another, far ones first, which sorts
// them by depth every frame; "frame_2d" is the same system in the plane.
#include "core/mem.h"
#include "particles/simulate.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr long kW = 1024, kH = 1024;
constexpr long kParticles = 100000;
constexpr double kBytes = 4.0 * kW * kH;

struct Setup {
    PsysRun run;
    std::vector<uint8_t> background, pixels;

    Setup(bool additive, bool twodee)
    {
        ParticleSystem& s = run.sys;
        psys_defaults(s);
        s.particlecount = kParticles;
        s.y = 380;
        s.xw = 60, s.yw = 30, s.zw = 60;
        s.yv = -24;
        s.minsize = 0.8f, s.maxsize = 2.5f;
        s.advancerange = 70, s.agewrap = 70;
        s.zscale = 0.002f;
        s.seed = 5;
        s.additive = additive;
        s.twodee = twodee;
        for (int i = 0; i < 3; ++i)
            psys_add_force(s);
        s.forces[0].fyv = 0.7f;  // gravity
        s.forces[1].ftype = FORCE_RADIAL;
        s.forces[1].fyw = 380;
        s.forces[1].fta = -3;
        s.forces[1].fend = 1;
        s.forces[1].turbstart = s.forces[1].turbend = 1;
        s.forces[2].fbegin = 45, s.forces[2].fend = 70;
        s.forces[2].fadestart = 1, s.forces[2].fadeend = 0;
        s.forces[2].pastart = s.forces[2].paend = 0.9f;
        run.palette.count = 64;
        for (int i = 0; i < 64; ++i) {
            run.palette.red[i] = static_cast<uint8_t>(40 + i);
            run.palette.green[i] = static_cast<uint8_t>(100 + 2 * i);
            run.palette.blue[i] = 255;
        }
        run.stage.width = kW;
        run.stage.height = kH;
        psys_alloc_particles(s);
        psys_generate(run, false);
        background.assign(static_cast<size_t>(kBytes), 0);
        for (size_t i = 3; i < background.size(); i += 4)
            background[i] = 255;
        pixels = background;
    }
    ~Setup() { psys_release(run); }
};

void report(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * kParticles);
    state.counters["Mparticles/s"] =
        benchmark::Counter(kParticles / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void frame(benchmark::State& state, bool additive, bool twodee)
{
    Setup s(additive, twodee);
    for (auto _ : state) {
        std::memcpy(s.pixels.data(), s.background.data(), s.pixels.size());
        psys_step(s.run);
        psys_draw(s.run, s.pixels.data(), kW, kH, nullptr, false);
        benchmark::DoNotOptimize(s.pixels.data());
    }
    report(state);
}

void advance(benchmark::State& state)
{
    Setup s(true, false);
    for (auto _ : state) {
        psys_step(s.run);
        benchmark::DoNotOptimize(s.run.sys.particles);
    }
    report(state);
}

void draw(benchmark::State& state)
{
    Setup s(true, false);
    psys_advance(s.run, 30, false);
    for (auto _ : state) {
        std::memcpy(s.pixels.data(), s.background.data(), s.pixels.size());
        psys_draw(s.run, s.pixels.data(), kW, kH, nullptr, false);
        benchmark::DoNotOptimize(s.pixels.data());
    }
    report(state);
}

void memcpy_picture(benchmark::State& state)
{
    std::vector<uint8_t> a(static_cast<size_t>(kBytes), 1), b(static_cast<size_t>(kBytes));
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
    }
    state.counters["MB/s"] = benchmark::Counter(kBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(memcpy_picture)->Name("memcpy_4MiB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(frame, frame, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK(advance)->Unit(benchmark::kMillisecond);
BENCHMARK(draw)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(frame, frame_over, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(frame, frame_2d, true, true)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
