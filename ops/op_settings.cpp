#include "ops/op_settings.h"

#include "core/bytes.h"
#include "core/messages.h"
#include "core/safe_write.h"
#include "ops/catalogue.h"
#include "ops/framework.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kFirstLineMax = 198;
constexpr size_t kLineMax = 16384;
constexpr long kFileMax = 64L << 20;  // a settings file is text of a few kilobytes

void (*g_project_reader)(const char*) = nullptr;
void (*g_plugin_reader)(const char*) = nullptr;

// The display name as one word: blanks become underscores.
std::string one_word(const char* name)
{
    std::string s = name;
    std::replace(s.begin(), s.end(), ' ', '_');
    return s;
}

std::vector<std::string> words_of(const std::string& line)
{
    std::vector<std::string> w;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        size_t j = i;
        while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j])))
            ++j;
        if (j > i)
            w.push_back(line.substr(i, j - i));
        i = j;
    }
    return w;
}

bool parse_long(const std::string& s, long& v)
{
    errno = 0;
    char* end = nullptr;
    long x = std::strtol(s.c_str(), &end, 10);
    if (errno || end == s.c_str())
        return false;
    v = x;
    return true;
}

bool parse_double(const std::string& s, double& v)
{
    errno = 0;
    char* end = nullptr;
    double x = std::strtod(s.c_str(), &end);
    if (errno || end == s.c_str() || !std::isfinite(x))
        return false;
    v = x;
    return true;
}

// ---- writing ------------------------------------------------------------------

void write_value(FILE* f, const OpSlot& s)
{
    if (s.kind == SLOT_INT) {
        std::fprintf(f, " %ld", static_cast<long>(*static_cast<int32_t*>(s.var)));
    } else if (s.kind == SLOT_FLOAT) {
        std::fprintf(f, " %.9g", static_cast<double>(*static_cast<float*>(s.var)));
    } else {
        // Text goes as one word: blanks become underscores, nothing is "_".
        std::string t(static_cast<const char*>(s.var), strnlen(static_cast<const char*>(s.var), s.text_size));
        std::replace(t.begin(), t.end(), ' ', '_');
        std::fprintf(f, " %s", t.empty() ? "_" : t.c_str());
    }
}

void write_palette(FILE* f, const OpSlot& s)
{
    const OpPalette& p = *static_cast<const OpPalette*>(s.var);
    if (p.count < 0 || p.count > kPaletteColours)
        return;
    std::fprintf(f, "%s %d", s.name, static_cast<int>(p.count));
    for (int i = 0; i < p.count; ++i)
        std::fprintf(f, " %d %d %d", p.red[i], p.green[i], p.blue[i]);
    std::fputc('\n', f);
}

void write_profile(FILE* f, const OpSlot& s)
{
    const int16_t* v = static_cast<const int16_t*>(s.var);
    std::fprintf(f, "%s %ld %ld %ld %ld\n", s.name, 0L, static_cast<long>(kProfilePoints - 1), 0L,
                 static_cast<long>(s.profile_high));
    for (int i = 0; i < kProfilePoints; ++i) {
        std::fprintf(f, " %d", v[i]);
        if (i % 20 == 19)
            std::fputc('\n', f);
    }
    std::fputc('\n', f);
}

// ---- reading ------------------------------------------------------------------

// The file's lines; a line longer than the limit is read in pieces.
std::vector<std::string> split_lines(const std::string& text, size_t first_max)
{
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t limit = lines.empty() ? first_max : kLineMax;
        size_t end = text.find('\n', i);
        size_t stop = end == std::string::npos ? text.size() : end;
        if (stop - i > limit) {
            lines.push_back(text.substr(i, limit));
            i += limit;
            continue;
        }
        std::string line = text.substr(i, stop - i);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        i = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// Slots of any operation with a palette or profile of that name.
const OpSlot* find_named_slot(const std::string& word, bool profile)
{
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        for (const OpSlot& s : d->slots) {
            if (!s.used() || !s.var)
                continue;
            if (profile && slot_is_profile(s.kind) && word.size() >= 3 && std::strncmp(s.name, word.c_str(), 3) == 0)
                return &s;
            if (!profile && slot_is_palette(s.kind) && word == s.name)
                return &s;
        }
    }
    return nullptr;
}

void read_values(const OpDescriptor& d, const std::vector<std::string>& w)
{
    size_t word = 1;
    for (const OpSlot& s : d.slots) {
        if (!s.used() || !slot_is_value(s.kind))
            continue;
        if (word >= w.size())
            break;
        const std::string& text = w[word++];
        if (slot_is_text(s.kind)) {
            std::string t = text == "_" ? std::string() : text;
            std::replace(t.begin(), t.end(), '_', ' ');
            if (s.text_size > 0) {
                char* dst = static_cast<char*>(s.var);
                std::strncpy(dst, t.c_str(), static_cast<size_t>(s.text_size) - 1);
                dst[s.text_size - 1] = 0;
            }
            continue;
        }
        double v = 0;
        long l = 0;
        if (s.kind == SLOT_FLOAT ? !parse_double(text, v) : !parse_long(text, l))
            continue;  // a value that does not read keeps the old one
        if (s.kind != SLOT_FLOAT)
            v = static_cast<double>(l);
        slot_set(s, std::clamp(v, s.typed_min, s.typed_max));
    }
}

void read_palette(const OpSlot& s, const std::vector<std::string>& w)
{
    long count = 0;
    if (w.size() < 2 || !parse_long(w[1], count) || count < 0 || count > kPaletteColours)
        return;
    OpPalette& p = *static_cast<OpPalette*>(s.var);
    int read = 0;
    for (long i = 0; i < count; ++i) {
        long rgb[3];
        size_t at = 2 + static_cast<size_t>(i) * 3;
        if (at + 2 >= w.size() || !parse_long(w[at], rgb[0]) || !parse_long(w[at + 1], rgb[1]) ||
            !parse_long(w[at + 2], rgb[2]))
            break;
        p.red[i] = clamp255(static_cast<int>(std::clamp(rgb[0], -1L, 256L)));
        p.green[i] = clamp255(static_cast<int>(std::clamp(rgb[1], -1L, 256L)));
        p.blue[i] = clamp255(static_cast<int>(std::clamp(rgb[2], -1L, 256L)));
        ++read;
    }
    p.count = read;
}

// A profile's header line and its values, which run over the next lines.
size_t read_profile(const OpSlot& s, const std::vector<std::string>& lines, size_t at)
{
    std::vector<std::string> head = words_of(lines[at]);
    long first = 0, last = kProfilePoints - 1, low = 0, high = s.profile_high;
    if (head.size() >= 5) {
        parse_long(head[1], first);
        parse_long(head[2], last);
        parse_long(head[3], low);
        parse_long(head[4], high);
    }
    first = std::clamp(first, 0L, static_cast<long>(kProfilePoints - 1));
    last = std::clamp(last, first, static_cast<long>(kProfilePoints - 1));
    if (low > high)
        std::swap(low, high);
    low = std::clamp(low, -32768L, 32767L);
    high = std::clamp(high, -32768L, 32767L);
    int16_t* v = static_cast<int16_t*>(s.var);
    long index = first;
    // Values may follow on the header line itself.
    std::vector<std::string> values(head.begin() + std::min<size_t>(5, head.size()), head.end());
    size_t line = at;
    for (;;) {
        for (const std::string& word : values) {
            long x = 0;
            if (index > last || !parse_long(word, x))
                return line;
            v[index++] = static_cast<int16_t>(std::clamp(x, low, high));
        }
        if (index > last || line + 1 >= lines.size())
            return line;
        // Only lines of numbers continue the profile.
        std::vector<std::string> next = words_of(lines[line + 1]);
        long probe = 0;
        if (next.empty() || !parse_long(next[0], probe))
            return line;
        ++line;
        values = std::move(next);
    }
}

bool starts_with(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

} // namespace

void op_settings_set_project_reader(void (*reader)(const char*))
{
    g_project_reader = reader;
}

void op_settings_set_plugin_reader(void (*reader)(const char*))
{
    g_plugin_reader = reader;
}

int save_op_settings(const char* file_name, int32_t command)
{
    const OpDescriptor* d = op_by_command(command ? command : op_state().current);
    if (!d)
        return 1;
    if (!file_name) {
        message_show(msg::CannotOpenRequested, file_name);
        return 1;
    }
    // The old file stays as it was unless the whole file is written.
    SafeWrite out(file_name);
    FILE* f = out.open("w");
    if (!f) {
        message_show(msg::CannotOpenRequested, file_name);
        return 1;
    }
    std::fprintf(f, "VQOPSET Glimmerix:V/q File\n\n");
    std::fprintf(f, "%s:", d->name);
    for (const OpSlot& s : d->slots)
        if (s.used() && s.var && slot_is_value(s.kind))
            write_value(f, s);
    std::fputc('\n', f);
    for (const OpSlot& s : d->slots)
        if (s.used() && s.var && slot_is_palette(s.kind))
            write_palette(f, s);
    for (const OpSlot& s : d->slots)
        if (s.used() && s.var && slot_is_profile(s.kind))
            write_profile(f, s);
    if (std::ferror(f) != 0 || out.commit() != 0) {
        message_show(msg::ProblemWriting, file_name);
        return 1;
    }
    return 0;
}

int load_op_settings(const char* file_name, int32_t* command_read)
{
    if (command_read)
        *command_read = 0;
    FILE* f = file_name ? std::fopen(file_name, "rb") : nullptr;
    if (!f) {
        message_show(msg::CannotOpenRequested, file_name);
        return 1;
    }
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && static_cast<long>(text.size()) < kFileMax)
        text.append(buf, n);
    std::fclose(f);

    std::vector<std::string> lines = split_lines(text, kFirstLineMax);
    if (lines.empty() || !(starts_with(lines[0], "VQOPSET") || starts_with(lines[0], "VQPROJ"))) {
        message_show(msg::FileTypeMismatch, file_name);
        return 1;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        if (starts_with(line, "SOURCE") || starts_with(line, "BRUSH") || starts_with(line, "TARGET") ||
            starts_with(line, "IMAGE") || starts_with(line, "TIMELINE")) {
            if (g_project_reader)
                g_project_reader(line.c_str());
            continue;
        }
        // An operation's line: its name (blanks before the colon made
        // underscores) and a colon, then the values.
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            size_t lead = name.find_first_not_of(" \t");
            name = lead == std::string::npos ? std::string() : name.substr(lead);
            std::replace(name.begin(), name.end(), ' ', '_');
            const OpDescriptor* found = nullptr;
            for (int k = 0; k < op_count() && !found; ++k)
                if (one_word(op_at(k)->name) == name)
                    found = op_at(k);
            if (found) {
                std::vector<std::string> w = words_of(line.substr(colon + 1));
                w.insert(w.begin(), name + ":");
                read_values(*found, w);
                if (command_read)
                    *command_read = found->command;
                continue;
            }
        }
        std::vector<std::string> w = words_of(line);
        if (!w.empty() && colon == std::string::npos) {
            if (const OpSlot* s = find_named_slot(w[0], true)) {
                i = read_profile(*s, lines, i);
                continue;
            }
            if (const OpSlot* s = find_named_slot(w[0], false)) {
                read_palette(*s, w);
                continue;
            }
        }
        if (g_plugin_reader)
            g_plugin_reader(line.c_str());
    }
    return 0;
}
