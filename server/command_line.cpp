#include "server/command_line.h"

#include <cstring>
#include <strings.h>

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string without_blanks(const char* p, const char* end)
{
    std::string out;
    for (; p < end; ++p)
        if (!is_blank(*p))
            out += *p;
    return out;
}

struct VerbEntry {
    const char* word;
    size_t compared;  // leading characters that must agree
    ServerVerb verb;
};

// In the order they are tried: "e" comes first, so any word that begins
// with it names a timeline frame.
const VerbEntry kVerbs[] = {
    {"e", 1, ServerVerb::Sheet},       {"Sheet", 5, ServerVerb::Sheet},
    {"Close", 5, ServerVerb::Close},   {"Iconify", 4, ServerVerb::Iconify},
    {"Minimize", 5, ServerVerb::Iconify}, {"Deiconify", 6, ServerVerb::Restore},
    {"Restore", 7, ServerVerb::Restore}, {"Actor", 5, ServerVerb::Source},
    {"Source", 6, ServerVerb::Source}, {"Brush", 5, ServerVerb::Brush},
    {"Background", 5, ServerVerb::Target}, {"Target", 6, ServerVerb::Target},
    {"Front", 5, ServerVerb::Front},
};

const VerbEntry kExtensions[] = {
    {"Apply", 0, ServerVerb::Apply},
    {"Save", 0, ServerVerb::Save},
    {"Script", 0, ServerVerb::Script},
};

} // namespace

CommandLine parse_command_line(const char* text, size_t length)
{
    CommandLine line;
    if (!text)
        return line;
    if (length > kServerCommandMax)
        length = kServerCommandMax;
    if (const void* nul = std::memchr(text, 0, length))
        length = static_cast<size_t>(static_cast<const char*>(nul) - text);
    const char* p = text;
    const char* end = text + length;

    while (p < end && is_blank(*p))
        ++p;
    while (p < end && *p != ':' && !is_blank(*p)) {
        if (*p != '/')
            line.verb += *p;
        ++p;
    }
    // "Target: x", "TARGET x" and "Target : x" say the same.
    while (p < end && is_blank(*p))
        ++p;
    if (p < end && *p == ':')
        ++p;

    const char* rest_begin = p;
    const char* rest_end = end;
    while (rest_begin < rest_end && is_blank(*rest_begin))
        ++rest_begin;
    while (rest_end > rest_begin && is_blank(rest_end[-1]))
        --rest_end;
    line.rest.assign(rest_begin, rest_end);

    const char* comma = static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(end - p)));
    line.first = without_blanks(p, comma ? comma : end);
    if (!comma)
        return line;
    p = comma + 1;
    comma = static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(end - p)));
    line.second = without_blanks(p, comma ? comma : end);
    if (comma)
        line.third = without_blanks(comma + 1, end);
    return line;
}

ServerVerb server_verb(const std::string& verb)
{
    if (verb.empty())
        return ServerVerb::None;
    for (const VerbEntry& v : kVerbs)
        if (strncasecmp(verb.c_str(), v.word, v.compared) == 0)
            return v.verb;
    for (const VerbEntry& v : kExtensions)
        if (strcasecmp(verb.c_str(), v.word) == 0)
            return v.verb;
    return ServerVerb::None;
}

const char* server_verb_name(ServerVerb verb)
{
    switch (verb) {
    case ServerVerb::None: return "none";
    case ServerVerb::Sheet: return "Sheet";
    case ServerVerb::Close: return "Close";
    case ServerVerb::Iconify: return "Iconify";
    case ServerVerb::Restore: return "Restore";
    case ServerVerb::Source: return "Source";
    case ServerVerb::Brush: return "Brush";
    case ServerVerb::Target: return "Target";
    case ServerVerb::Front: return "Front";
    case ServerVerb::Apply: return "Apply";
    case ServerVerb::Save: return "Save";
    case ServerVerb::Script: return "Script";
    }
    return "none";
}
