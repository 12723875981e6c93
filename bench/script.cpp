// The interpreter on a loop of one million iterations with arithmetic,
// string building and an array, beside the bwbasic interpreter (Debian's
// bwbasic) running the very same program text, and a memcpy of the bytes of
// the loop's lines once per iteration.  "lines/s" counts the five lines of
// the loop body run per second.
#include "script/script.h"
#include "ui/headless/headless_platform.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

constexpr long kLoops = 1000000;
constexpr long kBodyLines = 5;  // lines 40 to 80

// Both interpreters read this text as it stands.
const char* const kBody = "40 X# = X# + I * 2 - 1\n"
                          "50 A(I - INT(I / 100) * 100) = X#\n"
                          "60 S$ = S$ + \"A\"\n"
                          "70 IF LEN(S$) > 40 THEN S$ = \"\"\n"
                          "80 NEXT I\n";

std::string program()
{
    return std::string("10 DIM A(100)\n"
                       "20 X# = 0: S$ = \"\"\n"
                       "30 FOR I = 1 TO 1000000\n") +
           kBody +
           "90 PRINT X#; LEN(S$)\n"
           "100 END\n";
}

const char* const kExpected = "1000000000000";

std::string write_program(const char* name)
{
    std::string path = std::string("/tmp/glimvq-bench-") + std::to_string(getpid()) + name;
    std::ofstream(path) << program();
    return path;
}

// Keeps the program's one output line instead of printing it.
struct Quiet : ui::HeadlessPlatform {
    std::string last;
    void output_box(const char* text) override { last = text; }
};

void report_lines(benchmark::State& state)
{
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(kLoops * kBodyLines),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(state.iterations() * kLoops * static_cast<long>(std::strlen(kBody)));
}

void BM_Interpreter(benchmark::State& state)
{
    std::string path = write_program(".gxs");
    Quiet quiet;
    ui::platform_install(&quiet);
    const char* argv[] = {"bench", path.c_str()};
    for (auto _ : state) {
        if (script_run(2, argv) != 0) {
            state.SkipWithError(script_last_error().c_str());
            break;
        }
    }
    ui::platform_install(nullptr);
    std::remove(path.c_str());
    if (quiet.last.find(kExpected) == std::string::npos)
        state.SkipWithError(("unexpected output: " + quiet.last).c_str());
    report_lines(state);
}
BENCHMARK(BM_Interpreter)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// bwbasic is slow: one run is enough to compare.
void BM_Bwbasic(benchmark::State& state)
{
    if (std::system("command -v bwbasic >/dev/null 2>&1") != 0) {
        state.SkipWithError("bwbasic is not installed (Debian package bwbasic)");
        return;
    }
    std::string path = write_program(".bas");
    std::string out = path + ".out";
    std::string command = "bwbasic " + path + " </dev/null >" + out + " 2>&1";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("bwbasic failed");
            break;
        }
    }
    std::stringstream text;
    text << std::ifstream(out).rdbuf();
    std::remove(path.c_str());
    std::remove(out.c_str());
    if (text.str().find(kExpected) == std::string::npos)
        state.SkipWithError("bwbasic printed something else");
    report_lines(state);
}
BENCHMARK(BM_Bwbasic)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The same bytes moved by memcpy: the loop body's text once per iteration.
void BM_MemcpyLoopText(benchmark::State& state)
{
    size_t n = std::strlen(kBody);
    char destination[256];
    for (auto _ : state) {
        for (long i = 0; i < kLoops; ++i) {
            std::memcpy(destination, kBody, n);
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(destination);
    }
    report_lines(state);
}
BENCHMARK(BM_MemcpyLoopText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
