#include "core/prefs.h"

#include "core/app.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/profile.h"
#include "core/settings.h"
#include "core/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>

namespace {

NameList g_names;

void clamp_origin(long* pos)
{
    if (pos[0] < 0)
        pos[0] = 0;
    if (pos[1] < 0)
        pos[1] = 0;
}

void clamp_window(long* pos, long screen_width, long screen_height)
{
    clamp_origin(pos);
    if (pos[2] > screen_width)
        pos[2] = screen_width;
    if (pos[3] > screen_height)
        pos[3] = screen_height;
}

} // namespace

void prefs_clamp_positions(Settings& s, long screen_width, long screen_height)
{
    long* windows[] = {s.pos_main, s.pos_view, s.pos_film, s.pos_profile, s.pos_trend, s.pos_prog, s.pos_time, s.pos_exp};
    for (long* pos : windows)
        clamp_window(pos, screen_width, screen_height);
    long* corners[] = {s.pos_tool, s.pos_chron, s.pos_op};
    for (long* pos : corners)
        clamp_origin(pos);
    if (s.dlg_xp < 0)
        s.dlg_xp = 0;
    if (s.dlg_yp < 0)
        s.dlg_yp = 0;
    // A main window too low to show its menu would be lost at the top.
    if (s.pos_main[3] < 41) {
        s.pos_main[1] = 0;
        s.pos_main[3] = screen_height;
    }
}

int prefs_load()
{
    Settings& s = settings();
    const std::string& cwd = app_start_folder();
    settings_reset(s, cwd);
    s.screen_width = ui::platform().screen_width();
    s.screen_height = ui::platform().screen_height();

    // One look at the file for all the keys, not one per key.
    profile_hold(kPrefsFile);
    size_t count = 0;
    const SettingKey* keys = setting_keys(&count);
    for (size_t n = 0; n < count; ++n) {
        const SettingKey& k = keys[n];
        int first = k.indexed() ? k.first : 0;
        int last = k.indexed() ? k.last : 0;
        for (int i = first; i <= last; ++i) {
            std::string name = setting_key_name(k, i);
            std::string fallback = setting_default(k, i, cwd);
            std::string value = profile_get(kPrefsSection, name.c_str(), fallback.c_str(), k.max_length, kPrefsFile);
            setting_parse(k, s, i, value.c_str());
        }
    }
    profile_release();  // nothing was written: no write either
    profile_forget();
    prefs_clamp_positions(s, s.screen_width, s.screen_height);
    return 0;
}

int prefs_save()
{
    Settings& s = settings();
    // Alpha mode "always" is kept as "when the view shows alpha".
    long mod_alpha = s.mod_alpha;
    if (s.mod_alpha == 1)
        s.mod_alpha = 2;

    profile_hold(kPrefsFile);
    size_t count = 0;
    const SettingKey* keys = setting_keys(&count);
    for (size_t n = 0; n < count; ++n) {
        const SettingKey& k = keys[n];
        int first = k.indexed() ? k.first : 0;
        int last = k.indexed() ? k.last : 0;
        for (int i = first; i <= last; ++i) {
            std::string name = setting_key_name(k, i);
            std::string value = setting_format(k, s, i);
            // A folder left at its default (the folder current at start-up) is
            // not kept: the next run, started elsewhere, starts in its own.
            bool at_default = k.kind == SettingKind::Folder && value == app_start_folder();
            profile_write(kPrefsSection, name.c_str(), at_default ? nullptr : value.c_str(), kPrefsFile);
        }
    }
    errno = 0;
    bool written = profile_release();
    int why = errno;
    profile_forget();
    s.mod_alpha = mod_alpha;
    if (!written) {
        std::string where = profile_path(kPrefsFile) + (why ? std::string(": ") + std::strerror(why) : std::string());
        error_box("The preferences could not be saved to", where.c_str());
        return 1;
    }
    return 0;
}

NameList& name_list()
{
    return g_names;
}

void name_list_clear()
{
    for (int i = 0; i < g_names.count; ++i)
        g_names.names[i].clear();
    g_names.count = 0;
}

int name_list_load()
{
    name_list_clear();
    char buffer[kNameListLength + 1];
    fast_ini_read(kNameListSection, "TnaCount", "0", buffer, sizeof buffer, kNameListFile);
    char* end = nullptr;
    long count = std::strtol(buffer, &end, 10);
    if (end == buffer || count < 0 || count > kNameListMax)
        count = 0;
    for (long n = 0; n < count; ++n) {
        char key[32];
        std::snprintf(key, sizeof key, "TnaName%ld", n);
        fast_ini_read(kNameListSection, key, "", buffer, sizeof buffer, kNameListFile);
        // A folder that went missing from the file leaves no empty entry.
        if (buffer[0])
            g_names.names[g_names.count++] = buffer;
    }
    fast_ini_read_close();
    return 0;
}

int name_list_save()
{
    char value[32];
    std::snprintf(value, sizeof value, "%d", g_names.count);
    int failed = fast_ini_write(kNameListSection, "TnaCount", value, kNameListFile);
    for (int n = 0; n < g_names.count && !failed; ++n) {
        char key[32];
        std::snprintf(key, sizeof key, "TnaName%d", n);
        std::string name = g_names.names[n].substr(0, kNameListLength);
        failed = fast_ini_write(kNameListSection, key, name.c_str(), kNameListFile);
    }
    if (fast_ini_write_close() != 0 || failed) {
        log_printf("Could not write the folder list \"%s\"\n", profile_path(kNameListFile).c_str());
        return 1;
    }
    return 0;
}
