// The statement table and the general-purpose statements: output (PRINT,
// WRITE, WIDTH), input (INPUT, LINE INPUT), the file devices (OPEN, CLOSE,
// FIELD, LSET, RSET, GET, PUT), the file services (KILL, NAME, ENVIRON),
// data (DATA, READ, RESTORE), arrays and variables (DIM, OPTION BASE,
// ERASE, SWAP, CLEAR, COMMON), user functions (DEF and the DEF types) and
// RANDOMIZE.
#include "script/engine.h"

#include "core/mem.h"
#include "core/platform.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

namespace script {

namespace {

// ---- devices --------------------------------------------------------------------

void close_device(int number)
{
    Engine& e = engine();
    Device& d = e.devices[number];
    if (d.file)
        std::fclose(d.file);
    if (d.field)
        d.field = mem_free_t(d.field);
    std::vector<FieldBinding>& f = e.fields;
    for (size_t i = 0; i < f.size();)
        if (f[i].device == number)
            f.erase(f.begin() + static_cast<long>(i));
        else
            ++i;
    d.file = nullptr;
    d.mode = DEV_CLOSED;
    d.record_length = kRecordLength;
    d.record = 0;
    d.width = kDeviceWidth;
    d.column = 1;
    d.name[0] = 0;
}

// "#n," of PRINT, WRITE and INPUT; the device must be open in one of the
// modes given.
int device_prefix(const char* t, int32_t& pos, bool output, bool comma_required)
{
    pos = skip_blanks(t, pos);
    if (t[pos] != '#')
        return kConsole;
    ++pos;
    int32_t n = eval_int(t, pos);
    Device& d = open_device(n);
    if (output ? (d.mode != DEV_OUTPUT && d.mode != DEV_APPEND) : d.mode != DEV_INPUT)
        fail(E_DEV);
    pos = skip_blanks(t, pos);
    if (t[pos] == ',')
        ++pos;
    else if (comma_required)
        fail(E_SYNTAX);
    return n;
}

void print_value(int device, const Value& v)
{
    if (v.is_string())
        out_text(device, v.s);
    else
        out_text(device, format_number(v));
}

// ---- PRINT USING -------------------------------------------------------------------

struct Field {
    enum Kind { None, First, Fixed, Whole, Number } kind = None;
    int width = 0;     // characters of the field
    int decimals = -1; // -1: no decimal point
    bool exponent = false;
    bool plus = false;
};

// Copies the literal text of the format from `at` into `out` up to the next
// field, which it describes; None at the end of the format.
Field next_field(const std::string& f, size_t& at, std::string& out)
{
    Field field;
    while (at < f.size()) {
        char c = f[at];
        if (c == '_' && at + 1 < f.size()) {
            out += f[at + 1];
            at += 2;
            continue;
        }
        if (c == '!') {
            ++at;
            field.kind = Field::First;
            field.width = 1;
            return field;
        }
        if (c == '&') {
            ++at;
            field.kind = Field::Whole;
            return field;
        }
        if (c == '\\') {
            size_t close = at + 1;
            while (close < f.size() && f[close] == ' ')
                ++close;
            if (close < f.size() && f[close] == '\\') {
                field.kind = Field::Fixed;
                field.width = static_cast<int>(close - at + 1);
                at = close + 1;
                return field;
            }
        }
        bool starts_number = c == '#' || (c == '.' && at + 1 < f.size() && f[at + 1] == '#') ||
                             (c == '+' && at + 1 < f.size() && (f[at + 1] == '#' || f[at + 1] == '.'));
        if (starts_number) {
            size_t start = at;
            field.kind = Field::Number;
            if (c == '+') {
                field.plus = true;
                ++at;
            }
            while (at < f.size() && (f[at] == '#' || f[at] == ','))
                ++at;
            if (at < f.size() && f[at] == '.') {
                ++at;
                field.decimals = 0;
                while (at < f.size() && f[at] == '#') {
                    ++at;
                    ++field.decimals;
                }
            }
            if (f.compare(at, 4, "^^^^") == 0) {
                field.exponent = true;
                at += 4;
            }
            field.width = static_cast<int>(at - start);
            return field;
        }
        out += c;
        ++at;
    }
    return field;
}

void pad_left(std::string& out, const std::string& text, int width)
{
    if (static_cast<int>(text.size()) > width)
        out += '%';  // does not fit: shown whole, marked
    else
        out.append(static_cast<size_t>(width) - text.size(), ' ');
    out += text;
}

void format_field(const Field& field, const Value& v, std::string& out)
{
    char buffer[400];
    switch (field.kind) {
    case Field::First:
    case Field::Fixed: {
        if (!v.is_string())
            fail(E_TYPE);
        std::snprintf(buffer, sizeof buffer, "%.*s", field.width, v.s.c_str());
        std::string s = buffer;
        s.resize(static_cast<size_t>(field.width), ' ');
        out += s;
        return;
    }
    case Field::Whole:
        if (!v.is_string())
            fail(E_TYPE);
        out += v.s;
        return;
    case Field::Number: {
        if (v.is_string())
            fail(E_TYPE);
        double x = v.n;
        int decimals = field.decimals < 0 ? 0 : field.decimals;
        std::string text;
        if (field.exponent) {
            std::snprintf(buffer, sizeof buffer, "%.*le", decimals, x);
            text = buffer;
        } else if (field.decimals >= 0) {
            std::snprintf(buffer, sizeof buffer, "%*.*lf", 1, decimals, x);
            text = buffer;
        } else if (std::fabs(x) < 2147483647.0) {
            std::snprintf(buffer, sizeof buffer, "%.*d", 1, static_cast<int>(std::lround(x)));
            text = buffer;
        } else {
            std::snprintf(buffer, sizeof buffer, "%.0f", x);
            text = buffer;
        }
        if (field.plus && x >= 0)
            text = "+" + text;
        pad_left(out, text, field.width);
        return;
    }
    case Field::None:
        break;
    }
}

// PRINT USING: the items after the format, each in the next field (the
// format starts again when its fields run out).  Returns whether the
// statement ended in ';'.
bool print_using(int device, const char* t, int32_t& pos)
{
    Value format;
    evaluate(t, pos, format);
    if (!format.is_string())
        fail(E_TYPE);
    const std::string& f = format.s;
    std::string out;
    size_t at = 0;
    bool keep_open = false;
    bool any = false;
    pos = skip_blanks(t, pos);
    while (t[pos] == ';' || t[pos] == ',') {
        keep_open = t[pos] == ';';
        pos = skip_blanks(t, pos + 1);
        if (at_end(t, pos))
            break;
        keep_open = false;
        Value v;
        evaluate(t, pos, v);
        Field field = next_field(f, at, out);
        if (field.kind == Field::None) {
            if (!any)
                fail(E_ARGUMENT);
            at = 0;
            field = next_field(f, at, out);
        }
        any = true;
        format_field(field, v, out);
        pos = skip_blanks(t, pos);
    }
    if (!at_end(t, pos))
        fail(E_SYNTAX);
    // The literal text that follows the last field.
    std::string tail;
    if (next_field(f, at, tail).kind == Field::None || any)
        out += tail;
    out_text(device, out);
    return keep_open;
}

// ---- input -------------------------------------------------------------------------

struct Item {
    std::string text;
    bool quoted = false;
};

// Splits a line of input into its comma-separated items.
std::vector<Item> split_items(const std::string& line)
{
    std::vector<Item> items;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && is_blank(line[i]))
            ++i;
        Item item;
        if (i < line.size() && line[i] == '"') {
            item.quoted = true;
            size_t close = line.find('"', i + 1);
            if (close == std::string::npos)
                close = line.size();
            item.text = line.substr(i + 1, close - i - 1);
            i = close + 1;
            while (i < line.size() && line[i] != ',')
                ++i;
        } else {
            size_t comma = line.find(',', i);
            if (comma == std::string::npos)
                comma = line.size();
            item.text = line.substr(i, comma - i);
            while (!item.text.empty() && (is_blank(item.text.back()) || item.text.back() == '\r'))
                item.text.pop_back();
            i = comma;
        }
        items.push_back(std::move(item));
        if (i >= line.size())
            break;
        ++i;  // the comma
    }
    return items;
}

// Assigns an item of INPUT or READ: a number must be a number throughout.
void assign_item(const Ref& r, const Item& item)
{
    if (r.var->type == T_STR) {
        ref_set(r, Value::string(item.text));
        return;
    }
    if (item.quoted)
        fail(E_TYPE);
    const char* s = item.text.c_str();
    int32_t pos = skip_blanks(s, 0);
    Value v = Value::integer(0);
    if (s[pos]) {
        bool negative = false;
        if (s[pos] == '-' || s[pos] == '+') {
            negative = s[pos] == '-';
            pos = skip_blanks(s, pos + 1);
        }
        if (!scan_number(s, pos, v))
            fail(E_TYPE);
        if (s[skip_blanks(s, pos)] != 0)
            fail(E_TYPE);
        if (negative)
            v.n = -v.n;
    }
    ref_set(r, v);
}

std::vector<Ref> parse_refs(const char* t, int32_t& pos)
{
    std::vector<Ref> refs;
    for (;;) {
        refs.push_back(parse_ref(t, pos));
        pos = skip_blanks(t, pos);
        if (t[pos] != ',')
            break;
        ++pos;
    }
    return refs;
}

// An optional prompt string constant followed by ';' or ','.  Returns
// whether it was followed by ';' (or absent), which asks with "? ".
bool parse_prompt(const char* t, int32_t& pos, std::string& prompt)
{
    pos = skip_blanks(t, pos);
    if (t[pos] != '"')
        return true;
    int32_t start = ++pos;
    while (t[pos] && t[pos] != '"')
        ++pos;
    prompt.assign(t + start, static_cast<size_t>(pos - start));
    if (t[pos] == '"')
        ++pos;
    pos = skip_blanks(t, pos);
    if (t[pos] == ';') {
        ++pos;
        return true;
    }
    if (t[pos] == ',') {
        ++pos;
        return false;
    }
    fail(E_SYNTAX);
}

// One line from the console: the question stays on the console device and
// is shown on the console stream while the answer is awaited; the answer
// completes the output line.
std::string ask_console(const std::string& question)
{
    Engine& e = engine();
    out_text(kConsole, question);
    std::string shown(e.console, static_cast<size_t>(e.console_len));
    if (!shown.empty())
        console_stream(shown);
    std::string answer;
    if (!ui::platform().console_read_line(answer)) {
        poll_break();  // the wait for an answer was broken off
        fail(E_OUT_OF_DATA);
    }
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == '\n'))
        answer.pop_back();
    out_text(kConsole, answer);
    out_char(kConsole, '\n');
    return answer;
}

// A character of an input file; a wait for one (a pipe, a terminal) that the
// break request interrupts ends the run.
int read_char(FILE* f)
{
    int c = std::fgetc(f);
    if (c == EOF)
        poll_break();
    return c;
}

bool file_line(FILE* f, std::string& line)
{
    line.clear();
    int c;
    bool any = false;
    while ((c = read_char(f)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line += static_cast<char>(c);
        check_length(line.size());
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}

// The next comma- or line-separated item of a file.
bool file_item(FILE* f, Item& item)
{
    item = Item{};
    int c;
    do {
        c = read_char(f);
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    if (c == EOF)
        return false;
    if (c == '"') {
        item.quoted = true;
        while ((c = read_char(f)) != EOF && c != '"')
            item.text += static_cast<char>(c);
        while (c != EOF && c != ',' && c != '\n')
            c = read_char(f);
        return true;
    }
    while (c != EOF && c != ',' && c != '\n') {
        item.text += static_cast<char>(c);
        check_length(item.text.size());
        c = read_char(f);
    }
    while (!item.text.empty() && (is_blank(item.text.back()) || item.text.back() == '\r'))
        item.text.pop_back();
    return true;
}

// ---- DATA ---------------------------------------------------------------------------

const int kDataIndex = [] {
    size_t n = 0;
    const StatementDef* t = statement_table(&n);
    for (size_t i = 0; i < n; ++i)
        if (std::strcmp(t[i].name, "DATA") == 0)
            return static_cast<int>(i);
    return -1;
}();
const int kRemIndex = 0;

// Moves the reading position to the next DATA statement at or after the
// statement that begins at data_pos of data_line.
bool seek_data()
{
    Engine& e = engine();
    Line* l = e.data_line;
    int32_t pos = e.data_pos;
    while (l != &e.end) {
        const char* t = l->text;
        for (;;) {
            pos = skip_blanks(t, pos);
            while (t[pos] == ':')
                pos = skip_blanks(t, pos + 1);
            if (t[pos] == 0)
                break;
            int32_t after = 0;
            int index = recognise(l, pos, &after);
            if (index == kDataIndex) {
                e.data_line = l;
                e.data_pos = after;
                e.data_in = true;
                return true;
            }
            if (index == kRemIndex || index == -2)
                break;
            pos = statement_end(t, pos);
            if (t[pos] != ':')
                break;
        }
        l = l->next;
        pos = 0;
    }
    e.data_line = &e.end;
    e.data_pos = 0;
    e.data_in = false;
    return false;
}

bool next_data(Item& item)
{
    Engine& e = engine();
    if (!e.data_line) {
        e.data_line = e.start.next;
        e.data_pos = 0;
        e.data_in = false;
    }
    for (;;) {
        if (!e.data_in && !seek_data())
            return false;
        const char* t = e.data_line->text;
        int32_t p = skip_blanks(t, e.data_pos);
        if (at_end(t, p)) {
            e.data_in = false;
            e.data_pos = p;
            continue;
        }
        item = Item{};
        if (t[p] == '"') {
            item.quoted = true;
            int32_t start = ++p;
            while (t[p] && t[p] != '"')
                ++p;
            item.text.assign(t + start, static_cast<size_t>(p - start));
            if (t[p] == '"')
                ++p;
            p = skip_blanks(t, p);
        } else {
            int32_t start = p;
            while (t[p] && t[p] != ',' && t[p] != ':')
                ++p;
            item.text.assign(t + start, static_cast<size_t>(p - start));
            while (!item.text.empty() && is_blank(item.text.back()))
                item.text.pop_back();
        }
        if (t[p] == ',')
            ++p;
        else if (!at_end(t, p))
            fail(E_SYNTAX);
        e.data_pos = p;
        return true;
    }
}

// ---- small parsing helpers -------------------------------------------------------------

std::string name_at(const char* t, int32_t& pos)
{
    pos = skip_blanks(t, pos);
    int32_t end = scan_name(t, pos);
    if (end == pos)
        fail(E_SYNTAX);
    std::string name(t + pos, static_cast<size_t>(end - pos));
    pos = end;
    return name;
}

// A name list of COMMON and ERASE; "()" after a name is allowed.
std::vector<std::string> name_list(const char* t, int32_t& pos)
{
    std::vector<std::string> names;
    for (;;) {
        names.push_back(name_at(t, pos));
        pos = skip_blanks(t, pos);
        if (t[pos] == '(') {
            pos = skip_blanks(t, pos + 1);
            if (t[pos] != ')')
                fail(E_SYNTAX);
            pos = skip_blanks(t, pos + 1);
        }
        if (t[pos] != ',')
            break;
        ++pos;
    }
    expect_end(t, pos);
    return names;
}

Line* def_type(Line* line, char type)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = line->cursor;
    for (;;) {
        pos = skip_blanks(t, pos);
        if (!is_alpha(t[pos]))
            fail(E_SYNTAX);
        char a = upper(t[pos++]);
        char b = a;
        pos = skip_blanks(t, pos);
        if (t[pos] == '-') {
            pos = skip_blanks(t, pos + 1);
            if (!is_alpha(t[pos]))
                fail(E_SYNTAX);
            b = upper(t[pos++]);
            pos = skip_blanks(t, pos);
        }
        if (b < a)
            fail(E_SYNTAX);
        for (char c = a; c <= b; ++c) {
            e.def_type[static_cast<unsigned char>(c)] = type;
            e.def_type[static_cast<unsigned char>(c + 32)] = type;
        }
        if (t[pos] != ',')
            break;
        ++pos;
    }
    line->cursor = expect_end(t, pos);
    return line;
}

int32_t width_value(const char* t, int32_t& pos)
{
    int32_t w = eval_int(t, pos);
    if (w < 1 || w > 32767)
        fail(E_RANGE);
    return w;
}

FieldBinding* binding_of(const std::string& name)
{
    for (FieldBinding& b : engine().fields)
        if (b.name == name)
            return &b;
    return nullptr;
}

void refresh_fields(int number)
{
    Engine& e = engine();
    Device& d = e.devices[number];
    for (const FieldBinding& b : e.fields) {
        if (b.device != number)
            continue;
        Variable* v = get_variable(b.name);
        if (v->type == T_STR && !v->array)
            v->str[0].assign(d.field + b.offset, static_cast<size_t>(b.width));
    }
}

int32_t record_operand(Line* line, int& number)
{
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (t[pos] == '#')
        ++pos;
    number = eval_int(t, pos);
    Device& d = open_device(number);
    if (d.mode != DEV_RANDOM)
        fail(E_DEV);
    pos = skip_blanks(t, pos);
    int32_t record = static_cast<int32_t>(d.record);
    if (t[pos] == ',') {
        ++pos;
        record = eval_int(t, pos);
        if (record < 1)
            fail(E_RANGE);
    }
    line->cursor = expect_end(t, pos);
    return record;
}

} // namespace

// ---- device access ------------------------------------------------------------------

Device& device(int number)
{
    if (number < 0 || number >= kDevices)
        fail(E_DEV_NUMBER);
    return engine().devices[number];
}

Device& open_device(int number)
{
    Device& d = device(number);
    if (d.mode == DEV_CLOSED)
        fail(E_DEV_NUMBER);
    return d;
}

void devices_close_all()
{
    Engine& e = engine();
    if (!e.devices)
        return;
    for (int i = 0; i < kDevices; ++i)
        if (e.devices[i].mode != DEV_CLOSED)
            close_device(i);
}

int parse_device(const char* t, int32_t& pos)
{
    pos = skip_blanks(t, pos);
    if (t[pos] != '#')
        return kConsole;
    ++pos;
    return eval_int(t, pos);
}

bool read_input_line(int number, std::string& line)
{
    if (number == kConsole)
        return ui::platform().console_read_line(line);
    return file_line(open_device(number).file, line);
}

// ---- output statements ----------------------------------------------------------------

Line* st_print(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    int dev = device_prefix(t, pos, true, false);
    pos = skip_blanks(t, pos);
    bool keep_open = false;
    if (at_keyword(t, pos, "USING")) {
        pos += 5;
        keep_open = print_using(dev, t, pos);
    } else {
        while (!at_end(t, pos)) {
            char c = t[pos];
            if (c == ';') {
                keep_open = true;
                pos = skip_blanks(t, pos + 1);
                continue;
            }
            if (c == ',') {
                out_char(dev, '\t');
                keep_open = false;
                pos = skip_blanks(t, pos + 1);
                continue;
            }
            Value v;
            evaluate(t, pos, v);
            print_value(dev, v);
            keep_open = false;
            pos = skip_blanks(t, pos);
        }
    }
    if (!keep_open)
        out_char(dev, '\n');
    line->cursor = pos;
    return line;
}

Line* st_write(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    int dev = device_prefix(t, pos, true, true);
    pos = skip_blanks(t, pos);
    bool first = true;
    while (!at_end(t, pos)) {
        Value v;
        evaluate(t, pos, v);
        if (!first)
            out_char(dev, ',');
        first = false;
        if (v.is_string()) {
            out_char(dev, '"');
            out_text(dev, v.s);
            out_char(dev, '"');
        } else {
            out_text(dev, format_number(v));
        }
        pos = skip_blanks(t, pos);
        if (t[pos] == ',' || t[pos] == ';')
            pos = skip_blanks(t, pos + 1);
        else if (!at_end(t, pos))
            fail(E_SYNTAX);
    }
    out_char(dev, '\n');
    line->cursor = pos;
    return line;
}

Line* st_width(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (at_end(t, pos))
        fail(E_SYNTAX);
    if (t[pos] == '#') {
        ++pos;
        Device& d = open_device(eval_int(t, pos));
        pos = skip_blanks(t, pos);
        if (t[pos] != ',')
            fail(E_SYNTAX);
        ++pos;
        d.width = width_value(t, pos);
    } else {
        e.console_width = width_value(t, pos);
    }
    line->cursor = expect_end(t, pos);
    return line;
}

// ---- input statements -------------------------------------------------------------------

Line* st_input(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    int dev = device_prefix(t, pos, false, true);
    std::string prompt;
    bool question = dev == kConsole ? parse_prompt(t, pos, prompt) : false;
    std::vector<Ref> refs = parse_refs(t, pos);
    line->cursor = expect_end(t, pos);
    if (dev != kConsole) {
        FILE* f = open_device(dev).file;
        for (const Ref& r : refs) {
            Item item;
            if (!file_item(f, item))
                fail(E_OUT_OF_DATA);
            assign_item(r, item);
        }
        return line;
    }
    std::vector<Item> items = split_items(ask_console(prompt + (question ? "? " : "")));
    size_t k = 0;
    for (const Ref& r : refs) {
        // Too few answers: ask for the rest.
        while (k >= items.size()) {
            items = split_items(ask_console("?? "));
            k = 0;
        }
        assign_item(r, items[k++]);
    }
    return line;
}

Line* st_line(Line* line)
{
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (!at_keyword(t, pos, "INPUT"))
        fail(E_SYNTAX);
    pos += 5;
    int dev = device_prefix(t, pos, false, true);
    std::string prompt;
    if (dev == kConsole)
        parse_prompt(t, pos, prompt);
    Ref r = parse_ref(t, pos);
    line->cursor = expect_end(t, pos);
    if (r.var->type != T_STR)
        fail(E_TYPE);
    std::string text;
    if (dev == kConsole) {
        text = ask_console(prompt);
    } else if (!file_line(open_device(dev).file, text)) {
        fail(E_OUT_OF_DATA);
    }
    ref_set(r, Value::string(text));
    return line;
}

// ---- files --------------------------------------------------------------------------------

Line* st_open(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = line->cursor;
    Value first;
    evaluate(t, pos, first);
    pos = skip_blanks(t, pos);
    int mode = DEV_CLOSED;
    std::string name;
    int32_t number = -1;
    int32_t length = kRecordLength;
    if (at_keyword(t, pos, "FOR")) {
        if (!first.is_string())
            fail(E_NOT_STRING);
        name = first.s;
        pos = skip_blanks(t, pos + 3);
        if (at_keyword(t, pos, "INPUT")) {
            mode = DEV_INPUT;
            pos += 5;
        } else if (at_keyword(t, pos, "OUTPUT")) {
            mode = DEV_OUTPUT;
            pos += 6;
        } else if (at_keyword(t, pos, "APPEND")) {
            mode = DEV_APPEND;
            pos += 6;
        } else {
            fail(E_SYNTAX);
        }
        pos = skip_blanks(t, pos);
        if (!at_keyword(t, pos, "AS"))
            fail(E_SYNTAX);
        pos = skip_blanks(t, pos + 2);
        if (t[pos] == '#')
            ++pos;
        number = eval_int(t, pos);
        pos = skip_blanks(t, pos);
        if (at_keyword(t, pos, "LEN")) {
            pos = skip_blanks(t, pos + 3);
            if (t[pos] != '=')
                fail(E_SYNTAX);
            ++pos;
            length = eval_int(t, pos);
        }
    } else if (t[pos] == ',') {
        if (!first.is_string() || first.s.empty())
            fail(E_SYNTAX);
        switch (upper(first.s[0])) {
        case 'I': mode = DEV_INPUT; break;
        case 'O': mode = DEV_OUTPUT; break;
        case 'R': mode = DEV_RANDOM; break;
        default: fail(E_SYNTAX);
        }
        pos = skip_blanks(t, pos + 1);
        if (t[pos] == '#')
            ++pos;
        number = eval_int(t, pos);
        pos = skip_blanks(t, pos);
        if (t[pos] != ',')
            fail(E_SYNTAX);
        ++pos;
        Value n;
        evaluate(t, pos, n);
        if (!n.is_string())
            fail(E_NOT_STRING);
        name = n.s;
        pos = skip_blanks(t, pos);
        if (t[pos] == ',') {
            ++pos;
            length = eval_int(t, pos);
        }
    } else {
        fail(E_SYNTAX);
    }
    line->cursor = expect_end(t, pos);
    Device& d = device(number);
    if (d.mode != DEV_CLOSED)
        fail(E_DEV_NUMBER);
    if (length < 1 || length > 32767)
        fail(E_RANGE);
    FILE* f = nullptr;
    switch (mode) {
    case DEV_OUTPUT: f = program_fopen(name, "w"); break;
    case DEV_INPUT: f = program_fopen(name, "r"); break;
    case DEV_APPEND: f = program_fopen(name, "a"); break;
    case DEV_RANDOM:
        f = program_fopen(name, "r+b");
        if (!f) {
            if (FILE* made = program_fopen(name, "wb"))
                std::fclose(made);
            f = program_fopen(name, "r+b");
        }
        break;
    }
    if (!f) {
        poll_break();  // opening a pipe waits for its other end
        char text[300];
        std::snprintf(text, sizeof text, kErrorText[E_OPEN], name.c_str());
        fail_text(text);
    }
    if (mode == DEV_RANDOM) {
        d.field = static_cast<char*>(mem_alloc(length, "sfld"));
        if (!d.field) {
            std::fclose(f);
            fail(E_MEMORY);
        }
        std::memset(d.field, ' ', static_cast<size_t>(length));
    }
    d.mode = mode;
    d.file = f;
    d.record_length = length;
    d.record = 1;
    d.column = 1;
    d.width = kDeviceWidth;
    std::snprintf(d.name, sizeof d.name, "%s", name.c_str());
    (void)e;
    return line;
}

Line* st_close(Line* line)
{
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (at_end(t, pos)) {
        devices_close_all();
        line->cursor = pos;
        return line;
    }
    for (;;) {
        pos = skip_blanks(t, pos);
        if (t[pos] == '#')
            ++pos;
        int32_t n = eval_int(t, pos);
        device(n);
        close_device(n);
        pos = skip_blanks(t, pos);
        if (t[pos] != ',')
            break;
        ++pos;
    }
    line->cursor = expect_end(t, pos);
    return line;
}

Line* st_field(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (t[pos] == '#')
        ++pos;
    int32_t number = eval_int(t, pos);
    Device& d = open_device(number);
    if (d.mode != DEV_RANDOM)
        fail(E_DEV);
    std::vector<FieldBinding> made;
    int offset = 0;
    for (;;) {
        pos = skip_blanks(t, pos);
        if (at_end(t, pos))
            break;
        if (t[pos] != ',')
            fail(E_SYNTAX);
        ++pos;
        int32_t width = eval_int(t, pos);
        if (width < 0)
            fail(E_RANGE);
        pos = skip_blanks(t, pos);
        if (!at_keyword(t, pos, "AS"))
            fail(E_SYNTAX);
        pos += 2;
        std::string name = name_at(t, pos);
        Variable* v = get_variable(name);
        if (v->type != T_STR || v->array)
            fail(E_TYPE);
        if (offset + width > d.record_length)
            fail(E_OVERFLOW);
        made.push_back(FieldBinding{number, name, offset, width});
        offset += width;
    }
    line->cursor = pos;
    // A field statement replaces the device's layout; a variable belongs to
    // one field at a time.
    std::vector<FieldBinding>& f = e.fields;
    for (size_t i = 0; i < f.size();) {
        bool drop = f[i].device == number;
        for (const FieldBinding& m : made)
            drop = drop || f[i].name == m.name;
        if (drop)
            f.erase(f.begin() + static_cast<long>(i));
        else
            ++i;
    }
    f.insert(f.end(), made.begin(), made.end());
    refresh_fields(number);
    return line;
}

Line* st_lset(Line* line)
{
    Engine& e = engine();
    size_t count = 0;
    bool right = statement_table(&count)[line->stmt_index].name[0] == 'R';
    const char* t = line->text;
    int32_t pos = line->cursor;
    Ref r = parse_ref(t, pos);
    if (r.var->type != T_STR)
        fail(E_TYPE);
    pos = skip_blanks(t, pos);
    if (t[pos] != '=')
        fail(E_SYNTAX);
    ++pos;
    std::string value = eval_string(t, pos);
    line->cursor = expect_end(t, pos);
    FieldBinding* b = r.var->array ? nullptr : binding_of(r.var->name);
    size_t width = b ? static_cast<size_t>(b->width) : r.var->str[static_cast<size_t>(r.element)].size();
    if (value.size() > width)
        value.resize(width);
    std::string padded = right ? std::string(width - value.size(), ' ') + value
                               : value + std::string(width - value.size(), ' ');
    if (b) {
        Device& d = e.devices[b->device];
        std::memcpy(d.field + b->offset, padded.data(), width);
    }
    r.var->str[static_cast<size_t>(r.element)] = padded;
    return line;
}

Line* st_get(Line* line)
{
    int number = 0;
    int32_t record = record_operand(line, number);
    Device& d = engine().devices[number];
    off_t at = static_cast<off_t>(record - 1) * d.record_length;
    std::fflush(d.file);
    if (fseeko(d.file, at, SEEK_SET) != 0)
        fail(E_DEV);
    size_t got = std::fread(d.field, 1, static_cast<size_t>(d.record_length), d.file);
    if (got < static_cast<size_t>(d.record_length)) {
        // Beyond the end of the file a record reads as blanks.
        std::memset(d.field + got, ' ', static_cast<size_t>(d.record_length) - got);
        std::clearerr(d.file);
    }
    d.record = record + 1L;
    refresh_fields(number);
    return line;
}

Line* st_put(Line* line)
{
    int number = 0;
    int32_t record = record_operand(line, number);
    Device& d = engine().devices[number];
    off_t at = static_cast<off_t>(record - 1) * d.record_length;
    if (fseeko(d.file, at, SEEK_SET) != 0 ||
        std::fwrite(d.field, 1, static_cast<size_t>(d.record_length), d.file) !=
            static_cast<size_t>(d.record_length) ||
        std::fflush(d.file) != 0)
        fail(E_DEV);
    d.record = record + 1L;
    return line;
}

Line* st_kill(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    Value v;
    evaluate(t, pos, v);
    if (!v.is_string())
        fail(E_NOT_STRING);
    line->cursor = expect_end(t, pos);
    if (!engine().file_access || std::remove(v.s.c_str()) != 0)
        fail(E_OS);
    return line;
}

Line* st_name(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    Value from, to;
    evaluate(t, pos, from);
    if (!from.is_string())
        fail(E_NOT_STRING);
    pos = skip_blanks(t, pos);
    if (!at_keyword(t, pos, "AS"))
        fail(E_SYNTAX);
    pos += 2;
    evaluate(t, pos, to);
    if (!to.is_string())
        fail(E_NOT_STRING);
    line->cursor = expect_end(t, pos);
    if (!engine().file_access || std::rename(from.s.c_str(), to.s.c_str()) != 0)
        fail(E_OS);
    return line;
}

Line* st_environ(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    Value v;
    evaluate(t, pos, v);
    if (!v.is_string())
        fail(E_NOT_STRING);
    line->cursor = expect_end(t, pos);
    size_t eq = v.s.find('=');
    if (eq == std::string::npos || eq == 0)
        fail(E_OS);
    std::string name = v.s.substr(0, eq);
    if (!engine().file_access || setenv(name.c_str(), v.s.c_str() + eq + 1, 1) != 0)
        fail(E_OS);
    return line;
}

// ---- data ---------------------------------------------------------------------------------

Line* st_data(Line* line)
{
    line->cursor = statement_end(line->text, line->cursor);
    return line;
}

Line* st_read(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    for (;;) {
        Ref r = parse_ref(t, pos);
        Item item;
        if (!next_data(item))
            fail(E_OUT_OF_DATA);
        assign_item(r, item);
        pos = skip_blanks(t, pos);
        if (t[pos] != ',')
            break;
        ++pos;
    }
    line->cursor = expect_end(t, pos);
    return line;
}

Line* st_restore(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (at_end(t, pos)) {
        e.data_line = nullptr;
    } else {
        int32_t number = eval_int(t, pos);
        Line* l = find_line(number);
        if (!l)
            fail_line_not_found(number);
        e.data_line = l;
    }
    e.data_pos = 0;
    e.data_in = false;
    line->cursor = expect_end(t, pos);
    return line;
}

// ---- arrays and variables ----------------------------------------------------------------

Line* st_dim(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    for (;;) {
        std::string name = name_at(t, pos);
        pos = skip_blanks(t, pos);
        if (t[pos] != '(')
            fail(E_SYNTAX);
        ++pos;
        std::vector<int32_t> bounds;
        for (;;) {
            bounds.push_back(eval_int(t, pos));
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
        make_array(name, bounds);
        pos = skip_blanks(t, pos);
        if (t[pos] != ',')
            break;
        ++pos;
    }
    line->cursor = expect_end(t, pos);
    return line;
}

Line* st_option(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    if (!at_keyword(t, pos, "BASE"))
        fail(E_SYNTAX);
    pos += 4;
    if (e.dim_seen)
        fail(E_OPTION_BASE);
    int32_t base = eval_int(t, pos);
    if (base != 0 && base != 1)
        fail(E_RANGE);
    e.array_base = base;
    line->cursor = expect_end(t, pos);
    return line;
}

Line* st_erase(Line* line)
{
    int32_t pos = line->cursor;
    std::vector<std::string> names = name_list(line->text, pos);
    for (const std::string& name : names) {
        Variable* v = find_variable(name);
        if (!v || !v->array)
            fail(E_NOT_ARRAY);
        variable_erase(v);
    }
    line->cursor = pos;
    return line;
}

Line* st_swap(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    Ref a = parse_ref(t, pos);
    pos = skip_blanks(t, pos);
    if (t[pos] != ',')
        fail(E_SYNTAX);
    ++pos;
    Ref b = parse_ref(t, pos);
    line->cursor = expect_end(t, pos);
    if (a.var->type != b.var->type)
        fail(E_TYPE);
    if (a.var->type == T_STR)
        std::swap(a.var->str[static_cast<size_t>(a.element)], b.var->str[static_cast<size_t>(b.element)]);
    else
        std::swap(a.var->num[static_cast<size_t>(a.element)], b.var->num[static_cast<size_t>(b.element)]);
    return line;
}

Line* st_clear(Line* line)
{
    variables_clear(false);
    line->cursor = statement_end(line->text, line->cursor);
    return line;
}

Line* st_common(Line* line)
{
    int32_t pos = line->cursor;
    std::vector<std::string> names = name_list(line->text, pos);
    for (const std::string& name : names)
        get_variable(name)->common = true;
    line->cursor = pos;
    return line;
}

Line* st_def(Line* line)
{
    const char* t = line->text;
    int32_t pos = line->cursor;
    std::string name = name_at(t, pos);
    auto fn = std::make_unique<UserFunction>();
    pos = skip_blanks(t, pos);
    if (t[pos] == '(') {
        ++pos;
        pos = skip_blanks(t, pos);
        if (t[pos] != ')') {
            for (;;) {
                fn->params.push_back(name_at(t, pos));
                pos = skip_blanks(t, pos);
                if (t[pos] == ',') {
                    ++pos;
                    continue;
                }
                break;
            }
        }
        if (t[pos] != ')')
            fail(E_SYNTAX);
        pos = skip_blanks(t, pos + 1);
    }
    if (t[pos] != '=')
        fail(E_SYNTAX);
    ++pos;
    int32_t end = statement_end(t, pos);
    fn->expression.assign(t + pos, static_cast<size_t>(end - pos));
    if (fn->expression.find_first_not_of(" \t") == std::string::npos)
        fail(E_SYNTAX);
    std::string upper_name = name;
    for (char& c : upper_name)
        c = upper(c);
    char last = name.back();
    char type = (last == T_INT || last == T_DBL || last == T_STR || last == T_SNG) ? last : T_SNG;
    define_function(upper_name, type, std::move(fn));
    line->cursor = end;
    return line;
}

Line* st_defdbl(Line* line) { return def_type(line, T_DBL); }
Line* st_defint(Line* line) { return def_type(line, T_INT); }
Line* st_defsng(Line* line) { return def_type(line, T_SNG); }
Line* st_defstr(Line* line) { return def_type(line, T_STR); }

Line* st_randomize(Line* line)
{
    Engine& e = engine();
    const char* t = line->text;
    int32_t pos = skip_blanks(t, line->cursor);
    double seed = 1;
    if (!at_end(t, pos))
        seed = eval_number(t, pos);
    line->cursor = expect_end(t, pos);
    uint64_t bits;
    std::memcpy(&bits, &seed, sizeof bits);
    bits ^= 0x9e3779b97f4a7c15ull;
    bits *= 0xbf58476d1ce4e5b9ull;
    bits ^= bits >> 31;
    e.rnd_state = bits ? bits : 1;
    return line;
}

Line* st_image(Line* line)
{
    size_t count = 0;
    const StatementDef& s = statement_table(&count)[line->stmt_index];
    if (StatementFn fn = image_statement(s.name))
        return fn(line);
    char text[96];
    std::snprintf(text, sizeof text, "Image command %s is not available in this version", s.name);
    fail_text(text);
}

// ---- the statement table ------------------------------------------------------------------

namespace {

// The statement table: the keywords in their fixed order, with the
// catalogue's operation statements after "RETURN".
const StatementDef kBeforeOperations[] = {
    {"REM", st_rem, 2},          {"LET", st_let, 2},          {"LIST", st_list, 2},
    {"PLOAD", st_pload, 2},      {"MERGEP", st_mergep, 2},    {"CHAINP", st_chainp, 2},
    {"COMMON", st_common, 2},    {"RUN", st_run, 2},          {"PRINT", st_print, 2},
    {"PSAVE", st_psave, 2},      {"INPUT", st_input, 2},      {"GOTO", st_goto, 2},
    {"GOSUB", st_gosub, 2},      {"RETURN", st_return, 2},
};
const StatementDef kAfterOperations[] = {
    {"PUSHMASK", st_image, 2},   {"POPMASK", st_image, 2},    {"DELMASK", st_image, 2},
    {"DROPMASK", st_image, 2},   {"EXGMASK", st_image, 2},    {"HFMASK", st_image, 2},
    {"NFMASK", st_image, 2},     {"INVERTMASK", st_image, 2}, {"INVERTSEL", st_image, 2},
    {"MASKCHANGED", st_image, 2}, {"SMASKCOMBINE", st_image, 2}, {"PUSHIMAGE", st_image, 2},
    {"POPIMAGE", st_image, 2},   {"PULLIMAGE", st_image, 2},  {"EXGIMAGE", st_image, 2},
    {"DUPIMAGE", st_image, 2},   {"DROPIMAGE", st_image, 2},  {"PUSHMAI", st_image, 2},
    {"PUSHIAM", st_image, 2},    {"POPIAM", st_image, 2},     {"POPMAI", st_image, 2},
    {"PULLIAM", st_image, 2},    {"PULLMAI", st_image, 2},    {"ERROR", st_error, 2},
    {"ON", st_on, 2},            {"IF", st_if, 2},            {"WHILE", st_while, 2},
    {"WEND", st_wend, 2},        {"WRITE", st_write, 2},      {"WIDTH", st_width, 2},
    {"TRON", st_tron, 2},        {"TROFF", st_troff, 2},      {"END", st_end, 2},
    {"NEW", st_new, 2},          {"DELETE", st_delete, 2},    {"FOR", st_for, 2},
    {"NEXT", st_next, 2},        {"RANDOMIZE", st_randomize, 2}, {"STOP", st_stop, 2},
    {"DATA", st_data, 2},        {"READ", st_read, 2},        {"RESTORE", st_restore, 2},
    {"DIM", st_dim, 2},          {"OPTION", st_option, 2},    {"OPEN", st_open, 2},
    {"CLOSE", st_close, 2},      {"GET", st_get, 2},          {"PUT", st_put, 2},
    {"KILL", st_kill, 2},        {"NAME", st_name, 2},        {"LSET", st_lset, 2},
    {"RSET", st_lset, 2},        {"FIELD", st_field, 2},      {"LINE", st_line, 2},
    {"DEFDBL", st_defdbl, 2},    {"DEFINT", st_defint, 2},    {"DEFSNG", st_defsng, 2},
    {"DEFSTR", st_defstr, 2},    {"DEF", st_def, 2},          {"CLEAR", st_clear, 2},
    {"ERASE", st_erase, 2},      {"ENVIRON", st_environ, 2},  {"SWAP", st_swap, 2},
};

std::vector<StatementDef> build_statements()
{
    std::vector<StatementDef> table(std::begin(kBeforeOperations), std::end(kBeforeOperations));
    const char* names[64];
    size_t n = operation_statements(names, sizeof names / sizeof names[0]);
    for (size_t i = 0; i < n; ++i)
        table.push_back(StatementDef{names[i], st_operation, 2});
    table.insert(table.end(), std::begin(kAfterOperations), std::end(kAfterOperations));
    return table;
}

// Built on first use (the interpreter looks its keywords up while the
// program starts): the catalogue's list is constant data by then.
const std::vector<StatementDef>& statements()
{
    static const std::vector<StatementDef> table = build_statements();
    return table;
}

} // namespace

const int kStatementCount = 87;

const StatementDef* statement_table(size_t* count)
{
    *count = statements().size();
    return statements().data();
}

} // namespace script
