#include "../fail_midway.h"
#include "ops/op_settings.h"
#include "ops/profiles.h"
#include "ops_fixture.h"

#include <fstream>
#include <sstream>

class SettingsFile : public OpsTest {
protected:
    std::string path(const char* name) { return home + "/" + name; }
    std::string read(const std::string& file)
    {
        std::ifstream in(file);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const std::string& file, const std::string& text) { std::ofstream(file) << text; }
};

TEST_F(SettingsFile, ValuesOfEveryUsedSlotRoundTrip)
{
    ToneParams& p = tone_params();
    p.negative_mode = 4;
    p.negative_select[0] = 0, p.negative_select[1] = 1, p.negative_select[2] = 0;
    const std::string f = path("neg.VQS");
    ASSERT_EQ(save_op_settings(f.c_str(), opcmd::Negative), 0);
    EXPECT_EQ(read(f), "VQOPSET Glimmerix:V/q File\n\nNegative: 4 0 1 0\n");

    p.negative_mode = 0;
    p.negative_select[1] = 0;
    int32_t which = 0;
    ASSERT_EQ(load_op_settings(f.c_str(), &which), 0);
    EXPECT_EQ(which, opcmd::Negative);
    EXPECT_EQ(p.negative_mode, 4);
    EXPECT_EQ(p.negative_select[1], 1);

    // Names of several words are one word with underscores; the current
    // operation is what is saved by default.
    p.hue_shift = -77;
    ASSERT_EQ(set_current_operation(opcmd::AdjustHue), 0);
    ASSERT_EQ(save_op_settings(f.c_str()), 0);
    EXPECT_NE(read(f).find("Adjust Hue: -77\n"), std::string::npos);
    write(f, "VQOPSET Glimmerix:V/q File\n\nAdjust_Hue: 12\n");
    ASSERT_EQ(load_op_settings(f.c_str()), 0);
    EXPECT_EQ(p.hue_shift, 12);
}

TEST_F(SettingsFile, PalettesAndProfiles)
{
    ToneParams& p = tone_params();
    p.remap_tolerance = 5;
    p.remap_offset = 2;
    p.remap_from.count = 2;
    p.remap_from.red[0] = 1, p.remap_from.green[0] = 2, p.remap_from.blue[0] = 3;
    p.remap_from.red[1] = 250, p.remap_from.green[1] = 251, p.remap_from.blue[1] = 252;
    p.remap_to.count = 0;
    const std::string f = path("remap.VQS");
    ASSERT_EQ(save_op_settings(f.c_str(), opcmd::Remap), 0);
    EXPECT_EQ(read(f), "VQOPSET Glimmerix:V/q File\n\nRemap: 5 2\nremappal1 2 1 2 3 250 251 252\nremappal2 0\n");
    p.remap_from.count = 9;
    p.remap_to.count = 4;
    p.remap_from.red[1] = 0;
    ASSERT_EQ(load_op_settings(f.c_str()), 0);
    EXPECT_EQ(p.remap_from.count, 2);
    EXPECT_EQ(p.remap_from.red[1], 250);
    EXPECT_EQ(p.remap_to.count, 0);  // the empty palette reads back empty

    int16_t* curve = profile_find("histo");
    for (int k = 0; k < kProfilePoints; ++k)
        curve[k] = static_cast<int16_t>(k);
    const std::string h = path("histo.VQS");
    ASSERT_EQ(save_op_settings(h.c_str(), opcmd::Histogram), 0);
    std::string text = read(h);
    EXPECT_NE(text.find("Histogram: 0\nHisto 0 200 0 255\n 0 1 2"), std::string::npos) << text;
    EXPECT_NE(text.find(" 19\n 20"), std::string::npos);
    EXPECT_NE(text.find(" 199\n 200\n"), std::string::npos);
    for (int k = 0; k < kProfilePoints; ++k)
        curve[k] = 0;
    ASSERT_EQ(load_op_settings(h.c_str()), 0);
    EXPECT_EQ(curve[0], 0);
    EXPECT_EQ(curve[137], 137);
    EXPECT_EQ(curve[200], 200);
}

TEST_F(SettingsFile, BadFilesAreRefusedOrReadWithCare)
{
    EXPECT_EQ(load_op_settings(path("missing.VQS").c_str()), 1);
    EXPECT_TRUE(said("Message 071: Could not open the requested file."));
    const std::string f = path("x.VQS");
    write(f, "AREASELECT Glimmerix:V/q File\nNegative: 3\n");
    tone_params().negative_mode = 1;
    EXPECT_EQ(load_op_settings(f.c_str()), 1);
    EXPECT_TRUE(said("Message 042: File does not match the type requested."));
    EXPECT_EQ(tone_params().negative_mode, 1);
    EXPECT_EQ(save_op_settings((home + "/no/such/folder/x.VQS").c_str(), opcmd::Negative), 1);

    // Values that do not read keep the old ones, values out of range are
    // held to the typed range, palettes that claim more colours than they
    // hold keep what they hold, and counts beyond 1024 are ignored.
    ToneParams& p = tone_params();
    p.brightness = 5;
    p.negative_mode = 1;
    p.negative_select[0] = 1;
    p.remap_from.count = 1;
    p.remap_to.count = 3;
    static std::vector<std::string> offered;
    offered.clear();
    op_settings_set_plugin_reader([](const char* line) { offered.push_back(line); });
    write(f, "VQPROJ Glimmerix:V/q File\n"
             "SOURCE something\n"
             "Brightness: oops\n"
             "Negative: 99 -5\n"
             "remappal1 5 1 2 3 4 5 6\n"
             "remappal2 2000 1 2 3\n"
             "Histo 0 200 0 255 1 2\n"
             "Plugin_Thing 1 2\n"
             "Shave: 3\n");
    ASSERT_EQ(load_op_settings(f.c_str()), 0);
    EXPECT_EQ(p.brightness, 5);
    EXPECT_EQ(p.negative_mode, 5);
    EXPECT_EQ(p.negative_select[0], 0);
    EXPECT_EQ(p.remap_from.count, 2);
    EXPECT_EQ(p.remap_to.count, 3);
    EXPECT_EQ(profile_find("histo")[1], 2);
    // "Shave:" is an operation line, not the profile "Shape"; nobody reads
    // the plug-in's line but the plug-in reader.
    EXPECT_EQ(offered, (std::vector<std::string>{"Plugin_Thing 1 2"}));
    op_settings_set_plugin_reader(nullptr);

    // A very long line is read in pieces without harm.
    write(f, "VQOPSET\nNegative: 2" + std::string(40000, ' ') + "7\n");
    ASSERT_EQ(load_op_settings(f.c_str()), 0);
    EXPECT_EQ(p.negative_mode, 2);
}

TEST_F(SettingsFile, ASaveTheDiskCutsShortKeepsTheOldFile)
{
    const std::string f = path("keep.VQS");
    tone_params().negative_mode = 4;
    ASSERT_EQ(save_op_settings(f.c_str(), opcmd::Negative), 0);
    const std::string before = read(f);
    tone_params().negative_mode = 2;
    EXPECT_EQ(test_support::run_with_file_limit(10, [&] { return save_op_settings(f.c_str(), opcmd::Negative); }), 1);
    EXPECT_EQ(read(f), before);
    EXPECT_EQ(test_support::leftover_parts(home), std::vector<std::string>{});
}
