// Statements and built-in functions: output formats, input, devices and
// files, data, arrays, user functions, the general-purpose functions and
// the image-command names.
#include "script_fixture.h"

#include "script/engine.h"

#include <cstdlib>
#include <ctime>

TEST_F(ScriptTest, PrintUsingAndWrite)
{
    EXPECT_EQ(output("10 PRINT USING \"##.## | ### | \\  \\ | ! | & |\"; 3.14159; 41.6; \"abcdef\"; \"xyz\"; "
                     "\"all\"\n"),
              " 3.14 |  42 | abcd | x | all |\n");
    EXPECT_EQ(output("10 PRINT USING \"[#.##^^^^]\"; 12345\n"), "[1.23e+04]\n");
    EXPECT_EQ(output("10 PRINT USING \"+##\"; 5; -5\n"), " +5 -5\n");
    EXPECT_EQ(output("10 PRINT USING \"##\"; 123\n"), "%123\n");
    EXPECT_EQ(error_of("10 PRINT USING 5; 1\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of("10 PRINT USING \"##\"; \"a\"\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(output("10 WRITE 1, \"two\", 3.5\n"), " 1,\"two\", 3.5\n");
}

TEST_F(ScriptTest, InputReadsTheConsole)
{
    ui::headless().set_input("Ann, 42\n7\n");
    ScriptResult r = run("10 INPUT \"Name, age\"; N$, A\n20 INPUT X\n30 PRINT N$; A + X\n");
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), "Name, age? Ann, 42\n? 7\nAnn 49\n");
    EXPECT_EQ(r.console_text(), "Name, age? ? ");

    ui::headless().set_input("1\n2\n");
    EXPECT_EQ(output("10 INPUT \"Two\", A, B: PRINT A + B\n"), "Two1\n?? 2\n 3\n");
    ui::headless().set_input("\"quoted, text\"\n");
    EXPECT_EQ(output("10 LINE INPUT L$: PRINT L$\n"), "\"quoted, text\"\n\"quoted, text\"\n");
    ui::headless().set_input("abc\n");
    EXPECT_EQ(error_of("10 INPUT A\n"), "Error in line 10: Type mismatch");
    ui::headless().set_input("");
    EXPECT_EQ(error_of("10 INPUT A\n"), "Error in line 10: Out of data");
}

TEST_F(ScriptTest, SequentialFiles)
{
    std::string program = "10 OPEN \"data.txt\" FOR OUTPUT AS #1\n"
                          "20 PRINT #1, \"line one\"\n"
                          "30 WRITE #1, \"a, b\", 12, -3.5\n"
                          "40 CLOSE #1\n"
                          "50 OPEN \"data.txt\" FOR APPEND AS 2: PRINT #2, \"added\": CLOSE 2\n"
                          "60 OPEN \"I\", #3, \"data.txt\"\n"
                          "70 LINE INPUT #3, L$: INPUT #3, A$, B, C: LINE INPUT #3, D$\n"
                          "80 PRINT L$; \"|\"; A$; \"|\"; B; C; \"|\"; D$; EOF(3)\n"
                          "90 CLOSE\n";
    EXPECT_EQ(output(program), "line one|a, b| 12 -3.5|added -1\n");
    EXPECT_EQ(read("data.txt"), "line one\n\"a, b\", 12, -3.5\nadded\n");
    EXPECT_EQ(error_of("10 OPEN \"x\" FOR OUTPUT AS #16\n"), "Error in line 10: Invalid dev number");
    EXPECT_EQ(error_of("10 OPEN \"x\" FOR OUTPUT AS #1: OPEN \"y\" FOR OUTPUT AS #1\n"),
              "Error in line 10: Invalid dev number");
    EXPECT_EQ(error_of("10 PRINT #4, 1\n"), "Error in line 10: Invalid dev number");
    EXPECT_EQ(error_of("10 OPEN \"x\" FOR OUTPUT AS 1: WRITE #1 2\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 OPEN \"x\" FOR READING AS 1\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 OPEN 5 FOR OUTPUT AS 1\n"), "Error in line 10: Argument must be string");
    EXPECT_EQ(error_of("10 OPEN \"missing\" FOR INPUT AS 1\n"), "Error in line 10: Failed to open missing");
    EXPECT_EQ(error_of("10 OPEN \"x\" FOR OUTPUT AS 1: INPUT #1, A\n"), "Error in line 10: Dev error");
    EXPECT_EQ(error_of("10 OPEN \"e\" FOR OUTPUT AS 1: CLOSE 1: OPEN \"e\" FOR INPUT AS 1: INPUT #1, A\n"),
              "Error in line 10: Out of data");
    EXPECT_EQ(error_of("10 PRINT LOF(2)\n"), "Error in line 10: Invalid dev number");
    // A file device breaks its lines at width 128 unless told otherwise.
    EXPECT_EQ(output("10 OPEN \"w\" FOR OUTPUT AS 1: WIDTH #1, 5: PRINT #1, \"abcdefg\": CLOSE\n"), "");
    EXPECT_EQ(read("w"), "abcd\nefg\n");
}

TEST_F(ScriptTest, RandomAccessRecords)
{
    std::string program = "10 OPEN \"R\", #1, \"rec.dat\", 16\n"
                          "20 FIELD #1, 10 AS N$, 6 AS V$\n"
                          "30 FOR I = 1 TO 3\n"
                          "40 LSET N$ = \"item\" + STR$(I): LSET V$ = MKI$(I * 100)\n"
                          "50 PUT #1, I\n"
                          "60 NEXT I\n"
                          "70 GET #1, 2: PRINT \"[\"; N$; \"]\"; CVI(V$); LOC(1); LOF(1)\n"
                          "80 GET #1: PRINT \"[\"; N$; \"]\"; EOF(1)\n"
                          "90 GET #1, 9: PRINT \"[\"; N$; \"]\"\n"
                          "100 CLOSE 1\n";
    ScriptResult r = run(program);
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), "[item 2    ] 200 2 48\n[item 3    ] -1\n[          ]\n");
    EXPECT_EQ(read("rec.dat").size(), 48u);
    EXPECT_EQ(error_of("10 OPEN \"R\", 1, \"f\", 4: FIELD #1, 3 AS A$, 2 AS B$\n"), "Error in line 10: Overflow");
    EXPECT_EQ(error_of("10 OPEN \"O\", 1, \"f\": GET #1, 1\n"), "Error in line 10: Dev error");
    EXPECT_EQ(error_of("10 OPEN \"X\", 1, \"f\"\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(output("10 A$ = \"12345\": LSET A$ = \"ab\": B$ = \"1234\": RSET B$ = \"xy\": PRINT A$; \"|\"; B$\n"),
              "ab   |  xy\n");
}

TEST_F(ScriptTest, FileServices)
{
    write("old.txt", "x");
    EXPECT_EQ(output("10 NAME \"old.txt\" AS \"new.txt\"\n20 KILL \"new.txt\"\n"), "");
    EXPECT_NE(access("old.txt", F_OK), 0);
    EXPECT_NE(access("new.txt", F_OK), 0);
    EXPECT_EQ(error_of("10 KILL \"nothing.txt\"\n"), "Error in line 10: Error in OS command");
    EXPECT_EQ(error_of("10 KILL 5\n"), "Error in line 10: Argument must be string");
    EXPECT_EQ(error_of("10 NAME \"a\" TO \"b\"\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(output("10 ENVIRON \"GXS_TEST_VALUE=on\"\n"), "");
    EXPECT_STREQ(std::getenv("GXS_TEST_VALUE"), "on");
    EXPECT_EQ(error_of("10 ENVIRON \"no equals sign\"\n"), "Error in line 10: Error in OS command");
}

TEST_F(ScriptTest, DataReadRestore)
{
    std::string data = "100 DATA 1, \"two, quoted\", three\n110 REM DATA 99\n120 DATA -4.5: DATA 6\n";
    EXPECT_EQ(output("10 READ A, B$, C$, D, E: PRINT A; B$; \"|\"; C$; D; E\n20 END\n" + data),
              " 1two, quoted|three -4.5 6\n");
    EXPECT_EQ(output("10 READ A, B$: RESTORE: READ C: RESTORE 120: READ D: PRINT A; C; D\n20 END\n" + data),
              " 1 1 -4.5\n");
    EXPECT_EQ(error_of("10 READ A, B\n20 DATA 1\n"), "Error in line 10: Out of data");
    EXPECT_EQ(error_of("10 READ A\n20 DATA \"text\"\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of("10 READ A\n20 DATA 12abc\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of("10 RESTORE 55\n"), "Error in line 10: Line number 55 not found");
}

TEST_F(ScriptTest, ArraysAndTheirBase)
{
    EXPECT_EQ(output("10 DIM A(3), B$(1, 2)\n20 A(3) = 9: B$(1, 2) = \"x\"\n30 PRINT A(0); A(3); B$(1, 2)\n"),
              " 0 9x\n");
    EXPECT_EQ(error_of("10 DIM A(3): A(4) = 1\n"), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 DIM A(3): PRINT A(-1)\n"), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 X = 1: PRINT X(1)\n"), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 DIM A(3): DIM A(4)\n"), "Error in line 10: Cannot redimension");
    EXPECT_EQ(error_of("10 OPTION BASE 2\n"), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 DIM A(1): OPTION BASE 1\n"), "Error in line 10: Call OPTION BASE before DIM");
    EXPECT_EQ(error_of("10 OPTION BOTTOM 1\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 OPTION BASE 1: DIM A(3): A(0) = 1\n"), "Error in line 10: Value out of range");
    EXPECT_EQ(output("10 OPTION BASE 1: DIM A(3): A(1) = 5: A(3) = 7: PRINT A(1) + A(3)\n"), " 12\n");
    EXPECT_EQ(output("10 DIM A(2): A(1) = 3: ERASE A: DIM A(5): PRINT A(1); A(5)\n"), " 0 0\n");
    EXPECT_EQ(error_of("10 X = 1: ERASE X\n"), "Error in line 10: Argument is not an array");
    EXPECT_EQ(error_of("10 DIM A(100000, 100000)\n"), "Error in line 10: Memory Shortage");
    EXPECT_EQ(output("10 A = 1: B = 2: SWAP A, B: DIM C$(1): C$(1) = \"c\": D$ = \"d\": SWAP C$(1), D$\n"
                     "20 PRINT A; B; C$(1); D$\n"),
              " 2 1dc\n");
    EXPECT_EQ(error_of("10 SWAP A, B$\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(output("10 A = 5: CLEAR: PRINT A\n"), " 0\n");
}

TEST_F(ScriptTest, UserFunctions)
{
    EXPECT_EQ(output("10 DEF FNSQ(X) = X * X\n20 DEF FNHYP(A, B) = SQR(FNSQ(A) + FNSQ(B))\n"
                     "30 X = 7: PRINT FNSQ(3); FNHYP(3, 4); X\n"),
              " 9 5 7\n");
    EXPECT_EQ(output("10 DEF FNPI# = 3.14159265358979#\n20 DEF FNN$(S$) = S$ + \"!\"\n30 PRINT FNPI#; FNN$(\"hi\")\n"),
              " 3.1415927hi!\n");
    EXPECT_EQ(error_of("10 PRINT FNX(1)\n"), "Error in line 10: Undefined function");
    EXPECT_EQ(error_of("10 DEF FNA(X) = FNA(X)\n20 PRINT FNA(1)\n"), "Error in line 20: Overflow");
    EXPECT_EQ(error_of("10 DEF FNA(X) = X\n20 PRINT FNA(1, 2)\n"), "Error in line 20: Syntax error");
    EXPECT_EQ(error_of("10 DEF FNS$(X) = X\n20 PRINT FNS$(1)\n"), "Error in line 20: Type mismatch");
    EXPECT_EQ(error_of("10 DEF FNA(X)\n"), "Error in line 10: Syntax error");
}

TEST_F(ScriptTest, StringFunctions)
{
    EXPECT_EQ(output("10 S$ = \"Hello\"\n20 PRINT LEFT$(S$, 2); \"|\"; RIGHT$(S$, 3); \"|\"; MID$(S$, 2, 2); \"|\"; "
                     "MID$(S$, 4); \"|\"; MID$(S$, 9); \"|\"; LEN(S$)\n"),
              "He|llo|el|lo|| 5\n");
    EXPECT_EQ(output("10 PRINT INSTR(\"banana\", \"an\"); INSTR(3, \"banana\", \"an\"); INSTR(\"abc\", \"z\")\n"),
              " 2 4 0\n");
    EXPECT_EQ(output("10 PRINT INSTR(\"abc\", \"\"); INSTR(4, \"abc\", \"\"); INSTR(5, \"abc\", \"\")\n"), " 1 4 0\n");
    // Long strings whose every place nearly matches: one statement, found
    // in time proportional to the lengths.
    EXPECT_EQ(output("10 A$ = STRING$(4000000, \"a\"): B$ = STRING$(100000, \"a\") + \"b\"\n"
                     "20 PRINT INSTR(A$, B$); INSTR(A$ + \"b\", B$); INSTR(\"b\" + A$, \"b\" + A$)\n"),
              " 0 3900001 1\n");
    EXPECT_EQ(output("10 PRINT CHR$(72); ASC(\"A\"); HEX$(255); HEX$(-1); \"|\"; STRING$(3, \"*\"); STRING$(2, 66)\n"),
              "H 65FFFFFFFFFF|***BB\n");
    EXPECT_EQ(output("10 PRINT \"[\"; SPACE$(2); SPC(1); STRIP(\"  x y  \"); \"]\"; STR$(-1.5); VAL(\" 12.5xyz\"); "
                     "VAL(\"&H10\"); VAL(\"-3\"); VAL(\"abc\")\n"),
              "[   x y] -1.5 12.5 16 -3 0\n");
    EXPECT_EQ(error_of("10 PRINT LEFT$(5, 1)\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of("10 PRINT MID$(\"a\", 0)\n"), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 PRINT CHR$(256)\n"), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 PRINT ASC(\"\")\n"), "Error in line 10: Incorrect argument");
    EXPECT_EQ(error_of("10 PRINT TAB()\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 PRINT TAB(1, 2)\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 PRINT SPACE$(-1)\n"), "Error in line 10: Value out of range");
}

TEST_F(ScriptTest, NumericFunctions)
{
    EXPECT_EQ(output("10 PRINT ABS(-2.5); SGN(-3); SGN(0); INT(-2.5); INT(2.7); CINT(2.5); CINT(-2.5); CSNG(1/3#)\n"),
              " 2.5 -1 0 -3 2 3 -3 0.333333\n");
    EXPECT_EQ(output("10 PRINT SQR(16); EXP(0); LOG(1); SIN(0); COS(0); TAN(0); ATN(1) * 4\n"),
              " 4 1 0 0 1 0 3.141593\n");
    EXPECT_EQ(output("10 PRINT CVI(MKI$(-123456)); CVS(MKS$(1.5)); CVD(MKD$(1/3#)); LEN(MKD$(0))\n"),
              " -123456 1.5 0.3333333 8\n");
    EXPECT_EQ(error_of("10 PRINT SQR(-1)\n"), "Error in line 10: Incorrect argument");
    EXPECT_EQ(error_of("10 PRINT LOG(0)\n"), "Error in line 10: Incorrect argument");
    EXPECT_EQ(error_of("10 PRINT CVI(\"ab\")\n"), "Error in line 10: Incorrect argument");
    EXPECT_EQ(error_of("10 PRINT ABS()\n"), "Error in line 10: Syntax error");
    // The generator starts the same way every run and after RANDOMIZE with the same seed.
    std::string a = output("10 PRINT RND; RND(1); RND(0)\n");
    EXPECT_EQ(a, output("10 PRINT RND; RND(1); RND(0)\n"));
    EXPECT_EQ(output("10 RANDOMIZE 5: A = RND: RANDOMIZE 5: B = RND: RANDOMIZE 6: C = RND\n"
                     "20 PRINT A = B; A = C; A >= 0 AND A < 1\n"),
              " -1 0 -1\n");
}

namespace {
std::time_t fourth_of_july()
{
    std::tm t{};
    t.tm_year = 2008 - 1900;
    t.tm_mon = 6;
    t.tm_mday = 4;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    t.tm_isdst = -1;
    return std::mktime(&t);
}
} // namespace

TEST_F(ScriptTest, DateAndTimeFunctions)
{
    script::set_clock(fourth_of_july);
    EXPECT_EQ(output("10 PRINT DATE$; \" \"; DAY$; \" \"; MONTH$; \" \"; YEAR$; \" \"; TIME$; \" \"; HOUR$; MINUTE$; "
                     "SECOND$\n"),
              "07-04-2008 4 7 2008 09:05:07 957\n");
    script::set_clock(nullptr);
}

TEST_F(ScriptTest, ProgramArguments)
{
    ScriptResult r = run("10 PRINT ARGC; \"|\"; COMMAND$; \"|\"; ARGV$(2); \"|\"; ARGV$(0)\n", {"one", "two words"});
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), " 2|one two words|two words|prog.gxs\n");
    EXPECT_EQ(error_of("10 PRINT ARGV$(1)\n"), "Error in line 10: Value out of range");
}

TEST_F(ScriptTest, ImageCommandsWithoutAnImageGoOn)
{
    // Without a current image the pixel functions give 0 and an operation
    // reports through the framework; the program goes on.
    ScriptResult r = run("10 X = BRIGHT(40)\n20 PRINT GETRED(1, 2); GETXW(0)\n30 PUSHIMAGE: POPIMAGE\n");
    EXPECT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.text(), " 0 0\n");
    EXPECT_EQ(error_of("10 X = BRIGHT(40, 2)\n"), "Error in line 10: Syntax error");
    // Commands that set parameters need no image; their errors are caught
    // by a handler.
    EXPECT_EQ(output("10 X = LANDHAZE(85, 0): X = STFADE(20): PRINT CALCULATE(1,2,3,4,5,6,7,8,9,10); SETOFFSET(3)\n"),
              " 0 0\n");
    EXPECT_EQ(output("10 ON ERROR GOSUB 100\n20 X = LANDHAZE(\"thick\", 0)\n30 PRINT \"on\": END\n100 PRINT \"trapped\": RETURN\n"),
              "trapped\non\n");
}
