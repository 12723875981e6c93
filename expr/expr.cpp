#include "expr/expr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum class Tok { None, Delim, Name, Number };

struct Parser {
    const char* text = nullptr;
    int pos = 0;
    Tok kind = Tok::None;
    char token[kExprNameLength + 2] = {};
    char number[64] = {};
    int error = 0;
    int* assigned = nullptr;
};

ExprState g_state;
ExprSequence g_sequence;
bool (*g_lookup)(const char*, double*) = nullptr;

constexpr double kPi = 3.141592653589793;

double seq_frame(double) { return static_cast<double>(g_sequence.frame); }
double seq_linv(double)
{
    if (g_sequence.frames <= 1)
        return 0;
    return static_cast<double>(g_sequence.frame) / static_cast<double>(g_sequence.frames - 1);
}
double seq_loopv(double)
{
    if (g_sequence.frames <= 0)
        return 0;
    return static_cast<double>(g_sequence.frame) / static_cast<double>(g_sequence.frames);
}
double seq_frames(double) { return static_cast<double>(g_sequence.frames); }
double seq_ttime(double) { return g_sequence.transition_time; }
double to_deg(double x) { return x * 180.0 / kPi; }
double to_rad(double x) { return x * kPi / 180.0; }

struct Function {
    const char* name;
    int args;
    double (*one)(double);
    double (*two)(double, double);
};

const Function kFunctions[] = {
    {"sin", 1, [](double x) { return std::sin(x); }, nullptr},
    {"cos", 1, [](double x) { return std::cos(x); }, nullptr},
    {"tan", 1, [](double x) { return std::tan(x); }, nullptr},
    {"asin", 1, [](double x) { return std::asin(x); }, nullptr},
    {"acos", 1, [](double x) { return std::acos(x); }, nullptr},
    {"atan", 1, [](double x) { return std::atan(x); }, nullptr},
    {"sinh", 1, [](double x) { return std::sinh(x); }, nullptr},
    {"cosh", 1, [](double x) { return std::cosh(x); }, nullptr},
    {"tanh", 1, [](double x) { return std::tanh(x); }, nullptr},
    {"exp", 1, [](double x) { return std::exp(x); }, nullptr},
    {"log", 1, [](double x) { return std::log(x); }, nullptr},
    {"log10", 1, [](double x) { return std::log10(x); }, nullptr},
    {"sqrt", 1, [](double x) { return std::sqrt(x); }, nullptr},
    {"floor", 1, [](double x) { return std::floor(x); }, nullptr},
    {"ceil", 1, [](double x) { return std::ceil(x); }, nullptr},
    {"abs", 1, [](double x) { return std::fabs(x); }, nullptr},
    {"hyp", 2, nullptr, [](double a, double b) { return std::hypot(a, b); }},
    {"deg", 1, to_deg, nullptr},
    {"rad", 1, to_rad, nullptr},
    {"cframe", 1, seq_frame, nullptr},
    {"linv", 1, seq_linv, nullptr},
    {"loopv", 1, seq_loopv, nullptr},
    {"tframes", 1, seq_frames, nullptr},
    {"ttime", 1, seq_ttime, nullptr},
};

const char* const kErrors[] = {"",
                               "Syntax error",
                               "Unbalanced parenthesis",
                               "Division by zero",
                               "Unknown variable",
                               "Maximum variables exceeded",
                               "Unrecognised function",
                               "Wrong number of arguments to funtion",
                               "Missing an argument",
                               "Empty expression"};

bool is_delim(char c)
{
    return c != 0 && std::strchr("+-*/%^(),=", c) != nullptr;
}
bool is_alpha(char c) { return c >= 'a' && c <= 'z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Every failure stops the evaluation: the code travels back up as the
// return value and the position and token are kept.
int fail(Parser& p, int code)
{
    if (!p.error) {
        p.error = code;
        g_state.error = code;
        g_state.error_position = p.pos > 0 ? p.pos - 1 : 0;
        std::snprintf(g_state.error_token, sizeof g_state.error_token, "%s", p.token);
    }
    return code;
}

int next(Parser& p)
{
    p.kind = Tok::None;
    p.token[0] = 0;
    while (p.text[p.pos] == ' ' || p.text[p.pos] == '\t')
        ++p.pos;
    char c = p.text[p.pos];
    if (c == 0)
        return 0;
    if (is_delim(c)) {
        p.kind = Tok::Delim;
        p.token[0] = c;
        p.token[1] = 0;
        ++p.pos;
        return 0;
    }
    if (is_alpha(c)) {
        int n = 0;
        while (is_alpha(p.text[p.pos]) || is_digit(p.text[p.pos]) || p.text[p.pos] == '_') {
            if (n < kExprNameLength)
                p.token[n++] = p.text[p.pos];
            ++p.pos;
        }
        p.token[n] = 0;
        p.kind = Tok::Name;
        return 0;
    }
    if (is_digit(c) || c == '.') {
        int n = 0;
        while (is_digit(p.text[p.pos]) || p.text[p.pos] == '.') {
            if (n < static_cast<int>(sizeof p.number) - 1)
                p.number[n++] = p.text[p.pos];
            ++p.pos;
        }
        p.number[n] = 0;
        size_t keep = std::min(std::strlen(p.number), sizeof p.token - 1);
        std::memcpy(p.token, p.number, keep);
        p.token[keep] = 0;
        p.kind = Tok::Number;
        return 0;
    }
    p.token[0] = c;
    p.token[1] = 0;
    ++p.pos;
    return fail(p, EXPR_SYNTAX);
}

bool delim(const Parser& p, char c)
{
    return p.kind == Tok::Delim && p.token[0] == c;
}

int level1(Parser& p, double& r);

int level6(Parser& p, double& r)
{
    if (delim(p, '(')) {
        if (int e = next(p))
            return e;
        if (delim(p, ')'))
            return fail(p, EXPR_MISSING_ARGUMENT);
        if (int e = level1(p, r))
            return e;
        if (!delim(p, ')'))
            return fail(p, EXPR_UNBALANCED);
        return next(p);
    }
    if (p.kind == Tok::Number) {
        r = std::strtod(p.number, nullptr);
        return next(p);
    }
    if (p.kind == Tok::Name) {
        if (p.text[p.pos] == '(') {
            const Function* f = nullptr;
            for (const Function& fn : kFunctions)
                if (std::strcmp(fn.name, p.token) == 0) {
                    f = &fn;
                    break;
                }
            if (!f)
                return fail(p, EXPR_UNKNOWN_FUNCTION);
            if (int e = next(p))  // the '('
                return e;
            double args[4] = {0, 0, 0, 0};
            int count = 0;
            if (int e = next(p))
                return e;
            for (;;) {
                if (delim(p, ')') || delim(p, ',') || p.kind == Tok::None)
                    return fail(p, p.kind == Tok::None ? EXPR_UNBALANCED : EXPR_MISSING_ARGUMENT);
                if (count == 4)
                    return fail(p, EXPR_ARGUMENT_COUNT);
                if (int e = level1(p, args[count]))
                    return e;
                ++count;
                if (delim(p, ',')) {
                    if (int e = next(p))
                        return e;
                    continue;
                }
                if (delim(p, ')'))
                    break;
                return fail(p, EXPR_UNBALANCED);
            }
            if (count != f->args)
                return fail(p, EXPR_ARGUMENT_COUNT);
            r = f->args == 1 ? f->one(args[0]) : f->two(args[0], args[1]);
            return next(p);
        }
        double value = 0;
        if (!g_lookup || !g_lookup(p.token, &value))
            value = 0;
        r = value;
        return next(p);
    }
    return fail(p, EXPR_SYNTAX);
}

int level5(Parser& p, double& r)
{
    char sign = 0;
    if (delim(p, '+') || delim(p, '-')) {
        sign = p.token[0];
        if (int e = next(p))
            return e;
    }
    if (int e = level6(p, r))
        return e;
    if (sign == '-')
        r = -r;
    return 0;
}

int level4(Parser& p, double& r)
{
    if (int e = level5(p, r))
        return e;
    // One '^' only: a second one is left over.
    if (delim(p, '^')) {
        if (int e = next(p))
            return e;
        double t = 0;
        if (int e = level5(p, t))
            return e;
        r = std::pow(r, t);
    }
    return 0;
}

int level3(Parser& p, double& r)
{
    if (int e = level4(p, r))
        return e;
    while (delim(p, '*') || delim(p, '/') || delim(p, '%')) {
        char op = p.token[0];
        if (int e = next(p))
            return e;
        double t = 0;
        if (int e = level4(p, t))
            return e;
        if (op == '*') {
            r *= t;
        } else {
            if (t == 0)
                return fail(p, EXPR_DIV_ZERO);
            r = op == '/' ? r / t : std::fmod(r, t);
        }
    }
    return 0;
}

int level2(Parser& p, double& r)
{
    if (int e = level3(p, r))
        return e;
    while (delim(p, '+') || delim(p, '-')) {
        char op = p.token[0];
        if (int e = next(p))
            return e;
        double t = 0;
        if (int e = level3(p, t))
            return e;
        r = op == '+' ? r + t : r - t;
    }
    return 0;
}

void remove_assignment(const char* name)
{
    for (ExprAssignment& a : g_state.table)
        if (a.used && std::strcmp(a.name, name) == 0)
            a.used = false;
}

int level1(Parser& p, double& r)
{
    if (p.kind == Tok::Name) {
        int at = p.pos;
        while (p.text[at] == ' ' || p.text[at] == '\t')
            ++at;
        if (p.text[at] == '=') {
            char name[kExprNameLength + 1] = {};
            std::memcpy(name, p.token, std::min(std::strlen(p.token), sizeof name - 1));
            p.pos = at + 1;
            if (int e = next(p))
                return e;
            if (p.kind == Tok::None) {
                remove_assignment(name);
                r = 0;
                return 0;
            }
            if (int e = level2(p, r))
                return e;
            remove_assignment(name);
            for (ExprAssignment& a : g_state.table) {
                if (!a.used) {
                    std::memcpy(a.name, name, sizeof a.name);
                    a.value = r;
                    a.used = true;
                    if (p.assigned)
                        *p.assigned = 1;
                    return 0;
                }
            }
            return fail(p, EXPR_TOO_MANY_VARIABLES);
        }
    }
    return level2(p, r);
}

} // namespace

const char* expr_error_text(int code)
{
    if (code < 1 || code > 9)
        return "";
    return kErrors[code];
}

int expr_evaluate(char* text, double* result, int* assigned)
{
    if (result)
        *result = 0;
    if (assigned)
        *assigned = 0;
    g_state.error = 0;
    g_state.error_position = 0;
    g_state.error_token[0] = 0;
    if (!text)
        text = const_cast<char*>("");
    for (char* c = text; *c; ++c)
        if (*c >= 'A' && *c <= 'Z')
            *c = static_cast<char>(*c - 'A' + 'a');
    Parser p;
    p.text = text;
    p.assigned = assigned;
    if (int e = next(p))
        return e;
    if (p.kind == Tok::None)
        return fail(p, EXPR_EMPTY);
    double r = 0;
    if (int e = level1(p, r)) {
        if (assigned)
            *assigned = 0;
        return e;
    }
    if (result)
        *result = r;
    return 0;
}

int expr_evaluate_copy(const char* text, double* result, int* assigned)
{
    std::string copy = text ? text : "";
    return expr_evaluate(copy.data(), result, assigned);
}

ExprState& expr_state()
{
    return g_state;
}

void expr_clear_assignments()
{
    for (ExprAssignment& a : g_state.table)
        a.used = false;
}

bool expr_assignment(const char* name, double* value)
{
    for (const ExprAssignment& a : g_state.table)
        if (a.used && std::strcmp(a.name, name) == 0) {
            if (value)
                *value = a.value;
            return true;
        }
    return false;
}

ExprSequence& expr_sequence()
{
    return g_sequence;
}

void expr_set_variable_source(bool (*lookup)(const char* name, double* value))
{
    g_lookup = lookup;
}
