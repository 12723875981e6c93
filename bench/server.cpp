// The command server: the round trip of a command that does nothing, and
// every row of a 1024 x 1024 image read by a client (as vq send --rows
// reads them, acknowledging each, and as an older client that does not),
// beside a memcpy of the same bytes.  The server runs its
// loop on a thread of this process, the client on another: both ends pay
// for the socket as two programs would.
#include "core/app.h"
#include "core/image.h"
#include "ops/ops.h"
#include "server/client.h"
#include "server/server.h"
#include "ui/headless/headless_platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr long kSide = 1024;

struct Setup {
    ui::HeadlessPlatform platform;
    std::string home, socket_path;
    std::thread loop;
    std::atomic<bool> stop {false};

    Setup()
    {
        char tmpl[] = "/tmp/glimvq-bench-server-XXXXXX";
        home = mkdtemp(tmpl);
        platform.set_quiet(true);
        ui::platform_install(&platform);
        ops_install();
        AppOptions o;
        o.home = home;
        if (app_init_instance(o) != 0)
            std::abort();
        Image* image = image_new(kSide, kSide, "iHrgba");
        {
            ImageLock lock(image);
            for (long y = 0; y < kSide; ++y)
                std::memset(image->row(static_cast<int>(y)), static_cast<int>(y & 255), kSide * 4);
        }
        socket_path = home + "/bench.sock";
        std::string error;
        if (server::server_start(socket_path, error) != 0) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        loop = std::thread([this] {
            while (!stop && server::server_poll(20)) {
            }
        });
    }
    ~Setup()
    {
        stop = true;
        loop.join();
        server::server_stop();
        app_shutdown();
        std::string cmd = "rm -rf '" + home + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
};

Setup& setup()
{
    static Setup s;
    return s;
}

void BM_EmptyExecute(benchmark::State& state)
{
    server::Client c;
    if (!c.open(setup().socket_path)) {
        state.SkipWithError(c.error().c_str());
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        bool ok = c.execute("Nothing");
        auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ok);
        times.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(times.begin(), times.end());
    state.counters["median_us"] = times.empty() ? 0 : times[times.size() / 2];
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EmptyExecute)->Iterations(20000)->UseRealTime();

// Argument 1: the client acknowledges every row (vq send does); 0: an
// older client that never does.
void BM_Rows1024(benchmark::State& state)
{
    server::Client c;
    c.set_acknowledging(state.range(0) != 0);
    if (!c.open(setup().socket_path)) {
        state.SkipWithError(c.error().c_str());
        return;
    }
    long w = 0, h = 0;
    std::string rgba, error;
    for (auto _ : state) {
        if (!server::client_read_rows(c, w, h, rgba, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(rgba.data());
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide * 4);
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kSide * kSide),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Rows1024)->ArgName("ack")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Memcpy1024(benchmark::State& state)
{
    std::vector<char> a(kSide * kSide * 4, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide * 4);
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kSide * kSide),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Memcpy1024)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
