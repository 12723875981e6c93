// The `vq` subcommands.  Each command lives in a file of its own and enters
// itself in the command table with VQ_COMMAND, with a table of the ways it is
// called and the options each takes.  `vq help`, docs/cli.md, the README's
// command list and the refusal of unknown options are all made from that one
// table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vq {

// Exit status of every command.
enum Exit : int { EXIT_DONE = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

struct Args {
    std::vector<std::string> words;  // the words after the command name
    size_t pos = 0;

    bool done() const { return pos >= words.size(); }
    const std::string& peek() const { return words[pos]; }
    std::string next() { return pos < words.size() ? words[pos++] : std::string(); }
};

enum OptionFlag : unsigned {
    OPT_REQUIRED = 1,  // shown without brackets in the usage line
    OPT_REPEAT = 2,    // may be given more than once ("[--layer IMG]...")
    OPT_HIDDEN = 4,    // accepted (an old spelling) but not shown
};

struct Option {
    const char* name;   // "--aa", "-o"
    const char* value;  // what follows it ("L", "FILE.ASF"); null for a switch
    const char* help;   // one paragraph; "\n" starts an indented line of its own
    unsigned flags = 0;
};

// One way to call a command: the words after `vq NAME`, its options, and
// whether the save options of `vq convert` apply.
struct Form {
    const char* job;    // the first word that selects this form ("build"), or null
    const char* words;  // "IN OUT OPERATION [VALUE... | KEY=VALUE...]" (after the job word)
    std::span<const Option> options = {};
    bool save_options = false;
    const char* help = nullptr;  // what this form does, for a command of several forms
    const char* heading = nullptr;  // the reference's title of a form without a job word ("generate")
};

struct Command {
    const char* name;
    const char* synopsis;  // one line: what the command is for (the command lists)
    const char* help;      // what it does, for `vq help NAME`
    int (*run)(Args& args);
    std::span<const Form> forms = {};
};

void register_command(const Command& command);
const std::vector<Command>& commands();
const Command* find_command(const std::string& name);

// The save options every command that writes an image takes.
std::span<const Option> save_option_table();
// The options every command takes (read by main before the command).
std::span<const Option> common_option_table();

// The usage lines of a command ("vq apply IN OUT ... [--area FILE.ASF] ...").
std::vector<std::string> usage_lines(const Command& command);
// `vq help NAME` as text, and the whole reference as Markdown.
std::string help_text(const Command& command);
std::string reference_markdown();
// The README's list of commands: a Markdown table linking into docs/cli.md.
std::string readme_markdown();

// Refuses a word that looks like an option but is none of the command's
// (EXIT_USAGE, reported), before the command sees its arguments.
int check_options(const Command& command, const Args& args);

// A usage error: prints "vq NAME: TEXT" and the usage, returns EXIT_USAGE.
int usage_error(const char* command, const std::string& text);
// "vq NAME: no option WORD (vq help NAME lists them)", EXIT_USAGE.
int unknown_option(const char* command, const std::string& word);
// A failure the system did not report itself: "vq: TEXT", returns EXIT_FAILED.
int failure(const std::string& text);

// Refuses to write OUT when it is the same file as one of the inputs.
// EXIT_DONE, or EXIT_USAGE after the error was reported.
int refuse_overwrite(const char* command, const std::string& out, const std::vector<std::string>& inputs);

// Parsers for option values; false on malformed input.
bool parse_long(const std::string& text, long& value);
bool parse_double(const std::string& text, double& value);
bool parse_size(const std::string& text, long& width, long& height);  // "WxH"
// "R,G,B" and, with `alpha`, "R,G,B,A": whole numbers 0 to 255; alpha is
// 255 when not given.
bool parse_colour(const std::string& text, uint8_t rgba[4], bool alpha = true);

// A run from the command line works on the whole image unless it selects
// an area, and keeps no undo; the user's "WorkMethod" and undo levels come
// back when the scope ends.
class HeadlessRun {
public:
    HeadlessRun();
    ~HeadlessRun();
    HeadlessRun(const HeadlessRun&) = delete;
    HeadlessRun& operator=(const HeadlessRun&) = delete;

private:
    long work_method_, undo_levels_;
};

struct Registrar {
    explicit Registrar(const Command& c) { register_command(c); }
};

} // namespace vq

#define VQ_CONCAT_(a, b) a##b
#define VQ_CONCAT(a, b) VQ_CONCAT_(a, b)
#define VQ_COMMAND(...) static ::vq::Registrar VQ_CONCAT(vq_command_, __LINE__)(::vq::Command{__VA_ARGS__})
