// Import plug-ins: file readers outside the program.  They live in the
// import plug-in folder ("ImporterPath"); every load offers the file to them
// before the built-in readers.
#include "plugins/plugins.h"

#include "core/app.h"
#include "core/image.h"
#include "core/list.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/settings.h"
#include "formats/load_save.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static_assert(offsetof(GxpRecord, confidence) == 76);
static_assert(offsetof(GxpRecord, xres) == 80);
static_assert(offsetof(GxpRecord, aspect) == 88);
static_assert(offsetof(GxpRecord, file) == 664);

namespace {

// "import_list": PluginEntry elements, in file-name order.
List* g_importers = nullptr;
// The folder the list was read from, and its change time then: the list is
// read again when either differs.
std::string g_scanned_folder;
timespec g_scanned_time{};
bool g_scanned = false;

void free_entry(PluginEntry* e)
{
    if (!e)
        return;
    mem_free(e->record);
    chunk_free(e);
}

void clear_list()
{
    if (!g_importers)
        return;
    while (ListNode* n = g_importers->tail) {
        free_entry(static_cast<PluginEntry*>(n->element));
        n->element = nullptr;
        list_remove(n);
    }
}

bool has_gxp_extension(const char* name)
{
    size_t n = std::strlen(name);
    return n > 4 && strcasecmp(name + n - 4, ".gxp") == 0;
}

// Identify (code 3) with the handshake, and the import kind in the key.
PluginEntry* identify_importer(const std::string& path)
{
    if (path.size() >= sizeof(PluginEntry::path))
        return nullptr;
    auto* e = static_cast<PluginEntry*>(chunk_alloc(1, sizeof(PluginEntry), "import entry"));
    if (!e)
        return nullptr;
    e->record = static_cast<GxpRecord*>(mem_alloc(sizeof(GxpRecord), "import struct"));
    if (!e->record) {
        chunk_free(e);
        return nullptr;
    }
    std::memset(e->record, 0, sizeof(GxpRecord));
    std::snprintf(e->path, sizeof e->path, "%s", path.c_str());
    int why = plugin_identify(e->path, e->record);
    if (why != 0 || (static_cast<uint32_t>(e->record->dev_key) & GXP_KIND_MASK) != GXP_KIND_IMPORT) {
        if (why != 2)
            log_printf("Import plug-in folder: %s is not an import plug-in, skipped\n", e->path);
        free_entry(e);
        return nullptr;
    }
    if (!e->record->name[0]) {
        const char* base = std::strrchr(e->path, '/');
        std::snprintf(e->record->name, sizeof e->record->name, "%.*s", 31, base ? base + 1 : e->path);
    }
    return e;
}

// Reads the folder again when it changed since the last time.
void refresh()
{
    if (!g_importers && list_create(&g_importers, "import_list", nullptr, nullptr) != LIST_OK)
        return;
    const std::string folder = importer_folder();
    struct stat st{};
    const bool exists = stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (g_scanned && folder == g_scanned_folder && (!exists ? g_scanned_time.tv_sec == -1
                                                            : st.st_mtim.tv_sec == g_scanned_time.tv_sec &&
                                                                  st.st_mtim.tv_nsec == g_scanned_time.tv_nsec))
        return;
    clear_list();
    g_scanned = true;
    g_scanned_folder = folder;
    g_scanned_time = exists ? st.st_mtim : timespec{-1, 0};
    if (!exists)
        return;
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* d = readdir(dir))
            if (d->d_name[0] != '.' && has_gxp_extension(d->d_name))
                files.push_back(folder + "/" + d->d_name);
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
        PluginEntry* e = identify_importer(f);
        if (!e)
            continue;
        ListNode* node = list_add_tail(g_importers);
        if (!node) {
            free_entry(e);
            break;
        }
        node->element = e;
    }
}

// One reader's answer for the file being loaded.
struct Answer {
    bool asked = false;
    int confidence = GXP_NOT_MINE;
    long width = 0, height = 0;
};

void copy_cut(char* out, size_t size, const char* text)
{
    const size_t n = strnlen(text, size - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

std::string record_name(const GxpRecord& r)
{
    return std::string(r.name, strnlen(r.name, sizeof r.name));
}

void clear_import_fields(GxpRecord& r)
{
    r.confidence = GXP_NOT_MINE;
    r.width = r.height = r.alpha = 0;
    r.xres = r.yres = 0;
    r.aspect = 0;
    r.pixels = nullptr;
    r.mask = nullptr;
}

Answer ask(PluginEntry& e, const char* file)
{
    Answer a;
    a.asked = true;
    GxpRecord& r = *e.record;
    clear_import_fields(r);
    std::snprintf(r.file, sizeof r.file, "%s", file);
    int result = 0;
    if (plugin_call(e.path, &r, GXP_IMPORT_IDENTIFY, &result) != 0)
        return a;
    if (r.confidence < GXP_MAYBE || r.confidence > GXP_SURE)
        return a;
    a.confidence = r.confidence;
    a.width = r.width;
    a.height = r.height;
    return a;
}

// The pixel-size ratio as a resolution across: 72 times the ratio, kept to
// two decimals.
void set_resolution(Image* image, const GxpRecord& r)
{
    if (r.xres > 0 && r.yres > 0) {
        image->hres_num = r.xres;
        image->vres_num = r.yres;
        image->hres_den = image->vres_den = 1;
        return;
    }
    image->vres_num = 72;
    image->vres_den = 1;
    const double ratio = static_cast<double>(r.aspect);
    if (std::isfinite(ratio) && ratio > 0 && ratio * 72 <= 1e6) {
        const long across = std::lround(ratio * 7200);
        if (across > 0) {
            image->hres_num = static_cast<int32_t>(across % 100 == 0 ? across / 100 : across);
            image->hres_den = across % 100 == 0 ? 1 : 100;
            return;
        }
    }
    image->hres_num = 72;
    image->hres_den = 1;
}

// A new image of the size the reader gave, filled by it.  Null when the
// reader fails (the image freed) or the size cannot be made.
Image* fill(PluginEntry& e, const Answer& a, const char* file)
{
    GxpRecord& r = *e.record;
    const std::string who = record_name(r);
    Image* image = codec_new_image(a.width, a.height, "import");
    if (!image) {
        const std::string text = "The import plug-in " + who + " gave " + std::to_string(a.width) + " x " +
                                 std::to_string(a.height) + " pixels for " + file +
                                 ": no image of that size can be made.";
        plugin_error(text.c_str());
        return nullptr;
    }
    if (image_lock(image) != 0) {
        image_free(image);
        return nullptr;
    }
    // The identify answers stay in the record for the reader to refine;
    // only the size is the host's.
    r.width = static_cast<int32_t>(a.width);
    r.height = static_cast<int32_t>(a.height);
    r.pixels = image->pixels;
    std::snprintf(r.file, sizeof r.file, "%s", file);
    int result = 0;
    int called = plugin_call(e.path, &r, GXP_IMPORT_FILL, &result);
    r.pixels = nullptr;
    if (called != 0 || result != 0) {
        image_unlock(image);
        image_free(image);
        log_printf("Import plug-in %s could not read %s\n", who.c_str(), file);
        return nullptr;
    }
    const bool alpha = r.alpha == 1;
    if (!alpha) {
        // Without alpha every pixel is opaque, whatever the reader left there.
        const size_t pixels = static_cast<size_t>(a.width) * static_cast<size_t>(a.height);
        for (size_t i = 0; i < pixels; ++i)
            image->pixels[4 * i + 3] = 255;
    }
    image_unlock(image);
    image->alpha = alpha ? 1 : 0;
    image->bits = alpha ? 32 : 24;
    set_resolution(image, r);
    copy_cut(image->path, sizeof image->path, file);
    const char* base = std::strrchr(file, '/');
    copy_cut(image->name, sizeof image->name, base ? base + 1 : file);
    image->changes = 0;
    log_printf("Imported %s with the plug-in %s\n", file, who.c_str());
    return image;
}

} // namespace

std::string importer_folder()
{
    const std::string& p = settings().importer_path;
    if (!p.empty())
        return p.back() == '/' && p.size() > 1 ? p.substr(0, p.size() - 1) : p;
    return app_config_folder() + "/importers";
}

int importer_count()
{
    refresh();
    return g_importers ? list_count(g_importers) : 0;
}

PluginEntry* importer_at(int index)
{
    if (!g_importers)
        return nullptr;
    ListNode* n = list_node_at(g_importers, index);
    return n ? static_cast<PluginEntry*>(n->element) : nullptr;
}

Image* plugins_import(const char* name)
{
    // A reader cannot run inside another plug-in's call (the host runs one
    // at a time); the built-in readers still can.
    if (!name || !*name || plugin_host().in_call)
        return nullptr;
    refresh();
    const int n = g_importers ? list_count(g_importers) : 0;
    if (n == 0 || access(name, R_OK) != 0)
        return nullptr;
    char full[4096];
    if (!realpath(name, full) || std::strlen(full) >= sizeof(GxpRecord::file))
        return nullptr;

    // Pass 1 takes only readers sure of the file, pass 2 those that go by
    // the name, pass 3 any that will try.  Each reader is asked once.
    std::vector<Answer> answers(static_cast<size_t>(n));
    for (int wanted = GXP_SURE; wanted >= GXP_MAYBE; --wanted) {
        for (int i = 0; i < n; ++i) {
            PluginEntry* e = importer_at(i);
            if (!e)
                continue;
            Answer& a = answers[static_cast<size_t>(i)];
            if (!a.asked)
                a = ask(*e, full);
            if (a.confidence != wanted)
                continue;
            if (Image* image = fill(*e, a, full))
                return image;
            a.confidence = GXP_NOT_MINE;
        }
    }
    return nullptr;
}

bool importers_init()
{
    return g_importers || list_create(&g_importers, "import_list", nullptr, nullptr) == LIST_OK;
}

void importers_release()
{
    clear_list();
    if (g_importers)
        list_destroy(g_importers);
    g_importers = nullptr;
    g_scanned = false;
    g_scanned_folder.clear();
}
