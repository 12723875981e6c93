// The settings file of the registered plug-ins, "GLIMVQpu.ini": every
// plug-in's identity and parameters under keys numbered from 1.
#include "plugins/plugins.h"

#include "core/app.h"
#include "core/list.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/profile.h"
#include "core/progress.h"
#include "core/settings.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

constexpr const char* kSection = "GlimvqPu";
// More plug-ins than anyone registers: a larger count is a damaged file.
constexpr long kMaxPlugins = 1000;
constexpr long kValueLength = 16384;

struct Reader {
    const char* file;
    char* buffer;  // kValueLength bytes

    // The value of key, or "" when absent.
    const char* get(const char* key)
    {
        fast_ini_read(kSection, key, "", buffer, kValueLength, file);
        return buffer;
    }
};

// Reads up to `count` integers of a line; returns how many were read.  Each
// must fit 32 bits; reading stops at the first that does not.
int read_ints(const char* text, int32_t* out, int count)
{
    int got = 0;
    const char* p = text;
    while (got < count) {
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(p, &end, 10);
        if (end == p || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
            break;
        out[got++] = static_cast<int32_t>(v);
        p = end;
    }
    return got;
}

int read_floats(const char* text, float* out, int count)
{
    int got = 0;
    const char* p = text;
    while (got < count) {
        char* end = nullptr;
        double v = std::strtod(p, &end);
        if (end == p)
            break;
        out[got++] = std::isfinite(v) && std::fabs(v) < 1e30 ? static_cast<float>(v) : 0.0f;
        p = end;
    }
    return got;
}

void read_text(const char* text, char* out, size_t size)
{
    std::snprintf(out, size, "%s", text);
}

bool read_entry(Reader& r, long n, PluginEntry* e)
{
    GxpRecord& rec = *e->record;
    char key[64];
    std::snprintf(key, sizeof key, "PlugInName%ld", n);
    const char* name = r.get(key);
    if (!name[0])
        return false;
    std::snprintf(rec.name, sizeof rec.name, "%.31s", name);
    std::snprintf(key, sizeof key, "PlugInFile%ld", n);
    read_text(r.get(key), e->path, sizeof e->path);

    auto one = [&](const char* format, int32_t& into) {
        std::snprintf(key, sizeof key, format, n);
        int32_t v = 0;
        if (read_ints(r.get(key), &v, 1) == 1)
            into = v;
    };
    one("PlugInVersion%ld", rec.version);
    one("PlugInRevision%ld", rec.revision);
    one("PlugInDevKey%ld", rec.dev_key);
    for (int i = 0; i < 4; ++i) {
        std::snprintf(key, sizeof key, "PlugInColor%d_%ld", i, n);
        int32_t v[4] = {0, 0, 0, 0};
        int got = read_ints(r.get(key), v, 4);
        for (int c = 0; c < 3 && c < got; ++c)
            rec.colors[i][c] = static_cast<uint8_t>(v[c] < 0 ? 0 : (v[c] > 255 ? 255 : v[c]));
        if (got == 4)
            rec.color_values[i] = v[3];
    }
    auto eight = [&](const char* format, int32_t* into) {
        std::snprintf(key, sizeof key, format, n);
        read_ints(r.get(key), into, 8);
    };
    eight("PlugInLongs%ld", rec.longs);
    eight("PlugInCMin%ld", rec.cmin);
    eight("PlugInCMax%ld", rec.cmax);
    eight("PlugInAMin%ld", rec.amin);
    eight("PlugInAMax%ld", rec.amax);
    eight("PlugInSwitches%ld", rec.switches);
    std::snprintf(key, sizeof key, "PlugInFloats%ld", n);
    read_floats(r.get(key), rec.floats, 8);
    std::snprintf(key, sizeof key, "PlugInRads%ld", n);
    read_ints(r.get(key), rec.radios, 5);
    std::snprintf(key, sizeof key, "PlugInStr1_%ld", n);
    read_text(r.get(key), rec.str1, sizeof rec.str1);
    std::snprintf(key, sizeof key, "PlugInStr2_%ld", n);
    read_text(r.get(key), rec.str2, sizeof rec.str2);
    for (int i = 0; i < 2; ++i) {
        GxpPalette& pal = rec.palettes[i];
        std::snprintf(key, sizeof key, "PlugInPalNum%d_%ld", i, n);
        int32_t count = 0;
        if (read_ints(r.get(key), &count, 1) != 1 || count < 0 || count > 1024)
            count = 0;
        pal.count = 0;
        if (count == 0)
            continue;
        std::snprintf(key, sizeof key, "PlugInPalCol%d_%ld", i, n);
        const char* p = r.get(key);
        int32_t rgb[3];
        int got = 0;
        while (got < count) {
            char* end = nullptr;
            int c = 0;
            for (; c < 3; ++c) {
                long v = std::strtol(p, &end, 10);
                if (end == p)
                    break;
                rgb[c] = static_cast<int32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
                p = end;
            }
            if (c < 3)
                break;
            pal.red[got] = static_cast<uint8_t>(rgb[0]);
            pal.green[got] = static_cast<uint8_t>(rgb[1]);
            pal.blue[got] = static_cast<uint8_t>(rgb[2]);
            ++got;
        }
        pal.count = got;  // a short line keeps the colours it has
    }
    for (int i = 0; i < GXP_PROFILES; ++i) {
        std::snprintf(key, sizeof key, "PlugInProVals%d_%ld", i, n);
        int32_t v[GXP_PROFILE_POINTS];
        int got = read_ints(r.get(key), v, GXP_PROFILE_POINTS);
        for (int k = 0; k < got; ++k)
            rec.profiles[i][k] = static_cast<int16_t>(v[k] < -32768 ? -32768 : (v[k] > 32767 ? 32767 : v[k]));
    }
    return true;
}

std::string ints(const int32_t* v, int count)
{
    std::string s;
    char buf[16];
    for (int i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %d" : "%d", v[i]);
        s += buf;
    }
    return s;
}

} // namespace

int plugins_load_settings(const char* file)
{
    PluginHost& h = plugin_host();
    if (!h.plugins)
        return 0;
    while (h.plugins->tail) {
        plugin_remove(static_cast<PluginEntry*>(h.plugins->tail->element));
        if (h.plugins->tail && !h.plugins->tail->element)
            list_remove(h.plugins->tail);
    }
    char* buffer = static_cast<char*>(mem_alloc(kValueLength, "plug ini"));
    if (!buffer)
        return 0;
    Reader r{file, buffer};
    long count = 0;
    {
        int32_t c = 0;
        if (read_ints(r.get("PlugInCount"), &c, 1) == 1)
            count = c;
    }
    if (count < 0 || count > kMaxPlugins) {
        log_printf("%s: PlugInCount %ld is out of range; no plug-ins read\n", file, count);
        count = 0;
    }
    int read = 0;
    for (long n = 1; n <= count; ++n) {
        ListNode* node = list_add_tail(h.plugins);
        if (!node)
            break;
        auto* e = static_cast<PluginEntry*>(chunk_alloc(1, sizeof(PluginEntry), "plug entry"));
        GxpRecord* rec = e ? static_cast<GxpRecord*>(mem_alloc(sizeof(GxpRecord), "plug struct")) : nullptr;
        if (!rec) {
            if (e)
                chunk_free(e);
            list_remove(node);
            break;
        }
        std::memset(rec, 0, sizeof *rec);
        rec->size = GXP_RECORD_SIZE;
        rec->level = 1;
        e->record = rec;
        e->path[0] = 0;
        // A nameless entry, or one whose name is taken already, is dropped.
        if (!read_entry(r, n, e) || plugin_find(rec->name) != nullptr) {
            mem_free(rec);
            chunk_free(e);
            list_remove(node);
            continue;
        }
        node->element = e;
        ++read;
    }
    fast_ini_read_close();
    mem_free(buffer);
    // The plug-in selected last stays selected, without a call.
    if (PluginEntry* e = plugin_find(settings().plug_file.c_str())) {
        h.selected = e;
        plugin_params_to_record(*e->record, h.params);
        std::memcpy(h.params.name, e->record->name, sizeof h.params.name);
    }
    return read;
}

int plugins_save_settings(const char* file)
{
    PluginHost& h = plugin_host();
    if (!h.plugins)
        return 1;
    const int count = list_count(h.plugins);
    int failed = 0;
    char key[64];
    auto put = [&](const std::string& value) {
        if (!failed && fast_ini_write(kSection, key, value.c_str(), file) != 0)
            failed = 1;
    };
    std::snprintf(key, sizeof key, "PlugInCount");
    put(std::to_string(count));
    progress_open("Save Plug-in Settings", count > 0 ? count : 1, 1);
    int n = 0;
    for (ListNode* node = h.plugins->head; node && !failed; node = node->ln_succ) {
        auto* e = static_cast<PluginEntry*>(node->element);
        if (!e)
            continue;
        ++n;
        progress_update(n);
        const GxpRecord& r = *e->record;
        std::snprintf(key, sizeof key, "PlugInName%d", n);
        put(std::string(r.name, strnlen(r.name, 31)));
        std::snprintf(key, sizeof key, "PlugInFile%d", n);
        put(e->path);
        std::snprintf(key, sizeof key, "PlugInVersion%d", n);
        put(std::to_string(r.version));
        std::snprintf(key, sizeof key, "PlugInRevision%d", n);
        put(std::to_string(r.revision));
        std::snprintf(key, sizeof key, "PlugInDevKey%d", n);
        put(std::to_string(r.dev_key));
        for (int i = 0; i < 4; ++i) {
            std::snprintf(key, sizeof key, "PlugInColor%d_%d", i, n);
            char v[64];
            std::snprintf(v, sizeof v, "%d %d %d %d", r.colors[i][0], r.colors[i][1], r.colors[i][2],
                          r.color_values[i]);
            put(v);
        }
        const struct {
            const char* format;
            const int32_t* values;
        } eights[] = {{"PlugInLongs%d", r.longs}, {"PlugInCMin%d", r.cmin},     {"PlugInCMax%d", r.cmax},
                      {"PlugInAMin%d", r.amin},   {"PlugInAMax%d", r.amax},     {"PlugInSwitches%d", r.switches}};
        for (const auto& e8 : eights) {
            std::snprintf(key, sizeof key, e8.format, n);
            put(ints(e8.values, 8));
        }
        std::snprintf(key, sizeof key, "PlugInFloats%d", n);
        {
            char v[8 * 48];
            std::snprintf(v, sizeof v, "%f %f %f %f %f %f %f %f", r.floats[0], r.floats[1], r.floats[2], r.floats[3],
                          r.floats[4], r.floats[5], r.floats[6], r.floats[7]);
            put(v);
        }
        std::snprintf(key, sizeof key, "PlugInRads%d", n);
        put(ints(r.radios, 5));
        std::snprintf(key, sizeof key, "PlugInStr1_%d", n);
        put(std::string(r.str1, strnlen(r.str1, sizeof r.str1 - 1)));
        std::snprintf(key, sizeof key, "PlugInStr2_%d", n);
        put(std::string(r.str2, strnlen(r.str2, sizeof r.str2 - 1)));
        for (int i = 0; i < 2; ++i) {
            const GxpPalette& pal = r.palettes[i];
            int c = pal.count < 0 || pal.count > 1024 ? 0 : pal.count;
            std::snprintf(key, sizeof key, "PlugInPalNum%d_%d", i, n);
            put(std::to_string(c));
            std::snprintf(key, sizeof key, "PlugInPalCol%d_%d", i, n);
            std::string colours;
            char v[48];
            for (int k = 0; k < c; ++k) {
                std::snprintf(v, sizeof v, k ? " %d %d %d" : "%d %d %d", pal.red[k], pal.green[k], pal.blue[k]);
                colours += v;
            }
            put(colours);
        }
        for (int i = 0; i < GXP_PROFILES; ++i) {
            std::snprintf(key, sizeof key, "PlugInProVals%d_%d", i, n);
            int32_t v[GXP_PROFILE_POINTS];
            for (int k = 0; k < GXP_PROFILE_POINTS; ++k)
                v[k] = r.profiles[i][k];
            put(ints(v, GXP_PROFILE_POINTS));
        }
    }
    progress_close();
    if (fast_ini_write_close() != 0)
        failed = 1;
    if (failed) {
        std::string path = profile_path(file);
        error_box("The plug-in settings could not be written:", path.c_str());
        return 1;
    }
    return 0;
}

std::string plugin_folder()
{
    const std::string& p = settings().plug_path;
    if (!p.empty())
        return p.back() == '/' && p.size() > 1 ? p.substr(0, p.size() - 1) : p;
    return app_config_folder() + "/plugins";
}
