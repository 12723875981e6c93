#include "expr/trend.h"

#include "core/mem.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class Trends : public ::testing::Test {
protected:
    void SetUp() override
    {
        trend_list().per_level = true;
        trend_list().current_level = 0;
        trend_list().hooks = {};
        trend_set_frames(10);
    }
    void TearDown() override { trend_release(); }

    static std::vector<int32_t> values(const Trend* t)
    {
        return std::vector<int32_t>(t->values, t->values + t->frames);
    }
    static Trend* make(int32_t* param, long frames, int32_t low = -1000, int32_t high = 1000)
    {
        trend_set_frames(frames);
        return trend_make(param, 0, "Amount", low, high, 0);
    }
    static void keys(Trend* t, std::vector<std::pair<int32_t, int32_t>> k)
    {
        std::vector<int32_t> f, v;
        for (auto [a, b] : k)
            f.push_back(a), v.push_back(b);
        ASSERT_EQ(trend_set_keys(t, f.data(), v.data(), static_cast<int>(k.size())), 0);
    }
    static std::string written(const void* param, const char* name)
    {
        char* buf = nullptr;
        size_t size = 0;
        FILE* f = open_memstream(&buf, &size);
        trend_write(f, param, name);
        std::fclose(f);
        std::string s(buf, size);
        std::free(buf);
        return s;
    }
};

TEST_F(Trends, ANewTrendHoldsTheParameterValueAtBothEnds)
{
    int32_t amount = 42;
    Trend* t = make(&amount, 10);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->key_count, 2);
    EXPECT_EQ(t->key_frames[0], 0);
    EXPECT_EQ(t->key_frames[1], 9);
    EXPECT_EQ(t->key_values[0], 42);
    EXPECT_EQ(values(t), std::vector<int32_t>(10, 42));
    EXPECT_EQ(t->splined, 0);
    // Making it again gives the same trend; the labels are the system's.
    EXPECT_EQ(make(&amount, 10), t);
    char label[5];
    long size = 0;
    ASSERT_TRUE(mem_describe(t, label, &size));
    EXPECT_STREQ(label, "ntre");
    ASSERT_TRUE(mem_describe(t->key_frames, label, &size));
    EXPECT_STREQ(label, "trnx");
    ASSERT_TRUE(mem_describe(t->values, label, &size));
    EXPECT_STREQ(label, "trna");
    EXPECT_GE(size, static_cast<long>(sizeof(int32_t) * 12));
}

TEST_F(Trends, StraightLinesTruncateTowardZero)
{
    int32_t p = 0;
    Trend* t = make(&p, 5);
    keys(t, {{0, 0}, {4, 100}});
    EXPECT_EQ(values(t), (std::vector<int32_t>{0, 25, 50, 75, 100}));

    int32_t q = 0;
    Trend* u = make(&q, 11);
    keys(u, {{0, 0}, {10, 100}});
    EXPECT_EQ(trend_value(u, 5), 50);
    keys(u, {{0, 0}, {3, 10}, {10, 10}});
    EXPECT_EQ(trend_value(u, 1), 3);
    EXPECT_EQ(trend_value(u, 2), 6);
    keys(u, {{0, 0}, {3, -10}, {10, -10}});
    EXPECT_EQ(trend_value(u, 1), -3);  // not -4: toward zero
    EXPECT_EQ(trend_value(u, 2), -6);
    // Keys that do not reach the ends: the end values hold beyond them.
    keys(u, {{2, 5}, {4, 9}});
    EXPECT_EQ(values(u), (std::vector<int32_t>{5, 5, 5, 7, 9, 9, 9, 9, 9, 9, 9}));
    // Without the spline nothing is clamped, and large values do not overflow.
    keys(u, {{0, -2000000000}, {10, 2000000000}});
    EXPECT_EQ(trend_value(u, 5), 0);
    EXPECT_EQ(trend_value(u, 10), 2000000000);
}

TEST_F(Trends, TheSplinePassesThroughItsKeysAndStaysWithinItsLimits)
{
    int32_t p = 0;
    Trend* t = make(&p, 30, 0, 100);
    t->splined = 1;
    keys(t, {{0, 0}, {5, 100}, {10, 0}, {12, 100}, {29, 50}});
    for (long f = 0; f < 30; ++f) {
        EXPECT_GE(t->values[f], 0) << f;
        EXPECT_LE(t->values[f], 100) << f;
    }
    EXPECT_EQ(trend_value(t, 0), 0);
    EXPECT_EQ(trend_value(t, 5), 100);
    EXPECT_EQ(trend_value(t, 10), 0);
    EXPECT_EQ(trend_value(t, 29), 50);
    // A smooth curve: between 0 and 100 it rises without a step.
    EXPECT_GT(trend_value(t, 3), trend_value(t, 2));
    EXPECT_GT(trend_value(t, 2), trend_value(t, 1));

    // Limits narrower than the keys clamp the spline.
    t->limit_low = 20;
    t->limit_high = 80;
    trend_recompute(t);
    EXPECT_EQ(trend_value(t, 0), 20);
    EXPECT_EQ(trend_value(t, 5), 80);

    // Two keys: the straight line, clamped.  One key: every frame its value.
    keys(t, {{0, 0}, {29, 100}});
    EXPECT_EQ(trend_value(t, 0), 20);
    EXPECT_EQ(trend_value(t, 15), 51);
    EXPECT_EQ(trend_value(t, 29), 80);
    keys(t, {{7, 33}});
    EXPECT_EQ(values(t), std::vector<int32_t>(30, 33));
}

TEST_F(Trends, KeysStayInOrderWithOneAFrame)
{
    int32_t p = 1;
    Trend* t = make(&p, 10);
    EXPECT_EQ(trend_add_key(t, 5, 50), 0);
    EXPECT_EQ(trend_add_key(t, 3, 30), 0);
    EXPECT_EQ(trend_add_key(t, 5, 55), 0);  // replaces
    EXPECT_EQ(trend_add_key(t, 10, 7), 1);  // beyond the last frame
    EXPECT_EQ(trend_add_key(t, -1, 7), 1);
    ASSERT_EQ(t->key_count, 4);
    const int32_t frames[] = {0, 3, 5, 9}, vals[] = {1, 30, 55, 1};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(t->key_frames[k], frames[k]);
        EXPECT_EQ(t->key_values[k], vals[k]);
    }
    EXPECT_EQ(trend_key_at(t, 5), 2);
    EXPECT_EQ(trend_key_at(t, 4), -1);

    // Pairs out of order and repeated: sorted, the last value of a frame kept.
    keys(t, {{9, 90}, {2, 20}, {0, 0}, {2, 25}, {40, 1}});
    ASSERT_EQ(t->key_count, 3);
    EXPECT_EQ(t->key_frames[1], 2);
    EXPECT_EQ(t->key_values[1], 25);
    const int32_t none_f[] = {50}, none_v[] = {1};
    EXPECT_EQ(trend_set_keys(t, none_f, none_v, 1), 1);  // nothing usable: the keys stay
    EXPECT_EQ(t->key_count, 3);

    // Dragging keeps a key between its neighbours; the ends cannot go.
    EXPECT_EQ(trend_move_key(t, 1, 20, 40), 8);
    EXPECT_EQ(trend_move_key(t, 1, -3, 40), 1);
    EXPECT_EQ(trend_remove_key(t, 0), 1);
    EXPECT_EQ(trend_remove_key(t, 2), 1);
    EXPECT_EQ(trend_remove_key(t, 1), 0);
    EXPECT_EQ(t->key_count, 2);
    EXPECT_EQ(trend_remove_key(t, 1), 1);
}

TEST_F(Trends, RescalingSpreadsKeysAndDropsThoseThatMeet)
{
    int32_t a = 0;
    Trend* t = make(&a, 11);
    keys(t, {{0, 0}, {5, 50}, {10, 100}});
    ASSERT_EQ(trend_rescale_all(11, 6), 0);
    ASSERT_EQ(t->key_count, 3);
    EXPECT_EQ(t->key_frames[1], 2);
    EXPECT_EQ(t->key_frames[2], 5);
    EXPECT_EQ(t->frames, 6);
    EXPECT_EQ(values(t), (std::vector<int32_t>{0, 25, 50, 66, 83, 100}));
    EXPECT_EQ(trend_list().frames, 6);
    char label[5];
    long size = 0;
    ASSERT_TRUE(mem_describe(t->key_frames, label, &size));
    EXPECT_STREQ(label, "xmar");  // "xmark", four characters kept
    ASSERT_TRUE(mem_describe(t->values, label, &size));
    EXPECT_STREQ(label, "arra");
}

TEST_F(Trends, RescalingToTwoFramesKeepsTheEnds)
{
    int32_t b = 0;
    trend_list().current_level = 1;
    Trend* u = make(&b, 11);
    keys(u, {{0, 7}, {5, 8}, {10, 9}});
    // 0, 5, 10 become 0, 0, 1: the second 0 goes.
    ASSERT_EQ(trend_rescale_all(11, 2), 0);
    ASSERT_EQ(u->key_count, 2);
    EXPECT_EQ(u->key_frames[0], 0);
    EXPECT_EQ(u->key_values[0], 7);
    EXPECT_EQ(u->key_frames[1], 1);
    EXPECT_EQ(u->key_values[1], 9);
    EXPECT_EQ(values(u), (std::vector<int32_t>{7, 9}));
}

TEST_F(Trends, TheWriterPutsTwentyKeysOnALine)
{
    int32_t p = 3, q = 0;
    Trend* t = make(&p, 30, -5, 500);
    std::vector<std::pair<int32_t, int32_t>> k;
    for (int i = 0; i < 21; ++i)
        k.emplace_back(i, i * 2);
    keys(t, k);
    std::string s = written(&p, "Amount");
    std::string first = "Trend[Amount] 30 -5 500 0\n";
    for (int i = 0; i < 20; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, " %d,%d,", i, i * 2);
        first += key;
    }
    EXPECT_EQ(s, first + "\n 20,40,\n");
    EXPECT_EQ(written(&q, "Other"), "NoTrend[Other]\n");
}

TEST_F(Trends, PerLevelTrendsAreFoundOnTheirLevel)
{
    int32_t p = 5;
    trend_list().current_level = 2;
    Trend* on2 = make(&p, 10);
    trend_list().current_level = 4;
    EXPECT_EQ(trend_find(&p), nullptr);
    Trend* on4 = make(&p, 10);
    EXPECT_NE(on4, on2);
    EXPECT_EQ(on4->level, 4);
    EXPECT_EQ(trend_find_at(&p, 2), on2);
    // With per-level trends off the last trend of the parameter counts.
    trend_list().per_level = false;
    trend_list().current_level = 2;
    EXPECT_EQ(trend_find(&p), on4);
    EXPECT_EQ(make(&p, 10), on4);

    // The list grows past its first twenty places.
    trend_list().per_level = true;
    std::vector<int32_t> params(40);
    for (int32_t& x : params)
        ASSERT_NE(make(&x, 10), nullptr);
    EXPECT_EQ(trend_list().count, 42);
    char label[5];
    long size = 0;
    ASSERT_TRUE(mem_describe(trend_list().items, label, &size));
    EXPECT_STREQ(label, "ttds");
    trend_remove(on2);
    EXPECT_EQ(trend_find_at(&p, 2), nullptr);
    EXPECT_EQ(trend_list().count, 41);
}

TEST_F(Trends, HooksSeedRedrawAndForget)
{
    static int seeded = 0, redrawn = 0, forgotten = 0;
    seeded = redrawn = forgotten = 0;
    trend_list().hooks.seed = [](Trend* t) {
        ++seeded;
        trend_add_key(t, 4, 77);
    };
    trend_list().hooks.redraw = [](Trend*) { ++redrawn; };
    trend_list().hooks.forget_window = [](Trend* t) {
        ++forgotten;
        t->window = nullptr;
    };
    int32_t p = 1;
    Trend* t = make(&p, 10);
    EXPECT_EQ(seeded, 1);
    EXPECT_EQ(trend_value(t, 4), 77);
    EXPECT_EQ(redrawn, 0);  // no window yet
    int window = 0;
    t->window = &window;
    trend_rescale_all(10, 20);
    EXPECT_GE(redrawn, 1);
    trend_clear_all();
    EXPECT_EQ(forgotten, 1);
}

} // namespace
