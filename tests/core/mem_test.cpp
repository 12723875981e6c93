#include "core/mem.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string label_of(void* p)
{
    char label[5];
    long size = 0;
    EXPECT_TRUE(mem_describe(p, label, &size));
    return label;
}

} // namespace

TEST(PlaceTable, GrowsTo400ThenByHalfPlus256)
{
    void* first = mem_alloc(8, "t");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(mem_counters().capacity, 400);
    std::vector<void*> blocks{first};
    while (mem_counters().places_now < 398)
        blocks.push_back(mem_alloc(8, "t"));
    EXPECT_EQ(mem_counters().capacity, 400);
    blocks.push_back(mem_alloc(8, "t"));  // 398 in use: grows first
    EXPECT_EQ(mem_counters().capacity, 856);
    EXPECT_EQ(mem_counters().places_now, 399);
    for (void* p : blocks)
        EXPECT_EQ(mem_free(p), nullptr);
    EXPECT_EQ(mem_counters().places_now, 0);
}

TEST(PlaceTable, BlocksAreCountedWithFourExtraBytesAndZeroed)
{
    LogCapture log;
    auto* p = static_cast<uint8_t*>(mem_alloc(100, "buf"));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 104; ++i)
        ASSERT_EQ(p[i], 0);
    MemCounters c = mem_counters();
    EXPECT_EQ(c.real_now, 104);
    EXPECT_EQ(c.virt_now, 104);
    mem_report();
    std::string text = log.text();
    EXPECT_NE(text.find("Mem Locked: Y Size:     104 Name: buf \n"), std::string::npos) << text;
    EXPECT_NE(text.find("Mem Total: Real     104 Virt     104\n"), std::string::npos);
    EXPECT_NE(text.find("\nMax memory used:     104 real      104 virtual   1 places\n"), std::string::npos);
    EXPECT_NE(text.find("\nIn use now:          104 real      104 virtual   1 places\n"), std::string::npos);
    mem_free(p);
}

TEST(PlaceTable, LabelsKeepFourCharactersPaddedWithBlanks)
{
    void* a = mem_alloc(4, "editbuffer");
    void* b = mem_alloc(4, "ab");
    void* c = mem_alloc(4, nullptr);
    EXPECT_EQ(label_of(a), "edit");
    EXPECT_EQ(label_of(b), "ab  ");
    EXPECT_EQ(label_of(c), "    ");
    mem_free(a);
    mem_free(b);
    mem_free(c);
}

TEST(PlaceTable, MoveableLocksAreCounted)
{
    LogCapture log;
    GHandle h = vmem_alloc(60, "vbuf");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(mem_counters().real_now, 0);
    EXPECT_EQ(mem_counters().virt_now, 64);
    void* p1 = vmem_lock(h);
    void* p2 = vmem_lock(h);
    ASSERT_NE(p1, nullptr);
    EXPECT_EQ(p1, p2);
    EXPECT_EQ(mem_handle_of(p1), h);
    EXPECT_NE(log.text().find("Mem: \"vbuf\" was used 2 times at once.\n"), std::string::npos);
    EXPECT_EQ(mem_counters().real_now, 64);

    EXPECT_EQ(vmem_unlock(h), 0);  // still locked once
    EXPECT_EQ(mem_counters().real_now, 64);
    EXPECT_EQ(vmem_unlock(h), 0);  // real bytes freed
    EXPECT_EQ(mem_counters().real_now, 0);
    EXPECT_EQ(vmem_unlock(h), 1);
    EXPECT_NE(log.text().find("Unlock again \"vbuf\"\n"), std::string::npos);
    EXPECT_EQ(vmem_free(h), 0);
    EXPECT_EQ(vmem_free(h), 1);
    EXPECT_NE(log.text().find("Free again of virtual memory.\n"), std::string::npos);
    EXPECT_EQ(mem_counters().virt_now, 0);
    EXPECT_EQ(mem_counters().real_max, 64);
}

TEST(PlaceTable, FailuresAreLoggedWithTheirTexts)
{
    LogCapture log;
    void* p = mem_alloc(10, "fix");
    EXPECT_EQ(mem_free(p), nullptr);
    EXPECT_EQ(mem_free_named(p, "fix"), p);  // a second free hands the address back
    EXPECT_EQ(vmem_lock(12345), nullptr);
    EXPECT_EQ(vmem_unlock(12345), 1);

    GHandle locked = vmem_alloc(10, "lk");
    vmem_lock(locked);
    EXPECT_EQ(vmem_free(locked), 0);
    EXPECT_EQ(mem_counters().real_now, 0);

    gmem_fail_after(0);
    EXPECT_EQ(vmem_alloc(10, "no"), 0u);
    EXPECT_EQ(mem_alloc(10, "no"), nullptr);
    gmem_fail_after(-1);

    GHandle h = vmem_alloc(10, "rf");
    gmem_refuse_locks(true);
    EXPECT_EQ(vmem_lock(h), nullptr);
    gmem_refuse_locks(false);
    vmem_free(h);

    std::string text = log.text();
    for (const char* line : {"Free again \"fix\"\n", "Lock of unlisted virtual memory\n", "Unlock on unlisted memory\n",
                             "Memory: \"lk  \" was not unlocked before unvirt.\n", "Out of moveable places\n",
                             "Could not get lock on virtual memory\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(PlaceTable, CodedAllocationLabelsAndMessages)
{
    LogCapture log;
    void* p = mem_alloc_coded(16, 12005);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(label_of(p), "M  5");
    void* q = mem_alloc_coded(16, 12016);
    EXPECT_EQ(label_of(q), "M 16");
    void* r = mem_alloc_coded(16, 7);
    EXPECT_EQ(label_of(r), "M  7");
    long places = mem_counters().places_now;
    EXPECT_EQ(mem_alloc_coded(0, 12005), nullptr);
    EXPECT_EQ(mem_counters().places_now, places);
    EXPECT_NE(log.text().find("MESSAGE: \"Zero allocation asked for\"\n"), std::string::npos);
    gmem_fail_after(0);
    EXPECT_EQ(mem_alloc_coded(16, 12001), nullptr);
    gmem_fail_after(-1);
    EXPECT_NE(log.text().find("MESSAGE: \"Memory alloc failed\"\n"), std::string::npos);
    mem_free(p);
    mem_free(q);
    mem_free(r);
}

TEST(PlaceTable, CloseReportAndAutoFree)
{
    LogCapture log;
    mem_alloc(96, "left");
    GHandle h = vmem_alloc(28, "vleft");
    vmem_lock(h);
    vmem_alloc(12, "idle");
    mem_close_report();
    mem_auto_free();
    std::string text = log.text();
    EXPECT_NE(text.find("\nMax memory used:     132 real      148 virtual   3 places\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIn use at close:     132 real      148 virtual   3 places\n"), std::string::npos);
    EXPECT_NE(text.find("Auto un-locked : left (100)\nAuto freed    : left\n"), std::string::npos);
    EXPECT_NE(text.find("Auto un-locked : vlef (32)\nAuto freed    : vlef\n"), std::string::npos);
    EXPECT_NE(text.find("Auto freed    : idle\n"), std::string::npos);
    EXPECT_NE(text.find("\nAuto - removed memory places = 3\n"), std::string::npos);
    EXPECT_EQ(mem_counters().capacity, 0);
    EXPECT_EQ(mem_counters().places_now, 0);
}

TEST(PlaceTable, NothingIsWrittenWithoutALog)
{
    ASSERT_FALSE(log_is_open());
    void* p = mem_alloc(4, "x");
    mem_free(p);
    EXPECT_EQ(mem_free(p), p);  // "Free again" is dropped, the result is the same
    mem_close_report();
}
