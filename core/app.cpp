#include "core/app.h"

#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/settings.h"
#include "core/undo.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Subsystem {
    const char* name;
    bool (*init)();
    void (*release)();
};

struct AppState {
    std::string config_folder;
    std::string start_folder;
    std::vector<Subsystem> subsystems;
    size_t initialised = 0;
    bool running = false;
};

AppState g_app;

void make_folders(const std::string& path)
{
    std::string part;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!part.empty())
                mkdir(part.c_str(), 0700);
        }
        if (i < path.size())
            part += path[i];
    }
}

std::string current_folder()
{
    char buf[4096];
    if (getcwd(buf, sizeof buf))
        return buf;
    return ".";
}

} // namespace

std::string app_config_folder()
{
    if (g_app.config_folder.empty()) {
        if (const char* home = std::getenv("GLIMVQ_HOME"); home && *home)
            g_app.config_folder = home;
        else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
            g_app.config_folder = std::string(xdg) + "/glimvq";
        else if (const char* user = std::getenv("HOME"); user && *user)
            g_app.config_folder = std::string(user) + "/.config/glimvq";
        else
            g_app.config_folder = current_folder() + "/.glimvq";
    }
    make_folders(g_app.config_folder);
    return g_app.config_folder;
}

void app_set_config_folder(const std::string& folder)
{
    g_app.config_folder = folder;
}

const std::string& app_start_folder()
{
    if (g_app.start_folder.empty())
        g_app.start_folder = current_folder();
    return g_app.start_folder;
}

void app_add_subsystem(const char* name, bool (*init)(), void (*release)())
{
    for (const Subsystem& s : g_app.subsystems)
        if (s.init == init && s.release == release)
            return;
    g_app.subsystems.push_back({name, init, release});
}

int app_init_instance(const AppOptions& options)
{
    if (!options.home.empty())
        app_set_config_folder(options.home);
    app_start_folder();
    image_store_clear();
    settings_reset(settings(), app_start_folder());
    if (options.keep_log)
        settings().keep_log = 1;
    image_set_default_timing(static_cast<uint16_t>(settings().film_speed),
                             static_cast<uint16_t>(settings().anim_millis));
    if (settings().keep_log) {
        log_set_folder(app_start_folder());
        log_open(false);
    }
    for (g_app.initialised = 0; g_app.initialised < g_app.subsystems.size(); ++g_app.initialised) {
        const Subsystem& s = g_app.subsystems[g_app.initialised];
        if (s.init && !s.init()) {
            log_printf("Start-up failed in %s\n", s.name);
            return 1;
        }
    }
    g_app.running = true;
    return 0;
}

int app_shutdown()
{
    mem_close_report();
    while (g_app.initialised > 0) {
        const Subsystem& s = g_app.subsystems[--g_app.initialised];
        if (s.release)
            s.release();
    }
    undo_release();
    // Images still open belong to nobody now.
    for (Image* image : image_store().slots)
        if (image)
            image_free(image);
    mem_auto_free();
    log_close();
    chunk_cleanup();
    g_app.running = false;
    return 0;
}

bool app_running()
{
    return g_app.running;
}
