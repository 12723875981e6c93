// The command server's command line on arbitrary bytes.
#include "server/command_line.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

bool has_blank(const std::string& s)
{
    return s.find_first_of(" \t\r\n") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    CommandLine line = parse_command_line(text, size);
    size_t used = size < kServerCommandMax ? size : kServerCommandMax;
    if (line.verb.size() + line.first.size() + line.second.size() + line.third.size() > used)
        __builtin_trap();
    if (line.rest.size() > used)
        __builtin_trap();
    if (line.verb.find_first_of(":/") != std::string::npos || has_blank(line.verb))
        __builtin_trap();
    if (has_blank(line.first) || has_blank(line.second) || has_blank(line.third))
        __builtin_trap();
    if (line.first.find(',') != std::string::npos || line.second.find(',') != std::string::npos)
        __builtin_trap();
    if (std::memchr(line.rest.data(), 0, line.rest.size()))
        __builtin_trap();
    ServerVerb verb = server_verb(line.verb);
    if (!server_verb_name(verb))
        __builtin_trap();
    return 0;
}
