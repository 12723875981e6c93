// Animation files: a 100-frame 320 x 240 animation from 24-bit frames (a
// moving gradient with a moving disc) written as GIF and as FLC, beside a
// memcpy of the frames' bytes; ImageMagick writing the same GIF from the
// same frames as PNG files, and gifsicle -O3 optimising the plain GIF of our
// reduced frames (the counter "bytes" is the file size).  Reading: every
// frame of a 1000-frame FLC in order (each read continues from the frame
// before) and frames read from the start each time.
//
// The machine is shared: times are the processor time of this program and
// of the programs it runs (the counters "frames/s" and "Mpx/s" divide by it).
// Palettes: argument 0 chooses colours for every frame (the default palette
// mode), 1 chooses them once, for the first frame, and reduces every frame
// to that palette (the current palette), as an animation with a common
// palette is written.
#include "core/image.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "formats/flic.h"
#include "formats/gif.h"
#include "formats/load_save.h"
#include "render/reduce.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 320, kHeight = 240, kFrames = 100;

std::string g_folder;
std::vector<Image*> g_frames;  // the moving gradient
std::vector<Image*> g_still;   // the disc over a gradient that stays

Image* make_frame(int n, int width, int height, bool still = false)
{
    const int shift = still ? 0 : n;
    Image* image = image_new(width, height, "bench");
    image_lock(image);
    const double cx = width * (0.2 + 0.6 * n / kFrames), cy = height * (0.5 + 0.3 * std::sin(n * 0.2));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image->pixel(x, y);
            double dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy < 30 * 30) {
                p[0] = 240;
                p[1] = 200;
                p[2] = 40;
            } else {
                p[0] = static_cast<uint8_t>((x + 2 * shift) * 255 / (width + 2 * kFrames));
                p[1] = static_cast<uint8_t>(y * 255 / height);
                p[2] = static_cast<uint8_t>(128 + 100 * std::sin((x + y + 3 * shift) * 0.02));
            }
            p[3] = 255;
        }
    image_unlock(image);
    return image;
}

void setup()
{
    if (!g_folder.empty())
        return;
    char tmpl[] = "/tmp/glimvq-bench-anim-XXXXXX";
    g_folder = mkdtemp(tmpl);
    messages_set_quiet(true);
    progress_set_batch(true);
    settings().save_type = FMT_PNG;
    settings().save_depth = 2;
    for (int n = 0; n < kFrames; ++n) {
        g_still.push_back(make_frame(n, kWidth, kHeight, true));
        g_frames.push_back(make_frame(n, kWidth, kHeight));
        char name[64];
        std::snprintf(name, sizeof name, "/f%03d.png", n);
        save_image(g_frames.back(), (g_folder + name).c_str());
    }
}

long file_size(const std::string& path)
{
    struct stat s {};
    return stat(path.c_str(), &s) == 0 ? static_cast<long>(s.st_size) : 0;
}

// Processor time of this program and the programs it ran, in seconds.
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

// Times one run of the job as processor time.
template <class Job>
void timed(benchmark::State& state, long frames, Job job, int width = kWidth, int height = kHeight)
{
    double total = 0;
    for (auto _ : state) {
        double start = cpu_seconds();
        job();
        double used = cpu_seconds() - start;
        state.SetIterationTime(used);
        total += used;
    }
    const double n = static_cast<double>(state.iterations()) * frames;
    state.counters["frames/s"] = n / total;
    state.counters["Mpx/s"] = n * width * height / 1e6 / total;
}

// Argument 2 of the GIF runs: 1 the gradient stays, only the disc moves.
bool still(benchmark::State& state)
{
    bool s = state.range(2) != 0;
    state.SetLabel(s ? "still background" : "moving background");
    return s;
}

// The palette mode of the run: per frame, or frame 1's made current.
void palettes(benchmark::State& state)
{
    render_reset();
    if (state.range(0) == 0)
        return;
    uint8_t r[256], g[256], b[256];
    image_lock(g_frames[0]);
    int n = render_choose_palette(g_frames[0], 256, r, g, b);
    image_unlock(g_frames[0]);
    render_set_current_palette(r, g, b, n);
    render_state().palette_mode = PALETTE_CURRENT;
}

std::string write_gif(bool optimise, bool still = false)
{
    const std::vector<Image*>& frames = still ? g_still : g_frames;
    std::string out = g_folder + (optimise ? "/ours.gif" : "/plain.gif");
    GifAnimationOptions o;
    o.delay = 4;
    o.optimise = optimise;
    gif_animation_open(out.c_str(), kWidth, kHeight, o);
    for (int n = 0; n < kFrames; ++n)
        WriteGifFrame(frames[static_cast<size_t>(n)], n);
    CloseGifAnimation();
    return out;
}

void BM_Memcpy(benchmark::State& state)
{
    setup();
    std::vector<uint8_t> to(static_cast<size_t>(kWidth) * kHeight * 4);
    timed(state, kFrames, [&] {
        for (Image* f : g_frames) {
            image_lock(f);
            std::memcpy(to.data(), f->pixels, to.size());
            image_unlock(f);
            benchmark::DoNotOptimize(to.data());
        }
    });
}
BENCHMARK(BM_Memcpy)->UseManualTime()->Unit(benchmark::kMillisecond);

// Argument 0: palettes; argument 1: 1 changed rectangles and transparency,
// 0 whole frames; argument 2: the background.
void BM_GifWrite(benchmark::State& state)
{
    setup();
    palettes(state);
    const bool optimise = state.range(1) != 0, s = still(state);
    std::string out;
    timed(state, kFrames, [&] { out = write_gif(optimise, s); });
    state.counters["bytes"] = static_cast<double>(file_size(out));
    render_reset();
}
BENCHMARK(BM_GifWrite)
    ->ArgsProduct({{0, 1}, {1, 0}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ImageMagickGif(benchmark::State& state)
{
    setup();
    if (std::system("command -v convert >/dev/null") != 0) {
        state.SkipWithError("ImageMagick is not installed");
        return;
    }
    const std::string out = g_folder + "/imagemagick.gif";
    const std::string cmd = "convert -delay 4 '" + g_folder + "'/f*.png '" + out + "'";
    timed(state, kFrames, [&] {
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("convert failed");
    });
    state.counters["bytes"] = static_cast<double>(file_size(out));
}
BENCHMARK(BM_ImageMagickGif)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// gifsicle -O3 on the plain GIF of our reduced frames: the size a thorough
// optimiser reaches with the same colours.  Arguments: palettes, -, background.
void BM_GifsicleO3(benchmark::State& state)
{
    setup();
    if (std::system("command -v gifsicle >/dev/null") != 0) {
        state.SkipWithError("gifsicle is not installed");
        return;
    }
    palettes(state);
    const std::string plain = write_gif(false, still(state)), out = g_folder + "/gifsicle.gif";
    render_reset();
    const std::string cmd = "gifsicle -O3 '" + plain + "' -o '" + out + "' 2>/dev/null";
    timed(state, kFrames, [&] {
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("gifsicle failed");
    });
    state.counters["bytes"] = static_cast<double>(file_size(out));
}
BENCHMARK(BM_GifsicleO3)->ArgsProduct({{0, 1}, {0}, {0, 1}})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// Frame after frame through the save entry at the frame position, as a
// sequence is generated.  Argument: palettes.
void BM_FlcWrite(benchmark::State& state)
{
    setup();
    palettes(state);
    const std::string out = g_folder + "/anim.flc";
    settings().save_type = FMT_FLC;
    timed(state, kFrames, [&] {
        for (int n = 0; n < kFrames; ++n) {
            formats_set_frame_position(n);
            save_image(g_frames[static_cast<size_t>(n)], out.c_str());
        }
    });
    formats_set_frame_position(0);
    settings().save_type = FMT_PNG;
    state.counters["bytes"] = static_cast<double>(file_size(out));
    render_reset();
}
BENCHMARK(BM_FlcWrite)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A 1000-frame FLC, made once.
std::string long_flic()
{
    static std::string path;
    if (!path.empty())
        return path;
    setup();
    path = g_folder + "/long.flc";
    const std::string temp = g_folder + "/long.tmp.flc";
    // The fixed palette makes the file quickly; reading does not depend on it.
    render_reset();
    render_state().palette_mode = PALETTE_FIXED;
    for (int n = 0; n < 1000; ++n) {
        WriteFlicFrame(g_frames[static_cast<size_t>(n % kFrames)], temp.c_str(), n, path.c_str());
        std::rename(temp.c_str(), path.c_str());
    }
    render_reset();
    return path;
}

void BM_FlcReadInOrder(benchmark::State& state)
{
    const std::string p = long_flic();
    timed(state, 1000, [&] {
        for (int n = 1; n <= 1000; ++n) {
            formats_set_read_frame(n);
            Image* image = load_image(p.c_str());
            image_free(image);
        }
    });
    formats_set_read_frame(0);
}
BENCHMARK(BM_FlcReadInOrder)->UseManualTime()->Unit(benchmark::kMillisecond);

// Frames 901 to 1000, each decoded from frame 1 (nothing kept).
void BM_FlcReadFromStart(benchmark::State& state)
{
    const std::string p = long_flic();
    timed(state, 100, [&] {
        for (int n = 901; n <= 1000; ++n) {
            flic_forget();
            formats_set_read_frame(n);
            Image* image = load_image(p.c_str());
            image_free(image);
        }
    });
    formats_set_read_frame(0);
}
BENCHMARK(BM_FlcReadFromStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
