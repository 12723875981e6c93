#include "core/image.h"
#include "core/mem.h"
#include "core/progress.h"
#include "raytrace/raytrace.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<float> g_depth;
void keep_depth(const float* depth, long width, long height)
{
    g_depth.assign(depth, depth + width * height);
}

class RunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::platform_install(&platform);
        platform.set_recording(true);
        char tmpl[] = "/tmp/glimvq-rt-XXXXXX";
        dir = mkdtemp(tmpl);
        raytrace_set_depth_observer(keep_depth);
        g_depth.clear();
    }
    void TearDown() override
    {
        for (Image* image : images)
            image_free(image);
        raytrace_set_depth_observer(nullptr);
        raytrace_state().threads = 0;
        image_set_role(ImageRole::Source, nullptr);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        EXPECT_EQ(mem_counters().places_now, 0);
        ui::platform_install(nullptr);
    }
    std::string scene_file(const std::string& text)
    {
        std::string path = dir + "/scene.w3d";
        std::ofstream(path) << text;
        return path;
    }
    Image* filled(long w, long h, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
    {
        Image* image = image_new(w, h, "test");
        image_lock(image);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = image->pixel(x, y);
                p[0] = r;
                p[1] = g;
                p[2] = b;
                p[3] = a;
            }
        image_unlock(image);
        images.push_back(image);
        return image;
    }
    std::vector<uint8_t> pixels(Image* image)
    {
        image_lock(image);
        std::vector<uint8_t> v(image->pixels, image->pixels + 4 * image->width * image->height);
        image_unlock(image);
        return v;
    }
    const uint8_t* px(const std::vector<uint8_t>& v, Image* image, int x, int y)
    {
        return &v[4 * (static_cast<size_t>(y) * image->width + static_cast<size_t>(x))];
    }

    ui::HeadlessPlatform platform;
    std::string dir;
    std::vector<Image*> images;
};

// A glowing white wall in the plane z = 0 that ends at image column
// `edge` (fractional): the camera at (0, 0, -14) sees x = 14 u there.
std::string wall_until(double edge, long width)
{
    double x = 14 * (edge - width / 2.0) / width;
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "<color 1 1 1> <lightsource 1> <vtx0 -100 -100 0> <vtx1 %.12f -100 0> <vtx2 -100 100 0> "
                  "<object rect \"wall\">",
                  x);
    return buf;
}

} // namespace

TEST_F(RunTest, EmptySceneLeavesEveryPixel)
{
    Image* image = filled(8, 6, 10, 20, 30, 40);
    std::vector<uint8_t> before = pixels(image);
    EXPECT_EQ(raytrace_image(image, scene_file("<radius 3> nothing to see").c_str(), 0), 0);
    EXPECT_EQ(pixels(image), before);
    EXPECT_EQ(raytrace_image(image, scene_file("").c_str(), 2), 1);  // an empty file cannot be read
    EXPECT_EQ(raytrace_image(image, scene_file(" ").c_str(), 2), 0);
    EXPECT_EQ(pixels(image), before);
    ASSERT_EQ(g_depth.size(), 48u);
    for (float d : g_depth)
        EXPECT_EQ(d, 1e10f);
}

TEST_F(RunTest, SupersamplingCompositesOverTheOldPixels)
{
    const long w = 12, h = 4;
    Image* image = filled(w, h, 0, 0, 0, 0);
    // Column 5: the first of three sample columns hits, 3 of 9 samples.
    ASSERT_EQ(raytrace_image(image, scene_file(wall_until(5 + 1.0 / 6, w)).c_str(), 2), 0);
    std::vector<uint8_t> v = pixels(image);
    for (int y = 0; y < h; ++y) {
        EXPECT_EQ(px(v, image, 4, y)[0], 255);
        EXPECT_EQ(px(v, image, 4, y)[3], 255);
        EXPECT_EQ(px(v, image, 5, y)[0], 85);  // one third white
        EXPECT_EQ(px(v, image, 5, y)[1], 85);
        EXPECT_EQ(px(v, image, 5, y)[3], 85);  // alpha composites the same way
        EXPECT_EQ(px(v, image, 6, y)[0], 0);
        EXPECT_EQ(px(v, image, 6, y)[3], 0);
    }
    // Partial hits add the misses' distances too, then divide by the hits.
    EXPECT_NEAR(g_depth[4], 14.0 * std::sqrt(1 + 0.0), 1.0);
    EXPECT_GT(g_depth[5], 1e10f);
    EXPECT_EQ(g_depth[6], 1e10f);

    // Without supersampling a hit is written whole and a miss keeps the old pixel.
    Image* grey = filled(w, h, 100, 100, 100, 7);
    ASSERT_EQ(raytrace_image(grey, scene_file(wall_until(5.5, w)).c_str(), 0), 0);
    v = pixels(grey);
    EXPECT_EQ(px(v, grey, 5, 0)[0], 255);
    EXPECT_EQ(px(v, grey, 5, 0)[3], 255);
    EXPECT_EQ(px(v, grey, 6, 0)[0], 100);
    EXPECT_EQ(px(v, grey, 6, 0)[3], 7);
}

TEST_F(RunTest, DepthMapSpansTheNearestToTheFarthestHit)
{
    Image* image = filled(32, 32, 9, 9, 9, 0);
    std::string s = "<position 0 0 0> <radius 4> <object sphere \"s\"> <depthmap 0 0>";
    ASSERT_EQ(raytrace_image(image, scene_file(s).c_str(), 0), 0);
    EXPECT_TRUE(raytrace_state().last_depthmap);
    std::vector<uint8_t> v = pixels(image);
    int whitest = 0, darkest = 255;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const uint8_t* p = px(v, image, x, y);
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[3], 255);
            if (g_depth[static_cast<size_t>(y * 32 + x)] >= 1e10f) {
                EXPECT_EQ(p[0], 0) << x << "," << y;
            } else {
                whitest = std::max<int>(whitest, p[0]);
                darkest = std::min<int>(darkest, p[0]);
            }
        }
    EXPECT_EQ(whitest, 255);  // the nearest hit
    EXPECT_LE(darkest, 2);    // the farthest hit
    EXPECT_GT(px(v, image, 16, 16)[0], 200);

    // Fixed distances: nearer than near is white, beyond far black.
    ASSERT_EQ(raytrace_image(image, scene_file("<radius 4> <object sphere \"s\"> <depthmap 2 5>").c_str(), 0), 0);
    v = pixels(image);
    EXPECT_EQ(px(v, image, 16, 16)[0], 0);  // the sphere is 10 away
    ASSERT_EQ(raytrace_image(image, scene_file("<radius 4> <object sphere \"s\"> <depthmap 20 30>").c_str(), 0), 0);
    v = pixels(image);
    EXPECT_EQ(px(v, image, 16, 16)[0], 255);
}

TEST_F(RunTest, ParseErrorsAreToldAndChangeNothing)
{
    Image* image = filled(4, 4, 1, 2, 3, 4);
    std::vector<uint8_t> before = pixels(image);
    EXPECT_EQ(raytrace_image(image, scene_file("<position 0 0 0> <object sphere>").c_str(), 1), 1);
    EXPECT_EQ(raytrace_image(image, (dir + "/no-such.w3d").c_str(), 1), 1);
    EXPECT_EQ(raytrace_image(image, scene_file("<" + std::string(250, 'k') + ">").c_str(), 1), 1);
    EXPECT_EQ(pixels(image), before);
    ASSERT_EQ(platform.transcript().size(), 3u);
    EXPECT_EQ(platform.transcript()[0].rfind("Note!: Bad Object Found", 0), 0u);
    EXPECT_EQ(platform.transcript()[1].rfind("Note!: Could not read data", 0), 0u);
    EXPECT_NE(platform.transcript()[1].find("no-such.w3d"), std::string::npos);
    EXPECT_EQ(platform.transcript()[2].rfind("Note!: Key Too Long", 0), 0u);
}

TEST_F(RunTest, SourceMapAndOnePixelBumpMap)
{
    Image* source = filled(4, 4, 0, 200, 0, 255);
    image_set_role(ImageRole::Source, source);
    Image* image = filled(16, 16, 0, 0, 0, 255);
    std::string s = "<lightsource 1> <imagemap \"Source\"> <vtx0 -50 -50 0> <vtx1 50 -50 0> <vtx2 -50 50 0> "
                    "<object rect \"r\">";
    ASSERT_EQ(raytrace_image(image, scene_file(s).c_str(), 0), 0);
    std::vector<uint8_t> v = pixels(image);
    EXPECT_EQ(px(v, image, 8, 8)[0], 0);
    EXPECT_NEAR(px(v, image, 8, 8)[1], 200, 1);
    EXPECT_EQ(px(v, image, 8, 8)[2], 0);
    EXPECT_EQ(source->locks, 0);  // unlocked again after the run

    // A bump map one pixel wide: both neighbours are the pixel itself.
    Image* thin = filled(1, 5, 0, 0, 0, 255);
    image_lock(thin);
    for (int y = 0; y < 5; ++y)
        thin->pixel(0, y)[1] = static_cast<uint8_t>(y * 50);
    float xb[5], yb[5];
    raytrace_gradients(thin, xb, yb);
    image_unlock(thin);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(xb[y], 0.0f);
    EXPECT_FLOAT_EQ(yb[2], (50 - 150) / 255.0f / 2);
    EXPECT_FLOAT_EQ(yb[0], (200 - 50) / 255.0f / 2);  // above row 0 is the last row
}

TEST_F(RunTest, ThreadsMakeTheSamePicture)
{
    std::string s = "<position -6 8 -10> <object light \"l\"> <color 0.8 0.3 0.2> <reflectivity 0.5> "
                    "<position -1 0 0> <radius 2> <object sphere \"a\"> <reflectivity 0> <color 0.9 0.9 0.9> "
                    "<color3 0.1 0.2 0.3> <texturemap \"marble\" 1 0 1> <vtx0 -9 -2 -9> <vtx1 9 -2 -9> "
                    "<vtx2 -9 -2 9> <object rect \"floor\"> <transparency 0.8> <refraction 1.5> "
                    "<position 2 0 -2> <radius 1.5> <object sphere \"glass\">";
    std::string path = scene_file(s);
    Image* one = filled(40, 40, 0, 0, 0, 255);
    Image* two = filled(40, 40, 0, 0, 0, 255);
    raytrace_state().threads = 1;
    ASSERT_EQ(raytrace_image(one, path.c_str(), 1), 0);
    raytrace_state().threads = 2;
    ASSERT_EQ(raytrace_image(two, path.c_str(), 1), 0);
    EXPECT_EQ(pixels(one), pixels(two));
    EXPECT_EQ(raytrace_state().last_prims, 3);
    EXPECT_EQ(raytrace_state().last_lights, 1);
}

namespace {
class CancelOnThirdPump : public ui::HeadlessPlatform {
public:
    int pumps = 0;
    void pump_messages() override
    {
        if (std::strcmp(progress_state().caption, "Tracing") == 0 && ++pumps == 3)
            progress_request_cancel();
    }
};
} // namespace

TEST_F(RunTest, CancelKeepsTheRowsDone)
{
    CancelOnThirdPump cancel;
    ui::platform_install(&cancel);
    raytrace_state().threads = 1;
    Image* image = filled(8, 50, 0, 0, 0, 255);
    EXPECT_EQ(raytrace_image(image, scene_file(wall_until(100, 8)).c_str(), 0), 2);
    long done = raytrace_state().last_rows_done;
    EXPECT_GT(done, 0);
    EXPECT_LT(done, 50);
    std::vector<uint8_t> v = pixels(image);
    EXPECT_EQ(px(v, image, 3, 0)[0], 255);
    EXPECT_EQ(px(v, image, 3, static_cast<int>(done) - 1)[0], 255);
    EXPECT_EQ(px(v, image, 3, static_cast<int>(done))[0], 0);
    EXPECT_EQ(progress_state().depth, 0);
}

// Tag soup with extreme numbers: whatever a file holds, the run ends with a
// picture or a message, and gives everything back.
TEST_F(RunTest, AnyTextRendersOrIsRefused)
{
    const char* words[] = {"object sphere", "object tri", "object rect", "object light", "object bound",
                           "vtx0", "vtx1", "vtx2", "nrm0", "nrm1", "nrm2", "position", "radius", "scale",
                           "translate", "rotation", "color", "color3", "texturemap \"marble\"",
                           "texturemap2 \"checker\"", "uvtexture \"waves\"", "dmap \"noise\"", "texturemap \"iris\"",
                           "texturemap \"spots\"", "texturemap \"sediment\"", "reflectivity", "transparency",
                           "refraction", "distance", "structure", "smooth", "trait \"t\"", "/trait", "apply \"t\"",
                           "push", "pop", "axis", "/axis", "keys \"k\"", "splined", "viewlocation", "viewtarget",
                           "depthmap", "seed", "lightsource", "width", "height", "imagemap \"source\"",
                           "bumpmap \"source\"", "atmosphere", "metal", "translucency", "ambithresh"};
    const char* numbers[] = {"0",     "1",    "-1",   "2.5",  "1e308", "-1e308", "1e-308", "-inf",  "-nan",
                             "3",     ".5",   "k",    "!1/0", "!k*2",  "!((1)",  "1e20",   "-7",    "0.001",
                             "12345", "-0.0", "!sin(cframe(0))", "99999999999999999999"};
    Image* source = filled(3, 2, 10, 200, 30, 255);
    image_set_role(ImageRole::Source, source);
    uint32_t state = 12345;
    auto next = [&](uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % n;
    };
    Image* image = filled(6, 5, 0, 0, 0, 255);
    for (int round = 0; round < 60; ++round) {
        std::string text = "<viewlocation 0 0 -14> <object light \"l\">";
        int tags = 5 + static_cast<int>(next(40));
        for (int t = 0; t < tags; ++t) {
            text += "<";
            text += words[next(sizeof words / sizeof *words)];
            int args = static_cast<int>(next(5));
            for (int a = 0; a < args; ++a) {
                text += next(3) == 0 ? "," : " ";
                text += numbers[next(sizeof numbers / sizeof *numbers)];
            }
            if (next(4) == 0)
                text += " \"name\"";
            text += next(30) == 0 ? "" : ">";
        }
        int code = raytrace_image(image, scene_file(text).c_str(), static_cast<int>(next(3)));
        EXPECT_TRUE(code == 0 || code == 1) << text;
        EXPECT_EQ(source->locks, 0);
    }
}

// Bounds group objects in the hierarchy: they change the speed, never the picture.
TEST_F(RunTest, BoundsChangeNothingButTheWalk)
{
    uint32_t state = 7;
    auto rnd = [&]() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0 * 2 - 1;
    };
    std::string objects[3];
    for (int g = 0; g < 3; ++g)
        for (int i = 0; i < 120; ++i) {
            char buf[400];
            double cx = rnd() * 6, cy = rnd() * 6, cz = rnd() * 4;
            std::snprintf(buf, sizeof buf,
                          "<color %.3f %.3f %.3f> <vtx0 %.4f %.4f %.4f> <vtx1 %.4f %.4f %.4f> "
                          "<vtx2 %.4f %.4f %.4f> <object tri \"t\">",
                          rnd() * 0.5 + 0.5, rnd() * 0.5 + 0.5, rnd() * 0.5 + 0.5, cx, cy, cz, cx + rnd(),
                          cy + rnd(), cz + rnd(), cx + rnd(), cy + rnd(), cz + rnd());
            objects[g] += buf;
            if (i % 20 == 0) {
                std::snprintf(buf, sizeof buf, "<reflectivity 0.3> <position %.3f %.3f %.3f> <radius %.3f> "
                                               "<object sphere \"s\"> <reflectivity 0>",
                              rnd() * 6, rnd() * 6, rnd() * 4, 0.3 + 0.5 * std::fabs(rnd()));
                objects[g] += buf;
            }
        }
    std::string lights = "<position -8 9 -12> <object light \"a\"> <position 9 2 -9> <object light \"b\">";
    std::string flat = lights + objects[0] + objects[1] + objects[2];
    std::string bounded = lights + "<structure> <object bound \"one\">" + objects[0] + "<structure>" + objects[1] +
                          "<structure> <object bound \"three\"> <object bound \"three again\">" + objects[2];
    Image* a = filled(48, 48, 0, 0, 0, 255);
    Image* b = filled(48, 48, 0, 0, 0, 255);
    ASSERT_EQ(raytrace_image(a, scene_file(flat).c_str(), 0), 0);
    ASSERT_EQ(raytrace_image(b, scene_file(bounded).c_str(), 0), 0);
    EXPECT_EQ(raytrace_state().last_prims, 3 * 126);
    EXPECT_EQ(pixels(a), pixels(b));
    int lit = 0;
    for (uint8_t v : pixels(a))
        lit += v > 0 && v < 255;
    EXPECT_GT(lit, 1000);  // something was drawn
}
