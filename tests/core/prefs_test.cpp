#include "core/prefs.h"
#include "core/profile.h"
#include "core/settings.h"
#include "temp_folder.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Prefs : public ::testing::Test {
protected:
    TempFolder dir;
    void TearDown() override
    {
        ui::headless().set_screen(1024, 768);
        profile_forget();
        name_list_clear();
    }
    std::string saved(const std::string& key)
    {
        std::string text = dir.read("GLIMVQ.ini");
        size_t at = text.find("\n" + key + "=");
        if (at == std::string::npos)
            return "<missing>";
        size_t start = at + key.size() + 2;
        return text.substr(start, text.find('\n', start) - start);
    }
};

} // namespace

TEST_F(Prefs, WithoutAFileEverySettingIsItsDefault)
{
    ui::headless().set_screen(800, 600);
    ASSERT_EQ(prefs_load(), 0);
    const Settings& s = settings();
    // "0 0 1024 768", kept on the 800 x 600 screen.
    EXPECT_EQ(s.pos_main[0], 0);
    EXPECT_EQ(s.pos_main[2], 800);
    EXPECT_EQ(s.pos_main[3], 600);
    EXPECT_EQ(s.undo_want, 20);
    EXPECT_EQ(s.frame_control[4], 320);  // "7 1 7 4  320 200": two blanks
    EXPECT_EQ(s.last_dir[9], app_start_folder());
    EXPECT_EQ(s.home_folder, app_start_folder() + "/glimmerix");
    EXPECT_EQ(s.help_file, app_start_folder() + "/glimmerix/vq.hlp");
    for (int i = 1; i <= kUserPrefCount; ++i)
        EXPECT_EQ(s.pref(i), i != PREF_MANAGER_OPEN_ON_START && i != PREF_FKEY_SHIFT_REVERSE) << kUserPrefNames[i];
    EXPECT_FALSE(dir.exists("GLIMVQ.ini"));  // reading writes nothing
}

TEST_F(Prefs, PositionsAreKeptOnTheScreen)
{
    dir.write("GLIMVQ.ini", "[Glimvq]\n"
                            "PosMain=-20 10 1600 700\n"
                            "PosView=-5 -6 300 2000\n"
                            "PosTool=-3 -4\n"
                            "dlg_xp=-1\n");
    prefs_load();
    const Settings& s = settings();
    EXPECT_EQ(s.pos_main[0], 0);
    EXPECT_EQ(s.pos_main[1], 10);
    EXPECT_EQ(s.pos_main[2], 1024);  // narrowed to the screen
    EXPECT_EQ(s.pos_view[1], 0);
    EXPECT_EQ(s.pos_view[3], 768);
    EXPECT_EQ(s.pos_tool[0], 0);
    EXPECT_EQ(s.pos_tool[1], 0);
    EXPECT_EQ(s.dlg_xp, 0);

    // A main window less than 41 pixels high goes to the top, full height.
    Settings t = s;
    t.pos_main[1] = 300;
    t.pos_main[3] = 40;
    prefs_clamp_positions(t, 1024, 768);
    EXPECT_EQ(t.pos_main[1], 0);
    EXPECT_EQ(t.pos_main[3], 768);
    t.pos_main[1] = 300;
    t.pos_main[3] = 41;
    prefs_clamp_positions(t, 1024, 768);
    EXPECT_EQ(t.pos_main[1], 300);
}

TEST_F(Prefs, DamagedValuesFallBackOrAreCut)
{
    dir.write("GLIMVQ.ini", "[Glimvq]\n"
                            "UndoWant=lots\n"
                            "PosFilm=1 2 x 4\n"
                            "Font=" + std::string(40, 'F') + "\n"
                            "Points=1234567890123\n"
                            "OutPath=" + std::string(400, 'o') + "\n"
                            "UserPrefs016\n"
                            "\x01\x02garbage\xff\n"
                            "UserPrefs021=1\n");
    prefs_load();
    const Settings& s = settings();
    EXPECT_EQ(s.undo_want, 20);
    EXPECT_EQ(s.pos_film[1], 2);
    EXPECT_EQ(s.pos_film[2], 394);  // from the default on
    EXPECT_EQ(s.font, std::string(31, 'F'));
    EXPECT_EQ(s.points, 123456789);  // at most 9 characters
    EXPECT_EQ(s.out_path.size(), 299u);
    EXPECT_FALSE(s.pref(PREF_MANAGER_OPEN_ON_START));
    EXPECT_TRUE(s.pref(PREF_FKEY_SHIFT_REVERSE));
}

TEST_F(Prefs, SaveWritesEveryKeyAndLoadReadsItBack)
{
    prefs_load();
    Settings& s = settings();
    s.undo_want = 7;
    s.user_prefs[PREF_SPLASH_PAGE_ON] = 0;
    s.last_file[9] = "/images/last one.bmp";
    s.custom_color[16][2] = 255;
    s.newcustd[4][3] = 9;
    s.fkey[1] = "F1 text";
    s.mod_alpha = 1;
    s.font_color[0] = 12;
    ASSERT_EQ(prefs_save(), 0);
    EXPECT_EQ(s.mod_alpha, 1);

    EXPECT_EQ(saved("PosMain"), "0 0 1024 768");
    EXPECT_EQ(saved("UndoWant"), "7");
    EXPECT_EQ(saved("UserPrefs001"), "0");
    EXPECT_EQ(saved("UserPrefs000"), "<missing>");  // counted from 1
    EXPECT_EQ(saved("LastFile9"), "/images/last one.bmp");
    EXPECT_EQ(saved("CustomColor16"), "0 0 255");
    EXPECT_EQ(saved("newcustd4"), "0 0 0 9");
    EXPECT_EQ(saved("ModAlpha"), "2");  // "always" is stored as "when shown"
    EXPECT_EQ(saved("FontColor"), "12 0 0");
    EXPECT_EQ(saved("F1"), "F1 text");

    // Every key of the table is in the file, but a folder left at its
    // default (the folder current at start-up): a later run elsewhere starts
    // in its own folder.
    size_t count = 0;
    const SettingKey* keys = setting_keys(&count);
    for (size_t n = 0; n < count; ++n) {
        const SettingKey& k = keys[n];
        for (int i = k.indexed() ? k.first : 0; i <= (k.indexed() ? k.last : 0); ++i) {
            std::string value = setting_format(k, s, i);
            if (k.kind == SettingKind::Folder && value == app_start_folder())
                EXPECT_EQ(saved(setting_key_name(k, i)), "<missing>") << setting_key_name(k, i);
            else
                EXPECT_NE(saved(setting_key_name(k, i)), "<missing>") << setting_key_name(k, i);
        }
    }

    settings_reset(s, "/elsewhere");
    prefs_load();
    EXPECT_EQ(s.undo_want, 7);
    EXPECT_FALSE(s.pref(PREF_SPLASH_PAGE_ON));
    EXPECT_EQ(s.last_file[9], "/images/last one.bmp");
    EXPECT_EQ(s.custom_color[16][2], 255);
    EXPECT_EQ(s.mod_alpha, 2);
}

TEST_F(Prefs, AnUnwritableFileIsReported)
{
    ui::headless().set_recording(true);
    // A folder below a plain file cannot be made, not even by root.
    dir.write("plain", "");
    app_set_config_folder(dir.file("plain/sub"));
    prefs_load();
    EXPECT_EQ(prefs_save(), 1);
    const auto& t = ui::headless().transcript();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), "Note!: The preferences could not be saved to " + dir.file("plain/sub/GLIMVQ.ini") +
                            ": Not a directory");
    ui::headless().set_recording(false);
    app_set_config_folder(dir.path());
}

TEST_F(Prefs, FolderListCountsFrom0To99)
{
    dir.write("GLIMVQtv.ini", "[GlimvqTv]\nTnaCount=150\nTnaName0=/a\n");
    name_list_load();
    EXPECT_EQ(name_list().count, 0);

    dir.write("GLIMVQtv.ini", "[GlimvqTv]\nTnaCount=3\nTnaName0=/a\nTnaName2=" + std::string(300, 'c') + "\n");
    name_list_load();
    ASSERT_EQ(name_list().count, 2);  // the missing entry leaves no gap
    EXPECT_EQ(name_list().names[0], "/a");
    EXPECT_EQ(name_list().names[1].size(), 259u);

    name_list().names[2] = "/b";
    name_list().count = 3;
    ASSERT_EQ(name_list_save(), 0);
    EXPECT_EQ(dir.read("GLIMVQtv.ini"),
              "[GlimvqTv]\nTnaCount=3\nTnaName0=/a\nTnaName1=" + std::string(259, 'c') + "\nTnaName2=/b\n");

    for (const char* count : {"-1", "abc", "100"}) {
        dir.write("GLIMVQtv.ini", std::string("[GlimvqTv]\nTnaCount=") + count + "\nTnaName0=/a\n");
        name_list_load();
        EXPECT_EQ(name_list().count, 0) << count;
    }
}
