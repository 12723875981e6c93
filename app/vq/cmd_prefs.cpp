// vq prefs: read and set the preferences that GLIMVQ.ini keeps.
#include "app/vq/command.h"
#include "core/settings.h"
#include "formats/codecs.h"
#include "layers/composite.h"
#include "core/undo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

struct Found {
    const SettingKey* key = nullptr;
    int index = 0;
    std::string name;
};

// Key names match without regard to case, as in the file.
Found find_key(const std::string& wanted)
{
    size_t count = 0;
    const SettingKey* keys = setting_keys(&count);
    for (size_t n = 0; n < count; ++n) {
        const SettingKey& k = keys[n];
        for (int i = k.indexed() ? k.first : 0; i <= (k.indexed() ? k.last : 0); ++i) {
            std::string name = setting_key_name(k, i);
            if (strcasecmp(name.c_str(), wanted.c_str()) == 0)
                return {&k, i, name};
        }
    }
    return {};
}

// The values a number key may take, where not every number makes sense.
struct Range {
    const char* key;  // the name, or its start followed by '*'
    long low, high;
    const char* says;
};
const Range kRanges[] = {
    {"UndoWant", 0, kUndoMaxLevels, "takes 0 to 32000 levels"},
    {"UserPrefs*", 0, 1, "is a switch: 0 or 1"},
    {"Ordered", 0, 1, "takes 0 (error diffusion) or 1 (ordered)"},
    {"WithAlpha", 0, 1, "is a switch: 0 or 1"},
    {"KeepLog", 0, 1, "is a switch: 0 or 1"},
    {"FontAA", 0, 1, "is a switch: 0 or 1"},
    {"ModAlpha", 0, 2, "takes 0 (colour), 1 (alpha) or 2 (alpha when shown)"},
    {"SaveCompress", 0, 2, "takes 0, 1 or 2"},
    {"JPEGQuality", 1, 100, "takes 1 to 100"},
    {"Threads", 0, 64, "takes 0 (one per core) to 64"},
    {"IMc*", 0, 255, "is a colour: three numbers 0 to 255"},
    {"CustomColor*", 0, 255, "is a colour: three numbers 0 to 255"},
    {"GridColor", 0, 255, "is a colour: three numbers 0 to 255"},
    {"AlphaColor", 0, 255, "is a colour: three numbers 0 to 255"},
    {"BackColor", 0, 255, "is a colour: three numbers 0 to 255"},
    {"FontColor", 0, 255, "is a colour: three numbers 0 to 255"},
    {"AlphaCheck", 0, 255, "is a colour: three numbers 0 to 255"},
    {"ThumbBackDrop", 0, 255, "is a colour: three numbers 0 to 255"},
    {"LineDash*", 0, 255, "is a colour: three numbers 0 to 255"},
    {"PrevDash*", 0, 255, "is a colour: three numbers 0 to 255"},
    {"LineHandle", 0, 255, "is a colour: three numbers 0 to 255"},
};

const Range* range_of(const std::string& name)
{
    for (const Range& r : kRanges) {
        size_t n = std::strlen(r.key);
        if (r.key[n - 1] == '*' ? strncasecmp(name.c_str(), r.key, n - 1) == 0
                                : strcasecmp(name.c_str(), r.key) == 0)
            return &r;
    }
    return nullptr;
}

// The file types are the writable ones ("vq help convert" lists them).
bool is_save_type_key(const std::string& name)
{
    return strcasecmp(name.c_str(), "SaveType") == 0 || strcasecmp(name.c_str(), "SeqType") == 0 ||
           strcasecmp(name.c_str(), "CapType") == 0;
}

// The numbers of a value: exactly as many as the key holds, each in its range.
bool numbers_fit(const SettingKey& k, const std::string& name, const std::string& value, std::string& why)
{
    const Range* range = range_of(name);
    const char* p = value.c_str();
    int seen = 0;
    while (true) {
        while (*p == ' ')
            ++p;
        if (!*p)
            break;
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p || (*end && *end != ' ')) {
            why = "is not a number";
            return false;
        }
        if (range && (v < range->low || v > range->high)) {
            why = range->says;
            return false;
        }
        if (is_save_type_key(name)) {
            const Codec* c = v >= 0 && v < 1000 ? codec_for_save_type(static_cast<int>(v)) : nullptr;
            if (!c || !c->write) {
                why = "takes the number of a type that can be written (vq help convert: --type)";
                return false;
            }
        }
        ++seen;
        p = end;
    }
    if (seen != k.count) {
        why = "needs " + std::to_string(k.count) + (k.count == 1 ? " number" : " numbers separated by blanks");
        return false;
    }
    return true;
}

int run_prefs(vq::Args& args)
{
    Settings& s = settings();
    if (args.done()) {
        size_t count = 0;
        const SettingKey* keys = setting_keys(&count);
        for (size_t n = 0; n < count; ++n) {
            const SettingKey& k = keys[n];
            for (int i = k.indexed() ? k.first : 0; i <= (k.indexed() ? k.last : 0); ++i)
                std::printf("%s=%s\n", setting_key_name(k, i).c_str(), setting_format(k, s, i).c_str());
        }
        return vq::EXIT_DONE;
    }
    std::string wanted = args.next();
    Found f = find_key(wanted);
    if (!f.key)
        return vq::usage_error("prefs", "no preference \"" + wanted + "\"; vq prefs lists them");
    if (args.done()) {
        std::printf("%s\n", setting_format(*f.key, s, f.index).c_str());
        return vq::EXIT_DONE;
    }
    std::string value = args.next();
    int rgb[3];
    if (!args.done())
        return vq::usage_error("prefs", "one value only; quote a value with blanks");
    if (f.key->kind == SettingKind::Numbers) {
        std::string why;
        if (!numbers_fit(*f.key, f.name, value, why))
            return vq::usage_error("prefs", f.name + " " + why + ": \"" + value + "\"");
    } else if (strcasecmp(f.name.c_str(), "KeyColor") == 0 && !value.empty() && !parse_key_color(value.c_str(), rgb)) {
        return vq::usage_error("prefs", "KeyColor is a colour: R,G,B (0 to 255 each) or RRGGBB in hex, not \"" +
                                            value + "\"");
    } else if (static_cast<long>(value.size()) > f.key->max_length) {
        std::fprintf(stderr, "vq prefs: %s keeps at most %d characters; the rest is cut\n", f.name.c_str(),
                     f.key->max_length);
    }
    setting_parse(*f.key, s, f.index, value.c_str());
    std::printf("%s=%s\n", f.name.c_str(), setting_format(*f.key, s, f.index).c_str());
    return vq::EXIT_DONE;
}

const vq::Form kPrefsForms[] = {{.job = nullptr, .words = "[KEY [VALUE]]"}};

} // namespace

VQ_COMMAND("prefs", "list, show or set the preferences kept in GLIMVQ.ini",
           "Lists every preference of GLIMVQ.ini as KEY=VALUE, shows one, or sets one (docs/preferences.md). "
           "Keys match without regard to case; a number key takes exactly as many numbers as it holds (vq prefs "
           "PosMain \"0 0 800 600\"), each within the key's range, a colour key takes R,G,B. A value that does "
           "not fit is refused (status 2); settings that cannot be written at shut-down fail the run (status "
           "1).",
           run_prefs, kPrefsForms);
