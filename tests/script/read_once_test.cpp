// Expressions read once and kept with their line must give what reading the
// text every time gives: the same output, the same errors at the same
// places, the same side effects.  Each program here runs both ways and the
// two transcripts are compared.
#include "script_fixture.h"

#include "script/engine.h"

#include <fstream>
#include <random>

namespace {

class ReadOnceTest : public ScriptTest {
protected:
    void TearDown() override
    {
        script::engine().compile = true;
        ScriptTest::TearDown();
    }

    // Runs the program from the text and then read once; both results.
    void same_both_ways(const std::string& program)
    {
        script::engine().compile = false;
        ScriptResult text = run(program);
        script::engine().compile = true;
        ScriptResult once = run(program);
        EXPECT_EQ(once.status, text.status) << program;
        EXPECT_EQ(once.error, text.error) << program;
        EXPECT_EQ(once.out, text.out) << program;
        EXPECT_EQ(once.console, text.console) << program;
    }
};

// Random expressions over every kind of element, mostly of the right types,
// sometimes not (type mismatches), with ranges, division by zero and
// overflow coming up on their own.
struct Generator {
    std::mt19937 rng;
    explicit Generator(unsigned seed) : rng(seed) {}

    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    std::string number_leaf()
    {
        static const char* const forms[] = {"0", "1", "2", "7", "2.5", "0.1", "1E3", "&HFF", "&17", "3%", "2.5!",
                                            "1.5#", "2147483647", "1D2", ".5", "X", "Y#", "I%", "A(1)", "A(I%)",
                                            "C%(1, 2)", "ERR", "ERL", "ARGC", "Q", "K"};
        return forms[pick(26)];
    }

    std::string string_leaf()
    {
        static const char* const forms[] = {"\"ab\"", "\"\"", "S$", "T$", "B$(2)", "B$(I%)", "\"x y\""};
        return forms[pick(7)];
    }

    std::string number(int depth)
    {
        if (depth <= 0 || pick(6) == 0)
            return pick(30) == 0 ? string_leaf() : number_leaf();
        static const char* const ops[] = {"+", "-", "*", "/", "\\", "^", " MOD ", " AND ", " OR ", " XOR "};
        static const char* const compare[] = {"=", "<>", "<", ">", "<=", ">=", "=<", "=>"};
        static const char* const functions[] = {"ABS", "INT", "SGN", "SQR", "FNF", "CINT", "CSNG", "ATN"};
        switch (pick(9)) {
        case 0: return "(" + number(depth - 1) + ")";
        case 1: return "-" + number(depth - 1);
        case 2: return "NOT " + number(depth - 1);
        case 3: return std::string(functions[pick(8)]) + "(" + number(depth - 1) + ")";
        case 4: return pick(2) ? "LEN(" + text(depth - 1) + ")" : "ASC(" + text(depth - 1) + ")";
        case 5: return "A(" + number(depth - 1) + ")";
        case 6:
            return pick(2) ? number(depth - 1) + compare[pick(8)] + number(depth - 1)
                           : text(depth - 1) + compare[pick(8)] + text(depth - 1);
        default: return number(depth - 1) + ops[pick(10)] + number(depth - 1);
        }
    }

    std::string text(int depth)
    {
        if (depth <= 0 || pick(5) == 0)
            return pick(30) == 0 ? number_leaf() : string_leaf();
        switch (pick(6)) {
        case 0: return "MID$(" + text(depth - 1) + ", " + number(depth - 1) + ")";
        case 1: return "LEFT$(" + text(depth - 1) + ", " + number(depth - 1) + ")";
        case 2: return "STR$(" + number(depth - 1) + ")";
        case 3: return "CHR$(65 + " + number(depth - 1) + ")";
        case 4: return "(" + text(depth - 1) + ")";
        default: return text(depth - 1) + " + " + text(depth - 1);
        }
    }

    std::string expression(int depth) { return pick(3) ? number(depth) : text(depth); }

    // A program whose lines print, assign and test random expressions,
    // run three times over with the names changing in between.
    std::string program()
    {
        std::string p = "10 ON ERROR GOSUB 900\n20 DIM A(5), B$(3), C%(2, 2): RANDOMIZE 3\n"
                        "30 DEF FNF(Z) = Z * 2 + 1\n40 FOR K = 1 TO 3: X = 3: Y# = 2.5: I% = 2: S$ = \"xy\"\n"
                        "50 A(1) = 4: B$(2) = \"q\": C%(1, 2) = 9\n";
        int line = 100;
        for (int i = 0; i < 24; ++i) {
            std::string n = std::to_string(line);
            line += 10;
            switch (pick(5)) {
            case 0: p += n + " PRINT " + expression(3) + "; " + expression(2) + "\n"; break;
            case 1: p += n + " Q = " + number(3) + ": PRINT Q\n"; break;
            case 2: p += n + " A(" + number(1) + ") = " + number(2) + ": PRINT A(1); A(2)\n"; break;
            case 3:
                p += n + " IF " + number(2) + " THEN PRINT " + expression(2) + " ELSE PRINT " + expression(1) + "\n";
                break;
            default: p += n + " T$ = " + text(3) + ": PRINT T$; LEN(T$)\n"; break;
            }
        }
        p += std::to_string(line) + " IF K = 2 THEN ERASE A: DIM A(5): DEF FNF(Z) = Z - 1\n";
        p += std::to_string(line + 10) + " NEXT K\n" + std::to_string(line + 20) + " END\n";
        p += "900 PRINT \"error\"; ERR; ERL: RETURN\n";
        return p;
    }
};

} // namespace

TEST_F(ReadOnceTest, RandomExpressionsGiveTheSameBothWays)
{
    for (unsigned seed = 1; seed <= 60; ++seed) {
        Generator g(seed);
        same_both_ways(g.program());
    }
}

TEST_F(ReadOnceTest, TheClassicProgramsGiveTheSameBothWays)
{
    for (const char* name : {"sieve", "bubble", "recursion", "rainfall", "records", "reverse"}) {
        std::ifstream f(std::string(GLIMVQ_SOURCE_DIR) + "/tests/cli/script/" + name + ".gxs");
        std::stringstream text;
        text << f.rdbuf();
        ASSERT_FALSE(text.str().empty()) << name;
        same_both_ways(text.str());
    }
}

TEST_F(ReadOnceTest, TheStackLimitsAndCutsGiveTheSameBothWays)
{
    // Near the element stack's end, from the top level and from inside a
    // function of the program; arguments in progress.
    std::string sum = "1";
    for (int i = 0; i < 31; ++i) {
        same_both_ways("10 ON ERROR GOSUB 900\n20 DEF FNG(Z) = " + sum + " + Z\n30 PRINT " + sum + "; FNG(" + sum +
                       ")\n40 PRINT (((" + sum + ")))\n50 END\n900 PRINT \"error\"; ERR; ERL: RETURN\n");
        sum += "+1";
    }
    std::string nested = "1";
    for (int i = 0; i < 40; ++i) {
        nested = "ABS(" + nested + ", 1)";
        if (i % 4 == 0)
            same_both_ways("10 ON ERROR GOSUB 900\n20 PRINT MID$(\"abc\", " + nested +
                           ")\n30 END\n900 PRINT ERR: RETURN\n");
    }
    // The same text as a THEN part cut at its ELSE and as a loop's body.
    same_both_ways("10 FOR I = 1 TO 3: IF I > 1 THEN FOR J = 1 TO 2: PRINT I * J;: NEXT J ELSE PRINT \"e\"\n"
                   "20 NEXT I: PRINT\n");
    // An error handler that frees the line of the failing expression.
    same_both_ways("10 ON ERROR GOSUB 100\n20 PRINT 1 / 0 + 2\n30 PRINT \"not here\"\n100 PRINT \"h\": NEW\n");
    // A handler that runs the failing line again, under new names.
    same_both_ways("10 ON ERROR GOSUB 100\n20 PRINT 5 / N: N = N + 1: IF N < 3 THEN 20\n30 END\n"
                   "100 PRINT \"h\"; N: CLEAR: N = 2: RETURN\n");
}
