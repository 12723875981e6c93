#include "core/app.h"
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/settings.h"
#include "temp_folder.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_steps;
bool g_fail_init = false;
int g_timeline_answer = 0;
int g_saved = 0;

void step(const std::string& s)
{
    g_steps.push_back(s);
}

// The windows of a desktop, as far as start-up and shut-down see them.
class Desk : public ui::HeadlessPlatform {
public:
    bool create_frame(const long pos[4], bool minimised, bool maximised) override
    {
        step("frame " + std::to_string(pos[0]) + " " + std::to_string(pos[1]) + " " + std::to_string(pos[2]) + " " +
             std::to_string(pos[3]) + (minimised ? " minimised" : "") + (maximised ? " maximised" : ""));
        return true;
    }
    bool create_tool_windows(bool splash) override
    {
        step(splash ? "tools, splash" : "tools");
        return true;
    }
    void close_tool_windows() override { step("close tools"); }
    void take_window_positions(Settings& s) override
    {
        step("positions");
        s.pos_main[0] = 5;
        s.pos_main[1] = 6;
    }
    void destroy_frame() override { step("destroy frame"); }
    void post_quit(int code) override { step("quit " + std::to_string(code)); }
    bool image_in_view(Image*) override { return true; }
};

bool tables_init()
{
    step("tables");
    return true;
}
void tables_release()
{
    step("release tables");
}
bool failing_init()
{
    return !g_fail_init;
}

class App : public ::testing::Test {
protected:
    TempFolder dir;
    Desk desk;
    AppOptions options;

    void SetUp() override
    {
        g_steps.clear();
        g_fail_init = false;
        g_timeline_answer = 0;
        g_saved = 0;
        app_set_start_folder(dir.path());
        ui::platform_install(&desk);
        app_add_subsystem("tables", tables_init, tables_release);
        app_add_subsystem("failing", failing_init, nullptr);
        AppHooks& h = app_hooks();
        h.load_plugin_settings = [] { step("load plug-ins"); };
        h.save_plugin_settings = [] { step("save plug-ins"); };
        h.check_operation = [](long stored) -> long {
            step("operation " + std::to_string(stored));
            return 3550;
        };
        h.build_plugin_list = [] { step("plug-in list"); };
        h.open_file = [](const char* path) -> int {
            step(std::string("open ") + path);
            return 0;
        };
        h.ask_timeline = [] {
            step("timeline?");
            return g_timeline_answer;
        };
        h.save_image = [](Image*) -> int {
            ++g_saved;
            return 0;
        };
    }
    void TearDown() override
    {
        if (app_running())
            app_abandon();
        app_hooks() = AppHooks{};
        ui::platform_install(nullptr);
    }
    std::vector<std::string> since(size_t from) const
    {
        return std::vector<std::string>(g_steps.begin() + static_cast<long>(from), g_steps.end());
    }
};

using Steps = std::vector<std::string>;

} // namespace

TEST_F(App, StartUpAndShutDownGoInTheirOrder)
{
    const char* argv[] = {"glimvq", "/icon", "a.bmp", "b.tga", "", "c.bmp"};
    app_parse_command_line(6, argv, options);
    EXPECT_TRUE(options.icon);
    ASSERT_EQ(app_init_instance(options), 0);
    EXPECT_EQ(g_steps, (Steps{"tables", "load plug-ins", "operation 0", "frame 0 0 1024 768 minimised",
                              "tools, splash", "plug-in list", "open a.bmp", "open b.tga"}));
    EXPECT_TRUE(app_running());
    EXPECT_NE(app_text_input(), nullptr);
    EXPECT_EQ(settings().operation, 3550);

    size_t mark = g_steps.size();
    ASSERT_EQ(app_shutdown(), 0);
    EXPECT_EQ(since(mark), (Steps{"timeline?", "save plug-ins", "close tools", "positions", "release tables",
                                  "destroy frame", "quit 0"}));
    EXPECT_FALSE(app_running());
    EXPECT_EQ(app_text_input(), nullptr);
    EXPECT_NE(dir.read("GLIMVQ.ini").find("\nPosMain=5 6 1024 768\n"), std::string::npos);
    EXPECT_NE(dir.read("GLIMVQ.ini").find("\nOperation=3550\n"), std::string::npos);
    EXPECT_EQ(dir.read("GLIMVQtv.ini"), "[GlimvqTv]\nTnaCount=0\n");
    EXPECT_EQ(mem_counters().places_now, 0);
}

TEST_F(App, CancellingAQuestionLeavesEverythingAsItWas)
{
    ASSERT_EQ(app_init_instance(options), 0);
    Image* image = image_new(4, 4, "test");
    image->changes = 1;

    g_timeline_answer = 1;
    EXPECT_EQ(app_shutdown(), 1);
    g_timeline_answer = 0;
    desk.set_policy(ui::HeadlessPlatform::Policy::Cancel);
    EXPECT_EQ(app_shutdown(), 1);
    EXPECT_TRUE(app_running());
    EXPECT_FALSE(app_shutting_down());
    EXPECT_TRUE(image_store_contains(image));
    EXPECT_FALSE(dir.exists("GLIMVQ.ini"));
    EXPECT_FALSE(dir.exists("GLIMVQtv.ini"));
    for (const std::string& s : g_steps)
        EXPECT_NE(s, "close tools");

    settings().user_prefs[PREF_UNSAVED_IMAGE] = 0;  // not asked
    EXPECT_EQ(app_shutdown(), 0);
    EXPECT_EQ(g_saved, 0);
    EXPECT_TRUE(dir.exists("GLIMVQ.ini"));

    ASSERT_EQ(app_init_instance(options), 0);
    EXPECT_FALSE(settings().pref(PREF_UNSAVED_IMAGE));  // as it was saved
    settings().user_prefs[PREF_UNSAVED_IMAGE] = 1;
    image_new(4, 4, "test")->changes = 1;
    desk.set_policy(ui::HeadlessPlatform::Policy::Yes);  // save
    EXPECT_EQ(app_shutdown(), 0);
    EXPECT_EQ(g_saved, 1);
}

TEST_F(App, TheLogIsKeptOnlyWhenAsked)
{
    ASSERT_EQ(app_init_instance(options), 0);
    EXPECT_FALSE(log_is_open());
    app_shutdown();
    EXPECT_FALSE(dir.exists("VQLOG.txt"));

    // --log: for this run only.
    options.keep_log = true;
    ASSERT_EQ(app_init_instance(options), 0);
    EXPECT_TRUE(log_is_open());
    mem_alloc(10, "left");  // forgotten: auto-freed and reported
    app_shutdown();
    std::string log = dir.read("VQLOG.txt");
    EXPECT_EQ(log.rfind("Intel NT4+/95/98/Me/2000/XP Glimmerix:V/q v7r50[i] Log File\n\n            Created on  ", 0), 0u);
    EXPECT_NE(log.find("\nMax memory used:"), std::string::npos);
    EXPECT_NE(log.find("\nIn use at close:"), std::string::npos);
    EXPECT_NE(log.find("Auto freed    : left\n"), std::string::npos);
    EXPECT_NE(log.find("\nAuto - removed memory places = 1\n"), std::string::npos);
    EXPECT_NE(dir.read("GLIMVQ.ini").find("\nKeepLog=0\n"), std::string::npos);

    // "KeepLog" set in the file keeps the log without --log, and stays set.
    std::string text = dir.read("GLIMVQ.ini");
    text.replace(text.find("KeepLog=0"), 9, "KeepLog=1");
    dir.write("GLIMVQ.ini", text);
    options.keep_log = false;
    ASSERT_EQ(app_init_instance(options), 0);
    EXPECT_TRUE(log_is_open());
    app_shutdown();
    EXPECT_NE(dir.read("GLIMVQ.ini").find("\nKeepLog=1\n"), std::string::npos);
    EXPECT_NE(dir.read("VQLOG.txt").find("\nAuto - removed memory places = 0\n"), std::string::npos);
}

TEST_F(App, AFailingStepEndsStartUpAndGivesEverythingBack)
{
    g_fail_init = true;
    EXPECT_EQ(app_init_instance(options), 1);
    EXPECT_FALSE(app_running());
    EXPECT_EQ(g_steps, (Steps{"tables", "release tables", "destroy frame"}));
    EXPECT_EQ(mem_counters().places_now, 0);
    g_fail_init = false;
}

TEST_F(App, TheCommandLineWalkStopsWhenAShutDownBegins)
{
    const char* argv[] = {"glimvq", "a.bmp", "b.bmp"};
    app_parse_command_line(3, argv, options);
    EXPECT_FALSE(options.icon);
    app_hooks().open_file = [](const char* path) -> int {
        step(std::string("open ") + path);
        return app_shutdown();
    };
    ASSERT_EQ(app_init_instance(options), 0);
    EXPECT_EQ(g_steps.back(), "quit 0");
    EXPECT_EQ(std::count(g_steps.begin(), g_steps.end(), "open b.bmp"), 0);
    EXPECT_FALSE(app_running());
}
