// Sequence generation: a two-level, 100-frame timeline at 640 x 480 (level
// 1 reads a picture and applies a pixel-map operation whose value follows a
// trend; level 2 takes Level(1) and applies a geometric operation along
// another trend), generated in one process, beside the same frames made by
// 100 `vq apply` processes (read, the two operations, write), and beside a
// memcpy of the frames' bytes.  Two pairs of operations: Negative and Roll,
// whose work is light, so that the cost of a frame is mostly what the route
// adds; and Adjust Hue and Swirl, whose arithmetic (Swirl's atan2, sin and
// cos a pixel) is most of a frame whichever way it is made.
//
// Argument 0: 0 Negative and Roll, 1 Adjust Hue and Swirl.  Argument 1 of
// the generation: 0 frames handed on only, 1 numbered BMP files, 2 numbered
// PNG files; the processes write BMP files.  Times are processor time of
// this program and the programs it runs (the machine is shared); "wall
// frames/s" is elapsed time.  "ms/frame first 10" and "ms/frame last 10"
// (processor time) show whether a frame costs more as the frame number
// grows; "x faster" and "x faster (wall)" are the generation's rate over the
// processes' rate, with BMP files both ways.
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/ops.h"
#include "timeline/sequence.h"
#include "timeline/timeline.h"
#include "ui/headless/headless_platform.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr long kWidth = 640, kHeight = 480, kFrames = 100;

std::string g_folder, g_vq;
double g_generate_fps[2] = {}, g_generate_wall[2] = {};

// The two pairs: the operations, their keys, and the value of each by frame (from 0).
struct Pair {
    const char* name;
    int32_t first, second;
    const char* first_key;
    const char* second_key;
    int32_t (*first_at)(long f);
    int32_t (*second_at)(long f);
};
const Pair kPairs[2] = {
    {"Negative, Roll", opcmd::Negative, opcmd::Roll, "mode", "dx",
     [](long f) { return static_cast<int32_t>(f % 3); },
     [](long f) { return static_cast<int32_t>(7 * f - 300); }},
    {"Adjust Hue, Swirl", opcmd::AdjustHue, opcmd::Swirl, "shift", "amount",
     [](long f) { return static_cast<int32_t>(-180 + 360 * f / (kFrames - 1)); },
     [](long f) { return static_cast<int32_t>(20 + 200 * std::sin(f * 3.14159265 / (kFrames - 1))); }},
};

double cpu_seconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u {};
        getrusage(who, &u);
        total += u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec * 1e-6;
    }
    return total;
}

int slot_of(int32_t command, const char* key)
{
    const OpDescriptor* d = op_by_command(command);
    for (int i = 0; i < kOpSlots; ++i)
        if (d->slots[i].used() && d->slots[i].key && std::strcmp(d->slots[i].key, key) == 0)
            return i;
    return -1;
}

// The timeline with one key a frame, so that both routes apply the same values.
void build_timeline(const Pair& p)
{
    timeline_new(kFrames);
    const std::string in = g_folder + "/in.bmp";
    timeline_hold(0, 0, kFrames - 1, Grid::Action, as_cell(timeline_file_new(in.c_str())));
    timeline_hold(0, 0, kFrames - 1, Grid::Op, as_cell(timeline_op_capture(p.first)));
    timeline_hold(1, 0, kFrames - 1, Grid::Action, as_cell(timeline_file_new("Level(1)")));
    timeline_hold(1, 0, kFrames - 1, Grid::Op, as_cell(timeline_op_capture(p.second)));
    std::vector<int32_t> frames, a, b;
    for (long f = 0; f < kFrames; ++f) {
        frames.push_back(static_cast<int32_t>(f));
        a.push_back(p.first_at(f));
        b.push_back(p.second_at(f));
    }
    trend_set_keys(timeline_var_trend(0, p.first, slot_of(p.first, p.first_key)), frames.data(), a.data(), kFrames);
    trend_set_keys(timeline_var_trend(1, p.second, slot_of(p.second, p.second_key)), frames.data(), b.data(),
                   kFrames);
}

void start_system()
{
    static bool up = false;
    if (up)
        return;
    up = true;
    char tmpl[] = "/tmp/glimvq-bench-seq-XXXXXX";
    g_folder = mkdtemp(tmpl);
    AppOptions o;
    o.home = g_folder + "/home";
    ui::headless().set_quiet(true);
    ui::headless().set_policy(ui::HeadlessPlatform::Policy::Yes);
    ui::platform_install(&ui::headless());
    ops_install();
    app_init_instance(o);
    undo_set_levels(settings().undo_want, 0);

    Image* img = image_new_locked(kWidth, kHeight, "bench");
    for (long y = 0; y < kHeight; ++y)
        for (long x = 0; x < kWidth; ++x) {
            uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
            p[0] = static_cast<uint8_t>(x * 255 / kWidth);
            p[1] = static_cast<uint8_t>(y * 255 / kHeight);
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin((x + y) * 0.03));
            p[3] = 255;
        }
    image_unlock(img);
    settings().save_type = FMT_BMP;
    settings().save_depth = 2;
    save_image(img, (g_folder + "/in.bmp").c_str());
    image_free(img);

    // vq beside this program: build/bench/bench_sequence and build/bin/vq.
    char self[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    dir = dir.substr(0, dir.rfind('/'));
    g_vq = dir + "/../bin/vq";
    if (const char* bin = std::getenv("GLIMVQ_BIN_DIR"))
        g_vq = std::string(bin) + "/vq";
}

void BM_Memcpy(benchmark::State& state)
{
    start_system();
    std::vector<uint8_t> from(static_cast<size_t>(kWidth * kHeight * 4), 7), to(from.size());
    double total = 0;
    for (auto _ : state) {
        double t0 = cpu_seconds();
        for (long f = 0; f < kFrames; ++f) {
            std::memcpy(to.data(), from.data(), to.size());
            benchmark::DoNotOptimize(to.data());
        }
        double used = cpu_seconds() - t0;
        state.SetIterationTime(used);
        total += used;
    }
    const double frames = static_cast<double>(state.iterations()) * kFrames;
    state.counters["frames/s"] = frames / total;
    state.counters["Mpx/s"] = frames * kWidth * kHeight / 1e6 / total;
}
BENCHMARK(BM_Memcpy)->UseManualTime()->Unit(benchmark::kMillisecond);

// The processor time at which each frame was finished.
std::vector<double> g_done;

void frame_done(Image*, long)
{
    g_done.push_back(cpu_seconds());
}

double wall_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void BM_Generate(benchmark::State& state)
{
    start_system();
    const Pair& pair = kPairs[state.range(0)];
    const long output = state.range(1);
    static const char* const kOutputs[] = {"frames only", "BMP files", "PNG files"};
    state.SetLabel(std::string(pair.name) + ", " + kOutputs[output]);
    build_timeline(pair);
    SequenceRequest rq;
    if (output > 0) {
        rq.output.kind = SequenceOutputKind::Numbered;
        rq.output.name = g_folder + "/gen" + std::to_string(state.range(0)) + (output == 1 ? "/f%04d.bmp" : "/f%04d.png");
        rq.output.type = output == 1 ? FMT_BMP : FMT_PNG;
        rq.output.depth = 2;
    }
    SequenceHooks hooks;
    hooks.frame_done = frame_done;
    sequence_set_hooks(hooks);
    double total = 0, wall = 0, first = 0, last = 0;
    for (auto _ : state) {
        g_done.clear();
        double t0 = cpu_seconds(), w0 = wall_seconds();
        if (sequence_generate(rq) != SEQ_DONE) {
            state.SkipWithError("the sequence failed");
            break;
        }
        double used = cpu_seconds() - t0;
        wall += wall_seconds() - w0;
        state.SetIterationTime(used);
        total += used;
        if (g_done.size() == static_cast<size_t>(kFrames)) {
            first += (g_done[10] - g_done[0]) / 10;
            last += (g_done[kFrames - 1] - g_done[kFrames - 11]) / 10;
        }
    }
    sequence_set_hooks({});
    const double runs = static_cast<double>(state.iterations());
    const double frames = runs * kFrames;
    state.counters["frames/s"] = frames / total;
    state.counters["wall frames/s"] = frames / wall;
    state.counters["ms/frame"] = total * 1000 / frames;
    state.counters["Mpx/s"] = frames * kWidth * kHeight / 1e6 / total;
    state.counters["ms/frame first 10"] = first * 1000 / runs;
    state.counters["ms/frame last 10"] = last * 1000 / runs;
    if (output == 1) {
        g_generate_fps[state.range(0)] = frames / total;
        g_generate_wall[state.range(0)] = frames / wall;
    }
}
BENCHMARK(BM_Generate)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same frames by one `vq apply` process each.
void BM_ProcessPerFrame(benchmark::State& state)
{
    start_system();
    const Pair& pair = kPairs[state.range(0)];
    state.SetLabel(pair.name);
    if (access(g_vq.c_str(), X_OK) != 0) {
        state.SkipWithError("vq is not beside the benchmark (set GLIMVQ_BIN_DIR)");
        return;
    }
    std::system(("mkdir -p '" + g_folder + "/proc'").c_str());
    const OpDescriptor* a = op_by_command(pair.first);
    const OpDescriptor* b = op_by_command(pair.second);
    double total = 0, wall = 0;
    for (auto _ : state) {
        double t0 = cpu_seconds(), w0 = wall_seconds();
        for (long f = 0; f < kFrames; ++f) {
            char cmd[1024];
            std::snprintf(cmd, sizeof cmd,
                          "'%s' --home '%s/home' --quiet apply '%s/in.bmp' '%s/proc/f%04ld.bmp' '%s' %s=%d "
                          "--then '%s' %s=%d --depth 24",
                          g_vq.c_str(), g_folder.c_str(), g_folder.c_str(), g_folder.c_str(), f + 1, a->name,
                          pair.first_key, pair.first_at(f), b->name, pair.second_key, pair.second_at(f));
            if (std::system(cmd) != 0) {
                state.SkipWithError("vq apply failed");
                return;
            }
        }
        double used = cpu_seconds() - t0;
        wall += wall_seconds() - w0;
        state.SetIterationTime(used);
        total += used;
    }
    const double frames = static_cast<double>(state.iterations()) * kFrames;
    state.counters["frames/s"] = frames / total;
    state.counters["wall frames/s"] = frames / wall;
    state.counters["ms/frame"] = total * 1000 / frames;
    if (g_generate_fps[state.range(0)] > 0) {
        state.counters["x faster"] = g_generate_fps[state.range(0)] / (frames / total);
        state.counters["x faster (wall)"] = g_generate_wall[state.range(0)] / (frames / wall);
    }
    // The generation of this pair wrote the same files.
    int differ = 0;
    for (long f = 1; f <= kFrames; f += 33) {
        char x[600], y[600];
        std::snprintf(x, sizeof x, "%s/gen%ld/f%04ld.bmp", g_folder.c_str(), static_cast<long>(state.range(0)), f);
        std::snprintf(y, sizeof y, "%s/proc/f%04ld.bmp", g_folder.c_str(), f);
        differ += std::system((std::string("cmp -s '") + x + "' '" + y + "'").c_str()) != 0;
    }
    if (differ)
        state.SetLabel(std::string(pair.name) + ": the two routes' files differ");
}
BENCHMARK(BM_ProcessPerFrame)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
