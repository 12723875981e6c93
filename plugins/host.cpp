#include "plugins/plugins.h"

#include "areas/area_mask.h"
#include "core/app.h"
#include "core/image.h"
#include "core/list.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/profiles.h"

#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

// The record's fixed places, as plug-ins written against any version of the
// header expect them.
static_assert(sizeof(GxpRecord) == 18032);
static_assert(offsetof(GxpRecord, handshake) == 8);
static_assert(offsetof(GxpRecord, call) == 12);
static_assert(offsetof(GxpRecord, error) == 408);
static_assert(offsetof(GxpRecord, name) == 4896);
static_assert(offsetof(GxpRecord, version) == 4928);
static_assert(offsetof(GxpRecord, revision) == 4932);
static_assert(offsetof(GxpRecord, dev_key) == 4936);
static_assert(offsetof(GxpRecord, colors) == 4940);
static_assert(offsetof(GxpRecord, color_values) == 4956);
static_assert(offsetof(GxpRecord, longs) == 4972);
static_assert(offsetof(GxpRecord, cmin) == 5004);
static_assert(offsetof(GxpRecord, cmax) == 5036);
static_assert(offsetof(GxpRecord, amin) == 5068);
static_assert(offsetof(GxpRecord, amax) == 5100);
static_assert(offsetof(GxpRecord, floats) == 5132);
static_assert(offsetof(GxpRecord, switches) == 5164);
static_assert(offsetof(GxpRecord, radios) == 5196);
static_assert(offsetof(GxpRecord, str1) == 5216);
static_assert(offsetof(GxpRecord, str2) == 5416);
static_assert(offsetof(GxpRecord, palettes) == 5616);
static_assert(sizeof(GxpPalette) == 3136);
static_assert(offsetof(GxpRecord, profiles) == 11888);
// Where this host puts what it fills before an apply call.
static_assert(offsetof(GxpRecord, width) == 16);
static_assert(offsetof(GxpRecord, pixels) == 48);
static_assert(offsetof(GxpRecord, mask) == 56);
static_assert(offsetof(GxpRecord, frame) == 64);
// The operation's palette slots point into the record's palettes.
static_assert(offsetof(GxpPalette, count) == 3072);

namespace {

PluginHost g_host;
void (*g_list_changed)() = nullptr;

// An image handed out by the image service during a call.
struct Socket {
    Image* image;
    bool owned;  // read from a file for the plug-in: freed after the call
};

// The call in progress: what the services need to know.
struct CallState {
    GxpRecord* record = nullptr;
    Image* target = nullptr;  // the image an apply call changes
    int progress_opened = 0;  // meters the plug-in left open
    bool title_changed = false;
};
CallState g_call;

void list_changed()
{
    if (g_list_changed)
        g_list_changed();
}

// ---- the services ----------------------------------------------------------------
// Each is called by foreign code: nothing may escape them.

int32_t svc_progress_start(const char* title, int32_t total, int32_t flag) noexcept
{
    char caption[64];
    std::snprintf(caption, sizeof caption, "%.*s", 60, title ? title : "Plug-in");
    progress_open(caption, total > 0 ? total : 1, flag > 0 ? flag : 1);
    ++g_call.progress_opened;
    return 0;
}

int32_t svc_progress_text(const char* text, int32_t value, int32_t value2) noexcept
{
    char title[160];
    const char* t = text ? text : "";
    if (value2 > 0)
        std::snprintf(title, sizeof title, "%.100s %d/%d", t, value, value2);
    else
        std::snprintf(title, sizeof title, "%.100s", t);
    ui::platform().set_frame_title(title);
    g_call.title_changed = true;
    return 0;
}

int32_t svc_progress_step(int32_t value) noexcept
{
    return progress_update(value) ? 1 : 0;
}

int32_t svc_progress_end() noexcept
{
    if (g_call.progress_opened > 0) {
        progress_close();
        --g_call.progress_opened;
    }
    if (g_call.title_changed) {
        ui::platform().set_frame_title("Glimmerix:V/q");
        g_call.title_changed = false;
    }
    return 0;
}

void fill_image(const Image* image, GxpImage* out)
{
    out->width = static_cast<int32_t>(image->width);
    out->height = image->height;
    out->alpha = image->alpha;
    out->reserved = 0;
    out->pixels = image->pixels;
}

int32_t svc_image(int32_t action, const char* name, GxpImage* out) noexcept
{
    if (!out)
        return 1;
    std::memset(out, 0, sizeof *out);
    Image* image = nullptr;
    bool owned = false;
    switch (action) {
    case GXP_IMAGE_TARGET:
        image = g_call.target ? g_call.target : image_role(ImageRole::Target);
        break;
    case GXP_IMAGE_SOURCE:
    case GXP_IMAGE_BRUSH:
        image = image_role(action == GXP_IMAGE_SOURCE ? ImageRole::Source : ImageRole::Brush);
        if (!image || !image_store_contains(image))
            image = g_call.target ? g_call.target : image_role(ImageRole::Target);
        break;
    case GXP_IMAGE_FILE: {
        if (!name || strnlen(name, 4096) >= 4096)
            return 1;
        image = load_image(name);
        owned = image != nullptr;
        break;
    }
    default:
        return 1;
    }
    if (!image)
        return 1;
    ListNode* node = list_add_tail(g_host.sockets);
    if (!node) {
        if (owned)
            image_free(image);
        return 1;
    }
    auto* socket = static_cast<Socket*>(chunk_alloc(1, sizeof(Socket), "socket"));
    if (!socket) {
        list_remove(node);
        if (owned)
            image_free(image);
        return 1;
    }
    socket->image = image;
    socket->owned = owned;
    node->element = socket;
    // Locked for as long as the plug-in may touch the pixels; the host
    // unlocks it after the call.
    if (image_lock(image) != 0) {
        out->pixels = nullptr;
        return 1;
    }
    fill_image(image, out);
    return 0;
}

void* svc_alloc(int32_t size, const char* label) noexcept
{
    if (size <= 0 || !g_host.blocks)
        return nullptr;
    char tag[16] = "plug mem";
    if (label && strnlen(label, 64) < 64)
        std::snprintf(tag, sizeof tag, "%s", label);
    void* block = mem_alloc(size, tag);
    if (!block)
        return nullptr;
    ListNode* node = list_add_tail(g_host.blocks);
    if (!node) {
        mem_free(block);
        return nullptr;
    }
    node->element = block;
    return block;
}

int32_t svc_free(void* block) noexcept
{
    if (!block || !g_host.blocks)
        return 0;
    for (ListNode* n = g_host.blocks->head; n; n = n->ln_succ) {
        if (n->element == block) {
            mem_free(block);
            n->element = nullptr;
            list_remove(n);
            return 1;
        }
    }
    return 0;
}

int32_t svc_message(int32_t kind, int32_t value, const char* text) noexcept
{
    (void)value;
    if (messages_quiet()) {
        ui::platform().beep();
        return 0;
    }
    char shown[1024];
    std::snprintf(shown, sizeof shown, "%.*s", 1000, text && strnlen(text, 4096) < 4096 ? text : "");
    char title[40] = "Plug-in";
    if (g_call.record && strnlen(g_call.record->name, sizeof g_call.record->name) < sizeof g_call.record->name && g_call.record->name[0])
        std::snprintf(title, sizeof title, "%s", g_call.record->name);
    ui::BoxIcon icon = kind == GXP_MSG_ERROR     ? ui::BoxIcon::Stop
                       : kind == GXP_MSG_WARNING ? ui::BoxIcon::Exclamation
                                                 : ui::BoxIcon::Information;
    ui::platform().message_box(title, shown, icon);
    log_printf("PLUG-IN MESSAGE: \"%s\"\n", shown);
    return 0;
}

// After every call: the images unlocked (and freed when read for the plug-in),
// the blocks freed, the meters closed.
void release_call_leftovers()
{
    if (g_host.sockets) {
        while (ListNode* n = g_host.sockets->tail) {
            auto* socket = static_cast<Socket*>(n->element);
            if (socket) {
                if (socket->image && image_store_contains(socket->image)) {
                    image_unlock(socket->image);
                    if (socket->owned)
                        image_free(socket->image);
                }
                chunk_free(socket);
            }
            list_remove(n);
        }
    }
    if (g_host.blocks) {
        int left = 0;
        while (ListNode* n = g_host.blocks->tail) {
            if (n->element) {
                mem_free(n->element);
                ++left;
            }
            list_remove(n);
        }
        if (left)
            log_printf("Plug-in left %d block(s) allocated: freed\n", left);
    }
    while (g_call.progress_opened > 0) {
        progress_close();
        --g_call.progress_opened;
    }
    if (g_call.title_changed) {
        ui::platform().set_frame_title("Glimmerix:V/q");
        g_call.title_changed = false;
    }
}

void show_plugin_error(const char* text)
{
    if (messages_quiet()) {
        ui::platform().beep();
    } else {
        ui::platform().message_box("Plug-in Error", text, ui::BoxIcon::Stop);
    }
    log_printf("PLUG-IN ERROR: \"%s\"\n", text);
}

// The name of a record as text (its field need not end within itself).
std::string record_name(const GxpRecord& r)
{
    return std::string(r.name, strnlen(r.name, sizeof r.name));
}

std::string file_stem(const char* path)
{
    const char* base = std::strrchr(path, '/');
    base = base ? base + 1 : path;
    std::string stem = base;
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0)
        stem.erase(dot);
    return stem;
}

PluginEntry* entry_new(const char* path)
{
    auto* e = static_cast<PluginEntry*>(chunk_alloc(1, sizeof(PluginEntry), "plug entry"));
    if (!e)
        return nullptr;
    e->record = static_cast<GxpRecord*>(mem_alloc(sizeof(GxpRecord), "plug struct"));
    if (!e->record) {
        chunk_free(e);
        return nullptr;
    }
    std::memset(e->record, 0, sizeof(GxpRecord));
    e->record->size = GXP_RECORD_SIZE;
    e->record->level = 1;
    std::snprintf(e->path, sizeof e->path, "%s", path ? path : "");
    return e;
}

void entry_free(PluginEntry* e)
{
    if (!e)
        return;
    mem_free(e->record);
    chunk_free(e);
}

void clear_apply_fields(GxpRecord& r)
{
    r.width = r.height = r.alpha_mode = 0;
    r.x0 = r.y0 = r.x1 = r.y1 = 0;
    r.pixels = nullptr;
    r.mask = nullptr;
    r.frame = r.frames = 0;
}

// The profiles of the profile table the plug-ins share ("piprof1" ...).
int16_t* plug_profile(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "piprof%d", i + 1);
    return profile_find(name);
}

} // namespace

void plugin_error(const char* text)
{
    show_plugin_error(text ? text : "");
}

PluginHost& plugin_host()
{
    return g_host;
}

void plugins_set_list_changed(void (*changed)())
{
    g_list_changed = changed;
}

void plugin_params_to_record(const GxpRecord& from, GxpRecord& to)
{
    std::memcpy(to.colors, from.colors, sizeof to.colors);
    std::memcpy(to.color_values, from.color_values, sizeof to.color_values);
    std::memcpy(to.longs, from.longs, sizeof to.longs);
    std::memcpy(to.floats, from.floats, sizeof to.floats);
    std::memcpy(to.switches, from.switches, sizeof to.switches);
    std::memcpy(to.radios, from.radios, sizeof to.radios);
    std::memcpy(to.str1, from.str1, sizeof to.str1);
    std::memcpy(to.str2, from.str2, sizeof to.str2);
    std::memcpy(to.palettes, from.palettes, sizeof to.palettes);
    std::memcpy(to.profiles, from.profiles, sizeof to.profiles);
    to.str1[sizeof to.str1 - 1] = 0;
    to.str2[sizeof to.str2 - 1] = 0;
    for (GxpPalette& p : to.palettes)
        if (p.count < 0 || p.count > 1024)
            p.count = 0;
}

int plugin_call(const char* path, GxpRecord* record, int code, int* result)
{
    if (result)
        *result = -1;
    if (!record || !path)
        return 1;
    if (g_host.in_call) {
        show_plugin_error("A plug-in is already running.");
        return 1;
    }
    record->call = code;
    record->size = GXP_RECORD_SIZE;
    record->level = 1;
    record->quiet = messages_quiet() ? 1 : 0;

    dlerror();
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        std::string text = std::string("The plug-in ") + path + " could not be loaded: " + (why ? why : "unknown error");
        show_plugin_error(text.c_str());
        return 1;
    }
    auto entry = reinterpret_cast<GxpEntry>(dlsym(library, "PluginLoad"));
    if (!entry)
        entry = reinterpret_cast<GxpEntry>(dlsym(library, "PLUGINLOAD"));
    if (!entry) {
        dlclose(library);
        std::string text = std::string("The file ") + path + " is not a Glimmerix:V/q plug-in: it exports neither "
                                                              "\"PluginLoad\" nor \"PLUGINLOAD\".";
        show_plugin_error(text.c_str());
        return 1;
    }

    g_host.in_call = true;
    g_call.record = record;
    int32_t answer = entry(nullptr, nullptr, svc_progress_start, svc_progress_text, svc_progress_step,
                           svc_progress_end, svc_image, svc_alloc, svc_free, svc_message, record);
    dlclose(library);
    g_call.record = nullptr;
    g_host.in_call = false;
    release_call_leftovers();
    if (result)
        *result = answer;

    // An error text is shown once and emptied; one without its terminating
    // zero is cut at the field's end.
    if (record->error[0]) {
        char text[sizeof record->error];
        std::memcpy(text, record->error, sizeof text - 1);
        text[sizeof text - 1] = 0;
        show_plugin_error(text);
        std::memset(record->error, 0, sizeof record->error);
    }
    record->name[sizeof record->name - 1] = 0;
    return 0;
}

int plugin_identify(const char* path, GxpRecord* record)
{
    record->handshake = 0;
    int answer = 0;
    if (plugin_call(path, record, GXP_IDENTIFY, &answer) != 0)
        return 2;
    bool ok = record->handshake == GXP_HANDSHAKE;
    record->handshake = 0;
    return ok ? 0 : 1;
}

int plugin_count()
{
    return g_host.plugins ? list_count(g_host.plugins) : 0;
}

PluginEntry* plugin_at(int index)
{
    if (!g_host.plugins)
        return nullptr;
    ListNode* n = list_node_at(g_host.plugins, index);
    return n ? static_cast<PluginEntry*>(n->element) : nullptr;
}

PluginEntry* plugin_find(const char* name)
{
    if (!name || !g_host.plugins)
        return nullptr;
    for (ListNode* n = g_host.plugins->head; n; n = n->ln_succ) {
        auto* e = static_cast<PluginEntry*>(n->element);
        if (e && strcasecmp(record_name(*e->record).c_str(), name) == 0)
            return e;
    }
    return nullptr;
}

namespace {

// Copies the identity, the limits and the defaults the plug-in gave; the
// parameters a user set are kept unless `all`.
void take_identity(GxpRecord& to, const GxpRecord& from, bool all)
{
    std::memcpy(to.name, from.name, sizeof to.name);
    to.version = from.version;
    to.revision = from.revision;
    to.dev_key = from.dev_key;
    std::memcpy(to.cmin, from.cmin, sizeof to.cmin);
    std::memcpy(to.cmax, from.cmax, sizeof to.cmax);
    std::memcpy(to.amin, from.amin, sizeof to.amin);
    std::memcpy(to.amax, from.amax, sizeof to.amax);
    if (all)
        plugin_params_to_record(from, to);
}

// The selected plug-in's parameters become the operation's.
void copy_to_operation(const GxpRecord& r)
{
    GxpRecord& p = g_host.params;
    plugin_params_to_record(r, p);
    std::memcpy(p.name, r.name, sizeof p.name);
    p.name[sizeof p.name - 1] = 0;
    for (int i = 0; i < GXP_PROFILES; ++i)
        if (int16_t* prof = plug_profile(i))
            std::memcpy(prof, r.profiles[i], sizeof r.profiles[i]);
}

void copy_from_operation(GxpRecord& r)
{
    for (int i = 0; i < GXP_PROFILES; ++i)
        if (int16_t* prof = plug_profile(i))
            std::memcpy(g_host.params.profiles[i], prof, sizeof g_host.params.profiles[i]);
    plugin_params_to_record(g_host.params, r);
}

} // namespace

int plugin_add_file(const char* path, PluginEntry** added)
{
    if (added)
        *added = nullptr;
    if (!g_host.plugins)
        return 1;
    // The plug-in that is current hears first that another is coming.
    if (g_host.selected)
        plugin_identify(g_host.selected->path, g_host.selected->record);

    char full[4096];
    if (!realpath(path, full)) {
        std::string text = std::string("The plug-in file ") + path + " cannot be found.";
        show_plugin_error(text.c_str());
        return 1;
    }
    PluginEntry* fresh = entry_new(full);
    if (!fresh) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    if (int why = plugin_identify(full, fresh->record); why != 0) {
        entry_free(fresh);
        if (why == 2)
            return 1;  // the loader's reason is shown
        std::string text = std::string("The file ") + full +
                           " did not identify itself as a Glimmerix:V/q plug-in; it is not registered.";
        log_printf("%s\n", text.c_str());
        show_plugin_error(text.c_str());
        return 1;
    }
    if ((static_cast<uint32_t>(fresh->record->dev_key) >> 24) != 0) {
        const bool reader = (static_cast<uint32_t>(fresh->record->dev_key) & GXP_KIND_MASK) == GXP_KIND_IMPORT;
        entry_free(fresh);
        std::string text = std::string("The plug-in ") + full + " is not an image plug-in; it is not registered." +
                           (reader ? " It reads image files: put it in the import plug-in folder (" +
                                         importer_folder() + ")."
                                   : std::string());
        show_plugin_error(text.c_str());
        return 1;
    }
    if (!fresh->record->name[0]) {
        std::string stem = file_stem(full);
        std::snprintf(fresh->record->name, sizeof fresh->record->name, "%.31s", stem.c_str());
    }

    PluginEntry* entry = plugin_find(fresh->record->name);
    if (entry) {
        take_identity(*entry->record, *fresh->record, false);
        std::memcpy(entry->path, fresh->path, sizeof entry->path);
        entry_free(fresh);
    } else {
        ListNode* node = list_add_tail(g_host.plugins);
        if (!node) {
            entry_free(fresh);
            message_show(msg::NoMemoryOperation);
            return 1;
        }
        node->element = fresh;
        entry = fresh;
    }
    int answer = 0;
    plugin_call(entry->path, entry->record, GXP_SELECTED, &answer);
    g_host.selected = entry;
    settings().plug_file = record_name(*entry->record);
    copy_to_operation(*entry->record);
    if (added)
        *added = entry;
    list_changed();
    return 0;
}

void plugin_remove(PluginEntry* entry)
{
    if (!entry || !g_host.plugins)
        return;
    for (ListNode* n = g_host.plugins->head; n; n = n->ln_succ) {
        if (n->element == entry) {
            if (g_host.selected == entry)
                g_host.selected = nullptr;
            entry_free(entry);
            n->element = nullptr;
            list_remove(n);
            list_changed();
            return;
        }
    }
}

int plugin_select(PluginEntry* entry)
{
    if (!entry)
        return 1;
    if (int why = plugin_identify(entry->path, entry->record); why != 0) {
        if (why == 1) {
            std::string text = std::string("The plug-in ") + record_name(*entry->record) +
                               " did not answer as a Glimmerix:V/q plug-in.";
            show_plugin_error(text.c_str());
        }
        return 1;
    }
    int answer = 0;
    plugin_call(entry->path, entry->record, GXP_SELECTED, &answer);
    g_host.selected = entry;
    settings().plug_file = record_name(*entry->record);
    copy_to_operation(*entry->record);
    list_changed();
    return 0;
}

int plugin_load(const char* name)
{
    if (!name || !*name)
        return 1;
    if (PluginEntry* e = plugin_find(name))
        return plugin_select(e);
    // A name that is not registered: a file of the plug-in folder, or a path.
    std::string path = name;
    if (path.find('/') == std::string::npos) {
        path = plugin_folder() + "/" + path;
        if (path.size() < 4 || strcasecmp(path.c_str() + path.size() - 4, ".gxp") != 0)
            path += ".gxp";
    }
    if (access(path.c_str(), R_OK) != 0) {
        std::string text = std::string("No plug-in \"") + name + "\" is registered.";
        show_plugin_error(text.c_str());
        return 1;
    }
    return plugin_add_file(path.c_str());
}

namespace {

// The plug-in the operation applies: the one its name names, else the selected one.
PluginEntry* operation_plugin()
{
    GxpRecord& p = g_host.params;
    p.name[sizeof p.name - 1] = 0;
    if (p.name[0])
        return plugin_find(p.name);
    return g_host.selected;
}

int plugin_prepare(Image*, int)
{
    if (!operation_plugin()) {
        GxpRecord& p = g_host.params;
        if (p.name[0]) {
            std::string text = std::string("No plug-in \"") + p.name + "\" is registered.";
            error_box("No Plugin Selected", text.c_str());
        } else {
            error_box("No Plugin Selected");
        }
        return 2;
    }
    return 0;
}

// Applies with the operation's parameters: identify, then code 2 with the
// image and area filled in.
int apply_plugin(PluginEntry* entry, Image* target, uint8_t* mask)
{
    GxpRecord& r = *entry->record;
    if (int why = plugin_identify(entry->path, &r); why != 0) {
        if (why == 1) {
            std::string text =
                std::string("The plug-in ") + record_name(r) + " did not answer as a Glimmerix:V/q plug-in.";
            show_plugin_error(text.c_str());
        }
        return 1;
    }
    copy_from_operation(r);
    const OpState& s = op_state();
    r.width = static_cast<int32_t>(target->width);
    r.height = target->height;
    r.alpha = target->alpha;
    r.alpha_mode = s.alpha_mode ? 1 : 0;
    const AreaRect& rect = area_mask().rect;
    r.x0 = rect.x0;
    r.y0 = rect.y0;
    r.x1 = rect.x1;
    r.y1 = rect.y1;
    r.pixels = target->pixels;
    r.mask = mask;
    r.frame = s.generating ? static_cast<int32_t>(s.frame) : 0;
    r.frames = 0;
    g_call.target = target;
    int answer = 0;
    int called = plugin_call(entry->path, &r, GXP_APPLY, &answer);
    g_call.target = nullptr;
    if (r.alpha == 1)
        target->alpha = 1;
    clear_apply_fields(r);
    // What the plug-in left in its parameters is the operation's now.
    copy_to_operation(r);
    if (called != 0 || answer != 0)
        return 1;
    return 0;
}

} // namespace

int plugin_command(int code)
{
    PluginEntry* e = operation_plugin();
    if (!e) {
        error_box("No Plugin Selected");
        return -1;
    }
    if (code == GXP_APPLY)
        return -1;  // applying goes through the operation, with an image and its area
    copy_from_operation(*e->record);
    int answer = 0;
    if (plugin_call(e->path, e->record, code, &answer) != 0)
        return -1;
    if (code == GXP_IDENTIFY)
        e->record->handshake = 0;
    copy_to_operation(*e->record);
    return answer;
}

// ---- the plug-in operation ----------------------------------------------------

namespace {

int plugin_worker(Image* target, uint8_t* mask)
{
    PluginEntry* e = operation_plugin();
    if (!e)
        return 1;
    return apply_plugin(e, target, mask);
}

constexpr double kLongMin = -2147483647.0, kLongMax = 2147483647.0;

// The operation's parameters are the fields of its record: "name" picks the
// plug-in; i0..i7, f0..f7, c0..c7, r0..r4, s0, s1 and the two palettes are
// what the plug-in reads.
const OpSlot* operation_slots(size_t* count)
{
    static OpSlot slots[40];
    static size_t n = 0;
    if (n)
        return *count = n, slots;
    GxpRecord& p = g_host.params;
    static const char* const ikeys[8] = {"i0", "i1", "i2", "i3", "i4", "i5", "i6", "i7"};
    static const char* const fkeys[8] = {"f0", "f1", "f2", "f3", "f4", "f5", "f6", "f7"};
    static const char* const ckeys[8] = {"c0", "c1", "c2", "c3", "c4", "c5", "c6", "c7"};
    static const char* const rkeys[5] = {"r0", "r1", "r2", "r3", "r4"};
    slots[n++] = slot_text(p.name, SLOT_TEXT, sizeof p.name, "name", "Plug-in");
    for (int i = 0; i < 8; ++i)
        slots[n++] = slot_int(&p.longs[i], ikeys[i], "Integer", kLongMin, kLongMax, kLongMin, kLongMax);
    for (int i = 0; i < 8; ++i)
        slots[n++] = slot_float(&p.floats[i], fkeys[i], "Number", -1e9, 1e9, -1e9, 1e9);
    for (int i = 0; i < 8; ++i)
        slots[n++] = slot_switch(&p.switches[i], ckeys[i], "Switch");
    for (int i = 0; i < 5; ++i)
        slots[n++] = slot_range(&p.radios[i], rkeys[i], "Choice", 0, 255);
    slots[n++] = slot_text(p.str1, SLOT_TEXT_B, sizeof p.str1, "s0", "Text");
    slots[n++] = slot_text(p.str2, SLOT_TEXT_C, sizeof p.str2, "s1", "Second text");
    slots[n++] = slot_palette(reinterpret_cast<OpPalette*>(&p.palettes[0]), SLOT_PALETTE, "plugpal1", "pal0", "Palette");
    slots[n++] = slot_palette(reinterpret_cast<OpPalette*>(&p.palettes[1]), SLOT_PALETTE_B, "plugpal2", "pal1",
                              "Second palette");
    *count = n;
    return slots;
}

bool g_registered_hooks = false;

void load_settings_hook()
{
    plugins_load_settings();
}

void save_settings_hook()
{
    plugins_save_settings();
}

} // namespace

bool plugins_init()
{
    if (!g_host.plugins && list_create(&g_host.plugins, "plugin_list", nullptr, nullptr) != LIST_OK)
        return false;
    if (!g_host.sockets && list_create(&g_host.sockets, "socket_list", nullptr, nullptr) != LIST_OK)
        return false;
    if (!g_host.blocks && list_create(&g_host.blocks, "pmem_list", nullptr, nullptr) != LIST_OK)
        return false;
    if (!importers_init())
        return false;
    std::memset(&g_host.params, 0, sizeof g_host.params);
    g_host.params.size = GXP_RECORD_SIZE;
    g_host.params.level = 1;
    g_host.selected = nullptr;
    size_t count = 0;
    const OpSlot* slots = operation_slots(&count);
    OpRow row{};
    row.command = opcmd::Plugin;
    row.worker = worker_whole(plugin_worker);
    row.prepare = plugin_prepare;
    row.slots = std::span<const OpSlot>(slots, count);
    row.doc = "Applies the selected plug-in (a `.gxp` library, see docs/plugins.md) to the image with the "
              "parameters below.\n\n- **name**: the registered plug-in to apply; empty: the one selected last.\n"
              "- **i0..i7**, **f0..f7**, **c0..c7**, **r0..r4**, **s0**, **s1**, **pal0**, **pal1**: the "
              "plug-in's integers, numbers, switches, radio groups, texts and palettes; what each means is "
              "the plug-in's own.\n\nWithout a plug-in the operation shows \"No Plugin Selected\".";
    op_register(row);
    formats_state().import_plugins = plugins_import;
    if (!g_registered_hooks) {
        AppHooks& h = app_hooks();
        if (!h.load_plugin_settings)
            h.load_plugin_settings = load_settings_hook;
        if (!h.save_plugin_settings)
            h.save_plugin_settings = save_settings_hook;
        g_registered_hooks = true;
    }
    return true;
}

void plugins_release()
{
    if (formats_state().import_plugins == plugins_import)
        formats_state().import_plugins = nullptr;
    importers_release();
    release_call_leftovers();
    if (g_host.plugins) {
        for (ListNode* n = g_host.plugins->head; n; n = n->ln_succ) {
            entry_free(static_cast<PluginEntry*>(n->element));
            n->element = nullptr;
        }
        list_destroy(g_host.plugins);
    }
    if (g_host.sockets)
        list_destroy(g_host.sockets);
    if (g_host.blocks)
        list_destroy(g_host.blocks);
    g_host.plugins = g_host.sockets = g_host.blocks = nullptr;
    g_host.selected = nullptr;
}

namespace {
struct Registrar {
    Registrar() { app_add_subsystem("plugins", plugins_init, plugins_release); }
} g_registrar;
} // namespace
