// docs/messages.md tells what to do about every numbered message.
#include "core/messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

TEST(MessagesDoc, EveryNumberedMessageIsListedWithItsTextAndAnAnswer)
{
    std::ifstream in(std::string(GLIMVQ_SOURCE_DIR) + "/docs/messages.md");
    ASSERT_TRUE(in) << "docs/messages.md is missing";
    std::stringstream text;
    text << in.rdbuf();
    const std::string doc = text.str();
    int listed = 0;
    for (int n = 1; n < 1000; ++n) {
        const char* m = message_text(n);
        if (!m || (!*m && n != 92))
            continue;
        char row[32];
        std::snprintf(row, sizeof row, "\n| %03d | ", n);
        size_t at = doc.find(row);
        ASSERT_NE(at, std::string::npos) << "message " << n << " is not in docs/messages.md";
        std::string line = doc.substr(at + 1, doc.find('\n', at + 1) - at - 1);
        if (*m) {
            EXPECT_NE(line.find(std::string("| ") + m + " |"), std::string::npos) << line;
        }
        // The answer column says something.
        EXPECT_GT(line.size() - line.rfind(" | ", line.size() - 3), 12u) << line;
        ++listed;
    }
    EXPECT_GE(listed, 50);
}
