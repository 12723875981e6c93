// The "Ray Trace" operation through the operation framework.
#include "raytrace/raytrace.h"
#include "tests/ops/ops_fixture.h"

#include <cstring>
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
    EXPECT_STREQ(raytrace_scene_file(), "scene9.w3d");  // nothing stored yet

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
