// The ray tracer: primary rays per second on two fixed scenes at 640 x 480,
// single-threaded, beside a memcpy of the picture's bytes and beside POV-Ray
// (single-threaded too) on the same scenes written in its language.
//
//   build/bench/bench_raytrace                      everything
//   build/bench/bench_raytrace --benchmark_filter=Glimvq   our renderer alone
//
// The scenes: "fixed" has five spheres (two mirrors), a floor and a pyramid
// of 400 triangles, two lights, reflection; "mesh" is a smoothed bumpy
// ball of 100,352 triangles with two lights.  Times include reading the
// scene on both sides.
#include "core/image.h"
#include "raytrace/raytrace.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kW = 640, kH = 480;

struct Tri {
    double p[3][3];
    double n[3][3];
};

struct Scenes {
    std::string dir;
    std::string fixed_w3d, fixed_pov, mesh_w3d, mesh_pov;
};

void add_tri(std::vector<Tri>& tris, const double a[3], const double b[3], const double c[3])
{
    Tri t{};
    for (int i = 0; i < 3; ++i) {
        t.p[0][i] = a[i];
        t.p[1][i] = b[i];
        t.p[2][i] = c[i];
    }
    tris.push_back(t);
}

// The floor as a grid of triangles and a stepped pyramid: 400 in all.
std::vector<Tri> fixed_triangles()
{
    std::vector<Tri> tris;
    const int n = 12;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double x0 = -12 + 24.0 * i / n, x1 = -12 + 24.0 * (i + 1) / n;
            double z0 = -6 + 24.0 * j / n, z1 = -6 + 24.0 * (j + 1) / n;
            double a[3] = {x0, -2, z0}, b[3] = {x0, -2, z1}, c[3] = {x1, -2, z1}, d[3] = {x1, -2, z0};
            add_tri(tris, a, b, c);
            add_tri(tris, a, c, d);
        }
    // Rings of a pyramid behind the spheres until 400 triangles.
    int k = 0;
    while (tris.size() < 400) {
        double angle0 = k * 0.4, angle1 = (k + 1) * 0.4;
        double r0 = 3 - 0.02 * k, r1 = 3 - 0.02 * (k + 1);
        double y0 = -2 + 0.08 * k, y1 = -2 + 0.08 * (k + 1);
        double a[3] = {r0 * std::cos(angle0), y0, 10 + r0 * std::sin(angle0)};
        double b[3] = {r1 * std::cos(angle1), y1, 10 + r1 * std::sin(angle1)};
        double c[3] = {0, 4, 10};
        add_tri(tris, a, b, c);
        ++k;
    }
    return tris;
}

std::vector<Tri> mesh_triangles()
{
    const int N = 224, M = 224;
    auto point = [&](int i, int j, double* p, double* n) {
        double th = M_PI * i / N, ph = 2 * M_PI * j / M;
        double r = 3 + 0.15 * std::sin(7 * th) * std::cos(5 * ph);
        p[0] = r * std::sin(th) * std::cos(ph);
        p[1] = r * std::cos(th);
        p[2] = r * std::sin(th) * std::sin(ph);
        double len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        for (int k = 0; k < 3; ++k)
            n[k] = p[k] / len;
    };
    std::vector<Tri> tris;
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < M; ++j) {
            double p[4][3], n[4][3];
            point(i, j, p[0], n[0]);
            point(i + 1, j, p[1], n[1]);
            point(i + 1, j + 1, p[2], n[2]);
            point(i, j + 1, p[3], n[3]);
            const int idx[2][3] = {{0, 1, 2}, {0, 2, 3}};
            for (const auto& f : idx) {
                Tri t{};
                for (int v = 0; v < 3; ++v)
                    for (int k = 0; k < 3; ++k) {
                        t.p[v][k] = p[f[v]][k];
                        t.n[v][k] = n[f[v]][k];
                    }
                tris.push_back(t);
            }
        }
    return tris;
}

const char* kCommonW3d = "<position -10 12 -10> <object light \"key\"> <color 0.5 0.5 0.6> <position 10 8 -6> "
                         "<object light \"fill\">\n";
const char* kCommonPov = "global_settings { max_trace_level 8 assumed_gamma 1 }\n"
                         "camera { perspective location <0,3,-14> look_at <0,0,0> right x up y direction z }\n"
                         "light_source { <-10,12,-10> color rgb 1 }\n"
                         "light_source { <10,8,-6> color rgb <0.5,0.5,0.6> }\n";

std::string pov_finish(double reflect)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, "finish { ambient 0.1 diffuse 0.7 phong 0.9 phong_size 51 reflection %g }",
                  reflect);
    return buf;
}

void write_scenes(Scenes& s)
{
    char tmpl[] = "/tmp/glimvq-bench-rt-XXXXXX";
    s.dir = mkdtemp(tmpl);
    std::ostringstream w, p;
    w << "<viewlocation 0 3 -14> <viewtarget 0 0 0>\n" << kCommonW3d;
    p << kCommonPov;
    struct Ball {
        double x, y, z, r, col[3], reflect;
    } balls[] = {{-4, 0, 0, 2, {0.9, 0.2, 0.2}, 0},  {0, 0, 2, 2, {0.8, 0.8, 0.9}, 0.7},
                 {4, 0, 0, 2, {0.2, 0.8, 0.3}, 0},    {-2, -1, -4, 1, {0.9, 0.9, 0.2}, 0.3},
                 {2.5, -1, -4, 1, {0.3, 0.4, 0.9}, 0}};
    for (const Ball& b : balls) {
        w << "<color " << b.col[0] << " " << b.col[1] << " " << b.col[2] << "> <reflectivity " << b.reflect
          << "> <position " << b.x << " " << b.y << " " << b.z << "> <radius " << b.r << "> <object sphere \"b\">\n";
        p << "sphere { <" << b.x << "," << b.y << "," << b.z << ">, " << b.r << " pigment { color rgb <" << b.col[0]
          << "," << b.col[1] << "," << b.col[2] << "> } " << pov_finish(b.reflect) << " }\n";
    }
    w << "<reflectivity 0> <color 0.7 0.7 0.7> <structure> <object bound \"tris\">\n";
    p << "mesh {\n";
    for (const Tri& t : fixed_triangles()) {
        w << "<vtx0 " << t.p[0][0] << " " << t.p[0][1] << " " << t.p[0][2] << "> <vtx1 " << t.p[1][0] << " "
          << t.p[1][1] << " " << t.p[1][2] << "> <vtx2 " << t.p[2][0] << " " << t.p[2][1] << " " << t.p[2][2]
          << "> <object tri \"t\">\n";
        p << "triangle { <" << t.p[0][0] << "," << t.p[0][1] << "," << t.p[0][2] << ">, <" << t.p[1][0] << ","
          << t.p[1][1] << "," << t.p[1][2] << ">, <" << t.p[2][0] << "," << t.p[2][1] << "," << t.p[2][2] << "> }\n";
    }
    p << "pigment { color rgb 0.7 } " << pov_finish(0) << " }\n";
    w << "</structure>\n";
    s.fixed_w3d = s.dir + "/fixed.w3d";
    s.fixed_pov = s.dir + "/fixed.pov";
    std::ofstream(s.fixed_w3d) << w.str();
    std::ofstream(s.fixed_pov) << p.str();

    FILE* mw = std::fopen((s.dir + "/mesh.w3d").c_str(), "w");
    FILE* mp = std::fopen((s.dir + "/mesh.pov").c_str(), "w");
    std::fprintf(mw, "<viewlocation 0 3 -14> <viewtarget 0 0 0>\n%s<color 0.8 0.6 0.3> <structure> "
                 "<object bound \"mesh\">\n", kCommonW3d);
    std::fprintf(mp, "%smesh {\n", kCommonPov);
    for (const Tri& t : mesh_triangles()) {
        std::fprintf(mw,
                     "<vtx0 %.6f %.6f %.6f> <vtx1 %.6f %.6f %.6f> <vtx2 %.6f %.6f %.6f> <nrm0 %.6f %.6f %.6f> "
                     "<nrm1 %.6f %.6f %.6f> <nrm2 %.6f %.6f %.6f> <object tri \"m\">\n",
                     t.p[0][0], t.p[0][1], t.p[0][2], t.p[1][0], t.p[1][1], t.p[1][2], t.p[2][0], t.p[2][1],
                     t.p[2][2], t.n[0][0], t.n[0][1], t.n[0][2], t.n[1][0], t.n[1][1], t.n[1][2], t.n[2][0],
                     t.n[2][1], t.n[2][2]);
        std::fprintf(mp,
                     "smooth_triangle { <%.6f,%.6f,%.6f>, <%.6f,%.6f,%.6f>, <%.6f,%.6f,%.6f>, <%.6f,%.6f,%.6f>, "
                     "<%.6f,%.6f,%.6f>, <%.6f,%.6f,%.6f> }\n",
                     t.p[0][0], t.p[0][1], t.p[0][2], t.n[0][0], t.n[0][1], t.n[0][2], t.p[1][0], t.p[1][1],
                     t.p[1][2], t.n[1][0], t.n[1][1], t.n[1][2], t.p[2][0], t.p[2][1], t.p[2][2], t.n[2][0],
                     t.n[2][1], t.n[2][2]);
    }
    std::fprintf(mw, "</structure>\n");
    std::fprintf(mp, "pigment { color rgb <0.8,0.6,0.3> } %s }\n", pov_finish(0).c_str());
    std::fclose(mw);
    std::fclose(mp);
    s.mesh_w3d = s.dir + "/mesh.w3d";
    s.mesh_pov = s.dir + "/mesh.pov";
}

Scenes& scenes()
{
    static Scenes s;
    if (s.dir.empty())
        write_scenes(s);
    return s;
}

void rays_counter(benchmark::State& state)
{
    state.counters["rays/s"] =
        benchmark::Counter(static_cast<double>(kW) * kH * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kW * kH * 4);
}

void glimvq(benchmark::State& state, const std::string& path)
{
    raytrace_state().threads = 1;
    Image* image = image_new(kW, kH, "bench");
    for (auto _ : state) {
        if (raytrace_image(image, path.c_str(), 0) != 0) {
            state.SkipWithError("the scene did not render");
            break;
        }
    }
    image_free(image);
    rays_counter(state);
}

void povray(benchmark::State& state, const std::string& path)
{
    if (std::system("command -v povray >/dev/null 2>&1") != 0) {
        state.SkipWithError("povray is not installed (apt-get install povray)");
        return;
    }
    std::string cmd = "povray +I'" + path + "' +O'" + path + ".png' +W" + std::to_string(kW) + " +H" +
                      std::to_string(kH) + " -D -V -GA +WT1 -A >/dev/null 2>&1";
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        int rc = std::system(cmd.c_str());
        auto t1 = std::chrono::steady_clock::now();
        if (rc != 0) {
            state.SkipWithError("povray failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    rays_counter(state);
}

void BM_Memcpy(benchmark::State& state)
{
    std::vector<uint8_t> a(static_cast<size_t>(kW) * kH * 4, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    rays_counter(state);
}

void BM_Glimvq_Fixed(benchmark::State& state) { glimvq(state, scenes().fixed_w3d); }
void BM_Povray_Fixed(benchmark::State& state) { povray(state, scenes().fixed_pov); }
void BM_Glimvq_Mesh100k(benchmark::State& state) { glimvq(state, scenes().mesh_w3d); }
void BM_Povray_Mesh100k(benchmark::State& state) { povray(state, scenes().mesh_pov); }

} // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_Glimvq_Fixed)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Povray_Fixed)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_Glimvq_Mesh100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Povray_Mesh100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (std::getenv("GLIMVQ_BENCH_KEEP")) {
        std::printf("scenes kept in %s\n", scenes().dir.c_str());
        return 0;
    }
    std::string cmd = "rm -rf '" + scenes().dir + "'";
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", scenes().dir.c_str());
    return 0;
}
