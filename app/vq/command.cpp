#include "app/vq/command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace vq {

namespace {
std::vector<Command>& table()
{
    static std::vector<Command> t;
    return t;
}
} // namespace

void register_command(const Command& command)
{
    auto& t = table();
    auto at = std::lower_bound(t.begin(), t.end(), command,
                               [](const Command& a, const Command& b) { return std::string(a.name) < b.name; });
    t.insert(at, command);
}

const std::vector<Command>& commands()
{
    return table();
}

const Command* find_command(const std::string& name)
{
    for (const Command& c : table())
        if (name == c.name)
            return &c;
    return nullptr;
}

int usage_error(const char* command, const std::string& text)
{
    std::fprintf(stderr, "vq %s: %s\n", command, text.c_str());
    if (const Command* c = find_command(command))
        std::fprintf(stderr, "usage: %s\n", c->synopsis);
    return EXIT_USAGE;
}

int failure(const std::string& text)
{
    std::fprintf(stderr, "vq: %s\n", text.c_str());
    return EXIT_FAILED;
}

bool parse_long(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0)
        return false;
    value = v;
    return true;
}

bool parse_double(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != 0)
        return false;
    value = v;
    return true;
}

bool parse_size(const std::string& text, long& width, long& height)
{
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    return parse_long(text.substr(0, x), width) && parse_long(text.substr(x + 1), height) && width > 0 &&
           height > 0;
}

} // namespace vq
