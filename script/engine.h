// The script engine's own parts: the program store, the interpreter state,
// values, variables and the tables of statements and functions.  Only the
// script/ folder includes this; the rest of the system uses script/script.h.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct Image;

namespace script {

// ---- error table ------------------------------------------------------------
// The numbers ERR takes and the ERROR statement uses.
enum ErrorCode : int {
    E_OPEN = 0,              // "Failed to open %s"
    E_MEMORY = 1,            // "Memory Shortage"
    E_NO_LINENUMBER = 2,
    E_NO_FILENAME = 3,
    E_LINE_NOT_FOUND = 4,    // "Line number %d not found"
    E_INCOMPLETE = 5,
    E_RANGE = 6,             // "Value out of range"
    E_SYNTAX = 7,
    E_DEV_NUMBER = 8,
    E_DEV = 9,
    E_OS = 10,
    E_NOT_STRING = 11,
    E_ARGUMENT = 12,
    E_TYPE = 13,
    E_NOT_ARRAY = 14,
    E_OUT_OF_DATA = 15,
    E_OVERFLOW = 16,
    E_NEXT_WITHOUT_FOR = 17,
    E_UNDEFINED_FN = 18,
    E_DIV_ZERO = 19,
    E_REDIM = 20,
    E_OPTION_BASE = 21,
    E_UNPARSEABLE = 22,
};
constexpr int kErrorCount = 23;
extern const char* const kErrorText[kErrorCount];

// ---- sizes fixed by the language ---------------------------------------------
constexpr int kFirstLine = 0;             // start sentinel
constexpr int kLastLine = 32767;          // end sentinel
constexpr int kPieceLength = 255;         // loader: characters per line record
constexpr int kElementStack = 64;         // shared expression element stack
constexpr int kGosubLevels = 35;          // nested subroutine calls
constexpr int kWhileLevels = 36;          // open WHILE loops
constexpr int kForLevels = 36;            // FOR frames, level 0 unused
constexpr int kDevices = 16;              // file devices 0..15
constexpr int kConsoleWidth = 80;
constexpr int kDeviceWidth = 128;
constexpr int kRecordLength = 128;
constexpr int kConsoleBuffer = 10500;     // one console line
constexpr int kTabZone = 14;
constexpr int kNameLength = 40;           // variable names
constexpr int kOnTargets = 12;
constexpr int kMaxArgs = 24;              // the most any function takes
constexpr size_t kMaxString = 16u << 20;  // longest string value
constexpr long kMaxElements = 1L << 24;   // largest array
constexpr size_t kOutputTick = 1u << 16;  // output between two looks at the interface

// ---- values -------------------------------------------------------------------
// The four types, named by their suffix characters.
constexpr char T_INT = '%';
constexpr char T_SNG = '!';
constexpr char T_DBL = '#';
constexpr char T_STR = '$';

// A numeric value is kept in `n`, exactly representable in its type (a single
// is rounded to float after every step); a string in `s`.
struct Value {
    char type = T_INT;
    double n = 0;
    std::string s;

    bool is_string() const { return type == T_STR; }
    static Value integer(int32_t v) { Value x; x.type = T_INT; x.n = v; return x; }
    static Value single(double v) { Value x; x.type = T_SNG; x.n = static_cast<float>(v); return x; }
    static Value dbl(double v) { Value x; x.type = T_DBL; x.n = v; return x; }
    static Value string(std::string v) { Value x; x.type = T_STR; x.s = std::move(v); return x; }
};

// ---- program store ------------------------------------------------------------
// One stored line.  Lines are kept as text; the interpreter parses them from
// `cursor` every time they run.  The `seen` slots remember which statement
// was recognised at which position, so that a line in a loop is not matched
// against the statement table again (the text never changes).
struct Line {
    Line* next;
    int32_t number;
    char* text;        // the statements; a remark after ' is cut off
    int32_t length;
    int32_t remark;    // where the cut-off remark (from its ') lies in the text's block; 0 none
    int32_t cursor;
    int32_t stmt_start;
    int32_t leading_number;
    int32_t after_number;
    int32_t stmt_index;
    int32_t after_keyword;
    int32_t continuation;

    struct Seen {
        int32_t pos, index, after;
    };
    static constexpr int kSeen = 6;
    Seen seen[kSeen];
    int32_t seen_count;
    // The WEND that closes a WHILE standing on this line, for this program
    // generation.
    Line* wend;
    int32_t wend_after;
    uint32_t wend_generation;
    // The expressions of the line in the form read once (expr.cpp); made
    // when first evaluated, freed with the line.
    struct LineCache* cache;
};

// ---- variables ----------------------------------------------------------------
struct Variable {
    std::string name;
    char type = T_SNG;
    int dims = 1;
    std::vector<int32_t> upper;  // per dimension
    std::vector<int32_t> index;  // the subscript being addressed
    int32_t lower = 0;             // the array base when it was made
    long current = 0;              // element addressed last
    long count = 1;
    std::vector<double> num;       // numeric elements
    std::vector<std::string> str;  // string elements
    bool common = false;
    bool array = false;  // made by DIM
};

// An addressed element.
struct Ref {
    Variable* var = nullptr;
    long element = 0;
};

// ---- functions ----------------------------------------------------------------
using FunctionFn = void (*)(int argc, Value* args, Value& result);

struct BuiltinDef {
    const char* name;
    char type;        // result type
    int8_t min_args;  // -1: no check (the handler counts)
    int8_t max_args;
    FunctionFn fn;    // null: an image command not built in yet
};

struct UserFunction {
    std::vector<std::string> params;
    std::string expression;
};

struct FunctionRecord {
    char name[45];
    char type;
    int16_t param_count;
    int16_t reserved;
    FunctionFn handler;
    FunctionRecord* next;
    const BuiltinDef* builtin;
    UserFunction* user;
};

// The built-in functions in table order: the general-purpose ones, then the
// image functions (the catalogue's operation commands by argument count,
// then the fixed list).
const BuiltinDef* builtin_functions(size_t* count);
const BuiltinDef* image_functions(size_t* count);

// ---- statements ---------------------------------------------------------------
using StatementFn = Line* (*)(Line* line);

struct StatementDef {
    const char* name;
    StatementFn fn;
    int kind;  // 2 for every keyword
};
const StatementDef* statement_table(size_t* count);
extern const int kStatementCount;

// Handlers of the image statements, by name (null until built in).
StatementFn image_statement(const char* name);
// The catalogue's operations that are statements, in catalogue order; their
// handler is st_operation.
size_t operation_statements(const char** names, size_t max);
// The image commands' part of a run (image_pixels.cpp): the current image,
// its copy from before the run, the stacks.
bool image_run_begin();
void image_run_end();
// The Script operation's row in the catalogue (script_operation.cpp),
// entered with the engine's part of start-up.
bool script_operation_init();
void script_operation_release();

// ---- devices ------------------------------------------------------------------
enum DeviceMode : int { DEV_CLOSED = 0, DEV_OUTPUT, DEV_INPUT, DEV_APPEND, DEV_RANDOM };

struct Device {
    int mode;
    int width;
    int column;
    int record_length;
    long record;     // current record number
    char* field;     // record buffer ("sfld"), record_length bytes
    char name[45];
    FILE* file;
};

struct FieldBinding {
    int device;
    std::string name;  // string variable
    int offset, width;
};

// ---- control stacks -----------------------------------------------------------
struct ForFrame {
    Line* line;
    Variable* var;
    int32_t limit;
    int32_t step;
    int32_t pos;  // just behind the FOR statement
};

struct WhileFrame {
    Line* line;
    int32_t pos;  // where the WHILE statement begins
};

// Unwinding: END/STOP, an unhandled error, and the program statements that
// replace the program under the running line.
struct Abort {
    int status;  // 0 ended, 1 error, 2 break
};
struct StatementFailed {};
struct Restart {
    enum Kind { RunFrom, RunFile, Chain, Load } kind;
    Line* from;
    std::string file;
};

struct SvHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// A name in a line's text resolved once: the function or variable it names.
// Valid while `generation` matches the engine's name generation, which moves
// whenever lines are freed or variables and functions go away.
struct NameSlot {
    const char* at;
    uint32_t generation;
    int32_t end;  // the name's end in the text
    FunctionRecord* function;
    Variable* variable;
};
constexpr int kNameSlots = 1024;

// ---- the state of one run ------------------------------------------------------
struct Engine {
    bool active = false;
    uint32_t group = 0;  // allocation group of line records and function records

    Line start{};
    Line end{};
    uint32_t generation = 0;  // raised whenever lines are added or removed
    std::vector<Line*> removed;  // deleted while running; freed at the end
    std::unordered_map<int32_t, Line*> line_index;  // first line of each number
    uint32_t index_generation = ~0u;

    // run-wide buffers
    char* message;      // "smsg", 256 bytes
    char* line_input;   // "sinp", 257 bytes
    char* console;      // "scon", console line
    int console_len = 0;
    int console_column = 1;
    int console_width = kConsoleWidth;
    Device* devices;    // "sdev"
    std::vector<FieldBinding> fields;

    // interpreter
    Line* current = nullptr;
    int32_t error_line = 0;
    int height = 0;  // element stack
    int gosub_level = 0;
    int32_t* gosub_table = nullptr;  // "sgos", 36 words
    WhileFrame* while_stack = nullptr;  // "swhl"
    int while_level = 0;
    ForFrame* for_stack = nullptr;  // "sfor"
    int for_level = 0;
    int32_t handler_line = 0;
    int32_t err = 0, erl = 0;
    bool in_handler = false;
    bool trace = false;
    bool jump = false;      // the statement transferred control
    bool returned = false;  // a RETURN is unwinding to its GOSUB
    uint32_t lines_run = 0;  // the interface is kept alive every 1024 lines
    size_t output_count = 0;  // ... and every kOutputTick characters written
    uint32_t user_calls = 0;  // ... and every 4096 calls of user functions

    // Limits of a run, kept from run to run.  A run without file access
    // (the fuzz pass) opens, deletes and renames nothing; a line budget
    // breaks a run off after that many lines.
    bool file_access = true;
    uint32_t line_budget = 0;
    size_t max_string = kMaxString;
    long max_elements = kMaxElements;

    // Parts of a line cut short for the time they run (IF's THEN part ends
    // at its ELSE); an expression read once is used again only where the
    // text ends at the same place.
    struct Cut {
        const char* text;
        int32_t at;
    };
    std::vector<Cut> cuts;
    bool compile = true;  // read expressions once (off: from the text every time)

    // variables and functions
    NameSlot names[kNameSlots] = {};
    // Arguments of the function calls in progress.  Every argument is also
    // an element of the element stack, so the stack's limit bounds them.
    Value call_args[kElementStack + kMaxArgs];
    int arg_top = 0;
    uint32_t name_generation = 1;
    std::unordered_map<std::string, std::unique_ptr<Variable>, SvHash, std::equal_to<>> vars;
    char def_type[128] = {};  // DEFINT and kin: type by first letter
    int array_base = 0;
    bool dim_seen = false;
    FunctionRecord* functions = nullptr;  // "FNC_START"
    FunctionRecord* functions_end = nullptr;  // "FNC_END"
    std::unordered_map<std::string, FunctionRecord*, SvHash, std::equal_to<>> function_index;
    // The records in list order by the first letter of their names, for the
    // prefix rule (27: anything else).
    std::vector<FunctionRecord*> function_initial[27];
    std::vector<std::unique_ptr<UserFunction>> user_functions;

    // DATA
    Line* data_line = nullptr;  // null: from the first line
    int32_t data_pos = 0;       // next item, or where to look for DATA
    bool data_in = false;       // data_pos is inside a DATA statement

    // random numbers
    uint64_t rnd_state = 1;
    double rnd_last = 0;

    // arguments handed to the program
    std::vector<std::string> args;
    std::string script_path;

    std::string last_error;  // the text of the unhandled error, for callers
    int status = 0;
};

extern Engine g_engine;
inline Engine& engine()
{
    return g_engine;
}

// The break request, set from the interrupt signal's handler.
extern volatile std::sig_atomic_t g_break;
inline bool take_break()
{
    if (!g_break)
        return false;
    g_break = 0;
    return true;
}

// ---- program store (program.cpp) -------------------------------------------------
Line* line_new(const char* text, size_t length, int32_t number, bool all_remark = false);
void lines_free_all();
int add_line(const char* text, int32_t& remembered);  // 0 done
// Loads an open file into the store (the file is closed).
void load_file(FILE* file);
int check_file(FILE* file);  // 0 passed; reports and closes
Line* find_line(int32_t number, const Line* skip = nullptr);  // first record, or null
Line* find_last_line(int32_t number, const Line* skip = nullptr);
Line* first_line();
void program_changed();

// Opens a file a program names (null when it cannot, or file access is off).
FILE* program_fopen(const std::string& name, const char* mode);

// ---- interpreter (interp.cpp) ----------------------------------------------------
Line* execute_line(Line* line);
Line* run_statements(Line* line, int32_t pos);
// The statement recognised at `pos`; -1 none (unknown word), -2 end of text,
// -3 only a line number before a separator (go on at *after).
int recognise(Line* line, int32_t pos, int32_t* after);
void run_program(Line* from);

// The error path: reports a message of the table (ERR set) or a formatted text
// (ERR unchanged).  Never returns: either the handler ran and the statement
// fails, or the run is abandoned.
[[noreturn]] void fail(int code);
[[noreturn]] void fail_text(const std::string& text, int code = -1);
[[noreturn]] void fail_fatal(const std::string& text);
[[noreturn]] void fail_line_not_found(int32_t number);

// The break request inside a statement that may run long: "Program break
// at line N" and the run ends.  keep_alive also lets the interface run.
void poll_break();
void keep_alive();

// Control transfer from a statement handler.
Line* jump_to(Line* line, int32_t pos);
Line* gosub_line(Line* caller, int32_t target);
Line* goto_line(int32_t number);

// ---- output --------------------------------------------------------------------
constexpr int kConsole = -1;
void out_char(int device, char c);
void out_text(int device, std::string_view text);
void console_flush();  // ends an unfinished console line
// The console stream (LIST, TRON/TROFF).
void console_stream(const std::string& text);

// ---- text scanning (expr.cpp) ----------------------------------------------------
inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool is_name_char(char c) { return is_alpha(c) || is_digit(c) || c == '_' || c == '.'; }
inline char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline int32_t skip_blanks(const char* t, int32_t pos)
{
    while (is_blank(t[pos]))
        ++pos;
    return pos;
}
// The word rule: blanks skipped, up to end, TAB, LF, CR, space, ',', ':', ';'
// or '='; quoted stretches belong to the word.  Returns the end; `start` is
// where the word begins.
int32_t word_end(const char* t, int32_t pos, int32_t* start);
// Whether the text at pos begins with the keyword (case ignored).
bool at_keyword(const char* t, int32_t pos, const char* keyword);
// End of statement: end of text or ':'.
inline bool at_end(const char* t, int32_t pos) { return t[pos] == 0 || t[pos] == ':'; }
// Syntax error unless the statement ends at pos (blanks skipped); returns pos.
int32_t expect_end(const char* t, int32_t pos);
// Position of the next ':' outside quotes, or of the end.
int32_t statement_end(const char* t, int32_t pos);

// Scans a numeric constant ("&H", "&O", "&", decimal with E or D exponent,
// type suffix).  False when there is none at pos.
bool scan_number(const char* t, int32_t& pos, Value& out);
// A name: letters, digits, '_' and '.', with an optional type suffix.
int32_t scan_name(const char* t, int32_t pos);

// ---- expressions ------------------------------------------------------------------
// Evaluates the expression at pos; pos moves behind it.  An expression of the
// running line is read once and kept in the line's cache; the result is the
// same as reading the text every time.
void evaluate(const char* t, int32_t& pos, Value& out);
void line_cache_free(Line* line);
// Runs the assignment (LET) of the running line at pos from its form read
// once; false when it is to be read from the text.
bool assign_compiled(Line* line, int32_t pos);
// A position worked out from the running line's text at pos (where IF's ELSE
// stands), kept with the line while its text ends at the same place.
int32_t line_memo(const char* t, int32_t pos, int32_t (*compute)(const char*, int32_t));
double eval_number(const char* t, int32_t& pos);
int32_t eval_int(const char* t, int32_t& pos);
std::string eval_string(const char* t, int32_t& pos);

// Value conversions of the language (errors through the error path).
int32_t to_int(const Value& v);  // truncation; Overflow outside 32 bits
int32_t to_int(double n);
double to_number(const Value& v);  // Type mismatch for strings
void convert_to(Value& v, char type);
std::string format_number(const Value& v);  // " %.*f" with the decimal rule
// Checks a string result's length.
void check_length(size_t length);

// ---- variables ----------------------------------------------------------------------
// Resolved names lose their meaning (lines freed, variables gone, a function
// defined).
inline void names_changed() { ++engine().name_generation; }
char name_type(std::string_view name);
Variable* find_variable(std::string_view name);
Variable* get_variable(std::string_view name);  // created on first use
// Parses a variable reference at pos (with subscripts); the element is
// addressed.  Syntax error when there is no name.
Ref parse_ref(const char* t, int32_t& pos);
void ref_get(const Ref& r, Value& out);
void ref_set(const Ref& r, const Value& v);
void ref_set(const Ref& r, Value&& v);  // a string moves
void variables_clear(bool keep_common);
void variable_erase(Variable* v);
Variable* make_array(std::string_view name, const std::vector<int32_t>& upper);

// ---- functions ----------------------------------------------------------------------
void functions_link();
void functions_unlink();
FunctionRecord* find_function(std::string_view upper_name);
// The function a name calls: the one of exactly that name, else the first in
// list order whose name begins the name.
FunctionRecord* find_function_prefix(std::string_view upper_name);
void define_function(const std::string& upper_name, char type, std::unique_ptr<UserFunction> fn);
void call_user_function(FunctionRecord* f, int argc, Value* args, Value& out);
// The clock of DATE$, TIME$ and kin (tests fix it); null = the system's.
void set_clock(std::time_t (*clock)());
// The general-purpose helpers other parts use.
std::string number_to_string(const Value& v);

// ---- devices --------------------------------------------------------------------------
Device& device(int number);  // Invalid dev number outside 0..15
Device& open_device(int number);  // Invalid dev number when closed
void devices_close_all();
// Reads the "#n" of a statement when present; returns kConsole otherwise.
int parse_device(const char* t, int32_t& pos);
// Input items from the console or a device.
bool read_input_line(int device, std::string& line);

// ---- state lifetime -----------------------------------------------------------------
bool engine_begin();
void engine_end();

// The handlers of the statement table.
#define SCRIPT_STATEMENT(name) Line* name(Line* line)
SCRIPT_STATEMENT(st_rem);
SCRIPT_STATEMENT(st_let);
SCRIPT_STATEMENT(st_list);
SCRIPT_STATEMENT(st_pload);
SCRIPT_STATEMENT(st_mergep);
SCRIPT_STATEMENT(st_chainp);
SCRIPT_STATEMENT(st_common);
SCRIPT_STATEMENT(st_run);
SCRIPT_STATEMENT(st_print);
SCRIPT_STATEMENT(st_psave);
SCRIPT_STATEMENT(st_input);
SCRIPT_STATEMENT(st_goto);
SCRIPT_STATEMENT(st_gosub);
SCRIPT_STATEMENT(st_return);
SCRIPT_STATEMENT(st_error);
SCRIPT_STATEMENT(st_on);
SCRIPT_STATEMENT(st_if);
SCRIPT_STATEMENT(st_while);
SCRIPT_STATEMENT(st_wend);
SCRIPT_STATEMENT(st_write);
SCRIPT_STATEMENT(st_width);
SCRIPT_STATEMENT(st_tron);
SCRIPT_STATEMENT(st_troff);
SCRIPT_STATEMENT(st_end);
SCRIPT_STATEMENT(st_new);
SCRIPT_STATEMENT(st_delete);
SCRIPT_STATEMENT(st_for);
SCRIPT_STATEMENT(st_next);
SCRIPT_STATEMENT(st_randomize);
SCRIPT_STATEMENT(st_stop);
SCRIPT_STATEMENT(st_data);
SCRIPT_STATEMENT(st_read);
SCRIPT_STATEMENT(st_restore);
SCRIPT_STATEMENT(st_dim);
SCRIPT_STATEMENT(st_option);
SCRIPT_STATEMENT(st_open);
SCRIPT_STATEMENT(st_close);
SCRIPT_STATEMENT(st_get);
SCRIPT_STATEMENT(st_put);
SCRIPT_STATEMENT(st_kill);
SCRIPT_STATEMENT(st_name);
SCRIPT_STATEMENT(st_lset);
SCRIPT_STATEMENT(st_field);
SCRIPT_STATEMENT(st_line);
SCRIPT_STATEMENT(st_defdbl);
SCRIPT_STATEMENT(st_defint);
SCRIPT_STATEMENT(st_defsng);
SCRIPT_STATEMENT(st_defstr);
SCRIPT_STATEMENT(st_def);
SCRIPT_STATEMENT(st_clear);
SCRIPT_STATEMENT(st_erase);
SCRIPT_STATEMENT(st_environ);
SCRIPT_STATEMENT(st_swap);
SCRIPT_STATEMENT(st_image);      // the image statements
SCRIPT_STATEMENT(st_operation);  // the operation statements

} // namespace script
