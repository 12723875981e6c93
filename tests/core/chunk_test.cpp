#include "core/list.h"
#include "core/mem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_trace;
void collect(const char* line)
{
    g_trace.push_back(line);
}

bool traced(const std::string& prefix)
{
    for (const std::string& line : g_trace)
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

class ChunkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_trace.clear();
        chunk_set_trace(collect);
    }
    void TearDown() override { chunk_set_trace(nullptr); }
};

} // namespace

TEST_F(ChunkTest, LayoutHasSizeAndGuardsAroundZeroedBytes)
{
    auto* p = static_cast<uint8_t*>(chunk_alloc(3, 5, "tri"));
    ASSERT_NE(p, nullptr);
    uint32_t size;
    std::memcpy(&size, p - 8, 4);
    EXPECT_EQ(size, 15u);
    const uint8_t guard[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    EXPECT_EQ(std::memcmp(p - 4, guard, 4), 0);
    EXPECT_EQ(std::memcmp(p + 15, guard, 4), 0);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(p[i], 0);
    ChunkCounters c = chunk_counters();
    EXPECT_EQ(c.now, 15);
    EXPECT_EQ(c.allocs, 1);
    EXPECT_EQ(c.maxptrlist, 100);
    chunk_free(p);
    EXPECT_EQ(chunk_counters().now, 0);
    EXPECT_EQ(chunk_counters().deallocs, 1);
    EXPECT_EQ(chunk_counters().peak, 15);
    EXPECT_TRUE(g_trace.empty());
}

TEST_F(ChunkTest, OverAndUnderRunsAreTracedAndTheChunkStillReleased)
{
    auto* p = static_cast<uint8_t*>(chunk_alloc(1, 10, "victim"));
    p[10] = 0;  // one byte past the end
    chunk_free(p);
    ASSERT_TRUE(traced("Memory Over-run!!! ChunkName=\"victim\", 10 Bytes, ptr=$"));
    EXPECT_EQ(chunk_counters().entries, 0);

    g_trace.clear();
    auto* q = static_cast<uint8_t*>(chunk_alloc(1, 4, "front"));
    q[-1] = 0;
    chunk_free(q);
    EXPECT_TRUE(traced("Memory Under-run!!! ChunkName=\"front\", 4 Bytes"));
    EXPECT_FALSE(traced("Memory Over-run"));
}

TEST_F(ChunkTest, UnknownPointersAndMissingLabelsAreTraced)
{
    static uint8_t foreign[16];
    chunk_free(foreign + 8);
    EXPECT_TRUE(traced("attempted free of unknown pointer!"));
    void* a = chunk_alloc(1, 1, nullptr);
    void* b = chunk_alloc(1, 1, "");
    EXPECT_TRUE(traced("Warning - memory allocation without label! (desc==NULL)"));
    EXPECT_TRUE(traced("Warning - memory allocation with empty label! (desc[0]==0)"));
    chunk_free(a);
    chunk_free(b);
}

TEST_F(ChunkTest, TableGrowsInStepsOf100)
{
    std::vector<void*> v;
    for (int i = 0; i < 101; ++i)
        v.push_back(chunk_alloc(1, 1, "n"));
    EXPECT_EQ(chunk_counters().maxptrlist, 200);
    EXPECT_EQ(chunk_counters().maxptrs, 101);
    for (void* p : v)
        chunk_free(p);
    chunk_stats();
    EXPECT_TRUE(traced("maxptrlist=200, maxptrs=101, allocs=101, deallocs=101, peak=101 now=0"));
}

TEST_F(ChunkTest, CleanupReleasesWhatIsLeftFromTheLastEntry)
{
    chunk_alloc(1, 7, "first");
    chunk_alloc(2, 2, "second");
    chunk_cleanup();
    ASSERT_GE(g_trace.size(), 5u);
    EXPECT_EQ(g_trace[1], "memtot nonzero - commencing autocleanup");
    EXPECT_EQ(g_trace[2], "unfreed pointer: \"second\" of size 4");
    EXPECT_EQ(g_trace[3], "unfreed pointer: \"first\" of size 7");
    EXPECT_EQ(chunk_counters().entries, 0);
}

TEST_F(ChunkTest, GroupsReleaseTogetherAndClearOwnerCells)
{
    uint32_t g = group_new();
    EXPECT_EQ(g, 2u);  // the counter starts at 1
    uint32_t other = group_new();
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(group_alloc(&a, 1, 8, "a", g), 0);
    ASSERT_EQ(group_alloc(&b, 1, 8, "b", g), 0);
    void* keep = group_alloc_ptr(1, 8, "keep", other);
    group_release_clear(g);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(chunk_counters().entries, 1);
    group_free_ptr(keep);
    EXPECT_EQ(chunk_counters().entries, 0);

    void* c = nullptr;
    group_alloc(&c, 1, 4, "c", other);
    group_free_cell(&c);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(chunk_counters().group_entries, 0);
    int unregistered = 0;
    group_free_ptr(&unregistered);  // not registered: nothing happens
    EXPECT_FALSE(traced("attempted free"));
}

TEST_F(ChunkTest, GroupIdsSkipLiveGroupsAfterTheCounterWraps)
{
    group_set_counter(0xFFFFFFFEu);
    uint32_t last = group_new();
    EXPECT_EQ(last, 0xFFFFFFFFu);
    void* held = group_alloc_ptr(1, 1, "held", 1);
    void* held3 = group_alloc_ptr(1, 1, "held", 2);
    uint32_t wrapped = group_new();
    EXPECT_EQ(wrapped, 3u);  // 0 is never an id; 1 and 2 are in use
    group_free_ptr(held);
    group_free_ptr(held3);
}

TEST_F(ChunkTest, DestroyingAListReleasesHeaderAndNodes)
{
    List* list = nullptr;
    ASSERT_EQ(list_create(&list, "layers", nullptr, nullptr), 0);
    for (int i = 0; i < 5; ++i)
        list_add_tail(list);
    EXPECT_EQ(chunk_counters().entries, 6);
    list_destroy(list);
    EXPECT_EQ(chunk_counters().entries, 0);
    EXPECT_EQ(chunk_counters().group_entries, 0);
}
