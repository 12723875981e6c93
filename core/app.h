// Start-up and shut-down of the system, shared by `vq` and the workstation.
#pragma once

#include <string>

struct AppOptions {
    std::string home;       // config folder override (vq --home)
    bool keep_log = false;  // turn "KeepLog" on for this run (vq --log)
    bool icon = false;      // "/icon": start minimised
};

// The folder of the initialisation files: the override, else $GLIMVQ_HOME,
// else $XDG_CONFIG_HOME/glimvq, else ~/.config/glimvq.  Created on demand.
std::string app_config_folder();
void app_set_config_folder(const std::string& folder);
// The folder current at start-up.
const std::string& app_start_folder();

// A subsystem's part of start-up and shut-down: `init` sets up its buffers
// and tables (false ends start-up), `release` gives back everything it holds.
// Hooks run in the order they were added; release in reverse.
void app_add_subsystem(const char* name, bool (*init)(), void (*release)());

// 0 when the system is up; non-zero when a step failed.
int app_init_instance(const AppOptions& options);
// 0 when shut down; 1 when the user cancelled (everything stays as it was).
int app_shutdown();
bool app_running();
