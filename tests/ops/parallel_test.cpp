// Operations whose rows run on several threads give the pixels of one
// thread, and a cancel still puts the image back.
#include "core/parallel.h"
#include "ops_fixture.h"

#include <atomic>
#include <set>

using Parallel = OpsTest;

TEST(ParallelRows, EveryRowOnceAndStopsWhenAsked)
{
    parallel_set_threads(4);
    std::vector<std::atomic<int>> seen(1000);
    EXPECT_TRUE(parallel_rows(
        0, 999, [&](long a, long b) { for (long y = a; y <= b; ++y) seen[static_cast<size_t>(y)]++; }, nullptr));
    for (auto& s : seen)
        EXPECT_EQ(s.load(), 1);
    // A stop before the first band: nothing runs.
    std::atomic<int> calls{0};
    EXPECT_FALSE(parallel_rows(0, 999, [&](long, long) { ++calls; }, [](long) { return true; }));
    EXPECT_EQ(calls.load(), 0);
    // Empty and single-row ranges.
    EXPECT_TRUE(parallel_rows(5, 4, [&](long, long) { ++calls; }, nullptr));
    EXPECT_TRUE(parallel_rows(7, 7, [&](long a, long b) { EXPECT_EQ(a, 7); EXPECT_EQ(b, 7); ++calls; }, nullptr));
    EXPECT_EQ(calls.load(), 1);
    parallel_set_threads(0);
}

TEST_F(Parallel, ManyThreadsGiveTheSameImageAsOne)
{
    int checked = 0;
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        if (!d->available || !d->parallel)
            continue;
        std::vector<uint32_t> results[2];
        for (int t = 0; t < 2; ++t) {
            parallel_set_threads(t == 0 ? 1 : 4);
            // Alpha varies too, so that the alpha operations have work.
            Image* img = make(301, 203, [](int x, int y) {
                return pixel_make((x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255, (x * 91 + y * 3) & 255,
                                  (x * 7 + y * 13) & 255);
            });
            use_mask(img, [](int x, int y) { return (x * 3 + y * 5) % 256; }, AreaRect{7, 3, 290, 200, 0, 0, 0, 0});
            ASSERT_EQ(apply(d->command, img), 0) << d->name;
            results[t] = pixels(img);
            image_free(img);
        }
        EXPECT_EQ(results[0], results[1]) << d->name;
        ++checked;
    }
    EXPECT_GT(checked, 0);
    parallel_set_threads(0);
}

TEST_F(Parallel, CancelPutsTheImageBack)
{
    parallel_set_threads(4);
    Image* img = ramp(400, 300);
    std::vector<uint32_t> before = pixels(img);
    platform.cancel_after = platform.pumps + 1;
    EXPECT_EQ(apply(opcmd::Negative, img), 1);
    EXPECT_EQ(pixels(img), before);
    EXPECT_EQ(img->locks, 0);
    EXPECT_EQ(progress_state().depth, 0);
    parallel_set_threads(0);
}
