#include "core/messages.h"
#include "log_capture.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

namespace {

class Recorded : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::headless().set_recording(true);
        ui::headless().clear_transcript();
    }
    void TearDown() override
    {
        ui::headless().set_recording(false);
        ui::headless().set_policy(ui::HeadlessPlatform::Policy::Default);
        messages_set_quiet(false);
    }
    const std::vector<std::string>& shown() { return ui::headless().transcript(); }
};

} // namespace

TEST_F(Recorded, NumberedMessagesAreResourcesFrom5000)
{
    EXPECT_STREQ(message_text(65), "The settings for this operation will produce no change.");
    EXPECT_STREQ(string_resource(5065), message_text(65));
    EXPECT_STREQ(message_text(92), "The film strip file is damaged or not a film strip.");
    EXPECT_STREQ(message_text(38), "Not enough memory for the undo required for this operation.");
    EXPECT_STREQ(message_text(106), "This Undo Layer belongs to an image which has been closed.");
    EXPECT_STREQ(message_text(9999), "");
    // Every number the subsystems use has a text.
    for (int n : {1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 14, 17, 18, 19, 22, 23, 24, 25, 26, 27, 37, 38, 39, 42, 43, 44, 50,
                  51, 52, 53, 59, 60, 62, 63, 64, 65, 71, 74, 75, 76, 79, 82, 83, 84, 85, 86, 87, 91, 92, 103, 106})
        EXPECT_STRNE(message_text(n), "") << n;
}

TEST_F(Recorded, MessageBoxIsTitledAndLoggedWithItsExtraLine)
{
    LogCapture log;
    message_show(6, "/tmp/missing.bmp");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0], "Message 006: Could not open the image file. /tmp/missing.bmp");
    EXPECT_EQ(log.text(), "MESSAGE(006): \"Could not open the image file.\"\n/tmp/missing.bmp\n");
}

TEST_F(Recorded, ErrorBoxJoinsItsTextsAndIsTitledNote)
{
    LogCapture log;
    error_box("First", "Second");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0], "Note!: First Second");
    EXPECT_EQ(log.text(), "MESSAGE: \"First\nSecond\"\n");
}

TEST_F(Recorded, QuietModeLogsButShowsNothing)
{
    LogCapture log;
    messages_set_quiet(true);
    message_show(18, "x.dat");
    error_box("hidden");
    EXPECT_TRUE(shown().empty());
    EXPECT_NE(log.text().find("MESSAGE(018)"), std::string::npos);
}

TEST_F(Recorded, QuestionsFollowThePolicy)
{
    auto& p = ui::headless();
    EXPECT_EQ(message_ask(91, ui::Ask::Replace), ui::Answer::Yes);
    EXPECT_EQ(message_ask(85, ui::Ask::SaveDiscardCancel), ui::Answer::Discard);
    p.set_policy(ui::HeadlessPlatform::Policy::No);
    EXPECT_EQ(message_ask(82, ui::Ask::Proceed), ui::Answer::No);
    p.set_policy(ui::HeadlessPlatform::Policy::Yes);
    EXPECT_EQ(message_ask(85, ui::Ask::SaveDiscardCancel), ui::Answer::Save);
    p.set_policy(ui::HeadlessPlatform::Policy::Cancel);
    EXPECT_EQ(message_ask(85, ui::Ask::SaveDiscardCancel), ui::Answer::Cancel);
    EXPECT_EQ(shown().back(), "Message 085: Time Line has changed. [save/discard/cancel] -> cancel");
}
