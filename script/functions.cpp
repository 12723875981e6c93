// The function table: the general-purpose built-ins, the list every run
// links from "FNC_START" to "FNC_END", and user-defined functions (DEF).
#include "script/engine.h"

#include "core/mem.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace script {

namespace {

std::time_t (*g_clock)() = nullptr;

std::tm local_now()
{
    std::time_t t = g_clock ? g_clock() : std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

const std::string& text_arg(const Value& v)
{
    if (!v.is_string())
        fail(E_TYPE);
    return v.s;
}

int32_t count_arg(const Value& v)
{
    int32_t n = to_int(v);
    if (n < 0)
        fail(E_RANGE);
    check_length(static_cast<size_t>(n));
    return n;
}

// A result in the type of the argument: double stays double, the rest single.
void real_result(const Value& arg, double x, Value& r)
{
    if (std::isnan(x))
        fail(E_ARGUMENT);
    if (std::isinf(x))
        fail(E_OVERFLOW);
    r = arg.type == T_DBL ? Value::dbl(x) : Value::single(x);
    if (std::isinf(r.n))
        fail(E_OVERFLOW);
}

std::string date_part(const char* format, int a, int b = 0, int c = 0)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return buffer;
}

// ---- general-purpose functions -----------------------------------------------

void fn_abs(int, Value* a, Value& r) { r = Value::single(std::fabs(to_number(a[0]))); }

void fn_date(int, Value*, Value& r)
{
    std::tm t = local_now();
    r = Value::string(date_part("%02d-%02d-%04d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900));
}
void fn_day(int, Value*, Value& r) { r = Value::string(date_part("%d", local_now().tm_mday)); }
void fn_month(int, Value*, Value& r) { r = Value::string(date_part("%d", local_now().tm_mon + 1)); }
void fn_year(int, Value*, Value& r) { r = Value::string(date_part("%d", local_now().tm_year + 1900)); }
void fn_time(int, Value*, Value& r)
{
    std::tm t = local_now();
    r = Value::string(date_part("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec));
}
void fn_hour(int, Value*, Value& r) { r = Value::string(date_part("%d", local_now().tm_hour)); }
void fn_minute(int, Value*, Value& r) { r = Value::string(date_part("%d", local_now().tm_min)); }
void fn_second(int, Value*, Value& r) { r = Value::string(date_part("%d", local_now().tm_sec)); }

void fn_tab(int, Value* a, Value& r)
{
    int32_t column = to_int(a[0]);
    if (column < 1 || column > 255)
        fail(E_RANGE);
    std::string s(2, '\2');
    s[1] = static_cast<char>(column);
    r = Value::string(s);
}

void fn_space(int, Value* a, Value& r) { r = Value::string(std::string(static_cast<size_t>(count_arg(a[0])), ' ')); }

void fn_pos(int, Value*, Value& r) { r = Value::integer(engine().console_column); }

void fn_str(int, Value* a, Value& r)
{
    to_number(a[0]);
    r = Value::string(format_number(a[0]));
}

void fn_atn(int, Value* a, Value& r) { real_result(a[0], std::atan(to_number(a[0])), r); }
void fn_cos(int, Value* a, Value& r) { real_result(a[0], std::cos(to_number(a[0])), r); }
void fn_sin(int, Value* a, Value& r) { real_result(a[0], std::sin(to_number(a[0])), r); }
void fn_tan(int, Value* a, Value& r) { real_result(a[0], std::tan(to_number(a[0])), r); }
void fn_exp(int, Value* a, Value& r) { real_result(a[0], std::exp(to_number(a[0])), r); }
void fn_log(int, Value* a, Value& r)
{
    double x = to_number(a[0]);
    if (x <= 0)
        fail(E_ARGUMENT);
    real_result(a[0], std::log(x), r);
}
void fn_sqr(int, Value* a, Value& r)
{
    double x = to_number(a[0]);
    if (x < 0)
        fail(E_ARGUMENT);
    real_result(a[0], std::sqrt(x), r);
}

void fn_sgn(int, Value* a, Value& r)
{
    double x = to_number(a[0]);
    r = Value::integer(x > 0 ? 1 : (x < 0 ? -1 : 0));
}

void fn_int(int, Value* a, Value& r)
{
    double x = std::floor(to_number(a[0]));
    r = a[0];
    r.n = x == 0 ? 0 : x;
}

void fn_rnd(int argc, Value* a, Value& r)
{
    Engine& e = engine();
    double x = argc > 0 ? to_number(a[0]) : 1;
    if (x == 0) {
        r = Value::single(e.rnd_last);
        return;
    }
    if (x < 0) {
        uint64_t seed = static_cast<uint64_t>(static_cast<int64_t>(x * 1000003.0)) ^ 0x9e3779b97f4a7c15ull;
        e.rnd_state = seed ? seed : 1;
    }
    // xorshift64*: 24 bits of it make a float in [0, 1).
    uint64_t s = e.rnd_state;
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    e.rnd_state = s;
    uint64_t bits = (s * 0x2545F4914F6CDD1Dull) >> 40;
    e.rnd_last = static_cast<double>(bits) / 16777216.0;
    r = Value::single(e.rnd_last);
}

void fn_chr(int, Value* a, Value& r)
{
    int32_t c = to_int(a[0]);
    if (c < 0 || c > 255)
        fail(E_RANGE);
    r = Value::string(std::string(1, static_cast<char>(c)));
}

void fn_strip(int, Value* a, Value& r)
{
    const std::string& s = text_arg(a[0]);
    size_t b = 0, e = s.size();
    while (b < e && is_blank(s[b]))
        ++b;
    while (e > b && is_blank(s[e - 1]))
        --e;
    r = Value::string(s.substr(b, e - b));
}

void fn_string(int, Value* a, Value& r)
{
    int32_t n = count_arg(a[0]);
    char c;
    if (a[1].is_string()) {
        if (a[1].s.empty())
            fail(E_ARGUMENT);
        c = a[1].s[0];
    } else {
        int32_t code = to_int(a[1]);
        if (code < 0 || code > 255)
            fail(E_RANGE);
        c = static_cast<char>(code);
    }
    r = Value::string(std::string(static_cast<size_t>(n), c));
}

void fn_mid(int argc, Value* a, Value& r)
{
    const std::string& s = text_arg(a[0]);
    int32_t start = to_int(a[1]);
    if (start < 1)
        fail(E_RANGE);
    int32_t length = argc > 2 ? to_int(a[2]) : INT32_MAX;
    if (length < 0)
        fail(E_RANGE);
    size_t from = static_cast<size_t>(start - 1);
    r = Value::string(from >= s.size() ? std::string() : s.substr(from, static_cast<size_t>(length)));
}

void fn_left(int, Value* a, Value& r)
{
    const std::string& s = text_arg(a[0]);
    int32_t n = to_int(a[1]);
    if (n < 0)
        fail(E_RANGE);
    r = Value::string(s.substr(0, static_cast<size_t>(n)));
}

void fn_right(int, Value* a, Value& r)
{
    const std::string& s = text_arg(a[0]);
    int32_t n = to_int(a[1]);
    if (n < 0)
        fail(E_RANGE);
    size_t k = static_cast<size_t>(n) < s.size() ? static_cast<size_t>(n) : s.size();
    r = Value::string(s.substr(s.size() - k));
}

void fn_val(int, Value* a, Value& r)
{
    const std::string& s = text_arg(a[0]);
    int32_t pos = skip_blanks(s.c_str(), 0);
    bool negative = false;
    if (s[static_cast<size_t>(pos)] == '-' || s[static_cast<size_t>(pos)] == '+') {
        negative = s[static_cast<size_t>(pos)] == '-';
        pos = skip_blanks(s.c_str(), pos + 1);
    }
    Value v;
    if (!scan_number(s.c_str(), pos, v))
        v = Value::integer(0);
    if (negative)
        v.n = -v.n;
    if (v.type == T_INT && v.n < INT32_MIN)
        v = Value::dbl(v.n);
    v.n = v.n == 0 ? 0 : v.n;
    r = v;
}

void fn_len(int, Value* a, Value& r) { r = Value::integer(static_cast<int32_t>(text_arg(a[0]).size())); }

void fn_loc(int, Value* a, Value& r)
{
    Device& d = open_device(to_int(a[0]));
    if (d.mode == DEV_RANDOM) {
        r = Value::integer(static_cast<int32_t>(d.record - 1));
        return;
    }
    long at = std::ftell(d.file);
    r = Value::integer(static_cast<int32_t>(at < 0 ? 0 : at / kRecordLength));
}

void fn_lof(int, Value* a, Value& r)
{
    Device& d = open_device(to_int(a[0]));
    std::fflush(d.file);
    long here = std::ftell(d.file);
    std::fseek(d.file, 0, SEEK_END);
    long size = std::ftell(d.file);
    if (here >= 0)
        std::fseek(d.file, here, SEEK_SET);
    r = Value::dbl(size < 0 ? 0 : static_cast<double>(size));
}

void fn_eof(int, Value* a, Value& r)
{
    Device& d = open_device(to_int(a[0]));
    bool end = true;
    if (d.mode == DEV_INPUT) {
        int c = std::fgetc(d.file);
        if (c != EOF) {
            std::ungetc(c, d.file);
            end = false;
        }
    } else if (d.mode == DEV_RANDOM) {
        long here = std::ftell(d.file);
        std::fseek(d.file, 0, SEEK_END);
        long size = std::ftell(d.file);
        std::fseek(d.file, here, SEEK_SET);
        end = (d.record - 1) * static_cast<long>(d.record_length) >= size;
    }
    r = Value::integer(end ? -1 : 0);
}

void fn_csng(int, Value* a, Value& r)
{
    r = Value::single(to_number(a[0]));
    if (std::isinf(r.n))
        fail(E_OVERFLOW);
}

void fn_instr(int argc, Value* a, Value& r)
{
    int32_t start = 1;
    int k = 0;
    if (argc == 3) {
        start = to_int(a[0]);
        if (start < 1)
            fail(E_RANGE);
        k = 1;
    }
    const std::string& s = text_arg(a[k]);
    const std::string& t = text_arg(a[k + 1]);
    size_t from = static_cast<size_t>(start - 1);
    if (from > s.size()) {
        r = Value::integer(0);
        return;
    }
    // The C library's search takes time in proportion to the two lengths,
    // not their product, so a long pattern cannot stall the statement.
    const void* hit = memmem(s.data() + from, s.size() - from, t.data(), t.size());
    size_t at = hit ? static_cast<size_t>(static_cast<const char*>(hit) - s.data()) : std::string::npos;
    r = Value::integer(at == std::string::npos ? 0 : static_cast<int32_t>(at + 1));
}

void fn_hex(int, Value* a, Value& r)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<uint32_t>(to_int(a[0])));
    r = Value::string(buffer);
}

void fn_cint(int, Value* a, Value& r) { r = Value::integer(to_int(std::round(to_number(a[0])))); }

void fn_asc(int, Value* a, Value& r)
{
    const std::string& s = text_arg(a[0]);
    if (s.empty())
        fail(E_ARGUMENT);
    r = Value::integer(static_cast<unsigned char>(s[0]));
}

template <class T>
std::string bytes_of(T v)
{
    std::string s(sizeof v, 0);
    std::memcpy(s.data(), &v, sizeof v);
    return s;
}

template <class T>
T from_bytes(const Value& v)
{
    const std::string& s = text_arg(v);
    if (s.size() < sizeof(T))
        fail(E_ARGUMENT);
    T x;
    std::memcpy(&x, s.data(), sizeof x);
    return x;
}

void fn_mkd(int, Value* a, Value& r) { r = Value::string(bytes_of<double>(to_number(a[0]))); }
void fn_mki(int, Value* a, Value& r) { r = Value::string(bytes_of<int32_t>(to_int(a[0]))); }
void fn_mks(int, Value* a, Value& r)
{
    Value s = Value::single(to_number(a[0]));
    if (std::isinf(s.n))
        fail(E_OVERFLOW);
    r = Value::string(bytes_of<float>(static_cast<float>(s.n)));
}
void fn_cvd(int, Value* a, Value& r)
{
    double x = from_bytes<double>(a[0]);
    if (!std::isfinite(x))
        fail(E_ARGUMENT);
    r = Value::dbl(x);
}
void fn_cvs(int, Value* a, Value& r)
{
    float x = from_bytes<float>(a[0]);
    if (!std::isfinite(x))
        fail(E_ARGUMENT);
    r = Value::single(x);
}
void fn_cvi(int, Value* a, Value& r) { r = Value::integer(from_bytes<int32_t>(a[0])); }

const BuiltinDef kBuiltins[] = {
    {"ABS", T_SNG, 1, 1, fn_abs},
    {"DATE$", T_STR, 0, 0, fn_date},
    {"DAY$", T_STR, 0, 0, fn_day},
    {"MONTH$", T_STR, 0, 0, fn_month},
    {"YEAR$", T_STR, 0, 0, fn_year},
    {"TIME$", T_STR, 0, 0, fn_time},
    {"HOUR$", T_STR, 0, 0, fn_hour},
    {"MINUTE$", T_STR, 0, 0, fn_minute},
    {"SECOND$", T_STR, 0, 0, fn_second},
    {"TAB", T_STR, 1, 1, fn_tab},
    {"SPC", T_STR, 1, 1, fn_space},
    {"SPACE$", T_STR, 1, 1, fn_space},
    {"POS", T_INT, 0, 1, fn_pos},
    {"STR$", T_STR, 1, 1, fn_str},
    {"ATN", T_SNG, 1, 1, fn_atn},
    {"COS", T_SNG, 1, 1, fn_cos},
    {"LOG", T_SNG, 1, 1, fn_log},
    {"SIN", T_SNG, 1, 1, fn_sin},
    {"SQR", T_SNG, 1, 1, fn_sqr},
    {"TAN", T_SNG, 1, 1, fn_tan},
    {"SGN", T_INT, 1, 1, fn_sgn},
    {"INT", T_SNG, 1, 1, fn_int},
    {"RND", T_SNG, 0, 1, fn_rnd},
    {"CHR$", T_STR, 1, 1, fn_chr},
    {"STRIP", T_STR, 1, 1, fn_strip},
    {"STRING$", T_STR, 2, 2, fn_string},
    {"MID$", T_STR, 2, 3, fn_mid},
    {"LEFT$", T_STR, 2, 2, fn_left},
    {"RIGHT$", T_STR, 2, 2, fn_right},
    {"VAL", T_DBL, 1, 1, fn_val},
    {"LEN", T_INT, 1, 1, fn_len},
    {"LOC", T_INT, 1, 1, fn_loc},
    {"LOF", T_DBL, 1, 1, fn_lof},
    {"EOF", T_INT, 1, 1, fn_eof},
    {"CSNG", T_SNG, 1, 1, fn_csng},
    {"EXP", T_SNG, 1, 1, fn_exp},
    {"INSTR", T_INT, 2, 3, fn_instr},
    {"HEX$", T_STR, 1, 1, fn_hex},
    {"CINT", T_INT, 1, 1, fn_cint},
    {"ASC", T_INT, 1, 1, fn_asc},
    {"MKD$", T_STR, 1, 1, fn_mkd},
    {"MKI$", T_STR, 1, 1, fn_mki},
    {"MKS$", T_STR, 1, 1, fn_mks},
    {"CVD", T_DBL, 1, 1, fn_cvd},
    {"CVS", T_SNG, 1, 1, fn_cvs},
    {"CVI", T_INT, 1, 1, fn_cvi},
};

// A user-defined function's parameters get their arguments for the time of
// the call and their own values back afterwards (found again by name: the
// expression may have cleared them).
struct Binding {
    std::string name;
    Value saved;
};

struct Bindings {
    std::vector<Binding> list;
    ~Bindings()
    {
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            Variable* v = find_variable(it->name);
            if (!v)
                continue;
            if (v->type == T_STR)
                v->str[static_cast<size_t>(v->current)] = it->saved.s;
            else if (!it->saved.is_string())
                v->num[static_cast<size_t>(v->current)] = it->saved.n;
        }
    }
};

size_t initial_of(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<size_t>(c - 'A') : 26;
}

// Enters a record in the indexes of exact names and first letters.
void index_function(FunctionRecord* f)
{
    Engine& e = engine();
    e.function_index.emplace(f->name, f);
    e.function_initial[initial_of(f->name[0])].push_back(f);
}

FunctionRecord* new_record(const char* name, char type, int params)
{
    auto* f = static_cast<FunctionRecord*>(group_alloc_ptr(1, sizeof(FunctionRecord), "sfn", engine().group));
    if (!f)
        fail(E_MEMORY);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->type = type;
    f->param_count = static_cast<int16_t>(params);
    return f;
}

} // namespace

const BuiltinDef* builtin_functions(size_t* count)
{
    *count = sizeof kBuiltins / sizeof kBuiltins[0];
    return kBuiltins;
}

void set_clock(std::time_t (*clock)())
{
    g_clock = clock;
}

void functions_link()
{
    Engine& e = engine();
    e.function_index.clear();
    for (auto& list : e.function_initial)
        list.clear();
    e.user_functions.clear();
    FunctionRecord* head = new_record("FNC_START", T_SNG, 0);
    FunctionRecord* tail = head;
    auto append = [&](const BuiltinDef& b) {
        FunctionRecord* f = new_record(b.name, b.type, b.max_args);
        f->handler = b.fn;
        f->builtin = &b;
        tail->next = f;
        tail = f;
        index_function(f);
    };
    size_t n = 0;
    const BuiltinDef* general = builtin_functions(&n);
    for (size_t i = 0; i < n; ++i)
        append(general[i]);
    const BuiltinDef* image = image_functions(&n);
    for (size_t i = 0; i < n; ++i)
        append(image[i]);
    FunctionRecord* end = new_record("FNC_END", T_SNG, 0);
    tail->next = end;
    e.functions = head;
    e.functions_end = end;
}

void functions_unlink()
{
    Engine& e = engine();
    for (FunctionRecord* f = e.functions; f;) {
        FunctionRecord* next = f == e.functions_end ? nullptr : f->next;
        group_free_ptr(f);
        f = next;
    }
    e.functions = e.functions_end = nullptr;
    e.function_index.clear();
    for (auto& list : e.function_initial)
        list.clear();
    e.user_functions.clear();
}

FunctionRecord* find_function(std::string_view upper_name)
{
    Engine& e = engine();
    auto it = e.function_index.find(upper_name);
    return it == e.function_index.end() ? nullptr : it->second;
}

FunctionRecord* find_function_prefix(std::string_view upper_name)
{
    if (FunctionRecord* f = find_function(upper_name))
        return f;
    if (upper_name.empty())
        return nullptr;
    for (FunctionRecord* f : engine().function_initial[initial_of(upper_name[0])]) {
        size_t n = std::strlen(f->name);
        if (n < upper_name.size() && upper_name.compare(0, n, f->name) == 0)
            return f;
    }
    return nullptr;
}

void define_function(const std::string& upper_name, char type, std::unique_ptr<UserFunction> fn)
{
    Engine& e = engine();
    if (upper_name.size() > 44)
        fail(E_SYNTAX);
    FunctionRecord* f = find_function(upper_name);
    if (f && !f->user)
        fail(E_SYNTAX);  // the built-ins keep their names
    if (!f) {
        f = new_record(upper_name.c_str(), type, static_cast<int>(fn->params.size()));
        // Before the tail sentinel.
        FunctionRecord* before = e.functions;
        while (before->next != e.functions_end)
            before = before->next;
        f->next = e.functions_end;
        before->next = f;
        index_function(f);
    }
    f->type = type;
    f->param_count = static_cast<int16_t>(fn->params.size());
    f->user = fn.get();
    names_changed();
    e.user_functions.push_back(std::move(fn));
}

void call_user_function(FunctionRecord* f, int argc, Value* args, Value& out)
{
    UserFunction* u = f->user;
    if (argc != static_cast<int>(u->params.size()))
        fail(E_SYNTAX);
    // Functions that call each other can make one statement run for long.
    if ((++engine().user_calls & 4095) == 0)
        keep_alive();
    Bindings bound;
    for (int i = 0; i < argc; ++i) {
        const std::string& name = u->params[static_cast<size_t>(i)];
        Variable* v = get_variable(name);
        Ref r{v, v->current};
        Value old;
        ref_get(r, old);
        bound.list.push_back(Binding{name, old});
        ref_set(r, args[i]);
    }
    // The expression text lives in the function record; a copy keeps it safe
    // should the function be defined anew while it runs.
    std::string text = u->expression;
    int32_t pos = 0;
    evaluate(text.c_str(), pos, out);
    if (text[static_cast<size_t>(skip_blanks(text.c_str(), pos))] != 0)
        fail(E_SYNTAX);
    convert_to(out, f->type);
}

std::string number_to_string(const Value& v)
{
    return format_number(v);
}

} // namespace script
