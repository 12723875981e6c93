// The "Ray Trace" operation through the operation framework.
#include "raytrace/raytrace.h"
#include "tests/ops/ops_fixture.h"

#include <cstring>
#include <unistd.h>
#include <fstream>

namespace {

class RayTraceOp : public OpsTest {
protected:
    void scene(const std::string& text)
    {
        std::ofstream(home + "/op.w3d") << text;
        std::snprintf(raytrace_state().scene_dir, kRaytracePath, "%s", home.c_str());
        std::snprintf(raytrace_state().scene_file, kRaytracePath, "%s", "op.w3d");
    }
};

const char* kWall = "<color 1 1 1> <lightsource 1> <vtx0 -100 -100 0> <vtx1 100 -100 0> <vtx2 -100 100 0> "
                    "<object rect \"wall\">";

} // namespace

TEST_F(RayTraceOp, RendersIntoTheTargetWithUndoAndKeepsTheSceneInThePreferences)
{
    const OpDescriptor* d = op_by_command(opcmd::RayTrace);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->available, 1);
    EXPECT_EQ(d->full_refresh, 1);
    EXPECT_EQ(d->slot_count(), 3);
    // Nothing stored yet: a sample scene that exists.
    EXPECT_STREQ(raytrace_scene_dir(), "");
    EXPECT_STREQ(raytrace_scene_file(), kRaytraceDefaultScene);
    EXPECT_EQ(access((std::string(GLIMVQ_SOURCE_DIR) + "/data/scenes/" + kRaytraceDefaultScene).c_str(), R_OK), 0);

    scene(kWall);
    raytrace_state().aa_level = 2;
    Image* img = solid(6, 4, pixel_make(10, 20, 30, 255));
    ASSERT_EQ(apply(opcmd::RayTrace, img), 0);
    EXPECT_EQ(px(img, 3, 2), pixel_make(255, 255, 255, 255));
    EXPECT_EQ(img->changes, 1);
    EXPECT_EQ(settings().scene_file, "op.w3d");
    EXPECT_EQ(settings().scene_path, home);
    raytrace_state().aa_level = 0;
}

TEST_F(RayTraceOp, TheDefaultSceneRendersFromAnyFolderAndAPictureIsNoScene)
{
    char was[4096];
    ASSERT_NE(getcwd(was, sizeof was), nullptr);
    ASSERT_EQ(chdir(home.c_str()), 0);  // no scene here: the sample is found
    raytrace_state().scene_dir[0] = 0;
    std::snprintf(raytrace_state().scene_file, kRaytracePath, "%s", kRaytraceDefaultScene);
    Image* img = solid(24, 16, pixel_make(0, 0, 0, 255));
    EXPECT_EQ(apply(opcmd::RayTrace, img), 0);
    int lit = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            lit += px(img, x, y) != pixel_make(0, 0, 0, 255);
    EXPECT_GT(lit, 24 * 16 / 2);

    // A picture named as the scene is refused, not traced as an empty scene.
    const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13};
    std::ofstream(home + "/photo.png", std::ios::binary).write(reinterpret_cast<const char*>(png), sizeof png);
    std::snprintf(raytrace_state().scene_file, kRaytracePath, "%s", "photo.png");
    Image* other = solid(4, 4, pixel_make(9, 9, 9, 255));
    EXPECT_EQ(apply(opcmd::RayTrace, other), 1);
    EXPECT_EQ(px(other, 1, 1), pixel_make(9, 9, 9, 255));
    bool told = false;
    for (const std::string& line : platform.transcript())
        told = told || line.find("Not a scene file") != std::string::npos;
    EXPECT_TRUE(told);
    ASSERT_EQ(chdir(was), 0);
}

TEST_F(RayTraceOp, TheAreaMaskKeepsWhatIsOutside)
{
    scene(kWall);
    Image* img = solid(4, 2, pixel_make(0, 0, 0, 255));
    use_mask(img, [](int x, int) { return x < 2 ? 255 : (x == 2 ? 51 : 0); }, AreaRect{0, 0, 3, 1, 1, 0, 2, 1});
    ASSERT_EQ(apply(opcmd::RayTrace, img), 0);
    EXPECT_EQ(px(img, 0, 1), pixel_make(255, 255, 255, 255));
    EXPECT_EQ(px(img, 2, 1), pixel_make(51, 51, 51, 255));
    EXPECT_EQ(px(img, 3, 0), pixel_make(0, 0, 0, 255));
}

TEST_F(RayTraceOp, AnUnreadableSceneFailsAndChangesNothing)
{
    scene("<object sphere>");
    Image* img = ramp(5, 5);
    std::vector<uint32_t> before = pixels(img);
    EXPECT_EQ(apply(opcmd::RayTrace, img), 1);
    EXPECT_EQ(pixels(img), before);
    EXPECT_EQ(img->changes, 0);
    bool told = false;
    for (const std::string& line : platform.transcript())
        told = told || line.find("Bad Object Found") != std::string::npos;
    EXPECT_TRUE(told);
}
