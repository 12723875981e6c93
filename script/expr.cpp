// Expressions over the four value types, numeric constants, variables and
// arrays.
//
// Operators bind by level (0 first) and, within a level, left to right, as
// if every element of a stretch were pushed on the 64-element stack and the
// stretch reduced level by level; precedence climbing gives the same result
// without the repeated walks.  The stack height is still counted element by
// element, so an expression too long for the stack reports "Overflow" as
// before.  An expression of the running line is read from its text once;
// later runs walk the tree it was read into (below).
#include "script/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace script {

int scan_number_code(const char* t, int32_t& pos, Value& out);

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

// Calls a function with its arguments evaluated.
void dispatch(FunctionRecord* f, int argc, Value* args, Value& out)
{
    if (f->user) {
        call_user_function(f, argc, args, out);
        return;
    }
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
    dispatch(f, argc, args, out);
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

// ---- expressions read once -------------------------------------------------------------
//
// An expression of a line is read into a tree of nodes the first time it is
// evaluated; later evaluations walk the tree.  The tree mirrors the reading
// above step for step: the same operators applied in the same order to the
// same values, names resolved as they would be at that moment.  Whatever
// the reading would refuse (a syntax error, a constant out of range, an
// undefined function) is never read into a tree: that expression keeps
// being read from its text, so that its error comes at the same point,
// after the same side effects.  The functions of a tree are those in force
// when it was read (a new name generation reads it again); variables are
// looked up when first reached, as the text does.
//
// The element stack is not counted element by element: how high an
// expression takes it follows from its shape.  A tree runs only where it
// cannot overflow the stack (else the text reports the overflow where it
// happens), and the height is set to its exact value wherever a function
// is called, since a function of the program evaluates from there.

enum NodeKind : uint8_t {
    N_CONST,     // a number or string constant
    N_VARIABLE,
    N_BINARY,
    N_CALL,
    N_PAREN,     // a parenthesised stretch
    N_NEG,       // unary minus
    N_PLUS,      // unary plus
    N_NOT,
    N_ERR,
    N_ERL,
    N_ARGC,
    N_COMMAND,
    N_ARGV,
};

struct Node {
    NodeKind kind;
    uint8_t op = 0;        // N_BINARY: operator code
    uint16_t count = 0;    // N_VARIABLE: subscripts, N_CALL: arguments
    int32_t a = -1;        // first operand, constant index, or first of `count` children in `kids`
    int32_t b = -1;        // N_BINARY: right operand
    int32_t name_at = 0;   // N_VARIABLE: the name in `names`
    int32_t name_end = 0;
    int32_t base = 0;      // N_CALL: the height after its own element, from the start
    // The element stack from the node's start: what it adds when done, the
    // highest it goes, and the most arguments in progress at a check (-1:
    // no function called).
    int32_t rise = 0, peak = 0, args_peak = -1;
    FunctionRecord* function = nullptr;
    Variable* variable = nullptr;  // resolved for `generation`
    uint32_t generation = 0;
};

struct Compiled {
    int users = 0;         // evaluations walking it now
    bool retired = false;  // replaced or its line freed: goes when unused
    std::vector<Node> nodes;
    std::vector<int32_t> kids;
    std::vector<Value> constants;
    std::string names;  // the variable names, copied out of the text
    int32_t root = -1;
    int32_t value = -1;  // an assignment's value (`root` is its variable)
    int32_t end = 0;     // text position behind the expression
};

// Reading gives up on anything the text reading would report.
struct NotCompiled {};

struct Compiler {
    const char* t;
    Compiled& c;

    Node& at(int32_t i) { return c.nodes[static_cast<size_t>(i)]; }
    int32_t kid(const Node& n, int k) const { return c.kids[static_cast<size_t>(n.a + k)]; }

    // Adds a node whose children are all in place, with its stack figures.
    int32_t add(Node n)
    {
        switch (n.kind) {
        case N_BINARY: {
            const Node& l = at(n.a);
            const Node& r = at(n.b);
            n.rise = l.rise + 1 + r.rise;
            n.peak = std::max(l.peak, l.rise + 1 + r.peak);
            n.args_peak = std::max(l.args_peak, r.args_peak);
            break;
        }
        case N_PAREN:
        case N_NEG:
        case N_PLUS:
        case N_NOT:
        case N_ARGV: {
            const Node& x = at(n.a);
            n.rise = n.kind == N_PAREN || n.kind == N_ARGV ? 1 : 1 + x.rise;
            n.peak = 1 + x.peak;
            n.args_peak = x.args_peak;
            break;
        }
        case N_VARIABLE:
            // Each subscript is an evaluation of its own above the name.
            n.rise = n.peak = 1;
            for (int k = 0; k < n.count; ++k) {
                const Node& x = at(kid(n, k));
                n.peak = std::max(n.peak, 1 + x.peak);
                n.args_peak = std::max(n.args_peak, x.args_peak);
            }
            break;
        case N_CALL:
            // Argument k starts k elements above the name's; the check of
            // the arguments in progress comes before each one.
            n.rise = n.peak = 1;
            for (int k = 0; k < n.count; ++k) {
                const Node& x = at(kid(n, k));
                n.peak = std::max(n.peak, 1 + k + x.peak);
                n.args_peak = std::max(n.args_peak, std::max(k, k + 1 + x.args_peak));
            }
            break;
        default:
            n.rise = n.peak = 1;
            break;
        }
        c.nodes.push_back(n);
        return static_cast<int32_t>(c.nodes.size() - 1);
    }

    // The height at which each call's arguments begin, from the start.
    void place(int32_t i, int32_t from)
    {
        Node& n = at(i);
        switch (n.kind) {
        case N_BINARY: {
            int32_t left = n.a, right = n.b;
            int32_t rise = at(left).rise;
            place(left, from);
            place(right, from + rise + 1);
            break;
        }
        case N_PAREN:
        case N_NEG:
        case N_PLUS:
        case N_NOT:
        case N_ARGV:
            place(n.a, from + 1);
            break;
        case N_VARIABLE:
            for (int k = 0; k < n.count; ++k)
                place(kid(n, k), from + 1);
            break;
        case N_CALL:
            n.base = from + 1;
            for (int k = 0; k < n.count; ++k)
                place(kid(n, k), from + 1 + k);
            break;
        default:
            break;
        }
    }

    int32_t parse(int32_t& pos, int limit)
    {
        int32_t left = prefix(pos, limit);
        for (;;) {
            int32_t p = skip_blanks(t, pos);
            int32_t length = 0;
            int op = binary_op(t, p, &length);
            if (op == OP_NONE)
                return left;
            int level = op_level(op);
            if (level > limit)
                return left;
            pos = p + length;
            int32_t right = parse(pos, level - 1);
            Node n{N_BINARY};
            n.op = static_cast<uint8_t>(op);
            n.a = left;
            n.b = right;
            left = add(n);
        }
    }

    int32_t prefix(int32_t& pos, int limit)
    {
        pos = skip_blanks(t, pos);
        char c = t[pos];
        if (c == '-' || c == '+') {
            ++pos;
            Node n{c == '-' ? N_NEG : N_PLUS};
            n.a = parse(pos, limit < 4 ? limit : 4);
            return add(n);
        }
        if ((c == 'N' || c == 'n') && upper(t[pos + 1]) == 'O' && upper(t[pos + 2]) == 'T' &&
            !is_name_char(t[pos + 3]) && t[pos + 3] != '$' && t[pos + 3] != '%' && t[pos + 3] != '!' &&
            t[pos + 3] != '#') {
            pos += 3;
            Node n{N_NOT};
            n.a = parse(pos, limit < 11 ? limit : 11);
            return add(n);
        }
        return primary(pos);
    }

    // A variable as parse_ref() reads it: a name and its subscripts, with
    // no element of its own on the stack.
    int32_t reference(int32_t& pos)
    {
        pos = skip_blanks(t, pos);
        int32_t end = scan_name(t, pos);
        if (end == pos)
            throw NotCompiled{};
        Node v{N_VARIABLE};
        v.name_at = static_cast<int32_t>(c.names.size());
        c.names.append(t + pos, static_cast<size_t>(end - pos));
        v.name_end = static_cast<int32_t>(c.names.size());
        pos = end;
        std::vector<int32_t> kids;
        if (t[pos] == '(') {
            ++pos;
            children(pos, kids, [this](int32_t& from) { return nested(from); });
        }
        return with_children(v, kids);
    }

    // As evaluate() reads a nested expression (subscripts, ARGV$).
    int32_t nested(int32_t& pos)
    {
        pos = skip_blanks(t, pos);
        while (t[pos] == ':')
            pos = skip_blanks(t, pos + 1);
        return parse(pos, kTopLevel);
    }

    int32_t constant(Value v)
    {
        c.constants.push_back(std::move(v));
        Node n{N_CONST};
        n.a = static_cast<int32_t>(c.constants.size() - 1);
        return add(n);
    }

    // Children read by `read_one` up to ')', separated by ','.
    template <class F>
    void children(int32_t& pos, std::vector<int32_t>& out, F read_one)
    {
        for (;;) {
            if (out.size() >= static_cast<size_t>(kMaxArgs))
                throw NotCompiled{};
            out.push_back(read_one(pos));
            pos = skip_blanks(t, pos);
            if (t[pos] == ',') {
                ++pos;
                continue;
            }
            if (t[pos] != ')')
                throw NotCompiled{};
            ++pos;
            return;
        }
    }

    int32_t with_children(Node n, const std::vector<int32_t>& kids)
    {
        n.a = static_cast<int32_t>(c.kids.size());
        n.count = static_cast<uint16_t>(kids.size());
        c.kids.insert(c.kids.end(), kids.begin(), kids.end());
        return add(n);
    }

    int32_t primary(int32_t& pos)
    {
        pos = skip_blanks(t, pos);
        char ch = t[pos];
        if (ch == '"') {
            int32_t start = ++pos;
            while (t[pos] && t[pos] != '"')
                ++pos;
            Value v = Value::string(std::string(t + start, static_cast<size_t>(pos - start)));
            if (t[pos] == '"')
                ++pos;
            return constant(std::move(v));
        }
        if (is_digit(ch) || ch == '.' || ch == '&') {
            Value v;
            if (scan_number_code(t, pos, v) != 0)
                throw NotCompiled{};
            return constant(std::move(v));
        }
        if (ch == '(') {
            ++pos;
            Node n{N_PAREN};
            n.a = parse(pos, kTopLevel);
            pos = skip_blanks(t, pos);
            if (t[pos] != ')')
                throw NotCompiled{};
            ++pos;
            return add(n);
        }
        if (!is_alpha(ch))
            throw NotCompiled{};

        int32_t end = scan_name(t, pos);
        std::string_view name(t + pos, static_cast<size_t>(end - pos));
        char up[48];
        size_t n = name.size() < sizeof up ? name.size() : sizeof up - 1;
        for (size_t i = 0; i < n; ++i)
            up[i] = upper(name[i]);
        std::string_view upper_name(up, n);
        if (FunctionRecord* f = find_function_prefix(upper_name)) {
            pos += static_cast<int32_t>(std::strlen(f->name));
            std::vector<int32_t> kids;
            int32_t p = skip_blanks(t, pos);
            if (t[p] == '(') {
                pos = skip_blanks(t, p + 1);
                if (t[pos] == ')')
                    ++pos;
                else
                    children(pos, kids, [this](int32_t& from) { return parse(from, kTopLevel); });
            }
            Node call{N_CALL};
            call.function = f;
            return with_children(call, kids);
        }
        if (name.size() <= 8) {
            if (upper_name == "ARGV$") {
                pos = skip_blanks(t, end);
                if (t[pos] != '(')
                    throw NotCompiled{};
                ++pos;
                Node argv{N_ARGV};
                argv.a = nested(pos);
                pos = skip_blanks(t, pos);
                if (t[pos] != ')')
                    throw NotCompiled{};
                ++pos;
                return add(argv);
            }
            NodeKind pseudo = upper_name == "ERR"        ? N_ERR
                              : upper_name == "ERL"      ? N_ERL
                              : upper_name == "ARGC"     ? N_ARGC
                              : upper_name == "COMMAND$" ? N_COMMAND
                                                         : N_CONST;
            if (pseudo != N_CONST) {
                pos = end;
                return add(Node{pseudo});
            }
            if (upper_name == "AND" || upper_name == "OR" || upper_name == "XOR" || upper_name == "MOD" ||
                upper_name == "IMP" || upper_name == "EQV" || upper_name == "NOT")
                throw NotCompiled{};
        }
        if (n >= 2 && up[0] == 'F' && up[1] == 'N' && t[end] == '(')
            throw NotCompiled{};
        Node v{N_VARIABLE};
        v.name_at = static_cast<int32_t>(c.names.size());
        c.names.append(name);
        v.name_end = static_cast<int32_t>(c.names.size());
        pos = end;
        std::vector<int32_t> kids;
        if (t[pos] == '(') {
            ++pos;
            children(pos, kids, [this](int32_t& from) { return nested(from); });
        }
        return with_children(v, kids);
    }
};

// Walks a tree: the steps of the text reading, without the text.
struct Runner {
    Compiled& c;
    Engine& e;
    int start;  // the element stack's height when the evaluation began

    // Constants and plain variables already looked up, without a call.
    bool leaf(const Node& n, Value& out)
    {
        if (n.kind == N_CONST) {
            const Value& v = c.constants[static_cast<size_t>(n.a)];
            out.type = v.type;
            out.n = v.n;
            if (v.type == T_STR)
                out.s = v.s;
            return true;
        }
        if (n.kind == N_VARIABLE && n.count == 0 && n.generation == e.name_generation && n.variable) {
            const Variable* v = n.variable;
            out.type = v->type;
            if (v->type == T_STR)
                out.s = v->str[static_cast<size_t>(v->current)];
            else
                out.n = v->num[static_cast<size_t>(v->current)];
            return true;
        }
        return false;
    }

    void run(int32_t index, Value& out)
    {
        Node& n = c.nodes[static_cast<size_t>(index)];
        if (leaf(n, out))
            return;
        switch (n.kind) {
        case N_VARIABLE:
            variable(n, out);
            return;
        case N_BINARY:
            binary(n, out);
            return;
        case N_CALL:
            call(n, out);
            return;
        default:
            other(n, out);
            return;
        }
    }

    // A numeric constant or plain numeric variable, without a Value.
    bool number_leaf(const Node& n, double& x, char& type)
    {
        if (n.kind == N_CONST) {
            const Value& v = c.constants[static_cast<size_t>(n.a)];
            type = v.type;
            x = v.n;
            return type != T_STR;
        }
        if (n.kind == N_VARIABLE && n.count == 0 && n.generation == e.name_generation && n.variable &&
            n.variable->type != T_STR) {
            type = n.variable->type;
            x = n.variable->num[static_cast<size_t>(n.variable->current)];
            return true;
        }
        return false;
    }

    // The common numeric cases, as apply() computes them; false for the rest.
    static bool numeric(int op, Value& out, double y, char type)
    {
        char t = out.type == T_DBL || type == T_DBL ? T_DBL : (out.type == T_SNG || type == T_SNG ? T_SNG : T_INT);
        double x = out.n;
        switch (op) {
        case OP_ADD: set_number(out, t, x + y); return true;
        case OP_SUB: set_number(out, t, x - y); return true;
        case OP_MUL: set_number(out, t, x * y); return true;
        case OP_LT: out.type = T_INT; out.n = x < y ? -1 : 0; return true;
        case OP_GT: out.type = T_INT; out.n = x > y ? -1 : 0; return true;
        case OP_LE: out.type = T_INT; out.n = x <= y ? -1 : 0; return true;
        case OP_GE: out.type = T_INT; out.n = x >= y ? -1 : 0; return true;
        case OP_EQ: out.type = T_INT; out.n = x == y ? -1 : 0; return true;
        case OP_NE: out.type = T_INT; out.n = x != y ? -1 : 0; return true;
        default: return false;
        }
    }

    [[gnu::noinline]] void binary(const Node& n, Value& out)
    {
        int op = n.op;
        if (!leaf(c.nodes[static_cast<size_t>(n.a)], out))
            run(n.a, out);
        double y = 0;
        char type = T_INT;
        if (out.type != T_STR && number_leaf(c.nodes[static_cast<size_t>(n.b)], y, type)) {
            if (numeric(op, out, y, type))
                return;
            Value rhs;
            rhs.type = type;
            rhs.n = y;
            apply(op, out, rhs);
            return;
        }
        Value rhs;
        if (!leaf(c.nodes[static_cast<size_t>(n.b)], rhs))
            run(n.b, rhs);
        if (out.type != T_STR && rhs.type != T_STR && numeric(op, out, rhs.n, rhs.type))
            return;
        apply(op, out, rhs);
    }

    int32_t subscript(int32_t node)
    {
        Value v;
        run(node, v);
        return to_int(v);
    }

    [[gnu::noinline]] void variable(Node& n, Value& out) { ref_get(reference(n), out); }

    Ref reference(Node& n)
    {
        if (n.generation != e.name_generation || !n.variable) {
            std::string_view name(c.names.data() + n.name_at, static_cast<size_t>(n.name_end - n.name_at));
            n.variable = get_variable(name);
            n.generation = e.name_generation;
        }
        Variable* v = n.variable;
        Ref r{v, v->current};
        if (n.count > 0) {
            long element = 0;
            int d = 0;
            for (; d < n.count; ++d) {
                int32_t sub = subscript(c.kids[static_cast<size_t>(n.a + d)]);
                if (d >= v->dims)
                    fail(E_ARGUMENT);
                if (sub < v->lower || sub > v->upper[static_cast<size_t>(d)])
                    fail(E_RANGE);
                v->index[static_cast<size_t>(d)] = sub;
                element = element * (v->upper[static_cast<size_t>(d)] - v->lower + 1) + (sub - v->lower);
            }
            if (d != v->dims)
                fail(E_ARGUMENT);
            v->current = element;
            r.element = element;
        }
        return r;
    }

    [[gnu::noinline]] void call(const Node& n, Value& out)
    {
        struct ArgFrame {
            int top;
            ~ArgFrame() { engine().arg_top = top; }
        } frame{e.arg_top};
        Value* args = e.call_args + e.arg_top;
        int argc = 0;
        for (int k = 0; k < n.count; ++k) {
            ++e.arg_top;
            run(c.kids[static_cast<size_t>(n.a + k)], args[argc]);
            ++argc;
        }
        // A function of the program evaluates from here.
        e.height = start + n.base + argc;
        dispatch(n.function, argc, args, out);
    }

    [[gnu::noinline]] void other(const Node& n, Value& out)
    {
        switch (n.kind) {
        case N_PAREN:
            run(n.a, out);
            return;
        case N_NEG:
        case N_PLUS:
            run(n.a, out);
            if (out.is_string())
                fail(E_TYPE);
            if (n.kind == N_NEG) {
                if (out.type == T_INT && out.n == INT32_MIN)
                    fail(E_OVERFLOW);
                out.n = out.n == 0 ? 0 : -out.n;
            }
            return;
        case N_NOT: {
            run(n.a, out);
            if (out.is_string())
                fail(E_TYPE);
            int32_t x = to_int(out);
            out.type = T_INT;
            out.n = ~x;
            return;
        }
        case N_ERR:
            out = Value::integer(e.err);
            return;
        case N_ERL:
            out = Value::integer(e.erl);
            return;
        case N_ARGC:
            out = Value::integer(static_cast<int32_t>(e.args.size()));
            return;
        case N_COMMAND: {
            std::string all;
            for (size_t i = 0; i < e.args.size(); ++i) {
                if (i)
                    all += ' ';
                all += e.args[i];
            }
            out = Value::string(all);
            return;
        }
        case N_ARGV: {
            int32_t k = subscript(n.a);
            if (k < 0 || k > static_cast<int32_t>(e.args.size()))
                fail(E_RANGE);
            out = Value::string(k == 0 ? e.script_path : e.args[static_cast<size_t>(k - 1)]);
            return;
        }
        default:
            return;
        }
    }
};

// What a line keeps of its text, by the position it starts at: expressions
// and variable references read into trees, and IF's search for its ELSE.
enum EntryKind : uint8_t { E_EXPRESSION, E_REFERENCE, E_ASSIGNMENT, E_MEMO };

struct CacheEntry {
    int32_t pos;
    int32_t limit;        // where the text ended when it was read
    EntryKind kind;
    uint32_t generation;  // the name generation it was read under
    Compiled* code;       // null: read from the text
    int32_t memo;
};

// A tree is given up when nothing walks it any more: an error handler run
// from inside an expression may replace the tree it came from, or free its
// line.
void retire(Compiled* code)
{
    if (!code)
        return;
    if (code->users > 0)
        code->retired = true;
    else
        delete code;
}

struct Use {
    Compiled* code;
    explicit Use(Compiled* c) : code(c) { ++code->users; }
    ~Use()
    {
        if (--code->users == 0 && code->retired)
            delete code;
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
};

} // namespace

struct LineCache {
    std::vector<CacheEntry> entries;
};

void line_cache_free(Line* line)
{
    if (!line->cache)
        return;
    for (CacheEntry& c : line->cache->entries)
        retire(c.code);
    delete line->cache;
    line->cache = nullptr;
}

namespace {

// The running line's entry of that kind at pos; `fresh` tells that it has
// to be made (anew).  Null where nothing is kept: another text, or reading
// once turned off.
[[gnu::noinline]] CacheEntry* entry_at_slow(const char* t, int32_t pos, EntryKind kind, bool& fresh)
{
    Engine& e = engine();
    Line* line = e.current;
    if (!e.compile || !line || t != line->text)
        return nullptr;
    int32_t limit = line->length;
    for (const Engine::Cut& cut : e.cuts)
        if (cut.text == t && cut.at >= pos && cut.at < limit)
            limit = cut.at;
    if (!line->cache)
        line->cache = new LineCache;
    for (CacheEntry& c : line->cache->entries)
        if (c.pos == pos && c.limit == limit && c.kind == kind) {
            fresh = c.generation != e.name_generation;
            c.generation = e.name_generation;
            return &c;
        }
    line->cache->entries.push_back(CacheEntry{pos, limit, kind, e.name_generation, nullptr, 0});
    fresh = true;
    return &line->cache->entries.back();
}

// The same, straight to an entry that is up to date in the common case: the
// running line, nothing cut short.
inline CacheEntry* entry_at(const char* t, int32_t pos, EntryKind kind, bool& fresh)
{
    Engine& e = engine();
    Line* line = e.current;
    if (line && t == line->text && line->cache && e.cuts.empty()) {
        for (CacheEntry& c : line->cache->entries)
            if (c.pos == pos && c.kind == kind && c.limit == line->length && c.generation == e.name_generation) {
                fresh = false;
                return &c;
            }
    }
    return entry_at_slow(t, pos, kind, fresh);
}

// The tree of the running line's expression (or variable reference) at pos,
// read now if need be; null when it is to be read from the text.
[[gnu::noinline]] void compile_entry(CacheEntry* entry, const char* t, int32_t pos, EntryKind kind)
{
    retire(entry->code);
    entry->code = nullptr;
    auto code = std::make_unique<Compiled>();
    try {
        Compiler reader{t, *code};
        int32_t p = pos;
        if (kind == E_REFERENCE || kind == E_ASSIGNMENT) {
            code->root = reader.reference(p);
            reader.place(code->root, -1);  // no element of its own
            if (kind == E_ASSIGNMENT) {
                // As LET reads it: variable, '=', value, end of statement.
                p = skip_blanks(t, p);
                if (t[p] != '=')
                    throw NotCompiled{};
                ++p;
                code->value = reader.nested(p);
                reader.place(code->value, 0);
                p = skip_blanks(t, p);
                if (!at_end(t, p))
                    throw NotCompiled{};
            }
        } else {
            code->root = reader.nested(p);
            reader.place(code->root, 0);
        }
        code->end = p;
        entry->code = code.release();
    } catch (const NotCompiled&) {
    }
}

inline Compiled* compiled_at(const char* t, int32_t pos, EntryKind kind)
{
    bool fresh = false;
    CacheEntry* entry = entry_at(t, pos, kind, fresh);
    if (!entry)
        return nullptr;
    if (fresh)
        compile_entry(entry, t, pos, kind);
    return entry->code;
}

} // namespace

bool assign_compiled(Line* line, int32_t pos)
{
    Engine& e = engine();
    Compiled* code = compiled_at(line->text, pos, E_ASSIGNMENT);
    if (!code)
        return false;
    Node& target = code->nodes[static_cast<size_t>(code->root)];
    const Node& value = code->nodes[static_cast<size_t>(code->value)];
    int h = e.height;
    if (h + target.peak - 1 > kElementStack || e.arg_top + target.args_peak >= kElementStack ||
        h + value.peak > kElementStack || e.arg_top + value.args_peak >= kElementStack)
        return false;
    Use use(code);
    Runner runner{*code, e, h};
    Ref r = runner.reference(target);
    e.height = h;
    Value v;
    runner.run(code->value, v);
    e.height = h;
    line->cursor = code->end;
    ref_set(r, std::move(v));
    return true;
}

int32_t line_memo(const char* t, int32_t pos, int32_t (*compute)(const char*, int32_t))
{
    bool fresh = false;
    CacheEntry* entry = entry_at(t, pos, E_MEMO, fresh);
    if (!entry)
        return compute(t, pos);
    // The text alone decides it: a new name generation changes nothing.
    if (entry->memo == 0)
        entry->memo = compute(t, pos) + 2;
    return entry->memo - 2;
}

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

// The number at pos without the error path: 0 read, -1 none there, else the
// error it would report.
int scan_number_code(const char* t, int32_t& pos, Value& out)
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
                return E_OVERFLOW;
            ++digits;
        }
        if (digits == 0)
            return -1;
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
            return -1;
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
                return E_OVERFLOW;
            out.type = T_DBL;
        } else {
            out.type = T_INT;
            out.n = static_cast<double>(whole);
        }
    }
    char s = t[p];
    if (s == '!' || s == '#' || s == '%') {
        ++p;
        if (s == '!') {
            float f = static_cast<float>(out.n);
            if (std::isinf(f))
                return E_OVERFLOW;
            out.type = T_SNG;
            out.n = f;
        } else if (s == '#') {
            out.type = T_DBL;
        } else {
            if (out.n > INT32_MAX || out.n < INT32_MIN)
                return E_OVERFLOW;
            out.type = T_INT;
            out.n = std::trunc(out.n);
        }
    }
    pos = p;
    return 0;
}

bool scan_number(const char* t, int32_t& pos, Value& out)
{
    int code = scan_number_code(t, pos, out);
    if (code > 0)
        fail(code);
    return code == 0;
}

// ---- evaluation -------------------------------------------------------------------------

void evaluate(const char* t, int32_t& pos, Value& out)
{
    Engine& e = engine();
    int h = e.height;
    if (Compiled* code = compiled_at(t, pos, E_EXPRESSION)) {
        const Node& root = code->nodes[static_cast<size_t>(code->root)];
        // Where the stack could overflow, the text reports it at its place.
        if (h + root.peak <= kElementStack && e.arg_top + root.args_peak < kElementStack) {
            Use use(code);
            Runner{*code, e, h}.run(code->root, out);
            pos = code->end;
            e.height = h;
            return;
        }
    }
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
    if (Compiled* code = compiled_at(t, pos, E_REFERENCE)) {
        Node& root = code->nodes[static_cast<size_t>(code->root)];
        int h = e.height;
        if (h + root.peak - 1 <= kElementStack && e.arg_top + root.args_peak < kElementStack) {
            Use use(code);
            Ref r = Runner{*code, e, h}.reference(root);
            pos = code->end;
            e.height = h;
            return r;
        }
    }
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

void ref_set(const Ref& r, Value&& value)
{
    Variable* v = r.var;
    if (v->type == T_STR && value.is_string()) {
        v->str[static_cast<size_t>(r.element)] = std::move(value.s);
        return;
    }
    ref_set(r, static_cast<const Value&>(value));
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
