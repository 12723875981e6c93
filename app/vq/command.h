// The `vq` subcommands.  Each command lives in a file of its own and enters
// itself in the command table with VQ_COMMAND.
#pragma once

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

struct Command {
    const char* name;
    const char* synopsis;  // one line: "vq new WxH OUT [--color R,G,B[,A]]"
    const char* help;      // what it does, for `vq help NAME`
    int (*run)(Args& args);
};

void register_command(const Command& command);
const std::vector<Command>& commands();
const Command* find_command(const std::string& name);

// A usage error: prints "vq NAME: TEXT" and the synopsis, returns EXIT_USAGE.
int usage_error(const char* command, const std::string& text);
// A failure the system did not report itself: "vq: TEXT", returns EXIT_FAILED.
int failure(const std::string& text);

// Parsers for option values; false on malformed input.
bool parse_long(const std::string& text, long& value);
bool parse_double(const std::string& text, double& value);
bool parse_size(const std::string& text, long& width, long& height);  // "WxH"

struct Registrar {
    explicit Registrar(const Command& c) { register_command(c); }
};

} // namespace vq

#define VQ_CONCAT_(a, b) a##b
#define VQ_CONCAT(a, b) VQ_CONCAT_(a, b)
#define VQ_COMMAND(...) static ::vq::Registrar VQ_CONCAT(vq_command_, __LINE__)(::vq::Command{__VA_ARGS__})
