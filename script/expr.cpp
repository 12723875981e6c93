// Expressions over the four value types, numeric constants, variables and
// arrays.
//
// Operators bind by level (0 first) and, within a level, left to right, as
// if every element of a stretch were pushed on the 64-element stack and the
// stretch reduced level by level; precedence climbing gives the same result
// without the repeated walks.  The stack height is still counted element by
// element, so an expression too long for the stack reports "Overflow" as
// before.
#include "script/engine.h"

#include <cmath>
#include <cstring>

namespace script {

namespace {

enum Op : int {
    OP_NONE = 0,
    OP_ADD = 7,
    OP_SUB = 8,
    OP_MUL = 9,
    OP_DIV = 10,
    OP_MOD = 11,
    OP_POW = 12,
    OP_IDIV = 13,
    OP_EQ = 17,
    OP_NE = 20,
    OP_LT = 21,
    OP_GT = 22,
    OP_LE = 23,
    OP_GE = 24,
    OP_NOT = 25,
    OP_AND = 26,
    OP_OR = 27,
    OP_XOR = 28,
    OP_IMP = 29,
    OP_EQV = 30,
};

constexpr int kTopLevel = 19;

int op_level(int op)
{
    switch (op) {
    case OP_POW: return 0;
    case OP_MUL:
    case OP_DIV: return 2;
    case OP_IDIV: return 3;
    case OP_MOD: return 4;
    case OP_ADD:
    case OP_SUB: return 5;
    case OP_EQ: return 6;
    case OP_NE: return 7;
    case OP_LT: return 8;
    case OP_GT: return 9;
    case OP_LE: return 10;
    case OP_GE: return 11;
    case OP_NOT: return 12;
    case OP_AND: return 13;
    case OP_OR: return 14;
    case OP_XOR: return 15;
    case OP_IMP: return 16;
    case OP_EQV: return 17;
    }
    return 99;
}

// The binary operator at pos (blanks skipped), with its length.
int binary_op(const char* t, int32_t pos, int32_t* length)
{
    char c = t[pos];
    char d = c ? t[pos + 1] : 0;
    *length = 2;
    switch (c) {
    case '<':
        if (d == '>') return OP_NE;
        if (d == '=') return OP_LE;
        *length = 1;
        return OP_LT;
    case '>':
        if (d == '=') return OP_GE;
        *length = 1;
        return OP_GT;
    case '=':
        if (d == '<') return OP_LE;
        if (d == '>') return OP_GE;
        *length = 1;
        return OP_EQ;
    case '^': *length = 1; return OP_POW;
    case '*': *length = 1; return OP_MUL;
    case '/': *length = 1; return OP_DIV;
    case '\\': *length = 1; return OP_IDIV;
    case '+': *length = 1; return OP_ADD;
    case '-': *length = 1; return OP_SUB;
    default: break;
    }
    if (!is_alpha(c))
        return OP_NONE;
    int32_t n = 0;
    char w[4];
    while (is_alpha(t[pos + n])) {
        if (n >= 3)
            return OP_NONE;
        w[n] = upper(t[pos + n]);
        ++n;
    }
    *length = n;
    if (n == 2 && w[0] == 'O' && w[1] == 'R') return OP_OR;
    if (n != 3) return OP_NONE;
    if (w[0] == 'A' && w[1] == 'N' && w[2] == 'D') return OP_AND;
    if (w[0] == 'X' && w[1] == 'O' && w[2] == 'R') return OP_XOR;
    if (w[0] == 'M' && w[1] == 'O' && w[2] == 'D') return OP_MOD;
    if (w[0] == 'I' && w[1] == 'M' && w[2] == 'P') return OP_IMP;
    if (w[0] == 'E' && w[1] == 'Q' && w[2] == 'V') return OP_EQV;
    return OP_NONE;
}

void push_element()
{
    if (++engine().height > kElementStack)
        fail(E_OVERFLOW);
}

char result_type(const Value& a, const Value& b)
{
    if (a.type == T_DBL || b.type == T_DBL)
        return T_DBL;
    if (a.type == T_SNG || b.type == T_SNG)
        return T_SNG;
    return T_INT;
}

// Stores a numeric result in its type.
void set_number(Value& v, char type, double n)
{
    if (std::isnan(n))
        fail(E_ARGUMENT);
    if (std::isinf(n))
        fail(E_OVERFLOW);
    v.type = type;
    if (type == T_INT) {
        if (n > INT32_MAX || n < INT32_MIN)
            fail(E_OVERFLOW);
        v.n = std::trunc(n);
    } else if (type == T_SNG) {
        float f = static_cast<float>(n);
        if (std::isinf(f))
            fail(E_OVERFLOW);
        v.n = f;
    } else {
        v.n = n;
    }
}

int compare_strings(const std::string& a, const std::string& b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0)
        return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void apply(int op, Value& a, Value& b)
{
    if (op >= OP_EQ && op <= OP_GE) {
        if (a.is_string() != b.is_string())
            fail(E_TYPE);
        int c;
        if (a.is_string())
            c = compare_strings(a.s, b.s);
        else
            c = a.n < b.n ? -1 : (a.n > b.n ? 1 : 0);
        bool r = false;
        switch (op) {
        case OP_EQ: r = c == 0; break;
        case OP_NE: r = c != 0; break;
        case OP_LT: r = c < 0; break;
        case OP_GT: r = c > 0; break;
        case OP_LE: r = c <= 0; break;
        case OP_GE: r = c >= 0; break;
        }
        a.type = T_INT;
        a.n = r ? -1 : 0;
        a.s.clear();
        return;
    }
    if (op == OP_IMP || op == OP_EQV)
        fail(E_SYNTAX);
    if (op == OP_AND || op == OP_OR || op == OP_XOR) {
        if (a.is_string() || b.is_string())
            fail(E_TYPE);
        int32_t x = to_int(a), y = to_int(b);
        int32_t r = op == OP_AND ? (x & y) : op == OP_OR ? (x | y) : (x ^ y);
        a.type = T_INT;
        a.n = r;
        return;
    }
    if (a.is_string() || b.is_string()) {
        if (op == OP_MOD)
            fail(E_SYNTAX);
        if (op != OP_ADD || !a.is_string() || !b.is_string())
            fail(E_TYPE);
        check_length(a.s.size() + b.s.size());
        a.s += b.s;
        return;
    }
    char type = result_type(a, b);
    double x = a.n, y = b.n;
    switch (op) {
    case OP_ADD: set_number(a, type, x + y); return;
    case OP_SUB: set_number(a, type, x - y); return;
    case OP_MUL: set_number(a, type, x * y); return;
    case OP_DIV:
        if (y == 0)
            fail(E_DIV_ZERO);
        set_number(a, type, type == T_INT ? std::trunc(x / y) : x / y);
        return;
    case OP_IDIV: {
        int32_t p = to_int(x), q = to_int(y);
        if (q == 0)
            fail(E_DIV_ZERO);
        set_number(a, T_INT, std::trunc(static_cast<double>(p) / q));
        return;
    }
    case OP_MOD:
        if (y == 0) {
            a.type = T_INT;
            a.n = -1;
            fail(E_DIV_ZERO);
        }
        set_number(a, type, std::fmod(x, y));
        return;
    case OP_POW:
        set_number(a, type, std::pow(x, y));
        return;
    }
    fail(E_SYNTAX);
}

void parse(const char* t, int32_t& pos, int limit, Value& out);

// Names the engine answers itself: the error state and the program's
// arguments.
bool pseudo_variable(std::string_view upper_name, const char* t, int32_t& pos, Value& out)
{
    Engine& e = engine();
    if (upper_name == "ERR") {
        out = Value::integer(e.err);
        return true;
    }
    if (upper_name == "ERL") {
        out = Value::integer(e.erl);
        return true;
    }
    if (upper_name == "ARGC") {
        out = Value::integer(static_cast<int32_t>(e.args.size()));
        return true;
    }
    if (upper_name == "COMMAND$") {
        std::string all;
        for (size_t i = 0; i < e.args.size(); ++i) {
            if (i)
                all += ' ';
            all += e.args[i];
        }
        out = Value::string(all);
        return true;
    }
    if (upper_name == "ARGV$") {
        pos = skip_blanks(t, pos);
        if (t[pos] != '(')
            fail(E_SYNTAX);
        ++pos;
        int32_t n = eval_int(t, pos);
        pos = skip_blanks(t, pos);
        if (t[pos] != ')')
            fail(E_SYNTAX);
        ++pos;
        if (n < 0 || n > static_cast<int32_t>(e.args.size()))
            fail(E_RANGE);
        out = Value::string(n == 0 ? e.script_path : e.args[static_cast<size_t>(n - 1)]);
        return true;
    }
    return false;
}

// The cache slot of a name in the running line's text; null for other texts
// (temporary copies may reuse an address).
NameSlot* name_slot(const char* t, int32_t pos)
{
    Engine& e = engine();
    if (!e.current || t != e.current->text)
        return nullptr;
    auto at = reinterpret_cast<uintptr_t>(t + pos);
    return &e.names[(at ^ (at >> 10)) & (kNameSlots - 1)];
}

// Addresses an element of a variable: subscripts when they follow.
Ref address(Variable* v, const char* t, int32_t& pos)
{
    if (t[pos] != '(')
        return Ref{v, v->current};
    ++pos;
    long element = 0;
    int d = 0;
    for (;; ++d) {
        int32_t sub = eval_int(t, pos);
        if (d >= v->dims)
            fail(E_ARGUMENT);
        if (sub < v->lower || sub > v->upper[static_cast<size_t>(d)])
            fail(E_RANGE);
        v->index[static_cast<size_t>(d)] = sub;
        element = element * (v->upper[static_cast<size_t>(d)] - v->lower + 1) + (sub - v->lower);
        pos = skip_blanks(t, pos);
        if (t[pos] == ',') {
            ++pos;
            continue;
        }
        if (t[pos] != ')')
            fail(E_SYNTAX);
        ++pos;
        break;
    }
    if (d + 1 != v->dims)
        fail(E_ARGUMENT);
    v->current = element;
    return Ref{v, element};
}

void call_function(FunctionRecord* f, const char* t, int32_t& pos, Value& out)
{
    Engine& e = engine();
    int base = e.height;  // the function's own element is already counted
    struct ArgFrame {
        int top;
        ~ArgFrame() { engine().arg_top = top; }
    } frame{e.arg_top};
    Value* args = e.call_args + e.arg_top;
    int argc = 0;
    int32_t p = skip_blanks(t, pos);
    if (t[p] == '(') {
        pos = skip_blanks(t, p + 1);
        if (t[pos] == ')') {
            ++pos;
        } else {
            for (;;) {
                if (argc >= kMaxArgs)
                    fail(E_SYNTAX);
                if (e.arg_top >= kElementStack)
                    fail(E_OVERFLOW);
                int h = e.height;
                ++e.arg_top;
                parse(t, pos, kTopLevel, args[argc]);
                e.height = h + 1;
                ++argc;
                pos = skip_blanks(t, pos);
                if (t[pos] == ',') {
                    ++pos;
                    continue;
                }
                if (t[pos] != ')')
                    fail(E_SYNTAX);
                ++pos;
                break;
            }
        }
    }
    if (f->user) {
        call_user_function(f, argc, args, out);
    } else {
        const BuiltinDef* b = f->builtin;
        if (b->min_args >= 0 && (argc < b->min_args || argc > b->max_args))
            fail(E_SYNTAX);
        if (!f->handler) {
            char text[96];
            std::snprintf(text, sizeof text, "Image command %s is not available in this version", f->name);
            fail_text(text);
        }
        f->handler(argc, args, out);
    }
    e.height = base;
}

void primary(const char* t, int32_t& pos, Value& out)
{
    pos = skip_blanks(t, pos);
    char c = t[pos];
    if (c == '"') {
        push_element();
        int32_t start = ++pos;
        while (t[pos] && t[pos] != '"')
            ++pos;
        out.type = T_STR;
        out.s.assign(t + start, static_cast<size_t>(pos - start));
        if (t[pos] == '"')
            ++pos;
        return;
    }
    if (is_digit(c) || c == '.' || c == '&') {
        push_element();
        if (!scan_number(t, pos, out))
            fail(E_SYNTAX);
        return;
    }
    if (c == '(') {
        int h = engine().height;
        push_element();  // the stretch's result
        ++pos;
        parse(t, pos, kTopLevel, out);
        pos = skip_blanks(t, pos);
        if (t[pos] != ')')
            fail(E_SYNTAX);
        ++pos;
        engine().height = h + 1;
        if (engine().height > kElementStack)
            fail(E_OVERFLOW);
        return;
    }
    if (!is_alpha(c))
        fail(E_SYNTAX);

    push_element();
    Engine& e = engine();
    NameSlot* slot = name_slot(t, pos);
    if (slot && slot->at == t + pos && slot->generation == e.name_generation) {
        pos = slot->end;
        if (slot->function) {
            call_function(slot->function, t, pos, out);
        } else {
            Ref r = address(slot->variable, t, pos);
            ref_get(r, out);
        }
        return;
    }
    int32_t end = scan_name(t, pos);
    std::string_view name(t + pos, static_cast<size_t>(end - pos));
    char up[48];
    size_t n = name.size() < sizeof up ? name.size() : sizeof up - 1;
    for (size_t i = 0; i < n; ++i)
        up[i] = upper(name[i]);
    std::string_view upper_name(up, n);
    // A function name that begins the word calls that function, as keywords
    // do statements; the rest of the word is what follows the call.
    if (FunctionRecord* f = find_function_prefix(upper_name)) {
        int32_t after = pos + static_cast<int32_t>(std::strlen(f->name));
        if (slot)
            *slot = NameSlot{t + pos, e.name_generation, after, f, nullptr};
        pos = after;
        call_function(f, t, pos, out);
        return;
    }
    if (name.size() <= 8) {
        int32_t p = end;
        if (pseudo_variable(upper_name, t, p, out)) {
            pos = p;
            return;
        }
        if ((upper_name == "AND" || upper_name == "OR" || upper_name == "XOR" || upper_name == "MOD" ||
             upper_name == "IMP" || upper_name == "EQV" || upper_name == "NOT"))
            fail(E_SYNTAX);
    }
    if (n >= 2 && up[0] == 'F' && up[1] == 'N' && t[end] == '(')
        fail(E_UNDEFINED_FN);
    Ref r = parse_ref(t, pos);
    ref_get(r, out);
}

void parse_prefix(const char* t, int32_t& pos, int limit, Value& out)
{
    pos = skip_blanks(t, pos);
    char c = t[pos];
    if (c == '-' || c == '+') {
        push_element();
        ++pos;
        parse(t, pos, limit < 4 ? limit : 4, out);
        if (out.is_string())
            fail(E_TYPE);
        if (c == '-') {
            if (out.type == T_INT && out.n == INT32_MIN)
                fail(E_OVERFLOW);
            out.n = out.n == 0 ? 0 : -out.n;
        }
        return;
    }
    if ((c == 'N' || c == 'n') && upper(t[pos + 1]) == 'O' && upper(t[pos + 2]) == 'T' && !is_name_char(t[pos + 3]) &&
        t[pos + 3] != '$' && t[pos + 3] != '%' && t[pos + 3] != '!' && t[pos + 3] != '#') {
        push_element();
        pos += 3;
        parse(t, pos, limit < 11 ? limit : 11, out);
        if (out.is_string())
            fail(E_TYPE);
        int32_t x = to_int(out);
        out.type = T_INT;
        out.n = ~x;
        return;
    }
    primary(t, pos, out);
}

void parse(const char* t, int32_t& pos, int limit, Value& out)
{
    parse_prefix(t, pos, limit, out);
    for (;;) {
        int32_t p = skip_blanks(t, pos);
        int32_t length = 0;
        int op = binary_op(t, p, &length);
        if (op == OP_NONE)
            return;
        int level = op_level(op);
        if (level > limit)
            return;
        pos = p + length;
        push_element();
        Value rhs;
        parse(t, pos, level - 1, rhs);
        apply(op, out, rhs);
    }
}

} // namespace

// ---- scanning ----------------------------------------------------------------------------

int32_t word_end(const char* t, int32_t pos, int32_t* start)
{
    pos = skip_blanks(t, pos);
    *start = pos;
    bool quoted = false;
    for (;; ++pos) {
        char c = t[pos];
        if (c == 0)
            break;
        if (c == '"') {
            if (quoted) {
                ++pos;
                break;
            }
            quoted = true;
            continue;
        }
        if (quoted)
            continue;
        if (c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == ',' || c == ':' || c == ';' || c == '=')
            break;
    }
    return pos;
}

bool at_keyword(const char* t, int32_t pos, const char* keyword)
{
    for (int32_t i = 0; keyword[i]; ++i)
        if (upper(t[pos + i]) != keyword[i])
            return false;
    return true;
}

int32_t expect_end(const char* t, int32_t pos)
{
    pos = skip_blanks(t, pos);
    if (!at_end(t, pos))
        fail(E_SYNTAX);
    return pos;
}

int32_t statement_end(const char* t, int32_t pos)
{
    bool quoted = false;
    for (; t[pos]; ++pos) {
        if (t[pos] == '"')
            quoted = !quoted;
        else if (t[pos] == ':' && !quoted)
            break;
    }
    return pos;
}

int32_t scan_name(const char* t, int32_t pos)
{
    if (!is_alpha(t[pos]))
        return pos;
    while (is_name_char(t[pos]))
        ++pos;
    if (t[pos] == '$' || t[pos] == '%' || t[pos] == '!' || t[pos] == '#')
        ++pos;
    return pos;
}

bool scan_number(const char* t, int32_t& pos, Value& out)
{
    int32_t p = pos;
    out.s.clear();
    if (t[p] == '&') {
        ++p;
        int radix = 8;
        if (t[p] == 'H' || t[p] == 'h') {
            radix = 16;
            ++p;
        } else if (t[p] == 'O' || t[p] == 'o') {
            ++p;
        }
        uint64_t v = 0;
        int digits = 0;
        for (;; ++p) {
            char c = t[p];
            int d;
            if (c >= '0' && c <= '7')
                d = c - '0';
            else if (radix == 16 && (c == '8' || c == '9'))
                d = c - '0';
            else if (radix == 16 && upper(c) >= 'A' && upper(c) <= 'F')
                d = upper(c) - 'A' + 10;
            else
                break;
            v = v * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
            if (v > 0xffffffffu)
                fail(E_OVERFLOW);
            ++digits;
        }
        if (digits == 0)
            return false;
        out.type = T_INT;
        out.n = static_cast<int32_t>(static_cast<uint32_t>(v));
    } else {
        int32_t start = p;
        int64_t whole = 0;
        bool big = false;
        while (is_digit(t[p])) {
            if (whole < 100000000000000000LL)
                whole = whole * 10 + (t[p] - '0');
            else
                big = true;
            ++p;
        }
        bool real = false;
        if (t[p] == '.') {
            real = true;
            ++p;
            while (is_digit(t[p]))
                ++p;
        }
        if (p == start || (p == start + 1 && t[start] == '.'))
            return false;
        char x = upper(t[p]);
        if (x == 'E' || x == 'D') {
            int32_t q = p + 1;
            if (t[q] == '+' || t[q] == '-')
                ++q;
            if (is_digit(t[q])) {
                real = true;
                while (is_digit(t[q]))
                    ++q;
                p = q;
            }
        }
        if (real || big || whole > INT32_MAX) {
            char buffer[64];
            int32_t n = p - start;
            if (n >= static_cast<int32_t>(sizeof buffer)) {
                std::string copy(t + start, static_cast<size_t>(n));
                for (char& c : copy)
                    if (c == 'd' || c == 'D')
                        c = 'E';
                out.n = std::strtod(copy.c_str(), nullptr);
            } else {
                for (int32_t i = 0; i < n; ++i)
                    buffer[i] = (t[start + i] == 'd' || t[start + i] == 'D') ? 'E' : t[start + i];
                buffer[n] = 0;
                out.n = std::strtod(buffer, nullptr);
            }
            if (std::isinf(out.n))
                fail(E_OVERFLOW);
            out.type = T_DBL;
        } else {
            out.type = T_INT;
            out.n = static_cast<double>(whole);
        }
    }
    char s = t[p];
    if (s == '!' || s == '#' || s == '%') {
        ++p;
        if (s == '!')
            set_number(out, T_SNG, out.n);
        else if (s == '#')
            out.type = T_DBL;
        else
            set_number(out, T_INT, out.n);
    }
    pos = p;
    return true;
}

// ---- evaluation -------------------------------------------------------------------------

void evaluate(const char* t, int32_t& pos, Value& out)
{
    Engine& e = engine();
    int h = e.height;
    pos = skip_blanks(t, pos);
    while (t[pos] == ':')
        pos = skip_blanks(t, pos + 1);
    parse(t, pos, kTopLevel, out);
    e.height = h;
}

double eval_number(const char* t, int32_t& pos)
{
    Value v;
    evaluate(t, pos, v);
    return to_number(v);
}

int32_t eval_int(const char* t, int32_t& pos)
{
    Value v;
    evaluate(t, pos, v);
    return to_int(v);
}

std::string eval_string(const char* t, int32_t& pos)
{
    Value v;
    evaluate(t, pos, v);
    if (!v.is_string())
        fail(E_TYPE);
    return std::move(v.s);
}

// ---- conversions ---------------------------------------------------------------------------

int32_t to_int(double n)
{
    if (!(n > -2147483649.0 && n < 2147483648.0))
        fail(E_OVERFLOW);
    return static_cast<int32_t>(std::trunc(n));
}

int32_t to_int(const Value& v)
{
    if (v.is_string())
        fail(E_TYPE);
    return to_int(v.n);
}

double to_number(const Value& v)
{
    if (v.is_string())
        fail(E_TYPE);
    return v.n;
}

void convert_to(Value& v, char type)
{
    if (type == T_STR) {
        if (!v.is_string())
            fail(E_TYPE);
        return;
    }
    if (v.is_string())
        fail(E_TYPE);
    if (v.type != type)
        set_number(v, type, v.n);
}

void check_length(size_t length)
{
    if (length > engine().max_string)
        fail(E_MEMORY);
}

std::string format_number(const Value& v)
{
    double x = v.n == 0 ? 0 : v.n;
    int most = v.type == T_DBL ? 12 : 6;
    int decimals = 0;
    if (v.type == T_SNG) {
        // A single's remaining fraction is taken in its own precision, so
        // that 30.07 does not show the float's representation error.
        float f = static_cast<float>(x);
        float scale = 1;
        for (; decimals < most; ++decimals, scale *= 10) {
            float r = std::round(f * scale) / scale;
            if (std::fabs(f - r) < 0.0000001f)
                break;
        }
    } else if (v.type == T_DBL) {
        double scale = 1;
        for (; decimals < most; ++decimals, scale *= 10) {
            double r = std::round(x * scale) / scale;
            if (std::fabs(x - r) < 0.0000001)
                break;
        }
    }
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, " %.*f", decimals, x);
    if (n >= 0 && n < static_cast<int>(sizeof buffer))
        return std::string(buffer, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, 0);
    std::snprintf(big.data(), big.size(), " %.*f", decimals, x);
    big.resize(static_cast<size_t>(n));
    return big;
}

// ---- variables ----------------------------------------------------------------------------

char name_type(std::string_view name)
{
    char last = name.empty() ? 0 : name.back();
    if (last == T_INT || last == T_SNG || last == T_DBL || last == T_STR)
        return last;
    unsigned char first = name.empty() ? 0 : static_cast<unsigned char>(name[0]);
    if (first < 128 && engine().def_type[first])
        return engine().def_type[first];
    return T_SNG;
}

Variable* find_variable(std::string_view name)
{
    Engine& e = engine();
    auto it = e.vars.find(name);
    return it == e.vars.end() ? nullptr : it->second.get();
}

Variable* get_variable(std::string_view name)
{
    Engine& e = engine();
    auto it = e.vars.find(name);
    if (it != e.vars.end())
        return it->second.get();
    if (name.size() > kNameLength)
        fail(E_SYNTAX);
    auto v = std::make_unique<Variable>();
    v->name = std::string(name);
    v->type = name_type(name);
    v->upper.assign(1, e.array_base);
    v->index.assign(1, e.array_base);
    v->lower = e.array_base;
    v->count = 1;
    if (v->type == T_STR)
        v->str.resize(1);
    else
        v->num.assign(1, 0.0);
    Variable* raw = v.get();
    e.vars.emplace(raw->name, std::move(v));
    return raw;
}

Ref parse_ref(const char* t, int32_t& pos)
{
    Engine& e = engine();
    pos = skip_blanks(t, pos);
    NameSlot* slot = name_slot(t, pos);
    Variable* v;
    if (slot && slot->at == t + pos && slot->generation == e.name_generation && slot->variable) {
        v = slot->variable;
        pos = slot->end;
    } else {
        int32_t end = scan_name(t, pos);
        if (end == pos)
            fail(E_SYNTAX);
        v = get_variable(std::string_view(t + pos, static_cast<size_t>(end - pos)));
        // A slot that names a function here stays as it is.
        if (slot && !(slot->at == t + pos && slot->generation == e.name_generation && slot->function))
            *slot = NameSlot{t + pos, e.name_generation, end, nullptr, v};
        pos = end;
    }
    return address(v, t, pos);
}

void ref_get(const Ref& r, Value& out)
{
    Variable* v = r.var;
    out.type = v->type;
    if (v->type == T_STR)
        out.s = v->str[static_cast<size_t>(r.element)];
    else
        out.n = v->num[static_cast<size_t>(r.element)];
}

void ref_set(const Ref& r, const Value& value)
{
    Variable* v = r.var;
    if (v->type == T_STR) {
        if (!value.is_string())
            fail(E_TYPE);
        v->str[static_cast<size_t>(r.element)] = value.s;
        return;
    }
    if (value.is_string())
        fail(E_TYPE);
    if (value.type == v->type) {
        v->num[static_cast<size_t>(r.element)] = value.n;
        return;
    }
    Value x = value;
    set_number(x, v->type, x.n);
    v->num[static_cast<size_t>(r.element)] = x.n;
}

void variables_clear(bool keep_common)
{
    Engine& e = engine();
    names_changed();
    for (auto it = e.vars.begin(); it != e.vars.end();) {
        if (keep_common && it->second->common)
            ++it;
        else
            it = e.vars.erase(it);
    }
    // Loop frames name variables that may be gone.
    e.for_level = 0;
}

void variable_erase(Variable* v)
{
    Engine& e = engine();
    names_changed();
    for (int k = e.for_level; k >= 1; --k)
        if (e.for_stack[k].var == v)
            e.for_level = k - 1;
    e.vars.erase(v->name);
}

Variable* make_array(std::string_view name, const std::vector<int32_t>& upper_bounds)
{
    Engine& e = engine();
    Variable* v = find_variable(name);
    if (v && v->array)
        fail(E_REDIM);
    long count = 1;
    for (int32_t u : upper_bounds) {
        if (u < e.array_base)
            fail(E_RANGE);
        long extent = static_cast<long>(u) - e.array_base + 1;
        if (extent > e.max_elements || count * extent > e.max_elements)
            fail(E_MEMORY);
        count *= extent;
    }
    if (!v)
        v = get_variable(name);
    // The record stays the same: loops and fields may refer to it.
    v->dims = static_cast<int>(upper_bounds.size());
    v->upper = upper_bounds;
    v->index.assign(upper_bounds.size(), e.array_base);
    v->lower = e.array_base;
    v->count = count;
    v->current = 0;
    if (v->type == T_STR) {
        v->str.assign(static_cast<size_t>(count), std::string());
    } else {
        v->num.assign(static_cast<size_t>(count), 0.0);
    }
    v->array = true;
    e.dim_seen = true;
    return v;
}

} // namespace script
