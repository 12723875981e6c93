#include "expr/expr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Eval {
    int code;
    double value;
    int assigned;
};

Eval eval(const char* text)
{
    Eval e{};
    e.code = expr_evaluate_copy(text, &e.value, &e.assigned);
    return e;
}

double value_of(const char* text)
{
    Eval e = eval(text);
    EXPECT_EQ(e.code, 0) << text << ": " << expr_error_text(e.code);
    return e.value;
}

} // namespace

TEST(Expr, PrecedenceLevels)
{
    EXPECT_DOUBLE_EQ(value_of("2+3*4"), 14);
    EXPECT_DOUBLE_EQ(value_of("2^3"), 8);
    EXPECT_DOUBLE_EQ(value_of("-2^2"), 4);  // the sign binds tighter than '^'
    EXPECT_DOUBLE_EQ(value_of("2^3^2"), 8);  // one '^' per level, the rest left over
    EXPECT_DOUBLE_EQ(value_of("1e3"), 1);    // the number ends before the letter
    EXPECT_DOUBLE_EQ(value_of("10-4-3"), 3);
    EXPECT_DOUBLE_EQ(value_of("100/10/5"), 2);
    EXPECT_DOUBLE_EQ(value_of("7.5%2"), 1.5);
    EXPECT_DOUBLE_EQ(value_of("  ( 1 + 2 ) * -3 "), -9);
    EXPECT_DOUBLE_EQ(value_of("2*-3"), -6);
    EXPECT_DOUBLE_EQ(value_of("SQRT(16)+ABS(-2)"), 6);  // lower-cased first
    EXPECT_DOUBLE_EQ(value_of("hyp(3,4)"), 5);
    EXPECT_NEAR(value_of("deg(rad(90))"), 90, 1e-12);
    EXPECT_NEAR(value_of("cos(0)+log10(1000)+floor(2.7)+ceil(2.2)"), 1 + 3 + 2 + 3, 1e-12);
}

TEST(Expr, ErrorsWithTheirMessagesPositionAndToken)
{
    struct Case {
        const char* text;
        int code;
        const char* message;
    } cases[] = {
        {"(1+2", 2, "Unbalanced parenthesis"},
        {"()", 8, "Missing an argument"},
        {"sin()", 8, "Missing an argument"},
        {"hyp(1,)", 8, "Missing an argument"},
        {"foo(1)", 6, "Unrecognised function"},
        {"hyp(3)", 7, "Wrong number of arguments to funtion"},
        {"sin(1,2)", 7, "Wrong number of arguments to funtion"},
        {"hyp(1,2,3,4,5)", 7, "Wrong number of arguments to funtion"},
        {"1/0", 3, "Division by zero"},
        {"5%0", 3, "Division by zero"},
        {"", 9, "Empty expression"},
        {"   ", 9, "Empty expression"},
        {"1$2", 1, "Syntax error"},
        {"*3", 1, "Syntax error"},
        {"2+", 1, "Syntax error"},
    };
    for (const Case& c : cases) {
        Eval e = eval(c.text);
        EXPECT_EQ(e.code, c.code) << c.text;
        EXPECT_STREQ(expr_error_text(e.code), c.message) << c.text;
        EXPECT_EQ(e.value, 0) << c.text;
    }
    eval("1+foo(2)");
    EXPECT_STREQ(expr_state().error_token, "foo");
    EXPECT_EQ(expr_state().error_position, 4);  // after "foo", less one
    eval("1 $");
    EXPECT_STREQ(expr_state().error_token, "$");
    EXPECT_EQ(expr_state().error_position, 2);
    EXPECT_STREQ(expr_error_text(10), "");
}

namespace {
bool scene_values(const char* name, double* value)
{
    if (std::strcmp(name, "x") == 0) {
        *value = 7;
        return true;
    }
    return false;
}
} // namespace

TEST(Expr, AssignmentsAndVariables)
{
    expr_clear_assignments();
    Eval e = eval("X=5");
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.assigned, 1);
    EXPECT_DOUBLE_EQ(e.value, 5);
    double stored = 0;
    EXPECT_TRUE(expr_assignment("x", &stored));
    EXPECT_DOUBLE_EQ(stored, 5);
    // Variables read the scene's values, not the assignment table.
    EXPECT_DOUBLE_EQ(value_of("x"), 0);
    expr_set_variable_source(scene_values);
    EXPECT_DOUBLE_EQ(value_of("x*2"), 14);
    EXPECT_DOUBLE_EQ(value_of("unknown_name+1"), 1);
    expr_set_variable_source(nullptr);
    EXPECT_EQ(eval("2+3").assigned, 0);

    // Reassigning replaces; "x=" removes.
    value_of("x = 6");
    EXPECT_TRUE(expr_assignment("x", &stored));
    EXPECT_DOUBLE_EQ(stored, 6);
    value_of("x=");
    EXPECT_FALSE(expr_assignment("x", nullptr));

    // The table holds 10000 names; one more gives code 5.
    for (int i = 0; i < kExprAssignments; ++i) {
        char t[32];
        std::snprintf(t, sizeof t, "v%d=1", i);
        ASSERT_EQ(eval(t).code, 0) << t;
    }
    EXPECT_EQ(eval("overflow=1").code, 5);
    EXPECT_EQ(eval("v17=2").code, 0);  // an existing name still fits
    expr_clear_assignments();
}

TEST(Expr, SequenceFunctions)
{
    ExprSequence saved = expr_sequence();
    expr_sequence().frames = 30;
    expr_sequence().frame = 0;
    EXPECT_DOUBLE_EQ(value_of("linv(0)"), 0);
    EXPECT_DOUBLE_EQ(value_of("loopv(0)"), 0);
    expr_sequence().frame = 29;
    EXPECT_DOUBLE_EQ(value_of("linv(0)"), 1);
    EXPECT_DOUBLE_EQ(value_of("loopv(0)"), 29.0 / 30.0);
    EXPECT_DOUBLE_EQ(value_of("cframe(123)"), 29);
    EXPECT_DOUBLE_EQ(value_of("tframes(0)"), 30);
    expr_sequence().transition_time = 0.25;
    EXPECT_DOUBLE_EQ(value_of("ttime(0)*4"), 1);
    EXPECT_EQ(eval("cframe()").code, 8);  // the argument must be written
    expr_sequence().frames = 1;
    expr_sequence().frame = 0;
    EXPECT_DOUBLE_EQ(value_of("linv(0)"), 0);  // a single frame does not divide by zero
    expr_sequence() = saved;
}
