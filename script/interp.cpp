// The interpreter core: running lines straight from their text, recognising
// statements, the error path, the console device and the control-flow
// statements.
#include "script/engine.h"

#include "core/platform.h"

#include <cmath>
#include <csignal>
#include <cstring>
#include <new>

namespace script {

namespace {

// Index of a statement in the table, found once by name.
int statement_index(const char* name)
{
    size_t count = 0;
    const StatementDef* table = statement_table(&count);
    for (size_t i = 0; i < count; ++i)
        if (std::strcmp(table[i].name, name) == 0)
            return static_cast<int>(i);
    return -1;
}

const int kLet = statement_index("LET");
const int kRem = statement_index("REM");
const int kWhile = statement_index("WHILE");
const int kWend = statement_index("WEND");

// A stretch of a line cut off at `at` for the time one part of IF runs.
struct Truncation {
    char* text = nullptr;
    int32_t at = -1;
    char saved = 0;
    Truncation(char* t, int32_t pos) : text(t), at(pos)
    {
        if (at >= 0) {
            engine().cuts.push_back(Engine::Cut{text, at});
            saved = text[at];
            text[at] = 0;
        }
    }
    ~Truncation()
    {
        if (at >= 0) {
            text[at] = saved;
            engine().cuts.pop_back();
        }
    }
};

bool word_is(const char* t, int32_t pos, const char* keyword)
{
    size_t n = std::strlen(keyword);
    for (size_t i = 0; i < n; ++i)
        if (upper(t[pos + static_cast<int32_t>(i)]) != keyword[i])
            return false;
    return !is_name_char(t[pos + static_cast<int32_t>(n)]);
}

// The WEND that matches a WHILE on `line`, counting WHILE and WEND where
// they are the first statement of the following lines.
Line* matching_wend(Line* line, int32_t* after)
{
    Engine& e = engine();
    if (line->wend && line->wend_generation == e.generation) {
        *after = line->wend_after;
        return line->wend;
    }
    int depth = 1;
    for (Line* l = line->next; l != &e.end; l = l->next) {
        int32_t pos = skip_blanks(l->text, 0);
        int32_t a = 0;
        int index = recognise(l, pos, &a);
        if (index == kWhile) {
            ++depth;
        } else if (index == kWend && --depth == 0) {
            line->wend = l;
            line->wend_after = a;
            line->wend_generation = e.generation;
            *after = a;
            return l;
        }
    }
    return nullptr;
}

// ELSE outside quotes, as a word of its own, from `from` on; -1 none.
int32_t find_else(const char* t, int32_t from)
{
    bool quoted = false;
    for (int32_t i = from; t[i]; ++i) {
        if (t[i] == '"')
            quoted = !quoted;
        else if (!quoted && (t[i] == 'E' || t[i] == 'e') && !is_name_char(t[i - 1]) && word_is(t, i, "ELSE"))
            return i;
    }
    return -1;
}

// Reads a line number of GOTO, GOSUB and the THEN part.
int32_t line_number_at(const char* t, int32_t& pos)
{
    pos = skip_blanks(t, pos);
    if (!is_digit(t[pos]))
        fail(E_NO_LINENUMBER);
    long n = 0;
    while (is_digit(t[pos])) {
        if (n < 1000000)
            n = n * 10 + (t[pos] - '0');
        ++pos;
    }
    return static_cast<int32_t>(n);
}

// Runs one part of IF: a line number is a subroutine call, anything else
// statements.  Null when the part finished in order.
Line* run_part(Line* line, int32_t start, int32_t end)
{
    Truncation cut(line->text, end);
    int32_t pos = skip_blanks(line->text, start);
    if (is_digit(line->text[pos])) {
        int32_t number = line_number_at(line->text, pos);
        line->cursor = pos;
        gosub_line(line, number);
        pos = line->cursor;
    }
    return run_statements(line, pos);
}

} // namespace

// ---- statements of a line ---------------------------------------------------------

int recognise(Line* line, int32_t pos, int32_t* after)
{
    for (int i = 0; i < line->seen_count; ++i)
        if (line->seen[i].pos == pos) {
            *after = line->seen[i].after;
            return line->seen[i].index;
        }

    const char* t = line->text;
    int32_t start = 0;
    int32_t end = word_end(t, pos, &start);
    int index = -1;
    int32_t keyword_end = end;
    bool digits = end > start;
    for (int32_t i = start; i < end && digits; ++i)
        digits = is_digit(t[i]);
    if (digits) {
        line->leading_number = 0;
        for (int32_t i = start; i < end && i < start + 6; ++i)
            line->leading_number = line->leading_number * 10 + (t[i] - '0');
        line->after_number = end;
        end = word_end(t, end, &start);
        if (end == start) {
            if (t[start] == ':') {
                // Only the number before the separator.
                *after = start;
                return -3;
            }
            *after = end;
            index = kRem;
            keyword_end = end;
            goto remember;
        }
    }
    if (end == start && (t[start] == 0 || t[start] == ':')) {
        *after = start;
        return -2;
    }
    {
        size_t count = 0;
        const StatementDef* table = statement_table(&count);
        int32_t length = end - start;
        for (size_t k = 0; k < count; ++k) {
            const char* name = table[k].name;
            int32_t n = 0;
            while (name[n] && n < length && upper(t[start + n]) == name[n])
                ++n;
            if (name[n] == 0) {
                index = static_cast<int>(k);
                keyword_end = start + n;
                break;
            }
        }
    }
    if (index < 0) {
        // An '=' outside quotes makes it an assignment.
        int32_t stop = statement_end(t, start);
        bool quoted = false;
        for (int32_t i = start; i < stop; ++i) {
            if (t[i] == '"')
                quoted = !quoted;
            else if (t[i] == '=' && !quoted) {
                index = kLet;
                keyword_end = start;
                break;
            }
        }
    }
    if (index < 0) {
        *after = end;
        return -1;
    }
remember:
    *after = keyword_end;
    Line::Seen& s = line->seen[line->seen_count < Line::kSeen ? line->seen_count++ : (pos % Line::kSeen)];
    s.pos = pos;
    s.index = index;
    s.after = keyword_end;
    return index;
}

Line* run_statements(Line* line, int32_t pos)
{
    Engine& e = engine();
    static const StatementDef* const table = [] {
        size_t count = 0;
        return statement_table(&count);
    }();
    const char* t = line->text;
    for (;;) {
        pos = skip_blanks(t, pos);
        while (t[pos] == ':') {
            line->continuation = 0;
            pos = skip_blanks(t, pos + 1);
        }
        if (t[pos] == 0)
            return nullptr;
        // A THEN part that ran in order goes no further than its ELSE.
        if ((t[pos] == 'E' || t[pos] == 'e') && word_is(t, pos, "ELSE"))
            return nullptr;
        int32_t after = 0;
        int index = recognise(line, pos, &after);
        if (index == -2)
            return nullptr;
        if (index == -3) {
            pos = after;
            continue;
        }
        if (index < 0) {
            int32_t next = skip_blanks(t, after);
            if (t[next] == ':') {
                pos = next;
                continue;
            }
            fail(E_UNPARSEABLE);
        }
        line->stmt_start = pos;
        line->stmt_index = index;
        line->after_keyword = after;
        line->cursor = after;
        Line* r;
        try {
            r = table[index].fn(line);
        } catch (const std::bad_alloc&) {
            fail(E_MEMORY);
        }
        if (e.jump)
            return r;
        pos = skip_blanks(t, line->cursor);
        if (t[pos] != ':')
            return nullptr;
    }
}

namespace {

[[noreturn]] void program_break(int32_t number)
{
    Engine& e = engine();
    char text[64];
    std::snprintf(text, sizeof text, "\r%s %d\n", "Program break at line", number);
    e.output_count = 0;  // this line gives the interface no turn
    out_text(kConsole, text);
    e.last_error = std::string("Program break at line ") + std::to_string(number);
    throw Abort{2};
}

} // namespace

void poll_break()
{
    if (take_break())
        program_break(engine().error_line);
}

void keep_alive()
{
    ui::platform().pump_messages();
    poll_break();
}

Line* execute_line(Line* line)
{
    Engine& e = engine();
    if (take_break() || (e.line_budget && e.lines_run >= e.line_budget))
        program_break(line->number);
    if ((++e.lines_run & 1023) == 0)
        ui::platform().pump_messages();
    if (e.trace && line->number > 0) {
        char mark[24];
        // Beside the program's output, not in it (stderr headless).
        std::snprintf(mark, sizeof mark, "[ %d ]\n", line->number);
        console_stream(mark);
    }
    e.current = line;
    e.error_line = line->number;
    int height = e.height;
    Line* r;
    try {
        r = run_statements(line, line->cursor);
    } catch (const StatementFailed&) {
        // The handler has run; the failing line is given up.
        e.height = height;
        e.jump = e.returned = false;
        e.current = line;
        e.error_line = line->number;
        r = nullptr;
    }
    if (e.returned)
        return r;
    if (r) {
        e.jump = false;
        return r;
    }
    Line* next = line->next;
    next->cursor = 0;
    return next;
}

// ---- the error path ---------------------------------------------------------------

namespace {

[[noreturn]] void report(const std::string& text, int code, bool trappable)
{
    Engine& e = engine();
    e.erl = e.error_line;
    if (code >= 0)
        e.err = code;
    if (trappable && e.handler_line != 0 && !e.in_handler && e.current) {
        Line* line = e.current;
        int height = e.height;
        bool jump = e.jump;
        e.in_handler = true;
        e.height = 0;
        gosub_line(line, e.handler_line);
        e.in_handler = false;
        e.height = height;
        e.jump = jump;
        throw StatementFailed{};
    }
    if (e.console_column != 1)
        out_char(kConsole, '\n');
    std::snprintf(e.message, 256, "\n%s %d: %s\n", "Error in line", e.error_line, text.c_str());
    out_text(kConsole, e.message);
    e.last_error = std::string("Error in line ") + std::to_string(e.error_line) + ": " + text;
    throw Abort{1};
}

} // namespace

void fail(int code)
{
    report(kErrorText[code], code, true);
}

void fail_text(const std::string& text, int code)
{
    report(text, code, true);
}

void fail_fatal(const std::string& text)
{
    report(text, -1, false);
}

void fail_line_not_found(int32_t number)
{
    char text[64];
    std::snprintf(text, sizeof text, kErrorText[E_LINE_NOT_FOUND], number);
    fail_text(text);
}

// ---- control transfer -------------------------------------------------------------

Line* jump_to(Line* line, int32_t pos)
{
    line->cursor = pos;
    engine().jump = true;
    return line;
}

Line* goto_line(int32_t number)
{
    Line* target = find_line(number);
    if (!target)
        fail_line_not_found(number);
    return jump_to(target, 0);
}

Line* gosub_line(Line* caller, int32_t number)
{
    Engine& e = engine();
    Line* target = find_line(number);
    if (!target)
        fail_line_not_found(number);
    if (e.gosub_level >= kGosubLevels)
        fail(E_OVERFLOW);
    e.gosub_table[++e.gosub_level] = caller->number;
    int32_t saved = caller->cursor;
    Line* l = target;
    l->cursor = 0;
    for (;;) {
        if (l == &e.end)
            throw Abort{0};  // the subroutine ran off the end of the program
        l = execute_line(l);
        if (e.returned) {
            e.returned = false;
            e.jump = false;
            break;
        }
    }
    caller->cursor = saved;
    e.current = caller;
    e.error_line = caller->number;
    return caller;
}

// ---- console and device output ------------------------------------------------------

namespace {

void console_put(char c)
{
    Engine& e = engine();
    if (c == 0)
        c = ' ';  // a box is a C string: a zero byte would cut the line short
    if (e.console_len < kConsoleBuffer)
        e.console[e.console_len++] = c;
    else
        e.console[kConsoleBuffer - 1] = c;
}

void console_line_end()
{
    Engine& e = engine();
    if (e.console_len > 0) {
        e.console[e.console_len] = 0;
        ui::platform().output_box(e.console);
        e.console_len = 0;
    }
}

void raw_put(int device, char c)
{
    Engine& e = engine();
    if (device == kConsole) {
        if (c == '\n') {
            console_line_end();
            e.console_column = 1;
            return;
        }
        if (e.console_column >= e.console_width)
            e.console_column = 1;  // the wrap does not reach the box
        console_put(c);
        ++e.console_column;
        return;
    }
    Device& d = e.devices[device];
    if (c == '\n') {
        std::fputc('\n', d.file);
        d.column = 1;
        return;
    }
    if (d.column >= d.width) {
        std::fputc('\n', d.file);
        d.column = 1;
    }
    std::fputc(c, d.file);
    ++d.column;
}

int& column_of(int device)
{
    Engine& e = engine();
    return device == kConsole ? e.console_column : e.devices[device].column;
}

int width_of(int device)
{
    Engine& e = engine();
    return device == kConsole ? e.console_width : e.devices[device].width;
}

// Moves to `column` with spaces.  A column the line cannot reach (the wrap
// at the width comes first) goes to the start of the next line instead, so
// that the spaces always end.
void move_to(int device, int column)
{
    if (column > width_of(device)) {
        if (column_of(device) != 1)
            raw_put(device, '\n');
        return;
    }
    if (column_of(device) > column)
        raw_put(device, '\n');
    // Here the column is below `column`, itself no more than the width: no
    // wrap comes between, and each space moves one column on.
    while (column_of(device) < column)
        raw_put(device, ' ');
}

// Long output keeps the interface alive and can be broken off.
void count_output(size_t n)
{
    Engine& e = engine();
    e.output_count += n;
    if (e.output_count >= kOutputTick) {
        e.output_count = 0;
        keep_alive();
    }
}

} // namespace

void out_char(int device, char c)
{
    if (c == '\t') {
        // The next zone of 14 columns, nothing when the column starts one.
        int column = column_of(device);
        move_to(device, (column + kTabZone - 1) / kTabZone * kTabZone);
        return;
    }
    raw_put(device, c);
}

void out_text(int device, std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == 2) {
            // TAB(n): to column n, on a new line when already beyond it.
            if (i + 1 >= text.size())
                break;
            move_to(device, static_cast<unsigned char>(text[++i]));
            continue;
        }
        out_char(device, c);
        if ((i & 4095) == 4095)
            count_output(4096);
    }
    count_output(text.size() & 4095);
}

void console_flush()
{
    Engine& e = engine();
    if (!e.console)
        return;
    console_line_end();
    e.console_column = 1;
}

void console_stream(const std::string& text)
{
    ui::platform().console_write(text.c_str());
}

// ---- control-flow statements -----------------------------------------------------------

Line* st_rem(Line* line)
{
    line->cursor = line->length;
    return line;
}

Line* st_let(Line* line)
{
    if (assign_compiled(line, line->cursor))
        return line;
    const char* t = line->text;
    int32_t pos = line->cursor;
    Ref r = parse_ref(t, pos);
    pos = skip_blanks(t, pos);
    if (t[pos] != '=')
        fail(E_SYNTAX);
    ++pos;
    Value v;
    evaluate(t, pos, v);
    line->cursor = expect_end(t, pos);
    ref_set(r, std::move(v));
    return line;
}

Line* st_goto(Line* line)
{
    int32_t pos = line->cursor;
    int32_t number = line_number_at(line->text, pos);
    line->cursor = pos;
    return goto_line(number);
}

Line* st_gosub(Line* line)
{
    int32_t pos = line->cursor;
    int32_t number = line_number_at(line->text, pos);
    line->cursor = pos;
    return gosub_line(line, number);
}

Line* st_return(Line* line)
{
    Engine& e = engine();
    if (e.gosub_level < 1)
        fail_text("RETURN without GOSUB");
    --e.gosub_level;
    e.returned = true;
    e.jump = true;
    return line;
}

Line* st_on(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (at_end(t, pos))
        fail(E_INCOMPLETE);
    int32_t start = 0;
    int32_t end = word_end(t, pos, &start);
    if (end - start == 5 && word_is(t, start, "ERROR")) {
        pos = skip_blanks(t, end);
        if (!word_is(t, pos, "GOSUB") && !at_keyword(t, pos, "GOSUB"))
            fail(E_SYNTAX);
        pos += 5;
        e.handler_line = line_number_at(t, pos);
        line->cursor = expect_end(t, pos);
        return line;
    }
    // The selector is one word.
    std::string selector(t + start, static_cast<size_t>(end - start));
    int32_t spos = 0;
    Value v;
    evaluate(selector.c_str(), spos, v);
    if (selector[static_cast<size_t>(skip_blanks(selector.c_str(), spos))] != 0)
        fail(E_SYNTAX);
    int32_t which = to_int(v);
    pos = skip_blanks(t, end);
    bool sub;
    if (at_keyword(t, pos, "GOTO"))
        sub = false;
    else if (at_keyword(t, pos, "GOSUB"))
        sub = true;
    else
        fail_text("ON w/o GOTO or GOSUB");
    pos += sub ? 5 : 4;
    int32_t targets[kOnTargets];
    int count = 0;
    while (count < kOnTargets) {
        targets[count++] = line_number_at(t, pos);
        pos = skip_blanks(t, pos);
        if (t[pos] != ',')
            break;
        ++pos;
    }
    line->cursor = pos;
    if (which < 1 || which > count)
        fail(E_RANGE);
    if (sub)
        return gosub_line(line, targets[which - 1]);
    return goto_line(targets[which - 1]);
}

Line* st_if(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    Value c;
    evaluate(t, pos, c);
    if (c.is_string())
        fail(E_TYPE);
    pos = skip_blanks(t, pos);
    if (!at_keyword(t, pos, "THEN"))
        fail(E_SYNTAX);
    int32_t then_at = pos + 4;
    int32_t else_at = line_memo(t, then_at, find_else);
    bool holds = std::trunc(c.n) != 0;
    line->cursor = line->length;
    Line* r = nullptr;
    if (holds)
        r = run_part(line, then_at, else_at);
    else if (else_at >= 0)
        r = run_part(line, else_at + 4, -1);
    if (r || engine().jump)
        return r;
    line->cursor = line->length;
    return line;
}

Line* st_while(Line* line)
{
    Engine& e = engine();
    int32_t stmt = line->stmt_start;
    int32_t wend_after = 0;
    Line* wend = matching_wend(line, &wend_after);
    if (!wend)
        fail(E_SYNTAX);
    int32_t pos = line->cursor;
    Value c;
    evaluate(line->text, pos, c);
    if (c.is_string())
        fail(E_TYPE);
    line->cursor = expect_end(line->text, pos);
    if (std::trunc(c.n) == -1) {
        if (e.while_level >= kWhileLevels)
            fail(E_OVERFLOW);
        e.while_stack[e.while_level++] = WhileFrame{line, stmt};
        return line;
    }
    return jump_to(wend, wend_after);
}

Line* st_wend(Line* line)
{
    Engine& e = engine();
    (void)line;
    if (e.while_level == 0)
        fail(E_SYNTAX);
    WhileFrame f = e.while_stack[--e.while_level];
    return jump_to(f.line, f.pos);
}

Line* st_for(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    int32_t name_end = scan_name(t, pos);
    if (name_end == pos)
        fail(E_SYNTAX);
    Variable* v = get_variable(std::string_view(t + pos, static_cast<size_t>(name_end - pos)));
    pos = skip_blanks(t, name_end);
    if (t[pos] != '=')
        fail(E_SYNTAX);
    if (v->type == T_STR)
        fail(E_TYPE);
    if (v->array)
        fail(E_SYNTAX);
    ++pos;
    int32_t first = eval_int(t, pos);
    pos = skip_blanks(t, pos);
    if (!at_keyword(t, pos, "TO"))
        fail(E_SYNTAX);
    pos += 2;
    int32_t limit = eval_int(t, pos);
    int32_t step = 1;
    pos = skip_blanks(t, pos);
    if (at_keyword(t, pos, "STEP")) {
        pos += 4;
        step = eval_int(t, pos);
    }
    line->cursor = expect_end(t, pos);
    Value a = Value::integer(first);
    ref_set(Ref{v, 0}, a);
    // A loop entered again over its own variable replaces its old frame.
    int level = 0;
    for (int k = e.for_level; k >= 1; --k)
        if (e.for_stack[k].var == v) {
            level = k;
            break;
        }
    if (level == 0) {
        if (e.for_level + 1 >= kForLevels)
            fail(E_OVERFLOW);
        level = e.for_level + 1;
    }
    e.for_level = level;
    e.for_stack[level] = ForFrame{line, v, limit, step, line->cursor};
    return line;
}

Line* st_next(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = line->cursor;
    for (;;) {
        if (e.for_level == 0)
            fail(E_NEXT_WITHOUT_FOR);
        pos = skip_blanks(t, pos);
        int32_t name_end = scan_name(t, pos);
        if (name_end == pos)
            fail(E_SYNTAX);
        std::string_view name(t + pos, static_cast<size_t>(name_end - pos));
        int level = 0;
        for (int k = e.for_level; k >= 1; --k)
            if (e.for_stack[k].var->name == name) {
                level = k;
                break;
            }
        if (level == 0)
            fail(E_SYNTAX);
        e.for_level = level;
        ForFrame& f = e.for_stack[level];
        int64_t v = static_cast<int64_t>(to_int(f.var->num[0])) + f.step;
        if (f.var->type == T_INT && (v > INT32_MAX || v < INT32_MIN))
            fail(E_OVERFLOW);
        f.var->num[0] = f.var->type == T_SNG ? static_cast<double>(static_cast<float>(v)) : static_cast<double>(v);
        bool done = f.step >= 1 ? v > f.limit : v < f.limit;
        pos = skip_blanks(t, name_end);
        if (!done) {
            line->cursor = pos;
            return jump_to(f.line, f.pos);
        }
        e.for_level = level - 1;
        if (t[pos] == ',') {
            ++pos;
            continue;
        }
        line->cursor = pos;
        return line;
    }
}

Line* st_end(Line* line)
{
    (void)line;
    throw Abort{0};
}

Line* st_stop(Line* line)
{
    (void)line;
    throw Abort{0};
}

Line* st_error(Line* line)
{
    Engine& e = engine();
    int32_t pos = line->cursor;
    int32_t n = eval_int(line->text, pos);
    line->cursor = expect_end(line->text, pos);
    if (n < 0 || n >= kErrorCount) {
        char text[64];
        std::snprintf(text, sizeof text, "Error number %d is out of range", n);
        fail_text(text);
    }
    e.err = n;
    // The texts with a place for a name or number show it empty.
    std::string text = kErrorText[n];
    size_t at = text.find('%');
    if (at != std::string::npos)
        text.erase(at, 2);
    fail_fatal(text);
}

Line* st_tron(Line* line)
{
    engine().trace = true;
    console_stream("Trace is ON\n");
    return line;
}

Line* st_troff(Line* line)
{
    engine().trace = false;
    console_stream("Trace is OFF\n");
    return line;
}

} // namespace script
