// Start-up and shut-down of the system, shared by `vq` and the workstation.
#pragma once

#include <string>
#include <vector>

struct Image;

struct AppOptions {
    std::string home;       // config folder override (vq --home)
    bool keep_log = false;  // turn "KeepLog" on for this run (vq --log)
    bool icon = false;      // "/icon": start minimised
    // The command-line words after the program's name: words beginning with
    // "/" are options, the others files to open (at most 19 are looked at).
    std::vector<std::string> words;
};

// The desktop command line: "/icon" as word 1 starts minimised; every word
// is kept for the walk at the end of start-up.
void app_parse_command_line(int argc, const char* const* argv, AppOptions& options);
// A command-line word that is an option: it begins with "/" and names no
// existing file (absolute paths begin with "/" as well).
bool app_word_is_option(const std::string& word);

// The folder of the initialisation files: the override, else $GLIMVQ_HOME,
// else $XDG_CONFIG_HOME/glimvq, else ~/.config/glimvq.  Created on demand.
std::string app_config_folder();
void app_set_config_folder(const std::string& folder);
// The folder current at start-up (the log and the folder defaults use it);
// set it before start-up to stand for another.
const std::string& app_start_folder();
void app_set_start_folder(const std::string& folder);

// A subsystem's part of start-up and shut-down: `init` sets up its buffers
// and tables (false ends start-up), `release` gives back everything it holds.
// Hooks run in the order they were added; release in reverse.
void app_add_subsystem(const char* name, bool (*init)(), void (*release)());

// What higher subsystems contribute to start-up and shut-down.  Each is
// optional; the core cannot reach those subsystems otherwise.
struct AppHooks {
    // Plug-in settings "GLIMVQpu.ini": read after the preferences; written at
    // shut-down when "Save Plug-in Settings (slow)" is on.
    void (*load_plugin_settings)() = nullptr;
    void (*save_plugin_settings)() = nullptr;
    // The stored current operation ("Operation"), checked against the
    // catalogue: returns the command to use (the first operation when the
    // stored one is unknown).
    long (*check_operation)(long stored) = nullptr;
    // Builds the plug-in list at the end of start-up.
    void (*build_plugin_list)() = nullptr;
    // Opens a file named on the command line (the load dispatch).
    int (*open_file)(const char* path) = nullptr;
    // The first shut-down question, about the timeline: 0 go on, 1 cancelled
    // (cancel, or a failed save).
    int (*ask_timeline)() = nullptr;
    // Saves a changed image when the user answers "save" at shut-down: 0 saved.
    int (*save_image)(Image* image) = nullptr;
};
AppHooks& app_hooks();

// 0 when the system is up; 1 when a step failed (everything is released).
int app_init_instance(const AppOptions& options);
// 0 when shut down; 1 when the user cancelled (everything stays as it was,
// nothing is written).
int app_shutdown();
// True when that shut-down could not write the preferences (it said so).
bool app_prefs_unsaved();
// Releases everything without asking or writing settings: a program that
// must end although its shut-down was cancelled.
void app_abandon();
bool app_running();
// A shut-down has begun (the command-line walk stops).
bool app_shutting_down();

// The unsaved-image question ("AskSave"): each changed image in a view, when
// "Unsaved Image" is on.  0 go on, 1 cancelled.
int app_ask_save();

// The text-input buffer "textin" (4096 bytes) while the system is up.
char* app_text_input();
constexpr long kTextInputSize = 4096;
