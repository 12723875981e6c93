// The "Particles" operation through the operation framework: its catalogue
// entry, the frame it draws in and out of a sequence, refusals and the area.
#include "core/mem.h"
#include "particles/particles.h"
#include "tests/ops/ops_fixture.h"

#include <cstring>
#include <fstream>
#include <set>

namespace {

class ParticlesOp : public OpsTest {
protected:
    void TearDown() override
    {
        op_set_generating(false);
        std::memset(particles_state().file, 0, sizeof particles_state().file);
        OpsTest::TearDown();
    }
    void use_file(const std::string& path)
    {
        std::snprintf(particles_state().file, sizeof particles_state().file, "%s", path.c_str());
    }
    std::string put(const std::string& name, const std::string& text) const
    {
        std::string path = home + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string demo(const char* name) const
    {
        return std::string(GLIMVQ_SOURCE_DIR) + "/data/particles/" + name + ".psy";
    }
};

} // namespace

TEST_F(ParticlesOp, IsAWholeImageOperationWithAFileParameter)
{
    const OpDescriptor* d = op_by_command(opcmd::Particles);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->available, 1);
    EXPECT_EQ(d->full_refresh, 1);
    EXPECT_EQ(d->kind, ApplierKind::WholeImage);
    EXPECT_STREQ(d->keyword, "PARTICLES");
    EXPECT_EQ(d->script_args, 1);
    EXPECT_EQ(d->slot_count(), 1);
    EXPECT_TRUE(slot_is_text(d->slots[0].kind));
    EXPECT_STREQ(d->slots[0].key, "file");
    EXPECT_NE(d->doc, nullptr);
}

TEST_F(ParticlesOp, DrawsFrameZeroOutsideASequenceAndTheSequencesFrameInside)
{
    use_file(demo("fountain"));
    Image* img = solid(120, 90, pixel_make(0, 0, 0, 255));
    std::vector<uint32_t> black = pixels(img);
    ASSERT_EQ(apply(opcmd::Particles, img), 0);
    std::vector<uint32_t> outside = pixels(img);
    EXPECT_NE(outside, black);
    EXPECT_EQ(particles_state().last_frame, 0);
    EXPECT_EQ(img->changes, 1);
    EXPECT_EQ(settings().particle_system, "fountain.psy");
    EXPECT_EQ(settings().parti_path, std::string(GLIMVQ_SOURCE_DIR) + "/data/particles");

    // A timeline of 60 frames: each frame drawn afresh, the system moving.
    std::set<std::vector<uint32_t>> seen;
    for (long f = 0; f < 60; ++f) {
        op_set_generating(true, f, 0, true);
        Image* frame = solid(120, 90, pixel_make(0, 0, 0, 255));
        ASSERT_EQ(apply(opcmd::Particles, frame), 0) << f;
        EXPECT_EQ(particles_state().last_frame, f);
        if (f > 0) {
            EXPECT_EQ(particles_state().last_steps, 1);
        }
        seen.insert(pixels(frame));
        if (f == 0) {
            EXPECT_EQ(pixels(frame), outside);
        }
        image_free(frame);
    }
    EXPECT_EQ(seen.size(), 60u);
    image_free(img);
}

TEST_F(ParticlesOp, AFileThatCannotBeReadChangesNothing)
{
    Image* img = ramp(16, 12);
    std::vector<uint32_t> before = pixels(img);
    // No file at all, neither given nor in the preferences.
    EXPECT_EQ(apply(opcmd::Particles, img), 2);
    EXPECT_TRUE(said("No particle-system file is given."));
    use_file(put("bad.psy", "vqpsystem 1 forcecount 2 force 1"));
    EXPECT_EQ(apply(opcmd::Particles, img), 2);
    EXPECT_TRUE(said("PSL Error #24"));
    use_file(put("pal.psy", "vqpsystem 1 palette gone.pal"));
    EXPECT_EQ(apply(opcmd::Particles, img), 2);
    EXPECT_TRUE(said("gone.pal"));
    EXPECT_EQ(pixels(img), before);
    EXPECT_EQ(img->changes, 0);
    image_free(img);
}

TEST_F(ParticlesOp, TheFileComesFromThePreferencesWhenNoneIsGiven)
{
    put("pref.psy", "vqpsystem 1 particlecount 5 xw 0 yw 0 minsize 3 maxsize 3");
    settings().parti_path = home;
    settings().particle_system = "pref.psy";
    Image* img = solid(10, 10, pixel_make(0, 0, 0, 255));
    ASSERT_EQ(apply(opcmd::Particles, img), 0);
    EXPECT_GT(px(img, 5, 5) & 0xff, 0u);
    EXPECT_STREQ(particles_state().file, (home + "/pref.psy").c_str());
    image_free(img);
}

TEST_F(ParticlesOp, TheAreaWeighsTheParticlesAndPlacesThem)
{
    // Particles over the whole picture, drawn only where the area lets them.
    use_file(put("cover.psy", "vqpsystem 1 particlecount 3000 areamode 4 dist square minsize 2 maxsize 2 twodee 1"));
    Image* img = solid(40, 20, pixel_make(0, 0, 0, 255));
    use_mask(img, [](int x, int) { return x < 20 ? 255 : 0; }, AreaRect{0, 0, 19, 19, 10, 10, 10, 10});
    ASSERT_EQ(apply(opcmd::Particles, img), 0);
    std::vector<uint32_t> after = pixels(img);
    int lit_left = 0, lit_right = 0;
    for (size_t i = 0; i < after.size(); ++i)
        (i % 40 < 20 ? lit_left : lit_right) += (after[i] & 0xff) != 0;
    EXPECT_GT(lit_left, 300);
    EXPECT_EQ(lit_right, 0);
    image_free(img);
}
