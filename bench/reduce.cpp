// Colour reduction: throughput of every kind beside a memcpy of the same
// RGBA bytes, and the quality of the chosen palette (PSNR) beside
// ImageMagick's "convert -colors 256" and pngquant (when installed) on the
// same pictures.
//
//   build/bench/bench_reduce                  both parts
//   build/bench/bench_reduce --quality-only   the PSNR table alone
//   build/bench/bench_reduce --benchmark_filter=...   the chosen throughput runs alone
// The PngSuite pictures are read from $GLIMVQ_CORPUS or ../shared/corpus.
#include "core/image.h"
#include "core/mem.h"
#include "render/reduce.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Picture {
    std::string name;
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel
};

Picture make_picture(const std::string& name, int w, int h, const std::function<void(int, int, double*)>& f)
{
    Picture p{name, w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double c[3];
            f(x, y, c);
            for (int k = 0; k < 3; ++k)
                p.rgb[(static_cast<size_t>(y) * w + x) * 3 + k] =
                    static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, c[k]))));
        }
    return p;
}

// A hue sweep across, light to dark down.
Picture gradient()
{
    return make_picture("gradient", 512, 512, [](int x, int y, double* c) {
        double hue = x / 512.0 * 6.0, v = 1.0 - y / 640.0;
        for (int k = 0; k < 3; ++k) {
            double t = std::fabs(std::fmod(hue + 4.0 - 2.0 * k, 6.0) - 3.0) - 1.0;
            c[k] = 255.0 * v * std::fmin(1.0, std::fmax(0.0, t));
        }
    });
}

// Sky, sun, a checkered floor fading into haze and three shaded spheres,
// with a little grain: the kind of picture a ray trace or a photo gives.
Picture scene()
{
    std::mt19937 rng(11);
    std::normal_distribution<double> grain(0.0, 2.0);
    struct Sphere {
        double x, y, z, r, col[3];
    } spheres[3] = {{-1.4, 1.0, 6, 1.0, {220, 40, 30}}, {0.9, 0.8, 5, 0.8, {40, 170, 60}},
                    {2.6, 1.3, 9, 1.3, {60, 80, 230}}};
    const double light[3] = {-0.5, 0.8, -0.4};
    const double ln = std::sqrt(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
    return make_picture("scene", 640, 480, [&](int px, int py, double* c) {
        double dx = (px - 320) / 400.0, dy = (240 - py) / 400.0, dz = 1.0;
        double n = std::sqrt(dx * dx + dy * dy + dz * dz);
        dx /= n, dy /= n, dz /= n;
        const double ox = 0, oy = 1.2, oz = 0;
        double best = 1e30;
        int hit = -1;
        for (int i = 0; i < 3; ++i) {
            double lx = ox - spheres[i].x, ly = oy - spheres[i].y, lz = oz - spheres[i].z;
            double b = lx * dx + ly * dy + lz * dz, cc = lx * lx + ly * ly + lz * lz - spheres[i].r * spheres[i].r;
            double disc = b * b - cc;
            if (disc > 0 && -b - std::sqrt(disc) > 0 && -b - std::sqrt(disc) < best) {
                best = -b - std::sqrt(disc);
                hit = i;
            }
        }
        if (hit >= 0) {
            const Sphere& s = spheres[hit];
            double hx = ox + dx * best, hy = oy + dy * best, hz = oz + dz * best;
            double nx = (hx - s.x) / s.r, ny = (hy - s.y) / s.r, nz = (hz - s.z) / s.r;
            double diff = std::fmax(0.0, (nx * light[0] + ny * light[1] + nz * light[2]) / ln);
            double rx = dx - 2 * (dx * nx + dy * ny + dz * nz) * nx, ry = dy - 2 * (dx * nx + dy * ny + dz * nz) * ny,
                   rz = dz - 2 * (dx * nx + dy * ny + dz * nz) * nz;
            double spec = std::pow(std::fmax(0.0, (rx * light[0] + ry * light[1] + rz * light[2]) / ln), 40);
            for (int k = 0; k < 3; ++k)
                c[k] = s.col[k] * (0.15 + 0.85 * diff) + 255 * spec + grain(rng);
            return;
        }
        if (dy < 0) {
            double t = -oy / dy, fx = ox + dx * t, fz = oz + dz * t;
            bool check = (static_cast<int>(std::floor(fx)) + static_cast<int>(std::floor(fz))) & 1;
            double haze = 1.0 - std::exp(-t / 25.0);
            double shade = 1.0;
            for (const Sphere& s : spheres) {  // soft shadow blobs under the spheres
                double ddx = fx - (s.x + 0.6 * s.y), ddz = fz - (s.z + 0.5 * s.y);
                shade *= 1.0 - 0.55 * std::exp(-(ddx * ddx + ddz * ddz) / (s.r * s.r));
            }
            const double a[3] = {235, 225, 200}, b[3] = {90, 70, 60}, fog[3] = {200, 190, 210};
            for (int k = 0; k < 3; ++k)
                c[k] = ((check ? a[k] : b[k]) * shade) * (1 - haze) + fog[k] * haze + grain(rng);
            return;
        }
        double sun = std::exp(-((dx - 0.35) * (dx - 0.35) + (dy - 0.25) * (dy - 0.25)) / 0.004);
        const double top[3] = {40, 90, 190}, horizon[3] = {250, 180, 120};
        double t = std::pow(1.0 - dy, 3.0);
        for (int k = 0; k < 3; ++k)
            c[k] = top[k] * (1 - t) + horizon[k] * t + 255 * sun + grain(rng);
    });
}

// Several octaves of coloured value noise: many colours everywhere.
Picture plasma()
{
    std::mt19937 rng(5);
    std::vector<double> lattice(64 * 64 * 3);
    for (double& v : lattice)
        v = std::uniform_real_distribution<double>(0, 1)(rng);
    auto noise = [&](double x, double y, int ch) {
        int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
        double fx = x - xi, fy = y - yi;
        fx = fx * fx * (3 - 2 * fx);
        fy = fy * fy * (3 - 2 * fy);
        auto at = [&](int i, int j) { return lattice[static_cast<size_t>(((j & 63) * 64 + (i & 63)) * 3 + ch)]; };
        double a = at(xi, yi) + (at(xi + 1, yi) - at(xi, yi)) * fx;
        double b = at(xi, yi + 1) + (at(xi + 1, yi + 1) - at(xi, yi + 1)) * fx;
        return a + (b - a) * fy;
    };
    return make_picture("plasma", 512, 512, [&](int x, int y, double* c) {
        for (int k = 0; k < 3; ++k) {
            double v = 0, amp = 0.5, f = 1.0 / 64;
            for (int o = 0; o < 5; ++o, amp *= 0.5, f *= 2)
                v += amp * noise(x * f, y * f, k);
            c[k] = 255 * (0.5 + 0.5 * std::sin(v * 9.0 + k));
        }
    });
}

bool read_png(const std::string& path, Picture& p)
{
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str()))
        return false;
    img.format = PNG_FORMAT_RGB;
    p.w = static_cast<int>(img.width);
    p.h = static_cast<int>(img.height);
    p.rgb.resize(PNG_IMAGE_SIZE(img));
    // Transparent parts over black, as a file without alpha would hold them.
    png_color black{0, 0, 0};
    if (!png_image_finish_read(&img, &black, p.rgb.data(), 0, nullptr)) {
        png_image_free(&img);
        return false;
    }
    return true;
}

bool write_ppm(const std::string& path, const Picture& p)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "P6\n%d %d\n255\n", p.w, p.h);
    bool ok = std::fwrite(p.rgb.data(), 1, p.rgb.size(), f) == p.rgb.size();
    return std::fclose(f) == 0 && ok;
}

bool read_ppm(const std::string& path, Picture& p)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    int maxval = 0;
    bool ok = std::fscanf(f, "P6 %d %d %d", &p.w, &p.h, &maxval) == 3 && maxval == 255 && std::fgetc(f) != EOF &&
              p.w > 0 && p.h > 0;
    if (ok) {
        p.rgb.resize(static_cast<size_t>(p.w) * p.h * 3);
        ok = std::fread(p.rgb.data(), 1, p.rgb.size(), f) == p.rgb.size();
    }
    std::fclose(f);
    return ok;
}

Image* to_image(const Picture& p)
{
    Image* im = image_new(p.w, p.h, "bench");
    image_lock(im);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            uint8_t* d = im->pixel(x, y);
            const uint8_t* s = &p.rgb[(static_cast<size_t>(y) * p.w + x) * 3];
            d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
        }
    image_unlock(im);
    return im;
}

double psnr_of(const Picture& a, const Picture& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        double d = static_cast<double>(a.rgb[i]) - b.rgb[i];
        sum += d * d;
    }
    double mse = sum / static_cast<double>(a.rgb.size());
    return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Ours, 256 chosen colours: the PSNR and the time.
double ours(const Picture& p, int strength, double* secs)
{
    Image* im = to_image(p);
    uint8_t r[256], g[256], b[256];
    ReduceInfo info;
    auto t0 = std::chrono::steady_clock::now();
    uint8_t* data = render_reduce(im, r, g, b, REDUCE_256, PALETTE_CHOSEN, false, false, strength, &info);
    *secs = seconds_since(t0);
    Picture out = p;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            int i = data[info.stride * y + x];
            uint8_t* o = &out.rgb[(static_cast<size_t>(y) * p.w + x) * 3];
            o[0] = r[i], o[1] = g[i], o[2] = b[i];
        }
    mem_free(data);
    image_free(im);
    return psnr_of(p, out);
}

// ImageMagick's "-colors 256" on the same picture; -1 when it did not run.
double magick(const Picture& p, const std::string& dir, const char* dither, double* secs)
{
    std::string in = dir + "/in.ppm", out = dir + "/out.ppm";
    if (!write_ppm(in, p))
        return -1;
    std::string cmd = "/usr/bin/convert '" + in + "' " + dither + " -colors 256 '" + out + "' 2>/dev/null";
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    *secs = seconds_since(t0);
    Picture q;
    if (rc != 0 || !read_ppm(out, q) || q.w != p.w || q.h != p.h)
        return -1;
    return psnr_of(p, q);
}

bool write_png(const std::string& path, const Picture& p)
{
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(p.w);
    img.height = static_cast<png_uint_32>(p.h);
    img.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&img, path.c_str(), 0, p.rgb.data(), 0, nullptr) != 0;
}

// pngquant at its slowest, best setting; -1 when it is not installed.
double pngquant(const Picture& p, const std::string& dir, bool dither, double* secs)
{
    *secs = 0;
    if (access("/usr/bin/pngquant", X_OK) != 0)
        return -1;
    std::string in = dir + "/in.png", out = dir + "/out.png";
    if (!write_png(in, p))
        return -1;
    std::string cmd = std::string("/usr/bin/pngquant --force --speed 1 ") + (dither ? "" : "--nofs ") +
                      "--output '" + out + "' 256 '" + in + "' 2>/dev/null";
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    *secs = seconds_since(t0);
    Picture q;
    if (rc != 0 || !read_png(out, q) || q.w != p.w || q.h != p.h)
        return -1;
    return psnr_of(p, q);
}

void quality_table()
{
    std::vector<Picture> pictures = {gradient(), scene(), plasma()};
    // $GLIMVQ_CORPUS, else ../shared/corpus beside the checkout, seen from its
    // top (make bench) or from build/
    std::vector<std::string> corpora = {"../shared/corpus", "../../shared/corpus"};
    if (const char* env = std::getenv("GLIMVQ_CORPUS"))
        corpora.insert(corpora.begin(), env);
    for (const char* name : {"PngSuite.png", "z00n2c08.png", "basn6a16.png"}) {
        Picture p;
        p.name = name;
        for (const std::string& dir : corpora)
            if (read_png(dir + "/png/pngsuite/" + name, p))
                break;
        if (p.w > 0)
            pictures.push_back(p);
    }
    char tmpl[] = "/tmp/bench-reduce-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::printf("256 colours, PSNR in dB (higher is better) and time in ms (the others: a whole run of the program)\n");
    std::printf("%-13s %8s | %-12s %-12s %-12s | %-12s %-12s %-12s\n", "picture", "size", "ours plain",
                "magick +dith", "pngquant", "ours diffuse", "magick FS", "pngquant FS");
    for (const Picture& p : pictures) {
        double t[6], q[6];
        q[0] = ours(p, 0, &t[0]);
        q[1] = magick(p, dir, "+dither", &t[1]);
        q[2] = pngquant(p, dir, false, &t[2]);
        q[3] = ours(p, 100, &t[3]);
        q[4] = magick(p, dir, "-dither FloydSteinberg", &t[4]);
        q[5] = pngquant(p, dir, true, &t[5]);
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", p.w, p.h);
        std::printf("%-13s %8s |", p.name.c_str(), size);
        for (int i = 0; i < 6; ++i) {
            if (q[i] < 0)
                std::printf(" %-12s", "-");
            else
                std::printf(" %5.2f %6.0f", q[i], t[i] * 1e3);
            if (i == 2)
                std::printf(" |");
        }
        std::printf("\n");
    }
    std::string rm = "rm -rf '" + dir + "'";
    if (std::system(rm.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    std::fflush(stdout);
}

// ---- throughput -------------------------------------------------------------

const Picture& bench_picture()
{
    static Picture p = scene();
    return p;
}

void report(benchmark::State& state, long pixels)
{
    state.counters["Mpix/s"] =
        benchmark::Counter(static_cast<double>(pixels) * static_cast<double>(state.iterations()) / 1e6,
                           benchmark::Counter::kIsRate);
}

void BM_Memcpy(benchmark::State& state)
{
    const Picture& p = bench_picture();
    size_t bytes = static_cast<size_t>(p.w) * p.h * 4;
    std::vector<uint8_t> a(bytes, 1), b(bytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    report(state, static_cast<long>(p.w) * p.h);
}
BENCHMARK(BM_Memcpy);

void run_reduce(benchmark::State& state, int type, int mode, bool ordered)
{
    const Picture& p = bench_picture();
    Image* im = to_image(p);
    image_lock(im);
    uint8_t r[256], g[256], b[256];
    render_fixed_palette(r, g, b);
    for (auto _ : state) {
        uint8_t* data = render_reduce(im, r, g, b, type, mode, ordered, false, 100, nullptr);
        benchmark::DoNotOptimize(data);
        mem_free(data);
    }
    image_unlock(im);
    image_free(im);
    report(state, static_cast<long>(p.w) * p.h);
}

void BM_To24Bits(benchmark::State& s) { run_reduce(s, REDUCE_24, PALETTE_FIXED, false); }
void BM_FixedOrdered(benchmark::State& s) { run_reduce(s, REDUCE_256, PALETTE_FIXED, true); }
void BM_FixedDiffusion(benchmark::State& s) { run_reduce(s, REDUCE_256, PALETTE_FIXED, false); }
void BM_Fixed16Diffusion(benchmark::State& s) { run_reduce(s, REDUCE_16, PALETTE_FIXED, false); }
void BM_BlackWhite(benchmark::State& s) { run_reduce(s, REDUCE_BW, PALETTE_FIXED, false); }
// Any palette: the nearest-colour lookup per pixel (the system palette given as the caller's).
void BM_SuppliedDiffusion(benchmark::State& s) { run_reduce(s, REDUCE_256, PALETTE_SUPPLIED, false); }
void BM_SuppliedOrdered(benchmark::State& s) { run_reduce(s, REDUCE_256, PALETTE_SUPPLIED, true); }
// The palette chosen for the picture, then diffusion to it.
void BM_ChosenDiffusion(benchmark::State& s) { run_reduce(s, REDUCE_256, PALETTE_CHOSEN, false); }
BENCHMARK(BM_To24Bits);
BENCHMARK(BM_FixedOrdered);
BENCHMARK(BM_FixedDiffusion);
BENCHMARK(BM_Fixed16Diffusion);
BENCHMARK(BM_BlackWhite);
BENCHMARK(BM_SuppliedDiffusion);
BENCHMARK(BM_SuppliedOrdered);
BENCHMARK(BM_ChosenDiffusion);

} // namespace

int main(int argc, char** argv)
{
    bool quality_only = false, throughput_only = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quality-only") == 0)
            quality_only = true;
        if (std::strncmp(argv[i], "--benchmark_filter", 18) == 0)
            throughput_only = true;
    }
    if (!throughput_only)
        quality_table();
    if (quality_only)
        return 0;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
