#include "app/vq/command.h"
#include "core/settings.h"
#include "core/undo.h"
#include "core/words.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace vq {

namespace {

std::vector<Command>& table()
{
    static std::vector<Command> t;
    return t;
}

const Option kSaveOptions[] = {
    {"--type", "T", "the file type: bmp, iff, jpg, pcx, tga, tif, trm, png (or the type number 0 to 11); "
                    "default: from OUT's extension"},
    {"--depth", "BITS", "32 (with alpha), 24, 16, 8, 4 or 1; default 32 for an image with alpha, else 24"},
    {"--compress", "N", "TIFF: 0 none, 1 LZW, 2 Deflate; Targa and IFF: 0 none, 1 run-length; PNG: 3 to 9 the "
                        "zlib level (9: smallest, slowest), others the fast default; AVI: 1 MJPEG, 0 uncompressed "
                        "(default: the preference \"SaveCompress\")"},
    {"--quality", "Q", "JPEG quality 1 to 100 (default: the preference \"JPEGQuality\", 75)"},
    {"--reduce", "MODE", "the palette of 8, 4 and 1-bit files: fixed, greys, chosen (the default) or current"},
    {"--dither", "ordered|diffusion", "how 8, 4 and 1-bit files are dithered (default: the preference "
                                      "\"Ordered\", 0: diffusion)"},
    {"--strength", "N", "dither strength 0 to 100 (default 100)"},
};

const Option kCommonOptions[] = {
    {"--home", "DIR", "the settings folder (default $GLIMVQ_HOME, else $XDG_CONFIG_HOME/glimvq, else "
                      "~/.config/glimvq)"},
    {"--log", nullptr, "keep the log VQLOG.txt in the current folder"},
    {"--yes", nullptr, "answer yes to the system's questions, and Save where one offers to save"},
    {"--no", nullptr, "answer no to the system's questions, and Discard where one offers to save (without "
                      "--yes or --no a question proceeds: yes, and Discard)"},
    {"--quiet", nullptr, "no progress display and no notes"},
    {"--screen", "WxH", "the screen size window positions are kept on (default 1024x768)"},
    {"--threads", "N", "threads an operation may use (0: one per core; default: the preference \"Threads\"); "
                       "the result is the same for any count"},
    {"--help", nullptr, "the commands; after a command, that command's help"},
    {"--version", nullptr, "the version"},
};

std::string option_words(const Option& o)
{
    return o.value ? std::string(o.name) + " " + o.value : std::string(o.name);
}

// Words wrapped to `width` columns, the lines after the first indented.
std::vector<std::string> wrap(const std::string& text, size_t width)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        std::string line;
        size_t p = 0;
        while (p < para.size()) {
            size_t sp = para.find(' ', p);
            std::string word = para.substr(p, sp == std::string::npos ? std::string::npos : sp - p);
            p = sp == std::string::npos ? para.size() : sp + 1;
            if (word.empty())
                continue;
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                lines.push_back(line);
                line.clear();
            }
            if (!line.empty())
                line += ' ';
            line += word;
        }
        lines.push_back(line);
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

// A usage line broken before an option where it grows past `width`.
std::string wrap_usage(const std::string& line, size_t width, const std::string& indent)
{
    std::string out, cur;
    int depth = 0;
    std::string piece;
    // Pieces are split at blanks outside brackets, so that "[--aa L]" stays whole.
    std::vector<std::string> pieces;
    for (char c : line) {
        if (c == '[' || c == '(')
            ++depth;
        if (c == ']' || c == ')')
            --depth;
        if (c == ' ' && depth == 0) {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    pieces.push_back(piece);
    for (const std::string& w : pieces) {
        if (!cur.empty() && cur.size() + 1 + w.size() > width) {
            out += cur + "\n";
            cur = indent;
        }
        if (!cur.empty() && cur != indent)
            cur += ' ';
        cur += w;
    }
    return out + cur;
}

std::string form_usage(const Command& c, const Form& f)
{
    std::string line = std::string("vq ") + c.name;
    if (f.job)
        line += std::string(" ") + f.job;
    if (f.words && *f.words)
        line += std::string(" ") + f.words;
    for (const Option& o : f.options) {
        if (o.flags & OPT_HIDDEN)
            continue;
        line += (o.flags & OPT_REQUIRED) ? " " : " [";
        line += option_words(o);
        if (!(o.flags & OPT_REQUIRED))
            line += (o.flags & OPT_REPEAT) ? "]..." : "]";
    }
    if (f.save_options)
        line += " [save options]";
    return line;
}

void option_lines(std::string& out, std::span<const Option> options)
{
    const size_t column = 24;
    for (const Option& o : options) {
        if (o.flags & OPT_HIDDEN)
            continue;
        std::string head = "  " + option_words(o);
        std::vector<std::string> lines = wrap(o.help, 100 - column);
        if (head.size() + 2 > column) {
            out += head + "\n";
            head.clear();
        }
        for (const std::string& l : lines) {
            head.resize(column, ' ');
            out += head + l + "\n";
            head.clear();
        }
    }
}

std::string md_cell(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '|')
            out += "\\|";
        else if (c == '*' || c == '_')
            out += std::string("\\") + c;
        else if (c == '<')
            out += "&lt;";
        else if (c == '\n')
            out += ' ';
        else
            out += c;
    }
    return out;
}

std::string md_code(const std::string& text)
{
    std::string out = "`";
    for (char c : text)
        out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out + "`";
}

void option_table(std::string& out, std::span<const Option> options)
{
    out += "| option | what it does |\n|---|---|\n";
    for (const Option& o : options)
        if (!(o.flags & OPT_HIDDEN))
            out += "| " + md_code(option_words(o)) + " | " + md_cell(o.help) + " |\n";
}

std::string md_prose(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '*' || c == '_' ? std::string("\\") + c : c == '<' ? std::string("&lt;") : std::string(1, c);
    return out;
}

// "vq-layers": the anchor Markdown renderers give the heading "vq layers".
std::string anchor(const Command& c)
{
    return std::string("vq-") + c.name;
}

const Option* find_option(std::span<const Option> options, const std::string& word)
{
    for (const Option& o : options)
        if (word == o.name)
            return &o;
    return nullptr;
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

std::span<const Option> save_option_table()
{
    return kSaveOptions;
}

std::span<const Option> common_option_table()
{
    return kCommonOptions;
}

std::vector<std::string> usage_lines(const Command& c)
{
    std::vector<std::string> lines;
    for (const Form& f : c.forms)
        lines.push_back(form_usage(c, f));
    if (lines.empty())
        lines.push_back(c.synopsis);  // a command registered without a table
    return lines;
}

std::string help_text(const Command& c)
{
    std::string out;
    bool first = true;
    for (const std::string& line : usage_lines(c)) {
        out += (first ? "usage: " : "       ") + wrap_usage(line, 93, "           ") + "\n";
        first = false;
    }
    if (c.help && *c.help) {
        out += "\n";
        for (const std::string& l : wrap(c.help, 100))
            out += l + "\n";
    }
    bool save = false;
    for (const Form& f : c.forms) {
        save = save || f.save_options;
        if (f.help || !f.options.empty()) {
            out += "\n";
            std::string head = f.job ? std::string(f.job) + ": " : std::string();
            std::string text = head + (f.help ? f.help : "");
            if (!text.empty())
                for (const std::string& l : wrap(text, 100))
                    out += l + "\n";
        }
        if (!f.options.empty()) {
            out += f.job ? "" : "Options:\n";
            option_lines(out, f.options);
        }
    }
    if (save) {
        out += "\nSave options:\n";
        option_lines(out, kSaveOptions);
    }
    return out;
}

std::string reference_markdown()
{
    std::string out =
        "# The `vq` command line\n\n"
        "<!-- Made by `vq help --markdown` from the command tables in app/vq/; edit those, not this file. -->\n\n"
        "`vq` does the jobs of the workstation from a shell:\n\n"
        "```\nvq [common options] COMMAND [arguments]\n```\n\n"
        "Exit status: 0 done, 1 failed or refused (the system's message is on stderr), 2 usage error "
        "(the command line was wrong; nothing was read or written). `vq help COMMAND` prints a command's "
        "part of this page. Messages and what to do about them are in [messages.md](messages.md).\n\n"
        "## Common options\n\nBefore or after the command:\n\n";
    option_table(out, kCommonOptions);
    out += "\n## Save options\n\nEvery command that writes an image (`[save options]` below) takes these:\n\n";
    option_table(out, kSaveOptions);
    for (const Command& c : commands()) {
        out += "\n## vq " + std::string(c.name) + "\n\n```\n";
        for (const std::string& line : usage_lines(c))
            out += wrap_usage(line, 100, "    ") + "\n";
        out += "```\n";
        if (c.help && *c.help) {
            std::string help = c.help;
            for (size_t p = 0; (p = help.find('\n', p)) != std::string::npos; p += 2)
                help.replace(p, 1, "\n\n");
            out += '\n';
            out += md_prose(help);
            out += '\n';
        }
        for (const Form& f : c.forms) {
            const char* title = f.job ? f.job : f.heading;
            if (title && (f.help || !f.options.empty()))
                out += std::string("\n### ") + c.name + " " + title + "\n";
            if (f.help)
            {
                out += '\n';
                out += md_prose(f.help);
                out += '\n';
            }
            if (!f.options.empty()) {
                out += "\n";
                option_table(out, f.options);
            }
        }
    }
    return out;
}

std::string readme_markdown()
{
    std::string out = "| command | what it does |\n|---|---|\n";
    for (const Command& c : commands())
        out += "| [`vq " + std::string(c.name) + "`](docs/cli.md#" + anchor(c) + ") | " + md_cell(c.synopsis) +
               " |\n";
    return out;
}

int check_options(const Command& c, const Args& args)
{
    if (c.forms.empty())
        return EXIT_DONE;
    const Form* form = &c.forms[0];
    size_t i = 0;
    if (form->job) {
        form = nullptr;
        if (!args.words.empty())
            for (const Form& f : c.forms)
                if (f.job && args.words[0] == f.job)
                    form = &f;
        if (!form)
            return EXIT_DONE;  // the command names its jobs itself
        i = 1;
    }
    for (; i < args.words.size(); ++i) {
        const std::string& w = args.words[i];
        if (w == "--")
            break;
        bool long_option = w.size() > 2 && w[0] == '-' && w[1] == '-';
        bool short_option = w.size() == 2 && w[0] == '-' && std::isalpha(static_cast<unsigned char>(w[1]));
        if (!long_option && !short_option)
            continue;
        const Option* o = find_option(form->options, w);
        if (!o && form->save_options)
            o = find_option(kSaveOptions, w);
        if (!o)
            return unknown_option(c.name, w);
        if (o->value)
            ++i;
    }
    return EXIT_DONE;
}

int usage_error(const char* command, const std::string& text)
{
    std::fprintf(stderr, "vq %s: %s\n", command, text.c_str());
    if (const Command* c = find_command(command)) {
        bool first = true;
        for (const std::string& line : usage_lines(*c)) {
            std::fprintf(stderr, "%s%s\n", first ? "usage: " : "       ",
                         wrap_usage(line, 93, "           ").c_str());
            first = false;
        }
    }
    return EXIT_USAGE;
}

int unknown_option(const char* command, const std::string& word)
{
    return usage_error(command, "no option " + word + " (vq help " + command + " lists them)");
}

int failure(const std::string& text)
{
    std::fprintf(stderr, "vq: %s\n", text.c_str());
    return EXIT_FAILED;
}

int refuse_overwrite(const char* command, const std::string& out, const std::vector<std::string>& inputs)
{
    struct stat o {};
    if (stat(out.c_str(), &o) != 0)
        return EXIT_DONE;
    for (const std::string& in : inputs) {
        struct stat i {};
        if (!in.empty() && stat(in.c_str(), &i) == 0 && i.st_dev == o.st_dev && i.st_ino == o.st_ino)
            return usage_error(command, "\"" + out + "\" is also an input (" + in +
                                            "); it is not written over: name another output file");
    }
    return EXIT_DONE;
}

bool parse_long(const std::string& text, long& value)
{
    return word_to_long(text, value);
}

bool parse_double(const std::string& text, double& value)
{
    return word_to_double(text, value);
}

HeadlessRun::HeadlessRun() : work_method_(settings().work_method), undo_levels_(settings().undo_want)
{
    settings().work_method = 0;
    undo_set_levels(settings().undo_want, 0);
}

HeadlessRun::~HeadlessRun()
{
    undo_set_levels(settings().undo_want, undo_levels_);
    settings().work_method = work_method_;
}

bool parse_colour(const std::string& text, uint8_t rgba[4], bool alpha)
{
    long v[4] = {0, 0, 0, 255};
    size_t n = 0, start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        if (n == (alpha ? 4u : 3u) || !word_to_long(text.substr(start, comma - start), v[n]) || v[n] < 0 || v[n] > 255)
            return false;
        ++n;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (n < 3)
        return false;
    for (int i = 0; i < 4; ++i)
        rgba[i] = static_cast<uint8_t>(v[i]);
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
