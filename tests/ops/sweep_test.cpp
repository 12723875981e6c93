// Every available operation of a group at its parameters' slider minimum,
// middle and maximum, in colour and alpha mode, on a 1 x 1 image, a 3 x 3
// image under a partial mask and a 257 x 131 image under an area that runs
// into its right and bottom edges: each must finish cleanly (the sanitizers
// watch) and leave a whole, unlocked image.  One test per group, so that the
// groups run side by side.
#include "ops_fixture.h"

namespace {

class Sweep : public OpsTest, public ::testing::WithParamInterface<int32_t> {};

// An area whose rectangle reaches past the image's right and bottom edges.
void edge_mask(OpsTest& t, Image* img)
{
    const int w = static_cast<int>(img->width), h = img->height;
    auto weight = [w, h](int x, int y) { return x > w / 3 && y > h / 4 ? ((x * 7 + y * 3) % 256) | 1 : 0; };
    AreaRect rect{w / 3, h / 4, w + 40, h + 25, 0, 0, 0, 0};
    (void)t;
    settings().work_method = 1;
    ASSERT_EQ(ensure_mask(img->width, img->height), 0);
    uint8_t* m = mask_lock();
    ASSERT_NE(m, nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
                static_cast<uint8_t>(weight(x, y));
    mask_unlock();
    area_mask().rect = rect;
    area_mask().built = true;
}

} // namespace

TEST_P(Sweep, EveryAvailableOperationAtItsSliderEnds)
{
    const int32_t group = GetParam();
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        // Ray Trace reads a scene file; tests/raytrace tries it.
        if (d->group != group || !d->available || d->command == opcmd::RayTrace)
            continue;
        for (int mode = 0; mode < 2; ++mode) {
            for (int step = 0; step < 3; ++step) {
                for (int size = 0; size < 3; ++size) {
                    // Each run starts from the operation's settings at this step.
                    for (const OpSlot& s : d->slots) {
                        if (!s.used() || (s.kind != SLOT_INT && s.kind != SLOT_FLOAT))
                            continue;
                        double v = step == 0   ? s.slider_min
                                   : step == 2 ? s.slider_max
                                               : (s.slider_min + s.slider_max) / 2;
                        slot_set(s, v);
                    }
                    settings().mod_alpha = mode;
                    settings().work_method = 0;
                    Image* img = nullptr;
                    if (size == 0) {
                        img = ramp(1, 1);
                    } else if (size == 1) {
                        img = ramp(3, 3);
                        use_mask(img, [](int x, int y) { return (x + y) * 60; }, AreaRect{2, 2, 0, 0, 0, 0, 0, 0});
                    } else {
                        img = ramp(257, 131);
                        edge_mask(*this, img);
                    }
                    image_set_role(ImageRole::Source, nullptr);
                    image_set_role(ImageRole::Brush, nullptr);
                    int r = apply(d->command, img);
                    EXPECT_TRUE(r == 0 || r == 2 || r == 3)
                        << d->name << " step " << step << " size " << size << " mode " << mode << " gave " << r;
                    EXPECT_EQ(img->locks, 0) << d->name;
                    EXPECT_GT(img->width, 0u) << d->name;
                    EXPECT_GT(img->height, 0) << d->name;
                    EXPECT_EQ(progress_state().depth, 0) << d->name;
                    image_free(img);
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Groups, Sweep,
                         ::testing::Values(3110, 3210, 3120, 3130, 3140, 3150, 3160, 3170, 3570, 3180, 3190, 3800,
                                           3550, 3900, 3560),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             std::string name = op_group(info.param) ? op_group(info.param)->name : "Group";
                             return name.substr(0, name.find(' '));
                         });
