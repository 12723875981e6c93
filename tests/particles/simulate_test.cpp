// The motion and drawing of particles: properties a particle system must
// keep whatever its settings (straight lines without forces, uniform
// acceleration under a constant force, the same frame from the same seed).
#include "core/mem.h"
#include "particles/particles.h"
#include "particles/simulate.h"
#include "tests/ops/ops_fixture.h"

#include <cmath>
#include <cstring>
#include <fstream>

namespace {

class Simulation : public OpsTest {
protected:
    void TearDown() override
    {
        psys_release(run);
        particles_forget();
        OpsTest::TearDown();
    }
    std::string put(const std::string& name, const std::string& text) const
    {
        std::string path = home + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // A run of `text` on a `w` x `h` picture, generated.
    void start(const std::string& text, long w = 64, long h = 48, const uint8_t* mask = nullptr)
    {
        psys_release(run);
        std::string path = put("sim.psy", text);
        ASSERT_EQ(psys_read(path.c_str(), run.sys, true), PSL_OK) << text;
        palette_white(run.palette);
        run.stage = PsysStage{};
        run.stage.width = w;
        run.stage.height = h;
        run.stage.mask = mask;
        ASSERT_EQ(psys_generate(run, false), PSL_OK);
    }
    const Particle& p(int i) const { return run.sys.particles[i]; }
    // Draws the run into a black picture; the pixels.
    std::vector<uint8_t> draw(long w = 64, long h = 48, uint8_t alpha = 255)
    {
        std::vector<uint8_t> px(static_cast<size_t>(4 * w * h), 0);
        for (size_t i = 3; i < px.size(); i += 4)
            px[i] = alpha;
        EXPECT_TRUE(psys_draw(run, px.data(), w, h, nullptr, false));
        return px;
    }
    static int at(const std::vector<uint8_t>& px, long w, long x, long y, int c = 0)
    {
        return px[static_cast<size_t>(4 * (y * w + x) + c)];
    }
    PsysRun run;
};

// One particle (or n) at a point, with the given extra lines.
std::string point(const std::string& extra, int n = 1, int forces = 0)
{
    return "vqpsystem 1 particlecount " + std::to_string(n) + " forcecount " + std::to_string(forces) +
           " xw 0 yw 0 zw 0 " + extra;
}

} // namespace

TEST_F(Simulation, WithoutForcesParticlesMoveInStraightLinesAtTheirVelocity)
{
    start("vqpsystem 1 particlecount 50 xw 30 yw 20 zw 10 xv 1.5 yv -0.5 zv 0.25 seed 4");
    std::vector<Particle> first(run.sys.particles, run.sys.particles + 50);
    ASSERT_TRUE(psys_advance(run, 10, false));
    EXPECT_EQ(run.frame, 10);
    for (int i = 0; i < 50; ++i) {
        EXPECT_NEAR(p(i).x, first[i].x + 15.0f, 1e-3f);
        EXPECT_NEAR(p(i).y, first[i].y - 5.0f, 1e-3f);
        EXPECT_NEAR(p(i).z, first[i].z + 2.5f, 1e-3f);
        EXPECT_EQ(p(i).vx, 1.5f);
        EXPECT_EQ(p(i).age, 10.0f);
    }
    // They start inside the emitter, spread over it.
    float lo = 1e9f, hi = -1e9f;
    for (const Particle& q : first) {
        EXPECT_LE(std::hypot(q.x / 15, q.y / 10), 1.0001f);
        lo = std::min(lo, q.x);
        hi = std::max(hi, q.x);
    }
    EXPECT_GT(hi - lo, 15.0f);
}

TEST_F(Simulation, AConstantForceAcceleratesUniformly)
{
    start(point("xv 1 force 1 ftype constant fxv 0.2 fyv -0.1 fzv 0.05", 3, 1));
    std::vector<float> xs, ys, zs;
    for (int f = 0; f <= 8; ++f) {
        xs.push_back(p(2).x);
        ys.push_back(p(2).y);
        zs.push_back(p(2).z);
        psys_step(run);
    }
    for (size_t f = 2; f < xs.size(); ++f) {
        EXPECT_NEAR(xs[f] - 2 * xs[f - 1] + xs[f - 2], 0.2f, 1e-4f);
        EXPECT_NEAR(ys[f] - 2 * ys[f - 1] + ys[f - 2], -0.1f, 1e-4f);
        EXPECT_NEAR(zs[f] - 2 * zs[f - 1] + zs[f - 2], 0.05f, 1e-4f);
    }
    EXPECT_NEAR(p(2).vx, 1 + 9 * 0.2f, 1e-4f);
}

TEST_F(Simulation, ForcesActOnlyInTheirWindowDecayAndCanBeSwitchedOff)
{
    // Acts while the particle's time is 3 to 5: three pushes of 1.
    start(point("force 1 fxv 1 fbegin 3 fend 5", 1, 1));
    ASSERT_TRUE(psys_advance(run, 10, false));
    EXPECT_NEAR(p(0).vx, 3.0f, 1e-5f);
    // Half the strength a frame: 1 + 0.5 + 0.25 + ...
    start(point("force 1 fxv 1 fdecay 0.5 fend 3", 1, 1));
    ASSERT_TRUE(psys_advance(run, 6, false));
    EXPECT_NEAR(p(0).vx, 1.875f, 1e-5f);
    start(point("force 1 fxv 1 enable 0", 1, 1));
    ASSERT_TRUE(psys_advance(run, 6, false));
    EXPECT_EQ(p(0).vx, 0.0f);
    // The time advance moves a particle's clock into the window sooner.
    start(point("timeadvancerange 100 force 1 fxv 1 fbegin 1000 fend 2000", 20, 1));
    ASSERT_TRUE(psys_advance(run, 950, false));
    int pushed = 0;
    for (int i = 0; i < 20; ++i)
        pushed += p(i).vx > 0;
    EXPECT_GT(pushed, 0);
    EXPECT_LT(pushed, 20);
}

TEST_F(Simulation, RadialAndVortexForces)
{
    // Pulled toward (10, 0), from (0, 0), 0.5 a frame.
    start(point("twodee 1 force 1 ftype radial fxw 10 fta 0.5", 1, 1));
    psys_step(run);
    EXPECT_NEAR(p(0).vx, 0.5f, 1e-5f);
    EXPECT_NEAR(p(0).vy, 0.0f, 1e-5f);
    // Beyond the reach, nothing; within, less with distance.
    start(point("twodee 1 force 1 ftype radial fxw 10 fta -0.5 ftr 20", 1, 1));
    psys_step(run);
    EXPECT_NEAR(p(0).vx, -0.25f, 1e-5f);
    start(point("twodee 1 force 1 ftype radial fxw 10 fta -0.5 ftr 8", 1, 1));
    psys_step(run);
    EXPECT_EQ(p(0).vx, 0.0f);

    // A vortex about the z axis through (0, 0) turns the particle 90 degrees
    // a frame, keeping its distance.
    start(point("x 10 force 1 ftype vortex fzv 1 fta 90", 1, 1));
    psys_step(run);
    EXPECT_NEAR(p(0).x, 0.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(p(0).y), 10.0f, 1e-4f);
    psys_step(run);
    EXPECT_NEAR(p(0).x, -10.0f, 1e-4f);
    // About the y axis the particle goes round in depth, its height kept.
    start(point("x 10 y 5 force 1 ftype vortex fxw 0 fyw 5 fyv 1 fta 30", 1, 1));
    for (int i = 0; i < 7; ++i) {
        psys_step(run);
        EXPECT_NEAR(std::hypot(p(0).x, p(0).z), 10.0f, 1e-3f);
        EXPECT_NEAR(p(0).y, 5.0f, 1e-4f);
    }
    EXPECT_GT(std::fabs(p(0).z), 1.0f);
}

TEST_F(Simulation, TwoDeeKeepsEveryParticleInThePlane)
{
    start("vqpsystem 1 particlecount 30 forcecount 1 twodee 1 zw 50 zv 3 force 1 fzv 1 turbstart 2 turbend 2");
    ASSERT_TRUE(psys_advance(run, 5, false));
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(p(i).z, 0.0f);
        EXPECT_EQ(p(i).vz, 0.0f);
    }
    // Turbulence moved them apart in x and y.
    EXPECT_NE(p(0).vx, p(1).vx);
}

TEST_F(Simulation, TheAgeWrapBringsAParticleBackToTheEmitter)
{
    start(point("x 5 xv 2 agewrap 4 advancerange 0", 1));
    ASSERT_TRUE(psys_advance(run, 3, false));
    EXPECT_EQ(p(0).x, 11.0f);
    psys_step(run);
    EXPECT_EQ(p(0).x, 5.0f);
    EXPECT_EQ(p(0).age, 0.0f);
    // A start advance spreads the ages, so that the emitter runs steadily from
    // the first frame.
    start("vqpsystem 1 particlecount 200 xw 0 yw 0 xv 1 agewrap 50 advancerange 50");
    int ages[50] = {};
    for (int i = 0; i < 200; ++i)
        ages[static_cast<int>(p(i).age)] += 1;
    int used = 0;
    for (int a : ages)
        used += a > 0;
    EXPECT_GT(used, 40);
}

TEST_F(Simulation, AreaModesPlaceTheParticles)
{
    // 2: along the emitter's horizontal line.
    start("vqpsystem 1 particlecount 40 areamode 2 x 3 y 4 xw 20 yw 50 zw 50");
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(p(i).y, 4.0f);
        EXPECT_EQ(p(i).z, 0.0f);
        EXPECT_LE(std::fabs(p(i).x - 3), 10.0f);
    }
    // 1: evenly, a grid of 4 x 4 over a square emitter.
    start("vqpsystem 1 particlecount 16 areamode 1 dist square xw 8 yw 8 twodee 1");
    EXPECT_EQ(p(0).x, -3.0f);
    EXPECT_EQ(p(0).y, -3.0f);
    EXPECT_EQ(p(5).x, -1.0f);
    EXPECT_EQ(p(15).y, 3.0f);
    // 4: over the whole picture, in its coordinates (origin in the middle).
    start("vqpsystem 1 particlecount 400 areamode 4 dist square twodee 1", 100, 60);
    float lo = 1e9f, hi = -1e9f;
    for (int i = 0; i < 400; ++i) {
        EXPECT_LE(std::fabs(p(i).x), 50.0f);
        EXPECT_LE(std::fabs(p(i).y), 30.0f);
        lo = std::min(lo, p(i).x);
        hi = std::max(hi, p(i).x);
    }
    EXPECT_GT(hi - lo, 90.0f);
    // 6: only where the area mask lets them, by its weight.
    std::vector<uint8_t> mask(100 * 60, 0);
    for (int y = 10; y < 20; ++y)
        for (int x = 70; x < 80; ++x)
            mask[static_cast<size_t>(y * 100 + x)] = 255;
    start("vqpsystem 1 particlecount 300 areamode 6 twodee 1", 100, 60, mask.data());
    for (int i = 0; i < 300; ++i) {
        float px = p(i).x + 50, py = p(i).y + 30;
        EXPECT_TRUE(px >= 70 && px <= 80 && py >= 10 && py <= 20) << px << "," << py;
    }
    // 5: the area rectangle.
    psys_release(run);
    ASSERT_EQ(psys_read(put("r.psy", "vqpsystem 1 particlecount 100 areamode 5 twodee 1").c_str(), run.sys, true), 0);
    palette_white(run.palette);
    run.stage = PsysStage{100, 60, nullptr, 10, 20, 19, 29};
    ASSERT_EQ(psys_generate(run, false), PSL_OK);
    for (int i = 0; i < 100; ++i) {
        EXPECT_GE(p(i).x + 50, 10.0f);
        EXPECT_LE(p(i).x + 50, 20.0f);
        EXPECT_GE(p(i).y + 30, 20.0f);
        EXPECT_LE(p(i).y + 30, 30.0f);
    }
}

TEST_F(Simulation, ASoftDiscIsDrawnAddedOrLaidOver)
{
    start(point("minsize 3 maxsize 3 twodee 1"));
    std::vector<uint8_t> px = draw();
    // Brightest in the middle, falling off evenly, nothing beyond the radius.
    EXPECT_GE(at(px, 64, 32, 24), 200);
    EXPECT_EQ(at(px, 64, 32, 24), at(px, 64, 31, 23));
    EXPECT_EQ(at(px, 64, 33, 24), at(px, 64, 30, 24));
    EXPECT_LT(at(px, 64, 34, 24), at(px, 64, 33, 24));
    EXPECT_EQ(at(px, 64, 36, 24), 0);
    EXPECT_EQ(at(px, 64, 32, 24, 3), 255);
    // Laid over a transparent picture: the alpha grows with the weight.
    std::vector<uint8_t> clear = draw(64, 48, 0);
    EXPECT_GE(at(clear, 64, 32, 24, 3), 200);
    EXPECT_EQ(at(clear, 64, 40, 24, 3), 0);

    // Two particles on the same spot: added they are brighter than one, laid
    // over they are not.
    start(point("minsize 3 maxsize 3 twodee 1 force 1 fadestart 0.3 fadeend 0.3", 2, 1));
    int added = at(draw(), 64, 32, 24);
    start(point("minsize 3 maxsize 3 twodee 1 additive 0 force 1 fadestart 0.3 fadeend 0.3", 2, 1));
    int over = at(draw(), 64, 32, 24);
    start(point("minsize 3 maxsize 3 twodee 1 force 1 fadestart 0.3 fadeend 0.3", 1, 1));
    int one = at(draw(), 64, 32, 24);
    EXPECT_GT(added, one + 40);
    EXPECT_LT(over, added);
    EXPECT_GT(over, one);
}

TEST_F(Simulation, ClippingAndWrapping)
{
    // 40 pixels right of the middle of a 64-pixel picture: outside it.
    start(point("x 40 minsize 2 maxsize 2 twodee 1"));
    std::vector<uint8_t> clipped = draw();
    EXPECT_EQ(std::count(clipped.begin(), clipped.end(), 0), 48 * 64 * 3);
    start(point("x 40 minsize 2 maxsize 2 twodee 1 clip 0"));
    std::vector<uint8_t> wrapped = draw();
    EXPECT_GE(at(wrapped, 64, 8, 24), 150);  // 32 + 40 - 64
}

TEST_F(Simulation, DepthMakesFarParticlesSmallerAndNearerTheMiddle)
{
    start(point("x 20 z 500 zscale 0.002 minsize 4 maxsize 4"));
    std::vector<uint8_t> far = draw();
    // At half scale: 10 pixels right of the middle, radius 2.
    EXPECT_GE(at(far, 64, 42, 24), 150);
    EXPECT_EQ(at(far, 64, 45, 24), 0);
    EXPECT_EQ(at(far, 64, 52, 24), 0);
    // Behind the viewer: not drawn.
    start(point("z -600 zscale 0.002 minsize 4 maxsize 4"));
    std::vector<uint8_t> behind = draw();
    EXPECT_EQ(std::count(behind.begin(), behind.end(), 0), 48 * 64 * 3);
}

TEST_F(Simulation, RampsOfSizeAndFadeFollowTheParticlesTime)
{
    start(point("minsize 4 maxsize 4 twodee 1 force 1 fbegin 0 fend 10 sizestart 1 sizeend 0.5 fadestart 1 fadeend 0", 1, 1));
    int full = at(draw(), 64, 32, 24);
    ASSERT_TRUE(psys_advance(run, 5, false));
    std::vector<uint8_t> half = draw();
    EXPECT_LT(at(half, 64, 32, 24), full * 6 / 10);
    EXPECT_EQ(at(half, 64, 35, 24), 0);  // radius 3 now
    ASSERT_TRUE(psys_advance(run, 12, false));
    std::vector<uint8_t> gone = draw();
    EXPECT_EQ(std::count(gone.begin(), gone.end(), 0), 48 * 64 * 3);
}

TEST_F(Simulation, ThePaletteColoursAndAdvances)
{
    start(point("force 1 pastart 1 paend 1", 1, 1));
    run.palette.count = 3;
    const uint8_t reds[3] = {10, 20, 30};
    for (int i = 0; i < 3; ++i)
        run.palette.red[i] = run.palette.green[i] = run.palette.blue[i] = reds[i];
    uint8_t rgb[3];
    psys_colour(run.sys, run.palette, 0.5f, rgb);
    EXPECT_EQ(rgb[0], 15);
    psys_colour(run.sys, run.palette, 2.5f, rgb);  // wraps to the first
    EXPECT_EQ(rgb[0], 20);
    psys_colour(run.sys, run.palette, -1.0f, rgb);
    EXPECT_EQ(rgb[0], 30);
    run.sys.palettewrap = 0;
    psys_colour(run.sys, run.palette, 7.0f, rgb);
    EXPECT_EQ(rgb[0], 30);
    run.sys.palettewrap = 1;
    for (int f = 1; f <= 4; ++f) {
        psys_step(run);
        EXPECT_EQ(p(0).colour, static_cast<float>(f % 3));
    }
    // Sticky colours: each particle its own from the palette.
    psys_release(run);
    ASSERT_EQ(psys_read(put("s.psy", "vqpsystem 1 particlecount 60 stickypalette 1").c_str(), run.sys, true), 0);
    run.palette.count = 3;
    run.stage = PsysStage{64, 48};
    ASSERT_EQ(psys_generate(run, false), PSL_OK);
    int seen[3] = {};
    for (int i = 0; i < 60; ++i)
        seen[static_cast<int>(p(i).colour)] += 1;
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
}

TEST_F(Simulation, CancellingGenerationIsCodeThousandAndKeepsNothing)
{
    long places = mem_counters().places_now;
    std::string path = put("big.psy", "vqpsystem 1 particlecount 5000");
    ASSERT_EQ(psys_read(path.c_str(), run.sys, true), PSL_OK);
    palette_white(run.palette);
    run.stage = PsysStage{64, 48};
    platform.cancel_after = 3;
    EXPECT_EQ(psys_generate(run, true), PSL_CANCELLED);
    EXPECT_EQ(run.sys.particles, nullptr);
    EXPECT_TRUE(said("PSL Error #1000 - Particle System Creation Failed"));
    EXPECT_EQ(progress_state().depth, 0);
    EXPECT_EQ(mem_counters().places_now, places);
}

// ---- whole draws through particles_render ------------------------------------

namespace {

class Render : public Simulation {
protected:
    std::vector<uint32_t> frame(const std::string& path, long f, int w = 80, int h = 60)
    {
        Image* img = solid(w, h, pixel_make(0, 0, 0, 255));
        EXPECT_EQ(particles_render(img, path.c_str(), f), 0);
        std::vector<uint32_t> px = pixels(img);
        image_free(img);
        return px;
    }
    std::string demo(const char* name) const
    {
        return std::string(GLIMVQ_SOURCE_DIR) + "/data/particles/" + name + ".psy";
    }
};

} // namespace

TEST_F(Render, TheSameSeedAndFrameGiveTheSamePixelsAnotherSeedOthers)
{
    std::string text = "vqpsystem 1 particlecount 300 forcecount 1 xw 60 yw 40 seed 5 minsize 1 maxsize 3\n"
                        "force 1 ftype constant fyv 0.1 turbstart 0.3 turbend 0.1\n";
    std::string a = put("a.psy", text);
    std::vector<uint32_t> first = frame(a, 7);
    particles_forget();
    EXPECT_EQ(frame(a, 7), first);
    std::string b = put("b.psy", text + "seed 6\n");
    EXPECT_NE(frame(b, 7), first);
    EXPECT_NE(frame(a, 8), first);
}

TEST_F(Render, FramesInOrderAdvanceTheKeptSystemAndMatchAFreshStart)
{
    std::string path = demo("fountain");
    std::vector<uint32_t> last;
    for (long f = 0; f < 6; ++f) {
        last = frame(path, f);
        EXPECT_EQ(particles_state().last_generated, f == 0);
        EXPECT_EQ(particles_state().last_steps, f == 0 ? 0 : 1);
    }
    particles_forget();
    EXPECT_EQ(frame(path, 5), last);
    EXPECT_TRUE(particles_state().last_generated);
    EXPECT_EQ(particles_state().last_steps, 5);
    // Going back starts again.
    frame(path, 2);
    EXPECT_TRUE(particles_state().last_generated);
    // A changed file starts again too.
    std::string copy = put("copy.psy", "vqpsystem 1 particlecount 10");
    frame(copy, 3);
    EXPECT_TRUE(particles_state().last_generated);
}

TEST_F(Render, ZeroParticlesDrawNothingAndTheKeptRunIsGivenBack)
{
    long places = mem_counters().places_now;
    std::vector<uint32_t> black(80 * 60, pixel_make(0, 0, 0, 255));
    EXPECT_EQ(frame(put("none.psy", "vqpsystem 1 particlecount 0 forcecount 1 force 1 fxv 1"), 4), black);
    EXPECT_EQ(frame(demo("vortex"), 2).size(), black.size());
    EXPECT_GT(mem_counters().places_now, places);
    particles_forget();
    EXPECT_EQ(mem_counters().places_now, places);
}

TEST_F(Render, EveryDemoSystemMovesOverTheFrames)
{
    for (const char* name : {"fountain", "vortex", "snow"}) {
        std::vector<uint32_t> f0 = frame(demo(name), 0, 160, 120);
        std::vector<uint32_t> f10 = frame(demo(name), 10, 160, 120);
        std::vector<uint32_t> black(160 * 120, pixel_make(0, 0, 0, 255));
        EXPECT_NE(f0, black) << name;
        EXPECT_NE(f10, f0) << name;
    }
}

TEST_F(Render, AMissingPaletteOrFileIsReported)
{
    Image* img = solid(8, 8, pixel_make(0, 0, 0, 255));
    std::string path = put("p.psy", "vqpsystem 1 palette no|such.pal");
    EXPECT_EQ(particles_render(img, path.c_str(), 0), 1);
    EXPECT_TRUE(said("Could not open the requested file."));
    EXPECT_TRUE(said("/no such.pal: No such file or directory"));
    EXPECT_EQ(particles_render(img, (home + "/nothing.psy").c_str(), 0), 1);
    EXPECT_TRUE(said("PSL Error #2"));
    EXPECT_EQ(particles_render(img, "", 0), 1);
    EXPECT_EQ(img->locks, 0);
    image_free(img);
}
