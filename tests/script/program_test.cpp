// The program store: file check, loader, run entry, program statements,
// the editor's file rules and the function-key table.
#include "script_fixture.h"
#include "../fail_midway.h"

#include "core/settings.h"

#include <sys/stat.h>

TEST_F(ScriptTest, FileCheckRefusesBadLineNumbers)
{
    EXPECT_EQ(error_of("10 PRINT 1\n20 PRINT 2\n20 PRINT 3\n"),
              "Error in line 20: Duplicate or out-of-sequence line number");
    EXPECT_EQ(error_of("10 PRINT 1\n5 PRINT 2\n"), "Error in line 10: Duplicate or out-of-sequence line number");
    EXPECT_EQ(error_of("10 PRINT 1\n0 PRINT 2\n"), "Error in line 10: ZERO line number not allowed");
    EXPECT_EQ(error_of("10 PRINT 1\n20PRINT 2\n"), "Error in line 10: Line number syntax error");
    EXPECT_EQ(error_of("PRINT 2\n"), "Error in line -1: Line number syntax error");
    // A failed check runs nothing: the message is the only output.
    ScriptResult r = run("10 PRINT \"ran\"\n20 PRINT 2\n15 PRINT 3\n");
    ASSERT_EQ(r.out.size(), 1u);
    EXPECT_EQ(r.out[0], "Error in line 20: Duplicate or out-of-sequence line number");
    // Blanks before a number, blank lines and a bare number are fine.
    EXPECT_EQ(output("  10 PRINT 1\n\n\t20 PRINT 2\r\n30\n"), " 1\n 2\n");
}

TEST_F(ScriptTest, FileCheckRefusesOpenQuotesAndTrailingColons)
{
    EXPECT_EQ(error_of("10 PRINT 1:  \n20 END\n"),
              "Error in line 10: terminating ':' without following statement detected");
    EXPECT_EQ(error_of("10 PRINT \"a\n20 END\n"), "Error in line 10: Unbalanced quotes detected");
    EXPECT_EQ(error_of("10 PRINT 1\n20 PRINT \"a"), "Error in line 20: Unbalanced quotes detected (last line)");
    EXPECT_EQ(error_of("10 PRINT 1\n20 PRINT 2:"),
              "Error in line 20: terminating ':' without following statement detected (last line)");
    EXPECT_EQ(output("10 PRINT \"a:\"\n20 PRINT \"\"\"\"\n"), "a:\n");
}

TEST_F(ScriptTest, RunEntryTriesTheGxsExtensionAndReportsMissingFiles)
{
    write("demo.gxs", "10 PRINT \"found\"\n");
    ScriptResult r = run_file("demo");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.text(), "found\n");
    r = run_file("absent");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.error, "Error in line 0: Failed to open absent");
    // A folder is no script, even with the extension.
    ASSERT_EQ(mkdir("folder.gxs", 0700), 0);
    EXPECT_EQ(run_file("folder").error, "Error in line 0: Failed to open folder");
}

TEST_F(ScriptTest, LongLinesContinueInRecordsOfTheSameNumber)
{
    std::string tail(300, 'x');
    ScriptResult r = run("10 GOTO 30\n20 REM " + tail + "\n30 LIST 20\n");
    ASSERT_EQ(r.status, 0) << r.error;
    ASSERT_EQ(r.console.size(), 2u);
    EXPECT_EQ(r.console[0], "20 REM " + tail.substr(0, 248) + "\n");
    EXPECT_EQ(r.console[1], tail.substr(248) + "\n");

    // Each further piece goes directly after the first record of its number,
    // so a three-piece line lists first, third, second.
    std::string a(248, 'a'), b(255, 'b'), c(10, 'c');
    r = run("10 GOTO 30\n20 REM " + a + b + c + "\n30 LIST 20\n");
    ASSERT_EQ(r.status, 0) << r.error;
    ASSERT_EQ(r.console.size(), 3u);
    EXPECT_EQ(r.console[0], "20 REM " + a + "\n");
    EXPECT_EQ(r.console[1], c + "\n");
    EXPECT_EQ(r.console[2], b + "\n");
    // A line of exactly 255 characters is one record, whatever its line break.
    for (const char* end : {"\n", "\r\n"}) {
        r = run("10 REM " + a + end + "20 LIST\n");
        ASSERT_EQ(r.status, 0) << r.error;
        EXPECT_EQ(r.console_text(), "10 REM " + a + "\n20 LIST\n");
    }
}

TEST_F(ScriptTest, BlankLinesBelongToTheLineBefore)
{
    // A blank line is a record of the line before it and lists as it stood;
    // one before the first number has no line to belong to.
    ScriptResult r = run("\n  \n10 REM a\n\n20 REM b\n \t\n30 LIST\n");
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.console_text(), "10 REM a\n\n20 REM b\n \t\n30 LIST\n");
    // They run as nothing.
    EXPECT_EQ(output("10 PRINT 1\n\n20 PRINT 2\n"), " 1\n 2\n");
}

TEST_F(ScriptTest, AnApostropheStartsARemarkOutsideQuotesAndData)
{
    const std::string program = "10 DIM A(3)   ' three\n"
                                "20 A(2) = 5 ' set: not run\n"
                                "30 ' a line of its own\n"
                                "40 PRINT \"it's\"; A(2) ' after a string with one\n"
                                "50 X = 1: ' after a colon\n"
                                "60 IF X = 1 THEN PRINT \"yes\" ELSE PRINT \"no\" ' after ELSE\n"
                                "70 READ D$: PRINT D$: DATA O'Brien ' all data\n"
                                "80 REM it's all remark: PRINT \"not run\"\n"
                                "90 PRINT 1; 'the line stays open\n";
    EXPECT_EQ(output(program), "it's 5\nyes\nO'Brien ' all data\n 1\n");
    // LIST and PSAVE keep the remarks as they were written.
    ScriptResult r = run(program + "100 LIST\n110 PSAVE \"copy.gxs\"\n");
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.console_text(), program + "100 LIST\n110 PSAVE \"copy.gxs\"\n");
    EXPECT_EQ(read("copy.gxs"), r.console_text());
    // A remark goes on in the further records of a long line.
    r = run("10 PRINT 1 ' " + std::string(260, 'x') + " : PRINT 2\n20 PRINT 3\n");
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), " 1\n 3\n");
    // Without the apostrophe the text after a statement is still an error.
    EXPECT_EQ(error_of("10 DIM A(3) three\n"), "Error in line 10: Syntax error");
}

TEST_F(ScriptTest, ListFollowsTheRangeRules)
{
    std::string program = "10 REM a\n20 REM b\n30 REM c\n40 REM d\n50 ";
    auto listed = [&](const std::string& range) {
        ScriptResult r = run(program + "LIST " + range + "\n");
        EXPECT_EQ(r.status, 0) << r.error;
        return r.console_text();
    };
    EXPECT_EQ(listed("30"), "30 REM c\n");
    EXPECT_EQ(listed("20-30"), "20 REM b\n30 REM c\n");
    EXPECT_EQ(listed("30-90"), "30 REM c\n40 REM d\n50 LIST 30-90\n");
    EXPECT_EQ(listed("0-10"), "10 REM a\n");
    EXPECT_EQ(listed(""), "10 REM a\n20 REM b\n30 REM c\n40 REM d\n50 LIST \n");
    EXPECT_EQ(error_of(program + "LIST 35\n"), "Error in line 50: Line number 35 not found");
    EXPECT_EQ(error_of(program + "LIST 30+\n"), "Error in line 50: Syntax error");
    // The statement's own line is not searched.
    EXPECT_EQ(error_of(program + "LIST 50\n"), "Error in line 50: Line number 50 not found");
}

TEST_F(ScriptTest, DeleteRemovesLinesWhileTheProgramRuns)
{
    std::string program = "10 DELETE 30\n20 PRINT \"b\"\n30 PRINT \"c\"\n40 DELETE 50-60\n50 PRINT \"e\"\n"
                          "60 PRINT \"f\"\n70 PRINT \"g\"\n80 LIST\n";
    ScriptResult r = run(program);
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), "b\ng\n");
    EXPECT_EQ(r.console_text(), "10 DELETE 30\n20 PRINT \"b\"\n40 DELETE 50-60\n70 PRINT \"g\"\n80 LIST\n");
    // Deleting the running line goes on after it.
    EXPECT_EQ(output("10 PRINT \"a\"\n20 DELETE 0-30: PRINT \"no\"\n30 PRINT \"gone\"\n40 PRINT \"on\"\n"),
              "a\non\n");
    // The statement's own line is not searched for the range.
    EXPECT_EQ(error_of("10 DELETE 10\n"), "Error in line 10: Line number 10 not found");
    EXPECT_EQ(error_of("10 DELETE\n"), "Error in line 10: Syntax error");
    // A range that ends before it begins holds nothing.
    EXPECT_EQ(output("10 DELETE 30-20: LIST 30-20\n20 PRINT \"b\"\n30 PRINT \"c\"\n"), "b\nc\n");
}

TEST_F(ScriptTest, MergeKeepsTheOldLineFirst)
{
    write("more.gxs", "20 PRINT \"merged\"\n25 PRINT \"new\"\n");
    ScriptResult r = run("10 MERGEP \"more.gxs\"\n20 PRINT \"old\"\n30 LIST\n");
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), "old\nmerged\nnew\n");
    EXPECT_EQ(r.console_text(),
              "10 MERGEP \"more.gxs\"\n20 PRINT \"old\"\n20 PRINT \"merged\"\n25 PRINT \"new\"\n30 LIST\n");
    EXPECT_EQ(error_of("10 MERGEP \"nowhere.gxs\"\n"), "Error in line 10: Failed to open nowhere.gxs");
    EXPECT_EQ(error_of("10 MERGEP\n"), "Error in line 10: No filename");
}

TEST_F(ScriptTest, ChainKeepsOnlyCommonVariables)
{
    write("second.gxs", "10 PRINT A; B; C$\n");
    EXPECT_EQ(output("10 A = 1: B = 2: C$ = \"c\"\n20 COMMON A, C$\n30 CHAINP \"second.gxs\"\n40 PRINT \"not here\"\n"),
              " 1 0c\n");
    EXPECT_EQ(error_of("10 COMMON A,\n"), "Error in line 10: Syntax error");
}

TEST_F(ScriptTest, RunAndNewForms)
{
    write("other.gxs", "10 PRINT \"other\"; X\n");
    EXPECT_EQ(output("10 X = 5\n20 RUN \"other.gxs\"\n30 PRINT \"not here\"\n"), "other 0\n");
    EXPECT_EQ(output("10 PRINT \"once\"\n20 X = X + 1\n30 IF X < 3 THEN RUN 20\n40 PRINT X\n"), "once\n 3\n");
    EXPECT_EQ(error_of("10 RUN 99\n"), "Error in line 10: Line number 99 not found");
    EXPECT_EQ(error_of("10 RUN \"missing.gxs\"\n"), "Error in line 10: Failed to open missing.gxs");
    EXPECT_EQ(output("10 PRINT 1\n20 NEW\n30 PRINT 2\n"), " 1\n");
    write("third.gxs", "10 PRINT \"loaded\"\n");
    EXPECT_EQ(output("10 PLOAD \"third.gxs\"\n20 PRINT \"not here\"\n"), "");
}

TEST_F(ScriptTest, PsaveWritesEveryLine)
{
    EXPECT_EQ(output("10 PSAVE \"copy.gxs\"\n20 REM \"text\"\n"), "");
    EXPECT_EQ(read("copy.gxs"), "10 PSAVE \"copy.gxs\"\n20 REM \"text\"\n");
    EXPECT_EQ(error_of("10 PSAVE 5\n"), "Error in line 10: Type mismatch");
}

TEST_F(ScriptTest, ProgramFilesAreReplacedOnlyWhenWhole)
{
    using test_support::leftover_parts;
    using test_support::run_with_file_limit;
    const std::string old_text = "10 REM old\n";
    write("kept.gxs", old_text);
    std::string program = "10 PSAVE \"kept.gxs\"\n";
    for (int i = 0; i < 40; ++i)
        program += std::to_string(20 + i) + " REM " + std::string(200, 'x') + "\n";
    // The disk refuses the rest after 1000 bytes: the old file stays.
    EXPECT_EQ(run_with_file_limit(1000, [&] { return run(program).status == 0 ? 0 : 1; }), 1);
    EXPECT_EQ(read("kept.gxs"), old_text);
    std::string name = "kept.gxs";
    EXPECT_EQ(run_with_file_limit(1000, [&] { return script_editor_save(name, program); }), 1);
    EXPECT_EQ(read("kept.gxs"), old_text);
    EXPECT_EQ(leftover_parts(dir_), std::vector<std::string>{});
}

TEST_F(ScriptTest, EditorRefusesScriptsOf64000BytesOrMore)
{
    write("big.gxs", std::string(64000, 'x'));
    write("fits.gxs", std::string(63999, 'y'));
    std::string text;
    EXPECT_EQ(script_editor_load("big.gxs", text), 1);
    ASSERT_FALSE(ui::headless().transcript().empty());
    EXPECT_EQ(ui::headless().transcript().back(), "Edit Error: Script larger than 64k!");
    EXPECT_EQ(script_editor_load("fits.gxs", text), 0);
    EXPECT_EQ(text.size(), 63999u);

    std::string path = "saved.gxs";
    EXPECT_EQ(script_editor_save(path, ""), 1);
    EXPECT_EQ(ui::headless().transcript().back(), "Edit Error: Script contains no information");
    EXPECT_EQ(script_editor_save(path, "10 END\n"), 0);
    EXPECT_EQ(read("saved.gxs"), "10 END\n");
    path = "no/such/folder/x.gxs";
    EXPECT_EQ(script_editor_save(path, "10 END\n"), 1);
    EXPECT_EQ(ui::headless().transcript().back(), "Edit Error: Cannot open file for write!");
    // Without a name the chooser's answer (headless: none) decides.
    path.clear();
    EXPECT_EQ(script_editor_save(path, "10 END\n"), 1);
}

TEST_F(ScriptTest, FunctionKeyTableFollowsThePreferences)
{
    Settings& s = settings();
    long places = mem_counters().places_now;
    s.fkey[3] = "key3.gxs";
    s.pfkey[3] = dir_;
    s.script_filename = "current.gxs";
    s.script_path = "/elsewhere";
    ASSERT_TRUE(fkeys_init());
    EXPECT_STREQ(fkey_file(3), "key3.gxs");
    EXPECT_STREQ(fkey_folder(3), dir_.c_str());
    EXPECT_STREQ(fkey_file(11), "");

    // The dialog's cancel restores what was there.
    fkeys_backup();
    fkey_set(3, "changed.gxs", "/x");
    fkeys_restore();
    EXPECT_STREQ(fkey_file(3), "key3.gxs");

    // Outside "Draw First" nothing runs.
    EXPECT_EQ(fkey_run(3, false), 1);
    EXPECT_EQ(ui::headless().transcript().back(),
              "Script Engine Error: You must be in \"Draw First\" mode so that you are able to create  an "
              "active selection before you invoke a function-key script.");

    write("key3.gxs", "10 PRINT \"key three\"\n");
    ui::headless().clear_transcript();
    EXPECT_EQ(fkey_run(3, true), 0);
    EXPECT_EQ(ui::headless().transcript().back(), "Script Output: key three");
    EXPECT_EQ(s.script_filename, "current.gxs");
    EXPECT_EQ(s.script_path, "/elsewhere");

    // Changes reach the preferences at once; they are saved before the table goes.
    fkey_set(4, "four.gxs", "/f");
    EXPECT_EQ(s.fkey[4], "four.gxs");
    EXPECT_EQ(s.pfkey[4], "/f");
    fkeys_release();
    EXPECT_EQ(mem_counters().places_now, places);
}
