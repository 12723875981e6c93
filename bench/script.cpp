// The interpreter on a FOR loop of 300,000 steps with arithmetic, string
// building, an array and an IF, beside the same loop in two other BASIC
// interpreters: yabasic (Debian's yabasic, its own dialect: the same
// statements written its way) and bwbasic (Debian's bwbasic, the very same
// program text), and a memcpy of the bytes of the loop's lines once per
// step.  "lines/s" counts the five lines of the loop body run per second.
// The peers run as programs of their own, so their times include their
// start (shown apart); ours is the run entry called in this process.  Times
// are processor seconds (ours: this process's, the peers': their own), so
// that other work on the machine does not tilt the comparison.  At the end
// a table puts the figures side by side as ratios.
#include "script/script.h"
#include "ui/headless/headless_platform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr long kSteps = 300000;
constexpr long kBodyLines = 5;  // lines 40 to 80

// Ours and bwbasic read this text as it stands.
const char* const kBody = "40 X# = X# + I * 2 - 1\n"
                          "50 A(I - INT(I / 100) * 100) = X#\n"
                          "60 S$ = S$ + \"A\"\n"
                          "70 IF LEN(S$) > 40 THEN S$ = \"\"\n"
                          "80 NEXT I\n";

std::string program()
{
    return std::string("10 DIM A(100)\n"
                       "20 X# = 0: S$ = \"\"\n"
                       "30 FOR I = 1 TO 300000\n") +
           kBody +
           "90 PRINT X#; LEN(S$)\n"
           "100 END\n";
}

// The same program in yabasic's words: no type suffixes, IF without THEN
// on one line.
const char* const kYabasic = "10 dim a(100)\n"
                             "20 x = 0 : s$ = \"\"\n"
                             "30 for i = 1 to 300000\n"
                             "40 x = x + i * 2 - 1\n"
                             "50 a(i - int(i / 100) * 100) = x\n"
                             "60 s$ = s$ + \"A\"\n"
                             "70 if len(s$) > 40 s$ = \"\"\n"
                             "80 next i\n"
                             "90 print x, len(s$)\n";

// The sum of 2i - 1 up to 300,000 is 300,000 squared.
const char* const kExpected = "90000000000";
const char* const kExpectedShort = "9e+10";  // yabasic's way of printing it

std::string write_file(const char* suffix, const std::string& text)
{
    std::string path = std::string("/tmp/glimvq-bench-") + std::to_string(getpid()) + suffix;
    std::ofstream(path) << text;
    return path;
}

// Keeps the program's one output line instead of printing it.
struct Quiet : ui::HeadlessPlatform {
    std::string last;
    void output_box(const char* text) override { last = text; }
};

double own_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Processor time of the programs this process started and waited for.
double children_seconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    auto s = [](const timeval& v) { return static_cast<double>(v.tv_sec) + static_cast<double>(v.tv_usec) * 1e-6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

void report_lines(benchmark::State& state)
{
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(kSteps * kBodyLines),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(state.iterations() * kSteps * static_cast<long>(std::strlen(kBody)));
}

void BM_Interpreter(benchmark::State& state)
{
    std::string path = write_file(".gxs", program());
    Quiet quiet;
    ui::platform_install(&quiet);
    const char* argv[] = {"bench", path.c_str()};
    for (auto _ : state) {
        double before = own_seconds();
        if (script_run(2, argv) != 0) {
            state.SkipWithError(script_last_error().c_str());
            break;
        }
        state.SetIterationTime(own_seconds() - before);
    }
    ui::platform_install(nullptr);
    std::remove(path.c_str());
    if (quiet.last.find(kExpected) == std::string::npos)
        state.SkipWithError(("unexpected output: " + quiet.last).c_str());
    report_lines(state);
}
BENCHMARK(BM_Interpreter)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();

bool installed(const char* program)
{
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// Runs a peer on a program text; false (and the state skipped) when it is
// missing or prints something else.
void run_peer(benchmark::State& state, const char* peer, const char* package, const std::string& text,
              bool counted)
{
    if (!installed(peer)) {
        state.SkipWithError((std::string(peer) + " is not installed (Debian package " + package + ")").c_str());
        return;
    }
    std::string path = write_file(".bas", text);
    std::string out = path + ".out";
    std::string command = std::string(peer) + " " + path + " </dev/null >" + out + " 2>&1";
    for (auto _ : state) {
        double before = children_seconds();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError((std::string(peer) + " failed").c_str());
            break;
        }
        state.SetIterationTime(children_seconds() - before);
    }
    std::stringstream printed;
    printed << std::ifstream(out).rdbuf();
    std::remove(path.c_str());
    std::remove(out.c_str());
    if (counted) {
        if (printed.str().find(kExpected) == std::string::npos &&
            printed.str().find(kExpectedShort) == std::string::npos)
            state.SkipWithError((std::string(peer) + " printed something else: " + printed.str()).c_str());
        report_lines(state);
    }
}

void BM_Yabasic(benchmark::State& state)
{
    run_peer(state, "yabasic", "yabasic", kYabasic, true);
}
BENCHMARK(BM_Yabasic)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();

// What yabasic takes to start and end on a program of one line.
void BM_YabasicStart(benchmark::State& state)
{
    run_peer(state, "yabasic", "yabasic", "10 end\n", false);
}
BENCHMARK(BM_YabasicStart)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();

// bwbasic is slow: one run is enough to compare.
void BM_Bwbasic(benchmark::State& state)
{
    run_peer(state, "bwbasic", "bwbasic", program(), true);
}
BENCHMARK(BM_Bwbasic)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// The same bytes moved by memcpy: the loop body's text once per step.
void BM_MemcpyLoopText(benchmark::State& state)
{
    size_t n = std::strlen(kBody);
    char destination[256];
    for (auto _ : state) {
        double before = own_seconds();
        for (long i = 0; i < kSteps; ++i) {
            std::memcpy(destination, kBody, n);
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(destination);
        state.SetIterationTime(own_seconds() - before);
    }
    report_lines(state);
}
BENCHMARK(BM_MemcpyLoopText)->Unit(benchmark::kMillisecond)->UseManualTime();

// Keeps each benchmark's time per run for the table at the end.
class Recorder : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;  // by benchmark name; absent when skipped

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                seconds[run.run_name.function_name] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

void print_table(const Recorder& r)
{
    auto time_of = [&](const char* name) {
        auto it = r.seconds.find(name);
        return it == r.seconds.end() ? -1.0 : it->second;
    };
    double ours = time_of("BM_Interpreter");
    std::printf("\nThe %ld-step loop side by side (processor time; lines per second; time against ours):\n",
                kSteps);
    auto row = [&](const char* label, double seconds) {
        if (seconds <= 0) {
            std::printf("  %-24s %14s\n", label, "not measured");
            return;
        }
        double rate = static_cast<double>(kSteps * kBodyLines) / seconds;
        if (ours > 0)
            std::printf("  %-24s %10.2f M lines/s   %7.2f x our time\n", label, rate / 1e6, seconds / ours);
        else
            std::printf("  %-24s %10.2f M lines/s\n", label, rate / 1e6);
    };
    row("glimvq script", ours);
    row("yabasic", time_of("BM_Yabasic"));
    double start = time_of("BM_YabasicStart");
    double yabasic = time_of("BM_Yabasic");
    if (start > 0 && yabasic > start)
        row("yabasic, less its start", yabasic - start);
    row("bwbasic", time_of("BM_Bwbasic"));
    row("memcpy of the loop text", time_of("BM_MemcpyLoopText"));
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    print_table(recorder);
    return 0;
}
