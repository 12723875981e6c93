// Every available operation at its slider minimum, middle and maximum, on
// the smallest images, in colour and alpha mode, with a partial mask: it
// must finish cleanly (the sanitizers watch), and leave the images whole.
#include "ops_fixture.h"

using Sweep = OpsTest;

TEST_F(Sweep, EveryAvailableOperationAtItsSliderEnds)
{
    int ran = 0, swept = 0;
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        // Ray Trace reads a scene file; tests/raytrace tries it.
        if (!d->available || d->command == opcmd::RayTrace)
            continue;
        ++swept;
        for (int mode = 0; mode < 2; ++mode) {
            for (int step = 0; step < 3; ++step) {
                for (const OpSlot& s : d->slots) {
                    if (!s.used() || (s.kind != SLOT_INT && s.kind != SLOT_FLOAT))
                        continue;
                    double v = step == 0 ? s.slider_min : step == 2 ? s.slider_max : (s.slider_min + s.slider_max) / 2;
                    slot_set(s, v);
                }
                for (int size : {1, 3}) {
                    settings().mod_alpha = mode;
                    Image* img = ramp(size, size);
                    if (size == 3)
                        use_mask(img, [](int x, int y) { return (x + y) * 60; }, AreaRect{2, 2, 0, 0, 0, 0, 0, 0});
                    else
                        settings().work_method = 0;
                    int r = apply(d->command, img);
                    EXPECT_TRUE(r == 0 || r == 2) << d->name << " step " << step << " gave " << r;
                    EXPECT_EQ(img->locks, 0) << d->name;
                    EXPECT_EQ(img->width, static_cast<uint32_t>(size));
                    image_free(img);
                    ++ran;
                }
            }
        }
    }
    // Each one in both modes, at three settings, on both images.
    EXPECT_GT(swept, 0);
    EXPECT_EQ(ran, swept * 2 * 3 * 2);
    EXPECT_EQ(progress_state().depth, 0);
}
