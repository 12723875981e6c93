// A save that fails half-way (the disk refuses the rest) leaves the old file
// byte for byte and no temporary file, whichever codec and depth wrote it.
#include "../fail_midway.h"
#include "core/messages.h"
#include "core/safe_write.h"
#include "format_fixture.h"

using test_support::file_bytes;
using test_support::leftover_parts;
using test_support::run_with_file_limit;

TEST_F(FormatTest, AFailedSaveLeavesTheOldFileAsItWas)
{
    struct Case {
        int type, depth;  // "SaveType", "SaveDepth"
        const char* name;
    };
    const Case cases[] = {
        {FMT_BMP, 0, "a.bmp"}, {FMT_BMP, 2, "b.bmp"}, {FMT_BMP, 5, "c.bmp"}, {FMT_BMP, 6, "d.bmp"},
        {FMT_BMP, 7, "e.bmp"}, {FMT_PNG, 0, "f.png"}, {FMT_PNG, 2, "g.png"}, {FMT_PNG, 5, "h.png"},
        {FMT_JPG, 2, "i.jpg"}, {FMT_TIFF, 0, "j.tif"}, {FMT_TIFF, 2, "k.tif"},
    };
    Image* small = pattern(8, 8, true);
    Image* large = pattern(300, 200, true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        settings().save_type = c.type;
        settings().save_depth = c.depth;
        settings().save_compress = 0;
        const std::string target = path(c.name);
        ASSERT_EQ(save_image(small, target.c_str()), 0);
        const std::string before = file_bytes(target);
        ASSERT_FALSE(before.empty());
        // Room for the headers and a little, not for the image.
        EXPECT_EQ(run_with_file_limit(2000, [&] { return save_image(large, target.c_str()); }), 1);
        EXPECT_EQ(file_bytes(target), before);
        EXPECT_EQ(leftover_parts(folder_), std::vector<std::string>{});
        // Without the limit the same save replaces the file.
        ASSERT_EQ(save_image(large, target.c_str()), 0);
        EXPECT_NE(file_bytes(target), before);
        EXPECT_EQ(leftover_parts(folder_), std::vector<std::string>{});
    }
    // A new file that fails is not left behind at all.
    settings().save_type = FMT_BMP;
    settings().save_depth = 2;
    EXPECT_EQ(run_with_file_limit(2000, [&] { return save_image(large, path("new.bmp").c_str()); }), 1);
    EXPECT_EQ(access(path("new.bmp").c_str(), F_OK), -1);
    EXPECT_EQ(leftover_parts(folder_), std::vector<std::string>{});
}

// The same for every row of the table that writes, at its default depth: a
// writer added later is covered without being listed here.
TEST_F(FormatTest, EveryWriterLeavesTheOldFileWhenTheDiskRefuses)
{
    int count = 0;
    const Codec* rows = codec_rows(&count);
    Image* small = pattern(8, 8, false);
    Image* large = pattern(400, 300, false);
    int tried = 0;
    for (int i = 0; i < count; ++i) {
        const Codec& c = rows[i];
        if (!c.write || c.save_type < 0 || !c.extension)
            continue;
        SCOPED_TRACE(c.title);
        settings().save_type = c.save_type;
        settings().save_depth = 0;
        settings().save_compress = 0;
        const std::string target = path(std::string("old") + std::to_string(i) + c.extension);
        if (save_image(small, target.c_str()) != 0)
            continue;  // a writer that needs more than a plain image (a layered file)
        ++tried;
        const std::string before = file_bytes(target);
        ASSERT_FALSE(before.empty());
        EXPECT_EQ(run_with_file_limit(1500, [&] { return save_image(large, target.c_str()); }), 1);
        EXPECT_EQ(file_bytes(target), before);
        EXPECT_EQ(leftover_parts(folder_), std::vector<std::string>{});
    }
    EXPECT_GE(tried, 8);
}

TEST_F(FormatTest, TheUserHearsOfTheFileTheyNamed)
{
    // A writer reports on the temporary file it was handed; the message
    // names the target.
    codec_register(CODEC_BMP, nullptr, [](Image*, const char* name, const SaveRequest&) {
        message_show(msg::ProblemWriting, name);
        return 1;
    });
    settings().save_type = FMT_BMP;
    Image* image = pattern(4, 4, false);
    EXPECT_EQ(save_image(image, path("named.bmp").c_str()), 1);
    EXPECT_NE(boxes().find("Message 026: Problem writing file. " + path("named.bmp")), std::string::npos)
        << boxes();
    EXPECT_EQ(boxes().find(".part"), std::string::npos) << boxes();
}

TEST(SafeWrite, CommitReplacesAbandonKeepsAndSignalsClean)
{
    char tmpl[] = "/tmp/glimvq-safe-XXXXXX";
    const std::string folder = mkdtemp(tmpl);
    const std::string target = folder + "/keep.txt";
    {
        FILE* f = std::fopen(target.c_str(), "w");
        std::fputs("old", f);
        std::fclose(f);
    }
    chmod(target.c_str(), 0640);
    {
        SafeWrite out(target.c_str());
        std::fputs("new, half", out.open("w"));
        EXPECT_NE(std::string(out.temp_path()).find(".part.txt"), std::string::npos);  // keeps the extension
        EXPECT_EQ(safe_write_shown((std::string("at ") + out.temp_path() + ".").c_str()), "at " + target + ".");
        // Going out of scope without commit() abandons.
    }
    EXPECT_EQ(file_bytes(target), "old");
    EXPECT_EQ(leftover_parts(folder), std::vector<std::string>{});
    {
        SafeWrite out(target.c_str());
        std::fputs("new", out.open("w"));
        EXPECT_EQ(out.commit(), 0);
    }
    EXPECT_EQ(file_bytes(target), "new");
    struct stat st {};
    stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // a replaced file keeps its permissions

    // A process ended by SIGTERM in the middle of a write removes the temporary file.
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        safe_write_install_signal_handlers();
        SafeWrite out(target.c_str());
        FILE* f = out.open("w");
        std::fputs("never", f);
        std::fflush(f);
        raise(SIGTERM);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(file_bytes(target), "new");
    EXPECT_EQ(leftover_parts(folder), std::vector<std::string>{});
    std::system(("rm -rf '" + folder + "'").c_str());
}
