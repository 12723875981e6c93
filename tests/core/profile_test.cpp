#include "../fail_midway.h"
#include "core/mem.h"
#include "core/profile.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace {

class Profile : public ::testing::Test {
protected:
    TempFolder dir;
    void TearDown() override
    {
        profile_forget();
        fast_ini_read_close();
        fast_ini_write_close();
    }
    std::string get(const char* key, const char* fallback = "-", long max = 179)
    {
        return profile_get("Glimvq", key, fallback, max, "GLIMVQ.ini");
    }
};

} // namespace

TEST_F(Profile, MissingFileAndKeysGiveTheDefault)
{
    EXPECT_EQ(get("PosMain", "0 0 1024 768"), "0 0 1024 768");
    dir.write("GLIMVQ.ini", "[Other]\nPosMain=1 2 3 4\n");
    EXPECT_EQ(get("PosMain", "dflt"), "dflt");  // only in another section
    char buffer[4] = "xyz";
    EXPECT_EQ(profile_read("Glimvq", "Nothing", "abcdef", buffer, sizeof buffer, "GLIMVQ.ini"), 3);
    EXPECT_STREQ(buffer, "abc");  // cut to the caller's length
}

TEST_F(Profile, ReadsLikeTheDesktopsProfileFunctions)
{
    dir.write("GLIMVQ.ini", "; comment\r\n"
                            "[glimVQ]\r\n"
                            "  PosMain =  5 6 7 8  \r\n"
                            "No Re-Size=1\r\n"
                            "Font=Arial=Bold\r\n"
                            "Font=Second\r\n"
                            "Empty=\r\n");
    EXPECT_EQ(get("posmain"), "5 6 7 8");
    EXPECT_EQ(get("No Re-Size"), "1");
    EXPECT_EQ(get("Font"), "Arial=Bold");  // the first of two, '=' kept in the value
    EXPECT_EQ(get("Empty", "dflt"), "");
}

TEST_F(Profile, DamagedLinesAreSkippedOrCut)
{
    std::string junk = "[Glimvq]\nPosMain 1 2 3 4\n";
    junk += std::string("\xff\xfe\x01\x02", 4) + "\n";
    junk += std::string("Bin=ab\0cd", 9) + "\n";
    junk += "[Unclosed\nUndoWant=7\n";
    junk += "Long=" + std::string(1000, 'x') + "\n";
    junk += "=nokey\n";
    dir.write("GLIMVQ.ini", junk);
    EXPECT_EQ(get("PosMain", "dflt"), "dflt");
    EXPECT_EQ(get("Bin"), "ab");  // the text ends at the zero byte
    EXPECT_EQ(get("UndoWant"), "7");
    EXPECT_EQ(get("Long", "", 31), std::string(31, 'x'));
}

TEST_F(Profile, WritesKeepEverythingElse)
{
    dir.write("GLIMVQ.ini", "; kept\n[First]\nA=1\nodd line\n\n[Glimvq]\nB=2\nC=3\n\n[Last]\nZ=9\n");
    EXPECT_TRUE(profile_write("Glimvq", "b", "20", "GLIMVQ.ini"));
    EXPECT_TRUE(profile_write("Glimvq", "New", "x\ny", "GLIMVQ.ini"));  // a line break ends a value
    EXPECT_TRUE(profile_write("Glimvq", "C", nullptr, "GLIMVQ.ini"));
    EXPECT_TRUE(profile_write("Fresh", "K", "v", "GLIMVQ.ini"));
    EXPECT_TRUE(profile_write("Last", nullptr, nullptr, "GLIMVQ.ini"));
    EXPECT_FALSE(profile_write("Glimvq", "a=b", "1", "GLIMVQ.ini"));
    EXPECT_EQ(dir.read("GLIMVQ.ini"), "; kept\n[First]\nA=1\nodd line\n\n[Glimvq]\nb=20\nNew=x\n\n[Fresh]\nK=v\n");
}

TEST_F(Profile, HeldWritesGoOutOnceAtRelease)
{
    profile_hold("GLIMVQ.ini");
    for (int i = 0; i < 300; ++i)
        profile_write("Glimvq", ("Key" + std::to_string(i)).c_str(), std::to_string(i).c_str(), "GLIMVQ.ini");
    EXPECT_FALSE(dir.exists("GLIMVQ.ini"));
    EXPECT_EQ(get("Key299"), "299");  // readable while held
    EXPECT_TRUE(profile_release());
    profile_forget();
    EXPECT_EQ(get("Key150"), "150");
    EXPECT_EQ(test_support::leftover_parts(dir.path()), std::vector<std::string>{});
}

TEST_F(Profile, WritesTheDiskCutsShortKeepTheOldFiles)
{
    const std::string old_ini = "[Glimvq]\nUndoWant=20\nKeep=1\n";
    dir.write("GLIMVQ.ini", old_ini);
    const std::string long_value(400, 'v');
    EXPECT_EQ(test_support::run_with_file_limit(16, [&] {
                  return profile_write("Glimvq", "Long", long_value.c_str(), "GLIMVQ.ini") ? 0 : 1;
              }),
              1);
    EXPECT_EQ(dir.read("GLIMVQ.ini"), old_ini);

    const std::string old_list = "[GlimvqTv]\nTnaCount=0\n";
    dir.write("GLIMVQtv.ini", old_list);
    EXPECT_EQ(test_support::run_with_file_limit(16, [&] {
                  int failed = fast_ini_write("GlimvqTv", "TnaCount", "1", "GLIMVQtv.ini");
                  failed |= fast_ini_write("GlimvqTv", "Tna1", long_value.c_str(), "GLIMVQtv.ini");
                  return fast_ini_write_close() != 0 || failed ? 1 : 0;
              }),
              1);
    EXPECT_EQ(dir.read("GLIMVQtv.ini"), old_list);
    EXPECT_EQ(test_support::leftover_parts(dir.path()), std::vector<std::string>{});
}

TEST_F(Profile, AnUnwritableFolderFailsTheWrite)
{
    app_set_config_folder("/nonexistent/for/sure");
    EXPECT_FALSE(profile_write("Glimvq", "A", "1", "/nonexistent/for/sure/GLIMVQ.ini"));
    EXPECT_EQ(fast_ini_write("GlimvqTv", "TnaCount", "0", "/nonexistent/for/sure/GLIMVQtv.ini"), 1);
    EXPECT_EQ(fast_ini_write_close(), 0);
    app_set_config_folder(dir.path());
}

TEST_F(Profile, FastWriterAndReaderRoundTrip)
{
    EXPECT_EQ(fast_ini_write("GlimvqPu", "PlugInCount", "2", "GLIMVQpu.ini"), 0);
    EXPECT_EQ(fast_ini_write("GlimvqPu", "PlugInName1", "Blur", "GLIMVQpu.ini"), 0);
    EXPECT_FALSE(dir.exists("GLIMVQpu.ini"));  // complete files only
    EXPECT_EQ(fast_ini_write("Ignored", "PlugInFloats1", "1.000000 2.500000", "GLIMVQpu.ini"), 0);
    EXPECT_EQ(fast_ini_write_close(), 0);
    EXPECT_EQ(dir.read("GLIMVQpu.ini"),
              "[GlimvqPu]\nPlugInCount=2\nPlugInName1=Blur\nPlugInFloats1=1.000000 2.500000\n");

    long places = mem_counters().places_now;
    char buffer[32];
    EXPECT_EQ(fast_ini_read("GlimvqPu", "PlugInName1", "", buffer, sizeof buffer, "GLIMVQpu.ini"), 4);
    EXPECT_STREQ(buffer, "Blur");
    EXPECT_EQ(mem_counters().places_now, places + 1);  // the loaded file
    fast_ini_read("glimvqpu", "pluginfloats1", "", buffer, 8, "GLIMVQpu.ini");
    EXPECT_STREQ(buffer, "1.00000");
    fast_ini_read("GlimvqPu", "PlugInName2", "none", buffer, sizeof buffer, "GLIMVQpu.ini");
    EXPECT_STREQ(buffer, "none");
    fast_ini_read("Other", "PlugInCount", "x", buffer, sizeof buffer, "GLIMVQpu.ini");
    EXPECT_STREQ(buffer, "x");
    fast_ini_read_close();
    EXPECT_EQ(mem_counters().places_now, places);
    fast_ini_read("GlimvqTv", "TnaCount", "0", buffer, sizeof buffer, "GLIMVQtv.ini");  // no file
    EXPECT_STREQ(buffer, "0");
}

TEST_F(Profile, WritesThatChangeNothingLeaveTheFileAlone)
{
    dir.write("GLIMVQ.ini", "[Glimvq]\nA=1\nB=two\n");
    dir.write("GLIMVQtv.ini", "[GlimvqTv]\nTnaCount=0\n");
    struct stat before {};
    struct stat tv_before {};
    ASSERT_EQ(stat((dir.path() + "/GLIMVQ.ini").c_str(), &before), 0);
    ASSERT_EQ(stat((dir.path() + "/GLIMVQtv.ini").c_str(), &tv_before), 0);
    // Every write replaces the file by renaming a new one over it: an
    // unchanged inode means nothing was written.
    EXPECT_TRUE(profile_write("Glimvq", "A", "1", "GLIMVQ.ini"));
    profile_hold("GLIMVQ.ini");
    EXPECT_TRUE(profile_write("Glimvq", "B", "two", "GLIMVQ.ini"));
    EXPECT_TRUE(profile_write("Glimvq", "C", nullptr, "GLIMVQ.ini"));  // removing what is not there
    EXPECT_TRUE(profile_release());
    EXPECT_EQ(fast_ini_write("GlimvqTv", "TnaCount", "0", "GLIMVQtv.ini"), 0);
    EXPECT_EQ(fast_ini_write_close(), 0);
    struct stat after {};
    struct stat tv_after {};
    ASSERT_EQ(stat((dir.path() + "/GLIMVQ.ini").c_str(), &after), 0);
    ASSERT_EQ(stat((dir.path() + "/GLIMVQtv.ini").c_str(), &tv_after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(tv_after.st_ino, tv_before.st_ino);

    // A real change is written, by both writers.
    EXPECT_TRUE(profile_write("Glimvq", "A", "3", "GLIMVQ.ini"));
    EXPECT_EQ(dir.read("GLIMVQ.ini"), "[Glimvq]\nA=3\nB=two\n");
    EXPECT_EQ(fast_ini_write("GlimvqTv", "TnaCount", "1", "GLIMVQtv.ini"), 0);
    EXPECT_EQ(fast_ini_write_close(), 0);
    EXPECT_EQ(dir.read("GLIMVQtv.ini"), "[GlimvqTv]\nTnaCount=1\n");
}
