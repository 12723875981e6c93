#include "core/log.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

std::time_t dec4_2026_090507()
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 4;
    tm.tm_hour = 9;
    tm.tm_min = 5;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace

TEST(Log, CreateModeHeader)
{
    log_set_clock(dec4_2026_090507);
    LogCapture log;
    std::string all = log.all();
    EXPECT_EQ(all, "Intel NT4+/95/98/Me/2000/XP Glimmerix:V/q v7r50[i] Log File\n"
                   "\n"
                   "            Created on  12/04/26  at  09:05:07\n\n");
    log_set_clock(nullptr);
}

TEST(Log, AppendModeHeaderFollowsTheOldText)
{
    log_set_clock(dec4_2026_090507);
    LogCapture log;
    log_printf("first run\n");
    log_close();
    ASSERT_TRUE(log_open(true));
    std::string all = log.all();
    EXPECT_NE(all.find("first run\n"
                       "Intel NT4+/95/98/Me/2000/XP Glimmerix:V/q v7r50[i] Log File\n"
                       "\n    Glimmerix:V/q LOG appended on 12/04/26 at 09:05:07\n"
                       "    ---------------------------------------------------\n\n"),
              std::string::npos)
        << all;
    log_set_clock(nullptr);
}

TEST(Log, WritersDoNothingWhenClosed)
{
    log_close();
    EXPECT_FALSE(log_is_open());
    log_printf("lost %d\n", 1);
    log_write("lost");
    log_set_folder("/nonexistent/folder/for/sure");
    EXPECT_FALSE(log_open(false));
    EXPECT_FALSE(log_is_open());
    log_set_folder("");
}
