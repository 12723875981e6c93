// Where the parts of the engine meet: names resolved once and then
// changed, loops inside IF, errors inside subroutines, files read to their
// end, and the limits of a run.
#include "script_fixture.h"

#include "script/engine.h"

TEST_F(ScriptTest, ResolvedNamesFollowChangesToVariables)
{
    // The same text runs before and after the array under it is replaced.
    EXPECT_EQ(output("10 DIM A(2): A(1) = 5\n20 PRINT A(1);\n"
                     "30 IF N = 0 THEN N = 1: ERASE A: DIM A(3): A(1) = 9: GOTO 20\n40 PRINT\n"),
              " 5 9\n");
    EXPECT_EQ(output("10 FOR I = 1 TO 3: X = X + I: NEXT I\n20 PRINT X;: CLEAR: PRINT X; I: X = 5: PRINT X\n"),
              " 6 0 0\n 5\n");
    // A function's parameter keeps its own value outside the call.
    EXPECT_EQ(output("10 DEF FNF(Q) = Q + 1\n20 Q = 10: PRINT FNF(1); Q; FNF(Q)\n"), " 2 10 11\n");
    // A chained program reuses the freed lines' memory with other names.
    write("b.gxs", "10 PRINT LEN(\"abcd\"); ABCD; SQR(16)\n");
    EXPECT_EQ(output("10 ABCD = 1: SQRT = 2: COMMON ABCD: CHAINP \"b.gxs\"\n"), " 4 1 4\n");
    // A name defined as a function after it was read as a variable.
    EXPECT_EQ(output("10 FOR K = 1 TO 2\n20 PRINT FNZ;\n30 IF K = 1 THEN DEF FNZ = 7\n40 NEXT K\n50 PRINT\n"),
              " 0 7\n");
}

TEST_F(ScriptTest, LoopsAndCallsInsideOneLine)
{
    EXPECT_EQ(output("10 IF 1 THEN FOR I = 1 TO 3: PRINT I;: NEXT I\n20 PRINT\n"), " 1 2 3\n");
    EXPECT_EQ(output("10 IF 1 THEN FOR I = 1 TO 2: PRINT I;: NEXT I ELSE PRINT \"no\"\n20 PRINT\n"), " 1 2\n");
    EXPECT_EQ(output("10 FOR I = 1 TO 3: GOSUB 100: NEXT I: PRINT\n20 END\n100 PRINT I;: RETURN\n"), " 1 2 3\n");
    EXPECT_EQ(output("10 FOR I = 1 TO 2: GOSUB 100: NEXT I\n20 END\n100 J = 0\n110 WHILE J < 2\n120 J = J + 1: "
                     "PRINT I * 10 + J;\n130 WEND: RETURN\n"),
              " 11 12 21 22\n");
    EXPECT_EQ(output("10 ON 2 GOSUB 100, 200: PRINT \"c\";: ON 1 GOSUB 100, 200: PRINT \"d\"\n20 END\n"
                     "100 PRINT \"a\";: RETURN\n200 PRINT \"b\";: RETURN\n"),
              "bcad\n");
}

TEST_F(ScriptTest, AnErrorInASubroutineGivesUpOnlyItsLine)
{
    EXPECT_EQ(output("10 ON ERROR GOSUB 900\n20 GOSUB 100: PRINT \"after sub\"\n30 PRINT \"line 30\": END\n"
                     "100 X = 1 / 0: PRINT \"no\"\n110 RETURN\n900 PRINT \"handled\"; ERL: RETURN\n"),
              "handled 100\nafter sub\nline 30\n");
    // Errors inside a FOR loop: the loop goes on.
    EXPECT_EQ(output("10 ON ERROR GOSUB 900\n20 FOR I = -1 TO 1\n30 PRINT 6 / I\n40 NEXT I\n50 END\n"
                     "900 PRINT \"skip\": RETURN\n"),
              " -6\nskip\n 6\n");
    // An element stack overflow can be handled: the handler starts afresh.
    std::string sum = "1";
    for (int i = 0; i < 40; ++i)
        sum += "+1";
    EXPECT_EQ(output("10 ON ERROR GOSUB 900\n20 PRINT " + sum + "\n30 PRINT \"on\": END\n900 PRINT ERR: RETURN\n"),
              " 16\non\n");
    // A program loaded by PLOAD replaces the handler's lines: its errors are final.
    write("bad.gxs", "40000 PRINT 1\n");
    ScriptResult r = run("10 ON ERROR GOSUB 100\n20 PLOAD \"bad.gxs\"\n100 PRINT \"handler\": RETURN\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.error.find("Failed to locate line number"), std::string::npos) << r.error;
}

TEST_F(ScriptTest, DataItemsKeepTheirQuotesAndSeparators)
{
    EXPECT_EQ(output("10 READ A$, B$, C: PRINT A$; \"|\"; B$; \"|\"; C\n20 DATA \"a: b\", \"c,d\": DATA 3\n"),
              "a: b|c,d| 3\n");
    EXPECT_EQ(run("10 PRINT 1: DATA 5\n20 READ X: PRINT X\n30 REM DATA 7\n40 READ Y\n").text(),
              " 1\n 5\nError in line 40: Out of data\n");
    EXPECT_EQ(output("10 FOR I = 1 TO 3: READ X: PRINT X;: RESTORE: NEXT I\n20 DATA 8, 9\n"), " 8 8 8\n");
}

TEST_F(ScriptTest, FilesReadToTheirEnd)
{
    write("in.txt", "alpha\nbeta\n\ngamma");
    EXPECT_EQ(output("10 OPEN \"in.txt\" FOR INPUT AS 1\n20 WHILE NOT EOF(1)\n30 LINE INPUT #1, L$: N = N + 1: "
                     "PRINT N; \"[\"; L$; \"]\"\n40 WEND\n50 CLOSE 1\n"),
              " 1[alpha]\n 2[beta]\n 3[]\n 4[gamma]\n");
    EXPECT_EQ(error_of("10 OPEN \"in.txt\" FOR INPUT AS 1\n20 LINE INPUT #1, L$: GOTO 20\n"),
              "Error in line 20: Out of data");
    // Records written out of order leave a gap that reads as blanks.
    EXPECT_EQ(output("10 OPEN \"R\", 1, \"r.dat\", 4: FIELD #1, 4 AS A$\n20 LSET A$ = \"xy\": PUT #1, 3\n"
                     "30 GET #1, 1: PRINT LEN(A$); ASC(A$); LOF(1); LOC(1)\n40 GET #1, 3: PRINT \"[\"; A$; \"]\"\n"
                     "50 FIELD #1, 2 AS B$, 2 AS C$: GET #1, 3: PRINT \"[\"; B$; \"|\"; C$; \"]\"\n"),
              " 4 0 12 1\n[xy  ]\n[xy|  ]\n");
}

TEST_F(ScriptTest, NumbersAtTheEdges)
{
    EXPECT_EQ(output("10 PRINT 1E-8; -0.0001; 1E20; 123456789#; 2.5E-3!\n"), " 0 -0.0001 100000000000000000000"
                                                                               " 123456789 0.0025\n");
    EXPECT_EQ(error_of("10 FOR I% = 2147483646 TO 2147483647: NEXT I%\n"), "Error in line 10: Overflow");
    EXPECT_EQ(error_of("10 PRINT -2147483647 - 2\n"), "Error in line 10: Overflow");
    EXPECT_EQ(error_of("10 X = 1E300 * 1E300\n"), "Error in line 10: Overflow");
    EXPECT_EQ(error_of("10 PRINT CINT(3E9)\n"), "Error in line 10: Overflow");
    EXPECT_EQ(output("10 A$ = \"a\" + CHR$(0) + \"b\": PRINT LEN(A$); ASC(MID$(A$, 2)); A$ > \"a\"; A$\n"),
              " 3 0 -1a b\n");
    EXPECT_EQ(error_of("10 S$ = STRING$(20000000, 65)\n"), "Error in line 10: Memory Shortage");
    EXPECT_EQ(output("10 PRINT INSTR(9, \"abc\", \"c\"); MID$(\"abc\", 9, 1); \"|\"; RIGHT$(\"abc\", 9)\n"),
              " 0|abc\n");
}

TEST_F(ScriptTest, RunsWithoutFileAccessAndWithALineBudget)
{
    script::Engine& e = script::engine();
    e.file_access = false;
    EXPECT_EQ(error_of("10 OPEN \"f.txt\" FOR OUTPUT AS 1\n"), "Error in line 10: Failed to open f.txt");
    write("keep.txt", "x");
    EXPECT_EQ(error_of("10 KILL \"keep.txt\"\n"), "Error in line 10: Error in OS command");
    EXPECT_EQ(read("keep.txt"), "x");
    e.file_access = true;

    e.line_budget = 50;
    ScriptResult r = run("10 GOTO 10\n");
    e.line_budget = 0;
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.error, "Program break at line 10");
}
