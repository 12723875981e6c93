// vq prefs: read and set the preferences that GLIMVQ.ini keeps.
#include "app/vq/command.h"
#include "core/settings.h"
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

// The numbers of a value: exactly as many as the key holds.
bool numbers_fit(const SettingKey& k, const std::string& value, std::string& why)
{
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
        if (std::strcmp(k.key, "UndoWant") == 0 && (v < 0 || v > kUndoMaxLevels)) {
            why = "takes 0 to 32000 levels";
            return false;
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
    if (!args.done())
        return vq::usage_error("prefs", "one value only; quote a value with blanks");
    if (f.key->kind == SettingKind::Numbers) {
        std::string why;
        if (!numbers_fit(*f.key, value, why))
            return vq::usage_error("prefs", f.name + " " + why + ": \"" + value + "\"");
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
