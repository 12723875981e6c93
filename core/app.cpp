#include "core/app.h"

#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/parallel.h"
#include "core/prefs.h"
#include "core/profile.h"
#include "core/settings.h"
#include "core/undo.h"
#include "core/platform.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Subsystem {
    const char* name;
    bool (*init)();
    void (*release)();
};

struct AppState {
    std::string config_folder;
    std::string config_folder_made;  // the folder make_folders last made
    std::string start_folder;
    std::vector<Subsystem> subsystems;
    size_t initialised = 0;
    AppHooks hooks;
    bool running = false;
    bool shutting_down = false;
    char* textin = nullptr;
    // "KeepLog" as the file has it, when --log turned it on for the run.
    bool keep_log_forced = false;
    long keep_log_stored = 0;
    bool prefs_unsaved = false;  // the last shut-down could not write GLIMVQ.ini
};

// Reached through a function: subsystems register from static constructors
// of their own files, which may run before this file's globals are made.
AppState& g_app()
{
    static AppState state;
    return state;
}

constexpr int kCommandLineWords = 19;

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

// Steps 6 to 9 of shut-down: give back everything, let the memory manager
// report what was forgotten, close the log.
void release_everything()
{
    while (g_app().initialised > 0) {
        const Subsystem& s = g_app().subsystems[--g_app().initialised];
        if (s.release)
            s.release();
    }
    undo_release();
    if (g_app().textin)
        g_app().textin = mem_free_t(g_app().textin);
    fast_ini_write_close();
    fast_ini_read_close();
    profile_forget();
    name_list_clear();
    // Images still open belong to nobody now.
    for (Image* image : image_store().slots)
        if (image)
            image_free(image);
    mem_auto_free();
    ui::platform().destroy_frame();
    log_close();
    chunk_cleanup();
    g_app().running = false;
}

} // namespace

bool app_word_is_option(const std::string& word)
{
    // Options begin with "/"; so do absolute paths here.  A word that names
    // an existing file is a file, and so is one with a folder or an
    // extension before any "=" ("/tmp/gone.png"), so that a missing file is
    // reported rather than taken for an option.
    if (word.empty() || word[0] != '/' || access(word.c_str(), F_OK) == 0)
        return false;
    std::string name = word.substr(1, word.find('=') == std::string::npos ? std::string::npos : word.find('=') - 1);
    return !name.empty() && name.find_first_of("/.") == std::string::npos;
}

namespace {

// Step 10 of start-up: options and files named on the command line.
void walk_command_line(const std::vector<std::string>& words)
{
    for (size_t i = 0; i < words.size() && i < kCommandLineWords; ++i) {
        const std::string& word = words[i];
        if (word.empty() || g_app().shutting_down)
            break;
        if (app_word_is_option(word))
            continue;  // "/icon" has been taken already
        if (g_app().hooks.open_file)
            g_app().hooks.open_file(word.c_str());
        else
            log_printf("No loader for \"%s\" yet\n", word.c_str());
    }
}

} // namespace

void app_parse_command_line(int argc, const char* const* argv, AppOptions& options)
{
    options.words.clear();
    for (int i = 1; i < argc; ++i)
        options.words.emplace_back(argv[i] ? argv[i] : "");
    options.icon = !options.words.empty() && app_word_is_option(options.words[0]) &&
                   options.words[0].rfind("/icon", 0) == 0;
}

std::string app_config_folder()
{
    if (g_app().config_folder.empty()) {
        if (const char* home = std::getenv("GLIMVQ_HOME"); home && *home)
            g_app().config_folder = home;
        else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
            g_app().config_folder = std::string(xdg) + "/glimvq";
        else if (const char* user = std::getenv("HOME"); user && *user)
            g_app().config_folder = std::string(user) + "/.config/glimvq";
        else
            g_app().config_folder = current_folder() + "/.glimvq";
    }
    // Made once per folder: settings are read hundreds of times a run.
    if (g_app().config_folder_made != g_app().config_folder) {
        make_folders(g_app().config_folder);
        g_app().config_folder_made = g_app().config_folder;
    }
    return g_app().config_folder;
}

void app_set_config_folder(const std::string& folder)
{
    g_app().config_folder = folder;
    g_app().config_folder_made.clear();
}

const std::string& app_start_folder()
{
    if (g_app().start_folder.empty())
        g_app().start_folder = current_folder();
    return g_app().start_folder;
}

void app_set_start_folder(const std::string& folder)
{
    g_app().start_folder = folder;
}

void app_add_subsystem(const char* name, bool (*init)(), void (*release)())
{
    for (const Subsystem& s : g_app().subsystems)
        if (s.init == init && s.release == release)
            return;
    g_app().subsystems.push_back({name, init, release});
}

AppHooks& app_hooks()
{
    return g_app().hooks;
}

int app_init_instance(const AppOptions& options)
{
    if (!options.home.empty())
        app_set_config_folder(options.home);
    app_start_folder();
    g_app().shutting_down = false;
    image_store_clear();

    // The subsystems' buffers, palettes and tables.
    for (g_app().initialised = 0; g_app().initialised < g_app().subsystems.size(); ++g_app().initialised) {
        const Subsystem& s = g_app().subsystems[g_app().initialised];
        if (s.init && !s.init()) {
            log_printf("Start-up failed in %s\n", s.name);
            release_everything();
            return 1;
        }
    }

    prefs_load();
    parallel_set_threads(static_cast<int>(settings().threads));
    Settings& set = settings();
    g_app().keep_log_stored = set.keep_log;
    g_app().keep_log_forced = options.keep_log && !set.keep_log;
    if (options.keep_log)
        set.keep_log = 1;
    image_set_default_timing(static_cast<uint16_t>(set.film_speed), static_cast<uint16_t>(set.anim_millis));
    if (g_app().hooks.load_plugin_settings)
        g_app().hooks.load_plugin_settings();
    if (set.pref(PREF_SAVE_MANAGER_PATH))
        name_list_load();
    if (g_app().hooks.check_operation)
        set.operation = g_app().hooks.check_operation(set.operation);

    if (set.keep_log) {
        log_set_folder(app_start_folder());
        log_open(false);  // without a log file the program runs on
    }

    bool maximised = !options.icon && set.pos_main[2] == set.screen_width && set.pos_main[3] == set.screen_height;
    if (!ui::platform().create_frame(set.pos_main, options.icon, maximised)) {
        log_printf("Start-up failed: no frame window\n");
        release_everything();
        return 1;
    }
    g_app().textin = static_cast<char*>(mem_alloc(kTextInputSize, "textin"));
    if (!g_app().textin || !ui::platform().create_tool_windows(set.pref(PREF_SPLASH_PAGE_ON))) {
        log_printf("Start-up failed: tool windows\n");
        release_everything();
        return 1;
    }
    if (g_app().hooks.build_plugin_list)
        g_app().hooks.build_plugin_list();
    g_app().running = true;
    walk_command_line(options.words);
    return 0;
}

int app_ask_save()
{
    if (!settings().pref(PREF_UNSAVED_IMAGE))
        return 0;
    for (Image* image : image_store().slots) {
        if (!image || image->changes == 0 || !ui::platform().image_in_view(image))
            continue;
        char text[400];
        std::snprintf(text, sizeof text, "The image \"%s\" has changed. Save it?", image->name);
        ui::Answer answer = ui::platform().ask(ui::Ask::SaveDiscardCancel, "Glimmerix:V/q", text);
        if (answer == ui::Answer::Cancel)
            return 1;
        if (answer == ui::Answer::Save) {
            if (!g_app().hooks.save_image) {
                error_box("The image could not be saved:", image->name);
                return 1;
            }
            if (g_app().hooks.save_image(image) != 0)
                return 1;  // the saver has said why
        }
    }
    return 0;
}

int app_shutdown()
{
    if (!g_app().running)
        return 0;
    g_app().shutting_down = true;
    if (g_app().hooks.ask_timeline && g_app().hooks.ask_timeline() != 0) {
        g_app().shutting_down = false;
        return 1;
    }
    if (app_ask_save() != 0) {
        g_app().shutting_down = false;
        return 1;
    }

    Settings& set = settings();
    if (set.pref(PREF_SAVE_PLUGIN_SETTINGS) && g_app().hooks.save_plugin_settings)
        g_app().hooks.save_plugin_settings();
    fast_ini_write_close();
    name_list_save();

    ui::platform().close_tool_windows();
    ui::platform().take_window_positions(set);
    if (g_app().keep_log_forced && set.keep_log == 1)
        set.keep_log = g_app().keep_log_stored;
    g_app().prefs_unsaved = prefs_save() != 0;
    mem_close_report();

    release_everything();
    ui::platform().post_quit(0);
    return 0;
}

bool app_prefs_unsaved()
{
    return g_app().prefs_unsaved;
}

void app_abandon()
{
    g_app().shutting_down = true;
    release_everything();
}

bool app_running()
{
    return g_app().running;
}

bool app_shutting_down()
{
    return g_app().shutting_down;
}

char* app_text_input()
{
    return g_app().textin;
}
