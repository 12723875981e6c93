// The program store: line records between two sentinels, the file check,
// the loader, the run entry and the statements that work on the program as
// a whole (RUN, NEW, LIST, PSAVE, PLOAD, MERGEP, CHAINP, DELETE).
#include "script/engine.h"
#include "script/script.h"

#include "core/app.h"
#include "core/mem.h"
#include "core/settings.h"
#include "core/platform.h"
#include "core/safe_write.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

namespace script {

Engine g_engine;
volatile std::sig_atomic_t g_break = 0;

namespace {

// The function-key table lives from start-up to shut-down.
struct ScriptSubsystem {
    ScriptSubsystem()
    {
        app_add_subsystem("script", fkeys_init, fkeys_release);
        app_add_subsystem("script-op", script::script_operation_init, script::script_operation_release);
    }
} g_subsystem;

Image* g_image = nullptr;

void on_interrupt(int)
{
    g_break = 1;
}

// Characters of a line up to the first CR or LF.
size_t cut_length(const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (text[i] == '\r' || text[i] == '\n' || text[i] == 0)
            return i;
    return length;
}

void line_free(Line* line)
{
    line_cache_free(line);
    group_free_ptr(line->text);
    group_free_ptr(line);
}

void reset_sentinels()
{
    Engine& e = engine();
    e.start = Line{};
    e.end = Line{};
    e.start.number = kFirstLine;
    e.end.number = kLastLine;
    e.start.text = const_cast<char*>("");
    e.end.text = const_cast<char*>("");
    e.start.next = &e.end;
    e.end.next = &e.end;
    e.start.stmt_index = e.end.stmt_index = -1;
    program_changed();
}

// A file of the program statements: opened under exactly the given name.
FILE* open_program_file(const std::string& name)
{
    FILE* f = program_fopen(name, "rb");
    if (!f) {
        char text[300];
        std::snprintf(text, sizeof text, kErrorText[E_OPEN], name.c_str());
        fail_text(text);
    }
    return f;
}

// The string operand of PLOAD, MERGEP, CHAINP and PSAVE.
std::string file_operand(Line* line)
{
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (at_end(t, pos))
        fail(E_NO_FILENAME);
    Value v;
    evaluate(t, pos, v);
    if (!v.is_string())
        fail(E_TYPE);
    line->cursor = expect_end(t, pos);
    if (v.s.empty())
        fail(E_NO_FILENAME);
    return v.s;
}

// A range of LIST and DELETE: "first[-last]".  `first`/`last` receive the
// records; the statement's own line is left out of the search.
bool parse_range(Line* line, Line*& first, Line*& last)
{
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (at_end(t, pos)) {
        line->cursor = pos;
        return false;
    }
    long a = -1, b = -1;
    bool dash = false;
    while (!at_end(t, pos)) {
        char c = t[pos];
        if (is_digit(c)) {
            long& n = dash ? b : a;
            if (n < 0)
                n = 0;
            if (n < 100000)
                n = n * 10 + (c - '0');
        } else if (c == '-' && !dash) {
            dash = true;
        } else if (!is_blank(c)) {
            fail(E_SYNTAX);
        }
        ++pos;
    }
    line->cursor = pos;
    if (a < 0)
        fail(E_SYNTAX);
    Engine& e = engine();
    if (a == 0) {
        first = e.start.next;
        if (first == line)
            first = first->next;
    } else {
        first = find_line(static_cast<int32_t>(a), line);
    }
    if (!first || first == &e.end)
        fail_line_not_found(static_cast<int32_t>(a));
    if (b < 0) {
        last = find_last_line(first->number, line);
        if (!last)
            last = first;
    } else {
        last = find_last_line(static_cast<int32_t>(b), line);
        if (!last) {
            last = first;
            while (last->next != &e.end)
                last = last->next;
        }
    }
    // A range that ends before it begins holds no line.
    if (last->number < first->number)
        first = last = nullptr;
    return true;
}

void write_lines(FILE* out, Line* first, Line* last)
{
    Engine& e = engine();
    for (Line* l = first; l && l != &e.end; l = l->next) {
        if (out) {
            std::fprintf(out, "%s%s\n", l->text, l->remark ? l->text + l->remark : "");
        } else {
            std::string s = l->text;
            if (l->remark)
                s += l->text + l->remark;
            s += '\n';
            console_stream(s);
        }
        if (l == last)
            break;
    }
}

} // namespace

const char* const kErrorText[kErrorCount] = {
    "Failed to open %s",
    "Memory Shortage",
    "No linenumber",
    "No filename",
    "Line number %d not found",
    "Incomplete",
    "Value out of range",
    "Syntax error",
    "Invalid dev number",
    "Dev error",
    "Error in OS command",
    "Argument must be string",
    "Incorrect argument",
    "Type mismatch",
    "Argument is not an array",
    "Out of data",
    "Overflow",
    "NEXT without FOR",
    "Undefined function",
    "Divide by zero",
    "Cannot redimension",
    "Call OPTION BASE before DIM",
    "Unable to parse",
};

// ---- line records ---------------------------------------------------------------

// Where a remark begins: the first ' outside quotes, except in a DATA
// statement (its items may hold one) and after REM (all of it is remark
// already).  -1 when there is none.
namespace {
long remark_start(const char* t, size_t length)
{
    size_t i = 0;
    while (i < length && (t[i] == ' ' || t[i] == '\t'))
        ++i;
    while (i < length && is_digit(t[i]))
        ++i;
    for (;;) {
        while (i < length && (t[i] == ' ' || t[i] == '\t' || t[i] == ':'))
            ++i;
        auto starts = [&](const char* word) {
            size_t n = 0;
            while (word[n] && i + n < length && upper(t[i + n]) == word[n])
                ++n;
            return word[n] == 0;
        };
        if (i >= length || starts("REM"))
            return -1;
        const bool data = starts("DATA");
        bool quoted = false;
        for (; i < length; ++i) {
            if (t[i] == '"')
                quoted = !quoted;
            else if (!quoted && t[i] == ':')
                break;
            else if (!quoted && !data && t[i] == '\'')
                return static_cast<long>(i);
        }
        if (i >= length)
            return -1;
    }
}
} // namespace

Line* line_new(const char* text, size_t length, int32_t number, bool all_remark)
{
    Engine& e = engine();
    const long cut = all_remark ? 0 : remark_start(text, length);
    // The statements, and behind their end the remark as it was written.
    const size_t code = cut < 0 ? length : static_cast<size_t>(cut);
    auto* line = static_cast<Line*>(group_alloc_ptr(1, sizeof(Line), "sln", e.group));
    char* copy = line ? static_cast<char*>(group_alloc_ptr(length + 2, 1, "stx", e.group)) : nullptr;
    if (!line || !copy) {
        group_free_ptr(line);
        fail(E_MEMORY);
    }
    std::memcpy(copy, text, code);
    copy[code] = 0;
    if (code < length) {
        std::memcpy(copy + code + 1, text + code, length - code);
        copy[length + 1] = 0;
        line->remark = static_cast<int32_t>(code + 1);
    }
    line->text = copy;
    line->length = static_cast<int32_t>(code);
    line->number = number;
    line->stmt_start = line->leading_number = line->after_number = line->stmt_index = -1;
    return line;
}

void program_changed()
{
    ++engine().generation;
    names_changed();
}

void lines_free_all()
{
    Engine& e = engine();
    for (Line* l = e.start.next; l && l != &e.end;) {
        Line* next = l->next;
        line_free(l);
        l = next;
    }
    for (Line* l : e.removed)
        line_free(l);
    e.removed.clear();
    e.start.next = &e.end;
    e.data_line = nullptr;
    e.data_pos = 0;
    program_changed();
}

FILE* program_fopen(const std::string& name, const char* mode)
{
    if (!engine().file_access)
        return nullptr;
    return std::fopen(name.c_str(), mode);
}

Line* first_line()
{
    Line* l = engine().start.next;
    l->cursor = 0;
    return l;
}

Line* find_line(int32_t number, const Line* skip)
{
    Engine& e = engine();
    if (!skip) {
        // The index of first records is rebuilt after every change.
        if (e.index_generation != e.generation) {
            e.line_index.clear();
            for (Line* l = e.start.next; l != &e.end; l = l->next)
                e.line_index.emplace(l->number, l);
            e.index_generation = e.generation;
        }
        auto it = e.line_index.find(number);
        return it == e.line_index.end() ? nullptr : it->second;
    }
    for (Line* l = e.start.next; l != &e.end; l = l->next)
        if (l->number == number && l != skip)
            return l;
    return nullptr;
}

Line* find_last_line(int32_t number, const Line* skip)
{
    Engine& e = engine();
    Line* found = nullptr;
    for (Line* l = e.start.next; l != &e.end && l->number <= number; l = l->next)
        if (l->number == number && l != skip)
            found = l;
    return found;
}

int add_line(const char* text, int32_t& remembered)
{
    Engine& e = engine();
    size_t length = cut_length(text, std::strlen(text));
    std::string copy(text, length);
    int32_t start = 0;
    int32_t end = word_end(copy.c_str(), 0, &start);
    bool digits = end > start;
    long number = 0;
    for (int32_t k = start; k < end && digits; ++k) {
        if (!is_digit(copy[k]))
            digits = false;
        else if (number < 100000)
            number = number * 10 + (copy[k] - '0');
    }
    if (digits) {
        remembered = static_cast<int32_t>(number);
    } else {
        // A blank line before the first number has no line to belong to.
        if (remembered == 0 && copy.find_first_not_of(" \t") == std::string::npos)
            return 0;
        number = remembered;
    }
    if (number < 1 || number >= kLastLine)
        fail_text("Failed to locate line number");

    // A further piece of a line whose remark has begun is remark too.
    bool in_remark = false;
    if (!digits)
        for (Line* l = e.start.next; l != &e.end; l = l->next)
            in_remark |= l->number == number && l->remark != 0;
    Line* line = line_new(copy.c_str(), length, static_cast<int32_t>(number), in_remark);
    // Directly after the first record of the same number, else between the
    // smaller and the larger neighbour.
    Line* at = &e.start;
    while (at->next != &e.end && at->next->number < number)
        at = at->next;
    if (at->next->number == number)
        at = at->next;
    line->next = at->next;
    at->next = line;
    program_changed();
    return 0;
}

void load_file(FILE* file)
{
    Engine& e = engine();
    int32_t remembered = 0;
    // Pieces of at most 255 characters; a longer line goes on in a further
    // record with the same number.  The line break after a piece that
    // filled the buffer ends that line: it is no line of its own.
    bool piece_open = false;
    while (std::fgets(e.line_input, kPieceLength + 1, file)) {
        size_t n = std::strlen(e.line_input);
        bool ended = n > 0 && e.line_input[n - 1] == '\n';
        bool only_break = n > 0 && std::strspn(e.line_input, "\r\n") == n;
        if (!(piece_open && only_break)) {
            try {
                add_line(e.line_input, remembered);
            } catch (...) {
                std::fclose(file);
                throw;
            }
        }
        piece_open = !ended && n == static_cast<size_t>(kPieceLength);
    }
    std::fclose(file);
}

int check_file(FILE* file)
{
    Engine& e = engine();
    long last = -1;        // last accepted line number
    long number = 0;
    bool digits = false;
    bool complete = false;
    long quotes = 0;
    char last_char = 0;    // last character that was not a blank

    auto failure = [&](const char* text, long line_number) {
        std::fclose(file);
        e.error_line = static_cast<int32_t>(line_number);
        fail_fatal(text);
    };
    auto line_done = [&](bool at_eof) {
        if (quotes % 2 != 0)
            failure(at_eof ? "Unbalanced quotes detected (last line)" : "Unbalanced quotes detected",
                    complete ? number : last);
        if (last_char == ':')
            failure(at_eof ? "terminating ':' without following statement detected (last line)"
                           : "terminating ':' without following statement detected",
                    complete ? number : last);
        number = 0;
        digits = complete = false;
        quotes = 0;
        last_char = 0;
    };

    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (size_t i = 0; i < got; ++i) {
            char c = buffer[i];
            if (c == '\r' || c == '\n') {
                line_done(false);
                continue;
            }
            if (!complete) {
                if (is_digit(c)) {
                    digits = true;
                    if (number < 1000000)
                        number = number * 10 + (c - '0');
                    continue;
                }
                if (is_blank(c)) {
                    if (!digits)
                        continue;
                    complete = true;
                    if (number == 0)
                        failure("ZERO line number not allowed", last);
                    if (number <= last)
                        failure("Duplicate or out-of-sequence line number", last);
                    last = number;
                    continue;
                }
                failure("Line number syntax error", last);
            }
            if (c == '"')
                ++quotes;
            if (!is_blank(c))
                last_char = c;
        }
    }
    line_done(true);
    std::fclose(file);
    return 0;
}

// ---- the run ------------------------------------------------------------------------

bool engine_begin()
{
    Engine& e = engine();
    e.group = group_new();
    reset_sentinels();
    e.message = static_cast<char*>(mem_alloc(256, "smsg"));
    e.line_input = static_cast<char*>(mem_alloc(kPieceLength + 2, "sinp"));
    e.console = static_cast<char*>(mem_alloc(kConsoleBuffer + 1, "scon"));
    e.devices = static_cast<Device*>(mem_alloc(kDevices * static_cast<long>(sizeof(Device)), "sdev"));
    e.gosub_table = static_cast<int32_t*>(mem_alloc((kGosubLevels + 1) * 4L, "sgos"));
    e.while_stack = static_cast<WhileFrame*>(mem_alloc(kWhileLevels * static_cast<long>(sizeof(WhileFrame)), "swhl"));
    e.for_stack = static_cast<ForFrame*>(mem_alloc(kForLevels * static_cast<long>(sizeof(ForFrame)), "sfor"));
    if (!e.message || !e.line_input || !e.console || !e.devices || !e.gosub_table || !e.while_stack ||
        !e.for_stack)
        return false;
    std::memset(e.message, 0, 256);
    std::memset(e.line_input, 0, kPieceLength + 2);
    std::memset(e.console, 0, kConsoleBuffer + 1);
    std::memset(e.gosub_table, 0, (kGosubLevels + 1) * 4);
    std::memset(static_cast<void*>(e.while_stack), 0, kWhileLevels * sizeof(WhileFrame));
    std::memset(static_cast<void*>(e.for_stack), 0, kForLevels * sizeof(ForFrame));
    for (int i = 0; i < kDevices; ++i) {
        Device& d = e.devices[i];
        std::memset(static_cast<void*>(&d), 0, sizeof d);
        d.mode = DEV_CLOSED;
        d.record_length = kRecordLength;
        d.width = kDeviceWidth;
        d.column = 1;
    }
    e.lines_run = 0;
    e.output_count = 0;
    e.user_calls = 0;
    e.cuts.clear();
    e.console_len = 0;
    e.console_column = 1;
    e.console_width = kConsoleWidth;
    e.current = nullptr;
    e.error_line = 0;
    e.height = e.gosub_level = e.while_level = e.for_level = 0;
    e.handler_line = e.err = e.erl = 0;
    e.in_handler = e.trace = e.jump = e.returned = false;
    e.array_base = 0;
    e.dim_seen = false;
    std::memset(e.def_type, 0, sizeof e.def_type);
    e.rnd_state = 1;
    e.rnd_last = 0;
    e.data_line = nullptr;
    e.data_pos = 0;
    e.last_error.clear();
    names_changed();
    functions_link();
    if (!image_run_begin())
        return false;
    e.active = true;
    return true;
}

void engine_end()
{
    Engine& e = engine();
    image_run_end();
    devices_close_all();
    lines_free_all();
    variables_clear(false);
    functions_unlink();
    e.fields.clear();
    e.line_index.clear();
    e.index_generation = ~0u;
    e.message = mem_free_t(e.message);
    e.line_input = mem_free_t(e.line_input);
    e.console = mem_free_t(e.console);
    e.devices = mem_free_t(e.devices);
    e.gosub_table = mem_free_t(e.gosub_table);
    e.while_stack = mem_free_t(e.while_stack);
    e.for_stack = mem_free_t(e.for_stack);
    group_release(e.group);
    e.group = 0;
    e.height = e.gosub_level = e.while_level = e.for_level = 0;
    e.current = nullptr;
    e.active = false;
}

void reset_control()
{
    Engine& e = engine();
    e.gosub_level = e.while_level = e.for_level = 0;
    e.height = 0;
    e.jump = e.returned = false;
    e.in_handler = false;
}

void run_program(Line* from)
{
    Engine& e = engine();
    Line* l = from;
    for (;;) {
        Restart restart;
        try {
            l->cursor = 0;
            while (l != &e.end)
                l = execute_line(l);
            return;
        } catch (Restart& r) {
            restart = r;
        }
        // The program under the running statement changes: every nested run
        // has been left, so no line record is referred to any more.
        reset_control();
        e.current = nullptr;
        switch (restart.kind) {
        case Restart::RunFrom:
            l = restart.from;
            break;
        case Restart::RunFile:
        case Restart::Chain:
        case Restart::Load: {
            FILE* f = program_fopen(restart.file, "rb");
            if (!f) {
                char text[300];
                std::snprintf(text, sizeof text, kErrorText[E_OPEN], restart.file.c_str());
                fail_fatal(text);
            }
            lines_free_all();
            if (restart.kind == Restart::Chain) {
                variables_clear(true);
            } else {
                variables_clear(false);
                e.handler_line = 0;
            }
            load_file(f);
            if (restart.kind == Restart::Load)
                return;
            l = first_line();
            break;
        }
        }
    }
}

} // namespace script

using namespace script;

int script_run(int argc, const char* const* argv)
{
    Engine& e = engine();
    if (e.active) {
        // One program at a time: the store and the devices are the run's.
        ui::platform().message_box("Script Engine Error", "A script is already running.", ui::BoxIcon::Stop);
        return 1;
    }
    if (argc < 2 || !argv || !argv[1]) {
        ui::platform().message_box("Script Engine Error", "No script file named.", ui::BoxIcon::Stop);
        return 1;
    }
    if (!engine_begin()) {
        engine_end();
        ui::platform().message_box("Script Engine Error", kErrorText[E_MEMORY], ui::BoxIcon::Stop);
        return 1;
    }
    e.script_path = argv[1];
    e.args.clear();
    for (int i = 2; i < argc; ++i)
        e.args.push_back(argv[i] ? argv[i] : "");

    struct sigaction interrupt {}, previous {};
    interrupt.sa_handler = on_interrupt;
    sigemptyset(&interrupt.sa_mask);
    g_break = 0;
    sigaction(SIGINT, &interrupt, &previous);

    e.status = 0;
    try {
        std::string path = argv[1];
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) {
            path += ".gxs";
            f = std::fopen(path.c_str(), "rb");
        }
        struct stat info {};
        if (f && (fstat(fileno(f), &info) != 0 || !S_ISREG(info.st_mode))) {
            std::fclose(f);  // a folder or a device is no script
            f = nullptr;
        }
        if (!f) {
            char text[300];
            std::snprintf(text, sizeof text, kErrorText[E_OPEN], argv[1]);
            fail_fatal(text);
        }
        check_file(f);
        f = std::fopen(path.c_str(), "rb");
        if (!f) {
            char text[300];
            std::snprintf(text, sizeof text, kErrorText[E_OPEN], argv[1]);
            fail_fatal(text);
        }
        load_file(f);
        run_program(first_line());
    } catch (const Abort& a) {
        e.status = a.status;
    } catch (const StatementFailed&) {
        e.status = 1;  // a handler outside any line; cannot happen
    } catch (const Restart&) {
        e.status = 1;
    }
    console_flush();
    sigaction(SIGINT, &previous, nullptr);
    g_break = 0;
    int status = e.status;
    engine_end();
    return status;
}

const std::string& script_last_error()
{
    return engine().last_error;
}

void script_request_break()
{
    g_break = 1;
}

bool script_running()
{
    return engine().active;
}

void script_set_image(Image* image)
{
    g_image = image;
}

Image* script_image()
{
    return g_image;
}

std::string script_current_path()
{
    const Settings& s = settings();
    std::string path = s.script_path;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + s.script_filename;
}

namespace script {

// ---- the program statements --------------------------------------------------------

Line* st_run(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (at_end(t, pos) || t[pos] == '\r' || t[pos] == '\n')
        throw Restart{Restart::RunFrom, e.start.next, {}};
    if (is_digit(t[pos])) {
        int32_t number = eval_int(t, pos);
        expect_end(t, pos);
        Line* from = find_last_line(number);
        if (!from)
            fail_line_not_found(number);
        throw Restart{Restart::RunFrom, from, {}};
    }
    Value v;
    evaluate(t, pos, v);
    expect_end(t, pos);
    if (!v.is_string())
        fail(E_TYPE);
    std::fclose(open_program_file(v.s));  // fails here while the handler can still catch it
    throw Restart{Restart::RunFile, nullptr, v.s};
}

Line* st_new(Line* line)
{
    (void)line;
    // Nothing is left to run: the program ends with its lines.
    lines_free_all();
    variables_clear(false);
    throw Abort{0};
}

Line* st_pload(Line* line)
{
    std::string name = file_operand(line);
    std::fclose(open_program_file(name));
    // The running line goes with the old program: the load happens once
    // every nested run has been left, and then the run ends.
    throw Restart{Restart::Load, nullptr, name};
}

Line* st_mergep(Line* line)
{
    std::string name = file_operand(line);
    load_file(open_program_file(name));
    return line;
}

Line* st_chainp(Line* line)
{
    std::string name = file_operand(line);
    std::fclose(open_program_file(name));
    throw Restart{Restart::Chain, nullptr, name};
}

Line* st_list(Line* line)
{
    Engine& e = engine();
    Line *first = nullptr, *last = nullptr;
    if (!parse_range(line, first, last)) {
        first = e.start.next;
        last = nullptr;
    }
    write_lines(nullptr, first, last);
    return line;
}

Line* st_psave(Line* line)
{
    std::string name = file_operand(line);
    // Written beside the old program file, which it replaces only when whole.
    SafeWrite out(name.c_str());
    FILE* f = engine().file_access ? out.open("w") : nullptr;
    if (!f) {
        char text[300];
        std::snprintf(text, sizeof text, kErrorText[E_OPEN], name.c_str());
        fail_text(text);
    }
    write_lines(f, engine().start.next, nullptr);
    if (std::ferror(f) != 0 || out.commit() != 0)
        fail(E_DEV);
    return line;
}

Line* st_delete(Line* line)
{
    Engine& e = engine();
    Line *first = nullptr, *last = nullptr;
    if (!parse_range(line, first, last))
        fail(E_SYNTAX);
    if (!first)
        return line;
    Line* before = &e.start;
    while (before->next != first)
        before = before->next;
    Line* after = last->next;
    bool own = false;
    for (Line* l = first; l != &e.end; l = l->next) {
        if (l == line)
            own = true;
        if (e.data_line == l) {
            e.data_line = nullptr;
            e.data_pos = 0;
        }
        // Records may still be referred to by loops and callers of this run;
        // they are freed when the run ends.
        e.removed.push_back(l);
        if (l == last)
            break;
    }
    before->next = after;
    program_changed();
    if (own) {
        after->cursor = 0;
        return jump_to(after, 0);
    }
    return line;
}

} // namespace script
