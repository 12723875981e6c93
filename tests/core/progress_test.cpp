#include "core/progress.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <csignal>

#include <string>
#include <vector>

namespace {

// A platform that records what the meter shows and can press its controls
// from inside the message pump.
class MeterPlatform : public ui::HeadlessPlatform {
public:
    std::vector<std::string> shown;
    int pumps = 0;
    int press_cancel_on_pump = -1;
    bool toggle_pause_while_paused = false;
    int waits = 0;

    void progress_show(const ui::ProgressDisplay& d) override
    {
        shown.push_back(std::string(d.caption) + " " + std::to_string(d.percent));
    }
    void pump_messages() override
    {
        ++pumps;
        if (pumps == press_cancel_on_pump)
            progress_request_cancel();
    }
    bool wait_while_paused() override
    {
        ++waits;
        if (toggle_pause_while_paused)
            progress_toggle_pause();
        return true;
    }
};

class Meter : public ::testing::Test {
protected:
    MeterPlatform p;
    void SetUp() override { ui::platform_install(&p); }
    void TearDown() override
    {
        while (progress_state().depth > 0)
            progress_close();
        ui::platform_install(nullptr);
    }
};

} // namespace

TEST_F(Meter, StepRoundsThePercentageDown)
{
    progress_open("Reading BMP", 100, 10);
    progress_update(9);
    EXPECT_EQ(progress_state().last_percent, 0);
    progress_update(19);
    EXPECT_EQ(progress_state().last_percent, 10);
    EXPECT_EQ(p.shown.back(), "Reading BMP 10");
    progress_close();
    EXPECT_EQ(progress_state().depth, 0);
    EXPECT_EQ(p.shown.back(), " -1");
}

TEST_F(Meter, UpdateWithoutAMeterDoesNothing)
{
    progress_request_cancel();
    EXPECT_FALSE(progress_update(5));
    progress_open("x", 10);
    progress_close();  // the last close clears the cancel
    EXPECT_FALSE(progress_cancel_requested());
}

TEST_F(Meter, InnerCancelReachesTheOuterMeter)
{
    progress_open("Sequence", 10);
    progress_update(3);
    progress_open("Tracing", 100);
    p.press_cancel_on_pump = p.pumps + 1;
    EXPECT_TRUE(progress_update(50));
    progress_close();
    EXPECT_STREQ(progress_state().caption, "Sequence");
    EXPECT_EQ(progress_state().total, 10);
    EXPECT_EQ(progress_state().last_percent, 30);
    EXPECT_EQ(p.shown.back(), "Sequence 30");
    EXPECT_TRUE(progress_update(4));  // the outer task sees it as well
    progress_close();
    EXPECT_FALSE(progress_cancel_requested());
}

TEST_F(Meter, CancelOutlivesTheLastMeterWhileTheOverallRuns)
{
    progress_overall_total(4);
    progress_open("Frame", 10);
    progress_request_cancel();
    progress_close();
    EXPECT_TRUE(progress_cancel_requested());
    progress_overall_end();
    EXPECT_FALSE(progress_cancel_requested());
}

TEST_F(Meter, MinimisedTitleShowsThePercentage)
{
    p.set_minimised(true);
    progress_open("Tracing", 200);
    progress_update(90);
    EXPECT_EQ(p.frame_title(), "Glimmerix: V/q 45%");
    progress_close();
    EXPECT_EQ(p.frame_title(), "Glimmerix: V/q");
    // With an overall meter running the title is left alone.
    p.set_frame_title("Glimmerix:V/q");
    progress_overall_total(2);
    progress_open("Frame", 10);
    progress_update(5);
    EXPECT_EQ(p.frame_title(), "Glimmerix:V/q");
    progress_close();
    progress_overall_end();
}

TEST_F(Meter, BatchModeNeitherPumpsNorCancels)
{
    progress_set_batch(true);
    progress_open("Batch", 10);
    progress_request_cancel();
    EXPECT_FALSE(progress_update(1));
    EXPECT_EQ(p.pumps, 0);
    progress_set_batch(false);
    EXPECT_TRUE(progress_update(2));
    progress_close();
}

TEST_F(Meter, PauseBlocksUntilLifted)
{
    progress_toggle_pause();  // no meter: ignored
    EXPECT_FALSE(progress_state().paused);
    progress_open("Long", 10);
    progress_toggle_pause();
    EXPECT_EQ(p.shown.back(), "PAUSED 0");
    p.toggle_pause_while_paused = true;
    EXPECT_FALSE(progress_update(5));
    EXPECT_EQ(p.waits, 1);
    EXPECT_FALSE(progress_state().paused);
    progress_close();
}

TEST_F(Meter, BusyCursorFollowsTheBands)
{
    progress_set_busy_cursor(true);
    progress_open("x", 100);
    EXPECT_EQ(p.cursor_band(), 0);
    progress_update(12);
    EXPECT_EQ(p.cursor_band(), 0);
    progress_update(13);
    EXPECT_EQ(p.cursor_band(), 1);
    progress_update(62);
    EXPECT_EQ(p.cursor_band(), 4);
    progress_update(88);
    EXPECT_EQ(p.cursor_band(), 7);
    progress_close();
    EXPECT_EQ(p.cursor_band(), -1);
    progress_set_busy_cursor(false);
}

TEST_F(Meter, PumpingIsLimitedToTwoLevels)
{
    // A pump that re-enters Update, as a handler started from the meter would.
    class Reentrant : public MeterPlatform {
    public:
        int depth = 0, deepest = 0;
        void pump_messages() override
        {
            ++depth;
            deepest = std::max(deepest, depth);
            progress_update(1);
            --depth;
        }
    } r;
    ui::platform_install(&r);
    progress_open("x", 10);
    progress_update(1);
    EXPECT_EQ(r.deepest, 2);
    EXPECT_EQ(progress_state().pumping, 0);
    progress_close();
    ui::platform_install(&p);
}

TEST_F(Meter, PositionsOutsideTheTotalShowFullOrEmpty)
{
    progress_open("x", 10);
    progress_update(25);
    EXPECT_EQ(progress_state().last_percent, 100);
    progress_update(-3);
    EXPECT_EQ(progress_state().last_percent, 0);
    progress_close();
}

TEST(Interrupt, CtrlCStopsTheJobAtItsNextUpdate)
{
    progress_install_interrupt();
    progress_open("Job", 10);
    EXPECT_FALSE(progress_update(1));
    std::raise(SIGINT);
    EXPECT_TRUE(progress_interrupted());
    EXPECT_TRUE(progress_update(2));
    progress_close();
    EXPECT_FALSE(progress_cancel_requested());
    std::signal(SIGINT, SIG_DFL);
}

TEST(InterruptDeathTest, ASecondCtrlCEndsTheProgram)
{
    EXPECT_EXIT(
        {
            progress_install_interrupt();
            std::raise(SIGINT);
            std::raise(SIGINT);
        },
        ::testing::KilledBySignal(SIGINT), "");
}

TEST(HeadlessMeter, APauseCannotHangAConsoleJob)
{
    progress_open("Job", 10);
    progress_toggle_pause();
    EXPECT_FALSE(progress_update(5));  // returns instead of waiting forever
    progress_close();
    EXPECT_FALSE(progress_state().paused);
}
