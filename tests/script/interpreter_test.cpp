// The interpreter core: expressions and types, statement recognition,
// control flow, the error path, trace and console output.
#include "script_fixture.h"

#include "script/engine.h"

namespace {

// Prints the expression.
std::string expr(const std::string& e)
{
    return "10 PRINT " + e + "\n";
}

} // namespace

TEST_F(ScriptTest, OperatorsBindByTheirLevels)
{
    EXPECT_EQ(output(expr("2+3*4")), " 14\n");
    EXPECT_EQ(output(expr("2^3^2")), " 64\n");
    EXPECT_EQ(output(expr("1 < 2 = -1")), " 0\n");
    EXPECT_EQ(output(expr("-2^2; 2*-3; 2^-1!; 5 - -3; -3 + 5")), " -4 -6 0.5 8 2\n");
    EXPECT_EQ(output(expr("7 MOD 3; -7 MOD 3; 7.5 MOD 2; 7 \\ 2; 7.9 \\ 2")), " 1 -1 1.5 3 3\n");
    EXPECT_EQ(output(expr("7 / 2; 7 / 2!; 7# / 2")), " 3 3.5 3.5\n");
    EXPECT_EQ(output(expr("NOT 0; 5 AND 3; 5 OR 3; 5 XOR 3; NOT 1 = 2")), " -1 1 7 6 -1\n");
    EXPECT_EQ(output(expr("\"abc\" < \"abd\"; \"b\" > \"abc\"; \"x\" = \"x\"; \"a\" <> \"a\"")), " -1 -1 -1 0\n");
    EXPECT_EQ(output(expr("3 >= 3; 3 => 4; 2 <= 1; 2 =< 2")), " -1 0 0 -1\n");
    EXPECT_EQ(output(expr("(2 + 3) * (4 - 1); \"ab\" + \"cd\"")), " 15abcd\n");
}

TEST_F(ScriptTest, OperatorErrors)
{
    EXPECT_EQ(error_of(expr("\"a\" + 1")), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of(expr("\"a\" * \"b\"")), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of(expr("\"a\" MOD 2")), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of(expr("\"a\" < 2")), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of(expr("NOT \"a\"")), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of(expr("1 / 0")), "Error in line 10: Divide by zero");
    EXPECT_EQ(error_of(expr("1 \\ 0")), "Error in line 10: Divide by zero");
    EXPECT_EQ(error_of(expr("5 MOD 0")), "Error in line 10: Divide by zero");
    EXPECT_EQ(error_of(expr("1 IMP 2")), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of(expr("3 EQV 3")), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of(expr("2147483647 + 1")), "Error in line 10: Overflow");
    EXPECT_EQ(error_of(expr("(1 + 2")), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of(expr("1 +")), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 X = 5 6\n"), "Error in line 10: Syntax error");
    // 33 terms are 65 elements: more than the stack holds.
    std::string sum = "1";
    for (int i = 0; i < 32; ++i)
        sum += "+1";
    EXPECT_EQ(error_of(expr(sum)), "Error in line 10: Overflow");
    EXPECT_EQ(output(expr(sum.substr(0, sum.size() - 2))), " 32\n");
    // Each parenthesis holds one element of the stack.
    EXPECT_EQ(error_of(expr(std::string(64, '(') + "1" + std::string(64, ')'))), "Error in line 10: Overflow");
    EXPECT_EQ(output(expr(std::string(60, '(') + "1" + std::string(60, ')'))), " 1\n");
}

TEST_F(ScriptTest, NumericConstantsAndTypes)
{
    EXPECT_EQ(output(expr("&HFF; &hff; &O17; &17; &HFFFFFFFF")), " 255 255 15 15 -1\n");
    EXPECT_EQ(output(expr("1E3; 1.5D2; 2.5E-1; .5; 3000000000")), " 1000 150 0.25 0.5 3000000000\n");
    EXPECT_EQ(output(expr("7%; 2.5!; 1#/3")), " 7 2.5 0.3333333\n");
    EXPECT_EQ(output("10 A% = 2.9: B! = 1/3!: C# = 1/3#: D = 0.1 + 0.2\n20 PRINT A%; B!; C#; D\n"),
              " 2 0.333333 0.3333333 0.3\n");
    EXPECT_EQ(output(expr("0.5; 7; -2.25; 100000; 0")), " 0.5 7 -2.25 100000 0\n");
    EXPECT_EQ(error_of("10 A$ = 5\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of("10 A = \"x\"\n"), "Error in line 10: Type mismatch");
    EXPECT_EQ(error_of("10 A% = 3E9\n"), "Error in line 10: Overflow");
    EXPECT_EQ(output("10 DEFINT I-K: DEFSTR S\n20 I = 2.7: S = \"str\": J$ = \"j\"\n30 PRINT I; S; J$\n"), " 2strj\n");
    // Names are compared exactly; keywords and functions ignore case.
    EXPECT_EQ(output("10 a = 1: A = 2\n20 print a; A; len(\"xy\")\n"), " 1 2 2\n");
}

TEST_F(ScriptTest, StatementsAreRecognisedByPrefixInTableOrder)
{
    EXPECT_EQ(output("10 REMARK a comment\n20 PRINTX\n30 X=4:PRINT X\n"), " 0\n 4\n");
    EXPECT_EQ(output("10 LABEL: PRINT \"on\"\n"), "on\n");
    EXPECT_EQ(error_of("10 FOO BAR\n"), "Error in line 10: Unable to parse");
    EXPECT_EQ(output("10 :: PRINT 1 :: PRINT 2\n"), " 1\n 2\n");
    // A variable that begins with a keyword runs the keyword.
    EXPECT_EQ(output("10 ENDING = 1\n20 PRINT \"not reached\"\n"), "");
}

TEST_F(ScriptTest, FunctionNamesArePrefixesOfTheWord)
{
    // A word that begins with a function's name calls it; the rest of the
    // word follows the call.
    EXPECT_EQ(error_of("10 RADIUS = 5: PRINT RADIUS * 2\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(output("10 S = 3: PRINT LEVELS\n"), "i 3\n");
    EXPECT_EQ(output("10 PRINT sqr(16); Sqr(9)\n"), " 4 3\n");
    // A whole name wins over a shorter one before it in the table.
    // (EXP and VAL would refuse these arguments; the image commands, without
    // an image, report that and go on.)
    EXPECT_EQ(run("10 X = EXPBLUR(1, 2)\n").status, 0);
    EXPECT_EQ(run("10 X = VALUE(1)\n").status, 0);
    // The same for functions of the program, in the order they were made.
    EXPECT_EQ(output("10 DEF FNA(X) = X + 1: DEF FNAB(X) = X + 2\n20 PRINT FNA(1); FNAB(1)\n"), " 2 3\n");
    EXPECT_EQ(error_of("10 DEF FNA(X) = X + 1\n20 PRINT FNABC(1)\n"), "Error in line 20: Syntax error");
    // Names that begin with no function's name are variables.
    EXPECT_EQ(output("10 TOTAL = 4: COUNT = 2: PRINT TOTAL / COUNT\n"), " 2\n");
}

TEST_F(ScriptTest, ForLoopsUseIntegerBoundsAndSteps)
{
    EXPECT_EQ(output("10 FOR I = 1 TO 3: PRINT I;: NEXT I\n20 PRINT \"/\"; I\n"), " 1 2 3/ 4\n");
    EXPECT_EQ(output("10 FOR I = 3 TO 1 STEP -1\n20 PRINT I;\n30 NEXT I\n40 PRINT\n"), " 3 2 1\n");
    EXPECT_EQ(output("10 FOR I = 1 TO 2.5: PRINT I;: NEXT I\n20 PRINT\n"), " 1 2\n");
    EXPECT_EQ(output("10 FOR I = 0 TO 10 STEP 4: PRINT I;: NEXT I\n20 PRINT\n"), " 0 4 8\n");
    // The body runs once even when the start is past the limit.
    EXPECT_EQ(output("10 FOR I = 5 TO 1: PRINT I;: NEXT I\n20 PRINT\n"), " 5\n");
    EXPECT_EQ(output("10 FOR I = 1 TO 2: FOR J = 1 TO 2\n20 PRINT I * 10 + J;\n30 NEXT J, I\n40 PRINT\n"),
              " 11 12 21 22\n");
    EXPECT_EQ(error_of("10 NEXT I\n"), "Error in line 10: NEXT without FOR");
    EXPECT_EQ(error_of("10 FOR I = 1 TO 2\n20 NEXT J\n"), "Error in line 20: Syntax error");
    EXPECT_EQ(error_of("10 FOR I = 1 TO 2\n20 NEXT\n"), "Error in line 20: Syntax error");
    EXPECT_EQ(error_of("10 FOR I 1 TO 2\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 FOR I = 1, 2\n"), "Error in line 10: Syntax error");
    // 35 open loops fit; the 36th does not.
    std::string nested;
    for (int i = 1; i <= 36; ++i)
        nested += std::to_string(i * 10) + " FOR V" + std::to_string(i) + " = 1 TO 1\n";
    EXPECT_EQ(error_of(nested), "Error in line 360: Overflow");
    // A loop entered again over its own variable does not pile up frames.
    EXPECT_EQ(output("10 N = N + 1: FOR I = 1 TO 2\n20 IF N < 50 THEN GOTO 10\n30 NEXT I\n40 PRINT N\n"), " 50\n");
}

TEST_F(ScriptTest, GosubReturnsBehindTheCall)
{
    EXPECT_EQ(output("10 GOSUB 100: PRINT \"after\"\n20 END\n100 PRINT \"sub\": RETURN: PRINT \"no\"\n"),
              "sub\nafter\n");
    EXPECT_EQ(error_of("10 RETURN\n"), "Error in line 10: RETURN without GOSUB");
    EXPECT_EQ(error_of("10 GOSUB 50\n"), "Error in line 10: Line number 50 not found");
    EXPECT_EQ(error_of("10 GOTO\n"), "Error in line 10: No linenumber");
    // 35 levels of recursion fit, the 36th call does not.
    EXPECT_EQ(output("10 GOSUB 100: PRINT D: END\n100 D = D + 1: IF D < 35 THEN GOSUB 100\n110 RETURN\n"),
              " 35\n");
    EXPECT_EQ(error_of("10 GOSUB 100: END\n100 D = D + 1: GOSUB 100\n"), "Error in line 100: Overflow");
    // A subroutine that runs off the end ends the program.
    EXPECT_EQ(output("10 GOSUB 30\n20 PRINT \"no\"\n30 PRINT \"end\"\n"), "end\n");
}

TEST_F(ScriptTest, OnGotoAndOnGosub)
{
    std::string tail = "100 PRINT \"a\": RETURN\n200 PRINT \"b\": RETURN\n";
    EXPECT_EQ(output("10 X = 2: ON X GOSUB 100, 200: PRINT \"c\"\n20 END\n" + tail), "b\nc\n");
    EXPECT_EQ(output("10 ON 1 GOTO 30\n20 PRINT \"no\"\n30 PRINT \"yes\"\n"), "yes\n");
    EXPECT_EQ(error_of("10 ON 3 GOTO 100, 200\n" + tail), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 ON 0 GOTO 100\n" + tail), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 ON 1 PRINT 100\n"), "Error in line 10: ON w/o GOTO or GOSUB");
    EXPECT_EQ(error_of("10 ON\n"), "Error in line 10: Incomplete");
    EXPECT_EQ(error_of("10 ON ERROR GOTO 100\n"), "Error in line 10: Syntax error");
    // Twelve targets are read, no more.
    std::string targets = "10 ON 12 GOTO 1,1,1,1,1,1,1,1,1,1,1,30,40\n20 PRINT \"no\"\n30 PRINT \"twelve\"\n";
    EXPECT_EQ(output(targets), "twelve\n");
}

TEST_F(ScriptTest, IfThenElse)
{
    EXPECT_EQ(output("10 X = 3\n20 IF X = 3 THEN PRINT \"yes\": PRINT \"both\" ELSE PRINT \"no\"\n"), "yes\nboth\n");
    EXPECT_EQ(output("10 IF 0 THEN PRINT \"yes\" ELSE PRINT \"no\": PRINT \"too\"\n"), "no\ntoo\n");
    EXPECT_EQ(output("10 IF 0 THEN PRINT \"yes\"\n20 PRINT \"next\"\n"), "next\n");
    EXPECT_EQ(output("10 IF \"ELSE\" = \"ELSE\" THEN PRINT \"quoted ELSE\"\n"), "quoted ELSE\n");
    // A line number after THEN calls that line as a subroutine.
    EXPECT_EQ(output("10 IF 1 THEN 100\n20 PRINT \"back\": END\n100 PRINT \"sub\": RETURN\n"), "sub\nback\n");
    EXPECT_EQ(output("10 IF 1 THEN GOTO 30\n20 PRINT \"no\"\n30 PRINT \"jumped\"\n"), "jumped\n");
    EXPECT_EQ(output("10 IF 0.5 THEN PRINT \"no\" ELSE PRINT \"truncated\"\n"), "truncated\n");
    EXPECT_EQ(error_of("10 IF 1 PRINT 2\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 IF \"a\" THEN PRINT 2\n"), "Error in line 10: Type mismatch");
}

TEST_F(ScriptTest, WhileWendTestsForMinusOne)
{
    EXPECT_EQ(output("10 WHILE I < 3\n20 I = I + 1: PRINT I;\n30 WEND: PRINT \"/\"\n"), " 1 2 3/\n");
    EXPECT_EQ(output("10 WHILE 1\n20 PRINT \"body\"\n30 WEND\n40 PRINT \"skipped\"\n"), "skipped\n");
    EXPECT_EQ(output("10 WHILE I < 2: I = I + 1: J = 0\n20 WHILE J < 2: J = J + 1: PRINT I * 10 + J;\n30 WEND\n"
                     "40 WEND\n50 PRINT\n"),
              " 11 12 21 22\n");
    EXPECT_EQ(error_of("10 WEND\n"), "Error in line 10: Syntax error");
    EXPECT_EQ(error_of("10 WHILE -1\n20 PRINT 1\n"), "Error in line 10: Syntax error");
    std::string nested;
    for (int i = 1; i <= 37; ++i)
        nested += std::to_string(i * 10) + " WHILE -1\n";
    for (int i = 1; i <= 37; ++i)
        nested += std::to_string(1000 + i * 10) + " WEND\n";
    EXPECT_EQ(error_of(nested), "Error in line 370: Overflow");
}

TEST_F(ScriptTest, ErrorPathAndHandlers)
{
    EXPECT_EQ(error_of("10 ERROR 23\n"), "Error in line 10: Error number 23 is out of range");
    ScriptResult r = run("10 PRINT \"partial\";\n20 ERROR 19\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.text(), "partial\nError in line 20: Divide by zero\n");
    EXPECT_EQ(output("10 ON ERROR GOSUB 900\n20 X = 1 / 0: PRINT \"rest of line\"\n30 PRINT \"on\"; ERR; ERL\n"
                     "40 END\n900 PRINT \"handled\"; ERR; ERL: RETURN\n"),
              "handled 19 20\non 19 20\n");
    // The handler is not entered again for its own errors.
    EXPECT_EQ(error_of("10 ON ERROR GOSUB 900\n20 X = 1 / 0\n900 Y = 1 / 0: RETURN\n"),
              "Error in line 900: Divide by zero");
    // ERROR reports straight through, handler or not.
    EXPECT_EQ(error_of("10 ON ERROR GOSUB 900\n20 ERROR 7\n900 RETURN\n"), "Error in line 20: Syntax error");
    // A formatted message leaves ERR as it was.
    EXPECT_EQ(output("10 ON ERROR GOSUB 900\n20 X = 1 / 0\n30 GOTO 77\n40 PRINT ERR: END\n900 RETURN\n"), " 19\n");
}

TEST_F(ScriptTest, TraceMarksLinesBesideTheOutput)
{
    ScriptResult r = run("10 TRON\n20 PRINT \"a\"\n30 TROFF\n40 PRINT \"b\"\n");
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.console_text(), "Trace is ON\n[ 20 ]\n[ 30 ]\nTrace is OFF\n");
    EXPECT_EQ(r.text(), "a\nb\n");
}

TEST_F(ScriptTest, ConsoleLinesBecomeOneBoxEach)
{
    EXPECT_EQ(run("10 PRINT \"\"\n20 PRINT\n").out.size(), 0u);
    EXPECT_EQ(output("10 PRINT \"a\";\n20 PRINT \"b\"\n30 PRINT \"c\"\n"), "ab\nc\n");
    EXPECT_EQ(output("10 PRINT \"unfinished\";\n"), "unfinished\n");
    // ',' moves to the next multiple of 14; TAB() to a column.
    EXPECT_EQ(output("10 PRINT \"ab\", \"c\"\n20 PRINT TAB(5); \"x\"; TAB(3); \"y\"\n"),
              "ab           c\n    x\n  y\n");
    EXPECT_EQ(output("10 PRINT \"abc\"; POS(0); : PRINT POS\n"), "abc 4 6\n");
    // The wrap at width 80 counts columns but does not cut the box.
    EXPECT_EQ(output("10 PRINT STRING$(100, \"x\"); POS\n"), std::string(100, 'x') + " 22\n");
    EXPECT_EQ(output("10 WIDTH 10: PRINT \"12345678901\"; POS\n"), "12345678901 3\n");
    EXPECT_EQ(error_of("10 WIDTH 0\n"), "Error in line 10: Value out of range");
    EXPECT_EQ(error_of("10 WIDTH\n"), "Error in line 10: Syntax error");
    // The console line holds 10500 characters; more overwrite the last.
    EXPECT_EQ(output("10 PRINT STRING$(10499, \"a\"); \"bcd\"\n"), std::string(10499, 'a') + "d\n");
}

TEST_F(ScriptTest, BreakStopsTheRunAtTheNextLine)
{
    // A platform that asks for the break as soon as the program prints.
    struct Breaking : ui::HeadlessPlatform {
        void output_box(const char* text) override
        {
            ui::headless().output_box(text);
            script_request_break();
        }
    } breaking;
    ui::platform_install(&breaking);
    ScriptResult r = run("10 PRINT \"go\"\n20 GOTO 20\n");
    ui::platform_install(nullptr);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.text(), "go\n\rProgram break at line 20\n");
    EXPECT_EQ(r.error, "Program break at line 20");
}

TEST_F(ScriptTest, OutputEndsAtEveryWidth)
{
    // A TAB column beyond the width goes to the start of the next line.
    EXPECT_EQ(output("10 PRINT TAB(100); \"x\"\n"), "x\n");
    EXPECT_EQ(output("10 PRINT \"ab\"; TAB(81); \"x\"; TAB(80); \"y\"\n"),
              "ab\nx" + std::string(78, ' ') + "y\n");
    // A comma zone the line cannot reach starts a new line.
    EXPECT_EQ(output("10 WIDTH 13\n20 PRINT 1, 2\n30 PRINT , 3\n"), " 1\n 2\n 3\n");
    EXPECT_EQ(output("10 WIDTH 14: PRINT 1, 2\n"), " 1" + std::string(11, ' ') + " 2\n");
    // A width lowered in mid-line.
    EXPECT_EQ(output("10 PRINT \"abcdef\";: WIDTH 3: PRINT , \"x\"; TAB(1); \"y\"; TAB(2); \"z\"\n"),
              "abcdef\nx\nyz\n");
    // The same on a file device.
    EXPECT_EQ(output("10 OPEN \"w\" FOR OUTPUT AS 1: WIDTH #1, 10: PRINT #1, 1, 2\n"
                     "20 PRINT #1, TAB(50); \"x\"; TAB(11); \"y\"; TAB(4); \"z\": CLOSE\n"),
              "");
    EXPECT_EQ(read("w"), " 1\n 2\nx\ny  z\n");
    EXPECT_EQ(output("10 OPEN \"v\" FOR OUTPUT AS 1: WIDTH #1, 2: PRINT #1, \"ab\", \"c\"; TAB(1); \"d\": CLOSE\n"),
              "");
    EXPECT_EQ(read("v"), "a\nb\nc\nd\n");
}

TEST_F(ScriptTest, BreakStopsALongStatement)
{
    // A platform that asks for the break whenever the interface gets a turn,
    // and whose console input is broken off.
    struct Breaking : ui::HeadlessPlatform {
        void output_box(const char* text) override { ui::headless().output_box(text); }
        void pump_messages() override { script_request_break(); }
        bool console_read_line(std::string&) override
        {
            script_request_break();
            return false;
        }
    } breaking;
    ui::platform_install(&breaking);
    // Writing a long string.
    ScriptResult r = run("10 OPEN \"big\" FOR OUTPUT AS 1\n20 PRINT #1, STRING$(1000000, \"x\")\n30 PRINT \"no\"\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.error, "Program break at line 20");
    EXPECT_LT(read("big").size(), 1000000u);
    // Functions calling each other 2^15 times in one expression.
    std::string program = "10 DEF FNA0(X) = X\n";
    for (int i = 1; i <= 15; ++i)
        program += std::to_string(10 + i) + " DEF FNA" + std::to_string(i) + "(X) = FNA" + std::to_string(i - 1) +
                   "(X) + FNA" + std::to_string(i - 1) + "(X)\n";
    r = run(program + "100 PRINT FNA15(1)\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.error, "Program break at line 100");
    // Waiting for an answer.
    r = run("10 PRINT \"ask\"\n20 INPUT A\n30 PRINT \"no\"\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.error, "Program break at line 20");
    ui::platform_install(nullptr);
}

TEST_F(ScriptTest, TablesHoldTheirNamesInOrder)
{
    size_t count = 0;
    const script::StatementDef* s = script::statement_table(&count);
    ASSERT_EQ(count, 87u);
    EXPECT_STREQ(s[0].name, "REM");
    EXPECT_STREQ(s[13].name, "RETURN");
    EXPECT_STREQ(s[24].name, "PUSHMASK");  // after the ten operation statements
    EXPECT_STREQ(s[86].name, "SWAP");
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(s[i].kind, 2);
    size_t general = 0, image = 0;
    const script::BuiltinDef* g = script::builtin_functions(&general);
    script::image_functions(&image);
    EXPECT_EQ(general + image, 267u);
    EXPECT_STREQ(g[0].name, "ABS");
    EXPECT_STREQ(g[general - 1].name, "CVI");

    // The run links them between the two sentinels.
    ASSERT_TRUE(script::engine_begin());
    int linked = 0;
    script::FunctionRecord* f = script::engine().functions;
    EXPECT_STREQ(f->name, "FNC_START");
    for (f = f->next; f != script::engine().functions_end; f = f->next)
        ++linked;
    EXPECT_EQ(linked, 267);
    EXPECT_STREQ(f->name, "FNC_END");
    script::engine_end();
}
