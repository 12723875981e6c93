// The "*.PSY" file: what the writer writes, what the reader accepts, and
// every refusal with its code, its message and nothing left allocated.
#include "core/mem.h"
#include "particles/psystem.h"
#include "tests/ops/ops_fixture.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

class PsyFile : public OpsTest {
protected:
    std::string file(const std::string& name) const { return home + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    std::string read_text(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Reads `text`; the code, with the check that a failure leaves nothing.
    int read(const std::string& text, ParticleSystem& sys, bool gen = false)
    {
        long places = mem_counters().places_now;
        std::string path = write("t.psy", text);
        int code = psys_read(path.c_str(), sys, gen);
        if (code != PSL_OK) {
            EXPECT_EQ(sys.particles, nullptr);
            EXPECT_EQ(sys.forces, nullptr);
            EXPECT_EQ(mem_counters().places_now, places) << text;
        }
        return code;
    }
    int code_of(const std::string& text)
    {
        ParticleSystem sys;
        psys_defaults(sys);
        int code = read(text, sys);
        psys_free(sys);
        return code;
    }
    void TearDown() override
    {
        psys_free(sys_);
        OpsTest::TearDown();
    }
    ParticleSystem sys_{};
};

const char* kHead = "vqpsystem 1\nparticlecount 10\n";

// A record with every written field away from its default.
void fill(ParticleSystem& s)
{
    psys_defaults(s);
    s.particlecount = 123;
    s.x = 1.5f, s.y = -2.25f, s.z = 3;
    s.xw = 4, s.yw = 5, s.zw = 6;
    s.xv = -0.5f, s.yv = 0.75f, s.zv = 1.125f;
    s.zscale = 0.004f;
    s.minsize = 0.5f, s.maxsize = 2.5f;
    s.advancerange = 7, s.timeadvancerange = 8.5f;
    s.circular = 0;
    s.minsrad = 0.25f;
    s.areamode = 5, s.palettewrap = 0, s.stickypalette = 1, s.agewrap = 40, s.seed = -17;
    s.clip = 0, s.additive = 0, s.twodee = 1;
    std::strcpy(s.palette, "/my palettes/warm colours.pal");
    ASSERT_TRUE(psys_add_force(s));
    ASSERT_TRUE(psys_add_force(s));
    Force& f = s.forces[1];
    f.ftype = FORCE_VORTEX;
    f.enable = 0;
    f.fbegin = 2, f.fend = 30;
    f.fxw = 1, f.fyw = 2, f.fzw = 3, f.fxv = 4, f.fyv = 5, f.fzv = 6;
    f.ftr = 7, f.fta = 8, f.fdecay = 0.125f;
    f.sizestart = 2, f.sizeend = 3, f.fadestart = 0.5f, f.fadeend = 0.25f;
    f.turbstart = 0.1f, f.turbend = 0.2f, f.pastart = 1, f.paend = -1, f.vsstart = 0.5f, f.vsend = 2;
    s.forces[0].ftype = FORCE_RADIAL;
}

} // namespace

TEST_F(PsyFile, AWriteReadRoundTripKeepsEveryWrittenField)
{
    ParticleSystem out;
    fill(out);
    // Read-only fields are neither written nor read back.
    out.minspacing = 9, out.maxv = 10;
    out.forces[1].ftx = 11, out.forces[1].fseed = 12;
    std::string path = file("round.psy");
    ASSERT_EQ(psys_write(path.c_str(), out), 0);
    std::string text = read_text(path);
    EXPECT_EQ(text.find("minspacing"), std::string::npos);
    EXPECT_EQ(text.find("ftx"), std::string::npos);
    EXPECT_NE(text.find("palette /my|palettes/warm|colours.pal\n"), std::string::npos);
    EXPECT_NE(text.find("\nforce 2\nftype vortex\nenable 0\nfbegin 2.000000 fend 30.000000\n"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    psys_defaults(sys_);
    ASSERT_EQ(psys_read(path.c_str(), sys_, false), PSL_OK);
    out.minspacing = 0, out.maxv = 0;
    out.forces[1].ftx = 0, out.forces[1].fseed = 0;
    EXPECT_EQ(psys_key(sys_), psys_key(out));
    EXPECT_STREQ(sys_.palette, "/my palettes/warm colours.pal");
    EXPECT_EQ(sys_.minspacing, 0);
    EXPECT_EQ(sys_.forces[1].ftx, 0);
    EXPECT_EQ(sys_.particles, nullptr);  // not read for generation
    EXPECT_EQ(psys_format(sys_), text);
    psys_free(out);
}

TEST_F(PsyFile, TheWriterWritesTheLinesInTheirOrderWithSixDecimals)
{
    ParticleSystem s;
    psys_defaults(s);
    s.particlecount = 3;
    ASSERT_TRUE(psys_add_force(s));
    EXPECT_EQ(psys_format(s), "vqpsystem 1\nparticlecount 3\nforcecount 1\nx 0.000000 y 0.000000 z 0.000000\n"
                              "xw 40.000000 yw 40.000000 zw 0.000000\nxv 0.000000 yv 0.000000 zv 0.000000\n"
                              "zscale 0.002000\nminsize 1.000000 maxsize 1.000000\n"
                              "advancerange 0.000000 timeadvancerange 0.000000\ndist circular\nminsrad 0.000000\n"
                              "areamode 0\npalettewrap 1\nstickypalette 0\nagewrap 0\nseed 1\nclip 1\nadditive 1\n"
                              "twodee 0\n\nforce 1\nftype constant\nenable 1\nfbegin 0.000000 fend 1000.000000\n"
                              "fxw 0.000000 fyw 0.000000 fzw 0.000000\nfxv 0.000000 fyv 0.000000 fzv 0.000000\n"
                              "ftr 0.000000 fta 0.000000\nfdecay 0.000000\nsizestart 1.000000 sizeend 1.000000\n"
                              "fadestart 1.000000 fadeend 1.000000\nturbstart 0.000000 turbend 0.000000\n"
                              "pastart 0.000000 paend 0.000000\nvsstart 1.000000 vsend 1.000000\n");
    psys_free(s);
}

TEST_F(PsyFile, TheDemoSystemsAreWrittenAsTheWriterWritesThem)
{
    for (const char* name : {"fountain", "vortex", "snow"}) {
        std::string path = std::string(GLIMVQ_SOURCE_DIR) + "/data/particles/" + name + ".psy";
        psys_defaults(sys_);
        ASSERT_EQ(psys_read(path.c_str(), sys_, false), PSL_OK) << name;
        EXPECT_EQ(psys_format(sys_), read_text(path)) << name;
        psys_free(sys_);
    }
}

TEST_F(PsyFile, TheReaderTakesPairsInAnyLayoutAndKeysInAnyCase)
{
    psys_defaults(sys_);
    ASSERT_EQ(read("VQPSYSTEM 1 ParticleCount 7 FORCECOUNT 1 Seed 9 DIST Square\tpalette a|b  "
                   "force 99 FTYPE Vortex FTA -2.5e1 x +3",
                   sys_),
              PSL_OK);
    EXPECT_EQ(sys_.particlecount, 7);
    EXPECT_EQ(sys_.seed, 9);
    EXPECT_EQ(sys_.circular, 0);
    EXPECT_STREQ(sys_.palette, "a b");
    EXPECT_EQ(sys_.forces[0].ftype, FORCE_VORTEX);
    EXPECT_EQ(sys_.forces[0].fta, -25.0f);
    EXPECT_EQ(sys_.forces[0].sizestart, 1.0f);  // the rest from the force defaults
    EXPECT_EQ(sys_.x, 3.0f);

    // A lone key at the end is a pair that cannot be read: reading stops there.
    EXPECT_EQ(code_of(std::string(kHead) + "seed"), PSL_OK);
    // Each force starts from the defaults, whatever the one before held.
    psys_defaults(sys_);
    ASSERT_EQ(read("vqpsystem 1 forcecount 2 force 1 fta 3 enable 0 force 2", sys_), PSL_OK);
    EXPECT_EQ(sys_.forces[1].fta, 0.0f);
    EXPECT_EQ(sys_.forces[1].enable, 1);
}

TEST_F(PsyFile, MinsizeAndMaxsizeKeepTheirOrder)
{
    psys_defaults(sys_);
    ASSERT_EQ(read(std::string(kHead) + "maxsize 3 minsize 5", sys_), PSL_OK);
    EXPECT_EQ(sys_.minsize, 5.0f);
    EXPECT_EQ(sys_.maxsize, 5.0f);
    ASSERT_EQ(read(std::string(kHead) + "minsize 4 maxsize 2", sys_), PSL_OK);
    EXPECT_EQ(sys_.minsize, 2.0f);
    EXPECT_EQ(sys_.maxsize, 2.0f);
}

TEST_F(PsyFile, ForceSectionsMustMatchTheForceCount)
{
    EXPECT_EQ(code_of("vqpsystem 1 forcecount 2 force 1 force 2 force 3"), PSL_TOO_MANY_FORCES);
    EXPECT_EQ(code_of("vqpsystem 1 forcecount 2 force 1"), PSL_FORCE_COUNT_DIFFERS);
    EXPECT_EQ(code_of("vqpsystem 1 forcecount 0 force 1"), PSL_TOO_MANY_FORCES);
    EXPECT_EQ(code_of("vqpsystem 1 force 1 forcecount 1"), PSL_FORCE_BEFORE_COUNT);
    EXPECT_EQ(code_of("vqpsystem 1 forcecount 1 forcecount 1 force 1"), PSL_FORCECOUNT_TWICE);
    EXPECT_TRUE(said("PSL Error #10 - Particle System Creation Failed"));
    EXPECT_TRUE(said("PSL Error #24 - Particle System Creation Failed"));
    EXPECT_TRUE(said("t.psy: 1 force sections for a forcecount of 2"));
}

TEST_F(PsyFile, ForceKeysBeforeTheFirstForceHaveTheirOwnCodes)
{
    const std::pair<const char*, int> cases[] = {
        {"ftype", 12},     {"fxw", 13},       {"fyw", 13},     {"fzw", 13},      {"fxv", 13},
        {"fyv", 14},       {"fzv", 15},       {"fdecay", 16},  {"fseed", 17},    {"fbegin", 18},
        {"fend", 19},      {"ftx", 20},       {"fty", 21},     {"ftz", 22},      {"ftr", 23},
        {"fta", 24},       {"sizestart", 26}, {"sizeend", 27}, {"fadestart", 28}, {"fadeend", 29},
        {"turbstart", 30}, {"turbend", 31},   {"pastart", 32}, {"paend", 33},    {"vsstart", 34},
        {"vsend", 35},     {"enable", 32},
    };
    for (const auto& [key, code] : cases) {
        // With the force count given and without it: the current force is what counts.
        EXPECT_EQ(code_of(std::string(kHead) + key + " 1"), code) << key;
        EXPECT_EQ(code_of(std::string(kHead) + "forcecount 1 " + key + " 1 force 1"), code) << key;
    }
}

TEST_F(PsyFile, BadFilesAreRefusedWithTheirCodes)
{
    EXPECT_EQ(code_of("particlecount 5 vqpsystem 1"), PSL_NOT_PSYSTEM);
    EXPECT_EQ(code_of(""), PSL_NOT_PSYSTEM);
    EXPECT_EQ(code_of("\n \n"), PSL_NOT_PSYSTEM);
    EXPECT_EQ(code_of(std::string(kHead) + "sparkle 3"), PSL_UNKNOWN_KEY);
    EXPECT_EQ(code_of(std::string(kHead) + "vqpsystem 1"), PSL_UNKNOWN_KEY);
    EXPECT_EQ(code_of(std::string(kHead) + "particlecount 4"), PSL_PARTICLECOUNT_TWICE);
    EXPECT_EQ(code_of("vqpsystem 1 particlecount -1"), PSL_NO_MEMORY_PARTICLES);
    EXPECT_EQ(code_of("vqpsystem 1 particlecount 2147483647"), PSL_NO_MEMORY_PARTICLES);
    EXPECT_EQ(code_of("vqpsystem 1 forcecount -3"), PSL_NO_MEMORY_FORCES);
    EXPECT_EQ(code_of("vqpsystem 1 forcecount 1000000"), PSL_NO_MEMORY_FORCES);
    EXPECT_EQ(code_of("vqpsystem 1 forcecount 1 force 1 ftype spiral"), PSL_BAD_FTYPE);
    EXPECT_EQ(code_of(std::string(kHead) + "dist round"), PSL_BAD_DIST);
    // Numbers that do not parse, or do not fit.
    for (const char* bad : {"x abc", "x 1.5.2", "x nan", "x inf", "x 1e40", "seed 1.5", "seed 9999999999",
                            "areamode 7", "areamode -1", "particlecount 3x", "forcecount two"})
        EXPECT_EQ(code_of(std::string("vqpsystem 1 ") + bad), PSL_BAD_VALUE) << bad;
    EXPECT_TRUE(said("t.psy: x: \"abc\" is not a number"));
    EXPECT_EQ(code_of("vqpsystem 1 palette " + std::string(400, 'p')), PSL_BAD_VALUE);
}

TEST_F(PsyFile, AFileThatDoesNotOpenIsCodeTwoAndAnEmptyNameSaysNothing)
{
    psys_defaults(sys_);
    EXPECT_EQ(psys_read(file("missing.psy").c_str(), sys_, true), PSL_OPEN);
    EXPECT_TRUE(said("PSL Error #2 - Particle System Creation Failed"));
    EXPECT_TRUE(said("missing.psy: No such file or directory"));
    size_t lines = platform.transcript().size();
    EXPECT_EQ(psys_read("", sys_, true), PSL_OPEN);
    EXPECT_EQ(psys_read(home.c_str(), sys_, true), PSL_OPEN);  // a folder
    EXPECT_EQ(platform.transcript().size(), lines + 1);
}

TEST_F(PsyFile, ReadingForGenerationAllocatesLabelledStorage)
{
    psys_defaults(sys_);
    ASSERT_EQ(read("vqpsystem 1 particlecount 40 forcecount 2 force 1 force 2", sys_, true), PSL_OK);
    char label[5];
    long size = 0;
    ASSERT_TRUE(mem_describe(sys_.particles, label, &size));
    EXPECT_STREQ(label, "part");
    EXPECT_GE(size, 40 * static_cast<long>(sizeof(Particle)));
    ASSERT_TRUE(mem_describe(sys_.forces, label, &size));
    EXPECT_STREQ(label, "forc");
    // No particles for a count of 0, nor when not generating.
    ASSERT_EQ(read("vqpsystem 1 particlecount 0", sys_, true), PSL_OK);
    EXPECT_EQ(sys_.particles, nullptr);
    // A failure after the storage was made gives it all back.
    EXPECT_EQ(code_of("vqpsystem 1 particlecount 40 forcecount 2 force 1 bogus 1"), PSL_UNKNOWN_KEY);
    psys_limits().max_particles = 1000;
    EXPECT_EQ(code_of("vqpsystem 1 particlecount 1001"), PSL_NO_MEMORY_PARTICLES);
    psys_limits() = PsysLimits{};
}

TEST_F(PsyFile, AFailedWriteLeavesTheOldFile)
{
    ParticleSystem s;
    psys_defaults(s);
    std::string path = write("keep.psy", "old");
    ASSERT_EQ(psys_write(path.c_str(), s), 0);
    EXPECT_EQ(read_text(path).substr(0, 12), "vqpsystem 1\n");
    EXPECT_EQ(psys_write((home + "/no/such/folder.psy").c_str(), s), 1);
    EXPECT_TRUE(said("Could not create the requested file."));
    // Forces are added and removed in the dialog's way.
    ASSERT_TRUE(psys_add_force(s));
    ASSERT_TRUE(psys_add_force(s));
    s.forces[1].fta = 5;
    EXPECT_TRUE(psys_remove_force(s, 0));
    EXPECT_EQ(s.forcecount, 1);
    EXPECT_EQ(s.forces[0].fta, 5.0f);
    EXPECT_FALSE(psys_remove_force(s, 1));
    EXPECT_TRUE(psys_remove_force(s, 0));
    EXPECT_EQ(s.forces, nullptr);
    psys_free(s);
}

TEST_F(PsyFile, ForceNamesForTheDialog)
{
    Force f;
    force_defaults(f);
    EXPECT_EQ(force_display_name(f), "Constant");
    f.ftype = FORCE_RADIAL;
    f.turbend = 0.5f;
    EXPECT_EQ(force_display_name(f), "Radial (w/Turbulence)");
    EXPECT_STREQ(force_type_word(FORCE_LINEAR), "linear");
}
